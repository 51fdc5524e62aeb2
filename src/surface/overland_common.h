// Small pieces shared by the overland kernels.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "core/arrays.h"
#include "core/thread_pool.h"
#include "surface/blockage.h"
#include "surface/overland.h"
#include "surface/overland_state.h"

namespace nivra {

// Manning depth exponent of the routing faces, and the one used at the
// outlet and at normal-depth boundaries.
inline constexpr double five_thirds = 1.6666666666666667;
inline constexpr double outlet_exponent = 1.666667;

// Wide vectors. On x86-64 the plain passes are compiled twice: for the
// processor every x86-64 has (two doubles a step) and for AVX2 (four), and
// the wide copy runs where the processor has AVX2. Both make the same
// floating-point operations in the same order, element by element, with no
// contraction into fused multiply-adds: the same bits.
#define NIVRA_HOT [[gnu::always_inline]] inline
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define NIVRA_WIDE __attribute__((target("avx2")))
inline bool wide_vectors() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#else
#define NIVRA_WIDE
inline bool wide_vectors() { return false; }
#endif

// The most parts a pass is split into: four per thread of the run (the
// threads a machine runs faster take more of them), none on one thread.
inline constexpr int parts_per_thread = 4;
inline int most_parts(const thread_pool& crew) { return crew.size() == 1 ? 1 : parts_per_thread * crew.size(); }

// The parts a pass over n cells is split into: at most most_parts, each of
// at least ov.part_cells cells; a smaller grid runs on the calling thread
// alone.
inline int cell_parts(const overland_state& ov, int n) {
  const int most = ov.part_cells > 0 ? n / ov.part_cells : n;
  const int limit = most_parts(ov.crew);
  return most < 2 ? 1 : (limit < most ? limit : most);
}

// Runs body(first, last, part) over the cells 1..n in `parts` contiguous
// parts (cell_parts), on the crew when there are several.
template <class Body>
void for_cell_parts(thread_pool& crew, int n, int parts, Body&& body) {
  for_parts(crew, n, parts, std::forward<Body>(body));
}

// The parts of a pass over the blocks of one level of local sub-steps
// (step_blocks), `total` cells in all. Such a pass comes twice as often
// as the one of the level above it, and the passes of a pond's blocks,
// which come thousands of times a step, hold a few thousand cells: a
// part takes at least an eighth of part_cells (the fewest cells of a part
// of a pass over the whole grid), enough to pay for handing it to a thread.
inline int span_parts(const thread_pool& crew, int part_cells, int total) {
  const int least = part_cells > 8 ? part_cells / 8 : 1;
  const int most = total / least;
  const int limit = most_parts(crew);
  return most < 2 ? 1 : (limit < most ? limit : most);
}

// Runs body(first, last, span, part) over the cells of the spans (total
// cells in all) in `parts` contiguous shares of those cells, on the crew
// when there are several; first..last lie within spans[span].
template <class Body>
void for_span_parts(thread_pool& crew, const std::vector<cell_span>& spans, int total, int parts, Body&& body) {
  auto walk = [&](int part) {
    const item_range r = share_of(1, total, part, parts);
    int pos = 1;  // position of the span's first cell among all the spans' cells
    for (std::size_t k = 0; k < spans.size() && pos <= r.end; ++k) {
      const int length = spans[k].last - spans[k].first + 1;
      const int lo = pos > r.begin ? pos : r.begin;
      const int hi = pos + length - 1 < r.end ? pos + length - 1 : r.end;
      if (lo <= hi) body(spans[k].first + (lo - pos), spans[k].first + (hi - pos), k, part);
      pos += length;
    }
  };
  if (parts <= 1) {
    walk(0);
    return;
  }
  crew.run(walk, parts);
}

// Work arrays of the kernels are made at the run's set-up, or on their
// first call (1..n).
inline void ensure_cells(array1d<double>& a, int n) {
  if (a.size() != n) a.alloc(n);
}

// x^(-1/3) for x >= 2^-1022 and finite, to within about one unit in the
// last place. A first guess takes a third of the high word of x (exponent
// and leading mantissa bits) off a constant; three steps of the series of
// (1 - r)^(-1/3), r = 1 - x y^3, each of higher order than Newton's, then
// take it to full precision. Multiplications and additions only: the face
// loops vectorise, and the divider, which the faces keep busy, is left alone.
inline double inverse_cube_root(double x) {
  // The high word over 3, in double arithmetic (exact below 2^52), taken off
  // the constant that puts the result's exponent right: its bits are the
  // guess's high word.
  const std::uint64_t high = std::bit_cast<std::uint64_t>(x) >> 32;
  const double high_value = std::bit_cast<double>(high | 0x4330000000000000ull) - 0x1p52;
  const double guess_word = (1430175744.0 - high_value * (1.0 / 3.0)) + 0x1p52;
  const std::uint64_t word = std::bit_cast<std::uint64_t>(guess_word) - 0x4330000000000000ull;
  double y = std::bit_cast<double>(word << 32);
  double r = 1.0 - x * (y * y * y);
  y = y + y * (r * (1.0 / 3.0 + r * (2.0 / 9.0 + r * (14.0 / 81.0))));
  r = 1.0 - x * (y * y * y);
  y = y + y * (r * (1.0 / 3.0 + r * (2.0 / 9.0)));
  r = 1.0 - x * (y * y * y);
  return y + y * (r * (1.0 / 3.0));
}

// x^(-1/3) within a few parts in a hundred thousand: the first guess of
// inverse_cube_root and one step of its series.
inline double inverse_cube_root_coarse(double x) {
  const std::uint64_t high = std::bit_cast<std::uint64_t>(x) >> 32;
  const double high_value = std::bit_cast<double>(high | 0x4330000000000000ull) - 0x1p52;
  const double guess_word = (1430175744.0 - high_value * (1.0 / 3.0)) + 0x1p52;
  const std::uint64_t word = std::bit_cast<std::uint64_t>(guess_word) - 0x4330000000000000ull;
  const double y = std::bit_cast<double>(word << 32);
  const double r = 1.0 - x * (y * y * y);
  return y + y * (r * (1.0 / 3.0 + r * (2.0 / 9.0 + r * (14.0 / 81.0))));
}

// d^(5/3), the Manning depth factor of a face, for d > 0: d x d^(2/3),
// within a few units in the last place of the power. Depths below 2^-700 m
// give 0, as the power does (it falls below the smallest double).
inline double pow_five_thirds(double d) {
  const double y = inverse_cube_root(d);
  return d < 0x1p-700 ? 0.0 : d * (d * y);
}

// d^(2/3) for d >= 1e-16: d x d^(-1/3).
inline double pow_two_thirds(double d) { return d * inverse_cube_root(d); }

// The face law and the stability rule of the diffusion wave. A face's
// Manning flux goes with the square root of the water-surface slope S, so
// in deep water with a nearly flat surface a small change of level moves
// much water: linearised, the face spreads a difference of level like
// diffusion with D = d^(5/3) / (n sqrt(|S|)) (d the flowing depth, n
// Manning's n). An explicit sub-step longer than about dx^2 / (4 D) makes
// the levels overshoot from face to face: an odd-even sawtooth of depths
// grows, and as its slopes saturate under the square root it throttles the
// flow through the pond. Hunter et al. (2005, J. Hydrol. 310) bound the
// sub-step of a storage-cell model by dx^2 / (4 D) over the faces that
// carry water; the schemes do the same (the explicit scheme with the factor
// 1/4, the ADE schemes, whose sweeps each move water along one direction,
// with 1/2).
//
// As S goes to zero the square root makes D grow without bound: a surface
// that is flat to within rounding would carry water on every sub-step, each
// difference of level of a billionth of a millimetre swapping over as an
// odd-even pattern that the square root then inflates to tenths of a
// millimetre and keeps (a still pond rocks for ever). Below the slope
// linear_slope (1e-4) the flux therefore goes linearly with S, with the
// value of the square root at linear_slope, sqrt|S| -> |S| / sqrt(1e-4):
// there D stays at its value at linear_slope, the bound covers it, a flat
// surface carries nothing, and a small difference of level dies away as
// diffusion does. A surface that flat moves little either way (on the pond
// of the tests the converged outflow moves by under 1 %).
inline constexpr double linear_slope = 1e-4;
inline constexpr double linear_slope_gain = 100.0;  // 1 / sqrt(linear_slope)

// The slope factor of a face's Manning flux for a slope |S| = a >= 0:
// sqrt(a), or a / sqrt(linear_slope) below linear_slope. A choice between
// two values, so that the face loops vectorise.
inline double slope_root(double a) { return a > linear_slope ? std::sqrt(a) : a * linear_slope_gain; }

// The sub-steps keep a thirty-second short of the bound. On the bound
// itself an odd-even pattern of levels neither grows nor dies. And where
// the pattern is steeper than linear_slope, its own diffusivity grows as it
// shrinks (the square root), so that over sub-steps of one length it
// shrinks only until its diffusivity puts the bound at that length, and
// then rocks on: the sub-step chosen next from those depths is the same
// again. Short of the bound, the next is shorter, and each choice takes the
// pattern down until it is flatter than linear_slope and dies away.
inline constexpr double stable_margin = 1.0 - 1.0 / 32.0;
inline constexpr double explicit_stable_factor = 0.25 * stable_margin;
inline constexpr double ade_stable_factor = 0.5 * stable_margin;

// The ADE schemes step blocks of cells on sub-steps of their own
// (step_blocks) and keep every block within one level of the blocks next
// to it. A face between blocks whose sub-steps differ many times over
// moves water on the long sub-step into a cell that the short one steps,
// and ADE-PC's predictor forecasts that cell's depth over the long
// sub-step from that face alone; graded, the long sub-steps end a few
// blocks away from the short ones. On the pond of the tests (10 s steps)
// the grade takes ADE-PC from 2.1 % above the converged outflow to 1.3 %,
// and costs a few per cent of the cell updates.
inline constexpr int ade_level_grade = 1;

// The diffusivity of a face (m2/s) from its flowing depth to the 5/3 (p),
// its Manning n and its water-surface slope S.
inline double face_diffusivity(double p, double n, double S) {
  const double a = S < 0.0 ? -S : S;
  return p / (n * std::sqrt(a > linear_slope ? a : linear_slope));
}

// The square of face_diffusivity(d^(5/3), n, S) for a flowing depth d > 0,
// with the coarse cube root and raised by a thousandth, so that it is never
// below the square of the exact one: multiplications and one division, for
// the passes that find the largest diffusivity of every block of local
// sub-steps (d^(10/3) = d^4 (d^(-1/3))^2).
inline double face_diffusivity_squared(double d, double n, double S) {
  const double y = inverse_cube_root_coarse(d);
  const double d2 = d * d;
  const double a = S < 0.0 ? -S : S;
  return (d2 * d2) * (y * y) * 1.001 / ((n * n) * (a > linear_slope ? a : linear_slope));
}

// The longest stable sub-step, factor * dx^2 / D, of the largest face
// diffusivity D (none: no bound).
inline double stable_sub_step(double factor, double dx, double largest_d) {
  return largest_d > 0.0 ? factor * dx * dx / largest_d : std::numeric_limits<double>::infinity();
}

// A sub-step of at most `step` seconds that also keeps to the stable bound:
// when the bound is shorter, the time that remains in the step is cut into
// the fewest equal pieces no longer than it, so that the step ends on time
// without a sliver of a last sub-step.
inline double bounded_sub_step(double step, double bound, double remaining) {
  if (!(bound < step)) return step;
  return remaining / std::ceil(remaining / bound);
}

// Normal-depth outflow of an outlet cell over a sub-step of dts seconds,
// Q = h^(5/3) sqrt(S) dx / n (S the outlet slope, n the cell's Manning n),
// taken at the depth the cell keeps at the end of the sub-step: h' + Q(h')
// dts / a = h on its open area a, solved by Newton's method from h (the
// function is convex and rising, so the iterates fall to the root and never
// below it). The outlet's depth answers its outflow within seconds under a
// deep pond: drained by the depth at the start of a sub-step of that
// length, it would give too much. Never more than the cell holds. Returns
// the volume that left (m3).
double drain_by_normal_depth(double& h, double dts, double area, double dx, double n, double slope);

// The longest sub-step of the ADE schemes' outlet: the time in which the
// outlet cell, draining by normal depth at depth h, passes outlet_turnover
// of the water it holds, A h / Q(h) / outlet_turnover (A the cell's open
// area, Q by Manning's normal depth with the outlet's n and slope; no bound
// on a dry cell). The sweeps of a sub-step fill the outlet with the water
// its faces bring, one direction after the other, and it drains once both
// are done: the second direction sees it holding the first one's water and
// none of its outflow, and brings that much less. Where the outlet passes
// its water within a few sub-steps (a valley outlet takes some 20 s) that
// shortfall is a share of its discharge that changes with the sub-step and
// with the order of the sweeps, which alternates from step to step: the
// outlet discharge rocked from step to step and jumped by a few per cent
// whenever its block changed level. Passing a sixteenth of its water a
// sub-step, the outlet's discharge is that of much shorter steps to within
// a few parts in a thousand.
inline constexpr double outlet_turnover = 1.0 / 16.0;
inline double outlet_turnover_step(double h, double area, double dx, double n, double slope) {
  if (!(h > 0.0) || !(slope > 0.0)) return std::numeric_limits<double>::infinity();
  const double q = std::sqrt(slope) * dx / n * pow_five_thirds(h);
  return q > 0.0 ? outlet_turnover * area * h / q : std::numeric_limits<double>::infinity();
}

// The normal-depth boundary cells of a kernel call (edge_drains). Each
// drains out of the grid through the sides it has no neighbour on, by
// Manning's normal depth on the slope its boundary row gives (bc_value,
// none when that is not above zero), with the outlet's rule
// (drain_by_normal_depth) on the sub-steps the faces around it take: the
// outlet and the boundary cells beside it pass their water alike, and a
// boundary cell does not stand below its neighbours for most of a step
// after draining a whole step's water at its start. Its roughness is the
// Manning n, lowered by the cell's roughness exponent with the depth. A
// cell under a channel lake is left to the boundary step, which drains the
// lake.
class edge_drain {
 public:
  // A kernel call's: nothing drained yet.
  edge_drain(const overland_domain& d, edge_drains& e);

