// XY points: the five boundary-file readers and their faults, the
// inverse-distance entries by hand, the overland, groundwater and stream
// updates from their series, the output points' neighbour cells and
// weights, the stream crossings of an inset outline, the XY files in their
// layouts (read back as boundary inputs), and XY boundaries and outputs in
// whole runs with their water balance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "core/process.h"
#include "core/time_series.h"
#include "groundwater/aquifer.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "output/xy_points.h"
#include "output_fixture.h"
#include "run/run_test_support.h"

namespace nivra::testing {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const double t0 = julian_date(2001, 3, 4, 5, 0, 0.0);
const double hour = 1.0 / 24.0;

// A boundary file of two points with dated values at 05:00 and 06:00; the
// second point's last value is `last` (an overland depth is 0 or more).
std::string boundary_file(const std::string& header, const std::string& point_lines,
                          const std::string& last = "-0.100") {
  return header + "\n2\n" + point_lines + "2001 03 04 05 00\t     0.100     0.200\n" +
         "2001 03 04 06 00\t     0.300    " + last + "\nEND_TS\n";
}

class XyPoints : public process_test {
 protected:
  xy_input xy;
  // Reads a file through the reader of the card's kind; the console.
  std::string read_card(int kind, const std::string& text) {
    write_file("xy.txt", text);
    CaptureStdout();
    switch (kind) {
      case 1: read_xy_boundary_file(xy, "xy.txt", "overland", "XY_OV_DEPTH", xy.ovpts, xy.num_ovpts, xy.ov_series, true); break;
      case 2: read_xy_boundary_file(xy, "xy.txt", "groundwater", "XY_GW_HEAD", xy.gwpts, xy.num_gwpts, xy.gw_series, true); break;
      case 3: read_xy_stream_boundary_file(xy, "xy.txt"); break;
      case 4: read_xy_stream_ts_file(xy, "xy.txt"); break;
      default:
        read_xy_boundary_file(xy, "xy.txt", "groundwater", "XY_GW_HEAD_INTERP", xy.gw_interp_pts,
                              xy.num_gw_interp_pts, xy.gw_series, false);
    }
    return GetCapturedStdout();
  }
};

TEST_F(XyPoints, TheFiveReaders) {
  // Overland depths by cell.
  read_card(1, boundary_file("XY_OV_DEPTH", "DATE       TIME \t         3         5\n", "0.000"));
  ASSERT_EQ(xy.num_ovpts, 2);
  EXPECT_EQ(xy.ovpts[1].cell, 3);
  EXPECT_EQ(xy.ovpts[2].cell, 5);
  // Halfway between the two times (Julian days carry some 1e-10 days of rounding).
  EXPECT_NEAR(ts_value_at(t0 + 0.5 * hour, xy.ovpts[1].series), 0.2, 1e-7);
  EXPECT_NEAR(ts_value_at(t0 + 0.5 * hour, xy.ovpts[2].series), 0.1, 1e-7);
  EXPECT_EQ(xy.ovpts[2].line, 3);
  EXPECT_EQ(xy.files.at(xy.ovpts[2].file - 1), "xy.txt");

  // Groundwater heads: a file whose header begins with the expected one is
  // taken.
  read_card(2, boundary_file("XY_GW_HEAD_INTERP", "DATE TIME 7 8\n"));
  ASSERT_EQ(xy.num_gwpts, 2);
  EXPECT_EQ(xy.gwpts[2].cell, 8);
  EXPECT_DOUBLE_EQ(ts_value_at(t0 + hour, xy.gwpts[2].series), -0.1);

  // Interpolation points by coordinates.
  read_card(5, boundary_file("XY_GW_HEAD_INTERP", "X  10.5  20.5\nY  -3.0  4.0\n"));
  ASSERT_EQ(xy.num_gw_interp_pts, 2);
  EXPECT_EQ(xy.gw_interp_pts[2].x, 20.5);
  EXPECT_EQ(xy.gw_interp_pts[1].y, -3.0);
  EXPECT_EQ(xy.gw_interp_pts[1].cell, 0);

  // Stream hydrographs by coordinates.
  read_card(3, boundary_file("XY_STREAM_HYDROGRAPHS", "X                 \t   100.000   200.000\n"
                                                      "Y                 \t   300.000   400.000\n"));
  ASSERT_EQ(xy.num_stpts, 2);
  EXPECT_EQ(xy.stpts[2].x, 200.0);
  EXPECT_EQ(xy.stpts[2].assigned, 0);
  EXPECT_DOUBLE_EQ(ts_value_at(t0, xy.stpts[1].series), 0.1);

  // Stream points with named series, by coordinates or by link and node.
  write_file("flows.ts", "NIVRA_TS\ninflow_a\nABSOLUTE\n2001 3 4 5 0 2.0\n2001 3 4 7 0 4.0\nEND_TS\n"
                         "NIVRA_TS\ninflow_b\nABSOLUTE\n2001 3 4 5 0 7.0\nEND_TS\n");
  ASSERT_TRUE(read_time_series_file("flows.ts"));
  read_card(4, "NIVRA_XY_ST_BDY_TS\nNIVRA_TS\nXY 5.0 6.0\nTIMESERIES \"inflow_a\"\nEND_TS\n"
               "NIVRA_TS\nLINKNODE 2 3\nTIMESERIES inflow_b\nEND_TS\n");
  ASSERT_EQ(xy.num_stpts, 4);
  EXPECT_EQ(xy.stpts[3].x, 5.0);
  EXPECT_EQ(xy.stpts[3].assigned, 0);
  EXPECT_EQ(xy.stpts[4].link, 2);
  EXPECT_EQ(xy.stpts[4].node, 3);
  EXPECT_EQ(xy.stpts[4].assigned, 1);
  EXPECT_EQ(xy.stpts[4].line, 7);
  // Stream inflows follow their series.
  update_xy_stream_inflows(xy, t0 + hour);
  EXPECT_DOUBLE_EQ(xy.stpts[1].inflow, 0.3);
  EXPECT_DOUBLE_EQ(xy.stpts[3].inflow, 3.0);
  EXPECT_DOUBLE_EQ(xy.stpts[4].inflow, 7.0);
  EXPECT_EQ(process.error_block.stop, 0);
}

// Every fault of a file stops the run with a message naming the file (and
// the line).
TEST_F(XyPoints, FaultsOfTheFilesStopTheRun) {
  struct {
    int kind;
    const char* text;
    const char* message;
  } cases[] = {
      {1, nullptr, "Error: unable to open overland xy boundary input file.\n       The file xy.txt cannot be read.\n"},
      {2, "XY_OV_DEPTH\n1\n", "Error: file used for groundwater xy boundary input file is not of appropriate type. "
                              "File header does not match XY_GW_HEAD.\n"},
      {1, "XY_OV_DEPTH\ntwo\n", "Error: line 2 of the XY boundary input file xy.txt does not hold the number of points"},
      {1, "XY_OV_DEPTH\n2\nDATE TIME 3 0\n", "Error: line 3 of the XY boundary input file xy.txt does not hold DATE, TIME"},
      {1, "XY_OV_DEPTH\n1\nDATE TIME 2.5\n", "Error: line 3 of the XY boundary input file xy.txt does not hold DATE"},
      {5, "XY_GW_HEAD_INTERP\n2\nX 1 2\nY 1\n", "Error: line 4 of the XY boundary input file xy.txt does not hold a label and the y"},
      {1, "XY_OV_DEPTH\n1\nDATE TIME 3\n2001 2 30 0 0 1.0\n", "names no date of the calendar"},
      {1, "XY_OV_DEPTH\n1\nDATE TIME 3\nEND_TS\n", "Error: the XY boundary input file xy.txt holds no dated values.\n"},
      // A depth below 0 (which the update would have made 0), dates that go
      // back (the lookup assumes rising times).
      {1, "XY_OV_DEPTH\n2\nDATE TIME 3 4\n2001 3 4 5 0 0.1 0.2\n2001 3 4 6 0 0.1 -0.2\nEND_TS\n",
       "Error: line 5 of the XY boundary input file xy.txt gives point 2 (cell 4) a depth of -0.2; it takes a number "
       "from 0 to 100 (m).\n"},
      // Values no overland step, aquifer or channel can take: the steps
      // would shrink without end.
      {1, "XY_OV_DEPTH\n1\nDATE TIME 3\n2001 3 4 5 0 1e6\nEND_TS\n",
       "Error: line 4 of the XY boundary input file xy.txt gives point 1 (cell 3) a depth of 1e+06; it takes a number "
       "from 0 to 100 (m).\n"},
      {2, "XY_GW_HEAD\n1\nDATE TIME 3\n2001 3 4 5 0 1e6\nEND_TS\n",
       "Error: line 4 of the XY boundary input file xy.txt gives point 1 (cell 3) a head of 1e+06; it takes a number "
       "from -11000 to 9000 (m).\n"},
      {5, "XY_GW_HEAD_INTERP\n1\nX 1\nY 2\n2001 3 4 5 0 -2e4\nEND_TS\n",
       "Error: line 5 of the XY boundary input file xy.txt gives point 1 a head of -20000;"},
      {3, "XY_STREAM_HYDROGRAPHS\n1\nX 1\nY 2\n2001 3 4 5 0 1e9\nEND_TS\n",
       "Error: line 5 of the XY boundary input file xy.txt gives point 1 a discharge of 1e+09; it takes a number from "
       "-1000000 to 1000000 (m3/s).\n"},
      {2, "XY_GW_HEAD\n1\nDATE TIME 3\n2001 3 4 6 0 10.0\n2001 3 4 5 0 11.0\nEND_TS\n",
       "Error: data line 2 of the XY boundary block of XY_GW_HEAD in file xy.txt gives a date before the date of the "
       "line above it:\n2001 3 4 5 0 11.0\n"},
      {3, "XY_STREAM_HYDROGRAPHS\n1\nX 1\nY 2\n2001 3 4 6 0 1.0\n2001 3 4 5 0 1.0\nEND_TS\n",
       "gives a date before the date of the line above it"},
      {3, "XY_OV_DEPTH\n1\n", "File header does not match XY_STREAM_HYDROGRAPHS.\n"},
      {4, "NIVRA_TS\n", "Error: incorrectly formatted header for stream xy time series boundary input file.\n"},
      {4, "NIVRA_XY_ST_BDY_TS\nNIVRA_TS\nXY 1 2\nTIMESERIES nowhere\nEND_TS\n",
       "Error!!! unable to find time series [nowhere] for the xy boundary stream time series file.\n"},
      {4, "NIVRA_XY_ST_BDY_TS\nNIVRA_TS\nLINKNODE 0 2\n", "Error: line 3 of the XY boundary input file xy.txt does not give LINKNODE"},
      {4, "NIVRA_XY_ST_BDY_TS\nNIVRA_TS\nEND_TS\n", "Error: line 2 of the XY boundary input file xy.txt starts a point that gets neither"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(no file)");
    reset_process_state();
    std::remove("xy.txt");
    std::string out;
    if (c.text) {
      out = read_card(c.kind, c.text);
    } else {
      CaptureStdout();
      read_xy_boundary_file(xy, "xy.txt", "overland", "XY_OV_DEPTH", xy.ovpts, xy.num_ovpts, xy.ov_series, true);
      out = GetCapturedStdout();
    }
    EXPECT_TRUE(has(out, c.message)) << out;
    EXPECT_EQ(process.error_block.stop, 1);
  }
  // A file without points warns and reads nothing.
  reset_process_state();
  const std::string out = read_card(1, "XY_OV_DEPTH\n0\n");
  EXPECT_EQ(out, "Warning: No points in overland xy boundary input file.\n");
  EXPECT_EQ(process.error_block.stop, 0);
}

// Two interpolation points 100 m apart; a cell halfway between takes the
// mean of their series, a cell a quarter of the way weighs the nearer nine
// times the farther (1 / 25^2 against 1 / 75^2).
TEST_F(XyPoints, InverseDistanceEntriesByHand) {
  write_file("pts.txt", "XY_GW_HEAD_INTERP\n2\nX 0 100\nY 0 0\n2001 03 04 05 00 1.0 3.0\nEND_TS\n");
  CaptureStdout();
  ASSERT_TRUE(read_xy_boundary_file(xy, "pts.txt", "groundwater", "XY_GW_HEAD_INTERP", xy.gw_interp_pts,
                                    xy.num_gw_interp_pts, xy.gw_series, false));
  GetCapturedStdout();
  const int codes[] = {0, 8, 8, 1, 8};
  const double cx[] = {0, 50, 25, 0, 0};
  const double cy[] = {0, 0, 0, 0, 0};
  EXPECT_EQ(xy_gw_boundary_cells(xy, codes, 4, cx, cy), 3);
  ASSERT_EQ(xy.num_gw_interp_cells, 3);
  const xy_interp_entry& half = xy.gw_interp[1];
  EXPECT_EQ(half.cell, 1);
  EXPECT_EQ(half.n, 2);
  EXPECT_DOUBLE_EQ(half.weight[0], 1.0 / 2500.0);
  EXPECT_DOUBLE_EQ(idw_ts_value(half, t0), 2.0);
  EXPECT_DOUBLE_EQ(idw_ts_value(xy.gw_interp[2], t0), (9.0 * 1.0 + 3.0) / 10.0);
  // A cell on a point: its distance counts as 0.0001 m.
  EXPECT_EQ(xy.gw_interp[3].cell, 4);
  EXPECT_DOUBLE_EQ(xy.gw_interp[3].weight[0], 1e8);
  // The groundwater update gives the interpolated cells these heads.
  double head[] = {0, 0, 0, 5, 0};
  const double storage[] = {0, 1, 1, 1, 1};
  apply_xy_boundary(xy, head, storage, 1.0, t0);
  EXPECT_DOUBLE_EQ(head[1], 2.0);
  EXPECT_DOUBLE_EQ(head[2], 1.2);
  EXPECT_EQ(head[3], 5.0);
  EXPECT_NEAR(head[4], 1.0, 1e-9);

  // Six points: every cell keeps the five nearest.
  xy_input six;
  write_file("six.txt", "XY_GW_HEAD_INTERP\n6\nX 600 100 500 200 400 300\nY 0 0 0 0 0 0\n"
                        "2001 03 04 05 00 6 1 5 2 4 3\nEND_TS\n");
  CaptureStdout();
  ASSERT_TRUE(read_xy_boundary_file(six, "six.txt", "groundwater", "XY_GW_HEAD_INTERP", six.gw_interp_pts,
                                    six.num_gw_interp_pts, six.gw_series, false));
  GetCapturedStdout();
  const int one[] = {0, 8};
  const double x0[] = {0, 0};
  xy_boundary_cells(six.gw_interp, six.num_gw_interp_cells, six.gw_interp_pts, six.num_gw_interp_pts, one, 8, 1, x0, x0);
  const xy_interp_entry& e = six.gw_interp[1];
  ASSERT_EQ(e.n, 5);
  for (int s = 0; s < 5; ++s) EXPECT_DOUBLE_EQ(ts_value_at(t0, e.source[s]), s + 1.0);  // nearest first
}

// The overland points impose their depths (a negative value a dry cell)
// and book the change; an unchanged step books nothing. The groundwater
// points do the same with the cell's storage.
TEST_F(XyPoints, UpdatesFromTheSeriesBookWhatTheyChange) {
  read_card(1, boundary_file("XY_OV_DEPTH", "DATE TIME 1 2\n", "0.000"));
  double depth[] = {0, 0.05, 0.3};
  const double blocked[] = {0, 0.0, 0.5};
  // 06:00: cell 1 rises from 0.05 to 0.3, cell 2 falls from 0.3 to 0, over
  // half its area.
  xy_books b = xy_overland_update(xy, depth, 10.0, blocked, t0 + hour);
  EXPECT_EQ(depth[1], 0.3);
  EXPECT_EQ(depth[2], 0.0);
  EXPECT_DOUBLE_EQ(b.gain, 0.25 * 100.0);
  EXPECT_DOUBLE_EQ(b.loss, 0.3 * 100.0 * 0.5);
  b = xy_overland_update(xy, depth, 10.0, nullptr, t0 + 2 * hour);
  EXPECT_EQ(b.gain, 0.0);
  EXPECT_EQ(b.loss, 0.0);

  read_card(2, boundary_file("XY_GW_HEAD", "DATE TIME 2 1\n"));
  double head[] = {0, 10.0, 10.0};
  const double storage[] = {0, 0.2, 0.4};
  b = apply_xy_boundary(xy, head, storage, 10.0, t0);
  EXPECT_EQ(head[2], 0.1);
  EXPECT_EQ(head[1], 0.2);
  EXPECT_DOUBLE_EQ(b.loss, (10.0 - 0.1) * 100.0 * 0.4 + (10.0 - 0.2) * 100.0 * 0.2);
  EXPECT_EQ(b.gain, 0.0);
}

// A stream point without link and node takes the nearest computational
// node of a channel link, halfway between two node points.
TEST_F(XyPoints, StreamPointsTakeTheNearestComputationalNode) {
  auto ms = make_fixture();
  channel_state& ch = ms->channel;
  ch.lnx.alloc(4, 3);
  ch.lny.alloc(4, 3);
  const double link1[][2] = {{0, 0}, {0, 100}, {0, 200}};
  const double link3[][2] = {{500, 0}, {500, 100}, {500, 200}, {500, 300}};
  for (int k = 1; k <= 3; ++k) ch.lnx(k, 1) = link1[k - 1][0], ch.lny(k, 1) = link1[k - 1][1];
  for (int k = 1; k <= 4; ++k) ch.lnx(k, 3) = link3[k - 1][0], ch.lny(k, 3) = link3[k - 1][1];
  xy.stpts.grow(3);
  xy.num_stpts = 3;
  xy.stpts[1].x = 10, xy.stpts[1].y = 140;   // link 1 between points 2 and 3
  xy.stpts[2].x = 480, xy.stpts[2].y = 60;   // link 3 between points 1 and 2
  xy.stpts[3].link = 1, xy.stpts[3].node = 1, xy.stpts[3].assigned = 1;
  assign_xy_stream_boundary_nodes(xy, 3, ch.nx, ch.ltype, ch.lnx, ch.lny);
  EXPECT_EQ(xy.stpts[1].link, 1);
  EXPECT_EQ(xy.stpts[1].node, 2);
  EXPECT_EQ(xy.stpts[2].link, 3);
  EXPECT_EQ(xy.stpts[2].node, 1);
  EXPECT_EQ(xy.stpts[3].node, 1);
}

// ------------------------------------------------------------ output points

// The fixture grid: 2 x 3 cells of 100 m, north 200, west 0, cells
// 1 2 3 / 4 . 5.
class XyOutput : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  xy_grid grid() { return xy_grid{200.0, 0.0, 100.0, 2, 3, &ms->grid.mask}; }
  xy_out_point at(double x, double y) {
    xy_out_point p;
    p.x = x;
    p.y = y;
    CaptureStdout();
    find_nearest_cells(grid(), p);
    warning_ = GetCapturedStdout();
    xy_output_weights(p);
    return p;
  }
  std::string warning_;
};

TEST_F(XyOutput, APointTakesTheNeighbourRuleValue) {
  const double v[] = {0, 1.0, 2.0, 3.0, 4.0, 5.0};
  // On the centre of cell 2 its own cell dominates (weight 1 / 0.0001^2).
  xy_out_point p = at(150.0, 150.0);
  ASSERT_EQ(p.n, 3);
  EXPECT_EQ(p.cell[0], 2);
  EXPECT_EQ(p.cell[1], 3);
  EXPECT_EQ(p.cell[2], 5);
  EXPECT_DOUBLE_EQ(p.weight[0], 1e8);
  EXPECT_NEAR(weighted_sum(p, v), 2.0, 1e-9);
  // On the face between cells 1 and 2: both 50 m away, cell 4 at
  // sqrt(50^2 + 100^2) m.
  p = at(100.0, 150.0);
  ASSERT_EQ(p.n, 3);
  EXPECT_EQ(p.cell[0], 1);
  EXPECT_EQ(p.cell[1], 2);
  EXPECT_EQ(p.cell[2], 4);
  EXPECT_DOUBLE_EQ(weighted_sum(p, v), (1.0 / 2500 * 1.0 + 1.0 / 2500 * 2.0 + 1.0 / 12500 * 4.0) /
                                           (2.0 / 2500 + 1.0 / 12500));
  // The north-west quarter of the north-west cell: that cell alone.
  p = at(10.0, 190.0);
  ASSERT_EQ(p.n, 1);
  EXPECT_EQ(p.cell[0], 1);
  EXPECT_EQ(p.weight_sum, 1.0);
  EXPECT_EQ(warning_, "");
  // Outside the watershed: the nearest active cell, the first of a tie.
  p = at(150.0, 50.0);
  EXPECT_TRUE(has(warning_, "Warning... an XY output point (x=  150.00, y=   50.00) is not located in an active cell."));
  ASSERT_EQ(p.n, 1);
  EXPECT_EQ(p.cell[0], 2);
  EXPECT_EQ(weighted_sum(p, v), 2.0);
  p = at(-20.0, 120.0);
  EXPECT_EQ(p.cell[0], 1);
}

// An inset of one cell (0..100 x 0..100) and a link of three node points
// crossing it from west to east: both channel pieces cross its outline, and
// the link gets one stream point, at the later crossing.
TEST_F(XyOutput, AStreamCrossingOfTheInsetOutline) {
  xy_output out;
  out.inset.north = 100, out.inset.south = 0, out.inset.east = 100, out.inset.west = 0;
  out.inset.rows = out.inset.cols = 1;
  out.inset.cell_size = 100;
  out.inset.mask.alloc(2, 2);
  out.inset.mask(1, 1) = 1;
  mask_boundary_segments(out);
  EXPECT_EQ(out.boundary_segments.size(), 4u);
  column_array2d<double> nx(3, 2), ny(3, 2);
  const double xs[] = {-50, 50, 150};
  for (int k = 1; k <= 3; ++k) nx(k, 1) = xs[k - 1], ny(k, 1) = 40.0;
  nx(1, 2) = 300, ny(1, 2) = 0, nx(2, 2) = 300, ny(2, 2) = 90;  // link 2 stays outside
  array1d<int> points(2);
  points[1] = 3;
  points[2] = 2;
  find_xy_stream_points(out, 2, points, nx, ny);
  ASSERT_EQ(out.stream_points.size(), 1u);
  const xy_out_point& s = out.stream_points[0];
  EXPECT_EQ(s.link, 1);
  EXPECT_EQ(s.node, 2);
  EXPECT_EQ(s.x, 100.0);
  EXPECT_EQ(s.y, 40.0);
  // Parallel pieces never cross; a piece ending on the outline does.
  EXPECT_FALSE(segments_intersect(0, 0, 10, 0, 0, 1, 10, 1));
  EXPECT_TRUE(segments_intersect(-5, 5, 0, 5, 0, 0, 0, 10));
  EXPECT_FALSE(segments_intersect(0, 5, 5, 5, 0, 0, 0, 10));  // starting on it does not
}

// The three files in their layouts, and the overland one read back as an
// inset's boundary input.
TEST_F(XyOutput, TheXyFilesInTheirLayoutsReadBackAsBoundaryInputs) {
  xy_output& out = ms->output.xy_out;
  out.grid = grid();
  out.points = {at(150.0, 150.0), at(50.0, 50.0)};
  out.points[0].id = 7;
  out.points[1].id = 9;
  out.stream_points.resize(1);
  out.stream_points[0].x = 12.5, out.stream_points[0].y = 99.25;
  out.stream_points[0].link = 3, out.stream_points[0].node = 2;
  const double depth[] = {0, 0.01, 0.2, 0.03, 0.04, 0.05};
  out.ov_values = depth;
  out.flow_table = &ms->channel.qp;
  open_for_test(out.ov_file, "xy.ovd");
  open_for_test(out.stream_file, "xy.stq");
  write_xy_headers(out);
  write_xy_output_step(out, julian_date(2001, 3, 4, 5, 6, 0.0));
  write_xy_output_step(out, julian_date(2001, 3, 4, 5, 36, 0.0));
  out.close_files();
  EXPECT_EQ(read_file("xy.ovd"),
            "XY_OV_DEPTH\n2\nDATE       TIME \t         7         9\n"
            "2001 03 04 05 06\t     0.200     0.040\n2001 03 04 05 36\t     0.200     0.040\nEND_TS\n");
  EXPECT_EQ(read_file("xy.stq"),
            "XY_STREAM_HYDROGRAPHS\n1\nX                 \t         12.500\nY                 \t         99.250\n"
            "2001 03 04 05 06\t         3.5000\n2001 03 04 05 36\t         3.5000\nEND_TS\n");

  xy_input back;
  CaptureStdout();
  ASSERT_TRUE(read_xy_boundary_file(back, "xy.ovd", "overland", "XY_OV_DEPTH", back.ovpts, back.num_ovpts,
                                    back.ov_series, true));
  ASSERT_TRUE(read_xy_stream_boundary_file(back, "xy.stq"));
  GetCapturedStdout();
  ASSERT_EQ(back.num_ovpts, 2);
  EXPECT_EQ(back.ovpts[2].cell, 9);
  EXPECT_DOUBLE_EQ(ts_value_at(julian_date(2001, 3, 4, 5, 20, 0.0), back.ovpts[1].series), 0.2);
  ASSERT_EQ(back.num_stpts, 1);
  EXPECT_EQ(back.stpts[1].y, 99.25);
  EXPECT_DOUBLE_EQ(ts_value_at(julian_date(2001, 3, 4, 5, 6, 0.0), back.stpts[1].series), 3.5);
}

// Points from an inset mask: the inset cells on its outline, in row order;
// points from a file that announces more than it holds: those it holds.
TEST_F(XyOutput, PointsFromAMaskAndFromAFile) {
  xy_output out;
  write_file("inset.msk", "north: 300\nsouth: 0\neast: 300\nwest: 0\nrows: 3\ncols: 3\n1 1 1\n1 1 1\n1 1 1\n");
  CaptureStdout();
  ASSERT_TRUE(read_xy_output_mask(out, "inset.msk", 1));
  GetCapturedStdout();
  ASSERT_EQ(out.points.size(), 8u);  // all but the centre
  EXPECT_EQ(out.points[3].x, 50.0);  // row 2, column 1
  EXPECT_EQ(out.points[3].y, 150.0);
  EXPECT_EQ(out.points[4].x, 250.0);
  EXPECT_EQ(out.points[7].id, 8);

  xy_output listed;
  write_file("pts.txt", "2\n10 20 4\n30.5 40 5\n");
  CaptureStdout();
  ASSERT_TRUE(read_xy_point_list(listed, "pts.txt"));
  EXPECT_EQ(GetCapturedStdout(), "");
  ASSERT_EQ(listed.points.size(), 2u);
  EXPECT_EQ(listed.points[1].x, 30.5);
  EXPECT_EQ(listed.points[1].id, 5);

  // A count that disagrees with the points, a bad point, a line with more.
  const struct {
    const char* text;
    const char* message;
  } faults[] = {
      {"2\n10 20 4\n30.5 x 5\n", "Error: line 3 of the XY output point file bad.txt does not hold x, y"},
      {"3\n10 20 4\n30.5 40 5\n", "Error: the XY output point file bad.txt ends after 2 of the 3 points its first "
                                  "line counts.\n"},
      {"1\n10 20 4\n30.5 40 5\n", "Error: line 3 of the XY output point file bad.txt holds an entry beyond the count "
                                  "of its first line.\n"},
      {"1\n10 20 4 7\n", "Error: line 2 of the XY output point file bad.txt holds more than x, y and an id.\n"},
  };
  for (const auto& c : faults) {
    SCOPED_TRACE(c.text);
    reset_process_state();
    xy_output again;
    write_file("bad.txt", c.text);
    CaptureStdout();
    EXPECT_FALSE(read_xy_point_list(again, "bad.txt"));
    const std::string out = GetCapturedStdout();
    EXPECT_TRUE(has(out, c.message)) << out;
    EXPECT_EQ(process.error_block.stop, 1);
  }
}

// ------------------------------------------------------------ whole runs

// The plane with one cell held at the depths of an XY series: the cell
// follows its series, what the boundary adds and removes is booked as
// head-boundary volume, and the run's and the event's balances close.
TEST_F(XyPoints, AnOverlandXyBoundaryInARunKeepsTheBalance) {
  copy_example("plane");
  write_file("bdy.ovd", "XY_OV_DEPTH\n1\nDATE TIME 10\n2024 06 15 12 00 0.0\n2024 06 15 13 00 0.08\n"
                        "2024 06 15 14 00 0.02\n2024 06 15 15 00 0.0\nEND_TS\n");
  set_card("plane.prj", "XYBDYINPUT_OVDEP", "XYBDYINPUT_OVDEP bdy.ovd");
  storm_run run = run_storm("plane.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  EXPECT_EQ(ms.overland.boundary_type[10], 9);
  EXPECT_EQ(ms.overland.ov_depth[10], 0.0);  // the series at 15:00
  const water_ledger& l = ms.ledger;
  EXPECT_GT(l.run_total(water_flux::head_boundary_in), 0.08 * 900.0 * 0.99);
  EXPECT_GT(l.run_total(water_flux::head_boundary_out), 0.0);
  EXPECT_NEAR(l.run().overall_error, 0.0, 1e-6);
  EXPECT_NEAR(l.run().surface_error, 0.0, 1e-6);
  EXPECT_NEAR(l.event().error, 0.0, 1e-9);
  EXPECT_EQ(ms.output.xy_input_in_use, 1);
}

TEST_F(XyPoints, CellsAndNodesOfTheFilesAreCheckedAgainstTheGridAndTheNetwork) {
  copy_example("plane");
  write_file("bdy.ovd", "XY_OV_DEPTH\n2\nDATE TIME 10 47\n2024 06 15 12 00 0.0 0.0\nEND_TS\n");
  set_card("plane.prj", "XYBDYINPUT_OVDEP", "XYBDYINPUT_OVDEP bdy.ovd");
  storm_run run = run_storm("plane.prj");
  EXPECT_FALSE(run.ended);
  EXPECT_TRUE(has(run.console, "Error: line 3 of the XY boundary input file bdy.ovd names cell 47; the grid's cells "
                               "are 1 to 46.\n"))
      << run.console;

  // Two series on one cell would overwrite each other at every update.
  reset_process_state();
  write_file("bdy.ovd", "XY_OV_DEPTH\n3\nDATE TIME 10 12 10\n2024 06 15 12 00 0.0 0.0 0.1\nEND_TS\n");
  run = run_storm("plane.prj");
  EXPECT_FALSE(run.ended);
  EXPECT_TRUE(has(run.console, "Error: line 3 of the XY boundary input file bdy.ovd names cell 10, which line 3 of "
                               "bdy.ovd names already; a cell takes the series of one point.\n"))
      << run.console;

  reset_process_state();
  copy_example("vcatch");
  write_file("flows.ts", "NIVRA_TS\nq\nABSOLUTE\n2024 6 15 12 0 1.0\nEND_TS\n");
  write_file("st.txt", "NIVRA_XY_ST_BDY_TS\nNIVRA_TS\nLINKNODE 2 30\nTIMESERIES q\nEND_TS\n");
  set_card("vcatch.prj", "TIME_SERIES_FILE", "TIME_SERIES_FILE flows.ts");
  set_card("vcatch.prj", "XYBDYINPUT_STTIMESERIES", "XYBDYINPUT_STTIMESERIES st.txt");
  run = run_storm("vcatch.prj");
  EXPECT_TRUE(has(run.console, "Error: line 3 of the XY boundary input file st.txt names link 2, node 30; the channel "
                               "network has links 1 to 2 and that link nodes 1 to 25.\n"))
      << run.console;

  // Points the channels cannot take water at stop the run before its first
  // step.
  struct refused {
    const char* what;
    std::string series, points, message;
  } refusals[] = {
      {"a discharge below 0", "NIVRA_TS\nq\nABSOLUTE\n2024 6 15 12 0 1.0\n2024 6 15 13 0 -0.5\nEND_TS\n",
       "NIVRA_XY_ST_BDY_TS\nNIVRA_TS\nLINKNODE 2 3\nTIMESERIES q\nEND_TS\n",
       "Error: the stream point of line 3 of the XY boundary input file st.txt has the discharge -0.5 as value 2 of "
       "its hydrograph; it takes a number of at least 0 (m3/s).\n"},
  };
  for (const refused& f : refusals) {
    SCOPED_TRACE(f.what);
    reset_process_state();
    write_file("flows.ts", f.series);
    write_file("st.txt", f.points);
    run = run_storm("vcatch.prj");
    EXPECT_FALSE(run.ended);
    EXPECT_EQ(run.steps, 0);
    EXPECT_TRUE(has(run.console, f.message)) << run.console;
  }

  // A sound stream point runs: its 1 m3/s enters link 2 at node 3 over the
  // whole run and the books close.
  reset_process_state();
  write_file("flows.ts", "NIVRA_TS\nq\nABSOLUTE\n2024 6 15 12 0 1.0\nEND_TS\n");
  write_file("st.txt", "NIVRA_XY_ST_BDY_TS\nNIVRA_TS\nLINKNODE 2 3\nTIMESERIES q\nEND_TS\n");
  run = run_storm("vcatch.prj");
  ASSERT_TRUE(run.ended) << run.console.substr(0, 2000);
  EXPECT_NEAR(run.ms->ledger.run_total(water_flux::xy_stream_inflow), 180 * 60.0, 10.0 + 1e-9);
  EXPECT_LT(std::fabs(run.ms->ledger.run().overall_error), 1e-9);
}

// The storm of examples/groundwater with cell 33 (row 4, column 6; table
// at 226.11 m, ground at 228.01 m) held at the heads of an XY series: up
// 1 m over four hours, down 0.5 m over the next four. At every groundwater
// step the head takes the series' value; what the boundary adds and
// removes is the change of head x 900 m2 x the storage coefficient 0.25;
// the groundwater and overall balances close.
TEST_F(XyPoints, AGroundwaterHeadPointInARunFollowsItsSeriesAndKeepsTheBalance) {
  copy_example("groundwater");
  write_file("bdy.gwh", "XY_GW_HEAD\n1\nDATE TIME 33\n2024 06 15 12 00 226.11\n2024 06 15 16 00 227.11\n"
                        "2024 06 15 20 00 226.61\nEND_TS\n");
  set_card("storm.prj", "XYBDYINPUT_GWHEAD", "XYBDYINPUT_GWHEAD bdy.gwh");
  // An XY output point on the centre of the cell writes its head.
  write_file("pts.txt", "1\n500165.0 4400135.0 7\n");
  set_card("storm.prj", "XYBDYOUTPUT_PTS", "XYBDYOUTPUT_PTS pts.txt");
  set_card("storm.prj", "XYBDYOUTPUT_GWHEAD", "XYBDYOUTPUT_GWHEAD storm.xyg");
  const double noon = julian_date(2024, 6, 15, 12, 0, 0.0);
  auto series = [&](double t) {
    const double hours = (t - noon) * 24.0;
    return hours <= 4.0 ? 226.11 + 0.25 * hours : 227.11 - 0.125 * (hours - 4.0);
  };
  double peak = 0.0, worst = 0.0;
  storm_run run = run_storm("storm.prj", {}, 100000, [&](const model_state& ms) {
    const double h = ms.groundwater.elevgw[33];
    peak = std::max(peak, h);
    worst = std::max(worst, std::fabs(h - series(ms.clock.gw_last_time)));
  });
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  ASSERT_EQ(ms.grid.mask[4][6], 33);
  EXPECT_EQ(ms.groundwater.gwbound[33], aquifer_cell::xy_head);
  // After every step the head is the series' value at the last solve.
  EXPECT_LT(worst, 1e-9);
  EXPECT_GT(peak, 227.1);
  // The run's end is solved: the head stands at the series' value at 20:00.
  const double last = ms.groundwater.elevgw[33];
  EXPECT_NEAR(last, 226.61, 1e-9);
  const water_ledger& l = ms.ledger;
  EXPECT_NEAR(l.run_total(water_flux::xy_boundary_gain), (peak - 226.11) * 900.0 * 0.25, 1e-6);
  EXPECT_NEAR(l.run_total(water_flux::xy_boundary_loss), (peak - last) * 900.0 * 0.25, 1e-6);
  EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-5);
  EXPECT_NEAR(l.run().overall_error, 0.0, 1e-5);
  run.ms.reset();
  const std::string xyg = read_file("storm.xyg");
  EXPECT_EQ(xyg.rfind("XY_GW_HEAD\n1\n", 0), 0u) << xyg.substr(0, 100);
  char line[64];
  std::snprintf(line, sizeof line, "2024 06 15 20 00\t%10.3f\n", last);
  EXPECT_TRUE(has(xyg, line)) << line << xyg;
}

// The held head under the soil-moisture accounting layer and under
// Richards columns, which follow it: the balances close.
TEST_F(XyPoints, AGroundwaterHeadPointUnderTheSoilLayerAndColumnsKeepsTheBalance) {
  for (const char* project : {"groundwater", "richards"}) {
    SCOPED_TRACE(project);
    reset_process_state();
    copy_example("groundwater");
    write_file("bdy.gwh", "XY_GW_HEAD\n1\nDATE TIME 33\n2024 06 01 00 00 226.11\n2024 06 30 00 00 227.71\nEND_TS\n");
    const std::string file = std::string(project) + ".prj";
    set_card(file, "XYBDYINPUT_GWHEAD", "XYBDYINPUT_GWHEAD bdy.gwh");
    storm_run run = run_storm(file);
    ASSERT_TRUE(run.ended) << run.console;
    const water_ledger& l = run.ms->ledger;
    EXPECT_GT(l.run_total(water_flux::xy_boundary_gain), 10.0);
    EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-5);
    EXPECT_NEAR(l.run().overall_error, 0.0, 1e-5);
  }
}

