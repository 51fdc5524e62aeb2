// The constituent set-up: how many constituents a project carries and of
// which kind, the parameters they take from the uniform cards, the soil
// column under each soil scheme, and the masses a run starts from, checked
// against hand calculations.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/process.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/contaminant_setup.h"
#include "inputs/cmt_fixture.h"
#include "quality/quality_fixture.h"
#include "surface/boundary_codes.h"

namespace nivra {
namespace {

using testing::constituent_record;

class ContaminantSetup : public testing::process_test {};

TEST_F(ContaminantSetup, UniformCardsDescribeOneContaminant) {
  auto ms = constituent_record(4, 10.0);
  constituent_state& k = ms->constituent;
  k.ov_disp_coef = 0.5;
  k.ov_decay_coef = 0.864;    // per day
  ms->overland.ov_depth[1] = 0.02;
  ms->overland.ov_depth[2] = 1e-17;  // dry: no overland mass whatever the concentration
  ::testing::internal::CaptureStdout();
  setup_contaminants(*ms);
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_FALSE(process.error_block.stop) << out;
  EXPECT_NE(out.find("using uniform contaminant transport values\n"), std::string::npos);
  ASSERT_EQ(k.num_contaminants, 1);
  ASSERT_EQ(k.num_constituents, 1);
  EXPECT_EQ(k.num_contam_constituents, 1);
  EXPECT_EQ(k.constituent_type[1], 1);
  EXPECT_EQ(k.soil_contam_layers, 0);
  EXPECT_EQ(k.OV_MASS_INIT.count(), 1);
  EXPECT_EQ(k.cell_disp_coef(1, 3), 0.5);
  EXPECT_EQ(k.land_mass(1, 4), 0.0);
  k.ov_conc(1, 1) = 5.0;  // g/m3
  k.ov_conc(1, 2) = 5.0;
  init_soil_contam(*ms);
  EXPECT_DOUBLE_EQ(k.cell_decay_coef(1, 1), 0.864 / 86400.0);
  EXPECT_DOUBLE_EQ(k.ov_mass(1, 1), 0.02 * 5.0 * 100.0);  // 10 g
  EXPECT_EQ(k.ov_mass(1, 2), 0.0);
  EXPECT_EQ(k.ov_conc(1, 2), 0.0);
  EXPECT_DOUBLE_EQ(k.OV_MASS_INIT[1], 0.01);  // kg
  EXPECT_EQ(k.OV_LAND_MASS_INIT[1], 0.0);
  EXPECT_DOUBLE_EQ(k.GLOBAL_MASS_INIT[1], 0.01);
  ASSERT_TRUE(k.mass_books);
  EXPECT_EQ(k.mass_books->constituents(), 1);
  EXPECT_EQ(k.mass_books->terms(), n_constituent_terms);
  const mass_balance_sums b = k.mass_books->run_balance_of(1, mass_ledger::whole_model());
  EXPECT_DOUBLE_EQ(b.initial, 0.01);
}

// The exchange with the land runs at the land's concentration, which the
// uniform cards do not give: a land load, an exchange rate or a load map
// on the uniform cards stops the set-up naming the cards, unless a soil
// column (SOIL_CON_TRANS) takes the land's place.
TEST_F(ContaminantSetup, UniformLandCardsNeedTheLandsConcentration) {
  const struct {
    double load, rate;
    int map, column;
    const char* names;  // nullptr: the set-up goes on
  } rows[] = {
      {2.0, 0.0, 0, 0, "Error: OV_MASS_LOAD acts through the exchange"},
      {0.0, 8.64, 0, 0, "Error: OV_UPTAKE_RATE acts through"},
      {2.0, 8.64, 0, 0, "Error: OV_MASS_LOAD and OV_UPTAKE_RATE act through"},
      {2.0, 8.64, 1, 0, "Error: OV_MASS_LOAD, OV_UPTAKE_RATE and CONTAM_MAP act through"},
      {0.0, 0.0, 0, 0, nullptr},
      {2.0, 8.64, 0, 1, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.names ? r.names : "goes on");
    reset_process_state();
    auto ms = constituent_record(2, 10.0);
    constituent_state& k = ms->constituent;
    k.ov_mass_load = r.load;
    k.ov_uptake_rate = r.rate;
    k.contam_map_given = r.map;
    if (r.column) {
      k.soil_con_trans = 1;
      ms->soil.inf_redist = 1;
      ms->soil.soil_moist_depth = 40.0;
      ms->soil.mixing_layer_depth = 5.0;
    }
    ::testing::internal::CaptureStdout();
    setup_contaminants(*ms);
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (r.names) {
      EXPECT_TRUE(process.error_block.stop);
      EXPECT_NE(out.find(r.names), std::string::npos) << out;
      EXPECT_NE(out.find("CONTAMINANT_TRANSPORT"), std::string::npos) << out;
      EXPECT_NE(out.find("SOIL_CON_TRANS"), std::string::npos) << out;
    } else {
      EXPECT_FALSE(process.error_block.stop) << out;
      EXPECT_EQ(k.num_contaminants, 1);
    }
  }
}

TEST_F(ContaminantSetup, LakeCellsStartWithoutOverlandMass) {
  auto ms = constituent_record(2, 10.0);
  ms->lake.chan_lakes = 1;
  ms->lake.lake_mask.alloc(2);
  ms->lake.lake_mask[2] = 1;
  ms->overland.ov_depth[1] = ms->overland.ov_depth[2] = 1.0;
  setup_contaminants(*ms);
  ms->constituent.ov_conc(1, 1) = ms->constituent.ov_conc(1, 2) = 1.0;
  init_soil_contam(*ms);
  EXPECT_DOUBLE_EQ(ms->constituent.ov_mass(1, 1), 100.0);
  EXPECT_EQ(ms->constituent.ov_mass(1, 2), 0.0);
  EXPECT_DOUBLE_EQ(ms->constituent.OV_MASS_INIT[1], 0.1);
}

// Lakes on the grid take the cells' mass: the set-up makes the per-cell
// lake codes (not yet seen) and the overland lakes' masses, which start
// clean; a grid without lakes gets none of them.
TEST_F(ContaminantSetup, LakesOnTheGridGetTheirCellCodesAndMasses) {
  struct lake_case {
    const char* what;
    void (*set)(model_state&);
    bool made;
    int olakes;
  } cases[] = {
      {"no lakes", [](model_state&) {}, false, 0},
      {"a channel lake",
       [](model_state& ms) {
         ms.lake.chan_lakes = 1;
         ms.lake.num_lakes = 1;
         ms.lake.lake_mask.alloc(3);
         ms.lake.lake_mask[3] = 1;
       },
       true, 1},
      {"two overland lakes",
       [](model_state& ms) {
         ms.lake.overland_lake_map_given = 1;
         ms.lake.num_olakes = 2;
         ms.lake.oland_lake_new.alloc(3);
         ms.lake.oland_lake_new[1] = 2;
       },
       true, 2},
  };
  for (const auto& x : cases) {
    SCOPED_TRACE(x.what);
    reset_process_state();
    auto ms = constituent_record(3, 10.0);
    setup_contaminants(*ms);
    x.set(*ms);
    init_soil_contam(*ms);
    EXPECT_FALSE(process.error_block.stop);
    const constituent_state& k = ms->constituent;
    EXPECT_EQ(k.ov_lake_code.size(), x.made ? 3 : 0);
    EXPECT_EQ(k.ov_lake_seen.size(), x.made ? 3 : 0);
    if (!x.made) continue;
    EXPECT_EQ(k.ov_lake_seen[2], constituent_state::ov_lake_not_seen);
    EXPECT_EQ(k.olake_mass.count(), 1);
    EXPECT_EQ(k.olake_mass.row_length(), x.olakes);
    EXPECT_EQ(k.olake_mass(1, x.olakes), 0.0);
  }
}

// Boundary cells let water out of the grid or pass it to their receivers:
// the set-up makes the per-cell volumes the constituents take their mass
// with, the receivers' slots only where a rating boundary lies.
TEST_F(ContaminantSetup, BoundaryCellsGetTheVolumesTheirMassLeavesWith) {
  struct boundary_case {
    int type;
    bool out, rating;
  } cases[] = {{boundary::none, true, false},
               {boundary::fixed_level, true, false},
               {boundary::normal_depth, true, false},
               {boundary::rating_outflow, true, true},
               {boundary::rating_exchange, true, true}};
  for (const auto& x : cases) {
    reset_process_state();
    auto ms = constituent_record(3, 10.0);
    setup_contaminants(*ms);
    ms->overland.ov_boundary = 1;
    ms->overland.boundary_type.alloc(3);
    ms->overland.boundary_type[2] = x.type;
    init_soil_contam(*ms);
    EXPECT_FALSE(process.error_block.stop) << x.type;
    EXPECT_EQ(ms->overland.bc_out_vol.size(), x.out ? 3 : 0) << x.type;
    EXPECT_EQ(ms->overland.bc_rating_vol.rows(), x.rating ? 3 : 0) << x.type;
  }
  // Without boundary conditions nothing is made.
  reset_process_state();
  auto ms = constituent_record(3, 10.0);
  setup_contaminants(*ms);
  init_soil_contam(*ms);
  EXPECT_TRUE(ms->overland.bc_out_vol.empty());
}

TEST_F(ContaminantSetup, SoilColumnLayersFollowTheSoilScheme) {
  struct row {
    const char* scheme;
    double moist, top, mixing;  // cm
    int layers;
    double top_after, mixing_after;
  } rows[] = {
      {"green_ampt", 40, 0, 0, 1, 40, 40},
      {"green_ampt", 40, 20, 5, 1, 20, 5},
      {"redistribution", 40, 40, 40, 1, 40, 40},
      {"redistribution", 40, 20, 20, 2, 20, 20},
      {"redistribution", 40, 40, 5, 2, 40, 5},
      {"redistribution", 40, 20, 5, 3, 20, 5},
      {"redistribution", 40, 0, 0, 1, 40, 40},
      {"layered", 40, 0, 0, 2, 0, 0},
      {"layered", 40, 0, 5, 3, 0, 5},
      {"none", 40, 20, 5, 0, 20, 5},
  };
  for (const row& r : rows) {
    soil_state s;
    const std::string scheme = r.scheme;
    s.green_ampt = scheme == "green_ampt";
    s.inf_redist = scheme == "redistribution";
    s.inf_layered_soil = scheme == "layered";
    double top = r.top, mixing = r.mixing;
    EXPECT_EQ(contaminant_soil_layers(s, r.moist, top, mixing), r.layers) << r.scheme << " " << r.top << " " << r.mixing;
    EXPECT_EQ(top, r.top_after) << r.scheme;
    EXPECT_EQ(mixing, r.mixing_after) << r.scheme;
  }
}

TEST_F(ContaminantSetup, TopSoilLayerHoldsTheLandLoadAsSorbedMass) {
  // Redistribution, soil-moisture depth 40 cm, top layer 20 cm, mixing
  // layer 5 cm: three layers of 0.05, 0.15 and 0.20 m.
  auto ms = constituent_record(2, 10.0);
  ms->soil.inf_redist = 1;
  ms->soil.soil_moist_depth = 40.0;
  ms->soil.top_layer_depth = 20.0;
  ms->soil.mixing_layer_depth = 5.0;
  ms->soil.soil_porosity[1] = 0.4;
  ms->soil.soil_porosity[2] = 0.5;
  constituent_state& k = ms->constituent;
  k.soil_con_trans = 1;
  k.ov_mass_load = 3.0;  // mg per kg of soil
  setup_contaminants(*ms);
  ASSERT_FALSE(process.error_block.stop);
  ASSERT_EQ(k.soil_contam_layers, 3);
  EXPECT_EQ(k.THETA.cols(), 3);
  EXPECT_EQ(k.soil_mass.row_length(), 3);
  init_soil_contam(*ms);
  EXPECT_DOUBLE_EQ(k.soil_layer_thickness[1], 0.05);
  EXPECT_DOUBLE_EQ(k.soil_layer_thickness[2], 0.15);
  EXPECT_DOUBLE_EQ(k.soil_layer_thickness[3], 0.20);
  EXPECT_DOUBLE_EQ(k.soil_layer_bottom[3], 0.40);
  // 3 mg/kg x 0.05 m x 100 m2 x 2650 kg/m3 x (1 - 0.4) = 23850 mg = 23.85 g.
  EXPECT_NEAR(k.soil_mass(1, 1, 1), 23.85, 1e-9);
  EXPECT_NEAR(k.land_mass(1, 1), 23.85, 1e-9);
  EXPECT_NEAR(k.soil_mass(1, 2, 1), 19.875, 1e-9);
  EXPECT_EQ(k.soil_mass(1, 1, 2), 0.0);
  EXPECT_DOUBLE_EQ(k.soil_conc(1, 1, 1), 3.0);
  EXPECT_NEAR(k.OV_LAND_MASS_INIT[1], (23.85 + 19.875) / 1000.0, 1e-12);
  EXPECT_NEAR(k.mass_books->mass(1, mass_compartment::soil_column, ledger_moment::run_start),
              (23.85 + 19.875) / 1000.0, 1e-12);
}

TEST_F(ContaminantSetup, SoilTransportWithoutASoilColumnStops) {
  auto ms = constituent_record(2, 10.0);
  ms->constituent.soil_con_trans = 1;  // no Green-Ampt, redistribution or layered soil
  ::testing::internal::CaptureStdout();
  setup_contaminants(*ms);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(process.error_block.stop);
  EXPECT_NE(out.find("SOIL_CON_TRANS"), std::string::npos) << out;
  EXPECT_EQ(ms->constituent.num_constituents, 0);
}

TEST_F(ContaminantSetup, NutrientsFollowTheContaminantsInOneList) {
  for (int soil : {0, 1}) {
    auto ms = constituent_record(3, 10.0);
    constituent_state& k = ms->constituent;
    k.nutrients = 1;
    k.soil_con_trans = soil;
    ms->soil.green_ampt = 1;
    ms->soil.soil_moist_depth = 30.0;
    setup_contaminants(*ms);
    alloc_overland_constituents(*ms, 0, true);
    // The nine water constituents, with or without soil transport (their
    // rows' soil side is then their partner pools).
    const int n = 1 + 9;
    ASSERT_EQ(k.num_constituents, n);
    EXPECT_EQ(k.num_nsm_constituents, n - 1);
    EXPECT_EQ(k.first_nsm_constituent, 2);
    EXPECT_EQ(k.constituent_type[1], 1);
    for (int c = 2; c <= 10; ++c) EXPECT_EQ(k.constituent_type[c], 2) << c;
    EXPECT_EQ(k.ov_mass.count(), n);
    EXPECT_EQ(k.cell_decay_mass.count(), n);
    EXPECT_EQ(k.OV_MASS_OUT.count(), n);
    EXPECT_EQ(k.soil_mass.count(), soil ? n : 0);
    // The nutrients keep their rates as given and take no soil load.
    k.cell_decay_coef(5, 1) = 2.0;
    init_soil_contam(*ms);
    EXPECT_EQ(k.cell_decay_coef(5, 1), 2.0);
    EXPECT_EQ(k.mass_books->constituents(), n);
  }
}

TEST(ConstituentTerms, EveryTermMovesMassBetweenTwoCompartmentsUnderItsOwnName) {
  for (int t = 1; t <= n_constituent_terms; ++t) {
    EXPECT_NE(constituent_term_table[t - 1].from, constituent_term_table[t - 1].to) << t;
    for (int u = t + 1; u <= n_constituent_terms; ++u)
      EXPECT_STRNE(constituent_term_table[t - 1].name, constituent_term_table[u - 1].name);
  }
  EXPECT_STREQ(constituent_term_table[row(constituent_term::soil_negative_reset) - 1].name, "soil_negative_reset");
  EXPECT_STREQ(constituent_term_table[row(constituent_term::rain_on_cells) - 1].name, "rain_on_cells");
}

// The mapping table's contaminant table: one row of eight values per ID of
// the constituent's index map, in the order dispersion, decay, uptake,
// land load, initial overland concentration, land-side concentration, Kd,
// groundwater concentration.
std::string contaminant_block(const std::string& first_row_values) {
  auto sub = [](const std::string& name, const std::string& precip, const std::vector<std::string>& rows) {
    std::string s = "\"" + name + "\" \"lu\" \"" + name + ".out\"\nPRECIP_CONC " + precip + "\nPARTITION 2.0\nNUM_IDS " +
                    std::to_string(rows.size()) + "\n" + testing::cmt_row("ID", "DESCRIPTION", "K");
    for (const std::string& r : rows) s += r;
    return s;
  };
  return "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map \"lu\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n" +
         sub("Atrazine", "0.5",
             {testing::cmt_row("1", "a", first_row_values), testing::cmt_row("2", "b", "10 11 12 13 14 15 16 17")}) +
         sub("Nitrate", "1.5", {testing::cmt_row("1", "a", "21 22 23 24 25 26 27 28"),
                                testing::cmt_row("2", "b", "0 0 0 0 0 0 0 0")});
}

// PARTITION acts only with SEDIMENT_CONTAM, the KD column only with
// SOIL_CON_TRANS: a coefficient given without its process is named in a
// warning, once per contaminant, and the set-up goes on.
TEST_F(ContaminantSetup, APartitionCoefficientWithoutItsProcessIsNamed) {
  const struct {
    int sediment, soil;
    bool partition_warned, kd_warned;
  } rows[] = {{0, 0, true, true}, {1, 0, false, true}, {0, 1, true, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.sediment * 10 + r.soil);
    reset_process_state();
    auto ms = testing::table_record(contaminant_block("1 2 3 4 5 6 7 8"));
    testing::write_index_map("ids.map", "0 1 1 1\n1 2 2 0\n2 2 1 1\n");
    testing::check_tables(*ms);
    constituent_state& k = ms->constituent;
    k.ov_con_trans = 1;
    k.sediment_contam = r.sediment;  // set-up checks of the processes themselves aside
    if (r.soil) {
      k.soil_con_trans = 1;
      ms->soil.green_ampt = 1;
      ms->soil.mixing_layer_depth = 5.0;
      ms->soil.soil_moist_depth = 40.0;
      ms->soil.soil_porosity.alloc(ms->grid.ncells);
      ms->soil.soil_porosity.fill(0.4);
    }
    ::testing::internal::CaptureStdout();
    setup_contaminants(*ms);
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_FALSE(process.error_block.stop) << out;
    // Both contaminants have PARTITION 2.0 and a KD somewhere (7 and 28).
    for (const char* name : {"contaminant 1 (Atrazine)", "contaminant 2 (Nitrate)"}) {
      EXPECT_EQ(out.find(std::string("Warning: the PARTITION coefficient of ") + name) != std::string::npos,
                r.partition_warned)
          << out;
      EXPECT_EQ(out.find(std::string("Warning: the KD column of ") + name) != std::string::npos, r.kd_warned) << out;
    }
    if (r.partition_warned) {
      EXPECT_NE(out.find("only SEDIMENT_CONTAM carries"), std::string::npos);
    }
    if (r.kd_warned) {
      EXPECT_NE(out.find("only SOIL_CON_TRANS carries"), std::string::npos);
    }
  }
}

TEST_F(ContaminantSetup, TheMappingTableGivesEveryContaminantItsFields) {
  auto ms = testing::table_record(contaminant_block("1 2 3 4 5 6 7 8"));
  testing::write_index_map("ids.map", "0 1 1 1\n1 2 2 0\n2 2 1 1\n");
  testing::check_tables(*ms);
  ASSERT_EQ(ms->grid.cmt_table_present[cmt_contaminants], 1);
  constituent_state& k = ms->constituent;
  k.ov_con_trans = 1;
  ::testing::internal::CaptureStdout();
  setup_contaminants(*ms);
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_FALSE(process.error_block.stop) << out;
  EXPECT_NE(out.find("reading contaminant transport table and map from master table file\n"), std::string::npos);
  ASSERT_EQ(k.num_contaminants, 2);
  EXPECT_EQ(k.num_constituents, 2);
  EXPECT_EQ(k.contam_table_input, 1);
  EXPECT_EQ(k.precip_conc[2], 1.5);
  EXPECT_EQ(k.water_soil_partition_coef[1], 2.0);
  EXPECT_EQ(k.constituent_output_name[2], "Nitrate.out");
  // Cell 1 has ID 1, cell 5 ID 2.
  const double expected[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  jagged_array<double>* fields[8] = {&k.cell_disp_coef, &k.cell_decay_coef, &k.cell_uptake_rate,
                                     &k.land_mass,      &k.ov_conc,         &k.land_conc,
                                     &k.soil_partition_coef, &k.gw_conc};
  for (int f = 0; f < 8; ++f) {
    EXPECT_EQ((*fields[f])(1, 1), expected[f]) << f;
    EXPECT_EQ((*fields[f])(1, 5), 10.0 + f) << f;
    EXPECT_EQ((*fields[f])(2, 1), 21.0 + f) << f;
  }
}

TEST_F(ContaminantSetup, ABadTableValueStopsTheRunNamingItsPlace) {
  struct fault {
    const char* values;
    const char* message;
  } faults[] = {
      {"1 2 -3 4 5 6 7 8",
       "Error: the uptake rate of contaminant 1 in the mapping table file t.cmt is -3 at row 1, column 2 of the "
       "grid; it must be a finite number of at least 0.\n"},
      {"1 2 3 4 5 6 -0.5 8", "the soil partition coefficient of contaminant 1"},
      {"1 2 3 4 nan 6 7 8", "t.cmt"},
  };
  for (const fault& f : faults) {
    reset_process_state();
    auto ms = testing::table_record(contaminant_block(f.values));
    testing::write_index_map("ids.map", "0 1 1 1\n1 2 2 0\n2 2 1 1\n");
    testing::check_tables(*ms);
    ms->constituent.ov_con_trans = 1;
    ::testing::internal::CaptureStdout();
    setup_contaminants(*ms);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(process.error_block.stop) << f.values;
    EXPECT_NE(out.find(f.message), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace nivra
