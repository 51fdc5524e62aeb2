// The saturated groundwater in the run. When its clock is due the step
// gathers the well fluxes, solves the heads over the time since its last
// solve, books what the aquifer gave and took, lets a table that reached
// the ground spill onto the surface and moves its clock on.
#include "groundwater/groundwater_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "channel/stream_aquifer.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/time_series.h"
#include "groundwater/aquifer.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/infiltration_step.h"
#include "soil/richards_setup.h"
#include "soil/soil_column.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The soil-moisture accounting layer of a cell reaches from the ground down
// to SOIL_MOIST_DEPTH (a layered soil: the bottom of its class's second
// layer) or to the water table, whichever is higher. A table
// that rose into the layer takes the water of the depths it submerged (the
// bottom zone first, each zone holding its water evenly); a table that fell
// gives the layer back its depth, the new depths at their field capacity
// (at most the soil's porosity less the aquifer's storage coefficient; a
// layered soil: those of the layer they lie in),
// which the aquifer gives up. Returns the water the layer gave to the
// aquifer over all cells, m3 (negative: took); per cell it joins the
// recharge of the next solve.
double follow_table_with_layer(model_state& ms) {
  soil_state& s = ms.soil;
  groundwater_state& g = ms.groundwater;
  if (!s.sm_accounting || s.sm_depth.empty()) return 0.0;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double released = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (!g.gwbound.empty() && aquifer_cell::head_constant(g.gwbound[c])) continue;
    // A layered soil's layer is its class's first two layers, its top zone
    // the first.
    const soil_class* soil = s.inf_layered_soil ? &s.soil_classes()[s.soiltype[c]] : nullptr;
    const double top_depth = soil ? soil->thickness(1) : s.top_layer_depth;
    const double layer_depth = soil ? soil->thickness(1) + soil->thickness(2) : s.soil_moist_depth;
    const double table = std::max((ms.grid.elevation[c] - g.elevgw[c]) * 100.0, 0.0);  // cm below the ground
    const double old_depth = s.sm_depth[c];
    const double new_depth = std::min(table, layer_depth);
    if (new_depth == old_depth) continue;
    double& top = s.sm_water_top[c];
    double& bottom = s.sm_water_bottom[c];
    const double old_top = std::min(top_depth, old_depth);
    double moved = 0.0;  // cm, to the aquifer
    if (new_depth < old_depth) {
      if (new_depth >= old_top) {
        const double share = old_depth > old_top ? (old_depth - new_depth) / (old_depth - old_top) : 0.0;
        moved = bottom * share;
        bottom -= moved;
      } else {
        moved = bottom + (old_top > 0.0 ? top * (old_top - new_depth) / old_top : top);
        top = old_top > 0.0 ? top * new_depth / old_top : 0.0;
        bottom = 0.0;
      }
    } else {
      // The drained depths at field capacity (a layered soil: of the layer
      // they lie in).
      auto drained = [&](int j) {
        const double phi = soil ? soil->porosity(j) : s.soil_porosity[c];
        const double theta_r = soil ? soil->residual_moisture(j) : (s.resid_sat.empty() ? 0.0 : s.resid_sat[c]);
        const double fc = soil ? soil->field_capacity(j)
                               : (!s.ga_value_6.empty() && s.ga_value_6[c] > theta_r ? s.ga_value_6[c] : s.init_moisture[c]);
        return std::clamp(std::min(fc, phi - g.gw_porosity[c]), theta_r, phi);
      };
      const double split = std::clamp(top_depth, old_depth, new_depth);
      const double upper = (split - old_depth) * drained(1), lower = (new_depth - split) * drained(soil ? 2 : 1);
      top += upper;
      bottom += lower;
      moved = -(upper + lower);
    }
    s.sm_depth[c] = new_depth;
    s.sm_water[c] = top + bottom;
    g.gw_recharge[c] += moved / 100.0;
    released += moved / 100.0 * area;
  }
  return released;
}

