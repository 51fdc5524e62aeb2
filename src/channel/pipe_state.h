// Part of the run's model_state: The superlink pipe network: superjunctions, superlinks, pipe outputs.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct pipe_state {
  // Overland depths as they stood before the pipe solver ran; made on the
  // first pipe step of the run (ncells + 2 entries).
  array1d<double> sl_prestep_depth;

  // Location lists and outputs of the pipe network.
  guarded_file superlink_node_location_file;
  guarded_file superjunction_location_file;
  guarded_file superjunction_output_file;
  guarded_file superlink_node_output_file;
  guarded_file pipe_head_file;
  guarded_file pipe_tile_file;
  guarded_file pipe_flow_file;

  // Pipe network switches and output requests of the project.
  int storm_sewer_given = 0;
  int superlink_c_opt = 0, high_head_release = 0, superlink_drainmod = 0;
  int pipe_flow_given = 0, pipe_head_given = 0, pipe_tile_given = 0;
  int superlink_junc_location_given = 0, superlink_node_location_given = 0;
  int superlink_junc_flow_given = 0, superlink_node_flow_given = 0;
};

}  // namespace nivra
