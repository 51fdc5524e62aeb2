// The grid map reader: header and size check, real rows cut from one line
// each, free-form integer bodies, category counts and the zero warnings.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/process.h"
#include "core/replace.h"
#include "inputs/grid_state.h"
#include "map_fixture.h"
#include "maps/grid_map.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::map_text;
using testing::run_stopped;

class GridMap : public testing::process_test {
 protected:
  // A 2 x 3 mask; 0 marks positions outside the watershed.
  void set_mask(const std::vector<int>& cells, int rows = 2, int cols = 3) {
    mask.alloc(rows + 1, cols + 1);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) mask[r][c] = cells[(r - 1) * cols + c - 1];
  }

  // Reads the text as a map of the kind; the console output is returned.
  std::string read(int kind, const std::string& text, int expected_rows = 2, int expected_cols = 3,
                   int quiet = 0, const value_range& range = any_number) {
    testing::write_file("m.map", text);
    guarded_file f;
    EXPECT_TRUE(open_guarded_file(f, "m.map", "r"));
    CaptureStdout();
    read_ascii_map(f, "m.map", kind, north, south, east, west, rows, cols, mask, &reals, &reals_alt,
                   &index, expected_rows, expected_cols, quiet, range);
    return GetCapturedStdout();
  }

  array2d<int> mask;
  array1d<double> reals{6};
  array1d<double> reals_alt{6};
  array1d<int> index{6};
  double north = 0, south = 0, east = 0, west = 0;
  int rows = 0, cols = 0;
};

TEST_F(GridMap, RealRowsTakeTheirColumnsFromOneLineEach) {
  set_mask({1, 1, 1, 1, 0, 1});
  // Row 1 carries two values too many and trailing text; row 2 is
  // separated by commas.
  std::string out = read(map_real, map_text(2, 3, "1.5 2 3 99 98 trailing words\n7,8,0\n"));
  EXPECT_FALSE(run_stopped());
  EXPECT_EQ(north, 1000.0);
  EXPECT_EQ(south, 980.0);
  EXPECT_EQ(east, 530.0);
  EXPECT_EQ(west, 500.0);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(cols, 3);
  // Active cells in row-major order; the inactive (2,2) value 8 is dropped.
  const double want[] = {1.5, 2, 3, 7, 0};
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(reals[k], want[k - 1]) << k;
  EXPECT_EQ(out, "Warning: Map contains 1 cells with zero values. Map: m.map\n");

  // Kind 3 goes to its own destination.
  read(map_real_alt, map_text(2, 3, "4 5 6\n7 8 9\n"));
  EXPECT_EQ(reals_alt[5], 9.0);
  EXPECT_EQ(reals[5], 0.0);
}

TEST_F(GridMap, ReplacementKeysAreSubstitutedInRealRowsOnly) {
  ASSERT_EQ(parse_replace_param_line("[K] \"%4.2lf\""), 0);
  process.replace_list[0].dval = 2.5;
  process.replace_on = 1;
  set_mask({1, 1, 1, 1, 1, 1});
  read(map_real, map_text(2, 3, "1 [K] 3\n4 5 [K]\n"));
  EXPECT_FALSE(run_stopped());
  EXPECT_EQ(reals[2], 2.5);
  EXPECT_EQ(reals[6], 2.5);

  // Integer bodies are read as they stand: the key is not an integer.
  std::string out = read(map_index, map_text(2, 3, "1 [K] 3\n4 5 6\n"));
  EXPECT_TRUE(run_stopped());
  EXPECT_NE(out.find("m.map holds a value that is not an integer at row 1, column 2"), std::string::npos)
      << out;
}

TEST_F(GridMap, AMapOfAnotherSizeIsRefusedBeforeItsBodyIsRead) {
  struct size_case {
    int map_rows, map_cols;
    const char* message;
  } cases[] = {
      {10, 3, "Incorrect number of rows in map: m.map (its header gives 10 rows and 3 columns, the project's grid has 12 rows and 3 columns)\n"},
      {12, 4, "Incorrect number of columns in map: m.map (its header gives 12 rows and 4 columns, the project's grid has 12 rows and 3 columns)\n"},
      {10, 4, "Incorrect number of rows and columns in map: m.map (its header gives 10 rows and 4 columns, the project's grid has 12 rows and 3 columns)\n"},
  };
  for (const auto& k : cases) {
    reset_process_state();
    // The project has 12 rows of 3; the destination holds only 6 cells.
    set_mask(std::vector<int>(static_cast<std::size_t>(12 * 3), 1), 12, 3);
    reals.fill(-1.0);
    std::string body;
    for (int r = 0; r < k.map_rows; ++r) body += "0 0 0 0\n";
    std::string out = read(map_real, map_text(k.map_rows, k.map_cols, body), 12, 3);
    EXPECT_TRUE(run_stopped()) << k.message;
    // The message alone: no zero warning, and nothing was stored.
    EXPECT_EQ(out, std::string(k.message) + "\n");
    for (int i = 1; i <= 6; ++i) EXPECT_EQ(reals[i], -1.0);
  }
}

