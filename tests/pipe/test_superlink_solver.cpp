// The pipe network solver against hand calculations: uniform flow in a
// long circular pipe at half its full capacity stands at half its
// diameter; a full pipe between two fixed heads carries the flow its
// friction and exit losses allow; and the network keeps its water to the
// cubic millimetre in every call. The error estimate that picks the fast
// superjunctions against its definition, and a group of them in its own
// steps against a run of steps short enough that none forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "pipe/pipe_fixture.h"
#include "pipe/synthetic_sewer.h"

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
  EXPECT_NEAR(r.books.boundary_out - r.books.boundary_in, 0.0, 1e-6 * expected * 10.0);
}


// Water of the cells (depth x area) and of the network together.
double all_water(const pipe_world& w) {
  double v = pipe_network_volume(w.p);
  for (int c = 1; c <= w.grid.ncells; ++c) v += w.depth[c] * w.cell_area();
  return v;
}

TEST_F(SuperlinkSolver, NetworkKeepsItsWaterEveryCall) {
  // Three cells of ponded water drain through a grate inlet, an open inlet
  // and a node's grate into pipes too small for them: the first
  // superjunction surcharges and spills back, the outfall lets out onto
  // cell 9, and then the network drains dry. Every call the network's
  // books close, and the water of cells and network stays what it was.
  pipe_world w(3, 3);
  const std::string net =
      sjunc(1, 101.0, 100.0, 1.0, 3, 1, 1, 0.5, 0.5) + sjunc(2, 100.5, 99.4, 1.5, 10, 2, 2) +
      sjunc(3, 100.0, 98.0, 0.0, 888, 3, 3) + one_pipe(1, 1, 2, 100.0, 99.7, 30.0, 0.2, 0.013) +
      "CONNECT 2 2 3\nSLINK 2 2\nNODE 1 100.5 99.4 0 0 0 0 0 0\nNODE 2 100.3 99.1 0.5 1 2 3 0.4 0.4\n"
      "NODE 3 100.0 98.8 0 0 0 0 0 0\nPIPE 1 1 0.3 0 0.01 0.013 30 0 0\nPIPE 2 1 0.3 0 0.01 0.013 30 0 0\n";
  ASSERT_TRUE(testing::read_network(w.p, w.grid, net, true));
  w.p.high_head_release = 1;
  w.depth[1] = 0.3;
  w.depth[5] = 0.2;
  w.depth[6] = 0.1;
  const double start = all_water(w);
  double in = 0.0, spilled = 0.0, made = 0.0;
  for (int call = 0; call < 400; ++call) {
    const superlink_result r = superlink_solve(w.domain(), call < 100 ? 5.0 : 30.0);
    ASSERT_EQ(r.status, superlink_status::ok) << call;
    const superlink_books& b = r.books;
    const double residual = b.storage_start + b.surface_in + b.tile_in - b.to_surface - b.to_channel -
                            (b.boundary_out - b.boundary_in) - b.storage_end;
    ASSERT_LE(std::fabs(residual), 1e-6 * b.surface_in + 1e-10) << call;
    ASSERT_NEAR(all_water(w), start, 1e-10 * start) << call;
    in += b.surface_in;
    if (b.surcharged) spilled += b.to_surface;
    made += b.made;
  }
  std::printf("network books: %.3f m3 in, %.3f m3 spilled back, %.3f m3 left in the pipes\n", in, spilled,
              pipe_network_volume(w.p));
  EXPECT_GT(spilled, 0.1);  // the first superjunction surcharged
  EXPECT_LT(made, 1e-12);
  EXPECT_LT(pipe_network_volume(w.p), 0.01);  // drained down to the films of the nodes
  EXPECT_NEAR(w.depth[9] * w.cell_area(), start - pipe_network_volume(w.p) - (w.depth[1] + w.depth[2] +
              w.depth[3] + w.depth[4] + w.depth[5] + w.depth[6] + w.depth[7] + w.depth[8]) * w.cell_area(), 1e-9);
}

