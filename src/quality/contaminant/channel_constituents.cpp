#include "quality/contaminant/channel_constituents.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/nsm.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

bool lakes_on(const model_state& ms) { return ms.lake.chan_lakes && ms.lake.num_lakes > 0; }

int lake_count(const model_state& ms) { return lakes_on(ms) ? ms.lake.num_lakes : 0; }

// Constituents the channels carry: every one but the nutrient model's soil
// pools.
bool carried(const constituent_state& k, int c) {
  return c > k.constituent_type.count() || k.constituent_type[c] != 3;
}

// Every routed node (link, node, flat index) as the network stands.
template <class F>
void for_each_routed_node(const channel_state& ch, F&& f) {
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!chan_wq_routed_link(ch.ltype[l])) continue;
    for (int n = 1; n <= ch.nx[l]; ++n) f(l, n, l * ch.max_nodes_per_link + n);
  }
}

void book(model_state& ms, int c, constituent_term t, double grams) {
  if (grams != 0.0) ms.constituent.mass_books->book(c, row(t), grams / 1000.0);
}

void size_summary_totals(constituent_state& k);

}  // namespace

void init_channel_constituents(model_state& ms) {
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  if (!k.chan_con_trans || !ch.chan_explic) return;
  const int n = k.num_constituents;
  if (n < 1) {
    std::printf("Error: channel constituent transport (CHAN_CON_TRANS) carries the constituents that the "
                "contaminant cards or the contaminant table of the mapping table set up; this project has "
                "none.\n");
    stop_with_own_message();
    return;
  }
  const int flat = ch.link_node_size;
  const int lakes = lake_count(ms);
  k.chan_wq = std::make_unique<channel_constituents>();
  channel_constituents& w = *k.chan_wq;
  for (jagged_array<double>* a : {&k.chan_conc, &k.chan_node_mass, &k.dissolved_chan_flux}) a->grow(n, flat);
  for (jagged_array<double>* a :
       {&w.decay_coef, &w.disp, &w.lateral_mass, &w.lateral_conc, &w.aquifer_mass, &w.kinetics_mass})
    a->grow(n, flat);
  k.lake_conc.grow(n, std::max(lakes, 1));
  k.lake_mass.grow(n, std::max(lakes, 1));
  w.node_acc.assign(static_cast<std::size_t>(n) + 1,
                    std::vector<chan_node_accumulators>(static_cast<std::size_t>(flat) + 1));
  w.lake_acc.assign(static_cast<std::size_t>(n) + 1,
                    std::vector<chan_node_accumulators>(static_cast<std::size_t>(lakes) + 1));
  w.lake_decay_coef = ch.chan_decay_coef_card / 86400.0;
  size_summary_totals(k);
  // Parameters and starting concentrations of every node of an ordinary
  // link (lakes and structures hold none).
  for (int c = 1; c <= n; ++c)
    for (int l = 1; l <= ch.num_stream_links; ++l) {
      if (ch.ltype[l] & (link_type::lake | link_type::structure)) continue;
      for (int j = 1; j <= ch.nx[l]; ++j) {
        const int i = l * ch.max_nodes_per_link + j;
        w.decay_coef(c, i) = carried(k, c) && (c > k.constituent_type.count() || k.constituent_type[c] == 1) &&
                                     !k.is_sediment_class(c)
                                 ? ch.chan_decay_coef_card / 86400.0
                                 : 0.0;
        w.disp(c, i) = ch.chan_disp_coef;
      }
    }
  // The network as the kernels read it, and their scratch.
  w.net.num_links = ch.num_stream_links;
  w.net.stride = ch.max_nodes_per_link;
  w.net.num_lakes = lakes;
  w.net.nx = {ch.nx.data(), ch.nx.size()};
  w.net.ltype = {ch.ltype.data(), ch.ltype.size()};
  w.net.dslink = {ch.dslink.data(), ch.dslink.size()};
  w.net.link_dx = {ch.link_dx.data(), ch.link_dx.size()};
  w.nx_seen.alloc(ch.num_stream_links);
  w.ltype_seen.alloc(ch.num_stream_links);
  w.capture_seen.alloc(ch.num_stream_links);
  // The lake of every lake link; lake2link is sized with the lakes.
  static const int no_lake[1] = {0};
  if (lakes > 0)
    w.net.lake_of_link = {ms.lake.lake2link.data(), ms.lake.lake2link.size()};
  else
    w.net.lake_of_link = {no_lake, 0};
  for (array1d<double>* a :
       {&w.area_old, &w.area, &w.face_volume, &w.source, &w.decay_mass, &w.gw_mass, &w.bed_volume})
    a->alloc(flat);
  for (array1d<double>* a : {&w.lake_volume_old, &w.lake_outflow, &w.lake_source, &w.lake_decay_mass,
                             &w.lake_gw_mass, &w.lake_rain_mass, &w.lake_volume_seen})
    a->alloc(std::max(lakes, 1));
  ch.point_vol_wq.alloc(ch.link_node_size + 1, lakes, true);
  if (lakes > 0) {
    ch.lake_release_vol.alloc(lakes);
    if (ms.lake.lake_gw_on) ms.lake.lake_cell_seep_vol.alloc(ms.grid.ncells);
  }
  if (ch.stream_loss) {
    int entries = 0;
    for (int i = 1; i <= ch.gst_num_cells; ++i) entries += ch.gst_ncellsingrid[i];
    w.stream_entries.reserve(static_cast<std::size_t>(entries));
  }
  if (lakes > 0 && ms.lake.lake_gw_on) w.lake_entries.reserve(static_cast<std::size_t>(ms.grid.ncells));
}

