// Small hand-built grids for the overland kernels and the overland step: an
// n x m rectangle of cells with optional holes, ground from a function,
// uniform roughness, the neighbour arrays and one-sided slopes built the way
// the model's grid geometry builds them, and an optional outlet.
//
// A kernel test builds only what the kernels take (overland_cells: the
// grid, the overland water and the lakes); a test of whole overland steps
// builds a run's record and runs the time loop's own overland step on it.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/time_series.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_state.h"
#include "surface/overland_step.h"

namespace nivra::testing {

struct test_grid {
  int rows = 1;
  int cols = 1;
  double dx = 10.0;
  double n = 0.03;                                     // Manning n of every cell
  std::function<double(int, int)> ground = [](int, int) { return 100.0; };
  std::vector<std::pair<int, int>> holes;              // (row, col) outside the watershed
  int out_row = 0;                                     // outlet position; 0: no outlet
  int out_col = 0;
  double outlet_slope = 0.0;
};

// The components an overland kernel takes, and the values the overland
// step would hand it from the others.
struct overland_cells {
  grid_state grid;
  overland_state overland;
  lake_state lake;
  bool quiet = false;     // the project's quiet switch
  bool channels = false;  // channel routing takes the outlet

  overland_domain domain() { return overland_domain{grid, overland, lake, snow_flow{}, !channels, quiet}; }
};

// Builds the test grid into the grid and overland components of a
// record or of a kernel test.
template <class Cells = model_state>
std::unique_ptr<Cells> make_grid(const test_grid& g) {
  auto w = std::make_unique<Cells>();
  grid_state& grid = w->grid;
  overland_state& ov = w->overland;
  grid.grid_size = g.dx;
  grid.mask.alloc(g.rows + 1, g.cols + 1);  // spare border all round
  int n = 0;
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      bool hole = false;
      for (const auto& p : g.holes) hole = hole || (p.first == r && p.second == c);
      if (!hole) grid.mask[r][c] = ++n;
    }
  }
  grid.ncells = n;
  for (auto* a : {&grid.elevation, &grid.slope_x, &grid.slope_y, &ov.ov_depth, &ov.ov_qx, &ov.ov_qy, &ov.ov_volx,
                  &ov.ov_voly, &ov.retent_dep, &ov.dist_rough, &ov.roughness_exp})
    a->alloc(n);
  for (auto* a : {&grid.rightcon, &grid.leftcon, &grid.belowcon, &grid.abovecon}) a->alloc(n);
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      const int k = grid.mask[r][c];
      if (!k) continue;
      grid.elevation[k] = g.ground(r, c);
      ov.dist_rough[k] = g.n;
      grid.rightcon[k] = c < g.cols ? grid.mask[r][c + 1] : 0;
      grid.leftcon[k] = c > 1 ? grid.mask[r][c - 1] : 0;
      grid.belowcon[k] = r < g.rows ? grid.mask[r + 1][c] : 0;
      grid.abovecon[k] = r > 1 ? grid.mask[r - 1][c] : 0;
    }
  }
  // One-sided slopes toward the east and south neighbours; a cell without
  // an east neighbour takes the previous cell's x slope, a southern edge
  // cell the y slope of the cell above it.
  for (int i = 1; i <= n; ++i) {
    const int e = grid.rightcon[i];
    grid.slope_x[i] = e ? (grid.elevation[i] - grid.elevation[e]) / g.dx : grid.slope_x[i - 1];
    const int b = grid.belowcon[i];
    if (b) {
      grid.slope_y[i] = (grid.elevation[i] - grid.elevation[b]) / g.dx;
      if (grid.belowcon[b] == 0) grid.slope_y[b] = grid.slope_y[i];
    }
  }
  if (g.out_row > 0) grid.outlet_cell = grid.mask[g.out_row][g.out_col];
  grid.outlet_slope = g.outlet_slope;
  return w;
}

// No messages about the sub-steps.
// A number in [0, 1) that looks random and is the same on every machine:
// the relief of rough test ground.
inline double noise(int r, int c) {
  std::uint32_t x = static_cast<std::uint32_t>(r) * 73856093u ^ static_cast<std::uint32_t>(c) * 19349663u;
  x ^= x >> 13;
  x *= 0x5bd1e995u;
  x ^= x >> 15;
  return (x & 0xffffffu) / 16777216.0;
}

// The mask (every cell in the watershed) and the elevation map of a square
// of side x side cells of 10 m, the ground from ground(row, col), written to
// rough.msk and rough.ele.
inline void write_ground_maps(int side, double (*ground)(int, int)) {
  std::string mask, elevations;
  char v[32];
  for (int r = 1; r <= side; ++r) {
    for (int c = 1; c <= side; ++c) {
      std::snprintf(v, sizeof v, "%.4f", ground(r, c));
      mask += c < side ? "1 " : "1\n";
      elevations += std::string(v) + (c < side ? " " : "\n");
    }
  }
  char head[160];
  std::snprintf(head, sizeof head, "north: %d\nsouth: 0\neast: %d\nwest: 0\nrows: %d\ncols: %d\n", side * 10,
                side * 10, side, side);
  write_file("rough.msk", head + mask);
  write_file("rough.ele", head + elevations);
}

