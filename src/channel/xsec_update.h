// The bed of erodible break-point channels after sediment transport: the
// volume of sand a node's bed lost (or gained) since the start becomes a
// lower (or higher) section, a new bed elevation and, when the bed is to
// be adjusted, a new property table.
#pragma once

#include "channel/channel_state.h"

namespace nivra {

// For every node of every erodible break-point link: the bed volume
// V = (initial sand - current sand) / (1 - porosity) (m3; positive for
// erosion) is taken out of (or put into) the wet part of the node's
// section under the deepest water reached (max_yp), the points lowered the
// more the deeper they lie (for deposition the shallower points less
// still), until the section's volume change matches V within 1e-5. The
// bed never falls below min_bel, the bed at the first update of the run
// less its erosion depth. A change deeper than the deepest water is cut to
// it with a warning. With adjust_bed the node's section and table take the
// new shape. `sand` holds the current sand volume of each node (node,
// link). False after a fatal message (a bed above the deepest water, no
// convergence in 500 passes, a jagged section): the run stops.
bool xsec_update(channel_state& ch, const node_array<double>& sand, double porosity, bool adjust_bed);

}  // namespace nivra
