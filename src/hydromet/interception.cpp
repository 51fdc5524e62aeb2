#include "hydromet/interception.h"

#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"

namespace nivra {

double seasonal_factor(int month, double latitude, const seasonal_months& season) {
  if (season.on != 1) return 1.0;
  if (season.spring < 1) {
    // The table's months are the northern hemisphere's; south of the
    // equator the seasons fall six months later.
    if (latitude < 0.0) {
      latitude = -latitude;
      month = month >= 1 && month <= 12 ? (month + 5) % 12 + 1 : month;
    }
    const bool north = latitude >= 37.0;
    switch (month) {
      case 4: return north ? 4.0 : 2.5;
      case 5: return north ? 3.0 : 1.0;
      case 6: return north ? 2.0 : 1.0;
      case 7:
      case 8:
      case 9: return 1.0;
      case 10: return 2.5;
      default: return 4.0;
    }
  }
  const int s = season.spring, f = season.fall, ss = season.summer_start, se = season.summer_end;
  if (month <= s || month >= f) return 4.0;
  if (month < ss) return 1.0 + 3.0 * (ss - month) / static_cast<double>(ss - s);
  if (month > se) return 1.0 + 3.0 * (month - se) / static_cast<double>(f - se);
  return 1.0;
}

double canopy_interception(const canopy_cells& cells, double dt, double f) {
  const double* stor = cells.icep_stor;
  const double* coef = cells.icep_coef;
  const double* rain = cells.rain_rate;
  double* eff = cells.ri_eff;
  double* dep = cells.icep_dep;
  const double to_depth = dt / 3600.0;  // mm of rain per mm/h
  double held = 0.0;
  for (int k = 1; k <= cells.n; ++k) {
    const double P = rain[k];
    if (P < 0.0) {
      eff[k] = 0.0;
      continue;
    }
    if (cells.lake_mask && cells.lake_mask[k] > 0) {
      eff[k] = P;
      continue;
    }
    const double D = P * to_depth;
    double A = stor[k] / f - dep[k];
    if (A < 0.0) A = 0.0;
    const double c = coef[k] / f;
    double I;
    if (A > D) {
      eff[k] = 0.0;
      I = D;
    } else {
      const double R = A > 0.0 ? (D - A) / to_depth : P;  // rate left once the store is full
      eff[k] = R * (1.0 - c);
      I = A + c * R * to_depth;
    }
    dep[k] += I;
    held += I;
  }
  return held;
}

double canopy_storage(const model_state& ms) {
  const hydromet_state& hm = ms.hydromet;
  if (!hm.interception_coeff_given || hm.icep_dep.empty()) return 0.0;
  double mm = 0.0;
  for (int c = 1; c <= ms.grid.ncells && c <= hm.icep_dep.size(); ++c) mm += hm.icep_dep[c];
  return mm * ms.grid.grid_size * ms.grid.grid_size / 1000.0;
}

double dry_canopy(model_state& ms) {
  const double held = canopy_storage(ms);
  if (!ms.hydromet.icep_dep.empty()) ms.hydromet.icep_dep.fill(0.0);
  return held;
}

}  // namespace nivra
