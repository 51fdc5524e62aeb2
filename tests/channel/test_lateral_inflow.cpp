// The exchange between a cell and its channel node by hand: free overfall
// into the channel and its limit at the cell's water, the submergence
// factors, a backwater flow between the weir and Manning regimes, a cell
// over its channel giving back no more than half of what levels the two,
// and a spill over the bank cut to the share of the water above the crest
// that OVERBANK_MAX_DV allows.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "channel/channel_fixture.h"
#include "channel/channel_input.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
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
    net = testing::read_network(straight_link(1, 20.0, 0.001, bottom, side, 0.03, bankfull), lakes);
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
  lateral_result exchange(double dt, bool backwater = false) {
    return lateral_inflow(lateral_domain{*net, overland, grid, lakes, backwater}, dt);
  }

  std::unique_ptr<channel_state> net;
  grid_state grid;
  overland_state overland;
  lake_state lakes;
};

TEST_F(LateralInflow, WaterFallsFreelyIntoTheChannelAndNoMoreThanTheCellHolds) {
  load(10.0, 0.0, 1.0, 99.0);
  overland.ov_depth[1] = 0.01;
  // 0.01^1.5 x 20 m of bank x 3.4098.
  const double q = std::pow(0.01, 1.5) * 20.0 * weir;
  exchange(1.0);
  EXPECT_NEAR(net->gst_qlat[1][1], q, 1e-15);
  EXPECT_NEAR(net->qlat(1, 1), q / 20.0, 1e-15);
  EXPECT_NEAR(overland.ov_depth[1], 0.01 - q / 400.0, 1e-15);

  // Over 1000 s the cell has only its 4 m3 to give.
  net->qlat(1, 1) = 0.0;
  overland.ov_depth[1] = 0.01;
  const lateral_result r = exchange(1000.0);
  EXPECT_EQ(overland.ov_depth[1], 0.0);
  EXPECT_NEAR(net->gst_qlat[1][1], 4.0 / 1000.0, 1e-15);
  EXPECT_NEAR(r.to_channel, 4.0, 1e-12);
}

TEST_F(LateralInflow, ACellOverItsChannelGivesBackNoMoreThanHalfOfWhatLevelsThem) {
  // The cell's ground (100 m) above the bank (99.5 m), 0.5 m of water on
  // it and the channel (10 m wide, 200 m2 of water surface along the cell)
  // at 100.2 m: the weir over the ground would pass 0.5^1.5 x 20 x 3.4098 =
  // 24.1 m3/s, but 0.3 m apart the two surfaces meet once 0.3 x 400 x 200
  // / 600 = 40 m3 has crossed. In 10 s the cell gives half of that.
  load(10.0, 0.0, 0.5, 99.0);
  net->yp(1, 1) = 100.2;
  overland.ov_depth[1] = 0.5;
  ASSERT_GT(std::pow(0.5, 1.5) * 20.0 * weir, 20.0);
  const lateral_result r = exchange(10.0);
  EXPECT_NEAR(net->gst_qlat[1][1], 2.0, 1e-12);
  EXPECT_NEAR(r.to_channel, 20.0, 1e-9);
  EXPECT_NEAR(overland.ov_depth[1], 0.45, 1e-12);
  // Levels the same: nothing moves; the channel higher: the spill rules.
  net->qlat(1, 1) = 0.0;
  net->yp(1, 1) = 100.45;
  exchange(10.0);
  EXPECT_EQ(net->gst_qlat[1][1], 0.0);
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
    net->yp(1, 1) = 100.09;
    overland.ov_depth[1] = 0.1;
    overland.dist_rough[1] = n;
    const double manning = std::sqrt(0.01 / 10.0) * std::pow(0.095, 5.0 / 3.0) / n * 2.0 * 20.0;
    // A tenth of a second moves too little to bring the levels together.
    exchange(0.1, true);
    EXPECT_NEAR(net->gst_qlat[1][1], std::min(manning, submerged), 1e-9);
  }
  EXPECT_LT(std::sqrt(0.01 / 10.0) * std::pow(0.095, 5.0 / 3.0) / 0.015 * 40.0, submerged);
  EXPECT_GT(std::sqrt(0.01 / 10.0) * std::pow(0.095, 5.0 / 3.0) / 0.01 * 40.0, submerged);
}

TEST_F(LateralInflow, ASpillOverTheBankTakesAtMostItsShareOfTheWaterAboveTheCrest) {
  // A rectangle 10 m wide, its bank 1 m above a bed at 99.5 m: the bank
  // (100.5 m) stands above the dry cell's ground. The channel at 100.7 m
  // spills under 0.2 m of head; critical flow over 20 m of bank allows
  // 5.45 m3/s, but the 40 m3 above the crest (10 m x 0.2 m x 20 m) may give
  // only 1 % in a step: 0.04 m3/s over 10 s.
  load(10.0, 0.0, 1.0, 99.5);
  net->overbank_flow = 1;
  net->yp(1, 1) = 100.7;
  const double critical = std::sqrt(9.81 * 0.2 * 2 / 3) * 0.8944 * (0.2 * 2 / 3) * 2 * 20.0;
  EXPECT_GT(critical * 10.0, 40.0 * 0.01);
  const lateral_result r = exchange(10.0);
  EXPECT_NEAR(net->gst_qlat[1][1], -0.04, 1e-12);
  EXPECT_NEAR(net->qlat(1, 1), -0.04 / 20.0, 1e-15);
  EXPECT_NEAR(overland.ov_depth[1], 0.4 / 400.0, 1e-15);
  EXPECT_NEAR(r.from_channel, 0.4, 1e-12);
}

}  // namespace
}  // namespace nivra
