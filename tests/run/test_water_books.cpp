// The water ledger and the storage reports it books: the run and event
// totals of a flux, the storages of every moment, the event balance of a
// hand-built event, the lake rules of the surface storage at each moment
// against hand sums, the snow pack outside the channel lakes, and a whole
// storm whose single event books exactly what the run books.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "clock/clock_state.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/snow_storage.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "run/run_test_support.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"
#include "surface/surface_storage.h"

namespace nivra {
namespace {

using flux = water_flux;
using store = water_store;
using moment = ledger_moment;

TEST(WaterLedger, RunAndEventTotalsAndTheStoragesOfEachMoment) {
  water_ledger l;
  l.book(flux::rainfall_to_overland, 10.0);
  l.set_storage(store::surface, moment::run_start, 3.0);
  l.set_storage(store::surface, moment::event_end, 4.0);
  l.open_event();
  EXPECT_EQ(l.event_total(flux::rainfall_to_overland), 0.0);
  EXPECT_EQ(l.storage(store::surface, moment::event_end), 0.0);  // the new event has not ended
  EXPECT_EQ(l.storage(store::surface, moment::run_start), 3.0);
  l.book(flux::rainfall_to_overland, 5.0);
  l.book(flux::rainfall_to_overland, -1.0);
  EXPECT_EQ(l.run_total(flux::rainfall_to_overland), 14.0);
  EXPECT_EQ(l.event_total(flux::rainfall_to_overland), 4.0);
  EXPECT_EQ(l.run_total_at_event_start(flux::rainfall_to_overland), 10.0);
  EXPECT_EQ(l.run_total(flux::outlet_discharge), 0.0);  // other terms untouched
  l.set_totals(flux::outlet_discharge, 7.0, 2.0);
  EXPECT_EQ(l.run_total(flux::outlet_discharge), 7.0);
  EXPECT_EQ(l.event_total(flux::outlet_discharge), 2.0);
}

// 100 m3 on the surface and 900 m3 of rain; 600 leave, 300 infiltrate and
// 90 stay: 10 of 1000 are missing, an error of 1 %. Without any water the
// error is -1, the mark of an event without input.
TEST(WaterLedger, EventBalanceOfAHandBuiltEvent) {
  water_ledger l;
  l.open_event();
  l.close_event();
  EXPECT_EQ(l.event().error, -1.0);
  EXPECT_TRUE(l.event().no_water);

  l.set_storage(store::surface, moment::event_start, 100.0);
  l.book(flux::rainfall_to_overland, 900.0);
  l.book(flux::outlet_discharge, 600.0);
  l.book(flux::infiltration, 300.0);
  l.set_storage(store::surface, moment::event_end, 90.0);
  l.close_event();
  EXPECT_DOUBLE_EQ(l.event().in_plus_initial, 1000.0);
  EXPECT_DOUBLE_EQ(l.event().out_plus_final, 990.0);
  EXPECT_DOUBLE_EQ(l.event().error, 0.01);
  EXPECT_FALSE(l.event().no_water);
}

// The snow on the cells at the start is water the run holds, exactly as the
// snow left at the end. Hand books: a pack of 600 m3 of snow and 100 m3 of
// melt water takes 100 m3 of rain; 80 leave at the outlet, 550 + 50 stay in
// the pack and 20 on the surface. In 800, out 700: 12.5 % is missing; the
// surface books compare the same 100 m3 with Fs + S = 720. The Sacramento
// form writes the overall error out minus in over the rain and the initial
// storage, the surface error over the rain alone.
TEST(WaterLedger, RunBalanceCountsTheSnowItStartsWith) {
  struct books {
    double snow_start, melt_start, rain, outlet, snow_end, melt_end, surface_end;
  };
  struct row {
    const char* name;
    books b;
    bool sacramento;
    double overall, surface;  // percent, by hand
  } rows[] = {
      {"a pack lying still", {600, 0, 0, 0, 600, 0, 0}, false, 0.0, 0.0},
      {"rain running off a pack", {600, 0, 100, 80, 600, 0, 20}, false, 0.0, 0.0},
      {"a pack losing water", {600, 100, 100, 80, 550, 50, 20}, false, 100.0 * 100.0 / 800.0, 100.0 * 100.0 / 720.0},
      {"Sacramento: a pack lying still", {600, 0, 0, 0, 600, 0, 0}, true, 0.0, 0.0},
      {"Sacramento: rain running off a pack", {600, 0, 100, 80, 600, 0, 20}, true, 0.0, 0.0},
      {"Sacramento: a pack losing water", {600, 100, 100, 80, 550, 50, 20}, true, -100.0 * 100.0 / 800.0, 100.0},
  };
  for (const row& r : rows) {
    water_ledger l;
    l.set_storage(store::snow, moment::run_start, r.b.snow_start);
    l.set_storage(store::melt_water, moment::run_start, r.b.melt_start);
    l.book(flux::rainfall_to_overland, r.b.rain);
    l.book(flux::outlet_discharge, r.b.outlet);
    l.set_storage(store::snow, moment::run_end, r.b.snow_end);
    l.set_storage(store::melt_water, moment::run_end, r.b.melt_end);
    l.set_storage(store::surface, moment::run_end, r.b.surface_end);
    balance_scheme scheme;
    scheme.sacramento = r.sacramento;
    l.close_run(scheme);
    EXPECT_NEAR(l.run().overall_error, r.overall, 1e-12) << r.name;
    EXPECT_NEAR(l.run().surface_error, r.surface, 1e-12) << r.name;
    EXPECT_DOUBLE_EQ(l.run().initial_storage, r.b.snow_start + r.b.melt_start) << r.name;
  }
}

// Four 10 m cells on ground at 10 m: an open cell with 0.1 m, a half-blocked
// cell with 0.2 m over its open half, a cell under a channel lake with
// 0.3 m, and a cell under an overland lake standing at 10.5 m with 0.4 m on
// its ground.
std::unique_ptr<model_state> four_cells() {
  auto ms = std::make_unique<model_state>();
  model_state& m = *ms;
  m.grid.ncells = 4;
  m.grid.grid_size = 10.0;
  m.grid.elevation.alloc(4);
  m.overland.ov_depth.alloc(4);
  const double depth[] = {0.0, 0.1, 0.2, 0.3, 0.4};
  for (int c = 1; c <= 4; ++c) {
    m.grid.elevation[c] = 10.0;
    m.overland.ov_depth[c] = depth[c];
  }
  m.overland.ovr_flow_block = 1;
  m.overland.ovr_flow_block_cell.alloc(4);
  m.overland.ovr_flow_block_cell[2] = 0.5;
  m.lake.chan_lakes = 1;
  m.lake.lake_mask.alloc(4);
  m.lake.lake_mask[3] = 1;
  m.lake.overland_lake_map_given = 1;
  m.lake.oland_lake_new.alloc(4);
  m.lake.oland_lake_new[4] = 1;
  m.lake.olake_table.alloc(1);
  m.lake.olake_table[1].value[0] = 10.5;
  return ms;
}

TEST(SurfaceStorage, EachMomentCountsTheLakeCellsByItsOwnRule) {
  const auto ms = four_cells();
  struct row {
    const char* moment;
    overland_lake_cells lakes;
    area_applied area;
    double expected;  // m3, by hand
  } rows[] = {
      {"start of the run", overland_lake_cells::left_out, area_applied::to_the_sum, (0.1 + 0.2 * 0.5) * 100.0},
      {"events", overland_lake_cells::lake_water, area_applied::per_cell, 10.0 + 10.0 + 0.5 * 100.0},
      {"cut-off test", overland_lake_cells::ponded_depth, area_applied::to_the_sum, (0.1 + 0.1 + 0.4) * 100.0},
      {"end of the run", overland_lake_cells::ponded_depth, area_applied::per_cell, 10.0 + 10.0 + 40.0},
  };
  for (const row& r : rows) EXPECT_NEAR(surface_storage(*ms, r.lakes, r.area), r.expected, 1e-12) << r.moment;
  EXPECT_DOUBLE_EQ(overland_lake_storage(*ms), 50.0);

  // Without blockage and lakes every rule counts every cell's depth.
  ms->overland.ovr_flow_block = 0;
  ms->lake.chan_lakes = 0;
  ms->lake.overland_lake_map_given = 0;
  for (const row& r : rows) EXPECT_NEAR(surface_storage(*ms, r.lakes, r.area), 100.0, 1e-12) << r.moment;
  EXPECT_EQ(overland_lake_storage(*ms), 0.0);
}

TEST(SnowStorage, SnowAndMeltWaterOutsideTheChannelLakes) {
  const auto ms = four_cells();
  hydromet_state& hm = ms->hydromet;
  hm.snow_swe.alloc(4);
  hm.snow_melt_to_ov.alloc(4);
  for (int c = 1; c <= 4; ++c) {
    hm.snow_swe[c] = 0.01 * c;
    hm.snow_melt_to_ov[c] = 0.001 * c;
  }
  EXPECT_EQ(snow_storage(*ms).snow, 0.0);  // no snow has fallen yet
  hm.snow_present = 1;
  // Cell 3 lies under a channel lake; melt water counts in long-term runs only.
  EXPECT_NEAR(snow_storage(*ms).snow, (0.01 + 0.02 + 0.04) * 100.0, 1e-12);
  EXPECT_EQ(snow_storage(*ms).melt_water, 0.0);
  ms->clock.long_term = 1;
  EXPECT_NEAR(snow_storage(*ms).melt_water, (0.001 + 0.002 + 0.004) * 100.0, 1e-12);
}

// A uniform storm is the run's only event: every flux of the event equals
// the run's to the last bit, the event ends with the water the run ends
// with, and its balance closes.
class WaterBooks : public testing::process_test {};

TEST_F(WaterBooks, TheSingleEventOfAStormBooksWhatTheRunBooks) {
  testing::copy_example("plane");
  const testing::storm_run run = testing::run_storm("plane.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const water_ledger& l = run.ms->ledger;
  for (int f = 0; f < static_cast<int>(flux::count); ++f)
    EXPECT_EQ(l.event_total(static_cast<flux>(f)), l.run_total(static_cast<flux>(f))) << f;
  for (int s = 0; s < static_cast<int>(store::count); ++s) {
    EXPECT_EQ(l.storage(static_cast<store>(s), moment::event_start), l.storage(static_cast<store>(s), moment::run_start)) << s;
    EXPECT_EQ(l.storage(static_cast<store>(s), moment::event_end), l.storage(static_cast<store>(s), moment::run_end)) << s;
  }
  EXPECT_GT(l.run_total(flux::precipitation), 0.0);
  EXPECT_EQ(l.run_total(flux::precipitation), l.run_total(flux::rainfall_to_overland));  // no lakes
  EXPECT_NEAR(l.event().in_plus_initial, l.event().out_plus_final, 1e-9 * l.event().in_plus_initial);
}

// The snow example's four weeks starting under 0.05 m of snow water on its
// 30 cells of 900 m2 (1350 m3; snow lies and melts in long-term runs only):
// the run's books close, the summary shows the pack among the initial
// storages, and the thaw melts it with the snow that fell.
TEST_F(WaterBooks, ASnowPackAtTheStartClosesTheRunsBooks) {
  testing::copy_example("snow");
  testing::set_card("snow.prj", "INIT_SWE_DEPTH", "INIT_SWE_DEPTH 0.05");
  const testing::storm_run run = testing::run_storm("snow.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const water_ledger& l = run.ms->ledger;
  const double area = 30 * 900.0;
  EXPECT_NEAR(l.storage(store::snow, moment::run_start), 0.05 * area, 1e-9);
  // The two snowstorms add 38 mm; the pack is gone by the run's end.
  EXPECT_NEAR(l.run_total(flux::snowmelt) + l.storage(store::snow, moment::run_end) +
                  l.storage(store::melt_water, moment::run_end),
              (0.05 + 0.038) * area, 1e-6 * area);
  EXPECT_NEAR(l.run().overall_error, 0.0, 1e-9);
  EXPECT_NEAR(l.run().surface_error, 0.0, 1e-9);
  EXPECT_NE(testing::read_file("snow.sum").find("Initial volume of snow=                                1350.00 \n"),
            std::string::npos);
}

}  // namespace
}  // namespace nivra
