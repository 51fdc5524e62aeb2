// The pipe network solver. Over one pipe step it takes water from the cells
// through the inlets of superjunctions and nodes (grates by their weir and
// orifice capacity, open inlets all of it), spills surcharged ones back
// onto their cells (HIGH_HEAD_RELEASE), and routes the network by the
// superlink scheme: inside each superlink the momentum and continuity of
// its pipes and nodes are eliminated by a forward and a backward
// recurrence, so that the flows at its two ends are linear in the heads of
// its two superjunctions; one sparse system over the superjunctions (each
// row couples a superjunction to the ones its superlinks reach) gives the
// new heads; the flows then follow. Each superlink takes the internal steps
// its own pipes' Courant limit asks for (not below 1 s) over a network step
// in which its superjunctions' heads go linearly to the solved ones, and
// its end flows over the whole step enter the system; the superlinks the
// solved heads move too far from those they were run with run again with
// them (local time stepping: the repeats and the short steps go only where
// they are needed). Superjunctions whose heads the step finds far from
// where their last rates would have taken them (a fast transient the step
// is too long for) take it again in shorter steps of their own, with the
// superlinks that open into them, the heads around them going linearly
// over the step.
//
// The water is kept exactly: every superjunction (with the halves of the
// end pipes that open into it) and every interior node is a control volume
// whose new water follows from the flows through its pipes, and its depth
// from that water; an outflow never takes more than a control volume
// holds (its share is cut, the neighbour receiving less). An outfall onto
// the surface (pipe_inlet::to_surface) keeps its head at its bottom and
// only receives: what reaches it goes onto its cell. An outfall into a
// channel (to_channel) keeps its head at the water surface of its channel
// node (pipe_state::sl_tailwater) while that stands above its bottom, so a
// rising river backs water up the pipes and, once above the water in
// them, flows into them, no more than the node holds
// (pipe_state::sl_tail_volume); what an outfall lets out, or takes in,
// waits for the channel node as a volume to add to it, or take from it
// (pipe_state::chan_sl_vol).
//
// Units: m, s, m3/s, m3. The kernel takes a superlink_domain, never the
// record; its work arrays live in pipe_state::solver.
#pragma once

#include "core/thread_pool.h"
#include "model/water_ledger.h"
#include "pipe/pipe_state.h"

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
  double to_channel = 0.0;     // let out toward channel nodes, less what flowed back from them
  double boundary_out = 0.0;   // into fixed-head boundaries
  double boundary_in = 0.0;    // out of them
  double made = 0.0;           // water a control volume lacked to stay at its floor
  double storage_start = 0.0, storage_end = 0.0;
  int internal_steps = 0;
  bool surcharged = false;     // some superjunction or node spilled onto its cell
  bool fed_channel = false;    // some outfall let water toward a channel node
};

// The terms of the network's books.
inline constexpr books_map<superlink_books, 6, 3> superlink_books_terms{
    {{
        {&superlink_books::surface_in, water_flux::overland_to_pipes},
        {&superlink_books::tile_in, water_flux::groundwater_to_pipes},
        {&superlink_books::to_surface, water_flux::pipes_to_overland},
        {&superlink_books::boundary_out, water_flux::pipes_to_boundary},
        {&superlink_books::boundary_in, water_flux::boundary_to_pipes},
        {&superlink_books::made, water_flux::pipe_floor_fill},
    }},
    {{
        {&superlink_books::to_channel,
         "waits at the outfalls' channel nodes (taken from them when negative): booked when the channels take it"},
        {&superlink_books::storage_start, "a storage"},
        {&superlink_books::storage_end, "a storage"},
    }}};

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

// What a network step may err by in a free superjunction's head: this
// share of the widest pipe opening into it (superlink_scheme::junc_scale).
// A superjunction that errs by more is fast, and its group takes the step
// in shorter steps of its own.
inline constexpr double head_error_share = 1e-4;

// The local error of free superjunction j's head solved at `solved` over a
// step of H seconds from head_start[j], as a share of what a step may err
// by: above 1 the superjunction is fast. A head that goes on at the rate it
// rose at over its last step (head_rate[j] over rate_span[j] seconds; H when
// none is known) errs by nothing.
double head_error(const superlink_scheme& s, int j, double H, double solved);

// Fixed-head boundary superjunctions: inlet types from 11 up, the outfalls
// among them only receiving.
inline bool is_boundary_junction(int inlet) { return inlet > pipe_inlet::open; }
inline bool is_outfall(int inlet) { return inlet == pipe_inlet::to_surface || inlet == pipe_inlet::to_channel; }

// The head a boundary superjunction holds: its bottom, or for an outfall
// into a channel the channel's water surface when that stands higher.
inline double boundary_head(const pipe_state& p, int j) {
  const double bottom = p.junc_invert_elev[j];
  if (p.sjunc_inlet[j] != pipe_inlet::to_channel || p.sl_tailwater.empty()) return bottom;
  return p.sl_tailwater[j] > bottom ? p.sl_tailwater[j] : bottom;
}

// The water a boundary superjunction can give the pipes in a step: a fixed
// head any, an outfall into a channel what its node holds, an outfall onto
// the surface none.
inline double boundary_supply(const pipe_state& p, int j) {
  if (p.sjunc_inlet[j] != pipe_inlet::to_channel || p.sl_tail_volume.empty()) return 0.0;
  return p.sl_tail_volume[j];
}

}  // namespace nivra
