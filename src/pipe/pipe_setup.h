// Pipe network ("superlink") set-up of the map phase.
#pragma once

namespace nivra {

struct model_state;

// With the STORM_SEWER card: reads the network and ties its junctions and
// nodes to grid cells.
void read_superlink_pipes(model_state& ms);
// With the pipe network and explicit channels: the channel link and node at
// the outlet of each superjunction.
void init_superlink_channel_links(model_state& ms);

}  // namespace nivra
