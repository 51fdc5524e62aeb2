// The copy of the project's settings into the run's record: scheme flags
// from the enumeration cards, copies that depend on a scheme, unit and date
// conversions, derived names, failures, and the start-up report.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/run_parameters.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::read_file;
using testing::write_file;

class RunParameters : public testing::process_test {
 protected:
  // Reads a project made of the header and the given cards.
  std::unique_ptr<model_state> read(const std::string& cards, int optimizer_mode = 1) {
    write_file("p.prj", "NIVRAPROJECT\n" + cards);
    auto ms = make_model_state();
    ms->project.optimizer_mode = optimizer_mode;  // quiet unless a test wants the console
    read_run_parameters("p.prj", *ms);
    return ms;
  }
};

TEST_F(RunParameters, AUniformStormStartsAtTheStartDateOfTheCards) {
  auto ms = read("START_DATE 2024 6 15\nSTART_TIME 12 30\nRAIN_INTENSITY 25.0\nRAIN_DURATION 60\n");
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_EQ(ms->hydromet.precip_unif, 1);
  EXPECT_EQ(ms->hydromet.precip_file_given, 0);
  EXPECT_EQ(ms->hydromet.rain_intensity, 25.0);
  EXPECT_EQ(ms->hydromet.rain_duration, 60.0);
  // 2024-06-15 12:00 is Julian day 2460477.0; half an hour later is 1/48 day on.
  EXPECT_NEAR(ms->clock.model_time, 2460477.0 + 1.0 / 48.0, 1e-9);
  EXPECT_EQ(ms->clock.hmet_start_time, ms->clock.model_time);
  EXPECT_EQ(ms->clock.date_stamp_hhmm, 1230);
  EXPECT_EQ(ms->clock.date_stamp_ymd, 20240615);
  EXPECT_EQ(ms->clock.cur_year, 2024);
  EXPECT_EQ(ms->clock.cur_month, 6);
  EXPECT_EQ(ms->clock.cur_day, 15);
  EXPECT_EQ(ms->clock.cur_hour, 12);
  EXPECT_EQ(ms->clock.cur_minute, 30);
}

TEST_F(RunParameters, AGageFileLeavesTheClockToThePrecipitationReader) {
  auto ms = read("PRECIP_FILE rain.gag\nRAIN_THIESSEN\nSTART_DATE 2024 6 15\n");
  EXPECT_EQ(ms->hydromet.precip_unif, 0);
  EXPECT_EQ(ms->hydromet.precip_file_given, 1);
  EXPECT_EQ(ms->hydromet.rain_thiessen, 1);
  EXPECT_EQ(ms->hydromet.rain_inv_distance, 0);
  EXPECT_EQ(ms->clock.model_time, 0.0);
  EXPECT_EQ(ms->project.precip_file.view(), "rain.gag");
}

TEST_F(RunParameters, UnitsAndDefaultsOfTheModel) {
  auto ms = read("TOP_LAYER_DEPTH 0.25\nMIXING_LAYER_DEPTH 0.02\n");
  EXPECT_DOUBLE_EQ(ms->soil.soil_moist_depth, 40.0);  // the project default 0.4 m
  EXPECT_DOUBLE_EQ(ms->soil.top_layer_depth, 25.0);
  EXPECT_DOUBLE_EQ(ms->soil.mixing_layer_depth, 2.0);
  EXPECT_EQ(ms->hydromet.event_min_q, 0.05);  // not a long-term run: no value, the floor
  EXPECT_EQ(ms->overland.retention, 0.0);
  EXPECT_EQ(ms->overland.overtype, 2);

  auto lt = read("LONG_TERM\nEVENT_MIN_Q 0\nRETENTION 2.5\n");
  EXPECT_EQ(lt->hydromet.event_min_q, 0.05);
  EXPECT_EQ(lt->overland.retention, 2.5);
  auto lt2 = read("LONG_TERM\nEVENT_MIN_Q 3.0\n");
  EXPECT_EQ(lt2->hydromet.event_min_q, 3.0);
}

