// The end of an event: in the step in which the end test asked for it, the
// event's books close (totals, storages, balance), the event summary is
// written, and the optimisation output and a calibration driver's capture
// buffer receive the event's outlet results. When the run ends with the
// event, the run's books close too.
#include <cstdio>

#include "calibration/capture_buffer.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/groundwater_step.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/event_summary.h"
#include "output/output_state.h"
#include "output/xy_steps.h"
#include "quality/sediment/channel_sediment_setup.h"
#include "quality/constituent_state.h"
#include "quality/contaminant/channel_attached_step.h"
#include "quality/contaminant/channel_constituents.h"
#include "quality/sediment/sediment_books.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "run/steps.h"
#include "run/water_books.h"
#include "soil/soil_moisture_step.h"
#include "soil/soil_state.h"
#include "surface/channel_lakes.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"

namespace nivra {

namespace {

// Overland lakes and channel lakes on the same cells are not supported
// together; the end of every event says so.
void warn_of_lake_overlap(const model_state& ms) {
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (overland_lake_of(ms.lake, c) > 0 && under_channel_lake(ms.lake, c)) {
      std::printf("You are simulating overland lakes and perennial lakes, not recommended presently. "
                  "Contact your NIVRA developer for further advice\n\n");
      return;
    }
  }
}

// The event's books close: the water every compartment holds booked, and
// the balance computed (with a lumped model, over its stores too).
void close_event_books(model_state& ms) {
  water_ledger& l = ms.ledger;
  book_storages(ms, ledger_moment::event_end);
  book_channel_constituent_masses(ms, ledger_moment::event_end);
  book_channel_attached_masses(ms, ledger_moment::event_end);
  l.close_event(lumped_model(ms));
  close_constituent_books(ms, ledger_moment::event_end);
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
    if (!ms.constituent.chan_sed_on) {
      // Without channels the wash load leaves over the land.
      const overland_wash w = overland_wash_of_event(ms);
      peak = w.peak_rate;
      volume = w.volume;
    }
    if (ms.constituent.in_sed_loc) locations = ms.output.n_sed_loc;
  } else {
    peak = ms.clock.event_peak_q;
    volume = ms.ledger.event_total(water_flux::outlet_discharge);
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

// The aquifer solved over the time since its last solve, the heads of its
// XY points taken at the model time first as before every solve. False
// when the solve failed (the run stops).
bool solve_groundwater_to_model_time(model_state& ms) {
  if (!groundwater_behind(ms)) return true;
  xy_groundwater_heads(ms);
  if (process.error_block.code != 0) return false;
  groundwater_to_model_time(ms);
  return process.error_block.code == 0;
}

}  // namespace

void finish_event(model_state& ms) {
  if (!ms.clock.event_finish_pending) {
    // A run that ends between events (its weather data ended) closes its
    // books, the aquifer solved to the end first.
    if (!ms.clock.keep_running) {
      if (!solve_groundwater_to_model_time(ms)) return;
      finish_channel_sediment_event(ms, true);
      close_run_books(ms);
    }
    return;
  }
  ms.clock.event_finish_pending = 0;
  ms.clock.event_done = 0;

  warn_of_lake_overlap(ms);
  // The channel lakes' cells follow their volumes, and the aquifer is
  // solved over the time since its last solve, before the books close.
  update_channel_lake_cells(ms);
  // A run that hands its event on (it ended inside the event and writes
  // the soil hot-start whose fronts go on in a next run) leaves the aquifer
  // at its last solve: the water that reached the table since is carried
  // (the groundwater hot-start's companion), and the next run solves when
  // the event would have. Otherwise the aquifer is solved to the end.
  const bool handed_on = !ms.clock.keep_running && ms.clock.ended_in_event && ms.soil.write_sm_hotstart_given;
  if (!handed_on && !solve_groundwater_to_model_time(ms)) return;
  ms.clock.event_peak_q = ms.clock.peak_q;
  close_event_books(ms);
  soil_event_end_figures(ms);
  finish_channel_sediment_event(ms, !ms.clock.keep_running);
  if (process.error_block.stop) return;

  write_event_summary(ms);
  if (!ms.project.super_quiet && ms.project.optimizer_mode != 1) std::printf("finished event \n");
  if (ms.output.summary_file.fp) std::fflush(ms.output.summary_file.fp);
  ms.clock.events_finished += 1;
  optimisation_output(ms);
  // The run's last event ends with the run.
  if (!ms.clock.keep_running) close_run_books(ms);
}

}  // namespace nivra
