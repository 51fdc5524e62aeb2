// Sediment in a channel network read from a channel file: the class split,
// the sand the erodible beds start with (by hand), the cells' sediment
// taken into the nodes (shares by hand, nothing lost), the water the
// overland sediment sees on a channel's cells (by hand), and whole runs of
// the channel sediment step with prescribed water on a network with a lake:
// per class, stored in the channels and the lake + out of the outlet =
// at the start + from the cells, to 1e-10, with the step's books adding up
// to the same, the bed matching the stored sand, and the water riding on a
// bed that moves.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "channel/channel_fixture.h"
#include "channel/channel_sediment.h"
#include "channel/channel_setup.h"
#include "quality/sediment/sediment_physics.h"
#include "surface/lake_state.h"
#include "surface/overland_sediment_step.h"

namespace nivra {
namespace {

namespace sd = sediment;

// Classes: clay 0.002 mm, silt 0.03 mm, sand exactly at 0.0625 mm, sand
// 0.5 mm; all of specific gravity 2.65 but the silt (2.5).
chan_sed_classes four_classes(double porosity = 0.4) {
  const double diam[5] = {0.0, 0.002, 0.03, 0.0625, 0.5};
  const double sg[5] = {0.0, 2.65, 2.5, 2.65, 2.65};
  return split_sediment_classes(4, diam, sg, 0.0625, 20.0, porosity);
}

TEST(ChannelSedimentClasses, FineClassesFirstThenSandFromTheSandSizeUp) {
  const chan_sed_classes c = four_classes();
  EXPECT_EQ(c.n_fine, 2);
  EXPECT_EQ(c.n_sand, 2);
  struct row {
    int cls, sand, position, order_at;
  } rows[] = {{1, 0, 1, 1}, {2, 0, 2, 2}, {3, 1, 1, 3}, {4, 1, 2, 4}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.cls);
    EXPECT_EQ(c.sand[r.cls], r.sand);
    EXPECT_EQ(c.position[r.cls], r.position);
    EXPECT_EQ(c.order[r.order_at], r.cls);
  }
  // A sand class listed first still goes after the fines.
  const double diam[4] = {0.0, 1.0, 0.01, 0.2};
  const double sg[4] = {0.0, 2.65, 2.65, 2.65};
  const chan_sed_classes m = split_sediment_classes(3, diam, sg, 0.0625, 20.0, 0.4);
  EXPECT_EQ(m.order[1], 2);
  EXPECT_EQ(m.order[2], 1);
  EXPECT_EQ(m.order[3], 3);
  EXPECT_EQ(m.position[1], 1);  // first sand position
  EXPECT_EQ(m.position[3], 2);
  // Fall velocities: Stokes for the clay, by hand; density of the silt.
  const double nu = sd::water_viscosity(20.0);
  EXPECT_NEAR(c.settling[1], 1.65 * 9.81 * 2e-6 * 2e-6 / (18.0 * nu), 1e-18);
  EXPECT_DOUBLE_EQ(c.fine_settling[2], c.settling[2]);
  EXPECT_DOUBLE_EQ(c.density[2], 2.5 * 998.2);
}

// Three links in a chain: 1 (erodible trapezoid, steep) into 2, which the
// tests turn into a lake, into 3 (erodible trapezoid, flat, the outlet).
// Four computational nodes of 20 m each per link; bottom width 3 m, side
// slope 1.5, erosion depth 0.3 m.
std::string erodible_link(int link, double top, double slope, const std::string& width = "3.0") {
  std::string s = "LINK " + std::to_string(link) + "\nTRAP_ERODE\nNODES 5\nDX 20.0\nMANNINGS_N 0.03\n";
  for (int k = 1; k <= 5; ++k) {
    char node[100];
    std::snprintf(node, sizeof node, "NODE %d\nELEV %.17g\n", k, top - slope * 20.0 * (k - 1));
    s += node;
  }
  return s + "NODE 1\nXSEC\nBOTTOM_WIDTH " + width + "\nSIDE_SLOPE 1.5\nBANKFULL_DEPTH 2.0\nMAX_EROSION 0.3\n";
}

class ChannelSediment : public testing::process_test {
 protected:
  void load(bool with_lake, const std::string& width_of_3 = "3.0") {
    const std::string text = testing::chan_file(
        3, 5,
        testing::chain_connects(3) + erodible_link(1, 110.0, 0.01) + erodible_link(2, 109.0, 0.002) +
            erodible_link(3, 108.0, 0.0005, width_of_3));
    net = testing::read_network(text, lakes);
    ASSERT_TRUE(net);
    size_channel_state(*net);
    if (with_lake) {
      net->ltype[2] = link_type::lake;
      net->nx[2] = 1;
      lakes.chan_lakes = 1;
      lakes.num_lakes = 1;
      lakes.lake2link.alloc(3);
      lakes.lake2link[2] = 1;
      for (array1d<double>* a : {&lakes.lake_volume, &lakes.lake_area, &lakes.lake_elev}) a->alloc(1);
      lakes.lake_volume[1] = 5000.0;
      lakes.lake_area[1] = 2500.0;
      lakes.lake_elev[1] = 108.5;
    }
    ::testing::internal::CaptureStdout();
    initial = setup_channel_sediment(*net, lakes, 10, four_classes(), sed);
    setup_out = ::testing::internal::GetCapturedStdout();
  }

