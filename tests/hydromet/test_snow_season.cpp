// Snow seasons in whole long-term runs: the snow example accumulates two
// storms of snow in its cold weeks, melts them into the ground in the thaw
// and evaporates water back, its run summary balancing snow, melt, runoff,
// infiltration and evapotranspiration; the same season under gridded
// weather; the release of the melt waves onto the cells, each hour's melt
// over the hour whatever the step; and the long-term example, which now
// loses water by evapotranspiration and still closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "clock/clock_state.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/snow_fixture.h"
#include "hydromet/snow_melt.h"
#include "hydromet/snow_step.h"
#include "hydromet/snow_storage.h"
#include "hydromet/weather_fixture.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/run_summary.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "soil/soil_state.h"
#include "support/test_support.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

// The number after a label of the run summary.
double summary_value(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// A long-term run with its largest snow storage and frozen-ground index.
struct season_run {
  storm_run run;
  double peak_snow = 0.0;   // m3
  double peak_frost = 0.0;  // largest frozen-ground index of a cell
};

season_run run_season(const std::string& project) {
  season_run r;
  r.run = run_storm(project, {}, 100000, [&r](const model_state& ms) {
    r.peak_snow = std::max(r.peak_snow, snow_storage(ms).snow);
    for (int c = 1; c <= ms.hydromet.cfgi_cell.size(); ++c) r.peak_frost = std::max(r.peak_frost, ms.hydromet.cfgi_cell[c]);
  });
  return r;
}

class SnowSeason : public process_test {};

TEST_F(SnowSeason, TheSnowExampleAccumulatesMeltsAndEvaporatesWithClosedBalances) {
  copy_example("snow");
  const season_run r = run_season("snow.prj");
  ASSERT_TRUE(r.run.ended) << r.run.console.substr(0, 3000);
  const model_state& ms = *r.run.ms;
  const water_ledger& l = ms.ledger;
  const double area = 30 * 30.0 * 30.0;
  // The two snowstorms, 18 and 20 mm, lay on every cell; the thaw melted
  // all of it onto the ground.
  EXPECT_NEAR(r.peak_snow, 0.038 * area, 1e-6 * area);
  EXPECT_NEAR(l.run_total(water_flux::snowmelt), 0.038 * area, 1e-9 * area);
  EXPECT_EQ(ms.hydromet.snow_present, 0);
  EXPECT_NEAR(l.storage(water_store::snow, ledger_moment::run_end), 0.0, 1e-9);
  EXPECT_NEAR(l.storage(water_store::melt_water, ledger_moment::run_end), 0.0, 1e-6);
  // The cold weeks froze the ground, below the project's threshold; most
  // of the melt entered the soil.
  EXPECT_GT(r.peak_frost, 83.0);
  EXPECT_LT(r.peak_frost, 150.0);
  EXPECT_GT(l.run_total(water_flux::infiltration), 0.026 * area + 0.5 * 0.038 * area);
  // Water went back to the air from the bare ground.
  EXPECT_GT(l.run_total(water_flux::evaporation), 0.05 * l.run_total(water_flux::precipitation));
  EXPECT_GT(l.run_total(water_flux::infiltration), 0.0);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  EXPECT_LT(std::fabs(l.run().surface_error), 1e-9);
  EXPECT_LT(std::fabs(l.run().soil_layer_error), 1e-9);

  // The run summary balances its lines: the snow that fell and melted, the
  // runoff, the water that entered the soil, the evapotranspiration and
  // what drained below the soil's column.
  const std::string sum = read_file("snow.sum");
  const double precip = summary_value(sum, "Total amount of precip=");
  const double melt = summary_value(sum, "Total snowmelt and rain through the pack=");
  const double soil0 = summary_value(sum, "Initial volume in soil over simple soil depth");
  const double soil1 = summary_value(sum, "Final volume in soil over simple soil depth");
  const double surface1 = summary_value(sum, "Final volume on surface=");
  const double snow1 = summary_value(sum, "Final volume of snow=");
  const double melt1 = summary_value(sum, "Final volume of melt water =");
  const double et = summary_value(sum, "Total amount of evaporation=");
  const double runoff = summary_value(sum, "Total amount of discharge=");
  const double infiltrated = summary_value(sum, "Total amount of infiltration=");
  const double drained = summary_value(sum, "Total downward flux from unsaturated zone=");
  EXPECT_NEAR(melt, 0.038 * area, 0.01);
  EXPECT_NEAR(precip + soil0, soil1 + surface1 + snow1 + melt1 + et + runoff + drained, 0.05);
  EXPECT_NEAR(precip, infiltrated + runoff + surface1 + snow1 + melt1 +
                          summary_value(sum, "Total direct evaporation="), 0.05);
  EXPECT_NE(r.run.console.find("PET cm/h"), std::string::npos);
}

// An event of no rain over the first two days of the thaw (14 and 15 March),
// in which nearly all the pack melts: its summary's melt line is the water
// the pack let go in the event, which the pack's own lines balance: the
// snow and melt water it held at the event's start less what it holds at
// its end.
TEST_F(SnowSeason, AnEventsMeltLineIsTheMeltOfTheEvent) {
  copy_example("snow");
  std::string storms = read_file("storms.gag");
  const std::size_t third = storms.find("EVENT Rain on the thawing slope");
  ASSERT_NE(third, std::string::npos);
  storms.insert(third,
                "EVENT Dry days of the thaw, 14 and 15 March 2024\nNRGAG 1\nNRPDS 2\nCOORD 600090.0 4650075.0  Slope gage\n"
                "GAGES 2024 3 14 06 00    0.0\nGAGES 2024 3 16 00 00    0.0\n\n");
  write_file("storms.gag", storms);
  const season_run r = run_season("snow.prj");
  ASSERT_TRUE(r.run.ended) << r.run.console.substr(0, 3000);
  EXPECT_EQ(r.run.ms->clock.events_finished, 5);
  const std::string sum = read_file("snow.sum");
  const std::size_t at = sum.find("SIMULATION SUMMARY- EVENT 3\n");
  ASSERT_NE(at, std::string::npos);
  const std::string event = sum.substr(at, sum.find("SIMULATION SUMMARY- EVENT 4\n") - at);
  const double melt = summary_value(event, "snowmelt and rain through the pack:");
  const double pack_before = summary_value(event, "initial liquid-equiv. volume of snow:") +
                             summary_value(event, "initial volume of melt water:");
  const double pack_after = summary_value(event, "final volume of snow (cu. m):") +
                            summary_value(event, "final volume of melt water (cu. m):");
  EXPECT_EQ(summary_value(event, "volume of rainfall to overland:"), 0.0);
  const double area = 30 * 30.0 * 30.0;
  EXPECT_GT(melt, 0.9 * 0.038 * area) << event;  // nearly all the 38 mm pack
  EXPECT_NEAR(melt, pack_before - pack_after, 0.2) << event;  // four lines of 0.1 m3
}

TEST_F(SnowSeason, MeltRunsOffGroundFrozenPastItsThreshold) {
  copy_example("snow");
  const season_run r = run_season("snow_frozen.prj");
  ASSERT_TRUE(r.run.ended) << r.run.console.substr(0, 3000);
  const water_ledger& l = r.run.ms->ledger;
  const double area = 30 * 30.0 * 30.0;
  // Only the 26 mm of the two rain storms, which fall once the ground has
  // thawed, enter the soil; the 38 mm of melt run off.
  EXPECT_NEAR(l.run_total(water_flux::infiltration), 0.026 * area, 1e-6 * area);
  EXPECT_GT(l.run_total(water_flux::outlet_discharge), 0.95 * 0.038 * area);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
}

// A map of the snow example's grid with one value, and one cell changed.
std::string snow_map(double value, int row = 0, int col = 0, double odd = 0.0) {
  std::string text = "north: 4650150.0\nsouth: 4650000.0\neast: 600180.0\nwest: 600000.0\nrows: 5\ncols: 6\n";
  for (int r = 1; r <= 5; ++r) {
    for (int c = 1; c <= 6; ++c) text += std::to_string(r == row && c == col ? odd : value) + (c < 6 ? " " : "\n");
  }
  return text;
}

// The snow example under Penman-Monteith, with its four maps.
void penman_project() {
  copy_example("snow");
  set_card("snow.prj", "ET_CALC_DEARDORFF", "ET_CALC_PENMAN");
  write_file("snow.veg", snow_map(0.12));
  write_file("snow.kt", snow_map(0.8));
  write_file("snow.rs", snow_map(70.0));
  write_file("snow.wp", snow_map(0.1));
  set_card("snow.prj", "VHEIGHT", "VHEIGHT snow.veg");
  set_card("snow.prj", "TCOEFF", "TCOEFF snow.kt");
  set_card("snow.prj", "CANOPY", "CANOPY snow.rs");
  set_card("snow.prj", "WILTING_POINT", "WILTING_POINT snow.wp");
}

TEST_F(SnowSeason, PenmanMonteithReadsItsMapsAndCloses) {
  penman_project();
  const season_run r = run_season("snow.prj");
  ASSERT_TRUE(r.run.ended) << r.run.console.substr(0, 3000);
  EXPECT_NE(r.run.console.find("reading vegetation-height map from file: snow.veg"), std::string::npos);
  EXPECT_NEAR(r.run.ms->hydromet.Rs[7], 70.0, 1e-12);
  EXPECT_NEAR(r.run.ms->soil.wilting_point_cell[30], 0.1, 1e-12);
  const water_ledger& l = r.run.ms->ledger;
  EXPECT_GT(l.run_total(water_flux::evaporation), 0.0);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  EXPECT_LT(std::fabs(l.run().soil_layer_error), 1e-9);
}

// The Penman-Monteith snow slope laid level at its gage's 290 m, where no
// lapse rate acts, with its weather to 20 March (the two snowstorms, the
// thaw that melts them by the 19th and a day of bare ground) as the
// station's table and as the table's gridded twin (uniform grids of the same
// hours): hour by hour the two give every cell the same radiation, snow and
// evapotranspiration, and the season the same melt and water books.
TEST_F(SnowSeason, GriddedWeatherMeltsAndEvaporatesAsTheStationsTable) {
  penman_project();
  write_file("snow.ele", snow_map(290.0));
  std::istringstream table(read_file("weather.guv"));
  std::string line, weather;
  int year, month, day;
  while (std::getline(table, line)) {
    if (std::sscanf(line.c_str(), "%d %d %d", &year, &month, &day) == 3 && day <= 20) weather += line + "\n";
  }
  write_file("weather.guv", weather);
  struct season {
    std::vector<double> hourly;  // per weather hour: cell 1's radiation, snow and rates, the mean potential rate
    std::unique_ptr<model_state> ms;
  };
  auto run = [] {
    season s;
    int hour = -1;
    storm_run r = run_storm("snow.prj", {}, 100000, [&](const model_state& ms) {
      const hydromet_state& hm = ms.hydromet;
      if (hm.hmet_record_count == hour) return;
      hour = hm.hmet_record_count;
      double pet = 0.0;
      for (int c = 1; c <= ms.grid.ncells; ++c) pet += hm.pet_rate[c];
      for (double v : {hm.R_short[1], hm.R_long[1], hm.snow_air_temp[1], hm.albedo_w_snow[1], hm.snow_swe[1],
                       hm.ground_temp[1], hm.aet_rate[1], pet})
        s.hourly.push_back(v);
    });
    EXPECT_TRUE(r.ended) << r.console.substr(0, 3000);
    s.ms = std::move(r.ms);
    return s;
  };
  const season station = run();
  write_gridded_twin("weather.guv", "weather.lst", 5, 6, 600000.0, 4650000.0, 30.0);
  set_card("snow.prj", "HMET_GUV", "HMET_ASCII weather.lst");
  reset_process_state();
  const season gridded = run();
  ASSERT_EQ(gridded.hourly.size(), station.hourly.size());
  ASSERT_EQ(station.hourly.size(), 8u * 20 * 24);
  for (std::size_t k = 0; k < station.hourly.size(); ++k) {
    const double a = gridded.hourly[k], b = station.hourly[k];
    ASSERT_NEAR(a, b, 1e-9 * (1.0 + std::fabs(b))) << "hour " << k / 8 << ", value " << k % 8;
  }
  // The snow melted and the slope evaporated under both.
  const double area = 30 * 30.0 * 30.0;
  const water_ledger& g = gridded.ms->ledger;
  const water_ledger& t = station.ms->ledger;
  EXPECT_NEAR(g.run_total(water_flux::snowmelt), 0.038 * area, 1e-9 * area);
  EXPECT_GT(g.run_total(water_flux::evaporation), 0.1 * g.run_total(water_flux::precipitation));
  for (water_flux f : {water_flux::snowmelt, water_flux::evaporation, water_flux::infiltration,
                       water_flux::outlet_discharge}) {
    EXPECT_NEAR(g.run_total(f), t.run_total(f), 1e-9 * area);
  }
  EXPECT_LT(std::fabs(g.run().overall_error), 1e-9);
}

TEST_F(SnowSeason, ABadPenmanMapStopsTheRunNamingIt) {
  struct bad_map {
    const char* file;
    std::string text;
    const char* message;
  };
  const bad_map cases[] = {
      {"snow.veg", snow_map(0.12, 2, 3, NAN), "snow.veg holds nan at row 2, column 3"},
      {"snow.kt", snow_map(0.8, 5, 6, 1.5), "snow.kt holds 1.5"},
      {"snow.rs", snow_map(70.0, 1, 1, -3.0), "snow.rs holds -3"},
      {"snow.wp", snow_map(0.1, 4, 2, 2.0), "snow.wp holds 2"},
  };
  for (const bad_map& k : cases) {
    SCOPED_TRACE(k.file);
    reset_process_state();
    penman_project();
    write_file(k.file, k.text);
    const season_run r = run_season("snow.prj");
    EXPECT_FALSE(r.run.ended);
    EXPECT_EQ(process.error_block.stop, 1);
    EXPECT_NE(r.run.console.find(k.message), std::string::npos) << r.run.console.substr(0, 3000);
  }
}

TEST_F(SnowSeason, MeltWavesReleaseByTheStepAndAllOnceTheSnowIsGone) {
  auto ms = make_model_state();
  ms->grid.ncells = 2;
  ms->grid.grid_size = 10.0;
  ms->clock.long_term = 1;
  ms->clock.time_tol = 1e-7;
  ms->clock.model_time = 10.0;
  ms->clock.base_dt = 600.0;
  ms->clock.melt_dt_days = 600.0 / 86400.0;
  ms->clock.melt_last_time = 10.0 - 600.0 / 86400.0;
  ms->clock.melt_next_time = 10.0;
  ms->overland.ov_depth.alloc(2);
  ms->overland.ov_water_at_start = 1;  // an event is under way
  hydromet_state& hm = ms->hydromet;
  hm.snow_swe.alloc(2);
  hm.snow_melt_to_ov.alloc(2);
  hm.Melt_Waves.alloc(2, 6, 3);
  hm.melt_wave_slots = 1;
  hm.melt_period = hm.melt_pending = 1;
  hm.snow_swe[1] = 0.05;  // still snowy: ten minutes of 6 mm/h
  hm.snow_swe[2] = 0.0;   // the snow is gone: all of it now
  for (int c = 1; c <= 2; ++c) {
    const melt_waves w{&hm.Melt_Waves(c, 0, 0)};
    w.amount(1) = hm.snow_melt_to_ov[c] = 0.004;
    w.rate(1) = 0.006;
  }
  apply_snowmelt(*ms);
  EXPECT_NEAR(ms->overland.ov_depth[1], 0.001, 1e-15);
  EXPECT_NEAR(hm.snow_melt_to_ov[1], 0.003, 1e-15);
  EXPECT_NEAR(ms->overland.ov_depth[2], 0.004, 1e-15);
  EXPECT_EQ(hm.snow_melt_to_ov[2], 0.0);
  EXPECT_NEAR(ms->ledger.run_total(water_flux::snowmelt), 0.005 * 100.0, 1e-12);
  EXPECT_EQ(hm.melt_pending, 1);
  EXPECT_NEAR(ms->clock.melt_next_time, 10.0 + 600.0 / 86400.0, 1e-12);
}

// Two hours of melt of one snowy cell (the temperature index at 5 C, then
// at 8 C, on 21 March) released through the model steps of an hour in
// `steps` equal parts: the melt on the ground after the first hour, half-way
// through the second and after it.
struct melt_release {
  double first_hour, second_hour;  // m, the snow step's melt
  double after_first, mid_second, after_second;  // m, on the ground
};
melt_release release_two_hours(int steps) {
  auto ms = make_model_state();
  ms->grid.ncells = 1;
  ms->grid.grid_size = 10.0;
  ms->overland.ov_depth.alloc(1);
  ms->overland.ov_water_at_start = 1;  // an event is under way
  hydromet_state& hm = ms->hydromet;
  set_snow_cells(hm, 1);
  hm.snow_swe[1] = 0.1;
  hm.snow_present = 1;
  hm.PLWHC[1] = 0.0;
  hm.nwsrfs_snow = 1;
  clock_state& clock = ms->clock;
  const double dt = 3600.0 / steps, dt_days = dt / 86400.0;
  clock.long_term = 1;
  clock.time_tol = 1e-7;
  clock.melt_dt_days = dt_days;
  snow_step_cells cells;
  cells.n = 1;
  cells.month = 3;
  cells.day = 21;
  melt_release m;
  int step = 0;
  for (const double T : {5.0, 8.0}) {
    clock.model_time = 10.0 + step * dt_days;
    hm.snow_air_temp[1] = T;
    const snow_step_result r = snow_cell_step(hm, cells);
    EXPECT_EQ(r.status, snow_status::ok);
    (T == 5.0 ? m.first_hour : m.second_hour) = r.melt;
    hm.melt_pending = r.melt_pending;
    if (!hm.melt_period) {
      hm.melt_period = 1;
      clock.melt_next_time = clock.model_time;
      clock.melt_last_time = clock.model_time - dt_days;
    }
    for (int k = 0; k < steps; ++k, ++step) {
      clock.model_time = 10.0 + step * dt_days;
      apply_snowmelt(*ms);
      if (T == 8.0 && 2 * (k + 1) == steps) m.mid_second = ms->overland.ov_depth[1];
    }
    (T == 5.0 ? m.after_first : m.after_second) = ms->overland.ov_depth[1];
  }
  return m;
}

// Each hour's melt reaches the ground evenly over the hour whatever the
// model step. The steps' shares can leave a rounding remainder in the wave
// at the hour's end, in some steps and not in others; a wave that kept the
// hour's rate for its remainder and took the new melt on top would release
// the next hour's melt at nearly twice its rate in those steps only, and
// the infiltration of a thaw would scatter with the step.
TEST_F(SnowSeason, EachHoursMeltReachesTheGroundOverTheHourWhateverTheStep) {
  for (const int steps : {1, 2, 6, 7, 16, 60, 120, 240, 480, 960, 1920}) {
    SCOPED_TRACE(steps);
    const melt_release m = release_two_hours(steps);
    // The index by hand: 0.1 mm a degree in the hour.
    EXPECT_NEAR(m.first_hour, 0.0005, 1e-12);
    EXPECT_NEAR(m.second_hour, 0.0008, 1e-12);
    EXPECT_NEAR(m.after_first, m.first_hour, 1e-15);
    EXPECT_NEAR(m.after_second, m.first_hour + m.second_hour, 1e-15);
    if (steps % 2 == 0) {
      EXPECT_NEAR(m.mid_second, m.first_hour + 0.5 * m.second_hour, 1e-15);
    }
  }
}

// The snow example's infiltration (most of it the thaw's melt) at its
// TIMESTEP of 60 s, at 30 s and at 15 s: each halving moves it the same way
// and by less than the one before, and 60 s is within 0.2 % of 15 s.
TEST_F(SnowSeason, TheThawsInfiltrationConvergesAsTheStepHalves) {
  double infiltration[3];
  const char* steps[3] = {"TIMESTEP 60.0", "TIMESTEP 30.0", "TIMESTEP 15.0"};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(steps[k]);
    const std::string console = run_example_with_card("snow", "snow", "TIMESTEP", steps[k]);
    ASSERT_EQ(process.error_block.stop, 0) << console.substr(0, 3000);
    infiltration[k] = summary_value(read_file("snow.sum"), "Total amount of infiltration=");
  }
  const double first = infiltration[1] - infiltration[0], second = infiltration[2] - infiltration[1];
  EXPECT_GT(first * second, 0.0) << infiltration[0] << " " << infiltration[1] << " " << infiltration[2];
  EXPECT_LT(std::fabs(second), std::fabs(first));
  EXPECT_NEAR(infiltration[0], infiltration[2], 0.002 * infiltration[2]);
}

TEST_F(SnowSeason, TheLongTermExampleEvaporatesAndCloses) {
  copy_example("longterm");
  const storm_run r = run_storm("longterm.prj", {}, 30000);
  ASSERT_TRUE(r.ended) << r.console.substr(0, 2000);
  const water_ledger& l = r.ms->ledger;
  EXPECT_GT(l.run_total(water_flux::evaporation), 0.1 * l.run_total(water_flux::precipitation));
  EXPECT_GT(l.run_total(water_flux::direct_evaporation), 0.0);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-7);
  EXPECT_LT(std::fabs(l.run().surface_error), 1e-7);
  EXPECT_LT(std::fabs(l.run().soil_layer_error), 1e-7);
  EXPECT_EQ(r.console.find("not available"), std::string::npos);
}

}  // namespace
}  // namespace nivra::testing
