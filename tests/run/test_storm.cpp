// Whole storms on the bundled examples, checked against physics: every
// cubic metre of rain either left through the outlet or still stands on the
// grid, with and without blocked cells; a tilted plane under steady rain reaches an outflow of rain rate
// times area; a dike holds its pond until the water tops its low spot; no
// rain gives no flow; the run ends at its TOT_TIME, inside the outside
// framework too; and a second run of the same project in one process writes
// exactly the same files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>
#include <sys/wait.h>

#include "clock/clock_state.h"
#include "command/command_line.h"
#include "core/dates.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "run/run_test_support.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::run_storm;
using testing::set_card;
using testing::storm_run;
using testing::water_on;

class Storm : public testing::process_test {};

double relative(double a, double b) { return std::fabs(a - b) / std::fabs(b); }

// Rain of a uniform storm (m3): intensity (mm/h) x duration x area.
double storm_volume(double mm_per_hour, double minutes, int cells, double dx) {
  return mm_per_hour / 1000.0 * minutes / 60.0 * cells * dx * dx;
}

// The books close for every scheme: rain = outlet volume + water on the
// grid, in the integrated hydrograph and in the run summary's own totals.
TEST_F(Storm, RainLeavesThroughTheOutletOrStaysOnTheGrid) {
  struct row {
    const char* example;
    const char* project;
    const char* summary;
    const char* overtype;
    double rain;  // m3, from the cards
  };
  const row table[] = {
      {"plane", "plane.prj", "plane.sum", "EXPLICIT", storm_volume(25.0, 60.0, 46, 30.0)},
      {"plane", "plane.prj", "plane.sum", "ADE", storm_volume(25.0, 60.0, 46, 30.0)},
      {"plane", "plane.prj", "plane.sum", "ADE-PC", storm_volume(25.0, 60.0, 46, 30.0)},
      {"dike", "dike.prj", "dike.sum", "EXPLICIT", storm_volume(50.0, 60.0, 48, 30.0)},
      {"dike", "dike.prj", "dike.sum", "ADE", storm_volume(50.0, 60.0, 48, 30.0)},
  };
  for (const row& r : table) {
    SCOPED_TRACE(std::string(r.example) + " " + r.overtype);
    reset_process_state();
    testing::copy_example(r.example);
    set_card(r.project, "OVERTYPE", std::string("OVERTYPE         ") + r.overtype);
    const storm_run run = run_storm(r.project);
    ASSERT_TRUE(run.ended) << run.console;
    const model_state& ms = *run.ms;
    const double on_grid = water_on(ms, 1, ms.grid.ncells);
    EXPECT_LT(relative(run.outlet_volume + on_grid, r.rain), 1e-9);
    EXPECT_GT(run.outlet_volume, 0.5 * r.rain);
    // The summary's totals: precipitation, discharge and final surface.
    const water_ledger& l = ms.ledger;
    const double precipitation = l.run_total(water_flux::precipitation);
    const double discharge = l.run_total(water_flux::outlet_discharge);
    EXPECT_LT(relative(precipitation, r.rain), 1e-12);
    EXPECT_LT(relative(discharge, run.outlet_volume), 1e-12);
    EXPECT_LT(relative(discharge + l.storage(water_store::surface, ledger_moment::run_end), precipitation), 1e-9);
    EXPECT_LT(std::fabs(l.run().overall_error), 1e-7);  // percent
    EXPECT_LT(std::fabs(l.event().error), 1e-9);
    const std::string summary = read_file(r.summary);
    EXPECT_NE(summary.find("Overall mass balance error =                              0.000000 percent"),
              std::string::npos);
  }
}