  // Water of depth h and discharge q at every node of the channel links.
  void water(double h, double q, double dt) {
    channel_state& ch = *net;
    for (int l = 1; l <= ch.num_stream_links; ++l) {
      if (ch.ltype[l] & link_type::lake) continue;
      for (int k = 1; k <= ch.nx[l]; ++k) {
        ch.chan_depth(k, l) = h;
        ch.yp(k, l) = ch.bel(k, l) + h;
        ch.area(k, l) = sd::trapezoid(ch.bottom(k, l), ch.sslope(k, l), h).area;
        ch.qp(k, l) = q;
        ch.qp_vol_sed(k, l) = q * dt;
      }
    }
  }

  lake_state lakes;
  std::unique_ptr<channel_state> net;
  channel_sediment sed;
  double initial = 0.0;
  std::string setup_out;
};

TEST_F(ChannelSediment, ErodibleBedsStartWithAFullSandLayerSharedByTheSandClasses) {
  load(true);
  const channel_state& ch = *net;
  // Per node (1 - 0.4) x 0.3 m x 3 m x 20 m = 10.8 m3; links 1 and 3 have
  // four nodes each, the lake none.
  EXPECT_NEAR(initial, 8 * 10.8, 1e-12);
  for (int l : {1, 3})
    for (int k = 1; k <= 4; ++k) {
      const int f = ch.max_nodes_per_link * l + k;
      EXPECT_NEAR(sed.sand.sand(f, 1), 5.4, 1e-12);
      EXPECT_NEAR(sed.sand.sand(f, 2), 5.4, 1e-12);
      EXPECT_DOUBLE_EQ(sed.layer(k, l), 0.3);
      EXPECT_DOUBLE_EQ(ch.new_bel(k, l), ch.bel(k, l));
      EXPECT_DOUBLE_EQ(ch.org_bel(k, l), ch.bel(k, l));
      // A full layer keeps the bed where it is.
      const auto b = sd::bed_elevation(10.8, ch.bel(k, l), ch.org_bel(k, l), 3.0, 1.5, 0.3, 20.0, 0.4);
      EXPECT_NEAR(b.bel, ch.bel(k, l), 1e-12);
    }
  EXPECT_NEAR(sed.sand_init[1] + sed.sand_init[2], initial, 1e-12);
  for (int c = 1; c <= 4; ++c) EXPECT_DOUBLE_EQ(lake_sediment_stored(sed, c), 0.0);
}

TEST_F(ChannelSediment, AnErodibleTrapezoidOfNoWidthIsNamedAndHoldsNoSand) {
  load(false, "0.0");
  EXPECT_NE(setup_out.find("erodible channel link 3 node 1 has no bottom width"), std::string::npos) << setup_out;
  EXPECT_EQ(sed.nodes_without_width, 4);
  EXPECT_NEAR(initial, 8 * 10.8, 1e-12);  // links 1 and 2 only
}

TEST_F(ChannelSediment, CellsGiveTheirSedimentToTheNodesByTheirShares) {
  load(true);
  channel_state& ch = *net;
  // Stream cell 1 is cell 5, crossed by nodes 1 and 2 of link 1 (shares
  // 0.6 and 0.7: more than the whole cell, so scaled to 6/13 and 7/13).
  // Stream cell 2 is cell 7: node 3 of link 1 (share 0.5) and the lake
  // link (no sediment of its own: skipped).
  ch.gst_num_cells = 2;
  ch.gst_ncellsingrid.alloc(2);
  ch.gst_ncellsingrid[1] = ch.gst_ncellsingrid[2] = 2;
  for (array2d<int>* a : {&ch.gst_link, &ch.gst_node, &ch.gst_gnum}) a->alloc(2, 2);
  ch.gst_pct.alloc(2, 2);
  const int link[3][3] = {{}, {0, 1, 1}, {0, 1, 2}}, node[3][3] = {{}, {0, 1, 2}, {0, 3, 1}},
            cell[3][3] = {{}, {0, 5, 5}, {0, 7, 7}};
  const double pct[3][3] = {{}, {0, 0.6, 0.7}, {0, 0.5, 0.4}};
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) {
      ch.gst_link[i][j] = link[i][j];
      ch.gst_node[i][j] = node[i][j];
      ch.gst_gnum[i][j] = cell[i][j];
      ch.gst_pct[i][j] = pct[i][j];
    }
  array2d<double> susp(10, 4), dep(10, 4);
  array1d<double> depth(10);
  for (int k = 1; k <= 4; ++k) {
    susp(5, k) = 1.0 * k;
    dep(5, k) = 0.5 * k;
    susp(7, k) = 2.0 * k;
    dep(7, k) = 0.25 * k;
  }
  depth[5] = 0.01;              // cell 5 holds water, but gives none to the channel
  ch.qlat(3, 1) = 0.001;        // node 3 takes water from cell 7 (which is dry)

