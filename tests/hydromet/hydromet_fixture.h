// Small hand-drawn grids for the precipitation kernels: rows x cols cells
// of dx metres with the north-west corner at (west, north), numbered row by
// row, with holes outside the watershed.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "inputs/grid_state.h"

namespace nivra::testing {

inline std::unique_ptr<grid_state> small_grid(int rows, int cols, double dx, double west, double north,
                                              const std::vector<std::pair<int, int>>& holes = {}) {
  auto g = std::make_unique<grid_state>();
  g->nrows = g->rows = rows;
  g->ncols = g->cols = cols;
  g->grid_size = dx;
  g->west = west;
  g->north = north;
  g->mask.alloc(rows + 1, cols + 1);
  int n = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      bool hole = false;
      for (const auto& h : holes) hole = hole || (h.first == r && h.second == c);
      if (!hole) g->mask[r][c] = ++n;
    }
  g->ncells = n;
  return g;
}

}  // namespace nivra::testing
