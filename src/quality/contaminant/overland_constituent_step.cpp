// The overland constituent steps: the processes that bring mass to the
// cells' water or take it away, and the transport that moves it with the
// water. A process that acts at once (the rain, the outlet, the lateral
// inflow, a drying cell that infiltrates whole) books its mass as it moves
// it; the others gather their amounts per cell, and the transport takes
// each amount's share for its step into the cell's net source, cut so that
// no cell's mass goes below zero, and books what it took.
#include "quality/contaminant/overland_constituent_step.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/thread_pool.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/cell_exchange.h"
#include "quality/contaminant/overland_processes.h"
#include "quality/contaminant/overland_transport.h"
#include "quality/contaminant/sediment_contaminant_step.h"
#include "quality/contaminant/soil_column_step.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

constexpr double tiny = 1e-16;

// Kinds of constituent_type.
constexpr int contaminant_kind = 1;
constexpr int nutrient_soil_kind = 3;

void book(constituent_state& k, int c, constituent_term t, double grams) {
  if (k.mass_books && grams != 0.0) k.mass_books->book(c, row(t), grams / 1000.0);
}

// The transport and processes run once the model time reaches the
// constituent clock's due time (a clock that a point source found already
// due between events must not be passed over).
bool constituents_due(const model_state& ms) {
  const constituent_state& k = ms.constituent;
  return k.ov_con_trans && k.num_constituents > 0 && k.mass_books && !ms.overland.ov_depth.empty() &&
         ms.clock.model_time >= ms.clock.ov_con_clock.next_time - ms.clock.time_tol;
}

// Seconds since the constituents last moved.
double constituent_interval(const model_state& ms) { return seconds_since(ms, ms.clock.ov_con_clock.last_time); }

// The constituent step in days: the clock's, else the overland step's.
double constituent_step_days(const model_state& ms) {
  return ms.clock.ov_con_clock.dt_days > 0.0 ? ms.clock.ov_con_clock.dt_days : ms.clock.ov_dt_days;
}

// The kinetics' clock: the contaminant table's. On the uniform path no
// other routine sets it; it starts with the constituent clock.
process_clock& kinetic_clock(model_state& ms) {
  process_clock& kc = ms.clock.contam_table_clock;
  if (!ms.constituent.contam_table_input && kc.next_time == 0.0 && kc.last_time == 0.0) kc = ms.clock.ov_con_clock;
  return kc;
}

// The kinetics are due once the model time reaches their due time (their
// interval, a multiple of the constituent step by any factor, need not land
// on a model step).
bool kinetics_due(model_state& ms) {
  return ms.clock.model_time >= kinetic_clock(ms).next_time - ms.clock.time_tol;
}

// 1. The rain's mass, when the rain fell in this step: intensity (through
// the canopy when interception is on) times the rain's concentration, onto
// the cell's water, whose concentration then follows.
void rain_input(model_state& ms, double dt) {
  constituent_state& k = ms.constituent;
  const hydromet_state& hm = ms.hydromet;
  const bool rained = ms.clock.precip_event_state == 1 && std::fabs(ms.clock.ov_last_time - ms.clock.model_time) <
                                                             ms.clock.time_tol;
  if (!rained || hm.rain_depth.empty()) return;
  const double* r = hm.interception_coeff_given && !hm.ri_eff.empty() ? hm.ri_eff.data() : hm.rain_depth.data();
  const int n = ms.grid.ncells;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  for (int c = 1; c <= k.num_constituents; ++c) {
    const double conc = k.precip_conc[c];
    if (!(conc > 0.0)) continue;
    double* mass = k.ov_mass[c];
    double* cc = k.ov_conc[c];
    double total = 0.0;
    for (int i = 1; i <= n; ++i) {
      if (!(r[i] > 0.0)) continue;
      const double m = rain_mass(r[i], conc, area, dt);
      mass[i] += m;
      total += m;
      const double h = r[i] / 3.6e6 * dt + k.ov_depth_prev[i];
      if (h > tiny) cc[i] = mass[i] / (h * area);
    }
    book(k, c, constituent_term::rain_on_cells, total);
  }
}

