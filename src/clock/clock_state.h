// A component of the run's record: Calendar and model time, per-process clocks (step, last and next time), events and their flags, the run flag, peaks, the precipitation period date table.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include <vector>

namespace nivra {

// One calendar date of a precipitation period.
struct date_entry {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

inline constexpr int date_table_capacity = 100000;

// A clock of the time loop: its step in seconds and in days, the model
// time of its last run and the model time at which it is next due.
struct process_clock {
  double dt = 0.0, dt_days = 0.0, last_time = 0.0, next_time = 0.0;
};

// A process clock a hot-start carried into the run, relative to the moment
// the run that wrote it ended: its step (s) and the seconds since it last
// ran and until it is next due. The run's first event takes it up when
// that event is the writing run's event going on.
struct carried_clock {
  bool given = false;
  double dt = 0.0, since = 0.0, next_in = 0.0;
};

// Where a clock waiting for an event that will never come is parked: no
// model time is ever within the due tolerance of it.
inline constexpr double clock_parked = 1.0e30;

struct clock_state {
  // ---- Parameters: set at set-up from the cards, the precipitation file
  // and the time-step set-up, read-only afterwards.
  // Clock cards of the project as the run parameters copy them: the
  // overland and stream steps, the start date and the two output
  // intervals. The time-step set-up fills in the stream step and the
  // intervals the project leaves out.
  double ov_dt = 0.0;         // overland time step, s
  double st_time_step = 0.0;  // stream time step, s; below 0.01 when not given
  int start_year = 0, start_month = 0, start_day = 0, start_hour = 0, start_minute = 0;
  double hyd_freq = 0.0;      // hydrograph write interval, minutes
  int map_freq = 0;           // map write interval, minutes
  int tot_time = 0;           // run length, minutes
  double end_time = 0.0;      // Julian days, when the project gives one
  int end_time_given = 0;
  int long_term = 0;          // continuous run
  int strict_julian_date = 0; // time columns in Julian days
  double gmt = 0.0;           // GMT offset, hours
  int gmt_given = 0;
  // The model step and the output intervals in steps, as the time-step
  // set-up derives them.
  double dt = 0.0;            // time step, seconds
  double dt_days = 0.0;
  double base_dt = 0.0;       // the run's time step as first derived, s
  double time_tol = 0.0;      // tolerance of the due test, days
  int hyd_write_steps = 0;    // hydrograph write interval, steps
  int map_write_steps = 0;    // map write interval, steps
  // The run's start and the weather period.
  int date_stamp_ymd = 0;     // run start, (year x 100 + month) x 100 + day
  int date_stamp_hhmm = 0;    // run start, hour x 100 + minute
  // Start of the weather period, Julian days: the first weather record of a
  // long-term run, the start of a uniform storm, else the first event.
  double hmet_start_time = 0.0;
  double hmet_end_time = 0.0;    // last weather record, Julian days
  int start_date_given = 0;   // a long-term run starts at its START_DATE
  int start_event = 0;        // first event at or after that date, from 1
  // The precipitation events of the run.
  int num_events = 0;
  std::vector<double> event_times;   // start of every precipitation event, first event at 0
  // Runs inside the outside framework (ZEM) and with the coupled model (MOLA).
  int zem = 0;
  int zem_event_num = 0, zem_event_num_given = 0;
  int mola_given = 0, mola_first = 0;
  int moist_to_mola_given = 0, ksat_to_mola_given = 0, rough_to_mola_given = 0;
  int poros_to_mola_given = 0, erosivity_to_mola_given = 0, crop_fact_to_mola_given = 0;
  int net_erosion_to_mola_given = 0, moist_from_mola_given = 0, ksat_from_mola_given = 0;
  int rough_from_mola_given = 0, erosivity_from_mola_given = 0, crop_fact_from_mola_given = 0;
  int et_demand_from_mola_given = 0;

  // ---- State: the model time and the calendar of the current step.
  double model_time = 0.0;  // Julian days
  int cur_year = 0, cur_month = 0, cur_day = 0, cur_hour = 0, cur_minute = 0;
  double cur_second = 0.0;
  double cur_second_f = 0.0;         // seconds of the current minute, with the fraction
  double elapsed_min = 0.0;          // elapsed simulation time, minutes
  int day_of_year = 0;

