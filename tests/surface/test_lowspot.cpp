// Weir flow over low spots in dikes against hand calculations.
#include <gtest/gtest.h>

#include <cmath>

#include "grid_fixture.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

// Two cells on flat ground at 100 m with a dike between them and a notch
// half a cell wide with its crest at 100.3 m, seen from cell 1 (direction 2).
// Built as the weir's components, or as a run's record.
template <class Cells = overland_cells>
std::unique_ptr<Cells> notched_dike(double h1, double h2) {
  test_grid g;
  g.rows = 1;
  g.cols = 2;
  auto w = make_grid<Cells>(g);
  w->grid.dike_map_given = 1;
  w->grid.dike_mask.alloc(2);
  w->grid.dike_mask[1] = cell_side::right;
  w->grid.dike_mask[2] = cell_side::left;
  w->grid.lowspot_file_given = 1;
  w->grid.lowspot_count = 1;
  w->grid.lowspot_cells.alloc(1);
  w->grid.lowspot_cells[1] = lowspot{1, 1, cell_side::right, 0.5, 100.3, 7.0};
  w->grid.low_spot_flow_cell.alloc(2);
  w->overland.ov_depth[1] = h1;
  w->overland.ov_depth[2] = h2;
  return w;
}

// The weirs of the grid for dt seconds; hands back the boundary volumes.
void weirs(overland_cells& w, double dt, double& loss, double& gain) {
  const overland_books books = dike_weir_flow(w.grid, w.overland, w.lake, dt);
  EXPECT_EQ(books.outlet, 0.0);
  loss = books.loss;
  gain = books.gain;
}

// Q = 1.48 x 0.5 x 10 m x (0.2 m)^1.5 for water 0.2 m above the crest.
constexpr double q_head_02 = 0.6618761;

// The same head with the far side 0.05 m above the crest: Villemonte's
// submergence factor (1 - (0.05 / 0.2)^1.5)^0.385 = 0.875^0.385.
const double q_head_02_tail_005 = q_head_02 * std::pow(0.875, 0.385);

struct weir_case {
  const char* name;
  double h1, h2, dt;
  double flow;        // discharge left on the low spot
  double h1_after, h2_after;
  bool marked;
};

TEST(low_spot, exchanges_water_over_the_crest) {
  const double D10 = q_head_02 * 10.0 / 100.0;  // depth moved in 10 s
  const double S10 = q_head_02_tail_005 * 10.0 / 100.0;
  const weir_case cases[] = {
      {"high side near the cell", 0.5, 0.1, 10.0, q_head_02, 0.5 - D10, 0.1 + D10, true},
      {"high side across the dike", 0.1, 0.5, 10.0, q_head_02, 0.1 + D10, 0.5 - D10, true},
      {"submerged weir", 0.5, 0.35, 10.0, q_head_02_tail_005, 0.5 - S10, 0.35 + S10, true},
      // 100 s of submerged flow would move 0.55 m: the two meet at 0.425 m.
      {"levels meet", 0.5, 0.35, 100.0, q_head_02_tail_005, 0.425, 0.425, true},
      // 100 s would move 0.66 m: the high side gives only its 0.2 m above the crest.
      {"high side stops at the crest", 0.5, 0.1, 100.0, q_head_02, 0.3, 0.3, true},
      {"surfaces within a millimetre", 0.5, 0.4995, 10.0, 7.0, 0.5, 0.4995, false},
      {"both below the crest", 0.25, 0.1, 10.0, 7.0, 0.25, 0.1, false},
  };
  for (const weir_case& wc : cases) {
    auto w = notched_dike(wc.h1, wc.h2);
    double loss = -1.0, gain = -1.0;
    weirs(*w, wc.dt, loss, gain);
    EXPECT_NEAR(w->grid.lowspot_cells[1].flow, wc.flow, 1e-6) << wc.name;
    EXPECT_NEAR(w->overland.ov_depth[1], wc.h1_after, 1e-7) << wc.name;
    EXPECT_NEAR(w->overland.ov_depth[2], wc.h2_after, 1e-7) << wc.name;
    EXPECT_EQ(w->grid.low_spot_flow_cell[1] == 1 && w->grid.low_spot_flow_cell[2] == 1, wc.marked) << wc.name;
    EXPECT_EQ(loss, 0.0);
    EXPECT_EQ(gain, 0.0);
  }
}

TEST(low_spot, a_fixed_level_cell_keeps_its_depth_and_books_the_volume) {
  // Into a fixed-level cell: the volume leaves the grid.
  auto w = notched_dike(0.5, 0.1);
  w->overland.ov_boundary = 1;
  w->overland.boundary_type.alloc(2);
  w->overland.boundary_type[2] = boundary::fixed_level;
  double loss = 0.0, gain = 0.0;
  weirs(*w, 10.0, loss, gain);
  EXPECT_NEAR(loss, q_head_02 * 10.0, 1e-5);
  EXPECT_EQ(gain, 0.0);
  EXPECT_EQ(w->overland.ov_depth[2], 0.1);
  EXPECT_NEAR(w->overland.ov_depth[1], 0.5 - q_head_02 * 0.1, 1e-7);

  // Out of a fixed-level cell: the volume enters the grid, and a boundary
  // is not held at the crest. In 10 s the cell gets the weir's flow; in
  // 100 s (66 m3) it would rise above the boundary's level, and it fills
  // only up to it.
  w = notched_dike(0.5, 0.1);
  w->overland.ov_boundary = 1;
  w->overland.boundary_type.alloc(2);
  w->overland.boundary_type[1] = boundary::level_series;
  weirs(*w, 10.0, loss, gain);
  EXPECT_EQ(loss, 0.0);
  EXPECT_NEAR(gain, q_head_02 * 10.0, 1e-5);
  EXPECT_EQ(w->overland.ov_depth[1], 0.5);
  EXPECT_NEAR(w->overland.ov_depth[2], 0.1 + q_head_02 * 0.1, 1e-7);
  w->overland.ov_depth[2] = 0.1;
  weirs(*w, 100.0, loss, gain);
  EXPECT_NEAR(gain, 0.4 * 100.0, 1e-9);
  EXPECT_EQ(w->overland.ov_depth[1], 0.5);
  EXPECT_NEAR(w->overland.ov_depth[2], 0.5, 1e-12);
}

