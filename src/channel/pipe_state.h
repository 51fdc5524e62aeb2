// A component of the run's record: The superlink pipe network: superjunctions, superlinks, pipe outputs.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct pipe_state {
  // ---- Parameters: set at set-up from the cards and the pipe files,
  // read-only afterwards ([node][superlink] for nodes).
  int storm_sewer_given = 0;
  int high_head_release = 0, superlink_drainmod = 0;
  int superlink_junc_location_given = 0, superlink_node_location_given = 0;
  int superlink_c_opt = 0;
  int gw_to_tile = 0;
  int num_slink = 0;
  array1d<int> nnodes;               // nodes per superlink
  array2d<int> otc_node;             // computational node of a node

  // ---- State: the water of the pipe network.
  array2d<double> Q_node;            // inflow from the surface at each node, m3/s
  array2d<double> slink_node_depth;  // m
  array2d<double> superlink_tile_flow;  // m3/s
  array1d<double> sjunc_flow;        // flow of each superjunction, m3/s
  double sl_drain_vol = 0.0;         // water in the drains, m3

  // ---- Files: location lists and outputs of the pipe network.
  guarded_file superlink_node_location_file;
  guarded_file superjunction_location_file;
  guarded_file superjunction_output_file;
  guarded_file superlink_node_output_file;
  guarded_file pipe_head_file;
  guarded_file pipe_tile_file;
  guarded_file pipe_flow_file;

  // ---- Scratch of the pipe step: the overland depths as they stood before
  // the pipe solver ran; made on the first pipe step of the run (ncells + 2
  // entries).
  array1d<double> sl_prestep_depth;
};

}  // namespace nivra
