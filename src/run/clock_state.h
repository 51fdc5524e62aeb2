// Part of the run's model_state: Calendar and model time, per-process clocks (step, last and next time), events and their flags, the run flag, peaks, the precipitation period date table.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct clock_state {
  // --- run clock and output intervals
  double dt = 0.0;                   // model time step, s
  int tot_time = 0;                  // run length, minutes
  int hyd_write_steps = 0;           // hydrograph write interval, steps
  int map_write_steps = 0;           // map write interval, steps
  int step_count = 0;
  double elapsed_min = 0.0;          // elapsed simulation time, minutes
  double model_time = 0.0;           // Julian days
  double time_tol = 0.0;             // days
  int cur_year = 0, cur_month = 0, cur_day = 0, cur_hour = 0, cur_minute = 0;
  int day_of_year = 0;
  int long_term = 0;                 // continuous run
  int strict_julian_date = 0;        // time columns in Julian days
};

}  // namespace nivra
