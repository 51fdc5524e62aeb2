// The layered snowpack of one cell: its water balance over every step (the
// compaction cap booked), compaction that slows as the snow cools, a wetting front that reaches the base of a
// uniform pack at the kinematic travel time and drains as the analytic
// solution says, steady input draining at the input rate, the density
// guards, rain freezing into a cold pack, and the bounded front table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "hydromet/snowpack_layers.h"

namespace nivra::testing {
namespace {

// A pack record and status record of one cell, 1-based.
struct pack {
  double p[pack_field::count + 1] = {};
  double s[pack_status::count + 2] = {};
  wetting_front_table fronts;
  explicit pack(double depth, double water, double density) {
    reset_pack_record(p);
    p[pack_field::depth] = depth;
    p[pack_field::water] = water;
    p[pack_field::density] = density;
  }
  double storage() const { return p[pack_field::water] + standing_rain(s); }
  snowpack_result step(double rain, double T, int dt = 3600, double wind = 2.0) {
    return snow_layers_step(p, s, fronts, snowpack_weather{rain, T, wind, dt});
  }
};

TEST(Snowpack, EveryStepBalancesItsWater) {
  // A pack through a season's weather, resumed from its status record each
  // step: what it holds after = before + rain + the cap's change - outflow.
  struct weather {
    double rain, T, wind;
  };
  const weather season[] = {
      {0.0, -8.0, 3.0}, {1.5, -4.0, 2.0}, {0.0, -12.0, 5.0}, {0.0, -1.0, 1.0}, {0.0, 2.0, 2.0},
      {0.8, 3.0, 4.0},  {2.0, 5.0, 6.0},  {0.0, 8.0, 3.0},   {0.0, -6.0, 2.0}, {0.5, -3.0, 1.0},
      {0.0, 6.0, 8.0},  {1.0, 4.0, 3.0},  {0.0, 10.0, 4.0},  {0.0, 12.0, 5.0}, {0.3, 9.0, 2.0},
  };
  // A light pack, and a dense one that the compaction cap meets.
  double capped = 0.0, drained = 0.0;
  for (double water : {10.0, 24.0}) {
    pack k(40.0, water, 0.25);
    for (int round = 0; round < 4; ++round) {
      for (const weather& w : season) {
        const double before = k.storage();
        const snowpack_result r = k.step(w.rain, w.T, 3600, w.wind);
        capped += std::fabs(r.cap_change);
        drained += r.outflow;
        EXPECT_GE(r.outflow, 0.0);
        EXPECT_NEAR(k.storage(), before + w.rain + r.cap_change - r.outflow, 1e-12);
        EXPECT_EQ(k.s[pack_status::restart], 1.0);
      }
    }
  }
  EXPECT_GT(drained, 0.0);  // the warm spells drained the pack
  EXPECT_GT(capped, 0.0);   // and the cap was met (and booked)
}

// A uniform pack 20 cm deep at 0.3 g/cm3 and 0 C (no heat exchange, no
// compaction: its depth is given), first wetted by 1.4 cm, which the dry
// snow holds at its residual fraction of 0.07.
struct uniform_pack : pack {
  explicit uniform_pack(double first_input, int dt) : pack(20.0, 6.0, 0.3) {
    p[pack_field::given_depth] = 20.0;
    p[pack_field::residual] = 0.07;
    first = step(first_input, 0.0, dt, 0.0);
  }
  snowpack_result first;
};

TEST(Snowpack, ALoneFrontDrainsAtItsTravelTime) {
  const int dt = 60;
  uniform_pack k(1.5, dt);  // 0.1 cm beyond what wets the pack
  const double n = 3.0, Wf = 0.1, zr = 20.0;
  const double a = kinematic_coefficient(0.3, 0.67, n);
  const double T1 = lone_front_travel_time(Wf, zr, n, a);
  EXPECT_NEAR(T1, 4.0 / (Wf * Wf) * std::pow(zr / a, 3.0), 1e-9 * T1);
  // Released at the end of the first step's clock (dt): it reaches the base
  // at dt + T1 and then drains (n - 1) C (x0^(-1/2) - x^(-1/2)), x the time
  // since release, C = (zr / a)^(n / (n - 1)).
  const double release = dt;
  const double arrive = release + T1;
  const double C = std::pow(zr / a, n / (n - 1.0));
  auto left = [&](double x) { return (n - 1.0) * C / std::sqrt(x); };
  EXPECT_EQ(k.first.outflow, 0.0);
  // Step j drains over [j dt, (j + 1) dt] of the pack clock.
  double clock = 2.0 * dt;
  bool started = false;
  for (int i = 0; i < 200; ++i) {
    const double from = clock, to = clock + dt;
    clock = to;
    const snowpack_result r = k.step(0.0, 0.0, dt, 0.0);
    if (to <= arrive) {
      EXPECT_EQ(r.outflow, 0.0) << "step ending at " << to;
    } else {
      const double start = std::max(from, arrive);
      EXPECT_NEAR(r.outflow, left(start - release) - left(to - release), 1e-12) << "step ending at " << to;
      if (!started) {
        EXPECT_GT(r.outflow, 0.0);
      }
      started = true;
    }
  }
  EXPECT_TRUE(started);
}

TEST(Snowpack, SteadyInputDrainsAtTheInputRate) {
  const int dt = 600;
  const double input = 0.05;  // cm per step
  uniform_pack k(1.4 + input, dt);
  double last = 0.0;
  for (int i = 0; i < 400; ++i) last = k.step(input, 0.0, dt, 0.0).outflow;
  EXPECT_NEAR(last, input, 0.02 * input);
}

TEST(Snowpack, ColderSnowSettlesMoreSlowly) {
  // A dry pack 40 cm deep at 0.25 g/cm3, calm, one hour. Anderson's
  // compaction rates (1/s) take the cold of the snow, 0 C less its
  // temperature: destructive metamorphism
  //   CR1 = -2.778e-6 C3 C5 exp(-0.04 cold), C3 = exp(-46 (rho - 0.1)), C5 = 1,
  // and the overburden of half the pack's weight over a viscosity
  //   CR2 = -(rho z / 2) 981 / (9e6 exp(0.08 cold + 23 rho)),
  // each cut to whole multiples of 1e-10 /s. Air above 0 C meets snow at
  // 0 C.
  const double z = 40.0, rho = 0.25, dt = 3600.0;
  auto settled = [&](double T) {
    pack k(z, z * rho, rho);
    k.step(0.0, T, static_cast<int>(dt), 0.0);
    return z - k.p[pack_field::depth];
  };
  auto by_hand = [&](double T) {
    const double cold = std::max(-T, 0.0);
    const double CR1 = -2.778e-6 * std::exp(-46.0 * (rho - 0.1)) * std::exp(-0.04 * cold);
    const double CR2 = -(rho * z * 0.5 * 981.0) / (9e6 * std::exp(0.08 * cold + 23.0 * rho));
    const double CR = std::trunc(CR1 / 1e-10) * 1e-10 + std::trunc(CR2 / 1e-10) * 1e-10;
    return -CR * dt * z;
  };
  double warmer = 0.0;
  for (const double T : {0.0, -2.0, -5.0, -10.0, -20.0, -30.0}) {
    SCOPED_TRACE(T);
    const double s = settled(T);
    EXPECT_NEAR(s, by_hand(T), 1e-9);
    EXPECT_GT(s, 0.0);
    if (T < 0.0) {
      EXPECT_LT(s, warmer) << "colder snow settles more slowly";
    }
    warmer = s;
  }
  // At -20 C the overburden rate is exp(-1.6), a fifth, of that at 0 C.
  EXPECT_NEAR(settled(-20.0) / settled(0.0), std::exp(-1.6), 0.01);
  EXPECT_EQ(settled(5.0), settled(0.0));
}

TEST(Snowpack, DensityGuardsAndThinPacks) {
  // The permeability of the step follows the guarded density: 0 is taken
  // as 0.3 g/cm3, above 1 as 1.
  struct guard_case {
    double density, used;
  };
  for (const guard_case& g : {guard_case{0.0, 0.3}, guard_case{1.7, 1.0}, guard_case{0.4, 0.4}}) {
    pack k(30.0, 6.0, g.density);
    k.step(0.0, -5.0);
    EXPECT_NEAR(k.p[pack_field::permeability], 0.077 * 0.2 * 0.2 * std::exp(-7.8 * g.used), 1e-15) << g.density;
  }
  // A pack thinner than a millimetre ends with no depth and no density.
  pack thin(0.05, 0.01, 0.2);
  thin.step(0.0, -5.0);
  EXPECT_EQ(thin.p[pack_field::depth], 0.0);
  EXPECT_EQ(thin.p[pack_field::density], 0.0);
}

TEST(Snowpack, RainOnAColdPackFreezesIntoIt) {
  pack k(50.0, 12.0, 0.24);
  pack dry(50.0, 12.0, 0.24);
  const snowpack_result r = k.step(1.0, -5.0);
  dry.step(0.0, -5.0);
  EXPECT_EQ(r.outflow, 0.0);
  EXPECT_NEAR(k.p[pack_field::water], 13.0, 1e-12);
  EXPECT_EQ(standing_rain(k.s), 0.0);
  // New snow of 0.08 g/cm3: 12.5 cm of depth per cm of water.
  EXPECT_NEAR(k.p[pack_field::depth] - dry.p[pack_field::depth], 12.5, 1e-9);
  EXPECT_LT(k.p[pack_field::density], dry.p[pack_field::density]);
}

TEST(Snowpack, AFullFrontTableTakesNewInputIntoItsNewestFront) {
  // A deep pack resumed with 51 fronts released one second apart, none near
  // the base, and a wet zone that already holds its residual water.
  pack k(0.0, 300.0, 0.3);
  k.p[pack_field::given_depth] = 1000.0;
  k.p[pack_field::residual] = 0.07;
  k.s[1] = 1000.0;   // depth at the last grain update
  k.s[2] = 1000.0;   // depth
  k.s[3] = 0.3;      // density
  k.s[4] = 1000.0;   // wet zone reaches the base
  k.s[5] = 1000.0;
  k.s[8] = 100.0;    // pack clock
  k.s[10] = 0.67;
  k.s[11] = 0.07;
  k.s[12] = 300.0;
  k.s[15] = wetting_front_table::capacity;
  k.s[16] = 3.0;
  k.s[18] = 70.0;    // liquid water of the wet zone
  k.s[pack_status::restart] = 1.0;
  double carried = 0.0;
  for (int f = 1; f <= wetting_front_table::capacity; ++f) {
    k.fronts.at(f, 1) = -(f);
    k.fronts.at(f, 2) = 1000.0;
    k.fronts.at(f, 3) = 0.001;
    k.fronts.at(f, 4) = 1e9 - f;  // far from the base, in order
    k.fronts.at(f, 5) = -1.0;
    carried += 0.001;
  }
  const snowpack_result r = k.step(0.5, 0.0, 1, 0.0);
  EXPECT_EQ(r.outflow, 0.0);
  EXPECT_LE(k.s[15], wetting_front_table::capacity);
  double now = 0.0;
  for (int f = 1; f <= static_cast<int>(k.s[15]); ++f) now += k.fronts.at(f, 3);
  EXPECT_NEAR(now, carried + 0.5, 1e-12);
}

}  // namespace
}  // namespace nivra::testing
