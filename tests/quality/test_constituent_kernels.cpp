// The constituent kernels against independent references: linear
// partitioning (Chapra, Surface Water-Quality Modeling), the soil layer's
// dissolved fraction by hand, explicit first-order decay against its closed
// form and against exp(-k t), the share rule, and the overland transport's
// conservation, symmetry and thread independence.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "core/thread_pool.h"
#include "quality/contaminant/constituent_kernels.h"
#include "quality/contaminant/overland_transport.h"

namespace nivra {
namespace {

TEST(ConstituentPartition, LinearEquilibriumWithTheSuspendedFines) {
  // Kd 1000 L/kg, 100 g/m3 of fines: dissolved 1 / (1 + 1000 x 100 x 1e-6) = 1 / 1.1.
  const std::array<double, 1> fines{100.0};
  const std::array<char, 1> no_sand{0};
  std::array<double, 1> attached{};
  const double f = sediment_partition(1000.0, fines, no_sand, attached);
  EXPECT_NEAR(f, 0.909091, 5e-7);
  EXPECT_NEAR(f + attached[0], 1.0, 1e-12);

  struct row {
    double kd;
    std::array<double, 3> conc;
    std::array<char, 3> sand;
    double dissolved;  // by hand
  } rows[] = {
      {1000.0, {100.0, 0.0, 0.0}, {0, 0, 0}, 1.0 / 1.1},
      {1000.0, {50.0, 50.0, 500.0}, {0, 0, 1}, 1.0 / 1.1},  // the sand carries nothing
      {1000.0, {0.0, 0.0, 800.0}, {0, 0, 1}, 1.0},          // sand only: all dissolved
      {0.0, {100.0, 200.0, 0.0}, {0, 0, 0}, 1.0},           // Kd 0: nothing attached
      {25.0, {4000.0, 0.0, 0.0}, {0, 0, 0}, 1.0 / 1.1},
  };
  for (const row& r : rows) {
    std::array<double, 3> a{};
    const double d = sediment_partition(r.kd, r.conc, r.sand, a);
    EXPECT_NEAR(d, r.dissolved, 1e-12) << r.kd;
    EXPECT_NEAR(d + a[0] + a[1] + a[2], 1.0, 1e-12) << r.kd;
    for (int k = 0; k < 3; ++k) {
      if (r.sand[k] || r.kd == 0.0) {
        EXPECT_EQ(a[k], 0.0) << k;
      }
      EXPECT_GE(a[k], 0.0);
    }
  }
}

TEST(ConstituentPartition, SoilLayerDissolvedFraction) {
  // theta 0.3, porosity 0.4, Kd 1: 0.3 / (0.3 + 2.65 x 0.6 x 1) = 0.158730.
  EXPECT_NEAR(soil_dissolved_fraction(0.3, 0.4, 1.0), 0.158730, 5e-7);
  EXPECT_EQ(soil_dissolved_fraction(0.3, 0.4, 0.0), 1.0);
  EXPECT_EQ(soil_dissolved_fraction(0.0, 0.4, 0.0), 0.0);  // no water, nothing dissolved (no 0/0)
  EXPECT_EQ(soil_dissolved_fraction(1e-17, 0.4, 1.0), 0.0);
}

TEST(ConstituentDecay, ExplicitStepsFollowTheirClosedForm) {
  const double m0 = 250.0, k = 1e-5, dt = 30.0;
  double m = m0;
  const int n = 400;
  for (int step = 0; step < n; ++step) m -= decay_amount(m, k, dt);
  EXPECT_NEAR(m, m0 * std::pow(1.0 - k * dt, n), 1e-12 * m0);
  // k dt = 3e-4: within n (k dt)^2 / 2 of the exact decay.
  EXPECT_NEAR(m / (m0 * std::exp(-k * dt * n)), 1.0, n * k * dt * k * dt);
  // Only the dissolved part decays.
  EXPECT_DOUBLE_EQ(decay_amount(10.0, 1e-3, 10.0, 0.25), 0.025);  // 0.25 x 10 g x 1e-3 /s x 10 s
  EXPECT_EQ(decay_amount(-1.0, 1e-3, 10.0), 0.0);
  // A step longer than 1/k takes the exponential share, never the whole
  // mass or more: 10 g x (1 - exp(-3)) = 9.5021 g at k dt = 3.
  EXPECT_NEAR(decay_amount(10.0, 1e-3, 3000.0), 10.0 * (1.0 - std::exp(-3.0)), 1e-12);
}

// The share of a mass decay takes in one step: k dt while that leaves a
// mass of at least zero, 1 - exp(-k dt) beyond.
TEST(ConstituentDecay, TheShareIsExplicitUpToOneOverKAndExponentialBeyond) {
  const struct {
    double k, dt, share;
  } rows[] = {
      {1e-3, 10.0, 0.01},
      {1e-3, 1000.0, 1.0},                         // k dt = 1: the explicit form takes it all
      {1e-3, 1001.0, 1.0 - std::exp(-1.001)},      // just beyond: the exponential form
      {2.0 / 86400.0, 43200.0 * 3.0, 1.0 - std::exp(-3.0)},  // 1.5 days at 2 per day
      {0.0, 60.0, 0.0},
      {1e-3, 0.0, 0.0},
      {-1e-3, 60.0, 0.0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.dt);
    EXPECT_NEAR(decay_share(r.k, r.dt), r.share, 1e-15);
    EXPECT_GE(decay_share(r.k, r.dt), 0.0);
    EXPECT_LE(decay_share(r.k, r.dt), 1.0);
  }
}

TEST(ConstituentShares, AProcessIntervalIsSpreadOverShorterStepsInSeconds) {
  struct row {
    double amount, dt, interval, share;
  } rows[] = {
      {6.0, 10.0, 60.0, 1.0},     // spread over the six transport steps of its interval
      {6.0, 60.0, 60.0, 6.0},     // same length: whole
      {6.0, 59.6, 60.0, 6.0},     // within half a second: whole
      {6.0, 120.0, 60.0, 6.0},    // longer step: whole
      {1e-17, 10.0, 60.0, 0.0},   // nothing to share
      {-6.0, 30.0, 60.0, -3.0},   // a loss is shared alike
  };
  for (const row& r : rows) EXPECT_DOUBLE_EQ(interval_share(r.amount, r.dt, r.interval), r.share) << r.dt;
  EXPECT_EQ(dissolved_concentration(5.0, 1.0, 1e-16), 0.0);  // no water: no concentration, no flux
  EXPECT_DOUBLE_EQ(dissolved_concentration(5.0, 0.5, 2.0), 1.25);
}

// A rectangle of rows x cols cells, all in the watershed, numbered row by row.
struct test_grid {
  int rows, cols, n;
  std::vector<int> above, below, left, right;
  std::vector<double> depth, qx, qy, disp, source, mass, conc;
  test_grid(int r, int c) : rows(r), cols(c), n(r * c) {
    for (auto* v : {&above, &below, &left, &right}) v->assign(n + 1, 0);
    for (auto* v : {&depth, &qx, &qy, &disp, &source, &mass, &conc}) v->assign(n + 1, 0.0);
    for (int i = 1; i <= n; ++i) {
      const int row = (i - 1) / cols, col = (i - 1) % cols;
      if (row > 0) above[i] = i - cols;
      if (row < rows - 1) below[i] = i + cols;
      if (col > 0) left[i] = i - 1;
      if (col < cols - 1) right[i] = i + 1;
    }
  }
  int cell(int row, int col) const { return row * cols + col + 1; }
  ov_transport_domain domain(double dx) const {
    ov_transport_domain d;
    d.ncells = n;
    d.dx = dx;
    d.above = above.data();
    d.below = below.data();
    d.left = left.data();
    d.right = right.data();
    d.depth = depth.data();
    d.qx = qx.data();
    d.qy = qy.data();
    d.disp = disp.data();
    d.source = source.data();
    return d;
  }
  ov_transport_state state() { return {mass.data(), conc.data()}; }
  double total() const {
    double m = 0.0;
    for (int i = 1; i <= n; ++i) m += mass[i];
    return m;
  }
  void set_conc(double dx) {
    for (int i = 1; i <= n; ++i) mass[i] = conc[i] * depth[i] * dx * dx;
  }
};

// Depths, flows both ways and dispersion that vary from cell to cell,
// slow enough that no cell is emptied.
test_grid varied_plane(int r, int c) {
  test_grid g(r, c);
  for (int i = 1; i <= g.n; ++i) {
    g.depth[i] = 0.01 + 0.002 * ((i * 7) % 5);
    g.qx[i] = 0.001 * (((i * 3) % 7) - 3);
    g.qy[i] = 0.0008 * (((i * 5) % 9) - 4);
    g.disp[i] = 0.5 + 0.1 * (i % 3);
    g.conc[i] = 10.0 + (i * 13) % 17;
  }
  return g;
}

TEST(OverlandTransport, AClosedGridKeepsItsMassInBothSweepOrders) {
  const double dx = 10.0, dt = 2.0;
  for (sweep_order order : {sweep_order::rows_first, sweep_order::columns_first}) {
    for (auto shape : {std::array<int, 2>{1, 12}, std::array<int, 2>{12, 1}, std::array<int, 2>{6, 7}}) {
      test_grid g = varied_plane(shape[0], shape[1]);
      g.set_conc(dx);
      const double m0 = g.total();
      ov_transport_scratch w;
      auto d = g.domain(dx);
      auto s = g.state();
      for (int step = 0; step < 50; ++step)
        ASSERT_EQ(ovl_contam_step(d, s, w, dt, step % 2 ? sweep_order::rows_first : order), 0.0);
      EXPECT_NEAR(g.total(), m0, 1e-12 * m0) << shape[0] << " x " << shape[1];
      for (int i = 1; i <= g.n; ++i) {
        EXPECT_GE(g.mass[i], 0.0);
        EXPECT_NEAR(g.conc[i], g.mass[i] / (g.depth[i] * dx * dx), 1e-9);
      }
    }
  }
}

TEST(OverlandTransport, APulseSpreadsSymmetricallyOnAFlatPlane) {
  const double dx = 5.0, dt = 1.0;
  test_grid g(9, 9);
  for (int i = 1; i <= g.n; ++i) {
    g.depth[i] = 0.02;
    g.disp[i] = 2.0;
  }
  g.conc[g.cell(4, 4)] = 100.0;
  g.set_conc(dx);
  const double m0 = g.total();
  ov_transport_scratch w;
  auto d = g.domain(dx);
  auto s = g.state();
  for (int step = 0; step < 20; ++step)
    ovl_contam_step(d, s, w, dt, step % 2 ? sweep_order::columns_first : sweep_order::rows_first);
  EXPECT_NEAR(g.total(), m0, 1e-12 * m0);
  EXPECT_LT(g.conc[g.cell(4, 4)], 100.0);
  EXPECT_GT(g.conc[g.cell(4, 6)], 0.0);
  for (int r = 0; r < 9; ++r)
    for (int c = 0; c < 9; ++c) {
      const double v = g.conc[g.cell(r, c)];
      EXPECT_NEAR(v, g.conc[g.cell(8 - r, c)], 1e-12 * 100.0) << r << " " << c;
      EXPECT_NEAR(v, g.conc[g.cell(r, 8 - c)], 1e-12 * 100.0) << r << " " << c;
      EXPECT_NEAR(v, g.conc[g.cell(c, r)], 1e-9) << r << " " << c;  // the split is symmetric to second order
    }
}

TEST(OverlandTransport, FlowCarriesTheConstituentDownstreamAndSourcesAddTheirMass) {
  // Three cells in a row, flow eastward 0.01 m3/s, no dispersion; the first
  // cell holds 50 g/m3. Upwind: what enters the second cell in the first
  // predictor (of the columns, which go first) is q C dt.
  const double dx = 10.0, dt = 1.0;
  test_grid g(1, 3);
  for (int i = 1; i <= 3; ++i) {
    g.depth[i] = 0.05;
    g.qx[i] = 0.01;
  }
  g.qx[3] = 0.0;
  g.conc[1] = 50.0;
  g.set_conc(dx);
  g.source[3] = 2.0;  // g/s
  const double m0 = g.total();
  ov_transport_scratch w;
  auto d = g.domain(dx);
  auto s = g.state();
  ovl_contam_step(d, s, w, dt, sweep_order::columns_first);
  EXPECT_NEAR(g.total(), m0 + 2.0 * dt, 1e-12 * m0);
  EXPECT_GT(g.mass[2], 0.0);
  EXPECT_LT(g.mass[1], 50.0 * 0.05 * 100.0);
  // Predictor: 0.5 g in from the first cell, nothing out. Corrector: the
  // inflow averages 0.5 with the flux from the predicted concentration
  // (50 - 0.5 / 5 = 49.9 g/m3, 0.499 g), the outflow 0 with the one from
  // 0.5 / 5 = 0.1 g/m3 (0.001 g): 0.4995 - 0.0005.
  EXPECT_NEAR(g.mass[2], 0.499, 1e-12);
}

// Where the depths at the end of the step are those the face flows leave,
// a uniform concentration stays uniform whichever direction goes first.
// On 3 x 3 cells of 100 m2 over 10 s, the middle cell holds 0.1 m3 and
// passes 0.5 m3 from the cell above it to the cell on its right: with the
// columns first it gives its 0.5 m3 before it receives them, and holds less
// than nothing between the two directions.
TEST(OverlandTransport, AUniformConcentrationStaysUniformWhereTheDepthsFollowTheFlows) {
  const double dx = 10.0, dt = 10.0;
  for (sweep_order order : {sweep_order::rows_first, sweep_order::columns_first}) {
    test_grid g(3, 3);
    for (int i = 1; i <= g.n; ++i) {
      g.depth[i] = 0.01;
      g.disp[i] = 0.7;
      g.conc[i] = 5.0;
    }
    const int middle = g.cell(1, 1);
    g.depth[middle] = 0.001;
    g.set_conc(dx);
    g.qy[g.cell(0, 1)] = 0.05;  // into the middle cell from above
    g.qx[middle] = 0.05;        // out of it to the right
    // The depths at the end of the step.
    g.depth[g.cell(0, 1)] -= 0.005;
    g.depth[g.cell(1, 2)] += 0.005;
    const double m0 = g.total();
    ov_transport_scratch w;
    auto d = g.domain(dx);
    auto s = g.state();
    EXPECT_EQ(ovl_contam_step(d, s, w, dt, order), 0.0);
    EXPECT_NEAR(g.total(), m0, 1e-12 * m0);
    for (int i = 1; i <= g.n; ++i) {
      EXPECT_NEAR(g.conc[i], 5.0, 5e-12) << i;
      EXPECT_NEAR(g.mass[i], 5.0 * g.depth[i] * dx * dx, 1e-11) << i;
    }
  }
}

TEST(OverlandTransport, AnEmptiedCellIsSetToZeroAndTheMassItWasGivenReported) {
  const double dx = 1.0, dt = 10.0;
  test_grid g(1, 2);
  g.depth[1] = g.depth[2] = 0.01;
  g.qx[1] = 0.01;  // far too fast for the cell's 0.01 m3
  g.conc[1] = 1.0;
  g.set_conc(dx);
  ov_transport_scratch w;
  auto d = g.domain(dx);
  auto s = g.state();
  const double given = ovl_contam_step(d, s, w, dt, sweep_order::columns_first);
  EXPECT_GT(given, 0.0);
  EXPECT_EQ(g.mass[1], 0.0);
  EXPECT_EQ(g.conc[1], 0.0);
  EXPECT_NEAR(g.total(), 0.01 + given, 1e-12);  // the mass made by the reset is exactly what is reported
}

TEST(OverlandTransport, TheSameBitsOnAnyNumberOfThreads) {
  const double dx = 10.0, dt = 2.0;
  std::vector<double> reference;
  for (int threads : {1, 2, 3}) {
    test_grid g = varied_plane(40, 37);
    g.set_conc(dx);
    thread_pool crew(threads);
    ov_transport_scratch w;
    auto d = g.domain(dx);
    d.crew = &crew;
    d.part_cells = 64;
    auto s = g.state();
    for (int step = 0; step < 5; ++step)
      ovl_contam_step(d, s, w, dt, step % 2 ? sweep_order::rows_first : sweep_order::columns_first);
    if (reference.empty()) {
      reference = g.mass;
    } else {
      EXPECT_EQ(g.mass, reference) << threads;
    }
  }
}

}  // namespace
}  // namespace nivra