// Blocked cells (buildings, walls) hold water only on their open part: a
// cell with a fraction b blocked stores depth x (1 - b) x area, and the rain
// that reaches its ground is rain x (1 - b) x area; the rain on the blocked
// part never reaches the surface. With some cells open, some 30 % and some
// 60 % blocked (the outlet cell among them), that rain either left through
// the outlet or stands on the open ground, under every scheme, in the
// integrated hydrograph and in the run summary.
TEST_F(Storm, BlockedCellsHoldWaterOnTheirOpenPartOnly) {
  // The fractions mix among neighbours, on both sides of the dike's low spot
  // too (cells 21 and 27); the shift makes the outlet cell 30 % blocked.
  const double blocked[] = {0.0, 0.3, 0.6};
  const auto pattern = [](int c) { return c + c / 5; };
  int shift = 0;
  const auto block_of = [&](int c) { return blocked[(pattern(c) + shift) % 3]; };
  struct row {
    const char* example;
    const char* overtype;
    double mm_per_hour;
  };
  const row table[] = {
      {"plane", "EXPLICIT", 25.0}, {"plane", "ADE", 25.0}, {"plane", "ADE-PC", 25.0},
      {"dike", "EXPLICIT", 50.0},  {"dike", "ADE", 50.0},
  };
  for (const row& r : table) {
    SCOPED_TRACE(std::string(r.example) + " " + r.overtype);
    reset_process_state();
    testing::copy_example(r.example);
    const std::string name = r.example;
    set_card(name + ".prj", "OVERTYPE", std::string("OVERTYPE         ") + r.overtype);
    set_card(name + ".prj", "OVR_FLOW_BLOCK", "OVR_FLOW_BLOCK");
    const storm_run run = run_storm(name + ".prj", [&](model_state& ms) {
      shift = (4 - pattern(ms.grid.outlet_cell) % 3) % 3;
      for (int c = 1; c <= ms.grid.ncells; ++c) {
        ms.overland.ovr_flow_block_cell[c] = block_of(c);
        for (int side = 1; side <= 4; ++side) ms.overland.ovr_flow_block_frac[c][side] = block_of(c);
      }
    });
    ASSERT_TRUE(run.ended) << run.console;
    const model_state& ms = *run.ms;
    ASSERT_EQ(block_of(ms.grid.outlet_cell), 0.3);
    const double area = ms.grid.grid_size * ms.grid.grid_size;
    double rain = 0.0, on_grid = 0.0;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      const double open = 1.0 - block_of(c);
      rain += r.mm_per_hour / 1000.0 * open * area;  // one hour of rain
      on_grid += ms.overland.ov_depth[c] * open * area;
    }
    EXPECT_LT(relative(run.outlet_volume + on_grid, rain), 1e-9);
    EXPECT_GT(run.outlet_volume, 0.3 * rain);
    const water_ledger& l = ms.ledger;
    EXPECT_LT(relative(l.run_total(water_flux::precipitation), rain), 1e-12);
    EXPECT_LT(relative(l.event_total(water_flux::rainfall_to_overland), rain), 1e-12);
    EXPECT_LT(relative(l.storage(water_store::surface, ledger_moment::run_end), on_grid), 1e-12);
    EXPECT_LT(relative(l.run_total(water_flux::outlet_discharge), run.outlet_volume), 1e-12);
    EXPECT_LT(std::fabs(l.run().overall_error), 1e-7);  // percent
    EXPECT_LT(std::fabs(l.run().surface_error), 1e-7);
    EXPECT_LT(std::fabs(l.event().error), 1e-9);
    // The summary prints the error as zero to its six decimals (a round-off
    // of 1e-13 percent may carry a minus sign).
    const std::string summary = read_file(name + ".sum");
    const std::string overall = "Overall mass balance error =";
    const std::size_t at = summary.find(overall);
    ASSERT_NE(at, std::string::npos);
    const std::string printed = summary.substr(at + overall.size(), summary.find('\n', at) - at - overall.size());
    EXPECT_EQ(std::stod(printed), 0.0) << printed;
    EXPECT_NE(printed.find("0.000000 percent"), std::string::npos) << printed;
    if (name == "dike") {  // water crossed the low spot between unequally blocked cells
      EXPECT_NE(block_of(21), block_of(27));
      EXPECT_NE(summary.find("Dike Overtopped in cell:  21"), std::string::npos);
    }
  }
}

