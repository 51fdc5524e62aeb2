#include "channel/channel_sediment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "quality/sediment/sediment_physics.h"
#include "channel/xsec_update.h"
#include "surface/lake_state.h"

namespace nivra {

namespace sd = sediment;

namespace {

bool has(int type, int bits) { return (type & bits) != 0; }

// Lakes, structures and channel links a lake has taken whole carry no
// sediment of their own.
bool carries_sediment(int type) {
  if (has(type, link_type::lake | link_type::structure)) return false;
  return !(has(type, link_type::captured) && has(type, link_type::channel));
}

bool erodible_channel(int type) {
  return has(type, link_type::erodible) && has(type, link_type::trapezoid | link_type::breakpoint) &&
         carries_sediment(type);
}

int lake_count(const lake_state& lakes) { return lakes.chan_lakes ? lakes.num_lakes : 0; }

}  // namespace

chan_sed_classes split_sediment_classes(int n, const double* diam, const double* sg, double sand_size,
                                        double temp_c, double porosity) {
  chan_sed_classes c;
  c.n = n;
  c.sand_size = sand_size;
  c.porosity = porosity;
  c.viscosity = sd::water_viscosity(temp_c);
  c.order.alloc(n);
  c.position.alloc(n);
  c.sand.alloc(n);
  c.settling.alloc(n);
  c.density.alloc(n);
  for (int k = 1; k <= n; ++k) {
    c.sand[k] = diam[k] >= sand_size ? 1 : 0;
    (c.sand[k] ? c.n_sand : c.n_fine) += 1;
    c.settling[k] = sd::fall_velocity(diam[k], sg[k], c.viscosity);
    c.density[k] = sg[k] * sd::water_density;
  }
  int fine = 0, sand = 0;
  for (int k = 1; k <= n; ++k) {
    const int pos = c.sand[k] ? c.n_fine + ++sand : ++fine;
    c.order[pos] = k;
    c.position[k] = c.sand[k] ? pos - c.n_fine : pos;
  }
  c.fine_settling.alloc(c.n_fine);
  for (int m = 1; m <= c.n_fine; ++m) c.fine_settling[m] = c.settling[c.order[m]];
  c.sand_diam.alloc(c.n_sand);
  c.sand_settling.alloc(c.n_sand);
  for (int m = 1; m <= c.n_sand; ++m) {
    c.sand_diam[m] = diam[c.order[c.n_fine + m]];
    c.sand_settling[m] = c.settling[c.order[c.n_fine + m]];
  }
  return c;
}

void chan_sed_books::alloc(int classes) {
  for (array1d<double>* a : {&suspended_to_channels, &loose_to_channels, &channels_to_cells, &cells_to_channels,
                             &cells_to_lakes,
                             &channels_to_lakes, &lakes_to_channels, &outlet, &shortfall, &settled, &point_sinks,
                             &lake_point_sinks})
    a->alloc(classes);
}

void chan_sed_books::clear() {
  for (array1d<double>* a : {&cells_to_channels, &cells_to_lakes, &channels_to_lakes, &lakes_to_channels, &outlet,
                             &shortfall, &settled, &point_sinks, &lake_point_sinks})
    a->fill(0.0);
}

void chan_sed_moves::alloc(int entries, int flat_nodes, int lakes, int n_fine) {
  const int e = std::max(entries, 1), nf = std::max(n_fine, 1);
  takes.clear();
  takes.reserve(static_cast<std::size_t>(e));
  spills.clear();
  spills.reserve(static_cast<std::size_t>(e) * static_cast<std::size_t>(nf));
  take_susp.alloc(e, nf);
  take_loose.alloc(e, nf);
  vol_start.alloc(flat_nodes, nf);
  lake_start.alloc(std::max(lakes, 1), nf);
}

void chan_sed_moves::alloc_lake_cells(int cells, int n_fine) {
  const int n = std::max(cells, 1), nf = std::max(n_fine, 1);
  lake_takes.clear();
  lake_takes.reserve(static_cast<std::size_t>(n));
  lake_take_fines.alloc(n, nf);
  lake_face_x.alloc(n, nf);
  lake_face_y.alloc(n, nf);
}

double setup_channel_sediment(channel_state& ch, const lake_state& lakes, int ncells, chan_sed_classes classes,
                              channel_sediment& sed) {
  sed.classes = std::move(classes);
  const chan_sed_classes& c = sed.classes;
  const int flat = ch.max_nodes_per_link * (ch.num_stream_links + 1) + 1;
  const int nl = std::max(1, lake_count(lakes));
  sed.sand.alloc(flat, nl, c.n_sand);
  sed.wash.alloc(flat, nl, c.n_fine);
  sed.wash_step.prepare(flat, c.n_fine);
  // The point sinks draw the wash load with the water they take.
  if (c.n_fine > 0) ch.point_vol_sed.alloc(flat, nl, false);
  sed.layer.alloc(ch.max_nodes_per_link, ch.num_stream_links);
  sed.node_sand.alloc(ch.max_nodes_per_link, ch.num_stream_links);
  sed.lake_sand.alloc(nl, c.n_sand);
  sed.lateral_total.alloc(flat, c.n);
  sed.lake_taken.alloc(nl, c.n);
  sed.cell_share.alloc(ncells);
  sed.sand_init.alloc(c.n_sand);
  sed.books.alloc(c.n);
  sed.nodes_without_width = 0;
  if (ch.new_bel.empty()) ch.new_bel.alloc(ch.max_nodes_per_link, ch.num_stream_links);
  if (ch.org_bel.empty()) ch.org_bel.alloc(ch.max_nodes_per_link, ch.num_stream_links);
  double total = 0.0;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int t = ch.ltype[l];
    for (int k = 1; k <= ch.og_nx1[l]; ++k) ch.new_bel(k, l) = ch.org_bel(k, l) = ch.bel(k, l);
    if (!erodible_channel(t)) continue;
    for (int k = 1; k <= ch.og_nx1[l]; ++k) {
      const double depth = ch.max_eros.empty() ? 0.0 : ch.max_eros(k, l);
      double width = 0.0;
      if (has(t, link_type::trapezoid)) {
        width = ch.bottom(k, l);
        if (!(width > 0.0)) {
          ++sed.nodes_without_width;
          std::printf("Warning: erodible channel link %d node %d has no bottom width; its bed stays where it is "
                      "and holds no sand at the start\n",
                      l, k);
          continue;
        }
      } else if (!ch.table_num.empty()) {
        width = ch.xtw(1, ch.table_num(k, l));
      }
      sed.layer(k, l) = depth;
      const double v = (1.0 - c.porosity) * depth * width * ch.link_dx[l];
      if (!(v > 0.0)) continue;
      if (c.n_sand > 0) sed.node_sand(k, l) = v;
      if (c.n_sand > 0) {
        const int f = ch.max_nodes_per_link * l + k;
        for (int m = 1; m <= c.n_sand; ++m) {
          sed.sand.sand(f, m) = v / c.n_sand;
          sed.sand_init[m] += v / c.n_sand;
        }
        total += v;
      }
      if (has(t, link_type::breakpoint) && !ch.bplink.empty() && !ch.ch_sand_vol0.empty() && ch.bplink[l] > 0)
        ch.ch_sand_vol0[ch.bplink[l]][k] = c.n_sand > 0 ? v : 0.0;
    }
  }
  sed.ready = true;
  return total;
}

