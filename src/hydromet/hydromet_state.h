// A component of the run's record: Rain (uniform, gages, radar), weather, evapotranspiration, snow, radiation, elevation bands.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "core/tokens.h"
#include "hydromet/frozen_ground.h"
#include "hydromet/radar.h"
#include "hydromet/snowpack_layers.h"
#include "hydromet/solar_geometry.h"
#include "hydromet/weather_files.h"
#include <string>
#include <vector>

namespace nivra {

// The snow cover a run starts with (INIT_SWE_DEPTH: a map or one depth).
namespace initial_swe {
inline constexpr int none = 0;
inline constexpr int from_map = 1;
inline constexpr int uniform_depth = 3;
}  // namespace initial_swe

struct hydromet_state {
  // ---- Parameters: set at set-up from the cards, the maps and the weather
  // file, read-only afterwards.
  // Precipitation source and the uniform storm.
  int precip_unif = 0, precip_file_given = 0, radar_rain = 0;
  int rain_thiessen = 0, rain_inv_distance = 0;
  int radar_mm = 0;
  double rain_intensity = 0.0;       // mm/h
  double rain_duration = 0.0;        // minutes
  int interception_coeff_given = 0;
  // Site of the watershed (basin centroid), degrees: latitude north
  // positive, -90..90 (the southern hemisphere negative), longitude
  // -180..180 (not used: the sun is placed by local solar time).
  double latitude = 0.0;
  double longitude = 0.0;
  int site_given = 0;  // both LATITUDE and LONGITUDE were given
  // Weather gages and elevation bands.
  int num_hmet_gages = 1;
  double elev_band_height = 100.0;
  int elev_band_mode = 1;
  double elev_max = 0.0, elev_min = 0.0;  // m, widened to the gage datum
  double hmet_elev_gage_value = 0.0;  // datum of the elevation bands, m
  int elev_band_count = 0;
  // The weather file of a long-term run: its kind, header, first and last
  // record, and whether the reader repaired it.
  int hmet_samson_given = 0, hmet_surfaways_given = 0;
  std::string hmet_header;           // header line of the weather file
  int hmet_start_year = 0, hmet_start_month = 0, hmet_start_day = 0, hmet_start_hour = 0;
  int hmet_end_year = 0, hmet_end_month = 0, hmet_end_day = 0, hmet_end_hour = 0;
  int hmet_repaired = 0;
  int weather_format = 0;            // a weather_format value, from the weather card
  int terrain_shading = 1;           // the shading of the cells is refreshed during the month
  // Long-term runs: weather files, evapotranspiration, frozen ground.
  double event_min_q = 0.0;
  int et_calc_penman = 0, et_calc_deardorff = 0;
  int hmet_guv_given = 0;
  int hmet_ascii_given = 0, hmet_ascii_pet_given = 0;
  int hmet_orog_gages_given = 0, orogvar_hmet = 0;
  int albedo_given = 0, vheight_given = 0, tcoeff_given = 0, canopy_given = 0;
  int wilting_point_given = 0;
  int seasonal_rs = 0, seasonal_rs_spring = 0, seasonal_rs_fall = 0;
  int seasonal_rs_summer_start = 0, seasonal_rs_summer_end = 0;
  int cfgi = 0, gtfsm = 0;
  // Frozen ground index.
  double cfgi_index = 83.0;
  double cfgi_k = 0.5;
  // Snow models and the weather gage of long-term runs.
  int snow_no_infiltrate = 0, nwsrfs_snow = 0, eb_snow = 0, nwsrfs_retention = 0;
  int snap_retention = 0, nwsrfs_elev_snow_given = 0;
  double nwsrfs_mf_max = 0.0, nwsrfs_mf_min = 0.0, nwsrfs_fr_use = 0.0, nwsrfs_scf = 0.0;
  int nwsrfs_mf_max_given = 0, nwsrfs_mf_min_given = 0, nwsrfs_fr_use_given = 0;
  int nwsrfs_scf_given = 0;
  double nwsrfs_tipm = 0.0, nwsrfs_nmf = 0.0, nwsrfs_plwhc = 0.0;
  int nwsrfs_tipm_given = 0, nwsrfs_nmf_given = 0, nwsrfs_plwhc_given = 0;
  double snow_temp_base = 0.0;
  int snow_temp_base_given = 0;
  double met_gage_elev = 0.0, temp_lapse_rate = 0.0;
  double hmet_xcoord_gage = 0.0, hmet_ycoord_gage = 0.0;
  int hmet_station_xy_given = 0;  // HMET_XCOORD_GAGE or HMET_YCOORD_GAGE given
  int yes_dalr_flag = 0;
  double yes_dalr_rate = 0.0;
  int init_swe_mode = 0;  // an initial_swe value
  double init_swe_depth = 0.0;
  int snow_swe_file_given = 0, snow_temp_given = 0;
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
  // Snow as the ADE overland routing sees it (lateral flow through the pack).
  int route_lat_snow = 0;
  array2d<double> snap_nivra_params;  // [cell][1..11]: 4 water-holding divisor, 11 permeability (cm2)
  // Interception, snow and radiation parameters per cell, made by the map
  // phase.
  array1d<double> icep_stor;  // interception storage capacity
  array1d<double> icep_coef;  // interception coefficient
  array1d<double> MF_Max, MF_Min, fr_use, scf, TIPM, NMF, PLWHC;
  int melt_wave_slots = 0;  // 6 with SNAP retention, else 1
  array1d<double> albedo_cell, veg, Kt, Rs;
  array1d<int> snow_no_infil_cell;
  array2d<double> Cell_X1_Y2_Z3_S4_A5;  // [cell][1..5]
  array2d<unsigned char> shade_by_hour;  // [cell][0..23]
  array1d<double> Cell_Aspect_Eff_Rad_Percent;
  array1d<int> LR_Num;
  array2d<double> GAGE_IDW;  // [gage][1..7]
  array2d<double> Dist_Cell2Gage;  // [cell][gage]

