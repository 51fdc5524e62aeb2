// Pumps that lift water off the overland cells.
#pragma once

namespace nivra {

struct model_state;

// Applies the overland pumps for a step of dt seconds to ov_depth.
void apply_pumps(model_state& ms, double dt);

}  // namespace nivra
