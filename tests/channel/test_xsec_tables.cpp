// Break-point cross-sections: the property tables against closed forms,
// wet stretches split by islands, the nodes' tables of links with several
// sections or an erodible bed, and the faults of the section cards.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_fixture.h"
#include "channel/xsec_tables.h"

namespace nivra {
namespace {

using testing::chain_connects;
using testing::chan_file;

using points = std::vector<std::pair<double, double>>;

// One section: its node, its level count and its points.
std::string section(int node, int levels, const points& p) {
  std::string s = "NODE " + std::to_string(node) + "\nNPAIRS " + std::to_string(p.size()) + "\n";
  if (levels >= 0) s += "NUM_INTERP " + std::to_string(levels) + "\n";
  for (const auto& [x, z] : p) s += "X1 " + std::to_string(x) + " " + std::to_string(z) + "\n";
  return s;
}

// A break-point link of `nodes` node points with its sections.
std::string bp_link(int link, int nodes, const std::string& sections, const char* type = "BREAKPOINT") {
  std::string s = "LINK " + std::to_string(link) + "\n" + type + "\nNODES " + std::to_string(nodes) +
                  "\nDX 10\nMANNINGS_N 0.05\n";
  for (int k = 1; k <= nodes; ++k) s += "NODE " + std::to_string(k) + "\nELEV " + std::to_string(50 - k) + "\n";
  return s + sections;
}

const points v_section = {{0, 2}, {1, 0}, {2, 2}};

class XsecTables : public testing::channel_file_test {};

TEST_F(XsecTables, AVSectionGivesTopWidthAndAreaExactly) {
  ASSERT_TRUE(read(chan_file(1, 3, chain_connects(1) + bp_link(1, 3, section(1, 2, v_section))))) << out << err;
  const int t = ch.table_num(1, 1);
  EXPECT_EQ(t, 1);
  EXPECT_EQ(ch.table_num(2, 1), 1);
  EXPECT_EQ(ch.ht_spc[t], 1.0);
  EXPECT_EQ(ch.numhts[t], 2);
  EXPECT_EQ(ch.numpairs[t], 3);
  EXPECT_EQ(ch.xtw(1, t), 1.0);
  EXPECT_EQ(ch.xarea(1, t), 0.5);
  EXPECT_EQ(ch.xtw(2, t), 2.0);
  EXPECT_EQ(ch.xarea(2, t), 2.0);
  EXPECT_NE(out.find("Reading and interpolating break-point cross-sections .\n"), std::string::npos) << out;
}

TEST_F(XsecTables, EveryLevelOfAVMatchesItsClosedForm) {
  // Banks of 2 m across per metre of depth: at depth d the top width is
  // 4 d, the area 2 d^2, the wetted perimeter 2 d sqrt(5).
  ASSERT_TRUE(read(chan_file(1, 2, chain_connects(1) + bp_link(1, 2, section(1, 30, {{0, 3}, {6, 0}, {12, 3}})))))
      << err;
  const int t = 1;
  ASSERT_EQ(ch.numhts[t], 30);
  EXPECT_DOUBLE_EQ(ch.ht_spc[t], 0.1);
  for (int i = 1; i <= 30; ++i) {
    const double d = 0.1 * i;
    const double area = 2 * d * d, perimeter = 2 * d * std::sqrt(5.0);
    EXPECT_NEAR(ch.xtw(i, t), 4 * d, 1e-12) << i;
    EXPECT_NEAR(ch.xarea(i, t), area, 1e-12) << i;
    EXPECT_NEAR(ch.xp(i, t), perimeter, 1e-12) << i;
    EXPECT_NEAR(ch.xk(i, t), area * std::pow(area / perimeter, 2.0 / 3.0) / 0.05, 1e-10) << i;
  }
}

TEST_F(XsecTables, IslandsSplitTheWaterIntoStretches) {
  // Two low channels divided by a bar at 2 m.
  const double x[] = {0, 2, 4, 6, 8}, z[] = {3, 0, 2, 0, 3};
  const section_level low = section_at_level(x, z, 5, 1.0);
  EXPECT_EQ(low.stretches, 2);
  // Each channel: banks 2/3 m and 1 m across at 1 m of depth.
  EXPECT_NEAR(low.top_width, 2 * (2.0 / 3.0 + 1.0), 1e-12);
  EXPECT_NEAR(low.area, 2 * (2.0 / 3.0 + 1.0) * 0.5, 1e-12);
  EXPECT_NEAR(low.perimeter, 2 * (std::hypot(2.0 / 3.0, 1.0) + std::hypot(1.0, 1.0)), 1e-12);
  const section_level high = section_at_level(x, z, 5, 2.5);
  EXPECT_EQ(high.stretches, 1);
  // Above the bar the water is one: a trapezoid minus the bar.
  EXPECT_NEAR(high.top_width, 2 * (2.5 / 1.5) + 4.0, 1e-12);
  EXPECT_NEAR(high.area, 2 * (2.5 / 1.5) * 2.5 * 0.5 + 2 * (2.5 + 0.5) * 2 * 0.5, 1e-12);
  // A water surface on a level stretch of bed wets it without a crossing.
  const double fx[] = {0, 1, 2, 3}, fz[] = {2, 1, 1, 2};
  const section_level flat = section_at_level(fx, fz, 4, 1.0);
  EXPECT_EQ(flat.area, 0.0);
  EXPECT_EQ(flat.top_width, 1.0);
  EXPECT_EQ(flat.stretches, 1);
}

TEST_F(XsecTables, FiftyIslandsAreTooJagged) {
  for (int dips : {49, 50}) {
    points p;
    for (int k = 0; k < dips; ++k) {
      p.push_back({2.0 * k, 1.0});
      p.push_back({2.0 * k + 1, 0.0});
    }
    p.push_back({2.0 * dips, 1.0});
    channel_state fresh;
    ch = std::move(fresh);
    process.error_block = error_state{};
    const bool ok = read(chan_file(1, 2, chain_connects(1) + bp_link(1, 2, section(1, 2, p))));
    EXPECT_EQ(ok, dips < 50) << dips;
    EXPECT_EQ(out.find("that this cross-section is very jagged, with over 50 'islands'\n") != std::string::npos,
              dips == 50)
        << out;
  }
}

TEST_F(XsecTables, NodesBetweenTwoSectionsGetSectionsInBetween) {
  // A rectangle 2 m wide at node 2 widening to 6 m at node 6.
  const points narrow = {{0, 1}, {0, 0}, {2, 0}, {2, 1}}, wide = {{0, 1}, {0, 0}, {6, 0}, {6, 1}};
  ASSERT_TRUE(read(chan_file(1, 8, chain_connects(1) + bp_link(1, 8, section(2, 10, narrow) + section(6, 10, wide)))))
      << out << err;
  EXPECT_EQ(ch.num_xsec_tables, 5);
  const int first = ch.table_num(1, 1);
  EXPECT_EQ(ch.table_num(2, 1), first);
  for (int k = 3; k <= 6; ++k) EXPECT_EQ(ch.table_num(k, 1), first + k - 2) << k;
  EXPECT_EQ(ch.table_num(7, 1), ch.table_num(6, 1));
  for (int k = 1; k <= 7; ++k) {
    // Node k lies between the sections: its width grows by 1 m a node.
    const double width = k <= 2 ? 2.0 : k >= 6 ? 6.0 : 2.0 + (k - 2);
    const int t = ch.table_num(k, 1);
    EXPECT_DOUBLE_EQ(ch.ht_spc[t], 0.1) << k;
    for (int i = 1; i <= 10; ++i) {
      EXPECT_NEAR(ch.xtw(i, t), width, 1e-12) << k << " " << i;
      EXPECT_NEAR(ch.xarea(i, t), width * 0.1 * i, 1e-12) << k << " " << i;
      EXPECT_NEAR(ch.xp(i, t), width + 0.2 * i, 1e-12) << k << " " << i;
    }
  }
}

TEST_F(XsecTables, AnErodibleLinkGivesEveryNodeItsOwnEvenlySpacedSection) {
  ASSERT_TRUE(read(chan_file(1, 4,
                             chain_connects(1) +
                                 bp_link(1, 4, section(1, 4, {{0, 2}, {0.5, 0}, {4, 0}, {4, 2}}), "BREAK_ERODE"))))
      << out << err;
  EXPECT_EQ(ch.num_erode_bp_links, 1);
  EXPECT_EQ(ch.bplink[1], 1);
  EXPECT_EQ(ch.num_xsec_tables, 3);
  const double x[] = {0, 4.0 / 3, 8.0 / 3, 4}, z[] = {2, 0, 0, 2};
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(ch.table_num(k, 1), k);
    for (int p = 1; p <= 4; ++p) {
      EXPECT_NEAR(ch.xbp_lnn(1, k, p), x[p - 1], 1e-12) << k << " " << p;
      EXPECT_NEAR(ch.ybp_lnn(1, k, p), z[p - 1], 1e-12) << k << " " << p;
    }
  }
}

TEST_F(XsecTables, TableSizeWarningsAndErrors) {
  points ten, twelve;
  for (int k = 0; k < 10; ++k) ten.push_back({double(k), k == 0 || k == 9 ? 2.0 : 0.0});
  for (int k = 0; k < 12; ++k) twelve.push_back({double(k), k == 0 || k == 11 ? 2.0 : 0.0});
  ASSERT_TRUE(read(chan_file(1, 6, chain_connects(1) + bp_link(1, 6, section(1, 4, ten) + section(5, 8, twelve)))))
      << err;
  EXPECT_NE(out.find("WARNING!!!! When using two break-point cross-sections the number of pairs \n"
                     "            must be equal, which they are not for link 1.\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  ---> Disregarding the last 2 pairs of the second cross-section. <---\n"), std::string::npos);
  EXPECT_NE(out.find("Using the greater of the two number of interpolation points \nfor both cross-section in link 1"),
            std::string::npos);
  EXPECT_EQ(ch.numhts[ch.table_num(1, 1)], 8);
  EXPECT_EQ(ch.numpairs[ch.table_num(5, 1)], 10);

  const struct {
    std::string sections;
    const char* message;
  } faults[] = {
      {section(1, 0, v_section), "Error: The number of interpolation points [0] for table 1 in link 1 is invalid. "
                                 "(Range is 1-30000.) \n"},
      {section(1, 30001, v_section), "points [30001] for table 1 in link 1 is invalid."},
      {section(1, 1, v_section),
       "Error: The interpolation distance [2.00000] produced by the number of interpolation points [1]\nfor table 1 "
       "in link 1 is invalid. (Range is 0.0001 to 1.0)\n"},
      {section(1, -1, v_section), "Error: the number of interpolation points has not been specifiedfor any table. "},
      {section(1, 2, v_section) + "X1 3 2\n",
       "\n\nError: There are more X1 cards than the NPAIRS card specifies \nfor table 1 in link 1.\n"},
      {"NODE 1\nNPAIRS 3\nNUM_INTERP 2\nX1 0 2\nX1 1 0\n", "table 1 of link 1 in the channel input file net.cif has 2 "
                                                            "of its 3 X1 cards."},
      {"NODE 1\nNPAIRS 3\nNUM_INTERP 2\nX1 0 2\nX1 1 0\nNPAIRS 3\n", "has 2 of its 3 X1 cards before line 24"},
      {section(1, 2, {{0, 2}, {2, 0}, {1, 2}}), "goes back across the channel"},
      {"", "link 1 of the channel input file net.cif is a break-point channel without a section (NPAIRS)"},
      {"X1 0 1\n", "comes before the link's first NPAIRS card"},
      {section(2, 2, v_section) + section(2, 2, v_section), "gives section 2 at node point 2"},
  };
  for (const auto& f : faults) {
    channel_state fresh;
    ch = std::move(fresh);
    process.error_block = error_state{};
    EXPECT_FALSE(read(chan_file(1, 3, chain_connects(1) + bp_link(1, 3, f.sections)))) << f.message;
    EXPECT_TRUE(stopped()) << f.message;
    EXPECT_NE((out + err).find(f.message), std::string::npos) << f.message << "\n" << out << err;
  }
}

TEST_F(XsecTables, ALevelCountWrittenAboveItsNpairsCardBelongsToTheSameTable) {
  ASSERT_TRUE(read(chan_file(1, 3,
                             chain_connects(1) + bp_link(1, 3, "NUM_INTERP 4\nNODE 1\nNPAIRS 3\nX1 0 2\nX1 1 0\nX1 2 2\n"))))
      << err;
  EXPECT_EQ(ch.numhts[1], 4);
  EXPECT_EQ(ch.ht_spc[1], 0.5);
}

}  // namespace
}  // namespace nivra
