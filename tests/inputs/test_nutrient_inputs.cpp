// The nutrient model's overland inputs: the aquatic environment file and
// the initial values of every item from its card, its map or its mapping
// table, with their messages and errors 80 and 119.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "cmt_fixture.h"
#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "quality/constituent_setup.h"
#include "quality/contaminant/contaminant_setup.h"
#include "quality/nsm/nutrient_inputs.h"
#include "quality/nsm/nutrient_setup.h"
#include "model/model_state.h"
#include "model/project.h"
#include "quality/constituent_state.h"
#include "quality/nsm.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::cmt_block;
using testing::cmt_row;
using testing::table_record;
using testing::write_index_map;

class NutrientInputs : public testing::process_test {
 protected:
  // The ten-cell grid of the table fixture with the given tables, a
  // nutrient container and 0.1 m of water on every cell but cell 2 (dry).
  void make(const std::string& tables) {
    ms = table_record("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map lu\n" + tables);
    write_index_map("ids.map", "0 1 1 1\n2 2 2 0\n1 1 2 2\n");
    check_cmt_tables(ms->project.mapping_table.view(), ms->grid.cmt_table_present, 0, 1);
    ms->project.project_options.nsm_model = std::make_unique<nsm>();
    ms->constituent.nsm_model = ms->project.project_options.nsm_model.get();
    ms->constituent.nutrients = 1;
    ms->constituent.water_temp = 20.0;
    ms->constituent.chan_ph = 7.2;
    ms->overland.ov_depth.alloc(10);
    ms->overland.ov_depth.fill(0.1);
    ms->overland.ov_depth[2] = 0.0;
    testing::write_file("zones.idx", testing::map_text(3, 4, "0 1 1 1\n1 1 1 0\n1 1 1 1\n"));
    testing::write_file("aq.env", "AQUATIC_ENV_NSM10\nOV_MAP zones.idx\nNUM_IDS 1\ntitles\n1\nDEFAULT\n");
    model().aq_env.file_name.assign("aq.env");
  }
  nsm& model() { return *ms->constituent.nsm_model; }
  std::string setup() {
    CaptureStdout();
    read_nutrient_overland(*ms, 3);
    if (!process.error_block.stop) assign_constituent_params(*ms);
    return GetCapturedStdout();
  }
  void card(int item, int mode, double value = 0.0, const char* file = "") {
    model().ov_init_mode[item] = mode;
    model().ov_init_value[item] = value;
    model().ov_init_file[item].assign(file);
  }
  std::unique_ptr<model_state> ms;
};

const std::string nitrogen = cmt_block("NSM_N lu", {cmt_row("1", "Forest", "0.1 0.2 0.3 0.4"),
                                                    cmt_row("2", "Crops", "1.1 1.2 1.3 1.4")},
                                       "PRECIP_CONC 0.01 0.02 0.03 0.04\n");
const std::string phosphorus = cmt_block("NSM_P lu", {cmt_row("1", "Forest", "0.5 0.6 0.0"), cmt_row("2", "Crops", "1.5 1.6 0.0")});

