// Contaminants carried by the fine sediment of the channel network: the
// mass attached to each fine class's wash load in every node and lake rides
// with that wash load from node to node, into and out of the lakes and out
// of the outlet, at the attached mass per m3 of sediment of the node or
// lake the sediment leaves; in a lake it settles with the fines. Linear
// partitioning then splits each node's and lake's mass between its water
// and its fines (the same rule as on the cells: sand carries none).
//
// Masses are in grams, sediment volumes in solid m3. Nothing is made or
// lost: attached in the nodes + in the lakes (suspended and settled) +
// through the outlet = at the start + brought in, to the gram, but for a
// store driven below zero, which is set back to zero and reported.
#pragma once

#include <vector>

#include "channel/channel_wash.h"
#include "core/arrays.h"

namespace nivra {

// One constituent's mass on the fines of the channel network, g.
struct chan_attached_store {
  array2d<double> node;  // [flat node][fine position]
  array2d<double> lake;  // [lake][fine position], on the suspended fines
  array1d<double> bed;   // [lake], on the fines settled on the lake's bed
  void alloc(int flat_nodes, int lakes, int n_fine);
  double nodes_total() const;
  double lakes_total() const;  // suspended and settled
};

// The network as the wash load travels it, and the number of fine classes.
struct chan_attached_network : chan_wash_links {
  int n_fine = 0;
};

// What the wash load did in the step, per fine position: the averaged
// volume leaving each node through its downstream face (negative: coming
// in from below), each node's and lake's volume at the start of the
// transport (after the intake from the cells), and per lake the volume it
// gave out (through its outflow and to the links above it), the volume
// settled, and what it holds suspended at the end, m3.
struct chan_wash_moves {
  const array2d<double>* flux = nullptr;        // [flat node][position]
  const array2d<double>* vol_start = nullptr;   // [flat node][position]
  const array2d<double>* lake_start = nullptr;  // [lake][position]
  const array2d<double>* lake_given = nullptr;  // [lake][position]
  const array2d<double>* lake_settled = nullptr;  // [lake][position]
  const array2d<double>* lake_end = nullptr;    // [lake][position]
  // The share of each node's and lake's wash load the point sinks drew
  // with their water (channel_wash.h); null: none.
  const array1d<double>* drawn_share = nullptr;       // [flat node]
  const array1d<double>* lake_drawn_share = nullptr;  // [lake]
};

// What the attached transport moved, g.
struct chan_attached_books {
  double outlet = 0.0;      // through the outlet
  double to_lakes = 0.0;    // from the nodes into the lakes
  double from_lakes = 0.0;  // from the lakes into the nodes
  double settled = 0.0;     // onto the lake beds (inside the lakes)
  double drawn = 0.0;       // drawn by the nodes' point sinks on their fines
  double lake_drawn = 0.0;  // drawn by the lakes' point sinks on their fines
  double node_reset = 0.0;  // given to nodes left below zero
  double lake_reset = 0.0;  // given to lakes left below zero
};

// The transport's work arrays, sized at set-up.
struct chan_attached_scratch {
  array2d<double> r_node, r_lake;    // attached mass per m3 of sediment at the start, g/m3
  array2d<double> lake_mid, lake_to_nodes;  // per lake: suspended volume as the node fluxes leave it; given to the links above
  array1d<double> node_out;          // per flat node: attached mass leaving through its downstream face, g
  void alloc(int flat_nodes, int lakes, int n_fine);
};

// The attached mass of a run's channels: per contaminant its store, the
// transport's scratch, and what the wash load's books held at the last
// step (its lakes' cumulative volumes given out and settled), from which
// the step's own are taken. Sized at set-up.
struct channel_attached {
  std::vector<chan_attached_store> stores;  // [constituent], index 0 unused
  chan_attached_scratch scratch;
  array2d<double> given_seen, settled_seen;  // [lake][fine position], m3
  array2d<double> given, settled;            // [lake][fine position] of the step, m3
  array1d<double> cell_taken;                // per cell: attached mass the nodes took in the step (scratch), g
  array1d<double> cell_given;                // per cell: attached mass spilled onto it in the step (scratch), g
  array1d<double> partition;                 // per fine position: the partition's attached masses (scratch), g
  array1d<double> density;                   // per fine position: g of solid per m3
  array2d<double> lake_out, lake_rate;       // [lake][fine position]: wash load let out onto the land in the
                                             // overland step, m3, and the attached mass it carries per m3, g/m3 (scratch)
  int steps_seen = 0;                        // channel sediment steps followed
};

// Moves one constituent's attached mass with the step's wash load.
chan_attached_books chan_attached_transport(const chan_attached_network& net, const chan_wash_moves& moves,
                                            chan_attached_store& store, chan_attached_scratch& scratch);

// Linear partitioning of the mass `total` (g) of a water body of `water` m3
// holding the fine volumes volume[1..n] (m3) of solids of density
// density[1..n] (g/m3): the share on class k is (Kd/1e6) C_k / (1 + sum of
// (Kd/1e6) C_j), C_k = density_k volume_k / water (g/m3), Kd in L/kg.
// Writes the attached masses into attached[1..n] and returns the dissolved
// mass. A class without sediment (1e-16 m3 or less) holds none; a body
// without water (1e-16 m3 or less) is all dissolved.
double partition_attached(double kd, double water, int n, const double* volume, const double* density,
                          double total, double* attached);

}  // namespace nivra
