// The Richards columns against independent references: the hydraulic
// functions by hand, the infiltration test 1 of Celia, Bouloutas and Zarba
// (1990, Water Resources Research 26:1483) against their own
// mass-conservative scheme on a dense grid, steady free drainage against
// Darcy's law at unit gradient, and a hydrostatic column that stays still.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/process.h"
#include "soil/richards.h"
#include "soil/richards_fixture.h"
#include "soil/soil_column.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::haverkamp_sand;
using testing::richards_cells;

constexpr int bc = retention_brooks_corey;
constexpr int hv = retention_haverkamp;

// Brooks-Corey: Ks 10 cm/h, saturated 0.45, residual 0.05, pore index 0.5,
// bubbling head -20 cm.
richards_node loam() { return brooks_corey_node(10.0, 0.45, 0.05, 0.5, -20.0); }

TEST(RichardsFunctions, TheBrooksCoreyBranchesMeetAtTheBreakPoint) {
  const richards_node s = loam();
  // Se_b = 2/(2 + 0.5) = 0.8: h_b = -20 x 0.8^(-2) = -31.25 cm, theta_b =
  // 0.05 + 0.4 x 0.8 = 0.37.
  EXPECT_DOUBLE_EQ(s.h_b, -31.25);
  EXPECT_NEAR(s.theta_b, 0.37, 1e-15);
  const double eps = 1e-7;
  const double below = moisture_from_head(s, bc, s.h_b - eps), above = moisture_from_head(s, bc, s.h_b + eps);
  EXPECT_NEAR(below, 0.37, 1e-8);
  EXPECT_NEAR(above, 0.37, 1e-8);
  // Both branches of the inverse give h_b at theta_b.
  EXPECT_NEAR(head_from_moisture(s, bc, 0.37 + 1e-12, 0.0), -31.25, 1e-6);
  EXPECT_NEAR(head_from_moisture(s, bc, 0.37 - 1e-12, 0.0), -31.25, 1e-6);
  // Conductivity 0.8^7 and capacity lambda/|h| (theta - theta_r) = 0.5 /
  // 31.25 x 0.32 from either side.
  const conductivity_capacity k1 = conductivity_and_capacity(s, bc, s.h_b - eps, below);
  const conductivity_capacity k2 = conductivity_and_capacity(s, bc, s.h_b + eps, above);
  EXPECT_NEAR(k1.kr, std::pow(0.8, 7.0), 1e-7);
  EXPECT_NEAR(k2.kr, std::pow(0.8, 7.0), 1e-7);
  EXPECT_NEAR(k1.c, 0.5 / 31.25 * 0.32, 1e-9);
  EXPECT_NEAR(k2.c, 0.5 / 31.25 * 0.32, 1e-9);
  // The cap reaches saturation at h = 0.
  EXPECT_NEAR(moisture_from_head(s, bc, -1e-9), 0.45, 1e-12);
  EXPECT_EQ(head_from_moisture(s, bc, 0.45, -5.0), 0.0);
}

TEST(RichardsFunctions, ANonNegativeHeadIsSaturatedInBothModels) {
  const struct {
    richards_node s;
    int model;
  } cases[] = {{loam(), bc}, {haverkamp_sand(), hv}};
  for (const auto& k : cases) {
    for (const double h : {0.0, 3.0, 250.0}) {
      EXPECT_EQ(moisture_from_head(k.s, k.model, h), k.s.theta_s);
      const conductivity_capacity kc = conductivity_and_capacity(k.s, k.model, h, k.s.theta_s);
      EXPECT_EQ(kc.kr, 1.0);
      EXPECT_EQ(kc.c, 0.0);
    }
  }
}

TEST(RichardsFunctions, HaverkampAtThreeHeadsByHand) {
  // Celia's form: theta = 0.075 + 0.212 alpha / (alpha + |h|^3.96), dtheta/dh
  // = 0.212 alpha 3.96 |h|^2.96 / (alpha + |h|^3.96)^2, Kr = A / (A + |h|^4.74).
  const richards_node s = haverkamp_sand();
  const double alpha = 1.611e6, A = 1.175e6;
  for (const double h : {-10.0, -30.0, -100.0}) {
    SCOPED_TRACE(h);
    const double p = std::pow(-h, 3.96);
    const double theta = 0.075 + 0.212 * alpha / (alpha + p);
    EXPECT_NEAR(moisture_from_head(s, hv, h), theta, 1e-12);
    const conductivity_capacity kc = conductivity_and_capacity(s, hv, h, theta);
    EXPECT_NEAR(kc.kr, A / (A + std::pow(-h, 4.74)), 1e-12);
    EXPECT_NEAR(kc.c, 0.212 * alpha * 3.96 * std::pow(-h, 2.96) / ((alpha + p) * (alpha + p)), 1e-12);
    EXPECT_NEAR(head_from_moisture(s, hv, theta, 0.0), h, 1e-9 * -h);
  }
}