// The same storm with the five cells of row 5, columns 4 to 8, given code
// 8 in the boundary map: their heads are the inverse-distance means of two
// XY points west and east of them, and the balances close. Code-8 cells
// without points, points without code-8 cells and heads without
// groundwater stop the run.
TEST_F(XyPoints, InterpolatedGroundwaterHeadsInARun) {
  copy_example("groundwater");
  std::string bnd = read_file("hillside.bnd");
  // Row 5 of the map is its eleventh line.
  std::size_t at = 0;
  for (int line = 0; line < 10; ++line) at = bnd.find('\n', at) + 1;
  bnd.replace(at, bnd.find('\n', at) - at, "1 1 1 8 8 8 8 8 1 1");
  write_file("hillside.bnd", bnd);
  write_file("pts.gwi", "XY_GW_HEAD_INTERP\n2\nX 500075.0 500255.0\nY 4400105.0 4400105.0\n"
                        "2024 06 15 12 00 224.0 218.0\n2024 06 15 20 00 225.0 219.0\nEND_TS\n");
  set_card("storm.prj", "XYBDYINPUT_GWHEADINTERP", "XYBDYINPUT_GWHEADINTERP pts.gwi");
  storm_run run = run_storm("storm.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  const xy_input& xy = ms.output.xy_in;
  ASSERT_EQ(xy.num_gw_interp_cells, 5);
  // Both points rise 1 m over the eight hours; the heads are those of the
  // last groundwater step.
  const double rise = (ms.clock.gw_last_time - julian_date(2024, 6, 15, 12, 0, 0.0)) * 3.0;
  for (int k = 1; k <= 5; ++k) {
    const xy_interp_entry& e = xy.gw_interp[k];
    EXPECT_EQ(ms.groundwater.gwbound[e.cell], aquifer_cell::xy_head);
    // Column 3 + k lies k x 30 m from the western point and (6 - k) x 30 m
    // from the eastern one.
    const double west = k * 30.0, east = (6 - k) * 30.0;
    const double ww = 1.0 / (west * west), we = 1.0 / (east * east);
    EXPECT_NEAR(ms.groundwater.elevgw[e.cell], ((224.0 + rise) * ww + (218.0 + rise) * we) / (ww + we), 1e-9) << k;
  }
  const water_ledger& l = ms.ledger;
  EXPECT_GT(l.run_total(water_flux::xy_boundary_gain) + l.run_total(water_flux::xy_boundary_loss), 1.0);
  EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-5);
  EXPECT_NEAR(l.run().overall_error, 0.0, 1e-5);

  const struct {
    const char* bnd_line;  // row 5 of the map
    bool points;
    bool groundwater;
    const char* message;
  } refused[] = {
      {"1 1 1 8 8 8 8 8 1 1", false, true, "5 cells of the groundwater boundary map have code 8"},
      {"1 1 1 1 1 1 1 1 1 1", true, true, "no cell of the groundwater boundary map has code 8"},
      {"1 1 1 1 1 1 1 1 1 1", true, false, "but this run does not simulate groundwater (GW_SIMULATION)"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.message);
    reset_process_state();
    copy_example("groundwater");
    std::string map = read_file("hillside.bnd");
    map.replace(at, map.find('\n', at) - at, c.bnd_line);
    write_file("hillside.bnd", map);
    write_file("pts.gwi", "XY_GW_HEAD_INTERP\n2\nX 500075.0 500255.0\nY 4400105.0 4400105.0\n"
                          "2024 06 15 12 00 224.0 218.0\nEND_TS\n");
    if (c.points) set_card("storm.prj", "XYBDYINPUT_GWHEADINTERP", "XYBDYINPUT_GWHEADINTERP pts.gwi");
    if (!c.groundwater)
      for (const char* card : {"GW_SIMULATION", "WATER_TABLE", "AQUIFER_BOTTOM", "GW_BOUNDFILE", "GW_UNIF_HYCOND",
                               "GW_UNIF_POROSITY", "GW_TIMESTEP", "GW_LSOR_CON", "USE_WELLS", "K_RIVER", "M_RIVER"})
        set_card("storm.prj", card, "#");
    storm_run r = run_storm("storm.prj");
    EXPECT_FALSE(r.ended);
    EXPECT_TRUE(has(r.console, c.message)) << r.console;
  }
}

