// The run's clocks: the time step and write intervals taken from the
// cards, the water on the grid at the start, the first clock advance and the
// calendar, uniform rain on exactly n overland steps, the clocks that wait
// for the uniform storm, and the set-ups that stop a run before its loop.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/dates.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "run/steps.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::run_storm;
using testing::set_card;

class Clock : public testing::process_test {};

TEST_F(Clock, TimeStepsAndWriteIntervalsFromTheCards) {
  // The map interval's warning is for runs that write maps (here a depth
  // dataset): without maps the interval is never used.
  struct row {
    double timestep, st_time_step, hyd_freq;
    int map_freq, long_term;
    int site_given;  // LATITUDE and LONGITUDE given (a site in the south-west here)
    bool maps;
    double dt, st_after;
    int hyd_steps, map_steps, code;
    bool warning_55, map_warning;
  };
  const row table[] = {
      {10, 0, 5, 60, 0, 0, true, 10, 10, 30, 360, 0, false, false},
      {10, 0, 5, 60, 1, 1, true, 10, 10, 30, 360, 0, false, false},
      {10, 5, 5, 60, 0, 0, true, 5, 5, 60, 720, 0, false, false},
      {10, 0, 0, 0, 0, 0, true, 10, 10, 360, 2160, 0, true, true},
      {10, 0, 0, 0, 0, 0, false, 10, 10, 360, 2160, 0, true, false},
      {0.001, 0, 5, 60, 0, 0, true, 0.001, 0.001, 0, 0, 52, false, false},
      {10, 0, 5, 60, 1, 0, true, 10, 10, 30, 360, 57, false, false},
  };
  for (const row& r : table) {
    reset_process_state();
    auto ms = make_model_state();
    // The copies of the cards that the run parameters make.
    ms->clock.ov_dt = r.timestep;
    ms->clock.st_time_step = r.st_time_step;
    ms->clock.hyd_freq = r.hyd_freq;
    ms->clock.map_freq = r.map_freq;
    ms->grid.outlet_slope = 0.01;
    ms->hydromet.latitude = -35.0;
    ms->hydromet.longitude = -70.0;
    ms->hydromet.site_given = r.site_given;
    ms->clock.gmt_given = 1;
    ms->clock.long_term = r.long_term;
    ms->output.dataset_output = ms->output.depth_given = r.maps;
    CaptureStdout();
    setup_time_steps(*ms);
    const std::string console = GetCapturedStdout();
    SCOPED_TRACE(std::to_string(r.timestep) + (r.maps ? " with maps" : " without maps"));
    EXPECT_EQ(ms->clock.dt, r.dt);
    EXPECT_EQ(ms->clock.st_time_step, r.st_after);
    EXPECT_EQ(process.error_block.code, r.code);
    EXPECT_EQ(process.error_block.stop, r.code ? 1 : 0);
    if (r.code) continue;
    EXPECT_EQ(ms->clock.hyd_write_steps, r.hyd_steps);
    EXPECT_EQ(ms->clock.map_write_steps, r.map_steps);
    EXPECT_EQ(console.find("Write hydrograph time step not specified") != std::string::npos, r.warning_55);
    EXPECT_EQ(console.find("Warning: Write solution time step not specified, defaulting to 6 hours.\n") !=
                  std::string::npos,
              r.map_warning);
  }
}

TEST_F(Clock, TheHydrographIntervalIsTheNearestWholeNumberOfSteps) {
  // HYD_FREQ in minutes over the model step: rounded to the nearest whole
  // number of steps, never fewer than one, with a note when the minutes
  // are not a whole number of steps.
  const struct {
    double timestep, hyd_freq;
    int steps;
    bool note;
  } table[] = {
      {10, 0.05, 1, true},        // 0.3 steps: one step, not none
      {10, 0.1, 1, true},         // 0.6 steps
      {5, 0.2499999, 3, false},   // 2.9999988 steps: 3, not 2
      {5, 0.083333, 1, false},    // 0.999996 steps: a step of 5 s
      {10, 0.25, 2, true},        // 1.5 steps: halves round up
      {10, 0.2, 1, true},         // 1.2 steps
      {10, 5.0, 30, false},
      {7, 1.0, 9, true},          // 8.571 steps
      {30, 1.0, 2, false},
  };
  for (const auto& r : table) {
    SCOPED_TRACE(std::to_string(r.hyd_freq) + " min at " + std::to_string(r.timestep) + " s");
    reset_process_state();
    auto ms = make_model_state();
    ms->clock.ov_dt = r.timestep;
    ms->clock.hyd_freq = r.hyd_freq;
    ms->clock.map_freq = 60;
    ms->grid.outlet_slope = 0.01;
    CaptureStdout();
    setup_time_steps(*ms);
    const std::string console = GetCapturedStdout();
    EXPECT_EQ(process.error_block.stop, 0);
    EXPECT_EQ(ms->clock.hyd_write_steps, r.steps);
    EXPECT_EQ(write_interval_steps(r.hyd_freq, r.timestep), r.steps);
    const std::string note = "is not a whole number of";
    EXPECT_EQ(console.find(note) != std::string::npos, r.note) << console;
    if (r.note) {
      char every[64];
      std::snprintf(every, sizeof every, "written every %d time step(s)", r.steps);
      EXPECT_NE(console.find(every), std::string::npos) << console;
    }
  }
}

