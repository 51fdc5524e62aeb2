// The section of an erodible break-point node after its bed lost or gained
// sand: the volume the section gives up (or takes) between two fixed
// levels equals the bed volume, the bed follows the lowest point, the
// lowest bed of the run holds it, and a change deeper than the deepest
// water is cut with a warning.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "channel/channel_fixture.h"
#include "channel/channel_setup.h"
#include "channel/xsec_tables.h"
#include "channel/xsec_update.h"

namespace nivra {
namespace {

class XsecUpdate : public testing::process_test {
 protected:
  // One erodible break-point link of two nodes 10 m apart, both with the
  // section (0, 102) (2, 101) (4, 100) (6, 100) (8, 101) (10, 102) in 20
  // levels of 0.1 m; beds at 100 m, erosion down to 100 - max_erosion.
  void load(double max_erosion) {
    std::string link = "LINK 1\nBREAK_ERODE\nNODES 3\nDX 10.0\nMANNINGS_N 0.03\n";
    for (int k = 1; k <= 3; ++k)
      link += "NODE " + std::to_string(k) + "\nELEV 100.0\nMAX_EROSION " + std::to_string(max_erosion) + "\n";
    link += "NODE 1\nNPAIRS 6\nNUM_INTERP 20\nX1 0 102\nX1 2 101\nX1 4 100\nX1 6 100\nX1 8 101\nX1 10 102\n";
    net = testing::read_network(testing::chan_file(1, 3, "CONNECT 1 0 0\n" + link), lakes);
    ASSERT_TRUE(net);
    size_channel_state(*net);
    sand.alloc(net->max_nodes_per_link, net->link_array_size);
    for (int k = 1; k <= 2; ++k) {
      net->ch_sand_vol0[1][k] = 500.0;
      sand(k, 1) = 500.0;
      net->max_yp[1][k] = 101.5;
    }
  }
  // The bed volume v (m3, positive for erosion) leaves node 1 through a
  // porosity of 0.4.
  void erode(double v) { sand(1, 1) = 500.0 - v * (1.0 - 0.4); }
  // Water the section of node 1 holds below 102.5 m (above its banks) over
  // its 10 m.
  double held() const {
    double x[6], z[6];
    for (int i = 0; i < 6; ++i) {
      x[i] = net->xbp_lnn(1, 1, i + 1);
      z[i] = net->ybp_lnn(1, 1, i + 1);
    }
    return section_at_level(x, z, 6, 102.5).area * 10.0;
  }
  bool update() {
    ::testing::internal::CaptureStdout();
    const bool ok = xsec_update(*net, sand, 0.4, true);
    out = ::testing::internal::GetCapturedStdout();
    return ok;
  }

  std::unique_ptr<channel_state> net;
  lake_state lakes;
  node_array<double> sand;
  std::string out;
};

TEST_F(XsecUpdate, TheSectionGivesUpTheBedVolumeAndTheBedFollowsItsLowestPoint) {
  for (double v : {5.0, -3.0}) {
    SCOPED_TRACE(v);
    load(2.0);
    const double before = held();
    erode(v);
    ASSERT_TRUE(update()) << out;
    EXPECT_NEAR(held() - before, v, 1e-5 * std::fabs(v));
    // The lowest points moved the most: the bed follows them.
    EXPECT_NEAR(net->bel(1, 1), net->ybp_lnn(1, 1, 3), 1e-12);
    EXPECT_EQ(v > 0, net->bel(1, 1) < 100.0);
    // The other node and the banks above the deepest water stay.
    EXPECT_EQ(net->bel(2, 1), 100.0);
    EXPECT_EQ(net->ybp_lnn(1, 1, 1), 102.0);
    // The node's table follows its new section.
    EXPECT_NEAR(net->ht_spc[net->table_num(1, 1)], (102.0 - net->ybp_lnn(1, 1, 3)) / 20.0, 1e-12);
  }
}

TEST_F(XsecUpdate, EqualSandOrABedAtItsLowestLeaveTheSection) {
  load(2.0);
  ASSERT_TRUE(update());
  EXPECT_EQ(net->bel(1, 1), 100.0);
  EXPECT_EQ(net->ybp_lnn(1, 1, 3), 100.0);
  // No erosion allowed: the bed already lies at its lowest.
  load(0.0);
  erode(5.0);
  ASSERT_TRUE(update());
  EXPECT_EQ(net->bel(1, 1), 100.0);
  EXPECT_EQ(net->ybp_lnn(1, 1, 3), 100.0);
}

TEST_F(XsecUpdate, AChangeDeeperThanTheDeepestWaterIsCut) {
  load(5.0);
  erode(1000.0);
  // The deepest water, 1.5 m, lies in level 16 of the table: the bed gives
  // up that level's top width times 1.5 m over the node's 10 m.
  const double width = net->xtw(16, net->table_num(1, 1));
  const double before = held();
  ASSERT_TRUE(update()) << out;
  EXPECT_NE(out.find("It is impossible that change of stream bed elevation is greater than maximum channel depth\n"
                     "Setting the change in stream bed elevation equal to the depth of the channel\n"),
            std::string::npos);
  EXPECT_NEAR(held() - before, width * 10.0 * 1.5, 1e-5 * width * 15.0);
  // Never below the lowest bed of the run.
  load(1.0);
  erode(1000.0);
  ASSERT_TRUE(update()) << out;
  EXPECT_EQ(net->bel(1, 1), 99.0);
  // A bed above the deepest water reached stops the run.
  load(2.0);
  erode(5.0);
  net->max_yp[1][1] = 99.0;
  EXPECT_FALSE(update());
  EXPECT_NE(out.find("program stopped for negative depth, node 1, link 1"), std::string::npos);
}

}  // namespace
}  // namespace nivra
