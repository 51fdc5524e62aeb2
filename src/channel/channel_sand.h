// Sand in the channels: once per channel step, after the hydraulic
// routing, the sand classes stored at the nodes move downstream by Yang's
// unit-stream-power capacity, each class by its own diameter and fall
// velocity and in its share of the sand the flow draws on, limited by what
// is stored, into the next node, the link below, a lake or out of the
// outlet; the sand the cells deliver joins the nodes' stores; and the bed
// of an erodible link follows its stored sand.
//
// Sand is held as solid volume (m3) per node and sand class. Nothing is
// made or lost: stored + through the outlet + into lakes = at the start +
// from the cells, class by class.
#pragma once

#include "channel/channel_state.h"
#include "core/arrays.h"

namespace nivra {

// The network as the sand step reads it, and the water of the step. Node
// arrays are indexed (node, link); a flat node is link * max_nodes + node.
struct chan_sand_network {
  int links = 0;
  int max_nodes = 0;
  const array1d<int>* nx = nullptr;
  const array1d<int>* ltype = nullptr;
  const array1d<int>* dslink = nullptr;
  const array1d<double>* link_dx = nullptr;
  const node_array<double>* depth = nullptr;
  const node_array<double>* qp = nullptr;
  const node_array<double>* bel = nullptr;
  const node_array<double>* org_bel = nullptr;
  const node_array<double>* bottom = nullptr;
  const node_array<double>* sslope = nullptr;
  // Break-point sections (links with the break-point bit).
  const node_array<int>* table_num = nullptr;
  const array1d<int>* numhts = nullptr;
  const array1d<double>* ht_spc = nullptr;
  const node_array<double>* xarea = nullptr;
  const node_array<double>* xtw = nullptr;
  const node_array<double>* xp = nullptr;
  // Lakes on the network: the lake of a lake link and the lakes' levels.
  const array1d<int>* lake_of_link = nullptr;
  const array1d<double>* lake_elev = nullptr;
  // The erodible sand layer under each node (node, link), m; nullptr: the
  // layer of the parameters everywhere.
  const node_array<double>* layer = nullptr;
  int flat(int link, int node) const { return link * max_nodes + node; }
};

// The sand and its constants. Per sand class (1-based, n_sand entries):
// its diameter and its fall velocity.
struct chan_sand_params {
  int n_sand = 0;
  const double* diam = nullptr;  // mm
  const double* fall = nullptr;  // m/s
  double viscosity = 1.0e-6;     // m2/s
  double porosity = 0.0;         // of the bed
  double layer = 0.0;            // thickness of the erodible sand layer, m
};

// The sand of the network: [flat node][sand class] stores, the lateral
// sand the cells delivered since the last step (taken in by the step), the
// flux of the step (m3/s, signed with the flow), and per class what went
// into each lake, out of the outlet and in from the cells. The capacity of
// a node is the flux its flow can carry of the sand it draws on (its own,
// or the node's below when the water flows back up): per class, the class's
// share of that sand (an even share when there is none) times the
// discharge at the class's concentration.
struct chan_sand_store {
  array2d<double> sand, lateral, flux;
  array2d<double> to_lake;                // [lake][class]
  array1d<double> out, out_step, in;      // [class], 0 the total
  array1d<double> capacity;               // [flat node] signed capacity flux of the step, m3/s
  array2d<double> class_capacity;         // [flat node][class] flux of a bed of the class alone, m3/s
  array1d<double> class_share;            // [class] scratch of the transfer: each class's capacity flux, m3/s
  void alloc(int flat_nodes, int lakes, int n_sand);
};

struct chan_sand_result {
  int nodes_without_width = 0;  // erodible nodes whose bed was left in place
  // The first node whose capacity was not a number (link 0: none); such a
  // node moves no sand.
  int nan_link = 0, nan_node = 0;
};

// Flow area and wetted perimeter at depth h of a break-point table.
struct sand_section {
  double area, perimeter;
};
sand_section breakpoint_section(const chan_sand_network& net, int link, int node, double h);

// One channel sand step of dt seconds; new_bel receives the bed of every
// erodible node.
chan_sand_result chan_sand_step(const chan_sand_network& net, const chan_sand_params& par, double dt,
                                chan_sand_store& store, node_array<double>& new_bel);

}  // namespace nivra
