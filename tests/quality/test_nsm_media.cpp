// The nutrient container's media: sizes, names, lists and the index map
// between soil pools and water constituents.
#include <gtest/gtest.h>

#include <cmath>

#include <memory>
#include <string>

#include "quality/nsm.h"
#include "quality/nsm/nsm_media.h"

namespace nivra {
namespace {

TEST(NsmNames, WaterItemsAndSoilPoolsByIndex) {
  struct row {
    int index, soil;
    const char* name;
  };
  const row rows[] = {
      {0, 0, "Nitrite (NO2-)"},
      {2, 0, "Ammonium (NH4+)"},
      {4, 0, "Organic Phosphorous (Organic P)"},
      {7, 0, "Carbonaceous Biochemical Oxygen Demand"},
      {8, 0, "Dissolved Oxygen (O2)"},
      {10, 0, "Dissolved Org. Carbon, Fraction Org. C."},
      {11, 0, "Dispersion coefficient"},
      {0, 1, "Organic Active Carbon"},
      {4, 1, "Organic Active Nitrogen"},
      {8, 1, "Mineral Solution Phosphorus"},
      {12, 1, "Organic Stable Phosphorus"},
  };
  for (const auto& r : rows) {
    std::string b = "x";
    nsm_display_name(b, r.index, r.soil);
    EXPECT_EQ(b, r.name) << r.index << " " << r.soil;
  }
  // Outside the tables the buffer stays as it was.
  for (auto [index, soil] : {std::pair{12, 0}, std::pair{13, 1}, std::pair{-1, 0}, std::pair{3, 2}}) {
    std::string b = "unchanged";
    nsm_display_name(b, index, soil);
    EXPECT_EQ(b, "unchanged") << index << " " << soil;
  }
}

TEST(NsmMedia, OverlandSizesListAndChemistry) {
  nsm_overland ov;
  nsm_partition_coeffs k{};
  k.nh4_km = 0.25;
  k.dp_koc = 3.5;
  testing::internal::CaptureStdout();
  nsm_alloc_overland(ov, 5, 30.0, 20.0, k);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Allocating memory for overland NSM...Done\n");
  nsm_overland_set_grid(ov, 4, 30.0, 7.2);
  EXPECT_EQ(ov.ncells, 5);
  EXPECT_DOUBLE_EQ(ov.cell_area, 900.0);
  EXPECT_EQ(ov.first_nsm_constituent, 4);
  EXPECT_EQ(ov.partition, k);
  for (int c = 0; c < nsm_water_items; ++c) {
    EXPECT_EQ(ov.water.list[c], &ov.water[c]);
    EXPECT_EQ(ov.water[c].conc.count(), 5);
    EXPECT_EQ(ov.water[c].mass.count(), 5);
    EXPECT_EQ(ov.water[c].dmdt.count(), 5);
  }
  for (auto* a : {&ov.doc, &ov.doc_foc, &ov.dispersion, &ov.total_n, &ov.total_p, &ov.nh3}) {
    EXPECT_EQ(a->count(), 5);
    EXPECT_EQ((*a)[5], 0.0);
  }
  EXPECT_EQ(ov.water_temp[3], 20.0);
  EXPECT_NEAR(ov.chem.h_ion, 6.30957e-8, 1e-12);
  EXPECT_NEAR(-std::log10(ov.chem.ka), 9.4025, 5e-5);
}

TEST(NsmMedia, ListSlotsWithAndWithoutTheShiftedIndex) {
  for (bool shift : {false, true}) {
    nsm_lake lake;
    lake.water.list.shift_index = shift;
    testing::internal::CaptureStdout();
    nsm_alloc_lakes(lake, 2, 15.0, {});
    testing::internal::GetCapturedStdout();
    nsm_constituent** slots = lake.water.list.data();
    const int first = shift ? 1 : 0;
    if (shift) {
      EXPECT_EQ(slots[0], nullptr);
    }
    for (int c = 0; c < 9; ++c) EXPECT_EQ(slots[first + c], &lake.water[c]) << shift << " " << c;
    EXPECT_EQ(lake.water.list[3], &lake.water[3]);
    EXPECT_FALSE(lake.water.list.bad_range());
  }
}

TEST(NsmMedia, StreamSizesAndArrayNames) {
  nsm_stream st;
  testing::internal::CaptureStdout();
  nsm_alloc_streams(st, 3, 4, 12.0, {});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Allocating memory for NSM Streams...Done\n");
  nsm_stream_init(st, 1, 7.0);
  EXPECT_EQ(st.water[nsm_c::no2].conc.count(), 4 * 5);
  EXPECT_EQ(st.water_temp[20], 12.0);
  EXPECT_EQ(st.total_n.count(), 5);
  EXPECT_EQ(st.total_n.row_length(), 4);
  EXPECT_DOUBLE_EQ(st.chem.h_ion, 1e-7);
  nsm_stream_name_arrays(st);
  EXPECT_STREQ(st.water[nsm_c::no2].conc.name(), "nutr_st-NO2-conc");
  EXPECT_STREQ(st.water[nsm_c::cbod].mass.name(), "nutr_st-CBOD-mass");
  EXPECT_STREQ(st.water[nsm_c::o2].dmdt.name(), "nutr_st-DO-dmdt");
  EXPECT_STREQ(st.doc.name(), "nutr_st-dissOrgC");
  EXPECT_STREQ(st.doc_foc.name(), "nutr_st-dissOrgC_FOC");
  EXPECT_STREQ(st.dispersion.name(), "nutr_st-dispersion");
  EXPECT_STREQ(st.water_temp.name(), "nutr_st-water_temp");
  EXPECT_STREQ(st.water.list.name(), "nutr_st-list");
}

TEST(NsmMedia, SoilPoolsAndTheirList) {
  for (bool shift : {false, true}) {
    nsm_soil soil;
    soil.pool_list.shift_index = shift;
    testing::internal::CaptureStdout();
    nsm_alloc_soils(soil, 3, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Allocating memory for NSM Soils...Done\n");
    jagged_array<double>** slots = soil.pool_list.data();
    for (int k = 0; k < nsm_soil_pools; ++k) {
      EXPECT_EQ(slots[(shift ? 2 : 1) + k], &soil.pool[static_cast<std::size_t>(k)]);
      EXPECT_EQ(soil.pool[static_cast<std::size_t>(k)].count(), 3);
      EXPECT_EQ(soil.pool[static_cast<std::size_t>(k)].row_length(), 2);
    }
    EXPECT_EQ(soil.cell_partition.count(), 3);
    EXPECT_EQ(soil.cell_partition.row_length(), 12);
  }
}

TEST(NsmLookup13, PoolsAndWaterConstituentsBothWays) {
  const int base = 5;
  // water constituent -> its pool slot (to_pool 1)
  const int to_pool[13] = {-1, 3, 2, 4, 10, 8, -1, -1, -1, -1, -1, -1, -1};
  // pool slot -> its water constituent (to_pool 0)
  const int to_water[13] = {-1, -1, 2, 1, 3, -1, -1, -1, 5, -1, 4, -1, -1};
  for (int k = 0; k < 13; ++k) {
    EXPECT_EQ(lookup13(base, base + k, 1), to_pool[k] < 0 ? -1 : base + to_pool[k]) << k;
    EXPECT_EQ(lookup13(base, base + k, 0), to_water[k] < 0 ? -1 : base + to_water[k]) << k;
  }
  // The partners by name: NH4 and its pool, NO3 and its pool, ON and Organic
  // Active N, OP and Organic Active P, DP and Mineral Solution P.
  EXPECT_EQ(lookup13(0, nsm_c::nh4, 1), nsm_pool::nh4);
  EXPECT_EQ(lookup13(0, nsm_c::no3, 1), nsm_pool::no3);
  EXPECT_EQ(lookup13(0, nsm_c::on, 1), nsm_pool::org_active_n);
  EXPECT_EQ(lookup13(0, nsm_c::op, 1), nsm_pool::org_active_p);
  EXPECT_EQ(lookup13(0, nsm_c::dp, 1), nsm_pool::min_solution_p);
  for (auto [pool, water] : nsm_soil_partners) {
    EXPECT_EQ(lookup13(0, pool, 0), water);
    EXPECT_EQ(lookup13(0, water, 1), pool);
  }
  // Outside the nutrient block the index comes back unchanged.
  EXPECT_EQ(lookup13(base, base - 1, 1), base - 1);
  EXPECT_EQ(lookup13(base, base + 13, 0), base + 13);
}

// The whole container goes in one piece, with and without lakes and soil
// (the sanitizer build reports what a teardown leaks or releases twice).
// Each container holds the parts it was given, at their sizes, and starts
// from nothing of the one before it: a calibration builds thousands in one
// process.
TEST(NsmContainer, TeardownWithAndWithoutLakesAndSoil) {
  for (int variant = 0; variant < 4; ++variant) {
    SCOPED_TRACE(variant);
    const bool lakes = (variant & 1) != 0, soil = (variant & 2) != 0;
    auto model = std::make_unique<nsm>();
    testing::internal::CaptureStdout();
    nsm_alloc_overland(model->overland, 4, 10.0, 18.0, {});
    nsm_overland_set_grid(model->overland, 1, 10.0, 7.2);
    nsm_alloc_streams(model->stream, 2, 3, 18.0, {});
    nsm_stream_init(model->stream, 1, 7.2);
    if (lakes) {
      nsm_alloc_lakes(model->lake, 2, 18.0, {});
      nsm_lake_set_sizes(model->lake, 1, 7.2);
    }
    if (soil) nsm_alloc_soils(model->soil, 4, 3);
    testing::internal::GetCapturedStdout();
    nsm_constituent& no3 = model->overland.water[nsm_c::no3];
    EXPECT_EQ(no3.mass.count(), 4);
    EXPECT_EQ(no3.mass[4], 0.0);  // not the 1 g the last container held
    EXPECT_EQ(model->stream.water[nsm_c::no3].mass.count(), 3 * 4);
    EXPECT_EQ(model->lake.water[nsm_c::no3].mass.count(), lakes ? 2 : 0);
    EXPECT_EQ(model->lake.total_n.count(), lakes ? 2 : 0);
    EXPECT_EQ(model->soil.pool[nsm_pool::no3].count(), soil ? 4 : 0);
    EXPECT_EQ(model->soil.cell_partition.count(), soil ? 4 : 0);
    no3.mass[4] = 1.0;
    EXPECT_FALSE(no3.mass.bad_range());
    model.reset();
  }
}

}  // namespace
}  // namespace nivra
