// The routines that close a step: the event's peak outlet discharge, the
// progress line, and the test of whether the event and the run are over.
#include <cmath>
#include <cstdio>

#include "model/model_state.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "surface/blockage.h"

namespace nivra {

namespace {

void end_event(model_state& ms) {
  ms.event_active = 0;
  ms.event_done = 1;
  ms.event_finish_pending = 1;
}

// Clocks of the processes that sleep between events go to the next event.
void clocks_to_next_event(model_state& ms) {
  if (ms.inf_richards || ms.gw_simulation || ms.ov_point_source_given || ms.inf_redist ||
      ms.lake_above_min)
    return;
  ms.ov_next_time = next_event_start(ms);
  ms.ov_last_time = ms.ov_next_time - ms.ov_dt_days;
  if (ms.chan_explic) ms.chan_next_time = ms.ov_next_time;
  if (ms.ov_con_trans) {
    ms.ov_con_clock.next_time = ms.ov_next_time < ms.inf_next_time ? ms.ov_next_time : ms.inf_next_time;
    ms.ov_con_clock.last_time = ms.ov_last_time;
    ms.soil_con_clock.next_time = ms.inf_next_time;
    ms.soil_con_clock.last_time = ms.ov_last_time;
    (ms.chan_explic ? ms.chan_outlet_con_clock : ms.ov_outlet_con_clock).next_time = ms.ov_next_time;
    if (ms.contam_table_input) {
      ms.contam_table_clock.next_time = ms.ov_next_time;
      ms.contam_table_soil_clock.next_time = ms.ov_next_time;
    }
  }
  if (ms.chan_con_trans) {
    for (process_clock* c : {&ms.chan_con_clock, &ms.contam_table_chan_clock, &ms.nsm_chan_clock,
                             &ms.stream_loss_clock}) {
      c->next_time = ms.chan_next_time;
      c->last_time = ms.chan_last_time;
    }
  }
}

bool channel_above_cutoff(const model_state& ms) {
  for (int link = 1; link <= ms.num_stream_links && link <= ms.qp.cols(); ++link)
    for (int node = 1; node <= ms.nx[link] && node <= ms.qp.rows(); ++node)
      if (ms.qp(node, link) > ms.event_min_q) return true;
  return false;
}

// An event of a long-term or framework run whose outlet has fallen below the
// cut-off.
void below_cutoff(model_state& ms) {
  const bool last_event = ms.event_index == ms.num_events;
  if (last_event) {
    const double area = ms.grid_size * ms.grid_size;
    const double* blocked = blocked_cells(ms);
    double v = 0.0;
    for (int c = 1; c <= ms.ncells; ++c) v += ms.ov_depth[c] * open_share(blocked, c);
    ms.vol_surface_final = v * area;
    // Water still standing on the surface keeps the last event going.
    if (ms.vol_rainfall > 0.0 && ms.vol_surface_final - ms.init_vol_overland >= 0.05 * ms.vol_rainfall &&
        !ms.water_table_given && !ms.sacramento_given) {
      ms.keep_running = 1;
      return;
    }
  }
  const bool never_reached = ms.event_min_q > ms.peak_q;
  if (never_reached && ms.chan_explic) {
    if (channel_above_cutoff(ms)) {
      ms.chan_q_above_cutoff = 1;
      ms.keep_running = 1;
      return;
    }
  }
  end_event(ms);
  if (last_event) {
    ms.keep_running = 0;
    if (ms.optimizer_mode != 1)
      std::printf(never_reached
                      ? "simulation ended normally; peak flow after last event fell below cutoff value.\n"
                      : "simulation ended normally; end of data for last event reached\n");
  }
  if (never_reached) {
    if (ms.sm_accounting) ms.sm_event_end = 1;
    if (ms.chan_explic) ms.chan_flow_started = 0;
  }
  clocks_to_next_event(ms);
}

}  // namespace

void track_peak_values(model_state& ms) {
  if (ms.qout > ms.peak_q) {
    ms.peak_q = ms.qout;
    ms.peak_year = ms.cur_year;
    ms.peak_month = ms.cur_month;
    ms.peak_day = ms.cur_day;
    ms.peak_hour = ms.cur_hour;
    ms.peak_minute = ms.cur_minute;
    ms.peak_second = static_cast<int>(ms.cur_second);
    ms.peak_jdate = ms.model_time;
  }
  if (ms.optimize_given && ms.in_hyd_location_given && ms.chan_explic && !ms.optimize_sed) {
    for (int i = 1; i <= ms.num_hyd_locations && i <= ms.hyd_loc_peak_q.size(); ++i) {
      const int node = ms.hnode[i], link = ms.hlink[i];
      if (ms.qp.empty() || node > ms.qp.rows() || link > ms.qp.cols()) continue;
      if (ms.qp(node, link) >= ms.hyd_loc_peak_q[i]) ms.hyd_loc_peak_q[i] = ms.qp(node, link);
    }
  }
}

void print_progress(model_state& ms) {
  const bool channels = ms.chan_explic || ms.chan_mesh;
  if (ms.model_time != (channels ? ms.chan_last_time : ms.ov_last_time)) return;
  if (ms.quiet) return;
  if (!ms.super_quiet && ms.optimizer_mode != 1) {
    const int second = static_cast<int>(ms.cur_second);
    if (ms.qout_cfs)
      std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%10.1lf cfs\n",
                  ms.event_index, ms.elapsed_min, ms.cur_month, ms.cur_day, ms.cur_year, ms.cur_hour,
                  ms.cur_minute, second, ms.qout * ms.cfs_per_cms);
    else
      std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%8.2lf cms\n",
                  ms.event_index, ms.elapsed_min, ms.cur_month, ms.cur_day, ms.cur_year, ms.cur_hour,
                  ms.cur_minute, second, ms.qout);
  }
  if (ms.flush_output) {
    if (++ms.flush_count == ms.flush_buffer) {
      std::fflush(stdout);
      ms.flush_count = 0;
    }
  }
  if (!ms.stream_info) return;
  double max_y = -5000.0, min_y = 5000.0, max_q = -5000.0, min_q = 5000.0;
  int max_y_at[2] = {-1, -1}, min_y_at[2] = {-1, -1}, max_q_at[2] = {-1, -1}, min_q_at[2] = {-1, -1};
  for (int link = 1; link <= ms.num_stream_links && link <= ms.qp.cols(); ++link) {
    for (int node = 1; node <= ms.nx[link] && node <= ms.qp.rows(); ++node) {
      const double y = ms.yp(node, link) - ms.bel(node, link);
      const double q = ms.qp(node, link);
      auto keep = [&](bool better, double& best, int* at, double v) {
        if (!better) return;
        best = v;
        at[0] = node;
        at[1] = link;
      };
      keep(y > max_y, max_y, max_y_at, y);
      keep(y < min_y, min_y, min_y_at, y);
      keep(q > max_q, max_q, max_q_at, q);
      keep(q < min_q, min_q, min_q_at, q);
    }
  }
  std::printf("    ==> Max Yp (N %d, L %d) = %lf\n", max_y_at[0], max_y_at[1], max_y);
  std::printf("    ==> Min Yp (N %d, L %d) = %lf\n", min_y_at[0], min_y_at[1], min_y);
  std::printf("    ==> Max Qp (N %d, L %d) = %lf\n", max_q_at[0], max_q_at[1], max_q);
  std::printf("    ==> Min Qp (N %d, L %d) = %lf\n", min_q_at[0], min_q_at[1], min_q);
}

void check_simulation_end(model_state& ms) {
  if (ms.end_time_given && ms.model_time > ms.end_time) {
    ms.event_done = 1;
    ms.event_finish_pending = 1;
    ms.event_active = 0;
    ms.keep_running = 0;
    return;
  }
  if (!ms.long_term && !ms.zem) {
    // The last step of a single-event run is the one that reaches its end
    // time (to within the clock's tolerance).
    if (ms.model_time > ms.event_end_time - ms.time_tol) {
      ms.keep_running = 0;
      end_event(ms);
    }
  } else if (ms.event_active && ms.precip_event_state != 1 && ms.precip_event_state != 2) {
    if (ms.qout < ms.event_min_q) {
      below_cutoff(ms);
    } else if (ms.event_index == ms.num_events && (ms.water_table_given || ms.sacramento_given) &&
               ms.hourly_next_time == -10.0) {
      end_event(ms);
      ms.keep_running = 0;
    }
  }
  if (ms.event_done == 1) check_analyzers(ms, 4);
}

}  // namespace nivra
