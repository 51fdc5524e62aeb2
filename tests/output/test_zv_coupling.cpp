// The ZV segment fluxes: the flows across a segment's outline by hand, the
// sum over the segments against every face of the grid between a segment
// cell and a cell of no segment, the averages of an output interval, the
// set-up with its checks, and a whole run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "channel/channel_state.h"
#include "core/process.h"
#include "model/project.h"
#include "output/output_state.h"
#include "output/zv_coupling.h"
#include "output_fixture.h"
#include "run/driver.h"
#include "run/run_test_support.h"

namespace nivra::testing {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A full rows x cols grid: cells numbered row by row, east and south
// neighbours, and a segment map made of the given segment numbers.
struct full_grid {
  int rows, cols, n;
  array1d<int> rightcon, belowcon;
  zv_data zv;
  full_grid(int r, int c, const std::vector<int>& segments) : rows(r), cols(c), n(r * c) {
    rightcon.alloc(n);
    belowcon.alloc(n);
    for (int i = 1; i <= n; ++i) {
      rightcon[i] = (i - 1) % c + 1 < c ? i + 1 : 0;
      belowcon[i] = i + c <= n ? i + c : 0;
    }
    zv.seg_map.alloc(n);
    for (int i = 1; i <= n; ++i) zv.seg_map[i] = segments[i - 1];
    for (int s : segments) zv.n_seg = std::max(zv.n_seg, s);
    zv.flux.alloc(zv.n_seg);
    zv.active_array.alloc(zv.n_seg);
    for (int s : segments)
      if (s > 0) zv.active_array[s] = 1;
  }
};

// Segment 1 holds cells 1, 2 and 4, segment 2 cell 5 (of 1 2 3 / 4 5 6 /
// 7 8 9). Only faces between a segment cell and a cell of no segment count:
// segment 1 gets the east face of cell 2 and the south face of cell 4,
// segment 2 the east and south faces of cell 5.
TEST(ZvCoupling, TheFlowsAcrossASegmentsOutlineByHand) {
  full_grid g(3, 3, {1, 1, 0, 1, 2, 0, 0, 0, 0});
  const double qx[] = {0, 1.0, -2.0, 4.0, 8.0, 16.0, 32.0, 64.0, 128.0, 256.0};
  const double qy[] = {0, 0.5, 0.25, 0.125, -3.0, 5.0, 7.0, 11.0, 13.0, 17.0};
  zv_accumulate(g.zv, qx, qy, g.n, g.rightcon.data(), g.belowcon.data(), false, nullptr);
  EXPECT_EQ(g.zv.steps, 1);
  EXPECT_EQ(g.zv.flux[1], 2.0 + 3.0);
  EXPECT_EQ(g.zv.flux[2], 16.0 + 5.0);
}

// On a random grid of random segments, the flux summed over the segments is
// the sum of |q| over every face of the grid between a cell of a segment
// and a cell of none, found from the rows and columns of the cells.
TEST(ZvCoupling, TheSumOverSegmentsIsTheFlowOfTheirCellsOutlines) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int> seg(0, 3);
  std::uniform_real_distribution<double> q(-5.0, 5.0);
  const int rows = 7, cols = 9;
  std::vector<int> segments(rows * cols);
  for (int& s : segments) s = seg(rng);
  full_grid g(rows, cols, segments);
  std::vector<double> qx(g.n + 1), qy(g.n + 1);
  for (int i = 1; i <= g.n; ++i) qx[i] = q(rng), qy[i] = q(rng);
  zv_accumulate(g.zv, qx.data(), qy.data(), g.n, g.rightcon.data(), g.belowcon.data(), false, nullptr);
  double summed = 0.0;
  for (int s = 1; s <= g.zv.n_seg; ++s) summed += g.zv.flux[s];
  double outline = 0.0;
  auto in_segment = [&](int r, int c) { return segments[(r - 1) * cols + c - 1] != 0; };
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      const int i = (r - 1) * cols + c;
      if (c < cols && in_segment(r, c) != in_segment(r, c + 1)) outline += std::fabs(qx[i]);
      if (r < rows && in_segment(r, c) != in_segment(r + 1, c)) outline += std::fabs(qy[i]);
    }
  EXPECT_NEAR(summed, outline, 1e-12);
}

// Five steps of a constant 2 m3/s across the face print 2.00 at the output
// step, and the next interval starts from zero; the first line is day
// 1.000, one written 1.5 days later day 2.500. The stream nodes of the
// link/node file add their discharge.
TEST(ZvCoupling, TheAveragesOfAnOutputInterval) {
  testing::temp_dir dir;
  full_grid g(1, 2, {1, 0});
  ASSERT_TRUE(open_guarded_file(g.zv.flux_file, dir.file("zv.out"), "w"));
  const double qx[] = {0, -2.0, 0.0}, qy[] = {0, 0.0, 0.0};
  for (int k = 0; k < 5; ++k) zv_accumulate(g.zv, qx, qy, g.n, g.rightcon.data(), g.belowcon.data(), false, nullptr);
  zv_write_fluxes(g.zv, 40.25);
  EXPECT_EQ(g.zv.steps, 0);
  EXPECT_EQ(g.zv.flux[1], 0.0);
  column_array2d<double> qp(3, 2);
  qp(2, 1) = -0.5;
  g.zv.n_links = 1;
  g.zv.link.alloc(1), g.zv.node.alloc(1), g.zv.segment.alloc(1);
  g.zv.link[1] = 1, g.zv.node[1] = 2, g.zv.segment[1] = 1;
  zv_accumulate(g.zv, qx, qy, g.n, g.rightcon.data(), g.belowcon.data(), true, &qp);
  zv_accumulate(g.zv, qx, qy, g.n, g.rightcon.data(), g.belowcon.data(), false, &qp);
  zv_write_fluxes(g.zv, 41.75);
  zv_write_fluxes(g.zv, 42.0);  // nothing summed: no line
  close_guarded_file(g.zv.flux_file);
  EXPECT_EQ(read_file(dir.file("zv.out")), "1.000     2.00      \n2.500     2.25      \n");
}

