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
  const double r = std::max(tail, 0.0) / head;
  const double s = r * std::sqrt(r);
  const double f = s < 1e-7 ? 1.0 : submergence_factor(s);
  return head * std::sqrt(head) * lw * weir_coefficient * f;
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
  if (!over && !back) return e.h > 1e-16 ? e.h * std::sqrt(e.h) * e.lw * weir_coefficient : 0.0;
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

namespace {

// Whether a section of the entry's node came out; false after reporting
// the node's fault (the run stops).
bool section_ok(channel_state& ch, section_status s, int link, int node, bool exceeded) {
  if (s != section_status::ok) {
    print_section_fault(s, node, link);
    set_error(own_message_code);
    report_error();
    return false;
  }
  if (exceeded) ch.xsec_table_exceeded = 1;
  return true;
}

// The section at a fixed level of the entry (the cell's ground, the crest
// of a spill): a level the water has not reached sets no warning of a
// table exceeded.
bool section_of(channel_state& ch, int link, int node, double y, section_props& p) {
  bool exceeded = false;
  return section_ok(ch, section_at_depth(ch, link, node, y, p, exceeded), link, node, false);
}

// The top width at the water's own level: a table it exceeds is warned of.
bool top_width_of(channel_state& ch, int link, int node, double y, double& topw) {
  bool exceeded = false;
  const section_status s = top_width_at_depth(ch, link, node, y, topw, exceeded);
  return section_ok(ch, s, link, node, exceeded);
}

}  // namespace

bool prepare_lateral_exchange(const lateral_domain& d) {
  channel_state& ch = d.ch;
  const overland_state& ov = d.overland;
  const double* depth = ov.ov_depth.data();
  const double* ground = d.grid.elevation.data();
  const bool expo = !ov.roughness_exp.empty();
  channel_scheme& s = ch.routing;
  for (int i = 1; i <= ch.gst_num_cells; ++i) {
    if (ch.gst_ncellsingrid[i] < 1) continue;
    const int c = ch.gst_gnum[i][1];
    s.rough[i] = ov.dist_rough[c] * (expo ? std::exp(-ov.roughness_exp[c] * depth[c]) : 1.0);
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int link = ch.gst_link[i][j], node = ch.gst_node[i][j];
      if (skipped(ch, d.lakes, link, node, c)) continue;
      const double bed = ch.bel(node, link);
      const double crest = std::max(ground[c], bed + ch.bankfull_dep(node, link));
      section_props at_ground, at_crest;
      if (!section_of(ch, link, node, std::max(ground[c] - bed, 0.0), at_ground) ||
          !section_of(ch, link, node, crest - bed, at_crest))
        return false;
      s.entry_sections[i][j] = {at_ground.area, at_ground.topw, at_crest.area};
    }
  }
  return true;
}

namespace {

// What the cell (plan area a) would give the entry's part of the node (lw
// of its length) for the two water surfaces to meet, the cell never going
// below its ground: with the channel at or above the ground, the levelling
// of the two surfaces (the cell's area against the channel's surface along
// the entry, its top width `topw` there times lw); with the channel below,
// the water that fills it up to the ground and then the levelling of the
// rest over the two surfaces at the ground. The same at the ground from
// both sides, so the volume has no step as the channel crosses it.
double levelling_volume(const entry_levels& e, double a, double topw, const entry_section& at, double area_now) {
  const double plan = (e.wc >= e.zg ? topw : at.ground_topw) * e.lw;
  const double share = plan > 0.0 ? plan / (a + plan) : 0.0;
  if (e.wc >= e.zg) return std::max(e.wo - e.wc, 0.0) * a * share;
  const double held = e.h * a;
  const double to_ground = std::max(at.ground_area - std::max(area_now, 0.0), 0.0) * e.lw;
  return held <= to_ground ? held : to_ground + (held - to_ground) * share;
}

// The rate that moves over dt seconds what a flow q starting the step
// moves when it dies away as the two sides approach their meeting point
// `volume` away: volume (1 - exp(-q dt / volume)) / dt. Over a short step
// it is q; over a long one the two sides meet and stop, and never pass
// each other, however long the step.
double toward_level(double q, double volume, double dt) {
  if (!(volume > 0.0) || !(q > 0.0)) return 0.0;
  const double x = q * dt / volume;
  // Far from the meeting point three terms of the series, within 1e-10.
  if (x < 1e-3) return q * (1.0 - x * (0.5 - x / 6.0));
  return -volume * std::expm1(-x) / dt;
}

}  // namespace

lateral_result lateral_exchange(const lateral_domain& d, double dt) {
  lateral_result res;
  channel_state& ch = d.ch;
  overland_state& ov = d.overland;
  double* depth = ov.ov_depth.data();
  const double* ground = d.grid.elevation.data();
  const double* blocked = blocked_cells(ov);
  const double cell_area = d.grid.grid_size * d.grid.grid_size;
  const bool boundaries = ov.ov_boundary && !ov.boundary_type.empty();
  const double* rough = ch.routing.rough.data();
  const array2d<entry_section>& sections = ch.routing.entry_sections;
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
          if (q > 0.0) {
            // The top width of the channel's surface, once it stands over
            // the cell's ground.
            double topw = 0.0;
            if (e.wc >= e.zg && !top_width_of(ch, link, node, e.wc - e.bed, topw)) {
              res.ok = false;
              return res;
            }
            q = toward_level(q, levelling_volume(e, a, topw, sections[i][j], ch.area(node, link)), dt);
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
        // Out of the channel: the water above the crest in the cell's part
        // of the node, a share OVERBANK_MAX_DV of it a second at most, and
        // dying away as the channel falls to the crest or to the cell's
        // water (a held level does not rise).
        double topw = 0.0;
        if (!top_width_of(ch, link, node, e.wc - e.bed, topw)) {
          res.ok = false;
          return res;
        }
        const double available = std::max(ch.area(node, link) - sections[i][j].crest_area, 0.0) * e.lw;
        const double plan = topw * e.lw;
        const double share = to_boundary ? 1.0 : a / (a + plan);
        const double meet = std::min(available, std::max(e.wc - e.wo, 0.0) * plan * share);
        q = toward_level(std::min(q, available * ch.overbank_max_dv), meet, dt);
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
    }
  }
  return res;
}

}  // namespace nivra
