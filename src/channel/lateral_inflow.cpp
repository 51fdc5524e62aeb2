#include "channel/lateral_inflow.h"

#include <algorithm>
#include <cmath>

#include "channel/channel_sections.h"
#include "core/errors.h"
#include "inputs/grid_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

constexpr double weir_coefficient = 3.40978982734;  // 2/3 x 0.77 x sqrt(2 x 9.81), m^0.5/s

// Free overfall of head H over a crest of length lw, reduced by the
// submergence of the tailwater head hd.
double weir_flow(double head, double tail, double lw) {
  const double s = std::pow(std::max(tail, 0.0) / head, 1.5);
  const double f = s < 1e-7 ? 1.0 : submergence_factor(s);
  return std::pow(head, 1.5) * lw * weir_coefficient * f;
}

// Critical flow over a crest of length lw under head H.
double critical_flow(double head, double lw) {
  const double hc = 2.0 / 3.0 * head;
  return std::sqrt(9.81 * hc) * 0.8944 * hc * 2.0 * lw;
}

// The regime of the backwater test.
enum class regime { none, weir, manning };

// One entry's levels and lengths.
struct entry_levels {
  double h;      // depth on the cell, m
  double zg;     // ground of the cell, m
  double wo;     // water surface on the cell, m
  double bed;    // channel bed, m
  double zb;     // top of the bank, m
  double wc;     // water surface in the channel, m
  double dc;     // channel water above the ground, m
  double lw;     // bank length of the entry, m
  double half;   // half a cell, m
  double n_eff;  // effective Manning's n of the cell
};

struct exchange {
  const entry_levels& e;
  double qmax = 1e8;  // the last weir flow evaluated, the cap of the Manning flow

  double weir(double head, double tail) {
    if (head > 1e-16) qmax = weir_flow(head, tail, e.lw);
    return qmax;
  }
  // Flow of the mean depth between cell and channel down the slope of the
  // two water surfaces over half a cell.
  double manning() const {
    const double d = (e.h + e.dc) / 2.0;
    if (d <= 1e-16) return 0.0;
    const double q = std::sqrt(std::fabs(e.wc - e.wo) / e.half) * std::cbrt(d * d) / e.n_eff * d * 2.0 * e.lw;
    return std::min(q, qmax);
  }
  // Cell water above the bank pushing into a channel below it.
  regime backwater() {
    if (!(e.wo > e.wc && e.wo > e.zb)) return regime::none;
    double head, tail;
    if (e.zg > e.zb) {
      head = e.h;
      tail = e.dc;
    } else {
      head = e.wo - e.zb;
      tail = e.wc - e.zb;
    }
    weir(head, tail);
    return std::max(tail, 0.0) / head > 0.66 ? regime::manning : regime::weir;
  }
  double of(regime r) const { return r == regime::weir ? qmax : r == regime::manning ? manning() : 0.0; }
};

// The exchange of one entry (m3/s, positive into the channel) and the crest
// head of a spill from the channel (0 when the channel does not spill).
double entry_flow(const entry_levels& e, bool over, bool back, double& spill_head) {
  spill_head = 0.0;
  if (!over && !back) return e.h > 1e-16 ? std::pow(e.h, 1.5) * e.lw * weir_coefficient : 0.0;
  exchange x{e};
  const regime r = back ? x.backwater() : regime::none;
  if (!over) return x.of(r);
  if (e.zb <= e.zg && e.wc > e.wo) {
    if (e.zg > e.bed) {
      // The channel spills onto the cell over its ground.
      x.weir(e.dc, e.h);
      spill_head = e.dc;
      return std::min(x.manning(), critical_flow(e.dc, e.lw));
    }
    return x.of(r);
  }
  if (e.zb > e.zg && e.wc > e.zb && e.wc > e.wo) {
    // The channel spills over its bank.
    const double head = e.wc - e.zb;
    x.weir(head, e.wo - e.zb);
    spill_head = head;
    return std::min(x.manning(), critical_flow(head, e.lw));
  }
  // The cell's water stands at or above the channel's.
  if (back) return x.of(r);
  if (e.h <= 1e-16) return 0.0;
  x.weir(e.h, e.dc);
  return std::max(e.dc, 0.0) / e.h <= 0.66 ? x.qmax : x.manning();
}

bool skipped(const channel_state& ch, const lake_state& lakes, int link, int node, int cell) {
  const int t = ch.ltype[link];
  if (t & (link_type::structure | link_type::lake)) return true;
  if ((t & link_type::channel) && (t & link_type::captured)) return true;
  if (lakes.chan_lakes && ((!lakes.lake_mask.empty() && lakes.lake_mask[cell] > 0) || node > ch.nx[link])) return true;
  return false;
}

}  // namespace

double submergence_factor(double s) {
  static constexpr double x[] = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.76, 0.8, 0.95, 1.0};
  static constexpr double y[] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.947, 0.75, 0.0};
  constexpr int n = 11;
  if (s > 1.0 - 1e-7) return 0.0;
  for (int i = 0; i < n; ++i) {
    if (std::fabs(s - x[i]) < 0.0001) return y[i];
    if (i + 1 < n && x[i] < s && s < x[i + 1])
      return y[i + 1] + (x[i + 1] - s) / (x[i + 1] - x[i]) * (y[i] - y[i + 1]);
  }
  return 0.0;
}

