// Whole runs with the contaminant soil column: the tilted plane of
// examples/plane_infil under redistribution infiltration, a contaminant
// loaded into the top soil layer that exchanges with the overland water,
// decays in the soil and in the water, and rains onto the cells. Every gram
// is found in the books: the whole model's balance closes in the mass
// ledger, and the run summary's soil and global balances print no error.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>

#include "core/process.h"
#include "model/mass_ledger.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/nsm.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::run_storm;
using testing::set_card;
using testing::table_row;
using testing::write_file;

class SoilContaminantRun : public testing::process_test {};

// One contaminant: dispersion 0.5 m2/s, decay 2 per day, exchange 5 per
// day, a land load of 2 (g per kg of the top layer's soil), Kd 0.5 L/kg,
// rain at 10 g/m3.
std::string contaminant_table() {
  return "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
         "\"Atrazine\" \"Land use\" \"atrazine.out\"\nPRECIP_CONC 10.0\nPARTITION 0.5\nNUM_IDS 1\n" +
         table_row("ID", "", "K") + table_row("1", "Field", "0.5 2.0 5.0 2.0 0 0 0.5 0");
}

// The plane under redistribution infiltration with the mapping table
// `table`, its constituents carried in the soil column under a mixing
// layer of 2 cm.
void soil_column_plane(const std::string& table) {
  testing::contaminant_plane(table, "plane_redist.prj");
  set_card("plane_redist.prj", "SOIL_CON_TRANS", "SOIL_CON_TRANS");
  set_card("plane_redist.prj", "MIXING_LAYER_DEPTH", "MIXING_LAYER_DEPTH 0.02");
}

