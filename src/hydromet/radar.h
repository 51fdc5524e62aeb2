// Radar rainfall grids. An event of the precipitation file may name one
// radar grid file per period line: a gridded rain rate on the radar's own
// grid (six header lines: columns, rows, lower-left x and y, cell size,
// no-data value; then the values row by row from the top row). The first
// file of the event fixes the radar grid, every active cell is mapped once
// onto the radar cell that holds its centre, and at every rain period the
// period's file is read and each cell takes the rate of its radar cell.
#pragma once

#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "core/tokens.h"

namespace nivra {

struct grid_state;

// The largest radar grid a file may describe (rows x columns).
inline constexpr long long radar_max_values = 100000000;

struct radar_grid {
  // The radar grid of the event, from the header of its first file.
  int radar_cols = 0, radar_rows = 0;
  double radar_xll = 0.0, radar_yll = 0.0;  // lower-left corner, m
  double radar_cell_size = 0.0;             // m
  double radar_nodata = 0.0;
  double radar_left = 0.0;  // = radar_xll
  double radar_top = 0.0;   // = radar_yll + rows x cell size
  // Radar cell of every active cell: cols x radar row + radar column, both
  // counted from 0, rows from the top.
  array1d<int> nivra_to_precip;
  // The current period's rates, mm/h, row by row from the top row.
  std::vector<double> precip_data;
  // 1 where the current period's file gives the no-data value.
  std::vector<unsigned char> unmeasured;
  double peak_read = 0.0;  // largest rate of the last file read, mm/h
  // Scratch of the file reader: the line being cut into values.
  card_line line;
};

// Reads the six header lines of a radar file into the grid and sizes
// precip_data for its rows and columns. False after a message naming the
// file (and the line of a bad header value).
bool read_radar_header(radar_grid& radar, std::string_view file_name);

// Reads the header of the event's first radar file and maps every active
// cell onto the radar cell that holds its centre. False after the report: a
// header that cannot be read (code 4000), a cell centre outside the radar
// grid, on any side (code 102).
bool map_radar_cells(radar_grid& radar, std::string_view first_file, const grid_state& grid);

// Reads one period's radar file into precip_data: the no-data value and
// values not above 0 give 0, inches per hour become mm/h unless the values
// are in mm, and a value above 100 mm/h is capped with a warning. False
// after a message naming the file: a file that cannot be opened, whose size
// differs from the event's radar grid, a value that is missing or not a
// finite number, or a grid of nothing but no-data values. Active cells
// that lie under no-data values take no rain for the period; the reader
// warns, naming the file and how many cells they are.
bool read_radar_precip(radar_grid& radar, std::string_view file_name, bool values_in_mm);

// Each active cell takes the rate of its radar cell; prints the peak over
// the cells. False after a message when a cell's radar index lies outside
// the grid.
bool radar_to_cells(const radar_grid& radar, int ncells, double* rates);

}  // namespace nivra
