// Overland routing kernels on a 1,000 x 1,000 grid with water on every
// cell: cell updates per second of the explicit scheme, of plain ADE and of
// ADE-PC, on one thread and on four.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "inputs/grid_state.h"
#include "surface/grid_fixture.h"
#include "surface/overland_state.h"

namespace {

using nivra::testing::overland_cells;

// Gently rolling ground falling to the south-east, 2 to 5 cm of water.
std::unique_ptr<overland_cells> wet_grid(int overtype) {
  nivra::testing::test_grid g;
  g.rows = 1000;
  g.cols = 1000;
  g.dx = 10.0;
  g.n = 0.05;
  g.ground = [](int r, int c) {
    return 500.0 - 0.01 * (r + c) + 0.05 * std::sin(r * 0.13) * std::cos(c * 0.17);
  };
  auto ms = nivra::testing::make_grid<overland_cells>(g);
  ms->overland.overtype = overtype;
  ms->quiet = true;
  for (int r = 1; r <= g.rows; ++r)
    for (int c = 1; c <= g.cols; ++c)
      ms->overland.ov_depth[ms->grid.mask[r][c]] = 0.035 + 0.015 * std::sin(r * 0.05) * std::cos(c * 0.07);
  return ms;
}

// The grid is closed: every timed step starts again from the first depths,
// so that water does not pile up along the edges.
void restore(overland_cells& ms, const std::vector<double>& depth) {
  std::copy(depth.begin(), depth.end(), ms.overland.ov_depth.data());
}

// Times calls of a kernel on the wet grid of the scheme, on the number of
// threads the benchmark's argument gives, every call from the same first
// depths; returns the grid as the last call left it. A call that fails
// (false) stops the benchmark.
template <class Call>
std::unique_ptr<overland_cells> time_calls(benchmark::State& state, int overtype, Call call) {
  auto ms = wet_grid(overtype);
  ms->overland.crew.resize(static_cast<int>(state.range(0)));
  const nivra::overland_domain domain = ms->domain();
  const std::vector<double> start(ms->overland.ov_depth.begin(), ms->overland.ov_depth.end());
  for (auto _ : state) {
    state.PauseTiming();
    restore(*ms, start);
    state.ResumeTiming();
    if (!call(domain, *ms)) {
      state.SkipWithError("the overland step failed");
      break;
    }
    benchmark::DoNotOptimize(ms->overland.ov_depth.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * ms->grid.ncells);
  state.counters["cells"] = ms->grid.ncells;
  return ms;
}

// One ADE call of dt seconds, the sweep order alternating as the overland
// step alternates it.
auto ade_call(double dt) {
  return [dt](const nivra::overland_domain& domain, overland_cells& ms) {
    const bool ok = nivra::route_overland_ade(domain, dt).status == nivra::overland_status::ok;
    ms.overland.ade_sweep = ms.overland.ade_sweep == 1 ? 2 : 1;
    return ok;
  };
}

void BM_OverlandExplicit(benchmark::State& state) {
  auto ms = time_calls(state, nivra::overland_scheme::explicit_faces,
                       [](const nivra::overland_domain& domain, overland_cells&) {
                         return nivra::route_overland_explicit(domain, 10.0).status == nivra::overland_status::ok;
                       });
  // One sub-step per call: no face asked for a shorter one.
  if (ms->overland.explicit_kernel.reduced_dt != 0.0) state.SkipWithError("the explicit step was divided");
}
BENCHMARK(BM_OverlandExplicit)->ArgName("threads")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_OverlandAde(benchmark::State& state) {
  const double dt = 5.0;  // short enough for one sub-step per call
  auto ms = time_calls(state, nivra::overland_scheme::ade, ade_call(dt));
  // One sub-step per call: the stability check never shortened it.
  if (ms->overland.ade_kernel.last_dt != dt || ms->overland.ade_kernel.dt_factor != 1.0)
    state.SkipWithError("the ADE step was divided");
}
BENCHMARK(BM_OverlandAde)->ArgName("threads")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_OverlandAdePc(benchmark::State& state) { time_calls(state, nivra::overland_scheme::ade_pc, ade_call(5.0)); }
BENCHMARK(BM_OverlandAdePc)->ArgName("threads")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