// Below the accounting layer (SOIL_MOIST_DEPTH), down to the water table,
// the soil holds the water content gw_inf_redist_theta. A table that fell
// leaves that water in the depths it drained, taken from the aquifer; a
// table that rose gives the aquifer the water of the depths it filled. Returns the water the zone
// gave to the aquifer over all cells, m3 (negative: took); per cell it
// joins the recharge of the next solve. With `start` the zone is only
// measured.
double follow_table_with_unsaturated_zone(model_state& ms, bool start) {
  soil_state& s = ms.soil;
  groundwater_state& g = ms.groundwater;
  if (!s.sm_accounting || s.inf_layered_soil || s.sm_depth.empty() || s.unsat_zone_depth.empty()) return 0.0;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double released = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double depth = std::max(ms.grid.elevation[c] - g.elevgw[c] - s.soil_moist_depth / 100.0, 0.0);
    const double moved = start ? 0.0 : (s.unsat_zone_depth[c] - depth) * s.gw_inf_redist_theta[c];  // m
    s.unsat_zone_depth[c] = depth;
    g.gw_recharge[c] += moved;
    released += moved * area;
  }
  return released;
}

}  // namespace

double aligned_groundwater_step(double gw_timestep, double model_dt) {
  if (!(model_dt > 0.0)) return gw_timestep;
  const double steps = std::max(1.0, std::round(gw_timestep / model_dt));
  return steps * model_dt;
}

void cover_column(unsaturated_cover& cover, int c, double ground, const double* DZ, const double* THETA,
                  int numcells) {
  double depth = 0.0;  // cm
  for (int j = 1; j <= numcells - 1; ++j) depth += DZ[j];
  const double base = ground - depth / 100.0;
  double z = base;
  for (int j = numcells - 1; j >= 1; --j) {
    z += DZ[j] / 100.0;
    cover.top.push_back(z);
    cover.content.push_back(THETA[j]);
  }
  cover.close(c, base);
}

