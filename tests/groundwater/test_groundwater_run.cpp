// The groundwater example (examples/groundwater): a week of weather and
// three storms over an aquifer with a pumped well, a held head and a
// channel that the water table feeds, under soil-moisture accounting (of
// one soil, and of layered soils) and under Richards columns that reach
// down to the table, and one storm on
// Green-Ampt soil whose infiltration goes straight to the table. The starting heads come
// from the water-table and aquifer-bottom maps, and the groundwater and
// overall balances of each run summary close to its printed digits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "channel/channel_sections.h"
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/process.h"
#include "core/time_series.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/groundwater_step.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "run/water_books.h"
#include "soil/soil_state.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::copy_example;
using testing::read_file;

using testing::value_after;

class GroundwaterRun : public testing::process_test {};

TEST_F(GroundwaterRun, TheExampleClosesItsGroundwaterAndOverallBalances) {
  for (const char* project : {"groundwater", "richards", "storm", "layered"}) {
    SCOPED_TRACE(project);
    reset_process_state();
    copy_example("groundwater");
    CaptureStdout();
    run_simulation(std::string(project) + ".prj", nullptr, "");
    const std::string console = GetCapturedStdout();
    ASSERT_EQ(process.error_block.stop, 0) << console;
    const std::string sum = read_file(std::string(project) + ".sum");
    auto v = [&](const std::string& label) { return value_after(sum, label); };

    // 77 cells of 900 m2, specific yield 0.25, 15 m of aquifer under the
    // ground and the table 0.3 m under it on the southern row, 0.4 m deeper
    // on every row further north (8, 9 and six times 10 cells).
    // Under Richards columns the storage coefficient below the second
    // layer is the saturated water content of the soils' third layer: 0.44
    // for the sandy loam, 0.48 for the silt loam (5 cells of rows 4 to 6, 6
    // of rows 7 and 8).
    const bool richards = std::string(project) == "richards";
    double held = 0.0;
    const int cells[] = {8, 9, 10, 10, 10, 10, 10, 10}, silt[] = {0, 0, 0, 5, 5, 5, 6, 6};
    for (int r = 0; r < 8; ++r) {
      const double thick = 15.0 - 0.3 - (7 - r) * 0.4;
      held += richards ? thick * ((cells[r] - silt[r]) * 0.44 + silt[r] * 0.48) : thick * cells[r] * 0.25;
    }
    // Under the accounting layer (40 cm) the table of the southern row
    // stands 30 cm under the ground: the lowest 10 cm of the layer, at the
    // initial water content of the row's soils (4 cells of 0.26, 6 of
    // 0.32), join the aquifer at the start. A layered soil's accounting
    // layer starts at the table.
    const double submerged = std::string(project) == "groundwater" ? 0.10 * (4 * 0.26 + 6 * 0.32) * 900.0 : 0.0;
    // Under Richards columns the table of the southern row stands in the
    // second layer (10 to 40 cm under the ground), whose pores (0.453 for
    // the sandy loam, 0.501 for the silt loam) the aquifer fills down to
    // 40 cm.
    // Under the accounting layer the table fills the soil's pores (0.453 and
    // 0.501) within the layer, here those lowest 10 cm.
    // Under layered soils the table fills the pores of the layer it stands
    // in: the southern row's lies in the second layer (10 to 40 cm under the
    // ground; porosity 0.43 for class 1, 0.46 for class 2), those lowest
    // 10 cm of it above the aquifer's 0.25.
    const std::string name = project;
    const double second_layer = richards                ? 0.10 * (4 * (0.453 - 0.44) + 6 * (0.501 - 0.48)) * 900.0
                                : name == "groundwater" ? 0.10 * (4 * (0.453 - 0.25) + 6 * (0.501 - 0.25)) * 900.0
                                : name == "layered"     ? 0.10 * (4 * (0.43 - 0.25) + 6 * (0.46 - 0.25)) * 900.0
                                                        : 0.0;
    EXPECT_NEAR(v("GW volume start ="), held * 900.0 + submerged + second_layer, 0.005);

    // The aquifer: its storage changes by its inputs, the flux across the
    // held heads and the water added at its floor.
    const double gw_change = v("GW volume end =") - v("GW volume start =");
    EXPECT_NEAR(gw_change, v("Total inputs to groundwater=") + v("Flux across head boundaries=") +
                               v("Added at the aquifer floor"),
                4 * 0.005);
    EXPECT_NEAR(v("Total inputs to groundwater="),
                v("Recharge to groundwater =") + v("Sat/unsat. volume (into gw) =") - v("Pumping  ") -
                    v("Total flux from gw to river=") + v("Total flux from river to gw=") -
                    v("Exfiltration back on overland ="),
                7 * 0.005);
    // The whole run: rain and the held heads against the outlet, the
    // evapotranspiration, the well and what waits to reach the table.
    const double initial = v("Initial volume on surface=") + v("Initial volume in channels=") +
                           v("Initial volume in soils=") + v("Initial volume in groundwater=");
    const double final = v("Final volume on surface=") + v("Final volume in channels=") +
                         v("Final volume in soils=") + v("Final volume in groundwater=");
    const double out = v("Total amount of discharge=") + v("Total amount of evaporation=") +
                       v("Total pumping from groundwater=") + v("Total downward flux from unsaturated zone=") -
                       v("Total recharge inputs to groundwater=");
    const double made = value_after(sum, "Total made consistent in the soil columns=", false);
    EXPECT_NEAR(v("Total amount of precip=") + v("Total flux of gw across bounds=") + made + initial, out + final,
                13 * 0.005);
    EXPECT_NEAR(v("Overall mass balance error ="), 0.0, 1e-5);
    EXPECT_NEAR(v("Mass Balance error ="), 0.0, 0.005);
    // The table fed the channel, the well pumped and water reached the table.
    EXPECT_GT(v("Total flux from gw to river="), 100.0);
    EXPECT_GT(v("Total pumping from groundwater="), 0.0);
    EXPECT_GT(std::fabs(v("Recharge to groundwater =")), 100.0);
  }
}

