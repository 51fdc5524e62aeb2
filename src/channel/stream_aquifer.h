// The exchange between the channels and the ground below them, by Darcy's
// law through the stream bed: a losing node leaks through its bed, a
// gaining node receives water from a water table that stands above its
// water surface. The exchange is computed for every grid-stream entry, so
// that a node spread over several cells gets each cell's share, and lands
// in the node's `qriv` (m3/s per metre of channel, positive into the
// channel); the routing applies it.
#pragma once

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

}  // namespace nivra
