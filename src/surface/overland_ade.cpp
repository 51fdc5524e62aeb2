// Alternating-direction explicit overland routing. Water moves along the
// rows for the whole grid, the depths change, then it moves along the
// columns from the new depths. Plain ADE chooses its sub-step from the
// largest relative depth change it expects and shortens or restarts it when
// depths fall too fast; ADE-PC takes the full step with the mean of a
// predictor and a corrector discharge, in equal shorter sub-steps when the
// full step would take a cell below zero.
#include <cmath>
#include <cstdio>
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

constexpr double two_thirds = 2.0 / 3.0;

// Columns of the snowpack parameters (snow_flow::params[cell][k]).
constexpr int snow_water_divisor = 4;  // depth of water over the depth it stands in the pack
constexpr int snow_permeability = 11;  // intrinsic permeability, cm2
// rho g / mu of water near 0 C, 1 / (m s): Darcy velocity per unit slope
// and per m2 of permeability.
constexpr double water_rho_g_over_mu = 5489647.45;

struct ade_ctx {
  int n = 0;
  double dx = 0.0;
  double A = 0.0;  // dx^2
  double* h = nullptr;
  const double* z = nullptr;
  const double* ret = nullptr;
  const double* neff = nullptr;
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* above = nullptr;
  const int* dike = nullptr;          // null without a dike map
  const int* lake = nullptr;          // channel lakes, null when off
  const double* lake_elev = nullptr;
  const int* olake = nullptr;         // overland lakes, null when off
  const olake_record* otab = nullptr;
  const int* wet = nullptr;           // wetland classes, null when off
  const array2d<double>* wprops = nullptr;
  const int* bctype = nullptr;        // boundary types, null without boundary conditions
  const array2d<double>* bfrac = nullptr;  // blocked side fractions, null without blockage
  const double* bcell = nullptr;           // blocked area fractions, null without blockage
  const double* swe = nullptr;        // lateral flow through snow, null when off
  const array2d<double>* snap = nullptr;
  double darcy = 0.0;
  bool general = false;               // lakes, wetlands, snow or blockage present
  int outlet = 0;                     // drained here (channel routing off), else 0
  double outlet_slope = 0.0;
};

ade_ctx make_ctx(const overland_domain& d) {
  const grid_state& g = d.grid;
  overland_state& ov = d.overland;
  const lake_state& lakes = d.lakes;
  ade_ctx c;
  c.n = g.ncells;
  c.dx = g.grid_size;
  c.A = g.grid_size * g.grid_size;
  c.h = ov.ov_depth.data();
  c.z = g.elevation.data();
  c.ret = ov.retent_dep.data();
  c.neff = ov.ade_kernel.rough.data();
  c.right = g.rightcon.data();
  c.below = g.belowcon.data();
  c.left = g.leftcon.data();
  c.above = g.abovecon.data();
  if (g.dike_map_given && !g.dike_mask.empty()) c.dike = g.dike_mask.data();
  if (lakes.chan_lakes && !lakes.lake_mask.empty() && lakes.num_lakes > 0) {
    c.lake = lakes.lake_mask.data();
    c.lake_elev = lakes.lake_elev.data();
  }
  if (lakes.overland_lake_map_given && !lakes.oland_lake_new.empty() && lakes.num_olakes > 0) {
    c.olake = lakes.oland_lake_new.data();
    c.otab = lakes.olake_table.data();
  }
  if (lakes.wetlands_on && !lakes.wetland_mask.empty()) {
    c.wet = lakes.wetland_mask.data();
    c.wprops = &lakes.wetland_props;
  }
  if (ov.ov_boundary && !ov.boundary_type.empty()) c.bctype = ov.boundary_type.data();
  c.bcell = blocked_cells(ov);
  if (c.bcell && !ov.ovr_flow_block_frac.empty()) c.bfrac = &ov.ovr_flow_block_frac;
  if (d.snow.swe && d.snow.params) {
    c.swe = d.snow.swe;
    c.snap = d.snow.params;
    c.darcy = ov.snow_darcy;
  }
  c.general = c.lake || c.olake || c.wet || c.bcell || c.swe;
  if (d.outlet_drains && g.outlet_cell > 0 && g.outlet_cell <= c.n) c.outlet = g.outlet_cell;
  c.outlet_slope = g.outlet_slope;
  return c;
}

