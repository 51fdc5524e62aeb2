// Pipe networks for the tests: superlink files written by hand, read into a
// pipe component over a small grid of watershed cells, and the water on
// those cells that the inlets see.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "channel/pipe_state.h"
#include "core/guarded_file.h"
#include "inputs/grid_state.h"
#include "pipe/superlink_input.h"
#include "pipe/superlink_solver.h"
#include "support/test_support.h"

namespace nivra::testing {

// A grid of rows x cols watershed cells numbered row by row.
inline void make_grid(grid_state& g, int rows, int cols, double size = 10.0) {
  g.nrows = g.proj_rows = rows;
  g.ncols = g.proj_cols = cols;
  g.ncells = rows * cols;
  g.grid_size = size;
  g.mask.alloc(rows + 1, cols + 1);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) g.mask[r][c] = (r - 1) * cols + c;
}

inline std::string fmt(const char* format, double a = 0, double b = 0, double c = 0, double d = 0, double e = 0,
                       double f = 0, double g = 0, double h = 0, double i = 0) {
  char buf[400];
  std::snprintf(buf, sizeof buf, format, a, b, c, d, e, f, g, h, i);
  return buf;
}

// "SJUNC j ground bottom area inlet row col side dia".
inline std::string sjunc(int j, double ground, double bottom, double area, int inlet, int row, int col,
                         double side = 0.0, double dia = 0.0) {
  return "SJUNC " + std::to_string(j) +
         fmt(" %.15g %.15g %.15g", ground, bottom, area) + " " + std::to_string(inlet) + " " + std::to_string(row) +
         " " + std::to_string(col) + fmt(" %.15g %.15g\n", side, dia);
}

// A superlink of one circular pipe (no inlets at its nodes) from invert z1
// to z2 (ground 3 m above), length L, diameter D, Manning's n.
inline std::string one_pipe(int l, int us, int ds, double z1, double z2, double L, double D, double n,
                            int type = 1, double width = 0.0) {
  const double slope = (z1 - z2) / L;
  return "CONNECT " + std::to_string(l) + " " + std::to_string(us) + " " + std::to_string(ds) + "\nSLINK " +
         std::to_string(l) + " 1\n" + fmt("NODE 1 %.15g %.15g 0 0 0 0 0 0\n", z1 + 3.0, z1) +
         fmt("NODE 2 %.15g %.15g 0 0 0 0 0 0\n", z2 + 3.0, z2) +
         "PIPE 1 " + std::to_string(type) + fmt(" %.15g %.15g %.15g %.15g %.15g 0 0\n", D, width, slope, n, L);
}

// A superlink file read into p over grid g; false (with the reader's
// message in `err`) when it does not read.
inline bool read_network(pipe_state& p, const grid_state& g, const std::string& text, bool c_opt,
                         std::string* err = nullptr) {
  write_file("net.slk", text);
  guarded_file f;
  if (!open_guarded_file(f, "net.slk", "r")) return false;
  p.superlink_c_opt = c_opt;
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  const bool ok = read_superlink_file(p, f, "net.slk", g, nullptr, true);
  ::testing::internal::GetCapturedStdout();
  const std::string e = ::testing::internal::GetCapturedStderr();
  if (err) *err = e;
  return ok && init_superlink_state(p);
}

// The cells' water and the domain of the solver over grid g.
struct pipe_world {
  grid_state grid;
  pipe_state p;
  std::vector<double> depth;
  pipe_world(int rows, int cols, double size = 10.0) {
    make_grid(grid, rows, cols, size);
    depth.assign(grid.ncells + 2, 0.0);
  }
  superlink_domain domain() { return superlink_domain{p, depth.data(), nullptr, grid.grid_size * grid.grid_size, 0, false}; }
  double cell_area() const { return grid.grid_size * grid.grid_size; }
};

// Two solutions of one network compared: the largest difference of a
// field (heads, flows or depths) over the largest magnitude of that field
// in the same solution (the norm-wise relative difference), the worst of
// every call.
struct worst_difference {
  double worst = 0.0;
  double diff = 0.0, size = 0.0;  // of the present solution
  void add(double a, double b) {
    diff = std::max(diff, std::fabs(a - b));
    size = std::max({size, std::fabs(a), std::fabs(b)});
  }
  // Closes the present solution.
  void close() {
    if (size > 0.0) worst = std::max(worst, diff / size);
    diff = size = 0.0;
  }
};

}  // namespace nivra::testing