TEST_F(Clock, TheMapIntervalIsTheNearestWholeNumberOfSteps) {
  // MAP_FREQ in whole minutes over the model step, as HYD_FREQ: rounded,
  // never fewer than one step, with a note in a run that writes maps.
  const struct {
    double timestep;
    int map_freq;
    bool maps;
    int steps;
    bool note;
  } table[] = {
      {7, 1, true, 9, true},        // 8.571 steps: 9, not the 8 a cut would give
      {7, 1, false, 9, false},      // no maps, no note
      {40, 1, true, 2, true},       // 1.5 steps: halves round up
      {90, 1, true, 1, true},       // 0.667 steps: one step, not none
      {30, 15, true, 30, false},
      {4.8, 2, true, 25, false},    // 25.000 steps
  };
  for (const auto& r : table) {
    SCOPED_TRACE(std::to_string(r.map_freq) + " min at " + std::to_string(r.timestep) + " s");
    reset_process_state();
    auto ms = make_model_state();
    ms->clock.ov_dt = r.timestep;
    ms->clock.hyd_freq = r.timestep / 60.0;  // one step: no note of its own
    ms->clock.map_freq = r.map_freq;
    ms->output.dataset_output = ms->output.depth_given = r.maps;
    ms->grid.outlet_slope = 0.01;
    CaptureStdout();
    setup_time_steps(*ms);
    const std::string console = GetCapturedStdout();
    EXPECT_EQ(process.error_block.stop, 0);
    EXPECT_EQ(ms->clock.map_write_steps, r.steps);
    EXPECT_EQ(console.find("MAP_FREQ") != std::string::npos, r.note) << console;
    if (r.note) {
      char every[64];
      std::snprintf(every, sizeof every, "the maps are written every %d time step(s)", r.steps);
      EXPECT_NE(console.find(every), std::string::npos) << console;
    }
  }
}

TEST_F(Clock, InitialSurfaceVolumeLeavesOutLakeCellsAndBlockedGround) {
  auto ms = make_model_state();
  ms->grid.ncells = 12;
  ms->grid.grid_size = 30.0;
  ms->overland.ov_depth.alloc(12);
  for (int c = 1; c <= 12; ++c) ms->overland.ov_depth[c] = c <= 10 ? 1.0 : 5.0;
  const auto initial = [&ms] {
    compute_initial_surface_volume(*ms);
    return ms->ledger.storage(water_store::surface, ledger_moment::run_start);
  };
  EXPECT_DOUBLE_EQ(initial(), 9000.0 + 2 * 5.0 * 900.0);

  // Cells 11 and 12 under a channel lake add nothing ...
  ms->lake.chan_lakes = 1;
  ms->lake.lake_mask.alloc(12);
  ms->lake.lake_mask[11] = ms->lake.lake_mask[12] = 1;
  EXPECT_DOUBLE_EQ(initial(), 9000.0);
  // ... nor does cell 1 under overland lake 2 (the map phase puts under
  // water the cells of the lake map), whose water is booked apart.
  ms->lake.overland_lake_map_given = 1;
  ms->lake.oland_lake_mask.alloc(12);
  ms->lake.oland_lake_new.alloc(12);
  ms->lake.oland_lake_mask[1] = ms->lake.oland_lake_new[1] = 2;
  ms->lake.olake_table.alloc(2);
  EXPECT_DOUBLE_EQ(initial(), 900.0 * 9);

  // Without lakes, a blocked cell holds its depth over its open part only;
  // a fraction of 1 is not applied.
  ms->lake.overland_lake_map_given = 0;
  ms->lake.chan_lakes = 0;
  ms->overland.ovr_flow_block = 1;
  ms->overland.ovr_flow_block_cell.alloc(12);
  ms->overland.ovr_flow_block_cell[1] = 0.3;
  ms->overland.ovr_flow_block_cell[11] = 0.6;
  ms->overland.ovr_flow_block_cell[12] = 1.0;
  EXPECT_DOUBLE_EQ(initial(), 900.0 * (0.7 + 9) + (0.4 + 1.0) * 5.0 * 900.0);
}

