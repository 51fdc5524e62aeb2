// The pipe examples as their step shrinks: the tile drain of examples/tiles
// and the storm sewer of examples/urban give answers that settle as
// TIMESTEP is halved, and a change of an input in its last digits changes
// the answer in its last digits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "model/model_state.h"
#include "model/water_ledger.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using testing::set_card;
using F = water_flux;

class PipeExampleSteps : public testing::process_test {
 protected:
  // A run of an example at TIMESTEP dt, the superlink file's text `from`
  // replaced by `to` when given: the run total of a ledger term.
  double run_total(const std::string& example, double dt, F term, const std::string& from = "",
                   const std::string& to = "") {
    reset_process_state();
    testing::copy_example(example);
    char line[64];
    std::snprintf(line, sizeof line, "TIMESTEP %.17g", dt);
    set_card(example + ".prj", "TIMESTEP", line);
    if (!from.empty()) {
      const std::string file = example == "tiles" ? "field.slk" : example + ".slk";
      std::string text = testing::read_file(file);
      const std::size_t at = text.find(from);
      EXPECT_NE(at, std::string::npos) << from;
      if (at != std::string::npos) text.replace(at, from.size(), to);
      testing::write_file(file, text);
    }
    const testing::storm_run r = testing::run_storm(example + ".prj");
    EXPECT_TRUE(r.ended) << r.console;
    return r.ended ? r.ms->ledger.run_total(term) : NAN;
  }
};

TEST_F(PipeExampleSteps, TheTileDrainSettlesAsTheStepIsHalved) {
  // The groundwater the drain takes over six hours at TIMESTEP 10, 5, 2.5
  // and 1.25 s: it changes in one direction as the step halves, or by less
  // than 0.2 % between neighbours, and 10 s lies within 1 % of 1.25 s.
  std::vector<double> v;
  for (const double dt : {10.0, 5.0, 2.5, 1.25}) v.push_back(run_total("tiles", dt, F::groundwater_to_pipes));
  std::printf("tile drain: %.6f, %.6f, %.6f, %.6f m3 at 10, 5, 2.5, 1.25 s\n", v[0], v[1], v[2], v[3]);
  for (std::size_t i = 1; i + 1 < v.size(); ++i) {
    const bool monotone = (v[i] - v[i - 1]) * (v[i + 1] - v[i]) >= 0.0;
    EXPECT_TRUE(monotone || std::fabs(v[i + 1] - v[i]) < 0.002 * v[i]) << i;
  }
  for (std::size_t i = 1; i < v.size(); ++i) EXPECT_NEAR(v[i], v[i - 1], 0.002 * v[i - 1]) << i;
  EXPECT_NEAR(v[0], v[3], 0.01 * v[3]);
  EXPECT_GT(v[3], 1.0);
}

TEST_F(PipeExampleSteps, ALastDigitOfTheClosedEndsAreaMovesTheDrainByRounding) {
  // The closed end of the drain, 0.1 m2, made a part in 1e15 larger and
  // smaller: the water the drain takes moves by rounding, at two steps.
  for (const double dt : {10.0, 5.0}) {
    const double base = run_total("tiles", dt, F::groundwater_to_pipes);
    for (const char* area : {"0.1000000000000001", "0.09999999999999999"}) {
      const double moved = run_total("tiles", dt, F::groundwater_to_pipes, "SJUNC 1 100.20 99.20 0.1 ",
                                     std::string("SJUNC 1 100.20 99.20 ") + area + " ");
      EXPECT_NEAR(moved, base, 1e-12 * base) << dt << " " << area;
    }
  }
}

TEST_F(PipeExampleSteps, TheUrbanSewerSettlesAsTheStepIsHalved) {
  // The storm's water into the sewer of the urban block at TIMESTEP 5 s
  // lies within 2 % of the run at 0.625 s, and the steps between settle.
  std::vector<double> v;
  for (const double dt : {5.0, 2.5, 1.25, 0.625}) v.push_back(run_total("urban", dt, F::overland_to_pipes));
  std::printf("urban sewer: %.4f, %.4f, %.4f, %.4f m3 at 5, 2.5, 1.25, 0.625 s\n", v[0], v[1], v[2], v[3]);
  EXPECT_NEAR(v[0], v[3], 0.02 * v[3]);
  for (std::size_t i = 2; i < v.size(); ++i)
    EXPECT_LT(std::fabs(v[i] - v[i - 1]), std::fabs(v[i - 1] - v[i - 2])) << i;
}

}  // namespace
}  // namespace nivra
