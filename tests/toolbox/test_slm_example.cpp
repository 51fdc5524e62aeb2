// The -slm mode on the watershed model: examples/plane_slm estimates the
// plane's roughness and retention depth from an outlet hydrograph made at
// n = 0.05 and 2 mm (with 1 % of deterministic noise) in the iterations
// and model runs README gives, and the post-run program of the control file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run/driver.h"
#include "run/steps.h"
#include "support/test_support.h"
#include "toolbox/toolbox_control.h"
#include "toolbox/toolbox_model.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class SlmExample : public testing::process_test {
 protected:
  void SetUp() override {
    testing::process_test::SetUp();
    const std::string from = std::string(NIVRA_SOURCE_DIR) + "/examples/plane_slm/plane_slm.";
    for (const char* ext : {"prj", "msk", "ele", "pst", "ins"})
      testing::write_file(std::string("plane_slm.") + ext, testing::read_file(from + ext));
  }
  // The -slm mode as the command line starts it; its status.
  int slm(const char* extra = nullptr) {
    std::string words[] = {"nivra", "-slm", "plane_slm", extra ? extra : ""};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), nullptr};
    CaptureStdout();
    const int status = slm_dru(extra ? 4 : 3, argv);
    console = GetCapturedStdout();
    return status;
  }
  // The control file with one text replaced.
  void edit_control(const std::string& from, const std::string& to) {
    std::string text = testing::read_file("plane_slm.pst");
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    testing::write_file("plane_slm.pst", text);
  }
  static void write_script(const std::string& name, const std::string& body) {
    testing::write_file(name, "#!/bin/sh\n" + body);
    ::chmod(name.c_str(), 0755);
  }
  std::string console;
};

TEST_F(SlmExample, RoughnessAndRetentionAreRecoveredWithinOnePercent) {
  ASSERT_EQ(slm(), 0) << console;
  EXPECT_EQ(console.find("\nUsing the Levenberg-Marquardt local search method,\n"), 0u) << console;
  double rough = 0.0, reten = 0.0;
  std::FILE* par = std::fopen("plane_slm.par", "r");
  ASSERT_NE(par, nullptr);
  ASSERT_EQ(std::fscanf(par, "%lf %lf", &rough, &reten), 2);
  std::fclose(par);
  EXPECT_NEAR(rough, 0.05, 0.0005);
  EXPECT_NEAR(reten, 2.0, 0.02);

  // The model's files hold the final run, made with the best values.
  double final_rough = 0.0, final_reten = 0.0;
  ASSERT_EQ(std::sscanf(testing::read_file("values.in").c_str(), "%lf %lf", &final_rough, &final_reten), 2);
  // The .par file holds the eight significant digits the model was given.
  EXPECT_EQ(final_rough, rough);
  EXPECT_EQ(final_reten, reten);

  // The record file: header, initial conditions, iterations, the end, the
  // results with confidence limits.
  const std::string rec = testing::read_file("plane_slm.rec");
  const char* sections[] = {
      "\n                            RECORD FILE \n\n\nINPUT INFORMATION \n\n",
      "Input control file case name: plane_slm\n\n",
      "The LM method is employed for this case.",
      "                            OPTIMIZATION RECORD\n\nINITIAL CONDITIONS:\n",
      "      rough            0.1\n      reten            4\n",
      "OPTIMIZATION ITERATION NO.\t\t\t\t: 1\nModel Calls so far\t\t\t\t\t: 1\n",
      "\tLambda = 1.000000E-02 ----->\n\trunning model ...\n",
      "      Current parameter values                 Previous parameter values\n",
      "Optimization complete: ",
      "The model has been run one final time using best parameters.\n",
      "                            OPTIMISATION RESULTS\n",
      "Parameter        Estimated         95 percent confidence limits\n",
      "Observation            Measured       Calculated     Residual       Weight     Group\n",
      "Parameter correlation coefficient matrix ----->\n\t\trough\treten\n",
  };
  std::size_t at = 0;
  for (const char* s : sections) {
    const std::size_t found = rec.find(s, at);
    EXPECT_NE(found, std::string::npos) << s;
    if (found != std::string::npos) at = found;
  }
  // README gives the iterations and the model runs of the search: the
  // record's last iteration and its count of model calls.
  const std::string iteration = "OPTIMIZATION ITERATION NO.\t\t\t\t: ", calls = "Total Model Calls:\t";
  ASSERT_NE(rec.rfind(iteration), std::string::npos);
  ASSERT_NE(rec.find(calls), std::string::npos);
  const long iterations = std::strtol(rec.c_str() + rec.rfind(iteration) + iteration.size(), nullptr, 10);
  const long runs = std::strtol(rec.c_str() + rec.find(calls) + calls.size(), nullptr, 10);
  std::string readme;
  for (const char c : testing::read_file(std::string(NIVRA_SOURCE_DIR) + "/README.md"))
    if (!(std::isspace(static_cast<unsigned char>(c)) && !readme.empty() && readme.back() == ' '))
      readme.push_back(std::isspace(static_cast<unsigned char>(c)) ? ' ' : c);
  EXPECT_NE(readme.find("-slm plane_slm` finds n = 0.05001 and 2.000 mm in " + std::to_string(iterations) +
                        " iterations and " + std::to_string(runs) + " model runs"),
            std::string::npos)
      << iterations << " iterations, " << runs << " runs";
  // The sensitivity file: a block per iteration, then the composite tables.
  const std::string sen = testing::read_file("plane_slm.sen");
  EXPECT_EQ(sen.rfind("                        PARAMETER SENSITIVITIES: CASE plane_slm\n\n\n"
                      " OPTIMISATION ITERATION NO.\t1 ----->\n"
                      " Parameter name    Group          Current value    Sensitivity       \n"
                      "rough\trough\t0.1\t",
                      0),
            0u);
  EXPECT_NE(sen.find("                        COMPLETION OF OPTIMISATION PROCESS\n\n"
                     " Composite sensitivities for observation group \"outlet\" ----->\n\n"
                     " Number of observations with non-zero weight =\t18\n"),
            std::string::npos);
  EXPECT_NE(sen.find(" Composite sensitivities for all observations/prior info ----->\n\n"),
            std::string::npos);
  EXPECT_FALSE(testing::file_exists("plane_slm.rst"));  // removed at the end
}

