// Part of the run's model_state: Saturated groundwater, tiles and wells, Sacramento and conceptual groundwater models.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/project.h"

namespace nivra {

// The Sacramento soil-moisture accounting record (depths in mm).
struct sac_record {
  double uztwm = 0.0, uzfwm = 0.0, uzk = 0.0, zperc = 0.0, rexp = 0.0;
  double lztwm = 0.0, lzfsm = 0.0, lzfpm = 0.0, lzsk = 0.0, lzpk = 0.0;
  double pfree = 0.0, saved = 0.0;
  double uztwc = 0.0, uzfwc = 0.0, lztwc = 0.0, lzfsc = 0.0, lzfpc = 0.0;
  double sac_residual = 0.0;         // the model's own accumulated residual
  double sac_runoff = 0.0;
  double pbase = 0.0;
};

struct groundwater_state {
  // Saturated groundwater and Sacramento figures read by the run and
  // event summaries (volumes in m3), and the groundwater end-of-run maps.
  int gw_simulation = 0;
  int water_table_given = 0;
  array1d<double> elevgw;            // water-table elevation per cell, m
  array1d<double> bottom_elev;       // aquifer bottom per cell, m
  array1d<double> gw_porosity;       // storage coefficient per cell
  array1d<int> yes_exfil;            // 1 where the cell may exfiltrate
  int any_exfil = 0;
  int sat_source_map_on = 1;
  double init_gw_vol = 0.0, final_gw_vol = 0.0;
  double total_gw_recharge = 0.0, total_gw_pumping = 0.0, total_gw_inputs = 0.0;
  double total_deep_leakage = 0.0, gw_sat_unsat_vol = 0.0, total_gw_boundary_flux = 0.0;
  double exfil_total = 0.0;          // run
  double exfil_total_start = 0.0;    // exfil_total at the event start
  double exfil_vol = 0.0;            // event
  double gw_recharge_vol = 0.0;      // event
  double gw_to_unsat_vol = 0.0;      // event
  int gw_to_tile = 0;
  file_name_text gw_hotstart_out_file_name;
  guarded_file gw_hotstart_out_file;
  guarded_file sat_source_map_file;

  int sacramento_given = 0;
  sac_record sac_params;
  sac_record sac_init_params;        // the stores as they were at the first step
  double sac_area = 0.0;             // m2
  double sac_rain_mm = 0.0, sac_pet_mm = 0.0, sac_aet_mm = 0.0;
  double sac_subsurface_runoff_mm = 0.0, sac_deep_recharge_mm = 0.0;
  double sac_init_storage_mm = 0.0, sac_final_storage_mm = 0.0;
  double sac_deep_recharge_vol = 0.0;  // the deep recharge as a volume
  double sac_chan_loss_vol = 0.0;    // the model's own channel-loss total
  double sac_baseflow_vol = 0.0, sac_et_vol = 0.0, sac_infil_vol = 0.0;  // event
  double sac_event_start_vol = 0.0, sac_event_end_vol = 0.0;
};

}  // namespace nivra
