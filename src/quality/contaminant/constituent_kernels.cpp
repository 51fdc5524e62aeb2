#include "quality/contaminant/constituent_kernels.h"

#include <cmath>
#include <cstddef>

namespace nivra {

double sediment_partition(double kd_l_per_kg, std::span<const double> conc_g_m3, std::span<const char> is_sand,
                          std::span<double> attached) {
  const double kd = kd_l_per_kg / 1e6;  // m3/g
  double s = 0.0;
  for (std::size_t k = 0; k < conc_g_m3.size(); ++k)
    if (!is_sand[k]) s += kd * conc_g_m3[k];
  double total = 0.0;
  for (std::size_t k = 0; k < conc_g_m3.size(); ++k) {
    attached[k] = is_sand[k] ? 0.0 : kd * conc_g_m3[k] / (1.0 + s);
    total += attached[k];
  }
  return 1.0 - total;
}

double soil_dissolved_fraction(double theta, double porosity, double kd_l_per_kg) {
  if (!(theta > 1e-16)) return 0.0;
  return theta / (theta + particle_density_g_cm3 * (1.0 - porosity) * kd_l_per_kg);
}

double decay_share(double rate_per_s, double dt) {
  const double x = rate_per_s * dt;
  if (!(x > 0.0)) return 0.0;
  return x <= 1.0 ? x : 1.0 - std::exp(-x);
}

double decay_amount(double mass, double rate_per_s, double dt, double fraction) {
  const double held = fraction * mass;
  if (!(held > 0.0)) return 0.0;
  return held * decay_share(rate_per_s, dt);
}

double dissolved_concentration(double mass, double fraction, double water_volume) {
  return water_volume > 1e-16 ? fraction * mass / water_volume : 0.0;
}

double interval_share(double amount, double dt, double interval) {
  if (std::fabs(amount) <= 1e-16) return 0.0;
  if (dt < interval && std::fabs(dt - interval) > 0.5) return amount * dt / interval;
  return amount;
}

}  // namespace nivra