TEST_F(SoilContaminantRun, TheSoilColumnExchangesWithTheWaterAndEveryGramIsBooked) {
  soil_column_plane(contaminant_table());
  const auto r = run_storm("plane_redist.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const constituent_state& k = ms.constituent;
  ASSERT_GE(k.soil_contam_layers, 2);
  const mass_ledger& books = *k.mass_books;
  auto term = [&](constituent_term t) { return books.run_total(1, row(t)); };
  const double initial_soil = books.mass(1, mass_compartment::soil_column, ledger_moment::run_start);
  ASSERT_GT(initial_soil, 0.0);
  EXPECT_GT(term(constituent_term::soil_decay), 0.0);
  EXPECT_GT(term(constituent_term::release_from_land), 0.0);
  EXPECT_GT(term(constituent_term::infiltration), 0.0);
  // The whole model: the water, the soil and the groundwater.
  const mass_set whole{mass_compartment::overland_water, mass_compartment::soil_column, mass_compartment::groundwater};
  const mass_balance_sums b = books.run_balance_of(1, whole);
  EXPECT_NEAR(b.residual(), 0.0, 1e-10 * (b.initial + b.in));
  const mass_balance_sums soil = books.run_balance_of(1, {mass_compartment::soil_column});
  EXPECT_NEAR(soil.residual(), 0.0, 1e-10 * (soil.initial + soil.in));
  // The run summary's soil and global balances, and the event's soil block.
  const std::string summary = read_file("plane_redist.sum");
  for (const char* label : {"Soil mass balance error", "Contam mass balance error"})
    EXPECT_GE(testing::expect_small_errors(summary, {label}, 5e-4), 1) << label << "\n" << summary;
  EXPECT_NE(summary.find("Soil Contaminant Transport Summary for atrazine.out \n"), std::string::npos) << summary;
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The nutrients over the soil column: the same plane, rain carrying NO3 and
// NH4 (0.4 and 0.2 g/m3), and soil pools of nitrogen from the table (kg per
// cell in the surface layer). The infiltrating water takes NO3 and NH4 into
// their pools, which are their rows' soil side. The nutrient soil step runs
// on its clock; no pool goes below zero, so it asks nothing of the water,
// and every nutrient row's books close over the water, the soil and the
// groundwater.
TEST_F(SoilContaminantRun, NutrientsOverTheSoilColumnKeepTheirPoolsAndCloseTheirBooks) {
  soil_column_plane("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\n"
                    "NSM_N \"Land use\"\nNUM_IDS 1\nPRECIP_CONC 0.0 0.4 0.2 0.0\n" +
                    table_row("ID", "", "V") + table_row("1", "Field", "0 0 0 0") +
                    "NSM_SOIL_N \"Land use\"\nNUM_IDS 1\n" + table_row("ID", "", "V") +
                    table_row("1", "Field", "2.5 1.5 0.5 0.25 4.0"));
  write_file("plane.aqe", "AQUATIC_ENV_NSM10\nOV_MAP landuse.idx\nNUM_IDS 1\nzone parameters\n1\nDEFAULT\n");
  set_card("plane_redist.prj", "NUTRIENTS", "NUTRIENTS");
  set_card("plane_redist.prj", "AQ_ENV", "AQ_ENV plane.aqe");
  set_card("plane_redist.prj", "SOILS_NSM_N", "SOILS_NSM_N");
  const auto r = run_storm("plane_redist.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const constituent_state& k = ms.constituent;
  ASSERT_EQ(k.num_nsm_constituents, 9);
  const int base = k.first_nsm_constituent;
  // The surface layer holds the table's kg as g (and, in the NH4 pool, what
  // the water brought down); the soil step ran.
  const nsm_soil& soil = k.nsm_model->soil;
  EXPECT_GT(soil.pool[nsm_pool::nh4](1, 1), 2500.0);
  EXPECT_EQ(soil.pool[nsm_pool::org_stable_n](ms.grid.ncells, 1), 4000.0);
  EXPECT_GT(k.nsm_soil_interval_s, 0.0);
  const mass_ledger& books = *k.mass_books;
  const mass_set whole{mass_compartment::overland_water, mass_compartment::soil_column, mass_compartment::groundwater};
  for (int c = base; c < base + 9; ++c) {
    EXPECT_EQ(books.run_total(c, row(constituent_term::nutrient_pool_gain)), 0.0) << c;
    EXPECT_EQ(books.run_total(c, row(constituent_term::nutrient_soil_uptake)), 0.0) << c;
    const mass_balance_sums b = books.run_balance_of(c, whole);
    EXPECT_NEAR(b.residual(), 0.0, 1e-10 * (b.initial + b.in) + 1e-15) << c;
  }
  // The rain's NO3 and NH4 reached the cells and part of them went into
  // the soil: into the NO3 and NH4 pools, beyond the table's 1.5 and 2.5 kg
  // per cell, every gram but what waits for the soil column's next step.
  const int cells = ms.grid.ncells;
  for (const auto [water, pool, table_kg] : {std::tuple{nsm_c::no3, nsm_pool::no3, 1.5},
                                             std::tuple{nsm_c::nh4, nsm_pool::nh4, 2.5}}) {
    const int c = base + water;
    const double infiltrated = books.run_total(c, row(constituent_term::infiltration));
    EXPECT_GT(books.run_total(c, row(constituent_term::rain_on_cells)), 0.0) << water;
    EXPECT_GT(infiltrated, 0.0) << water;
    double in_pool = 0.0, waiting = 0.0;
    for (int i = 1; i <= cells; ++i) {
      for (int l = 1; l <= soil.layers; ++l) in_pool += soil.pool[static_cast<std::size_t>(pool)](i, l);
      waiting += k.soil_infil_mass(c, i);
    }
    EXPECT_NEAR((in_pool + waiting) / 1000.0 - table_kg * cells, infiltrated, 1e-10 * table_kg * cells) << water;
    EXPECT_GT(in_pool / 1000.0 - table_kg * cells, 0.5 * infiltrated) << water;
  }
  // The run summary's balances (the pools' rows among them) print no error.
  const std::string summary = read_file("plane_redist.sum");
  for (const char* label : {"Soil mass balance error", "Contam mass balance error"})
    EXPECT_GE(testing::expect_small_errors(summary, {label}, 5e-4), 9) << label << "\n" << summary;
  EXPECT_NE(summary.find("NSM dm/dt Summary\n  Total dm/dt in:          0.0000\n  Total dm/dt out:         0.0000\n"),
            std::string::npos)
      << summary;
}

}  // namespace
}  // namespace nivra
