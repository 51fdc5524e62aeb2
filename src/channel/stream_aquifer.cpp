#include "channel/stream_aquifer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_sections.h"
#include "channel/channel_state.h"
#include "groundwater/aquifer.h"

namespace nivra {

double stream_bed_width(const channel_state& ch, int node, int link, double d) {
  const int t = ch.ltype[link];
  if (t & link_type::breakpoint) {
    const int table = ch.table_num(node, link);
    const double h = ch.ht_spc[table];
    const int levels = ch.numhts[table];
    if (d < h) return ch.xtw(1, table) * std::pow(d / h, 5.0 / 3.0);
    const int k = static_cast<int>(d / h);
    if (k >= levels) {
      // Above the table: on along the last two levels.
      const double top = ch.xtw(levels, table), below = levels > 1 ? ch.xtw(levels - 1, table) : 0.0;
      return top + (top - below) * (d - levels * h) / h;
    }
    const double lo = ch.xtw(k, table), hi = ch.xtw(k + 1, table);
    return lo + (hi - lo) * (d - k * h) / h;
  }
  double p = 2.0 * d * ch.sslope(node, link) + ch.bottom(node, link);
  if ((t & link_type::floodplain) && d > ch.bankfull_dep(node, link))
    p += 2.0 * (d - ch.bankfull_dep(node, link)) * ch.sslope2(node, link);
  return p;
}

namespace {

bool exchanges(const channel_state& ch, int link, int node) {
  const int t = ch.ltype[link];
  if (t & (link_type::structure | link_type::lake)) return false;
  if ((t & link_type::channel) && (t & link_type::captured)) return false;
  return node <= ch.nx[link];
}

}  // namespace

int chan_gw_exchange(channel_state& ch, const stream_aquifer_cells& cells) {
  for (int l = 1; l <= ch.num_stream_links; ++l)
    for (int k = 1; k <= ch.og_nx1[l] && k < ch.qriv.rows() + 1; ++k) ch.qriv(k, l) = 0.0;
  int word = stream_exchange::none;
  const bool table = cells.water_table != nullptr;
  for (int i = 1; i <= ch.gst_num_cells; ++i) {
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      ch.gst_qriv[i][j] = 0.0;
      const int link = ch.gst_link[i][j], node = ch.gst_node[i][j], cell = ch.gst_gnum[i][j];
      if (!exchanges(ch, link, node)) continue;
      if (cells.gwbound && cells.gwbound[cell] != aquifer_cell::river) continue;
      if ((ch.ltype[link] & link_type::breakpoint) && ch.table_num(node, link) > ch.num_xsec_tables) {
        std::fprintf(stderr, "Error in section: Request for table beyond max. table number.\n");
        return stream_exchange::failed;
      }
      const double d0 = ch.chan_depth(node, link), zb = ch.bel(node, link), ws = zb + d0;
      const double K = ch.Krb(node, link) / 3600.0, M = ch.Mrb(node, link);
      double q = 0.0;
      if (!table) {
        if (d0 > 1e-16) q = -d0 * K / M * stream_bed_width(ch, node, link, d0);
      } else {
        const double wt = cells.water_table[cell];
        if (wt <= zb) {
          // The table below the bed: the stream leaks at its own depth.
          if (d0 > 1e-6) q = -d0 * K / M * stream_bed_width(ch, node, link, d0);
        } else if (wt <= ws || wt - cells.bottom[cell] >= 0.01) {
          const double d = wt > ws ? wt - zb : d0;
          if (wt < cells.ground[cell] || wt >= ws) q = K / M * (wt - ws) * stream_bed_width(ch, node, link, d);
        }
      }
      if (std::isnan(q)) {
        std::printf("qriv in node %ld link %ld is not a number\n", static_cast<long>(node), static_cast<long>(link));
        std::printf("qriv set to zero in this node \n");
        std::printf("check your input \n");
        q = 0.0;
      }
      ch.gst_qriv[i][j] = q;
      ch.qriv(node, link) += ch.gst_pct[i][j] * q;
    }
  }
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int link = ch.gst_link[i][j], node = ch.gst_node[i][j];
      const double q = ch.qriv(node, link);
      if (q > 0.0) word = stream_exchange::gaining;
      else if (q < 0.0 && word != stream_exchange::gaining && ch.chan_depth(node, link) > 1e-6)
        word = stream_exchange::losing;
    }
  return word;
}

namespace {

// The share of a losing node's exchange over dt seconds that it can give:
// all of it, or what it holds. 0 for a node that does not lose, or whose
// level a fixed-head outlet holds.
double losing_share(const channel_state& ch, int link, int node, double dt) {
  const double q = ch.qriv(node, link);
  if (!(q < 0.0) || (ch.head_bound && link == ch.num_stream_links && node == ch.nx[link])) return 0.0;
  const double held = ch.area(node, link) * ch.link_dx[link], loss = -q * ch.link_dx[link] * dt;
  return loss > held ? std::max(held, 0.0) / loss : 1.0;
}

}  // namespace

parked_exchange_books exchange_while_parked(channel_state& ch, const stream_aquifer_cells& cells, double dt,
                                           double* cell_exchange, bool constituents) {
  parked_exchange_books b;
  b.word = chan_gw_exchange(ch, cells);
  if (b.word != stream_exchange::losing || !(dt > 0.0)) return b;
  // Each entry's share to its cell, from the nodes' water before it moves.
  const bool volumes = constituents && !ch.gst_qriv_vol.empty();
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int l = ch.gst_link[i][j], k = ch.gst_node[i][j];
      if (k > ch.nx[l]) continue;
      const double share = losing_share(ch, l, k, dt);
      if (share == 0.0) continue;
      const double v = ch.link_dx[l] * ch.gst_qriv[i][j] * share * dt * ch.gst_pct[i][j];
      if (cell_exchange) cell_exchange[ch.gst_gnum[i][j]] += v;
      if (volumes) ch.gst_qriv_vol[i][j] += v;
    }
  for (int l = 1; l <= ch.num_stream_links; ++l)
    for (int k = 1; k <= ch.nx[l]; ++k) {
      const double share = losing_share(ch, l, k, dt);
      if (share == 0.0) continue;
      // A node that gives all it holds is left dry.
      const double dx = ch.link_dx[l];
      const double given = share < 1.0 ? ch.area(k, l) * dx : -ch.qriv(k, l) * dx * dt;
      const double a = ch.area(k, l) - given / dx;
      ch.area(k, l) = share < 1.0 || std::fabs(a) < 1e-15 ? 0.0 : a;
      b.to_aquifer += given;
    }
  if (!ex_section(ch, ch.area)) b.word = stream_exchange::failed;
  return b;
}

}  // namespace nivra
