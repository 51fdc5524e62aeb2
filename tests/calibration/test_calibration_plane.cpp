// Calibration of a real model run: examples/calib_plane, the tilted plane
// under a short storm with its roughness as the key [ROUGH], and observed
// discharge made by a run at n = 0.05. The capture of a run, trials that do
// not depend on earlier ones, failed runs, and the SCE and Monte Carlo modes
// with their files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/capture_buffer.h"
#include "calibration/model_run.h"
#include "calibration/monte_carlo.h"
#include "calibration/objective.h"
#include "calibration/sce.h"
#include "clock/clock_state.h"
#include "command/command_line.h"
#include "core/process.h"
#include "core/replace.h"
#include "model/project.h"
#include "output/output_state.h"
#include "run/run_test_support.h"
#include "run/steps.h"

namespace nivra {
namespace {

using testing::count_lines;
using testing::file_exists;
using testing::read_file;
using testing::write_file;

class CalibrationPlane : public testing::process_test {
 protected:
  void SetUp() override {
    process_test::SetUp();
    testing::copy_example("calib_plane");
  }
  // One trial at roughness n, its console kept out of the test's output.
  double trial(calib_cost& cost, double n) {
    const double values[] = {n};
    ::testing::internal::CaptureStdout();
    const double c = calib_run_callback("roughness.lst", "calib.prj", values, cost, "temp");
    ::testing::internal::GetCapturedStdout();
    return c;
  }
  // The number a run summary gives after a label.
  static double summary_value(const std::string& summary, const std::string& label) {
    const std::size_t at = summary.find(label);
    return at == std::string::npos ? NAN : std::strtod(summary.c_str() + at + label.size(), nullptr);
  }
};

TEST_F(CalibrationPlane, TheObservationsAreARunAtTheKnownRoughness) {
  calib_cost cost;
  ASSERT_EQ(cost.read_observations("observed.txt"), 1);
  const double c = trial(cost, 0.05);
  // The observed values are the captured ones to six decimals.
  EXPECT_LT(c, 1e-5);
  EXPECT_FALSE(cost.last_failed());
  // The run's own summary tells the same peak and volume.
  const std::string summary = read_file("0000_calib.sum");
  EXPECT_NEAR(cost.last().max_peak, summary_value(summary, "Event peak discharge (cubic meters per second):"),
              1e-4);
  EXPECT_NEAR(cost.last().max_volume, summary_value(summary, "volume of discharge:"), 0.05);
  // Away from it the cost grows on either side.
  EXPECT_GT(trial(cost, 0.045), 0.1);
  EXPECT_GT(trial(cost, 0.055), 0.1);
}

TEST_F(CalibrationPlane, ATrialDoesNotDependOnTheTrialsBeforeIt) {
  calib_cost cost;
  ASSERT_EQ(cost.read_observations("observed.txt"), 1);
  const double first = trial(cost, 0.062);
  const run_measures measures = cost.last();
  trial(cost, 0.02);
  trial(cost, -0.01);  // a failed run in between
  trial(cost, 0.15);
  EXPECT_EQ(trial(cost, 0.062), first);
  EXPECT_EQ(cost.last().max_peak, measures.max_peak);
  EXPECT_EQ(cost.last().max_volume, measures.max_volume);
  EXPECT_EQ(cost.last().rmse, measures.rmse);
}

TEST_F(CalibrationPlane, ARunThatStopsScoresTheFailureValue) {
  calib_cost cost;
  ASSERT_EQ(cost.read_observations("observed.txt"), 1);
  // A roughness of 0 is refused by the project reader: the run stops.
  EXPECT_EQ(trial(cost, 0.0), cost_failed);
  EXPECT_TRUE(cost.last_failed());
  EXPECT_EQ(cost.last().rmse, cost_failed);
  // Every file the process writes from the first trial on carries the prefix.
  EXPECT_TRUE(file_exists("0000_0_cost.out"));
  EXPECT_TRUE(file_exists("0000_0_obs.log"));
  EXPECT_FALSE(file_exists("0_cost.out"));
}

TEST_F(CalibrationPlane, TheCaptureBufferStartsNotCaptured) {
  auto ms = make_model_state();
  capture_buffer buffer;
  ms->project.capture = &buffer;
  ms->output.optimize_given = 1;
  ms->output.num_hyd_locations = 2;
  ms->clock.num_events = 3;
  alloc_calib_output(*ms);
  EXPECT_EQ(buffer.loc_stride, 3);
  EXPECT_EQ(buffer.step_count, 3);
  ASSERT_EQ(buffer.series_a.size(), 3 * 3 + 1);
  ASSERT_EQ(buffer.loc_a.size(), 3);
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(buffer.series_a[i], not_captured);
    EXPECT_EQ(buffer.series_b[i], not_captured);
  }
  // Without the optimisation output nothing is sized.
  capture_buffer unused;
  ms->project.capture = &unused;
  ms->output.optimize_given = 0;
  alloc_calib_output(*ms);
  EXPECT_TRUE(unused.series_a.empty());
}

TEST_F(CalibrationPlane, SceRecoversTheRoughnessAndWritesItsFiles) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run_sce_mode(process.parallel_env, "sce.in"), 1);
  const std::string console = ::testing::internal::GetCapturedStdout();

  const std::string best = read_file("0000_sce_best.out");
  const std::size_t head_end = best.find('\n');
  ASSERT_NE(head_end, std::string::npos) << console;
  int runs = 0;
  ASSERT_EQ(std::sscanf(best.c_str(), "The best results of the SCE calibration %d runs:", &runs), 1);
  const double n = std::strtod(best.c_str() + head_end + 1, nullptr);
  EXPECT_NEAR(n, 0.05, 0.0005);
  char line[64];
  std::snprintf(line, sizeof line, "%le\n", n);
  EXPECT_EQ(best.substr(head_end + 1), line);
  EXPECT_NE(console.find("The best results of the SCE calibration after " + std::to_string(runs) + " runs:\n"),
            std::string::npos);
  std::snprintf(line, sizeof line, "%le  [ROUGH]\n", n);  // named on the console, in no bound's reach
  EXPECT_NE(console.find(line), std::string::npos) << console;
  EXPECT_EQ(console.find("unknown card"), std::string::npos);  // the header line is no card

  // The output file: the search's progress and its end.
  const std::string output = read_file("sce_output.out");
  EXPECT_EQ(output.rfind("ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH\n", 0), 0u);
  EXPECT_NE(output.find(" *** PRINT THE FINAL PARAMETER ESTIMATE AND ITS CRITERION VALUE ***\n"), std::string::npos);
  // The log: a header and one line per run, numbered, the best never rising.
  std::istringstream log(read_file("0000_sce_log_file.txt"));
  std::string text;
  std::getline(log, text);
  EXPECT_EQ(text, "Sim No.   Cost     Minimum Cost:  Parameter Values");
  int number = 0;
  double lowest = 1e300;
  while (std::getline(log, text)) {
    int k = 0;
    double cost = 0, minimum = 0, value = 0;
    ASSERT_EQ(std::sscanf(text.c_str(), "%d %lf %lf : %le", &k, &cost, &minimum, &value), 4) << text;
    EXPECT_EQ(k, ++number);
    EXPECT_LE(minimum, lowest + 1e-12);
    lowest = minimum;
    EXPECT_GE(value, 0.01);
    EXPECT_LE(value, 0.2);
  }
  EXPECT_EQ(number, runs);
  // The results table: a header and one line per run.
  EXPECT_EQ(count_lines("0000_results_all.out"), runs + 1);
  EXPECT_EQ(read_file("0000_results_all.out").rfind("--Cost--\t----HMLE----", 0), 0u);
}

