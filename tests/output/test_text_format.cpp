#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "output/text_format.h"

namespace nivra {
namespace {

std::string quick(double v, int d) {
  char buf[400];
  return std::string(buf, static_cast<std::size_t>(format_fixed(buf, v, d)));
}
std::string reference(double v, int d) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", d, v);
  return buf;
}

// The grid writers print millions of values through format_fixed; any
// difference from printf would change files that other programs read.
TEST(TextFormat, MatchesPrintfOnTiesSignsAndMagnitudes) {
  const double cases[] = {0.0,        -0.0,        0.5,        1.5,          2.5,
                          0.00005,    0.00015,     -0.00005,   -0.00004,     1.23445,
                          1.00000049, 0.0000005,   -9999.9999, 123456.78905, 0.125,
                          0.0625,     1e-300,      -1e-300,    9.99995,      99999.99995,
                          4.0e11,     -4.5e11,     1e300,      -1e300,       2.675,
                          1.0 / 3.0,  -2.0 / 3.0,  1e15,       123456789.123456789};
  for (double v : cases)
    for (int d : {0, 4, 5, 6, 9}) EXPECT_EQ(quick(v, d), reference(v, d)) << v << " " << d;
}

TEST(TextFormat, MatchesPrintfOnRandomValues) {
  std::mt19937_64 gen(12345);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> exp10(-8, 12);
  for (int i = 0; i < 200000; ++i) {
    double v = mant(gen) * std::pow(10.0, exp10(gen));
    if (i % 7 == 0) v = std::round(v * 1e4) / 1e4 + 0.00005;  // near four-decimal ties
    for (int d : {4, 6}) ASSERT_EQ(quick(v, d), reference(v, d)) << v << " " << d;
  }
}

TEST(TextFormat, NonFiniteValuesAsPrintf) {
  for (double v : {HUGE_VAL, -HUGE_VAL, std::nan("")})
    EXPECT_EQ(quick(v, 4), reference(v, 4));
}

}  // namespace
}  // namespace nivra
