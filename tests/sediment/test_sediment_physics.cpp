// The sediment kernels against independent references: the fresh-water
// viscosity table, Stokes' law and Ferguson and Church's (2004) settling
// law, Yang's (1973) sand concentration worked out separately, the
// Engelund-Hansen formula in its textbook form, and hand calculations of
// the capacity bands, splash and flow detachment and the bed elevation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "quality/sediment/sediment_physics.h"

namespace sed = nivra::sediment;

namespace {

// One cell's sediment over n classes, 1-based, with its class table.
struct one_cell {
  int n;
  std::vector<double> diam, sg, soil, susp, dep, eroded, fs, fd, lifted;
  explicit one_cell(std::vector<double> d, std::vector<double> soil_fract)
      : n(static_cast<int>(d.size())), diam(n + 1), sg(n + 1, 2.65), soil(n + 1), susp(n + 1), dep(n + 1),
        eroded(n + 1), fs(n + 1), fd(n + 1), lifted(n + 1) {
    for (int k = 1; k <= n; ++k) {
      diam[k] = d[k - 1];
      soil[k] = soil_fract[k - 1];
    }
    sg[0] = 0.0;
  }
  sed::class_table table() const { return {n, diam.data(), sg.data()}; }
  sed::cell_sediment view() {
    return {soil.data(), susp.data(), dep.data(), eroded.data(), fs.data(), fd.data()};
  }
  sed::lifted_volumes lift() { return {lifted.data()}; }
};

double rel(double a, double b) { return std::abs(a - b) / std::abs(b); }

}  // namespace

// ------------------------------------------------------------ water and settling

TEST(SedimentSettling, ViscosityMatchesTheFreshWaterTable) {
  struct row {
    double t, nu;
  };
  for (const row& r : {row{0, 1.792e-6}, row{10, 1.306e-6}, row{20, 1.003e-6}, row{30, 0.801e-6}})
    EXPECT_LT(rel(sed::water_viscosity(r.t), r.nu), 0.01) << r.t << " C";
  // A temperature below freezing is taken as 0 C.
  EXPECT_EQ(sed::water_viscosity(-5.0), sed::water_viscosity(0.0));
}

TEST(SedimentSettling, StokesUpToATenthOfAMillimetre) {
  const double nu = 1.0e-6;
  for (double d_mm : {0.002, 0.01, 0.05, 0.1}) {
    const double d = d_mm / 1000.0;
    EXPECT_DOUBLE_EQ(sed::fall_velocity(d_mm, 2.65, nu), 1.65 * 9.81 * d * d / (18.0 * nu)) << d_mm;
  }
}

TEST(SedimentSettling, CoarserGrainsFollowJulienAndFergusonChurch) {
  const double nu = sed::water_viscosity(20.0);
  for (double d_mm : {0.2, 0.5, 1.0, 2.0}) {
    const double d = d_mm / 1000.0, rg = 1.65 * 9.81;
    // Julien (1995): w = 8 nu / d (sqrt(1 + 0.0139 D*^3) - 1).
    const double dstar = d * std::pow(rg / (nu * nu), 1.0 / 3.0);
    const double julien = 8.0 * nu / d * (std::sqrt(1.0 + 0.0139 * dstar * dstar * dstar) - 1.0);
    EXPECT_NEAR(sed::fall_velocity(d_mm, 2.65, nu), julien, 1e-12 * julien) << d_mm;
    // Ferguson and Church (2004), natural grains: C1 = 18, C2 = 1.
    const double fc = rg * d * d / (18.0 * nu + std::sqrt(0.75 * rg * d * d * d));
    EXPECT_LT(rel(sed::fall_velocity(d_mm, 2.65, nu), fc), 0.20) << d_mm;
  }
}

TEST(SedimentSettling, TheTwoLawsMeetWithAStepAtATenthOfAMillimetre) {
  const double nu = 1.0e-6;
  const double at = sed::fall_velocity(0.1, 2.65, nu);
  const double above = sed::fall_velocity(0.1 * (1.0 + 1e-12), 2.65, nu);
  EXPECT_DOUBLE_EQ(at, 1.65 * 9.81 * 1e-8 / 18e-6);  // Stokes at the edge itself
  // Just above, the other law: a few per cent lower, not a smoothed value.
  EXPECT_LT(above, at * 0.99);
  EXPECT_GT(above, at * 0.8);
}

