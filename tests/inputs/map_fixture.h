// Small hand-drawn grids for the spatial-input tests: map texts, a record
// holding the project's grid as the run parameters leave it, and map files
// opened into the record's handles as the run's file opening does.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "core/guarded_file.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "surface/overland_state.h"
#include "support/test_support.h"

namespace nivra::testing {

// A grid map: the six header lines for rows x cols cells of dx metres with
// the north-west corner at (west, north), then the body as given.
inline std::string map_text(int rows, int cols, const std::string& body, double dx = 10.0,
                            double north = 1000.0, double west = 500.0) {
  char head[256];
  std::snprintf(head, sizeof head, "north: %.2f\nsouth: %.2f\neast: %.2f\nwest: %.2f\nrows: %d\ncols: %d\n",
                north, north - rows * dx, west + cols * dx, west, rows, cols);
  return head + body;
}

// A fresh record with the project's grid (ROWS, COLS, GRIDSIZE, OUTROW,
// OUTCOL) and a uniform Manning n, as copied from the cards.
inline std::unique_ptr<model_state> grid_record(int rows, int cols, double dx = 10.0,
                                                int outrow = 1, int outcol = 1) {
  auto ms = make_model_state();
  ms->grid.proj_rows = rows;
  ms->grid.proj_cols = cols;
  ms->grid.grid_size = dx;
  ms->grid.outrow = outrow;
  ms->grid.outcol = outcol;
  ms->overland.manning_n = 0.05;
  ms->overland.manning_n_given = 1;
  return ms;
}

// Writes the map into the working folder under `file`, names it in the
// record's file-name field and opens it into the handle.
inline void give_map(guarded_file& f, file_name_text& name, const std::string& file,
                     const std::string& text) {
  write_file(file, text);
  name.assign(file);
  ASSERT_TRUE(open_guarded_file(f, file, "r")) << file;
}

// A record whose mask and elevation maps are in place, ready for the map
// phase.
inline std::unique_ptr<model_state> mapped_record(int rows, int cols, const std::string& mask_body,
                                                  const std::string& elevation_body, double dx = 10.0,
                                                  int outrow = 1, int outcol = 1) {
  auto ms = grid_record(rows, cols, dx, outrow, outcol);
  give_map(ms->grid.watershed_mask_file, ms->project.watershed_mask, "w.msk", map_text(rows, cols, mask_body, dx));
  give_map(ms->grid.elevation_file, ms->project.elevation_file_name, "w.ele",
           map_text(rows, cols, elevation_body, dx));
  return ms;
}

inline bool run_stopped() { return process.error_block.stop != 0; }

}  // namespace nivra::testing