// The accounting layer's own balance ("Simple soil moisture mass balance")
// counts every term that crosses the layer: the infiltration in, the
// evapotranspiration and the drainage out, and the water of the depths the
// moving water table took from the layer or gave back to it. On the
// example the table rises into the layer of the southern row, and the
// layer's water at the end is its water at the start plus those terms.
TEST_F(GroundwaterRun, TheAccountingLayerBalanceClosesOverTheTableItsWaterMeets) {
  for (const char* project : {"groundwater", "layered"}) {
    SCOPED_TRACE(project);
    reset_process_state();
    copy_example("groundwater");
    testing::storm_run r = testing::run_storm(std::string(project) + ".prj");
    ASSERT_TRUE(r.ended) << r.console;
    const water_ledger& l = r.ms->ledger;
    using f = water_flux;
    const double start = l.storage(water_store::soil_layer, ledger_moment::run_start);
    const double end = l.storage(water_store::soil_layer, ledger_moment::run_end);
    const double terms = l.run_total(f::infiltration) - l.run_total(f::soil_evaporation) -
                         l.run_total(f::unsaturated_down_flux) - l.run_total(f::soil_layer_to_groundwater);
    EXPECT_NEAR(end - start, terms, 1e-6 * (start + l.run_total(f::infiltration)));
    EXPECT_NEAR(l.run().soil_layer_error, 0.0, 1e-6);
    // The table crossed the layer's bottom: the term is no rounding.
    EXPECT_GT(std::fabs(l.run_total(f::soil_layer_to_groundwater)), 10.0);
    const std::string sum = read_file(std::string(project) + ".sum");
    EXPECT_NEAR(value_after(sum, "Simple soil moisture mass balance ="), 0.0, 1e-6);
  }
}

TEST_F(GroundwaterRun, TheGroundwaterStepIsAWholeNumberOfModelSteps) {
  const struct {
    double card, model_dt, step;
  } cases[] = {{1.0, 30.0, 30.0}, {600.0, 30.0, 600.0}, {45.0, 30.0, 60.0}, {40.0, 30.0, 30.0}, {10.0, 10.0, 10.0}};
  for (const auto& c : cases) EXPECT_EQ(aligned_groundwater_step(c.card, c.model_dt), c.step) << c.card;

  // With the default GW_TIMESTEP of 1 s under 30 s model steps the aquifer
  // still steps with the model: the well pumps 0.5 l/s through the storm's
  // eight hours.
  copy_example("groundwater");
  testing::set_card("storm.prj", "GW_TIMESTEP", "");
  CaptureStdout();
  run_simulation("storm.prj", nullptr, "");
  const std::string console = GetCapturedStdout();
  ASSERT_EQ(process.error_block.stop, 0) << console;
  const double pumped = value_after(read_file("storm.sum"), "Total pumping from groundwater=");
  EXPECT_NEAR(pumped, 0.0005 * 8 * 3600, 0.005);
}

TEST_F(GroundwaterRun, ARunEndingBetweenGroundwaterStepsSolvesItsLastPart) {
  // The storm's eight hours under a groundwater step of 55 minutes: eight
  // solves leave 40 minutes, which the end of the run solves. The well
  // pumps 0.5 l/s for the whole run, 14.4 m3, every drop of the pending
  // recharge has reached the table, and the heads stand where those of
  // 10-minute steps do.
  auto run_with_step = [](const char* seconds) {
    reset_process_state();
    copy_example("groundwater");
    testing::set_card("storm.prj", "GW_TIMESTEP", std::string("GW_TIMESTEP      ") + seconds);
    testing::storm_run r = testing::run_storm("storm.prj");
    EXPECT_TRUE(r.ended) << r.console.substr(0, 2000);
    return r;
  };
  const testing::storm_run fine = run_with_step("600");
  const testing::storm_run coarse = run_with_step("3300");
  ASSERT_TRUE(fine.ended && coarse.ended);
  for (const testing::storm_run* r : {&fine, &coarse}) {
    const model_state& ms = *r->ms;
    EXPECT_NEAR(ms.ledger.run_total(water_flux::groundwater_pumping), 0.0005 * 8.0 * 3600.0, 1e-9);
    EXPECT_NEAR(ms.clock.gw_last_time, ms.clock.model_time, ms.clock.time_tol);
    for (int c = 1; c <= ms.grid.ncells; ++c) EXPECT_EQ(ms.groundwater.gw_recharge[c], 0.0) << "cell " << c;
    EXPECT_LT(std::fabs(ms.ledger.run().groundwater_residual),
              1e-6 * std::fabs(ms.ledger.run_total(water_flux::groundwater_inputs)));
  }
  double most = 0.0;
  for (int c = 1; c <= fine.ms->grid.ncells; ++c)
    most = std::max(most, std::fabs(coarse.ms->groundwater.elevgw[c] - fine.ms->groundwater.elevgw[c]));
  // Without the last solve the coarse run's heads would stand 40 minutes
  // of the storm's drainage behind, 25 mm off.
  EXPECT_LT(most, 0.002);
}