TEST_F(CalibrationPlane, MonteCarloKeepsTheBestRunThatGaveAResult) {
  // A range whose lower part the project reader refuses (n <= 0).
  write_file("mc.in", "calib.prj\nroughness.lst\nobserved.txt\n1\n-0.05 0.1\n");
  testing::arguments args({"nivra", "-m12", "mc.in"});
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(nivra_main(args.argc(), args.argv()), 0);
  const std::string console = ::testing::internal::GetCapturedStdout();
  std::istringstream log(read_file("0000_log_file_p0.log"));
  std::string text;
  std::getline(log, text);
  EXPECT_EQ(text, "Cost  \t[ROUGH]\t");
  int runs = 0, failed = 0;
  double lowest = 1e300;
  while (std::getline(log, text)) {
    ++runs;
    const double cost = std::strtod(text.c_str(), nullptr);
    const double value = std::strtod(text.c_str() + text.find('\t') + 1, nullptr);
    if (value <= 0.0) {
      EXPECT_EQ(cost, cost_failed);
      ++failed;
    } else {
      lowest = std::min(lowest, cost);
    }
  }
  EXPECT_EQ(runs, 12);
  ASSERT_LT(failed, runs);
  double best_cost = 0, best_value = 0;
  ASSERT_EQ(std::sscanf(read_file("0000_best.out").c_str(), "%lf: %le", &best_cost, &best_value), 2) << console;
  EXPECT_NEAR(best_cost, lowest, 1e-6);
  EXPECT_GT(best_value, 0.0);
  EXPECT_EQ(count_lines("0000_results_all.out"), 13);
}

