// The LU decomposition that solves the superjunction heads, with its row
// scales in caller-owned storage as the pipe solver calls it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "core/numerics.h"

namespace nivra {
namespace {

struct system {
  array2d<double> a, lu;
  array1d<double> b, x, scale;
  array1d<int> indx;
  explicit system(int n) {
    a.alloc(n, n);
    lu.alloc(n, n);
    b.alloc(n);
    x.alloc(n);
    scale.alloc(n);
    indx.alloc(n);
  }
  numeric_status solve(int n) {
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) lu[i][j] = a[i][j];
      x[i] = b[i];
    }
    double parity = 1.0;
    const numeric_status st = ludcmp(lu, n, indx, parity, scale);
    if (st == numeric_status::ok) lubksb(lu, n, indx, x);
    return st;
  }
};

TEST(SuperjunctionLu, FiftyByFiftyResidual) {
  const int n = 50;
  system s(n);
  // A full matrix of a fixed pseudo-random sequence, not diagonally
  // dominant: pivoting matters.
  std::uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
  };
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) s.a[i][j] = next();
    s.b[i] = i <= 5 ? 0.0 : next();  // leading zeros of the right side
  }
  ASSERT_EQ(s.solve(n), numeric_status::ok);
  double worst = 0.0;
  for (int i = 1; i <= n; ++i) {
    double r = -s.b[i];
    for (int j = 1; j <= n; ++j) r += s.a[i][j] * s.x[j];
    worst = std::max(worst, std::fabs(r));
  }
  EXPECT_LT(worst, 1e-12);
}

TEST(SuperjunctionLu, OneByOneAndSingular) {
  system one(1);
  one.a[1][1] = 4.0;
  one.b[1] = 2.0;
  ASSERT_EQ(one.solve(1), numeric_status::ok);
  EXPECT_EQ(one.x[1], 0.5);
  system two(2);
  two.a[1][1] = 1.0;
  two.a[1][2] = 2.0;
  EXPECT_EQ(two.solve(2), numeric_status::singular);  // its second row is all zeros
}

}  // namespace
}  // namespace nivra
