// The nutrient model's kinetic steps. The reactions between the nutrient
// constituents (nitrification, mineralisation, algal growth, reaeration and
// the like) are not modelled in this version: the two steps keep their
// places in the step table and change nothing, so every nutrient
// constituent is carried as a conservative substance and the "NSM dm/dt
// Summary" of the run summary reports the zeros this gives.
#include "model/model_state.h"
#include "run/steps.h"

namespace nivra {

// The kinetics of the nutrients in the overland water and the soil pools.
void nsm_overland_step(model_state&) {}
// The kinetics of the nutrients in the channels and lakes.
void nsm_channel_step(model_state&) {}

}  // namespace nivra
