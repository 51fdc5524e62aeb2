// The soil column above a moving water table. With Richards columns over
// saturated groundwater every cell's column runs from the surface down to
// the node that holds the water table (its last node, `numcells`). After
// the aquifer has moved the table, `soil_column_step` lays the column's
// nodes out again down to the new table with the spacings of the soil
// layers (below them, the aquifer's node spacing), carries the old
// profile's water over to the new nodes and returns the water the column
// gave up to the aquifer (or took from it): the column and the aquifer
// together keep their water.
#pragma once

#include <vector>

#include "soil/richards.h"

namespace nivra {

// The layers of a cell's soil class: thickness, node spacing and
// saturated water content of layers 1 to 3 (cm), the last node of each
// (layer 1 holds nodes 1..last_node[0]), and the node spacing below the
// layers (cm).
struct soil_column_layers {
  double thickness[3] = {};
  double spacing[3] = {};
  double porosity[3] = {};
  int last_node[3] = {};
  double aquifer_spacing = 10.0;
};

// One cell's column (node arrays indexed 0..capacity) and what lies around
// it.
struct soil_column_cell {
  int* numcells = nullptr;          // the water-table node; rewritten
  int capacity = 0;                 // the deepest node the arrays hold
  double* DZ = nullptr;             // node thickness, cm
  double* THETA = nullptr;          // water content
  double* PHEAD = nullptr;          // pressure head, cm
  const richards_node* soil = nullptr;  // the soil of every node 0..capacity
  int retention = retention_brooks_corey;
  double ground = 0.0, table = 0.0, bottom = 0.0;  // m
  double aquifer_yield = 0.0;       // storage coefficient of the aquifer (0: not known yet)
};

enum class soil_column_status { ok, too_many_nodes };

struct soil_column_result {
  soil_column_status status = soil_column_status::ok;
  double released = 0.0;            // water the column gave to the aquifer, cm (negative: took)
  bool at_surface = false;          // the table reached the ground: the cell exfiltrates
};

// The old profile of a column while it is laid out again; sized once per
// run for the longest column.
class soil_column_scratch {
 public:
  void prepare(int capacity) {
    top.assign(static_cast<std::size_t>(capacity) + 2, 0.0);
    theta.assign(static_cast<std::size_t>(capacity) + 2, 0.0);
  }
  std::vector<double> top, theta;   // depth of each old node's top (cm) and its water content
};

// The layers of a soil class of the soil hydraulic table and the aquifer's
// node spacing (m).
struct soil_class;
soil_column_layers column_layers(const soil_class& k, double aquifer_delta_z);

// Lays the column out again down to the table and returns what it
// released. The profile keeps the water of the depths it spans. A table
// that fell drained the pores of the depths it left (the aquifer gave them
// up): the node that stood over it stretches down to the new table, its
// water spread over the depth it now spans, and nothing passes between the
// column and the aquifer but what keeps every node a trace above its
// residual content. A table that fell from the ground (no node stood over
// it) leaves the depths the water content of their height above the new
// table, at most the aquifer's storage coefficient, which the aquifer
// gives. A table that rose takes the water of the nodes it submerged.
soil_column_result soil_column_step(const soil_column_cell& cell, const soil_column_layers& layers,
                                    soil_column_scratch& scratch);

// A water table held where its map puts it (no saturated groundwater): the
// column, laid out from the ground with the spacings of its soil, is cut at
// the table. Every node above the table is put in hydrostatic equilibrium
// with it (head: minus the height of its centre above the table; water
// content from the curve) unless keep_soil_moisture holds the soil table's
// water content for the nodes within the soil layers (layers_depth cm deep);
// the node the table passes through keeps its part above the table (unless
// that part is under 1e-5 cm) and the node below it becomes the table node
// (saturated, its top at the table). A table at or above the ground leaves a
// single saturated node whose head is the depth of water above the ground
// plus half its thickness, and at_surface.
soil_column_result cut_column_at_table(const soil_column_cell& cell, double layers_depth, bool keep_soil_moisture);

// The water a column holds above its water-table node, cm.
double column_water(const double* DZ, const double* THETA, int numcells);

}  // namespace nivra