// The keys of the list against the files the runs read: the project, the
// files it names, and the files those name; comment lines and the run
// summary, which lists the keys of earlier runs, do not count.
TEST_F(CalibrationPlane, TheListsKeysAreCheckedAgainstTheFilesTheRunsRead) {
  write_file("p.prj", "NIVRAPROJECT\n# the key [OLD] in a comment\nMANNING_N [ROUGH]\nMAPPING_TABLE table.txt\n"
                      "SUMMARY p.sum\n");
  write_file("table.txt", "SOIL 1 index deep.idx\n");
  write_file("deep.idx", "1 [KS] [KS]\n");
  write_file("p.sum", "  [OLD]          =       0.05\n");
  struct {
    const char* list;
    bool fits;
    const char* message;
  } cases[] = {
      {"2\n[ROUGH] \"%.8lf\"\n[KS] \"%.8lf\"\n", true, ""},
      {"3\n[ROUGH] \"%.8lf\"\n[KS] \"%.8lf\"\n[KZ] \"%.8lf\"\n", false,
       "Error: the key [KZ] of the replacement parameter list keys.lst is used by no input file: the project p.prj "
       "and the files it names do not hold it.\n"},
      {"1\n[ROUGH] \"%.8lf\"\n", false,
       "Error: the key [KS] in deep.idx (line 1) is not in the replacement parameter list keys.lst: every trial "
       "would fail to read it.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    write_file("keys.lst", c.list);
    ASSERT_EQ(read_replace_param_file("keys.lst"), 0);
    std::vector<std::string> keys;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(check_list_keys("keys.lst", "p.prj", keys), c.fits);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.message);
    EXPECT_EQ(keys.size(), process.replace_list.size());
    EXPECT_EQ(keys.front(), "[ROUGH]");
  }
}

// -c stops before its first trial when a key of the list is in no input
// file, or an input file holds a key the list lacks.
TEST_F(CalibrationPlane, SceChecksItsKeysBeforeTheFirstTrial) {
  struct {
    const char* list;
    const char* parameters;
    bool key_in_map;
    const char* message;
  } cases[] = {
      {"2\n[ROUGH] \"%.8lf\"\n[KZ] \"%.8lf\"\n", "2\n0 0 0 0 0 0\n0.1 0.01 0.2\n1.0 0.1 5.0\n", false,
       "Error: the key [KZ] of the replacement parameter list roughness.lst is used by no input file"},
      {"1\n[ROUGH] \"%.8lf\"\n", "1\n0 0 0 0 0 0\n0.1 0.01 0.2\n", true,
       "Error: the key [KS] in calib.ele (line 7) is not in the replacement parameter list roughness.lst"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    write_file("roughness.lst", c.list);
    write_file("sce.in", std::string("calib.prj\nroughness.lst\nobserved.txt\n300 3 0.0001 2 1969 0 ") + c.parameters);
    std::string elevation = read_file(std::string(NIVRA_SOURCE_DIR) + "/examples/calib_plane/calib.ele");
    if (c.key_in_map) elevation.replace(elevation.find("99.30"), 5, "[KS]");
    write_file("calib.ele", elevation);
    testing::arguments args({"nivra", "-c", "sce.in"});
    ::testing::internal::CaptureStdout();
    EXPECT_NE(nivra_main(args.argc(), args.argv()), 0);
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find(c.message), std::string::npos) << console;
    EXPECT_FALSE(file_exists("0000_results_all.out"));  // no trial ran
    reset_process_state();
  }
}

// Observed events the run does not simulate: weighted, they stop the
// calibration after its first run; without weight, they are warned about.
TEST_F(CalibrationPlane, SceNamesObservedEventsTheRunDoesNotSimulateAfterItsFirstRun) {
  write_file("sce.in", "calib.prj\nroughness.lst\nobserved.txt\n12 3 0.0001 1 1969 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n");
  write_file("observed.txt", "2\n0.116184 1.0 231.795796 1.0\n0.2 1.0 300.0 0.0\n");
  testing::arguments args({"nivra", "-c", "sce.in"});
  ::testing::internal::CaptureStdout();
  EXPECT_NE(nivra_main(args.argc(), args.argv()), 0);
  std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("Error: the observation file observed.txt gives 2 events, but the run of calib.prj "
                         "simulates 1: event 2 has no simulated peak or volume, and every trial would score "
                         "999999.99.\n"),
            std::string::npos)
      << console;
  EXPECT_EQ(count_lines("0000_results_all.out"), 2);  // the header and the one run
  reset_process_state();

  write_file("observed.txt", "2\n0.116184 1.0 231.795796 1.0\n0.2 0.0 300.0 0.0\n");
  EXPECT_FALSE(file_exists("0000_sce_best.out"));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(nivra_main(args.argc(), args.argv()), 0);
  console = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("Warning: the observation file observed.txt gives 2 events, but the run of calib.prj "
                         "simulates 1; the events after event 1 carry no weight and are left out.\n"),
            std::string::npos)
      << console;
  EXPECT_TRUE(file_exists("0000_sce_best.out"));
}

