// A hand-built run record for the summary and end-of-run tests: a 2 x 3
// grid whose middle cell of row 1 lies outside the watershed (cells 1..5
// in row-major order, 10 m cells), an open summary file in the scratch
// folder, and helpers to read what was written.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "channel/channel_state.h"
#include "core/guarded_file.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra::testing {

class summary_test : public process_test {
 protected:
  void SetUp() override {
    process_test::SetUp();
    ms = std::make_unique<model_state>();
    ASSERT_TRUE(open_guarded_file(ms->output.summary_file, "summary.out", "w"));
  }
  void TearDown() override {
    ms.reset();
    process_test::TearDown();
  }

  // The summary text written so far (the file is closed).
  std::string summary_text() {
    close_guarded_file(ms->output.summary_file);
    return read_file("summary.out");
  }

  void make_grid() {
    model_state& m = *ms;
    m.grid.rows = m.grid.proj_rows = 2;
    m.grid.cols = m.grid.proj_cols = 3;
    m.grid.ncells = 5;
    m.grid.grid_size = 10.0;
    m.grid.north = 200.0;
    m.grid.south = 180.0;
    m.grid.east = 130.0;
    m.grid.west = 100.0;
    m.grid.mask.alloc(3, 4);  // a spare row and column around the grid
    const int cells[2][3] = {{1, 0, 2}, {3, 4, 5}};
    for (int r = 1; r <= 2; ++r)
      for (int c = 1; c <= 3; ++c) m.grid.mask(r, c) = cells[r - 1][c - 1];
    m.overland.ov_depth.alloc(5);
    m.grid.elevation.alloc(5);
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
  m.groundwater.gw_simulation = m.groundwater.water_table_given = 1;
  m.groundwater.elevgw.alloc(m.grid.ncells);
  m.groundwater.bottom_elev.alloc(m.grid.ncells);
  m.groundwater.gw_porosity.alloc(m.grid.ncells);
  m.groundwater.sacramento_given = 1;
  m.channel.chan_explic = m.channel.stream_loss = 1;
  m.lake.chan_lakes = m.lake.lake_gw_on = 1;
  m.lake.num_lakes = 1;
  m.lake.lake_volume.alloc(1);
  m.lake.lake_mask.alloc(m.grid.ncells);
  m.lake.overland_lake_map_given = 1;
  m.pipe.storm_sewer_given = m.pipe.gw_to_tile = 1;
  m.overland.ov_boundary = 1;
  m.output.xy_input_in_use = 1;
  m.grid.dike_map_given = m.grid.lowspot_file_given = 1;
  m.grid.low_spot_flow_cell.alloc(m.grid.ncells);
  m.grid.low_spot_flow_cell[4] = 1;
  m.constituent.soil_erosion_on = 1;
  m.constituent.sed_transport_mode = 1;
  m.constituent.chan_sed_on = 1;
  m.constituent.n_sed_classes = 1;
  m.constituent.ov_sed = std::make_unique<ov_sed_record>();
  m.constituent.ov_sed->tot_sed.alloc(1, 4);
  m.constituent.soil_con_trans = m.constituent.ov_con_trans = m.constituent.chan_con_trans = 1;
  m.constituent.sediment_contam = m.constituent.nutrients = 1;
  m.constituent.num_constituents = 2;
  m.constituent.constituent_type.grow(2);
  m.constituent.constituent_type[1] = 1;
  m.constituent.constituent_type[2] = 2;
  m.constituent.constituent_output_name = {"", "", "NO3"};
  m.constituent.mass_books = std::make_unique<mass_ledger>(constituent_term_table, 2);
}

}  // namespace nivra::testing