void start_channel_constituent_books(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.chan_wq) return;
  channel_state& ch = ms.channel;
  channel_constituents& w = *k.chan_wq;
  const int n = k.num_constituents;
  if (!k.mass_books) k.mass_books = std::make_unique<mass_ledger>(constituent_term_table, n);
  // The starting concentration in every node that holds water; the lakes
  // start clean. The nutrient model's nine water constituents start from
  // the stream values it was given (ST_INIT_*, its tables or files), the
  // sediment classes carried as constituents from clean water, the others
  // from INIT_CHAN_CONC.
  const nsm_stream* stream = k.nutrients && k.nsm_model && k.first_nsm_constituent > 0 ? &k.nsm_model->stream : nullptr;
  for (int c = 1; c <= n; ++c) {
    const int item = stream ? c - k.first_nsm_constituent : -1;
    const checked_array<double>* given =
        item >= 0 && item < nsm_water_items && stream->water[item].conc.count() > 0 ? &stream->water[item].conc : nullptr;
    for_each_routed_node(ch, [&](int l, int j, int i) {
      const double a = ch.area(j, l);
      if (a > 1e-16) {
        const double conc = given && i <= given->count() ? (*given)[i]
                            : k.is_sediment_class(c)             ? 0.0
                                                                 : ch.init_chan_conc;
        k.chan_conc(c, i) = conc;
        k.chan_node_mass(c, i) = conc * a * ch.link_dx[l];
      } else {
        k.chan_conc(c, i) = k.chan_node_mass(c, i) = 0.0;
      }
    });
  }
  book_channel_constituent_masses(ms, ledger_moment::run_start);
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    w.nx_seen[l] = ch.nx[l];
    w.ltype_seen[l] = ch.ltype[l];
    w.capture_seen[l] = l <= ch.capture_lake.size() ? ch.capture_lake[l] : 0;
  }
  for (int L = 1; L <= lake_count(ms); ++L) w.lake_volume_seen[L] = ms.lake.lake_volume[L];
  w.router.prepare(w.net);
  w.steps_seen = ch.chan_steps;
}

double channel_constituent_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  if (!k.chan_wq) return 0.0;
  double m = 0.0;
  // Every node slot: a node a lake has taken holds nothing, a dry node may
  // keep mass until water comes back to carry it.
  const channel_state& ch = ms.channel;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (ch.ltype[l] & (link_type::lake | link_type::structure)) continue;
    for (int j = 1; j < ch.max_nodes_per_link; ++j) m += k.chan_node_mass(c, l * ch.max_nodes_per_link + j);
  }
  return m / 1000.0;
}

double lake_constituent_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  if (!k.chan_wq) return 0.0;
  double m = 0.0;
  for (int L = 1; L <= lake_count(ms); ++L) m += k.lake_mass(c, L);
  return m / 1000.0;
}

