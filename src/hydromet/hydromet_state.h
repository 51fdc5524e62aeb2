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

  // Elevation range and bands, set by the map phase.
  double elev_max = 0.0, elev_min = 0.0;  // m, widened to the gage datum
  double hmet_elev_gage_value = 0.0;      // datum of the elevation bands, m
  int elev_band_count = 0;

  // Orographic weather constants.
  double hmet_xcoord_gage = 0.0, hmet_ycoord_gage = 0.0;
  double met_gage_elev = 0.0;             // m
  double temp_lapse_rate = 0.0;

  // Rain, interception and snow per cell, made by the map phase.
  array1d<double> rain_depth;             // mm/h
  array1d<double> icep_stor;              // interception storage capacity
  array1d<double> icep_coef;              // interception coefficient
  array1d<double> icep_dep;
  array1d<double> ri_eff;                 // intensity after interception, mm/h
  array1d<double> snow_swe;               // snow water equivalent, m
  array1d<double> snow_swe_scaled;        // ten times snow_swe
  int snow_present = 0;
  double snow_temp_base = 0.0;
  array1d<double> MF_Max, MF_Min, fr_use, scf, TIPM, NMF, fua, PLWHC;
  array1d<double> snow_step_work;

  // Long-term runs: weather, snow and radiation arrays made by the map phase.
  int yes_dalr_flag = 0;
  double yes_dalr_rate = 0.0;
  int melt_wave_slots = 0;                // 6 with SNAP retention, else 1
  array1d<double> albedo_cell, veg, Kt, Rs;
  array3d<double> Melt_Waves;             // [cell][1..6][1..3]
  array1d<int> snow_no_infil_cell;
  array2d<double> sn_stat;                // [cell][1..23]
  array3d<double> wave;                   // [cell][1..51][1..5]
  array2d<double> snap_nivra_params;      // [cell][1..11]
  array2d<double> Temp_Daily_Avg;         // [1..2][1..24]
  array1d<double> ATI_2, D_2;
  array2d<double> SNOW_PRECIP_6HR;        // [cell][1..8]
  array1d<double> St_Event, H_Val, snow_melt_to_ov, TSNOW_P, TSNOW_T, PSNOW_Total, Wq, Wi;
  array2d<double> Gage_XYZ_Lev_P_rh_c_w_t_qh;  // [gage][1..10]
  array2d<double> GAGE_IDW;               // [gage][1..7]
  array2d<double> Dist_Cell2Gage;         // [cell][gage]
  array3d<double> El_T_P_e_es_LR;         // [gage][band][1..6]
  array2d<double> Cell_X1_Y2_Z3_S4_A5;    // [cell][1..5]
  array2d<unsigned char> shade_by_hour;   // [cell][0..23]
  array1d<double> R_short, R_long, Cell_Aspect_Eff_Rad_Percent;
  array1d<int> LR_Num, Hours_Since_Snow, melt_occurred, Snow_Accumulated_Hr;
  array1d<double> albedo_w_snow, temper_gridded_sum;

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
  guarded_file init_swe_input_file;       // initial snow water equivalent map
};

}  // namespace nivra
