// The model clock and the precipitation of the time loop: the clock
// advance with its calendar, the reading of the next precipitation event
// when it is due, and the intensity of every cell for each rain period (or
// the uniform storm).
#include <array>
#include <cmath>
#include <cstdio>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "hydromet/gage_rain.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/interception.h"
#include "hydromet/precip_file.h"
#include "hydromet/radar.h"
#include "hydromet/rainfall.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/analyzer.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "run/steps.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The overland step that ends at the model time began one overland step
// before it; it takes the rain of the period that holds its start. So a
// period's rain falls on exactly the overland steps inside it, and a period
// that begins inside a step takes effect with the next.
bool period_started(const model_state& ms, double t) {
  return ms.clock.model_time - ms.clock.ov_dt_days > t - ms.clock.time_tol;
}

gage_positions gages_of(const hydromet_state& hm) {
  return gage_positions{hm.num_gages, hm.gage_x.data(), hm.gage_y.data()};
}

// The rain of period p of the event on every cell: from the period's radar
// file, or from the gages. False after the report.
bool distribute_period(model_state& ms, int p) {
  hydromet_state& hm = ms.hydromet;
  double* rates = hm.rain_depth.data();
  if (hm.radar_rain == 2) {
    // Period p takes the radar file named on the line that ends it.
    const std::string& name = hm.radar_file_names[static_cast<std::size_t>(p) + 1];
    std::printf("Reading radar precip file %s.\n", name.c_str());
    if (read_radar_precip(hm.radar, name, hm.radar_mm != 0) && radar_to_cells(hm.radar, ms.grid.ncells, rates))
      return true;
    set_error(own_message_code);
    report_error();
    return false;
  }
  if (hm.rain_inv_distance == 1) gage_to_grid_precip(ms.grid, gages_of(hm), hm.gage_values, p, rates);
  if (hm.rain_thiessen == 1)
    gather_from_index_table(p, hm.num_gages == 1 ? 1 : 0, hm.nearest.data(), hm.gage_values, rates, ms.grid.ncells);
  return true;
}

void clear_rain(model_state& ms) {
  ms.hydromet.rain_depth.fill(0.0);
  if (ms.hydromet.interception_coeff_given) ms.hydromet.ri_eff.fill(0.0);
}

// A run with END_TIME ends at that date: the step that would pass it ends
// there instead, and every process of the water and the constituents due
// at the step's full length runs at END_TIME over the shorter span (each
// takes the time since it last ran). The weather, the hourly steps and
// the lumped models keep their own hours.
void trim_last_step(clock_state& c) {
  const double full = c.model_time;
  c.model_time = c.end_time;
  c.elapsed_min -= (full - c.end_time) * 1440.0;
  for (double* t : {&c.ov_next_time, &c.inf_next_time, &c.soilmoist_next_time, &c.chan_next_time, &c.gw_next_time,
                    &c.sl_next_time})
    if (std::fabs(*t - full) < c.time_tol) *t = c.end_time;
  for (process_clock* k : {&c.ov_con_clock, &c.soil_con_clock, &c.contam_table_clock, &c.contam_table_soil_clock,
                           &c.ov_outlet_con_clock, &c.chan_outlet_con_clock, &c.chan_con_clock,
                           &c.contam_table_chan_clock, &c.gw_con_clock, &c.stream_loss_clock, &c.nsm_ov_clock,
                           &c.nsm_soil_clock, &c.nsm_chan_clock})
    if (std::fabs(k->next_time - full) < c.time_tol) k->next_time = c.end_time;
}

}  // namespace

void advance_clock(model_state& ms) {
  if (ms.clock.clock_call_count != 0) {
    const double before = ms.clock.model_time;
    ms.clock.step_count += 1;
    ms.clock.event_step += 1;
    ms.clock.model_time = ms.clock.event_start_time + ms.clock.step_count * ms.clock.dt_days;
    ms.clock.elapsed_min = ms.clock.step_count * ms.clock.dt / 60.0;
    const clock_state& c = ms.clock;
    if (c.end_time_given && before < c.end_time - c.time_tol && c.model_time > c.end_time + c.time_tol)
      trim_last_step(ms.clock);
  }
  ms.clock.clock_call_count += 1;
  double seconds = 0.0;
  calendar_date(ms.clock.model_time, ms.clock.cur_year, ms.clock.cur_month, ms.clock.cur_day, ms.clock.cur_hour, ms.clock.cur_minute, seconds);
  ms.clock.cur_second_f = seconds;
  ms.clock.cur_second = std::trunc(seconds);
  ms.clock.day_of_year = ms.clock.cur_month <= 1 ? ms.clock.cur_day : day_of_year_of(ms.clock.cur_year, ms.clock.cur_month, ms.clock.cur_day);
}

