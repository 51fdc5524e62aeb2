#include "pipe/superlink_solver.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/numerics.h"
#include "core/thread_pool.h"
#include "pipe/pipe_geometry.h"
#include "pipe/tile_exchange.h"
#include "surface/blockage.h"

namespace nivra {

namespace {

constexpr double slot_share = 0.01;          // top width of a full pipe over its diameter
constexpr double least_internal_step = 1.0;  // s
constexpr int most_limit_passes = 100;
// An internal step is passed again while a pipe's section at the end of the
// step differs from the one its coefficients took by more than this share
// of the full section, at most this many passes in all.
constexpr double section_tolerance = 0.003;
constexpr int most_section_passes = 8;

// Adds the seconds since `start` to `total` and restarts the clock.
class part_clock {
 public:
  void lap(double& total) {
    const auto now = std::chrono::steady_clock::now();
    total += std::chrono::duration<double>(now - start_).count();
    start_ = now;
  }
  void restart() { start_ = std::chrono::steady_clock::now(); }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The passes of a step over superlinks or superjunctions, split among the
// run's threads: one contiguous part per thread, each of at least
// least_part_items items, so that a small network runs on the calling
// thread alone. A pass writes only what belongs to its own items; whatever
// is gathered from them is gathered in item order afterwards, so the
// results are the same bits on any number of threads.
constexpr int least_part_items = 256;

struct passes {
  thread_pool* crew = nullptr;
  template <class Body>
  void over(int n, Body&& body) const {
    const int most = n / least_part_items;
    if (!crew || most < 2 || crew->size() < 2) {
      body(1, n);
      return;
    }
    for_parts(*crew, n, std::min(crew->size(), most), [&](int first, int last, int) { body(first, last); });
  }
};

// Water in a length of section: flow area (m2) and top width (m), or a
// control volume's water (m3) and its change with depth (m2).
struct wet {
  double area = 0.0, top = 0.0;
};

// Pipe k of superlink l at depth y; above the crown a narrow slot keeps the
// water's level free.
wet pipe_wet(const pipe_state& p, int k, int l, double y) {
  wet w;
  if (y <= 0.0) return w;
  const int type = p.sec_type(k, l);
  const double d = p.diameter(k, l), b = p.width(k, l);
  if (y >= d) {
    w.top = slot_share * d;
    w.area = p.solver.full_area(k, l) + w.top * (y - d);
    return w;
  }
  const pipe_section_props g = pipe_section_geometry(d, y, b, type);
  w.area = std::max(g.area, 0.0);
  w.top = std::max(g.top_width, 0.0);
  return w;
}

// Interior node k of superlink l at depth y: the halves of its two pipes
// and its own surface area.
wet node_wet(const pipe_state& p, int k, int l, double y) {
  // The pipes of one pipe cut into computational ones share their section.
  const bool same = p.sec_type(k - 1, l) == p.sec_type(k, l) && p.diameter(k - 1, l) == p.diameter(k, l) &&
                    p.width(k - 1, l) == p.width(k, l);
  const wet down = pipe_wet(p, k, l, y), up = same ? down : pipe_wet(p, k - 1, l, y);
  const double a = 0.5 * p.dxc(k - 1, l), b = 0.5 * p.dxc(k, l), s = p.As(k, l);
  return wet{a * up.area + b * down.area + s * y, a * up.top + b * down.top + s};
}

// Superjunction j at depth y above its bottom: its own area and the halves
// of the end pipes opening into it.
wet junction_wet(const pipe_state& p, int j, double y) {
  const superlink_scheme& s = p.solver;
  const double head = p.junc_invert_elev[j] + y;
  wet w{p.junc_area[j] * y, p.junc_area[j]};
  for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
    const int l = std::abs(s.junc_links[e]);
    const bool leaving = s.junc_links[e] > 0;
    const int k = leaving ? 1 : p.superlink_cnodes[l];
    const double z = leaving ? p.slink_us_invert[l] : p.slink_ds_invert[l];
    const wet pw = pipe_wet(p, k, l, head - z);
    const double half = 0.5 * p.dxc(k, l);
    w.area += half * pw.area;
    w.top += half * pw.top;
  }
  return w;
}

// The depth from `lo` up at which a control volume holds `target` (its
// water f(y).area rising with y, f(lo).area <= target): Newton's steps
// inside a shrinking bracket, halving it where a step leaves it. With the
// depth, the control volume's water and width there when the search
// evaluated them at that very depth (`known`).
struct held_depth {
  double y = 0.0;
  wet at;
  bool known = false;
};

template <class F>
held_depth depth_holding(const F& f, double target, double guess, double lo) {
  double hi = std::max(guess, lo);
  double widen = std::max(hi - lo, 1e-3);
  wet at_hi = f(hi);
  for (int n = 0; n < 200 && at_hi.area < target; ++n) {
    lo = hi;
    hi += widen;
    widen *= 2.0;
    at_hi = f(hi);
  }
  const double tol = 1e-13 * std::max(std::fabs(target), 1e-3);
  double y = std::clamp(guess, lo, hi);
  for (int it = 0; it < 200; ++it) {
    const wet v = it == 0 && y == hi ? at_hi : f(y);
    const double r = v.area - target;
    if (std::fabs(r) <= tol) return {y, v, true};
    (r < 0.0 ? lo : hi) = y;
    double next = v.top > 0.0 ? y - r / v.top : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (hi - lo <= 4e-16 * std::max(std::fabs(hi), 1e-300)) return {next, {}, false};
    y = next;
  }
  return {y, {}, false};
}

// Capacity of one grate (m3/s) under overland water of depth y (m): a weir
// over three sides of the grate in shallow water, an orifice through it in
// deep water, the smaller of the two between.
double grate_capacity(double y, double side, double dia) {
  const double h = 3.28 * y;  // ft
  const double weir = 3.0 * (3.0 * 3.28 * side) * std::pow(h, 1.5);
  const double orifice = 0.67 * (0.785 * 10.764 * dia * dia) * std::sqrt(64.4 * h);
  const double cfs = h <= 0.4 ? weir : (h < 1.0 ? std::min(weir, orifice) : orifice);
  return cfs * 0.02832;
}

// The exchange of one inlet with its cell over dt: water above the ground
// spilled back (spill > 0), else what its grates or open inlet take. The
// flow into the network (m3/s, negative for a spill).
double inlet_exchange(const superlink_domain& d, int type, int cell, double side, double dia, double spill,
                      double threshold, double dt, superlink_books& b) {
  if (cell <= 0 || type < 1 || type > pipe_inlet::open) return 0.0;
  const double area = d.cell_area * open_share(d.blocked, cell);
  double& depth = d.ov_depth[cell];
  double* carried = d.p.sl_sed_water.empty() ? nullptr : &d.p.sl_sed_water[cell];
  if (spill > 0.0) {
    depth += spill / area;
    if (carried) *carried -= spill;
    b.to_surface += spill;
    if (spill / dt > 1e-8) b.surcharged = true;
    return -spill / dt;
  }
  if (type == pipe_inlet::open) {
    if (depth <= 1e-16) return 0.0;
    const double v = depth * area;
    depth = 0.0;
    if (carried) *carried += v;
    b.surface_in += v;
    return v / dt;
  }
  if (depth <= threshold) return 0.0;
  const double held = depth * area;
  const double v = std::min(type * grate_capacity(depth, side, dia) * dt, held);
  depth = v >= held ? 0.0 : depth - v / area;
  if (carried) *carried += v;
  b.surface_in += v;
  return v / dt;
}

void deliver(const superlink_domain& d, int j, double v, superlink_books& b) {
  pipe_state& p = d.p;
  const int type = p.sjunc_inlet[j];
  if (type == pipe_inlet::to_channel) {
    const int at = d.max_nodes_per_link * p.superlink_chan_con_link[j] + p.superlink_chan_con_node[j];
    p.chan_sl_vol[at] += v;
    p.chan_sl_pending += v;
    if (!p.sl_tail_volume.empty()) p.sl_tail_volume[j] = std::max(p.sl_tail_volume[j] + v, 0.0);
    b.to_channel += v;
    if (v > 1e-16) b.fed_channel = true;
  } else if (type == pipe_inlet::to_surface) {
    const int c = p.superlink_junc_gnum[j];
    d.ov_depth[c] += v / (d.cell_area * open_share(d.blocked, c));
    b.to_surface += v;
  } else {
    if (v > 0.0)
      b.boundary_out += v;
    else
      b.boundary_in -= v;
  }
}

// The surface exchange of every superjunction and interior node for the
// call, and the tile drains' inflow at the superjunctions.
void surface_exchange(const superlink_domain& d, double dt, superlink_books& b) {
  pipe_state& p = d.p;
  const bool release = p.high_head_release != 0;
  for (int j = 1; j <= p.num_sjunc; ++j) {
    const int type = p.sjunc_inlet[j];
    double spill = 0.0;
    const double y = p.junc_head[j] - p.junc_invert_elev[j];
    const double ground = std::max(p.junc_ground_elev[j] - p.junc_invert_elev[j], 0.0);
    if (release && type >= 1 && type <= pipe_inlet::most_grates && y > ground)
      spill = junction_wet(p, j, y).area - junction_wet(p, j, ground).area;
    const double q = inlet_exchange(d, type, p.superlink_junc_gnum[j], p.junc_grate_sidelength[j],
                                    p.junc_grate_dia[j], spill, 1e-8, dt, b);
    p.junc_inflow[j] = q;
    p.sjunc_flow[j] = q;
  }
  if (d.tiles) {
    for (int l = 1; l <= p.num_slink; ++l) {
      const int j = p.us_sjunc[l];
      if (tile_link_closed(p, l)) continue;
      double q = 0.0;
      const auto tile = p.superlink_tile_flow.column(l);
      for (int k = 0; k <= p.superlink_tile_flow.rows(); ++k) q += tile[k];
      b.tile_in += q * dt;
      if (is_boundary_junction(p.sjunc_inlet[j]))
        deliver(d, j, q * dt, b);
      else
        p.junc_inflow[j] += q;
    }
  }
  for (int l = 1; l <= p.num_slink; ++l) {
    const int n = p.superlink_cnodes[l];
    auto qn = p.Q_node.column(l);
    for (int k = 2; k <= n; ++k) {
      const int type = p.inlet_type(k, l);
      double spill = 0.0;
      const double h = p.slink_node_depth(k, l);
      const double ground = std::max(p.node_ground_elev(k, l) - p.slink_node_Zinv(k, l), pipe_depth_floor);
      if (release && type >= 1 && type <= pipe_inlet::most_grates && h > ground)
        spill = node_wet(p, k, l, h).area - node_wet(p, k, l, ground).area;
      qn[k] = inlet_exchange(d, type, p.superlink_node_gnum(k, l), p.grate_sidelength_node(k, l),
                             p.grate_dia_node(k, l), spill, 1e-16, dt, b);
    }
  }
}

// The shortest time a surface wave with the flow takes through a pipe.
double courant_step(const pipe_state& p) {
  const superlink_scheme& s = p.solver;
  double dtc = 1e300;
  for (int l = 1; l <= p.num_slink; ++l) {
    const int n = p.superlink_cnodes[l];
    const auto h = p.slink_node_depth.column(l);
    const auto u = s.n_veloc.column(l);
    const auto dx = p.dxc.column(l);
    for (int k = 1; k <= n; ++k) {
      const double y = 0.5 * (h[k] + h[k + 1]);
      const double t = dx[k] / (std::sqrt(gravity * y) + std::max(std::fabs(u[k]), std::fabs(u[k + 1])));
      if (t > 1e-8) dtc = std::min(dtc, t);
    }
  }
  return dtc;
}

// The two end depths of superlink l in terms of its end flows and heads.
superlink_status end_relations(pipe_state& p, int l) {
  superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  // Upstream: the pipe fills from its superjunction unless water leaves it
  // backward over a free fall, at the smaller of critical and normal depth.
  s.e1[l] = 1.0;
  s.f1[l] = 0.0;
  s.g1[l] = -p.slink_us_invert[l];
  const double qu = p.Q(1, l);
  if (qu < 0.0) {
    const pipe_depth yc = superlink_crit_calc(p.sec_type(1, l), p.diameter(1, l), p.width(1, l), qu);
    if (yc.status != pipe_depth_status::ok) return superlink_status::depth_failed;
    if (yc.depth > p.junc_head[p.us_sjunc[l]] - p.slink_us_invert[l]) {
      const pipe_depth yn =
          superlink_norm_calc(p.sec_type(1, l), p.diameter(1, l), p.width(1, l), p.M_n(1, l), qu, p.S0(1, l));
      if (yn.status != pipe_depth_status::ok) return superlink_status::depth_failed;
      s.e1[l] = 0.0;
      s.g1[l] = 0.0;
      s.f1[l] = std::fabs(qu) < 1e-11 ? 0.0 : std::min(yc.depth, yn.depth) / qu;
    }
  }
  // Downstream: submerged, the last node stands an exit loss above its
  // superjunction's head; over a free fall at critical or normal depth.
  const double hds = p.junc_head[p.ds_sjunc[l]];
  const double qd = p.Q(n, l);
  s.e2[l] = 1.0;
  s.g2[l] = -p.slink_ds_invert[l];
  bool free_fall = false;
  // Most ends are submerged: the critical depth is found only where it may
  // stand above the superjunction's water.
  if (qd > 0.0 && !critical_depth_below(p.sec_type(n, l), p.diameter(n, l), qd, hds - p.slink_ds_invert[l])) {
    const pipe_depth yc = superlink_crit_calc(p.sec_type(n, l), p.diameter(n, l), p.width(n, l), qd);
    if (yc.status != pipe_depth_status::ok) return superlink_status::depth_failed;
    if (yc.depth > hds - p.slink_ds_invert[l]) {
      const pipe_depth yn =
          superlink_norm_calc(p.sec_type(n, l), p.diameter(n, l), p.width(n, l), p.M_n(n, l), qd, p.S0(n, l));
      if (yn.status != pipe_depth_status::ok) return superlink_status::depth_failed;
      free_fall = true;
      s.e2[l] = 0.0;
      s.g2[l] = 0.0;
      s.f2[l] = qd < 1e-11 ? 0.0 : std::min(yc.depth, yn.depth) / qd;
    }
  }
  if (!free_fall) {
    const double d = p.diameter(n, l);
    const double y = std::min(std::max(p.slink_node_depth(n + 1, l), hds - p.slink_ds_invert[l]), d);
    const double a2 = std::max(pipe_section_geometry(d, y, p.width(n, l), p.sec_type(n, l)).area, 0.0);
    const double den = 2.0 * gravity * a2 * a2;
    s.f2[l] = den > 1e-9 ? std::fabs(qd) / den : 0.0;
  }
  return superlink_status::ok;
}

// Superlink l over an internal step of h seconds: its pipes' sections and
// momentum coefficients, its nodes' continuity, the two recurrences and
// its end flows as linear functions of its two heads.
superlink_status superlink_coefficients(pipe_state& p, int l, double h) {
  superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  auto y = p.slink_node_depth.column(l);
  const auto q = p.Q.column(l);
  const auto qn = p.Q_node.column(l);
  const auto dx = p.dxc.column(l);
  auto A = s.area.column(l), R = s.hyd_R.column(l), ld = s.ldepth.column(l), vel = s.l_veloc.column(l);
  auto u = s.n_veloc.column(l);
  auto ca = s.a.column(l), cb = s.b.column(l), cc = s.c.column(l), P = s.P.column(l);
  auto E = s.E.column(l), D = s.D.column(l);
  for (int k = 1; k <= n + 1; ++k) y[k] = std::max(y[k], pipe_depth_floor);
  // The sections, velocities and friction of the pipes at the depths and
  // flows of the step's start, or of its end once a pass has found them;
  // the step's start keeps the time derivatives (P, D).
  const auto yc = s.at_step_end ? s.end_depth.column(l) : y;
  const auto qc = s.at_step_end ? s.end_flow.column(l) : q;
  if (s.at_step_end) {
    // The sections at the end of the last pass, as the check after it
    // found them; those it did not need (negative area) are found here.
    const auto area = s.end_area.column(l), wet_per = s.end_wet_per.column(l);
    for (int k = 1; k <= n; ++k) {
      ld[k] = 0.5 * (yc[k] + yc[k + 1]);
      if (area[k] < 0.0) {
        const double d = p.diameter(k, l);
        const pipe_section_props g = pipe_section_geometry(d, std::min(ld[k], d), p.width(k, l), p.sec_type(k, l));
        area[k] = g.area;
        wet_per[k] = g.wet_per;
      }
      A[k] = std::max(area[k], 1e-12);
      R[k] = A[k] / std::max(wet_per[k], 1e-12);
      vel[k] = qc[k] / A[k];
    }
  } else {
    for (int k = 1; k <= n; ++k) {
      const double d = p.diameter(k, l);
      ld[k] = 0.5 * (yc[k] + yc[k + 1]);
      const pipe_section_props g = pipe_section_geometry(d, std::min(ld[k], d), p.width(k, l), p.sec_type(k, l));
      A[k] = std::max(g.area, 1e-12);
      R[k] = A[k] / std::max(g.wet_per, 1e-12);
      vel[k] = qc[k] / A[k];
    }
  }
  u[1] = vel[1];
  u[n + 1] = vel[n];
  for (int k = 2; k <= n; ++k) u[k] = (dx[k - 1] * vel[k - 1] + dx[k] * vel[k]) / (dx[k - 1] + dx[k]);
  for (int k = 1; k <= n; ++k) {
    const double nm = p.M_n(k, l);
    ca[k] = u[k] > 0.0 ? -u[k] : 0.0;
    cc[k] = u[k + 1] < 0.0 ? u[k + 1] : 0.0;
    const double friction = gravity * nm * nm * std::fabs(qc[k]) * dx[k] / (std::pow(R[k], 4.0 / 3.0) * A[k]);
    cb[k] = friction + dx[k] / h - ca[k] - cc[k];
    P[k] = A[k] * gravity * p.S0(k, l) * dx[k] + dx[k] * q[k] / h;
  }
  // The end nodes belong to their superjunctions' control volumes.
  E[1] = D[1] = E[n + 1] = D[n + 1] = 0.0;
  auto held = s.node_volume.column(l);
  const auto known_y = s.node_known_y.column(l), known_area = s.node_known_area.column(l),
             known_top = s.node_known_top.column(l);
  for (int k = 2; k <= n; ++k) {
    const wet w = y[k] == known_y[k] ? wet{known_area[k], known_top[k]} : node_wet(p, k, l, y[k]);
    held[k] = w.area;
    E[k] = w.top / h;
    D[k] = E[k] * y[k] + qn[k];
  }
  // Forward: Q(k) = U(k) h(k + 1) + V(k) + W(k) h(1).
  auto T = s.T.column(l), U = s.U.column(l), V = s.V.column(l), W = s.W.column(l);
  T[1] = ca[1] + cb[1] + cc[1];
  U[1] = (E[2] * cc[1] - gravity * A[1]) / T[1];
  V[1] = (P[1] - D[2] * cc[1]) / T[1];
  W[1] = gravity * A[1] / T[1];
  for (int k = 2; k <= n; ++k) {
    const double sk = (gravity * A[k] - E[k] * ca[k]) / (U[k - 1] - E[k]);
    T[k] = cb[k] + ca[k] + cc[k] - sk;
    U[k] = (E[k + 1] * cc[k] - gravity * A[k]) / T[k];
    V[k] = (D[k] * ca[k] + P[k] - D[k + 1] * cc[k] - sk * (D[k] + V[k - 1])) / T[k];
    W[k] = -sk * W[k - 1] / T[k];
  }
  // Backward: Q(k) = X(k) h(k) + Y(k) + Z(k) h(n + 1).
  auto O = s.O.column(l), X = s.X.column(l), Y = s.Y.column(l), Z = s.Z.column(l);
  O[n] = ca[n] + cb[n] + cc[n];
  X[n] = (gravity * A[n] - E[n] * ca[n]) / O[n];
  Y[n] = (D[n] * ca[n] + P[n]) / O[n];
  Z[n] = -gravity * A[n] / O[n];
  for (int k = n - 1; k >= 1; --k) {
    const double r = (gravity * A[k] - E[k + 1] * cc[k]) / (E[k + 1] + X[k + 1]);
    O[k] = cb[k] + ca[k] + cc[k] + r;
    X[k] = (gravity * A[k] - E[k] * ca[k]) / O[k];
    Y[k] = (D[k] * ca[k] + P[k] - D[k + 1] * cc[k] - r * (D[k + 1] - Y[k + 1])) / O[k];
    Z[k] = r * Z[k + 1] / O[k];
  }
  // The end relations take the flows and heads of the step's start, the
  // same in every pass of the step: the first pass finds them.
  if (!s.at_step_end) {
    const superlink_status st = end_relations(p, l);
    if (st != superlink_status::ok) return st;
  }
  // Qu = X1 h1 + Y1 + Z1 h(n+1) and Qd = Un h(n+1) + Vn + Wn h1 with
  // h1 = e1 Hus + f1 Qu + g1 and h(n+1) = e2 Hds + f2 Qd + g2.
  const double e1 = s.e1[l], f1 = s.f1[l], g1 = s.g1[l], e2 = s.e2[l], f2 = s.f2[l], g2 = s.g2[l];
  const double det = (1.0 - f1 * X[1]) * (1.0 - f2 * U[n]) - f1 * W[n] * f2 * Z[1];
  if (!std::isfinite(det) || std::fabs(det) < 1e-14) return superlink_status::not_finite;
  const double r1c = X[1] * g1 + Y[1] + Z[1] * g2, r2c = U[n] * g2 + V[n] + W[n] * g1;
  const double ku = (1.0 - U[n] * f2) / det, kz = Z[1] * f2 / det;  // Qu = ku R1 + kz R2
  const double kd = (1.0 - f1 * X[1]) / det, kw = W[n] * f1 / det;  // Qd = kd R2 + kw R1
  s.au[l] = ku * X[1] * e1 + kz * W[n] * e1;
  s.bu[l] = ku * Z[1] * e2 + kz * U[n] * e2;
  s.cu[l] = ku * r1c + kz * r2c;
  s.ad[l] = kd * U[n] * e2 + kw * Z[1] * e2;
  s.bd[l] = kd * W[n] * e1 + kw * X[1] * e1;
  s.cd[l] = kd * r2c + kw * r1c;
  return superlink_status::ok;
}

// Row j of the system of the heads: a free superjunction keeps its water,
// a fixed head stays. Writes only row j's coefficients (through `at`) and
// right side.
template <class Slot>
void head_row(pipe_state& p, int j, double h, Slot&& at) {
  superlink_scheme& s = p.solver;
  if (is_boundary_junction(p.sjunc_inlet[j])) {
    at(j, 0) = 1.0;
    s.rhs[j] = boundary_head(p, j);
    return;
  }
  const double width = s.junc_width[j];
  double diag = width / h;
  double rhs = width / h * p.junc_head[j] + p.junc_inflow[j];
  for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
    const int l = std::abs(s.junc_links[e]);
    if (s.junc_links[e] > 0) {
      diag += s.au[l];
      at(j, e) += s.bu[l];
      rhs -= s.cu[l];
    } else {
      diag -= s.ad[l];
      at(j, e) -= s.bd[l];
      rhs += s.cd[l];
    }
  }
  at(j, 0) += diag;
  s.rhs[j] = rhs;
}

// The far superjunction of an entry of junc_links: +l leaves along
// superlink l, -l arrives along it.
int far_junction(const pipe_state& p, int entry) { return entry > 0 ? p.ds_sjunc[entry] : p.us_sjunc[-entry]; }

// The dense reference: the whole matrix, LU with implicit pivoting.
superlink_status solve_heads_dense(pipe_state& p, double h, part_clock& clock) {
  superlink_scheme& s = p.solver;
  const int nj = p.num_sjunc;
  s.matrix.fill(0.0);
  for (int j = 1; j <= nj; ++j)
    head_row(p, j, h, [&](int row, int e) -> double& { return s.matrix[row][e == 0 ? row : far_junction(p, s.junc_links[e])]; });
  clock.lap(s.timing.assembly);
  double parity = 1.0;
  if (ludcmp(s.matrix, nj, s.indx, parity, s.scale) != numeric_status::ok) return superlink_status::singular;
  lubksb(s.matrix, nj, s.indx, s.rhs);
  return superlink_status::ok;
}

// The system of the heads, sparse: the coefficients into their places of
// the fixed pattern (each row writes only its own places), a factorisation (with the pivots of the last one
// while they serve) and the solve. The new heads replace the right side.
superlink_status solve_heads(pipe_state& p, double h, part_clock& clock, const passes& run) {
  superlink_scheme& s = p.solver;
  const int nj = p.num_sjunc;
  if (s.dense_reference) {
    if (const superlink_status st = solve_heads_dense(p, h, clock); st != superlink_status::ok) return st;
  } else {
    run.over(nj, [&](int first, int last) {
      for (int j = first; j <= last; ++j) {
        s.values[s.diag_slot[j]] = 0.0;
        for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) s.values[s.link_slot[e]] = 0.0;
        head_row(p, j, h, [&](int, int e) -> double& { return s.values[e == 0 ? s.diag_slot[j] : s.link_slot[e]]; });
      }
    });
    clock.lap(s.timing.assembly);
    const sparse_lu_status f = s.system.factor(s.values.data());
    if (f == sparse_lu_status::singular) return superlink_status::singular;
    if (f != sparse_lu_status::ok || s.system.solve(s.rhs.data() + 1) != sparse_lu_status::ok)
      return superlink_status::solver_failed;
  }
  for (int j = 1; j <= nj; ++j)
    if (!std::isfinite(s.rhs[j])) return superlink_status::not_finite;
  return superlink_status::ok;
}