// Under rain long enough to reach equilibrium the plane's outflow equals
// rain rate times area: the mean over the last ten minutes of rain (ADE-PC
// alternates about the mean from one sweep order to the other) is within a
// thousandth of it, and no scheme runs more than 2 percent over it.
TEST_F(Storm, ThePlaneReachesRainRateTimesArea) {
  const double equilibrium = 25.0 / 3.6e6 * 46 * 30.0 * 30.0;  // m3/s
  for (const char* overtype : {"EXPLICIT", "ADE", "ADE-PC"}) {
    SCOPED_TRACE(overtype);
    reset_process_state();
    testing::copy_example("plane");
    set_card("plane.prj", "OVERTYPE", std::string("OVERTYPE         ") + overtype);
    set_card("plane.prj", "RAIN_DURATION", "RAIN_DURATION    150");
    const storm_run run = run_storm("plane.prj");
    ASSERT_TRUE(run.ended);
    const int rain_steps = 150 * 6;
    ASSERT_GT(static_cast<int>(run.qout.size()), rain_steps);
    double mean = 0.0, highest = 0.0;
    for (int i = rain_steps - 60; i < rain_steps; ++i) mean += run.qout[i] / 60.0;
    for (double q : run.qout) highest = q > highest ? q : highest;
    EXPECT_LT(relative(mean, equilibrium), 1e-3);
    EXPECT_LT(highest, 1.02 * equilibrium);
    // Once the rain stops the plane drains: the discharge falls.
    EXPECT_LT(run.qout.back(), 0.5 * equilibrium);
  }
}

// The example's outputs besides the hydrograph: the depth maps every hour
// and the depth and discharge of its two cells every 5 minutes, on a grid
// without channels. The series and the map of the same time agree, and
// the water of a cell rises while the rain lasts and falls after it.
TEST_F(Storm, ThePlaneWritesItsDepthMapsAndItsCellSeries) {
  testing::copy_example("plane");
  const storm_run run = run_storm("plane.prj");
  ASSERT_TRUE(run.ended) << run.console.substr(0, 2000);
  EXPECT_NE(run.console.find("cell location 1: row 3, column 4 is cell 18\ncell location 2: row 6, column 7 is cell 45\n"), std::string::npos) << run.console.substr(0, 2000);
  // Maps at 0, 60 and 120 minutes and at the run's end, 180 minutes.
  for (const char* map : {"depth.0001.asc", "depth.0002.asc", "depth.0003.asc", "depth.0004.asc"})
    EXPECT_TRUE(testing::file_exists(map));
  EXPECT_FALSE(testing::file_exists("depth.0005.asc"));
  // Line k of the series is minute 5 (k - 1): time, two depths, two discharges.
  std::vector<std::array<double, 5>> rows;
  {
    std::istringstream in(read_file("plane.cdd"));
    std::array<double, 5> r{};
    while (in >> r[0] >> r[1] >> r[2] >> r[3] >> r[4]) rows.push_back(r);
  }
  ASSERT_EQ(rows.size(), 37u);
  const std::array<double, 5>& hour = rows[12];
  EXPECT_EQ(hour[0], 60.0);
  // Row 3, column 4 of the map at 60 minutes.
  std::istringstream map(read_file("depth.0002.asc"));
  std::string line;
  for (int k = 0; k < 6 + 3; ++k) std::getline(map, line);
  std::istringstream row3(line);
  double at = 0.0;
  for (int c = 1; c <= 4; ++c) row3 >> at;
  EXPECT_NEAR(hour[1], at, 0.5e-4);
  // The last map is the series' last time.
  std::istringstream end_map(read_file("depth.0004.asc"));
  for (int k = 0; k < 6 + 3; ++k) std::getline(end_map, line);
  std::istringstream end_row3(line);
  for (int c = 1; c <= 4; ++c) end_row3 >> at;
  EXPECT_EQ(rows.back()[0], 180.0);
  EXPECT_NEAR(rows.back()[1], at, 0.5e-4);
  EXPECT_GT(hour[1], rows[2][1]);
  EXPECT_LT(rows.back()[1], hour[1]);
  EXPECT_GT(hour[3], 0.0);
  EXPECT_GT(hour[4], 0.0);
}

