// The exchange between the channels and the ground below them, by Darcy's
// law through the stream bed: a losing node leaks through its bed, a
// gaining node receives water from a water table that stands above its
// water surface. The exchange is computed for every grid-stream entry, so
// that a node spread over several cells gets each cell's share, and lands
// in the node's `qriv` (m3/s per metre of channel, positive into the
// channel); the routing applies it. While the routing is parked between
// storms the groundwater step applies it (exchange_while_parked).
#pragma once

#include "model/water_ledger.h"

namespace nivra {

struct channel_state;

// The cells under the channels (1-based per-cell arrays; null without a
// water table).
struct stream_aquifer_cells {
  const double* water_table = nullptr;  // m
  const double* bottom = nullptr;       // aquifer bottom, m
  const double* ground = nullptr;       // m
  const int* gwbound = nullptr;         // with saturated groundwater only river cells (4) exchange
};

// The words of the exchange.
namespace stream_exchange {
inline constexpr int none = 0;     // nothing exchanged
inline constexpr int gaining = 1;  // some node gains from the aquifer
inline constexpr int losing = 2;   // some node with water loses it, and none gains
inline constexpr int failed = -1;  // a break-point table beyond the last (the message printed)
}  // namespace stream_exchange

// Fills qriv of every routed node and gst_qriv of every grid-stream entry
// (its own flux before its share of the node). Only with the node's link
// exchanging (not a lake, a structure or a link a lake has taken whole).
int chan_gw_exchange(channel_state& ch, const stream_aquifer_cells& cells);

// The width of the wetted bed of a node at depth d, m.
double stream_bed_width(const channel_state& ch, int node, int link, double d);

// What the channels exchanged with the aquifer while their routing was
// parked.
struct parked_exchange_books {
  int word = stream_exchange::none;  // the exchange's word; failed after the message
  double to_aquifer = 0.0;           // what the losing beds gave, m3
};

inline constexpr books_map<parked_exchange_books, 1> parked_exchange_terms{{{
    {&parked_exchange_books::to_aquifer, water_flux::channels_to_groundwater},
}}};

// The exchange of the channels' water with the aquifer over dt seconds
// while their routing is parked, the network's water otherwise standing
// still. Losing beds (the word `losing`) give it, from the water the nodes
// hold now, no node more than it holds: each grid-stream entry's share
// goes to its cell in `cell_exchange` (m3, negative: given to the
// aquifer), with `constituents` also to the entry's volume for the channel
// constituents (gst_qriv_vol), and the sections follow the nodes' new
// areas. A node held at a fixed-head outlet keeps its water. A gaining bed
// moves nothing here: its word tells the caller to start the routing,
// which takes the exchange in.
parked_exchange_books exchange_while_parked(channel_state& ch, const stream_aquifer_cells& cells, double dt,
                                           double* cell_exchange, bool constituents);

}  // namespace nivra
