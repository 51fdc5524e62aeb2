// The solvers of the superjunction heads: the dense LU decomposition with
// its row scales in caller-owned storage, the reference; and the sparse LU
// the pipe solver uses, held to the dense one on the same systems.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/sparse_lu.h"
#include "toolbox/toolbox_numerics.h"

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

// A square matrix given by its entries (row, column from 1, value): the
// same system for the sparse solver (compressed columns from 0) and the
// dense one.
struct sparse_case {
  const char* name;
  int n;
  std::vector<std::tuple<int, int, double>> entries;
  std::vector<double> b;
};

struct compressed {
  std::vector<int> start, rows;
  std::vector<double> values;
};

compressed compress(const sparse_case& c) {
  std::vector<std::tuple<int, int, double>> e = c.entries;
  std::sort(e.begin(), e.end(), [](const auto& x, const auto& y) {
    return std::get<1>(x) != std::get<1>(y) ? std::get<1>(x) < std::get<1>(y) : std::get<0>(x) < std::get<0>(y);
  });
  compressed m;
  m.start.assign(static_cast<std::size_t>(c.n) + 1, 0);
  for (const auto& [i, j, v] : e) {
    ++m.start[static_cast<std::size_t>(j)];
    m.rows.push_back(i - 1);
    m.values.push_back(v);
  }
  for (int j = 1; j <= c.n; ++j) m.start[static_cast<std::size_t>(j)] += m.start[static_cast<std::size_t>(j) - 1];
  return m;
}

// x of the dense reference, or empty when it finds the matrix singular.
std::vector<double> dense_solution(const sparse_case& c) {
  system d(c.n);
  for (const auto& [i, j, v] : c.entries) d.a[i][j] = v;
  for (int i = 1; i <= c.n; ++i) d.b[i] = c.b[static_cast<std::size_t>(i) - 1];
  if (d.solve(c.n) != numeric_status::ok) return {};
  return std::vector<double>(d.x.begin() + 1, d.x.end());
}

// A dendritic network of n superjunctions: j drains to (j + 1) / 2 ... as
// the pipe solver's rows couple them, with weak diagonals (not dominant).
sparse_case tree_case(int n, double diagonal) {
  sparse_case c{"tree", n, {}, {}};
  std::uint32_t seed = 977;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
  };
  for (int j = 1; j <= n; ++j) {
    c.entries.emplace_back(j, j, diagonal + next());
    if (j > 1) {
      c.entries.emplace_back(j, j / 2, next());
      c.entries.emplace_back(j / 2, j, next());
    }
    c.b.push_back(next());
  }
  return c;
}

TEST(SuperjunctionSparseLu, AgreesWithTheDenseLu) {
  const std::vector<sparse_case> cases = {
      {"one by one", 1, {{1, 1, 4.0}}, {2.0}},
      {"tridiagonal", 4,
       {{1, 1, 2.0}, {1, 2, -1.0}, {2, 1, -1.0}, {2, 2, 2.0}, {2, 3, -1.0}, {3, 2, -1.0}, {3, 3, 2.0},
        {3, 4, -1.0}, {4, 3, -1.0}, {4, 4, 2.0}},
       {1.0, 0.0, 0.0, 1.0}},
      // A zero on the diagonal: only row exchanges solve it.
      {"needs pivots", 3, {{1, 2, 1.0}, {2, 1, 1.0}, {2, 3, 2.0}, {3, 2, 3.0}, {3, 3, 1.0}, {1, 1, 0.0}},
       {1.0, 2.0, 3.0}},
      tree_case(300, 0.1),
      tree_case(300, 5.0),
  };
  for (const sparse_case& c : cases) {
    const compressed m = compress(c);
    const std::vector<double> want = dense_solution(c);
    ASSERT_EQ(want.size(), static_cast<std::size_t>(c.n)) << c.name;
    sparse_lu lu;
    ASSERT_EQ(lu.analyse(c.n, m.start.data(), m.rows.data()), sparse_lu_status::ok) << c.name;
    ASSERT_EQ(lu.factor(m.values.data()), sparse_lu_status::ok) << c.name;
    std::vector<double> x = c.b;
    ASSERT_EQ(lu.solve(x.data()), sparse_lu_status::ok) << c.name;
    double worst = 0.0, largest = 0.0;
    for (int i = 0; i < c.n; ++i) {
      worst = std::max(worst, std::fabs(x[static_cast<std::size_t>(i)] - want[static_cast<std::size_t>(i)]));
      largest = std::max(largest, std::fabs(want[static_cast<std::size_t>(i)]));
    }
    EXPECT_LE(worst, 1e-12 * largest) << c.name;
  }
}

