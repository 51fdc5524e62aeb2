// The step routines on hand-built records: the overland step's due test,
// outlet books and sweep order, the rain booked where it falls, the
// dry-period skip of long-term runs, the peak, the progress line, the
// end-of-event test with its cut-off (a uniform storm's event outlasting its
// rain), and the optimisation line of an ended event.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/dates.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/rainfall_step.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "run/steps.h"
#include "support/test_support.h"
#include "surface/grid_fixture.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"
#include "surface/overland_step.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class StepRoutines : public testing::process_test {};

constexpr double start = 2460477.0;  // noon, 15 June 2024
constexpr double step_days = 10.0 / 86400.0;

// A 3 x 3 plane falling to its south-east outlet, on a 10 s overland clock
// that is due now.
std::unique_ptr<model_state> plane() {
  testing::test_grid g;
  g.rows = g.cols = 3;
  g.dx = 10.0;
  g.ground = [](int r, int c) { return 100.0 - 0.1 * r - 0.05 * c; };
  g.out_row = g.out_col = 3;
  g.outlet_slope = 0.01;
  auto ms = testing::make_grid(g);
  ms->overland.overtype = 2;
  ms->clock.model_time = start;
  ms->clock.time_tol = due_tolerance_days;
  ms->clock.base_dt = ms->clock.ov_dt = 10.0;
  ms->clock.dt_days = ms->clock.ov_dt_days = step_days;
  ms->clock.ov_last_time = start - step_days;
  ms->clock.ov_next_time = start;
  return ms;
}

TEST_F(StepRoutines, OverlandStepRoutesOnlyWetGridsAndBooksTheOutlet) {
  // Dry: no routing, no discharge, the sweep order stays, the clock moves on.
  auto ms = plane();
  overland_routing_step(*ms);
  EXPECT_EQ(ms->overland.qout, 0.0);
  EXPECT_EQ(ms->overland.ade_sweep, 1);
  EXPECT_EQ(ms->overland.ov_wet, 0);
  EXPECT_EQ(ms->clock.ov_last_time, start);
  EXPECT_EQ(ms->clock.ov_next_time, start + step_days);
  // Not due: nothing happens.
  overland_routing_step(*ms);
  EXPECT_EQ(ms->clock.ov_next_time, start + step_days);

  // Wet, and the last step two model steps back: the outlet volume divided
  // by the real 20 s gives the discharge, and the sweep order alternates.
  for (int c = 1; c <= ms->grid.ncells; ++c) ms->overland.ov_depth[c] = 0.05;
  ms->clock.model_time = start + 2 * step_days;
  ms->clock.ov_next_time = ms->clock.model_time;
  ms->clock.ov_last_time = start;
  overland_routing_step(*ms);
  EXPECT_EQ(ms->overland.ade_sweep, 2);
  const double outlet = ms->ledger.event_total(water_flux::outlet_discharge);
  EXPECT_GT(outlet, 0.0);
  EXPECT_DOUBLE_EQ(ms->overland.qout * 20.0, outlet);
  EXPECT_EQ(ms->ledger.run_total(water_flux::outlet_discharge), outlet);
  const double before = ms->overland.ov_depth[1] + 0.0;
  EXPECT_LT(before, 0.05);  // the top corner drained toward the outlet
  ms->clock.model_time += step_days;
  ms->clock.ov_next_time = ms->clock.model_time;
  overland_routing_step(*ms);
  EXPECT_EQ(ms->overland.ade_sweep, 1);
}

