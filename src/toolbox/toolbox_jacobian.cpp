#include "toolbox/toolbox_jacobian.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_text.h"

namespace nivra {

namespace {

bool is_inctyp(const std::string& w) {
  return w == "relative" || w == "absolute" || w == "rel_to_max";
}
bool is_forcen(const std::string& w) { return w == "always_2" || w == "always_3" || w == "switch"; }
bool is_dermthd(const std::string& w) {
  return w == "parabolic" || w == "outside_pts" || w == "best_fit";
}

// Three-point derivatives for this parameter now.
bool three_point_for(const param_group& g, bool three_point) {
  return g.forcen == "always_3" || (g.forcen == "switch" && three_point);
}

int column_of(const lm_system& s, int param) {
  for (int k = 1; k <= s.n; ++k)
    if (s.adjustable[k] == param) return k;
  return 0;
}

void progress_line(int run) {
  int back = 0;
  if (run < 10) back = 17;
  else if (run < 100) back = 18;
  else if (run < 1000) back = 19;
  else if (run < 10000) back = 20;
  std::printf("%d runs completed.", run);
  for (int i = 0; i < back; ++i) std::putchar('\b');
  std::fflush(stdout);
}

// x of the perturbed parameter i into the values, and into those of its
// tied children.
void set_perturbed(const pest_control& pc, int i, double x, array1d<double>& values) {
  values[i] = x;
  const double parent = pc.params[i].is_log() ? std::pow(10.0, x) : x;
  for (int j = 1; j <= pc.npar; ++j) {
    const param_rec& t = pc.params[j];
    if (t.is_tied() && t.tie_parent_index == i) values[j] = parent * t.tie_ratio;
  }
}

void sensitivity_header(std::FILE* sen) {
  std::fprintf(sen, " Parameter name    Group          Current value    Sensitivity       \n");
}

void sensitivity_line(std::FILE* sen, const param_rec& p) {
  std::fprintf(sen, "%s\t%s\t%.8g\t%.8g\n", p.parnme.c_str(), p.pargp.c_str(), p.model_value(),
               p.sensitivity);
}

}  // namespace

perturbation perturb_parameter(const param_rec& p, double increment) {
  const double v = p.parval1;
  double up1, up2, down1, down2;
  if (p.is_log()) {
    // Steps of the logarithm: log10(value + k h) with h a fraction of the
    // value, so they stay near the value however small it is.
    const double value = std::pow(10.0, v);
    const double r = increment / value;
    up1 = v + std::log10(1.0 + r);
    up2 = v + std::log10(1.0 + 2.0 * r);
    down1 = r < 1.0 ? v + std::log10(1.0 - r) : v - std::log10(1.0 + r);
    down2 = 2.0 * r < 1.0 ? v + std::log10(1.0 - 2.0 * r) : v - std::log10(1.0 + 2.0 * r);
  } else {
    up1 = v + increment;
    up2 = v + 2.0 * increment;
    down1 = v - increment;
    down2 = v - 2.0 * increment;
  }
  perturbation d;
  if (p.at_upper) {
    d = {perturbation::kind::backward, down1, down2};
  } else if (p.at_lower) {
    d = {perturbation::kind::forward, up1, up2};
  } else {
    d = {perturbation::kind::central, up1, down1};
    if (d.x1 > p.parubnd) d = {perturbation::kind::backward, down1, down2};
    if (d.x2 < p.parlbnd) d = {perturbation::kind::forward, up2, up1};
  }
  d.up = up1;
  d.down = down1;
  return d;
}

double derivative_increment(const pest_control& pc, int i) {
  const param_rec& p = pc.params[i];
  const param_group* g = group_of(pc, p);
  if (!g) return 0.01 * std::fabs(p.model_value());
  double h = g->derinc;
  if (p.is_log()) return h * p.model_value();
  if (g->inctyp == "relative") {
    h = std::max(g->derinc * std::fabs(p.parval1), g->derinclb);
  } else if (g->inctyp == "rel_to_max") {
    double largest = 0.0;
    for (int j = 1; j <= pc.npar; ++j)
      if (pc.params[j].is_adjustable() && pc.params[j].pargp == p.pargp)
        largest = std::max(largest, std::fabs(pc.params[j].model_value()));
    h = std::max(g->derinc * largest, g->derinclb);
  }
  return h > 0.0 ? h : g->derinc;
}

double as_written(const param_rec& p, double stored) {
  char text[40];
  std::snprintf(text, sizeof text, "%.7E", p.is_log() ? std::pow(10.0, stored) : stored);
  const double value = std::strtod(text, nullptr);
  return p.is_log() ? std::log10(value) : value;
}

const param_group* group_of(const pest_control& pc, const param_rec& p) {
  for (int g = 1; g <= pc.npargp; ++g)
    if (pc.param_groups[g].pargpnme == p.pargp) return &pc.param_groups[g];
  return nullptr;
}

int check_derivative_words(const pest_control& pc) {
  for (int i = 1; i <= pc.npar; ++i) {
    const param_rec& p = pc.params[i];
    if (!p.is_adjustable()) continue;
    const param_group* g = group_of(pc, p);
    if (!g) return toolbox_report(toolbox_msg::no_group, p.parnme, p.pargp);
    if (!is_inctyp(g->inctyp))
      return toolbox_report(toolbox_msg::derivative_word, g->pargpnme, "INCTYP " + g->inctyp);
    if (!is_forcen(g->forcen))
      return toolbox_report(toolbox_msg::derivative_word, g->pargpnme, "FORCEN " + g->forcen);
    if (!is_dermthd(g->dermthd))
      return toolbox_report(toolbox_msg::derivative_word, g->pargpnme, "DERMTHD " + g->dermthd);
  }
  return 0;
}

std::vector<int> jacobian_parameters(const pest_control& pc, int iteration, int& cyclic_position) {
  std::vector<int> list;
  const bool all = pc.slm_method == 0 || iteration == 1 ||
                   (pc.full_update == 1 && pc.phi_ratio > pc.full_update_ratio);
  if (all) {
    for (int i = 1; i <= pc.npar; ++i)
      if (pc.params[i].is_adjustable() && !pc.params[i].iw_flag) list.push_back(i);
    return list;
  }
  if (pc.cyclic_columns < 1 || pc.n_adjustable < 1) return list;
  const int take = std::min(pc.cyclic_columns, pc.n_adjustable);
  int i = cyclic_position;
  for (int taken = 0; taken < take;) {
    i = i % pc.npar + 1;
    if (!pc.params[i].is_adjustable()) continue;
    ++taken;
    cyclic_position = i;
    if (!pc.params[i].iw_flag) list.push_back(i);
  }
  return list;
}

int slm_derivative_type(const pest_control& pc, bool three_point, const std::vector<int>& params,
                        int& runs) {
  runs = 0;
  for (int i : params) {
    const param_group* g = group_of(pc, pc.params[i]);
    runs += g && !three_point_for(*g, three_point) ? 1 : 2;
  }
  std::printf("Calculating Jacobian matrix: running model %d times ...\n", runs);
  return 0;
}

int slm_jacobian(pest_control& pc, lm_system& s, toolbox_runner& runner, bool three_point,
                 int iteration, int& cyclic_position) {
  const std::vector<int> params = jacobian_parameters(pc, iteration, cyclic_position);
  int runs = 0;
  slm_derivative_type(pc, three_point, params, runs);
  for (int i : params) {
    const param_group* g = group_of(pc, pc.params[i]);
    if (g && three_point_for(*g, three_point) && g->dermthd == "best_fit") {
      std::printf("\n");
      std::printf("The toolbox does not support the 'best_fit' method\n");
      std::printf("of three point derivatives calculation.\n\n");
      std::printf("The toolbox does support the 'outside_pts' and\n");
      std::printf("'parabolic' methods of three point derivatives calculation.\n\n");
      std::printf("If you are using three point derivatives calculation,\n");
      std::printf("please alter DERMTHD in the control file accordingly.\n");
      return 1;
    }
  }

  array1d<double> v1(pc.npar), v2(pc.npar);
  int done = 0;
  for (int i : params) {
    const param_rec& p = pc.params[i];
    const param_group* g = group_of(pc, p);
    const bool three = g && three_point_for(*g, three_point);
    const perturbation d = perturb_parameter(p, derivative_increment(pc, i));
    for (int j = 1; j <= pc.npar; ++j) v1[j] = v2[j] = pc.params[j].parval1;
    set_perturbed(pc, i, d.x1, v1);
    set_perturbed(pc, i, d.x2, v2);

    bool ok1 = false, ok2 = true;
    if (const int code = runner.run(v1, 1, ok1)) return code;
    progress_line(++done);
    if (three) {
      if (const int code = runner.run(v2, 2, ok2)) return code;
      progress_line(++done);
    }
    const int col = column_of(s, i);
    if (col == 0) continue;
    // The run of a two-point difference: the first, or in place of a
    // refused run the other of the pair or a run on the other side.
    int slot = 1;
    double xs = d.x1;
    bool two_point = !three;
    if (!ok1 || !ok2) {
      two_point = true;
      if (three && (ok1 || ok2)) {
        slot = ok1 ? 1 : 2;
        xs = ok1 ? d.x1 : d.x2;
      } else {
        const double other = d.x1 > p.parval1 ? d.down : d.up;
        const bool inside = other >= p.parlbnd && other <= p.parubnd;
        ok1 = false;
        if (inside && other != d.x1 && (!three || other != d.x2)) {
          for (int j = 1; j <= pc.npar; ++j) v1[j] = pc.params[j].parval1;
          set_perturbed(pc, i, other, v1);
          if (const int code = runner.run(v1, 1, ok1)) return code;
          progress_line(++done);
          xs = other;
        }
        if (!ok1) {
          // Reported with the parameters without effect.
          for (int r = 1; r <= pc.nobs; ++r) s.jacobian[r][col] = 0.0;
          pc.params[i].derivative_failed = 1;
          ++pc.params[i].columns_failed;
          continue;
        }
      }
      std::printf("\n   A derivative run of parameter \"%s\" failed: its column comes from the run at %.8g.\n",
                  p.parnme.c_str(), p.is_log() ? std::pow(10.0, xs) : xs);
    }
    ++pc.params[i].columns_made;
    // The points as the model was given them.
    const double x0 = as_written(p, p.parval1);
    const double x1 = as_written(p, d.x1);
    const double x2 = as_written(p, d.x2);
    if (two_point) {
      const double xw = as_written(p, xs);
      const auto k = static_cast<std::size_t>(slot);
      for (int r = 1; r <= pc.nobs; ++r) {
        const auto& mv = pc.observations[r].model_value;
        s.jacobian[r][col] = (mv[k] - mv[0]) / (xw - x0);
      }
    } else if (g->dermthd == "outside_pts") {
      for (int r = 1; r <= pc.nobs; ++r) {
        const auto& mv = pc.observations[r].model_value;
        s.jacobian[r][col] = (mv[1] - mv[2]) / (x1 - x2);
      }
    } else {
      // The slope at x0 of the parabola through the three points.
      array2d<double> a(3, 3), rhs(3, 1), abc(3, 1);
      for (int r = 1; r <= pc.nobs; ++r) {
        const auto& mv = pc.observations[r].model_value;
        const double xs[4] = {0.0, x2, x0, x1};
        const double ys[4] = {0.0, mv[2], mv[0], mv[1]};
        for (int row = 1; row <= 3; ++row) {
          a[row][1] = xs[row] * xs[row];
          a[row][2] = xs[row];
          a[row][3] = 1.0;
          rhs[row][1] = ys[row];
        }
        abc.fill(0.0);
        solve3(a, 3, rhs, abc);
        s.jacobian[r][col] = 2.0 * abc[1][1] * x0 + abc[2][1];
      }
    }
  }
  if (done > 0) std::printf("\n");
  return 0;
}

int slm_write_sensitivities(pest_control& pc, const lm_system& s, const array2d<double>& jacobian,
                            const toolbox_file_names& names, int iteration, std::FILE* sen,
                            bool completion) {
  if (!completion) {
    if (iteration == 1) {
      std::fprintf(sen, "                        PARAMETER SENSITIVITIES: CASE %s\n",
                   names.base.c_str());
      std::fprintf(sen, "\n\n");
    }
    std::fprintf(sen, " OPTIMISATION ITERATION NO.\t%d ----->\n", iteration);
    sensitivity_header(sen);
    for (int k = 1; k <= s.n; ++k) sensitivity_line(sen, pc.params[s.adjustable[k]]);
    std::fprintf(sen, "\n\n");
    return 0;
  }
  std::fprintf(sen, "\n");
  std::fprintf(sen, "                        COMPLETION OF OPTIMISATION PROCESS\n\n");
  for (int g = 1; g <= pc.nobsgp; ++g) {
    const std::string& name = pc.obs_groups[g].obgnme;
    std::fprintf(sen, " Composite sensitivities for observation group \"%s\" ----->\n\n",
                 name.c_str());
    int count = 0;
    for (int i = 1; i <= pc.nobs; ++i)
      count += pc.observations[i].obgnme == name && pc.observations[i].weight > 0.0;
    for (int k = 1; k <= pc.nprior; ++k)
      count += pc.priors[k].obgnme == name && pc.priors[k].weight > 0.0;
    if (count == 0) {
      std::fprintf(sen, "\n No observations/prior_info with non-zero weight belong to this group.\n\n");
      continue;
    }
    std::fprintf(sen, " Number of observations with non-zero weight =\t%d\n", count);
    sensitivity_header(sen);
    for (int k = 1; k <= s.n; ++k) {
      param_rec& p = pc.params[s.adjustable[k]];
      int terms = 0;
      p.sensitivity = composite_sensitivity(pc, s, jacobian, k, &name, terms);
      sensitivity_line(sen, p);
    }
    std::fprintf(sen, "\n\n");
  }
  std::fprintf(sen, " Composite sensitivities for all observations/prior info ----->\n\n");
  int count = 0;
  for (int i = 1; i <= pc.nobs; ++i) count += pc.observations[i].weight > 0.0;
  for (int k = 1; k <= pc.nprior; ++k) count += pc.priors[k].weight > 0.0;
  std::fprintf(sen, " Number of observations with non-zero weight =\t%d\n", count);
  sensitivity_header(sen);
  for (int k = 1; k <= s.n; ++k) {
    param_rec& p = pc.params[s.adjustable[k]];
    int terms = 0;
    p.sensitivity = composite_sensitivity(pc, s, jacobian, k, nullptr, terms);
    sensitivity_line(sen, p);
  }
  return 0;
}

void slm_weighted_jacobian(const pest_control& pc, const lm_system& s,
                           const array2d<double>& jacobian, double phi, array2d<double>& covariance,
                           int& singular) {
  const int n = s.n;
  const int rows = pc.pestmode == "estimation" && pc.nprior > 0 ? s.m : pc.nobs;
  singular = 0;
  int weighted = 0;
  for (int i = 1; i <= pc.nobs; ++i) weighted += pc.observations[i].weight > 0.0;
  for (int k = 1; k <= pc.nprior; ++k) weighted += pc.priors[k].weight > 0.0;
  if (n < 1 || weighted <= n) {
    singular = 1;
    return;
  }
  array2d<double> a(n, n), inverse(n, n);
  for (int i = 1; i <= rows; ++i) {
    const double q = s.weight2[i];
    if (q == 0.0) continue;
    for (int p = 1; p <= n; ++p)
      for (int c = 1; c <= n; ++c) a[p][c] += q * jacobian[i][p] * jacobian[i][c];
  }
  if (dminv(a, n, inverse) != numeric_status::ok) {
    singular = 1;
    return;
  }
  const double factor = phi / (weighted - n);
  for (int p = 1; p <= n; ++p)
    for (int c = 1; c <= n; ++c) covariance[p][c] = inverse[p][c] * factor;
}

void slm_correlation(const array2d<double>& covariance, int n, array2d<double>& correlation) {
  // A parameter without variance (phi 0) correlates with nothing.
  for (int p = 1; p <= n; ++p)
    for (int c = 1; c <= n; ++c) {
      const double v = covariance[p][p] * covariance[c][c];
      correlation[p][c] = v > 0.0 ? covariance[p][c] / std::sqrt(v) : 0.0;
    }
}

}  // namespace nivra