void read_precip_event(model_state& ms) {
  if (ms.clock.precip_event_state != 0) return;
  if (!ms.clock.zem_event_num_given && !is_due(ms, next_event_start(ms))) return;
  if (ms.clock.event_index >= ms.clock.num_events) return;
  check_analyzers(ms, 2);
  // A long-term event still open when the next one begins is closed first.
  if (ms.clock.long_term && !ms.clock.start_date_given && ms.clock.events_finished < ms.clock.event_index) {
    ms.clock.event_finish_pending = 1;
    finish_event(ms);
  }
  ms.clock.rain_on = 1;
  ms.clock.event_active = 1;
  if (ms.hydromet.precip_file_given != 1) return;

  const bool console = ms.project.optimizer_mode != 1;
  std::FILE* summary = ms.output.summary_file.fp;
  if (ms.clock.zem_event_num_given) {
    if (!ms.project.super_quiet && console)
      std::printf("Searching through precip input file for ZEM event %d\n", ms.clock.zem_event_num);
    ms.clock.event_index = ms.clock.zem_event_num;
  } else {
    if (ms.clock.long_term) {
      if (console)
        std::printf("reading precip. data for event %3d from file: %s\n", ms.clock.event_index + 1,
                    ms.project.precip_file.c_str());
      if (summary)
        std::fprintf(summary, "---reading precip. data for event %3d from file: %s\n", ms.clock.event_index + 1,
                     ms.project.precip_file.c_str());
    } else {
      if (console) std::printf("reading precip data from file: %s\n", ms.project.precip_file.c_str());
      if (summary) std::fprintf(summary, "reading precip data from file: %s\n", ms.project.precip_file.c_str());
    }
    if (summary) {
      std::fprintf(summary, "\n\n");
      std::fflush(summary);
    }
  }

  // Events before the start date are read through at the first reading.
  if (!ms.clock.zem_event_num_given) ms.clock.zem_event_num = 1;
  if (ms.clock.start_date_given && ms.hydromet.precip_event_call_count == 0) ms.clock.zem_event_num = ms.clock.event_index + 1;
  ms.hydromet.precip_event_call_count += 1;
  int result = 0;
  for (int i = 0; i < ms.clock.zem_event_num; ++i) {
    result = read_precip_file(ms.hydromet.raingage_file, ms.hydromet, ms.clock.dates());
    if (process.error_block.stop) return;
    if (result == 1 && ms.hydromet.rain_rates) ms.hydromet.num_rain_periods += 1;
  }
  ms.hydromet.uniform_rain_step = 1;

  if (result == -1) {
    std::printf("Unexpected end of file in rain gauge data file.\n");
    std::printf("Check the format of the data file.\nProgram terminated.");
    set_error(own_message_code);
    report_error();
    return;
  }
  if (result == 0) {
    ms.clock.precip_event_state = 2;
    ms.clock.event_start_year = 1000;
    if (ms.clock.event_index == 0) {
      std::printf("\n**********************************\n");
      std::printf("Data was not correctly read from the rainfall input file.\n");
      std::printf("Verify the file format.\n");
      std::printf("***********************************\n");
    }
    if (ms.clock.long_term && !ms.project.quiet) {
      std::printf("Precip data for event %d was not found in file: %s\n", ms.clock.event_index + 1,
                  ms.project.precip_file.c_str());
      std::printf("NIVRA assumes this means all events have been simulated.\n");
      std::printf("Program terminating normally.\n");
    }
    return;
  }

  const date_entry& first = ms.clock.dates()[1];
  ms.clock.event_start_year = first.year;
  ms.clock.event_start_month = first.month;
  ms.clock.event_start_day = first.day;
  ms.clock.event_start_hour = first.hour;
  ms.clock.event_start_minute = first.minute;
  ms.clock.event_start_julian = ms.clock.model_time;
  ms.clock.event_first_date_jd = ms.hydromet.next_rain_period_time = julian_of(first);
  ms.clock.event_index += 1;
  ms.clock.precip_event_state = 1;
  if (ms.hydromet.radar_rain == 2 && !map_radar_cells(ms.hydromet.radar, ms.hydromet.radar_file_names[1], ms.grid))
    return;
  if (ms.clock.zem_event_num_given) ms.clock.event_index = ms.clock.zem_event_num;

  if (ms.clock.long_term) {
    const hydromet_state& hm = ms.hydromet;
    const hour_date weather_start{hm.hmet_start_year, hm.hmet_start_month, hm.hmet_start_day, hm.hmet_start_hour};
    const hour_date weather_end{hm.hmet_end_year, hm.hmet_end_month, hm.hmet_end_day, hm.hmet_end_hour};
    const hour_date rain{first.year, first.month, first.day, first.hour};
    if (!check_gage_hmet_dates(weather_start, weather_end, rain)) {
      std::printf("Error: NIVRA failed on date check for precip event %d\n", ms.clock.event_index);
      set_error(own_message_code);
      report_error();
      return;
    }
  }
  if (!precip_to_intensities(ms.hydromet, ms.clock.dates(), ms.clock.event_index)) return;
  if (ms.hydromet.num_gages >= 2 && ms.hydromet.rain_thiessen == 1) {
    if (ms.hydromet.nearest.empty()) alloc_1d_int(ms.hydromet.nearest, ms.grid.ncells, "nearest");
    find_neighbor(ms.grid, gages_of(ms.hydromet), ms.hydromet.nearest.data());
  }
}

