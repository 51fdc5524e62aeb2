// Constituents in the channel network and its lakes over a run: the
// channel side of the constituent component (its parameters, the amounts
// each node and lake gathers between two routings, the routing with its
// scratch), the set-up that sizes it, and the step of the time loop that
// gathers the processes' masses (point sources, decay, the aquifer, rain on
// the lakes, the nodes the lakes take and give back), routes every
// constituent through the links and lakes and books what moved in the
// constituents' mass ledger.
//
// Masses are in grams in the arrays and in kilograms in the ledger;
// concentrations in g/m3; times in seconds.
#pragma once

#include <vector>

#include "core/arrays.h"
#include "core/containers.h"
#include "model/water_ledger.h"
#include "quality/contaminant/channel_quality.h"

namespace nivra {

struct model_state;

struct channel_constituents {
  // ---- Parameters: set at set-up from the cards.
  double lake_decay_coef = 0.0;  // 1/s, every lake
  jagged_array<double> decay_coef{"chan_decay_coef"};  // [constituent][flat node], 1/s
  jagged_array<double> disp{"chan_node_disp"};         // [constituent][flat node], m2/s

  // ---- Per-run bookkeeping: what each node and lake gathered since the
  // last routing, per constituent (index 0 unused), and the network as the
  // last step left it.
  std::vector<std::vector<chan_node_accumulators>> node_acc;  // [constituent][flat node]
  std::vector<std::vector<chan_node_accumulators>> lake_acc;  // [constituent][lake]
  array1d<int> nx_seen;          // per link: routed nodes at the last step
  array1d<int> ltype_seen;       // per link: type word at the last step
  array1d<int> capture_seen;     // per link: the lake that held its taken nodes
  array1d<double> lake_volume_seen;  // per lake: volume at the end of the last step, m3
  int steps_seen = 0;            // channel steps routed for the constituents
  // What each node gathered over the last step, g, per constituent and
  // flat node, for the analyzers: from the cells (and its concentration,
  // g/m3), from the aquifer, from the nutrient kinetics.
  jagged_array<double> lateral_mass{"chan_qlat_mass"}, lateral_conc{"conc_qlat"};
  jagged_array<double> aquifer_mass{"chan_gw_mass"}, kinetics_mass{"chan_nsm_source"};

  // ---- Kernel scratch, sized at set-up.
  chan_wq_network net;
  chan_wq_router router;
  array1d<double> area_old, area, face_volume, source;  // flat nodes
  array1d<double> decay_mass, gw_mass;                  // flat nodes, one constituent's step
  array1d<double> bed_volume;  // flat nodes: water lost through the bed without a water table, m3
  array1d<double> lake_volume_old, lake_outflow, lake_source, lake_decay_mass, lake_gw_mass, lake_rain_mass;  // lakes
  bool aquifer_table = false;                           // the beds exchange with a water table
  std::vector<stream_cell_exchange> stream_entries;
  std::vector<lake_cell_exchange> lake_entries;
};

// With channel constituent transport (CHAN_CON_TRANS), after the channel
// network is read: every constituent's channel and lake arrays, the
// parameters of the nodes and the starting concentrations (the
// INIT_CHAN_CONC of every node holding water).
void init_channel_constituents(model_state& ms);

// Before the first step, once the mass ledger exists: the masses the
// channels and lakes start from.
void start_channel_constituent_books(model_state& ms);

// The masses the channels and lakes hold at a moment of the run, into the
// mass ledger.
void book_channel_constituent_masses(model_state& ms, ledger_moment m);

// At an event's start: the event's books open (when no overland
// constituents open them first) with the channels' and lakes' masses.
void start_channel_constituent_event(model_state& ms);

// The step of the time loop, after every channel step.
void channel_constituent_step(model_state& ms);

// The masses the channels and the lakes hold, kg, for constituent c.
double channel_constituent_mass(const model_state& ms, int c);
double lake_constituent_mass(const model_state& ms, int c);

}  // namespace nivra