// ------------------------------------------------------------ median diameter

TEST(SedimentMedian, LogInterpolationOnTheCumulativeShare) {
  // 10, 100 and 1000 micrometres with 60, 20 and 20 % of the parent soil:
  // 40 % is coarser than 100 um, 100 % coarser than 10 um, so the median
  // lies a sixth of the way (in log d) from 100 um toward 10 um.
  one_cell c({0.01, 0.1, 1.0}, {0.6, 0.2, 0.2});
  EXPECT_NEAR(sed::median_diameter(c.table(), c.view()), 100.0 * std::pow(10.0, -1.0 / 6.0), 1e-9);
  // The coarsest class alone reaching half: its diameter.
  one_cell coarse({0.01, 0.1, 1.0}, {0.2, 0.2, 0.6});
  EXPECT_DOUBLE_EQ(sed::median_diameter(coarse.table(), coarse.view()), 1000.0);
  // Suspended sediment takes precedence and its shares are written.
  c.susp[1] = 1.0;
  c.susp[3] = 3.0;
  EXPECT_DOUBLE_EQ(sed::median_diameter(c.table(), c.view()), 1000.0);
  EXPECT_DOUBLE_EQ(c.fs[3], 0.75);
  // Then the deposit.
  one_cell d({0.01, 0.1}, {0.5, 0.5});
  d.dep[1] = 3.0;
  d.dep[2] = 1.0;
  EXPECT_NEAR(sed::median_diameter(d.table(), d.view()), 100.0 * std::pow(0.1, 1.0 / 3.0), 1e-9);
  EXPECT_DOUBLE_EQ(d.fd[1], 0.75);
}

// Classes listed from the coarsest (sand, silt, clay) take their shares in
// the order of their sizes: the same soil gives the same median whatever
// the listing.
TEST(SedimentMedian, TheClassesAreTakenByTheirSizeNotTheirListing) {
  one_cell listed({1.0, 0.1, 0.01}, {0.2, 0.2, 0.6});
  const int by_size[4] = {0, 3, 2, 1};
  sed::class_table t = listed.table();
  t.by_size = by_size;
  EXPECT_NEAR(sed::median_diameter(t, listed.view()), 100.0 * std::pow(10.0, -1.0 / 6.0), 1e-9);
  one_cell coarse({1.0, 0.1, 0.01}, {0.6, 0.2, 0.2});
  sed::class_table tc = coarse.table();
  tc.by_size = by_size;
  EXPECT_DOUBLE_EQ(sed::median_diameter(tc, coarse.view()), 1000.0);
}

// ------------------------------------------------------------ transport capacity

namespace {
sed::capacity_flow sheet_flow(int option) {
  sed::capacity_flow f;
  f.option = option;
  f.slope = 0.04;
  f.depth = 0.01;
  f.q = 0.002;  // V = 0.2 m/s
  f.dt = 10.0;
  f.dx = 30.0;
  f.sed_K = 0.7;
  f.width = 0.9;
  return f;
}
}  // namespace

TEST(SedimentCapacity, EngelundHansenIsTheTextbookFormula) {
  // Two classes carried half and half: the capacity is the mean of the
  // classes' Engelund-Hansen fluxes 0.05 V^2 (hS)^1.5 / ((s - 1)^2 d sqrt g).
  one_cell c({0.2, 0.5}, {0.5, 0.5});
  c.sg[2] = 2.5;
  c.susp[1] = c.susp[2] = 0.01;
  const auto f = sheet_flow(1);
  const double v = 0.2, hs = 0.01 * 0.04, g = 9.81;
  const double q1 = 0.05 * v * v * std::pow(hs, 1.5) / (1.65 * 1.65 * 0.0002 * std::sqrt(g));
  const double q2 = 0.05 * v * v * std::pow(hs, 1.5) / (1.5 * 1.5 * 0.0005 * std::sqrt(g));
  const double expect = 0.5 * (q1 + q2) * f.dx * f.dt * f.sed_K * f.width;
  EXPECT_NEAR(sed::transport_capacity(f, c.table(), c.view()), expect, 1e-12 * expect);
}

