// The pipe network's share of a run. The map phase reads the network
// (read_superlink_pipes, pipe/pipe_setup.h) and gives the channels the
// place of its outfalls (init_superlink_channel_links, pipe/pipe_setup.h);
// the time loop's storm_sewer_step (below) runs the network after overland routing when its clock is due: it takes
// the tile drains' groundwater, calls the solver, books what crossed the
// network's boundary (overland_to_pipes, pipes_to_overland,
// groundwater_to_pipes), writes "superlink_flows.out", wakes the overland
// and channel clocks when the pipes put water on them and, in long-term
// runs, parks the network between events. The channel step takes what the
// outfalls delivered to its nodes (take_pipe_outflow) and books it
// (pipes_to_channels); until then the pipe network holds it.
#pragma once

namespace nivra {

struct model_state;

// Hands the channel step of dt seconds the water the outfalls delivered to
// channel nodes since the last one, as a steady inflow of each node over
// the step (channel_state::chan_pipe_flow), and books it.
void take_pipe_outflow(model_state& ms, double dt);

// The pipe network's step of the time loop.
void storm_sewer_step(model_state& ms);

}  // namespace nivra
