// Part of the run's model_state: The superlink pipe network: superjunctions, superlinks, pipe outputs.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct pipe_state {
  // Pipe-network (subsurface drain) volumes read by the run and event
  // summaries, m3.
  int storm_sewer_given = 0;
  int superlink_junc_flow_given = 0, superlink_node_flow_given = 0;
  double sl_drain_vol = 0.0;         // water in the drains at the end
  double sl_ov_in_vol_run = 0.0, sl_to_ov_vol_run = 0.0, sl_to_chan_vol_run = 0.0;
  double sl_gw_to_tile_vol_run = 0.0;
  double sl_drain_vol_init = 0.0;    // event
  double sl_ov_in_vol = 0.0, sl_to_ov_vol = 0.0, sl_to_chan_vol = 0.0, sl_gw_to_tile_vol = 0.0;
};

}  // namespace nivra
