#include "pipe/superlink_solver.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
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
// A superlink's internal step is passed again, with its coefficients at the
// step's end, while a pipe's section there differs from the one its
// coefficients took by more than this share of the section, at most
// most_section_passes passes in all. The same share decides whether the
// heads of a solve moved a superlink far enough from the heads it was run
// with to run it again, at most most_section_passes solves of the heads in
// a network step; and half of it whether an internal step starts where the
// last one's coefficients were taken.
constexpr double section_tolerance = 0.001;
// Sections smaller than this share of the full section are measured
// against it instead of themselves: a film is not followed to a thousandth.
constexpr double area_floor_share = 0.01;
constexpr int most_section_passes = 8;
// A network step in which a superjunction's head moves by more than this
// share of the widest pipe opening into it is taken again in halves (down
// to two shortest internal steps): the superlinks' flows are linear in the
// heads only over moves of about that size.
constexpr double head_move_share = 0.25;
// The most internal steps a superlink takes in one network step: a pipe
// step that would need more is cut into several network steps.
constexpr int most_link_steps = 32;
// The guessed head of a superjunction goes the whole way to the head the
// last solve found, or this share of it when that way turns back on the
// way it went before (the heads swing about the ones that hold).
constexpr double swing_share = 0.5;
// A group's steps are chosen for this share of the error allowed, are no
// shorter than least_group_step (s), and a group has at most
// most_group_junctions free superjunctions (a network step with a larger
// one is taken in halves while it may be).
constexpr double step_safety = 0.9;
constexpr double least_group_step = 0.05;
constexpr int most_group_junctions = 64;

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
// A group of fast superjunctions takes many steps of its own, so the
// groups are shared in parts of at least least_group_part groups.
constexpr int least_part_items = 256;
constexpr int least_group_part = 8;

