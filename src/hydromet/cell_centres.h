// The centres of the active cells, visited row by row from the north and
// column by column from the west (the order of the cell numbers): x = west
// + (col - 0.5) size, y = north - (row - 0.5) size.
#pragma once

#include "inputs/grid_state.h"

namespace nivra {

// Calls f(cell, x, y) for every active cell; stops early when f returns
// false, and then returns false.
template <class F>
bool for_each_cell_centre(const grid_state& grid, F&& f) {
  const double size = grid.grid_size;
  for (int r = 1; r <= grid.nrows; ++r) {
    const double y = grid.north - (r - 0.5) * size;
    const int* mask_row = grid.mask[r].data();
    for (int c = 1; c <= grid.ncols; ++c) {
      const int k = mask_row[c];
      if (k == 0) continue;
      if (!f(k, grid.west + (c - 0.5) * size, y)) return false;
    }
  }
  return true;
}

}  // namespace nivra
