// The Monte Carlo run mode: parameter sets drawn uniformly between each
// parameter's minimum and maximum, one model run per set through the
// model-run callback, each scored against the observations and logged; the
// best set by absolute cost is printed and written to "best.out".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "calibration/model_run.h"
#include "calibration/objective.h"
#include "core/arrays.h"
#include "core/guarded_file.h"

namespace nivra {

struct parallel_env_t;

// The sampling generator: x <- 214013 x + 2531011 (mod 2^32), giving the
// 15 bits (x >> 16) & 0x7FFF, so every draw lies in 0 .. 32767 on every
// platform.
class mc_random {
 public:
  explicit mc_random(std::uint32_t seed = 1) : x_(seed) {}
  int next() {
    x_ = 214013u * x_ + 2531011u;
    return static_cast<int>((x_ >> 16) & 0x7FFFu);
  }

 private:
  std::uint32_t x_;
};

class montecarlo {
 public:
  // Reads the input file, seeds the generator from the clock and the
  // process number, and reads the observations.
  montecarlo(int run_count, const std::string& input_file, const parallel_env_t& env);

  // Reads the Monte Carlo input file; input_ok tells the outcome.
  void read_input(const std::string& file_name);
  // The next sample: each parameter min + (max - min) x r / 32768.
  void draw_parameters();
  // The runs; 0 when the input could not be used, else 1.
  int run();
  // Prints the best set and writes "best.out".
  void print_best();
  // Appends the run's line to the run log (made with its header first).
  void log_run(double cost);

  void seed(std::uint32_t s) { random_ = mc_random(s); }

  int is_master = 1;
  int process_number = 0;
  const parallel_env_t* env = nullptr;
  std::unique_ptr<calib_cost> cost;
  guarded_file log_file;
  std::string project_file, replace_file, obs_file;
  int run_count = 0;
  int param_count = 0;
  array1d<double> param_min, param_max;
  int input_ok = 0;
  int observations_ok = 1;       // the observation file was read
  array1d<double> param_values;  // the current sample (1-based)
  array1d<double> best_values;
  double best_cost = 0.0;
  bool best_found = false;       // a run gave a usable result
  model_run_objective objective = calib_run_callback;
  std::vector<std::string> keys;  // of the replacement list, for the log's header

 private:
  mc_random random_;
};

// The whole Monte Carlo run mode; 1 when the runs were made and one of
// them gave a result (or none was asked for), else 0.
int run_montecarlo_mode(const parallel_env_t& env, int total_runs, const std::string& input_file);

}  // namespace nivra
