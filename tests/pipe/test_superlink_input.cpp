// The superlink and grid-pipe files: the computational pipes a long pipe is
// cut into, the moved end nodes of longer superlinks, and the faults that
// stop the reading with the file and the line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/guarded_file.h"
#include "output/output_state.h"
#include "pipe/pipe_fixture.h"

namespace nivra {
namespace {

using testing::one_pipe;
using testing::pipe_world;
using testing::sjunc;

class SuperlinkInput : public testing::process_test {};

const std::string two_junctions = sjunc(1, 103.0, 100.0, 1.0, 0, 1, 1) + sjunc(2, 102.0, 98.0, 1.0, 0, 3, 3);

TEST_F(SuperlinkInput, LongPipesAreCutIntoSegments) {
  const struct {
    double length;
    std::vector<double> segments;
  } cases[] = {
      {25.0, {6.25, 6.25, 6.25, 6.25}},
      {40.0, {5, 5, 20, 5, 5}},
      {70.0, {10, 25, 25, 10}},
      {100.0, {10, 20, 40, 20, 10}},
      {200.0, {10, 20, 70, 70, 20, 10}},
      {300.0, {10, 20, 50, 140, 50, 20, 10}},
      {575.0, {10, 20, 50, 100, 100, 115, 100, 50, 20, 10}},
  };
  std::vector<double> got;
  for (const auto& c : cases) {
    split_pipe_lengths(c.length, got);
    EXPECT_EQ(got, c.segments) << c.length;
  }
}

TEST_F(SuperlinkInput, ASplitPipeHasItsNodesOnTheLineBetweenItsEnds) {
  pipe_world w(3, 3);
  ASSERT_TRUE(testing::read_network(w.p, w.grid, two_junctions + one_pipe(1, 1, 2, 100.0, 99.0, 100.0, 0.5, 0.013),
                                    true));
  const pipe_state& p = w.p;
  ASSERT_EQ(p.superlink_cnodes[1], 5);
  ASSERT_EQ(p.max_slink_nodes, 5);
  const double d[] = {0, 10, 20, 40, 20, 10};
  double s = 0.0;
  for (int k = 1; k <= 6; ++k) {
    if (k <= 5) {
      EXPECT_EQ(p.dxc(k, 1), d[k]);
    }
    EXPECT_NEAR(p.slink_node_Zinv(k, 1), 100.0 - s / 100.0, 1e-12) << k;
    EXPECT_NEAR(p.node_ground_elev(k, 1), 103.0 - s / 100.0, 1e-12) << k;
    if (k <= 5) s += d[k];
  }
  EXPECT_EQ(p.otc_node(1, 1), 1);
  EXPECT_EQ(p.otc_node(2, 1), 6);
  EXPECT_EQ(p.dx(1, 1), 100.0);
  // Without computational nodes the pipe stays whole.
  pipe_world plain(3, 3);
  ASSERT_TRUE(testing::read_network(plain.p, plain.grid,
                                    two_junctions + one_pipe(1, 1, 2, 100.0, 99.0, 100.0, 0.5, 0.013), false));
  EXPECT_EQ(plain.p.superlink_cnodes[1], 1);
  EXPECT_EQ(plain.p.dxc(1, 1), 100.0);
}

TEST_F(SuperlinkInput, EndPipesOfALongerSuperlinkAreShortened) {
  // Pipes of 30, 50 and 30 m: each end pipe becomes 10 m, its end node
  // moving toward the superjunction; the middle pipe takes the rest. The
  // cards come in any order, with comments between them.
  pipe_world w(3, 3);
  const std::string text = "# a superlink of three pipes\nSLINK 1 3\nNODE 1 103 100 0 0 0 0 0 0\n"
                           "NODE 2 102.7 99.7 0 0 0 0 0 0\nNODE 3 102.2 99.2 0 0 0 0 0 0\nNODE 4 101.9 98.9 0 0 0 0 0 0\n"
                           "PIPE 1 1 0.5 0 0.01 0.013 30 0 0\nPIPE 2 1 0.5 0 0.01 0.013 50 0 0\n"
                           "PIPE 3 1 0.5 0 0.01 0.013 30 0 0\nthe superjunctions:\n" +
                           two_junctions + "CONNECT 1 1 2\n";
  ASSERT_TRUE(testing::read_network(w.p, w.grid, text, true));
  const pipe_state& p = w.p;
  ASSERT_EQ(p.superlink_cnodes[1], 3);
  EXPECT_EQ(p.dxc(1, 1), 10.0);
  EXPECT_EQ(p.dxc(2, 1), 90.0);
  EXPECT_EQ(p.dxc(3, 1), 10.0);
  EXPECT_NEAR(p.slink_node_Zinv(2, 1), 100.0 - 0.3 * 10.0 / 30.0, 1e-12);
  EXPECT_NEAR(p.slink_node_Zinv(3, 1), 98.9 + 0.3 * 10.0 / 30.0, 1e-12);
}

TEST_F(SuperlinkInput, FaultsNameTheFileAndTheLine) {
  const std::string pipe_ok = one_pipe(1, 1, 2, 100.0, 99.0, 100.0, 0.5, 0.013);
  auto replace = [](std::string s, const std::string& from, const std::string& to) {
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {replace(two_junctions + pipe_ok, "PIPE 1 1", "PIPE 1 4"), "pipe cross-section type not valid: node 1 link 1"},
      {replace(two_junctions + pipe_ok, "0.013 100 0 0", "0 100 0 0"), "pipe roughness value not valid"},
      {replace(two_junctions + pipe_ok, "0.013 100 0 0", "0.013 100 0.5 0"), "drain spacing cannot be zero"},
      {replace(two_junctions + pipe_ok, "0.013 100 0 0", "0.013 0 0 0"), "pipe length is zero or negative"},
      {replace(two_junctions + pipe_ok, "0.013 100 0 0", "0.013 1e400 0 0"), "line 7 of net.slk gives the length"},
      {replace(two_junctions + pipe_ok, "0.013 100 0 0", "0.013 nan 0 0"), "line 7 of net.slk gives the length"},
      {replace(two_junctions + pipe_ok, "CONNECT 1 1 2", "CONNECT 1 1 3"), "line 3 of net.slk gives the downstream"},
      {replace(two_junctions + pipe_ok, "CONNECT 1 1 2", "CONNECT 1 1 1"), "starts and ends at the same superjunction"},
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98 1 0 3 3", "SJUNC 2 102 98 1 0 4 3"), "outside the grid"},
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98 1 0", "SJUNC 2 102 98 1 12"), "inlet type that is none"},
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98 1 0", "SJUNC 2 102 98 1 -1"), "inlet type that is none"},
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98 1 0", "SJUNC 2 102 98 1 500"), "inlet type that is none"},
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98 1 0", "SJUNC 2 102 98 1 2.5"), "gives the inlet type \"2.5\""},
      // Grates without a size take no water.
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98 1 0 3 3 0 0", "SJUNC 2 102 98 1 2 3 3 0 0"),
       "Error: the SJUNC card at line 2 of net.slk gives inlet type 2 (2 grates) but neither a grate side length nor "
       "a grate diameter above 0.\n"},
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98 1 0", "SJUNC 2 102 98 0 0"), "needs a surface area above 0"},
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98 1 0 3 3", "SJUNC 2 102 98 1 999 1 1"), "channel link 1"},
      {replace(two_junctions + pipe_ok, "NODE 2 ", "NODE 3 "), "line 6 of net.slk gives the node"},
      {replace(two_junctions + pipe_ok, "NODE 2 102 99 0 0 0 0 0 0", "NODE 2 102 99 0 2 0 0 0.5 0.5"),
       "lies in its superjunction"},
      {replace(two_junctions + pipe_ok, "SLINK 1 1\n", ""), "does not follow an SLINK card"},
      {replace(two_junctions + pipe_ok, "SJUNC 2 102 98", "SJUNC 2 102 99.5"), "below the bottom of superjunction 2"},
      {two_junctions + pipe_ok + "NODE 2 102 99 0 0 0 0 0 0\n", "node 2 of the superlink is given again at line 8"},
      {two_junctions + "CONNECT 1 1 2\nSLINK 1 2\nNODE 1 103 100 0 0 0 0 0 0\nNODE 2 102.5 99.5 0 2 0 0 0.5 0.5\n"
                       "NODE 3 102 99 0 0 0 0 0 0\nPIPE 1 1 0.5 0 0.01 0.013 50 0 0\nPIPE 2 1 0.5 0 0.01 0.013 50 0 0\n",
       "the NODE card at line 6 of net.slk gives row 0, column 0, outside the grid"},
  };
  for (const auto& c : cases) {
    pipe_world w(3, 3);
    std::string err;
    EXPECT_FALSE(testing::read_network(w.p, w.grid, c.text, true, &err)) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

TEST_F(SuperlinkInput, GridPipeFileInAnyCase) {
  pipe_world w(3, 3);
  std::string net = two_junctions + one_pipe(1, 1, 2, 100.0, 99.0, 100.0, 0.5, 0.013);
  net.replace(net.find("103 100 0 0 0 0"), 15, "103 100 0 0 1 1");
  net.replace(net.find("102 99 0 0 0 0"), 14, "102 99 0 0 3 3");
  ASSERT_TRUE(testing::read_network(w.p, w.grid, net, true));
  const std::string lower = "GRIDPIPEFILE\npipecells 2\ncellij 1 1\nnumpipes 1\nspipe 1 1 0.4\n"
                            "cellij 2 2\nnumpipes 1\nspipe 1 1 0.6\n";
  const std::string mixed = "GRIDPIPEFILE\nPipeCells 2\nCELLIJ 1 1\nNumPipes 1\nSPIPE 1 1 0.4\n"
                            "CellIJ 2 2\nnumPIPES 1\nSpipe 1 1 0.6\n";
  for (const std::string& text : {lower, mixed}) {
    testing::write_file("net.gpi", text);
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, "net.gpi", "r"));
    ASSERT_TRUE(read_grid_pipe_file(w.p, f, "net.gpi", w.grid));
    EXPECT_EQ(w.p.gpi_num_cells, 2);
    EXPECT_EQ(w.p.gpi_gnum[2][1], 5);
    EXPECT_EQ(w.p.gpi_pct[2][1], 0.6);
  }
  const struct {
    std::string text, message;
  } faults[] = {
      {"GRIDPIPE\n", "The gridpipe file format is invalid"},
      {"GRIDPIPEFILE\ncellij 1 1\n", "The second card in the grid-pipe file must be PIPECELLS"},
      {"GRIDPIPEFILE\npipecells 0\n", "line 2 of net.gpi gives the number of pipe cells"},
      {"GRIDPIPEFILE\npipecells 1\ncellij 1 1\nnumpipes 2\nspipe 1 1 0.5\n", "has 1 SPIPE cards"},
      {"GRIDPIPEFILE\npipecells 1\ncellij 1 1\nnumpipes 1\nspipe 2 1 0.5\n", "line 5 of net.gpi gives the superlink"},
      {"GRIDPIPEFILE\npipecells 1\ncellij 1 1\nnumpipes 1\nspipe 1 1 1.5\n", "line 5 of net.gpi gives the share"},
      {"GRIDPIPEFILE\npipecells 2\ncellij 1 1\nnumpipes 1\nspipe 1 1 0.5\n", "describes 1 pipe cells"},
      {"GRIDPIPEFILE\npipecells 1\nspipe 1 1 0.5\n", "does not follow a CELLIJ card"},
      {"GRIDPIPEFILE\npipecells 2\ncellij 1 1\nnumpipes 1\nspipe 1 1 0.5\ncellij 1 1\nnumpipes 1\nspipe 1 1 0.5\n",
       "Error: the CELLIJ card at line 6 of net.gpi names row 1, column 1 again (first at line 3)"},
      {"GRIDPIPEFILE\npipecells 1\ncellij 1 1\nnumpipes 2\nspipe 1 1 0.5\nspipe 1 1 0.5\n",
       "Error: the SPIPE card at line 6 of net.gpi names pipe 1 of superlink 1 a second time for the cell of the CELLIJ "
       "card at line 3."},
  };
  for (const auto& c : faults) {
    testing::write_file("net.gpi", c.text);
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, "net.gpi", "r"));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(read_grid_pipe_file(w.p, f, "net.gpi", w.grid)) << c.message;
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