TEST_F(GridMap, OnlyZerosWarnsEvenInQuietRuns) {
  set_mask({1, 1, 1, 1, 1, 0});
  const std::string zeros = map_text(2, 3, "0 0 0\n0 0 0\n");
  EXPECT_EQ(read(map_real, zeros, 2, 3, /*quiet=*/1),
            "Warning: Map contains only zero values. Map: m.map\n");
  EXPECT_EQ(read(map_real, zeros),
            "Warning: Map contains only zero values. Map: m.map\n"
            "Warning: Map contains 5 cells with zero values. Map: m.map\n");
  EXPECT_FALSE(run_stopped());
  // Any non-zero value, even outside the watershed, lifts the first warning.
  EXPECT_EQ(read(map_real, map_text(2, 3, "0 0 0\n0 0 7\n"), 2, 3, 1), "");
}

TEST_F(GridMap, CategoriesAreCountedPerReadAndZeroIsNotReported) {
  set_mask({1, 1, 1, 0, 0, 0});
  // Free form: values may run over lines in any way.
  std::string out = read(map_index, map_text(2, 3, "0 3\n3 9999\n\n-5 12"));
  EXPECT_FALSE(run_stopped());
  EXPECT_EQ(out, "In map m.map category 3 has 2 values\n");
  EXPECT_EQ(index[1], 0);
  EXPECT_EQ(index[2], 3);
  EXPECT_EQ(index[3], 3);
  // The counters start again from zero at the next read.
  out = read(map_index, map_text(2, 3, "5 0 5 0 0 0"));
  EXPECT_EQ(out, "In map m.map category 5 has 2 values\n");
  // Quiet runs do not report categories.
  EXPECT_EQ(read(map_index, map_text(2, 3, "5 0 5 0 0 0"), 2, 3, 1), "");
}

TEST_F(GridMap, CategoriesOutsideTheTableStopTheRun) {
  set_mask({1, 1, 1, 1, 1, 1});
  for (const char* bad : {"-1", "10000"}) {
    reset_process_state();
    std::string out = read(map_index, map_text(2, 3, std::string("1 2 3\n4 ") + bad + " 6\n"));
    EXPECT_TRUE(run_stopped()) << bad;
    EXPECT_NE(out.find(std::string("m.map holds the category ") + bad + " at row 2, column 2"),
              std::string::npos)
        << out;
  }
}

TEST_F(GridMap, TheIntegerGridKeepsEveryPosition) {
  mask.alloc(3, 4);
  read(map_int_grid, map_text(2, 3, "0 1 -9999\n7 0 1\n"));
  EXPECT_FALSE(run_stopped());
  const int want[2][3] = {{0, 1, -9999}, {7, 0, 1}};
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(mask[r][c], want[r - 1][c - 1]);
  // A real value in an integer map is refused, not repeated to the end.
  std::string out = read(map_int_grid, map_text(2, 3, "1 1 1.5\n1 1 1\n"));
  EXPECT_TRUE(run_stopped());
  EXPECT_NE(out.find("m.map holds a value that is not an integer at row 1, column 3"),
            std::string::npos);
}

TEST_F(GridMap, AMapOneRowShortEndsWithTheEndOfFileMessage) {
  set_mask({1, 1, 1, 1, 1, 1});
  for (const char* last : {"1 2 3\n", "1 2 3"}) {
    reset_process_state();
    std::string out = read(map_real, map_text(2, 3, last));
    EXPECT_TRUE(run_stopped());
    EXPECT_EQ(out, "Unexpected end of file in file: m.map\n\n");
    EXPECT_EQ(reals[3], 3.0);  // what was read stays
  }
  reset_process_state();
  EXPECT_EQ(read(map_index, map_text(2, 3, "1 2 3\n4 5\n")),
            "Unexpected end of file in file: m.map\n\n");
}