TEST_F(NutrientInputs, EachSourceWithItsMessageAndTheMassItGives) {
  make(nitrogen);
  testing::write_file("no2.asc", testing::map_text(3, 4, "0 1 2 3\n4 5 6 0\n7 8 9 10\n"));
  card(nsm_c::no2, nsm_init_file, 0.0, "no2.asc");
  card(nsm_c::no3, nsm_init_table);
  card(nsm_c::op, nsm_init_uniform, 0.25);
  card(9, nsm_init_uniform, 4.0);  // DOC
  // NH4 has a table but no card: its concentrations stay, with no mass.
  const std::string out = setup();
  ASSERT_EQ(process.error_block.stop, 0) << out;
  EXPECT_NE(out.find("Reading the aquatic environment file aq.env.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Assigning parameters from a continuous map for the constituent Nitrite (NO2-)\n"),
            std::string::npos);
  EXPECT_NE(out.find("Assigning parameters for the Nitrate (NO3-) constituent from the mapping table.\n"),
            std::string::npos);
  EXPECT_NE(out.find("Assigning spatially uniform parameters for the Organic Phosphorous (Organic P) constituent\n"),
            std::string::npos);
  EXPECT_NE(out.find("Assigning spatially uniform parameters for the Dissolved Org. Carbon constituent\n"),
            std::string::npos);
  const nsm_overland& ov = model().overland;
  // Cells 1..3 carry ID 1 (Forest), 4..6 ID 2 (Crops): row 2 of ids.map.
  EXPECT_EQ(ov.water[nsm_c::no2].conc[4], 4.0);
  EXPECT_DOUBLE_EQ(ov.water[nsm_c::no2].mass[4], 10.0 * 0.1 * 10.0 * 4.0);
  EXPECT_EQ(ov.water[nsm_c::no2].mass[2], 0.0);  // dry
  EXPECT_EQ(ov.water[nsm_c::no3].conc[1], 0.2);
  EXPECT_EQ(ov.water[nsm_c::no3].conc[4], 1.2);
  EXPECT_DOUBLE_EQ(ov.water[nsm_c::no3].mass[4], 10.0 * 1.2);
  EXPECT_EQ(ov.water[nsm_c::nh4].conc[4], 1.3);
  EXPECT_EQ(ov.water[nsm_c::nh4].mass[4], 0.0);
  EXPECT_DOUBLE_EQ(ov.water[nsm_c::op].mass[10], 10.0 * 0.25);
  EXPECT_EQ(ov.doc[7], 4.0);
  EXPECT_EQ(ov.precip_conc[nsm_c::no2], 0.01);
  EXPECT_EQ(ov.precip_conc[nsm_c::on], 0.04);
  EXPECT_EQ(ov.precip_conc[nsm_c::op], 0.0);
  EXPECT_EQ(ov.first_nsm_constituent, 3);
  EXPECT_NEAR(-std::log10(ov.chem.ka), 9.4025, 5e-5);
  EXPECT_EQ(model().aq_env.ov_index[5], 1);
}

TEST_F(NutrientInputs, AlgaeNeedsTheOtherTableNotThePhosphorusOne) {
  make(phosphorus);
  card(nsm_c::alg, nsm_init_table);
  setup();
  EXPECT_EQ(process.error_block.code, 119);
  EXPECT_EQ(message_text(119),
            "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Grid): "
            "Algae\n");
}

TEST_F(NutrientInputs, AMapFileThatCannotBeOpened) {
  const struct {
    int item;
    const char* message;
  } rows[] = {
      {nsm_c::cbod, "Error opening initial condition continuous map file \nfor the grid Carbonaceous Biochemical "
                    "Oxygen Demand constituent. \nGiven filename: none.asc\n"},
      {10, "Error opening initial condition continuous map file \nfor the grid Dissolved Org. "
           "Carbon, Fraction Org. C. constituent. \nGiven filename: none.asc\n"},
      {11, "Error opening initial condition continuous map file \nfor the overland grid Dispersion coefficient "
           "constituent. \nGiven filename: none.asc\n"},
  };
  for (const auto& r : rows) {
    reset_process_state();
    make(phosphorus);
    card(nsm_c::op, nsm_init_uniform, 1.0);
    card(r.item, nsm_init_file, 0.0, "none.asc");
    const std::string out = setup();
    EXPECT_EQ(process.error_block.code, 80) << r.item;
    EXPECT_NE(out.find(r.message), std::string::npos) << out;
    // The organic-carbon fields announce the file first.
    EXPECT_EQ(out.find("Opening file: none.asc\n") != std::string::npos, r.item == 10) << out;
    EXPECT_EQ(message_text(80), "Error: Unable to open the nutrient file none.asc\n");
    // Items before the failing one keep their values.
    EXPECT_EQ(model().overland.water[nsm_c::op].conc[1], 1.0);
  }
}

