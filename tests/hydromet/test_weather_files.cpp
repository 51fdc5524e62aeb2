// The weather files of long-term runs: units converted to the model's,
// missing readings repaired and counted, faults named with their line and
// value, SAMSON's hour 24, Surface Airways' packed values and gridded
// weather dated from its file names, its global radiation split as the
// station table's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "core/guarded_file.h"
#include "hydromet/evapotranspiration.h"
#include "hydromet/weather_files.h"
#include "hydromet/weather_fixture.h"
#include "model/model_state.h"
#include "support/test_support.h"

namespace nivra::testing {
namespace {

// Writes a weather file and loads it; false when the reader refused it.
inline bool load_weather_text(weather_reader& reader, int format, const std::string& name, const std::string& text,
                              const grid_state& grid, std::string* header = nullptr) {
  write_file(name, text);
  guarded_file f;
  if (!open_guarded_file(f, name, "r")) return false;
  std::string h;
  const bool ok = reader.load(format, f, name, grid, true, h);
  if (header) *header = h;
  return ok;
}

class WeatherFiles : public process_test {
 protected:
  // Loads text as a weather file; the console is kept in out.
  bool load(int format, const std::string& text, std::string* header = nullptr) {
    ::testing::internal::CaptureStdout();
    const bool ok = load_weather_text(reader, format, "weather.txt", text, ms->grid, header);
    out = ::testing::internal::GetCapturedStdout();
    return ok;
  }
  weather_values next() {
    weather_values v;
    EXPECT_EQ(reader.next(v, repaired, nullptr), 1);
    return v;
  }
  std::unique_ptr<model_state> ms = make_model_state();
  weather_reader reader;
  int repaired = 0;
  std::string out;
};

// One line of the plain table.
std::string guv(int day, int hour, const char* rest) {
  char line[160];
  std::snprintf(line, sizeof line, "2024 6 %d %d %s\n", day, hour, rest);
  return line;
}

TEST_F(WeatherFiles, StationTableConvertsToModelUnits) {
  ASSERT_TRUE(load(weather_format::guv, guv(10, 0, "29.92 50 7 10 32 100.0 300.0")));
  const weather_values v = next();
  EXPECT_NEAR(v.pressure, 1013.25, 1e-9);     // 29.92 inches of mercury
  EXPECT_NEAR(v.temperature, 0.0, 1e-12);     // 32 F
  EXPECT_NEAR(v.wind_speed, 5.14444, 1e-12);  // 10 knots
  EXPECT_EQ(v.cloud_cover, 7.0);              // tenths, as every format delivers it
  EXPECT_NEAR(v.cloud_cover / 10.0, 0.7, 1e-15);
  EXPECT_EQ(v.rel_humidity, 50.0);
  EXPECT_EQ(v.direct_rad, 100.0);
  EXPECT_EQ(v.global_rad, 200.0);  // the diffuse part: global less direct
  EXPECT_EQ(repaired, 0);
  weather_values none;
  EXPECT_EQ(reader.next(none, repaired, nullptr), 0);  // the end of the data
}

// The readings may carry decimals, as README's example writes them: 55.0 F
// is 12.78 C, and 55.4 F is not rounded to a whole degree.
TEST_F(WeatherFiles, StationReadingsMayCarryDecimals) {
  ASSERT_TRUE(load(weather_format::guv, guv(10, 0, "29.92 65.5 3.0 6.5 55.0 400 520") +
                                            guv(10, 1, "29.92 65 3 6 55.4 400 520")))
      << out;
  weather_values v = next();
  EXPECT_NEAR(v.temperature, (55.0 - 32.0) * 5.0 / 9.0, 1e-12);
  EXPECT_EQ(v.rel_humidity, 65.5);
  EXPECT_EQ(v.cloud_cover, 3.0);
  EXPECT_NEAR(v.wind_speed, 6.5 * 0.514444, 1e-12);
  v = next();
  EXPECT_NEAR(v.temperature, (55.4 - 32.0) * 5.0 / 9.0, 1e-12);
  EXPECT_EQ(repaired, 0);
}

TEST_F(WeatherFiles, MissingReadingsTakeTheSameHourOfAnEarlierDayAndAreCounted) {
  // Two days; the temperature rises through each day (day 1 from 50 F, day
  // 2 from 70 F); day 2 misses its 14:00 temperature and its 15:00 pressure.
  std::string text;
  for (int day = 1; day <= 2; ++day)
    for (int hour = 0; hour < 24; ++hour) {
      char rest[80];
      const bool no_t = day == 2 && hour == 14, no_p = day == 2 && hour == 15;
      std::snprintf(rest, sizeof rest, "%s 60 5 8 %d 0 0", no_p ? "999.0" : (hour % 2 ? "29.90" : "30.00"),
                    no_t ? 999 : (day == 1 ? 50 : 70) + hour);
      text += guv(day, hour, rest);
    }
  ASSERT_TRUE(load(weather_format::guv, text));
  weather_values v;
  for (int k = 0; k < 24 + 14; ++k) v = next();
  v = next();  // day 2, 14:00: the 14:00 value of day 1 (64 F), not 13:00 of day 2
  EXPECT_NEAR(v.temperature, (64.0 - 32.0) * 5.0 / 9.0, 1e-12);
  EXPECT_EQ(repaired, 1);
  v = next();  // 15:00: the last valid pressure, that of 14:00 (30.00 inches)
  EXPECT_NEAR(v.pressure, 30.00 * 1013.25 / 29.92, 1e-9);
  EXPECT_EQ(repaired, 2);
}

TEST_F(WeatherFiles, FaultsOfTheStationTableAreNamed) {
  struct fault {
    const char* what;
    std::string text;
    const char* message;
  } cases[] = {
      {"a short line", guv(10, 0, "29.9 50 7 10 60 0 0") + guv(10, 1, "29.9 50 7 10 60 0"),
       "line 2, near parameter 11"},
      {"a real where a whole number is due", "2024 6 10.5 0 29.9 50 7 10 60 0 0\n",
       "Problem encountered in hmet_GUV file weather.txt, line 1, near parameter 3"},
      {"a word where a reading is due", guv(10, 0, "29.9 50 7 ten 60 0 0"), "line 1, near parameter 8"},
      {"humidity above 100 %", guv(10, 0, "29.9 150 7 10 60 0 0"), "line 1: the relative humidity 150"},
      {"an hour missing", guv(10, 0, "29.9 50 7 10 60 0 0") + guv(10, 2, "29.9 50 7 10 60 0 0"),
       "line 2: 2024/6/10 hour 2 does not follow 2024/6/10 hour 0"},
      {"a date that is no date", guv(31, 0, "29.9 50 7 10 60 0 0"), "line 1: 2024/6/31 hour 0 is not a date"},
      {"a first reading missing", guv(10, 0, "999.0 50 7 10 60 0 0"), "its air pressure is missing"},
  };
  for (const fault& f : cases) {
    weather_reader fresh;
    reader = std::move(fresh);
    reset_process_state();
    bool ok = load(weather_format::guv, f.text);
    if (ok) {
      weather_values v;
      ::testing::internal::CaptureStdout();
      ok = reader.next(v, repaired, nullptr) == 1;
      out = ::testing::internal::GetCapturedStdout();
    }
    EXPECT_FALSE(ok) << f.what;
    EXPECT_NE(out.find(f.message), std::string::npos) << f.what << ": " << out;
    EXPECT_EQ(process.error_block.stop, 1) << f.what;
  }
}

// A SAMSON line with its fields in their columns (from 1).
std::string samson(int year, int month, int day, int hour, const char* sky, const char* temp) {
  std::string line(86, ' ');
  auto put = [&](int from, const std::string& text) { line.replace(static_cast<std::size_t>(from - 1), text.size(), text); };
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", year % 100);
  put(2, buf);
  std::snprintf(buf, sizeof buf, "%2d", month);
  put(5, buf);
  std::snprintf(buf, sizeof buf, "%2d", day);
  put(8, buf);
  std::snprintf(buf, sizeof buf, "%2d", hour);
  put(11, buf);
  put(34, " 120");     // direct
  put(42, "  80");     // diffuse
  put(50, sky);        // sky cover, tenths
  put(56, temp);       // deg C
  put(68, " 75");      // relative humidity
  put(72, " 990");     // mb
  put(80, "   3.5");   // m/s
  return line + "\n";
}

TEST_F(WeatherFiles, SamsonHour24IsHourZeroOfTheNextDay) {
  const std::string text = "~ BOULDER CO 94018\n" + samson(1990, 12, 31, 23, " 6", " -2.5") +
                           samson(1990, 12, 31, 24, "99", " -3.0") + samson(1991, 1, 1, 1, " 4", "999.9");
  std::string header;
  ASSERT_TRUE(load(weather_format::samson, text, &header));
  EXPECT_EQ(header, "BOULDER CO 94018");
  weather_values v = next();
  EXPECT_EQ(v.date.hour, 23);
  EXPECT_EQ(v.direct_rad, 120.0);
  EXPECT_EQ(v.global_rad, 80.0);
  EXPECT_EQ(v.cloud_cover, 6.0);
  EXPECT_EQ(v.pressure, 990.0);
  EXPECT_EQ(v.wind_speed, 3.5);
  v = next();
  EXPECT_EQ(v.date.year, 1991);
  EXPECT_EQ(v.date.month, 1);
  EXPECT_EQ(v.date.day, 1);
  EXPECT_EQ(v.date.hour, 0);
  EXPECT_EQ(v.cloud_cover, 6.0);  // missing (99): the last valid cover
  EXPECT_EQ(v.temperature, -3.0);
  v = next();
  EXPECT_EQ(v.date.hour, 1);
  EXPECT_EQ(v.temperature, -3.0);  // missing (999.9): no 1:00 yet, the last valid
  EXPECT_EQ(repaired, 2);

  // A line that ends before its wind speed names it.
  weather_reader fresh;
  reader = std::move(fresh);
  reset_process_state();
  EXPECT_FALSE(load(weather_format::samson, samson(1990, 12, 31, 23, " 6", " -2.5").substr(0, 70) + "\n"));
  EXPECT_NE(out.find("line 1 ends before its air pressure (columns 72-75)"), std::string::npos) << out;
}

// A Surface Airways line: element, date and hour/value groups.
std::string airways(const char* element, int day, std::initializer_list<std::pair<int, long>> values) {
  char head[40];
  std::snprintf(head, sizeof head, "%-11s%-4s  %4d%02d  %02d%03d", "STATION", element, 2001, 3, day,
                static_cast<int>(values.size()));
  std::string line = head;
  for (const auto& [hour, v] : values) {
    char group[16];
    std::snprintf(group, sizeof group, "%02d00%6ld  ", hour, v);
    line += group;
  }
  return line + "\n";
}

TEST_F(WeatherFiles, SurfaceAirwaysUnpacksItsValues) {
  const std::string text = airways("TMPD", 1, {{0, 32}, {1, 50}}) + airways("RHUM", 1, {{0, 80}, {1, 99999}}) +
                           airways("TSKC", 1, {{0, 1007}, {1, 99999}}) + airways("WIND", 1, {{0, 270010}, {1, 90020}}) +
                           airways("PRES", 1, {{0, 29920}, {1, 30000}});
  ASSERT_TRUE(load(weather_format::surface_airways, text));
  EXPECT_EQ(reader.records(), 24);  // every hour of the day of temperatures
  weather_values v = next();
  EXPECT_EQ(v.date.year, 2001);
  EXPECT_EQ(v.date.month, 3);
  EXPECT_EQ(v.date.day, 1);
  EXPECT_EQ(v.date.hour, 0);
  EXPECT_NEAR(v.temperature, 0.0, 1e-12);
  EXPECT_NEAR(v.pressure, 1013.25, 0.001);  // thousandths of an inch of mercury
  EXPECT_EQ(v.cloud_cover, 7.0);             // the opaque cover of 10/7
  EXPECT_NEAR(v.wind_speed, 5.14444, 1e-12); // 10 knots from 270 degrees
  EXPECT_EQ(v.direct_rad, 9999.0);           // no beam records: not measured
  v = next();
  EXPECT_NEAR(v.temperature, 10.0, 1e-12);
  EXPECT_EQ(v.rel_humidity, 80.0);  // missing: the last valid
  EXPECT_EQ(v.cloud_cover, 7.0);
  EXPECT_NEAR(v.wind_speed, 20 * 0.514444, 1e-12);
  EXPECT_EQ(repaired, 2);

  weather_reader fresh;
  reader = std::move(fresh);
  reset_process_state();
  EXPECT_FALSE(load(weather_format::surface_airways, text + airways("TMPD", 2, {{0, 40}})));
  EXPECT_NE(out.find("days of rel. humidity data than temperature data"), std::string::npos) << out;
}

// The sky's radiation of every format reaches a cell once. At noon on 21
// June at 40 N (sun 73.4465 degrees high) a level cell of albedo 0.2 takes
// 0.8 times the record's global radiation, whether the beam was measured
// (global less direct is the diffuse sky) or not (the clear-sky beam under
// the cloud, at most the global, and the rest diffuse); a SAMSON record 0.8
// times its diffuse plus direct. A plane falling 20 % to the south (slope
// angle b = atan 0.2) takes the diffuse sky times cos^2(b/2) = 0.990290 and
// the beam times sin(73.4465 + 11.3099 degrees) / sin(73.4465 degrees) =
// 1.038872; the clear-sky beam on level ground there is 962.635 W/m2 under
// a clear sky, 433.074 under 7 tenths and 206.119 under an overcast
// (exp(-2 tau m) 1353 E0 (1 - 0.78588 C) sin(altitude), m = 1.04290).
// Without any radiation measured the cell takes that beam alone.
TEST_F(WeatherFiles, EachFormatsSkyRadiationReachesTheCellOnce) {
  auto surface_airways = [](long sky, const char* radiation) {
    std::string text = airways("TMPD", 1, {{0, 50}, {12, 60}}) + airways("RHUM", 1, {{0, 60}, {12, 60}}) +
                       airways("TSKC", 1, {{0, sky}, {12, sky}}) + airways("WIND", 1, {{0, 90005}, {12, 90005}}) +
                       airways("PRES", 1, {{0, 29920}, {12, 29920}});
    if (radiation[0] == 'G' || radiation[1] == 'G') text += airways("GRAD", 1, {{0, 0}, {12, 7000}});
    if (radiation[0] == 'D') text += airways("DRAD", 1, {{0, 0}, {12, 3000}});
    return text;
  };
  auto samson_line = [](const char* direct, const char* diffuse) {
    std::string line = samson(1990, 6, 21, 12, " 7", " 20.0");
    line.replace(33, 4, direct);
    line.replace(41, 4, diffuse);
    return line;
  };
  struct radiation_case {
    const char* what;
    int format;
    std::string text;
    int hour;             // the record's index of noon
    double level, south;  // W/m2 net, by hand
  } cases[] = {
      {"table, beam measured", weather_format::guv, guv(21, 12, "29.92 60 7 5 68 300 700"), 0, 560.0, 566.222206},
      {"table, no beam, clear", weather_format::guv, guv(21, 12, "29.92 60 0 5 68 9999 700"), 0, 560.0, 581.768361},
      {"table, no beam, 7 tenths", weather_format::guv, guv(21, 12, "29.92 60 7 5 68 9999 700"), 0, 560.0,
       571.394182},
      {"table, no beam, overcast", weather_format::guv, guv(21, 12, "29.92 60 10 5 68 9999 100"), 0, 80.0,
       83.109766},
      {"table, nothing measured", weather_format::guv, guv(21, 12, "29.92 60 7 5 68 9999 9999"), 0, 346.459277,
       359.926867},
      {"table, no beam, global 0", weather_format::guv, guv(21, 12, "29.92 60 7 5 68 9999 0"), 0, 346.459277,
       359.926867},
      {"Surface Airways, global", weather_format::surface_airways, surface_airways(1007, "G"), 12, 560.0,
       571.394182},
      {"Surface Airways, direct and global", weather_format::surface_airways, surface_airways(1007, "DG"), 12, 560.0,
       566.222206},
      {"Surface Airways, no radiation", weather_format::surface_airways, surface_airways(1007, "-"), 12, 346.459277,
       359.926867},
      {"SAMSON, direct and diffuse", weather_format::samson, samson_line(" 400", " 150"), 0, 440.0, 451.273904},
  };
  const et_sun sun = et_sun_at(40.0, et_day_of_year(2024, 6, 21), 12);
  ASSERT_NEAR(sun.altitude * 180.0 / std::numbers::pi, 73.4465, 1e-4);
  for (const radiation_case& k : cases) {
    weather_reader fresh;
    reader = std::move(fresh);
    reset_process_state();
    ASSERT_TRUE(load(k.format, k.text)) << k.what << ": " << out;
    weather_values v;
    for (int h = 0; h <= k.hour; ++h) v = next();
    const double C = v.cloud_cover / 10.0;
    EXPECT_NEAR(cell_shortwave(sun, cell_surface{0.0, 0.0, 0.2, 1.0}, v.global_rad, C, v.direct_rad), k.level, 1e-5)
        << k.what;
    EXPECT_NEAR(cell_shortwave(sun, cell_surface{0.0, 0.2, 0.2, 1.0}, v.global_rad, C, v.direct_rad), k.south, 1e-5)
        << k.what;
  }
}

// Writes the eight grids of an hour, each 2 x 2 cells of 30 m from (0, 0);
// the value of a grid at (row, col) is base + 10 row + col.
void write_grids(const std::string& base, double value) {
  for (const char* suffix :
       {"_Clod.asc", "_Prcp.asc", "_Pres.asc", "_RlHm.asc", "_Temp.asc", "_Drad.asc", "_Grad.asc", "_WndS.asc"}) {
    const double v = std::string(suffix) == "_Pres.asc" ? 900.0 + value : value;
    char text[256];
    std::snprintf(text, sizeof text,
                  "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 30\nNODATA_value -9999\n%g %g\n%g %g\n", v,
                  v + 1, v + 2, -9999.0);
    write_file(base + suffix, text);
  }
}

TEST_F(WeatherFiles, GriddedWeatherIsDatedFromItsFileNamesAndFillsTheCells) {
  // Three cells; the fourth position, outside the watershed, has no data.
  terrain_spec t = terrain(2, 2, 30.0, level_ground, {{2, 2}});
  t.north = 60.0;
  t.west = 0.0;
  make_terrain(*ms, t);
  write_grids("wx_2008050113", 5.0);
  write_grids("wx_2008050114", 6.0);
  // A direct beam of 2 W/m2 on the first two cells and 9 on the third.
  write_file("wx_2008050113_Drad.asc",
             "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 30\nNODATA_value -9999\n2 2\n9 -9999\n");
  ASSERT_TRUE(load(weather_format::gridded, "wx_2008050113\nwx_2008050114\n"));
  EXPECT_EQ(reader.first().year, 2008);
  EXPECT_EQ(reader.first().month, 5);
  EXPECT_EQ(reader.first().day, 1);
  EXPECT_EQ(reader.first().hour, 13);
  EXPECT_EQ(reader.last().hour, 14);
  array1d<double> a[8];
  for (auto& x : a) x.alloc(3);
  gridded_cells cells{&a[0], &a[1], &a[2], &a[3], &a[4], &a[5], &a[6], &a[7]};
  weather_values v;
  ASSERT_EQ(reader.next(v, repaired, &cells), 1);
  // Cells 1..3 run row by row from the north-west, as the grid's values.
  EXPECT_EQ(a[4][1], 5.0);
  EXPECT_EQ(a[4][2], 6.0);
  EXPECT_EQ(a[4][3], 7.0);
  EXPECT_EQ(a[2][1], 905.0);
  EXPECT_EQ(v.temperature, 6.0);  // the mean over the cells
  // The global radiation grid gives each cell its diffuse part, as the
  // station table does: what the direct beam leaves of the global, none
  // where the beam exceeds it.
  EXPECT_EQ(a[5][3], 9.0);
  EXPECT_EQ(a[6][1], 3.0);
  EXPECT_EQ(a[6][2], 4.0);
  EXPECT_EQ(a[6][3], 0.0);
  EXPECT_NEAR(v.global_rad, 7.0 / 3.0, 1e-15);
  EXPECT_EQ(v.direct_rad, 13.0 / 3.0);
  // An hour whose grid cannot be opened stops the run naming the file.
  std::remove("wx_2008050114_WndS.asc");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(reader.next(v, repaired, &cells), -1);
  out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("the weather grid wx_2008050114_WndS.asc cannot be opened"), std::string::npos) << out;
  EXPECT_EQ(process.error_block.stop, 1);

  // A watershed cell without data, and a name without its date, are refused.
  struct fault {
    std::string list;
    const char* message;
  } faults[] = {{"wx_2008050113\n", "wx_2008050113_Clod.asc holds no value for cell 4 of the watershed (its "
                                    "no-data value\n-9999 at row 2, column 2 of the grid)"},
                {"wx_20080501AB\n", "Problem encountered in hmet_ASCII file, line 1"}};
  t.holes.clear();
  ms = make_model_state();
  make_terrain(*ms, t);
  for (const fault& f : faults) {
    weather_reader fresh;
    reader = std::move(fresh);
    reset_process_state();
    for (auto& x : a) x.alloc(4);
    bool ok = load(weather_format::gridded, f.list);
    if (ok) {
      ::testing::internal::CaptureStdout();
      ok = reader.next(v, repaired, &cells) == 1;
      out = ::testing::internal::GetCapturedStdout();
    }
    EXPECT_FALSE(ok) << f.message;
    EXPECT_NE(out.find(f.message), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace nivra::testing
