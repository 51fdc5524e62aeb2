// The project file reader: header, reset and defaults, the card kinds with
// their special rules, the cards acted on at once, and the failures that
// end the reading.
#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "core/platform.h"
#include "core/process.h"
#include "model/card_table.h"
#include "model/model_test_support.h"
#include "model/project.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::read_project_text;
using testing::write_file;

class ProjectReader : public testing::process_test {
 protected:
  // Reads the cards after a header, with the console captured.
  std::unique_ptr<project_state> read(const std::string& cards, int quiet = 0) {
    CaptureStdout();
    auto p = read_project_text("NIVRAPROJECT\n" + cards, quiet);
    out = GetCapturedStdout();
    return p;
  }
  std::string out;
};

void expect_defaults(const project_options& po) {
  EXPECT_EQ(po.m_river, 1.0);
  EXPECT_EQ(po.m_lake, 10.0);
  EXPECT_EQ(po.event_min_q, 0.1);
  EXPECT_EQ(po.overtype, 2);
  EXPECT_EQ(po.soil_moist_depth, 0.4);
  EXPECT_EQ(po.richards_weight, 1.0);
  EXPECT_EQ(po.richards_dtheta_max, 0.0025);
  EXPECT_EQ(po.richards_k_option, 2);
  EXPECT_EQ(po.richards_c_option, 0);
  EXPECT_EQ(po.richards_iter_max, 1);
  EXPECT_EQ(po.richards_upper_option, 1);
  EXPECT_EQ(po.aquifer_delta_z, -999.9);
  EXPECT_EQ(po.max_courant_number, 0.04);
  EXPECT_EQ(po.x_freq, -1);
  EXPECT_EQ(po.xwin_width, 1000);
  EXPECT_EQ(po.xwin_height, 660);
  EXPECT_EQ(po.gw_timestep, 1.0);
  EXPECT_EQ(po.gw_lsor_con, 0.00001);
  EXPECT_EQ(po.single_unsat_sat, 0.75);
  EXPECT_EQ(po.kinetics_timestep_factor, 1.0);
  EXPECT_EQ(po.soil_erosion, 1);
  EXPECT_EQ(po.soil_erosion_on, 0);
  EXPECT_EQ(po.zem_event_num, -1);
  EXPECT_EQ(po.calib_comp_data, 2);
  EXPECT_EQ(po.calib_obj_func, 2);
  EXPECT_EQ(po.chan_ph, 7.2);
  EXPECT_EQ(po.cfgi_index, 83.0);
  EXPECT_EQ(po.cfgi_k, 0.5);
  EXPECT_EQ(po.nsm_model, nullptr);
  EXPECT_EQ(po.partition_coeffs, nullptr);
  EXPECT_EQ(po.xy_output.mode, -1);
  EXPECT_TRUE(po.watershed_mask.empty());
  EXPECT_EQ(po.manning_n_given, 0);
}

TEST_F(ProjectReader, HeaderOnlyGivesEveryDefaultAndNoError) {
  auto p = read("");
  expect_defaults(p->project_options);
  EXPECT_EQ(p->run_control.latitude, 0.0);
  EXPECT_EQ(p->run_control.longitude, 0.0);
  EXPECT_EQ(p->run_control.project_open_failed, 0);
  EXPECT_EQ(p->rain_event.rain_interp, 0);
  EXPECT_EQ(p->rain_event.precip_source, 0);
  EXPECT_EQ(process.error_block.code, 0);
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_EQ(out, "");
}

// The record knows every card the file gave, by its word in any case, even
// when its value is the default; a card the file does not give, or a word
// that is no card, is not given. A second reading starts from none, as a
// calibration's next run does.
TEST_F(ProjectReader, TheRecordKnowsWhichCardsWereGiven) {
  auto p = read("BOUND_DEPTH 0\nrichards_weight 1.0\nRICHARDS_K_OPTION GEOMETRIC\nHEAD_BOUND\nWATERSHED_MASK a.msk\n"
                "# CFGI_K 0.5\nNO_SUCH_CARD 1\n");
  const project_options& po = p->project_options;
  EXPECT_EQ(po.bound_depth, 0.0);
  EXPECT_EQ(po.richards_weight, 1.0);
  for (const char* word : {"BOUND_DEPTH", "bound_depth", "RICHARDS_WEIGHT", "RICHARDS_K_OPTION", "HEAD_BOUND",
                           "WATERSHED_MASK"})
    EXPECT_TRUE(card_given(po, word)) << word;
  for (const char* word : {"CFGI_K", "BOUND_TS", "RICHARDS_C_OPTION", "NO_SUCH_CARD", ""})
    EXPECT_FALSE(card_given(po, word)) << word;
  auto again = read("CFGI_K 0.5\n");
  EXPECT_TRUE(card_given(again->project_options, "CFGI_K"));
  EXPECT_FALSE(card_given(again->project_options, "BOUND_DEPTH"));
  // The file read into the same record again forgets the first one's cards.
  write_file("q.prj", "NIVRAPROJECT\nTOPO_INDEX\n");
  read_project_file("q.prj", p->project_options, p->run_control, p->rain_event, 1);
  EXPECT_TRUE(card_given(p->project_options, "TOPO_INDEX"));
  EXPECT_FALSE(card_given(p->project_options, "BOUND_DEPTH"));
}

