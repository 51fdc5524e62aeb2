// The ADE schemes: checks at entry, the adaptive sub-step (restarts, the
// stability factor, the last sub-step absorbing the remainder, the smallest
// sub-step, and the overland step stopping the run when it is too small),
// the outlet, ADE-PC on a changing step, lakes on a restart, and runs that
// do not depend on earlier runs of the process.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "clock/clock_state.h"
#include "core/process.h"
#include "grid_fixture.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"
#include "surface/overland_step.h"

namespace nivra::testing {
namespace {

using ade_scheme = process_test;

// A thin film (below the 1 cm the stability check looks at) on a steep
// slope: a long sub-step drains cells below zero and must be restarted.
// Built as the kernels' components, or as a run's record.
template <class Cells = overland_cells>
std::unique_ptr<Cells> thin_film_on_a_slope() {
  test_grid g;
  g.rows = 3;
  g.cols = 6;
  g.n = 0.01;
  g.ground = [](int r, int c) { return 100.0 - 5.0 * c - 0.01 * r; };
  auto w = make_grid<Cells>(g);
  w->overland.overtype = overland_scheme::ade;
  set_quiet(*w);
  for (int i = 1; i <= w->grid.ncells; ++i) w->overland.ov_depth[i] = 0.005;
  return w;
}

// One call of the ADE kernel.
overland_result route(overland_cells& w, double dt) { return route_overland_ade(w.domain(), dt); }

// One call that must succeed; returns its outlet volume.
double route_ok(overland_cells& w, double dt) {
  const overland_result r = route(w, dt);
  EXPECT_EQ(r.status, overland_status::ok);
  return r.books.outlet;
}

// Retention: only the water above the upstream cell's retention moves, at
// Manning's discharge of that excess; the retention of the cell downstream
// does not matter. Two cells of 10 m on level ground, 5 cm of water on the
// first: S = 0.05 / 10, q = d^(5/3) sqrt(S) / n x 10 m. Both face rules
// are held to it: the plain grid's passes, and the cell-by-cell passes a
// grid with a blockage map (here blocking nothing) takes.
TEST_F(ade_scheme, only_the_water_above_the_upstream_retention_moves) {
  const struct {
    double upstream_ret, downstream_ret;
    double moving;  // d, m
  } cases[] = {
      {0.0, 0.0, 0.05}, {0.02, 0.0, 0.03}, {0.02, 0.04, 0.03}, {0.049, 0.0, 0.001}, {0.05, 0.0, 0.0},
      {0.06, 0.0, 0.0},
  };
  for (const bool blockage : {false, true})
  for (const auto& k : cases) {
    SCOPED_TRACE(std::to_string(k.upstream_ret) + " " + std::to_string(k.downstream_ret) +
                 (blockage ? " with a blockage map" : " plain"));
    test_grid g;
    g.cols = 2;
    auto w = make_grid<overland_cells>(g);
    w->overland.overtype = overland_scheme::ade;
    if (blockage) {
      // A blockage map that blocks neither cell.
      w->overland.ovr_flow_block = 1;
      w->overland.ovr_flow_block_cell.alloc(w->grid.ncells);
      w->overland.ovr_flow_block_frac.alloc(w->grid.ncells, 4);
    }
    set_quiet(*w);
    w->overland.ov_depth[1] = 0.05;
    w->overland.retent_dep[1] = k.upstream_ret;
    w->overland.retent_dep[2] = k.downstream_ret;
    EXPECT_EQ(route_ok(*w, 0.01), 0.0);
    const double q = std::pow(k.moving, 5.0 / 3.0) * std::sqrt(0.05 / 10.0) / 0.03 * 10.0;
    EXPECT_NEAR(w->overland.ov_qx[1], q, 1e-9 + 1e-6 * q);
    // What left the first cell reached the second.
    EXPECT_NEAR(w->overland.ov_depth[1] + w->overland.ov_depth[2], 0.05, 1e-15);
    if (k.moving == 0.0) {
      EXPECT_EQ(w->overland.ov_depth[2], 0.0);
    }
  }
}

TEST_F(ade_scheme, checks_the_depths_at_entry) {
  struct entry_case {
    double depth;
    overland_status status;
    std::string printed;
    double depth_after;
  };
  const entry_case cases[] = {
      {-5e-06, overland_status::ok,
       "Negative depth encountered at the beginning of the overland routing time step in cell 2 \n", 0.0},
      {-2e-05, overland_status::negative_depth,
       "Negative depth encountered at the beginning of the overland routing time step in cell 2 \n"
       "Program stopped.\n",
       -2e-05},
      {std::numeric_limits<double>::quiet_NaN(), overland_status::depth_not_a_number,
       "Overland depth is NaN at beginning of overland routing time step in cell 2 \nProgram stopped.\n", 0.0},
  };
  for (const entry_case& ec : cases) {
    reset_process_state();
    test_grid g;
    g.rows = 1;
    g.cols = 3;
    auto w = make_grid<overland_cells>(g);
    w->overland.ov_depth[2] = ec.depth;
    ::testing::internal::CaptureStdout();
    const overland_result r = route(*w, 10.0);
    EXPECT_EQ(r.status, ec.status);
    EXPECT_EQ(r.books.outlet, 0.0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), ec.printed);
    EXPECT_EQ(process.error_block.code, 0);  // the overland step turns a failure into the stop
    if (!std::isnan(ec.depth)) {
      EXPECT_EQ(w->overland.ov_depth[2], ec.depth_after);
    }
  }
}

TEST_F(ade_scheme, a_failed_attempt_restarts_on_half_the_step_and_the_factor_recovers) {
  auto w = thin_film_on_a_slope();
  const double v0 = stored_volume(*w);
  route_ok(*w, 60.0);
  EXPECT_NEAR(stored_volume(*w), v0, 1e-12 * v0);
  EXPECT_GE(min_depth(*w), 0.0);
  const double factor = w->overland.ade_kernel.dt_factor;
  ASSERT_LT(factor, 1.0);
  EXPECT_EQ(w->overland.ade_kernel.stable_count, 0);
  // The attempts ran on 60 s halved as often as the factor was.
  EXPECT_LE(w->overland.ade_kernel.last_dt, 60.0 * factor + 1e-12);

  // Still water: every call is a stable decision; the 101st since the
  // factor changed doubles it, and it never grows past 1.
  for (int i = 1; i <= w->grid.ncells; ++i) w->overland.ov_depth[i] = 0.0;
  double expected = factor;
  for (int round = 0; expected < 1.0; ++round) {
    for (int call = 1; call <= 100; ++call) route_ok(*w, 60.0);
    EXPECT_EQ(w->overland.ade_kernel.dt_factor, expected);
    route_ok(*w, 60.0);
    expected *= 2.0;
    EXPECT_EQ(w->overland.ade_kernel.dt_factor, expected);
    EXPECT_EQ(w->overland.ade_kernel.stable_count, 0);
  }
  for (int call = 1; call <= 300; ++call) route_ok(*w, 60.0);
  EXPECT_EQ(w->overland.ade_kernel.dt_factor, 1.0);
}

TEST_F(ade_scheme, stops_when_the_sub_step_falls_below_the_smallest_allowed) {
  auto w = thin_film_on_a_slope();
  for (int i = 1; i <= w->grid.ncells; ++i) w->overland.ov_depth[i] = 0.0;
  route_ok(*w, 60.0);  // the first call sets the run's smallest sub-step
  EXPECT_DOUBLE_EQ(w->overland.ade_kernel.min_dt, 10.0 * 0.001 / 100);
  w->overland.ade_kernel.min_dt = 5.0;
  for (int i = 1; i <= w->grid.ncells; ++i) w->overland.ov_depth[i] = 0.005;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(route(*w, 60.0).status, overland_status::sub_step_too_small);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "The ADE overland routing time step is getting really small\n"
            "Your time step is 3.750000 seconds \n"
            "Minimum time step allowed for your problem is 5.000000 seconds \n"
            "The biggest instability problem was encountered at cell 0 \n"
            "Reduce the model time step by a factor of 2 and try again.\n"
            "Program stopped.\n");
}

