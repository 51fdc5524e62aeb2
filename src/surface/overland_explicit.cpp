// Explicit overland routing: a Manning flux through every right face and
// every lower face of every active cell, driven by the water-surface slope
// between the two cells. Fluxes of a sub-step are computed from the depths
// at its start and gathered in ov_dh; the depths change once both sweeps are
// done. Water flows from the cell whose surface is higher, out of what that
// cell holds above its retention. Stability is kept by the sub-step: a face
// that moves too much water, or a cell whose faces together take more than
// it holds, restarts the whole step on a third of the sub-step; and once the
// sub-step can no longer be divided, a cell's outflows are cut to the water
// it holds, so that no depth falls below zero.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/guarded_file.h"
#include "inputs/grid_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_common.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

constexpr int dir_x = 1;
constexpr int dir_y = 2;
constexpr int max_reductions = 5;  // divisions of the sub-step within one call
constexpr int reduced_calls = 4;   // further calls that start on a reduced sub-step

struct explicit_ctx {
  int n = 0;
  double dx = 0.0;
  double* h = nullptr;
  double* dh = nullptr;
  const double* z = nullptr;
  const double* ret = nullptr;
  const double* rough = nullptr;
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* above = nullptr;
  const double* sx = nullptr;
  const double* sy = nullptr;
  double* qx = nullptr;
  double* qy = nullptr;
  const int* dike = nullptr;     // null without a dike map
  const int* lake = nullptr;     // channel-lake number per cell, null without channel lakes
  const double* lake_elev = nullptr;
  const int* olake = nullptr;    // overland-lake id per cell (overland-lake variant only)
  olake_record* olake_table = nullptr;
  const int* wet = nullptr;      // wetland class per cell, null without wetlands
  const array2d<double>* wprops = nullptr;
  double* pw = nullptr;          // (h - retention)^(5/3) per cell, 0 where nothing flows
  double* share = nullptr;       // work array of the outflow limit, per cell
  const double* blocked = nullptr;  // blocked area fractions, null without blockage
  double* vol_x = nullptr;       // water each right face moved over the step (m3), null when not kept
  double* vol_y = nullptr;       // the same through each lower face
  bool lake_variant = false;     // channel or overland lakes on
  int outlet = 0;                // drained by normal depth after every sub-step, else 0
  double outlet_slope = 0.0;
  double outlet_volume = 0.0;    // drained in the step so far, m3
  edge_drain* edges = nullptr;   // the normal-depth boundary cells, drained with the outlet
  held_levels* held = nullptr;   // the cells that hold their level, null when none
  double held_gain = 0.0;        // entered the grid from them in the step so far, m3
  double held_loss = 0.0;        // left the grid into them in the step so far, m3
  bool quiet = false;
};

inline double manning_q(double S, double n, double d) {
  // q = sign(S) * sqrt(|S|) / n * d^(5/3) per unit width, linear in S below
  // linear_slope (slope_root)
  const double a = slope_root(std::fabs(S)) / n * std::pow(d, five_thirds);
  return S < 0.0 ? -a : a;
}

// Wetland face from wetland cell j (class props w) toward k. hk is the
// neighbour's depth (or the lake level above its ground).
double wetland_q(double S, double hj, double hk, bool k_wet, double ret_k, row_view<const double> w,
                 double nj, double nk) {
  const double Tw = w[wetland_prop::layer_thickness], Kw = w[wetland_prop::layer_conductivity];
  const double Db = w[wetland_prop::transition_depth], Cw = w[wetland_prop::linear_coef];
  const double nw = w[wetland_prop::manning_n];
  double b;
  if (S >= 0.0)
    b = hj - Tw;
  else
    b = k_wet ? hk - Tw : hk - ret_k;
  if (b <= 0.0) {
    if (S >= 0.0) return hj * S * Kw;
    return k_wet ? S * hk * Kw : 0.0;
  }
  if (k_wet) {
    double q = S * Tw * Kw;  // through the full layer
    const double d = (S < 0.0 ? hk : hj) - Tw;
    const double M = manning_q(S, nw, d);
    const double L = d * S * Cw;
    if (d > Db)
      q += M;
    else
      q += (1.0 - d / Db) * L + (d / Db) * M;
    return q;
  }
  if (S >= 0.0) return std::pow(b, five_thirds) * slope_root(S) / nk;
  return -slope_root(std::fabs(S)) / nj * std::pow(b, five_thirds);
}

inline bool is_wet(const explicit_ctx& c, int i) { return c.wet && wetland_cell(c.wet[i]); }

// The arrays of one sweep direction: neighbour, ground slope, face flux and
// the dike bit of the face.
struct sweep_arrays {
  const int* nb;
  const double* slope;
  double* q;
  int bit;
};

inline sweep_arrays arrays_of(const explicit_ctx& c, int dir) {
  if (dir == dir_x) return {c.right, c.sx, c.qx, cell_side::right};
  return {c.below, c.sy, c.qy, cell_side::bottom};
}

// Prints and counts a face that moves more than 6 cm of water out of cell j
// (loss, m) in one sub-step. Failures of channel-lake cells do not count.
int celerity_failure(const explicit_ctx& c, int dir, int j, double qf, double loss, double dts) {
  if (c.lake && lake_cell(c.lake[j])) return 0;
  if (!c.quiet) {
    msg_printf("  ]%c:_U_%2.4lf H%2.4lf Q:%4.2lf dt:%4.2lf j:%d\n", dir == dir_x ? 'x' : 'y', loss, -loss, qf, dts, j);
    msg_printf("    -> Cell Exceded Celerity Check\n");
  }
  return 1;
}

// Friction slope of an ordinary face: ground slope less the depth gradient.
inline double face_slope(const explicit_ctx& c, const double* slope, int j, int k, double eps) {
  return slope[j] - (c.h[k] - c.h[j]) / c.dx + eps;
}

// A face whose water surface is flat to within 1e-20 carries nothing (the
// flux goes to zero with the slope; slope_root).
inline bool flat(double S) { return std::fabs(S) <= 1e-20; }

// Stores the flux of face j -> k, moves its water between the two cells and,
// while testing, checks how much it takes from the cell the water leaves.
// Returns 1 for a counted failure.
[[gnu::always_inline]] inline int move_water(explicit_ctx& c, double* q, int dir, int j, int k, double qf,
                                             double dts, bool testing) {
  q[j] = qf;
  const double dd = dts * qf / c.dx;
  c.dh[j] -= dd;
  c.dh[k] += dd;
  if (!testing) return 0;
  const int from = qf >= 0.0 ? j : k;
  const double loss = std::fabs(c.blocked ? dd / open_share(c.blocked, from) : dd);  // from's depth falls by this
  return loss >= 0.06 ? celerity_failure(c, dir, from, qf, loss, dts) : 0;
}

// One sweep of the sub-step variants. General handles channel lakes and
// wetlands; the plain path serves grids without them. Returns the number of
// counted failures (0 when not testing).
template <bool General>
int substep_sweep(explicit_ctx& c, int dir, double dts, bool testing) {
  const int n = c.n;
  const double dx = c.dx;
  const auto [nb, slope, q, bit] = arrays_of(c, dir);
  const double eps = c.lake_variant ? 1e-20 : 1e-30;
  double* h = c.h;
  double* dh = c.dh;
  const double* ret = c.ret;
  const double* rough = c.rough;
  const double* pw = c.pw;
  int fails = 0;

  for (int j = 1; j <= n; ++j) {
    // Faces that are skipped carry nothing.
    const int k = nb[j];
    if (k == 0 || (c.dike && (c.dike[j] & bit))) {
      q[j] = 0.0;
      continue;
    }
    double qf;
    if constexpr (General) {
      const int Lj = c.lake ? c.lake[j] : no_lake;
      const int Lk = c.lake ? c.lake[k] : no_lake;
      if (lake_cell(Lj) && lake_cell(Lk)) {
        q[j] = 0.0;
        continue;
      }
      if (lake_cell(Lk)) {
        // Water between the cell and the lake next to it.
        const double level = c.lake_elev[Lk];
        const double S = (h[j] + c.z[j] - level) / dx + 1e-20;
        if (flat(S)) {
          qf = 0.0;
        } else if (is_wet(c, j)) {
          // Water the lake gives runs onto the wetland over its ground.
          const bool into_lake = S >= 0.0;
          qf = wetland_q(S, h[j], shore_depth(level, c.z[j]), into_lake && is_wet(c, k), into_lake ? ret[k] : 0.0,
                         (*c.wprops)[c.wet[j]], rough[j], rough[k]);
        } else {
          const double d = S > 0.0 ? h[j] - ret[j] : shore_depth(level, c.z[j]);
          qf = d > 0.0 ? manning_q(S, rough[j], d) : 0.0;
        }
        q[j] = qf;
        const double dd = dts * qf / dx;
        dh[j] -= dd;
        const double ddj = std::fabs(c.blocked ? dd / open_share(c.blocked, j) : dd);
        if (testing && ddj >= 0.06) fails += celerity_failure(c, dir, j, qf, ddj, dts);
        continue;
      }
      if (lake_cell(Lj)) {
        const double level = c.lake_elev[Lj];
        const double S = (level - (c.z[k] + h[k])) / dx;
        const double d = S > 0.0 ? shore_depth(level, c.z[k]) : h[k] - ret[k];
        qf = d > 0.0 ? manning_q(S, rough[k], d) : 0.0;
        q[j] = qf;
        const double dd = dts * qf / dx;
        dh[k] += dd;
        continue;  // a lake cell's failures do not count
      }
      if (is_wet(c, j)) {
        const double S = face_slope(c, slope, j, k, eps);
        qf = flat(S) ? 0.0
                     : wetland_q(S, h[j], h[k], is_wet(c, k), ret[k], (*c.wprops)[c.wet[j]], rough[j],
                                 rough[k]);
        fails += move_water(c, q, dir, j, k, qf, dts, testing);
        continue;
      }
    }
    // Ordinary face: the water leaves the cell upwind, from what it holds
    // above its retention depth (pw is 0 where it holds no more).
    const double S = face_slope(c, slope, j, k, eps);
    const double p = flat(S) ? 0.0 : pw[S >= 0.0 ? j : k];  // flowing depth to the 5/3
    if (p > 0.0) {
      const double a = slope_root(std::fabs(S)) / rough[j] * p;
      qf = S < 0.0 ? -a : a;
    } else {
      qf = 0.0;
    }
    fails += move_water(c, q, dir, j, k, qf, dts, testing);
  }
  return fails;
}

