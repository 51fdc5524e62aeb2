// The sun of a weather hour against an independent solar calculator, the
// surface normals and the direct beam on a slope by hand, and the shadow
// of a ridge against its length H / tan(altitude).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "hydromet/solar_geometry.h"
#include "hydromet/solar_shading.h"
#include "hydromet/weather_fixture.h"
#include "model/model_state.h"
#include "support/test_support.h"

namespace nivra::testing {
namespace {

constexpr double pi = std::numbers::pi;
constexpr double deg = pi / 180.0;

// The sun by the NOAA general solar position equations (Spencer's series
// for the declination and the equation of time) at a local standard time.
struct noaa_sun {
  double altitude, azimuth;  // degrees, azimuth clockwise from north
};
noaa_sun noaa(double lat_deg, double lon_deg, double zone_hours, int doy, double hour) {
  const double g = 2.0 * pi / 365.0 * (doy - 1 + (hour - 12.0) / 24.0);
  const double eqtime = 229.18 * (0.000075 + 0.001868 * std::cos(g) - 0.032077 * std::sin(g) -
                                  0.014615 * std::cos(2 * g) - 0.040849 * std::sin(2 * g));
  const double decl = 0.006918 - 0.399912 * std::cos(g) + 0.070257 * std::sin(g) - 0.006758 * std::cos(2 * g) +
                      0.000907 * std::sin(2 * g) - 0.002697 * std::cos(3 * g) + 0.00148 * std::sin(3 * g);
  const double tst = hour * 60.0 + eqtime + 4.0 * lon_deg - 60.0 * zone_hours;
  const double ha = (tst / 4.0 - 180.0) * deg;
  const double lat = lat_deg * deg;
  const double alt = std::asin(std::sin(lat) * std::sin(decl) + std::cos(lat) * std::cos(decl) * std::cos(ha));
  const double az = std::atan2(std::sin(ha), std::cos(ha) * std::sin(lat) - std::tan(decl) * std::cos(lat)) + pi;
  return {alt / deg, az / deg};
}

TEST(SolarPosition, MatchesASolarCalculatorOnTheZoneMeridian) {
  // 40 N, 105 W, Mountain Standard Time: days on which the equation of time
  // is near zero (15 April, 14 June, 1 September, 25 December of 2023).
  const int days[][3] = {{4, 15, 105}, {6, 14, 165}, {9, 1, 244}, {12, 25, 359}};
  for (const auto& d : days) {
    EXPECT_EQ(compute_day_of_year(2023, d[0], d[1]), d[2]);
    for (double hour : {8.0, 10.0, 12.0, 14.0, 16.0}) {
      const sun_position s = sun_at(40.0, 2023, d[0], d[1], hour);
      const noaa_sun ref = noaa(40.0, -105.0, -7.0, d[2], hour);
      EXPECT_NEAR(s.altitude / deg, ref.altitude, 1.2) << "day " << d[2] << " hour " << hour;
      EXPECT_NEAR(s.azimuth / deg, ref.azimuth, 1.2) << "day " << d[2] << " hour " << hour;
      EXPECT_NEAR(s.zenith, pi / 2.0 - s.altitude, 1e-12);
    }
  }
}

TEST(SolarPosition, SouthOfTheEquatorTheNoonSunStandsDueNorth) {
  // 35 S on the meridian of its zone (150 E, UTC+10). By hand, at noon of
  // day 172 (20 June, midwinter): declination 23.45 sin(172 x 2 pi / 365 -
  // 1.405) = 23.447 deg, altitude 90 - 35 - 23.447 = 31.553 deg, and the sun
  // due north (azimuth 0); on day 355 (20 December) the declination is
  // -23.450 deg and the noon altitude 90 - 35 + 23.450 = 78.450 deg.
  const sun_position winter = sun_on_day(-35.0, 172, 12.0);
  EXPECT_NEAR(winter.declination / deg, 23.447, 0.001);
  EXPECT_NEAR(winter.altitude / deg, 31.553, 0.001);
  EXPECT_NEAR(winter.azimuth, 0.0, 1e-9);
  const sun_position summer = sun_on_day(-35.0, 355, 12.0);
  EXPECT_NEAR(summer.altitude / deg, 78.450, 0.001);
  EXPECT_NEAR(summer.azimuth, 0.0, 1e-6);  // acos near 1
  // Morning in the north-east, afternoon in the north-west in winter.
  const sun_position morning = sun_on_day(-35.0, 172, 9.0);
  EXPECT_NEAR(morning.altitude / deg, 17.648, 0.001);
  EXPECT_NEAR(morning.azimuth / deg, 42.903, 0.001);
  EXPECT_NEAR(sun_on_day(-35.0, 172, 15.0).azimuth / deg, 360.0 - 42.903, 0.001);
  // And through the year against the solar calculator.
  const int days[][3] = {{4, 15, 105}, {6, 14, 165}, {9, 1, 244}, {12, 25, 359}};
  for (const auto& d : days) {
    for (double hour : {8.0, 10.0, 12.0, 14.0, 16.0}) {
      const sun_position s = sun_at(-35.0, 2023, d[0], d[1], hour);
      const noaa_sun ref = noaa(-35.0, 150.0, 10.0, d[2], hour);
      EXPECT_NEAR(s.altitude / deg, ref.altitude, 1.2) << "day " << d[2] << " hour " << hour;
      if (ref.altitude > 0.0) {
        const double gap = std::remainder(s.azimuth / deg - ref.azimuth, 360.0);
        EXPECT_NEAR(gap, 0.0, 1.2) << "day " << d[2] << " hour " << hour;
      }
    }
  }
}

TEST(SolarPosition, NoonHasAnHourAngleOfExactlyZero) {
  EXPECT_EQ(hour_angle(12.0), 0.0);
  EXPECT_EQ(hour_angle(12.005), 0.0);
  EXPECT_NEAR(hour_angle(15.0), pi / 4.0, 1e-15);
  EXPECT_NEAR(hour_angle(6.0), -pi / 2.0, 1e-15);
  const sun_position s = sun_at(40.0, 2023, 6, 14, 12.0);
  EXPECT_EQ(s.hour_angle, 0.0);
  EXPECT_NEAR(s.azimuth, pi, 1e-12);  // due south
  EXPECT_NEAR(s.altitude, pi / 2.0 - 40.0 * deg + s.declination, 1e-12);
}

// A plane falling by p toward the east and q toward the north.
std::unique_ptr<model_state> plane(double p, double q) {
  auto ms = make_model_state();
  make_terrain(*ms, terrain(4, 4, 10.0, [p, q](int r, int c) { return 500.0 - p * c * 10.0 + q * r * 10.0; }));
  ms->hydromet.Cell_X1_Y2_Z3_S4_A5.alloc(ms->grid.ncells, 5);
  slope_normals(ms->grid.ncells, ms->grid.centred_slope_x, ms->grid.centred_slope_y, ms->hydromet.Cell_X1_Y2_Z3_S4_A5);
  return ms;
}

TEST(SlopeNormals, AreUnitAndPerpendicularToThePlane) {
  for (auto [p, q] : {std::pair{0.0, 0.0}, {0.3, 0.0}, {0.0, -0.2}, {0.4, 0.25}}) {
    auto ms = plane(p, q);
    for (int c = 1; c <= ms->grid.ncells; ++c) {
      const auto n = ms->hydromet.Cell_X1_Y2_Z3_S4_A5[c];
      EXPECT_NEAR(n[1] * n[1] + n[2] * n[2] + n[3] * n[3], 1.0, 1e-12);
      // Moving east the ground falls by p, moving north by q.
      EXPECT_NEAR(n[1] * 1.0 + n[3] * -p, 0.0, 1e-12) << p << " " << q;
      EXPECT_NEAR(n[2] * 1.0 + n[3] * -q, 0.0, 1e-12) << p << " " << q;
      EXPECT_NEAR(n[4], std::hypot(p, q), 1e-12);  // the steepest slope
    }
  }
}

TEST(SlopeSunFactor, IsTheBeamOnTheSlopePerUnitOfMapArea) {
  // A slope of 30 degrees facing east.
  auto ms = plane(std::tan(30.0 * deg), 0.0);
  auto n = ms->hydromet.Cell_X1_Y2_Z3_S4_A5[6];
  auto sun = [](double az, double alt) {
    return std::array<double, 3>{std::sin(az) * std::cos(alt), std::cos(az) * std::cos(alt), std::sin(alt)};
  };
  struct beam {
    double az, alt, factor;
  } cases[] = {
      {pi / 2, 30 * deg, std::sin(60 * deg) / std::cos(30 * deg)},  // from the east, 30 degrees up: 1
      {pi / 2, 60 * deg, 1.0 / std::cos(30 * deg)},                  // square onto the slope
      {pi / 2, 58 * deg, std::cos(2 * deg) / std::cos(30 * deg)},    // within 0.1 rad of square
      {3 * pi / 2, 20 * deg, 0.0},                                   // behind the slope
      {pi / 2, -5 * deg, 0.0},                                       // below the horizon
  };
  for (const beam& b : cases) {
    const auto s = sun(b.az, b.alt);
    EXPECT_NEAR(slope_sun_factor(n, s[0], s[1], s[2]), b.factor, 1e-12) << b.alt / deg;
  }
  // Level ground receives sin(altitude) of the beam.
  auto flat = plane(0.0, 0.0);
  const auto s = sun(2.0, 35 * deg);
  EXPECT_NEAR(slope_sun_factor(flat->hydromet.Cell_X1_Y2_Z3_S4_A5[1], s[0], s[1], s[2]), std::sin(35 * deg), 1e-12);
}

// Flat ground at 100 m with a ridge of height H along one row or column.
struct shade_case {
  const char* what;
  int ridge_row, ridge_col;  // 0: the ridge runs along the other
  double azimuth, altitude_deg, height;
};

TEST(TerrainShading, ARidgeCastsAShadowHOverTanAltitudeLong) {
  const double dx = 10.0;
  const shade_case cases[] = {
      {"sun in the south, ridge across row 30", 30, 0, pi, 20.0, 50.0},
      {"low sun in the south", 30, 0, pi, 8.0, 20.0},
      {"sun in the east, ridge down column 30", 0, 30, pi / 2, 35.0, 60.0},
      {"ridge on the southern edge", 40, 0, pi, 25.0, 40.0},
      {"ridge on the western edge", 0, 1, 3 * pi / 2, 30.0, 40.0},
  };
  for (const shade_case& k : cases) {
    auto ms = make_model_state();
    make_terrain(*ms, terrain(40, 40, dx, [&k](int r, int c) {
                   return (r == k.ridge_row || c == k.ridge_col) ? 100.0 + k.height : 100.0;
                 }));
    array2d<unsigned char> shade(ms->grid.ncells, 23);
    Calculate_Shaded_Raster(shade, shading_terrain_of(ms->grid), pi / 2 - k.altitude_deg * deg, k.azimuth, 9);
    // Count the shaded cells behind the ridge along the middle of it.
    int shaded = 0;
    for (int d = 1; d < 40; ++d) {
      int r = 20, c = 20;
      if (k.ridge_row) r = k.azimuth == pi ? k.ridge_row - d : k.ridge_row + d;
      if (k.ridge_col) c = k.azimuth == pi / 2 ? k.ridge_col - d : k.ridge_col + d;
      if (r < 1 || r > 40 || c < 1 || c > 40) break;
      shaded += shade(ms->grid.mask[r][c], 9);
    }
    const double length = k.height / std::tan(k.altitude_deg * deg);
    EXPECT_NEAR(shaded * dx, length, dx) << k.what;
    // Nothing on the sunny side of the ridge is shaded.
    if (k.ridge_row == 30) {
      EXPECT_EQ(shade(ms->grid.mask[35][20], 9), 0) << k.what;
    }
  }
}

TEST(TerrainShading, NightShadesEveryCellAndFlatGroundIsLit) {
  auto ms = make_model_state();
  make_terrain(*ms, terrain(5, 6, 30.0, level_ground, {{1, 1}, {3, 4}}));
  const shading_terrain t = shading_terrain_of(ms->grid);
  array2d<unsigned char> shade(ms->grid.ncells, 23);
  EXPECT_EQ(Calculate_Shaded_Raster(shade, t, pi / 2 + 0.01, pi, 3), 100.0);
  EXPECT_EQ(Calculate_Shaded_Raster(shade, t, 1.2, 2.0, 10), 0.0);
  for (int c = 1; c <= ms->grid.ncells; ++c) {
    EXPECT_EQ(shade(c, 3), 1);
    EXPECT_EQ(shade(c, 10), 0);
  }
  // A whole day: the hours of the night are dark, noon is lit.
  solar_daily_shading(shade, t, 40.0, 172);
  EXPECT_EQ(shade(1, 0), 1);
  EXPECT_EQ(shade(1, 12), 0);
  // A grid without cells shades nothing and divides by nothing.
  auto empty = make_model_state();
  EXPECT_EQ(Calculate_Shaded_Raster(shade, shading_terrain_of(empty->grid), 1.0, 1.0, 0), 0.0);
}

TEST(TerrainShading, RaysStepAlongTheirDominantDirection) {
  // Due north steps up the rows; north-east a pure diagonal.
  ray_direction d = next_cell_by_angle(0.0);
  EXPECT_EQ(d.row_step, -1.0);
  EXPECT_EQ(d.col_step, 0.0);
  d = next_cell_by_angle(pi / 4);
  EXPECT_NEAR(d.row_step, -1.0, 1e-12);
  EXPECT_NEAR(d.col_step, 1.0, 1e-12);
  // Between them the larger step is 1 and the other tan of the offset.
  d = next_cell_by_angle(0.3);
  EXPECT_EQ(d.row_step, -1.0);
  EXPECT_NEAR(d.col_step, std::tan(0.3), 1e-12);
  const ray_step s = next_cell_step(3, -1.0, std::tan(0.3));  // 0.928 columns east
  EXPECT_EQ(s.r1, -3);
  EXPECT_EQ(s.c1, 1);
  EXPECT_EQ(s.c2, 0);
  EXPECT_NEAR(s.w, 1.0 - 3 * std::tan(0.3), 1e-12);
  EXPECT_NEAR(s.distance, std::hypot(3.0, 3 * std::tan(0.3)), 1e-12);
  // Two positions outside the watershed are a wall.
  auto ms = make_model_state();
  make_terrain(*ms, terrain(3, 3, 30.0, level_ground, {{1, 1}, {1, 2}}));
  EXPECT_EQ(elevation_between(shading_terrain_of(ms->grid), 1, 1, 1, 2, 0.5), 99999999.99);
  EXPECT_EQ(elevation_between(shading_terrain_of(ms->grid), 0, 1, 1, 3, 0.5), 100.0);
}

}  // namespace
}  // namespace nivra::testing