// The flows of superlink l from the new heads, its end depths and the
// interior depths of the linear scheme (the first guesses of the depths
// that hold the nodes' water).
void superlink_flows(pipe_state& p, int l) {
  superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  const double hus = s.rhs[p.us_sjunc[l]], hds = s.rhs[p.ds_sjunc[l]];
  const double qu = s.au[l] * hus + s.bu[l] * hds + s.cu[l];
  const double qd = n == 1 ? qu : s.ad[l] * hds + s.bd[l] * hus + s.cd[l];
  auto q = p.Q.column(l);
  auto y = p.slink_node_depth.column(l);
  q[1] = qu;
  q[n] = qd;
  const double h1 = s.e1[l] * hus + s.f1[l] * qu + s.g1[l];
  const double hn = s.e2[l] * hds + s.f2[l] * qd + s.g2[l];
  const auto U = s.U.column(l), V = s.V.column(l), W = s.W.column(l);
  const auto X = s.X.column(l), Y = s.Y.column(l), Z = s.Z.column(l);
  for (int k = n; k >= 2; --k) {
    y[k] = (q[k] - Y[k] - Z[k] * hn) / X[k];
    if (k > 2) q[k - 1] = U[k - 1] * y[k] + V[k - 1] + W[k - 1] * h1;
  }
  y[1] = h1;
  y[n + 1] = hn;
}