// Rain of 36 mm/h for 10 s is 0.01 m3 on each 100 m2 cell. On a fixed-level
// cell it leaves the grid through the boundary, on a channel lake it goes
// into the lake; the precipitation is the rain on all nine cells.
TEST_F(StepRoutines, RainIsBookedWhereItFalls) {
  auto ms = plane();
  const int fixed = 1, lake = 5;
  ms->overland.ov_boundary = 1;
  ms->overland.boundary_type.alloc(ms->grid.ncells);
  ms->overland.boundary_type[fixed] = boundary::fixed_level;
  testing::add_channel_lake(*ms, {lake}, 99.0, 0.0);
  ms->overland.rain_reset.alloc(ms->grid.ncells);
  ms->hydromet.rain_depth.alloc(ms->grid.ncells);
  ms->hydromet.rain_depth.fill(36.0);
  ms->clock.precip_event_state = 1;
  apply_rainfall(*ms);
  const water_ledger& l = ms->ledger;
  EXPECT_NEAR(l.run_total(water_flux::precipitation), 0.09, 1e-15);
  EXPECT_NEAR(l.run_total(water_flux::head_boundary_out), 0.01, 1e-15);
  EXPECT_NEAR(l.run_total(water_flux::lake_precipitation), 0.01, 1e-15);
  EXPECT_NEAR(l.run_total(water_flux::precipitation), l.run_total(water_flux::rainfall_to_overland) + 0.01, 1e-15);
  EXPECT_NEAR(ms->lake.lake_volume[1], 0.01, 1e-15);
  // The fixed-level cell's rain reaches the overland before it leaves.
  EXPECT_NEAR(l.event_total(water_flux::rainfall_to_overland), 0.08, 1e-15);
  EXPECT_EQ(ms->overland.ov_depth[fixed], 0.0);
  EXPECT_NEAR(ms->overland.ov_depth[2], 1e-4, 1e-18);
}

TEST_F(StepRoutines, ANonRealDepthStopsTheOverlandStep) {
  auto ms = plane();
  ms->overland.ov_depth[4] = std::nan("");
  CaptureStdout();
  overland_routing_step(*ms);
  EXPECT_EQ(GetCapturedStdout().rfind(
                "A non-real overland flow water depth has been detected in cell 4 after applying "
                "overland boundary conditions and overland pumping.\n",
                0),
            0u);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_EQ(ms->clock.ov_next_time, start);  // the clock did not move
}

// Between the events of a long-term run the overland clock sleeps until
// the next event; after the last one it is parked, never due again.
TEST_F(StepRoutines, LongTermDryGridSkipsToTheNextEvent) {
  auto ms = plane();
  ms->clock.long_term = 1;
  ms->clock.num_events = 2;
  ms->clock.event_times = {start - 1.0, start + 3.0};
  ms->clock.event_index = 1;
  overland_routing_step(*ms);
  EXPECT_EQ(ms->clock.ov_next_time, start + 3.0);
  EXPECT_DOUBLE_EQ(ms->clock.ov_last_time, start + 3.0 - step_days);
  EXPECT_EQ(ms->clock.inf_next_time, ms->clock.ov_next_time);
  EXPECT_EQ(ms->overland.ov_water_at_start, 0);

  ms->clock.model_time = ms->clock.ov_next_time;
  ms->clock.event_index = 2;
  overland_routing_step(*ms);
  EXPECT_EQ(ms->clock.ov_next_time, clock_parked);
  EXPECT_FALSE(is_due(*ms, ms->clock.ov_next_time));
}

TEST_F(StepRoutines, PeakMovesOnlyOnAHigherDischarge) {
  auto ms = make_model_state();
  ms->clock.model_time = start;
  ms->clock.cur_hour = 12;
  ms->overland.qout = 2.0;
  track_peak_values(*ms);
  EXPECT_EQ(ms->clock.peak_q, 2.0);
  EXPECT_EQ(ms->clock.peak_hour, 12);
  // A flat hydrograph at the peak keeps the first date.
  ms->clock.model_time = start + 0.5;
  ms->clock.cur_hour = 0;
  track_peak_values(*ms);
  EXPECT_EQ(ms->clock.peak_hour, 12);
  EXPECT_EQ(ms->clock.peak_jdate, start);
}