TEST_F(GroundwaterRun, WellsGiveTheirRateOverTheCellArea) {
  auto ms = std::make_unique<model_state>();
  ms->grid.ncells = 4;
  ms->grid.grid_size = 100.0;
  groundwater_state& g = ms->groundwater;
  for (auto* a : {&g.gw_well_flux, &g.gw_static_flux}) a->alloc(4);
  g.gw_static_flux[4] = 7e-6;
  // Without the WELL_TABLE the static fluxes are the wells.
  fill_well_flux(*ms);
  EXPECT_EQ(g.gw_well_flux[4], 7e-6);
  // A constant well of 1 m3/s and a well following a series from 0.1 to
  // 0.3 m3/s over a day, half way through it.
  time_series* ts = ts_new();
  ts->times = {10.0, 11.0};
  ts->values = {0.1, 0.3};
  ts->count = 2;
  ts_add_index(5, ts);
  g.use_wells_on = 1;
  g.gw_well_flux.fill(0.0);
  g.well_list = {well_entry{2, 0, 1.0, 0}, well_entry{3, 1, 0.0, 5}};
  ms->clock.model_time = 10.5;
  fill_well_flux(*ms);
  EXPECT_DOUBLE_EQ(g.gw_well_flux[2], 1e-4);
  EXPECT_NEAR(g.gw_well_flux[3], 0.2 / 1e4, 1e-15);
  EXPECT_EQ(g.gw_well_flux[1], 0.0);
  EXPECT_EQ(g.gw_well_flux[4], 0.0);
}

TEST_F(GroundwaterRun, WithoutInfiltrationTheMapsStillGiveTheStartingHeads) {
  copy_example("groundwater");
  testing::set_card("storm.prj", "GREEN_AMPT", "");
  CaptureStdout();
  run_simulation("storm.prj", nullptr, "");
  const std::string console = GetCapturedStdout();
  ASSERT_EQ(process.error_block.stop, 0) << console;
  const std::string sum = read_file("storm.sum");
  double thickness = 0.0;
  const int cells[] = {8, 9, 10, 10, 10, 10, 10, 10};
  for (int r = 0; r < 8; ++r) thickness += cells[r] * (15.0 - 0.3 - (7 - r) * 0.4);
  EXPECT_NEAR(value_after(sum, "GW volume start ="), thickness * 0.25 * 900.0, 0.005);
  EXPECT_GT(value_after(sum, "Total flux from gw to river="), 10.0);
  EXPECT_NEAR(value_after(sum, "Overall mass balance error ="), 0.0, 1e-5);
}

