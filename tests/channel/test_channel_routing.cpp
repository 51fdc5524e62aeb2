// Explicit channel routing against Manning's normal depth and a volume
// balance that must close at every call; the node flows and the volume
// balance by hand (equal water surfaces, reverse slopes, the outlet
// boundaries, headwater inflow, sinks and losing beds that never take more
// than a node holds); the loss through a bed by hand and each cell's share
// of it; the Courant split and the halving of a sub-step that would leave a
// node with a negative area.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "channel/channel_fixture.h"
#include "channel/channel_input.h"
#include "channel/channel_routing.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
#include "channel/channel_storage.h"
#include "channel/stream_aquifer.h"
#include "core/guarded_file.h"
#include "inputs/grid_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using testing::straight_link;

class ChannelRouting : public testing::process_test {
 protected:
  // Reads a network and starts it dry.
  void load(const std::string& text) {
    net = testing::read_network(text, lakes);
    ASSERT_TRUE(net);
    size_channel_state(*net);
    net->max_courant_number = 0.04;
    ASSERT_TRUE(ex_section(*net, section_mode::from_depth));
  }
  // Every node of link 1 at depth y.
  void fill(double y) {
    for (int k = 1; k <= net->nx[1]; ++k) net->yp(k, 1) = net->bel(k, 1) + y;
    ASSERT_TRUE(ex_section(*net, section_mode::from_depth));
    ASSERT_TRUE(ex_section(*net, net->area));
  }
  channel_domain domain() { return channel_domain{*net, overland, grid, lakes}; }
  // The reach of the hand balances: three nodes 10 m apart holding 10 m3
  // each, fed 0.5 m3/s at the head, passing 0.25, 0.5 and 0.125 m3/s.
  void hand_reach(node_array<double>& q) {
    load(straight_link(3, 10.0, 0.01, 2.0, 1.0, 0.03));
    net->first_order_chan_q = 0.5;
    q.alloc(net->max_nodes_per_link, net->link_array_size);
    q(1, 1) = 0.25;
    q(2, 1) = 0.5;
    q(3, 1) = 0.125;
    for (int k = 1; k <= 3; ++k) net->area(k, 1) = 1.0;
  }
  double volume() const { return testing::network_volume(*net); }
  // Routes one call and checks that the water in the network changed by
  // exactly what crossed its boundary.
  channel_result route(double dt) {
    const double before = volume();
    const channel_result r = ex_flow_route(domain(), dt);
    const channel_books& b = r.books;
    const double in = b.headwater + b.lateral_in + b.point_in + b.aquifer_in + b.clipped;
    const double out = b.outlet + b.lateral_out + b.point_out + b.aquifer_out;
    if (r.status == channel_status::ok) {
      EXPECT_NEAR(volume() - before, in - out, 1e-9 * (before + in)) << "call " << net->routing.calls;
    }
    clipped += b.clipped_nodes;
    return r;
  }

  std::unique_ptr<channel_state> net;
  grid_state grid;
  overland_state overland;
  lake_state lakes;
  int clipped = 0;
};

TEST_F(ChannelRouting, SteadyInflowSettlesAtTheManningNormalDepth) {
  // 10 m3/s into 40 nodes 50 m apart of a trapezoid 5 m wide at the bottom,
  // side slope 2, n 0.035, on a slope of 0.001: normal depth 1.4253 m.
  load(straight_link(40, 50.0, 0.001, 5.0, 2.0, 0.035));
  net->first_order_chan_q = 10.0;
  for (int call = 1; call <= 240; ++call) ASSERT_EQ(route(60.0).status, channel_status::ok) << call;
  double worst = 0.0;
  for (int k = 1; k <= 40; ++k) {
    EXPECT_NEAR(net->chan_depth(k, 1), 1.4253, 0.001) << k;
    EXPECT_NEAR(net->qp(k, 1), 10.0, 0.01) << k;
    worst = std::max(worst, std::fabs(net->chan_depth(k, 1) - 1.4253));
  }
  std::printf("normal depth run: largest departure %.2e m, %d sub-steps, %d areas just below zero set to zero\n",
              worst, net->routing.sub_steps, clipped);
}

