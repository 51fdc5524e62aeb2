// The exchange between a cell and its channel node by hand: free overfall
// into the channel, dying away as the cell empties; a cell over its
// channel approaching their common level and never passing it; no step in
// the exchange as the channel's water crosses the cell's ground; the
// submergence factors; a backwater flow between the weir and Manning
// regimes; and a spill over the bank held to OVERBANK_MAX_DV of the water
// above the crest a second, dying away as the channel falls to the crest.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "channel/channel_fixture.h"
#include "channel/channel_input.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "channel/lateral_inflow.h"
#include "core/guarded_file.h"
#include "inputs/grid_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using testing::straight_link;

constexpr double weir = 3.40978982734;

// One node 20 m long in one cell of 20 m, the cell's ground at 100 m.
class LateralInflow : public testing::process_test {
 protected:
  void load(double bottom, double side, double bankfull, double bed) {
    load_network(straight_link(1, 20.0, 0.001, bottom, side, 0.03, bankfull), bed);
  }
  void load_network(const std::string& text, double bed) {
    net = testing::read_network(text, lakes);
    ASSERT_TRUE(net);
    channel_state& ch = *net;
    ch.gst_num_cells = ch.gst_max_cells = 1;
    for (array2d<int>* a : {&ch.gst_link, &ch.gst_node, &ch.gst_gnum}) {
      a->alloc(1, 1);
      (*a)[1][1] = 1;
    }
    for (array2d<double>* a : {&ch.gst_pct, &ch.gst_qlat, &ch.gst_Vlat}) a->alloc(1, 1);
    ch.gst_pct[1][1] = 1.0;
    ch.gst_ncellsingrid.alloc(1);
    ch.gst_ncellsingrid[1] = 1;
    size_channel_state(ch);
    ch.bel(1, 1) = ch.yp(1, 1) = bed;
    grid.grid_size = 20.0;
    grid.elevation.alloc(1);
    grid.elevation[1] = 100.0;
    overland.ov_depth.alloc(1);
    overland.dist_rough.alloc(1);
    overland.dist_rough[1] = 0.015;
  }
  // The channel's water surface at y (m), its area with it.
  void level(double y) {
    net->yp(1, 1) = y;
    section_props p;
    bool exceeded = false;
    ASSERT_EQ(section_at_depth(*net, 1, 1, y - net->bel(1, 1), p, exceeded), section_status::ok);
    net->area(1, 1) = p.area;
  }
  lateral_result exchange(double dt, bool backwater = false) {
    const lateral_domain d{*net, overland, grid, lakes, backwater};
    EXPECT_TRUE(prepare_lateral_exchange(d));
    return lateral_exchange(d, dt);
  }

  std::unique_ptr<channel_state> net;
  grid_state grid;
  overland_state overland;
  lake_state lakes;
};

// What an exchange of initial rate q moves over dt seconds toward a
// meeting `volume` away, as a rate.
double dying_away(double q, double volume, double dt) { return volume * (1.0 - std::exp(-q * dt / volume)) / dt; }

TEST_F(LateralInflow, WaterFallsFreelyIntoTheChannelAndNoMoreThanTheCellHolds) {
  load(10.0, 0.0, 1.0, 99.0);
  overland.ov_depth[1] = 0.01;
  // 0.01^1.5 x 20 m of bank x 3.4098, dying away as the 4 m3 on the cell
  // run out (the dry channel 1 m below the ground holds 200 m3 below it).
  const double q = std::pow(0.01, 1.5) * 20.0 * weir;
  const double given = dying_away(q, 4.0, 1.0);
  EXPECT_LT(std::fabs(given - q), 0.01 * q);
  exchange(1.0);
  EXPECT_NEAR(net->gst_qlat[1][1], given, 1e-15);
  EXPECT_NEAR(net->qlat(1, 1), given / 20.0, 1e-15);
  EXPECT_NEAR(overland.ov_depth[1], 0.01 - given / 400.0, 1e-15);

  // Over 1000 s the cell has only its 4 m3 to give.
  net->qlat(1, 1) = 0.0;
  overland.ov_depth[1] = 0.01;
  const lateral_result r = exchange(1000.0);
  EXPECT_GE(overland.ov_depth[1], 0.0);
  EXPECT_LT(overland.ov_depth[1], 1e-9);
  EXPECT_NEAR(r.to_channel, 4.0, 1e-6);
  EXPECT_LE(r.to_channel, 4.0);
}