// Layered soils over the aquifer (layered.prj): the accounting layer is the
// soil classes' first two layers (40 cm), ending at the table where that
// stands higher (30 cm under the southern row), and after the week it
// still ends at the table wherever the table has moved to.
TEST_F(GroundwaterRun, TheLayeredAccountingLayerEndsAtTheMovingTable) {
  copy_example("groundwater");
  auto depth_to_table = [](const model_state& ms, int c) {
    return std::clamp((ms.grid.elevation[c] - ms.groundwater.elevgw[c]) * 100.0, 0.0, 40.0);
  };
  const testing::storm_run r = testing::run_storm("layered.prj", [&](model_state& ms) {
    for (int c = 1; c <= ms.grid.ncells; ++c)
      EXPECT_NEAR(ms.soil.sm_depth[c], c > ms.grid.ncells - 10 ? 30.0 : 40.0, 1e-9) << "cell " << c;
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  int moved = 0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (aquifer_cell::head_constant(ms.groundwater.gwbound[c])) continue;
    EXPECT_NEAR(ms.soil.sm_depth[c], depth_to_table(ms, c), 1e-9) << "cell " << c;
    if (ms.soil.sm_depth[c] != (c > ms.grid.ncells - 10 ? 30.0 : 40.0)) ++moved;
  }
  EXPECT_GT(moved, 0);
  // The first hour's mean water contents of the top and bottom zones
  // (evap_out), each cell's top zone its class's first layer (10 cm): the
  // initial contents of layers 1 and 2 of the 50 cells of class 1 (0.22,
  // 0.26) and the 27 of class 2 (0.28, 0.31).
  const std::string hours = read_file("evap_out");
  const std::size_t first = hours.find('\n') + 1;
  const std::string line = hours.substr(first, hours.find('\n', first) - first);
  std::istringstream words(line);
  std::vector<double> values;
  std::string word;
  while (words >> word) values.push_back(std::strtod(word.c_str(), nullptr));
  ASSERT_EQ(values.size(), 12u) << line;
  const double top = values[10], bottom = values[11];
  EXPECT_NEAR(top, (50 * 0.22 + 27 * 0.28) / 77.0, 1e-6) << line;
  EXPECT_NEAR(bottom, (50 * 0.26 + 27 * 0.31) / 77.0, 1e-6) << line;
}

// Without saturated groundwater the water-table map is held where it is:
// the channel along the southern row, on a table 0.3 m under the ground,
// takes water through its bed (STREAM_LOSS) from it, on Green-Ampt soil and
// without infiltration, and the run's balance, in which the table lies
// outside the model, closes.
TEST_F(GroundwaterRun, AStaticTableFeedsTheStreamsWithoutSaturatedGroundwater) {
  for (const bool soil : {true, false}) {
    SCOPED_TRACE(soil ? "Green-Ampt" : "no infiltration");
    reset_process_state();
    copy_example("groundwater");
    for (const char* card : {"GW_SIMULATION", "GW_BOUNDFILE", "GW_UNIF_HYCOND", "GW_UNIF_POROSITY", "GW_TIMESTEP",
                             "GW_LSOR_CON", "USE_WELLS", "AQUIFER_BOTTOM"})
      testing::set_card("storm.prj", card, "");
    testing::set_card("storm.prj", "STREAM_LOSS", "STREAM_LOSS");
    if (!soil) testing::set_card("storm.prj", "GREEN_AMPT", "");
    const testing::storm_run r = testing::run_storm("storm.prj");
    ASSERT_TRUE(r.ended) << r.console;
    const std::string sum = read_file("storm.sum");
    EXPECT_GT(value_after(sum, "Total flux from gw to river="), 10.0);
    EXPECT_NEAR(value_after(sum, "Overall mass balance error ="), 0.0, 1e-5);
    EXPECT_GT(r.ms->ledger.run_total(water_flux::groundwater_to_channels), 10.0);
    // The table did not move: the southern row still 0.3 m under the ground.
    const model_state& ms = *r.ms;
    EXPECT_NEAR(ms.groundwater.elevgw[ms.grid.ncells] - ms.grid.elevation[ms.grid.ncells], -0.3, 1e-9);
  }
}

// Between the accounting layer (40 cm) and the water table the soil of
// groundwater.prj holds SINGLE_UNSAT_SAT x the aquifer's storage
// coefficient (0.25). At the start that zone is (7 - r) x 0.4 - 0.1 m
// thick on row r from the north (none on the southern row): the soil's
// initial volume grows by its water. Through the week the zone follows the
// falling table, taking its water from the aquifer; the groundwater and
// overall balances still close, and the zone holds at the end what the
// final heads give it.
TEST_F(GroundwaterRun, TheUnsaturatedZoneBelowTheLayerHoldsItsShareOfThePorosity) {
  double start_soil[2] = {}, final_gw[2] = {};
  const double share[2] = {0.0, 0.6};
  for (int k = 0; k < 2; ++k) {
    reset_process_state();
    copy_example("groundwater");
    char line[64];
    std::snprintf(line, sizeof line, "SINGLE_UNSAT_SAT %g", share[k]);
    testing::set_card("groundwater.prj", "SINGLE_UNSAT_SAT", line);
    testing::storm_run r = testing::run_storm("groundwater.prj");
    ASSERT_TRUE(r.ended) << r.console;
    const model_state& ms = *r.ms;
    const water_ledger& l = ms.ledger;
    start_soil[k] = l.storage(water_store::soil, ledger_moment::run_start);
    final_gw[k] = l.storage(water_store::groundwater, ledger_moment::run_end);
    EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-6);
    EXPECT_NEAR(l.run().overall_error, 0.0, 1e-6);
    // The zone's water at the end, from the final heads.
    double zone = 0.0;
    for (int c = 1; c <= ms.grid.ncells; ++c)
      zone += std::max(ms.grid.elevation[c] - ms.groundwater.elevgw[c] - 0.4, 0.0) * 0.25 * share[k] * 900.0;
    EXPECT_NEAR(l.storage(water_store::soil, ledger_moment::run_end) -
                    l.storage(water_store::soil_layer, ledger_moment::run_end),
                zone, 1e-6);
  }
  const int cells[] = {8, 9, 10, 10, 10, 10, 10, 10};
  double thickness = 0.0;
  for (int r = 0; r < 7; ++r) thickness += cells[r] * ((7 - r) * 0.4 - 0.1);
  EXPECT_NEAR(thickness, 97.3, 1e-9);
  EXPECT_NEAR(start_soil[1] - start_soil[0], thickness * 0.25 * 0.6 * 900.0, 1e-6);
  // The depths the table drains keep part of their water: the same
  // outflows lower the table further.
  EXPECT_LT(final_gw[1], final_gw[0] - 100.0);
}

