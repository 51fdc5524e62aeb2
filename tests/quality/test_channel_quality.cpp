// Channel constituent kernels against hand calculations, the analytic
// plug-flow solution and closing mass balances.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "chan_wq_fixture.h"
#include "quality/contaminant/channel_quality.h"

namespace nivra {
namespace {

using test::wq_net;

// ---------------------------------------------------------------- decay
TEST(ChannelDecay, ActsOnTheSmallerAreaOfTheStep) {
  // One link of two nodes, 10 m apart; k = 0.01 /s, C = 3 g/m3, dt = 5 s.
  wq_net w(1, 2, 0);
  w.channel(1, 2, 10.0, 0);
  w.area_old[w.at(1, 1)] = 2.0;  // shrinking node: the 1 m2 left decays
  w.area[w.at(1, 1)] = 1.0;
  w.area_old[w.at(1, 2)] = 1.0;  // growing node: only the 1 m2 that was there all step
  w.area[w.at(1, 2)] = 4.0;
  for (int k = 1; k <= 2; ++k) {
    w.conc[w.at(1, k)] = 3.0;
    w.decay_coef[w.at(1, k)] = 0.01;
  }
  chan_decay_domain d{&w.net, wq_net::cv(w.area), wq_net::cv(w.area_old), wq_net::cv(w.conc),
                      wq_net::cv(w.decay_coef), wq_net::v(w.decay_mass), wq_net::cv(w.lake_conc),
                      wq_net::cv(w.lake_vol), 0.0, wq_net::v(w.lake_decay_mass)};
  chan_contam_decay(d, 5.0);
  EXPECT_DOUBLE_EQ(w.decay_mass[w.at(1, 1)], 1.0 * 10.0 * 3.0 * 0.01 * 5.0);
  EXPECT_DOUBLE_EQ(w.decay_mass[w.at(1, 2)], 1.0 * 10.0 * 3.0 * 0.01 * 5.0);
}

TEST(ChannelDecay, DryOrNegativeNodesAndLakes) {
  wq_net w(2, 1, 1);
  w.channel(1, 1, 10.0, 2);
  w.lake(2, 1, 0);
  w.area_old[w.at(1, 1)] = -1.0;  // a faulty area decays nothing
  w.area[w.at(1, 1)] = 2.0;
  w.conc[w.at(1, 1)] = 3.0;
  w.decay_coef[w.at(1, 1)] = 0.01;
  w.lake_conc[1] = 2.0;
  w.lake_vol[1] = 500.0;
  chan_decay_domain d{&w.net, wq_net::cv(w.area), wq_net::cv(w.area_old), wq_net::cv(w.conc),
                      wq_net::cv(w.decay_coef), wq_net::v(w.decay_mass), wq_net::cv(w.lake_conc),
                      wq_net::cv(w.lake_vol), 1e-4, wq_net::v(w.lake_decay_mass)};
  chan_contam_decay(d, 10.0);
  EXPECT_EQ(w.decay_mass[w.at(1, 1)], 0.0);
  EXPECT_DOUBLE_EQ(w.lake_decay_mass[1], 2.0 * 500.0 * 1e-4 * 10.0);
  // A step of k dt = 2 takes 1 - exp(-2) of the lake's mass, not twice it.
  w.lake_decay_mass.fill(0.0);
  chan_contam_decay(d, 2e4);
  EXPECT_NEAR(w.lake_decay_mass[1], 2.0 * 500.0 * (1.0 - std::exp(-2.0)), 1e-9);
}

// ---------------------------------------------------------------- aquifer
// Every entry is water the routing moved through a bed, and carries its
// mass: a gaining entry the aquifer's concentration of its cell (clean
// water without a table of it), a losing one the node's.
TEST(StreamAquiferMass, GainingTakesTheAquiferLosingTheNode) {
  wq_net w(1, 2, 0);
  w.channel(1, 2, 10.0, 0);
  w.conc[w.at(1, 1)] = 5.0;
  w.conc[w.at(1, 2)] = 7.0;
  array1d<double> gw_conc(3);
  gw_conc[1] = 2.0;
  gw_conc[2] = 4.0;
  gw_conc[3] = 9.0;
  const std::vector<stream_cell_exchange> entries = {
      {1, w.at(1, 1), 3.0},    // gaining: 3 m3 at the cell's 2 g/m3
      {2, w.at(1, 2), -2.0},   // losing: 2 m3 at the node's 7 g/m3
      {3, w.at(1, 2), 10.0}};  // gaining: 10 m3 at 9 g/m3
  stream_aquifer_mass_domain d{&entries, wq_net::cv(gw_conc), wq_net::cv(w.conc), wq_net::v(w.gw_mass)};
  EXPECT_DOUBLE_EQ(stream_aquifer_constituent_exchange(d), 6.0 + 90.0);
  EXPECT_DOUBLE_EQ(w.gw_mass[w.at(1, 1)], 6.0);
  EXPECT_DOUBLE_EQ(w.gw_mass[w.at(1, 2)], -14.0 + 90.0);
  // Without a table of the aquifer's concentration its water is clean.
  d.gw_conc = {nullptr, 0};
  w.gw_mass.fill(0.0);
  EXPECT_EQ(stream_aquifer_constituent_exchange(d), 0.0);
  EXPECT_EQ(w.gw_mass[w.at(1, 1)], 0.0);
  EXPECT_DOUBLE_EQ(w.gw_mass[w.at(1, 2)], -14.0);
}

TEST(StreamAquiferMass, WithoutAWaterTableTheNodeConcentrationMoves) {
  wq_net w(1, 2, 0);
  w.channel(1, 2, 10.0, 0);
  w.conc[w.at(1, 1)] = 5.0;
  array1d<double> lost(w.conc.size());
  lost[w.at(1, 1)] = -0.6;  // m3 through the bed over the step
  stream_loss_mass_domain d{&w.net, wq_net::cv(lost), wq_net::cv(w.conc), wq_net::v(w.gw_mass)};
  stream_loss_constituent_exchange(d);
  EXPECT_NEAR(w.gw_mass[w.at(1, 1)], -0.6 * 5.0, 1e-12);
  EXPECT_EQ(w.gw_mass[w.at(1, 2)], 0.0);
}

TEST(LakeAquiferMass, SeepageInTakesTheCellOutTakesTheLake) {
  array1d<double> gw_conc(3), lake_conc(2), lake_gw(2);
  gw_conc[1] = 3.0;
  gw_conc[2] = 5.0;
  gw_conc[3] = 8.0;
  lake_conc[1] = 0.5;
  lake_conc[2] = 2.0;
  const std::vector<lake_cell_exchange> entries = {{1, 1, 4.0}, {2, 2, -10.0}, {2, 3, 1.0}};
  lake_aquifer_mass_domain d{&entries, wq_net::cv(gw_conc), wq_net::cv(lake_conc), wq_net::v(lake_gw)};
  EXPECT_DOUBLE_EQ(lake_gw_contam_exchange(d), 12.0 + 8.0);
  EXPECT_DOUBLE_EQ(lake_gw[1], 12.0);
  EXPECT_DOUBLE_EQ(lake_gw[2], -20.0 + 8.0);
  // Clean water without a table of the aquifer's concentration.
  d.gw_conc = {nullptr, 0};
  lake_gw.fill(0.0);
  EXPECT_EQ(lake_gw_contam_exchange(d), 0.0);
  EXPECT_DOUBLE_EQ(lake_gw[2], -20.0);
}

TEST(LakeRainMass, RainBringsItsConcentration) {
  array1d<double> rain(2), mass(2);
  rain[1] = 100.0;
  rain[2] = 0.0;
  lake_precip_constituent(wq_net::cv(rain), 0.3, wq_net::v(mass), 2);
  EXPECT_DOUBLE_EQ(mass[1], 30.0);
  EXPECT_EQ(mass[2], 0.0);
}

// ---------------------------------------------------------------- node sources
TEST(ChannelNodeSources, SharesAndCutsTable) {
  struct row {
    const char* what;
    chan_node_accumulators acc;
    double m, dt;
    double rate, left_lateral, left_decay;
  };
  const double tol = 1e-3;
  const std::vector<row> rows = {
      // Whole amounts over the step's own interval.
      {"whole", {4.0, 6.0, 10.0, 0.0, 0.0, 2.0, 10.0, 0.0, 0.0}, 10.0, 10.0, (4.0 + 6.0 - 2.0) / 10.0, 0.0, 0.0},
      // A lateral amount gathered over 40 s hands a quarter to a 10 s step.
      {"share", {0.0, 8.0, 40.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, 1.0, 10.0, 0.2, 6.0, 0.0},
      // Decay larger than the mass is cut to the mass.
      {"decay cut", {0.0, 0.0, 0.0, 0.0, 0.0, 9.0, 10.0, 0.0, 0.0}, 3.0, 10.0, -0.3, 0.0, 0.0},
      // A point withdrawal beyond the mass takes only the mass; nothing is
      // left for decay.
      {"point cut", {-20.0, 0.0, 0.0, 0.0, 0.0, 1.0, 10.0, 0.0, 0.0}, 5.0, 10.0, -0.5, 0.0, 0.0},
      // Losing to the aquifer beyond the mass.
      {"aquifer cut", {0.0, 0.0, 0.0, -50.0, 10.0, 0.0, 0.0, 0.0, 0.0}, 2.0, 10.0, -0.2, 0.0, 0.0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    chan_node_accumulators acc = r.acc;
    const chan_node_source s = chan_contam_node_conc(acc, r.m, r.dt, tol);
    EXPECT_NEAR(s.rate, r.rate, 1e-12);
    EXPECT_NEAR(acc.lateral, r.left_lateral, 1e-12);
    EXPECT_NEAR(acc.decay, r.left_decay, 1e-12);
    EXPECT_GE(r.m + s.rate * r.dt, -1e-12);
  }
}

TEST(ChannelNodeSources, KineticsSplitIntoGainAndLoss) {
  chan_node_accumulators acc;
  acc.kinetics = -3.0;
  acc.kinetics_interval = 10.0;
  chan_node_source s = chan_contam_node_conc(acc, 10.0, 10.0, 1e-3);
  EXPECT_DOUBLE_EQ(s.kinetics_out, 3.0);
  EXPECT_EQ(s.kinetics_in, 0.0);
  acc.kinetics = 2.0;
  acc.kinetics_interval = 10.0;
  s = chan_contam_node_conc(acc, 10.0, 10.0, 1e-3);
  EXPECT_DOUBLE_EQ(s.kinetics_in, 2.0);
}

// ---------------------------------------------------------------- routing
// One straight reach of length L, area A, discharge Q, fed at its head with
// C0; k the decay rate. Runs to steady state and returns the outlet node's
// concentration; the balance of the whole run is checked on the way.
double steady_reach_outlet(int nodes, double k) {
  const double L = 1000.0, A = 2.0, Q = 1.0, C0 = 10.0, dt = 10.0;
  wq_net w(1, nodes, 0);
  w.channel(1, nodes, L / nodes, 0);
  w.steady(1, A, Q, dt);
  for (int n = 1; n <= nodes; ++n) w.decay_coef[w.at(1, n)] = k;
  chan_wq_router router;
  router.prepare(w.net);
  std::vector<chan_node_accumulators> acc(static_cast<std::size_t>(nodes) + 1);
  double in = 0.0, out = 0.0, decayed = 0.0;
  const double travel = L / (Q / A);
  const int steps = static_cast<int>(6.0 * travel / dt);
  for (int s = 0; s < steps; ++s) {
    chan_decay_domain dd{&w.net, wq_net::cv(w.area), wq_net::cv(w.area_old), wq_net::cv(w.conc),
                         wq_net::cv(w.decay_coef), wq_net::v(w.decay_mass), wq_net::cv(w.lake_conc),
                         wq_net::cv(w.lake_vol), 0.0, wq_net::v(w.lake_decay_mass)};
    chan_contam_decay(dd, dt);
    for (int n = 1; n <= nodes; ++n) {
      chan_node_accumulators& a = acc[static_cast<std::size_t>(n)];
      a.decay += w.decay_mass[w.at(1, n)];
      a.decay_interval = dt;
      w.decay_mass[w.at(1, n)] = 0.0;
      if (n == 1) a.point += Q * C0 * dt;
      const chan_node_source src = chan_contam_node_conc(a, w.mass[w.at(1, n)], dt, 1e-6);
      w.source[w.at(1, n)] = src.rate;
      in += src.point;
      decayed += src.decay;
    }
    const chan_wq_result r = router.route(w.domain(dt));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.substeps, 1);  // Q dt / (A dx) <= 0.5 on every grid used here
    out += r.outlet_mass;
  }
  EXPECT_NEAR(in - out - decayed - w.channel_mass(), 0.0, 1e-10 * in);
  return w.conc[w.at(1, nodes)];
}

TEST(ChannelWqRouting, SteadyReachTendsToTheInflowConcentration) {
  EXPECT_NEAR(steady_reach_outlet(20, 0.0), 10.0, 1e-6);
}

TEST(ChannelWqRouting, SteadyDecayTendsToPlugFlowWithinTheSchemesDispersion) {
  // C0 exp(-k L / V) with k = 1e-3 /s, L = 1000 m, V = 0.5 m/s: 10 e^-2.
  // The upwind scheme converges at first order: the error halves as the
  // node spacing halves, and 80 nodes (12.5 m) come within 3 %.
  const double exact = 10.0 * std::exp(-2.0);
  const double e20 = steady_reach_outlet(20, 1e-3) - exact;
  const double e40 = steady_reach_outlet(40, 1e-3) - exact;
  const double e80 = steady_reach_outlet(80, 1e-3) - exact;
  EXPECT_GT(e20, e40);
  EXPECT_NEAR(e20 / e40, 2.0, 0.15);
  EXPECT_NEAR(e40 / e80, 2.0, 0.1);
  EXPECT_LT(std::fabs(e80) / exact, 0.03);
  // The refined estimate 2 C(80) - C(40) removes the first-order error.
  EXPECT_LT(std::fabs(2.0 * e80 - e40) / exact, 0.005);
}

// A Y of two headwater reaches into a lake, and a reach below the lake to
// the outlet. Varying inflows and concentrations, a withdrawal, a losing
// reach, decay in the reaches and the lake, rain on the lake and seepage
// through its bed: over the whole run the mass that entered less the mass
// that left, decayed or was withdrawn equals the change of what the
// channels and the lake hold, per constituent, to 1e-10.
TEST(ChannelWqRouting, YNetworkWithALakeBalances) {
  const double dt = 30.0;
  for (double k : {0.0, 2e-4}) {
    SCOPED_TRACE(k);
    wq_net w(4, 5, 1);
    w.channel(1, 5, 40.0, 3);
    w.channel(2, 4, 50.0, 3);
    w.lake(3, 1, 4);
    w.channel(4, 5, 60.0, 0);
    for (int l : {1, 2, 4})
      for (int n = 1; n <= w.nx[l]; ++n) {
        w.decay_coef[w.at(l, n)] = k;
        w.disp[w.at(l, n)] = 2.0;
      }
    w.lake_vol[1] = 5000.0;
    w.lake_conc[1] = 1.0;
    w.lake_mass[1] = 5000.0;
    chan_wq_router router;
    router.prepare(w.net);
    std::vector<chan_node_accumulators> acc(static_cast<std::size_t>(w.net.flat_size()));
    std::vector<chan_node_accumulators> lake_acc(2);
    array1d<double> gw_conc(2), rain(1), rain_mass(1), lake_gw(1);
    gw_conc[1] = 0.7;  // the aquifer under the lake
    gw_conc[2] = 3.0;  // the aquifer beside reach 2
    chan_wq_books books;
    const double start = w.channel_mass() + w.lakes_mass();
    for (int s = 0; s < 300; ++s) {
      const double q1 = 0.8 + 0.5 * std::sin(s * 0.05), q2 = 0.4, q_lake = 1.0 + 0.3 * std::cos(s * 0.03);
      const double seep = s % 2 ? 0.2 : -0.3;  // m3 through the lake's bed, in and out by turns
      // The water: the reaches steady within the step but changing between
      // steps, the lake taking the difference of inflow and release.
      for (int l : {1, 2, 4})
        for (int n = 1; n <= w.nx[l]; ++n) w.area_old[w.at(l, n)] = w.area[w.at(l, n)];
      const double qs[5] = {0.0, q1, q2, 0.0, q_lake};
      for (int l : {1, 2, 4})
        for (int n = 1; n <= w.nx[l]; ++n) {
          w.area[w.at(l, n)] = 0.5 + qs[l];
          w.face_vol[w.at(l, n)] = qs[l] * dt;
        }
      rain[1] = s < 100 ? 2.0 : 0.0;
      w.lake_vol_old[1] = w.lake_vol[1];
      w.lake_vol[1] += (q1 + q2 - q_lake) * dt + rain[1] + seep;
      w.lake_out[1] = q_lake * dt;
      // The processes gather their masses.
      chan_decay_domain dd{&w.net, wq_net::cv(w.area), wq_net::cv(w.area_old), wq_net::cv(w.conc),
                           wq_net::cv(w.decay_coef), wq_net::v(w.decay_mass), wq_net::cv(w.lake_conc),
                           wq_net::cv(w.lake_vol_old), k, wq_net::v(w.lake_decay_mass)};
      chan_contam_decay(dd, dt);
      const std::vector<stream_cell_exchange> reach = {{2, w.at(2, 2), s % 3 ? 0.5 : -0.4}};
      stream_aquifer_constituent_exchange({&reach, wq_net::cv(gw_conc), wq_net::cv(w.conc), wq_net::v(w.gw_mass)});
      const std::vector<lake_cell_exchange> bed = {{1, 1, seep}};
      lake_gw_contam_exchange({&bed, wq_net::cv(gw_conc), wq_net::cv(w.lake_conc), wq_net::v(lake_gw)});
      lake_precip_constituent(wq_net::cv(rain), 0.25, wq_net::v(rain_mass), 1);
      for (int l : {1, 2, 4})
        for (int n = 1; n <= w.nx[l]; ++n) {
          const int i = w.at(l, n);
          chan_node_accumulators& a = acc[static_cast<std::size_t>(i)];
          a.decay += w.decay_mass[i];
          a.decay_interval = dt;
          w.decay_mass[i] = 0.0;
          a.aquifer += w.gw_mass[i];
          a.aquifer_interval = dt;
          w.gw_mass[i] = 0.0;
          if (n == 1 && l == 1) a.point += q1 * dt * (5.0 + 4.0 * std::sin(s * 0.1));
          if (n == 1 && l == 2) a.point += q2 * dt * 2.0;
        }
      // Point sinks: every seventh step one draws 10 m3 from node 3 of the
      // reach below the lake, another 20 m3 from the lake.
      w.withdrawn[w.at(4, 3)] = s % 7 == 0 ? 10.0 : 0.0;
      w.lake_withdrawn[1] = s % 7 == 0 ? 20.0 : 0.0;
      w.lake_vol[1] -= w.lake_withdrawn[1];
      chan_node_accumulators& la = lake_acc[1];
      la.decay += w.lake_decay_mass[1];
      la.decay_interval = dt;
      w.lake_decay_mass[1] = 0.0;
      la.point += rain_mass[1];
      rain_mass[1] = 0.0;
      la.aquifer += lake_gw[1];
      la.aquifer_interval = dt;
      lake_gw[1] = 0.0;
      chan_wq_step_domain sd{w.domain(dt), wq_net::v(w.source), wq_net::v(w.lake_source), &acc, &lake_acc, 1e-6};
      const chan_wq_result r = router.step(sd, books);
      ASSERT_EQ(r.status, 0);
      EXPECT_NEAR(r.routed_time, dt, 1e-12);
    }
    const double stored = w.channel_mass() + w.lakes_mass() - start;
    EXPECT_GT(books.outlet, 0.0);
    EXPECT_GT(books.lake_in, 0.0);
    EXPECT_GT(books.lake_out, 0.0);
    EXPECT_GT(books.lake_rain, 0.0);
    EXPECT_NE(books.lake_aquifer, 0.0);
    EXPECT_NE(books.aquifer, 0.0);
    EXPECT_GT(books.withdrawn, 0.0);
    EXPECT_GT(books.lake_withdrawn, 0.0);
    if (k > 0.0) {
      EXPECT_GT(books.decay, 0.0);
      EXPECT_GT(books.lake_decay, 0.0);
    }
    EXPECT_NEAR(books.entered() - books.left() - stored, 0.0, 1e-10 * (books.entered() + start));
  }
}

TEST(ChannelWqRouting, LakeTakesRainAtItsConcentration) {
  // A closed lake of 1000 m3 at 2 g/m3 takes 250 m3 of rain at 0.4 g/m3.
  wq_net w(1, 1, 1);
  w.lake(1, 1, 0);
  w.lake_vol_old[1] = 1000.0;
  w.lake_vol[1] = 1250.0;
  w.lake_conc[1] = 2.0;
  w.lake_mass[1] = 2000.0;
  array1d<double> rain(1), rain_mass(1);
  rain[1] = 250.0;
  lake_precip_constituent(wq_net::cv(rain), 0.4, wq_net::v(rain_mass), 1);
  w.lake_source[1] = rain_mass[1] / 60.0;
  chan_wq_router router;
  router.prepare(w.net);
  const chan_wq_result r = router.route(w.domain(60.0));
  EXPECT_EQ(r.status, 0);
  EXPECT_NEAR(w.lake_mass[1], 2100.0, 1e-9);
  EXPECT_NEAR(w.lake_conc[1], 2100.0 / 1250.0, 1e-12);
}

// A point sink takes the water it took at the concentration of the node or
// lake it drew from, mixed with what the step brought: a reach at one
// concentration keeps it and gives the sink W C; a node or lake the sink
// empties gives it all its mass; a sink of a lake that keeps its
// concentration takes W C from it.
TEST(ChannelWqRouting, APointSinkTakesTheMassOfTheWaterItTook) {
  const double dt = 60.0;
  const struct {
    const char* name;
    double held;      // m3 in node 2 (or the lake) at the start
    double drawn;     // m3 the sink took over the step
    double inflow;    // m3 node 1 passes node 2 over the step, at 4 g/m3
    double expected;  // g the sink takes
  } rows[] = {
      {"a reach at 4 g/m3 keeps it", 20.0, 12.0, 6.0, 12.0 * 4.0},
      {"a node the sink empties gives it all", 20.0, 26.0, 6.0, 26.0 * 4.0},
      {"a still node emptied", 20.0, 20.0, 0.0, 20.0 * 4.0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    wq_net w(1, 3, 0);
    w.channel(1, 3, 10.0, 0);
    for (int n = 1; n <= 3; ++n) {
      w.area_old[w.at(1, n)] = w.area[w.at(1, n)] = 2.0;
      w.conc[w.at(1, n)] = 4.0;
      w.mass[w.at(1, n)] = 80.0;
    }
    // Node 1 is fed at its own concentration what it passes on; node 2
    // passes nothing on.
    w.face_vol[w.at(1, 1)] = r.inflow;
    w.source[w.at(1, 1)] = r.inflow * 4.0 / dt;
    w.area_old[w.at(1, 2)] = r.held / 10.0;
    w.mass[w.at(1, 2)] = r.held * 4.0;
    w.area[w.at(1, 2)] = (r.held + r.inflow - r.drawn) / 10.0;
    w.withdrawn[w.at(1, 2)] = r.drawn;
    chan_wq_router router;
    router.prepare(w.net);
    const chan_wq_result res = router.route(w.domain(dt));
    ASSERT_EQ(res.status, 0);
    EXPECT_NEAR(res.withdrawn_mass, r.expected, 1e-9 * r.expected);
    for (int n = 1; n <= 3; ++n)
      if (w.area[w.at(1, n)] > 0.0) {
        EXPECT_NEAR(w.conc[w.at(1, n)], 4.0, 1e-12) << n;
      }
    EXPECT_NEAR(w.mass[w.at(1, 2)], 4.0 * w.area[w.at(1, 2)] * 10.0, 1e-9 * r.expected);
    EXPECT_NEAR(w.channel_mass() + res.withdrawn_mass + res.outlet_mass, 240.0 + r.held * 4.0 - 80.0 + r.inflow * 4.0,
                1e-9 * r.expected);
  }
  // A lake of 1000 m3 at 2 g/m3 that a sink draws down to 750 m3.
  wq_net w(1, 1, 1);
  w.lake(1, 1, 0);
  w.lake_vol_old[1] = 1000.0;
  w.lake_vol[1] = 750.0;
  w.lake_conc[1] = 2.0;
  w.lake_mass[1] = 2000.0;
  w.lake_withdrawn[1] = 250.0;
  chan_wq_router router;
  router.prepare(w.net);
  const chan_wq_result res = router.route(w.domain(dt));
  ASSERT_EQ(res.status, 0);
  EXPECT_NEAR(res.lake_withdrawn_mass, 500.0, 1e-9);
  EXPECT_NEAR(w.lake_conc[1], 2.0, 1e-12);
  EXPECT_EQ(res.withdrawn_mass, 0.0);
}

// A node kept at 10 m3 by a clean inflow of 0.1 m3/s that a sink draws off
// again: the well-mixed node washes out as 50 exp(-Q t / V) g. Routed over
// 100 s in ever more channel steps the mass left converges on 50 / e at
// first order.
TEST(ChannelWqRouting, AWashedOutNodeConvergesOnTheWellMixedDecline) {
  auto left_after = [](int calls) {
    wq_net w(1, 2, 0);
    w.channel(1, 2, 10.0, 0);
    for (int n = 1; n <= 2; ++n) w.area_old[w.at(1, n)] = w.area[w.at(1, n)] = 1.0;
    w.conc[w.at(1, 2)] = 5.0;
    w.mass[w.at(1, 2)] = 50.0;
    const double dt = 100.0 / calls;
    w.face_vol[w.at(1, 1)] = 0.1 * dt;
    w.source[w.at(1, 1)] = 0.0;  // node 1 is fed clean water (its area is held)
    w.withdrawn[w.at(1, 2)] = 0.1 * dt;
    chan_wq_router router;
    router.prepare(w.net);
    double taken = 0.0;
    for (int c = 0; c < calls; ++c) {
      const chan_wq_result res = router.route(w.domain(dt));
      EXPECT_EQ(res.status, 0);
      taken += res.withdrawn_mass;
    }
    EXPECT_NEAR(taken + w.mass[w.at(1, 2)], 50.0, 1e-10);
    return w.mass[w.at(1, 2)];
  };
  const double exact = 50.0 * std::exp(-1.0);
  const double e8 = left_after(8) - exact, e16 = left_after(16) - exact, e32 = left_after(32) - exact;
  EXPECT_GT(e8, e16);
  EXPECT_NEAR(e8 / e16, 2.0, 0.15);
  EXPECT_NEAR(e16 / e32, 2.0, 0.1);
  EXPECT_LT(e32 / exact, 0.02);
}

// ---------------------------------------------------------------- sub-steps
TEST(ChannelWqSubsteps, CourantRatiosSetTheSubstep) {
  // One link, 50 m nodes of 2 m2 passing 1 m3/s: the ratio is h / 100.
  struct row {
    double dt;
    int substeps;
    double smallest;
  };
  for (const row& r : {row{50.0, 1, 50.0}, row{100.0, 2, 50.0}, row{130.0, 3, 30.0}}) {
    SCOPED_TRACE(r.dt);
    wq_net w(1, 4, 0);
    w.channel(1, 4, 50.0, 0);
    w.steady(1, 2.0, 1.0, r.dt);
    for (int n = 1; n <= 4; ++n) {
      w.conc[w.at(1, n)] = 1.0;
      w.mass[w.at(1, n)] = 100.0;
    }
    w.source[w.at(1, 1)] = 1.0;  // the head is fed at the reach's own 1 g/m3
    chan_wq_router router;
    router.prepare(w.net);
    const chan_wq_result res = router.route(w.domain(r.dt));
    EXPECT_EQ(res.substeps, r.substeps);
    EXPECT_NEAR(res.smallest_substep, r.smallest, 1e-9);
    EXPECT_NEAR(res.routed_time, r.dt, 1e-12);
    EXPECT_NEAR(res.outlet_mass, 1.0 * r.dt, 1e-9);  // uniform 1 g/m3 flushes at Q C
  }
}

TEST(ChannelWqSubsteps, ANodeWithAlmostNoWaterCutsTheSubstepToItsFloor) {
  // The second node wets from nothing to 0.05 m3 while water passes it: its
  // ratio is 5, so the first sub-step is cut to 0.1 s and none is shorter.
  wq_net w(1, 3, 0);
  w.channel(1, 3, 50.0, 0);
  w.steady(1, 2.0, 0.1, 1.0);
  w.area_old[w.at(1, 2)] = 0.0;
  w.area[w.at(1, 2)] = 1e-3;
  chan_wq_router router;
  router.prepare(w.net);
  const chan_wq_result res = router.route(w.domain(1.0));
  EXPECT_EQ(res.status, 0);
  EXPECT_NEAR(res.smallest_substep, chan_wq_router::min_courant_substep, 1e-12);
  EXPECT_GT(res.substeps, 1);
  EXPECT_NEAR(res.routed_time, 1.0, 1e-12);
}

TEST(ChannelWqSubsteps, ANegativeConcentrationRetriesWithoutRoutingTimeTwice) {
  // A sharp front with strong dispersion: at the 0.1 s floor of the Courant
  // cut the iteration overshoots below zero, the sub-step is discarded and
  // halved. The time of the channel step is routed exactly once: the head
  // source adds S dt, no more, and the mass balance closes.
  wq_net w(1, 3, 0);
  w.channel(1, 3, 1.0, 0);
  for (int n = 1; n <= 3; ++n) {
    w.area_old[w.at(1, n)] = w.area[w.at(1, n)] = 1.0;
    w.disp[w.at(1, n)] = 20.0;
  }
  w.conc[w.at(1, 1)] = 1.0;
  w.mass[w.at(1, 1)] = 1.0;
  w.source[w.at(1, 1)] = 0.5;
  chan_wq_router router;
  router.prepare(w.net);
  const double dt = 0.5;
  const chan_wq_result res = router.route(w.domain(dt));
  ASSERT_EQ(res.status, 0);
  EXPECT_GT(res.rejected, 0);
  EXPECT_LT(res.smallest_substep, chan_wq_router::min_courant_substep);
  EXPECT_GE(res.smallest_substep, chan_wq_router::min_substep);
  EXPECT_NEAR(res.routed_time, dt, 1e-12);
  EXPECT_NEAR(res.source_mass, 0.5 * dt, 1e-12);
  EXPECT_NEAR(w.channel_mass(), 1.0 + 0.5 * dt, 1e-12);
  for (int n = 1; n <= 3; ++n) EXPECT_GE(w.conc[w.at(1, n)], -chan_wq_router::negative_tolerance);
}

TEST(ChannelWqSubsteps, BelowTheSmallestSubstepTheRoutingStops) {
  wq_net w(1, 3, 0);
  w.channel(1, 3, 1.0, 0);
  for (int n = 1; n <= 3; ++n) {
    w.area_old[w.at(1, n)] = w.area[w.at(1, n)] = 1.0;
    w.disp[w.at(1, n)] = 5000.0;
  }
  w.conc[w.at(1, 1)] = 1.0;
  w.mass[w.at(1, 1)] = 1.0;
  chan_wq_router router;
  router.prepare(w.net);
  const chan_wq_result res = router.route(w.domain(1.0));
  EXPECT_EQ(res.status, 1);
  // What was routed stays conserved.
  EXPECT_NEAR(w.channel_mass(), 1.0, 1e-12);
  // The message names the bound the routing uses.
  EXPECT_NE(std::string(chan_wq_small_step_message).find("1/100 of a second"), std::string::npos);
  EXPECT_DOUBLE_EQ(chan_wq_router::min_substep, 0.01);
}

TEST(ChannelWqRouting, ScratchFollowsTheNetworkOfEachRun) {
  // A router prepared for a small network and then for a larger one routes
  // the larger one whole.
  chan_wq_router router;
  wq_net small(1, 2, 0);
  small.channel(1, 2, 10.0, 0);
  router.prepare(small.net);
  wq_net big(3, 6, 0);
  big.channel(1, 6, 10.0, 3);
  big.channel(2, 6, 10.0, 3);
  big.channel(3, 6, 10.0, 0);
  for (int l = 1; l <= 3; ++l) big.steady(l, 1.0, 0.1, 10.0);
  big.conc[big.at(3, 6)] = 2.0;
  big.mass[big.at(3, 6)] = 20.0;
  router.prepare(big.net);
  const chan_wq_result res = router.route(big.domain(10.0));
  EXPECT_EQ(res.status, 0);
  EXPECT_NEAR(big.channel_mass() + res.outlet_mass, 20.0, 1e-12);
  EXPECT_GT(res.outlet_mass, 0.0);
}

}  // namespace
}  // namespace nivra