  // ---- State: the water on the canopy and in the snow pack.
  array1d<double> icep_dep;          // water held on the canopy per cell
  int snow_present = 0;
  array1d<double> snow_swe;          // snow water equivalent per cell
  array1d<double> snow_swe_scaled;   // ten times snow_swe
  array1d<double> snow_temperature;  // per cell
  array1d<double> snow_melt_to_ov;   // melt water per cell, m
  array2d<double> sn_stat;  // [cell][1..23]
  array3d<double> Melt_Waves;  // [cell][1..6][1..3]: melt water on its way (m), release rate (m/h)
  array1d<double> ATI_2, D_2;
  array1d<double> St_Event, H_Val, TSNOW_P, TSNOW_T, PSNOW_Total, Wq, Wi;
  array1d<double> albedo_w_snow;
  array1d<int> Hours_Since_Snow;
  array1d<double> snow_depth;        // depth of the pack per cell, m
  // The ground under the air: its surface temperature (K) carried from hour
  // to hour, and the frozen-ground index (degree-days).
  array1d<double> ground_temp;
  array1d<double> cfgi_cell;
  // The surface temperature the last hour's balance started from (K): a
  // run started from a soil hot-start begins with the balance of the hour
  // it starts in, from there (carried_ground_temp; empty when none is
  // carried: from the air's temperature).
  array1d<double> ground_temp_at_hour;
  array1d<double> carried_ground_temp;