// Through the week of the long-term run the channel clock never falls
// behind the model's (it would never be due again): the channels step at
// least every minute, each storm's rain finds them stepping with the
// model, and the outlet volume and the stream-aquifer exchange go on
// through the dry spells. (How the slowed step keeps to the model's step
// grid: ChannelClock in tests/channel.)
TEST_F(GroundwaterRun, TheChannelClockKeepsSteppingThroughTheDrySpells) {
  copy_example("groundwater");
  int behind = 0, slowed_in_rain = 0;
  double longest = 0.0, last_outlet = 0.0, dry_outlet = 0.0;
  const testing::storm_run r = testing::run_storm("groundwater.prj", {}, 100000, [&](const model_state& ms) {
    const clock_state& c = ms.clock;
    if (c.chan_next_time < c.model_time - c.time_tol) ++behind;
    longest = std::max(longest, (c.model_time - c.chan_last_time) * 86400.0);
    if (c.rain_on && c.chan_dt != c.dt) ++slowed_in_rain;
    const double outlet = ms.ledger.run_total(water_flux::outlet_discharge);
    if (!c.rain_on && !c.event_active) dry_outlet += outlet - last_outlet;
    last_outlet = outlet;
  });
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_EQ(behind, 0);
  EXPECT_EQ(slowed_in_rain, 0);
  EXPECT_LE(longest, 60.0 + 1e-3);
  EXPECT_GT(dry_outlet, 0.0);
  const water_ledger& l = r.ms->ledger;
  EXPECT_GT(l.run_total(water_flux::groundwater_to_channels), 4000.0);
  EXPECT_NEAR(l.run().overall_error, 0.0, 1e-6);
  EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-6);
}

TEST_F(GroundwaterRun, SweepsThatDoNotConvergeStopTheRunNamingTheStep) {
  copy_example("groundwater");
  testing::set_card("storm.prj", "GW_LSOR_CON", "GW_LSOR_CON 1e-300");
  CaptureStdout();
  run_simulation("storm.prj", nullptr, "");
  const std::string console = GetCapturedStdout();
  EXPECT_NE(process.error_block.stop, 0);
  EXPECT_NE(console.find("Error: the line sweeps of the groundwater step ending at model time 2460477.0"),
            std::string::npos)
      << console;
}

