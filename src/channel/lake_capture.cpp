#include "channel/lake_capture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_sections.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

inline bool lake_or_structure(int t) { return (t & (link_type::lake | link_type::structure)) != 0; }
inline bool captured_link(int t) { return (t & link_type::channel) && (t & link_type::captured); }

// The flooded share of every node of the channel links: the shares of its
// grid-stream entries whose cells lie under a channel lake.
void flooded_shares(channel_state& ch, const lake_state& lakes) {
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    if (lake_or_structure(ch.ltype[l])) continue;
    for (int k = 1; k <= ch.og_nx1[l]; ++k) ch.pct_flooded(k, l) = 0.0;
  }
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      const int l = ch.gst_link[i][j], k = ch.gst_node[i][j], c = ch.gst_gnum[i][j];
      if (lake_or_structure(ch.ltype[l]) || !lake_cell(lakes.lake_mask[c])) continue;
      ch.pct_flooded(k, l) += ch.gst_pct[i][j];
      if (ch.pct_flooded(k, l) > 1.001)
        std::printf("Problem with the stream capturing routine, verify channel setup [%d][%d]:%.10lf\n", l, k,
                    ch.pct_flooded(k, l));
    }
}

// The lake below the last node of link l: the lake link it flows into, the
// lake of a link taken whole, or the lake holding node 1 of the link below.
int lake_below(const channel_state& ch, const lake_state& lakes, int l) {
  const int ds = ch.dslink[l];
  if (ds < 1) return 0;
  const int t = ch.ltype[ds];
  if ((t & link_type::lake) || captured_link(t)) return lakes.lake2link[ds];
  return ch.status_node(1, ds) == 1 ? ch.capture_lake[ds] : 0;
}

void capture(channel_state& ch, lake_state& lakes, double dt, channel_books& b) {
  for (int l = ch.num_stream_links - 1; l >= 1; --l) {
    const int t = ch.ltype[l];
    if (lake_or_structure(t) || captured_link(t)) continue;
    while (ch.nx[l] >= 1) {
      const int k = ch.nx[l];
      const double share = ch.pct_flooded(k, l);
      if (!(share > 0.999 && share < 1.001) || ch.status_node(k, l) != 0) break;
      const int lake = k < ch.og_nx1[l] ? ch.capture_lake[l] : lake_below(ch, lakes, l);
      if (lake < 1) break;
      // The node's water, and what its cells gave it for this step.
      const double lateral = ch.qlat(k, l) * ch.link_dx[l] * dt;
      if (lateral >= 0.0)
        b.lateral_in += lateral;
      else
        b.lateral_out -= lateral;
      ch.qlat(k, l) = 0.0;
      const double v = ch.area(k, l) * ch.link_dx[l] + lateral;
      lakes.lake_volume[lake] += v;
      b.lake_in += v;
      ch.area(k, l) = ch.qp(k, l) = ch.yp(k, l) = ch.chan_depth(k, l) = 0.0;
      ch.status_node(k, l) = 1;
      ch.capture_lake[l] = lake;
      --ch.nx[l];
      std::printf("node taken: [%d][%d] lake_elev: %7.2lf, dslink:%d nx: %d\n", l, k, lakes.lake_elev[lake],
                  ch.dslink[l], ch.nx[l]);
      if (ch.nx[l] == 0) {
        std::printf("***NIVRA  has overtaken link: %d***\n", l);
        ch.ltype[l] |= link_type::captured;
        lakes.lake2link[l] = lake;
      }
    }
  }
}

// The depth a node comes back with.
double release_depth(const channel_state& ch, const lake_state& lakes, int l, int k, int lake) {
  const double bed = ch.bel(k, l);
  double y = lakes.lake_elev[lake] - bed;
  if (y >= 0.0) return y;
  y = 0.0;
  if (k == 1) {
    const int n = ch.ndep[l];
    if (n > 0) {
      double sum = 0.0;
      for (int u = 1; u <= n; ++u) {
        const int up = ch.uslinks(l, u);
        sum += ch.yp(ch.nx[up], up);
      }
      y = 0.5 * (sum / n - bed);
    }
  } else if (ch.chan_depth(k - 1, l) > 1e-16) {
    y = 0.5 * (ch.yp(k - 1, l) - bed);
  }
  return y < 0.0 ? 0.0 : y;
}

