// Stream fluxes for the outside model ZV.
#pragma once

namespace nivra {

struct model_state;

// With the ZV settings switched on: the coupling record and the segment map.
void init_zv_coupling(model_state& ms);

}  // namespace nivra
