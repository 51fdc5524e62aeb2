#include "hydromet/gage_rain.h"

#include <cstdio>

#include "core/errors.h"
#include "inputs/grid_state.h"

namespace nivra {

void gage_to_grid_precip(const grid_state& grid, const gage_positions& gages, const jagged_array<double>& values,
                         int period, double* rates) {
  const double size = grid.grid_size;
  const double size2 = size * size;
  const int n = gages.count;
  for (int r = 1; r <= grid.nrows; ++r) {
    const double y = grid.north - (r - 0.5) * size;
    const int* mask_row = grid.mask[r].data();
    for (int c = 1; c <= grid.ncols; ++c) {
      const int k = mask_row[c];
      if (k == 0) continue;
      if (n == 1) {
        rates[k] = values(1, period);
        continue;
      }
      const double x = grid.west + (c - 0.5) * size;
      double weights = 0.0, sum = 0.0;
      bool inside = false;
      for (int g = 1; g <= n; ++g) {
        const double dx = x - gages.x[g], dy = y - gages.y[g];
        const double d2 = dx * dx + dy * dy;
        if (d2 < size2) {
          rates[k] = values(g, period);
          inside = true;
          break;
        }
        const double w = 1.0 / d2;
        weights += w;
        sum += values(g, period) * w;
      }
      if (!inside) rates[k] = sum / weights;
    }
  }
}

bool find_neighbor(const grid_state& grid, const gage_positions& gages, int* nearest) {
  const double size = grid.grid_size;
  for (int r = 1; r <= grid.nrows; ++r) {
    const double y = grid.north - (r - 0.5) * size;
    const int* mask_row = grid.mask[r].data();
    for (int c = 1; c <= grid.ncols; ++c) {
      const int k = mask_row[c];
      if (k == 0) continue;
      const double x = grid.west + (c - 0.5) * size;
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
      if (closest > 8.1e11) {
        std::printf("Failure to identify closest raingauge in find_neighbor\n");
        std::printf("check rain gage data file, particularly gage coordinates\n");
        set_error(own_message_code);
        report_error();
        return false;
      }
    }
  }
  return true;
}

}  // namespace nivra
