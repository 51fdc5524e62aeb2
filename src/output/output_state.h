// A component of the run's record: Output requests, location lists, output files and writers, analyzers, XY points.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "output/dataset_out.h"
#include "output/mass_con_writer.h"
#include <memory>
#include <vector>
#include "output/analyzer.h"
#include "output/linknode.h"
#include "output/xy_points.h"
#include "output/zv_coupling.h"

namespace nivra {

// The kinds of per-time map a run writes (bits of output_state::maps_written).
namespace written_map {
inline constexpr int depth = 1 << 0;
inline constexpr int discharge = 1 << 1;
inline constexpr int rainfall = 1 << 2;
inline constexpr int infiltration_depth = 1 << 3;
inline constexpr int infiltration_rate = 1 << 4;
inline constexpr int surface_moisture = 1 << 5;
inline constexpr int snow_water_equivalent = 1 << 6;
inline constexpr int groundwater_head = 1 << 7;
inline constexpr int recharge_cumulative = 1 << 8;
inline constexpr int recharge_incremental = 1 << 9;
inline constexpr int contaminant = 1 << 10;
inline constexpr int sediment_flux = 1 << 11;
inline constexpr int net_sediment = 1 << 12;
inline constexpr int suspended_sediment = 1 << 13;
}  // namespace written_map

struct output_state {
  // ---- Parameters: the output requests and switches of the project and the
  // location lists, set at set-up and read-only afterwards.
  double cfs_per_cms = 35.314667;     // cubic feet per cubic metre
  int qout_cfs = 0;                   // discharges in cubic feet per second
  int float_grass_maps = 1;           // reported by the event summary
  int sat_source_map_on = 1;          // with exfiltration, write the saturated-source map
  // Time-series, map and link/node outputs: requests and switches.
  int sig_outlet_hydro_given = 0;
  int pav_hydro_given = 0;
  int in_hyd_location_given = 0;
  int in_gwflux_location_given = 0;
  int in_celldepdis_location_given = 0;
  int superlink_junc_flow_given = 0;
  int superlink_node_flow_given = 0;
  int out_dep_location_given = 0;
  int out_con_location_given = 0;
  int out_mass_location_given = 0;
  int in_theta_location_given = 0;
  int gw_well_level_given = 0;
  int overland_depths_given = 0;
  int overland_wse_given = 0;
  int lake_output_given = 0;
  int chan_depth_given = 0;
  int chan_discharge_given = 0;
  int chan_velocity_given = 0;
  int chan_stage_given = 0;
  int chan_sed_flux_given = 0;
  int chan_depth_given_2 = 0, chan_discharge_given_2 = 0;
  int chan_sed_flux_given_2 = 0;
  int include_channel_depth = 0;
  int flood_stream_given = 0;
  int pipe_flow_given = 0;
  int pipe_head_given = 0;
  int pipe_tile_given = 0;
  int depth_given = 0;
  int discharge_given = 0;
  int dis_rain_given = 0;
  int inf_depth_given = 0;
  int rate_of_infil_given = 0;
  int surf_moist_given = 0;
  int gw_output_given = 0;
  int gw_recharge_cum_given = 0;
  int gw_recharge_inc_given = 0;
  int flood_grid_given = 0;
  int ov_con_map_given = 0;
  int no_map_output = 0;            // MAP_TYPE 0: one ASCII grid per quantity and output time
  int quiet_map_files = 0;          // QUIET: no console line for each per-time map file
  int dataset_output = 0;           // MAP_TYPE 1, 2: dataset files
  int binary_dataset = 0;           // MAP_TYPE 2: binary dataset files
  int skip_index_maps = 0;
  int constituent_series_count = 0; // constituent series made by the set-up of the writers
  int daily_output_given = 0, xybdyoutput_on = 0;
  int xy_input_in_use = 0;          // XY boundary inputs were read
  int flush_output = 0, flush_buffer = 0, suppress_printing = 0;
  // Calibration, the coupled ZV model, the display and the analyzers.
  int optimize_given = 0, optimize_sed = 0;
  int calib_comp_data = 0, calib_obj_func = 0;
  int zv_input_given = 0, zv_fluxes = 0;
  int zv_discharge_out = 0;         // outlet discharge line for the ZV model
  int xwindows = 0, xrain = 0, xgwrecharge = 0, xdepth = 0, xinfdep = 0, xsurf = 0;
  int xchan = 0, xbig = 0, x_freq = 0, xwin_width = 0, xwin_height = 0;
  int analyzers_given = 0;
  // Location lists (1-based).
  int num_hyd_locations = 0;
  array1d<int> hlink, hnode;
  int num_gwflux_locations = 0;
  array1d<int> gwflink, gwfnode;
  int num_cell_locations = 0;
  array1d<int> gnumlocater;         // cell number of each location
  int num_sjunc_locations = 0;
  array1d<int> sjunc;
  int num_slink_locations = 0;
  array1d<int> sl_link, sl_node;
  int n_theta_loc = 0;
  array1d<int> cell_loc, cell_num;
  array2d<int> theta_loc_layers;    // [location][k]: soil layers of the location
  int n_overland_depth_locs = 0;
  array1d<int> overland_depth_row, overland_depth_col;
  int n_overland_wse_locs = 0;
  array1d<int> overland_wse_row, overland_wse_col;
  int n_sed_loc = 0;
  array1d<int> slink, snode;

  // ---- Per-run bookkeeping: the output counters of the run.
  int hydro_line_count = 0;
  int ts_chan_depth = 0;
  int ts_chan_discharge = 0;
  int ts_chan_velocity = 0;
  int ts_chan_stage = 0;
  int ts_stream_sed_flux = 0;
  int ts_pipe_flow = 0;
  int ts_pipe_head = 0;
  int ts_pipe_tile = 0;
  double lt_time_stamp = 0.0;       // time column of long-term series
  int map_number = 0;               // number of the last per-time map set
  int maps_written = 0;             // written_map bits of the maps written so far
  array1d<double> gw_recharge_prev; // cumulative recharge at the previous map time
  // Calibration outputs of an event: peak and volume at each hydrograph
  // (or sediment) location, entries 1..100.
  array1d<double> hyd_loc_peak_q, hyd_loc_volume;

  // ---- Files and the writers that own files.
  dataset_out snow_temp_dataset;    // "Snow_Temperature"
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
  // Text series files.
  guarded_file out_dep_location_file;
  guarded_file out_con_location_file;
  guarded_file out_mass_location_file;
  guarded_file qin_output_file;     // outlet discharge for the ZV model
  // Per-variable dataset files.
  guarded_file gw_head_map_file;
  guarded_file snow_swe_map_file;
  // Gridded and link/node series writers.
  jagged_array<dataset_out> map_series{"map_series"};
  jagged_array<mass_con_writer> channel_series{"channel_series"};

  // ---- The XY boundary inputs and output points, the ZV coupling and the
  // analyzers of the run (output/xy_points.h, output/zv_coupling.h,
  // output/analyzer.h), each owning its files.
  xy_input xy_in;
  xy_output xy_out;
  zv_data zv;
  std::vector<std::unique_ptr<analyzer>> analyzers;  // in the order of the analyzer file

  // ---- Scratch of the map and dataset writers (per cell, sized at set-up).
  array1d<double> depth_output;        // overland depth, lake depth on lake cells
  array1d<double> discharge_cell;      // overland discharge magnitude
  array1d<double> gw_recharge_inc_cell;
  std::vector<unsigned char> dataset_scratch;  // binary record buffer
};

}  // namespace nivra