TEST_F(ProjectReader, HeaderVariants) {
  struct header_case {
    const char* text;
    bool accepted;
    const char* refusal = nullptr;  // on stderr, when not the header message
  };
  const header_case cases[] = {
      {"NIVRAPROJECT\nMANNING_N 0.2\n", true},
      {"BRELTOPROJECT\nMANNING_N 0.2\n", true},
      {"NIVRAPROJECT", true},                       // no line end at all
      {"NIVRAPROJECT\r\nMANNING_N 0.2\r\n", true},  // written on Windows
      {"NIVRAPROJECT \nMANNING_N 0.2\n", false},
      {" NIVRAPROJECT\nMANNING_N 0.2\n", false},
      {"nivraproject\nMANNING_N 0.2\n", false},
      {"NIVRAPROJECT\r\r\nMANNING_N 0.2\n", false},  // a carriage return left in the line
      {"NIVRAPROJECTS\n", false},
      {"MANNING_N 0.2\n", false},
      {"", false, "Error: h.prj is empty: a project file begins with the line NIVRAPROJECT.\n"},
  };
  for (const header_case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
    reset_process_state();
    write_file("h.prj", c.text);
    auto p = std::make_unique<project_state>();
    p->project_options.manning_n = 9.0;  // not a card value: shows whether the reset ran
    CaptureStdout();
    CaptureStderr();
    read_project_file("h.prj", p->project_options, p->run_control, p->rain_event, 0);
    std::string err = GetCapturedStderr();
    GetCapturedStdout();
    if (c.accepted) {
      EXPECT_EQ(err, "");
      EXPECT_EQ(process.error_block.stop, 0);
      EXPECT_EQ(p->project_options.overtype, 2);
      EXPECT_NE(p->project_options.manning_n, 9.0);
    } else {
      EXPECT_EQ(err, c.refusal ? c.refusal
                               : "File Does not Appear to be a Valid NIVRA/BRELTO Project file\n"
                                 "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix "
                                 "machine?\n"
                                 "NIVRA Terminating....\n");
      EXPECT_EQ(process.error_block.stop, 1);
      EXPECT_EQ(process.error_block.code, 0);  // reported at once
      EXPECT_EQ(p->project_options.manning_n, 9.0);
      EXPECT_EQ(p->project_options.overtype, 0);
    }
  }
}

TEST_F(ProjectReader, MissingFileLeavesTheSubRecordsAsBuilt) {
  auto p = std::make_unique<project_state>();
  CaptureStderr();
  read_project_file("absent.prj", p->project_options, p->run_control, p->rain_event, 0);
  EXPECT_EQ(GetCapturedStderr(), "Error opening project file named: absent.prj\n");
  EXPECT_EQ(p->run_control.project_open_failed, 1);
  EXPECT_EQ(p->project_options.overtype, 0);
  EXPECT_EQ(p->project_options.m_river, 0.0);
  EXPECT_EQ(process.error_block.code, 0);
}

TEST_F(ProjectReader, WindowsLineEndsLeaveNoCarriageReturnInNames) {
  CaptureStdout();
  auto p = read_project_text("NIVRAPROJECT\r\nWATERSHED_MASK basin.msk\r\nELEVATION basin.ele\r\n"
                             "OVERTYPE ADE-PC\r\nCALIB_OBJ_FUNC HMLE\r\n");
  GetCapturedStdout();
  EXPECT_EQ(p->project_options.watershed_mask.view(), "basin.msk");
  EXPECT_EQ(p->project_options.elevation.view(), "basin.ele");
  EXPECT_EQ(p->project_options.overtype, 3);
  EXPECT_EQ(p->project_options.calib_obj_func, 1);
  EXPECT_EQ(process.error_block.code, 0);
}

TEST_F(ProjectReader, SpecialValueRulesOfCards) {
  struct value_case {
    const char* cards;
    int project_options::*field;
    int expected;
    bool stops = false;  // the reading stops: a word the card does not know, a card not available
  };
  const value_case cases[] = {
      {"OVERTYPE ADE-PC\n", &project_options::overtype, 3},
      {"OVERTYPE ade\n", &project_options::overtype, 2},
      {"OVERTYPE Explicit\n", &project_options::overtype, 1},
      {"OVERTYPE 3\n", &project_options::overtype, 3},
      {"RICHARDS_K_OPTION arithmetic\n", &project_options::richards_k_option, 1},
      {"RICHARDS_K_OPTION GEOMETRIC\n", &project_options::richards_k_option, 2},
      {"RICHARDS_K_OPTION harmonic\n", &project_options::richards_k_option, 2, true},
      {"RICHARDS_C_OPTION Haverkamp\n", &project_options::richards_c_option, 2},
      {"RICHARDS_C_OPTION brooks\n", &project_options::richards_c_option, 1},
      {"RICHARDS_C_OPTION vg\n", &project_options::richards_c_option, 0, true},
      {"RICHARDS_UPPER_OPTION averaged\n", &project_options::richards_upper_option, 3},
      {"RICHARDS_UPPER_OPTION green\n", &project_options::richards_upper_option, 2},
      {"RICHARDS_UPPER_OPTION AVER\n", &project_options::richards_upper_option, 3},
      {"RICHARDS_UPPER_OPTION\n", &project_options::richards_upper_option, 1, true},
      {"RICHARDS_UPPER_OPTION flux\n", &project_options::richards_upper_option, 1, true},
      {"CALIB_COMP_DATA DAILYMEAN\n", &project_options::calib_comp_data, 0, true},
      {"CALIB_COMP_DATA EVENT\n", &project_options::calib_comp_data, 1, true},
      {"CALIB_OBJ_FUNC RMSE\n", &project_options::calib_obj_func, 0, true},
      {"ZEM_EVENT_NUM\n", &project_options::zem_event_num, -1},
      {"ZEM_EVENT_NUM 4\n", &project_options::zem_event_num, 4},
      {"ZEM_EVENT_NUM\n", &project_options::zem_event_num_given, 1},
      {"SOIL_EROSION 12\n", &project_options::soil_erosion_on, 1},
      {"GREEN_AMPT\nINF_RICHARDS\n", &project_options::long_term, 0, true},  // two schemes
      {"CHAN_EXPLIC\n", &project_options::diffusive_chan, 1},
      {"INTERCEPTION\n", &project_options::storage_capacity_given, 1},
      {"GW_BOUNDFILE\n", &project_options::gw_boundfile_given, 0},
      {"GW_BOUNDFILE gw.bnd\n", &project_options::gw_boundfile_given, 1},
      {"MOISTURE\n", &project_options::moisture_given, 1},
      {"AREA_REDUCTION\n", &project_options::area_reduction_given, 1},
  };
  for (const value_case& c : cases) {
    SCOPED_TRACE(c.cards);
    reset_process_state();
    auto p = read(c.cards);
    EXPECT_EQ(p->project_options.*c.field, c.expected);
    EXPECT_EQ(process.error_block.code, 0);
    EXPECT_EQ(process.error_block.stop != 0, c.stops);
  }
}

