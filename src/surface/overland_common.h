// Small pieces shared by the overland kernels.
#pragma once

#include "core/arrays.h"

namespace nivra {

// Manning depth exponent of the routing faces, and the one used at the
// outlet and at normal-depth boundaries.
inline constexpr double five_thirds = 1.6666666666666667;
inline constexpr double outlet_exponent = 1.666667;

// Work arrays of the kernels are made on their first call in a run (1..n).
inline void ensure_cells(array1d<double>& a, int n) {
  if (a.size() != n) a.alloc(n);
}

}  // namespace nivra
