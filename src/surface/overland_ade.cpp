// Alternating-direction explicit overland routing. Water moves along the
// rows for the whole grid, the depths change, then it moves along the
// columns from the new depths. Plain ADE chooses its sub-step from the
// largest relative depth change it expects and shortens or restarts it when
// depths fall too fast; ADE-PC takes the full step with the mean of a
// predictor and a corrector discharge, in equal shorter sub-steps when the
// full step would take a cell below zero.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <cstdio>
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
  double* bc_out = nullptr;           // per cell: water passed out of the grid by a held level, m3 (null: not noted)
  const array2d<double>* bfrac = nullptr;  // blocked side fractions, null without blockage
  const double* bcell = nullptr;           // blocked area fractions, null without blockage
  const double* swe = nullptr;        // lateral flow through snow, null when off
  const array2d<double>* snap = nullptr;
  double darcy = 0.0;
  bool general = false;               // lakes, wetlands, snow or blockage present
  int outlet = 0;                     // drained here (channel routing off), else 0
  double outlet_slope = 0.0;
  edge_drain* edges = nullptr;        // the normal-depth boundary cells, drained with the outlet
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
  c.neff = ov.ade_kernel.rough.empty() ? ov.dist_rough.data() : ov.ade_kernel.rough.data();
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
  if (c.bctype && ov.bc_out_vol.size() == c.n) c.bc_out = ov.bc_out_vol.data();
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

// The diffusivity (face_diffusivity) of the face i -> k from the ground,
// depth, retention and roughness of its two cells, by the face rule of the
// discharges: 0 where the cell upwind holds no flowing water. Choices by
// selection only, so that the face loops vectorise.
[[gnu::always_inline]] inline double face_d(double dx, double zi, double zk, double hi, double hk, double ri,
                                            double rk, double ni, double nk) {
  const double si = zi + hi;
  const double sk = zk + hk;
  const double S = (si - sk) / dx;
  const bool down = S > 0.0;
  const double d = ((down ? si : sk) - (down ? zi : zk)) - (down ? ri : rk);
  const bool flows = d > 1e-16;
  const double dd = flows ? d : 1.0;
  const double D = face_diffusivity(dd * pow_two_thirds(dd), down ? ni : nk, S);
  return flows ? D : 0.0;
}