int sweep(explicit_ctx& c, bool general, int dir, double dts, bool testing) {
  return general ? substep_sweep<true>(c, dir, dts, testing)
                 : substep_sweep<false>(c, dir, dts, testing);
}

// Calls f(q, L, land) for every face between a cell of channel lake L and a
// land cell (`land`), with the face's flux q, once per face; a face closed
// by a dike carried nothing.
template <class F>
void for_each_shore_face(const explicit_ctx& c, F&& f) {
  for (int i = 1; i <= c.n; ++i) {
    for (int dir = dir_x; dir <= dir_y; ++dir) {
      const int bit = dir == dir_x ? cell_side::right : cell_side::bottom;
      if (c.dike && (c.dike[i] & bit)) continue;
      const int k = dir == dir_x ? c.right[i] : c.below[i];
      if (k == 0) continue;
      const int Li = c.lake[i], Lk = c.lake[k];
      if (lake_cell(Li) == lake_cell(Lk)) continue;
      f(dir == dir_x ? c.qx[i] : c.qy[i], lake_cell(Li) ? Li : Lk, lake_cell(Li) ? k : i);
    }
  }
}

// Volumes that crossed the shore of the channel lakes in one sub-step.
void lake_exchange(lake_state& lakes, const explicit_ctx& c, double dts) {
  for_each_shore_face(c, [&](double qf, int L, int land) {
    const double V = std::fabs(c.dx * qf * dts);
    const double s = c.z[land] + c.h[land];
    if (s > lakes.lake_elev[L]) {
      lakes.lake_volume[L] += V;
      lakes.lake_in_dv[L] += V;
    } else if (s < lakes.lake_elev[L]) {
      lakes.lake_volume[L] -= V;
      lakes.lake_out_dv[L] += V;
    }
  });
}

// A channel lake never gives more over its shore in a sub-step than it
// holds: where the faces of both sweeps would take more than its volume,
// every face it gives through (the land beside it lower than its level, as
// lake_exchange takes it) is cut by the same share, and the land cell gets
// that much less (given: a work array, per lake).
void limit_lake_outflow(explicit_ctx& c, const lake_state& lakes, double dts, double* given) {
  // Calls f(q, L, land) for every face through which lake L gives water.
  auto each_giving_face = [&](auto&& f) {
    for_each_shore_face(c, [&](double& q, int L, int land) {
      if (c.z[land] + c.h[land] < lakes.lake_elev[L]) f(q, L, land);
    });
  };
  const int count = lakes.num_lakes;
  std::fill(given, given + count + 1, 0.0);
  bool any = false;
  each_giving_face([&](double& q, int L, int) {
    given[L] += std::fabs(c.dx * q * dts);
    any = true;
  });
  if (!any) return;
  bool cut = false;
  for (int L = 1; L <= count; ++L) {
    const double held = std::fmax(lakes.lake_volume[L], 0.0);
    given[L] = given[L] > held ? held / given[L] : 1.0;
    cut = cut || given[L] < 1.0;
  }
  if (!cut) return;
  each_giving_face([&](double& q, int L, int land) {
    if (given[L] >= 1.0) return;
    c.dh[land] -= (1.0 - given[L]) * std::fabs(dts * q / c.dx);
    q *= given[L];
  });
}

// True when the changes gathered in dh would take a cell outside the lakes
// (skip[i] marks a lake cell; null: no lakes) below zero.
bool some_cell_below_zero(const explicit_ctx& c, const int* skip) {
  const int n = c.n;
  const double* h = c.h;
  const double* dh = c.dh;
  if (!skip && !c.blocked) {
    std::uint64_t bits = 0;  // the sign bits of the new depths
    for (int i = 1; i <= n; ++i) bits |= std::bit_cast<std::uint64_t>(h[i] + dh[i]);
    return doubtful(bits);
  }
  for (int i = 1; i <= n; ++i)
    if (h[i] + dh[i] / open_share(c.blocked, i) < 0.0 && !(skip && lake_cell(skip[i]))) return true;
  return false;
}

// Prints and counts the cells outside the channel lakes that the fluxes of
// the sub-step would take more than 0.1 mm below zero: their outflows
// through all their faces exceed their water.
int overdrawn_cells(const explicit_ctx& c, double dts) {
  int fails = 0;
  for (int i = 1; i <= c.n; ++i) {
    const double hn = c.h[i] + c.dh[i] / open_share(c.blocked, i);
    if (hn >= -0.0001 || (c.lake && lake_cell(c.lake[i]))) continue;
    if (!c.quiet) {
      msg_printf("  ]xy: h+dh < 0.00   (h+dh=%lf)  j:%d dt:%4.2lf\n", hn, i, dts);
      msg_printf("    -> Outflow Exceeded Water Depth\n");
    }
    ++fails;
  }
  return fails;
}

// Calls f(q, j, k, from) for every face of the directions dir_first..dir_last
// whose flux q[j] (between j and k) carries water out of the cell from,
// when that cell is outside the lakes (skip).
template <class F>
void for_each_outflow(const explicit_ctx& c, const int* skip, int dir_first, int dir_last, F f) {
  for (int dir = dir_first; dir <= dir_last; ++dir) {
    const sweep_arrays a = arrays_of(c, dir);
    for (int j = 1; j <= c.n; ++j) {
      const int k = a.nb[j];
      if (k == 0 || a.q[j] == 0.0) continue;
      const int from = a.q[j] > 0.0 ? j : k;
      if (!(skip && lake_cell(skip[from]))) f(a.q, j, k, from);
    }
  }
}

// A cell never gives more water than it holds. Once the fluxes gathered in
// dh for the directions dir_first..dir_last would take a cell below zero,
// every cell's outflow through those faces is cut to at most the water it
// holds (on its open part), all its outgoing faces by the same fraction;
// lake cells (skip) are not cut. Inflows are not touched, so a cell that now
// receives less still ends at zero or above. The cut fluxes stay in q, and
// dh follows them.
void limit_outflows(explicit_ctx& c, const int* skip, int dir_first, int dir_last, double dts) {
  const int n = c.n;
  const double* h = c.h;
  double* dh = c.dh;
  // Each cell's outflow (depth over the whole cell), then the share of it
  // the cell can give.
  double* share = c.share;
  std::memset(share, 0, sizeof(double) * (static_cast<std::size_t>(n) + 1));
  const double depth_per_flux = dts / c.dx;
  for_each_outflow(c, skip, dir_first, dir_last,
                   [&](const double* q, int j, int, int from) { share[from] += std::fabs(q[j]) * depth_per_flux; });
  for (int i = 1; i <= n; ++i) {
    const double held = std::fmax(h[i], 0.0) * open_share(c.blocked, i);
    share[i] = share[i] > held ? held / share[i] : 1.0;
  }
  for_each_outflow(c, skip, dir_first, dir_last, [&](double* q, int j, int k, int from) {
    if (share[from] >= 1.0) return;
    const double held_back = q[j] * (1.0 - share[from]);
    q[j] -= held_back;
    const double dd = held_back * depth_per_flux;
    if (!(skip && lake_cell(skip[j]))) dh[j] += dd;
    if (!(skip && lake_cell(skip[k]))) dh[k] -= dd;
  });
}

// Adds the changes gathered in dh to the depths of the cells outside the
// lakes (skip[i] marks a lake cell; null: no lakes) and clears them. A
// blocked cell spreads its change over its open part. After a cut of the
// outflows (limited) a cell emptied to the last drop may come out a
// rounding error below zero: it is set to zero.
void apply_depth_changes(explicit_ctx& c, const int* skip, bool limited) {
  const int n = c.n;
  double* h = c.h;
  double* dh = c.dh;
  if (!skip && !c.blocked) {
    for (int i = 1; i <= n; ++i) {
      h[i] += dh[i];
      dh[i] = 0.0;
    }
  } else {
    for (int i = 1; i <= n; ++i) {
      if (skip && lake_cell(skip[i])) continue;
      h[i] += c.blocked ? dh[i] / open_share(c.blocked, i) : dh[i];
      dh[i] = 0.0;
    }
  }
  if (!limited) return;
  for (int i = 1; i <= n; ++i)
    if (h[i] < 0.0 && !(skip && lake_cell(skip[i]))) h[i] = 0.0;
}

// The outlet drains by normal depth with every sub-step, by the depth it
// keeps at the sub-step's end (drain_by_normal_depth); the volume joins the
// step's. An outlet that holds its level passes what its faces bring
// (hold_levels).
void drain_outlet(explicit_ctx& c, double* h, double dts) {
  const int o = c.outlet;
  if (o == 0 || (c.held && !c.held->follows.empty() && c.held->follows[o] == 0.0)) return;
  c.outlet_volume += drain_by_normal_depth(h[o], dts, c.dx * c.dx * open_share(c.blocked, o), c.dx, c.rough[o],
                                           c.outlet_slope);
}

