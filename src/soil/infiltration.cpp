#include "soil/infiltration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

constexpr double dry_depth = 1e-16;           // m: a cell with less holds no water
constexpr double cm_per_h_per_m_per_s = 360000.0;

// Solves the Green-Ampt equation for the cumulative infiltration Fn at the
// end of a span over which kdt = K x span would enter at the conductivity
// alone, starting from F:
//   P ln((P + Fn) / (P + F)) + kdt - Fn + F = 0,
// by Newton's method from F + first, stopping one update after the residual
// is within tol. The function is concave and falls beyond F, so the first
// update lands at or beyond the root and the iterates then fall to it.
// False when the iterations do not converge (a value that is not a number).
bool green_ampt_newton(double P, double F, double kdt, double first, double tol, double& Fn) {
  if (P <= 0.0) {
    // No suction: the front moves at the conductivity.
    Fn = F + kdt;
    return std::isfinite(Fn);
  }
  const double base = P + F;
  double x = F + first;
  for (int i = 0; i < max_newton_iterations; ++i) {
    const double r = P * std::log((P + x) / base) + kdt - x + F;
    x -= r / (P / (P + x) - 1.0);
    if (std::fabs(r) <= tol) {
      Fn = x;
      return std::isfinite(x);
    }
  }
  return false;
}

// The cells the domain's other components keep out of the soil.
bool channel_lake_cell(const infiltration_domain& d, int c) {
  return d.channel_lake && lake_cell(d.channel_lake[c]);
}
bool held_level(const infiltration_domain& d, int c) {
  return d.boundary_type && boundary::holds_level(d.boundary_type[c]);
}

// Takes depth x (m) of infiltrated water from cell c, or all of its water.
// A cell whose level a boundary holds keeps its depth: the boundary
// supplies the water, whose volume goes to gain.
void take(const infiltration_domain& d, int c, double x, bool all, double& gain) {
  if (held_level(d, c)) {
    gain += x * d.cell_area * open_share(d.blocked, c);
    return;
  }
  if (all)
    d.ov_depth[c] = 0.0;
  else
    d.ov_depth[c] -= x;
}

infiltration_result not_converged(int c, double K, double P, double F, const char* unit) {
  std::printf("Error: the Green and Ampt infiltration of cell %d did not converge in %d iterations "
              "(conductivity %g %s, suction term %g, infiltrated depth %g).\n",
              c, max_newton_iterations, K, unit, P, F);
  return {infiltration_status::no_convergence, c, 0.0};
}

// Effective saturation of the Brooks-Corey soil and the mean capillary drive
// G between the initial water content and the front's (Se0, Sei).
double effective_saturation(double theta, double residual, double porosity) {
  return (theta - residual) / (porosity - residual);
}
double capillary_drive(double psi, double se0, double sei, double lambda) {
  if (sei >= 1.0) return psi;
  const double e = 1.0 / lambda + 3.0;
  const double below = std::pow(sei, e);
  return psi * (std::pow(se0, e) - below) / (1.0 - below);
}

}  // namespace

double log_weight_interp(double x, double w) {
  if (w >= 1.0) return x;  // thawed: the blend would only add rounding
  return std::min(x, std::exp(std::log(1e-6) * (1.0 - w) + std::log(x) * w));
}

double frozen_soil_factor(double t, double b, double psi) {
  if (t >= 273.15) return 1.0;
  if (t <= 263.15) return 0.0;
  return std::pow((t - 273.15) * 334000.0 / t / (psi * 9.81), -1.0 / b);
}

void green_ampt_scheme::prepare(int cells, const double* porosity, const double* moisture, const double* suction) {
  if (ready && suction_deficit.size() == cells) return;
  if (suction_deficit.size() != cells) suction_deficit.alloc(cells);
  for (int c = 1; c <= cells; ++c) suction_deficit[c] = (porosity[c] - moisture[c]) * suction[c];
  ready = true;
}

