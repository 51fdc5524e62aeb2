#include "channel/channel_routing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "channel/channel_sections.h"
#include "channel/lake_capture.h"
#include "channel/lateral_inflow.h"
#include "channel/stream_aquifer.h"
#include "channel/structures.h"
#include "core/errors.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// A link routed node by node: no lake or structure link, and no channel
// link a lake has taken whole.
inline bool routed(int type) {
  if (type & (link_type::lake | link_type::structure)) return false;
  return !((type & link_type::channel) && (type & link_type::captured));
}

inline bool lake_or_captured(int type) {
  return (type & link_type::lake) || ((type & link_type::channel) && (type & link_type::captured));
}

// Discharge down a water-surface slope s, with the conveyance of the higher
// side: k_up when the water falls downstream, k_down when it rises.
inline double slope_flow(double s, double k_up, double k_down) {
  return s >= 0.0 ? std::sqrt(s) * k_up : -std::sqrt(-s) * k_down;
}

// The lake that holds link `link`, or 0 when none is known.
int lake_of(const lake_state& lakes, int link) {
  const int lake = link <= lakes.lake2link.size() && !lakes.lake2link.empty() ? lakes.lake2link[link] : 0;
  return lake >= 1 && lake <= lakes.lake_elev.size() && lake <= lakes.lake_volume.size() ? lake : 0;
}

// Level of the lake that holds link `link`, or the lowest level when none
// is known.
double lake_level(const lake_state& lakes, int link) {
  const int lake = lake_of(lakes, link);
  return lake ? lakes.lake_elev[lake] : -1e30;
}

// Water a point sink drew from lake `lake`, m3, for what rides on it.
void take_from_lake(const channel_domain& d, int lake, double v) {
  for (chan_point_volumes* p : {d.constituents ? &d.ch.point_vol_wq : nullptr,
                                d.sediments ? &d.ch.point_vol_sed : nullptr})
    if (p && p->on() && lake <= p->lake_out.size()) p->lake_out[lake] += v;
}

// The water the channels gave the lakes and the lakes passed to their
// structures over an accepted sub-step of `sub` seconds: a lake link loses
// what node 1 of its structure passed and gains what the last nodes of its
// routed upstream links delivered; a channel link a lake has taken whole
// hands its upstream links' water to that lake.
void lake_accounts(const channel_domain& d, double sub, channel_books& b) {
  const channel_state& ch = d.ch;
  lake_state& lakes = d.lakes;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int t = ch.ltype[l];
    if (!lake_or_captured(t)) continue;
    const int lake = lake_of(lakes, l);
    if (!lake) continue;
    if (t & link_type::lake) {
      const double out = sub * ch.qp(1, ch.dslink[l]);
      lakes.lake_volume[lake] -= out;
      // The wash load leaves with the water the lake lets out.
      if (d.sediments) d.ch.qp_vol_sed(1, l) += out;
      if (d.constituents && lake <= d.ch.lake_release_vol.size()) d.ch.lake_release_vol[lake] += out;
      if (out >= 0.0)
        b.lake_out += out;
      else
        b.lake_in -= out;
      // The lake's POINTSOURCE series; a sink takes at most what the lake
      // holds.
      const array1d<double>& series = ch.structures.series_flow;
      if (!series.empty()) {
        double v = sub * series[ch.max_nodes_per_link * l + 1];
        if (v < 0.0) v = -std::min(-v, std::max(lakes.lake_volume[lake], 0.0));
        lakes.lake_volume[lake] += v;
        if (v >= 0.0) {
          b.lake_point_in += v;
        } else {
          b.lake_point_out -= v;
          // The water drawn takes the lake's constituents and wash load.
          take_from_lake(d, lake, -v);
        }
      }
    }
    for (int k = 1; k <= ch.ndep[l]; ++k) {
      const int u = ch.uslinks(l, k);
      if (!routed(ch.ltype[u])) continue;
      const double in = sub * ch.qp(ch.nx[u], u);
      lakes.lake_volume[lake] += in;
      if (in >= 0.0)
        b.lake_in += in;
      else
        b.lake_out -= in;
    }
  }
}

// What enters node 1 of link l from above over one second: the upstream
// links' last discharges, or the headwater inflow.
double inflow_from_above(const channel_state& ch, const node_array<double>& q, int l) {
  const int n = ch.ndep[l];
  if (n == 0) return ch.first_order_chan_q;
  double sum = 0.0;
  for (int k = 1; k <= n; ++k) {
    const int u = ch.uslinks(l, k);
    sum += q(ch.nx[u], u);
  }
  return sum;
}

