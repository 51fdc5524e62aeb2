// The map phase of a run: the grid maps, parameter tables and networks.
#pragma once

namespace nivra {

struct model_state;

void read_input_maps(model_state& ms);

}  // namespace nivra
