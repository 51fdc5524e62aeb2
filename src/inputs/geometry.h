// Grid geometry: the watershed mask and the numbering of its cells, cell
// centres, ground elevation and outlet, the elevation range and bands, the
// per-cell arrays of the enabled processes, the four neighbour arrays, the
// dike mask with its low spots, and the two sets of ground slopes.
//
// Cells are the grid positions whose mask value is not 0, numbered 1, 2,
// 3 ... row by row from the north-west corner; mask[row][col] then holds the
// cell number (0 outside the watershed) and has a spare row and column of
// zeros on every side.
#pragma once

#include <string_view>

#include "core/arrays.h"

namespace nivra {

struct model_state;
struct grid_state;

// A watershed cell more than this far below the lowest of its watershed
// neighbours (the eight around it), m, is a pit no terrain makes: most
// likely a no-data or mistyped value.
inline constexpr double deep_pit_depth = 100.0;

// Warns (console and run summary) of every such cell, naming the map, its
// row and column, its elevation and the lowest neighbour's.
void warn_of_deep_pits(const grid_state& grid, std::string_view file_name);

// Map phase, in this order.
void read_watershed_mask(model_state& ms);
void read_elevation(model_state& ms);
void elevation_range(model_state& ms);
void build_connectivity(model_state& ms);
void read_dike_mask(model_state& ms);

// Grid geometry step of the driver, in this order.
void build_cell_connectivity(model_state& ms);
void compute_cell_slopes(model_state& ms);

// East, west, south and north neighbour of every cell (0 where the
// position is outside the grid or the watershed).
void build_neighbour_arrays(int rows, int cols, array1d<int>& rightcon, array1d<int>& belowcon,
                            array1d<int>& abovecon, array1d<int>& leftcon, const array2d<int>& mask);

}  // namespace nivra
