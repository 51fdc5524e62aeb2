// The map phase of a run: the watershed mask and elevations, the per-cell
// arrays of the chosen processes, every per-cell parameter (its own map, a
// uniform card value or the mapping tables), the hotstart maps, and then
// the channel, pipe-network and nutrient set-ups. Every reader reports its
// own failures; the phase stops at the first reader that stops the run.
#pragma once

namespace nivra {

struct model_state;

void read_input_maps(model_state& ms);

}  // namespace nivra
