// The long-term examples of the three ways the soil keeps its water between
// storms (examples/longterm_accounting, longterm_richards, longterm_lumped):
// each runs its week of weather and three storms, and its run summary
// closes, to the printed precision: rain + the water stored at the start =
// discharge + evapotranspiration + the water stored at the end + what left
// below the soil.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "core/process.h"
#include "run/driver.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "run/run_test_support.h"
#include "run/water_books.h"
#include "soil/soil_state.h"
#include "surface/overland_state.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::copy_example;
using testing::read_file;

class LongTermSoils : public testing::process_test {};

using testing::value_after;

TEST_F(LongTermSoils, EveryOptionClosesItsBalanceInTheRunSummary) {
  const struct {
    const char* example;
    const char* project;
    const char* soil_label;   // how the summary names the soil
    const char* deep_label;   // what left below the soil
    double runoff_share;      // of each storm's rain, at least
  } cases[] = {
      {"longterm_accounting", "accounting", "volume in soil over simple soil depth",
       "Total downward flux from unsaturated zone=", 0.02},
      {"longterm_richards", "richards", "volume in soils=", "Total downward flux from unsaturated zone=", 0.0},
      {"longterm_lumped", "sacramento", "volume in soils=", "Total recharge to deep g.w.=", 0.02},
      {"longterm_lumped", "conceptual", "volume in soils=", "Total recharge to deep g.w.=", 0.02},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.project);
    reset_process_state();
    copy_example(k.example);
    CaptureStdout();
    run_simulation(std::string(k.project) + ".prj", nullptr, "");
    const std::string console = GetCapturedStdout();
    ASSERT_EQ(process.error_block.stop, 0) << console;
    const std::string sum = read_file(std::string(k.project) + ".sum");
    auto v = [&](const std::string& label) { return value_after(sum, label); };
    const double rain = v("Total amount of precip=");
    const double initial = v("Initial volume on surface=") + v("Initial volume in channels=") +
                           v(std::string("Initial ") + k.soil_label) + v("Initial volume in groundwater=");
    const double final = v("Final volume on surface=") + v("Final volume in channels=") +
                         v(std::string("Final ") + k.soil_label) + v("Final volume in groundwater=");
    const double out = v("Total amount of discharge=") + v("Total amount of evaporation=") + v(k.deep_label);
    const double made = value_after(sum, "Total made consistent in the soil columns=", false);
    // Nine printed values of two decimals each.
    EXPECT_NEAR(rain + initial + made, out + final, 9 * 0.005);
    EXPECT_NEAR(v("Overall mass balance error ="), 0.0, 1e-5);
    // The accounting layer under a lumped model gives the model its
    // evapotranspiration: its own balance leaves the model's baseflow out
    // and closes as the others do.
    if (sum.find("Simple soil moisture mass balance =") != std::string::npos)
      EXPECT_NEAR(v("Simple soil moisture mass balance ="), 0.0, 1e-5);
    // The three storms reached the outlet (with the evapotranspiration of a
    // summer week drying the soil between them, the accounting's loams run
    // off a few percent of each storm), or, under the Richards columns,
    // soaked in (sandy and silt loams of 6 to 20 mm/h take nearly all of
    // storms of 5 to 20 mm/h, a little running off where the silt loam
    // ponds); and the soil held water between them.
    std::size_t at = 0;
    for (int event = 1; event <= 3; ++event) {
      at = sum.find("volume of rainfall to overland:", at);
      ASSERT_NE(at, std::string::npos) << "event " << event;
      const std::string rest = sum.substr(at);
      const double rain = value_after(rest, "volume of rainfall to overland:");
      EXPECT_GE(value_after(rest, "volume of discharge:"), k.runoff_share * rain) << "event " << event;
      EXPECT_GT(value_after(rest, "volume of infiltrated water:"), (k.runoff_share > 0.0 ? 0.0 : 0.98) * rain)
          << "event " << event;
      ++at;
    }
    EXPECT_GT(final - v("Final volume on surface=") - v("Final volume in channels="), 0.0);
  }
}