void init_groundwater_state(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  if (!g.gw_simulation) return;
  if (!(g.gw_relax_coeff > 0.0 && g.gw_relax_coeff < 2.0)) {
    std::printf("Error: the GW_RELAX_COEFF card holds %g; it takes a number above 0 and below 2.\n",
                g.gw_relax_coeff);
    return stop_with_own_message();
  }
  g.gw_timestep = aligned_groundwater_step(g.gw_timestep, ms.clock.dt);
  const int n = ms.grid.ncells;
  for (array1d<double>* a : {&g.gw_well_flux, &g.gw_recharge, &g.cell_stream_exchange_vol, &g.cum_gw_recharge})
    a->alloc(n);
  if (ms.pipe.storm_sewer_given && ms.pipe.gw_to_tile) {
    g.gw_tile_vol_cell.alloc(n);
    g.gw_tile_flux_cell.alloc(n);
  }
  if (ms.lake.chan_lakes && ms.lake.lake_gw_on) g.lake_source.alloc(n);
  if (g.yes_exfil.size() != n) g.yes_exfil.alloc(n);
  // The cells whose table starts at the ground exfiltrate from the start.
  g.any_exfil = 0;
  for (int c = 1; c <= n; ++c) {
    g.yes_exfil[c] = g.elevgw[c] >= ms.grid.elevation[c] ? 1 : 0;
    if (g.yes_exfil[c]) g.any_exfil = 1;
  }
  if (g.gw_static_flux.size() != n) g.gw_static_flux.alloc(n);
  // Under Richards columns the table fills and drains the pores of the
  // soil layer it stands in, below the layers the aquifer's (the third
  // layer's soil, which the columns take on below the layers).
  soil_state& soil = ms.soil;
  if (soil.inf_richards && soil.soiltype.size() == n) {
    g.storage_layers.alloc(n);
    for (int c = 1; c <= n; ++c) {
      const soil_class& k = soil.soil_classes()[soil.soiltype[c]];
      storage_profile& p = g.storage_layers[c];
      p.bounds = 3;
      double z = ms.grid.elevation[c];
      for (int j = 1; j <= 3; ++j) {
        z -= k.thickness(j) / 100.0;
        p.layer_bottom[j - 1] = z;
        p.porosity[j - 1] = k.porosity(j);
      }
      p.porosity[3] = g.gw_porosity[c];
    }
  } else if (soil.sm_accounting && soil.inf_layered_soil && soil.soiltype.size() == n) {
    // Under layered soils the table fills the pores of each of the
    // accounting layer's two soil layers, the aquifer's below them; above
    // the ground it stands as open water.
    g.storage_layers.alloc(n);
    for (int c = 1; c <= n; ++c) {
      const soil_class& k = soil.soil_classes()[soil.soiltype[c]];
      storage_profile& p = g.storage_layers[c];
      p.bounds = 3;
      p.layer_bottom[0] = ms.grid.elevation[c];
      p.layer_bottom[1] = p.layer_bottom[0] - k.thickness(1) / 100.0;
      p.layer_bottom[2] = p.layer_bottom[1] - k.thickness(2) / 100.0;
      p.porosity[0] = 1.0;
      p.porosity[1] = k.porosity(1);
      p.porosity[2] = k.porosity(2);
      p.porosity[3] = g.gw_porosity[c];
    }
  } else if (soil.sm_accounting && !soil.inf_layered_soil && soil.soil_porosity.size() == n) {
    // Under the soil-moisture accounting layer the table fills the soil's
    // pores within the layer and the aquifer's below it; above the ground
    // it stands as open water.
    g.storage_layers.alloc(n);
    for (int c = 1; c <= n; ++c) {
      storage_profile& p = g.storage_layers[c];
      p.layer_bottom[0] = ms.grid.elevation[c];
      p.layer_bottom[1] = ms.grid.elevation[c] - soil.soil_moist_depth / 100.0;
      p.porosity[0] = 1.0;
      p.porosity[1] = soil.soil_porosity[c];
      p.porosity[2] = g.gw_porosity[c];
    }
  }
  if (soil.inf_richards && !soil.numcells.empty()) g.column_cover.prepare(n, soil.richards.max_nodes + 1);
  const grid_state& grid = ms.grid;
  g.aquifer.prepare(n, grid.leftcon.data(), grid.rightcon.data(), grid.abovecon.data(), grid.belowcon.data());
  // The stream-aquifer exchange summed between the outputs of the
  // exchange locations.
  const channel_state& ch = ms.channel;
  if (ch.chan_explic && ch.stream_loss) g.av_qriv.alloc(ch.max_nodes_per_link, ch.link_array_size);
  g.gw_sweep = 1;
  // The accounting layer starts above the table; what the table holds of
  // it waits for the first solve. Below the layer the unsaturated zone
  // holds its water content down to the table.
  soil_state& s = ms.soil;
  if (s.sm_accounting && !s.inf_layered_soil && !s.sm_depth.empty() && s.gw_inf_redist_theta.size() == n) {
    s.unsat_zone_depth.alloc(n);
    for (int c = 1; c <= n; ++c) s.gw_inf_redist_theta[c] = g.gw_porosity[c] * g.single_unsat_sat;
  }
  follow_table_with_layer(ms);
  follow_table_with_unsaturated_zone(ms, true);
}

void fill_well_flux(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  if (!g.use_wells_on) {
    std::copy(g.gw_static_flux.data(), g.gw_static_flux.data() + ms.grid.ncells + 1, g.gw_well_flux.data());
    return;
  }
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  for (const well_entry& w : g.well_list) {
    const double rate = w.kind == 0 ? w.rate : ts_value_by_id(w.series_id, ms.clock.model_time);
    g.gw_well_flux[w.id] = rate / area;
  }
}