inline double point_flow(const channel_state& ch, int link, int node) {
  const int at = ch.max_nodes_per_link * link + node;
  const array1d<double>& series = ch.structures.series_flow;
  return (ch.chan_point_sources_on ? ch.chan_point_flow[at] : 0.0) + (series.empty() ? 0.0 : series[at]);
}

// The two sides of structure link l: the last node of the link above (or
// the lake that link is) and node 1 of the link below, their water
// surfaces, and whether either side holds water (a lake always does).
struct structure_sides {
  int up = 0, last = 0, down = 0, lake = 0;
  double hw = 0.0, tw = 0.0;
  bool wet = false;
};

structure_sides sides_of(const channel_domain& d, int l) {
  const channel_state& ch = d.ch;
  structure_sides x;
  x.up = ch.uslinks(l, 1);
  x.down = ch.dslink[l];
  x.last = ch.nx[x.up];
  x.lake = (ch.ltype[x.up] & link_type::lake) ? lake_of(d.lakes, x.up) : 0;
  x.hw = x.lake ? d.lakes.lake_elev[x.lake] : ch.yp(x.last, x.up);
  x.tw = ch.yp(1, x.down);
  x.wet = x.lake || x.hw - ch.bel(x.last, x.up) >= 1e-16 || x.tw - ch.bel(1, x.down) >= 1e-16;
  return x;
}

// The discharge of every structure link from its headwater and tailwater,
// at nodes 1 and 2 of the link.
channel_status structure_flows(const channel_domain& d, node_array<double>& q, double h) {
  const channel_state& ch = d.ch;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!(ch.ltype[l] & link_type::structure)) continue;
    const auto [up, last, down, lake, hw, tw, wet] = sides_of(d, l);
    double sum = 0.0;
    if (wet) {
      if (structure_sum(ch.structures, l, hw, tw, d.model_time, sum) != structure_status::ok)
        return channel_status::structure_failed;
      // No more than the giving node or lake holds over the sub-step.
      const double held = lake ? d.lakes.lake_volume[lake] : ch.area(last, up) * ch.link_dx[up];
      if (h > 0.0 && sum > 1e-16) sum = std::min(sum, std::max(held, 0.0) / h);
      if (h > 0.0 && sum < -1e-16) sum = std::max(sum, -std::max(ch.area(1, down), 0.0) * ch.link_dx[down] / h);
    }
    q(1, l) = sum;
    q(2, l) = sum;
  }
  return channel_status::ok;
}

inline double pipe_flow(const channel_state& ch, int link, int node) {
  return ch.chan_pipe_flow.empty() ? 0.0 : ch.chan_pipe_flow[ch.max_nodes_per_link * link + node];
}

inline double xy_flow(const channel_state& ch, int link, int node) {
  return ch.chan_xy_flow.empty() ? 0.0 : ch.chan_xy_flow[ch.max_nodes_per_link * link + node];
}

channel_status outlet_flow(const channel_state& ch, node_array<double>& q) {
  const int l = ch.num_stream_links;
  const int n = ch.nx[l];
  if (n < 1 || !routed(ch.ltype[l])) return channel_status::ok;
  const double dx = ch.link_dx[l];
  if (ch.head_bound) {
    // The fixed-head node passes on what reaches it.
    double v = ch.qlat(n, l) * dx + (n > 1 ? q(n - 1, l) : inflow_from_above(ch, q, l)) + point_flow(ch, l, n) +
               pipe_flow(ch, l, n) + xy_flow(ch, l, n);
    if (ch.stream_loss) v += ch.qriv(n, l) * dx;
    q(n, l) = v;
    return channel_status::ok;
  }
  // Normal-depth outflow down the bed slope of the last reach; a link of one
  // node takes the reach from its first upstream link.
  double s0 = -1.0;
  if (n > 1) {
    s0 = (ch.bel(n - 1, l) - ch.bel(n, l)) / dx;
  } else if (ch.ndep[l] > 0) {
    const int u = ch.uslinks(l, 1);
    s0 = (ch.bel(ch.nx[u], u) - ch.bel(n, l)) / ((ch.link_dx[u] + dx) * 0.5);
  }
  if (s0 < 0.0) {
    std::printf("The outlet slope is negative.  Make sure that the bed\n"
                "elevation of the most downstream node is lower than\n"
                "the bed elevation of the node just upstream from it.\n"
                "Program stopped.\n");
    return channel_status::negative_outlet_slope;
  }
  q(n, l) = std::sqrt(s0) * ch.conv(n, l);
  return channel_status::ok;
}

channel_status fail(channel_status s) {
  set_error(own_message_code);
  report_error();
  return s;
}

