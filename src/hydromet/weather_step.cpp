#include "hydromet/weather_step.h"

#include <cmath>
#include <cstdio>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/value_range.h"
#include "hydromet/elevation_bands.h"
#include "hydromet/evapotranspiration_step.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/solar_shading.h"
#include "inputs/grid_state.h"
#include "maps/grid_map.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "soil/soil_state.h"
#include "surface/channel_lakes.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The weather clocks wait for good once the weather data have ended during
// the last event; the end-of-run test knows this mark.
constexpr double weather_clock_parked = -10.0;

bool quiet_run(const model_state& ms) {
  return ms.project.quiet || ms.project.super_quiet || ms.project.optimizer_mode == 1;
}

int format_of(const hydromet_state& hm) {
  if (hm.hmet_ascii_given || hm.hmet_ascii_pet_given) return weather_format::gridded;
  if (hm.hmet_surfaways_given) return weather_format::surface_airways;
  if (hm.hmet_samson_given) return weather_format::samson;
  if (hm.hmet_guv_given) return weather_format::guv;
  return weather_format::none;
}

void set_date(const weather_hour& h, int& year, int& month, int& day, int& hour) {
  year = h.year;
  month = h.month;
  day = h.day;
  hour = h.hour;
}

void alloc_cells(array1d<double>& a, int n, const char* name) {
  if (a.size() != n) alloc_1d_double(a, n, name);
}

// The weather arrays of the cells, made with the weather file.
void alloc_weather_cells(model_state& ms) {
  hydromet_state& hm = ms.hydromet;
  const int n = ms.grid.ncells;
  alloc_cells(hm.cell_air_temp, n, "cell_air_temp");
  alloc_cells(hm.cell_pressure, n, "cell_pressure");
  alloc_cells(hm.cell_rel_humidity, n, "cell_rel_humidity");
  alloc_cells(hm.cell_cloud_cover, n, "cell_cloud_cover");
  alloc_cells(hm.cell_wind_speed, n, "cell_wind_speed");
  alloc_cells(hm.cell_direct_rad, n, "cell_direct_rad");
  alloc_cells(hm.cell_global_rad, n, "cell_global_rad");
  alloc_cells(hm.cell_precip, n, "cell_precip");
  alloc_cells(hm.snow_air_temp, n, "snow_air_temp");
}

// Reads and checks the weather file (and the orographic file) at set-up.
int load_weather(model_state& ms) {
  hydromet_state& hm = ms.hydromet;
  hm.weather_format = format_of(hm);
  if (hm.weather_format == weather_format::none) {
    std::printf("Error: a long-term run needs its hourly weather: name the weather file with HMET_GUV,\n"
                "HMET_SAMSON, HMET_SURFAWAYS, HMET_ASCII or HMET_ASCII_PET.\n");
    set_error(own_message_code);
    report_error();
    return -1;
  }
  alloc_weather_cells(ms);
  if (!hm.hmet_reader.load(hm.weather_format, hm.hmet_input_file, ms.project.hmet_file.view(), ms.grid,
                           quiet_run(ms), hm.hmet_header))
    return -1;
  if (hm.hmet_orog_gages_given && !hm.hmet_reader.load_orographic(hm.orog_met_file, ms.project.hmet_orog_gages.view()))
    return -1;
  set_date(hm.hmet_reader.first(), hm.hmet_start_year, hm.hmet_start_month, hm.hmet_start_day, hm.hmet_start_hour);
  set_date(hm.hmet_reader.last(), hm.hmet_end_year, hm.hmet_end_month, hm.hmet_end_day, hm.hmet_end_hour);
  return 1;
}

// The end of the weather data: during the last event the weather clocks
// wait for good and the event finishes; otherwise the run ends here (the
// event under way, if any, ends with it).
void end_of_weather(model_state& ms) {
  clock_state& c = ms.clock;
  if (c.event_active && c.event_index == c.num_events) {
    c.hmet_next_time = weather_clock_parked;
    c.hourly_next_time = weather_clock_parked;
    return;
  }
  c.keep_running = 0;
  const bool cut_short = c.event_active != 0;
  if (c.event_active) {
    c.event_active = 0;
    c.event_done = 1;
    c.event_finish_pending = 1;
  }
  std::printf("End of meteorology data reached.  NIVRA terminated\n");
  // The run ends before its events and its TOT_TIME: it says so where the
  // summary is read, not only in the line above.
  const hydromet_state& hm = ms.hydromet;
  char text[640];
  int n = std::snprintf(text, sizeof text, "Warning: the weather data of %s end at %d/%d/%d hour %d",
                        ms.project.hmet_file.c_str(), hm.hmet_end_year, hm.hmet_end_month, hm.hmet_end_day,
                        hm.hmet_end_hour);
  auto add = [&](const char* format, auto... values) {
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof text)
      n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), format, values...);
  };
  if (c.tot_time > 0) {
    const calendar end = calendar_date(julian_date(c.start_year, c.start_month, c.start_day, c.start_hour,
                                                   c.start_minute, 0.0) + c.tot_time / 1440.0);
    add(", before the TOT_TIME of %d minutes asked for (to %d/%d/%d %d:%02d)", c.tot_time, end.year, end.month,
        end.day, end.hour, end.minute);
  }
  add(": the run ends with its weather");
  if (cut_short) add(", event %d cut short", c.event_index);
  if (c.event_index < c.num_events) {
    if (c.event_index + 1 == c.num_events)
      add(", event %d of the precipitation events not simulated", c.num_events);
    else
      add(", events %d to %d of the precipitation events not simulated", c.event_index + 1, c.num_events);
  }
  add(".\n");
  ms.hydromet.weather_end_note = text;
  report_text(text);
}

