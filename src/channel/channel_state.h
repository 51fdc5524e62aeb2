// A component of the run's record: Channel network: links, nodes, cross-sections, structures, lateral inflow, channel files.
#pragma once

#include "channel/channel_scheme.h"
#include "channel/structures.h"
#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/file_name_text.h"

#include <string>
#include <vector>

namespace nivra {

// Bits of a link's type (channel_state::ltype).
namespace link_type {
inline constexpr int subsurface = 1;    // exchanges water with the aquifer through its bed
inline constexpr int erodible = 2;      // its bed moves with sediment transport
inline constexpr int trapezoid = 4;     // trapezoidal channel
inline constexpr int breakpoint = 8;    // channel of surveyed cross-sections
inline constexpr int floodplain = 16;   // trapezoid with a floodplain
inline constexpr int lake = 32;         // lake on the network
inline constexpr int structure = 64;    // hydraulic structure
inline constexpr int captured = 128;    // channel link taken whole by a lake
inline constexpr int overbank = 256;    // exchanges water over its banks
inline constexpr int backwater = 512;
// Links whose nodes are routed as open channel.
inline constexpr int channel = trapezoid | breakpoint | floodplain;
}  // namespace link_type

// A per-node array of the network, indexed (node, link): a link's nodes lie
// side by side in memory, as the routing walks them. Break-point tables use
// the same layout, (level, table).
template <class T>
using node_array = column_array2d<T>;

// The water the point sources (the CHAN_POINT_INPUT file's and the
// POINTSOURCE series) moved over the routing's accepted sub-steps, which
// what the water carries follows, m3: per flat node address the file's
// inflow (its concentrations come with it; the series' inflow is clean
// water and is not kept), and the water the sinks actually took, at most
// what the node held; per channel lake the water its sinks took. A node a
// lake holds keeps the file's inflow at its own address (the lake takes
// it) and its sink's water under the lake. Empty until a transport sizes
// it; `in` stays empty where nothing rides on the inflow.
struct chan_point_volumes {
  array1d<double> in, out, lake_out;
  void alloc(int flat_nodes, int lakes, bool inflow) {
    if (inflow) in.alloc(flat_nodes);
    out.alloc(flat_nodes);
    lake_out.alloc(lakes > 0 ? lakes : 1);
  }
  bool on() const { return !out.empty(); }
  void clear() {
    for (array1d<double>* a : {&in, &out, &lake_out})
      if (!a->empty()) a->fill(0.0);
  }
};

// What the companion of a channel hot-start read (`name.state`, beside
// `name.dht` and `name.qht`) carries into the run, held from its reading
// until the set-up has put each part in place (channel/channel_hotstart.h).
struct channel_carried {
  struct lake_row {
    int lake = 0, line = 0;
    double level = 0.0, volume = 0.0, area = 0.0;
    int counted = 0;          // cells the lake counts (lake_cells)
    std::vector<int> cells;   // the cells under it
  };
  struct taken_row {
    int link = 0, routed = 0, lake = 0, line = 0;
  };
  // Per class: the stored sediment and what waits to enter (m3).
  struct node_sed_row {
    int link = 0, node = 0, line = 0;
    std::vector<double> stored, waiting;
  };
  // Per class: suspended, settled on the bed, arriving (m3).
  struct lake_sed_row {
    int lake = 0, line = 0;
    std::vector<double> suspended, settled, arriving;
  };
  struct bed_row {
    int link = 0, node = 0, line = 0;
    double bed = 0.0, moved_bed = 0.0, layer = 0.0;
  };
  bool read = false;          // a companion was read
  std::string file;           // its name, for the messages of the set-up
  bool outlet_given = false;  // it carries the outlet discharge of the last step,
  double outlet_q = 0.0;      // m3/s
  std::vector<lake_row> lakes;
  std::vector<taken_row> taken;
  int sed_classes = 0;        // the sediment classes it carries (0: none)
  std::vector<node_sed_row> node_sed;
  std::vector<lake_sed_row> lake_sed;
  std::vector<bed_row> beds;
  std::vector<double> outlet_sed;  // per class the outlet's sediment rate of the last step (m3/s); empty: none
};

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
  double overbank_max_dv = 0.01;  // share of the water above a spill's crest that may spill a second, 1/s
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
  // The network of the channel input file. Links are 1..num_stream_links,
  // link num_stream_links the outlet; arrays per node are node_arrays
  // indexed (node, link) with nodes 0..max_nodes_per_link and links
  // 0..link_array_size; flat node indices are link * max_nodes_per_link +
  // node over link_node_size.
  double chan_alpha = 0.0, chan_beta = 0.0, chan_theta = 0.0;  // routing weights
  int num_stream_links = 0;
  int max_nodes = 0;                 // largest number of node points of a link (MAXNODES)
  int max_nodes_per_link = 0;        // max_nodes + 1
  int link_array_size = 0;           // num_stream_links + 1
  int link_node_size = 0;            // max_nodes_per_link * link_array_size
  int overbank_exchange = 0;         // some link exchanges water over its banks
  int num_headwater_links = 0;       // links without upstream links
  array1d<int> nx;                   // computational nodes per link
  array1d<int> nx1;                  // node points per link of the channel file
  array1d<int> og_nx1;               // computational nodes per link as read
  array1d<int> ltype;                // link type bits (link_type::)
  array1d<int> ldex;                 // own number of a channel or structure link, lake of a lake link
  array1d<int> dslink;               // downstream link, 0 below the outlet
  array1d<int> ndep;                 // number of upstream links
  array2d<int> uslinks;              // [link][1..ndep]: upstream links
  array1d<double> link_dx;           // node spacing per link, m
  array1d<double> inv_mannings_n;    // 1 / Manning's n per link, 0 for lake and structure links
  node_array<double> lnx, lny;       // map coordinates of the node points
  node_array<double> bottom;         // trapezoid bottom width, m
  node_array<double> bankfull_dep;   // trapezoid bankfull depth, m
  node_array<double> sslope, sslope2;  // side slopes of the channel and of its floodplain
  node_array<double> max_eros;       // deepest erosion of the bed, m
  node_array<double> Krb, Mrb;       // stream-bed conductivity and thickness (made with stream loss)
  node_array<double> org_bel;        // bed elevation before sediment transport
  node_array<int> con_vect;          // cell of each node (without a grid-stream file)
  // Break-point cross-sections: property tables per water level
  // ((level, table), levels 1..numhts[table] at ht_spc[table] spacing above
  // the section's lowest point) and the table of each node.
  int apfa_xsec = 0, trap_preiss_xsec = 0, table_preiss_xsec = 0, xsec_tables_read = 0;
  int max_npairs = 0;                // most points of one section
  int max_num_interp = 0;            // most levels of one table
  int num_xsec_tables = 0;           // table slots
  int num_erode_bp_links = 0;
  node_array<int> table_num;         // table of each node
  array1d<int> bplink;               // erodible break-point links: row of xbp_lnn and ybp_lnn
  array1d<int> numpairs, numhts;     // per table: section points and levels
  array1d<double> ht_spc;            // per table: level spacing, m
  node_array<double> xarea, xtw, xp, xk;  // flow area m2, top width m, wetted perimeter m, conveyance m3/s
  array3d<double> xbp_lnn, ybp_lnn;  // [erodible link][node][point]: the node's own section
  array2d<double> max_yp;            // [erodible link][node]: highest water level reached, m
  array2d<double> ch_sand_vol0;      // [erodible link][node]: sand in the bed at the start, m3
  // Grid-stream table: the cells a stream crosses ([stream cell][entry]).
  int gst_num_cells = 0;
  int gst_max_cells = 0;             // most entries of one stream cell
  array1d<int> gst_ncellsingrid;     // entries per stream cell
  array2d<int> gst_link, gst_node;   // the channel node of each entry
  array2d<int> gst_gnum;             // the cell of each entry
  array2d<int> gst_row, gst_col;     // its grid row and column
  array2d<double> gst_pct;           // share of the node's length in the cell
  array2d<double> gst_sac_weight;    // share of the Sacramento baseflow
  array2d<double> gst_cgw_weight;    // share of the conceptual groundwater outflow
  double cgw_weight_sum = 0.0;
  array1d<double> chan_cell_topo_weight;  // per cell: topographic weight of a channel cell
  double sac_chan_cells = 0.0, sac_ti_sum = 0.0, sac_chan_length = 0.0, sac_weight_sum = 0.0;
  int chan_section_mode = 0;         // sections are computed from the depth (2)
  // Channel point sources (CHAN_POINT_INPUT): each point's flat node
  // address, and the timed changes of the file: the model time of each and
  // per point its discharge (m3/s) and concentrations.
  int chan_point_sources_on = 0;
  // Stream hydrographs of an outer run imposed as inflows at channel nodes
  // (XY stream boundary points): on when the run has such points.
  int xy_stream_inflow_on = 0;
  int num_chan_points = 0;
  int num_chan_point_changes = 0;
  array1d<int> chan_point_address;          // 1..num_chan_points
  array1d<double> chan_point_change_time;   // 1..changes, Julian days
  array2d<double> chan_point_change_value;  // [change][value]
  // Structure elements, point-source series and pumps of the channel
  // input file (channel/structures.h).
  channel_structures structures;

