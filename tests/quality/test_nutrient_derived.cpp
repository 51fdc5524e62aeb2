// Unionized ammonia and the nutrient totals against hand calculations.
#include <gtest/gtest.h>

#include <cmath>

#include "quality/nsm/nutrient_derived.h"

namespace nivra {
namespace {

// The tabulated pKa of ammonium (Emerson et al. 1975): 9.40 at 20 C and
// 9.245 at 25 C.
TEST(UnionizedAmmonia, PkaAgainstTheTabulatedValues) {
  EXPECT_NEAR(nsm_ammonium_pka(20.0), 9.4025, 5e-5);
  EXPECT_NEAR(nsm_ammonium_pka(25.0), 9.2464, 5e-5);
  EXPECT_NEAR(nsm_ammonium_pka(20.0), 9.40, 0.005);
  EXPECT_NEAR(nsm_ammonium_pka(25.0), 9.245, 0.005);
}

nsm_water_chemistry chem_at(double t, double ph) {
  nsm_water_chemistry c;
  c.ka = nsm_ammonium_ka(t);
  nsm_set_ph(c, ph);
  return c;
}

TEST(UnionizedAmmonia, OneElementByHandAndItsThresholds) {
  const auto chem = chem_at(20.0, 7.2);
  // 18.039 g of NH4 in 10 m3 at pH 7.2 and 20 C: NH3 = NH4 10^(pH - pKa)
  // 17.031 / 18.039 = 17.031 x 10^(7.2 - 9.40254) = 0.10685 g, about 0.59
  // per cent of the ammonium.
  EXPECT_NEAR(nsm_unionized_ammonia_mass(18.039, 10.0, chem, nsm_min_molar_nh4_ov), 0.10685, 5e-5);
  EXPECT_NEAR(nsm_unionized_ammonia_mass(18.039, 10.0, chem, nsm_min_molar_nh4_ov) / 18.039, 0.0059, 1e-4);
  struct row {
    double nh4, volume, floor, expected_zero;
  };
  // molar NH4 c = m / 18.039 / V
  const row rows[] = {
      {18.039, 0.00009, nsm_min_molar_nh4_ov, 1},        // less than 0.0001 m3 of water
      {18.039, 0.0, nsm_min_molar_nh4_stream, 1},        // dry
      {18.039 * 5e-8, 1.0, nsm_min_molar_nh4_ov, 1},     // c = 5e-8 below the cells' floor
      {18.039 * 5e-8, 1.0, nsm_min_molar_nh4_stream, 0}, // but above the streams'
      {18.039 * 5e-9, 1.0, nsm_min_molar_nh4_stream, 1}, // below both
      {18.039 * 2e-7, 1.0, nsm_min_molar_nh4_ov, 0},
  };
  for (const auto& r : rows) {
    const double nh3 = nsm_unionized_ammonia_mass(r.nh4, r.volume, chem, r.floor);
    if (r.expected_zero)
      EXPECT_EQ(nh3, 0.0) << r.nh4 << " " << r.volume;
    else
      EXPECT_NEAR(nh3, r.nh4 * std::pow(10.0, 7.2 - nsm_ammonium_pka(20.0)) * 17.031 / 18.039, 1e-15)
          << r.nh4;
  }
}

// Masses NO2..DP of 1..6 g give total N = 10 + NH3, TKN = 7 + NH3, TP = 11.
template <class Set>
void put_masses(Set& water, int k) {
  for (int c = 0; c < 6; ++c) water[c].mass[k] = c + 1.0;
}

TEST(NutrientTotals, OneCellByHandAndADryCell) {
  nsm_overland ov;
  testing::internal::CaptureStdout();
  nsm_alloc_overland(ov, 2, 10.0, 20.0, {});
  testing::internal::GetCapturedStdout();
  nsm_overland_set_grid(ov, 1, 10.0, 7.2);
  put_masses(ov.water, 1);
  put_masses(ov.water, 2);
  const double depth[] = {0.0, 0.1, 0.0};  // 10 m3 on cell 1, cell 2 dry
  nsm_overland_unionized_ammonia(ov, depth);
  const double nh3 = 3.0 * std::pow(10.0, 7.2 - 9.402537) * 17.031 / 18.039;
  EXPECT_NEAR(ov.nh3[1], nh3, 2e-5);
  EXPECT_EQ(ov.nh3[2], 0.0);
  const double* tn = nsm_overland_total_nitrogen(ov);
  const double* tp = nsm_overland_total_phosphorus(ov);
  EXPECT_NEAR(tn[1], 10.0 + nh3, 2e-5);
  EXPECT_EQ(tn[2], 10.0);
  EXPECT_EQ(tp[1], 11.0);
  EXPECT_EQ(tp[2], 11.0);
}

TEST(NutrientTotals, OneLakeByHandAndAnEmptyLake) {
  nsm_lake lake;
  testing::internal::CaptureStdout();
  nsm_alloc_lakes(lake, 2, 25.0, {});
  testing::internal::GetCapturedStdout();
  nsm_lake_set_sizes(lake, 1, 8.0);
  put_masses(lake.water, 1);
  put_masses(lake.water, 2);
  const double volume[] = {0.0, 500.0, 0.0};
  nsm_lake_unionized_ammonia(lake, volume);
  const double nh3 = 3.0 * std::pow(10.0, 8.0 - 9.246384) * 17.031 / 18.039;
  EXPECT_NEAR(lake.nh3[1], nh3, 2e-5);
  const double* tn = nsm_lake_total_nitrogen(lake);
  const double* tkn = nsm_lake_total_kjeldahl_n(lake);
  const double* tp = nsm_lake_total_phosphorus(lake);
  EXPECT_NEAR(tn[1], 10.0 + nh3, 2e-5);
  EXPECT_NEAR(tkn[1], 7.0 + nh3, 2e-5);
  EXPECT_EQ(tp[1], 11.0);
  EXPECT_EQ(tn[2], 10.0);
  EXPECT_EQ(tkn[2], 7.0);
  // Total N and TKN are two arrays: both stay after both were computed.
  EXPECT_NE(tn, tkn);
  EXPECT_NEAR(lake.total_n[1] - lake.tkn[1], 3.0, 1e-12);
}

TEST(NutrientTotals, OneNodeByHandAndALinkWithoutNodes) {
  nsm_stream st;
  testing::internal::CaptureStdout();
  nsm_alloc_streams(st, 2, 3, 20.0, {});
  testing::internal::GetCapturedStdout();
  nsm_stream_init(st, 1, 7.2);
  const int nx[] = {0, 2, 0};                 // link 2 has no nodes
  const double node_length[] = {0.0, 50.0, 50.0};
  double area[12] = {};
  // The channel's node arrays have their own row stride (4 here).
  area[4 * 1 + 1] = 0.2;                      // link 1 node 1: 10 m3
  area[4 * 1 + 2] = 0.000001;                 // link 1 node 2: 0.00005 m3
  put_masses(st.water, 4);
  put_masses(st.water, 5);
  put_masses(st.water, 7);
  st.total_n(1, 2) = -9.0;                    // left alone: link 2 has no nodes
  const nsm_stream_water w{nx, area, node_length, 4};
  nsm_stream_unionized_ammonia(st, w);
  const double nh3 = 3.0 * std::pow(10.0, 7.2 - 9.402537) * 17.031 / 18.039;
  EXPECT_NEAR(st.nh3(1, 1), nh3, 2e-5);
  EXPECT_EQ(st.nh3(2, 1), 0.0);
  auto& tn = nsm_stream_total_nitrogen(st, w);
  auto& tkn = nsm_stream_total_kjeldahl_n(st, w);
  auto& tp = nsm_stream_total_phosphorus(st, w);
  EXPECT_NEAR(tn(1, 1), 10.0 + nh3, 2e-5);
  EXPECT_NEAR(tkn(1, 1), 7.0 + nh3, 2e-5);
  EXPECT_EQ(tp(1, 1), 11.0);
  EXPECT_EQ(tn(2, 1), 10.0);
  EXPECT_EQ(tn(1, 2), -9.0);
  EXPECT_EQ(tp(1, 2), 0.0);
}

}  // namespace
}  // namespace nivra