TEST_F(StepRoutines, ProgressLineOfEachOverlandStep) {
  auto ms = make_model_state();
  ms->clock.model_time = ms->clock.ov_last_time = start;
  ms->clock.event_index = 1;
  ms->clock.elapsed_min = 12.5;
  ms->clock.cur_year = 2024;
  ms->clock.cur_month = 6;
  ms->clock.cur_day = 5;
  ms->clock.cur_hour = 9;
  ms->clock.cur_minute = 7;
  ms->clock.cur_second = 3.0;
  ms->overland.qout = 1.0;
  CaptureStdout();
  print_progress(*ms);
  ms->output.qout_cfs = 1;
  print_progress(*ms);
  ms->clock.model_time += step_days;  // no overland step in this step
  print_progress(*ms);
  EXPECT_EQ(GetCapturedStdout(),
            "event  1 elapsed time    12.50   6/05/2024 09:07:03 Qout=    1.00 cms\n"
            "event  1 elapsed time    12.50   6/05/2024 09:07:03 Qout=      35.3 cfs\n");
}

// The end test of long-term runs: an event ends when its outlet falls
// below the cut-off; on the last event the run ends with it, unless water
// still stands on the surface.
TEST_F(StepRoutines, EventsEndBelowTheCutOff) {
  struct row {
    const char* name;
    int event_index, precip_state;
    double qout, peak, standing_depth;
    int event_active_after, keep_running_after, finish_pending_after;
    const char* message;
  };
  const row table[] = {
      {"first of two, peak reached", 1, 3, 0.01, 1.0, 0.0, 0, 1, 1, ""},
      {"last, peak reached", 2, 3, 0.01, 1.0, 0.0, 0, 0, 1,
       "simulation ended normally; end of data for last event reached\n"},
      {"last, peak never reached", 2, 3, 0.01, 0.05, 0.0, 0, 0, 1,
       "simulation ended normally; peak flow after last event fell below cutoff value.\n"},
      {"last, water still standing", 2, 3, 0.01, 1.0, 0.01, 1, 1, 0, ""},
      {"outlet above the cut-off", 2, 3, 0.5, 1.0, 0.0, 1, 1, 0, ""},
      {"rain still running", 2, 1, 0.01, 1.0, 0.0, 1, 1, 0, ""},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    auto ms = plane();
    ms->clock.long_term = 1;
    ms->clock.keep_running = 1;
    ms->clock.event_active = 1;
    ms->clock.num_events = 2;
    ms->clock.event_times = {start - 1.0, start + 3.0};
    ms->clock.event_start_julian = start - 1.0;
    ms->clock.event_index = r.event_index;
    ms->clock.precip_event_state = r.precip_state;
    ms->hydromet.event_min_q = 0.1;
    ms->overland.qout = r.qout;
    ms->clock.peak_q = r.peak;
    ms->ledger.book(water_flux::rainfall_to_overland, 100.0);
    for (int c = 1; c <= ms->grid.ncells; ++c) ms->overland.ov_depth[c] = r.standing_depth;  // 9 x 100 m2
    CaptureStdout();
    check_simulation_end(*ms);
    EXPECT_EQ(GetCapturedStdout(), r.message);
    EXPECT_EQ(ms->clock.event_active, r.event_active_after);
    EXPECT_EQ(ms->clock.keep_running, r.keep_running_after);
    EXPECT_EQ(ms->clock.event_finish_pending, r.finish_pending_after);
    if (r.finish_pending_after) {
      // The overland clock waits for the next event, or is parked after the last.
      EXPECT_EQ(ms->clock.ov_next_time, r.event_index == 1 ? start + 3.0 : clock_parked);
    }
  }
}