TEST_F(ProjectReader, EnumerationCardsAndMultiValueCards) {
  auto p = read(
      "INF_RICHARDS\nCHAN_DRAIN\nPRECIP_FILE rain.gag\nRAIN_THIESSEN\n"
      "START_DATE 2003 7 21\nSTART_TIME 14 30\nEND_TIME 2003 7 23 6\nGMT -5\n"
      "LATITUDE 40.5\nNO_SUCH_CARD 1\n");
  const run_control& rc = p->run_control;
  EXPECT_EQ(rc.infil_model, 4);
  EXPECT_EQ(rc.chan_routing, 2);
  EXPECT_EQ(p->project_options.diffusive_chan, 0);
  EXPECT_EQ(p->rain_event.precip_source, 1);
  EXPECT_EQ(p->rain_event.precip_file.view(), "rain.gag");
  EXPECT_EQ(p->rain_event.rain_interp, 1);
  EXPECT_EQ(rc.start_year, 2003);
  EXPECT_EQ(rc.start_month, 7);
  EXPECT_EQ(rc.start_day, 21);
  EXPECT_EQ(rc.start_hour, 14);
  EXPECT_EQ(rc.start_minute, 30);
  EXPECT_EQ(rc.end_year, 2003);
  EXPECT_EQ(rc.end_day, 23);
  EXPECT_EQ(rc.end_hour, 6);
  EXPECT_EQ(rc.end_minute, 0);  // an hour without its minute is on the hour
  EXPECT_EQ(rc.gmt, -5.0);
  EXPECT_EQ(rc.gmt_given, 1);
  EXPECT_EQ(rc.latitude, 40.5);
  EXPECT_EQ(out, "Warning: unknown card found in the project file: no_such_card\n");
  // In an optimiser run the unknown card is skipped silently.
  p = read("NO_SUCH_CARD 1\nMANNING_N 0.03\n", 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(p->project_options.manning_n, 0.03);
}

TEST_F(ProjectReader, ANumericCardWithoutValueIsRefusedAndKeepsItsDefault) {
  for (const char* card : {"MAX_COURANT_NUMBER", "M_RIVER", "RICHARDS_ITER_MAX", "OVERTYPE"}) {
    SCOPED_TRACE(card);
    reset_process_state();
    auto p = read(std::string(card) + "\nMANNING_N 0.02\n");
    EXPECT_EQ(out.rfind(std::string("Error: the ") + card + " card holds no value; it takes ", 0), 0u);
    EXPECT_EQ(process.error_block.stop, 1);
    const project_options& po = p->project_options;
    EXPECT_EQ(po.max_courant_number, 0.04);
    EXPECT_EQ(po.m_river, 1.0);
    EXPECT_EQ(po.richards_iter_max, 1);
    EXPECT_EQ(po.overtype, 2);
    EXPECT_EQ(po.manning_n, 0.0);  // the reading ended at the card
  }
  // A text card without its value leaves the field empty.
  reset_process_state();
  auto p = read("WATERSHED_MASK\n");
  EXPECT_TRUE(p->project_options.watershed_mask.empty());
  EXPECT_EQ(process.error_block.stop, 0);
}

TEST_F(ProjectReader, RetentionDepthForms) {
  auto p = read("RETEN_DEPTH 2.5\n");
  EXPECT_EQ(out,
            "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
            "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using 2.500000 for the uniform retention "
            "depth\n\n");
  EXPECT_EQ(p->project_options.retention_given, 1);
  EXPECT_EQ(p->project_options.retention, 2.5);
  EXPECT_EQ(p->project_options.reten_depth_given, 0);

  struct map_case {
    const char* cards;
    const char* name;
  };
  for (const map_case& c : {map_case{"RETEN_DEPTH\n", ""}, map_case{"RETEN_DEPTH ret.map\n", "ret.map"},
                            map_case{"RETEN_DEPTH 2010_ret.asc\n", "2010_ret.asc"}}) {
    SCOPED_TRACE(c.cards);
    p = read(c.cards);
    EXPECT_EQ(out, "");
    EXPECT_EQ(p->project_options.reten_depth_given, 1);
    EXPECT_EQ(p->project_options.reten_depth.view(), c.name);
    EXPECT_EQ(p->project_options.retention_given, 0);
  }
}

TEST_F(ProjectReader, OptionalValueCards) {
  // Alone, MOISTURE and AREA_REDUCTION are given (the mapping table's
  // values); a bare GW_BOUNDFILE does nothing.
  auto p = read("MOISTURE\nAREA_REDUCTION\nGW_BOUNDFILE\n");
  EXPECT_EQ(p->project_options.moisture_given, 1);
  EXPECT_TRUE(p->project_options.moisture.empty());
  EXPECT_EQ(p->project_options.area_reduction_given, 1);
  EXPECT_TRUE(p->project_options.area_reduction.empty());
  EXPECT_EQ(p->project_options.gw_boundfile_given, 0);
  p = read("MOISTURE first.moi\nAREA_REDUCTION ar.map\nGW_BOUNDFILE gw.bnd\n");
  const project_options& po = p->project_options;
  EXPECT_EQ(po.moisture.view(), "first.moi");
  EXPECT_EQ(po.moisture_given, 1);
  EXPECT_EQ(po.area_reduction.view(), "ar.map");
  EXPECT_EQ(po.area_reduction_given, 1);
  EXPECT_EQ(po.gw_boundfile.view(), "gw.bnd");
  EXPECT_EQ(po.gw_boundfile_given, 1);

  p = read("INIT_SWE_DEPTH 0.35\n");
  EXPECT_EQ(p->project_options.init_swe_mode, 3);
  EXPECT_EQ(p->project_options.init_swe_depth, 0.35);
  p = read("INIT_SWE_DEPTH swe.asc\n");
  EXPECT_EQ(p->project_options.init_swe_mode, 1);
  EXPECT_EQ(p->project_options.init_swe_file.view(), "swe.asc");
  p = read("INIT_SWE_DEPTH\n");
  EXPECT_EQ(p->project_options.init_swe_mode, 1);
  EXPECT_TRUE(p->project_options.init_swe_file.empty());
}

TEST_F(ProjectReader, DroppedCardsEchoStoreNothingAndSayTheyAreIgnored) {
  auto p = read("ALPHA 0.5\nN_LINKS 12\nUNITS 1\nLAKE 1 2 3\nPAV\n");
  EXPECT_EQ(out,
            "Alpha = 0.500000\n"
            "Warning: the ALPHA card on line 2 of the project file has no effect in this version of NIVRA; it is "
            "ignored.\n"
            "Number of links = 12\n"
            "Warning: the N_LINKS card on line 3 of the project file has no effect in this version of NIVRA; it is "
            "ignored.\n"
            "Units flag = 1\n"
            "Warning: the UNITS card on line 4 of the project file has no effect in this version of NIVRA; it is "
            "ignored.\n"
            "Warning: the LAKE card on line 5 of the project file has no effect in this version of NIVRA; it is "
            "ignored.\n"
            "Warning: the PAV card on line 6 of the project file has no effect in this version of NIVRA; it is "
            "ignored.\n");
  // The warnings stand in the run summary's list as well.
  ASSERT_EQ(p->project_options.card_warnings.size(), 5u);
  EXPECT_EQ(p->project_options.card_warnings[4],
            "the PAV card on line 6 of the project file has no effect in this version of NIVRA; it is ignored.");

  // Every card read and dropped says so; a quiet (calibration) reading
  // keeps only the echo.
  for (const char* card : {"PAV", "METRIC", "SIMULATION_INPUT", "LAKE 1", "LAKE_ELEV 2", "RADAR_INTENSITY r",
                           "FLINE f", "LAKES_MASK m", "LAKES_ELEVATION e", "TIRUS_WAVES", "NTR_SUM n",
                           "ALPHA 1", "BETA 1", "THETA 1", "CHANNEL_GRIDSIZE 30", "CHANNEL_DELTAT 5",
                           "DRAIN_TIME 5", "Q_MIN 0.1", "N_LINKS 3", "MAX_NODES 9", "UNITS 0", "NODES n.txt",
                           "NWSRFS_FUA 0.2", "NO_CONT_INF_REDIST"}) {
    SCOPED_TRACE(card);
    std::string word = std::string(card).substr(0, std::string(card).find(' '));
    const std::string note =
        "Warning: the " + word + " card on line 2 of the project file has no effect in this version of NIVRA; it is "
        "ignored.\n";
    reset_process_state();
    read(std::string(card) + "\nMANNING_N 0.02\n");
    EXPECT_NE(out.find(note), std::string::npos);
    EXPECT_EQ(process.error_block.stop, 0);
    reset_process_state();
    p = read(std::string(card) + "\nMANNING_N 0.02\n", 1);
    EXPECT_EQ(out.find("Warning"), std::string::npos);
    EXPECT_EQ(p->project_options.manning_n, 0.02);
    EXPECT_EQ(p->project_options.card_warnings.size(), 1u);
  }
}

TEST_F(ProjectReader, NumThreadsSetsTheThreadsOfTheRouting) {
  auto p = read("NUM_THREADS 4\n");
  EXPECT_EQ(out, "");
  EXPECT_EQ(p->project_options.num_threads, 4);
  EXPECT_EQ(read("OVERTYPE ADE\n")->project_options.num_threads, 0);
}

TEST_F(ProjectReader, CalibrationWordErrorsEndTheReading) {
  struct error_case {
    const char* card;
    int code;
    int project_options::*field;
  };
  const error_case cases[] = {
      {"CALIB_COMP_DATA daily\n", 103, &project_options::calib_comp_data},
      {"CALIB_COMP_DATA DAIL\n", 103, &project_options::calib_comp_data},
      {"CALIB_COMP_DATA\n", 103, &project_options::calib_comp_data},
      {"CALIB_OBJ_FUNC RMSE daily\n", 104, &project_options::calib_obj_func},
      {"CALIB_OBJ_FUNC rmse\n", 104, &project_options::calib_obj_func},
      {"CALIB_OBJ_FUNC\n", 104, &project_options::calib_obj_func},
  };
  for (const error_case& c : cases) {
    SCOPED_TRACE(c.card);
    reset_process_state();
    auto p = read(std::string("MANNING_N 0.02\n") + c.card + "M_RIVER 3.0\n");
    EXPECT_EQ(process.error_block.code, c.code);
    EXPECT_EQ(p->project_options.*c.field, 2);
    EXPECT_EQ(p->project_options.manning_n, 0.02);
    EXPECT_EQ(p->project_options.m_river, 1.0);  // the card after the error is not read
  }
  EXPECT_EQ(message_text(104),
            "Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n");
}

TEST_F(ProjectReader, NutrientCardsNeedTheContainer) {
  struct group_case {
    const char* card;
    const char* item;
  };
  const group_case cases[] = {
      {"AQ_ENV aq.env\n", "AQ_ENV"},         {"OV_INIT_NO3 0.5\n", "OV_INIT_XXX"},
      {"ST_INIT_DO\n", "ST_INIT_XXX"},       {"OUT_OV_NH4 nh4\n", "OUT_OV_XXX"},
      {"OUT_ST_ALG alg\n", "OUT_ST_XXX"},    {"OUT_HYD_CBOD cbod\n", "OUT_HYD_XXX"},
  };
  for (const group_case& c : cases) {
    SCOPED_TRACE(c.card);
    reset_process_state();
    auto p = read(std::string(c.card) + "MANNING_N 0.02\nNUTRIENTS\n");
    EXPECT_EQ(process.error_block.code, 79);
    EXPECT_EQ(process.error_block.str1.view(), c.item);
    EXPECT_EQ(p->project_options.manning_n, 0.0);
    EXPECT_EQ(p->project_options.nsm_model, nullptr);
  }
  EXPECT_EQ(message_text(79),
            "Error: The NUTRIENTS card in the project file must be specified before the "
            "OUT_HYD_XXX card\n");
}

TEST_F(ProjectReader, NutrientCardsFillTheContainer) {
  auto p = read("NUTRIENTS\nAQ_ENV aq.env\nOV_INIT_NO2 0.25\nOV_INIT_NH4 nh4.asc\nOV_DISPERSION\n"
                "ST_INIT_DO 8.5\nOUT_OV_ON on_map\nOUT_ST_DP dp_chan\nOUT_HYD_DO do_hyd\n"
                "NO3_KM 0.7\nDP_KOC 12.5\n");
  const nsm* n = p->project_options.nsm_model.get();
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(p->project_options.nutrients, 1);
  EXPECT_EQ(n->aq_env.file_name.view(), "aq.env");
  EXPECT_EQ(n->ov_init_mode[0], nsm_init_uniform);
  EXPECT_EQ(n->ov_init_value[0], 0.25);
  EXPECT_EQ(n->ov_init_mode[2], nsm_init_file);
  EXPECT_EQ(n->ov_init_file[2].view(), "nh4.asc");
  EXPECT_EQ(n->ov_init_mode[11], nsm_init_table);
  EXPECT_EQ(n->ov_init_mode[1], nsm_init_none);
  EXPECT_EQ(n->st_init_mode[8], nsm_init_uniform);
  EXPECT_EQ(n->st_init_value[8], 8.5);
  EXPECT_EQ(n->out_ov_on[3], 1);
  EXPECT_EQ(n->out_ov_file[3].view(), "on_map");
  EXPECT_EQ(n->out_st_on[5], 1);
  EXPECT_EQ(n->out_st_file[5].view(), "dp_chan");
  EXPECT_EQ(n->out_hyd_on[8], 1);
  EXPECT_EQ(n->out_hyd_file[8].view(), "do_hyd");
  EXPECT_EQ(n->out_hyd_on[0], 0);
  const nsm_partition_coeffs* pc = p->project_options.partition_coeffs.get();
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->no3_km, 0.7);
  EXPECT_EQ(pc->dp_koc, 12.5);
  EXPECT_EQ(pc->no2_km, 0.0);

}