namespace {

// The summaries' per-constituent totals of the channels and lakes, sized
// with the constituents.
void size_summary_totals(constituent_state& k) {
  checked_array<double>* totals[] = {
      &k.chan_mass_init,        &k.chan_mass_final,         &k.chan_mass_out,          &k.chan_lake_in_mass,
      &k.chan_lake_out_mass,    &k.chan_lake_exch_mass,     &k.chan_gw_mass,           &k.chan_decay_mass,
      &k.chan_nsm_gain,         &k.chan_nsm_loss,           &k.chan_sed_exch_mass,     &k.chan_sed_lat_in,
      &k.chan_sed_out,          &k.chan_sed_susp_final,     &k.lake_mass_init_run,     &k.lake_mass_final_run,
      &k.lake_inflow_mass,      &k.lake_outflow_mass,       &k.lake_chan_exch_mass,    &k.lake_precip_mass,
      &k.lake_decay_mass,       &k.chan_mass_init_event,    &k.chan_mass_final_event,  &k.chan_mass_out_event,
      &k.chan_point_mass_event, &k.chan_gw_mass_event,      &k.chan_decay_mass_event,  &k.chan_nsm_gain_event,
      &k.chan_nsm_loss_event,   &k.chan_lake_in_mass_event, &k.chan_lake_out_mass_event, &k.chan_lake_exch_mass_event,
      &k.chan_sed_lat_in_event, &k.chan_sed_exch_event,     &k.chan_sed_out_event,     &k.chan_sed_susp_event,
      &k.chan_sed_to_lake_event, &k.lake_mass_init_event,   &k.lake_mass_final_event,  &k.lake_precip_mass_event,
      &k.lake_inflow_mass_event, &k.lake_outflow_mass_event, &k.lake_chan_exch_event,  &k.lake_ov_mass_event,
      &k.lake_point_mass_event, &k.lake_gw_mass_event,      &k.lake_decay_mass_event,  &k.lake_sed_exch_event,
      &k.lake_sed_ov_in_event,  &k.lake_sed_chan_in_event,  &k.GLOBAL_MASS_INIT,       &k.GLOBAL_MASS_FINAL,
      &k.GLOBAL_POINT_SOURCE,   &k.GLOBAL_MASS_OUT,         &k.GLOBAL_MASS_DECAY,      &k.GLOBAL_GW_MASS,
      &k.GLOBAL_MASS_CON_ERROR, &k.global_precip_mass,      &k.global_nsm_in_mass,     &k.global_nsm_out_mass,
      &k.chan_point_mass,       &k.lake_gw_mass_run,        &k.lake_point_mass_run,    &k.lake_sed_exch_run};
  for (checked_array<double>* a : totals)
    if (a->count() < k.num_constituents) a->grow_fill(k.num_constituents - a->count(), 0.0);
}

// The summaries' lines of the channels and lakes from the ledger: the
// event's when the event closes, the run's when the run does.
void fill_summary_totals(model_state& ms, ledger_moment m) {
  constituent_state& k = ms.constituent;
  const mass_ledger& l = *k.mass_books;
  const bool event = m == ledger_moment::event_end;
  for (int c = 1; c <= k.num_constituents; ++c) {
    auto t = [&](constituent_term x) { return event ? l.event_total(c, row(x)) : l.run_total(c, row(x)); };
    const ledger_moment start = event ? ledger_moment::event_start : ledger_moment::run_start;
    const double chan0 = l.mass(c, mass_compartment::channels, start);
    const double lake0 = l.mass(c, mass_compartment::lakes, start);
    const double chan1 = l.mass(c, mass_compartment::channels, m);
    const double lake1 = l.mass(c, mass_compartment::lakes, m);
    if (event) {
      k.chan_mass_init_event[c] = chan0;
      k.chan_mass_final_event[c] = chan1;
      k.chan_point_mass_event[c] = t(constituent_term::channel_point_sources);
      k.chan_lake_in_mass_event[c] = t(constituent_term::lakes_to_channels);
      k.chan_lake_exch_mass_event[c] = 0.0;
      k.chan_gw_mass_event[c] = t(constituent_term::aquifer_to_channels) - t(constituent_term::channels_to_aquifer);
      k.chan_lake_out_mass_event[c] = t(constituent_term::channels_to_lakes);
      k.chan_mass_out_event[c] = t(constituent_term::channel_outlet);
      k.chan_decay_mass_event[c] = t(constituent_term::channel_decay);
      k.chan_nsm_gain_event[c] = t(constituent_term::channel_nutrient_gain);
      k.chan_nsm_loss_event[c] = t(constituent_term::channel_nutrient_loss);
      k.lake_mass_init_event[c] = lake0;
      k.lake_mass_final_event[c] = lake1;
      k.lake_precip_mass_event[c] = t(constituent_term::rain_on_lakes);
      k.lake_point_mass_event[c] = t(constituent_term::lake_point_sources);
      k.lake_inflow_mass_event[c] = t(constituent_term::channels_to_lakes);
      k.lake_outflow_mass_event[c] = t(constituent_term::lakes_to_channels);
      k.lake_chan_exch_event[c] = 0.0;
      k.lake_gw_mass_event[c] = t(constituent_term::aquifer_to_lakes) - t(constituent_term::lakes_to_aquifer);
      k.lake_decay_mass_event[c] = t(constituent_term::lake_decay);
    } else {
      k.chan_mass_init[c] = chan0;
      k.chan_mass_final[c] = chan1;
      k.chan_lake_in_mass[c] = t(constituent_term::lakes_to_channels);
      k.chan_gw_mass[c] = t(constituent_term::aquifer_to_channels) - t(constituent_term::channels_to_aquifer);
      k.chan_decay_mass[c] = t(constituent_term::channel_decay);
      k.chan_nsm_gain[c] = t(constituent_term::channel_nutrient_gain);
      k.chan_nsm_loss[c] = t(constituent_term::channel_nutrient_loss);
      k.chan_lake_out_mass[c] = t(constituent_term::channels_to_lakes);
      k.chan_lake_exch_mass[c] = 0.0;
      k.chan_sed_exch_mass[c] = t(constituent_term::channel_sediment_release);
      k.chan_mass_out[c] = t(constituent_term::channel_outlet);
      k.chan_point_mass[c] = t(constituent_term::channel_point_sources);
      k.lake_mass_init_run[c] = lake0;
      k.lake_mass_final_run[c] = lake1;
      k.lake_inflow_mass[c] = t(constituent_term::channels_to_lakes);
      k.lake_outflow_mass[c] = t(constituent_term::lakes_to_channels);
      k.lake_chan_exch_mass[c] = 0.0;
      k.lake_precip_mass[c] = t(constituent_term::rain_on_lakes);
      k.lake_point_mass_run[c] = t(constituent_term::lake_point_sources);
      k.lake_decay_mass[c] = t(constituent_term::lake_decay);
      k.lake_gw_mass_run[c] = t(constituent_term::aquifer_to_lakes) - t(constituent_term::lakes_to_aquifer);
      // The channels' and lakes' share of the whole model's books; their
      // final masses are added where the run closes its books.
      k.GLOBAL_MASS_INIT[c] += chan0 + lake0;
      k.GLOBAL_POINT_SOURCE[c] += t(constituent_term::channel_point_sources) + t(constituent_term::lake_point_sources);
      k.GLOBAL_MASS_OUT[c] += t(constituent_term::channel_outlet);
      k.GLOBAL_MASS_DECAY[c] += t(constituent_term::channel_decay) + t(constituent_term::lake_decay);
      k.GLOBAL_GW_MASS[c] += t(constituent_term::aquifer_to_channels) - t(constituent_term::channels_to_aquifer) +
                             t(constituent_term::aquifer_to_lakes) - t(constituent_term::lakes_to_aquifer);
      k.global_precip_mass[c] += t(constituent_term::rain_on_lakes);
      k.global_nsm_in_mass[c] += t(constituent_term::channel_nutrient_gain);
      k.global_nsm_out_mass[c] += t(constituent_term::channel_nutrient_loss);
    }
  }
}

}  // namespace