TEST_F(SlmExample, ThePostRunProgramRunsAfterEveryModelRunWithoutAShell) {
  // One Jacobian (noptmax -1): the first run and four derivative runs.
  write_script("post.sh", "echo run >> post.log\n");
  edit_control("nivra none", "nivra post.sh");
  edit_control("\n30 0.0001", "\n-1 0.0001");
  ASSERT_EQ(slm(), 0) << console;
  EXPECT_EQ(testing::read_file("post.log"), "run\nrun\nrun\nrun\nrun\n");

  // A post-run program that fails makes a failed model run: the first one
  // stops the search.
  write_script("fail.sh", "exit 3\n");
  edit_control("nivra post.sh", "nivra fail.sh");
  EXPECT_EQ(slm(), 1);
  EXPECT_NE(console.find("Error: the post-run program fail.sh ended with status 3.\n"),
            std::string::npos);
  EXPECT_NE(console.find("Error: the first model run of the toolbox search failed"), std::string::npos);
}

TEST_F(SlmExample, APostRunNameIsAFileNotACommandLine) {
  write_script("ok.sh", "touch ran\n");
  EXPECT_EQ(run_post_program("ok.sh"), 0);
  EXPECT_TRUE(testing::file_exists("ran"));
  // No shell reads the name: its ";" starts nothing.
  EXPECT_EQ(run_post_program("ok.sh;touch injected"), -1);
  EXPECT_FALSE(testing::file_exists("injected"));
  EXPECT_EQ(run_post_program("missing.sh"), -1);

  pest_control pc;
  EXPECT_FALSE(post_run_given(pc));
  pc.post_batch = "none";
  EXPECT_FALSE(post_run_given(pc));
  pc.post_batch = "post.sh";
  EXPECT_TRUE(post_run_given(pc));
}

// An instruction file that reads q015 where it should read q020 would leave
// q020 at 0 and fit the model to it: the search does not start.
TEST_F(SlmExample, AnObservationReadTwiceAndAnotherNeverStopsTheSearch) {
  std::string ins = testing::read_file("plane_slm.ins");
  const std::size_t at = ins.find("!q020!");
  ASSERT_NE(at, std::string::npos);
  ins.replace(at, 6, "!q015!");
  testing::write_file("plane_slm.ins", ins);
  EXPECT_EQ(slm(), 1);
  EXPECT_NE(console.find("Error: the instruction file plane_slm.ins, line 5, reads the observation q015 a second "
                         "time; every observation is read exactly once per model run.\n"),
            std::string::npos)
      << console;
  EXPECT_FALSE(testing::file_exists("values.in"));
}

// Instructions that read the time column of the hydrograph in place of
// the discharge: no observation responds to any parameter, and the search
// fails saying so.
TEST_F(SlmExample, InstructionsThatReadAColumnNoParameterMovesFailTheSearch) {
  std::string ins = testing::read_file("plane_slm.ins");
  for (std::size_t at = ins.find("w w !"); at != std::string::npos; at = ins.find("w w !", at))
    ins.replace(at, 5, "w !");
  testing::write_file("plane_slm.ins", ins);
  EXPECT_EQ(slm(), 1);
  EXPECT_NE(console.find("Error: no observation responds to any parameter: every column of the Jacobian is zero.\n"),
            std::string::npos)
      << console;
  EXPECT_EQ(console.find("Optimisation complete"), std::string::npos);
}

