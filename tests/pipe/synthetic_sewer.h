// A dendritic storm sewer of any size, for the benchmarks and the tests of
// the pipe network solver. Manholes drain in laterals of ten to an outfall
// onto the surface: the first lateral ends at the outfall, and every other
// lateral joins one of the manholes 3, 6 or 9 (counted from its lower end)
// of an earlier lateral, so each lateral takes up to three others. Every
// superlink is one 60 m pipe of slope 0.005 (cut into four computational
// pipes), sized for 1.5 times the 5 l/s of every manhole it serves when
// full (Manning, n = 0.013, diameters in steps of 5 cm from 0.3 m). Every
// manhole is an open inlet of 1 m2 in its own cell of a grid 100 cells
// wide, of 10 m cells.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "channel/pipe_state.h"
#include "core/guarded_file.h"
#include "core/thread_pool.h"
#include "inputs/grid_state.h"
#include "pipe/superlink_input.h"
#include "pipe/superlink_solver.h"

namespace nivra::testing {

inline constexpr double sewer_manhole_inflow = 0.005;  // m3/s
inline constexpr int sewer_grid_cols = 100;

// down[j]: the superjunction manhole j drains to (junctions: the outfall;
// 0 for the outfall itself); hops[j]: pipes between j and the outfall;
// served[j]: manholes whose water passes through j's pipe (j among them).
struct sewer_layout {
  std::vector<int> down, hops, served;
};

inline sewer_layout dendritic_layout(int junctions) {
  sewer_layout s;
  s.down.assign(junctions + 1, 0);
  s.hops.assign(junctions + 1, 0);
  s.served.assign(junctions + 1, 0);
  // Counted from the outfall (i = 0) upward: i = junctions - j.
  for (int i = 1; i < junctions; ++i) {
    const int lateral = (i - 1) / 10, place = (i - 1) % 10;
    int parent = 0;
    if (place > 0)
      parent = i - 1;
    else if (lateral > 0)
      parent = 10 * ((lateral - 1) / 3) + ((lateral - 1) % 3) * 3 + 3;
    s.down[junctions - i] = junctions - parent;
  }
  for (int j = junctions - 1; j >= 1; --j) s.hops[j] = s.hops[s.down[j]] + 1;
  for (int j = 1; j < junctions; ++j) {
    ++s.served[j];
    if (s.down[j] < junctions) s.served[s.down[j]] += s.served[j];
  }
  return s;
}

// The diameter (m) of a pipe whose full flow carries q at slope 0.005.
inline double sewer_diameter(double q) {
  const double n = 0.013, slope = 0.005;
  const double d = std::pow(q * n * std::pow(4.0, 5.0 / 3.0) / (M_PI * std::sqrt(slope)), 3.0 / 8.0);
  return std::max(0.3, std::ceil(d / 0.05 - 1e-9) * 0.05);
}

// The superlink file of the sewer.
inline std::string dendritic_sewer_text(int junctions) {
  const sewer_layout s = dendritic_layout(junctions);
  auto bottom = [&](int j) { return 90.0 + 0.3 * s.hops[j]; };
  std::string text;
  text.reserve(static_cast<std::size_t>(junctions) * 260);
  char line[400];
  for (int j = 1; j <= junctions; ++j) {
    const bool outfall = j == junctions;
    std::snprintf(line, sizeof line, "SJUNC %d %.2f %.2f %.1f %d %d %d 0 0\n", j, bottom(j) + 3.0, bottom(j),
                  outfall ? 0.0 : 1.0, outfall ? 888 : 10, (j - 1) / sewer_grid_cols + 1,
                  (j - 1) % sewer_grid_cols + 1);
    text += line;
  }
  for (int j = 1; j < junctions; ++j) {
    const double d = sewer_diameter(1.5 * sewer_manhole_inflow * s.served[j]);
    std::snprintf(line, sizeof line,
                  "CONNECT %d %d %d\nSLINK %d 1\nNODE 1 %.2f %.2f 0 0 0 0 0 0\nNODE 2 %.2f %.2f 0 0 0 0 0 0\n"
                  "PIPE 1 1 %.2f 0 0.005 0.013 60 0 0\n",
                  j, j, s.down[j], j, bottom(j) + 3.0, bottom(j), bottom(s.down[j]) + 3.0, bottom(s.down[j]), d);
    text += line;
  }
  return text;
}

// The sewer read into a pipe component over its grid, and the cells' water.
struct dendritic_sewer {
  grid_state grid;
  pipe_state p;
  std::vector<double> depth;
  int junctions = 0;

  // False when the file does not read (the reader printed why).
  bool build(int n, const std::string& scratch_file) {
    junctions = n;
    const int rows = (n + sewer_grid_cols - 1) / sewer_grid_cols;
    grid.nrows = grid.proj_rows = rows;
    grid.ncols = grid.proj_cols = sewer_grid_cols;
    grid.ncells = rows * sewer_grid_cols;
    grid.grid_size = 10.0;
    grid.mask.alloc(rows + 1, sewer_grid_cols + 1);
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= sewer_grid_cols; ++c) grid.mask[r][c] = (r - 1) * sewer_grid_cols + c;
    {
      std::FILE* out = std::fopen(scratch_file.c_str(), "w");
      if (!out) return false;
      const std::string text = dendritic_sewer_text(n);
      std::fputs(text.c_str(), out);
      std::fclose(out);
    }
    bool ok = false;
    {
      guarded_file f;
      if (!open_guarded_file(f, scratch_file, "r")) return false;
      p.superlink_c_opt = 1;
      ok = read_superlink_file(p, f, scratch_file, grid, nullptr, true);
    }
    std::filesystem::remove(scratch_file);
    if (!ok || !init_superlink_state(p)) return false;
    depth.assign(grid.ncells + 2, 0.0);
    return true;
  }

  // One pipe step of dt seconds with every manhole's inflow on its cell.
  superlink_result step(double dt, thread_pool* crew = nullptr) {
    const double cell_area = grid.grid_size * grid.grid_size;
    for (int c = 1; c < junctions; ++c) depth[c] = sewer_manhole_inflow * dt / cell_area;
    const superlink_domain d{p, depth.data(), nullptr, cell_area, 0, false, crew};
    return superlink_solve(d, dt);
  }
};

}  // namespace nivra::testing