// Celia, Bouloutas and Zarba's modified Picard scheme for the mixed form
// of Richards' equation, node-centred with nodes on both boundaries, on the
// dense grid of their reference solution: the heads at depths 0, dz, ...,
// 40 cm after 360 s with the surface held at -20.7 cm and the bottom at
// -61.5 cm. Its front (-41.1 cm) stands at 15.7 cm.
std::vector<double> celia_dense_profile(double dz, double dt) {
  const richards_node s = haverkamp_sand();
  const int N = static_cast<int>(std::lround(40.0 / dz));
  std::vector<double> h(N + 1, -61.5), theta(N + 1), theta_old(N + 1), a(N + 1), b(N + 1), c(N + 1), r(N + 1),
      k(N + 1);
  h[0] = -20.7;
  auto K = [&](double x) { return s.ks * conductivity_and_capacity(s, hv, x, 0.0).kr; };
  for (int step = 0; step < static_cast<int>(std::lround(360.0 / dt)); ++step) {
    for (int i = 0; i <= N; ++i) theta_old[i] = moisture_from_head(s, hv, h[i]);
    const double T = dt / 3600.0;
    for (int iter = 0; iter < 100; ++iter) {
      for (int i = 0; i <= N; ++i) {
        theta[i] = moisture_from_head(s, hv, h[i]);
        k[i] = K(h[i]);
      }
      for (int i = 1; i < N; ++i) {
        const double kp = 0.5 * (k[i] + k[i + 1]), km = 0.5 * (k[i] + k[i - 1]);
        const double C = conductivity_and_capacity(s, hv, h[i], theta[i]).c;
        a[i] = -km / (dz * dz);
        c[i] = -kp / (dz * dz);
        b[i] = C / T + (kp + km) / (dz * dz);
        r[i] = (kp * ((h[i + 1] - h[i]) / dz - 1.0) - km * ((h[i] - h[i - 1]) / dz - 1.0)) / dz -
               (theta[i] - theta_old[i]) / T;
      }
      for (int i = 2; i < N; ++i) {
        const double w = a[i] / b[i - 1];
        b[i] -= w * c[i - 1];
        r[i] -= w * r[i - 1];
      }
      r[N - 1] /= b[N - 1];
      for (int i = N - 2; i >= 1; --i) r[i] = (r[i] - c[i] * r[i + 1]) / b[i];
      double most = 0.0;
      for (int i = 1; i < N; ++i) {
        h[i] += r[i];
        most = std::max(most, std::fabs(r[i]));
      }
      if (most < 1e-7) break;
    }
  }
  return h;
}

// Depth (cm) where a profile of (depth, head) points first falls to head.
double front_depth(const std::vector<double>& z, const std::vector<double>& h, double head) {
  for (std::size_t i = 1; i < h.size(); ++i)
    if (h[i] <= head) return z[i - 1] + (head - h[i - 1]) / (h[i] - h[i - 1]) * (z[i] - z[i - 1]);
  return z.back();
}