// ---------------------------------------------------------------- single layer
infiltration_result infil_ga_cells(const infiltration_domain& d, double dt) {
  soil_state& s = d.soil;
  const int n = d.ncells;
  s.ga_kernel.prepare(n, s.soil_porosity.data(), s.init_moisture.data(), s.capillary_head.data());
  const double* K = s.sat_hyd_cond.data();
  const double* P = s.ga_kernel.suction_deficit.data();
  const double* reduction = s.area_reduction_given && !s.area_reduction.empty() ? s.area_reduction.data() : nullptr;
  double* F = s.cum_infil.data();
  double* rate = s.inf_rate.data();
  double* h = d.ov_depth;
  infiltration_result r;
  for (int c = 1; c <= n; ++c) {
    if (channel_lake_cell(d, c)) {
      rate[c] = 0.0;
      continue;
    }
    if (h[c] < dry_depth) {
      // A dry cell: what rounding left on it goes into the soil.
      rate[c] = 0.0;
      if (!held_level(d, c)) {
        F[c] += h[c];
        h[c] = 0.0;
      }
      continue;
    }
    double Fn = 0.0;
    if (!green_ampt_newton(P[c], F[c], K[c] * dt, 0.001, 1e-6, Fn)) {
      infiltration_result failed = not_converged(c, K[c], P[c], F[c], "m/s");
      failed.boundary_gain = r.boundary_gain;
      return failed;
    }
    double f = Fn > dry_depth ? K[c] * (1.0 + P[c] / Fn) : K[c];
    if (reduction) f *= reduction[c];
    double x = f * dt;
    const bool all = x >= h[c];
    if (all) {
      x = h[c];
      f = x / dt;
    }
    take(d, c, x, all, r.boundary_gain);
    F[c] += x;
    rate[c] = f * cm_per_h_per_m_per_s;
  }
  return r;
}

