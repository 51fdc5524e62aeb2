// Overland boundary conditions, applied by the overland step before the
// routing. Boundary conditions are not simulated yet: the cells keep their
// depths and no boundary volume is booked.
#include "surface/overland.h"

namespace nivra {

void overland_boundary(const overland_domain& d, double dt) {
  (void)d;
  (void)dt;
}

}  // namespace nivra