TEST_F(NutrientInputs, ANegativeValueInAMapIsRefused) {
  make(phosphorus);
  testing::write_file("do.asc", testing::map_text(3, 4, "0 1 2 3\n4 -5 6 0\n7 8 9 10\n"));
  card(nsm_c::o2, nsm_init_file, 0.0, "do.asc");
  const std::string out = setup();
  EXPECT_NE(process.error_block.stop + process.error_block.code, 0) << out;
  EXPECT_NE(out.find("do.asc"), std::string::npos) << out;
}

TEST_F(NutrientInputs, AnAquaticEnvironmentErrorStopsBeforeTheValues) {
  make(phosphorus);
  testing::write_file("aq.env", "AQUATIC_ENV_NSM9\n");
  card(nsm_c::op, nsm_init_uniform, 1.0);
  const std::string out = setup();
  EXPECT_NE(process.error_block.stop, 0);
  EXPECT_NE(out.find("The header for the aquatic environment file is invalid"), std::string::npos) << out;
  EXPECT_EQ(model().overland.water[nsm_c::op].conc.count(), 0);
}

// Two trapezoid links of two nodes and a lake link; the stream cards go on
// after a missing table (120) or a missing map (80).
TEST_F(NutrientInputs, StreamValuesBySourceGoOnAfterAnError) {
  make(phosphorus);
  auto& ch = ms->channel;
  ch.num_stream_links = 3;
  ch.max_nodes_per_link = 3;
  ch.link_array_size = 4;
  ch.nx.alloc(3);
  ch.ltype.alloc(3);
  ch.link_dx.alloc(3);
  for (int l = 1; l <= 3; ++l) ch.nx[l] = 2, ch.link_dx[l] = 10.0;
  ch.ltype[1] = link_type::trapezoid;
  ch.ltype[2] = link_type::breakpoint;
  ch.ltype[3] = link_type::lake;
  ch.area.alloc(3, 4);
  ch.area(1, 1) = 2.0;
  ch.area(2, 2) = 3.0;
  testing::write_file("do.stm", "STREAM_MAP\nNLINKS 3\n7.5\n8.5\n9.5\n");
  model().st_init_mode[nsm_c::no2] = nsm_init_uniform;
  model().st_init_value[nsm_c::no2] = 0.5;
  model().st_init_mode[nsm_c::no3] = nsm_init_table;  // no stream table
  model().st_init_mode[nsm_c::nh4] = nsm_init_file;
  model().st_init_file[nsm_c::nh4].assign("none.stm");
  model().st_init_mode[nsm_c::o2] = nsm_init_file;
  model().st_init_file[nsm_c::o2].assign("do.stm");
  CaptureStdout();
  setup_nutrient_streams(*ms, 3);
  init_stream_constituents(*ms);
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("Assigning spatially uniform parameters for the stream constituent Nitrite (NO2-)\n"),
            std::string::npos) << out;
  EXPECT_NE(out.find("Error opening initial condition continuous map file \nfor the stream Ammonium (NH4+) "
                     "constituent. \nGiven filename: none.stm\n"),
            std::string::npos) << out;
  EXPECT_NE(out.find("Assigning parameters from a continuous map for the stream constituent Dissolved Oxygen (O2)\n"),
            std::string::npos) << out;
  // The last error stays for the reporter: the table missing for NO3 came
  // first, the NH4 map second.
  EXPECT_EQ(process.error_block.code, 80);
  const nsm_stream& st = model().stream;
  const int k11 = 3 * 1 + 1, k22 = 3 * 2 + 2, k31 = 3 * 3 + 1;
  EXPECT_EQ(st.water[nsm_c::no2].conc[k11], 0.5);
  EXPECT_DOUBLE_EQ(st.water[nsm_c::no2].mass[k11], 10.0 * 2.0 * 0.5);
  EXPECT_DOUBLE_EQ(st.water[nsm_c::o2].mass[k22], 10.0 * 3.0 * 8.5);
  EXPECT_EQ(st.water[nsm_c::o2].conc[k31], 0.0);  // the lake link gets nothing
  EXPECT_EQ(st.water_temp[k11], 20.0);

  reset_process_state();
  model().st_init_mode[nsm_c::nh4] = nsm_init_none;
  CaptureStdout();
  init_stream_constituents(*ms);
  GetCapturedStdout();
  EXPECT_EQ(process.error_block.code, 120);
  EXPECT_EQ(message_text(120),
            "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Stream): "
            "Nitrate (NO3-)\n");
}

