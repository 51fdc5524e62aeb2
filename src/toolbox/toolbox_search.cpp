#include "toolbox/toolbox_search.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <filesystem>
#include <limits>

#include "core/guarded_file.h"
#include "core/platform.h"
#include "toolbox/toolbox_global.h"
#include "toolbox/toolbox_jacobian.h"
#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_restart.h"
#include "toolbox/toolbox_text.h"
#include "toolbox/toolbox_upgrade.h"

namespace nivra {

namespace {

constexpr double infinite = std::numeric_limits<double>::infinity();

// The same text on the console and in the record file.
__attribute__((format(printf, 2, 3))) void both(std::FILE* rec, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list copy;
  va_copy(copy, args);
  std::vprintf(format, args);
  if (rec) std::vfprintf(rec, format, copy);
  va_end(copy);
  va_end(args);
}

int lowest_trial(int k, const std::vector<double>& trial_phi) {
  int best = 0;
  double lowest = infinite;
  for (int i = 1; i <= k; ++i)
    if (std::isfinite(trial_phi[static_cast<std::size_t>(i)]) &&
        trial_phi[static_cast<std::size_t>(i)] <= lowest) {
      lowest = trial_phi[static_cast<std::size_t>(i)];
      best = i;
    }
  return best;
}

void copy_matrix(const array2d<double>& from, array2d<double>& to) {
  if (to.rows() != from.rows() || to.cols() != from.cols()) to.alloc(from.rows(), from.cols());
  for (int i = 1; i <= from.rows(); ++i)
    for (int j = 1; j <= from.cols(); ++j) to[i][j] = from[i][j];
}

// The three lines that close a search in the record file.
void final_run_lines(std::FILE* rec) {
  std::fprintf(rec, "The model has been run one final time using best parameters.\n");
  std::fprintf(rec, "Thus all model input files contain best parameter values, and model\n");
  std::fprintf(rec, "output files contain model results based on these parameters.\n");
}

enum class search_end { normal, max_iterations, limits };

class lm_search {
 public:
  lm_search(pest_control& pc, const toolbox_file_names& names, std::FILE* rec, std::FILE* sen,
            std::FILE* par, toolbox_streams& streams, toolbox_model& model, search_outcome* outcome,
            search_trail* trail)
      : pc_(pc), names_(names), rec_(rec), sen_(sen), par_(par), runner_(pc, streams, model),
        outcome_(outcome), trail_(trail) {}

  int run(bool restart);
  int model_calls() const { return runner_.calls; }

 private:
  param_rec& param(int k) { return pc_.params[sys_.adjustable[k]]; }
  double phi_of(int slot, bool ok) {
    return search_phi(pc_, slot, sys_.prior, ok, &measurement_phi_, &prior_phi_);
  }
  void set_history(int i, double value) {
    if (history_.size() <= static_cast<std::size_t>(i)) history_.resize(static_cast<std::size_t>(i) + 1, 0.0);
    history_[static_cast<std::size_t>(i)] = value;
  }
  void save_best() {
    for (int i = 1; i <= pc_.npar; ++i) best_params_[i] = pc_.params[i].parval1;
    for (int i = 1; i <= pc_.nobs; ++i) best_outputs_[i] = pc_.observations[i].model_value[1];
  }
  void take_best() {
    for (int i = 1; i <= pc_.npar; ++i) pc_.params[i].parval1 = best_params_[i];
  }
  void back_to_start() {
    for (int k = 1; k <= sys_.n; ++k) {
      param(k).parval1 = p0_[k];
      param(k).at_upper = start_upper_[static_cast<std::size_t>(k)];
      param(k).at_lower = start_lower_[static_cast<std::size_t>(k)];
    }
    recompute_tied(pc_);
  }
  int write_par_file();
  int write_jacobian_file();
  int read_restart();
  int write_restart();
  void start_iteration();
  int lambda_search();
  void accept(int b, int k, double lambda0);
  void print_parameters();
  void count_small_change();
  int finish(search_end end);
  int statistics();