// XY output points in a run: a line per output step in the overland file,
// closed with END_TS.
TEST_F(XyOutput, XyOutputsOfARun) {
  copy_example("plane");
  write_file("pts.txt", "2\n500045.0 4000135.0 1\n500100.0 4000100.0 2\n");
  set_card("plane.prj", "XYBDYOUTPUT_PTS", "XYBDYOUTPUT_PTS pts.txt");
  set_card("plane.prj", "XYBDYOUTPUT_OVDEP", "XYBDYOUTPUT_OVDEP plane.xyd");
  CaptureStdout();
  EXPECT_EQ(run_simulation("plane.prj", nullptr, "nivra"), 0);
  GetCapturedStdout();
  const std::string text = read_file("plane.xyd");
  const std::string header = "XY_OV_DEPTH\n2\nDATE       TIME \t         1         2\n";
  EXPECT_EQ(text.substr(0, header.size()), header);
  EXPECT_TRUE(has(text, "2024 06 15 12 00\t     0.000     0.000\n")) << text.substr(0, 300);
  EXPECT_EQ(text.substr(text.size() - 7), "END_TS\n");
  // A line at every line of the outlet hydrograph: three header lines and END_TS besides.
  const std::string hydrograph = read_file("plane.otl");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(hydrograph.begin(), hydrograph.end(), '\n') + 4);

  // An output file named without points stops the run.
  reset_process_state();
  copy_example("plane");
  set_card("plane.prj", "XYBDYOUTPUT_OVDEP", "XYBDYOUTPUT_OVDEP plane.xyd");
  CaptureStdout();
  run_simulation("plane.prj", nullptr, "nivra");
  EXPECT_TRUE(has(GetCapturedStdout(), "no XYBDYOUTPUT_PTS or XYBDYOUTPUT_MASK card gives the points.\n"));
}