// The overland step stops the run on a kernel's failure, after the
// kernel's message, and neither books nor moves its clock.
TEST_F(ade_scheme, the_overland_step_stops_the_run_when_the_kernel_fails) {
  auto ms = thin_film_on_a_slope<model_state>();
  ms->overland.ade_kernel.calls = 1;  // as after a first call on still water
  ms->overland.ade_kernel.last_dt = 60.0;
  ms->overland.ade_kernel.min_dt = 5.0;
  make_overland_step_due(*ms, 60.0);
  const double next = ms->clock.ov_next_time;
  ::testing::internal::CaptureStdout();
  overland_routing_step(*ms);
  EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind(
                "The ADE overland routing time step is getting really small\nYour time step is 3.750000 seconds \n", 0),
            0u);
  EXPECT_EQ(process.error_block.code, own_message_code);
  EXPECT_EQ(ms->clock.ov_next_time, next);
  EXPECT_EQ(ms->ledger.run_total(water_flux::outlet_discharge), 0.0);
  EXPECT_EQ(ms->overland.ade_sweep, 1);
}

// The depth h' an outlet cell of 100 m2 (n 0.03, outlet slope S) keeps
// after draining by normal depth for `step` seconds from h: h' + Q(h')
// step / 100 = h with Q(d) = d^(5/3) sqrt(S) 10 / 0.03, found by bisection.
double kept_after_draining(double h, double step, double slope) {
  double lo = 0.0, hi = h;
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    const double left = mid + std::pow(mid, 1.666667) * std::sqrt(slope) * 10.0 / 0.03 * step / 100.0;
    (left > h ? hi : lo) = mid;
  }
  return 0.5 * (lo + hi);
}

