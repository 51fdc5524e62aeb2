// Sediment in the channel network: the particle classes as the channels
// see them (fine classes travel as wash load, sand classes as bed load),
// the sand of the erodible beds at the start of a run, the sediment the
// cells hand to the channel nodes, and one channel sediment step (sand by
// Yang's unit-stream-power capacity, wash load with the water, both into
// lakes and out of the outlet), with the volumes it moved per class.
//
// Volumes are solid m3. Nothing is made or lost: per class, stored in the
// nodes + in the lakes (suspended, settled, sand deposits) + through the
// outlet + given back to the cells = at the start + from the cells.
#pragma once

#include "channel/channel_sand.h"
#include "channel/channel_state.h"
#include "channel/channel_wash.h"
#include "core/arrays.h"

#include <vector>

namespace nivra {

struct lake_state;
struct model_state;

// The particle classes of a run as the channels carry them. Positions
// 1..n_fine are the fine classes and n_fine + 1..n the sand classes, each
// group in the order of the classes (`order` gives the class of a
// position, `position` the position of a class).
struct chan_sed_classes {
  int n = 0, n_fine = 0, n_sand = 0;
  array1d<int> order, position;
  array1d<int> sand;         // per class: 1 sand, 0 fine
  array1d<double> settling;  // per class: fall velocity, m/s
  array1d<double> density;   // per class: kg of solids per m3 of solids
  array1d<double> fine_settling;  // per fine position: fall velocity, m/s
  array1d<double> sand_diam, sand_settling;  // per sand position: diameter, mm, and fall velocity, m/s
  double sand_size = 0.0;    // mm: a class at least this coarse is sand
  double viscosity = 1.0e-6; // m2/s
  double porosity = 0.0;     // of the bed sand
};

// The class split of n classes of diameter diam (mm) and specific gravity
// sg (1-based arrays) in water of temperature temp_c: sand from sand_size
// up, fall velocities and densities.
chan_sed_classes split_sediment_classes(int n, const double* diam, const double* sg, double sand_size,
                                        double temp_c, double porosity);

// What one channel sediment step moved, per class (column 0 unused), m3.
struct chan_sed_books {
  // Taken from the cells' suspended and loose sediment by
  // cells_to_channel_nodes (added up until cleared by the caller).
  array1d<double> suspended_to_channels, loose_to_channels;
  array1d<double> channels_to_cells;  // wash load the spilling water took back onto the cells
  // Of the step:
  array1d<double> cells_to_channels;  // lateral sediment taken into the nodes
  array1d<double> cells_to_lakes;     // sediment the cells sent into the channel lakes
  array1d<double> channels_to_lakes;  // carried from the nodes into lakes
  array1d<double> lakes_to_channels;  // wash load leaving the lakes into the nodes
  array1d<double> outlet;             // through the outlet
  array1d<double> shortfall;          // a node short of what its fluxes took, set back to 0
  array1d<double> settled;            // settled in the lakes (inside the lakes)
  array1d<double> point_sinks;        // wash load drawn by the nodes' point sinks with their water
  array1d<double> lake_point_sinks;   // wash load drawn by the lakes' point sinks with their water
  void alloc(int classes);
  void clear();
};

// What the channel step's sediment did that the constituents riding on the
// fines follow (kept only when `channel_sediment::keep_moves` is set):
// every grid-stream entry that took sediment from its cell (the cell, the
// flat node, the share of the cell's sediment taken, and per fine position
// the suspended and the loose volume moved, m3), every fine volume spilled
// from a node onto its cell (with the node's volume of the class just
// before), and the wash load of every node and lake at the start of the
// step's transport (after the intake).
struct cell_take {
  int cell = 0, flat = 0;
  double share = 0.0;
};
struct node_spill {
  int cell = 0, flat = 0, position = 0;
  double volume = 0.0, before = 0.0;
};
struct chan_sed_moves {
  std::vector<cell_take> takes;
  array2d<double> take_susp, take_loose;  // [take][fine position]
  std::vector<node_spill> spills;
  array2d<double> vol_start;              // [flat node][fine position]
  array2d<double> lake_start;             // [lake][fine position]
  // The cells of a channel lake that gave the lake fine sediment (the
  // cell, and in `flat` the lake), with per fine position the volume
  // given, suspended and settled on the cell, m3.
  std::vector<cell_take> lake_takes;
  array2d<double> lake_take_fines;        // [take][fine position]
  // The wash load a lake let out onto its land cells in the last overland
  // sediment step, per cell across its right (x) and lower (y) face and
  // fine position, m3 (positive: toward the right or lower cell); emptied
  // by the constituents that follow it.
  array2d<double> lake_face_x, lake_face_y;  // [cell][fine position]
  // Sized for every grid-stream entry; nothing grows in a step.
  void alloc(int entries, int flat_nodes, int lakes, int n_fine);
  // With channel lakes: sized for every cell of the grid.
  void alloc_lake_cells(int cells, int n_fine);
};

// The channel sediment of a run: the classes, the sand and the wash-load
// stores, the step's work arrays, and what the cells have given the lakes
// so far.
struct channel_sediment {
  chan_sed_classes classes;
  chan_sand_store sand;         // [flat node][sand position]
  chan_wash_store wash;         // [flat node][fine position]
  chan_wash_step wash_step;
  node_array<double> layer;     // erodible sand layer under each node of an erodible link, m
  node_array<double> node_sand; // (node, link) total stored sand, for the section update
  array2d<double> lake_sand;    // [lake][sand position] sand settled on lake beds and boundaries
  array2d<double> lateral_total;  // [flat node][class] cumulative sediment from the cells
  array2d<double> lake_taken;   // [lake][class] of the cells' sediment to lakes, what the channels took in
  array1d<double> cell_share;   // per cell: the share of its sediment taken in the step (scratch)
  array1d<double> sand_init;    // [sand position] in the beds at the start of the run
  chan_sed_books books;         // of the last step
  bool keep_moves = false;      // keep `moves` for the constituents on the fines
  chan_sed_moves moves;         // of the last step
  int steps_taken = 0;          // channel sediment steps of the run
  double last_dt = 0.0;         // length of the last one, s
  int nodes_without_width = 0;  // erodible nodes left in place for want of a bottom width
  bool ready = false;
};

// Sizes the stores and puts the initial sand into the beds of the erodible
// links: per node a layer MAX_EROSION deep across the bed (the bottom width
// of a trapezoid, the lowest wet width of a break-point section) over the
// node's length, less the pores, shared equally by the sand classes. New
// and original beds start as the bed. Returns the sand put in, m3.
double setup_channel_sediment(channel_state& ch, const lake_state& lakes, int ncells, chan_sed_classes classes,
                              channel_sediment& sed);

// The sediment the cells hand to the channel nodes in a step: each
// grid-stream entry of a routed link whose node takes water from its cell
// (or whose cell holds water, when the channel cannot spill back) takes
// its share of the cell's suspended and loose sediment of every class. A
// cell's shares are its entries' length shares, scaled down when they
// add up to more than one. Where the channel spills back onto the grid
// (overland backwater or overbank flow) and a node gives water to its cell
// (qlat below 0), the water takes the node's wash load at its
// concentration over the dt seconds of the step, up to what the node holds,
// onto the cell's suspended sediment. susp and dep are [cell][class].
struct cell_sediment_stores {
  array2d<double>* susp = nullptr;
  array2d<double>* dep = nullptr;
  const double* depth = nullptr;
};
void cells_to_channel_nodes(const channel_state& ch, cell_sediment_stores cells, bool overland_backwater, double dt,
                            channel_sediment& sed);

// One channel sediment step of dt seconds after the routing: sand, wash
// load, lakes. `from_cells_to_lakes` ([lake][class], cumulative) is what the
// cells have sent into the channel lakes; the step takes in what is new.
// The bed of erodible trapezoid nodes follows the stored sand in new_bel,
// and with adjust_bed the channel's bed too (the water rides on it).
// False when a lateral sediment volume is not a number (the message is
// printed).
bool channel_sediment_step(channel_state& ch, const lake_state& lakes, const array2d<double>* from_cells_to_lakes,
                           bool adjust_bed, double dt, channel_sediment& sed);

// The channel step's sediment share, after the routing: the cells' sediment
// into the nodes, the sediment step, its volumes booked per class in the
// sediment ledger, and the step's fluxes, outlet rates and concentrations
// for the outputs. False after a reported error.
bool route_channel_sediment(model_state& ms, double dt);

// The sections of erodible break-point links follow the sand their beds
// gained or lost since the last update (xsec_update), and the new bed is
// the section's. The sand of this moment becomes the start of the next
// update, so no change is laid into a section twice. False after a fatal
// message of the update.
bool update_erodible_sections(channel_state& ch, channel_sediment& sed, bool adjust_bed);

// What the channels and the lakes hold, per class, m3.
double channel_sediment_stored(const channel_state& ch, const channel_sediment& sed, int cls);
double lake_sediment_stored(const channel_sediment& sed, int cls);

}  // namespace nivra
