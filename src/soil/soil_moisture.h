// Soil-moisture accounting between and during storms: per cell a soil
// column of sm_depth cm in a top zone and a bottom zone, whose water (cm)
// takes in what infiltrated since the last pass, gives up
// evapotranspiration (ponded water first, at the potential rate; then the
// soil, each zone by how wet it is and its share of the column) and drains
// by gravity below the column (Brooks-Corey conductivity above field
// capacity). Every store stays between its residual and saturated contents.
//
// - soil_moisture_redist: one soil for both zones (the per-cell parameters
//   of Green-Ampt with redistribution); the top zone is TOP_LAYER_DEPTH;
// - soil_moisture_multilayer: the soil class of the cell; the top zone is
//   layer 1, the bottom zone the rest of the column, draining at the
//   geometric mean of the conductivities of the layers it spans.
//
// Per cell and pass: water before + infiltration = water after + soil
// evapotranspiration + drainage. The drainage gathers in unsat_down_flux
// and recharge_depth (cm) for the groundwater; the evapotranspiration of a
// cell the water table feeds is taken from them, the aquifer's loss.
#pragma once

#include "soil/soil_state.h"

namespace nivra {

// What a pass works on. A null pointer is a process that is off.
struct soil_moisture_domain {
  soil_state& soil;
  double* ov_depth = nullptr;          // m over the open part of a cell
  int ncells = 0;
  double cell_area = 0.0;              // m2
  double dt = 0.0;                     // s
  bool long_term = false;              // evapotranspiration only in long-term runs
  bool deardorff = false;              // bare-soil stress (ET_CALC_DEARDORFF), else plant stress
  const double* pet_rate = nullptr;    // potential evapotranspiration, cm/s
  const double* aet_rate = nullptr;    // actual evapotranspiration, cm/s
  const double* rain = nullptr;        // rain of the step, mm/h: a wet cell does not evaporate
  const double* snow_swe = nullptr;    // snow on the cell: no evaporation
  const int* boundary_type = nullptr;  // fixed-level cells (2, 3, 9) do not evaporate
  const double* blocked = nullptr;     // blocked fraction: ponded water evaporates from the open part
  const int* channel_lake = nullptr;   // lake cells are left alone
  const int* overland_lake = nullptr;
  // 1 where the water table feeds the cell (set for a cell without soil);
  // with a water table, such a cell's evapotranspiration comes from the
  // aquifer. Null without a water table.
  int* exfiltrating = nullptr;
};

// Volumes a pass moved, m3.
struct soil_moisture_books {
  double ponded_evaporation = 0.0;  // from water standing on the cells
  double soil_et = 0.0;             // from the soil zones, or from the water drained below them
  double drained = 0.0;             // below the column, less what evapotranspiration took back from it
  double taken_in = 0.0;            // infiltration taken into the zones
  // Evaporated depth summed over the cells, m.
  double evaporated_depth(double cell_area) const {
    return cell_area > 0.0 ? (ponded_evaporation + soil_et) / cell_area : 0.0;
  }
};

soil_moisture_books soil_moisture_redist(const soil_moisture_domain& d);
soil_moisture_books soil_moisture_multilayer(const soil_moisture_domain& d);

// Brooks-Corey relative conductivity at effective saturation se with pore
// index lambda: se^(3 + 2/lambda); 0 at or below residual, 1 at saturation.
double brooks_corey_kr(double se, double lambda);

}  // namespace nivra