void book_channel_constituent_masses(model_state& ms, ledger_moment m) {
  constituent_state& k = ms.constituent;
  if (!k.chan_wq || !k.mass_books) return;
  for (int c = 1; c <= k.num_constituents; ++c) {
    k.mass_books->set_mass(c, mass_compartment::channels, m, channel_constituent_mass(ms, c));
    k.mass_books->set_mass(c, mass_compartment::lakes, m, lake_constituent_mass(ms, c));
  }
  if (m == ledger_moment::event_end || m == ledger_moment::run_end) fill_summary_totals(ms, m);
}

void start_channel_constituent_event(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.chan_wq || !k.mass_books) return;
  if (!k.ov_con_trans) k.mass_books->open_event();
  book_channel_constituent_masses(ms, ledger_moment::event_start);
}

namespace {

// The nodes a lake took since the last step give their mass to it; the
// nodes it gave back take the lake's concentration with their water.
void follow_lake_capture(model_state& ms) {
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  channel_constituents& w = *k.chan_wq;
  const int n = k.num_constituents;
  const int lakes = lake_count(ms);
  bool changed = false;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int before = w.nx_seen[l], now = ch.nx[l];
    changed = changed || before != now || w.ltype_seen[l] != ch.ltype[l];
    if (ch.ltype[l] & (link_type::lake | link_type::structure)) continue;
    // Taken: nodes now + 1 .. before.
    for (int j = now + 1; j <= before; ++j) {
      const int i = l * ch.max_nodes_per_link + j;
      const int lake = l <= ch.capture_lake.size() ? ch.capture_lake[l] : 0;
      for (int c = 1; c <= n; ++c) {
        const double m = k.chan_node_mass(c, i);
        if (lake >= 1 && lake <= lakes) {
          k.lake_mass(c, lake) += m;
          book(ms, c, constituent_term::channels_to_lakes, m);
          k.chan_node_mass(c, i) = 0.0;
        }
        k.chan_conc(c, i) = 0.0;
      }
    }
    // Given back: nodes before + 1 .. now, with the water the lake gave.
    for (int j = before + 1; j <= now; ++j) {
      const int i = l * ch.max_nodes_per_link + j;
      const int lake = w.capture_seen[l];
      const double v = std::max(ch.area(j, l), 0.0) * ch.link_dx[l];
      for (int c = 1; c <= n; ++c) {
        if (lake < 1 || lake > lakes) continue;
        const double lc = std::max(k.lake_conc(c, lake), 0.0);
        const double m = std::min(lc * v, std::max(k.lake_mass(c, lake), 0.0));
        k.lake_mass(c, lake) -= m;
        k.chan_node_mass(c, i) += m;
        k.chan_conc(c, i) = v > 1e-16 ? k.chan_node_mass(c, i) / v : 0.0;
        book(ms, c, constituent_term::lakes_to_channels, m);
      }
      // Its water came from the lake at the start of the step.
      w.area_old[i] = ch.area(j, l);
    }
  }
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    w.nx_seen[l] = ch.nx[l];
    w.ltype_seen[l] = ch.ltype[l];
    w.capture_seen[l] = l <= ch.capture_lake.size() ? ch.capture_lake[l] : 0;
  }
  // The faces follow the network (the scratch keeps its capacity).
  if (changed) w.router.prepare(w.net);
}

