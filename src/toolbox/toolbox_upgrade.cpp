#include "toolbox/toolbox_upgrade.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "toolbox/toolbox_model.h"

namespace nivra {

namespace {

// Distance within which a value counts as lying on its bound.
constexpr double on_bound = 1e-8;

// Prints a note naming a parameter on the console and in the run record.
void say_both(const char* text, const std::string& name, std::FILE* rec) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::printf(text, name.c_str());
  if (rec) std::fprintf(rec, text, name.c_str());
#pragma GCC diagnostic pop
}

// Factor and weight of one prior row as the sensitivities count it: the
// Jacobian's entry in estimation mode, the factor times the regularisation
// weight in regularisation mode; false in any other mode.
bool prior_term(const pest_control& pc, const lm_system& s, const array2d<double>& jacobian,
                int k, int col, double& term) {
  const prior_rec& pr = pc.priors[k];
  if (pc.pestmode == "estimation") {
    term = pr.weight * jacobian[pc.nobs + k][col];
    return true;
  }
  if (pc.regularisation_mode()) {
    term = s.prior[k][col] * pc.reg_weight * pr.weight;
    return true;
  }
  return false;
}

void freeze(pest_control& pc, param_rec& p, bool gradient_too, std::FILE* rec) {
  if (p.frozen) return;
  p.frozen = 1;
  ++pc.n_frozen;
  const char* text = gradient_too
                         ? "      parameter \"%s\" frozen: gradient and update vectors out of bounds\n"
                         : "      parameter \"%s\" frozen: update vectors out of bounds\n";
  say_both(text, p.parnme, rec);
}

// The upgrade over cols, scaled to its optimum length; zero where the
// normal matrix cannot be factored.
void solve_subset(const pest_control& pc, const lm_system& s, const std::vector<int>& cols,
                  array1d<double>& u_full) {
  array1d<double> u;
  if (slm_lm_upgrade(pc, s, cols, u) == numeric_status::ok) slm_scale_upgrade(pc, s, cols, u);
  for (int k = 1; k <= s.n; ++k) u_full[k] = 0.0;
  for (std::size_t a = 0; a < cols.size(); ++a) u_full[cols[a]] = u[static_cast<int>(a) + 1];
}

}  // namespace

void build_lm_system(const pest_control& pc, lm_system& s) {
  s.n = pc.n_adjustable;
  s.m = pc.nobs + pc.nprior;
  slm_last_adjustable(pc, s.adjustable);
  s.jacobian.alloc(s.m, s.n);
  s.prior.alloc(pc.nprior, s.n);
  s.weight2.alloc(s.m);
  std::vector<int> column(static_cast<std::size_t>(pc.npar) + 1, 0);
  for (int k = 1; k <= s.n; ++k) column[static_cast<std::size_t>(s.adjustable[k])] = k;
  for (int k = 1; k <= pc.nprior; ++k) {
    const prior_rec& pr = pc.priors[k];
    for (int t = 1; t <= pr.n_terms; ++t)
      for (int i = 1; i <= pc.npar; ++i)
        if (pc.params[i].parnme == pr.term_name[t] && column[static_cast<std::size_t>(i)] > 0) {
          const int col = column[static_cast<std::size_t>(i)];
          s.prior[k][col] += pr.pifac[t];
          s.jacobian[pc.nobs + k][col] = s.prior[k][col];
          break;
        }
  }
  for (int i = 1; i <= pc.nobs; ++i) s.weight2[i] = pc.observations[i].weight * pc.observations[i].weight;
  for (int k = 1; k <= pc.nprior; ++k) s.weight2[pc.nobs + k] = pc.priors[k].weight * pc.priors[k].weight;
}

void adjustable_values(const pest_control& pc, const lm_system& s, array1d<double>& p) {
  if (p.size() != s.n) p.alloc(s.n);
  for (int k = 1; k <= s.n; ++k) p[k] = pc.params[s.adjustable[k]].parval1;
}

void search_residuals(const pest_control& pc, const lm_system& s, array1d<double>& r) {
  if (r.size() != s.m) r.alloc(s.m);
  for (int i = 1; i <= pc.nobs; ++i) r[i] = pc.observations[i].obsval - pc.observations[i].model_value[0];
  for (int k = 1; k <= pc.nprior; ++k) {
    double c = 0.0;
    for (int j = 1; j <= s.n; ++j) c += s.prior[k][j] * pc.params[s.adjustable[j]].parval1;
    r[pc.nobs + k] = pc.priors[k].pival - c;
  }
}

