// The bundled wetland plain (examples/wetland): a reed marsh of 2 x 4 cells
// across a plain of 6 x 8 cells of 30 m. Its ground is lowered by the
// marsh's offset once, before the slopes are taken; it holds its 80 mm of
// water from the start of the run; both overland schemes run the storm with
// books that close; the marsh keeps the water below the plain's ground
// around it; and an event that starts with other water on the marsh starts
// it at the marsh's depth again, the difference booked.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

using ExampleWetland = process_test;

constexpr double cell_area = 900.0;
constexpr int marsh_cells = 8;

// Ground of the elevation map: 0.15 m lower per row, 0.06 m per column.
double map_ground(int row, int col) { return 100.0 - 0.15 * (row - 1) - 0.06 * (col - 1); }
bool in_marsh(int row, int col) { return row >= 3 && row <= 4 && col >= 3 && col <= 6; }

double summary_value(const std::string& summary, const std::string& label) {
  const std::size_t at = summary.find(label);
  EXPECT_NE(at, std::string::npos) << label;
  return at == std::string::npos ? 0.0 : std::stod(summary.substr(at + label.size()));
}

TEST_F(ExampleWetland, TheMarshSitsBelowTheMapsGroundWithItsWaterFromTheStart) {
  copy_example("wetland");
  const storm_run r = run_storm("wetland.prj", {}, 0);
  ASSERT_NE(r.ms, nullptr);
  const model_state& ms = *r.ms;
  ASSERT_EQ(ms.grid.ncells, 48);
  for (int row = 1; row <= 6; ++row)
    for (int col = 1; col <= 8; ++col) {
      const int c = ms.grid.mask[row][col];
      const bool marsh = in_marsh(row, col);
      EXPECT_EQ(wetland_cell(ms.lake.wetland_mask[c]), marsh) << row << " " << col;
      EXPECT_NEAR(ms.grid.elevation[c], map_ground(row, col) - (marsh ? 0.3 : 0.0), 1e-9) << row << " " << col;
      EXPECT_EQ(ms.overland.ov_depth[c], marsh ? 0.08 : 0.0);
    }
  // The slopes come from the lowered ground: into the marsh from the west
  // and out of it to the east.
  const int west = ms.grid.mask[3][2], first = ms.grid.mask[3][3], last = ms.grid.mask[3][6];
  EXPECT_NEAR(ms.grid.slope_x[west], (0.06 + 0.3) / 30.0, 1e-12);
  EXPECT_NEAR(ms.grid.slope_x[last], (0.06 - 0.3) / 30.0, 1e-12);
  EXPECT_NEAR(ms.grid.slope_y[ms.grid.mask[2][3]], (0.15 + 0.3) / 30.0, 1e-12);
  EXPECT_NEAR(ms.grid.slope_x[first], 0.06 / 30.0, 1e-12);
  EXPECT_NEAR(ms.ledger.storage(water_store::surface, ledger_moment::run_start), marsh_cells * cell_area * 0.08,
              1e-9);
}

TEST_F(ExampleWetland, BothSchemesRunTheStormWithBooksThatClose) {
  copy_example("wetland");
  for (const char* project : {"wetland.prj", "wetland_explicit.prj"}) {
    SCOPED_TRACE(project);
    const storm_run r = run_storm(project);
    ASSERT_TRUE(r.ended) << r.console.substr(0, 2000);
    const model_state& ms = *r.ms;
    const water_ledger& l = ms.ledger;
    // 48 cells under 25 mm; the marsh's 80 mm on its 8 cells at the start.
    const double rain = l.run_total(water_flux::rainfall_to_overland);
    EXPECT_NEAR(rain, 48 * cell_area * 0.025, 1e-6);
    const double start = l.storage(water_store::surface, ledger_moment::run_start);
    const double end = l.storage(water_store::surface, ledger_moment::run_end);
    const double out = l.run_total(water_flux::outlet_discharge);
    EXPECT_EQ(l.run_total(water_flux::wetland_refill), 0.0);  // the one event starts as the run did
    EXPECT_NEAR(start + rain - out - end, 0.0, 1e-6 * rain);
    EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
    EXPECT_GT(out, 0.3 * rain);
    // The marsh cells of its lower row spill south only over the plain's
    // ground, 0.15 m above their own: they end with at least that much
    // water on them, less the little that seeps through the reeds' layer.
    for (int col = 3; col <= 6; ++col) EXPECT_GT(ms.overland.ov_depth[ms.grid.mask[4][col]], 0.14) << col;
    // The printed summary closes to its precision.
    const std::string summary = read_file(std::string(project).replace(std::string(project).find(".prj"), 4, ".sum"));
    const double s_rain = summary_value(summary, "volume of rainfall to overland:");
    const double s_start = summary_value(summary, "initial volume of overland flow:");
    const double s_out = summary_value(summary, "volume of discharge:");
    const double s_end = summary_value(summary, "volume remaining on surface:");
    EXPECT_NEAR(s_start, 576.0, 0.05);
    EXPECT_NEAR(s_start + s_rain - s_out - s_end, 0.0, 0.15);
    EXPECT_EQ(summary_value(summary, "Overall mass balance error ="), 0.0);
  }
}

TEST_F(ExampleWetland, AnEventStartsTheMarshAtItsDepthAndBooksTheDifference) {
  // An initial depth of 0.2 m on every cell: the event keeps it on the
  // plain and starts the marsh at its 80 mm, taking 0.12 m off its 8 cells.
  copy_example("wetland");
  std::string depths = "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n";
  for (int row = 1; row <= 6; ++row) depths += "0.2 0.2 0.2 0.2 0.2 0.2 0.2 0.2\n";
  write_file("start.dep", depths);
  set_card("wetland.prj", "OV_INIT_DEPTH", "OV_INIT_DEPTH start.dep");
  const storm_run r = run_storm("wetland.prj", {}, 1);
  ASSERT_NE(r.ms, nullptr);
  const model_state& ms = *r.ms;
  EXPECT_NEAR(ms.ledger.run_total(water_flux::wetland_refill), -0.12 * marsh_cells * cell_area, 1e-9);
  EXPECT_NEAR(ms.ledger.storage(water_store::surface, ledger_moment::run_start), 48 * cell_area * 0.2, 1e-9);
  EXPECT_NEAR(ms.ledger.storage(water_store::surface, ledger_moment::event_start),
              40 * cell_area * 0.2 + marsh_cells * cell_area * 0.08, 1e-9);
  // The whole run closes with it.
  const storm_run whole = run_storm("wetland.prj");
  ASSERT_TRUE(whole.ended) << whole.console.substr(0, 2000);
  EXPECT_LT(std::fabs(whole.ms->ledger.run().overall_error), 1e-9);
}

}  // namespace
}  // namespace nivra::testing
