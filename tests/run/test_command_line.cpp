// The program's entry: the command-line grammar and its run counts, the
// modes that run nothing, batch runs with their prefixes and replacement
// lines, the web start and its request body, and the exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command/command_line.h"
#include "core/process.h"
#include "output/output_state.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::arguments;
using testing::count_lines;
using testing::file_exists;
using testing::read_file;
using testing::write_file;

const std::string start_line = "Serial version of NIVRA (6.2 ) starting...\n";
// The SCE search is named only in the mode that runs it.
const std::string sce_start_line = "Serial version of NIVRA (6.2 ) with SCE starting...\n";

class CommandLine : public testing::process_test {
 protected:
  // Runs the whole program; returns its status and leaves its output.
  int run_main(arguments& args, std::string& console) {
    CaptureStdout();
    int status = nivra_main(args.argc(), args.argv());
    console = GetCapturedStdout();
    return status;
  }
};

TEST_F(CommandLine, GrammarOfModesAndRunCounts) {
  struct row {
    std::vector<std::string> args;  // after the program name
    int result, mode;
    const char* control;
  };
  const row table[] = {
      {{"p.prj"}, 1, 1, "p.prj"},
      {{"-v"}, 1, 1, "-v"},  // one argument is always a project file
      {{"-v", "x"}, 1, 4, ""},
      {{"-h", "x"}, 1, 5, "x"},
      {{"-c", "sce.in"}, 1, 2, "sce.in"},
      {{"-b", "p.prj"}, 1, 3, "p.prj"},
      {{"-b3", "p.prj"}, 3, 3, "p.prj"},
      {{"-b0", "p.prj"}, 0, 3, "p.prj"},
      {{"-bx", "p.prj"}, 1, 3, "p.prj"},
      {{"-b12", "p.prj", "more"}, 12, 3, "p.prj"},
      {{"-m20", "mc.in"}, 20, 6, "mc.in"},
      {{"-msx", "mc.in"}, 1, 6, "mc.in"},
      {{"-ms", "f"}, 1, 9, "f"},
      {{"-slm", "f"}, 1, 8, "f"},
      {{"-slmx", "f"}, 1, 8, "f"},
      {{"-sce", "f"}, 1, 7, "f"},
      {{"-s", "f"}, 1, 7, "f"},
      {{"-mlsl", "f"}, 1, 11, "f"},
      {{"-mlsq", "f"}, 1, 11, "f"},
      {{"-tv", "f"}, 1, 10, "f"},
      {{"-tr", "f"}, 1, 10, "f"},
  };
  for (const row& r : table) {
    std::vector<std::string> words{"nivra"};
    words.insert(words.end(), r.args.begin(), r.args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    run_command command;
    command.mode = 99;
    CaptureStdout();
    const int result = parse_command_line(static_cast<int>(words.size()), argv.data(), command);
    const std::string console = GetCapturedStdout();
    EXPECT_EQ(result, r.result) << words[1];
    EXPECT_EQ(command.mode, r.mode) << words[1];
    EXPECT_EQ(command.control_file.view(), r.control) << words[1];
    EXPECT_EQ(console, "") << words[1];
  }
}

TEST_F(CommandLine, CommandLinesThatMatchNoRule) {
  for (auto words : {std::vector<std::string>{"nivra"}, {"nivra", "-x", "f"}, {"nivra", "p", "q"}}) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    run_command command;
    CaptureStdout();
    EXPECT_EQ(parse_command_line(static_cast<int>(words.size()), argv.data(), command), -1);
    EXPECT_NE(GetCapturedStdout().find("\nUsage: nivra [-option] [inputfile]\n"), std::string::npos);
    EXPECT_EQ(command.mode, 0);
  }
}

TEST_F(CommandLine, AControlFileNameLongerThanItsFieldIsRefused) {
  const std::string longest(2055, 'a');
  const std::string too_long(2056, 'a');
  run_command command;
  arguments fits({"nivra", "-b", longest});
  EXPECT_EQ(parse_command_line(fits.argc(), fits.argv(), command), 1);
  EXPECT_EQ(command.control_file.view(), longest);

  arguments refused({"nivra", "-b", too_long});
  CaptureStdout();
  EXPECT_EQ(parse_command_line(refused.argc(), refused.argv(), command), -2);
  EXPECT_NE(GetCapturedStdout().find("longer than 2055 characters"), std::string::npos);
  EXPECT_EQ(command.mode, 0);
  EXPECT_TRUE(command.control_file.empty());

  arguments single({"nivra", too_long});
  std::string console;
  EXPECT_EQ(run_main(single, console), 1);
  EXPECT_FALSE(file_exists("out_time.out"));  // nothing ran
}

