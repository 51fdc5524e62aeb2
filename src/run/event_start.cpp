// The start of an event: at the step on which the model clock reaches the
// first date of the event just loaded, the process clocks restart, every
// per-event accumulator is cleared, and the volumes the event's balance
// starts from are recorded.
#include <cmath>
#include <cstdio>

#include "calibration/capture_buffer.h"
#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/interception.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "quality/contaminant/channel_attached_step.h"
#include "quality/contaminant/channel_constituents.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/contaminant/sediment_contaminant_step.h"
#include "quality/sediment/channel_sediment_setup.h"
#include "run/steps.h"
#include "run/water_books.h"
#include "soil/infiltration_step.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "quality/sediment/sediment_books.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

void restart_clocks(model_state& ms) {
  const double t = ms.clock.model_time;
  // The event a soil hot-start was written in goes on with the clocks it
  // had: those of the infiltration and the aquifer were carried.
  const bool goes_on = carried_fronts_go_on(ms);
  clock_state& c = ms.clock;
  ms.clock.ov_last_time = t;
  ms.clock.ov_next_time = t + ms.clock.ov_dt_days;
  const soil_event_clocks& carried = ms.soil.carried_clocks;
  if (goes_on && carried.infiltration.given) {
    resume_clock(carried.infiltration, t, c.inf_dt, c.inf_dt_days, c.inf_last_time, c.inf_next_time);
  } else {
    ms.clock.inf_dt = ms.clock.ov_dt;
    ms.clock.inf_dt_days = ms.clock.ov_dt_days;
    if (ms.clock.inf_next_time > ms.clock.ov_next_time + ms.clock.ov_dt_days) ms.clock.inf_next_time = ms.clock.ov_next_time + ms.clock.ov_dt_days;
  }

  if (ms.constituent.ov_con_trans) {
    // Overland point sources ran up to the event on the constituent clock:
    // the water they discharged since it last moved is still to come.
    const double since = ms.constituent.ov_point_source_given && ms.clock.ov_con_clock.last_time < ms.clock.ov_last_time
                             ? ms.clock.ov_con_clock.last_time
                             : ms.clock.ov_last_time;
    set_clock(ms.clock.ov_con_clock, ms.clock.ov_dt, ms.clock.ov_dt_days, since, ms.clock.ov_next_time);
    if (ms.constituent.contam_table_input) {
      set_clock(ms.clock.contam_table_clock, ms.clock.ov_dt, ms.clock.ov_dt_days, ms.clock.ov_last_time, ms.clock.ov_next_time);
      set_clock(ms.clock.contam_table_soil_clock, ms.clock.inf_dt, ms.clock.inf_dt_days, ms.clock.inf_last_time,
                 ms.clock.inf_next_time);
    }
    if (ms.constituent.nutrients)
      set_clock(ms.clock.nsm_ov_clock, ms.clock.ov_dt, ms.clock.ov_dt_days, ms.clock.ov_last_time, ms.clock.ov_next_time);
  }
  if (ms.groundwater.gw_simulation) {
    if (goes_on && ms.groundwater.carried_gw_clock.given) {
      resume_clock(ms.groundwater.carried_gw_clock, t, c.gw_dt, c.gw_dt_days, c.gw_last_time, c.gw_next_time);
    } else {
      ms.clock.gw_dt = ms.clock.ov_dt;
      ms.clock.gw_dt_days = ms.clock.ov_dt_days;
      if (ms.clock.gw_next_time > ms.clock.ov_next_time + ms.clock.ov_dt_days) ms.clock.gw_next_time = ms.clock.ov_next_time + ms.clock.ov_dt_days;
    }
    ms.groundwater.av_qriv.fill(0.0);
  }
  if (ms.soil.sm_accounting) {
    // The accounting (and the soil constituents that step with it) kept the
    // soil up to its last pass before the event: its next pass, with the
    // infiltration's, covers the time since then, not again the time since
    // the infiltration last ran. An event going on keeps its clock.
    if (goes_on && carried.accounting.given) {
      resume_clock(carried.accounting, t, c.soilmoist_dt, c.soilmoist_dt_days, c.soilmoist_last_time,
                   c.soilmoist_next_time);
    } else {
      ms.clock.soilmoist_dt = ms.clock.inf_dt;
      ms.clock.soilmoist_dt_days = ms.clock.inf_dt_days;
      ms.clock.soilmoist_next_time = ms.clock.inf_next_time;
    }
    if (ms.constituent.soil_con_trans)
      set_clock(ms.clock.soil_con_clock, c.soilmoist_dt, c.soilmoist_dt_days, ms.clock.soil_con_clock.last_time,
                c.soilmoist_next_time);
  }
  if (ms.channel.chan_explic) {
    // The channels step with the model again, however the nearly empty
    // channels of the last dry spell had slowed them.
    ms.clock.chan_dt = ms.clock.dt;
    ms.clock.chan_dt_days = ms.clock.chan_dt / seconds_per_day;
    ms.clock.chan_last_time = ms.clock.ov_last_time;
    ms.clock.chan_next_time = ms.clock.ov_next_time;
    if (ms.constituent.chan_con_trans) {
      for (process_clock* c : {&ms.clock.chan_con_clock, &ms.clock.contam_table_chan_clock, &ms.clock.nsm_chan_clock,
                               &ms.clock.stream_loss_clock})
        set_clock(*c, ms.clock.chan_dt, ms.clock.chan_dt_days, ms.clock.chan_last_time, ms.clock.chan_next_time);
    }
  }
  if (ms.pipe.storm_sewer_given) {
    ms.clock.superlink_active = 1;
    ms.clock.sl_dt = ms.clock.ov_dt;
    ms.clock.sl_dt_days = ms.clock.ov_dt_days;
    if (ms.clock.sl_last_time < ms.clock.ov_last_time) ms.clock.sl_last_time = ms.clock.ov_last_time;
    ms.clock.sl_next_time = ms.clock.ov_next_time;
  }
}

