// A component of the run's record: the pipe network of storm sewers and
// tile drains. Superjunctions (manholes and storage nodes with a free
// surface) are joined by superlinks, each a chain of pipes: a superlink of
// n pipes has nodes 1..n + 1, node 1 at its upstream superjunction and node
// n + 1 at its downstream one, pipe k between nodes k and k + 1.
//
// Per-node and per-pipe arrays are pipe_node_arrays indexed (node or pipe,
// superlink), a superlink's nodes side by side; with computational nodes
// (SUPERLINK_C_OPT) they hold the computational pipes, and otc_node and
// otc_pipe give the place of each node and pipe of the input file.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "pipe/superlink_scheme.h"

namespace nivra {

template <class T>
using pipe_node_array = column_array2d<T>;

// Inlet types of superjunctions and nodes (superjunctions only for the
// outfalls): 0 no inlet, 1..9 that many grates, 10 an open inlet that takes
// all the water of its cell.
namespace pipe_inlet {
inline constexpr int none = 0;
inline constexpr int most_grates = 9;
inline constexpr int open = 10;
inline constexpr int to_surface = 888;  // outfall onto the surface of its cell
inline constexpr int to_channel = 999;  // outfall into a channel node
}  // namespace pipe_inlet

// Section types of pipes.
namespace pipe_section {
inline constexpr int circular = 1;
inline constexpr int arch = 2;
inline constexpr int rectangular = 3;
}  // namespace pipe_section

struct pipe_state {
  // ---- Parameters: set at set-up from the cards and the pipe files,
  // read-only afterwards.
  int storm_sewer_given = 0;
  int high_head_release = 0, superlink_drainmod = 0;
  int superlink_junc_location_given = 0, superlink_node_location_given = 0;
  int superlink_c_opt = 0;
  int gw_to_tile = 0;                // some pipe leaks: tile drains fed by the water table
  int num_sjunc = 0;
  int num_slink = 0;
  int max_slink_nodes = 0;           // most (computational) pipes of one superlink
  // Superjunctions (1..num_sjunc).
  array1d<int> sjunc_inlet;          // inlet type (pipe_inlet::)
  array1d<int> superjunct_i, superjunct_j;  // grid row and column; channel link and node of an outfall to a channel
  array1d<int> superlink_junc_gnum;  // cell of the superjunction, 0 for an outfall to a channel
  array1d<double> junc_area;         // surface area, m2
  array1d<double> junc_ground_elev, junc_invert_elev;  // m
  array1d<double> junc_grate_sidelength, junc_grate_dia;  // m
  array1d<int> superlink_chan_con_link, superlink_chan_con_node;  // channel node of an outfall to a channel
  // Superlinks (1..num_slink).
  array1d<int> us_sjunc, ds_sjunc;   // upstream and downstream superjunction
  array1d<int> nnodes;               // pipes of the superlink in the input file
  array1d<int> superlink_cnodes;     // pipes the solver computes (nodes 1..count + 1)
  array1d<double> slink_us_invert, slink_ds_invert;  // invert of its first and last node, m
  // Nodes (node, superlink).
  pipe_node_array<int> inlet_type;
  pipe_node_array<int> superlink_node_i, superlink_node_j;  // grid row and column, 0 for none
  pipe_node_array<int> superlink_node_gnum;  // cell of the node, 0 for none
  pipe_node_array<double> node_ground_elev, slink_node_Zinv;  // m
  pipe_node_array<double> As;        // surface (storage) area, m2
  pipe_node_array<double> grate_sidelength_node, grate_dia_node;  // m
  // Pipes (pipe, superlink).
  pipe_node_array<int> sec_type;     // pipe_section::
  pipe_node_array<double> diameter;  // diameter, rise of an arch, height of a box, m
  pipe_node_array<double> width;     // span of an arch, width of a box, m
  pipe_node_array<double> S0;        // bed slope
  pipe_node_array<double> M_n;       // Manning's n
  pipe_node_array<double> dxc;       // length, m
  pipe_node_array<double> superlink_pipe_conductivity;  // of the ground around a tile drain, cm/h
  pipe_node_array<double> drain_spacing;  // of parallel tile drains, m
  // The input file's pipes and nodes: their lengths (pipe, superlink) and
  // their places among the computational ones.
  pipe_node_array<double> dx;
  pipe_node_array<int> otc_node, otc_pipe;
  // Grid-pipe file: the cells tile drains cross ([pipe cell][entry]).
  int gpi_num_cells = 0;
  int gpi_max_pipes = 0;
  array1d<int> gpi_ncellsingrid;
  array2d<int> gpi_link, gpi_node, gpi_gnum;  // superlink, input pipe and cell of each entry
  array2d<double> gpi_pct;           // share of the pipe's length in the cell

  // ---- State: the water of the pipe network.
  array1d<double> junc_head;         // water-surface elevation of each superjunction, m
  pipe_node_array<double> slink_node_depth;  // m
  pipe_node_array<double> Q;         // pipe flows, m3/s (pipe 1 the superlink's upstream end flow, pipe n its downstream one)
  pipe_node_array<double> Q_node;    // inflow from the surface at each node, m3/s
  pipe_node_array<double> superlink_tile_flow;  // groundwater into each pipe, m3/s
  array1d<double> sjunc_flow;        // inflow from the surface at each superjunction, m3/s
  array1d<double> junc_inflow;       // surface and tile inflow of each superjunction over the pipe step, m3/s
  double sl_drain_vol = 0.0;         // water in the drains, m3
  // Water the outfalls delivered to channel nodes that the channels have not
  // taken yet: per flat channel node address (link x max_nodes_per_link +
  // node), and its sum (m3).
  array1d<double> chan_sl_vol;
  double chan_sl_pending = 0.0;
  // The channel at each outfall into a channel (per superjunction, set by
  // the pipe step before the solver; made with such outfalls): the water
  // surface at its receiving node, m (the outfall's head while it stands
  // above the outfall's bottom), and the water that node holds, m3 (all a
  // river flowing back into the pipes can give in a pipe step).
  array1d<double> sl_tailwater, sl_tail_volume;

  // ---- Per-run bookkeeping and step flags.
  int sl_step_count = 0;             // pipe steps taken
  superlink_scheme solver;           // the network solver's own object
  // The overland depths as they stood before the pipe step (ncells + 2
  // entries, made at set-up), for the sediment the inlets carry.
  array1d<double> sl_prestep_depth;
  // Per cell, the water its inlets exchanged with the network in the pipe
  // step (m3; positive into the pipes, negative spilled back onto it),
  // made at set-up, filled by the solver, emptied by the sediment and the
  // dissolved constituents the water carries.
  array1d<double> sl_sed_water;

  // ---- Files: location lists and outputs of the pipe network.
  guarded_file superlink_node_location_file;
  guarded_file superjunction_location_file;
  guarded_file superjunction_output_file;
  guarded_file superlink_node_output_file;
  guarded_file pipe_head_file;
  guarded_file pipe_tile_file;
  guarded_file pipe_flow_file;
  guarded_file superlink_flows_file;  // "superlink_flows.out": the volumes of every pipe step
};

}  // namespace nivra
