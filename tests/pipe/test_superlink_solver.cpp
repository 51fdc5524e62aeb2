// The pipe network solver against hand calculations: uniform flow in a
// long circular pipe at half its full capacity stands at half its
// diameter; a full pipe between two fixed heads carries the flow its
// friction and exit losses allow; and the network keeps its water to the
// cubic millimetre in every call.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "pipe/pipe_fixture.h"

namespace nivra {
namespace {

using testing::one_pipe;
using testing::pipe_world;
using testing::sjunc;

class SuperlinkSolver : public testing::process_test {};

// Feeds a superjunction's open inlet q m3/s over dt from its cell.
void feed(pipe_world& w, int cell, double q, double dt) { w.depth[cell] = q * dt / w.cell_area(); }

TEST_F(SuperlinkSolver, HalfFullPipeFlowsAtHalfItsDiameter) {
  // Manning: Q full = (1/n) (pi D^2 / 4) (D / 4)^(2/3) sqrt(S); half full
  // the hydraulic radius is the same and the area half.
  const double D = 1.0, n = 0.013, S = 0.005, L = 400.0;
  const double full = 1.0 / n * (M_PI * D * D / 4.0) * std::pow(D / 4.0, 2.0 / 3.0) * std::sqrt(S);
  ASSERT_NEAR(full, 1.6953, 1e-4);
  const double q = 0.5 * full;
  pipe_world w(3, 3);
  const std::string net = sjunc(1, 105.0, 102.0, 1.0, 10, 1, 1) + sjunc(2, 101.0, 98.0, 1.0, 888, 3, 3) +
                          one_pipe(1, 1, 2, 102.0, 102.0 - S * L, L, D, n);
  ASSERT_TRUE(testing::read_network(w.p, w.grid, net, true));
  ASSERT_EQ(w.p.superlink_cnodes[1], 8);  // 10, 20, 50, 140, 100, 50, 20, 10 m
  const double dt = 10.0;
  for (int call = 0; call < 720; ++call) {
    feed(w, 1, q, dt);
    const superlink_result r = superlink_solve(w.domain(), dt);
    ASSERT_EQ(r.status, superlink_status::ok) << call;
  }
  // Node 5 lies 220 m down the pipe, far from both ends.
  const double mid = w.p.slink_node_depth(5, 1);
  std::printf("half-full pipe: mid-pipe depth %.4f m, outflow %.4f m3/s\n", mid, w.p.Q(8, 1));
  EXPECT_NEAR(mid, 0.5 * D, 0.02 * 0.5 * D);
  EXPECT_NEAR(w.p.Q(8, 1), q, 1e-3 * q);
}

TEST_F(SuperlinkSolver, FullPipeBetweenFixedHeadsCarriesItsFrictionAndExitLosses) {
  // H1 - H2 = (n^2 L / R^(4/3) + 1 / 2g) V^2 with R = D/4.
  const double D = 0.5, n = 0.013, L = 100.0, h1 = 105.0, h2 = 103.0;
  const double k = n * n * L / std::pow(D / 4.0, 4.0 / 3.0) + 1.0 / (2.0 * 9.81);
  const double expected = std::sqrt((h1 - h2) / k) * M_PI * D * D / 4.0;
  pipe_world w(3, 3);
  const std::string net = sjunc(1, 110.0, 100.0, 1.0, 0, 1, 1) + sjunc(2, 110.0, 99.5, 1.0, 0, 3, 3) +
                          one_pipe(1, 1, 2, 100.0, 99.5, L, D, n);
  ASSERT_TRUE(testing::read_network(w.p, w.grid, net, true));
  // Two reservoirs hold the heads.
  for (int j : {1, 2}) w.p.sjunc_inlet[j] = 11;
  w.p.junc_invert_elev[1] = w.p.junc_head[1] = h1;
  w.p.junc_invert_elev[2] = w.p.junc_head[2] = h2;
  superlink_result r;
  for (int call = 0; call < 360; ++call) {
    r = superlink_solve(w.domain(), 10.0);
    ASSERT_EQ(r.status, superlink_status::ok) << call;
  }
  std::printf("full pipe: %.5f m3/s, friction and exit losses give %.5f m3/s\n", w.p.Q(1, 1), expected);
  EXPECT_NEAR(w.p.Q(1, 1), expected, 0.02 * expected);
  EXPECT_NEAR(w.p.Q(5, 1), expected, 0.02 * expected);
  // What one reservoir gives the other receives.
  EXPECT_NEAR(r.books.boundary_net, 0.0, 1e-6 * expected * 10.0);
}

}  // namespace
}  // namespace nivra
