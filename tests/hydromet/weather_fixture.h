// Small hand-built terrains for the weather kernels and the weather step:
// a rows x cols rectangle of square cells (with optional holes) numbered
// row by row, ground from a function, the cell centres, the neighbours and
// the centred slopes as the grid geometry builds them; and the gridded twin
// of a plain hourly weather table.
#pragma once

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "hydromet/hydromet_state.h"
#include "hydromet/weather_step.h"
#include "inputs/geometry.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "support/test_support.h"

namespace nivra::testing {

struct terrain_spec {
  int rows = 1;
  int cols = 1;
  double dx = 30.0;
  std::function<double(int, int)> ground = [](int, int) { return 100.0; };
  std::vector<std::pair<int, int>> holes;  // (row, col) outside the watershed
  double north = 10000.0, west = 50000.0;
};

inline terrain_spec terrain(int rows, int cols, double dx, std::function<double(int, int)> ground,
                            std::vector<std::pair<int, int>> holes = {}) {
  terrain_spec t;
  t.rows = rows;
  t.cols = cols;
  t.dx = dx;
  t.ground = std::move(ground);
  t.holes = std::move(holes);
  return t;
}
inline double level_ground(int, int) { return 100.0; }

inline void make_terrain(model_state& ms, const terrain_spec& t) {
  grid_state& g = ms.grid;
  g.rows = g.nrows = g.proj_rows = t.rows;
  g.cols = g.ncols = g.proj_cols = t.cols;
  g.grid_size = t.dx;
  g.north = t.north;
  g.west = t.west;
  g.south = t.north - t.rows * t.dx;
  g.east = t.west + t.cols * t.dx;
  g.mask.alloc(t.rows + 1, t.cols + 1);
  int n = 0;
  for (int r = 1; r <= t.rows; ++r)
    for (int c = 1; c <= t.cols; ++c) {
      bool hole = false;
      for (const auto& p : t.holes) hole = hole || (p.first == r && p.second == c);
      if (!hole) g.mask[r][c] = ++n;
    }
  g.ncells = n;
  for (auto* a : {&g.rightcon, &g.leftcon, &g.belowcon, &g.abovecon}) a->alloc(n);
  g.elevation.alloc(n);
  for (auto* a : {&g.cell_x, &g.cell_y}) a->grow(n);
  for (auto* a : {&g.cell_row, &g.cell_col}) a->grow(n);
  for (int r = 1; r <= t.rows; ++r)
    for (int c = 1; c <= t.cols; ++c) {
      const int k = g.mask[r][c];
      if (!k) continue;
      g.elevation[k] = t.ground(r, c);
      g.cell_row[k] = r;
      g.cell_col[k] = c;
      g.cell_x[k] = t.west + (c - 0.5) * t.dx;
      g.cell_y[k] = t.north - (r - 0.5) * t.dx;
      g.rightcon[k] = g.mask[r][c + 1];
      g.leftcon[k] = g.mask[r][c - 1];
      g.belowcon[k] = g.mask[r + 1][c];
      g.abovecon[k] = g.mask[r - 1][c];
    }
  compute_centred_slopes(ms);
}

// The gridded twin of the plain hourly weather table `guv` (HMET_GUV, no
// missing value): the list `list` of its hours, each hour's eight uniform
// grids (rows x cols cells of `size` m from the south-west corner west,
// south) holding in every cell the value the table's reader delivers for the
// hour, in mb, %, tenths, m/s, deg C and W/m2, and no precipitation.
inline void write_gridded_twin(const std::string& guv, const std::string& list, int rows, int cols, double west,
                               double south, double size) {
  std::istringstream in(read_file(guv));
  std::string line, bases;
  while (std::getline(in, line)) {
    int y, mo, d, h;
    double P, RH, sky, wind, T, direct, global;
    if (std::sscanf(line.c_str(), "%d %d %d %d %lf %lf %lf %lf %lf %lf %lf", &y, &mo, &d, &h, &P, &RH, &sky, &wind, &T,
                    &direct, &global) != 11)
      continue;
    char base[64];
    std::snprintf(base, sizeof base, "wx%04d%02d%02d%02d", y, mo, d, h);
    bases += std::string(base) + "\n";
    const struct {
      const char* suffix;
      double value;
    } grids[8] = {{"_Clod.asc", sky},
                  {"_Prcp.asc", 0.0},
                  {"_Pres.asc", P * (1013.25 / 29.92)},
                  {"_RlHm.asc", RH},
                  {"_Temp.asc", (T - 32.0) * 0.5555555555555556},
                  {"_Drad.asc", direct},
                  {"_Grad.asc", global},
                  {"_WndS.asc", wind * 0.514444}};
    for (const auto& g : grids) {
      char text[128];
      std::snprintf(text, sizeof text, "ncols %d\nnrows %d\nxllcorner %.17g\nyllcorner %.17g\ncellsize %.17g\n"
                    "NODATA_value -9999\n", cols, rows, west, south, size);
      std::string grid = text;
      std::snprintf(text, sizeof text, "%.17g", g.value);
      for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) grid += std::string(text) + (c + 1 < cols ? " " : "\n");
      write_file(std::string(base) + g.suffix, grid);
    }
  }
  write_file(list, bases);
}

}  // namespace nivra::testing