// The surface at the event's start: an event without a hotstart or an
// initial water surface starts dry; wetland cells start with the water of
// their wetland, and the water this gives or takes is booked, except in the
// first event of a run that starts from an overland hot-start another
// run wrote (its companion read), whose wetlands hold the water it
// carried. A long-term
// run whose soil-moisture accounting kept the surface between the events
// keeps it too (its ponded water is the run's to evaporate, soak in or
// route; clearing it would lose it from the run's books).
void reset_surface(model_state& ms) {
  const bool subsurface = ms.soil.inf_richards || ms.groundwater.gw_simulation ||
                          ms.constituent.ov_point_source_given || ms.soil.inf_redist ||
                          (ms.clock.long_term && ms.soil.sm_accounting);
  const bool initial_water = ms.overland.ov_hotstart_read_given || ms.overland.init_elev_head_given;
  const bool carried = ms.overland.hotstart_state_read && ms.clock.clock_call_count == 1;
  const bool wetlands = ms.lake.wetlands_on && !ms.lake.wetland_mask.empty() && !carried;
  const double* blocked = blocked_cells(ms.overland);
  double refill = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    ms.overland.rain_reset[c] = 0;
    if (subsurface) continue;
    const int w = wetlands ? ms.lake.wetland_mask[c] : no_wetland;
    if (wetland_cell(w)) {
      const double depth = ms.lake.wetland_props[w][wetland_prop::water_depth];
      refill += (depth - ms.overland.ov_depth[c]) * open_share(blocked, c);
      ms.overland.ov_depth[c] = depth;
    } else if (!initial_water) {
      ms.overland.ov_depth[c] = 0.0;
    }
  }
  if (refill != 0.0) ms.ledger.book(water_flux::wetland_refill, refill * ms.grid.grid_size * ms.grid.grid_size);
  // The canopy has dried since the last event.
  if (ms.hydromet.interception_coeff_given) ms.ledger.book(water_flux::canopy_drying, dry_canopy(ms));
}

// The event's books open: the ledger's event totals cleared, and the
// event's peak and rain counters with them.
void clear_event_books(model_state& ms) {
  ms.ledger.open_event();
  ms.clock.rain_steps = 0;
  ms.clock.rain_start_min = 0.0;
  ms.clock.event_peak_q = 0.0;
  ms.clock.peak_q = 0.0;
  ms.clock.peak_jdate = 0.0;
  ms.clock.peak_year = ms.clock.peak_month = ms.clock.peak_day = 0;
  ms.clock.peak_hour = ms.clock.peak_minute = ms.clock.peak_second = 0;
  ms.lake.olake_update = 0;
}

