// Part of the run's model_state: Grid header and size, mask and cell numbering, cell coordinates, elevations, neighbours, slopes, dikes and low spots, outlet.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct grid_state {
  // --- grid header, mask and cell numbering
  int rows = 0, cols = 0;            // map header rows and columns
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
  double grid_size = 0.0;            // cell side dx, m
  int nrows = 0, ncols = 0;          // card rows and columns
  int ncells = 0;                    // active cells
  array2d<int> mask;                 // [row][col]: cell number, 0 outside
  array1d<double> elevation;         // ground elevation per cell, m
};

}  // namespace nivra
