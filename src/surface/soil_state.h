// Part of the run's model_state: Infiltration and soil moisture: Green-Ampt and layered soil arrays, Richards columns, the soil-class table.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

#include <vector>

namespace nivra {

// One class of the layered soil table: 50 reals; real[22] (the 23rd) is the
// depth of the top soil layer in cm.
struct soil_class {
  double real[50] = {};
};

struct soil_state {
  // --- soil water read by the outputs
  array1d<double> inf_depth_cell;    // infiltrated depth per cell
  array1d<double> inf_rate;          // infiltration rate per cell
  array1d<double> surface_moisture;
  array1d<double> sm_water_top, sm_water_bottom;  // cm of water in the two soil-moisture layers
  array1d<double> sm_depth;          // soil-moisture accounting depth per cell, cm
  array2d<double> THETA;             // [cell][layer] water content
  array1d<int> soiltype;             // soil class per cell
  std::vector<soil_class> multilayer_soil_table;  // by soil class id
  double top_layer_depth = 40.0;     // cm
  int inf_richards = 0;
  int sm_accounting = 0;
  int inf_layered_soil = 0;
};

}  // namespace nivra
