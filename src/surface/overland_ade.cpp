// Alternating-direction explicit overland routing. Water moves along the
// rows for the whole grid, the depths change, then it moves along the
// columns from the new depths. Plain ADE chooses its sub-step from the
// largest relative depth change it expects and shortens or restarts it when
// depths fall too fast; ADE-PC takes the full step with the mean of a
// predictor and a corrector discharge.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_common.h"

namespace nivra {

namespace {

constexpr double two_thirds = 2.0 / 3.0;

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

ade_ctx make_ctx(model_state& ms) {
  ade_ctx c;
  c.n = ms.grid.ncells;
  c.dx = ms.grid.grid_size;
  c.A = ms.overland.ade_area;
  c.h = ms.overland.ov_depth.data();
  c.z = ms.grid.elevation.data();
  c.ret = ms.overland.retent_dep.data();
  c.neff = ms.overland.ade_rough.data();
  c.right = ms.grid.rightcon.data();
  c.below = ms.grid.belowcon.data();
  c.left = ms.grid.leftcon.data();
  c.above = ms.grid.abovecon.data();
  if (ms.grid.dike_map_given && !ms.grid.dike_mask.empty()) c.dike = ms.grid.dike_mask.data();
  if (ms.lake.chan_lakes && !ms.lake.lake_mask.empty() && ms.lake.num_lakes > 0) {
    c.lake = ms.lake.lake_mask.data();
    c.lake_elev = ms.lake.lake_elev.data();
  }
  if (ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty() && ms.lake.num_olakes > 0) {
    c.olake = ms.lake.oland_lake_new.data();
    c.otab = ms.lake.olake_table.data();
  }
  if (ms.lake.wetlands_on && !ms.lake.wetland_mask.empty()) {
    c.wet = ms.lake.wetland_mask.data();
    c.wprops = &ms.lake.wetland_props;
  }
  if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty()) c.bctype = ms.overland.boundary_type.data();
  c.bcell = blocked_cells(ms.overland);
  if (c.bcell && !ms.overland.ovr_flow_block_frac.empty()) c.bfrac = &ms.overland.ovr_flow_block_frac;
  if (ms.hydromet.route_lat_snow == 1 && !ms.hydromet.snow_swe.empty() && !ms.hydromet.snap_nivra_params.empty()) {
    c.swe = ms.hydromet.snow_swe.data();
    c.snap = &ms.hydromet.snap_nivra_params;
    c.darcy = ms.overland.snow_darcy;
  }
  c.general = c.lake || c.olake || c.wet || c.bcell || c.swe;
  if (!ms.channel.chan_explic && ms.grid.outlet_cell > 0 && ms.grid.outlet_cell <= c.n) c.outlet = ms.grid.outlet_cell;
  c.outlet_slope = ms.grid.outlet_slope;
  return c;
}

inline bool in_chan_lake(const ade_ctx& c, int i) { return c.lake && c.lake[i] > 0; }
inline bool in_olake(const ade_ctx& c, int i) { return c.olake && c.olake[i] > 0; }
inline bool in_lake(const ade_ctx& c, int i) { return in_chan_lake(c, i) || in_olake(c, i); }
inline bool is_wet(const ade_ctx& c, int i) { return c.wet && c.wet[i] > 0; }

// Fixed-level boundary cells keep their depth.
inline bool fixed_level(const ade_ctx& c, int i) {
  if (!c.bctype) return false;
  const int t = c.bctype[i];
  return t == 2 || t == 3 || t == 9;
}

// Water surface of a cell for the face discharges.
inline double surface(const ade_ctx& c, const double* depth, int i, int snow_cell) {
  if (in_olake(c, i)) return c.otab[c.olake[i]].value[0];
  if (in_chan_lake(c, i)) return c.lake_elev[c.lake[i]];
  double d = depth[i];
  if (c.swe && c.swe[i] > 1e-16) d /= (*c.snap)[snow_cell][4];
  return c.z[i] + d;
}

template <bool General>
void face_discharges(const ade_ctx& c, const double* depth, int dir, double* q) {
  const int n = c.n;
  const double dx = c.dx;
  const int* nb = dir == ade_dir_x ? c.right : c.below;
  const int bit = dir == ade_dir_x ? 2 : 4;
  const int side_i = dir == ade_dir_x ? 2 : 3;  // i's right or bottom side
  const int side_k = dir == ade_dir_x ? 4 : 1;  // k's left or top side
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
      if (!is_wet(c, u)) d -= ret[u];
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
        const double Tw = w[1], Kw = w[2], Db = w[3], Cw = w[4], nw = w[6];
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
        V = c.darcy > 1e-16 ? S * c.darcy : S * ((*c.snap)[u][11] / 10000.0) * 5489647.45;
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

void effective_roughness(model_state& ms, const double* depth) {
  const int n = ms.grid.ncells;
  const double* rn = ms.overland.dist_rough.data();
  double* neff = ms.overland.ade_rough.data();
  if (ms.overland.roughness_exp.empty()) {
    std::memcpy(neff, rn, sizeof(double) * (static_cast<std::size_t>(n) + 1));
    return;
  }
  const double* e = ms.overland.roughness_exp.data();
  for (int i = 1; i <= n; ++i) neff[i] = e[i] == 0.0 ? rn[i] : rn[i] * std::exp(-e[i] * depth[i]);
}

// The volume through each face between a lake cell and a cell outside the
// lakes, counted toward the lake.
void lake_exchange(model_state& ms, const ade_ctx& c, const double* q, int dir, double step,
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
      ms.lake.lake_volume[L] += v;
      if (v > 0.0)
        ms.lake.lake_in_dv[L] += v;
      else
        ms.lake.lake_out_dv[L] += -v;
    } else {
      olake_acc[c.olake[cell]] += v;
    }
  }
}

