// Overland lakes: sets of cells that share one flat water surface. The
// overland routing and the low-spot weirs gather the water that crossed a
// lake's shore in its exchange volume, and rain on the lake adds to it;
// olake_extent turns that water into the lake's new level and cells. A
// rising lake floods its lowest neighbours first (every neighbour across an
// open side whose water surface lies below the new level, in groups of
// surfaces within 0.1 mm, from the lowest group up, while the water lasts);
// a joining cell's water becomes the lake's. A falling lake gives up the
// cells it flooded beyond its drawn extent as their ground emerges, highest
// first, and leaves on each the water over its ground. A lake never falls
// below its initial level: it spills over its shore only the head above
// that level (olake_head), and what a step still overdrew is booked as the
// lake's shortfall, a source of the balances.
//
// Units: m, m3.
#pragma once

#include "surface/lake_state.h"
#include "model/water_ledger.h"

namespace nivra {

struct grid_state;
struct model_state;

// The water one extent update moved (m3).
struct olake_books {
  double inflow = 0.0;       // into the lakes: exchange, rain and the water of joining cells
  double outflow = 0.0;      // out of them: exchange and the water left on leaving cells
  double shortfall = 0.0;    // drawn beyond the water above the initial level
};

// The terms of the lakes' books.
inline constexpr books_map<olake_books, 3> olake_books_terms{{{
    {&olake_books::inflow, water_flux::overland_lake_inflow},
    {&olake_books::outflow, water_flux::overland_lake_outflow},
    {&olake_books::shortfall, water_flux::overland_lake_shortfall},
}}};

// Applies every lake's exchange volume and rain of the step (precip[L],
// may be null) to its level and cells; depth is the overland depth per
// cell. The exchange and rain are cleared once applied.
olake_books olake_extent(lake_state& lakes, const grid_state& grid, double* depth, double* precip);

// Water of lake L above the ground of its cells (m3).
double overland_lake_water(const lake_state& lakes, const grid_state& grid, int L);

// Sizes the extent's work arrays (set-up).
void prepare_overland_lakes(lake_state& lakes, int cells);

// The step of the time loop: when an update is pending, the lakes follow
// their water and the ledger books what moved.
void overland_lake_step(model_state& ms);

}  // namespace nivra
