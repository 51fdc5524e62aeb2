// The simulation driver: a whole run of the example, the console rules of
// quiet and optimiser runs, runs stopped at set-up, the timing log, the
// shift of relative time series and the closing of the record's files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/guarded_file.h"
#include "core/process.h"
#include "core/time_series.h"
#include "hydromet/hydromet_state.h"
#include "model/model_state.h"
#include "output/output_state.h"
#include "run/driver.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::count_lines;
using testing::file_exists;
using testing::read_file;
using testing::write_file;

class Driver : public testing::process_test {
 protected:
  void SetUp() override {
    testing::process_test::SetUp();
    testing::copy_plane_example();
  }
  // Runs the driver; returns its code and leaves the console output.
  static int run(const std::string& project, const std::string& mode_word, std::string& console) {
    CaptureStdout();
    int code = run_simulation(project, nullptr, mode_word);
    console = GetCapturedStdout();
    return code;
  }
  // The example with one card line replaced or added.
  static void edit_example(const std::string& card, const std::string& line) {
    std::string text = read_file("plane.prj");
    std::size_t at = card.empty() ? std::string::npos : text.find(card);
    if (at == std::string::npos) {
      text += line + "\n";
    } else {
      text.replace(at, text.find('\n', at) - at, line);
    }
    write_file("plane.prj", text);
  }
  static bool in_order(const std::string& text, std::initializer_list<const char*> parts) {
    std::size_t at = 0;
    for (const char* p : parts) {
      at = text.find(p, at);
      if (at == std::string::npos) return false;
    }
    return true;
  }
};

TEST_F(Driver, TheExampleRunsThroughToItsTeardown) {
  std::string console;
  EXPECT_EQ(run("plane.prj", "plane.prj", console), 0);
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_TRUE(in_order(console, {"reading run parameters from project file: plane.prj\n",
                                  "\nfinished reading project file\n", "total time to init(s): ",
                                  "\nRunning....\n", "Run time: "}))
      << console;
  const std::string summary = read_file("plane.sum");
  EXPECT_TRUE(in_order(summary, {"\n\n_________NIVRA start-up information________\n"
                                  "Run parameters read from project file: plane.prj\n",
                                  "number of grid cells in watershed: 46\n",
                                  "outlet is in grid cell: 46\n", "Running.... \n\n"}))
      << summary;
  // A normal end writes the run summary with its balances.
  EXPECT_NE(summary.find("Overall mass balance error ="), std::string::npos);
  EXPECT_TRUE(file_exists("plane.otl"));
  EXPECT_EQ(process.summary_log, nullptr);
  EXPECT_EQ(read_file("out_time.out").rfind("total time (s): ", 0), 0u);
  EXPECT_EQ(count_lines("out_time.out"), 1);

  // Every run appends its own line.
  EXPECT_EQ(run("plane.prj", "plane.prj", console), 0);
  EXPECT_EQ(count_lines("out_time.out"), 2);
}

TEST_F(Driver, QuietAndOptimiserRunsKeepTheConsoleQuiet) {
  struct row {
    const char* mode_word;
    bool super_quiet;
    bool startup_lines, run_time;
  };
  const row table[] = {
      {"temp", false, true, true},
      {"-slmx", false, true, true},  // only the exact search words count
      {"-slm", false, false, false},
      {"-ms", false, false, false},
      {"-tr", false, false, false},
      {"-mlsl", false, false, false},
      {"temp", true, false, true},   // the project's quiet card keeps the run time
  };
  for (const row& r : table) {
    reset_process_state();
    testing::copy_plane_example();
    if (r.super_quiet) edit_example("", "SUPER_QUIET");
    std::remove("out_time.out");
    std::string console;
    EXPECT_EQ(run("plane.prj", r.mode_word, console), 0);
    const bool init_line = console.find("total time to init(s):") != std::string::npos;
    const bool running = console.find("Running....\n") != std::string::npos;
    EXPECT_EQ(init_line, r.startup_lines) << r.mode_word << r.super_quiet;
    EXPECT_EQ(running, r.startup_lines) << r.mode_word << r.super_quiet;
    EXPECT_EQ(console.find("Run time: ") != std::string::npos, r.run_time) << r.mode_word;
    // The summary and the timing log are written in every case.
    EXPECT_NE(read_file("plane.sum").find("Running.... \n\n"), std::string::npos);
    EXPECT_EQ(count_lines("out_time.out"), 1);
  }
}

