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

#include "core/process.h"
#include "run/driver.h"
#include "run/run_test_support.h"
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
  } cases[] = {
      {"longterm_accounting", "accounting", "volume in soil over simple soil depth",
       "Total downward flux from unsaturated zone="},
      {"longterm_richards", "richards", "volume in soils=", "Total downward flux from unsaturated zone="},
      {"longterm_lumped", "sacramento", "volume in soils=", "Total recharge to deep g.w.="},
      {"longterm_lumped", "conceptual", "volume in soils=", "Total recharge to deep g.w.="},
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
    // The three storms reached the outlet (with the evapotranspiration of a
    // summer week drying the soil between them, the accounting's loams run
    // off a few percent of each storm), and the soil held water between
    // them.
    std::size_t at = 0;
    for (int event = 1; event <= 3; ++event) {
      at = sum.find("volume of rainfall to overland:", at);
      ASSERT_NE(at, std::string::npos) << "event " << event;
      const std::string rest = sum.substr(at);
      EXPECT_GT(value_after(rest, "volume of discharge:"), 0.02 * value_after(rest, "volume of rainfall to overland:"))
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
       "the CONCEPTUAL_GW card's model returns its water to the channels"},
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
