// Part of the run's model_state: Grid header and size, mask and cell numbering, cell coordinates, elevations, neighbours, slopes, dikes and low spots, outlet.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/project.h"

namespace nivra {

struct grid_state {
  // Grid fields read by the run summary, the event summaries and the
  // end-of-run maps.
  int rows = 0, cols = 0;            // grid size of the maps
  int proj_rows = 0, proj_cols = 0;  // ROWS and COLS cards
  int ncells = 0;                    // watershed cells
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
  double grid_size = 0.0;            // cell size dx, m
  array2d<int> mask;                 // [row][col]: cell number inside the watershed, 0 outside
  array1d<double> elevation;         // per cell, m
  array1d<int> soiltype;             // soil class per cell
  int map_units_feet = 0;            // elevations and cell size were converted from feet
  int float_grass_maps = 1;
  int dike_map_given = 0;
  int lowspot_file_given = 0;
  array1d<int> low_spot_flow_cell;   // 1 where water went over a dike
  int adjust_elev = 0;               // ADJUST_ELEV: write the eroded elevations at the end
  file_name_text adjust_elev_file_name;
  guarded_file adjust_elev_file;
};

}  // namespace nivra