// ---------------------------------------------------------------- redistribution
infiltration_result infil_redist_flux(const infiltration_domain& d, double dt, int step) {
  soil_state& s = d.soil;
  const int n = d.ncells;
  const double* phi = s.soil_porosity.data();
  const double* theta_i = s.init_moisture.data();
  const double* Ks = s.sat_hyd_cond.data();
  const double* psi = s.capillary_head.data();
  const double* lambda = s.pore_dist_index.data();
  const double* theta_r = s.resid_sat.data();
  const double* reduction = s.area_reduction_given && !s.area_reduction.empty() ? s.area_reduction.data() : nullptr;
  double* F = s.cum_infil.data();
  double* F1 = s.redist_infil.data();
  double* front = s.theta_front.data();
  double* surface = s.surface_moisture.data();
  double* rate = s.inf_rate.data();
  int* pond = s.iter_pond_1.data();
  int* redist = s.iter_n.data();
  int* below_k = s.iter_i_less_k.data();
  int* profile = s.no_wat_prof.data();
  double* h = d.ov_depth;
  infiltration_result r;

  for (int c = 1; c <= n; ++c) {
    if (channel_lake_cell(d, c)) continue;
    if (d.overland_lake && lake_cell(d.overland_lake[c])) continue;
    if (d.snow_blocked && d.snow_blocked[c] == 1) continue;
    if (d.frost_index && d.frost_index[c] > d.frost_limit) continue;
    const double ti = theta_i[c], p = phi[c];
    if (step < 2) front[c] = surface[c] = ti;
    if (d.exfiltrating && d.exfiltrating[c] == 1) {
      // The water table stands at the surface: the soil is full.
      front[c] = p;
      rate[c] = 0.0;
      continue;
    }
    double K = Ks[c];
    if (d.unfrozen) K = log_weight_interp(K, (*d.unfrozen)(c, 1));
    const double Kx = reduction ? K * reduction[c] : K;
    const double depth = h[c];
    const double supply = depth / dt;
    const double l = lambda[c], tr = theta_r[c];
    const double sei = effective_saturation(ti, tr, p);
    double t0 = front[c];

    // Continued low supply: all of it enters, as in the step before.
    if (below_k[c] == step - 1 && Kx >= supply) {
      rate[c] = supply * cm_per_h_per_m_per_s;
      take(d, c, depth, true, r.boundary_gain);
      F[c] += depth;
      below_k[c] = step;
      surface[c] = ti;
      continue;
    }

    if (Kx <= supply) {
      // Supply at or above the conductivity: the capacity decides.
      double Fc = F[c];
      double deficit = p - ti;
      if (redist[c] >= 1 && profile[c] != 1) {
        // Rain on a redistributed profile: a second front forms above the
        // first while the first is deeper than it.
        profile[c] = 1;
        const double f1 = F1[c];
        if (f1 / (t0 - ti) > (Fc - f1) / std::max(p - t0, 1e-20)) {
          profile[c] = 2;
          const double se0 = effective_saturation(t0, tr, p);
          const double G = capillary_drive(psi[c], se0, sei, l);
          const double kexp = 2.0 / l + 3.0;
          const double drift = -K * std::pow(sei, kexp) - K * std::pow(se0, kexp) - G * K * (t0 - ti) / f1;
          t0 = std::clamp(t0 + drift * (t0 - ti) * dt / f1, ti, p);
          Fc -= f1;
          deficit = p - t0;
        }
      }
      const double a = K * dt - 2.0 * Fc;
      double f = (a + std::sqrt(a * a + 8.0 * K * dt * (deficit * psi[c] + Fc))) / (2.0 * dt);
      if (reduction) f *= reduction[c];
      if (f >= supply) {
        // All of it enters; before ponding the surface wets toward saturation.
        f = supply;
        take(d, c, depth, true, r.boundary_gain);
        if (pond[c] == 0 && redist[c] == 0) {
          if (f - K < 1e-6) {
            t0 += (p - t0) * dt / 100000.0;
          } else {
            const double tp = (p - t0) * K * psi[c] / ((f - K) * f);
            if (tp != 0.0)
              t0 += (p - t0) * dt / tp;
            else
              t0 = p;
          }
          if (t0 > p) {
            t0 = p;
            pond[c] = step;
          }
        }
      } else {
        // Ponding: the capacity enters.
        take(d, c, f * dt, false, r.boundary_gain);
        if (pond[c] == 0) {
          pond[c] = step;
          if (redist[c] == 0) t0 = p;
        }
      }
      F[c] += f * dt;
      rate[c] = f * cm_per_h_per_m_per_s;
      if (profile[c] == 1) t0 = p;
      surface[c] = profile[c] == 2 ? p : t0;
      front[c] = t0;
      continue;
    }

    // Supply below the conductivity: all of it enters and the surface front
    // redistributes.
    if (profile[c] == 1) {
      t0 = p;
      profile[c] = 0;
    } else if (profile[c] == 2) {
      // The two fronts merge into one.
      if (F[c] > 0.0)
        t0 = std::min(((t0 + p - 2.0 * ti) * (F[c] - F1[c]) + (t0 - ti) * F1[c]) / F[c] + ti, p);
      profile[c] = 0;
    }
    rate[c] = depth > 0.0 ? supply * cm_per_h_per_m_per_s : 0.0;
    if (F[c] + depth < 0.0) {
      F[c] = F1[c] = 0.0;
      take(d, c, depth, true, r.boundary_gain);
      surface[c] = ti;
      front[c] = t0;
      continue;
    }
    F[c] = F1[c] = F[c] + depth;
    if (t0 != ti) {
      if (F1[c] > 0.0) {
        const double se0 = effective_saturation(t0, tr, p);
        const double G = capillary_drive(psi[c], se0, sei, l);
        const double kexp = 2.0 / l + 3.0;
        const double drift =
            supply - K * std::pow(sei, kexp) - K * std::pow(se0, kexp) - G * K * (t0 - ti) / F1[c];
        t0 = std::clamp(t0 + drift * (t0 - ti) * dt / F1[c], ti, p);
      } else {
        t0 = ti;  // the front holds no water
      }
    }
    redist[c] = step;
    surface[c] = t0;
    front[c] = t0;
    take(d, c, depth, true, r.boundary_gain);
  }
  return r;
}

