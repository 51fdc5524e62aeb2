// The hourly weather step in whole long-term runs: a level field of 3 x 3
// cells at the weather gage's elevation, whose weather, specific humidity
// and radiation at noon are worked out by hand, and which its weather given
// as uniform grids brings the same radiation; the records before the start
// skipped in every run of a process; the end of the weather data; and the
// long-term example, bare and under a canopy that dries between its storms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "clock/clock_state.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/weather_fixture.h"
#include "hydromet/weather_step.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "soil/soil_state.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "surface/lake_state.h"

namespace nivra::testing {
namespace {

std::string map(double value) {
  char body[128];
  std::snprintf(body, sizeof body, "%g %g %g\n%g %g %g\n%g %g %g\n", value, value, value, value, value, value, value,
                value, value);
  return std::string("north: 4400090.0\nsouth: 4400000.0\neast: 500090.0\nwest: 500000.0\nrows: 3\ncols: 3\n") + body;
}

// 10 June 2024 from 10:00 to 14:00; noon at 68 F, 50 % and 3 tenths of cloud
// under 29.5288 inches of mercury (1000 mb).
std::string weather() {
  std::string text;
  const char* hours[] = {"29.60 60 2 4 62 500.0 700.0", "29.55 55 2 5 65 650.0 850.0",
                         "29.5288 50 3 5 68 700.0 900.0", "29.52 48 4 6 69 680.0 880.0",
                         "29.51 47 4 6 70 600.0 800.0"};
  for (int h = 0; h < 5; ++h) text += "2024 6 10 " + std::to_string(10 + h) + " " + hours[h] + "\n";
  return text;
}

class WeatherStep : public process_test {
 protected:
  void SetUp() override {
    process_test::SetUp();
    write_file("field.msk", "north: 4400090.0\nsouth: 4400000.0\neast: 500090.0\nwest: 500000.0\nrows: 3\ncols: 3\n"
                            "1 1 1\n1 1 1\n1 1 1\n");
    write_file("field.ele", map(200.0));
    write_file("field.ks", map(0.5));
    write_file("field.hc", map(10.0));
    write_file("field.por", map(0.45));
    write_file("field.moi", map(0.2));
    write_file("field.pdi", map(0.25));
    write_file("field.rsd", map(0.05));
    write_file("field.alb", map(0.2));
    write_file("field.guv", weather());
    write_file("field.prj",
               "NIVRAPROJECT\nWATERSHED_MASK field.msk\nELEVATION field.ele\nROWS 3\nCOLS 3\nGRIDSIZE 30.0\n"
               "OUTROW 3\nOUTCOL 3\nOUTSLOPE 0.01\nMANNING_N 0.05\nOVERTYPE ADE\nTIMESTEP 60.0\n"
               "START_DATE 2024 6 10\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY 20.0\nRAIN_DURATION 60\n"
               "LONG_TERM\nHMET_GUV field.guv\nHMET_ELEV_GAGE 200.0\nHMET_XCOORD_GAGE 500045.0\n"
               "HMET_YCOORD_GAGE 4400045.0\nLATITUDE 40.0\nLONGITUDE 15.0\nGMT 1\nEVENT_MIN_Q 0.00001\n"
               "ET_CALC_DEARDORFF\nALBEDO field.alb\nINF_REDIST\nCONDUCTIVITY field.ks\nCAPILLARY field.hc\n"
               "POROSITY field.por\nMOISTURE field.moi\nPORE_INDEX field.pdi\nRESIDUAL_SAT field.rsd\n"
               "SUMMARY field.sum\nOUTLET_HYDRO field.otl\n");
  }
};

TEST_F(WeatherStep, TheNoonRecordReachesEveryCellAsWorkedOutByHand) {
  const storm_run r = run_storm("field.prj", {}, 1);
  ASSERT_NE(r.ms, nullptr);
  const hydromet_state& hm = r.ms->hydromet;
  // The run starts at noon: the records of 10:00 and 11:00 are passed over.
  EXPECT_EQ(hm.hmet_hour_hour, 12);
  EXPECT_NEAR(hm.hmet_pressure, 1000.0, 0.01);
  // Specific humidity at 20 C, 50 % and 1000 mb: e = 11.691 mb,
  // q = 0.622 e / (P - 0.378 e) = 7.304 g/kg.
  EXPECT_NEAR(hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(1, 10), 0.0073043, 2e-7);
  // Every cell lies at the gage: the gage's air.
  for (int c = 1; c <= 9; ++c) {
    EXPECT_NEAR(hm.cell_air_temp[c], 20.0, 1e-9);
    EXPECT_NEAR(hm.cell_rel_humidity[c], 50.0, 1e-6);
    EXPECT_NEAR(hm.cell_pressure[c], 1000.0, 0.01);
    EXPECT_EQ(hm.cell_cloud_cover[c], 3.0);  // tenths
    EXPECT_NEAR(hm.cell_wind_speed[c], 5 * 0.514444, 1e-12);
  }
  // The sun on day 161 at solar noon at 40 N: declination 22.962 degrees,
  // altitude 72.962 degrees; air mass 1.04519, optical depth 0.126963, the
  // earth 1.01545 times its mean distance from the sun.
  EXPECT_NEAR(hm.sun.altitude * 180.0 / 3.141592653589793, 72.9623, 1e-4);
  // Level ground, albedo 0.2, 3 tenths of cloud:
  // exp(-2 0.126963 1.04519) / 1.01545^2 x 1366 x sin(72.962) x (1 - 0.69205 x 0.3) x 0.8.
  EXPECT_NEAR(hm.R_short[5], 615.752, 0.01);
  // Longwave of air at 20 C with 11.685 mb of vapour: emissivity 0.0049 e + 0.74,
  // 293.15^4 x 0.79726 x 5.67e-8 x (1 + 0.17 x 0.3^2).
  EXPECT_NEAR(hm.R_long[5], 338.949, 0.01);
  EXPECT_EQ(hm.shade_by_hour(5, 12), 0);
  EXPECT_EQ(hm.shade_by_hour(5, 0), 1);
}

TEST_F(WeatherStep, GriddedWeatherBringsEveryCellTheRadiationOfTheSameRecord) {
  // The noon of the field from the station's table, then from its gridded
  // twin under either gridded card: every cell has the same air, the same
  // radiation for the snow and the same evapotranspiration.
  struct noon {
    double air, rh, short_wave, long_wave, snow_air, albedo, pet, aet, ground;
  };
  auto noon_of = [](const model_state& ms, int c) {
    const hydromet_state& hm = ms.hydromet;
    return noon{hm.cell_air_temp[c], hm.cell_rel_humidity[c], hm.R_short[c], hm.R_long[c], hm.snow_air_temp[c],
                hm.albedo_w_snow[c], hm.pet_rate[c], hm.aet_rate[c], hm.ground_temp[c]};
  };
  const storm_run station = run_storm("field.prj", {}, 1);
  ASSERT_NE(station.ms, nullptr);
  const noon s = noon_of(*station.ms, 5);
  EXPECT_GT(s.pet, 0.0);
  write_gridded_twin("field.guv", "field.lst", 3, 3, 500000.0, 4400000.0, 30.0);
  for (const char* card : {"HMET_ASCII", "HMET_ASCII_PET"}) {
    reset_process_state();
    set_card("field.prj", "HMET_", std::string(card) + " field.lst");
    const storm_run gridded = run_storm("field.prj", {}, 1);
    ASSERT_NE(gridded.ms, nullptr) << card;
    ASSERT_EQ(gridded.ms->hydromet.hmet_hour_hour, 12) << gridded.console.substr(0, 2000);
    for (int c = 1; c <= 9; ++c) {
      const noon g = noon_of(*gridded.ms, c);
      // The hand values of the record (TheNoonRecordReachesEveryCellAsWorkedOutByHand).
      EXPECT_NEAR(g.short_wave, 615.752, 0.01) << card << " cell " << c;
      EXPECT_NEAR(g.long_wave, 338.949, 0.01) << card << " cell " << c;
      auto same = [&](double a, double b, const char* what) {
        EXPECT_NEAR(a, b, 1e-9 * (1.0 + std::fabs(b))) << card << " cell " << c << ": " << what;
      };
      same(g.air, s.air, "air temperature");
      same(g.rh, s.rh, "relative humidity");
      same(g.short_wave, s.short_wave, "net shortwave");
      same(g.long_wave, s.long_wave, "longwave");
      same(g.snow_air, s.snow_air, "radiation temperature");
      same(g.albedo, s.albedo, "albedo");
      same(g.pet, s.pet, "potential evapotranspiration");
      same(g.aet, s.aet, "actual evapotranspiration");
      same(g.ground, s.ground, "ground temperature");
    }
  }
}

TEST_F(WeatherStep, EveryRunOfAProcessSkipsTheRecordsBeforeItsStart) {
  for (int run = 1; run <= 3; ++run) {
    const storm_run r = run_storm("field.prj", {}, 1);
    EXPECT_EQ(r.ms->hydromet.hmet_hour_hour, 12) << "run " << run;
    EXPECT_EQ(r.ms->hydromet.hmet_repaired, 0);
  }
}

TEST_F(WeatherStep, ARunStartingBeforeItsWeatherStops) {
  set_card("field.prj", "START_TIME", "START_TIME 9 0");
  const storm_run r = run_storm("field.prj", {}, 5);
  EXPECT_FALSE(r.ended);
  EXPECT_NE(r.console.find("field.guv begins at 2024/6/10 hour 10, after the run starts"), std::string::npos)
      << r.console;
}

// Without START_DATE the run starts at the weather's first hour: weather
// that begins after the first storm would pass over every storm. The run
// stops naming the file, its first hour and the first event's start.
TEST_F(WeatherStep, WeatherBeginningAfterTheFirstEventStopsTheRun) {
  copy_example("longterm");
  const std::string week = read_file("weather.guv");
  std::size_t at = 0;
  for (int line = 0; line < 48; ++line) at = week.find('\n', at) + 1;
  write_file("late.guv", week.substr(at));  // from 12 June 00:00; the first storm falls on 11 June at 14:00
  set_card("longterm.prj", "HMET_GUV", "HMET_GUV late.guv");
  const storm_run r = run_storm("longterm.prj", {}, 10);
  EXPECT_FALSE(r.ended);
  EXPECT_EQ(r.steps, 0);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_NE(r.console.find("Error: the weather file late.guv begins at 2024/6/12 hour 0, after the start of event 1 "
                           "of the\nprecipitation events (2024/6/11 14:00)"),
            std::string::npos)
      << r.console;
}

// Gage and weather-station coordinates in degrees put them thousands of km
// from a grid 300 m across: the run warns, naming each gage (once, however
// many events repeat it) and the station with their distances; the
// example's own coordinates draw no warning.
TEST_F(WeatherStep, GagesFarFromTheGridWarnNamingTheirDistance) {
  copy_example("longterm");
  storm_run r = run_storm("longterm.prj", {}, 1);
  EXPECT_EQ(r.console.find("from the grid"), std::string::npos) << r.console;

  std::string gages = read_file("storms.gag");
  for (std::size_t at = gages.find("COORD 500150.0 4400120.0"); at != std::string::npos;
       at = gages.find("COORD 500150.0 4400120.0", at))
    gages.replace(at, 24, "COORD 15.0021  40.0012  ");
  write_file("storms.gag", gages);
  set_card("longterm.prj", "HMET_XCOORD_GAGE", "HMET_XCOORD_GAGE 15.003");
  set_card("longterm.prj", "HMET_YCOORD_GAGE", "HMET_YCOORD_GAGE 40.0");
  r = run_storm("longterm.prj", {}, 1);
  ASSERT_NE(r.ms, nullptr);
  EXPECT_EQ(process.error_block.stop, 0) << r.console;
  // The grid spans 500000 to 500300 m east and 4400000 to 4400240 m north
  // (8 x 10 cells of 30 m): the gage lies 4,399,960 m south and 499,985 m
  // west of its south-west corner.
  const double gage = std::hypot(500000.0 - 15.0021, 4400000.0 - 40.0012);
  char line[400];
  std::snprintf(line, sizeof line,
                "Warning: gage 1 of event 1 (Afternoon thunderstorm of 11 June 2024) of the precipitation file "
                "storms.gag lies at 15.00, 40.00, %.0f m from the grid, which is 300 m across",
                gage);
  EXPECT_NE(r.console.find(line), std::string::npos) << r.console;
  EXPECT_EQ(r.console.find("Warning: gage 1 of event 2"), std::string::npos);  // the same position, named once
  std::snprintf(line, sizeof line,
                "Warning: the weather station (HMET_XCOORD_GAGE 15.00, HMET_YCOORD_GAGE 40.00) lies %.0f m from the "
                "grid, which is 300 m across",
                std::hypot(500000.0 - 15.003, 4400000.0 - 40.0));
  EXPECT_NE(r.console.find(line), std::string::npos) << r.console;
}

TEST_F(WeatherStep, WeatherEndingDuringTheLastEventWaitsForItsEnd) {
  // Rain until 16:00; the weather ends at 15:00 inside the event.
  set_card("field.prj", "RAIN_DURATION", "RAIN_DURATION 240");
  const storm_run r = run_storm("field.prj");
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_EQ(r.console.find("End of meteorology data reached"), std::string::npos);
  EXPECT_EQ(r.ms->clock.hmet_next_time, -10.0);
  EXPECT_GT(r.ms->clock.model_time, r.ms->clock.hmet_last_time + 2.0 / 24.0);  // past the end of the rain at 16:00
  EXPECT_LT(std::fabs(r.ms->ledger.run().overall_error), 1e-7);
}

TEST_F(WeatherStep, WeatherEndingBeforeTheLastEventEndsTheRun) {
  // A run that has a further event to come when its weather ends stops
  // there, its books closed.
  set_card("field.prj", "RAIN_DURATION", "RAIN_DURATION 240\nTOT_TIME 1440");
  const storm_run r = run_storm("field.prj", [](model_state& ms) { ms.clock.num_events = 2; });
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_NE(r.console.find("End of meteorology data reached.  NIVRA terminated\n"), std::string::npos);
  EXPECT_NEAR(r.ms->clock.model_time - r.ms->clock.hmet_last_time, 1.0 / 24.0, 1e-6);
  EXPECT_LT(std::fabs(r.ms->ledger.run().overall_error), 1e-7);
  const std::string summary = read_file("field.sum");
  EXPECT_NE(summary.find("Overall mass balance error ="), std::string::npos);
  // The console and the summary say when the weather ended, the TOT_TIME
  // asked for and the events the run did not reach.
  const std::string warning = "Warning: the weather data of field.guv end at 2024/6/10 hour 14, before the TOT_TIME "
                              "of 1440 minutes asked for (to 2024/6/11 12:00): the run ends with its weather, event 1 "
                              "cut short, event 2 of the precipitation events not simulated.\n";
  EXPECT_NE(r.console.find(warning), std::string::npos) << r.console;
  EXPECT_NE(summary.find(warning, summary.find("Overall mass balance error =")), std::string::npos) << summary;
}

TEST_F(WeatherStep, TwoOrographicGagesSetTheLapseRateOfTheHour) {
  // The northern row lies 100 m above the gage; the second gage, 1000 m
  // above the first, reads 14 C at noon (6 C per km colder than 20 C) and
  // nothing at 13:00, when HMET_LAPSE_RATE (5 C per km colder) stands in.
  std::string ele = map(200.0);
  ele.replace(ele.find("200 200 200\n"), 12, "300 300 300\n");
  write_file("field.ele", ele);
  write_file("field.oro", "second gage\nbase 200.0 upper 1200.0\nyear month day hour temperature\n"
                          "2024 6 10 10 9.0\n2024 6 10 11 11.5\n2024 6 10 12 14.0\n2024 6 10 13 -999.0\n"
                          "2024 6 10 14 15.0\n");
  set_card("field.prj", "HMET_OROG_GAGES", "HMET_OROG_GAGES field.oro");
  storm_run r = run_storm("field.prj", {}, 1);
  ASSERT_NE(r.ms, nullptr);
  EXPECT_NEAR(r.ms->hydromet.orog_lapse_rate, -6.0, 1e-9);
  EXPECT_NEAR(r.ms->hydromet.cell_air_temp[1], 20.0 - 0.6, 1e-9);
  EXPECT_NEAR(r.ms->hydromet.cell_air_temp[9], 20.0, 1e-9);
  r = run_storm("field.prj", {}, 62);
  const double t13 = (69.0 - 32.0) * 5.0 / 9.0;
  EXPECT_EQ(r.ms->hydromet.hmet_hour_hour, 13);
  EXPECT_NEAR(r.ms->hydromet.cell_air_temp[1], t13 - 0.5, 1e-9);
  EXPECT_EQ(r.ms->hydromet.hmet_repaired, 1);
}

TEST_F(WeatherStep, HourlyAveragesOverNoCellAreZero) {
  // Every cell under a channel lake: no cell to average over.
  const storm_run r = run_storm("field.prj", [](model_state& ms) {
    ms.lake.chan_lakes = 1;
    ms.lake.lake_mask.alloc(ms.grid.ncells);
    ms.lake.lake_mask.fill(1);
  }, 1);
  EXPECT_EQ(r.ms->hydromet.avg_theta, 0.0);
  EXPECT_EQ(r.ms->hydromet.avg_inf_rate, 0.0);
  EXPECT_EQ(r.ms->hydromet.hourly_aet, 0.0);
  EXPECT_NE(read_file("evap_out").find("2024/6/10  12:00     0.000000     0.000000     0.000000     0.000000"),
            std::string::npos)
      << read_file("evap_out");
}

// A later storm starts from the water the soil-moisture accounting left in
// the top zone at the end of the dry spell, not from the moisture map; and
// the surface moisture reported between the storms is that same water, so
// the hourly Theta runs on without a jump into the storm.
TEST_F(WeatherStep, ALaterStormStartsFromTheMoistureTheDrySpellLeft) {
  copy_example("longterm");
  std::vector<double> from_map, accounted, surface, started;
  int event = 0;
  bool checked = false;
  const storm_run r = run_storm(
      "longterm.prj", [&](model_state& ms) { from_map.assign(ms.soil.init_moisture.data(), ms.soil.init_moisture.data() + ms.grid.ncells + 1); },
      30000, [&](const model_state& ms) {
        const soil_state& s = ms.soil;
        if (ms.clock.event_index == 2 && event == 1 && !checked) {
          started.assign(s.init_moisture.data(), s.init_moisture.data() + ms.grid.ncells + 1);
          checked = true;
        }
        event = ms.clock.event_index;
        if (event != 1) return;
        // The accounting's top zone at the end of every step of the dry spell.
        accounted.assign(1, 0.0);
        surface.assign(1, 0.0);
        for (int c = 1; c <= ms.grid.ncells; ++c) {
          accounted.push_back(s.sm_water_top[c] / std::min(s.sm_depth[c], s.top_layer_depth));
          surface.push_back(s.surface_moisture[c]);
        }
      });
  ASSERT_TRUE(r.ended) << r.console.substr(0, 2000);
  ASSERT_TRUE(checked);
  const int n = r.ms->grid.ncells;
  ASSERT_EQ(static_cast<int>(started.size()), n + 1);
  ASSERT_EQ(static_cast<int>(accounted.size()), n + 1);
  double moved = 0.0;
  for (int c = 1; c <= n; ++c) {
    SCOPED_TRACE(c);
    EXPECT_NEAR(started[c], accounted[c], 1e-12);
    EXPECT_NEAR(surface[c], accounted[c], 1e-12);
    moved = std::max(moved, std::fabs(started[c] - from_map[c]));
  }
  // The storm and the dry spell changed the soil: the map is not what came back.
  EXPECT_GT(moved, 0.005);
  // No infiltration is reported while the surface is dry.
  EXPECT_NE(r.console.find("2024/6/14  2:00 PET cm/h 0.0000 AET cm/h 0.0000 Infil cm/h 0.0000"), std::string::npos)
      << r.console.substr(0, 4000);
}

// The hourly line is a long-term run's progress line: QUIET leaves it out
// with the step's progress lines.
TEST_F(WeatherStep, QuietLeavesOutTheHourlyLines) {
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    reset_process_state();
    copy_example("longterm");
    if (quiet) set_card("longterm.prj", "QUIET", "QUIET");
    const storm_run r = run_storm("longterm.prj", {}, 2000);
    EXPECT_EQ(r.console.find("PET cm/h") == std::string::npos, quiet) << r.console.substr(0, 2000);
  }
}

// A site anywhere on the globe runs: the equator, south and west of it;
// only a site left out stops a long-term run.
TEST_F(WeatherStep, LongTermRunsTakeAnySiteAndNeedOne) {
  const struct {
    const char* card;
    const char* line;
    bool runs;
  } cases[] = {
      {"LATITUDE", "LATITUDE -33.9", true},   {"LONGITUDE", "LONGITUDE -70.6", true},
      {"LATITUDE", "LATITUDE 0", true},       {"LONGITUDE", "LONGITUDE 0", true},
      {"LATITUDE", "LATITUDE -90", true},     {"LONGITUDE", "LONGITUDE -180", true},
      {"LATITUDE", "", false},                {"LONGITUDE", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.card) + ": " + c.line);
    const std::string console = run_example_with_card("longterm", "longterm", c.card, c.line);
    EXPECT_EQ(process.error_block.stop == 0, c.runs) << console.substr(0, 2000);
    EXPECT_EQ(console.find("Latitude and longitude of basin centroid required for long-term simulations") ==
                  std::string::npos,
              c.runs);
  }
}

