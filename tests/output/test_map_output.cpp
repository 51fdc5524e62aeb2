#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "clock/clock_state.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "model/project.h"
#include "output/dataset_out.h"
#include "output/nsm_output.h"
#include "output/output_state.h"
#include "output/step_outputs.h"
#include "output_fixture.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"

namespace nivra::testing {
namespace {

class MapOutput : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  void SetUp() override {
    process_test::SetUp();
    std::filesystem::create_directory("maps");
    ms->clock.step_count = 1;
    ms->clock.elapsed_min = 30.0;
  }
  void write_quietly() {
    ::testing::internal::CaptureStdout();
    write_map_output(*ms);
    said = ::testing::internal::GetCapturedStdout();
  }
  std::string said;
};

const char* const arc_head =
    "ncols \t3\nnrows \t2\nxllcenter     50.00\nyllcenter     50.00\ncellsize    100.00\n"
    "NODATA_value -9999.99\n";

TEST_F(MapOutput, PerTimeGridsAndTheirNames) {
  ms->output.no_map_output = 1;
  ms->output.depth_given = ms->output.discharge_given = ms->output.surf_moist_given = 1;
  ms->project.depth = "maps";
  ms->project.discharge = "maps/";
  ms->project.surf_moist = "maps";
  set_cells(ms->soil.surface_moisture, {0.1, 0.2, 0.3, 0.4, 0.5});
  write_quietly();
  ms->clock.step_count = 2;
  write_quietly();
  EXPECT_EQ(ms->output.map_number, 2);
  EXPECT_EQ(read_file("maps/depth.0001.asc"),
            std::string(arc_head) + "0.0100 0.0200 0.0300 \n0.0400 -9999.99 0.0500 \n");
  EXPECT_EQ(read_file("maps/discharge.0002.asc"),
            std::string(arc_head) + "0.0000 5.0000 0.0000 \n0.0000 -9999.99 1.0000 \n");
  EXPECT_TRUE(file_exists("maps/smoist.0001.asc"));
  EXPECT_TRUE(file_exists("maps/depth.0002.asc"));
  EXPECT_NE(said.find("opening file maps/depth.0002.asc\n"), std::string::npos) << said;

  // A surface-moisture folder ending in a separator names its files "surf.".
  ms->project.surf_moist = "maps\\";
  write_quietly();
  EXPECT_TRUE(file_exists("maps/surf.0003.asc"));
}

// QUIET leaves out the line of every per-time file, of the maps and of the
// series alike; the files are written all the same.
TEST_F(MapOutput, QuietLeavesOutTheOpeningLines) {
  for (const bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    ms = make_fixture();
    ms->clock.step_count = 1;
    ms->clock.elapsed_min = 30.0;
    ms->output.no_map_output = 1;
    ms->output.quiet_map_files = quiet ? 1 : 0;
    ms->output.depth_given = 1;
    ms->project.depth = quiet ? "maps/q" : "maps";
    std::filesystem::create_directory("maps/q");
    ms->constituent.num_constituents = 1;
    ms->constituent.constituent_type.grow_fill(1, 1);
    ms->constituent.constituent_output_name = {"", quiet ? "q/con1" : "con1"};
    ms->constituent.ov_conc.grow(1, 5);
    ms->constituent.ov_mass.grow(1, 5);
    init_contaminant_map_series(*ms);
    write_quietly();
    const std::string depth = ms->project.depth.str() + "/depth.0001.asc";
    EXPECT_TRUE(file_exists(depth));
    EXPECT_EQ(said.find("opening file " + depth) == std::string::npos, quiet) << said;
    // The two files of the contaminant's series.
    int lines = 0;
    for (std::size_t at = said.find("opening file"); at != std::string::npos; at = said.find("opening file", at + 1))
      ++lines;
    EXPECT_EQ(lines, quiet ? 0 : 3) << said;
  }
}

TEST_F(MapOutput, LakeCellsShowTheLakeDepth) {
  ms->output.no_map_output = 1;
  ms->output.depth_given = 1;
  ms->project.depth = "maps";
  set_ints(ms->lake.lake_mask, {0, 0, 1, 0, 0});
  write_quietly();
  EXPECT_EQ(read_file("maps/depth.0001.asc"),
            std::string(arc_head) + "0.0100 0.0200 89.5000 \n0.0400 -9999.99 0.0500 \n");
}

TEST_F(MapOutput, OnlyAtMapSteps) {
  ms->output.no_map_output = 1;
  ms->output.depth_given = 1;
  ms->project.depth = "maps";
  ms->clock.map_write_steps = 2;
  ms->clock.keep_running = 1;
  for (int s = 1; s <= 6; ++s) {
    ms->clock.step_count = s;
    write_quietly();
  }
  EXPECT_EQ(ms->output.map_number, 3);  // steps 1, 3 and 5
  EXPECT_TRUE(file_exists("maps/depth.0003.asc"));
  EXPECT_FALSE(file_exists("maps/depth.0004.asc"));
  // The run's last step writes its maps too, whatever the interval.
  ms->clock.step_count = 7;
  ms->clock.keep_running = 0;
  write_quietly();
  EXPECT_EQ(ms->output.map_number, 4);
  EXPECT_TRUE(file_exists("maps/depth.0004.asc"));
}

TEST_F(MapOutput, UnopenableMapEndsThisOutputTime) {
  ms->output.no_map_output = 1;
  ms->output.depth_given = ms->output.discharge_given = 1;
  ms->project.depth = "missing";
  ms->project.discharge = "maps";
  // A file stands where the folder would be made: the file cannot be written.
  testing::write_file("missing", "");
  write_quietly();
  EXPECT_NE(said.find("Can't open depth map for writing: missing/depth.0001.asc\n"),
            std::string::npos)
      << said;
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_FALSE(file_exists("maps/discharge.0001.asc"));
}

TEST_F(MapOutput, DatasetRecordsAndRechargeIncrements) {
  ms->output.dataset_output = 1;
  ms->output.dis_rain_given = ms->output.gw_recharge_cum_given = ms->output.gw_recharge_inc_given = 1;
  ms->project.dis_rain = "rain.dat";
  ms->project.gw_recharge_cum = "cum.dat";
  ms->project.gw_recharge_inc = "inc.dat";
  set_cells(ms->hydromet.rain_depth, {1.0, 2.0, 3.0, 4.0, 5.0});
  set_cells(ms->groundwater.cum_gw_recharge, {0.5, 0.5, 0.5, 0.5, 0.5});
  init_grid_dataset_output(*ms);
  write_map_output(*ms);
  ms->clock.step_count = 2;
  ms->clock.elapsed_min = 31.0;
  for (int c = 1; c <= 5; ++c) ms->groundwater.cum_gw_recharge[c] = 0.75;
  write_map_output(*ms);
  const char* flags = "1\n1\n1\n1\n0\n1\n";
  EXPECT_EQ(written(ms->output.dis_rain_map_file),
            std::string("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 1012\nND 6\nNC 6\nNAME rain\n") +
                "TS 1 30.000000\n" + flags +
                "1.000000\n2.000000\n3.000000\n4.000000\n0.000000\n5.000000\n" +
                "TS 1 31.000000\n" + flags +
                "1.000000\n2.000000\n3.000000\n4.000000\n0.000000\n5.000000\n");
  const std::string inc = written(ms->output.gw_recharge_inc_map_file);
  // The first increment is the cumulative recharge itself.
  EXPECT_NE(inc.find(std::string("TS 1 30.000000\n") + flags +
                     "0.500000\n0.500000\n0.500000\n0.500000\n0.000000\n0.500000\n"),
            std::string::npos)
      << inc;
  EXPECT_NE(inc.find(std::string("TS 1 31.000000\n") + flags +
                     "0.250000\n0.250000\n0.250000\n0.250000\n0.000000\n0.250000\n"),
            std::string::npos)
      << inc;
  EXPECT_NE(written(ms->output.gw_recharge_cum_map_file).find("0.750000\n0.750000\n"), std::string::npos);
}

TEST_F(MapOutput, IndexMappedRunsKeepOnlyHeadAndSedimentFlux) {
  ms->output.dataset_output = 1;
  ms->output.depth_given = ms->output.gw_output_given = 1;
  ms->output.skip_index_maps = 1;
  set_cells(ms->groundwater.elevgw, {9.0, 9.5, 10.0, 10.5, 11.0});
  open_for_test(ms->output.depth_map_file, "depth.dat");
  open_for_test(ms->output.gw_head_map_file, "head.dat");
  write_map_output(*ms);
  EXPECT_EQ(written(ms->output.depth_map_file), "");
  EXPECT_EQ(written(ms->output.gw_head_map_file),
            "TS 1 30.000000\n1\n1\n1\n1\n0\n1\n"
            "9.000000\n9.500000\n10.000000\n10.500000\n0.000000\n11.000000\n");
}

TEST_F(MapOutput, SedimentMaps) {
  ms->output.dataset_output = 1;
  ms->constituent.n_sed_classes = 2;
  ms->constituent.max_sed_flux = ms->constituent.net_sed_volume = ms->constituent.vol_sed_susp = 1;
  ms->constituent.ov_sed = std::make_unique<ov_sed_record>();
  ov_sed_record& s = *ms->constituent.ov_sed;
  s.ov_qsmax.alloc(5, 2);
  s.ov_qsvol.alloc(5, 2);
  s.ov_qsconc.alloc(5, 2);
  s.ov_qsmax(2, 1) = 1e-6;
  s.ov_qsmax(2, 2) = 2.5e-6;
  s.ov_qsvol(5, 1) = 10.0;
  s.ov_qsvol(5, 2) = 20.0;  // 30 m3 over a 100 m cell: 3 mm
  s.ov_qsconc(1, 0) = 0.125;
  open_for_test(ms->constituent.max_sed_flux_file, "flux.dat");
  open_for_test(ms->constituent.net_sed_volume_file, "net.dat");
  open_for_test(ms->constituent.vol_sed_susp_file, "susp.dat");
  write_map_output(*ms);
  const char* head = "TS 1 30.000000\n1\n1\n1\n1\n0\n1\n";
  EXPECT_EQ(written(ms->constituent.max_sed_flux_file),
            std::string(head) + "0.000000\n3.500000\n0.000000\n0.000000\n0.000000\n0.000000\n");
  EXPECT_EQ(written(ms->constituent.net_sed_volume_file),
            std::string(head) + "0.000000\n0.000000\n0.000000\n0.000000\n0.000000\n3.000000\n");
  EXPECT_EQ(written(ms->constituent.vol_sed_susp_file),
            std::string(head) + "0.125000\n0.000000\n0.000000\n0.000000\n0.000000\n0.000000\n");
}

TEST_F(MapOutput, ContaminantAndSnowSeriesAreWrittenWithoutMapFlags) {
  // No map card: no per-variable maps, but the series still get records.
  ms->constituent.num_constituents = 1;
  ms->constituent.constituent_type.grow_fill(1, 1);
  ms->constituent.constituent_output_name = {"", "con1"};
  ms->constituent.ov_conc.grow(1, 5);
  ms->constituent.ov_mass.grow(1, 5);
  ms->constituent.ov_conc(1, 5) = 2.5;
  ms->hydromet.snow_temp_given = 1;
  ms->project.snow_temp = "snowt.dat";
  set_cells(ms->hydromet.snow_temperature, {-1.0, -2.0, -3.0, -4.0, -5.0});
  init_grid_dataset_output(*ms);
  init_contaminant_map_series(*ms);
  write_map_output(*ms);
  dataset_out* row = ms->output.map_series.row(1);
  const std::string conc = written(row[1].file);
  EXPECT_NE(conc.find("TS 1 30.000000\n1\n1\n1\n1\n0\n1\n"
                      "0.000000\n0.000000\n0.000000\n0.000000\n0.000000\n2.500000\n"),
            std::string::npos)
      << conc;
  EXPECT_NE(written(ms->output.snow_temp_dataset.file).find("-1.000000\n-2.000000\n"), std::string::npos);
}

TEST_F(MapOutput, NutrientSeries) {
  nsm_writers nsm;
  std::vector<double> total_n = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0};
  std::vector<double> ov_mass = {0.0, 0.1, 0.2, 0.3, 0.4, 0.5};
  std::vector<double> st_mass(13, 0.0), st_conc(13, 0.0);
  st_mass[4] = 2000.0;  // link 1, node 1
  st_conc[10] = 0.5;    // link 3, node 1
  jagged_array<double> st_total_p("tp");
  st_total_p.grow(3, 3);
  st_total_p(1, 3) = 0.004;
  nsm.media.ov_total_n = total_n.data();
  nsm.media.ov_mass[1] = ov_mass.data();
  nsm.media.ov_conc[1] = ov_mass.data();
  nsm.media.st_mass[2] = st_mass.data();
  nsm.media.st_conc[2] = st_conc.data();
  nsm.media.st_total_p = &st_total_p;
  std::vector<nsm_total> asked;
  nsm.recompute = [&](nsm_total t) { asked.push_back(t); };
  nsm.outputs.out_ov_on[1] = 1;
  nsm.outputs.out_ov_file[1] = "no2";
  nsm.outputs2.out_st_on[2] = 1;
  nsm.outputs2.out_st_file[2] = "no3_st";
  ms->constituent.total_ov_n_given = ms->constituent.total_chan_p_given = 1;
  ms->project.total_ov_n = "tn_ov";
  ms->project.total_chan_p = "tp_chan.lnd";
  ms->lake.chan_lakes = 0;
  ms->constituent.nutrients = 1;
  ms->constituent.nsm_out = &nsm;
  ms->output.dataset_output = 1;
  init_grid_dataset_output(*ms);
  asked.clear();
  write_map_output(*ms);

