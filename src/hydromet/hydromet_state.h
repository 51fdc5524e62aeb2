// Part of the run's model_state: Rain (uniform, gages, radar), weather, evapotranspiration, snow, radiation, elevation bands.
#pragma once

#include <string>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct hydromet_state {
  // Precipitation, weather and snow figures read by the run and event
  // summaries (volumes in m3).
  double total_precip = 0.0, total_interception = 0.0;
  double total_interception_start = 0.0;  // total_interception at the event start
  double vol_rainfall = 0.0;         // net rainfall of the event
  int precip_unif = 0, precip_file_given = 0, radar_rain = 0;
  int rain_thiessen = 0, rain_inv_distance = 0;
  double rain_intensity = 0.0;       // mm/h
  double rain_duration = 0.0;        // minutes
  int interception_coeff_given = 0;
  int hmet_samson_given = 0, hmet_surfaways_given = 0;
  std::string hmet_header;           // header line of the weather file
  int hmet_start_year = 0, hmet_start_month = 0, hmet_start_day = 0, hmet_start_hour = 0;
  int hmet_end_year = 0, hmet_end_month = 0, hmet_end_day = 0, hmet_end_hour = 0;
  int hmet_repaired = 0;
  int et_calc_penman = 0, et_calc_deardorff = 0;
  int snow_present = 0;
  array1d<double> snow_swe;          // per cell, m
  array1d<double> snow_melt_to_ov;   // melt water per cell, m
  double run_final_snow_vol = 0.0, run_final_melt_vol = 0.0;
  double init_snow_vol = 0.0, melt_vol = 0.0, final_snow_vol = 0.0, final_melt_vol = 0.0;  // event
};

}  // namespace nivra