// The nutrient rows of the run's constituent list: nine water constituents
// after the contaminants, their initial concentrations, masses (depth x
// concentration x dx^2 by hand), dispersion and rain concentrations taken
// from the overland part, and the overland transport switched on.
TEST_F(NutrientInputs, TheNineConstituentsFollowTheContaminantsWithTheirValues) {
  for (const int contaminants : {0, 2}) {
    reset_process_state();
    make(nitrogen + cmt_block("DISPERSION lu", {cmt_row("1", "Forest", "0.7"), cmt_row("2", "Crops", "0.9")}));
    if (contaminants) alloc_overland_constituents(*ms, contaminants, false);
    card(nsm_c::no3, nsm_init_table);
    card(nsm_c::op, nsm_init_uniform, 0.25);
    card(11, nsm_init_table);
    CaptureStdout();
    setup_nutrient_overland(*ms);
    const std::string out = GetCapturedStdout();
    ASSERT_EQ(process.error_block.stop, 0) << out;
    const constituent_state& k = ms->constituent;
    const int first = contaminants + 1;
    EXPECT_EQ(k.first_nsm_constituent, first);
    EXPECT_EQ(k.num_constituents, contaminants + 9);
    EXPECT_EQ(k.num_nsm_constituents, 9);
    EXPECT_EQ(model().overland.first_nsm_constituent, first);
    for (int c = 1; c <= k.num_constituents; ++c) EXPECT_EQ(k.constituent_type[c], c < first ? 1 : 2) << c;
    EXPECT_EQ(k.ov_con_trans, 1);
    // NO3 from the table: 0.2 on Forest cell 1, 1.2 on Crops cell 4.
    EXPECT_EQ(k.ov_conc(first + nsm_c::no3, 1), 0.2);
    EXPECT_EQ(k.ov_conc(first + nsm_c::no3, 4), 1.2);
    EXPECT_DOUBLE_EQ(k.ov_mass(first + nsm_c::no3, 4), 0.1 * 1.2 * 100.0);
    EXPECT_EQ(k.ov_mass(first + nsm_c::no3, 2), 0.0);  // dry cell
    EXPECT_DOUBLE_EQ(k.ov_mass(first + nsm_c::op, 10), 0.1 * 0.25 * 100.0);
    EXPECT_EQ(k.cell_disp_coef(first + nsm_c::op, 4), 0.9);
    EXPECT_EQ(k.precip_conc[first + nsm_c::nh4], 0.03);
    EXPECT_EQ(k.precip_conc[first + nsm_c::op], 0.0);
    // The summaries name the nutrients by their display names.
    EXPECT_EQ(k.constituent_output_name[static_cast<std::size_t>(first + nsm_c::nh4)], "Ammonium (NH4+)");
    if (contaminants) {
      EXPECT_EQ(k.ov_conc(1, 4), 0.0);  // the contaminants' rows are untouched
    }
  }
}