TEST(RichardsColumn, CeliaTestOneWettingFrontAndMassBalance) {
  // 40 nodes of 1 cm over a bottom node of no thickness that holds
  // -61.5 cm at 40 cm; the surface held at -20.7 cm; 360 s.
  richards_cells k(1, 41, haverkamp_sand(), 1.0, hv);
  k.soil->DZ(1, 41) = 0.0;
  k.set_heads([](int) { return -61.5; });
  richards_domain d = k.domain();
  d.fixed_bottom = true;
  d.hold_top_head = true;
  d.top_head = -20.7;
  d.k_mean = richards_mean_arithmetic;
  d.weight = 0.5;
  const double before = k.water(1);
  const richards_result r = solve_soil_column(d, 360.0);
  ASSERT_EQ(r.status, richards_status::ok);

  std::vector<double> z{0.0}, h{-20.7};
  for (int j = 1; j <= 40; ++j) {
    z.push_back(j - 0.5);
    h.push_back(k.soil->richards.PHEAD(1, j));
  }
  const double dense = 0.1;
  const std::vector<double> ref = celia_dense_profile(dense, 1.0);
  std::vector<double> zr;
  for (std::size_t i = 0; i < ref.size(); ++i) zr.push_back(i * dense);
  const double mid = 0.5 * (-20.7 - 61.5);
  const double ours = front_depth(z, h, mid), theirs = front_depth(zr, ref, mid);
  EXPECT_GT(theirs, 15.0);
  EXPECT_LT(theirs, 16.5);
  EXPECT_NEAR(ours, theirs, 1.0) << "front of the dense reference at " << theirs << " cm";

  // Mass ratio: the water the column gained over the net inflow through
  // its two boundaries.
  const double gained = k.water(1) - before;
  const double inflow = k.soil->cum_infil[1] * 100.0 - k.soil->unsat_down_flux[1];
  EXPECT_GT(gained, 1.0);
  EXPECT_NEAR(gained / inflow, 1.0, 0.01);
}

TEST(RichardsColumn, SteadyFreeDrainageRunsAtUnitGradient) {
  // 1 cm/h onto a 100 cm column of the Brooks-Corey loam draining freely:
  // at steady state K(h) = 1 cm/h, (h/-20)^-3.5 = 0.1, h = -38.61 cm,
  // theta = 0.05 + 0.4 (20/38.61)^0.5 = 0.3379.
  richards_cells k(1, 51, loam(), 2.0, bc);
  k.set_heads([](int) { return -100.0; });
  const richards_domain d = k.domain();
  for (int hour = 0; hour < 300; ++hour) {
    k.depth[1] = 0.01;  // 1 cm of water for the hour
    ASSERT_EQ(solve_soil_column(d, 3600.0).status, richards_status::ok);
    EXPECT_LT(k.depth[1], 1e-12);
  }
  const double h_mid = k.soil->richards.PHEAD(1, 25), theta_mid = k.soil->THETA(1, 25);
  EXPECT_NEAR(h_mid, -20.0 * std::pow(10.0, 1.0 / 3.5), 0.1);
  EXPECT_NEAR(theta_mid, 0.05 + 0.4 * std::sqrt(20.0 / 38.61), 0.002);
  EXPECT_NEAR(k.soil->richards.WATFLUX(1, 51), 1.0, 0.01);
}

TEST(RichardsColumn, AHydrostaticColumnStaysStill) {
  // 20 nodes of 5 cm over a water table held at the bottom node: heads the
  // distance above it, no supply.
  const int n = 21;
  richards_cells k(1, n, loam(), 5.0, bc);
  k.set_heads([&](int j) { return -(n - j) * 5.0; });
  richards_domain d = k.domain();
  d.fixed_bottom = true;
  const double before = k.water(1);
  for (int hour = 0; hour < 24; ++hour) ASSERT_EQ(solve_soil_column(d, 3600.0).status, richards_status::ok);
  double largest = 0.0;
  for (int j = 1; j <= n; ++j) largest = std::max(largest, std::fabs(k.soil->richards.WATFLUX(1, j)));
  EXPECT_LT(largest, 1e-6);
  EXPECT_NEAR(k.water(1), before, 1e-9);
  EXPECT_NEAR(k.soil->richards.PHEAD(1, 1), -100.0, 1e-6);
}

