// The channel pumps (PUMPTO cards of the channel input file; their ratings
// and records are surface/pumps.h, which the overland pumps share).
#pragma once

namespace nivra {

struct channel_state;

// Moves the water of every channel pump over dt seconds (at most what its
// node holds), then gives the two nodes their sections again. False after
// a section's message: the run stops.
bool apply_channel_pumps(channel_state& ch, double dt, double model_time);

}  // namespace nivra
