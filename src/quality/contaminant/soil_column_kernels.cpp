#include "quality/contaminant/soil_column_kernels.h"

#include "quality/contaminant/constituent_kernels.h"

#include <algorithm>

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

layered_moisture_out layered_soil_moisture(const layered_moisture_in& in) {
  layered_moisture_out r;
  const int n = in.layers;
  const double d = in.table_cm;
  const double Wt = in.water_top_cm, Wb = in.water_bottom_cm;
  const double P1 = in.P1, P2 = in.P2;
  // Depths of the layer bottoms, cm.
  const double b1 = 100.0 * in.t[1], b2 = 100.0 * (in.t[1] + in.t[2]), b3 = 100.0 * (in.t[1] + in.t[2] + in.t[3]);
  const double top_class_cm = n == 3 ? b2 : b1;  // the class's first layer
  for (int l = 1; l <= n; ++l) {
    // The class layer this column layer lies in gives its pores.
    const double pores = (l == 1 || (l == 2 && n == 3)) ? P1 : P2;
    r.thetas[l] = pores;
    if (d <= 1e-16) {
      r.theta[l] = pores;
      continue;
    }
    const double top = l == 1 ? 0.0 : l == 2 ? b1 : b2;
    const double bottom = l == 1 ? b1 : l == 2 ? b2 : b3;
    const double thick = bottom - top;
    if (!(thick > 0.0)) continue;
    if (top >= d) {  // wholly below the table
      r.theta[l] = pores;
      continue;
    }
    // The accounting's water above the table: the top water spread over
    // the class's first layer down to the table, the bottom water over the
    // rest; the part of the layer below the table is saturated.
    const double dry = std::min(bottom, d) - top;  // cm above the table
    double water = 0.0;
    if (bottom <= top_class_cm + 1e-12) {
      const double spread = std::min(top_class_cm, d);
      water = spread > 0.0 ? Wt * dry / spread : 0.0;
    } else {
      const double below_top = std::min(b3, d) - top_class_cm;
      water = below_top > 0.0 ? Wb * dry / below_top : 0.0;
    }
    if (bottom > d) water += (bottom - d) * pores;
    r.theta[l] = water / thick;
  }
  return r;
}

double soil_layer_concentration(double mass, double porosity, double thickness, double area) {
  const double soil_kg = (1.0 - porosity) * thickness * area * particle_density_g_cm3 * 1000.0;
  return soil_kg > 0.0 ? mass / soil_kg * 1000.0 : 0.0;
}

contam_column_moved contam_column_step(const contam_column_cell& cell, double dt, double* mass) {
  contam_column_moved m;
  const int n = cell.layers;
  // Decay of the dissolved part of each layer.
  for (int l = 1; l <= n; ++l) {
    const layer_decay r = soil_layer_decay(mass[l], cell.dissolved[l], cell.decay_rate, dt, cell.static_soil);
    m.decayed += r.decayed;
    mass[l] = r.mass;
  }
  if (!cell.static_soil) mass[1] += cell.infiltrated - cell.taken_by_surface;
  // Dissolved concentrations before the water moves; a layer without water
  // has none and sends nothing.
  double conc[4] = {}, out_top[4] = {}, out_bottom[4] = {};
  for (int l = 1; l <= n; ++l) {
    const double water = cell.theta[l] * cell.thickness[l] * cell.area;
    conc[l] = std::max(mass[l], 0.0) > 0.0 ? dissolved_concentration(mass[l], cell.dissolved[l], water) : 0.0;
  }
  // What each layer sends through its top (upward water) and its bottom
  // (downward water), cut to its dissolved mass.
  for (int l = 1; l <= n; ++l) {
    const double up = cell.water_flux[l - 1], down = cell.water_flux[l];
    out_top[l] = up < 0.0 ? -up * conc[l] * cell.area : 0.0;
    out_bottom[l] = down > 0.0 ? down * conc[l] * cell.area : 0.0;
    const double held = std::max(cell.dissolved[l] * mass[l], 0.0);
    const double sent = out_top[l] + out_bottom[l];
    if (sent > held) {
      const double f = sent > 0.0 ? held / sent : 0.0;
      out_top[l] *= f;
      out_bottom[l] *= f;
    }
  }
  // Water rising from the table brings the table's concentration.
  const double rising = cell.water_flux[n] < 0.0 ? -cell.water_flux[n] * cell.table_conc * cell.area : 0.0;
  for (int l = 1; l <= n; ++l) {
    mass[l] -= out_top[l] + out_bottom[l];
    if (l > 1) mass[l] += out_bottom[l - 1];
    if (l < n) mass[l] += out_top[l + 1];
  }
  mass[n] += rising;
  m.to_table = out_bottom[n];
  m.from_table = rising;
  m.to_surface = out_top[1];
  for (int l = 1; l <= n; ++l) m.reset += reset_negative(mass[l]);
  return m;
}

double soil_water_exchange(const soil_water_exchange_in& x, double dt) {
  double F = (x.soil_conc - x.water_conc) * x.rate * x.area * dt;
  if (F <= 0.0) return x.water_mass + F < 0.0 ? -std::max(x.water_mass, 0.0) : F;
  F = std::min(F, std::max(x.soil_dissolved_mass, 0.0));
  if (x.water_volume > 0.0) {
    const double excess = (x.water_conc * x.water_volume + F) / x.water_volume - x.soil_conc;
    if (excess > 1e-16) F -= excess * x.water_volume;
  }
  return std::max(F, 0.0);
}

}  // namespace nivra
