// The channel terms of the sediment classes' mass ledger
// (model/mass_ledger.h): one ledger "constituent" per sediment class,
// amounts in solid cubic metres. The compartments stand for: overland
// water, the cells' suspended sediment; sediment-bound, the loose sediment
// lying on the cells; channels, the nodes' sand and wash load; lakes, the
// channel lakes' suspended, settled and deposited sediment; outside,
// beyond the watershed. A process books its volume under its row:
// ms.constituent.sed_books->book(k, row(chan_sediment_term::...), m3).
#pragma once

#include <array>

#include "model/mass_ledger.h"

namespace nivra {

enum class chan_sediment_term : int {
  suspended_to_channels = 1,  // suspended sediment of the channel cells taken into the nodes
  loose_to_channels,      // loose sediment of the channel cells taken into the nodes
  cells_to_lakes,         // sent by the cells into the channel lakes
  channels_to_lakes,      // carried from the channel nodes into lakes
  lakes_to_channels,      // wash load leaving a lake into the link below it
  channel_outlet,         // carried through the outlet of the channel network
  channel_shortfall,      // a node's wash load driven below zero, set back to zero
  count_plus_one
};

inline constexpr int n_chan_chan_sediment_terms = static_cast<int>(chan_sediment_term::count_plus_one) - 1;

inline constexpr int row(chan_sediment_term t) { return static_cast<int>(t); }

inline constexpr std::array<mass_term_row, n_chan_chan_sediment_terms> chan_sediment_term_table = {{
    {"suspended_to_channels", "Suspended sediment into channels from the cells", mass_compartment::overland_water,
     mass_compartment::channels},
    {"loose_to_channels", "Loose sediment into channels from the cells", mass_compartment::sediment_bound,
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