TEST_F(ChannelRouting, ACourantNumberAtTheLimitSplitsTheStep) {
  load(straight_link(10, 50.0, 0.001, 5.0, 2.0, 0.035));
  net->first_order_chan_q = 10.0;
  fill(1.4253);
  for (int k = 1; k <= 10; ++k) net->qp(k, 1) = 10.0;
  // A step of 1 s, well inside the diffusive bound (about 2 s here).
  const double courant = 1.0 / 50.0 * (10.0 / net->area(1, 1));
  net->max_courant_number = courant;
  EXPECT_EQ(route(1.0).books.sub_steps, 2);
  fill(1.4253);
  for (int k = 1; k <= 10; ++k) net->qp(k, 1) = 10.0;
  net->max_courant_number = courant * 1.001;
  EXPECT_EQ(route(1.0).books.sub_steps, 1);
  // A step of no length routes nothing.
  const channel_result r = route(1e-17);
  EXPECT_EQ(r.books.sub_steps, 0);
  EXPECT_EQ(r.books.outlet, 0.0);
}

TEST_F(ChannelRouting, NodeFlowsTakeTheConveyanceOfTheHigherWaterSurface) {
  load(straight_link(4, 10.0, 0.01, 2.0, 1.0, 0.03));
  // Beds 99.875, 99.75, 99.625, 99.5 and water surfaces 100.375, 100.375,
  // 99.75, 99.875: node 1 level with node 2, node 3 below node 4.
  const double depth[] = {0.0, 0.5, 0.625, 0.125, 0.375};
  for (int k = 1; k <= 4; ++k) {
    net->bel(k, 1) = 100.0 - 0.125 * k;
    net->chan_depth(k, 1) = depth[k];
    net->conv(k, 1) = 10.0 * k;
  }
  node_array<double> q;
  q.alloc(net->max_nodes_per_link, net->link_array_size);
  ASSERT_EQ(chan_node_flows(domain(), q, 1.0), channel_status::ok);
  EXPECT_EQ(q(1, 1), 0.0);
  EXPECT_EQ(q(2, 1), 0.25 * 20.0);
  EXPECT_EQ(q(3, 1), -std::sqrt(0.0125) * 40.0);
  // The outlet: normal depth down the bed slope of its last reach.
  EXPECT_EQ(q(4, 1), std::sqrt(0.0125) * 40.0);

  // A fixed-head outlet passes on what reaches it.
  net->head_bound = 1;
  net->qlat(4, 1) = 0.02;
  ASSERT_EQ(chan_node_flows(domain(), q, 1.0), channel_status::ok);
  EXPECT_NEAR(q(4, 1), q(3, 1) + 0.02 * 10.0, 1e-12);
  net->area(4, 1) = 1.25;
  chan_node_continuity(*net, net->area, q, 2.0);
  EXPECT_EQ(net->area(4, 1), 1.25);

  // A last bed above the one before it cannot drain by normal depth.
  net->head_bound = 0;
  net->bel(4, 1) = 100.0;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(chan_node_flows(domain(), q, 1.0), channel_status::negative_outlet_slope);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "The outlet slope is negative.  Make sure that the bed\n"
            "elevation of the most downstream node is lower than\n"
            "the bed elevation of the node just upstream from it.\n"
            "Program stopped.\n");
}

