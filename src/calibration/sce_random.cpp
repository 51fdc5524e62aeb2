#include "calibration/sce_random.h"

#include <cmath>
#include <cstdlib>

namespace nivra {

void sce_random::restart(std::int32_t seed) {
  idum_ = seed < 0 ? seed : -seed;
  last_ = 0;
  have_gauss_ = false;
  gauss_kept_ = 0.0;
}

double sce_random::uniform() {
  constexpr double am = 1.0 / 2147483647.0, rnmx = 1.0 - 1.2e-7;
  constexpr std::int32_t ndiv = 1 + (2147483647 - 1) / 32;
  if (idum_ <= 0 || last_ == 0) {
    // Warm-up: 40 steps, the last 32 filling the table from its end.
    idum_ = -idum_ < 1 ? 1 : -idum_;
    for (int j = 32 + 7; j >= 0; --j) {
      idum_ = minimal_standard_step(idum_);
      if (j < 32) table_[static_cast<std::size_t>(j)] = idum_;
    }
    last_ = table_[0];
  }
  idum_ = minimal_standard_step(idum_);
  const std::size_t j = static_cast<std::size_t>(last_ / ndiv);
  last_ = table_[j];
  table_[j] = idum_;
  const double u = am * last_;
  return u > rnmx ? rnmx : u;
}

double sce_random::gauss() {
  if (have_gauss_) {
    have_gauss_ = false;
    return gauss_kept_;
  }
  double v1, v2, r;
  do {
    v1 = 2.0 * uniform() - 1.0;
    v2 = 2.0 * uniform() - 1.0;
    r = v1 * v1 + v2 * v2;
  } while (r >= 1.0 || r == 0.0);
  const double f = std::sqrt(-2.0 * std::log(r) / r);
  gauss_kept_ = f * v1;
  have_gauss_ = true;
  return f * v2;
}

}  // namespace nivra