TEST_F(SuperlinkSolver, DryNetworkStaysAtRest) {
  pipe_world w(3, 3);
  const std::string net = sjunc(1, 101.0, 100.0, 1.0, 2, 1, 1, 0.5, 0.5) + sjunc(2, 100.0, 98.0, 0.0, 888, 3, 3) +
                          one_pipe(1, 1, 2, 100.0, 99.0, 100.0, 0.5, 0.013);
  ASSERT_TRUE(testing::read_network(w.p, w.grid, net, true));
  const double start = pipe_network_volume(w.p);
  for (int call = 0; call < 20; ++call) ASSERT_EQ(superlink_solve(w.domain(), 10.0).status, superlink_status::ok);
  EXPECT_EQ(w.p.junc_head[1], 100.0);
  for (int k = 1; k <= w.p.superlink_cnodes[1] + 1; ++k) EXPECT_NEAR(w.p.slink_node_depth(k, 1), pipe_depth_floor, 1e-12);
  EXPECT_NEAR(pipe_network_volume(w.p), start, 1e-12);
}

TEST_F(SuperlinkSolver, GratesTakeTheirWeirFlowButNoMoreThanTheCellHolds) {
  // Under 0.1 m (0.328 ft) of water a grate is a weir over three of its
  // sides: Q = 3.0 (3 x 3.28 side) h^1.5 cfs.
  const double side = 0.5, h = 3.28 * 0.1;
  const double one = 3.0 * (3.0 * 3.28 * side) * std::pow(h, 1.5) * 0.02832;
  pipe_world w(3, 3);
  const std::string net = sjunc(1, 101.0, 100.0, 1.0, 3, 1, 1, side, 0.5) + sjunc(2, 100.0, 98.0, 0.0, 888, 3, 3) +
                          one_pipe(1, 1, 2, 100.0, 99.0, 100.0, 0.5, 0.013);
  ASSERT_TRUE(testing::read_network(w.p, w.grid, net, true));
  w.depth[1] = 0.1;
  superlink_result r = superlink_solve(w.domain(), 1.0);
  EXPECT_NEAR(r.books.surface_in, 3.0 * one, 1e-12);
  EXPECT_NEAR(w.depth[1], 0.1 - 3.0 * one / w.cell_area(), 1e-12);
  // Over an hour the three grates could take more than the cell holds.
  w.depth[1] = 0.1;
  r = superlink_solve(w.domain(), 3600.0);
  EXPECT_NEAR(r.books.surface_in, 0.1 * w.cell_area(), 1e-12);
  EXPECT_EQ(w.depth[1], 0.0);
}

TEST_F(SuperlinkSolver, SurchargedSuperjunctionSpillsTheWaterAboveTheGround) {
  // Head 0.5 m above the ground of a superjunction of 1 m2 whose pipe is
  // full there: the 0.5 m3 above the ground (and the little the full
  // pipe's slot holds above it) goes back onto its cell.
  pipe_world w(3, 3);
  const std::string net = sjunc(1, 101.0, 100.0, 1.0, 2, 1, 1, 0.5, 0.5) + sjunc(2, 100.0, 98.0, 0.0, 888, 3, 3) +
                          one_pipe(1, 1, 2, 100.0, 99.0, 100.0, 0.5, 0.013);
  ASSERT_TRUE(testing::read_network(w.p, w.grid, net, true));
  w.p.high_head_release = 1;
  w.p.junc_head[1] = 101.5;
  const superlink_result r = superlink_solve(w.domain(), 1.0);
  ASSERT_EQ(r.status, superlink_status::ok);
  // The slot above the full pipe: the 100 m pipe is computed as pipes of
  // 10, 20, 40, 20 and 10 m, and the superjunction holds half the first,
  // 5 m of a slot 0.005 m wide (0.01 D) and 0.5 m high: 0.0125 m3.
  EXPECT_TRUE(r.books.surcharged);
  EXPECT_NEAR(w.depth[1] * w.cell_area(), 0.5125, 1e-12);
  // The rest of what left the network went out at the outfall onto cell 9.
  EXPECT_NEAR(r.books.to_surface - w.depth[1] * w.cell_area(), w.depth[9] * w.cell_area(), 1e-15);
}