void cells_to_channel_nodes(const channel_state& ch, cell_sediment_stores cells, bool overland_backwater, double dt,
                            channel_sediment& sed) {
  const int n = sed.classes.n;
  if (n <= 0 || !cells.susp || !cells.dep) return;
  // The cells' water enters a link by the levels on both sides, and may
  // leave it, where the whole network or the link by its own BACKWATER or
  // OVERBANK record exchanges water that way (as the lateral inflow
  // decides it); elsewhere a wet cell falls freely into the channel.
  auto spills_back = [&](int link) {
    const int t = ch.ltype[link];
    return overland_backwater || ch.overbank_flow ||
           (has(t, link_type::channel) && has(t, link_type::backwater | link_type::overbank));
  };
  auto takes = [&](int i, int j) {
    const int link = ch.gst_link[i][j], node = ch.gst_node[i][j];
    if (link < 1 || link > ch.num_stream_links || !carries_sediment(ch.ltype[link])) return false;
    if (node < 1 || node > ch.nx[link]) return false;
    const int cell = ch.gst_gnum[i][j];
    if (cell < 1 || cell > sed.cell_share.size()) return false;
    return ch.qlat(node, link) >= sd::tiny || (!spills_back(link) && cells.depth && cells.depth[cell] >= sd::tiny);
  };
  // The share of each cell the step takes: its entries' length shares,
  // at most the whole cell.
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j)
      if (takes(i, j)) sed.cell_share[ch.gst_gnum[i][j]] += std::max(0.0, ch.gst_pct[i][j]);
  const chan_sed_classes& c = sed.classes;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      if (!takes(i, j)) continue;
      const int cell = ch.gst_gnum[i][j];
      const double total = sed.cell_share[cell];
      if (!(total > 0.0)) continue;
      const double p = std::max(0.0, ch.gst_pct[i][j]) / std::max(1.0, total);
      const int f = ch.max_nodes_per_link * ch.gst_link[i][j] + ch.gst_node[i][j];
      const bool keep = sed.keep_moves && sed.moves.takes.size() < static_cast<std::size_t>(sed.moves.take_susp.rows());
      const int e = static_cast<int>(sed.moves.takes.size()) + 1;
      if (keep) {
        sed.moves.takes.push_back({cell, f, p});
        for (int m = 1; m <= c.n_fine; ++m) {
          sed.moves.take_susp(e, m) = p * (*cells.susp)(cell, c.order[m]);
          sed.moves.take_loose(e, m) = p * (*cells.dep)(cell, c.order[m]);
        }
      }
      for (int k = 1; k <= n; ++k) {
        const double vs = p * (*cells.susp)(cell, k), vd = p * (*cells.dep)(cell, k);
        const double v = vs + vd;
        if (v == 0.0) continue;
        sed.books.suspended_to_channels[k] += vs;
        sed.books.loose_to_channels[k] += vd;
        if (c.sand[k]) sed.sand.lateral(f, c.position[k]) += v;
        else sed.wash.lateral(f, c.position[k]) += v;
        sed.lateral_total(f, k) += v;
      }
    }
  // The cells lose what went.
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int cell = ch.gst_gnum[i][j];
      if (cell < 1 || cell > sed.cell_share.size()) continue;
      double& share = sed.cell_share[cell];
      if (!(share > 0.0)) continue;
      const double keep = 1.0 - std::min(1.0, share);
      for (int k = 1; k <= n; ++k) {
        (*cells.susp)(cell, k) *= keep;
        (*cells.dep)(cell, k) *= keep;
      }
      share = 0.0;
    }
  // Water spilling from a node onto its cell takes wash load with it.
  if (c.n_fine > 0)
    for (int i = 1; i <= ch.gst_num_cells; ++i)
      for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
        const int link = ch.gst_link[i][j], node = ch.gst_node[i][j], cell = ch.gst_gnum[i][j];
        if (link < 1 || link > ch.num_stream_links || !carries_sediment(ch.ltype[link])) continue;
        if (!spills_back(link)) continue;
        if (node < 1 || node > ch.nx[link] || cell < 1 || cell > sed.cell_share.size()) continue;
        const double q = ch.qlat(node, link);
        if (!(q < -sd::tiny)) continue;
        const double volume = ch.area(node, link) * ch.link_dx[link];
        if (!(volume > sd::tiny)) continue;
        const double water = std::max(0.0, ch.gst_pct[i][j]) * ch.link_dx[link] * -q * dt;
        const int f = ch.max_nodes_per_link * link + node;
        for (int m = 1; m <= c.n_fine; ++m) {
          const double v = std::min(water * sed.wash.vol(f, m) / volume, sed.wash.vol(f, m));
          if (!(v > 0.0)) continue;
          const int k = c.order[m];
          if (sed.keep_moves && sed.moves.spills.size() < sed.moves.spills.capacity())
            sed.moves.spills.push_back({cell, f, m, v, sed.wash.vol(f, m)});
          sed.wash.vol(f, m) -= v;
          (*cells.susp)(cell, k) += v;
          sed.books.channels_to_cells[k] += v;
        }
      }
}