  // ---- Per-run bookkeeping and step flags.
  // Counters that belong to the run, so that a run never depends on an
  // earlier run of the same process.
  int uniform_rain_step = 1;         // step counter of the uniform storm
  int precip_event_call_count = 0;   // calls of the precipitation event reader
  int precip_events_read = 0;        // EVENT cards of the precipitation file read so far
  card_line precip_line;             // the precipitation file's line being read
  int precip_line_no = 0;            // and its number
  int precip_periods_read = 0;       // period lines (NRPDS) of the event last read
  std::string weather_end_note;      // the warning of a run that its weather ended
  int hmet_skip_done = 0;            // weather records before the start date skipped
  double snow_hour_accum = 0.0;      // hours since the last full snow hour
  int et_calls = 0;                  // hours of evapotranspiration computed in the run
  int melt_pending = 0;              // some cell still has melt water to release
  int melt_period = 0;               // melt water is being released onto the cells
  int melt_steps_in_hour = 0;        // releases of melt water since the weather hour began
  int hmet_record_count = 0;         // weather records read
  int hmet_hour_year = 0, hmet_hour_month = 0, hmet_hour_day = 0, hmet_hour_hour = 0;
  // Precipitation of the current event as the time loop applies it: the
  // gages and their values per period, the radar files, the period clock
  // and the gage nearest to every cell.
  std::string event_title;
  int num_gages = 0;
  int num_rain_periods = 0;          // with uniform rain: the number of rain steps
  int rain_gages = 0, rain_rates = 0, rain_accum = 0;  // kind of data of the event
  array1d<double> gage_x, gage_y;    // gage eastings and northings, m
  jagged_array<double> gage_values{"gage_values"};  // [gage][period], mm/h once converted
  std::vector<std::string> radar_file_names;        // per period line, 1-based: line k's radar file
  radar_grid radar;                  // the radar grid of the event and its current rates
  array1d<int> nearest;              // per cell: number of the nearest gage
  int rain_period = 0;               // next period to start, 1-based
  double next_rain_period_time = 0.0, rain_period_start_time = 0.0;  // Julian days
  double rain_period_hours = 0.0;
  double rain_sum = 0.0;             // intensities summed since the event began
  int first_rain_pending = 0;        // no step of the event has had rain yet
  // The weather of the current step: the rain per cell, its intensity after
  // interception, the air temperature per cell (long-term runs), the gage
  // and elevation-band weather and the radiation of the hour.
  array1d<double> rain_depth;
  array1d<double> ri_eff;            // intensity after interception, mm/h
  array1d<double> cell_air_temp;     // per cell, deg C (long-term runs)
  array2d<double> Gage_XYZ_Lev_P_rh_c_w_t_qh;  // [gage][1..10]
  array3d<double> El_T_P_e_es_LR;  // [gage][band][1..6]
  array2d<double> Temp_Daily_Avg;  // [1..2][1..24]
  array1d<double> temper_gridded_sum;
  array1d<double> R_short, R_long;  // net shortwave and incoming longwave per cell, W/m2
  array1d<double> snow_air_temp;     // air temperature the snow models see, deg C
  // The weather record of the hour (station values, or the watershed means
  // of gridded weather) and each cell's weather: pressure mb, relative
  // humidity %, cloud cover tenths, wind m/s, temperature deg C (in
  // cell_air_temp), radiation W/m2 (hmet_global_rad and cell_global_rad
  // are the sky's radiation as diffuse_of_global leaves it: the diffuse
  // part under a measured beam, else the global radiation), precipitation
  // of gridded weather mm/h.
  double hmet_pressure = 0.0, hmet_rel_humidity = 0.0, hmet_cloud_cover = 0.0, hmet_wind_speed = 0.0;
  double hmet_temperature = 0.0, hmet_direct_rad = 0.0, hmet_global_rad = 0.0;
  array1d<double> cell_pressure, cell_rel_humidity, cell_cloud_cover, cell_wind_speed;
  array1d<double> cell_direct_rad, cell_global_rad, cell_precip;
  sun_position sun;                  // the sun of the weather hour
  int hmet_read_result = 0;          // 1 a record was read, -1 the weather data have ended
  int temper_hours = 0;              // hours summed in temper_gridded_sum
  double orog_lapse_rate = 0.0;      // lapse rate of the hour between the two gages, deg C per km
  // Evapotranspiration of the hour per cell: potential and actual rates
  // (cm/s), which the soil-moisture accounting, the Richards columns and the
  // lumped models take their evapotranspiration from, and the ground heat
  // flux (kW/m2).
  array1d<double> pet_rate, aet_rate, ground_heat_flux;
  // The air temperature the hour's evapotranspiration took, deg C: the
  // station's, or with each cell's own weather the mean of the cells'.
  double et_air_temp = 0.0;
  // Averages of the hourly output of long-term runs.
  double avg_inf_rate = 0.0, avg_down_flux = 0.0, avg_theta = 0.0, hourly_aet = 0.0, last_total_evap = 0.0;
  // Snow of the recent hours.
  array2d<double> SNOW_PRECIP_6HR;  // [cell][1..8]
  array1d<int> melt_occurred, Snow_Accumulated_Hr;

  // ---- Files: precipitation and weather inputs, evapotranspiration,
  // interception and snow maps.
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
  guarded_file init_swe_input_file;

  // ---- The weather file read and checked at set-up, served hour by hour,
  // with its memory of the last valid values.
  weather_reader hmet_reader;

  // ---- The last 24 hours of air temperature of every cell, for the
  // frozen-ground index.
  frost_history frost;

  // ---- Scratch of the snow step: the wetting fronts of the pack being
  // stepped (every pack restarts its fronts each hour).
  array1d<double> snow_step_work;
  wetting_front_table front_scratch;
};

}  // namespace nivra