class ZvSetUp : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  void SetUp() override {
    process_test::SetUp();
    ms->grid.proj_rows = 2;
    ms->grid.proj_cols = 3;
    ms->output.zv_fluxes = 1;
    ms->project.zv_segment_map.assign("seg.map");
    ms->project.zv_nodes_to_segs.assign("nodes.txt");
    ms->project.zv_segment_fluxes.assign("zv.out");
    // Segments 2 and 4 (cells 1 2 3 / 4 . 5); segment 3 is on no cell.
    write_file("seg.map", "north: 200\nsouth: 0\neast: 300\nwest: 0\nrows: 2\ncols: 3\n2 2 0\n4 9 0\n");
  }
  std::string set_up(const std::string& nodes) {
    write_file("nodes.txt", nodes);
    CaptureStdout();
    init_zv_coupling(*ms);
    return GetCapturedStdout();
  }
};

TEST_F(ZvSetUp, TheMapTheNodesAndTheHeader) {
  const std::string out = set_up("2\n1 2 2\n3 3 4\n");
  ASSERT_EQ(process.error_block.stop, 0) << out;
  const zv_data& zv = ms->output.zv;
  EXPECT_EQ(zv.n_seg, 4);
  EXPECT_EQ(zv.seg_map[4], 4);
  EXPECT_EQ(zv.active_array[3], 0);
  EXPECT_EQ(zv.n_links, 2);
  EXPECT_EQ(zv.node[2], 3);
  close_guarded_file(ms->output.zv.flux_file);
  EXPECT_EQ(read_file("zv.out"), "   jday   2         4         \n");
}

// Every entry of the link/node file is checked against the network and the
// map, naming the file and the line.
TEST_F(ZvSetUp, BadEntriesStopTheRun) {
  struct {
    const char* nodes;
    const char* message;
  } cases[] = {
      {"1\n4 1 2\n", "Error: line 2 of the ZV link/node-to-segment file nodes.txt names link 4; the channel network has links 1 to 3.\n"},
      {"2\n1 1 2\n3 4 2\n", "Error: line 3 of the ZV link/node-to-segment file nodes.txt names node 4 of link 3; the link has nodes 1 to 3.\n"},
      {"1\n1 1 0\n", "Error: In the ZV internal stream flux to segment file, some link/node pairs \nrefer to a segment of 0"},
      {"1\n1 1 3\n", "Error: line 2 of the ZV link/node-to-segment file nodes.txt names segment 3, which no cell"},
      {"2\n1 1 2\n", "Error: line 3 of the ZV link/node-to-segment file nodes.txt is missing"},
      {"x\n", "Error: line 1 of the ZV link/node-to-segment file nodes.txt does not hold the number of entries"},
      {"1\n1 1 2\n2 1 2\n", "Error: line 3 of the ZV link/node-to-segment file nodes.txt holds an entry beyond the "
                            "count of its first line.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nodes);
    reset_process_state();
    ms->output.zv = zv_data();
    const std::string out = set_up(c.nodes);
    EXPECT_TRUE(has(out, c.message)) << out;
    EXPECT_EQ(process.error_block.stop, 1);
  }
  reset_process_state();
  std::remove("seg.map");
  ms->output.zv = zv_data();
  EXPECT_TRUE(has(set_up("0\n"), "Error: unable to open the ZV segment map [seg.map].\n"));
  EXPECT_EQ(process.error_block.stop, 1);
}

// A run of the plane with its watershed split in two segments: a line of
// fluxes with every line of the outlet hydrograph.
TEST(ZvRun, APlaneRunWritesItsSegmentFluxes) {
  testing::temp_dir dir;
  const auto start = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  reset_process_state();
  copy_example("plane");
  std::string map = "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n";
  for (int r = 1; r <= 6; ++r) map += r <= 3 ? "1 1 1 1 2 2 2 2\n" : "0 0 0 0 0 0 0 0\n";
  write_file("plane.seg", map);
  set_card("plane.prj", "ZV_FLUXES", "ZV_FLUXES");
  set_card("plane.prj", "ZV_SEGMENT_MAP", "ZV_SEGMENT_MAP plane.seg");
  set_card("plane.prj", "ZV_SEGMENT_FLUXES", "ZV_SEGMENT_FLUXES plane.zv");
  CaptureStdout();
  const int code = run_simulation("plane.prj", nullptr, "nivra");
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(code, 0) << out;
  const std::string text = read_file("plane.zv");
  const std::string hydrograph = read_file("plane.otl");
  EXPECT_EQ(text.substr(0, 31), "   jday   1         2         \n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(hydrograph.begin(), hydrograph.end(), '\n') + 1);
  EXPECT_TRUE(has(text, "\n1.000     0.00      0.00      \n")) << text.substr(0, 200);
  std::filesystem::current_path(start);
  reset_process_state();
}

}  // namespace
}  // namespace nivra::testing
