// The model clock and the precipitation of the time loop: the clock
// advance with its calendar, the reading of the next precipitation event
// when it is due, the intensity of every cell for each rain period (or the
// uniform storm), and the rain that every overland step puts on the cells.
#include <cmath>
#include <cstdio>

#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "hydromet/precipitation.h"
#include "model/model_state.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "surface/blockage.h"

namespace nivra {

namespace {

double julian_of(const date_entry& d) { return julian_date(d.year, d.month, d.day, d.hour, d.minute, 0.0); }

// Length in seconds of precipitation period p, from the day, hour and
// minute differences of its two dates (a negative day difference is a
// change of month).
double period_seconds(const date_entry& a, const date_entry& b) {
  const int dd = b.day - a.day, dh = b.hour - a.hour, dm = b.minute - a.minute;
  if (dd >= 0) return (24.0 * dd + dh) * 3600.0 + 60.0 * dm;
  return (month_length(a.year, a.month) - a.day + b.day) * 86400.0 - 3600.0 * a.hour - 60.0 * a.minute +
         3600.0 * b.hour + 60.0 * b.minute;
}

// Gage depths or cumulative depths become intensities (mm/h) per period;
// false (reported) at a negative value.
bool convert_to_intensities(model_state& ms) {
  const bool radar = ms.radar_rain == 1;
  const bool depths = ms.rain_gages || ms.rain_accum;
  if (!radar && !depths) return true;
  array1d<date_entry>& dates = ms.dates();
  for (int p = 1; p <= ms.num_rain_periods - 1; ++p) {
    for (int g = 1; g <= ms.num_gages; ++g) {
      double* v = ms.gage_values.row(g);
      if (!v || p + 1 > ms.gage_values.row_length()) continue;
      if (radar) {
        v[p] = v[p + 1];
      } else {
        const double seconds = period_seconds(dates[p], dates[p + 1]);
        if (seconds > 86400.0) std::printf("WARNING: you have a long delta t in your precip file\n");
        ms.rain_period_hours = seconds / 3600.0;
        v[p] = ms.rain_gages ? v[p + 1] / ms.rain_period_hours : (v[p + 1] - v[p]) / ms.rain_period_hours;
      }
      if (v[p] < -1e-16) {
        std::printf("You have a negative precip value for gage %d, rain period %d\n", g, p);
        std::printf("Check your rainfall inputs for event %d \n", ms.event_index + 1);
        set_error(own_message_code);
        report_error();
        return false;
      }
    }
  }
  return true;
}

void clear_rain(model_state& ms) {
  ms.rain_depth.fill(0.0);
  if (ms.interception_coeff_given) ms.ri_eff.fill(0.0);
}

}  // namespace

void advance_clock(model_state& ms) {
  if (ms.clock_call_count != 0) {
    ms.step_count += 1;
    ms.event_step += 1;
    ms.model_time = ms.event_start_time + ms.step_count * ms.dt_days;
    ms.elapsed_min = ms.step_count * ms.dt / 60.0;
  }
  ms.clock_call_count += 1;
  double seconds = 0.0;
  calendar_date(ms.model_time, ms.cur_year, ms.cur_month, ms.cur_day, ms.cur_hour, ms.cur_minute, seconds);
  ms.cur_second_f = seconds;
  ms.cur_second = std::trunc(seconds);
  ms.day_of_year = ms.cur_month <= 1 ? ms.cur_day : day_of_year_of(ms.cur_year, ms.cur_month, ms.cur_day);
}

void read_precip_event(model_state& ms) {
  if (ms.precip_event_state != 0) return;
  if (!ms.zem_event_num_given && !is_due(ms, next_event_start(ms))) return;
  if (ms.event_index >= ms.num_events) return;
  check_analyzers(ms, 2);
  // A long-term event still open when the next one begins is closed first.
  if (ms.long_term && !ms.start_date_given && ms.events_finished < ms.event_index) {
    ms.event_finish_pending = 1;
    finish_event(ms);
  }
  ms.rain_on = 1;
  ms.event_active = 1;
  if (ms.precip_file_given != 1) return;

  const bool console = ms.optimizer_mode != 1;
  std::FILE* summary = ms.summary_file.fp;
  if (ms.zem_event_num_given) {
    if (!ms.super_quiet && console)
      std::printf("Searching through precip input file for ZEM event %d\n", ms.zem_event_num);
    ms.event_index = ms.zem_event_num;
  } else {
    if (ms.long_term) {
      if (console)
        std::printf("reading precip. data for event %3d from file: %s\n", ms.event_index + 1,
                    ms.precip_file.c_str());
      if (summary)
        std::fprintf(summary, "---reading precip. data for event %3d from file: %s\n", ms.event_index + 1,
                     ms.precip_file.c_str());
    } else {
      if (console) std::printf("reading precip data from file: %s\n", ms.precip_file.c_str());
      if (summary) std::fprintf(summary, "reading precip data from file: %s\n", ms.precip_file.c_str());
    }
    if (summary) {
      std::fprintf(summary, "\n\n");
      std::fflush(summary);
    }
  }

  // Events before the start date are read through at the first reading.
  if (!ms.zem_event_num_given) ms.zem_event_num = 1;
  if (ms.start_date_given && ms.precip_event_call_count == 0) ms.zem_event_num = ms.event_index + 1;
  ms.precip_event_call_count += 1;
  int result = 0;
  for (int i = 0; i < ms.zem_event_num; ++i) {
    result = read_precip_file(ms);
    if (process.error_block.stop) return;
    if (result == 1 && ms.rain_rates) ms.num_rain_periods += 1;
  }
  ms.uniform_rain_step = 1;

  if (result == -1) {
    std::printf("Unexpected end of file in rain gauge data file.\n");
    std::printf("Check the format of the data file.\nProgram terminated.");
    set_error(own_message_code);
    report_error();
    return;
  }
  if (result == 0) {
    ms.precip_event_state = 2;
    ms.event_start_year = 1000;
    if (ms.event_index == 0) {
      std::printf("\n**********************************\n");
      std::printf("Data was not correctly read from the rainfall input file.\n");
      std::printf("Verify the file format.\n");
      std::printf("***********************************\n");
    }
    if (ms.long_term && !ms.quiet) {
      std::printf("Precip data for event %d was not found in file: %s\n", ms.event_index + 1,
                  ms.precip_file.c_str());
      std::printf("NIVRA assumes this means all events have been simulated.\n");
      std::printf("Program terminating normally.\n");
    }
    return;
  }

  const date_entry& first = ms.dates()[1];
  ms.event_start_year = first.year;
  ms.event_start_month = first.month;
  ms.event_start_day = first.day;
  ms.event_start_hour = first.hour;
  ms.event_start_minute = first.minute;
  ms.event_start_julian = ms.model_time;
  ms.event_first_date_jd = ms.next_rain_period_time = julian_of(first);
  ms.event_index += 1;
  ms.precip_event_state = 1;
  if (ms.radar_rain == 2 && ms.radar_file_names.size() > 1) {
    read_radar_header(ms, ms.radar_file_names[1]);
    if (process.error_block.stop) return;
  }
  if (ms.zem_event_num_given) ms.event_index = ms.zem_event_num;

  if (ms.long_term && !check_gage_hmet_dates(ms)) {
    if (process.error_block.stop) return;
    std::printf("Error: NIVRA failed on date check for precip event %d\n", ms.event_index + 1);
    set_error(own_message_code);
    report_error();
    return;
  }
  if (!convert_to_intensities(ms)) return;
  if (ms.num_gages >= 2 && ms.rain_thiessen == 1) {
    if (ms.nearest.empty()) alloc_1d_int(ms.nearest, ms.ncells, "nearest");
    find_neighbor(ms);
  }
}

void update_rainfall(model_state& ms) {
  const int n = ms.ncells;
  if (ms.precip_file_given && is_due(ms, ms.next_rain_period_time) && ms.rain_period < ms.num_rain_periods) {
    if (ms.radar_rain == 2) {
      const std::string name = ms.rain_period < static_cast<int>(ms.radar_file_names.size())
                                   ? ms.radar_file_names[static_cast<std::size_t>(ms.rain_period)]
                                   : std::string();
      std::printf("Reading radar precip file %s.\n", name.c_str());
      read_radar_precip(ms, name);
      if (process.error_block.stop) return;
      report_peak_rainfall(ms);
      if (process.error_block.stop) return;
    } else {
      if (ms.rain_inv_distance == 1) gage_to_grid_precip(ms, ms.rain_period);
      if (process.error_block.stop) return;
      if (ms.rain_thiessen == 1)
        gather_from_index_table(ms.rain_period, ms.num_gages == 1 ? 1 : 0, ms.nearest.data(),
                                ms.gage_values, ms.rain_depth.data(), n);
    }
    ms.rain_period += 1;
    ms.rain_period_start_time = ms.model_time;
    ms.next_rain_period_time = julian_of(ms.dates()[ms.rain_period]);
    if (ms.rain_period >= ms.num_rain_periods) {
      ms.rain_on = 0;
      if (ms.precip_event_state == 1) ms.precip_event_state = 0;
      else if (ms.precip_event_state == 2) ms.precip_event_state = 3;
      clear_rain(ms);
    }
  }

  if (ms.precip_unif && ms.precip_event_state == 1) {
    if (ms.step_count == 0) {
      ms.event_active = 1;
      ms.rain_on = 1;
      ms.rain_depth.fill(ms.rain_intensity);
      ms.rain_depth[0] = 0.0;
    }
    // The storm falls on exactly num_rain_periods overland steps.
    if (ms.uniform_rain_step == ms.num_rain_periods + 1) {
      clear_rain(ms);
      ms.event_active = 0;
      ms.rain_on = 0;
      ms.precip_event_state = 3;
    }
  }

  const double* rain = ms.rain_depth.data();
  for (int c = 1; c <= n; ++c) {
    if (rain[c] < -1e-16) {
      std::printf("A negative rainfall has been detected for overland cell %d, check your rainfall input "
                  "for negative values\n",
                  c);
      set_error(own_message_code);
      report_error();
      return;
    }
  }
}

void apply_rainfall(model_state& ms) {
  if (!is_due(ms, ms.ov_next_time) || ms.precip_event_state != 1) return;
  const double dt = seconds_since(ms, ms.ov_last_time);
  if (ms.precip_unif) ms.uniform_rain_step += 1;
  if (ms.interception_coeff_given) {
    canopy_interception(ms, dt);
    if (process.error_block.stop) return;
  }
  const bool olakes = ms.overland_lake_map_given && !ms.oland_lake_new.empty();
  if (olakes) ms.olake_precip_vol.fill(0.0);

  const int n = ms.ncells;
  const double area = ms.grid_size * ms.grid_size;
  const double* rain = ms.rain_depth.data();
  const double* intensity = ms.interception_coeff_given ? ms.ri_eff.data() : rain;
  double* h = ms.ov_depth.data();
  const bool chan_lakes = ms.chan_lakes && !ms.lake_mask.empty();
  const bool boundary = ms.ov_boundary && !ms.boundary_type.empty();
  const double* blocked = blocked_cells(ms);
  const bool long_term = ms.long_term != 0;
  const bool general = chan_lakes || olakes || boundary || blocked != nullptr || long_term;
  // Depth of rain of the step per mm/h of intensity.
  const double depth_per_intensity = dt / 3.6e6;

  double rain_volume = 0.0, rain_sum = 0.0;
  for (int c = 1; c <= n; ++c) {
    if (general) {
      const double V = rain[c] * depth_per_intensity * area;
      if (chan_lakes && ms.lake_mask[c] > 0) {
        // Rain on a channel lake goes into the lake.
        const int k = ms.lake_mask[c];
        ms.lake_volume[k] += V;
        ms.lake_vol_in_run += V;
        ms.vol_precip_lakes += V;
        ms.event_vol_precip_lake += V;
        ms.total_precip += V;
        if (ms.chan_con_trans && k <= ms.lake_precip_in.size()) ms.lake_precip_in[k] += V;
        continue;
      }
      if (olakes && ms.oland_lake_new[c] > 0) {
        const int k = ms.oland_lake_new[c];
        if (k <= ms.olake_precip_vol.size()) ms.olake_precip_vol[k] += V;
        ms.ov_lake_inflow_vol += V;
        ms.olake_update = 1;
      }
    }
    const double I = intensity[c];
    const double d = I * depth_per_intensity;
    rain_sum += I;
    if (general) {
      const double T = long_term && c <= ms.cell_air_temp.size() ? ms.cell_air_temp[c] : 1000.0;
      if (boundary) {
        const int t = ms.boundary_type[c];
        if (t == 2 || t == 3 || t == 9) {
          // Rain on a fixed-level cell leaves the grid through the boundary.
          rain_volume += d;
          ms.head_bound_loss_vol += area * d;
          ms.rain_reset[c] = 0;
          continue;
        }
      }
      if (long_term && ms.snow_swe[c] > 1e-16) ms.H_Val[c] += ms.scf[c] * d * 1000.0;
      if (long_term && ms.snow_temp_base >= T - 1e-16) {
        // It snows.
        rain_volume += d;
        ms.snow_present = 1;
        ms.snow_swe[c] += ms.scf[c] * d;
        if (d > 1e-16) ms.Snow_Accumulated_Hr[c] = 1;
      } else {
        // Rain reaches the open part of a blocked cell only, where it raises
        // the water by its full depth; what falls on the blocked part never
        // reaches the ground and is not booked. Snow water counts over the
        // whole cell, so rain on snow adds the open part's share.
        const double open = open_share(blocked, c);
        rain_volume += d * open;
        if (long_term && ms.snow_swe[c] > 1e-16)
          ms.snow_swe[c] += ms.scf[c] * d * open;
        else
          h[c] += d;
      }
    } else {
      rain_volume += d;
      h[c] += d;
    }
    if (std::isnan(h[c])) {
      std::printf("A non-real number for water depth has been detected for overland cell %d after "
                  "applying rainfall\n",
                  c);
      set_error(own_message_code);
      report_error();
      return;
    }
    if (h[c] < -1e-16) {
      std::printf("A negative depth has been detected for overland cell %d after applying rainfall, "
                  "check your rainfall input for negative values\n",
                  c);
      set_error(own_message_code);
      report_error();
      return;
    }
    ms.rain_reset[c] = 0;
  }
  ms.vol_rainfall += rain_volume * area;
  ms.total_precip += rain_volume * area;
  ms.rain_sum += rain_sum;
  if (ms.rain_sum > 0.0) {
    ms.rain_steps += 1;
    if (ms.first_rain_pending == 1) {
      ms.first_rain_pending = 0;
      ms.rain_start_min = ms.elapsed_min;
    }
  }
}

}  // namespace nivra
