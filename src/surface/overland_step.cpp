// The overland step of the time loop: when overland flow is due it checks
// the depths, books the lake exchange, routes the water with the chosen
// kernel, keeps the outlet discharge and volume, and moves its clock on.
// After the rain it also notices the end of a single-event run whose
// channels have drained, and in a long-term run it skips the dry time up to
// the next event. The kernels see only the components they take; this file
// reads the rest of the record for them and books what they hand back.
#include "surface/overland_step.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "channel/channel_state.h"
#include "channel/channel_storage.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/thread_pool.h"
#include "core/tokens.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "pipe/pipe_storage.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_common.h"
#include "surface/overland_sediment_step.h"
#include "surface/overland_state.h"
#include "surface/pumps.h"

namespace nivra {

namespace {

// The cells of overland and channel lakes, whose water the lakes hold.
struct lake_cells {
  const int* olake = nullptr;
  const int* lake = nullptr;
  explicit lake_cells(const lake_state& l) {
    if (l.overland_lake_map_given && !l.oland_lake_new.empty()) olake = l.oland_lake_new.data();
    if (l.chan_lakes && !l.lake_mask.empty()) lake = l.lake_mask.data();
  }
  bool has(int c) const { return (olake && lake_cell(olake[c])) || (lake && lake_cell(lake[c])); }
};

// Bits the passes of the step or together over the cells: the sign bit is
// set when x is a NaN (nan_bits), when x > limit (above_bits, x a number).
inline std::uint64_t nan_bits(double x) {
  return (std::bit_cast<std::uint64_t>(x) & 0x7fffffffffffffffull) + 0x000fffffffffffffull;
}
inline std::uint64_t above_bits(double x, double limit) { return std::bit_cast<std::uint64_t>(limit - x); }
inline bool sign_set(std::uint64_t bits) { return (bits >> 63) != 0; }

// A pass of the step over all cells, split among the run's threads (for
// grids without lakes: a lake cell's water is the lake's): body(first,
// last, tally) fills the part's tally; their bits come back or-ed.
template <class Body>
part_tally over_open_cells(model_state& ms, Body&& body) {
  overland_state& ov = ms.overland;
  const int n = ms.grid.ncells;
  const int parts = cell_parts(ov, n);
  if (static_cast<int>(ov.step_tallies.size()) < parts) ov.step_tallies.resize(static_cast<std::size_t>(parts));
  for_cell_parts(ov.crew, n, parts, [&](int first, int last, int part) {
    part_tally& t = ov.step_tallies[static_cast<std::size_t>(part)];
    t = part_tally{};
    body(first, last, t);
  });
  part_tally all;
  for (int p = 0; p < parts; ++p)
    for (int k = 0; k < 3; ++k) all.bits[k] |= ov.step_tallies[static_cast<std::size_t>(p)].bits[k];
  return all;
}

// Sets ov_wet and ov_flowing from the cells outside the lakes; false (after
// the message, with the run stopped) at a depth that is not a number.
bool scan_cells(model_state& ms, const char* when) {
  const int n = ms.grid.ncells;
  const double* h = ms.overland.ov_depth.data();
  const double* qx = ms.overland.ov_qx.data();
  const double* qy = ms.overland.ov_qy.data();
  const lake_cells lakes(ms.lake);
  if (!lakes.olake && !lakes.lake) {
    // The flags of all cells at once; a depth that is not a number is
    // looked for cell by cell below.
    const part_tally t = over_open_cells(ms, [&](int first, int last, part_tally& p) {
      std::uint64_t nan = 0, wet = 0, flowing = 0;
      for (int c = first; c <= last; ++c) {
        nan |= nan_bits(h[c]);
        wet |= above_bits(h[c], 1e-16);
        flowing |= above_bits(std::fabs(qx[c]), 1e-16) | above_bits(std::fabs(qy[c]), 1e-16);
      }
      p.bits[0] = nan;
      p.bits[1] = wet;
      p.bits[2] = flowing;
    });
    if (!sign_set(t.bits[0])) {
      ms.overland.ov_wet = sign_set(t.bits[1]);
      ms.overland.ov_flowing = sign_set(t.bits[2]);
      return true;
    }
  }
  int wet = 0, flowing = 0;
  for (int c = 1; c <= n; ++c) {
    if (lakes.has(c)) continue;
    if (std::isnan(h[c])) {
      std::printf("A non-real overland flow water depth has been detected in cell %d %s\n", c, when);
      set_error(own_message_code);
      report_error();
      return false;
    }
    wet |= h[c] > 1e-16;
    flowing |= std::fabs(qx[c]) > 1e-16 || std::fabs(qy[c]) > 1e-16;
  }
  ms.overland.ov_wet = wet;
  ms.overland.ov_flowing = flowing;
  return true;
}

// The overland-lake exchange of the channel lakes goes into the ledger, as
// flow into and out of the lakes and as the exchange with the overland, and
// starts again from zero.
void book_lake_exchange(model_state& ms) {
  if (!ms.lake.chan_lakes || ms.lake.num_lakes < 1) return;
  water_ledger& l = ms.ledger;
  for (int k = 1; k <= ms.lake.num_lakes; ++k) {
    const double in = ms.lake.lake_in_dv[k];
    const double out = ms.lake.lake_out_dv[k];
    l.book(water_flux::overland_to_channel_lakes, in);
    l.book(water_flux::channel_lakes_to_overland, out);
    ms.lake.lake_in_dv[k] = 0.0;
    ms.lake.lake_out_dv[k] = 0.0;
  }
}

void apply_snow_roughness(model_state& ms) {
  for (int c = 1; c <= ms.grid.ncells; ++c)
    ms.overland.dist_rough[c] = ms.hydromet.snow_swe[c] > 1e-16 ? ms.overland.snow_manning_n : ms.overland.dist_rough_copy[c];
}

// The depths the routing left outside the lakes: a depth that is not a
// number or is below zero (beyond rounding) was made by the routing, since
// the kernels check the depths they are handed, and stops the run with a
// message that says so.
bool routed_depths_are_sound(model_state& ms) {
  const double* h = ms.overland.ov_depth.data();
  const lake_cells lakes(ms.lake);
  if (!lakes.olake && !lakes.lake) {
    // All cells at once (h < -1e-16 sets the sign bit of h + 1e-16); the
    // first unsound one is looked for below.
    const part_tally t = over_open_cells(ms, [&](int first, int last, part_tally& p) {
      std::uint64_t bad = 0;
      for (int c = first; c <= last; ++c) bad |= nan_bits(h[c]) | std::bit_cast<std::uint64_t>(h[c] + 1e-16);
      p.bits[0] = bad;
    });
    if (!sign_set(t.bits[0])) return true;
  }
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (lakes.has(c)) continue;
    if (std::isnan(h[c]) || h[c] < -1e-16) {
      std::printf("A %s overland flow water depth (%g m) has been detected in cell %d after overland flow routing.\n",
                  std::isnan(h[c]) ? "non-real" : "negative", h[c], c);
      set_error(own_message_code);
      report_error();
      return false;
    }
  }
  return true;
}

// Routes the water with the kernel of the chosen scheme and books what it
// hands back. False after a failure, which the kernel has described: the
// run stops.
bool route(model_state& ms, double dt) {
  const overland_domain d = overland_kernel_domain(ms);
  const overland_result r = ms.overland.overtype == overland_scheme::explicit_faces ? route_overland_explicit(d, dt)
                                                                                    : route_overland_ade(d, dt);
  if (r.status != overland_status::ok) {
    set_error(own_message_code);
    return false;
  }
  if (!routed_depths_are_sound(ms)) return false;
  ms.ledger.book(r.books, overland_books_terms);
  const double result = r.books.outlet;
  ms.overland.qout = result;
  const int n = ms.grid.ncells;
  // The largest depths follow the new ones.
  const bool flood = ms.output.flood_grid_given && ms.overland.flood_depth_max.size() == n;
  // With the constituents carried, the water each face moved joins what
  // they will move with.
  overland_state& ov = ms.overland;
  const bool volumes = ov.con_vol_x.size() == n && ov.ov_volx.size() == n;
  if (flood || volumes) {
    const double* vx = ov.ov_volx.data();
    const double* vy = ov.ov_voly.data();
    double* peak = flood ? ov.flood_depth_max.data() : nullptr;
    const double* h = ov.ov_depth.data();
    for_cell_parts(ov.crew, n, cell_parts(ov, n), [&](int first, int last, int) {
      if (volumes) {
        double* cx = ov.con_vol_x.data();
        double* cy = ov.con_vol_y.data();
        for (int c = first; c <= last; ++c) {
          cx[c] += vx[c];
          cy[c] += vy[c];
        }
      }
      if (flood) {
        for (int c = first; c <= last; ++c) peak[c] = h[c] > peak[c] ? h[c] : peak[c];
      }
    });
  }
  ms.overland.ade_sweep = ms.overland.ade_sweep == 1 ? 2 : 1;
  if (!ms.channel.chan_explic) {
    // Without channels the kernel hands back the volume that left the outlet.
    ms.ledger.book(water_flux::outlet_discharge, result);
    if (ms.constituent.ov_con_trans) ms.overland.outlet_vol_step += result;
    ms.overland.qout = result / dt;
  }
  return true;
}

// A single-event run with channels ends once the rain is over, the grid is
// dry and the channels, the pipes and the lakes above their outlets hold
// almost nothing of the event's rain.
void end_when_drained(model_state& ms) {
  const double v = channel_storage(ms) + pipe_storage(ms.pipe) + water_above_outlets(ms.lake);
  if (0.0001 * ms.ledger.event_total(water_flux::rainfall_to_overland) > v) {
    std::printf("Rainfall for this event has ended.\n");
    if (ms.output.summary_file.fp) {
      std::fprintf(ms.output.summary_file.fp, "Rainfall for this event ended. Runoff is complete\n");
      std::fflush(ms.output.summary_file.fp);
    }
    ms.clock.event_active = 0;
    ms.clock.event_finish_pending = 1;
    ms.clock.keep_running = 0;
  }
}

// Between events of a long-term run the overland clock sleeps until the
// next event; the infiltration, groundwater and constituent clocks follow.
void skip_dry_period(model_state& ms) {
  ms.overland.ov_water_at_start = 0;
  ms.clock.ov_next_time = next_event_start(ms);
  ms.clock.ov_last_time = ms.clock.ov_next_time - ms.clock.ov_dt_days;
  ms.overland.qout = 0.0;
  // The Richards columns drain and dry hourly between the events.
  if (ms.soil.inf_richards ||
      ((ms.groundwater.gw_simulation || (ms.soil.inf_redist && ms.clock.inf_redist_active)) && ms.overland.ov_wet)) {
    ms.clock.inf_next_time = ms.clock.hourly_next_time;
    ms.clock.inf_dt = ms.clock.hourly_dt;
    ms.clock.inf_dt_days = ms.clock.hourly_dt_days;
    ms.clock.soilmoist_next_time = ms.clock.inf_next_time;
    if (ms.constituent.soil_con_trans) ms.clock.soil_con_clock.next_time = ms.clock.inf_next_time;
    ms.clock.soilmoist_dt = ms.clock.inf_dt;
    ms.clock.soilmoist_dt_days = ms.clock.inf_dt_days;
  } else {
    ms.clock.inf_next_time = ms.clock.ov_next_time;
    ms.clock.inf_last_time = ms.clock.ov_last_time;
  }
  if (ms.groundwater.gw_simulation) {
    const bool set_gw = !ms.clock.chan_flow_started;
    if (ms.clock.inf_dt > ms.groundwater.gw_timestep) {
      if (set_gw) {
        ms.clock.gw_dt = ms.groundwater.gw_timestep;
        ms.clock.gw_dt_days = ms.groundwater.gw_timestep / seconds_per_day;
        ms.clock.gw_next_time = ms.clock.model_time < ms.clock.hourly_next_time ? ms.clock.model_time : ms.clock.hourly_next_time;
      }
      ms.clock.inf_dt = ms.clock.gw_dt;
      ms.clock.inf_dt_days = ms.clock.gw_dt_days;
      ms.clock.inf_next_time = ms.clock.model_time + ms.clock.gw_dt_days;
    } else if (set_gw) {
      ms.clock.gw_dt = ms.groundwater.gw_timestep;
      ms.clock.gw_dt_days = ms.groundwater.gw_timestep / seconds_per_day;
      ms.clock.gw_next_time = ms.clock.model_time;
    }
  }
  if (ms.constituent.ov_con_trans) {
    // Overland point sources keep discharging between the events: their
    // clock stays awake, and their water wakes the surface again.
    process_clock* sources = ms.constituent.ov_point_source_given ? &ms.clock.ov_con_clock : nullptr;
    for (process_clock* c : {&ms.clock.ov_con_clock, &ms.clock.soil_con_clock, &ms.clock.contam_table_clock,
                             &ms.clock.contam_table_soil_clock}) {
      if (c == sources) continue;
      c->next_time = ms.clock.inf_next_time;
      c->dt = ms.clock.inf_dt;
      c->dt_days = ms.clock.inf_dt_days;
    }
    (ms.channel.chan_explic ? ms.clock.chan_outlet_con_clock : ms.clock.ov_outlet_con_clock).next_time = ms.clock.ov_next_time;
  }
}

// The threads the environment asks for: OMP_NUM_THREADS, the variable
// parallel programs read; 1 when it is not set. -1 (after the message) when
// it holds anything but a whole number from 1 to max_threads.
int threads_from_environment() {
  const char* text = std::getenv("OMP_NUM_THREADS");
  if (!text || !*text) return 1;
  int v = 0;
  if (whole_token_int(text, v) && v >= 1 && v <= max_threads) return v;
  std::printf("Error: the environment variable OMP_NUM_THREADS holds %s; it takes a whole number from 1 to %d.\n",
              text, max_threads);
  return -1;
}

}  // namespace