// The plane of plane_slm on a Green-Ampt soil of porosity 0.45 whose
// initial moisture, the key [mo], starts at 0.449: the derivative run at
// mo + 1 % lies above the porosity and the model refuses it. The column
// comes from the other side, and the search recovers mo = 0.30 and
// n = 0.05 from a hydrograph the model made with them, in two- and
// three-point modes.
TEST_F(SlmExample, AMoistureNextToThePorosityIsEstimatedThoughItsForwardRunIsRefused) {
  const std::string mask = testing::read_file("plane_slm.msk");
  std::string header;
  for (std::size_t at = 0, line = 0; line < 6; ++line) {
    const std::size_t end = mask.find('\n', at);
    header += mask.substr(at, end - at + 1);
    at = end + 1;
  }
  auto map = [&](const std::string& name, const std::string& value) {
    std::string text = header;
    for (int r = 0; r < 6; ++r) {
      for (int c = 0; c < 8; ++c) text += (c ? " " : "") + value;
      text += "\n";
    }
    testing::write_file(name, text);
  };
  map("pl.ks", "0.3");
  map("pl.hc", "10.0");
  map("pl.por", "0.45");
  map("pl.moi", "[mo]");
  std::string project = testing::read_file("plane_slm.prj");
  auto replace = [&](const std::string& from, const std::string& to) {
    const std::size_t at = project.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    project.replace(at, from.size(), to);
  };
  replace("MANNING_N        [rough]\nRETENTION        [reten]\n", "MANNING_N        [nov]\n");
  replace("HYD_FREQ", "GREEN_AMPT\nCONDUCTIVITY pl.ks\nCAPILLARY pl.hc\nPOROSITY pl.por\nMOISTURE pl.moi\nHYD_FREQ");
  testing::write_file("pl.prj", project);

  // The observed hydrograph: a run at the true values.
  testing::write_file("nivra.in", "2\n[nov] \"%16.8lf\"\n[mo] \"%16.8lf\"\n");
  testing::write_file("values.in", "0.05 0.30\n");
  CaptureStdout();
  const int truth = run_simulation("pl.prj", nullptr, "-slm");
  GetCapturedStdout();
  ASSERT_EQ(truth, 0);
  const std::string hydrograph = testing::read_file("plane_slm.q6");
  std::string observations;
  std::size_t at = hydrograph.find('\n') + 1;  // from 5 minutes on
  for (int k = 1; k <= 18; ++k) {
    double minutes = 0.0, q = 0.0;
    ASSERT_EQ(std::sscanf(hydrograph.c_str() + at, "%lf %lf", &minutes, &q), 2);
    char line[64];
    std::snprintf(line, sizeof line, "q%03d %.6f 1.0 outlet\n", 5 * k, q);
    observations += line;
    at = hydrograph.find('\n', at) + 1;
  }
  ASSERT_GT(observations.find("0.03"), 0u);

  for (const char* forcen : {"always_2", "always_3"}) {
    SCOPED_TRACE(forcen);
    testing::write_file("pl.pst",
                        "pcf\n* control data\nnorestart estimation\n2 18 1 0 1\n0 1 single point\n1 0 0\n"
                        "0.01 2.0 0.3 0.01 10\n10.0 10.0 0.001 0\n0.1 aui\n30 0.0001 3 3 0.0001 3\n1 1 1\n"
                        "0 0 0.5 1 0.05\npl.prj\n* parameter groups\ngrp relative 0.01 0.0 " +
                            std::string(forcen) +
                            " 2.0 outside_pts\n* parameter data\n"
                            "nov none relative 0.1 0.01 0.5 grp 1.0 0.0 1\n"
                            "mo none relative 0.449 0.05 0.6 grp 1.0 0.0 1\n"
                            "* observation groups\noutlet\n* observation data\n" +
                            observations +
                            "* model command line\nnivra none\n* model input/output\nplane_slm.ins plane_slm.q6\n"
                            "* prior information\n");
    std::string words[] = {"nivra", "-slm", "pl"};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
    CaptureStdout();
    const int status = slm_dru(3, argv);
    console = GetCapturedStdout();
    ASSERT_EQ(status, 0) << console;
    EXPECT_NE(console.find("   A derivative run of parameter \"mo\" failed: its column comes from the run at 0.44451."),
              std::string::npos)
        << console;
    double nov = 0.0, mo = 0.0;
    ASSERT_EQ(std::sscanf(testing::read_file("pl.par").c_str(), "%lf %lf", &nov, &mo), 2);
    EXPECT_NEAR(nov, 0.05, 0.05 * 1e-3);
    EXPECT_NEAR(mo, 0.30, 0.30 * 1e-3);
  }
}

}  // namespace
}  // namespace nivra
