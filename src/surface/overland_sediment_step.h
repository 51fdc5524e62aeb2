// The overland sediment of the run's time loop: the step after the
// overland routing (the sediment between events and the ledger's moments
// are quality/sediment/sediment_books.h).
#pragma once

namespace nivra {

struct model_state;

// The water of an overland step as the sediment step sees it, over the
// cells first..last: the sediment step moves what the whole step's water
// carries, so it sees the step's mean water. The faces carry the water the
// step moved through them: their mean discharge over the step (the face
// volumes vol_x, vol_y in m3 over dt seconds) where the routing kept those
// volumes, else the routing's discharges qx, qy (m3/s). Every cell stands
// at the mean of its depth as the step started and as it ended. On a cell
// that holds a channel this matters most: the channel takes the step's
// lateral inflow out of it, or spills onto it, only in the channel step
// that follows, so at the end of the overland step it holds the whole
// step's exchange still undone.
struct sediment_water_in {
  double dt = 0.0;
  const double* depth = nullptr;        // at the end of the step, m
  const double* depth_start = nullptr;  // at its start, m (nullptr: the end's)
  const double* qx = nullptr;
  const double* qy = nullptr;
  const double* vol_x = nullptr;        // nullptr: the step's volumes were not kept
  const double* vol_y = nullptr;
};
struct sediment_water_out {
  double* depth = nullptr;
  double* qx = nullptr;
  double* qy = nullptr;
};
void sediment_water_of_step(const sediment_water_in& in, int first, int last, const sediment_water_out& out);

// Before the overland routing of a step in which the sediment moves: the
// depths the step starts from, for sediment_water_of_step.
void overland_sediment_before_routing(model_state& ms);

// After the overland routing of a step of dt seconds in which water
// flowed: detachment, transport and settling on every cell, the volumes
// moved booked in the sediment ledger, the cells' net change kept for the
// maps and, with ADJUST_ELEV, the ground raised or lowered by it. A volume
// that is not a number stops the run naming the cell and class.
void overland_sediment_after_routing(model_state& ms, double dt);

}  // namespace nivra
