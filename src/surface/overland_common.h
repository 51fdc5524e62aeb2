// Small pieces shared by the overland kernels.
#pragma once

#include "core/arrays.h"
#include "surface/overland.h"

namespace nivra {

// Manning depth exponent of the routing faces, and the one used at the
// outlet and at normal-depth boundaries.
inline constexpr double five_thirds = 1.6666666666666667;
inline constexpr double outlet_exponent = 1.666667;

// Work arrays of the kernels are made on their first call in a run (1..n).
inline void ensure_cells(array1d<double>& a, int n) {
  if (a.size() != n) a.alloc(n);
}

// Takes a volume (m3) out of a cell whose water of depth h stands on
// open_area: never more than it holds. Returns the volume that left; the
// cell is empty when that was all of it.
inline double drain_cell(double& h, double volume, double open_area) {
  const double fall = volume / open_area;
  if (fall >= h) {
    const double all = h * open_area;
    h = 0.0;
    return all;
  }
  h -= fall;
  return volume;
}

// Depths at the start of a routing step: a depth that is not a number, or
// below -1e-5 m, stops the run (after the message); a smaller negative
// depth, left by the rounding of another process, is set to zero.
overland_status check_entry_depths(double* h, int n);

}  // namespace nivra