TEST_F(Clock, TheFirstAdvanceOnlyFillsTheCalendar) {
  auto ms = make_model_state();
  const double start = julian_date(2024, 6, 15, 12, 0, 0.0);
  ms->clock.model_time = ms->clock.event_start_time = start;
  ms->clock.dt = 10.0;
  ms->clock.dt_days = 10.0 / 86400.0;
  advance_clock(*ms);
  EXPECT_EQ(ms->clock.model_time, start);
  EXPECT_EQ(ms->clock.step_count, 0);
  EXPECT_EQ(ms->clock.elapsed_min, 0.0);
  EXPECT_EQ(ms->clock.cur_year, 2024);
  EXPECT_EQ(ms->clock.cur_month, 6);
  EXPECT_EQ(ms->clock.cur_day, 15);
  EXPECT_EQ(ms->clock.cur_hour, 12);
  advance_clock(*ms);
  EXPECT_EQ(ms->clock.model_time, start + 10.0 / 86400.0);
  EXPECT_EQ(ms->clock.step_count, 1);
  EXPECT_EQ(ms->clock.event_step, 1);
  EXPECT_DOUBLE_EQ(ms->clock.elapsed_min, 10.0 / 60.0);
  EXPECT_EQ(ms->clock.cur_second, 10.0);
}

TEST_F(Clock, DayOfYearCountsLeapYearsFrom1900) {
  struct row {
    int year, month, day, day_of_year;
  };
  const row table[] = {
      {2000, 3, 1, 61}, {2023, 3, 1, 60}, {1900, 3, 1, 61}, {1899, 3, 1, 60},
      {2023, 1, 17, 17}, {2024, 12, 31, 366}, {2023, 12, 31, 365},
  };
  for (const row& r : table) {
    auto ms = make_model_state();
    ms->clock.model_time = julian_date(r.year, r.month, r.day, 6, 0, 0.0);
    advance_clock(*ms);
    EXPECT_EQ(ms->clock.day_of_year, r.day_of_year) << r.year << "-" << r.month << "-" << r.day;
  }
}

// The storm of n = truncate(duration / overland step) steps falls on exactly
// n overland steps, and the event starts with the run.
TEST_F(Clock, UniformRainFallsOnExactlyNOverlandSteps) {
  struct row {
    const char* timestep;
    const char* duration;
    int steps;
    double seconds;
  };
  const row table[] = {{"10.0", "60", 360, 10.0}, {"25.0", "1", 2, 25.0}, {"7.0", "1", 8, 7.0}};
  for (const row& r : table) {
    reset_process_state();
    testing::copy_example("plane");
    set_card("plane.prj", "TIMESTEP", std::string("TIMESTEP         ") + r.timestep);
    set_card("plane.prj", "RAIN_DURATION", std::string("RAIN_DURATION    ") + r.duration);
    set_card("plane.prj", "TOT_TIME", "TOT_TIME         70");
    const testing::storm_run run = run_storm("plane.prj", [](model_state& ms) {
      EXPECT_EQ(ms.clock.event_first_date_jd, ms.clock.model_time);
      EXPECT_EQ(ms.clock.ov_next_time, ms.clock.model_time);
      EXPECT_EQ(ms.clock.precip_event_state, 1);
    });
    ASSERT_TRUE(run.ended) << run.console;
    const model_state& ms = *run.ms;
    SCOPED_TRACE(r.timestep);
    EXPECT_EQ(ms.hydromet.num_rain_periods, r.steps);
    EXPECT_EQ(ms.clock.rain_steps, r.steps);
    const double rain = r.steps * r.seconds * 25.0 / 3.6e6 * 46 * 900.0;
    EXPECT_NEAR(ms.ledger.run_total(water_flux::precipitation), rain, 1e-12 * rain);
    EXPECT_EQ(ms.clock.precip_event_state, 3);
  }
}