// A card that stores a value stands once: a second one with another value
// (or a synonym of it, or another card storing into the same field) would
// silently undo the first, so the reading stops there naming both cards and
// their lines, and the value of the first stays.
TEST_F(ProjectReader, ACardThatStoresAValueGivenTwiceStopsTheReading) {
  struct twice_case {
    const char* cards;
    const char* message;
  };
  const twice_case cases[] = {
      {"TIMESTEP 30\nMANNING_N 0.02\n# ten seconds\n\nTIMESTEP 10\n",
       "Error: the TIMESTEP card is given twice in the project file (lines 2 and 6) with different values; give it "
       "once.\n"},
      {"WATERSHED_MASK a.msk\nWATERSHED_MASK b.msk\n",
       "Error: the WATERSHED_MASK card is given twice in the project file (lines 2 and 3) with different values; give "
       "it once.\n"},
      {"MOISTURE first.moi\nMOISTURE\n",
       "Error: the MOISTURE card is given twice in the project file (lines 2 and 3) with different values; give it "
       "once.\n"},
      {"GW_BOUNDFILE\nGW_BOUNDFILE gw.bnd\n",
       "Error: the GW_BOUNDFILE card is given twice in the project file (lines 2 and 3) with different values; give "
       "it once.\n"},
      {"RETEN_DEPTH 2.5\nRETEN_DEPTH ret.map\n",
       "Error: the RETEN_DEPTH card is given twice in the project file (lines 2 and 3) with different values; give it "
       "once.\n"},
      {"START_DATE 2003 7 21\nSTART_DATE 2003 7 22\n",
       "Error: the START_DATE card is given twice in the project file (lines 2 and 3) with different values; give it "
       "once.\n"},
      {"OVERTYPE ADE\nOVERTYPE explicit\n",
       "Error: the OVERTYPE card is given twice in the project file (lines 2 and 3) with different values; give it "
       "once.\n"},
      {"NUM_THREADS 2\nNUM_THREADS 4\n",
       "Error: the NUM_THREADS card is given twice in the project file (lines 2 and 3) with different values; give it "
       "once.\n"},
      {"NUTRIENTS\nOV_INIT_NO2 0.25\nOV_INIT_NO2 0.5\n",
       "Error: the OV_INIT_NO2 card is given twice in the project file (lines 3 and 4) with different values; give it "
       "once.\n"},
      {"NO3_KM 0.7\nNO3_KM 0.8\n",
       "Error: the NO3_KM card is given twice in the project file (lines 2 and 3) with different values; give it "
       "once.\n"},
      // Synonyms are one card.
      {"DIKE_MAP d.dik\nEMBANKMENT e.dik\n",
       "Error: the EMBANKMENT card is given twice in the project file (lines 2 and 3, the first as DIKE_MAP) with "
       "different values; give it once.\n"},
      {"READ_OV_HOTSTART a.asc\nOV_INIT_DEPTH b.asc\n",
       "Error: the OV_INIT_DEPTH card is given twice in the project file (lines 2 and 3, the first as "
       "READ_OV_HOTSTART) with different values; give it once.\n"},
      {"PROJECT_FOLDER a\nPROJECT_PATH b\n",
       "Error: the PROJECT_PATH card is given twice in the project file (lines 2 and 3, the first as PROJECT_FOLDER) "
       "with different values; give it once.\n"},
      // Different cards that store into one field.
      {"GREEN_AMPT\nMANNING_N 0.02\nINF_RICHARDS\n",
       "Error: the GREEN_AMPT and INF_RICHARDS cards set the same value in the project file (lines 2 and 4); give one "
       "of them.\n"},
      {"CHAN_EXPLIC\nCHAN_DRAIN\n",
       "Error: the CHAN_EXPLIC and CHAN_DRAIN cards set the same value in the project file (lines 2 and 3); give one "
       "of them.\n"},
      {"RAIN_THIESSEN\nRAIN_INV_DISTANCE\n",
       "Error: the RAIN_THIESSEN and RAIN_INV_DISTANCE cards set the same value in the project file (lines 2 and 3); "
       "give one of them.\n"},
      {"HMET_ASCII w.dat\nHMET_ASCII_PET p.dat\n",
       "Error: the HMET_ASCII and HMET_ASCII_PET cards set the same value in the project file (lines 2 and 3); give "
       "one of them.\n"},
      {"WRITE_CHAN_HOTSTART end\nEXPLIC_BACKWATER bw\n",
       "Error: the WRITE_CHAN_HOTSTART and EXPLIC_BACKWATER cards set the same value in the project file (lines 2 and "
       "3); give one of them.\n"},
  };
  for (const twice_case& c : cases) {
    SCOPED_TRACE(c.cards);
    for (const int quiet : {0, 1}) {
      reset_process_state();
      auto p = read(c.cards, quiet);
      EXPECT_NE(out.find(c.message), std::string::npos) << out;
      EXPECT_EQ(process.error_block.stop, 1);
    }
  }
  // The first value stays, and the cards after the second are not read.
  reset_process_state();
  auto p = read("TIMESTEP 30\nTIMESTEP 10\nMANNING_N 0.02\n");
  EXPECT_EQ(p->run_control.timestep, 30.0);
  EXPECT_EQ(p->project_options.manning_n, 0.0);
}

