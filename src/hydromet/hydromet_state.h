// Part of the run's model_state: Rain (uniform, gages, radar), weather, evapotranspiration, snow, radiation, elevation bands.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct hydromet_state {
  // Uniform rain.
  int uniform_rain_step = 1;  // step counter of the uniform storm

  // Weather gages and elevation bands.
  int num_hmet_gages = 1;
  double elev_band_height = 100.0;
  int elev_band_mode = 1;

  // Frozen ground index.
  double cfgi_index = 83.0;
  double cfgi_k = 0.5;

  // Coefficients handed to the snow kernel.
  double snow_coef_a = 3.0;
  double snow_coef_b = 0.67;
  double snow_coef_c = 10.0;
  double snow_coef_d = 3.0;
  int snow_interval = 3600;  // seconds
  double snow_coef_e = 1.0;
  double snow_coef_f = 0.077;
  double snow_divisor = 80.0;
  double snow_offset = 27.0;

  // Counters that belong to the run, so that a run never depends on an
  // earlier run of the same process.
  int precip_event_call_count = 0;  // calls of the precipitation event reader
  int hmet_skip_done = 0;           // weather records before the start date skipped
  double snow_hour_accum = 0.0;     // hours since the last full snow hour

  // Precipitation and weather inputs, evapotranspiration and interception maps.
  guarded_file raingage_file;
  guarded_file hmet_input_file;
  guarded_file orog_met_file;
  guarded_file albedo_file;
  guarded_file veg_height_file;
  guarded_file trans_coeff_file;
  guarded_file canopy_resist_file;
  guarded_file wilting_point_file;
  guarded_file storage_capacity_file;
  guarded_file interception_coeff_file;
  guarded_file nwsrfs_elev_snow_file;

  // --- hydrometeorology read by the outputs (per cell)
  array1d<double> rain_depth;
  array1d<double> snow_swe;          // snow water equivalent
  array1d<double> snow_temperature;

  // Snow as the ADE overland routing sees it (lateral flow through the pack).
  int route_lat_snow = 0;
  array2d<double> snap_nivra_params;      // [cell][1..11]: 4 water-holding divisor, 11 permeability (cm2)
};

}  // namespace nivra