void copy_routed(const channel_state& ch, const node_array<double>& from, node_array<double>& to) {
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!routed(ch.ltype[l])) continue;
    const auto f = from.column(l);
    auto t = to.column(l);
    std::copy(f.data() + 1, f.data() + ch.nx[l] + 1, t.data() + 1);
  }
}

}  // namespace

void channel_scheme::prepare(int nodes, int links, bool aquifer_exchange, int stream_cells, int entries) {
  for (column_array2d<double>* a :
       {&area_start, &area_iter, &qp_start, &qp_iter, &qp_last, &qlat_other, &point_in, &point_out})
    if (a->rows() != nodes || a->cols() != links) a->alloc(nodes, links);
  if (aquifer_exchange && (qriv_start.rows() != nodes || qriv_start.cols() != links)) qriv_start.alloc(nodes, links);
  for (array1d<double>* a : {&rough, &cell_depth_start})
    if (a->size() != stream_cells) a->alloc(stream_cells);
  if (entry_volume.rows() != stream_cells || entry_volume.cols() != entries) {
    entry_volume.alloc(stream_cells, entries);
    entry_sections.alloc(stream_cells, entries);
  }
}

channel_status chan_node_flows(const channel_domain& d, node_array<double>& q, double h) {
  const channel_state& ch = d.ch;
  const int links = ch.num_stream_links;
  if (!ch.structures.struct_elements.empty()) {
    const channel_status st = structure_flows(d, q, h);
    if (st != channel_status::ok) return st;
  }
  for (int l = links; l >= 1; --l) {
    const int type = ch.ltype[l];
    if (!routed(type)) continue;
    const int n = ch.nx[l];
    if (n < 1) continue;
    const double dx = ch.link_dx[l];
    const auto bel = ch.bel.column(l);
    const auto depth = ch.chan_depth.column(l);
    const auto k = ch.conv.column(l);
    auto ql = q.column(l);
    if (l != links) {
      const int ds = ch.dslink[l];
      const int down = ch.ltype[ds];
      const double ws = bel[n] + depth[n];
      if (routed(down)) {
        const double s = (ws - (ch.bel(1, ds) + ch.chan_depth(1, ds))) / ((dx + ch.link_dx[ds]) * 0.5);
        ql[n] = slope_flow(s, k[n], ch.conv(1, ds));
      } else if (lake_or_captured(down)) {
        const double s = (ws - lake_level(d.lakes, ds)) / (2.0 * dx);
        ql[n] = s > 0.0 ? std::sqrt(s) * k[n] : 0.0;
      } else {
        ql[n] = q(1, ds);  // into a structure: what the structure passes
      }
    }
    double ws_below = bel[n] + depth[n];
    for (int i = n - 1; i >= 1; --i) {
      const double ws = bel[i] + depth[i];
      ql[i] = slope_flow((ws - ws_below) / dx, k[i], k[i + 1]);
      ws_below = ws;
    }
  }
  return outlet_flow(ch, q);
}

