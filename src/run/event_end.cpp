// The end of an event: in the step in which the end test asked for it, the
// event's volumes are totalled, its water balance is closed, the event
// summary is written, and the optimisation output and a calibration
// driver's capture buffer receive the event's outlet results.
#include <cstdio>

#include "calibration/capture_buffer.h"
#include "model/model_state.h"
#include "output/event_summary.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "surface/blockage.h"

namespace nivra {

namespace {

// Water left on the surface; overland-lake cells count their lake's water
// above the ground, which is also the lakes' final volume.
void final_surface(model_state& ms) {
  const double area = ms.grid_size * ms.grid_size;
  const bool olakes = ms.overland_lake_map_given && !ms.oland_lake_new.empty();
  const double* blocked = blocked_cells(ms);
  double surface = 0.0, olake = 0.0;
  bool warned = false;
  for (int c = 1; c <= ms.ncells; ++c) {
    const int k = olakes ? ms.oland_lake_new[c] : 0;
    const bool chan_lake = in_channel_lake(ms, c);
    if (k > 0 && chan_lake && !warned) {
      std::printf("You are simulating overland lakes and perennial lakes, not recommended presently. "
                  "Contact your NIVRA developer for further advice\n\n");
      warned = true;
    }
    if (chan_lake) continue;
    if (k > 0 && k <= ms.olake_table.size()) {
      const double v = (ms.olake_table[k].value[0] - ms.elevation[c]) * area;
      surface += v;
      olake += v;
    } else {
      surface += ms.ov_depth[c] * open_share(blocked, c) * area;
    }
  }
  ms.vol_surface_final = surface;
  if (olakes) ms.ov_lake_final_vol = olake;
}

void close_balance(model_state& ms) {
  ms.sac_event_end_vol = 0.0;
  if (ms.sacramento_given) {
    const sac_record& s = ms.sac_params;
    ms.sac_event_end_vol = (s.uzfwc + s.uztwc + s.lztwc + s.lzfsc + s.lzfpc) * ms.watershed_area / 1000.0;
    ms.direct_evap_vol = ms.sac_et_vol;
  }
  ms.mass_in_plus_initial = ms.event_vol_precip_lake + ms.vol_rainfall + ms.exfil_vol + ms.init_vol_channels +
                            ms.init_vol_overland + ms.gw_to_chan_vol + ms.gw_to_lake_vol + ms.lake_vol_init +
                            ms.init_snow_vol + ms.melt_vol + ms.event_vol_point_src +
                            ms.event_head_bound_in + ms.lake_point_source_vol +
                            ms.stream_point_source_vol + ms.event_dis_bound_in + ms.sl_to_chan_vol +
                            ms.sl_to_ov_vol + ms.sac_event_start_vol;
  ms.mass_out_plus_final = ms.vol_infiltrated + ms.vol_surface_final + ms.vol_channels_final +
                           ms.vol_discharge + ms.direct_evap_vol + ms.final_snow_vol + ms.final_melt_vol +
                           ms.lake_vol_final + ms.chan_to_gw_vol + ms.lake_to_gw_vol +
                           ms.event_head_bound_out + ms.event_slope_bound_out + ms.lake_point_sink_vol +
                           ms.stream_point_sink_vol + ms.event_lake_evap_vol + ms.event_dis_bound_out +
                           ms.sl_ov_in_vol + ms.sac_event_end_vol;
  ms.event_mass_error = ms.mass_in_plus_initial > 1e-16
                            ? (ms.mass_in_plus_initial - ms.mass_out_plus_final) / ms.mass_in_plus_initial
                            : -1.0;
}

// The event's outlet (or wash-load) results: the optimisation output line
// and the capture buffer of a calibration driver.
void optimisation_output(model_state& ms) {
  if (!ms.optimize_given) return;
  std::FILE* f = ms.opt_output_file.fp;
  const int event = ms.event_index;
  const bool cfs = !ms.optimize_sed && ms.qout_cfs;
  const double k = cfs ? 35.32 : 1.0;
  double peak, volume;
  int locations = 0;
  if (ms.optimize_sed) {
    peak = ms.max_wash_rate;
    volume = ms.chan_sed_event.wash_out;
    if (ms.in_sed_loc) locations = ms.n_sed_loc;
  } else {
    peak = ms.event_peak_q;
    volume = ms.vol_discharge;
    if (ms.in_hyd_location_given) locations = ms.num_hyd_locations;
  }
  if (f) {
    if (ms.optimize_sed)
      std::fprintf(f, "%d %9.6lf %13.3lf", event, peak, volume);
    else if (cfs)
      std::fprintf(f, "%d %8.2lf %13.1lf", event, peak * k, volume * k);
    else
      std::fprintf(f, "%d %9.3lf %13.1lf", event, peak, volume);
  }
  capture_buffer* cb = ms.capture;
  for (int i = 1; i <= locations; ++i) {
    const double a = i <= ms.hyd_loc_peak_q.size() ? ms.hyd_loc_peak_q[i] : 0.0;
    const double b = i <= ms.hyd_loc_volume.size() ? ms.hyd_loc_volume[i] : 0.0;
    if (cb && i <= cb->loc_a.size()) cb->loc_a[i] = a;
    if (cb && i <= cb->loc_b.size()) cb->loc_b[i] = b;
    if (!f) continue;
    if (ms.optimize_sed)
      std::fprintf(f, "%9.6lf %13.3lf", a, b);
    else if (cfs)
      std::fprintf(f, "%8.2lf %13.1lf", a * k, b * k);
    else
      std::fprintf(f, "%9.3lf %13.1lf", a, b);
  }
  if (f) {
    std::fputc('\n', f);
    std::fflush(f);
  }
  if (!cb || event < 1) return;
  const int p = cb->loc_stride * (event - 1) + 1;
  auto store = [&](int at, double a, double b) {
    if (at <= cb->series_a.size()) cb->series_a[at] = a * k;
    if (at <= cb->series_b.size()) cb->series_b[at] = b * k;
  };
  store(p, peak, volume);
  for (int i = 1; i <= locations; ++i) {
    const double a = i <= ms.hyd_loc_peak_q.size() ? ms.hyd_loc_peak_q[i] : 0.0;
    const double b = i <= ms.hyd_loc_volume.size() ? ms.hyd_loc_volume[i] : 0.0;
    store(p + i, a, b);
  }
}

}  // namespace

void finish_event(model_state& ms) {
  if (!ms.event_finish_pending) return;
  ms.event_finish_pending = 0;
  ms.event_done = 0;
  const double area = ms.grid_size * ms.grid_size;

  final_surface(ms);
  ms.exfil_vol = ms.exfil_total - ms.exfil_total_start;
  if (ms.chan_lakes) {
    ms.lake_vol_final = 0.0;
    for (int k = 1; k <= ms.num_lakes; ++k) ms.lake_vol_final += ms.lake_volume[k];
  }
  if (ms.snow_present && !ms.snow_swe.empty()) {
    ms.final_snow_vol = 0.0;
    ms.final_melt_vol = 0.0;
    for (int c = 1; c <= ms.ncells; ++c) {
      if (in_channel_lake(ms, c)) continue;
      ms.final_snow_vol += ms.snow_swe[c] * area;
      if (ms.long_term && !ms.snow_melt_to_ov.empty()) ms.final_melt_vol += ms.snow_melt_to_ov[c] * area;
    }
  }

  // Outlet and the totals kept over the run, as changes since the event began.
  ms.vol_discharge = ms.ov_outlet_vol;
  ms.event_peak_q = ms.peak_q;
  ms.event_head_bound_out = ms.head_bound_loss_vol - ms.head_bound_loss_start;
  ms.event_head_bound_in = ms.head_bound_gain_vol - ms.head_bound_gain_start;
  ms.event_slope_bound_out = ms.slope_bound_loss_vol - ms.slope_bound_loss_start;
  ms.event_dis_bound_in = ms.dis_bound_gain_vol - ms.dis_bound_gain_start;
  ms.event_dis_bound_out = ms.dis_bound_loss_vol - ms.dis_bound_loss_start;
  ms.event_dis_bound_unmet = ms.dis_bound_unmet_vol - ms.dis_bound_unmet_start;
  ms.event_vol_point_src = ms.vol_point_src - ms.vol_point_src_start;
  ms.event_lake_evap_vol = ms.lake_evap_vol - ms.lake_evap_vol_start;
  ms.event_xy_bound_gain = ms.xy_bound_gain - ms.xy_bound_gain_start;
  ms.event_xy_bound_loss = ms.xy_bound_loss - ms.xy_bound_loss_start;
  ms.vol_channels_final = ms.chan_explic ? channel_storage_volume(ms) : 0.0;
  close_balance(ms);
  ms.final_soil_moisture = 0.0;

  write_event_summary(ms);
  if (!ms.super_quiet && ms.optimizer_mode != 1) std::printf("finished event \n");
  if (ms.summary_file.fp) std::fflush(ms.summary_file.fp);
  ms.events_finished += 1;
  optimisation_output(ms);
}

}  // namespace nivra
