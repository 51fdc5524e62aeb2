// The explicit scheme: its sub-step reductions and their messages, the
// alternating sweep order, the face flux against a hand calculation, no
// preferred direction, no cell giving more than it holds, dikes, lakes and
// the outlet; the stable sub-step of still water by hand; the blocks of
// local sub-steps, which keep the water whatever their order; retention
// under the ADE schemes too.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "grid_fixture.h"
#include "inputs/grid_state.h"
#include "model/project.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// Two cells side by side, the second `drop` m lower, water in the first.
std::unique_ptr<overland_cells> two_cells(double drop, double n, double depth, double dx = 10.0) {
  test_grid g;
  g.rows = 1;
  g.cols = 2;
  g.dx = dx;
  g.n = n;
  g.ground = [drop](int, int c) { return c == 1 ? 100.0 : 100.0 - drop; };
  auto w = make_grid<overland_cells>(g);
  w->overland.overtype = overland_scheme::explicit_faces;
  w->overland.ov_depth[1] = depth;
  return w;
}

// A 0.5 slope with 2 m of water in the upper cell: its face moves far more
// than 6 cm in any sub-step the scheme may try.
std::unique_ptr<overland_cells> torrent() { return two_cells(5.0, 0.01, 2.0); }

// Half a metre of water over cells of 100 m falling 1 in 1: its face moves
// more than 6 cm in every sub-step down to 0.25 s (U = 31.5 m2/s x dt /
// 100 m), while the stable bound of the diffusion wave, 0.25 dx^2 n
// sqrt(S) / d^(5/3) = 79 s, is longer than the step: the divisions are the
// rules' own.
std::unique_ptr<overland_cells> steep_torrent() { return two_cells(100.0, 0.01, 0.5, 100.0); }

// One call of the explicit kernel; returns its outlet volume.
double route(overland_cells& w, double dt) {
  const overland_result r = route_overland_explicit(w.domain(), dt);
  EXPECT_EQ(r.status, overland_status::ok);
  return r.books.outlet;
}

using explicit_scheme = process_test;

