// Opening of the project's files: each failure names the file's role and
// name with its code and stops the opening; tables of the mapping-table
// file stand in for missing maps; nothing is opened twice.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "core/errors.h"
#include "core/process.h"
#include "model/model_state.h"
#include "model/open_files.h"
#include "quality/nsm.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::read_file;
using testing::write_file;

class OpenFiles : public testing::process_test {
 protected:
  // A record whose four files of every run exist or can be written.
  std::unique_ptr<model_state> base() {
    write_file("w.msk", "mask\n");
    write_file("w.ele", "elevation\n");
    write_file("in.txt", "an input\n");
    auto ms = make_model_state();
    ms->watershed_mask.assign("w.msk");
    ms->elevation_file_name.assign("w.ele");
    ms->summary.assign("w.sum");
    ms->outlet_hydro.assign("w.otl");
    return ms;
  }
  static void open(model_state& ms, std::string* console = nullptr) {
    CaptureStdout();
    open_project_files(ms);
    std::string out = GetCapturedStdout();
    if (console) *console = out;
  }
};

TEST_F(OpenFiles, EachFailureNamesTheFileAndStops) {
  struct failure {
    int code;
    const char* role;  // str1
    const char* name;  // str2
    std::function<void(model_state&)> make;
  };
  // "none.txt" never exists and "nodir/x.out" can never be written.
  const failure table[] = {
      {4, "watershed mask", "none.txt", [](model_state& m) { m.watershed_mask.assign("none.txt"); }},
      {4, "elevation data", "none.txt", [](model_state& m) { m.elevation_file_name.assign("none.txt"); }},
      {4, "output summary", "", [](model_state& m) { m.summary.clear(); }},
      {4, "output hydrograph", "nodir/x.out", [](model_state& m) { m.outlet_hydro.assign("nodir/x.out"); }},
      {4, "groundwater boundary", "", [](model_state& m) { m.gw_simulation = 1; }},
      {4, "soil type", "none.txt", [](model_state& m) { m.inf_layered_soil = 1; m.soil_type_map.assign("none.txt"); }},
      {4, "Ks", "none.txt", [](model_state& m) { m.green_ampt = m.conductivity_given = 1; m.conductivity.assign("none.txt"); }},
      {4, "hydromet data", "none.txt", [](model_state& m) { m.long_term = 1; m.hmet_file.assign("none.txt"); }},
      {4, "raingage data", "none.txt", [](model_state& m) { m.precip_file_given = 1; m.precip_file.assign("none.txt"); }},
      {4, "grid-stream connectivity", "", [](model_state& m) { m.chan_mesh = 1; }},
      {4, "Manning roughness", "none.txt", [](model_state& m) { m.roughness_given = 1; m.roughness.assign("none.txt"); }},
      {4, "channel input", "none.txt", [](model_state& m) { m.chan_explic = 1; m.stream_cell.assign("in.txt"); m.channel_input.assign("none.txt"); }},
      {4, "channel depth", "nodir/h.dht", [](model_state& m) { m.write_chan_hotstart_given = 1; m.chan_hotstart_write_dht.assign("nodir/h.dht"); }},
      {4, "channel discharge", "h.qht", [](model_state& m) { m.chan_hotstart_flag_in = 1; m.chan_hotstart_read_dht.assign("in.txt"); m.chan_hotstart_read_qht.assign("h.qht"); }},
      {4, "hydrograph location", "none.txt", [](model_state& m) { m.in_hyd_location_given = 1; m.in_hyd_location.assign("none.txt"); }},
      {51, "out hydrograph file", "nodir/x.out", [](model_state& m) { m.in_hyd_location_given = 1; m.in_hyd_location.assign("in.txt"); m.out_hyd_location.assign("nodir/x.out"); }},
      {51, "nodir/x.out", "nodir/x.out", [](model_state& m) { m.superlink_junc_flow_given = 1; m.superlink_junc_flow.assign("nodir/x.out"); }},
      {50, "nodir/x.out", "nodir/x.out", [](model_state& m) { m.out_dep_location_given = 1; m.out_dep_location.assign("nodir/x.out"); }},
      {49, "nodir/x.out", "nodir/x.out", [](model_state& m) { m.out_mass_location_given = 1; m.out_mass_location.assign("nodir/x.out"); }},
      {48, "in.txt", "nodir/x.out (out_theta_location_file)", [](model_state& m) { m.in_theta_location_given = 1; m.in_theta_location.assign("in.txt"); m.out_theta_location.assign("nodir/x.out"); }},
      {4, "output channel depth", "nodir/x.out", [](model_state& m) { m.chan_depth_given = 1; m.chan_depth_file_name.assign("nodir/x.out"); }},
      {4, "output total channel nitrogen", "nodir/x.out", [](model_state& m) { m.nutrients = m.total_chan_n_given = 1; m.total_chan_n.assign("nodir/x.out"); }},
      {4, "superlink flow", "nodir/x.out", [](model_state& m) { m.storm_sewer_given = m.pipe_flow_given = 1; m.pipe_flow.assign("nodir/x.out"); }},
      {4, "contam", "none.txt", [](model_state& m) { m.contam_map_given = 1; m.contam_map.assign("none.txt"); }},
  };
  for (const failure& f : table) {
    reset_process_state();
    auto ms = base();
    f.make(*ms);
    open(*ms);
    const error_state& e = process.error_block;
    EXPECT_EQ(e.code, f.code) << f.role;
    EXPECT_EQ(e.stop, 1) << f.role;
    EXPECT_EQ(e.str1.view(), f.role) << f.role;
    EXPECT_EQ(e.str2.view(), f.name) << f.role;
  }
}

