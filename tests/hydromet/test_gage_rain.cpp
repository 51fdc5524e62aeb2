// Gage rain on a grid of 2 x 3 cells of 10 m (the north-east cell outside
// the watershed) against hand calculations: inverse-distance-squared
// weights, a gage within one cell size of a cell's centre giving the cell
// its value (the lower number of two such gages), the nearest gage of every
// cell with ties to the lower number, one gage for every cell, and the
// report of a cell without a gage within 900 km.
//
// Cell centres: 1 (5, 15), 2 (15, 15), 3 (5, 5), 4 (15, 5), 5 (25, 5).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dates.h"
#include "core/process.h"
#include "hydromet/gage_rain.h"
#include "hydromet/hydromet_fixture.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class GageRain : public testing::process_test {
 protected:
  // Gages at the given positions with their values of period 2 (period 1
  // holds other values that must not be used).
  void set_gages(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& v) {
    const int n = static_cast<int>(x.size());
    gx.alloc(n);
    gy.alloc(n);
    values.grow_fill(n, -7.0, 3);
    for (int g = 1; g <= n; ++g) {
      gx[g] = x[g - 1];
      gy[g] = y[g - 1];
      values(g, 2) = v[g - 1];
    }
  }
  gage_positions gages() const { return gage_positions{values.count(), gx.data(), gy.data()}; }

  std::unique_ptr<grid_state> grid = testing::small_grid(2, 3, 10.0, 0.0, 20.0, {{1, 3}});
  array1d<double> gx, gy;
  jagged_array<double> values{"values"};
  array1d<double> rates{5};
  array1d<int> nearest{5};
};

// Gage 1 at (5, 45) records 10 mm/h, gage 2 at (45, 5) 40 mm/h.
TEST_F(GageRain, InverseDistanceSquaredWeights) {
  set_gages({5, 45}, {45, 5}, {10, 40});
  gage_to_grid_precip(*grid, gages(), values, 2, rates.data());
  const double expected[6] = {0.0,
                              (10 / 900.0 + 40 / 1700.0) / (1 / 900.0 + 1 / 1700.0),
                              25.0,  // both gages 31.6 m away
                              25.0,  // both 40 m away
                              (10 / 1700.0 + 40 / 900.0) / (1 / 1700.0 + 1 / 900.0),
                              (10 / 2000.0 + 40 / 400.0) / (1 / 2000.0 + 1 / 400.0)};
  for (int c = 1; c <= 5; ++c) EXPECT_NEAR(rates[c], expected[c], 1e-12) << "cell " << c;
}

// Gages 3 at (16, 6) and 4 at (14, 4) lie within 10 m of several centres:
// cell 2 is 9.06 m from gage 3, cell 3 9.06 m from gage 4, cell 4 1.41 m
// from both (gage 3 wins), cell 5 9.06 m from gage 3; cell 1 has no gage
// within 10 m and weighs all four.
TEST_F(GageRain, AGageWithinOneCellGivesTheCellItsValue) {
  set_gages({5, 45, 16, 14}, {45, 5, 6, 4}, {10, 40, 100, 200});
  gage_to_grid_precip(*grid, gages(), values, 2, rates.data());
  EXPECT_NEAR(rates[1],
              (10 / 900.0 + 40 / 1700.0 + 100 / 202.0 + 200 / 202.0) / (1 / 900.0 + 1 / 1700.0 + 2 / 202.0), 1e-12);
  EXPECT_EQ(rates[2], 100.0);
  EXPECT_EQ(rates[3], 200.0);
  EXPECT_EQ(rates[4], 100.0);
  EXPECT_EQ(rates[5], 100.0);
}

// Cells 1 to 3 are nearer gage 1 or at equal distance from both (cells 2
// and 3: the lower number wins); cells 4 and 5 are nearer gage 2.
TEST_F(GageRain, NearestGageWithTiesToTheLowerNumber) {
  set_gages({5, 45}, {45, 5}, {10, 40});
  ASSERT_TRUE(find_neighbor(*grid, gages(), nearest.data()));
  const int expected[6] = {0, 1, 1, 1, 2, 2};
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(nearest[c], expected[c]) << "cell " << c;
  gather_from_index_table(2, 0, nearest.data(), values, rates.data(), 5);
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(rates[c], expected[c] == 1 ? 10.0 : 40.0);
}

TEST_F(GageRain, OneGageGivesEveryCellItsValue) {
  set_gages({1000}, {-3000}, {12.5});
  gage_to_grid_precip(*grid, gages(), values, 2, rates.data());
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(rates[c], 12.5);
  rates.fill(0.0);
  gather_from_index_table(2, 1, nullptr, values, rates.data(), 5);
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(rates[c], 12.5);
}

TEST_F(GageRain, ACellWithoutAGageWithin900KilometresStopsTheRun) {
  set_gages({5, 2e6}, {1e6, 5}, {10, 40});
  CaptureStdout();
  EXPECT_FALSE(find_neighbor(*grid, gages(), nearest.data()));
  EXPECT_NE(GetCapturedStdout().find("Failure to identify closest raingauge in find_neighbor\n"
                                     "check rain gage data file, particularly gage coordinates\n"),
            std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

}  // namespace
}  // namespace nivra
