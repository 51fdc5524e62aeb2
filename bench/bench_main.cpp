// The main program of every benchmark program: Google Benchmark's own
// (flags, display), but a benchmark that stopped on an error
// (State::SkipWithError: the work it names failed) makes the program exit
// with status 1 after the others have run, naming it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Whether a run stopped on an error, under the field this version of the
// library has for it.
template <class Run>
bool stopped_on_error(const Run& run) {
  if constexpr (requires { run.error_occurred; })
    return run.error_occurred;
  else
    return run.skipped == decltype(run.skipped)::SkippedWithError;
}

// Passes every report on to the display and keeps the names of the runs
// that stopped on an error.
class error_watch final : public benchmark::BenchmarkReporter {
 public:
  explicit error_watch(benchmark::BenchmarkReporter* display) : display_(display) {}
  bool ReportContext(const Context& context) override { return display_->ReportContext(context); }
  void ReportRuns(const std::vector<Run>& report) override {
    for (const Run& run : report)
      if (stopped_on_error(run)) failed.push_back(run.benchmark_name());
    display_->ReportRuns(report);
  }
  void Finalize() override { display_->Finalize(); }

  std::vector<std::string> failed;

 private:
  benchmark::BenchmarkReporter* display_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  error_watch watch(benchmark::CreateDefaultDisplayReporter());
  benchmark::RunSpecifiedBenchmarks(&watch);
  benchmark::Shutdown();
  if (watch.failed.empty()) return 0;
  std::fflush(stdout);
  for (const std::string& name : watch.failed) std::fprintf(stderr, "Error: benchmark %s stopped on an error\n", name.c_str());
  return 1;
}
