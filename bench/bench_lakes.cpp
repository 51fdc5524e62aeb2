// The lakes' updates of a time step. The overland lake extent on a
// 1,000 x 1,000 grid: a lake of 40 x 40 cells in a bowl, one update per
// call (the time of one update), ten up and ten down by the argument's volume (m3): 1 m3 moves the
// level only, as most steps do; 2,000 m3 floods and gives up cells of its
// shore at every update.
// The channel lake cells of a flat pool of 2,000 search cells filling and
// draining.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "bench_support.h"
#include "inputs/grid_state.h"
#include "surface/channel_lakes.h"
#include "surface/grid_fixture.h"
#include "surface/overland_lakes.h"

namespace {

using nivra::testing::overland_cells;

// The lakes print a line for every cell that joins or leaves: the timed
// loops write them to /dev/null.
using nivra::bench::silent_console;

std::unique_ptr<overland_cells> bowl(int rows) {
  nivra::testing::test_grid g;
  g.rows = rows;
  g.cols = rows;
  g.dx = 10.0;
  const double mid = 0.5 * (rows + 1);
  g.ground = [mid](int r, int c) { return 100.0 + 0.001 * ((r - mid) * (r - mid) + (c - mid) * (c - mid)); };
  return nivra::testing::make_grid<overland_cells>(g);
}

void BM_OverlandLakeExtent(benchmark::State& state) {
  auto w = bowl(1000);
  nivra::lake_state& l = w->lake;
  const int n = w->grid.ncells;
  l.overland_lake_map_given = 1;
  l.num_olakes = 1;
  l.oland_lake_mask.alloc(n);
  l.oland_lake_new.alloc(n);
  for (int r = 481; r <= 520; ++r)
    for (int c = 481; c <= 520; ++c) l.oland_lake_mask[w->grid.mask[r][c]] = l.oland_lake_new[w->grid.mask[r][c]] = 1;
  l.olake_table.alloc(1);
  nivra::olake_record& rec = l.olake_table[1];
  rec.value[nivra::olake_value::level] = rec.value[nivra::olake_value::initial_level] = 100.8;
  rec.cell_count = 1600;
  nivra::prepare_overland_lakes(l, n);
  const silent_console quiet;
  int k = 0;
  for (auto _ : state) {
    // Ten updates up, ten down.
    const double v = static_cast<double>(state.range(0));
    rec.value[nivra::olake_value::exchange] = (k++ / 10) % 2 == 0 ? v : -v;
    const nivra::olake_books b = nivra::olake_extent(l, w->grid, w->overland.ov_depth.data(), nullptr);
    benchmark::DoNotOptimize(b);
  }
  state.counters["lake_cells"] = rec.cell_count;
}
BENCHMARK(BM_OverlandLakeExtent)->Arg(1)->Arg(2000)->Unit(benchmark::kMicrosecond);

void BM_ChannelLakeCells(benchmark::State& state) {
  auto w = bowl(100);
  nivra::lake_state& l = w->lake;
  l.chan_lakes = 1;
  l.num_lakes = 1;
  l.chan_lake.alloc(1);
  nivra::channel_lake& k = l.chan_lake[1];
  for (int r = 30; r <= 69; ++r)
    for (int c = 26; c <= 75; ++c) {
      k.search_row.push_back(r);
      k.search_col.push_back(c);
    }
  k.initwse = 100.2;
  w->grid.nrows = w->grid.ncols = 100;
  const silent_console quiet;
  if (!nivra::init_channel_lakes(l, w->grid, "bench")) {
    state.SkipWithError("the channel lake did not set up");
    return;
  }
  int step = 0;
  for (auto _ : state) {
    l.lake_volume[1] += (step++ / 10) % 2 == 0 ? 5000.0 : -5000.0;
    const nivra::lake_update_books b = nivra::lake_cells_update(l, w->grid, w->overland.ov_depth.data(), nullptr);
    benchmark::DoNotOptimize(b);
  }
  state.counters["search_cells"] = static_cast<double>(k.search_cell.size());
}
BENCHMARK(BM_ChannelLakeCells)->Unit(benchmark::kMicrosecond);

}  // namespace
