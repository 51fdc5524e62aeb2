// The end of an event: in the step in which the end test asked for it, the
// event's volumes are totalled, its water balance is closed, the event
// summary is written, and the optimisation output and a calibration
// driver's capture buffer receive the event's outlet results.
#include <cstdio>

#include "calibration/capture_buffer.h"
#include "channel/channel_state.h"
#include "channel/pipe_state.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/event_summary.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "run/clock_state.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

// Water left on the surface; overland-lake cells count their lake's water
// above the ground, which is also the lakes' final volume.
void final_surface(model_state& ms) {
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const bool olakes = ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty();
  const double* blocked = blocked_cells(ms.overland);
  double surface = 0.0, olake = 0.0;
  bool warned = false;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const int k = olakes ? ms.lake.oland_lake_new[c] : 0;
    const bool chan_lake = in_channel_lake(ms, c);
    if (k > 0 && chan_lake && !warned) {
      std::printf("You are simulating overland lakes and perennial lakes, not recommended presently. "
                  "Contact your NIVRA developer for further advice\n\n");
      warned = true;
    }
    if (chan_lake) continue;
    if (k > 0 && k <= ms.lake.olake_table.size()) {
      const double v = (ms.lake.olake_table[k].value[0] - ms.grid.elevation[c]) * area;
      surface += v;
      olake += v;
    } else {
      surface += ms.overland.ov_depth[c] * open_share(blocked, c) * area;
    }
  }
  ms.overland.vol_surface_final = surface;
  if (olakes) ms.lake.ov_lake_final_vol = olake;
}

void close_balance(model_state& ms) {
  ms.groundwater.sac_event_end_vol = 0.0;
  if (ms.groundwater.sacramento_given) {
    const sac_record& s = ms.groundwater.sac_params;
    ms.groundwater.sac_event_end_vol = (s.uzfwc + s.uztwc + s.lztwc + s.lzfsc + s.lzfpc) * ms.grid.watershed_area / 1000.0;
    ms.soil.direct_evap_vol = ms.groundwater.sac_et_vol;
  }
  ms.clock.mass_in_plus_initial = ms.lake.event_vol_precip_lake + ms.hydromet.vol_rainfall + ms.groundwater.exfil_vol + ms.channel.init_vol_channels +
                            ms.overland.init_vol_overland + ms.channel.gw_to_chan_vol + ms.lake.gw_to_lake_vol + ms.lake.lake_vol_init +
                            ms.hydromet.init_snow_vol + ms.hydromet.melt_vol + ms.overland.event_vol_point_src +
                            ms.overland.event_head_bound_in + ms.lake.lake_point_source_vol +
                            ms.channel.stream_point_source_vol + ms.overland.event_dis_bound_in + ms.pipe.sl_to_chan_vol +
                            ms.pipe.sl_to_ov_vol + ms.groundwater.sac_event_start_vol;
  ms.clock.mass_out_plus_final = ms.soil.vol_infiltrated + ms.overland.vol_surface_final + ms.channel.vol_channels_final +
                           ms.channel.vol_discharge + ms.soil.direct_evap_vol + ms.hydromet.final_snow_vol + ms.hydromet.final_melt_vol +
                           ms.lake.lake_vol_final + ms.channel.chan_to_gw_vol + ms.lake.lake_to_gw_vol +
                           ms.overland.event_head_bound_out + ms.overland.event_slope_bound_out + ms.lake.lake_point_sink_vol +
                           ms.channel.stream_point_sink_vol + ms.lake.event_lake_evap_vol + ms.overland.event_dis_bound_out +
                           ms.pipe.sl_ov_in_vol + ms.groundwater.sac_event_end_vol;
  ms.clock.event_mass_error = ms.clock.mass_in_plus_initial > 1e-16
                            ? (ms.clock.mass_in_plus_initial - ms.clock.mass_out_plus_final) / ms.clock.mass_in_plus_initial
                            : -1.0;
}