// An event whose outlet stays above the cut-off (baseflow) runs on until the
// next storm; once it has gone on for more than a week the run says so,
// in the console and the run summary, once.
TEST_F(StepRoutines, AnEventKeptGoingAWeekByItsOutletIsWarnedOfOnce) {
  auto ms = plane();
  clock_state& cl = ms->clock;
  cl.long_term = cl.keep_running = cl.event_active = 1;
  cl.num_events = 3;
  cl.event_times = {start - 10.0, start + 20.0, start + 30.0};
  cl.event_index = 1;
  cl.precip_event_state = 3;
  cl.event_start_julian = start - 10.0;
  cl.event_start_year = 2024;
  cl.event_start_month = 6;
  cl.event_start_day = 5;
  cl.event_start_hour = 12;
  ms->hydromet.event_min_q = 0.0001;
  ms->overland.qout = 0.02;
  cl.peak_q = 1.0;
  testing::write_file("run.sum", "");
  ASSERT_TRUE(open_guarded_file(ms->output.summary_file, "run.sum", "w"));
  process.summary_log = &ms->output.summary_file;
  const char* warning =
      "WARNING: event 1, which began on 2024/6/5 at 12:00, has run for more than a week: the outlet discharge "
      "(0.02 m3/s) has not fallen below EVENT_MIN_Q (0.0001 m3/s) since its rain ended, so the event runs on at "
      "the model's time step until the next storm. Where baseflow keeps the outlet above it, set EVENT_MIN_Q "
      "above the baseflow. This warning is given once per run.\n";
  const struct {
    double days;  // since the event began
    const char* console;
  } steps[] = {{6.9, ""}, {7.1, warning}, {8.0, ""}};
  for (const auto& k : steps) {
    cl.model_time = cl.event_start_julian + k.days;
    CaptureStdout();
    check_simulation_end(*ms);
    EXPECT_EQ(GetCapturedStdout(), k.console) << k.days;
    EXPECT_EQ(cl.event_active, 1) << k.days;  // the event goes on
  }
  close_guarded_file(ms->output.summary_file);
  process.summary_log = nullptr;
  EXPECT_EQ(testing::read_file("run.sum"), warning);
}

// When an event of a long-term run ends, the overland constituents' clocks
// go to the next event with the overland clock: the transport's capped at
// the infiltration clock, the soil column's on the infiltration clock, the
// outlet's and the table contaminants' on the overland clock. Overland
// point sources discharge between the events: then no clock moves.
TEST_F(StepRoutines, TheConstituentClocksGoToTheNextEventWithTheOverland) {
  for (const bool sources : {false, true}) {
    SCOPED_TRACE(sources ? "point sources" : "no point sources");
    auto ms = plane();
    clock_state& cl = ms->clock;
    cl.long_term = cl.keep_running = cl.event_active = 1;
    cl.num_events = 2;
    cl.event_times = {start - 1.0, start + 3.0};
    cl.event_index = 1;
    cl.precip_event_state = 3;
    ms->hydromet.event_min_q = 0.1;
    ms->overland.qout = 0.01;
    cl.peak_q = 1.0;
    cl.inf_next_time = start + 2.0;  // the infiltration sleeps till before the next event
    constituent_state& k = ms->constituent;
    k.ov_con_trans = k.contam_table_input = 1;
    k.ov_point_source_given = sources ? 1 : 0;
    const double now = start + step_days;
    for (process_clock* c : {&cl.ov_con_clock, &cl.soil_con_clock, &cl.ov_outlet_con_clock, &cl.contam_table_clock,
                             &cl.contam_table_soil_clock})
      set_clock(*c, 10.0, step_days, start, now);
    check_simulation_end(*ms);
    ASSERT_EQ(cl.event_finish_pending, 1);
    if (sources) {
      EXPECT_EQ(cl.ov_next_time, start);  // the overland clock did not move either
      for (process_clock* c : {&cl.ov_con_clock, &cl.soil_con_clock, &cl.ov_outlet_con_clock, &cl.contam_table_clock,
                               &cl.contam_table_soil_clock})
        EXPECT_EQ(c->next_time, now);
      continue;
    }
    EXPECT_EQ(cl.ov_next_time, start + 3.0);
    EXPECT_EQ(cl.ov_con_clock.next_time, start + 2.0);
    EXPECT_EQ(cl.ov_con_clock.last_time, cl.ov_last_time);
    EXPECT_EQ(cl.soil_con_clock.next_time, start + 2.0);
    for (process_clock* c : {&cl.ov_outlet_con_clock, &cl.contam_table_clock, &cl.contam_table_soil_clock})
      EXPECT_EQ(c->next_time, start + 3.0);
  }
}