// ---- The round trip of a stream hydrograph: an outer run writes it where
// its channel enters an inset, and the inset takes it in.

// Rows first..last of the body of an ASCII map of the V-catchment, under a
// header of their own (rows of 20 m from the top at y = 1000 m).
std::string vcatch_rows(const std::string& text, int first, int last) {
  std::istringstream in(text);
  std::string line, body;
  for (int k = 0; k < 6; ++k) std::getline(in, line);
  for (int r = 1; std::getline(in, line); ++r)
    if (r >= first && r <= last) body += line + "\n";
  char head[160];
  std::snprintf(head, sizeof head, "north: %.2f\nsouth: %.2f\neast: 1620.00\nwest: 0.00\nrows: %d\ncols: 81\n",
                1000.0 - 20.0 * (first - 1), 1000.0 - 20.0 * last, last - first + 1);
  return head + body;
}

// The XY stream hydrograph file with its first point alone.
std::string first_point_only(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  std::getline(in, line);
  out += line + "\n";
  std::getline(in, line);
  const int points = std::stoi(line);
  out += "1\n";
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string t; words >> t;) w.push_back(t);
    if (w.empty()) continue;
    if (w.size() <= static_cast<std::size_t>(points)) {  // END_TS
      out += line + "\n";
      continue;
    }
    // Keep everything before the points' values and the first value.
    const std::size_t lead = w.size() - static_cast<std::size_t>(points);
    for (std::size_t k = 0; k <= lead; ++k) out += w[k] + (k < lead ? " " : "\n");
  }
  return out;
}

