// The head solver against analytic solutions (the Dupuit mound between two
// held heads, the Theis drawdown of a pumped well and the Thiem head of the
// well cell with Peaceman's radius, Dupuit's discharge through zones of
// different conductivity in series) and against its own books: the water
// stored changes by exactly what crossed the aquifer's boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "aquifer_fixture.h"
#include "groundwater/groundwater_step.h"
#include "soil/soil_column.h"
#include "soil/soil_column_fixture.h"

namespace nivra {
namespace {

using testing::test_aquifer;

// Change of storage against what the books say entered, m3.
double balance_residual(double before, double after, const aquifer_books& b) {
  return after - before - (b.net_input() + b.boundary_flux + b.floor_fill);
}

TEST(Aquifer, DupuitMoundBetweenHeldHeads) {
  // 1,000 m between the centres of the two held cells, 10 m cells.
  const double K = 1e-4, R = 1e-8, h0 = 10.0, L = 1000.0, dt = 1e8;
  test_aquifer a(1, 101, 10.0, 0.0, h0, K, 0.2);
  a.bound[1] = a.bound[101] = aquifer_cell::fixed_head;
  aquifer_books last;
  for (int step = 0; step < 30; ++step) {
    for (int c = 2; c <= 100; ++c) a.recharge[static_cast<std::size_t>(c)] = R * dt;
    aquifer_domain d = a.domain();
    const aquifer_result r = a.solver.solve(d, dt);
    ASSERT_EQ(r.status, aquifer_status::ok);
    last = r.books;
  }
  for (int c : {11, 26, 51, 76}) {
    const double x = (c - 1) * 10.0;
    EXPECT_NEAR(a.h(1, c), std::sqrt(h0 * h0 + R / K * x * (L - x)), 0.005) << "x = " << x;
  }
  EXPECT_NEAR(a.h(1, 51), 11.1803, 0.005);
  // At steady state the held heads take all the recharge.
  EXPECT_NEAR(last.boundary_flux / -last.recharge, 1.0, 1e-3);
}

TEST(Aquifer, TheisDrawdownAndThiemWellCell) {
  // T = K b = 5e-3 m2/s, specific yield 0.1, 0.01 m3/s for one day.
  const double K = 1e-4, b = 50.0, S = 0.1, Q = 0.01, dx = 20.0, T = K * b, t = 86400.0, dt = 300.0;
  test_aquifer a(61, 61, dx, 0.0, b, K, S);
  a.well[static_cast<std::size_t>(a.at(31, 31))] = Q / (dx * dx);
  for (double elapsed = 0.0; elapsed < t - 1.0; elapsed += dt) {
    aquifer_domain d = a.domain();
    ASSERT_EQ(a.solver.solve(d, dt).status, aquifer_status::ok);
  }
  // The well function by its series.
  auto theis = [&](double r) {
    const double u = r * r * S / (4.0 * T * t);
    double w = -0.5772156649 - std::log(u), term = 1.0;
    for (int n = 1; n < 30; ++n) {
      term *= -u / n;
      w -= term / n;
    }
    return Q / (4.0 * std::numbers::pi * T) * w;
  };
  const double expected[] = {0.301, 0.189, 0.0755};
  const int cells[] = {2, 3, 5};
  for (int k = 0; k < 3; ++k) {
    const double s = b - a.h(31, 31 + cells[k]);
    EXPECT_NEAR(theis(cells[k] * dx), expected[k], 0.002 * expected[k] / 0.0755);
    EXPECT_NEAR(s / theis(cells[k] * dx), 1.0, 0.03) << cells[k] << " cells from the well";
  }
  // The well cell stands at the head of radius 0.208 dx (Peaceman): Thiem
  // between there and two cells out.
  const double s2 = b - a.h(31, 33);
  const double thiem = s2 + Q / (2.0 * std::numbers::pi * T) * std::log(2.0 * dx / (0.208 * dx));
  EXPECT_NEAR((b - a.h(31, 31)) / thiem, 1.0, 0.03);
}

TEST(Aquifer, LowConductivityBarrierActsAsResistancesInSeries) {
  // A row of twelve 10 m cells, 110 m saturated at the held west end and
  // 109 m at the held east end; cells 6 and 7 are a barrier of K 1e-7 m/s
  // in an aquifer of 1e-4. At steady state Dupuit's discharge per metre of
  // width is q = (h1^2 - h12^2) / (2 R), R = sum of L / K between the held
  // centres, and h^2 falls in proportion to the resistance passed:
  //   R = 5 (1e4 + 1e4) + 10 (8e4 + 2e7) = 2.009e8 s,
  //   q = (110^2 - 109^2) / (2 x 2.009e8) = 5.4505e-7 m2/s,
  //   to the centre of cell 6: r = 5 (1e4 + 8e4 + 1e7) = 5.045e7 s, h = 109.7497 m,
  //   to the centre of cell 7: r + 10 / 1e-7 = 1.5045e8 s, h = 109.2520 m.
  // Half the barrier's resistance lies in the faces it shares with the
  // aquifer: their conductance is the harmonic mean of the two sides.
  const double dx = 10.0, k_aquifer = 1e-4, k_barrier = 1e-7, bottom = -100.0;
  test_aquifer a(1, 12, dx, bottom, 9.5, k_aquifer, 0.2);
  a.k[6] = a.k[7] = k_barrier;
  a.bound[1] = a.bound[12] = aquifer_cell::fixed_head;
  a.h(1, 1) = 10.0;
  a.h(1, 12) = 9.0;
  for (int step = 0; step < 5; ++step) {
    aquifer_domain d = a.domain();
    d.tolerance = 1e-12;
    d.pass_tolerance = 1e-12;
    ASSERT_EQ(a.solver.solve(d, 1e12).status, aquifer_status::ok);
  }
  const double R = 2.009e8, h1 = 110.0, h12 = 109.0;
  double r = 0.0;  // resistance from the west centre, s
  for (int c = 2; c <= 11; ++c) {
    r += 0.5 * dx / a.k[static_cast<std::size_t>(c - 1)] + 0.5 * dx / a.k[static_cast<std::size_t>(c)];
    const double expected = std::sqrt(h1 * h1 - (h1 * h1 - h12 * h12) * r / R) + bottom;
    EXPECT_NEAR(a.h(1, c), expected, 5e-4) << "cell " << c;
  }
  // A cell's transmissivity takes the thickness at its centre: a fraction
  // of a millimetre from Dupuit's heads. (Through the arithmetic mean the
  // barrier's edges would lose half its resistance: 9.998 and 9.002 m.)
  EXPECT_NEAR(a.h(1, 6), 9.7497, 5e-4);
  EXPECT_NEAR(a.h(1, 7), 9.2520, 5e-4);
  // The discharge, by Darcy through the uniform cells 2 and 3 of the west
  // zone (Dupuit between their centres), against the hand value.
  const double t2 = a.h(1, 2) - bottom, t3 = a.h(1, 3) - bottom;
  EXPECT_NEAR(k_aquifer * (t2 * t2 - t3 * t3) / (2.0 * dx), 5.4505e-7, 2e-4 * 5.4505e-7);
}

TEST(Aquifer, FlatTableWithoutStressesStaysFlat) {
  test_aquifer a(5, 7, 30.0, -5.0, 20.0, 3e-4, 0.25);
  for (int step = 0; step < 10; ++step) {
    aquifer_domain d = a.domain();
    d.by_rows = step % 2 == 0;
    d.ascending = step % 3 != 0;
    const aquifer_result r = a.solver.solve(d, 3600.0);
    ASSERT_EQ(r.status, aquifer_status::ok);
    EXPECT_EQ(r.books.boundary_flux, 0.0);
  }
  for (int c = 1; c <= a.n; ++c) EXPECT_NEAR(a.head[static_cast<std::size_t>(c)], 20.0, 1e-9);
}

TEST(Aquifer, HeldHeadsBookWhatTheSolvedCellsGain) {
  // A held column at each end of a 4 x 6 block at different heads, a well
  // and recharge in between: over transient steps in both sweep directions
  // the storage changes by the books' net input plus the boundary flux.
  test_aquifer a(4, 6, 25.0, 0.0, 8.0, 2e-4, 0.15);
  for (int r = 1; r <= 4; ++r) {
    a.bound[static_cast<std::size_t>(a.at(r, 1))] = aquifer_cell::fixed_head;
    a.bound[static_cast<std::size_t>(a.at(r, 6))] = aquifer_cell::fixed_head_other;
    a.h(r, 1) = 12.0;
    a.h(r, 6) = 6.0;
  }
  a.well[static_cast<std::size_t>(a.at(2, 3))] = 2e-6;
  double in_total = 0.0;
  for (int step = 0; step < 6; ++step) {
    for (int c = 1; c <= a.n; ++c) a.recharge[static_cast<std::size_t>(c)] = 0.01;
    aquifer_domain d = a.domain();
    d.by_rows = step % 2 == 0;
    d.tolerance = 1e-9;
    const double before = a.storage();
    const aquifer_result r = a.solver.solve(d, 1800.0);
    ASSERT_EQ(r.status, aquifer_status::ok);
    EXPECT_NEAR(balance_residual(before, a.storage(), r.books), 0.0, 1e-6 * std::fabs(r.books.boundary_flux) + 1e-9);
    in_total += r.books.boundary_flux;
    // The held cells keep their heads.
    EXPECT_EQ(a.h(3, 1), 12.0);
    EXPECT_EQ(a.h(3, 6), 6.0);
  }
  EXPECT_GT(std::fabs(in_total), 1.0);
}

// A transient unconfined aquifer of 20 x 20 cells of 50 m (K 2e-4 m/s,
// specific yield 0.2, 20 m saturated) whose western column holds its head,
// under 2 mm/d of recharge and two wells (300 and 200 m3/d), for 20 days
// in steps of dt seconds with the head tolerance `tolerance`.
struct transient_run {
  std::vector<double> head;
  double net_input = 0.0;  // recharge less pumping plus the held heads' flux, m3
  double residual = 0.0;   // change of storage less net_input, m3
  long sweeps = 0;
};

transient_run run_transient_aquifer(double dt, double tolerance) {
  test_aquifer a(20, 20, 50.0, 0.0, 20.0, 2e-4, 0.2);
  for (int r = 1; r <= 20; ++r) a.bound[static_cast<std::size_t>(a.at(r, 1))] = aquifer_cell::fixed_head;
  a.well[static_cast<std::size_t>(a.at(8, 12))] = 300.0 / 86400.0 / 2500.0;
  a.well[static_cast<std::size_t>(a.at(15, 6))] = 200.0 / 86400.0 / 2500.0;
  transient_run t;
  const double before = a.storage();
  const int steps = static_cast<int>(std::lround(20.0 * 86400.0 / dt));
  for (int step = 0; step < steps; ++step) {
    for (int c = 1; c <= a.n; ++c) a.recharge[static_cast<std::size_t>(c)] = 0.002 * dt / 86400.0;
    aquifer_domain d = a.domain();
    d.tolerance = tolerance;
    d.pass_tolerance = std::min(d.pass_tolerance, tolerance);
    const aquifer_result r = a.solver.solve(d, dt);
    EXPECT_EQ(r.status, aquifer_status::ok);
    if (r.status != aquifer_status::ok) break;
    t.net_input += r.books.net_input() + r.books.boundary_flux + r.books.floor_fill;
    t.sweeps += r.books.sweeps;
  }
  t.residual = a.storage() - before - t.net_input;
  t.head = a.head;
  return t;
}

TEST(Aquifer, TheBooksCloseAtTheDefaultToleranceAndTheHeadsConvergeAsTheStepShrinks) {
  // The answer of sweeps converged tightly on 10-minute steps.
  const transient_run reference = run_transient_aquifer(600.0, 1e-10);
  auto head_error = [&](const transient_run& t) {
    double e = 0.0;
    for (std::size_t c = 1; c < t.head.size(); ++c) e = std::max(e, std::fabs(t.head[c] - reference.head[c]));
    return e;
  };
  // The recharge of the 380 solved cells, 1,900 m3/d, less 500 m3/d pumped
  // and what leaves through the held column.
  EXPECT_GT(reference.net_input, 0.0);
  double last_error = 1e300;
  for (const double dt : {86400.0, 3600.0, 600.0}) {
    SCOPED_TRACE(::testing::Message() << "steps of " << dt << " s");
    const transient_run t = run_transient_aquifer(dt, aquifer_domain{}.tolerance);
    EXPECT_LT(std::fabs(t.residual), 1e-6 * std::fabs(t.net_input));
    const double error = head_error(t);
    EXPECT_LT(error, last_error);
    last_error = error;
  }
  // At the reference's own step the head tolerance alone is what differs.
  EXPECT_LT(last_error, 1e-4);
}

TEST(Aquifer, PumpingBeyondWhatTheCellHoldsIsCutToTheFloor) {
  // One cell: 2 m saturated, specific yield 0.2, 100 m2: it holds 40 m3.
  test_aquifer a(1, 1, 10.0, 0.0, 2.0, 1e-4, 0.2);
  a.well[1] = 1.0 / 100.0;  // 1 m3/s for an hour
  aquifer_domain d = a.domain();
  d.tolerance = 1e-12;
  const aquifer_result r = a.solver.solve(d, 3600.0);
  ASSERT_EQ(r.status, aquifer_status::ok);
  EXPECT_NEAR(a.head[1], aquifer_floor, 1e-11);
  EXPECT_NEAR(r.books.pumping, 0.2 * (2.0 - aquifer_floor) * 100.0, 1e-9);
  EXPECT_NEAR(r.books.withheld, 3600.0 - r.books.pumping, 1e-6);
  EXPECT_NEAR(r.books.floor_fill, 0.0, 1e-9);
}

TEST(Aquifer, WaterTheFloorAddsIsBooked) {
  // Streams took more from the cell than it held: the floor refills it.
  test_aquifer a(1, 1, 10.0, 0.0, 1.0, 1e-4, 0.3);
  a.stream[1] = 50.0;  // m3; the cell holds 30
  const double before = a.storage();
  aquifer_domain d = a.domain();
  d.tolerance = 1e-12;
  const aquifer_result r = a.solver.solve(d, 600.0);
  ASSERT_EQ(r.status, aquifer_status::ok);
  EXPECT_NEAR(a.head[1], aquifer_floor, 1e-11);
  EXPECT_NEAR(r.books.floor_fill, 50.0 - 30.0 + 0.3 * aquifer_floor * 100.0, 1e-8);
  EXPECT_NEAR(balance_residual(before, a.storage(), r.books), 0.0, 1e-8);
  EXPECT_EQ(a.stream[1], 0.0);
}

TEST(Aquifer, CappedSweepsFailInsteadOfLooping) {
  test_aquifer a(20, 20, 10.0, 0.0, 10.0, 1e-3, 0.01);
  a.well[static_cast<std::size_t>(a.at(10, 10))] = 1e-3;
  aquifer_domain d = a.domain();
  d.max_sweeps = 2;
  d.tolerance = 1e-12;
  EXPECT_EQ(a.solver.solve(d, 86400.0).status, aquifer_status::sweeps_not_converged);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The pores of layered soils: a table at 9.0 m rising through layers whose
// bottoms stand at 9.5 m (porosity 0.3 below, the aquifer's) and 9.8 m
// (0.45 above 9.5 m, 0.5 above 9.8 m, the first layer). 0.21 m of water
// fills 9.0-9.5 m (0.15 m), then 9.5-9.633 m (0.06 / 0.45): the table
// stands at 9.5 + 0.06 / 0.45. Another 0.20 m takes it over 9.8 m:
// 0.3 x 0.45 = 0.135 m fills layer 2 from 9.5 m, what remains fills layer 1
// at 0.5. The storage the books hold is the water of the pores.
TEST(Aquifer, ATableRisingThroughLayersFillsEachLayersPores) {
  storage_profile p;
  p.layer_bottom[0] = 9.8;
  p.layer_bottom[1] = 9.5;
  p.porosity[0] = 0.5;
  p.porosity[1] = 0.45;
  p.porosity[2] = 0.3;
  EXPECT_NEAR(p.water_between(9.0, 10.0), 0.5 * 0.3 + 0.3 * 0.45 + 0.2 * 0.5, 1e-15);
  EXPECT_NEAR(p.water_between(10.0, 9.0), -(0.5 * 0.3 + 0.3 * 0.45 + 0.2 * 0.5), 1e-15);
  EXPECT_NEAR(p.level_holding(9.0, 0.21), 9.5 + 0.06 / 0.45, 1e-12);
  EXPECT_NEAR(p.level_holding(9.0, 0.41), 9.8 + (0.41 - 0.15 - 0.135) / 0.5, 1e-12);
  EXPECT_NEAR(p.level_holding(9.9, -0.41 + 0.05), 9.0 + (0.15 - (0.36 - 0.05 - 0.135)) / 0.3, 1e-12);
  EXPECT_NEAR(p.level_holding(9.9, 0.0), 9.9, 1e-15);

  // One cell of 10 m taking the water as recharge in one solve, and
  // giving it back to a well.
  test_aquifer a(1, 1, 10.0, 0.0, 9.0, 1e-4, 0.3);
  std::vector<storage_profile> layers(2, p);
  for (const double water : {0.21, 0.41}) {
    SCOPED_TRACE(water);
    a.h(1, 1) = 9.0;
    a.recharge[1] = water;
    aquifer_domain d = a.domain();
    d.profile = layers.data();
    d.tolerance = 1e-13;  // the line sweeps to the last digits
    const aquifer_result r = a.solver.solve(d, 3600.0);
    ASSERT_EQ(r.status, aquifer_status::ok);
    EXPECT_NEAR(a.h(1, 1), p.level_holding(9.0, water), 1e-9);
    EXPECT_NEAR(p.water_between(9.0, a.h(1, 1)) * 100.0, r.books.net_input(), 1e-9);
  }
  // A well drawing the cell back down through the layers.
  a.well[1] = 0.3 / 3600.0;  // m/s: 0.3 m of water in the hour
  const double before = a.h(1, 1);
  aquifer_domain d = a.domain();
  d.profile = layers.data();
  d.tolerance = 1e-13;
  const aquifer_result r = a.solver.solve(d, 3600.0);
  ASSERT_EQ(r.status, aquifer_status::ok);
  EXPECT_NEAR(a.h(1, 1), p.level_holding(before, -0.3), 1e-9);
  EXPECT_NEAR(r.books.pumping, 0.3 * 100.0, 1e-9);
}

// A cell of layered soil over the aquifer: open water above the ground at
// 10 m, 0.2 m of a first layer (porosity 0.45), 0.3 m of a second (0.38),
// 0.5 m of a third (0.42), the aquifer (0.2) below 9.0 m. The table rises
// from 8.5 m by recharge and falls back by pumping; the water it took and
// gave is by hand the sum over the layers of porosity x thickness crossed,
// and the heads land where those sums put them.
TEST(Aquifer, ATableRisingAndFallingThroughThreeLayersMovesTheirPoresByHand) {
  storage_profile p;
  p.bounds = 4;
  const double bottoms[] = {10.0, 9.8, 9.5, 9.0}, pores[] = {1.0, 0.45, 0.38, 0.42, 0.2};
  std::copy(std::begin(bottoms), std::end(bottoms), p.layer_bottom);
  std::copy(std::begin(pores), std::end(pores), p.porosity);
  const struct {
    double from, to, water;  // m
  } cases[] = {
      {8.5, 8.9, 0.4 * 0.2},
      {8.5, 9.3, 0.5 * 0.2 + 0.3 * 0.42},
      {8.5, 9.7, 0.5 * 0.2 + 0.5 * 0.42 + 0.2 * 0.38},
      {8.5, 9.9, 0.5 * 0.2 + 0.5 * 0.42 + 0.3 * 0.38 + 0.1 * 0.45},
      {8.5, 10.1, 0.5 * 0.2 + 0.5 * 0.42 + 0.3 * 0.38 + 0.2 * 0.45 + 0.1 * 1.0},
      {9.6, 9.75, 0.1 * 0.38 + 0.05 * 0.38},
      {9.2, 9.85, 0.3 * 0.42 + 0.3 * 0.38 + 0.05 * 0.45},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.to);
    EXPECT_NEAR(p.water_between(k.from, k.to), k.water, 1e-14);
    EXPECT_NEAR(p.water_between(k.to, k.from), -k.water, 1e-14);
    EXPECT_NEAR(p.level_holding(k.from, k.water), k.to, 1e-12);
    EXPECT_NEAR(p.level_holding(k.to, -k.water), k.from, 1e-12);
  }
  EXPECT_EQ(p.at(10.05), 1.0);
  EXPECT_EQ(p.at(9.9), 0.45);
  EXPECT_EQ(p.at(9.6), 0.38);
  EXPECT_EQ(p.at(9.2), 0.42);
  EXPECT_EQ(p.at(8.0), 0.2);

  // One cell of 10 m: recharge lifts the table from 8.5 m through every
  // layer to 9.9 m in one solve; a well takes it back to 8.9 m in the next.
  test_aquifer a(1, 1, 10.0, 0.0, 8.5, 1e-4, 0.2);
  std::vector<storage_profile> layers(2, p);
  const double up = 0.5 * 0.2 + 0.5 * 0.42 + 0.3 * 0.38 + 0.1 * 0.45, down = up - 0.4 * 0.2;
  a.recharge[1] = up;
  aquifer_domain d = a.domain();
  d.profile = layers.data();
  d.tolerance = 1e-13;
  aquifer_result r = a.solver.solve(d, 3600.0);
  ASSERT_EQ(r.status, aquifer_status::ok);
  EXPECT_NEAR(a.h(1, 1), 9.9, 1e-9);
  EXPECT_NEAR(r.books.net_input(), up * 100.0, 1e-9);
  a.well[1] = down / 7200.0;  // m/s
  d = a.domain();
  d.profile = layers.data();
  d.tolerance = 1e-13;
  r = a.solver.solve(d, 7200.0);
  ASSERT_EQ(r.status, aquifer_status::ok);
  EXPECT_NEAR(a.h(1, 1), 8.9, 1e-9);
  EXPECT_NEAR(r.books.pumping, down * 100.0, 1e-9);
}

// A solve that takes a share of its pools leaves the rest: two sub-steps of
// half the interval, the first taking half, the second all that remains,
// move as much water as one solve of the whole interval.
TEST(Aquifer, SubStepsShareThePoolsAndMoveWhatOneSolveMoves) {
  test_aquifer whole(1, 3, 10.0, 0.0, 5.0, 1e-4, 0.2), halves(1, 3, 10.0, 0.0, 5.0, 1e-4, 0.2);
  for (test_aquifer* a : {&whole, &halves}) {
    a->recharge[1] = 0.3;
    a->recharge[3] = 0.1;
  }
  aquifer_domain d = whole.domain();
  d.tolerance = 1e-13;
  const aquifer_result one = whole.solver.solve(d, 7200.0);
  ASSERT_EQ(one.status, aquifer_status::ok);
  double taken = 0.0;
  for (const double share : {0.5, 1.0}) {
    d = halves.domain();
    d.tolerance = 1e-13;
    d.share = share;
    const aquifer_result r = halves.solver.solve(d, 3600.0);
    ASSERT_EQ(r.status, aquifer_status::ok);
    taken += r.books.recharge;
    if (share < 1.0) {
      EXPECT_NEAR(halves.recharge[1], 0.15, 1e-15);
    }
  }
  EXPECT_NEAR(halves.recharge[1], 0.0, 0.0);
  EXPECT_NEAR(taken, one.books.recharge, 1e-9);
  double held_whole = 0.0, held_halves = 0.0;
  for (int c = 1; c <= 3; ++c) {
    held_whole += whole.h(1, c);
    held_halves += halves.h(1, c);
  }
  EXPECT_NEAR(held_halves, held_whole, 1e-9);  // the same water, flat storage 0.2
}

// Over a grid of 5 x 5 cells whose layers lie at different depths, a mound
// of recharge spreads through the layers: the water the pores hold changes
// by exactly what entered, step after step.
TEST(Aquifer, LayeredPoresKeepTheWaterOfAMoundSpreadingThroughThem) {
  test_aquifer a(5, 5, 10.0, 0.0, 9.0, 1e-4, 0.3);
  std::vector<storage_profile> layers(26);
  for (int c = 1; c <= 25; ++c) {
    storage_profile& p = layers[static_cast<std::size_t>(c)];
    p.layer_bottom[0] = 9.6 + 0.02 * c;
    p.layer_bottom[1] = 9.2 + 0.01 * c;
    p.porosity[0] = 0.5;
    p.porosity[1] = 0.42;
    p.porosity[2] = 0.3;
  }
  auto held = [&] {
    double v = 0.0;
    for (int c = 1; c <= 25; ++c)
      v += layers[static_cast<std::size_t>(c)].water_between(0.0, a.head[static_cast<std::size_t>(c)]) * 100.0;
    return v;
  };
  for (int step = 0; step < 6; ++step) {
    a.recharge[static_cast<std::size_t>(a.at(3, 3))] = 0.8;
    const double before = held();
    aquifer_domain d = a.domain();
    d.profile = layers.data();
    d.tolerance = 1e-13;
    const aquifer_result r = a.solver.solve(d, 3600.0);
    ASSERT_EQ(r.status, aquifer_status::ok);
    EXPECT_NEAR(held() - before, r.books.net_input(), 1e-8) << step;
  }
  // The mound has risen through both layers at its centre.
  EXPECT_GT(a.h(3, 3), layers[static_cast<std::size_t>(a.at(3, 3))].layer_bottom[0]);
}

// Three flat cells of pores 0.4 with their tables at 10 m under wet soil:
// 10 cm already saturated (0.40), then 20 cm at 0.30 and 30 cm at 0.20 up
// to the ground at 10.6 m. 3 cm of recharge passes the saturated 10 cm
// for nothing, fills the 20 cm at 0.10 (2 cm) and the last cm at 0.20 (5
// cm): the table stands at 10.35 m, and the saturated zone holds 0.4 x
// 0.35 = 14 cm, the 3 cm it received and the 11 cm of soil water in those
// depths (4 + 6 + 1), which the solve reports it took in. One solve and
// four that share the recharge give the same table: the room is the
// soil's, not the solves'. Without the soil the table would rise 3 / 0.4 =
// 7.5 cm. A table drawn down by a well drains the pores below it, 0.4.
TEST(Aquifer, ATableRisingIntoWetSoilFillsTheRoomTheSoilsWaterLeaves) {
  const struct {
    const char* what;
    int solves;
    bool soil;
    double head, taken;  // m
  } cases[] = {
      {"one solve", 1, true, 10.35, 0.11},
      {"four solves", 4, true, 10.35, 0.11},
      {"without the soil", 1, false, 10.075, 0.0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    test_aquifer a(1, 3, 10.0, 0.0, 10.0, 1e-4, 0.4);
    unsaturated_cover cover;
    cover.prepare(3, 3);
    for (int c = 1; c <= 3; ++c) {
      for (const auto& [top, theta] : {std::pair{10.1, 0.40}, {10.3, 0.30}, {10.6, 0.20}}) {
        cover.top.push_back(top);
        cover.content.push_back(theta);
      }
      cover.close(c, 10.0);
      a.recharge[static_cast<std::size_t>(c)] = 0.03;
    }
    double taken = 0.0, received = 0.0;
    for (int j = 0; j < k.solves; ++j) {
      aquifer_domain d = a.domain();
      if (k.soil) d.cover = &cover;
      d.tolerance = 1e-13;
      d.share = 1.0 / (k.solves - j);
      const aquifer_result r = a.solver.solve(d, 3600.0 / k.solves);
      ASSERT_EQ(r.status, aquifer_status::ok);
      received += r.books.recharge;
      taken += cover.taken[1];
    }
    for (int c = 1; c <= 3; ++c) EXPECT_NEAR(a.h(1, c), k.head, 1e-9);
    EXPECT_NEAR(taken, k.taken, 1e-9);
    EXPECT_NEAR(received, 3 * 0.03 * 100.0, 1e-9);
  }
  // Falling, the cover plays no part.
  test_aquifer a(1, 1, 10.0, 0.0, 10.0, 1e-4, 0.4);
  unsaturated_cover cover;
  cover.prepare(1, 1);
  cover.top.push_back(10.6);
  cover.content.push_back(0.2);
  cover.close(1, 10.0);
  a.well[1] = 0.02 / 3600.0;  // m/s: 2 cm of water in the hour
  aquifer_domain d = a.domain();
  d.cover = &cover;
  d.tolerance = 1e-13;
  ASSERT_EQ(a.solver.solve(d, 3600.0).status, aquifer_status::ok);
  EXPECT_NEAR(a.h(1, 1), 10.0 - 0.02 / 0.4, 1e-9);
  EXPECT_EQ(cover.taken[1], 0.0);
}

// A Richards column over one cell (ground 100 m, layers of 10 cm at 2 cm
// spacing and pores 0.45, 20 cm at 5 cm and 0.42, 30 cm at 10 cm and 0.40,
// the aquifer below at 0.40), its table at 99.5 m under soil at the water
// content 0.30. 2.5 cm of recharge fills the 20 cm up to the second layer
// at 0.10 (2 cm) and 0.5 cm more at 0.12 there: the table stands at 99.7 +
// 0.005 / 0.12 m. The column laid out again down to it gives up exactly the
// water the solve took in, 0.30 x 24.17 cm, so nothing is left to hand to
// the next solve; four solves, each with the column laid out again after
// it and its cover taken afresh, end on the same table.
TEST(Aquifer, AColumnGivesUpTheWaterTheRisingTableTookIn) {
  storage_profile pores;
  pores.bounds = 3;
  const double bottoms[3] = {99.9, 99.7, 99.4}, phi[4] = {0.45, 0.42, 0.40, 0.40};
  std::copy(std::begin(bottoms), std::end(bottoms), pores.layer_bottom);
  std::copy(std::begin(phi), std::end(phi), pores.porosity);
  const std::vector<storage_profile> profile(2, pores);
  const double table = 99.7 + 0.005 / 0.12;
  for (const int solves : {1, 4}) {
    SCOPED_TRACE(solves);
    testing::column col;
    col.step(99.5);
    for (int j = 1; j < col.n; ++j) col.TH[static_cast<std::size_t>(j)] = 0.30;
    const double soil_before = col.water();
    test_aquifer a(1, 1, 10.0, 80.0, 99.5, 1e-4, 0.40);
    a.recharge[1] = 0.025;
    unsaturated_cover cover;
    cover.prepare(1, testing::column::capacity);
    double given = 0.0;  // cm
    for (int j = 0; j < solves; ++j) {
      cover.clear();
      cover_column(cover, 1, 100.0, col.DZ.data(), col.TH.data(), col.n);
      aquifer_domain d = a.domain();
      d.profile = profile.data();
      d.cover = &cover;
      d.tolerance = 1e-13;
      d.share = 1.0 / (solves - j);
      ASSERT_EQ(a.solver.solve(d, 3600.0 / solves).status, aquifer_status::ok);
      const soil_column_result r = col.step(a.h(1, 1));
      ASSERT_EQ(r.status, soil_column_status::ok);
      EXPECT_NEAR(r.released, cover.taken[1] * 100.0, 1e-9);
      given += r.released;
    }
    EXPECT_NEAR(a.h(1, 1), table, 1e-9);
    EXPECT_NEAR(given, 0.30 * (table - 99.5) * 100.0, 1e-9);
    EXPECT_NEAR(soil_before - col.water(), given, 1e-9);
  }
}

}  // namespace
}  // namespace nivra