// 2. Infiltration: the water that went into the soil since the last step
// carries the water's concentration; a cell left dry with mass in it gives
// the soil all of it at once.
void infiltration_transfer(model_state& ms) {
  constituent_state& k = ms.constituent;
  const soil_state& s = ms.soil;
  const int n = ms.grid.ncells;
  if (s.inf_depth_cell.size() != n) return;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const double* blocked = blocked_cells(ms.overland);
  const double* h = ms.overland.ov_depth.data();
  for (int c = 1; c <= k.num_constituents; ++c) {
    if (k.constituent_type[c] == nutrient_soil_kind) continue;
    double* mass = k.ov_mass[c];
    const double* cc = k.ov_conc[c];
    double* pending = k.cell_infil_mass[c];
    double whole = 0.0;
    for (int i = 1; i <= n; ++i) {
      const double dI = (s.inf_depth_cell[i] - k.ov_infil_seen[i]) * (s.inf_richards ? 1.0 : open_share(blocked, i));
      if (!(dI > tiny)) continue;
      if (mass[i] > tiny && h[i] < tiny) {
        whole += mass[i];
        if (k.soil_con_trans) k.soil_infil_mass(c, i) += mass[i];
        mass[i] = 0.0;
      } else {
        pending[i] += cc[i] * dI * area;
      }
    }
    book(k, c, constituent_term::infiltration, whole);
  }
  for (int i = 1; i <= n; ++i) k.ov_infil_seen[i] = s.inf_depth_cell[i];
}

// 3. and 4. The kinetics of the contaminants: exchange with the land
// surface and first-order decay in the water. Decay runs on the kinetics'
// clock, over its interval; so does the exchange with the land surface,
// while the exchange with a soil column's top layer runs at every
// constituent step (dt seconds), as the column's water changes.
void kinetics(model_state& ms, double dt) {
  constituent_state& k = ms.constituent;
  const bool column = k.soil_con_trans != 0;
  const bool due = kinetics_due(ms);
  if (!due && !column) return;
  double interval = 0.0;
  if (due) {
    process_clock& kc = kinetic_clock(ms);
    interval = seconds_since(ms, kc.last_time);
    const double factor = k.kinetics_timestep_factor > 0.0 ? k.kinetics_timestep_factor : 1.0;
    kc.last_time = ms.clock.model_time;
    kc.next_time = ms.clock.model_time + constituent_step_days(ms) * factor;
    k.kinetic_interval_s = interval;
  }
  const double exchange_s = column ? dt : interval;
  const bool exchange_now = exchange_s > 0.0;
  const bool decay_now = interval > 0.0;
  if (!exchange_now && !decay_now) return;
  const int n = ms.grid.ncells;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const double* h = ms.overland.ov_depth.data();
  const double* before = k.ov_depth_prev.data();
  for (int c = 1; c <= k.num_constituents; ++c) {
    if (k.constituent_type[c] != contaminant_kind) continue;
    const double* cc = k.ov_conc[c];
    const double* mass = k.ov_mass[c];
    double* exchange = k.cell_exchange_mass[c];
    double* decay = k.cell_decay_mass[c];
    for (int i = 1; i <= n; ++i) {
      // The land gives what it holds beyond what it has already promised.
      const double land = k.land_mass(c, i) - std::max(exchange[i], 0.0);
      if (exchange_now && !column && h[i] >= tiny && land >= tiny) {
        land_exchange_cell x;
        x.water_volume = h[i] * area;
        x.water_conc = cc[i];
        x.water_mass = mass[i];
        x.land_conc = k.land_conc(c, i);
        x.land_available = land;
        exchange[i] += land_exchange_mass(x, k.cell_uptake_rate(c, i), area, exchange_s);
      } else if (exchange_now && column && h[i] >= tiny && land >= tiny) {
        // With a soil column the water exchanges with the top layer's water.
        exchange[i] += top_layer_water_exchange(ms, c, i, h[i], exchange_s);
      }
      if (decay_now)
        decay[i] = water_decay_pending(decay[i], cc[i], k.cell_decay_coef(c, i), before[i], h[i], area, interval);
    }
  }
}