inline bool in_chan_lake(const ade_ctx& c, int i) { return c.lake && lake_cell(c.lake[i]); }
inline bool in_olake(const ade_ctx& c, int i) { return c.olake && lake_cell(c.olake[i]); }
inline bool in_lake(const ade_ctx& c, int i) { return in_chan_lake(c, i) || in_olake(c, i); }
inline bool is_wet(const ade_ctx& c, int i) { return c.wet && wetland_cell(c.wet[i]); }

// Fixed-level boundary cells keep their depth.
inline bool fixed_level(const ade_ctx& c, int i) { return c.bctype && boundary::holds_level(c.bctype[i]); }

// Water surface of a cell for the face discharges.
inline double surface(const ade_ctx& c, const double* depth, int i, int snow_cell) {
  if (in_olake(c, i)) return c.otab[c.olake[i]].value[olake_value::level];
  if (in_chan_lake(c, i)) return c.lake_elev[c.lake[i]];
  double d = depth[i];
  if (c.swe && c.swe[i] > 1e-16) d /= (*c.snap)[snow_cell][snow_water_divisor];
  return c.z[i] + d;
}

template <bool General>
void face_discharges(const ade_ctx& c, const double* depth, int dir, double* q) {
  const int n = c.n;
  const double dx = c.dx;
  const int* nb = dir == ade_dir_x ? c.right : c.below;
  const int bit = dir == ade_dir_x ? cell_side::right : cell_side::bottom;
  const int side_i = dir == ade_dir_x ? block_side::right : block_side::bottom;
  const int side_k = dir == ade_dir_x ? block_side::left : block_side::top;
  const double* z = c.z;
  const double* ret = c.ret;
  const double* neff = c.neff;
  for (int i = 1; i <= n; ++i) {
    const int k = nb[i];
    if (k == 0 || (c.dike && (c.dike[i] & bit))) {
      q[i] = 0.0;
      continue;
    }
    double si, sk;
    if constexpr (General) {
      if ((in_olake(c, i) && in_olake(c, k)) || (in_chan_lake(c, i) && in_chan_lake(c, k))) {
        q[i] = 0.0;
        continue;
      }
      si = surface(c, depth, i, i);
      sk = surface(c, depth, k, i);
    } else {
      si = z[i] + depth[i];
      sk = z[k] + depth[k];
    }
    const double S = (si - sk) / dx;
    if (std::fabs(S) < 1e-16) {
      q[i] = 0.0;
      continue;
    }
    const int u = S > 0.0 ? i : k;
    double d = (S > 0.0 ? si : sk) - z[u];
    if constexpr (General) {
      // An overland lake gives the head above its initial level.
      if (in_olake(c, u))
        d = olake_head(c.otab[c.olake[u]]);
      else if (!is_wet(c, u))
        d -= ret[u];
    } else {
      d -= ret[u];
    }
    if (d < 1e-16) {
      q[i] = 0.0;
      continue;
    }
    if constexpr (General) {
      double f = 0.0;
      if (c.bfrac) {
        const double fk = (*c.bfrac)[k][side_k], fi = (*c.bfrac)[i][side_i];
        f = fk > fi ? fk : fi;
      }
      double layer = 0.0;
      double V;
      if (is_wet(c, u)) {
        const row_view<const double> w = (*c.wprops)[c.wet[u]];
        const double Tw = w[wetland_prop::layer_thickness], Kw = w[wetland_prop::layer_conductivity];
        const double Db = w[wetland_prop::transition_depth], Cw = w[wetland_prop::linear_coef];
        const double nw = w[wetland_prop::manning_n];
        if (d <= Tw) {  // all of it moves through the wetland layer
          q[i] = d * S * Kw * dx;
          continue;
        }
        layer = Tw * S * Kw * dx;
        d -= Tw;
        const double m = std::pow(d, two_thirds) * std::sqrt(std::fabs(S)) / nw;
        const double M = S < 0.0 ? -m : m;
        V = d >= Db ? M : (1.0 - d / Db) * S * Cw + (d / Db) * M;
      } else if (c.swe && c.swe[u] > 1e-16) {
        V = c.darcy > 1e-16 ? S * c.darcy : S * ((*c.snap)[u][snow_permeability] / 10000.0) * water_rho_g_over_mu;
      } else {
        const double v = std::pow(d, two_thirds) * std::sqrt(std::fabs(S)) / neff[u];
        V = S < 0.0 ? -v : v;
      }
      q[i] = (V * d * dx + layer) * (1.0 - f);
    } else {
      const double v = std::pow(d, two_thirds) * std::sqrt(std::fabs(S)) / neff[u];
      const double V = S < 0.0 ? -v : v;
      q[i] = V * d * dx;
    }
  }
}

