// The calibration's own costs beside the model's:
//   - the SCE-UA search on Goldstein-Price with no model run (the evolution,
//     sorting, statistics and logs per evaluation);
//   - one calibration trial on examples/calib_plane: the list read again,
//     the whole model run (record, project, files, set-up, time loop,
//     teardown), the scoring with its logs and the results table; the
//     counter trials_per_second is what -c and -m make of the example;
//   - the model run of a trial alone (run_simulation with the value in the
//     replacement list), and its set-up alone (record, project read,
//     options, files, maps and geometry, clocks, teardown): their shares of
//     a trial.
// Console lines of the runs go to /dev/null while the loops run; a search,
// trial or run that fails stops the benchmark.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench_support.h"
#include "calibration/model_run.h"
#include "calibration/objective.h"
#include "calibration/sce.h"
#include "core/process.h"
#include "model/model_state.h"
#include "run/driver.h"

namespace {

// A folder of its own holding a copy of examples/calib_plane, the working
// folder while it lives; the console is silenced meanwhile.
class scratch {
 public:
  scratch() { folder_.copy_files_of(nivra::bench::example_folder("calib_plane")); }
  ~scratch() { nivra::reset_process_state(); }

 private:
  nivra::bench::scratch_folder folder_{true};
  nivra::bench::silent_console silent_;
};

double goldstein_price(std::span<const double> p) {
  const double x = p[0], y = p[1];
  const double a = 1 + (x + y + 1) * (x + y + 1) * (19 - 14 * x + 3 * x * x - 14 * y + 6 * x * y + 3 * y * y);
  const double b = 30 + (2 * x - 3 * y) * (2 * x - 3 * y) * (18 - 32 * x + 12 * x * x + 48 * y - 36 * x * y + 27 * y * y);
  return a * b;
}

void BM_sce_evolution_goldstein_price(benchmark::State& state) {
  scratch s;
  std::FILE* f = std::fopen("gp.in", "w");
  std::fprintf(f, "20000 5 1e-06 4 1969 0 2\n0 0 0 0 0 0\n0 -2 2\n0 -2 2\n");
  std::fclose(f);
  long evaluations = 0;
  for (auto _ : state) {
    nivra::sce_record r;
    r.model_mode = 0;
    r.objective = goldstein_price;
    nivra::sce_setup(r, "gp.in", "sce_output.out");
    const int made = nivra::sceua(r);
    if (made < 0) {
      state.SkipWithError("the search did not run");
      break;
    }
    evaluations += made;
    benchmark::DoNotOptimize(r.best_criterion);
  }
  state.counters["evaluations_per_second"] =
      benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_sce_evolution_goldstein_price)->Unit(benchmark::kMillisecond);

void BM_calibration_trial_plane(benchmark::State& state) {
  scratch s;
  nivra::calib_cost cost;
  if (cost.read_observations("observed.txt") != 1) {
    state.SkipWithError("the observations did not read");
    return;
  }
  double n = 0.03;
  for (auto _ : state) {
    const double values[] = {n};
    benchmark::DoNotOptimize(nivra::calib_run_callback("roughness.lst", "calib.prj", values, cost, "temp"));
    if (cost.last_failed()) {
      state.SkipWithError("the trial's run failed");
      break;
    }
    nivra::write_results_all(cost.results(), nivra::process.parallel_env);
    n = n < 0.1 ? n + 0.001 : 0.03;
  }
  state.counters["trials_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_calibration_trial_plane)->Unit(benchmark::kMicrosecond);

// The replacement list of the example with the roughness 0.05; the record's
// teardown empties the list, so every run reads it again as a trial does.
// False when the list does not read.
bool load_roughness() {
  if (nivra::read_replace_param_file("roughness.lst") != 0 || nivra::process.replace_list.empty()) return false;
  nivra::process.replace_list[0].dval = 0.05;
  nivra::process.replace_on = 1;
  return true;
}

void BM_model_run_plane(benchmark::State& state) {
  scratch s;
  for (auto _ : state) {
    if (!load_roughness() || !nivra::bench::run_completed(nivra::run_simulation("calib.prj", nullptr, "temp"))) {
      state.SkipWithError("the run of examples/calib_plane did not end normally");
      break;
    }
  }
}
BENCHMARK(BM_model_run_plane)->Unit(benchmark::kMicrosecond);

void BM_set_up_only_plane(benchmark::State& state) {
  scratch s;
  for (auto _ : state) {
    auto ms = nivra::make_model_state();
    const bool ok = load_roughness() && nivra::set_up_run(*ms, "calib.prj", nullptr);
    nivra::close_all_files(*ms);
    ms.reset();
    if (!ok) {
      state.SkipWithError("the set-up of examples/calib_plane failed");
      break;
    }
  }
}
BENCHMARK(BM_set_up_only_plane)->Unit(benchmark::kMicrosecond);

}  // namespace
