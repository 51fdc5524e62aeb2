#include "channel/xsec_update.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "channel/xsec_tables.h"
#include "core/errors.h"

namespace nivra {

namespace {

bool fatal() {
  set_error(own_message_code);
  report_error();
  return false;
}

// The new section of one node; false after a fatal message.
bool update_node(channel_state& ch, int link, int k, double volume, bool adjust_bed, std::vector<double>& x,
                 std::vector<double>& z0, std::vector<double>& z) {
  const int e = ch.bplink[link];
  const int t = ch.table_num(k, link);
  const int n = ch.numpairs[t];
  x.assign(static_cast<std::size_t>(n), 0.0);
  z0.assign(static_cast<std::size_t>(n), 0.0);
  for (int i = 0; i < n; ++i) {
    x[static_cast<std::size_t>(i)] = ch.xbp_lnn(e, k, i + 1);
    z0[static_cast<std::size_t>(i)] = ch.ybp_lnn(e, k, i + 1);
  }
  const double bed = ch.bel(k, link);
  const double deepest = ch.max_yp[e][k] - bed;
  if (deepest < 0.0) {
    std::printf("In ex_section.c - 3\n");
    std::printf("program stopped for negative depth, node %d, link %d\n", k, link);
    return fatal();
  }
  const double zmin = *std::min_element(z0.begin(), z0.end());
  const double dx = ch.link_dx[link];
  const int level = std::min(static_cast<int>(deepest / ch.ht_spc[t]) + 1, ch.numhts[t]);
  const double width = ch.xtw(level, t);
  double v = volume;
  double dz = width > 0.0 ? v / (width * dx) : 0.0;
  if (std::fabs(dz) > deepest) {
    std::printf("In xsec_update.c - 3\n");
    std::printf("It is impossible that change of stream bed elevation is greater than maximum channel depth\n");
    std::printf("Setting the change in stream bed elevation equal to the depth of the channel\n");
    dz = dz < 0.0 ? -deepest : deepest;
    v = width * dx * dz;
  }
  if (std::fabs(v) <= 1e-16 || deepest <= 0.0) return true;
  // The points under the water of the level: those the change reaches.
  const double h = level * ch.ht_spc[t] + zmin;
  if (section_at_level(x.data(), z0.data(), n, h).stretches >= max_wet_stretches) {
    print_jagged_section(link);
    return fatal();
  }
  std::vector<double> weight(static_cast<std::size_t>(n), 0.0);
  for (std::size_t i = 0; i < z0.size(); ++i) {
    if (z0[i] > h) continue;
    double w = std::min((z0[i] - zmin) / deepest, 1.0);
    if (v < 0.0) w = std::sqrt(w);
    weight[i] = 1.0 - w;
  }
  z = z0;
  for (int pass = 1;; ++pass) {
    if (pass > 500) {
      std::printf("In xsec_update- \n");
      std::printf("program stopped for difficulty in convergence, node %d, link %d\n", k, link);
      return fatal();
    }
    for (std::size_t i = 0; i < z.size(); ++i) z[i] -= weight[i] * dz;
    double moved = 0.0, wetted = 0.0;
    for (std::size_t i = 1; i < z.size(); ++i) {
      const double run = x[i] - x[i - 1];
      moved += ((z0[i - 1] - z[i - 1]) + (z0[i] - z[i])) * run * 0.5 * dx;
      if (weight[i - 1] > 0.0 || weight[i] > 0.0) wetted += std::hypot(run, z[i] - z[i - 1]) * dx;
    }
    if (std::fabs(moved - v) / std::fabs(v) <= 1e-5 || wetted <= 0.0) break;
    dz = (v - moved) / wetted;
  }
  double& b = ch.bel(k, link);
  b += *std::min_element(z.begin(), z.end()) - zmin;
  if (ch.min_bel(k, link) > b) b = ch.min_bel(k, link);
  if (!adjust_bed) return true;
  for (int i = 0; i < n; ++i) ch.ybp_lnn(e, k, i + 1) = z[static_cast<std::size_t>(i)];
  return interpolate_xsec(ch, link, k, t, x.data(), z.data(), n, ch.numhts[t]) || fatal();
}

}  // namespace

bool xsec_update(channel_state& ch, const node_array<double>& sand, double porosity, bool adjust_bed) {
  // The lowest bed erosion may reach, fixed by the run's first update.
  if (ch.min_bel.empty()) {
    ch.min_bel.alloc(ch.max_nodes_per_link, ch.link_array_size);
    for (int l = 1; l <= ch.num_stream_links; ++l)
      for (int k = 1; k <= ch.nx[l]; ++k) ch.min_bel(k, l) = ch.bel(k, l) - ch.max_eros(k, l);
  }
  std::vector<double> x, z0, z;
  for (int l = 1; l <= ch.num_stream_links; ++l) {
    const int type = ch.ltype[l];
    if (!(type & link_type::breakpoint) || !(type & link_type::erodible)) continue;
    const int e = ch.bplink[l];
    for (int k = 1; k <= ch.nx[l]; ++k) {
      const double v = (ch.ch_sand_vol0[e][k] - sand(k, l)) / (1.0 - porosity);
      if (std::fabs(v) <= 1e-16) continue;
      if (v > 1e-16 && ch.bel(k, l) <= ch.min_bel(k, l)) continue;
      if (!update_node(ch, l, k, v, adjust_bed, x, z0, z)) return false;
    }
  }
  return true;
}

}  // namespace nivra
