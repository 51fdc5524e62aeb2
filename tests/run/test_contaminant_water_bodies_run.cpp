// Whole runs that carry a dissolved contaminant on watersheds whose water
// leaves or enters other than through the outlet and the soil: overland
// boundary cells (a normal-depth edge, held levels), an overland lake on a
// plane, a channel lake in a V. The rain of a known concentration falls on
// the cells; every gram of it leaves through the outlet or the boundaries,
// soaks in, reaches a lake or the channels, decays or stays, and the books
// and the run summary's balances close.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/mass_ledger.h"
#include "model/water_ledger.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/ov_sed_record.h"
#include "quality/sediment/sediment_terms.h"
#include "run/run_test_support.h"
#include "surface/boundary_codes.h"
#include "surface/lake_state.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::run_storm;
using testing::set_card;
using testing::table_row;
using testing::write_file;

class ContaminantWaterBodiesRun : public testing::process_test {};

// One contaminant over the land use ids: rain at rain_conc g/m3,
// dispersion 0.5 m2/s, no decay, no exchange with the land.
std::string contaminant_block(const std::string& rain_conc) {
  return "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Bromide\" \"Land use\" \"bromide.out\"\nPRECIP_CONC " + rain_conc +
         "\nPARTITION 0.0\nNUM_IDS 1\n" + table_row("ID", "DESCRIPTION", "DISP DECAY UPTAKE LOAD CONC LAND KD GW") +
         table_row("1", "Field", "0.5 0 0 0 0 0 0 0");
}

// A copy of examples/`example` whose project `name`.prj reads the mapping
// table `name`.cmt: the index map `ids` (landuse.idx) with one contaminant
// over its land use ids, in the rain at `rain_conc` g/m3.
void contaminant_example(const std::string& example, const std::string& name, const std::string& ids,
                         const std::string& rain_conc) {
  testing::copy_example(example);
  write_file("landuse.idx", ids);
  write_file(name + ".cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\n" + contaminant_block(rain_conc));
  set_card(name + ".prj", "MAPPING_TABLE", "MAPPING_TABLE " + name + ".cmt");
  set_card(name + ".prj", "OV_CON_TRANS", "OV_CON_TRANS");
}

// An index map over the V of examples/chanquality and examples/vlake (30 x
// 21 cells) with every cell in class 1.
std::string v_index_map() {
  std::string ids = "north: 600.0\nsouth: 0.0\neast: 420.0\nwest: 0.0\nrows: 30\ncols: 21\n";
  for (int r = 0; r < 30; ++r) {
    for (int c = 0; c < 21; ++c) ids += c ? " 1" : "1";
    ids += "\n";
  }
  return ids;
}

// The plane's map of boundary ids: 1 everywhere but where the rows give.
std::string boundary_map(const std::string& rows) {
  return "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n" + rows;
}

// plane_infil with the rain at rain_conc g/m3 of one contaminant that
// disperses but neither decays nor meets the land, and the overland
// boundary table of the given rows over the boundary map.
void boundary_project(const std::string& rain_conc, const std::string& map_rows,
                      const std::vector<std::string>& boundary_rows) {
  std::string t = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\nINDEX_MAP bound.idx \"Edge\"\n";
  t += contaminant_block(rain_conc);
  t += "OVERLAND_BOUNDARY \"Edge\"\nNUM_IDS " + std::to_string(boundary_rows.size()) + "\n" +
       table_row("ID", "DESCRIPTION", "TYPE VALUE");
  for (const std::string& r : boundary_rows) t += r;
  testing::contaminant_plane(t);
  write_file("bound.idx", boundary_map(map_rows));
  set_card("plane_infil.prj", "OV_BOUNDARY", "OV_BOUNDARY");
}

double term(const model_state& ms, constituent_term t) { return ms.constituent.mass_books->run_total(1, row(t)); }

