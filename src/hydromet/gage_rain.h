// Rain gages spread over the cells: the rate of every active cell for one
// rain period, by inverse-distance weighting of the gages or from the gage
// nearest to the cell, and the search for the nearest gage of every cell.
// Cell centres lie at x = west + (col - 0.5) size, y = north - (row - 0.5)
// size.
#pragma once

#include "core/containers.h"

namespace nivra {

struct grid_state;

// The gages of an event: their number and their eastings and northings
// (m), 1-based.
struct gage_positions {
  int count = 0;
  const double* x = nullptr;
  const double* y = nullptr;
};

// rates[k] of every active cell for period `period` of the gage table
// [gage][period] (mm/h), by inverse-distance-squared weighting. A gage less
// than one cell size from the cell's centre gives the cell its value (the
// lowest-numbered such gage wins); one gage gives every cell its value.
void gage_to_grid_precip(const grid_state& grid, const gage_positions& gages, const jagged_array<double>& values,
                         int period, double* rates);

// nearest[k]: the gage nearest to the centre of every active cell (the
// lower number on equal distances). False after the report when a cell has
// no gage within 900 km.
bool find_neighbor(const grid_state& grid, const gage_positions& gages, int* nearest);

}  // namespace nivra