void copy_station_to_cells(hydromet_state& hm, int n) {
  for (int c = 1; c <= n; ++c) {
    hm.cell_pressure[c] = hm.hmet_pressure;
    hm.cell_rel_humidity[c] = hm.hmet_rel_humidity;
    hm.cell_cloud_cover[c] = hm.hmet_cloud_cover;
    hm.cell_wind_speed[c] = hm.hmet_wind_speed;
    hm.cell_air_temp[c] = hm.hmet_temperature;
    hm.cell_direct_rad[c] = hm.hmet_direct_rad;
    hm.cell_global_rad[c] = hm.hmet_global_rad;
  }
}

// The record of the hour at the gage, and the lapse rate of the hour
// between the two orographic gages (HMET_LAPSE_RATE where the second gage
// has no temperature, counted as a repair).
void set_gage_record(hydromet_state& hm) {
  const auto g = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh[1];
  g[5] = hm.hmet_pressure;
  g[6] = hm.hmet_rel_humidity;
  g[7] = hm.hmet_cloud_cover;
  g[8] = hm.hmet_wind_speed;
  g[9] = hm.hmet_temperature;
  g[10] = specific_humidity(hm.hmet_pressure, hm.hmet_temperature, hm.hmet_rel_humidity);
  if (!hm.orogvar_hmet || !hm.hmet_reader.orographic()) return;
  const double t2 = hm.hmet_reader.second_gage_temperature();
  if (std::isnan(t2)) {
    hm.orog_lapse_rate = hm.temp_lapse_rate;
    hm.hmet_repaired += 1;
    return;
  }
  const double rise_km = (hm.hmet_reader.second_gage_elevation() - hm.hmet_reader.base_gage_elevation()) / 1000.0;
  hm.orog_lapse_rate = (t2 - hm.hmet_temperature) / rise_km;
}

// The first record a run uses must be that of the hour the run starts in.
bool record_fits_start(const model_state& ms) {
  const hydromet_state& hm = ms.hydromet;
  const weather_hour h{hm.hmet_hour_year, hm.hmet_hour_month, hm.hmet_hour_day, hm.hmet_hour_hour};
  const double gap = weather_julian(h) - ms.clock.model_time;
  if (gap > -ms.clock.time_tol && gap < 1.0 / 24.0 - ms.clock.time_tol) return true;
  std::printf("Error: the weather file %s begins at %d/%d/%d hour %d, after the run starts (START_DATE and\n"
              "START_TIME): every hour of the run needs its weather record.\n",
              ms.project.hmet_file.c_str(), h.year, h.month, h.day, h.hour);
  set_error(own_message_code);
  report_error();
  return false;
}

void advance_weather_clock(model_state& ms) {
  ms.clock.hmet_last_time = ms.clock.model_time;
  ms.clock.hmet_next_time = ms.clock.model_time + ms.clock.hmet_dt_days;
  ms.hydromet.hmet_record_count += 1;
}

}  // namespace

double specific_humidity(double P, double T, double RH) {
  const double e = 6.108 * std::exp(17.27 * T / (T + 237.3)) * RH / 100.0;
  return 0.622 * e / (P - 0.378 * e);
}

