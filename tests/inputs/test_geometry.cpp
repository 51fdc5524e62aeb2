// Grid geometry on small hand-drawn grids: cell numbering, centres and
// neighbours at the watershed edge and around holes, the outlet, the cell
// size check, both slope sets against hand calculations, dikes and low spots.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/channel_state.h"
#include "core/process.h"
#include "hydromet/weather_step.h"
#include "inputs/geometry.h"
#include "inputs/grid_state.h"
#include "inputs/surface_maps.h"
#include "map_fixture.h"
#include "model/project.h"
#include "run/map_phase.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::map_text;
using testing::mapped_record;
using testing::run_stopped;

class Geometry : public testing::process_test {};

// Runs the map phase and the grid geometry step; returns the console text.
std::string build(model_state& ms) {
  CaptureStdout();
  read_input_maps(ms);
  if (!run_stopped()) {
    build_cell_connectivity(ms);
    compute_cell_slopes(ms);
    compute_centred_slopes(ms);
  }
  return GetCapturedStdout();
}

TEST_F(Geometry, CellsAreNumberedRowByRowAroundHolesWithTheirNeighbours) {
  // Mask values 1, 7 and -1 all mark watershed cells.
  auto ms = mapped_record(3, 4,
                          "0 1 1 0\n"
                          "7 0 -1 1\n"
                          "1 1 1 0\n",
                          "1 1 1 1\n1 1 1 1\n1 1 1 1\n", 10.0, 2, 4);
  std::string out = build(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  EXPECT_NE(out.find("number of grid cells in watershed: 8\n"), std::string::npos) << out;
  EXPECT_NE(out.find("outlet is in grid cell: 5\n"), std::string::npos) << out;
  EXPECT_EQ(ms->grid.ncells, 8);
  EXPECT_EQ(ms->grid.outlet_cell, 5);
  EXPECT_DOUBLE_EQ(ms->grid.watershed_area, 800.0);

  const int numbered[5][6] = {{0, 0, 0, 0, 0, 0},
                              {0, 0, 1, 2, 0, 0},
                              {0, 3, 0, 4, 5, 0},
                              {0, 6, 7, 8, 0, 0},
                              {0, 0, 0, 0, 0, 0}};
  for (int r = 0; r <= 4; ++r)
    for (int c = 0; c <= 5; ++c) EXPECT_EQ(ms->grid.mask[r][c], numbered[r][c]) << r << "," << c;

  // Per cell: row, column, then the east, west, south and north neighbour.
  const int want[9][6] = {{},
                          {1, 2, 2, 0, 0, 0},  {1, 3, 0, 1, 4, 0},  {2, 1, 0, 0, 6, 0},
                          {2, 3, 5, 0, 8, 2},  {2, 4, 0, 4, 0, 0},  {3, 1, 7, 0, 0, 3},
                          {3, 2, 8, 6, 0, 0},  {3, 3, 0, 7, 0, 4}};
  for (int k = 1; k <= 8; ++k) {
    EXPECT_EQ(ms->grid.cell_row[k], want[k][0]) << k;
    EXPECT_EQ(ms->grid.cell_col[k], want[k][1]) << k;
    EXPECT_EQ(ms->grid.rightcon[k], want[k][2]) << k;
    EXPECT_EQ(ms->grid.leftcon[k], want[k][3]) << k;
    EXPECT_EQ(ms->grid.belowcon[k], want[k][4]) << k;
    EXPECT_EQ(ms->grid.abovecon[k], want[k][5]) << k;
    // The centre of a cell lies half a cell in from its row's and column's edges.
    EXPECT_DOUBLE_EQ(ms->grid.cell_x[k], 500.0 + (want[k][1] - 0.5) * 10.0) << k;
    EXPECT_DOUBLE_EQ(ms->grid.cell_y[k], 1000.0 - (want[k][0] - 0.5) * 10.0) << k;
  }

  // The numbered mask is written as a grid map.
  EXPECT_EQ(testing::read_file("maskmap"),
            "north:   1000.00\nsouth:    970.00\neast:    540.00\nwest:    500.00\n"
            "rows:     3\ncols:     4\n0 1 2 0 \n3 0 4 5 \n6 7 8 0 \n");
}

TEST_F(Geometry, TheOutletMustLieInTheWatershedUnlessChannelsRouteIt) {
  const char* mask = "1 1\n0 1\n";
  const char* ground = "3 2\n2 1\n";
  for (auto [row, col] : {std::pair{2, 1}, std::pair{3, 1}, std::pair{0, 0}}) {
    reset_process_state();
    auto ms = mapped_record(2, 2, mask, ground, 10.0, row, col);
    std::string out = build(*ms);
    EXPECT_TRUE(run_stopped()) << row << "," << col;
    EXPECT_NE(out.find("inside the watershed mask.  Check the outlet row and column again, and\n"),
              std::string::npos);
    EXPECT_EQ(ms->grid.elevation[3], 1.0);  // read before the check
    EXPECT_TRUE(ms->grid.slope_x.empty());  // nothing after it
  }
  // With explicit channels an outlet outside the mask is accepted; the run
  // then stops at the channel set-up, which has no channel files here.
  reset_process_state();
  auto ms = mapped_record(2, 2, mask, ground, 10.0, 2, 1);
  ms->channel.chan_explic = 1;
  std::string out = build(*ms);
  EXPECT_NE(out.find("outlet is in grid cell: 0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Error: explicit channel routing needs the channel input file (CHANNEL_INPUT)"),
            std::string::npos);
}

// A watershed mask exported with -9999 outside the watershed would make
// every such position a watershed cell: the run stops naming the first.
TEST_F(Geometry, AMaskHoldingTheNoDataValueStopsTheRun) {
  auto ms = mapped_record(2, 3, "1 1 -9999\n1 1 1\n", "3 2 1\n3 2 1\n", 10.0, 1, 1);
  const std::string out = build(*ms);
  EXPECT_TRUE(run_stopped());
  EXPECT_NE(out.find("Error: the watershed mask w.msk holds the no-data value -9999 at row 1, column 3; the mask "
                     "holds 0 outside the watershed"),
            std::string::npos)
      << out;
  EXPECT_EQ(ms->grid.ncells, 0);
}

// A cell more than 100 m below the lowest of its watershed neighbours warns,
// naming the map, the cell and both elevations; a pit of 100 m or less, and
// a cell lower than its neighbours outside the watershed, do not.
TEST_F(Geometry, ACellHundredsOfMetresBelowItsNeighboursWarns) {
  auto ms = mapped_record(3, 3, "1 1 1\n1 1 1\n1 1 0\n",
                          "1200 1210 1220\n"
                          "1205 900 1190\n"
                          "1201 1099.5 -500\n",
                          10.0, 1, 1);
  const std::string out = build(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  EXPECT_NE(out.find("Warning: the elevation map w.ele puts row 2, column 2 at 900.00 m, 199.50 m below the lowest "
                     "of its watershed neighbours (1099.50 m); check the map for a value that is no elevation.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("Warning: the elevation map w.ele puts row 3"), std::string::npos) << out;
  EXPECT_EQ(out.find("Warning: the elevation map w.ele puts row 1"), std::string::npos) << out;

  reset_process_state();
  ms = mapped_record(2, 2, "1 1\n1 1\n", "300 300\n300 200\n", 10.0, 1, 1);
  EXPECT_EQ(build(*ms).find("Warning: the elevation map"), std::string::npos);
}

TEST_F(Geometry, TheCellSizeMustAgreeWithTheProjectToATenthOfAMetre) {
  struct size_case {
    double map_dx;
    bool passes;
  } cases[] = {{30.0, true}, {30.07, true}, {30.1, false}, {29.9, false}};
  for (const auto& k : cases) {
    reset_process_state();
    auto ms = testing::grid_record(2, 2, 30.0);
    testing::give_map(ms->grid.watershed_mask_file, ms->project.watershed_mask, "w.msk",
                      map_text(2, 2, "1 1\n1 1\n", k.map_dx));
    testing::give_map(ms->grid.elevation_file, ms->project.elevation_file_name, "w.ele",
                      map_text(2, 2, "1 1\n1 1\n", k.map_dx));
    std::string out = build(*ms);
    EXPECT_EQ(run_stopped(), !k.passes) << k.map_dx;
    if (!k.passes) {
      EXPECT_NE(out.find("The grid size specified in the project file: 30.0000 m differs from\n"
                         "the north-south dimension of the raster grid cells"),
                std::string::npos)
          << out;
      EXPECT_EQ(ms->grid.ncells, 0);
    }
  }
}

TEST_F(Geometry, SlopesOfATiltedPlaneMatchItsGradient) {
  // z = 100 - 0.3 (row - 1) - 0.1 (col - 1) on 30 m cells, with a hole and
  // a cut corner; every cell of a plane has the plane's slopes, whichever
  // neighbours it has, but for the cell below the hole: with no neighbour
  // north or south it keeps a one-sided y slope of 0.
  std::string ground;
  for (int r = 1; r <= 4; ++r) {
    for (int c = 1; c <= 5; ++c) {
      char v[32];
      std::snprintf(v, sizeof v, "%.2f ", 100.0 - 0.3 * (r - 1) - 0.1 * (c - 1));
      ground += v;
    }
    ground += "\n";
  }
  auto ms = mapped_record(4, 5, "0 1 1 1 1\n1 1 1 1 1\n1 1 0 1 1\n1 1 1 1 1\n", ground, 30.0, 4, 5);
  std::string out = build(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  for (int k = 1; k <= ms->grid.ncells; ++k) {
    EXPECT_NEAR(ms->grid.slope_x[k], 0.1 / 30.0, 1e-12) << k;
    EXPECT_NEAR(ms->grid.slope_y[k], k == ms->grid.mask[4][3] ? 0.0 : 0.3 / 30.0, 1e-12) << k;
    EXPECT_NEAR(ms->grid.centred_slope_x[k], 0.1 / 30.0, 1e-12) << k;
    EXPECT_NEAR(ms->grid.centred_slope_y[k], -0.3 / 30.0, 1e-12) << k;  // positive toward the north
  }
}

TEST_F(Geometry, EdgeCellsBorrowSlopesAsTheRulesSay) {
  // Cells: 1 (1,1) z 10, 2 (1,2) z 9, 3 (2,3) z 8, 4 (3,3) z 5; dx 1 m.
  auto ms = mapped_record(3, 3, "1 1 0\n0 0 1\n0 0 1\n", "10 9 0\n0 0 8\n0 0 5\n", 1.0, 3, 3);
  std::string out = build(*ms);
  ASSERT_FALSE(run_stopped()) << out;
  ASSERT_EQ(ms->grid.ncells, 4);
  // slope_x: cell 1 to its east neighbour; 2, 3 and 4 have none and take
  // the previous cell's. slope_y: cell 3 to its south neighbour 4, which
  // lies on the southern edge and takes it too; 1 and 2 have none: 0.
  const double sx[] = {0, 1, 1, 1, 1};
  const double sy[] = {0, 0, 0, 3, 3};
  // Centred: one-sided where one neighbour exists, else the previous cell's.
  const double cx[] = {0, 1, 1, 1, 1};
  const double cy[] = {0, 0, 0, -3, -3};
  for (int k = 1; k <= 4; ++k) {
    EXPECT_DOUBLE_EQ(ms->grid.slope_x[k], sx[k]) << k;
    EXPECT_DOUBLE_EQ(ms->grid.slope_y[k], sy[k]) << k;
    EXPECT_DOUBLE_EQ(ms->grid.centred_slope_x[k], cx[k]) << k;
    EXPECT_DOUBLE_EQ(ms->grid.centred_slope_y[k], cy[k]) << k;
  }
  // Centred slopes between two neighbours average the two sides.
  reset_process_state();
  ms = mapped_record(1, 3, "1 1 1\n", "10 9 5\n", 1.0, 1, 3);
  build(*ms);
  EXPECT_DOUBLE_EQ(ms->grid.centred_slope_x[2], 0.5 * ((9.0 - 5.0) + (10.0 - 9.0)));
}

TEST_F(Geometry, LowSpotsMustCrossADikeAboveTheGroundOnBothSides) {
  // 2 x 3 cells:  1 2 3 / 4 5 6. A dike runs between cells 1 and 2 (1 right,
  // 2 left) and along the south side of 2 (2 bottom, 5 top); cell 4 has one
  // on its top side; 3 and 6 have none. Cell 2 stands 0.8 m higher.
  struct spot_case {
    int row, col, direction;
    double fraction, crest;
    const char* message;  // nullptr: accepted
  } cases[] = {
      {1, 1, 2, 1.5, 11.0, nullptr},
      {1, 2, 4, 0.0, 11.0, nullptr},
      {1, 1, 2, 1.51, 11.0, "is unreasonable, with a value of 1.510000"},
      {1, 1, 3, 1.0, 11.0, "The low spot flow direction specified in row 1 col 1 in the file spots.txt"},
      {1, 3, 8, 1.0, 11.0, "There is no dike adjacent to this grid cell."},
      {1, 2, 2, 1.0, 11.0, "You have specified a low spot on the right boundary of the grid\ncell at row 1 col 2."},
      {1, 1, 8, 1.0, 11.0, "You have specified a low spot on the left boundary of the grid"},
      {1, 1, 2, 1.0, 9.9, "This elevation is lower than the\nelevation of the grid cell, which is 10.000000 m.  This situation is impossible.\n"
                          "Please raise the low spot elevation to be greater than the grid cell elevation.\n"
                          "Dike / low spot on right side of cell\nProgram terminated\n"},
      {1, 1, 2, 1.0, 10.5, "elevation of the grid cell on the other side of the dike, which is 10.800000 m."},
      {2, 2, 8, 1.0, 11.0, "runs _along_ the dike.  You specified flow\nat this low spot across the left boundary of the cell, while the dike\n"
                           "is running in a different direction than along the left side of the cell.\n"},
      {3, 1, 1, 1.0, 11.0, "names row 3, column 1, outside the grid of 2 rows and 3 columns"},
  };
  for (const auto& k : cases) {
    reset_process_state();
    auto ms = mapped_record(2, 3, "1 1 1\n1 1 1\n", "10 10.8 10\n10 10 10\n", 10.0, 2, 3);
    testing::write_file("dikes.map", map_text(2, 3, "2 12 0\n1 1 0\n"));
    ms->grid.dike_map_given = 1;
    ms->project.dike_map.assign("dikes.map");
    CaptureStdout();
    read_input_maps(*ms);
    GetCapturedStdout();
    ASSERT_FALSE(run_stopped());
    ASSERT_EQ(ms->grid.dike_mask[2], 12);
    // The low-spot file's records, as its reader leaves them.
    ms->grid.lowspot_file_given = 1;
    ms->project.lowspot_file.assign("spots.txt");
    ms->grid.lowspot_count = 1;
    ms->grid.lowspot_cells.alloc(1);
    ms->grid.lowspot_cells[1] = {k.row, k.col, k.direction, k.fraction, k.crest, 5.0};
    CaptureStdout();
    build_cell_connectivity(*ms);
    std::string out = GetCapturedStdout();
    if (!k.message) {
      EXPECT_FALSE(run_stopped()) << out;
      EXPECT_EQ(ms->grid.lowspot_cells[1].flow, 0.0);
      EXPECT_EQ(ms->grid.low_spot_flow_cell.size(), ms->grid.ncells + 1);
    } else {
      EXPECT_TRUE(run_stopped()) << k.message;
      EXPECT_NE(out.find(k.message), std::string::npos) << out;
    }
  }
}

}  // namespace
}  // namespace nivra