// A dry spell inside the precipitation record (a period line of zero
// depth) has no steps with rain: 10 minutes of rain, 20 dry, 10 of rain on
// 10 s steps are 120 steps with rain of the 240 the record spans.
TEST_F(Clock, StepsWithRainLeaveOutTheDryPeriodsOfTheRecord) {
  reset_process_state();
  testing::copy_example("plane");
  std::string project = testing::read_file("plane.prj");
  for (const char* card : {"START_DATE", "START_TIME", "PRECIP_UNIF", "RAIN_INTENSITY", "RAIN_DURATION"}) {
    const std::size_t at = project.find(std::string("\n") + card);
    ASSERT_NE(at, std::string::npos) << card;
    project.erase(at + 1, project.find('\n', at + 1) - at);
  }
  testing::write_file("plane.prj", project + "PRECIP_FILE dry.gag\n");
  testing::write_file("dry.gag", "EVENT two bursts\nNRGAG 1\nNRPDS 4\nCOORD 0 0 gage\nGAGES 2024 6 15 12 00 0\n"
                        "GAGES 2024 6 15 12 10 5\nGAGES 2024 6 15 12 30 0\nGAGES 2024 6 15 12 40 5\n");
  set_card("plane.prj", "TOT_TIME", "TOT_TIME         70");
  const testing::storm_run run = run_storm("plane.prj", [](model_state&) {});
  ASSERT_TRUE(run.ended) << run.console;
  EXPECT_EQ(run.ms->clock.rain_steps, 120);
  const double rain = 10.0e-3 * 46 * 900.0;
  EXPECT_NEAR(run.ms->ledger.run_total(water_flux::precipitation), rain, 1e-9 * rain);
}

// A long-term run with a uniform storm: the storm is event 1 and begins
// with the run, so the clocks that sleep until the first event are due at
// the start, not parked.
TEST_F(Clock, ClocksWaitingForTheFirstEventFindTheUniformStorm) {
  auto ms = make_model_state();
  clock_state& c = ms->clock;
  c.long_term = 1;
  c.ov_dt = c.base_dt = 10.0;
  c.cur_year = 2024;  // the start date of the cards
  ms->hydromet.hmet_start_year = 2024;
  ms->hydromet.hmet_start_month = 6;
  ms->hydromet.hmet_start_day = 15;
  ms->hydromet.hmet_start_hour = 12;
  ms->hydromet.precip_unif = 1;
  ms->hydromet.rain_intensity = 25.0;
  ms->hydromet.rain_duration = 60.0;
  ms->soil.green_ampt = 1;
  ms->pipe.storm_sewer_given = 1;
  init_simulation_clock(*ms);
  ASSERT_EQ(process.error_block.stop, 0);
  const double start = julian_date(2024, 6, 15, 12, 0, 0.0);
  EXPECT_EQ(c.model_time, start);
  EXPECT_EQ(event_start_time_of(*ms, 1), start);
  EXPECT_EQ(c.ov_next_time, start);
  EXPECT_EQ(c.inf_last_time, start);
  EXPECT_EQ(c.sl_last_time, start);
  EXPECT_EQ(ms->hydromet.num_rain_periods, 360);
}

TEST_F(Clock, SetUpsThatStopTheRunBeforeItsLoop) {
  struct row {
    const char* card;
    const char* line;  // "" removes the card
    const char* message;
    const char* second_card = "";  // a second card changed with the first
    const char* second_line = "";
    std::vector<const char*> removed = {};  // cards taken out of the project
  };
  const row table[] = {
      {"START_DATE", "",
       "You did not specify the starting date and time in the\n"
       "project file.  You must do this for simulations with\n"
       "uniform precipitation using the START_DATE and START_TIME\n"
       "cards.  Edit the project file.   Program terminated.\n"},
      {"ST_TIME_STEP", "ST_TIME_STEP     3.0",
       "Error: the overland time step of 10.000 s (TIMESTEP) is not a whole number of model\n"},
      // A precipitation file that ends inside its first event (the
      // uniform storm's cards go with PRECIP_UNIF).
      {"PRECIP_UNIF", "PRECIP_FILE      rain.gag", "Unexpected end of file in rain gage data file.\n", "", "",
       {"RAIN_INTENSITY", "RAIN_DURATION", "START_DATE", "START_TIME"}},
      // A one-minute storm on two-minute steps would fall on no step at all.
      {"TIMESTEP", "TIMESTEP         120.0",
       "Error: the uniform rain lasts 1 minute(s) (RAIN_DURATION), less than one overland\n"
       "time step of 120.000 s (TIMESTEP): no rain would fall.  Program terminated.\n",
       "RAIN_DURATION", "RAIN_DURATION    1"},
  };
  for (const row& r : table) {
    reset_process_state();
    testing::copy_example("plane");
    testing::write_file("rain.gag", "EVENT\n");
    if (*r.second_card) set_card("plane.prj", r.second_card, r.second_line);
    for (const char* card : r.removed) set_card("plane.prj", card, "#");
    if (*r.line) {
      set_card("plane.prj", r.card, r.line);
    } else {
      set_card("plane.prj", "START_DATE", "#");
      set_card("plane.prj", "START_TIME", "#");
    }
    CaptureStdout();
    EXPECT_EQ(run_simulation("plane.prj", nullptr, "plane.prj"), 0);
    const std::string console = GetCapturedStdout();
    EXPECT_NE(console.find(r.message), std::string::npos) << console;
    EXPECT_EQ(console.find("Running...."), std::string::npos) << r.card;
    EXPECT_EQ(process.error_block.stop, 1) << r.card;
  }
}