// 7. Without channels: the mass of the water that left the watershed
// through the outlet cell since the last step, at the cell's concentration.
void outlet_loss(model_state& ms) {
  constituent_state& k = ms.constituent;
  const int outlet = ms.grid.outlet_cell;
  const double v = ms.overland.outlet_vol_step;
  ms.overland.outlet_vol_step = 0.0;
  if (outlet < 1 || outlet > ms.grid.ncells || !(v > 0.0)) return;
  for (int c = 1; c <= k.num_constituents; ++c) {
    if (k.constituent_type[c] == nutrient_soil_kind) continue;
    double& m = k.ov_mass(c, outlet);
    const double out = std::min(std::max(m, 0.0), k.ov_conc(c, outlet) * v);
    m -= out;
    book(k, c, constituent_term::overland_outlet, out);
  }
}

// A link that takes no lateral inflow from the cells: lakes and links
// without nodes, and structures.
bool closed_link(int type) { return (type & 32) || (type & 64) || ((type & (4 | 8 | 16)) && (type & 128)); }

// 8. With channels: the water the cells gave every channel node since the
// last step carries the cell's concentration into the node; water the
// channel gave a cell carries the node's concentration (none while the
// channels carry no constituents).
void lateral_transfer(model_state& ms) {
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  if (ch.gst_Vlat.empty() || ch.gst_ncellsingrid.empty()) return;
  const bool to_channels = k.chan_con_trans && k.chan_qlat_mass.count() >= k.num_constituents;
  const bool from_channels = to_channels && k.chan_conc.count() >= k.num_constituents;
  const int stream_cells = ch.gst_ncellsingrid.size();
  const bool inflow_kept = to_channels && k.chan_qlat_in_mass.count() >= k.num_constituents &&
                           k.chan_qlat_in_vol.size() == k.chan_qlat_mass.row_length();
  // The water the cells gave each node: the volume the lateral inflow's
  // concentration is taken over.
  for (int g = 1; g <= stream_cells && inflow_kept; ++g) {
    for (int e = 1; e <= ch.gst_ncellsingrid[g]; ++e) {
      const int link = ch.gst_link[g][e];
      const int cell = ch.gst_gnum[g][e];
      const double v = ch.gst_Vlat[g][e];
      if (v <= 0.0 || cell < 1 || cell > ms.grid.ncells) continue;
      if (link >= 1 && link <= ch.ltype.size() && closed_link(ch.ltype[link])) continue;
      k.chan_qlat_in_vol[link * ch.max_nodes_per_link + ch.gst_node[g][e]] += v;
    }
  }
  for (int c = 1; c <= k.num_constituents; ++c) {
    if (k.constituent_type[c] == nutrient_soil_kind) continue;
    double moved = 0.0;
    for (int g = 1; g <= stream_cells; ++g) {
      for (int e = 1; e <= ch.gst_ncellsingrid[g]; ++e) {
        const int link = ch.gst_link[g][e];
        const int cell = ch.gst_gnum[g][e];
        const double v = ch.gst_Vlat[g][e];
        if (v == 0.0 || cell < 1 || cell > ms.grid.ncells) continue;
        if (link >= 1 && link <= ch.ltype.size() && closed_link(ch.ltype[link])) continue;
        const int flat = link * ch.max_nodes_per_link + ch.gst_node[g][e];
        double& m = k.ov_mass(c, cell);
        double given = 0.0;
        if (v > 0.0) {
          given = std::min(std::max(m, 0.0), k.ov_conc(c, cell) * v);
        } else if (from_channels) {
          given = k.chan_conc(c, flat) * v;  // negative: into the cell
        }
        m -= given;
        if (to_channels) k.chan_qlat_mass(c, flat) += given;
        if (inflow_kept && v > 0.0) k.chan_qlat_in_mass(c, flat) += given;
        moved += given;
      }
    }
    book(k, c, constituent_term::overland_to_channels, moved);
  }
  for (int g = 1; g <= stream_cells; ++g)
    for (int e = 1; e <= ch.gst_ncellsingrid[g]; ++e) ch.gst_Vlat[g][e] = 0.0;
}

