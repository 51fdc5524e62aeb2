// The grid-stream file: every channel node knows the cells it crosses, the
// header and card rules, the checks of every cell, node and count, and the
// tables the set-up completes from it (node spacing, baseflow weights).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "channel/channel_fixture.h"
#include "channel/channel_setup.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::chain_connects;
using testing::chan_file;
using testing::trapezoid_link;

class GridStream : public testing::channel_file_test {
 protected:
  // A grid of rows x cols cells, numbered row by row, except the cells
  // listed as outside the watershed.
  void make_grid(int rows, int cols, const std::set<std::pair<int, int>>& outside = {}) {
    grid.rows = grid.nrows = rows;
    grid.cols = grid.ncols = cols;
    grid.mask.alloc(rows + 1, cols + 1);
    int n = 0;
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c)
        if (!outside.count({r, c})) grid.mask[r][c] = ++n;
    grid.ncells = n;
  }
  // Two links of three node points (two nodes each) on a 12 x 12 grid.
  void small_network() {
    make_grid(12, 12, {{1, 1}});
    ASSERT_TRUE(read(chan_file(2, 3, chain_connects(2) + trapezoid_link(1, 3) + trapezoid_link(2, 3, 90.0)))) << err;
  }
  bool read_gst(const std::string& text) {
    testing::write_file("net.gst", text);
    guarded_file f;
    EXPECT_TRUE(open_guarded_file(f, "net.gst", "r"));
    CaptureStdout();
    CaptureStderr();
    const bool ok = read_grid_stream_file(ch, grid, f, options);
    out = GetCapturedStdout();
    err = GetCapturedStderr();
    return ok;
  }

  grid_state grid;
};

TEST_F(GridStream, EveryNodeOfTheValleyKnowsItsCell) {
  // The example: a channel down column 41 of a 50 x 81 grid, one node a cell.
  const std::string folder = std::string(NIVRA_SOURCE_DIR) + "/examples/vcatch/";
  make_grid(50, 81);
  ASSERT_TRUE(read(testing::read_file(folder + "vcatch.cif"))) << err;
  ASSERT_TRUE(read_gst(testing::read_file(folder + "vcatch.gst"))) << err;
  EXPECT_EQ(out, "Finished reading non-orthogonal channel information from gst file.\n");
  std::map<std::pair<int, int>, std::set<int>> cells_of;  // (link, node) -> cells
  for (int i = 1; i <= ch.gst_num_cells; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      cells_of[{ch.gst_link[i][j], ch.gst_node[i][j]}].insert(ch.gst_gnum[i][j]);
      EXPECT_EQ(ch.gst_pct[i][j], 1.0);
      EXPECT_EQ(grid.mask[ch.gst_row[i][j]][ch.gst_col[i][j]], ch.gst_gnum[i][j]);
    }
  for (int link = 1; link <= 2; ++link)
    for (int node = 1; node <= ch.nx[link]; ++node) {
      const int row = node + 25 * (link - 1);
      const std::set<int> expected = {grid.mask[row][41]};
      EXPECT_EQ(cells_of[std::make_pair(link, node)], expected) << link << " " << node;
    }
  EXPECT_EQ(cells_of.size(), 50u);
}

TEST_F(GridStream, NodesSharedBetweenCellsAndCellsHoldingSeveralNodes) {
  small_network();
  ASSERT_TRUE(read_gst("GRIDSTREAMFILE made by hand\nstreamcells 2\nCELLIJ 10 12\nNUMNODES 3\nLINKNODE 1 1 1.0\n"
                       "LINKNODE 1 2 0.5\nlinknode 2 1 0.25\nCELLIJ 11 12\nNUMNODES 1\nLINKNODE 1 2 0.5\n"))
      << err;
  EXPECT_EQ(ch.gst_num_cells, 2);
  EXPECT_EQ(ch.gst_max_cells, 3);
  EXPECT_EQ(ch.gst_ncellsingrid[1], 3);
  EXPECT_EQ(ch.gst_ncellsingrid[2], 1);
  const int cell = grid.mask[10][12];
  EXPECT_EQ(cell, 10 * 12 - 1);  // one cell of the first row lies outside
  for (int e = 1; e <= 3; ++e) EXPECT_EQ(ch.gst_gnum[1][e], cell) << e;
  EXPECT_EQ(ch.gst_link[1][3], 2);
  EXPECT_EQ(ch.gst_node[1][3], 1);
  EXPECT_EQ(ch.gst_pct[1][3], 0.25);
  EXPECT_EQ(ch.gst_gnum[2][1], grid.mask[11][12]);
  EXPECT_EQ(ch.gst_row[2][1], 11);
  EXPECT_EQ(ch.gst_col[2][1], 12);
  // The second cell's spare entries stay empty.
  EXPECT_EQ(ch.gst_link[2][2], 0);
  EXPECT_EQ(ch.gst_gnum[2][3], 0);
}

