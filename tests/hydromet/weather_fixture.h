// Small hand-built terrains for the weather kernels and the weather step:
// a rows x cols rectangle of square cells (with optional holes) numbered
// row by row, ground from a function, the cell centres, the neighbours and
// the centred slopes as the grid geometry builds them.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "hydromet/hydromet_state.h"
#include "hydromet/weather_step.h"
#include "inputs/geometry.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"

namespace nivra::testing {

struct terrain_spec {
  int rows = 1;
  int cols = 1;
  double dx = 30.0;
  std::function<double(int, int)> ground = [](int, int) { return 100.0; };
  std::vector<std::pair<int, int>> holes;  // (row, col) outside the watershed
  double north = 10000.0, west = 50000.0;
};

inline terrain_spec terrain(int rows, int cols, double dx, std::function<double(int, int)> ground,
                            std::vector<std::pair<int, int>> holes = {}) {
  terrain_spec t;
  t.rows = rows;
  t.cols = cols;
  t.dx = dx;
  t.ground = std::move(ground);
  t.holes = std::move(holes);
  return t;
}
inline double level_ground(int, int) { return 100.0; }

inline void make_terrain(model_state& ms, const terrain_spec& t) {
  grid_state& g = ms.grid;
  g.rows = g.nrows = g.proj_rows = t.rows;
  g.cols = g.ncols = g.proj_cols = t.cols;
  g.grid_size = t.dx;
  g.north = t.north;
  g.west = t.west;
  g.south = t.north - t.rows * t.dx;
  g.east = t.west + t.cols * t.dx;
  g.mask.alloc(t.rows + 1, t.cols + 1);
  int n = 0;
  for (int r = 1; r <= t.rows; ++r)
    for (int c = 1; c <= t.cols; ++c) {
      bool hole = false;
      for (const auto& p : t.holes) hole = hole || (p.first == r && p.second == c);
      if (!hole) g.mask[r][c] = ++n;
    }
  g.ncells = n;
  for (auto* a : {&g.rightcon, &g.leftcon, &g.belowcon, &g.abovecon}) a->alloc(n);
  g.elevation.alloc(n);
  for (auto* a : {&g.cell_x, &g.cell_y}) a->grow(n);
  for (auto* a : {&g.cell_row, &g.cell_col}) a->grow(n);
  for (int r = 1; r <= t.rows; ++r)
    for (int c = 1; c <= t.cols; ++c) {
      const int k = g.mask[r][c];
      if (!k) continue;
      g.elevation[k] = t.ground(r, c);
      g.cell_row[k] = r;
      g.cell_col[k] = c;
      g.cell_x[k] = t.west + (c - 0.5) * t.dx;
      g.cell_y[k] = t.north - (r - 0.5) * t.dx;
      g.rightcon[k] = g.mask[r][c + 1];
      g.leftcon[k] = g.mask[r][c - 1];
      g.belowcon[k] = g.mask[r + 1][c];
      g.abovecon[k] = g.mask[r - 1][c];
    }
  compute_centred_slopes(ms);
}

}  // namespace nivra::testing