lateral_result lateral_inflow(const lateral_domain& d, double dt) {
  lateral_result res;
  channel_state& ch = d.ch;
  overland_state& ov = d.overland;
  double* depth = ov.ov_depth.data();
  const double* ground = d.grid.elevation.data();
  const double* blocked = blocked_cells(ov);
  const double cell_area = d.grid.grid_size * d.grid.grid_size;
  const bool boundaries = ov.ov_boundary && !ov.boundary_type.empty();
  const bool expo = !ov.roughness_exp.empty();

  // The roughness of the cells as the step found them.
  double* rough = ch.routing.rough.data();
  for (int i = 1; i <= ch.gst_num_cells; ++i) {
    if (ch.gst_ncellsingrid[i] < 1) continue;
    const int c = ch.gst_gnum[i][1];
    rough[i] = ov.dist_rough[c] * (expo ? std::exp(-ov.roughness_exp[c] * depth[c]) : 1.0);
  }
  ch.gst_qlat.fill(0.0);

  for (int i = 1; i <= ch.gst_num_cells; ++i) {
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int link = ch.gst_link[i][j], node = ch.gst_node[i][j], c = ch.gst_gnum[i][j];
      if (skipped(ch, d.lakes, link, node, c)) continue;
      const int t = ch.ltype[link];
      const bool channel = (t & link_type::channel) != 0;
      const bool over = ch.overbank_flow || (channel && (t & link_type::overbank));
      const bool back = d.overland_backwater || (channel && (t & link_type::backwater));
      const double dx = ch.link_dx[link];
      const double a = cell_area * open_share(blocked, c);
      entry_levels e;
      e.h = depth[c];
      e.zg = ground[c];
      e.wo = e.zg + e.h;
      e.bed = ch.bel(node, link);
      e.zb = e.bed + ch.bankfull_dep(node, link);
      e.wc = ch.yp(node, link);
      e.dc = e.wc - e.zg;
      e.lw = ch.gst_pct[i][j] * dx;
      e.half = 0.5 * d.grid.grid_size;
      e.n_eff = rough[i];
      const bool to_boundary = boundaries && boundary::holds_level(ov.boundary_type[c]);
      double head = 0.0;
      double q = entry_flow(e, over, back, head);
      if (head <= 1e-16) {
        // Into the channel: the cell gives at most what it holds.
        if (to_boundary) {
          res.boundary_inflow += q * dt;
        } else {
          if (q > 0.0 && e.dc > 0.0) {
            // The channel's water stands over the cell's ground: cell and
            // channel are one pool across the bank, and a step moves at
            // most half of what would bring the two surfaces level (the
            // cell's area a against the channel's surface along the entry,
            // its top width times the entry's length). The cell's other
            // neighbours and the channel's own flow move them in the same
            // step: a whole share would carry the two past each other and
            // back again, step after step.
            bool exceeded = false;
            section_props at;
            const section_status st = section_at_depth(ch, link, node, e.wc - e.bed, at, exceeded);
            if (st != section_status::ok) {
              print_section_fault(st, node, link);
              set_error(own_message_code);
              report_error();
              res.ok = false;
              return res;
            }
            if (exceeded) ch.xsec_table_exceeded = 1;
            const double plan = at.topw * e.lw;
            const double level = 0.5 * std::max(e.wo - e.wc, 0.0) * a * plan / (a + plan);
            q = std::min(q, level / dt);
          }
          const double v = q * dt;
          if (e.h * a - v < -1e-16) {
            depth[c] = 0.0;
            q = e.h * a / dt;
          } else {
            depth[c] = e.h - v / a;
          }
          res.to_channel += q * dt;
        }
      } else {
        // Out of the channel: at most a share of the water above the crest
        // in the cell's part of the node.
        bool exceeded = false;
        section_props low, high;
        section_status s = section_at_depth(ch, link, node, e.wc - head - e.bed, low, exceeded);
        if (s == section_status::ok) s = section_at_depth(ch, link, node, e.wc - e.bed, high, exceeded);
        if (s != section_status::ok) {
          print_section_fault(s, node, link);
          set_error(own_message_code);
          report_error();
          res.ok = false;
          return res;
        }
        if (exceeded) ch.xsec_table_exceeded = 1;
        const double available = (high.area - low.area) * dx * ch.gst_pct[i][j];
        if (available <= 0.0)
          q = 0.0;
        else if ((available - q * dt) / available < 1.0 - ch.overbank_max_dv)
          q = available * ch.overbank_max_dv / dt;
        q = -q;
        if (to_boundary) {
          res.boundary_spill -= q * dt;
        } else {
          depth[c] -= q * dt / a;
          // The cell's water never stands above the channel it came from.
          for (int k = 0; k < 4 && e.zg + depth[c] - e.wc > 1e-12; ++k) {
            const double excess = e.zg + depth[c] - e.wc;
            depth[c] -= excess;
            q += excess * a / dt;
          }
          res.from_channel -= q * dt;
        }
      }
      ch.qlat(node, link) += q / dx;
      ch.gst_qlat[i][j] += q;
      if (!ch.gst_Vlat.empty()) ch.gst_Vlat[i][j] += q * dt;
    }
  }
  return res;
}

}  // namespace nivra