// The lumped models' baseflow enters the channel nodes as lateral inflow;
// the floodplain exchange of OVERBANK_FLOW, which takes back a spill that
// stopped, keeps it: the channels carry what they carry without the card,
// and the run's and the surface's balances close.
TEST_F(LongTermSoils, TheLumpedBaseflowReachesTheOutletWithTheFloodplainExchange) {
  for (const char* project : {"sacramento", "conceptual"}) {
    SCOPED_TRACE(project);
    double discharge[2] = {};
    for (int overbank = 0; overbank < 2; ++overbank) {
      const std::string console = testing::run_example_with_card(
          "longterm_lumped", project, "OVERBANK_FLOW", overbank ? "OVERBANK_FLOW" : "# no overbank flow");
      ASSERT_EQ(process.error_block.stop, 0) << console;
      const std::string sum = read_file(std::string(project) + ".sum");
      discharge[overbank] = value_after(sum, "volume of discharge:");
      EXPECT_NEAR(value_after(sum, "Overall mass balance error ="), 0.0, 1e-5);
      EXPECT_NEAR(value_after(sum, "Mass balance error of surface components =", false), 0.0, 1e-5);
    }
    EXPECT_GT(discharge[0], 100.0);
    EXPECT_NEAR(discharge[1], discharge[0], 0.01 * discharge[0]);
  }
}

// Frozen soil under Richards columns: a summer week keeps every node
// thawed (its factor stays 1), so the run with GTFSM is the run without it,
// to the bit, and its balance closes.
TEST_F(LongTermSoils, FrozenSoilOverRichardsColumnsInASummerWeekChangesNothing) {
  std::string sums[2];
  for (int frozen = 0; frozen < 2; ++frozen) {
    const std::string console =
        testing::run_example_with_card("longterm_richards", "richards", "GTFSM", frozen ? "GTFSM" : "# thawed");
    ASSERT_EQ(process.error_block.stop, 0) << console;
    sums[frozen] = read_file("richards.sum");
    EXPECT_NEAR(value_after(sums[frozen], "Overall mass balance error ="), 0.0, 1e-5);
  }
  for (const char* label : {"Total amount of discharge=", "Total amount of evaporation=", "Final volume in soils="})
    EXPECT_EQ(value_after(sums[1], label), value_after(sums[0], label)) << label;
}

// Frozen ground under Richards columns in the snow example
// (examples/snow/snow_richards.prj), frozen two ways: frozen soil (GTFSM)
// cuts the columns' conductivity in the cold weeks, and the frozen-ground
// index, which those weeks raise to about 100 degree-days, keeps the water
// out of every column under the default threshold (CFGI_INDEX 83; the
// example's 150 lets it in). Either way the melt of the thaw runs off,
// where the thawed columns take most of it in; the rain of the late storms,
// on thawed ground, soaks in either way. Every run's books and every
// event's Richards balance line close.
TEST_F(LongTermSoils, FrozenRichardsColumnsShedTheMeltOfTheThaw) {
  const struct {
    const char* name;
    const char* gtfsm;
    const char* cfgi_index;
  } runs[] = {{"thawed", "# thawed", "CFGI_INDEX 150.0"},
              {"frozen soil", "GTFSM", "CFGI_INDEX 150.0"},
              {"frozen past the index", "# thawed", "CFGI_INDEX 83.0"}};
  double infiltration[3] = {}, discharge[3] = {};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(runs[k].name);
    reset_process_state();
    copy_example("snow");
    testing::set_card("snow_richards.prj", "GTFSM", runs[k].gtfsm);
    testing::set_card("snow_richards.prj", "CFGI_INDEX", runs[k].cfgi_index);
    CaptureStdout();
    run_simulation("snow_richards.prj", nullptr, "");
    const std::string console = GetCapturedStdout();
    ASSERT_EQ(process.error_block.stop, 0) << console;
    const std::string sum = read_file("snow_richards.sum");
    EXPECT_NEAR(value_after(sum, "Overall mass balance error ="), 0.0, 1e-5);
    EXPECT_EQ(testing::expect_small_errors(sum, {"Richard equation mass balance error"}, 0.1), 4);
    infiltration[k] = value_after(sum, "Total amount of infiltration=");
    discharge[k] = value_after(sum, "Total amount of discharge=");
    // The slope's 30 cells take 38 mm of snow and 26 mm of rain.
    EXPECT_NEAR(value_after(sum, "Total amount of precip="), 30 * 900.0 * 0.064, 1e-6);
  }
  EXPECT_GT(infiltration[0], 0.6 * 30 * 900.0 * 0.064);
  for (int k = 1; k < 3; ++k) {
    SCOPED_TRACE(runs[k].name);
    // The rain in, no more than a tenth of the melt with it.
    EXPECT_GT(infiltration[k], 0.95 * 30 * 900.0 * 0.026);
    EXPECT_LT(infiltration[k], 30 * 900.0 * (0.026 + 0.1 * 0.038));
    EXPECT_GT(discharge[k], discharge[0] + 0.8 * (infiltration[0] - infiltration[k]));
  }
}

