#include "output/text_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace nivra {

namespace {

constexpr double pow10_d[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr std::uint64_t pow10_u[] = {1ull,       10ull,       100ull,       1000ull,
                                     10000ull,   100000ull,   1000000ull,   10000000ull,
                                     100000000ull, 1000000000ull};

int fallback(char* out, double v, int decimals) {
  // A double printed with at most 9 decimals needs at most 309 + 1 + 9 + 1.
  char tmp[352];
  int n = std::snprintf(tmp, sizeof tmp, "%.*f", decimals, v);
  for (int i = 0; i < n; ++i) out[i] = tmp[i];
  return n;
}

}  // namespace

int format_fixed(char* out, double v, int decimals) {
  if (decimals < 0 || decimals > 9 || !std::isfinite(v)) return fallback(out, v, decimals);
  const double a = std::fabs(v);
  // The scaled value must stay well inside the exact integer range of a double.
  const double x = a * pow10_d[decimals];
  if (x >= 4.0e15) return fallback(out, v, decimals);
  const double whole = std::floor(x);
  const double frac = x - whole;  // exact
  // x carries at most half an ulp of rounding from the product; a fraction
  // that close to one half could round either way in exact arithmetic.
  const double slack = x * 4.5e-16 + 1e-300;
  if (std::fabs(frac - 0.5) <= slack) return fallback(out, v, decimals);
  std::uint64_t n = static_cast<std::uint64_t>(whole) + (frac > 0.5 ? 1u : 0u);

  char* p = out;
  if (std::signbit(v)) *p++ = '-';
  std::uint64_t ip = n / pow10_u[decimals];
  std::uint64_t fp = n % pow10_u[decimals];
  char digits[24];
  int nd = 0;
  do {
    digits[nd++] = static_cast<char>('0' + ip % 10);
    ip /= 10;
  } while (ip);
  while (nd) *p++ = digits[--nd];
  if (decimals > 0) {
    *p++ = '.';
    for (int k = decimals - 1; k >= 0; --k) {
      p[k] = static_cast<char>('0' + fp % 10);
      fp /= 10;
    }
    p += decimals;
  }
  return static_cast<int>(p - out);
}

}  // namespace nivra