// The square of face_d, never below it (face_diffusivity_squared), with the
// slope's division by dx a multiplication by its inverse.
[[gnu::always_inline]] inline double face_d_squared(double per_dx, double zi, double zk, double hi, double hk,
                                                    double ri, double rk, double ni, double nk) {
  const double si = zi + hi;
  const double sk = zk + hk;
  const double S = (si - sk) * per_dx;
  const bool down = S > 0.0;
  const double d = ((down ? si : sk) - (down ? zi : zk)) - (down ? ri : rk);
  const bool flows = d > 1e-16;
  const double D2 = face_diffusivity_squared(flows ? d : 1.0, down ? ni : nk, S);
  return flows ? D2 : 0.0;
}

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
    int u = S > 0.0 ? i : k;
    double d = (S > 0.0 ? si : sk) - z[u];
    [[maybe_unused]] bool from_lake = false;
    if constexpr (General) {
      // A lake gives the depth it stands above its shore, the ground of the
      // cell it flows onto, and the water runs over that cell
      // (shore_depth; an overland lake no more than the head above its
      // initial level).
      const int shore = u == i ? k : i;
      if (in_olake(c, u)) {
        d = olake_shore_depth(c.otab[c.olake[u]], z[shore]);
        from_lake = true;
      } else if (in_chan_lake(c, u)) {
        d = shore_depth(c.lake_elev[c.lake[u]], z[shore]);
        from_lake = true;
      } else if (!is_wet(c, u)) {
        d -= ret[u];
      }
      if (from_lake) u = shore;
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
      if (from_lake) {
        const double v = std::pow(d, two_thirds) * slope_root(std::fabs(S)) / neff[u];
        V = S < 0.0 ? -v : v;
      } else if (is_wet(c, u)) {
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
        const double m = std::pow(d, two_thirds) * slope_root(std::fabs(S)) / nw;
        const double M = S < 0.0 ? -m : m;
        V = d >= Db ? M : (1.0 - d / Db) * S * Cw + (d / Db) * M;
      } else if (c.swe && c.swe[u] > 1e-16) {
        V = c.darcy > 1e-16 ? S * c.darcy : S * ((*c.snap)[u][snow_permeability] / 10000.0) * water_rho_g_over_mu;
      } else {
        const double v = std::pow(d, two_thirds) * slope_root(std::fabs(S)) / neff[u];
        V = S < 0.0 ? -v : v;
      }
      q[i] = (V * d * dx + layer) * (1.0 - f);
    } else {
      const double v = std::pow(d, two_thirds) * slope_root(std::fabs(S)) / neff[u];
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

// A channel lake never gives more over its shore in a sub-step than it
// holds: where the faces of one direction would take more than its volume,
// every face it gives through is cut by the same share, and the lake is
// left empty (given: a work array, per lake). A face into a cell of another
// lake moves nothing between them (lake_exchange).
void limit_lake_outflow(const ade_ctx& c, const lake_state& lakes, double* q, int dir, double step, double* given) {
  if (!c.lake) return;
  const int* nb = dir == ade_dir_x ? c.right : c.below;
  // The lake that gives through the face of cell i, 0 when none does.
  auto giver = [&](int i) {
    const int k = nb[i];
    if (k == 0) return 0;
    if (q[i] > 0.0 && in_chan_lake(c, i) && !in_lake(c, k)) return c.lake[i];
    if (q[i] < 0.0 && in_chan_lake(c, k) && !in_lake(c, i)) return c.lake[k];
    return 0;
  };
  const int count = lakes.num_lakes;
  std::fill(given, given + count + 1, 0.0);
  bool any = false;
  for (int i = 1; i <= c.n; ++i) {
    if (const int L = giver(i)) {
      given[L] += std::fabs(q[i]) * step;
      any = true;
    }
  }
  if (!any) return;
  for (int L = 1; L <= count; ++L) {
    const double held = std::fmax(lakes.lake_volume[L], 0.0);
    given[L] = given[L] > held ? held / given[L] : 1.0;
  }
  for (int i = 1; i <= c.n; ++i) {
    if (const int L = giver(i)) q[i] *= given[L];
  }
}

// Normal-depth outflow of the outlet cell over one sub-step, never more than
// the cell holds on its open part.
void drain_outlet(const ade_ctx& c, double step, overland_books& books) {
  const int o = c.outlet;
  if (o == 0 || fixed_level(c, o)) return;
  books.outlet += drain_by_normal_depth(c.h[o], step, c.A * open_share(c.bcell, o), c.dx, c.neff[o], c.outlet_slope);
}

// Books the water a fixed-level cell received (dh over its whole area, its
// level unchanged): what flows into it leaves the grid, and is noted in
// `noted` (null: not noted); what flows out of it enters the grid.
inline void book_fixed(const ade_ctx& c, int i, double dh, overland_books& books, double* noted) {
  const double vol = dh * c.A;
  if (i == c.outlet) {
    books.outlet += vol;
  } else if (vol > 0.0) {
    books.loss += vol;
    if (noted) *noted += vol;
  } else
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
      book_fixed(c, i, dh, books, c.bc_out ? &c.bc_out[i] : nullptr);
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

// The water noted as leaving through held levels, kept at the start of a
// step and put back when an attempt starts again.
void save_boundary_outflow(ade_scheme& s, const ade_ctx& c) {
  if (!c.bc_out) return;
  ensure_cells(s.bc_out_save, c.n);
  std::memcpy(s.bc_out_save.data(), c.bc_out, sizeof(double) * (static_cast<std::size_t>(c.n) + 1));
}
void restore_boundary_outflow(const ade_scheme& s, const ade_ctx& c) {
  if (c.bc_out) std::memcpy(c.bc_out, s.bc_out_save.data(), sizeof(double) * (static_cast<std::size_t>(c.n) + 1));
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

// The largest expected relative depth change of one direction, its cell,
// and whether it passes the stability limit.
struct depth_change {
  double ratio = 0.0;
  int cell = 0;
  bool unstable = false;
};

// After the depth-change check of the first sub-step dts (largest ratio R,
// `unstable` past the limit): dts grown by 1.4 up to dt after a calm one,
// and the stability factor doubled again after 100 calm steps.
double after_depth_check(ade_scheme& s, double dt, double dts, double R, bool unstable) {
  if (!unstable && R < 0.5) {
    if (dts * 1.4 <= dt + 1e-16) dts *= 1.4;
    s.stable_count += 1;
  }
  if (s.dt_factor < 1.0 && s.stable_count > 100) {
    s.dt_factor *= 2.0;
    s.stable_count = 0;
  }
  return dts;
}

// The first sub-step of a step of dt seconds, from the sub-step dts it would
// take and the depth changes of the two directions: cut by the larger ratio
// past the limit (never below the smallest sub-step), else as
// after_depth_check. worst: the cell of the larger ratio.
double first_sub_step(ade_scheme& s, double dt, double dts, depth_change x, depth_change y, int& worst) {
  double R = x.ratio;
  worst = x.cell;
  if (y.ratio > x.ratio) {
    R = y.ratio;
    worst = y.cell;
  }
  const bool unstable = x.unstable || y.unstable;
  if (unstable) {
    dts /= R;
    if (dts < s.min_dt) dts = 1.1 * s.min_dt;
  }
  return after_depth_check(s, dt, dts, R, unstable);
}

// The next sub-step of a step with `remaining` seconds left: dts is cut to
// 0.6 after an unstable one (never below 1.1 times the smallest), and the
// sub-step takes what remains when less than half a sub-step would be left
// after it. Kept as the scheme's last sub-step.
double next_sub_step(ade_scheme& s, double& dts, double remaining, sweep_status previous) {
  if (previous == sweep_status::unstable) {
    dts *= 0.6;
    if (dts < 1.1 * s.min_dt) dts = 1.1 * s.min_dt;
  }
  s.last_dt = dts;
  return remaining - dts < 0.5 * dts ? remaining : dts;
}

// The longest stable sub-step of the depths of a grid with lakes, wetlands,
// snow, blockage or boundary conditions: the bound of its ordinary faces
// (face_discharges). A face into a lake moves water toward a level the
// sub-step does not change; a wetland's layer and a snowpack move their
// water by their own laws; a blocked face carries less than an open one.
double general_stable_step(const ade_ctx& c, const double* depth) {
  double m = 0.0;
  for (int dir = ade_dir_x; dir <= ade_dir_y; ++dir) {
    const int* nb = dir == ade_dir_x ? c.right : c.below;
    const int bit = dir == ade_dir_x ? cell_side::right : cell_side::bottom;
    for (int i = 1; i <= c.n; ++i) {
      const int k = nb[i];
      if (k == 0 || (c.dike && (c.dike[i] & bit))) continue;
      if (in_lake(c, i) || in_lake(c, k) || is_wet(c, i) || is_wet(c, k)) continue;
      if (c.swe && (c.swe[i] > 1e-16 || c.swe[k] > 1e-16)) continue;
      const double D = face_d(c.dx, c.z[i], c.z[k], depth[i], depth[k], c.ret[i], c.ret[k], c.neff[i], c.neff[k]);
      m = D > m ? D : m;
    }
  }
  return stable_sub_step(ade_stable_factor, c.dx, m);
}

// Plain ADE with adaptive sub-steps.
overland_status route_plain(const overland_domain& d, edge_drain& edges, double dt, bool first,
                            overland_books& books) {
  overland_state& ov = d.overland;
  lake_state& lakes = d.lakes;
  ade_scheme& s = ov.ade_kernel;
  const int n = d.grid.ncells;
  ade_ctx c = make_ctx(d);
  c.edges = &edges;
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
  int worst = 0;
  dts = first_sub_step(s, dt, dts, {rx, cx, ux}, {ry, cy, uy}, worst);

  std::memcpy(s.depth_save.data(), c.h, sizeof(double) * (static_cast<std::size_t>(n) + 1));
  if (chan_lakes) save_lakes(s, lakes);
  save_boundary_outflow(s, c);
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
    restore_boundary_outflow(s, c);
    edges.restart();
    zero(s.olake_acc);
    zero(ov.ov_volx);
    zero(ov.ov_voly);
    books = overland_books{};

    double remaining = dt;
    sweep_status prev_status = sweep_status::stable;
    bool failed = false;
    while (remaining > 1e-16) {
      double step = next_sub_step(s, dts, remaining, prev_status);
      effective_roughness(ov, n, c.h);
      // The sub-step keeps to the stable bound of its depths.
      step = bounded_sub_step(step, general_stable_step(c, c.h), remaining);
      s.substeps += 1;
      s.cell_updates += n;
      sweep_status status = sweep_status::stable;
      for (int pass = 0; pass < 2; ++pass) {
        const int dir = pass == 0 ? order_first : order_second;
        double* q = dir == ade_dir_x ? qx : qy;
        double* vol = dir == ade_dir_x ? volx : voly;
        sweep_status st;
        if (c.general) {
          face_discharges<true>(c, c.h, dir, q);
          limit_lake_outflow(c, lakes, q, dir, step, s.lake_given.data());
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
      edges.drain_all(c.h, step);
      remaining -= step;
      prev_status = status;
    }
    if (!failed) break;
    dts *= 0.5;
    s.dt_factor *= 0.5;
    s.stable_count = 0;
    s.restarts += 1;
  }
  if (c.olake) book_olake_exchange(lakes, oacc);
  // Without lakes the face discharges are the mean of the step; with them,
  // those of the last sub-step, as the lakes' exchange took them.
  if (!((lakes.chan_lakes && lakes.num_lakes > 0) || lakes.overland_lake_map_given)) {
    for (int i = 1; i <= n; ++i) {
      qx[i] = volx[i] / dt;
      qy[i] = voly[i] / dt;
    }
  }
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
      if (books) book_fixed(c, i, dh, *books, c.bc_out ? &c.bc_out[i] : nullptr);
      to[i] = from[i];
      continue;
    }
    if (c.bcell && c.bcell[i] < 1.0) dh /= (1.0 - c.bcell[i]);
    to[i] = from[i] + dh;
    if (to[i] < 0.0 && below_zero == 0) below_zero = i;
  }
  return below_zero;
}

// The outlet's turnover sub-step (outlet_turnover_step) at the depths h;
// no bound without an outlet.
double outlet_turnover(const ade_ctx& c, const double* h) {
  if (c.outlet == 0) return std::numeric_limits<double>::infinity();
  return outlet_turnover_step(h[c.outlet], c.A, c.dx, c.neff[c.outlet], c.outlet_slope);
}

// ADE-PC's sub-steps: equal parts of the step (dts), each kept to the stable
// bound of the depths at its start; the last takes what remains of the step
// when that is within rounding of it.
constexpr double pc_end_tolerance = 1e-9;
double pc_sub_step_length(double dts, double bound, double remaining, double dt) {
  const double step = bounded_sub_step(dts < remaining ? dts : remaining, bound, remaining);
  return remaining - step <= pc_end_tolerance * dt ? remaining : step;
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
    limit_lake_outflow(c, lakes, q, dir, dts, s.lake_given.data());
    const int below_zero = pc_change(c, q, dir, coef, c.h, c.h, &books);
    if (below_zero != 0) return below_zero;
    double* vol = dir == ade_dir_x ? ov.ov_volx.data() : ov.ov_voly.data();
    for (int i = 1; i <= n; ++i) vol[i] += q[i] * dts;
    if (c.lake || c.olake) lake_exchange(lakes, c, q, dir, dts, oacc);
  }
  // Once per sub-step, after both directions: a steady grid then drains the
  // same volume every step, whichever direction went first. The boundary
  // cells drain with the outlet.
  drain_outlet(c, dts, books);
  c.edges->drain_all(c.h, dts);
  return 0;
}

// ADE with a predictor-corrector discharge. The step is taken whole unless
// a cell would give more water than it holds; then it is taken again from
// its start in 2, 4, 8 ... equal sub-steps, until no depth falls below zero
// or the sub-step falls below the smallest allowed.
overland_status route_pc(const overland_domain& d, edge_drain& edges, double dt, overland_books& books) {
  overland_state& ov = d.overland;
  lake_state& lakes = d.lakes;
  ade_scheme& s = ov.ade_kernel;
  const int n = d.grid.ncells;
  ade_ctx c = make_ctx(d);
  c.edges = &edges;
  const bool chan_lakes = c.lake != nullptr;
  std::memcpy(s.depth_save.data(), c.h, sizeof(double) * (static_cast<std::size_t>(n) + 1));
  if (chan_lakes) save_lakes(s, lakes);
  save_boundary_outflow(s, c);
  zero(s.olake_acc);
  for (int parts = 1;; parts *= 2) {
    const double dts = dt / parts;
    int below_zero = 0;
    zero(ov.ov_volx);
    zero(ov.ov_voly);
    for (double elapsed = 0.0; below_zero == 0 && dt - elapsed > pc_end_tolerance * dt;) {
      s.substeps += 1;
      s.cell_updates += n;
      effective_roughness(ov, n, c.h);
      // The sub-step keeps to the stable bound of its depths and to the
      // turnover (outlet_turnover_step) of the outlet and of the boundary
      // cells.
      const double bound =
          std::min({general_stable_step(c, c.h), outlet_turnover(c, c.h), edges.turnover_all(c.h)});
      const double step = pc_sub_step_length(dts, bound, dt - elapsed, dt);
      below_zero = pc_sub_step(c, ov, lakes, step, books);
      elapsed += step;
    }
    if (below_zero == 0) break;
    if (dts / 2 < s.min_dt) {
      report_small_sub_step(dts / 2, s.min_dt, below_zero);
      return overland_status::sub_step_too_small;
    }
    // The attempt starts again from the state at the start of the step.
    std::memcpy(c.h, s.depth_save.data(), sizeof(double) * (static_cast<std::size_t>(n) + 1));
    if (chan_lakes) restore_lakes(s, lakes);
    restore_boundary_outflow(s, c);
    edges.restart();
    zero(s.olake_acc);
    books = overland_books{};
    s.restarts += 1;
  }
  if (c.olake) book_olake_exchange(lakes, s.olake_acc.data());
  return overland_status::ok;
}


// ---------------------------------------------------------------- plain grids
// Grids without lakes, wetlands, snow or blockage: every face is an
// ordinary face or one a dike closes, which carries nothing, and a cell
// that holds its level keeps its depth while its faces move water. Each
// pass over the cells is split among the run's threads and runs strip by
// strip (grid_strips), where every neighbour is at a fixed distance and the
// loops vectorise; the last face of a strip, whose neighbour may lie
// elsewhere, is taken on its own. A closed or missing face
// carries 0, so that the face into a cell from the left is always the right
// face of the cell before it. What the parts find is combined by rules that
// do not depend on the split.

struct plain_grid {
  int n = 0;
  double dx = 0.0;
  double A = 0.0;
  const double* z = nullptr;
  const double* ret = nullptr;
  const double* neff = nullptr;
  const int* right = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* above = nullptr;
  const int* dike = nullptr;  // null without a dike map
  const grid_strips* strips = nullptr;
  const int* bctype = nullptr;      // boundary types, null without boundary conditions
  const double* follows = nullptr;  // 1 where the depth follows the faces, 0 where it is held; null: 1 everywhere
};

// The neighbour across the side `bit` of cell i, 0 where there is none or a
// dike closes the face.
inline int open_neighbour(const int* nb, const int* dike, int bit, int i) {
  return dike && (dike[i] & bit) ? 0 : nb[i];
}

// Discharge of the face i -> k from the values of its two cells (`open`:
// the face exists and is open): the face rule of face_discharges.
[[gnu::always_inline]] inline double face_q(double dx, double zi, double zk, double hi, double hk, double ri,
                                            double rk, double ni, double nk, bool open) {
  const double si = zi + hi;
  const double sk = zk + hk;
  const double S = (si - sk) / dx;
  const bool down = S > 0.0;
  const double d = ((down ? si : sk) - (down ? zi : zk)) - (down ? ri : rk);
  const double v = pow_two_thirds(d) * slope_root(std::fabs(S)) / (down ? ni : nk);
  const double V = S < 0.0 ? -v : v;
  const double q = V * d * dx;
  return open && !(std::fabs(S) < 1e-16) && !(d < 1e-16) ? q : 0.0;
}

// The same for the face i -> k read from the arrays (k = 0: no face).
inline double face_q_at(const plain_grid& g, const double* depth, int i, int k) {
  return face_q(g.dx, g.z[i], g.z[k], depth[i], depth[k], g.ret[i], g.ret[k], g.neff[i], g.neff[k], k != 0);
}

// The water the faces of one direction of the cells b..e of a strip move in
// f seconds (m3; with f = 1, their discharges), each face leading `step`
// cells on (Open; else every face of the run is closed).
template <bool Open>
NIVRA_HOT void face_run(const plain_grid& g, const double* __restrict depth, double f, int b, int e, int step,
                        double* __restrict v) {
  const double dx = g.dx;
  const double* __restrict z = g.z;
  const double* __restrict ret = g.ret;
  const double* __restrict neff = g.neff;
  for (int i = b; i <= e; ++i) {
    const int k = Open ? i + step : i;
    v[i] = face_q(dx, z[i], z[k], depth[i], depth[k], ret[i], ret[k], neff[i], neff[k], Open) * f;
  }
}

// The same over the cells first..last, strip by strip.
NIVRA_HOT void face_part(const plain_grid& g, const double* depth, int dir, double f, int first, int last,
                         double* v) {
  const std::vector<cell_strip>& strips = g.strips->strips;
  const int* nb = dir == ade_dir_x ? g.right : g.below;
  const int bit = dir == ade_dir_x ? cell_side::right : cell_side::bottom;
  for (std::size_t s = g.strips->first_at(first); s < strips.size() && strips[s].first <= last; ++s) {
    const cell_strip& st = strips[s];
    const int b = std::max(st.first, first);
    const int e = std::min(st.last, last);
    const int run_end = std::min(e, st.last - 1);
    const int step = dir == ade_dir_x ? 1 : st.down;
    if (b <= run_end) {
      if (step)
        face_run<true>(g, depth, f, b, run_end, step, v);
      else
        face_run<false>(g, depth, f, b, run_end, 0, v);
    }
    if (e == st.last) v[e] = face_q_at(g, depth, e, open_neighbour(nb, g.dike, bit, e)) * f;
  }
}

// What a depth pass finds, in sign bits: a new depth that is not a number
// or below -1e-5 m (the sweep failed), one that makes the sweep unstable.
struct depth_bits {
  std::uint64_t failed = 0;
  std::uint64_t unstable = 0;
};

// The depth update of sweep_depths on the cells b..e of a strip from the
// water v its faces of one direction moved (0 where a face did not step),
// the upper neighbours (y) `up` cells back; with Held, a cell whose
// g.follows is 0 keeps its depth. Every cell is updated; a failed sweep is
// thrown away whole.
template <bool FromLeft, bool HasUp, bool LongStep, bool Held>
NIVRA_HOT void depth_run(const plain_grid& g, const double* __restrict v, double factor, int b, int e, int up,
                         double* __restrict h, depth_bits& found) {
  const double A = g.A;
  const double limit = factor * 0.5;
  const double* __restrict follows = g.follows;
  std::uint64_t failed = 0, unstable = 0;
  for (int i = b; i <= e; ++i) {
    const double in = FromLeft ? v[i - 1] : (HasUp ? v[i - up] : 0.0);
    const double dh = Held ? (in - v[i]) / A * follows[i] : (in - v[i]) / A;
    const double prev = h[i];
    const double hn = prev + dh;
    // Failed: not a number, or below -1e-05.
    failed |= ((std::bit_cast<std::uint64_t>(hn) & 0x7fffffffffffffffull) + 0x000fffffffffffffull) |
              std::bit_cast<std::uint64_t>(hn + 1e-05);
    // Unstable: below -1e-08, or a deep cell changing by more than half its
    // depth (times the factor) on a sub-step above 0.1 s.
    std::uint64_t u = std::bit_cast<std::uint64_t>(hn + 1e-08);
    if constexpr (LongStep)
      u |= std::bit_cast<std::uint64_t>(0.01 - prev) & std::bit_cast<std::uint64_t>(limit * prev - std::fabs(dh));
    unstable |= u;
    h[i] = hn < 0.0 ? 0.0 : hn;
  }
  found.failed |= failed;
  found.unstable |= unstable;
}

template <bool LongStep, bool Held>
NIVRA_HOT void depth_strips(const plain_grid& g, const double* v, int dir, double factor, int first, int last,
                            double* h, depth_bits& found) {
  const std::vector<cell_strip>& strips = g.strips->strips;
  for (std::size_t s = g.strips->first_at(first); s < strips.size() && strips[s].first <= last; ++s) {
    const cell_strip& st = strips[s];
    const int b = std::max(st.first, first);
    const int e = std::min(st.last, last);
    if (dir == ade_dir_x)
      depth_run<true, false, LongStep, Held>(g, v, factor, b, e, 0, h, found);
    else if (st.up)
      depth_run<false, true, LongStep, Held>(g, v, factor, b, e, st.up, h, found);
    else
      depth_run<false, false, LongStep, Held>(g, v, factor, b, e, 0, h, found);
  }
}

template <bool LongStep>
NIVRA_HOT void depth_part(const plain_grid& g, const double* v, int dir, double factor, int first, int last,
                          double* h, depth_bits& found) {
  if (g.follows)
    depth_strips<LongStep, true>(g, v, dir, factor, first, last, h, found);
  else
    depth_strips<LongStep, false>(g, v, dir, factor, first, last, h, found);
}

// The stability check of `stability` on the cells first..last, both
// directions: the largest ratio of each at its first cell, and whether
// each is unstable.
void stability_part(const plain_grid& g, const double* h, const double* qx, const double* qy, double dts,
                    double factor, int first, int last, part_tally& tx, part_tally& ty) {
  double rx = 0.0, ry = 0.0;
  int cx = 0, cy = 0;
  bool ux = false, uy = false;
  const int* bc = g.bctype;
  for (int i = first; i <= last; ++i) {
    const double hi = h[i];
    if (!(hi > 0.01)) continue;
    // Cells whose level or discharge is imposed do not limit the sub-step.
    if (bc && (boundary::holds_level(bc[i]) || boundary::holds_discharge(bc[i]))) continue;
    const double sx = std::fabs((qx[g.left[i]] - qx[i]) * dts / g.A) / (factor * 0.25 * hi);
    const double sy = std::fabs((qy[g.above[i]] - qy[i]) * dts / g.A) / (factor * 0.25 * hi);
    if (sx > rx) {
      rx = sx;
      cx = i;
    }
    if (sy > ry) {
      ry = sy;
      cy = i;
    }
    ux = ux || (dts > 0.1 && sx > 1.0);
    uy = uy || (dts > 0.1 && sy > 1.0);
  }
  tx.ratio = rx;
  tx.cell = cx;
  tx.status = ux ? 1 : 0;
  ty.ratio = ry;
  ty.cell = cy;
  ty.status = uy ? 1 : 0;
}

// ADE-PC's change of the cells b..e of a strip from the water v its faces
// of one direction moved (to = from + net inflow over the cell's area; with
// Held, to = from where g.follows is 0); the sign bits of the new depths.
template <bool FromLeft, bool HasUp, bool Held>
NIVRA_HOT void change_run(const plain_grid& g, const double* __restrict v, int b, int e, int up, const double* from,
                          double* to, std::uint64_t& bits) {
  const double A = g.A;
  const double* __restrict follows = g.follows;
  std::uint64_t below = 0;
  for (int i = b; i <= e; ++i) {
    const double in = FromLeft ? v[i - 1] : (HasUp ? v[i - up] : 0.0);
    const double x = Held ? from[i] + (in - v[i]) / A * follows[i] : from[i] + (in - v[i]) / A;
    to[i] = x;
    below |= std::bit_cast<std::uint64_t>(x);
  }
  bits |= below;
}

// The first of the cells first..last whose depth is below zero, 0 when none.
int first_below_zero(const double* h, int first, int last) {
  for (int i = first; i <= last; ++i)
    if (h[i] < 0.0) return i;
  return 0;
}

// ADE-PC's change of the cells first..last; the first of them whose new
// depth is below zero, 0 when none.
template <bool Held>
NIVRA_HOT void change_strips(const plain_grid& g, const double* v, int dir, int first, int last, const double* from,
                             double* to, std::uint64_t& bits) {
  const std::vector<cell_strip>& strips = g.strips->strips;
  for (std::size_t s = g.strips->first_at(first); s < strips.size() && strips[s].first <= last; ++s) {
    const cell_strip& st = strips[s];
    const int b = std::max(st.first, first), e = std::min(st.last, last);
    if (dir == ade_dir_x)
      change_run<true, false, Held>(g, v, b, e, 0, from, to, bits);
    else if (st.up)
      change_run<false, true, Held>(g, v, b, e, st.up, from, to, bits);
    else
      change_run<false, false, Held>(g, v, b, e, 0, from, to, bits);
  }
}

NIVRA_HOT int change_part(const plain_grid& g, const double* v, int dir, int first, int last, const double* from,
                          double* to) {
  std::uint64_t bits = 0;
  if (g.follows)
    change_strips<true>(g, v, dir, first, last, from, to, bits);
  else
    change_strips<false>(g, v, dir, first, last, from, to, bits);
  return doubtful(bits) ? first_below_zero(to, first, last) : 0;
}

// ADE-PC's corrector over the cells b..e of a strip, for a sub-step of f
// seconds: the mean of the water the predictor's faces moved (p) and of
// what the faces of the predicted depths would move, into v; the mean
// discharge into q; the predictor's water back to zero.
template <bool Open>
NIVRA_HOT void corrector_run(const plain_grid& g, double* __restrict p, const double* __restrict pcd, double f,
                             double per_second, int b, int e, int step, double* __restrict v,
                             double* __restrict q) {
  const double dx = g.dx;
  const double* __restrict z = g.z;
  const double* __restrict ret = g.ret;
  const double* __restrict neff = g.neff;
  for (int i = b; i <= e; ++i) {
    const int k = Open ? i + step : i;
    const double m = 0.5 * (p[i] + face_q(dx, z[i], z[k], pcd[i], pcd[k], ret[i], ret[k], neff[i], neff[k], Open) * f);
    v[i] = m;
    q[i] = m * per_second;
    p[i] = 0.0;
  }
}

// The same over the cells first..last, strip by strip.
NIVRA_HOT void corrector_part(const plain_grid& g, double* p, const double* pcd, int dir, double f, int first,
                              int last, double* v, double* q) {
  const int* nb = dir == ade_dir_x ? g.right : g.below;
  const int bit = dir == ade_dir_x ? cell_side::right : cell_side::bottom;
  const double per_second = 1.0 / f;
  const std::vector<cell_strip>& strips = g.strips->strips;
  for (std::size_t s = g.strips->first_at(first); s < strips.size() && strips[s].first <= last; ++s) {
    const cell_strip& st = strips[s];
    const int b = std::max(st.first, first), e = std::min(st.last, last);
    const int run_end = std::min(e, st.last - 1);
    const int step = dir == ade_dir_x ? 1 : st.down;
    if (b <= run_end) {
      if (step)
        corrector_run<true>(g, p, pcd, f, per_second, b, run_end, step, v, q);
      else
        corrector_run<false>(g, p, pcd, f, per_second, b, run_end, 0, v, q);
    }
    if (e == st.last) {
      const double m = 0.5 * (p[e] + face_q_at(g, pcd, e, open_neighbour(nb, g.dike, bit, e)) * f);
      v[e] = m;
      q[e] = m * per_second;
      p[e] = 0.0;
    }
  }
}

// The square of the largest diffusivity of the faces of one direction of the
// cells b..e of a strip, each leading `step` cells on (face_d_squared), from
// the depths; the faces as face_run takes them. A face with a flat surface
// counts: the least change of level makes it carry water.
NIVRA_HOT double diffusivity_run(const plain_grid& g, const double* __restrict depth, int b, int e, int step) {
  const double per_dx = 1.0 / g.dx;
  const double* __restrict z = g.z;
  const double* __restrict ret = g.ret;
  const double* __restrict neff = g.neff;
  // The squares are never below zero: the largest is the one of the
  // largest bits, which the vector loop can take (the largest double it
  // cannot, without leave to reorder comparisons).
  std::int64_t m = 0;
  for (int i = b; i <= e; ++i) {
    const int k = i + step;
    const std::int64_t bits = std::bit_cast<std::int64_t>(
        face_d_squared(per_dx, z[i], z[k], depth[i], depth[k], ret[i], ret[k], neff[i], neff[k]));
    m = bits > m ? bits : m;
  }
  return std::bit_cast<double>(m);
}

// The square of the largest face diffusivity of both directions over the
// cells first..last, strip by strip.
NIVRA_HOT double diffusivity_part(const plain_grid& g, const double* depth, int first, int last) {
  double m = 0.0;
  const std::vector<cell_strip>& strips = g.strips->strips;
  for (std::size_t s = g.strips->first_at(first); s < strips.size() && strips[s].first <= last; ++s) {
    const cell_strip& st = strips[s];
    const int b = std::max(st.first, first);
    const int e = std::min(st.last, last);
    const int run_end = std::min(e, st.last - 1);
    if (b <= run_end) {
      const double r = diffusivity_run(g, depth, b, run_end, 1);
      m = r > m ? r : m;
    }
    if (st.down) {
      const double r = diffusivity_run(g, depth, b, e, st.down);
      m = r > m ? r : m;
    }
    if (e == st.last) {
      // The right face of the last cell, whose neighbour is read from the
      // arrays (so is its lower face where the strip has none).
      const int kx = open_neighbour(g.right, g.dike, cell_side::right, e);
      const int ky = st.down ? 0 : open_neighbour(g.below, g.dike, cell_side::bottom, e);
      for (const int k : {kx, ky}) {
        if (k == 0) continue;
        const double D2 =
            face_d_squared(1.0 / g.dx, g.z[e], g.z[k], depth[e], depth[k], g.ret[e], g.ret[k], g.neff[e], g.neff[k]);
        m = D2 > m ? D2 : m;
      }
    }
  }
  return m;
}

// The passes again for wide vectors (see overland_common.h).
NIVRA_WIDE void face_part_wide(const plain_grid& g, const double* depth, int dir, double f, int first, int last,
                               double* v) {
  face_part(g, depth, dir, f, first, last, v);
}
template <bool LongStep>
NIVRA_WIDE void depth_part_wide(const plain_grid& g, const double* v, int dir, double factor, int first, int last,
                                double* h, depth_bits& found) {
  depth_part<LongStep>(g, v, dir, factor, first, last, h, found);
}
NIVRA_WIDE int change_part_wide(const plain_grid& g, const double* v, int dir, int first, int last,
                                const double* from, double* to) {
  return change_part(g, v, dir, first, last, from, to);
}
NIVRA_WIDE void corrector_part_wide(const plain_grid& g, double* p, const double* pcd, int dir, double f, int first,
                                    int last, double* v, double* q) {
  corrector_part(g, p, pcd, dir, f, first, last, v, q);
}
NIVRA_WIDE double diffusivity_part_wide(const plain_grid& g, const double* depth, int first, int last) {
  return diffusivity_part(g, depth, first, last);
}

// The run's threads over the cells of one plain call: passes over the whole
// grid, and passes over the spans of the blocks that step (step_blocks).
struct plain_call {
  const plain_grid& g;
  thread_pool& crew;
  int parts;       // of a pass over the whole grid
  int part_cells;  // the fewest cells a part of a pass over the whole grid takes
  std::vector<part_tally>& tallies;
  bool wide = wide_vectors();

  template <class Body>
  void over_cells(Body&& body) {
    for_cell_parts(crew, g.n, parts, std::forward<Body>(body));
  }
  // Runs body(first, last, span, part) over the cells of the spans (total
  // cells in all), split among the threads; returns the number of parts.
  template <class Body>
  int over_spans(const std::vector<cell_span>& spans, int total, Body&& body) {
    const int count = span_parts(crew, part_cells, total);
    for_span_parts(crew, spans, total, count, std::forward<Body>(body));
    return count;
  }
  part_tally& tally(int part) { return tallies[static_cast<std::size_t>(part)]; }
  // A part of a pass over spans may take pieces of several spans: its
  // tally gathers them all, from nothing.
  void clear_tallies() {
    for (part_tally& t : tallies) t = part_tally{};
  }

  // The stable sub-step of every block's faces from the depths, no longer
  // than the block's sub-step of `rule` when given, into b.bound; returns
  // the shortest.
  double block_bounds(const double* depth, step_blocks& b, const std::vector<double>* rule = nullptr) {
    const int count = static_cast<int>(b.blocks.size());
    for_parts(crew, count, parts < count ? parts : count, [&](int first, int last, int) {
      for (int k = first - 1; k < last; ++k) {
        const std::size_t kk = static_cast<std::size_t>(k);
        const step_block& blk = b.blocks[kk];
        const double m2 = wide ? diffusivity_part_wide(g, depth, blk.first, blk.last)
                               : diffusivity_part(g, depth, blk.first, blk.last);
        const double bound = stable_sub_step(ade_stable_factor, g.dx, std::sqrt(m2));
        b.bound[kk] = rule && (*rule)[kk] < bound ? (*rule)[kk] : bound;
      }
    });
    double tightest = std::numeric_limits<double>::infinity();
    for (const double x : b.bound) tightest = x < tightest ? x : tightest;
    return tightest;
  }

  // The water the faces of one direction of the face spans move from the
  // depths, each in its block's sub-step (macro over 2^level), into v; and,
  // when `moved` is given, the water the faces of the other direction moved
  // (other) joins `moved` and goes back to zero.
  void faces(const double* depth, int dir, const std::vector<cell_span>& spans, int total, double macro, double* v,
             double* other, double* moved) {
    over_spans(spans, total, [&](int first, int last, std::size_t k, int) {
      const double f = std::ldexp(macro, -spans[k].level);
      wide ? face_part_wide(g, depth, dir, f, first, last, v) : face_part(g, depth, dir, f, first, last, v);
      if (moved) {
        for (int j = first; j <= last; ++j) {
          moved[j] += other[j];
          other[j] = 0.0;
        }
      }
    });
  }

  // The water the faces of the spans moved (v) joins `moved` and goes back
  // to zero, and so does p (null: none).
  void clear(const std::vector<cell_span>& spans, int total, double* v, double* moved, double* p) {
    over_spans(spans, total, [&](int first, int last, std::size_t, int) {
      for (int j = first; j <= last; ++j) {
        moved[j] += v[j];
        v[j] = 0.0;
      }
      if (p) std::memset(p + first, 0, sizeof(double) * static_cast<std::size_t>(last - first + 1));
    });
  }

  // The depths of the cells of the spans after the water v the faces of
  // one direction moved; the sweep's status.
  sweep_status depths(const double* v, int dir, const std::vector<cell_span>& spans, int total, double factor,
                      bool long_step, double* h) {
    clear_tallies();
    const int count = over_spans(spans, total, [&](int first, int last, std::size_t, int part) {
      depth_bits found;
      if (long_step)
        wide ? depth_part_wide<true>(g, v, dir, factor, first, last, h, found)
             : depth_part<true>(g, v, dir, factor, first, last, h, found);
      else
        wide ? depth_part_wide<false>(g, v, dir, factor, first, last, h, found)
             : depth_part<false>(g, v, dir, factor, first, last, h, found);
      tally(part).bits[0] |= found.failed;
      tally(part).bits[1] |= found.unstable;
    });
    std::uint64_t failed = 0, unstable = 0;
    for (int p = 0; p < count; ++p) {
      failed |= tally(p).bits[0];
      unstable |= tally(p).bits[1];
    }
    if (doubtful(failed)) return sweep_status::failed;
    return doubtful(unstable) ? sweep_status::unstable : sweep_status::stable;
  }

  // The depth-change check of the first sub-step (dts) block by block: into
  // rule, each block's longest sub-step, dts over its largest ratio when
  // that is past the limit (never below 1.1 times the smallest sub-step),
  // else no bound; returns the largest ratio of all at its first cell, and
  // whether some block is past the limit.
  depth_change block_rules(const double* h, const double* qx, const double* qy, double dts, double factor,
                           double min_dt, const step_blocks& b, std::vector<double>& rule) {
    const int count = static_cast<int>(b.blocks.size());
    rule.resize(b.blocks.size());
    const int n_parts = parts < count ? parts : count;
    for_parts(crew, count, n_parts, [&](int first, int last, int part) {
      part_tally& t = tally(part);
      t.ratio = 0.0;
      t.cell = 0;
      for (int k = first - 1; k < last; ++k) {
        const step_block& blk = b.blocks[static_cast<std::size_t>(k)];
        part_tally tx, ty;
        stability_part(g, h, qx, qy, dts, factor, blk.first, blk.last, tx, ty);
        const part_tally& m = ty.ratio > tx.ratio ? ty : tx;
        const bool past = dts > 0.1 && m.ratio > 1.0;
        rule[static_cast<std::size_t>(k)] =
            past ? std::fmax(dts / m.ratio, 1.1 * min_dt) : std::numeric_limits<double>::infinity();
        if (m.ratio > t.ratio) {
          t.ratio = m.ratio;
          t.cell = m.cell;
        }
      }
    });
    depth_change all;
    for (int p = 0; p < n_parts; ++p) {
      if (tally(p).ratio > all.ratio) {
        all.ratio = tally(p).ratio;
        all.cell = tally(p).cell;
      }
    }
    all.unstable = dts > 0.1 && all.ratio > 1.0;
    return all;
  }

  // ADE-PC's change of the cells of the spans from the water v (to may be
  // from); the first cell whose new depth is below zero, 0 when none.
  int change(const double* v, int dir, const std::vector<cell_span>& spans, int total, const double* from,
             double* to) {
    clear_tallies();
    const int count = over_spans(spans, total, [&](int first, int last, std::size_t, int part) {
      const int c = wide ? change_part_wide(g, v, dir, first, last, from, to)
                         : change_part(g, v, dir, first, last, from, to);
      if (tally(part).cell == 0) tally(part).cell = c;
    });
    for (int p = 0; p < count; ++p)
      if (tally(p).cell != 0) return tally(p).cell;
    return 0;
  }

  // ADE-PC's corrector over the face spans (see corrector_run).
  void corrector(double* p, const double* pcd, int dir, const std::vector<cell_span>& spans, int total, double macro,
                 double* v, double* q) {
    over_spans(spans, total, [&](int first, int last, std::size_t k, int) {
      const double f = std::ldexp(macro, -spans[k].level);
      wide ? corrector_part_wide(g, p, pcd, dir, f, first, last, v, q)
           : corrector_part(g, p, pcd, dir, f, first, last, v, q);
    });
  }

  void fill(double* a, double v) {
    over_cells([&](int first, int last, int) {
      for (int i = first; i <= last; ++i) a[i] = v;
    });
  }
  // Every cell of a and of b to zero.
  void clear(double* a, double* b) {
    over_cells([&](int first, int last, int) {
      const std::size_t bytes = sizeof(double) * static_cast<std::size_t>(last - first + 1);
      std::memset(a + first, 0, bytes);
      std::memset(b + first, 0, bytes);
    });
  }

  void copy(const double* from, double* to) {
    over_cells([&](int first, int last, int) {
      std::memcpy(to + first, from + first, sizeof(double) * static_cast<std::size_t>(last - first + 1));
    });
  }

  // Copies the depths into `to` and checks them as check_entry_depths does;
  // a doubtful grid is checked cell by cell (and copied again).
  overland_status save_and_check(double* h, double* to) {
    over_cells([&](int first, int last, int part) {
      std::uint64_t bits = 0;
      for (int i = first; i <= last; ++i) {
        to[i] = h[i];
        bits |= doubt_bits(h[i]);
      }
      tally(part).bits[0] = bits;
    });
    std::uint64_t bits = 0;
    for (int p = 0; p < parts; ++p) bits |= tally(p).bits[0];
    if (!doubtful(bits)) return overland_status::ok;
    const overland_status status = check_entry_depths(h, g.n);
    if (status == overland_status::ok) copy(h, to);
    return status;
  }
};

plain_grid make_plain_grid(const ade_ctx& c, const double* neff) {
  plain_grid g;
  g.n = c.n;
  g.dx = c.dx;
  g.A = c.A;
  g.z = c.z;
  g.ret = c.ret;
  g.neff = neff;
  g.right = c.right;
  g.below = c.below;
  g.left = c.left;
  g.above = c.above;
  g.dike = c.dike;
  return g;
}

// True when some cell has a roughness exponent: the effective roughness then
// changes with the depth.
bool has_roughness_exponents(const overland_state& ov, int n) {
  if (ov.roughness_exp.size() < n) return false;
  const double* e = ov.roughness_exp.data();
  bool any = false;
  for (int i = 1; i <= n; ++i) any |= e[i] != 0.0;
  return any;
}

// A plain call: the context with the roughness the faces take (the
// effective roughness array with exponents, else the Manning n), its grid,
// its blocks of local sub-steps and the run's threads.
struct plain_setup {
  ade_ctx c;
  plain_grid g;
  plain_call call;
  bool exponents;

  plain_setup(const overland_domain& d, bool with_exponents)
      : c(make_ctx(d)),
        g(),
        call{g, d.overland.crew, cell_parts(d.overland, d.grid.ncells), d.overland.part_cells,
             d.overland.ade_kernel.tallies},
        exponents(with_exponents) {
    overland_state& ov = d.overland;
    if (!exponents) c.neff = ov.dist_rough.data();
    g = make_plain_grid(c, c.neff);
    ade_scheme& s = ov.ade_kernel;
    g.bctype = c.bctype;
    if (!s.held.cell.empty()) g.follows = s.held.follows.data();
    s.strips.build(c.n, c.right, c.below, c.above, c.dike);
    g.strips = &s.strips;
    s.blocks.build(c.n, c.right, c.below, c.above, c.dike);
    ov.ov_qx[0] = ov.ov_qy[0] = 0.0;
    s.move_x[0] = s.move_y[0] = 0.0;
  }
};

// The sub-step of a pass: the levels of the blocks for a sub-step of
// `macro` seconds from their bounds (every block on the finest with
// roughness exponents, whose effective roughness is taken for the whole
// grid at every pass), their spans made; returns the finest level.
int local_levels(step_blocks& b, double macro, bool exponents) {
  const int finest = b.set_levels(macro, ade_level_grade);
  if (exponents)
    for (int& l : b.level) l = finest;
  b.make_spans(finest);
  return finest;
}

// The water the faces of a pass's second direction moved stays in its
// array until the next pass's first face pass, which adds it to the step's
// and sets it back to 0 as it goes over the same faces, when that pass
// steps them all (its level is not finer); otherwise, and at the end of the
// step, a pass of its own does.
struct second_moves {
  double* v = nullptr;    // the second direction's water, per face
  double* vol = nullptr;  // the step's water of that direction
  int level = -1;         // the level of the pass that left it, -1: none

  // Before the first face pass of a pass of level l: true when that pass
  // takes the water along.
  bool taken_by(plain_call& call, const step_blocks& b, int l) {
    if (level < 0) return false;
    const bool along = l <= level;
    if (!along) settle(call, b);
    level = -1;
    return along;
  }
  void settle(plain_call& call, const step_blocks& b) {
    if (level < 0) return;
    const std::size_t li = static_cast<std::size_t>(level);
    call.clear(b.face_spans[li], b.face_cells[li], v, vol, nullptr);
    level = -1;
  }
};

// The blocks of the outlet and of the normal-depth boundary cells keep to
// their cells' turnover sub-step (outlet_turnover_step) at the depths h as
// well as to their faces' bound; returns the shortest bound of all blocks,
// given that of the faces.
double keep_drain_turnover(const ade_ctx& c, const double* h, step_blocks& b, double tightest) {
  auto keep = [&](int cell, double t) {
    double& bound = b.bound[static_cast<std::size_t>((cell - 1) / step_blocks::block_cells)];
    bound = t < bound ? t : bound;
    tightest = t < tightest ? t : tightest;
  };
  if (c.outlet != 0) keep(c.outlet, outlet_turnover(c, h));
  for (std::size_t k = 0; k < c.edges->size(); ++k) keep(c.edges->cell(k), c.edges->turnover(k, h));
  return tightest;
}

// After a pass of level l of a sub-step of `macro` seconds, the outlet and
// the normal-depth boundary cells of the blocks that stepped drain for
// their blocks' sub-steps.
void drain_after_pass(const ade_ctx& c, const step_blocks& b, double macro, int l, thread_pool& crew,
                      overland_books& books) {
  if (c.outlet != 0) {
    const int lv = b.level_of(c.outlet);
    if (lv >= l) drain_outlet(c, std::ldexp(macro, -lv), books);
  }
  drain_edges_after_pass(*c.edges, b, c.h, macro, l, crew, [](int) {});
}

// The cells that hold their level after a depth pass of one direction: the
// water v the faces moved into them (0 on the faces that did not step)
// leaves the grid or, moved out of them, enters it (book_fixed), their
// depths unchanged; what left is noted in held.out until the step is done.
void book_held(const ade_ctx& c, held_levels& held, const double* v, int dir, overland_books& books) {
  const int* up = dir == ade_dir_x ? c.left : c.above;
  for (std::size_t k = 0; k < held.cell.size(); ++k) {
    const int i = held.cell[k];
    book_fixed(c, i, net_inflow(up, v, i) / c.A, books, &held.out[k]);
  }
}

// The water the held cells passed out of the grid in the step is noted for
// the constituents.
void note_held(const ade_ctx& c, const held_levels& held) {
  if (!c.bc_out) return;
  for (std::size_t k = 0; k < held.cell.size(); ++k) c.bc_out[held.cell[k]] += held.out[k];
}

// Plain ADE with adaptive sub-steps on a plain grid: the rules of
// route_plain for the sub-step, each sub-step of the rules taken in local
// sub-steps (step_blocks). The depth-change check of the first sub-step
// acts block by block: a block with a cell past its limit keeps to a
// sub-step cut by its own ratio for the whole step, instead of cutting the
// sub-step of the whole grid. At the start of each sub-step of the rules
// every block takes the level of the shorter of that and its faces' stable
// bound; 2^finest passes follow, and in pass m the blocks of
// level pass_level(m) and finer step: the faces of one direction move their
// water, each for its block's sub-step, from the depths at the pass's
// start, the cells they reach take it, then the faces of the other
// direction from the new depths. The outlet drains on its block's
// sub-step. Every face moves the same water out of one cell and into the
// other, whatever the sub-steps on either side; where every block keeps to
// level 0 the passes are the sub-steps of the whole grid. The depths at the
// start of the step are in depth_save already.
overland_status route_plain_grid(const overland_domain& d, plain_setup& p, double dt, bool first,
                                 overland_books& books) {
  overland_state& ov = d.overland;
  ade_scheme& s = ov.ade_kernel;
  const ade_ctx& c = p.c;
  plain_call& call = p.call;
  step_blocks& blocks = s.blocks;
  const int order_first = ov.ade_sweep == 1 ? ade_dir_x : ade_dir_y;
  const int order_second = order_first == ade_dir_x ? ade_dir_y : ade_dir_x;
  double* h = c.h;
  double* qx = ov.ov_qx.data();
  double* qy = ov.ov_qy.data();
  double* mx = s.move_x.data();
  double* my = s.move_y.data();
  double* volx = ov.ov_volx.data();
  double* voly = ov.ov_voly.data();

  // Sub-step choice from the expected relative depth change, block by
  // block: a block with a cell past the limit keeps its faces to the
  // sub-step cut by its own ratio (s.rule), the rest to the rules'.
  double dts = dt;
  if (!first && dt - s.last_dt > 0.001) dts = s.last_dt;
  const depth_change all = call.block_rules(h, qx, qy, dts, s.dt_factor, s.min_dt, blocks, s.rule);
  const int worst = all.cell;
  dts = after_depth_check(s, dt, dts, all.ratio, all.unstable);

  for (bool first_attempt = true;; first_attempt = false) {
    if (dts < s.min_dt) {
      report_small_sub_step(dts, s.min_dt, worst);
      return overland_status::sub_step_too_small;
    }
    // Every attempt starts from the state at the start of the step (the
    // first one is there already), with no water moved.
    if (!first_attempt) call.copy(s.depth_save.data(), h);
    books = overland_books{};
    c.edges->restart();
    std::fill(s.held.out.begin(), s.held.out.end(), 0.0);
    // The faces' water of a step that ended went back to zero with it.
    call.clear(volx, voly);
    if (!first_attempt) call.clear(mx, my);
    second_moves pending{order_second == ade_dir_x ? mx : my, order_second == ade_dir_x ? volx : voly};

    double remaining = dt;
    sweep_status prev_status = sweep_status::stable;
    bool failed = false;
    while (remaining > 1e-16 && !failed) {
      const double rule_dt = next_sub_step(s, dts, remaining, prev_status);
      if (p.exponents) effective_roughness(ov, c.n, h);
      // The sub-step keeps every block to the stable bound of its depths
      // and to its depth-change check.
      const double tightest = keep_drain_turnover(c, h, blocks, call.block_bounds(h, blocks, &s.rule));
      const double macro = bounded_sub_step(rule_dt, std::ldexp(tightest, step_blocks::max_level), remaining);
      const int finest = local_levels(blocks, macro, p.exponents);
      sweep_status status = sweep_status::stable;
      for (int m = 0; m < (1 << finest) && !failed; ++m) {
        const int l = step_blocks::pass_level(m, finest);
        const std::size_t li = static_cast<std::size_t>(l);
        const std::vector<cell_span>& faces = blocks.face_spans[li];
        const int face_total = blocks.face_cells[li];
        if (p.exponents && m > 0) effective_roughness(ov, c.n, h);
        s.substeps += 1;
        s.cell_updates += face_total;
        // The depth-change check of a long sub-step: that of the blocks of
        // level l, the longest that steps.
        const bool long_step = std::ldexp(macro, -l) > 0.1;
        const bool along = pending.taken_by(call, blocks, l);
        for (int pass = 0; pass < 2; ++pass) {
          const int dir = pass == 0 ? order_first : order_second;
          double* v = dir == ade_dir_x ? mx : my;
          // The other direction's water joins the step's as this one's
          // faces go over the same faces.
          const bool takes = pass == 1 || along;
          double* other = dir == ade_dir_x ? my : mx;
          double* moved = dir == ade_dir_x ? voly : volx;
          call.faces(h, dir, faces, face_total, macro, v, takes ? other : nullptr, takes ? moved : nullptr);
          const sweep_status st =
              dir == ade_dir_x
                  ? call.depths(v, dir, blocks.right_spans[li], blocks.right_cells[li], s.dt_factor, long_step, h)
                  : call.depths(v, dir, blocks.cell_spans[li], blocks.cell_cells[li], s.dt_factor, long_step, h);
          book_held(c, s.held, v, dir, books);
          if (st == sweep_status::failed) {
            failed = true;
            break;
          }
          if (st > status) status = st;
        }
        if (failed) break;
        pending.level = l;
        drain_after_pass(c, blocks, macro, l, ov.crew, books);
      }
      if (failed) break;
      remaining -= macro;
      prev_status = status;
    }
    if (!failed) {
      pending.settle(call, blocks);
      break;
    }
    pending.level = -1;
    dts *= 0.5;
    s.dt_factor *= 0.5;
    s.stable_count = 0;
    s.restarts += 1;
  }
  // The face discharges: the mean of the step.
  call.over_cells([&](int first, int last, int) {
    for (int i = first; i <= last; ++i) {
      qx[i] = volx[i] / dt;
      qy[i] = voly[i] / dt;
    }
  });
  return overland_status::ok;
}

// ADE-PC on a plain grid: the rules of route_pc, each sub-step taken in the
// local sub-steps of route_plain_grid; in a pass, each direction in turn
// takes the water its faces move from the depths (predictor), the depths
// that makes in the cells they reach, the water the faces of those depths
// move (corrector), and moves the mean of the two. A cell that would fall
// below zero abandons the attempt. The depths at the start of the step are
// in depth_save already.
overland_status route_pc_grid(const overland_domain& d, plain_setup& p, double dt, overland_books& books) {
  overland_state& ov = d.overland;
  ade_scheme& s = ov.ade_kernel;
  const ade_ctx& c = p.c;
  plain_call& call = p.call;
  step_blocks& blocks = s.blocks;
  double* h = c.h;
  double* pcd = s.pc_depth.data();
  double* pcf = s.pc_flux.data();
  double* mx = s.move_x.data();
  double* my = s.move_y.data();
  double* volx = ov.ov_volx.data();
  double* voly = ov.ov_voly.data();
  pcf[0] = 0.0;
  const int order_first = ov.ade_sweep == 1 ? ade_dir_x : ade_dir_y;
  const int order_second = order_first == ade_dir_x ? ade_dir_y : ade_dir_x;
  for (int parts = 1;; parts *= 2) {
    const double dts = dt / parts;
    int below_zero = 0;
    books = overland_books{};
    c.edges->restart();
    std::fill(s.held.out.begin(), s.held.out.end(), 0.0);
    // The faces' water of a step that ended went back to zero with it.
    call.clear(volx, voly);
    if (parts > 1) {
      call.clear(mx, my);
      call.fill(pcf, 0.0);
    }
    second_moves pending{order_second == ade_dir_x ? mx : my, order_second == ade_dir_x ? volx : voly};
    for (double elapsed = 0.0; below_zero == 0 && dt - elapsed > pc_end_tolerance * dt;) {
      if (p.exponents) effective_roughness(ov, c.n, h);
      const double tightest = keep_drain_turnover(c, h, blocks, call.block_bounds(h, blocks));
      const double macro = pc_sub_step_length(dts, std::ldexp(tightest, step_blocks::max_level), dt - elapsed, dt);
      const int finest = local_levels(blocks, macro, p.exponents);
      for (int m = 0; m < (1 << finest) && below_zero == 0; ++m) {
        const int l = step_blocks::pass_level(m, finest);
        const std::size_t li = static_cast<std::size_t>(l);
        const std::vector<cell_span>& faces = blocks.face_spans[li];
        const int face_total = blocks.face_cells[li];
        if (p.exponents && m > 0) effective_roughness(ov, c.n, h);
        s.substeps += 1;
        s.cell_updates += face_total;
        const bool along = pending.taken_by(call, blocks, l);
        for (int pass = 0; pass < 2 && below_zero == 0; ++pass) {
          const int dir = pass == 0 ? order_first : order_second;
          const std::vector<cell_span>& reach = dir == ade_dir_x ? blocks.right_spans[li] : blocks.cell_spans[li];
          const int reach_total = dir == ade_dir_x ? blocks.right_cells[li] : blocks.cell_cells[li];
          double* v = dir == ade_dir_x ? mx : my;
          double* q = dir == ade_dir_x ? ov.ov_qx.data() : ov.ov_qy.data();
          // The other direction's water joins its volumes as this one's
          // predictor goes over the same faces.
          const bool takes = pass == 1 || along;
          double* other = dir == ade_dir_x ? my : mx;
          double* moved = dir == ade_dir_x ? voly : volx;
          call.faces(h, dir, faces, face_total, macro, pcf, takes ? other : nullptr, takes ? moved : nullptr);
          call.change(pcf, dir, reach, reach_total, h, pcd);
          call.corrector(pcf, pcd, dir, faces, face_total, macro, v, q);
          below_zero = call.change(v, dir, reach, reach_total, h, h);
          book_held(c, s.held, v, dir, books);
        }
        if (below_zero != 0) break;
        pending.level = l;
        drain_after_pass(c, blocks, macro, l, ov.crew, books);
      }
      elapsed += macro;
    }
    if (below_zero == 0) {
      pending.settle(call, blocks);
      break;
    }
    if (dts / 2 < s.min_dt) {
      report_small_sub_step(dts / 2, s.min_dt, below_zero);
      return overland_status::sub_step_too_small;
    }
    // The attempt starts again from the state at the start of the step.
    call.copy(s.depth_save.data(), h);
    s.restarts += 1;
  }
  return overland_status::ok;
}

}  // namespace

