// The Richards column solver on 10,000 columns of 20 nodes (19 nodes of
// 5 cm over the bottom node) for one hour: infiltration from a pond of
// 2 cm into a dry Brooks-Corey loam, a day's drying by evaporation and
// root uptake, and a column saturated by a storm draining into a water
// table held at its bottom node, 95 cm down (the soil below 40 cm
// conducts a twentieth as much). Reported: columns integrated over the
// hour per second, column sub-steps (the solver's steps of one column)
// per second, passes per sub-step, and the water the columns made or
// destroyed holding heads and contents consistent over the water that
// crossed their top and bottom or was so made (made/moved). Every
// iteration starts the columns again from the same state.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "soil/richards.h"
#include "soil/richards_fixture.h"

namespace {

using nivra::testing::richards_cells;

constexpr int columns = 10000;
constexpr int nodes = 20;

enum class hour { ponded, drying, draining };

std::unique_ptr<richards_cells> loam_columns(hour kind) {
  auto k = std::make_unique<richards_cells>(columns, nodes, nivra::brooks_corey_node(10.0, 0.45, 0.05, 0.5, -20.0),
                                            5.0, nivra::retention_brooks_corey);
  if (kind == hour::draining)
    k->set_heads([](int j) { return j < nodes ? (j - 0.5) * 5.0 : 2.5; });
  else
    k->set_heads([](int j) { return -80.0 + j; });
  for (int c = 1; c <= columns; ++c) k->soil->root_depth[c] = 0.4;
  if (kind == hour::draining) {
    for (int c = 1; c <= columns; ++c)
      for (int j = 9; j <= nodes; ++j) k->soil->richards.soil(c, j).ks = 0.5;
  }
  return k;
}

void reset(richards_cells& k, const richards_cells& start, hour kind) {
  const bool ponded = kind == hour::ponded;
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
    s.cum_infil[c] = 0.0;
    k.pet[c] = kind == hour::drying ? 1e-5 : 0.0;
    k.aet[c] = kind == hour::drying ? 1e-5 : 0.0;
  }
}

void solve_hour(benchmark::State& state, hour kind) {
  auto k = loam_columns(kind);
  const auto start = loam_columns(kind);
  nivra::richards_domain d = k->domain();
  d.long_term = kind == hour::drying;
  d.fixed_bottom = kind == hour::draining;
  long long substeps = 0, passes = 0;
  double made = 0.0, moved = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    reset(*k, *start, kind);
    const long long before = k->soil->richards_kernel.substeps, passes_before = k->soil->richards_kernel.passes;
    state.ResumeTiming();
    const nivra::richards_result r = nivra::solve_soil_column(d, 3600.0);
    benchmark::DoNotOptimize(r);
    if (r.status != nivra::richards_status::ok) {
      state.SkipWithError("the Richards step failed");
      break;
    }
    state.PauseTiming();
    substeps += k->soil->richards_kernel.substeps - before;
    passes += k->soil->richards_kernel.passes - passes_before;
    made += std::fabs(r.adjustment);
    for (int c = 1; c <= columns; ++c) moved += k->soil->cum_infil[c] * k->area;
    moved += r.soil_evaporation + std::fabs(r.drained) + std::fabs(r.adjustment);
    state.ResumeTiming();
  }
  state.counters["columns/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * columns, benchmark::Counter::kIsRate);
  state.counters["column-steps/s"] = benchmark::Counter(static_cast<double>(substeps), benchmark::Counter::kIsRate);
  state.counters["steps/column"] = static_cast<double>(substeps) / (static_cast<double>(state.iterations()) * columns);
  state.counters["made/moved"] = moved > 0.0 ? made / moved : 0.0;
  state.counters["passes/step"] = substeps > 0 ? static_cast<double>(passes) / static_cast<double>(substeps) : 0.0;
}

void BM_RichardsHourPonded(benchmark::State& state) { solve_hour(state, hour::ponded); }
void BM_RichardsHourDrying(benchmark::State& state) { solve_hour(state, hour::drying); }
void BM_RichardsHourDraining(benchmark::State& state) { solve_hour(state, hour::draining); }

BENCHMARK(BM_RichardsHourPonded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RichardsHourDrying)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RichardsHourDraining)->Unit(benchmark::kMillisecond);

}  // namespace