void zero(double* a, int n) { std::memset(a, 0, sizeof(double) * (static_cast<std::size_t>(n) + 1)); }

// The cells that hold their level keep through every sub-step the depth
// they had at the start of the step (level, set by the boundary step): the
// water the faces moved into one leaves the grid and is noted for the
// constituents, the water they moved out of it enters the grid; the
// outlet's goes to the outlet's volume. The flowing depths pw follow when
// given.
void hold_levels(explicit_ctx& c, const double* level, double* h, double* pw) {
  if (!c.held) return;
  const double area = c.dx * c.dx;
  for (std::size_t k = 0; k < c.held->cell.size(); ++k) {
    const int i = c.held->cell[k];
    const double v = (h[i] - level[i]) * area * open_share(c.blocked, i);
    h[i] = level[i];
    if (pw) {
      const double d = h[i] - c.ret[i];
      pw[i] = d > 0.0 ? pow_five_thirds(d) : 0.0;
    }
    if (i == c.outlet) {
      c.outlet_volume += v;
    } else if (v > 0.0) {
      c.held_loss += v;
      c.held->out[k] += v;
    } else {
      c.held_gain += -v;
    }
  }
}

// A new attempt at the step: nothing has passed through the held cells yet.
void restart_held(explicit_ctx& c) {
  c.held_gain = c.held_loss = 0.0;
  if (c.held) std::fill(c.held->out.begin(), c.held->out.end(), 0.0);
}

// The sub-step a call of dt seconds starts on: the reduced one while calls
// of it are left, else dt again (said once when it comes back).
double starting_sub_step(explicit_scheme& s, double dt, bool quiet) {
  if (s.reduced_countdown >= 1) {
    s.reduced_active = 1;
    s.reduced_countdown -= 1;
    return s.reduced_dt;
  }
  if (s.reduced_active) {
    if (!quiet) msg_printf("Resetting time step to %4.2lf for overland flow...\n", dt);
    s.reduced_active = 0;
  }
  return dt;
}

// After a counted failure: a sub-step that can still be divided is cut to a
// third and held for the next calls (true: the step starts again); a
// sub-step of 5 ms or less, or one divided max_reductions times in this call
// already, goes on with the tests off (false).
bool shorten_sub_step(explicit_scheme& s, double& dts, int& reductions, bool& testing, bool quiet) {
  if (dts <= 0.005) {
    testing = false;
    return false;
  }
  if (reductions < max_reductions) {
    ++reductions;
    dts /= 3.0;
    if (!quiet) msg_printf(" *Changing overland time step to %4.2lf seconds...\n", dts);
    s.reduced_dt = dts;
    s.reduced_countdown = reduced_calls;
    s.restarts += 1;
    return true;
  }
  if (!quiet) msg_printf(" *Time step to small to divide, continuing with current time step\n");
  testing = false;
  return false;
}

// The water the faces of the directions dir_first..dir_last moved in a
// sub-step of dts seconds joins the step's face volumes (when kept).
void add_face_volumes(const explicit_ctx& c, int dir_first, int dir_last, double dts) {
  if (!c.vol_x) return;
  const double f = dts * c.dx;
  for (int dir = dir_first; dir <= dir_last; ++dir) {
    const double* q = dir == dir_x ? c.qx : c.qy;
    double* v = dir == dir_x ? c.vol_x : c.vol_y;
    for (int j = 1; j <= c.n; ++j) v[j] += q[j] * f;
  }
}

// Back to the state at the start of the step: depths, lakes, fluxes, face
// volumes.
void restore_step_start(const explicit_scheme& s, lake_state& lakes, explicit_ctx& c) {
  const int n = c.n;
  std::memcpy(c.h, s.depth_save.data(), sizeof(double) * (static_cast<std::size_t>(n) + 1));
  zero(c.dh, n);
  zero(c.qx, n);
  zero(c.qy, n);
  if (c.vol_x) {
    zero(c.vol_x, n);
    zero(c.vol_y, n);
  }
  c.outlet_volume = 0.0;
  c.edges->restart();
  restart_held(c);
  if (c.lake) {
    for (int L = 1; L <= lakes.num_lakes; ++L) {
      lakes.lake_elev[L] = s.lake_elev_save[L];
      lakes.lake_volume[L] = s.lake_volume_save[L];
      lakes.lake_in_dv[L] = 0.0;
      lakes.lake_out_dv[L] = 0.0;
    }
  }
}

// The longest stable sub-step of the depths of a grid with channel lakes or
// wetlands (flowing depths in pw): the bound of its ordinary faces. A face
// into a lake moves water toward a level the sub-step does not change, and a
// wetland moves its water through its layer by its own laws.
double general_stable_step(const explicit_ctx& c) {
  double m = 0.0;
  for (int dir = dir_x; dir <= dir_y; ++dir) {
    const auto [nb, slope, q, bit] = arrays_of(c, dir);
    for (int j = 1; j <= c.n; ++j) {
      const int k = nb[j];
      if (k == 0 || (c.dike && (c.dike[j] & bit))) continue;
      if (c.lake && (lake_cell(c.lake[j]) || lake_cell(c.lake[k]))) continue;
      if (is_wet(c, j) || is_wet(c, k)) continue;
      const double S = face_slope(c, slope, j, k, 1e-20);
      const double D = face_diffusivity(c.pw[S >= 0.0 ? j : k], c.rough[j], S);
      m = D > m ? D : m;
    }
  }
  return stable_sub_step(explicit_stable_factor, c.dx, m);
}

// Sub-step variants (no overland lakes, or channel lakes on).
overland_status route_substeps(explicit_scheme& s, lake_state& lakes, explicit_ctx& c, double dt) {
  const int n = c.n;
  const bool quiet = c.quiet;
  const bool chan_lakes = c.lake != nullptr;
  const bool general = chan_lakes || c.wet != nullptr;

  // The depths at the start of the step are saved and checked in one pass.
  double* save = s.depth_save.data();
  std::uint64_t bits = 0;
  for (int i = 0; i <= n; ++i) {
    save[i] = c.h[i];
    bits |= doubt_bits(c.h[i]);
  }
  if (doubtful(bits)) {
    const overland_status status = check_entry_depths(c.h, n);
    if (status != overland_status::ok) return status;
    std::memcpy(save, c.h, sizeof(double) * (static_cast<std::size_t>(n) + 1));
  }

  double dts = starting_sub_step(s, dt, quiet);
  if (c.vol_x) {
    zero(c.vol_x, n);
    zero(c.vol_y, n);
  }
  if (chan_lakes) {
    for (int L = 1; L <= lakes.num_lakes; ++L) {
      s.lake_elev_save[L] = lakes.lake_elev[L];
      s.lake_volume_save[L] = lakes.lake_volume[L];
    }
  }
  zero(c.dh, n);

  const int first = s.sweep_toggle == 0 ? dir_x : dir_y;
  const int second = first == dir_x ? dir_y : dir_x;
  int reductions = 0;
  bool testing = true;

  // After a counted failure the step may start again, on a shorter sub-step,
  // from the saved state (shorten_sub_step).
  // The sub-step that failed is the one divided (the stable bound may have
  // kept it below the rules' sub-step).
  auto restart_shorter = [&](double failed) {
    dts = failed;
    if (!shorten_sub_step(s, dts, reductions, testing, quiet)) return false;
    restore_step_start(s, lakes, c);
    return true;
  };

  // An attempt runs sub-steps to the end of the step. A face that moves too
  // much water, or a cell whose faces together take more than it holds,
  // ends it early when the sub-step can still be divided.
  for (bool done = false; !done;) {
    done = true;
    double elapsed = 0.0;
    while (done && dt - elapsed > 0.0001) {
      s.substeps += 1;
      for (int i = 1; i <= n; ++i) {
        const double d = c.h[i] - c.ret[i];
        c.pw[i] = d > 0.0 ? std::pow(d, five_thirds) : 0.0;
      }
      // The sub-step of the rules above, kept to the stable bound of the
      // depths at its start; a failure divides the rules' sub-step.
      const double step = bounded_sub_step(dts, general_stable_step(c), dt - elapsed);
      for (int pass = 0; pass < 2 && done; ++pass) {
        const int fails = sweep(c, general, pass == 0 ? first : second, step, testing);
        if (testing && fails > 0 && restart_shorter(step)) done = false;
      }
      if (!done) break;
      if (chan_lakes) limit_lake_outflow(c, lakes, step, s.lake_given.data());
      const bool short_of_water = some_cell_below_zero(c, c.lake);
      if (short_of_water && testing && overdrawn_cells(c, step) > 0 && restart_shorter(step)) {
        done = false;
        break;
      }
      if (short_of_water) limit_outflows(c, c.lake, dir_x, dir_y, step);
      add_face_volumes(c, dir_x, dir_y, step);
      if (chan_lakes) lake_exchange(lakes, c, step);
      apply_depth_changes(c, c.lake, short_of_water);
      hold_levels(c, save, c.h, nullptr);
      drain_outlet(c, c.h, step);
      c.edges->drain_all(c.h, step);
      elapsed += step;
    }
  }
  return overland_status::ok;
}

