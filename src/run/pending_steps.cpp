// Routines of subsystems still to come. Each does nothing yet; the
// subsystem that builds it moves it out of this file.
#include <cstdio>

#include "model/model_state.h"
#include "run/steps.h"

namespace nivra {

// Moves the overland constituents.
void overland_constituent_step(model_state&) {}

}  // namespace nivra
