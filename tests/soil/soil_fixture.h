// A row of cells of one soil for the infiltration kernels: the soil
// component with every parameter and front array made, the overland depths,
// and the Green-Ampt solution of a ponded surface to test against.
#pragma once

#include <cmath>
#include <memory>

#include "soil/infiltration.h"
#include "soil/soil_state.h"

namespace nivra::testing {

// The soil of the tests: Ks 1 cm/h, suction 10 cm, porosity 0.45, initial
// water content 0.15 (a moisture deficit of 0.3), pore index 0.25 and a
// residual water content of 0.05.
struct soil_values {
  double ks_cm_h = 1.0;
  double suction_cm = 10.0;
  double porosity = 0.45;
  double moisture = 0.15;
  double pore_index = 0.25;
  double residual = 0.05;
};

struct soil_cells {
  std::unique_ptr<soil_state> soil = std::make_unique<soil_state>();
  array1d<double> depth;  // overland depth, m
  array1d<int> boundary;  // overland boundary type
  array1d<double> blocked;
  array1d<int> lake;
  array2d<double> unfrozen;
  int n = 0;
  double area = 100.0;

  explicit soil_cells(int cells, const soil_values& v = {}) : n(cells) {
    soil_state& s = *soil;
    for (array1d<double>* a : {&s.sat_hyd_cond, &s.capillary_head, &s.soil_porosity, &s.pore_dist_index, &s.resid_sat,
                               &s.init_moisture, &s.inf_rate, &s.inf_depth_cell, &s.surface_moisture, &s.cum_infil,
                               &s.cum_infil_prev, &s.theta_front, &s.redist_infil, &s.wetdep, &s.area_reduction})
      a->alloc(n);
    for (array1d<int>* a : {&s.iter_pond_1, &s.iter_n, &s.no_wat_prof, &s.iter_i_less_k, &s.soiltype}) a->alloc(n);
    s.THETA_ML.alloc(n, 4);
    depth.alloc(n);
    for (int c = 1; c <= n; ++c) {
      s.sat_hyd_cond[c] = v.ks_cm_h / 360000.0;
      s.capillary_head[c] = v.suction_cm / 100.0;
      s.soil_porosity[c] = v.porosity;
      s.init_moisture[c] = v.moisture;
      s.pore_dist_index[c] = v.pore_index;
      s.resid_sat[c] = v.residual;
      s.theta_front[c] = s.surface_moisture[c] = v.moisture;
      s.soiltype[c] = 1;
      for (int j = 1; j <= 3; ++j) s.THETA_ML(c, j) = v.moisture;
    }
  }

  // Soil class 1 of the layered kernel: layer j has conductivity ks[j - 1]
  // (cm/h), the suction, porosity and moisture of v; layers 1 and 2 are
  // thick cm thick.
  void layered_class(const double (&ks)[3], double thick, const soil_values& v = {}) {
    soil_class& k = soil->soil_classes()[1];
    for (int j = 1; j <= 3; ++j) {
      k.real(j) = v.suction_cm;
      k.real(4 + j) = ks[j - 1];
      k.real(7 + j) = v.porosity;
      k.real(10 + j) = v.moisture;
    }
    k.real(23) = k.real(24) = thick;
  }

  infiltration_domain domain() {
    infiltration_domain d{*soil};
    d.ov_depth = depth.data();
    d.ncells = n;
    d.cell_area = area;
    if (!boundary.empty()) d.boundary_type = boundary.data();
    if (!blocked.empty()) d.blocked = blocked.data();
    if (!lake.empty()) d.channel_lake = lake.data();
    if (!unfrozen.empty()) d.unfrozen = &unfrozen;
    return d;
  }
};

// Cumulative infiltration (cm) of a ponded surface after t hours, from
// the Green-Ampt equation t = (F - P ln(1 + F / P)) / K, solved by bisection.
inline double ponded_green_ampt_cm(double t_hours, const soil_values& v = {}) {
  const double K = v.ks_cm_h, P = v.suction_cm * (v.porosity - v.moisture);
  double lo = 0.0, hi = 1000.0;
  for (int i = 0; i < 200; ++i) {
    const double F = 0.5 * (lo + hi);
    ((F - P * std::log(1.0 + F / P)) / K < t_hours ? lo : hi) = F;
  }
  return 0.5 * (lo + hi);
}

}  // namespace nivra::testing