// The event's outlet (or wash-load) results: the optimisation output line
// and the capture buffer of a calibration driver.
void optimisation_output(model_state& ms) {
  if (!ms.output.optimize_given) return;
  std::FILE* f = ms.output.opt_output_file.fp;
  const int event = ms.clock.event_index;
  const bool cfs = !ms.output.optimize_sed && ms.output.qout_cfs;
  const double k = cfs ? 35.32 : 1.0;
  double peak, volume;
  int locations = 0;
  if (ms.output.optimize_sed) {
    peak = ms.constituent.max_wash_rate;
    volume = ms.constituent.chan_sed_event.wash_out;
    if (ms.constituent.in_sed_loc) locations = ms.output.n_sed_loc;
  } else {
    peak = ms.clock.event_peak_q;
    volume = ms.channel.vol_discharge;
    if (ms.output.in_hyd_location_given) locations = ms.output.num_hyd_locations;
  }
  if (f) {
    if (ms.output.optimize_sed)
      std::fprintf(f, "%d %9.6lf %13.3lf", event, peak, volume);
    else if (cfs)
      std::fprintf(f, "%d %8.2lf %13.1lf", event, peak * k, volume * k);
    else
      std::fprintf(f, "%d %9.3lf %13.1lf", event, peak, volume);
  }
  capture_buffer* cb = ms.project.capture;
  for (int i = 1; i <= locations; ++i) {
    const double a = i <= ms.output.hyd_loc_peak_q.size() ? ms.output.hyd_loc_peak_q[i] : 0.0;
    const double b = i <= ms.output.hyd_loc_volume.size() ? ms.output.hyd_loc_volume[i] : 0.0;
    if (cb && i <= cb->loc_a.size()) cb->loc_a[i] = a;
    if (cb && i <= cb->loc_b.size()) cb->loc_b[i] = b;
    if (!f) continue;
    if (ms.output.optimize_sed)
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
    const double a = i <= ms.output.hyd_loc_peak_q.size() ? ms.output.hyd_loc_peak_q[i] : 0.0;
    const double b = i <= ms.output.hyd_loc_volume.size() ? ms.output.hyd_loc_volume[i] : 0.0;
    store(p + i, a, b);
  }
}

}  // namespace

void finish_event(model_state& ms) {
  if (!ms.clock.event_finish_pending) return;
  ms.clock.event_finish_pending = 0;
  ms.clock.event_done = 0;
  const double area = ms.grid.grid_size * ms.grid.grid_size;

  final_surface(ms);
  ms.groundwater.exfil_vol = ms.groundwater.exfil_total - ms.groundwater.exfil_total_start;
  if (ms.lake.chan_lakes) {
    ms.lake.lake_vol_final = 0.0;
    for (int k = 1; k <= ms.lake.num_lakes; ++k) ms.lake.lake_vol_final += ms.lake.lake_volume[k];
  }
  if (ms.hydromet.snow_present && !ms.hydromet.snow_swe.empty()) {
    ms.hydromet.final_snow_vol = 0.0;
    ms.hydromet.final_melt_vol = 0.0;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      if (in_channel_lake(ms, c)) continue;
      ms.hydromet.final_snow_vol += ms.hydromet.snow_swe[c] * area;
      if (ms.clock.long_term && !ms.hydromet.snow_melt_to_ov.empty()) ms.hydromet.final_melt_vol += ms.hydromet.snow_melt_to_ov[c] * area;
    }
  }

  // Outlet and the totals kept over the run, as changes since the event began.
  ms.channel.vol_discharge = ms.overland.ov_outlet_vol;
  ms.clock.event_peak_q = ms.clock.peak_q;
  ms.overland.event_head_bound_out = ms.overland.head_bound_loss_vol - ms.overland.head_bound_loss_start;
  ms.overland.event_head_bound_in = ms.overland.head_bound_gain_vol - ms.overland.head_bound_gain_start;
  ms.overland.event_slope_bound_out = ms.overland.slope_bound_loss_vol - ms.overland.slope_bound_loss_start;
  ms.overland.event_dis_bound_in = ms.overland.dis_bound_gain_vol - ms.overland.dis_bound_gain_start;
  ms.overland.event_dis_bound_out = ms.overland.dis_bound_loss_vol - ms.overland.dis_bound_loss_start;
  ms.overland.event_dis_bound_unmet = ms.overland.dis_bound_unmet_vol - ms.overland.dis_bound_unmet_start;
  ms.overland.event_vol_point_src = ms.overland.vol_point_src - ms.overland.vol_point_src_start;
  ms.lake.event_lake_evap_vol = ms.lake.lake_evap_vol - ms.lake.lake_evap_vol_start;
  ms.output.event_xy_bound_gain = ms.output.xy_bound_gain - ms.output.xy_bound_gain_start;
  ms.output.event_xy_bound_loss = ms.output.xy_bound_loss - ms.output.xy_bound_loss_start;
  ms.channel.vol_channels_final = ms.channel.chan_explic ? channel_storage_volume(ms) : 0.0;
  close_balance(ms);
  ms.soil.final_soil_moisture = 0.0;

  write_event_summary(ms);
  if (!ms.project.super_quiet && ms.project.optimizer_mode != 1) std::printf("finished event \n");
  if (ms.output.summary_file.fp) std::fflush(ms.output.summary_file.fp);
  ms.clock.events_finished += 1;
  optimisation_output(ms);
}

}  // namespace nivra