// Overland-lake variant: one x sweep and one y sweep on the full step, the
// depths updated after each; lake cells gather the water that crossed their
// shore in the lake's exchange volume.
void olake_sweep(explicit_ctx& c, int dir, double dt) {
  const int n = c.n;
  const double dx = c.dx;
  const auto [nb, slope, q, bit] = arrays_of(c, dir);
  double* h = c.h;
  const double* ret = c.ret;
  const double* rough = c.rough;
  for (int j = 1; j <= n; ++j) {
    const int k = nb[j];
    const int Lj = c.olake[j], Lk = k ? c.olake[k] : no_lake;
    if (k == 0 || (c.dike && (c.dike[j] & bit)) || (lake_cell(Lj) && lake_cell(Lk))) {
      q[j] = 0.0;  // skipped faces carry nothing
      continue;
    }
    double qf;
    if (lake_cell(Lk)) {
      const double level = c.olake_table[Lk].value[olake_value::level];
      const double S = (h[j] + c.z[j] - level) / dx;
      if (is_wet(c, j)) {
        // Water the lake gives runs onto the wetland over its ground.
        const bool into_lake = S >= 0.0;
        qf = wetland_q(S, h[j], olake_shore_depth(c.olake_table[Lk], c.z[j]), into_lake && is_wet(c, k),
                       into_lake ? ret[k] : 0.0, (*c.wprops)[c.wet[j]], rough[j], rough[k]);
      } else {
        const double d = S >= 0.0 ? h[j] - ret[j] : olake_shore_depth(c.olake_table[Lk], c.z[j]);
        qf = d > 0.0 ? manning_q(S, rough[j], d) : 0.0;
      }
      q[j] = qf;
      c.dh[j] -= dt * qf / dx;
      continue;
    }
    if (lake_cell(Lj)) {
      const double level = c.olake_table[Lj].value[olake_value::level];
      const double S = (level - (h[k] + c.z[k])) / dx;
      const double d = S > 0.0 ? olake_shore_depth(c.olake_table[Lj], c.z[k]) : h[k] - ret[k];
      qf = d > 0.0 ? manning_q(S, rough[k], d) : 0.0;
      q[j] = qf;
      c.dh[k] += dt * qf / dx;
      continue;
    }
    const double S = face_slope(c, slope, j, k, 1e-20);
    if (flat(S)) {
      qf = 0.0;
    } else if (is_wet(c, j)) {
      qf = wetland_q(S, h[j], h[k], is_wet(c, k), ret[k], (*c.wprops)[c.wet[j]], rough[j], rough[k]);
    } else {
      const double d = S >= 0.0 ? h[j] - ret[j] : h[k] - ret[k];
      qf = d > 0.0 ? manning_q(S, rough[j], d) : 0.0;
    }
    q[j] = qf;
    const double dd = dt * qf / dx;
    c.dh[j] -= dd;
    c.dh[k] += dd;
  }
  const bool limited = some_cell_below_zero(c, c.olake);
  if (limited) limit_outflows(c, c.olake, dir, dir, dt);
  add_face_volumes(c, dir, dir, dt);
  // What crossed a lake shore joins the lake's exchange volume.
  for (int j = 1; j <= n; ++j) {
    const int k = nb[j];
    if (k == 0) continue;
    const bool lj = lake_cell(c.olake[j]), lk = lake_cell(c.olake[k]);
    if (lk && !lj)
      c.olake_table[c.olake[k]].value[olake_value::exchange] += dt * q[j] * dx;
    else if (lj && !lk)
      c.olake_table[c.olake[j]].value[olake_value::exchange] -= dt * q[j] * dx;
  }
  apply_depth_changes(c, c.olake, limited);
}


// ---------------------------------------------------------------- plain grids
// Grids without channel lakes or wetlands: every face is an ordinary face or
// one a dike closes, which carries nothing. The grid steps in blocks of
// cells, each on a sub-step of its own (route_plain_substeps); a pass over
// the blocks that step is two parts, each split among the run's threads:
//   - faces: the flux of every right and lower face of those blocks from
//     the depths at the start of the pass, kept as the depth it moves in
//     its block's sub-step, dd = dts q / dx (in move_x and move_y), and the
//     checks of the water each face takes; a face's last pass of the step
//     keeps its discharge q dx too;
//   - cells: every cell those faces reach gathers its change from its four
//     faces in the order the sweeps meet them (0 from a face that does not
//     step), its new depth, and its flowing depth to the 5/3 for the next
//     pass.
// Both parts run strip by strip (grid_strips), where every neighbour is at
// a fixed distance and the loops vectorise; the last face of a strip, whose
// neighbour may lie elsewhere, is taken on its own. A closed or missing face
// moves 0, so that a cell's left face is always the right face of the cell
// before it. The depths at the start of the step stay in place for a
// restart, and the cells keep their depths at the start of a pass for the
// rare pass in which some cell gives more than it holds.

struct plain_grid {
  int n = 0;
  double dx = 0.0;
  const double* ret = nullptr;
  const double* rough = nullptr;
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* above = nullptr;
  const double* sx = nullptr;
  const double* sy = nullptr;
  const int* dike = nullptr;        // null without a dike map
  const double* blocked = nullptr;  // null without blockage
  const grid_strips* strips = nullptr;
  double* keep_x = nullptr;         // discharges kept by the face passes that keep them (face_output::both)
  double* keep_y = nullptr;
};

// The neighbour across the side `bit` of cell j, 0 where there is none or a
// dike closes the face.
inline int open_neighbour(const int* nb, const int* dike, int bit, int j) {
  return dike && (dike[j] & bit) ? 0 : nb[j];
}

// Unit-width flux of a face from the depths and flowing depths to the 5/3 of
// its two cells (j the cell whose face it is, k the neighbour), before the
// test of its flowing depth: +-0 where that is 0.
[[gnu::always_inline]] inline double face_q_raw(double dx, double slope, double rough, double hj, double hk,
                                                double pj, double pk, double& p) {
  const double S = slope - (hk - hj) / dx + 1e-30;
  p = flat(S) ? 0.0 : (S >= 0.0 ? pj : pk);
  const double a = slope_root(std::fabs(S)) / rough * p;
  return S < 0.0 ? -a : a;
}

// The face rule of the sweeps (`open`: the face exists and is open).
[[gnu::always_inline]] inline double face_q(double dx, double slope, double rough, double hj, double hk, double pj,
                                            double pk, bool open) {
  double p;
  const double q = face_q_raw(dx, slope, rough, hj, hk, pj, pk, p);
  return open && p > 0.0 ? q : 0.0;
}

// The same for the face j -> k read from the arrays (k = 0: no face).
inline double face_q_at(const plain_grid& g, const double* h, const double* pw, const double* slope, int j, int k) {
  return face_q(g.dx, slope[j], g.rough[j], h[j], h[k], pw[j], pw[k], k != 0);
}

// The depth a face takes from the cell its water leaves: dd over the open
// share of that cell (bj, bk: the blocked shares of the two cells).
template <bool Blocked>
[[gnu::always_inline]] inline double face_loss(double q, double dd, double bj, double bk) {
  if constexpr (Blocked) {
    const double b = q >= 0.0 ? bj : bk;
    return std::fabs(dd / (b < 1.0 ? 1.0 - b : 1.0));
  }
  return std::fabs(dd);
}

// (depth - retention)^(5/3) of the cells first..last, 0 where the cell holds
// no more than its retention; the doubt bits of the depths (doubt_bits).
NIVRA_HOT std::uint64_t flow_depth_pass(const plain_grid& g, const double* __restrict h, double* __restrict pw,
                                        int first, int last) {
  const double* __restrict ret = g.ret;
  std::uint64_t bits = 0;
  for (int i = first; i <= last; ++i) {
    bits |= doubt_bits(h[i]);
    const double d = h[i] - ret[i];
    const double p = pow_five_thirds(d);
    pw[i] = d > 0.0 ? p : 0.0;
  }
  return bits;
}

// The sign bit of the result is set when loss >= 0.06, the celerity limit: a
// bit the face loops can or together (a test of the doubles is not).
constexpr double below_celerity_limit = std::bit_cast<double>(std::bit_cast<std::uint64_t>(0.06) - 1);
[[gnu::always_inline]] inline std::uint64_t over_limit_bits(double loss) {
  return std::bit_cast<std::uint64_t>(below_celerity_limit - loss);
}

// What the face passes store for a face: the depth it moves in the sub-step
// (dts q / dx), and (both) in the grid's keep_x and keep_y its discharge
// q dx too.
enum class face_output { depth_moved, both };

// The faces of the cells b..e of a strip, each with an open right face to
// the next cell and its lower face `down` cells on (HasDown). Flags of the
// faces that take 6 cm or more from a cell while testing.
template <face_output Out, bool HasDown, bool Blocked, bool Testing>
NIVRA_HOT void face_run(const plain_grid& g, const double* __restrict h, const double* __restrict pw, double f, int b, int e,
              int down, double* __restrict ox, double* __restrict oy, std::uint64_t& fails_x,
              std::uint64_t& fails_y) {
  const double dx = g.dx;
  const double* __restrict sx = g.sx;
  const double* __restrict sy = g.sy;
  const double* __restrict rough = g.rough;
  const double* __restrict blocked = g.blocked;
  std::uint64_t fx = 0, fy = 0;
  for (int j = b; j <= e; ++j) {
    const int ky = HasDown ? j + down : j;
    double px, py;
    const double rx = face_q_raw(dx, sx[j], rough[j], h[j], h[j + 1], pw[j], pw[j + 1], px);
    const double ry = face_q_raw(dx, sy[j], rough[j], h[j], h[ky], pw[j], pw[ky], py);
    // The depth the raw flux moves is the face's where its flowing depth is
    // above 0, and 0 (as the face moves) elsewhere: one division serves the
    // face and its test, and the test is free of choices.
    const double mx = f * rx / dx;
    const double my = f * ry / dx;
    ox[j] = px > 0.0 ? mx : 0.0;
    oy[j] = HasDown && py > 0.0 ? my : 0.0;
    if constexpr (Out == face_output::both) {
      g.keep_x[j] = px > 0.0 ? rx * dx : 0.0;
      g.keep_y[j] = HasDown && py > 0.0 ? ry * dx : 0.0;
    }
    if constexpr (Testing) {
      const double bj = Blocked ? blocked[j] : 0.0;
      fx |= over_limit_bits(face_loss<Blocked>(rx, mx, bj, Blocked ? blocked[j + 1] : 0.0));
      if constexpr (HasDown) fy |= over_limit_bits(face_loss<Blocked>(ry, my, bj, Blocked ? blocked[ky] : 0.0));
    }
  }
  fails_x |= fx;
  fails_y |= fy;
}

