// Part of the run's model_state: Infiltration and soil moisture: Green-Ampt and layered soil arrays, Richards columns, the soil-class table.
#pragma once

#include <array>
#include <vector>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/project.h"

namespace nivra {

struct soil_state {
  // Soil water read by the run and event summaries (volumes in m3).
  // One soil class: two leading words and three blocks of 16 values; the
  // 23rd value is the depth of the top soil layer, cm.
  int green_ampt = 0, inf_redist = 0, inf_layered_soil = 0, inf_richards = 0;
  int sm_accounting = 0;
  array1d<double> sm_water;          // cm of water per cell (simple soil store)
  array1d<double> surface_moisture;  // per cell
  array1d<double> direct_evap_cell;  // cm evaporated from ponded water per cell
  array1d<int> numcells;             // Richards layers per cell
  array2d<double> DZ;                // [cell][layer] layer thickness, cm
  array2d<double> THETA;             // [cell][layer] water content
  array1d<double> gw_inf_redist_theta;  // water content between the accounting depth and the water table
  std::vector<std::array<double, 50>> multilayer_soil_table;  // per soil class
  double soil_moist_depth = 40.0;    // accounting depth, cm
  double run_init_soil_vol = 0.0;
  double final_soil_vol = 0.0;
  double simple_soil_init_vol = 0.0, simple_soil_final_vol = 0.0;
  double total_infiltration = 0.0;
  double total_evaporation = 0.0;
  double total_direct_evap = 0.0;
  double sm_et_other_vol = 0.0;
  double total_unsat_down_flux = 0.0;
  double vol_infiltrated = 0.0;      // event
  double direct_evap_vol = 0.0;      // event
  double total_evap_vol = 0.0;       // long-term Richards evaporation
  double init_soil_water = 0.0;      // basin-average relative saturation at the event start
  double final_soil_moisture = 0.0;  // the same at the event end
  double init_soil_vol = 0.0, net_infil_vol = 0.0, richards_mass_error = 0.0;
  int n_cells_start_event = 0, n_cells_end_event = 0;
  int write_sm_hotstart_given = 0;
  file_name_text write_sm_hotstart;
  guarded_file write_sm_hotstart_file;
  guarded_file read_sm_hotstart_file;
  int moisture_given = 0;
};

}  // namespace nivra