  // A link's own BACKWATER or OVERBANK record ties it to the cells' water
  // as the cards of the whole network do.
  const int plain = ch.ltype[1];
  struct option {
    const char* what;
    bool backwater;
    int link_bits;
    double share5, share7;
  } options[] = {{"the channel cannot spill back: a wet cell gives", false, 0, 1.0, 0.5},
                 {"a channel that spills back takes only with inflow", true, 0, 0.0, 0.5},
                 {"a link's BACKWATER record takes only with inflow", false, link_type::backwater, 0.0, 0.5},
                 {"a link's OVERBANK record takes only with inflow", false, link_type::overbank, 0.0, 0.5}};
  for (const option& o : options) {
    SCOPED_TRACE(o.what);
    ch.ltype[1] = plain | o.link_bits;
    array2d<double> s(10, 4), d(10, 4);
    for (int c = 5; c <= 7; c += 2)
      for (int k = 1; k <= 4; ++k) {
        s(c, k) = susp(c, k);
        d(c, k) = dep(c, k);
      }
    channel_sediment fresh;
    ::testing::internal::CaptureStdout();
    setup_channel_sediment(ch, lakes, 10, four_classes(), fresh);
    ::testing::internal::GetCapturedStdout();
    cells_to_channel_nodes(ch, {&s, &d, depth.data()}, o.backwater, 10.0, fresh);
    for (int k = 1; k <= 4; ++k) {
      SCOPED_TRACE(k);
      const chan_sed_classes& c = fresh.classes;
      auto lateral = [&](int n) {
        const int f = ch.max_nodes_per_link + n;
        return c.sand[k] ? fresh.sand.lateral(f, c.position[k]) : fresh.wash.lateral(f, c.position[k]);
      };
      const double whole5 = 1.5 * k, whole7 = 2.25 * k;
      EXPECT_NEAR(lateral(1), o.share5 * whole5 * 6.0 / 13.0, 1e-14);
      EXPECT_NEAR(lateral(2), o.share5 * whole5 * 7.0 / 13.0, 1e-14);
      EXPECT_NEAR(lateral(3), o.share7 * whole7, 1e-14);
      EXPECT_NEAR(s(5, k) + d(5, k), (1.0 - o.share5) * whole5, 1e-14);
      EXPECT_NEAR(s(7, k) + d(7, k), (1.0 - o.share7) * whole7, 1e-14);
      // The split between suspended and loose sediment, and the total
      // for the bed output.
      EXPECT_NEAR(fresh.books.suspended_to_channels[k], o.share5 * 1.0 * k + o.share7 * 2.0 * k, 1e-14);
      EXPECT_NEAR(fresh.books.loose_to_channels[k], o.share5 * 0.5 * k + o.share7 * 0.25 * k, 1e-14);
      EXPECT_NEAR(fresh.lateral_total(ch.max_nodes_per_link + 3, k), o.share7 * whole7, 1e-14);
    }
  }
  ch.ltype[1] = plain;
}