namespace {

aquifer_domain aquifer_of(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  const grid_state& grid = ms.grid;
  aquifer_domain d;
  d.ncells = grid.ncells;
  d.above = grid.abovecon.data();
  d.below = grid.belowcon.data();
  d.left = grid.leftcon.data();
  d.right = grid.rightcon.data();
  d.gwbound = g.gwbound.empty() ? nullptr : g.gwbound.data();
  d.bottom = g.bottom_elev.data();
  d.kx = d.ky = g.gw_hyd_cond.data();
  d.storage = g.gw_porosity.data();
  d.profile = g.storage_layers.empty() ? nullptr : g.storage_layers.data();
  d.cell_dx = g.gw_cell_dx.data();
  d.cell_dy = g.gw_cell_dy.data();
  d.head = g.elevgw.data();
  d.well_flux = g.gw_well_flux.data();
  d.recharge = g.gw_recharge.data();
  d.stream_volume = g.cell_stream_exchange_vol.data();
  d.tile_volume = g.gw_tile_vol_cell.empty() ? nullptr : g.gw_tile_vol_cell.data();
  d.lake_volume = g.lake_source.empty() ? nullptr : g.lake_source.data();
  d.leakage_rate = g.gw_leakage_rate / 100.0 / 3600.0;
  d.omega = g.gw_relax_coeff;
  d.tolerance = g.gw_lsor_con;
  d.by_rows = g.gw_lsor_dir == 1;
  d.ascending = g.gw_sweep == 1;
  return d;
}

// Stops the run with the solver's failure, naming the step by its time.
void report_failure(const model_state& ms, const aquifer_result& r, const aquifer_domain& d) {
  switch (r.status) {
    case aquifer_status::head_not_a_number:
      std::printf("elevgw NaN in main()- point 7, grid cell %d\n", r.cell);
      break;
    case aquifer_status::sweeps_not_converged:
      std::printf("Error: the line sweeps of the groundwater step ending at model time %.6f (Julian days) did not "
                  "converge: after %d sweeps of Picard pass %d the heads still changed by more than GW_LSOR_CON "
                  "(%g m).\n",
                  ms.clock.model_time, d.max_sweeps, r.books.passes, d.tolerance);
      break;
    case aquifer_status::volume_not_balanced:
      std::printf("Error: the line sweeps of the groundwater step ending at model time %.6f (Julian days) did not "
                  "close its water: after %d sweeps of Picard pass %d the heads still left %g m3 unaccounted for.\n",
                  ms.clock.model_time, d.max_sweeps, r.books.passes, r.books.residual);
      break;
    case aquifer_status::passes_not_converged:
      std::printf("Error: Non-convergence in the groundwater after %d tries.\n", d.max_passes);
      std::printf("The groundwater step ending at model time %.6f (Julian days) did not converge.\n",
                  ms.clock.model_time);
      break;
    case aquifer_status::ok: break;
  }
  set_error(own_message_code);
}

// The cells where the water table reached the ground exfiltrate: the
// infiltration step passes the water between the table and the surface
// through the soil layer at its own rate. Under a lake the table meets the
// lake through its bed, and a held head is a boundary. Without a soil layer
// (plain Green-Ampt, or no soil scheme) a table above the ground spills
// what it holds above it onto the surface at once. Returns what spilled,
// m3.
double mark_exfiltration(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  const grid_state& grid = ms.grid;
  const lake_state& lakes = ms.lake;
  const soil_state& s = ms.soil;
  const bool spill = !(s.inf_redist || s.inf_layered_soil || s.inf_richards);
  double spilled = 0.0;
  g.any_exfil = 0;
  for (int c = 1; c <= grid.ncells; ++c) {
    g.yes_exfil[c] = 0;
    if (!g.gwbound.empty() && aquifer_cell::holds_head(g.gwbound[c])) continue;
    if (lakes.chan_lakes && !lakes.lake_mask.empty() && lake_cell(lakes.lake_mask[c])) continue;
    if (lakes.overland_lake_map_given && !lakes.oland_lake_mask.empty() && lake_cell(lakes.oland_lake_mask[c])) continue;
    const double above = g.elevgw[c] - grid.elevation[c];
    if (above < 0.0) continue;
    g.yes_exfil[c] = 1;
    g.any_exfil = 1;
    if (!spill || above == 0.0) continue;
    const double depth = g.storage_layers.empty() ? above * g.gw_porosity[c]
                                                  : g.storage_layers[c].water_between(grid.elevation[c], g.elevgw[c]);
    ms.overland.ov_depth[c] += depth;
    g.elevgw[c] = grid.elevation[c];
    spilled += depth * g.gw_cell_dx[c] * g.gw_cell_dy[c];
  }
  return spilled;
}

// What drained below the soil-moisture accounting layer or into the
// table node of a Richards column since the last solve (cm) reaches the
// water table.
void take_drainage(model_state& ms) {
  soil_state& s = ms.soil;
  groundwater_state& g = ms.groundwater;
  if (!(s.sm_accounting || s.inf_richards) || s.unsat_down_flux.empty()) return;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double v = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double d = s.unsat_down_flux[c] / 100.0;
    s.unsat_down_flux[c] = 0.0;
    g.gw_recharge[c] += d;
    v += d * area;
  }
  ms.ledger.book(water_flux::groundwater_recharge, v);
}

