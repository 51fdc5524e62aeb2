// The terms of the sediment ledger: a mass_ledger (model/mass_ledger.h)
// whose constituents are the particle classes and whose amounts are solid
// volumes in m3. Suspended sediment on the cells is the overland water's,
// loose sediment lying on the cells (deposited, ready to be lifted again)
// the sediment-bound compartment's; the parent soil and the outlet are
// outside. A process books its volume under its row:
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
}};

// The cells' sediment: suspended and loose on the surface.
inline mass_set overland_sediment_set() {
  return mass_set{mass_compartment::overland_water, mass_compartment::sediment_bound};
}

}  // namespace nivra