// The water of the step in the kernels' flat layout.
void water_of_the_step(model_state& ms) {
  channel_state& ch = ms.channel;
  channel_constituents& w = *ms.constituent.chan_wq;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!chan_wq_routed_link(ch.ltype[l])) continue;
    for (int j = 1; j <= ch.nx[l]; ++j) {
      const int i = l * ch.max_nodes_per_link + j;
      w.area[i] = std::max(ch.area(j, l), 0.0);
      w.area_old[i] = std::max(ch.area_old(j, l), 0.0);
      w.face_volume[i] = ch.qp_vol(j, l);
    }
  }
  for (int L = 1; L <= lake_count(ms); ++L) {
    w.lake_volume_old[L] = w.lake_volume_seen[L];
    w.lake_outflow[L] = ch.lake_release_vol[L];
  }
}

// The stream beds' exchange with the aquifer over the step, the volumes the
// routing moved: per grid-stream entry under a water table, per node
// without one (where every bed loses).
void fill_stream_entries(model_state& ms) {
  channel_state& ch = ms.channel;
  channel_constituents& w = *ms.constituent.chan_wq;
  w.stream_entries.clear();
  w.aquifer_table = ms.groundwater.water_table_given && !ms.groundwater.elevgw.empty();
  for_each_routed_node(ch, [&](int, int, int i) { w.bed_volume[i] = 0.0; });
  if (!ch.stream_loss || ch.gst_qriv_vol.empty()) return;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const double v = ch.gst_qriv_vol[i][j];
      if (v == 0.0) continue;
      const int l = ch.gst_link[i][j], k = ch.gst_node[i][j];
      const int flat = l * ch.max_nodes_per_link + k;
      if (w.aquifer_table)
        w.stream_entries.push_back({ch.gst_gnum[i][j], flat, v});
      else
        w.bed_volume[flat] += v;
    }
}

void fill_lake_entries(model_state& ms) {
  lake_state& lk = ms.lake;
  channel_constituents& w = *ms.constituent.chan_wq;
  w.lake_entries.clear();
  if (lk.lake_cell_seep_vol.empty()) return;
  for (int L = 1; L <= lake_count(ms); ++L)
    for (const int c : lk.chan_lake[L].search_cell) {
      if (c < 1 || c > lk.lake_cell_seep_vol.size()) continue;
      const double v = lk.lake_cell_seep_vol[c];
      if (v == 0.0) continue;
      w.lake_entries.push_back({L, c, v});
      lk.lake_cell_seep_vol[c] = 0.0;
    }
}

// What the gaining beds brought in one step, g: into the channels and into
// the lakes.
struct aquifer_gains {
  double channels = 0.0, lakes = 0.0;
  double lateral = 0.0;  // net mass the cells gave the nodes (booked by the overland transport)
};

