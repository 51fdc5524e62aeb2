// Part of the run's model_state: Channel network: links, nodes, cross-sections, structures, lateral inflow, channel files.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct channel_state {
  double m_river = 1.0;           // river coefficient of the channel set-up
  double overbank_max_dv = 0.01;  // overbank limit given to the lateral inflow

  // Counters of the channel step that belong to the run.
  int chan_dry_count = 0;         // steps since rain that found the channels nearly empty
  int chan_point_read_count = 0;  // point-source records read

  // Channel schemes and switches (set from the project and the option checks).
  int chan_explic = 0;            // explicit channel routing
  int stream_loss = 0;
  int chan_con_trans = 0;
  int chan_sed_on = 0;
  int chan_sed_setup = 0;         // set by the map phase with channel sediments
  int num_chan_point_sources = 0;

  // Channel input, link/node outputs, hotstart and flood files.
  guarded_file grid_stream_file;
  guarded_file chan_input_file;
  guarded_file chan_depth_out_file;
  guarded_file chan_discharge_out_file;
  guarded_file chan_velocity_out_file;
  guarded_file chan_stage_out_file;
  guarded_file stream_sed_flux_file;
  guarded_file chan_depth_file;
  guarded_file chan_discharge_file;
  guarded_file chan_hotstart_in_file;
  guarded_file chan_hotstart_out_file;
  guarded_file chan_new_elev_file;
  guarded_file flood_stream_file;
};

}  // namespace nivra