// Net inflows (m3) of every control volume over h seconds with the present
// flows. A superjunction gathers its superlinks' end flows in the order of
// its list (by superlink number).
void net_inflows(pipe_state& p, double h, const passes& run) {
  superlink_scheme& s = p.solver;
  run.over(p.num_slink, [&](int first, int last) {
    for (int l = first; l <= last; ++l) {
      const int n = p.superlink_cnodes[l];
      const auto q = p.Q.column(l);
      const auto qn = p.Q_node.column(l);
      auto net = s.node_net.column(l);
      for (int k = 2; k <= n; ++k) net[k] = h * (q[k - 1] - q[k] + qn[k]);
    }
  });
  run.over(p.num_sjunc, [&](int first, int last) {
    for (int j = first; j <= last; ++j) {
      double net = h * p.junc_inflow[j];
      for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
        const int l = s.junc_links[e];
        if (l > 0)
          net -= h * p.Q(1, l);
        else
          net += h * p.Q(p.superlink_cnodes[-l], -l);
      }
      s.junc_net[j] = net;
    }
  });
}

// Cuts the outflows of a control volume that would end below its floor to
// what it holds; the neighbours then receive less. True when any was cut.
bool limit_outflows(pipe_state& p, double h, const passes& run) {
  superlink_scheme& s = p.solver;
  net_inflows(p, h, run);
  std::atomic<bool> cut{false};
  // Shares kept: 1 for every volume that stays above its floor.
  run.over(p.num_sjunc, [&](int first, int last) {
    for (int j = first; j <= last; ++j) {
      s.junc_keep[j] = 1.0;
      const int type = p.sjunc_inlet[j];
      if (is_boundary_junction(type) && !is_outfall(type)) continue;  // a fixed head gives what it is asked
      const double held = is_outfall(type) ? boundary_supply(p, j) : s.junc_volume[j];
      if (held + s.junc_net[j] >= -1e-15 * std::max(held, 1.0)) continue;
      double out = 0.0;
      for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
        const int l = std::abs(s.junc_links[e]);
        const double flow = s.junc_links[e] > 0 ? p.Q(1, l) : -p.Q(p.superlink_cnodes[l], l);
        if (flow > 0.0) out += h * flow;
      }
      if (out <= 0.0) continue;
      s.junc_keep[j] = std::clamp((held + s.junc_net[j] + out) / out, 0.0, 1.0);
      cut.store(true, std::memory_order_relaxed);
    }
  });
  run.over(p.num_slink, [&](int first, int last) {
    for (int l = first; l <= last; ++l) {
      const int n = p.superlink_cnodes[l];
      const auto q = p.Q.column(l);
      const auto net = s.node_net.column(l);
      const auto held = s.node_volume.column(l);
      const auto floor = s.node_floor.column(l);
      auto keep = s.node_keep.column(l);
      for (int k = 2; k <= n; ++k) {
        keep[k] = 1.0;
        if (held[k] + net[k] >= floor[k] - 1e-15 * std::max(held[k], 1.0)) continue;
        const double out = h * (std::max(q[k], 0.0) + std::max(-q[k - 1], 0.0));
        if (out <= 0.0) continue;
        keep[k] = std::clamp((held[k] - floor[k] + net[k] + out) / out, 0.0, 1.0);
        cut.store(true, std::memory_order_relaxed);
      }
    }
  });
  if (!cut.load()) return false;
  // Each pipe's flow takes the share of the volume it leaves.
  run.over(p.num_slink, [&](int first, int last) {
    for (int l = first; l <= last; ++l) {
      const int n = p.superlink_cnodes[l];
      auto q = p.Q.column(l);
      const auto keep = s.node_keep.column(l);
      for (int k = 1; k <= n; ++k) {
        const double from_up = k == 1 ? s.junc_keep[p.us_sjunc[l]] : keep[k];
        const double from_down = k == n ? s.junc_keep[p.ds_sjunc[l]] : keep[k + 1];
        q[k] *= q[k] > 0.0 ? from_up : from_down;
      }
    }
  });
  return true;
}

