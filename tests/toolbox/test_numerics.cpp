#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "toolbox/toolbox_numerics.h"

namespace nivra {
namespace {

array2d<double> hilbert(int n) {
  array2d<double> h(n, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) h[i][j] = 1.0 / (i + j - 1);
  return h;
}

TEST(ToolboxNumerics, InverseOfTheFourByFourHilbertMatrix) {
  // The exact inverse has integer entries.
  const double exact[4][4] = {{16, -120, 240, -140},
                              {-120, 1200, -2700, 1680},
                              {240, -2700, 6480, -4200},
                              {-140, 1680, -4200, 2800}};
  array2d<double> a = hilbert(4);
  array2d<double> y(4, 4);
  ASSERT_EQ(dminv(a, 4, y), numeric_status::ok);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      EXPECT_NEAR(y[i][j], exact[i - 1][j - 1], 1e-9 * std::fabs(exact[i - 1][j - 1]))
          << i << "," << j;
}

TEST(ToolboxNumerics, CholeskySolvesTheSixBySixHilbertSystem) {
  const int n = 6;
  const array2d<double> h = hilbert(n);
  array2d<double> a = hilbert(n);
  array1d<double> p(n), b(n), x(n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) b[i] += h[i][j];  // b = H 1
  ASSERT_EQ(choldc(a, n, p), numeric_status::ok);
  cholesky_solve(a, n, p, b, x);
  for (int i = 1; i <= n; ++i) EXPECT_NEAR(x[i], 1.0, 1e-8) << i;

  // L L^T gives A back; the upper triangle is left as it was.
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      double sum = 0.0;
      for (int k = 1; k <= std::min(i, j); ++k) {
        const double lik = k == i ? p[i] : a[i][k];
        const double ljk = k == j ? p[j] : a[j][k];
        sum += lik * ljk;
      }
      EXPECT_NEAR(sum, h[i][j], 1e-14) << i << "," << j;
      if (j > i) {
        EXPECT_EQ(a[i][j], h[i][j]);
      }
    }
}

TEST(ToolboxNumerics, CholeskyOfATwoByTwoAndAMatrixThatIsNotPositiveDefinite) {
  array2d<double> a(2, 2);
  a[1][1] = 4;
  a[1][2] = a[2][1] = 2;
  a[2][2] = 3;
  array1d<double> p(2), b(2), x(2);
  ASSERT_EQ(choldc(a, 2, p), numeric_status::ok);
  EXPECT_DOUBLE_EQ(p[1], 2.0);
  EXPECT_DOUBLE_EQ(p[2], std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(a[2][1], 1.0);
  b[1] = 2;
  b[2] = 1;
  cholesky_solve(a, 2, p, b, x);
  EXPECT_DOUBLE_EQ(x[1], 0.5);
  EXPECT_NEAR(x[2], 0.0, 1e-16);

  a[1][1] = 1;
  a[1][2] = a[2][1] = 2;
  a[2][2] = 1;  // eigenvalues 3 and -1
  EXPECT_EQ(choldc(a, 2, p), numeric_status::not_positive_definite);
}

TEST(ToolboxNumerics, JacobiEigenOfTheSecondDifferenceMatrix) {
  // tridiag(-1, 2, -1), n = 5: eigenvalues 2 - 2 cos(k pi / 6).
  const int n = 5;
  array2d<double> a(n, n), original(n, n), v(n, n);
  array1d<double> d(n);
  for (int i = 1; i <= n; ++i) {
    original[i][i] = 2.0;
    if (i < n) original[i][i + 1] = original[i + 1][i] = -1.0;
  }
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) a[i][j] = original[i][j];
  int nrot = 0;
  ASSERT_EQ(jacobi(a, n, d, v, nrot), numeric_status::ok);
  EXPECT_GT(nrot, 0);
  sort_eigen_desc(d, v, n);
  for (int k = 1; k <= n; ++k) {
    const int m = n + 1 - k;  // descending
    EXPECT_NEAR(d[k], 2.0 - 2.0 * std::cos(m * std::numbers::pi / 6.0), 1e-12) << k;
  }
  for (int p = 1; p <= n; ++p)
    for (int q = 1; q <= n; ++q) {
      double dot = 0.0, av = 0.0;
      for (int i = 1; i <= n; ++i) dot += v[i][p] * v[i][q];
      EXPECT_NEAR(dot, p == q ? 1.0 : 0.0, 1e-12) << p << "," << q;
      for (int j = 1; j <= n; ++j) av += original[p][j] * v[j][q];
      EXPECT_NEAR(av, d[q] * v[p][q], 1e-12);  // A v = lambda v
    }
}

TEST(ToolboxNumerics, EigenSortMovesTheLaterOfEqualValuesFirst) {
  array1d<double> d(3);
  d[1] = 1;
  d[2] = 3;
  d[3] = 3;
  array2d<double> v(3, 3);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) v[i][j] = 10 * i + j;  // column j holds j in its units
  sort_eigen_desc(d, v, 3);
  EXPECT_EQ(d[1], 3);
  EXPECT_EQ(d[2], 3);
  EXPECT_EQ(d[3], 1);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(v[i][1], 10 * i + 3);
    EXPECT_EQ(v[i][2], 10 * i + 2);
    EXPECT_EQ(v[i][3], 10 * i + 1);
  }
}

