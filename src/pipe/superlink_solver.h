// The pipe network solver. Over one pipe step it takes water from the cells
// through the inlets of superjunctions and nodes (grates by their weir and
// orifice capacity, open inlets all of it), spills surcharged ones back
// onto their cells (HIGH_HEAD_RELEASE), and routes the network by the
// superlink scheme in internal steps held to the pipes' Courant limit (but
// not below 1 s): inside each superlink the momentum and continuity of its
// pipes and nodes are eliminated by a forward and a backward recurrence, so
// that the flows at its two ends are linear in the heads of its two
// superjunctions; one sparse system over the superjunctions (each row
// couples a superjunction to the ones its superlinks reach) gives the new
// heads; the flows then follow.
//
// The water is kept exactly: every superjunction (with the halves of the
// end pipes that open into it) and every interior node is a control volume
// whose new water follows from the flows through its pipes, and its depth
// from that water; an outflow never takes more than a control volume
// holds (its share is cut, the neighbour receiving less). Outfalls
// (pipe_inlet::to_surface, to_channel) keep their head at their bottom and
// only receive; what reaches them goes onto their cell or waits for the
// channel node they sit on (pipe_state::chan_sl_vol).
//
// Units: m, s, m3/s, m3. The kernel takes a superlink_domain, never the
// record; its work arrays live in pipe_state::solver.
#pragma once

#include "channel/pipe_state.h"
#include "core/thread_pool.h"

namespace nivra {

inline constexpr double pipe_depth_floor = 0.0001;  // the shallowest node depth, m

struct superlink_domain {
  pipe_state& p;
  double* ov_depth = nullptr;       // overland depth of each cell (1-based), m
  const double* blocked = nullptr;  // blocked fractions of the cells, or null
  double cell_area = 0.0;           // m2
  int max_nodes_per_link = 0;       // channel node rows: the address of an outfall's channel node
  bool tiles = false;               // superlink_tile_flow holds the tile drains' inflow of this step
  thread_pool* crew = nullptr;      // the run's threads, or null: the calling thread alone
};

enum class superlink_status {
  ok,
  depth_failed,  // a critical or normal depth could not be found (printed)
  singular,      // the system of the heads is singular, or too badly conditioned to trust
  solver_failed, // the sparse solver could not factorise or solve (no memory)
  not_finite,    // a head or flow came out infinite or not a number
};

// Volumes of one call (m3).
struct superlink_books {
  double surface_in = 0.0;     // from the cells through the inlets
  double tile_in = 0.0;        // from the groundwater through the tile drains
  double to_surface = 0.0;     // spilled and let out onto the cells
  double to_channel = 0.0;     // let out toward channel nodes
  double boundary_net = 0.0;   // into fixed-head boundaries (negative: out of them)
  double made = 0.0;           // water a control volume lacked to stay at its floor
  double storage_start = 0.0, storage_end = 0.0;
  int internal_steps = 0;
  bool surcharged = false;     // some superjunction or node spilled onto its cell
  bool fed_channel = false;    // some outfall let water toward a channel node
};

struct superlink_result {
  superlink_status status = superlink_status::ok;
  superlink_books books;
  int failed_link = 0;  // the superlink or superjunction a failure names
};

// Sizes the state of a network read from its files and sets it at rest:
// every head at its superjunction's bottom, every node at the shallowest
// depth, no flow; sizes the solver and analyses the pattern of its system
// of heads; sl_drain_vol the water that leaves. False when the analysis
// fails (printed).
bool init_superlink_state(pipe_state& p);

// Water in the pipes and superjunctions (the halves of end pipes with
// their superjunction, at its head), m3.
double pipe_network_volume(const pipe_state& p);

// Advances the network over dt seconds.
superlink_result superlink_solve(const superlink_domain& d, double dt);

// Fixed-head boundary superjunctions: inlet types from 11 up, the outfalls
// among them only receiving.
inline bool is_boundary_junction(int inlet) { return inlet > pipe_inlet::open; }
inline bool is_outfall(int inlet) { return inlet == pipe_inlet::to_surface || inlet == pipe_inlet::to_channel; }

}  // namespace nivra