// Normal-depth outflow of the outlet cell over one sub-step, never more than
// the cell holds on its open part.
void drain_outlet(const ade_ctx& c, double volume_factor, double step, ade_books& books) {
  const int o = c.outlet;
  if (o == 0 || fixed_level(c, o)) return;
  const double h = c.h[o];
  if (!(h > 0.0)) return;
  const double vol =
      volume_factor * (step * std::pow(h, outlet_exponent) / c.neff[o] * std::sqrt(c.outlet_slope) * c.dx);
  const double open_area = c.A * open_share(c.bcell, o);
  if (vol > h * open_area) {
    books.outlet += h * open_area;
    c.h[o] = 0.0;
  } else {
    c.h[o] -= vol / open_area;
    books.outlet += vol;
  }
}

// Books the water a fixed-level cell received (dh over its whole area, its
// level unchanged): what flows into it leaves the grid, what flows out of
// it enters the grid.
inline void book_fixed(const ade_ctx& c, int i, double dh, ade_books& books) {
  const double vol = dh * c.A;
  if (i == c.outlet)
    books.outlet += vol;
  else if (vol > 0.0)
    books.loss += vol;
  else
    books.gain += -vol;
}

template <bool General>
int sweep_depths(const ade_ctx& c, const double* q, int dir, double dts, double factor,
                 ade_books& books) {
  const int n = c.n;
  const int* up = dir == ade_dir_x ? c.left : c.above;
  const double A = c.A;
  double* h = c.h;
  int status = 0;
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
    if (std::isnan(hn) || hn < -1e-05) return 2;
    if (hn < 0.0) {
      if (hn < -1e-08) status = 1;
      h[i] = 0.0;
    }
    if (status == 0 && prev > 0.01 && std::fabs(dh) > factor * 0.5 * prev && dts > 0.1) status = 1;
  }
  return status;
}

int stability(const ade_ctx& c, const double* q, int dir, double dts, double factor, double& ratio,
              int& cell) {
  const int* up = dir == ade_dir_x ? c.left : c.above;
  ratio = 0.0;
  cell = 0;
  int unstable = 0;
  for (int i = 1; i <= c.n; ++i) {
    if (in_lake(c, i)) continue;
    if (c.bctype) {
      const int t = c.bctype[i];
      if (t == 2 || t == 3 || t == 4 || t == 5 || t == 9) continue;
    }
    const double hi = c.h[i];
    if (!(hi > 0.01)) continue;
    double r = std::fabs(net_inflow(up, q, i) * dts / c.A) / (factor * 0.25 * hi);
    if (c.bcell && c.bcell[i] < 1.0) r /= (1.0 - c.bcell[i]);
    if (r > ratio) {
      ratio = r;
      cell = i;
    }
    if (dts > 0.1 && r > 1.0) unstable = 1;
  }
  return unstable;
}

