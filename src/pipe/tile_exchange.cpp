#include "pipe/tile_exchange.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace nivra {

namespace {

constexpr double pi = std::numbers::pi;

// The two computational nodes and the pipe of grid-pipe entry (input pipe
// n of superlink l).
struct tile_segment {
  int a = 0, b = 0, pipe = 0;
};

tile_segment segment_of(const pipe_state& p, int n, int l) {
  if (!p.superlink_c_opt) return tile_segment{n, n + 1, n};
  return tile_segment{p.otc_node(n, l), p.otc_node(n + 1, l), p.otc_pipe(n, l)};
}

// Elevation of the drain's invert in cell c's terms (the ground of c less
// the mean depth of the drain's invert below its nodes' ground).
double drain_level(const tile_domain& d, const tile_segment& s, int l) {
  const pipe_state& p = d.p;
  const double za = d.elevation[p.superlink_node_gnum(s.a, l)] - p.slink_node_Zinv(s.a, l);
  const double zb = d.elevation[p.superlink_node_gnum(s.b, l)] - p.slink_node_Zinv(s.b, l);
  return 0.5 * (za + zb);
}

}  // namespace

double hooghoudt_equivalent_depth(double d, double spacing, double radius) {
  const double ds = d / spacing;
  if (ds < 0.3) {
    const double alpha = 3.55 - 1.6 * ds + 2.0 * ds * ds;
    return d / (((8.0 / pi) * std::log(d / radius) - alpha) * ds + 1.0);
  }
  return pi * spacing / (8.0 * (std::log(spacing / radius) - 1.15));
}

double hooghoudt_rate(double k, double de, double m, double spacing) {
  return (8.0 * k * de * m + 4.0 * k * m * m) / (spacing * spacing);
}

double kirkham_flow(double k, double d, double m, double spacing, double diameter) {
  const double s = 0.5 * spacing;
  const double x = 2.0 * pi * d / s;
  double f = std::log(s / (pi * diameter / 2.0));
  for (int i : {2, 6, 10}) f += 4.0 * std::exp(-i * x) / (1.0 - std::exp(-i * x));
  const double g = (pi * s / 8.0) / f;
  return (2.0 * m * g + m * m) * 2.0 * k / s;
}

tile_result gw_tile_exchange(const tile_domain& d) {
  tile_result r;
  pipe_state& p = d.p;
  // Head of the water table over the water in the drain of one entry.
  auto head = [&](int i, int k, tile_segment& s, double& level) {
    const int l = p.gpi_link[i][k], c = p.gpi_gnum[i][k];
    s = segment_of(p, p.gpi_node[i][k], l);
    level = drain_level(d, s, l);
    const double water = 0.5 * (p.slink_node_depth(s.a, l) + p.slink_node_depth(s.b, l)) + d.elevation[c] - level;
    return d.elevgw[c] - water;
  };
  bool any = false;
  for (int i = 1; i <= p.gpi_num_cells && !any; ++i)
    for (int k = 1; k <= p.gpi_ncellsingrid[i] && !any; ++k) {
      tile_segment s;
      double level = 0.0;
      any = head(i, k, s, level) > 0.0;
    }
  if (!any) return r;
  r.status = tile_status::flowing;
  for (int i = 1; i <= p.gpi_num_cells; ++i) {
    for (int k = 1; k <= p.gpi_ncellsingrid[i]; ++k) {
      const int l = p.gpi_link[i][k], n = p.gpi_node[i][k], c = p.gpi_gnum[i][k];
      if (tile_link_closed(p, l)) continue;
      tile_segment s;
      double level = 0.0;
      const double m = head(i, k, s, level);
      const double cond = p.superlink_pipe_conductivity(s.pipe, l) / 100.0;  // m/h
      const double spacing = p.drain_spacing(s.pipe, l);
      if (m <= 1e-16 || cond < 1e-16 || spacing < 1e-16) continue;
      const double depth = d.elevation[c] - level - d.bottom_elev[c];
      if (depth < 0.0) {
        std::printf("\n Node elevation must be above bottom of groundwater media: Link %d Node %d Comp Node %d", l, n,
                    s.a);
        r.status = tile_status::drain_below_aquifer;
        return r;
      }
      const double dia = p.diameter(s.pipe, l);
      const double per_metre =
          p.superlink_drainmod
              ? hooghoudt_rate(cond, hooghoudt_equivalent_depth(depth, spacing, 0.5 * dia), m, spacing) * spacing
              : kirkham_flow(cond, depth, m, spacing, dia);
      const double q = per_metre / 3600.0 * p.gpi_pct[i][k] * p.dx(n, l);
      if (std::isnan(q)) {
        std::printf("\n NaN error in groundwater tile exchange: Link %d Node %d Comp Node %d", l, n, s.a);
        r.status = tile_status::not_finite;
        return r;
      }
      if (d.gw_tile_flux_cell) d.gw_tile_flux_cell[c] += q;
      p.superlink_tile_flow(n, l) += q;
      r.total += q;
    }
  }
  return r;
}

}  // namespace nivra