// The net source of every cell of constituent c over a transport step of dt
// seconds, from the amounts the processes gathered; the land surface (or
// the soil column's pending exchange) gives or takes the exchange, and
// every mass taken is booked.
void cell_sources(model_state& ms, int c, double dt) {
  constituent_state& k = ms.constituent;
  const int n = ms.grid.ncells;
  const bool contaminant = k.constituent_type[c] == contaminant_kind;
  const bool column = k.soil_contam_layers > 0;
  double* rate = k.ov_source_rate.data();
  const double* mass = k.ov_mass[c];
  double* infil = k.cell_infil_mass[c];
  double* exfil = k.cell_exfil_mass[c];
  double* exchange = contaminant ? k.cell_exchange_mass[c] : nullptr;
  double* decay = contaminant ? k.cell_decay_mass[c] : nullptr;
  double* land = k.land_mass[c];
  double* soil_exchange = k.soil_con_trans ? k.soil_exchange_mass[c] : nullptr;
  double* soil_infil = k.soil_con_trans ? k.soil_infil_mass[c] : nullptr;
  // Per cell what was taken, summed below in cell order so that the books
  // hold the same bits on any number of threads.
  double* taken_exchange = k.ov_taken_exchange.data();
  double* taken_decay = k.ov_taken_decay.data();
  double* taken_infil = k.ov_taken_infil.data();
  double* taken_exfil = k.ov_taken_exfil.data();
  const double kinetic_s = k.kinetic_interval_s;
  // A soil column's exchange is gathered at every step and taken whole.
  const bool column_exchange = k.soil_con_trans != 0;
  // What exfiltration brought up: through the soil column, spread over the
  // column's step; straight from the groundwater, whole.
  const double exfil_s = column ? k.soil_step_interval_s : dt;
  const int parts = std::max(1, std::min(ms.overland.crew.size(), n / 4096));
  for_parts(ms.overland.crew, n, parts, [&](int first, int last, int) {
    for (int i = first; i <= last; ++i) {
      cell_pending p;
      p.infiltration = &infil[i];
      p.infiltration_s = dt;
      p.exfiltration = &exfil[i];
      p.exfiltration_s = exfil_s;
      if (contaminant) {
        p.exchange = &exchange[i];
        p.exchange_s = column_exchange ? dt : kinetic_s;
        p.decay = &decay[i];
        p.decay_s = kinetic_s;
      }
      cell_taken t;
      rate[i] = contam_cell_exchange(mass[i], dt, p, t);
      if (soil_exchange)
        soil_exchange[i] += t.exchange;
      else
        land[i] -= t.exchange;
      if (soil_infil) soil_infil[i] += t.infiltration;
      taken_exchange[i] = t.exchange;
      taken_decay[i] = t.decay;
      taken_infil[i] = t.infiltration;
      taken_exfil[i] = t.exfiltration;
    }
  });
  double release = 0.0, uptake = 0.0, decayed = 0.0, infiltrated = 0.0, exfiltrated = 0.0;
  for (int i = 1; i <= n; ++i) {
    const double e = taken_exchange[i];
    if (e > 0.0) release += e;
    if (e < 0.0) uptake -= e;
    decayed += taken_decay[i];
    infiltrated += taken_infil[i];
    exfiltrated += taken_exfil[i];
  }
  book(k, c, constituent_term::release_from_land, release);
  book(k, c, constituent_term::uptake_by_land, uptake);
  book(k, c, constituent_term::overland_decay, decayed);
  book(k, c, constituent_term::infiltration, infiltrated);
  book(k, c, exfiltration_term(column), exfiltrated);
}

