// Radar grids against the model grid: the radar cell that holds each cell
// centre (a centre on a radar cell's southern edge belongs to the radar row
// below it; centres outside the radar grid, on any side, stop the run),
// the values of a period file (no-data, values not above zero, inches per
// hour, the cap of 100 mm/h), and period files that cannot serve.
#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "core/process.h"
#include "hydromet/hydromet_fixture.h"
#include "hydromet/radar.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::write_file;

class Radar : public testing::process_test {
 protected:
  // A radar file of rows x cols cells of 20 m with its lower-left corner at
  // (xll, yll) and the given body.
  static void radar_file(const std::string& name, int rows, int cols, double xll, double yll,
                         const std::string& body) {
    write_file(name, "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) + "\nxllcorner " +
                         std::to_string(xll) + "\nyllcorner " + std::to_string(yll) +
                         "\ncellsize 20\nNODATA_value -9999\n" + body);
  }
  bool map(const grid_state& grid) {
    CaptureStdout();
    const bool ok = map_radar_cells(radar, "r0.asc", grid);
    console = GetCapturedStdout();
    return ok;
  }
  bool read(const std::string& name, bool mm) {
    CaptureStdout();
    const bool ok = read_radar_precip(radar, name, mm);
    console = GetCapturedStdout();
    return ok;
  }

  radar_grid radar;
  std::string console;
};

// The model grid: 3 rows x 4 columns of 10 m, north-west corner (100, 200);
// centres x 105, 115, 125, 135 and y 195, 185, 175.
TEST_F(Radar, EachCellTakesTheRadarCellThatHoldsItsCentre) {
  auto grid = testing::small_grid(3, 4, 10.0, 100.0, 200.0, {{1, 1}});
  struct row {
    const char* name;
    double xll, yll;
    int rows, cols;
    std::vector<int> expected;  // radar index of cells 1..11
  };
  const row table[] = {
      // Top at 200, left at 100: columns 0 0 1 1, rows 0 0 1.
      {"aligned", 100, 160, 2, 3, {0, 1, 1, 0, 0, 1, 1, 3, 3, 4, 4}},
      // Top at 215: centre 195 lies exactly on the southern edge of radar
      // row 0 and belongs to row 1; 175 lies on the edge of row 1.
      {"on the edges", 100, 155, 3, 3, {3, 4, 4, 3, 3, 4, 4, 6, 6, 7, 7}},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    radar_file("r0.asc", r.rows, r.cols, r.xll, r.yll, "");
    ASSERT_TRUE(map(*grid)) << console;
    for (int c = 1; c <= 11; ++c) EXPECT_EQ(radar.nivra_to_precip[c], r.expected[c - 1]) << "cell " << c;
  }

  // A radar grid that ends north of the last row or west of the last
  // column, or begins south of the first row or east of the first column,
  // cannot give those cells their rain.
  const struct {
    double xll, yll;
    int rows, cols;
    const char* message;
  } outside[] = {
      {100, 180, 1, 2, "Error!! p_I=1, p_J=0\nThe centre of cell 8 (x 105.00, y 175.00) lies south of the radar grid"},
      {100, 160, 2, 1, "Error!! p_I=0, p_J=1\nThe centre of cell 2 (x 125.00, y 195.00) lies east of the radar grid"},
      // Top at 190: the first row's centres (195) lie north of it.
      {100, 150, 2, 2, "Error!! p_I=-1, p_J=0\nThe centre of cell 1 (x 115.00, y 195.00) lies north of the radar grid "
                       "of r0.asc, which cannot give it its rain.\n"},
      // Left at 110: the first column's centres (105) lie west of it.
      {110, 160, 2, 2, "Error!! p_I=0, p_J=-1\nThe centre of cell 4 (x 105.00, y 185.00) lies west of the radar grid"},
  };
  for (const auto& o : outside) {
    SCOPED_TRACE(o.message);
    reset_process_state();
    radar_file("r0.asc", o.rows, o.cols, o.xll, o.yll, "");
    EXPECT_FALSE(map(*grid));
    EXPECT_NE(console.find(o.message), std::string::npos) << console;
    EXPECT_EQ(process.error_block.code, 102);
    EXPECT_EQ(process.error_block.stop, 1);
  }
}

