// Part of the run's model_state: Overland lakes and wetlands, channel lakes and their rating curves.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct lake_state {
  // Lake volumes read by the run and event summaries (m3).
  int chan_lakes = 0;
  int num_lakes = 0;
  array1d<double> lake_volume;       // per channel lake
  array1d<double> lake_elev;         // per channel lake
  array1d<int> lake_mask;            // per cell: lake number, 0 off lakes
  int lake_gw_on = 0;
  double init_lake_vol = 0.0, final_lake_vol = 0.0;
  double vol_precip_lakes = 0.0, lake_evap_vol = 0.0;
  double lake_vol_in_run = 0.0, lake_vol_out_run = 0.0;
  double total_gw_to_lake = 0.0, total_lake_to_gw = 0.0;
  double lake_vol_init = 0.0, lake_vol_final = 0.0;  // event
  double event_vol_precip_lake = 0.0, vol_overland_to_lake = 0.0, vol_overland_from_lake = 0.0;
  double gw_to_lake_vol = 0.0, lake_to_gw_vol = 0.0;
  double lake_point_source_vol = 0.0, lake_point_sink_vol = 0.0, event_lake_evap_vol = 0.0;
  int overland_lake_map_given = 0;
  double ov_lake_init_vol = 0.0, ov_lake_final_vol = 0.0;
  double ov_lake_inflow_vol = 0.0, ov_lake_outflow_vol = 0.0;
};

}  // namespace nivra