TEST(SedimentCapacity, PowerLawOfDischargeAndSlope) {
  one_cell c({0.05}, {1.0});
  const auto f = sheet_flow(2);
  const double expect = std::pow(0.04, 1.6667) * 1.7e8 * std::pow(0.002, 2.035) * 0.7 * 10.0 * 30.0 / 2645.23;
  EXPECT_NEAR(sed::transport_capacity(f, c.table(), c.view()), expect, 1e-12 * expect);
}

TEST(SedimentCapacity, BandFormulasByMedianDiameter) {
  // One class per case, so the median is the class diameter; a median on a
  // band edge (33, 61, 122, 190 um) takes the band above it.
  const double m2v = 10.0 * 30.0 / 2645.23, wf = 0.9;
  const double V = 0.2, S = 0.04, h = 0.01, q = 0.002;
  struct band_case {
    double d_mm;
    double opt5_coef, opt5_s, opt5_q;
    double uc, coef6, exp6;
  };
  const std::array<band_case, 6> cases{{
      {0.020, 6.16595, 1.9, 1.1, 1.4, 0.035, 2.88},
      {0.033, 10.96478, 1.94, 1.19, 1.4, 0.052, 2.95},
      {0.061, 9.332543, 1.77, 1.79, 1.45, 0.029, 3.74},
      {0.100, 9.332543, 1.77, 1.79, 1.45, 0.029, 3.74},
      {0.122, 64.56542, 2.96, 2.18, 1.55, 0.024, 4.14},
      {0.190, 20.41738, 2.81, 3.1, 1.8, 0.0092, 5.06},
  }};
  for (const band_case& bc : cases) {
    one_cell c({bc.d_mm}, {1.0});
    const double d50 = bc.d_mm * 1000.0;
    // Option 3: unit stream power in cm/s.
    const double w = V * S * 100.0;
    const double e3 = (d50 < 122.0 ? 0.006025596 * std::pow(w, 1.52) * std::pow(d50, 0.59)
                                   : 0.316227766 * std::pow(w, 2.59) * std::pow(d50, -0.39)) /
                      10.0 * m2v * wf;
    // Option 4: stream power.
    const double W = std::pow(1000.0 * 9792.342 * h * S * V, 1.5);
    const double e4 = (d50 < 122.0 ? 1.977e-06 * std::pow(W, 1.044) * std::pow(d50, 0.478)
                                   : 4.6e-07 * std::pow(W, 1.75) * std::pow(d50, -0.56)) /
                      10.0 * m2v * wf;
    const double e5 = bc.opt5_coef * std::pow(S, bc.opt5_s) * std::pow(q * 1e4, bc.opt5_q) / 10.0 * m2v * wf;
    const double u = std::sqrt(9792.342 * h * S / 998.2) * 100.0;
    const double e6 = bc.coef6 * std::pow(u - bc.uc, bc.exp6) / 10.0 * m2v * wf;
    const double expect[4] = {e3, e4, e5, e6};
    for (int opt = 3; opt <= 6; ++opt) {
      const double got = sed::transport_capacity(sheet_flow(opt), c.table(), c.view());
      EXPECT_NEAR(got, expect[opt - 3], 1e-12 * expect[opt - 3]) << "option " << opt << " d " << bc.d_mm;
    }
  }
}

TEST(SedimentCapacity, EdgesOfTheFormulas) {
  one_cell c({0.05}, {1.0});
  // Any other option: the unit discharge itself.
  for (int opt : {0, 7}) EXPECT_DOUBLE_EQ(sed::transport_capacity(sheet_flow(opt), c.table(), c.view()), 0.002);
  // No flow or no water: nothing.
  for (int opt = 0; opt <= 7; ++opt) {
    auto dry = sheet_flow(opt);
    dry.depth = 0.0;
    EXPECT_EQ(sed::transport_capacity(dry, c.table(), c.view()), 0.0);
    auto still = sheet_flow(opt);
    still.q = 0.0;
    EXPECT_EQ(sed::transport_capacity(still, c.table(), c.view()), 0.0);
  }
  // Shear velocity below the critical one: option 6 gives nothing.
  auto slow = sheet_flow(6);
  slow.slope = 1e-5;
  EXPECT_EQ(sed::transport_capacity(slow, c.table(), c.view()), 0.0);
}

// ------------------------------------------------------------ detachment