TEST_F(ChannelRouting, TheVolumeBalanceOfANodeByHand) {
  node_array<double> q;
  hand_reach(q);
  net->qlat(2, 1) = 0.01;
  // Point sources: 0.2 m3/s into node 3, a sink of 5 m3/s at node 1.
  net->chan_point_flow.alloc(net->link_node_size + 1);
  net->chan_point_flow[net->max_nodes_per_link + 3] = 0.2;
  net->chan_point_flow[net->max_nodes_per_link + 1] = -5.0;
  net->chan_point_sources_on = 1;
  const channel_books b = chan_node_continuity(*net, net->area, q, 4.0);
  // Node 1 holds 10 m3 and gains 4 x (0.5 - 0.25) = 1 m3 during the
  // sub-step: the sink takes the 10 m3 it held, not the 20 m3 it asks.
  EXPECT_NEAR(net->area(1, 1), 0.1, 1e-15);
  EXPECT_NEAR(net->area(2, 1), 1.0 + (0.01 * 10 * 4 + 4 * (0.25 - 0.5)) / 10, 1e-15);
  EXPECT_NEAR(net->area(3, 1), 1.0 + (4 * (0.5 - 0.125) + 4 * 0.2) / 10, 1e-15);
  EXPECT_NEAR(b.headwater, 2.0, 1e-15);
  EXPECT_NEAR(b.point_out, 10.0, 1e-15);
  EXPECT_NEAR(b.point_in, 0.8, 1e-15);
  EXPECT_NEAR(b.lateral_in, 0.4, 1e-15);

  // A losing bed empties a node and no more.
  net->stream_loss = 1;
  size_channel_state(*net);
  net->chan_point_sources_on = 0;
  for (int k = 1; k <= 3; ++k) net->area(k, 1) = 1.0;
  net->qriv(3, 1) = -1.0;
  const channel_books c = chan_node_continuity(*net, net->area, q, 4.0);
  EXPECT_NEAR(net->area(3, 1), 4 * (0.5 - 0.125) / 10, 1e-15);
  EXPECT_NEAR(c.aquifer_out, 10.0, 1e-12);
}

// What the point sources moved at each node, which the water's constituents
// and wash load follow: the file's inflow (the series bring clean water)
// and what the sinks took, never more than the node held. A node may have
// both a file point and a series: the sinks then take what they ask when
// the node can give it, and when it cannot, all it held and all the
// inflows brought.
TEST_F(ChannelRouting, ThePointSinksKeepTheWaterTheyActuallyTook) {
  node_array<double> q;
  hand_reach(q);
  const int at = net->max_nodes_per_link;
  net->chan_point_flow.alloc(net->link_node_size + 1);
  net->structures.series_flow.alloc(net->link_node_size);
  net->chan_point_sources_on = 1;
  // Node 1: a file sink of 5 m3/s holds 10 m3 and gains 1 m3 over the 4 s.
  // Node 2: a file inflow of 0.3 m3/s and a series sink of 0.2 m3/s.
  // Node 3: a file inflow of 0.2 m3/s and a series sink of 10 m3/s: it
  // holds 10 m3 and gains 1.5 m3, the sinks ask 40 m3.
  net->chan_point_flow[at + 1] = -5.0;
  net->chan_point_flow[at + 2] = 0.3;
  net->structures.series_flow[at + 2] = -0.2;
  net->chan_point_flow[at + 3] = 0.2;
  net->structures.series_flow[at + 3] = -10.0;
  const channel_books b = chan_node_continuity(*net, net->area, q, 4.0);
  const struct {
    int node;
    double in, out, area;
  } rows[] = {
      {1, 0.0, 10.0, 0.1},
      {2, 1.2, 0.8, 1.0 + (4 * (0.25 - 0.5) + 1.2 - 0.8) / 10},
      {3, 0.8, 10.8, 4 * (0.5 - 0.125) / 10},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.node);
    EXPECT_NEAR(net->routing.point_in(r.node, 1), r.in, 1e-14);
    EXPECT_NEAR(net->routing.point_out(r.node, 1), r.out, 1e-14);
    EXPECT_NEAR(net->area(r.node, 1), r.area, 1e-14);
  }
  // The water books stay net per node.
  EXPECT_NEAR(b.point_out, 10.0 + 10.0, 1e-13);
  EXPECT_NEAR(b.point_in, 0.4, 1e-14);

  // Over a whole call with the constituents and the wash load on, the
  // volumes the sub-steps kept add up to the water books: a sink of 1 m3/s
  // at node 2 of a reach fed 0.05 m3/s at its head, which empties it.
  load(straight_link(3, 10.0, 0.01, 2.0, 1.0, 0.03));
  fill(0.05);
  net->first_order_chan_q = 0.05;
  net->chan_point_flow.alloc(net->link_node_size + 1);
  net->chan_point_flow[at + 2] = -1.0;
  net->chan_point_sources_on = 1;
  net->point_vol_wq.alloc(net->link_node_size + 1, 0, true);
  net->point_vol_sed.alloc(net->link_node_size + 1, 0, false);
  channel_domain d = domain();
  d.constituents = d.sediments = true;
  double taken = 0.0, headwater = 0.0;
  const double held = volume();
  for (int c = 1; c <= 10; ++c) {
    const channel_result r = ex_flow_route(d, 30.0);
    ASSERT_EQ(r.status, channel_status::ok);
    EXPECT_LT(r.books.point_out, 30.0 - 1e-6);  // cut short every call
    taken += r.books.point_out;
    headwater += r.books.headwater;
  }
  EXPECT_LT(taken, held + headwater);
  EXPECT_NEAR(net->point_vol_wq.out[at + 2], taken, 1e-12 * taken);
  EXPECT_NEAR(net->point_vol_sed.out[at + 2], taken, 1e-12 * taken);
  EXPECT_EQ(net->point_vol_wq.in[at + 2], 0.0);
  EXPECT_EQ(net->point_vol_wq.out[at + 1] + net->point_vol_wq.out[at + 3], 0.0);
}