// The water of every Richards column over its table, for the solve that
// follows: a table rising into the column takes that water in.
void cover_tables(model_state& ms) {
  const soil_state& s = ms.soil;
  unsaturated_cover& cover = ms.groundwater.column_cover;
  cover.clear();
  for (int c = 1; c <= ms.grid.ncells; ++c)
    cover_column(cover, c, ms.grid.elevation[c], s.DZ[c].data(), s.THETA[c].data(), s.numcells[c]);
}

// Every Richards column is laid out again down to the moved table. The
// water of the depths a rising table filled is the saturated zone's
// already (the solve took it in), and the depths a falling table drained
// keep the water of the node that stood over it (the solve drained their
// pores); what else the column gives up or takes reaches the table at the
// next solve. False when a column ran out of nodes (the run stops).
bool relay_columns(model_state& ms) {
  soil_state& s = ms.soil;
  groundwater_state& g = ms.groundwater;
  if (!s.inf_richards || s.numcells.empty()) return true;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double released = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (!g.gwbound.empty() && aquifer_cell::head_constant(g.gwbound[c])) continue;
    soil_column_result r;
    if (!relay_column_to_table(ms, c, r)) return false;
    if (r.at_surface) g.any_exfil = 1;
    g.gw_recharge[c] += r.released / 100.0 - g.column_cover.taken[static_cast<std::size_t>(c)];
    released += r.released / 100.0 * area;
    // The column starts again with short sub-steps.
    s.dtr[c] = std::min(s.dtr[c], 1.0 / 360.0);
  }
  ms.ledger.book(water_flux::saturated_unsaturated, released);
  return true;
}

// The nodes of cell c's column the table would cross in tau seconds under
// the net sink q (m/s, positive leaving) of its own cell: a rising table
// fills the pores of the nodes above it in turn (above the ground, nodes of
// the first layer's spacing wholly open); a falling one drains the pores of
// its node. A table within the top two nodes or at the ground counts none.
int nodes_crossed(const model_state& ms, int c, double q, double tau) {
  const soil_state& s = ms.soil;
  const int k = s.numcells[c];
  if (k < 3 || ms.groundwater.elevgw[c] >= ms.grid.elevation[c]) return 0;
  const richards_columns& rc = s.richards;
  if (q <= 0.0) {
    double left = -100.0 * q * tau;  // cm of water
    const double dz1 = s.multilayer_soil_table[s.soiltype[c]].real(32);
    int taken = 0;
    for (int j = k - 1; left > 0.0; --j) {
      const double room = j >= 1 ? s.DZ(c, j) * rc.soil(c, j).theta_s : dz1;
      if (!(room > 0.0)) break;
      ++taken;
      left -= room;
    }
    return taken;
  }
  const double sy = rc.soil(c, k - 1).theta_s;
  if (!(sy > 0.0) || !(s.DZ(c, k) > 0.0)) return 0;
  return static_cast<int>(std::min(tau * q * 100.0 / sy / s.DZ(c, k), 1e9));
}

