// The overland processes of one cell by hand: the rain's mass, the
// exchange with the land surface and its limits, and the decay pending.
#include <gtest/gtest.h>

#include <cmath>

#include "quality/contaminant/overland_processes.h"

namespace nivra {
namespace {

TEST(OverlandProcesses, RainBringsIntensityTimesConcentrationTimesArea) {
  // 36 mm/h is 1e-5 m/s: 1e-5 x 100 s x 100 m2 = 0.1 m3 of rain at 2 g/m3.
  EXPECT_DOUBLE_EQ(rain_mass(36.0, 2.0, 100.0, 100.0), 0.2);
  EXPECT_EQ(rain_mass(0.0, 2.0, 100.0, 100.0), 0.0);
}

TEST(OverlandProcesses, ExchangeWithTheLandStaysWithinItsLimits) {
  land_exchange_cell x;
  x.water_volume = 2.0;
  x.water_conc = 1.0;
  x.water_mass = 2.0;
  x.land_conc = 5.0;
  x.land_available = 100.0;
  // (5 - 1) x 1e-4 x 100 x 10 = 0.4 g: the water rises to 1.2 g/m3.
  EXPECT_DOUBLE_EQ(land_exchange_mass(x, 1e-4, 100.0, 10.0), 0.4);
  // A fast rate stops where the water reaches the land's concentration:
  // (5 - 1) x 2 m3 = 8 g.
  EXPECT_NEAR(land_exchange_mass(x, 1.0, 100.0, 10.0), 8.0, 1e-12);
  // ... and never gives more than the land holds.
  x.land_available = 3.0;
  EXPECT_DOUBLE_EQ(land_exchange_mass(x, 1.0, 100.0, 10.0), 3.0);
  // Water richer than the land: without a soil column nothing moves; with
  // one the water gives, never more than it holds.
  x.water_conc = 9.0;
  x.water_mass = 18.0;
  EXPECT_EQ(land_exchange_mass(x, 1e-4, 100.0, 10.0), 0.0);
  x.two_way = true;
  EXPECT_DOUBLE_EQ(land_exchange_mass(x, 1e-4, 100.0, 10.0), -0.4);
  EXPECT_DOUBLE_EQ(land_exchange_mass(x, 1.0, 100.0, 10.0), -18.0);
  x.water_volume = 0.0;  // a dry cell exchanges nothing
  EXPECT_EQ(land_exchange_mass(x, 1.0, 100.0, 10.0), 0.0);
}

TEST(OverlandProcesses, DecayPendingNeverExceedsTheMassAtTheSmallerDepth) {
  // 3 g/m3 at 1e-5 /s over a mean depth of 0.015 m on 100 m2 for 60 s:
  // 3 x 1e-5 x 0.015 x 100 x 60 = 0.0027 g.
  EXPECT_NEAR(water_decay_pending(0.0, 3.0, 1e-5, 0.01, 0.02, 100.0, 60.0), 0.0027, 1e-15);
  // A long wait is cut to what 0.01 m of water holds: 0.01 x 100 x 3 = 3 g.
  EXPECT_DOUBLE_EQ(water_decay_pending(2.5, 3.0, 1e-3, 0.01, 0.02, 100.0, 600.0), 3.0);
  EXPECT_EQ(water_decay_pending(0.7, 3.0, 1e-3, 0.01, 0.0, 100.0, 600.0), 0.7);  // dry now: nothing more
  // An interval of k dt = 2 (a day at 2 per day) on still water takes
  // 1 - exp(-2) of its mass, 0.02 x 100 x 3 x 0.864665 = 5.18799 g, not
  // twice the mass cut to the mass.
  EXPECT_NEAR(water_decay_pending(0.0, 3.0, 2.0 / 86400.0, 0.02, 0.02, 100.0, 86400.0),
              6.0 * (1.0 - std::exp(-2.0)), 1e-12);
}

}  // namespace
}  // namespace nivra
