// Grid maps pass through line reading and next_token_double: parse a row of
// 2,000 values and report the text rate.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/tokens.h"

namespace {

std::string make_row(int n) {
  std::string row;
  char buf[32];
  for (int i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%.3f ", 100.0 + (i * 7919 % 10007) * 0.013);
    row += buf;
  }
  return row;
}

void BM_ParseGridRow(benchmark::State& state) {
  const std::string row = make_row(2000);
  double sum = 0.0;
  for (auto _ : state) {
    nivra::card_line line(row);
    double v;
    while (nivra::next_token_double(line, v)) sum += v;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(row.size()));
}
BENCHMARK(BM_ParseGridRow);

}  // namespace