TEST_F(OpenFiles, TheRunSummaryOpensFirstAmongTheOutputs) {
  auto ms = base();
  open(*ms);
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_TRUE(ms->summary_file.is_open());
  EXPECT_TRUE(ms->outlet_hydro_file.is_open());
  EXPECT_EQ(process.summary_log, &ms->summary_file);

  // A failed outlet hydrograph finds the summary open and its log set.
  reset_process_state();
  auto late = base();
  late->outlet_hydro.assign("nodir/x.otl");
  open(*late);
  EXPECT_EQ(process.error_block.str1.view(), "output hydrograph");
  EXPECT_EQ(process.summary_log, &late->summary_file);
  // A failed input before it leaves no output written.
  reset_process_state();
  auto early = base();
  early->watershed_mask.assign("none.txt");
  early->summary.assign("never.sum");
  open(*early);
  EXPECT_EQ(process.summary_log, nullptr);
  EXPECT_FALSE(testing::file_exists("never.sum"));
}

TEST_F(OpenFiles, MappingTablesStandInForMissingMaps) {
  auto ms = base();
  ms->green_ampt = 1;
  ms->conductivity_given = ms->capillary_given = ms->porosity_given = 1;
  ms->moisture_given = 1;
  ms->cmt_table_present[cmt_ga_infiltration] = 1;
  ms->cmt_table_present[cmt_ga_soil_moisture] = 1;
  ms->inf_layered_soil = ms->sm_accounting = 1;  // soil maps from the multi-layer table
  ms->cmt_table_present[cmt_multi_layer_ga] = 1;
  ms->roughness_given = 1;
  ms->cmt_table_present[cmt_roughness] = 1;
  open(*ms);
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_FALSE(ms->ks_file.is_open());
  EXPECT_FALSE(ms->roughness_file.is_open());
  EXPECT_TRUE(ms->evap_out_file.is_open());  // layered soil keeps the soil-moisture account
}

TEST_F(OpenFiles, FilesOpenedForGroundwaterAreNotOpenedAgain) {
  auto ms = base();
  write_file("wt.map", "water table\n");
  write_file("bot.map", "aquifer bottom\n");
  ms->gw_simulation = ms->water_table_given = 1;
  ms->gw_boundfile.assign("in.txt");
  ms->water_table.assign("wt.map");
  ms->aquifer_bottom.assign("bot.map");
  ms->gw_unif_porosity_given = ms->gw_unif_hycond_given = 1;
  ms->inf_redist = ms->sm_accounting = 1;
  std::string console;
  open(*ms, &console);
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_EQ(console, "");  // no warning of a handle opened twice
  EXPECT_TRUE(ms->water_table_file.is_open());
  EXPECT_TRUE(ms->aquifer_bottom_file.is_open());
  close_guarded_file(ms->evap_out_file);
  EXPECT_EQ(read_file("evap_out"),
            "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  "
            "CFGI         temp(C)   avg_theta_L1  avg_theta_L2\n");
}

TEST_F(OpenFiles, NutrientHydrographFiles) {
  auto ms = base();
  auto model = std::make_unique<nsm>();
  model->out_hyd_on[2] = 1;
  model->out_hyd_file[2].assign("nh4");
  model->out_hyd_on[4] = 1;
  model->out_hyd_file[4].assign("nodir/op");
  ms->nutrients = 1;
  ms->nsm_model = model.get();
  std::string console;
  open(*ms, &console);
  EXPECT_TRUE(model->hyd_conc_files[2].is_open());
  EXPECT_TRUE(model->hyd_mass_files[2].is_open());
  EXPECT_TRUE(testing::file_exists("nh4.conc"));
  EXPECT_TRUE(testing::file_exists("nh4.mass"));
  EXPECT_EQ(process.error_block.code, 4);
  EXPECT_EQ(process.error_block.str1.view(), "nutrient concentration");
  EXPECT_EQ(process.error_block.str2.view(), "nodir/op.conc");
  EXPECT_NE(console.find("Error opening nutrient concentration output file (hydrograph style )\n"
                         "for the OP hydrograph file. \nGiven filename: nodir/op.conc\n"),
            std::string::npos);
  ms->nsm_model = nullptr;
}

}  // namespace
}  // namespace nivra
