// The Green-Ampt infiltration kernels on 1,000,000 ponded cells per step:
// cell updates per second of the single-layer, redistribution and layered
// kernels. The conductivities vary from cell to cell; the ponds are deep
// enough never to empty, so every cell solves its front every step.
#include <benchmark/benchmark.h>

#include <memory>

#include <vector>

#include "soil/exfiltration.h"
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

// Exfiltration of the redistribution form over an aquifer on the same
// 1,000,000 cells, every one with its table at the ground: half of them
// 0.2 m above the water surface, half under it (their ponds seep down).
void BM_Exfiltration(benchmark::State& state) {
  const std::size_t m = static_cast<std::size_t>(cells) + 1;
  std::vector<double> ground(m, 100.0), table(m), depth(m, 10.0), ks(m), storage(m, 0.3), change(m, 0.0);
  std::vector<int> exfil(m, 1);
  for (int c = 1; c <= cells; ++c) {
    table[static_cast<std::size_t>(c)] = c % 2 ? 110.2 : 100.0;
    ks[static_cast<std::size_t>(c)] = 1e-6 * (0.5 + (c % 97) / 97.0);
  }
  nivra::exfiltration_domain d;
  d.ncells = cells;
  d.cell_area = 900.0;
  d.saturated_groundwater = true;
  d.exfiltrating = exfil.data();
  d.water_table = table.data();
  d.ground = ground.data();
  d.ov_depth = depth.data();
  d.conductivity = ks.data();
  d.layer_depth = 40.0;
  d.storage = storage.data();
  d.leakage = 1e-7;
  d.aquifer_change = change.data();
  for (auto _ : state) {
    benchmark::DoNotOptimize(nivra::exfiltrate(d, dt));
    benchmark::DoNotOptimize(depth.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * cells);
  state.counters["cells"] = cells;
}

BENCHMARK(BM_GreenAmptSingleLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Exfiltration)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreenAmptRedistribution)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreenAmptLayered)->Unit(benchmark::kMillisecond);

}  // namespace
