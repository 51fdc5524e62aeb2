// Channel network set-ups called by the map phase.
#pragma once

namespace nivra {

struct model_state;

// With explicit channel routing: reads the channel input file and sets up
// every channel array.
void init_channel_network(model_state& ms);

// With the pipe network and explicit channels: the channel link and node at
// the outlet of each superjunction.
void init_superlink_channel_links(model_state& ms);

}  // namespace nivra
