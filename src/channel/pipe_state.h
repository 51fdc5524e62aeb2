// Part of the run's model_state: The superlink pipe network: superjunctions, superlinks, pipe outputs.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct pipe_state {
  // --- pipe network read by the outputs ([node][superlink])
  int storm_sewer_given = 0;
  int num_slink = 0;
  array1d<int> nnodes;               // nodes per superlink
  array2d<double> Q_node;            // inflow from the surface at each node, m3/s
  array2d<double> slink_node_depth;  // m
  array2d<double> superlink_tile_flow;  // m3/s
  array2d<int> otc_node;             // computational node of a node
  int superlink_c_opt = 0;
  int gw_to_tile = 0;
  array1d<double> sjunc_flow;        // flow of each superjunction, m3/s
};

}  // namespace nivra