// A card given again with the same values changes nothing: the reading
// goes on with a warning naming both lines (kept for the run summary, and
// not printed in a quiet optimiser run). Numbers are compared as numbers,
// option words in any case, file names as written.
TEST_F(ProjectReader, ACardGivenAgainWithTheSameValuesChangesNothing) {
  struct same_case {
    const char* cards;
    const char* message;
  };
  const same_case cases[] = {
      {"timestep 30\nTimeStep 30.0\n",
       "Warning: the TIMESTEP card is given twice in the project file (lines 2 and 3); the second changes nothing.\n"},
      {"START_DATE 2003 7 21\nSTART_DATE 2003 07 21\n",
       "Warning: the START_DATE card is given twice in the project file (lines 2 and 3); the second changes "
       "nothing.\n"},
      {"OVERTYPE ADE\nOVERTYPE ade\n",
       "Warning: the OVERTYPE card is given twice in the project file (lines 2 and 3); the second changes nothing.\n"},
      {"DIKE_MAP d.dik\nEMBANKMENT d.dik # the same map\n",
       "Warning: the EMBANKMENT card is given twice in the project file (lines 2 and 3, the first as DIKE_MAP); the "
       "second changes nothing.\n"},
      // The nutrient cards read between the two stay.
      {"NUTRIENTS\nOV_INIT_NO2 0.25\nNUTRIENTS\n",
       "Warning: the NUTRIENTS card is given twice in the project file (lines 2 and 4); the second changes "
       "nothing.\n"},
  };
  for (const same_case& c : cases) {
    SCOPED_TRACE(c.cards);
    reset_process_state();
    auto p = read(std::string(c.cards) + "MANNING_N 0.02\n");
    EXPECT_EQ(out, c.message);
    EXPECT_EQ(process.error_block.stop, 0);
    EXPECT_EQ(p->project_options.manning_n, 0.02);
    ASSERT_EQ(p->project_options.card_warnings.size(), 1u);
    EXPECT_EQ("Warning: " + p->project_options.card_warnings[0] + "\n", c.message);
    reset_process_state();
    p = read(std::string(c.cards) + "MANNING_N 0.02\n", 1);
    EXPECT_EQ(out, "");
  }
  auto p = read("NUTRIENTS\nOV_INIT_NO2 0.25\nNUTRIENTS\n");
  ASSERT_TRUE(p->project_options.nsm_model);
  EXPECT_EQ(p->project_options.nsm_model->ov_init_value[0], 0.25);
  // A file name is compared as written.
  reset_process_state();
  p = read("WATERSHED_MASK a.msk\nWATERSHED_MASK A.msk\n");
  EXPECT_NE(out.find("with different values"), std::string::npos) << out;
  EXPECT_EQ(process.error_block.stop, 1);
}

