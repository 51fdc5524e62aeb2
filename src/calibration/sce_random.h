// The random numbers of the SCE-UA search: the minimal-standard
// multiplicative congruential generator of Park and Miller (x <- 16807 x mod
// 2^31 - 1) with a Bays-Durham shuffle table of 32 entries, and Gaussian
// deviates by the polar method. The whole state belongs to one search, so a
// seed always gives the same path.
#pragma once

#include <array>
#include <cstdint>

namespace nivra {

// One step of the minimal-standard generator, by Schrage's method (no
// overflow in 32 bits); x must lie in 1 .. 2^31 - 2.
inline std::int32_t minimal_standard_step(std::int32_t x) {
  constexpr std::int32_t ia = 16807, im = 2147483647, iq = 127773, ir = 2836;
  const std::int32_t k = x / iq;
  x = ia * (x - k * iq) - ir * k;
  return x < 0 ? x + im : x;
}

class sce_random {
 public:
  // A seed of 0 is not taken: callers map it to their default first.
  explicit sce_random(std::int32_t seed = 3737) { restart(seed); }
  void restart(std::int32_t seed);

  // Uniform in (0, 1), at most 0.99999988.
  double uniform();
  // Standard normal.
  double gauss();

 private:
  std::int32_t idum_ = -3737;
  std::int32_t last_ = 0;  // last table output; 0 until the table is built
  std::array<std::int32_t, 32> table_{};
  bool have_gauss_ = false;
  double gauss_kept_ = 0.0;
};

}  // namespace nivra
