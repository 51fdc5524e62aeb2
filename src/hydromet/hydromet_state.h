// Part of the run's model_state: Rain (uniform, gages, radar), weather, evapotranspiration, snow, radiation, elevation bands.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct hydromet_state {
  // Snow as the ADE overland routing sees it (lateral flow through the pack).
  int route_lat_snow = 0;
  array1d<double> snow_swe;               // per cell, m
  array2d<double> snap_nivra_params;      // [cell][1..11]: 4 water-holding divisor, 11 permeability (cm2)
  double snow_darcy = -1.0;               // fixed Darcy coefficient when above 1e-16
};

}  // namespace nivra