channel_books chan_node_continuity(channel_state& ch, node_array<double>& areas, const node_array<double>& q,
                                   double h) {
  channel_books b;
  const int links = ch.num_stream_links;
  const bool points = ch.chan_point_sources_on != 0;
  const bool series = !ch.structures.series_flow.empty();
  const bool aquifer = ch.stream_loss != 0;
  for (int l = 1; l <= links; ++l) {
    if (!routed(ch.ltype[l])) continue;
    const int n = ch.nx[l];
    const double dx = ch.link_dx[l];
    const bool fixed_outlet = ch.head_bound && l == links;
    auto a = areas.column(l);
    const auto ql = q.column(l);
    const auto lat = ch.qlat.column(l);
    const std::size_t at = static_cast<std::size_t>(ch.max_nodes_per_link) * l;
    const double* pf = points ? ch.chan_point_flow.data() + at : nullptr;
    const double* sf = series ? ch.structures.series_flow.data() + at : nullptr;
    const double* pipes = ch.chan_pipe_flow.empty() ? nullptr : ch.chan_pipe_flow.data() + at;
    const double* xy = ch.chan_xy_flow.empty() ? nullptr : ch.chan_xy_flow.data() + at;
    // What the point sources moved, node by node, for what rides on the
    // water.
    const bool keep = (pf || sf) && !ch.routing.point_out.empty();
    auto point_in = ch.routing.point_in.column(keep ? l : 0);
    auto point_out = ch.routing.point_out.column(keep ? l : 0);
    for (int i = 1; i <= n; ++i) {
      const double lv = dx * lat[i] * h;
      if (lv >= 0.0)
        b.lateral_in += lv;
      else
        b.lateral_out -= lv;
      const double fq = pf ? pf[i] : 0.0, sq = sf ? sf[i] : 0.0;
      const double pq = fq + sq;
      // The inflows of the file and of the series, and what the sinks ask,
      // over the sub-step: a node may have both.
      const double brought = h * (std::max(fq, 0.0) + std::max(sq, 0.0));
      const double asked = h * (std::max(-fq, 0.0) + std::max(-sq, 0.0));
      if (keep) {
        point_in[i] = h * std::max(fq, 0.0);
        point_out[i] = asked;
      }
      // An outer run's hydrograph enters its node (at the fixed-head outlet
      // it passes on with the rest).
      if (xy) b.xy_stream_in += h * xy[i];
      if (fixed_outlet && i == n) {
        // Its area stays; what reaches it leaves through the outlet, its
        // point flow with it.
        if (pq >= 0.0) b.point_in += h * pq;
        if (pq < 0.0) b.point_out -= h * pq;
        if (aquifer) {
          const double e = h * ch.qriv(i, l) * dx;
          if (e >= 0.0)
            b.aquifer_in += e;
          else
            b.aquifer_out -= e;
        }
        continue;  // so do the pipes' outfalls
      }
      const double held = dx * a[i];
      double v = lv;
      double in = 0.0;
      if (i > 1) {
        in = ql[i - 1];
      } else {
        in = inflow_from_above(ch, q, l);
        if (ch.ndep[l] == 0) b.headwater += h * in;
      }
      v += h * (in - ql[i]);
      if (pipes) v += h * pipes[i];
      if (xy) v += h * xy[i];
      if (pq != 0.0) {
        double s = h * pq;
        if (s < 0.0) {
          // A sink takes at most what the node holds.
          const double can = std::max(held + std::min(v, 0.0), 0.0);
          if (-s > can) {
            s = -can;
            // The sinks took what the inflows brought and what it held.
            if (keep) point_out[i] = std::max(brought - s, 0.0);
          }
          b.point_out -= s;
        } else {
          b.point_in += s;
        }
        v += s;
      }
      if (aquifer) {
        // A losing bed takes at most what the node holds.
        double& r = ch.qriv(i, l);
        const double can = std::max(held + std::min(v, 0.0), 0.0);
        if (r < 0.0 && -(r * h * dx) > can) r = -can / (h * dx);
        const double e = h * r * dx;
        if (e >= 0.0)
          b.aquifer_in += e;
        else
          b.aquifer_out -= e;
        v += e;
      }
      a[i] = (v + held) / dx;
    }
  }
  return b;
}

namespace {

// The water-surface slope below which a node's diffusivity is taken at
// this slope: a surface at rest would otherwise make it unbounded.
constexpr double diffusion_slope_floor = 1e-4;

// What bounds a sub-step at its start: the largest Courant number at
// sub-step h, and the longest sub-steps the diffusive wave and the
// structures keep steady with (seconds; unbounded when no node is wet or
// no structure passes water).
struct step_bounds {
  double courant = 0.0;
  double diffusive = std::numeric_limits<double>::infinity();
  double structures = std::numeric_limits<double>::infinity();
  double stable() const { return std::min(diffusive, structures); }
};

// The water surface of node k of link l, m2: its length times its mean
// width (area over depth, never wider than its top width, so the bound
// errs short); 0 when it is dry.
double surface_of(const channel_state& ch, int k, int l) {
  const double a = ch.area(k, l), y = ch.chan_depth(k, l);
  return a > 1e-16 && y > 0.0 ? a / y * ch.link_dx[l] : 0.0;
}

// A rating's slope is taken over the levels this far on either side of
// the present one, m: a square root of the drop (a submerged barrel) then
// has a finite slope where the two levels meet, and a steep rise just
// above or below the level counts.
constexpr double rating_span = 0.01;

// The longest sub-step over which no structure carries its two sides past
// the levels at which its discharge would balance them: a structure whose
// discharge changes by s_up per metre of headwater and s_down per metre of
// tailwater drains a difference of levels between nodes of water surfaces
// P_up and P_down at the rate s_up / P_up + s_down / P_down, and a
// sub-step of at most its inverse lets the predictor come no further than
// the balance. A lake above a structure, and a dry node, set no bound (a
// structure takes no more than the node holds over the sub-step).
double structure_bound(const channel_domain& d) {
  const channel_state& ch = d.ch;
  const channel_structures& s = ch.structures;
  double bound = std::numeric_limits<double>::infinity();
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!(ch.ltype[l] & link_type::structure)) continue;
    const auto [up, last, down, lake, hw, tw, wet] = sides_of(d, l);
    if (!wet) continue;
    const double surfaces[2] = {lake ? 0.0 : surface_of(ch, last, up),
                                routed(ch.ltype[down]) ? surface_of(ch, 1, down) : 0.0};
    double rate = 0.0;
    for (int side = 0; side < 2; ++side) {
      if (!(surfaces[side] > 0.0)) continue;
      const double head = side == 0 ? rating_span : 0.0, tail = side == 0 ? 0.0 : rating_span;
      double high = 0.0, low = 0.0;
      // A failing culvert reports itself when the routing evaluates it.
      if (structure_sum(s, l, hw + head, tw + tail, d.model_time, high) != structure_status::ok ||
          structure_sum(s, l, hw - head, tw - tail, d.model_time, low) != structure_status::ok)
        continue;
      rate += std::fabs(high - low) / (2.0 * rating_span) / surfaces[side];
    }
    if (rate > 0.0) bound = std::min(bound, 1.0 / rate);
  }
  return bound;
}