void start_overland_routing(model_state& ms) {
  overland_state& ov = ms.overland;
  const int threads = ov.num_threads > 0 ? ov.num_threads : threads_from_environment();
  if (threads < 1) {
    set_error(own_message_code);
    report_error();
    return;
  }
  ov.crew.resize(threads);
  ov.step_tallies.resize(static_cast<std::size_t>(most_parts(ov.crew)));
  if (ov.ov_boundary && ov.boundary_type.size() == ms.grid.ncells)
    ov.bc_cells.build(ms.grid.ncells, ov.boundary_type.data());
  const overland_domain d = overland_kernel_domain(ms);
  if (ov.overtype == overland_scheme::explicit_faces)
    prepare_overland_explicit(d);
  else if (ov.overtype == overland_scheme::ade || ov.overtype == overland_scheme::ade_pc)
    prepare_overland_ade(d);
}

overland_domain overland_kernel_domain(model_state& ms) {
  snow_flow snow;
  if (ms.hydromet.route_lat_snow == 1 && !ms.hydromet.snow_swe.empty() && !ms.hydromet.snap_nivra_params.empty()) {
    snow.swe = ms.hydromet.snow_swe.data();
    snow.params = &ms.hydromet.snap_nivra_params;
  }
  return overland_domain{ms.grid, ms.overland, ms.lake, snow, !ms.channel.chan_explic, ms.project.quiet != 0};
}

