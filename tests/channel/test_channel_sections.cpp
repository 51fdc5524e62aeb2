// Cross-section properties against hand calculations and closed forms: a
// trapezoid at its Manning normal depth, the area-to-depth inverse of every
// section kind (a rectangle for a side slope of 0, a floodplain above its
// bank, a break-point table below its first level, within it and past its
// last), and areas just below zero.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "channel/channel_fixture.h"
#include "channel/channel_sections.h"
#include "channel/channel_input.h"
#include "channel/channel_setup.h"
#include "core/guarded_file.h"

namespace nivra {
namespace {

using testing::chan_file;
using testing::straight_link;

class ChannelSections : public testing::channel_file_test {
 protected:
  // Reads the network into a fresh record of the channel.
  void load(const std::string& text) {
    net = testing::read_network(text, lakes);
    ASSERT_TRUE(net);
    size_channel_state(*net);
  }
  section_props at_depth(double y, bool& exceeded) {
    section_props p;
    EXPECT_EQ(section_at_depth(*net, 1, 1, y, p, exceeded), section_status::ok);
    return p;
  }
  double depth_of(double a, bool& exceeded, double* conv = nullptr) {
    double y = 0.0, k = 0.0;
    EXPECT_EQ(depth_at_area(*net, 1, 1, a, y, k, exceeded), section_status::ok);
    if (conv) *conv = k;
    return y;
  }
  std::unique_ptr<channel_state> net;
};

TEST_F(ChannelSections, ATrapezoidAtItsNormalDepthCarriesItsManningDischarge) {
  // Bottom 5 m, side slope 2, n 0.035: 10 m3/s down a slope of 0.001 runs
  // 1.4253 m deep (Manning: Q = A R^(2/3) sqrt(S) / n).
  load(straight_link(3, 50.0, 0.001, 5.0, 2.0, 0.035));
  bool exceeded = false;
  const double y = 1.4253;
  const section_props p = at_depth(y, exceeded);
  const double area = (5.0 + 2.0 * y) * y, perimeter = 5.0 + 2.0 * y * std::sqrt(5.0);
  EXPECT_NEAR(p.area, area, 1e-12);
  EXPECT_NEAR(p.topw, 5.0 + 4.0 * y, 1e-12);
  EXPECT_NEAR(p.conv * std::sqrt(0.001), 10.0, 5e-4);
  EXPECT_NEAR(p.conv, area * std::pow(area / perimeter, 2.0 / 3.0) / 0.035, 1e-9);
  // dK/dy against a centred difference.
  const double step = 1e-5;
  const double dk = (at_depth(y + step, exceeded).conv - at_depth(y - step, exceeded).conv) / (2 * step);
  EXPECT_NEAR(p.dconv, dk, 1e-5 * dk);
  EXPECT_FALSE(exceeded);
}

TEST_F(ChannelSections, EachSectionGivesBackTheDepthOfItsArea) {
  const std::string trapezoid = straight_link(2, 10.0, 0.01, 3.0, 1.5, 0.03, 1.0);
  const std::string rectangle = straight_link(2, 10.0, 0.01, 4.0, 0.0, 0.03, 1.0);
  // A break-point section with a bottom 4 m wide and banks of slope 1,
  // 2 m deep, tabled in 20 levels of 0.1 m.
  const std::string breakpoint = chan_file(
      1, 3,
      "CONNECT 1 0 0\nLINK 1\nBREAKPOINT\nNODES 3\nDX 10\nMANNINGS_N 0.05\nNODE 1\nELEV 50\nNODE 2\nELEV 49\n"
      "NODE 3\nELEV 48\nNODE 1\nNPAIRS 4\nNUM_INTERP 20\nX1 0 2\nX1 2 0\nX1 6 0\nX1 8 2\n");
  const struct {
    const char* what;
    const std::string* file;
    bool floodplain;
    double depth;
    double area;  // the section's area at that depth, by hand
    bool exceeded;
  } cases[] = {
      {"trapezoid", &trapezoid, false, 0.8, (3.0 + 1.5 * 0.8) * 0.8, false},
      {"rectangle", &rectangle, false, 0.8, 4.0 * 0.8, false},
      {"floodplain below the bank", &trapezoid, true, 0.6, (3.0 + 1.5 * 0.6) * 0.6, false},
      {"floodplain at the bank", &trapezoid, true, 1.0, 4.5, false},
      // 1 m of bank at slope 1.5 is 6 m across; above it the floodplain
      // widens at 10 horizontal per vertical.
      {"floodplain above the bank", &trapezoid, true, 1.4, 4.5 + (6.0 + 6.0 + 2 * 10.0 * 0.4) / 2 * 0.4, false},
      {"break-point below the first level", &breakpoint, false, 0.05, 0.41 * std::pow(0.5, 5.0 / 3.0), false},
      {"break-point between levels", &breakpoint, false, 1.234, 0.0, false},
      {"break-point at its last level", &breakpoint, false, 2.0, 12.0, false},
      {"break-point past its last level", &breakpoint, false, 2.3, 12.0 + 3.0 * (12.0 - 11.21), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    load(*c.file);
    if (c.floodplain) {
      net->ltype[1] |= link_type::floodplain;
      for (int k = 1; k <= net->nx[1]; ++k) net->sslope2(k, 1) = 10.0;
    }
    bool exceeded = false;
    const section_props p = at_depth(c.depth, exceeded);
    if (c.area > 0.0) {
      EXPECT_NEAR(p.area, c.area, 1e-12);
    }
    EXPECT_EQ(exceeded, c.exceeded);
    bool back_exceeded = false;
    double conv = 0.0;
    double a = p.area;
    EXPECT_NEAR(depth_of(a, back_exceeded, &conv), c.depth, 1e-12);
    // The floodplain's conveyance keeps six-figure exponents one way.
    EXPECT_NEAR(conv, p.conv, (c.floodplain ? 1e-6 : 1e-9) * p.conv);
    EXPECT_EQ(back_exceeded, c.exceeded);
  }
}

TEST_F(ChannelSections, ABreakPointTableIsExactAtItsLevelsAndLinearBetween) {
  load(chan_file(1, 3,
                 "CONNECT 1 0 0\nLINK 1\nBREAKPOINT\nNODES 3\nDX 10\nMANNINGS_N 0.05\nNODE 1\nELEV 50\nNODE 2\n"
                 "ELEV 49\nNODE 3\nELEV 48\nNODE 1\nNPAIRS 4\nNUM_INTERP 20\nX1 0 2\nX1 2 0\nX1 6 0\nX1 8 2\n"));
  bool exceeded = false;
  for (int i = 1; i <= 20; ++i) {
    const double y = 0.1 * i;
    EXPECT_NEAR(at_depth(y, exceeded).area, (4.0 + y) * y, 1e-12) << i;
    EXPECT_NEAR(at_depth(y, exceeded).topw, 4.0 + 2.0 * y, 1e-12) << i;
  }
  // Halfway between 1.2 and 1.3 m: the mean of the two areas.
  EXPECT_NEAR(at_depth(1.25, exceeded).area, ((4.0 + 1.2) * 1.2 + (4.0 + 1.3) * 1.3) / 2, 1e-12);
  EXPECT_FALSE(exceeded);
}

TEST_F(ChannelSections, AnAreaJustBelowZeroIsAnEmptyChannel) {
  load(straight_link(2, 10.0, 0.01, 3.0, 1.5, 0.03));
  channel_state& ch = *net;
  ch.area(1, 1) = -0.00005;
  ch.area(2, 1) = 2.0;
  ASSERT_TRUE(ex_section(ch, ch.area));
  EXPECT_EQ(ch.area(1, 1), 0.0);
  EXPECT_EQ(ch.chan_depth(1, 1), 0.0);
  EXPECT_EQ(ch.yp(1, 1), ch.bel(1, 1));
  EXPECT_NEAR(ch.chan_depth(2, 1), (std::sqrt(4 * 1.5 * 2.0 + 9.0) - 3.0) / 3.0, 1e-12);

  ch.area(2, 1) = -0.0001;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(ex_section(ch, ch.area));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                "In ex_section.c - 1\nprogram stopped for negative area, node 2, link 1\n"),
            std::string::npos);
  EXPECT_TRUE(stopped());
}

}  // namespace
}  // namespace nivra
