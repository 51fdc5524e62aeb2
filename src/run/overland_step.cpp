// The overland step of the time loop: when overland flow is due it checks
// the depths, books the lake exchange, routes the water with the chosen
// kernel, keeps the outlet discharge and volume, and moves its clock on.
// After the rain it also notices the end of a single-event run whose
// channels have drained, and in a long-term run it skips the dry time up to
// the next event.
#include <cmath>
#include <cstdio>

#include "channel/pumps.h"
#include "core/errors.h"
#include "core/process.h"
#include "model/model_state.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "surface/overland.h"

namespace nivra {

namespace {

// Sets ov_wet and ov_flowing from the cells outside the lakes; false (after
// the message, with the run stopped) at a depth that is not a number.
bool scan_cells(model_state& ms, const char* when) {
  const int n = ms.ncells;
  const double* h = ms.ov_depth.data();
  const double* qx = ms.ov_qx.data();
  const double* qy = ms.ov_qy.data();
  const int* olake = ms.overland_lake_map_given && !ms.oland_lake_new.empty() ? ms.oland_lake_new.data()
                                                                              : nullptr;
  const int* lake = ms.chan_lakes && !ms.lake_mask.empty() ? ms.lake_mask.data() : nullptr;
  int wet = 0, flowing = 0;
  for (int c = 1; c <= n; ++c) {
    if ((olake && olake[c] > 0) || (lake && lake[c] > 0)) continue;
    if (std::isnan(h[c])) {
      std::printf("A non-real overland flow water depth has been detected in cell %d %s\n", c, when);
      set_error(own_message_code);
      report_error();
      return false;
    }
    wet |= h[c] > 1e-16;
    flowing |= std::fabs(qx[c]) > 1e-16 || std::fabs(qy[c]) > 1e-16;
  }
  ms.ov_wet = wet;
  ms.ov_flowing = flowing;
  return true;
}

// The overland-lake exchange of the channel lakes goes into the run and
// event books and starts again from zero.
void book_lake_exchange(model_state& ms) {
  if (!ms.chan_lakes || ms.num_lakes < 1) return;
  for (int k = 1; k <= ms.num_lakes; ++k) {
    ms.lake_vol_in_run += ms.lake_in_dv[k];
    ms.vol_overland_to_lake += ms.lake_in_dv[k];
    ms.lake_vol_out_run += ms.lake_out_dv[k];
    ms.vol_overland_from_lake += ms.lake_out_dv[k];
    ms.lake_in_dv[k] = 0.0;
    ms.lake_out_dv[k] = 0.0;
  }
}

void apply_snow_roughness(model_state& ms) {
  for (int c = 1; c <= ms.ncells; ++c)
    ms.dist_rough[c] = ms.snow_swe[c] > 1e-16 ? ms.snow_manning_n : ms.dist_rough_copy[c];
}

void route(model_state& ms, double dt) {
  const double result = ms.overtype == 1 ? route_overland_explicit(ms, dt) : route_overland_ade(ms, dt);
  // A kernel that failed has reported it; its result is not a volume.
  if (process.error_block.code != 0 || process.error_block.stop) return;
  ms.qout = result;
  const int n = ms.ncells;
  const bool lakes = (ms.chan_lakes && ms.num_lakes > 0) || ms.overland_lake_map_given;
  if (ms.overtype == 2 && !lakes) {
    double* qx = ms.ov_qx.data();
    double* qy = ms.ov_qy.data();
    const double* vx = ms.ov_volx.data();
    const double* vy = ms.ov_voly.data();
    for (int c = 1; c <= n; ++c) {
      qx[c] = vx[c] / dt;
      qy[c] = vy[c] / dt;
    }
  }
  if (ms.flood_grid_given && ms.flood_depth_max.size() == n) {
    double* peak = ms.flood_depth_max.data();
    const double* h = ms.ov_depth.data();
    for (int c = 1; c <= n; ++c)
      if (h[c] > peak[c]) peak[c] = h[c];
  }
  ms.ade_sweep = ms.ade_sweep == 1 ? 2 : 1;
  if (!ms.chan_explic) {
    // Without channels the kernel hands back the volume that left the outlet.
    ms.ov_outlet_vol += result;
    ms.total_discharge += result;
    if (ms.ov_con_trans) ms.outlet_vol_step += result;
    ms.qout = result / dt;
  }
}

// A single-event run with channels ends once the rain is over, the grid is
// dry and the channels hold almost nothing of the event's rain.
void end_when_drained(model_state& ms) {
  const double v = channel_storage_volume(ms);
  ms.vol_channels_final = v;
  if (0.0001 * ms.vol_rainfall > v) {
    std::printf("Rainfall for this event has ended.\n");
    if (ms.summary_file.fp) {
      std::fprintf(ms.summary_file.fp, "Rainfall for this event ended. Runoff is complete\n");
      std::fflush(ms.summary_file.fp);
    }
    ms.event_active = 0;
    ms.event_finish_pending = 1;
    ms.keep_running = 0;
  }
}

// Between events of a long-term run the overland clock sleeps until the
// next event; the infiltration, groundwater and constituent clocks follow.
void skip_dry_period(model_state& ms) {
  ms.ov_water_at_start = 0;
  ms.ov_next_time = next_event_start(ms);
  ms.ov_last_time = ms.ov_next_time - ms.ov_dt_days;
  ms.qout = 0.0;
  if ((ms.inf_richards || ms.gw_simulation || (ms.inf_redist && ms.inf_redist_active)) && ms.ov_wet) {
    ms.inf_next_time = ms.hourly_next_time;
    ms.inf_dt = ms.hourly_dt;
    ms.inf_dt_days = ms.hourly_dt_days;
    ms.soilmoist_next_time = ms.inf_next_time;
    if (ms.soil_con_trans) ms.soil_con_clock.next_time = ms.inf_next_time;
    ms.soilmoist_dt = ms.inf_dt;
    ms.soilmoist_dt_days = ms.inf_dt_days;
  } else {
    ms.inf_next_time = ms.ov_next_time;
    ms.inf_last_time = ms.ov_last_time;
  }
  if (ms.gw_simulation) {
    const bool set_gw = !ms.chan_flow_started;
    if (ms.inf_dt > ms.gw_timestep) {
      if (set_gw) {
        ms.gw_dt = ms.gw_timestep;
        ms.gw_dt_days = ms.gw_timestep / seconds_per_day;
        ms.gw_next_time = ms.model_time < ms.hourly_next_time ? ms.model_time : ms.hourly_next_time;
      }
      ms.inf_dt = ms.gw_dt;
      ms.inf_dt_days = ms.gw_dt_days;
      ms.inf_next_time = ms.model_time + ms.gw_dt_days;
    } else if (set_gw) {
      ms.gw_dt = ms.gw_timestep;
      ms.gw_dt_days = ms.gw_timestep / seconds_per_day;
      ms.gw_next_time = ms.model_time;
    }
  }
  if (ms.ov_con_trans) {
    for (process_clock* c : {&ms.ov_con_clock, &ms.soil_con_clock, &ms.contam_table_clock,
                             &ms.contam_table_soil_clock}) {
      c->next_time = ms.inf_next_time;
      c->dt = ms.inf_dt;
      c->dt_days = ms.inf_dt_days;
    }
    (ms.chan_explic ? ms.chan_outlet_con_clock : ms.ov_outlet_con_clock).next_time = ms.ov_next_time;
  }
}

}  // namespace

void overland_routing_step(model_state& ms) {
  if (!is_due(ms, ms.ov_next_time)) return;
  // The time since the last overland step, which the dry-period skip may
  // have made longer than one overland step.
  const double dt = seconds_since(ms, ms.ov_last_time);
  ms.ov_flowing = 0;
  ms.ov_wet = 0;

  if (ms.long_term && ms.snow_roughness_given) apply_snow_roughness(ms);
  if (ms.ov_boundary) overland_boundary(ms, dt);
  if (ms.ov_pump_given) {
    apply_pumps(ms, dt);
    if (process.error_block.stop) return;
  }
  if (!scan_cells(ms, "after applying overland boundary conditions and overland pumping.")) return;

  ms.qout = 0.0;
  book_lake_exchange(ms);
  if (ms.ov_wet) {
    route(ms, dt);
    if (process.error_block.code != 0 || process.error_block.stop) return;
  }
  if (ms.overland_lake_map_given) ms.olake_update = 1;
  book_lake_exchange(ms);

  ms.ov_last_time = ms.model_time;
  ms.ov_next_time = ms.model_time + ms.ov_dt_days;
  if (ms.rain_on) return;

  if (!scan_cells(ms, "after overland flow routing.")) return;
  if (!ms.long_term && !ms.ov_wet && !ms.zem && ms.chan_explic == 1) end_when_drained(ms);
  if (ms.long_term && !ms.any_exfil && !ms.ov_pump_given && !ms.overbank_flow && !ms.superlink_wet &&
      !(ms.ov_wet && ms.ov_flowing))
    skip_dry_period(ms);
}

}  // namespace nivra