// The water every control volume holds after the step, and the depths and
// heads that hold it; what reaches the boundaries. The water a volume
// lacked to stay at its floor is kept per superjunction and per superlink
// and summed in their order, whatever the threads.
void keep_water(const superlink_domain& d, double h, superlink_books& b, const passes& run) {
  pipe_state& p = d.p;
  superlink_scheme& s = p.solver;
  // Each pass finds the net inflows with the present flows; the pass that
  // cuts nothing leaves them as they are.
  bool cut = true;
  for (int pass = 0; pass < most_limit_passes && cut; ++pass) {
    cut = limit_outflows(p, h, run);
    ++s.outflow_passes;
  }
  if (cut) net_inflows(p, h, run);
  run.over(p.num_sjunc, [&](int first, int last) {
    for (int j = first; j <= last; ++j) {
      s.junc_made[j] = 0.0;
      if (is_boundary_junction(p.sjunc_inlet[j])) continue;
      double target = s.junc_volume[j] + s.junc_net[j];
      if (target < 0.0) {
        s.junc_made[j] = -target;
        target = 0.0;
      }
      const double guess = std::max(s.rhs[j] - p.junc_invert_elev[j], 0.0);
      const double y = depth_holding([&](double v) { return junction_wet(p, j, v); }, target, guess, 0.0).y;
      p.junc_head[j] = p.junc_invert_elev[j] + y;
    }
  });
  for (int j = 1; j <= p.num_sjunc; ++j) {
    if (!is_boundary_junction(p.sjunc_inlet[j])) continue;
    if (s.junc_net[j] != 0.0) deliver(d, j, s.junc_net[j], b);
    p.junc_head[j] = boundary_head(p, j);
  }
  run.over(p.num_slink, [&](int first, int last) {
    for (int l = first; l <= last; ++l) {
      const int n = p.superlink_cnodes[l];
      auto y = p.slink_node_depth.column(l);
      const auto net = s.node_net.column(l);
      const auto held = s.node_volume.column(l);
      const auto floor = s.node_floor.column(l);
      auto known_y = s.node_known_y.column(l), known_area = s.node_known_area.column(l),
           known_top = s.node_known_top.column(l);
      double made = 0.0;
      for (int k = 2; k <= n; ++k) {
        double target = held[k] + net[k];
        if (target < floor[k]) {
          made += floor[k] - target;
          target = floor[k];
        }
        const double guess = std::isfinite(y[k]) ? std::max(y[k], pipe_depth_floor) : pipe_depth_floor;
        const held_depth d =
            depth_holding([&](double v) { return node_wet(p, k, l, v); }, target, guess, pipe_depth_floor);
        y[k] = d.y;
        known_y[k] = d.known ? d.y : -1.0;
        known_area[k] = d.at.area;
        known_top[k] = d.at.top;
      }
      s.link_made[l] = made;
      // The end depths follow the heads the superjunctions keep.
      const double hus = p.junc_head[p.us_sjunc[l]], hds = p.junc_head[p.ds_sjunc[l]];
      y[1] = std::max(s.e1[l] * hus + s.f1[l] * p.Q(1, l) + s.g1[l], pipe_depth_floor);
      y[n + 1] = std::max(s.e2[l] * hds + s.f2[l] * p.Q(n, l) + s.g2[l], pipe_depth_floor);
    }
  });
  for (int j = 1; j <= p.num_sjunc; ++j) b.made += s.junc_made[j];
  for (int l = 1; l <= p.num_slink; ++l) b.made += s.link_made[l];
}

