// Exchange files with the outside framework: the day numbers of the record
// file, the summary of the precipitation events, the maps written at an
// event's end and read back (with their unit rules) for the next event, the
// jump to the next event, and the faults that stop a framework run.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "clock/clock_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "run/driver.h"
#include "run/exchange.h"
#include "run/run_test_support.h"
#include "run/steps.h"
#include "soil/soil_state.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Exchange : public process_test {
 protected:
  // The plane on its infiltrating soil inside the framework, exchanging
  // every map, with the exchange folder in place.
  void framework_project(const std::string& extra = "") {
    copy_example("plane_infil");
    std::filesystem::create_directory("exchange");
    write_file("plane_infil.prj", read_file("plane_infil.prj") +
                                      "ZEM\nMOLA mola.rec\nMOIST_TO_MOLA moist_out.asc\nROUGH_TO_MOLA rough_out.asc\n"
                                      "KSAT_TO_MOLA ksat_out.asc\nPOROS_TO_MOLA poros_out.asc\n"
                                      "MOIST_FROM_MOLA moist_in.asc\nROUGH_FROM_MOLA rough_in.asc\n"
                                      "KSAT_FROM_MOLA ksat_in.asc\n" +
                                      extra);
  }
  // A map of the plane_infil grid with one value on every cell, the first
  // cell (row 1, column 3) given its own.
  static std::string plane_map(double first, double rest) {
    std::string text = "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n";
    for (int r = 1; r <= 6; ++r) {
      for (int c = 1; c <= 8; ++c) text += (r == 1 && c == 3 ? std::to_string(first) : std::to_string(rest)) + " ";
      text += "\n";
    }
    return text;
  }
};

// Days are counted from 01:00 on 31 December of the year before.
TEST_F(Exchange, DayNumbersOfTheRecordFile) {
  EXPECT_EQ(exchange_day_number(julian_date(2024, 1, 2, 10, 0, 0.0), 2024), 2);
  EXPECT_EQ(exchange_day_number(julian_date(2024, 1, 5, 6, 0, 0.0), 2024), 5);
  EXPECT_EQ(exchange_day_number(julian_date(2024, 1, 1, 0, 30, 0.0), 2024), 0);
  EXPECT_EQ(exchange_day_number(julian_date(2024, 3, 1, 1, 0, 0.0), 2024), 31 + 29 + 1);
}

TEST_F(Exchange, TheSummaryOfThePrecipitationEvents) {
  std::filesystem::create_directory("exchange");
  auto ms = make_model_state();
  ms->clock.num_events = 2;
  ms->clock.event_times = {julian_date(2024, 6, 15, 12, 0, 0.0), julian_date(2024, 10, 2, 7, 30, 0.0)};
  CaptureStdout();
  ASSERT_TRUE(open_zem_precip_summary(*ms));
  write_zem_precip_summary(*ms);
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(read_file("exchange/ZEM_PRECIP.SUM"), "2\n2024  6 15 12  0\n2024 10  2  7 30\n");
  EXPECT_TRUE(has(out, "NIVRA wrote precipitation data event summary to file: exchange/ZEM_PRECIP.SUM\n"
                       "No simulations performed.  NIVRA terminated.\n\n"));
  EXPECT_EQ(process.error_block.stop, 1);  // the summary run simulates nothing

  reset_process_state();
  std::filesystem::remove_all("exchange");
  // Without the folder the summary makes it; a file of its name stops it.
  CaptureStdout();
  EXPECT_TRUE(open_zem_precip_summary(*ms));
  GetCapturedStdout();
  close_guarded_file(ms->clock.exchange_map_file);
  EXPECT_TRUE(std::filesystem::is_directory("exchange"));
  std::filesystem::remove_all("exchange");
  write_file("exchange", "");
  CaptureStdout();
  EXPECT_FALSE(open_zem_precip_summary(*ms));
  EXPECT_TRUE(has(GetCapturedStdout(), "Unable to open file ZEM_PRECIP.SUM for writing. Program terminated\n"));
}

// A framework run of one event writes the maps at the event's end, in the
// model's units converted (conductivity in cm/h), and the record of no next
// event; the maps of MOLA are not read back after the last event.
TEST_F(Exchange, TheMapsOfAnEventsEndInAWholeRun) {
  framework_project();
  const storm_run run = run_storm("plane_infil.prj");
  ASSERT_TRUE(run.ended) << run.console;
  EXPECT_EQ(read_file("exchange/mola.rec"), "999 999\n");
  const std::string ksat = read_file("exchange/ksat_out.asc");
  EXPECT_TRUE(has(ksat, "north: 4000180.00\n")) << ksat;
  EXPECT_TRUE(has(ksat, "0.000000 0.000000 0.200000 0.200000 ")) << ksat;
  EXPECT_TRUE(has(ksat, "0.400000 0.400000 0.400000 0.400000 0.400000 0.400000 0.400000 0.400000 \n")) << ksat;
  EXPECT_TRUE(has(read_file("exchange/poros_out.asc"), "0.450000 0.450000"));
  EXPECT_TRUE(has(read_file("exchange/rough_out.asc"), "0.050000 0.050000"));
  EXPECT_TRUE(file_exists("exchange/moist_out.asc"));
  EXPECT_FALSE(has(run.console, "reading MOLA exchange maps"));
  // The model's own conductivity is still in m/s.
  EXPECT_DOUBLE_EQ(run.ms->soil.sat_hyd_cond[1], 0.2 / 360000.0);
}