// The seasonal factor of a long-term run: alone the card takes its months
// from the latitude (a spring month of 0); with a spring month above 0,
// from the month cards. A storm run has no seasons.
TEST_F(RunParameters, TheSeasonalFactorTakesItsMonthsFromTheCardsOrTheLatitude) {
  auto by_latitude = read("LONG_TERM\nLATITUDE 45\nSEASONAL_RS\n");
  EXPECT_EQ(by_latitude->hydromet.seasonal_rs, 1);
  EXPECT_EQ(by_latitude->hydromet.seasonal_rs_spring, 0);
  auto by_months = read("LONG_TERM\nSEASONAL_RS\nSEASONAL_RS_SPRING 3\nSEASONAL_RS_SUMMER_START 6\n"
                        "SEASONAL_RS_SUMMER_END 8\nSEASONAL_RS_FALL 11\n");
  EXPECT_EQ(by_months->hydromet.seasonal_rs, 1);
  EXPECT_EQ(by_months->hydromet.seasonal_rs_spring, 3);
  EXPECT_EQ(by_months->hydromet.seasonal_rs_summer_start, 6);
  EXPECT_EQ(by_months->hydromet.seasonal_rs_summer_end, 8);
  EXPECT_EQ(by_months->hydromet.seasonal_rs_fall, 11);
  auto storm = read("SEASONAL_RS\n");
  EXPECT_EQ(storm->hydromet.seasonal_rs, 0);
}

TEST_F(RunParameters, SchemeFlagsFromTheEnumerationCards) {
  struct scheme {
    const char* card;
    int explic, mesh, drain, drain_routing, grid_stream;
  };
  const scheme channel[] = {
      {"", 0, 0, 0, 0, 0},
      {"CHAN_EXPLIC\n", 1, 0, 0, 0, 1},
      {"CHAN_DRAIN\n", 0, 0, 1, 1, 0},
      {"CHAN_BACKWATER\n", 0, 0, 0, 1, 0},
  };
  for (const scheme& s : channel) {
    auto ms = read(s.card);
    EXPECT_EQ(ms->channel.chan_explic, s.explic) << s.card;
    EXPECT_EQ(ms->channel.chan_mesh, s.mesh) << s.card;
    EXPECT_EQ(ms->channel.chan_drain, s.drain) << s.card;
    EXPECT_EQ(ms->channel.chan_drain_routing, s.drain_routing) << s.card;
    EXPECT_EQ(ms->channel.grid_stream_given, s.grid_stream) << s.card;
  }

  struct infiltration {
    const char* card;
    int ga, redist, layered, richards, sm;
  };
  const infiltration infil[] = {
      {"", 0, 0, 0, 0, 0},
      {"GREEN_AMPT\n", 1, 0, 0, 0, 0},
      {"INF_REDIST\n", 0, 1, 0, 0, 1},
      {"INF_LAYERED_SOIL\n", 0, 0, 1, 0, 1},
      {"INF_RICHARDS\n", 0, 0, 0, 1, 0},
  };
  for (const infiltration& s : infil) {
    auto ms = read(s.card);
    EXPECT_EQ(ms->soil.green_ampt, s.ga) << s.card;
    EXPECT_EQ(ms->soil.inf_redist, s.redist) << s.card;
    EXPECT_EQ(ms->soil.inf_layered_soil, s.layered) << s.card;
    EXPECT_EQ(ms->soil.inf_richards, s.richards) << s.card;
    EXPECT_EQ(ms->soil.sm_accounting, s.sm) << s.card;
  }
}

