#include "hydromet/solar_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace nivra {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double degree = pi / 180.0;

double clamp_unit(double x) { return std::clamp(x, -1.0, 1.0); }

}  // namespace

int compute_day_of_year(int, int month, int day) {
  static constexpr int days_before[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  if (month == 0) return day;
  if (month < 1 || month > 12) {
    std::printf("Error: month %d of a weather date is not a month of the year; its day of the year is taken as 0.\n",
                month);
    return 0;
  }
  return days_before[month] + day;
}

double hour_angle(double hour) {
  if (!(hour >= 0.0 && hour <= 24.0)) {
    std::printf("Error: hour %lf of a weather date lies outside 0..24; its hour angle is taken as 0.\n", hour);
    return 0.0;
  }
  if (std::fabs(hour - 12.0) < 0.01) return 0.0;
  return (hour - 12.0) * pi / 12.0;
}

double solar_declination(int day_of_year) {
  return 23.45 * degree * std::sin(day_of_year * 2.0 * pi / 365.0 - 1.405);
}

double solar_azimuth(double latitude_deg, double h, double d, double altitude) {
  const double lat = latitude_deg * degree;
  const double c = std::cos(altitude);
  if (c < 1e-12) return 0.0;  // the sun overhead has no azimuth
  const double az = std::acos(clamp_unit((std::cos(lat) * std::sin(d) - std::cos(h) * std::cos(d) * std::sin(lat)) / c));
  return h > 0.0 ? 2.0 * pi - az : az;
}

sun_position sun_on_day(double latitude_deg, int day_of_year, double hour) {
  sun_position s;
  const double lat = latitude_deg * degree;
  s.day_of_year = day_of_year;
  s.declination = solar_declination(day_of_year);
  s.hour_angle = hour_angle(hour);
  const double sin_alt = clamp_unit(std::cos(s.declination) * std::cos(s.hour_angle) * std::cos(lat) +
                                    std::sin(lat) * std::sin(s.declination));
  s.altitude = std::asin(sin_alt);
  s.zenith = std::acos(sin_alt);
  s.azimuth = solar_azimuth(latitude_deg, s.hour_angle, s.declination, s.altitude);
  return s;
}

sun_position sun_at(double latitude_deg, int year, int month, int day, double hour) {
  return sun_on_day(latitude_deg, compute_day_of_year(year, month, day), hour);
}

void slope_normals(int ncells, const array1d<double>& sx, const array1d<double>& sy, array2d<double>& normals) {
  for (int c = 1; c <= ncells; ++c) {
    const double p = sx[c], q = sy[c];
    const double g = std::sqrt(p * p + q * q);
    row_view<double> n = normals[c];
    if (g < 1e-14) {
      n[1] = 0.0;
      n[2] = 0.0;
      n[3] = 1.0;
      n[4] = 0.0;
      continue;
    }
    // The plane falling by p toward the east and q toward the north has the
    // upward normal (p, q, 1) / sqrt(1 + p^2 + q^2).
    const double norm = std::sqrt(1.0 + g * g);
    n[1] = p / norm;
    n[2] = q / norm;
    n[3] = 1.0 / norm;
    n[4] = g;
  }
}

double incidence_cosine(double nx, double ny, double nz, double sun_x, double sun_y, double sun_z) {
  const double nn = std::sqrt(nx * nx + ny * ny + nz * nz);
  const double ss = std::sqrt(sun_x * sun_x + sun_y * sun_y + sun_z * sun_z);
  if (nn <= 0.0 || ss <= 0.0) return 0.0;
  return clamp_unit((nx * sun_x + ny * sun_y + nz * sun_z) / (nn * ss));
}

double slope_sun_factor(row_view<double> normal, double sun_x, double sun_y, double sun_z) {
  const double cos_i = incidence_cosine(normal[1], normal[2], normal[3], sun_x, sun_y, sun_z);
  normal[5] = std::acos(cos_i);
  if (sun_z <= 0.0 || cos_i <= 0.0) return 0.0;
  // cos(slope) of the unit normal is 1 / sqrt(1 + t^2).
  return cos_i * std::sqrt(normal[4] * normal[4] + 1.0);
}

}  // namespace nivra