TEST_F(LateralInflow, ACellOverItsChannelApproachesTheirCommonLevelAndNeverPassesIt) {
  // The cell's ground (100 m) above the bank (99.5 m), 0.5 m of water on
  // it and the channel (10 m wide, 200 m2 of water surface along the cell)
  // at 100.2 m: the weir over the ground would pass 0.5^1.5 x 20 x 3.4098 =
  // 24.1 m3/s, but 0.3 m apart the two surfaces meet once 0.3 x 400 x 200
  // / 600 = 40 m3 has crossed: in 10 s the flow dies away to 39.9 m3.
  load(10.0, 0.0, 0.5, 99.0);
  level(100.2);
  overland.ov_depth[1] = 0.5;
  const double q = std::pow(0.5, 1.5) * 20.0 * weir;
  ASSERT_GT(q, 20.0);
  const lateral_result r = exchange(10.0);
  EXPECT_NEAR(net->gst_qlat[1][1], dying_away(q, 40.0, 10.0), 1e-12);
  EXPECT_NEAR(r.to_channel, 10.0 * dying_away(q, 40.0, 10.0), 1e-9);
  EXPECT_GT(r.to_channel, 39.8);
  EXPECT_NEAR(overland.ov_depth[1], 0.5 - r.to_channel / 400.0, 1e-12);
  // However long the step, no more than the 40 m3 that levels the two.
  overland.ov_depth[1] = 0.5;
  net->qlat(1, 1) = 0.0;
  EXPECT_LE(exchange(1e6).to_channel, 40.0 + 1e-9);
  // Levels the same: nothing moves; the channel higher: the spill rules.
  net->qlat(1, 1) = 0.0;
  level(100.45);
  overland.ov_depth[1] = 0.45;
  exchange(10.0);
  EXPECT_EQ(net->gst_qlat[1][1], 0.0);
}

TEST_F(LateralInflow, TheExchangeHasNoStepAsTheChannelCrossesTheGround) {
  // A trapezoid 4 m wide at the bottom, its bank 1 m up at the cell's
  // ground (100 m), 0.3 m of water on the cell. With the channel a
  // millimetre below the ground the water falls in freely, a millimetre
  // above it the two are one pool: the exchange over a step of 10 s is the
  // same either side, with and without the overbank and backwater cards.
  for (int mode = 0; mode < 3; ++mode) {
    SCOPED_TRACE(mode);
    double given[2] = {};
    for (int side = 0; side < 2; ++side) {
      load(4.0, 1.0, 1.0, 99.0);
      net->overbank_flow = mode == 1 ? 1 : 0;
      level(100.0 + (side == 0 ? -0.001 : 0.001));
      overland.ov_depth[1] = 0.3;
      given[side] = exchange(10.0, mode == 2).to_channel;
    }
    EXPECT_GT(given[0], 0.0);
    EXPECT_NEAR(given[1], given[0], 0.02 * given[0]);
  }
}

TEST_F(LateralInflow, ALevelTheWaterHasNotReachedWarnsOfNoTableExceeded) {
  // A break-point channel 2 m deep, tabled in 20 levels of 0.1 m, whose
  // cell's ground stands 3 m over the bed: the exchange looks the section
  // up at the ground, past the table, but only water above the table (here
  // over the ground, where the exchange looks it up at the water's level)
  // makes the run warn of it.
  load_network(testing::chan_file(1, 2,
                                  "CONNECT 1 0 0\nLINK 1\nBREAKPOINT\nNODES 2\nDX 20\nMANNINGS_N 0.05\nNODE 1\n"
                                  "ELEV 97\nNODE 2\nELEV 97\nNODE 1\nNPAIRS 4\nNUM_INTERP 20\nX1 0 2\nX1 2 0\nX1 6 0\n"
                                  "X1 8 2\n"),
               97.0);
  overland.ov_depth[1] = 0.05;
  level(98.0);
  exchange(10.0);
  EXPECT_GT(net->gst_qlat[1][1], 0.0);
  EXPECT_EQ(net->xsec_table_exceeded, 0);
  level(100.2);
  exchange(10.0);
  EXPECT_EQ(net->xsec_table_exceeded, 1);
}

