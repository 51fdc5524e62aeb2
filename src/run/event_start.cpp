// The start of an event: at the step on which the model clock reaches the
// first date of the event just loaded, the process clocks restart, every
// per-event accumulator is cleared, and the volumes the event's balance
// starts from are recorded.
#include <cstdio>

#include "calibration/capture_buffer.h"
#include "model/model_state.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "surface/blockage.h"

namespace nivra {

namespace {

void restart_clocks(model_state& ms) {
  const double t = ms.model_time;
  ms.ov_last_time = t;
  ms.ov_next_time = t + ms.ov_dt_days;
  ms.inf_dt = ms.ov_dt;
  ms.inf_dt_days = ms.ov_dt_days;
  if (ms.inf_next_time > ms.ov_next_time + ms.ov_dt_days) ms.inf_next_time = ms.ov_next_time + ms.ov_dt_days;

  if (ms.ov_con_trans) {
    set_clock(ms.ov_con_clock, ms.ov_dt, ms.ov_dt_days, ms.ov_last_time, ms.ov_next_time);
    if (ms.contam_table_input) {
      set_clock(ms.contam_table_clock, ms.ov_dt, ms.ov_dt_days, ms.ov_last_time, ms.ov_next_time);
      set_clock(ms.contam_table_soil_clock, ms.inf_dt, ms.inf_dt_days, ms.inf_last_time,
                 ms.inf_next_time);
    }
    if (ms.nutrients)
      set_clock(ms.nsm_ov_clock, ms.ov_dt, ms.ov_dt_days, ms.ov_last_time, ms.ov_next_time);
  }
  if (ms.gw_simulation) {
    ms.gw_dt = ms.ov_dt;
    ms.gw_dt_days = ms.ov_dt_days;
    if (ms.gw_next_time > ms.ov_next_time + ms.ov_dt_days) ms.gw_next_time = ms.ov_next_time + ms.ov_dt_days;
    ms.gw_to_chan_vol = 0.0;
    ms.av_qriv.fill(0.0);
  }
  if (ms.sm_accounting) {
    ms.soilmoist_dt = ms.inf_dt;
    ms.soilmoist_dt_days = ms.inf_dt_days;
    ms.soilmoist_last_time = ms.inf_last_time;
    ms.soilmoist_next_time = ms.inf_next_time;
    if (ms.soil_con_trans)
      set_clock(ms.soil_con_clock, ms.inf_dt, ms.inf_dt_days, ms.inf_last_time, ms.inf_next_time);
  }
  if (ms.chan_explic) {
    ms.chan_last_time = ms.ov_last_time;
    ms.chan_next_time = ms.ov_next_time;
    if (ms.chan_con_trans) {
      for (process_clock* c : {&ms.chan_con_clock, &ms.contam_table_chan_clock, &ms.nsm_chan_clock,
                               &ms.stream_loss_clock})
        set_clock(*c, ms.chan_dt, ms.chan_dt_days, ms.chan_last_time, ms.chan_next_time);
    }
  }
  if (ms.storm_sewer_given) {
    ms.sl_dt = ms.ov_dt;
    ms.sl_dt_days = ms.ov_dt_days;
    if (ms.sl_last_time < ms.ov_last_time) ms.sl_last_time = ms.ov_last_time;
    ms.sl_next_time = ms.ov_next_time;
  }
}

// The surface at the event's start: an event without a hotstart or an
// initial water surface starts dry; wetland cells keep their water.
void reset_surface(model_state& ms) {
  const bool subsurface = ms.inf_richards || ms.gw_simulation || ms.ov_point_source_given || ms.inf_redist;
  const bool initial_water = ms.ov_hotstart_read_given || ms.init_elev_head_given;
  const bool wetlands = ms.wetlands_on && !ms.wetland_mask.empty();
  for (int c = 1; c <= ms.ncells; ++c) {
    ms.rain_reset[c] = 0;
    if (subsurface || initial_water) continue;
    if (wetlands && ms.wetland_mask[c] > 0) continue;
    ms.ov_depth[c] = 0.0;
  }
  if (ms.interception_coeff_given && !ms.icep_dep.empty()) ms.icep_dep.fill(0.0);
}

// Water on the grid when the event begins (m3); overland lake cells count
// the lake's water above their ground.
double event_surface_volume(const model_state& ms) {
  const double area = ms.grid_size * ms.grid_size;
  const bool olakes = ms.overland_lake_map_given && !ms.oland_lake_new.empty();
  const double* blocked = blocked_cells(ms);
  double v = 0.0;
  for (int c = 1; c <= ms.ncells; ++c) {
    const int k = olakes ? ms.oland_lake_new[c] : 0;
    if (k > 0 && k <= ms.olake_table.size())
      v += (ms.olake_table[k].value[0] - ms.elevation[c]) * area;
    else
      v += ms.ov_depth[c] * open_share(blocked, c) * area;
  }
  return v;
}

void clear_event_books(model_state& ms) {
  ms.vol_infiltrated = 0.0;
  ms.rain_steps = 0;
  ms.rain_start_min = 0.0;
  ms.vol_rainfall = 0.0;
  ms.event_vol_precip_lake = 0.0;
  ms.vol_overland_to_lake = 0.0;
  ms.vol_overland_from_lake = 0.0;
  ms.vol_discharge = 0.0;
  ms.ov_outlet_vol = 0.0;
  ms.event_peak_q = 0.0;
  ms.peak_q = 0.0;
  ms.peak_jdate = 0.0;
  ms.peak_year = ms.peak_month = ms.peak_day = 0;
  ms.peak_hour = ms.peak_minute = ms.peak_second = 0;
  ms.exfil_vol = 0.0;
  ms.event_vol_point_src = 0.0;
  ms.direct_evap_vol = 0.0;
  ms.gw_recharge_vol = 0.0;
  ms.sl_to_chan_vol = ms.sl_gw_to_tile_vol = ms.sl_ov_in_vol = ms.sl_to_ov_vol = 0.0;
  ms.sl_drain_vol_init = 0.0;
  ms.init_vol_channels = 0.0;
  ms.init_snow_vol = 0.0;
  ms.melt_vol = 0.0;
  ms.lake_vol_init = 0.0;
  ms.gw_to_lake_vol = ms.lake_to_gw_vol = 0.0;
  ms.chan_to_gw_vol = 0.0;
  ms.stream_point_source_vol = ms.stream_point_sink_vol = 0.0;
  ms.lake_point_source_vol = ms.lake_point_sink_vol = 0.0;
  ms.event_lake_evap_vol = 0.0;
  ms.event_lateral_net_vol = ms.event_lateral_in_vol = ms.event_lateral_out_vol = 0.0;
  ms.event_head_bound_in = ms.event_head_bound_out = ms.event_slope_bound_out = 0.0;
  ms.event_dis_bound_in = ms.event_dis_bound_out = ms.event_dis_bound_unmet = 0.0;
  ms.event_xy_bound_gain = ms.event_xy_bound_loss = 0.0;
  ms.vol_surface_final = ms.vol_channels_final = 0.0;
  ms.final_snow_vol = ms.final_melt_vol = 0.0;
  ms.olake_update = 0;

  // The run totals as they stand now, so that the event's share is their change.
  ms.exfil_total_start = ms.exfil_total;
  ms.total_interception_start = ms.total_interception;
  ms.total_chan_point_sources_start = ms.total_chan_point_sources;
  ms.lake_evap_vol_start = ms.lake_evap_vol;
  ms.head_bound_loss_start = ms.head_bound_loss_vol;
  ms.head_bound_gain_start = ms.head_bound_gain_vol;
  ms.slope_bound_loss_start = ms.slope_bound_loss_vol;
  ms.dis_bound_gain_start = ms.dis_bound_gain_vol;
  ms.dis_bound_loss_start = ms.dis_bound_loss_vol;
  ms.dis_bound_unmet_start = ms.dis_bound_unmet_vol;
  ms.vol_point_src_start = ms.vol_point_src;
  ms.xy_bound_gain_start = ms.xy_bound_gain;
  ms.xy_bound_loss_start = ms.xy_bound_loss;
}

// Per-location calibration results of the event start empty.
void clear_location_results(model_state& ms) {
  if (!ms.optimize_given) return;
  int locations = 0;
  if (!ms.optimize_sed && ms.in_hyd_location_given) locations = ms.num_hyd_locations;
  if (ms.optimize_sed && ms.in_sed_loc && ms.chan_sed_on) locations = ms.n_sed_loc;
  for (int i = 1; i <= locations; ++i) {
    if (i <= ms.hyd_loc_peak_q.size()) ms.hyd_loc_peak_q[i] = 0.0;
    if (i <= ms.hyd_loc_volume.size()) ms.hyd_loc_volume[i] = 0.0;
    if (ms.capture) {
      if (i <= ms.capture->loc_a.size()) ms.capture->loc_a[i] = -999.99;
      if (i <= ms.capture->loc_b.size()) ms.capture->loc_b[i] = -999.99;
    }
  }
}

void initial_stores(model_state& ms) {
  const double area = ms.grid_size * ms.grid_size;
  if (ms.sacramento_given) {
    ms.sac_baseflow_vol = ms.sac_et_vol = ms.sac_infil_vol = 0.0;
    const sac_record& s = ms.sac_params;
    ms.sac_event_start_vol = (s.uzfwc + s.uztwc + s.lztwc + s.lzfsc + s.lzfpc) * ms.watershed_area / 1000.0;
  }
  if (ms.chan_explic) ms.init_vol_channels = channel_storage_volume(ms);
  if (ms.chan_lakes)
    for (int k = 1; k <= ms.num_lakes; ++k) ms.lake_vol_init += ms.lake_volume[k];
  if (ms.snow_present && !ms.snow_swe.empty()) {
    for (int c = 1; c <= ms.ncells; ++c) {
      if (in_channel_lake(ms, c)) continue;
      ms.init_snow_vol += ms.snow_swe[c] * area;
      if (ms.long_term && !ms.snow_melt_to_ov.empty()) ms.melt_vol += ms.snow_melt_to_ov[c] * area;
    }
  }
}

}  // namespace

void init_event_state(model_state& ms) {
  if (!is_due(ms, ms.event_first_date_jd)) return;
  ms.ov_water_at_start = 1;
  restart_clocks(ms);
  if (ms.inf_richards) {
    ms.init_soil_water = 0.0;
    ms.init_soil_vol = 0.0;
    ms.n_cells_start_event = 0;
  }
  reset_surface(ms);

  if (ms.clock_call_count != 1) ms.event_step = 1;
  ms.inf_event_step = 1;
  clear_event_books(ms);
  clear_location_results(ms);
  ms.first_rain_pending = 1;
  ms.rain_sum = 0.0;

  ms.init_vol_overland = 0.0;
  const bool stored_water = ms.inf_richards || ms.gw_simulation || ms.sm_accounting ||
                            ms.overland_lake_map_given || ms.wetlands_on ||
                            ms.ov_hotstart_read_given || ms.init_elev_head_given;
  if (stored_water) {
    ms.init_vol_overland = event_surface_volume(ms);
    // An event that starts wet counts its steps from the first.
    if (ms.init_vol_overland > 1e-6) {
      ms.first_rain_pending = 0;
      ms.rain_sum = ms.init_vol_overland;
    }
  }
  ms.rain_period = 1;
  if (!ms.super_quiet && ms.optimizer_mode != 1) std::printf("Initialized Arrays\n");

  if (!ms.long_term && !ms.zem) {
    if (ms.optimizer_mode != 1) std::printf("simulation duration %d minutes\n", ms.tot_time);
    ms.event_end_time = ms.event_start_time + ms.tot_time / 1440.0;
  }
  initial_stores(ms);
}

}  // namespace nivra