// Checks the state at the start of a sub-step and gives its bounds. A
// discharge K sqrt(S) down a water-surface slope S spreads a disturbance
// as a diffusion of D = K / (2 T sqrt(S)) (T the width of the water
// surface); an explicit step of h is stable while h <= dx^2 / (2 D) =
// dx^2 T sqrt(S) / K. S is the node's own, (Q / K)^2, at least
// diffusion_slope_floor; T the node's mean width A / y, never wider than
// its top width, so the bound errs short.
channel_status start_of_sub_step(channel_state& ch, double h, step_bounds& bounds) {
  bounds = step_bounds{};
  const double root_floor = std::sqrt(diffusion_slope_floor);
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!routed(ch.ltype[l])) continue;
    const double dx = ch.link_dx[l];
    const double per_dx = h / dx;
    auto area = ch.area.column(l);
    auto yp = ch.yp.column(l);
    const auto bel = ch.bel.column(l);
    const auto qp = ch.qp.column(l);
    const auto conv = ch.conv.column(l);
    const auto depth = ch.chan_depth.column(l);
    // The last node of a link above a structure gives the structure what
    // its rating asks, never more than the node holds over the sub-step:
    // that discharge cannot empty the node below zero, and over a nearly
    // empty node (a culvert or crest below the bed) it is no speed of the
    // water along the channel. It sets no Courant limit.
    const int n = ch.nx[l];
    const bool feeds_structure = l != ch.num_stream_links && (ch.ltype[ch.dslink[l]] & link_type::structure);
    for (int i = 1; i <= n; ++i) {
      if (std::isnan(area[i])) {
        area[i] = 0.0;
        yp[i] = bel[i];
        std::printf("In ex_flow_route 1:  cross-sectional area is not a number at link %d node %d\n", l, i);
        return fail(channel_status::area_not_a_number);
      }
      if (yp[i] - bel[i] < 0.0) {
        std::printf("in ex_flow_route 2, negative depth at link %d node %d\nprogram stopped.\n", l, i);
        return fail(channel_status::negative_depth);
      }
      if (area[i] <= 1e-16) continue;
      if (!(feeds_structure && i == n)) bounds.courant = std::max(bounds.courant, per_dx * (qp[i] / area[i]));
      if (conv[i] > 0.0 && depth[i] > 0.0) {
        const double root_slope = std::max(std::fabs(qp[i]) / conv[i], root_floor);
        bounds.diffusive = std::min(bounds.diffusive, dx * dx * (area[i] / depth[i]) * root_slope / conv[i]);
      }
    }
  }
  return channel_status::ok;
}

// Areas of the predictor below zero count as empty.
void clear_negative(const channel_state& ch, node_array<double>& areas) {
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!routed(ch.ltype[l])) continue;
    auto a = areas.column(l);
    for (int i = 1; i <= ch.nx[l]; ++i)
      if (a[i] < 0.0) a[i] = 0.0;
  }
}

// The corrector discharge, the mean of predictor and corrector; the largest
// change of area between predictor and corrector; whether an area fell
// below -1e-8.
void average_flows(channel_state& ch, const node_array<double>& qp_last, const node_array<double>& qp_iter) {
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!routed(ch.ltype[l]) && !(ch.ltype[l] & link_type::structure)) continue;
    auto qp = ch.qp.column(l);
    const auto a = qp_last.column(l);
    const auto b = qp_iter.column(l);
    for (int i = 1; i <= ch.nx[l]; ++i) qp[i] = (a[i] + b[i]) * 0.5;
  }
}

bool compare_areas(const channel_state& ch, const node_array<double>& iter, double& change) {
  change = 0.0;
  bool negative = false;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!routed(ch.ltype[l])) continue;
    const auto a = ch.area.column(l);
    const auto p = iter.column(l);
    for (int i = 1; i <= ch.nx[l]; ++i) {
      change = std::max(change, std::fabs(a[i] - p[i]));
      negative = negative || a[i] < -1e-8;
    }
  }
  return negative;
}