// The water and storage width of every superjunction at the step's start
// (the nodes' come with their coefficients).
void start_volumes(pipe_state& p, const passes& run) {
  superlink_scheme& s = p.solver;
  run.over(p.num_sjunc, [&](int first, int last) {
    for (int j = first; j <= last; ++j) {
      if (is_boundary_junction(p.sjunc_inlet[j])) {
        s.junc_volume[j] = s.junc_width[j] = 0.0;
        continue;
      }
      const wet w = junction_wet(p, j, p.junc_head[j] - p.junc_invert_elev[j]);
      s.junc_volume[j] = w.area;
      s.junc_width[j] = w.top;
    }
  });
}

// The widest the water surface of pipe k of superlink l can be (m), which
// bounds how fast its flow area changes with depth; 0 when no simple bound
// is known (arches).
double widest_surface(const pipe_state& p, int k, int l) {
  switch (p.sec_type(k, l)) {
    case pipe_section::circular:
      return p.diameter(k, l);
    case pipe_section::rectangular:
      return p.width(k, l);
    default:
      return 0.0;
  }
}

// After the flows of a pass of superlink l: keeps its end-of-step depths
// and flows (end_depth, end_flow) and tells whether some pipe's section
// there differs from the one its coefficients took by more than
// section_tolerance of the full section. A pipe whose mean depth moved so
// little that its area cannot have moved by half that much (the area grows
// with depth no faster than the widest water surface) is not measured: its
// section is left to the next pass's coefficients, should there be one
// (end_area negative).
bool link_sections_moved(pipe_state& p, int l) {
  superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  const auto y = p.slink_node_depth.column(l);
  const auto q = p.Q.column(l);
  auto ye = s.end_depth.column(l), qe = s.end_flow.column(l);
  auto area = s.end_area.column(l), wet_per = s.end_wet_per.column(l);
  const auto used = s.area.column(l), used_depth = s.ldepth.column(l), full = s.full_area.column(l);
  for (int k = 1; k <= n + 1; ++k) ye[k] = std::max(y[k], pipe_depth_floor);
  bool moved = false;
  for (int k = 1; k <= n; ++k) {
    qe[k] = q[k];
    const double d = p.diameter(k, l);
    const double mean = std::min(0.5 * (ye[k] + ye[k + 1]), d);
    const double widest = widest_surface(p, k, l);
    if (widest > 0.0 && widest * std::fabs(mean - std::min(used_depth[k], d)) <= 0.5 * section_tolerance * full[k]) {
      area[k] = -1.0;
      continue;
    }
    const pipe_section_props g = pipe_section_geometry(d, mean, p.width(k, l), p.sec_type(k, l));
    area[k] = g.area;
    wet_per[k] = g.wet_per;
    if (std::fabs(std::max(g.area, 1e-12) - used[k]) > section_tolerance * full[k]) moved = true;
  }
  return moved;
}

