// The channel point-source file (CHAN_POINT_INPUT): discharges (m3/s,
// negative for a withdrawal) and constituent concentrations given at
// channel nodes, which change at listed dates. Plain text of tokens
// separated by white space; card words are compared on their first five
// characters in any case:
//
//   ... numpt n
//   point node link discharge [one concentration per constituent]   (n times)
//   nrpds m
//   input year month day hour minute                                 (m times,
//     then per point in file order its discharge and concentrations)
//
// Other tokens before numpt, between the point lines and before nrpds are
// skipped (at most 10,000 in all). A year below 100 is 19yy. The whole
// file is read at set-up and every number checked, so a fault stops the
// run before it starts; the changes then take effect in the time loop.
#pragma once

#include "core/guarded_file.h"

namespace nivra {

struct channel_state;

// Reads the file into ch: the points' addresses, their base discharges in
// chan_point_flow (and concentrations in chan_point_conc), the change
// times and values, and turns the point sources on. Every point names a
// computational node of a channel link, no two the same node, and the
// change dates follow one another. With constituents every discharge is
// followed by one concentration per constituent; sediment_classes of them
// are the sediment classes a SOIL_EROSION of 10 or more carries, which a
// missing concentration's message names. False after a message naming the
// file and the line: the run stops.
bool read_chan_source_file(channel_state& ch, guarded_file& f, int num_constituents, int sediment_classes = 0);

// Gives the points the values of change k (1-based).
void apply_chan_point_change(channel_state& ch, int k);

}  // namespace nivra
