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

#include "model/model_state.h"
#include "surface/overland.h"

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
  ms->grid_size = g.dx;
  ms->mask.alloc(g.rows + 1, g.cols + 1);  // spare border all round
  int n = 0;
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      bool hole = false;
      for (const auto& p : g.holes) hole = hole || (p.first == r && p.second == c);
      if (!hole) ms->mask[r][c] = ++n;
    }
  }
  ms->ncells = n;
  for (auto* a : {&ms->elevation, &ms->slope_x, &ms->slope_y, &ms->ov_depth, &ms->ov_dh, &ms->ov_qx,
                  &ms->ov_qy, &ms->ov_volx, &ms->ov_voly, &ms->ov_pc_depth, &ms->ov_pc_flux,
                  &ms->retent_dep, &ms->dist_rough, &ms->roughness_exp})
    a->alloc(n);
  for (auto* a : {&ms->rightcon, &ms->leftcon, &ms->belowcon, &ms->abovecon}) a->alloc(n);
  for (int r = 1; r <= g.rows; ++r) {
    for (int c = 1; c <= g.cols; ++c) {
      const int k = ms->mask[r][c];
      if (!k) continue;
      ms->elevation[k] = g.ground(r, c);
      ms->dist_rough[k] = g.n;
      ms->rightcon[k] = c < g.cols ? ms->mask[r][c + 1] : 0;
      ms->leftcon[k] = c > 1 ? ms->mask[r][c - 1] : 0;
      ms->belowcon[k] = r < g.rows ? ms->mask[r + 1][c] : 0;
      ms->abovecon[k] = r > 1 ? ms->mask[r - 1][c] : 0;
    }
  }
  // One-sided slopes toward the east and south neighbours; a cell without
  // an east neighbour takes the previous cell's x slope, a southern edge
  // cell the y slope of the cell above it.
  for (int i = 1; i <= n; ++i) {
    const int e = ms->rightcon[i];
    ms->slope_x[i] = e ? (ms->elevation[i] - ms->elevation[e]) / g.dx : ms->slope_x[i - 1];
    const int b = ms->belowcon[i];
    if (b) {
      ms->slope_y[i] = (ms->elevation[i] - ms->elevation[b]) / g.dx;
      if (ms->belowcon[b] == 0) ms->slope_y[b] = ms->slope_y[i];
    }
  }
  if (g.out_row > 0) ms->outlet_cell = ms->mask[g.out_row][g.out_col];
  ms->outlet_slope = g.outlet_slope;
  return ms;
}

inline int cell_at(const model_state& ms, int r, int c) { return ms.mask[r][c]; }

// One cell that is also the outlet, draining by normal depth on the slope.
inline std::unique_ptr<model_state> outlet_cell(double outlet_slope, double depth) {
  grid_spec g;
  g.out_row = 1;
  g.out_col = 1;
  g.outlet_slope = outlet_slope;
  auto ms = make_grid(g);
  ms->ov_depth[1] = depth;
  return ms;
}

// Puts the listed cells under channel lake 1 at the given level and volume.
inline void add_channel_lake(model_state& ms, const std::vector<int>& cells, double level, double volume) {
  ms.chan_lakes = 1;
  ms.num_lakes = 1;
  ms.lake_mask.alloc(ms.ncells);
  for (int c : cells) ms.lake_mask[c] = 1;
  for (auto* a : {&ms.lake_elev, &ms.lake_volume, &ms.lake_in_dv, &ms.lake_out_dv}) a->alloc(1);
  ms.lake_elev[1] = level;
  ms.lake_volume[1] = volume;
}

// Overland water plus the channel lakes and the overland-lake exchange
// volumes, m3.
inline double stored_volume(const model_state& ms) {
  double v = 0.0;
  for (int i = 1; i <= ms.ncells; ++i) {
    const bool chan_lake = ms.chan_lakes && !ms.lake_mask.empty() && ms.lake_mask[i] > 0;
    const bool olake = ms.overland_lake_map_given && !ms.oland_lake_new.empty() && ms.oland_lake_new[i] > 0;
    if (!chan_lake && !olake) v += ms.ov_depth[i] * ms.grid_size * ms.grid_size;
  }
  for (int L = 1; L <= ms.num_lakes && ms.chan_lakes; ++L) v += ms.lake_volume[L];
  for (int L = 1; L <= ms.num_olakes && ms.overland_lake_map_given; ++L) v += ms.olake_table[L].value[4];
  return v;
}

inline double min_depth(const model_state& ms) {
  double m = 1e300;
  for (int i = 1; i <= ms.ncells; ++i) m = std::fmin(m, ms.ov_depth[i]);
  return m;
}

// Adds a rain depth to every cell; returns the volume added.
inline double rain(model_state& ms, double depth) {
  for (int i = 1; i <= ms.ncells; ++i) ms.ov_depth[i] += depth;
  return depth * ms.grid_size * ms.grid_size * ms.ncells;
}

// The overland step as the time loop takes it: boundary conditions, the
// routing kernel of the chosen scheme, the step's discharges from the ADE
// face volumes, and the alternation of the ADE sweep order.
inline double overland_step(model_state& ms, double dt) {
  overland_boundary(ms, dt);
  const double out = ms.overtype == 1 ? route_overland_explicit(ms, dt) : route_overland_ade(ms, dt);
  if (ms.overtype == 2 && !ms.chan_lakes && !ms.overland_lake_map_given) {
    for (int i = 1; i <= ms.ncells; ++i) {
      ms.ov_qx[i] = ms.ov_volx[i] / dt;
      ms.ov_qy[i] = ms.ov_voly[i] / dt;
    }
  }
  ms.ade_sweep = ms.ade_sweep == 1 ? 2 : 1;
  return out;
}

}  // namespace nivra::testing
