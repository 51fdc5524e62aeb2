#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "output/dataset_out.h"
#include "output/end_of_run.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "summary_fixture.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::has;
namespace fs = std::filesystem;

class EndOfRun : public testing::summary_test {
 protected:
  void SetUp() override {
    summary_test::SetUp();
    make_grid();
    ms->groundwater.elevgw.alloc(5);
    ms->groundwater.yes_exfil.alloc(5);
    ms->soil.surface_moisture.alloc(5);
    for (int c = 1; c <= 5; ++c) {
      ms->groundwater.elevgw[c] = c;
      ms->overland.ov_depth[c] = 0.1 * c;
      ms->soil.surface_moisture[c] = 0.3;
    }
  }
  // Both hotstart maps requested, to see whether the run got that far.
  void request_hotstarts(const char* ov_name, const char* sm_name) {
    ms->overland.write_ov_hotstart_given = 1;
    ms->project.write_ov_hotstart.assign(ov_name);
    ms->soil.write_sm_hotstart_given = 1;
    ms->project.write_sm_hotstart.assign(sm_name);
  }
};

// Every map a next run starts from stops the run when it cannot be
// written, naming it: an exit of 0 would leave the next run to start from
// nothing, or from an older file of the same name.
TEST_F(EndOfRun, UnwritableMapsStopTheRun) {
  struct row {
    const char* name;
    std::function<void(model_state&)> setup;
    const char* message;
    bool ov_written, sm_written;  // the hotstart maps written before the failure
  } rows[] = {
      {"groundwater hotstart",
       [](model_state& m) {
         m.groundwater.gw_simulation = 1;
         fs::create_directory("hill.gw_hotstart");
       },
       "Can't open gw hot start map for writing out hotstart info: hill.gw_hotstart\n", false, false},
      {"adjusted elevations",
       [](model_state& m) {
         m.constituent.adjust_elev = 1;
         m.constituent.adjust_elev_file_name.assign("missing/elev.asc");
       },
       "Can't open adjusted elevation map for writing: missing/elev.asc\n", false, false},
      {"saturated sources",
       [](model_state& m) {
         m.groundwater.any_exfil = 1;
         fs::create_directory("hill.satsource");
       },
       "Can't open map for writing out sat. source info: hill.satsource\n", false, false},
      {"overland hotstart",
       [](model_state& m) { m.project.write_ov_hotstart.assign("missing/ov.asc"); },
       "Error: the overland hot-start missing/ov.asc cannot be opened for writing.\n", false, false},
      {"soil-moisture hotstart", [](model_state& m) { m.project.write_sm_hotstart.assign("missing/sm.asc"); },
       "Error: the soil hot-start missing/sm.asc cannot be opened for writing.\n", true, false},
  };
  // A file stands where the folder "missing" would be made.
  testing::write_file("missing", "");
  for (const row& r : rows) {
    process.error_block = error_state();
    for (const char* f : {"hill.gw_hotstart", "hill.gw_hotstart.state", "hill.satsource", "ov.asc", "sm.asc"})
      fs::remove_all(f);
    ms->groundwater.gw_simulation = ms->constituent.adjust_elev = ms->groundwater.any_exfil = 0;
    ms->project.gw_hotstart_write.assign("hill.gw_hotstart");
    ms->project.sat_source_write.assign("hill.satsource");
    request_hotstarts("ov.asc", "sm.asc");
    r.setup(*ms);
    CaptureStdout();
    write_end_of_run_files(*ms);
    const std::string console = GetCapturedStdout();
    EXPECT_TRUE(has(console, r.message)) << r.name << ": " << console;
    EXPECT_EQ(process.error_block.stop, 1) << r.name;
    EXPECT_EQ(testing::file_exists("ov.asc"), r.ov_written) << r.name;
    EXPECT_EQ(testing::file_exists("sm.asc"), r.sm_written) << r.name;
  }
}

