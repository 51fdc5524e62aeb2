// Snow melt of the cells by hand: the day count from the spring equinox,
// degree-day melt through the heat deficit, rain-on-snow radiation against
// the Stefan-Boltzmann law at any step, no melt below the base temperature, melt larger than the pack, and the melt waves that hold the
// melt on its way to the ground.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "hydromet/hydromet_state.h"
#include "hydromet/rainfall.h"
#include "hydromet/snow_fixture.h"
#include "hydromet/snow_melt.h"
#include "hydromet/snowpack_layers.h"

namespace nivra::testing {
namespace {

TEST(SnowMelt, DaysCountFromTheTwentyFirstOfMarch) {
  struct day_case {
    int month, day, n;
  };
  const day_case cases[] = {{3, 21, 0}, {3, 20, 364}, {3, 1, 345}, {4, 1, 11}, {6, 21, 92},
                            {12, 31, 285}, {1, 1, 286}, {2, 28, 344}};
  for (const day_case& k : cases) {
    ASSERT_TRUE(days_since_march21(k.month, k.day).has_value());
    EXPECT_EQ(*days_since_march21(k.month, k.day), k.n) << k.month << "/" << k.day;
  }
  EXPECT_FALSE(days_since_march21(0, 5).has_value());
  EXPECT_FALSE(days_since_march21(13, 5).has_value());
  EXPECT_DOUBLE_EQ(melt_season(0), 0.5);
  EXPECT_NEAR(melt_season(92), 1.0, 1e-3);  // midsummer
}

// One cell of 10 cm of snow water at 5 C on 21 March under the temperature
// index (melt factor 1.2 mm/C/6 h at midsummer, 0 at midwinter: 0.6 on the
// equinox, 0.1 mm/C in the hour).
snow_step_result index_melt(hydromet_state& hm, double T) {
  hm.nwsrfs_snow = 1;
  hm.snow_air_temp[1] = T;
  snow_step_cells cells;
  cells.n = hm.snow_swe.size();
  cells.month = 3;
  cells.day = 21;
  return snow_cell_step(hm, cells);
}

TEST(SnowMelt, DegreeDayMeltByHand) {
  struct melt_case {
    const char* name;
    double deficit, plwhc, liquid;  // mm, fraction, mm
    double melt_mm;                  // leaves the pack
  };
  // 5 C x 0.1 mm/C = 0.5 mm of melt water enters the pack. A heat deficit
  // freezes its share first; a holding capacity keeps its share.
  const melt_case cases[] = {
      {"cold content none", 0.0, 0.0, 0.0, 0.5},
      {"deficit 0.3 mm", 0.3, 0.0, 0.0, 0.2},
      // Holding capacity 5 % of the ice (95 mm of 100): 4.75 mm, 4.5 of them
      // already held; 0.5 more fills it and 0.25 leaves.
      {"nearly full liquid store", 0.0, 0.05, 4.5, 0.25},
  };
  for (const melt_case& k : cases) {
    auto hm = snow_cells(1);
    hm->snow_swe[1] = 0.1;
    hm->snow_present = 1;
    hm->D_2[1] = k.deficit;
    hm->PLWHC[1] = k.plwhc;
    hm->Wq[1] = k.liquid;
    const snow_step_result r = index_melt(*hm, 5.0);
    ASSERT_EQ(r.status, snow_status::ok);
    EXPECT_NEAR(r.melt, k.melt_mm / 1000.0, 1e-12) << k.name;
    EXPECT_NEAR(hm->snow_swe[1], 0.1 - k.melt_mm / 1000.0, 1e-12) << k.name;
    EXPECT_NEAR(hm->snow_melt_to_ov[1], k.melt_mm / 1000.0, 1e-12) << k.name;
    EXPECT_EQ(r.snow_present, 1);
    EXPECT_GT(hm->snow_depth[1], 0.0) << k.name;  // the layered pack's depth
  }
}

// Below the base temperature (2 C) nothing melts, whatever energy the pack
// gets; at the base temperature itself the pack melts (the index model by
// hand: 2 C x 0.1 mm/C = 0.2 mm).
TEST(SnowMelt, NoMeltBelowTheBaseTemperature) {
  struct base_case {
    double T;
    int eb;
    double melt_mm;  // < 0: some melt
  };
  const base_case cases[] = {{1.5, 0, 0.0}, {1.5, 1, 0.0}, {2.0, 0, 0.2}, {2.0, 1, -1.0}};
  for (const base_case& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.T << " C, energy balance " << k.eb);
    auto hm = snow_cells(1);
    hm->snow_swe[1] = 0.1;
    hm->snow_present = 1;
    hm->PLWHC[1] = 0.0;
    hm->snow_temp_base = 2.0;
    hm->eb_snow = k.eb;
    hm->R_short[1] = 600.0;  // a sunny hour: the energy balance would melt
    hm->R_long[1] = 300.0;
    const snow_step_result r = index_melt(*hm, k.T);
    if (k.melt_mm < 0.0) {
      EXPECT_GT(r.melt, 0.0);
      EXPECT_NEAR(hm->snow_swe[1], 0.1 - r.melt, 1e-15);
    } else {
      EXPECT_NEAR(r.melt, k.melt_mm / 1000.0, 1e-12);
      EXPECT_NEAR(hm->snow_swe[1], 0.1 - k.melt_mm / 1000.0, 1e-12);
      if (k.melt_mm == 0.0) {
        EXPECT_EQ(r.melt_pending, 0);
      }
    }
  }
}

TEST(SnowMelt, MeltLargerThanThePackEmptiesItExactly) {
  auto hm = snow_cells(1);
  hm->snow_swe[1] = 0.0003;  // 0.3 mm against 1 mm of melt at 10 C
  hm->snow_present = 1;
  hm->PLWHC[1] = 0.0;
  const snow_step_result r = index_melt(*hm, 10.0);
  EXPECT_EQ(hm->snow_swe[1], 0.0);
  EXPECT_EQ(r.melt, 0.0003);
  EXPECT_EQ(hm->snow_melt_to_ov[1], 0.0003);
  EXPECT_EQ(r.snow_present, 0);
  EXPECT_EQ(r.melt_pending, 1);
  EXPECT_EQ(hm->snow_depth[1], 0.0);
  EXPECT_EQ(hm->Wq[1], 0.0);
  EXPECT_EQ(hm->snap_nivra_params(1, pack_field::depth), 0.0);
  EXPECT_EQ(hm->snap_nivra_params(1, pack_field::density), 0.3);
}

// A cold hour of snow on bare ground, at a steady intensity (mm/h) in steps
// of 3600 / steps seconds, then the hour's snow step under the temperature
// index at -5 C from an antecedent temperature index of -1 C: the index the
// step leaves, and the hour's new snow (mm) the step saw.
struct snowy_hour {
  double ati, new_snow;
};
snowy_hour snow_hour(double intensity, int steps) {
  auto hm = snow_cells(1);
  hm->nwsrfs_snow = 1;
  hm->snow_air_temp[1] = -5.0;
  hm->ATI_2[1] = -1.0;
  std::vector<double> rain{0.0, intensity}, depth{0.0, 0.0}, air{0.0, -5.0}, scf{0.0, 1.0};
  std::vector<int> reset{0, 1}, fell{0, 0};
  rain_domain d;
  d.ncells = 1;
  d.cell_area = 100.0;
  d.rain = rain.data();
  d.depth = depth.data();
  d.rain_reset = reset.data();
  d.air_temp = air.data();
  d.air_temp_count = 1;
  d.snow_correction = scf.data();
  d.swe = hm->snow_swe.data();
  d.rain_on_snow = hm->H_Val.data();
  d.snow_fell = fell.data();
  for (int k = 0; k < steps; ++k) EXPECT_EQ(rain_on_cells(d, 3600.0 / steps).status, rain_status::ok);
  const double new_snow = hm->H_Val[1];
  hm->snow_present = 1;
  snow_step_cells cells;
  cells.n = 1;
  cells.dt = 3600.0;
  cells.month = 1;
  cells.day = 15;
  EXPECT_EQ(snow_cell_step(*hm, cells).status, snow_status::ok);
  return {hm->ATI_2[1], new_snow};
}

// New snow of more than 1.5 mm in an hour resets the antecedent temperature
// index to the air temperature; less lets it relax toward it by the hour's
// share of TIPM, 1 - (1 - 0.2)^(1/6). The hour's new snow counts from its
// first step (the snow that forms the pack is new snow on it), and an hour
// of exactly 1.5 mm does not exceed the threshold however many steps summed
// it: at 1.5 mm/h the index once depended on the model step.
TEST(SnowMelt, NewSnowResetsTheTemperatureIndexWhateverTheModelStep) {
  const double relaxed = -1.0 + (-5.0 + 1.0) * (1.0 - std::pow(0.8, 1.0 / 6.0));
  for (const int steps : {1, 7, 120, 240, 360}) {
    SCOPED_TRACE(steps);
    const snowy_hour at = snow_hour(1.5, steps), above = snow_hour(1.6, steps), below = snow_hour(1.2, steps);
    EXPECT_NEAR(at.new_snow, 1.5, 1e-12);
    EXPECT_NEAR(above.new_snow, 1.6, 1e-12);
    EXPECT_NEAR(at.ati, relaxed, 1e-12);
    EXPECT_NEAR(below.ati, relaxed, 1e-12);
    EXPECT_EQ(above.ati, -5.0);
  }
}

// Rain on snow under the temperature index: the saturated, overcast air
// radiates onto the pack as a black body at the air temperature, and the
// snow at 0 C radiates back. With no rain let into the pack (a rain share
// of 0) and no cold content, the radiation is the whole water input.
double rain_on_snow_melt_mm(double T, double hours, int steps) {
  auto hm = snow_cells(1);
  hm->snow_swe[1] = 0.2;
  hm->snow_present = 1;
  hm->PLWHC[1] = 0.0;
  hm->fr_use[1] = 0.0;
  hm->nwsrfs_snow = 1;
  hm->snow_air_temp[1] = T;
  snow_step_cells cells;
  cells.n = 1;
  cells.dt = hours * 3600.0;
  cells.month = 3;
  cells.day = 21;
  double melt = 0.0;
  for (int k = 0; k < steps; ++k) {
    // The same weather each step: 2 mm of rain an hour for the last six
    // hours (a mean above 1.5 mm and the newest above 0.25 mm).
    auto slot = hm->SNOW_PRECIP_6HR[1];
    for (int j = 1; j <= 6; ++j) slot[j] = j == 1 ? 0.0 : 2.0 * hours;
    hm->H_Val[1] = 2.0 * hours;
    const snow_step_result r = snow_cell_step(*hm, cells);
    EXPECT_EQ(r.status, snow_status::ok);
    melt += r.melt;
  }
  return melt * 1000.0;
}

TEST(SnowMelt, RainOnSnowRadiationMeltsTheSameInOneStepOrSix) {
  // The reference: the Stefan-Boltzmann constant over the latent heat of
  // fusion (333.55 kJ/kg), times the hours: 6.12e-10 mm/(K^4 h).
  constexpr double stefan_boltzmann = 5.670374e-8, fusion = 333550.0, kelvin = 273.15;
  for (const double T : {1.0, 5.0, 10.0}) {
    SCOPED_TRACE(T);
    const double Tk = T + kelvin;
    const double six_hours = stefan_boltzmann * 6.0 * 3600.0 / fusion * (Tk * Tk * Tk * Tk - kelvin * kelvin * kelvin * kelvin);
    const double one_step = rain_on_snow_melt_mm(T, 6.0, 1);
    const double hourly = rain_on_snow_melt_mm(T, 1.0, 6);
    EXPECT_NEAR(one_step, six_hours, 1e-3 * six_hours);
    EXPECT_NEAR(hourly, one_step, 1e-12);
  }
  // 5 C over six hours: 6.12e-10 x 6 x (278.15^4 - 273.15^4) = 1.5383 mm.
  EXPECT_NEAR(rain_on_snow_melt_mm(5.0, 6.0, 1), 1.5383, 1e-4);
}

TEST(SnowMelt, TheMeltLagIsTheDepthOverTheTravelSpeed) {
  // 3.6 mm in the hour is 1e-6 m/s; with a conductivity of 1e-3 m/s and a
  // porosity of 0.67 the kinematic speed is 3 q^(2/3) K^(1/3) / phi =
  // 0.16119 m/h, so 20 cm of pack hold it 1.2408 h.
  const melt_wave_pack pack{20.0, 0.67, 0.0};
  const double M = 0.0036;
  // 3.6 mm over 1.2408 h: 2.90149 mm/h.
  EXPECT_NEAR(snow_melt_ratio(M, pack, 1e-3), 0.00290149, 1e-8);
  // A lag is at least an hour and at most six.
  EXPECT_NEAR(snow_melt_ratio(M, melt_wave_pack{1.0, 0.67, 0.0}, 1e-3), M, 1e-15);
  EXPECT_NEAR(snow_melt_ratio(M, melt_wave_pack{500.0, 0.67, 0.0}, 1e-3), M / 6.0, 1e-15);
}

TEST(SnowMelt, TheWavesHoldEveryMeltUntilItLeaves) {
  auto hm = snow_cells(1);
  hm->snow_swe[1] = 0.1;
  hm->snow_present = 1;
  hm->snap_retention = 1;
  hm->melt_wave_slots = 6;
  hm->PLWHC[1] = 0.0;
  double melted = 0.0;
  for (int hour = 0; hour < 8; ++hour) {
    const snow_step_result r = index_melt(*hm, 3.0 + hour);
    melted += r.melt;
    double held = 0.0;
    const melt_waves w{&hm->Melt_Waves(1, 0, 0)};
    for (int k = 1; k <= 6; ++k) {
      held += w.amount(k);
      EXPECT_LE(w.rate(k), w.amount(k) + 1e-18);
    }
    EXPECT_NEAR(held, melted, 1e-15);
    EXPECT_NEAR(hm->snow_melt_to_ov[1], melted, 1e-15);
    EXPECT_NEAR(hm->snow_swe[1] + melted, 0.1, 1e-15);
  }
}

TEST(SnowMelt, AnImpossibleMonthStopsThePass) {
  auto hm = snow_cells(1);
  hm->snow_swe[1] = 0.1;
  snow_step_cells cells;
  cells.n = 1;
  cells.month = 14;
  ::testing::internal::CaptureStdout();
  const snow_step_result r = snow_cell_step(*hm, cells);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(r.status, snow_status::bad_date);
  EXPECT_NE(out.find("WE HAVE A PROBLEM WITH THE DATES!!!"), std::string::npos);
  EXPECT_EQ(hm->snow_swe[1], 0.1);
}

}  // namespace
}  // namespace nivra::testing