TEST_F(SuperlinkSolver, SparseHeadsEqualTheDenseOnesOnADendriticSewer) {
  // The 100 superjunctions of a dendritic sewer laid out as the
  // benchmark's (half its smallest, for the dense solver's sake) filling
  // for 1,000 s:
  // the heads by the sparse LU against those by the dense LU with implicit
  // pivoting, after every pipe step, each field relative to its largest
  // magnitude in that step. While the water first runs into the dry pipes
  // (the first 300 s) the flows and depths of pipes a few millimetres deep
  // carry the two solvers' rounding grown to parts in 1e9 (1e-12 m3/s);
  // once the sewer is wet they agree as the heads do.
  testing::dendritic_sewer sparse, dense;
  ASSERT_TRUE(sparse.build(100, "sparse.slk"));
  ASSERT_TRUE(dense.build(100, "dense.slk"));
  dense.p.solver.use_dense_reference();
  testing::worst_difference heads, flows, depths, front_flows, front_depths;
  int internal = 0;
  for (int call = 0; call < 100; ++call) {
    const superlink_result a = sparse.step(10.0), b = dense.step(10.0);
    ASSERT_EQ(a.status, superlink_status::ok) << call;
    ASSERT_EQ(b.status, superlink_status::ok) << call;
    ASSERT_EQ(a.books.internal_steps, b.books.internal_steps) << call;
    internal += a.books.internal_steps;
    const bool front = call < 30;
    for (int j = 1; j <= sparse.p.num_sjunc; ++j) heads.add(sparse.p.junc_head[j], dense.p.junc_head[j]);
    for (int l = 1; l <= sparse.p.num_slink; ++l)
      for (int k = 1; k <= sparse.p.superlink_cnodes[l] + 1; ++k) {
        if (k <= sparse.p.superlink_cnodes[l]) (front ? front_flows : flows).add(sparse.p.Q(k, l), dense.p.Q(k, l));
        (front ? front_depths : depths).add(sparse.p.slink_node_depth(k, l), dense.p.slink_node_depth(k, l));
      }
    for (testing::worst_difference* w : {&heads, &flows, &depths, &front_flows, &front_depths}) w->close();
  }
  std::printf("dendritic sewer, %d internal steps: sparse against dense LU, heads %.1e, flows %.1e, depths %.1e "
              "relative (while wetting: flows %.1e, depths %.1e)\n",
              internal, heads.worst, flows.worst, depths.worst, front_flows.worst, front_depths.worst);
  EXPECT_LE(heads.worst, 1e-10);
  EXPECT_LE(flows.worst, 1e-10);
  EXPECT_LE(depths.worst, 1e-10);
  EXPECT_LE(front_flows.worst, 1e-8);
  EXPECT_LE(front_depths.worst, 1e-8);
  EXPECT_GT(sparse.p.Q(4, 1), 0.0);  // water reached the far end of the sewer
  // One factorisation per pass of an internal step.
  EXPECT_EQ(sparse.p.solver.system.full_factorisations() + sparse.p.solver.system.refactorisations(),
            sparse.p.solver.head_solves);
}

