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
#include "quality/nsm/nutrient_inputs.h"
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

}  // namespace
}  // namespace nivra
