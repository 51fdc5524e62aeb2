// Explicit channel routing: a diffusive wave through the network. The
// discharge of a node is the conveyance of the higher side times the square
// root of the water-surface slope to the next node (chan_node_flows); the
// flow area of a node follows from the volume it gains and loses over a
// sub-step (chan_node_continuity); depths and conveyances follow from the
// areas (channel_sections.h). ex_flow_route cuts a channel step into
// sub-steps that keep a Courant number below max_courant_number and stay
// within the diffusive wave's stability bound dx^2 / (2 D), each a
// predictor-corrector pass (two with water crossing the banks) after the
// exchange with the cells (lateral_inflow.h) from the water surfaces the
// sub-step starts with, halves a sub-step that would leave a node with a
// negative area, and hands back the volumes that crossed the network's
// boundary.
//
// Units: m, s, m3/s, m3. The kernels take a channel_domain, never the
// record; what they keep between calls lives in channel_state::routing.
#pragma once

#include "channel/channel_state.h"
#include "channel/lateral_inflow.h"
#include "channel/stream_aquifer.h"
#include "model/water_ledger.h"

namespace nivra {

struct grid_state;
struct lake_state;
struct overland_state;

// What a routing call works on: the channel network and its water, the
// overland water it exchanges with the cells, and what the step hands over
// from other components.
struct channel_domain {
  channel_state& ch;
  overland_state& overland;
  const grid_state& grid;
  lake_state& lakes;
  bool lateral = false;             // the cells exchange water with their nodes
  bool overland_backwater = false;  // the OVERLAND_BACKWATER card
  double model_time = 0.0;    // days: the time of scheduled releases
  bool sediments = false;     // channel sediment transport keeps qp_vol_sed
  bool constituents = false;  // channel constituent transport keeps qp_vol
  // With STREAM_LOSS: the ground under the channels, from which every
  // sub-step computes the stream-aquifer exchange anew (no water table:
  // the channels' loss alone), and the cells' pending exchange with the
  // aquifer (m3 into the channels, per cell), or null when no aquifer
  // takes it.
  stream_aquifer_cells aquifer{};
  double* cell_exchange = nullptr;
  // Hydrograph locations whose passed volume calibration keeps (1..count),
  // or none.
  int locations = 0;
  const int* location_link = nullptr;
  const int* location_node = nullptr;
  double* location_volume = nullptr;
};

// How a call ended; the kernel printed the lines of a failure.
enum class channel_status {
  ok,
  area_not_a_number,
  negative_depth,
  sub_step_too_small,
  negative_outlet_slope,
  section_failed,
  structure_failed,  // a culvert's discharge could not be found
  exchange_failed,   // the stream-aquifer exchange met a break-point table beyond the last
};

// Volumes of one pass of the volume balance or of a whole call (m3).
struct channel_books {
  double outlet = 0.0;        // through the last node of the outlet link
  double lateral_in = 0.0;    // from the cells into the nodes
  double lateral_out = 0.0;   // from the nodes onto the cells (positive)
  double headwater = 0.0;     // first_order_chan_q into the links without upstream links
  double xy_stream_in = 0.0;  // the XY stream points' hydrographs into their nodes
  double point_in = 0.0;      // channel point sources
  double point_out = 0.0;     // channel point sinks (positive)
  double aquifer_in = 0.0;    // stream-aquifer exchange into the channels
  double aquifer_out = 0.0;   // out of them (positive)
  double lake_in = 0.0;       // from the channels into the channel lakes
  double lake_out = 0.0;      // from the channel lakes through their structures (positive)
  double lake_point_in = 0.0;   // POINTSOURCE series of lake links into their lakes
  double lake_point_out = 0.0;  // out of them (positive)
  double clipped = 0.0;       // water made by setting areas just below zero to zero
  int clipped_nodes = 0;      // how often that happened
  int sub_steps = 0;
};

// The terms of the routing's books.
inline constexpr books_map<channel_books, 14> channel_books_terms{{{
    {&channel_books::outlet, water_flux::outlet_discharge},
    {&channel_books::lateral_in, water_flux::channel_lateral_in},
    {&channel_books::lateral_out, water_flux::channel_lateral_out},
    {&channel_books::headwater, water_flux::channel_headwater_inflow},
    {&channel_books::xy_stream_in, water_flux::xy_stream_inflow},
    {&channel_books::point_in, water_flux::channel_point_sources},
    {&channel_books::point_out, water_flux::channel_point_sinks},
    {&channel_books::aquifer_in, water_flux::groundwater_to_channels},
    {&channel_books::aquifer_out, water_flux::channels_to_groundwater},
    {&channel_books::lake_in, water_flux::channels_to_channel_lakes},
    {&channel_books::lake_out, water_flux::channel_lakes_to_channels},
    {&channel_books::clipped, water_flux::channel_area_fill},
    {&channel_books::lake_point_in, water_flux::lake_point_sources},
    {&channel_books::lake_point_out, water_flux::lake_point_sinks},
}}};

struct channel_result {
  channel_status status = channel_status::ok;
  channel_books books;
  lateral_result cells;  // the exchange with the cells over the step (booked by lateral_books_terms)
  int exchange = 0;  // the stream_exchange word of the last sub-step (STREAM_LOSS)
};

// Node discharges (m3/s) into q from the present water surfaces
// (bel + chan_depth) and conveyances, for a sub-step of h seconds. A
// structure link passes the sum of its elements (channel/structures.h)
// from the last node of the link above (or from the lake above, at its
// level) to node 1 of the link below, at most the water the giving node or
// lake holds over the sub-step, and nothing while both sides are dry; the
// link above hands it on as the discharge of its last node. A channel
// flows into a lake down the slope to the lake's level, never back. A negative outlet bed slope under normal-depth outflow
// and a failed culvert print their lines and fail.
channel_status chan_node_flows(const channel_domain& d, node_array<double>& q, double h);

// The volume balance of a sub-step of h seconds: each routed node's area
// (in `areas`) gains its lateral inflow, what flows in from the node above
// (or the upstream links, or first_order_chan_q), its point sources (the
// point-source file's and its POINTSOURCE series') and its stream-aquifer
// exchange, and loses its own discharge q. A sink or a
// losing bed never takes more than the node holds. The fixed-head outlet
// node keeps its area. Returns the volumes that crossed the network's
// boundary in the pass.
channel_books chan_node_continuity(channel_state& ch, node_array<double>& areas, const node_array<double>& q, double h);

// Routes the network over dt seconds. With `lateral` every sub-step first
// exchanges water with the cells over its own length (lateral_exchange),
// on top of the lateral inflow the step brought from elsewhere (the
// baseflow of a lumped model), and a sub-step tried again gives the cells
// their depths back; after the call gst_qlat and qlat hold the step's
// means. The channel lakes gain what their upstream channels deliver and
// what their POINTSOURCE series give, and lose what their structures pass,
// sub-step by sub-step, with the discharges the nodes' areas were balanced
// with. With STREAM_LOSS every sub-step computes the exchange with the
// ground from the water it starts with, and hands what each node exchanged
// to the cells under it (cell_exchange).
channel_result ex_flow_route(const channel_domain& d, double dt);

}  // namespace nivra