// The water the overland sediment step sees on the cells around a channel
// that takes its cells' water only in the channel step after the overland
// step. Cell 1 holds the channel and spilled into it: 0.558 m deep as the
// step started, it ends the step 0.593 m deep with the step's inflow the
// channel takes out afterwards; over the step it stood at their mean,
// 0.5755 m. Cell 2, the land above it, rose from 0.2012 to 0.2017 m. The face
// from cell 2 into cell 1 moved 6.5 m3 over the 10 s step (0.65 m3/s),
// while its discharge at the end, with cell 1 filled up (the last sub-step
// of a grid with lakes), was 0.2 m3/s: with the step's volumes kept the
// faces carry their mean, without them the routing's discharges.
TEST(ChannelCellSediment, TheSedimentSeesAChannelCellAtItsMeanDepthAndAFaceAtItsMeanDischarge) {
  const double end[3] = {0.0, 0.593, 0.2017}, start[3] = {0.0, 0.558, 0.2012};
  const double qx[3] = {0.0, 0.03, -0.01}, qy[3] = {0.0, 0.0, 0.2};
  const double vx[3] = {0.0, 0.4, -0.05}, vy[3] = {0.0, 0.0, 6.5};
  struct row {
    const char* what;
    bool volumes;
    double qx1, qx2, qy2;
  } rows[] = {{"the step's face volumes kept", true, 0.04, -0.005, 0.65},
              {"no face volumes: the routing's discharges", false, 0.03, -0.01, 0.2}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    double depth[3] = {}, sx[3] = {}, sy[3] = {};
    sediment_water_of_step({10.0, end, start, qx, qy, r.volumes ? vx : nullptr, r.volumes ? vy : nullptr},
                           1, 2, {depth, sx, sy});
    EXPECT_NEAR(depth[1], 0.5755, 1e-15);
    EXPECT_NEAR(depth[2], 0.20145, 1e-15);
    EXPECT_NEAR(sx[1], r.qx1, 1e-15);
    EXPECT_NEAR(sx[2], r.qx2, 1e-15);
    EXPECT_NEAR(sy[2], r.qy2, 1e-15);
    EXPECT_EQ(sy[1], 0.0);
  }
}

// A channel that spills back onto the grid gives its cell water (qlat below
// 0): the water takes the node's wash load at its concentration, by hand;
// sand stays; a node cannot give more than it holds.
TEST_F(ChannelSediment, WaterSpillingOntoACellTakesWashLoadAlong) {
  load(false);
  channel_state& ch = *net;
  ch.gst_num_cells = 1;
  ch.gst_ncellsingrid.alloc(1);
  ch.gst_ncellsingrid[1] = 1;
  for (array2d<int>* a : {&ch.gst_link, &ch.gst_node, &ch.gst_gnum}) a->alloc(1, 1);
  ch.gst_pct.alloc(1, 1);
  ch.gst_link[1][1] = 1;
  ch.gst_node[1][1] = 2;
  ch.gst_gnum[1][1] = 4;
  ch.gst_pct[1][1] = 0.5;
  const int f = ch.max_nodes_per_link * 1 + 2;
  ch.area(2, 1) = 1.5;  // 30 m3 of water over the node's 20 m
  // The whole network spills back, or link 1 alone by its OVERBANK record.
  const int plain = ch.ltype[1];
  struct row {
    double qlat, clay, expected;  // m2/s out of the node, m3 of clay in it, m3 spilled
    bool network;
  } rows[] = {{-0.01, 0.3, 0.5 * 20.0 * 0.01 * 10.0 * 0.3 / 30.0, true},  // 1 m3 of water at 0.01
              {-0.01, 0.3, 0.5 * 20.0 * 0.01 * 10.0 * 0.3 / 30.0, false},
              {-1.0, 0.3, 0.3, true},                                     // more water than the node holds
              {0.01, 0.3, 0.0, true}};                                    // the cell gives, not takes
  for (const row& r : rows) {
    SCOPED_TRACE(r.qlat);
    SCOPED_TRACE(r.network ? "network" : "link's OVERBANK record");
    ch.ltype[1] = r.network ? plain : plain | link_type::overbank;
    sed.wash.vol(f, 1) = r.clay;
    sed.books.channels_to_cells.fill(0.0);
    array2d<double> susp(10, 4), dep(10, 4);
    array1d<double> depth(10);
    ch.qlat(2, 1) = r.qlat;
    cells_to_channel_nodes(ch, {&susp, &dep, depth.data()}, r.network, 10.0, sed);
    EXPECT_NEAR(susp(4, 1), r.expected, 1e-15);
    EXPECT_NEAR(sed.wash.vol(f, 1) + susp(4, 1), r.clay, 1e-15);
    EXPECT_NEAR(sed.books.channels_to_cells[1], r.expected, 1e-15);
    EXPECT_DOUBLE_EQ(susp(4, 3) + susp(4, 4), 0.0);
  }
}