// Net inflow of one direction: from the face above or left of the cell less
// through its own face.
inline double net_inflow(const int* up, const double* q, int i) {
  const int u = up[i];
  return (u ? q[u] : 0.0) - q[i];
}

void effective_roughness(overland_state& ov, int n, const double* depth) {
  const double* rn = ov.dist_rough.data();
  double* neff = ov.ade_kernel.rough.data();
  if (ov.roughness_exp.empty()) {
    std::memcpy(neff, rn, sizeof(double) * (static_cast<std::size_t>(n) + 1));
    return;
  }
  const double* e = ov.roughness_exp.data();
  for (int i = 1; i <= n; ++i) neff[i] = e[i] == 0.0 ? rn[i] : rn[i] * std::exp(-e[i] * depth[i]);
}

// The volume through each face between a lake cell and a cell outside the
// lakes, counted toward the lake.
void lake_exchange(lake_state& lakes, const ade_ctx& c, const double* q, int dir, double step,
                   double* olake_acc) {
  const int* nb = dir == ade_dir_x ? c.right : c.below;
  for (int i = 1; i <= c.n; ++i) {
    const int k = nb[i];
    if (k == 0) continue;
    const bool li = in_lake(c, i), lk = in_lake(c, k);
    if (li == lk) continue;
    const double v = lk ? q[i] * step : -q[i] * step;
    const int cell = lk ? k : i;
    if (in_chan_lake(c, cell)) {
      const int L = c.lake[cell];
      lakes.lake_volume[L] += v;
      if (v > 0.0)
        lakes.lake_in_dv[L] += v;
      else
        lakes.lake_out_dv[L] += -v;
    } else {
      olake_acc[c.olake[cell]] += v;
    }
  }
}

// Normal-depth outflow of the outlet cell over one sub-step, never more than
// the cell holds on its open part.
void drain_outlet(const ade_ctx& c, double step, overland_books& books) {
  const int o = c.outlet;
  if (o == 0 || fixed_level(c, o)) return;
  double& h = c.h[o];
  if (!(h > 0.0)) return;
  const double vol = step * std::pow(h, outlet_exponent) / c.neff[o] * std::sqrt(c.outlet_slope) * c.dx;
  books.outlet += drain_cell(h, vol, c.A * open_share(c.bcell, o));
}

// Books the water a fixed-level cell received (dh over its whole area, its
// level unchanged): what flows into it leaves the grid, what flows out of
// it enters the grid.
inline void book_fixed(const ade_ctx& c, int i, double dh, overland_books& books) {
  const double vol = dh * c.A;
  if (i == c.outlet)
    books.outlet += vol;
  else if (vol > 0.0)
    books.loss += vol;
  else
    books.gain += -vol;
}