// Values of a 2 x 3 radar file in inches per hour: the no-data value and
// values within 0.01 of it, zero and negative values give no rain; 0.5
// in/h is 12.7 mm/h; 5 in/h is 127 mm/h, capped to 100 with a warning.
// With the values in mm/h, 5 stays 5.
TEST_F(Radar, ValuesOfAPeriodFile) {
  auto grid = testing::small_grid(3, 4, 10.0, 100.0, 200.0);
  radar_file("r0.asc", 2, 3, 100, 160, "");
  ASSERT_TRUE(map(*grid));
  radar_file("r1.asc", 2, 3, 100, 160, "-9999 -9998.995 -2\n0.5 0 5\n");
  ASSERT_TRUE(read("r1.asc", false));
  const double inches[6] = {0, 0, 0, 12.7, 0, 100};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(radar.precip_data[i], inches[i], 1e-12) << i;
  EXPECT_NE(console.find("Warning: really big precip value (127.000000) in cell (1,2) from radar rainfall.\n "
                         "resetting value to 100.0\n"),
            std::string::npos)
      << console;
  EXPECT_NE(console.find("Peak rainfall rate read: 100.000000 mm/hr\n"), std::string::npos);
  // The first two radar columns of the top row hold no data; the eight
  // cells of the grid's two top rows lie under them.
  EXPECT_NE(console.find("Warning: 8 of the watershed's 12 cells lie under no-data values of the radar file "
                         "r1.asc; they take no rain for its period.\n"),
            std::string::npos)
      << console;

  // The values may run over several lines; a row starts on a new line.
  radar_file("r1.asc", 2, 3, 100, 160, "-9999 -9998.995\n-2 ignored words\n0.5 0 5\n");
  ASSERT_TRUE(read("r1.asc", true));
  const double mm[6] = {0, 0, 0, 0.5, 0, 5};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(radar.precip_data[i], mm[i]) << i;

  array1d<double> rates(12);
  CaptureStdout();
  ASSERT_TRUE(radar_to_cells(radar, 12, rates.data()));
  // Columns 0 0 1 1 and rows 0 0 1: the third row takes the radar's
  // second; no cell lies under the radar's last column.
  EXPECT_EQ(GetCapturedStdout(), "Peak rainfall applied to watershed: 0.500000 mm/hr\n");
  const double cells[13] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5, 0.5, 0, 0};
  for (int c = 1; c <= 12; ++c) EXPECT_EQ(rates[c], cells[c]) << "cell " << c;
}

// A period file that cannot give every cell its rain stops the run with a
// message naming it: the cells would keep the rain of the period before.
TEST_F(Radar, APeriodFileThatCannotServeIsNamed) {
  auto grid = testing::small_grid(3, 4, 10.0, 100.0, 200.0);
  radar_file("r0.asc", 2, 3, 100, 160, "");
  ASSERT_TRUE(map(*grid));
  struct row {
    const char* name;
    const char* fragment;
  };
  radar_file("wide.asc", 2, 4, 100, 160, "1 1 1 1\n1 1 1 1\n");
  radar_file("short.asc", 2, 3, 100, 160, "1 1 1\n1 1\n");
  radar_file("word.asc", 2, 3, 100, 160, "1 1 1\n1 x 1\n");
  radar_file("inf.asc", 2, 3, 100, 160, "1 1 1\n1 1 inf\n");
  write_file("head.asc", "ncols 3\nnrows 2\n");
  radar_file("gap.asc", 2, 3, 100, 160, "-9999 -9999 -9999\n-9999 -9999 -9999\n");
  const row table[] = {
      {"missing.asc",
       "Error: the radar file missing.asc of this rain period cannot be opened; without it the cells would keep "
       "the rain of the period before.\n"},
      {"wide.asc", "Error: the radar file wide.asc holds 2 rows of 4 columns, where the first radar file of the "
                   "event holds 2 rows of 3 columns.\n"},
      {"short.asc", "Error in reading radar precip file short.asc\nThe value of row 2, column 3 (counted from 1, "
                    "rows from the top) is missing.\n"},
      {"word.asc", "The value of row 2, column 2 (counted from 1, rows from the top) is not a finite number.\n"},
      {"inf.asc", "The value of row 2, column 3 (counted from 1, rows from the top) is not a finite number.\n"},
      {"head.asc", "Error: the radar file head.asc ends in its header, at line 3; the header takes six lines.\n"},
      // Nothing measured: the period's rain is unknown, not zero.
      {"gap.asc", "Error: the radar file gap.asc holds only no-data values (-9999); it gives no rain for its "
                  "period.\n"},
  };
  for (const row& r : table) {
    EXPECT_FALSE(read(r.name, true)) << r.name;
    EXPECT_NE(console.find(r.fragment), std::string::npos) << console;
  }

  // The header of the event's first file is checked value by value.
  struct header_row {
    const char* text;
    const char* fragment;
  };
  const header_row headers[] = {
      {"ncols 3\nnrows 0\nx 0\ny 0\nsize 20\nnodata -1\n",
       "Error: line 2 of the radar file r0.asc gives \"0\" for the number of rows; it takes a whole number from 1"},
      {"ncols 3\nnrows 2\nx 0\ny 0\nsize -20\nnodata -1\n",
       "Error: line 5 of the radar file r0.asc gives \"-20\" for the cell size; it takes a number above 0"},
      {"ncols 3\nnrows 2\nx nan\ny 0\nsize 20\nnodata -1\n",
       "Error: line 3 of the radar file r0.asc gives \"nan\" for the lower-left x; it takes a number"},
      {"ncols 3.5\nnrows 2\nx 0\ny 0\nsize 20\nnodata -1\n",
       "Error: line 1 of the radar file r0.asc gives \"3.5\" for the number of columns"},
  };
  for (const header_row& h : headers) {
    reset_process_state();
    write_file("r0.asc", h.text);
    EXPECT_FALSE(map(*grid));
    EXPECT_NE(console.find(h.fragment), std::string::npos) << console;
    EXPECT_EQ(process.error_block.stop, 1);
  }
}

}  // namespace
}  // namespace nivra