// One constituent's gathered amounts: decay, the aquifer, the point
// sources, rain on the lakes.
aquifer_gains gather(model_state& ms, int c, double dt, bool nutrient_kinetics_due) {
  aquifer_gains gains;
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  lake_state& lk = ms.lake;
  channel_constituents& w = *k.chan_wq;
  const int lakes = lake_count(ms);
  std::vector<chan_node_accumulators>& acc = w.node_acc[static_cast<std::size_t>(c)];
  std::vector<chan_node_accumulators>& lacc = w.lake_acc[static_cast<std::size_t>(c)];
  const int flat = ch.link_node_size;
  const row_view<const double> conc{k.chan_conc.row(c), flat};
  const row_view<const double> lconc{k.lake_conc.row(c), std::max(lakes, 1)};
  // Decay, on the smaller of the node's areas at the start and the end.
  const bool decays = c <= k.constituent_type.count() && k.constituent_type[c] == 1 && !k.is_sediment_class(c) &&
                      ch.chan_decay_coef_card > 0.0;
  if (decays) {
    for_each_routed_node(ch, [&](int, int, int i) { w.decay_mass[i] = 0.0; });
    for (int L = 1; L <= lakes; ++L) w.lake_decay_mass[L] = 0.0;
    chan_decay_domain d{&w.net,
                        {w.area.data(), w.area.size()},
                        {w.area_old.data(), w.area_old.size()},
                        conc,
                        {w.decay_coef.row(c), flat},
                        {w.decay_mass.data(), w.decay_mass.size()},
                        lconc,
                        {lk.lake_volume.empty() ? nullptr : lk.lake_volume.data(), lakes},
                        w.lake_decay_coef,
                        {w.lake_decay_mass.data(), w.lake_decay_mass.size()}};
    chan_contam_decay(d, dt);
    for_each_routed_node(ch, [&](int, int, int i) { acc[static_cast<std::size_t>(i)].decay += w.decay_mass[i]; });
    for (int L = 1; L <= lakes; ++L) lacc[static_cast<std::size_t>(L)].decay += w.lake_decay_mass[L];
  }
  // What the nutrient kinetics made or used up in the node's water since
  // they last ran, spread over their interval.
  if (nutrient_kinetics_due && k.constituent_type[c] == 2)
    for_each_routed_node(ch, [&](int, int, int i) {
      chan_node_accumulators& a = acc[static_cast<std::size_t>(i)];
      a.kinetics += w.kinetics_mass(c, i);
      a.kinetics_interval = k.nsm_chan_interval_s;
      w.kinetics_mass(c, i) = 0.0;
    });
  // The aquifer: gaining beds bring the aquifer's concentration (clean
  // water without a table of it), losing beds take the node's or the
  // lake's, each with the water the bed passed.
  const row_view<const double> gw_conc{k.gw_conc.row(c), k.gw_conc.row(c) ? ms.grid.ncells : 0};
  const row_view<double> gw_mass{w.gw_mass.data(), w.gw_mass.size()};
  for_each_routed_node(ch, [&](int, int, int i) { w.gw_mass[i] = 0.0; });
  if (w.aquifer_table)
    gains.channels = stream_aquifer_constituent_exchange({&w.stream_entries, gw_conc, conc, gw_mass});
  else if (ch.stream_loss)
    stream_loss_constituent_exchange({&w.net, {w.bed_volume.data(), w.bed_volume.size()}, conc, gw_mass});
  for_each_routed_node(ch, [&](int, int, int i) {
    acc[static_cast<std::size_t>(i)].aquifer += w.gw_mass[i];
    w.aquifer_mass(c, i) = w.gw_mass[i];
  });
  if (!w.lake_entries.empty()) {
    for (int L = 1; L <= lakes; ++L) w.lake_gw_mass[L] = 0.0;
    gains.lakes =
        lake_gw_contam_exchange({&w.lake_entries, gw_conc, lconc, {w.lake_gw_mass.data(), w.lake_gw_mass.size()}});
    for (int L = 1; L <= lakes; ++L) lacc[static_cast<std::size_t>(L)].aquifer += w.lake_gw_mass[L];
  }
  // The point-source file's inflows bring its concentrations (the routing
  // takes what the sinks drew, at the node's or the lake's); an inflow at
  // a node a lake holds brings them into the lake.
  if (ch.chan_point_sources_on && !ch.point_vol_wq.in.empty() && !ch.chan_point_conc.empty()) {
    const int stride = ch.max_nodes_per_link;
    for (int p = 1; p <= ch.num_chan_points; ++p) {
      const int a = ch.chan_point_address[p];
      const double v = ch.point_vol_wq.in[a];
      if (!(v > 0.0)) continue;
      const double m = v * ch.chan_point_conc[c][a];
      const int l = (a - 1) / stride, node = a - stride * l;
      if (chan_wq_routed_link(ch.ltype[l]) && node <= ch.nx[l]) {
        acc[static_cast<std::size_t>(a)].point += m;
        continue;
      }
      const bool whole = (ch.ltype[l] & link_type::channel) && (ch.ltype[l] & link_type::captured);
      const int lake = whole ? (l <= lk.lake2link.size() ? lk.lake2link[l] : 0)
                             : (l <= ch.capture_lake.size() ? ch.capture_lake[l] : 0);
      if (lake < 1 || lake > lakes) continue;
      k.lake_mass(c, lake) += m;
      book(ms, c, constituent_term::lake_point_sources, m);
    }
  }
  // What the cells gave the nodes with the water of this step (negative:
  // what the nodes gave the cells).
  if (k.chan_qlat_mass.count() >= c && k.chan_qlat_mass.row_length() >= flat - 1) {
    // The concentration of the water the cells gave each node over the
    // step (0 where none came).
    const bool inflow_kept = k.chan_qlat_in_mass.count() >= c && k.chan_qlat_in_vol.size() >= flat - 1;
    for_each_routed_node(ch, [&](int, int, int i) {
      if (inflow_kept) {
        const double v = k.chan_qlat_in_vol[i];
        w.lateral_conc(c, i) = v > 0.0 ? k.chan_qlat_in_mass(c, i) / v : 0.0;
        k.chan_qlat_in_mass(c, i) = 0.0;
      }
      const double m = k.chan_qlat_mass(c, i);
      w.lateral_mass(c, i) = m;
      if (m == 0.0) return;
      acc[static_cast<std::size_t>(i)].lateral += m;
      gains.lateral += m;
      k.chan_qlat_mass(c, i) = 0.0;
    });
    // A node a lake holds passes what its cells gave on to the lake.
    for (int l = 1; l <= ch.num_stream_links && lakes > 0; ++l) {
      if (!chan_wq_routed_link(ch.ltype[l]) || l > ch.capture_lake.size()) continue;
      const int lake = ch.capture_lake[l];
      if (lake < 1 || lake > lakes) continue;
      for (int j = ch.nx[l] + 1; j <= ch.og_nx1[l] && j < ch.max_nodes_per_link; ++j) {
        const int i = l * ch.max_nodes_per_link + j;
        if (k.chan_qlat_in_mass.count() >= c) k.chan_qlat_in_mass(c, i) = 0.0;
        const double m = k.chan_qlat_mass(c, i);
        if (m == 0.0) continue;
        k.lake_mass(c, lake) += m;
        k.chan_qlat_mass(c, i) = 0.0;
        book(ms, c, constituent_term::channels_to_lakes, m);
      }
    }
  }
  // Rain on the lakes brings its concentration.
  if (lakes > 0 && !lk.lake_precip_in.empty() && c <= k.precip_conc.count()) {
    for (int L = 1; L <= lakes; ++L) w.lake_rain_mass[L] = 0.0;
    lake_precip_constituent({lk.lake_precip_in.data(), lk.lake_precip_in.size()}, k.precip_conc[c],
                            {w.lake_rain_mass.data(), w.lake_rain_mass.size()}, lakes);
    for (int L = 1; L <= lakes; ++L) lacc[static_cast<std::size_t>(L)].point += w.lake_rain_mass[L];
  }
  return gains;
}

