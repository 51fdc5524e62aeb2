// The rain of an overland step on the cells (a step of the time loop).
#pragma once

namespace nivra {

struct model_state;

// Adds the rain of the overland step that ends now to the canopy and the
// cells (rain_on_cells) and books it, when the overland clock is due and an
// event's rain is falling.
void apply_rainfall(model_state& ms);

}  // namespace nivra
