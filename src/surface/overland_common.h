// Small pieces shared by the overland kernels.
#pragma once

#include <bit>
#include <cstdint>

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

// The sign bit of the result is set when x is below zero (or a negative
// zero) or not a number: a positive NaN's bits carry into the sign bit when
// the mantissa mask is added. Or-ed over an array it tells whether any depth
// is doubtful in a loop the compiler vectorises, which a comparison of the
// doubles is not.
inline std::uint64_t doubt_bits(double x) {
  const std::uint64_t u = std::bit_cast<std::uint64_t>(x);
  return u | (u + 0x000fffffffffffffull);
}
inline bool doubtful(std::uint64_t bits) { return (bits >> 63) != 0; }

// Depths at the start of a routing step: a depth that is not a number, or
// below -1e-5 m, stops the run (after the message); a smaller negative
// depth, left by the rounding of another process, is set to zero.
overland_status check_entry_depths(double* h, int n);

}  // namespace nivra