// A water table held where its map puts it under the Richards hillside
// (examples/static_table): every column ends at the table all week (the
// table does not move), what drains into it leaves the model, and the run
// summary closes.
TEST_F(LongTermSoils, RichardsColumnsOverAStaticTableEndAtItAndCloseTheirBalance) {
  copy_example("static_table");
  const testing::storm_run r = testing::run_storm("static_table.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const soil_state& s = ms.soil;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    double above = 0.0;
    for (int j = 1; j <= s.numcells[c] - 1; ++j) above += s.DZ(c, j);
    EXPECT_NEAR(above, (ms.grid.elevation[c] - ms.groundwater.elevgw[c]) * 100.0, 1e-6) << "cell " << c;
  }
  const std::string sum = read_file("static_table.sum");
  auto v = [&](const std::string& label) { return value_after(sum, label); };
  const double in = v("Total amount of precip=") + v("Initial volume in soils=") +
                    value_after(sum, "Total made consistent in the soil columns=", false);
  const double out = v("Total amount of discharge=") + v("Total amount of evaporation=") +
                     v("Total downward flux from unsaturated zone=") + v("Final volume on surface=") +
                     v("Final volume in soils=");
  EXPECT_NEAR(in, out, 7 * 0.005);
  EXPECT_NEAR(v("Overall mass balance error ="), 0.0, 1e-5);
  // The table took water from the storms' infiltration.
  EXPECT_GT(v("Total downward flux from unsaturated zone="), 100.0);
}

// The Richards columns keep their water: over the static table of
// examples/static_table and over the moving table of the groundwater
// example (richards.prj), at the run's TIMESTEP and at half of it, the
// water made holding heads and contents consistent stays under 0.5 % of
// the infiltration, every event's Richards balance line (the columns'
// water against every term they exchange, the saturated zone's included)
// closes to 0.1 %, and the soil water at the events' ends agrees between
// the two steps to 1 %. (The groundwater run ends while the last storm
// lifts the lowest tables to the ground, which hands whole columns to the
// aquifer: its last event is left out of the comparison.)
TEST_F(LongTermSoils, RichardsColumnsKeepTheirWaterAsTheStepHalves) {
  const struct {
    const char* example;
    const char* project;
    int compared;  // events whose end the two steps compare
  } cases[] = {{"static_table", "static_table", 3}, {"groundwater", "richards", 2}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.project);
    std::vector<double> soil[2];
    for (int half = 0; half < 2; ++half) {
      SCOPED_TRACE(half ? "half the step" : "the step");
      reset_process_state();
      copy_example(k.example);
      const std::string project = std::string(k.project) + ".prj";
      testing::set_card(project, "TIMESTEP", half ? "TIMESTEP 15.0" : "TIMESTEP 30.0");
      CaptureStdout();
      run_simulation(project, nullptr, "");
      const std::string console = GetCapturedStdout();
      ASSERT_EQ(process.error_block.stop, 0) << console;
      const std::string sum = read_file(std::string(k.project) + ".sum");
      const double made = value_after(sum, "Total made consistent in the soil columns=");
      const double infiltration = value_after(sum, "Total amount of infiltration=");
      EXPECT_GT(infiltration, 1000.0);
      EXPECT_LT(std::fabs(made), 0.005 * infiltration);
      EXPECT_EQ(testing::expect_small_errors(sum, {"Richard equation mass balance error"}, 0.1), 3);
      const std::string label = "Final volume in soils (cu. m.):";
      for (std::size_t at = sum.find(label); at != std::string::npos; at = sum.find(label, at + 1))
        soil[half].push_back(value_after(sum.substr(at), label));
    }
    ASSERT_EQ(soil[0].size(), 3u);
    ASSERT_EQ(soil[1].size(), 3u);
    for (int e = 0; e < k.compared; ++e) EXPECT_NEAR(soil[1][e], soil[0][e], 0.01 * soil[0][e]) << "event " << e + 1;
  }
}