void save_lakes(model_state& ms) {
  for (int L = 1; L <= ms.lake.num_lakes; ++L) {
    ms.overland.ade_lake_save[3 * L - 2] = ms.lake.lake_volume[L];
    ms.overland.ade_lake_save[3 * L - 1] = ms.lake.lake_in_dv[L];
    ms.overland.ade_lake_save[3 * L] = ms.lake.lake_out_dv[L];
  }
}

void restore_lakes(model_state& ms) {
  for (int L = 1; L <= ms.lake.num_lakes; ++L) {
    ms.lake.lake_volume[L] = ms.overland.ade_lake_save[3 * L - 2];
    ms.lake.lake_in_dv[L] = ms.overland.ade_lake_save[3 * L - 1];
    ms.lake.lake_out_dv[L] = ms.overland.ade_lake_save[3 * L];
  }
}

void zero(array1d<double>& a) {
  if (!a.empty()) std::memset(a.data(), 0, sizeof(double) * (static_cast<std::size_t>(a.size()) + 1));
}

// Plain ADE with adaptive sub-steps. Returns false after a fatal error.
bool route_plain(model_state& ms, double dt, bool first, ade_books& books) {
  const int n = ms.grid.ncells;
  ade_ctx c = make_ctx(ms);
  const bool chan_lakes = c.lake != nullptr;
  const int order_first = ms.overland.ade_sweep == 1 ? ade_dir_x : ade_dir_y;
  const int order_second = order_first == ade_dir_x ? ade_dir_y : ade_dir_x;

  // Sub-step choice from the expected relative depth change.
  double dts = dt;
  if (!first && dt - ms.overland.ade_last_dt > 0.001) dts = ms.overland.ade_last_dt;
  double rx = 0.0, ry = 0.0;
  int cx = 0, cy = 0;
  const int ux = stability(c, ms.overland.ov_qx.data(), ade_dir_x, dts, ms.overland.ade_dt_factor, rx, cx);
  const int uy = stability(c, ms.overland.ov_qy.data(), ade_dir_y, dts, ms.overland.ade_dt_factor, ry, cy);
  double R = rx;
  int worst = cx;
  if (ry > rx) {
    R = ry;
    worst = cy;
  }
  if (ux || uy) {
    dts /= R;
    if (dts < ms.overland.ade_min_dt) dts = 1.1 * ms.overland.ade_min_dt;
  } else if (R < 0.5) {
    if (dts * 1.4 <= dt + 1e-16) dts *= 1.4;
    ms.overland.ade_stable_count += 1;
  }
  if (ms.overland.ade_dt_factor < 1.0 && ms.overland.ade_stable_count > 100) {
    ms.overland.ade_dt_factor *= 2.0;
    ms.overland.ade_stable_count = 0;
  }

  std::memcpy(ms.overland.ade_depth_save.data(), c.h, sizeof(double) * (static_cast<std::size_t>(n) + 1));
  if (chan_lakes) save_lakes(ms);
  double* qx = ms.overland.ov_qx.data();
  double* qy = ms.overland.ov_qy.data();
  double* volx = ms.overland.ov_volx.data();
  double* voly = ms.overland.ov_voly.data();
  double* oacc = ms.overland.ade_olake_acc.empty() ? nullptr : ms.overland.ade_olake_acc.data();

  for (;;) {
    if (dts < ms.overland.ade_min_dt) {
      std::printf("The ADE overland routing time step is getting really small\n");
      std::printf("Your time step is %lf seconds \n", dts);
      std::printf("Minimum time step allowed for your problem is %lf seconds \n", ms.overland.ade_min_dt);
      std::printf("The biggest instability problem was encountered at cell %ld \n", static_cast<long>(worst));
      std::printf("Reduce the model time step by a factor of 2 and try again.\n");
      std::printf("Program stopped.\n");
      set_error(own_message_code);
      return false;
    }
    // Every attempt starts from the state at the start of the step.
    std::memcpy(c.h, ms.overland.ade_depth_save.data(), sizeof(double) * (static_cast<std::size_t>(n) + 1));
    if (chan_lakes) restore_lakes(ms);
    zero(ms.overland.ade_olake_acc);
    zero(ms.overland.ov_volx);
    zero(ms.overland.ov_voly);
    books = ade_books{};

    double remaining = dt;
    int prev_status = 0;
    bool failed = false;
    while (remaining > 1e-16) {
      if (prev_status == 1) {
        dts *= 0.6;
        if (dts < 1.1 * ms.overland.ade_min_dt) dts = 1.1 * ms.overland.ade_min_dt;
      }
      ms.overland.ade_last_dt = dts;
      const double step = remaining - dts < 0.5 * dts ? remaining : dts;
      effective_roughness(ms, c.h);
      int status = 0;
      for (int pass = 0; pass < 2; ++pass) {
        const int dir = pass == 0 ? order_first : order_second;
        double* q = dir == ade_dir_x ? qx : qy;
        double* vol = dir == ade_dir_x ? volx : voly;
        int st;
        if (c.general) {
          face_discharges<true>(c, c.h, dir, q);
          st = sweep_depths<true>(c, q, dir, step, ms.overland.ade_dt_factor, books);
        } else {
          face_discharges<false>(c, c.h, dir, q);
          st = sweep_depths<false>(c, q, dir, step, ms.overland.ade_dt_factor, books);
        }
        if (st == 2) {
          failed = true;
          break;
        }
        if (st > status) status = st;
        for (int i = 1; i <= n; ++i) vol[i] += q[i] * step;
        if (c.lake || c.olake) lake_exchange(ms, c, q, dir, step, oacc);
      }
      if (failed) break;
      drain_outlet(c, 1.0, step, books);
      remaining -= step;
      prev_status = status;
    }
    if (!failed) break;
    dts *= 0.5;
    ms.overland.ade_dt_factor *= 0.5;
    ms.overland.ade_stable_count = 0;
  }
  if (c.olake) {
    for (int L = 1; L <= ms.lake.num_olakes; ++L) ms.lake.olake_table[L].value[4] += oacc[L];
  }
  return true;
}

