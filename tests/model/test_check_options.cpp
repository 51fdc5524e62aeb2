// Option consistency checks: each conflict gives its code, the first one
// found wins, warnings let the checks go on, and the schemes switch off what
// they do not use.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/check_options.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/run_parameters.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "support/test_support.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class CheckOptions : public testing::process_test {
 protected:
  // A record that passes every test: a uniform storm with rain on a grid.
  static std::unique_ptr<model_state> passing() {
    auto ms = make_model_state();
    ms->hydromet.precip_unif = 1;
    ms->hydromet.rain_intensity = 10.0;
    ms->hydromet.rain_duration = 30.0;
    ms->grid.proj_rows = 6;
    ms->grid.proj_cols = 8;
    ms->grid.grid_size = 30.0;
    ms->clock.tot_time = 60;
    ms->clock.ov_dt = 10.0;
    return ms;
  }
  // A long-term run with the cards the long-term tests need.
  static void long_term(model_state& ms) {
    ms.clock.long_term = 1;
    ms.hydromet.et_calc_deardorff = 1;
    ms.soil.inf_redist = 1;
    ms.hydromet.albedo_given = 1;
  }
  static void penman(model_state& ms) {
    long_term(ms);
    ms.hydromet.et_calc_deardorff = 0;
    ms.hydromet.et_calc_penman = 1;
    ms.hydromet.vheight_given = ms.hydromet.tcoeff_given = ms.hydromet.canopy_given = ms.hydromet.wilting_point_given = 1;
  }
  static void groundwater(model_state& ms) {
    ms.groundwater.gw_simulation = 1;
    ms.groundwater.gw_unif_porosity_given = 1;
    ms.groundwater.gw_unif_hycond_given = 1;
  }
  // Runs the checks with the console captured; returns the code left.
  static int check(model_state& ms, std::string* console = nullptr) {
    CaptureStdout();
    check_options(ms);
    std::string out = GetCapturedStdout();
    if (console) *console = out;
    return process.error_block.code;
  }
};

