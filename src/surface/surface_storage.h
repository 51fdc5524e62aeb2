// The overland water on the grid. Water stands on the open part of a cell
// (blockage.h), and a cell under a channel lake holds none: its water is
// the lake's. The moments of the run differ in what they count on a cell
// under an overland lake and in where they apply the cell area, and each
// keeps its own rule:
//
//   moment                       overland-lake cell   area applied
//   start of the run             left_out             to_the_sum
//   start and end of an event    lake_water           per_cell
//   end-of-event cut-off test    ponded_depth         to_the_sum
//   end of the run               ponded_depth         per_cell
//
// The start of the run books the overland lakes apart; an event counts
// their water as part of its surface; the end of the run and the cut-off
// test count the water standing on their cells like any other. Summing the
// depths and applying the area once rounds differently from summing the
// cells' volumes, so each moment keeps its order.
#pragma once

namespace nivra {

struct model_state;

// What a cell under an overland lake counts.
enum class overland_lake_cells {
  left_out,      // nothing
  lake_water,    // the lake's water above the cell's ground
  ponded_depth,  // the water standing on it, like any other cell
};

// Where the cell area enters the sum.
enum class area_applied {
  per_cell,     // sum of depth x open share x area
  to_the_sum,   // (sum of depth x open share) x area
};

// Overland water on the grid (m3).
double surface_storage(const model_state& ms, overland_lake_cells lakes, area_applied area);

}  // namespace nivra