TEST_F(EndOfRun, GroundwaterHotstartAndOverlandDepthMaps) {
  ms->groundwater.gw_simulation = 1;
  ms->project.gw_hotstart_write.assign("hill.gw_hotstart");
  request_hotstarts("ov.asc", "sm.asc");
  write_end_of_run_files(*ms);
  // The water table is named after the project; the maps a next run starts
  // from keep nine decimals.
  EXPECT_EQ(ms->groundwater.gw_hotstart_out_file_name.view(), "hill.gw_hotstart");
  EXPECT_EQ(testing::read_file("hill.gw_hotstart"),
            "north:    200.00\nsouth:    180.00\neast:    130.00\nwest:    100.00\n"
            "rows:     2\ncols:     3\n"
            "1.000000000 0.000000000 2.000000000 \n3.000000000 4.000000000 5.000000000 \n");
  EXPECT_TRUE(has(testing::read_file("ov.asc"), "0.100000000 0.000000000 0.200000000 \n"));
}

TEST_F(EndOfRun, SaturatedSourceMap) {
  ms->groundwater.any_exfil = 1;
  ms->groundwater.yes_exfil[1] = 1;
  ms->groundwater.yes_exfil[3] = 1;
  ms->groundwater.yes_exfil[4] = 1;
  ms->project.sat_source_write.assign("hill.satsource");
  write_end_of_run_files(*ms);
  EXPECT_EQ(testing::read_file("hill.satsource"),
            "north:    200.00\nsouth:    180.00\neast:    130.00\nwest:    100.00\n"
            "rows:     2\ncols:     3\n"
            "1 0 0 \n1 1 0 \n");
  ms->output.sat_source_map_on = 0;
  fs::remove("hill.satsource");
  write_end_of_run_files(*ms);
  EXPECT_FALSE(testing::file_exists("hill.satsource"));
}

TEST_F(EndOfRun, OptimisationLine) {
  struct row {
    int cfs, sed;
    const char* line;
  } rows[] = {
      {0, 0, "3    100.000000\n"},
      {1, 0, "3   3532.000000\n"},  // 35.32, not 35.314667
      {1, 1, "3      0.500000\n"},  // the wash load is a volume whatever the discharge unit
  };
  for (const row& r : rows) {
    ms->output.optimize_given = 1;
    ms->output.qout_cfs = r.cfs;
    ms->output.optimize_sed = r.sed;
    ms->clock.event_index = 2;
    ms->ledger.set_totals(water_flux::outlet_discharge, 100.0, 100.0);
    ms->constituent.chan_sed_run.wash_out = 0.5;
    ASSERT_TRUE(open_guarded_file(ms->output.opt_output_file, "opt.out", "w"));
    write_end_of_run_files(*ms);
    EXPECT_FALSE(ms->output.opt_output_file.is_open());
    EXPECT_EQ(testing::read_file("opt.out"), r.line);
  }
}

TEST_F(EndOfRun, FloodGridFallsBackToTheFailsafeMap) {
  ms->output.flood_grid_given = 1;
  ms->output.no_map_output = 1;
  ms->project.flood_grid.assign("missing/flood.asc");
  // A file stands where the folder would be made: the file cannot be written.
  testing::write_file("missing", "");
  ms->overland.flood_depth_max.alloc(5);
  ms->overland.flood_depth_max[1] = 0.5;
  ms->overland.flood_depth_max[5] = 1.25;
  write_end_of_run_files(*ms);
  EXPECT_EQ(testing::read_file("maxdep_failsafe.asc"),
            "ncols \t3\nnrows \t2\nxllcenter    105.00\nyllcenter    185.00\ncellsize     10.00\n"
            "NODATA_value -9999.99\n"
            "0.5000 -9999.99 0.0000 \n0.0000 0.0000 1.2500 \n");
}

