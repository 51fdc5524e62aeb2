// Precipitation on a grid of 1,000 x 1,000 cells of 30 m: spreading ten
// gages over the cells by inverse distance, finding the nearest gage of
// every cell and taking its rate, reading one period's radar file of
// 1,000 x 1,000 values (about 4 MB of text) and moving it onto the cells,
// one canopy interception step and one step of rain on the cells, with
// blocked cells and fixed-level boundary cells among them.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_support.h"
#include "core/dates.h"
#include "core/process.h"
#include "hydromet/gage_rain.h"
#include "hydromet/interception.h"
#include "hydromet/radar.h"
#include "hydromet/rainfall.h"
#include "inputs/grid_state.h"
#include "surface/boundary_codes.h"

namespace {

constexpr int side = 1000;
constexpr int cells = side * side;
constexpr int gage_count = 10;

std::unique_ptr<nivra::grid_state> grid() {
  auto g = std::make_unique<nivra::grid_state>();
  g->nrows = g->ncols = side;
  g->grid_size = 30.0;
  g->west = 500000.0;
  g->north = 4030000.0;
  g->mask.alloc(side + 1, side + 1);
  int n = 0;
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) g->mask[r][c] = ++n;
  g->ncells = n;
  return g;
}

struct gages {
  nivra::array1d<double> x{gage_count}, y{gage_count};
  nivra::jagged_array<double> values{"values"};
  gages() {
    values.grow_fill(gage_count, 0.0, 2);
    for (int g = 1; g <= gage_count; ++g) {
      x[g] = 500000.0 + 2900.0 * g;
      y[g] = 4000000.0 + 2700.0 * ((g * 7) % gage_count) + 15.0;
      values(g, 1) = 2.0 + g;
    }
  }
  nivra::gage_positions positions() const { return {gage_count, x.data(), y.data()}; }
};

void BM_gage_inverse_distance_1M(benchmark::State& state) {
  auto g = grid();
  const gages gs;
  nivra::array1d<double> rates(cells);
  for (auto _ : state) {
    nivra::gage_to_grid_precip(*g, gs.positions(), gs.values, 1, rates.data());
    benchmark::DoNotOptimize(rates.data());
  }
}

void BM_nearest_gage_1M(benchmark::State& state) {
  auto g = grid();
  const gages gs;
  nivra::array1d<int> nearest(cells);
  for (auto _ : state) {
    nivra::find_neighbor(*g, gs.positions(), nearest.data());
    benchmark::DoNotOptimize(nearest.data());
  }
}

void BM_nearest_gage_rates_1M(benchmark::State& state) {
  auto g = grid();
  const gages gs;
  nivra::array1d<int> nearest(cells);
  nivra::find_neighbor(*g, gs.positions(), nearest.data());
  nivra::array1d<double> rates(cells);
  for (auto _ : state) {
    nivra::gather_from_index_table(1, 0, nearest.data(), gs.values, rates.data(), cells);
    benchmark::DoNotOptimize(rates.data());
  }
}

void BM_read_radar_file_1M(benchmark::State& state) {
  nivra::reset_process_state();
  const nivra::bench::scratch_folder folder;
  const std::string path = folder.file("radar.asc");
  std::FILE* fp = std::fopen(path.c_str(), "w");
  std::fprintf(fp, "ncols %d\nnrows %d\nxllcorner 500000\nyllcorner 4000000\ncellsize 30\nNODATA_value -9999\n", side,
               side);
  for (int r = 0; r < side; ++r) {
    for (int c = 0; c < side; ++c) std::fprintf(fp, "%.2f ", ((r * 13 + c * 7) % 400) * 0.01);
    std::fputc('\n', fp);
  }
  std::fclose(fp);
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  auto g = grid();
  nivra::radar_grid radar;
  nivra::array1d<double> rates(cells);
  // The reader prints its peaks: the console is silenced while it runs.
  const nivra::bench::silent_console silent;
  if (!nivra::map_radar_cells(radar, path, *g)) {
    state.SkipWithError("the radar grid did not map onto the cells");
    return;
  }
  for (auto _ : state) {
    if (!nivra::read_radar_precip(radar, path, true)) {
      state.SkipWithError("the radar file did not read");
      break;
    }
    nivra::radar_to_cells(radar, cells, rates.data());
    benchmark::DoNotOptimize(rates.data());
  }
}

void BM_canopy_interception_1M(benchmark::State& state) {
  nivra::array1d<double> stor(cells), coef(cells), rain(cells), eff(cells), dep(cells);
  for (int k = 1; k <= cells; ++k) {
    stor[k] = 0.5 + (k % 7) * 0.25;
    coef[k] = 0.05 * (k % 5);
    rain[k] = 1.0 + k % 30;
  }
  const nivra::canopy_cells c{cells, stor.data(), coef.data(), rain.data(), eff.data(), dep.data(), nullptr};
  for (auto _ : state) {
    dep.fill(0.0);
    benchmark::DoNotOptimize(nivra::canopy_interception(c, 10.0, 1.0));
  }
}

void BM_rain_on_cells_1M(benchmark::State& state) {
  nivra::array1d<double> rain(cells), depth(cells), blocked(cells);
  nivra::array1d<int> reset(cells), boundary(cells);
  for (int k = 1; k <= cells; ++k) {
    rain[k] = 1.0 + k % 30;
    blocked[k] = 0.1 * (k % 4);
    boundary[k] = k % side == 0 ? nivra::boundary::fixed_level : nivra::boundary::none;  // the east edge
  }
  nivra::rain_domain d;
  d.ncells = cells;
  d.cell_area = 900.0;
  d.rain = rain.data();
  d.depth = depth.data();
  d.rain_reset = reset.data();
  d.boundary_type = boundary.data();
  d.blocked = blocked.data();
  for (auto _ : state) {
    depth.fill(0.0);
    benchmark::DoNotOptimize(nivra::rain_on_cells(d, 10.0));
  }
}

BENCHMARK(BM_gage_inverse_distance_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_nearest_gage_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_nearest_gage_rates_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_read_radar_file_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_canopy_interception_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_rain_on_cells_1M)->Unit(benchmark::kMillisecond);

}  // namespace