void ade_scheme::prepare(int overtype, int cells, bool plain, bool roughness, int channel_lakes, int overland_lakes,
                         int parts) {
  if (overtype == overland_scheme::ade_pc) {
    ensure_cells(pc_depth, cells);
    ensure_cells(pc_flux, cells);
  }
  if (plain) {
    ensure_cells(move_x, cells);
    ensure_cells(move_y, cells);
  }
  if (roughness) ensure_cells(rough, cells);
  ensure_cells(depth_save, cells);
  if (channel_lakes > 0) {
    ensure_cells(lake_save, 3 * channel_lakes);
    ensure_cells(lake_given, channel_lakes);
  }
  if (overland_lakes > 0) ensure_cells(olake_acc, overland_lakes);
  if (static_cast<int>(tallies.size()) < parts) tallies.resize(static_cast<std::size_t>(parts));
}

namespace {

// Sizes the scheme's arrays; true for a plain grid: one without lakes,
// wetlands, snow or blockage, which takes the plain passes split among the
// run's threads.
bool prepare_ade(const overland_domain& d, bool exponents) {
  overland_state& ov = d.overland;
  const lake_state& lakes = d.lakes;
  const int n = d.grid.ncells;
  ensure_cells(ov.ov_qx, n);
  ensure_cells(ov.ov_qy, n);
  ensure_cells(ov.ov_volx, n);
  ensure_cells(ov.ov_voly, n);
  const ade_ctx probe = make_ctx(d);
  const bool plain = !probe.general;
  ov.ade_kernel.prepare(ov.overtype, n, plain, !plain || exponents, lakes.chan_lakes ? lakes.num_lakes : 0,
                        lakes.overland_lake_map_given ? lakes.num_olakes : 0, most_parts(ov.crew));
  ov.ade_kernel.edges.build(n, probe.bctype, probe.left, probe.right, probe.above, probe.below);
  if (plain) ov.ade_kernel.held.build(n, probe.bctype);
  return plain;
}

}  // namespace