TEST_F(LateralInflow, SubmergenceFactorsOfTheTable) {
  const struct {
    double s, factor;
  } cases[] = {{0.0, 1.0}, {0.5, 1.0}, {0.76, 1.0}, {0.8, 0.947}, {0.9, 0.75 + 0.05 / 0.15 * 0.197},
               {0.95, 0.75}, {1.0, 0.0}, {-0.5, 0.0}};
  for (const auto& c : cases) EXPECT_NEAR(submergence_factor(c.s), c.factor, 1e-12) << c.s;
}

TEST_F(LateralInflow, BackwaterFlowsByManningUpToTheSubmergedWeir) {
  // The cell's ground (100 m) above the bank (99.5 m); 0.1 m of water on
  // the cell, the channel 0.09 m above the ground: a submergence of
  // 0.9^1.5 = 0.8538, so the weir passes 0.8763 of its free flow, and the
  // levels are too close for a weir: Manning's flow at the mean depth
  // 0.095 m down 0.01 m over half a cell, up to that weir flow.
  const double s = std::pow(0.9, 1.5);
  const double factor = 0.75 + (0.95 - s) / 0.15 * 0.197;
  const double submerged = std::pow(0.1, 1.5) * 20.0 * weir * factor;
  for (double n : {0.015, 0.01}) {
    SCOPED_TRACE(n);
    load(10.0, 0.0, 0.5, 99.0);
    level(100.09);
    overland.ov_depth[1] = 0.1;
    overland.dist_rough[1] = n;
    const double manning = std::sqrt(0.01 / 10.0) * std::pow(0.095, 5.0 / 3.0) / n * 2.0 * 20.0;
    // Over a tenth of a second the flow dies away little toward the
    // common level, 0.01 m x 400 x 200 / 600 m3 away.
    const double q = std::min(manning, submerged);
    exchange(0.1, true);
    EXPECT_NEAR(net->gst_qlat[1][1], dying_away(q, 0.01 * 400.0 * 200.0 / 600.0, 0.1), 1e-9);
    EXPECT_GT(net->gst_qlat[1][1], 0.9 * q);
  }
  EXPECT_LT(std::sqrt(0.01 / 10.0) * std::pow(0.095, 5.0 / 3.0) / 0.015 * 40.0, submerged);
  EXPECT_GT(std::sqrt(0.01 / 10.0) * std::pow(0.095, 5.0 / 3.0) / 0.01 * 40.0, submerged);
}

TEST_F(LateralInflow, ASpillOverTheBankTakesAtMostItsShareOfTheWaterAboveTheCrestASecond) {
  // A rectangle 10 m wide, its bank 1 m above a bed at 99.5 m: the bank
  // (100.5 m) stands above the dry cell's ground. The channel at 100.7 m
  // spills under 0.2 m of head; critical flow over 20 m of bank allows
  // 5.45 m3/s, but of the 40 m3 above the crest (10 m x 0.2 m x 20 m) only
  // 1 % may go a second, 0.4 m3/s, dying away as the channel falls to the
  // crest: 40 (1 - exp(-0.4 x 10 / 40)) m3 in 10 s.
  load(10.0, 0.0, 1.0, 99.5);
  net->overbank_flow = 1;
  level(100.7);
  const double critical = std::sqrt(9.81 * 0.2 * 2 / 3) * 0.8944 * (0.2 * 2 / 3) * 2 * 20.0;
  EXPECT_GT(critical, 40.0 * 0.01);
  const double spilled = 40.0 * (1.0 - std::exp(-0.1));
  const lateral_result r = exchange(10.0);
  EXPECT_NEAR(net->gst_qlat[1][1], -spilled / 10.0, 1e-12);
  EXPECT_NEAR(net->qlat(1, 1), -spilled / 200.0, 1e-15);
  EXPECT_NEAR(overland.ov_depth[1], spilled / 400.0, 1e-15);
  EXPECT_NEAR(r.from_channel, spilled, 1e-12);
  // However long the step, no more than the water above the crest.
  overland.ov_depth[1] = 0.0;
  EXPECT_LE(exchange(1e6).from_channel, 40.0 + 1e-9);
}

}  // namespace
}  // namespace nivra