// Routes constituent c over the step and books what moved. False after a
// message: the run stops.
bool route_one(model_state& ms, int c, double dt, const aquifer_gains& gains) {
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  lake_state& lk = ms.lake;
  channel_constituents& w = *k.chan_wq;
  const int lakes = lake_count(ms);
  const int flat = ch.link_node_size;
  chan_wq_step_domain s;
  chan_wq_domain& d = s.water;
  d.net = &w.net;
  d.dt = dt;
  d.area_old = {w.area_old.data(), w.area_old.size()};
  d.area = {w.area.data(), w.area.size()};
  d.face_volume = {w.face_volume.data(), w.face_volume.size()};
  d.disp = {w.disp.row(c), flat};
  d.source = {w.source.data(), w.source.size()};
  d.conc = {k.chan_conc.row(c), flat};
  d.mass = {k.chan_node_mass.row(c), flat};
  d.lake_volume_old = {w.lake_volume_old.data(), w.lake_volume_old.size()};
  d.lake_volume = {lakes > 0 ? lk.lake_volume.data() : w.lake_volume_old.data(), std::max(lakes, 1)};
  d.lake_outflow = {w.lake_outflow.data(), w.lake_outflow.size()};
  d.lake_source = {w.lake_source.data(), w.lake_source.size()};
  d.lake_conc = {k.lake_conc.row(c), std::max(lakes, 1)};
  d.lake_mass = {k.lake_mass.row(c), std::max(lakes, 1)};
  d.withdrawn = {ch.point_vol_wq.out.data(), ch.point_vol_wq.out.size()};
  if (lakes > 0) d.lake_withdrawn = {ch.point_vol_wq.lake_out.data(), std::min(lakes, ch.point_vol_wq.lake_out.size())};
  s.source = {w.source.data(), w.source.size()};
  s.lake_source = {w.lake_source.data(), w.lake_source.size()};
  s.nodes = &w.node_acc[static_cast<std::size_t>(c)];
  s.lakes = &w.lake_acc[static_cast<std::size_t>(c)];
  s.tol = ms.clock.time_tol * 86400.0;
  chan_wq_books b;
  const chan_wq_result r = w.router.step(s, b);
  if (r.status != 0) {
    std::printf("%s", chan_wq_small_step_message);
    set_error(own_message_code);
    report_error();
    return false;
  }
  // A node whose sinks took more than it held ends empty; the mass set to
  // zero is booked.
  double reset = 0.0;
  bool bad = false;
  for_each_routed_node(ch, [&](int l, int j, int i) {
    double& m = k.chan_node_mass(c, i);
    if (!std::isfinite(m) && !bad) {
      std::printf("Error: the mass of constituent %d at node %d of channel link %d is not a number.\n", c, j, l);
      bad = true;
    }
    if (m < 0.0) {
      reset -= m;
      m = 0.0;
      k.chan_conc(c, i) = 0.0;
    }
    k.dissolved_chan_flux(c, i) = 0.0;
  });
  for (int L = 1; L <= lakes && !bad; ++L)
    if (!std::isfinite(k.lake_mass(c, L))) {
      std::printf("Error: the mass of constituent %d in channel lake %d is not a number.\n", c, L);
      bad = true;
    }
  if (bad) {
    stop_with_own_message();
    return false;
  }
  // The mass advected through each node's downstream face, per second.
  for_each_routed_node(ch, [&](int, int, int i) {
    const double v = w.face_volume[i];
    if (dt > 0.0 && std::fabs(v) > 1e-16) k.dissolved_chan_flux(c, i) = v / dt * std::max(k.chan_conc(c, i), 0.0);
  });
  using T = constituent_term;
  const struct {
    T term;
    double grams;
  } step_books[] = {
      // Net of what the sinks took.
      {T::channel_point_sources, b.point - b.withdrawn},
      {T::lake_point_sources, -b.lake_withdrawn},
      // The beds' exchange in its two directions: the losses are what the
      // gains leave of the net amount the nodes took.
      {T::aquifer_to_channels, gains.channels},
      {T::channels_to_aquifer, gains.channels - b.aquifer},
      {T::channel_decay, b.decay},
      {T::channel_nutrient_gain, b.kinetics_in},
      {T::channel_nutrient_loss, b.kinetics_out},
      {T::rain_on_lakes, b.lake_rain},
      {T::aquifer_to_lakes, gains.lakes},
      {T::lakes_to_aquifer, gains.lakes - b.lake_aquifer},
      {T::lake_decay, b.lake_decay},
      {T::channel_outlet, b.outlet},
      {T::channels_to_lakes, b.lake_in},
      {T::lakes_to_channels, b.lake_out},
      // The overland transport booked what the cells gave; a node that
      // could not give a cell all it took keeps the books whole here.
      {T::channel_negative_reset, reset + (b.lateral - gains.lateral)},
  };
  for (const auto& e : step_books) book(ms, c, e.term, e.grams);
  return true;
}

}  // namespace