TEST_F(CheckOptions, EveryConflictGivesItsCode) {
  struct conflict {
    int code;
    const char* what;
    std::function<void(model_state&)> make;
  };
  const conflict table[] = {
      {6, "uniform and mapped roughness", [](model_state& m) { m.overland.manning_n_given = m.overland.roughness_given = 1; }},
      {7, "two evapotranspiration methods", [](model_state& m) { long_term(m); m.hydromet.et_calc_penman = 1; m.hydromet.vheight_given = m.hydromet.tcoeff_given = m.hydromet.canopy_given = m.hydromet.wilting_point_given = 1; }},
      {8, "surface airways and SAMSON", [](model_state& m) { m.hydromet.hmet_surfaways_given = m.hydromet.hmet_samson_given = 1; }},
      {8, "SAMSON and GUV", [](model_state& m) { m.hydromet.hmet_samson_given = m.hydromet.hmet_guv_given = 1; }},
      {9, "long-term without a method", [](model_state& m) { long_term(m); m.hydromet.et_calc_deardorff = 0; }},
      {10, "gage file and uniform rain", [](model_state& m) { m.hydromet.precip_file_given = 1; }},
      {11, "uniform rain without duration", [](model_state& m) { m.hydromet.rain_duration = 0.0; }},
      {11, "uniform rain without intensity", [](model_state& m) { m.hydromet.rain_intensity = 0.0; }},
      {20, "long-term with plain Green and Ampt", [](model_state& m) { long_term(m); m.soil.inf_redist = 0; m.soil.green_ampt = 1; }},
      {21, "long-term without albedo", [](model_state& m) { long_term(m); m.hydromet.albedo_given = 0; }},
      {22, "Penman without vegetation height", [](model_state& m) { penman(m); m.hydromet.vheight_given = 0; }},
      {23, "Penman without transmission coefficient", [](model_state& m) { penman(m); m.hydromet.tcoeff_given = 0; }},
      {24, "Penman without canopy resistance", [](model_state& m) { penman(m); m.hydromet.canopy_given = 0; }},
      {25, "Penman without wilting point", [](model_state& m) { penman(m); m.hydromet.wilting_point_given = 0; }},
      {26, "layered soil and Green and Ampt", [](model_state& m) { m.soil.inf_layered_soil = m.soil.green_ampt = 1; }},
      {27, "layered soil and redistribution", [](model_state& m) { m.soil.inf_layered_soil = m.soil.inf_redist = 1; }},
      {28, "layered soil and Richards", [](model_state& m) { m.soil.inf_layered_soil = m.soil.inf_richards = 1; }},
      {29, "Richards and Green and Ampt", [](model_state& m) { m.soil.inf_richards = m.soil.green_ampt = 1; }},
      {30, "Richards and redistribution", [](model_state& m) { m.soil.inf_richards = m.soil.inf_redist = 1; }},
      {32, "Richards with groundwater, no cell height", [](model_state& m) { m.soil.inf_richards = 1; groundwater(m); m.groundwater.aquifer_delta_z = -999.9; }},
      {33, "Green and Ampt and redistribution", [](model_state& m) { m.soil.green_ampt = m.soil.inf_redist = 1; }},
      {34, "drain and backwater start", [](model_state& m) { m.channel.chan_drain = m.channel.chan_init_backwater = 1; }},
      {35, "drain routing", [](model_state& m) { m.channel.chan_drain_routing = 1; }},
      {37, "explicit and mesh", [](model_state& m) { m.channel.chan_explic = m.channel.chan_mesh = 1; }},
      {38, "two groundwater porosities", [](model_state& m) { groundwater(m); m.groundwater.gw_porosity_map_given = 1; }},
      {40, "two groundwater conductivities", [](model_state& m) { groundwater(m); m.groundwater.gw_hycond_map_given = 1; }},
      {42, "groundwater and Sacramento", [](model_state& m) { groundwater(m); m.groundwater.sacramento_given = 1; }},
      {43, "ZEM without MOLA", [](model_state& m) { m.clock.zem = 1; }},
      {44, "ZEM event number below 0", [](model_state& m) { m.clock.zem = m.clock.mola_given = m.clock.zem_event_num_given = 1; m.clock.zem_event_num = -1; }},
      {45, "ZEM with groundwater", [](model_state& m) { m.clock.zem = m.clock.mola_given = 1; groundwater(m); }},
      {46, "MOLA without ZEM", [](model_state& m) { m.clock.mola_given = 1; }},
  };
  for (const conflict& c : table) {
    reset_process_state();
    auto ms = passing();
    c.make(*ms);
    EXPECT_EQ(check(*ms), c.code) << c.what;
  }

  // The passing record, and combinations that are allowed.
  const std::pair<const char*, std::function<void(model_state&)>> allowed[] = {
      {"the plain storm", [](model_state&) {}},
      {"long-term Richards without albedo", [](model_state& m) { long_term(m); m.soil.inf_redist = 0; m.soil.inf_richards = 1; m.hydromet.albedo_given = 0; }},
      {"long-term with the evapotranspiration table", [](model_state& m) { penman(m); m.hydromet.albedo_given = m.hydromet.vheight_given = 0; m.grid.cmt_table_present[cmt_evapotranspiration] = 1; }},
      {"Richards with groundwater and a zero cell height", [](model_state& m) { m.soil.inf_richards = 1; groundwater(m); m.groundwater.aquifer_delta_z = 0.0; }},
      {"groundwater maps from the table", [](model_state& m) { m.groundwater.gw_simulation = 1; m.grid.cmt_table_present[cmt_groundwater] = 1; }},
      {"explicit channels", [](model_state& m) { m.channel.chan_explic = 1; }},
  };
  for (const auto& [what, make] : allowed) {
    reset_process_state();
    auto ms = passing();
    make(*ms);
    EXPECT_EQ(check(*ms), 0) << what;
  }
}