// A uniform storm's rain stops after its steps, but its event goes on: in
// a long-term run the end test ends it, and the run, once the outlet falls
// below the cut-off.
TEST_F(StepRoutines, AUniformStormsEventOutlastsItsRain) {
  auto ms = plane();
  ms->clock.long_term = 1;
  ms->clock.keep_running = 1;
  ms->clock.step_count = 400;
  ms->hydromet.precip_unif = 1;
  ms->hydromet.rain_depth.alloc(ms->grid.ncells);
  ms->hydromet.rain_depth.fill(25.0);
  ms->hydromet.num_rain_periods = 360;
  ms->hydromet.uniform_rain_step = 361;  // the storm's last step is behind
  ms->clock.num_events = ms->clock.event_index = 1;
  ms->clock.event_times = {start - 1.0};
  ms->clock.precip_event_state = ms->clock.rain_on = ms->clock.event_active = 1;
  update_rainfall(*ms);
  EXPECT_EQ(ms->clock.rain_on, 0);
  EXPECT_EQ(ms->clock.precip_event_state, 3);
  EXPECT_EQ(ms->hydromet.rain_depth[1], 0.0);
  EXPECT_EQ(ms->clock.event_active, 1);

  ms->hydromet.event_min_q = 0.1;
  ms->clock.peak_q = 0.3;
  ms->overland.qout = 0.5;
  check_simulation_end(*ms);
  EXPECT_EQ(ms->clock.keep_running, 1);  // still running off
  ms->overland.qout = 0.05;
  CaptureStdout();
  check_simulation_end(*ms);
  EXPECT_EQ(GetCapturedStdout(), "simulation ended normally; end of data for last event reached\n");
  EXPECT_EQ(ms->clock.keep_running, 0);
  EXPECT_EQ(ms->clock.event_finish_pending, 1);
}

TEST_F(StepRoutines, EndTimeAndTotalTimeEndTheRun) {
  auto ms = plane();
  ms->clock.keep_running = 1;
  ms->clock.end_time_given = 1;
  ms->clock.end_time = start - step_days;
  check_simulation_end(*ms);
  EXPECT_EQ(ms->clock.keep_running, 0);
  EXPECT_EQ(ms->clock.event_finish_pending, 1);

  ms = plane();
  ms->clock.keep_running = 1;
  ms->clock.event_end_time = start + step_days;
  check_simulation_end(*ms);
  EXPECT_EQ(ms->clock.keep_running, 1);
  ms->clock.model_time = start + 10.0 / 86400.0;  // the end to within the clock's rounding
  check_simulation_end(*ms);
  EXPECT_EQ(ms->clock.keep_running, 0);
  EXPECT_EQ(ms->clock.event_done, 1);
}

// An ended event writes its line to the optimisation output file.
TEST_F(StepRoutines, OptimisationLineOfAnEvent) {
  struct row {
    int cfs;
    const char* line;
  };
  const row table[] = {{1, "1    70.64       35320.0\n"}, {0, "1     2.000        1000.0\n"}};
  for (const row& r : table) {
    auto ms = plane();
    ASSERT_TRUE(open_guarded_file(ms->output.summary_file, "event.sum", "w"));
    ASSERT_TRUE(open_guarded_file(ms->output.opt_output_file, "optim.out", "w"));
    ms->output.optimize_given = 1;
    ms->output.qout_cfs = r.cfs;
    ms->clock.event_index = 1;
    ms->clock.event_finish_pending = 1;
    ms->clock.peak_q = 2.0;
    ms->ledger.book(water_flux::outlet_discharge, 1000.0);  // the overland step's outlet book of the event
    ms->ledger.book(water_flux::rainfall_to_overland, 1000.0);
    CaptureStdout();
    finish_event(*ms);
    GetCapturedStdout();
    EXPECT_EQ(ms->clock.event_finish_pending, 0);
    EXPECT_EQ(ms->clock.events_finished, 1);
    EXPECT_DOUBLE_EQ(ms->ledger.event().error, 0.0);
    close_guarded_file(ms->output.opt_output_file);
    EXPECT_EQ(testing::read_file("optim.out"), r.line);
  }
}

}  // namespace
}  // namespace nivra
