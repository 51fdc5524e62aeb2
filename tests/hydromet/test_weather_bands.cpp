// Elevation bands and lapse rates by hand: the air column over a gage
// cooling at the dry adiabatic rate while unsaturated and more slowly once
// saturated, cells interpolated between the bands around them, gages
// weighted by inverse squared distance, and the albedo of fresh snow and of
// open water with its daily ageing.
#include <gtest/gtest.h>

#include <cmath>

#include "hydromet/elevation_bands.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/weather_fixture.h"
#include "model/model_state.h"
#include "support/test_support.h"

namespace nivra::testing {
namespace {

// A column of cells from 1000 m up in steps of 37 m, one gage at 1000 m,
// bands of 100 m: the tables the long-term set-up makes.
class Bands : public process_test {
 protected:
  void SetUp() override {
    process_test::SetUp();
    make_terrain(*ms, terrain(12, 1, 30.0, [](int r, int) { return 1000.0 + 37.0 * (r - 1); }));
    hydromet_state& hm = ms->hydromet;
    const int n = ms->grid.ncells;
    hm.elev_min = 1000.0;
    hm.elev_max = 1000.0 + 37.0 * 11;
    hm.elev_band_height = 100.0;
    hm.elev_band_count = 4 + static_cast<int>(std::floor((hm.elev_max - hm.elev_min) / 100.0));
    set_gages(1);
    hm.LR_Num.alloc(n);
  }
  // Gages at 1000 m; gage g lies g - 1 km east of cell 1.
  void set_gages(int gages) {
    hydromet_state& hm = ms->hydromet;
    hm.num_hmet_gages = gages;
    hm.Gage_XYZ_Lev_P_rh_c_w_t_qh.alloc(gages, 10);
    hm.El_T_P_e_es_LR.alloc(gages, hm.elev_band_count, 6);
    hm.Dist_Cell2Gage.alloc(ms->grid.ncells, gages);
    for (int g = 1; g <= gages; ++g) {
      auto row = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh[g];
      row[3] = 1000.0;
      row[4] = (1000.0 - hm.elev_min) / 100.0 + 2.0;
      for (int c = 1; c <= ms->grid.ncells; ++c) ms->hydromet.Dist_Cell2Gage(c, g) = 1000.0 * (g - 1) + 5000.0;
    }
  }
  std::unique_ptr<model_state> ms = make_model_state();
};

TEST_F(Bands, EveryCellLiesBetweenTheTwoBandsAroundIt) {
  hydromet_state& hm = ms->hydromet;
  ASSERT_TRUE(elev_band_assign(ms->grid, hm));
  for (int c = 1; c <= ms->grid.ncells; ++c) {
    const int k = hm.LR_Num[c];
    const double z = ms->grid.elevation[c];
    EXPECT_GE(k, 1);
    EXPECT_LE(k, hm.elev_band_count - 1);
    EXPECT_LE(hm.El_T_P_e_es_LR(1, k - 1, 1), z);
    EXPECT_GE(hm.El_T_P_e_es_LR(1, k, 1), z);
  }
  EXPECT_EQ(hm.El_T_P_e_es_LR(1, 2, 1), 1000.0);  // band 2 is the gage's
  EXPECT_EQ(hm.El_T_P_e_es_LR(1, 5, 1), 1300.0);
  // A gage whose level lies above the highest band stops the run.
  hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(1, 4) = hm.elev_band_count + 3.0;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(elev_band_assign(ms->grid, hm));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Error in Assigning Elevation Bands"), std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(Bands, UnsaturatedAirCoolsAtTheDryAdiabaticRate) {
  hydromet_state& hm = ms->hydromet;
  ASSERT_TRUE(elev_band_assign(ms->grid, hm));
  // 25 C and 20 % at 900 mb: dry far above the highest band.
  ASSERT_TRUE(lapse_rate_bands(hm, 1, 25.0, 900.0, 0.20));
  EXPECT_EQ(dry_adiabatic_lapse, 0.009761194029850746);
  for (int k = 0; k <= hm.elev_band_count; ++k) {
    EXPECT_EQ(hm.El_T_P_e_es_LR(1, k, 6), 0.009761194029850746) << k;
    // 0.9761 K per band of 100 m from the gage's band.
    EXPECT_NEAR(hm.El_T_P_e_es_LR(1, k, 2), 25.0 - (k - 2) * 0.9761194029850746, 1e-9) << k;
  }
  // The pressure of the band above by the barometric formula of the dry
  // adiabat, 900 (T / T0)^(g / (R G)), and by the hydrostatic weight of the
  // air between.
  EXPECT_NEAR(hm.El_T_P_e_es_LR(1, 3, 3), 900.0 * std::pow(297.1738805970149 / 298.15, 9.81 / (0.009761194029850746 * 287.04)), 1e-9);
  EXPECT_NEAR(hm.El_T_P_e_es_LR(1, 3, 3), 889.7, 0.1);  // 100 m of air of 1.05 kg/m3
}

TEST_F(Bands, SaturatedAirCoolsAtTheMoistAdiabaticRate) {
  hydromet_state& hm = ms->hydromet;
  ASSERT_TRUE(elev_band_assign(ms->grid, hm));
  ASSERT_TRUE(lapse_rate_bands(hm, 1, 20.0, 900.0, 1.0));
  // Above the gage the air is saturated: the moist adiabat near 20 C and
  // 900 mb falls about 4.2 K per km, less than half the dry rate.
  const double rate = hm.El_T_P_e_es_LR(1, 3, 6);
  EXPECT_GT(rate, 0.0039);
  EXPECT_LT(rate, 0.0046);
  EXPECT_NEAR(hm.El_T_P_e_es_LR(1, 4, 2), hm.El_T_P_e_es_LR(1, 3, 2) - rate * 100.0, 1e-9);
}

TEST_F(Bands, ACellTakesTheColumnBetweenItsBands) {
  hydromet_state& hm = ms->hydromet;
  ASSERT_TRUE(elev_band_assign(ms->grid, hm));
  hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(1, 7) = 4.0;  // cloud, tenths
  hm.Gage_XYZ_Lev_P_rh_c_w_t_qh(1, 8) = 3.0;  // wind
  ASSERT_TRUE(lapse_rate_bands(hm, 1, 25.0, 900.0, 0.40));
  // Cell 1 lies at the gage: the gage's air, whatever its distance.
  cell_weather w = elev_band_temper(hm, 1, 1000.0, 30.0);
  EXPECT_NEAR(w.T, 25.0, 1e-12);
  EXPECT_NEAR(w.P, 900.0, 1e-9);
  EXPECT_NEAR(w.RH, 40.0, 1e-9);
  EXPECT_EQ(w.cloud, 4.0);
  EXPECT_EQ(w.wind, 3.0);
  // Cell 4 (1111 m) lies 11 % of the way from band 3 (1100 m) to band 4.
  w = elev_band_temper(hm, 4, 1111.0, 30.0);
  const double t3 = 25.0 - 0.9761194029850746, t4 = 25.0 - 2 * 0.9761194029850746;
  EXPECT_NEAR(w.T, t3 + 0.11 * (t4 - t3), 1e-9);
  EXPECT_NEAR(w.T, 25.0 - 0.009761194029850746 * 111.0, 1e-9);
}

TEST_F(Bands, GagesAreWeightedByInverseSquaredDistance) {
  hydromet_state& hm = ms->hydromet;
  // A single gage, far or near, has the weight 1.
  ASSERT_TRUE(elev_band_assign(ms->grid, hm));
  ASSERT_TRUE(lapse_rate_bands(hm, 1, 10.0, 950.0, 0.5));
  EXPECT_NEAR(elev_band_temper(hm, 1, 1000.0, 30.0).T, 10.0, 1e-12);
  // Two gages 5 and 6 km away at 10 and 16 C: weights 1/25 and 1/36.
  set_gages(2);
  ASSERT_TRUE(elev_band_assign(ms->grid, hm));
  for (int k = 0; k <= hm.elev_band_count; ++k)
    for (int f = 1; f <= 6; ++f) hm.El_T_P_e_es_LR(2, k, f) = hm.El_T_P_e_es_LR(1, k, f);
  ASSERT_TRUE(lapse_rate_bands(hm, 1, 10.0, 950.0, 0.5));
  ASSERT_TRUE(lapse_rate_bands(hm, 2, 16.0, 950.0, 0.5));
  const double w1 = 1.0 / 25.0, w2 = 1.0 / 36.0;
  EXPECT_NEAR(elev_band_temper(hm, 1, 1000.0, 30.0).T, (10.0 * w1 + 16.0 * w2) / (w1 + w2), 1e-12);
}

TEST_F(Bands, AFixedLapseRateCarriesTheGageAirUpward) {
  hydromet_state& hm = ms->hydromet;
  auto g = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh[1];
  g[5] = 900.0;
  g[10] = 0.622 * 10.0 / (900.0 - 0.378 * 10.0);  // 10 mb of vapour
  hm.hmet_temperature = 15.0;
  // 6.5 K per km: 500 m above the gage is 3.25 K colder.
  cell_weather w = fixed_lapse_weather(hm, 1500.0, 0.0065);
  EXPECT_NEAR(w.T, 11.75, 1e-12);
  EXPECT_NEAR(w.P, 900.0 * std::pow(284.9 / 288.15, 9.81 / (0.0065 * 287.0)), 1e-9);
  EXPECT_NEAR(w.e, 10.0 * w.P / 900.0, 1e-9);  // the vapour keeps its share of the air
  // No lapse at all: isothermal air, the pressure falling exponentially.
  w = fixed_lapse_weather(hm, 1500.0, 0.0);
  EXPECT_NEAR(w.T, 15.0, 1e-12);
  EXPECT_NEAR(w.P, 900.0 * std::exp(-9.81 * 500.0 / (287.0 * 288.15)), 1e-9);
}

TEST_F(Bands, SnowAndWaterSetTheAlbedoAndItAgesDaily) {
  hydromet_state& hm = ms->hydromet;
  const int n = ms->grid.ncells;
  for (auto* a : {&hm.albedo_cell, &hm.albedo_w_snow, &hm.snow_swe, &hm.temper_gridded_sum, &hm.cell_air_temp})
    a->alloc(n);
  for (auto* a : {&hm.melt_occurred, &hm.Hours_Since_Snow}) a->alloc(n);
  hm.albedo_cell[1] = 0.2;
  hm.snow_swe[1] = 0.05;
  hm.albedo_w_snow[1] = fresh_snow_albedo;
  // A cold day without melt: 0.013 less.
  hm.temper_hours = 24;
  hm.temper_gridded_sum[1] = -5.0 * 24;
  snow_albedo_update(hm, 1);
  EXPECT_NEAR(hm.albedo_w_snow[1], 0.83 - 0.013, 1e-12);
  EXPECT_EQ(hm.temper_gridded_sum[1], 0.0);
  // A warm day: 0.17 less.
  hm.temper_gridded_sum[1] = 3.0 * 24;
  snow_albedo_update(hm, 1);
  EXPECT_NEAR(hm.albedo_w_snow[1], 0.83 - 0.013 - 0.17, 1e-12);
  // After melt, 0.011 per day since the snow fell: two days.
  hm.melt_occurred[1] = 3;
  hm.Hours_Since_Snow[1] = 48;
  snow_albedo_update(hm, 1);
  EXPECT_NEAR(hm.albedo_w_snow[1], 0.83 - 0.022, 1e-12);
  EXPECT_EQ(hm.melt_occurred[1], 0);
  // Never below the ground's own albedo; without snow the ground's.
  hm.albedo_w_snow[1] = 0.21;
  snow_albedo_update(hm, 1);
  EXPECT_EQ(hm.albedo_w_snow[1], 0.2);
  hm.snow_swe[1] = 0.0;
  hm.albedo_w_snow[1] = 0.5;
  snow_albedo_update(hm, 1);
  EXPECT_EQ(hm.albedo_w_snow[1], 0.2);
  // Zero hours summed: the cell's own temperature decides, no division.
  hm.snow_swe[1] = 0.05;
  hm.albedo_w_snow[1] = 0.7;
  hm.temper_hours = 0;
  hm.cell_air_temp[1] = 4.0;
  snow_albedo_update(hm, 1);
  EXPECT_NEAR(hm.albedo_w_snow[1], 0.7 - 0.17, 1e-12);
  EXPECT_EQ(fresh_snow_albedo, 0.83);
  EXPECT_EQ(open_water_albedo, 0.08);
}

}  // namespace
}  // namespace nivra::testing