// Change of every cell outside the lakes from the face discharges of one
// direction over the whole step (coef = dt / dx^2).
void pc_change(const ade_ctx& c, const double* q, int dir, double coef, const double* from, double* to,
               ade_books* books) {
  const int* up = dir == ade_dir_x ? c.left : c.above;
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
  }
}

// ADE with a predictor-corrector discharge over the full step.
void route_pc(model_state& ms, double dt, ade_books& books) {
  const int n = ms.grid.ncells;
  ade_ctx c = make_ctx(ms);
  // The factor follows the step of this call.
  ms.overland.ade_pc_coef = dt / ms.overland.ade_area;
  const double coef = ms.overland.ade_pc_coef;
  double* pcd = ms.overland.ov_pc_depth.data();
  double* pcf = ms.overland.ov_pc_flux.data();
  for (int i = 1; i <= n; ++i) {
    if (in_lake(c, i)) continue;
    pcd[i] = c.h[i];
    ms.overland.ov_dh[i] = 0.0;
    ms.overland.ov_qx[i] = 0.0;
    ms.overland.ov_qy[i] = 0.0;
  }
  zero(ms.overland.ade_olake_acc);
  double* oacc = ms.overland.ade_olake_acc.empty() ? nullptr : ms.overland.ade_olake_acc.data();
  effective_roughness(ms, c.h);
  const int order_first = ms.overland.ade_sweep == 1 ? ade_dir_x : ade_dir_y;
  for (int pass = 0; pass < 2; ++pass) {
    const int dir = pass == 0 ? order_first : (order_first == ade_dir_x ? ade_dir_y : ade_dir_x);
    double* q = dir == ade_dir_x ? ms.overland.ov_qx.data() : ms.overland.ov_qy.data();
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
    pc_change(c, q, dir, coef, c.h, c.h, &books);
    if (c.lake || c.olake) lake_exchange(ms, c, q, dir, dt, oacc);
    drain_outlet(c, 0.5, dt, books);
  }
  if (c.olake) {
    for (int L = 1; L <= ms.lake.num_olakes; ++L) ms.lake.olake_table[L].value[4] += oacc[L];
  }
}

}  // namespace