TEST_F(XyPoints, AnInsetsUpstreamLinkCarriesTheOuterRunsStreamHydrograph) {
  // The outer run: the V-catchment (50 x 81 cells of 20 m, its channel down
  // column 41 in two links of 25 nodes), whose lower half is the inset
  // (rows 26 to 50, the channel's second link). The outer run writes the
  // discharge where its channel crosses the inset's outline: the last node
  // of link 1 entering it and the last node of link 2 leaving it.
  copy_example("vcatch");
  write_file("inset.msk", vcatch_rows(read_file("vcatch.msk"), 26, 50));
  write_file("inset.ele", vcatch_rows(read_file("vcatch.ele"), 26, 50));
  set_card("vcatch.prj", "XYBDYOUTPUT_MASK", "XYBDYOUTPUT_MASK inset.msk");
  set_card("vcatch.prj", "XYBDYOUTPUT_STFLOW", "XYBDYOUTPUT_STFLOW outer.xys");
  std::vector<double> outer_q;  // link 1, node 25 after every step
  storm_run outer = run_storm("vcatch.prj", {}, 100000,
                              [&](const model_state& ms) { outer_q.push_back(ms.channel.qp(25, 1)); });
  ASSERT_TRUE(outer.ended) << outer.console.substr(0, 2000);
  ASSERT_TRUE(has(outer.console, "NIVRA identified 2 stream link/nodes as crossing the inset mask boundary.\n1,25\t2,25"))
      << outer.console.substr(0, 3000);
  outer.ms.reset();
  // The inset takes the stream where it enters it.
  write_file("upstream.xys", first_point_only(read_file("outer.xys")));

  // The inset: the lower half with the channel's second link alone, and a
  // rain of a thousandth of a millimetre an hour (a run needs some), so
  // that its channel carries what comes from above.
  std::string cif = read_file("vcatch.cif");
  const std::size_t second = cif.find("\nLINK 2\n");
  ASSERT_NE(second, std::string::npos);
  std::string head = cif.substr(0, cif.find("\nCONNECT 1 2 0"));
  head.replace(head.find("LINKS 2"), 7, "LINKS 1");
  write_file("inset.cif", head + "\nCONNECT 1 0 0\n\nLINK 1\n" + cif.substr(second + 8));
  std::string gst = "GRIDSTREAMFILE\nSTREAMCELLS 25\n";
  for (int r = 1; r <= 25; ++r)
    gst += "CELLIJ " + std::to_string(r) + " 41\nNUMNODES 1\nLINKNODE 1 " + std::to_string(r) + " 1.0\n";
  write_file("inset.gst", gst);
  write_file("inset.prj", read_file("vcatch.prj"));
  for (const auto& [card, line] : std::vector<std::pair<std::string, std::string>>{
           {"WATERSHED_MASK", "WATERSHED_MASK inset.msk"}, {"ELEVATION", "ELEVATION inset.ele"},
           {"ROWS", "ROWS 25"}, {"OUTROW", "OUTROW 25"}, {"CHANNEL_INPUT", "CHANNEL_INPUT inset.cif"},
           {"STREAM_CELL", "STREAM_CELL inset.gst"}, {"RAIN_INTENSITY", "RAIN_INTENSITY 0.001"},
           {"SUMMARY", "SUMMARY inset.sum"}, {"OUTLET_HYDRO", "OUTLET_HYDRO inset.otl"},
           {"XYBDYOUTPUT_MASK", "XYBDYINPUT_STFLOW upstream.xys"}, {"XYBDYOUTPUT_STFLOW", "# no XY output"}})
    set_card("inset.prj", card, line);
  std::vector<double> inset_q;  // link 1, node 1 after every step
  const storm_run inset = run_storm("inset.prj", {}, 100000,
                                    [&](const model_state& ms) { inset_q.push_back(ms.channel.qp(1, 1)); });
  ASSERT_TRUE(inset.ended) << inset.console.substr(0, 3000);
  const model_state& ms = *inset.ms;
  // The point (x 810, y 510, between the outer link's last two node
  // points) goes to the inset's first node (x 810, y 490), the nearest.
  ASSERT_EQ(ms.output.xy_in.num_stpts, 1);
  EXPECT_EQ(ms.output.xy_in.stpts[1].link, 1);
  EXPECT_EQ(ms.output.xy_in.stpts[1].node, 1);

  // What entered is the outer hydrograph's volume: the 10 s steps over the
  // 5 minute series, within a part in a thousand.
  double outer_volume = 0.0;
  for (std::size_t k = 1; k < outer_q.size(); ++k) outer_volume += 10.0 * outer_q[k];
  const water_ledger& l = ms.ledger;
  const double in = l.run_total(water_flux::xy_stream_inflow);
  EXPECT_NEAR(in, outer_volume, 2e-3 * outer_volume);
  // It left through the outlet or is still in the channel, with the little
  // the cells gave.
  const double lateral = l.run_total(water_flux::channel_lateral_net);
  EXPECT_LT(lateral, 1e-3 * in);
  EXPECT_NEAR(in + lateral,
              l.run_total(water_flux::outlet_discharge) + l.storage(water_store::channels, ledger_moment::run_end),
              1e-9 * in);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);

  // The inset's first node carries the outer run's discharge at that place:
  // the same peak, a few minutes later at most (the node holds 20 m of
  // channel), and at every step a discharge the outer run had within the
  // last five minutes.
  ASSERT_EQ(inset_q.size(), outer_q.size());
  const auto outer_peak = std::max_element(outer_q.begin(), outer_q.end());
  const auto inset_peak = std::max_element(inset_q.begin(), inset_q.end());
  const double peak_outer = *outer_peak, peak_inset = *inset_peak;
  EXPECT_GT(peak_outer, 1.0);
  EXPECT_NEAR(peak_inset, peak_outer, 0.01 * peak_outer);
  const long lag = (inset_peak - inset_q.begin()) - (outer_peak - outer_q.begin());
  EXPECT_GE(lag, 0);
  EXPECT_LE(lag, 30);  // steps of 10 s
  double worst = 0.0;  // outside the outer run's range of the last five minutes
  for (std::size_t k = 0; k < inset_q.size(); ++k) {
    const std::size_t from = k >= 30 ? k - 30 : 0;
    const auto [lo, hi] = std::minmax_element(outer_q.begin() + static_cast<long>(from),
                                              outer_q.begin() + static_cast<long>(k) + 1);
    worst = std::max({worst, *lo - inset_q[k], inset_q[k] - *hi});
  }
  EXPECT_LT(worst, 0.01 * peak_outer);
  std::printf("round trip: outer peak %.4f m3/s, inset peak %.4f m3/s %ld steps later, %.4f m3/s outside the "
              "outer range; %.1f m3 in\n",
              peak_outer, peak_inset, lag, worst, in);
}

}  // namespace
}  // namespace nivra::testing