// The sub-step of a Richards-coupled solve: tau, halved while some table
// would cross more than two nodes of its column and the halved step is
// still above one second. `remaining` is the time left of the step, over
// which the pools are spread.
double column_substep(const model_state& ms, const aquifer_domain& d, double tau, double remaining) {
  const groundwater_state& g = ms.groundwater;
  for (;;) {
    const double t = std::min(tau, remaining);
    int most = 0;
    for (int c = 1; c <= ms.grid.ncells && most <= 2; ++c) {
      if (!g.gwbound.empty() && aquifer_cell::holds_head(g.gwbound[c])) continue;
      most = std::max(most, nodes_crossed(ms, c, aquifer_sink_rate(d, c, remaining), t));
    }
    // Never below a second: a step already that short is kept, however
    // many nodes its table crosses.
    if (most <= 2 || tau * 0.5 < 1.0) return tau;
    tau *= 0.5;
  }
}


// The channels' exchange with the aquifer while their routing is parked
// (between storms, the network nearly empty, its clock asleep), at the
// heads the solve just reached: from the time it was last applied to the
// model time, or to the channels' last step when they are due in this one
// (their routing, should it start, takes the exchange from there). Losing
// beds give the water the nodes hold to the cells under them, which the
// next solve takes, booked as the routing books it; a bed the table stands
// above starts the routing over that time, the channel step of one
// groundwater step (at most an hour, on the model's step grid), as the
// table feeding the streams does at the run's start. False when a section
// failed (the run stops).
bool exchange_while_channels_park(model_state& ms) {
  channel_state& ch = ms.channel;
  clock_state& clock = ms.clock;
  groundwater_state& g = ms.groundwater;
  if (!ch.chan_explic || !ch.stream_loss || clock.chan_flow_started || ch.qriv.empty() ||
      g.cell_stream_exchange_vol.empty())
    return true;
  const double from = ch.aquifer_exchange_until > 0.0 ? ch.aquifer_exchange_until : clock.gw_last_time;
  const double to =
      is_due(ms, clock.chan_next_time) ? std::min(clock.chan_last_time, clock.model_time) : clock.model_time;
  const double dt = seconds_since(ms, from) - seconds_since(ms, to);
  if (!(dt > 0.0)) return true;
  stream_aquifer_cells cells;
  cells.water_table = g.elevgw.data();
  cells.bottom = g.bottom_elev.data();
  cells.ground = ms.grid.elevation.data();
  cells.gwbound = g.gwbound.empty() ? nullptr : g.gwbound.data();
  const parked_exchange_books b =
      exchange_while_parked(ch, cells, dt, g.cell_stream_exchange_vol.data(), ms.constituent.chan_con_trans != 0);
  if (b.word == stream_exchange::failed) {
    set_error(own_message_code);
    return false;
  }
  ms.ledger.book(b, parked_exchange_terms);
  ch.chan_route_flag = b.word;
  if (b.word != stream_exchange::gaining) {
    ch.aquifer_exchange_until = to;
    return true;
  }
  double step = g.gw_timestep;
  while (step > 3600.0) step *= 0.5;
  if (clock.dt > 0.0) step = std::max(std::floor(step / clock.dt + 1e-9), 1.0) * clock.dt;
  clock.chan_flow_started = 1;
  ch.chan_has_water = 1;
  clock.chan_dt = step;
  clock.chan_dt_days = step / seconds_per_day;
  clock.chan_last_time = from;
  clock.chan_next_time = clock.model_time;
  if (ms.constituent.chan_con_trans)
    for (process_clock* c : {&clock.chan_con_clock, &clock.contam_table_chan_clock, &clock.nsm_chan_clock,
                             &clock.stream_loss_clock})
      set_clock(*c, clock.chan_dt, clock.chan_dt_days, clock.chan_last_time, clock.chan_next_time);
  return true;
}