TEST_F(ade_scheme, the_last_sub_step_absorbs_the_remainder_and_the_outlet_drains_by_the_depth_it_keeps) {
  // An outlet slope of 1e-4: the cell passes a sixteenth of its water in
  // some 14 s, so its turnover does not shorten the sub-steps below.
  auto w = outlet_cell(1e-4, 0.05);
  // One sub-step of the whole step.
  auto drain = [](double& h, double step) {
    const double kept = kept_after_draining(h, step, 1e-4);
    const double v = (h - kept) * 100.0;
    h = kept;
    return v;
  };
  double h = 0.05;
  const double first = drain(h, 10.0);
  EXPECT_NEAR(route_ok(*w, 10.0), first, 1e-14);

  // Starting from a 4 s sub-step held from before, the still cell lets it
  // grow to 5.6 s; the 4.4 s left is less than half of it more, so the
  // second sub-step takes all of it.
  w->overland.ade_kernel.last_dt = 4.0;
  const double v1 = drain(h, 5.6);
  const double v2 = drain(h, 4.4);
  EXPECT_NEAR(route_ok(*w, 10.0), v1 + v2, 1e-14);
  EXPECT_NEAR(w->overland.ov_depth[1], h, 1e-16);
  EXPECT_DOUBLE_EQ(w->overland.ade_kernel.last_dt, 5.6);
}

// A steep outlet (S 50) drains 2 cm in a step of 60 s down to under a
// millimetre and a half, and a gentle one (S 0.001) lets out less than
// Q(h) dt, which would take it 1.3 cm below its depth; neither gives more
// than it holds, and each follows the cell draining by normal depth,
// dh/dt = -k h^(5/3) with k = sqrt(S) 10 / (0.03 100), whose depth after t
// is (h0^(-2/3) + 2 k t / 3)^(-3/2): the outlet drains in sub-steps in
// which it passes a sixteenth of its water, each solved for the depth it
// keeps.
TEST_F(ade_scheme, an_outlet_gives_what_it_drains_down_to_the_depth_it_keeps) {
  for (int type : {2, 3}) {
    for (const double slope : {50.0, 0.001}) {
      SCOPED_TRACE("overtype " + std::to_string(type) + " slope " + std::to_string(slope));
      auto w = outlet_cell(slope, 0.02);
      w->overland.overtype = type;
      const double out = route_ok(*w, 60.0);
      const double k = std::sqrt(slope) * 10.0 / (0.03 * 100.0);
      const double exact = std::pow(std::pow(0.02, -2.0 / 3.0) + 2.0 * k * 60.0 / 3.0, -1.5);
      const double kept = w->overland.ov_depth[1];
      EXPECT_NEAR(kept, exact, 0.02 * exact);
      EXPECT_NEAR(out, (0.02 - kept) * 100.0, 1e-13);
      EXPECT_LT(out, std::pow(0.02, 1.666667) * std::sqrt(slope) * 10.0 / 0.03 * 60.0);
      if (slope > 1.0) {
        EXPECT_LT(kept, 0.0015);
      }
    }
  }
}