// The flows and depths of every superlink from the new heads; unless
// `check` is false, true when some superlink's sections moved
// (link_sections_moved), each superlink checked with its flows.
bool flows_and_check(pipe_state& p, bool check, const passes& run) {
  std::atomic<bool> moved{false};
  run.over(p.num_slink, [&](int first, int last) {
    bool any = false;
    for (int l = first; l <= last; ++l) {
      superlink_flows(p, l);
      if (check && link_sections_moved(p, l)) any = true;
    }
    if (any) moved.store(true, std::memory_order_relaxed);
  });
  return moved.load();
}

// Every superlink's coefficients, each on its own; the first that fails
// (by number) is the one reported.
superlink_status all_coefficients(pipe_state& p, double h, int& failed, const passes& run) {
  superlink_scheme& s = p.solver;
  run.over(p.num_slink, [&](int first, int last) {
    for (int l = first; l <= last; ++l) {
      // The first pass keeps the step's start; a repeated one goes back to it.
      const int n = p.superlink_cnodes[l];
      auto y = p.slink_node_depth.column(l), q = p.Q.column(l);
      auto y0 = s.start_depth.column(l), q0 = s.start_flow.column(l);
      if (s.at_step_end) {
        for (int k = 1; k <= n + 1; ++k) y[k] = y0[k];
        for (int k = 1; k <= n; ++k) q[k] = q0[k];
      } else {
        for (int k = 1; k <= n + 1; ++k) y0[k] = std::max(y[k], pipe_depth_floor);
        for (int k = 1; k <= n; ++k) q0[k] = q[k];
      }
      s.link_status[l] = static_cast<int>(superlink_coefficients(p, l, h));
    }
  });
  for (int l = 1; l <= p.num_slink; ++l)
    if (s.link_status[l] != static_cast<int>(superlink_status::ok)) {
      failed = l;
      return static_cast<superlink_status>(s.link_status[l]);
    }
  return superlink_status::ok;
}