// Cards each within its range that together make a count an int cannot
// hold, and the cards no run goes without: the message names the cards.
TEST_F(CheckOptions, CountsOfStepsAndCellsAndTheCardsEveryRunNeeds) {
  struct card_case {
    const char* what;
    std::function<void(model_state&)> make;
    const char* message;  // "" when the record passes
  };
  const card_case table[] = {
      {"a day of 10 s steps", [](model_state& m) { m.clock.tot_time = 1440; }, ""},
      {"a hundred years of 0.01 s steps", [](model_state& m) { m.clock.ov_dt = 0.01; m.clock.tot_time = 52596000; },
       "Error: the TOT_TIME card gives 52596000 minutes, which hold more time steps of 0.01 s than NIVRA counts "
       "(2147483647).\n"},
      {"a stream step shorter than the overland one counts",
       [](model_state& m) { m.clock.st_time_step = 0.01; m.clock.hyd_freq = 1e6; },
       "Error: the HYD_FREQ card gives 1000000 minutes, which hold more time steps of 0.01 s"},
      {"maps every 40 years of 0.5 s", [](model_state& m) { m.clock.ov_dt = 0.5; m.clock.map_freq = 21024000; },
       "Error: the MAP_FREQ card gives 21024000 minutes"},
      {"rain for 20 years of 0.25 s", [](model_state& m) { m.clock.ov_dt = 0.25; m.hydromet.rain_duration = 10512000; },
       "Error: the RAIN_DURATION card gives 10512000 minutes"},
      {"a grid of 50000 x 50000", [](model_state& m) { m.grid.proj_rows = m.grid.proj_cols = 50000; },
       "Error: the ROWS and COLS cards give a grid of 50000 x 50000 cells, more than NIVRA numbers"},
      {"no ROWS", [](model_state& m) { m.grid.proj_rows = 0; },
       "Error: the project file has no ROWS card; every run needs it.\n"},
      {"no COLS", [](model_state& m) { m.grid.proj_cols = 0; }, "Error: the project file has no COLS card;"},
      {"no GRIDSIZE", [](model_state& m) { m.grid.grid_size = 0.0; }, "Error: the project file has no GRIDSIZE card;"},
      {"no TOT_TIME", [](model_state& m) { m.clock.tot_time = 0; },
       "Error: the project file has no TOT_TIME card; every run needs it unless it is long-term.\n"},
      // The soil column and the sediment-bound share belong to the
      // contaminants carried over the land.
      {"a soil column without overland contaminants", [](model_state& m) { m.constituent.soil_con_trans = 1; },
       "Error: the SOIL_CON_TRANS card acts on the contaminants carried over the land, which only an OV_CON_TRANS "
       "card gives.\n"},
      {"sediment-bound contaminants without them", [](model_state& m) { m.constituent.sediment_contam = 1; },
       "Error: the SEDIMENT_CONTAM card acts on the contaminants carried over the land"},
      {"a soil column with them", [](model_state& m) { m.constituent.soil_con_trans = m.constituent.ov_con_trans = 1; },
       ""},
      {"sediment classes carried as contaminants", [](model_state& m) {
         m.constituent.soil_con_trans = m.constituent.soil_erosion_on = 1;
         m.constituent.soil_erosion = 12;
       }, ""},
  };
  for (const card_case& c : table) {
    SCOPED_TRACE(c.what);
    reset_process_state();
    auto ms = passing();
    c.make(*ms);
    std::string out;
    const int code = check(*ms, &out);
    EXPECT_EQ(code, *c.message ? own_message_code : 0);
    EXPECT_EQ(out.rfind(c.message, 0), 0u) << out;
  }
  // A long-term run ends with its weather, not at TOT_TIME.
  auto lt = passing();
  long_term(*lt);
  lt->clock.tot_time = 0;
  reset_process_state();
  EXPECT_EQ(check(*lt), 0);
}

TEST_F(CheckOptions, TheFirstConflictInOrderWins) {
  auto ms = passing();
  ms->clock.mola_given = 1;                       // 46
  ms->channel.chan_explic = ms->channel.chan_mesh = 1;      // 37
  ms->soil.inf_richards = ms->soil.green_ampt = 1;    // 29
  EXPECT_EQ(check(*ms), 29);
  EXPECT_EQ(process.error_block.stop, 0);   // the driver's report sets it
}

TEST_F(CheckOptions, ProjectsWithoutRain) {
  // Without any precipitation card the run is a uniform storm of no rain.
  testing::write_file("p.prj", "NIVRAPROJECT\nQOUT_CFS\n");
  auto ms = make_model_state();
  ms->project.optimizer_mode = 1;
  read_run_parameters("p.prj", *ms);
  EXPECT_EQ(check(*ms), 11);

  reset_process_state();
  testing::write_file("q.prj", "NIVRAPROJECT\nQOUT_CFS\nRAIN_INTENSITY 5\nRAIN_DURATION 10\n"
                               "ROWS 2\nCOLS 3\nGRIDSIZE 10\nTOT_TIME 60\n");
  auto ok = make_model_state();
  ok->project.optimizer_mode = 1;
  read_run_parameters("q.prj", *ok);
  EXPECT_EQ(check(*ok), 0);
}