TEST_F(explicit_scheme, divides_the_sub_step_five_times_then_continues_and_holds_it_for_four_calls) {
  auto w = steep_torrent();
  ::testing::internal::CaptureStdout();
  route(*w, 60.0);
  const std::string first = ::testing::internal::GetCapturedStdout();

  const std::vector<std::string> steps = {
      " *Changing overland time step to 20.00 seconds...\n", " *Changing overland time step to 6.67 seconds...\n",
      " *Changing overland time step to 2.22 seconds...\n", " *Changing overland time step to 0.74 seconds...\n",
      " *Changing overland time step to 0.25 seconds...\n",
      " *Time step to small to divide, continuing with current time step\n"};
  std::size_t at = 0;
  for (const std::string& s : steps) {
    const std::size_t p = first.find(s, at);
    ASSERT_NE(p, std::string::npos) << s << "in\n" << first;
    at = p + s.size();
  }
  EXPECT_EQ(count_of(first, "Changing overland time step"), 5);
  EXPECT_EQ(count_of(first, "    -> Cell Exceded Celerity Check\n"), 6);
  EXPECT_NE(first.find("  ]x:_U_"), std::string::npos);
  EXPECT_DOUBLE_EQ(w->overland.explicit_kernel.reduced_dt, 60.0 / 243.0);
  EXPECT_EQ(w->overland.explicit_kernel.reduced_countdown, 4);

  // The next four calls start on the reduced step; the fifth goes back to
  // the full step and says so.
  w->overland.ov_depth[1] = w->overland.ov_depth[2] = 0.0;
  for (int call = 2; call <= 5; ++call) {
    ::testing::internal::CaptureStdout();
    route(*w, 60.0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "call " << call;
    EXPECT_EQ(w->overland.explicit_kernel.reduced_countdown, 5 - call);
    EXPECT_EQ(w->overland.explicit_kernel.reduced_active, 1);
  }
  ::testing::internal::CaptureStdout();
  route(*w, 60.0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Resetting time step to 60.00 for overland flow...\n");
  EXPECT_EQ(w->overland.explicit_kernel.reduced_active, 0);
}

TEST_F(explicit_scheme, a_sub_step_of_5_ms_or_less_is_not_divided) {
  auto w = torrent();
  ::testing::internal::CaptureStdout();
  route(*w, 0.004);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(count_of(out, "Changing overland time step"), 0);
  EXPECT_EQ(count_of(out, "to small to divide"), 0);
  EXPECT_EQ(count_of(out, "Cell Exceded Celerity Check"), 1);  // tested once, then no more
  EXPECT_EQ(w->overland.explicit_kernel.reduced_countdown, 0);
}

TEST_F(explicit_scheme, quiet_runs_print_nothing) {
  auto w = steep_torrent();
  w->quiet = true;
  ::testing::internal::CaptureStdout();
  route(*w, 60.0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_DOUBLE_EQ(w->overland.explicit_kernel.reduced_dt, 60.0 / 243.0);
}

TEST_F(explicit_scheme, consecutive_calls_sweep_in_opposite_orders) {
  // A 2 x 2 block whose upper-left cell spills both right and down.
  test_grid g;
  g.rows = 2;
  g.cols = 2;
  g.n = 0.01;
  g.ground = [](int r, int c) { return r == 1 && c == 1 ? 100.0 : 95.0; };
  auto w = make_grid<overland_cells>(g);
  for (int call = 1; call <= 2; ++call) {
    w->overland.ov_depth[1] = 2.0;
    w->overland.ov_depth[2] = w->overland.ov_depth[3] = w->overland.ov_depth[4] = 0.0;
    ::testing::internal::CaptureStdout();
    route(*w, 0.004);  // tested on the first sweep only
    const std::string out = ::testing::internal::GetCapturedStdout();
    const bool y_first = call == 1;
    EXPECT_EQ(out.rfind(y_first ? "  ]y:" : "  ]x:", 0), 0u) << out;
    EXPECT_EQ(out.find(y_first ? "  ]x:" : "  ]y:"), std::string::npos) << out;
  }
}

TEST_F(explicit_scheme, a_sub_step_that_does_not_divide_the_step_runs_past_it) {
  // Two cells on a 0.01 slope; the call starts on a 3 s sub-step held from
  // an earlier call, so a 10 s step takes four sub-steps (12 s).
  auto w = two_cells(0.1, 0.05, 0.1);
  w->overland.explicit_kernel.reduced_dt = 3.0;
  w->overland.explicit_kernel.reduced_countdown = 1;
  const double out = route(*w, 10.0);

  // By hand: q = sqrt(S) / n * h^(5/3) with S = slope - (h2 - h1) / dx.
  double h1 = 0.1, h2 = 0.0, q = 0.0;
  for (int sub = 0; sub < 4; ++sub) {
    const double S = 0.01 - (h2 - h1) / 10.0;
    q = std::sqrt(S) / 0.05 * std::pow(h1, 5.0 / 3.0);
    h1 -= 3.0 * q / 10.0;
    h2 += 3.0 * q / 10.0;
  }
  EXPECT_NEAR(w->overland.ov_depth[1], h1, 1e-14);
  EXPECT_NEAR(w->overland.ov_depth[2], h2, 1e-14);
  EXPECT_NEAR(w->overland.ov_qx[1], q * 10.0, 1e-13);  // the last sub-step's flux, m3/s
  EXPECT_EQ(out, 0.0);
}

// Water below the retention depth stays where it is, whichever scheme
// routes it: the explicit scheme and both ADE schemes on a plain grid.
TEST_F(explicit_scheme, water_below_retention_does_not_move) {
  for (const int type : {overland_scheme::explicit_faces, overland_scheme::ade, overland_scheme::ade_pc}) {
    SCOPED_TRACE(::testing::Message() << "overtype " << type);
    test_grid g;
    g.rows = 3;
    g.cols = 3;
    g.ground = [](int r, int c) { return 100.0 - 0.05 * (r + c); };
    g.out_row = 3;
    g.out_col = 3;
    g.outlet_slope = 0.05;
    auto w = make_grid<overland_cells>(g);
    w->overland.overtype = type;
    for (int i = 1; i <= w->grid.ncells; ++i) {
      w->overland.retent_dep[i] = 0.01;
      w->overland.ov_depth[i] = 0.005;
    }
    w->overland.ov_depth[w->grid.outlet_cell] = 0.0;
    if (type == overland_scheme::explicit_faces) {
      EXPECT_EQ(route(*w, 10.0), 0.0);
    } else {
      const overland_result r = route_overland_ade(w->domain(), 10.0);
      EXPECT_EQ(r.status, overland_status::ok);
      EXPECT_EQ(r.books.outlet, 0.0);
    }
    for (int i = 1; i <= w->grid.ncells; ++i) {
      EXPECT_EQ(w->overland.ov_depth[i], i == w->grid.outlet_cell ? 0.0 : 0.005);
      EXPECT_EQ(w->overland.ov_qx[i], 0.0);
      EXPECT_EQ(w->overland.ov_qy[i], 0.0);
    }
  }
}

// A grid seen in a mirror (east-west, north-south or both): ground,
// retention, water and outlet all flipped.
struct mirror {
  bool cols = false, rows = false;
};

struct mirrored_grid {
  int rows, cols;
  std::function<double(int, int)> ground, retention, depth;
  int out_row, out_col;
};

std::unique_ptr<overland_cells> build(const mirrored_grid& m, mirror f) {
  auto at = [m, f](const std::function<double(int, int)>& v) {
    return [m, f, v](int r, int c) { return v(f.rows ? m.rows + 1 - r : r, f.cols ? m.cols + 1 - c : c); };
  };
  test_grid g;
  g.rows = m.rows;
  g.cols = m.cols;
  g.ground = at(m.ground);
  g.out_row = f.rows ? m.rows + 1 - m.out_row : m.out_row;
  g.out_col = f.cols ? m.cols + 1 - m.out_col : m.out_col;
  g.outlet_slope = 0.01;
  auto w = make_grid<overland_cells>(g);
  w->quiet = true;
  const auto ret = at(m.retention), depth = at(m.depth);
  for (int r = 1; r <= m.rows; ++r) {
    for (int c = 1; c <= m.cols; ++c) {
      w->overland.retent_dep[cell_at(*w, r, c)] = ret(r, c);
      w->overland.ov_depth[cell_at(*w, r, c)] = depth(r, c);
    }
  }
  return w;
}

TEST_F(explicit_scheme, a_grid_and_its_mirror_image_drain_alike) {
  const mirrored_grid grids[] = {
      // A line falling 1 % to its outlet, 5 mm of retention, 3 cm of water.
      {1, 5, [](int, int c) { return 100.0 - 0.1 * c; }, [](int, int) { return 0.005; },
       [](int, int) { return 0.03; }, 1, 5},
      // Uneven ground falling east and south, uneven retention and water.
      {4, 6, [](int r, int c) { return 100.0 - 0.1 * c - 0.05 * r + 0.02 * std::sin(1.3 * r * c); },
       [](int r, int c) { return 0.002 + 0.002 * ((r + 2 * c) % 3); },
       [](int r, int c) { return 0.02 + 0.01 * std::cos(0.7 * r + c); }, 4, 6},
  };
  for (const mirrored_grid& m : grids) {
    for (const mirror f : {mirror{true, false}, mirror{false, true}, mirror{true, true}}) {
      SCOPED_TRACE(::testing::Message() << m.rows << " x " << m.cols << " mirrored" << (f.cols ? " east-west" : "")
                                        << (f.rows ? " north-south" : ""));
      auto a = build(m, mirror{});
      auto b = build(m, f);
      double out_a = 0.0, out_b = 0.0;
      for (int call = 0; call < 720; ++call) {
        out_a += route(*a, 10.0);
        out_b += route(*b, 10.0);
      }
      EXPECT_NEAR(out_a, out_b, 1e-9 * out_a);
      for (int r = 1; r <= m.rows; ++r) {
        for (int c = 1; c <= m.cols; ++c) {
          const int mr = f.rows ? m.rows + 1 - r : r, mc = f.cols ? m.cols + 1 - c : c;
          const double ha = a->overland.ov_depth[cell_at(*a, r, c)];
          EXPECT_NEAR(ha, b->overland.ov_depth[cell_at(*b, mr, mc)], 1e-12) << "row " << r << " col " << c;
          // After two hours a slope holds little more than its retention.
          EXPECT_LT(ha, m.retention(r, c) + 0.002) << "row " << r << " col " << c;
        }
      }
    }
  }
}

// A cell that drains through several faces gives at most the water it
// holds, whichever of its sides the faces are on: the step is divided, and
// where it can be divided no more, the outflows are cut.
TEST_F(explicit_scheme, no_cell_gives_more_than_it_holds) {
  struct source_case {
    const char* name;
    int rows, cols;
    std::function<double(int, int)> ground;
    int row, col;  // the wet cell
    double n, dt;
  };
  const source_case cases[] = {
      {"upper-left corner draining east and south", 2, 2, [](int r, int c) { return 100.0 - 0.01 * (r + c); }, 1, 1,
       0.03, 25.0},
      {"lower-right corner draining west and north", 2, 2, [](int r, int c) { return 100.0 + 0.01 * (r + c); }, 2, 2,
       0.03, 25.0},
      {"peak draining four ways", 3, 3, [](int r, int c) { return r == 2 && c == 2 ? 100.01 : 100.0; }, 2, 2, 0.03,
       25.0},
      // Ten metres above its neighbours, the peak's four faces take more
      // than it holds even in 60 s / 243, the shortest sub-step.
      {"steep peak on the shortest sub-step", 3, 3, [](int r, int c) { return r == 2 && c == 2 ? 110.0 : 100.0; }, 2,
       2, 0.01, 60.0},
  };
  for (const source_case& sc : cases) {
    SCOPED_TRACE(sc.name);
    test_grid g;
    g.rows = sc.rows;
    g.cols = sc.cols;
    g.ground = sc.ground;
    g.n = sc.n;
    auto w = make_grid<overland_cells>(g);
    w->quiet = true;
    const int wet = cell_at(*w, sc.row, sc.col);
    w->overland.ov_depth[wet] = 0.05;
    const double v0 = stored_volume(*w);
    double lowest = 0.0, worst_balance = 0.0;
    for (int call = 0; call < 20; ++call) {
      route(*w, sc.dt);
      lowest = std::fmin(lowest, min_depth(*w));
      worst_balance = std::fmax(worst_balance, std::fabs(stored_volume(*w) - v0));
    }
    EXPECT_EQ(lowest, 0.0);
    EXPECT_LT(worst_balance, 1e-12 * v0);
    EXPECT_LT(w->overland.ov_depth[wet], 0.05);  // it did drain
  }
}

TEST_F(explicit_scheme, a_dike_side_passes_no_water) {
  struct dike_case {
    int bits;
    bool right_wet, below_wet;
  };
  constexpr int right = cell_side::right, bottom = cell_side::bottom;
  for (const dike_case dc : {dike_case{0, true, true}, dike_case{right, false, true}, dike_case{bottom, true, false},
                             dike_case{right + bottom, false, false}}) {
    test_grid g;
    g.rows = 2;
    g.cols = 2;
    g.ground = [](int r, int c) { return 100.0 - 0.01 * (r + c); };
    for (int type : {1, 2}) {
      auto ms = make_grid(g);
      ms->overland.overtype = type;
      ms->project.quiet = 1;
      ms->grid.dike_map_given = 1;
      ms->grid.dike_mask.alloc(ms->grid.ncells);
      ms->grid.dike_mask[1] = dc.bits;
      ms->overland.ov_depth[1] = 0.1;
      overland_step(*ms, 10.0);
      EXPECT_EQ(ms->overland.ov_depth[2] > 0.0, dc.right_wet) << "bits " << dc.bits << " overtype " << type;
      EXPECT_EQ(ms->overland.ov_depth[3] > 0.0, dc.below_wet) << "bits " << dc.bits << " overtype " << type;
    }
  }
}

TEST_F(explicit_scheme, failing_faces_of_a_channel_lake_do_not_reduce_the_step) {
  // A lake cell standing 3 m above its dry neighbour.
  auto w = torrent();
  w->overland.ov_depth[1] = 0.0;
  add_channel_lake(*w, {1}, 103.0, 1e6);
  ::testing::internal::CaptureStdout();
  route(*w, 10.0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(w->overland.explicit_kernel.reduced_countdown, 0);
  EXPECT_GT(w->overland.ov_depth[2], 0.06);  // the lake spilled onto the cell
  EXPECT_NEAR(w->lake.lake_volume[1] + w->overland.ov_depth[2] * 100.0, 1e6, 1e-6);
}

TEST_F(explicit_scheme, faces_between_two_lake_cells_report_no_discharge) {
  auto w = torrent();
  w->overland.ov_depth[1] = 0.0;
  add_channel_lake(*w, {1, 2}, 101.0, 0.0);
  w->overland.ov_qx[1] = 5.0;  // left over from before both cells were under the lake
  route(*w, 10.0);
  EXPECT_EQ(w->overland.ov_qx[1], 0.0);
}

// The outlet drains by normal depth, Q = h^(5/3) sqrt(S) dx / n, at the
// depth h' it keeps at the end of the step: h' + Q(h') dt / dx^2 = h. A
// steep outlet all but empties, a gentle one lets out less than Q(h) dt
// (which would take it 1.3 cm below its depth after 60 s); neither gives
// more than it holds.
TEST_F(explicit_scheme, the_outlet_drains_by_the_depth_it_keeps) {
  for (const double slope : {50.0, 0.001}) {
    SCOPED_TRACE(slope);
    auto w = outlet_cell(slope, 0.02);
    const double out = route(*w, 60.0);
    const double kept = w->overland.ov_depth[1];
    const double Q = std::pow(kept, 1.666667) * std::sqrt(slope) * 10.0 / 0.03;
    EXPECT_GT(kept, 0.0);
    EXPECT_NEAR(kept + Q * 60.0 / 100.0, 0.02, 1e-15);
    EXPECT_NEAR(out, (0.02 - kept) * 100.0, 1e-13);
    EXPECT_LT(out, std::pow(0.02, 1.666667) * std::sqrt(slope) * 10.0 / 0.03 * 60.0);
  }
  // A steep outlet keeps less than a millimetre.
  auto w = outlet_cell(50.0, 0.02);
  route(*w, 60.0);
  EXPECT_LT(w->overland.ov_depth[1], 0.0015);

  // With channel routing the outlet drains through the channels.
  w->channels = true;
  EXPECT_EQ(route(*w, 60.0), 0.0);
}

// Still water 0.4 m deep on flat ground of n 0.03: each face spreads a
// difference of level with D = 0.4^(5/3) / (0.03 sqrt(1e-4)) = 723.85 m2/s
// (the flux goes linearly with the slope below 1e-4), and a sub-step stays
// stable up to dx^2 / (4 D) = 0.034537 s on cells of 10 m, which the
// scheme keeps a thirty-second short of: 0.033458 s. A step of 60 s runs as
// ceil(60 / 0.033458) = 1794 equal sub-steps on a grid with a channel lake
// (its faces with the lake set no bound), and as 2^11 = 2048 passes of its
// one block on a plain grid, whose blocks step at the step over a power of
// two.
TEST_F(explicit_scheme, still_deep_water_takes_the_sub_steps_of_its_stable_bound) {
  for (const bool lake : {true, false}) {
    SCOPED_TRACE(lake ? "with a channel lake" : "plain grid");
    test_grid g;
    g.cols = 4;
    auto w = make_grid<overland_cells>(g);
    w->overland.overtype = overland_scheme::explicit_faces;
    w->quiet = true;
    for (int i = lake ? 2 : 1; i <= 4; ++i) w->overland.ov_depth[i] = 0.4;
    if (lake) add_channel_lake(*w, {1}, 100.4, 1e4);
    route(*w, 60.0);
    EXPECT_EQ(w->overland.explicit_kernel.substeps, lake ? 1794 : 2048);
    for (int i = lake ? 2 : 1; i <= 4; ++i) EXPECT_NEAR(w->overland.ov_depth[i], 0.4, 1e-12) << "cell " << i;
  }
}

// ------------------------------------------------------------ local sub-steps
// A closed plane of 24 x 32 cells of 10 m falling 1 % to the south under
// 100 mm/h: the water runs south and stands up to some 0.4 m deep against
// the southern wall with a flat surface, whose stable sub-step is a few
// hundredths of a second, while the plane above it carries a few
// millimetres on a stable sub-step of minutes. The blocks of cells along the
// wall step on short sub-steps, the rest on the step.
struct closed_pond {
  std::unique_ptr<overland_cells> w;
  double rained = 0.0;
};

test_grid south_plane() {
  test_grid g;
  g.rows = 24;
  g.cols = 32;
  g.n = 0.03;
  g.ground = [](int r, int) { return 1000.0 - 0.1 * r; };
  return g;
}

closed_pond rain_on_closed_plane(double dt, double minutes, const test_grid& g = south_plane()) {
  closed_pond p{make_grid<overland_cells>(g)};
  p.w->overland.overtype = overland_scheme::explicit_faces;
  p.w->quiet = true;
  const int steps = static_cast<int>(std::lround(minutes * 60.0 / dt));
  for (int step = 0; step < steps; ++step) {
    p.rained += rain(*p.w, 100.0 / 3600000.0 * dt);
    route(*p.w, dt);
  }
  return p;
}

// The same plane falling to the north, 30 cells wide, with one cell of its
// eighth row outside the watershed: the pond stands against the northern
// wall in the first block, which steps finer than the block after it. The
// blocks do not line up with the rows: the first block ends in the ninth
// row, beside the second block's first cell, and the cell above that
// neighbour is the one outside the watershed. The neighbour lies below no
// cell of the first block; it is reached only through the face between
// them, which is the first block's, and takes what that face moves on
// every sub-step of the first block.
TEST_F(explicit_scheme, a_fine_block_before_a_coarse_one_keeps_the_water_of_the_face_between_them) {
  test_grid g = south_plane();
  g.cols = 30;
  g.ground = [](int r, int) { return 1000.0 - 0.1 * (25 - r); };
  g.holes = {{8, 18}};
  const closed_pond p = rain_on_closed_plane(10.0, 20.0, g);
  const auto& k = p.w->overland.explicit_kernel;
  ASSERT_EQ(k.blocks.blocks.size(), 3u);
  const step_block& first = k.blocks.blocks.front();
  ASSERT_EQ(p.w->grid.rightcon[first.last], first.last + 1);
  ASSERT_GT(first.halo_first, first.last + 1);  // no cell of the block lies above it
  EXPECT_GE(k.blocks.level.front(), k.blocks.level[1] + 4);
  EXPECT_NEAR(stored_volume(*p.w), p.rained, 1e-12 * p.rained);
  EXPECT_GE(min_depth(*p.w), 0.0);
}

}  // namespace
}  // namespace nivra::testing