// Every balance error of the summary (the run's blocks' "Contam mass
// balance error", the event's "Dissolved mass balance error" after its
// leader dots) prints 0 to its precision; returns how many there are.
int summary_errors_close(const std::string& summary) {
  int errors = 0;
  for (const std::string label : {"Contam mass balance error", "Dissolved mass balance error"}) {
    for (std::size_t at = summary.find(label); at != std::string::npos; at = summary.find(label, at)) {
      at = summary.find_first_not_of(" .", at + label.size());
      char* end = nullptr;
      const double error = std::strtod(summary.c_str() + at, &end);
      EXPECT_NE(end, summary.c_str() + at) << summary.substr(at, 30);
      EXPECT_LT(std::fabs(error), 5e-5) << label << summary.substr(at, 30);
      ++errors;
    }
  }
  return errors;
}

// The southern edge of the plane (row 6 but the outlet) lets its water out
// at normal depth; three cells of its western end are held at 1 cm over
// their ground, passing on what flows into them and giving clean water to
// the lower cell east of them. Either way the rain's 10.35 kg is carried
// out with its water, soaks in or stays, to 1e-10 of it; the boundaries
// take a real share; the summary prints the boundary's outflow and its
// balances close.
TEST_F(ContaminantWaterBodiesRun, WaterLeavingThroughBoundaryCellsTakesItsMassAndTheBooksClose) {
  const std::string normal_depth_rows =
      "1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1\n2 2 2 2 2 2 2 1\n";
  const std::string held_rows =
      "1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1\n2 3 4 1 1 1 1 1\n";
  struct boundary_case {
    const char* what;
    std::string map;
    std::vector<std::string> rows;
    int boundary_cells;
    int held_cells;      // whose rain leaves at once
    water_flux leaving;  // the water term the outflow mirrors
  } cases[] = {
      {"normal depth", normal_depth_rows,
       {table_row("1", "Inside", "0 0"), table_row("2", "South edge", "1 0.01")}, 7, 0, water_flux::slope_boundary_out},
      {"held levels", held_rows,
       {table_row("1", "Inside", "0 0"), table_row("2", "Pond west", "2 98.51"),
        table_row("3", "Pond mid", "2 98.41"), table_row("4", "Pond east", "2 98.31")},
       3, 3, water_flux::head_boundary_out},
  };
  const double conc = 10.0;
  for (const auto& x : cases) {
    SCOPED_TRACE(x.what);
    reset_process_state();
    boundary_project("10.0", x.map, x.rows);
    // After every step no boundary cell's water is richer than the rain:
    // the water that leaves takes its mass with it.
    double richest = 0.0;
    const auto r = run_storm("plane_infil.prj", {}, 100000, [&](const model_state& ms) {
      for (int i = 1; i <= ms.grid.ncells; ++i)
        if (ms.overland.boundary_type[i] != boundary::none && ms.overland.ov_depth[i] > 1e-3)
          richest = std::max(richest, ms.constituent.ov_conc(1, i));
    });
    ASSERT_TRUE(r.ended) << r.console;
    const model_state& ms = *r.ms;
    int cells = 0;
    for (int i = 1; i <= ms.grid.ncells; ++i) cells += ms.overland.boundary_type[i] != boundary::none;
    EXPECT_EQ(cells, x.boundary_cells);
    EXPECT_GT(ms.ledger.run_total(x.leaving), 1.0);
    // 25 mm of rain on 900 m2 cells at 10 g/m3; the rain on the cells whose
    // level is held leaves at once, with none of its mass on the grid.
    const double rain = term(ms, constituent_term::rain_on_cells);
    EXPECT_NEAR(rain, (46 - x.held_cells) * 0.025 * 900.0 * conc / 1000.0, 1e-9 * rain);
    const double out = term(ms, constituent_term::overland_outlet);
    const double boundary = term(ms, constituent_term::overland_boundary_out);
    const double infiltrated = term(ms, constituent_term::infiltration);
    const double land = term(ms, constituent_term::uptake_by_land);
    const double reset = term(ms, constituent_term::overland_negative_reset);
    const double stored = overland_water_mass(ms, 1);
    EXPECT_GT(boundary, 0.01 * rain);
    EXPECT_NEAR(rain + reset - (out + boundary + infiltrated + land + stored), 0.0, 1e-10 * rain);
    const mass_balance_sums whole = ms.constituent.mass_books->run_balance_of(
        1, {mass_compartment::overland_water, mass_compartment::soil_column});
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * rain);
    EXPECT_LT(richest, conc * 1.02);
    const std::string summary = read_file("plane_infil.sum");
    EXPECT_NEAR(testing::value_after(summary, "Boundary mass outflow"), boundary, 0.005);
    EXPECT_NE(summary.find("Boundary outflow ...."), std::string::npos);  // the event's block
    EXPECT_EQ(summary_errors_close(summary), 3);
  }
}

