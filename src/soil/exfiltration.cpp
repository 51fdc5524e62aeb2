#include "soil/exfiltration.h"

#include <algorithm>

#include "soil/soil_state.h"
#include "surface/boundary_codes.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

// The exchange of one cell over dt seconds, m over the open part (positive
// up onto the surface).
double cell_exchange(const exfiltration_domain& d, int c, double dt) {
  const double surface = d.ground[c] + d.ov_depth[c];
  const double dh = d.water_table[c] - surface;
  if (dh <= 0.0) return d.saturated_groundwater ? -d.leakage * dt : 0.0;
  double x = 0.0;
  switch (d.form) {
    case exfiltration_form::redistribution:
      x = d.layer_depth > 0.0 ? dh * d.conductivity[c] / (d.layer_depth / 100.0) * dt : 0.0;
      break;
    case exfiltration_form::layered: {
      const soil_class& k = (*d.classes)[d.soiltype[c]];
      const double depth = k.thickness(1) + k.thickness(2);  // cm
      x = depth > 0.0 ? dh * k.conductivity(1) / depth * dt / 3600.0 : 0.0;
      break;
    }
    case exfiltration_form::richards:
      if (d.saturated_groundwater)
        x = d.groundwater_dt > 0.0 ? dh * std::min(dt / d.groundwater_dt, 1.0) * d.storage[c] : 0.0;
      else
        x = d.column_depth[c] > 0.0 ? dh * d.column_conductivity[c] / d.column_depth[c] * dt / 3600.0 : 0.0;
      break;
  }
  // The aquifer gives no more than it holds above the water surface.
  if (d.saturated_groundwater && d.storage) x = std::min(x, dh * d.storage[c]);
  return x;
}

}  // namespace

exfiltration_books exfiltrate(const exfiltration_domain& d, double dt) {
  exfiltration_books b;
  if (!d.exfiltrating || dt <= 0.0) return b;
  for (int c = 1; c <= d.ncells; ++c) {
    if (d.exfiltrating[c] < 1) continue;
    if (d.channel_lake && lake_cell(d.channel_lake[c])) continue;
    if (d.overland_lake && lake_cell(d.overland_lake[c])) continue;
    double x = cell_exchange(d, c, dt);
    // The ponded water is all that can seep down.
    x = std::max(x, -d.ov_depth[c]);
    if (x == 0.0) continue;
    const double open = d.blocked && d.blocked[c] < 1.0 ? 1.0 - d.blocked[c] : 1.0;
    const double v = x * open * d.cell_area;
    if (d.boundary_type && boundary::holds_level(d.boundary_type[c])) {
      // A fixed level keeps its depth: what arrives leaves through the
      // boundary, what seeps down the boundary supplies.
      if (v > 0.0) b.boundary_out += v;
      else b.boundary_in -= v;
    } else {
      d.ov_depth[c] += x;
      if (d.ov_depth[c] < 0.0) d.ov_depth[c] = 0.0;
    }
    b.exfiltration += v;
    if (d.exfiltrated_depth) d.exfiltrated_depth[c] += x;
    if (d.exfiltrated_volume) d.exfiltrated_volume[c] += v;
    if (d.aquifer_change) d.aquifer_change[c] -= x * open;
  }
  return b;
}

}  // namespace nivra