// A row of values beyond the rows of the header would be left unread; a
// note after the last row is passed over, as text after a row's values.
TEST_F(GridMap, AMapOneRowLongIsRefused) {
  set_mask({1, 1, 1, 1, 1, 1});
  std::string out = read(map_real, map_text(2, 3, "1 2 3\n4 5 6\n7 8 9\n"));
  EXPECT_TRUE(run_stopped());
  EXPECT_EQ(out, "Error: the map m.map holds more than the 2 rows of its header.\n\n");
  reset_process_state();
  read(map_real, map_text(2, 3, "1 2 3\n4 5 6\n\nsurveyed in 2024\n"));
  EXPECT_FALSE(run_stopped());
  reset_process_state();
  out = read(map_index, map_text(2, 3, "1 2 3\n4 5 6\n7\n"));
  EXPECT_TRUE(run_stopped());
  EXPECT_EQ(out, "Error: the map m.map holds more than the 2 rows of 3 values of its header.\n\n");
  reset_process_state();
  mask.alloc(3, 4);
  read(map_int_grid, map_text(2, 3, "0 1 1\n1 1 0\n1 1 1\n"));
  EXPECT_TRUE(run_stopped());
}

TEST_F(GridMap, ValuesOfWatershedCellsAreFiniteAndWithinTheirRange) {
  // Cell (1,2) lies outside the watershed: any number may stand there.
  set_mask({1, 0, 1, 1, 1, 1});
  const value_range elevation = from_to(-11000, 9000, "m");
  struct value_case {
    const char* row1;
    const char* message;  // "" when the map is taken
  };
  const value_case cases[] = {
      {"100 -9999 8999.5", ""},
      {"100 1e308 -10999", ""},
      {"inf 1 2", "Error: the map m.map holds inf at row 1, column 1; it takes a number from -11000 to "
                  "9000 (m).\n"},
      {"100 1 nan", "Error: the map m.map holds nan at row 1, column 3; it takes a number from -11000 to "
                    "9000 (m).\n"},
      {"1e308 1 2", "Error: the map m.map holds 1e308 at row 1, column 1;"},
      {"-1e308 1 2", "Error: the map m.map holds -1e308 at row 1, column 1;"},
      {"9000.5 1 2", "Error: the map m.map holds 9000.5 at row 1, column 1;"},
      {"100 x 2", "Error: the map m.map holds x at row 1, column 2;"},  // a word is never a number
      {"100 1 2.5.1", "Error: the map m.map holds 2.5.1 at row 1, column 3;"},
      {"100 1", "Error: row 1 of the map m.map holds 2 values; the map has 3 columns.\n"},
      // The first fault of a row is the one reported, whatever its kind.
      {"9999 x 2", "Error: the map m.map holds 9999 at row 1, column 1;"},
      {"9999 1", "Error: the map m.map holds 9999 at row 1, column 1;"},
      {"100  \t2.5.1 9999", "Error: the map m.map holds 2.5.1 at row 1, column 2;"},
  };
  for (const value_case& c : cases) {
    SCOPED_TRACE(c.row1);
    reset_process_state();
    const std::string out = read(map_real, map_text(2, 3, std::string(c.row1) + "\n4 5 6\n"), 2, 3, 1, elevation);
    EXPECT_EQ(run_stopped(), *c.message != '\0');
    EXPECT_EQ(out.rfind(c.message, 0), 0u) << out;
  }
  // A header that holds no finite number is refused.
  reset_process_state();
  std::string out = read(map_real, "north: nan\nsouth: 980\neast: 530\nwest: 500\nrows: 2\ncols: 3\n1 2 3\n4 5 6\n");
  EXPECT_TRUE(run_stopped());
  EXPECT_EQ(out, "Error: unable to read the \"north\" line of the header of map: m.map\n\n");
}

// Rows are lines however long: a map 4,000 columns wide, each value 12
// characters with its blank, puts 48,000 characters on a line.
TEST_F(GridMap, MapsOfAnyWidthAreReadWhole) {
  const int wide = 4000;
  std::string mask_row, value_row;
  for (int c = 1; c <= wide; ++c) {
    mask_row += c == 2 ? "0 " : "1 ";
    char v[32];
    std::snprintf(v, sizeof v, "%11.4f ", 1000.0 + c * 0.001);
    value_row += v;
  }
  ASSERT_EQ(value_row.size(), 48000u);
  mask.alloc(2, wide + 1);
  read(map_int_grid, map_text(1, wide, mask_row + "\n"), 1, wide);
  ASSERT_FALSE(run_stopped());
  EXPECT_EQ(mask[1][1], 1);
  EXPECT_EQ(mask[1][2], 0);
  EXPECT_EQ(mask[1][wide], 1);

  reals.alloc(wide - 1);
  read(map_real, map_text(1, wide, value_row + "\n"), 1, wide);
  ASSERT_FALSE(run_stopped());
  EXPECT_DOUBLE_EQ(reals[1], 1000.001);
  EXPECT_DOUBLE_EQ(reals[2], 1000.003);            // column 2 is outside the watershed
  EXPECT_DOUBLE_EQ(reals[wide - 1], 1000.0 + wide * 0.001);  // the last column
}

