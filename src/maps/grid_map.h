// ASCII grid maps: a six-line header (north, south, east, west, rows, cols,
// each a word and a number) followed by rows x cols values, row 1 (north)
// first, each row from column 1 (west). Every spatially distributed input
// that is not an index map of the mapping-table file is read here.
#pragma once

#include <cstdio>
#include <string_view>

#include "core/arrays.h"
#include "core/guarded_file.h"
#include "core/value_range.h"

namespace nivra {

struct grid_state;

// How the body of a map is read and where it goes.
enum map_kind : int {
  map_real = 1,       // reals, one text line per row, into the active cells
  map_int_grid = 2,   // integers, free form, into every grid position
  map_real_alt = 3,   // as map_real, into the second real destination
  map_index = 4,      // integer categories 0..9,999, free form, into the active cells
};

inline constexpr int max_map_category = 9999;

// The no-data value grids are conventionally exported with: -9999 (written
// -9999.0 or -9999.99 too). No map of the model takes it as a value, and a
// map's "*" (a missing value) is refused with it.
inline bool is_no_data_value(double v) { return v <= -9999.0 && v > -10000.0; }

// The edges a map's header gives, m in the maps' coordinates.
struct map_extent {
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
};

// True when a map's header gives the grid's extent (within a hundredth of
// a cell); else prints a message naming the map and both extents.
bool map_extent_matches(std::string_view name, const map_extent& map, const grid_state& grid);

// Reads the six header lines (a word and a finite number each); false after
// printing a message that names the map and the line that failed.
bool read_map_header(std::FILE* fp, std::string_view name, double& north, double& south,
                     double& east, double& west, int& rows, int& cols);

// One integer of a map body as "%d" reads it: blanks and line ends skipped,
// an optional sign, then digits. A token that does not start as an integer,
// is not ended by a blank ("1.5", "12abc") or is too large for an int is
// refused instead of repeating the last value.
enum class int_read { value, end_of_file, not_integer };
int_read scan_int_token(std::FILE* fp, int& out);

// Reads one grid map from an open file (the caller opens and closes it).
// The header's values go to north .. cols (finite numbers). A header whose
// rows or columns differ from the expected ones is refused before the body
// is read. Kinds 1, 3 and 4 store the values of the active cells (mask
// entry not 0) into entries 1, 2, 3 ... of their destination in row-major
// order; kind 2 stores every position into the mask grid itself. A real
// map's row line holds a number for every column (anything after the last
// is ignored), and the values of the active cells are finite and within
// `range`; a no-data value (-9999, "*") in an active cell of a real or
// index map stops the run naming the map, row and column. With `extent`
// the header's edges must be those of the grid (map_extent_matches) before
// the body is read. Errors print their own
// message naming the map (with row and column) and stop the run (code 4000
// through the reporter); the caller tests the stop flag. quiet suppresses
// the category report and the zero-cell warning. With zero_outside an index
// map holds 0 at every position outside the mask.
void read_ascii_map(guarded_file& f, std::string_view name, int kind, double& north,
                    double& south, double& east, double& west, int& rows, int& cols,
                    array2d<int>& mask, array1d<double>* real_values,
                    array1d<double>* real_values_alt, array1d<int>* index_values,
                    int expected_rows, int expected_cols, int quiet,
                    const value_range& range = any_number, bool zero_outside = false,
                    const grid_state* extent = nullptr);

// Prints the refusal of a map whose header gives another size than the
// grid's: "Incorrect number of rows|columns|rows and columns in map: <name>"
// with both sizes.
void print_map_size_fault(std::string_view name, int rows, int cols, int expected_rows, int expected_cols);

// The run's own maps: the header's size and edges must be the project
// grid's (those of the watershed mask; the grid's header is never
// overwritten) and the active cells are those of the grid's mask; a map of
// another extent stops the run naming the map and both extents. quiet and
// range as for read_ascii_map.
void read_cell_map(grid_state& grid, guarded_file& f, std::string_view name,
                   array1d<double>& values, int quiet, const value_range& range = any_number);
// With zero_outside, a category other than 0 outside the watershed mask
// is refused (a map that draws things the watershed must hold, such as
// lakes).
void read_index_cell_map(grid_state& grid, guarded_file& f, std::string_view name,
                         array1d<int>& values, int quiet, bool zero_outside = false);

}  // namespace nivra
