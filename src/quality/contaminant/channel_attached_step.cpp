// The sediment-bound contaminants of the channel network in the time loop:
// after the channel step has moved the cells' sediment into the nodes and
// carried the wash load, every contaminant's attached mass follows the
// fines, and each node and lake is split again between its water (the
// channel constituents' dissolved mass) and its fines.
#include "quality/contaminant/channel_attached_step.h"

#include <algorithm>
#include <cmath>

#include "channel/channel_state.h"
#include "core/containers.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/channel_attached.h"
#include "quality/contaminant/channel_quality.h"
#include "quality/contaminant/sediment_contaminant_step.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

constexpr double tiny = 1e-16;
constexpr int contaminant_kind = 1;

int lake_count(const model_state& ms) { return ms.lake.chan_lakes ? std::max(ms.lake.num_lakes, 0) : 0; }

bool carries_attached(const constituent_state& k, int c) {
  return k.chan_attached && c < static_cast<int>(k.chan_attached->stores.size()) &&
         !k.chan_attached->stores[static_cast<std::size_t>(c)].node.empty();
}

void book(constituent_state& k, int c, constituent_term t, double grams) {
  if (k.mass_books && grams != 0.0) k.mass_books->book(c, row(t), grams / 1000.0);
}

void grow(checked_array<double>& a, int n) {
  if (a.count() < n) a.grow_fill(n - a.count(), 0.0);
}

// What the cells' fines brought into the nodes in the step, g: the share
// of each cell's attached mass its suspended fines took, spread over the
// fine classes by the mass of sediment each moved, and what the mixing
// layer holds sorbed per m3 of its fines for the loose fines.
struct lateral_attached {
  double suspended = 0.0, loose = 0.0;
};
lateral_attached cells_to_nodes(model_state& ms, int c, chan_attached_store& st) {
  constituent_state& k = ms.constituent;
  channel_attached& w = *k.chan_attached;
  const chan_sed_moves& mv = k.chan_sed.moves;
  const int nf = k.chan_sed.classes.n_fine;
  double* cell = k.cell_total_mass[c];
  lateral_attached in;
  for (std::size_t i = 0; i < mv.takes.size(); ++i) {
    const cell_take& t = mv.takes[i];
    const int e = static_cast<int>(i) + 1;
    double weight = 0.0, loose = 0.0;
    for (int m = 1; m <= nf; ++m) {
      weight += w.density[m] * std::max(mv.take_susp(e, m), 0.0);
      loose += std::max(mv.take_loose(e, m), 0.0);
    }
    const double held = std::max(cell[t.cell], 0.0);
    if (weight > 0.0 && held > 0.0 && t.share > 0.0) {
      const double moved = t.share * held;
      for (int m = 1; m <= nf; ++m) st.node(t.flat, m) += moved * w.density[m] * std::max(mv.take_susp(e, m), 0.0) / weight;
      w.cell_taken[t.cell] += moved;
      in.suspended += moved;
    }
    if (loose > 0.0) {
      const double rate = sorbed_per_fine_volume(ms, c, t.cell);
      const double moved = std::min(rate * loose, sorbed_soil_mass(ms, c, t.cell));
      if (moved > 0.0) {
        attached_soil_store(ms, c, t.cell) -= moved;
        for (int m = 1; m <= nf; ++m) st.node(t.flat, m) += moved * std::max(mv.take_loose(e, m), 0.0) / loose;
        in.loose += moved;
      }
    }
  }
  // Each cell loses what its entries took, once.
  for (const cell_take& t : mv.takes) {
    cell[t.cell] -= w.cell_taken[t.cell];
    if (cell[t.cell] < 0.0) cell[t.cell] = 0.0;
    w.cell_taken[t.cell] = 0.0;
  }
  return in;
}

// What the wash load spilled from the nodes onto the cells took with it,
// g: the node's attached mass of the class in the share of its volume that
// spilled; the cells receive it (in cell_given) once they have given the
// nodes their own.
double nodes_to_cells(model_state& ms, chan_attached_store& st) {
  constituent_state& k = ms.constituent;
  channel_attached& w = *k.chan_attached;
  double given = 0.0;
  for (const node_spill& s : k.chan_sed.moves.spills) {
    double& a = st.node(s.flat, s.position);
    if (!(a > 0.0) || !(s.before > tiny)) continue;
    const double moved = std::min(a, a * s.volume / s.before);
    a -= moved;
    w.cell_given[s.cell] += moved;
    given += moved;
  }
  return given;
}