TEST_F(CommandLine, ModesThatRunNoProject) {
  struct row {
    std::vector<std::string> args;
    std::string output;  // after the start line
    int status = 0;      // a calibration without its control file fails
  };
  const row table[] = {
      {{"nivra", "-h", "x"}, ""},
      {{"nivra", "-b0", "p.prj"}, "NIVRA is running in batch mode, and is running 0 runs...\n"},
      {{"nivra", "-c", "sce.in"},
       "Error getting new filename from sce.in\nCan't open SCE input file sce.in\nError: unable to successufully setup SCE-UA. Unable to run.\n"
       "Error: unable to successfully run the SCE method\n", 1},
      {{"nivra", "-m5", "mc.in"},
       "Error getting new filename from mc.in\nError: unable to open the Monte Carlo input file mc.in.\nError: unable to read the input monte carlo file.\n", 1},
      {{"nivra", "-s", "mc.in"},
       "Error getting new filename from mc.in\nError: unable to open the Monte Carlo input file mc.in.\nError: unable to read the input monte carlo file.\n", 1},
  };
  for (const row& r : table) {
    arguments args(r.args);
    std::string console;
    EXPECT_EQ(run_main(args, console), r.status) << r.args[1];
    EXPECT_EQ(console, (r.args[1] == "-c" ? sce_start_line : start_line) + r.output) << r.args[1];
  }
  EXPECT_FALSE(file_exists("out_time.out"));

  // -slm reads the control file of its case: without one it fails.
  arguments slm({"nivra", "-slm", "f"});
  std::string slm_console;
  EXPECT_EQ(run_main(slm, slm_console), 1);
  EXPECT_EQ(slm_console, start_line + "\nCannot open f.pst \n");

  // The global searches read their own input file first: without one they fail.
  const struct {
    const char* word;
    const char* console;
  } searches[] = {
      {"-ms",
       "\nUsing the multistart stochastic global optimization method,\n"
       "as implemented directly in NIVRA, to calibrate the current NIVRA model.\n"
       "Multistart uses the (Secant) Levenberg-Marquardt local search method,\n"
       "as implemented directly in NIVRA, for local search.\n\n"
       "\nCannot open ms.in \n"},
      {"-tv",
       "\nUsing the trajectory repulsion stochastic global optimization method,\n"
       "as implemented directly in NIVRA, to calibrate the current NIVRA model.\n"
       "Trajectory repulsion uses the (Secant) Levenberg-Marquardt local search method,\n"
       "as implemented directly in NIVRA, for local search.\n\n"
       "\nCannot open tr.in \n"},
      {"-mlsl",
       "\nUsing the Multi Level Single Linkage (MLSL) stochastic global optimization method,\n"
       "as implemented directly in NIVRA, to calibrate the current NIVRA model.\n"
       "MLSL uses the (Secant) Levenberg-Marquardt local search method,\n"
       "as implemented directly in NIVRA, for local search.\n\n"
       "\nCannot open mlsl.in \n"},
  };
  for (const auto& search : searches) {
    arguments args({"nivra", search.word, "f"});
    std::string console;
    EXPECT_EQ(run_main(args, console), 1) << search.word;
    EXPECT_EQ(console, start_line + search.console) << search.word;
  }

  arguments none({"nivra"});
  std::string console;
  EXPECT_EQ(run_main(none, console), 0);
  EXPECT_EQ(console.rfind(start_line + "\nUsage: nivra [-option] [inputfile]\n", 0), 0u);

  arguments version({"nivra", "-v", "x"});
  EXPECT_EQ(run_main(version, console), 0);
  EXPECT_EQ(console.rfind(start_line + "\n    -- NIVRA version 6.20  --\n \n", 0), 0u);
  EXPECT_NE(console.find("For information contact:\n"), std::string::npos);
  EXPECT_NE(console.find("Intended for use with PAV Version 9.0 or higher\n \n"), std::string::npos);
}