TEST(SedimentDetachment, SplashByHand) {
  // 30 mm/h on a 30 m cell, K 60, 10 s, 1 mm of water (below the critical
  // depth 0.00124 x 30^0.182 = 2.30 mm): D = K a i^b dt dx^2 / 2645.23.
  const auto ab = sed::splash_coefficients_of(30.0);
  EXPECT_EQ(ab.a, 3.75e-08);
  EXPECT_EQ(ab.b, 1.5545);
  const double d = 0.00151407217606472;
  EXPECT_NEAR(sed::splash_volume(30.0, 0.001, 10.0, 30.0, 60.0, ab), d, 1e-14);
  // 5 mm of water damps it by exp(1 - h / hc).
  EXPECT_NEAR(sed::splash_volume(30.0, 0.005, 10.0, 30.0, 60.0, ab), 0.000469325242871758, 1e-14);

  // No deposit: the parent soil gives D split by its fractions.
  one_cell c({0.01, 0.5}, {0.3, 0.7});
  sed::splash_detach(2, c.view(), 30.0, 0.001, 10.0, 30.0, 60.0, ab, false, c.lift());
  EXPECT_NEAR(c.susp[1], 0.3 * d, 1e-15);
  EXPECT_NEAR(c.susp[2], 0.7 * d, 1e-15);
  EXPECT_NEAR(c.eroded[1] + c.eroded[2], -d, 1e-15);
  EXPECT_NEAR(c.lifted[0], d, 1e-15);

  // A deposit smaller than D: all of it plus D - L of parent soil.
  one_cell p({0.01, 0.5}, {0.3, 0.7});
  p.dep[1] = 0.0004;
  p.dep[2] = 0.0001;
  sed::splash_detach(2, p.view(), 30.0, 0.001, 10.0, 30.0, 60.0, ab, false, p.lift());
  EXPECT_NEAR(p.susp[1], 0.0004 + 0.3 * (d - 0.0005), 1e-15);
  EXPECT_NEAR(p.eroded[2], -0.7 * (d - 0.0005), 1e-15);
  EXPECT_EQ(p.dep[1], 0.0);

  // A deposit larger than D: only deposit, in proportion; no parent soil.
  one_cell l({0.01, 0.5}, {0.3, 0.7});
  l.dep[1] = 0.003;
  l.dep[2] = 0.001;
  sed::splash_detach(2, l.view(), 30.0, 0.001, 10.0, 30.0, 60.0, ab, false, l.lift());
  EXPECT_NEAR(l.susp[1], 0.75 * d, 1e-15);
  EXPECT_NEAR(l.dep[2], 0.001 - 0.25 * d, 1e-15);
  EXPECT_EQ(l.eroded[1], 0.0);

  // A channel cell with a small deposit lifts nothing at all.
  one_cell ch({0.01, 0.5}, {0.3, 0.7});
  ch.dep[1] = 0.0001;
  sed::splash_detach(2, ch.view(), 30.0, 0.001, 10.0, 30.0, 60.0, ab, true, ch.lift());
  EXPECT_EQ(ch.susp[1], 0.0);
  EXPECT_EQ(ch.dep[1], 0.0001);
  // No rain, no splash.
  EXPECT_EQ(sed::splash_volume(0.0, 0.001, 10.0, 30.0, 60.0, ab), 0.0);
}

TEST(SedimentDetachment, SplashBands) {
  struct band {
    double i, a, b;
  };
  for (const band& r : {band{0.0, 2.69e-08, 1.6896}, band{9.99, 2.69e-08, 1.6896}, band{10.0, 3.75e-08, 1.5545},
                        band{50.0, 6.12e-08, 1.4242}, band{100.0, 1.175e-07, 1.2821}}) {
    EXPECT_EQ(sed::splash_coefficients_of(r.i).a, r.a) << r.i;
    EXPECT_EQ(sed::splash_coefficients_of(r.i).b, r.b) << r.i;
  }
}