// The groundwater tables fill the groundwater concentrations of their
// constituents; dissolved oxygen has no column and keeps 0. A negative
// value stops the run naming the line of the table file.
TEST_F(NutrientInputs, GroundwaterTablesGiveTheirConstituentsConcentrations) {
  make(cmt_block("NSM_GW_N lu", {cmt_row("1", "Forest", "1 2 3 4"), cmt_row("2", "Crops", "5 6 7 8")}) +
       cmt_block("NSM_GW_P lu", {cmt_row("1", "Forest", "0.1 0.2 9 9"), cmt_row("2", "Crops", "0.3 0.4 9 9")}) +
       cmt_block("NSM_GW_OTH lu", {cmt_row("1", "Forest", "11 12"), cmt_row("2", "Crops", "13 14")}));
  CaptureStdout();
  setup_nutrient_overland(*ms);
  std::string out = GetCapturedStdout();
  ASSERT_EQ(process.error_block.stop, 0) << out;
  const constituent_state& k = ms->constituent;
  const int f = k.first_nsm_constituent;
  const struct {
    int c;
    double forest, crops;
  } rows[] = {{nsm_c::no2, 1, 5}, {nsm_c::no3, 2, 6}, {nsm_c::nh4, 3, 7}, {nsm_c::on, 4, 8}, {nsm_c::op, 0.1, 0.3},
              {nsm_c::dp, 0.2, 0.4}, {nsm_c::alg, 11, 13}, {nsm_c::cbod, 12, 14}, {nsm_c::o2, 0, 0}};
  for (const auto& r : rows) {
    EXPECT_EQ(k.gw_conc(f + r.c, 1), r.forest) << r.c;
    EXPECT_EQ(k.gw_conc(f + r.c, 4), r.crops) << r.c;
  }

  reset_process_state();
  make(cmt_block("NSM_GW_N lu", {cmt_row("1", "Forest", "1 2 3 4"), cmt_row("2", "Crops", "5 -6 7 8")}));
  CaptureStdout();
  setup_nutrient_overland(*ms);
  out = GetCapturedStdout();
  EXPECT_NE(process.error_block.stop, 0);
  EXPECT_NE(out.find("line 7 of the mapping table file t.cmt holds -6 as value 2 of a row of the NSM_GW_N table; it "
                     "takes a number from 0 to 1000000000000."),
            std::string::npos)
      << out;
}