TEST_F(WeatherStep, TheEvaporationFileGivesTheMeanDepthDrainedBelowTheSoil) {
  // Drainage waiting for the water table: 0.1 cm under cell 1 up to 0.9 cm
  // under cell 9, 0.5 cm over the field; the hour's own drainage adds to it.
  std::vector<double> held;
  const storm_run r = run_storm("field.prj", [](model_state& ms) {
    for (int c = 1; c <= ms.grid.ncells; ++c) ms.soil.unsat_down_flux[c] = 0.1 * c;
  }, 1, [&held](const model_state& ms) {
    held.assign(ms.soil.unsat_down_flux.data() + 1, ms.soil.unsat_down_flux.data() + 1 + ms.grid.ncells);
  });
  ASSERT_NE(r.ms, nullptr);
  ASSERT_EQ(held.size(), 9u);
  double mean = 0.0;
  for (double d : held) mean += d / 9.0;
  EXPECT_GE(mean, 0.5 - 1e-12);
  EXPECT_NEAR(r.ms->hydromet.avg_down_flux, mean, 1e-12);
  // The fifth column of the hour's line.
  const std::string text = read_file("evap_out");
  const std::size_t at = text.find("2024/6/10  12:00");
  ASSERT_NE(at, std::string::npos) << text;
  double v[5] = {};
  ASSERT_EQ(std::sscanf(text.c_str() + at + 16, "%lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4]), 5) << text;
  EXPECT_NEAR(v[4], mean, 1e-6);
}

TEST_F(WeatherStep, TheLongTermExampleRunsThroughItsWeek) {
  copy_example("longterm");
  const storm_run r = run_storm("longterm.prj", {}, 30000);
  ASSERT_TRUE(r.ended) << r.console.substr(0, 2000);
  const hydromet_state& hm = r.ms->hydromet;
  EXPECT_EQ(hm.hmet_repaired, 2);  // the two readings the station missed
  EXPECT_EQ(hm.hmet_end_day, 16);
  EXPECT_EQ(hm.hmet_end_hour, 23);
  // Three storms; the weather ended during the last, which finished after it.
  EXPECT_EQ(r.ms->clock.events_finished, 3);
  EXPECT_EQ(r.ms->clock.hmet_next_time, -10.0);
  EXPECT_LT(std::fabs(r.ms->ledger.run().overall_error), 1e-7);
  // One line of the evaporation output per hour of weather.
  EXPECT_EQ(count_lines("evap_out"), 1 + 7 * 24);
  // Cells above the gage are cooler than those below it.
  const int top = r.ms->grid.mask[1][10], bottom = r.ms->grid.mask[8][10];
  EXPECT_LT(hm.cell_air_temp[top], hm.cell_air_temp[bottom]);
}

// Without OROGVAR_HMET the evapotranspiration takes the station's air as
// recorded: evap_out's temp(C) is the record's 79 F at noon of 10 June
// (26.11 C) wherever the station stands, and so is the PET, while the
// cells' own temperatures, carried from the station's elevation, move a
// kilometre's lapse. The header names every column of the rows.
TEST_F(WeatherStep, TheEvaporationFileGivesTheTemperatureTheEvapotranspirationTook) {
  struct noon {
    double pet, temp, cells;
  };
  auto run_with_gage_at = [](const char* elevation) {
    reset_process_state();
    copy_example("longterm");
    set_card("longterm.prj", "HMET_ELEV_GAGE", std::string("HMET_ELEV_GAGE ") + elevation);
    double cells = 0.0;
    const storm_run r = run_storm("longterm.prj", {}, 1500, [&cells](const model_state& ms) {
      if (ms.hydromet.hmet_hour_day == 10 && ms.hydromet.hmet_hour_hour == 12) cells = ms.hydromet.cell_air_temp[1];
    });
    const std::string text = read_file("evap_out");
    const std::size_t header_end = text.find('\n');
    int names = 0;
    for (std::size_t i = 0; i < header_end; ++i)
      if (text[i] != ' ' && (i == 0 || text[i - 1] == ' ')) ++names;
    const std::size_t at = text.find("2024/6/10  12:00");
    EXPECT_NE(at, std::string::npos) << text.substr(0, 400);
    double v[10] = {};
    const int read = std::sscanf(text.c_str() + at + 16, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2],
                                 &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9]);
    EXPECT_EQ(names, 2 + read) << text.substr(0, header_end);  // date and hour, then one name per value
    return noon{v[1], v[6], cells};
  };
  const noon low = run_with_gage_at("210.0"), high = run_with_gage_at("1210.0");
  EXPECT_NEAR(low.temp, (79.0 - 32.0) * 5.0 / 9.0, 1e-6);
  EXPECT_NEAR(high.temp, low.temp, 1e-6);
  EXPECT_GT(low.pet, 0.0);
  EXPECT_NEAR(high.pet, low.pet, 1e-6);
  EXPECT_GT(high.cells - low.cells, 4.0);
}