TEST_F(EndOfRun, FloodDatasetAndDatasetEndCards) {
  ms->output.flood_grid_given = 1;
  ms->output.dataset_output = 1;
  ms->overland.flood_depth_max.alloc(5);
  ms->clock.elapsed_min = 60.0;
  ASSERT_TRUE(open_guarded_file(ms->output.flood_grid_file, "flood.dat", "w"));
  ASSERT_TRUE(open_guarded_file(ms->output.depth_map_file, "depth.dat", "w"));
  write_end_of_run_files(*ms);
  close_guarded_file(ms->output.flood_grid_file);
  close_guarded_file(ms->output.depth_map_file);
  const std::string flood = testing::read_file("flood.dat");
  EXPECT_TRUE(flood.starts_with("TS 1 60.000000\n1\n0\n1\n1\n1\n1\n"));
  EXPECT_TRUE(flood.ends_with("0.000000\nENDDS\n"));
  EXPECT_EQ(testing::read_file("depth.dat"), "ENDDS\n");

  ms->output.binary_dataset = 1;
  ms->output.flood_grid_given = 0;
  ASSERT_TRUE(open_guarded_file(ms->output.depth_map_file, "depth.bin", "wb"));
  write_end_of_run_files(*ms);
  close_guarded_file(ms->output.depth_map_file);
  EXPECT_EQ(testing::read_file("depth.bin"), std::string("\xD2\0\0\0", 4));

  ms->channel.chan_drain = 1;  // a channel initialisation run writes no end cards
  ASSERT_TRUE(open_guarded_file(ms->output.depth_map_file, "depth2.dat", "w"));
  write_end_of_run_files(*ms);
  close_guarded_file(ms->output.depth_map_file);
  EXPECT_EQ(testing::read_file("depth2.dat"), "");
}

// The snow datasets end with their end card too: the snow-temperature
// series in the format it was opened in (none for per-time grids, which
// have no file to end), the snow water equivalent with the other series.
TEST_F(EndOfRun, SnowDatasetsEndWithTheirCard) {
  struct row {
    int map_type;  // 0 per-time grids, 1 ASCII dataset, 2 binary dataset
    std::string snow_temperature_end;
  } rows[] = {
      {1, "0.000000\nENDDS\n"},
      {2, std::string("\xD2\0\0\0", 4)},
      {0, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.map_type);
    ms = std::make_unique<model_state>();
    make_grid();
    ms->output.no_map_output = r.map_type == 0;
    ms->output.dataset_output = r.map_type != 0;
    ms->output.binary_dataset = r.map_type == 2;
    ms->hydromet.snow_temp_given = 1;
    ms->hydromet.snow_temperature.alloc(5);
    // The card names the dataset file, or the folder of the per-time grids.
    fs::create_directory("snow_temp");
    const char* card = r.map_type == 0 ? "snow_temp" : "snow_temp.dat";
    ASSERT_TRUE(open_grid_series(ms->output.snow_temp_dataset, ms->grid, ms->output, ms->grid.rows, ms->grid.cols,
                                 ms->hydromet.snow_temperature.data(), card, "", "", 1060, "Snow_Temperature"));
    ms->output.snow_temp_dataset.step = 7;  // a per-time grid would take this number
    write_map_timestep(ms->output.snow_temp_dataset, 30.0);
    const std::string grid_written = testing::read_file("snow_temp/Snow_Temperature.0007");
    ASSERT_TRUE(open_guarded_file(ms->output.snow_swe_map_file, "swe.dat", "w"));
    write_end_of_run_files(*ms);
    close_guarded_file(ms->output.snow_temp_dataset.file);
    close_guarded_file(ms->output.snow_swe_map_file);
    if (r.map_type == 0) {
      EXPECT_FALSE(grid_written.empty());
      EXPECT_EQ(testing::read_file("snow_temp/Snow_Temperature.0007"), grid_written);
      EXPECT_EQ(testing::read_file("swe.dat"), "");
      continue;
    }
    EXPECT_TRUE(testing::read_file("snow_temp.dat").ends_with(r.snow_temperature_end));
    EXPECT_EQ(testing::read_file("swe.dat"), r.map_type == 1 ? "ENDDS\n" : std::string("\xD2\0\0\0", 4));
  }
}

