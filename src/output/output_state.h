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

  // Output requests of the project.
  int depth_given = 0, discharge_given = 0, inf_depth_given = 0, surf_moist_given = 0;
  int rate_of_infil_given = 0, dis_rain_given = 0, gw_output_given = 0;
  int gw_recharge_cum_given = 0, gw_recharge_inc_given = 0, ov_con_map_given = 0;
  int chan_depth_given = 0, chan_discharge_given = 0, chan_stage_given = 0;
  int chan_velocity_given = 0, chan_sed_flux_given = 0;
  int chan_depth_given_2 = 0, chan_discharge_given_2 = 0, chan_sed_flux_given_2 = 0;
  int in_hyd_location_given = 0, in_gwflux_location_given = 0;
  int in_celldepdis_location_given = 0;
  int out_dep_location_given = 0, out_con_location_given = 0, out_mass_location_given = 0;
  int overland_depths_given = 0, overland_wse_given = 0;
  int flood_grid_given = 0, flood_stream_given = 0;
  int sig_outlet_hydro_given = 0, pav_hydro_given = 0, include_channel_depth = 0;
  int daily_output_given = 0, fyssi_given = 0, xybdyoutput_on = 0;
  int no_map_output = 0, dataset_output = 0, binary_dataset = 0;  // from the map type
  int flush_output = 0, flush_buffer = 0, suppress_printing = 0;
  int optimize_sed = 0, calib_comp_data = 0, calib_obj_func = 0;
  int zv_input_given = 0, zv_fluxes = 0;
  int xwindows = 0, xrain = 0, xgwrecharge = 0, xdepth = 0, xinfdep = 0, xsurf = 0;
  int xchan = 0, xbig = 0, x_freq = 0, xwin_width = 0, xwin_height = 0;
  // Channel location series and the outlet discharge handed to ZV.
  guarded_file out_dep_location_file;
  guarded_file out_con_location_file;
  guarded_file out_mass_location_file;
  guarded_file qin_output_file;
};

}  // namespace nivra