// A map of the long-term example's grid (8 x 10) holding one value.
std::string longterm_map(double value) {
  std::string text = "north: 4400240.0\nsouth: 4400000.0\neast: 500300.0\nwest: 500000.0\nrows: 8\ncols: 10\n";
  char v[32];
  std::snprintf(v, sizeof v, "%g", value);
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 10; ++c) text += std::string(c ? " " : "") + v;
    text += "\n";
  }
  return text;
}

TEST_F(WeatherStep, TheCanopyDriesBetweenStormsAndTheBooksClose) {
  // Woodland over the long-term example holds up to 2 mm of each storm on
  // its canopy; what it holds at the end of a storm has dried before the
  // next begins.
  copy_example("longterm");
  write_file("canopy.cap", longterm_map(2.0));
  write_file("canopy.icf", longterm_map(0.15));
  set_card("longterm.prj", "STORAGE_CAPACITY", "STORAGE_CAPACITY canopy.cap");
  set_card("longterm.prj", "INTERCEPTION_COEFF", "INTERCEPTION_COEFF canopy.icf");
  const storm_run r = run_storm("longterm.prj", {}, 30000);
  ASSERT_TRUE(r.ended) << r.console.substr(0, 2000);
  EXPECT_EQ(r.ms->clock.events_finished, 3);
  const water_ledger& l = r.ms->ledger;
  // The canopy's own books: what it took in dried between the storms or
  // is still held at the end.
  const double taken = l.run_total(water_flux::interception);
  const double dried = l.run_total(water_flux::canopy_drying);
  const double held = l.storage(water_store::canopy, ledger_moment::run_end);
  EXPECT_GT(dried, 0.1 * taken);
  EXPECT_NEAR(dried + held, taken, 1e-9 * taken);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-7);
}

}  // namespace
}  // namespace nivra::testing
