#include "hydromet/solar_shading.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "hydromet/solar_geometry.h"
#include "inputs/grid_state.h"

namespace nivra {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double no_ground = -9999.0;
constexpr double wall = 99999999.99;

// A grid offset: the magnitude truncated, one more when its fraction
// exceeds 0.5001, with the sign given back.
int round_offset(double v) {
  const double m = std::fabs(v);
  int r = static_cast<int>(m);
  if (m - r > 0.5001) ++r;
  return v < 0.0 ? -r : r;
}

double ground_at(const shading_terrain& t, int r, int c) {
  if (r < 1 || r > t.rows || c < 1 || c > t.cols) return no_ground;
  const int cell = (*t.mask)(r, c);
  return cell >= 1 ? t.elevation[cell] : no_ground;
}

}  // namespace

shading_terrain shading_terrain_of(const grid_state& grid) {
  shading_terrain t;
  t.mask = &grid.mask;
  t.elevation = grid.elevation.data();
  t.rows = grid.rows;
  t.cols = grid.cols;
  t.ncells = grid.ncells;
  t.grid_size = grid.grid_size;
  t.highest = -std::numeric_limits<double>::max();
  for (int c = 1; c <= grid.ncells; ++c) t.highest = std::max(t.highest, grid.elevation[c]);
  return t;
}

ray_direction next_cell_by_angle(double azimuth) {
  ray_direction d;
  if (!(azimuth >= 0.0 && azimuth <= 2.0 * pi + 1e-9)) {
    std::printf("Error: the sun's azimuth %lf lies outside 0..2 pi; the cell is taken as lit.\n", azimuth);
    return d;
  }
  // East is sin(azimuth), north cos(azimuth); rows grow southward.
  const double east = std::sin(azimuth), south = -std::cos(azimuth);
  const double m = std::max(std::fabs(east), std::fabs(south));
  d.row_step = std::fabs(south) < 1e-12 ? 0.0 : south / m;
  d.col_step = std::fabs(east) < 1e-12 ? 0.0 : east / m;
  d.length = std::sqrt(d.row_step * d.row_step + d.col_step * d.col_step);
  return d;
}

ray_step next_cell_step(int k, double row_step, double col_step) {
  ray_step s;
  const double y = k * row_step, x = k * col_step;
  s.distance = std::sqrt(x * x + y * y);
  s.r1 = round_offset(y);
  s.c1 = round_offset(x);
  const double fy = std::fabs(y - s.r1), fx = std::fabs(x - s.c1);
  s.r2 = fy > 0.01 ? (y > s.r1 ? s.r1 + 1 : s.r1 - 1) : s.r1;
  s.c2 = fx > 0.01 ? (x > s.c1 ? s.c1 + 1 : s.c1 - 1) : s.c1;
  s.w = std::max(fy > 0.01 ? fy : 0.0, fx > 0.01 ? fx : 0.0);
  return s;
}

double elevation_between(const shading_terrain& t, int r1, int c1, int r2, int c2, double w) {
  const double e1 = ground_at(t, r1, c1), e2 = ground_at(t, r2, c2);
  if (e1 >= -999.9) {
    if (e2 < -999.9) return e1;
    return e1 + std::min(w, 1.0) * (e2 - e1);
  }
  return e2 >= -999.9 ? e2 : wall;
}

double ray_slope(double zenith, double distance) {
  if (!(zenith >= 0.0 && zenith <= pi)) {
    std::printf("Error: the sun's zenith angle %lf lies outside 0..pi; the ray is taken as level.\n", zenith);
    return 0.0;
  }
  if (zenith < 0.001) return 999999999.9;
  if (pi - zenith < 0.001) return -999999999.9;
  if (std::fabs(zenith - pi / 2.0) < 0.001) return 0.0;
  return distance / std::tan(zenith);
}

namespace {

// The trace of one ray: direction d, the sun ray rising by rise metres per
// cell of horizontal distance.
double trace(const shading_terrain& t, int row, int col, const ray_direction& d, double rise) {
  if (d.length == 0.0) return 0.0;
  const double z0 = t.elevation[(*t.mask)(row, col)];
  double terrain = 0.0;
  for (int k = 1;; ++k) {
    const ray_step s = next_cell_step(k, d.row_step, d.col_step);
    const int r = row + s.r1, c = col + s.c1;
    if (r < 1 || r > t.rows || c < 1 || c > t.cols) return 0.0;
    if ((*t.mask)(r, c) >= 1) terrain = elevation_between(t, r, c, row + s.r2, col + s.c2, s.w);
    const double ray = z0 + rise * s.distance;
    if (terrain > ray) return 1.0;
    // Above the highest ground nothing can hide the sun any more.
    if (ray > t.highest) return 0.0;
  }
}

// The rise of the sun ray per cell of horizontal distance.
double rise_per_cell(const shading_terrain& t, double zenith) { return ray_slope(zenith, t.grid_size); }

}  // namespace

double Calculate_Shaded_Raster(array2d<unsigned char>& shade_by_hour, const shading_terrain& t, double zenith,
                               double azimuth, int hour) {
  if (t.ncells < 1) return 0.0;
  const bool night = !(zenith <= pi / 2.0);
  const ray_direction d = night ? ray_direction{} : next_cell_by_angle(azimuth);
  const double rise = night ? 0.0 : rise_per_cell(t, zenith);
  int shaded = 0;
  for (int r = 1; r <= t.rows; ++r) {
    for (int c = 1; c <= t.cols; ++c) {
      const int cell = (*t.mask)(r, c);
      if (cell < 1) continue;
      const bool dark = night || trace(t, r, c, d, rise) > 0.9;
      shade_by_hour(cell, hour) = dark ? 1 : 0;
      shaded += dark ? 1 : 0;
    }
  }
  return 100.0 * shaded / t.ncells;
}

double solar_daily_shading(array2d<unsigned char>& shade_by_hour, const shading_terrain& t, double latitude_deg,
                           int day_of_year) {
  double percent = 0.0;
  for (int hour = 0; hour < 24; ++hour) {
    const sun_position sun = sun_on_day(latitude_deg, day_of_year, hour);
    percent = Calculate_Shaded_Raster(shade_by_hour, t, sun.zenith, sun.azimuth, hour);
  }
  return percent;
}

}  // namespace nivra