// A best value held on a bound is marked on the console and in the best
// parameter file; the truth (n = 0.05) lies below the range searched.
TEST_F(CalibrationPlane, SceMarksABestValueOnABound) {
  write_file("sce.in", "calib.prj\nroughness.lst\nobserved.txt\n300 3 0.0001 2 1969 0 1\n0 0 0 0 0 0\n0.1 0.06 0.2\n");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run_sce_mode(process.parallel_env, "sce.in"), 1);
  const std::string console = ::testing::internal::GetCapturedStdout();
  const std::string best = read_file("0000_sce_best.out");
  const std::size_t value_at = best.find('\n') + 1;
  const double n = std::strtod(best.c_str() + value_at, nullptr);
  EXPECT_NEAR(n, 0.06, 0.06 * 1e-3);
  char line[96];
  std::snprintf(line, sizeof line, "%le  [ROUGH] at its lower bound 0.06\n", n);
  EXPECT_EQ(best.substr(value_at), line);
  std::snprintf(line, sizeof line, "%le  [ROUGH] at its lower bound 0.06: the best fit may lie beyond it\n", n);
  EXPECT_NE(console.find(line), std::string::npos) << console;
}

// A calibration that cannot be made, or whose every run failed, is a failed
// program: the exit status says so, and the console says why.
TEST_F(CalibrationPlane, AFailedCalibrationExitsNonZero) {
  const std::string names = "calib.prj\nroughness.lst\nobserved.txt\n";
  struct failing {
    std::string option, file_text, fragment;
  };
  const failing cases[] = {
      {"-c", "", "Error: the file sce.in is empty."},
      {"-c", "\n", "Error: the file sce.in holds only blanks."},
      {"-c", names + "300 3 0.0001 2 1969 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n0.1 0.01 0.2\n",
       "line 7 of the SCE input file sce.in holds more than its 1 parameters"},
      {"-c", names + "-300 -3 -0.0001 -2 -1969 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n", "must allow 1 or more evaluations"},
      {"-c", names + "300 3 0.0001 2 1969 0 0\n0 0 0 0 0 0\n", "must give 1 or more parameters"},
      {"-c", "calib.prj\nroughness.lst\nmissing.txt\n300 3 0.0001 2 1969 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n",
       "Attempted to read file: missing.txt"},
      {"-c", names + "300 3 0.0001 -2 1969 0 1\n0 0 0 0 0 0\n0.1 0.01 0.2\n", "NUMBER OF COMPLEXES"},
      // Every roughness of the range is refused by the project reader.
      {"-c", names + "12 3 0.0001 1 1969 0 1\n0 0 0 0 0 0\n-0.1 -0.2 -0.01\n",
       "every model run of the SCE calibration failed"},
      {"-m3", "", "Error: the file sce.in is empty."},
      {"-m3", names + "1\n0.01 0.2\n0.01 0.2\n", "line 6 of the Monte Carlo input file sce.in holds more than its 1 parameters"},
      {"-m3", names + "0\n", "must give the number of parameters (1 or more)"},
      {"-m3", "calib.prj\nroughness.lst\nmissing.txt\n1\n0.01 0.2\n", "Attempted to read file: missing.txt"},
      {"-m3", names + "1\n-0.2 -0.01\n", "no Monte Carlo run gave a usable result"},
  };
  for (const failing& c : cases) {
    SCOPED_TRACE(c.option + " " + c.file_text);
    write_file("sce.in", c.file_text);
    testing::arguments args({"nivra", c.option, "sce.in"});
    ::testing::internal::CaptureStdout();
    const int status = nivra_main(args.argc(), args.argv());
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(status, 0);
    EXPECT_NE(console.find(c.fragment), std::string::npos) << console;
    reset_process_state();
  }
  // A control file that is missing altogether.
  testing::arguments args({"nivra", "-c", "nowhere.in"});
  ::testing::internal::CaptureStdout();
  EXPECT_NE(nivra_main(args.argc(), args.argv()), 0);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Can't open SCE input file nowhere.in"), std::string::npos);
}

}  // namespace
}  // namespace nivra