// With soil transport the nine nutrient rows stay the list's (the soil
// side of a row is its partner pool) and the soil tables asked for by
// their cards give the surface layer, in kg, which the pools hold in g and
// a partner's row takes as its land mass; deeper layers stay 0; the Km
// and Koc tables go to every cell's partition record.
TEST_F(NutrientInputs, SoilTablesGiveTheSurfacePoolsAndPartitionRecords) {
  const std::string soil_n = cmt_block("NSM_SOIL_N lu", {cmt_row("1", "Forest", "2.5 1 2 3 4"),
                                                         cmt_row("2", "Crops", "0.5 0 0 0 0")});
  const std::string soil_p = cmt_block("NSM_SOIL_P lu", {cmt_row("1", "Forest", "1 2 3 4 5 6"),
                                                         cmt_row("2", "Crops", "1 2 3 4 5 6")});
  const std::string km = cmt_block("NSM_SOIL_KM lu", {cmt_row("1", "Forest", "1 2 3 4 5 6"),
                                                      cmt_row("2", "Crops", "7 8 9 10 11 12")});
  const std::string koc = cmt_block("NSM_SOIL_KOC lu", {cmt_row("1", "Forest", "21 22 23 24 25 26"),
                                                        cmt_row("2", "Crops", "27 28 29 30 31 32")});
  make(soil_n + soil_p + km + koc);
  constituent_state& k = ms->constituent;
  k.soil_con_trans = 1;
  k.soil_contam_layers = 2;
  k.soils_nsm_n = 2;  // the phosphorus table is present but not asked for
  CaptureStdout();
  setup_nutrient_overland(*ms);
  assign_nsm_table_params(*ms);
  const std::string out = GetCapturedStdout();
  ASSERT_EQ(process.error_block.stop, 0) << out;
  const int f = k.first_nsm_constituent;
  EXPECT_EQ(k.num_nsm_constituents, 9);
  for (int c = f; c < f + 9; ++c) EXPECT_EQ(k.constituent_type[c], 2) << c;
  const nsm_soil& soil = model().soil;
  EXPECT_EQ(soil.layers, 2);
  EXPECT_EQ(soil.pool[nsm_pool::nh4](1, 1), 2500.0);
  EXPECT_EQ(soil.pool[nsm_pool::nh4](1, 2), 0.0);
  EXPECT_EQ(soil.pool[nsm_pool::nh4](4, 1), 500.0);
  EXPECT_EQ(soil.pool[nsm_pool::org_stable_n](1, 1), 4000.0);
  EXPECT_EQ(k.land_mass(f + nsm_c::no3, 1), 1.0);  // the NO3 pool is NO3's soil side
  EXPECT_EQ(k.land_mass(f + nsm_c::nh4, 4), 0.5);
  EXPECT_EQ(k.land_mass(f + nsm_c::on, 1), 2.0);   // Organic Active N, ON's
  for (int w : {nsm_c::no2, nsm_c::op, nsm_c::dp, nsm_c::alg, nsm_c::cbod, nsm_c::o2})
    EXPECT_EQ(k.land_mass(f + w, 1), 0.0) << w;  // no table asked for, or no pool
  EXPECT_EQ(soil.pool[nsm_pool::min_active_p](1, 1), 0.0);
  EXPECT_EQ(soil.cell_partition(1, 1), 1.0);    // Km of NO2, Forest
  EXPECT_EQ(soil.cell_partition(4, 6), 12.0);   // Km of DP, Crops
  EXPECT_EQ(soil.cell_partition(4, 7), 27.0);   // Koc of NO2, Crops
  EXPECT_EQ(soil.cell_partition(1, 12), 26.0);  // Koc of DP, Forest
  // No process of this version reads them, and the user is told so.
  for (const char* table : {"NSM_SOIL_KM", "NSM_SOIL_KOC"})
    EXPECT_NE(out.find(std::string("Warning: the ") + table +
                       " table of the mapping table has no effect in this version of NIVRA; it is ignored.\n"),
              std::string::npos)
        << out;

  // Soil transport without the contaminant soil column has nowhere to put
  // the pools.
  reset_process_state();
  make(soil_n);
  ms->constituent.soil_con_trans = 1;
  CaptureStdout();
  setup_nutrient_overland(*ms);
  const std::string refused = GetCapturedStdout();
  EXPECT_NE(process.error_block.stop, 0);
  EXPECT_NE(refused.find("need the contaminant soil column"), std::string::npos) << refused;
}

// The stream zone map gives every node of a link the link's zone; a zone
// outside 1..NUM_IDS (0 included) and a missing map stop the run.
TEST_F(NutrientInputs, StreamZoneMapByLink) {
  make(phosphorus);
  auto& ch = ms->channel;
  ch.num_stream_links = 2;
  ch.max_nodes_per_link = 4;
  ch.nx.alloc(2);
  ch.nx[1] = 3;
  ch.nx[2] = 2;
  model().aq_env.num_ids = 2;
  const struct {
    const char* file;
    const char* text;
    const char* message;  // empty when read
  } rows[] = {
      {"zones.stm", "STREAM_MAP\nNLINKS 2\n2\n1\n", ""},
      {"zero.stm", "STREAM_MAP\nNLINKS 2\n0\n1\n", "gives link 1 the zone 0; the aquatic environment file has zones 1 to 2"},
      {"three.stm", "STREAM_MAP\nNLINKS 2\n2\n3\n", "gives link 2 the zone 3"},
      {"short.stm", "STREAM_MAP\nNLINKS 1\n2\n", "does not give one zone for each link"},
      {"", "", "Error: Unable to open the stream Aquatic Environment map.\n"},
  };
  for (const auto& r : rows) {
    reset_process_state();
    if (*r.file) testing::write_file(r.file, r.text);
    model().aq_env.st_index_map.assign(r.file);
    CaptureStdout();
    const bool read = read_stream_zone_map(*ms);
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(read, !*r.message) << r.file;
    EXPECT_EQ(process.error_block.stop != 0, !read) << r.file;
    if (*r.message) {
      EXPECT_NE(out.find(r.message), std::string::npos) << out;
    }
  }
  testing::write_file("zones.stm", "STREAM_MAP\nNLINKS 2\n2\n1\n");
  model().aq_env.st_index_map.assign("zones.stm");
  reset_process_state();
  ASSERT_TRUE(read_stream_zone_map(*ms));
  const jagged_array<int>& z = model().aq_env.st_index;
  EXPECT_EQ(z(1, 1), 2);
  EXPECT_EQ(z(3, 1), 2);
  EXPECT_EQ(z(2, 2), 1);
  EXPECT_EQ(z(4, 1), 1);  // beyond the link's nodes: the default zone
}