void cells_take_spills(model_state& ms, int c) {
  constituent_state& k = ms.constituent;
  channel_attached& w = *k.chan_attached;
  double* cell = k.cell_total_mass[c];
  for (const node_spill& s : k.chan_sed.moves.spills) {
    cell[s.cell] += w.cell_given[s.cell];
    w.cell_given[s.cell] = 0.0;
  }
}

// What a channel lake's cells brought with the fines they gave the lake in
// the step (those in the water of a cell the lake has just taken, and
// those the land washed onto its cells), g: all of the cell's attached
// mass (its fines are gone), spread over the fine classes by the mass of
// sediment each gave.
double lake_cells_to_lakes(model_state& ms, int c, chan_attached_store& st) {
  constituent_state& k = ms.constituent;
  channel_attached& w = *k.chan_attached;
  const chan_sed_moves& mv = k.chan_sed.moves;
  const int nf = k.chan_sed.classes.n_fine;
  double* cell = k.cell_total_mass[c];
  double moved_all = 0.0;
  for (std::size_t i = 0; i < mv.lake_takes.size(); ++i) {
    const cell_take& t = mv.lake_takes[i];
    const int e = static_cast<int>(i) + 1;
    if (t.flat < 1 || t.flat > st.lake.rows()) continue;
    double weight = 0.0;
    for (int m = 1; m <= nf; ++m) weight += w.density[m] * mv.lake_take_fines(e, m);
    const double held = std::max(cell[t.cell], 0.0);
    if (!(weight > 0.0) || !(held > 0.0)) continue;
    for (int m = 1; m <= nf; ++m) st.lake(t.flat, m) += held * w.density[m] * mv.lake_take_fines(e, m) / weight;
    cell[t.cell] -= held;
    moved_all += held;
  }
  return moved_all;
}

// The split of every node and lake holding water between its water and
// its fines; returns the mass released into the water (negative: taken
// onto the fines) by the nodes and by the lakes, g.
struct released {
  double nodes = 0.0, lakes = 0.0;
};
released partition(model_state& ms, int c, chan_attached_store& st) {
  constituent_state& k = ms.constituent;
  channel_attached& w = *k.chan_attached;
  const channel_state& ch = ms.channel;
  const channel_sediment& sed = k.chan_sed;
  const int nf = sed.classes.n_fine;
  const double kd = k.water_soil_partition_coef[c];
  released r;
  double* part = w.partition.data();
  double* density = w.density.data();
  // One node or lake: its water, dissolved mass and concentration, the
  // fines it holds (row `i` of `fines`) and the constituent on them (row
  // `i` of `held`); returns the mass released into the water.
  auto split = [&](double water, double& dissolved, double& conc, const array2d<double>& fines,
                   array2d<double>& held, int i) {
    double total = dissolved;
    for (int m = 1; m <= nf; ++m) total += held(i, m);
    const double d = partition_attached(kd, water, nf, &fines(i, 0), density, total, part);
    const double gain = d - dissolved;
    dissolved = d;
    conc = d / water;
    for (int m = 1; m <= nf; ++m) held(i, m) = part[m];
    return gain;
  };
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!chan_wq_routed_link(ch.ltype[l])) continue;
    for (int j = 1; j <= ch.nx[l]; ++j) {
      const double water = ch.area(j, l) * ch.link_dx[l];
      if (!(water > tiny)) continue;
      const int f = ch.max_nodes_per_link * l + j;
      r.nodes += split(water, k.chan_node_mass(c, f), k.chan_conc(c, f), sed.wash.vol, st.node, f);
    }
  }
  const lake_state& lk = ms.lake;
  for (int L = 1; L <= lake_count(ms); ++L) {
    const double water = lk.lake_volume[L];
    if (!(water > tiny)) continue;
    r.lakes += split(water, k.lake_mass(c, L), k.lake_conc(c, L), sed.wash.lake_vol, st.lake, L);
  }
  return r;
}

}  // namespace

