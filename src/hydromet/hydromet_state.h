// Part of the run's model_state: Rain (uniform, gages, radar), weather, evapotranspiration, snow, radiation, elevation bands.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct hydromet_state {
  // --- hydrometeorology read by the outputs (per cell)
  array1d<double> rain_depth;
  array1d<double> snow_swe;          // snow water equivalent
  array1d<double> snow_temperature;
};

}  // namespace nivra