TEST_F(GroundwaterRun, ProjectsTheAquiferCannotRunStopNamingTheCard) {
  const struct {
    const char* project;
    const char* card;
    const char* line;
    const char* message;
  } cases[] = {
      {"storm", "GW_RELAX_COEFF", "GW_RELAX_COEFF 2.0",
       "Error: the GW_RELAX_COEFF card holds 2; it takes a number above 0"},
      {"storm", "GW_RELAX_COEFF", "GW_RELAX_COEFF 0", "Error: the GW_RELAX_COEFF card holds 0; it takes a number above 0"},
      {"storm", "GW_RELAX_COEFF", "GW_RELAX_COEFF 2.5",
       "Error: the GW_RELAX_COEFF card holds 2.5; it takes a number above 0"},
      {"storm", "WATER_TABLE", "", "Error: the GW_SIMULATION card needs the WATER_TABLE card"},
      // An unconfined aquifer without a storage coefficient has no heads to solve for.
      {"storm", "GW_UNIF_POROSITY", "GW_UNIF_POROSITY 0",
       "Error: the GW_UNIF_POROSITY card holds 0; it takes a number above 0 and at most 1."},
      {"storm", "SINGLE_UNSAT_SAT", "SINGLE_UNSAT_SAT 0.5",
       "Error: the SINGLE_UNSAT_SAT card sets the water content of the unsaturated zone between the soil-moisture "
       "accounting layer and the water table, which only a run with GW_SIMULATION and INF_REDIST has."},
      {"richards", "SINGLE_UNSAT_SAT", "SINGLE_UNSAT_SAT 0.5", "Error: the SINGLE_UNSAT_SAT card sets"},
      {"richards", "GW_UNIF_POROSITY", "GW_UNIF_POROSITY 0.3",
       "Error: under Richards columns (INF_RICHARDS) the aquifer's storage coefficient is the saturated water content "
       "of the third layer of the soil table; the GW_UNIF_POROSITY card gives none"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.line);
    const std::string console = testing::run_example_with_card("groundwater", k.project, k.card, k.line);
    EXPECT_NE(process.error_block.stop, 0);
    EXPECT_NE(console.find(k.message), std::string::npos) << console;
  }
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The hillside of examples/groundwater through its week of weather and
// three storms, with a small deep leakage and stream beds conducting a
// tenth as much (the streams, which drain the table between the storms
// too, leave it to rise): where the storms raise the
// table to the ground the cells exfiltrate through the soil onto the
// surface, and the water ponded over a table at the ground seeps back down
// as the table falls (under the Richards columns some steps see more seep
// down than rise; under the redistribution the ponded water goes back
// through the soil once the table has fallen below the ground). The
// overall, soil and aquifer balances close. Where the table reaches the
// ground between events the infiltration clock is due at the next model
// step.
TEST_F(GroundwaterRun, ATableAtTheGroundExfiltratesAndThePondedWaterSeepsBack) {
  const struct {
    const char* project;
    const char* leakage;
    bool net_down;  // some step sees more water seep down than rise
  } cases[] = {{"groundwater", "GW_LEAKAGE_RATE 0.1", false}, {"richards", "GW_LEAKAGE_RATE 0.036", true}};
  for (const auto& k : cases) {
    const char* project = k.project;
    SCOPED_TRACE(project);
    reset_process_state();
    copy_example("groundwater");
    const std::string file = std::string(project) + ".prj";
    testing::set_card(file, "GW_TIMESTEP", std::string("GW_TIMESTEP 600\n") + k.leakage);
    testing::set_card(file, "K_RIVER", "K_RIVER 0.0036");
    double up = 0.0, down = 0.0, last = 0.0;
    int surfaced_between_events = 0, woken = 0;
    bool asleep = false;
    const testing::storm_run r = testing::run_storm(file, {}, 1000000, [&](const model_state& ms) {
      const double total = ms.ledger.run_total(water_flux::exfiltration);
      if (total > last) up += total - last;
      else down += last - total;
      last = total;
      // Groundwater that reaches the ground between events: the
      // infiltration clock is due at the next model step.
      if (asleep && ms.groundwater.any_exfil && !ms.clock.event_active) {
        ++surfaced_between_events;
        if (std::fabs(ms.clock.inf_next_time - (ms.clock.model_time + ms.clock.dt / 86400.0)) < 1e-9) ++woken;
      }
      asleep = !ms.overland.ov_water_at_start && !ms.clock.event_active;
    });
    ASSERT_TRUE(r.ended) << r.console;
    EXPECT_GT(up, 10.0);
    EXPECT_EQ(down > 0.0, k.net_down) << down;
    const water_ledger& l = r.ms->ledger;
    EXPECT_NEAR(l.run().overall_error, 0.0, 1e-6);      // percent
    EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-6);  // percent
    // The soil's own books: the water it held, took in and gave up.
    const balance_sums soil = l.run_balance_of({{water_compartment::soil}, {water_store::soil}});
    EXPECT_NEAR(soil.residual(), 0.0, 1e-6 * soil.initial);
    EXPECT_EQ(woken, surfaced_between_events);
    EXPECT_GE(surfaced_between_events, 1);
  }
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The hillside of examples/groundwater with its water table 3 m lower
// (2.5 m under the channel's bed: the stream loses) and 20 cm of water in
// the channel at the start, whose routing sleeps until the first storm.
// Through that dry spell the groundwater step gives the aquifer the water
// the bed lets through after every solve, over the time since the
// exchange was last applied, from the depths it left: per node K_RIVER /
// M_RIVER x bed width (3 m) x 30 m x the depth of water, or, where the
// table has risen above the bed (the hillside's water gathers under the
// stream), the height of the water surface above the table. The channel
// loses most of its water before the storm, and the week's books close.
TEST_F(GroundwaterRun, ALosingStreamSeepsIntoTheAquiferWhileTheChannelsSleep) {
  copy_example("groundwater");
  {
    // The table 3 m under the ground.
    std::istringstream ele(read_file("hillside.ele"));
    std::string table, line;
    for (int row = 0; std::getline(ele, line); ++row) {
      if (row < 6) {
        table += line + "\n";
        continue;
      }
      std::istringstream values(line);
      for (double z; values >> z;) table += std::to_string(z > 0.0 ? z - 3.0 : z) + " ";
      table += "\n";
    }
    testing::write_file("hillside.wt", table);
  }
  const double water = 0.2, width = 3.0, dx = 30.0;
  const double rate = 0.036 / 3600.0 / 0.5;  // K_RIVER (m/h) / M_RIVER (m), 1/s
  double until = 0.0, booked = 0.0, dry_gain = 0.0, start_water = 0.0, worst = 0.0;
  int routed = 0, checked = 0;
  std::vector<double> depth;
  const testing::storm_run r = testing::run_storm(
      "groundwater.prj",
      [&](model_state& ms) {
        channel_state& ch = ms.channel;
        for (int k = 1; k <= ch.nx[1]; ++k) ch.area(k, 1) = water * width;
        ASSERT_TRUE(ex_section(ch, ch.area));
        book_storages(ms, ledger_moment::run_start);
        start_water = ms.ledger.storage(water_store::channels, ledger_moment::run_start);
        for (int k = 1; k <= ch.nx[1]; ++k) depth.push_back(ch.chan_depth(k, 1));
      },
      1000000,
      [&](const model_state& ms) {
        const channel_state& ch = ms.channel;
        const double now = ms.ledger.run_total(water_flux::channels_to_groundwater);
        const bool sleeping = ms.clock.event_index == 0 && !ms.clock.chan_flow_started && ch.chan_routed_steps == routed;
        if (sleeping && ch.aquifer_exchange_until != until && until > 0.0) {
          const double dt = std::round((ch.aquifer_exchange_until - until) * 86400.0 / ms.clock.dt) * ms.clock.dt;
          double hand = 0.0;
          for (int k = 1; k <= ch.nx[1]; ++k) {
            const double d = depth[static_cast<std::size_t>(k - 1)], bed = ch.bel(k, 1);
            const double table = ms.groundwater.elevgw[ch.gst_gnum[k][1]];
            const double head = table <= bed ? d : std::max(bed + d - table, 0.0);
            hand += std::min(rate * head * width * dx * dt, d * width * dx);
          }
          worst = std::max(worst, std::fabs(now - booked - hand) / hand);
          dry_gain += now - booked;
          ++checked;
        }
        until = ch.aquifer_exchange_until;
        booked = now;
        routed = ch.chan_routed_steps;
        for (int k = 1; k <= ch.nx[1]; ++k) depth[static_cast<std::size_t>(k - 1)] = ch.chan_depth(k, 1);
      });
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_GT(checked, 100);
  EXPECT_LT(worst, 1e-9);  // relative to the hand value
  // The channel held 10 x 18 m3 and gave most of it before the storm.
  EXPECT_NEAR(start_water, 10 * water * width * dx, 1e-9);
  EXPECT_GT(dry_gain, 0.5 * start_water);
  EXPECT_LT(dry_gain, start_water);
  const water_ledger& l = r.ms->ledger;
  EXPECT_NEAR(l.run().overall_error, 0.0, 1e-6);      // percent
  EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-6);  // percent
}