// One internal step of h seconds. The linear scheme takes the momentum
// coefficients (sections, velocities, friction) at a known state. At the
// step's start that state can be far from the step's end: a dry pipe has
// no section, so the first pass barely lets water into it and piles the
// inflow up in the superjunction. While the sections at the end of a pass
// differ from those the pass took, the step is passed again from its start
// with the coefficients at the end state (Picard's iteration of the
// implicit step), so a pipe carries the flow at the depth the flow gives
// it. Flow that changes little between steps takes one pass, as before.
superlink_status internal_step(const superlink_domain& d, double h, int& failed, superlink_books& b) {
  pipe_state& p = d.p;
  superlink_scheme& s = p.solver;
  superlink_timing& t = s.timing;
  const passes run{d.crew};
  part_clock clock;
  superlink_status st = superlink_status::ok;
  s.at_step_end = false;
  for (int pass = 1;; ++pass) {
    st = all_coefficients(p, h, failed, run);
    clock.lap(t.recurrences);
    if (st == superlink_status::ok) {
      // The superjunctions' heads stay those of the step's start until the
      // step's water is kept: their water is found once per step.
      if (pass == 1) start_volumes(p, run);
      st = solve_heads(p, h, clock, run);
      clock.lap(t.solve);
    }
    if (st != superlink_status::ok) break;
    const bool again = flows_and_check(p, pass < most_section_passes, run);
    clock.lap(t.flows);
    if (!again) break;
    s.at_step_end = true;
    ++s.repeated_passes;
  }
  s.at_step_end = false;
  if (st != superlink_status::ok) return st;
  keep_water(d, h, b, run);
  clock.lap(t.water);
  return superlink_status::ok;
}

void report(superlink_status st, int failed) {
  switch (st) {
    case superlink_status::depth_failed:
      std::printf("Error: the pipe network could not find the end depths of superlink %d.\n", failed);
      break;
    case superlink_status::singular:
      std::printf("Error: the system of the superjunction heads of the pipe network is singular.\n");
      break;
    case superlink_status::solver_failed:
      std::printf("Error: the sparse solver of the superjunction heads of the pipe network failed (out of memory).\n");
      break;
    case superlink_status::not_finite:
      if (failed > 0)
        std::printf("Error: the end flows of superlink %d of the pipe network are not finite numbers.\n", failed);
      else
        std::printf("Error: a head of the pipe network is not a finite number.\n");
      break;
    case superlink_status::ok:
      break;
  }
}

}  // namespace