// After the transport: a cell that has dried gives its mass to the land
// surface (to the soil column when it carries constituents). Returns the
// first cell whose mass, with what its sediment carries, is not a finite
// number (0 when every cell's is).
int hand_over_dry_cells(model_state& ms, int c) {
  constituent_state& k = ms.constituent;
  const int n = ms.grid.ncells;
  const double* h = ms.overland.ov_depth.data();
  double* mass = k.ov_mass[c];
  double* cc = k.ov_conc[c];
  const double* attached =
      k.sediment_contam && c <= k.cell_total_mass.count() && k.cell_total_mass.row_length() >= n ? k.cell_total_mass[c]
                                                                                                 : nullptr;
  double given = 0.0;
  int not_finite = 0;
  for (int i = 1; i <= n; ++i) {
    if (not_finite == 0 && !std::isfinite(mass[i] + (attached ? attached[i] : 0.0))) not_finite = i;
    if (h[i] >= tiny) continue;
    if (mass[i] >= tiny) {
      given += mass[i];
      if (k.soil_con_trans)
        k.soil_infil_mass(c, i) += mass[i];
      else
        k.land_mass(c, i) += mass[i];
    }
    mass[i] = 0.0;
    cc[i] = 0.0;
  }
  book(k, c, k.soil_con_trans ? constituent_term::infiltration : constituent_term::uptake_by_land, given);
  return not_finite;
}

}  // namespace

void overland_constituent_processes(model_state& ms) {
  if (!constituents_due(ms)) return;
  const double dt = constituent_interval(ms);
  if (!(dt > 0.0)) return;
  rain_input(ms, dt);
  infiltration_transfer(ms);
  kinetics(ms, dt);
  ms.clock.ov_outlet_con_clock.last_time = ms.clock.chan_outlet_con_clock.last_time = ms.clock.model_time;
  if (ms.channel.chan_explic)
    lateral_transfer(ms);
  else
    outlet_loss(ms);
}

void overland_constituent_transport(model_state& ms) {
  if (!constituents_due(ms)) return;
  constituent_state& k = ms.constituent;
  const double dt = constituent_interval(ms);
  const int n = ms.grid.ncells;
  if (dt > 0.0) {
    ov_transport_domain d;
    d.ncells = n;
    d.dx = ms.grid.grid_size;
    d.above = ms.grid.abovecon.data();
    d.below = ms.grid.belowcon.data();
    d.left = ms.grid.leftcon.data();
    d.right = ms.grid.rightcon.data();
    d.depth = ms.overland.ov_depth.data();
    d.qx = ms.overland.ov_qx.data();
    d.qy = ms.overland.ov_qy.data();
    d.source = k.ov_source_rate.data();
    d.crew = &ms.overland.crew;
    const sweep_order order = k.ov_sweep_order == 2 ? sweep_order::columns_first : sweep_order::rows_first;
    for (int c = 1; c <= k.num_constituents; ++c) {
      if (k.constituent_type[c] == nutrient_soil_kind) continue;
      cell_sources(ms, c, dt);
      d.disp = k.cell_disp_coef[c];
      ov_transport_state s{k.ov_mass[c], k.ov_conc[c]};
      const double reset = ovl_contam_step(d, s, k.ov_transport_work, dt, order);
      if (reset > 0.0) {
        book(k, c, constituent_term::overland_negative_reset, reset);
        k.event_ov_neg_mass[c] += reset / 1000.0;
      }
      // A mass that is not a number would spread through the grid and the
      // books: the run stops naming the constituent and the cell.
      if (const int bad = hand_over_dry_cells(ms, c)) {
        std::printf("Total cell mass, contam %d cell %d NAN\n", c, bad);
        stop_with_own_message();
        return;
      }
    }
  }
  k.ov_sweep_order = k.ov_sweep_order == 1 ? 2 : 1;
  const double* h = ms.overland.ov_depth.data();
  for (int i = 1; i <= n; ++i) k.ov_depth_prev[i] = h[i];
  process_clock& cc = ms.clock.ov_con_clock;
  cc.last_time = ms.clock.model_time;
  cc.next_time = ms.clock.model_time + constituent_step_days(ms);
}

