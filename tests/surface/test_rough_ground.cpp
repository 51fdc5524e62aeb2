// Storms on rough ground: random relief full of pits and peaks, where cells
// drain through several faces at once and empty within a step. Every scheme
// keeps every depth at zero or above and every cubic metre of rain, in its
// kernel and in whole runs; and a depth found below zero at the rain step
// is not blamed on the rain.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/process.h"
#include "grid_fixture.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

// Ground falling 0.5 % to the south and to the east, with up to 0.4 m of
// random relief on cells of 10 m.
double rough(int r, int c) { return 100.0 - 0.05 * (r + c) + 0.4 * noise(r, c); }

constexpr int side = 30;

struct scheme_case {
  const char* name;
  int overtype;
};

const scheme_case schemes[] = {{"explicit", overland_scheme::explicit_faces},
                               {"ade", overland_scheme::ade},
                               {"ade_pc", overland_scheme::ade_pc}};

using rough_ground = process_test;

// Half an hour of 50 mm/h and half an hour after it on 5 s steps, through
// the overland step of the time loop.
TEST_F(rough_ground, no_depth_falls_below_zero_and_the_water_is_kept) {
  for (const scheme_case& sc : schemes) {
    SCOPED_TRACE(sc.name);
    reset_process_state();
    test_grid g;
    g.rows = side;
    g.cols = side;
    g.ground = rough;
    g.out_row = side;
    g.out_col = side;
    g.outlet_slope = 0.005;
    auto ms = make_grid(g);
    ms->overland.overtype = sc.overtype;
    ms->project.quiet = 1;
    const double dt = 5.0, rate = 50.0 / 3600000.0;
    double in = 0.0, out = 0.0, lowest = 0.0;
    for (int step = 0; step < 720 && process.error_block.code == 0; ++step) {
      if (step < 360) in += rain(*ms, rate * dt);
      out += overland_step(*ms, dt);
      lowest = std::fmin(lowest, min_depth(*ms));
    }
    EXPECT_EQ(process.error_block.code, 0);
    EXPECT_EQ(lowest, 0.0);
    EXPECT_GT(out, 0.05 * in);  // the rest stands in the pits
    EXPECT_NEAR(stored_volume(*ms) + out, in, 1e-12 * in);
  }
}

// The same ground in a project, run through the driver.
void write_rough_project(const char* overtype) {
  write_ground_maps(side, rough);
  write_file("rough.prj", std::string("NIVRAPROJECT\nWATERSHED_MASK rough.msk\nELEVATION rough.ele\n") +
                              "ROWS 30\nCOLS 30\nGRIDSIZE 10.0\nOUTROW 30\nOUTCOL 30\nOUTSLOPE 0.005\n"
                              "MANNING_N 0.03\nOVERTYPE " + overtype +
                              "\nTOT_TIME 60\nTIMESTEP 5.0\nSTART_DATE 2024 6 15\nSTART_TIME 12 0\n"
                              "PRECIP_UNIF\nRAIN_INTENSITY 50.0\nRAIN_DURATION 30\nHYD_FREQ 5.0\n"
                              "SUMMARY rough.sum\nOUTLET_HYDRO rough.otl\n");
}

TEST_F(rough_ground, whole_runs_end_normally_and_close_their_books) {
  for (const char* overtype : {"EXPLICIT", "ADE", "ADE-PC"}) {
    SCOPED_TRACE(overtype);
    reset_process_state();
    write_rough_project(overtype);
    const storm_run run = run_storm("rough.prj");
    ASSERT_TRUE(run.ended) << run.console;
    EXPECT_EQ(run.console.find("egative"), std::string::npos) << run.console;
    const double rain = 50.0 / 1000.0 * 0.5 * side * side * 100.0;
    const double on_grid = water_on(*run.ms, 1, run.ms->grid.ncells);
    EXPECT_NEAR(run.outlet_volume + on_grid, rain, 1e-9 * rain);
  }
}

// A depth below zero when the rain comes was left by an earlier process:
// the rain step says so and does not send the user to the rainfall input.
TEST_F(rough_ground, a_depth_below_zero_before_the_rain_is_not_blamed_on_the_rain) {
  write_rough_project("ADE");
  auto ms = make_model_state();
  ::testing::internal::CaptureStdout();
  const bool set_up = set_up_run(*ms, "rough.prj", nullptr);
  const bool first_step = set_up && run_time_step(*ms);
  ms->overland.ov_depth[7] = -0.01;  // as a process after the routing might leave it
  const bool second_step = first_step && run_time_step(*ms);
  close_all_files(*ms);
  const std::string console = ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(first_step) << console;
  EXPECT_FALSE(second_step);
  EXPECT_NE(console.find("A negative depth (-0.01 m) has been detected for overland cell 7 before this step's "
                         "rain was added"),
            std::string::npos)
      << console;
  EXPECT_EQ(console.find("check your rainfall input"), std::string::npos) << console;
}

}  // namespace
}  // namespace nivra::testing