// The hillside's table stands above the channel's bed: with the channels'
// clock asleep from the start, the first groundwater step finds the
// stream gaining and starts the routing, which takes the table's water
// into the channel well before the first storm; the books close.
TEST_F(GroundwaterRun, ATableAboveTheBedWakesTheSleepingChannels) {
  copy_example("groundwater");
  double before_storm = 0.0;
  int started = 0;
  const testing::storm_run r = testing::run_storm(
      "groundwater.prj", [](model_state& ms) { ms.clock.chan_next_time = clock_parked; }, 1000000,
      [&](const model_state& ms) {
        if (ms.clock.event_index > 0) return;
        before_storm = ms.ledger.run_total(water_flux::groundwater_to_channels);
        started += ms.clock.chan_flow_started;
      });
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_GT(started, 100);
  EXPECT_GT(before_storm, 100.0);
  const water_ledger& l = r.ms->ledger;
  EXPECT_NEAR(l.run().overall_error, 0.0, 1e-6);      // percent
  EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-6);  // percent
}

// Under Richards columns a deep leakage of 1.5 cm/h draws the tables down
// some 6 m over the week, through the 20 cm nodes below the soil layers,
// several of them in a groundwater step of a day, which then goes in
// sub-steps at the node crossings, each column laid out again after its
// sub-step. A falling table drains the pores of the depths it leaves and
// the column's node over it stretches down with its water, so that the
// table's fall is the water the aquifer gave over its pores whatever the
// number of solves. Under groundwater steps of a day, a quarter, a
// sixteenth and a 64th of a day the heads of two steps a factor 4 apart
// agree within 10 cm at every time both solve (half a node below the
// layers, an eighth of the 80 cm a day's step moves the tables; were the
// drained depths given the water of their height above the table from the
// aquifer, the day and the quarter day would stand a median 2.3 m apart),
// and the finest two steps stand closer than any coarser pair; at
// model steps of 30 and 15 s the heads agree within 2 mm. Every run closes
// its books, and its tables end within their aquifer. The stream beds are
// sealed: the streams would take from the table as the last solve left it
// for a whole day, which is the coupling's own step, not the columns'.
TEST_F(GroundwaterRun, ATableFallingSeveralNodesInAStepFallsAsFarAtAShorterStep) {
  struct solves {
    std::vector<long> at;                    // seconds from the start
    std::vector<std::vector<double>> heads;  // at each
  };
  auto run = [](const char* gw_step, const char* model_step) {
    reset_process_state();
    copy_example("groundwater");
    testing::set_card("richards.prj", "GW_TIMESTEP", std::string("GW_TIMESTEP ") + gw_step + "\nGW_LEAKAGE_RATE 1.5");
    testing::set_card("richards.prj", "K_RIVER", "K_RIVER 0.0");
    testing::set_card("richards.prj", "TIMESTEP", std::string("TIMESTEP ") + model_step);
    solves s;
    double start = -1.0;
    const testing::storm_run r = testing::run_storm("richards.prj", {}, 1000000, [&](const model_state& ms) {
      if (start < 0.0) start = ms.clock.model_time - ms.clock.dt / 86400.0;
      if (std::fabs(ms.clock.gw_last_time - ms.clock.model_time) > 1e-9) return;
      const long at = std::lround((ms.clock.model_time - start) * 86400.0);
      if (!s.at.empty() && s.at.back() == at) return;
      s.at.push_back(at);
      s.heads.emplace_back(ms.groundwater.elevgw.data() + 1, ms.groundwater.elevgw.data() + ms.grid.ncells + 1);
    });
    EXPECT_TRUE(r.ended) << r.console;
    if (!r.ended) return s;
    const water_ledger& l = r.ms->ledger;
    EXPECT_NEAR(l.run().overall_error, 0.0, 1e-6);      // percent
    EXPECT_NEAR(l.run().groundwater_error, 0.0, 1e-6);  // percent
    const model_state& ms = *r.ms;
    // The table fell several metres over the week.
    EXPECT_LT(ms.groundwater.elevgw[1], ms.grid.elevation[1] - 5.0);
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      EXPECT_GE(ms.groundwater.elevgw[c], ms.groundwater.bottom_elev[c] + aquifer_floor - 1e-9) << c;
      EXPECT_LT(ms.groundwater.elevgw[c], ms.grid.elevation[c]) << c;
    }
    return s;
  };
  // The largest head difference, m, at the times both runs solve.
  auto apart = [](const solves& a, const solves& b) {
    double most = 0.0;
    int common = 0;
    for (std::size_t i = 0; i < a.at.size(); ++i)
      for (std::size_t j = 0; j < b.at.size(); ++j) {
        if (b.at[j] != a.at[i]) continue;
        ++common;
        for (std::size_t c = 0; c < a.heads[i].size(); ++c)
          most = std::max(most, std::fabs(a.heads[i][c] - b.heads[j][c]));
      }
    EXPECT_GT(common, 2);
    return most;
  };
  const char* steps[] = {"86400", "21600", "5400", "1350"};
  std::vector<solves> runs;
  for (const char* step : steps) {
    SCOPED_TRACE(step);
    runs.push_back(run(step, "30.0"));
  }
  std::vector<double> d;
  for (std::size_t k = 0; k + 1 < runs.size(); ++k) {
    SCOPED_TRACE(std::string(steps[k]) + " and " + steps[k + 1]);
    d.push_back(apart(runs[k], runs[k + 1]));
    EXPECT_LT(d.back(), 0.10);
  }
  for (std::size_t k = 0; k + 1 < d.size(); ++k) EXPECT_LT(d.back(), d[k]) << "pair " << k + 1;
  // The model steps do not solve at the same times (the first solve
  // comes a model step into the run): the run's end.
  SCOPED_TRACE("model steps of 30 and 15 s");
  const solves half = run("5400", "15.0");
  ASSERT_FALSE(half.heads.empty() || runs[2].heads.empty());
  for (std::size_t c = 0; c < half.heads.back().size(); ++c)
    EXPECT_NEAR(half.heads.back()[c], runs[2].heads.back()[c], 0.002) << "cell " << c + 1;
}