double overland_water_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  if (c < 1 || c > k.ov_mass.count()) return 0.0;
  double m = 0.0;
  const double* mass = k.ov_mass[c];
  for (int i = 1; i <= ms.grid.ncells; ++i) m += mass[i];
  return m / 1000.0;
}

double land_surface_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  if (c < 1 || c > k.land_mass.count()) return 0.0;
  double m = 0.0;
  const double* land = k.land_mass[c];
  for (int i = 1; i <= ms.grid.ncells; ++i) m += land[i];
  return m / 1000.0;
}

namespace {

// The soil compartment of the books: without a contaminant soil column,
// the land surface and what the water carried down into the soil.
double soil_side_mass(const model_state& ms, int c, ledger_moment moment) {
  const mass_ledger& l = *ms.constituent.mass_books;
  double infiltrated = l.run_total(c, row(constituent_term::infiltration));
  if (moment == ledger_moment::event_start) infiltrated = l.run_total_at_event_start(c, row(constituent_term::infiltration));
  return land_surface_mass(ms, c) + infiltrated;
}

void record_masses(model_state& ms, ledger_moment moment) {
  constituent_state& k = ms.constituent;
  for (int c = 1; c <= k.num_constituents; ++c) {
    k.mass_books->set_mass(c, mass_compartment::overland_water, moment, overland_water_mass(ms, c));
    if (!k.soil_con_trans) k.mass_books->set_mass(c, mass_compartment::soil_column, moment, soil_side_mass(ms, c, moment));
    if (k.sediment_contam) k.mass_books->set_mass(c, mass_compartment::sediment_bound, moment, attached_mass(ms, c));
  }
  // The soil column's (when there is one) and the groundwater's.
  record_soil_column_masses(ms, moment);
}

}  // namespace

void open_constituent_event(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.ov_con_trans || !k.mass_books) return;
  k.mass_books->open_event();
  record_masses(ms, ledger_moment::event_start);
  for (int c = 1; c <= k.num_constituents; ++c) {
    k.event_ov_mass_init[c] = k.mass_books->mass(c, mass_compartment::overland_water, ledger_moment::event_start);
    k.event_ov_land_mass[c] = land_surface_mass(ms, c);
    k.event_ov_neg_mass[c] = 0.0;
  }
}