// The last cell of a strip, whose neighbours are read from the arrays.
template <face_output Out, bool Blocked, bool Testing>
void face_last(const plain_grid& g, const double* h, const double* pw, double f, int j, double* ox, double* oy,
               std::uint64_t& fails_x, std::uint64_t& fails_y) {
  const int kx = open_neighbour(g.right, g.dike, cell_side::right, j);
  const int ky = open_neighbour(g.below, g.dike, cell_side::bottom, j);
  const double qx = face_q_at(g, h, pw, g.sx, j, kx);
  const double qy = face_q_at(g, h, pw, g.sy, j, ky);
  const double ddx = f * qx / g.dx;
  const double ddy = f * qy / g.dx;
  ox[j] = ddx;
  oy[j] = ddy;
  if constexpr (Out == face_output::both) {
    g.keep_x[j] = qx * g.dx;
    g.keep_y[j] = qy * g.dx;
  }
  {
    if constexpr (Testing) {
      const double* bl = g.blocked;
      const double bj = Blocked ? bl[j] : 0.0;
      fails_x |= over_limit_bits(face_loss<Blocked>(qx, ddx, bj, Blocked ? bl[kx] : 0.0));
      fails_y |= over_limit_bits(face_loss<Blocked>(qy, ddy, bj, Blocked ? bl[ky] : 0.0));
    }
  }
}

// The faces of the cells first..last, strip by strip, for a sub-step of f
// seconds.
template <face_output Out, bool Blocked, bool Testing>
NIVRA_HOT void face_part(const plain_grid& g, const double* h, const double* pw, double f, int first, int last, double* ox,
               double* oy, part_tally& t) {
  std::uint64_t fx = 0, fy = 0;
  const std::vector<cell_strip>& strips = g.strips->strips;
  for (std::size_t s = g.strips->first_at(first); s < strips.size() && strips[s].first <= last; ++s) {
    const cell_strip& st = strips[s];
    const int b = std::max(st.first, first);
    const int e = std::min(st.last, last);
    const int run_end = std::min(e, st.last - 1);
    if (b <= run_end) {
      if (st.down)
        face_run<Out, true, Blocked, Testing>(g, h, pw, f, b, run_end, st.down, ox, oy, fx, fy);
      else
        face_run<Out, false, Blocked, Testing>(g, h, pw, f, b, run_end, 0, ox, oy, fx, fy);
    }
    if (e == st.last) face_last<Out, Blocked, Testing>(g, h, pw, f, e, ox, oy, fx, fy);
  }
  t.bits[0] = fx;
  t.bits[1] = fy;
}

// The cells b..e of a strip: the new depths into out and their flowing
// depths into pw for the next pass; the sign bits of the new depths. A
// cell's left face is the right face of the cell before it; its upper face
// that of the cell `up` back (HasUp). The faces hold the depths they move
// (0 where they do not step).
template <bool HasUp, bool Blocked, bool XFirst>
NIVRA_HOT void cell_run(const plain_grid& g, const double* __restrict h, const double* __restrict fx,
              const double* __restrict fy, int b, int e, int up, double* __restrict out,
              double* __restrict pw, std::uint64_t& sign_bits) {
  const double* __restrict ret = g.ret;
  const double* __restrict blocked = g.blocked;
  std::uint64_t bits = 0;
  for (int i = b; i <= e; ++i) {
    const double l = fx[i - 1], r = fx[i], b_ = fy[i];
    const double a = HasUp ? fy[i - up] : 0.0;
    double dh = 0.0;
    if constexpr (XFirst) {
      dh += l;
      dh -= r;
      if constexpr (HasUp) dh += a;
      dh -= b_;
    } else {
      if constexpr (HasUp) dh += a;
      dh -= b_;
      dh += l;
      dh -= r;
    }
    double hn;
    if constexpr (Blocked) {
      const double bc = blocked[i];
      hn = h[i] + dh / (bc < 1.0 ? 1.0 - bc : 1.0);
    } else {
      hn = h[i] + dh;
    }
    bits |= std::bit_cast<std::uint64_t>(hn);
    out[i] = hn;
    const double d = hn - ret[i];
    const double p = pow_five_thirds(d);
    pw[i] = d > 0.0 ? p : 0.0;
  }
  sign_bits |= bits;
}

template <bool Blocked, bool XFirst>
NIVRA_HOT void cell_part(const plain_grid& g, const double* h, const double* fx, const double* fy, int first,
               int last, double* out, double* pw, part_tally& t) {
  std::uint64_t bits = 0;
  const std::vector<cell_strip>& strips = g.strips->strips;
  for (std::size_t s = g.strips->first_at(first); s < strips.size() && strips[s].first <= last; ++s) {
    const cell_strip& st = strips[s];
    const int b = std::max(st.first, first);
    const int e = std::min(st.last, last);
    if (st.up)
      cell_run<true, Blocked, XFirst>(g, h, fx, fy, b, e, st.up, out, pw, bits);
    else
      cell_run<false, Blocked, XFirst>(g, h, fx, fy, b, e, 0, out, pw, bits);
  }
  t.bits[2] = bits;
}

// The passes again for wide vectors, and the choice between the two.
NIVRA_WIDE std::uint64_t flow_depth_pass_wide(const plain_grid& g, const double* h, double* pw, int first,
                                              int last) {
  return flow_depth_pass(g, h, pw, first, last);
}
template <face_output Out, bool Blocked, bool Testing>
NIVRA_WIDE void face_part_wide(const plain_grid& g, const double* h, const double* pw, double f, int first, int last,
                               double* ox, double* oy, part_tally& t) {
  face_part<Out, Blocked, Testing>(g, h, pw, f, first, last, ox, oy, t);
}
template <bool Blocked, bool XFirst>
NIVRA_WIDE void cell_part_wide(const plain_grid& g, const double* h, const double* fx, const double* fy, int first,
                               int last, double* out, double* pw, part_tally& t) {
  cell_part<Blocked, XFirst>(g, h, fx, fy, first, last, out, pw, t);
}
template <face_output Out, bool Blocked, bool Testing, class... A>
void faces_on(bool wide, A&&... a) {
  wide ? face_part_wide<Out, Blocked, Testing>(a...) : face_part<Out, Blocked, Testing>(a...);
}
template <bool Blocked, bool XFirst, class... A>
void cells_on(bool wide, A&&... a) {
  wide ? cell_part_wide<Blocked, XFirst>(a...) : cell_part<Blocked, XFirst>(a...);
}

// The largest diffusivity of the right and lower faces of the cells b..e of
// a strip (face_diffusivity), from the depths h and their flowing depths to
// the 5/3; the faces as face_run takes them. A face with a flat surface
// counts: the least change of level makes it carry water.
template <bool HasDown>
NIVRA_HOT double diffusivity_run(const plain_grid& g, const double* __restrict h, const double* __restrict pw, int b,
                                 int e, int down) {
  const double dx = g.dx;
  const double* __restrict sx = g.sx;
  const double* __restrict sy = g.sy;
  const double* __restrict rough = g.rough;
  // The diffusivities are never below zero: the largest is the one of
  // the largest bits, which the vector loop can take (the largest double
  // it cannot, without leave to reorder comparisons).
  std::int64_t m = 0;
  for (int j = b; j <= e; ++j) {
    const int ky = HasDown ? j + down : j;
    const double Sx = sx[j] - (h[j + 1] - h[j]) / dx + 1e-30;
    const double Sy = sy[j] - (h[ky] - h[j]) / dx + 1e-30;
    const double px = Sx >= 0.0 ? pw[j] : pw[j + 1];
    const double py = HasDown ? (Sy >= 0.0 ? pw[j] : pw[ky]) : 0.0;
    const std::int64_t Dx = std::bit_cast<std::int64_t>(face_diffusivity(px, rough[j], Sx));
    const std::int64_t Dy = std::bit_cast<std::int64_t>(face_diffusivity(py, rough[j], Sy));
    m = Dx > m ? Dx : m;
    m = Dy > m ? Dy : m;
  }
  return std::bit_cast<double>(m);
}

// The same over the cells first..last, strip by strip.
NIVRA_HOT double diffusivity_part(const plain_grid& g, const double* h, const double* pw, int first, int last) {
  double m = 0.0;
  const std::vector<cell_strip>& strips = g.strips->strips;
  for (std::size_t s = g.strips->first_at(first); s < strips.size() && strips[s].first <= last; ++s) {
    const cell_strip& st = strips[s];
    const int b = std::max(st.first, first);
    const int e = std::min(st.last, last);
    const int run_end = std::min(e, st.last - 1);
    if (b <= run_end) {
      const double r = st.down ? diffusivity_run<true>(g, h, pw, b, run_end, st.down)
                               : diffusivity_run<false>(g, h, pw, b, run_end, 0);
      m = r > m ? r : m;
    }
    if (e == st.last) {
      // The last cell of the strip, whose neighbours are read from the arrays.
      for (int dir = dir_x; dir <= dir_y; ++dir) {
        const int k = open_neighbour(dir == dir_x ? g.right : g.below, g.dike,
                                     dir == dir_x ? cell_side::right : cell_side::bottom, e);
        if (k == 0) continue;
        const double S = (dir == dir_x ? g.sx : g.sy)[e] - (h[k] - h[e]) / g.dx + 1e-30;
        const double D = face_diffusivity(S >= 0.0 ? pw[e] : pw[k], g.rough[e], S);
        m = D > m ? D : m;
      }
    }
  }
  return m;
}