TEST_F(CommandLine, BatchRunsTakeTheirPrefixAndReplacementLine) {
  testing::copy_plane_example();
  // The summary's name comes from the replacement value file, one line per run.
  std::string project = read_file("plane.prj");
  project.replace(project.find("SUMMARY"), std::string("SUMMARY          plane.sum").size(),
                  "SUMMARY          [NAME].sum");
  project.replace(project.find("WATERSHED_MASK"), 0,
                  "REPLACE_PARAMS   keys.txt\nREPLACE_VALS     vals.txt\n");
  write_file("plane.prj", project);
  write_file("keys.txt", "1\n[NAME] \"%s\"\n");
  write_file("vals.txt", "first\nsecond\nthird\n");

  arguments args({"nivra", "-b2", "plane.prj"});
  std::string console;
  EXPECT_EQ(run_main(args, console), 0);
  EXPECT_NE(console.find("NIVRA is running in batch mode, and is running 2 runs...\n"),
            std::string::npos);
  EXPECT_TRUE(file_exists("0000_first.sum"));
  EXPECT_TRUE(file_exists("0001_second.sum"));
  EXPECT_FALSE(file_exists("0002_third.sum"));
  EXPECT_TRUE(file_exists("0000_plane.otl"));
  EXPECT_TRUE(file_exists("0001_plane.otl"));
  EXPECT_EQ(count_lines("0000_out_time.out"), 1);
  EXPECT_EQ(count_lines("0001_out_time.out"), 1);
  EXPECT_FALSE(file_exists("out_time.out"));
  EXPECT_NE(read_file("0001_second.sum").find("Running.... \n\n"), std::string::npos);
  // The run-naming state keeps the last run's values.
  EXPECT_EQ(process.replace_line, 1);
  EXPECT_EQ(process.multi_run_mode, 1);
  EXPECT_EQ(process.run_number, 1);
}

TEST_F(CommandLine, WebBodyDecoding) {
  struct row {
    const char* length;
    std::string body;
    std::string printed;
  };
  const std::string wrong_form = "<P>Error in invocation - wrong FORM probably.";
  const row table[] = {
      {"6", "a+b%41", "a bA\n"},
      {"3", "%zz", "?\n"},
      {"4", "%4g!", "?!\n"},
      {"2", "%41", "?\n"},        // the length cuts the escape short
      {"3", "abcdef", "abc\n"},    // never more than the announced length
      {"9", "one\ntwo", "one\n"},  // one line only
      {"0", "abc", "\n"},
      {"1024", std::string(2000, 'x'), std::string(1024, 'x') + "\n"},
      {"1025", "abc", wrong_form},
      {"-1", "abc", wrong_form},
      {"many", "abc", wrong_form},
      {nullptr, "abc", wrong_form},
  };
  for (const row& r : table) {
    std::FILE* in = std::tmpfile();
    ASSERT_NE(in, nullptr);
    std::fwrite(r.body.data(), 1, r.body.size(), in);
    std::rewind(in);
    CaptureStdout();
    print_web_request(r.length, in);
    EXPECT_EQ(GetCapturedStdout(), r.printed) << (r.length ? r.length : "(none)");
    std::fclose(in);
  }
  EXPECT_EQ(decode_web_body("%7e%7E%2b"), "~~+");
}

TEST_F(CommandLine, WebModeFollowsTheProgramsOwnName) {
  unsetenv("CONTENT_LENGTH");
  arguments in_folder({"/srv/web/nivra", "-h", "x"});
  std::string console;
  EXPECT_EQ(run_main(in_folder, console), 0);
  EXPECT_EQ(console, start_line);

  arguments named({"/srv/bin/nivra_web.cgi", "-h", "x"});
  EXPECT_EQ(run_main(named, console), 0);
  EXPECT_EQ(console,
            "Content-Type:text/text;charset=iso-8859-1\r\n\n"
            "<title>NIVRA Test Case</title><body><P> Web version of NIVRA (6.2 ) "
            "starting...</P><P><P>Error in invocation - wrong FORM probably.</P></body>\n");
}

// The built program: a run stopped by an error is a failure for the shell.
TEST_F(CommandLine, ASingleRunStoppedByAnErrorExitsNonZero) {
  testing::copy_plane_example();
  auto run = [](std::string& output) {
    std::FILE* p = ::popen((std::string(NIVRA_EXE) + " plane.prj 2>&1").c_str(), "r");
    output.clear();
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
    int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::string output;
  EXPECT_EQ(run(output), 0);
  EXPECT_NE(output.find("Running....\n"), std::string::npos);

  std::rename("plane.msk", "moved.msk");
  EXPECT_NE(run(output), 0);
  EXPECT_NE(output.find("Error: Unable to open watershed mask file.\n  (File: plane.msk)\n"),
            std::string::npos);
  EXPECT_EQ(output.find("Running...."), std::string::npos);
  EXPECT_EQ(count_lines("out_time.out"), 2);
}

}  // namespace
}  // namespace nivra