void prepare_overland_ade(const overland_domain& d) {
  if (d.grid.ncells <= 0) return;
  const bool exponents = has_roughness_exponents(d.overland, d.grid.ncells);
  if (prepare_ade(d, exponents)) {
    const ade_ctx c = make_ctx(d);
    d.overland.ade_kernel.strips.build(c.n, c.right, c.below, c.above, c.dike);
    ade_scheme& s = d.overland.ade_kernel;
    s.blocks.build(c.n, c.right, c.below, c.above, c.dike);
    s.rule.assign(s.blocks.blocks.size(), std::numeric_limits<double>::infinity());
  }
}

overland_result route_overland_ade(const overland_domain& d, double dt) {
  overland_result result;
  const grid_state& g = d.grid;
  overland_state& ov = d.overland;
  lake_state& lakes = d.lakes;
  ade_scheme& s = ov.ade_kernel;
  const int n = g.ncells;
  if (n <= 0) return result;
  const bool exponents = has_roughness_exponents(ov, n);
  const bool plain = prepare_ade(d, exponents);
  const bool routes = ov.overtype == overland_scheme::ade || ov.overtype == overland_scheme::ade_pc;
  edge_drain edges(d, s.edges);
  std::optional<plain_setup> p;
  if (plain && routes) {
    // The depths are checked as they are saved for a restart.
    p.emplace(d, exponents);
    p->c.edges = &edges;
    result.status = p->call.save_and_check(ov.ov_depth.data(), s.depth_save.data());
  } else {
    result.status = check_entry_depths(ov.ov_depth.data(), n);
  }
  if (result.status != overland_status::ok) return result;

  if (s.calls == 0) s.min_dt = g.grid_size * 0.001 / 100;
  s.calls += 1;
  // A step starts from the last sub-step of the step before it (of the run
  // that wrote the overland hot-start, for the first step of a run started
  // from it), the first of all from the step itself.
  const bool first = !(s.last_dt > 0.0);

  overland_books books;
  if (ov.overtype == overland_scheme::ade) {
    result.status = p ? route_plain_grid(d, *p, dt, first, books) : route_plain(d, edges, dt, first, books);
    if (result.status != overland_status::ok) return result;
  } else if (ov.overtype == overland_scheme::ade_pc) {
    result.status = p ? route_pc_grid(d, *p, dt, books) : route_pc(d, edges, dt, books);
    if (result.status != overland_status::ok) return result;
  }
  if (routes) edges.book(books);
  if (p) note_held(p->c, s.held);

  overland_books weirs;
  if (g.lowspot_file_given) weirs = dike_weir_flow(d.grid, ov, lakes, dt);
  result.books.loss = weirs.loss + books.loss;
  result.books.gain = weirs.gain + books.gain;
  result.books.outlet = books.outlet;
  result.books.slope_out = books.slope_out;
  return result;
}

}  // namespace nivra