void init_channel_attached(model_state& ms) {
  constituent_state& k = ms.constituent;
  channel_state& ch = ms.channel;
  channel_sediment& sed = k.chan_sed;
  if (!k.sediment_contam || !k.ov_con_trans || !ch.chan_explic || !k.chan_sed_on || !sed.ready) return;
  const int nf = sed.classes.n_fine, n = k.num_constituents;
  if (nf < 1 || n < 1) return;
  const int flat = sed.wash.vol.rows(), lakes = lake_count(ms);
  k.chan_attached = std::make_unique<channel_attached>();
  channel_attached& w = *k.chan_attached;
  w.stores.resize(static_cast<std::size_t>(n) + 1);
  for (int c = 1; c <= n; ++c)
    if (k.constituent_type[c] == contaminant_kind) w.stores[static_cast<std::size_t>(c)].alloc(flat, lakes, nf);
  w.scratch.alloc(flat, lakes, nf);
  for (array2d<double>* a : {&w.given_seen, &w.settled_seen, &w.given, &w.settled}) a->alloc(std::max(lakes, 1), nf);
  w.cell_taken.alloc(ms.grid.ncells);
  w.cell_given.alloc(ms.grid.ncells);
  w.partition.alloc(nf);
  w.density.alloc(nf);
  for (int m = 1; m <= nf; ++m) w.density[m] = sed.classes.density[sed.classes.order[m]] * 1000.0;  // g/m3
  w.steps_seen = sed.steps_taken;
  int entries = 0;
  for (int i = 1; i <= ch.gst_num_cells; ++i) entries += ch.gst_ncellsingrid[i];
  sed.moves.alloc(entries, flat, lakes, nf);
  if (lakes > 0) {
    sed.moves.alloc_lake_cells(ms.grid.ncells, nf);
    w.lake_out.alloc(lakes, nf);
    w.lake_rate.alloc(lakes, nf);
  }
  sed.keep_moves = true;
  if (k.attached_chan_flux.count() < n) k.attached_chan_flux.grow(n - k.attached_chan_flux.count(), ch.link_node_size);
  for (checked_array<double>* a :
       {&k.chan_sed_lat_in, &k.chan_sed_out, &k.chan_sed_susp_final, &k.chan_sed_exch_mass, &k.sed_attached_to_chan,
        &k.chan_sed_lat_in_event, &k.chan_sed_out_event, &k.chan_sed_exch_event, &k.chan_sed_susp_event,
        &k.chan_sed_to_lake_event, &k.lake_sed_exch_event, &k.lake_sed_ov_in_event, &k.lake_sed_chan_in_event,
        &k.event_sed_attached_to_lake, &k.lake_sed_exch_run, &k.GLOBAL_MASS_OUT, &k.GLOBAL_MASS_FINAL, &k.GLOBAL_POINT_SOURCE})
    grow(*a, n);
}

