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

  // Channel routing scheme and options of the project.
  int chan_explic = 0, chan_mesh = 0, chan_drain = 0, chan_drain_routing = 0;
  int chan_init_backwater = 0;
  int grid_stream_given = 0;
  int diffusive_chan = 0;
  double max_courant_number = 0.0;
  int overbank_flow = 0;
  int head_bound = 0;
  double bound_depth = 0.0;
  int bound_ts_given = 0;
  double k_river = 0.0;
  int hotstart_is_depth = 0;
  int stream_loss = 0;
  double first_order_chan_q = 0.0;
  double chan_decay_coef_card = 0.0, chan_disp_coef = 0.0, init_chan_conc = 0.0;
  int stream_info = 0;
  // Channel hotstarts: write requests, read requests (either read card).
  int explic_backwater_given = 0, write_chan_hotstart_given = 0;
  int explic_hotstart_given = 0, read_chan_hotstart_given = 0, chan_hotstart_flag_in = 0;
  guarded_file chan_discharge_in_file;  // the ".qht" of a channel hotstart read
  // Stream mapping tables found: roughness, nitrogen, phosphorus, carbon,
  // other, dispersion.
  int st_table_present[6] = {};
};

}  // namespace nivra
