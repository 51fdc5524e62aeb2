// Part of the run's model_state: Channel network: links, nodes, cross-sections, structures, lateral inflow, channel files.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/project.h"

namespace nivra {

struct channel_state {
  // Channel network fields read by the run and event summaries and the
  // end-of-run files. Link tables are 1-based per link; node tables are
  // [node][link].
  int chan_explic = 0, chan_mesh = 0, chan_drain = 0, chan_drain_routing = 0;
  int num_stream_links = 0;
  int max_nodes_per_link = 0;
  array1d<int> nx, nx1, og_nx1;      // node counts per link
  array1d<int> ltype;                // link type bits: 4, 8, 16 computational, 32 lake, 64 structure, 128 section
  array1d<int> lake2link;            // lake number of a lake link
  array1d<double> link_dx;           // node spacing per link, m
  array2d<double> area, yp, qp, bel; // [node][link]
  array2d<double> org_bel, new_bel;  // bed elevation before and after sediment transport
  array2d<double> yp_max_flood;      // [node][link] highest water surface of the run
  int flood_stream_given = 0;
  guarded_file flood_stream_file;
  int stream_loss = 0;
  int adjust_channel_bed = 0;
  int xsec_table_exceeded = 0;       // a look-up section was evaluated above its last row
  int apfa_xsec = 0, trap_preiss_xsec = 0, table_preiss_xsec = 0, xsec_tables_read = 0;
  double init_chan_vol = 0.0, vol_channels_final = 0.0;
  double total_lateral_inflow = 0.0, total_discharge = 0.0;
  double total_river_to_gw = 0.0, total_gw_to_river = 0.0, total_chan_point_sources = 0.0;
  double init_vol_channels = 0.0;    // event
  double vol_discharge = 0.0;        // outlet volume of the event
  double gw_to_chan_vol = 0.0, chan_to_gw_vol = 0.0;  // event
  double stream_point_source_vol = 0.0, stream_point_sink_vol = 0.0;  // event
  double event_lateral_net_vol = 0.0, event_lateral_in_vol = 0.0, event_lateral_out_vol = 0.0;
  int explic_backwater_given = 0, write_chan_hotstart_given = 0;
  guarded_file chan_depth_file, chan_discharge_file;  // channel state at the end of the run
  guarded_file chan_hotstart_out_file;
  file_name_text chan_new_elev_file_name;
  guarded_file chan_new_elev_file;
};

}  // namespace nivra
