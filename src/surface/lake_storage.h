// The water of the lakes: the perennial lakes of the channel network, which
// keep their own volumes, and the overland lakes, whose water stands at
// the lake's level over the cells the lake covers now.
#pragma once

#include "surface/lake_state.h"

namespace nivra {

struct model_state;

// True for a cell under a channel lake: its water is the lake's.
inline bool under_channel_lake(const lake_state& lk, int c) {
  return lk.chan_lakes && !lk.lake_mask.empty() && c <= lk.lake_mask.size() && lk.lake_mask[c] > 0;
}

// The overland lake that covers cell c now (1..num_olakes), or 0.
inline int overland_lake_of(const lake_state& lk, int c) {
  if (!lk.overland_lake_map_given || lk.oland_lake_new.empty() || c > lk.oland_lake_new.size()) return 0;
  const int k = lk.oland_lake_new[c];
  return k > 0 && k <= lk.olake_table.size() ? k : 0;
}

// Pours v m3 from outside the overland flow onto cell c, whose open part
// has open_area m2: into the lake that covers the cell (a channel lake's
// volume, booked as overland water entering it; an overland lake's exchange,
// which its next update books and spreads over its level), else onto the
// open part of the cell. A lake cell holds no depth of its own, so water
// left on it would belong to no store.
void pour_onto_cell(model_state& ms, int c, double v, double open_area);

// Water in the channel lakes (m3).
double channel_lake_storage(const lake_state& lk);

// Water of the overland lakes above the ground of the cells they cover,
// outside the channel lakes (m3).
double overland_lake_storage(const model_state& ms);

}  // namespace nivra
