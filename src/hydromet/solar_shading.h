// Terrain shading: for a sun position, which cells lie in the shadow of
// higher ground. From every active cell a ray is traced toward the sun's
// azimuth, one grid cell at a time along its dominant direction, and the
// cell is shaded as soon as the terrain under the ray rises above it. Rows
// increase southward and columns eastward; a ray that leaves the grid, or
// climbs above the highest ground of the grid, finds the cell lit.
#pragma once

#include "core/arrays.h"

namespace nivra {

struct grid_state;

// The grid as the rays see it: the cell number of every position (0 or
// less outside the watershed; positions 0 and rows + 1, cols + 1 exist),
// the elevations, the cell size and the highest ground.
struct shading_terrain {
  const array2d<int>* mask = nullptr;
  const double* elevation = nullptr;  // 1-based by cell
  int rows = 0, cols = 0, ncells = 0;
  double grid_size = 0.0;
  double highest = 0.0;
};
shading_terrain shading_terrain_of(const grid_state& grid);

// Direction of a ray toward an azimuth as a row and a column step, the
// larger of magnitude 1 (azimuth 0 steps north: row step -1). An azimuth
// outside 0..2 pi gives (0, 0) after a message.
struct ray_direction {
  double row_step = 0.0, col_step = 0.0, length = 0.0;
};
ray_direction next_cell_by_angle(double azimuth);

// Step k of a ray: the nearest grid offset (r1, c1), the neighbour (r2, c2)
// toward the ray's true position with the weight w of that neighbour, and
// the horizontal distance travelled in cells.
struct ray_step {
  int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
  double w = 0.0;
  double distance = 0.0;
};
ray_step next_cell_step(int k, double row_step, double col_step);

// Ground height between two grid positions (weight w of the second): a
// position outside the grid or the watershed does not count; neither
// counting gives a wall (99999999.99).
double elevation_between(const shading_terrain& t, int r1, int c1, int r2, int c2, double w);

// Rise of the sun ray over a horizontal distance: distance / tan(zenith).
double ray_slope(double zenith, double distance);

// Fills column hour of shade_by_hour[cell]: 1 shaded (or the sun below the
// horizon), 0 lit. Returns the percentage of active cells shaded (0 for a
// grid without cells).
double Calculate_Shaded_Raster(array2d<unsigned char>& shade_by_hour, const shading_terrain& t, double zenith,
                               double azimuth, int hour);

// All 24 hours of a day of the year at a latitude (degrees). Returns the
// shaded percentage of the last hour.
double solar_daily_shading(array2d<unsigned char>& shade_by_hour, const shading_terrain& t, double latitude_deg,
                           int day_of_year);

}  // namespace nivra