// Cards that overwrite nothing may repeat: a flag given again stores the
// same constants (a warning says the line changes nothing, except in a
// quiet optimiser run); the cards that add series, keys or points, or that
// act on the lines after them, and the cards that store nothing at all, act
// each time.
TEST_F(ProjectReader, CardsThatOverwriteNothingMayRepeat) {
  auto p = read("CHAN_EXPLIC\nMANNING_N 0.02\nDIFFUSIVE_WAVE\nCHAN_EXPLIC\n");
  EXPECT_EQ(out,
            "Warning: the DIFFUSIVE_WAVE card is given twice in the project file (lines 2 and 4, the first as "
            "CHAN_EXPLIC); the second changes nothing.\n"
            "Warning: the CHAN_EXPLIC card is given twice in the project file (lines 2 and 5); the second changes "
            "nothing.\n");
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_EQ(p->run_control.chan_routing, 3);
  p = read("LONG_TERM\nLONG_TERM\n", 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(p->project_options.long_term, 1);

  write_file("first.ts", "NIVRA_TS\ninflow\nRELATIVE\n0 0 0 0 0 1.0\n0 0 0 1 0 2.0\nEND_TS\n");
  write_file("second.ts", "NIVRA_TS\nlevel\nRELATIVE\n0 0 0 0 0 3.0\n0 0 0 1 0 4.0\nEND_TS\n");
  write_file("keys.txt", "1\n[ROUGH] \"%4.2lf\"\n");
  write_file("values.txt", "0.10\n0.20\n");
  write_file("masks.txt", "1\n[MASK] \"%s\"\n");
  write_file("names.txt", "first.msk\nsecond.msk\n");
  reset_process_state();
  p = read("TIME_SERIES_FILE first.ts\nTIME_SERIES_FILE second.ts\n"
           "REPLACE_PARAMS keys.txt\nREPLACE_LINE 1\nREPLACE_VALS values.txt\nMANNING_N [ROUGH]\n"
           "REPLACE_PARAMS masks.txt\nREPLACE_LINE 2\nREPLACE_VALS names.txt\nWATERSHED_MASK [MASK]\n"
           "ALPHA 0.5\nALPHA 0.6\nLAKE 1\nLAKE 2\n");
  EXPECT_EQ(process.error_block.stop, 0) << out;
  ASSERT_EQ(process.ts_list.size(), 2u);
  EXPECT_EQ(process.ts_list[0]->name, "inflow");
  EXPECT_EQ(process.ts_list[1]->name, "level");
  EXPECT_EQ(p->project_options.manning_n, 0.10);
  EXPECT_EQ(p->project_options.watershed_mask.view(), "second.msk");
  EXPECT_NE(out.find("Alpha = 0.600000\n"), std::string::npos);
  EXPECT_EQ(out.find("given twice"), std::string::npos);

  // Every reading starts over, as each run of a calibration reads the file
  // again: the cards of the last reading are not seen twice.
  reset_process_state();
  write_file("again.prj", "NIVRAPROJECT\nTIMESTEP 30\nGREEN_AMPT\n");
  for (int run = 0; run < 3; ++run) {
    read_project_file("again.prj", p->project_options, p->run_control, p->rain_event, 1);
    EXPECT_EQ(process.error_block.stop, 0);
    EXPECT_EQ(p->run_control.timestep, 30.0);
  }
}

TEST_F(ProjectReader, ATooLongNameIsRefusedWithAWarning) {
  std::string long_name(project_name_width, 'a');  // one character more than the field holds
  auto p = read("ROUGHNESS " + long_name + "\nELEVATION " + long_name.substr(1) + "\n");
  EXPECT_EQ(out,
            "Warning: the value of the ROUGHNESS card is longer than 2055 characters and was not "
            "used.\n");
  EXPECT_TRUE(p->project_options.roughness.empty());
  EXPECT_EQ(p->project_options.roughness_given, 1);  // so the missing map stops the run later
  EXPECT_EQ(p->project_options.elevation.size(), project_name_width - 1);
}

TEST_F(ProjectReader, TimeSeriesAndReplacementCardsActAtOnce) {
  write_file("series.ts", "NIVRA_TS\ninflow\nRELATIVE\n0 0 0 0 0 1.0\n0 0 0 1 0 2.0\nEND_TS\n");
  write_file("keys.txt", "2\n[ROUGH] \"%4.2lf\"\n[MASK] \"%s\"\n");
  write_file("values.txt", "0.10 first.msk\n0.20 second.msk\n");
  auto p = read("TIME_SERIES_FILE series.ts\nREPLACE_PARAMS keys.txt\nREPLACE_LINE 2\n"
                "REPLACE_VALS values.txt\nMANNING_N [ROUGH]\nWATERSHED_MASK [MASK]\n");
  ASSERT_EQ(process.ts_list.size(), 1u);
  EXPECT_EQ(process.ts_list[0]->name, "inflow");
  EXPECT_EQ(process.replace_line, 1);
  EXPECT_EQ(process.replace_on, 1);
  EXPECT_EQ(p->project_options.manning_n, 0.20);
  EXPECT_EQ(p->project_options.watershed_mask.view(), "second.msk");
}

TEST_F(ProjectReader, FolderCards) {
  make_folder("out");
  auto p = read("OUTPUT_FOLDER out\nPROJECT_FOLDER proj\n");
  EXPECT_EQ(process.output_folder_set, 1);
  EXPECT_EQ(process.output_folder.view(), "out\\");
  EXPECT_EQ(p->project_options.project_folder.view(), "proj");
  EXPECT_EQ(process.project_dir.view(), current_folder() + "proj\\");
  // An empty project folder sets nothing.
  reset_process_state();
  p = read("PROJECT_PATH \"\"\n");
  EXPECT_TRUE(process.project_dir.empty());
}

// The numbers of the cards with their own rules are checked as those of the
// plain value cards are: the reading ends at the card, naming it.
TEST_F(ProjectReader, NumbersOfCardsWithTheirOwnRulesAreChecked) {
  struct number_case {
    const char* card;
    const char* message;
  };
  const number_case cases[] = {
      {"RETEN_DEPTH -2", "Error: the RETEN_DEPTH card holds -2; it takes a number from 0 to 1000 (mm).\n"},
      {"INIT_SWE_DEPTH nan", "Error: the INIT_SWE_DEPTH card holds nan; it takes a number from 0 to 100000.\n"},
      {"ZEM_EVENT_NUM 2.5", "Error: the ZEM_EVENT_NUM card holds 2.5; it takes a whole number from 0 to "
                            "1000000.\n"},
      {"REPLACE_LINE 0", "Error: the REPLACE_LINE card holds 0; it takes a whole number from 1 to "
                         "1000000000.\n"},
      {"NUM_THREADS many", "Error: the NUM_THREADS card holds many; it takes a whole number from 1 to 4096.\n"},
      {"NO3_KM -1", "Error: the NO3_KM card holds -1; it takes a number from 0 to 1000000000.\n"},
      {"NUTRIENTS\nOV_INIT_NO3 inf", "Error: the OV_INIT_NO3 card holds inf; it takes a number from 0 to "
                                      "1000000000.\n"},
      {"OVERTYPE 7", "Error: the OVERTYPE card holds 7; it takes EXPLICIT, ADE or ADE-PC, or their numbers "
                     "1, 2 or 3.\n"},
      {"START_TIME 12 60", "Error: the START_TIME card holds 12 60; it takes a time of day: hour (0 to 23) "
                           "and minute (0 to 59).\n"},
      {"ALPHA nan", "Error: the ALPHA card holds nan; it takes a number.\n"},
      {"N_LINKS 1e3", "Error: the N_LINKS card holds 1e3; it takes a whole number.\n"},
  };
  for (const number_case& c : cases) {
    SCOPED_TRACE(c.card);
    reset_process_state();
    auto p = read(std::string(c.card) + "\nMANNING_N 0.02\n");
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), c.message);
    EXPECT_EQ(process.error_block.stop, 1);
    EXPECT_EQ(p->project_options.manning_n, 0.0);  // the reading ended at the card
  }
  // A file name where a number may also stand is still a file name.
  reset_process_state();
  auto p = read("RETEN_DEPTH 2010_ret.asc\nINIT_SWE_DEPTH nan.asc\n");
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_EQ(p->project_options.reten_depth.view(), "2010_ret.asc");
  EXPECT_EQ(p->project_options.init_swe_file.view(), "nan.asc");
}