// A plane one cell wide of cells of 10 m, falling 1 % to its outlet at the
// foot, under a steady rain of 50 mm/h (m/s).
test_grid tilted_plane(int cells) {
  test_grid g;
  g.rows = 1;
  g.cols = cells;
  g.ground = [](int, int c) { return 100.0 - 0.01 * 10.0 * c; };
  g.out_row = 1;
  g.out_col = cells;
  g.outlet_slope = 0.01;
  return g;
}
constexpr double plane_rain = 50.0 / 3600000.0;

TEST_F(ade_scheme, predictor_corrector_follows_a_step_that_changes) {
  // A plane at equilibrium under steady rain carries r x dx m3/s through
  // the face at distance x from its top, whatever step the first call took:
  // the step's mean, as the rain of a step falls at its start.
  const double r = plane_rain;
  auto ms = make_grid(tilted_plane(20));
  ms->overland.overtype = overland_scheme::ade_pc;
  rain(*ms, r * 1.0);
  overland_step(*ms, 1.0);
  for (int step = 0; step < 2000; ++step) {
    rain(*ms, r * 10.0);
    overland_step(*ms, 10.0);
  }
  for (int c = 4; c <= 12; c += 4) EXPECT_NEAR(ms->overland.ov_volx[c] / 10.0, r * c * 10.0 * 10.0, 1e-3 * r * c * 100.0) << c;
}

// On the plane of 100 cells (n 0.03) at equilibrium every step hands the
// outlet the rain that falls on the plane in it, whatever the step and
// whichever direction it swept first.
TEST_F(ade_scheme, predictor_corrector_outflow_of_a_steady_plane_is_the_rain_on_it) {
  const double r = plane_rain;
  const double rain_on_plane = r * 100 * 10.0 * 10.0;  // m3/s
  for (const double dt : {1.0, 5.0, 10.0}) {
    auto ms = make_grid(tilted_plane(100));
    ms->overland.overtype = overland_scheme::ade_pc;
    ms->project.quiet = 1;
    const int steps = static_cast<int>(3 * 3600 / dt);  // the plane is at equilibrium after 45 min
    double worst = 0.0;
    for (int step = 1; step <= steps; ++step) {
      rain(*ms, r * dt);
      overland_step(*ms, dt);
      if (step > steps - 600 / dt) worst = std::fmax(worst, std::fabs(ms->overland.qout / rain_on_plane - 1.0));
    }
    EXPECT_LT(worst, 1e-3) << "step " << dt << " s";
  }
}

TEST_F(ade_scheme, a_restart_puts_the_channel_lakes_back_with_the_depths) {
  // The film runs gently south into a one-cell lake in the y sweep, which
  // goes first; the steep x sweep then fails and the attempt restarts.
  auto w = thin_film_on_a_slope();
  w->overland.ade_sweep = 2;
  // The lake stands just below the water of the cell above it; a dike
  // keeps it from the ground 5 m below on its right.
  const int lake_cell_at = cell_at(*w, 3, 1);
  add_channel_lake(*w, {lake_cell_at}, w->grid.elevation[cell_at(*w, 2, 1)], 300.0);
  w->grid.dike_map_given = 1;
  w->grid.dike_mask.alloc(w->grid.ncells);
  w->grid.dike_mask[lake_cell_at] = cell_side::right;
  const double v0 = stored_volume(*w);
  route_ok(*w, 60.0);
  ASSERT_LT(w->overland.ade_kernel.dt_factor, 1.0);  // attempts were restarted
  EXPECT_GT(w->lake.lake_in_dv[1], 0.0);
  EXPECT_NEAR(w->lake.lake_volume[1] - 300.0, w->lake.lake_in_dv[1] - w->lake.lake_out_dv[1], 1e-12);
  EXPECT_NEAR(stored_volume(*w), v0, 1e-12 * v0);
}

