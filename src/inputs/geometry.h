// Grid geometry: cell connectivity and slopes.
#pragma once

namespace nivra {

struct model_state;

void build_cell_connectivity(model_state& ms);
void compute_cell_slopes(model_state& ms);
void compute_centred_slopes(model_state& ms);

}  // namespace nivra
