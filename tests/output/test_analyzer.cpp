// Analyzers and their logical tests: every comparison operator on a flat
// (1-D) and a [node][link] (2-D) channel array against the nodes that must
// pass, the report layouts on the console and in the analyzer's own file,
// the report of each event bit, the timed reports, the analyzer file and
// its faults, and the analyzers of a whole run.
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "core/process.h"
#include "output/analyzer.h"
#include "output/output_state.h"
#include "output_fixture.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "run/steps.h"

namespace nivra::testing {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Analyzers : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  void SetUp() override {
    process_test::SetUp();
    ms->clock.model_time = julian_date(2001, 3, 4, 5, 6, 0.0);
  }
  // Sets up the analyzers of the file text and returns the console.
  std::string set_up(const std::string& text) {
    write_file("an.txt", text);
    CaptureStdout();
    setup_analyzers(*ms, "an.txt");
    return GetCapturedStdout();
  }
  std::string fire(int bits) {
    CaptureStdout();
    check_analyzers(*ms, bits);
    return GetCapturedStdout();
  }
};

// The fixture's discharges [node][link]: link 1 holds 1.5 and 2.25, link 2
// (a lake) no node, link 3 holds 3.0, 3.5 and 4.125. Each operator passes
// exactly the nodes its comparison holds for, and says whether any did.
TEST_F(Analyzers, EveryOperatorOnTheTwoDimensionalFlowTable) {
  struct {
    const char* op;
    double threshold;
    bool any;
    const char* pattern;  // link 1 nodes 1-2, link 3 nodes 1-3
    const char* text;
  } cases[] = {
      {"<", 3.0, true, "TT|FFF", "< 3.000000"},     {"<=", 3.0, true, "TT|TFF", "<= 3.000000"},
      {">", 3.0, true, "FF|FTT", "> 3.000000"},     {">=", 3.0, true, "FF|TTT", ">= 3.000000"},
      {"==", 3.5, true, "FF|FTF", "== 3.500000"},   {">", 5.0, false, "FF|FFF", "> 5.000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    reset_process_state();
    ms->output.analyzers.clear();
    set_up(std::string("2DS flow S ") + c.op + " " + std::to_string(c.threshold) + " cs\n");
    ASSERT_EQ(ms->output.analyzers.size(), 1u);
    analyzer& a = *ms->output.analyzers[0];
    fire(analyzer_event::set_up_done);
    logical_OP& op = *a.op();
    std::string got;
    for (int j = 1; j <= 2; ++j) got += op.passed(1, j) ? 'T' : 'F';
    got += '|';
    for (int j = 1; j <= 3; ++j) got += op.passed(3, j) ? 'T' : 'F';
    EXPECT_EQ(got, c.pattern);
    EXPECT_STREQ(op.test_text(), c.text);
  }
}

// The flat array of one value per (link, node) at max_nodes x link + node.
TEST_F(Analyzers, EveryOperatorOnAOneDimensionalArray) {
  const int max_nodes = 3;
  std::vector<double> values((2 + 1) * max_nodes + 1, 0.0);
  values[max_nodes * 1 + 1] = 0.1 + 0.2;  // not exactly 0.3
  values[max_nodes * 1 + 2] = 0.3;
  values[max_nodes * 2 + 1] = 0.5;
  const int nodes[] = {0, 2, 1};
  double clock = julian_date(2001, 3, 4, 5, 6, 0.0);
  st1d_logical_OP op;
  op.bind_array(values.data(), 2, nodes, max_nodes, &clock, "conc_1");
  auto pattern = [&] {
    return std::string{op.passed(1, 1) ? 'T' : 'F', op.passed(1, 2) ? 'T' : 'F', op.passed(2, 1) ? 'T' : 'F'};
  };
  EXPECT_TRUE(op.equal_to(0.3));
  EXPECT_EQ(pattern(), "FTF");  // == is exact
  EXPECT_FALSE(op.less_than(0.3));  // 0.1 + 0.2 lies above 0.3
  EXPECT_EQ(pattern(), "FFF");
  EXPECT_TRUE(op.less_than(0.31));
  EXPECT_EQ(pattern(), "TTF");
  EXPECT_TRUE(op.greater_than(0.4));
  EXPECT_EQ(pattern(), "FFT");
  EXPECT_TRUE(op.greater_equal(0.3));
  EXPECT_EQ(pattern(), "TTT");
  EXPECT_TRUE(op.less_equal(0.3));
  EXPECT_EQ(pattern(), "FTF");
  EXPECT_STREQ(op.test_text(), "<= 0.300000");
  EXPECT_EQ(op.test_time(), clock);
}

// A network without links: no comparison passes, and the report is the
// heading and a count of 0 out of 0.
TEST_F(Analyzers, ANetworkWithoutLinks) {
  ms->channel.num_stream_links = 0;
  set_up("2DS flow s > 1 cs\n");
  const std::string out = fire(analyzer_event::run_end);
  EXPECT_FALSE(ms->output.analyzers[0]->op()->passed(1, 1));
  EXPECT_EQ(out,
            "\n\nResults for logic test of the 2D stream array flow at the end of simulation at 03-04-2001, 5:6: 0.  "
            "Nodes with values > 1.000000:\n====> 0 out of 0 nodes passed the logic test.\n");
}

// The target DEPTH_max tests the water surface minus the bed; a division by
// an exact zero tests 9999.99.
TEST_F(Analyzers, DepthIsTheWaterSurfaceAboveTheBedAndADivisionByZeroGivesAMarker) {
  set_up("2DS DEPTH_max S > 0.65 tdcs\n");
  const std::string out = fire(analyzer_event::set_up_done);
  EXPECT_TRUE(has(out, "Nodes with values > 0.650000:\n"
                       "Link   3, Node   2:        0.700000\n"
                       "Link   3, Node   3:        0.750000\n"
                       "====> 2 out of 5 nodes passed the logic test.\n"))
      << out;

  column_array2d<double> zero(3, 3);
  st2d_logical_OP op;
  const int nodes[] = {0, 2, 0, 3};
  op.bind_array(&ms->channel.qp, 3, nodes, 3, &ms->clock.model_time, "flow");
  op.set_combine(analyzer_op::divide, &zero);
  EXPECT_EQ(op.node_value(1, 1), 9999.99);
  op.set_combine(analyzer_op::multiply, &ms->channel.qp);
  EXPECT_EQ(op.node_value(3, 2), 3.5 * 3.5);
}

// The layouts of the output letters, to the console (s) and the file (f).
TEST_F(Analyzers, ReportLayoutsOnTheConsoleAndInTheFile) {
  const std::string heading_values = "\n\nValues in the 2D stream array flow at 03-04-2001, 5:6: 0: \n";
  struct {
    const char* letters;
    const char* body;
  } cases[] = {
      {"vs", "   1:FT\n   2:\n   3:TTT\n"},
      {"s", "FTTTT"},
      {"ds", "[F, 1.5000][T, 2.2500][T, 3.0000][T, 3.5000][T, 4.1250]"},
      {"tvs", "   1:FT\n   2:\n   3:TTT\n"},  // v after t clears t
      {"vts", "Link   1, Node   2\nLink   3, Node   1\nLink   3, Node   2\nLink   3, Node   3\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.letters);
    ms->output.analyzers.clear();
    // Timed, so that the report heading carries the plain date.
    set_up(std::string("2DS flow tS > 2 ") + c.letters + " 60\n");
    fire(analyzer_event::set_up_done);  // the comparison
    const std::string out = fire(analyzer_event::step_end);
    EXPECT_EQ(out, heading_values + c.body);
  }
  // With c and v (no t): bracketed entries with their values, none counted.
  ms->output.analyzers.clear();
  set_up("2DS flow S > 2 cvf an.out\n");
  const std::string console = fire(analyzer_event::set_up_done);
  EXPECT_EQ(console, "");
  ms->output.analyzers.clear();  // closes the file
  EXPECT_EQ(read_file("an.out"),
            "\n\nResults for logic test of the 2D stream array flow at the beginning of the simulation at "
            "03-04-2001, 5:6: 0.  Nodes with values > 2.000000:\n"
            "   1:[F, 1.5000][T, 2.2500]\n   2:\n   3:[T, 3.0000][T, 3.5000][T, 4.1250]\n"
            "====> 0 out of 5 nodes passed the logic test.\n");
}

// One report for each event bit the analyzer listens to, with the text of
// that moment.
TEST_F(Analyzers, AReportForEachEventBit) {
  set_up("2DS area tEeSsc > 1 s 60\n");
  const struct {
    int bit;
    const char* when;
  } events[] = {
      {analyzer_event::step_end, "at 03-04-2001, 5:6: 0: "},
      {analyzer_event::event_start, "at the beginning of an event at 03-04-2001, 5:6: 0: "},
      {analyzer_event::event_end, "at the end of an event at 03-04-2001, 5:6: 0: "},
      {analyzer_event::set_up_done, "at the beginning of the simulation at 03-04-2001, 5:6: 0: "},
      {analyzer_event::run_end, "at the end of simulation at 03-04-2001, 5:6: 0: "},
      {analyzer_event::error_end, "at the program crash point at 03-04-2001, 5:6: 0: "},
  };
  for (const auto& e : events) {
    SCOPED_TRACE(e.bit);
    EXPECT_EQ(fire(e.bit), std::string("\n\nValues in the 2D stream array area ") + e.when + "\nTFTTT");
  }
  // An analyzer reports only the events it listens to.
  ms->output.analyzers.clear();
  set_up("2DS area e > 1 s\n");
  EXPECT_EQ(fire(analyzer_event::set_up_done | analyzer_event::step_end | analyzer_event::run_end), "");
  EXPECT_NE(fire(analyzer_event::event_end), "");
}

// A timed analyzer reports at its first step, then once its interval of
// model time has passed.
TEST_F(Analyzers, ATimedAnalyzerReportsEveryInterval) {
  set_up("2DS flow t > 2 s 3600\n");
  const double start = ms->clock.model_time;
  int reports = 0;
  const double step = 600.0 / 86400.0;
  for (int k = 0; k <= 18; ++k) {  // three hours of ten-minute steps
    ms->clock.model_time = start + k * step;
    if (!fire(analyzer_event::step_end).empty()) ++reports;
  }
  EXPECT_EQ(reports, 4);  // 0:00, 1:00, 2:00 and 3:00
}

TEST_F(Analyzers, TheWordsOfTheAnalyzerFile) {
  EXPECT_EQ(parse_analyzer_type("1DS"), analyzer_type::stream_1d);
  EXPECT_EQ(parse_analyzer_type("2DSX"), analyzer_type::stream_2d);
  EXPECT_EQ(parse_analyzer_type("2DG"), analyzer_type::grid_2d);
  EXPECT_EQ(parse_analyzer_type("NSM_SL"), analyzer_type::nsm_soil);
  EXPECT_EQ(parse_analyzer_type("3DS"), analyzer_type::unknown);
  const std::pair<const char*, unsigned> ops[] = {{"<=", 3}, {">=", 4}, {"==", 2}, {"<", 0}, {">", 1},
                                                  {"+", 5},  {"-", 6},  {"*", 7},  {"\\", 8}, {"=", 9}};
  for (const auto& [token, code] : ops) EXPECT_EQ(parse_analyzer_operator(token), code) << token;
  EXPECT_EQ(parse_analyzer_events("tEeSscx"), 63u);
  EXPECT_EQ(parse_analyzer_output("tv"), analyzer_output::per_link);
  EXPECT_EQ(parse_analyzer_output("vt"), analyzer_output::passed_only);
  EXPECT_EQ(parse_analyzer_output("sfcd"), 4u | 8u | 16u | 32u);

  // Comments build nothing.
  const std::string out = set_up("# 2DS flow S > 2 s\n\n2DS flow S > 2 s\n");
  EXPECT_EQ(ms->output.analyzers.size(), 1u);
  EXPECT_TRUE(has(out, "Set up 1 analyzers...\n")) << out;
}

// Faults of the file stop the run, naming the file and the line.
TEST_F(Analyzers, FaultsOfTheFileStopTheRun) {
  struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"2DS flow S > nan s\n", "Error: line 1 of the analyzer file an.txt does not give a threshold"},
      {"\n2DS flow t > 1 s\n", "Error: line 2 of the analyzer file an.txt is timed (event letter t) but gives no interval"},
      {"2DS flow S > 1 f\n", "Error: line 1 of the analyzer file an.txt writes to a file (output letter f) but names none"},
      {"2DS speed S > 1 s\n", "Error: unable to find 2DS array [speed]\n"},
      {"1DS conc_1 S > 1 s\n", "Error: Setting up 1DS analyzer when no constituents are being modeled.\n"
                               "Error: line 1 of the analyzer file an.txt sets up a 1DS analyzer, which watches channel "
                               "constituents; this run carries none (CHAN_CON_TRANS).\n"},
      // Analyzers that could never act.
      {"2DS flow S => 1 s\n", "Error: line 1 of the analyzer file an.txt gives the operator \"=>\"; it takes <, <=, "
                              ">, >= or ==.\n"},
      {"2DS flow S <> 1 s\n", "gives the operator \"<>\""},
      {"2DS flow S + 1 s\n", "gives the operator \"+\""},
      {"2DS flow Sx > 1 s\n", "Error: line 1 of the analyzer file an.txt gives the event letter \"x\"; the events are "
                              "t, E, e, S, s and c.\n"},
      {"2DS flow S > 1 sq\n", "Error: line 1 of the analyzer file an.txt gives the output letter \"q\"; the output "
                              "letters are t, v, s, f, c and d.\n"},
      {"2DS flow S > 1 cd\n", "Error: line 1 of the analyzer file an.txt reports nowhere: its output letters take s "
                              "(the console) or f (a file).\n"},
      {"2DS flow S > 1 s extra\n", "Error: line 1 of the analyzer file an.txt holds \"extra\" after its last value.\n"},
      {"# 2DS flow S > 2 s\n3DS flow S > 1 s\n", "Error: line 2 of the analyzer file an.txt gives the analyzer type "
                                                 "\"3DS\"; the types are 1DS and 2DS.\n"},
      {"2DG depth S > 1 s\n", "Error: line 1 of the analyzer file an.txt sets up a 2DG analyzer, which is not "
                              "available in this version of NIVRA.\n"},
      {"NSM_OV x S > 1 s\n", "sets up a NSM_OV analyzer, which is not available in this version of NIVRA"},
      {"NSM_ST x S > 1 s\n", "sets up a NSM_ST analyzer, which is not available in this version of NIVRA"},
      {"NSM_SL x S > 1 s\n", "sets up a NSM_SL analyzer, which is not available in this version of NIVRA"},
      {"# nothing here yet\n", "Error: the analyzer file an.txt named by the ANALYZERS card sets up no analyzer.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    reset_process_state();
    ms->output.analyzers.clear();
    const std::string out = set_up(c.text);
    EXPECT_TRUE(has(out, c.message)) << out;
    EXPECT_EQ(process.error_block.stop, 1);
    EXPECT_TRUE(ms->output.analyzers.empty());
  }
  reset_process_state();
  CaptureStdout();
  setup_analyzers(*ms, "missing.txt");
  EXPECT_TRUE(has(GetCapturedStdout(), "Error: unable to open the analyzer file missing.txt named by the ANALYZERS card.\n"));
  EXPECT_EQ(process.error_block.stop, 1);
}

// A whole run reports at the end of its set-up and at its normal end.
TEST_F(Analyzers, AWholeRunReportsAtItsStartAndItsEnd) {
  copy_example("plane");
  set_card("plane.prj", "ANALYZERS", "ANALYZERS an.txt");
  write_file("an.txt", "2DS flow Ss > 0 cf plane.an\n");
  CaptureStdout();
  EXPECT_EQ(run_simulation("plane.prj", nullptr, "nivra"), 0);
  EXPECT_TRUE(has(GetCapturedStdout(), "Set up 1 analyzers...\n"));
  const std::string reports = read_file("plane.an");
  EXPECT_EQ(reports,
            "\n\nResults for logic test of the 2D stream array flow at the beginning of the simulation at "
            "06-15-2024, 12:0: 0.  Nodes with values > 0.000000:\n====> 0 out of 0 nodes passed the logic test.\n"
            "\n\nResults for logic test of the 2D stream array flow at the end of simulation at "
            "06-15-2024, 15:0: 0.  Nodes with values > 0.000000:\n====> 0 out of 0 nodes passed the logic test.\n");

  // A fault of the file stops the run before its first step.
  reset_process_state();
  write_file("an.txt", "2DS flow Ss > 0 cf\n");
  auto bad = make_model_state();
  CaptureStdout();
  EXPECT_FALSE(set_up_run(*bad, "plane.prj", nullptr));
  EXPECT_TRUE(has(GetCapturedStdout(),
                  "Error: line 1 of the analyzer file an.txt writes to a file (output letter f) but names none.\n"));
}

}  // namespace
}  // namespace nivra::testing