// The no-data value of a grid export (-9999, however written, or "*") is
// no value: in a cell of the watershed it stops the run naming the map, row
// and column; outside the watershed it is passed over.
TEST_F(GridMap, NoDataInAWatershedCellStopsTheRunNamingTheCell) {
  set_mask({1, 0, 1, 1, 1, 1});
  struct no_data_case {
    int kind;
    const char* body;
    const char* message;  // "" when the map is taken
  };
  const no_data_case cases[] = {
      {map_real, "1 -9999 3\n4 5 6\n", ""},
      {map_real, "1 2 3\n4 -9999 6\n", "holds the no-data value -9999 at row 2, column 2,"},
      {map_real, "1 2 3\n4 5 -9999.0\n", "holds the no-data value -9999.0 at row 2, column 3,"},
      {map_real, "-9999.99 2 3\n4 5 6\n", "holds the no-data value -9999.99 at row 1, column 1,"},
      {map_real, "1 2 *\n4 5 6\n", "holds the no-data value * at row 1, column 3,"},
      {map_real, "1 2 -9998.5\n4 5 6\n", ""},  // a value, however odd
      {map_index, "1 -9999 3\n4 5 6\n", ""},
      {map_index, "1 2 3\n-9999 5 6\n", "holds the no-data value -9999 at row 2, column 1,"},
      {map_index, "1 2 3\n4 * 6\n", "holds the no-data value * at row 2, column 2,"},
  };
  for (const no_data_case& k : cases) {
    SCOPED_TRACE(k.body);
    reset_process_state();
    const std::string out = read(k.kind, map_text(2, 3, k.body));
    EXPECT_EQ(run_stopped(), *k.message != '\0');
    if (*k.message)
      EXPECT_EQ(out, std::string("Error: the map m.map ") + k.message +
                         " a cell of the watershed mask; every watershed cell needs a value.\n\n");
  }
}

// A map of the grid's rows and columns whose edges lie elsewhere (here 1 km
// north) is refused naming both extents, and the grid's header, which the
// output maps carry, stays the watershed mask's. Edges written with fewer
// decimals are the same edges.
TEST_F(GridMap, AMapOfAnotherExtentIsRefusedAndTheGridKeepsItsHeader) {
  grid_state grid;
  grid.proj_rows = 2;
  grid.proj_cols = 3;
  grid.north = 1000.0;
  grid.south = 980.0;
  grid.east = 530.0;
  grid.west = 500.0;
  grid.mask.alloc(3, 4);
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 3; ++c) grid.mask[r][c] = (r - 1) * 3 + c;
  array1d<double> values(6);
  auto read_cells = [&](const std::string& text) {
    testing::write_file("hot.map", text);
    guarded_file f;
    EXPECT_TRUE(open_guarded_file(f, "hot.map", "r"));
    CaptureStdout();
    read_cell_map(grid, f, "hot.map", values, 1);
    return GetCapturedStdout();
  };
  std::string out = read_cells(map_text(2, 3, "1 2 3\n4 5 6\n", 10.0, 2000.0));
  EXPECT_TRUE(run_stopped());
  EXPECT_EQ(out, "Error: the map hot.map covers north 2000.00, south 1980.00, east 530.00, west 500.00; the "
                 "project's grid (the watershed mask) covers north 1000.00, south 980.00, east 530.00, west "
                 "500.00. A map must lie on the project's grid.\n\n");
  EXPECT_EQ(values[1], 0.0);  // refused before its body was read
  EXPECT_EQ(grid.north, 1000.0);
  EXPECT_EQ(grid.south, 980.0);

  reset_process_state();
  out = read_cells("north: 1000.0001\nsouth: 980\neast: 530\nwest: 500\nrows: 2\ncols: 3\n1 2 3\n4 5 6\n");
  EXPECT_FALSE(run_stopped()) << out;
  EXPECT_EQ(values[6], 6.0);
  EXPECT_EQ(grid.north, 1000.0);
}

TEST_F(GridMap, AnUnreadableHeaderStopsTheRun) {
  set_mask({1, 1, 1, 1, 1, 1});
  // A header word longer than its width leaves the number unread.
  std::string out = read(map_real, "north: 1000\nsouth: 980\neast: 530\nwesting: 500\nrows: 2\ncols: 3\n1 2 3\n4 5 6\n");
  EXPECT_TRUE(run_stopped());
  EXPECT_EQ(out, "Error: unable to read the \"west\" line of the header of map: m.map\n\n");
}

}  // namespace
}  // namespace nivra