// ---------------------------------------------------------------- layered
infiltration_result infil_layered_cells(const infiltration_domain& d, double dt) {
  soil_state& s = d.soil;
  infiltration_result r;
  if (s.multilayer_soil_table.empty() || s.soiltype.empty()) return r;
  const int n = d.ncells;
  const double dth = dt / 3600.0;
  const array1d<soil_class>& classes = s.multilayer_soil_table;
  const double* reduction = s.area_reduction_given && !s.area_reduction.empty() ? s.area_reduction.data() : nullptr;
  double* F = s.cum_infil.data();
  double* Z = s.wetdep.data();
  double* rate = s.inf_rate.data();
  double* h = d.ov_depth;
  for (int c = 1; c <= n; ++c) {
    if (channel_lake_cell(d, c)) {
      rate[c] = 0.0;
      continue;
    }
    if (d.snow_blocked && d.snow_blocked[c] == 1) continue;
    if (d.frost_index && d.frost_index[c] > d.frost_limit) continue;
    if (h[c] < dry_depth) {
      rate[c] = 0.0;
      continue;
    }
    const soil_class& soil = classes[s.soiltype[c]];
    double deficit[4], K[4];
    for (int j = 1; j <= 3; ++j) {
      const double p = soil.porosity(j);
      deficit[j] = p - s.THETA_ML(c, j);
      // A layer at or above saturation still takes 1 % of its porosity.
      if (deficit[j] <= 0.0) deficit[j] = 0.01 * p;
      K[j] = soil.conductivity(j);
      if (d.unfrozen) K[j] = log_weight_interp(K[j], (*d.unfrozen)(c, j));
    }
    const double L1 = soil.thickness(1), L2 = soil.thickness(2);
    const double Fc = F[c] * 100.0;  // cm
    const double depth = h[c] * 100.0;
    // The layer the front is in, its deficit and suction, and the
    // conductivity of the soil above the front.
    double dtheta, psi, Keff;
    if (Z[c] > L1 + L2) {
      dtheta = deficit[3];
      psi = soil.capillary_head(3);
      const double z3 = std::max((Fc - (L2 * deficit[2] + L1 * deficit[1])) / deficit[3], 0.0);
      Keff = (z3 + L1 + L2) / (L1 / K[1] + L2 / K[2] + z3 / K[3]);
    } else if (Z[c] > L1) {
      dtheta = deficit[2];
      psi = soil.capillary_head(2);
      const double z2 = std::max((Fc - L1 * deficit[1]) / deficit[2], 0.0);
      Keff = (z2 + L1) / (z2 / K[2] + L1 / K[1]);
    } else {
      dtheta = deficit[1];
      psi = soil.capillary_head(1);
      Keff = K[1];
    }
    const double P = psi * dtheta;
    double Fn = 0.0;
    if (!green_ampt_newton(P, Fc, Keff * dth, 0.1, 1e-4, Fn)) {
      infiltration_result failed = not_converged(c, Keff, P, Fc, "cm/h");
      failed.boundary_gain = r.boundary_gain;
      return failed;
    }
    double f = Fn > dry_depth ? Keff * (1.0 + P / Fn) : Keff;
    double front = Fn / deficit[1];
    if (front > L1) front = (Fn - L1 * deficit[1]) / deficit[2] + L1;
    if (front > L1 + L2) front = (Fn - (L2 * deficit[2] + L1 * deficit[1])) / deficit[3] + L1 + L2;
    if (reduction && reduction[c] < 1.0) f *= reduction[c];
    if (f * dth <= depth) {
      const double x = f * dth / 100.0;
      rate[c] = f;
      take(d, c, x, false, r.boundary_gain);
      F[c] += x;
      Z[c] = front;
    } else {
      const double x = h[c];
      rate[c] = depth / dth;
      take(d, c, x, true, r.boundary_gain);
      F[c] += x;
      Z[c] += depth / dtheta;
    }
  }
  return r;
}

}  // namespace nivra