// Steps of prescribed water with sediment from the cells into every node
// of link 1 and the first node of link 3 and into the lake; per class the
// network closes and the step books add up to the same.
TEST_F(ChannelSediment, EveryClassClosesOverTheNetworkAndTheLake) {
  load(true);
  channel_state& ch = *net;
  const double dt = 10.0;
  array2d<double> to_lake(1, 4);
  double in[5] = {}, out[5] = {}, lake_in[5] = {}, cells_to_lake[5] = {}, from_lake[5] = {}, shortfall[5] = {};
  const chan_sed_classes& c = sed.classes;
  for (int step = 1; step <= 300; ++step) {
    // A flood wave: deeper and faster in the middle of the run.
    const double f = std::sin(3.14159265358979 * step / 300.0);
    water(0.2 + 0.8 * f, 0.3 + 6.0 * f, dt);
    for (int k = 1; k <= 4; ++k) {
      const double v = step < 200 ? 0.002 * k : 0.0;
      for (int n = 1; n <= 4; ++n) {
        const int fl = ch.max_nodes_per_link * 1 + n;
        (c.sand[k] ? sed.sand.lateral(fl, c.position[k]) : sed.wash.lateral(fl, c.position[k])) += v;
      }
      const int fl = ch.max_nodes_per_link * 3 + 1;
      (c.sand[k] ? sed.sand.lateral(fl, c.position[k]) : sed.wash.lateral(fl, c.position[k])) += 0.5 * v;
      to_lake(1, k) += 0.1 * v;
    }
    ASSERT_TRUE(channel_sediment_step(ch, lakes, &to_lake, false, dt, sed));
    for (int k = 1; k <= 4; ++k) {
      in[k] += sed.books.cells_to_channels[k];
      cells_to_lake[k] += sed.books.cells_to_lakes[k];
      out[k] += sed.books.outlet[k];
      lake_in[k] += sed.books.channels_to_lakes[k];
      from_lake[k] += sed.books.lakes_to_channels[k];
      shortfall[k] += sed.books.shortfall[k];
    }
  }
  for (int k = 1; k <= 4; ++k) {
    SCOPED_TRACE(k);
    const double given = 199 * 0.002 * k * 4.5;
    const double start = c.sand[k] ? initial / 2.0 : 0.0;
    EXPECT_NEAR(in[k], given, 1e-12);
    EXPECT_NEAR(cells_to_lake[k], 199 * 0.0002 * k, 1e-12);
    const double channels = channel_sediment_stored(ch, sed, k), lake = lake_sediment_stored(sed, k);
    // The network and the lake together.
    EXPECT_NEAR(channels + lake + out[k], start + in[k] + cells_to_lake[k] + shortfall[k], 1e-10);
    // The channels alone and the lake alone.
    EXPECT_NEAR(channels, start + in[k] + from_lake[k] + shortfall[k] - lake_in[k] - out[k], 1e-10);
    EXPECT_NEAR(lake, cells_to_lake[k] + lake_in[k] - from_lake[k], 1e-10);
    EXPECT_GT(out[k], 0.0);
    EXPECT_GT(lake_in[k], 0.0);
    if (c.sand[k]) {
      EXPECT_DOUBLE_EQ(from_lake[k], 0.0);  // sand stays in the lake
    }
  }
  // The bed of every erodible node lies where its stored sand puts it.
  for (int l : {1, 3})
    for (int k = 1; k <= 4; ++k) {
      const double v = sed.node_sand(k, l);
      const auto b = sd::bed_elevation(v, ch.bel(k, l), ch.org_bel(k, l), 3.0, 1.5, 0.3, 20.0, 0.4);
      EXPECT_DOUBLE_EQ(ch.new_bel(k, l), b.bel);
      EXPECT_DOUBLE_EQ(ch.bel(k, l), ch.org_bel(k, l));  // the bed is not adjusted
    }
}