// The run of the example ends while its last storm lifts the tables to the
// ground. A table rising into the wet soil of its column takes the soil's
// water in as it rises, so its rise over a step is the room the soil's
// water leaves, however many sub-steps the step takes: the soil columns
// and the aquifer end on the same water at a model step of 60 s as at 30 s
// (within 0.1 %) and at 5 s (within 0.5 %). (Were the soil's water handed
// to the aquifer only at the next solve, a rising table would be given it
// again at every sub-step, and the soil would end 1.4 % apart between 60 s
// and 5 s.) Each run closes its books and every event's Richards line.
TEST_F(GroundwaterRun, TheExampleEndsOnTheSameSoilAndGroundwaterAtAShorterModelStep) {
  const char* steps[] = {"60.0", "30.0", "5.0"};
  double soil[3] = {}, aquifer[3] = {};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(steps[k]);
    reset_process_state();
    copy_example("groundwater");
    testing::set_card("richards.prj", "TIMESTEP", std::string("TIMESTEP ") + steps[k]);
    CaptureStdout();
    run_simulation("richards.prj", nullptr, "");
    const std::string console = GetCapturedStdout();
    ASSERT_EQ(process.error_block.stop, 0) << console;
    const std::string sum = read_file("richards.sum");
    soil[k] = value_after(sum, "Final volume in soils=");
    aquifer[k] = value_after(sum, "Final volume in groundwater=");
    EXPECT_NEAR(value_after(sum, "Overall mass balance error ="), 0.0, 1e-5);
    EXPECT_NEAR(value_after(sum, "Mass Balance error ="), 0.0, 0.005);
    for (std::size_t at = sum.find("Richard equation mass balance error"); at != std::string::npos;
         at = sum.find("Richard equation mass balance error", at + 1))
      EXPECT_LT(std::fabs(value_after(sum.substr(at), "Richard equation mass balance error")), 0.1);
  }
  EXPECT_NEAR(soil[0] / soil[1], 1.0, 1e-3);
  EXPECT_NEAR(aquifer[0] / aquifer[1], 1.0, 1e-3);
  EXPECT_NEAR(soil[0] / soil[2], 1.0, 5e-3);
  EXPECT_NEAR(aquifer[0] / aquifer[2], 1.0, 5e-3);
}

}  // namespace
}  // namespace nivra