void chan_sed_contam_step(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.sediment_contam || !k.chan_attached || !k.mass_books) return;
  channel_attached& w = *k.chan_attached;
  channel_sediment& sed = k.chan_sed;
  if (sed.steps_taken == w.steps_seen) return;
  w.steps_seen = sed.steps_taken;
  const channel_state& ch = ms.channel;
  const int nf = sed.classes.n_fine, lakes = lake_count(ms);
  // The lakes' volumes of the step.
  for (int l = 1; l <= lakes; ++l)
    for (int m = 1; m <= nf; ++m) {
      w.given(l, m) = sed.wash.from_lake(l, m) - w.given_seen(l, m);
      w.settled(l, m) = sed.wash.settled(l, m) - w.settled_seen(l, m);
      w.given_seen(l, m) = sed.wash.from_lake(l, m);
      w.settled_seen(l, m) = sed.wash.settled(l, m);
    }
  chan_attached_network net;
  net.links = ch.num_stream_links;
  net.max_nodes = ch.max_nodes_per_link;
  net.n_fine = nf;
  net.nx = &ch.nx;
  net.ltype = &ch.ltype;
  net.dslink = &ch.dslink;
  net.lake_of_link = lakes > 0 ? &ms.lake.lake2link : nullptr;
  chan_wash_moves mv;
  mv.flux = &sed.wash.flux;
  mv.vol_start = &sed.moves.vol_start;
  mv.lake_start = &sed.moves.lake_start;
  mv.lake_given = &w.given;
  mv.lake_settled = &w.settled;
  mv.lake_end = &sed.wash.lake_vol;
  mv.drawn_share = &sed.wash.drawn_share;
  if (lakes > 0) mv.lake_drawn_share = &sed.wash.lake_drawn_share;
  const double dt = sed.last_dt;
  for (int c = 1; c <= k.num_constituents; ++c) {
    if (!carries_attached(k, c)) continue;
    chan_attached_store& st = w.stores[static_cast<std::size_t>(c)];
    // The channel step spilled its wash load before it took the cells'.
    const double spilled = nodes_to_cells(ms, st);
    const lateral_attached in = cells_to_nodes(ms, c, st);
    const double to_lakes = lake_cells_to_lakes(ms, c, st);
    cells_take_spills(ms, c);
    const chan_attached_books b = chan_attached_transport(net, mv, st, w.scratch);
    if (c <= k.attached_chan_flux.count())
      for (int l = 1; l <= ch.num_stream_links; ++l)
        for (int j = 1; j <= ch.nx[l]; ++j) {
          const int f = ch.max_nodes_per_link * l + j;
          k.attached_chan_flux(c, f) = dt > 0.0 && chan_wq_routed_link(ch.ltype[l]) ? w.scratch.node_out[f] / dt : 0.0;
        }
    released r;
    if (k.chan_wq) r = partition(ms, c, st);
    book(k, c, constituent_term::attached_to_channels, in.suspended);
    book(k, c, constituent_term::loose_attached_to_channels, in.loose);
    book(k, c, constituent_term::attached_to_cells, spilled);
    book(k, c, constituent_term::attached_cells_to_lakes, to_lakes);
    book(k, c, constituent_term::attached_channel_outlet, b.outlet);
    book(k, c, constituent_term::attached_channels_to_lakes, b.to_lakes);
    book(k, c, constituent_term::attached_lakes_to_channels, b.from_lakes);
    book(k, c, constituent_term::attached_channel_reset, b.node_reset);
    book(k, c, constituent_term::attached_lake_reset, b.lake_reset);
    book(k, c, constituent_term::attached_point_sinks, b.drawn);
    book(k, c, constituent_term::attached_lake_point_sinks, b.lake_drawn);
    book(k, c, constituent_term::channel_sediment_release, r.nodes);
    book(k, c, constituent_term::lake_sediment_release, r.lakes);
  }
  // The channel step took fines from the cells and spilled some onto
  // them: the next overland step's attached mass rides on what is left.
  attached_volumes_follow_cells(ms);
}

void lakes_attached_to_cells(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.sediment_contam || !k.chan_attached || !k.mass_books) return;
  channel_attached& w = *k.chan_attached;
  chan_sed_moves& mv = k.chan_sed.moves;
  const int lakes = lake_count(ms), nf = k.chan_sed.classes.n_fine, n = ms.grid.ncells;
  if (lakes < 1 || mv.lake_face_x.rows() < n || w.lake_out.rows() < lakes) return;
  const grid_state& g = ms.grid;
  const int* lake = ms.lake.lake_mask.data();
  // Each face that carried a lake's wash load: the lake, the land cell and
  // the volume, m3, for every fine position with some.
  auto faces = [&](auto&& visit) {
    for (int i = 1; i <= n; ++i)
      for (int side = 0; side < 2; ++side) {
        array2d<double>& a = side == 0 ? mv.lake_face_x : mv.lake_face_y;
        const int nb = side == 0 ? g.rightcon[i] : g.belowcon[i];
        for (int m = 1; m <= nf; ++m) {
          const double v = a(i, m);
          if (v == 0.0) continue;
          const int src = v > 0.0 ? i : nb, dst = v > 0.0 ? nb : i;
          if (src < 1 || dst < 1 || lake[src] < 1 || lake[src] > lakes) continue;
          visit(lake[src], dst, m, std::fabs(v));
        }
      }
  };
  for (int L = 1; L <= lakes; ++L)
    for (int m = 1; m <= nf; ++m) w.lake_out(L, m) = 0.0;
  faces([&](int L, int, int m, double v) { w.lake_out(L, m) += v; });
  const array2d<double>& held = k.chan_sed.wash.lake_vol;
  for (int c = 1; c <= k.num_constituents; ++c) {
    if (!carries_attached(k, c)) continue;
    chan_attached_store& st = w.stores[static_cast<std::size_t>(c)];
    // The lake's attached mass per m3 of its suspended fines before the
    // step let any out: what it holds now plus what left.
    for (int L = 1; L <= lakes; ++L)
      for (int m = 1; m <= nf; ++m) {
        const double before = held(L, m) + w.lake_out(L, m);
        w.lake_rate(L, m) = before > tiny && st.lake(L, m) > 0.0 ? st.lake(L, m) / before : 0.0;
      }
    double* cell = k.cell_total_mass[c];
    double moved = 0.0;
    faces([&](int L, int dst, int m, double v) {
      const double a = std::min(w.lake_rate(L, m) * v, std::max(st.lake(L, m), 0.0));
      st.lake(L, m) -= a;
      cell[dst] += a;
      moved += a;
    });
    book(k, c, constituent_term::attached_lakes_to_cells, moved);
  }
  mv.lake_face_x.fill(0.0);
  mv.lake_face_y.fill(0.0);
}

