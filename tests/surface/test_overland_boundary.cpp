// Overland boundary conditions of types 1 to 7 on small grids of 10 m
// cells (100 m2), by hand: Manning's normal-depth outflow through every
// open side, levels fixed once and levels of a series, discharges in and
// out with the removal a cell cannot give, rating-curve exchanges with
// receiving cells, a channel lake taking a discharge; every volume that
// crosses the grid's edge in the ledger, whole steps that close their
// balance, and the checks of the boundary table at set-up.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/elevation_series.h"
#include "core/process.h"
#include "core/time_series.h"
#include "inputs/cmt_fixture.h"
#include "inputs/soil_maps.h"
#include "support/test_support.h"
#include "surface/grid_fixture.h"

namespace nivra::testing {
namespace {

// A flat 3 x 3 grid of 10 m cells at 100 m, n 0.03.
std::unique_ptr<overland_cells> square() {
  test_grid g;
  g.rows = 3;
  g.cols = 3;
  return make_grid<overland_cells>(g);
}

// A row of three cells with the given depths.
std::unique_ptr<overland_cells> row_of_three(double h1, double h2, double h3) {
  test_grid g;
  g.cols = 3;
  auto w = make_grid<overland_cells>(g);
  w->overland.ov_depth[1] = h1;
  w->overland.ov_depth[2] = h2;
  w->overland.ov_depth[3] = h3;
  return w;
}

// Sets the value in force of a boundary cell, as bc_series_values would.
template <class Cells>
void boundary_now(Cells& w, int cell, int type, double value) {
  set_boundary(w, cell, type, value);
  w.overland.bc_value[cell] = value;
}

// A rating of discharge 2 m3/s per metre of its argument, given to a cell.
template <class Cells>
void rate_linearly(Cells& w, int cell) {
  if (process.es_list.empty()) {
    elevation_series* es = new_elev_series();
    es->name = "two per metre";
    es->x = {0.0, 1.0};
    es->y = {0.0, 2.0};
    es->count = 2;
  }
  w.overland.ov_bc_rating_series[cell] = 1;
}

class OverlandBoundary : public process_test {};

// The depth a normal-depth cell of 100 m2 with `sides` open sides of 10 m
// keeps after draining from h for dt seconds in one sub-step, the outlet's
// rule: h' + sides x Q(h') dt / 100 = h, Q(h) = sqrt(S) h^(5/3) 10 / n;
// by bisection.
double kept_after_draining(double h, double dt, int sides, double slope, double n) {
  double lo = 0.0, hi = h;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    const double left = mid + sides * std::sqrt(slope) * std::pow(mid, 1.666667) * 10.0 / n * dt / 100.0;
    (left > h ? hi : lo) = mid;
  }
  return 0.5 * (lo + hi);
}

// One routing call of the scheme.
overland_result route(overland_cells& w, double dt) {
  return w.overland.overtype == overland_scheme::explicit_faces ? route_overland_explicit(w.domain(), dt)
                                                                : route_overland_ade(w.domain(), dt);
}

// A normal-depth cell drains through every side it has no neighbour on, in
// the routing of every scheme, as the outlet does: each sub-step leaves it
// the depth it keeps at the sub-step's end (kept_after_draining), so that
// it never gives more than it holds, and over a long call it follows the
// cell draining by normal depth, dh/dt = -k h^(5/3), k = sides sqrt(S) 10 /
// (n 100), whose depth after t is (h0^(-2/3) + 2 k t / 3)^(-3/2). Its
// roughness falls with the depth, n exp(-e h). Here the cell holds its
// water below its retention, and drains alone.
TEST_F(OverlandBoundary, NormalDepthDrainsThroughEveryOpenSide) {
  // Depth 0.1 m, slope 0.01, n 0.03: per side of 10 m, sqrt(0.01) x
  // 0.1^(5/3) x 10 / 0.03 = 0.71814 m3/s.
  const double per_side = 0.1 * std::pow(0.1, 1.666667) * 10.0 / 0.03;
  EXPECT_NEAR(per_side, 0.71814, 5e-6);
  const struct {
    int cell;
    int sides;
  } cells[] = {{1, 2}, {2, 1}, {5, 0}};  // a corner, an edge, the centre
  for (int scheme : {overland_scheme::explicit_faces, overland_scheme::ade, overland_scheme::ade_pc}) {
    for (const auto& c : cells) {
      for (const double exponent : {0.0, 2.0}) {
        SCOPED_TRACE("scheme " + std::to_string(scheme) + " cell " + std::to_string(c.cell) + " exponent " +
                     std::to_string(exponent));
        auto w = square();
        w->overland.overtype = scheme;
        set_quiet(*w);
        w->overland.ov_depth[c.cell] = 0.1;
        w->overland.retent_dep[c.cell] = 1.0;
        w->overland.roughness_exp[c.cell] = exponent;
        w->overland.bc_out_vol.alloc(w->grid.ncells);
        boundary_now(*w, c.cell, boundary::normal_depth, 0.01);
        // A hundredth of a second: Q dt, the roughness n exp(-0.2) with the
        // exponent.
        const double n = 0.03 * std::exp(-exponent * 0.1);
        overland_result r = route(*w, 0.01);
        ASSERT_EQ(r.status, overland_status::ok);
        const double kept = kept_after_draining(0.1, 0.01, c.sides, 0.01, n);
        EXPECT_NEAR(r.books.slope_out, (0.1 - kept) * 100.0, 1e-12);
        const double first_order = c.sides * per_side * 0.03 / n * 0.01;
        EXPECT_NEAR(r.books.slope_out, first_order, 3e-3 * first_order);
        EXPECT_NEAR(w->overland.ov_depth[c.cell], kept, 1e-15);
        EXPECT_EQ(w->overland.bc_out_vol[c.cell], r.books.slope_out);
        EXPECT_EQ(r.books.outlet + r.books.loss + r.books.gain, 0.0);
        if (exponent != 0.0 || c.sides == 0) continue;
        // A minute: the explicit scheme takes it in one sub-step; the ADE
        // schemes pass a sixteenth of the cell's water a sub-step (the
        // outlet's turnover) and follow the cell's own curve.
        w->overland.ov_depth[c.cell] = 0.1;
        r = route(*w, 60.0);
        const double k = c.sides * std::sqrt(0.01) * 10.0 / (0.03 * 100.0);
        const double curve = std::pow(std::pow(0.1, -2.0 / 3.0) + 2.0 * k * 60.0 / 3.0, -1.5);
        const double left = w->overland.ov_depth[c.cell];
        if (scheme == overland_scheme::explicit_faces) {
          EXPECT_NEAR(left, kept_after_draining(0.1, 60.0, c.sides, 0.01, 0.03), 1e-15);
        } else {
          EXPECT_NEAR(left, curve, 0.02 * curve);
        }
        EXPECT_GT(left, 0.0);
        EXPECT_NEAR(r.books.slope_out, (0.1 - left) * 100.0, 1e-12);
      }
    }
  }
  // Under a channel lake the boundary step drains the lake, by the depth of
  // the lake over the cell (0.5 m), and the routing leaves the cell alone;
  // outside the lakes the boundary step leaves it to the routing.
  auto w = square();
  add_channel_lake(*w, {1}, 100.5, 1000.0);
  boundary_now(*w, 1, boundary::normal_depth, 0.01);
  boundary_now(*w, 2, boundary::normal_depth, 0.01);
  w->overland.ov_depth[2] = 0.1;
  const boundary_books b = overland_boundary(w->domain(), 1.0, true);
  const double lake_side = 0.1 * std::pow(0.5, 1.666667) * 10.0 / 0.03;
  EXPECT_NEAR(b.slope_out, 2.0 * lake_side, 1e-12);
  EXPECT_NEAR(w->lake.lake_volume[1], 1000.0 - 2.0 * lake_side, 1e-9);
  EXPECT_EQ(w->overland.ov_depth[2], 0.1);
  // The routing drains cell 2 only (the lake, down to its cell's ground,
  // moves no water, whatever depth its cell kept from before).
  w->overland.retent_dep[2] = 1.0;
  w->lake.lake_elev[1] = 100.0;
  for (int scheme : {overland_scheme::explicit_faces, overland_scheme::ade, overland_scheme::ade_pc}) {
    w->overland.overtype = scheme;
    w->overland.ov_depth[1] = 0.1;
    w->overland.ov_depth[2] = 0.1;
    const overland_result r = route(*w, 0.01);
    EXPECT_NEAR(r.books.slope_out, (0.1 - kept_after_draining(0.1, 0.01, 1, 0.01, 0.03)) * 100.0, 1e-12) << scheme;
  }
}

TEST_F(OverlandBoundary, ALevelFixedOnceAndALevelThatFollowsItsSeries) {
  auto w = square();
  w->overland.ov_depth[1] = 0.1;
  boundary_now(*w, 1, boundary::fixed_level, 100.4);
  boundary_now(*w, 2, boundary::fixed_level, 99.0);  // below the ground: stays dry
  boundary_now(*w, 3, boundary::fixed_level, 100.05);
  w->overland.ov_depth[3] = 0.25;                     // drained down to its level
  boundary_books b = overland_boundary(w->domain(), 10.0, true);
  EXPECT_NEAR(w->overland.ov_depth[1], 0.4, 1e-12);
  EXPECT_EQ(w->overland.ov_depth[2], 0.0);
  EXPECT_NEAR(w->overland.ov_depth[3], 0.05, 1e-12);
  EXPECT_NEAR(b.discharge_in, 30.0, 1e-9);
  EXPECT_NEAR(b.discharge_out, 20.0, 1e-9);
  // Later calls leave the fixed levels to the routing.
  w->overland.ov_depth[1] = 0.2;
  b = overland_boundary(w->domain(), 10.0, false);
  EXPECT_EQ(w->overland.ov_depth[1], 0.2);
  EXPECT_EQ(b.discharge_in + b.discharge_out, 0.0);

  // Type 3 takes its level from series 4 of the TIME_SERIES_INDEX table:
  // 100.3 m at day 0, 100.05 m at day 1.
  add_index_series(4, {{0.0, 100.3}, {1.0, 100.05}});
  set_boundary(*w, 5, boundary::level_series, 4);
  w->overland.ov_depth[5] = 0.1;
  bc_series_values(w->overland, 0.0);
  b = overland_boundary(w->domain(), 10.0, false);
  EXPECT_NEAR(w->overland.ov_depth[5], 0.3, 1e-12);
  EXPECT_NEAR(b.head_in, 20.0, 1e-9);
  bc_series_values(w->overland, 1.0);
  b = overland_boundary(w->domain(), 10.0, false);
  EXPECT_NEAR(w->overland.ov_depth[5], 0.05, 1e-12);
  EXPECT_NEAR(b.head_out, 25.0, 1e-9);
  // An id the table does not hold stops the run.
  set_boundary(*w, 6, boundary::discharge_cms, 9);
  ::testing::internal::CaptureStdout();
  bc_series_values(w->overland, 0.0);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("The specified time series index is 9"), std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(OverlandBoundary, DischargesInAndOutAndTheRemovalACellCannotGive) {
  auto w = square();
  // 10 ft3/s for 100 s: 28.3168466 m3 on 100 m2.
  boundary_now(*w, 1, boundary::discharge_cfs, 10.0);
  // 0.5 m3/s out of a cell holding 0.2 m (20 m3) for 100 s: 30 m3 unmet.
  boundary_now(*w, 9, boundary::discharge_cms, -0.5);
  w->overland.ov_depth[9] = 0.2;
  const boundary_books b = overland_boundary(w->domain(), 100.0, true);
  EXPECT_NEAR(b.discharge_in, 28.3168466, 1e-9);
  EXPECT_NEAR(w->overland.ov_depth[1], 0.283168466, 1e-12);
  EXPECT_NEAR(b.discharge_out, 20.0, 1e-9);
  EXPECT_NEAR(b.discharge_unmet, 30.0, 1e-9);
  EXPECT_EQ(w->overland.ov_depth[9], 0.0);
  // A cell under a channel lake takes the discharge into the lake.
  add_channel_lake(*w, {5}, 101.0, 1000.0);
  boundary_now(*w, 5, boundary::discharge_cms, 0.5);
  overland_boundary(w->domain(), 100.0, false);
  EXPECT_EQ(w->lake.lake_volume[1], 1050.0);
  EXPECT_EQ(w->lake.lake_in_dv[1], 50.0);
  EXPECT_EQ(w->overland.ov_depth[5], 0.0);
}

TEST_F(OverlandBoundary, ARatingExchangeRunsDownTheSurfacesBothWays) {
  // Cell 2 (type 6, surface 100.2) between receivers at 100.5 and 100.0;
  // the rating gives 2 m3/s per metre of head. Over 10 s it takes 0.6 x 10
  // = 6 m3 from the higher one and gives 0.4 x 10 = 4 m3 to the lower one.
  auto w = row_of_three(0.5, 0.2, 0.0);
  set_boundary(*w, 1, boundary::rating_receiver, 0);
  set_boundary(*w, 3, boundary::rating_receiver, 0);
  boundary_now(*w, 2, boundary::rating_exchange, 1);
  rate_linearly(*w, 2);
  const double before = stored_volume(*w);
  const boundary_books b = overland_boundary(w->domain(), 10.0, true);
  EXPECT_NEAR(w->overland.ov_depth[1], 0.44, 1e-12);
  EXPECT_NEAR(w->overland.ov_depth[2], 0.22, 1e-12);
  EXPECT_NEAR(w->overland.ov_depth[3], 0.04, 1e-12);
  // Water only moved within the grid.
  EXPECT_NEAR(stored_volume(*w), before, 1e-12);
  EXPECT_EQ(b.slope_out + b.head_in + b.head_out + b.discharge_in + b.discharge_out, 0.0);
  // A long step moves at most the head difference.
  w = row_of_three(0.5, 0.2, 0.0);
  set_boundary(*w, 1, boundary::rating_receiver, 0);
  boundary_now(*w, 2, boundary::rating_exchange, 1);
  rate_linearly(*w, 2);
  overland_boundary(w->domain(), 1000.0, true);
  EXPECT_NEAR(w->overland.ov_depth[1], 0.2, 1e-12);
  EXPECT_NEAR(w->overland.ov_depth[2], 0.5, 1e-12);
  // Surfaces within 1e-8 m exchange nothing.
  w = row_of_three(0.2 + 5e-9, 0.2, 0.0);
  set_boundary(*w, 1, boundary::rating_receiver, 0);
  boundary_now(*w, 2, boundary::rating_exchange, 1);
  rate_linearly(*w, 2);
  overland_boundary(w->domain(), 10.0, true);
  EXPECT_EQ(w->overland.ov_depth[1], 0.2 + 5e-9);
  EXPECT_EQ(w->overland.ov_depth[2], 0.2);
}

TEST_F(OverlandBoundary, ARatingOutflowServesItsReceiversInTurn) {
  // Cell 2 (type 7) holds 0.5 m; its receivers to the right and the left
  // take in that order 2 x 0.5 x 10 = 10 m3, then 2 x 0.4 x 10 = 8 m3.
  auto w = row_of_three(0.0, 0.5, 0.0);
  set_boundary(*w, 1, boundary::rating_receiver, 0);
  set_boundary(*w, 3, boundary::rating_receiver, 0);
  boundary_now(*w, 2, boundary::rating_outflow, 1);
  rate_linearly(*w, 2);
  overland_boundary(w->domain(), 10.0, true);
  EXPECT_NEAR(w->overland.ov_depth[3], 0.1, 1e-12);
  EXPECT_NEAR(w->overland.ov_depth[1], 0.08, 1e-12);
  EXPECT_NEAR(w->overland.ov_depth[2], 0.32, 1e-12);
}

TEST_F(OverlandBoundary, WholeStepsBookEveryBoundaryVolumeAndCloseTheBalance) {
  // A 3 x 3 grid tilted to the south: 0.05 m3/s enters at the top middle
  // cell, the southern edge drains by normal depth.
  for (int scheme : {overland_scheme::explicit_faces, overland_scheme::ade, overland_scheme::ade_pc}) {
    test_grid g;
    g.rows = 3;
    g.cols = 3;
    g.ground = [](int r, int) { return 100.0 - 0.1 * r; };
    auto ms = make_grid(g);
    set_quiet(*ms);
    ms->overland.overtype = scheme;
    add_index_series(1, {{0.0, 0.05}});
    set_boundary(*ms, cell_at(*ms, 1, 2), boundary::discharge_cms, 1);
    for (int c = 1; c <= 3; ++c) boundary_now(*ms, cell_at(*ms, 3, c), boundary::normal_depth, 0.01);
    for (int step = 0; step < 360; ++step) overland_step(*ms, 10.0);
    const water_ledger& l = ms->ledger;
    const double in = l.run_total(water_flux::discharge_boundary_in), out = l.run_total(water_flux::slope_boundary_out);
    EXPECT_NEAR(in, 0.05 * 3600.0, 1e-9) << scheme;
    EXPECT_GT(out, 0.5 * in) << scheme;
    EXPECT_NEAR(stored_volume(*ms), in - out, 1e-9 * in) << scheme;
    ts_free_all();
  }
  // The levels of the fixed-level cells are set by the first step of every
  // run: a second record starts again.
  for (int run = 0; run < 2; ++run) {
    auto ms = make_grid(test_grid{});
    set_quiet(*ms);
    boundary_now(*ms, 1, boundary::fixed_level, 100.3);
    overland_step(*ms, 10.0);
    EXPECT_NEAR(ms->overland.ov_depth[1], 0.3, 1e-12) << run;
    EXPECT_NEAR(ms->ledger.run_total(water_flux::discharge_boundary_in), 30.0, 1e-9) << run;
  }
}

// A plane of 10 x 10 cells of 10 m falling 1 % to the south, n 0.03, under
// 50 mm/h for 20 minutes on steps of dt seconds: the outlet in the middle
// of the southern row, the rest of the row normal-depth cells on the
// outlet's slope, 0.01. The outlet's discharge at the end (m3/s) and the
// water's books (m3).
struct edge_plane {
  double q = 0.0;
  double rain = 0.0, outlet = 0.0, edge = 0.0, stored = 0.0;
};

edge_plane run_edge_plane(int scheme, double dt) {
  reset_process_state();
  test_grid g;
  g.rows = 10;
  g.cols = 10;
  g.ground = [](int r, int) { return 100.0 - 0.1 * r; };
  g.out_row = 10;
  g.out_col = 5;
  g.outlet_slope = 0.01;
  auto ms = make_grid(g);
  set_quiet(*ms);
  ms->overland.overtype = scheme;
  for (int c = 1; c <= 10; ++c)
    if (c != g.out_col) boundary_now(*ms, cell_at(*ms, 10, c), boundary::normal_depth, 0.01);
  edge_plane p;
  double last = 0.0;
  for (long s = std::lround(1200.0 / dt); s > 0; --s) {
    p.rain += rain(*ms, 50.0 / 3600000.0 * dt);
    last = overland_step(*ms, dt);
  }
  p.q = last / dt;
  p.outlet = ms->ledger.run_total(water_flux::outlet_discharge);
  p.edge = ms->ledger.run_total(water_flux::slope_boundary_out);
  p.stored = stored_volume(*ms);
  return p;
}

// The outlet beside normal-depth cells converges with the step: its
// discharge at 20 minutes on 10 s steps is within 3 % of that on 1 s steps,
// in every scheme. (Drained once a step, before the routing, by the depth
// they had at its start, the boundary cells stood below the outlet for most
// of every step and drew its water sideways: 6 to 11 % less on 10 s steps.)
// The three schemes' 1 s discharges agree, and every run's books close.
TEST_F(OverlandBoundary, TheOutletBesideNormalDepthCellsConvergesWithTheStep) {
  double first_scheme = 0.0;
  for (int scheme : {overland_scheme::explicit_faces, overland_scheme::ade, overland_scheme::ade_pc}) {
    SCOPED_TRACE(scheme);
    const edge_plane fine = run_edge_plane(scheme, 1.0);
    const edge_plane coarse = run_edge_plane(scheme, 10.0);
    EXPECT_GT(fine.q, 0.01);
    EXPECT_NEAR(coarse.q, fine.q, 0.03 * fine.q);
    if (first_scheme == 0.0) first_scheme = fine.q;
    EXPECT_NEAR(fine.q, first_scheme, 0.005 * first_scheme);
    for (const edge_plane& p : {fine, coarse}) {
      EXPECT_GT(p.edge, 5.0 * p.outlet);
      EXPECT_NEAR(p.outlet + p.edge + p.stored, p.rain, 1e-9 * p.rain);
    }
  }
}

// A plane of 10 x 10 cells of 10 m falling 1 % to the south, n 0.03, under
// 50 mm/h for 20 minutes on steps of dt seconds (on the plane's 90 cells above
// the pond), draining into a pond along its southern row: the row holds its level 2 cm above its ground (fixed
// level, set by the first step). The water that left into the pond, the
// depth of the pond's cells at the end, and the books (m3).
struct pond_plane {
  double out = 0.0, in = 0.0, rain = 0.0, stored = 0.0;
  double pond_min = 0.0, pond_max = 0.0;
};

pond_plane run_pond_plane(int scheme, double dt) {
  reset_process_state();
  test_grid g;
  g.rows = 10;
  g.cols = 10;
  g.ground = [](int r, int) { return 100.0 - 0.1 * r; };
  auto ms = make_grid(g);
  set_quiet(*ms);
  ms->overland.overtype = scheme;
  for (int c = 1; c <= 10; ++c) boundary_now(*ms, cell_at(*ms, 10, c), boundary::fixed_level, 99.0 + 0.02);
  pond_plane p;
  // The rain on the pond leaves with it: it falls on the plane's cells only.
  const double depth = 50.0 / 3600000.0 * dt;
  for (long s = std::lround(1200.0 / dt); s > 0; --s) {
    for (int c = 1; c <= 90; ++c) ms->overland.ov_depth[c] += depth;
    p.rain += 90 * depth * 100.0;
    overland_step(*ms, dt);
  }
  const water_ledger& l = ms->ledger;
  p.out = l.run_total(water_flux::head_boundary_out) + l.run_total(water_flux::discharge_boundary_out);
  p.in = l.run_total(water_flux::head_boundary_in) + l.run_total(water_flux::discharge_boundary_in);
  p.stored = stored_volume(*ms);
  p.pond_min = 1.0;
  for (int c = 1; c <= 10; ++c) {
    const double h = ms->overland.ov_depth[cell_at(*ms, 10, c)];
    p.pond_min = std::fmin(p.pond_min, h);
    p.pond_max = std::fmax(p.pond_max, h);
  }
  return p;
}

// Every scheme holds the pond's level through its sub-steps: the pond's
// cells stand at 2 cm at the end, what the plane brings them leaves the
// grid, and the books close. The water that left converges with the step
// (10 s within 2 % of 1 s) and the schemes agree on it at 1 s within 1 %.
// (The explicit scheme let the held cells fill up between the boundary
// steps, which set a fixed level only once: nothing left the plane.)
TEST_F(OverlandBoundary, EverySchemeHoldsALevelThePlaneDrainsInto) {
  double first_scheme = 0.0;
  for (int scheme : {overland_scheme::explicit_faces, overland_scheme::ade, overland_scheme::ade_pc}) {
    SCOPED_TRACE(scheme);
    const pond_plane fine = run_pond_plane(scheme, 1.0);
    const pond_plane coarse = run_pond_plane(scheme, 10.0);
    EXPECT_GT(fine.out, 0.2 * fine.rain);
    EXPECT_NEAR(coarse.out, fine.out, 0.02 * fine.out);
    if (first_scheme == 0.0) first_scheme = fine.out;
    EXPECT_NEAR(fine.out, first_scheme, 0.01 * first_scheme);
    for (const pond_plane& p : {fine, coarse}) {
      EXPECT_NEAR(p.pond_min, 0.02, 1e-12);
      EXPECT_NEAR(p.pond_max, 0.02, 1e-12);
      EXPECT_NEAR(p.in + p.rain, p.out + p.stored, 1e-9 * p.rain);
    }
  }
}

// ---- The boundary table at set-up.

const std::string cmt_head = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map lu\n";

TEST_F(OverlandBoundary, TheBoundaryTableIsCheckedAtSetUp) {
  write_file("es.txt", "NIVRA_ES\n\"gate rating\"\n0 0\n1 3\nEND_ES\nNIVRA_ES\nleaky\n0 -1\n1 3\nEND_ES\n");
  write_file("ts.txt", "NIVRA_TS\ninflow\nRELATIVE\n0 0 0 0 0 0.3\nEND_TS\n");
  const struct {
    const char* rows;  // the type and value of IDs 1 and 2
    const char* message;  // null: accepted
  } cases[] = {
      {"6 1|99 0", nullptr},
      {"5 3|1 0.01", nullptr},
      {"8 0|0 0", "Error: overland boundary cell 1 of the OVERLAND_BOUNDARY table gives the boundary type 8, which is "
                  "none of 0 to 7 and 99"},
      {"0 0|1 0", "cell 2 of the OVERLAND_BOUNDARY table gives normal-depth outflow (type 1) a slope of 0.000000"},
      {"4 7|0 0", "cell 1 of the OVERLAND_BOUNDARY table asks for the time series 7, which the TIME_SERIES_INDEX table "
                  "of the mapping table does not give"},
      {"7 2|99 0", "cell 1 of the OVERLAND_BOUNDARY table has the rating curve [leaky], which gives a negative "
                   "discharge"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rows);
    reset_process_state();
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(read_elev_series_file("es.txt"));
    ASSERT_TRUE(read_time_series_file("ts.txt"));
    ::testing::internal::GetCapturedStdout();
    std::string rows = c.rows;
    const std::string first = rows.substr(0, rows.find('|')), second = rows.substr(rows.find('|') + 1);
    auto ms = table_record(cmt_head + cmt_block("OVERLAND_BOUNDARY lu", {cmt_row("1", "a", first), cmt_row("2", "b", second)}) +
                           cmt_block("RATINGCURVES", {"1     gate\n", "2     leaky\n"}) +
                           cmt_block("TIME_SERIES_INDEX", {"3     inflow\n"}));
    write_index_map("ids.map", "0 1 2 2\n2 2 2 0\n2 2 2 2\n");
    check_tables(*ms);
    ms->overland.ov_boundary = 1;
    ::testing::internal::CaptureStdout();
    init_overland_boundary(*ms);
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (!c.message) {
      EXPECT_EQ(process.error_block.stop, 0) << out;
      EXPECT_EQ(ms->overland.bc_value.size(), ms->grid.ncells);
      if (ms->overland.boundary_type[1] == boundary::rating_exchange) {
        EXPECT_EQ(elev_series_number(ms->overland.ov_bc_rating_series[1])->name, "gate rating");
      }
    } else {
      EXPECT_EQ(process.error_block.stop, 1);
      EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
  }
}

}  // namespace
}  // namespace nivra::testing