TEST_F(ChannelSediment, AnAdjustedBedCarriesTheWaterWithIt) {
  load(false);
  channel_state& ch = *net;
  const double dt = 10.0;
  const int f = ch.max_nodes_per_link * 3 + 2;
  for (int step = 1; step <= 50; ++step) {
    water(0.5, 2.0, dt);
    sed.sand.lateral(f, 2) += 0.5;  // sand piles up at node 2 of link 3
    ASSERT_TRUE(channel_sediment_step(ch, lakes, nullptr, true, dt, sed));
    for (int l : {1, 3})
      for (int k = 1; k <= 4; ++k) {
        EXPECT_DOUBLE_EQ(ch.bel(k, l), ch.new_bel(k, l));
        EXPECT_NEAR(ch.yp(k, l) - ch.bel(k, l), 0.5, 1e-12);
      }
  }
  EXPECT_GT(ch.bel(2, 3), ch.org_bel(2, 3));  // more sand, a higher bed
}

TEST_F(ChannelSediment, ALateralVolumeThatIsNotANumberStopsTheStep) {
  load(false);
  sed.wash.lateral(net->max_nodes_per_link + 1, 1) = std::nan("");
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(channel_sediment_step(*net, lakes, nullptr, false, 10.0, sed));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("qlat_sed is not a number"), std::string::npos);
}

// An erodible break-point link (the section (0, 102) (2, 101) (4, 100)
// (6, 100) (8, 101) (10, 102), 20 levels): its section follows the sand
// its bed lost, once. Updated again at a later event end with no more
// sand gone, it stays as it is.
TEST_F(ChannelSediment, ASectionTakesEachBedChangeOnce) {
  std::string link = "LINK 1\nBREAK_ERODE\nNODES 3\nDX 10.0\nMANNINGS_N 0.03\n";
  for (int k = 1; k <= 3; ++k) link += "NODE " + std::to_string(k) + "\nELEV 100.0\nMAX_EROSION 0.5\n";
  link += "NODE 1\nNPAIRS 6\nNUM_INTERP 20\nX1 0 102\nX1 2 101\nX1 4 100\nX1 6 100\nX1 8 101\nX1 10 102\n";
  net = testing::read_network(testing::chan_file(1, 3, "CONNECT 1 0 0\n" + link), lakes);
  ASSERT_TRUE(net);
  size_channel_state(*net);
  channel_state& ch = *net;
  ::testing::internal::CaptureStdout();
  initial = setup_channel_sediment(ch, lakes, 10, four_classes(), sed);
  ::testing::internal::GetCapturedStdout();
  // A layer 0.5 m deep under the lowest wet width of each node's table,
  // over 10 m, less the pores.
  const double layer = 0.6 * 0.5 * ch.xtw(1, ch.table_num(1, 1)) * 10.0;
  EXPECT_NEAR(initial, 2.0 * layer, 1e-12);
  EXPECT_NEAR(ch.ch_sand_vol0[1][1], layer, 1e-12);
  for (int k = 1; k <= 2; ++k) ch.max_yp[1][k] = 101.5;
  // Nothing gone: the section stays.
  ASSERT_TRUE(update_erodible_sections(ch, sed, true));
  EXPECT_DOUBLE_EQ(ch.bel(1, 1), 100.0);
  // Node 1's bed loses 1.2 m3 of sand (2 m3 of bed).
  sed.node_sand(1, 1) -= 1.2;
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(update_erodible_sections(ch, sed, true));
  const double once = ch.bel(1, 1);
  EXPECT_LT(once, 100.0);
  EXPECT_DOUBLE_EQ(ch.new_bel(1, 1), once);
  EXPECT_DOUBLE_EQ(ch.bel(2, 1), 100.0);
  ASSERT_TRUE(update_erodible_sections(ch, sed, true));
  ::testing::internal::GetCapturedStdout();
  EXPECT_DOUBLE_EQ(ch.bel(1, 1), once);
}

}  // namespace
}  // namespace nivra