template <bool General>
sweep_status sweep_depths(const ade_ctx& c, const double* q, int dir, double dts, double factor,
                          overland_books& books) {
  const int n = c.n;
  const int* up = dir == ade_dir_x ? c.left : c.above;
  const double A = c.A;
  double* h = c.h;
  sweep_status status = sweep_status::stable;
  for (int i = 1; i <= n; ++i) {
    if constexpr (General) {
      if (in_lake(c, i)) continue;
    }
    double dh = net_inflow(up, q, i) * dts / A;
    if (fixed_level(c, i)) {
      book_fixed(c, i, dh, books);
      continue;
    }
    if constexpr (General) {
      // The water spreads over the open part of the cell.
      if (c.bcell && c.bcell[i] < 1.0) dh /= (1.0 - c.bcell[i]);
    }
    const double prev = h[i];
    const double hn = prev + dh;
    h[i] = hn;
    if (std::isnan(hn) || hn < -1e-05) return sweep_status::failed;
    if (hn < 0.0) {
      if (hn < -1e-08) status = sweep_status::unstable;
      h[i] = 0.0;
    }
    if (status == sweep_status::stable && prev > 0.01 && std::fabs(dh) > factor * 0.5 * prev && dts > 0.1)
      status = sweep_status::unstable;
  }
  return status;
}

bool stability(const ade_ctx& c, const double* q, int dir, double dts, double factor, double& ratio,
               int& cell) {
  const int* up = dir == ade_dir_x ? c.left : c.above;
  ratio = 0.0;
  cell = 0;
  bool unstable = false;
  for (int i = 1; i <= c.n; ++i) {
    if (in_lake(c, i)) continue;
    // Cells whose level or discharge is imposed do not limit the sub-step.
    if (c.bctype && (boundary::holds_level(c.bctype[i]) || boundary::holds_discharge(c.bctype[i]))) continue;
    const double hi = c.h[i];
    if (!(hi > 0.01)) continue;
    double r = std::fabs(net_inflow(up, q, i) * dts / c.A) / (factor * 0.25 * hi);
    if (c.bcell && c.bcell[i] < 1.0) r /= (1.0 - c.bcell[i]);
    if (r > ratio) {
      ratio = r;
      cell = i;
    }
    if (dts > 0.1 && r > 1.0) unstable = true;
  }
  return unstable;
}

void save_lakes(ade_scheme& s, const lake_state& lakes) {
  for (int L = 1; L <= lakes.num_lakes; ++L) {
    s.lake_save[3 * L - 2] = lakes.lake_volume[L];
    s.lake_save[3 * L - 1] = lakes.lake_in_dv[L];
    s.lake_save[3 * L] = lakes.lake_out_dv[L];
  }
}

void restore_lakes(const ade_scheme& s, lake_state& lakes) {
  for (int L = 1; L <= lakes.num_lakes; ++L) {
    lakes.lake_volume[L] = s.lake_save[3 * L - 2];
    lakes.lake_in_dv[L] = s.lake_save[3 * L - 1];
    lakes.lake_out_dv[L] = s.lake_save[3 * L];
  }
}

void zero(array1d<double>& a) {
  if (!a.empty()) std::memset(a.data(), 0, sizeof(double) * (static_cast<std::size_t>(a.size()) + 1));
}

// The overland-lake exchange gathered over the step goes to the lakes.
void book_olake_exchange(lake_state& lakes, const double* acc) {
  for (int L = 1; L <= lakes.num_olakes; ++L) lakes.olake_table[L].value[olake_value::exchange] += acc[L];
}

// The message of a sub-step that fell below the smallest allowed; the run
// then stops.
void report_small_sub_step(double dts, double min_dt, int worst) {
  std::printf("The ADE overland routing time step is getting really small\n");
  std::printf("Your time step is %lf seconds \n", dts);
  std::printf("Minimum time step allowed for your problem is %lf seconds \n", min_dt);
  std::printf("The biggest instability problem was encountered at cell %ld \n", static_cast<long>(worst));
  std::printf("Reduce the model time step by a factor of 2 and try again.\n");
  std::printf("Program stopped.\n");
}