// The dike holds back everything that falls above it until the pond tops
// the crest of its low spot; then the notch spills the rest and the pond
// settles at the crest.
TEST_F(Storm, TheDikeHoldsItsPondUpToTheCrestOfItsLowSpot) {
  const double dx = 30.0;
  const double half = storm_volume(50.0, 60.0, 24, dx);  // rain on either side of the dike
  const double crest = 99.20, ground = 99.10;            // row 4 behind the dike

  // A crest out of reach: nothing crosses, each side keeps its own water.
  testing::copy_example("dike");
  testing::write_file("dike.low", "LOWSPOT\nSPOT 4 3 4 0.5 150.0\n");
  storm_run run = run_storm("dike.prj");
  ASSERT_TRUE(run.ended) << run.console;
  EXPECT_LT(relative(water_on(*run.ms, 1, 24), half), 1e-9);
  EXPECT_LT(relative(water_on(*run.ms, 25, 48) + run.outlet_volume, half), 1e-9);
  EXPECT_EQ(read_file("dike.sum").find("Dike Overtopped"), std::string::npos);

  // The example's notch: the pond stands at the crest and holds what lies
  // below it; what spilled reached the outlet.
  reset_process_state();
  testing::copy_example("dike");
  run = run_storm("dike.prj");
  ASSERT_TRUE(run.ended);
  const model_state& ms = *run.ms;
  for (int c = 19; c <= 24; ++c) {
    const double level = ms.grid.elevation[c] + ms.overland.ov_depth[c];
    EXPECT_GT(level, crest - 1e-3) << c;
    EXPECT_LT(level, crest + 0.02) << c;
  }
  const double below_crest = 6 * (crest - ground) * dx * dx;
  EXPECT_GT(water_on(ms, 1, 24), below_crest);
  EXPECT_LT(water_on(ms, 1, 24), 1.1 * below_crest);
  EXPECT_GT(run.outlet_volume, half + 0.8 * (half - below_crest));
  const std::string summary = read_file("dike.sum");
  EXPECT_NE(summary.find("Dike Overtopped in cell:  21 \nDike Overtopped in cell:  27 \n"),
            std::string::npos);
}

// No rain on a dry grid: nothing flows, nothing leaves, and the event
// summary says that no rain was input.
TEST_F(Storm, NoRainNoFlow) {
  testing::copy_example("plane");
  const storm_run run = run_storm("plane.prj", [](model_state& ms) { ms.hydromet.rain_intensity = 0.0; });
  ASSERT_TRUE(run.ended);
  for (double q : run.qout) ASSERT_EQ(q, 0.0);
  EXPECT_EQ(run.ms->ledger.run_total(water_flux::precipitation), 0.0);
  EXPECT_EQ(run.ms->ledger.run_total(water_flux::outlet_discharge), 0.0);
  EXPECT_EQ(water_on(*run.ms, 1, run.ms->grid.ncells), 0.0);
  EXPECT_EQ(run.ms->ledger.event().error, -1.0);
  EXPECT_NE(read_file("plane.sum").find("Note: no rainfall was input.\n"), std::string::npos);
}

// A single-event run ends on the step that reaches TOT_TIME, and the
// outlet hydrograph's last line is written at that time.
TEST_F(Storm, AnEventRunEndsAtItsTotalTime) {
  for (int minutes : {180, 47}) {
    reset_process_state();
    testing::copy_example("plane");
    set_card("plane.prj", "TOT_TIME", "TOT_TIME         " + std::to_string(minutes));
    set_card("plane.prj", "HYD_FREQ", "HYD_FREQ         1.0");
    const storm_run run = run_storm("plane.prj");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.ms->clock.step_count, minutes * 6);
    EXPECT_DOUBLE_EQ(run.ms->clock.elapsed_min, minutes);
    EXPECT_EQ(run.ms->clock.events_finished, 1);
    const std::string hydrograph = read_file("plane.otl");
    const std::size_t last_line = hydrograph.rfind('\n', hydrograph.size() - 2);
    EXPECT_EQ(std::stod(hydrograph.substr(last_line + 1)), minutes) << minutes;
    EXPECT_EQ(testing::count_lines("plane.otl"), minutes + 1);
  }
}

