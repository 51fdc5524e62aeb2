// A hand-built run record for the summary and end-of-run tests: a 2 x 3
// grid whose middle cell of row 1 lies outside the watershed (cells 1..5
// in row-major order, 10 m cells), an open summary file in the scratch
// folder, and helpers to read what was written.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/guarded_file.h"
#include "model/model_state.h"
#include "support/test_support.h"

namespace nivra::testing {

class summary_test : public process_test {
 protected:
  void SetUp() override {
    process_test::SetUp();
    ms = std::make_unique<model_state>();
    ASSERT_TRUE(open_guarded_file(ms->summary_file, "summary.out", "w"));
  }
  void TearDown() override {
    ms.reset();
    process_test::TearDown();
  }

  // The summary text written so far (the file is closed).
  std::string summary_text() {
    close_guarded_file(ms->summary_file);
    return read_file("summary.out");
  }

  void make_grid() {
    model_state& m = *ms;
    m.rows = m.proj_rows = 2;
    m.cols = m.proj_cols = 3;
    m.ncells = 5;
    m.grid_size = 10.0;
    m.north = 200.0;
    m.south = 180.0;
    m.east = 130.0;
    m.west = 100.0;
    m.mask.alloc(3, 4);  // a spare row and column around the grid
    const int cells[2][3] = {{1, 0, 2}, {3, 4, 5}};
    for (int r = 1; r <= 2; ++r)
      for (int c = 1; c <= 3; ++c) m.mask(r, c) = cells[r - 1][c - 1];
    m.ov_depth.alloc(5);
    m.elevation.alloc(5);
  }

  // Per-constituent arrays grown to n constituents of the given kind.
  static void grow(checked_array<double>& a, int n) { a.grow(n); }

  std::unique_ptr<model_state> ms;
};

// True when text contains part.
inline bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace nivra::testing
