// The Richards column solver: every column is integrated over the call in
// sub-steps whose length keeps the largest change of water content near
// richards_dtheta_max. A sub-step solves the linearised pressure-head
// equation (one tridiagonal system over nodes 1..n - 1), moves the water
// contents by the face fluxes of that solution, and brings heads and water
// contents back into agreement through the retention curve.
//
// The passes of a sub-step are the modified Picard iteration of the mixed
// form (Celia, Bouloutas and Zarba 1990): each pass linearises about the
// heads and contents the last one left and carries their difference from
// the sub-step's start on its right-hand side, so that once the passes
// settle the contents the face fluxes give are those of the heads. A
// capacity of zero at saturation would otherwise let a saturated node
// drain or fill in the head solution without any flux carrying the water.
// The passes end when the heads have settled and the water the
// consistency of heads and contents makes or destroys is a small share of
// the water the sub-step moved.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "soil/infiltration.h"
#include "soil/richards.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/boundary_codes.h"

namespace nivra {

namespace {

constexpr double five_seconds = 0.001388888888888889;  // h
// The shortest sub-step a column proposes (a pond about to empty would
// otherwise ask for ever shorter ones), h.
constexpr double shortest_substep = 1e-7;
// Node 1 with less room than this share of its thickness left below
// saturation counts as saturated: a supply it cannot take ponds the top.
constexpr double saturated_room = 0.005;

// The top of a column in a sub-step: a flux (the surface water enters as a
// source of node 1, evaporation leaves from the root zone) or a head held
// in the ghost node.
enum class top_kind { flux, head };

struct column_view {
  int n;
  richards_node* soil;
  double *h, *th, *kr, *cap, *flux, *src, *dz;
  const double* unfrozen = nullptr;  // liquid-water factor of nodes 1..n, null when the soil is not frozen
};

// Relative conductivity and capacity of nodes 1..n, node 0 taking node 1's.
// Ice in the pores cuts a node's conductivity by its liquid-water factor.
template <int model>
void update_conductivity(const column_view& c) {
  for (int j = 1; j <= c.n; ++j) {
    const conductivity_capacity k = conductivity_and_capacity(c.soil[j], model, c.h[j], c.th[j]);
    c.kr[j] = c.unfrozen ? log_weight_interp(k.kr, c.unfrozen[j]) : k.kr;
    c.cap[j] = k.c;
  }
  c.kr[0] = c.kr[1];
  c.cap[0] = c.cap[1];
}

// Thomas algorithm over nodes 1..m: a lower, b main, cc upper diagonal, rhs
// overwritten with the solution (b with the reciprocals of the eliminated
// diagonal: one division per node).
void tridiag_solve(int m, const double* a, double* b, const double* cc, double* rhs) {
  b[1] = 1.0 / b[1];
  for (int j = 2; j <= m; ++j) {
    const double w = a[j] * b[j - 1];
    b[j] = 1.0 / (b[j] - w * cc[j - 1]);
    rhs[j] -= w * rhs[j - 1];
  }
  rhs[m] *= b[m];
  for (int j = m - 1; j >= 1; --j) rhs[j] = (rhs[j] - cc[j] * rhs[j + 1]) * b[j];
}

// What the surface, saturated under a head h0 in the ghost node, conducts
// into a node 1 with ice in its pores (cm/h): the water comes from the
// surface, so the face conducts as the saturated soil does with node 1's
// ice.
double frozen_surface_capacity(const column_view& c, double h0) {
  const double k = log_weight_interp(1.0, c.unfrozen[1]) * c.soil[1].ks;
  return std::max(k - k / ((c.dz[0] + c.dz[1]) / 2.0) * (c.h[1] - h0), 0.0);
}

bool fixed_level(const richards_domain& d, int c) {
  if (!d.boundary_type) return false;
  const int t = d.boundary_type[c];
  return boundary::holds_level(t);
}

// One column over T hours. Returns false after the message of a column that
// failed.
template <int model>
bool integrate_column(const richards_domain& d, richards_scheme& w, int c, double T, double open, richards_result& out) {
  soil_state& s = d.soil;
  richards_columns& rc = s.richards;
  const int n = s.numcells[c];
  column_view v{n,           rc.soil[c].data(),   rc.PHEAD[c].data(),  s.THETA[c].data(), rc.KHEAD[c].data(),
                rc.WATCAP[c].data(), rc.WATFLUX[c].data(), rc.SOURCE[c].data(), s.DZ[c].data()};
  if (d.unfrozen && d.unfrozen->cols() >= n) v.unfrozen = (*d.unfrozen)[c].data();
  double* KMID = w.KMID.data();
  double* A = w.A.data();
  double* B = w.B.data();
  double* C = w.C.data();
  double* D = w.D.data();
  double* hold = w.PHEADOLD.data();
  double* hprev = w.PHEADPREV.data();
  double* thold = w.THETAOLD.data();
  double* hiter = w.PHEADITER.data();
  double* thiter = w.THETAITER.data();
  double& ov = d.ov_depth[c];
  int& bound = s.bound_type[c];
  const bool held = fixed_level(d, c);
  const double area = d.cell_area;

  const bool dry_weather = !d.rain || !(d.rain[c] > 0.0);
  // Ponded water evaporates from the open part of the cell.
  const double p = d.long_term && dry_weather && d.pet_rate ? d.pet_rate[c] * 3600.0 * open : 0.0;  // cm/h
  const double aet = d.long_term && d.aet_rate ? d.aet_rate[c] : 0.0;                          // cm/s
  const double root = d.long_term && !s.root_depth.empty() ? s.root_depth[c] * 100.0 : 0.0;      // cm
  double cell_evap = 0.0;  // m

  // A water table at the surface: only the ponded water evaporates.
  if (d.exfiltrating && d.exfiltrating[c] == 1) {
    if (d.long_term) {
      const double e = p * T;
      const double left = ov * 100.0 - e;
      const double gone = left >= 0.0 ? e / 100.0 : ov;
      if (!s.direct_evap_cell.empty()) s.direct_evap_cell[c] += gone * 100.0;
      cell_evap += gone;
      if (held) out.boundary_gain += gone * area;
      else ov = left >= 0.0 ? left / 100.0 : 0.0;
      out.ponded_evaporation += gone * area;
    }
    out.evaporated += cell_evap;
    return true;
  }
  if (n < 2) return true;

  // The ghost node mirrors node 1, or, with the surface head held, stands at
  // the surface itself.
  const double dz0 = d.hold_top_head ? 0.0 : v.dz[1];
  v.dz[0] = dz0;
  const int L_flux = std::max(d.iter_max, 1);

  // A saturated top starts with a sub-step of at most five seconds; no
  // sub-step reaches past the call.
  double dt = std::min(s.dtr[c], T);
  if (v.h[1] >= 1e-16) dt = std::min(dt, five_seconds);
  if (!(dt > 0.0)) dt = std::min(T, five_seconds);
  double proposed = dt;
  double tau = T;
  long long steps = 0;
  while (tau > 1e-16) {
    if (++steps > max_richards_substeps || !(dt > 0.0)) {
      std::printf("Error: the Richards soil column of cell %d does not advance: %lld sub-steps, the last of %g h.\n",
                  c, steps, dt);
      out.cell = c;
      return false;
    }
    // a. The start of the sub-step.
    for (int j = 0; j <= n; ++j) {
      hold[j] = hprev[j] = hiter[j] = v.h[j];
      thold[j] = thiter[j] = v.th[j];
      v.src[j] = 0.0;
    }
    v.h[0] = 0.0;
    v.th[0] = v.th[1];
    bool limited = false;

    // b. The surface water after the potential evaporation of the sub-step.
    const double e = p * dt;
    double a = ov * 100.0 - e;
    double ponded_evap = 0.0;  // cm
    if (d.long_term) {
      if (a >= 0.0) {
        ponded_evap = e;
      } else {
        ponded_evap = e + a;
        a = (dt - (ov * 100.0 / p) * dt) * (-3600.0 * aet);
      }
    }
    if (d.hold_top_head) a = 0.0;

    // c. The upper boundary.
    top_kind top = top_kind::flux;
    double sink_rate = 0.0;  // root-zone uptake, cm/h (negative)
    if (d.hold_top_head) {
      v.h[0] = d.top_head;
      top = top_kind::head;
    } else if (bound == 2 && (a > 1e-16 || v.h[1] >= 0.0)) {
      v.h[0] = a > 1e-16 ? a - dz0 / 2.0 : -dz0 / 2.0;
      top = top_kind::head;
    } else if (bound == 3) {
      v.h[0] = -dz0 / 2.0;
      top = top_kind::head;
    }
    if (top == top_kind::flux) {
      if (a < 0.0) {
        // The demand spread over the root zone, each node by its stress.
        double rem = root;
        for (int j = 1; j <= n - 1 && rem > 1e-16; ++j) {
          rem -= v.dz[j];
          const richards_node& sj = v.soil[j];
          double f = 1.0;
          if (v.th[j] <= sj.theta_wp) f = 0.0;
          else if (v.th[j] < sj.theta_fc) f = (v.th[j] - sj.theta_wp) / (sj.theta_fc - sj.theta_wp);
          v.src[j] = a / (dt * root) * f;
          sink_rate += v.src[j] * v.dz[j];
        }
      } else {
        // The surface water enters over what is left of the call; ice in
        // node 1 lets in no more than its frozen surface conducts.
        double supply = a / tau;
        if (v.unfrozen && v.unfrozen[1] < 1.0) supply = std::min(supply, frozen_surface_capacity(v, a - dz0 / 2.0));
        v.src[1] = supply / v.dz[1];
        if (!held) bound = 1;
      }
    }
    const int L = (bound == 2 || bound == 3) ? 5 : L_flux;
    v.kr[0] = (top == top_kind::head && d.hold_top_head)
                  ? conductivity_and_capacity(v.soil[1], model, d.top_head, v.soil[1].theta_s).kr
                  : v.kr[1];

    // d. The passes of the sub-step. Node 1's source, which a flux top's
    // pass turns into the surface flux, enters every pass.
    const double top_source = v.src[1];
    double chi = 1.0;
    double m = 0.0001;
    double adjustment = 0.0;  // cm the consistency of the accepted pass added
    // The time in which the supply would fill node 1 (h), when it would
    // fill it within the sub-step while the node still has room: the
    // sub-step starts again that long.
    double fill_time = 0.0;
    for (int k = 1;; ++k) {
      ++w.passes;
      // 1. Face conductivities.
      const bool ponded_face = bound == 2 && !d.hold_top_head;
      for (int j = 1; j <= n; ++j) {
        if (j == 1 && ponded_face) {
          if (d.upper_option == 2) {
            KMID[1] = 1.0;
            continue;
          }
          v.kr[0] = d.upper_option == 3 ? 1.0 : v.kr[1];
        }
        const double mean = d.k_mean == richards_mean_arithmetic
                                ? d.weight * v.kr[j - 1] + (1.0 - d.weight) * v.kr[j]
                                : std::sqrt(v.kr[j - 1] * v.kr[j]);
        KMID[j] = mean * v.soil[j].ks;
      }
      const double kmid_top = KMID[1];
      if (top == top_kind::flux) v.src[1] = top_source;
      bool switch_to_head = false;
      for (;;) {
        // 2. A flux top conducts nothing through the surface face.
        if (top == top_kind::flux) KMID[1] = 0.0;
        // 3. Assemble.
        for (int j = 1; j <= n - 1; ++j) {
          const double dj = v.dz[j];
          const double dp = (dj + v.dz[j + 1]) / 2.0, dm = (dj + v.dz[j - 1]) / 2.0;
          A[j] = -KMID[j + 1] / (dj * dp);
          C[j] = -KMID[j] / (dj * dm);
          const double store = v.cap[j] / dt;
          B[j] = KMID[j + 1] / (dj * dp) + store + KMID[j] / (dj * dm);
          // The water the last pass's state holds beyond the sub-step's
          // start is already there (none in the first pass).
          D[j] = store * v.h[j] - (thiter[j] - thold[j]) / dt - KMID[j + 1] / dj + KMID[j] / dj + v.src[j];
        }
        D[1] -= C[1] * v.h[0];
        if (d.fixed_bottom) {
          D[n - 1] -= A[n - 1] * v.h[n];
        } else {
          B[n - 1] += A[n - 1];
          A[n - 1] = 0.0;
        }
        // 4. Solve (C is the lower diagonal, A the upper).
        tridiag_solve(n - 1, C, B, A, D);
        for (int j = 1; j <= n - 1; ++j) {
          if (std::isnan(D[j])) {
            if (top == top_kind::flux) switch_to_head = true;
            continue;
          }
          v.h[j] = D[j];
          if (top == top_kind::flux && D[j] < -1e7 && v.th[j] > 0.95 * v.soil[j].theta_s) switch_to_head = true;
        }
        // 5.
        if (!d.fixed_bottom) v.h[n] = v.h[n - 1];
        if (top == top_kind::flux) KMID[1] = kmid_top;
        // 6. Face fluxes (with a flux top the first is replaced by the
        // supply below).
        for (int j = 1; j <= n; ++j)
          v.flux[j] = KMID[j] - KMID[j] / ((v.dz[j - 1] + v.dz[j]) / 2.0) * (v.h[j] - v.h[j - 1]);
        if (top == top_kind::flux) {
          // 7. A supply the soil cannot take ponds the top: node 1 takes
          // the supply as long as it has room for what it does not pass
          // on to node 2. When it would fill within the sub-step while it
          // still has room, the sub-step starts again, as long as the node
          // takes to fill; once it is full (saturated but for
          // saturated_room), the sub-step starts again with a head at the
          // surface. A dry top node thus wets from the rain or the pond
          // before the surface ponds, rather than holding the water out by
          // its own small conductivity. (A demand of the roots in node 1
          // is no supply: it stays a source, booked as the soil's
          // evaporation.)
          if (v.src[1] > 0.0 && !switch_to_head) {
            // The room left in node 1 and what the supply would put there.
            const double room = (v.soil[1].theta_s - thold[1]) * v.dz[1];
            const double gain = (v.dz[1] * v.src[1] - v.flux[2]) * dt;
            if (gain > room) {
              if (room > saturated_room * v.dz[1] && gain > 0.0 && dt * room / gain >= shortest_substep) {
                fill_time = 0.9 * dt * room / gain;
                break;
              }
              switch_to_head = true;
            }
          }
          if (switch_to_head) {
            v.h[0] = a - dz0 / 2.0;
            v.src[1] = 0.0;
            for (int j = 1; j <= n; ++j) v.h[j] = hiter[j];
            if (!held) bound = 2;
            top = top_kind::head;
            switch_to_head = false;
            continue;
          }
          v.flux[1] = v.dz[1] * v.src[1];
          v.src[1] = 0.0;
        }
        break;
      }
      if (fill_time > 0.0) break;
      // 8. The surface gives no more than the water it holds.
      if (!d.hold_top_head && v.flux[1] > 0.0 && v.flux[1] * dt > a) {
        v.flux[1] = std::max(a / dt, 0.0);
        limited = true;
      }
      // 9. Water contents from the face fluxes.
      adjustment = 0.0;
      double moved = 0.0;  // cm of water the fluxes and sources moved into or out of the nodes
      m = 0.0001;
      for (int j = 1; j <= n - 1; ++j) {
        const double dth = ((v.flux[j] - v.flux[j + 1]) / v.dz[j] + v.src[j]) * dt;
        v.th[j] += dth;
        if (!(std::fabs(dth) <= 1.0)) {
          std::printf("Error: the water content of node %d of the Richards soil column of cell %d is not a number.\n",
                      j, c);
          out.cell = c;
          return false;
        }
        if (v.th[j] < v.soil[j].theta_r) {
          adjustment += (v.soil[j].theta_r - v.th[j]) * v.dz[j];
          v.th[j] = v.soil[j].theta_r;
        }
        m = std::max(m, std::fabs(dth));
        moved += std::fabs(dth) * v.dz[j];
      }
      v.th[0] = v.th[1];
      if (!d.fixed_bottom) v.th[n] = v.th[n - 1];
      // 10. The next sub-step's length.
      proposed = dt * d.dtheta_max / m;
      if (limited) proposed = std::min(proposed, 0.02);
      // 11. Heads and water contents in agreement.
      for (int j = 1; j <= n - 1; ++j) {
        const richards_node& sj = v.soil[j];
        if (j == 1 && limited && v.th[1] < 0.999999 * sj.theta_s && v.h[1] >= 0.0) {
          limited = false;
          v.h[1] = head_from_moisture(sj, model, v.th[1], v.h[1]);
        } else if (v.th[j - 1] < v.soil[j - 1].theta_s && v.th[j] < sj.theta_s && v.th[j + 1] < v.soil[j + 1].theta_s) {
          v.h[j] = head_from_moisture(sj, model, v.th[j], v.h[j]);
        } else {
          const double theta = moisture_from_head(sj, model, v.h[j]);
          adjustment += (theta - v.th[j]) * v.dz[j];
          v.th[j] = theta;
        }
      }
      // 12.
      if (!d.fixed_bottom) {
        v.th[n] = v.th[n - 1];
        v.h[n] = v.h[n - 1];
      }
      // 13.
      update_conductivity<model>(v);
      if (d.hold_top_head) v.kr[0] = conductivity_and_capacity(v.soil[1], model, d.top_head, v.soil[1].theta_s).kr;
      // 14. The change since the last pass.
      chi = 0.0;
      for (int j = 1; j <= n - 1; ++j) {
        if (v.h[j] != 0.0) chi = std::max(chi, 100.0 * (v.h[j] - hprev[j]) / v.h[j]);
        hprev[j] = v.h[j];
      }
      // 15. Another pass while the heads still move, or while the
      // consistency makes or destroys more than a small share of the water
      // the pass moved: it linearises about this pass's state, its water
      // contents again counted from the sub-step's start.
      const bool settling = k <= L - 1 && chi > 0.1;
      const bool making = k <= max_richards_passes - 1 &&
                          std::fabs(adjustment) > richards_consistency_share * moved + 1e-12;
      if (!settling && !making) break;
      for (int j = 0; j <= n; ++j) {
        hiter[j] = v.h[j];
        thiter[j] = v.th[j];
      }
      for (int j = 1; j <= n - 1; ++j) v.th[j] = thold[j];
      v.th[0] = v.th[1];
    }

    if (fill_time > 0.0) {
      for (int j = 0; j <= n; ++j) {
        v.h[j] = hold[j];
        v.th[j] = thold[j];
      }
      dt = fill_time;
      continue;
    }

    // e. The exchange with the surface.
    const double F = v.flux[1];
    double rate = F;
    if (!d.hold_top_head) {
      if (a > 0.0) {
        const double left = ov - (F + p) * dt / 100.0;
        if (left <= 1e-16) {
          if (!held) {
            bound = (v.th[1] == v.soil[1].theta_s && bound == 2) ? 3 : 1;
            if (bound == 3) proposed = std::min(proposed, 0.02);
            ov = 0.0;
          }
        } else {
          if (held) out.boundary_gain += (ov - left) * area;
          else ov = left;
          if (p + F > 0.0) proposed = std::min(proposed, left * 100.0 / (p + F));
        }
      } else {
        if (held) {
          out.boundary_gain += ov * area;
        } else {
          ov = 0.0;
          bound = 1;
        }
        // What left the soil's surface, or its root zone, evaporated.
        if (top == top_kind::flux) rate = sink_rate;
      }
    }
    s.inf_rate[c] = rate;
    if (a > 0.0 || d.hold_top_head) {
      s.cum_infil[c] += rate * dt / 100.0;
    } else {
      cell_evap -= rate * dt / 100.0;
      out.soil_evaporation -= rate * dt / 100.0 * area;
    }
    if (!s.inf_rich.empty()) s.inf_rich[c] += rate * dt / 100.0;
    const double down = v.flux[n] * dt;
    if (!s.unsat_down_flux.empty()) s.unsat_down_flux[c] += down;
    if (!s.recharge_depth.empty()) s.recharge_depth[c] += down;
    out.drained += down / 100.0 * area;
    out.adjustment += adjustment / 100.0 * area;
    if (ponded_evap != 0.0) {
      if (!s.direct_evap_cell.empty()) s.direct_evap_cell[c] += ponded_evap;
      cell_evap += ponded_evap / 100.0;
      out.ponded_evaporation += ponded_evap / 100.0 * area;
    }

    // f. The next sub-step.
    proposed = std::max(proposed, shortest_substep);
    tau -= dt;
    const double next = std::min(proposed, T);
    if (tau > 1e-16) dt = (next > tau || tau - next < 1e-8) ? tau : next;
  }
  s.dtr[c] = proposed;
  w.substeps += steps;
  out.evaporated += cell_evap;
  return true;
}

template <int model>
richards_result solve_columns(const richards_domain& d, double dt) {
  richards_result out;
  const double T = dt / 3600.0;
  if (!(T > 1e-16)) return out;
  soil_state& s = d.soil;
  richards_scheme& w = s.richards_kernel;
  for (int c = 1; c <= d.ncells; ++c) {
    // Snow or frozen ground keeps the water out of the soil: the column
    // rests and takes nothing.
    if (d.long_term && ((d.snow_blocked && d.snow_blocked[c] == 1) ||
                        (d.frost_index && d.frost_index[c] > d.frost_limit))) {
      s.inf_rate[c] = 0.0;
      continue;
    }
    if (d.channel_lake && d.channel_lake[c] > 0) continue;
    // The column lies under the whole cell, the ponded water over its open
    // part: the column works on that water spread over the whole cell, so
    // that what enters the soil is what leaves the pond.
    const double open = open_share(d.blocked, c);
    if (open < 1.0) d.ov_depth[c] *= open;
    const bool ok = integrate_column<model>(d, w, c, T, open, out);
    if (open < 1.0) d.ov_depth[c] /= open;
    if (!ok) {
      out.status = richards_status::failed;
      return out;
    }
  }
  return out;
}

}  // namespace

richards_result solve_soil_column(const richards_domain& d, double dt) {
  return d.retention == retention_haverkamp ? solve_columns<retention_haverkamp>(d, dt)
                                            : solve_columns<retention_brooks_corey>(d, dt);
}

}  // namespace nivra
