// Part of the run's model_state: Calendar and model time, per-process clocks (step, last and next time), events and their flags, the run flag, peaks, the precipitation period date table.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

// One calendar date of a precipitation period.
struct date_entry {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

inline constexpr int date_table_capacity = 100000;

struct clock_state {
  // Model time and the calendar of the current step.
  double dt = 0.0;          // time step, seconds
  double dt_days = 0.0;
  double time_tol = 0.0;    // tolerance of the due test, days
  double model_time = 0.0;  // Julian days
  int cur_year = 0, cur_month = 0, cur_day = 0, cur_hour = 0, cur_minute = 0;
  double cur_second = 0.0;
  int step_count = 0;
  int keep_running = 0;     // the time loop goes on
  double end_time = 0.0;    // Julian days, when the project gives one
  int end_time_given = 0;

  // Dates of the precipitation periods of the current event, 1-based. The
  // table is made (zeroed, full capacity) the first time dates() is asked.
  array1d<date_entry> date_table;
  array1d<date_entry>& dates() {
    if (date_table.empty()) date_table.alloc(date_table_capacity);
    return date_table;
  }

  // Maps exchanged with the outside framework and model.
  guarded_file exchange_map_file;
  guarded_file mola_exchange_file;

  // --- run clock and output intervals
  int tot_time = 0;                  // run length, minutes
  int hyd_write_steps = 0;           // hydrograph write interval, steps
  int map_write_steps = 0;           // map write interval, steps
  double elapsed_min = 0.0;          // elapsed simulation time, minutes
  int day_of_year = 0;
  int long_term = 0;                 // continuous run
  int strict_julian_date = 0;        // time columns in Julian days

  // Clock, event and peak fields read by the run and event summaries.
  int date_stamp_ymd = 0;            // run start, (year x 100 + month) x 100 + day
  int date_stamp_hhmm = 0;           // run start, hour x 100 + minute
  int num_events = 0;
  int event_index = 0;               // current event, 1-based once read
  int event_start_year = 0, event_start_month = 0, event_start_day = 0;
  int event_start_hour = 0, event_start_minute = 0;
  double event_start_julian = 0.0;
  double gmt = 0.0;                  // GMT offset, hours
  int gmt_given = 0;
  double base_dt = 0.0;              // the run's time step as first derived, s
  int rain_steps = 0;                // steps with rain in the event
  double rain_start_min = 0.0;       // elapsed minutes when the rain began
  double event_peak_q = 0.0;         // outlet peak of the event, m3/s
  double peak_jdate = 0.0;
  int peak_year = 0, peak_month = 0, peak_day = 0;
  int peak_hour = 0, peak_minute = 0, peak_second = 0;

  // Event water balance, m3, set by the end of an event. The error is a
  // fraction; -1.0 marks an event without rain.
  double event_mass_error = 0.0;
  double mass_in_plus_initial = 0.0;
  double mass_out_plus_final = 0.0;
  double ov_cleanup_error = 0.0;     // mass clean-up error from overland, m3


  // Start of a uniform storm as date stamps (hour * 100 + minute and
  // (year * 100 + month) * 100 + day), and the first weather time.
  double hmet_start_time = 0.0;

  // Runs inside the outside framework (ZEM) and with the coupled model (MOLA).
  int zem = 0;
  int zem_event_num = 0, zem_event_num_given = 0;
  int mola_given = 0, mola_first = 0;
  int moist_to_mola_given = 0, ksat_to_mola_given = 0, rough_to_mola_given = 0;
  int poros_to_mola_given = 0, erosivity_to_mola_given = 0, crop_fact_to_mola_given = 0;
  int net_erosion_to_mola_given = 0, moist_from_mola_given = 0, ksat_from_mola_given = 0;
  int rough_from_mola_given = 0, erosivity_from_mola_given = 0, crop_fact_from_mola_given = 0;
  int et_demand_from_mola_given = 0;
};

}  // namespace nivra