TEST_F(GridStream, HeaderAndCardRules) {
  small_network();
  const std::string body = "STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 1 1 1\n";
  EXPECT_TRUE(read_gst("GRIDSTREAMFILE\n" + body)) << err;
  // The header word is written in capitals.
  EXPECT_FALSE(read_gst("gridstreamfile\n" + body));
  EXPECT_EQ(err, "Error: the grid-stream file net.gst does not begin with GRIDSTREAMFILE.\n");
  EXPECT_FALSE(read_gst("GRIDSTREAMFILE\nCELLIJ 2 2\n" + body));
  EXPECT_EQ(out.rfind("The second card in the grid-stream file must be STREAMCELLS\nFile format error, program "
                      "terminating.\n",
                      0),
            0u);
  EXPECT_FALSE(read_gst("GRIDSTREAMFILE\nSTREAMCELLS 0\n"));
  EXPECT_EQ(out.rfind("The number of STREAMCELLS in the grid-stream (.gst) file\n"
                      "must be greater than 0.  File format error, program terminating\n",
                      0),
            0u);
}

TEST_F(GridStream, BadCellsNodesAndCountsStopAtTheirLine) {
  small_network();
  const struct {
    const char* body;
    const char* message;
  } cases[] = {
      {"STREAMCELLS 1\nCELLIJ 13 2\nNUMNODES 1\nLINKNODE 1 1 1\n",
       "the CELLIJ card at line 3 of net.gst gives the row \"13\"; it takes a whole number from 1 to 12."},
      {"STREAMCELLS 1\nCELLIJ 1 1\nNUMNODES 1\nLINKNODE 1 1 1\n",
       "the CELLIJ card at line 3 of the grid-stream file net.gst names row 1, column 1, outside the watershed."},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 3 1 1\n",
       "the LINKNODE card at line 5 of net.gst gives the link \"3\"; it takes a whole number from 1 to 2."},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 3 1\n",
       "gives the node \"3\"; it takes a whole number from 1 to 2."},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 1 1.5\n", "gives the share of the node in the cell \"1.5\""},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 1 1\nLINKNODE 2 2 1\n",
       "the LINKNODE card at line 6 of the grid-stream file net.gst is one more than its cell's NUMNODES."},
      {"STREAMCELLS 2\nCELLIJ 2 2\nNUMNODES 2\nLINKNODE 2 1 1\nCELLIJ 2 3\nNUMNODES 1\nLINKNODE 2 2 1\n",
       "stream cell 1 (CELLIJ at line 3 of the grid-stream file net.gst) has 1 LINKNODE entries; its NUMNODES card "
       "gives 2."},
      {"STREAMCELLS 2\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 1 1\n",
       "the grid-stream file net.gst gives STREAMCELLS 2 but 1 CELLIJ and 1 NUMNODES cards."},
      {"STREAMCELLS 1\nNUMNODES 1\nCELLIJ 2 2\nLINKNODE 2 1 1\n", "is not the one card of stream cell 0 of 1"},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 1 1\nCELLIJ 2 3\nNUMNODES 1\nLINKNODE 2 2 1\n",
       "Error: the grid-stream file net.gst gives STREAMCELLS 1, but the CELLIJ card at line 6 is stream cell 2: "
       "STREAMCELLS counts every stream cell of the file.\n"},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 0\n", "gives the number of channel nodes in the cell \"0\""},
      {"STREAMCELLS 1000\n", "gives 1000 stream cells; the watershed has 143 cells."},
      // A cell or a node of a cell given twice would take its water twice.
      {"STREAMCELLS 2\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 1 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 2 1\n",
       "Error: the CELLIJ card at line 6 of the grid-stream file net.gst names row 2, column 2 again (first at line 3)"},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 2\nLINKNODE 2 1 0.5\nLINKNODE 2 1 0.5\n",
       "Error: the LINKNODE card at line 6 of the grid-stream file net.gst names node 1 of link 2 a second time for the "
       "cell of the CELLIJ card at line 3."},
      // A card line holds its values only.
      {"STREAMCELLS 1 2\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 1 1\n",
       "Error: the STREAMCELLS card at line 2 of the grid-stream file net.gst holds more than its values.\n"},
      {"STREAMCELLS 1\nCELLIJ 2 2 5\nNUMNODES 1\nLINKNODE 2 1 1\n", "the CELLIJ card at line 3 of the grid-stream "
                                                                     "file net.gst holds more than its values"},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1 1\nLINKNODE 2 1 1\n", "the NUMNODES card at line 4 of the "
                                                                     "grid-stream file net.gst holds more than"},
      {"STREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 2 1 1 0.5\n", "the LINKNODE card at line 5 of the "
                                                                        "grid-stream file net.gst holds more than"},
  };
  for (const auto& c : cases) {
    process.error_block = error_state{};
    EXPECT_FALSE(read_gst(std::string("GRIDSTREAMFILE\n") + c.body)) << c.message;
    EXPECT_TRUE(stopped()) << c.message;
    EXPECT_NE((out + err).find(c.message), std::string::npos) << c.message << "\n" << out << err;
  }
}

