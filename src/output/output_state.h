// Part of the run's model_state: Output requests, location lists, output files and writers, analyzers, XY points.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "output/dataset_out.h"
#include "output/mass_con_writer.h"

namespace nivra {

struct output_state {
  int units = 0;                      // unit switch of the project
  double cfs_per_cms = 35.314667;     // cubic feet per cubic metre
  int float_grass_maps = 1;           // reported by the event summary
  int sat_source_map_on = 1;          // with exfiltration, write the saturated-source map

  // Output locations read by the map phase, and the discharge map array.
  int n_overland_depth_locs = 0;
  array1d<int> overland_depth_row, overland_depth_col;
  int n_overland_wse_locs = 0;
  array1d<int> overland_wse_row, overland_wse_col;
  int n_theta_loc = 0;
  array1d<int> cell_loc, cell_num;
  array2d<int> theta_loc_layers;      // [location][1..layers]
  array1d<double> discharge_cell;

  // Gridded and link/node series of the constituents: rows of three writers.
  jagged_array<dataset_out> map_series_array;
  jagged_array<mass_con_writer> channel_series_array;
  dataset_out snow_temp_dataset;      // "Snow_Temperature"

  // Run outputs.
  guarded_file summary_file;
  guarded_file outlet_hydro_file;
  guarded_file opt_output_file;
  guarded_file hyd_6digit_file;
  guarded_file overland_depths_file;
  guarded_file overland_wse_file;

  // Location lists and location outputs.
  guarded_file hyd_location_file;
  guarded_file out_hyd_location_file;
  guarded_file dep_dis_location_file;
  guarded_file out_dep_dis_location_file;
  guarded_file sed_hyd_location_file;
  guarded_file out_sed_hyd_location_file;
  guarded_file overland_depth_location_file;
  guarded_file overland_wse_location_file;

  // Map outputs.
  guarded_file depth_map_file;
  guarded_file discharge_map_file;
  guarded_file dis_rain_map_file;
  guarded_file gw_recharge_cum_map_file;
  guarded_file gw_recharge_inc_map_file;
  guarded_file inf_depth_map_file;
  guarded_file rate_of_infil_map_file;
  guarded_file surf_moist_map_file;
  guarded_file ov_con_map_file;
  guarded_file sat_source_map_file;
  guarded_file flood_grid_file;
};

}  // namespace nivra
