// Building and destroying the run's record: calibration does this for every
// model run, thousands of times per process. Also one read of the example
// project file, which every model run makes as well.
#include <benchmark/benchmark.h>

#include <string>

#include "model/model_state.h"
#include "model/project.h"

namespace {

void BM_model_state_build_destroy(benchmark::State& state) {
  for (auto _ : state) {
    auto ms = nivra::make_model_state();
    benchmark::DoNotOptimize(ms.get());
    ms.reset();
  }
}
BENCHMARK(BM_model_state_build_destroy)->Unit(benchmark::kMicrosecond);

void BM_read_example_project(benchmark::State& state) {
  auto ms = nivra::make_model_state();
  const std::string file = std::string(NIVRA_SOURCE_DIR) + "/examples/plane/plane.prj";
  for (auto _ : state) {
    nivra::read_project_file(file, ms->project.project_options, ms->project.run_control, ms->project.rain_event, 1);
    benchmark::DoNotOptimize(ms->project.run_control.rows);
  }
}
BENCHMARK(BM_read_example_project)->Unit(benchmark::kMicrosecond);

}  // namespace