// Cards that no code of this version acts on. Those whose value would change
// a result (a scheme, a process, an input, an output) stop the reading where
// they stand, whatever follows them on their line, naming the line.
TEST_F(ProjectReader, CardsOfLaterSubsystemsStopWithAClearMessage) {
  for (const char* card :
       {"LAKE_PUMP pumps.txt", "CHAN_PREISS", "CHAN_MESH", "INITIAL_DEPTH d.asc", "CELL_HYDRO c.out",
        "DAILY_OUTPUT daily.out", "NWSRFS_RETENTION", "DIS_PROFILE d", "WAT_SURF_PROFILE w", "DIS_PROFILE_OUT d",
        "WAT_SURF_PROFILE_OUT w", "INCLUDE_CHANNEL_DEPTH", "MATERIALS m", "SECTION_TABLE s", "SILT_SIZE 0.01",
        "CLAY_SIZE 0.001", "SOURCEFILE s", "CALIB_OBS_DATA o", "NON_ORTHO_CHANNELS", "TOPO_INDEX_CGS", "M_LAKE 4.0",
        "SNOW_TEMP t", "SOIL_ERODABILITY k.asc", "EROSIVITY_TO_MOLA e.asc",
        // A calibration setting with a sound value still stops.
        "CALIB_COMP_DATA EVENT", "CALIB_OBJ_FUNC HMLE"}) {
    SCOPED_TRACE(card);
    reset_process_state();
    auto p = read(std::string("MANNING_N 0.02\n") + card + "\nTIMESTEP 10\n");
    std::string word = std::string(card).substr(0, std::string(card).find(' '));
    EXPECT_NE(
        out.find("Error: the " + word + " card on line 3 of the project file is not available in this version of "
                 "NIVRA.\n"),
        std::string::npos)
        << out;
    EXPECT_EQ(process.error_block.stop, 1);
    EXPECT_EQ(p->run_control.timestep, 0.0);
  }
}