void update_rainfall(model_state& ms) {
  const int n = ms.grid.ncells;
  hydromet_state& hm = ms.hydromet;
  if (hm.precip_file_given && hm.rain_period >= 1) {
    // Period p rains from the time of line p to the time of line p + 1;
    // periods of no length are passed over within the step.
    while (hm.rain_period < hm.num_rain_periods && period_started(ms, hm.next_rain_period_time)) {
      if (!distribute_period(ms, hm.rain_period)) return;
      hm.rain_period += 1;
      hm.rain_period_start_time = ms.clock.model_time;
      hm.next_rain_period_time = julian_of(ms.clock.dates()[hm.rain_period]);
    }
    // The time of the last line ends the event's rain.
    if (hm.rain_period == hm.num_rain_periods && ms.clock.rain_on && period_started(ms, hm.next_rain_period_time)) {
      ms.clock.rain_on = 0;
      if (ms.clock.precip_event_state == 1) ms.clock.precip_event_state = 0;
      else if (ms.clock.precip_event_state == 2) ms.clock.precip_event_state = 3;
      clear_rain(ms);
    }
  }

  if (ms.hydromet.precip_unif && ms.clock.precip_event_state == 1) {
    if (ms.clock.step_count == 0) {
      ms.clock.event_active = 1;
      ms.clock.rain_on = 1;
      ms.hydromet.rain_depth.fill(ms.hydromet.rain_intensity);
      ms.hydromet.rain_depth[0] = 0.0;
    }
    // The storm falls on exactly num_rain_periods overland steps. Its event
    // goes on after the rain, until the end test ends it (at TOT_TIME, or
    // once the outlet falls below the cut-off in a long-term run).
    if (ms.hydromet.uniform_rain_step == ms.hydromet.num_rain_periods + 1) {
      clear_rain(ms);
      ms.clock.rain_on = 0;
      ms.clock.precip_event_state = 3;
    }
  }

  // The first cell with a negative rain, found by parts on the run's
  // threads (the first in cell order whatever the split).
  const double* rain = ms.hydromet.rain_depth.data();
  const int parts = rain_parts(n);
  std::array<int, rain_most_parts> negative{};
  for_parts(ms.overland.crew, n, parts, [&](int first, int last, int part) {
    for (int c = first; c <= last; ++c) {
      if (rain[c] < -1e-16) {
        negative[static_cast<std::size_t>(part)] = c;
        return;
      }
    }
  });
  for (int part = 0; part < parts; ++part) {
    const int c = negative[static_cast<std::size_t>(part)];
    if (c != 0) {
      std::printf("A negative rainfall has been detected for overland cell %d, check your rainfall input "
                  "for negative values\n",
                  c);
      set_error(own_message_code);
      report_error();
      return;
    }
  }
}

}  // namespace nivra