NIVRA_WIDE double diffusivity_part_wide(const plain_grid& g, const double* h, const double* pw, int first,
                                        int last) {
  return diffusivity_part(g, h, pw, first, last);
}

// The run's threads and the grid of one plain call.
struct plain_call {
  const plain_grid& g;
  thread_pool& crew;
  int parts;
  std::vector<part_tally>& tallies;
  bool blocked;
  int part_cells = 0;  // the fewest cells a thread takes of a pass
  bool wide = wide_vectors();

  template <class Body>
  void over_cells(Body&& body) {
    for_cell_parts(crew, g.n, parts, std::forward<Body>(body));
  }
  part_tally& tally(int part) { return tallies[static_cast<std::size_t>(part)]; }

  // Runs body(first, last, span, part) over the cells of the spans (total
  // cells in all), split among the threads (span_parts); returns the number
  // of parts, whose tallies are cleared before they start.
  template <class Body>
  int over_spans(const std::vector<cell_span>& spans, int total, Body&& body) {
    const int count = span_parts(crew, part_cells, total);
    for (int p = 0; p < count; ++p) tally(p).bits[0] = tally(p).bits[1] = tally(p).bits[2] = 0;
    for_span_parts(crew, spans, total, count, body);
    return count;
  }

  // The stable sub-step of every block's faces from the depths h (flowing
  // depths pw), into b.bound.
  void block_bounds(const double* h, const double* pw, step_blocks& b) {
    const int count = static_cast<int>(b.blocks.size());
    for_parts(crew, count, parts < count ? parts : count, [&](int first, int last, int) {
      for (int k = first - 1; k < last; ++k) {
        const step_block& blk = b.blocks[static_cast<std::size_t>(k)];
        const double m = wide ? diffusivity_part_wide(g, h, pw, blk.first, blk.last)
                              : diffusivity_part(g, h, pw, blk.first, blk.last);
        b.bound[static_cast<std::size_t>(k)] = stable_sub_step(explicit_stable_factor, g.dx, m);
      }
    });
  }
  // The face pass over the faces of the blocks of the spans, each on the
  // sub-step of its level (macro: the step of level 0): the depth each face
  // moves into fx and fy, and (keep_level, at or above 0) the fluxes of the
  // faces of that level into the grid's keep arrays; whether some face of x,
  // and of y, takes 6 cm or more from a cell (while testing).
  std::pair<bool, bool> span_faces(const double* h, const double* pw, const std::vector<cell_span>& spans, int total,
                                   double macro, bool testing, int keep_level, double* fx, double* fy) {
    const int count = over_spans(spans, total, [&](int first, int last, std::size_t k, int part) {
      constexpr face_output dd = face_output::depth_moved, both = face_output::both;
      const double step = std::ldexp(macro, -spans[k].level);
      part_tally& t = tally(part);
      part_tally found;
      const bool keep = spans[k].level == keep_level;
      const int mode = (blocked ? 4 : 0) + (testing ? 2 : 0) + (keep ? 1 : 0);
      switch (mode) {
        case 0: faces_on<dd, false, false>(wide, g, h, pw, step, first, last, fx, fy, found); break;
        case 1: faces_on<both, false, false>(wide, g, h, pw, step, first, last, fx, fy, found); break;
        case 2: faces_on<dd, false, true>(wide, g, h, pw, step, first, last, fx, fy, found); break;
        case 3: faces_on<both, false, true>(wide, g, h, pw, step, first, last, fx, fy, found); break;
        case 4: faces_on<dd, true, false>(wide, g, h, pw, step, first, last, fx, fy, found); break;
        case 5: faces_on<both, true, false>(wide, g, h, pw, step, first, last, fx, fy, found); break;
        case 6: faces_on<dd, true, true>(wide, g, h, pw, step, first, last, fx, fy, found); break;
        default: faces_on<both, true, true>(wide, g, h, pw, step, first, last, fx, fy, found); break;
      }
      t.bits[0] |= found.bits[0];
      t.bits[1] |= found.bits[1];
    });
    std::uint64_t any_x = 0, any_y = 0;
    for (int p = 0; p < count; ++p) {
      any_x |= tally(p).bits[0];
      any_y |= tally(p).bits[1];
    }
    return {doubtful(any_x), doubtful(any_y)};
  }

  // The cell pass over the cells of the spans: each cell's new depth in h
  // from its depth before the pass (held; first copied there from h when
  // save is given, for a pass done again) and the depths its faces move
  // (fx, fy: 0 for a face that does not step), and its flowing depth in pw;
  // true when some new depth may be below zero.
  bool span_cells(const std::vector<cell_span>& spans, int total, bool x_first, const double* held, double* save,
                  double* h, const double* fx, const double* fy, double* pw) {
    const int count = over_spans(spans, total, [&](int first, int last, std::size_t, int part) {
      if (save) std::memcpy(save + first, h + first, sizeof(double) * static_cast<std::size_t>(last - first + 1));
      part_tally found;
      const int mode = (blocked ? 2 : 0) + (x_first ? 1 : 0);
      switch (mode) {
        case 0: cells_on<false, false>(wide, g, held, fx, fy, first, last, h, pw, found); break;
        case 1: cells_on<false, true>(wide, g, held, fx, fy, first, last, h, pw, found); break;
        case 2: cells_on<true, false>(wide, g, held, fx, fy, first, last, h, pw, found); break;
        default: cells_on<true, true>(wide, g, held, fx, fy, first, last, h, pw, found); break;
      }
      tally(part).bits[2] |= found.bits[2];
    });
    std::uint64_t bits = 0;
    for (int p = 0; p < count; ++p) bits |= tally(p).bits[2];
    return doubtful(bits);
  }

  // The flowing depths of the depths h; false when some depth is not a
  // number or below zero.
  bool flow_depths(const double* h, double* pw) {
    over_cells([&](int first, int last, int part) {
      tally(part).bits[2] =
          wide ? flow_depth_pass_wide(g, h, pw, first, last) : flow_depth_pass(g, h, pw, first, last);
    });
    std::uint64_t bits = 0;
    for (int p = 0; p < parts; ++p) bits |= tally(p).bits[2];
    return !doubtful(bits);
  }

  // The faces of the spans that stepped move nothing in the next pass
  // unless they step again; the water they moved (the depth over the whole
  // cell) joins the step's (vx, vy: null when not kept).
  void clear_faces(const std::vector<cell_span>& spans, int total, double* fx, double* fy, double* vx, double* vy) {
    const double area = g.dx * g.dx;
    over_spans(spans, total, [&](int first, int last, std::size_t, int) {
      if (vx) {
        for (int j = first; j <= last; ++j) {
          vx[j] += fx[j] * area;
          vy[j] += fy[j] * area;
        }
      }
      const std::size_t bytes = sizeof(double) * static_cast<std::size_t>(last - first + 1);
      std::memset(fx + first, 0, bytes);
      std::memset(fy + first, 0, bytes);
    });
  }

  // Every cell of `a` (and of b, when given) to zero.
  void clear(double* a, double* b) {
    over_cells([&](int first, int last, int) {
      const std::size_t bytes = sizeof(double) * static_cast<std::size_t>(last - first + 1);
      std::memset(a + first, 0, bytes);
      if (b) std::memset(b + first, 0, bytes);
    });
  }
};

// Prints the faces of one direction of the cells first..last that take 6 cm
// or more from a cell in a sub-step of dts seconds, in the order of the
// sweep, from the depths at the start of the sub-step; true when there is
// one.
bool print_plain_failures(const plain_grid& g, const explicit_ctx& c, const double* h, int dir, double dts, int first,
                          int last, bool quiet) {
  const int* nb = dir == dir_x ? g.right : g.below;
  const int bit = dir == dir_x ? cell_side::right : cell_side::bottom;
  const double* slope = dir == dir_x ? g.sx : g.sy;
  auto flow_depth = [&](int i) {
    const double d = h[i] - g.ret[i];
    return d > 0.0 ? pow_five_thirds(d) : 0.0;
  };
  bool any = false;
  for (int j = first; j <= last; ++j) {
    const int k = open_neighbour(nb, g.dike, bit, j);
    const double q = face_q(g.dx, slope[j], g.rough[j], h[j], h[k], flow_depth(j), flow_depth(k), k != 0);
    const double dd = dts * q / g.dx;
    const double loss = g.blocked ? face_loss<true>(q, dd, g.blocked[j], g.blocked[k]) : std::fabs(dd);
    if (loss >= 0.06) {
      any = true;
      if (!quiet) celerity_failure(c, dir, q >= 0.0 ? j : k, q, loss, dts);
    }
  }
  return any;
}

// The level of the finest block among those that stepped the faces of cell
// i in the pass of level l (the blocks of the cell, of the cell before it and
// of the cell above it, where they stepped).
int finest_owner(const step_blocks& b, const int* above, int i, int l) {
  int finest = l;
  for (const int owner : {i, i - 1, above[i]}) {
    if (owner < 1) continue;
    const int lv = b.level[static_cast<std::size_t>((owner - 1) / step_blocks::block_cells)];
    finest = lv > finest ? lv : finest;
  }
  return finest;
}

