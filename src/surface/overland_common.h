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

// The parts a pass over n cells is split into: one per thread of the run,
// each of at least ov.part_cells cells; a smaller grid runs on the calling
// thread alone.
inline int cell_parts(const overland_state& ov, int n) {
  const int most = ov.part_cells > 0 ? n / ov.part_cells : n;
  return most < 2 ? 1 : (ov.crew.size() < most ? ov.crew.size() : most);
}

// Runs body(first, last, part) over the cells 1..n in `parts` contiguous
// parts (cell_parts), on the crew when there are several.
template <class Body>
void for_cell_parts(thread_pool& crew, int n, int parts, Body&& body) {
  if (parts <= 1) {
    body(1, n, 0);
    return;
  }
  crew.run([&](int part) {
    if (part >= parts) return;
    const item_range r = share_of(1, n, part, parts);
    body(r.begin, r.end, part);
  });
}

// Work arrays of the kernels are made at the run's set-up, or on their
// first call (1..n).
inline void ensure_cells(array1d<double>& a, int n) {
  if (a.size() != n) a.alloc(n);
}

// The cube root of x, for x >= 2^-1022 and finite, to within 0.67 units in
// the last place. A first guess good to 5 bits takes a third of the high
// word (exponent and leading mantissa bits), a polynomial takes it to 23
// bits, and one Newton step to the full precision. Only arithmetic and
// bit operations, so that the face loops vectorise.
inline double cube_root(double x) {
  // The high word over 3, in double arithmetic (exact below 2^52): plus the
  // bias of the result's exponent, its bits are the guess's high word.
  const std::uint64_t high = std::bit_cast<std::uint64_t>(x) >> 32;
  const double high_value = std::bit_cast<double>(high | 0x4330000000000000ull) - 0x1p52;
  const double guess_word = high_value * (1.0 / 3.0) + (715094163.0 + 0x1p52);
  const std::uint64_t word = std::bit_cast<std::uint64_t>(guess_word) - 0x4330000000000000ull;
  double t = std::bit_cast<double>(word << 32);
  // To 23 bits.
  double r = (t * t) * (t / x);
  t = t * ((1.87595182427177009643 + r * (-1.88497979543377169875 + r * 1.621429720105354466140)) +
           ((r * r) * r) * (-0.758397934778766047437 + r * 0.145996192886612446982));
  // Rounded away from zero to 22 bits, so that t * t is exact, then one
  // Newton step.
  t = std::bit_cast<double>((std::bit_cast<std::uint64_t>(t) + 0x80000000ull) & 0xffffffffc0000000ull);
  const double s = t * t;
  r = x / s;
  const double w = t + t;
  r = (r - t) / (w + r);
  return t + t * r;
}

// d^(5/3), the Manning depth factor of a face, for d > 0: d x cbrt(d)^2,
// within a few units in the last place of the power. Depths below 2^-700 m
// give 0, as the power does (it falls below the smallest double).
inline double pow_five_thirds(double d) {
  const double t = cube_root(d);
  return d < 0x1p-700 ? 0.0 : d * (t * t);
}

// d^(2/3) for d >= 1e-16: cbrt(d)^2.
inline double pow_two_thirds(double d) {
  const double t = cube_root(d);
  return t * t;
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
