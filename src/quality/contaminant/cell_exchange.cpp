#include "quality/contaminant/cell_exchange.h"

#include "quality/contaminant/constituent_kernels.h"

namespace nivra {

namespace {

// The share of a pending amount for this step, taken out of it.
double take(double* pending, double interval, double dt) {
  if (!pending) return 0.0;
  const double a = interval_share(*pending, dt, interval);
  *pending -= a;
  return a;
}

// A change of the cell's mass, cut so that the mass stays at or above zero;
// returns what was applied.
double apply(double& m, double change) {
  if (m + change < 0.0) change = -m;
  m += change;
  return change;
}

}  // namespace

double contam_cell_exchange(double mass, double dt, cell_pending& p, cell_taken& taken) {
  double m = mass;
  cell_taken t;
  t.exfiltration = apply(m, take(p.exfiltration, p.exfiltration_s, dt));
  t.exchange = apply(m, take(p.exchange, p.exchange_s, dt));
  t.sediment = apply(m, take(p.sediment, p.sediment_s, dt));
  const double kinetics = apply(m, take(p.nutrients, p.nutrients_s, dt));
  (kinetics >= 0.0 ? t.nutrient_gain : t.nutrient_loss) = kinetics >= 0.0 ? kinetics : -kinetics;
  t.decay = -apply(m, -take(p.decay, p.decay_s, dt));
  t.infiltration = -apply(m, -take(p.infiltration, p.infiltration_s, dt));
  t.lateral = -apply(m, -take(p.lateral, p.lateral_s, dt));
  t.outlet = -apply(m, -take(p.outlet, p.outlet_s, dt));
  taken.add(t);
  return dt > 0.0 ? (m - mass) / dt : 0.0;
}

}  // namespace nivra
