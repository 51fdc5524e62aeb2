// Culverts: the discharge of one barrel from the water surfaces on its two
// sides, choosing among six flow types (inlet or outlet control, free or
// submerged ends, part-full or full barrel), and the barrel geometry it
// needs. Barrels are circular (diameter D), arch (width W, height D) or box
// (width W, height D). Units: m, s, m3/s; 2g is 19.62.
#pragma once

#include "channel/structures.h"

namespace nivra {

// Barrel shapes.
namespace culvert_shape {
inline constexpr int circle = 1;
inline constexpr int arch = 2;
inline constexpr int box = 3;
}  // namespace culvert_shape

// Flow types of culv_flow, negated for flow toward the link's upstream
// side.
namespace culvert_flow_type {
inline constexpr int none = 0;
inline constexpr int inlet_steep = 1;        // inlet control, steep barrel, free outlet
inline constexpr int inlet_mild = 2;         // inlet control on a mild barrel, or a long mild barrel, free outlet
inline constexpr int partly_submerged = 3;   // part-full barrel, outlet partly submerged
inline constexpr int full_submerged = 4;     // full barrel, submerged outlet
inline constexpr int orifice = 5;            // submerged inlet, orifice control
inline constexpr int outlet_free = 6;        // submerged inlet, outlet control, free outlet
}  // namespace culvert_flow_type

// The discharge that marks a culvert whose flow could not be found.
inline constexpr double culvert_failed = -9999.99;

struct culvert_result {
  double q = 0.0;          // m3/s, positive toward the link's downstream side; culvert_failed on failure
  int flow_type = 0;       // culvert_flow_type, negated for reverse flow
  double size = 0.0;       // the barrel size: the critical depth of inlet control in a circular barrel, else D
  double area = 0.0;       // the area at that size
};

// The discharge of element `index` (for messages) at water surfaces h1 on
// the upstream side and h2 on the downstream side. The barrel slope is
// (upinvert - downinvert) / length. A barrel length below 0.1 mm, and a
// critical depth or root search that fails, print their lines and give
// culvert_failed.
culvert_result culv_flow(const structure_element& e, int index, double h1, double h2);

// Part-full geometry at depth y: area, wetted perimeter, top width.
struct culvert_section {
  double area = 0.0, perimeter = 0.0, top_width = 0.0;
};
culvert_section culvert_section_props(double d, double y, double w, int shape);

// Area at depth y of a circle of diameter d or a box of width w.
double culvert_area(int shape, double d, double w, double y);

// The critical depth (m) for discharge q: closed form in a box, Newton's
// method on the water surface's offset from the centre in a circle. False
// (with code 122 or, for an arch barrel, 123 set and the run stopped) when
// it cannot be found.
bool culvert_critical_depth(int shape, double d, double w, double q, double& yc);

// q - A(yc) C sqrt(2g) sqrt(H - yc): the energy balance of a barrel that
// runs at critical depth yc(q) under the head H.
double culvert_energy_residual(int shape, double d, double w, double coeff, double head, double q);

// Brent's root of culvert_energy_residual in q between lo and hi, within
// tol; culvert_failed (after its lines) when the two bounds do not bracket
// a root or 100 iterations do not find it.
double zbrent(int shape, double d, double w, double coeff, double head, double lo, double hi, double tol,
              int& iterations);

}  // namespace nivra
