// Channel nodes under a lake: a node whose cells lie wholly in the lake is
// taken, from the downstream end of a reach up, with its water; it comes
// back with the lake's depth once the lake has left its cells; the outlet
// link is never taken. The lake and the network together keep their water.
#include <gtest/gtest.h>

#include <string>

#include "channel/channel_fixture.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
#include "channel/lake_capture.h"

namespace nivra {
namespace {

using testing::chan_file;
using testing::network_volume;
using testing::trapezoid_link;

// Link 1 (three node points, two nodes) flows into the lake of link 2,
// which drains through the weir of link 3 into link 4, the outlet. Each
// node of links 1 and 4 crosses one cell of its own: link 1's nodes cells
// 1 and 2, link 4's nodes cells 3 and 4.
class LakeCapture : public testing::channel_file_test {
 protected:
  void SetUp() override {
    testing::channel_file_test::SetUp();
    const std::string text = chan_file(
        4, 3,
        "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 4 1 2\nCONNECT 4 0 1 3\n" + trapezoid_link(1, 3, 100.0) +
            "LINK 2\nLAKE\nNODES 2\nNODE 1\nELEV 97\nNODE 2\nELEV 97\nINITWSE 98\nNUMPTS 1\n1 1\n"
            "LINK 3\nSTRUCTURE\nNODE 1\nELEV 97\nNODE 2\nELEV 97\nNUMSTRUCTS 1\nSTRUCTTYPE weir\n"
            "CREST_LENGTH 5\nCREST_LOW_ELEV 98\nDISCHARGE_COEFF_FORWARD 0.6\n" +
            trapezoid_link(4, 3, 96.0));
    ASSERT_TRUE(read(text)) << err;
    size_channel_state(ch);
    size_lake_capture(ch);
    ch.gst_num_cells = 4;
    ch.gst_ncellsingrid.alloc(4);
    for (auto* a : {&ch.gst_link, &ch.gst_node, &ch.gst_gnum}) a->alloc(4, 2);
    ch.gst_pct.alloc(4, 2);
    const int entry[4][2] = {{1, 1}, {1, 2}, {4, 1}, {4, 2}};
    for (int i = 1; i <= 4; ++i) {
      ch.gst_ncellsingrid[i] = 1;
      ch.gst_link[i][1] = entry[i - 1][0];
      ch.gst_node[i][1] = entry[i - 1][1];
      ch.gst_gnum[i][1] = i;
      ch.gst_pct[i][1] = 1.0;
    }
    lakes.lake_mask.alloc(4);
    for (auto* a : {&lakes.lake_elev, &lakes.lake_volume}) a->alloc(1);
    lakes.lake_elev[1] = 99.0;
    lakes.lake_volume[1] = 1000.0;
    // Water in every node of links 1 and 4: 0.4 m deep.
    for (int l : {1, 4})
      for (int k = 1; k <= 2; ++k) ch.yp(k, l) = ch.bel(k, l) + 0.4;
    ASSERT_TRUE(ex_section(ch, section_mode::from_depth));
  }
  double water() const { return network_volume(ch) + lakes.lake_volume[1]; }
  channel_status pass(channel_books& b) {
    ::testing::internal::CaptureStdout();
    const channel_status s = lake_capture_and_release(ch, lakes, 10.0, b);
    out = ::testing::internal::GetCapturedStdout();
    return s;
  }
};

TEST_F(LakeCapture, ANodeWhollyUnderTheLakeIsTakenWithItsWater) {
  const struct {
    double share;
    bool taken;
  } cases[] = {{1.0, true}, {0.9995, true}, {0.998, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.share);
    ch.gst_pct[2][1] = c.share;
    lakes.lake_mask[2] = 1;
    const double before = water(), held = ch.area(2, 1) * ch.link_dx[1];
    channel_books b;
    ASSERT_EQ(pass(b), channel_status::ok);
    EXPECT_EQ(ch.nx[1], c.taken ? 1 : 2);
    EXPECT_NEAR(b.lake_in, c.taken ? held : 0.0, 1e-12);
    EXPECT_NEAR(water(), before, 1e-12 * before);
    if (!c.taken) continue;
    EXPECT_EQ(ch.area(2, 1), 0.0);
    EXPECT_NE(out.find("node taken: [1][2] lake_elev:   99.00, dslink:2 nx: 1\n"), std::string::npos) << out;
    // Back with the lake's depth once the lake has left its cell.
    lakes.lake_mask[2] = 0;
    channel_books back;
    ASSERT_EQ(pass(back), channel_status::ok);
    EXPECT_EQ(ch.nx[1], 2);
    EXPECT_NEAR(ch.chan_depth(2, 1), 99.0 - ch.bel(2, 1), 1e-12);
    EXPECT_NEAR(back.lake_out, ch.area(2, 1) * ch.link_dx[1], 1e-12);
    EXPECT_NEAR(water(), before, 1e-12 * before);
  }
}

TEST_F(LakeCapture, AReachTakenWholeBelongsToTheLakeUntilItsFirstNodeComesBack) {
  for (int c = 1; c <= 4; ++c) lakes.lake_mask[c] = 1;
  const double before = water();
  channel_books b;
  ASSERT_EQ(pass(b), channel_status::ok);
  EXPECT_EQ(ch.nx[1], 0);
  EXPECT_TRUE(ch.ltype[1] & link_type::captured);
  EXPECT_EQ(lakes.lake2link[1], 1);
  EXPECT_NE(out.find("***NIVRA  has overtaken link: 1***\n"), std::string::npos);
  EXPECT_EQ(ch.nx[4], 2);  // the outlet link stays
  EXPECT_NEAR(water(), before, 1e-12 * before);
  // The lake falls below the first node's bed: it comes back dry (no link
  // above it), and the second, under the lake's level, with the lake's depth.
  lakes.lake_mask[1] = lakes.lake_mask[2] = 0;
  lakes.lake_elev[1] = ch.bel(1, 1) - 0.5;
  channel_books back;
  ASSERT_EQ(pass(back), channel_status::ok);
  EXPECT_EQ(ch.nx[1], 2);
  EXPECT_FALSE(ch.ltype[1] & link_type::captured);
  EXPECT_EQ(lakes.lake2link[1], 0);
  EXPECT_EQ(ch.chan_depth(1, 1), 0.0);
  EXPECT_NEAR(ch.chan_depth(2, 1), 0.5, 1e-12);
  EXPECT_NEAR(water(), before, 1e-12 * before);
}

}  // namespace
}  // namespace nivra
