// A component of the run's record: Grid header and size, mask and cell numbering, cell coordinates, elevations, neighbours, slopes, dikes and low spots, outlet.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

// The mapping tables the start-up check looks for, in the order of
// grid_state::cmt_table_present.
enum cmt_table : int {
  cmt_roughness, cmt_rough_exp, cmt_ovr_flow_block, cmt_interception, cmt_retention,
  cmt_ga_infiltration, cmt_ga_soil_moisture, cmt_multi_layer_ga, cmt_richards_havercamp,
  cmt_richards_brooks, cmt_evapotranspiration, cmt_sediments, cmt_sediment_erosion,
  cmt_contaminants, cmt_wetlands, cmt_overland_boundary, cmt_gw_wells, cmt_groundwater,
  cmt_gw_boundary, cmt_area_reduction, cmt_nsm_nitrogen, cmt_nsm_phosphorus, cmt_nsm_other,
  cmt_nsm_carbon, cmt_nsm_dispersion, cmt_nsm_soil_carbon, cmt_nsm_soil_nitrogen,
  cmt_nsm_soil_phosphorus, cmt_nsm_gw_nitrogen, cmt_nsm_gw_phosphorus, cmt_nsm_gw_other,
  cmt_nsm_soil_km, cmt_nsm_soil_koc,
  cmt_table_count
};

// Sides of a cell as bits of the dike map and of a low spot's direction: a
// dike cell's value is the sum of the sides its dike runs along.
namespace cell_side {
inline constexpr int none = 0;  // a cell without a dike
inline constexpr int top = 1, right = 2, bottom = 4, left = 8;
// The same side seen from the neighbour across it.
inline constexpr int opposite(int side) {
  return side == top ? bottom : side == bottom ? top : side == right ? left : side == left ? right : 0;
}
}  // namespace cell_side

// One notch in an overland dike (a SPOT card of the low-spot file).
struct lowspot {
  int row = 0;                 // grid row and column of the cell on the near side
  int col = 0;
  int direction = 0;           // side crossed, a cell_side bit
  double grid_fraction = 0.0;  // notch width as a fraction of the cell size
  double crest_elev = 0.0;     // crest elevation, m
  double flow = 0.0;           // discharge over the notch in its last flowing step, m3/s
};

struct grid_state {
  // ---- Parameters: set at set-up from the cards and the maps, read-only
  // afterwards.
  // Grid size given by the project, and the header of the grid maps.
  int proj_rows = 0, proj_cols = 0;
  int rows = 0, cols = 0;
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
  double grid_size = 0.0;  // cell size, metres
  int map_units_feet = 0;  // elevations and cell size were converted from feet
  // Watershed mask and the numbering of the active cells.
  int nrows = 0, ncols = 0, ncells = 0;
  array2d<int> mask;  // [row][col]: the cell number, 0 outside the watershed
  checked_array<int> cell_row;
  checked_array<int> cell_col;
  checked_array<double> cell_x;
  checked_array<double> cell_y;
  double watershed_area = 0.0;    // m2
  // Outlet.
  int outrow = 0, outcol = 0, outlet_cell = 0;
  double outlet_slope = 0.0;      // normal-depth slope of the outlet (OUTSLOPE)
  // Ground elevations, neighbours (0 where none), one-sided and centred
  // slopes, dikes and low spots.
  array1d<double> elevation;      // ground elevation per cell, m
  array1d<int> rightcon;          // neighbour east, 0 where none
  array1d<int> leftcon;           // neighbour west
  array1d<int> belowcon;          // neighbour south
  array1d<int> abovecon;          // neighbour north
  array1d<double> slope_x;        // ground slope toward the east neighbour, positive downhill
  array1d<double> slope_y;        // ground slope toward the south neighbour, positive downhill
  array1d<double> centred_slope_x;  // centred, positive downhill toward the east
  array1d<double> centred_slope_y;  // centred, positive downhill toward the north
  int dike_map_given = 0;
  array1d<int> dike_mask;         // dike sides: the sum of their cell_side bits
  int lowspot_file_given = 0;
  int lowspot_count = 0;
  array1d<lowspot> lowspot_cells;  // 1..lowspot_count
  // Mapping tables given by the project and the tables the start-up check
  // found (cmt_table order).
  int mapping_table_given = 0;
  int st_mapping_table_given = 0;
  int cmt_table_present[cmt_table_count] = {};

  // ---- Per-run bookkeeping.
  array1d<int> low_spot_flow_cell;  // 1 for both cells of a low spot that carried water
  int ts_index_read = 0;            // the mapping table's TIME_SERIES_INDEX was read in this run

  // ---- Files: input maps of the grid.
  guarded_file elevation_file;
  guarded_file watershed_mask_file;
  guarded_file dike_map_file;
  guarded_file lowspot_input_file;

  // ---- Scratch of the exchange-file writer, made only when it writes Ksat.
  array1d<double> scratch_map;        // one value per cell
};

}  // namespace nivra