// Due after every channel step: the processes gather their masses over the
// step the channels were routed, then every constituent is routed.
void channel_constituent_step(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.chan_con_trans || !k.chan_wq) return;
  channel_state& ch = ms.channel;
  channel_constituents& w = *k.chan_wq;
  if (ch.chan_steps == w.steps_seen) return;
  clock_state& clk = ms.clock;
  const double dt = seconds_since(ms, clk.chan_con_clock.last_time);
  w.steps_seen = ch.chan_steps;
  water_of_the_step(ms);
  // The cells' mass comes with the lateral water this channel step moved.
  lateral_constituent_transfer(ms);
  follow_lake_capture(ms);
  fill_stream_entries(ms);
  fill_lake_entries(ms);
  // The nutrient kinetics' channel clock: its interval is kept and it runs
  // again after KINETICS_TIMESTEP_FACTOR channel steps.
  const bool nutrient_kinetics_due = k.nutrients && clk.model_time >= clk.nsm_chan_clock.next_time - clk.time_tol;
  if (nutrient_kinetics_due) {
    const double factor = k.kinetics_timestep_factor > 0.0 ? k.kinetics_timestep_factor : 1.0;
    k.nsm_chan_interval_s = std::max(seconds_since(ms, clk.nsm_chan_clock.last_time), 0.0);
    clk.nsm_chan_clock.last_time = clk.model_time;
    clk.nsm_chan_clock.next_time = clk.model_time + clk.chan_dt_days * factor;
  }
  for (int c = 1; c <= k.num_constituents; ++c) {
    if (!carried(k, c)) continue;
    const aquifer_gains gains = gather(ms, c, dt, nutrient_kinetics_due);
    if (dt > 0.0 && !route_one(ms, c, dt, gains)) return;
  }
  // The step's water is used: the volumes start again.
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    auto q = ch.qp_vol.column(l);
    std::fill(q.data(), q.data() + ch.max_nodes_per_link + 1, 0.0);
  }
  ch.point_vol_wq.clear();
  k.chan_qlat_in_vol.fill(0.0);
  if (!ch.lake_release_vol.empty()) ch.lake_release_vol.fill(0.0);
  if (!ch.gst_qriv_vol.empty())
    for (int i = 1; i <= ch.gst_num_cells; ++i)
      for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) ch.gst_qriv_vol[i][j] = 0.0;
  for (int L = 1; L <= lake_count(ms); ++L) {
    if (!ms.lake.lake_precip_in.empty()) ms.lake.lake_precip_in[L] = 0.0;
    w.lake_volume_seen[L] = ms.lake.lake_volume[L];
  }
  clk.chan_con_clock.last_time = clk.model_time;
  clk.chan_con_clock.next_time = clk.chan_next_time;
}

}  // namespace nivra