TEST_F(ade_scheme, wetlands_and_snow_move_water_without_losing_it) {
  struct surface_case {
    const char* name;
    int overtype;
    bool wetland, snow;
  };
  for (const surface_case sc : {surface_case{"explicit wetland", 1, true, false},
                                surface_case{"ade wetland", 2, true, false}, surface_case{"ade snow", 2, false, true},
                                surface_case{"ade-pc wetland and snow", 3, true, true}}) {
    test_grid g;
    g.rows = 5;
    g.cols = 6;
    g.ground = [](int r, int c) { return 100.0 - 0.02 * c - 0.01 * r + 0.05 * std::sin(r * c); };
    auto ms = make_grid(g);
    ms->overland.overtype = sc.overtype;
    ms->project.quiet = 1;
    for (int i = 1; i <= ms->grid.ncells; ++i) ms->overland.ov_depth[i] = 0.03 + 0.02 * std::cos(i);
    if (sc.wetland) {
      ms->lake.wetlands_on = 1;
      ms->lake.wetland_mask.alloc(ms->grid.ncells);
      ms->lake.wetland_props.alloc(1, 8);
      namespace wp = wetland_prop;
      ms->lake.wetland_props[1][wp::layer_thickness] = 0.02;
      ms->lake.wetland_props[1][wp::layer_conductivity] = 0.5;
      ms->lake.wetland_props[1][wp::transition_depth] = 0.05;
      ms->lake.wetland_props[1][wp::linear_coef] = 0.3;
      ms->lake.wetland_props[1][wp::manning_n] = 0.08;
      for (int i = 1; i <= ms->grid.ncells; i += 3) ms->lake.wetland_mask[i] = 1;
    }
    if (sc.snow) {
      ms->hydromet.route_lat_snow = 1;
      ms->hydromet.snow_swe.alloc(ms->grid.ncells);
      ms->hydromet.snap_nivra_params.alloc(ms->grid.ncells, 11);
      for (int i = 1; i <= ms->grid.ncells; ++i) {
        ms->hydromet.snow_swe[i] = i % 4 == 0 ? 0.1 : 0.0;
        ms->hydromet.snap_nivra_params[i][4] = 2.0;    // water-holding divisor
        ms->hydromet.snap_nivra_params[i][11] = 1e-5;  // permeability, cm2
      }
    }
    const double v0 = stored_volume(*ms);
    for (int step = 0; step < 100; ++step) overland_step(*ms, 2.0);
    EXPECT_NEAR(stored_volume(*ms), v0, 1e-12 * v0) << sc.name;
    double moved = 0.0;
    for (int i = 1; i <= ms->grid.ncells; ++i) moved += std::fabs(ms->overland.ov_depth[i] - (0.03 + 0.02 * std::cos(i)));
    EXPECT_GT(moved, 1e-3) << sc.name;
  }
}

// Everything a kernel keeps between calls belongs to the run: a second run
// in the same process repeats the first exactly.
TEST_F(ade_scheme, a_second_run_repeats_the_first) {
  auto run = [](int type) {
    auto ms = thin_film_on_a_slope<model_state>();
    ms->overland.overtype = type;
    for (int step = 0; step < 20; ++step) {
      rain(*ms, 0.001);
      overland_step(*ms, 60.0);
    }
    return ms;
  };
  for (int type : {1, 2}) {
    auto first = run(type);
    auto second = run(type);
    for (int i = 1; i <= first->grid.ncells; ++i) {
      EXPECT_EQ(first->overland.ov_depth[i], second->overland.ov_depth[i]) << "overtype " << type << " cell " << i;
      EXPECT_EQ(first->overland.ov_qx[i], second->overland.ov_qx[i]);
    }
  }
}

}  // namespace
}  // namespace nivra::testing
