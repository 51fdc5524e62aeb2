#include "hydromet/evapotranspiration_soil.h"

#include <algorithm>

namespace nivra {

namespace {

// Share of the demand a zone holding `water` cm over `depth` cm can meet.
double stress_factor(double water, double depth, double residual, double field_capacity, double wilting,
                     bool deardorff) {
  const double fc = field_capacity * depth;
  if (deardorff) {
    if (water <= residual * depth) return 0.0;
    return fc > 0.0 ? std::min(water / fc, 1.0) : 1.0;
  }
  const double wp = wilting * depth;
  if (water >= fc) return 1.0;
  if (water <= wp) return 0.0;
  return std::min((water - wp) / (fc - wp), 1.0);
}

}  // namespace

soil_et_books soil_moisture_redist(const soil_et_cells& k) {
  soil_et_books books;
  const double dt = k.dt;
  for (int c = 1; c <= k.n; ++c) {
    if ((k.overland_lake && k.overland_lake[c] > 0) || (k.channel_lake && k.channel_lake[c] > 0)) continue;
    const double depth = k.sm_depth[c];
    const double I = k.sm_infil_in[c] * 100.0;  // cm waiting to enter the zones
    const double Dt = std::min(k.top_layer_depth, depth);
    const bool two_zones = depth > Dt;
    const double Db = two_zones ? depth - Dt : 0.0;
    const double phi = k.porosity[c];
    const double theta_r = k.residual ? k.residual[c] : 0.0;
    double top = k.sm_water_top[c];
    double bottom = k.sm_water_bottom[c];
    double Et = 0.0, Eb = 0.0;

    const bool rain = k.rain && k.rain[c] > 1e-16;
    const bool snow = k.snow_swe && k.snow_swe[c] >= 1e-16;
    const int type = k.boundary_type ? k.boundary_type[c] : 0;
    const bool fixed_level = type == 2 || type == 3 || type == 9;
    if (k.long_term && !rain && !snow && !fixed_level) {
      // Ponded water evaporates first, at the potential rate.
      const double E = dt * k.pet_rate[c];
      const double d = k.ov_depth[c] * 100.0;
      double demand = k.aet_rate[c] * dt;
      if (d > 1e-14) {
        const double open = k.blocked && k.blocked[c] < 1.0 ? 1.0 - k.blocked[c] : 1.0;
        double evaporated;
        if (E <= d) {
          k.ov_depth[c] -= E / 100.0;
          evaporated = E;
          demand = 0.0;
        } else {
          k.ov_depth[c] = 0.0;
          evaporated = d;
          demand = k.aet_rate[c] * (dt - d / E * dt);
        }
        k.direct_evap_cell[c] += evaporated * open;
        books.ponded += evaporated * open / 100.0 * k.cell_area;
      }
      if (demand > 1e-16 && depth >= 1e-16) {
        const double fcap = k.field_capacity ? k.field_capacity[c] : 0.0;
        const double wilt = k.wilting ? k.wilting[c] : 0.0;
        double ft = stress_factor(top, Dt, theta_r, fcap, wilt, k.deardorff);
        double fb = 0.0;
        if (two_zones && k.soil_moist_depth > 0.0) {
          fb = stress_factor(bottom, Db, theta_r, fcap, wilt, k.deardorff);
          ft *= Dt / k.soil_moist_depth;
          fb *= Db / k.soil_moist_depth;
        }
        Et = demand * ft;
        Eb = demand * fb;
        // Neither zone gives water below its residual content; the top zone
        // may take what infiltrated since the last pass.
        if (top - Et < theta_r * Dt - I) Et = std::max(top + I - theta_r * Dt, 0.0);
        if (bottom - Eb < theta_r * Db) Eb = std::max(bottom - theta_r * Db, 0.0);
        books.soil += (Et + Eb) / 100.0 * k.cell_area;
      }
    }

    // The zones take in the infiltration and give up the evapotranspiration;
    // water beyond what the column holds waits.
    top += I - Et;
    double passed = 0.0;
    if (top > phi * Dt) {
      passed = top - phi * Dt;
      top = phi * Dt;
    }
    double waiting = 0.0;
    if (two_zones) {
      bottom += passed - Eb;
      if (bottom > phi * Db) {
        waiting = bottom - phi * Db;
        bottom = phi * Db;
      }
    } else {
      waiting = passed;
    }
    k.sm_water_top[c] = top;
    k.sm_water_bottom[c] = bottom;
    k.sm_water[c] = top + bottom;
    k.sm_infil_in[c] = waiting / 100.0;
  }
  return books;
}

}  // namespace nivra
