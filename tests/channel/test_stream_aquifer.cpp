// The stream-aquifer exchange by Darcy's law through the bed, worked by
// hand: a trapezoid of bottom width 2 m and side slope 1.5, a bed of
// conductivity 3.6 m/h (1e-3 m/s) and thickness 0.5 m, 0.4 m of water; the
// node lies half in the cell of the entry.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "channel/stream_aquifer.h"
#include "channel_fixture.h"
#include "surface/lake_state.h"

namespace nivra {
namespace {

class StreamAquifer : public testing::process_test {};

TEST_F(StreamAquifer, DarcyThroughTheBedGainingAndLosing) {
  lake_state lakes;
  auto net = testing::read_network(testing::straight_link(2, 10.0, 0.01, 2.0, 1.5, 0.03), lakes);
  ASSERT_TRUE(net);
  channel_state& ch = *net;
  ch.stream_loss = 1;
  size_channel_state(ch);
  ch.Krb.alloc(ch.max_nodes_per_link, ch.link_array_size);
  ch.Mrb.alloc(ch.max_nodes_per_link, ch.link_array_size);
  for (int k = 1; k <= ch.nx[1]; ++k) {
    ch.Krb(k, 1) = 3.6;
    ch.Mrb(k, 1) = 0.5;
  }
  // One grid-stream entry: node 1 of link 1 over cell 1, half its length.
  ch.gst_num_cells = 1;
  ch.gst_max_cells = 1;
  ch.gst_ncellsingrid.alloc(1);
  ch.gst_ncellsingrid[1] = 1;
  for (auto* a : {&ch.gst_link, &ch.gst_node, &ch.gst_gnum}) {
    a->alloc(1, 1);
    (*a)[1][1] = 1;
  }
  for (auto* a : {&ch.gst_pct, &ch.gst_qriv}) a->alloc(1, 1);
  ch.gst_pct[1][1] = 0.5;
  const double zb = ch.bel(1, 1), d0 = 0.4, ws = zb + d0;
  const double k_over_m = 1e-3 / 0.5;
  auto width = [](double d) { return 2.0 + 2.0 * 1.5 * d; };

  const double none = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* what;
    double depth, table;  // table NaN: no water table
    double q;             // per metre of channel, into the channel
    int word;
  } cases[] = {
      {"water table 0.5 m above the water surface", d0, ws + 0.5, k_over_m * 0.5 * width(0.9), stream_exchange::gaining},
      {"table between bed and surface", d0, zb + 0.1, k_over_m * (zb + 0.1 - ws) * width(d0), stream_exchange::losing},
      {"table below the bed", d0, zb - 3.0, -d0 * k_over_m * width(d0), stream_exchange::losing},
      {"dry node over a deep table", 0.0, zb - 3.0, 0.0, stream_exchange::none},
      {"no water table", d0, none, -d0 * k_over_m * width(d0), stream_exchange::losing},
      {"dry node, no water table", 0.0, none, 0.0, stream_exchange::none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ch.chan_depth(1, 1) = c.depth;
    double table = c.table, bottom = zb - 20.0, ground = zb + 2.0;
    // Cell arrays are 1-based: element 0 unused.
    double tables[2] = {0.0, table}, bottoms[2] = {0.0, bottom}, grounds[2] = {0.0, ground};
    stream_aquifer_cells cells;
    if (!std::isnan(table)) {
      cells.water_table = tables;
      cells.bottom = bottoms;
      cells.ground = grounds;
    }
    EXPECT_EQ(chan_gw_exchange(ch, cells), c.word);
    EXPECT_NEAR(ch.gst_qriv[1][1], c.q, 1e-15);
    EXPECT_NEAR(ch.qriv(1, 1), 0.5 * c.q, 1e-15);
    EXPECT_EQ(ch.qriv(2, 1), 0.0);
  }
}

}  // namespace
}  // namespace nivra
