// Lakes of the channel network over the grid. A lake's water is its
// volume; its level and its area follow from the volume, through the
// lake's rating curve or, for a lake without one, as a flat pool over the
// cells of its search list (lowest ground first). Cells join a rising lake
// and leave a falling one; a joining cell's overland water becomes lake
// water. Evaporation takes water off the lake's surface.
//
// Units: m, m2, m3.
#pragma once

#include <cstdio>
#include <vector>

#include "surface/lake_state.h"
#include "model/water_ledger.h"

namespace nivra {

struct grid_state;

// A value read off a rating table: y at x by straight lines between the
// rows that bracket x. An x outside the table takes the value of the
// table's end row (outside is then true).
struct rating_value {
  double y = 0.0;
  bool outside = false;
};
rating_value lake_rating_lookup(double x, const std::vector<double>& xs, const std::vector<double>& ys);

// Builds the channel lakes the channel input file described: the cells of
// each lake's search list (checked against the grid, then ordered by
// ground), their initial extent, volume, level and area, and the per-lake
// and per-cell arrays. False after a message naming the file: the run
// stops.
bool init_channel_lakes(lake_state& lakes, const grid_state& grid, const char* file);

// What one update of the lake cells moved.
struct lake_update_books {
  double taken_from_cells = 0.0;  // overland water of joining cells, m3
  bool ok = true;                 // false: two lakes met (the message is printed)
};

// The terms of the update's books.
inline constexpr books_map<lake_update_books, 1> lake_update_terms{{{
    {&lake_update_books::taken_from_cells, water_flux::overland_to_channel_lakes},
}}};

// The cells of every lake follow its volume (see the file's head); depth
// holds the overland depth of every cell, zeroed on a cell that joins or
// leaves a lake. Messages go to the console and to `summary` when open.
lake_update_books lake_cells_update(lake_state& lakes, const grid_state& grid, double* depth, FILE* summary);

// One call of lake evaporation: wind speed (m/s), air temperature (deg C)
// and relative humidity (%). Each lake loses what the open water gives to
// the air over its area, at most its whole volume (the caller then lets
// the cells follow). Returns the volume evaporated (m3).
double lake_evaporation(lake_state& lakes, double wind, double air_temp, double rel_humidity);

// The evaporation of one call from an open water surface of `area` m2.
double open_water_evaporation(double area, double wind, double air_temp, double rel_humidity);

// The ground under the beds of the lakes that seep (MLAKE): 1-based
// per-cell arrays.
struct lake_bed_ground {
  const double* conductivity = nullptr;  // saturated conductivity of the bed, m/s
  const double* water_table = nullptr;   // m; null without a water table
  const double* bottom = nullptr;        // aquifer bottom, m (with a water table)
  const int* gwbound = nullptr;          // groundwater boundary codes; null: none held
  double* lake_source = nullptr;         // per cell: m3 the aquifer gave the lake (negative: took); null without an aquifer that takes it
};

// What the lake beds passed over a step, m3.
struct lake_seepage_books {
  double from_aquifer = 0.0;  // up into the lakes
  double to_aquifer = 0.0;    // down out of them (positive)
};

inline constexpr books_map<lake_seepage_books, 2> lake_seepage_terms{{{
    {&lake_seepage_books::from_aquifer, water_flux::groundwater_to_channel_lakes},
    {&lake_seepage_books::to_aquifer, water_flux::channel_lakes_to_groundwater},
}}};

// The Darcy flux through the bed of every cell under a seeping lake, m/s,
// positive up into the lake, into lakes.lake_cell_seepage (0 elsewhere).
// With bed thickness M, conductivity K, lake level L and ground z: a
// water table above the ground and at least 0.01 m above the aquifer bottom
// is joined to the lake, q = K (table - L) / M; otherwise the lake leaks
// at its own depth, q = -K (L - z) / M, while it stands above the ground
// and above the aquifer bottom. Without a water table the lake leaks at
// its own depth. A cell whose groundwater head is held does not seep. The
// set-up makes lake_cell_seepage for the cells.
void lake_seepage_rates(lake_state& lakes, const grid_state& grid, const lake_bed_ground& g);

// The seepage of dt seconds at the rates of lake_seepage_rates: each lake
// gains or loses the volume its cells pass, a lake never losing more than
// it holds (every cell's loss is cut in the same proportion); each cell's
// share goes to g.lake_source.
lake_seepage_books lake_bed_seepage(lake_state& lakes, const grid_state& grid, const lake_bed_ground& g, double dt);

// The cells under a seeping lake take the groundwater boundary code of a
// lake cell (7), and give it back when the lake leaves them; a cell whose
// head is held keeps its code.
void follow_lake_beds(lake_state& lakes, int* gwbound, int ncells);

struct model_state;

// Step glue: the seepage through the lake beds over dt seconds, booked in
// the ledger; the aquifer takes each cell's share at its next solve.
void seep_through_lake_beds(model_state& ms, double dt);

// Step glue: the lake cells follow the volumes and the ledger books the
// overland water the lakes took (channel step, event end). False after a
// failure: the run stops.
bool update_channel_lake_cells(model_state& ms);

// Step glue: an hour's evaporation from the channel lakes, with the
// weather of the hour, booked in the ledger; then the cells follow.
void channel_lake_evaporation_hour(model_state& ms);

}  // namespace nivra