TEST_F(SuperlinkSolver, WaterFromKnownDepthsEqualsTheWaterFoundAfresh) {
  // The water of a node still at the depth where the last step found it,
  // or of a superjunction still at such a head, is taken as found then. A
  // twin sewer that forgets every such depth and head before each call
  // finds all its water afresh: the two give the same bits in
  // every head, flow, depth and stored volume, while the sewers fill and
  // after a node's depth and a superjunction's head have been changed from
  // outside the solver.
  testing::dendritic_sewer kept, fresh;
  ASSERT_TRUE(kept.build(300, "kept.slk"));
  ASSERT_TRUE(fresh.build(300, "fresh.slk"));
  for (int call = 1; call <= 30; ++call) {
    if (call == 20)
      for (pipe_state* p : {&kept.p, &fresh.p}) {
        p->slink_node_depth(3, 7) += 0.01;
        p->junc_head[5] += 0.01;
      }
    fresh.p.solver.node_known_y.fill(-1.0);
    fresh.p.solver.junc_known_head.fill(-1e300);
    const superlink_result a = kept.step(10.0), b = fresh.step(10.0);
    ASSERT_EQ(a.status, superlink_status::ok) << call;
    ASSERT_EQ(b.status, superlink_status::ok) << call;
    ASSERT_EQ(a.books.storage_start, b.books.storage_start) << call;
    ASSERT_EQ(a.books.storage_end, b.books.storage_end) << call;
    for (int j = 1; j <= kept.p.num_sjunc; ++j) ASSERT_EQ(kept.p.junc_head[j], fresh.p.junc_head[j]) << call;
    for (int l = 1; l <= kept.p.num_slink; ++l)
      for (int k = 1; k <= kept.p.superlink_cnodes[l] + 1; ++k) {
        ASSERT_EQ(kept.p.Q(k, l), fresh.p.Q(k, l)) << call;
        ASSERT_EQ(kept.p.slink_node_depth(k, l), fresh.p.slink_node_depth(k, l)) << call;
      }
    fresh.p.solver.node_known_y.fill(-1.0);
    fresh.p.solver.junc_known_head.fill(-1e300);
    ASSERT_EQ(pipe_network_volume(kept.p), pipe_network_volume(fresh.p)) << call;
  }
  EXPECT_GT(kept.p.Q(4, kept.p.num_slink), 0.0);
}

TEST_F(SuperlinkSolver, EachSuperlinkTakesTheInternalStepsOfItsOwnPipes) {
  // A short steep pipe (15 m) into a manhole, then a long one (600 m) to a
  // free outfall, fed 20 l/s. Over a pipe step of 10 s the short pipe's
  // waves need more internal steps than the long pipe's, which takes one:
  // each superlink steps to its own Courant limit. Once the flow is
  // steady, a pipe step solves the heads once and runs no superlink again;
  // the outflow is the inflow, and the run at a quarter of the step ends
  // at the same flow.
  const double q = 0.02;
  auto build = [](pipe_world& w) {
    const std::string net = sjunc(1, 103.0, 100.0, 1.0, 10, 1, 1) + sjunc(2, 102.85, 99.85, 1.0, 0, 2, 2) +
                            sjunc(3, 99.0, 96.0, 0.0, 888, 3, 3) + one_pipe(1, 1, 2, 100.0, 99.85, 15.0, 0.3, 0.013) +
                            one_pipe(2, 2, 3, 99.85, 96.85, 600.0, 0.5, 0.013);
    return testing::read_network(w.p, w.grid, net, false);
  };
  pipe_world w(3, 3), quarter(3, 3);
  ASSERT_TRUE(build(w));
  ASSERT_TRUE(build(quarter));
  double out = 0.0, out_quarter = 0.0;
  for (int call = 0; call < 360; ++call) {
    feed(w, 1, q, 10.0);
    const superlink_result r = superlink_solve(w.domain(), 10.0);
    ASSERT_EQ(r.status, superlink_status::ok) << call;
    out = r.books.to_surface / 10.0;
    out_quarter = 0.0;
    for (int i = 0; i < 4; ++i) {
      feed(quarter, 1, q, 2.5);
      const superlink_result rq = superlink_solve(quarter.domain(), 2.5);
      ASSERT_EQ(rq.status, superlink_status::ok) << call;
      out_quarter += rq.books.to_surface / 10.0;
    }
  }
  const superlink_scheme& s = w.p.solver;
  EXPECT_GT(s.link_substeps[1], 1);
  EXPECT_EQ(s.link_substeps[2], 1);
  EXPECT_NEAR(out, q, 1e-4 * q);
  EXPECT_NEAR(out_quarter, out, 1e-4 * q);
  const int solves = s.head_solves, reruns = s.link_reruns, passes = s.link_passes;
  feed(w, 1, q, 10.0);
  ASSERT_EQ(superlink_solve(w.domain(), 10.0).status, superlink_status::ok);
  EXPECT_EQ(s.head_solves, solves + 1);
  EXPECT_EQ(s.link_reruns, reruns);
  EXPECT_EQ(s.link_passes, passes);
  std::printf("own internal steps: %d in the 15 m pipe, %d in the 600 m pipe over 10 s\n", s.link_substeps[1],
              s.link_substeps[2]);
}

