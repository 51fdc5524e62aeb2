// Whole runs driven by a precipitation file, on the gage and radar
// examples: the books close with the canopy among the stores; every kind of
// event puts exactly the rain of its lines on the watershed (one gage: the
// depth of the file times the area); the radar example's rain is that of
// its grids, in mm/h and in inches per hour; and inside the outside
// framework the event asked for is read through the events before it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "clock/clock_state.h"
#include "core/dates.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/water_ledger.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::run_storm;
using testing::set_card;
using testing::storm_run;
using testing::water_on;
using testing::write_file;

class PrecipRuns : public testing::process_test {};

double relative(double a, double b) { return std::fabs(a - b) / std::fabs(b); }

constexpr int example_cells = 76;
constexpr double cell_area = 900.0;  // m2

// The rain (m3) of a depth (mm) on every cell of the examples.
double on_watershed(double mm) { return mm / 1000.0 * example_cells * cell_area; }

// What left, what stays on the ground and what the canopy holds make up
// the rain; the run's and the event's balances close.
void expect_books_close(const storm_run& run) {
  const model_state& ms = *run.ms;
  const water_ledger& l = ms.ledger;
  const double rain = l.run_total(water_flux::precipitation);
  EXPECT_GT(rain, 0.0);
  EXPECT_LT(relative(l.run_total(water_flux::interception) + l.run_total(water_flux::rainfall_to_overland), rain),
            1e-12);
  EXPECT_NEAR(l.storage(water_store::canopy, ledger_moment::run_end), l.run_total(water_flux::interception),
              1e-12 * rain);
  EXPECT_LT(relative(run.outlet_volume + water_on(ms, 1, ms.grid.ncells) +
                         l.storage(water_store::canopy, ledger_moment::run_end),
                     rain),
            1e-9);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-7);
  EXPECT_LT(std::fabs(l.run().surface_error), 1e-7);
  EXPECT_LT(std::fabs(l.event().error), 1e-9);
}

TEST_F(PrecipRuns, TheGageExampleRunsItsFirstEventAndItsBooksClose) {
  testing::copy_example("gages");
  const storm_run run = run_storm("gages.prj");
  ASSERT_TRUE(run.ended) << run.console;
  EXPECT_NE(run.console.find("Precip. file contains 2 events.\n"), std::string::npos);
  const model_state& ms = *run.ms;
  EXPECT_EQ(ms.clock.event_start_time, julian_date(2024, 5, 12, 14, 0, 0.0));
  EXPECT_EQ(ms.clock.elapsed_min, 180.0);
  expect_books_close(run);
  // The woodland's canopy took its share.
  EXPECT_GT(ms.ledger.run_total(water_flux::interception), 0.1 * ms.ledger.run_total(water_flux::precipitation));
  EXPECT_GT(run.outlet_volume, 0.5 * ms.ledger.run_total(water_flux::precipitation));
  // The summary shows the canopy's water among the final volumes.
  const std::string summary = read_file("gages.sum");
  char line[128];
  std::snprintf(line, sizeof line, "Final volume held by the canopy=                %14.2lf\n",
                ms.ledger.storage(water_store::canopy, ledger_moment::run_end));
  EXPECT_NE(summary.find(line), std::string::npos) << summary;
  // The overall error prints as zero to its six decimals (a round-off far
  // below that may carry a minus sign).
  const std::string overall = "Overall mass balance error =";
  const std::size_t at = summary.find(overall);
  ASSERT_NE(at, std::string::npos) << summary;
  const std::string printed = summary.substr(at + overall.size(), summary.find('\n', at) - at - overall.size());
  EXPECT_EQ(std::stod(printed), 0.0) << printed;
  EXPECT_NE(printed.find("0.000000 percent"), std::string::npos) << printed;
}

// One gage: every cell takes its rate, under both methods of spreading it.
// The rain of each kind of event, by hand:
//   GAGES: 2 + 5 + 3 mm fell by the last line;
//   ACCUM: from 100 to 110 mm accumulated;
//   RATES: 12 mm/h for 10 min, none for 20, 6 mm/h for 30 and 3 mm/h for
//          the 30 min after the last line (the interval of the last two);
//   RADAR: 8 mm/h for the quarter hour to 14:15, 4 mm/h for the half hour
//          to 14:45.
TEST_F(PrecipRuns, EveryKindOfEventRainsTheDepthOfItsLines) {
  struct row {
    const char* kind;
    const char* lines;
    double mm;
  };
  const row table[] = {
      {"GAGES", "GAGES 2024 5 12 14 00 7\nGAGES 2024 5 12 14 10 2\nGAGES 2024 5 12 14 30 5\nGAGES 2024 5 12 15 00 3\n",
       10.0},
      {"ACCUM", "ACCUM 2024 5 12 14 00 100\nACCUM 2024 5 12 14 20 104\nACCUM 2024 5 12 15 00 110\n", 10.0},
      {"RATES", "RATES 2024 5 12 14 00 12\nRATES 2024 5 12 14 10 0\nRATES 2024 5 12 14 30 6\nRATES 2024 5 12 15 00 3\n",
       2.0 + 3.0 + 1.5},
      {"RADAR", "RADAR 2024 5 12 14 00 99\nRADAR 2024 5 12 14 15 8\nRADAR 2024 5 12 14 45 4\n", 2.0 + 2.0},
  };
  for (const row& r : table) {
    for (const char* method : {"RAIN_INV_DISTANCE", "RAIN_THIESSEN"}) {
      SCOPED_TRACE(std::string(r.kind) + " " + method);
      reset_process_state();
      testing::copy_example("gages");
      const int lines = static_cast<int>(std::count(r.lines, r.lines + std::strlen(r.lines), '\n'));
      write_file("gages.gag", "EVENT one gage\nNRGAG 1\nNRPDS " + std::to_string(lines) +
                                  "\nCOORD 500150 4000120 the gage\n" + r.lines);
      set_card("gages.prj", "RAIN_INV_DISTANCE", method);
      const storm_run run = run_storm("gages.prj");
      ASSERT_TRUE(run.ended) << run.console;
      EXPECT_LT(relative(run.ms->ledger.run_total(water_flux::precipitation), on_watershed(r.mm)), 1e-12);
      expect_books_close(run);
    }
  }
}

