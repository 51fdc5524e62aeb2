// Constituents in the channel network: the processes that gather mass at
// the nodes and lakes between two routing steps (first-order decay, the
// exchange with the aquifer), the net source rate that a node's gathered
// amounts give, and the routing of one constituent through the links and
// lakes by upwind advection and dispersion with an adaptive sub-step.
//
// The kernels see the network through `chan_wq_network` (views of the
// channel record) and one constituent's arrays through narrow structs.
// Node values are flat: node k of link l at l * stride + k, as the
// channel record's node arrays lie in memory. Masses are in grams
// (concentration g/m3 times volume m3), times in seconds.
#pragma once

#include <cstdio>
#include <vector>

#include "core/arrays.h"

namespace nivra {

// The network as the channel constituent kernels read it. Every per-link
// view runs over links 0..num_links (index 0 unused).
struct chan_wq_network {
  int num_links = 0;
  int stride = 0;                  // nodes per link slot (max_nodes_per_link)
  int num_lakes = 0;
  row_view<const int> nx{nullptr, 0};            // routed nodes of each link
  row_view<const int> ltype{nullptr, 0};         // link type bits
  row_view<const int> dslink{nullptr, 0};        // downstream link, 0 below the outlet
  row_view<const int> lake_of_link{nullptr, 0};  // lake number of a lake link, 0 else
  row_view<const double> link_dx{nullptr, 0};    // node spacing, m
  int flat_size() const { return (num_links + 1) * stride; }
  int at(int link, int node) const { return link * stride + node; }
};

// A link whose nodes carry constituents: not a lake, not a structure, and
// not a channel link that a lake has taken whole.
bool chan_wq_routed_link(int ltype);

// ---------------------------------------------------------------- decay
// First-order decay of one constituent over dt seconds. Each node of a
// routed link adds to its decay accumulator the mass C a dx times the
// decay share of k dt (decay_share: k dt, or 1 - exp(-k dt) beyond 1), with
// a the smaller of the node's flow areas at the start and the end of the
// channel step, so decay never acts on water that has left; each lake adds
// C V times the share.
struct chan_decay_domain {
  const chan_wq_network* net = nullptr;
  row_view<const double> area{nullptr, 0}, area_old{nullptr, 0};  // flat nodes, m2
  row_view<const double> conc{nullptr, 0};                        // flat nodes, g/m3
  row_view<const double> decay_coef{nullptr, 0};                  // flat nodes, 1/s
  row_view<double> decay_mass{nullptr, 0};                        // flat nodes, g (accumulated)
  row_view<const double> lake_conc{nullptr, 0}, lake_volume{nullptr, 0};  // lakes
  double lake_decay_coef = 0.0;                                   // 1/s
  row_view<double> lake_decay_mass{nullptr, 0};                   // lakes, g (accumulated)
};
void chan_contam_decay(const chan_decay_domain& d, double dt);

// ---------------------------------------------------------------- aquifer
// One entry of the stream-cell table: the cell, the channel node it feeds,
// and the volume the aquifer gave the stream there over the interval
// (negative: the stream lost water to the aquifer), m3.
struct stream_cell_exchange {
  int cell = 0;
  int flat_node = 0;
  double volume = 0.0;
};

// Mass the aquifer exchanges with the streams, added to the per-node
// accumulator: a gaining entry brings the aquifer's concentration of its
// cell (clean water without a table of it), a losing one takes the node's.
// Every entry is a volume the routing moved through the bed, so the mass
// goes with the water. Returns the mass the gaining entries brought, g.
struct stream_aquifer_mass_domain {
  std::vector<stream_cell_exchange> const* entries = nullptr;
  row_view<const double> gw_conc{nullptr, 0};    // per cell, g/m3; empty: the aquifer's water is clean
  row_view<const double> conc{nullptr, 0};       // flat nodes, g/m3
  row_view<double> gw_mass{nullptr, 0};          // flat nodes, g (accumulated)
};
double stream_aquifer_constituent_exchange(const stream_aquifer_mass_domain& d);

// Without a water table: every routed node loses the water the routing let
// through its bed (bed_volume, negative) at its own concentration.
struct stream_loss_mass_domain {
  const chan_wq_network* net = nullptr;
  row_view<const double> bed_volume{nullptr, 0};  // flat nodes, m3 (negative: lost)
  row_view<const double> conc{nullptr, 0};
  row_view<double> gw_mass{nullptr, 0};
};
void stream_loss_constituent_exchange(const stream_loss_mass_domain& d);

// ---------------------------------------------------------------- node sources
// The amounts gathered at one node since they were last taken, each over its
// own interval in seconds (a process that runs less often than the routing
// hands over its amount in shares). Signs: the amount enters the node.
struct chan_node_accumulators {
  double point = 0.0;                              // point sources, taken whole
  double lateral = 0.0, lateral_interval = 0.0;    // from the cells
  double aquifer = 0.0, aquifer_interval = 0.0;    // from the aquifer (negative: to it)
  double decay = 0.0, decay_interval = 0.0;        // decayed (positive: removed)
  double kinetics = 0.0, kinetics_interval = 0.0;  // nutrient kinetics (either sign)
};

// What one step took from the accumulators, g, and the net source rate, g/s.
struct chan_node_source {
  double point = 0.0, lateral = 0.0, aquifer = 0.0, decay = 0.0;
  double kinetics_in = 0.0, kinetics_out = 0.0;
  double rate = 0.0;
};

// Takes the shares due over dt seconds from a node holding mass m (g): every
// sink is cut to the mass present; the taken amounts leave the accumulators.
// `tol` is the tolerance of the interval test, s.
chan_node_source chan_contam_node_conc(chan_node_accumulators& acc, double m, double dt, double tol);

// The aquifer under a lake: each cell the lake covers exchanges a volume
// with the aquifer over the interval (positive into the lake), carrying the
// cell's aquifer concentration in (clean water without a table of it) and
// the lake's concentration out. Returns the mass the gaining cells
// brought, g.
struct lake_cell_exchange {
  int lake = 0;
  int cell = 0;
  double volume = 0.0;
};
struct lake_aquifer_mass_domain {
  std::vector<lake_cell_exchange> const* entries = nullptr;
  row_view<const double> gw_conc{nullptr, 0};    // per cell, g/m3; empty: the aquifer's water is clean
  row_view<const double> lake_conc{nullptr, 0};  // per lake
  row_view<double> lake_gw_mass{nullptr, 0};     // per lake, g (accumulated)
};
double lake_gw_contam_exchange(const lake_aquifer_mass_domain& d);

// Rain on the lakes brings the constituent at its rain concentration: each
// lake's rain volume since the last call (m3) times the concentration.
void lake_precip_constituent(row_view<const double> rain_volume, double precip_conc, row_view<double> precip_mass,
                             int lakes);

// ---------------------------------------------------------------- routing
// The stop message of a routing whose sub-step fell below
// chan_wq_router::min_substep.
extern const char* const chan_wq_small_step_message;

// One constituent of one channel step: node and lake concentrations and
// masses in and out, the net source rates, and the water of the step.
struct chan_wq_domain {
  const chan_wq_network* net = nullptr;
  double dt = 0.0;                                         // channel step, s
  row_view<const double> area_old{nullptr, 0}, area{nullptr, 0};  // flat nodes, m2
  row_view<const double> face_volume{nullptr, 0};          // flat nodes: volume through the node's downstream face over dt, m3 (positive downstream)
  row_view<const double> disp{nullptr, 0};                 // flat nodes: dispersion coefficient, m2/s
  row_view<const double> source{nullptr, 0};               // flat nodes: net source rate, g/s
  row_view<double> conc{nullptr, 0}, mass{nullptr, 0};     // flat nodes
  row_view<const double> lake_volume_old{nullptr, 0}, lake_volume{nullptr, 0};  // lakes, m3
  row_view<const double> lake_outflow{nullptr, 0};         // lakes: volume released downstream over dt, m3
  row_view<const double> lake_source{nullptr, 0};          // lakes: net source rate, g/s
  row_view<double> lake_conc{nullptr, 0}, lake_mass{nullptr, 0};
  // The water the point sinks took over dt (m3; empty views: none), spread
  // evenly over the step. Each sub-step's share leaves at the concentration
  // of the node or lake it leaves, well mixed with what the sub-step
  // brought: its share of the mass the node would hold without it, so that
  // a sink that empties a node takes all its mass and never more.
  row_view<const double> withdrawn{nullptr, 0};            // flat nodes
  row_view<const double> lake_withdrawn{nullptr, 0};       // lakes
};

// What a routing step moved and how it went.
struct chan_wq_result {
  int status = 0;               // 0 routed; 1 the sub-step fell below the smallest
  double outlet_mass = 0.0;     // g through the outlet
  double source_mass = 0.0;     // g added by the node and lake source rates
  double lake_in_mass = 0.0;    // g into lakes from the links
  double lake_out_mass = 0.0;   // g from lakes into the links
  double withdrawn_mass = 0.0;  // g taken by the point sinks of the nodes
  double lake_withdrawn_mass = 0.0;  // g taken by the point sinks of the lakes
  int substeps = 0, rejected = 0, unconverged = 0;
  double smallest_substep = 0.0, routed_time = 0.0;
};

// ---------------------------------------------------------------- one step
// What one constituent's channel step moved under each term, g. Node terms
// first, then the lakes' own, then what the routing carried.
struct chan_wq_books {
  double point = 0.0, lateral = 0.0, aquifer = 0.0, decay = 0.0;
  double kinetics_in = 0.0, kinetics_out = 0.0;
  double lake_rain = 0.0, lake_overland = 0.0, lake_aquifer = 0.0, lake_decay = 0.0;
  double outlet = 0.0, lake_in = 0.0, lake_out = 0.0;
  double withdrawn = 0.0, lake_withdrawn = 0.0;  // taken by the point sinks of the nodes and of the lakes
  // Mass that entered and left the channels and lakes together; lake_in and
  // lake_out move mass between the two and count in neither.
  double entered() const {
    return point + lateral + aquifer + kinetics_in + lake_rain + lake_overland + lake_aquifer;
  }
  double left() const { return outlet + decay + kinetics_out + lake_decay + withdrawn + lake_withdrawn; }
};

// The gathered amounts of one step: per flat node, and per lake (a lake's
// `point` is the rain on it, `lateral` the overland water's inflow,
// `aquifer` its exchange with the aquifer, `decay` its decay).
struct chan_wq_step_domain {
  chan_wq_domain water;                       // the routing's domain; its source views are written here first
  row_view<double> source{nullptr, 0};        // the same array as water.source
  row_view<double> lake_source{nullptr, 0};   // the same array as water.lake_source
  std::vector<chan_node_accumulators>* nodes = nullptr;  // flat node index
  std::vector<chan_node_accumulators>* lakes = nullptr;  // lake number
  double tol = 0.0;                           // tolerance of the interval test, s
};

// The routing of one constituent, with its scratch. `prepare` sizes the
// scratch and lays out the faces for one network (at set-up, once per run);
// `route` then moves no memory.
class chan_wq_router {
 public:
  static constexpr double min_courant_substep = 0.1;  // s: the Courant cut stops here
  static constexpr double min_substep = 0.01;         // s: a rejected sub-step may halve down to here
  static constexpr double max_ratio = 0.5;
  static constexpr int max_passes = 100;
  static constexpr double pass_tolerance = 1e-6;
  static constexpr double negative_tolerance = 1e-6;

