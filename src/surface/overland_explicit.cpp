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
  bool lake_variant = false;     // channel or overland lakes on
  bool quiet = false;
};

inline double manning_q(double S, double n, double d) {
  // q = sign(S) * sqrt(|S|) / n * d^(5/3), per unit width
  const double a = std::sqrt(std::fabs(S)) / n * std::pow(d, five_thirds);
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
  if (S >= 0.0) return std::pow(b, five_thirds) * std::sqrt(S) / nk;
  return -std::sqrt(std::fabs(S)) / nj * std::pow(b, five_thirds);
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

// A face whose water surface is flat to within 1e-20 carries nothing: a
// floor on the slope would push water over flat ground, and the square root
// of the slope would grow that push into waves on water at rest.
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
          qf = wetland_q(S, h[j], level - c.z[k], is_wet(c, k), ret[k], (*c.wprops)[c.wet[j]],
                         rough[j], rough[k]);
        } else {
          const double d = S > 0.0 ? h[j] - ret[j] : level - c.z[j];
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
        const double d = S > 0.0 ? level - c.z[k] : h[k] - ret[k];
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
      const double a = std::sqrt(std::fabs(S)) / rough[j] * p;
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

// Volumes that crossed the shore of the channel lakes in one sub-step.
void lake_exchange(lake_state& lakes, const explicit_ctx& c, double dts) {
  const int n = c.n;
  for (int i = 1; i <= n; ++i) {
    for (int dir = dir_x; dir <= dir_y; ++dir) {
      const int bit = dir == dir_x ? cell_side::right : cell_side::bottom;
      // A dike on this side carried nothing.
      if (c.dike && (c.dike[i] & bit)) continue;
      const int k = dir == dir_x ? c.right[i] : c.below[i];
      if (k == 0) continue;
      const int Li = c.lake[i], Lk = c.lake[k];
      if (lake_cell(Li) == lake_cell(Lk)) continue;
      const int L = lake_cell(Li) ? Li : Lk;
      const int land = lake_cell(Li) ? k : i;
      const double qf = dir == dir_x ? c.qx[i] : c.qy[i];
      const double V = std::fabs(c.dx * qf * dts);
      const double s = c.z[land] + c.h[land];
      if (s > lakes.lake_elev[L]) {
        lakes.lake_volume[L] += V;
        lakes.lake_in_dv[L] += V;
      } else if (s < lakes.lake_elev[L]) {
        lakes.lake_volume[L] -= V;
        lakes.lake_out_dv[L] += V;
      }
    }
  }
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

void zero(double* a, int n) { std::memset(a, 0, sizeof(double) * (static_cast<std::size_t>(n) + 1)); }

// Back to the state at the start of the step: depths, lakes, fluxes.
void restore_step_start(const explicit_scheme& s, lake_state& lakes, explicit_ctx& c) {
  const int n = c.n;
  std::memcpy(c.h, s.depth_save.data(), sizeof(double) * (static_cast<std::size_t>(n) + 1));
  zero(c.dh, n);
  zero(c.qx, n);
  zero(c.qy, n);
  if (c.lake) {
    for (int L = 1; L <= lakes.num_lakes; ++L) {
      lakes.lake_elev[L] = s.lake_elev_save[L];
      lakes.lake_volume[L] = s.lake_volume_save[L];
      lakes.lake_in_dv[L] = 0.0;
      lakes.lake_out_dv[L] = 0.0;
    }
  }
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

  double dts;
  if (s.reduced_countdown >= 1) {
    dts = s.reduced_dt;
    s.reduced_active = 1;
    s.reduced_countdown -= 1;
  } else {
    dts = dt;
    if (s.reduced_active) {
      if (!quiet) msg_printf("Resetting time step to %4.2lf for overland flow...\n", dt);
      s.reduced_active = 0;
    }
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

  // After a counted failure: a sub-step that can still be divided is cut to
  // a third, and the step starts again from the saved state (true); a
  // sub-step of 5 ms or less, or one divided five times already, goes on
  // without further tests.
  auto restart_shorter = [&]() {
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
      restore_step_start(s, lakes, c);
      return true;
    }
    if (!quiet) msg_printf(" *Time step to small to divide, continuing with current time step\n");
    testing = false;
    return false;
  };

  // An attempt runs sub-steps to the end of the step. A face that moves too
  // much water, or a cell whose faces together take more than it holds,
  // ends it early when the sub-step can still be divided.
  for (bool done = false; !done;) {
    done = true;
    double elapsed = 0.0;
    while (done && dt - elapsed > 0.0001) {
      for (int i = 1; i <= n; ++i) {
        const double d = c.h[i] - c.ret[i];
        c.pw[i] = d > 0.0 ? std::pow(d, five_thirds) : 0.0;
      }
      for (int pass = 0; pass < 2 && done; ++pass) {
        const int fails = sweep(c, general, pass == 0 ? first : second, dts, testing);
        if (testing && fails > 0 && restart_shorter()) done = false;
      }
      if (!done) break;
      const bool short_of_water = some_cell_below_zero(c, c.lake);
      if (short_of_water && testing && overdrawn_cells(c, dts) > 0 && restart_shorter()) {
        done = false;
        break;
      }
      if (short_of_water) limit_outflows(c, c.lake, dir_x, dir_y, dts);
      if (chan_lakes) lake_exchange(lakes, c, dts);
      apply_depth_changes(c, c.lake, short_of_water);
      elapsed += dts;
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
        qf = wetland_q(S, h[j], level - c.z[k], is_wet(c, k), ret[k], (*c.wprops)[c.wet[j]],
                       rough[j], rough[k]);
      } else {
        const double d = S >= 0.0 ? h[j] - ret[j] : olake_head(c.olake_table[Lk]);
        qf = d > 0.0 ? manning_q(S, rough[j], d) : 0.0;
      }
      q[j] = qf;
      c.dh[j] -= dt * qf / dx;
      continue;
    }
    if (lake_cell(Lj)) {
      const double level = c.olake_table[Lj].value[olake_value::level];
      const double S = (level - (h[k] + c.z[k])) / dx;
      const double d = S > 0.0 ? olake_head(c.olake_table[Lj]) : h[k] - ret[k];
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

}  // namespace

void explicit_scheme::prepare(int cells, int channel_lakes) {
  ensure_cells(dh, cells);
  ensure_cells(depth_save, cells);
  ensure_cells(flow_depth_pow, cells);
  ensure_cells(outflow_share, cells);
  if (channel_lakes > 0) {
    ensure_cells(lake_elev_save, channel_lakes);
    ensure_cells(lake_volume_save, channel_lakes);
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
  const bool chan_lakes = lakes.chan_lakes != 0 && !lakes.lake_mask.empty() && lakes.num_lakes > 0;
  const bool olakes = lakes.overland_lake_map_given == 1 && !lakes.oland_lake_new.empty();

  s.prepare(n, chan_lakes ? lakes.num_lakes : 0);
  ensure_cells(ov.ov_qx, n);
  ensure_cells(ov.ov_qy, n);

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
  c.sx = g.slope_x.data();
  c.sy = g.slope_y.data();
  c.qx = ov.ov_qx.data();
  c.qy = ov.ov_qy.data();
  c.dike = g.dike_map_given && !g.dike_mask.empty() ? g.dike_mask.data() : nullptr;
  if (chan_lakes) {
    c.lake = lakes.lake_mask.data();
    c.lake_elev = lakes.lake_elev.data();
  }
  if (lakes.wetlands_on && !lakes.wetland_mask.empty()) {
    c.wet = lakes.wetland_mask.data();
    c.wprops = &lakes.wetland_props;
  }
  c.pw = s.flow_depth_pow.data();
  c.share = s.outflow_share.data();
  c.blocked = blocked_cells(ov);
  c.lake_variant = chan_lakes || olakes;
  c.quiet = d.quiet;

  s.sweep_toggle = s.sweep_toggle == 0 ? 1 : 0;

  if (olakes && !chan_lakes) {
    result.status = check_entry_depths(c.h, n);
    if (result.status != overland_status::ok) return result;
    c.olake = lakes.oland_lake_new.data();
    c.olake_table = lakes.olake_table.data();
    zero(c.dh, n);
    olake_sweep(c, dir_x, dt);
    olake_sweep(c, dir_y, dt);
  } else {
    result.status = route_substeps(s, lakes, c, dt);
    if (result.status != overland_status::ok) return result;
  }

  if (g.lowspot_file_given) {
    const overland_books weirs = dike_weir_flow(d.grid, ov, lakes, dt);
    result.books.loss = weirs.loss;
    result.books.gain = weirs.gain;
  }

  if (d.outlet_drains && g.outlet_cell > 0) {
    // Normal-depth outflow of the outlet cell, never more than it holds on
    // its open part.
    const int o = g.outlet_cell;
    double& h = ov.ov_depth[o];
    if (h > 0.0) {
      const double Q = std::pow(h, outlet_exponent) * std::sqrt(g.outlet_slope) * dx / ov.dist_rough[o];
      result.books.outlet = drain_cell(h, Q * dt, dx * dx * open_share(c.blocked, o));
    }
  }

  // Unit-width fluxes of the last sub-step become discharges.
  for (int i = 1; i <= n; ++i) {
    c.qx[i] *= dx;
    c.qy[i] *= dx;
  }
  return result;
}

}  // namespace nivra
