#include <gtest/gtest.h>

#include <limits>

#include "core/dates.h"
#include "core/process.h"

namespace nivra {
namespace {

TEST(JulianDates, KnownValues) {
  EXPECT_EQ(julian_date(2000, 1, 1, 12, 0, 0.0), 2451545.0);
  EXPECT_EQ(julian_date(2000, 1, 1, 0, 0, 0.0), 2451544.5);
  EXPECT_EQ(julian_date(2000, 3, 1, 0, 0, 0.0) - julian_date(2000, 2, 29, 0, 0, 0.0), 1.0);
  EXPECT_EQ(julian_date(1900, 3, 1, 0, 0, 0.0) - julian_date(1900, 2, 28, 0, 0, 0.0), 1.0);
  int y, mo, d, h, mi;
  double s;
  calendar_date(2451545.0, y, mo, d, h, mi, s);
  EXPECT_EQ(y, 2000);
  EXPECT_EQ(mo, 1);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(h, 12);
  EXPECT_EQ(mi, 0);
  EXPECT_NEAR(s, 0.01, 1e-4);  // a day count near 2.45e6 resolves about 4e-5 s
  EXPECT_EQ(process.week_day, 6);  // a Saturday
}

TEST(JulianDates, RoundTripsAcrossLeapYears) {
  const int dates[][5] = {{2000, 2, 29, 0, 0},  {2000, 2, 29, 23, 59}, {1999, 12, 31, 12, 30},
                          {2004, 3, 1, 6, 15},  {2100, 2, 28, 18, 0},  {1980, 7, 4, 11, 59},
                          {2024, 12, 31, 23, 0}};
  for (const auto& t : dates) {
    calendar c = calendar_date(julian_date(t[0], t[1], t[2], t[3], t[4], 0.0));
    EXPECT_EQ(c.year, t[0]);
    EXPECT_EQ(c.month, t[1]);
    EXPECT_EQ(c.day, t[2]);
    EXPECT_EQ(c.hour, t[3]);
    EXPECT_EQ(c.minute, t[4]);
  }
  // Every day of two years, 1999 to 2000, converts back to itself.
  double start = julian_date(1999, 1, 1, 0, 0, 0.0);
  int leap_days = 0;
  for (int k = 0; k < 731; ++k) {
    calendar c = calendar_date(start + k);
    EXPECT_EQ(julian_date(c.year, c.month, c.day, 0, 0, 0.0), start + k);
    EXPECT_EQ(process.week_day, (5 + k) % 7);  // 1 January 1999 was a Friday
    if (c.month == 2 && c.day == 29) ++leap_days;
  }
  EXPECT_EQ(leap_days, 1);
}

TEST(JulianDates, CalendarDatesOfInputs) {
  struct date_case {
    int y, mo, d, h, mi;
    bool valid;
  };
  const date_case cases[] = {
      {2024, 2, 29, 0, 0, true},   {2023, 2, 29, 0, 0, false}, {2000, 2, 29, 12, 0, true},
      {1900, 2, 29, 12, 0, false},  // a century is a leap year only every 400 years
      {2024, 4, 30, 23, 59, true}, {2024, 4, 31, 0, 0, false}, {2024, 13, 1, 0, 0, false},
      {2024, 0, 1, 0, 0, false},   {2024, 1, 0, 0, 0, false},  {2024, 1, 1, 24, 0, false},
      {2024, 1, 1, 0, 60, false},  {2024, 1, 1, -1, 0, false}, {1, 1, 1, 0, 0, true},
      {9999, 12, 31, 23, 59, true}, {0, 1, 1, 0, 0, false},   {10000, 1, 1, 0, 0, false},
      {-2147483647 - 1, 1, 1, 0, 0, false},
  };
  for (const date_case& c : cases)
    EXPECT_EQ(is_calendar_date(c.y, c.mo, c.d, c.h, c.mi), c.valid)
        << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi;
  EXPECT_EQ(days_in_month(2024, 2), 29);
  EXPECT_EQ(days_in_month(2100, 2), 28);
  EXPECT_EQ(days_in_month(2024, 11), 30);
  EXPECT_EQ(days_in_month(2024, 13), 0);
}

TEST(JulianDates, TimesThatAreNoDateGiveTheZeroDate) {
  // The least int as a year is computed in long arithmetic (no overflow).
  EXPECT_LT(julian_date(-2147483647 - 1, 1, 1, 0, 0, 0.0), 0.0);
  for (double t : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
    calendar c = calendar_date(t);
    EXPECT_EQ(c.year, 0) << t;
    EXPECT_EQ(c.month, 0) << t;
    EXPECT_EQ(c.day, 0) << t;
    EXPECT_EQ(c.second, 0.0) << t;
  }
}

TEST(NumericRoutines, ClampBetweenBounds) {
  double lower[2] = {0, 0.4}, upper[2] = {0, 0.5}, out[3] = {};
  int index[3] = {0, 1, 1};
  clamp_between_bounds(2, upper, out, lower, index, nullptr, nullptr, 0, 0.3);
  EXPECT_DOUBLE_EQ(out[1], 0.41);
  clamp_between_bounds(2, upper, out, lower, index, nullptr, nullptr, 0, 0.6);
  EXPECT_DOUBLE_EQ(out[2], 0.49);
}

TEST(NumericRoutines, TridiagonalSolveMatchesAKnownSolution) {
  // 2x1 - x2 = 1, -x1 + 2x2 - x3 = 0, -x2 + 2x3 = 1  ->  x = (1, 1, 1)
  double up[4] = {0, -1, -1, 0}, mid[4] = {0, 2, 2, 2}, lo[4] = {0, 0, -1, -1}, r[4] = {0, 1, 0, 1};
  tridiag_solve(3, up, mid, lo, r);
  for (int i = 1; i <= 3; ++i) EXPECT_NEAR(r[i], 1.0, 1e-14);
  double m1[2] = {0, 4}, r1[2] = {0, 2};
  tridiag_solve(1, up, m1, lo, r1);
  EXPECT_EQ(r1[1], 0.5);
}

TEST(NumericRoutines, GatherAndLocate) {
  jagged_array<double> table;
  table.grow(2, 3);
  table(1, 2) = 10.0;
  table(2, 2) = 20.0;
  int index[4] = {0, 2, 1, 7};
  double out[4] = {};
  gather_from_index_table(2, 0, index, table, out, 3);
  EXPECT_EQ(out[1], 20.0);
  EXPECT_EQ(out[2], 10.0);
  EXPECT_EQ(out[3], 0.0);  // no row 7
  gather_from_index_table(2, 1, index, table, out, 3);
  EXPECT_EQ(out[1], 10.0);

  array2d<int> mask(2, 3);
  mask(1, 2) = 1;
  mask(2, 1) = 1;
  mask(2, 3) = 1;
  int rows[3] = {0, 2, 1}, cols[3] = {0, 3, 1}, cells[3] = {0, 0, 0};
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(locate_cells(mask, 2, 3, rows, cols, cells, 1));
  EXPECT_FALSE(locate_cells(mask, 2, 3, rows, cols, cells, 2));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "cell location 1: row 2, column 3 is cell 3\n");
  EXPECT_EQ(cells[1], 3);
}

}  // namespace
}  // namespace nivra
