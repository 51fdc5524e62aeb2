// The Green-Ampt infiltration kernels on 1,000,000 ponded cells per step:
// cell updates per second of the single-layer, redistribution and layered
// kernels. The conductivities vary from cell to cell; the ponds are deep
// enough never to empty, so every cell solves its front every step.
#include <benchmark/benchmark.h>

#include <memory>

#include "soil/infiltration.h"
#include "soil/soil_fixture.h"

namespace {

using nivra::testing::soil_cells;

constexpr int cells = 1000000;
constexpr double dt = 10.0;

std::unique_ptr<soil_cells> ponded_soil(bool layered) {
  auto s = std::make_unique<soil_cells>(cells);
  for (int c = 1; c <= cells; ++c) {
    s->soil->sat_hyd_cond[c] *= 0.5 + (c % 97) / 97.0;
    s->depth[c] = 10.0;
  }
  if (layered) {
    // Layers of 2 and 3 cm over a firmer third: the fronts cross all three.
    const double ks[3] = {1.0, 0.6, 0.3};
    s->layered_class(ks, 2.0);
  }
  return s;
}

template <class Call>
void time_steps(benchmark::State& state, bool layered, Call call) {
  auto s = ponded_soil(layered);
  const nivra::infiltration_domain d = s->domain();
  int step = 0;
  for (auto _ : state) {
    call(d, ++step);
    benchmark::DoNotOptimize(s->depth.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * cells);
  state.counters["cells"] = cells;
}

void BM_GreenAmptSingleLayer(benchmark::State& state) {
  time_steps(state, false, [](const nivra::infiltration_domain& d, int) { nivra::infil_ga_cells(d, dt); });
}
void BM_GreenAmptRedistribution(benchmark::State& state) {
  time_steps(state, false, [](const nivra::infiltration_domain& d, int n) { nivra::infil_redist_flux(d, dt, n); });
}
void BM_GreenAmptLayered(benchmark::State& state) {
  time_steps(state, true, [](const nivra::infiltration_domain& d, int) { nivra::infil_layered_cells(d, dt); });
}

BENCHMARK(BM_GreenAmptSingleLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreenAmptRedistribution)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreenAmptLayered)->Unit(benchmark::kMillisecond);

}  // namespace