  EXPECT_EQ((std::vector<nsm_total>{nsm_total::overland_nh3, nsm_total::overland_total_n,
                                    nsm_total::stream_total_p}),
            asked);
  EXPECT_NE(written(nsm.outputs.total_ov_n_writer.file)
                .find("OBJID 1055\nND 6\nNC 6\nNAME Total_ov_N\nTS 1 30.000000\n"),
            std::string::npos);
  dataset_out* ov = nsm.outputs.series.row(1);
  EXPECT_NE(written(ov[1].file).find("OBJID 1025\nND 6\nNC 6\nNAME OV_no2_mass\n"),
            std::string::npos);
  EXPECT_NE(written(ov[2].file).find("OBJID 1026\nND 6\nNC 6\nNAME OV_no2_conc\n"),
            std::string::npos);
  // Stream mass is written in thousands, concentration as it is; the
  // headers carry the map interval.
  mass_con_writer* st = nsm.outputs2.series.row(2);
  EXPECT_EQ(written(st[1].mass_file),
            "NIVRA_LINKNODE_NO3_MASS\nNUM_LINKS     3\nTIME_STEP     1\nNUM_TS        120\n"
            "START_TIME     4  3 2001  5  6  0\n"
            "TS    0\n2   1  2.00000   1  0.00000   \n0  -999.999   \n"
            "3   1  0.00000   1  0.00000   1  0.00000   \n\n");
  EXPECT_NE(written(st[2].mass_file).find("NIVRA_LINKNODE_NO3_CONC\n"), std::string::npos);
  EXPECT_TRUE(file_exists("no3_st.mass"));
  EXPECT_TRUE(file_exists("no3_st.conc"));
  EXPECT_NE(written(nsm.outputs2.total_p_writer.mass_file)
                .find("NIVRA_LINKNODE_TOTAL_PHOSPHORUS\n"),
            std::string::npos);
}

}  // namespace
}  // namespace nivra::testing
