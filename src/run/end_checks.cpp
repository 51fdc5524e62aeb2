// The routines that close a step: the event's peak outlet discharge, the
// progress line, and the test of whether the event and the run are over.
#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/analyzer.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "run/steps.h"
#include "soil/soil_state.h"
#include "surface/overland_state.h"
#include "surface/surface_storage.h"

namespace nivra {

namespace {

void end_event(model_state& ms) {
  ms.clock.event_active = 0;
  ms.clock.event_done = 1;
  ms.clock.event_finish_pending = 1;
}

// Clocks of the processes that sleep between events go to the next event.
void clocks_to_next_event(model_state& ms) {
  if (ms.soil.inf_richards || ms.groundwater.gw_simulation || ms.constituent.ov_point_source_given || ms.soil.inf_redist ||
      ms.clock.lake_above_min)
    return;
  ms.clock.ov_next_time = next_event_start(ms);
  ms.clock.ov_last_time = ms.clock.ov_next_time - ms.clock.ov_dt_days;
  if (ms.channel.chan_explic) ms.clock.chan_next_time = ms.clock.ov_next_time;
  if (ms.constituent.ov_con_trans) {
    ms.clock.ov_con_clock.next_time = ms.clock.ov_next_time < ms.clock.inf_next_time ? ms.clock.ov_next_time : ms.clock.inf_next_time;
    ms.clock.ov_con_clock.last_time = ms.clock.ov_last_time;
    ms.clock.soil_con_clock.next_time = ms.clock.inf_next_time;
    ms.clock.soil_con_clock.last_time = ms.clock.ov_last_time;
    (ms.channel.chan_explic ? ms.clock.chan_outlet_con_clock : ms.clock.ov_outlet_con_clock).next_time = ms.clock.ov_next_time;
    if (ms.constituent.contam_table_input) {
      ms.clock.contam_table_clock.next_time = ms.clock.ov_next_time;
      ms.clock.contam_table_soil_clock.next_time = ms.clock.ov_next_time;
    }
  }
  if (ms.constituent.chan_con_trans) {
    for (process_clock* c : {&ms.clock.chan_con_clock, &ms.clock.contam_table_chan_clock, &ms.clock.nsm_chan_clock,
                             &ms.clock.stream_loss_clock}) {
      c->next_time = ms.clock.chan_next_time;
      c->last_time = ms.clock.chan_last_time;
    }
  }
}

bool channel_above_cutoff(const model_state& ms) {
  for (int link = 1; link <= ms.channel.num_stream_links && link <= ms.channel.qp.cols(); ++link)
    for (int node = 1; node <= ms.channel.nx[link] && node <= ms.channel.qp.rows(); ++node)
      if (ms.channel.qp(node, link) > ms.hydromet.event_min_q) return true;
  return false;
}

// An event of a long-term or framework run whose outlet has fallen below the
// cut-off.
void below_cutoff(model_state& ms) {
  const bool last_event = ms.clock.event_index == ms.clock.num_events;
  if (last_event) {
    // Water still standing on the surface keeps the last event going.
    const double rain = ms.ledger.event_total(water_flux::rainfall_to_overland);
    const double standing = surface_storage(ms, overland_lake_cells::ponded_depth, area_applied::to_the_sum);
    if (rain > 0.0 && standing - ms.ledger.storage(water_store::surface, ledger_moment::event_start) >= 0.05 * rain &&
        !ms.groundwater.water_table_given && !ms.groundwater.sacramento_given && !ms.groundwater.conceptual_gw_given) {
      ms.clock.keep_running = 1;
      return;
    }
  }
  const bool never_reached = ms.hydromet.event_min_q > ms.clock.peak_q;
  if (never_reached && ms.channel.chan_explic) {
    if (channel_above_cutoff(ms)) {
      ms.clock.chan_q_above_cutoff = 1;
      ms.clock.keep_running = 1;
      return;
    }
  }
  end_event(ms);
  if (last_event) {
    ms.clock.keep_running = 0;
    if (ms.project.optimizer_mode != 1)
      std::printf(never_reached
                      ? "simulation ended normally; peak flow after last event fell below cutoff value.\n"
                      : "simulation ended normally; end of data for last event reached\n");
  }
  if (never_reached) {
    if (ms.soil.sm_accounting) ms.clock.sm_event_end = 1;
    if (ms.channel.chan_explic) ms.clock.chan_flow_started = 0;
  }
  clocks_to_next_event(ms);
}

// A long-term event ends once its outlet falls below EVENT_MIN_Q; one whose
// outlet stays above it (baseflow) runs on at the model's step until the
// next storm. The first event of the run kept going a week after its start
// says so, once.
void warn_of_long_event(model_state& ms) {
  clock_state& c = ms.clock;
  if (c.long_event_warned || !c.long_term || c.model_time - c.event_start_julian <= 7.0) return;
  c.long_event_warned = 1;
  char text[640];
  std::snprintf(text, sizeof text,
                "WARNING: event %d, which began on %d/%d/%d at %d:%2.2d, has run for more than a week: the outlet "
                "discharge (%g m3/s) has not fallen below EVENT_MIN_Q (%g m3/s) since its rain ended, so the "
                "event runs on at the model's time step until the next storm. Where baseflow keeps the outlet "
                "above it, set EVENT_MIN_Q above the baseflow. This warning is given once per run.\n",
                c.event_index, c.event_start_year, c.event_start_month, c.event_start_day, c.event_start_hour,
                c.event_start_minute, ms.overland.qout, ms.hydromet.event_min_q);
  report_text(text);
}

}  // namespace

void track_peak_values(model_state& ms) {
  if (ms.overland.qout > ms.clock.peak_q) {
    ms.clock.peak_q = ms.overland.qout;
    ms.clock.peak_year = ms.clock.cur_year;
    ms.clock.peak_month = ms.clock.cur_month;
    ms.clock.peak_day = ms.clock.cur_day;
    ms.clock.peak_hour = ms.clock.cur_hour;
    ms.clock.peak_minute = ms.clock.cur_minute;
    ms.clock.peak_second = static_cast<int>(ms.clock.cur_second);
    ms.clock.peak_jdate = ms.clock.model_time;
  }
  if (ms.output.optimize_given && ms.output.in_hyd_location_given && ms.channel.chan_explic && !ms.output.optimize_sed) {
    for (int i = 1; i <= ms.output.num_hyd_locations && i <= ms.output.hyd_loc_peak_q.size(); ++i) {
      const int node = ms.output.hnode[i], link = ms.output.hlink[i];
      if (ms.channel.qp.empty() || node > ms.channel.qp.rows() || link > ms.channel.qp.cols()) continue;
      if (ms.channel.qp(node, link) >= ms.output.hyd_loc_peak_q[i]) ms.output.hyd_loc_peak_q[i] = ms.channel.qp(node, link);
    }
  }
}

void print_progress(model_state& ms) {
  const bool channels = ms.channel.chan_explic || ms.channel.chan_mesh;
  if (ms.clock.model_time != (channels ? ms.clock.chan_last_time : ms.clock.ov_last_time)) return;
  if (ms.project.quiet) return;
  if (!ms.project.super_quiet && ms.project.optimizer_mode != 1) {
    const int second = static_cast<int>(ms.clock.cur_second);
    if (ms.output.qout_cfs)
      std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%10.1lf cfs\n",
                  ms.clock.event_index, ms.clock.elapsed_min, ms.clock.cur_month, ms.clock.cur_day, ms.clock.cur_year, ms.clock.cur_hour,
                  ms.clock.cur_minute, second, ms.overland.qout * ms.output.cfs_per_cms);
    else
      std::printf("event %2d elapsed time %8.2lf  %2d/%2.2d/%2.2d %2.2d:%2.2d:%2.2d Qout=%8.2lf cms\n",
                  ms.clock.event_index, ms.clock.elapsed_min, ms.clock.cur_month, ms.clock.cur_day, ms.clock.cur_year, ms.clock.cur_hour,
                  ms.clock.cur_minute, second, ms.overland.qout);
  }
  if (ms.output.flush_output) {
    if (++ms.clock.flush_count == ms.output.flush_buffer) {
      std::fflush(stdout);
      ms.clock.flush_count = 0;
    }
  }
  if (!ms.channel.stream_info) return;
  double max_y = -5000.0, min_y = 5000.0, max_q = -5000.0, min_q = 5000.0;
  int max_y_at[2] = {-1, -1}, min_y_at[2] = {-1, -1}, max_q_at[2] = {-1, -1}, min_q_at[2] = {-1, -1};
  for (int link = 1; link <= ms.channel.num_stream_links && link <= ms.channel.qp.cols(); ++link) {
    for (int node = 1; node <= ms.channel.nx[link] && node <= ms.channel.qp.rows(); ++node) {
      const double y = ms.channel.yp(node, link) - ms.channel.bel(node, link);
      const double q = ms.channel.qp(node, link);
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
  // END_TIME ends the run on the step that reaches it (the clock cut the
  // last step short to land on it). The event under way ends with it; a
  // long-term run that reaches it between storms has no event to close, its
  // last one having been closed and summarised when it ended.
  if (ms.clock.end_time_given && ms.clock.model_time > ms.clock.end_time - ms.clock.time_tol) {
    ms.clock.ended_in_event = ms.clock.event_active;
    if (ms.clock.event_active || !ms.clock.long_term) {
      ms.clock.event_done = 1;
      ms.clock.event_finish_pending = 1;
      ms.clock.event_active = 0;
    }
    ms.clock.keep_running = 0;
    return;
  }
  if (ends_at_total_time(ms)) {
    // The last step of a single-event run is the one that reaches its end
    // time (to within the clock's tolerance).
    if (ms.clock.model_time > ms.clock.event_end_time - ms.clock.time_tol) {
      ms.clock.keep_running = 0;
      ms.clock.ended_in_event = ms.clock.event_active;
      end_event(ms);
    }
  } else if (ms.clock.event_active && ms.clock.precip_event_state != 1 && ms.clock.precip_event_state != 2) {
    if (ms.overland.qout < ms.hydromet.event_min_q) {
      below_cutoff(ms);
    } else {
      warn_of_long_event(ms);
      if (ms.clock.event_index == ms.clock.num_events && (ms.groundwater.water_table_given || ms.groundwater.sacramento_given || ms.groundwater.conceptual_gw_given) &&
          ms.clock.hourly_next_time == -10.0) {
        end_event(ms);
        ms.clock.keep_running = 0;
      }
    }
  }
  if (ms.clock.event_done == 1) check_analyzers(ms, 4);
}

}  // namespace nivra
