// The terms of the sediment ledger: a mass_ledger (model/mass_ledger.h)
// whose constituents are the particle classes and whose amounts are solid
// volumes in m3. Suspended sediment on the cells is the overland water's,
// loose sediment lying on the cells (deposited, ready to be lifted again)
// the sediment-bound compartment's; the nodes' sand and wash load are the
// channels'; the channel lakes' suspended, settled and deposited sediment
// the lakes'; what the water carried into the pipe inlets the pipe
// network's, which holds it; the parent soil and the outlet are outside.
// A process books its volume under its row:
// ms.constituent.ov_sed->books->book(k, row(sediment_term::...), m3).
#pragma once

#include <array>

#include "model/mass_ledger.h"

namespace nivra {

enum class sediment_term : int {
  erosion = 1,      // parent soil detached by splash and flow into suspension
  resuspension,     // loose sediment on the cells lifted back into suspension
  settling,         // suspended sediment settled on the cells
  overland_outlet,  // carried out of the watershed by the overland flow
  suspended_to_channels,  // suspended sediment of the channel cells taken into the nodes
  loose_to_channels,      // loose sediment of the channel cells taken into the nodes
  suspended_to_lakes,     // suspended sediment of a channel lake's cells taken into the lake
  loose_to_lakes,         // loose sediment of a channel lake's cells taken into the lake
  channels_to_lakes,      // carried from the channel nodes into lakes
  lakes_to_channels,      // wash load leaving a lake into the link below it
  channel_outlet,         // carried through the outlet of the channel network
  channel_shortfall,      // a node's wash load driven below zero, set back to zero
  channels_to_cells,      // wash load carried onto the cells by water spilling from the channels
  cells_to_pipes,         // suspended sediment carried into the pipe inlets with the cells' water
  lakes_to_cells,         // wash load carried onto the land by the water a channel lake lets out
  channel_point_sinks,    // wash load drawn by the channel point sinks with the nodes' water
  lake_point_sinks,       // wash load drawn by the point sinks of the channel lakes with their water
  count_plus_one
};

inline constexpr int n_sediment_terms = static_cast<int>(sediment_term::count_plus_one) - 1;

inline constexpr int row(sediment_term t) { return static_cast<int>(t); }

inline constexpr std::array<mass_term_row, n_sediment_terms> sediment_term_table = {{
    {"erosion", "Eroded from the parent soil", mass_compartment::outside, mass_compartment::overland_water},
    {"resuspension", "Lifted from the loose deposit", mass_compartment::sediment_bound,
     mass_compartment::overland_water},
    {"settling", "Settled on the cells", mass_compartment::overland_water, mass_compartment::sediment_bound},
    {"overland_outlet", "Routed through the outlet", mass_compartment::overland_water, mass_compartment::outside},
    {"suspended_to_channels", "Suspended sediment into channels from the cells", mass_compartment::overland_water,
     mass_compartment::channels},
    {"loose_to_channels", "Loose sediment into channels from the cells", mass_compartment::sediment_bound,
     mass_compartment::channels},
    {"suspended_to_lakes", "Suspended sediment into lakes from the cells", mass_compartment::overland_water,
     mass_compartment::lakes},
    {"loose_to_lakes", "Loose sediment into lakes from the cells", mass_compartment::sediment_bound,
     mass_compartment::lakes},
    {"channels_to_lakes", "Sediment from channels into lakes", mass_compartment::channels, mass_compartment::lakes},
    {"lakes_to_channels", "Wash load from lakes into channels", mass_compartment::lakes, mass_compartment::channels},
    {"channel_outlet", "Sediment through the channel outlet", mass_compartment::channels, mass_compartment::outside},
    {"channel_shortfall", "Wash load set back to zero in a node", mass_compartment::outside,
     mass_compartment::channels},
    {"channels_to_cells", "Wash load spilled onto the cells", mass_compartment::channels,
     mass_compartment::overland_water},
    {"cells_to_pipes", "Suspended sediment into the pipes from the cells", mass_compartment::overland_water,
     mass_compartment::pipes},
    {"lakes_to_cells", "Wash load onto the cells from the lakes", mass_compartment::lakes,
     mass_compartment::overland_water},
    {"channel_point_sinks", "Wash load drawn by channel point sinks", mass_compartment::channels,
     mass_compartment::outside},
    {"lake_point_sinks", "Wash load drawn by lake point sinks", mass_compartment::lakes, mass_compartment::outside},
}};

// Sediment of class c the channels took from the cells, net of the wash
// load the water spilling from the nodes carried back onto them, m3: over
// the run, or over the event (`event`). The overland and the channel
// summaries both print this one figure.
inline double sediment_into_channels(const mass_ledger& books, int c, bool event) {
  auto total = [&](sediment_term t) { return event ? books.event_total(c, row(t)) : books.run_total(c, row(t)); };
  return total(sediment_term::suspended_to_channels) + total(sediment_term::loose_to_channels) -
         total(sediment_term::channels_to_cells);
}

// The cells' sediment: suspended and loose on the surface.
inline mass_set overland_sediment_set() {
  return mass_set{mass_compartment::overland_water, mass_compartment::sediment_bound};
}

}  // namespace nivra
