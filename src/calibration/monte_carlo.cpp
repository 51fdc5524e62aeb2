#include "calibration/monte_carlo.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "core/process.h"
#include "core/tokens.h"

namespace nivra {

namespace {

void input_fault(const std::string& file, int line, const char* what) {
  std::printf("Error: line %d of the Monte Carlo input file %s %s.\n", line, file.c_str(), what);
}

}  // namespace

montecarlo::montecarlo(int runs, const std::string& input_file, const parallel_env_t& e)
    : env(&e), run_count(runs) {
  read_input(input_file);
  if (!input_ok) return;
  random_ = mc_random(static_cast<std::uint32_t>(std::time(nullptr)) + static_cast<std::uint32_t>(e.proc_id));
  process_number = e.proc_id;
  is_master = e.group_rank == 0 ? 1 : 0;
  best_values.alloc(param_count);
  cost = std::make_unique<calib_cost>();
  if (cost->read_observations(obs_file) != 1) {
    std::printf("Error: unable to open the observation file for reading or problem while reading it.\n"
                "Attempted to read file: %s\n",
                obs_file.c_str());
    observations_ok = 0;
  }
}

void montecarlo::read_input(const std::string& file_name) {
  input_ok = 0;
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: unable to open the Monte Carlo input file %s.\n", file_name.c_str());
    return;
  }
  std::string text, token;
  int line_no = 0;
  std::string* const names[] = {&project_file, &replace_file, &obs_file};
  const char* const roles[] = {"must name the project file", "must name the replacement parameter list",
                               "must name the observation file"};
  for (int i = 0; i < 3; ++i) {
    ++line_no;
    card_line line;
    if (read_line(text, f)) line = text;
    if (line.empty() || !next_token(line, *names[i]) || names[i]->empty()) {
      input_fault(file_name, line_no, roles[i]);
      return;
    }
  }
  ++line_no;
  int count = 0;
  card_line count_line;
  if (read_line(text, f)) count_line = text;
  if (!next_token(count_line, token) || !whole_token_int(token, count) || count < 1) {
    input_fault(file_name, line_no, "must give the number of parameters (1 or more)");
    return;
  }
  // A line with the minimum alone fixes the parameter at it.
  std::vector<double> bounds;
  for (int i = 1; i <= count; ++i) {
    ++line_no;
    if (!read_line(text, f)) {
      input_fault(file_name, line_no, "is missing: the file gives fewer parameters than it says");
      return;
    }
    card_line line(text);
    double lo = 0.0, hi = 0.0;
    if (!next_token(line, token) || !whole_token_double(token, lo) || !std::isfinite(lo)) {
      input_fault(file_name, line_no, "must give the minimum of a parameter (and its maximum)");
      return;
    }
    hi = lo;
    if (next_token(line, token) && (!whole_token_double(token, hi) || !std::isfinite(hi))) {
      input_fault(file_name, line_no, "gives a maximum that is not a number");
      return;
    }
    if (hi < lo) {
      input_fault(file_name, line_no, "gives a maximum below the minimum");
      return;
    }
    bounds.push_back(lo);
    bounds.push_back(hi);
    if (next_token(line, token)) {
      input_fault(file_name, line_no, "holds more than the minimum and the maximum of a parameter");
      return;
    }
  }
  while (read_line(text, f)) {
    ++line_no;
    if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
    input_fault(file_name, line_no, ("holds more than its " + std::to_string(count) + " parameters").c_str());
    return;
  }
  param_count = count;
  param_min.alloc(count);
  param_max.alloc(count);
  param_values.alloc(count);
  for (int i = 1; i <= count; ++i) {
    param_min[i] = bounds[2 * (i - 1)];
    param_max[i] = bounds[2 * (i - 1) + 1];
  }
  input_ok = 1;
}

void montecarlo::draw_parameters() {
  if (!is_master) {
    param_values.fill(0.0);
    return;
  }
  for (int i = 1; i <= param_count; ++i)
    param_values[i] = param_min[i] + (param_max[i] - param_min[i]) * random_.next() / 32768.0;
}

void montecarlo::log_run(double run_cost) {
  if (!is_master) return;
  if (!log_file.fp) {
    char name[32];
    std::snprintf(name, sizeof name, "log_file_p%d.log", process_number);
    bool fresh = false;
    if (!open_calibration_log(log_file, name, fresh)) return;
    if (fresh) {
      std::fprintf(log_file.fp, "Cost  \t");
      for (const std::string& k : keys) std::fprintf(log_file.fp, "%s\t", k.c_str());
      std::fprintf(log_file.fp, "\n");
    }
  }
  std::fprintf(log_file.fp, "%lf\t", run_cost);
  for (int i = 1; i <= param_count; ++i) std::fprintf(log_file.fp, "%le\t", param_values[i]);
  std::fprintf(log_file.fp, "\n");
  std::fflush(log_file.fp);
}

int montecarlo::run() {
  if (!input_ok) {
    std::printf("Error: unable to read the input monte carlo file.\n");
    return 0;
  }
  if (!observations_ok) return 0;
  if (run_count < 1) return 1;
  const std::span<const double> values(param_values.data() + 1, static_cast<std::size_t>(param_count));
  for (int n = 0; n < run_count; ++n) {
    draw_parameters();
    const double c = objective(replace_file, project_file, values, *cost, "temp");
    log_run(c);
    // A run without a usable result is never the best one.
    if (!cost->last_failed() && (!best_found || std::fabs(c) < std::fabs(best_cost))) {
      best_found = true;
      best_cost = c;
      for (int i = 1; i <= param_count; ++i) best_values[i] = param_values[i];
    }
    write_results_all(cost->results(), *env);
  }
  return 1;
}

void montecarlo::print_best() {
  std::fflush(stdout);
  if (!best_found) {
    if (run_count < 1)
      std::printf("\n\nNo Monte Carlo run was asked for, so there is no best parameter set.\n");
    else
      std::printf("\n\nError: no Monte Carlo run gave a usable result; no best parameter set is written.\n");
    return;
  }
  std::printf("\n\nBest objective function value: %lf\nParameters:\n ", best_cost);
  for (int i = 1; i <= param_count; ++i) std::printf("%lf ", best_values[i]);
  std::printf("\n");
  guarded_file best;
  if (!open_guarded_file(best, "best.out", "w")) {
    std::printf("Warning: Unable to open the best.out file. Only printing results to stdout.\n");
    return;
  }
  std::fprintf(best.fp, "%lf:  ", best_cost);
  for (int i = 1; i <= param_count; ++i) std::fprintf(best.fp, "%le ", best_values[i]);
  std::fprintf(best.fp, "\n");
}

int run_montecarlo_mode(const parallel_env_t& env, int total_runs, const std::string& input_file) {
  const int groups = env.group_count > 0 ? env.group_count : 1;
  montecarlo mc(total_runs / groups, input_file, env);
  if (mc.input_ok && mc.observations_ok) {
    if (!check_calibration_list(mc.replace_file, mc.param_count)) return 0;
    for (const replace_param& p : process.replace_list) mc.keys.emplace_back(p.key.view());
  }
  if (!mc.run()) return 0;
  mc.print_best();
  // Runs were asked for and none gave a result: the calibration failed.
  return mc.best_found || mc.run_count < 1 ? 1 : 0;
}

}  // namespace nivra