// Layered soils over a water table held where its map puts it, in a
// long-term run (the layered groundwater example without the aquifer): 5 cm
// of water stand on every cell at the run's start; what of it the day and a
// half of weather before the first storm leaves is still there when the
// storm starts (the soil-moisture accounting keeps the surface between
// storms), and the run summary, with the streams fed from the table,
// closes.
TEST_F(LongTermSoils, ALayeredRunOverAStaticTableKeepsItsPondedWaterAtAStormsStart) {
  copy_example("groundwater");
  for (const char* card : {"GW_SIMULATION", "GW_BOUNDFILE", "GW_UNIF_HYCOND", "GW_UNIF_POROSITY", "GW_TIMESTEP",
                           "GW_LSOR_CON", "USE_WELLS", "AQUIFER_BOTTOM"})
    testing::set_card("layered.prj", card, "");
  testing::set_card("layered.prj", "STREAM_LOSS", "STREAM_LOSS");
  const testing::storm_run r = testing::run_storm("layered.prj", [](model_state& ms) {
    for (int c = 1; c <= ms.grid.ncells; ++c) ms.overland.ov_depth[c] = 0.05;
    book_storages(ms, ledger_moment::run_start);
  });
  ASSERT_TRUE(r.ended) << r.console;
  const std::string sum = read_file("layered.sum");
  EXPECT_NEAR(value_after(sum, "Initial volume on surface="), 77 * 900.0 * 0.05, 0.005);
  EXPECT_GT(value_after(sum, "initial volume of overland flow:"), 0.5 * 77 * 900.0 * 0.05);
  EXPECT_NEAR(value_after(sum, "Overall mass balance error ="), 0.0, 1e-5);
  EXPECT_GT(value_after(sum, "Total flux from gw to river="), 100.0);
}

TEST_F(LongTermSoils, ProjectsTheSoilsCannotRunStopNamingTheirCards) {
  const struct {
    const char* example;
    const char* project;
    const char* card;     // the card line replaced (or added)
    const char* line;
    const char* message;
  } cases[] = {
      {"longterm_richards", "richards", "RICHARDS_C_OPTION", "# no retention curve",
       "Richards infiltration (INF_RICHARDS) needs the RICHARDS_C_OPTION card"},
      {"longterm_lumped", "sacramento", "CONCEPTUAL_GW", "CONCEPTUAL_GW hillside.cgw",
       "the SACRAMENTO and CONCEPTUAL_GW cards each name a model"},
      {"longterm_lumped", "conceptual", "CHAN_EXPLIC", "# no channels",
       "Error: the CONCEPTUAL_GW card on line 39 of the project file acts only with explicit channel routing "
       "(CHAN_EXPLIC): its model returns its water to the channels."},
      {"longterm_lumped", "sacramento", "SACRAMENTO", "SACRAMENTO no_such.sac",
       "Cannot open Sacramento input parameter file: no_such.sac"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.message);
    const std::string console = testing::run_example_with_card(k.example, k.project, k.card, k.line);
    EXPECT_NE(process.error_block.stop, 0);
    EXPECT_NE(console.find(k.message), std::string::npos) << console;
  }
}

}  // namespace
}  // namespace nivra
