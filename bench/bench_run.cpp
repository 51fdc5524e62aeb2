// One whole model run of the example through the driver, as a parameter
// search makes it thousands of times: a new record, the project read and
// copied, the options checked, every file opened, the set-up sequence, the
// time loop and the teardown with its timing line. The run is quiet (a
// search word; what it still prints goes to /dev/null) and works in a copy
// of examples/plane in a folder of its own; a run that does not end
// normally stops the benchmark.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "run/driver.h"

namespace {

void BM_run_simulation_example(benchmark::State& state) {
  nivra::bench::scratch_folder folder(true);
  folder.copy_files_of(nivra::bench::example_folder("plane"));
  const nivra::bench::silent_console silent;
  for (auto _ : state) {
    const int code = nivra::run_simulation("plane.prj", nullptr, "-slm");
    if (!nivra::bench::run_completed(code)) {
      state.SkipWithError("the run of examples/plane did not end normally");
      break;
    }
  }
}
BENCHMARK(BM_run_simulation_example)->Unit(benchmark::kMicrosecond);

}  // namespace