  std::size_t size() const { return e_.cell.size(); }
  int cell(std::size_t k) const { return e_.cell[k]; }
  // Drains cell k of the list for dts seconds from the depths h.
  void drain(std::size_t k, double* h, double dts);
  // Every cell of the list, for dts seconds.
  void drain_all(double* h, double dts) {
    for (std::size_t k = 0; k < size(); ++k) drain(k, h, dts);
  }
  // The outlet's turnover sub-step (outlet_turnover_step) of cell k of the
  // list at the depths h; of the shortest of them (turnover_all).
  double turnover(std::size_t k, const double* h) const;
  double turnover_all(const double* h) const {
    double t = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < size(); ++k) t = std::min(t, turnover(k, h));
    return t;
  }
  // A new attempt at the step: nothing drained yet.
  void restart();
  // The step's water, cell by cell in cell order, joins the books and the
  // water noted as leaving the grid for the constituents.
  void book(overland_books& books) const;

 private:
  bool drains(int c) const { return !(lake_ && lake_cell(lake_[c])) && slope_[c] > 0.0; }
  double roughness(int c, double h) const { return exponent_ ? n_[c] * std::exp(-exponent_[c] * h) : n_[c]; }

  edge_drains& e_;
  const double* slope_;
  const double* n_;
  const double* exponent_;  // null without roughness exponents
  const double* blocked_;   // null without blockage
  const int* lake_;         // null without channel lakes
  double* noted_;           // water noted as leaving the grid per cell, null when not noted
  double dx_;
  double area_;
};

// After a pass of level l of a macro sub-step of local sub-steps
// (step_blocks), the normal-depth cells of the blocks that stepped drain
// from the depths h for their blocks' sub-steps; then(cell) follows each.
// Each cell drains on its own, so the list is split among the run's
// threads when it is long (a drain takes about as long as a hundred cells
// of a pass).
inline constexpr int edge_cells_per_part = 64;
template <class Then>
void drain_edges_after_pass(edge_drain& e, const step_blocks& b, double* h, double macro, int l, thread_pool& crew,
                            Then&& then) {
  const int count = static_cast<int>(e.size());
  const int most = count / edge_cells_per_part, limit = most_parts(crew);
  for_parts(crew, count, most < 2 ? 1 : (limit < most ? limit : most), [&](int first, int last, int) {
    for (int k = first - 1; k < last; ++k) {
      const std::size_t kk = static_cast<std::size_t>(k);
      const int lv = b.level_of(e.cell(kk));
      if (lv < l) continue;
      e.drain(kk, h, std::ldexp(macro, -lv));
      then(e.cell(kk));
    }
  });
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