TEST_F(SuperlinkSolver, AHeadThatKeepsItsLastRateIsNotFastOneOffByMoreThanTheAllowedErrorIs) {
  // The implicit step errs by H / (2 H + span) of the head's departure from
  // where its last rate (taken over span seconds) would have taken it; a
  // superjunction whose pipes are 0.6 m wide may err by 0.06 mm. So a head
  // that goes on at its last rate, rising or falling, is not fast, and one
  // that departs from that by the allowed error is at the edge, fast on
  // either side of it. Without a last span the step itself is taken.
  superlink_scheme s;
  for (array1d<double>* a : {&s.head_start, &s.head_rate, &s.rate_span, &s.junc_scale}) a->alloc(1);
  s.junc_scale[1] = 0.6;
  s.head_start[1] = 101.0;
  const struct {
    double rate, span, H;  // m/s, s, s
    double departure;      // from the last rate, in allowed errors
  } cases[] = {
      {0.01, 10.0, 10.0, 0.0},   {-0.02, 5.0, 20.0, 0.0},  {0.01, 10.0, 10.0, 0.98}, {0.01, 10.0, 10.0, 1.02},
      {0.01, 10.0, 10.0, -1.02}, {-0.004, 40.0, 5.0, 1.5}, {-0.004, 40.0, 5.0, -0.5}, {0.003, 0.0, 8.0, 1.02},
      {0.003, 0.0, 8.0, -0.98},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::fmt("%g m/s over %g s (last span %g s), %g allowed errors off", c.rate, c.H, c.span,
                              c.departure));
    s.head_rate[1] = c.rate;
    s.rate_span[1] = c.span;
    const double span = c.span > 0.0 ? c.span : c.H;
    const double allowed = head_error_share * 0.6 * (2.0 * c.H + span) / c.H;
    const double e = head_error(s, 1, c.H, 101.0 + c.rate * c.H + c.departure * allowed);
    EXPECT_NEAR(e, std::fabs(c.departure), 1e-9);
    EXPECT_EQ(e > 1.0, std::fabs(c.departure) > 1.0);
  }
}

TEST_F(SuperlinkSolver, ThreadsGiveTheSameBits) {
  // A sewer of 1,200 superjunctions is split into parts of a few hundred
  // superlinks, and while it fills its many groups of fast superjunctions
  // into parts of a few groups: on one thread and on three every head,
  // flow and depth and every book of every call are the same bits.
  testing::dendritic_sewer one, three;
  ASSERT_TRUE(one.build(1200, "one.slk"));
  ASSERT_TRUE(three.build(1200, "three.slk"));
  thread_pool crew(3);
  int most_groups = 0;
  for (int call = 0; call < 40; ++call) {
    const superlink_result a = one.step(10.0), b = three.step(10.0, &crew);
    most_groups = std::max(most_groups, three.p.solver.groups);
    ASSERT_EQ(a.status, superlink_status::ok) << call;
    ASSERT_EQ(b.status, superlink_status::ok) << call;
    ASSERT_EQ(a.books.internal_steps, b.books.internal_steps) << call;
    for (double superlink_books::*v : {&superlink_books::surface_in, &superlink_books::to_surface,
                                       &superlink_books::made, &superlink_books::storage_end})
      ASSERT_EQ(a.books.*v, b.books.*v) << call;
    for (int j = 1; j <= one.p.num_sjunc; ++j) ASSERT_EQ(one.p.junc_head[j], three.p.junc_head[j]) << call;
    for (int l = 1; l <= one.p.num_slink; ++l)
      for (int k = 1; k <= one.p.superlink_cnodes[l] + 1; ++k) {
        ASSERT_EQ(one.p.Q(k, l), three.p.Q(k, l)) << call;
        ASSERT_EQ(one.p.slink_node_depth(k, l), three.p.slink_node_depth(k, l)) << call;
      }
  }
  EXPECT_GT(one.p.Q(4, one.p.num_slink), 0.0);
  EXPECT_GE(most_groups, 24);
  EXPECT_EQ(one.p.solver.group_steps, three.p.solver.group_steps);
  std::printf("threads: at most %d groups in a network step, %d steps of groups\n", most_groups,
              three.p.solver.group_steps);
}

