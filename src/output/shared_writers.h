// The grid and link/node writers that the end-of-run outputs call. They are
// the writers of the map and link/node output files; the declarations here
// are the interface the run summary relies on.
#pragma once

#include <cstdio>

#include "core/arrays.h"

namespace nivra {

// grid_map layout: north/south/east/west/rows/cols header, then one line per
// row of "%lf " entries (the next packed value at an active position, 0
// elsewhere). values[1], values[2], ... are the active cells in row-major order.
void write_grass_grid(std::FILE* file, const array2d<int>& mask, double north, double south,
                      double east, double west, int rows, int cols, const double* values);

// arc_ascii_grid layout with the NODATA value at inactive positions.
void write_ascii_grid(std::FILE* file, const array2d<int>& mask, double north, double south,
                      double east, double west, int rows, int cols, const double* values,
                      double cell_size);

// One "TS" block of a link/node file; values and second_values are
// [node][link]; out_node_counts, second_values and lake_values may be null.
void write_linknode_step(std::FILE* file, int num_links, const int* node_counts,
                         const int* out_node_counts, const int* link_types, int step,
                         const array2d<double>& values, const array2d<double>* second_values,
                         int mode, const int* lake_of_link, const double* lake_values);

// Closes the process-wide ZV discharge output.
void close_shared_output_file();

}  // namespace nivra