// Plain ADE with adaptive sub-steps.
overland_status route_plain(const overland_domain& d, double dt, bool first, overland_books& books) {
  overland_state& ov = d.overland;
  lake_state& lakes = d.lakes;
  ade_scheme& s = ov.ade_kernel;
  const int n = d.grid.ncells;
  ade_ctx c = make_ctx(d);
  const bool chan_lakes = c.lake != nullptr;
  const int order_first = ov.ade_sweep == 1 ? ade_dir_x : ade_dir_y;
  const int order_second = order_first == ade_dir_x ? ade_dir_y : ade_dir_x;

  // Sub-step choice from the expected relative depth change.
  double dts = dt;
  if (!first && dt - s.last_dt > 0.001) dts = s.last_dt;
  double rx = 0.0, ry = 0.0;
  int cx = 0, cy = 0;
  const bool ux = stability(c, ov.ov_qx.data(), ade_dir_x, dts, s.dt_factor, rx, cx);
  const bool uy = stability(c, ov.ov_qy.data(), ade_dir_y, dts, s.dt_factor, ry, cy);
  double R = rx;
  int worst = cx;
  if (ry > rx) {
    R = ry;
    worst = cy;
  }
  if (ux || uy) {
    dts /= R;
    if (dts < s.min_dt) dts = 1.1 * s.min_dt;
  } else if (R < 0.5) {
    if (dts * 1.4 <= dt + 1e-16) dts *= 1.4;
    s.stable_count += 1;
  }
  if (s.dt_factor < 1.0 && s.stable_count > 100) {
    s.dt_factor *= 2.0;
    s.stable_count = 0;
  }

  std::memcpy(s.depth_save.data(), c.h, sizeof(double) * (static_cast<std::size_t>(n) + 1));
  if (chan_lakes) save_lakes(s, lakes);
  double* qx = ov.ov_qx.data();
  double* qy = ov.ov_qy.data();
  double* volx = ov.ov_volx.data();
  double* voly = ov.ov_voly.data();
  double* oacc = s.olake_acc.empty() ? nullptr : s.olake_acc.data();

  for (;;) {
    if (dts < s.min_dt) {
      report_small_sub_step(dts, s.min_dt, worst);
      return overland_status::sub_step_too_small;
    }
    // Every attempt starts from the state at the start of the step.
    std::memcpy(c.h, s.depth_save.data(), sizeof(double) * (static_cast<std::size_t>(n) + 1));
    if (chan_lakes) restore_lakes(s, lakes);
    zero(s.olake_acc);
    zero(ov.ov_volx);
    zero(ov.ov_voly);
    books = overland_books{};

    double remaining = dt;
    sweep_status prev_status = sweep_status::stable;
    bool failed = false;
    while (remaining > 1e-16) {
      if (prev_status == sweep_status::unstable) {
        dts *= 0.6;
        if (dts < 1.1 * s.min_dt) dts = 1.1 * s.min_dt;
      }
      s.last_dt = dts;
      const double step = remaining - dts < 0.5 * dts ? remaining : dts;
      effective_roughness(ov, n, c.h);
      sweep_status status = sweep_status::stable;
      for (int pass = 0; pass < 2; ++pass) {
        const int dir = pass == 0 ? order_first : order_second;
        double* q = dir == ade_dir_x ? qx : qy;
        double* vol = dir == ade_dir_x ? volx : voly;
        sweep_status st;
        if (c.general) {
          face_discharges<true>(c, c.h, dir, q);
          st = sweep_depths<true>(c, q, dir, step, s.dt_factor, books);
        } else {
          face_discharges<false>(c, c.h, dir, q);
          st = sweep_depths<false>(c, q, dir, step, s.dt_factor, books);
        }
        if (st == sweep_status::failed) {
          failed = true;
          break;
        }
        if (st > status) status = st;
        for (int i = 1; i <= n; ++i) vol[i] += q[i] * step;
        if (c.lake || c.olake) lake_exchange(lakes, c, q, dir, step, oacc);
      }
      if (failed) break;
      drain_outlet(c, step, books);
      remaining -= step;
      prev_status = status;
    }
    if (!failed) break;
    dts *= 0.5;
    s.dt_factor *= 0.5;
    s.stable_count = 0;
  }
  if (c.olake) book_olake_exchange(lakes, oacc);
  return overland_status::ok;
}