namespace {

// The sum of a column over the rows (the lakes) of a table.
double sum_col(const array2d<double>& a, int col) {
  double s = 0.0;
  for (int r = 1; r <= a.rows(); ++r) s += a(r, col);
  return s;
}

// The links of the network as the sand and the wash-load steps both read
// them: their count, nodes, kinds, the link below and the node spacing.
template <class Network>
void fill_links(Network& net, const channel_state& ch) {
  net.links = ch.num_stream_links;
  net.max_nodes = ch.max_nodes_per_link;
  net.nx = &ch.nx;
  net.ltype = &ch.ltype;
  net.dslink = &ch.dslink;
  net.link_dx = &ch.link_dx;
}

}  // namespace

bool channel_sediment_step(channel_state& ch, const lake_state& lakes, const array2d<double>* from_cells_to_lakes,
                           bool adjust_bed, double dt, channel_sediment& sed) {
  const chan_sed_classes& c = sed.classes;
  chan_sed_books& b = sed.books;
  b.clear();
  const int nf = c.n_fine, ns = c.n_sand;
  const int flat = sed.lateral_total.rows();
  for (int f = 1; f <= flat; ++f) {
    for (int m = 1; m <= ns; ++m)
      if (!std::isfinite(sed.sand.lateral(f, m))) {
        std::printf("qlat_sed is not a number, exiting.\n");
        return false;
      }
    for (int m = 1; m <= nf; ++m)
      if (!std::isfinite(sed.wash.lateral(f, m))) {
        std::printf("qlat_sed is not a number, exiting.\n");
        return false;
      }
  }

  // What the cells sent into the lakes since the last step.
  const int nl = lake_count(lakes);
  if (from_cells_to_lakes && !from_cells_to_lakes->empty())
    for (int l = 1; l <= nl && l <= from_cells_to_lakes->rows(); ++l)
      for (int k = 1; k <= c.n && k <= from_cells_to_lakes->cols(); ++k) {
        const double v = (*from_cells_to_lakes)(l, k) - sed.lake_taken(l, k);
        if (v == 0.0) continue;
        sed.lake_taken(l, k) += v;
        if (c.sand[k]) sed.lake_sand(l, c.position[k]) += v;
        else sed.wash.from_overland(l, c.position[k]) += v;
        b.cells_to_lakes[k] += v;
      }

  // Books of the stores before the step.
  auto class_of = [&](int pos, bool sand) { return c.order[sand ? nf + pos : pos]; };
  for (int m = 1; m <= ns; ++m) {
    const int k = class_of(m, true);
    b.cells_to_channels[k] = -sed.sand.in[m];
    b.outlet[k] = -sed.sand.out[m];
    b.channels_to_lakes[k] = -sum_col(sed.sand.to_lake, m);
  }
  for (int m = 1; m <= nf; ++m) {
    const int k = class_of(m, false);
    b.cells_to_channels[k] = -sed.wash.in[m];
    b.outlet[k] = -sed.wash.out[m];
    b.channels_to_lakes[k] = -sum_col(sed.wash.to_lake, m);
    b.lakes_to_channels[k] = -sum_col(sed.wash.from_lake, m);
    b.settled[k] = -sum_col(sed.wash.settled, m);
    b.shortfall[k] = -sed.wash.made[m];
    b.point_sinks[k] = -sed.wash.drawn[m];
    b.lake_point_sinks[k] = -sum_col(sed.wash.lake_drawn, m);
  }

  if (ns > 0) {
    chan_sand_network net;
    fill_links(net, ch);
    net.depth = &ch.chan_depth;
    net.qp = &ch.qp;
    net.bel = &ch.bel;
    net.org_bel = &ch.org_bel;
    net.bottom = &ch.bottom;
    net.sslope = &ch.sslope;
    net.table_num = &ch.table_num;
    net.numhts = &ch.numhts;
    net.ht_spc = &ch.ht_spc;
    net.xarea = &ch.xarea;
    net.xtw = &ch.xtw;
    net.xp = &ch.xp;
    net.lake_of_link = &lakes.lake2link;
    net.lake_elev = &lakes.lake_elev;
    net.layer = &sed.layer;
    chan_sand_params par;
    par.n_sand = ns;
    par.diam = c.sand_diam.data();
    par.fall = c.sand_settling.data();
    par.viscosity = c.viscosity;
    par.porosity = c.porosity;
    const chan_sand_result r = chan_sand_step(net, par, dt, sed.sand, ch.new_bel);
    if (r.nan_link != 0) {
      std::printf("The sand transport capacity of channel link %d node %d is not a number (its depth, discharge "
                  "or bed elevation is not a number); the run stops.\n",
                  r.nan_link, r.nan_node);
      return false;
    }
  }
  if (nf > 0) {
    chan_wash_network net;
    fill_links(net, ch);
    net.area = &ch.area;
    net.qp_vol = &ch.qp_vol_sed;
    if (nl > 0) {
      net.lake_of_link = &lakes.lake2link;
      net.lake_volume = &lakes.lake_volume;
      net.lake_area = &lakes.lake_area;
    }
    if (ch.point_vol_sed.on()) {
      net.withdrawn = &ch.point_vol_sed.out;
      if (nl > 0) net.lake_withdrawn = &ch.point_vol_sed.lake_out;
    }
    // The wash load each node and lake starts the transport with.
    if (sed.keep_moves) {
      chan_sed_moves& mv = sed.moves;
      for (int f = 1; f <= flat && f <= mv.vol_start.rows(); ++f)
        for (int m = 1; m <= nf; ++m) mv.vol_start(f, m) = sed.wash.vol(f, m) + sed.wash.lateral(f, m);
      for (int l = 1; l <= nl && l <= mv.lake_start.rows(); ++l)
        for (int m = 1; m <= nf; ++m) mv.lake_start(l, m) = sed.wash.lake_vol(l, m) + sed.wash.from_overland(l, m);
    }
    sed.wash_step.run(net, nf, c.fine_settling.data(), dt, sed.wash);
  }
  for (int l = 1; l <= ch.num_stream_links; ++l)
    for (int k = 1; k <= ch.max_nodes_per_link && k <= ch.qp_vol_sed.rows(); ++k) ch.qp_vol_sed(k, l) = 0.0;
  ch.point_vol_sed.clear();

  for (int m = 1; m <= ns; ++m) {
    const int k = class_of(m, true);
    b.cells_to_channels[k] += sed.sand.in[m];
    b.outlet[k] += sed.sand.out[m];
    b.channels_to_lakes[k] += sum_col(sed.sand.to_lake, m);
  }
  for (int m = 1; m <= nf; ++m) {
    const int k = class_of(m, false);
    // The wash store's intake counts the cells' sediment sent to lakes too.
    b.cells_to_channels[k] += sed.wash.in[m] - b.cells_to_lakes[k];
    b.outlet[k] += sed.wash.out[m];
    b.channels_to_lakes[k] += sum_col(sed.wash.to_lake, m);
    b.lakes_to_channels[k] += sum_col(sed.wash.from_lake, m);
    b.settled[k] += sum_col(sed.wash.settled, m);
    b.shortfall[k] += sed.wash.made[m];
    b.point_sinks[k] += sed.wash.drawn[m];
    b.lake_point_sinks[k] += sum_col(sed.wash.lake_drawn, m);
  }

  // The bed of erodible trapezoids follows the sand; with the bed adjusted
  // the water rides on it, so the channel keeps its water.
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int t = ch.ltype[l];
    if (!erodible_channel(t)) continue;
    for (int k = 1; k <= ch.nx[l]; ++k) {
      const int f = ch.max_nodes_per_link * l + k;
      double v = 0.0;
      for (int m = 1; m <= ns; ++m) v += sed.sand.sand(f, m);
      sed.node_sand(k, l) = v;
      if (!has(t, link_type::trapezoid)) {
        ch.new_bel(k, l) = ch.bel(k, l);
        continue;
      }
      if (adjust_bed) {
        const double dz = ch.new_bel(k, l) - ch.bel(k, l);
        ch.bel(k, l) += dz;
        ch.yp(k, l) += dz;
      }
    }
  }
  return true;
}

