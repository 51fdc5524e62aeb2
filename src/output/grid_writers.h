// The two text grid layouts the model writes. Values are packed: one per
// active cell (non-zero mask entry), 1-based, in row-major order of the
// mask; a null value array writes 0 for every active cell.
//
// write_ascii_grid: the arc ASCII grid layout (ncols, nrows, lower-left
// cell centre, cell size, NODATA value, then the rows north to south).
// write_grass_grid: the grid-map layout the model also reads (north,
// south, east, west, rows, cols, then the rows), each value with
// `decimals` digits after the point (the hot-start maps a next run starts
// from take 9, every other map 6).
// The caller opens and closes the file.
#pragma once

#include "core/arrays.h"
#include "core/guarded_file.h"

namespace nivra {

// The missing-value text of the arc grid layout, as its header states it.
inline constexpr const char* arc_grid_nodata = "-9999.99";

void write_ascii_grid(guarded_file& file, const array2d<int>& mask, double north, double south,
                      double east, double west, int rows, int cols, const double* values,
                      double cell_size);

inline constexpr int hotstart_decimals = 9;
void write_grass_grid(guarded_file& file, const array2d<int>& mask, double north, double south,
                      double east, double west, int rows, int cols, const double* values, int decimals = 6);

}  // namespace nivra