// Change of every cell outside the lakes from the face discharges of one
// direction over a sub-step (coef = sub-step / dx^2). Returns the first cell
// whose new depth is below zero, 0 when there is none.
int pc_change(const ade_ctx& c, const double* q, int dir, double coef, const double* from, double* to,
              overland_books* books) {
  const int* up = dir == ade_dir_x ? c.left : c.above;
  int below_zero = 0;
  for (int i = 1; i <= c.n; ++i) {
    if (in_lake(c, i)) continue;
    double dh = net_inflow(up, q, i) * coef;
    if (fixed_level(c, i)) {
      if (books) book_fixed(c, i, dh, *books);
      to[i] = from[i];
      continue;
    }
    if (c.bcell && c.bcell[i] < 1.0) dh /= (1.0 - c.bcell[i]);
    to[i] = from[i] + dh;
    if (to[i] < 0.0 && below_zero == 0) below_zero = i;
  }
  return below_zero;
}

// One predictor-corrector sub-step of dts seconds from the current depths.
// For each direction in turn: the discharges of the depths (predictor), the
// depths they would make, the discharges of those (corrector); the mean of
// the two moves the water. The outlet then drains once. Returns the first
// cell that would fall below zero (the sub-step is then abandoned), 0 when
// the sub-step is done.
int pc_sub_step(const ade_ctx& c, overland_state& ov, lake_state& lakes, double dts, overland_books& books) {
  ade_scheme& s = ov.ade_kernel;
  const int n = c.n;
  const double coef = dts / c.A;
  double* pcd = s.pc_depth.data();
  double* pcf = s.pc_flux.data();
  double* oacc = s.olake_acc.empty() ? nullptr : s.olake_acc.data();
  for (int i = 1; i <= n; ++i) {
    if (in_lake(c, i)) continue;
    pcd[i] = c.h[i];
    ov.ov_qx[i] = 0.0;
    ov.ov_qy[i] = 0.0;
  }
  effective_roughness(ov, n, c.h);
  const int order_first = ov.ade_sweep == 1 ? ade_dir_x : ade_dir_y;
  for (int pass = 0; pass < 2; ++pass) {
    const int dir = pass == 0 ? order_first : (order_first == ade_dir_x ? ade_dir_y : ade_dir_x);
    double* q = dir == ade_dir_x ? ov.ov_qx.data() : ov.ov_qy.data();
    if (c.general) {
      face_discharges<true>(c, c.h, dir, pcf);
      pc_change(c, pcf, dir, coef, c.h, pcd, nullptr);
      face_discharges<true>(c, pcd, dir, q);
    } else {
      face_discharges<false>(c, c.h, dir, pcf);
      pc_change(c, pcf, dir, coef, c.h, pcd, nullptr);
      face_discharges<false>(c, pcd, dir, q);
    }
    for (int i = 1; i <= n; ++i) q[i] = 0.5 * (pcf[i] + q[i]);
    const int below_zero = pc_change(c, q, dir, coef, c.h, c.h, &books);
    if (below_zero != 0) return below_zero;
    if (c.lake || c.olake) lake_exchange(lakes, c, q, dir, dts, oacc);
  }
  // Once per sub-step, after both directions: a steady grid then drains the
  // same volume every step, whichever direction went first.
  drain_outlet(c, dts, books);
  return 0;
}

