// A component of the run's record: Channel network: links, nodes, cross-sections, structures, lateral inflow, channel files.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/file_name_text.h"

namespace nivra {

struct channel_state {
  // ---- Parameters: set at set-up from the cards, the channel files and the
  // maps, read-only afterwards.
  // Channel routing scheme and options of the project.
  int chan_explic = 0;
  int chan_mesh = 0, chan_drain = 0, chan_drain_routing = 0;
  int diffusive_chan = 0;
  int chan_init_backwater = 0;
  int grid_stream_given = 0;
  double m_river = 1.0;           // river coefficient of the channel set-up
  double overbank_max_dv = 0.01;  // overbank limit given to the lateral inflow
  double max_courant_number = 0.0;
  int overbank_flow = 0;
  int head_bound = 0;
  double bound_depth = 0.0;
  int bound_ts_given = 0;
  double k_river = 0.0;
  int stream_loss = 0;
  double first_order_chan_q = 0.0;
  double chan_decay_coef_card = 0.0, chan_disp_coef = 0.0, init_chan_conc = 0.0;
  int stream_info = 0;
  int chan_sed_setup = 0;  // set by the map phase with channel sediments
  int num_chan_point_sources = 0;
  // Channel hotstarts: write requests, read requests (either read card).
  int hotstart_is_depth = 0;
  int explic_backwater_given = 0, write_chan_hotstart_given = 0;
  int explic_hotstart_given = 0, read_chan_hotstart_given = 0, chan_hotstart_flag_in = 0;
  // Stream mapping tables found: roughness, nitrogen, phosphorus, carbon,
  // other, dispersion.
  int st_table_present[6] = {};
  // Network tables ([node][link] for nodes; link tables are 1-based per link).
  int num_stream_links = 0;
  int max_nodes_per_link = 0;        // stride of flat node indices link * stride + node
  array1d<int> nx;                   // current nodes per link
  array1d<int> nx1;                  // nodes per link of the channel file
  array1d<int> og_nx1;               // original nodes per link
  array1d<int> ltype;                // link type bits
  array1d<double> link_dx;           // node spacing per link, m
  array2d<double> org_bel;           // bed elevation before sediment transport
  // Cross-section kinds and look-up tables of the channel file.
  int apfa_xsec = 0, trap_preiss_xsec = 0, table_preiss_xsec = 0, xsec_tables_read = 0;

  // ---- State: the water of the channels ([node][link]).
  array2d<double> yp;                // water surface elevation
  array2d<double> bel;               // bed elevation
  array2d<double> new_bel;           // bed elevation after sediment transport
  array2d<double> qp;                // discharge, m3/s
  array2d<double> area;              // flow area, m2
  array2d<double> chan_depth;        // flow depth, m

  // ---- Per-run bookkeeping and step flags.
  int chan_dry_count = 0;            // steps since rain that found the channels nearly empty
  int chan_point_read_count = 0;     // point-source records read
  int xsec_table_exceeded = 0;       // a look-up section was evaluated above its last row
  array2d<double> yp_max_flood;      // [node][link] highest water surface of the run

  // ---- Files: channel input, link/node outputs, hotstart and flood files.
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
  file_name_text chan_new_elev_file_name;  // made when the file is written at the end of the run
  guarded_file flood_stream_file;
  guarded_file chan_discharge_in_file;  // the ".qht" of a channel hotstart read
};

}  // namespace nivra