double composite_sensitivity(const pest_control& pc, const lm_system& s,
                             const array2d<double>& jacobian, int col, const std::string* group,
                             int& terms) {
  double sum = 0.0;
  terms = 0;
  for (int i = 1; i <= pc.nobs; ++i) {
    const obs_rec& o = pc.observations[i];
    if (o.weight <= 0.0 || (group && o.obgnme != *group)) continue;
    const double t = o.weight * jacobian[i][col];
    sum += t * t;
    ++terms;
  }
  for (int k = 1; k <= pc.nprior; ++k) {
    const prior_rec& pr = pc.priors[k];
    double t = 0.0;
    if (pr.weight <= 0.0 || (group && pr.obgnme != *group)) continue;
    if (!prior_term(pc, s, jacobian, k, col, t)) continue;
    sum += t * t;
    ++terms;
  }
  return terms > 0 ? std::sqrt(sum) / terms : 0.0;
}

int slm_check_no_effect(pest_control& pc, const lm_system& s, std::FILE* rec) {
  for (int k = 1; k <= s.n; ++k) {
    param_rec& p = pc.params[s.adjustable[k]];
    int terms = 0;
    p.sensitivity = composite_sensitivity(pc, s, s.jacobian, k, nullptr, terms);
    // A parameter that no row of positive weight sees has no effect either.
    if (terms > 0 && std::fabs(p.sensitivity) >= 1e-8) continue;
    p.no_effect = 1;
    ++pc.n_no_effect;
    const char* text = p.derivative_failed
                           ? "   Parameter \"%s\" is held this iteration: every derivative run of it failed.\n"
                           : "   Parameter \"%s\" has no effect on observations.\n";
    say_both(text, p.parnme, rec);
  }
  return 0;
}

numeric_status slm_lm_upgrade(const pest_control& pc, const lm_system& s,
                              const std::vector<int>& cols, array1d<double>& u) {
  const int ns = static_cast<int>(cols.size());
  u.alloc(ns);
  if (ns == 0) return numeric_status::ok;
  array1d<double> r;
  search_residuals(pc, s, r);
  array2d<double> a(ns, ns);
  array1d<double> g(ns), scale(ns), diag(ns), x(ns);
  for (int i = 1; i <= s.m; ++i) {
    const double q = s.weight2[i];
    if (q == 0.0) continue;
    const auto row = s.jacobian[i];
    for (int p = 1; p <= ns; ++p) {
      const double jp = q * row[cols[static_cast<std::size_t>(p - 1)]];
      g[p] += jp * r[i];
      for (int c = p; c <= ns; ++c) a[p][c] += jp * row[cols[static_cast<std::size_t>(c - 1)]];
    }
  }
  double largest = 0.0;
  for (int p = 1; p <= ns; ++p) {
    // A column no weighted row sees is not moved.
    scale[p] = a[p][p] > 0.0 ? std::sqrt(1.0 / a[p][p]) : 0.0;
    largest = std::max(largest, scale[p] * scale[p]);
  }
  const double lambda = pc.rlambda1;
  for (int p = 1; p <= ns; ++p) {
    for (int c = p; c <= ns; ++c) {
      a[p][c] *= scale[p] * scale[c];
      a[c][p] = a[p][c];
    }
    if (scale[p] == 0.0) a[p][p] = 1.0;
    else if (largest > 0.0) a[p][p] += lambda * scale[p] * scale[p] / largest;
    g[p] *= scale[p];
  }
  const numeric_status status = choldc(a, ns, diag);
  if (status != numeric_status::ok) return status;
  cholesky_solve(a, ns, diag, g, x);
  for (int p = 1; p <= ns; ++p) u[p] = scale[p] * x[p];
  return numeric_status::ok;
}

void slm_scale_upgrade(const pest_control& pc, const lm_system& s, const std::vector<int>& cols,
                       array1d<double>& u) {
  array1d<double> r;
  search_residuals(pc, s, r);
  double num = 0.0, den = 0.0;
  for (int i = 1; i <= s.m; ++i) {
    const auto row = s.jacobian[i];
    double v = 0.0;
    for (std::size_t a = 0; a < cols.size(); ++a) v += row[cols[a]] * u[static_cast<int>(a) + 1];
    num += s.weight2[i] * r[i] * v;
    den += s.weight2[i] * v * v;
  }
  if (den <= 0.0) return;
  const double beta = num / den;
  for (std::size_t a = 1; a <= cols.size(); ++a) u[static_cast<int>(a)] *= beta;
}