TEST_F(ChannelRouting, ASubStepThatWouldEmptyANodeBelowZeroIsHalved) {
  // Node 2 stands 1.9 m above node 1 and drains back up the link much
  // faster than its own outflow, which alone sets the Courant number.
  load(straight_link(2, 10.0, 0.01, 2.0, 0.0, 0.03));
  net->max_courant_number = 1.0;
  net->yp(2, 1) = net->bel(2, 1) + 2.0;
  ASSERT_TRUE(ex_section(*net, section_mode::from_depth));
  ASSERT_TRUE(ex_section(*net, net->area));
  const double outflow = std::sqrt(0.01) * net->conv(2, 1);
  const double dt = 0.9 * net->area(2, 1) * 10.0 / outflow;  // a Courant number of 0.9
  const channel_result r = route(dt);
  ASSERT_EQ(r.status, channel_status::ok);
  EXPECT_GT(r.books.sub_steps, 1);
  for (int k = 1; k <= 2; ++k) EXPECT_GE(net->area(k, 1), 0.0);

  // A node that loses more to the cells than it holds cannot be routed.
  load(straight_link(2, 10.0, 0.01, 2.0, 0.0, 0.03));
  fill(0.05);
  net->qlat(1, 1) = -1.0;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(ex_flow_route(domain(), 60.0).status, channel_status::sub_step_too_small);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                "The channel routing time step is getting really small\nless than 1/1000 of a second\n"),
            std::string::npos);
}

