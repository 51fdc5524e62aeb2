// Culverts: the discharge of one barrel from the water surfaces on its two
// sides, the lesser of inlet control and outlet control (FHWA HDS-5), named
// by one of six flow types, and the barrel geometry it needs. Barrels are circular (diameter D), arch (width W, height D) or box
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
inline constexpr int inlet_steep = 1;        // inlet control, open inlet, steep barrel (above 1 %)
inline constexpr int inlet_mild = 2;         // inlet control, open inlet, mild barrel
inline constexpr int partly_submerged = 3;   // outlet control, the tailwater over the outlet's free level
inline constexpr int full_submerged = 4;     // outlet control, full barrel with submerged outlet
inline constexpr int orifice = 5;            // inlet control, inlet over its crown (orifice and transition)
inline constexpr int outlet_free = 6;        // outlet control, free outlet
}  // namespace culvert_flow_type

// The discharge that marks a culvert whose flow could not be found.
inline constexpr double culvert_failed = -9999.99;

struct culvert_result {
  double q = 0.0;          // m3/s, positive toward the link's downstream side; culvert_failed on failure
  int flow_type = 0;       // culvert_flow_type, negated for reverse flow
  double size = 0.0;       // the critical depth at an open inlet under inlet control, else D
  double area = 0.0;       // the area at that depth
};

// The discharge of element `index` (for messages) at water surfaces h1 on
// the upstream side and h2 on the downstream side, with the discharge
// coefficient of the flow's direction. Inlet control: the critical flow of
// an open inlet up to the crown, an orifice from 1.5 D over the inlet
// invert, a straight transition between. Outlet control: the barrel's
// entrance, exit and friction losses under the drop to the tailwater (or
// to half the flow depth over a free outlet). The rating is continuous,
// rises with the headwater and never rises with the tailwater. A barrel
// length below 0.1 mm prints its lines and gives culvert_failed.
culvert_result culv_flow(const structure_element& e, int index, double h1, double h2);

// Part-full geometry at depth y: area, wetted perimeter, top width.
struct culvert_section {
  double area = 0.0, perimeter = 0.0, top_width = 0.0;
};
culvert_section culvert_section_props(double d, double y, double w, int shape);

}  // namespace nivra
