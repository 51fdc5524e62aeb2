#include "quality/contaminant/soil_column_kernels.h"

#include "quality/contaminant/constituent_kernels.h"

namespace nivra {

double layer_water_content(const soil_layer_water& w, int l) {
  const double T = w.top_cm, S = w.moist_cm, M = w.mixing_cm;
  const double Wt = w.water_top_cm, Wb = w.water_bottom_cm, p = w.porosity;
  if (!w.water_table) {
    if (l == 1) return Wt / T;
    if (l == 2 && (w.layers == 3 || S - T < 1e-16)) return Wt / T;
    return Wb / (S - T);
  }
  const double d = w.table_depth;
  if (d <= 1e-16) return p;
  // The water of a layer between depths a and b (m) that holds `water` (m)
  // above the table: saturated where the table rises into it.
  auto with_table = [&](double water, double top_m, double bottom_m, double thickness) {
    if (bottom_m > d) {
      if (top_m > d) return p;
      water += (bottom_m - d) * p;
    }
    return water / thickness;
  };
  if (l == 1) {
    double water = (M / T) * Wt / 100.0;
    if (M / 100.0 > d) water += (M / 100.0 - d) * p;
    return water / (M / 100.0);
  }
  if (l == 2 && w.layers == 2 && T - M <= 1e-16) return with_table(Wb / 100.0, T / 100.0, S / 100.0, w.thickness[2]);
  if (l == 2) return with_table((T - M) * Wt / T / 100.0, M / 100.0, T / 100.0, w.thickness[2]);
  return with_table(Wb / 100.0, T / 100.0, S / 100.0, w.thickness[3]);
}

layer_decay soil_layer_decay(double mass, double dissolved_fraction, double rate_per_s, double dt, bool static_soil) {
  layer_decay r;
  r.decayed = decay_amount(mass, rate_per_s, dt, dissolved_fraction);
  r.mass = static_soil ? mass : mass - r.decayed;
  return r;
}

double reset_negative(double& mass) {
  if (mass >= 0.0) return 0.0;
  const double made = -mass;
  mass = 0.0;
  return made;
}

}  // namespace nivra