// What a run says is what it did: the optimisation file is named only when
// there is one, a quiet run names no precipitation file when the rain is
// uniform, and the map interval is spoken of (the set-up's default warning,
// the summary's map list) only by a run that writes maps.
TEST_F(Driver, TheConsoleAndTheSummaryNameOnlyOutputsThatExist) {
  struct row {
    const char* cards;
    const char* optimisation_line;  // "" when none is due
    bool maps, progress;
  };
  const row table[] = {
      {"", "", false, true},
      {"OPTIMIZE         opt.out", "writing output for optimization to file opt.out\n", false, true},
      {"DEPTH            maps", "", true, true},
      {"QUIET", "", false, false},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.cards);
    reset_process_state();
    testing::copy_plane_example();
    std::filesystem::remove_all("maps");
    std::filesystem::create_directory("maps");
    // The example without its depth maps and their interval.
    for (const char* card : {"DEPTH ", "MAP_TYPE ", "MAP_FREQ "}) edit_example(card, "");
    if (*r.cards) edit_example("", r.cards);
    std::string console;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(run("plane.prj", "plane.prj", console), 0);
    console += ::testing::internal::GetCapturedStderr();
    const std::string summary = read_file("plane.sum");
    const bool optimisation = *r.optimisation_line != 0;
    EXPECT_EQ(console.find("writing output for optimization") != std::string::npos, optimisation) << console;
    EXPECT_EQ(summary.find("writing output for optimization") != std::string::npos, optimisation);
    if (optimisation) {
      EXPECT_NE(console.find(r.optimisation_line), std::string::npos);
      EXPECT_NE(summary.find(r.optimisation_line), std::string::npos);
    }
    const std::string warning = "Warning: Write solution time step not specified, defaulting to 6 hours.\n";
    EXPECT_EQ(console.find(warning) != std::string::npos, r.maps) << console;
    EXPECT_EQ(console.find(warning), console.rfind(warning));
    EXPECT_EQ(summary.find("\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY 2160 TIMESTEP(S):\n"
                           "ASCII grid (Arc/Info) output maps were written, one file per map time.\n") != std::string::npos,
              r.maps)
        << summary;
    EXPECT_EQ(testing::file_exists("maps/depth.0001.asc"), r.maps);
    EXPECT_NE(summary.find("\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY 30 TIMESTEP(S):\n"),
              std::string::npos);
    EXPECT_EQ(console.find("event  1 elapsed time   180.00") != std::string::npos, r.progress);
    EXPECT_EQ(console.find("precipitation data from file"), std::string::npos);
    EXPECT_EQ(summary.find("precipitation data from file"), std::string::npos);
  }
}

TEST_F(Driver, RunsStoppedDuringSetUpNeverStartRunning) {
  std::string console;
  // A project file that cannot be read.
  EXPECT_EQ(run("missing.prj", "missing.prj", console), 0);
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_NE(console.find("Error: The specified project file was not found.\n"), std::string::npos);
  EXPECT_EQ(console.find("Running...."), std::string::npos);
  EXPECT_NE(console.find("Run time: "), std::string::npos);
  EXPECT_EQ(count_lines("out_time.out"), 1);

  // Conflicting options stop the run before any file is opened.
  reset_process_state();
  edit_example("", "ROUGHNESS rough.map");
  EXPECT_EQ(run("plane.prj", "plane.prj", console), 0);
  EXPECT_NE(console.find("Error: You have specified both spatially-varied and uniform Manning"),
            std::string::npos);
  EXPECT_FALSE(file_exists("plane.sum"));
  EXPECT_EQ(console.find("Running...."), std::string::npos);

  // A file that cannot be opened once the summary is open: the message also
  // goes into the summary.
  reset_process_state();
  testing::copy_plane_example();
  edit_example("OUTLET_HYDRO", "OUTLET_HYDRO     nodir/plane.otl");
  // A file stands where the folder would be made: the file cannot be written.
  testing::write_file("nodir", "");
  EXPECT_EQ(run("plane.prj", "plane.prj", console), 0);
  const std::string message = "Error: Unable to open output hydrograph file.\n  (File: nodir/plane.otl)\n";
  EXPECT_NE(console.find(message), std::string::npos);
  EXPECT_NE(read_file("plane.sum").find(message), std::string::npos);
  EXPECT_EQ(console.find("Running...."), std::string::npos);
  EXPECT_EQ(read_file("plane.sum").find("Running...."), std::string::npos);
  EXPECT_EQ(process.summary_log, nullptr);
}

TEST_F(Driver, RelativeTimeSeriesBecomeAbsolute) {
  time_series* relative = ts_new();
  relative->relative = 1;
  relative->times = {0.0, 0.25, 1.0};
  relative->count = 3;
  time_series* absolute = ts_new();
  absolute->times = {2460000.5, 2460001.5};
  absolute->count = 2;
  shift_relative_time_series(2460477.0);
  EXPECT_EQ(relative->times[0], 2460477.0);
  EXPECT_EQ(relative->times[1], 2460477.25);
  EXPECT_EQ(relative->times[2], 2460478.0);
  EXPECT_EQ(absolute->times[0], 2460000.5);
  EXPECT_EQ(absolute->times[1], 2460001.5);
  ts_free_all();
}

TEST_F(Driver, ClosingTheFileSlotsReportsADamagedHandle) {
  auto ms = make_model_state();
  ASSERT_TRUE(open_guarded_file(ms->output.summary_file, "a.sum", "w"));
  ASSERT_TRUE(open_guarded_file(ms->hydromet.raingage_file, "plane.prj", "r"));
  std::FILE* real = ms->hydromet.raingage_file.fp;
  ms->hydromet.raingage_file.fp_guard = nullptr;  // as a stray write would leave it
  CaptureStdout();
  close_all_files(*ms);
  const std::string console = GetCapturedStdout();
  EXPECT_NE(console.find("The file pointer is corrupt."), std::string::npos);
  EXPECT_EQ(console.find("a.sum"), std::string::npos);
  EXPECT_FALSE(ms->output.summary_file.is_open());
  EXPECT_FALSE(ms->hydromet.raingage_file.is_open());
  EXPECT_TRUE(ms->hydromet.raingage_file.name.empty());
  (void)real;  // closed by the slot's close all the same
}

}  // namespace
}  // namespace nivra
