// The terms of the sediment classes' mass ledger (model/mass_ledger.h): one
// ledger "constituent" per sediment class, amounts in solid cubic metres.
// The compartments stand for: overland water, the cells' suspended and
// loose sediment; channels, the nodes' sand and wash load; lakes, the
// channel lakes' suspended, settled and deposited sediment; outside,
// beyond the watershed. A process books its volume under its row:
// ms.constituent.sed_books->book(k, row(sediment_term::...), m3).
#pragma once

#include <array>

#include "model/mass_ledger.h"

namespace nivra {

enum class sediment_term : int {
  cells_to_channels = 1,  // taken from the channel cells into the channel nodes
  cells_to_lakes,         // sent by the cells into the channel lakes
  channels_to_lakes,      // carried from the channel nodes into lakes
  lakes_to_channels,      // wash load leaving a lake into the link below it
  channel_outlet,         // carried through the outlet of the channel network
  channel_shortfall,      // a node's wash load driven below zero, set back to zero
  count_plus_one
};

inline constexpr int n_sediment_terms = static_cast<int>(sediment_term::count_plus_one) - 1;

inline constexpr int row(sediment_term t) { return static_cast<int>(t); }

inline constexpr std::array<mass_term_row, n_sediment_terms> sediment_term_table = {{
    {"cells_to_channels", "Sediment into channels from the cells", mass_compartment::overland_water,
     mass_compartment::channels},
    {"cells_to_lakes", "Sediment into lakes from the cells", mass_compartment::overland_water,
     mass_compartment::lakes},
    {"channels_to_lakes", "Sediment from channels into lakes", mass_compartment::channels, mass_compartment::lakes},
    {"lakes_to_channels", "Wash load from lakes into channels", mass_compartment::lakes, mass_compartment::channels},
    {"channel_outlet", "Sediment through the channel outlet", mass_compartment::channels, mass_compartment::outside},
    {"channel_shortfall", "Wash load set back to zero in a node", mass_compartment::outside,
     mass_compartment::channels},
}};

}  // namespace nivra
