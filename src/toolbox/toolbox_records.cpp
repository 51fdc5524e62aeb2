#include "toolbox/toolbox_records.h"

#include <cmath>

#include "core/platform.h"
#include "toolbox/toolbox_numerics.h"

namespace nivra {

toolbox_file_names files_names_for_write(std::string_view case_name) {
  const std::size_t file_start = case_name.size() - file_part(case_name).size();
  const std::size_t dot = case_name.find('.', file_start);
  toolbox_file_names names;
  names.base.assign(case_name.substr(0, dot));
  names.rec = names.base + ".rec";
  names.sen = names.base + ".sen";
  names.mtt = names.base + ".mtt";
  names.par = names.base + ".par";
  names.rst = names.base + ".rst";
  return names;
}

int slm_phi_by_group(pest_control& pc, int slot, double& total) {
  total = 0.0;
  for (int g = 1; g <= pc.nobsgp; ++g) {
    obs_group& group = pc.obs_groups[g];
    group.phi = 0.0;
    if (slot == 0 || slot == 1) {
      for (int i = 1; i <= pc.nobs; ++i) {
        const obs_rec& o = pc.observations[i];
        if (o.obgnme != group.obgnme) continue;
        const double r = (o.obsval - o.model_value[static_cast<std::size_t>(slot)]) * o.weight;
        group.phi += r * r;
      }
    }
    total += group.phi;
  }
  return 0;
}

namespace {

// c = P p, p the adjustable values in control-file order.
bool prior_values(const pest_control& pc, const array2d<double>& prior_matrix,
                  array1d<double>& c) {
  array1d<double> p(pc.n_adjustable);
  int k = 0;
  for (int i = 1; i <= pc.npar; ++i)
    if (pc.params[i].is_adjustable() && k < pc.n_adjustable) p[++k] = pc.params[i].parval1;
  if (k != pc.n_adjustable || prior_matrix.rows() < pc.nprior ||
      (pc.nprior > 0 && prior_matrix.cols() < pc.n_adjustable))
    return false;
  c.alloc(pc.nprior);
  return dmvmult(prior_matrix, pc.nprior, pc.n_adjustable, p, k, c) == numeric_status::ok;
}

void regularisation_lines(std::FILE* out, const char* indent, double weight,
                          double measurement_phi, double regularisation_phi) {
  std::fprintf(out, "%sCurrent regularization weight factor                      =  %E\n", indent,
               weight);
  std::fprintf(out, "%sCurrent value of measurement objective function           =  %E\n", indent,
               measurement_phi);
  std::fprintf(out, "%sCurrent value of regularisation objective function        =  %E\n\n",
               indent, regularisation_phi);
}

// One line per observation group: its share of phi.
void group_lines(std::FILE* out, const pest_control& pc, const char* indent, const char* equals) {
  for (int g = 1; g <= pc.nobsgp; ++g)
    std::fprintf(out, "%sContribution to phi from observation group '%s'%s%E\n", indent,
                 pc.obs_groups[g].obgnme.c_str(), equals, pc.obs_groups[g].phi);
}

int iteration_block(const pest_control& pc, std::FILE* out, int iteration, int model_calls,
                    double phi, double measurement_phi, double regularisation_phi) {
  const bool regularisation = pc.regularisation_mode();
  if (pc.pestmode != "estimation" && !regularisation) return 0;
  std::fprintf(out, "\n");
  std::fprintf(out, "OPTIMIZATION ITERATION NO.\t\t\t\t: %d\n", iteration);
  std::fprintf(out, "Model Calls so far\t\t\t\t\t: %d\n", model_calls);
  if (regularisation)
    regularisation_lines(out, "", pc.reg_weight, measurement_phi, regularisation_phi);
  std::fprintf(out, "Starting objective function value for this iteration\t: %E\n", phi);
  group_lines(out, pc, "", "\t= ");
  std::fprintf(out, "\n");
  return 0;
}

// A measured (or provided) value against the calculated one.
void residual_line(std::FILE* out, const std::string& name, double given, double calculated,
                   double weight, const std::string& group) {
  std::fprintf(out, "%s\t\t%.8g\t%.8g\t%.8g\t%.8g\t%s\n", name.c_str(), given, calculated,
               given - calculated, weight, group.c_str());
}

// What the table of estimates says after a parameter's values: that every
// derivative run of it failed, or that it ends on a bound.
const char* estimate_note(const param_rec& p) {
  if (p.never_estimated()) return "   not estimated: every derivative run failed";
  const int side = p.on_bound();
  return side < 0 ? "   at its lower bound" : side > 0 ? "   at its upper bound" : "";
}

// "%lf" above 0.0001 in magnitude, "%.4E" at or below.
void matrix_number(std::FILE* out, double v) {
  std::fprintf(out, std::fabs(v) > 0.0001 ? "%lf" : "%.4E", v);
}

void print_matrix(std::FILE* out, const pest_control& pc, const array2d<double>& m) {
  std::fprintf(out, "\t\t");
  int k = 0;
  for (int i = 1; i <= pc.npar; ++i) {
    if (!pc.params[i].is_adjustable()) continue;
    ++k;
    std::fprintf(out, "%s%s", pc.params[i].parnme.c_str(), k == pc.n_adjustable ? "\n" : "\t");
  }
  int row = 0;
  for (int i = 1; i <= pc.npar; ++i) {
    if (!pc.params[i].is_adjustable()) continue;
    ++row;
    std::fprintf(out, "%s\t", pc.params[i].parnme.c_str());
    for (int j = 1; j <= pc.n_adjustable; ++j) {
      matrix_number(out, m[row][j]);
      std::fprintf(out, j == pc.n_adjustable ? "\n" : "\t");
    }
  }
}

}  // namespace

int slm_param_vector(pest_control& pc, const array2d<double>& prior_matrix, double& prior_phi) {
  prior_phi = 0.0;
  array1d<double> c;
  if (!prior_values(pc, prior_matrix, c)) return -1;
  for (int g = 1; g <= pc.nobsgp; ++g) {
    obs_group& group = pc.obs_groups[g];
    for (int i = 1; i <= pc.nprior; ++i) {
      const prior_rec& pr = pc.priors[i];
      if (pr.obgnme != group.obgnme) continue;
      const double r = (pr.pival - c[i]) * pr.weight;
      group.phi += r * r;
      prior_phi += r * r;
    }
  }
  return 0;
}

int slm_record_header(std::string_view case_name, const pest_control& pc, std::FILE* out) {
  std::fprintf(out, "\n                            RECORD FILE \n\n");
  std::fprintf(out, "\nINPUT INFORMATION \n\n");
  std::fprintf(out, "\nINPUT CONTROL FILE \n\n");
  std::fprintf(out, "Input control file case name: %.*s\n\n", static_cast<int>(case_name.size()),
               case_name.data());
  std::fprintf(out, "\nALGORITHM \n\n");
  if (pc.slm_method == 0) std::fprintf(out, "The LM method is employed for this case.");
  if (pc.slm_method == 1) {
    std::fprintf(out, "The SLM method is employed for this case.");
    std::fprintf(out,
                 "\n\nThe number of columns used for cyclic updating with the SLM method for this "
                 "case is: %d.",
                 pc.cyclic_columns);
    if (pc.full_update == 1) {
      std::fprintf(out,
                   "\n\nFull updating of the model sensitivity matrix was activated with the SLM "
                   "method for this case.");
      std::fprintf(out,
                   "\n\nThe threshold value (i.e., the ratio of the current to the previous "
                   "objective function value) specified to activate a full update with the SLM "
                   "method for this case is %lf.",
                   pc.full_update_ratio);
    }
  }
  std::fprintf(out, "\n\n\nCONTROL DATA INPUT");
  std::fprintf(out,
               "\n\nThe number of parameters specified in the input control file is:\t\t\t\t%d",
               pc.npar);
  std::fprintf(out,
               "\nThe number of adjustable model parameters specified in the input control file "
               "is:\t\t%d",
               pc.n_adjustable);
  std::fprintf(out,
               "\nThe number of fixed model parameters specified in the input control file "
               "is:\t\t\t%d",
               pc.n_fixed);
  std::fprintf(out,
               "\nThe number of tied model parameters specified in the input control file "
               "is:\t\t\t%d",
               pc.n_tied);
  std::fprintf(out, "\nThe number of observations specified in the input control file is:\t\t\t\t%d",
               pc.nobs);
  std::fprintf(out,
               "\nThe number of pieces of prior information specified in the input control file "
               "is:\t\t%d",
               pc.nprior);
  std::fprintf(out,
               "\nThe number of parameter groups specified in the input control file "
               "is:\t\t\t\t%d",
               pc.npargp);
  std::fprintf(out,
               "\nThe number of observation groups specified in the input control file "
               "is:\t\t\t%d",
               pc.nobsgp);
  std::fprintf(out, "\n\n\n");
  return 0;
}

int slm_print_run_record(double measurement_phi, double regularisation_phi, double phi,
                         const pest_control& pc, const toolbox_file_names& names) {
  std::FILE* out = stdout;
  std::fprintf(out, "\n");
  std::fprintf(out, "Run record: case %s\n", names.base.c_str());
  std::fprintf(out, "\n");
  std::fprintf(out, "Model command line:\n");
  std::fprintf(out, "pre NIVRA batch file : ");
  std::fprintf(out, "%s\n", pc.pre_batch.c_str());
  std::fprintf(out, "post NIVRA batch file : ");
  std::fprintf(out, "%s\n", pc.post_batch.c_str());
  std::fprintf(out, "\n");
  std::fprintf(out, "Running model ...\n");
  std::fprintf(out, "\n");
  if (pc.regularisation_mode())
    regularisation_lines(out, "  ", pc.wfinit, measurement_phi, regularisation_phi);
  std::fprintf(out, "Sum of squared weighted residuals = %E\n", phi);
  group_lines(out, pc, "", " = ");
  std::fprintf(out, "\n");
  return 0;
}

int slm_print_iteration(const pest_control& pc, int iteration, int model_calls, double phi,
                        double measurement_phi, double regularisation_phi) {
  return iteration_block(pc, stdout, iteration, model_calls, phi, measurement_phi,
                         regularisation_phi);
}

int slm_record_iteration(const pest_control& pc, std::FILE* out, int iteration, int model_calls,
                         double phi, double measurement_phi, double regularisation_phi) {
  return iteration_block(pc, out, iteration, model_calls, phi, measurement_phi,
                         regularisation_phi);
}

int slm_record_initial(std::FILE* rec, std::FILE* par, double measurement_phi,
                       double regularisation_phi, double phi, const pest_control& pc) {
  std::fprintf(rec, "                            OPTIMIZATION RECORD\n\n");
  std::fprintf(rec, "INITIAL CONDITIONS:\n");
  if (pc.regularisation_mode())
    regularisation_lines(rec, "  ", pc.wfinit, measurement_phi, regularisation_phi);
  std::fprintf(rec, "   Sum of squared weighted residuals = %E\n", phi);
  group_lines(rec, pc, "   ", " = ");
  std::fprintf(rec, "\n");
  std::fprintf(rec, "      Current parameter values\n");
  for (int i = 1; i <= pc.npar; ++i) {
    const param_rec& p = pc.params[i];
    std::fprintf(rec, "      %-16s %.8g\n", p.parnme.c_str(), p.model_value());
    std::fprintf(par, "%.8g\n", p.model_value());
  }
  return 0;
}

int slm_record_results(std::FILE* out, double phi, const array2d<double>& covariance,
                       const array2d<double>& correlation, const array2d<double>& eigenvectors,
                       const array1d<double>& eigenvalues, const pest_control& pc, int singular,
                       const array2d<double>& prior_matrix) {
  const int freedom = pc.nobs + pc.nprior - pc.n_adjustable;
  const bool no_iterations = pc.noptmax == 0;
  const bool no_freedom = freedom <= 0;
  const bool determined = singular != 1 && !no_iterations && !no_freedom;

  std::fprintf(out, "\n\n");
  std::fprintf(out, "                            OPTIMISATION RESULTS\n");
  std::fprintf(out, "\n\n");

  if (!determined) {
    std::fprintf(out, "Covariance matrix and parameter confidence intervals cannot be determined:\n");
    if (singular == 1) std::fprintf(out, "Normal matrix nearly singular; cannot be inverted.\n\n");
    if (no_iterations)
      std::fprintf(out,
                   "No optimisation iterations carried out so Jacobian never calculated..\n\n");
    if (no_freedom)
      std::fprintf(out,
                   "No degrees of freedom: observations and prior information do not outnumber "
                   "the adjustable parameters.\n\n");
    std::fprintf(out, "Adjustable Parameters ----->\n");
    std::fprintf(out, "\n");
    std::fprintf(out, "Parameter        Estimated\n");
    std::fprintf(out, "                 value\n");
    for (int i = 1; i <= pc.npar; ++i)
      if (pc.params[i].is_adjustable())
        std::fprintf(out, "%-16s %.8g%s\n", pc.params[i].parnme.c_str(), pc.params[i].model_value(),
                     estimate_note(pc.params[i]));
    std::fprintf(out, "\n\n\n");
  } else {
    double t = 0.0;
    t_value_975(freedom, t);
    std::fprintf(out, "Adjustable Parameters ----->\n");
    std::fprintf(out, "\n");
    std::fprintf(out, "Parameter        Estimated         95 percent confidence limits\n");
    std::fprintf(out, "                 value             lower limit       upper limit\n");
    int k = 0;
    for (int i = 1; i <= pc.npar; ++i) {
      const param_rec& p = pc.params[i];
      if (!p.is_adjustable()) continue;
      ++k;
      const double v = p.parval1;
      const double h = t * std::sqrt(covariance[k][k]);
      double lo = v - h, hi = v + h, value = v;
      if (p.is_log()) {
        value = std::pow(10.0, v);
        lo = std::pow(10.0, lo);
        hi = std::pow(10.0, hi);
      }
      std::fprintf(out, "%-16s %-17.8g %-17.8g %.8g%s\n", p.parnme.c_str(), value, lo, hi,
                   estimate_note(p));
    }
    std::fprintf(out, "\n");
    std::fprintf(out,
                 "Note: confidence limits provide only an indication of parameter uncertainty.\n");
    std::fprintf(out,
                 "      They rely on a linearity assumption which  may not extend as far in\n");
    std::fprintf(out, "      parameter space as the confidence limits themselves.\n\n\n");
  }

  if (pc.n_tied > 0) {
    std::fprintf(out, "Tied parameters ----->\n\n");
    for (int i = 1; i <= pc.npar; ++i)
      if (pc.params[i].is_tied())
        std::fprintf(out, "%-16s %.8g\n", pc.params[i].parnme.c_str(), pc.params[i].parval1);
    std::fprintf(out, "\n\n");
  }
  if (pc.n_fixed > 0) {
    std::fprintf(out, "Fixed parameters ----->\n\n");
    std::fprintf(out, "Parameter        Fixed value\n");
    for (int i = 1; i <= pc.npar; ++i)
      if (pc.params[i].is_fixed())
        std::fprintf(out, "%-16s %.8g\n", pc.params[i].parnme.c_str(), pc.params[i].parval1);
    std::fprintf(out, "\n\n");
  }

  std::fprintf(out, "Observations ----->\n");
  std::fprintf(out, "\n");
  std::fprintf(out,
               "Observation            Measured       Calculated     Residual       Weight     "
               "Group\n");
  std::fprintf(out, "                       value          value\n");
  for (int i = 1; i <= pc.nobs; ++i) {
    const obs_rec& o = pc.observations[i];
    residual_line(out, o.obsnme, o.obsval, o.model_value[0], o.weight, o.obgnme);
  }
  std::fprintf(out, "\n");
  std::fprintf(out, "\n");

  if (pc.nprior > 0) {
    array1d<double> c;
    const bool have = prior_values(pc, prior_matrix, c);
    std::fprintf(out, "Prior information ----->\n");
    std::fprintf(out, "\n");
    std::fprintf(out,
                 "Prior                  Provided       Calculated     Residual       Weight     "
                 "Group\n");
    std::fprintf(out, "information            value          value\n");
    for (int i = 1; i <= pc.nprior; ++i) {
      const prior_rec& pr = pc.priors[i];
      residual_line(out, pr.pilbl, pr.pival, have ? c[i] : std::nan(""), pr.weight, pr.obgnme);
    }
    std::fprintf(out, "\n");
    std::fprintf(out, "\n");
  }

  std::fprintf(out, "\n");
  std::fprintf(out, "Objective function ----->\n");
  std::fprintf(out, "\n");
  std::fprintf(out, "Sum of squared weighted residuals (ie phi)\t\t: %E\n", phi);
  group_lines(out, pc, "", "\t= ");
  std::fprintf(out, "\n");
  std::fprintf(out, "\n");

  if (determined) {
    std::fprintf(out, "Parameter covariance matrix ----->\n");
    print_matrix(out, pc, covariance);
    std::fprintf(out, "Parameter correlation coefficient matrix ----->\n");
    print_matrix(out, pc, correlation);
    std::fprintf(out, "Normalized eigenvectors of covariance matrix ----->\n");
    print_matrix(out, pc, eigenvectors);
    std::fprintf(out, "\n");
    std::fprintf(out, "\n");
    std::fprintf(out, "Eigenvalues ----->\n");
    std::fprintf(out, "\n");
    std::fprintf(out, "\t");
    for (int k = 1; k <= pc.n_adjustable; ++k) {
      matrix_number(out, eigenvalues[k]);
      std::fprintf(out, "\t");
    }
  } else {
    std::fprintf(out, "Covariance and other statistical matricies cannot be determined:\n");
    if (singular == 1) std::fprintf(out, "Normal matrix nearly singular; cannot be inverted.\n");
    if (no_iterations)
      std::fprintf(out, "No optimisation iterations carried out so Jacobian never calculated.\n");
    if (no_freedom)
      std::fprintf(out,
                   "No degrees of freedom: observations and prior information do not outnumber "
                   "the adjustable parameters.\n");
  }
  return 0;
}

bool t_value_975(int d, double& t) {
  static constexpr double table[] = {4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262,
                                     2.228, 2.201, 2.179, 2.160, 2.145, 2.131, 2.120, 2.110,
                                     2.101, 2.093, 2.086, 2.080, 2.074, 2.069, 2.064, 2.060,
                                     2.056, 2.052, 2.048, 2.045, 2.042};  // d = 2 .. 30
  struct knot {
    double d, t;
  };
  static constexpr knot knots[] = {
      {30, 2.042}, {40, 2.021}, {60, 2.000}, {120, 1.980}, {9999999, 1.960}};
  if (d < 1) return false;
  if (d == 1) {
    t = 12.706;
  } else if (d <= 30) {
    t = table[d - 2];
  } else if (d >= 9999999) {
    t = 1.960;
  } else {
    int k = 1;
    while (d > knots[k].d) ++k;
    const knot& a = knots[k - 1];
    const knot& b = knots[k];
    t = d == b.d ? b.t : a.t + (b.t - a.t) * (d - a.d) / (b.d - a.d);
  }
  return true;
}

}  // namespace nivra
