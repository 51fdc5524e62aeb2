// Overland boundary conditions, applied by the overland step before the
// routing. Boundary conditions are not simulated yet: the cells keep their
// depths and no boundary volume is booked.
#include "surface/overland.h"

namespace nivra {

void overland_boundary(model_state& ms, double dt) {
  (void)ms;
  (void)dt;
}

}  // namespace nivra