// Sets areas just below zero to zero and counts the water that makes.
void clip_areas(channel_state& ch, channel_books& b) {
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (!routed(ch.ltype[l])) continue;
    auto a = ch.area.column(l);
    for (int i = 1; i <= ch.nx[l]; ++i) {
      if (a[i] >= 0.0) continue;
      b.clipped -= a[i] * ch.link_dx[l];
      ++b.clipped_nodes;
      a[i] = 0.0;
    }
  }
}

// What every node exchanged with the aquifer over an accepted sub-step of
// `sub` seconds goes to the cells under it: each grid-stream entry's own
// flux, scaled by what the node's exchange became once a losing bed was
// held to the water the node had.
// Calls f(i, j, volume) for every grid-stream entry of a routed node with
// the volume it exchanged with the aquifer over the sub-step: the entry's
// rate scaled by how the node's flow changed since the step began.
template <class F>
void for_each_exchange_volume(const channel_state& ch, double sub, F&& f) {
  const node_array<double>& start = ch.routing.qriv_start;
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int l = ch.gst_link[i][j], k = ch.gst_node[i][j];
      if (!routed(ch.ltype[l]) || k > ch.nx[l]) continue;
      const double before = start(k, l);
      if (std::fabs(before) < 1e-16) continue;
      const double q = ch.gst_qriv[i][j] * (ch.qriv(k, l) / before);
      f(i, j, ch.link_dx[l] * q * sub * ch.gst_pct[i][j]);
    }
}

void exchange_to_cells(const channel_domain& d, double sub) {
  const channel_state& ch = d.ch;
  for_each_exchange_volume(ch, sub, [&](int i, int j, double v) { d.cell_exchange[ch.gst_gnum[i][j]] += v; });
}

// The exchange with the cells runs every sub-step from the water surfaces
// the sub-step starts with. The lateral inflow the step brought from
// elsewhere (a lumped model's baseflow) is kept apart, and every entry
// sums what it exchanged over the step.
bool start_cell_exchange(const lateral_domain& x) {
  channel_state& ch = x.ch;
  channel_scheme& s = ch.routing;
  if (!prepare_lateral_exchange(x)) return false;
  copy_routed(ch, ch.qlat, s.qlat_other);
  s.entry_volume.fill(0.0);
  return true;
}

// The depths of the stream cells at the start of a sub-step, given back
// when the sub-step is tried again.
void keep_cell_depths(const channel_domain& d) {
  channel_state& ch = d.ch;
  double* kept = ch.routing.cell_depth_start.data();
  const double* depth = d.overland.ov_depth.data();
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    if (ch.gst_ncellsingrid[i] >= 1) kept[i] = depth[ch.gst_gnum[i][1]];
}

void restore_cell_depths(const channel_domain& d) {
  const channel_state& ch = d.ch;
  const double* kept = ch.routing.cell_depth_start.data();
  double* depth = d.overland.ov_depth.data();
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    if (ch.gst_ncellsingrid[i] >= 1) depth[ch.gst_gnum[i][1]] = kept[i];
}

// An accepted sub-step of `sub` seconds: each entry's volume joins the
// step's, and the volumes the constituents carry.
void take_cell_exchange(channel_state& ch, double sub, const lateral_result& x, lateral_result& step) {
  channel_scheme& s = ch.routing;
  const bool carried = !ch.gst_Vlat.empty();
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const double v = ch.gst_qlat[i][j] * sub;
      if (v == 0.0) continue;
      s.entry_volume[i][j] += v;
      if (carried) ch.gst_Vlat[i][j] += v;
    }
  step.to_channel += x.to_channel;
  step.from_channel += x.from_channel;
  step.boundary_inflow += x.boundary_inflow;
  step.boundary_spill += x.boundary_spill;
}

// After the step: every entry's exchange and every node's lateral inflow at
// their means over the step's dt seconds, which the channel sediment reads.
void end_cell_exchange(channel_state& ch, double dt) {
  const channel_scheme& s = ch.routing;
  copy_routed(ch, s.qlat_other, ch.qlat);
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const double v = s.entry_volume[i][j];
      ch.gst_qlat[i][j] = v / dt;
      if (v == 0.0) continue;
      const int l = ch.gst_link[i][j];
      ch.qlat(ch.gst_node[i][j], l) += v / (dt * ch.link_dx[l]);
    }
}

