// The overland constituent steps: the processes that bring mass to the
// cells' water or take it away, and the transport that moves it with the
// water. A process that acts at once (the rain, the outlet, the lateral
// inflow, a drying cell that infiltrates whole) books its mass as it moves
// it; the others gather their amounts per cell, and the transport takes
// each amount's share for its step into the cell's net source, cut so that
// no cell's mass goes below zero, and books what it took.
#include "quality/contaminant/overland_constituent_step.h"

#include <algorithm>
#include <array>
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
#include "quality/nsm.h"
#include "quality/nsm/nutrient_initial.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/boundary_codes.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

constexpr double tiny = 1e-16;

// Kinds of constituent_type.
constexpr int contaminant_kind = 1;
constexpr int nutrient_water_kind = 2;

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

// The factor that stretches the kinetics' interval over constituent steps.
double kinetics_factor(const constituent_state& k) {
  return k.kinetics_timestep_factor > 0.0 ? k.kinetics_timestep_factor : 1.0;
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

// The lake that holds cell i's water: L for channel lake L, -L for overland
// lake L, 0 for none.
int lake_code_of(const lake_state& lk, int i) {
  if (lk.chan_lakes && lk.lake_mask.size() >= i && lake_cell(lk.lake_mask[i])) return lk.lake_mask[i];
  if (lk.overland_lake_map_given && lk.oland_lake_new.size() >= i && lake_cell(lk.oland_lake_new[i]) &&
      lk.oland_lake_new[i] <= lk.num_olakes)
    return -lk.oland_lake_new[i];
  return 0;
}

constexpr int not_seen = constituent_state::ov_lake_not_seen;

// The channel quality holds the mass of channel lake L.
bool channel_lake_held(const constituent_state& k, int c, int L) {
  return k.chan_wq && k.lake_mass.count() >= c && L >= 1 && L <= k.lake_mass.row_length() &&
         k.lake_conc.count() >= c;
}

// The concentration of the water of the lake of the code (g/m3): a channel
// lake's from the channel quality (clean where it carries none), an
// overland lake's from its mass and water.
double lake_conc_of(const constituent_state& k, int c, int code) {
  if (code > 0) return channel_lake_held(k, c, code) ? std::max(k.lake_conc(c, code), 0.0) : 0.0;
  const int L = -code;
  const double v = k.olake_water[L];
  return v > tiny ? std::max(k.olake_mass(c, L), 0.0) / v : 0.0;
}

// Mass m (g; negative: out of it) carried into the lake of the code by the
// overland water. An overland lake's water is part of the overland water.
void into_lake(constituent_state& k, int c, int code, double m) {
  if (m == 0.0) return;
  if (code < 0) {
    k.olake_mass(c, -code) += m;
    return;
  }
  if (channel_lake_held(k, c, code)) k.lake_mass(c, code) += m;
  if (m > 0.0)
    book(k, c, constituent_term::overland_to_lakes, m);
  else
    book(k, c, constituent_term::lakes_to_overland, -m);
}

// At most v m3 of the lake's water at its concentration, never more than
// the lake holds (g).
double lake_share(const constituent_state& k, int c, int code, double v) {
  const double held = code > 0 ? (channel_lake_held(k, c, code) ? k.lake_mass(c, code) : 0.0)
                               : k.olake_mass(c, -code);
  return std::min(std::max(held, 0.0), lake_conc_of(k, c, code) * v);
}

// The mass of the water an overland lake has left on the cell (v m3): its
// share of the lake's mass, which was that of the lake's water and the
// water it left (g).
double left_share(const constituent_state& k, int c, int L, double v) {
  const double all = k.olake_water[L] + k.olake_left_water[L];
  return all > tiny ? std::max(k.olake_mass(c, L), 0.0) * std::min(v / all, 1.0) : 0.0;
}

// Which lake holds every cell's water at this step, the water of every
// overland lake, and the water over the cells it has just left, which was
// still the lake's.
void find_lake_cells(model_state& ms) {
  constituent_state& k = ms.constituent;
  const lake_state& lk = ms.lake;
  const int n = ms.grid.ncells;
  if (k.ov_lake_code.size() != n) return;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const double* h = ms.overland.ov_depth.data();
  k.olake_water.fill(0.0);
  k.olake_left_water.fill(0.0);
  for (int i = 1; i <= n; ++i) {
    const int code = lake_code_of(lk, i);
    k.ov_lake_code[i] = code;
    if (code < 0) {
      const int L = -code;
      k.olake_water[L] += (lk.olake_table[L].value[olake_value::level] - ms.grid.elevation[i]) * area;
    } else if (code == 0 && k.ov_lake_seen[i] < 0 && k.ov_lake_seen[i] != not_seen && h[i] >= tiny) {
      k.olake_left_water[-k.ov_lake_seen[i]] += h[i] * area;
    }
  }
}

// Before the transport: a cell a lake has taken gives the lake its mass; a
// cell an overland lake has left keeps the lake's water on it, with the
// lake's concentration.
void lake_transitions(model_state& ms, int c) {
  constituent_state& k = ms.constituent;
  const int n = ms.grid.ncells;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const double* h = ms.overland.ov_depth.data();
  double* mass = k.ov_mass[c];
  double* cc = k.ov_conc[c];
  for (int i = 1; i <= n; ++i) {
    const int code = k.ov_lake_code[i];
    const int seen = k.ov_lake_seen[i];
    if (code != 0) {
      if (mass[i] > 0.0) into_lake(k, c, code, mass[i]);
      mass[i] = 0.0;
      cc[i] = 0.0;
    } else if (seen < 0 && seen != not_seen && h[i] >= tiny) {
      const double m = left_share(k, c, -seen, h[i] * area);
      k.olake_mass(c, -seen) -= m;
      mass[i] += m;
      cc[i] = mass[i] / (h[i] * area);
    }
  }
}

// After the transport: what the faces carried into each lake (negative:
// out of it) goes to the lake.
void lake_faces(model_state& ms, int c) {
  constituent_state& k = ms.constituent;
  const int n = ms.grid.ncells;
  double* mass = k.ov_mass[c];
  double* cc = k.ov_conc[c];
  for (int i = 1; i <= n; ++i) {
    const int code = k.ov_lake_code[i];
    if (code == 0) continue;
    into_lake(k, c, code, mass[i]);
    mass[i] = 0.0;
    cc[i] = 0.0;
  }
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
  // Rain on a cell whose level a boundary holds leaves the grid at once.
  const int* bc = ms.overland.ov_boundary && ms.overland.boundary_type.size() == n ? ms.overland.boundary_type.data()
                                                                                    : nullptr;
  for (int c = 1; c <= k.num_constituents; ++c) {
    const double conc = k.precip_conc[c];
    if (!(conc > 0.0)) continue;
    double* mass = k.ov_mass[c];
    double* cc = k.ov_conc[c];
    double total = 0.0;
    for (int i = 1; i <= n; ++i) {
      if (!(r[i] > 0.0)) continue;
      if (bc && boundary::holds_level(bc[i])) continue;
      // Rain on a lake: a channel lake's is the channel quality's; an
      // overland lake's stays in its water.
      if (const int code = lake_code_of(ms.lake, i)) {
        if (code < 0 && k.olake_mass.count() >= c) {
          const double m = rain_mass(r[i], conc, area, dt);
          k.olake_mass(c, -code) += m;
          total += m;
        }
        continue;
      }
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
    k.kinetic_left_s = constituent_step_days(ms) * factor * seconds_per_day;
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

// 5. The nutrient kinetics' clock: the interval since they last ran is kept
// for the transport, which spreads what they gathered for the water over
// it; they run again after KINETICS_TIMESTEP_FACTOR constituent steps.
void nutrient_kinetics_timing(model_state& ms) {
  constituent_state& k = ms.constituent;
  process_clock& nc = ms.clock.nsm_ov_clock;
  if (!k.nutrients || ms.clock.model_time < nc.next_time - ms.clock.time_tol) return;
  k.nsm_kinetic_interval_s = std::max(seconds_since(ms, nc.last_time), 0.0);
  nc.last_time = ms.clock.model_time;
  nc.next_time = ms.clock.model_time + constituent_step_days(ms) * kinetics_factor(k);
}

// 6. The nutrient soil step (nutrients with soil transport): with the
// layers' water content refreshed, every surface-layer pool below zero is
// made up to zero out of the water of its partner constituent. The pool is
// the soil side of that constituent's row: its gain is booked on the row at
// once, while the water's side waits in the cell's exchange row and is
// booked as the transport takes it.
void nutrient_soil_step(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.nutrients || !k.soil_con_trans || !k.nsm_model) return;
  nsm_soil& soil = k.nsm_model->soil;
  const int base = k.first_nsm_constituent;
  if (soil.ncells != ms.grid.ncells || soil.layers < 1 || base < 1 ||
      k.cell_exchange_mass.count() < base + nsm_water_items - 1)
    return;
  process_clock& sc = ms.clock.nsm_soil_clock;
  if (ms.clock.model_time < sc.next_time - ms.clock.time_tol) return;
  // The interval is at most the step's own: a clock left behind by an
  // earlier event, or never set by a soil-moisture clock, does not spread
  // what the step asks over the time it did not run.
  const double nominal_days = constituent_step_days(ms) * kinetics_factor(k);
  k.nsm_soil_interval_s = std::clamp(seconds_since(ms, sc.last_time), 0.0, nominal_days * seconds_per_day);
  sc.last_time = ms.clock.model_time;
  sc.next_time = ms.clock.model_time + nominal_days;
  fill_layer_water_content(ms);
  std::array<double*, nsm_water_items> water_rows{};
  for (int w = 0; w < nsm_water_items; ++w) water_rows[static_cast<std::size_t>(w)] = k.cell_exchange_mass[base + w];
  const std::array<double, nsm_water_items> made_up = nsm_overland_cell_update(soil, water_rows.data());
  for (int w = 0; w < nsm_water_items; ++w) {
    const double gained = made_up[static_cast<std::size_t>(w)];
    if (!(gained > 0.0)) continue;
    book(k, base + w, constituent_term::nutrient_pool_gain, gained);
    // The soil summary shows the nutrient model's net take from the soil.
    k.soil_decay_mass[base + w] -= gained / 1000.0;
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
    double& m = k.ov_mass(c, outlet);
    const double out = std::min(std::max(m, 0.0), k.ov_conc(c, outlet) * v);
    m -= out;
    book(k, c, constituent_term::overland_outlet, out);
  }
}

// A link that takes no lateral inflow from the cells: lakes and links
// without nodes, and structures.
bool closed_link(int type) { return (type & 32) || (type & 64) || ((type & (4 | 8 | 16)) && (type & 128)); }

}  // namespace

// 8. With channels: the water the cells gave every channel node since the
// last step carries the cell's concentration into the node; water the
// channel gave a cell carries the node's concentration (none while the
// channels carry no constituents).
void lateral_constituent_transfer(model_state& ms) {
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  if (!k.ov_con_trans || !k.mass_books || ms.overland.ov_depth.empty()) return;
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

namespace {

// The net source of every cell of constituent c over a transport step of dt
// seconds, from the amounts the processes gathered; the land surface (or
// the soil column's pending exchange) gives or takes the exchange, and
// every mass taken is booked.
void cell_sources(model_state& ms, int c, double dt) {
  constituent_state& k = ms.constituent;
  const int n = ms.grid.ncells;
  const bool contaminant = k.constituent_type[c] == contaminant_kind;
  // The nutrients' water takes the share of what their kinetics made or
  // used up and, with soil transport, of what the nutrient soil step asked
  // of it.
  const bool nutrient = k.nutrients && k.constituent_type[c] == nutrient_water_kind;
  const bool nutrient_soil = nutrient && k.soil_con_trans;
  const bool column = k.soil_contam_layers > 0;
  double* rate = k.ov_source_rate.data();
  const double* mass = k.ov_mass[c];
  double* infil = k.cell_infil_mass[c];
  double* exfil = k.cell_exfil_mass[c];
  double* exchange = contaminant || nutrient_soil ? k.cell_exchange_mass[c] : nullptr;
  double* decay = contaminant || nutrient_soil ? k.cell_decay_mass[c] : nullptr;
  double* kinetics = nutrient ? k.cell_nsm_mass[c] : nullptr;
  // The interval the pending exchange and decay are spread over: for a
  // contaminant, the time left until its kinetics run again (this step
  // included), so that every step takes an even share of what they
  // gathered and the last step before they run again takes the rest.
  const double kinetic_s = contaminant ? std::max(dt, k.kinetic_left_s) : k.nsm_soil_interval_s;
  double* land = k.land_mass[c];
  double* soil_exchange = k.soil_con_trans ? k.soil_exchange_mass[c] : nullptr;
  double* soil_infil = k.soil_con_trans ? k.soil_infil_mass[c] : nullptr;
  // Per cell what was taken, summed below in cell order so that the books
  // hold the same bits on any number of threads.
  double* taken_exchange = k.ov_taken_exchange.data();
  double* taken_decay = k.ov_taken_decay.data();
  double* taken_infil = k.ov_taken_infil.data();
  double* taken_exfil = k.ov_taken_exfil.data();
  double* taken_gain = k.ov_taken_nsm_gain.data();
  double* taken_loss = k.ov_taken_nsm_loss.data();
  // A soil column's exchange with a contaminant is gathered at every step
  // and taken whole.
  const bool column_exchange = k.soil_con_trans != 0;
  // What exfiltration brought up: through the soil column, spread over the
  // column's step; straight from the groundwater, whole.
  const double exfil_s = column ? k.soil_step_interval_s : dt;
  const int parts = std::max(1, std::min(ms.overland.crew.size(), n / 4096));
  const int* lake = k.ov_lake_code.size() == n ? k.ov_lake_code.data() : nullptr;
  for_parts(ms.overland.crew, n, parts, [&](int first, int last, int) {
    for (int i = first; i <= last; ++i) {
      if (lake && lake[i] != 0) {
        // A lake's water takes nothing of what the cell gathered.
        rate[i] = 0.0;
        taken_exchange[i] = taken_decay[i] = taken_infil[i] = taken_exfil[i] = 0.0;
        continue;
      }
      cell_pending p;
      p.infiltration = &infil[i];
      p.infiltration_s = dt;
      p.exfiltration = &exfil[i];
      p.exfiltration_s = exfil_s;
      if (exchange) {
        p.exchange = &exchange[i];
        p.exchange_s = contaminant && column_exchange ? dt : kinetic_s;
        p.decay = &decay[i];
        p.decay_s = kinetic_s;
      }
      if (kinetics) {
        p.nutrients = &kinetics[i];
        p.nutrients_s = k.nsm_kinetic_interval_s;
      }
      cell_taken t;
      rate[i] = contam_cell_exchange(mass[i], dt, p, t);
      // The land surface (or the soil column) gives the contaminants their
      // exchange; a nutrient pool's side was made up when it was asked.
      if (contaminant) {
        if (soil_exchange)
          soil_exchange[i] += t.exchange;
        else
          land[i] -= t.exchange;
      }
      if (soil_infil) soil_infil[i] += t.infiltration;
      taken_exchange[i] = t.exchange;
      taken_decay[i] = t.decay;
      taken_infil[i] = t.infiltration;
      taken_exfil[i] = t.exfiltration;
      taken_gain[i] = t.nutrient_gain;
      taken_loss[i] = t.nutrient_loss;
    }
  });
  double release = 0.0, uptake = 0.0, decayed = 0.0, infiltrated = 0.0, exfiltrated = 0.0;
  double made = 0.0, used = 0.0;
  for (int i = 1; i <= n; ++i) {
    const double e = taken_exchange[i];
    if (e > 0.0) release += e;
    if (e < 0.0) uptake -= e;
    decayed += taken_decay[i];
    infiltrated += taken_infil[i];
    exfiltrated += taken_exfil[i];
    made += taken_gain[i];
    used += taken_loss[i];
  }
  if (contaminant) {
    book(k, c, constituent_term::release_from_land, release);
    book(k, c, constituent_term::uptake_by_land, uptake);
  } else {
    // The nutrient soil step only ever asks the water for mass.
    book(k, c, constituent_term::nutrient_soil_uptake, uptake - release);
  }
  book(k, c, constituent_term::nutrient_gain, made);
  book(k, c, constituent_term::nutrient_loss, used);
  book(k, c, constituent_term::overland_decay, decayed);
  book(k, c, constituent_term::infiltration, infiltrated);
  book(k, c, exfiltration_term(column), exfiltrated);
}

// Calls pass(from, to, v) for the water a rating boundary sent to a
// receiving neighbour, and the water a low spot of a dike passed, since the
// constituents last moved: v m3 from cell `from` to cell `to`.
template <class Pass>
void for_each_passed_water(const model_state& ms, Pass&& pass) {
  const overland_state& ov = ms.overland;
  const int n = ms.grid.ncells;
  if (ov.bc_rating_vol.rows() == n) {
    const int* nb[4] = {ms.grid.abovecon.data(), ms.grid.rightcon.data(), ms.grid.belowcon.data(),
                        ms.grid.leftcon.data()};
    for (int i = 1; i <= n; ++i) {
      if (!boundary::rates_by_curve(ov.boundary_type[i])) continue;
      for (int s = 1; s <= 4; ++s) {
        const double v = ov.bc_rating_vol(i, s);
        const int j = nb[s - 1][i];
        if (v == 0.0 || j == 0) continue;
        pass(v > 0.0 ? i : j, v > 0.0 ? j : i, std::fabs(v));
      }
    }
  }
  for (int j = 1; j <= ov.lowspot_vol.size(); ++j) {
    const double v = ov.lowspot_vol[j];
    const int a = ov.lowspot_from[j], b = ov.lowspot_to[j];
    if (v == 0.0 || a < 1 || a > n || b < 1 || b > n) continue;
    pass(v > 0.0 ? a : b, v > 0.0 ? b : a, std::fabs(v));
  }
}

// After the transport: the water that left through the boundary cells
// since the last step takes its mass with it. The cell's mass is that of
// all the water the step saw in it, the water it keeps and the water that
// left, so each takes its share: the concentration of what stays is that
// of what left (a held level that passes on what flows into it ends at the
// concentration of the inflow, never above it). Water a rating boundary
// sent to a receiving neighbour carries its share of the sender's mass
// there, and so does the water a low spot of a dike passes; water that
// came in through a boundary is clean.
void boundary_moves(model_state& ms, int c) {
  constituent_state& k = ms.constituent;
  overland_state& ov = ms.overland;
  const int n = ms.grid.ncells;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const double* h = ov.ov_depth.data();
  double* mass = k.ov_mass[c];
  double* cc = k.ov_conc[c];
  const int* lake = k.ov_lake_code.size() == n ? k.ov_lake_code.data() : nullptr;
  auto code_of = [&](int i) { return lake ? lake[i] : 0; };
  auto settle = [&](int i) { cc[i] = h[i] >= tiny && mass[i] > 0.0 ? mass[i] / (h[i] * area) : 0.0; };
  // The mass v m3 of cell i's water took away: its share of the cell's, or
  // the lake's concentration of it under a lake (taken from the lake).
  auto take = [&](int i, double v) {
    if (const int code = code_of(i)) {
      const double m = lake_share(k, c, code, v);
      if (code > 0 && channel_lake_held(k, c, code)) k.lake_mass(c, code) -= m;
      if (code < 0) k.olake_mass(c, -code) -= m;
      return m;
    }
    const double kept = std::max(h[i], 0.0) * area;
    const double m = mass[i] > 0.0 ? mass[i] * (v / (v + kept)) : 0.0;
    mass[i] -= m;
    settle(i);
    return m;
  };
  // v m3 of water passed from cell `from` to cell `to` (between two cells,
  // into or out of a lake) with its mass.
  auto pass = [&](int from, int to, double v) {
    const int lake_from = code_of(from), lake_to = code_of(to);
    if (lake_from != 0 && lake_from == lake_to) return;  // within one lake
    const double m = take(from, v);
    if (lake_from > 0) book(k, c, constituent_term::lakes_to_overland, m);
    if (lake_to != 0) {
      into_lake(k, c, lake_to, m);
    } else {
      mass[to] += m;
      settle(to);
    }
  };
  for_each_passed_water(ms, pass);
  if (ov.bc_out_vol.size() != n) return;
  const double* out = ov.bc_out_vol.data();
  double left = 0.0, left_lakes = 0.0;
  for (int i = 1; i <= n; ++i) {
    if (!(out[i] > 0.0)) continue;
    const int code = code_of(i);
    if (code < 0) continue;  // the boundaries act on an overland lake's cells only through their depths
    const double m = take(i, out[i]);
    (code > 0 ? left_lakes : left) += m;
  }
  book(k, c, constituent_term::overland_boundary_out, left);
  book(k, c, constituent_term::lake_boundary_out, left_lakes);
}

// The depths the transport divides the cells' mass by: those at the end of
// the step, with the water the boundary cells and the low spots of the
// dikes passed on since the constituents last moved put back where it came
// from. That water still carries its mass through the transport, and
// boundary_moves then takes its share with it; without it, a cell that
// passed water on would be richer in the transport than its water is.
const double* transport_depths(model_state& ms) {
  const overland_state& ov = ms.overland;
  const int n = ms.grid.ncells;
  const bool out = ov.bc_out_vol.size() == n;
  const bool rating = ov.bc_rating_vol.rows() == n;
  const bool lowspots = ov.lowspot_vol.size() > 0;
  if (!out && !rating && !lowspots) return ov.ov_depth.data();
  ov_transport_scratch& w = ms.constituent.ov_transport_work;
  w.size_for(n);
  double* h = w.depth_end.data();
  const double per_area = 1.0 / (ms.grid.grid_size * ms.grid.grid_size);
  for (int i = 1; i <= n; ++i) h[i] = ov.ov_depth[i];
  // v m3 passed from cell `from` to cell `to` (0: out of the grid).
  auto passed = [&](int from, int to, double v) {
    h[from] += v * per_area;
    if (to != 0) h[to] -= v * per_area;
  };
  if (out)
    for (int i = 1; i <= n; ++i)
      if (ov.bc_out_vol[i] > 0.0) passed(i, 0, ov.bc_out_vol[i]);
  for_each_passed_water(ms, passed);
  // Rounding never makes a depth out of nothing.
  for (int i = 1; i <= n; ++i) h[i] = h[i] > 0.0 ? h[i] : 0.0;
  return h;
}

// The boundary volumes are taken once every constituent has moved.
void clear_boundary_volumes(overland_state& ov) {
  if (!ov.bc_out_vol.empty()) ov.bc_out_vol.fill(0.0);
  if (!ov.bc_rating_vol.empty()) ov.bc_rating_vol.fill(0.0);
  if (!ov.lowspot_vol.empty()) ov.lowspot_vol.fill(0.0);
}

// After the transport: the water the storm sewer's inlets took from a cell
// since the last step (V) carried its share of the mass the cell's water
// held with it, V / (V + the water left), into the pipe network, which
// holds it; a cell the inlets left dry gives them all its mass. The cell's
// concentration stays.
void pipe_inlet_transfer(model_state& ms, int c) {
  constituent_state& k = ms.constituent;
  const int n = ms.grid.ncells;
  if (k.ov_con_pipe_vol.size() != n || c > k.pipe_dissolved.count()) return;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const double* blocked = blocked_cells(ms.overland);
  const double* taken = k.ov_con_pipe_vol.data();
  const double* h = ms.overland.ov_depth.data();
  double* mass = k.ov_mass[c];
  double* cc = k.ov_conc[c];
  double moved = 0.0;
  for (int i = 1; i <= n; ++i) {
    if (!(taken[i] > tiny) || !(mass[i] > 0.0)) continue;
    const double left = std::max(h[i], 0.0) * area * open_share(blocked, i);
    const double share = taken[i] / (taken[i] + left);
    const double m = share * mass[i];
    mass[i] -= m;
    cc[i] *= 1.0 - share;
    moved += m;
  }
  k.pipe_dissolved[c] += moved;
  book(k, c, constituent_term::dissolved_to_pipes, moved);
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
  nutrient_kinetics_timing(ms);
  nutrient_soil_step(ms);
  ms.clock.ov_outlet_con_clock.last_time = ms.clock.chan_outlet_con_clock.last_time = ms.clock.model_time;
  // Channels that carry the constituents take the cells' mass with the
  // lateral water at once, in the channel step that moved the water.
  if (!ms.channel.chan_explic)
    outlet_loss(ms);
  else if (!ms.constituent.chan_wq)
    lateral_constituent_transfer(ms);
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
    d.depth = transport_depths(ms);
    // The water each face moved since the constituents last moved, every
    // sub-step's, becomes the mean discharge of the transport step (and
    // starts again from zero below).
    overland_state& ov = ms.overland;
    if (ov.con_vol_x.size() == n && ov.con_vol_y.size() == n) {
      for (int i = 1; i <= n; ++i) {
        ov.con_vol_x[i] /= dt;
        ov.con_vol_y[i] /= dt;
      }
      d.qx = ov.con_vol_x.data();
      d.qy = ov.con_vol_y.data();
    } else {
      d.qx = ov.ov_qx.data();
      d.qy = ov.ov_qy.data();
    }
    d.source = k.ov_source_rate.data();
    d.crew = &ms.overland.crew;
    const bool lakes = k.ov_lake_code.size() == n;
    if (lakes) {
      find_lake_cells(ms);
      d.lake = k.ov_lake_code.data();
      d.held_conc = k.ov_held_conc.data();
    }
    const sweep_order order = k.ov_sweep_order == 2 ? sweep_order::columns_first : sweep_order::rows_first;
    for (int c = 1; c <= k.num_constituents; ++c) {
        if (lakes) {
        lake_transitions(ms, c);
        for (int i = 1; i <= n; ++i) {
          const int code = k.ov_lake_code[i];
          k.ov_held_conc[i] = code ? lake_conc_of(k, c, code) : 0.0;
          if (code) k.ov_conc(c, i) = k.ov_held_conc[i];
        }
      }
      cell_sources(ms, c, dt);
      d.disp = k.cell_disp_coef[c];
      ov_transport_state s{k.ov_mass[c], k.ov_conc[c]};
      const double reset = ovl_contam_step(d, s, k.ov_transport_work, dt, order);
      if (lakes) lake_faces(ms, c);
      if (reset > 0.0) {
        book(k, c, constituent_term::overland_negative_reset, reset);
        k.event_ov_neg_mass[c] += reset / 1000.0;
      }
      boundary_moves(ms, c);
      pipe_inlet_transfer(ms, c);
      // A mass that is not a number would spread through the grid and the
      // books: the run stops naming the constituent and the cell.
      if (const int bad = hand_over_dry_cells(ms, c)) {
        std::printf("Total cell mass, contam %d cell %d NAN\n", c, bad);
        stop_with_own_message();
        return;
      }
    }
    clear_boundary_volumes(ms.overland);
    if (k.ov_con_pipe_vol.size() == n) k.ov_con_pipe_vol.fill(0.0);
    k.kinetic_left_s = std::max(k.kinetic_left_s - dt, 0.0);
    if (ov.con_vol_x.size() == n) ov.con_vol_x.fill(0.0);
    if (ov.con_vol_y.size() == n) ov.con_vol_y.fill(0.0);
    if (lakes)
      for (int i = 1; i <= n; ++i) k.ov_lake_seen[i] = k.ov_lake_code[i];
  }
  k.ov_sweep_order = k.ov_sweep_order == 1 ? 2 : 1;
  const double* h = ms.overland.ov_depth.data();
  for (int i = 1; i <= n; ++i) k.ov_depth_prev[i] = h[i];
  process_clock& cc = ms.clock.ov_con_clock;
  cc.last_time = ms.clock.model_time;
  cc.next_time = ms.clock.model_time + constituent_step_days(ms);
}

double pipe_dissolved_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  return c >= 1 && c <= k.pipe_dissolved.count() ? k.pipe_dissolved[c] / 1000.0 : 0.0;
}

double overland_water_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  if (c < 1 || c > k.ov_mass.count()) return 0.0;
  double m = 0.0;
  const double* mass = k.ov_mass[c];
  for (int i = 1; i <= ms.grid.ncells; ++i) m += mass[i];
  // The overland lakes' water is part of the overland water.
  if (k.olake_mass.count() >= c)
    for (int L = 1; L <= k.olake_mass.row_length(); ++L) m += k.olake_mass(c, L);
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
    if (k.sediment_contam) {
      k.mass_books->set_mass(c, mass_compartment::sediment_bound, moment, attached_mass(ms, c));
    }
    // The pipes hold what their inlets took with the water, dissolved and
    // on the suspended fines.
    k.mass_books->set_mass(c, mass_compartment::pipes, moment, pipe_dissolved_mass(ms, c) + pipe_attached_mass(ms, c));
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
  if (run && k.nutrients) {
    // The nutrient model's run totals of mass made and used up, over every
    // medium.
    k.nsm_dmdt_in_total = k.nsm_dmdt_out_total = 0.0;
    for (int c = 1; c <= k.num_constituents; ++c) {
      if (k.constituent_type[c] != nutrient_water_kind) continue;
      k.nsm_dmdt_in_total += total(c, constituent_term::nutrient_gain) + total(c, constituent_term::nutrient_pool_gain) +
                             total(c, constituent_term::channel_nutrient_gain);
      k.nsm_dmdt_out_total += total(c, constituent_term::nutrient_loss) +
                              total(c, constituent_term::nutrient_soil_uptake) +
                              total(c, constituent_term::channel_nutrient_loss);
    }
  }
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
    const double boundary_out = total(c, constituent_term::overland_boundary_out);
    const double lake_out = total(c, constituent_term::lake_boundary_out);
    // Net mass the overland water gave the channel lakes.
    const double to_lakes =
        total(c, constituent_term::overland_to_lakes) - total(c, constituent_term::lakes_to_overland);
    const double water = l.mass(c, mass_compartment::overland_water, moment);
    const double to_pipes = total(c, constituent_term::dissolved_to_pipes);
    // The nutrient model's gains and losses in the overland water (its
    // kinetics and what its soil step took for the pools) and in the soil.
    const double nsm_in = total(c, constituent_term::nutrient_gain);
    const double nsm_out = total(c, constituent_term::nutrient_loss) + total(c, constituent_term::nutrient_soil_uptake);
    const double nsm_soil_in = total(c, constituent_term::nutrient_pool_gain);
    if (!run) {
      k.event_ov_nsm_in_mass[c] = nsm_in;
      k.event_ov_nsm_out_mass[c] = nsm_out;
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
      k.event_ov_boundary_mass[c] = boundary_out;
      k.event_lake_boundary_mass[c] = lake_out;
      k.event_ov_lake_mass[c] = to_lakes;
      k.event_ov_pipe_mass[c] = to_pipes;
      if (c <= k.lake_ov_mass_event.count()) k.lake_ov_mass_event[c] = to_lakes;
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
    k.ov_boundary_mass[c] = boundary_out;
    k.lake_boundary_mass[c] = lake_out;
    k.ov_lake_mass[c] = to_lakes;
    k.ov_pipe_mass[c] = to_pipes;
    k.OV_LAND_MASS_FINAL[c] = land_surface_mass(ms, c);
    k.ov_nsm_in_mass[c] = nsm_in;
    k.ov_nsm_out_mass[c] = nsm_out;
    // The channels add their own share when they close their books.
    k.global_nsm_in_mass[c] = nsm_in + nsm_soil_in;
    k.global_nsm_out_mass[c] = nsm_out;
    // The whole model: what came in from outside, what left it, and what
    // it holds: the water, the land surface and, without a soil column,
    // what infiltrated.
    k.global_precip_mass[c] = rain;
    k.GLOBAL_POINT_SOURCE[c] = point;
    k.GLOBAL_MASS_DECAY[c] = decay - reset + total(c, constituent_term::soil_decay);
    // The soil column's mass seeps down to the table out of the system;
    // the groundwater's comes in from outside it.
    // Without the channel quality the channels and their lakes are outside
    // the books; with it, what leaves a lake through a boundary leaves them.
    k.GLOBAL_MASS_OUT[c] = out + boundary_out + (k.chan_con_trans ? 0.0 : qlat) +
                           (k.chan_wq ? lake_out : to_lakes) + total(c, constituent_term::seepage_to_water_table);
    k.GLOBAL_MASS_FINAL[c] = water + l.mass(c, mass_compartment::soil_column, moment);
    k.global_gw_exfil_mass[c] = total(c, constituent_term::groundwater_exfiltration);
    k.soil_mass_init[c] = l.mass(c, mass_compartment::soil_column, ledger_moment::run_start);
    k.soil_mass_final[c] = l.mass(c, mass_compartment::soil_column, moment);
    k.soil_mass_seep_to_wt[c] = total(c, constituent_term::seepage_to_water_table);
    k.soil_mass_seep_from_wt[c] = total(c, constituent_term::seepage_from_water_table);
    if (k.sediment_contam) {
      // The mass on the suspended sediment: what it brought from the soil
      // and took back, gave the water or took from it, and carried out.
      const double attached_out = total(c, constituent_term::outlet_on_sediment);
      const double attached = l.mass(c, mass_compartment::sediment_bound, moment);
      k.sed_contam_source[c] =
          total(c, constituent_term::release_from_sediment) - total(c, constituent_term::sorbed_onto_sediment);
      k.sed_eroded_deposited[c] = soil_gain_with_sediment(l, c, false);
      k.sed_attached_out[c] = attached_out;
      k.sed_attached_final[c] = attached;
      k.sed_contam_total_final[c] = water + attached;
      k.GLOBAL_MASS_OUT[c] += attached_out;
      k.GLOBAL_MASS_FINAL[c] += attached;
    }
    // The pipes hold what their inlets took, dissolved and on the sediment.
    k.GLOBAL_MASS_FINAL[c] += l.mass(c, mass_compartment::pipes, moment);
  }
}

}  // namespace nivra