// The outputs read the masses the run carries: the constituent list's
// nutrient rows. A total asked for is recomputed from those rows: on a cell
// of 0.1 m of water (10 m3) holding 20 g of NH4 at pH 7.2 and 20 C, the
// unionized ammonia is NH4 x Ka / [H+] x 17.031 / 18.039 with
// pKa = 0.09018 + 2729.92 / 293.15, by hand 0.1184 g (0.59 per cent of the NH4).
TEST_F(NutrientInputs, OutputsReadTheCarriedMassesAndRecomputeTheTotals) {
  make(phosphorus);
  card(nsm_c::nh4, nsm_init_uniform, 1.0);
  card(nsm_c::op, nsm_init_uniform, 0.5);
  model().out_hyd_on[nsm_c::nh4] = 1;
  ASSERT_TRUE(open_guarded_file(model().hyd_conc_files[nsm_c::nh4], "nh4.conc", "w"));
  CaptureStdout();
  setup_nutrient_overland(*ms);
  connect_nutrient_outputs(*ms);
  GetCapturedStdout();
  ASSERT_EQ(process.error_block.stop, 0);
  constituent_state& k = ms->constituent;
  ASSERT_EQ(k.nsm_out, &model().writers);
  nsm_writers& w = model().writers;
  const int f = k.first_nsm_constituent;
  EXPECT_EQ(w.media.ov_mass[nsm_c::nh4 + 1], k.ov_mass.row(f + nsm_c::nh4));
  EXPECT_EQ(w.media.ov_conc[nsm_c::op + 1], k.ov_conc.row(f + nsm_c::op));
  // The hydrograph file moved into the writers, under constituent 3.
  EXPECT_EQ(w.hydrographs.out_hyd_on[3], 1);
  EXPECT_TRUE(w.hydrographs.hyd_conc_files[3].is_open());
  EXPECT_FALSE(model().hyd_conc_files[nsm_c::nh4].is_open());

  // The transport moved mass: 20 g of NH4 and 3 g of OP on cell 5.
  k.ov_mass(f + nsm_c::nh4, 5) = 20.0;
  k.ov_mass(f + nsm_c::op, 5) = 3.0;
  w.recompute(nsm_total::overland_total_n);
  w.recompute(nsm_total::overland_total_p);
  const double pka = 0.09018 + 2729.92 / 293.15;
  const double nh3 = 20.0 * std::pow(10.0, 7.2 - pka) * 17.031 / 18.039;
  EXPECT_NEAR(nh3, 0.1184, 1e-4);
  EXPECT_NEAR(model().overland.nh3[5], nh3, 1e-12);
  EXPECT_NEAR(w.media.ov_total_n[5], 20.0 + nh3, 1e-12);
  EXPECT_DOUBLE_EQ(w.media.ov_total_p[5], 3.0);  // OP alone: no DP
  // A dry cell: no ammonia, the nitrogen is the NH4 mass alone.
  k.ov_mass(f + nsm_c::nh4, 2) = 7.0;
  w.recompute(nsm_total::overland_total_n);
  EXPECT_EQ(model().overland.nh3[2], 0.0);
  EXPECT_EQ(w.media.ov_total_n[2], 7.0);
}

}  // namespace
}  // namespace nivra