// Inside the outside framework (ZEM, with its MOLA exchange) a uniform
// storm is the framework's one event: it starts at the start date of the
// cards and ends at TOT_TIME, and runs exactly as it does outside the
// framework. Asking for another event of it stops the run before its loop.
TEST_F(Storm, AUniformStormInsideTheFrameworkIsItsOneEvent) {
  testing::copy_example("plane");
  const storm_run alone = run_storm("plane.prj");
  ASSERT_TRUE(alone.ended);
  const std::string hydrograph = read_file("plane.otl");

  for (const char* event_card : {"", "ZEM_EVENT_NUM 1"}) {
    SCOPED_TRACE(event_card);
    reset_process_state();
    testing::copy_example("plane");
    set_card("plane.prj", "ZEM", "ZEM");
    set_card("plane.prj", "MOLA", "MOLA mola.rec");
    if (*event_card) set_card("plane.prj", "ZEM_EVENT_NUM", event_card);
    std::filesystem::create_directory("exchange");
    const storm_run run = run_storm("plane.prj", {}, 3 * alone.steps);
    ASSERT_TRUE(run.ended) << "still running after " << run.steps << " steps";
    const model_state& ms = *run.ms;
    EXPECT_EQ(ms.clock.event_start_time, julian_date(2024, 6, 15, 12, 0, 0.0));
    EXPECT_EQ(run.steps, alone.steps);
    EXPECT_EQ(ms.clock.elapsed_min, 180.0);
    EXPECT_EQ(ms.clock.events_finished, 1);
    EXPECT_EQ(run.outlet_volume, alone.outlet_volume);
    EXPECT_EQ(read_file("plane.otl"), hydrograph);
    // The framework's record of its only event: no event follows.
    EXPECT_EQ(read_file("exchange/mola.rec"), "999 999\n");
  }

  for (const char* event_card : {"ZEM_EVENT_NUM 2", "ZEM_EVENT_NUM 0"}) {
    reset_process_state();
    testing::copy_example("plane");
    set_card("plane.prj", "ZEM", "ZEM");
    set_card("plane.prj", "MOLA", "MOLA mola.rec");
    set_card("plane.prj", "ZEM_EVENT_NUM", event_card);
    const storm_run run = run_storm("plane.prj", {}, 3 * alone.steps);
    EXPECT_FALSE(run.ended);
    EXPECT_EQ(run.steps, 0) << event_card;
    EXPECT_NE(run.console.find("A uniform storm is one event, starting at START_DATE and START_TIME: only\n"
                               "ZEM_EVENT_NUM 1 (or no ZEM_EVENT_NUM card) can run it.  PROGRAM TERMINATED.\n"),
              std::string::npos)
        << run.console;
  }
}

// Two runs of one project in one process (batch mode) write the same bytes;
// a run driven by a precipitation file reads it from the start again.
TEST_F(Storm, BatchRunsOfOneProjectWriteIdenticalFiles) {
  for (const char* example : {"plane", "dike", "gages", "radar"}) {
    reset_process_state();
    testing::copy_example(example);
    const std::string name = example;
    if (name == "plane") set_card("plane.prj", "OVERTYPE", "OVERTYPE         EXPLICIT");
    testing::arguments args({"nivra", "-b2", name + ".prj"});
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(nivra_main(args.argc(), args.argv()), 0);
    ::testing::internal::GetCapturedStdout();
    for (const std::string ext : {".sum", ".otl"}) {
      const std::string first = read_file("0000_" + name + ext);
      EXPECT_GT(first.size(), 400u) << name << ext;
      EXPECT_EQ(first, read_file("0001_" + name + ext)) << name << ext;
    }
  }
}

// The built program runs a project in another folder: it finds the maps
// beside the project file and writes its outputs there.
TEST_F(Storm, TheProgramRunsAProjectFromAnotherFolder) {
  std::filesystem::create_directory("project");
  std::filesystem::create_directory("elsewhere");
  std::filesystem::current_path("project");
  testing::copy_example("dike");
  std::filesystem::current_path("../elsewhere");
  std::FILE* p = ::popen((std::string(NIVRA_EXE) + " ../project/dike.prj 2>&1").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
  const int status = ::pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("finished event"), std::string::npos) << output;
  std::filesystem::current_path("..");
  EXPECT_NE(read_file("project/dike.sum").find("Overall mass balance error ="), std::string::npos);
  EXPECT_TRUE(testing::file_exists("project/dike.otl"));
}

}  // namespace
}  // namespace nivra