TEST_F(GridStream, NodeSpacingOfEveryChannelLink) {
  small_network();
  ASSERT_TRUE(read_gst("GRIDSTREAMFILE\nSTREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\nLINKNODE 1 1 1\n"));
  EXPECT_TRUE(init_grid_stream(ch, false));
  EXPECT_EQ(ch.gst_qlat.rows(), 1);
  EXPECT_TRUE(ch.gst_qriv.empty());
  EXPECT_TRUE(init_grid_stream(ch, true));
  EXPECT_EQ(ch.gst_Vp.cols(), ch.link_array_size);
  ch.link_dx[2] = 0.00005;
  CaptureStdout();
  EXPECT_FALSE(init_grid_stream(ch, false));
  EXPECT_EQ(GetCapturedStdout().rfind("\nYour channel node spacing is 0.000050 in link 2\nYou must specify a "
                                      "realistic value.  Program terminated.\n",
                                      0),
            0u);
  // Lake and structure links need none.
  ch.ltype[2] = link_type::lake;
  process.error_block = error_state{};
  EXPECT_TRUE(init_grid_stream(ch, false));
}

TEST_F(GridStream, SacramentoWeightsFollowChannelLengthAndSumToOne) {
  small_network();
  // Link 2's nodes are 20 m apart; node 1 of link 1 crosses two cells.
  ch.link_dx[2] = 20.0;
  ASSERT_TRUE(read_gst("GRIDSTREAMFILE\nSTREAMCELLS 3\nCELLIJ 2 2\nNUMNODES 2\nLINKNODE 1 1 0.5\nLINKNODE 1 2 1\n"
                       "CELLIJ 2 3\nNUMNODES 1\nLINKNODE 1 1 0.5\nCELLIJ 3 3\nNUMNODES 2\nLINKNODE 2 1 1\n"
                       "LINKNODE 2 2 1\n"))
      << err;
  groundwater_state gw;
  CaptureStdout();
  ASSERT_TRUE(compute_sacramento_weights(ch, gw, grid.ncells, false));
  EXPECT_EQ(GetCapturedStdout(), "Sac Weights: 1.000000\n");
  // Three cells, the first counted once although it holds two entries.
  EXPECT_EQ(ch.sac_chan_cells, 3.0);
  EXPECT_DOUBLE_EQ(ch.sac_chan_length, 5 + 10 + 5 + 20 + 20);
  // Each entry's share of the channel length, then the cell weights
  // (1/3 each) renormalised: lengths 5, 10, 5, 20, 20 of 60.
  const double lengths[3][2] = {{5, 10}, {5, 0}, {20, 20}};
  double sum = 0.0;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= ch.gst_ncellsingrid[i]; ++j) {
      EXPECT_NEAR(ch.gst_sac_weight[i][j], lengths[i - 1][j - 1] / 60.0, 1e-15) << i << " " << j;
      sum += ch.gst_sac_weight[i][j];
    }
  EXPECT_NEAR(sum, 1.0, 1e-12);

  // With topographic indices the cells weigh by them.
  gw.topo_index = 1;
  gw.topo_dex.alloc(grid.ncells);
  gw.topo_dex[grid.mask[2][2]] = 1.0;
  gw.topo_dex[grid.mask[2][3]] = 1.0;
  gw.topo_dex[grid.mask[3][3]] = 2.0;
  CaptureStdout();
  ASSERT_TRUE(compute_sacramento_weights(ch, gw, grid.ncells, true));
  EXPECT_EQ(GetCapturedStdout(), "");
  // Raw weights length/60 x (1/4, 1/4, 1/2): 5/240, 10/240, 5/240, 40/240, 40/240 of 100/240.
  EXPECT_NEAR(ch.gst_sac_weight[1][1], 0.05, 1e-15);
  EXPECT_NEAR(ch.gst_sac_weight[1][2], 0.10, 1e-15);
  EXPECT_NEAR(ch.gst_sac_weight[3][2], 0.40, 1e-15);
  EXPECT_NEAR(ch.sac_weight_sum, 1.0, 1e-12);
}

}  // namespace
}  // namespace nivra