// At the end of the first of two events: the record holds the day numbers
// of now and of the next event, the maps MOLA left are read back with their
// unit rules, and the run jumps to one step before the next event.
TEST_F(Exchange, MapsWrittenAtAnEventsEndAreReadBackForTheNext) {
  framework_project();
  auto ms = make_model_state();
  CaptureStdout();
  ASSERT_TRUE(set_up_run(*ms, "plane_infil.prj", nullptr)) << GetCapturedStdout();
  GetCapturedStdout();
  clock_state& c = ms->clock;
  c.model_time = julian_date(2024, 6, 15, 15, 0, 0.0);
  c.num_events = 2;
  c.event_times.push_back(julian_date(2024, 6, 18, 6, 0, 0.0));
  c.event_index = 1;
  c.event_done = 1;
  write_file("exchange/moist_in.asc", plane_map(0.05, 0.9));
  write_file("exchange/rough_in.asc", plane_map(0.0, 0.03));
  write_file("exchange/ksat_in.asc", plane_map(36.0, 0.36));
  CaptureStdout();
  exchange_maps_event_end(*ms);
  const std::string out = GetCapturedStdout();
  ASSERT_EQ(process.error_block.stop, 0) << out;
  EXPECT_EQ(read_file("exchange/mola.rec"), "167 170\n");  // days since 31 December 2023, 01:00
  EXPECT_TRUE(has(out, "reading MOLA exchange maps\n"));
  const soil_state& s = ms->soil;
  EXPECT_EQ(s.init_moisture[1], 0.1);            // 0.05 read back in an event run
  EXPECT_EQ(s.init_moisture[2], 0.45 * 0.99);    // above the porosity
  EXPECT_EQ(ms->overland.dist_rough[1], 0.04);   // 0 or less
  EXPECT_EQ(ms->overland.dist_rough[2], 0.03);
  EXPECT_DOUBLE_EQ(s.sat_hyd_cond[1], 0.0001);   // 36 cm/h
  EXPECT_EQ(c.keep_running, 1);
  EXPECT_EQ(c.event_done, 0);
  const double next = julian_date(2024, 6, 18, 6, 0, 0.0);
  EXPECT_DOUBLE_EQ(c.model_time, next - c.dt_days);
  EXPECT_DOUBLE_EQ(c.ov_next_time, next);
  EXPECT_DOUBLE_EQ(c.inf_next_time, next);

  // In a long-term run the moisture keeps between the residual content and
  // the porosity.
  c.long_term = 1;
  c.event_done = 1;
  c.event_index = 1;
  ms->soil.resid_sat.alloc(ms->grid.ncells);
  ms->soil.resid_sat.fill(0.05);
  write_file("exchange/moist_in.asc", plane_map(0.05, 0.9));
  CaptureStdout();
  exchange_maps_event_end(*ms);
  GetCapturedStdout();
  EXPECT_DOUBLE_EQ(s.init_moisture[1], 0.05 + 0.4 * 0.01);
  EXPECT_DOUBLE_EQ(s.init_moisture[2], 0.4 * 0.99 + 0.05);

  // A map MOLA did not leave stops the run, naming it.
  c.event_done = 1;
  std::filesystem::remove("exchange/rough_in.asc");
  CaptureStdout();
  exchange_maps_event_end(*ms);
  EXPECT_TRUE(has(GetCapturedStdout(), "2 Can't open roughness exchange file exchange/rough_in.asc for reading\n"));
  EXPECT_EQ(process.error_block.stop, 1);
}

// MOLA_FIRST reads MOLA's maps before the first event; a map it does not
// find stops the run before the loop.
TEST_F(Exchange, MapsReadAtTheStartOfTheRun) {
  framework_project("MOLA_FIRST\n");
  write_file("exchange/moist_in.asc", plane_map(0.2, 0.25));
  write_file("exchange/rough_in.asc", plane_map(0.08, 0.06));
  write_file("exchange/ksat_in.asc", plane_map(3.6, 0.72));
  auto ms = make_model_state();
  CaptureStdout();
  const bool ready = set_up_run(*ms, "plane_infil.prj", nullptr);
  const std::string out = GetCapturedStdout();
  ASSERT_TRUE(ready) << out;
  EXPECT_EQ(ms->overland.dist_rough[1], 0.08);
  EXPECT_EQ(ms->overland.dist_rough[7], 0.06);
  EXPECT_DOUBLE_EQ(ms->soil.sat_hyd_cond[1], 1e-5);

  reset_process_state();
  std::filesystem::remove("exchange/ksat_in.asc");
  auto again = make_model_state();
  CaptureStdout();
  EXPECT_FALSE(set_up_run(*again, "plane_infil.prj", nullptr));
  EXPECT_TRUE(has(GetCapturedStdout(), "1 Can't open Ksat exchange file exchange/ksat_in.asc for reading\n"));
}