// A dry spell may have slowed the channels of a long-term run to a few
// model steps; the next event starts them at the model's step again.
TEST_F(Clock, AnEventStartsTheChannelsAtTheModelsStep) {
  testing::copy_example("longterm_lumped");
  auto ms = make_model_state();
  CaptureStdout();
  const bool ready = set_up_run(*ms, "sacramento.prj", nullptr);
  const std::string out = GetCapturedStdout();
  ASSERT_TRUE(ready) << out;
  clock_state& c = ms->clock;
  c.chan_dt = 3.0 * c.dt;
  c.chan_dt_days = c.chan_dt / 86400.0;
  c.model_time = c.event_first_date_jd;
  CaptureStdout();
  init_event_state(*ms);
  GetCapturedStdout();
  EXPECT_EQ(c.chan_dt, c.dt);
  EXPECT_DOUBLE_EQ(c.chan_dt_days, c.dt / 86400.0);
  EXPECT_EQ(c.chan_next_time, c.ov_next_time);
}

// The hourly clocks of a long-term run are due on the model steps that land
// on the hour: a step that does not divide the hour would leave the
// weather, and with it the run, standing still. Such a step stops the run
// before its loop; one that divides it runs.
TEST_F(Clock, ALongTermStepThatDoesNotDivideTheHourStopsTheRun) {
  const std::string console =
      testing::run_example_with_card("longterm_accounting", "accounting", "TIMESTEP", "TIMESTEP 35.0");
  EXPECT_NE(process.error_block.stop, 0);
  EXPECT_NE(console.find("Error: the time step of 35.000 s (TIMESTEP) does not divide an hour, so the hourly "
                         "weather, snow,\nsoil moisture and lumped models of this run would never be due."),
            std::string::npos)
      << console;
  testing::run_example_with_card("longterm_accounting", "accounting", "TIMESTEP", "TIMESTEP 40.0");
  EXPECT_EQ(process.error_block.stop, 0);
}

// END_TIME ends the run at its date: a step that divides the time to it
// lands there, one that does not is cut short to it, and the overland and
// channel steps run over that last, shorter span (the books closed). The
// uniform rain falls on the whole steps of its ten minutes.
TEST_F(Clock, EndTimeEndsTheRunAtItsDate) {
  const struct {
    const char* example;
    const char* timestep;
    double rain_mm_h;
    int cells;
    double cell_area;
  } cases[] = {{"plane", "30.0", 25.0, 46, 900.0}, {"plane", "7.0", 25.0, 46, 900.0}, {"vcatch", "7.0", 10.8, 0, 400.0}};
  const double end = julian_date(2024, 6, 15, 12, 30, 0.0);
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.example) + " every " + k.timestep + " s");
    reset_process_state();
    testing::copy_example(k.example);
    const std::string project = std::string(k.example) + ".prj";
    set_card(project, "TIMESTEP", std::string("TIMESTEP ") + k.timestep);
    set_card(project, "RAIN_DURATION", "RAIN_DURATION 10");
    set_card(project, "END_TIME", "END_TIME 2024 6 15 12 30");
    const testing::storm_run run = run_storm(project);
    ASSERT_TRUE(run.ended) << run.console;
    const model_state& ms = *run.ms;
    EXPECT_NEAR(ms.clock.model_time, end, 1e-9);  // days: 0.1 ms
    EXPECT_EQ(ms.clock.cur_hour, 12);
    EXPECT_EQ(ms.clock.cur_minute, 30);
    EXPECT_EQ(ms.clock.cur_second, 0.0);
    EXPECT_NEAR(ms.clock.elapsed_min, 30.0, 1e-6);
    EXPECT_EQ(ms.clock.ov_last_time, ms.clock.model_time);
    if (ms.channel.chan_explic) EXPECT_EQ(ms.clock.chan_last_time, ms.clock.model_time);
    const int cells = k.cells > 0 ? k.cells : ms.grid.ncells;
    const double dt = std::stod(k.timestep);
    const double rain = std::floor(600.0 / dt) * dt * k.rain_mm_h / 3.6e6 * cells * k.cell_area;
    EXPECT_NEAR(ms.ledger.run_total(water_flux::precipitation), rain, 1e-9 * rain);
    EXPECT_NEAR(ms.ledger.run().overall_error, 0.0, 1e-9);  // percent
  }
}