TEST(SedimentDetachment, FlowShearByHand) {
  // 1 cm of water on a 2 % slope over 900 m2 for 10 s: tau = 1.9585 N/m2;
  // the flow carries 0.002 of a capacity of 0.01 m3, R = 0.8.
  const sed::detach_params p{2e-05, 1.0, 0.5};
  const auto v = sed::flow_detach_volume(0.002, 0.01, 0.01, 0.02, 10.0, 900.0, p);
  EXPECT_NEAR(v.loose, 0.000106614339622642, 1e-17);
  EXPECT_NEAR(v.parent, 7.93955344525807e-05, 1e-17);

  one_cell c({0.01, 0.5}, {0.3, 0.7});
  c.susp[1] = 0.002;
  c.dep[2] = 0.00004;  // less than the loose demand
  sed::flow_detach(2, c.view(), 0.01, 0.02, 10.0, 900.0, p, 0.01, false, c.lift());
  const double e = (1.0 - 0.00004 / v.loose) * v.parent;
  EXPECT_NEAR(c.susp[2], 0.00004 + 0.7 * e, 1e-17);
  EXPECT_NEAR(c.eroded[1], -0.3 * e, 1e-17);
  EXPECT_EQ(c.dep[2], 0.0);

  // Carrying at capacity: nothing more is detached.
  const auto full = sed::flow_detach_volume(0.01, 0.01, 0.01, 0.02, 10.0, 900.0, p);
  EXPECT_EQ(full.loose, 0.0);
  // A zero coefficient lifts nothing and makes no 0/0.
  one_cell z({0.01}, {1.0});
  sed::flow_detach(1, z.view(), 0.01, 0.02, 10.0, 900.0, {0.0, 1.0, 0.0}, 0.01, false, z.lift());
  EXPECT_EQ(z.susp[1], 0.0);
  EXPECT_EQ(z.eroded[1], 0.0);
}

TEST(SedimentDetachment, TrapFraction) {
  EXPECT_EQ(sed::trap_fraction(30.0, 0.001, 0.0, 0.01), 1.0);  // standing water keeps nothing up
  EXPECT_EQ(sed::trap_fraction(30.0, 0.001, 0.2, 0.0), 1.0);   // a dry cell
  EXPECT_DOUBLE_EQ(sed::trap_fraction(30.0, 0.001, 0.2, 0.01), 1.0 - std::exp(-15.0));
}

// ------------------------------------------------------------ channel sand

TEST(SedimentYang, AgainstAnIndependentCalculation) {
  // Worked separately from Yang (1973): log Ct = 5.435 - 0.286 log(wd/nu)
  // - 0.457 log(u*/w) + (1.799 - 0.409 log(wd/nu) - 0.314 log(u*/w))
  // log(VS/w - Vcr S/w), with the fall velocity of the channels' sand.
  const double nu = 1.0e-6;
  struct row {
    double v, s, r, d, ppm;
  };
  // Re* 49.5 (the critical ratio from the shear Reynolds number), Re* 280
  // (ratio 2.05), and a slower flow of the first.
  for (const row& x : {row{1.0, 0.001, 1.0, 0.5, 595.290039881791}, row{1.5, 0.002, 1.0, 2.0, 1909.78323386339},
                       row{0.3, 0.001, 1.0, 0.5, 83.2106412452228}}) {
    const double w = sed::sand_fall_velocity(x.d, nu);
    EXPECT_NEAR(sed::yang_concentration(x.v, x.s, x.r, x.d, w, nu), x.ppm, 1e-9 * x.ppm) << x.v;
  }
  EXPECT_NEAR(sed::sand_fall_velocity(0.5, nu), 0.07034671505, 1e-10);
}

// The capacity of the channels' sand: Yang's concentration up to the onset
// of hyperconcentrated flow, sand at a fifth of the mixture's volume,
// 1e6 x 0.2 x 2.65 / (0.2 x 2.65 + 0.8) = 398,496.24 ppm. In a flow of
// 1.47 m/s on a slope of 0.02 with a hydraulic radius of 0.35 m at 15 C
// (worked separately from the same equation): sand of 0.0625 mm would
// reach 1,773,247 ppm, more sand than water, and is held at the limit;
// sand of 0.3 mm reaches 36,973 ppm, well below it.
TEST(SedimentYang, TheCapacityIsYangsUpToHyperconcentratedFlow) {
  EXPECT_NEAR(sed::sand_max_ppm, 398496.2406015, 1e-6);
  const double nu = sed::water_viscosity(15.0);
  EXPECT_NEAR(nu, 1.1332428e-6, 1e-12);
  const struct {
    double d, yang, capacity;
  } rows[] = {{0.0625, 1773247.2014, 398496.2406015}, {0.3, 36973.2896, 36973.2896}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.d);
    const double w = sed::sand_fall_velocity(r.d, nu);
    EXPECT_NEAR(sed::yang_concentration(1.47, 0.02, 0.35, r.d, w, nu), r.yang, 1e-4);
    EXPECT_NEAR(sed::sand_capacity_ppm(1.47, 0.02, 0.35, r.d, w, nu), r.capacity, 1e-4);
  }
  // At the limit a discharge carries 0.1504 m3 of sand per m3 of water.
  EXPECT_NEAR(sed::sand_flux(1.0, sed::sand_max_ppm), 398496.2406015 / 2.65e6, 1e-9);
}