// The plane of examples/plane_lake drains its rain (10 g/m3) past an
// overland lake of four cells that starts clean at 99.6 m: the rain on
// the lake stays in its water, the cells upslope run into it, and it spills
// over its shore to the outlet. The lake ends holding mass at less than the
// rain's concentration; every gram of the rain, which reaches the cells and
// the lake alike, is on the grid, in the lake or gone through the outlet.
TEST_F(ContaminantWaterBodiesRun, APlaneDrainingIntoAnOverlandLakeGivesItItsMassAndTheBooksClose) {
  contaminant_example("plane_lake", "plane_lake", testing::plane_index_map(), "10.0");
  double lake_peak = 0.0;
  const auto r = run_storm("plane_lake.prj", {}, 100000, [&](const model_state& ms) {
    const constituent_state& k = ms.constituent;
    if (k.olake_water.size() >= 1 && k.olake_water[1] > 0.0)
      lake_peak = std::max(lake_peak, k.olake_mass(1, 1) / k.olake_water[1]);
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double rain = term(ms, constituent_term::rain_on_cells);
  EXPECT_NEAR(rain, ms.ledger.run_total(water_flux::rainfall_to_overland) * 10.0 / 1000.0, 1e-9 * rain);
  const double lake = ms.constituent.olake_mass(1, 1) / 1000.0;
  EXPECT_GT(lake, 0.02 * rain);
  EXPECT_GT(lake_peak, 0.5);
  EXPECT_LT(lake_peak, 10.0);
  const double out = term(ms, constituent_term::overland_outlet);
  EXPECT_GT(out, 0.1 * rain);
  const double reset = term(ms, constituent_term::overland_negative_reset);
  const double land = term(ms, constituent_term::uptake_by_land);
  // The lake's mass is part of the overland water's.
  const double stored = overland_water_mass(ms, 1);
  EXPECT_GT(stored, lake);
  EXPECT_NEAR(rain + reset - (out + land + stored), 0.0, 1e-10 * rain);
  EXPECT_EQ(term(ms, constituent_term::overland_to_lakes), 0.0);  // no channel lake
  const mass_balance_sums whole = ms.constituent.mass_books->run_balance_of(
      1, {mass_compartment::overland_water, mass_compartment::soil_column});
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * rain);
  EXPECT_EQ(summary_errors_close(read_file("plane_lake.sum")), 3);
}

// The plane of examples/plane_lake eroding under 25 mm/h: the fines its
// cells wash into the overland lake settle on the lake's cells (a lake
// holds no sediment in suspension), and the contaminant on them (Kd 1e6
// L/kg, 3200 kg on every cell's land in a mixing layer 10 m deep, clean
// rain) settles with them onto the soil under the lake rather than
// dissolving into the lake's water. By hand: the soil's fines hold 3.2e6 g
// over 900 m2 x 10 m x 0.8 = 444.4 g/m3, level with 444.4 / (Kd/1e6 x 2.65
// x 998.2e3) = 1.68e-4 g/m3 in the water, so neither the lake's water nor
// any water holds more.
void eroding_plane_lake() {
  testing::copy_example("plane_lake");
  write_file("landuse.idx", testing::plane_index_map());
  write_file("plane_lake.cmt", testing::copper_on_eroding_loam("landuse.idx", "0.0", "1.0e6", "0.5 0 0 3200 0 0 0 0"));
  for (const char* card : {"MAPPING_TABLE plane_lake.cmt", "SOIL_EROSION 1", "SAND_SIZE 0.0625", "OV_CON_TRANS",
                           "SEDIMENT_CONTAM", "MIXING_LAYER_DEPTH 10.0"})
    set_card("plane_lake.prj", std::string(card).substr(0, std::string(card).find(' ')), card);
}

TEST_F(ContaminantWaterBodiesRun, FinesSettlingInAnOverlandLakeLayTheirAttachedMassOnItsBed) {
  eroding_plane_lake();
  const auto r = run_storm("plane_lake.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const constituent_state& k = ms.constituent;
  const double equilibrium = 3.2e6 / (900.0 * 10.0 * 0.8) / (1e6 / 1e6 * 2.65 * 998.2e3);  // g/m3
  // The lake's cells hold the fines their neighbours washed in, and
  // neither they nor the lake's water the mass those fines brought.
  double fines = 0.0;
  for (int i = 1; i <= ms.grid.ncells; ++i) {
    if (ms.lake.oland_lake_new[i] < 1) continue;
    for (int j = 1; j <= k.n_sed_classes; ++j)
      if (!k.sand[j]) fines += k.ov_sed->cells.dep(i, j);
    EXPECT_EQ(k.cell_total_mass(1, i), 0.0) << "cell " << i;
    EXPECT_LE(k.ov_mass(1, i), 1e-9) << "cell " << i;
  }
  EXPECT_GT(fines, 0.01);
  EXPECT_GT(k.olake_water[1], 1000.0);
  EXPECT_LE(k.olake_mass(1, 1), equilibrium * k.olake_water[1]);
  const double released = term(ms, constituent_term::release_from_sediment) * 1000.0;  // g
  // The fines give the water of the order of what the rain can hold at
  // that concentration (0.17 g), never the kilograms they carry into the
  // lake.
  EXPECT_LT(released, 2.0 * equilibrium * ms.ledger.run_total(water_flux::rainfall_to_overland));
  const mass_balance_sums whole = k.mass_books->run_balance_of(1, mass_ledger::whole_model());
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * (whole.in + whole.initial));
  EXPECT_GE(summary_errors_close(read_file("plane_lake.sum")), 3);
}

// The same eroding plane: the water an overland lake holds over its cells
// shields their bed from the raindrops and does not run over it as sheet
// flow, so no step lifts anything from a cell the lake covers when the
// step begins (the lake's extent as the previous step left it), while the
// cells upslope erode and the fines they wash in settle on the lake's
// cells. The sediment's books close class by class.
TEST_F(ContaminantWaterBodiesRun, AnOverlandLakeShieldsItsBedFromDetachment) {
  eroding_plane_lake();
  std::vector<int> covered;
  double under_lake = 0.0, elsewhere = 0.0, laid_in_lake = 0.0;
  const auto r = run_storm("plane_lake.prj", {}, 100000, [&](const model_state& ms) {
    const ov_sed_record& s = *ms.constituent.ov_sed;
    if (std::fabs(s.last_step_time - ms.clock.model_time) < ms.clock.time_tol && !covered.empty())
      for (int i = 1; i <= ms.grid.ncells; ++i) {
        (covered[static_cast<std::size_t>(i)] > 0 ? under_lake : elsewhere) += s.cells.lifted(i, 0);
        if (covered[static_cast<std::size_t>(i)] > 0) laid_in_lake += s.cells.settled(i, 0);
      }
    const int* lake = ms.lake.oland_lake_new.data();
    covered.assign(lake, lake + ms.lake.oland_lake_new.size() + 1);
  });
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_EQ(under_lake, 0.0);
  EXPECT_GT(elsewhere, 1.0);
  EXPECT_GT(laid_in_lake, 0.01);
  const mass_ledger& b = *r.ms->constituent.ov_sed->books;
  for (int k = 1; k <= r.ms->constituent.n_sed_classes; ++k) {
    const double eroded = b.run_total(k, row(sediment_term::erosion));
    ASSERT_GT(eroded, 0.0) << "class " << k;
    EXPECT_NEAR(b.run_balance_of(k, overland_sediment_set()).residual(), 0.0, 1e-10 * eroded) << "class " << k;
  }
  const mass_balance_sums whole = r.ms->constituent.mass_books->run_balance_of(1, mass_ledger::whole_model());
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * (whole.in + whole.initial));
  EXPECT_GE(summary_errors_close(read_file("plane_lake.sum")), 3);
}

