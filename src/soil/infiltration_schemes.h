// What an infiltration kernel keeps from one call to the next within a run.
// The soil component owns one (soil_state::ga_kernel), made with the run's
// record, so a second run in the same process starts exactly as the first.
#pragma once

#include "core/arrays.h"

namespace nivra {

// Single-layer Green-Ampt: the suction-deficit term P = (porosity - initial
// water content) x suction head (m) of every cell, built by the
// infiltration set-up (or else at the kernel's first call) and held until
// the water contents change (the maps the outside framework hands back
// clear `ready`, and the next call builds it again).
struct green_ampt_scheme {
  array1d<double> suction_deficit;
  bool ready = false;

  // Builds the term of cells 1..cells from their porosity, initial water
  // content and suction head, unless it is ready.
  void prepare(int cells, const double* porosity, const double* moisture, const double* suction);
};

}  // namespace nivra
