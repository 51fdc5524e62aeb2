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

// Each part found in text after the one before it; the first part missing
// or out of order is reported.
inline ::testing::AssertionResult in_order(const std::string& text,
                                           std::initializer_list<const char*> parts) {
  std::size_t at = 0;
  for (const char* part : parts) {
    std::size_t found = text.find(part, at);
    if (found == std::string::npos)
      return ::testing::AssertionFailure() << "missing or out of order: \"" << part << "\"";
    at = found + 1;
  }
  return ::testing::AssertionSuccess();
}

// A record with every block of the summaries switched on: groundwater,
// Sacramento, lakes, drains, boundaries, dikes, sediments, and two
// constituents (a contaminant and a nutrient).
inline void switch_everything_on(model_state& m) {
  m.gw_simulation = m.water_table_given = 1;
  m.elevgw.alloc(m.ncells);
  m.bottom_elev.alloc(m.ncells);
  m.gw_porosity.alloc(m.ncells);
  m.sacramento_given = 1;
  m.chan_explic = m.stream_loss = 1;
  m.chan_lakes = m.lake_gw_on = 1;
  m.num_lakes = 1;
  m.lake_volume.alloc(1);
  m.lake_mask.alloc(m.ncells);
  m.overland_lake_map_given = 1;
  m.storm_sewer_given = m.gw_to_tile = 1;
  m.ov_boundary = 1;
  m.xy_input_in_use = 1;
  m.dike_map_given = m.lowspot_file_given = 1;
  m.low_spot_flow_cell.alloc(m.ncells);
  m.low_spot_flow_cell[4] = 1;
  m.soil_erosion_on = 1;
  m.sed_transport_mode = 1;
  m.chan_sed_on = 1;
  m.n_sed_classes = 1;
  m.ov_sed = std::make_unique<ov_sed_record>();
  m.ov_sed->tot_sed.alloc(1, 4);
  m.soil_con_trans = m.ov_con_trans = m.chan_con_trans = 1;
  m.sediment_contam = m.nutrients = 1;
  m.num_constituents = 2;
  m.constituent_type.grow(2);
  m.constituent_type[1] = 1;
  m.constituent_type[2] = 2;
  m.constituent_output_name = {"", "", "NO3"};
}

}  // namespace nivra::testing
