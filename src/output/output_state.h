// Part of the run's model_state: Output requests, location lists, output files and writers, analyzers, XY points.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/project.h"

namespace nivra {

struct output_state {
  // The run summary, its balance results, and the files and switches of
  // the summaries and the end-of-run outputs.
  guarded_file summary_file;
  double overall_mass_balance_error = 0.0;  // percent
  double surface_mass_balance_error = 0.0;  // percent
  double gw_mass_balance_error = 0.0;       // percent
  double sm_mass_balance_error = 0.0;       // simple soil-moisture store, percent
  double total_initial_storage = 0.0, total_final_storage = 0.0;
  int optimize_given = 0, optimize_sed = 0;
  guarded_file opt_output_file;
  int qout_cfs = 0;
  double cfs_per_cms = 35.314667;
  file_name_text outlet_hydro;
  guarded_file outlet_hydro_file;
  int hydro_line_count = 0;          // lines written to the outlet hydrograph
  int in_hyd_location_given = 0;
  int num_hyd_locations = 0;
  array1d<int> hlink, hnode;         // per hydrograph location
  file_name_text out_hyd_location;
  guarded_file out_hyd_location_file;
  int in_gwflux_location_given = 0, in_celldepdis_location_given = 0;
  int pav_hydro_given = 0;
  file_name_text pav_hydro;
  int flood_grid_given = 0;
  file_name_text flood_grid;
  guarded_file flood_grid_file;
  array1d<double> max_flood_depth;   // per cell, m
  int no_map_output = 0;             // MAP_TYPE 0: one ASCII grid per output time
  int gridded_dataset_on = 0;        // MAP_TYPE 1, 2 or 4: gridded dataset files
  int gridded_dataset_binary = 0;    // MAP_TYPE 2: binary dataset files
  int depth_given = 0, discharge_given = 0, dis_rain_given = 0, gw_output_given = 0;
  int inf_depth_given = 0, rate_of_infil_given = 0, surf_moist_given = 0;
  int gw_recharge_cum_given = 0, gw_recharge_inc_given = 0;
  int chan_depth_given = 0, chan_discharge_given = 0, chan_sed_flux_given = 0;
  int chan_depth_given_2 = 0, chan_discharge_given_2 = 0;
  int net_sed_volume_given = 0, vol_sed_susp_given = 0, max_sed_flux_given = 0;
  guarded_file depth_map_file, discharge_map_file, gw_head_map_file, dis_rain_map_file;
  guarded_file gw_recharge_cum_map_file, gw_recharge_inc_map_file, inf_depth_map_file;
  guarded_file rate_of_infil_map_file, surf_moist_map_file, net_sed_volume_file;
  guarded_file max_sed_flux_file, vol_sed_susp_file, ov_con_map_file;
  int xy_input_in_use = 0;           // XY boundary inputs were read
  double xy_bound_gain = 0.0, xy_bound_loss = 0.0;
  double event_xy_bound_gain = 0.0, event_xy_bound_loss = 0.0;
  int zv_input_given = 0;            // the ZV discharge output is on
};

}  // namespace nivra
