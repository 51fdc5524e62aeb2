// The run's clocks: time steps and output intervals from the clock's copies
// of the cards, checked with the outlet and the site before the maps are
// read; the water standing on the grid at the start; and, last of the
// set-up, the start time of the run and the first due time of every process
// clock.
#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/run_parameters.h"
#include "model/water_ledger.h"
#include "output/step_outputs.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "run/steps.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"
#include "surface/surface_storage.h"

namespace nivra {

int write_interval_steps(double minutes, double dt) {
  const double steps = std::round(60.0 / dt * minutes);
  return steps < 1.0 ? 1 : static_cast<int>(steps);
}

namespace {

// The steps of an output interval; a note to the console and the run
// summary when its minutes are not a whole number of model steps.
int interval_steps(const char* card, double minutes, double dt, const char* what, bool note) {
  const int steps = write_interval_steps(minutes, dt);
  if (note && std::fabs(60.0 / dt * minutes - steps) > whole_step_tolerance) {
    char text[320];
    std::snprintf(text, sizeof text,
                  "Warning: %s %g minutes is not a whole number of %g s time steps; %s written every %d time "
                  "step(s), %g minutes.\n",
                  card, minutes, dt, what, steps, steps * dt / 60.0);
    report_text("\n");
    report_text(text);
  }
  return steps;
}

}  // namespace

void setup_time_steps(model_state& ms) {
  clock_state& c = ms.clock;
  // The model step is the smaller of the overland and the stream steps; a
  // stream step not given takes the overland one.
  if (c.st_time_step < 0.01) {
    c.st_time_step = c.ov_dt;
    c.dt = c.ov_dt;
  } else {
    c.dt = c.ov_dt < c.st_time_step ? c.ov_dt : c.st_time_step;
  }
  if (c.dt <= 0.001) {
    set_error(52);
    process.error_block.stop = 1;
    return;
  }
  c.base_dt = c.dt;

  if (c.hyd_freq <= 0.0) {
    c.hyd_freq = 60.0;
    set_error(55);
    report_error();
  }
  c.hyd_write_steps = interval_steps("HYD_FREQ", c.hyd_freq, c.dt, "the hydrographs are", true);

  if (c.map_freq == 0) {
    // The interval only matters to a run that writes maps; a search run
    // keeps the console quiet.
    c.map_freq = 360;
    if (map_output_requested(ms) && !ms.project.super_quiet && ms.project.optimizer_mode != 1 &&
        process.parallel_env.proc_id == 0)
      std::printf("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
  }
  c.map_write_steps = interval_steps("MAP_FREQ", c.map_freq, c.dt, "the maps are", map_output_requested(ms));

  if (ms.grid.outlet_slope < 1e-9) {
    set_error(56);
    process.error_block.stop = 1;
    return;
  }
  // Any site on the globe: the equator and the southern and western
  // hemispheres too; only a site not given stops a long-term run.
  if (c.long_term && !ms.hydromet.site_given) {
    set_error(57);
    process.error_block.stop = 1;
    return;
  }
  if (c.long_term && !c.gmt_given) {
    set_error(58);
    process.error_block.stop = 1;
    return;
  }

  ms.grid.nrows = ms.grid.proj_rows;
  ms.grid.ncols = ms.grid.proj_cols;
}

// The overland water at the start of the run, booked again once the set-up
// steps after init_state_variables that can still put water on the grid
// are done.
void compute_initial_surface_volume(model_state& ms) {
  ms.ledger.set_storage(water_store::surface, ledger_moment::run_start,
                        surface_storage(ms, overland_lake_cells::left_out, area_applied::to_the_sum));
}

namespace {

// A long-term run without START_DATE starts at the weather's first hour and
// simulates the events from there: an event that begins before it would be
// passed over, and so would every event after it. False (after the
// message) when the weather begins after the first event.
bool weather_covers_first_event(const model_state& ms) {
  const clock_state& c = ms.clock;
  if (!c.long_term || c.start_date_given || c.zem || c.num_events < 1) return true;
  const double first = event_start_time_of(ms, 1);
  if (first >= c.hmet_start_time - due_tolerance_days) return true;
  const hydromet_state& hm = ms.hydromet;
  const calendar e = calendar_date(first);
  std::printf("Error: the weather file %s begins at %d/%d/%d hour %d, after the start of event 1 of the\n"
              "precipitation events (%d/%d/%d %d:%02d): the weather must cover every hour from the first\n"
              "event's start to the last event's end.\n",
              ms.project.hmet_file.c_str(), hm.hmet_start_year, hm.hmet_start_month, hm.hmet_start_day,
              hm.hmet_start_hour, e.year, e.month, e.day, e.hour, e.minute);
  set_error(own_message_code);
  report_error();
  return false;
}

// Start of the run and the weather period.
void set_start_time(model_state& ms) {
  if (ms.clock.long_term) {
    ms.clock.hmet_start_time = julian_date(ms.hydromet.hmet_start_year, ms.hydromet.hmet_start_month, ms.hydromet.hmet_start_day,
                                     ms.hydromet.hmet_start_hour, 0, 0.0);
    ms.clock.hmet_end_time =
        julian_date(ms.hydromet.hmet_end_year, ms.hydromet.hmet_end_month, ms.hydromet.hmet_end_day, ms.hydromet.hmet_end_hour, 0, 0.0);
    ms.clock.date_stamp_hhmm = ms.hydromet.hmet_start_hour * 100;
    ms.clock.date_stamp_ymd = (ms.hydromet.hmet_start_year * 100 + ms.hydromet.hmet_start_month) * 100 + ms.hydromet.hmet_start_day;
    if (ms.clock.start_year != 0) {
      ms.clock.start_date_given = 1;
      set_clock_to_start_date(ms);
      // The first event that does not begin before the start date; one past
      // the last when every event begins earlier.
      ms.clock.start_event = 1;
      while (ms.clock.start_event <= ms.clock.num_events &&
             event_start_time_of(ms, ms.clock.start_event) < ms.clock.model_time - due_tolerance_days)
        ++ms.clock.start_event;
    }
  } else if (!ms.hydromet.precip_unif) {
    ms.clock.hmet_start_time = event_start_time_of(ms, 1);
  }

  ms.overland.qout = ms.overland.qout_at_start;
  ms.clock.event_done = 0;
  ms.clock.event_finish_pending = 0;
  ms.clock.sm_event_end = 0;
  ms.clock.dt_days = ms.clock.base_dt / seconds_per_day;
  ms.clock.time_tol = due_tolerance_days;

  if (!ms.clock.start_date_given) ms.clock.model_time = ms.clock.hmet_start_time;
  // Inside the framework the run starts with the event it is asked for; a
  // uniform storm is its one event and starts at the start date of the
  // cards, as it does outside the framework.
  if (ms.clock.zem && !ms.hydromet.precip_unif)
    ms.clock.model_time = event_start_time_of(ms, ms.clock.zem_event_num_given ? ms.clock.zem_event_num : 1);
}

// The first event of the run's clocks: the event of the start date, else the first.
int first_event(const model_state& ms) { return ms.clock.start_date_given ? ms.clock.start_event : 1; }

void set_overland_clock(model_state& ms) {
  const double start = ms.clock.model_time;
  ms.clock.ov_dt_days = ms.clock.ov_dt / seconds_per_day;
  ms.clock.ov_next_time = (!ms.clock.long_term || ms.groundwater.any_exfil || ms.overland.ov_water_at_start)
                        ? start
                        : event_start_time_of(ms, 1);
  ms.clock.ov_last_time = ms.clock.ov_next_time - ms.clock.ov_dt_days;
  if (ms.clock.long_term && ms.clock.start_date_given) {
    ms.clock.ov_last_time = event_start_time_of(ms, ms.clock.start_event);
    ms.clock.ov_next_time = ms.clock.ov_last_time + ms.clock.ov_dt_days;
  }
  if (ms.constituent.nutrients)
    set_clock(ms.clock.nsm_ov_clock, ms.clock.ov_dt, ms.clock.ov_dt_days, ms.clock.ov_last_time, ms.clock.ov_next_time);
  if (ms.clock.zem_event_num_given) {
    ms.clock.ov_next_time = start;
    ms.clock.ov_last_time = start - ms.clock.ov_dt_days;
  }
}

void set_hourly_clocks(model_state& ms) {
  if (!ms.clock.long_term) return;
  const double start = ms.clock.model_time;
  const double hour = 1.0 / 24.0;
  ms.clock.snow_dt = 3600.0;
  ms.clock.snow_dt_days = hour;
  ms.clock.snow_next_time = start;
  ms.clock.snow_last_time = start - hour;
  ms.clock.hourly_dt = 3600.0;
  ms.clock.hourly_dt_days = hour;
  ms.clock.hourly_next_time = start;
  ms.clock.hourly_last_time = start - hour;
  // One weather record per hour from the start.
  ms.clock.hmet_dt_days = hour;
  ms.clock.hmet_next_time = start;
  ms.clock.hmet_last_time = start - hour;
  // Melt water is released on the overland step once the hourly snow pass
  // has produced it.
  ms.clock.melt_dt = ms.clock.ov_dt;
  ms.clock.melt_dt_days = ms.clock.ov_dt_days;
  ms.clock.melt_next_time = start + hour - ms.clock.dt_days;
  ms.clock.melt_last_time = start - hour;
}

void set_subsurface_clocks(model_state& ms) {
  const double start = ms.clock.model_time;
  if (ms.groundwater.gw_simulation == 1) {
    ms.clock.gw_dt = ms.groundwater.gw_timestep;
    ms.clock.gw_dt_days = ms.clock.gw_dt / seconds_per_day;
    ms.clock.gw_last_time = start;
    ms.clock.gw_next_time = start + ms.clock.gw_dt_days;
  }
  if (ms.groundwater.sacramento_given) {
    ms.clock.sac_dt = 3600.0;
    ms.clock.sac_dt_days = 1.0 / 24.0;
    ms.clock.sac_next_time = start;
    ms.clock.sac_last_time = start - ms.clock.sac_dt_days;
  }
  if (ms.groundwater.conceptual_gw_given) {
    ms.clock.congw_dt = 3600.0;
    ms.clock.congw_dt_days = 1.0 / 24.0;
    ms.clock.congw_next_time = ms.clock.hmet_start_time;
    ms.clock.congw_last_time = ms.clock.hmet_start_time - ms.clock.congw_dt_days;
  }
}

void set_infiltration_clock(model_state& ms) {
  if (!(ms.soil.green_ampt || ms.soil.inf_redist || ms.soil.inf_layered_soil || ms.soil.inf_richards)) return;
  const double start = ms.clock.model_time;
  const bool wet_start = ms.groundwater.any_exfil || ms.overland.ov_water_at_start;
  if (ms.soil.inf_richards && ms.clock.long_term && !wet_start) {
    ms.clock.inf_dt = 3600.0;
    if (ms.groundwater.gw_simulation && ms.clock.gw_dt < ms.clock.inf_dt) ms.clock.inf_dt = ms.clock.gw_dt;
  } else {
    ms.clock.inf_dt = ms.clock.ov_dt;
  }
  ms.clock.inf_dt_days = ms.clock.inf_dt / seconds_per_day;
  if (!ms.clock.long_term || wet_start || ms.soil.inf_richards) {
    ms.clock.inf_last_time = start;
    ms.clock.inf_next_time = start + ms.clock.inf_dt_days;
    ms.clock.inf_redist_active = 1;
  } else {
    ms.clock.inf_last_time = event_start_time_of(ms, first_event(ms));
    ms.clock.inf_next_time = ms.clock.inf_last_time + ms.clock.inf_dt_days;
  }
  if (ms.clock.zem_event_num_given) {
    ms.clock.inf_last_time = start;
    ms.clock.inf_next_time = start + ms.clock.dt_days;
  }
  if (ms.groundwater.gw_simulation && ms.clock.gw_dt > ms.clock.inf_dt && !ms.soil.sm_accounting) {
    ms.clock.gw_dt = ms.clock.inf_dt;
    ms.clock.gw_dt_days = ms.clock.inf_dt_days;
    ms.clock.gw_last_time = start;
    ms.clock.gw_next_time = start + ms.clock.inf_dt_days;
  }
  if (!ms.soil.sm_accounting) return;
  if (!ms.clock.long_term || wet_start) {
    ms.clock.soilmoist_dt = ms.clock.inf_dt;
    ms.clock.soilmoist_dt_days = ms.clock.inf_dt_days;
    ms.clock.soilmoist_last_time = ms.clock.inf_last_time;
    ms.clock.soilmoist_next_time = ms.clock.inf_next_time;
  } else {
    ms.clock.soilmoist_dt = ms.clock.hourly_dt;
    ms.clock.soilmoist_dt_days = ms.clock.hourly_dt_days;
    ms.clock.soilmoist_last_time = ms.clock.hourly_next_time;
    ms.clock.soilmoist_next_time = ms.clock.hourly_next_time + ms.clock.hourly_dt_days;
  }
  if (ms.clock.start_date_given) {
    ms.clock.soilmoist_next_time = start;
    ms.clock.soilmoist_last_time = start - ms.clock.dt_days;
  }
}

// Uniform rain is one event that begins with the run; otherwise the first
// event of the precipitation file (or of the start date) is waited for.
// Runs before the process clocks, which may wait for the first event. False
// after the message of a uniform storm without a start date or shorter than
// one overland step.
bool set_precipitation_clock(model_state& ms) {
  const double start = ms.clock.model_time;
  if (ms.hydromet.precip_unif) {
    ms.hydromet.num_rain_periods = static_cast<int>(ms.hydromet.rain_duration * 60.0 / ms.clock.ov_dt);
    ms.hydromet.uniform_rain_step = 1;
    ms.clock.num_events = 1;
    ms.clock.event_times.assign(1, start);
    ms.clock.event_index = 1;
    ms.clock.precip_event_state = 1;
    ms.clock.rain_on = 1;
    ms.clock.event_active = 1;
    ms.clock.event_first_date_jd = start;
    ms.clock.event_start_year = ms.clock.cur_year;
    ms.clock.event_start_month = ms.clock.cur_month;
    ms.clock.event_start_day = ms.clock.cur_day;
    ms.clock.event_start_hour = ms.clock.cur_hour;
    ms.clock.event_start_minute = ms.clock.cur_minute;
    ms.clock.event_start_julian = start;
  } else if (ms.clock.start_date_given && !ms.clock.zem_event_num_given) {
    ms.clock.event_index = ms.clock.start_event - 1;
  }
  if (ms.hydromet.precip_unif && ms.clock.cur_year == 0) {
    std::printf("You did not specify the starting date and time in the\n");
    std::printf("project file.  You must do this for simulations with\n");
    std::printf("uniform precipitation using the START_DATE and START_TIME\n");
    std::printf("cards.  Edit the project file.   Program terminated.\n");
    set_error(own_message_code);
    report_error();
    return false;
  }
  if (ms.hydromet.precip_unif && ms.hydromet.num_rain_periods < 1) {
    // The storm falls on whole overland steps: none would get any rain.
    std::printf("Error: the uniform rain lasts %.0lf minute(s) (RAIN_DURATION), less than one overland\n"
                "time step of %.3lf s (TIMESTEP): no rain would fall.  Program terminated.\n",
                ms.hydromet.rain_duration, ms.clock.ov_dt);
    set_error(own_message_code);
    report_error();
    return false;
  }
  return true;
}

void set_channel_clocks(model_state& ms) {
  const double start = ms.clock.model_time;
  if (ms.channel.chan_explic) {
    // The channels step with the model.
    ms.clock.chan_dt = ms.clock.dt;
    ms.clock.chan_dt_days = ms.clock.chan_dt / seconds_per_day;
    ms.clock.chan_last_time = (!ms.clock.long_term || ms.clock.chan_flow_started) ? ms.clock.hmet_start_time
                                                               : event_start_time_of(ms, 1);
    if (ms.clock.start_date_given) ms.clock.chan_last_time = event_start_time_of(ms, ms.clock.start_event);
    ms.clock.chan_next_time = ms.clock.chan_last_time + ms.clock.chan_dt_days;
    if (ms.lake.chan_lakes && ms.clock.lake_above_min) {
      ms.clock.chan_dt = ms.clock.dt > 60.0 ? ms.clock.dt : 60.0;
      ms.clock.chan_dt_days = ms.clock.chan_dt / seconds_per_day;
      ms.clock.chan_last_time = start;
      ms.clock.chan_next_time = start + ms.clock.chan_dt_days;
      ms.clock.chan_flow_started = 1;
    }
    if (ms.clock.zem_event_num_given) {
      ms.clock.chan_last_time = start;
      ms.clock.chan_next_time = start + ms.clock.dt_days;
      ms.clock.chan_flow_started = 1;
    }
    for (process_clock* c : {&ms.clock.chan_con_clock, &ms.clock.contam_table_chan_clock, &ms.clock.nsm_chan_clock,
                             &ms.clock.gw_con_clock, &ms.clock.stream_loss_clock})
      set_clock(*c, ms.clock.chan_dt, ms.clock.chan_dt_days, ms.clock.chan_last_time, ms.clock.chan_next_time);
  }
  if (ms.constituent.nutrients)
    set_clock(ms.clock.nsm_soil_clock, ms.clock.soilmoist_dt, ms.clock.soilmoist_dt_days, ms.clock.soilmoist_last_time,
               ms.clock.soilmoist_next_time);
}

void set_sewer_clock(model_state& ms) {
  if (!ms.pipe.storm_sewer_given) return;
  const double start = ms.clock.model_time;
  ms.clock.sl_dt = ms.clock.ov_dt;
  ms.clock.sl_dt_days = ms.clock.ov_dt_days;
  if (!ms.clock.long_term || ms.groundwater.any_exfil || (ms.pipe.gw_to_tile && ms.groundwater.gw_simulation)) {
    ms.clock.sl_last_time = start;
    ms.clock.superlink_active = 1;
  } else {
    ms.clock.sl_last_time = event_start_time_of(ms, first_event(ms));
  }
  ms.clock.sl_next_time = ms.clock.sl_last_time + ms.clock.sl_dt_days;
}

void set_constituent_clocks(model_state& ms) {
  if (!ms.constituent.ov_con_trans) return;
  const double start = ms.clock.model_time;
  if (ms.constituent.ov_point_source_given) {
    ms.clock.ov_last_time = start;
    ms.clock.inf_last_time = start;
  }
  double next = ms.clock.ov_next_time;
  if (ms.constituent.ov_point_source_given) next = start + ms.clock.ov_dt_days;
  set_clock(ms.clock.ov_con_clock, ms.clock.ov_dt, ms.clock.ov_dt_days, ms.clock.ov_last_time, next);
  set_clock(ms.clock.ov_outlet_con_clock, ms.clock.ov_dt, ms.clock.ov_dt_days, ms.clock.ov_last_time, next);
  set_clock(ms.clock.chan_outlet_con_clock, ms.clock.chan_dt, ms.clock.chan_dt_days, ms.clock.chan_last_time,
             ms.clock.chan_next_time);
  if (ms.constituent.contam_table_input) {
    set_clock(ms.clock.contam_table_clock, ms.clock.ov_dt, ms.clock.ov_dt_days, ms.clock.ov_last_time, next);
    set_clock(ms.clock.contam_table_soil_clock, ms.clock.inf_dt, ms.clock.inf_dt_days, ms.clock.inf_last_time,
               ms.clock.inf_next_time);
  }
  if (ms.constituent.soil_con_trans)
    set_clock(ms.clock.soil_con_clock, ms.clock.soilmoist_dt, ms.clock.soilmoist_dt_days, ms.clock.soilmoist_last_time,
               ms.clock.soilmoist_next_time);
  else
    set_clock(ms.clock.soil_con_clock, ms.clock.inf_dt, ms.clock.inf_dt_days, ms.clock.inf_last_time, ms.clock.inf_next_time);
}

}  // namespace

void init_simulation_clock(model_state& ms) {
  set_start_time(ms);
  if (!weather_covers_first_event(ms)) return;
  if (!set_precipitation_clock(ms)) return;
  set_overland_clock(ms);
  // The overland clock only ever lands on whole model steps.
  const double steps = ms.clock.ov_dt / ms.clock.base_dt;
  if (std::fabs(steps - std::round(steps)) > 1e-6 || steps < 0.5) {
    std::printf("Error: the overland time step of %.3lf s (TIMESTEP) is not a whole number of model\n"
                "time steps of %.3lf s, so overland flow would never be due.  Program terminated.\n",
                ms.clock.ov_dt, ms.clock.base_dt);
    set_error(own_message_code);
    report_error();
    return;
  }
  // The hourly processes (the weather, snow and soil moisture of a
  // long-term run, the lumped models) are due only on a model step that
  // lands on the hour.
  const double per_hour = 3600.0 / ms.clock.base_dt;
  const bool hourly = ms.clock.long_term || ms.groundwater.sacramento_given || ms.groundwater.conceptual_gw_given;
  if (hourly && std::fabs(per_hour - std::round(per_hour)) > 1e-6) {
    std::printf("Error: the time step of %.3lf s (TIMESTEP) does not divide an hour, so the hourly weather, snow,\n"
                "soil moisture and lumped models of this run would never be due.  Program terminated.\n",
                ms.clock.base_dt);
    set_error(own_message_code);
    report_error();
    return;
  }
  set_hourly_clocks(ms);
  set_subsurface_clocks(ms);
  set_infiltration_clock(ms);
  set_channel_clocks(ms);
  set_sewer_clock(ms);
  set_constituent_clocks(ms);

  ms.clock.step_count = 0;
  ms.clock.clock_call_count = 0;
  ms.clock.keep_running = 1;
  ms.clock.event_start_time = ms.clock.model_time;
  ms.clock.event_step = 0;
  ms.clock.inf_event_step = 0;
  ms.clock.events_finished = 0;
}

}  // namespace nivra
