// The water in the channel network: the flow area of every node times its
// link's node spacing, over the nodes that carry channel water.
#pragma once

#include "channel/channel_state.h"
#include "model/model_state.h"
#include "surface/lake_state.h"

namespace nivra {

// Links whose nodes carry water and constituents in the channel totals:
// no lake (32) or structure (64) links, and no computational link (4, 8,
// 16) of a special section (128).
inline bool is_storage_link(int ltype) {
  if (ltype & (32 | 64)) return false;
  if ((ltype & (4 | 8 | 16)) && (ltype & 128)) return false;
  return true;
}

// Calls f(link, node, volume) for every node of the storage links, link by
// link in node order. With channel lakes a link's nodes beyond its original
// count lie in the lake and are left out.
template <class F>
void for_each_channel_node(const model_state& ms, F&& f) {
  const channel_state& ch = ms.channel;
  const int links = ch.num_stream_links;
  for (int link = 1; link <= links && link <= ch.ltype.size() && link <= ch.nx.size(); ++link) {
    if (!is_storage_link(ch.ltype[link])) continue;
    int last = ch.nx[link];
    if (ms.lake.chan_lakes && link <= ch.og_nx1.size() && ch.og_nx1[link] < last) last = ch.og_nx1[link];
    for (int node = 1; node <= last && node <= ch.area.rows(); ++node)
      f(link, node, ch.area(node, link) * ch.link_dx[link]);
  }
}

// Water in the channels (m3); none without explicit channel routing.
inline double channel_storage(const model_state& ms) {
  if (!ms.channel.chan_explic) return 0.0;
  double v = 0.0;
  for_each_channel_node(ms, [&v](int, int, double volume) { v += volume; });
  return v;
}

}  // namespace nivra