int slm_apply_upgrade(pest_control& pc, const lm_system& s, array1d<double>& u, std::FILE* rec) {
  const int n = s.n;
  auto param = [&](int k) -> param_rec& { return pc.params[s.adjustable[k]]; };
  array1d<double> old(n), g(n), r;
  adjustable_values(pc, s, old);
  // The steepest-descent direction 2 J^T Q r at the values on entry.
  search_residuals(pc, s, r);
  for (int i = 1; i <= s.m; ++i) {
    const double qr = 2.0 * s.weight2[i] * r[i];
    if (qr == 0.0) continue;
    for (int k = 1; k <= n; ++k) g[k] += s.jacobian[i][k] * qr;
  }

  std::vector<int> cols;
  if (pc.n_no_effect >= 1) {
    for (int k = 1; k <= n; ++k)
      if (!param(k).no_effect) cols.push_back(k);
    solve_subset(pc, s, cols, u);
  }

  // First pass: every parameter not frozen takes its step; one that crosses
  // a bound stops on it; one that sits on a bound and is pushed out is
  // frozen when the steepest descent points out as well.
  for (int k = 1; k <= n; ++k) {
    param_rec& p = param(k);
    if (p.frozen) continue;
    p.parval1 += u[k];
    if (p.parval1 < p.parubnd) p.at_upper = 0;
    if (p.parval1 > p.parlbnd) p.at_lower = 0;
    if (p.parval1 > p.parubnd) {
      if (!p.at_upper) {
        p.parval1 = p.parubnd;
        p.at_upper = 1;
      } else if (old[k] + g[k] > p.parubnd) {
        p.parval1 = p.parubnd;
        freeze(pc, p, true, rec);
      }
    } else if (p.parval1 < p.parlbnd) {
      if (!p.at_lower) {
        p.parval1 = p.parlbnd;
        p.at_lower = 1;
      } else if (old[k] + g[k] < p.parlbnd) {
        p.parval1 = p.parlbnd;
        freeze(pc, p, true, rec);
      }
    }
  }

  // Second pass, when nothing froze: a parameter still pushed out of the
  // bound it sits on is frozen there.
  if (pc.n_frozen == 0) {
    for (int k = 1; k <= n; ++k) {
      param_rec& p = param(k);
      if (p.frozen) continue;
      if (p.parval1 > p.parubnd + on_bound && p.at_upper) {
        p.parval1 = p.parubnd;
        freeze(pc, p, false, rec);
      } else if (p.parval1 < p.parlbnd - on_bound && p.at_lower) {
        p.parval1 = p.parlbnd;
        freeze(pc, p, false, rec);
      }
    }
  }

  // The free parameters solved again without the frozen ones.
  if (pc.n_frozen >= 1 && pc.n_frozen + pc.n_no_effect < n) {
    cols.clear();
    for (int k = 1; k <= n; ++k) {
      param_rec& p = param(k);
      if (p.frozen || p.no_effect) continue;
      cols.push_back(k);
      p.parval1 = old[k];
      if (p.parval1 >= p.parubnd - on_bound) p.at_upper = 1;
      if (p.parval1 <= p.parlbnd + on_bound) p.at_lower = 1;
    }
    solve_subset(pc, s, cols, u);
    for (int k : cols) {
      param_rec& p = param(k);
      p.parval1 += u[k];
      if (p.parval1 < p.parubnd) p.at_upper = 0;
      if (p.parval1 > p.parlbnd) p.at_lower = 0;
      if (p.parval1 > p.parubnd) {
        const bool was_on = p.at_upper;
        p.parval1 = p.parubnd;
        p.at_upper = 1;
        if (was_on) freeze(pc, p, g[k] > 0.0, rec);
      } else if (p.parval1 < p.parlbnd) {
        const bool was_on = p.at_lower;
        p.parval1 = p.parlbnd;
        p.at_lower = 1;
        if (was_on) freeze(pc, p, g[k] < 0.0, rec);
      }
    }
  }

  // What is left outside a bound it sits on goes back onto it.
  for (int k = 1; k <= n; ++k) {
    param_rec& p = param(k);
    if (p.frozen) continue;
    if (p.at_lower && p.parval1 < p.parlbnd) p.parval1 = p.parlbnd;
    if (p.at_upper && p.parval1 > p.parubnd) p.parval1 = p.parubnd;
  }
  for (int k = 1; k <= n; ++k) u[k] = param(k).parval1 - old[k];
  recompute_tied(pc);
  return 0;
}

bool slm_broyden_update(const pest_control& pc, lm_system& s) {
  const int n = s.n;
  array1d<double> step(n);
  double sts = 0.0;
  for (int k = 1; k <= n; ++k) {
    const param_rec& p = pc.params[s.adjustable[k]];
    step[k] = p.parval1 - p.prev_value;
    sts += step[k] * step[k];
  }
  if (!(sts > 1e-30)) return false;
  array1d<double> d(s.m);
  for (int i = 1; i <= s.m; ++i) {
    double js = 0.0;
    for (int k = 1; k <= n; ++k) js += s.jacobian[i][k] * step[k];
    double change = 0.0;
    if (i <= pc.nobs) {
      const obs_rec& o = pc.observations[i];
      change = o.model_value[1] - o.model_value[0];
    } else {
      // The change of P p: the prior rows' own change.
      for (int k = 1; k <= n; ++k) change += s.prior[i - pc.nobs][k] * step[k];
    }
    d[i] = change - js;
  }
  for (int i = 1; i <= s.m; ++i) {
    const double f = d[i] / sts;
    if (f == 0.0) continue;
    for (int k = 1; k <= n; ++k) s.jacobian[i][k] += f * step[k];
  }
  return true;
}

}  // namespace nivra
