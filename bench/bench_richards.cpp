// The Richards column solver on 10,000 columns of 20 nodes (19 nodes of
// 5 cm over the bottom node) for one hour: infiltration from a pond of
// 2 cm into a dry Brooks-Corey loam, and a day's drying by evaporation and
// root uptake. Reported: columns integrated over the hour per second, and
// column sub-steps (the solver's steps of one column) per second. Every
// iteration starts the columns again from the same state.
#include <benchmark/benchmark.h>

#include <memory>

#include "soil/richards.h"
#include "soil/richards_fixture.h"

namespace {

using nivra::testing::richards_cells;

constexpr int columns = 10000;
constexpr int nodes = 20;

std::unique_ptr<richards_cells> loam_columns() {
  auto k = std::make_unique<richards_cells>(columns, nodes, nivra::brooks_corey_node(10.0, 0.45, 0.05, 0.5, -20.0),
                                            5.0, nivra::retention_brooks_corey);
  k->set_heads([](int j) { return -80.0 + j; });
  for (int c = 1; c <= columns; ++c) k->soil->root_depth[c] = 0.4;
  return k;
}

void reset(richards_cells& k, const richards_cells& start, bool ponded) {
  nivra::soil_state& s = *k.soil;
  const nivra::soil_state& s0 = *start.soil;
  for (int c = 1; c <= columns; ++c) {
    for (int j = 0; j <= nodes; ++j) {
      s.richards.PHEAD(c, j) = s0.richards.PHEAD(c, j);
      s.THETA(c, j) = s0.THETA(c, j);
      s.richards.KHEAD(c, j) = s0.richards.KHEAD(c, j);
      s.richards.WATCAP(c, j) = s0.richards.WATCAP(c, j);
    }
    s.dtr[c] = 1.0 / 3600.0;
    s.bound_type[c] = 1;
    k.depth[c] = ponded ? 0.02 : 0.0;
    k.pet[c] = ponded ? 0.0 : 1e-5;
    k.aet[c] = ponded ? 0.0 : 1e-5;
  }
}

void solve_hour(benchmark::State& state, bool ponded) {
  auto k = loam_columns();
  const auto start = loam_columns();
  nivra::richards_domain d = k->domain();
  d.long_term = !ponded;
  long long substeps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    reset(*k, *start, ponded);
    const long long before = k->soil->richards_kernel.substeps;
    state.ResumeTiming();
    benchmark::DoNotOptimize(nivra::solve_soil_column(d, 3600.0));
    substeps += k->soil->richards_kernel.substeps - before;
  }
  state.counters["columns/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * columns, benchmark::Counter::kIsRate);
  state.counters["column-steps/s"] = benchmark::Counter(static_cast<double>(substeps), benchmark::Counter::kIsRate);
  state.counters["steps/column"] = static_cast<double>(substeps) / (static_cast<double>(state.iterations()) * columns);
}

void BM_RichardsHourPonded(benchmark::State& state) { solve_hour(state, true); }
void BM_RichardsHourDrying(benchmark::State& state) { solve_hour(state, false); }

BENCHMARK(BM_RichardsHourPonded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RichardsHourDrying)->Unit(benchmark::kMillisecond);

}  // namespace