TEST_F(CheckOptions, SchemesSwitchOffWhatTheyDoNotUse) {
  auto set_ga_maps = [](model_state& m) {
    m.soil.moisture_given = m.soil.conductivity_given = m.soil.capillary_given = 1;
    m.soil.porosity_given = m.soil.pore_index_given = m.soil.residual_sat_given = 1;
  };
  for (int richards = 0; richards <= 1; ++richards) {
    auto ms = passing();
    set_ga_maps(*ms);
    (richards ? ms->soil.inf_richards : ms->soil.inf_layered_soil) = 1;
    EXPECT_EQ(check(*ms), 0);
    EXPECT_EQ(ms->soil.moisture_given + ms->soil.conductivity_given + ms->soil.capillary_given +
                  ms->soil.porosity_given + ms->soil.pore_index_given + ms->soil.residual_sat_given,
              0);
  }
  auto ga = passing();
  ga->soil.green_ampt = 1;
  set_ga_maps(*ga);
  EXPECT_EQ(check(*ga), 0);
  EXPECT_EQ(ga->soil.conductivity_given, 1);

  // Channel sediment follows overland erosion with explicit channels; the
  // channel discharge output needs explicit channels.
  auto explic = passing();
  explic->channel.chan_explic = explic->constituent.soil_erosion_on = 1;
  explic->output.chan_discharge_given_2 = 1;
  EXPECT_EQ(check(*explic), 0);
  EXPECT_EQ(explic->constituent.chan_sed_on, 1);
  EXPECT_EQ(explic->output.chan_discharge_given_2, 1);
  auto none = passing();
  none->constituent.soil_erosion_on = 1;
  none->output.chan_discharge_given_2 = 1;
  EXPECT_EQ(check(*none), 0);
  EXPECT_EQ(none->constituent.chan_sed_on, 0);
  EXPECT_EQ(none->output.chan_discharge_given_2, 0);
  // A conflict ends the checks before the later consequences.
  auto stopped = passing();
  stopped->channel.chan_explic = stopped->channel.chan_mesh = stopped->constituent.soil_erosion_on = 1;
  EXPECT_EQ(check(*stopped), 37);
  EXPECT_EQ(stopped->constituent.chan_sed_on, 0);
}

TEST_F(CheckOptions, GroundwaterWarningsAreReportedAndTheChecksGoOn) {
  auto ms = passing();
  ms->groundwater.gw_simulation = 1;
  std::string console;
  EXPECT_EQ(check(*ms, &console), 0);
  const auto w39 = console.find("Warning: You have specified neither spatially-varied, uniform, or mapping table porosity");
  const auto w41 = console.find("Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic");
  ASSERT_NE(w39, std::string::npos);
  ASSERT_NE(w41, std::string::npos);
  EXPECT_LT(w39, w41);
  EXPECT_EQ(process.error_block.stop, 0);

  // After both warnings a Sacramento conflict is still found.
  reset_process_state();
  auto sac = passing();
  sac->groundwater.gw_simulation = sac->groundwater.sacramento_given = 1;
  EXPECT_EQ(check(*sac, &console), 42);
  EXPECT_NE(console.find("hydraulic"), std::string::npos);
}

TEST_F(CheckOptions, AFrameworkRunPrintsItsBanner) {
  auto ms = passing();
  ms->clock.zem = ms->clock.mola_given = ms->clock.zem_event_num_given = 1;
  ms->clock.zem_event_num = 3;
  ms->project.mola.assign("exchange/a.map");
  std::string console;
  EXPECT_EQ(check(*ms, &console), 0);
  EXPECT_EQ(console,
            "Running NIVRA in ZEM environment\n"
            "NIVRA will share data with MOLA through file: exchange/a.map\n"
            "This is an event call of NIVRA by ZEM, zem_event_num=3\n");
}

}  // namespace
}  // namespace nivra