  void prepare(const chan_wq_network& net);
  chan_wq_result route(const chan_wq_domain& d);
  // One constituent's channel step: the net source rate of every node and
  // lake from its gathered amounts, then the routing; adds what moved to
  // the books.
  chan_wq_result step(const chan_wq_step_domain& s, chan_wq_books& books);

 private:
  struct face {
    int from = 0, to = 0;     // entities; -1 the outside
    int volume_at = 0;        // flat node of the face volume, or -(lake) for a lake's outflow
    double dx = 0.0;          // dispersion length; 0 no dispersion across the face
  };
  int lake_entity(int lake) const { return flat_size_ + lake; }
  double entity_volume(const chan_wq_domain& d, int e, double t) const;
  double face_vol(const chan_wq_domain& d, const face& f) const;
  double largest_ratio(const chan_wq_domain& d, double t, double h);
  void pass(const chan_wq_domain& d, double t, double h, bool first);
  // The point sinks' water of entity e over the step, m3.
  double withdrawn(const chan_wq_domain& d, int e) const;

  int flat_size_ = 0, entities_ = 0;
  std::vector<face> faces_;
  std::vector<int> active_;            // entities that hold constituents
  std::vector<double> dx_of_;          // per entity: node spacing (0 for lakes)
  // Scratch per entity.
  std::vector<double> m0_, c0_, m_, c_, citer_, vol_end_, out_term_, cond_term_;
  std::vector<int> sinks_;             // entities with point sinks in the step
  std::vector<double> taken_;          // per entity: mass its point sinks took in the pass
  std::vector<double> adv_;            // per face: advected mass of the pass
};

}  // namespace nivra