// The water contents MOLA hands back are the ones Green-Ampt infiltrates
// into: a framework run given 0.44 takes in what the same storm does with
// 0.44 in the project's own moisture map, and less than when given 0.15.
TEST_F(Exchange, GreenAmptInfiltratesIntoTheMoistureMolaGivesBack) {
  const double moisture[] = {0.15, 0.44};
  double framework[2] = {}, own[2] = {};
  for (int k = 0; k < 2; ++k) {
    reset_process_state();
    framework_project("MOLA_FIRST\n");
    write_file("exchange/moist_in.asc", plane_map(moisture[k], moisture[k]));
    write_file("exchange/rough_in.asc", plane_map(0.05, 0.05));
    write_file("exchange/ksat_in.asc", plane_map(0.3, 0.3));
    const storm_run in_framework = run_storm("plane_infil.prj");
    ASSERT_TRUE(in_framework.ended) << in_framework.console;
    framework[k] = in_framework.ms->ledger.run_total(water_flux::infiltration);

    reset_process_state();
    copy_example("plane_infil");
    write_file("plane_infil.moi", plane_map(moisture[k], moisture[k]));
    write_file("plane_infil.ks", plane_map(0.3, 0.3));
    const storm_run alone = run_storm("plane_infil.prj");
    ASSERT_TRUE(alone.ended) << alone.console;
    own[k] = alone.ms->ledger.run_total(water_flux::infiltration);
    EXPECT_NEAR(framework[k], own[k], 1e-9 * own[k]) << moisture[k];
  }
  EXPECT_LT(framework[1], 0.8 * framework[0]);
  std::printf("infiltrated under Green-Ampt from MOLA's water contents: %.1f m3 at 0.15, %.1f m3 at 0.44\n",
              framework[0], framework[1]);
}

// The gages example holds two storms: inside the framework the run
// simulates both, reads MOLA's roughness back after the first and jumps
// to the start of the second; the record after the second says no event
// follows. With ZEM_EVENT_NUM 0 it writes the summary of the events only.
TEST_F(Exchange, AFrameworkRunOfTwoStormsAndItsSummaryOfEvents) {
  copy_example("gages");
  std::filesystem::create_directory("exchange");
  write_file("gages.prj", read_file("gages.prj") + "ZEM\nMOLA mola.rec\nROUGH_TO_MOLA rough_out.asc\n"
                                                    "ROUGH_FROM_MOLA rough_in.asc\n");
  std::string map = "north: 4000240.0\nsouth: 4000000.0\neast: 500300.0\nwest: 500000.0\nrows: 8\ncols: 10\n";
  for (int r = 1; r <= 8; ++r) map += "0.07 0.07 0.07 0.07 0.07 0.07 0.07 0.07 0.07 0.07\n";
  write_file("exchange/rough_in.asc", map);
  const storm_run run = run_storm("gages.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  EXPECT_EQ(ms.clock.events_finished, 2);
  EXPECT_EQ(ms.clock.event_index, 2);
  EXPECT_GT(ms.clock.model_time, julian_date(2024, 5, 20, 9, 0, 0.0));
  EXPECT_EQ(ms.overland.dist_rough[1], 0.07);
  EXPECT_TRUE(has(run.console, "reading MOLA exchange maps\n"));
  EXPECT_EQ(read_file("exchange/mola.rec"), "999 999\n");
  EXPECT_TRUE(has(read_file("exchange/rough_out.asc"), "0.000000 0.000000 0.070000 0.070000"));

  reset_process_state();
  set_card("gages.prj", "ZEM_EVENT_NUM", "ZEM_EVENT_NUM 0");
  const storm_run summary = run_storm("gages.prj");
  EXPECT_EQ(summary.steps, 0);
  EXPECT_EQ(read_file("exchange/ZEM_PRECIP.SUM"), "2\n2024  5 12 14  0\n2024  5 20  9  0\n");
  EXPECT_TRUE(has(summary.console, "No simulations performed.  NIVRA terminated.\n"));
}

// A framework run without its exchange folder, or exchanging soil maps
// without a soil, stops before its first step.
TEST_F(Exchange, AFrameworkRunStopsBeforeItsFirstStepOnAMissingFolderOrMap) {
  framework_project();
  std::filesystem::remove_all("exchange");
  storm_run run = run_storm("plane_infil.prj");
  EXPECT_EQ(run.steps, 0);
  EXPECT_TRUE(has(run.console, "Error: the folder exchange/ that the ZEM and MOLA cards exchange their files in does "
                               "not exist.\n"))
      << run.console;

  reset_process_state();
  copy_example("plane");
  std::filesystem::create_directory("exchange");
  write_file("plane.prj", read_file("plane.prj") + "ZEM\nMOLA mola.rec\nKSAT_TO_MOLA k.asc\n");
  run = run_storm("plane.prj");
  EXPECT_EQ(run.steps, 0);
  EXPECT_TRUE(has(run.console, "Error: the KSAT_TO_MOLA card exchanges a map that this run does not have"));
}

}  // namespace
}  // namespace nivra::testing