// Two ponds over the notch come to one level without ever swapping which
// is higher: the weir never moves more than brings them level. Water stands
// on the open part of a blocked cell, which rises faster.
TEST(low_spot, two_ponds_settle_to_one_level_monotonically) {
  struct pond_case {
    const char* name;
    double h1, h2;
    double blocked2;  // blocked fraction of cell 2
  };
  const pond_case cases[] = {
      {"both above the crest", 0.50, 0.45, 0.0},
      {"the far side higher", 0.45, 0.50, 0.0},
      {"one side below the crest", 0.60, 0.10, 0.0},
      {"far side half blocked", 0.50, 0.40, 0.5},
  };
  for (const pond_case& pc : cases) {
    SCOPED_TRACE(pc.name);
    auto w = notched_dike(pc.h1, pc.h2);
    w->overland.ovr_flow_block = 1;
    w->overland.ovr_flow_block_cell.alloc(2);
    w->overland.ovr_flow_block_cell[2] = pc.blocked2;
    const double open2 = 1.0 - pc.blocked2;
    const double volume = pc.h1 + pc.h2 * open2;  // per m2 of cell
    const int high = pc.h1 > pc.h2 ? 1 : 2, low = 3 - high;
    double gap = std::fabs(pc.h1 - pc.h2);
    for (int call = 1; call <= 60; ++call) {
      const double h_high = w->overland.ov_depth[high], h_low = w->overland.ov_depth[low];
      double loss = 0.0, gain = 0.0;
      weirs(*w, 10.0, loss, gain);
      const double new_gap = w->overland.ov_depth[high] - w->overland.ov_depth[low];
      ASSERT_GE(new_gap, -1e-12) << "call " << call << ": the ponds swapped";
      ASSERT_LE(new_gap, gap) << "call " << call;
      ASSERT_LE(w->overland.ov_depth[high], h_high) << "call " << call;
      ASSERT_GE(w->overland.ov_depth[low], h_low) << "call " << call;
      ASSERT_NEAR(w->overland.ov_depth[1] + w->overland.ov_depth[2] * open2, volume, 1e-12) << "call " << call;
      gap = new_gap;
    }
    EXPECT_LE(gap, 0.001);
  }
}

TEST(low_spot, lakes_give_and_take_the_same_volume_as_the_far_side) {
  // A channel lake at 100.5 m behind the notch with only 2 m3 left: the
  // cell across gets just those 2 m3.
  auto w = notched_dike(0.0, 0.1);
  add_channel_lake(*w, {1}, 100.5, 2.0);
  double loss = 0.0, gain = 0.0;
  weirs(*w, 10.0, loss, gain);
  EXPECT_EQ(w->lake.lake_volume[1], 0.0);
  EXPECT_EQ(w->lake.lake_out_dv[1], 2.0);
  EXPECT_NEAR(w->overland.ov_depth[2], 0.1 + 2.0 / 100.0, 1e-15);

  // An overland lake below the notch gathers what crosses into it.
  w = notched_dike(0.5, 0.0);
  w->lake.overland_lake_map_given = 1;
  w->lake.num_olakes = 1;
  w->lake.oland_lake_new.alloc(2);
  w->lake.oland_lake_new[2] = 1;
  w->lake.olake_table.alloc(1);
  w->lake.olake_table[1].value[olake_value::level] = 100.1;
  weirs(*w, 10.0, loss, gain);
  EXPECT_NEAR(w->lake.olake_table[1].value[olake_value::exchange], q_head_02 * 10.0, 1e-5);
  EXPECT_NEAR(w->overland.ov_depth[1], 0.5 - q_head_02 * 0.1, 1e-7);
}

TEST(low_spot, both_schemes_run_the_weirs_and_book_their_boundary_volumes) {
  for (int type : {1, 2}) {
    auto ms = notched_dike<model_state>(0.5, 0.1);
    ms->overland.overtype = type;
    ms->project.quiet = 1;
    // The far side is held at the level it has.
    set_boundary(*ms, 2, boundary::fixed_level, ms->grid.elevation[2] + ms->overland.ov_depth[2]);
    ms->ledger.book(water_flux::head_boundary_out, 1.0);
    overland_step(*ms, 10.0);
    EXPECT_NEAR(ms->ledger.run_total(water_flux::head_boundary_out), 1.0 + q_head_02 * 10.0, 1e-5)
        << "overtype " << type;
  }
}

}  // namespace
}  // namespace nivra::testing
