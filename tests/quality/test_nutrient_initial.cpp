// Initial values of the nutrient media by each source, with the masses
// they give, and the soil pools' tables.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "quality/nsm/nutrient_initial.h"

namespace nivra {
namespace {

std::string captured(const std::function<void()>& f) {
  ::testing::internal::CaptureStdout();
  f();
  return ::testing::internal::GetCapturedStdout();
}

// Three cells of 10 m x 10 m with 0.1, 0 and 0.5 m of water.
struct cells {
  nsm_overland ov;
  const double depth[4] = {0.0, 0.1, 0.0, 0.5};
  const double map[4] = {0.0, 1.5, 2.5, 3.5};
  cells() {
    captured([&] { nsm_alloc_overland(ov, 3, 10.0, 20.0, {}); });
  }
};

TEST(NutrientInitial, CellConstituentBySource) {
  struct row {
    int mode;
    bool table;
    const char* line;
    double conc[3];
  };
  const row rows[] = {
      {3, false, "Assigning spatially uniform parameters for the Nitrate (NO3-) constituent\n", {2.0, 2.0, 2.0}},
      {2, true, "Assigning parameters for the Nitrate (NO3-) constituent from the mapping table.\n", {4.0, 5.0, 6.0}},
      {1, false, "Assigning parameters from a continuous map for the constituent Nitrate (NO3-)\n", {1.5, 2.5, 3.5}},
  };
  for (const auto& r : rows) {
    cells c;
    auto& rec = c.ov.water[nsm_c::no3];
    for (int i = 1; i <= 3; ++i) rec.conc[i] = 3.0 + i;  // what a table left
    nsm_init_status s{};
    EXPECT_EQ(captured([&] {
                s = nsm_init_cell_constituent(r.mode, r.table, 2.0, c.map, "Nitrate (NO3-)", rec, c.depth, 3, 100.0);
              }),
              r.line);
    EXPECT_EQ(s, nsm_init_status::done);
    for (int i = 1; i <= 3; ++i) {
      EXPECT_EQ(rec.conc[i], r.conc[i - 1]) << r.mode << " " << i;
      // mass = dx x depth x dx x conc
      EXPECT_DOUBLE_EQ(rec.mass[i], 100.0 * c.depth[i] * r.conc[i - 1]) << r.mode << " " << i;
    }
  }
}

TEST(NutrientInitial, WithoutACardATableLeavesConcentrationsAndNoMass) {
  cells c;
  auto& rec = c.ov.water[nsm_c::alg];
  rec.conc[1] = 7.0;  // from a table
  EXPECT_EQ(nsm_init_cell_constituent(0, true, 0.0, nullptr, "Algae", rec, c.depth, 3, 100.0),
            nsm_init_status::untouched);
  EXPECT_EQ(rec.conc[1], 7.0);
  EXPECT_EQ(rec.mass[1], 0.0);
  // A card asking for the table without the table.
  EXPECT_EQ(nsm_init_cell_constituent(2, false, 0.0, nullptr, "Algae", rec, c.depth, 3, 100.0),
            nsm_init_status::no_table);
}

TEST(NutrientInitial, FieldsWithoutMass) {
  cells c;
  EXPECT_EQ(captured([&] { nsm_init_cell_field(3, false, 0.4, nullptr, "Dissolved Org. Carbon", c.ov.doc, 3, false); }),
            "Assigning spatially uniform parameters for the Dissolved Org. Carbon constituent\n");
  EXPECT_EQ(c.ov.doc[3], 0.4);
  EXPECT_EQ(captured([&] {
              nsm_init_cell_field(1, false, 0.0, c.map, "Dispersion coefficient", c.ov.dispersion, 3, true);
            }),
            "Assigning parameters from a continuous map for the overland constituent Dispersion coefficient\n");
  EXPECT_EQ(c.ov.dispersion[2], 2.5);
  EXPECT_EQ(nsm_init_cell_field(2, false, 0.0, nullptr, "Dispersion coefficient", c.ov.dispersion, 3, true),
            nsm_init_status::no_table);
  EXPECT_EQ(captured([&] {
              nsm_init_cell_field(2, true, 0.0, nullptr, "Dispersion coefficient", c.ov.dispersion, 3, true);
            }),
            "Assigning parameters for the overland constituent Dispersion coefficient from the mapping table.\n");
}

// Two links of two nodes with stride 3; link 2 is a lake link (no bits 4,
// 8, 16) and gets nothing.
struct streams {
  nsm_stream st;
  int nx[3] = {0, 2, 2};
  int ltype[3] = {0, 4, 32};
  // Flow areas in the channel's layout, row stride 4.
  double area[12] = {0, 0, 0, 0, 0, 2.0, 3.0, 0, 0, 5.0, 5.0, 0};
  double length[3] = {0.0, 10.0, 10.0};
  double per_link[3] = {0.0, 0.8, 0.9};
  nsm_stream_nodes nodes{2, 3, nx, ltype, area, length, 4};
  streams() {
    captured([&] { nsm_alloc_streams(st, 2, 3, 20.0, {}); });
  }
};

TEST(NutrientInitial, StreamConstituentBySourceWithItsMass) {
  const struct {
    int mode;
    const char* line;
    double conc;
  } rows[] = {
      {3, "Assigning spatially uniform parameters for the stream constituent Algae\n", 0.5},
      {1, "Assigning parameters from a continuous map for the stream constituent Algae\n", 0.8},
      // The table's concentration carries its mass as the other sources do.
      {2, "Assigning parameters for the stream constituent Algae from the mapping table.\n", 0.25},
  };
  for (const auto& r : rows) {
    streams s;
    auto& rec = s.st.water[nsm_c::alg];
    for (int k : {4, 5, 7, 8}) rec.conc[k] = 0.25;  // what a table left
    EXPECT_EQ(captured([&] { nsm_init_stream_constituent(r.mode, true, 0.5, s.per_link, "Algae", rec, s.nodes, false); }),
              r.line);
    EXPECT_EQ(rec.conc[4], r.conc);
    EXPECT_DOUBLE_EQ(rec.mass[4], 10.0 * 2.0 * r.conc);
    EXPECT_DOUBLE_EQ(rec.mass[5], 10.0 * 3.0 * r.conc);
    // The lake link keeps what it had and gets no mass.
    EXPECT_EQ(rec.conc[7], 0.25);
    EXPECT_EQ(rec.mass[7], 0.0);
  }
  streams s;
  auto& rec = s.st.water[nsm_c::o2];
  EXPECT_EQ(nsm_init_stream_constituent(2, false, 0.0, nullptr, "Dissolved Oxygen (O2)", rec, s.nodes, false),
            nsm_init_status::no_table);
  captured([&] { nsm_init_stream_constituent(3, false, 9.0, nullptr, "DO", rec, s.nodes, true); });
  EXPECT_EQ(rec.conc[5], 9.0);
  EXPECT_EQ(rec.mass[5], 0.0);  // no-mass
}

TEST(NutrientInitial, SoilSurfaceLayerAndPartitionRecords) {
  nsm_soil soil;
  captured([&] { nsm_alloc_soils(soil, 2, 3); });
  soil.pool[nsm_pool::nh4](1, 1) = 2.5;
  soil.pool[nsm_pool::nh4](1, 2) = 2.5;
  soil.pool[nsm_pool::org_stable_p](2, 1) = 0.004;
  nsm_soil_surface_to_grams(soil);
  EXPECT_EQ(soil.pool[nsm_pool::nh4](1, 1), 2500.0);
  EXPECT_EQ(soil.pool[nsm_pool::nh4](1, 2), 2.5);  // below the surface: unchanged
  EXPECT_DOUBLE_EQ(soil.pool[nsm_pool::org_stable_p](2, 1), 4.0);

  double a[6][3] = {};
  for (int j = 0; j < 6; ++j) a[j][1] = j + 1, a[j][2] = 10 * (j + 1);
  const double* const six[6] = {a[0], a[1], a[2], a[3], a[4], a[5]};
  nsm_soil_set_partition(soil, 0, six);
  nsm_soil_set_partition(soil, 6, six);
  EXPECT_EQ(soil.cell_partition(1, 1), 1.0);   // Km of NO2
  EXPECT_EQ(soil.cell_partition(2, 6), 60.0);  // Km of DP
  EXPECT_EQ(soil.cell_partition(2, 7), 10.0);  // Koc of NO2
  EXPECT_EQ(soil.cell_partition(1, 12), 6.0);  // Koc of DP
}

// A partner pool below zero is made up to zero at once; its partner's water
// owes the amount in its exchange row (row = the water constituent's
// index). A pool above zero and a pool without a water partner ask nothing.
TEST(NutrientSoilStep, NegativePartnerPoolsAreMadeUpOutOfTheirPartnersWater) {
  nsm_soil soil;
  captured([&] { nsm_alloc_soils(soil, 2, 1); });
  soil.pool[nsm_pool::nh4](1, 1) = -2.0;
  soil.pool[nsm_pool::min_solution_p](2, 1) = -0.5;
  soil.pool[nsm_pool::no3](2, 1) = 4.0;            // positive: nothing
  soil.pool[nsm_pool::org_stable_n](1, 1) = -9.0;  // no partner: nothing
  double cell[nsm_water_items][3] = {};
  double* rows[nsm_water_items];
  for (int w = 0; w < nsm_water_items; ++w) rows[w] = cell[w];
  const std::array<double, nsm_water_items> made_up = nsm_overland_cell_update(soil, rows);
  EXPECT_EQ(cell[nsm_c::nh4][1], -2.0);
  EXPECT_EQ(cell[nsm_c::dp][2], -0.5);
  EXPECT_EQ(cell[nsm_c::no3][2], 0.0);
  EXPECT_EQ(cell[nsm_c::o2][2], 0.0);  // the DP pool's slot is not DO's row
  EXPECT_EQ(made_up[nsm_c::nh4], 2.0);
  EXPECT_EQ(made_up[nsm_c::dp], 0.5);
  for (int w : {nsm_c::no2, nsm_c::no3, nsm_c::on, nsm_c::op, nsm_c::alg, nsm_c::cbod, nsm_c::o2})
    EXPECT_EQ(made_up[static_cast<std::size_t>(w)], 0.0) << w;
  EXPECT_EQ(soil.pool[nsm_pool::nh4](1, 1), 0.0);
  EXPECT_EQ(soil.pool[nsm_pool::min_solution_p](2, 1), 0.0);
  EXPECT_EQ(soil.pool[nsm_pool::no3](2, 1), 4.0);
  EXPECT_EQ(soil.pool[nsm_pool::org_stable_n](1, 1), -9.0);
  // Made up once: a second call asks nothing more.
  const std::array<double, nsm_water_items> again = nsm_overland_cell_update(soil, rows);
  EXPECT_EQ(again[nsm_c::nh4], 0.0);
  EXPECT_EQ(cell[nsm_c::nh4][1], -2.0);
}

// The numbering of the nutrients' soil rows: the soil side of each water
// constituent's row is its partner pool.
TEST(NutrientSoilStep, EachWaterConstituentHasAtMostOnePoolAndEachPoolOneRow) {
  const int pools[nsm_water_items] = {-1,
                                      nsm_pool::no3,
                                      nsm_pool::nh4,
                                      nsm_pool::org_active_n,
                                      nsm_pool::org_active_p,
                                      nsm_pool::min_solution_p,
                                      -1,
                                      -1,
                                      -1};
  for (int w = 0; w < nsm_water_items; ++w) {
    EXPECT_EQ(nsm_partner_pool(w), pools[w]) << w;
    if (pools[w] >= 0) EXPECT_EQ(nsm_pool_partner(pools[w]), w) << w;
  }
  int with_row = 0;
  for (int slot = 0; slot < nsm_soil_pools; ++slot) with_row += nsm_pool_partner(slot) >= 0;
  EXPECT_EQ(with_row, 5);
  EXPECT_EQ(nsm_partner_pool(-1), -1);
  EXPECT_EQ(nsm_partner_pool(nsm_water_items), -1);
}

}  // namespace
}  // namespace nivra