// A channel losing through its bed (no water table: the loss of Darcy's law
// at the node's own depth) loses less as it empties. The exchange follows
// the water from sub-step to sub-step: one call of 120 s, which the Courant
// limit cuts into sub-steps, loses what the same span taken as calls of
// 10 s loses, and the cells under the nodes receive exactly what the nodes
// lost, each its share of its node. A call of 1 s, a single sub-step,
// loses by hand what Darcy's law gives at the starting depth.
TEST_F(ChannelRouting, TheStreamLossFollowsTheWaterFromSubStepToSubStep) {
  const int nodes = 10;
  auto start = [&] {
    net = testing::read_network(straight_link(nodes, 50.0, 0.001, 5.0, 2.0, 0.035), lakes);
    ASSERT_TRUE(net);
    channel_state& ch = *net;
    ch.stream_loss = 1;
    ch.max_courant_number = 0.5;
    ch.first_order_chan_q = 10.0;
    ch.Krb.alloc(ch.max_nodes_per_link, ch.link_array_size);
    ch.Mrb.alloc(ch.max_nodes_per_link, ch.link_array_size);
    // Node k lies a quarter over cell k and three quarters over cell
    // nodes + k.
    ch.gst_num_cells = 2 * nodes;
    ch.gst_max_cells = 1;
    ch.gst_ncellsingrid.alloc(2 * nodes);
    for (auto* a : {&ch.gst_link, &ch.gst_node, &ch.gst_gnum}) a->alloc(2 * nodes, 1);
    ch.gst_pct.alloc(2 * nodes, 1);
    for (int c = 1; c <= 2 * nodes; ++c) {
      ch.gst_ncellsingrid[c] = 1;
      ch.gst_link[c][1] = 1;
      ch.gst_node[c][1] = c <= nodes ? c : c - nodes;
      ch.gst_gnum[c][1] = c;
      ch.gst_pct[c][1] = c <= nodes ? 0.25 : 0.75;
    }
    size_channel_state(ch);
    ASSERT_TRUE(init_grid_stream(ch, true));
    for (int k = 1; k <= ch.nx[1]; ++k) {
      ch.Krb(k, 1) = 7.2;  // m/h
      ch.Mrb(k, 1) = 0.5;
    }
    fill(1.4253);
    for (int k = 1; k <= nodes; ++k) net->qp(k, 1) = 10.0;
  };
  auto run = [&](int calls, double dt, double& lost, std::vector<double>& cells) {
    start();
    cells.assign(2 * nodes + 1, 0.0);
    channel_domain d = domain();
    d.cell_exchange = cells.data();
    lost = 0.0;
    int sub_steps = 0;
    for (int c = 1; c <= calls; ++c) {
      const double before = volume();
      const channel_result r = ex_flow_route(d, dt);
      ASSERT_EQ(r.status, channel_status::ok);
      const channel_books& b = r.books;
      EXPECT_NEAR(volume() - before, b.headwater - b.outlet - b.aquifer_out + b.clipped, 1e-9 * before);
      EXPECT_EQ(b.aquifer_in, 0.0);
      EXPECT_EQ(r.exchange, stream_exchange::losing);
      lost += b.aquifer_out;
      sub_steps += b.sub_steps;
    }
    if (dt == 1.0) {
      EXPECT_EQ(sub_steps, 1);
    } else if (calls == 1) {
      EXPECT_GT(sub_steps, 4);
    }
  };
  double one = 0.0, many = 0.0;
  std::vector<double> cells_one, cells_many;
  run(1, 120.0, one, cells_one);
  run(12, 10.0, many, cells_many);
  EXPECT_NEAR(one, many, 0.01 * many);
  // 1.4253 m deep over a bed 5 + 2 x 2 x 1.4253 m wide, 7.2 m/h (2e-3 m/s)
  // through 0.5 m: 1.4253 x 2e-3 / 0.5 x 10.7012 m3/s per metre, over
  // 10 nodes of 50 m.
  const double darcy = 1.4253 * 2e-3 / 0.5 * (5.0 + 4.0 * 1.4253) * 50.0 * nodes;
  {
    double lost = 0.0;
    std::vector<double> cells;
    run(1, 1.0, lost, cells);
    EXPECT_NEAR(lost, darcy * 1.0, 1e-9 * darcy);
  }
  double handed = 0.0;
  for (double v : cells_one) handed += v;
  EXPECT_NEAR(handed, -one, 1e-9 * one);
  for (int k = 1; k <= nodes; ++k) EXPECT_NEAR(cells_one[nodes + k], 3.0 * cells_one[k], 1e-12 * one) << "node " << k;
  // The loss at the start, held for the whole call, would take more.
  EXPECT_GT(darcy * 120.0, 1.05 * many);
  std::printf("stream loss over 120 s: %.3f m3 in one call, %.3f m3 in 12 calls, %.3f m3 at the starting rate\n", one,
              many, darcy * 120.0);
}

}  // namespace
}  // namespace nivra