bool superlink_scheme::prepare(const pipe_state& p) {
  const int rows = p.max_slink_nodes + 1, links = p.num_slink, nj = p.num_sjunc;
  for (column_array2d<double>* a : {&ldepth, &area, &hyd_R, &l_veloc, &this->a, &b, &c, &P, &T, &U, &V, &W, &O, &X,
                                    &Y, &Z, &n_veloc, &E, &D, &node_volume, &node_net, &node_keep, &node_floor,
                                    &node_known_y, &node_known_area, &node_known_top, &start_depth, &start_flow,
                                    &end_depth, &end_flow, &full_area, &end_area, &end_wet_per})
    a->alloc(rows, links);
  for (int l = 1; l <= links; ++l)
    for (int k = 1; k <= p.superlink_cnodes[l]; ++k) {
      const double d = p.diameter(k, l);
      full_area(k, l) = pipe_section_geometry(d, d, p.width(k, l), p.sec_type(k, l)).area;
    }
  node_known_y.fill(-1.0);
  for (array1d<double>* v : {&au, &bu, &cu, &ad, &bd, &cd, &e1, &f1, &g1, &e2, &f2, &g2}) v->alloc(links);
  for (array1d<double>* v : {&junc_width, &junc_volume, &junc_net, &junc_keep, &junc_made, &rhs}) v->alloc(nj);
  link_made.alloc(links);
  link_status.alloc(links);
  junc_first.alloc(nj + 1);
  junc_links.alloc(std::max(2 * links, 1));
  // Incident superlinks of every superjunction, in order.
  array1d<int> count;
  count.alloc(nj + 1);
  for (int l = 1; l <= links; ++l) {
    ++count[p.us_sjunc[l]];
    ++count[p.ds_sjunc[l]];
  }
  junc_first[1] = 1;
  for (int j = 1; j <= nj; ++j) junc_first[j + 1] = junc_first[j] + count[j];
  for (int j = 1; j <= nj; ++j) count[j] = junc_first[j];
  for (int l = 1; l <= links; ++l) {
    junc_links[count[p.us_sjunc[l]]++] = l;
    junc_links[count[p.ds_sjunc[l]]++] = -l;
  }
  // The pattern of the system: superjunction j's column holds j and its
  // neighbours, sorted; the pattern is symmetric, so the same list gives
  // the columns of row j's entries.
  std::vector<std::vector<int>> near(static_cast<std::size_t>(nj) + 1);
  for (int j = 1; j <= nj; ++j) {
    std::vector<int>& r = near[static_cast<std::size_t>(j)];
    r.push_back(j);
    for (int e = junc_first[j]; e < junc_first[j + 1]; ++e)
      r.push_back(far_junction(p, junc_links[e]));
    std::sort(r.begin(), r.end());
    r.erase(std::unique(r.begin(), r.end()), r.end());
  }
  col_start.alloc(nj);  // entries 0..nj
  int nnz = 0;
  for (int j = 1; j <= nj; ++j) {
    col_start[j - 1] = nnz;
    nnz += static_cast<int>(near[static_cast<std::size_t>(j)].size());
  }
  col_start[nj] = nnz;
  row_index.alloc(nnz);  // entries 0..nnz - 1 in use
  values.alloc(nnz);
  diag_slot.alloc(nj);
  link_slot.alloc(std::max(2 * links, 1));
  auto slot = [&](int row, int col) {  // the entry (row, col) of the pattern
    const std::vector<int>& r = near[static_cast<std::size_t>(col)];
    return col_start[col - 1] + static_cast<int>(std::lower_bound(r.begin(), r.end(), row) - r.begin());
  };
  for (int j = 1; j <= nj; ++j) {
    int at = col_start[j - 1];
    for (int i : near[static_cast<std::size_t>(j)]) row_index[at++] = i - 1;
  }
  for (int j = 1; j <= nj; ++j) {
    diag_slot[j] = slot(j, j);
    for (int e = junc_first[j]; e < junc_first[j + 1]; ++e)
      link_slot[e] = slot(j, far_junction(p, junc_links[e]));
  }
  dense_reference = false;
  matrix.free();
  scale.free();
  indx.free();
  if (nj < 1) return true;
  if (system.analyse(nj, col_start.data(), row_index.data()) != sparse_lu_status::ok) {
    std::printf("Error: the system of the superjunction heads of the pipe network (%d superjunctions) could not be "
                "analysed.\n",
                nj);
    return false;
  }
  return true;
}

void superlink_scheme::use_dense_reference() {
  const int nj = std::max(rhs.size(), 1);
  dense_reference = true;
  matrix.alloc(nj, nj);
  scale.alloc(nj);
  indx.alloc(nj);
}

bool init_superlink_state(pipe_state& p) {
  const int rows = p.max_slink_nodes + 1;
  for (pipe_node_array<double>* a : {&p.slink_node_depth, &p.Q, &p.Q_node, &p.superlink_tile_flow})
    a->alloc(rows, p.num_slink);
  for (array1d<double>* v : {&p.junc_head, &p.sjunc_flow, &p.junc_inflow}) v->alloc(p.num_sjunc);
  for (int j = 1; j <= p.num_sjunc; ++j) p.junc_head[j] = p.junc_invert_elev[j];
  for (int l = 1; l <= p.num_slink; ++l) {
    const int n = p.superlink_cnodes[l];
    for (int k = 1; k <= n + 1; ++k) p.slink_node_depth(k, l) = pipe_depth_floor;
    p.slink_us_invert[l] = p.slink_node_Zinv(1, l);
    p.slink_ds_invert[l] = p.slink_node_Zinv(n + 1, l);
  }
  if (!p.solver.prepare(p)) return false;
  for (int l = 1; l <= p.num_slink; ++l)
    for (int k = 2; k <= p.superlink_cnodes[l]; ++k) p.solver.node_floor(k, l) = node_wet(p, k, l, pipe_depth_floor).area;
  p.sl_drain_vol = pipe_network_volume(p);
  return true;
}

double pipe_network_volume(const pipe_state& p) {
  double v = 0.0;
  for (int j = 1; j <= p.num_sjunc; ++j)
    if (!is_boundary_junction(p.sjunc_inlet[j])) v += junction_wet(p, j, p.junc_head[j] - p.junc_invert_elev[j]).area;
  // A node still at the depth where the last step found its water holds
  // the water found there.
  const superlink_scheme& s = p.solver;
  const bool known = !s.node_known_y.empty();
  for (int l = 1; l <= p.num_slink; ++l)
    for (int k = 2; k <= p.superlink_cnodes[l]; ++k) {
      const double y = p.slink_node_depth(k, l);
      v += known && y == s.node_known_y(k, l) ? s.node_known_area(k, l) : node_wet(p, k, l, y).area;
    }
  return v;
}

superlink_result superlink_solve(const superlink_domain& d, double dt) {
  superlink_result r;
  superlink_books& b = r.books;
  pipe_state& p = d.p;
  superlink_scheme& s = p.solver;
  ++s.calls;
  part_clock clock;
  b.storage_start = pipe_network_volume(p);
  if (dt <= 1e-16) {
    b.storage_end = b.storage_start;
    return r;
  }
  surface_exchange(d, dt, b);

  // The internal step follows the Courant limit of the pipes, but not below
  // 1 s unless the call itself is shorter.
  const double dtc = courant_step(p);
  double step = dt;
  if (dtc > 1e-8 && dtc < dt) step = dtc >= least_internal_step ? dtc : std::min(least_internal_step, dt);
  clock.lap(s.timing.exchange);
  double elapsed = 0.0;
  while (elapsed < dt - 1e-16) {
    double h = std::min(step, dt - elapsed);
    if (dt - elapsed - h < 0.5 * step) h = dt - elapsed;
    r.status = internal_step(d, h, r.failed_link, b);
    if (r.status != superlink_status::ok) {
      report(r.status, r.failed_link);
      return r;
    }
    ++b.internal_steps;
    ++s.internal_steps;
    elapsed += h;
  }
  clock.restart();  // the internal steps kept their own parts
  p.sl_drain_vol = pipe_network_volume(p);
  b.storage_end = p.sl_drain_vol;
  clock.lap(s.timing.exchange);
  return r;
}

}  // namespace nivra
