// The overland sediment of the run's time loop: the step after the
// overland routing (the sediment between events and the ledger's moments
// are quality/sediment/sediment_books.h).
#pragma once

namespace nivra {

struct model_state;

// After the overland routing of a step of dt seconds in which water
// flowed: detachment, transport and settling on every cell, the volumes
// moved booked in the sediment ledger, the cells' net change kept for the
// maps and, with ADJUST_ELEV, the ground raised or lowered by it. A volume
// that is not a number stops the run naming the cell and class.
void overland_sediment_after_routing(model_state& ms, double dt);

}  // namespace nivra
