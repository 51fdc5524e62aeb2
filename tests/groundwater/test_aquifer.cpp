// The head solver against analytic solutions (the Dupuit mound between two
// held heads, the Theis drawdown of a pumped well and the Thiem head of the
// well cell with Peaceman's radius) and against its own books: the water
// stored changes by exactly what crossed the aquifer's boundary.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "aquifer_fixture.h"

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

}  // namespace
}  // namespace nivra