  // ---- State: the water of the channels ([node][link]).
  node_array<double> yp;             // water surface elevation, m
  node_array<double> bel;            // bed elevation, m
  node_array<double> new_bel;        // bed elevation after sediment transport
  node_array<double> min_bel;        // lowest bed erosion may reach, set by the run's first bed update
  node_array<double> qp;             // discharge, m3/s
  node_array<double> area;           // flow area, m2
  node_array<double> chan_depth;     // flow depth, m
  node_array<double> area_old;       // flow area at the start of the step, m2
  node_array<double> conv, dconv;    // conveyance and its change with area
  node_array<double> topw;           // top width, m
  node_array<double> stdummy;
  node_array<double> Fr;             // Froude number
  node_array<double> qp_vol, qp_vol_sed; // volume passed by a node
  node_array<double> qlat;           // lateral inflow per metre of channel, m2/s
  node_array<double> qriv;  // stream-aquifer exchange per metre, m2/s (made with stream loss)
  array2d<double> gst_qlat;          // exchange of each grid-stream entry with its cell
  array2d<double> gst_Vlat;
  array2d<double> gst_qriv, gst_qriv_vol;  // aquifer exchange of each entry (made with stream loss)
  node_array<double> gst_Vp;         // made with stream loss
  array1d<double> chan_point_flow;   // per flat node address: the point source's discharge now, m3/s
  array1d<double> chan_pipe_flow;    // per flat node address: the pipe outfalls' inflow over this channel step, m3/s (made with outfalls)
  array1d<double> chan_xy_flow;      // per flat node address: the XY stream points' inflow now, m3/s (made with them)
  array2d<double> chan_point_conc;   // [constituent][flat address]: its concentrations now
  // With channel constituents, the water the routing moved since the
  // constituent step last took it: the point sources' (chan_point_volumes)
  // and, per channel lake, the volume it released downstream, m3.
  chan_point_volumes point_vol_wq;
  array1d<double> lake_release_vol;
  // With channel sediment, the point sources' water since the sediment
  // step last took it (only what the sinks took: the inflows bring no
  // sediment).
  chan_point_volumes point_vol_sed;