// Those that only plot, print, format or tune what this version does not
// have change nothing: each is read (its value checked), warned about on its
// line with the reason, and the reading goes on.
TEST_F(ProjectReader, CardsThatOnlyPlotPrintOrFormatWarnAndTheReadingGoesOn) {
  for (const char* card :
       {"XWINDOWS", "XRAIN", "XGWRECHARGE", "XDEPTH", "XINFDEP", "XSURF", "XCHAN", "XBIG", "X_FREQ 10",
        "XWIN_WIDTH 800", "XWIN_HEIGHT 600", "SUPPRESS_PRINTING 1", "QUIB_BASE_GRID g", "QUIB_BASE_STREAM s",
        "QUIB_COMPRESSION 1", "QUIB_DATASETGROUP d", "SOIL_KINETICS_TIMESTEP_FACTOR 2", "SNOW_REYNOLDS 500"}) {
    SCOPED_TRACE(card);
    reset_process_state();
    auto p = read(std::string("MANNING_N 0.02\n") + card + "\nTIMESTEP 10\n");
    std::string word = std::string(card).substr(0, std::string(card).find(' '));
    EXPECT_EQ(out.find("Warning: the " + word + " card on line 3 of the project file has no effect in this version "
                       "of NIVRA; it is ignored ("),
              0u)
        << out;
    EXPECT_EQ(process.error_block.stop, 0);
    EXPECT_EQ(p->run_control.timestep, 10.0);
    EXPECT_EQ(p->project_options.card_warnings.size(), 1u);
  }
  // Their values are checked all the same.
  reset_process_state();
  read("XWIN_WIDTH -3\nTIMESTEP 10\n");
  EXPECT_NE(out.find("Error: the XWIN_WIDTH card holds -3;"), std::string::npos) << out;
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(ProjectReader, PrescanFindsTheProjectFolder) {
  make_folder("basin");
  write_file("basin/a.prj", "NIVRAPROJECT\nMANNING_N 0.1\nPROJECT_FOLDER data\nPROJECT_PATH other\n");
  CaptureStdout();
  prescan_project_path("basin/a.prj");
  std::string out = GetCapturedStdout();
  EXPECT_EQ(process.project_dir.view(), current_folder() + "data\\");
  // The header line is no card: nothing to warn about.
  EXPECT_EQ(out, "");

  reset_process_state();
  write_file("basin/b.prj", "NIVRAPROJECT\nMANNING_N 0.1\n");
  CaptureStdout();
  prescan_project_path("basin/b.prj");
  GetCapturedStdout();
  EXPECT_EQ(process.project_dir.view(), current_folder() + "basin/");

  reset_process_state();
  write_file("c.prj", "NIVRAPROJECT\n");
  CaptureStdout();
  prescan_project_path("c.prj");
  GetCapturedStdout();
  EXPECT_TRUE(process.project_dir.empty());
}

}  // namespace
}  // namespace nivra