// The radar grid's cells are 60 m with the lower-left corner at (499970,
// 3999970): model column c (1..10) lies in radar column c / 2 and model row
// r (1..8) in radar row r / 2 (whole divisions). Each file's rates hold
// over the quarter hour that ends at its line.
double radar_example_rain(bool inches) {
  const std::vector<std::pair<int, int>> holes = {{1, 1}, {1, 2}, {2, 1}, {1, 10}};
  double mm = 0.0;
  for (const char* file : {"radar_1615.asc", "radar_1630.asc", "radar_1645.asc"}) {
    std::ifstream in(file);
    std::string line;
    for (int i = 0; i < 6; ++i) std::getline(in, line);
    double v[5][6];
    for (auto& row : v)
      for (double& x : row) in >> x;
    for (int r = 1; r <= 8; ++r)
      for (int c = 1; c <= 10; ++c) {
        bool hole = false;
        for (const auto& h : holes) hole = hole || (h.first == r && h.second == c);
        if (hole) continue;
        double rate = v[r / 2][c / 2];
        if (rate <= 0.0 || rate == -9999.0) rate = 0.0;
        if (inches) rate = std::min(rate * 25.4, 100.0);
        mm += rate * 0.25;
      }
  }
  return mm / 1000.0 * cell_area;
}

TEST_F(PrecipRuns, TheRadarExampleRainsTheRatesOfItsGrids) {
  for (const bool inches : {false, true}) {
    SCOPED_TRACE(inches ? "inches per hour" : "mm per hour");
    reset_process_state();
    testing::copy_example("radar");
    if (inches) set_card("radar.prj", "RADAR_MM", "#");
    const storm_run run = run_storm("radar.prj");
    ASSERT_TRUE(run.ended) << run.console;
    EXPECT_LT(relative(run.ms->ledger.run_total(water_flux::precipitation), radar_example_rain(inches)), 1e-12);
    expect_books_close(run);
    EXPECT_NE(run.console.find("Reading radar precip file radar_1645.asc.\n"), std::string::npos);
    EXPECT_EQ(run.console.find("Reading radar precip file radar_1600.asc.\n"), std::string::npos);
    EXPECT_EQ(run.console.find("Warning: really big precip value") != std::string::npos, inches);
    // A radar event has no gages whose position could be wrong.
    EXPECT_EQ(run.console.find("Warning: gage"), std::string::npos) << run.console;
  }

  // A period's file that is not there stops the run at its period.
  reset_process_state();
  testing::copy_example("radar");
  std::filesystem::remove("radar_1630.asc");
  const storm_run run = run_storm("radar.prj");
  EXPECT_FALSE(run.ended);
  EXPECT_NE(run.console.find("Error: the radar file radar_1630.asc of this rain period cannot be opened"),
            std::string::npos)
      << run.console;
  EXPECT_NEAR(run.ms->clock.model_time, julian_date(2024, 8, 3, 16, 15, 10.0), 1e-7);
}

// Inside the outside framework the event asked for is found by reading
// through the events before it; its rain is its own.
TEST_F(PrecipRuns, TheFrameworkRunsTheEventItAsksFor) {
  testing::copy_example("gages");
  write_file("gages.gag",
             "EVENT first\nNRGAG 1 NRPDS 2\nCOORD 500150 4000120 gage\n"
             "GAGES 2024 5 12 14 00 0\nGAGES 2024 5 12 15 00 5\n"
             "EVENT second\nNRGAG 1 NRPDS 3\nCOORD 500150 4000120 gage\n"
             "GAGES 2024 5 20 9 00 0\nGAGES 2024 5 20 9 20 2\nGAGES 2024 5 20 10 00 1\n");
  set_card("gages.prj", "ZEM", "ZEM");
  set_card("gages.prj", "MOLA", "MOLA mola.rec");
  set_card("gages.prj", "ZEM_EVENT_NUM", "ZEM_EVENT_NUM 2");
  std::filesystem::create_directory("exchange");
  const storm_run run = run_storm("gages.prj", {}, 20000);
  ASSERT_TRUE(run.ended) << "still running after " << run.steps << " steps";
  const model_state& ms = *run.ms;
  EXPECT_EQ(ms.clock.event_start_time, julian_date(2024, 5, 20, 9, 0, 0.0));
  EXPECT_EQ(ms.clock.events_finished, 1);
  EXPECT_LT(relative(ms.ledger.run_total(water_flux::precipitation), on_watershed(3.0)), 1e-12);
  expect_books_close(run);
  EXPECT_EQ(read_file("exchange/mola.rec"), "999 999\n");  // no event follows
}

}  // namespace
}  // namespace nivra