void ade_flux_helper(model_state& ms, const double* depth, int direction, double* q) {
  const ade_ctx c = make_ctx(ms);
  if (c.general)
    face_discharges<true>(c, depth, direction, q);
  else
    face_discharges<false>(c, depth, direction, q);
}

int ade_sweep_helper(model_state& ms, const double* q, int direction, double dt_s, ade_books& books) {
  const ade_ctx c = make_ctx(ms);
  if (c.general) return sweep_depths<true>(c, q, direction, dt_s, ms.overland.ade_dt_factor, books);
  return sweep_depths<false>(c, q, direction, dt_s, ms.overland.ade_dt_factor, books);
}

int ade_stability_check(model_state& ms, const double* q, int direction, double dt_s, double& ratio,
                        int& cell) {
  const ade_ctx c = make_ctx(ms);
  return stability(c, q, direction, dt_s, ms.overland.ade_dt_factor, ratio, cell);
}

double route_overland_ade(model_state& ms, double dt) {
  const int n = ms.grid.ncells;
  if (n <= 0) return 0.0;
  double* h = ms.overland.ov_depth.data();
  for (int i = 1; i <= n; ++i) {
    if (std::isnan(h[i])) {
      std::printf("Overland depth is NaN at beginning of overland routing time step in cell %ld \n",
                  static_cast<long>(i));
      std::printf("Program stopped.\n");
      set_error(own_message_code);
      return -1.0;
    }
    if (h[i] < 0.0) {
      std::printf("Negative depth encountered at the beginning of the overland routing time step in cell %ld \n",
                  static_cast<long>(i));
      if (h[i] < -1e-05) {
        std::printf("Program stopped.\n");
        set_error(own_message_code);
        return -1.0;
      }
      h[i] = 0.0;
    }
  }

  const bool first = ms.overland.ade_calls == 0;
  ms.overland.ade_calls += 1;
  if (first) {
    ms.overland.ade_min_dt = ms.grid.grid_size * 0.001 / 100;
    ms.overland.ade_area = ms.grid.grid_size * ms.grid.grid_size;
  }
  ensure_cells(ms.overland.ov_qx, n);
  ensure_cells(ms.overland.ov_qy, n);
  ensure_cells(ms.overland.ov_volx, n);
  ensure_cells(ms.overland.ov_voly, n);
  ensure_cells(ms.overland.ov_dh, n);
  ensure_cells(ms.overland.ov_pc_depth, n);
  ensure_cells(ms.overland.ov_pc_flux, n);
  ensure_cells(ms.overland.ade_rough, n);
  ensure_cells(ms.overland.ade_depth_save, n);
  if (ms.lake.chan_lakes && ms.lake.num_lakes > 0) ensure_cells(ms.overland.ade_lake_save, 3 * ms.lake.num_lakes);
  if (ms.lake.overland_lake_map_given && ms.lake.num_olakes > 0) ensure_cells(ms.overland.ade_olake_acc, ms.lake.num_olakes);

  ade_books books;
  if (ms.overland.overtype == 2) {
    if (!route_plain(ms, dt, first, books)) return -1.0;
  } else if (ms.overland.overtype == 3) {
    route_pc(ms, dt, books);
  }

  double loss = 0.0, gain = 0.0;
  if (ms.grid.lowspot_file_given) dike_weir_flow(ms, dt, loss, gain);
  ms.overland.head_bound_loss_vol += loss + books.loss;
  ms.overland.head_bound_gain_vol += gain + books.gain;
  return books.outlet;
}

}  // namespace nivra