TEST_F(EndOfRun, ChannelStateAndHotstartFiles) {
  model_state& m = *ms;
  m.channel.num_stream_links = 2;
  m.channel.ltype.alloc(2);
  m.channel.nx.alloc(2);
  m.channel.ltype[1] = 4;
  m.channel.ltype[2] = 64;  // a structure link keeps no channel state
  m.channel.nx[1] = 2;
  m.channel.nx[2] = 1;
  m.channel.yp.alloc(2, 2);
  m.channel.qp.alloc(2, 2);
  m.channel.bel.alloc(2, 2);
  m.channel.yp(1, 1) = 5.5;
  m.channel.yp(2, 1) = 6.0;
  m.channel.bel(1, 1) = 5.0;
  m.channel.bel(2, 1) = 5.75;
  m.channel.qp(1, 1) = 0.25;
  m.channel.qp(2, 1) = 0.5;
  m.channel.yp(1, 2) = 4.0;
  m.channel.bel(1, 2) = 3.0;
  m.channel.qp(1, 2) = 0.75;
  m.channel.explic_backwater_given = 1;
  m.channel.chan_explic = 1;
  m.project.chan_hotstart_write_file.assign("chan");
  ASSERT_TRUE(open_guarded_file(m.channel.chan_depth_file, "chan.dht", "w"));
  ASSERT_TRUE(open_guarded_file(m.channel.chan_discharge_file, "chan.qht", "w"));
  ASSERT_TRUE(open_guarded_file(m.channel.chan_hotstart_out_file, "hot.chan", "w"));
  m.overland.qout = 0.625;
  write_end_of_run_files(m);
  close_guarded_file(m.channel.chan_depth_file);
  close_guarded_file(m.channel.chan_discharge_file);
  close_guarded_file(m.channel.chan_hotstart_out_file);
  // The water surfaces and discharges to the last digit a double holds.
  EXPECT_EQ(testing::read_file("chan.dht"), "1 1 5.5 \n2 1 6 \n");
  EXPECT_EQ(testing::read_file("chan.qht"), "1 1 0.25\n2 1 0.5\n");
  EXPECT_EQ(testing::read_file("hot.chan"),
            "   1    1    0.500    0.250\n   2    1    0.250    0.500\n   1    2    1.000    0.750\n");
  // The companion: the outlet's discharge of the last step, no lakes, no
  // sediment.
  EXPECT_EQ(testing::read_file("chan.state"),
            "NIVRA_CHANNEL_STATE\n# What the .dht and .qht files of this channel hot-start cannot hold.\n"
            "OUTLET 0.625\nLAKES 0\nSEDIMENT 0\nEND\n");
}

TEST_F(EndOfRun, LateralSedimentOfEveryNodeIsAppended) {
  model_state& m = *ms;
  m.constituent.soil_erosion_on = m.constituent.chan_sed_on = m.constituent.fyssi_given = 1;
  m.project.fyssi.assign("bed.out");
  m.constituent.n_sed_classes = 2;
  m.channel.num_stream_links = 2;
  m.channel.max_nodes_per_link = 2;
  m.channel.nx.alloc(2);
  m.channel.nx[1] = 2;
  m.channel.nx[2] = 1;
  m.constituent.chan_sed.lateral_total.alloc(6, 2);  // flat node = 2 x link + node
  m.constituent.chan_sed.lateral_total(3, 1) = 1.5;
  m.constituent.chan_sed.lateral_total(4, 1) = 2.25;
  m.constituent.chan_sed.lateral_total(5, 2) = 10.0;
  testing::write_file("bed.out", "earlier run\n");
  write_end_of_run_files(m);
  EXPECT_EQ(testing::read_file("bed.out"),
            "earlier run\n"
            "  1.50   2.25   0.00 \n"
            "  0.00   0.00  10.00 \n"
            "\n----------------------------------------------------------\n");
}

}  // namespace
}  // namespace nivra