  pest_control& pc_;
  const toolbox_file_names& names_;
  std::FILE* rec_;
  std::FILE* sen_;
  std::FILE* par_;
  toolbox_runner runner_;
  search_outcome* outcome_;
  search_trail* trail_;
  int entry_points_ = 0;  // points of the trail stored before this search

  lm_system sys_;
  array2d<double> jacobian_best_;
  std::vector<double> history_{0.0};  // starting phi of each iteration, 1-based
  array1d<double> best_params_;       // npar, stored values
  array1d<double> best_outputs_;      // nobs
  array1d<double> p0_;                // adjustable values at the iteration's start
  std::vector<int> start_upper_, start_lower_;

  double phi_ = 0.0, phi_min_ = 0.0, previous_start_phi_ = 0.0, phi0_ = 0.0;
  double measurement_phi_ = 0.0, prior_phi_ = 0.0;
  int iteration_ = 0, phi_min_iteration_ = 0, small_changes_ = 0, cyclic_position_ = 0;
  bool switch_mode_ = false, three_point_ = false, all_at_limits_ = false, reversal_ = false;
  bool no_response_ = false;
  bool responded_ = false;  // a Jacobian of the search had a column with effect
  double lambda_previous_ = 0.0;

  // The trials of the current lambda search, 1-based.
  std::vector<double> trial_phi_, trial_lambda_;
  std::vector<std::vector<double>> trial_values_, trial_outputs_;
};

int lm_search::write_par_file() {
  std::rewind(par_);
  for (int i = 1; i <= pc_.npar; ++i)
    std::fprintf(par_, "%.8g\n", pc_.params[i].is_log() ? std::pow(10.0, best_params_[i]) : best_params_[i]);
  const long end = std::ftell(par_);
  std::error_code ec;
  if (std::fflush(par_) != 0 || std::ferror(par_) || end < 0)
    return toolbox_report(toolbox_msg::write_file, {}, names_.par);
  std::filesystem::resize_file(os_path(names_.par), static_cast<std::uintmax_t>(end), ec);
  return 0;
}

int lm_search::write_jacobian_file() {
  remove_file("jac.txt");
  guarded_file f;
  if (!open_toolbox_file(f, "jac.txt", "w")) return toolbox_report(toolbox_msg::write_file, {}, "jac.txt");
  for (int i = 1; i <= sys_.m; ++i) {
    for (int k = 1; k <= sys_.n; ++k) std::fprintf(f.fp, "%.8g\t", sys_.jacobian[i][k]);
    std::fprintf(f.fp, "\n");
  }
  if (std::fflush(f.fp) != 0 || std::ferror(f.fp))
    return toolbox_report(toolbox_msg::write_file, {}, "jac.txt");
  return 0;
}

int lm_search::write_restart() {
  restart_state st;
  copy_matrix(sys_.jacobian, st.jacobian);
  copy_matrix(jacobian_best_, st.jacobian_best);
  st.history_count = static_cast<int>(history_.size()) - 1;
  st.history.alloc(st.history_count);
  for (int i = 1; i <= st.history_count; ++i) st.history[i] = history_[static_cast<std::size_t>(i)];
  st.phi = phi_;
  st.phi_previous = previous_start_phi_;
  st.best_params.alloc(pc_.npar);
  for (int i = 1; i <= pc_.npar; ++i) st.best_params[i] = best_params_[i];
  st.best_outputs.alloc(pc_.nobs);
  for (int i = 1; i <= pc_.nobs; ++i) st.best_outputs[i] = best_outputs_[i];
  st.phi_min = phi_min_;
  st.phi_min_iteration = phi_min_iteration_;
  st.model_calls = runner_.calls;
  st.lambda_previous = lambda_previous_;
  st.iteration = iteration_;
  st.phi_start = phi0_;
  st.start_values.alloc(sys_.n);
  for (int k = 1; k <= sys_.n; ++k) st.start_values[k] = p0_[k];
  st.small_change_count = small_changes_;
  st.three_point = three_point_ ? 1 : 0;
  return slm_write_restart(names_.rst, st, pc_);
}

int lm_search::read_restart() {
  restart_state st;
  if (const int code = slm_read_restart(names_.rst, st, pc_)) return code;
  if (st.iteration < 1)
    return toolbox_report(toolbox_msg::restart_format, "its iteration number is below 1", names_.rst);
  copy_matrix(st.jacobian, sys_.jacobian);
  copy_matrix(st.jacobian_best, jacobian_best_);
  history_.assign(static_cast<std::size_t>(st.history_count) + 1, 0.0);
  for (int i = 1; i <= st.history_count; ++i) history_[static_cast<std::size_t>(i)] = st.history[i];
  phi_ = st.phi;
  previous_start_phi_ = st.phi_previous;
  for (int i = 1; i <= pc_.npar; ++i) best_params_[i] = st.best_params[i];
  for (int i = 1; i <= pc_.nobs; ++i) best_outputs_[i] = st.best_outputs[i];
  phi_min_ = st.phi_min;
  phi_min_iteration_ = st.phi_min_iteration;
  runner_.calls = st.model_calls;
  lambda_previous_ = st.lambda_previous;
  iteration_ = st.iteration;
  phi0_ = st.phi_start;
  for (int k = 1; k <= sys_.n; ++k) p0_[k] = st.start_values[k];
  small_changes_ = st.small_change_count;
  three_point_ = st.three_point != 0;
  return 0;
}

// Steps that open an iteration: bounds, phi history, the best set, the
// switch to three-point derivatives and the base of the iteration.
void lm_search::start_iteration() {
  pc_.n_frozen = 0;
  pc_.n_no_effect = 0;
  for (int i = 1; i <= pc_.npar; ++i) {
    param_rec& p = pc_.params[i];
    p.no_effect = 0;
    p.frozen = 0;
    p.derivative_failed = 0;
    if (std::fabs(p.parval1 - p.parubnd) <= 1e-8) p.parval1 = p.parubnd;
    else if (std::fabs(p.parval1 - p.parlbnd) <= 1e-8) p.parval1 = p.parlbnd;
    p.at_upper = p.parval1 >= p.parubnd ? 1 : 0;
    p.at_lower = p.parlbnd >= p.parval1 ? 1 : 0;
  }
  pc_.phi_ratio = phi_ / previous_start_phi_;
  previous_start_phi_ = phi_;
  if (pc_.noptmax > 0) set_history(iteration_, phi_);

  if (phi_ < phi_min_) {
    phi_min_ = phi_;
    phi_min_iteration_ = iteration_ - 1;
    save_best();
    write_par_file();
    copy_matrix(sys_.jacobian, jacobian_best_);
  }
  if (trail_ && iteration_ >= 2) trail_->points->append(pc_, phi_);
  if (switch_mode_ && !three_point_ && iteration_ > 1 && pc_.noptmax > 0) {
    const double before = history_[static_cast<std::size_t>(iteration_ - 1)];
    const double now = history_[static_cast<std::size_t>(iteration_)];
    if (pc_.phiredswh >= (before - now) / before) three_point_ = true;
  }
  if (iteration_ > 1)
    for (int i = 1; i <= pc_.nobs; ++i)
      pc_.observations[i].model_value[0] = pc_.observations[i].model_value[1];
  for (int i = 1; i <= pc_.npar; ++i) pc_.params[i].prev_value = pc_.params[i].parval1;
  adjustable_values(pc_, sys_, p0_);
}

int lm_search::lambda_search() {
  const int n = sys_.n;
  const double lambda0 = pc_.rlambda1;
  phi0_ = phi_;
  start_upper_.assign(static_cast<std::size_t>(n) + 1, 0);
  start_lower_.assign(static_cast<std::size_t>(n) + 1, 0);
  for (int k = 1; k <= n; ++k) {
    start_upper_[static_cast<std::size_t>(k)] = param(k).at_upper;
    start_lower_[static_cast<std::size_t>(k)] = param(k).at_lower;
  }
  trial_phi_.assign(1, 0.0);
  trial_lambda_.assign(1, 0.0);
  trial_values_.assign(1, {});
  trial_outputs_.assign(1, {});
  std::vector<int> all(static_cast<std::size_t>(n));
  for (int k = 1; k <= n; ++k) all[static_cast<std::size_t>(k - 1)] = k;

  array1d<double> u(n);
  for (int k = 1;; ++k) {
    u.fill(0.0);
    if (pc_.n_no_effect == 0) {
      array1d<double> full;
      if (slm_lm_upgrade(pc_, sys_, all, full) == numeric_status::ok) {
        slm_scale_upgrade(pc_, sys_, all, full);
        for (int j = 1; j <= n; ++j) u[j] = full[j];
      } else {
        both(rec_, "\tThe normal matrix cannot be factored at lambda %E: no upgrade.\n", pc_.rlambda1);
      }
    }
    if (const int code = slm_apply_upgrade(pc_, sys_, u, rec_)) return code;
    if (pc_.n_frozen + pc_.n_no_effect >= n) {
      all_at_limits_ = true;
      return 0;
    }
    both(rec_, "\n");
    both(rec_, "\tLambda = %E ----->\n", pc_.rlambda1);
    both(rec_, "\trunning model ...\n");
    bool ok = false;
    if (const int code = runner_.run_current(1, ok)) return code;
    const double phi = phi_of(1, ok);
    if (!ok) both(rec_, "\tThe model run failed: its phi counts as infinite.\n");
    if (ok && iteration_ >= 2 && pc_.slm_method == 1 &&
        (pc_.full_update == 0 || (pc_.full_update == 1 && pc_.full_update_ratio > pc_.phi_ratio)))
      slm_broyden_update(pc_, sys_);

    trial_phi_.push_back(phi);
    trial_lambda_.push_back(pc_.rlambda1);
    std::vector<double> values(static_cast<std::size_t>(pc_.npar) + 1);
    for (int i = 1; i <= pc_.npar; ++i) values[static_cast<std::size_t>(i)] = pc_.params[i].parval1;
    trial_values_.push_back(std::move(values));
    std::vector<double> outputs(static_cast<std::size_t>(pc_.nobs) + 1);
    for (int i = 1; i <= pc_.nobs; ++i)
      outputs[static_cast<std::size_t>(i)] = pc_.observations[i].model_value[1];
    trial_outputs_.push_back(std::move(outputs));

    std::printf("\tPhi =\t%E\t\t(%E of starting phi)\n", phi, phi / phi0_);
    std::printf("\n");
    std::fprintf(rec_, "\tPhi =\t%E\t\t(%E of starting phi)\n", phi, phi / phi0_);
    std::fprintf(rec_, "\n");

    int accepted = 0;
    if (slm_check_lambda_stop(rec_, phi0_, k, trial_phi_, pc_, accepted)) {
      accept(accepted, k, lambda0);
      print_parameters();
      return 0;
    }
    back_to_start();
    slm_adjust_lambda(lambda0, lambda_previous_, reversal_, phi, trial_phi_, k, pc_);
  }
}

void lm_search::accept(int b, int k, double lambda0) {
  auto take_outputs = [&](const std::vector<double>& outputs) {
    for (int i = 1; i <= pc_.nobs; ++i)
      pc_.observations[i].model_value[1] = outputs[static_cast<std::size_t>(i)];
  };
  const double phi_b = b > 0 ? trial_phi_[static_cast<std::size_t>(b)] : infinite;
  if (b > 0 && iteration_ == 1 && phi_b > phi0_ && switch_mode_) {
    // Two-point derivatives did not lead downhill: the next iteration
    // starts from the same values with three-point derivatives.
    three_point_ = true;
    pc_.rlambda1 = trial_lambda_[1];
    back_to_start();
    for (int i = 1; i <= pc_.nobs; ++i)
      pc_.observations[i].model_value[1] = pc_.observations[i].model_value[0];
    phi_of(1, true);
    phi_ = phi0_;
    return;
  }
  if (b > 0 && !three_point_ && switch_mode_ && iteration_ > 1 && phi_b > phi0_) {
    take_best();
    for (int i = 1; i <= pc_.nobs; ++i) pc_.observations[i].model_value[1] = best_outputs_[i];
  } else if (b == 0) {
    // No trial ran well: the parameters stay, and the next iteration damps
    // harder than every lambda tried.
    back_to_start();
    for (int i = 1; i <= pc_.nobs; ++i)
      pc_.observations[i].model_value[1] = pc_.observations[i].model_value[0];
    phi_of(1, true);
    phi_ = phi0_;
    double largest = lambda0;
    for (int t = 1; t <= k; ++t) largest = std::max(largest, trial_lambda_[static_cast<std::size_t>(t)]);
    pc_.rlambda1 = largest * pc_.rlamfac;
    reversal_ = false;
    both(rec_, "\tNo trial ran well: the parameters stay, and the next lambda is %E.\n",
         pc_.rlambda1);
    return;
  } else {
    for (int i = 1; i <= pc_.npar; ++i)
      pc_.params[i].parval1 = trial_values_[static_cast<std::size_t>(b)][static_cast<std::size_t>(i)];
    take_outputs(trial_outputs_[static_cast<std::size_t>(b)]);
  }
  phi_ = phi_of(1, true);
  if (reversal_) pc_.rlambda1 = trial_lambda_[static_cast<std::size_t>(b)];
  else slm_adjust_lambda(lambda0, lambda_previous_, reversal_, phi_, trial_phi_, k, pc_);
  reversal_ = false;
}

void lm_search::print_parameters() {
  std::fprintf(rec_, "      Current parameter values                 Previous parameter values\n");
  for (int i = 1; i <= pc_.npar; ++i) {
    const param_rec& p = pc_.params[i];
    const double prev = p.is_log() ? std::pow(10.0, p.prev_value) : p.prev_value;
    std::fprintf(rec_, "      %-14s %-25.8g %-14s %.8g\n", p.parnme.c_str(), p.model_value(),
                 p.parnme.c_str(), prev);
  }
  std::fprintf(rec_, "\n");
}

void lm_search::count_small_change() {
  double largest = 0.0;
  for (int k = 1; k <= sys_.n; ++k) {
    const param_rec& p = param(k);
    double before = p0_[k], after = p.parval1;
    if (p.is_log() && (!trail_ || trail_->natural_change)) {
      before = std::pow(10.0, before);
      after = std::pow(10.0, after);
    }
    const double change =
        before != 0.0 ? std::fabs((before - after) / before) : (after == before ? 0.0 : infinite);
    largest = std::max(largest, change);
  }
  if (pc_.relparstp > largest) ++small_changes_;
  else small_changes_ = 0;
}

int lm_search::finish(search_end end) {
  if (end == search_end::max_iterations && phi_ < phi_min_) {
    phi_min_ = phi_;
    save_best();
    copy_matrix(sys_.jacobian, jacobian_best_);
  }
  remove_file(names_.rst);
  take_best();
  std::printf("\n");
  std::printf("Running model one last time with best parameters...\n");
  std::printf("\n\n");
  if (end == search_end::normal) {
    std::fprintf(rec_, "\n");
    final_run_lines(rec_);
    std::fprintf(rec_, "\n\n");
  } else if (end == search_end::max_iterations) {
    std::fprintf(rec_, "Optimization complete: Maximum number of optimization iterations completed.\n");
    std::fprintf(rec_, "Total Model Calls:\t%d\n", runner_.calls);
    std::fprintf(rec_, "\n");
    final_run_lines(rec_);
    std::fprintf(rec_, "\n\n");
  }
  if (const int code = write_par_file()) return code;
  bool ok = false;
  if (const int code = runner_.run_current(0, ok)) return code;
  if (!ok) return toolbox_report(toolbox_msg::final_run_failed);
  phi_ = phi_of(0, true);
  if (end == search_end::limits) {
    bool held = false;
    for (int k = 1; k <= sys_.n; ++k) held = held || param(k).derivative_failed;
    if (pc_.n_no_effect >= sys_.n && !held && !responded_) {
      // Outputs that no parameter ever moved: most likely the instruction
      // files read another part of the output than the observations stand for.
      no_response_ = true;
      both(rec_, "Error: no observation responds to any parameter: every column of the Jacobian is zero.\n"
                 "Check that the instruction files read the model outputs the parameters change.\n");
    } else if (pc_.n_no_effect >= sys_.n && !held) {
      both(rec_, "Optimisation complete: no observation responds to any parameter at the current values.\n");
    } else if (pc_.n_no_effect == 0) {
      both(rec_, "Optimisation complete: all parameters at their limits.\n");
    } else {
      both(rec_, "Optimisation complete: no parameter can move: each is frozen at a bound, has no effect\n"
                 "                       on the observations or failed its derivative runs.\n");
    }
    both(rec_, "Total Model Calls:\t%d\n", runner_.calls);
    std::fprintf(rec_, "\n");
    final_run_lines(rec_);
    std::fprintf(rec_, "\n\n");
  }
  return statistics();
}

int lm_search::statistics() {
  const int n = sys_.n;
  array2d<double> covariance(n, n), correlation(n, n), vectors(n, n);
  array1d<double> values(n);
  int singular = 0;
  if (pc_.noptmax != 0) {
    if (pc_.noptmax == -1) copy_matrix(sys_.jacobian, jacobian_best_);
    slm_write_sensitivities(pc_, sys_, jacobian_best_, names_, iteration_, sen_, true);
    slm_weighted_jacobian(pc_, sys_, jacobian_best_, phi_, covariance, singular);
    if (!singular) {
      slm_correlation(covariance, n, correlation);
      array2d<double> work(n, n);
      copy_matrix(covariance, work);
      int rotations = 0;
      if (jacobi(work, n, values, vectors, rotations) == numeric_status::ok)
        sort_eigen_desc(values, vectors, n);
    }
  }
  slm_record_results(rec_, phi_, covariance, correlation, vectors, values, pc_, singular, sys_.prior);
  int not_estimated = 0;
  for (int k = 1; k <= n; ++k) {
    const param_rec& p = param(k);
    if (p.never_estimated()) {
      ++not_estimated;
      std::printf("Error: parameter \"%s\" could not be estimated: every derivative run of it failed; it "
                  "keeps the value %.8g.\n",
                  p.parnme.c_str(), p.model_value());
    } else if (const int side = p.on_bound()) {
      const double bound = side < 0 ? p.parlbnd : p.parubnd;
      std::printf("Parameter \"%s\" ends at its %s bound %.8g: the best fit may lie beyond it.\n",
                  p.parnme.c_str(), side < 0 ? "lower" : "upper", p.is_log() ? std::pow(10.0, bound) : bound);
    }
  }
  if (outcome_) {
    outcome_->not_estimated = not_estimated;
    outcome_->no_response = no_response_;
    outcome_->values.assign(static_cast<std::size_t>(pc_.npar) + 1, 0.0);
    for (int i = 1; i <= pc_.npar; ++i)
      outcome_->values[static_cast<std::size_t>(i)] = pc_.params[i].model_value();
    outcome_->std_dev.clear();
    if (pc_.noptmax != 0 && !singular) {
      outcome_->std_dev.assign(static_cast<std::size_t>(n) + 1, 0.0);
      for (int k = 1; k <= n; ++k) outcome_->std_dev[static_cast<std::size_t>(k)] = std::sqrt(covariance[k][k]);
    }
    outcome_->phi = phi_;
    outcome_->model_calls = runner_.calls;
    outcome_->iterations = iteration_ > 0 ? iteration_ - 1 : 0;
  }
  std::fflush(rec_);
  std::fflush(sen_);
  return 0;
}

int lm_search::run(bool restart) {
  if (const int code = check_derivative_words(pc_)) return code;
  build_lm_system(pc_, sys_);
  const int n = sys_.n;
  for (int k = 1; k <= n && !switch_mode_; ++k) {
    const param_group* g = group_of(pc_, param(k));
    switch_mode_ = g && g->forcen == "switch";
  }
  for (int i = 1; i <= pc_.npar; ++i) {
    param_rec& p = pc_.params[i];
    p.at_upper = p.at_lower = p.frozen = p.no_effect = p.derivative_failed = 0;
    p.columns_made = p.columns_failed = 0;
    p.sensitivity = 0.0;
  }
  pc_.n_no_effect = 0;
  best_params_.alloc(pc_.npar);
  best_outputs_.alloc(pc_.nobs);
  p0_.alloc(n);
  for (int i = 1; i <= pc_.npar; ++i) best_params_[i] = pc_.params[i].parval1;
  copy_matrix(sys_.jacobian, jacobian_best_);
  if (trail_) entry_points_ = trail_->points->count();
  responded_ = restart;  // the iterations before a restart are not known

  if (!restart) {
    bool ok = false;
    if (const int code = runner_.run_current(0, ok)) return code;
    if (!ok) return toolbox_report(toolbox_msg::first_run_failed);
    phi_ = phi_of(0, true);
    phi_min_ = phi_;
    if (trail_ && entry_points_ > 0) trail_->points->set_phi(entry_points_, phi_);
    for (int i = 1; i <= pc_.nobs; ++i) best_outputs_[i] = pc_.observations[i].model_value[0];
    slm_print_run_record(measurement_phi_, prior_phi_, phi_, pc_, names_);
    slm_record_initial(rec_, par_, measurement_phi_, prior_phi_, phi_, pc_);
    iteration_ = 1;
    if (pc_.noptmax >= 1) set_history(1, phi_);
  }
  if (pc_.noptmax == 0) return statistics();

  for (;;) {
    if (restart && iteration_ == 0) {
      if (const int code = read_restart()) return code;
      std::fprintf(rec_, "\n\n                             .....RESTART.....\n\n");
    }
    start_iteration();
    if (pc_.noptmax != -1) {
      int stop = 0;
      slm_check_termination(rec_, iteration_, phi_min_iteration_, small_changes_, history_, phi_min_,
                            phi_, pc_, stop, runner_.calls);
      if (stop) return finish(search_end::normal);
      // A global search's local search that comes near a point visited
      // before it began goes no further.
      if (trail_ && iteration_ >= 2 && gopt_near_minimum(*trail_->points, entry_points_, pc_))
        return finish(search_end::normal);
    }
    slm_print_iteration(pc_, iteration_, runner_.calls, phi_, measurement_phi_, prior_phi_);
    slm_record_iteration(pc_, rec_, iteration_, runner_.calls, phi_, measurement_phi_, prior_phi_);
    const int code = slm_jacobian(pc_, sys_, runner_, three_point_, iteration_, cyclic_position_);
    if (iteration_ == 1) copy_matrix(sys_.jacobian, jacobian_best_);
    if (code == 0) {
      slm_check_no_effect(pc_, sys_, rec_);
      responded_ = responded_ || pc_.n_no_effect < n;
      slm_write_sensitivities(pc_, sys_, sys_.jacobian, names_, iteration_, sen_, false);
    }
    const int jac_code = trail_ ? 0 : write_jacobian_file();
    if (code) return code;
    if (jac_code) return jac_code;

    if (pc_.noptmax >= 1)
      if (const int lambda_code = lambda_search()) return lambda_code;

    ++iteration_;
    count_small_change();
    if (pc_.rstfle == "restart" && pc_.noptmax >= 1)
      if (const int restart_code = write_restart()) return restart_code;

    if (pc_.noptmax != -1 && iteration_ > pc_.noptmax) return finish(search_end::max_iterations);
    if (all_at_limits_) return finish(search_end::limits);
    if (pc_.noptmax == -1) return statistics();
  }
}

}  // namespace

int slm_check_termination(std::FILE* rec, int iteration, int phi_min_iteration, int small_changes,
                          const std::vector<double>& history, double phi_min, double phi,
                          const pest_control& pc, int& stop, int model_calls) {
  stop = 0;
  if (std::fabs(phi) <= 1e-30) {
    both(rec, "Optimization complete: the objective function equals zero\n");
    stop = 1;
  } else {
    int close = 0;
    for (int i = 1; i <= iteration && static_cast<std::size_t>(i) < history.size(); ++i) {
      const double h = history[static_cast<std::size_t>(i)];
      if (pc.phiredstp >= (h - phi_min) / h) ++close;
    }
    if (close >= pc.nphistp) {
      both(rec, "Optimization complete: the  %d lowest phi's are within a relative distance\n",
           pc.nphistp);
      both(rec, "                       of each other of %lf\n", pc.phiredstp);
      stop = 1;
    } else if (iteration - phi_min_iteration > pc.nphinored) {
      both(rec, "Optimization complete:   %d optimization iterations have elapsed since lowest\n",
           pc.nphinored);
      both(rec, "                       phi was achieved.\n");
      stop = 1;
    } else if (small_changes >= pc.nrelpar) {
      both(rec, "Optimization complete: relative parameter change less than %lf\n", pc.relparstp);
      both(rec, "                       over %d successive iterations.\n", pc.nrelpar);
      stop = 1;
    }
  }
  if (stop) both(rec, "Total Model Calls:\t%d\n", model_calls);
  return 0;
}

bool slm_check_lambda_stop(std::FILE* rec, double phi0, int k, const std::vector<double>& trial_phi,
                           const pest_control& pc, int& accepted) {
  accepted = 0;
  auto phi = [&](int i) { return trial_phi[static_cast<std::size_t>(i)]; };
  if (k == pc.numlam) {
    both(rec, "No more lambdas: allowed lambdas per iteration =  %d\n\n", pc.numlam);
    accepted = lowest_trial(k, trial_phi);
    return true;
  }
  for (int i = 1; i <= k; ++i)
    if (phi(i) <= pc.phiratsuf * phi0) {
      both(rec, "No more lambdas: phi is less than %lf of starting phi\n\n", pc.phiratsuf);
      accepted = i;
      return true;
    }
  if (k >= 2 && phi(k) > phi(k - 1)) {
    if (k == 2) return false;
    both(rec, "No more lambdas: phi rising\n\n");
    accepted = lowest_trial(k, trial_phi);
    return true;
  }
  if (k >= 2 && 1.0 - phi(k) / phi(k - 1) <= pc.phiredlam) {
    both(rec, "No more lambdas: relative phi reduction between lambdas less than %lf\n\n",
         pc.phiredlam);
    accepted = lowest_trial(k, trial_phi);
    return true;
  }
  return false;
}

int slm_adjust_lambda(double lambda0, double& previous, bool& reversal, double phi,
                      const std::vector<double>& trial_phi, int k, pest_control& pc) {
  const double f = pc.rlamfac;
  double lambda = pc.rlambda1;
  const double old_previous = previous;
  if (k == 1) {
    previous = lambda;
    lambda /= f;
  } else if (trial_phi[static_cast<std::size_t>(k - 1)] <= phi) {
    if (lambda0 >= old_previous && lambda0 > lambda) {
      previous = lambda;
      lambda = lambda0 * f;
      reversal = true;
    } else {
      previous = lambda;
      lambda = old_previous <= lambda ? lambda * f : lambda / f;
    }
  } else {
    previous = lambda;
    lambda = old_previous > lambda ? lambda / f : lambda * f;
  }
  pc.rlambda1 = lambda;
  return 0;
}

int slm_optimise(pest_control& pc, bool restart, const toolbox_file_names& names, std::FILE* rec,
                 std::FILE* sen, std::FILE* par, toolbox_streams& streams, toolbox_model& model,
                 search_outcome* outcome, search_trail* trail) {
  lm_search search(pc, names, rec, sen, par, streams, model, outcome, trail);
  const int code = search.run(restart);
  if (outcome) outcome->model_calls = search.model_calls();
  return code;
}

}  // namespace nivra