// Per-location calibration results of the event start empty.
void clear_location_results(model_state& ms) {
  if (!ms.output.optimize_given) return;
  int locations = 0;
  if (!ms.output.optimize_sed && ms.output.in_hyd_location_given) locations = ms.output.num_hyd_locations;
  if (ms.output.optimize_sed && ms.constituent.in_sed_loc && ms.constituent.chan_sed_on) locations = ms.output.n_sed_loc;
  for (int i = 1; i <= locations; ++i) {
    if (i <= ms.output.hyd_loc_peak_q.size()) ms.output.hyd_loc_peak_q[i] = 0.0;
    if (i <= ms.output.hyd_loc_volume.size()) ms.output.hyd_loc_volume[i] = 0.0;
    if (ms.project.capture) {
      if (i <= ms.project.capture->loc_a.size()) ms.project.capture->loc_a[i] = -999.99;
      if (i <= ms.project.capture->loc_b.size()) ms.project.capture->loc_b[i] = -999.99;
    }
  }
}

}  // namespace

void init_event_state(model_state& ms) {
  if (!is_due(ms, ms.clock.event_first_date_jd)) return;
  ms.overland.ov_water_at_start = 1;
  restart_clocks(ms);
  reset_surface(ms);
  start_infiltration_event(ms);

  if (ms.clock.clock_call_count != 1) ms.clock.event_step = 1;
  ms.clock.inf_event_step = 1;
  // The fronts a soil hot-start carried go on from the step they reached.
  if (ms.soil.fronts_continue_at > 0) {
    ms.clock.inf_event_step = ms.soil.fronts_continue_at;
    ms.soil.fronts_continue_at = 0;
  }
  // The first event of a run started from an overland hot-start written
  // inside an event goes on with that event when it starts where the
  // writing run ended: the water keeps its suspended sediment.
  const double until = ms.overland.carried_event_until;
  ms.overland.carried_event_until = 0.0;
  const bool goes_on = until > 0.0 && std::fabs(ms.clock.model_time - until) <= 0.5 * ms.clock.base_dt / seconds_per_day;
  settle_sediment_between_events(ms, goes_on);
  attached_settles_between_events(ms);
  clear_event_books(ms);
  clear_location_results(ms);
  ms.hydromet.first_rain_pending = 1;
  ms.hydromet.rain_sum = 0.0;

  start_channel_event(ms);
  start_channel_sediment_event(ms);

  // The water the event starts with. An event whose processes leave no
  // water on the grid at its start counts none on the surface.
  book_storages(ms, ledger_moment::event_start);
  open_constituent_event(ms);
  start_channel_constituent_event(ms);
  book_channel_attached_masses(ms, ledger_moment::event_start);
  const bool stored_water = ms.soil.inf_richards || ms.groundwater.gw_simulation || ms.soil.sm_accounting ||
                            ms.lake.overland_lake_map_given || ms.lake.wetlands_on ||
                            ms.overland.ov_hotstart_read_given || ms.overland.init_elev_head_given;
  if (!stored_water) ms.ledger.set_storage(water_store::surface, ledger_moment::event_start, 0.0);
  // An event that starts wet counts its steps from the first.
  const double initial = ms.ledger.storage(water_store::surface, ledger_moment::event_start);
  if (initial > 1e-6) {
    ms.hydromet.first_rain_pending = 0;
    ms.hydromet.rain_sum = initial;
  }
  ms.hydromet.rain_period = 1;
  if (!ms.project.super_quiet && ms.project.optimizer_mode != 1) std::printf("Initialized Arrays\n");

  if (ends_at_total_time(ms)) {
    if (ms.project.optimizer_mode != 1) std::printf("simulation duration %d minutes\n", ms.clock.tot_time);
    ms.clock.event_end_time = ms.clock.event_start_time + ms.clock.tot_time / 1440.0;
  }
}

}  // namespace nivra