double channel_attached_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  if (!carries_attached(k, c)) return 0.0;
  return k.chan_attached->stores[static_cast<std::size_t>(c)].nodes_total() / 1000.0;
}

double lake_attached_mass(const model_state& ms, int c) {
  const constituent_state& k = ms.constituent;
  if (!carries_attached(k, c)) return 0.0;
  return k.chan_attached->stores[static_cast<std::size_t>(c)].lakes_total() / 1000.0;
}

void book_channel_attached_masses(model_state& ms, ledger_moment moment) {
  constituent_state& k = ms.constituent;
  if (!k.chan_attached || !k.mass_books) return;
  mass_ledger& l = *k.mass_books;
  const bool event = moment == ledger_moment::event_end, run = moment == ledger_moment::run_end;
  for (int c = 1; c <= k.num_constituents; ++c) {
    const double chan = channel_attached_mass(ms, c), lake = lake_attached_mass(ms, c);
    l.set_mass(c, mass_compartment::channel_sediment_bound, moment, chan);
    l.set_mass(c, mass_compartment::lake_sediment_bound, moment, lake);
    if (!event && !run) continue;
    auto t = [&](constituent_term x) { return event ? l.event_total(c, row(x)) : l.run_total(c, row(x)); };
    // Net of what spilling water took back onto the cells.
    const double lateral = t(constituent_term::attached_to_channels) + t(constituent_term::loose_attached_to_channels) -
                           t(constituent_term::attached_to_cells);
    const double out = t(constituent_term::attached_channel_outlet);
    const double to_lakes = t(constituent_term::attached_channels_to_lakes);
    if (event) {
      k.chan_sed_lat_in_event[c] = lateral;
      k.chan_sed_out_event[c] = out;
      // The event's exchange is given as the fines' gain.
      k.chan_sed_exch_event[c] = -t(constituent_term::channel_sediment_release);
      k.chan_sed_susp_event[c] = chan;
      k.chan_sed_to_lake_event[c] = to_lakes;
      k.lake_sed_exch_event[c] = -t(constituent_term::lake_sediment_release);
      // What the channels brought the lakes; what the lakes let out into
      // the channels is a line of its own.
      k.lake_sed_chan_in_event[c] = to_lakes;
      // What the cells' fines brought the lakes, net of what the lakes'
      // wash load carried back onto the land.
      const double from_cells =
          t(constituent_term::attached_cells_to_lakes) - t(constituent_term::attached_lakes_to_cells);
      k.lake_sed_ov_in_event[c] = from_cells;
      k.event_sed_attached_to_lake[c] = from_cells;
    } else {
      k.chan_sed_lat_in[c] = lateral;
      // The overland summary's "Attached entering streams" is the same
      // figure as the event's "Attached entering channels".
      k.sed_attached_to_chan[c] = lateral;
      k.chan_sed_out[c] = out;
      k.chan_sed_susp_final[c] = chan;
      k.chan_sed_exch_mass[c] = t(constituent_term::channel_sediment_release);
      k.lake_sed_exch_run[c] = t(constituent_term::lake_sediment_release);
      // The whole model: what the fines carried out, and what the
      // channels' and lakes' fines hold.
      k.GLOBAL_MASS_OUT[c] += out;
      k.GLOBAL_MASS_FINAL[c] += chan + lake;
      // The point sources are counted net of what the sinks drew.
      k.GLOBAL_POINT_SOURCE[c] -=
          t(constituent_term::attached_point_sinks) + t(constituent_term::attached_lake_point_sinks);
    }
  }
}

}  // namespace nivra