TEST(SuperjunctionSparseLu, NewValuesOnTheSamePatternTakeNewPivotsWhenTheOldOnesFail) {
  // One pattern, many value sets: the pivots kept from the first serve
  // while the values change little.
  const sparse_case t = tree_case(200, 5.0);
  compressed tm = compress(t);
  sparse_lu lu;
  ASSERT_EQ(lu.analyse(t.n, tm.start.data(), tm.rows.data()), sparse_lu_status::ok);
  for (int round = 0; round < 5; ++round) {
    for (double& v : tm.values) v *= 1.01;
    ASSERT_EQ(lu.factor(tm.values.data()), sparse_lu_status::ok);
  }
  EXPECT_EQ(lu.full_factorisations(), 1);
  EXPECT_EQ(lu.refactorisations(), 4);
  // A strong diagonal, then a weak one, then a strong one: the pivots
  // kept from each would leave pivots 1e-3 and -1000 in the next, so rows
  // are chosen anew each time.
  sparse_case c{"swap", 2, {{1, 1, 1.0}, {2, 1, 1e-3}, {1, 2, 1e-3}, {2, 2, 1.0}}, {1.0, 2.0}};
  const compressed m0 = compress(c);
  std::vector<double> values = m0.values;  // (1,1), (2,1), (1,2), (2,2)
  ASSERT_EQ(lu.analyse(2, m0.start.data(), m0.rows.data()), sparse_lu_status::ok);
  const double diagonal[] = {1.0, 1e-3, 1.0};
  const int full_after[] = {1, 2, 3};
  for (int round = 0; round < 3; ++round) {
    const double d = diagonal[round], off = round == 1 ? 1.0 : 1e-3;
    values = {d, off, off, d};
    c.entries = {{1, 1, d}, {2, 1, off}, {1, 2, off}, {2, 2, d}};
    ASSERT_EQ(lu.factor(values.data()), sparse_lu_status::ok) << round;
    EXPECT_EQ(lu.full_factorisations(), full_after[round]) << round;
    std::vector<double> x = c.b;
    ASSERT_EQ(lu.solve(x.data()), sparse_lu_status::ok);
    const std::vector<double> want = dense_solution(c);
    EXPECT_NEAR(x[0], want[0], 1e-14) << round;
    EXPECT_NEAR(x[1], want[1], 1e-14) << round;
  }
}

TEST(SuperjunctionSparseLu, SingularSystemsAreReported) {
  const std::vector<sparse_case> cases = {
      {"a row of zeros", 2, {{1, 1, 1.0}, {1, 2, 2.0}, {2, 1, 0.0}, {2, 2, 0.0}}, {1.0, 1.0}},
      {"two equal rows", 2, {{1, 1, 1.0}, {1, 2, 2.0}, {2, 1, 1.0}, {2, 2, 2.0}}, {1.0, 1.0}},
      {"a column of zeros", 3, {{1, 1, 1.0}, {2, 2, 0.0}, {3, 3, 1.0}, {1, 2, 0.0}}, {1.0, 1.0, 1.0}},
      // Rows equal but for the last bit: no digit of the solution could be
      // trusted.
      {"nearly equal rows", 2, {{1, 1, 1.0}, {1, 2, 1.0}, {2, 1, 1.0}, {2, 2, 1.0 + 2.220446049250313e-16}},
       {1.0, 1.0}},
  };
  for (const sparse_case& c : cases) {
    const compressed m = compress(c);
    sparse_lu lu;
    ASSERT_EQ(lu.analyse(c.n, m.start.data(), m.rows.data()), sparse_lu_status::ok) << c.name;
    EXPECT_EQ(lu.factor(m.values.data()), sparse_lu_status::singular) << c.name;
    std::vector<double> x = c.b;
    EXPECT_EQ(lu.solve(x.data()), sparse_lu_status::failed) << c.name;  // no factors to solve with
  }
  sparse_lu none;
  EXPECT_FALSE(none.analysed());
  EXPECT_EQ(none.analyse(0, nullptr, nullptr), sparse_lu_status::failed);
  const double v = 1.0;
  EXPECT_EQ(none.factor(&v), sparse_lu_status::failed);
}

}  // namespace
}  // namespace nivra
