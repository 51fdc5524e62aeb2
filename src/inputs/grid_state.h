// Part of the run's model_state: Grid header and size, mask and cell numbering, cell coordinates, elevations, neighbours, slopes, dikes and low spots, outlet.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct grid_state {
  // Grid size given by the project, and the header of the grid maps.
  int proj_rows = 0, proj_cols = 0;
  int rows = 0, cols = 0;
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
  double grid_size = 0.0;  // cell size, metres

  // Watershed mask and the numbering of the active cells.
  int nrows = 0, ncols = 0, ncells = 0;
  array2d<int> mask;  // [row][col]: the cell number, 0 outside the watershed
  checked_array<int> cell_row;
  checked_array<int> cell_col;
  checked_array<double> cell_x;
  checked_array<double> cell_y;

  // Outlet.
  int outrow = 0, outcol = 0, outlet_cell = 0;

  // Input maps of the grid.
  guarded_file elevation_file;
  guarded_file watershed_mask_file;
  guarded_file dike_map_file;
  guarded_file lowspot_input_file;

  // --- grid header, mask and cell numbering
  array1d<double> elevation;         // ground elevation per cell, m
};

}  // namespace nivra
