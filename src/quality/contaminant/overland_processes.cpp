#include "quality/contaminant/overland_processes.h"

#include <algorithm>

#include "quality/contaminant/constituent_kernels.h"

namespace nivra {

double land_exchange_mass(const land_exchange_cell& x, double rate_per_s, double area_m2, double dt) {
  if (!(x.water_volume > 0.0)) return 0.0;
  double f = x.land_conc - x.water_conc;
  if (f <= 0.0 && !x.two_way) return 0.0;
  f *= rate_per_s * area_m2 * dt;
  if (f <= 0.0) return std::max(f, -x.water_mass);
  f = std::min(f, x.land_available);
  const double excess = (x.water_conc * x.water_volume + f) / x.water_volume - x.land_conc;
  if (excess > 1e-16) f -= excess * x.water_volume;
  return std::max(f, 0.0);
}

double water_decay_pending(double pending, double conc, double rate_per_s, double depth_before, double depth_now,
                           double area_m2, double dt) {
  if (depth_now < 1e-16 || conc < 1e-16) return pending;
  const double cap = std::min(depth_before, depth_now) * area_m2 * conc;
  pending += conc * decay_share(rate_per_s, dt) * 0.5 * (depth_before + depth_now) * area_m2;
  return std::min(pending, cap);
}

}  // namespace nivra
