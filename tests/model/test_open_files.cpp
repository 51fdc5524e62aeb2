// Opening of the project's files: each failure names the file's role and
// name with its code and stops the opening; tables of the mapping-table
// file stand in for missing maps; nothing is opened twice.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/open_files.h"
#include "model/project.h"
#include "output/output_state.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "quality/nsm.h"
#include "soil/soil_state.h"
#include "support/test_support.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::read_file;
using testing::write_file;

class OpenFiles : public testing::process_test {
 protected:
  // A record whose four files of every run exist or can be written. A file
  // "nodir" stands where a folder of that name would be made, so that
  // "nodir/x.out" can never be written.
  std::unique_ptr<model_state> base() {
    write_file("nodir", "a file, not a folder\n");
    write_file("w.msk", "mask\n");
    write_file("w.ele", "elevation\n");
    write_file("in.txt", "an input\n");
    auto ms = make_model_state();
    ms->project.watershed_mask.assign("w.msk");
    ms->project.elevation_file_name.assign("w.ele");
    ms->project.summary.assign("w.sum");
    ms->project.outlet_hydro.assign("w.otl");
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
  // "none.txt" never exists and "nodir/x.out" can never be written (base()).
  const failure table[] = {
      {4, "watershed mask", "none.txt", [](model_state& m) { m.project.watershed_mask.assign("none.txt"); }},
      {4, "elevation data", "none.txt", [](model_state& m) { m.project.elevation_file_name.assign("none.txt"); }},
      {4, "output summary", "", [](model_state& m) { m.project.summary.clear(); }},
      {4, "output hydrograph", "nodir/x.out", [](model_state& m) { m.project.outlet_hydro.assign("nodir/x.out"); }},
      {4, "groundwater boundary", "none.txt", [](model_state& m) { m.groundwater.gw_simulation = m.groundwater.gw_boundfile_given = 1; m.project.gw_boundfile.assign("none.txt"); }},
      {4, "soil type", "none.txt", [](model_state& m) { m.soil.inf_layered_soil = 1; m.project.soil_type_map.assign("none.txt"); }},
      {4, "Ks", "none.txt", [](model_state& m) { m.soil.green_ampt = m.soil.conductivity_given = 1; m.project.conductivity.assign("none.txt"); }},
      {4, "hydromet data", "none.txt", [](model_state& m) { m.clock.long_term = 1; m.project.hmet_file.assign("none.txt"); }},
      {4, "raingage data", "none.txt", [](model_state& m) { m.hydromet.precip_file_given = 1; m.project.precip_file.assign("none.txt"); }},
      {4, "grid-stream connectivity", "", [](model_state& m) { m.channel.chan_mesh = 1; }},
      {4, "Manning roughness", "none.txt", [](model_state& m) { m.overland.roughness_given = 1; m.project.roughness.assign("none.txt"); }},
      {4, "channel input", "none.txt", [](model_state& m) { m.channel.chan_explic = 1; m.project.stream_cell.assign("in.txt"); m.project.channel_input.assign("none.txt"); }},
      {4, "channel depth", "nodir/h.dht", [](model_state& m) { m.channel.write_chan_hotstart_given = 1; m.project.chan_hotstart_write_dht.assign("nodir/h.dht"); }},
      {4, "channel discharge", "h.qht", [](model_state& m) { m.channel.chan_hotstart_flag_in = 1; m.project.chan_hotstart_read_dht.assign("in.txt"); m.project.chan_hotstart_read_qht.assign("h.qht"); }},
      {4, "hydrograph location", "none.txt", [](model_state& m) { m.output.in_hyd_location_given = 1; m.project.in_hyd_location.assign("none.txt"); }},
      {51, "out hydrograph file", "nodir/x.out", [](model_state& m) { m.output.in_hyd_location_given = 1; m.project.in_hyd_location.assign("in.txt"); m.project.out_hyd_location.assign("nodir/x.out"); }},
      {51, "nodir/x.out", "nodir/x.out", [](model_state& m) { m.output.superlink_junc_flow_given = 1; m.project.superlink_junc_flow.assign("nodir/x.out"); }},
      {50, "nodir/x.out", "nodir/x.out", [](model_state& m) { m.output.out_dep_location_given = 1; m.project.out_dep_location.assign("nodir/x.out"); }},
      {49, "nodir/x.out", "nodir/x.out", [](model_state& m) { m.output.out_mass_location_given = 1; m.project.out_mass_location.assign("nodir/x.out"); }},
      {48, "in.txt", "nodir/x.out (out_theta_location_file)", [](model_state& m) { m.output.in_theta_location_given = 1; m.project.in_theta_location.assign("in.txt"); m.project.out_theta_location.assign("nodir/x.out"); }},
      {4, "output channel depth", "nodir/x.out", [](model_state& m) { m.output.chan_depth_given = 1; m.project.chan_depth_file_name.assign("nodir/x.out"); }},
      {4, "output total channel nitrogen", "nodir/x.out", [](model_state& m) { m.constituent.nutrients = m.constituent.total_chan_n_given = 1; m.project.total_chan_n.assign("nodir/x.out"); }},
      {4, "superlink flow", "nodir/x.out", [](model_state& m) { m.pipe.storm_sewer_given = m.output.pipe_flow_given = 1; m.project.pipe_flow.assign("nodir/x.out"); }},
      {4, "contam", "none.txt", [](model_state& m) { m.constituent.contam_map_given = 1; m.project.contam_map.assign("none.txt"); }},
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
  EXPECT_TRUE(ms->output.summary_file.is_open());
  EXPECT_TRUE(ms->output.outlet_hydro_file.is_open());
  EXPECT_EQ(process.summary_log, &ms->output.summary_file);

  // A failed outlet hydrograph finds the summary open and its log set.
  reset_process_state();
  auto late = base();
  late->project.outlet_hydro.assign("nodir/x.otl");
  open(*late);
  EXPECT_EQ(process.error_block.str1.view(), "output hydrograph");
  EXPECT_EQ(process.summary_log, &late->output.summary_file);
  // A failed input before it leaves no output written.
  reset_process_state();
  auto early = base();
  early->project.watershed_mask.assign("none.txt");
  early->project.summary.assign("never.sum");
  open(*early);
  EXPECT_EQ(process.summary_log, nullptr);
  EXPECT_FALSE(testing::file_exists("never.sum"));
}

TEST_F(OpenFiles, MappingTablesStandInForMissingMaps) {
  auto ms = base();
  ms->soil.green_ampt = 1;
  ms->soil.conductivity_given = ms->soil.capillary_given = ms->soil.porosity_given = 1;
  ms->soil.moisture_given = 1;
  ms->grid.cmt_table_present[cmt_ga_infiltration] = 1;
  ms->grid.cmt_table_present[cmt_ga_soil_moisture] = 1;
  ms->soil.inf_layered_soil = ms->soil.sm_accounting = 1;  // soil maps from the multi-layer table
  ms->grid.cmt_table_present[cmt_multi_layer_ga] = 1;
  ms->overland.roughness_given = 1;
  ms->grid.cmt_table_present[cmt_roughness] = 1;
  open(*ms);
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_FALSE(ms->soil.ks_file.is_open());
  EXPECT_FALSE(ms->overland.roughness_file.is_open());
  EXPECT_TRUE(ms->soil.evap_out_file.is_open());  // layered soil keeps the soil-moisture account
}

TEST_F(OpenFiles, FilesOpenedForGroundwaterAreNotOpenedAgain) {
  auto ms = base();
  write_file("wt.map", "water table\n");
  write_file("bot.map", "aquifer bottom\n");
  ms->groundwater.gw_simulation = ms->groundwater.water_table_given = 1;
  ms->groundwater.gw_boundfile_given = 1;
  ms->project.gw_boundfile.assign("in.txt");
  ms->project.water_table.assign("wt.map");
  ms->project.aquifer_bottom.assign("bot.map");
  ms->groundwater.gw_unif_porosity_given = ms->groundwater.gw_unif_hycond_given = 1;
  ms->soil.inf_redist = ms->soil.sm_accounting = 1;
  std::string console;
  open(*ms, &console);
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_EQ(console, "");  // no warning of a handle opened twice
  EXPECT_TRUE(ms->groundwater.water_table_file.is_open());
  EXPECT_TRUE(ms->groundwater.aquifer_bottom_file.is_open());
  close_guarded_file(ms->soil.evap_out_file);
  EXPECT_EQ(read_file("evap_out"),
            "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      avgbottomfav  "
            "CFGI         temp(C)      Tsoil_cell1(K) avg_theta_L1  avg_theta_L2\n");
}

TEST_F(OpenFiles, NutrientHydrographFiles) {
  auto ms = base();
  auto model = std::make_unique<nsm>();
  model->out_hyd_on[2] = 1;
  model->out_hyd_file[2].assign("nh4");
  model->out_hyd_on[4] = 1;
  model->out_hyd_file[4].assign("nodir/op");
  ms->constituent.nutrients = 1;
  ms->constituent.nsm_model = model.get();
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
                         "for the Organic Phosphorous (Organic P) hydrograph file. \nGiven filename: nodir/op.conc\n"),
            std::string::npos);
  ms->constituent.nsm_model = nullptr;
}

}  // namespace
}  // namespace nivra
