// The pipe network's files.
//
// The superlink file (STORM_SEWER) holds cards, one per line, its first word
// compared exactly; lines with any other first word are comments:
//   CONNECT superlink upstream-superjunction downstream-superjunction
//   SJUNC   superjunction ground bottom area inlet row column grate-side grate-diameter
//   SLINK   superlink pipes, followed by its NODE and PIPE lines:
//   NODE    node ground invert area inlet row column grate-side grate-diameter
//   PIPE    pipe type diameter width slope manning-n length conductivity spacing
// Elevations, lengths and sizes in m, areas in m2, conductivity in cm/h.
// Superlinks and superjunctions are numbered from 1 by their CONNECT and
// SJUNC cards; a superlink of n pipes has nodes 1..n + 1. Inlet types are
// pipe_inlet:: (888 and 999 for superjunctions only); the row and column of
// an outfall into a channel are its channel link and node. With
// computational nodes (SUPERLINK_C_OPT) a superlink of one pipe is cut into
// segments, from 4 of L/4 for a short pipe to 10, 20, 50, 100, ..., 50, 20,
// 10 m for a long one, and the end pipes of a longer superlink are
// shortened to 10 m and to a quarter of its length.
//
// The grid-pipe file (GRID_PIPE) tells the cells the tile drains cross:
//   GRIDPIPEFILE
//   PIPECELLS count
//   then per cell: CELLIJ row column; NUMPIPES n; n lines SPIPE superlink pipe share
// (keywords in any case).
//
// Every number is checked where it is read; a fault names the file and the
// line and stops the reading.
#pragma once

#include <string>
#include <vector>

#include "core/guarded_file.h"
#include "pipe/pipe_state.h"

namespace nivra {

struct channel_state;
struct grid_state;
struct output_state;

// Reads the superlink file into p (sizes every array, splits the pipes
// when p.superlink_c_opt is set); the progress lines of the split are
// printed unless quiet. Outfalls into channels take nodes of `channels`
// (null without explicit channel routing). False after a message.
bool read_superlink_file(pipe_state& p, guarded_file& f, const std::string& name, const grid_state& grid,
                         const channel_state* channels, bool quiet);

// Reads the grid-pipe file of a network read by read_superlink_file. False
// after a message.
bool read_grid_pipe_file(pipe_state& p, guarded_file& f, const std::string& name, const grid_state& grid);

// The lengths of the segments a single pipe of length L is cut into, from
// upstream.
void split_pipe_lengths(double length, std::vector<double>& out);

// The superjunction and superlink-node output locations: a count, then one
// superjunction per line, or one superlink and node per line. False after
// a message.
bool read_superjunction_locations(output_state& out, guarded_file& f, const std::string& name, const pipe_state& p);
bool read_superlink_node_locations(output_state& out, guarded_file& f, const std::string& name, const pipe_state& p);

}  // namespace nivra
