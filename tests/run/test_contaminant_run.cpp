// Whole runs that carry a dissolved contaminant: the rain of a known
// concentration on the tilted plane of examples/plane_infil, which lets part
// of it into the soil and sends the rest to the outlet. Every gram of the
// rain's mass leaves through the outlet, goes into the soil, decays or is
// still on the cells, and the run summary's balances close.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/process.h"
#include "model/mass_ledger.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::run_storm;
using testing::set_card;
using testing::write_file;

class ContaminantRun : public testing::process_test {};

// The plane's grid with every cell in land use 1.
std::string land_use_map() {
  std::string s = "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n";
  for (int r = 0; r < 6; ++r) s += "1 1 1 1 1 1 1 1\n";
  return s;
}

// A mapping table with one contaminant: dispersion 0.5 m2/s, decay `decay`
// per day, no land load or exchange, rain at `rain_conc` g/m3.
std::string contaminant_table(const std::string& rain_conc, const std::string& decay) {
  std::string row = "1";
  row.resize(6, ' ');
  std::string d = "Field";
  d.resize(80, ' ');
  return "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
         "\"Bromide\" \"Land use\" \"bromide.out\"\nPRECIP_CONC " +
         rain_conc + "\nPARTITION 0.0\nNUM_IDS 1\nID    " + std::string(80, ' ') + "K\n" + row + d + "0.5 " + decay +
         " 0 0 0 0 0 0\n";
}

void contaminant_project(const std::string& rain_conc, const std::string& decay) {
  testing::copy_example("plane_infil");
  write_file("landuse.idx", land_use_map());
  write_file("plane.cmt", contaminant_table(rain_conc, decay));
  set_card("plane_infil.prj", "MAPPING_TABLE", "MAPPING_TABLE plane.cmt");
  set_card("plane_infil.prj", "OV_CON_TRANS", "OV_CON_TRANS 1");
}

double term(const model_state& ms, constituent_term t) {
  return ms.constituent.mass_books->run_total(1, row(t));
}

TEST_F(ContaminantRun, TheRainsMassLeavesSoaksInDecaysOrStaysAndTheBooksClose) {
  contaminant_project("10.0", "2.0");
  const auto r = run_storm("plane_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  // 25 mm/h for an hour on 46 cells of 900 m2 at 10 g/m3: 10.35 kg.
  const double rain = 0.025 * 46 * 900.0 * 10.0 / 1000.0;
  EXPECT_NEAR(term(ms, constituent_term::rain_on_cells), rain, 1e-9 * rain);
  const double out = term(ms, constituent_term::overland_outlet);
  const double infiltrated = term(ms, constituent_term::infiltration);
  const double decayed = term(ms, constituent_term::overland_decay);
  const double stored = overland_water_mass(ms, 1);
  EXPECT_GT(out, 0.01 * rain);
  EXPECT_GT(infiltrated, 0.01 * rain);
  EXPECT_GT(decayed, 0.0);
  const double reset = term(ms, constituent_term::overland_negative_reset);
  const double land = term(ms, constituent_term::uptake_by_land);
  EXPECT_NEAR(rain + reset - (out + infiltrated + decayed + stored + land), 0.0, 1e-10 * rain);
  // The whole model in the ledger: nothing comes in but the rain.
  const mass_balance_sums whole =
      ms.constituent.mass_books->run_balance_of(1, {mass_compartment::overland_water, mass_compartment::soil_column});
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * rain);
  EXPECT_NEAR(whole.in, rain + reset, 1e-10 * rain);
  // The run summary's balances print no error.
  const std::string summary = read_file("plane_infil.sum");
  EXPECT_NE(summary.find("Overland Constituent Transport Summary for Constituent     1"), std::string::npos)
      << summary;
  std::size_t at = 0;
  int errors = 0;
  const std::string label = "Contam mass balance error";
  while ((at = summary.find(label, at)) != std::string::npos) {
    at += label.size();
    EXPECT_LT(std::fabs(std::strtod(summary.c_str() + at, nullptr)), 5e-5) << summary.substr(at, 30);
    ++errors;
  }
  EXPECT_EQ(errors, 2);  // the overland and the global balance
}

TEST_F(ContaminantRun, UniformCardsCarryOneContaminant) {
  // Without a contaminant table the uniform cards describe one contaminant,
  // which starts on the land and stays there on a plane without exchange.
  testing::copy_example("plane_infil");
  set_card("plane_infil.prj", "OV_CON_TRANS", "OV_CON_TRANS 1");
  set_card("plane_infil.prj", "OV_MASS_LOAD", "OV_MASS_LOAD 2.5");
  set_card("plane_infil.prj", "OV_DECAY_COEF", "OV_DECAY_COEF 1.0");
  const auto r = run_storm("plane_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_EQ(r.ms->constituent.num_constituents, 1);
  EXPECT_EQ(r.console.find("Error"), std::string::npos) << r.console;
  EXPECT_NEAR(land_surface_mass(*r.ms, 1), 46 * 2.5, 1e-9);
}

}  // namespace
}  // namespace nivra