bool update_erodible_sections(channel_state& ch, channel_sediment& sed, bool adjust_bed) {
  if (!xsec_update(ch, sed.node_sand, sed.classes.porosity, adjust_bed)) return false;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int t = ch.ltype[l];
    if (!has(t, link_type::breakpoint) || !has(t, link_type::erodible) || ch.bplink.empty() || ch.bplink[l] < 1)
      continue;
    for (int j = 1; j <= ch.nx[l]; ++j) {
      ch.new_bel(j, l) = ch.bel(j, l);
      ch.ch_sand_vol0[ch.bplink[l]][j] = sed.node_sand(j, l);
    }
  }
  return true;
}

double channel_sediment_stored(const channel_state& ch, const channel_sediment& sed, int cls) {
  (void)ch;
  const chan_sed_classes& c = sed.classes;
  if (cls < 1 || cls > c.n) return 0.0;
  const int pos = c.position[cls];
  // Every node's store, also of nodes a lake holds for now.
  double v = 0.0;
  if (c.sand[cls]) {
    for (int f = 1; f <= sed.sand.sand.rows(); ++f) v += sed.sand.sand(f, pos) + sed.sand.lateral(f, pos);
  } else {
    for (int f = 1; f <= sed.wash.vol.rows(); ++f) v += sed.wash.vol(f, pos) + sed.wash.lateral(f, pos);
  }
  return v;
}

double lake_sediment_stored(const channel_sediment& sed, int cls) {
  const chan_sed_classes& c = sed.classes;
  if (cls < 1 || cls > c.n) return 0.0;
  const int pos = c.position[cls];
  double v = 0.0;
  if (c.sand[cls]) {
    for (int l = 1; l <= sed.lake_sand.rows(); ++l) v += sed.sand.to_lake(l, pos) + sed.lake_sand(l, pos);
  } else {
    for (int l = 1; l <= sed.wash.lake_vol.rows(); ++l)
      v += sed.wash.lake_vol(l, pos) + sed.wash.settled(l, pos) + sed.wash.from_overland(l, pos);
  }
  return v;
}

}  // namespace nivra