TEST(ToolboxNumerics, IndexSortWithTies) {
  // Short lists are sorted by insertion, which keeps equal values in order.
  array1d<double> small(6);
  const double s[] = {3, 1, 2, 1, 3, 0};
  for (int i = 1; i <= 6; ++i) small[i] = s[i - 1];
  array1d<int> indx(6);
  indexx(6, small, indx);
  const int expected[] = {6, 2, 4, 3, 1, 5};
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(indx[i], expected[i - 1]);

  // A long list of many ties: ascending, and every index once.
  const int n = 1000;
  array1d<double> arr(n);
  std::uint32_t seed = 12345;
  for (int i = 1; i <= n; ++i) {
    seed = seed * 1664525u + 1013904223u;
    arr[i] = static_cast<double>((seed >> 16) % 10);
  }
  array1d<int> big(n);
  indexx(n, arr, big);
  std::vector<int> seen(n + 1, 0);
  for (int i = 1; i <= n; ++i) {
    ++seen[big[i]];
    if (i > 1) {
      EXPECT_LE(arr[big[i - 1]], arr[big[i]]);
    }
  }
  for (int i = 1; i <= n; ++i) EXPECT_EQ(seen[i], 1);
}

TEST(ToolboxNumerics, LuWithAZeroRowIsSingularAndLeavesTheMatrix) {
  array2d<double> a(3, 3);
  a[1][1] = 2;
  a[1][2] = 1;
  a[3][3] = 5;  // row 2 is zero
  array1d<int> indx(3);
  double d = 0;
  EXPECT_EQ(ludcmp(a, 3, indx, d), numeric_status::singular);
  EXPECT_EQ(a[1][1], 2);
  EXPECT_EQ(a[1][2], 1);
  EXPECT_EQ(a[3][3], 5);
  array2d<double> y(3, 3);
  y[1][1] = 7;
  EXPECT_EQ(dminv(a, 3, y), numeric_status::singular);
  EXPECT_EQ(y[1][1], 7);  // untouched
}

TEST(ToolboxNumerics, ThreeByThreeSolveAndMatrixProducts) {
  // x = (1, -2, 3) solves the system below.
  array2d<double> a(3, 3), rhs(3, 1), x(3, 1);
  const double m[3][3] = {{0, 2, 1}, {1, 1, 1}, {4, -1, 2}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) a[i][j] = m[i - 1][j - 1];
  rhs[1][1] = -1;
  rhs[2][1] = 2;
  rhs[3][1] = 12;
  ASSERT_EQ(solve3(a, 3, rhs, x), numeric_status::ok);
  EXPECT_NEAR(x[1][1], 1, 1e-14);
  EXPECT_NEAR(x[2][1], -2, 1e-14);
  EXPECT_NEAR(x[3][1], 3, 1e-14);

  // (2 x 3)(3 x 2), transposes, scaling and sums by hand.
  array2d<double> p(2, 3), q(3, 2), c(2, 2), t(3, 2);
  const double pv[2][3] = {{1, 2, 3}, {4, 5, 6}};
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 3; ++j) p[i][j] = pv[i - 1][j - 1];
  dmtrnsp(p, 2, 3, q);
  ASSERT_EQ(dmmult(p, 2, 3, q, 3, 2, c), numeric_status::ok);
  EXPECT_EQ(c[1][1], 14);
  EXPECT_EQ(c[1][2], 32);
  EXPECT_EQ(c[2][1], 32);
  EXPECT_EQ(c[2][2], 77);
  EXPECT_EQ(dmmult(p, 2, 3, c, 2, 2, t), numeric_status::dimension_mismatch);
  dmscal(c, 2, 2, 0.5, c);
  EXPECT_EQ(c[2][2], 38.5);
  dmadd(c, 2, 2, c, c);
  EXPECT_EQ(c[1][2], 32);
  array1d<double> v(3), w(2);
  v[1] = 1;
  v[2] = 0;
  v[3] = -1;
  ASSERT_EQ(dmvmult(p, 2, 3, v, 3, w), numeric_status::ok);
  EXPECT_EQ(w[1], -2);
  EXPECT_EQ(w[2], -2);
  EXPECT_EQ(dmvmult(p, 2, 3, w, 2, v), numeric_status::dimension_mismatch);
}

TEST(ToolboxNumerics, LogGamma) {
  EXPECT_NEAR(gammln(0.5), 0.5723649429247001, 2e-10);  // ln sqrt(pi)
  EXPECT_NEAR(gammln(1.0), 0.0, 2e-10);
  EXPECT_NEAR(gammln(10.0), std::log(362880.0), 2e-10);  // ln 9!
  EXPECT_NEAR(gammln(0.1), std::lgamma(0.1), 2e-10);
}

TEST(ToolboxNumerics, UniformDeviates) {
  // The minimal standard generator's published check: from 1, the
  // 10,000th value is 1043618065.
  std::int32_t x = 1;
  for (int i = 0; i < 10000; ++i) x = minimal_standard_step(x);
  EXPECT_EQ(x, 1043618065);

  ran1_state a, b, first_positive, zero;
  a.idum = -7;
  b.idum = -7;
  first_positive.idum = 5;  // a positive seed on the first call starts from 1
  zero.idum = 0;
  ran1_state one;
  one.idum = -1;
  double lowest = 1, highest = 0;
  for (int i = 0; i < 1000; ++i) {
    const double u = ran1(a);
    EXPECT_EQ(u, ran1(b));
    const double v = ran1(one);
    EXPECT_EQ(ran1(first_positive), v);
    EXPECT_EQ(ran1(zero), v);
    lowest = std::min(lowest, u);
    highest = std::max(highest, u);
  }
  EXPECT_GT(lowest, 0.0);
  EXPECT_LT(highest, 1.0);
  EXPECT_LT(lowest, 0.01);
  EXPECT_GT(highest, 0.99);
}

}  // namespace
}  // namespace nivra