int read_hmet(model_state& ms) {
  hydromet_state& hm = ms.hydromet;
  if (hm.hmet_record_count <= 1) return load_weather(ms);
  weather_values v;
  gridded_cells cells{&hm.cell_cloud_cover, &hm.cell_precip,    &hm.cell_pressure,   &hm.cell_rel_humidity,
                      &hm.cell_air_temp,    &hm.cell_direct_rad, &hm.cell_global_rad, &hm.cell_wind_speed};
  const int r = hm.hmet_reader.next(v, hm.hmet_repaired, &cells);
  if (r != 1) return -1;
  set_date(v.date, hm.hmet_hour_year, hm.hmet_hour_month, hm.hmet_hour_day, hm.hmet_hour_hour);
  hm.hmet_pressure = v.pressure;
  hm.hmet_rel_humidity = v.rel_humidity;
  hm.hmet_cloud_cover = v.cloud_cover;
  hm.hmet_wind_speed = v.wind_speed;
  hm.hmet_temperature = v.temperature;
  hm.hmet_direct_rad = v.direct_rad;
  hm.hmet_global_rad = v.global_rad;
  return 1;
}

void elev_band_assign(model_state& ms) { elev_band_assign(ms.grid, ms.hydromet); }

void slope_normals(model_state& ms) {
  // The centred slopes are made here, for their one reader.
  compute_centred_slopes(ms);
  slope_normals(ms.grid.ncells, ms.grid.centred_slope_x, ms.grid.centred_slope_y, ms.hydromet.Cell_X1_Y2_Z3_S4_A5);
}

void compute_centred_slopes(model_state& ms) {
  const int n = ms.grid.ncells;
  if (ms.grid.centred_slope_x.size() != n) alloc_1d_double(ms.grid.centred_slope_x, n, "centred_slope_x");
  if (ms.grid.centred_slope_y.size() != n) alloc_1d_double(ms.grid.centred_slope_y, n, "centred_slope_y");
  const double dx = ms.grid.grid_size;
  const double* z = ms.grid.elevation.data();
  double* sx = ms.grid.centred_slope_x.data();
  double* sy = ms.grid.centred_slope_y.data();
  sx[0] = 0.0;
  sy[0] = 0.0;
  for (int i = 1; i <= n; ++i) {
    const int e = ms.grid.rightcon[i], w = ms.grid.leftcon[i];
    if (e && w)
      sx[i] = 0.5 * ((z[i] - z[e]) / dx + (z[w] - z[i]) / dx);
    else if (e)
      sx[i] = (z[i] - z[e]) / dx;
    else if (w)
      sx[i] = (z[w] - z[i]) / dx;
    else
      sx[i] = sx[i - 1];
    const int no = ms.grid.abovecon[i], so = ms.grid.belowcon[i];
    if (no && so)
      sy[i] = 0.5 * ((z[i] - z[no]) / dx + (z[so] - z[i]) / dx);
    else if (no)
      sy[i] = (z[i] - z[no]) / dx;
    else if (so)
      sy[i] = (z[so] - z[i]) / dx;
    else
      sy[i] = sy[i - 1];
  }
}

void update_hydromet(model_state& ms) {
  clock_state& clock = ms.clock;
  hydromet_state& hm = ms.hydromet;
  if (!clock.long_term || !is_due(ms, clock.hmet_next_time)) return;
  const bool first = hm.hmet_record_count == 2;
  int result;
  if (clock.start_date_given && !hm.hmet_skip_done) {
    // The records before the start of the run are passed over.
    hm.hmet_skip_done = 1;
    do {
      result = read_hmet(ms);
      if (process.error_block.stop) return;
    } while (result == 1 &&
             clock.model_time - weather_julian({hm.hmet_hour_year, hm.hmet_hour_month, hm.hmet_hour_day,
                                                hm.hmet_hour_hour}) > clock.time_tol);
  } else {
    result = read_hmet(ms);
    if (process.error_block.stop) return;
  }
  hm.hmet_read_result = result;
  if (result == -1) {
    end_of_weather(ms);
    return;
  }
  if (first && !record_fits_start(ms)) return;

  const bool gridded = hm.weather_format == weather_format::gridded;
  if (!gridded) copy_station_to_cells(hm, ms.grid.ncells);
  set_gage_record(hm);
  hm.sun = sun_at(hm.latitude, hm.hmet_hour_year, hm.hmet_hour_month, hm.hmet_hour_day, hm.hmet_hour_hour);
  if (first && hm.elev_band_mode == 1) {
    for (int c = 1; c <= ms.grid.ncells; ++c)
      hm.albedo_w_snow[c] = hm.snow_swe[c] > 1e-16 ? fresh_snow_albedo : hm.albedo_cell[c];
    solar_daily_shading(hm.shade_by_hour, shading_terrain_of(ms.grid), hm.latitude, hm.sun.day_of_year);
  }
  // The station's air is carried to every cell by the elevation bands;
  // gridded weather gave each cell its own. Either way the cells' albedo and
  // radiation of the hour follow, for the evapotranspiration and the snow.
  if (gridded)
    gridded_cell_radiation(ms.grid, ms.overland.ov_depth, hm);
  else if (!elev_band_snow(ms.grid, ms.overland.ov_depth, hm))
    return;
  advance_weather_clock(ms);
}