// What the point sources of an accepted sub-step moved at every routed
// node (the last volume balance's), for the constituents and the wash load.
void point_volumes(const channel_domain& d) {
  channel_state& ch = d.ch;
  const channel_scheme& s = ch.routing;
  chan_point_volumes* kept[] = {d.constituents ? &ch.point_vol_wq : nullptr,
                                d.sediments ? &ch.point_vol_sed : nullptr};
  const bool points = ch.chan_point_sources_on != 0 || !ch.structures.series_flow.empty();
  if (!points || s.point_out.empty()) return;
  for (chan_point_volumes* p : kept) {
    if (!p || !p->on()) continue;
    for (int l = 1; l <= ch.num_stream_links; ++l) {
      if (!routed(ch.ltype[l])) continue;
      const int at = ch.max_nodes_per_link * l;
      for (int i = 1; i <= ch.nx[l]; ++i) {
        if (!p->in.empty()) p->in[at + i] += s.point_in(i, l);
        p->out[at + i] += s.point_out(i, l);
      }
    }
  }
}

// What the constituents carry with the water of an accepted sub-step with
// stream loss: the exchange of every grid-stream entry with the aquifer.
void constituent_volumes(const channel_domain& d, double sub) {
  channel_state& ch = d.ch;
  if (!ch.stream_loss || ch.gst_qriv_vol.empty()) return;
  for_each_exchange_volume(ch, sub, [&](int i, int j, double v) { ch.gst_qriv_vol[i][j] += v; });
}

}  // namespace

namespace {

channel_status sections_from(channel_state& ch, node_array<double>& areas) {
  return ex_section(ch, areas) ? channel_status::ok : channel_status::section_failed;
}

channel_status flows_into(const channel_domain& d, node_array<double>& q, double h) {
  const channel_status s = chan_node_flows(d, q, h);
  return s == channel_status::ok ? s : fail(s);
}

// One predictor-corrector pass over a sub-step of `sub` seconds from the
// state saved at its start: predictor flows from the present state, the
// areas they leave, corrector flows from those, and the areas that the mean
// of the two leaves. `change` is the largest difference of predicted and
// corrected area; `negative` tells whether an area fell below -1e-8.
channel_status predictor_corrector(const channel_domain& d, double sub, bool first, channel_books& pass,
                                   double& change, bool& negative) {
  channel_state& ch = d.ch;
  channel_scheme& s = ch.routing;
  channel_status st = channel_status::ok;
  if (!first && (st = sections_from(ch, ch.area)) != channel_status::ok) return st;
  if ((st = flows_into(d, s.qp_last, sub)) != channel_status::ok) return st;
  copy_routed(ch, s.area_start, ch.area);
  copy_routed(ch, s.area_start, s.area_iter);
  if (ch.stream_loss) copy_routed(ch, s.qriv_start, ch.qriv);
  if ((st = sections_from(ch, s.area_iter)) != channel_status::ok) return st;
  chan_node_continuity(ch, s.area_iter, s.qp_last, sub);
  clear_negative(ch, s.area_iter);
  if ((st = sections_from(ch, s.area_iter)) != channel_status::ok) return st;
  if ((st = flows_into(d, s.qp_iter, sub)) != channel_status::ok) return st;
  average_flows(ch, s.qp_last, s.qp_iter);
  if (ch.stream_loss) copy_routed(ch, s.qriv_start, ch.qriv);
  pass = chan_node_continuity(ch, ch.area, ch.qp, sub);
  negative = compare_areas(ch, s.area_iter, change);
  return channel_status::ok;
}

void add_pass(channel_books& b, const channel_books& pass) {
  b.lateral_in += pass.lateral_in;
  b.lateral_out += pass.lateral_out;
  b.headwater += pass.headwater;
  b.xy_stream_in += pass.xy_stream_in;
  b.point_in += pass.point_in;
  b.point_out += pass.point_out;
  b.aquifer_in += pass.aquifer_in;
  b.aquifer_out += pass.aquifer_out;
}

}  // namespace

