// The groundwater example (examples/groundwater): a week of weather and
// three storms over an aquifer with a pumped well, a held head and a
// channel that the water table feeds, and one storm on Green-Ampt soil
// whose infiltration goes straight to the table. The starting heads come
// from the water-table and aquifer-bottom maps, and the groundwater and
// overall balances of each run summary close to its printed digits.
#include <gtest/gtest.h>

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

class GroundwaterRun : public testing::process_test {};

double value_after(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no line " << label;
    return std::numeric_limits<double>::quiet_NaN();
  }
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

TEST_F(GroundwaterRun, TheExampleClosesItsGroundwaterAndOverallBalances) {
  for (const char* project : {"groundwater", "storm"}) {
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
    double thickness = 0.0;
    const int cells[] = {8, 9, 10, 10, 10, 10, 10, 10};
    for (int r = 0; r < 8; ++r) thickness += cells[r] * (15.0 - 0.3 - (7 - r) * 0.4);
    EXPECT_NEAR(v("GW volume start ="), thickness * 0.25 * 900.0, 0.005);

    // The aquifer: its storage changes by its inputs, the flux across the
    // held heads and the water added at its floor.
    const double gw_change = v("GW volume end =") - v("GW volume start =");
    EXPECT_NEAR(gw_change, v("Total inputs to groundwater=") + v("Flux across head boundaries=") +
                               v("Added at the aquifer floor"),
                4 * 0.005);
    EXPECT_NEAR(v("Total inputs to groundwater="),
                v("Recharge to groundwater =") - v("Pumping  ") - v("Total flux from gw to river=") +
                    v("Total flux from river to gw=") - v("Exfiltration back on overland ="),
                6 * 0.005);
    // The whole run: rain and the held heads against the outlet, the
    // evapotranspiration, the well and what waits to reach the table.
    const double initial = v("Initial volume on surface=") + v("Initial volume in channels=") +
                           v("Initial volume in soils=") + v("Initial volume in groundwater=");
    const double final = v("Final volume on surface=") + v("Final volume in channels=") +
                         v("Final volume in soils=") + v("Final volume in groundwater=");
    const double out = v("Total amount of discharge=") + v("Total amount of evaporation=") +
                       v("Total pumping from groundwater=") + v("Total downward flux from unsaturated zone=") -
                       v("Total recharge inputs to groundwater=");
    EXPECT_NEAR(v("Total amount of precip=") + v("Total flux of gw across bounds=") + initial, out + final,
                12 * 0.005);
    EXPECT_NEAR(v("Overall mass balance error ="), 0.0, 1e-5);
    EXPECT_NEAR(v("Mass Balance error ="), 0.0, 0.005);
    // The table fed the channel, the well pumped and water reached the table.
    EXPECT_GT(v("Total flux from gw to river="), 100.0);
    EXPECT_GT(v("Total pumping from groundwater="), 0.0);
    EXPECT_GT(v("Recharge to groundwater ="), 100.0);
  }
}

}  // namespace
}  // namespace nivra
