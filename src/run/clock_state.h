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
  int long_term = 0;        // continuous simulation (set from the project)

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
};

}  // namespace nivra