void close_constituent_books(model_state& ms, ledger_moment moment) {
  constituent_state& k = ms.constituent;
  if (!k.ov_con_trans || !k.mass_books) return;
  record_masses(ms, moment);
  const mass_ledger& l = *k.mass_books;
  const bool run = moment == ledger_moment::run_end;
  auto total = [&](int c, constituent_term t) { return run ? l.run_total(c, row(t)) : l.event_total(c, row(t)); };
  for (int c = 1; c <= k.num_constituents; ++c) {
    const double out = total(c, constituent_term::overland_outlet);
    const double qlat = total(c, constituent_term::overland_to_channels);
    const double infil = total(c, constituent_term::infiltration);
    const double rain = total(c, constituent_term::rain_on_cells);
    const double point = total(c, constituent_term::overland_point_source);
    const double exfil = total(c, constituent_term::exfiltration) + total(c, constituent_term::groundwater_exfiltration);
    // Net gain of the water from the land surface.
    const double uptake = total(c, constituent_term::release_from_land) - total(c, constituent_term::uptake_by_land);
    const double decay = total(c, constituent_term::overland_decay);
    const double reset = total(c, constituent_term::overland_negative_reset);
    const double water = l.mass(c, mass_compartment::overland_water, moment);
    if (!run) {
      // The event summary has a line of its own for the mass given to
      // cells driven below zero (event_ov_neg_mass).
      k.event_ov_mass_final[c] = water;
      k.event_ov_land_mass_final[c] = land_surface_mass(ms, c);
      k.event_ov_mass_out[c] = out;
      k.event_ov_qlat_mass[c] = qlat;
      k.event_ov_decay_mass[c] = decay;
      k.event_ov_infil_mass[c] = infil;
      k.event_ov_precip_mass[c] = rain;
      k.event_ov_point_mass[c] = point;
      k.event_ov_exfil_mass[c] = exfil;
      k.event_ov_uptake_mass[c] = uptake;
      continue;
    }
    k.OV_MASS_FINAL[c] = water;
    k.OV_MASS_OUT[c] = out;
    k.OV_QLAT_MASS[c] = qlat;
    // The run summary has no line for the mass given to cells driven below
    // zero: the decay is given net of it.
    k.OV_MASS_DECAY[c] = decay - reset;
    k.OV_INFIL_MASS[c] = infil;
    k.OV_PRECIP_MASS[c] = rain;
    k.OV_POINT_MASS[c] = point;
    k.OV_EXFIL_MASS[c] = exfil;
    k.OV_UPTAKE_MASS[c] = uptake;
    k.OV_LAND_MASS_FINAL[c] = land_surface_mass(ms, c);
    // The whole model: what came in from outside, what left it, and what
    // it holds: the water, the land surface and, without a soil column,
    // what infiltrated.
    k.global_precip_mass[c] = rain;
    k.GLOBAL_POINT_SOURCE[c] = point;
    k.GLOBAL_MASS_DECAY[c] = decay - reset + total(c, constituent_term::soil_decay);
    // The soil column's mass seeps down to the table out of the system;
    // the groundwater's comes in from outside it.
    k.GLOBAL_MASS_OUT[c] = out + (k.chan_con_trans ? 0.0 : qlat) + total(c, constituent_term::seepage_to_water_table);
    k.GLOBAL_MASS_FINAL[c] = water + l.mass(c, mass_compartment::soil_column, moment);
    k.global_gw_exfil_mass[c] = total(c, constituent_term::groundwater_exfiltration);
    k.soil_mass_init[c] = l.mass(c, mass_compartment::soil_column, ledger_moment::run_start);
    k.soil_mass_final[c] = l.mass(c, mass_compartment::soil_column, moment);
    k.soil_mass_seep_to_wt[c] = total(c, constituent_term::seepage_to_water_table);
    k.soil_mass_seep_from_wt[c] = total(c, constituent_term::seepage_from_water_table);
    if (k.sediment_contam) {
      // The mass on the suspended sediment: what it brought from the soil
      // and took back, gave the water or took from it, and carried out.
      const double eroded = total(c, constituent_term::eroded_with_soil);
      const double settled = total(c, constituent_term::settled_with_sediment);
      const double attached_out = total(c, constituent_term::outlet_on_sediment);
      const double attached = l.mass(c, mass_compartment::sediment_bound, moment);
      k.sed_contam_source[c] =
          total(c, constituent_term::release_from_sediment) - total(c, constituent_term::sorbed_onto_sediment);
      k.sed_eroded_deposited[c] = settled - eroded;
      k.sed_attached_out[c] = attached_out;
      k.sed_attached_final[c] = attached;
      k.sed_contam_total_final[c] = water + attached;
      k.GLOBAL_MASS_OUT[c] += attached_out;
      k.GLOBAL_MASS_FINAL[c] += attached;
    }
  }
}

}  // namespace nivra