// One solve over the time since the last, with what follows it, and the
// clock moved on.
void solve_since_last(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  clock_state& clock = ms.clock;
  const double dt = seconds_since(ms, clock.gw_last_time);
  if (dt > 0.0) {
    take_drainage(ms);
    for (int c = 1; c <= ms.grid.ncells; ++c) g.cum_gw_recharge[c] += g.gw_recharge[c];
    fill_well_flux(ms);
    // Under Richards columns the step goes in sub-steps short enough that
    // no table crosses more than two nodes of its column, each column laid
    // out again after its sub-step. A table rising into a column takes the
    // water of the depths it fills in its own sub-step (the solve counts
    // it, cover_tables); a falling one drains the pores of the depths it
    // leaves, which keep the water of the column's node over it. What else
    // the column gives up or takes (a trace that keeps a stretched node
    // wet enough for a head, the depths a table falling from the ground
    // leaves) is spread over the sub-steps that follow. The pools are
    // shared out over the sub-steps.
    const bool columns = ms.soil.inf_richards && !ms.soil.numcells.empty();
    double remaining = dt, tau = dt, spilled = 0.0;
    while (remaining > 0.0) {
      aquifer_domain d = aquifer_of(ms);
      if (columns) {
        cover_tables(ms);
        d.cover = &g.column_cover;
        tau = column_substep(ms, d, tau, remaining);
      }
      tau = std::min(tau, remaining);
      // A last sliver of rounding joins the sub-step.
      if (remaining - tau <= 1e-9 * dt) tau = remaining;
      d.share = tau / remaining;
      remaining = tau == remaining ? 0.0 : remaining - tau;
      const aquifer_result r = g.aquifer.solve(d, tau);
      if (r.status != aquifer_status::ok) return report_failure(ms, r, d);
      for (int c = 1; c <= ms.grid.ncells; ++c) {
        if (std::isnan(g.elevgw[c])) {
          std::printf("A non-real value for the groudwater head was detected for in cell %d after running the "
                      "groundwater flow routine.\n",
                      c);
          return set_error(own_message_code);
        }
      }
      // Recharge and the streams' share were booked as they reached the
      // aquifer's doorstep; what the solve itself moved is booked here.
      ms.ledger.book(r.books, aquifer_books_terms);
      spilled += mark_exfiltration(ms);
      if (!relay_columns(ms)) return;
    }
    g.gw_sweep = g.gw_sweep == 1 ? 2 : 1;
    if (!exchange_while_channels_park(ms)) return;
    const channel_state& ch = ms.channel;
    // Counted once per model step the solve spans, as the output averages
    // over the model steps of its interval.
    const double steps = clock.dt > 0.0 ? dt / clock.dt : 1.0;
    if (!g.av_qriv.empty() && !ch.qriv.empty())
      for (int l = 1; l <= ch.num_stream_links; ++l)
        for (int k = 1; k <= ch.nx[l]; ++k) g.av_qriv(k, l) += ch.qriv(k, l) * steps;
    ms.ledger.book(water_flux::soil_layer_to_groundwater, follow_table_with_layer(ms));
    ms.ledger.book(water_flux::saturated_unsaturated, follow_table_with_unsaturated_zone(ms, false));
    // Groundwater at the ground between the events of a long-term run wakes
    // the surface processes; water spilled onto a surface whose routing
    // sleeps wakes the routing.
    if (g.any_exfil && !clock.event_active && !ms.overland.ov_water_at_start && clock.long_term) {
      wake_surface_processes(ms);
    } else if (spilled > 0.0 && clock.ov_next_time > clock.model_time + clock.ov_dt_days + clock.time_tol) {
      clock.ov_last_time = clock.model_time;
      clock.ov_next_time = clock.model_time + clock.ov_dt_days;
      ms.overland.ov_water_at_start = 1;
      constituent_clocks_follow_overland(ms);
    }
    ms.ledger.book(water_flux::exfiltration, spilled);
  }
  clock.gw_last_time = clock.model_time;
  clock.gw_dt = g.gw_timestep;
  clock.gw_dt_days = g.gw_timestep / seconds_per_day;
  clock.gw_next_time = clock.model_time + clock.gw_dt_days;
}

}  // namespace

void groundwater_step(model_state& ms) {
  // Due once the model time reaches the due time, so that a step of the
  // model that does not land on it exactly never skips the aquifer.
  if (!ms.groundwater.gw_simulation || ms.clock.model_time < ms.clock.gw_next_time - ms.clock.time_tol) return;
  solve_since_last(ms);
}

void groundwater_to_model_time(model_state& ms) {
  if (!groundwater_behind(ms) || ms.groundwater.gw_well_flux.empty()) return;
  solve_since_last(ms);
}

}  // namespace nivra