channel_status release(channel_state& ch, lake_state& lakes, channel_books& b) {
  for (int l = 1; l <= ch.num_stream_links - 1; ++l) {
    const int t = ch.ltype[l];
    if (lake_or_structure(t)) continue;
    if (captured_link(t) && ch.pct_flooded(1, l) > 1e-16) continue;
    for (int k = ch.nx[l] + 1; k <= ch.og_nx1[l]; ++k) {
      if (ch.status_node(k, l) != 1 || ch.pct_flooded(k, l) != 0.0) break;
      if (k > 1 && ch.status_node(k - 1, l) != 0) break;
      const int lake = ch.capture_lake[l];
      const double y = lake >= 1 ? release_depth(ch, lakes, l, k, lake) : 0.0;
      if (std::isnan(y)) {
        std::printf("In ex_flow_route A:  Channel depth is not a number at link %d node %d\n", l, k);
        return channel_status::area_not_a_number;
      }
      ch.status_node(k, l) = 0;
      ch.nx[l] = k;
      if (k == 1 && captured_link(ch.ltype[l])) {
        ch.ltype[l] &= ~link_type::captured;
        lakes.lake2link[l] = 0;
      }
      ch.chan_depth(k, l) = y;
      ch.yp(k, l) = ch.bel(k, l) + y;
      ch.qp(k, l) = 0.0;
      if (!node_section_from_depth(ch, l, k)) return channel_status::section_failed;
      const double v = ch.area(k, l) * ch.link_dx[l];
      if (lake >= 1) {
        lakes.lake_volume[lake] -= v;
        b.lake_out += v;
      }
      std::printf("node released:[%d][%d], elev:%.1lf, depth:%.3lf, lakeelev:%.1lf, dslink:%d,nx: %d, nx1_og: %d\n",
                  l, k, ch.bel(k, l), y, lake >= 1 ? lakes.lake_elev[lake] : 0.0, ch.dslink[l], ch.nx[l],
                  ch.og_nx1[l]);
      if (ch.nx[l] == ch.og_nx1[l]) ch.capture_lake[l] = 0;
    }
  }
  return channel_status::ok;
}

// What the pipes, the XY stream points and the point sources give a taken
// node over the call goes to the lake that holds it (a sink draws from the
// lake, at most what it holds); the routing passes over taken nodes.
void feed_lakes_at_taken_nodes(channel_state& ch, lake_state& lakes, double dt, channel_books& b) {
  const int rows = ch.max_nodes_per_link;
  const bool pipes = !ch.chan_pipe_flow.empty();
  const bool xy = !ch.chan_xy_flow.empty();
  const bool series = !ch.structures.series_flow.empty();
  const bool points = ch.chan_point_sources_on != 0 && !ch.chan_point_flow.empty();
  if (!pipes && !xy && !series && !points) return;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int t = ch.ltype[l];
    if (lake_or_structure(t)) continue;
    const int lake = captured_link(t) ? lakes.lake2link[l] : ch.capture_lake[l];
    if (lake < 1 || lake > lakes.lake_volume.size()) continue;
    for (int k = captured_link(t) ? 1 : ch.nx[l] + 1; k <= ch.og_nx1[l]; ++k) {
      const int at = rows * l + k;
      if (pipes) {
        const double v = ch.chan_pipe_flow[at] * dt;
        lakes.lake_volume[lake] += v;
        b.lake_in += v;
        ch.chan_pipe_flow[at] = 0.0;
      }
      if (xy) {
        const double v = ch.chan_xy_flow[at] * dt;
        lakes.lake_volume[lake] += v;
        b.xy_stream_in += v;
        b.lake_in += v;
      }
      const double fq = points ? ch.chan_point_flow[at] : 0.0, sq = series ? ch.structures.series_flow[at] : 0.0;
      double v = (fq + sq) * dt;
      // What the sinks took: what they asked, or, cut to what the lake
      // holds, that and what the inflows brought.
      double taken = dt * (std::max(-fq, 0.0) + std::max(-sq, 0.0));
      if (v < 0.0 && -v > std::max(lakes.lake_volume[lake], 0.0)) {
        v = -std::max(lakes.lake_volume[lake], 0.0);
        taken = std::max(dt * (std::max(fq, 0.0) + std::max(sq, 0.0)) - v, 0.0);
      }
      lakes.lake_volume[lake] += v;
      // The file's inflow brings its concentrations into the lake (kept at
      // the node's address); the sinks take the lake's water.
      for (chan_point_volumes* p : {&ch.point_vol_wq, &ch.point_vol_sed}) {
        if (!p->on()) continue;
        if (!p->in.empty() && at <= p->in.size()) p->in[at] += dt * std::max(fq, 0.0);
        if (lake <= p->lake_out.size()) p->lake_out[lake] += taken;
      }
      if (v >= 0.0) {
        b.point_in += v;
        b.lake_in += v;
      } else {
        b.point_out -= v;
        b.lake_out -= v;
      }
    }
  }
}

}  // namespace

void size_lake_capture(channel_state& ch) {
  ch.status_node.alloc(ch.max_nodes_per_link, ch.link_array_size);
  ch.pct_flooded.alloc(ch.max_nodes_per_link, ch.link_array_size);
  ch.capture_lake.alloc(ch.link_array_size);
}

channel_status lake_capture_and_release(channel_state& ch, lake_state& lakes, double dt, channel_books& b) {
  if (ch.status_node.empty() || lakes.lake_mask.empty()) return channel_status::ok;
  flooded_shares(ch, lakes);
  capture(ch, lakes, dt, b);
  const channel_status st = release(ch, lakes, b);
  if (st == channel_status::ok) feed_lakes_at_taken_nodes(ch, lakes, dt, b);
  return st;
}

}  // namespace nivra