TEST(SedimentYang, NoTransportBelowTheThresholds) {
  const double nu = 1.0e-6, w = sed::sand_fall_velocity(0.5, nu);
  // Shear Reynolds number below 1.2.
  EXPECT_EQ(sed::yang_concentration(1.0, 1e-7, 0.01, 0.5, w, nu), 0.0);
  // Below the critical velocity (Re* 49.5, ratio 2.19).
  EXPECT_EQ(sed::yang_concentration(0.1, 0.001, 1.0, 0.5, w, nu), 0.0);
  // Exactly at it the excess power is zero: 0, not minus infinity.
  const double us = std::sqrt(1.0 * 9810.0 * 0.001 / 1000.0);
  const double vc = sed::yang_critical_ratio(us * 0.0005 / nu);
  const double c = sed::yang_concentration(vc * w, 0.001, 1.0, 0.5, w, nu);
  EXPECT_TRUE(std::isfinite(c));
  EXPECT_GE(c, 0.0);
  EXPECT_LT(c, 1e-3);
  // Still water.
  EXPECT_EQ(sed::yang_concentration(0.0, 0.0, 1.0, 0.5, w, nu), 0.0);
  // The critical ratio's branches.
  EXPECT_EQ(sed::yang_critical_ratio(1.0), 0.0);
  EXPECT_DOUBLE_EQ(sed::yang_critical_ratio(10.0), 2.5 / 0.94 + 0.66);
  EXPECT_EQ(sed::yang_critical_ratio(70.0), 2.05);
  // 1000 ppm by weight in 2 m3/s of water is 2 kg/s of sand, 2 / 2650
  // m3/s at 2650 kg/m3.
  EXPECT_NEAR(sed::sand_flux(2.0, 1000.0), 2.0 / 2650.0, 1e-12 * 2.0 / 2650.0);
}

TEST(SedimentBed, MoreSandRaisesTheBedWithoutJumps) {
  // 4 m bottom, side slope 2, 0.5 m layer, 100 m between nodes, porosity 0.4.
  const double b = 4.0, ss = 2.0, t = 0.5, dx = 100.0, por = 0.4, org = 10.0;
  const double full = b * t * dx * (1.0 - por);
  EXPECT_DOUBLE_EQ(sed::bed_elevation(0.0, org, org, b, ss, t, dx, por).bel, org - t);   // scoured to the hard bottom
  EXPECT_DOUBLE_EQ(sed::bed_elevation(full, org, org, b, ss, t, dx, por).bel, org);       // a full layer
  EXPECT_DOUBLE_EQ(sed::bed_elevation(full / 2, org, org, b, ss, t, dx, por).bel, org - t / 2);
  // Above a full layer: b y + ss y^2 = excess area; 1.125 m2 more -> y = 0.25 m.
  const double extra = 1.125 * dx * (1.0 - por);
  EXPECT_NEAR(sed::bed_elevation(full + extra, org, org, b, ss, t, dx, por).bel, org + 0.25, 1e-12);
  // Monotone and continuous across the full layer.
  double last = -1e30;
  for (int i = 0; i <= 400; ++i) {
    const double v = full * 2.0 * i / 400.0;
    const double e = sed::bed_elevation(v, org, org, b, ss, t, dx, por).bel;
    EXPECT_GE(e, last);
    if (i > 0) {
      EXPECT_LT(e - last, 0.01);
    }
    last = e;
  }
  // A vertical-sided channel: the limit As / b.
  EXPECT_NEAR(sed::bed_elevation(full + extra, org, org, b, 0.0, t, dx, por).bel, org + 0.28125, 1e-12);
  // No bottom width: the bed stays and the caller warns.
  const auto none = sed::bed_elevation(full, 7.0, org, 0.0, ss, t, dx, por);
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.bel, 7.0);
}