TEST_F(RunParameters, CopiesThatDependOnTheirScheme) {
  const std::string channel_cards =
      "STREAM_LOSS\nCHAN_DECAY_COEF 0.3\nOVERBANK_MAX_DV 0.2\nSTREAM_CELL s.idx\n";
  auto plain = read(channel_cards);
  EXPECT_EQ(plain->channel.stream_loss, 0);
  EXPECT_EQ(plain->channel.chan_decay_coef_card, 0.0);
  EXPECT_EQ(plain->channel.overbank_max_dv, 0.01);
  EXPECT_TRUE(plain->project.stream_cell.empty());
  auto explic = read("CHAN_EXPLIC\n" + channel_cards);
  EXPECT_EQ(explic->channel.stream_loss, 1);
  EXPECT_EQ(explic->channel.chan_decay_coef_card, 0.3);
  EXPECT_EQ(explic->channel.overbank_max_dv, 0.2);
  EXPECT_EQ(explic->project.stream_cell.view(), "s.idx");

  // Weather and evapotranspiration only in long-term runs.
  const std::string weather = "HMET_SAMSON w.dat\nET_CALC_PENMAN\nCFGI\nHMET_LAPSE_RATE -6.5\n";
  auto event = read(weather);
  EXPECT_EQ(event->hydromet.hmet_samson_given, 1);
  EXPECT_TRUE(event->project.hmet_file.empty());
  EXPECT_EQ(event->hydromet.et_calc_penman, 0);
  EXPECT_EQ(event->hydromet.cfgi, 0);
  auto lt = read("LONG_TERM\n" + weather);
  EXPECT_EQ(lt->project.hmet_file.view(), "w.dat");
  EXPECT_EQ(lt->hydromet.et_calc_penman, 1);
  EXPECT_EQ(lt->hydromet.cfgi, 1);
  EXPECT_EQ(lt->hydromet.temp_lapse_rate, -6.5);
  EXPECT_EQ(read("LONG_TERM\n")->hydromet.temp_lapse_rate, -5.0);

  // Groundwater values need the water table, and beyond the theta
  // assignment groundwater simulated; groundwater makes the stream lose water.
  const std::string gw = "GW_SIMULATION\nGW_ASSIGN_THETA\nGW_TIMESTEP 60\n";
  auto dry = read(gw);
  EXPECT_EQ(dry->groundwater.gw_simulation, 0);
  EXPECT_EQ(dry->groundwater.gw_assign_theta, 0);
  auto wet = read("WATER_TABLE wt.map\n" + gw);
  EXPECT_EQ(wet->groundwater.gw_simulation, 1);
  EXPECT_EQ(wet->groundwater.gw_assign_theta, 1);
  EXPECT_EQ(wet->groundwater.gw_timestep, 60.0);
  EXPECT_EQ(wet->channel.stream_loss, 1);
  auto theta_only = read("WATER_TABLE wt.map\nGW_ASSIGN_THETA\nGW_TIMESTEP 60\n");
  EXPECT_EQ(theta_only->groundwater.gw_assign_theta, 1);
  EXPECT_EQ(theta_only->groundwater.gw_timestep, 0.0);
}

TEST_F(RunParameters, TheGridClocksAndSiteGoToTheirComponents) {
  auto ms = read("ROWS 6\nCOLS 8\nGRIDSIZE 30\nOUTROW 6\nOUTCOL 3\nOUTSLOPE 0.002\nTOT_TIME 120\n"
                 "TIMESTEP 10\nST_TIME_STEP 5\nHYD_FREQ 2.5\nMAP_FREQ 30\nSTART_DATE 2001 2 3\n"
                 "START_TIME 4 5\nLATITUDE 40.5\nLONGITUDE 105.25\nGMT -7\nQOUT_CFS\nQUIET\nUNITS 1\n");
  EXPECT_EQ(ms->grid.proj_rows, 6);
  EXPECT_EQ(ms->grid.proj_cols, 8);
  EXPECT_EQ(ms->grid.grid_size, 30.0);
  EXPECT_EQ(ms->grid.outrow, 6);
  EXPECT_EQ(ms->grid.outcol, 3);
  EXPECT_EQ(ms->grid.outlet_slope, 0.002);
  EXPECT_EQ(ms->clock.tot_time, 120);
  EXPECT_EQ(ms->clock.ov_dt, 10.0);
  EXPECT_EQ(ms->clock.st_time_step, 5.0);
  EXPECT_EQ(ms->clock.hyd_freq, 2.5);
  EXPECT_EQ(ms->clock.map_freq, 30);
  EXPECT_EQ(ms->clock.start_year, 2001);
  EXPECT_EQ(ms->clock.start_month, 2);
  EXPECT_EQ(ms->clock.start_day, 3);
  EXPECT_EQ(ms->clock.start_hour, 4);
  EXPECT_EQ(ms->clock.start_minute, 5);
  EXPECT_EQ(ms->hydromet.latitude, 40.5);
  EXPECT_EQ(ms->hydromet.longitude, 105.25);
  EXPECT_EQ(ms->clock.gmt, -7.0);
  EXPECT_EQ(ms->clock.gmt_given, 1);
  EXPECT_EQ(ms->output.qout_cfs, 1);
  EXPECT_EQ(ms->project.quiet, 1);
}