// The location lists of the pipe outputs: a count, then the locations;
// one beyond the count would never be written.
TEST_F(SuperlinkInput, LocationCountsMustAgreeWithTheirLocations) {
  pipe_state p;
  p.num_sjunc = 3;
  p.num_slink = 1;
  p.nnodes.alloc(1);
  p.nnodes[1] = 2;
  struct location_case {
    bool junctions;
    std::string text, message;  // "" when taken
  } cases[] = {
      {true, "2\n1\n3\n", ""},
      {true, "2\n1\n3\n2\n", "Error: line 4 of loc.txt holds more than the 2 locations its first value counts.\n"},
      {true, "2\n1\n", "location 2 at line 2 of loc.txt is not a superjunction"},
      {false, "1\n1 3\n", ""},
      {false, "1\n1 3\n1 2\n", "Error: line 3 of loc.txt holds more than the 1 locations its first value counts.\n"},
  };
  for (const location_case& c : cases) {
    SCOPED_TRACE(c.text);
    testing::write_file("loc.txt", c.text);
    guarded_file f;
    ASSERT_TRUE(open_input_file(f, "loc.txt"));
    output_state out;
    ::testing::internal::CaptureStderr();
    const bool read = c.junctions ? read_superjunction_locations(out, f, "loc.txt", p)
                                  : read_superlink_node_locations(out, f, "loc.txt", p);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(read, c.message.empty()) << err;
    if (!c.message.empty()) EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace nivra