struct passes {
  thread_pool* crew = nullptr;
  // body(first, last, part): part counts from 0, below most_superlink_parts.
  template <class Body>
  void over_parts(int n, Body&& body, int least = least_part_items) const {
    const int most = std::min(n / least, most_superlink_parts);
    if (!crew || most < 2 || crew->size() < 2) {
      body(1, n, 0);
      return;
    }
    for_parts(*crew, n, std::min(crew->size(), most), body);
  }
  template <class Body>
  void over(int n, Body&& body) const {
    over_parts(n, [&](int first, int last, int) { body(first, last); });
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

// Whether pipes k - 1 and k of superlink l share their section (the pipes
// of one pipe cut into computational ones do).
bool same_section(const pipe_state& p, int k, int l) {
  return p.sec_type(k - 1, l) == p.sec_type(k, l) && p.diameter(k - 1, l) == p.diameter(k, l) &&
         p.width(k - 1, l) == p.width(k, l);
}

// Interior node k of superlink l at depth y: the halves of its two pipes
// and its own surface area.
wet node_wet(const pipe_state& p, int k, int l, double y) {
  const wet down = pipe_wet(p, k, l, y), up = same_section(p, k, l) ? down : pipe_wet(p, k - 1, l, y);
  const double a = 0.5 * p.dxc(k - 1, l), b = 0.5 * p.dxc(k, l), s = p.As(k, l);
  return wet{a * up.area + b * down.area + s * y, a * up.top + b * down.top + s};
}

// Pipe k of superlink l at a node's depth y: the flow area and wetted
// perimeter its momentum takes (the full section's above the crown), and
// the water a metre of it holds and its width there (pipe_wet's).
pipe_node_section section_at(const pipe_state& p, int k, int l, double y) {
  pipe_node_section s;
  if (y <= 0.0) return s;
  const double d = p.diameter(k, l);
  if (y >= d) {
    s.area = p.solver.full_area(k, l);
    s.wet_per = p.solver.full_wet_per(k, l);
    s.top = slot_share * d;
    s.held = s.area + s.top * (y - d);
    return s;
  }
  const pipe_section_props g = pipe_section_geometry(d, y, p.width(k, l), p.sec_type(k, l));
  s.area = std::max(g.area, 0.0);
  s.wet_per = g.wet_per;
  s.top = std::max(g.top_width, 0.0);
  s.held = s.area;
  return s;
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

// Superjunction j at its head: the water and width the last step found
// there while it stands at that head, else junction_wet's.
wet junction_water(const pipe_state& p, int j) {
  const superlink_scheme& s = p.solver;
  if (!s.junc_known_head.empty() && p.junc_head[j] == s.junc_known_head[j])
    return wet{s.junc_known_area[j], s.junc_known_top[j]};
  return junction_wet(p, j, p.junc_head[j] - p.junc_invert_elev[j]);
}

// The depth from `lo` up at which a control volume holds `target` (its
// water f(y).area rising with y, f(lo).area <= target): Newton's steps from
// the guess inside a bracket that each step narrows, halving it where a
// step leaves it (widening above while no depth is known to hold too much).
// With the depth, the control volume's water and width there when the
// search evaluated them at that very depth (`known`).
struct held_depth {
  double y = 0.0;
  wet at;
  bool known = false;
};

template <class F>
held_depth depth_holding(const F& f, double target, double guess, double lo) {
  const double tol = 1e-13 * std::max(std::fabs(target), 1e-3);
  double hi = std::numeric_limits<double>::infinity();
  double y = std::max(guess, lo);
  double widen = std::max(y - lo, 1e-3);
  for (int it = 0; it < 400; ++it) {
    const wet v = f(y);
    const double r = v.area - target;
    if (std::fabs(r) <= tol) return {y, v, true};
    (r < 0.0 ? lo : hi) = y;
    double next = v.top > 0.0 ? y - r / v.top : y;
    if (!(next > lo && next < hi)) {
      if (std::isfinite(hi)) {
        next = 0.5 * (lo + hi);
      } else {
        next = lo + widen;
        widen *= 2.0;
      }
    }
    if (std::isfinite(hi) && hi - lo <= 4e-16 * std::max(std::fabs(hi), 1e-300)) return {next, {}, false};
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

// ---- Affine functions of the two end heads of a superlink.
head_affine operator+(head_affine a, const head_affine& b) {
  a.c += b.c;
  a.u += b.u;
  a.d += b.d;
  return a;
}
head_affine operator-(head_affine a, const head_affine& b) {
  a.c -= b.c;
  a.u -= b.u;
  a.d -= b.d;
  return a;
}
head_affine operator*(double k, head_affine a) {
  a.c *= k;
  a.u *= k;
  a.d *= k;
  return a;
}
double at(const head_affine& a, double hus, double hds) { return a.c + a.u * hus + a.d * hds; }

// The depth at which a pipe's section, velocity and friction are taken: the
// depth of its upstream node for the direction of its flow, of the deeper
// node when it has none. A pipe carries what its upstream end gives it: a
// dry pipe below a wet node fills at the rate that node's depth conveys,
// and water does not leave a node that holds none.
double conveyance_depth(double y_up, double y_down, double q) {
  return q > 0.0 ? y_up : (q < 0.0 ? y_down : std::max(y_up, y_down));
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

// Whether pipe k of superlink l has a section at conveyance depth y1 that
// differs from the one at y0 by more than section_tolerance of its full
// section. A depth that moved so little that the area cannot have moved by
// half that much (the area grows with depth no faster than the widest
// water surface) is not measured.
bool section_moved(const pipe_state& p, int k, int l, double y0, double y1) {
  const double d = p.diameter(k, l), full = p.solver.full_area(k, l);
  y0 = std::min(y0, d);
  y1 = std::min(y1, d);
  const double widest = widest_surface(p, k, l);
  if (widest > 0.0 && widest * std::fabs(y1 - y0) <= 0.5 * section_tolerance * area_floor_share * full) return false;
  const double a0 = pipe_section_geometry(d, y0, p.width(k, l), p.sec_type(k, l)).area;
  const double a1 = pipe_section_geometry(d, y1, p.width(k, l), p.sec_type(k, l)).area;
  return std::fabs(std::max(a1, 1e-12) - std::max(a0, 1e-12)) > section_tolerance * std::max({a0, a1, area_floor_share * full});
}

// The shortest time a surface wave with the flow takes through a pipe of
// superlink l at depths y and node velocities u (each pipe at the deeper
// of its nodes); a very large number when no pipe holds water.
double link_courant(const pipe_state& p, int l, const double* y, const double* u) {
  const int n = p.superlink_cnodes[l];
  const auto dx = p.dxc.column(l);
  double dtc = 1e300;
  for (int k = 1; k <= n; ++k) {
    const double deep = std::max(y[k], y[k + 1]);
    const double t = dx[k] / (std::sqrt(gravity * deep) + std::max(std::fabs(u[k]), std::fabs(u[k + 1])));
    if (t > 1e-8) dtc = std::min(dtc, t);
  }
  return dtc;
}

// The internal steps a superlink whose Courant limit is dtc takes over a
// network step of H seconds: steps of that limit, but not below 1 s unless
// the network step itself is shorter.
int steps_for(double dtc, double H) {
  if (!(dtc < H) || H <= least_internal_step) return 1;
  const double step = std::max(dtc, least_internal_step);
  return static_cast<int>(std::min(std::ceil(H / step - 1e-9), static_cast<double>(most_link_steps)));
}

// A free outfall's end depth as a function of the flow through it: the
// smaller of critical and normal depth, linearised at the flow q (>= 0) of
// pipe k of superlink l as depth + per_flow (Q - q).
struct free_depth {
  superlink_status status = superlink_status::ok;
  double depth = 0.0, per_flow = 0.0;
};

free_depth free_fall_depth(const pipe_state& p, int k, int l, double q, const pipe_depth& yc) {
  free_depth f;
  const pipe_depth yn = superlink_norm_calc(p.sec_type(k, l), p.diameter(k, l), p.width(k, l), p.M_n(k, l), q,
                                            p.S0(k, l));
  if (yn.status != pipe_depth_status::ok) {
    f.status = superlink_status::depth_failed;
    return f;
  }
  const pipe_depth& m = yc.depth < yn.depth ? yc : yn;
  f.depth = m.depth;
  // A flow too small to stand above the shallowest node depth leaves the
  // end depth as it stands: the depth of so little water changes too fast
  // with it to be linearised.
  f.per_flow = m.depth <= pipe_depth_floor ? 0.0 : m.per_flow;
  return f;
}

// The two end depths of superlink l in terms of its end flows and heads, at
// the flows of the state its coefficients take and the heads hus, hds its
// superjunctions are expected to have.
superlink_status end_relations(pipe_state& p, int l, const superlink_work& w, double hus, double hds) {
  superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  // Upstream: the pipe fills from its superjunction unless water leaves it
  // backward over a free fall, at the smaller of critical and normal depth.
  s.e1[l] = 1.0;
  s.f1[l] = 0.0;
  s.g1[l] = -p.slink_us_invert[l];
  const double qu = w.cq[1];
  if (qu < 0.0) {
    const pipe_depth yc = superlink_crit_calc(p.sec_type(1, l), p.diameter(1, l), p.width(1, l), qu);
    if (yc.status != pipe_depth_status::ok) return superlink_status::depth_failed;
    if (yc.depth > hus - p.slink_us_invert[l]) {
      const free_depth f = free_fall_depth(p, 1, l, -qu, yc);
      if (f.status != superlink_status::ok) return f.status;
      // h(1) = depth + per_flow (-Qu - (-qu)).
      s.e1[l] = 0.0;
      s.f1[l] = -f.per_flow;
      s.g1[l] = f.depth + f.per_flow * qu;
    }
  }
  // Downstream: submerged, the last node stands an exit loss (a velocity
  // head at its depth) above its superjunction's head; over a free fall at
  // critical or normal depth where that stands higher than a submerged end
  // at least as deep would: the end's depth passes from the one to the
  // other without a jump as the superjunction's water rises.
  const double qd = w.cq[n];
  const double d = p.diameter(n, l);
  const double tail = hds - p.slink_ds_invert[l];
  auto exit_loss = [&](double y) {  // the exit loss per unit flow of an end at depth y
    const double a2 = std::max(pipe_section_geometry(d, std::min(y, d), p.width(n, l), p.sec_type(n, l)).area, 0.0);
    const double den = 2.0 * gravity * a2 * a2;
    return den > 1e-9 ? std::fabs(qd) / den : 0.0;
  };
  const double y_end = std::max(w.cy[n + 1], tail);
  s.e2[l] = 1.0;
  s.g2[l] = -p.slink_ds_invert[l];
  s.f2[l] = exit_loss(y_end);
  // Most ends are submerged: the critical depth is found only where it may
  // stand above the superjunction's water.
  if (qd > 0.0 && !critical_depth_below(p.sec_type(n, l), d, qd, tail)) {
    const pipe_depth yc = superlink_crit_calc(p.sec_type(n, l), d, p.width(n, l), qd);
    if (yc.status != pipe_depth_status::ok) return superlink_status::depth_failed;
    if (yc.depth > tail) {
      const double loss = y_end < yc.depth ? exit_loss(yc.depth) : s.f2[l];
      if (yc.depth > tail + loss * qd) {
        const free_depth f = free_fall_depth(p, n, l, qd, yc);
        if (f.status != superlink_status::ok) return f.status;
        s.e2[l] = 0.0;
        s.f2[l] = f.per_flow;
        s.g2[l] = f.depth - f.per_flow * qd;
      } else {
        s.f2[l] = loss;
      }
    }
  }
  return superlink_status::ok;
}

void link_sections(const pipe_state& p, int l, superlink_work& w);

// The coefficients of an internal step of h seconds of superlink l: the
// sections, velocities and friction of its pipes at the state (cy, cq),
// each pipe at its conveyance depth; the storage width of each interior
// node between the step's start depth (y0_at) and cy, or at the start
// depth when `secant` is false (the node's water and width there are v0
// and t0, which that first pass finds when `find_start` is true); the
// known parts of momentum (P) and continuity (D) from the step's start
// (y0, q0).
void link_coefficients(const pipe_state& p, int l, double h, superlink_work& w, bool secant, bool find_start,
                       bool same_state) {
  const int n = p.superlink_cnodes[l];
  const auto dx = p.dxc.column(l);
  const auto qn = p.Q_node.column(l);
  const auto as = p.As.column(l);
  if (!same_state) link_sections(p, l, w);
  for (int k = 1; k <= n; ++k) {
    w.b[k] = w.friction[k] + dx[k] / h - w.a[k] - w.c[k];
    w.P[k] = (dx[k] / h) * w.q0[k];
    w.P[k].c += w.A[k] * gravity * p.S0(k, l) * dx[k];
  }
  // The end nodes belong to their superjunctions' control volumes.
  w.E[1] = w.E[n + 1] = 0.0;
  w.D[1] = w.D[n + 1] = head_affine{};
  for (int k = 2; k <= n; ++k) {
    // node_wet's water and width from the two pipes' sections.
    const double a = 0.5 * dx[k - 1], b = 0.5 * dx[k], y = w.cy[k];
    const double held = a * w.up[k].held + b * w.down[k].held + as[k] * y;
    const double top = a * w.up[k].top + b * w.down[k].top + as[k];
    if (find_start) {
      w.v0[k] = held;
      w.t0[k] = top;
    }
    double width = w.t0[k];
    const double rise = y - w.y0_at[k];
    if (secant && std::fabs(rise) > 1e-10) width = (held - w.v0[k]) / rise;
    w.E[k] = width / h;
    w.D[k] = w.E[k] * w.y0[k];
    w.D[k].c += qn[k];
  }
}

// The sections, velocities and friction of superlink l's pipes at the
// state (cy, cq), each pipe at its conveyance depth.
void link_sections(const pipe_state& p, int l, superlink_work& w) {
  const int n = p.superlink_cnodes[l];
  const auto dx = p.dxc.column(l);
  // Every pipe at the depths of its two nodes: pipe k - 1 (up) and pipe k
  // (down) at node k's.
  for (int k = 1; k <= n + 1; ++k) {
    const double y = w.cy[k];
    if (k <= n) w.down[k] = section_at(p, k, l, y);
    if (k >= 2) w.up[k] = k <= n && same_section(p, k, l) ? w.down[k] : section_at(p, k - 1, l, y);
  }
  for (int k = 1; k <= n; ++k) {
    const double q = w.cq[k];
    const bool from_up = q > 0.0 || (q == 0.0 && w.cy[k] >= w.cy[k + 1]);
    const pipe_node_section& g = from_up ? w.down[k] : w.up[k + 1];
    w.A[k] = std::max(g.area, 1e-12);
    w.R[k] = w.A[k] / std::max(g.wet_per, 1e-12);
    w.vel[k] = q / w.A[k];
  }
  w.u[1] = w.vel[1];
  w.u[n + 1] = w.vel[n];
  for (int k = 2; k <= n; ++k) w.u[k] = (dx[k - 1] * w.vel[k - 1] + dx[k] * w.vel[k]) / (dx[k - 1] + dx[k]);
  for (int k = 1; k <= n; ++k) {
    const double nm = p.M_n(k, l);
    w.a[k] = w.u[k] > 0.0 ? -w.u[k] : 0.0;
    w.c[k] = w.u[k + 1] < 0.0 ? w.u[k + 1] : 0.0;
    const double r = std::cbrt(w.R[k]);
    w.friction[k] = gravity * nm * nm * std::fabs(w.cq[k]) * dx[k] / (r * r * r * r * w.A[k]);
  }
}

// The two recurrences of superlink l's pipes with the coefficients of
// w: forward Q(k) = U(k) h(k + 1) + V(k) + W(k) h(1), backward
// Q(k) = X(k) h(k) + Y(k) + Z(k) h(n + 1), their known parts affine.
void link_recurrences(int n, superlink_work& w) {
  const auto& A = w.A;
  const auto& a = w.a;
  const auto& b = w.b;
  const auto& c = w.c;
  const auto& E = w.E;
  w.T[1] = a[1] + b[1] + c[1];
  w.U[1] = (E[2] * c[1] - gravity * A[1]) / w.T[1];
  w.V[1] = (1.0 / w.T[1]) * (w.P[1] - c[1] * w.D[2]);
  w.W[1] = gravity * A[1] / w.T[1];
  for (int k = 2; k <= n; ++k) {
    const double sk = (gravity * A[k] - E[k] * a[k]) / (w.U[k - 1] - E[k]);
    w.T[k] = b[k] + a[k] + c[k] - sk;
    w.U[k] = (E[k + 1] * c[k] - gravity * A[k]) / w.T[k];
    w.V[k] = (1.0 / w.T[k]) * (a[k] * w.D[k] + w.P[k] - c[k] * w.D[k + 1] - sk * (w.D[k] + w.V[k - 1]));
    w.W[k] = -sk * w.W[k - 1] / w.T[k];
  }
  w.O[n] = a[n] + b[n] + c[n];
  w.X[n] = (gravity * A[n] - E[n] * a[n]) / w.O[n];
  w.Y[n] = (1.0 / w.O[n]) * (a[n] * w.D[n] + w.P[n]);
  w.Z[n] = -gravity * A[n] / w.O[n];
  for (int k = n - 1; k >= 1; --k) {
    const double r = (gravity * A[k] - E[k + 1] * c[k]) / (E[k + 1] + w.X[k + 1]);
    w.O[k] = b[k] + a[k] + c[k] + r;
    w.X[k] = (gravity * A[k] - E[k] * a[k]) / w.O[k];
    w.Y[k] = (1.0 / w.O[k]) * (a[k] * w.D[k] + w.P[k] - c[k] * w.D[k + 1] - r * (w.D[k + 1] - w.Y[k + 1]));
    w.Z[k] = r * w.Z[k + 1] / w.O[k];
  }
}

// The end flows of superlink l from its recurrences and end relations, with
// its superjunctions' heads at the internal step's end hus, hds (affine),
// then its depths and flows (y1, q1) by the recurrences back from its
// downstream end. not_finite when the two end flows have no solution.
superlink_status link_flows(const pipe_state& p, int l, superlink_work& w, const head_affine& hus,
                            const head_affine& hds) {
  const superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  const double e1 = s.e1[l], f1 = s.f1[l], g1 = s.g1[l], e2 = s.e2[l], f2 = s.f2[l], g2 = s.g2[l];
  // h(1) = B1 + f1 Qu and h(n + 1) = Bn + f2 Qd.
  head_affine b1 = e1 * hus, bn = e2 * hds;
  b1.c += g1;
  bn.c += g2;
  const double X1 = w.X[1], Z1 = w.Z[1], Un = w.U[n], Wn = w.W[n];
  const double det = (1.0 - f1 * X1) * (1.0 - f2 * Un) - f1 * Wn * f2 * Z1;
  if (!std::isfinite(det) || std::fabs(det) < 1e-14) return superlink_status::not_finite;
  // Qu = X1 h(1) + Y1 + Z1 h(n + 1) and Qd = Un h(n + 1) + Vn + Wn h(1).
  const head_affine r1 = X1 * b1 + w.Y[1] + Z1 * bn, r2 = Un * bn + w.V[n] + Wn * b1;
  const head_affine qu = (1.0 / det) * ((1.0 - Un * f2) * r1 + (Z1 * f2) * r2);
  const head_affine qd = n == 1 ? qu : (1.0 / det) * ((1.0 - f1 * X1) * r2 + (Wn * f1) * r1);
  w.q1[1] = qu;
  w.q1[n] = qd;
  w.y1[1] = b1 + f1 * qu;
  w.y1[n + 1] = bn + f2 * qd;
  for (int k = n; k >= 2; --k) {
    w.y1[k] = (1.0 / w.X[k]) * (w.q1[k] - w.Y[k] - w.Z[k] * w.y1[n + 1]);
    if (k > 2) w.q1[k - 1] = w.U[k - 1] * w.y1[k] + w.V[k - 1] + w.W[k - 1] * w.y1[1];
  }
  return superlink_status::ok;
}

// Whether the end state (py, pq) of superlink l's internal step moved the
// section of some pipe from the state its coefficients took (cy, cq), or
// the depth of an end over a free fall by more than section_tolerance of
// its pipe's diameter.
bool link_state_moved(const pipe_state& p, int l, const superlink_work& w) {
  const superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  auto floor = [](double y) { return std::max(y, pipe_depth_floor); };
  for (int k = 1; k <= n; ++k)
    if (section_moved(p, k, l, conveyance_depth(w.cy[k], w.cy[k + 1], w.cq[k]),
                      conveyance_depth(floor(w.py[k]), floor(w.py[k + 1]), w.pq[k])))
      return true;
  if (s.e1[l] == 0.0 && std::fabs(floor(w.py[1]) - w.cy[1]) > section_tolerance * p.diameter(1, l)) return true;
  if (s.e2[l] == 0.0 && std::fabs(floor(w.py[n + 1]) - w.cy[n + 1]) > section_tolerance * p.diameter(n, l))
    return true;
  return false;
}

// Whether the end state (py, pq) of superlink l's internal step is one its
// coefficients may be taken at: finite, and no depth beyond ten times the
// diameter of its pipes either way.
bool link_state_sound(const pipe_state& p, int l, const superlink_work& w) {
  const int n = p.superlink_cnodes[l];
  for (int k = 1; k <= n + 1; ++k) {
    const double d = p.diameter(std::min(k, n), l);
    if (!std::isfinite(w.py[k]) || std::fabs(w.py[k]) > 1000.0 * d) return false;
  }
  for (int k = 1; k <= n; ++k)
    if (!std::isfinite(w.pq[k])) return false;
  return true;
}

// The heads of a superlink's two superjunctions at the start of a step and
// the ones guessed for its end.
struct link_ends {
  double us0 = 0.0, ds0 = 0.0, us1 = 0.0, ds1 = 0.0;
};

// Superlink l over a step of H seconds, in s.link_substeps[l] internal
// steps, its superjunctions' heads going linearly from their start to the
// guessed ones (ends): its mean end flows over
// the step as linear functions of the end heads (au .. cd), its depths and
// flows at the end and the water each pipe carried as affine functions of
// them (end_depth, end_flow, carried). Each internal step takes its
// coefficients at its start (those of the last step while it starts where
// they were taken); while the section of a pipe at the step's end (at the
// guessed heads) differs from the one they took, the step is passed again
// with the coefficients at that end state, half way where the state swings
// (Picard's iteration of the implicit step), so that a dry pipe carries the
// flow at the depth the flow gives it. link_again[l] is set when the end
// state needs more internal steps than the superlink took (once in a
// network step); link_reach[l] is the move of either end head the end
// state bears without a section moving.
superlink_status link_run(pipe_state& p, int l, double H, superlink_work& w, const link_ends& ends) {
  superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  const double hu0 = ends.us0, hd0 = ends.ds0;
  const double gu = ends.us1, gd = ends.ds1;
  s.link_guess_us[l] = gu;
  s.link_guess_ds[l] = gd;
  const auto y_start = s.start_depth.column(l), q_start = s.start_flow.column(l);
  for (int k = 1; k <= n + 1; ++k) w.y0[k] = head_affine{y_start[k], 0.0, 0.0};
  for (int k = 1; k <= n; ++k) w.q0[k] = head_affine{q_start[k], 0.0, 0.0};
  auto carried = s.carried.column(l);
  for (int k = 1; k <= n; ++k) carried[k] = head_affine{};
  auto held = s.node_volume.column(l);  // the nodes' water at the network step's start
  const int m = s.link_substeps[l];
  const double h = H / m;
  for (int i = 1; i <= m; ++i) {
    const double theta = static_cast<double>(i) / m;
    const head_affine hus{(1.0 - theta) * hu0, theta, 0.0}, hds{(1.0 - theta) * hd0, 0.0, theta};
    const double hus_at = at(hus, gu, gd), hds_at = at(hds, gu, gd);
    for (int k = 1; k <= n + 1; ++k) w.y0_at[k] = std::max(at(w.y0[k], gu, gd), pipe_depth_floor);
    // A step that starts where the last one's coefficients were taken keeps
    // its sections, velocities and friction.
    bool same_state = i > 1;
    for (int k = 1; k <= n + 1 && same_state; ++k)
      same_state = std::fabs(w.y0_at[k] - w.cy[k]) <= 0.5 * section_tolerance * w.cy[k];
    for (int k = 1; k <= n && same_state; ++k)
      same_state = std::fabs(at(w.q0[k], gu, gd) - w.cq[k]) <= 0.5 * section_tolerance * std::fabs(w.cq[k]);
    if (!same_state) {
      for (int k = 1; k <= n + 1; ++k) w.cy[k] = w.y0_at[k];
      for (int k = 1; k <= n; ++k) w.cq[k] = at(w.q0[k], gu, gd);
    }
    for (int pass = 1;; ++pass) {
      if (pass == 2 && same_state)
        for (int k = 2; k <= n; ++k) {  // the start water the widths of later passes take
          const wet v = node_wet(p, k, l, w.y0_at[k]);
          w.v0[k] = v.area;
          w.t0[k] = v.top;
        }
      link_coefficients(p, l, h, w, pass > 1, pass == 1, pass == 1 && same_state);
      if (i == 1 && pass == 1)
        for (int k = 2; k <= n; ++k) held[k] = w.v0[k];
      const superlink_status st = end_relations(p, l, w, hus_at, hds_at);
      if (st != superlink_status::ok) return st;
      link_recurrences(n, w);
      if (const superlink_status f = link_flows(p, l, w, hus, hds); f != superlink_status::ok) return f;
      ++w.steps;
      if (pass >= most_section_passes) break;
      // The end state at the guessed heads.
      for (int k = 1; k <= n + 1; ++k) w.py[k] = at(w.y1[k], gu, gd);
      for (int k = 1; k <= n; ++k) w.pq[k] = at(w.q1[k], gu, gd);
      if (!link_state_moved(p, l, w) || !link_state_sound(p, l, w)) break;
      // The next state goes the whole way to the end state, or half of it
      // where the way turns back on the one before (the state swings about
      // the one that holds).
      for (int k = 1; k <= n + 1; ++k) {
        const double move = std::max(w.py[k], pipe_depth_floor) - w.cy[k];
        const double share = pass > 1 && move * w.dy[k] < 0.0 ? swing_share : 1.0;
        w.dy[k] = share * move;
        w.cy[k] += w.dy[k];
      }
      for (int k = 1; k <= n; ++k) {
        const double move = w.pq[k] - w.cq[k];
        const double share = pass > 1 && move * w.dq[k] < 0.0 ? swing_share : 1.0;
        w.dq[k] = share * move;
        w.cq[k] += w.dq[k];
      }
      ++w.passes;
    }
    for (int k = 1; k <= n; ++k) carried[k] = carried[k] + h * w.q1[k];
    for (int k = 1; k <= n + 1; ++k) w.y0[k] = w.y1[k];
    for (int k = 1; k <= n; ++k) w.q0[k] = w.q1[k];
  }
  auto ye = s.end_depth.column(l), qe = s.end_flow.column(l);
  for (int k = 1; k <= n + 1; ++k) ye[k] = w.y1[k];
  for (int k = 1; k <= n; ++k) qe[k] = w.q1[k];
  auto nv = s.n_veloc.column(l);
  for (int k = 1; k <= n + 1; ++k) nv[k] = w.u[k];
  // Mean end flows over the step.
  const head_affine vu = (1.0 / H) * carried[1], vd = (1.0 / H) * carried[n];
  s.au[l] = vu.u;
  s.bu[l] = vu.d;
  s.cu[l] = vu.c;
  s.ad[l] = vd.d;
  s.bd[l] = vd.u;
  s.cd[l] = vd.c;
  // The largest move of either end head that can move no section of a pipe
  // by the tolerance, nor turn a flow: the end depths and flows change with
  // the heads by their affine coefficients.
  double reach = 1e300;
  for (int k = 1; k <= n + 1; ++k) {
    const double per_head = std::fabs(w.y1[k].u) + std::fabs(w.y1[k].d);
    if (per_head <= 0.0) continue;
    const int pipe = std::min(k, n);
    const double widest = widest_surface(p, pipe, l);
    const double room = widest > 0.0 ? 0.5 * section_tolerance * area_floor_share * s.full_area(pipe, l) / widest
                                     : 0.0;
    reach = std::min(reach, std::min(room, section_tolerance * p.diameter(pipe, l)) / per_head);
  }
  for (int k = 1; k <= n; ++k) {
    const double per_head = std::fabs(w.q1[k].u) + std::fabs(w.q1[k].d);
    if (per_head > 0.0) reach = std::min(reach, std::fabs(at(w.q1[k], gu, gd)) / per_head);
  }
  s.link_reach[l] = reach;
  // The end state at the guessed heads may need shorter internal steps:
  // the superlink is run again with them, once in a network step.
  s.link_again[l] = 0;
  if (!s.link_shortened[l]) {
    for (int k = 1; k <= n + 1; ++k) w.cy[k] = std::max(at(w.y1[k], gu, gd), pipe_depth_floor);
    const int need = steps_for(link_courant(p, l, w.cy.data(), w.u.data()), H);
    if (need > m) {
      s.link_substeps[l] = need;
      s.link_again[l] = s.link_shortened[l] = 1;
    }
  }
  return superlink_status::ok;
}

// The far superjunction of an entry of junc_links: +l leaves along
// superlink l, -l arrives along it.
int far_junction(const pipe_state& p, int entry) { return entry > 0 ? p.ds_sjunc[entry] : p.us_sjunc[-entry]; }

// ---- The stages of a network step.
//
// A network step is first taken over the whole network. The free
// superjunctions whose solved heads lie far from where their last rates
// would have taken them (head_error above 1) are fast: each set of fast
// ones joined by superlinks, with the fixed heads beside them, is a group,
// which takes the step again in shorter steps of its own (group_steps)
// while the heads of its other neighbours go linearly between the ones the
// network step began with and the ones its solve found. A stage is the
// part being taken: the whole network over the whole step (group 0), or
// group g over the shares t0 .. t1 of it.
struct stage {
  int group = 0;
  double t0 = 0.0, t1 = 1.0;
};

// Whether superjunction j's head is found in the stage (its head arrays
// hold the stage's): every one over the whole network, a group's free
// superjunctions in the group's own steps.
bool solved_in(const pipe_state& p, const stage& st, int j) {
  return st.group == 0 || (p.solver.junc_group[j] == st.group && !is_boundary_junction(p.sjunc_inlet[j]));
}

// The head of superjunction j at the share t of the network step, going
// linearly from its start to the head the solve over the whole network
// found.
double network_head(const superlink_scheme& s, int j, double t) {
  return t >= 1.0 ? s.rhs[j] : s.head_start[j] + t * (s.rhs[j] - s.head_start[j]);
}

// The head of superjunction j at the stage's end as the stage's last solve
// found it.
double solved_head(const pipe_state& p, const stage& st, int j) {
  return solved_in(p, st, j) ? p.solver.rhs[j] : network_head(p.solver, j, st.t1);
}

// The heads superlink l runs between in the stage.
link_ends stage_ends(const pipe_state& p, const stage& st, int l) {
  const superlink_scheme& s = p.solver;
  const int us = p.us_sjunc[l], ds = p.ds_sjunc[l];
  auto start = [&](int j) { return solved_in(p, st, j) ? s.head_start[j] : network_head(s, j, st.t0); };
  auto guess = [&](int j) { return solved_in(p, st, j) ? s.guess[j] : network_head(s, j, st.t1); };
  return {start(us), start(ds), guess(us), guess(ds)};
}

// Whether the stage keeps the water of superjunction j: over the whole
// network every one outside the groups and every fixed head (which limits
// what the superlinks outside the groups take from it), in a group its own.
bool keeps(const pipe_state& p, const stage& st, int j) {
  const int g = p.solver.junc_group[j];
  return st.group == 0 ? g == 0 || is_boundary_junction(p.sjunc_inlet[j]) : g == st.group;
}

// Calls f(j) for every superjunction whose water the stage keeps, and f(l)
// for every superlink whose nodes' water it keeps (those of the stage's
// group, 0 for the superlinks outside the groups).
template <class F>
void stage_junctions(const pipe_state& p, const stage& st, const passes& run, F&& f) {
  const superlink_scheme& s = p.solver;
  if (st.group == 0) {
    run.over(p.num_sjunc, [&](int first, int last) {
      for (int j = first; j <= last; ++j)
        if (keeps(p, st, j)) f(j);
    });
    return;
  }
  for (int i = s.group_first[st.group]; i < s.group_first[st.group + 1]; ++i) f(s.group_junctions[i]);
}

template <class F>
void stage_links(const pipe_state& p, const stage& st, const passes& run, F&& f) {
  const superlink_scheme& s = p.solver;
  if (st.group == 0) {
    run.over(p.num_slink, [&](int first, int last) {
      for (int l = first; l <= last; ++l)
        if (s.link_group[l] == 0) f(l);
    });
    return;
  }
  for (int i = s.group_link_first[st.group]; i < s.group_link_first[st.group + 1]; ++i) f(s.group_links[i]);
}

// Every superlink over the network step of H seconds, or only those marked
// to run again (link_again); the first that fails (by number) is the one
// reported.
superlink_status run_links(pipe_state& p, double H, bool only_again, int& failed, const passes& run) {
  superlink_scheme& s = p.solver;
  for (superlink_work& w : s.work) w.steps = w.passes = w.runs = 0;
  run.over_parts(p.num_slink, [&](int first, int last, int part) {
    superlink_work& w = s.work[part];
    for (int l = first; l <= last; ++l) {
      if (only_again && !s.link_again[l]) continue;
      ++w.runs;
      s.link_status[l] = static_cast<int>(link_run(p, l, H, w, stage_ends(p, stage{}, l)));
    }
  });
  for (const superlink_work& w : s.work) {
    s.link_steps += w.steps;
    s.link_passes += w.passes;
    if (only_again) s.link_reruns += w.runs;
  }
  for (int l = 1; l <= p.num_slink; ++l)
    if ((!only_again || s.link_again[l]) && s.link_status[l] != static_cast<int>(superlink_status::ok)) {
      failed = l;
      return static_cast<superlink_status>(s.link_status[l]);
    }
  return superlink_status::ok;
}

// Row j of the system of the heads over a step of H seconds: a free
// superjunction keeps its water, a fixed head stays. Returns j's own
// coefficient and sets the right side; off(e, c) takes the coefficient c of
// the far superjunction of entry e of junc_links.
template <class Off>
double head_row(const pipe_state& p, int j, double H, double& rhs, Off&& off) {
  const superlink_scheme& s = p.solver;
  if (is_boundary_junction(p.sjunc_inlet[j])) {
    rhs = boundary_head(p, j);
    return 1.0;
  }
  const double width = s.junc_width[j];
  double diag = width / H;
  double r = width / H * s.head_start[j] + p.junc_inflow[j];
  for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
    const int l = std::abs(s.junc_links[e]);
    if (s.junc_links[e] > 0) {
      diag += s.au[l];
      off(e, s.bu[l]);
      r -= s.cu[l];
    } else {
      diag -= s.ad[l];
      off(e, -s.bd[l]);
      r += s.cd[l];
    }
  }
  rhs = r;
  return diag;
}

// The storage width of free superjunction j between its head at the
// step's start and the guessed one (at the start head while they agree),
// so that the solved head holds the water the superjunction keeps.
void junction_width(pipe_state& p, int j) {
  superlink_scheme& s = p.solver;
  const double rise = s.guess[j] - s.head_start[j];
  s.junc_width[j] = s.junc_start_top[j];
  if (std::fabs(rise) > 1e-10)
    s.junc_width[j] = (junction_wet(p, j, s.guess[j] - p.junc_invert_elev[j]).area - s.junc_volume[j]) / rise;
}

// The dense reference: the whole matrix, LU with implicit pivoting.
superlink_status solve_heads_dense(pipe_state& p, double H, part_clock& clock) {
  superlink_scheme& s = p.solver;
  const int nj = p.num_sjunc;
  s.matrix.fill(0.0);
  for (int j = 1; j <= nj; ++j)
    s.matrix[j][j] += head_row(p, j, H, s.rhs[j],
                               [&](int e, double c) { s.matrix[j][far_junction(p, s.junc_links[e])] += c; });
  clock.lap(s.timing.assembly);
  double parity = 1.0;
  if (ludcmp(s.matrix, nj, s.indx, parity, s.scale) != numeric_status::ok) return superlink_status::singular;
  lubksb(s.matrix, nj, s.indx, s.rhs);
  return superlink_status::ok;
}

// The system of the heads, sparse: the coefficients into their places of
// the fixed pattern (each row writes only its own places), a factorisation
// (with the pivots of the last one while they serve) and the solve. The
// new heads replace the right side.
superlink_status solve_heads(pipe_state& p, double H, part_clock& clock, const passes& run) {
  superlink_scheme& s = p.solver;
  const int nj = p.num_sjunc;
  ++s.head_solves;
  run.over(nj, [&](int first, int last) {
    for (int j = first; j <= last; ++j)
      if (!is_boundary_junction(p.sjunc_inlet[j])) junction_width(p, j);
  });
  if (s.dense_reference) {
    if (const superlink_status st = solve_heads_dense(p, H, clock); st != superlink_status::ok) return st;
  } else {
    run.over(nj, [&](int first, int last) {
      for (int j = first; j <= last; ++j) {
        s.values[s.diag_slot[j]] = 0.0;
        for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) s.values[s.link_slot[e]] = 0.0;
        s.values[s.diag_slot[j]] +=
            head_row(p, j, H, s.rhs[j], [&](int e, double c) { s.values[s.link_slot[e]] += c; });
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

// Whether the solved heads hus, hds move superlink l's end state from the
// one at the heads it was run with by more than the coefficients allow
// (link_state_moved's measures).
bool solve_moved_link(const pipe_state& p, int l, double hus, double hds) {
  const superlink_scheme& s = p.solver;
  const double gu = s.link_guess_us[l], gd = s.link_guess_ds[l];
  if (hus == gu && hds == gd) return false;
  const int n = p.superlink_cnodes[l];
  const auto ye = s.end_depth.column(l), qe = s.end_flow.column(l);
  auto depth = [&](int k, double a, double b) { return std::max(at(ye[k], a, b), pipe_depth_floor); };
  for (int k = 1; k <= n; ++k) {
    const double y_guess = conveyance_depth(depth(k, gu, gd), depth(k + 1, gu, gd), at(qe[k], gu, gd));
    const double y_solved = conveyance_depth(depth(k, hus, hds), depth(k + 1, hus, hds), at(qe[k], hus, hds));
    if (section_moved(p, k, l, y_guess, y_solved)) return true;
  }
  if (s.e1[l] == 0.0 && std::fabs(depth(1, hus, hds) - depth(1, gu, gd)) > section_tolerance * p.diameter(1, l))
    return true;
  if (s.e2[l] == 0.0 &&
      std::fabs(depth(n + 1, hus, hds) - depth(n + 1, gu, gd)) > section_tolerance * p.diameter(n, l))
    return true;
  return false;
}

// Whether superlink l is to run again after a solve found the heads hus,
// hds of its superjunctions: its end state asked for shorter internal
// steps, or those heads moved it too far from the heads it was run with
// (solve_moved_link). The heads are first measured against the moves the
// superlink's end state can bear without a section moving (link_reach),
// which spares most superlinks the measure of their sections.
bool link_needs_run(const pipe_state& p, int l, double hus, double hds) {
  const superlink_scheme& s = p.solver;
  if (s.link_again[l]) return true;
  const double move = std::max(std::fabs(hus - s.link_guess_us[l]), std::fabs(hds - s.link_guess_ds[l]));
  if (move <= s.link_reach[l]) return false;
  return solve_moved_link(p, l, hus, hds);
}

// After a solve of the heads of the whole network: marks the superlinks to
// run again (link_again) and tells whether there are any.
bool check_links(pipe_state& p, const passes& run) {
  superlink_scheme& s = p.solver;
  std::atomic<bool> again{false};
  run.over(p.num_slink, [&](int first, int last) {
    bool any = false;
    for (int l = first; l <= last; ++l) {
      const bool needed = link_needs_run(p, l, s.rhs[p.us_sjunc[l]], s.rhs[p.ds_sjunc[l]]);
      s.link_again[l] = needed ? 1 : 0;
      any = any || needed;
    }
    if (any) again.store(true, std::memory_order_relaxed);
  });
  return again.load();
}

// The next guess of free superjunction j after the solve `pass` of a step
// found the head rhs[j]: the whole way to it at first, and half of it
// after where the way turns back on the one before, so that heads that
// swing about the ones that hold settle.
void next_guess(superlink_scheme& s, int j, int pass) {
  const double move = s.rhs[j] - s.guess[j];
  const double share = pass > 1 && move * s.guess_move[j] < 0.0 ? swing_share : 1.0;
  s.guess_move[j] = share * move;
  s.guess[j] += s.guess_move[j];
}

// The flows, depths and carried water of superlink l at the solved heads
// hus, hds of its superjunctions.
void link_end_state(pipe_state& p, int l, double hus, double hds) {
  superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  const auto ye = s.end_depth.column(l), qe = s.end_flow.column(l), carried = s.carried.column(l);
  auto y = p.slink_node_depth.column(l), q = p.Q.column(l), moved = s.volume_moved.column(l);
  for (int k = 1; k <= n + 1; ++k) y[k] = at(ye[k], hus, hds);
  for (int k = 1; k <= n; ++k) {
    q[k] = at(qe[k], hus, hds);
    moved[k] = at(carried[k], hus, hds);
  }
}

// Net inflows (m3) over a step of H seconds of the control volumes whose
// water the stage keeps, with the water the pipes carried: over the whole
// network through every superlink (those of the groups with what they
// carried over all their own steps), in a group through its own. A
// superjunction gathers its superlinks' end water in the order of its list
// (by superlink number).
void net_inflows(pipe_state& p, const stage& st, double H, const passes& run) {
  superlink_scheme& s = p.solver;
  stage_links(p, st, run, [&](int l) {
    const int n = p.superlink_cnodes[l];
    const auto v = s.volume_moved.column(l);
    const auto qn = p.Q_node.column(l);
    auto net = s.node_net.column(l);
    for (int k = 2; k <= n; ++k) net[k] = v[k - 1] - v[k] + H * qn[k];
  });
  stage_junctions(p, st, run, [&](int j) {
    double net = H * p.junc_inflow[j];
    for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
      const int l = std::abs(s.junc_links[e]);
      if (st.group != 0 && s.link_group[l] != st.group) continue;
      if (s.junc_links[e] > 0)
        net -= s.volume_moved(1, l);
      else
        net += s.volume_moved(p.superlink_cnodes[l], l);
    }
    s.junc_net[j] = net;
  });
}

// Cuts the outflows of a control volume that would end below its floor to
// what it holds; the neighbours then receive less. Only the stage's own
// superlinks are cut: over the whole network the water the groups' ones
// carried is already kept. True when any was cut.
bool limit_outflows(pipe_state& p, const stage& st, double H, const passes& run) {
  superlink_scheme& s = p.solver;
  net_inflows(p, st, H, run);
  std::atomic<bool> cut{false};
  // Shares kept: 1 for every volume that stays above its floor.
  stage_junctions(p, st, run, [&](int j) {
    s.junc_keep[j] = 1.0;
    const int type = p.sjunc_inlet[j];
    if (is_boundary_junction(type) && !is_outfall(type)) return;  // a fixed head gives what it is asked
    // An outfall gives what it holds, in a group's steps less what the
    // group's earlier steps took.
    const double held = is_outfall(type) ? boundary_supply(p, j) + (st.group != 0 ? s.junc_sub_net[j] : 0.0)
                                         : s.junc_volume[j];
    if (held + s.junc_net[j] >= -1e-15 * std::max(held, 1.0)) return;
    double out = 0.0;
    for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
      const int l = std::abs(s.junc_links[e]);
      if (s.link_group[l] != st.group) continue;
      const double v = s.junc_links[e] > 0 ? s.volume_moved(1, l) : -s.volume_moved(p.superlink_cnodes[l], l);
      if (v > 0.0) out += v;
    }
    if (out <= 0.0) return;
    s.junc_keep[j] = std::clamp((held + s.junc_net[j] + out) / out, 0.0, 1.0);
    cut.store(true, std::memory_order_relaxed);
  });
  stage_links(p, st, run, [&](int l) {
    const int n = p.superlink_cnodes[l];
    const auto v = s.volume_moved.column(l);
    const auto net = s.node_net.column(l);
    const auto held = s.node_volume.column(l);
    const auto floor = s.node_floor.column(l);
    auto keep = s.node_keep.column(l);
    for (int k = 2; k <= n; ++k) {
      keep[k] = 1.0;
      if (held[k] + net[k] >= floor[k] - 1e-15 * std::max(held[k], 1.0)) continue;
      const double out = std::max(v[k], 0.0) + std::max(-v[k - 1], 0.0);
      if (out <= 0.0) continue;
      keep[k] = std::clamp((held[k] - floor[k] + net[k] + out) / out, 0.0, 1.0);
      cut.store(true, std::memory_order_relaxed);
    }
  });
  if (!cut.load()) return false;
  // Each pipe's water and flow take the share of the volume it leaves; a
  // superjunction the stage does not keep gives what it is asked.
  auto junction_keep = [&](int j) { return keeps(p, st, j) ? s.junc_keep[j] : 1.0; };
  stage_links(p, st, run, [&](int l) {
    const int n = p.superlink_cnodes[l];
    auto v = s.volume_moved.column(l);
    auto q = p.Q.column(l);
    const auto keep = s.node_keep.column(l);
    for (int k = 1; k <= n; ++k) {
      const double from_up = k == 1 ? junction_keep(p.us_sjunc[l]) : keep[k];
      const double from_down = k == n ? junction_keep(p.ds_sjunc[l]) : keep[k + 1];
      const double share = v[k] > 0.0 ? from_up : from_down;
      v[k] *= share;
      q[k] *= share;
    }
  });
  return true;
}

// The water every control volume of the stage holds after its step of H
// seconds, and the depths and heads that hold it; over the whole network
// what reaches the boundaries. The water a volume lacked to stay at its
// floor is added per superjunction and per superlink (junc_made,
// link_made). `outflow_passes` counts the passes of the outflow limits.
void keep_water(const superlink_domain& d, const stage& st, double H, superlink_books& b, const passes& run,
                int& outflow_passes) {
  pipe_state& p = d.p;
  superlink_scheme& s = p.solver;
  // Each pass finds the net inflows with the present water; the pass that
  // cuts nothing leaves them as they are.
  bool cut = true;
  for (int pass = 0; pass < most_limit_passes && cut; ++pass) {
    cut = limit_outflows(p, st, H, run);
    ++outflow_passes;
  }
  if (cut) net_inflows(p, st, H, run);
  stage_junctions(p, st, run, [&](int j) {
    if (is_boundary_junction(p.sjunc_inlet[j])) return;
    double target = s.junc_volume[j] + s.junc_net[j];
    if (target < 0.0) {
      s.junc_made[j] -= target;
      target = 0.0;
    }
    const double guess = std::max(s.rhs[j] - p.junc_invert_elev[j], 0.0);
    const held_depth hd = depth_holding([&](double v) { return junction_wet(p, j, v); }, target, guess, 0.0);
    p.junc_head[j] = p.junc_invert_elev[j] + hd.y;
    s.junc_known_head[j] = hd.known && p.junc_head[j] - p.junc_invert_elev[j] == hd.y ? p.junc_head[j] : -1e300;
    s.junc_known_area[j] = hd.at.area;
    s.junc_known_top[j] = hd.at.top;
    s.head_rate[j] = (p.junc_head[j] - s.head_start[j]) / H;
    s.rate_span[j] = H;
  });
  if (st.group == 0) {
    for (int j = 1; j <= p.num_sjunc; ++j) {
      if (!is_boundary_junction(p.sjunc_inlet[j])) continue;
      if (s.junc_net[j] != 0.0) deliver(d, j, s.junc_net[j], b);
      p.junc_head[j] = boundary_head(p, j);
    }
  } else {
    for (int i = s.group_first[st.group]; i < s.group_first[st.group + 1]; ++i) {
      const int j = s.group_junctions[i];
      if (is_boundary_junction(p.sjunc_inlet[j])) s.junc_sub_net[j] += s.junc_net[j];
    }
  }
  // The nodes of the stage's superlinks; the end depths of every superlink
  // touching the superjunctions the stage kept follow their heads.
  auto end_head = [&](int j) { return solved_in(p, st, j) ? p.junc_head[j] : network_head(s, j, st.t1); };
  auto nodes = [&](int l) {
    const int n = p.superlink_cnodes[l];
    auto y = p.slink_node_depth.column(l);
    if (s.link_group[l] == st.group) {
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
        const held_depth hd =
            depth_holding([&](double v) { return node_wet(p, k, l, v); }, target, guess, pipe_depth_floor);
        y[k] = hd.y;
        known_y[k] = hd.known ? hd.y : -1.0;
        known_area[k] = hd.at.area;
        known_top[k] = hd.at.top;
      }
      s.link_made[l] += made;
    }
    const double hus = end_head(p.us_sjunc[l]), hds = end_head(p.ds_sjunc[l]);
    y[1] = std::max(s.e1[l] * hus + s.f1[l] * p.Q(1, l) + s.g1[l], pipe_depth_floor);
    y[n + 1] = std::max(s.e2[l] * hds + s.f2[l] * p.Q(n, l) + s.g2[l], pipe_depth_floor);
  };
  if (st.group == 0) {
    run.over(p.num_slink, [&](int first, int last) {
      for (int l = first; l <= last; ++l) nodes(l);
    });
  } else {
    stage_links(p, st, run, nodes);
  }
}

// Free superjunction j at the start of a step of H seconds: its head, water
// and storage width there, and its head first guessed to go on as it went
// in the last step, by no more than a step may move it.
void start_junction(pipe_state& p, int j, double H) {
  superlink_scheme& s = p.solver;
  s.head_start[j] = p.junc_head[j];
  const double reach = head_move_share * s.junc_scale[j];
  s.guess[j] = std::max(p.junc_head[j] + std::clamp(s.head_rate[j] * H, -reach, reach), p.junc_invert_elev[j]);
  s.guess_move[j] = 0.0;
  const wet w = junction_water(p, j);
  s.junc_volume[j] = w.area;
  s.junc_width[j] = s.junc_start_top[j] = w.top;
}

// Superlink l at the start of a step of H seconds: its depths (raised to
// the shallowest) and flows, and the internal steps its Courant limit asks
// for over the step (the nodes' water at the start is found by its first
// internal step).
void start_link(pipe_state& p, int l, double H) {
  superlink_scheme& s = p.solver;
  const int n = p.superlink_cnodes[l];
  auto y = p.slink_node_depth.column(l);
  const auto q = p.Q.column(l);
  auto y0 = s.start_depth.column(l), q0 = s.start_flow.column(l);
  for (int k = 1; k <= n + 1; ++k) y0[k] = y[k] = std::max(y[k], pipe_depth_floor);
  for (int k = 1; k <= n; ++k) q0[k] = q[k];
  s.link_substeps[l] = steps_for(link_courant(p, l, y0.data(), s.n_veloc.column(l).data()), H);
  s.link_again[l] = s.link_shortened[l] = 0;
}

// The state a network step of H seconds starts from: every superjunction
// and superlink at its start (a fixed head guessed at the head it holds),
// none in a group yet.
void start_state(pipe_state& p, double H, const passes& run) {
  superlink_scheme& s = p.solver;
  run.over(p.num_sjunc, [&](int first, int last) {
    for (int j = first; j <= last; ++j) {
      s.junc_group[j] = 0;
      s.junc_made[j] = s.junc_sub_net[j] = 0.0;
      if (!is_boundary_junction(p.sjunc_inlet[j])) {
        start_junction(p, j, H);
        continue;
      }
      s.head_start[j] = p.junc_head[j];
      s.guess[j] = boundary_head(p, j);
      s.guess_move[j] = 0.0;
      s.junc_volume[j] = s.junc_width[j] = s.junc_start_top[j] = 0.0;
    }
  });
  run.over(p.num_slink, [&](int first, int last) {
    for (int l = first; l <= last; ++l) {
      s.link_group[l] = 0;
      s.link_made[l] = 0.0;
      start_link(p, l, H);
    }
  });
}

// ---- The groups' own steps.

}  // namespace

// The implicit step errs by half its step squared times the head's second
// derivative; the head the superjunction's last rate (over rate_span[j]
// seconds) would have reached differs from the solved one by H (H + span /
// 2) times it: the error is H / (2 H + span) of that difference.
double head_error(const superlink_scheme& s, int j, double H, double solved) {
  const double span = s.rate_span[j] > 0.0 ? s.rate_span[j] : H;
  const double off = solved - s.head_start[j] - s.head_rate[j] * H;
  return std::fabs(off) * H / (2.0 * H + span) / (head_error_share * s.junc_scale[j]);
}

namespace {

// After the solve over the whole network of a step of H seconds: the fast
// superjunctions gathered into groups (junc_group, link_group and the
// lists of each group), each group the fast free superjunctions joined by
// superlinks and the fixed heads beside them (a fixed head joins the
// groups beside it into one), in the order of their lowest superjunction.
// The number of groups, or -1 when a group has more than
// most_group_junctions free superjunctions (it is left out, its
// superjunctions outside the groups; every other group is kept).
int find_groups(pipe_state& p, double H, const passes& run) {
  superlink_scheme& s = p.solver;
  run.over(p.num_sjunc, [&](int first, int last) {
    for (int j = first; j <= last; ++j)
      s.junc_error[j] = is_boundary_junction(p.sjunc_inlet[j]) ? 0.0 : head_error(s, j, H, s.rhs[j]);
  });
  auto fast = [&](int j) { return !is_boundary_junction(p.sjunc_inlet[j]) && s.junc_error[j] > 1.0; };
  int groups = 0, filled = 1, links = 1;
  bool left_out = false;
  s.group_first[1] = 1;
  s.group_link_first[1] = 1;
  for (int j0 = 1; j0 <= p.num_sjunc; ++j0) {
    if (s.junc_group[j0] != 0 || !fast(j0)) continue;
    const int g = groups + 1;
    // Breadth first from j0, the group's list itself the queue.
    const int begin = filled;
    s.junc_group[j0] = g;
    s.group_junctions[filled++] = j0;
    int free_count = 0;
    double worst = 0.0;
    for (int i = begin; i < filled; ++i) {
      const int j = s.group_junctions[i];
      const bool is_free = !is_boundary_junction(p.sjunc_inlet[j]);
      if (is_free) {
        s.junc_slot[j] = ++free_count;
        worst = std::max(worst, s.junc_error[j]);
      }
      for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
        const int l = std::abs(s.junc_links[e]);
        if (is_free && s.link_group[l] != g) {
          s.link_group[l] = g;
          s.group_links[links++] = l;
        }
        const int o = far_junction(p, s.junc_links[e]);
        if (s.junc_group[o] != 0) continue;
        if (fast(o) || (is_free && is_boundary_junction(p.sjunc_inlet[o]))) {
          s.junc_group[o] = g;
          s.group_junctions[filled++] = o;
        }
      }
    }
    if (free_count > most_group_junctions) {
      for (int i = begin; i < filled; ++i) s.junc_group[s.group_junctions[i]] = -1;
      for (int i = s.group_link_first[g]; i < links; ++i) s.link_group[s.group_links[i]] = 0;
      filled = begin;
      links = s.group_link_first[g];
      left_out = true;
      continue;
    }
    s.group_error[g] = worst;
    s.group_size[g] = free_count;
    groups = g;
    s.group_first[g + 1] = filled;
    s.group_link_first[g + 1] = links;
  }
  if (left_out)
    for (int j = 1; j <= p.num_sjunc; ++j)
      if (s.junc_group[j] < 0) s.junc_group[j] = 0;
  s.groups = groups;
  return left_out ? -1 : groups;
}

// The state a step of h seconds of group g starts from: its free
// superjunctions and its superlinks at their start.
void group_start(pipe_state& p, int g, double h) {
  superlink_scheme& s = p.solver;
  for (int i = s.group_first[g]; i < s.group_first[g + 1]; ++i)
    if (!is_boundary_junction(p.sjunc_inlet[s.group_junctions[i]])) start_junction(p, s.group_junctions[i], h);
  for (int i = s.group_link_first[g]; i < s.group_link_first[g + 1]; ++i) start_link(p, s.group_links[i], h);
}

// Group g's superlinks over its step of h seconds (st), all or only those
// marked to run again; the first that fails is named in `failed`.
superlink_status run_group_links(pipe_state& p, const stage& st, double h, bool only_again, superlink_work& w,
                                 int& failed) {
  superlink_scheme& s = p.solver;
  for (int i = s.group_link_first[st.group]; i < s.group_link_first[st.group + 1]; ++i) {
    const int l = s.group_links[i];
    if (only_again && !s.link_again[l]) continue;
    if (only_again) ++w.runs;
    const superlink_status r = link_run(p, l, h, w, stage_ends(p, st, l));
    if (r != superlink_status::ok) {
      failed = l;
      return r;
    }
  }
  return superlink_status::ok;
}

// The heads of group g's free superjunctions at the end of its step of h
// seconds (into rhs): their rows, the heads of the superjunctions outside
// the group known, solved by LU in the part's own dense matrix.
superlink_status solve_group(pipe_state& p, const stage& st, double h, superlink_work& w) {
  superlink_scheme& s = p.solver;
  const int g = st.group, m = s.group_size[g];
  ++w.solves;
  for (int r = 1; r <= m; ++r)
    for (int c = 1; c <= m; ++c) w.dense[r][c] = 0.0;
  for (int i = s.group_first[g]; i < s.group_first[g + 1]; ++i) {
    const int j = s.group_junctions[i];
    if (is_boundary_junction(p.sjunc_inlet[j])) continue;
    junction_width(p, j);
    const int r = s.junc_slot[j];
    double known = 0.0;
    w.dense[r][r] += head_row(p, j, h, w.dense_rhs[r], [&](int e, double c) {
      const int o = far_junction(p, s.junc_links[e]);
      if (solved_in(p, st, o))
        w.dense[r][s.junc_slot[o]] += c;
      else
        known += c * network_head(s, o, st.t1);
    });
    w.dense_rhs[r] -= known;
  }
  double parity = 1.0;
  if (ludcmp(w.dense, m, w.dense_indx, parity, w.dense_scale) != numeric_status::ok)
    return superlink_status::singular;
  lubksb(w.dense, m, w.dense_indx, w.dense_rhs);
  for (int i = s.group_first[g]; i < s.group_first[g + 1]; ++i) {
    const int j = s.group_junctions[i];
    if (is_boundary_junction(p.sjunc_inlet[j])) continue;
    s.rhs[j] = w.dense_rhs[s.junc_slot[j]];
    if (!std::isfinite(s.rhs[j])) return superlink_status::not_finite;
  }
  return superlink_status::ok;
}

// One step of group g (st, h seconds): its superlinks, the heads of its
// free superjunctions, the superlinks those heads moved too far run again
// until none is (at most most_section_passes solves, the guesses moving as
// over the whole network); then the flows of its superlinks and the water
// of its control volumes. The largest head_error of its superjunctions
// over the step goes to `error`.
superlink_status group_step(const superlink_domain& d, const stage& st, double h, superlink_work& w, int& failed,
                            double& error) {
  pipe_state& p = d.p;
  superlink_scheme& s = p.solver;
  const int g = st.group;
  group_start(p, g, h);
  superlink_status r = run_group_links(p, st, h, false, w, failed);
  for (int pass = 1; r == superlink_status::ok; ++pass) {
    r = solve_group(p, st, h, w);
    if (r != superlink_status::ok) break;
    bool again = false;
    for (int i = s.group_link_first[g]; i < s.group_link_first[g + 1]; ++i) {
      const int l = s.group_links[i];
      const bool needed = link_needs_run(p, l, solved_head(p, st, p.us_sjunc[l]), solved_head(p, st, p.ds_sjunc[l]));
      s.link_again[l] = needed ? 1 : 0;
      again = again || needed;
    }
    if (!again || pass >= most_section_passes) break;
    for (int i = s.group_first[g]; i < s.group_first[g + 1]; ++i)
      if (!is_boundary_junction(p.sjunc_inlet[s.group_junctions[i]])) next_guess(s, s.group_junctions[i], pass);
    r = run_group_links(p, st, h, true, w, failed);
  }
  if (r != superlink_status::ok) return r;
  error = 0.0;
  for (int i = s.group_first[g]; i < s.group_first[g + 1]; ++i) {
    const int j = s.group_junctions[i];
    if (!is_boundary_junction(p.sjunc_inlet[j])) error = std::max(error, head_error(s, j, h, s.rhs[j]));
  }
  for (int i = s.group_link_first[g]; i < s.group_link_first[g + 1]; ++i) {
    const int l = s.group_links[i];
    link_end_state(p, l, solved_head(p, st, p.us_sjunc[l]), solved_head(p, st, p.ds_sjunc[l]));
  }
  // A group delivers nothing itself: what reached the fixed heads beside it
  // is delivered with the network step's water.
  superlink_books none;
  keep_water(d, st, h, none, passes{}, w.outflow_passes);
  return superlink_status::ok;
}

// Group g over the network step of H seconds in steps of its own: the
// first as short as its error over the whole step asks (the error falls
// with the square of the step), each next one as its last step's error
// asks, at most twice and at least half as long, none below
// least_group_step; the steps left are made equal. What its superlinks
// carried over all its steps is left in volume_moved for the superjunctions
// beside the group.
superlink_status group_steps(const superlink_domain& d, double H, int g, superlink_work& w, int& failed) {
  pipe_state& p = d.p;
  superlink_scheme& s = p.solver;
  auto step_for = [&](double h, double error) {
    const double grow = error > 0.0 ? std::clamp(step_safety / std::sqrt(error), 0.5, 2.0) : 2.0;
    return std::max(h * grow, least_group_step);
  };
  double want = std::max(H * std::min(1.0, step_safety / std::sqrt(s.group_error[g])), least_group_step);
  double done = 0.0;
  bool first = true;
  while (done < 1.0) {
    const double left = (1.0 - done) * H;
    const double count = std::ceil(left / want - 1e-9);
    const double h = left / count;
    const stage st{g, done, count <= 1.0 ? 1.0 : done + h / H};
    double error = 0.0;
    const superlink_status r = group_step(d, st, h, w, failed, error);
    if (r != superlink_status::ok) return r;
    ++w.group_steps;
    for (int i = s.group_link_first[g]; i < s.group_link_first[g + 1]; ++i) {
      const int l = s.group_links[i];
      const int n = p.superlink_cnodes[l];
      auto total = s.moved_total.column(l);
      const auto v = s.volume_moved.column(l);
      for (int k = 1; k <= n; ++k) total[k] = first ? v[k] : total[k] + v[k];
    }
    first = false;
    done = st.t1;
    want = step_for(h, error);
  }
  for (int i = s.group_link_first[g]; i < s.group_link_first[g + 1]; ++i) {
    const int l = s.group_links[i];
    const int n = p.superlink_cnodes[l];
    auto v = s.volume_moved.column(l);
    const auto total = s.moved_total.column(l);
    for (int k = 1; k <= n; ++k) v[k] = total[k];
  }
  return superlink_status::ok;
}

// Every group over the network step of H seconds, the groups shared among
// the threads; the first failure (by group) is the one reported.
superlink_status run_groups(const superlink_domain& d, double H, int& failed, const passes& run) {
  pipe_state& p = d.p;
  superlink_scheme& s = p.solver;
  for (superlink_work& w : s.work) w.steps = w.passes = w.runs = w.solves = w.group_steps = w.outflow_passes = 0;
  run.over_parts(s.groups, [&](int first, int last, int part) {
    superlink_work& w = s.work[part];
    for (int g = first; g <= last; ++g) {
      int bad = 0;
      s.group_status[g] = static_cast<int>(group_steps(d, H, g, w, bad));
      s.group_failed[g] = bad;
    }
  }, least_group_part);
  for (const superlink_work& w : s.work) {
    s.link_steps += w.steps;
    s.link_passes += w.passes;
    s.link_reruns += w.runs;
    s.group_solves += w.solves;
    s.group_steps += w.group_steps;
    s.outflow_passes += w.outflow_passes;
  }
  for (int g = 1; g <= s.groups; ++g)
    if (s.group_status[g] != static_cast<int>(superlink_status::ok)) {
      failed = s.group_failed[g];
      return static_cast<superlink_status>(s.group_status[g]);
    }
  return superlink_status::ok;
}

// One network step of H seconds: every superlink over the step with the
// heads it starts from; the heads that keep the superjunctions' water; the
// superlinks those heads moved too far run again with them, and the heads
// are solved again, until none is moved (the step settled) or
// most_section_passes solves; then the groups of fast superjunctions take
// the step in steps of their own, and the water of every other control
// volume is kept. A step that does not settle, or whose fast
// superjunctions make a group too large, is left untaken when `may_split`
// (kept false, the pipes as they were at its start) for the caller to
// take in shorter ones.
superlink_status network_step(const superlink_domain& d, double H, bool may_split, int& failed, superlink_books& b,
                              bool& kept) {
  pipe_state& p = d.p;
  superlink_scheme& s = p.solver;
  superlink_timing& t = s.timing;
  const passes run{d.crew};
  part_clock clock;
  kept = false;
  start_state(p, H, run);
  clock.lap(t.water);
  superlink_status st = run_links(p, H, false, failed, run);
  clock.lap(t.recurrences);
  bool settled = false;
  for (int pass = 1; st == superlink_status::ok; ++pass) {
    st = solve_heads(p, H, clock, run);
    clock.lap(t.solve);
    if (st != superlink_status::ok) break;
    settled = !check_links(p, run);
    clock.lap(t.flows);
    if (settled || pass >= most_section_passes) break;
    for (int j = 1; j <= p.num_sjunc; ++j)
      if (!is_boundary_junction(p.sjunc_inlet[j])) next_guess(s, j, pass);
    st = run_links(p, H, true, failed, run);
    clock.lap(t.recurrences);
    // Heads guessed so far off that a superlink's end flows have no
    // solution unsettle the step, which shorter ones may take.
    if (st == superlink_status::not_finite && may_split) {
      st = superlink_status::ok;
      settled = false;
      break;
    }
  }
  if (st != superlink_status::ok) return st;
  // A superjunction's head that moved too far for the superlinks' linear
  // relations to hold over the step unsettles it too.
  for (int j = 1; j <= p.num_sjunc && settled && may_split; ++j)
    if (!is_boundary_junction(p.sjunc_inlet[j]) &&
        std::fabs(s.rhs[j] - s.head_start[j]) > head_move_share * s.junc_scale[j])
      settled = false;
  const int groups = settled || !may_split ? find_groups(p, H, run) : 0;
  if ((!settled || groups < 0) && may_split) {
    ++s.split_steps;
    return superlink_status::ok;
  }
  clock.lap(t.flows);
  ++s.network_steps;
  run.over(p.num_slink, [&](int first, int last) {
    for (int l = first; l <= last; ++l)
      if (s.link_group[l] == 0) link_end_state(p, l, s.rhs[p.us_sjunc[l]], s.rhs[p.ds_sjunc[l]]);
  });
  clock.lap(t.flows);
  if (s.groups > 0) {
    st = run_groups(d, H, failed, run);
    clock.lap(t.groups);
    if (st != superlink_status::ok) return st;
  }
  keep_water(d, stage{}, H, b, run, s.outflow_passes);
  for (int j = 1; j <= p.num_sjunc; ++j) b.made += s.junc_made[j];
  for (int l = 1; l <= p.num_slink; ++l) b.made += s.link_made[l];
  clock.lap(t.water);
  kept = true;
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

static void superlink_scheme_scales(superlink_scheme& s, const pipe_state& p) {
  for (int j = 1; j <= p.num_sjunc; ++j) {
    double d = 0.0;
    for (int e = s.junc_first[j]; e < s.junc_first[j + 1]; ++e) {
      const int l = std::abs(s.junc_links[e]);
      d = std::max(d, p.diameter(s.junc_links[e] > 0 ? 1 : p.superlink_cnodes[l], l));
    }
    s.junc_scale[j] = d > 0.0 ? d : 1.0;
  }
}

bool superlink_scheme::prepare(const pipe_state& p) {
  const int rows = p.max_slink_nodes + 1, links = p.num_slink, nj = p.num_sjunc;
  for (column_array2d<double>* a : {&start_depth, &start_flow, &volume_moved, &moved_total, &n_veloc, &full_area, &full_wet_per, &node_volume,
                                    &node_net, &node_keep, &node_floor, &node_known_y,
                                    &node_known_area, &node_known_top})
    a->alloc(rows, links);
  for (column_array2d<head_affine>* a : {&end_depth, &end_flow, &carried}) a->alloc(rows, links);
  for (superlink_work& w : work) w.alloc(rows, std::min(nj, most_group_junctions));
  for (int l = 1; l <= links; ++l)
    for (int k = 1; k <= p.superlink_cnodes[l]; ++k) {
      const double d = p.diameter(k, l);
      const pipe_section_props g = pipe_section_geometry(d, d, p.width(k, l), p.sec_type(k, l));
      full_area(k, l) = g.area;
      full_wet_per(k, l) = g.wet_per;
    }
  node_known_y.fill(-1.0);
  for (array1d<double>* v : {&au, &bu, &cu, &ad, &bd, &cd, &e1, &f1, &g1, &e2, &f2, &g2}) v->alloc(links);
  for (array1d<double>* v : {&junc_known_head, &junc_known_area, &junc_known_top, &junc_scale, &head_start, &head_rate, &guess, &guess_move, &junc_width, &junc_start_top, &junc_volume, &junc_net, &junc_keep,
                             &junc_made, &rhs, &rate_span, &junc_error, &junc_sub_net, &group_error})
    v->alloc(nj);
  for (array1d<int>* v : {&junc_group, &junc_slot, &group_junctions, &group_size, &group_status, &group_failed})
    v->alloc(nj);
  group_first.alloc(nj + 1);
  group_link_first.alloc(nj + 1);
  group_links.alloc(std::max(links, 1));
  link_group.alloc(links);
  groups = 0;
  for (array1d<double>* v : {&link_made, &link_guess_us, &link_guess_ds, &link_reach}) v->alloc(links);
  junc_known_head.fill(-1e300);
  for (array1d<int>* v : {&link_substeps, &link_again, &link_shortened, &link_status}) v->alloc(links);
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
  superlink_scheme_scales(*this, p);
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

void superlink_work::alloc(int nodes, int group) {
  dense.alloc(group, group);
  for (array1d<double>* v : {&dense_rhs, &dense_scale}) v->alloc(group);
  dense_indx.alloc(group);
  const int n = nodes + 1;
  for (array1d<double>* v : {&A, &R, &vel, &u, &a, &b, &c, &friction, &E, &T, &U, &W, &O, &X, &Z, &y0_at, &cy, &cq, &dy, &dq, &v0, &t0,
                             &py, &pq})
    v->alloc(n);
  for (array1d<head_affine>* v : {&P, &D, &V, &Y, &y0, &q0, &y1, &q1}) v->alloc(n);
  up.alloc(n);
  down.alloc(n);
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
  // A superjunction or node still at the head or depth where the last step
  // found its water holds the water found there.
  const superlink_scheme& s = p.solver;
  for (int j = 1; j <= p.num_sjunc; ++j)
    if (!is_boundary_junction(p.sjunc_inlet[j])) v += junction_water(p, j).area;
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
  // Each superlink takes the internal steps its own pipes' Courant limit
  // asks for, at most most_link_steps in a network step: a call whose
  // fastest superlink would need more is cut into that many more network
  // steps.
  double most = 1.0;
  for (int l = 1; l <= p.num_slink; ++l) {
    const double dtc = link_courant(p, l, p.slink_node_depth.column(l).data(), s.n_veloc.column(l).data());
    if (dtc < dt && dt > least_internal_step) most = std::max(most, dt / std::max(dtc, least_internal_step));
  }
  const int steps = std::max(1, static_cast<int>(std::ceil(most / most_link_steps - 1e-9)));
  clock.lap(s.timing.exchange);
  // Network steps of dt / steps; one that does not settle (or moves a head
  // too far) is taken again in halves, while they are at least two
  // shortest internal steps, and the steps after it grow back by doubling.
  const double longest = dt / steps;
  double step = longest, elapsed = 0.0;
  while (elapsed < dt - 1e-12 * dt) {
    double h = std::min(step, dt - elapsed);
    if (dt - elapsed - h < 1e-9 * dt) h = dt - elapsed;
    bool kept = false;
    r.status = network_step(d, h, h >= 2.0 * least_internal_step, r.failed_link, b, kept);
    if (r.status != superlink_status::ok) {
      report(r.status, r.failed_link);
      return r;
    }
    if (!kept) {
      step = 0.5 * h;
      continue;
    }
    ++b.internal_steps;
    elapsed += h;
    step = std::min(2.0 * h, longest);
  }
  clock.restart();  // the network steps kept their own parts
  p.sl_drain_vol = pipe_network_volume(p);
  b.storage_end = p.sl_drain_vol;
  clock.lap(s.timing.exchange);
  return r;
}

}  // namespace nivra