TEST_F(RunParameters, GageSiteAndSnowInEveryKindOfRun) {
  // Not a long-term run: the map phase and the summaries still use these.
  auto ms = read("HMET_ELEV_GAGE 1500\nHMET_XCOORD_GAGE 3\nHMET_YCOORD_GAGE 4\nSNOW_TEMP_BASE -1.5\n"
                 "INIT_SWE_DEPTH 0.35\nSNOW_ROUGHNESS 0.3\n");
  EXPECT_EQ(ms->hydromet.met_gage_elev, 1500.0);
  EXPECT_EQ(ms->hydromet.hmet_xcoord_gage, 3.0);
  EXPECT_EQ(ms->hydromet.hmet_ycoord_gage, 4.0);
  EXPECT_EQ(ms->hydromet.snow_temp_base, -1.5);
  EXPECT_EQ(ms->hydromet.init_swe_mode, 3);
  EXPECT_EQ(ms->hydromet.init_swe_depth, 0.35);
  EXPECT_EQ(ms->overland.snow_roughness_given, 1);
  EXPECT_EQ(ms->overland.snow_manning_n, 0.3);

  auto file = read("LONG_TERM\nINIT_SWE_DEPTH swe.asc\n");
  EXPECT_EQ(file->hydromet.init_swe_mode, 1);
  EXPECT_EQ(file->project.init_swe_file.view(), "swe.asc");
  auto none = read("");
  EXPECT_EQ(none->hydromet.met_gage_elev, 0.0);
  EXPECT_EQ(none->hydromet.snow_temp_base, 0.0);
  EXPECT_EQ(none->overland.snow_roughness_given, 0);
  EXPECT_EQ(none->output.analyzers_given, 0);
}

TEST_F(RunParameters, DatesAndNamesItBuilds) {
  // An end date without its hour and minute ends the run at midnight.
  auto ms = read("END_TIME 2025 3 4\nMOLA a.map\nMOIST_TO_MOLA m.map\n"
                 "READ_CHAN_HOTSTART in\nWRITE_CHAN_HOTSTART out\n");
  EXPECT_EQ(ms->clock.end_time_given, 1);
  EXPECT_EQ(ms->clock.end_time, julian_date(2025, 3, 4, 0, 0, 0.0));
  EXPECT_EQ(ms->project.mola.view(), "exchange/a.map");
  EXPECT_EQ(ms->clock.mola_given, 1);
  EXPECT_EQ(ms->project.moist_to_mola.view(), "exchange/m.map");
  EXPECT_EQ(ms->channel.chan_hotstart_flag_in, 1);
  EXPECT_EQ(ms->project.chan_hotstart_read_dht.view(), "in.dht");
  EXPECT_EQ(ms->project.chan_hotstart_read_qht.view(), "in.qht");
  EXPECT_EQ(ms->channel.write_chan_hotstart_given, 1);
  EXPECT_EQ(ms->project.chan_hotstart_write_dht.view(), "out.dht");
  EXPECT_EQ(ms->project.chan_hotstart_write_qht.view(), "out.qht");

  auto none = read("");
  EXPECT_EQ(none->clock.end_time_given, 0);
  EXPECT_EQ(none->channel.chan_hotstart_flag_in, 0);
}