inline void set_quiet(overland_cells& w) { w.quiet = true; }
inline void set_quiet(model_state& ms) { ms.project.quiet = 1; }

template <class Cells>
int cell_at(const Cells& w, int r, int c) {
  return w.grid.mask[r][c];
}

// One cell that is also the outlet, draining by normal depth on the slope.
inline std::unique_ptr<overland_cells> outlet_cell(double outlet_slope, double depth) {
  test_grid g;
  g.out_row = 1;
  g.out_col = 1;
  g.outlet_slope = outlet_slope;
  auto w = make_grid<overland_cells>(g);
  w->overland.ov_depth[1] = depth;
  return w;
}

// Gives a cell an overland boundary condition of the type with its table
// value, in the arrays the map phase makes for the boundaries.
template <class Cells>
void set_boundary(Cells& w, int cell, int type, double value) {
  overland_state& ov = w.overland;
  const int n = w.grid.ncells;
  ov.ov_boundary = 1;
  for (auto* a : {&ov.ov_bc_value, &ov.bc_value})
    if (a->size() != n) a->alloc(n);
  if (ov.boundary_type.size() != n) ov.boundary_type.alloc(n);
  if (ov.ov_bc_rating_series.size() != n) ov.ov_bc_rating_series.alloc(n);
  ov.boundary_type[cell] = type;
  ov.ov_bc_value[cell] = value;
  // The lists made from the boundary types once per run are made again.
  ov.bc_cells.cells = 0;
  ov.explicit_kernel.edges.cells = 0;
  ov.explicit_kernel.held.cells = 0;
  ov.ade_kernel.edges.cells = 0;
  ov.ade_kernel.held.cells = 0;
}

// A series of the TIME_SERIES_INDEX table under the id, with the given
// (time in days, value) entries; the caller frees the series (ts_free_all).
inline void add_index_series(int id, std::vector<std::pair<double, double>> entries) {
  time_series* ts = ts_new();
  ts->name = "series_" + std::to_string(id);
  for (const auto& [t, v] : entries) {
    ts->times.push_back(t);
    ts->values.push_back(v);
  }
  ts->count = static_cast<int>(entries.size());
  ts_add_index(id, ts);
}

// Puts the listed cells under channel lake 1 at the given level and volume.
template <class Cells>
void add_channel_lake(Cells& w, const std::vector<int>& cells, double level, double volume) {
  lake_state& lake = w.lake;
  lake.chan_lakes = 1;
  lake.num_lakes = 1;
  lake.lake_mask.alloc(w.grid.ncells);
  for (int c : cells) lake.lake_mask[c] = 1;
  for (auto* a : {&lake.lake_elev, &lake.lake_volume, &lake.lake_in_dv, &lake.lake_out_dv}) a->alloc(1);
  lake.lake_elev[1] = level;
  lake.lake_volume[1] = volume;
}

// Overland water plus the channel lakes and the overland-lake exchange
// volumes, m3.
template <class Cells>
double stored_volume(const Cells& w) {
  const grid_state& grid = w.grid;
  const lake_state& lake = w.lake;
  double v = 0.0;
  for (int i = 1; i <= grid.ncells; ++i) {
    const bool chan_lake = lake.chan_lakes && !lake.lake_mask.empty() && lake_cell(lake.lake_mask[i]);
    const bool olake = lake.overland_lake_map_given && !lake.oland_lake_new.empty() && lake_cell(lake.oland_lake_new[i]);
    if (!chan_lake && !olake) v += w.overland.ov_depth[i] * grid.grid_size * grid.grid_size;
  }
  for (int L = 1; L <= lake.num_lakes && lake.chan_lakes; ++L) v += lake.lake_volume[L];
  for (int L = 1; L <= lake.num_olakes && lake.overland_lake_map_given; ++L)
    v += lake.olake_table[L].value[olake_value::exchange];
  return v;
}

template <class Cells>
double min_depth(const Cells& w) {
  double m = 1e300;
  for (int i = 1; i <= w.grid.ncells; ++i) m = std::fmin(m, w.overland.ov_depth[i]);
  return m;
}

// Adds a rain depth to every cell; returns the volume added.
template <class Cells>
double rain(Cells& w, double depth) {
  for (int i = 1; i <= w.grid.ncells; ++i) w.overland.ov_depth[i] += depth;
  return depth * w.grid.grid_size * w.grid.grid_size * w.grid.ncells;
}

// Sets the overland clock of a record so that its step is due now, dt
// seconds after the last one.
inline void make_overland_step_due(model_state& ms, double dt) {
  ms.clock.time_tol = due_tolerance_days;
  ms.clock.base_dt = dt;
  ms.clock.ov_dt = dt;
  ms.clock.ov_dt_days = dt / seconds_per_day;
  ms.clock.ov_last_time = ms.clock.model_time - ms.clock.ov_dt_days;
  ms.clock.ov_next_time = ms.clock.model_time;
}

// One overland step of dt seconds as the time loop takes it; returns the
// volume it booked as leaving through the outlet (m3).
inline double overland_step(model_state& ms, double dt) {
  make_overland_step_due(ms, dt);
  const double booked = ms.ledger.run_total(water_flux::outlet_discharge);
  overland_routing_step(ms);
  return ms.ledger.run_total(water_flux::outlet_discharge) - booked;
}

}  // namespace nivra::testing