// A cell never gives more water than it holds: once the faces of a pass
// would take a cell of its reach below zero, every such cell's outflows
// through the faces that stepped are cut to the water it held (on its open
// part), all by the same fraction, and the fluxes kept for the discharges
// with them. `held` holds the depths before the pass; `share` takes each
// cell's share of its outflow that it can give (only the cells of the
// reach are written).
void cut_span_outflows(const plain_grid& g, const std::vector<cell_span>& faces, const std::vector<cell_span>& reach,
                       int keep_level, const double* held, double* share, double* fx, double* fy) {
  for (const cell_span& r : reach) {
    for (int i = r.first; i <= r.last; ++i) {
      double out = 0.0;
      if (fx[i] > 0.0) out += fx[i];
      if (fx[i - 1] < 0.0) out -= fx[i - 1];
      if (fy[i] > 0.0) out += fy[i];
      const int a = g.above[i];
      if (a != 0 && fy[a] < 0.0) out -= fy[a];
      const double water = std::fmax(held[i], 0.0) * open_share(g.blocked, i);
      share[i] = out > water ? water / out : 1.0;
    }
  }
  auto cut = [&](double* moved, double* kept, int j, int k, bool keep) {
    if (k == 0 || moved[j] == 0.0) return;
    const double sh = share[moved[j] > 0.0 ? j : k];
    if (sh >= 1.0) return;
    moved[j] -= moved[j] * (1.0 - sh);
    if (keep) kept[j] -= kept[j] * (1.0 - sh);
  };
  for (const cell_span& f : faces) {
    const bool keep = f.level == keep_level;
    for (int j = f.first; j <= f.last; ++j) {
      cut(fx, g.keep_x, j, open_neighbour(g.right, g.dike, cell_side::right, j), keep);
      cut(fy, g.keep_y, j, open_neighbour(g.below, g.dike, cell_side::bottom, j), keep);
    }
  }
}

// Sub-steps of a plain grid, local to blocks of cells (step_blocks). A step
// goes in macro sub-steps: the sub-step of the rules above, cut where some
// block's stable bound is more than 2^max_level times shorter. At the start
// of each, every block takes the level of its faces' stable bound: its
// sub-step is the macro sub-step over 2^level, the longest such within the
// bound. The macro sub-step then runs as 2^finest passes of the finest
// sub-step; in pass m the blocks step whose sub-steps end there (all of
// them in pass 0, the finest alone in odd passes). A pass computes the
// faces of the blocks that step, from the depths at its start, each moving
// water for its block's sub-step; the cells those faces reach take the
// water they move at once, in the order of the sweeps. Every face moves
// the same water out of one cell and into the other, so water is conserved
// whatever the levels; a face between a deep pond and shallow ground moves
// water on the pond's short sub-step, and the shallow cell beside it
// follows every such move. Where every block keeps to level 0 the passes
// are those of sub-steps of the whole grid. Which blocks step in a pass
// does not depend on the threads.
overland_status route_plain_substeps(explicit_scheme& s, overland_state& ov, explicit_ctx& c, double dt) {
  const int n = c.n;
  const bool quiet = c.quiet;
  plain_grid g;
  g.n = n;
  g.dx = c.dx;
  g.ret = c.ret;
  g.rough = c.rough;
  g.right = c.right;
  g.below = c.below;
  g.left = c.left;
  g.above = c.above;
  g.sx = c.sx;
  g.sy = c.sy;
  g.dike = c.dike;
  g.blocked = c.blocked;
  s.strips.build(n, c.right, c.below, c.above, c.dike);
  g.strips = &s.strips;
  // The fluxes of each face's last sub-step of the step go to the overland
  // discharges.
  g.keep_x = c.qx;
  g.keep_y = c.qy;
  step_blocks& blocks = s.blocks;
  blocks.build(n, c.right, c.below, c.above, c.dike);
  plain_call call{g, ov.crew, cell_parts(ov, n), s.tallies, c.blocked != nullptr};
  call.part_cells = ov.part_cells;

  double dts = starting_sub_step(s, dt, quiet);

  const bool x_first = s.sweep_toggle == 0;
  const int first_dir = x_first ? dir_x : dir_y;
  int reductions = 0;
  bool testing = true;
  // The sub-step that failed is the one divided (the stable bound may have
  // kept it below the rules' sub-step).
  auto restart_shorter = [&](double failed) {
    dts = failed;
    return shorten_sub_step(s, dts, reductions, testing, quiet);
  };

  // The depths at the start of the step stay in place for a restart; the
  // sub-steps work on h. A pass keeps the depths of the cells it changes in
  // `before`, for the rare pass in which some cell gives more than it holds.
  // fx and fy hold the depth each face moves in a pass, 0 for the faces
  // that do not step in it (entry 0 stands for the missing face of a cell
  // on the grid's edge).
  double* start = c.h;
  double* h = s.depth_a.data();
  double* before = s.depth_b.data();
  double* fx = s.move_x.data();
  double* fy = s.move_y.data();
  double* pw = c.pw;
  c.qx[0] = c.qy[0] = 0.0;
  const int outlet_block = c.outlet != 0 ? (c.outlet - 1) / step_blocks::block_cells : -1;

  // The depths at the start of the step are checked as their flowing depths
  // are taken.
  if (!call.flow_depths(start, pw)) {
    const overland_status status = check_entry_depths(start, n);
    if (status != overland_status::ok) return status;
    call.flow_depths(start, pw);
  }

  // With the constituents carried, the depth every face moves over the step
  // (then its volume).
  double* vx = s.volumes ? ov.ov_volx.data() : nullptr;
  double* vy = s.volumes ? ov.ov_voly.data() : nullptr;
  h[0] = fx[0] = fy[0] = 0.0;

  // The depths at the start of the next pass: those at the start of the
  // step until the first pass of an attempt, which steps every block and
  // so writes every cell's new depth into h and every face's move.
  const double* cur = start;
  for (bool done = false, first_attempt = true; !done; first_attempt = false) {
    done = true;
    double elapsed = 0.0;
    c.outlet_volume = 0.0;
    c.edges->restart();
    restart_held(c);
    cur = start;
    if (vx) call.clear(vx, vy);
    if (!first_attempt) call.flow_depths(start, pw);
    while (done && dt - elapsed > 0.0001) {
      const double remaining = dt - elapsed;
      // The levels of the blocks from the depths at the start of the macro
      // sub-step.
      call.block_bounds(cur, pw, blocks);
      double tightest = std::numeric_limits<double>::infinity();
      for (const double b : blocks.bound) tightest = b < tightest ? b : tightest;
      const double macro = bounded_sub_step(dts, std::ldexp(tightest, step_blocks::max_level), remaining);
      const int finest = blocks.set_levels(macro);
      blocks.make_spans(finest);
      // The last macro sub-step of the step keeps the fluxes of its faces.
      const bool last_macro = !(dt - (elapsed + macro) > 0.0001);
      const int passes = 1 << finest;
      for (int m = 0; m < passes; ++m) {
        // The blocks of level l and finer step in pass m; those of level l
        // step for the last time in the macro sub-step when m is the last
        // pass of their sub-step.
        const int l = step_blocks::pass_level(m, finest);
        const int keep_level = last_macro && m == passes - (passes >> l) ? l : -1;
        const std::vector<cell_span>& faces = blocks.face_spans[static_cast<std::size_t>(l)];
        const std::vector<cell_span>& reach = blocks.cell_spans[static_cast<std::size_t>(l)];
        const int face_total = blocks.face_cells[static_cast<std::size_t>(l)];
        const int reach_total = blocks.cell_cells[static_cast<std::size_t>(l)];
        s.substeps += 1;
        s.cell_updates += face_total;
        const auto [fails_x, fails_y] =
            call.span_faces(cur, pw, faces, face_total, macro, testing, keep_level, fx, fy);
        // The failures of the first sweep, then of the second, as the sweeps
        // meet them: the second is not tested once the first has stopped the
        // testing. The finest sub-step that failed is divided.
        for (int pass = 0; pass < 2; ++pass) {
          const int dir = pass == 0 ? first_dir : (first_dir == dir_x ? dir_y : dir_x);
          if (!testing || !(dir == dir_x ? fails_x : fails_y)) continue;
          int failed_level = l;
          for (const cell_span& f : faces) {
            if (print_plain_failures(g, c, cur, dir, std::ldexp(macro, -f.level), f.first, f.last, quiet))
              failed_level = f.level > failed_level ? f.level : failed_level;
          }
          if (restart_shorter(std::ldexp(macro, -failed_level))) {
            done = false;
            break;
          }
        }
        if (!done) break;
        // The depths before the pass: kept in `before` for a pass done
        // again, or the step's own at its first.
        const bool from_start = cur == start;
        const double* held = from_start ? start : before;
        bool short_of_water =
            call.span_cells(reach, reach_total, x_first, held, from_start ? nullptr : before, h, fx, fy, pw);
        cur = h;
        if (short_of_water && c.blocked) {
          // On a blocked grid a cell is short of water when its new depth is
          // below zero (a zero with its sign bit set is not).
          short_of_water = false;
          for (const cell_span& r : reach)
            for (int i = r.first; i <= r.last && !short_of_water; ++i) short_of_water = h[i] < 0.0;
        }
        if (short_of_water) {
          if (testing) {
            // Cells overdrawn by more than 0.1 mm divide the finest sub-step
            // that stepped their faces.
            int failed_level = -1;
            for (const cell_span& r : reach) {
              for (int i = r.first; i <= r.last; ++i) {
                if (h[i] >= -0.0001) continue;
                const int lv = finest_owner(blocks, c.above, i, l);
                if (!quiet) {
                  msg_printf("  ]xy: h+dh < 0.00   (h+dh=%lf)  j:%d dt:%4.2lf\n", h[i], i, std::ldexp(macro, -lv));
                  msg_printf("    -> Outflow Exceeded Water Depth\n");
                }
                failed_level = lv > failed_level ? lv : failed_level;
              }
            }
            if (failed_level >= 0 && restart_shorter(std::ldexp(macro, -failed_level))) {
              done = false;
              break;
            }
          }
          // The pass again with the outflows cut: the new depths of the
          // reach are made again from the depths before it, so h serves
          // as the work array of the shares.
          cut_span_outflows(g, faces, reach, keep_level, held, h, fx, fy);
          call.span_cells(reach, reach_total, x_first, held, nullptr, h, fx, fy, pw);
          for (const cell_span& r : reach)
            for (int i = r.first; i <= r.last; ++i) h[i] = h[i] < 0.0 ? 0.0 : h[i];
        }
        hold_levels(c, start, h, pw);
        if (outlet_block >= 0 && blocks.level[static_cast<std::size_t>(outlet_block)] >= l) {
          drain_outlet(c, h, std::ldexp(macro, -blocks.level[static_cast<std::size_t>(outlet_block)]));
          const double d = h[c.outlet] - c.ret[c.outlet];
          pw[c.outlet] = d > 0.0 ? pow_five_thirds(d) : 0.0;
        }
        // The boundary cells drain as the outlet does, on their blocks' sub-steps.
        drain_edges_after_pass(*c.edges, blocks, h, macro, l, ov.crew, [&](int e) {
          const double d = h[e] - c.ret[e];
          pw[e] = d > 0.0 ? pow_five_thirds(d) : 0.0;
        });
        // The faces that stepped move nothing in the next pass unless they
        // step again: a pass of a level no finer (the next sub-step's first
        // pass steps every block) writes them all anew.
        const int next = m + 1 < passes ? step_blocks::pass_level(m + 1, finest) : 0;
        if (vx || next > l) call.clear_faces(faces, face_total, fx, fy, vx, vy);
      }
      if (!done) break;
      elapsed += macro;
    }
  }

  // The last depths become the overland depths; the array they came from
  // takes the next call's. (A call too short for a sub-step leaves the
  // depths and the discharges as they were.)
  if (cur != start) {
    h[0] = start[0];
    std::swap(ov.ov_depth, s.depth_a);
  }
  return overland_status::ok;
}
}  // namespace