// With constituents the trimmed last step ends every clock at END_TIME:
// the farmyard drain of the contaminant example (2 L/s at 25 g/m3) runs
// from the start to END_TIME, 30 minutes that a 7 s step does not divide,
// so its water and nitrate are rate x duration to the last second of the
// short last span (to the rounding of times held in Julian days, some
// microseconds a step).
TEST_F(Clock, EndTimeEndsEveryConstituentClockWithTheWater) {
  reset_process_state();
  testing::copy_example("contaminant");
  set_card("contaminant.prj", "TIMESTEP", "TIMESTEP 7.0");
  set_card("contaminant.prj", "END_TIME", "END_TIME 2024 6 15 12 30");
  const testing::storm_run run = run_storm("contaminant.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  const clock_state& c = ms.clock;
  ASSERT_NEAR(c.model_time, julian_date(2024, 6, 15, 12, 30, 0.0), 1e-9);
  EXPECT_EQ(c.ov_last_time, c.model_time);
  EXPECT_EQ(c.inf_last_time, c.model_time);
  const struct {
    const char* name;
    const process_clock& k;
  } clocks[] = {{"overland constituents", c.ov_con_clock},
                {"mapping table's contaminants", c.contam_table_clock},
                {"outlet loads", c.ov_outlet_con_clock}};
  for (const auto& k : clocks)
    EXPECT_EQ(k.k.last_time, c.model_time) << k.name << " last ran " << (c.model_time - k.k.last_time) * 86400.0
                                           << " s before the end";
  const double seconds = 1800.0, volume = 0.002 * seconds;
  EXPECT_NEAR(ms.ledger.run_total(water_flux::overland_point_sources), volume, 1e-6 * volume);
  const mass_ledger& books = *ms.constituent.mass_books;
  const double nitrate = volume * 25.0 / 1000.0;  // kg
  EXPECT_NEAR(books.run_total(1, row(constituent_term::overland_point_source)), nitrate, 1e-6 * nitrate);
}

// A long-term run whose END_TIME falls between storms ends there without an
// event to close: each event is summarised once, when it ended, and the
// run's books close at END_TIME. One that ends during a storm cuts that
// event short and summarises it once. (examples/longterm: storms on 11, 14
// and 16 June.)
TEST_F(Clock, EndTimeBetweenStormsSummarisesEachEventOnce) {
  const struct {
    const char* end_time;
    int events;  // summarised
  } cases[] = {{"END_TIME 2024 6 13 0 0", 1}, {"END_TIME 2024 6 14 4 30", 2}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.end_time);
    reset_process_state();
    testing::copy_example("longterm");
    set_card("longterm.prj", "END_TIME", k.end_time);
    const testing::storm_run run = run_storm("longterm.prj");
    ASSERT_TRUE(run.ended) << run.console.substr(0, 2000);
    EXPECT_EQ(run.ms->clock.events_finished, k.events);
    const std::string sum = testing::read_file("longterm.sum");
    for (int e = 1; e <= 3; ++e) {
      const std::string heading = "SIMULATION SUMMARY- EVENT " + std::to_string(e) + "\n";
      const std::size_t first = sum.find(heading);
      EXPECT_EQ(first != std::string::npos, e <= k.events) << e;
      if (first != std::string::npos) EXPECT_EQ(sum.find(heading, first + 1), std::string::npos) << e;
    }
    EXPECT_NE(sum.find("SIMULATION TOTALS"), std::string::npos);
    EXPECT_LT(std::fabs(run.ms->ledger.run().overall_error), 1e-7);
  }
}

}  // namespace
}  // namespace nivra