TEST(RichardsColumn, FrozenNodesConductByTheirLiquidWaterFactor) {
  // Two columns of the loam under 1 cm of ponded water for an hour: the
  // first thawed (factor 1), the second frozen through (factor 0) but its
  // third node half thawed. Every node's relative conductivity is the
  // thawed one cut to min(Kr, exp(w ln Kr + (1 - w) ln 1e-6)); the frozen
  // column keeps nearly all of its pond.
  const int n = 21;
  richards_cells k(2, n, loam(), 5.0, bc);
  k.set_heads([](int) { return -100.0; });
  array2d<double> unfrozen(2, n + 1);
  unfrozen.fill(1.0);
  for (int j = 1; j <= n; ++j) unfrozen(2, j) = j == 3 ? 0.5 : 0.0;
  richards_domain d = k.domain();
  d.unfrozen = &unfrozen;
  k.depth[1] = k.depth[2] = 0.01;
  ASSERT_EQ(solve_soil_column(d, 3600.0).status, richards_status::ok);
  EXPECT_LT(k.depth[1], 1e-12);
  EXPECT_GT(k.depth[2], 0.0099);
  for (int c = 1; c <= 2; ++c)
    for (int j = 1; j <= n; ++j) {
      const richards_columns& rc = k.soil->richards;
      const double kr = conductivity_and_capacity(rc.soil(c, j), bc, rc.PHEAD(c, j), k.soil->THETA(c, j)).kr;
      const double w = unfrozen(c, j);
      const double expect = std::min(kr, std::exp(w * std::log(kr) + (1.0 - w) * std::log(1e-6)));
      EXPECT_NEAR(rc.KHEAD(c, j), expect, 1e-12 * std::max(kr, 1e-12)) << "cell " << c << " node " << j;
    }
  // Half thawed at -100 cm: Kr = (100/20)^-3.5 = 3.5777e-3 becomes
  // sqrt(3.5777e-3 x 1e-6) = 5.98e-5 (the node barely moved in the hour).
  EXPECT_NEAR(k.soil->richards.KHEAD(2, 3), std::sqrt(std::pow(5.0, -3.5) * 1e-6), 2e-6);
}

TEST(RichardsColumn, AStaticTableDrainsTheColumnToTheHydrostaticProfile) {
  // 1.2 m of the loam in 5 cm nodes over a table held 1 m below the ground
  // (the column cut at it, the soil at its table water content of 0.40,
  // wetter than equilibrium). With nothing on the surface the column
  // drains into the table until every head is minus its height above the
  // table (Darcy: no flow at h = -z), to 1 mm; what it lost went through
  // the table node (less what holding heads and contents consistent added).
  const int nodes = 25;
  richards_cells k(1, nodes, loam(), 5.0, bc);
  soil_state& s = *k.soil;
  for (int j = 0; j <= nodes; ++j) s.THETA(1, j) = 0.40;
  soil_column_cell cell;
  cell.numcells = &s.numcells[1];
  cell.capacity = nodes;
  cell.DZ = s.DZ[1].data();
  cell.THETA = s.THETA[1].data();
  cell.PHEAD = s.richards.PHEAD[1].data();
  cell.soil = s.richards.soil[1].data();
  cell.ground = 10.0;
  cell.table = 9.0;
  ASSERT_EQ(cut_column_at_table(cell, 120.0, true).status, soil_column_status::ok);
  ASSERT_EQ(s.numcells[1], 21);
  for (int j = 1; j <= 20; ++j) s.richards.PHEAD(1, j) = head_from_moisture(loam(), bc, 0.40, 0.0);
  for (int j = 0; j <= 21; ++j) {
    const conductivity_capacity kc = conductivity_and_capacity(loam(), bc, s.richards.PHEAD(1, j), s.THETA(1, j));
    s.richards.KHEAD(1, j) = kc.kr;
    s.richards.WATCAP(1, j) = kc.c;
  }
  richards_domain d = k.domain();
  d.fixed_bottom = true;
  const double before = k.water(1);
  double drained = 0.0;
  for (int hour = 0; hour < 2000; ++hour) {
    const richards_result r = solve_soil_column(d, 3600.0);
    ASSERT_EQ(r.status, richards_status::ok);
    drained += r.drained - r.adjustment;
  }
  for (int j = 1; j <= 20; ++j)
    EXPECT_NEAR(s.richards.PHEAD(1, j), -(100.0 - 5.0 * j + 2.5), 0.1) << "node " << j;
  EXPECT_GT(before - k.water(1), 1.0);
  EXPECT_NEAR(drained / k.area * 100.0, before - k.water(1), 1e-6 * before);
}

