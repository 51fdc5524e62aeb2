// The run's clocks: time steps, output intervals, outlet and site taken
// from the project's cards before the maps are read; the water standing on
// the grid at the start; and, last of the set-up, the start time of the run
// and the first due time of every process clock.
#include <cmath>
#include <cstdio>

#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "model/model_state.h"
#include "model/run_parameters.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "surface/blockage.h"

namespace nivra {

void setup_time_steps(model_state& ms) {
  run_control& rc = ms.run_control;
  // The model step is the smaller of the overland and the stream steps; a
  // stream step not given takes the overland one.
  if (rc.st_time_step < 0.01) {
    rc.st_time_step = rc.timestep;
    ms.dt = rc.timestep;
  } else {
    ms.dt = rc.timestep < rc.st_time_step ? rc.timestep : rc.st_time_step;
  }
  if (ms.dt <= 0.001) {
    set_error(52);
    process.error_block.stop = 1;
    return;
  }
  ms.proj_rows = rc.rows;
  ms.proj_cols = rc.cols;
  ms.base_dt = ms.dt;
  ms.tot_time = rc.tot_time;

  if (rc.hyd_freq <= 0.0) {
    rc.hyd_freq = 60.0;
    set_error(55);
    report_error();
  }
  ms.hyd_write_steps = static_cast<int>(60.0 / ms.dt * rc.hyd_freq);

  if (rc.map_freq == 0) {
    rc.map_freq = 360;
    if (!ms.super_quiet && process.parallel_env.proc_id == 0)
      std::printf("Warning: Write solution time step not specified, defaulting to 6 hours.\n");
  }
  ms.map_write_steps = static_cast<int>(60.0 / ms.dt * rc.map_freq);

  ms.outlet_slope = rc.outslope;
  ms.outrow = rc.outrow;
  ms.outcol = rc.outcol;
  if (rc.outslope < 1e-9) {
    set_error(56);
    process.error_block.stop = 1;
    return;
  }

  ms.latitude = rc.latitude;
  ms.grid_size = rc.gridsize;
  ms.longitude = rc.longitude;
  if (ms.long_term && (rc.latitude < 0.01 || rc.longitude < 0.01)) {
    set_error(57);
    process.error_block.stop = 1;
    return;
  }

  ms.gmt = rc.gmt;
  ms.gmt_given = rc.gmt_given;
  ms.qout_cfs = rc.qout_cfs;
  ms.quiet = rc.quiet;
  if (ms.long_term && !rc.gmt_given) {
    set_error(58);
    process.error_block.stop = 1;
    return;
  }

  ms.nrows = rc.rows;
  ms.ncols = rc.cols;
}

void compute_initial_surface_volume(model_state& ms) {
  const double area = ms.grid_size * ms.grid_size;
  const bool olakes = ms.overland_lake_map_given && !ms.oland_lake_mask.empty();
  const double* blocked = blocked_cells(ms);
  double v = 0.0;
  for (int c = 1; c <= ms.ncells; ++c) {
    if (olakes) {
      if (ms.oland_lake_mask[c] != 0) continue;
    } else if (in_channel_lake(ms, c)) {
      continue;
    }
    v += ms.ov_depth[c] * open_share(blocked, c);
  }
  ms.init_ov_volume = v * area;
}

namespace {

// Start of the run and the weather period.
void set_start_time(model_state& ms) {
  const run_control& rc = ms.run_control;
  if (ms.long_term) {
    ms.hmet_start_time = julian_date(ms.hmet_start_year, ms.hmet_start_month, ms.hmet_start_day,
                                     ms.hmet_start_hour, 0, 0.0);
    ms.hmet_end_time =
        julian_date(ms.hmet_end_year, ms.hmet_end_month, ms.hmet_end_day, ms.hmet_end_hour, 0, 0.0);
    ms.date_stamp_hhmm = ms.hmet_start_hour * 100;
    ms.date_stamp_ymd = (ms.hmet_start_year * 100 + ms.hmet_start_month) * 100 + ms.hmet_start_day;
    if (rc.start_year != 0) {
      ms.start_date_given = 1;
      set_clock_to_start_date(ms);
      // The first event that does not begin before the start date; one past
      // the last when every event begins earlier.
      ms.start_event = 1;
      while (ms.start_event <= ms.num_events &&
             event_start_time_of(ms, ms.start_event) < ms.model_time - due_tolerance_days)
        ++ms.start_event;
    }
  } else if (!ms.precip_unif) {
    ms.hmet_start_time = event_start_time_of(ms, 1);
  }

  ms.exfil_total = 0.0;
  ms.exfil_vol = 0.0;
  ms.qout = 0.0;
  ms.event_done = 0;
  ms.event_finish_pending = 0;
  ms.sm_event_end = 0;
  ms.dt_days = ms.base_dt / seconds_per_day;
  ms.time_tol = due_tolerance_days;

  if (!ms.start_date_given) ms.model_time = ms.hmet_start_time;
  if (ms.zem)
    ms.model_time = event_start_time_of(ms, ms.zem_event_num_given ? ms.zem_event_num : 1);
}

// The first event of the run's clocks: the event of the start date, else the first.
int first_event(const model_state& ms) { return ms.start_date_given ? ms.start_event : 1; }

void set_overland_clock(model_state& ms) {
  const double start = ms.model_time;
  ms.ov_dt = ms.run_control.timestep;
  ms.ov_dt_days = ms.ov_dt / seconds_per_day;
  ms.ov_next_time = (!ms.long_term || ms.any_exfil || ms.ov_water_at_start)
                        ? start
                        : event_start_time_of(ms, 1);
  ms.ov_last_time = ms.ov_next_time - ms.ov_dt_days;
  if (ms.long_term && ms.start_date_given) {
    ms.ov_last_time = event_start_time_of(ms, ms.start_event);
    ms.ov_next_time = ms.ov_last_time + ms.ov_dt_days;
  }
  if (ms.nutrients)
    set_clock(ms.nsm_ov_clock, ms.ov_dt, ms.ov_dt_days, ms.ov_last_time, ms.ov_next_time);
  if (ms.zem_event_num_given) {
    ms.ov_next_time = start;
    ms.ov_last_time = start - ms.ov_dt_days;
  }
}

void set_hourly_clocks(model_state& ms) {
  if (!ms.long_term) return;
  const double start = ms.model_time;
  const double hour = 1.0 / 24.0;
  ms.snow_dt = 3600.0;
  ms.snow_dt_days = hour;
  ms.snow_next_time = start;
  ms.snow_last_time = start - hour;
  ms.hourly_dt = 3600.0;
  ms.hourly_dt_days = hour;
  ms.hourly_next_time = start;
  ms.hourly_last_time = start - hour;
  // Melt water is released on the overland step once the hourly snow pass
  // has produced it.
  ms.melt_dt = ms.ov_dt;
  ms.melt_dt_days = ms.ov_dt_days;
  ms.melt_next_time = start + hour - ms.dt_days;
  ms.melt_last_time = start - hour;
}

void set_subsurface_clocks(model_state& ms) {
  const double start = ms.model_time;
  if (ms.gw_simulation == 1) {
    ms.gw_dt = ms.gw_timestep;
    ms.gw_dt_days = ms.gw_dt / seconds_per_day;
    ms.gw_last_time = start;
    ms.gw_next_time = start + ms.gw_dt_days;
  }
  if (ms.sacramento_given) {
    ms.sac_dt = 3600.0;
    ms.sac_dt_days = 1.0 / 24.0;
    ms.sac_next_time = start;
    ms.sac_last_time = start - ms.sac_dt_days;
  }
  if (ms.conceptual_gw_given) {
    ms.congw_dt = 3600.0;
    ms.congw_dt_days = 1.0 / 24.0;
    ms.congw_next_time = ms.hmet_start_time;
    ms.congw_last_time = ms.hmet_start_time - ms.congw_dt_days;
  }
}

void set_infiltration_clock(model_state& ms) {
  if (!(ms.green_ampt || ms.inf_redist || ms.inf_layered_soil || ms.inf_richards)) return;
  const double start = ms.model_time;
  const bool wet_start = ms.any_exfil || ms.ov_water_at_start;
  if (ms.inf_richards && ms.long_term && !wet_start) {
    ms.inf_dt = 3600.0;
    if (ms.gw_simulation && ms.gw_dt < ms.inf_dt) ms.inf_dt = ms.gw_dt;
  } else {
    ms.inf_dt = ms.ov_dt;
  }
  ms.inf_dt_days = ms.inf_dt / seconds_per_day;
  if (!ms.long_term || wet_start || ms.inf_richards) {
    ms.inf_last_time = start;
    ms.inf_next_time = start + ms.inf_dt_days;
    ms.inf_redist_active = 1;
  } else {
    ms.inf_last_time = event_start_time_of(ms, first_event(ms));
    ms.inf_next_time = ms.inf_last_time + ms.inf_dt_days;
  }
  if (ms.zem_event_num_given) {
    ms.inf_last_time = start;
    ms.inf_next_time = start + ms.dt_days;
  }
  if (ms.gw_simulation && ms.gw_dt > ms.inf_dt && !ms.sm_accounting) {
    ms.gw_dt = ms.inf_dt;
    ms.gw_dt_days = ms.inf_dt_days;
    ms.gw_last_time = start;
    ms.gw_next_time = start + ms.inf_dt_days;
  }
  if (!ms.sm_accounting) return;
  if (!ms.long_term || wet_start) {
    ms.soilmoist_dt = ms.inf_dt;
    ms.soilmoist_dt_days = ms.inf_dt_days;
    ms.soilmoist_last_time = ms.inf_last_time;
    ms.soilmoist_next_time = ms.inf_next_time;
  } else {
    ms.soilmoist_dt = ms.hourly_dt;
    ms.soilmoist_dt_days = ms.hourly_dt_days;
    ms.soilmoist_last_time = ms.hourly_next_time;
    ms.soilmoist_next_time = ms.hourly_next_time + ms.hourly_dt_days;
  }
  if (ms.start_date_given) {
    ms.soilmoist_next_time = start;
    ms.soilmoist_last_time = start - ms.dt_days;
  }
}

// Uniform rain is one event that begins with the run; otherwise the first
// event of the precipitation file (or of the start date) is waited for.
// False after the message of a uniform storm without a start date.
bool set_precipitation_clock(model_state& ms) {
  const double start = ms.model_time;
  if (ms.precip_unif) {
    ms.num_rain_periods = static_cast<int>(ms.rain_duration * 60.0 / ms.ov_dt);
    ms.uniform_rain_step = 1;
    ms.num_events = 1;
    ms.event_times.assign(1, start);
    ms.event_index = 1;
    ms.precip_event_state = 1;
    ms.rain_on = 1;
    ms.event_active = 1;
    ms.event_first_date_jd = start;
    ms.event_start_year = ms.cur_year;
    ms.event_start_month = ms.cur_month;
    ms.event_start_day = ms.cur_day;
    ms.event_start_hour = ms.cur_hour;
    ms.event_start_minute = ms.cur_minute;
    ms.event_start_julian = start;
  } else if (ms.start_date_given && !ms.zem_event_num_given) {
    ms.event_index = ms.start_event - 1;
  }
  if (ms.precip_unif && ms.cur_year == 0) {
    std::printf("You did not specify the starting date and time in the\n");
    std::printf("project file.  You must do this for simulations with\n");
    std::printf("uniform precipitation using the START_DATE and START_TIME\n");
    std::printf("cards.  Edit the project file.   Program terminated.\n");
    set_error(own_message_code);
    report_error();
    return false;
  }
  return true;
}

void set_channel_clocks(model_state& ms) {
  const double start = ms.model_time;
  if (ms.chan_explic) {
    run_control& rc = ms.run_control;
    if (rc.st_time_step != ms.dt) rc.st_time_step = ms.dt;
    ms.chan_dt = rc.st_time_step;
    // The card keeps the channel step in minutes from here on.
    rc.st_time_step /= 60.0;
    ms.chan_dt_days = ms.chan_dt / seconds_per_day;
    ms.chan_last_time = (!ms.long_term || ms.chan_flow_started) ? ms.hmet_start_time
                                                               : event_start_time_of(ms, 1);
    if (ms.start_date_given) ms.chan_last_time = event_start_time_of(ms, ms.start_event);
    ms.chan_next_time = ms.chan_last_time + ms.chan_dt_days;
    if (ms.chan_lakes && ms.lake_above_min) {
      ms.chan_dt = ms.dt > 60.0 ? ms.dt : 60.0;
      ms.chan_dt_days = ms.chan_dt / seconds_per_day;
      ms.chan_last_time = start;
      ms.chan_next_time = start + ms.chan_dt_days;
      ms.chan_flow_started = 1;
    }
    if (ms.zem_event_num_given) {
      ms.chan_last_time = start;
      ms.chan_next_time = start + ms.dt_days;
      ms.chan_flow_started = 1;
    }
    for (process_clock* c : {&ms.chan_con_clock, &ms.contam_table_chan_clock, &ms.nsm_chan_clock,
                             &ms.gw_con_clock, &ms.stream_loss_clock})
      set_clock(*c, ms.chan_dt, ms.chan_dt_days, ms.chan_last_time, ms.chan_next_time);
  }
  if (ms.nutrients)
    set_clock(ms.nsm_soil_clock, ms.soilmoist_dt, ms.soilmoist_dt_days, ms.soilmoist_last_time,
               ms.soilmoist_next_time);
}

void set_sewer_clock(model_state& ms) {
  if (!ms.storm_sewer_given) return;
  const double start = ms.model_time;
  ms.sl_dt = ms.ov_dt;
  ms.sl_dt_days = ms.ov_dt_days;
  if (!ms.long_term || ms.any_exfil || (ms.gw_to_tile && ms.gw_simulation)) {
    ms.sl_last_time = start;
    ms.superlink_active = 1;
  } else {
    ms.sl_last_time = event_start_time_of(ms, first_event(ms));
  }
  ms.sl_next_time = ms.sl_last_time + ms.sl_dt_days;
}

void set_constituent_clocks(model_state& ms) {
  if (!ms.ov_con_trans) return;
  const double start = ms.model_time;
  if (ms.ov_point_source_given) {
    ms.ov_last_time = start;
    ms.inf_last_time = start;
  }
  double next = ms.ov_next_time;
  if (ms.ov_point_source_given) next = start + ms.ov_dt_days;
  set_clock(ms.ov_con_clock, ms.ov_dt, ms.ov_dt_days, ms.ov_last_time, next);
  set_clock(ms.ov_outlet_con_clock, ms.ov_dt, ms.ov_dt_days, ms.ov_last_time, next);
  set_clock(ms.chan_outlet_con_clock, ms.chan_dt, ms.chan_dt_days, ms.chan_last_time,
             ms.chan_next_time);
  if (ms.contam_table_input) {
    set_clock(ms.contam_table_clock, ms.ov_dt, ms.ov_dt_days, ms.ov_last_time, next);
    set_clock(ms.contam_table_soil_clock, ms.inf_dt, ms.inf_dt_days, ms.inf_last_time,
               ms.inf_next_time);
  }
  if (ms.soil_con_trans)
    set_clock(ms.soil_con_clock, ms.soilmoist_dt, ms.soilmoist_dt_days, ms.soilmoist_last_time,
               ms.soilmoist_next_time);
  else
    set_clock(ms.soil_con_clock, ms.inf_dt, ms.inf_dt_days, ms.inf_last_time, ms.inf_next_time);
}

}  // namespace

void init_simulation_clock(model_state& ms) {
  set_start_time(ms);
  set_overland_clock(ms);
  // The overland clock only ever lands on whole model steps.
  const double steps = ms.ov_dt / ms.base_dt;
  if (std::fabs(steps - std::round(steps)) > 1e-6 || steps < 0.5) {
    std::printf("Error: the overland time step of %.3lf s (TIMESTEP) is not a whole number of model\n"
                "time steps of %.3lf s, so overland flow would never be due.  Program terminated.\n",
                ms.ov_dt, ms.base_dt);
    set_error(own_message_code);
    report_error();
    return;
  }
  set_hourly_clocks(ms);
  set_subsurface_clocks(ms);
  set_infiltration_clock(ms);
  if (!set_precipitation_clock(ms)) return;
  set_channel_clocks(ms);
  set_sewer_clock(ms);
  set_constituent_clocks(ms);

  ms.step_count = 0;
  ms.clock_call_count = 0;
  ms.keep_running = 1;
  ms.event_start_time = ms.model_time;
  ms.event_step = 0;
  ms.inf_event_step = 0;
  ms.events_finished = 0;
}

}  // namespace nivra