TEST_F(SuperlinkSolver, AGroupRunsItsLinkAgainstTheRisingHeadOfTheSlowSuperjunctionBesideIt) {
  // A chamber of 20 m2 (superjunction 1), fed 0.3 m3/s swinging by 2 l/s
  // over two minutes, drains through 50 m of full 0.5 m pipe into a pond of
  // 2 ha (superjunction 2) that its own inlet fills at 3 mm/s. Over network
  // steps of 15 s the chamber's head bends away from its last rate, so it
  // is fast and its group takes the step in shorter steps of its own; the
  // pond's head rises by 45 mm through each step, in a straight line, so it
  // stays outside, and over the group's steps its head goes along that line.
  // The water that crosses the pipe into the pond in each network step is
  // what crosses it in a run of steps of 0.25 s, in which no group forms,
  // to 0.07 % (a head of the pond taken at the end of each of the group's
  // steps instead moves a hundredth of the step's 3.6 m3).
  auto build = [](pipe_world& w) {
    const std::string net = sjunc(1, 110.0, 100.0, 20.0, 10, 1, 1) + sjunc(2, 110.0, 99.0, 20000.0, 10, 1, 2) +
                            "CONNECT 1 1 2\nSLINK 1 1\nNODE 1 110 100 0 0 0 0 0 0\nNODE 2 110 99.95 0 0 0 0 0 0\n"
                            "PIPE 1 1 0.5 0 0.001 0.013 50 0 0\n";
    if (!testing::read_network(w.p, w.grid, net, true)) return false;
    w.p.junc_head[1] = w.p.junc_head[2] = 101.0;
    for (int k = 1; k <= w.p.superlink_cnodes[1] + 1; ++k) w.p.slink_node_depth(k, 1) = 1.0;
    return true;
  };
  pipe_world coarse(1, 3, 200.0), fine(1, 3, 200.0);
  ASSERT_TRUE(build(coarse));
  ASSERT_TRUE(build(fine));
  const double cycle = 2.0 * M_PI / 120.0;
  // A pipe step of dt seconds from t: the chamber's inflow over it, and the pond's.
  auto step = [&](pipe_world& w, double t, double dt) {
    w.depth[1] = (0.3 * dt + 0.002 / cycle * (std::cos(cycle * t) - std::cos(cycle * (t + dt)))) / w.cell_area();
    w.depth[2] = 20000.0 * 0.003 * dt / w.cell_area();
    return superlink_solve(w.domain(), dt).status;
  };
  const double H = 15.0, h = 0.25;
  const int n = coarse.p.superlink_cnodes[1];
  double t = 0.0;
  // Both fill for five minutes on the long step, to the same bits.
  for (; t < 300.0; t += H) {
    ASSERT_EQ(step(coarse, t, H), superlink_status::ok);
    ASSERT_EQ(step(fine, t, H), superlink_status::ok);
  }
  double worst = 0.0;
  for (int i = 0; i < 10; ++i, t += H) {
    ASSERT_EQ(step(coarse, t, H), superlink_status::ok);
    const superlink_scheme& s = coarse.p.solver;
    ASSERT_EQ(s.groups, 1) << "the network step from " << t << " s";
    ASSERT_NE(s.junc_group[1], 0) << "the network step from " << t << " s";
    ASSERT_EQ(s.junc_group[2], 0) << "the network step from " << t << " s";
    const double across = s.volume_moved(n, 1);
    double reference = 0.0;
    for (int k = 0; k < 60; ++k) {
      ASSERT_EQ(step(fine, t + k * h, h), superlink_status::ok);
      ASSERT_EQ(fine.p.solver.groups, 0) << "the short step from " << t + k * h << " s";
      reference += fine.p.solver.volume_moved(n, 1);
    }
    EXPECT_NEAR(across, reference, 7e-4 * reference) << "the network step from " << t << " s";
    worst = std::max(worst, std::fabs(across / reference - 1.0));
  }
  std::printf("a group beside a rising pond: the water across their pipe within %.1e of the short steps' in each "
              "network step\n", worst);
}

}  // namespace
}  // namespace nivra