TEST(RichardsColumn, EveryCallBooksTheWaterItMoves) {
  // Columns under a pond deeper than the soil takes (the top ponds, then
  // saturates and dries), under a light supply, and drying by evaporation
  // and root uptake: the soil's water changes by the infiltration less the
  // soil's evaporation and the drainage, plus what the consistency of heads
  // and contents made; the surface loses the infiltration and its own
  // evaporation. With buildings on part of the cells (OVR_FLOW_BLOCK) the
  // pond stands on the open part only, and the same holds of its water.
  for (const double share : {0.0, 0.4}) {
    SCOPED_TRACE(share);
    richards_cells k(3, 31, loam(), 2.0, bc);
    array1d<double> blocked(3);
    blocked.fill(share);
    blocked[3] = 0.0;
    auto open = [&](int c) { return 1.0 - blocked[c]; };
    k.set_heads([](int j) { return -40.0 - j; });
    for (int c = 1; c <= 3; ++c) k.soil->root_depth[c] = 0.3;
    richards_domain d = k.domain();
    d.long_term = true;
    if (share > 0.0) d.blocked = blocked.data();
    double adjustment = 0.0;
    const double dry_start = k.water(3);
    bool ponded = false;
    for (int hour = 0; hour < 48; ++hour) {
      const bool storm = hour < 6;
      k.depth[1] = storm ? k.depth[1] + 0.2 : k.depth[1];    // 20 cm/h for six hours
      k.depth[2] = storm ? k.depth[2] + 0.002 : k.depth[2];  // 2 mm/h
      for (int c = 1; c <= 3; ++c) {
        k.rain[c] = storm && c < 3 ? 1.0 : 0.0;
        k.pet[c] = 1e-5;
        k.aet[c] = 0.8e-5;
      }
      double soil = 0.0, surface = 0.0, infil = 0.0;
      for (int c = 1; c <= 3; ++c) {
        soil += k.water(c);
        surface += k.depth[c] * open(c);
        infil += k.soil->cum_infil[c];
      }
      const richards_result r = solve_soil_column(d, 3600.0);
      ASSERT_EQ(r.status, richards_status::ok);
      double soil_after = 0.0, surface_after = 0.0, infil_after = 0.0;
      for (int c = 1; c <= 3; ++c) {
        soil_after += k.water(c);
        surface_after += k.depth[c] * open(c);
        infil_after += k.soil->cum_infil[c];
      }
      const double a = k.area;
      const double infiltrated = (infil_after - infil) * a;
      EXPECT_NEAR((soil_after - soil) / 100.0 * a, infiltrated - r.soil_evaporation - r.drained + r.adjustment, 1e-9);
      EXPECT_NEAR((surface_after - surface) * a, -infiltrated - r.ponded_evaporation, 1e-9);
      EXPECT_NEAR(r.evaporated * a, r.ponded_evaporation + r.soil_evaporation, 1e-9);
      adjustment += std::fabs(r.adjustment);
      ponded = ponded || k.soil->bound_type[1] != 1;
    }
    // The first column ponded and the third dried.
    EXPECT_TRUE(ponded);
    EXPECT_GT(k.soil->cum_infil[1], 0.3);
    EXPECT_LT(k.water(3), dry_start - 1.0);
  }
}

// A column a storm left saturated, its heads above equilibrium, over a
// table held at its bottom node 95 cm down (the loam below 40 cm conducting
// a twentieth as much): it drains for an hour into the table, by itself
// and with the roots of its upper 30 cm drawing 0.04 cm/h. The water it
// loses leaves through the table node and the roots (all of it booked),
// not through holding heads and contents consistent (a saturated node has
// no capacity, so a head solution alone would drain it without a flux);
// and the hour's drainage converges as the sub-steps halve.
TEST(RichardsColumn, ASaturatedColumnDrainsThroughItsFacesAndRoots) {
  for (const bool roots : {false, true}) {
    SCOPED_TRACE(roots ? "with roots" : "no roots");
    double drained[2] = {};
    for (int half = 0; half < 2; ++half) {
      const int n = 21;
      richards_cells k(1, n, loam(), 5.0, bc);
      for (int j = 9; j <= n; ++j) k.soil->richards.soil(1, j).ks = 0.5;
      k.set_heads([&](int j) { return j < n ? (j - 0.5) * 5.0 : 2.5; });
      k.soil->root_depth[1] = 0.3;
      k.pet[1] = k.aet[1] = roots ? 0.04 / 3600.0 : 0.0;
      richards_domain d = k.domain();
      d.fixed_bottom = true;
      d.long_term = roots;
      d.dtheta_max = half ? 0.00125 : 0.0025;
      const double before = k.water(1);
      const richards_result r = solve_soil_column(d, 3600.0);
      ASSERT_EQ(r.status, richards_status::ok);
      const double lost = (before - k.water(1)) / 100.0 * k.area;  // m3
      EXPECT_GT(lost, 0.005 * k.area);                             // over 5 mm
      EXPECT_NEAR(lost, r.drained + r.soil_evaporation - r.adjustment, 1e-9);
      EXPECT_LT(std::fabs(r.adjustment), 0.01 * lost);
      if (roots) EXPECT_GT(r.soil_evaporation, 0.5 * 0.04 / 100.0 * k.area);
      drained[half] = r.drained;
    }
    EXPECT_NEAR(drained[0], drained[1], 0.02 * drained[1]);
  }
}

