// Channel nodes under a lake. A channel lake that spreads over the cells a
// channel reach crosses swallows the reach's nodes from the downstream end
// upwards: a node whose cells lie wholly in the lake (flooded share within
// 0.1 % of 1) is taken when the node below it is the lake's, and its water
// becomes lake water. A taken node comes back, from the upstream side down,
// once none of its cells is under the lake: it gets the lake's depth over
// its bed (or, above the lake, half the depth of the water upstream), and
// that water leaves the lake. A link with every node taken belongs to the
// lake (link_type::captured) until its first node comes back. The outlet
// link is never taken.
#pragma once

#include "channel/channel_routing.h"

namespace nivra {

struct lake_state;

// Sizes the node states and flooded shares (set-up, with channel lakes).
void size_lake_capture(channel_state& ch);

// One pass of capture and release before a routing call of dt seconds: the
// water moved between nodes and lakes goes into b (lake_in, lake_out); the
// lateral inflow a taken node was given for the step goes into the lake
// with it (and into b's lateral volumes), and so, over the call, do what
// the pipes and the point sources give the nodes the lakes hold (b's point
// volumes; a sink draws from the lake, at most what it holds). A released
// node whose depth is not a number prints its line and fails.
channel_status lake_capture_and_release(channel_state& ch, lake_state& lakes, double dt, channel_books& b);

}  // namespace nivra