void longterm_hourly_output(model_state& ms) {
  clock_state& clock = ms.clock;
  if (!clock.long_term || !is_due(ms, clock.hourly_next_time)) return;
  hydromet_state& hm = ms.hydromet;
  const soil_state& soil = ms.soil;
  // The hourly line is the long-term run's progress line: QUIET leaves it
  // out as it does the step's.
  const bool console = !quiet_run(ms);
  // The hour's evapotranspiration and frozen ground come first, and the
  // evaporation from the channel lakes.
  const double pet = evapotranspiration_hour(ms);
  channel_lake_evaporation_hour(ms);
  if (soil.inf_richards || soil.sm_accounting) {
    int n = 0;
    double inf = 0.0, theta = 0.0, top = 0.0, bottom = 0.0, frost = 0.0, down = 0.0;
    int tops = 0, bottoms = 0;
    // Layered soils: each cell's top zone is the first layer of its soil
    // class.
    const bool layered = soil.inf_layered_soil && !soil.soiltype.empty() && !soil.multilayer_soil_table.empty();
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      const double top_depth =
          layered ? soil.multilayer_soil_table[soil.soiltype[c]].thickness(1) : soil.top_layer_depth;
      if (overland_lake_of(ms.lake, c) || under_channel_lake(ms.lake, c)) continue;
      ++n;
      if (!soil.inf_rate.empty()) inf += soil.inf_rate[c];
      if (!soil.surface_moisture.empty()) theta += soil.surface_moisture[c];
      if (!soil.unsat_down_flux.empty()) down += soil.unsat_down_flux[c];
      if (!hm.cfgi_cell.empty()) frost += hm.cfgi_cell[c];
      if (!soil.sm_accounting || soil.sm_depth.empty()) continue;
      const double depth = soil.sm_depth[c];
      if (depth > top_depth && top_depth > 0.0) {
        top += soil.sm_water_top[c] / top_depth;
        bottom += soil.sm_water_bottom[c] / (depth - top_depth);
        ++tops;
        ++bottoms;
      } else if (depth > 1e-16) {
        top += soil.sm_water_top[c] / depth;
        ++tops;
      }
    }
    // Averages over no cell (every cell under a lake) are 0.
    hm.avg_inf_rate = n > 0 ? inf / n : 0.0;
    hm.avg_theta = n > 0 ? theta / n : 0.0;
    // The depth drained below the soil and not yet taken by the water table
    // (cm), over the cells.
    hm.avg_down_flux = n > 0 ? down / n : 0.0;
    const double evap = ms.ledger.run_total(water_flux::evaporation);
    const double area = ms.grid.grid_size * ms.grid.grid_size;
    hm.hourly_aet = n > 0 ? (evap - hm.last_total_evap) / (area * n) * 100.0 : 0.0;
    hm.last_total_evap = evap;
    if (console)
      std::printf("%d/%d/%d %2d:00 PET cm/h %6.4lf AET cm/h %6.4lf Infil cm/h %6.4lf Theta %5.2lf \n", clock.cur_year,
                  clock.cur_month, clock.cur_day, clock.cur_hour, pet, hm.hourly_aet, hm.avg_inf_rate, hm.avg_theta);
    if (std::FILE* f = ms.soil.evap_out_file.fp) {
      std::fprintf(f, "%d/%d/%d  %2d:00 %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf %12.6lf", clock.cur_year,
                   clock.cur_month, clock.cur_day, clock.cur_hour, hm.avg_theta, pet, hm.hourly_aet, hm.avg_inf_rate,
                   hm.avg_down_flux, n > 0 ? frost / n : 0.0, hm.et_air_temp,
                   hm.ground_temp.empty() ? 0.0 : hm.ground_temp[1]);
      if (soil.sm_accounting)
        std::fprintf(f, "%12.6lf   %12.6lf", tops > 0 ? top / tops : 999.99, bottoms > 0 ? bottom / bottoms : 999.99);
      std::fprintf(f, "\n");
    }
  } else if (console) {
    std::printf("longterm %d/%d/%d  %2d:00 Avg. Soil Moisture: %7.2lf  \n", clock.cur_year, clock.cur_month,
                clock.cur_day, clock.cur_hour, hm.avg_theta);
    if (ms.output.flush_output && ++clock.flush_count >= ms.output.flush_buffer) {
      std::fflush(stdout);
      clock.flush_count = 0;
    }
  }
  clock.hourly_last_time = clock.model_time;
  clock.hourly_next_time = clock.model_time + clock.hourly_dt_days;
}

}  // namespace nivra
