#include <gtest/gtest.h>

#include <functional>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/process.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

TEST(Arrays, OneBasedArraysAreZeroedAndSized) {
  array1d<int> a;
  CaptureStdout();
  EXPECT_TRUE(alloc_1d_int(a, 0, "none"));
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_TRUE(a.empty());
  ASSERT_TRUE(alloc_1d_int(a, 5, "cells"));
  EXPECT_EQ(a.size(), 5);
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(a[i], 0);

  array2d<double> m;
  ASSERT_TRUE(alloc_2d_double(3, 4, m, "m"));
  for (int i = 0; i <= 3; ++i)
    for (int j = 0; j <= 4; ++j) EXPECT_EQ(m[i][j], 0.0);
  m[2][0] = 9.0;
  EXPECT_EQ(m.data()[10], 9.0);  // row i starts at element i x (m + 1)
  EXPECT_EQ(m(2, 0), 9.0);

  array3d<double> c;
  ASSERT_TRUE(alloc_3d_double(2, 3, 4, c, "c"));
  c[1][2][3] = 5.0;
  EXPECT_EQ(c(1, 2, 3), 5.0);
  EXPECT_EQ(c.data()[(1 * 4 + 2) * 5 + 3], 5.0);
}

TEST(Arrays, RefusedSizesNameTheVariable) {
  struct row {
    const char* what;
    std::function<bool()> call;
    const char* out;
  } rows[] = {
      {"1-D of -1", [] { array1d<double> a; return alloc_1d_double(a, -1, "rain"); },
       "Error: Attempting to allocate array of size 0\nError allocating memory for variable rain\n"},
      {"2-D with m 0", [] { array2d<double> a; return alloc_2d_double(4, 0, a, "depth2d"); },
       "Error: Attempting to allocate array of size 0\nError allocating memory for variable depth2d\n"},
  };
  for (auto& r : rows) {
    CaptureStdout();
    EXPECT_FALSE(r.call()) << r.what;
    EXPECT_EQ(GetCapturedStdout(), r.out) << r.what;
  }
}

TEST(Arrays, SpecialShapes) {
  array3d<int> lake;
  ASSERT_TRUE(alloc_lake_search(6, 2, lake));
  EXPECT_EQ(lake.dim2(), 3);  // four directions, 0..3
  array2d<double> ps;
  CaptureStdout();
  EXPECT_TRUE(alloc_stream_pointsource(ps, 0, 3));
  EXPECT_NE(GetCapturedStdout().find("stream_pointsource"), std::string::npos);
  EXPECT_EQ(ps.rows(), 1);  // rows 0 and 1 even for a zero count
  free_2d_array(ps);
  EXPECT_TRUE(ps.empty());
  free_2d_array(ps);
}

TEST(CheckedArray, GrowKeepsElementsAndCounts) {
  checked_array<double> a("event_ov_mass_init");
  EXPECT_EQ(a.grow(5), 5);
  for (int i = 0; i <= 5; ++i) a[i] = i;
  EXPECT_EQ(a.grow(3), 8);
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(a[i], i);
  checked_array<double> b("b");
  EXPECT_EQ(b.grow10(), 10);
  EXPECT_EQ(b.grow10(), 20);
  checked_array<int> c("c");
  c.grow_fill(3, 7);
  c.grow_fill(2, 9);
  EXPECT_EQ(c[3], 7);
  EXPECT_EQ(c[5], 9);
}

TEST(CheckedArray, OutOfRangeIsRecordedAndReportedAtDestruction) {
  // The process counts every report, so that the run that made it ends as
  // a failure; an array used within its range adds nothing.
  const int before = process.bad_range_reports;
  CaptureStdout();
  {
    checked_array<double> a("GLOBAL_MASS_OUT");
    a.grow(3);
    a[2] = 1.5;
    a[4] = 99.0;  // outside: never written into the array
    EXPECT_TRUE(a.bad_range());
    EXPECT_EQ(a[2], 1.5);
    checked_array<double> b("fine");
    b.grow(2);
    b[2] = 1.0;
  }
  EXPECT_EQ(GetCapturedStdout(), "Error: bad range addressed in array GLOBAL_MASS_OUT\n");
  EXPECT_EQ(process.bad_range_reports, before + 1);
}

TEST(CheckedArray, ShiftedIndexAndDamagedGuards) {
  checked_array<double> a("shifted");
  a.grow(3);
  a.shift_index = true;
  a[-1] = 4.0;
  a.shift_index = false;
  EXPECT_EQ(a[0], 4.0);
  a.shift_index = true;
  a[3] = 1.0;
  EXPECT_TRUE(a.bad_range());
  a.shift_index = false;
  a.corrupt_guard_for_test();
  CaptureStdout();
  EXPECT_EQ(a.grow(2), 3);
  a.destroy();
  std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("Bad pointers found in array shifted"), std::string::npos);
}

TEST(JaggedArray, RowsOwnedAndBorrowed) {
  jagged_array<double> t;
  EXPECT_EQ(t.grow(2, 4), 2);
  EXPECT_EQ(t.row_length(), 4);
  t(1, 4) = 3.0;
  EXPECT_EQ(t.row(0), nullptr);
  EXPECT_EQ(t.row(3), nullptr);
  t.grow_fill(1, 2.5);
  EXPECT_EQ(t(3, 1), 2.5);
  EXPECT_EQ(t(3, 4), 2.5);
  double borrowed[5] = {0, 1, 2, 3, 4};
  double* table[2] = {nullptr, borrowed};
  EXPECT_EQ(t.append(1, table), 4);
  EXPECT_FALSE(t.owned(4));
  EXPECT_TRUE(t.owned(1));
  EXPECT_EQ(t(4, 3), 3.0);
  t.destroy();  // frees only its own rows (ASan would flag the stack row)
  EXPECT_EQ(t.count(), 0);
}

TEST(JaggedArray, DamagedTableRefusesToGrow) {
  jagged_array<int> t;
  t.grow(2, 3);
  t.corrupt_guard_for_test(1);
  CaptureStdout();
  EXPECT_EQ(t.grow(1), 0);
  EXPECT_EQ(GetCapturedStdout(), "\n\nError!! Bad pointers found in 2D array.\n\n");
  t.resync();
}

TEST(JaggedArray3, OwnedSlabsFilled) {
  jagged_array3<double> s;
  s.grow_fill(2, 0.25, 3, 4);
  EXPECT_EQ(s.count(), 2);
  EXPECT_EQ(s(2, 3, 4), 0.25);
  array2d<double> outside(3, 4);
  outside(1, 1) = 8.0;
  s.append(outside);
  EXPECT_EQ(s(3, 1, 1), 8.0);
}

}  // namespace
}  // namespace nivra