void overland_routing_step(model_state& ms) {
  if (!is_due(ms, ms.clock.ov_next_time)) return;
  // The time since the last overland step, which the dry-period skip may
  // have made longer than one overland step.
  const double dt = seconds_since(ms, ms.clock.ov_last_time);
  ms.overland.ov_flowing = 0;
  ms.overland.ov_wet = 0;

  if (ms.clock.long_term && ms.overland.snow_roughness_given) apply_snow_roughness(ms);
  if (ms.overland.ov_boundary) {
    overland_boundary_step(ms, dt);
    if (process.error_block.stop) return;
  }
  if (ms.overland.ov_pump_given) {
    apply_pumps(ms, dt);
    if (process.error_block.stop) return;
  }
  if (!scan_cells(ms, "after applying overland boundary conditions and overland pumping.")) return;

  // Sediment moves only in a step in which some water flows.
  const bool flowing = ms.overland.ov_flowing != 0;
  ms.overland.qout = 0.0;
  book_lake_exchange(ms);
  if (flowing) overland_sediment_before_routing(ms);
  if (ms.overland.ov_wet && !route(ms, dt)) return;
  if (flowing) {
    overland_sediment_after_routing(ms, dt);
    if (process.error_block.stop) return;
  }
  if (ms.lake.overland_lake_map_given) ms.lake.olake_update = 1;
  book_lake_exchange(ms);

  ms.clock.ov_last_time = ms.clock.model_time;
  ms.clock.ov_next_time = ms.clock.model_time + ms.clock.ov_dt_days;
  if (ms.clock.rain_on) return;

  if (!scan_cells(ms, "after overland flow routing.")) return;
  if (!ms.clock.long_term && !ms.overland.ov_wet && !ms.clock.zem && ms.channel.chan_explic == 1) end_when_drained(ms);
  if (ms.clock.long_term && !ms.groundwater.any_exfil && !ms.overland.ov_pump_given && !ms.channel.overbank_flow && !ms.clock.superlink_wet &&
      !(ms.overland.ov_wet && ms.overland.ov_flowing))
    skip_dry_period(ms);
}

}  // namespace nivra