channel_result ex_flow_route(const channel_domain& d, double dt) {
  channel_result r;
  channel_state& ch = d.ch;
  channel_scheme& s = ch.routing;
  ++s.calls;
  if (ch.overbank_flow || ch.overbank_exchange) s.overbank = true;
  const int passes = (s.overbank || d.sediments || d.constituents || d.lakes.chan_lakes) ? 2 : 1;
  if (d.lakes.chan_lakes) {
    // Lakes take the nodes under them and give back those they left.
    const channel_status st = lake_capture_and_release(ch, d.lakes, dt, r.books);
    if (st == channel_status::section_failed) {
      r.status = st;  // the section printed and reported its fault
      return r;
    }
    if (st != channel_status::ok) {
      r.status = fail(st);
      return r;
    }
  }
  if (dt <= 1e-16) return r;
  const bool cells = d.lateral && ch.gst_num_cells > 0;
  const bool structures = !ch.structures.struct_elements.empty();
  const lateral_domain x{ch, d.overland, d.grid, d.lakes, d.overland_backwater};
  if (cells && !start_cell_exchange(x)) {
    r.status = channel_status::section_failed;  // the section printed and reported its fault
    return r;
  }
  const int outlet = ch.num_stream_links;
  const double limit = ch.max_courant_number;
  double remaining = dt, h = dt;

  while (remaining > 1e-16) {
    step_bounds bounds;
    if ((r.status = start_of_sub_step(ch, h, bounds)) != channel_status::ok) return r;
    if (structures) bounds.structures = structure_bound(d);
    // The sub-step is cut once, by the tightest of the bounds: the Courant
    // number's (from its limit up), the diffusive wave's and the
    // structures'.
    if (bounds.courant >= limit || h > bounds.stable()) {
      h /= std::floor(std::max(bounds.courant / limit, h / bounds.stable()) + 1.0);
      if (h < 0.001) h = 0.0015;
    }
    if (ch.stream_loss) {
      // The exchange with the ground from the water the sub-step starts with.
      r.exchange = chan_gw_exchange(ch, d.aquifer);
      if (r.exchange == stream_exchange::failed) {
        r.status = fail(channel_status::exchange_failed);
        return r;
      }
    }
    copy_routed(ch, ch.area, s.area_start);
    copy_routed(ch, ch.qp, s.qp_start);
    if (ch.stream_loss) copy_routed(ch, ch.qriv, s.qriv_start);
    if (s.sub_steps == 0) {
      copy_routed(ch, ch.qp, s.qp_last);
      copy_routed(ch, ch.qp, s.qp_iter);
    }
    ++s.sub_steps;

    for (;;) {
      if (h < 0.001) {
        std::printf("The channel routing time step is getting really small\n"
                    "less than 1/1000 of a second\n"
                    "Reduce the model time step and/or MAX_COURANT_NUMBER (default=0.04) \n"
                    "Program stopped.\n");
        r.status = fail(channel_status::sub_step_too_small);
        return r;
      }
      double sub = std::min(h, remaining);
      remaining -= sub;
      if (remaining <= 0.001) {
        sub += remaining;
        remaining = 0.0;
      }
      lateral_result exchanged;
      if (cells) {
        keep_cell_depths(d);
        copy_routed(ch, s.qlat_other, ch.qlat);
        exchanged = lateral_exchange(x, sub);
        if (!exchanged.ok) {
          r.status = channel_status::section_failed;  // the section printed and reported its fault
          return r;
        }
      }
      channel_books pass;
      bool negative = false;
      for (int it = 1; it <= passes; ++it) {
        double change = 0.0;
        if ((r.status = predictor_corrector(d, sub, it == 1, pass, change, negative)) != channel_status::ok)
          return r;
        if (negative || change <= 0.01) break;
      }
      if (negative) {
        // Too long a sub-step: back to its start, half as long.
        remaining += sub;
        h *= 0.5;
        copy_routed(ch, s.area_start, ch.area);
        copy_routed(ch, s.qp_start, ch.qp);
        copy_routed(ch, s.qp_start, s.qp_last);
        copy_routed(ch, ch.qp, s.qp_iter);
        if (ch.stream_loss) copy_routed(ch, s.qriv_start, ch.qriv);
        if (cells) restore_cell_depths(d);
        if ((r.status = sections_from(ch, ch.area)) != channel_status::ok) return r;
        continue;
      }

      // The sub-step stands.
      channel_books& b = r.books;
      add_pass(b, pass);
      ++b.sub_steps;
      clip_areas(ch, b);
      if ((r.status = sections_from(ch, ch.area)) != channel_status::ok) return r;
      if (ch.stream_loss && d.cell_exchange) exchange_to_cells(d, sub);
      if (d.lakes.chan_lakes) lake_accounts(d, sub, b);
      if (cells) take_cell_exchange(ch, sub, exchanged, r.cells);
      for (int l = 1; l <= ch.num_stream_links && (d.constituents || d.sediments); ++l) {
        if (!routed(ch.ltype[l])) continue;
        for (int i = 1; i <= ch.nx[l]; ++i) {
          if (d.constituents) ch.qp_vol(i, l) += sub * ch.qp(i, l);
          if (d.sediments) ch.qp_vol_sed(i, l) += sub * ch.qp(i, l);
        }
      }
      if (d.constituents) constituent_volumes(d, sub);
      point_volumes(d);
      b.outlet += sub * ch.qp(ch.nx[outlet], outlet);
      for (int k = 1; k <= d.locations; ++k)
        d.location_volume[k] += sub * ch.qp(d.location_node[k], d.location_link[k]);
      break;
    }
  }
  if (cells) end_cell_exchange(ch, dt);
  return r;
}

}  // namespace nivra
