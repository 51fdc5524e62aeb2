// One groundwater step on a 1,000 x 1,000 aquifer of 100 m cells (K 1e-4
// m/s, 50 m saturated, specific yield 0.1): an hour of uniform recharge and
// a well pumping 0.05 m3/s in the middle, held heads along the western
// edge. Reports cells per second and the line sweeps of the step.
#include <benchmark/benchmark.h>

#include "groundwater/aquifer_fixture.h"

namespace nivra {
namespace {

void BM_GroundwaterStep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  testing::test_aquifer a(n, n, 100.0, 0.0, 50.0, 1e-4, 0.1);
  for (int r = 1; r <= n; ++r) a.bound[static_cast<std::size_t>(a.at(r, 1))] = aquifer_cell::fixed_head;
  a.well[static_cast<std::size_t>(a.at(n / 2, n / 2))] = 0.05 / 1e4;
  const std::vector<double> start = a.head;
  double sweeps = 0.0, passes = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    a.head = start;
    for (int c = 1; c <= a.n; ++c) a.recharge[static_cast<std::size_t>(c)] = 1e-8 * 3600.0;
    state.ResumeTiming();
    aquifer_domain d = a.domain();
    const aquifer_result r = a.solver.solve(d, 3600.0);
    if (r.status != aquifer_status::ok) {
      state.SkipWithError("the groundwater step failed");
      break;
    }
    benchmark::DoNotOptimize(a.head.data());
    sweeps = r.books.sweeps;
    passes = r.books.passes;
  }
  state.counters["cells_per_s"] =
      benchmark::Counter(static_cast<double>(a.n), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["sweeps_per_step"] = sweeps;
  state.counters["passes_per_step"] = passes;
}
BENCHMARK(BM_GroundwaterStep)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// The same step under layered soils: the table stands 0.05 m under the
// bottom of a second layer (porosity 0.45) under a first (0.5), so the
// recharge carries it through the layers' pores, whose mean the passes
// take over the crossed depths.
void BM_GroundwaterStepLayeredPores(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  testing::test_aquifer a(n, n, 100.0, 0.0, 50.0, 1e-4, 0.1);
  for (int r = 1; r <= n; ++r) a.bound[static_cast<std::size_t>(a.at(r, 1))] = aquifer_cell::fixed_head;
  storage_profile p;
  p.layer_bottom[0] = 50.3;
  p.layer_bottom[1] = 50.05;
  p.porosity[0] = 0.5;
  p.porosity[1] = 0.45;
  p.porosity[2] = 0.1;
  const std::vector<storage_profile> layers(static_cast<std::size_t>(a.n) + 1, p);
  const std::vector<double> start = a.head;
  double passes = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    a.head = start;
    for (int c = 1; c <= a.n; ++c) a.recharge[static_cast<std::size_t>(c)] = 1e-5 * 3600.0;
    state.ResumeTiming();
    aquifer_domain d = a.domain();
    d.profile = layers.data();
    const aquifer_result r = a.solver.solve(d, 3600.0);
    if (r.status != aquifer_status::ok) {
      state.SkipWithError("the groundwater step failed");
      break;
    }
    benchmark::DoNotOptimize(a.head.data());
    passes = r.books.passes;
  }
  state.counters["cells_per_s"] =
      benchmark::Counter(static_cast<double>(a.n), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["passes_per_step"] = passes;
}
BENCHMARK(BM_GroundwaterStepLayeredPores)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nivra
