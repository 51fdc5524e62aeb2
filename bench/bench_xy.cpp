// The per-step work of the XY points and the ZV coupling on a grid of a
// million cells: the segment fluxes summed over every cell face, the heads
// of interpolated boundary cells from six XY points, and the weighted
// values of the XY output points.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "core/dates.h"
#include "core/process.h"
#include "core/time_series.h"
#include "output/xy_points.h"
#include "output/zv_coupling.h"

namespace {

constexpr int side = 1000;
constexpr int cells = side * side;

// A full grid with east and south neighbours and a checkerboard of 100
// segments with every other block of no segment.
struct zv_grid {
  nivra::zv_data zv;
  nivra::array1d<int> rightcon, belowcon;
  std::vector<double> qx, qy;
  zv_grid() : qx(cells + 1), qy(cells + 1) {
    rightcon.alloc(cells);
    belowcon.alloc(cells);
    zv.seg_map.alloc(cells);
    for (int r = 1; r <= side; ++r)
      for (int c = 1; c <= side; ++c) {
        const int i = (r - 1) * side + c;
        rightcon[i] = c < side ? i + 1 : 0;
        belowcon[i] = r < side ? i + side : 0;
        const int block = ((r - 1) / 100) * 10 + (c - 1) / 100;
        zv.seg_map[i] = (block + (r - 1) / 100) % 2 ? block + 1 : 0;
        qx[i] = std::sin(0.001 * i);
        qy[i] = std::cos(0.002 * i);
      }
    zv.n_seg = 100;
    zv.flux.alloc(100);
    zv.active_array.alloc(100);
  }
};

void BM_zv_accumulate(benchmark::State& state) {
  zv_grid g;
  for (auto _ : state) {
    nivra::zv_accumulate(g.zv, g.qx.data(), g.qy.data(), cells, g.rightcon.data(), g.belowcon.data(), false, nullptr);
    benchmark::DoNotOptimize(g.zv.flux.data());
  }
  state.SetItemsProcessed(state.iterations() * cells);
}
BENCHMARK(BM_zv_accumulate)->Unit(benchmark::kMillisecond);

// Every cell an interpolated groundwater boundary cell of six points (the
// five nearest kept), each point a series of 25 hourly values.
void BM_xy_interpolated_heads(benchmark::State& state) {
  nivra::reset_process_state();
  nivra::xy_input xy;
  const double start = nivra::julian_date(2024, 6, 15, 0, 0, 0.0);
  xy.gw_interp_pts.grow(6);
  xy.num_gw_interp_pts = 6;
  for (int p = 1; p <= 6; ++p) {
    nivra::time_series* ts = nivra::ts_new();
    for (int h = 0; h <= 24; ++h) {
      ts->times.push_back(start + h / 24.0);
      ts->values.push_back(100.0 + p + 0.1 * h);
    }
    ts->count = 25;
    xy.gw_interp_pts[p].series = ts;
    xy.gw_interp_pts[p].x = 200.0 * p;
    xy.gw_interp_pts[p].y = p % 2 ? 0.0 : 1.0e4;
  }
  std::vector<int> codes(cells + 1, nivra::xy_interp_code);
  std::vector<double> cx(cells + 1), cy(cells + 1), head(cells + 1, 100.0), storage(cells + 1, 0.2);
  for (int i = 1; i <= cells; ++i) cx[i] = 10.0 * ((i - 1) % side), cy[i] = 10.0 * ((i - 1) / side);
  nivra::xy_gw_boundary_cells(xy, codes.data(), cells, cx.data(), cy.data());
  double t = start;
  for (auto _ : state) {
    t += 10.0 / 86400.0;
    const nivra::xy_books b = nivra::apply_xy_boundary(xy, head.data(), storage.data(), 10.0, t);
    benchmark::DoNotOptimize(b);
  }
  state.SetItemsProcessed(state.iterations() * cells);
  nivra::reset_process_state();
}
BENCHMARK(BM_xy_interpolated_heads)->Unit(benchmark::kMillisecond);

// The values of 10,000 XY output points spread over the grid.
void BM_xy_output_values(benchmark::State& state) {
  nivra::array2d<int> mask(side + 1, side + 1);
  int n = 0;
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) mask(r, c) = ++n;
  const nivra::xy_grid grid{1.0e4, 0.0, 10.0, side, side, &mask};
  std::vector<nivra::xy_out_point> points(10000);
  for (int k = 0; k < 10000; ++k) {
    points[k].x = 3.7 + 0.9973 * k;
    points[k].y = 1.0e4 - (1.3 + 0.9931 * k);
    nivra::find_nearest_cells(grid, points[k]);
    nivra::xy_output_weights(points[k]);
  }
  std::vector<double> depth(cells + 1);
  for (int i = 1; i <= cells; ++i) depth[i] = 0.001 * (i % 1000);
  for (auto _ : state) {
    double sum = 0.0;
    for (const nivra::xy_out_point& p : points) sum += nivra::weighted_sum(p, depth.data());
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_xy_output_values)->Unit(benchmark::kMicrosecond);

}  // namespace
