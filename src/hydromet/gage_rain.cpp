#include "hydromet/gage_rain.h"

#include <cstdio>

#include "core/errors.h"
#include "hydromet/cell_centres.h"

namespace nivra {

void gage_to_grid_precip(const grid_state& grid, const gage_positions& gages, const jagged_array<double>& values,
                         int period, double* rates) {
  const double size2 = grid.grid_size * grid.grid_size;
  const int n = gages.count;
  for_each_cell_centre(grid, [&](int k, double x, double y) {
    if (n == 1) {
      rates[k] = values(1, period);
      return true;
    }
    double weights = 0.0, sum = 0.0;
    for (int g = 1; g <= n; ++g) {
      const double dx = x - gages.x[g], dy = y - gages.y[g];
      const double d2 = dx * dx + dy * dy;
      if (d2 < size2) {
        // A gage within one cell size of the centre gives the cell its value.
        rates[k] = values(g, period);
        return true;
      }
      const double w = 1.0 / d2;
      weights += w;
      sum += values(g, period) * w;
    }
    rates[k] = sum / weights;
    return true;
  });
}

bool find_neighbor(const grid_state& grid, const gage_positions& gages, int* nearest) {
  const bool found = for_each_cell_centre(grid, [&](int k, double x, double y) {
    // Squared distances: the nearest is the same, the search starts at
    // 1,000 km and fails beyond 900 km.
    double closest = 1.0e12;
    for (int g = 1; g <= gages.count; ++g) {
      const double dx = x - gages.x[g], dy = y - gages.y[g];
      const double d2 = dx * dx + dy * dy;
      if (d2 < closest) {
        closest = d2;
        nearest[k] = g;
      }
    }
    return closest <= 8.1e11;
  });
  if (found) return true;
  std::printf("Failure to identify closest raingauge in find_neighbor\n");
  std::printf("check rain gage data file, particularly gage coordinates\n");
  set_error(own_message_code);
  report_error();
  return false;
}

}  // namespace nivra
