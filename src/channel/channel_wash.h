// Wash load in the channels: the fine sediment classes travel suspended
// with the water, node by node, in an explicit upwind scheme with two flux
// evaluations per step (predictor and corrector) whose average moves the
// volumes; lakes on the network gather what their inflows bring and what
// the cells send them, let it settle, and pass their suspended sediment on
// at their outflow.
//
// Volumes are solid m3 per node (or lake) and fine class. Nothing is made
// or lost: stored in the nodes + suspended in lakes + settled in lakes +
// through the outlet = at the start + from the cells, class by class. A
// dry node keeps its sediment (at concentration 0) until water comes.
#pragma once

#include "channel/channel_state.h"
#include "core/arrays.h"

namespace nivra {

// The links the wash load travels, and what rides on it follows: a flat
// node is link * max_nodes + node.
struct chan_wash_links {
  int links = 0;
  int max_nodes = 0;
  const array1d<int>* nx = nullptr;
  const array1d<int>* ltype = nullptr;
  const array1d<int>* dslink = nullptr;
  const array1d<int>* lake_of_link = nullptr;   // lake of a lake link; null without lakes
  int flat(int link, int node) const { return link * max_nodes + node; }
};

// A link whose nodes carry wash load: not a lake, not a structure, not a
// channel link a lake has taken whole, and with nodes.
bool wash_transports(const chan_wash_links& net, int link);

// Where the wash load leaving the last node of a link goes: the first
// node of a transport link, a lake, or out of the network; structures pass
// it on (none: nowhere it can go, such as a lake without lakes given).
struct wash_target {
  enum kind_t { node, lake, out, none } kind = none;
  int index = 0;  // flat node or lake
};
wash_target wash_below_link(const chan_wash_links& net, int link);

// The network and the water of the step. Node arrays are (node, link).
struct chan_wash_network : chan_wash_links {
  const array1d<double>* link_dx = nullptr;
  const node_array<double>* area = nullptr;     // flow area, m2
  const node_array<double>* qp_vol = nullptr;   // water volume passing the node in the step, signed, m3;
                                                // of a lake link: let out of the lake, at node 1
  const array1d<double>* lake_volume = nullptr; // m3
  const array1d<double>* lake_area = nullptr;   // m2
  // The water the point sinks took in the step (m3, per flat node and per
  // lake; null: none). Each takes its share of the water its node or lake
  // would hold at the end of the step without it, and that share of the
  // wash load, mixed with what the step brought: a sink that empties a
  // node takes all its wash load, one that takes no water none.
  const array1d<double>* withdrawn = nullptr;
  const array1d<double>* lake_withdrawn = nullptr;
};

// The wash load: [flat node][fine class] volumes and concentrations, the
// lateral volumes of the step (taken in by the step), the lakes' suspended
// volumes, and per class the books of the run.
struct chan_wash_store {
  array2d<double> vol, conc, lateral, flux;  // flux: averaged volume of the step leaving each node, m3
  array2d<double> lake_vol;                  // [lake][class] suspended in the lake
  array2d<double> from_overland;             // [lake][class] sent by the cells in the step (taken in)
  array2d<double> settled, to_lake, from_lake;  // [lake][class], cumulative
  array2d<double> to_cells;                  // [lake][class] carried onto the land by the lakes' water, cumulative
  array1d<double> out, out_rate, in;         // [class]: cumulative out, outlet rate of the step (m3/s), cumulative in; 0 the total
  array1d<double> made;                      // [class]: volume a node was short of (set back to 0), cumulative
  array1d<double> drawn;                     // [class]: taken by the nodes' point sinks, cumulative; 0 the total
  array2d<double> lake_drawn;                // [lake][class]: taken by the lakes' point sinks, cumulative
  // The share of each node's (per flat node) and lake's wash load its
  // point sinks took in the last step, which what rides on the fines
  // follows (0: none).
  array1d<double> drawn_share, lake_drawn_share;
  void alloc(int flat_nodes, int lakes, int n_fine);
};

// The step's work arrays, sized by prepare() for a run.
class chan_wash_step {
 public:
  void prepare(int flat_nodes, int n_fine);
  void run(const chan_wash_network& net, int n_fine, const double* settling, double dt, chan_wash_store& store);

 private:
  array2d<double> vol_, conc_, pred_flux_, flux_;
};

}  // namespace nivra