  // ---- Per-run bookkeeping and step flags.
  int chan_dry_count = 0;            // steps since rain that found the channels nearly empty
  int chan_point_read_count = 0;     // point-source changes applied
  double chan_point_next_time = 0.0;  // model time of the next point-source change, 0 after the last
  int chan_steps = 0, chan_routed_steps = 0;  // channel steps, and those that routed the network
  int chan_route_flag = 0;           // what the last routing handed back
  // The model time up to which the channels' exchange with the aquifer has
  // been applied (the routing's, or the groundwater step's while the
  // routing is parked), Julian days; 0 before the first.
  double aquifer_exchange_until = 0.0;
  int clipped_area_count = 0;        // areas just below zero set to zero by the routing
  channel_scheme routing;            // the explicit routing's own object
  int xsec_table_exceeded = 0;       // a look-up section was evaluated above its last row
  int chan_has_water = 0;            // some node holds water
  node_array<double> yp_max_flood;   // [node][link] highest water surface of the run
  node_array<int> above_bank_warned;  // [node][link] 1 once the event warned of water above the node's banks
  int above_bank_nodes = 0;          // nodes of this event whose water rose above banks it cannot spill over
  // Nodes a channel lake has taken (channel/lake_capture.h), made with lakes.
  node_array<int> status_node;       // 1 while a lake holds the node
  node_array<double> pct_flooded;    // share of the node's cells under a lake
  array1d<int> capture_lake;         // per link: the lake that holds its taken nodes, 0 none
  // What a channel hot-start's companion carries in, until the set-up has
  // put it in place.
  channel_carried carried;

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
  guarded_file chan_state_in_file;      // the companion ".state" of a channel hotstart read, when there is one
  guarded_file chan_point_file;         // read whole at set-up
};

}  // namespace nivra