// ADE with a predictor-corrector discharge. The step is taken whole unless
// a cell would give more water than it holds; then it is taken again from
// its start in 2, 4, 8 ... equal sub-steps, until no depth falls below zero
// or the sub-step falls below the smallest allowed.
overland_status route_pc(const overland_domain& d, double dt, overland_books& books) {
  overland_state& ov = d.overland;
  lake_state& lakes = d.lakes;
  ade_scheme& s = ov.ade_kernel;
  const int n = d.grid.ncells;
  const ade_ctx c = make_ctx(d);
  const bool chan_lakes = c.lake != nullptr;
  std::memcpy(s.depth_save.data(), c.h, sizeof(double) * (static_cast<std::size_t>(n) + 1));
  if (chan_lakes) save_lakes(s, lakes);
  zero(s.olake_acc);
  for (int parts = 1;; parts *= 2) {
    const double dts = dt / parts;
    int below_zero = 0;
    for (int p = 0; p < parts && below_zero == 0; ++p) below_zero = pc_sub_step(c, ov, lakes, dts, books);
    if (below_zero == 0) break;
    if (dts / 2 < s.min_dt) {
      report_small_sub_step(dts / 2, s.min_dt, below_zero);
      return overland_status::sub_step_too_small;
    }
    // The attempt starts again from the state at the start of the step.
    std::memcpy(c.h, s.depth_save.data(), sizeof(double) * (static_cast<std::size_t>(n) + 1));
    if (chan_lakes) restore_lakes(s, lakes);
    zero(s.olake_acc);
    books = overland_books{};
  }
  if (c.olake) book_olake_exchange(lakes, s.olake_acc.data());
  return overland_status::ok;
}

}  // namespace

void ade_scheme::prepare(int cells, int channel_lakes, int overland_lakes) {
  ensure_cells(pc_depth, cells);
  ensure_cells(pc_flux, cells);
  ensure_cells(rough, cells);
  ensure_cells(depth_save, cells);
  if (channel_lakes > 0) ensure_cells(lake_save, 3 * channel_lakes);
  if (overland_lakes > 0) ensure_cells(olake_acc, overland_lakes);
}

void ade_flux_helper(const overland_domain& d, const double* depth, int direction, double* q) {
  const ade_ctx c = make_ctx(d);
  if (c.general)
    face_discharges<true>(c, depth, direction, q);
  else
    face_discharges<false>(c, depth, direction, q);
}

sweep_status ade_sweep_helper(const overland_domain& d, const double* q, int direction, double dt_s,
                              overland_books& books) {
  const ade_ctx c = make_ctx(d);
  const double factor = d.overland.ade_kernel.dt_factor;
  if (c.general) return sweep_depths<true>(c, q, direction, dt_s, factor, books);
  return sweep_depths<false>(c, q, direction, dt_s, factor, books);
}

bool ade_stability_check(const overland_domain& d, const double* q, int direction, double dt_s,
                         double& ratio, int& cell) {
  const ade_ctx c = make_ctx(d);
  return stability(c, q, direction, dt_s, d.overland.ade_kernel.dt_factor, ratio, cell);
}

overland_result route_overland_ade(const overland_domain& d, double dt) {
  overland_result result;
  const grid_state& g = d.grid;
  overland_state& ov = d.overland;
  lake_state& lakes = d.lakes;
  ade_scheme& s = ov.ade_kernel;
  const int n = g.ncells;
  if (n <= 0) return result;
  result.status = check_entry_depths(ov.ov_depth.data(), n);
  if (result.status != overland_status::ok) return result;

  const bool first = s.calls == 0;
  s.calls += 1;
  if (first) s.min_dt = g.grid_size * 0.001 / 100;
  ensure_cells(ov.ov_qx, n);
  ensure_cells(ov.ov_qy, n);
  ensure_cells(ov.ov_volx, n);
  ensure_cells(ov.ov_voly, n);
  s.prepare(n, lakes.chan_lakes ? lakes.num_lakes : 0, lakes.overland_lake_map_given ? lakes.num_olakes : 0);

  overland_books books;
  if (ov.overtype == overland_scheme::ade) {
    result.status = route_plain(d, dt, first, books);
    if (result.status != overland_status::ok) return result;
  } else if (ov.overtype == overland_scheme::ade_pc) {
    result.status = route_pc(d, dt, books);
    if (result.status != overland_status::ok) return result;
  }

  overland_books weirs;
  if (g.lowspot_file_given) weirs = dike_weir_flow(d.grid, ov, lakes, dt);
  result.books.loss = weirs.loss + books.loss;
  result.books.gain = weirs.gain + books.gain;
  result.books.outlet = books.outlet;
  return result;
}

}  // namespace nivra
