// Small hand-built grids for the overland kernels: an n x m rectangle of
// cells with optional holes, ground from a function, uniform roughness, the
// neighbour arrays and one-sided slopes built the way the model's grid
// geometry builds them, and an optional outlet.
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_state.h"

namespace nivra::testing {

struct grid_spec {
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

inline std::unique_ptr<model_state> make_grid(const grid_spec& g) {
  auto ms = std::make_unique<model_state>();
  ms->grid.grid_size = g.dx;
  ms->grid.mask.alloc(g.rows + 1, g.cols + 1);  // spare border all round
  int n = 0;
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      bool hole = false;
      for (const auto& p : g.holes) hole = hole || (p.first == r && p.second == c);
      if (!hole) ms->grid.mask[r][c] = ++n;
    }
  }
  ms->grid.ncells = n;
  for (auto* a : {&ms->grid.elevation, &ms->grid.slope_x, &ms->grid.slope_y, &ms->overland.ov_depth, &ms->overland.ov_dh, &ms->overland.ov_qx,
                  &ms->overland.ov_qy, &ms->overland.ov_volx, &ms->overland.ov_voly, &ms->overland.ov_pc_depth, &ms->overland.ov_pc_flux,
                  &ms->overland.retent_dep, &ms->overland.dist_rough, &ms->overland.roughness_exp})
    a->alloc(n);
  for (auto* a : {&ms->grid.rightcon, &ms->grid.leftcon, &ms->grid.belowcon, &ms->grid.abovecon}) a->alloc(n);
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      const int k = ms->grid.mask[r][c];
      if (!k) continue;
      ms->grid.elevation[k] = g.ground(r, c);
      ms->overland.dist_rough[k] = g.n;
      ms->grid.rightcon[k] = c < g.cols ? ms->grid.mask[r][c + 1] : 0;
      ms->grid.leftcon[k] = c > 1 ? ms->grid.mask[r][c - 1] : 0;
      ms->grid.belowcon[k] = r < g.rows ? ms->grid.mask[r + 1][c] : 0;
      ms->grid.abovecon[k] = r > 1 ? ms->grid.mask[r - 1][c] : 0;
    }
  }
  // One-sided slopes toward the east and south neighbours; a cell without
  // an east neighbour takes the previous cell's x slope, a southern edge
  // cell the y slope of the cell above it.
  for (int i = 1; i <= n; ++i) {
    const int e = ms->grid.rightcon[i];
    ms->grid.slope_x[i] = e ? (ms->grid.elevation[i] - ms->grid.elevation[e]) / g.dx : ms->grid.slope_x[i - 1];
    const int b = ms->grid.belowcon[i];
    if (b) {
      ms->grid.slope_y[i] = (ms->grid.elevation[i] - ms->grid.elevation[b]) / g.dx;
      if (ms->grid.belowcon[b] == 0) ms->grid.slope_y[b] = ms->grid.slope_y[i];
    }
  }
  if (g.out_row > 0) ms->grid.outlet_cell = ms->grid.mask[g.out_row][g.out_col];
  ms->grid.outlet_slope = g.outlet_slope;
  return ms;
}

inline int cell_at(const model_state& ms, int r, int c) { return ms.grid.mask[r][c]; }

// One cell that is also the outlet, draining by normal depth on the slope.
inline std::unique_ptr<model_state> outlet_cell(double outlet_slope, double depth) {
  grid_spec g;
  g.out_row = 1;
  g.out_col = 1;
  g.outlet_slope = outlet_slope;
  auto ms = make_grid(g);
  ms->overland.ov_depth[1] = depth;
  return ms;
}

// Puts the listed cells under channel lake 1 at the given level and volume.
inline void add_channel_lake(model_state& ms, const std::vector<int>& cells, double level, double volume) {
  ms.lake.chan_lakes = 1;
  ms.lake.num_lakes = 1;
  ms.lake.lake_mask.alloc(ms.grid.ncells);
  for (int c : cells) ms.lake.lake_mask[c] = 1;
  for (auto* a : {&ms.lake.lake_elev, &ms.lake.lake_volume, &ms.lake.lake_in_dv, &ms.lake.lake_out_dv}) a->alloc(1);
  ms.lake.lake_elev[1] = level;
  ms.lake.lake_volume[1] = volume;
}

// Overland water plus the channel lakes and the overland-lake exchange
// volumes, m3.
inline double stored_volume(const model_state& ms) {
  double v = 0.0;
  for (int i = 1; i <= ms.grid.ncells; ++i) {
    const bool chan_lake = ms.lake.chan_lakes && !ms.lake.lake_mask.empty() && ms.lake.lake_mask[i] > 0;
    const bool olake = ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty() && ms.lake.oland_lake_new[i] > 0;
    if (!chan_lake && !olake) v += ms.overland.ov_depth[i] * ms.grid.grid_size * ms.grid.grid_size;
  }
  for (int L = 1; L <= ms.lake.num_lakes && ms.lake.chan_lakes; ++L) v += ms.lake.lake_volume[L];
  for (int L = 1; L <= ms.lake.num_olakes && ms.lake.overland_lake_map_given; ++L) v += ms.lake.olake_table[L].value[4];
  return v;
}

inline double min_depth(const model_state& ms) {
  double m = 1e300;
  for (int i = 1; i <= ms.grid.ncells; ++i) m = std::fmin(m, ms.overland.ov_depth[i]);
  return m;
}

// Adds a rain depth to every cell; returns the volume added.
inline double rain(model_state& ms, double depth) {
  for (int i = 1; i <= ms.grid.ncells; ++i) ms.overland.ov_depth[i] += depth;
  return depth * ms.grid.grid_size * ms.grid.grid_size * ms.grid.ncells;
}

// The overland step as the time loop takes it: boundary conditions, the
// routing kernel of the chosen scheme, the step's discharges from the ADE
// face volumes, and the alternation of the ADE sweep order.
inline double overland_step(model_state& ms, double dt) {
  overland_boundary(ms, dt);
  const double out = ms.overland.overtype == 1 ? route_overland_explicit(ms, dt) : route_overland_ade(ms, dt);
  if (ms.overland.overtype == 2 && !ms.lake.chan_lakes && !ms.lake.overland_lake_map_given) {
    for (int i = 1; i <= ms.grid.ncells; ++i) {
      ms.overland.ov_qx[i] = ms.overland.ov_volx[i] / dt;
      ms.overland.ov_qy[i] = ms.overland.ov_voly[i] / dt;
    }
  }
  ms.overland.ade_sweep = ms.overland.ade_sweep == 1 ? 2 : 1;
  return out;
}

}  // namespace nivra::testing
