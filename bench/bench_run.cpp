// One whole model run of the example through the driver, as a parameter
// search makes it thousands of times: a new record, the project read and
// copied, the options checked, every file opened, the set-up sequence, the
// time loop and the teardown with its timing line. The run is quiet (a
// search word) and works in a scratch folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "run/driver.h"

namespace {

void BM_run_simulation_example(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path start = fs::current_path();
  const fs::path scratch = fs::temp_directory_path() / "nivra_bench_run";
  fs::create_directories(scratch);
  for (const char* name : {"plane.prj", "plane.msk", "plane.ele"})
    fs::copy_file(fs::path(NIVRA_SOURCE_DIR) / "examples" / "plane" / name, scratch / name,
                  fs::copy_options::overwrite_existing);
  fs::current_path(scratch);
  for (auto _ : state) {
    int code = nivra::run_simulation("plane.prj", nullptr, "-slm");
    benchmark::DoNotOptimize(code);
    std::fflush(stdout);
  }
  fs::current_path(start);
  fs::remove_all(scratch);
}
BENCHMARK(BM_run_simulation_example)->Unit(benchmark::kMicrosecond);

}  // namespace