  // ---- Per-run bookkeeping and step flags.
  int step_count = 0;
  int clock_call_count = 0;          // clock advances of the run
  int keep_running = 0;              // the time loop goes on
  int flush_count = 0;               // progress lines since the console was last flushed
  // Dates of the precipitation periods of the current event, 1-based. The
  // table is made (zeroed, full capacity) the first time dates() is asked.
  array1d<date_entry> date_table;
  array1d<date_entry>& dates() {
    if (date_table.empty()) date_table.alloc(date_table_capacity);
    return date_table;
  }
  // The current event: its start, its steps, its flags and its peak.
  int event_index = 0;               // current event, 1-based once read
  int event_start_year = 0, event_start_month = 0, event_start_day = 0;
  int event_start_hour = 0, event_start_minute = 0;
  double event_start_julian = 0.0;
  double event_first_date_jd = 0.0;  // first date of the loaded event
  double event_start_time = 0.0;     // model time at which the step count began
  double event_end_time = 0.0;       // end of a single-event run
  int event_step = 0;                // steps within the current event
  int inf_event_step = 0;            // infiltration steps within the event
  int events_finished = 0;
  int long_event_warned = 0;         // the run has warned of an event kept going a week by its outlet
  int event_active = 0;              // an event is being simulated
  int ended_in_event = 0;            // the run ended at END_TIME or TOT_TIME while an event went on
  int rain_on = 0;                   // the event's rain periods are running
  int event_done = 0;                // the event ended in this step
  int event_finish_pending = 0;      // the end-of-event handling is due
  int precip_event_state = 0;        // 0 waiting, 1 loaded, 2 file exhausted, 3 exhausted and rain over
  int sm_event_end = 0;              // the event ended on the cut-off under soil-moisture accounting
  int rain_steps = 0;                // steps with rain in the event
  double rain_start_min = 0.0;       // elapsed minutes when the rain began
  double peak_q = 0.0;               // largest outlet discharge of the event, m3/s
  double event_peak_q = 0.0;         // outlet peak of the event, m3/s
  double peak_jdate = 0.0;
  int peak_year = 0, peak_month = 0, peak_day = 0;
  int peak_hour = 0, peak_minute = 0, peak_second = 0;
  // What the processes report to the clocks.
  int chan_q_above_cutoff = 0;       // some channel node carries more than event_min_q
  int inf_redist_active = 0;         // redistribution infiltration is running
  int chan_flow_started = 0;         // the channels carry water
  int lake_above_min = 0;            // some channel lake stands above its minimum level (long-term channel step)
  int superlink_active = 0;          // the pipe network is running
  int superlink_wet = 0;             // the pipe network holds water
  // The clock of every timed process: its step in seconds and in days, the
  // model time of its last run and the model time at which it is next due
  // (the overland step is ov_dt above).
  double ov_dt_days = 0.0, ov_last_time = 0.0, ov_next_time = 0.0;
  double inf_dt = 0.0, inf_dt_days = 0.0, inf_last_time = 0.0, inf_next_time = 0.0;
  double chan_dt = 0.0, chan_dt_days = 0.0, chan_last_time = 0.0, chan_next_time = 0.0;
  double hourly_dt = 0.0, hourly_dt_days = 0.0, hourly_last_time = 0.0, hourly_next_time = 0.0;
  double hmet_dt_days = 0.0, hmet_last_time = 0.0, hmet_next_time = 0.0;  // the weather records
  double soilmoist_dt = 0.0, soilmoist_dt_days = 0.0, soilmoist_last_time = 0.0;
  double soilmoist_next_time = 0.0;
  double snow_dt = 0.0, snow_dt_days = 0.0, snow_last_time = 0.0, snow_next_time = 0.0;
  double melt_dt = 0.0, melt_dt_days = 0.0, melt_last_time = 0.0, melt_next_time = 0.0;
  double gw_dt = 0.0, gw_dt_days = 0.0, gw_last_time = 0.0, gw_next_time = 0.0;
  double sac_dt = 0.0, sac_dt_days = 0.0, sac_last_time = 0.0, sac_next_time = 0.0;
  double congw_dt = 0.0, congw_dt_days = 0.0, congw_last_time = 0.0, congw_next_time = 0.0;
  double sl_dt = 0.0, sl_dt_days = 0.0, sl_last_time = 0.0, sl_next_time = 0.0;
  process_clock soil_energy_clock;   // frozen-soil energy, hourly
  // Clocks of the constituents, which follow the water clocks.
  process_clock ov_con_clock;        // overland constituents
  process_clock soil_con_clock;      // soil constituents
  process_clock contam_table_clock;  // contaminants of the mapping table, overland
  process_clock contam_table_soil_clock;
  process_clock ov_outlet_con_clock; // constituent loads at the outlet without channels
  process_clock chan_outlet_con_clock;
  process_clock chan_con_clock;      // channel constituents
  process_clock contam_table_chan_clock;
  process_clock gw_con_clock;        // groundwater constituents
  process_clock stream_loss_clock;
  process_clock nsm_ov_clock, nsm_soil_clock, nsm_chan_clock;  // nutrient model

  // ---- Files: maps exchanged with the outside framework and model.
  guarded_file exchange_map_file;
  guarded_file mola_exchange_file;
};

}  // namespace nivra