void explicit_scheme::prepare(int cells, bool plain, int channel_lakes, int parts) {
  ensure_cells(flow_depth_pow, cells);
  if (plain) {
    ensure_cells(depth_a, cells);
    ensure_cells(depth_b, cells);
    ensure_cells(move_x, cells);
    ensure_cells(move_y, cells);
  } else {
    ensure_cells(dh, cells);
    ensure_cells(depth_save, cells);
    ensure_cells(outflow_share, cells);
  }
  if (channel_lakes > 0) {
    ensure_cells(lake_elev_save, channel_lakes);
    ensure_cells(lake_volume_save, channel_lakes);
    ensure_cells(lake_given, channel_lakes);
  }
  if (static_cast<int>(tallies.size()) < parts) tallies.resize(static_cast<std::size_t>(parts));
}

namespace {

// What sets a grid's path through the scheme.
struct explicit_layout {
  bool chan_lakes = false;
  bool olakes = false;
  bool wetlands = false;
  bool plain = false;  // none of them: the plain passes
};

explicit_layout layout_of(const overland_domain& d) {
  const lake_state& lakes = d.lakes;
  explicit_layout l;
  l.chan_lakes = lakes.chan_lakes != 0 && !lakes.lake_mask.empty() && lakes.num_lakes > 0;
  l.olakes = lakes.overland_lake_map_given == 1 && !lakes.oland_lake_new.empty();
  l.wetlands = lakes.wetlands_on && !lakes.wetland_mask.empty();
  l.plain = !l.chan_lakes && !l.olakes && !l.wetlands && d.overland.ov_depth.size() == d.grid.ncells;
  return l;
}

}  // namespace

void prepare_overland_explicit(const overland_domain& d) {
  const int n = d.grid.ncells;
  if (n <= 0) return;
  const explicit_layout l = layout_of(d);
  overland_state& ov = d.overland;
  ov.explicit_kernel.prepare(n, l.plain, l.chan_lakes ? d.lakes.num_lakes : 0, most_parts(ov.crew));
  ensure_cells(ov.ov_qx, n);
  ensure_cells(ov.ov_qy, n);
  const grid_state& g = d.grid;
  const int* types = ov.ov_boundary && ov.boundary_type.size() == n ? ov.boundary_type.data() : nullptr;
  ov.explicit_kernel.edges.build(n, types, g.leftcon.data(), g.rightcon.data(), g.abovecon.data(), g.belowcon.data());
  ov.explicit_kernel.held.build(n, types);
  if (l.plain) {
    const int* dike = g.dike_map_given && !g.dike_mask.empty() ? g.dike_mask.data() : nullptr;
    ov.explicit_kernel.blocks.build(n, g.rightcon.data(), g.belowcon.data(), g.abovecon.data(), dike);
  }
  // The constituents move with the water each face moved over the step.
  ov.explicit_kernel.volumes = ov.con_vol_x.size() == n;
  if (ov.explicit_kernel.volumes) {
    ensure_cells(ov.ov_volx, n);
    ensure_cells(ov.ov_voly, n);
  }
}

overland_result route_overland_explicit(const overland_domain& d, double dt) {
  overland_result result;
  const grid_state& g = d.grid;
  overland_state& ov = d.overland;
  lake_state& lakes = d.lakes;
  explicit_scheme& s = ov.explicit_kernel;
  const int n = g.ncells;
  if (n <= 0) return result;
  const double dx = g.grid_size;
  const explicit_layout layout = layout_of(d);
  const bool chan_lakes = layout.chan_lakes;
  const bool olakes = layout.olakes;
  const bool wetlands = layout.wetlands;
  const bool plain = layout.plain;
  prepare_overland_explicit(d);

  explicit_ctx c;
  c.n = n;
  c.dx = dx;
  c.h = ov.ov_depth.data();
  c.dh = s.dh.data();
  c.z = g.elevation.data();
  c.ret = ov.retent_dep.data();
  c.rough = ov.dist_rough.data();
  c.right = g.rightcon.data();
  c.below = g.belowcon.data();
  c.left = g.leftcon.data();
  c.above = g.abovecon.data();
  c.sx = g.slope_x.data();
  c.sy = g.slope_y.data();
  c.qx = ov.ov_qx.data();
  c.qy = ov.ov_qy.data();
  c.dike = g.dike_map_given && !g.dike_mask.empty() ? g.dike_mask.data() : nullptr;
  if (chan_lakes) {
    c.lake = lakes.lake_mask.data();
    c.lake_elev = lakes.lake_elev.data();
  }
  if (wetlands) {
    c.wet = lakes.wetland_mask.data();
    c.wprops = &lakes.wetland_props;
  }
  c.pw = s.flow_depth_pow.data();
  c.share = plain ? nullptr : s.outflow_share.data();
  c.blocked = blocked_cells(ov);
  c.lake_variant = chan_lakes || olakes;
  if (s.volumes) {
    c.vol_x = ov.ov_volx.data();
    c.vol_y = ov.ov_voly.data();
  }
  c.quiet = d.quiet;
  if (d.outlet_drains && g.outlet_cell > 0 && g.outlet_cell <= n && !(c.lake && lake_cell(c.lake[g.outlet_cell]))) {
    c.outlet = g.outlet_cell;
    c.outlet_slope = g.outlet_slope;
  }

  edge_drain edges(d, s.edges);
  c.edges = &edges;
  if (!s.held.cell.empty()) c.held = &s.held;

  s.sweep_toggle = s.sweep_toggle == 0 ? 1 : 0;

  if (olakes && !chan_lakes) {
    result.status = check_entry_depths(c.h, n);
    if (result.status != overland_status::ok) return result;
    c.olake = lakes.oland_lake_new.data();
    c.olake_table = lakes.olake_table.data();
    zero(c.dh, n);
    if (c.vol_x) {
      zero(c.vol_x, n);
      zero(c.vol_y, n);
    }
    s.substeps += 1;
    // The held cells keep the depths they start the step with.
    double* level = s.depth_save.data();
    if (c.held)
      for (const int i : c.held->cell) level[i] = c.h[i];
    restart_held(c);
    olake_sweep(c, dir_x, dt);
    hold_levels(c, level, c.h, nullptr);
    olake_sweep(c, dir_y, dt);
    hold_levels(c, level, c.h, nullptr);
  } else if (plain) {
    result.status = route_plain_substeps(s, ov, c, dt);
    if (result.status != overland_status::ok) return result;
  } else {
    result.status = route_substeps(s, lakes, c, dt);
    if (result.status != overland_status::ok) return result;
  }

  if (g.lowspot_file_given) {
    const overland_books weirs = dike_weir_flow(d.grid, ov, lakes, dt);
    result.books.loss = weirs.loss;
    result.books.gain = weirs.gain;
  }

  if (olakes && !chan_lakes) {
    // Without sub-steps the outlet and the boundary cells drain once, over
    // the whole step.
    c.h = ov.ov_depth.data();
    drain_outlet(c, c.h, dt);
    edges.drain_all(c.h, dt);
  }
  result.books.outlet = c.outlet_volume;
  result.books.gain += c.held_gain;
  result.books.loss += c.held_loss;
  edges.book(result.books);
  // The water the held cells passed out of the grid is noted for the
  // constituents.
  if (c.held && ov.bc_out_vol.size() == n)
    for (std::size_t k = 0; k < s.held.cell.size(); ++k) ov.bc_out_vol[s.held.cell[k]] += s.held.out[k];

  // Unit-width fluxes of the last sub-step become discharges (the plain
  // path hands them over as discharges).
  if (!plain) {
    for (int i = 1; i <= n; ++i) {
      c.qx[i] *= dx;
      c.qy[i] *= dx;
    }
  }
  return result;
}

}  // namespace nivra