// One metre of the hillside's layered soils (examples/longterm_richards:
// 10 cm of 2 cm nodes, 30 cm of 5 cm nodes, 60 cm of 10 cm nodes over the
// bottom node; the faces between layers at the harmonic mean of their
// conductivities), every node at water content theta, or theta_top in its
// top two nodes.
struct hillside_layer {
  double ks, theta_s, theta_r, lambda, hb, thick, dz;
};
richards_cells hillside_column(bool silt, double theta, double theta_top) {
  const std::vector<hillside_layer> layers =
      silt ? std::vector<hillside_layer>{{0.6, 0.501, 0.015, 0.211, 20.8, 10, 2},
                                         {0.4, 0.501, 0.015, 0.211, 20.8, 30, 5},
                                         {0.2, 0.48, 0.015, 0.2, 22.0, 60, 10}}
           : std::vector<hillside_layer>{{2.0, 0.453, 0.041, 0.322, 14.7, 10, 2},
                                         {1.2, 0.453, 0.041, 0.322, 14.7, 30, 5},
                                         {0.6, 0.44, 0.041, 0.3, 16.0, 60, 10}};
  std::vector<richards_node> nodes;
  std::vector<double> dz;
  for (const hillside_layer& l : layers) {
    const richards_node node = brooks_corey_node(l.ks, l.theta_s, l.theta_r, l.lambda, l.hb);
    for (int i = 0; i < static_cast<int>(std::lround(l.thick / l.dz)); ++i) {
      nodes.push_back(node);
      dz.push_back(l.dz);
    }
  }
  const int n = static_cast<int>(nodes.size()) + 1;
  richards_cells k(1, n, nodes.front(), 2.0, bc);
  soil_state& s = *k.soil;
  for (int j = 1; j <= n; ++j) {
    s.richards.soil(1, j) = nodes[std::min<std::size_t>(j, nodes.size()) - 1];
    s.DZ(1, j) = dz[std::min<std::size_t>(j, dz.size()) - 1];
  }
  s.richards.soil(1, 6).ks = (2.0 + 5.0) / (2.0 / layers[0].ks + 5.0 / layers[1].ks);
  s.richards.soil(1, 12).ks = (5.0 + 10.0) / (5.0 / layers[1].ks + 10.0 / layers[2].ks);
  for (int j = 0; j <= n; ++j) {
    const richards_node& node = s.richards.soil(1, std::max(j, 1));
    const double th = j <= 2 ? theta_top : theta;
    s.THETA(1, j) = th;
    s.richards.PHEAD(1, j) = head_from_moisture(node, bc, th, 0.0);
    const conductivity_capacity kc = conductivity_and_capacity(node, bc, s.richards.PHEAD(1, j), th);
    s.richards.KHEAD(1, j) = kc.kr;
    s.richards.WATCAP(1, j) = kc.c;
  }
  return k;
}

// A storm of 18, 14 and 6 mm/h on one cell of the hillside at a model step
// of `step` seconds: each step's rain lands on the surface, the column
// takes what it takes, and the water left on the surface runs off as from a
// linear store of a minute, exp(-step / 60) of it staying. What entered
// the column (cm) and what ran off, and the balance of the column and the
// surface, closed.
struct storm_result {
  double infiltrated = 0.0, runoff = 0.0;
};
storm_result storm_on_column(richards_cells& k, double step, double runoff_time = 60.0) {
  richards_domain d = k.domain();
  storm_result r;
  const double water = k.water(1);
  const long steps = std::lround((3 * 3600.0 + 1800.0) / step);
  double drained = 0.0, made = 0.0;  // m3
  for (long i = 0; i < steps; ++i) {
    const int hour = static_cast<int>(i * step / 3600.0);
    const double rate = hour == 0 ? 18.0 : hour == 1 ? 14.0 : hour == 2 ? 6.0 : 0.0;  // mm/h
    k.rain[1] = rate;
    k.depth[1] += rate / 1000.0 * step / 3600.0;
    const richards_result res = solve_soil_column(d, step);
    EXPECT_EQ(res.status, richards_status::ok);
    drained += res.drained;
    made += res.adjustment;
    const double off = k.depth[1] * (1.0 - std::exp(-step / runoff_time));
    k.depth[1] -= off;
    r.runoff += off * 100.0;
  }
  r.infiltrated = k.soil->cum_infil[1] * 100.0;
  EXPECT_NEAR(k.water(1) - water, r.infiltrated + (made - drained) / k.area * 100.0, 1e-6 * r.infiltrated);
  EXPECT_LT(std::fabs(made), 1e-3 * r.infiltrated / 100.0 * k.area);
  EXPECT_NEAR(r.infiltrated + r.runoff + k.depth[1] * 100.0, 3.8, 1e-9);
  return r;
}