// The V of examples/chanquality, whose valley channel and tributary meet
// in a lake, with rain at 5 g/m3 on the cells as well as its springs: the
// cells around the lake give it their mass across its shore and take its
// water back where it spills, and the books of the overland water, the
// channels and the lake close together, and the lake's alone, to 1e-10.
TEST_F(ContaminantWaterBodiesRun, AVWithAChannelLakeTakesTheCellsMassAcrossTheShoreAndTheBooksClose) {
  contaminant_example("chanquality", "chanq", v_index_map(), "5.0");
  const auto r = run_storm("chanq.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const mass_ledger& l = *ms.constituent.mass_books;
  const double rain = term(ms, constituent_term::rain_on_cells);
  EXPECT_GT(rain, 0.0);
  const double to_lake = term(ms, constituent_term::overland_to_lakes);
  EXPECT_GT(to_lake, 1e-4 * rain);
  const mass_balance_sums all = l.run_balance_of(1, {mass_compartment::overland_water, mass_compartment::soil_column,
                                                    mass_compartment::channels, mass_compartment::lakes});
  EXPECT_NEAR(all.residual(), 0.0, 1e-10 * all.in);
  const mass_balance_sums lakes = l.run_balance_of(1, {mass_compartment::lakes});
  EXPECT_NEAR(lakes.residual(), 0.0, 1e-10 * lakes.in);
  const mass_balance_sums cells = l.run_balance_of(1, {mass_compartment::overland_water, mass_compartment::soil_column});
  EXPECT_NEAR(cells.residual(), 0.0, 1e-10 * cells.in);
  const std::string sum = read_file("chanq.sum");
  EXPECT_NEAR(testing::value_after(sum, "Lateral flow to lake"),
              to_lake - term(ms, constituent_term::lakes_to_overland), 0.005);
  EXPECT_NEAR(testing::value_after(sum, "Mass overland inflow"),
              to_lake - term(ms, constituent_term::lakes_to_overland), 0.005);
  EXPECT_GE(summary_errors_close(sum), 5);
}

// The eroding V of examples/erosion with copper on its soil's fines
// (SEDIMENT_CONTAM, 0.5 kg on every cell's land, 0.1 g/m3 in the rain, the
// channels carrying it): the lake takes copper dissolved and on the fines
// its channel and its shore bring, and its water and the fines it holds
// trade some. The fines arrive near the water's equilibrium (Kd 500 L/kg
// puts 156 g per m3 of soil fines level with 0.12 g/m3 of water, about the
// rain's), so the trade is small beside what they carry in from the shore
// and the channel. The run's lake block books it (the ledger's
// lake_sediment_release), so it closes like the event's.
TEST_F(ContaminantWaterBodiesRun, TheLakesBlockBooksWhatItsFinesTookFromItsWater) {
  testing::copy_example("erosion");
  write_file("erosion.cmt", testing::copper_on_eroding_loam("erosion_soil.idx", "0.1", "500.0", "0.5 0.1 1.0 0.5 0 0 0 0"));
  for (const char* card : {"OV_CON_TRANS", "SEDIMENT_CONTAM", "CHAN_CON_TRANS", "MIXING_LAYER_DEPTH 0.01"})
    set_card("erosion.prj", card, card);
  const auto r = run_storm("erosion.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const mass_ledger& l = *ms.constituent.mass_books;
  const double released = term(ms, constituent_term::lake_sediment_release);
  const double from_shore = term(ms, constituent_term::attached_cells_to_lakes);
  const double carried_in = from_shore + term(ms, constituent_term::attached_channels_to_lakes);
  EXPECT_GT(from_shore, 0.5);
  EXPECT_NE(released, 0.0);
  EXPECT_LT(std::fabs(released), 0.1 * carried_in);
  const mass_balance_sums lake =
      l.run_balance_of(1, {mass_compartment::lakes, mass_compartment::lake_sediment_bound});
  EXPECT_NEAR(lake.residual(), 0.0, 1e-10 * (lake.in + lake.initial));
  const std::string sum = read_file("erosion.sum");
  const std::size_t run_block = sum.find("Lake Contaminant Transport Summary for Constituent");
  ASSERT_NE(run_block, std::string::npos);
  EXPECT_NEAR(testing::value_after(sum.substr(run_block), "Exchange with attached"), released, 0.005);
  EXPECT_GE(summary_errors_close(sum), 6);
}

// Without the channel quality (examples/vlake, the same V and lake) the
// channels and their lake are outside the books: what the cells give the
// lake leaves them like the lateral inflow, the lake's water is clean, and
// the cells' books and the summary's balances still close.
TEST_F(ContaminantWaterBodiesRun, WithoutTheChannelQualityTheLakesMassLeavesTheBooks) {
  contaminant_example("vlake", "vlake", v_index_map(), "5.0");
  const auto r = run_storm("vlake.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double rain = term(ms, constituent_term::rain_on_cells);
  // The rain on the lake's cells is the lake's, not the cells'.
  EXPECT_GT(ms.ledger.run_total(water_flux::lake_precipitation), 1.0);
  EXPECT_NEAR(rain, ms.ledger.run_total(water_flux::rainfall_to_overland) * 5.0 / 1000.0, 1e-9 * rain);
  const double to_lake = term(ms, constituent_term::overland_to_lakes);
  EXPECT_GT(to_lake, 1e-4 * rain);
  EXPECT_EQ(term(ms, constituent_term::lakes_to_overland), 0.0);  // clean water carries nothing
  const double left = term(ms, constituent_term::overland_to_channels) + to_lake +
                      term(ms, constituent_term::overland_outlet) + term(ms, constituent_term::infiltration) +
                      term(ms, constituent_term::uptake_by_land) + overland_water_mass(ms, 1);
  EXPECT_NEAR(rain + term(ms, constituent_term::overland_negative_reset) - left, 0.0, 1e-10 * rain);
  const std::string sum = read_file("vlake.sum");
  EXPECT_NEAR(testing::value_after(sum, "Lateral flow to lake"), to_lake, 0.005);
  EXPECT_EQ(summary_errors_close(sum), 3);
}

// The field of examples/dike ponds its rain (10 g/m3) against a dike and
// spills over the dike's low spot: the spilled water takes its mass over
// the notch, so every pond keeps the rain's concentration, the field below
// the dike carries mass to the outlet, and the books close.
TEST_F(ContaminantWaterBodiesRun, WaterSpillingOverADikesLowSpotTakesItsMass) {
  std::string ids = read_file(std::string(NIVRA_SOURCE_DIR) + "/examples/dike/dike.msk");
  ids = ids.substr(0, ids.find("rows:"));
  ids += "rows: 8\ncols: 6\n";
  for (int r = 0; r < 8; ++r) ids += "1 1 1 1 1 1\n";
  contaminant_example("dike", "dike", ids, "10.0");
  double richest = 0.0;
  const auto r = run_storm("dike.prj", {}, 100000, [&](const model_state& ms) {
    for (int i = 1; i <= ms.grid.ncells; ++i)
      if (ms.overland.ov_depth[i] > 1e-3) richest = std::max(richest, ms.constituent.ov_conc(1, i));
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  EXPECT_GT(ms.overland.lowspot_vol.size(), 0);
  const double rain = term(ms, constituent_term::rain_on_cells);
  EXPECT_NEAR(rain, ms.ledger.run_total(water_flux::rainfall_to_overland) * 10.0 / 1000.0, 1e-9 * rain);
  const double out = term(ms, constituent_term::overland_outlet);
  EXPECT_GT(out, 0.05 * rain);
  // The water every face moved, and the water the notch passed on, carry
  // the concentration of the water they left; a pond whose spilled water
  // left its mass behind reaches more than twice the rain's concentration.
  EXPECT_LT(richest, 10.0 * (1.0 + 1e-9));
  const double left = out + term(ms, constituent_term::uptake_by_land) + overland_water_mass(ms, 1);
  EXPECT_NEAR(rain + term(ms, constituent_term::overland_negative_reset) - left, 0.0, 1e-10 * rain);
  EXPECT_EQ(summary_errors_close(read_file("dike.sum")), 3);
}

// The nutrients ride the same transport: on the V of examples/nutrients
// whose northern row lets its water out at normal depth, each of the nine
// water constituents' rain leaves through that edge, reaches the channel
// or the outlet, or stays on the cells, to 1e-10.
TEST_F(ContaminantWaterBodiesRun, NutrientsLeaveThroughABoundaryWithTheirWater) {
  testing::copy_example("nutrients");
  std::string ids = "north: 200.00\nsouth: 0.00\neast: 220.00\nwest: 0.00\nrows: 10\ncols: 11\n";
  for (int r = 0; r < 10; ++r) {
    for (int c = 0; c < 11; ++c) ids += std::string(c ? " " : "") + (r == 0 ? "2" : "1");
    ids += "\n";
  }
  write_file("bound.idx", ids);
  std::string cmt = read_file("nutrients.cmt");
  const std::string first_map = "INDEX_MAP landuse.idx \"Land use\"\n";
  cmt.replace(cmt.find(first_map), first_map.size(), first_map + "INDEX_MAP bound.idx \"Edge\"\n");
  cmt += "OVERLAND_BOUNDARY \"Edge\"\nNUM_IDS 2\n" + table_row("ID", "DESCRIPTION", "TYPE VALUE") +
         table_row("1", "Inside", "0 0") + table_row("2", "North edge", "1 0.05");
  write_file("nutrients.cmt", cmt);
  set_card("nutrients.prj", "OV_BOUNDARY", "OV_BOUNDARY");
  const auto r = run_storm("nutrients.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const constituent_state& k = ms.constituent;
  ASSERT_EQ(k.num_nsm_constituents, 9);
  EXPECT_GT(ms.ledger.run_total(water_flux::slope_boundary_out), 1.0);
  const mass_ledger& books = *k.mass_books;
  for (int c = 0; c < 9; ++c) {
    SCOPED_TRACE(c);
    const int n = k.first_nsm_constituent + c;
    auto t = [&](constituent_term x) { return books.run_total(n, row(x)); };
    const double rain = t(constituent_term::rain_on_cells);
    const double edge = t(constituent_term::overland_boundary_out);
    if (rain > 0.0) EXPECT_GT(edge, 1e-3 * rain);
    const double left = t(constituent_term::overland_to_channels) + t(constituent_term::overland_outlet) + edge +
                        overland_water_mass(ms, n);
    EXPECT_NEAR(rain - left, 0.0, 1e-10 * rain + 1e-15);
    const mass_balance_sums ov = books.run_balance_of(n, {mass_compartment::overland_water});
    EXPECT_NEAR(ov.residual(), 0.0, 1e-10 * rain + 1e-15);
  }
  EXPECT_GT(summary_errors_close(read_file("nutrients.sum")), 9);
}

}  // namespace
}  // namespace nivra