TEST_F(RunParameters, OutputRequestsAndMergedFlags) {
  auto ms = read("CHAN_DISCHARGE q.out\nCHAN_DEPTH d.out\nSUMMARY s.sum\n"
                 "MAP_TYPE 2\nFLOOD_GRID f.map\nRATE_OF_INFIL r.out\nNUTRIENTS\n");
  EXPECT_EQ(ms->output.chan_discharge_given, 1);
  EXPECT_EQ(ms->output.chan_discharge_given_2, 1);
  EXPECT_EQ(ms->output.chan_depth_given_2, 1);
  EXPECT_EQ(ms->project.summary.view(), "s.sum");
  EXPECT_EQ(ms->output.dataset_output, 1);
  EXPECT_EQ(ms->output.binary_dataset, 1);
  EXPECT_EQ(ms->output.no_map_output, 0);
  EXPECT_EQ(ms->output.flood_grid_given, 1);
  EXPECT_EQ(ms->project.flood_grid.view(), "f.map");
  EXPECT_EQ(ms->output.rate_of_infil_given, 0);  // no infiltration scheme
  EXPECT_EQ(ms->constituent.nutrients, 1);
  EXPECT_EQ(ms->constituent.nsm_model, ms->project.project_options.nsm_model.get());
  EXPECT_NE(ms->constituent.nsm_model, nullptr);

  EXPECT_EQ(read("MAP_TYPE 0\n")->output.no_map_output, 1);
  EXPECT_EQ(ms->output.quiet_map_files, 0);
  EXPECT_EQ(read("QUIET\n")->output.quiet_map_files, 1);
  EXPECT_EQ(read("GREEN_AMPT\nRATE_OF_INFIL r.out\n")->output.rate_of_infil_given, 1);
}

TEST_F(RunParameters, TheOutletDischargeForZvGetsItsHeaderAndItsLines) {
  CaptureStdout();
  auto ms = read("ZV_INPUT qin.out\n");
  GetCapturedStdout();
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_EQ(ms->output.zv_input_given, 1);
  EXPECT_EQ(ms->output.zv_discharge_out, 1);
  ASSERT_TRUE(ms->output.qin_output_file.is_open());
  close_guarded_file(ms->output.qin_output_file);
  EXPECT_EQ(testing::read_file("qin.out"), "  output from NIVRA\n\n    JDAY     QIN\n");
}

TEST_F(RunParameters, FailuresStopTheCopy) {
  auto ms = make_model_state();
  CaptureStdout();
  read_run_parameters("missing.prj", *ms);
  GetCapturedStdout();
  EXPECT_EQ(process.error_block.code, 3);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_EQ(ms->hydromet.precip_unif, 0);

  reset_process_state();
  auto quib = read("MAP_TYPE 4\nGREEN_AMPT\n");
  EXPECT_EQ(process.error_block.code, 5);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_EQ(quib->soil.green_ampt, 0);  // nothing after the map type is copied

  // MAP_TYPE 3 would write no map of any map card: refused, naming the types that do.
  reset_process_state();
  CaptureStdout();
  auto none = read("MAP_TYPE 3\nGREEN_AMPT\n");
  const std::string said = GetCapturedStdout();
  EXPECT_NE(said.find("Error: MAP_TYPE 3 writes no maps"), std::string::npos) << said;
  EXPECT_NE(said.find("Give MAP_TYPE 0 (an ASCII grid per map time), 1 (an ASCII dataset) or 2"), std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_EQ(none->soil.green_ampt, 0);
}

TEST_F(RunParameters, ConsoleLinesFollowTheQuietRules) {
  CaptureStdout();
  read("", 0);
  EXPECT_EQ(GetCapturedStdout(),
            "reading run parameters from project file: p.prj\n\nfinished reading project file\n");
  CaptureStdout();
  read("", 1);
  EXPECT_EQ(GetCapturedStdout(), "");
  // The project's quiet card is known only once the file is read.
  CaptureStdout();
  auto ms = read("SUPER_QUIET\n", 0);
  EXPECT_EQ(GetCapturedStdout(), "reading run parameters from project file: p.prj\n");
  EXPECT_EQ(ms->project.super_quiet, 1);
  EXPECT_TRUE(process.super_quiet_on);
}

TEST_F(RunParameters, StartupReportGoesToTheSummary) {
  write_file("keys.txt", "1\n[N] \"%d\"\n");
  write_file("vals.txt", "7\n");
  auto ms = read("REPLACE_PARAMS keys.txt\nREPLACE_VALS vals.txt\n");
  ASSERT_TRUE(open_guarded_file(ms->output.summary_file, "s.sum", "w"));
  print_startup_info(*ms, "p.prj");
  close_guarded_file(ms->output.summary_file);
  EXPECT_EQ(read_file("s.sum"),
            "\n\n_________NIVRA start-up information________\n"
            "Run parameters read from project file: p.prj\n"
            "\nUsing replacement values:\n  [N]            = 7\n\n");
}

}  // namespace
}  // namespace nivra