// Rain on a dry top: the sandy loam's top nodes dried to 0.08 over a
// column at 0.2 take the storm, whose 18 mm/h is below their saturated
// conductivity (20 mm/h): the rain enters node 1 as a flux, and the top
// ponds only once node 1 is full (here only where the wetting front
// reaches the slower second layer, for under 1 % of the rain). A surface
// that ponded as soon as the rain passed what node 1's own conductivity, a
// millionth of the saturated one when dry, conducts from a saturated
// surface held the storm out: the column took none of it. The silt loam,
// whose 6 mm/h the storm exceeds, ponds and runs some of it off.
TEST(RichardsColumn, RainOnADryTopEntersTheSoilUntilItPonds) {
  for (const bool silt : {false, true}) {
    SCOPED_TRACE(silt ? "silt loam" : "sandy loam");
    richards_cells k = hillside_column(silt, silt ? 0.28 : 0.2, 0.08);
    const storm_result r = storm_on_column(k, 30.0);
    EXPECT_GT(r.infiltrated, silt ? 3.0 : 0.99 * 3.8);
    if (silt) EXPECT_GT(r.runoff, 0.1);
  }
}

// The column under a storm converges with the model step: the silt loam,
// wet, with its top dried, and under a pond ten times as slow to run off,
// takes in at steps of 30 s within 1 % of what it takes in at 1 s, its
// runoff within 0.6 % of the rain, and what it takes in grows
// monotonically as the step shrinks.
TEST(RichardsColumn, AStormsInfiltrationConvergesWithTheModelStep) {
  const struct {
    const char* name;
    double theta, theta_top, runoff_time;
  } cases[] = {{"wet", 0.3, 0.3, 60.0}, {"dry top", 0.28, 0.1, 60.0}, {"slow runoff", 0.3, 0.3, 600.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<storm_result> r;
    for (const double step : {30.0, 15.0, 7.5, 1.0}) {
      richards_cells k = hillside_column(true, c.theta, c.theta_top);
      r.push_back(storm_on_column(k, step, c.runoff_time));
    }
    const storm_result& fine = r.back();
    EXPECT_NEAR(r[0].infiltrated, fine.infiltrated, 0.01 * fine.infiltrated);
    EXPECT_NEAR(r[0].runoff, fine.runoff, 0.006 * 3.8);
    for (std::size_t i = 1; i < r.size(); ++i) EXPECT_GE(r[i].infiltrated, r[i - 1].infiltrated - 1e-9);
  }
}

// A call shorter than the five seconds a saturated top starts with (the
// last call having proposed a minute): a saturated column of the loam
// drains freely at its saturated conductivity, 10 cm/h, so a call of
// 3.75 s drains 10 x 3.75 / 3600 cm, not the third more of a first
// sub-step of 5 s reaching past the call.
TEST(RichardsColumn, ACallShorterThanTheFirstSubStepIntegratesItsOwnLength) {
  for (const double step : {3.75, 4.5, 30.0}) {
    SCOPED_TRACE(step);
    richards_cells k(1, 21, loam(), 5.0, bc);
    k.set_heads([](int) { return 0.0; });
    k.soil->dtr[1] = 60.0 / 3600.0;
    const richards_domain d = k.domain();
    ASSERT_EQ(solve_soil_column(d, step).status, richards_status::ok);
    // (Its heads falling from the bottom up, the column drains a little
    // slower as the call goes on.)
    EXPECT_NEAR(k.soil->unsat_down_flux[1], 10.0 * step / 3600.0, 0.02 * 10.0 * step / 3600.0);
  }
}

// Four columns of the loam under 1 cm of ponded water for an hour of a
// long-term run with the frozen-ground index on (threshold 83 degree-days):
// the first frozen past it (120), the second thawed (20), the third just at
// it (83, not past it), the fourth thawed but under snow. The frozen and
// the snowed columns rest: their pond, water and heads stay, and they report
// no rate (whatever the last step left); the others take the pond in. The
// hour's books close: the soil gains what the surface lost. In a storm run
// neither the index nor the snow keeps a column out.
TEST(RichardsColumn, FrozenOrSnowedCellsOfALongTermRunTakeNoWater) {
  for (const bool long_term : {true, false}) {
    SCOPED_TRACE(long_term ? "long-term run" : "storm run");
    const int n = 21;
    richards_cells k(4, n, loam(), 5.0, bc);
    k.set_heads([](int) { return -100.0; });
    array1d<double> index(4);
    array1d<int> snow(4);
    index[1] = 120.0;
    index[2] = 20.0;
    index[3] = 83.0;
    index[4] = 20.0;
    snow.fill(0);
    snow[4] = 1;
    richards_domain d = k.domain();
    d.long_term = long_term;
    d.frost_index = index.data();
    d.frost_limit = 83.0;
    d.snow_blocked = snow.data();
    double soil = 0.0, surface = 0.0;
    std::vector<double> heads_before;
    for (int c = 1; c <= 4; ++c) {
      k.depth[c] = 0.01;
      k.soil->inf_rate[c] = 3.0;  // left by an earlier step
      soil += k.water(c);
      surface += k.depth[c];
      heads_before.push_back(k.soil->richards.PHEAD(c, 1));
    }
    const richards_result r = solve_soil_column(d, 3600.0);
    ASSERT_EQ(r.status, richards_status::ok);
    double soil_after = 0.0, surface_after = 0.0, infiltrated = 0.0;
    for (int c = 1; c <= 4; ++c) {
      SCOPED_TRACE(c);
      soil_after += k.water(c);
      surface_after += k.depth[c];
      infiltrated += k.soil->cum_infil[c];
      const bool rests = long_term && (c == 1 || c == 4);
      if (rests) {
        EXPECT_EQ(k.depth[c], 0.01);
        EXPECT_EQ(k.soil->cum_infil[c], 0.0);
        EXPECT_EQ(k.soil->inf_rate[c], 0.0);
        EXPECT_EQ(k.soil->richards.PHEAD(c, 1), heads_before[c - 1]);
      } else {
        EXPECT_LT(k.depth[c], 1e-12);
        EXPECT_NEAR(k.soil->cum_infil[c], 0.01, 1e-12);
      }
    }
    EXPECT_NEAR(infiltrated, long_term ? 0.02 : 0.04, 1e-12);
    const double a = k.area;
    EXPECT_NEAR((surface - surface_after) * a, infiltrated * a, 1e-12);
    EXPECT_NEAR((soil_after - soil) / 100.0 * a, infiltrated * a - r.drained + r.adjustment, 1e-9);
  }
}

TEST(RichardsColumn, AnIterationLimitBelowOneIsTakenAsOne) {
  std::vector<double> heads[2];
  for (const int iter_max : {0, 1}) {
    richards_cells k(1, 11, loam(), 2.0, bc);
    k.set_heads([](int) { return -60.0; });
    k.depth[1] = 0.02;
    richards_domain d = k.domain();
    d.iter_max = iter_max;
    ASSERT_EQ(solve_soil_column(d, 1800.0).status, richards_status::ok);
    EXPECT_LT(k.depth[1], 0.02);
    for (int j = 1; j <= 10; ++j) heads[iter_max].push_back(k.soil->richards.PHEAD(1, j));
  }
  EXPECT_EQ(heads[0], heads[1]);
}

TEST(RichardsColumn, AColumnThatIsNotANumberStopsNamingItsCell) {
  reset_process_state();
  richards_cells k(3, 6, loam(), 2.0, bc);
  k.set_heads([](int) { return -50.0; });
  k.soil->richards.soil(2, 3).ks = std::nan("");
  k.depth[2] = 0.01;
  CaptureStdout();
  const richards_result r = solve_soil_column(k.domain(), 600.0);
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(r.status, richards_status::failed);
  EXPECT_EQ(r.cell, 2);
  EXPECT_NE(out.find("cell 2"), std::string::npos) << out;
}

}  // namespace
}  // namespace nivra
