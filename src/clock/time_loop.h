// Small pieces the routines of the time loop share: the due test of a
// process clock, the start times of the precipitation events, the month
// lengths of the leap rule and the setting of a process clock.
#pragma once

#include <cmath>

#include "clock/clock_state.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "model/model_state.h"

namespace nivra {

inline constexpr double seconds_per_day = 86400.0;
inline constexpr double due_tolerance_days = 1.1574074074074074e-07;  // 0.01 s

// A process is due when the model clock is within the tolerance of its
// next time.
inline bool is_due(const model_state& ms, double next_time) {
  return std::fabs(next_time - ms.clock.model_time) < ms.clock.time_tol;
}

// Seconds from model time t to the current model time. Julian days near
// 2.5 million carry about 40 microseconds of rounding, so a span within a
// millisecond of a whole number of model steps is taken as exactly that
// many steps: a 10 s step then moves exactly 10 s of water.
inline double seconds_since(const model_state& ms, double t) {
  const double s = (ms.clock.model_time - t) * seconds_per_day;
  if (ms.clock.base_dt > 0.0) {
    const double steps = std::round(s / ms.clock.base_dt);
    if (std::fabs(s - steps * ms.clock.base_dt) < 1e-3) return steps * ms.clock.base_dt;
  }
  return s;
}

// Time has passed since the aquifer's last solve: the end of an event and
// of the run solve it.
inline bool groundwater_behind(const model_state& ms) {
  return ms.groundwater.gw_simulation && seconds_since(ms, ms.clock.gw_last_time) > 0.0;
}

// The saturated zone's step is due once the model time reaches its due
// time, so that a model step that does not land on it exactly never skips
// the aquifer, and time has passed since its last solve.
inline bool groundwater_due(const model_state& ms) {
  return ms.clock.model_time >= ms.clock.gw_next_time - ms.clock.time_tol && groundwater_behind(ms);
}

// Start of precipitation event k (counted from 1). An event that does not
// exist (before the first, after the last) is never due: the clocks that
// wait for it are parked.
inline double event_start_time_of(const model_state& ms, int k) {
  if (k < 1 || k > ms.clock.num_events || k > static_cast<int>(ms.clock.event_times.size())) return clock_parked;
  return ms.clock.event_times[static_cast<std::size_t>(k - 1)];
}

// Start of the event after the current one.
inline double next_event_start(const model_state& ms) {
  return event_start_time_of(ms, ms.clock.event_index + 1);
}

// A run that ends on the step reaching TOT_TIME: an event run, and a
// uniform storm inside the outside framework, which is the framework's one
// event and lasts as long as it does outside it. Long-term runs and the
// framework's events of a precipitation file end on the outlet cut-off.
inline bool ends_at_total_time(const model_state& ms) {
  return !ms.clock.long_term && (!ms.clock.zem || ms.hydromet.precip_unif);
}

// Days of a month; February has 29 when (year - 1900) is a multiple of 4,
// the remainder taking the sign of the dividend (so 1900 and 2000 are leap
// years, 1899 is not).
inline int month_length(int year, int month) {
  static constexpr int days[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2) return (year - 1900) % 4 == 0 ? 29 : 28;
  return days[month];
}

// Day of the year of a calendar date by the same leap rule.
inline int day_of_year_of(int year, int month, int day) {
  int n = day;
  for (int m = 1; m < month; ++m) n += month_length(year, m);
  return n;
}

// A clock of the run set from one a hot-start carried, the writing run
// having ended at model time `now`.
inline void resume_clock(const carried_clock& k, double now, double& dt, double& dt_days, double& last,
                         double& next) {
  dt = k.dt;
  dt_days = k.dt / seconds_per_day;
  last = now - k.since / seconds_per_day;
  next = now + k.next_in / seconds_per_day;
}

// The clock of the values given, as a hot-start carries it from model time
// `now` on.
inline carried_clock clock_to_carry(double dt, double last, double next, double now) {
  return carried_clock{true, dt, (now - last) * seconds_per_day, (next - now) * seconds_per_day};
}

// Sets the four values of a constituent or energy clock.
inline void set_clock(process_clock& to, double dt, double dt_days, double last, double next) {
  to.dt = dt;
  to.dt_days = dt_days;
  to.last_time = last;
  to.next_time = next;
}

}  // namespace nivra
