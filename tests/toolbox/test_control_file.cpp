#include <gtest/gtest.h>

#include <cmath>

#include "core/process.h"
#include "core/replace.h"
#include "toolbox/toolbox_fixture.h"
#include "toolbox/toolbox_text.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class ControlFile : public testing::toolbox_test {};

TEST_F(ControlFile, CaseNameWithoutDotTakesPst) {
  EXPECT_EQ(control_file_name("run1"), "run1.pst");
  EXPECT_EQ(control_file_name("run1.pst"), "run1.pst");
  EXPECT_EQ(control_file_name("run1.ctl"), "run1.ctl");
  // A dot in a folder name is no extension.
  EXPECT_EQ(control_file_name("../cases/run1"), "../cases/run1.pst");

  testing::write_file("run1.ctl", testing::sample_control);
  EXPECT_EQ(read_control_file(pc, "run1.ctl"), 0);
  EXPECT_EQ(pc.npar, 4);
}

TEST_F(ControlFile, ReadsEverySection) {
  ASSERT_EQ(read_case(), 0);
  EXPECT_EQ(pc.header_line[0], "pcf");
  EXPECT_EQ(pc.header_line[1], "* control data");
  EXPECT_EQ(pc.rstfle, "restart");
  EXPECT_EQ(pc.pestmode, "estimation");
  EXPECT_EQ(pc.npar, 4);
  EXPECT_EQ(pc.nobs, 5);
  EXPECT_EQ(pc.npargp, 2);
  EXPECT_EQ(pc.nprior, 1);
  EXPECT_EQ(pc.nobsgp, 2);
  EXPECT_EQ(pc.precis, "single");
  EXPECT_EQ(pc.rlambda1, 5.0);
  EXPECT_EQ(pc.rlamfac, 2.0);
  EXPECT_EQ(pc.numlam, 10);
  EXPECT_EQ(pc.phiredswh, 0.1);
  EXPECT_EQ(pc.reserved_word, "aui");
  EXPECT_EQ(pc.noptmax, 30);
  EXPECT_EQ(pc.nrelpar, 3);
  EXPECT_EQ(pc.slm_method, 1);
  EXPECT_EQ(pc.full_update, 1);
  EXPECT_EQ(pc.full_update_ratio, 0.5);
  EXPECT_EQ(pc.cyclic_columns, 2);
  EXPECT_EQ(pc.near_min_distance, 0.05);
  EXPECT_EQ(pc.model_project, "basin.prj");
  // The singular value decomposition section.
  EXPECT_EQ(pc.svdmode, 1);
  EXPECT_EQ(pc.maxsing, 3);
  EXPECT_EQ(pc.eigthresh, 5e-7);
  EXPECT_EQ(pc.eigwrite, 0);
  // Groups, observations, files.
  EXPECT_EQ(pc.param_groups[2].pargpnme, "soil");
  EXPECT_EQ(pc.param_groups[2].derinclb, 0.001);
  EXPECT_EQ(pc.param_groups[2].dermthd, "best_fit");
  EXPECT_EQ(pc.param_groups[1].forcen, "switch");
  EXPECT_EQ(pc.obs_groups[2].obgnme, "peak");
  EXPECT_EQ(pc.observations[5].obsnme, "Qa1");
  EXPECT_EQ(pc.observations[3].weight, 2.0);
  EXPECT_EQ(pc.pre_batch, "pre.bat");
  EXPECT_EQ(pc.post_batch, "post.bat");
  EXPECT_EQ(pc.templates[1].template_file, "basin.tpl");
  EXPECT_EQ(pc.instructions[1].model_output, "basin.out");
  // Regularisation values are read in estimation mode too.
  EXPECT_EQ(pc.phimlim, 1e-10);
  EXPECT_EQ(pc.wfinit, 1.0);
  EXPECT_EQ(pc.reg_weight, 1.0);
  EXPECT_EQ(pc.wftol, 1e-2);
}

TEST_F(ControlFile, WithoutSingularValueSectionGroupsFollowControlData) {
  const std::string text = testing::sample_with(
      "* singular value decomposition\n1\n3 5e-7\n0\n* parameter groups\n",
      "* parameter groups\n");
  ASSERT_EQ(read_case(text), 0);
  EXPECT_EQ(pc.svdmode, 0);
  EXPECT_EQ(pc.param_groups[1].pargpnme, "rough");
}

TEST_F(ControlFile, LogParametersAreStoredAsBaseTenLogarithms) {
  ASSERT_EQ(read_case(), 0);
  const param_rec& k1 = pc.params[1];
  EXPECT_NEAR(k1.parval1, 0.30102999566398120, 1e-15);
  EXPECT_NEAR(k1.parlbnd, -1.0, 1e-15);
  EXPECT_NEAR(k1.parubnd, 2.0, 1e-15);
  EXPECT_NEAR(k1.model_value(), 2.0, 1e-14);
  EXPECT_EQ(pc.params[2].parval1, 0.5);  // untransformed
}

TEST_F(ControlFile, ValuesOnTheirBoundsAreMarked) {
  ASSERT_EQ(read_case(testing::sample_with("k2 none relative 0.5 0.0 1.0",
                                           "k2 none relative 1.0 0.0 1.0")),
            0);
  EXPECT_EQ(pc.params[2].at_upper, 1);
  EXPECT_EQ(pc.params[2].at_lower, 0);
  ASSERT_EQ(read_case(testing::sample_with("k1 log factor 2.0 0.1", "k1 log factor 0.1 0.1")), 0);
  EXPECT_EQ(pc.params[1].at_lower, 1);  // compared after the log transform
}

TEST_F(ControlFile, CountsTiesAndTheAdjustableList) {
  ASSERT_EQ(read_case(), 0);
  slm_count_params(pc);
  EXPECT_EQ(pc.n_adjustable, 2);
  EXPECT_EQ(pc.n_fixed, 1);
  EXPECT_EQ(pc.n_tied, 1);
  ASSERT_EQ(slm_tied_setup(pc), 0);
  EXPECT_EQ(pc.params[4].tied_parent, "k2");
  EXPECT_EQ(pc.params[4].tie_parent_index, 2);
  EXPECT_NEAR(pc.params[4].tie_ratio, 0.07 / 0.5, 1e-15);
  array1d<int> list;
  slm_last_adjustable(pc, list);
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list[1], 1);
  EXPECT_EQ(list[2], 2);

  // A parent given as a logarithm counts with its value: 0.07 / 2.
  pc.params[4].tied_parent = "k1";
  ASSERT_EQ(slm_tied_setup(pc), 0);
  EXPECT_NEAR(pc.params[4].tie_ratio, 0.035, 1e-14);

  // Adjustable names beginning "iw_".
  pc.params[2].parnme = "iw_k2";
  slm_count_params(pc);
  EXPECT_EQ(pc.n_iw, 1);
  EXPECT_EQ(pc.params[2].iw_flag, 1);
  EXPECT_EQ(pc.params[2].iw_name, "k2");
}

TEST_F(ControlFile, PriorInformationTermsWithSignsAndLogs) {
  ASSERT_EQ(read_case(), 0);
  const prior_rec& pr = pc.priors[1];
  EXPECT_EQ(pr.pilbl, "pi1");
  ASSERT_EQ(pr.n_terms, 2);
  EXPECT_EQ(pr.pifac[1], 1.0);
  EXPECT_EQ(pr.term_name[1], "k2");
  EXPECT_EQ(pr.pifac[2], -2.5);  // "- 2.5 * log(k1)"
  EXPECT_EQ(pr.term_name[2], "k1");
  EXPECT_EQ(pr.pival, 0.3);
  EXPECT_EQ(pr.weight, 2.0);
  EXPECT_EQ(pr.obgnme, "flow");
}

TEST_F(ControlFile, AnEquationOfTwelveTermsKeepsEveryName) {
  std::string twelve = "pi1 1.0 * k1";
  for (int j = 2; j <= 12; ++j) twelve += (j % 2 ? " - " : " + ") + std::to_string(j) + " * k2";
  ASSERT_EQ(read_case(testing::sample_with("pi1 1.0 * k2 - 2.5 * log(k1)", twelve)), 0);
  const prior_rec& pr = pc.priors[1];
  ASSERT_EQ(pr.n_terms, 12);
  EXPECT_EQ(pr.pifac[11], -11.0);
  EXPECT_EQ(pr.pifac[12], 12.0);
  EXPECT_EQ(pr.term_name[12], "k2");
}

TEST_F(ControlFile, KeyListIsTheModelsReplacementList) {
  ASSERT_EQ(read_case(), 0);
  EXPECT_EQ(testing::read_file("nivra.in"),
            "4\n[k1] \"%16.8lf\"\n[k2] \"%16.8lf\"\n[n1] \"%16.8lf\"\n[n2] \"%16.8lf\"\n");
  // The model's own reader takes it: four keys of real values.
  ASSERT_EQ(read_replace_param_file("nivra.in"), 0);
  ASSERT_EQ(process.replace_list.size(), 4u);
  EXPECT_EQ(process.replace_list[3].key.view(), "[n2]");
  EXPECT_EQ(process.replace_list[3].value_type, 1);
}

TEST_F(ControlFile, FileEndingBeforeRegularisation) {
  auto cut = [](const std::string& text) { return text.substr(0, text.find("* regularisation")); };
  ASSERT_EQ(read_case(cut(testing::sample_control)), 0);  // estimation: the values stay 0
  EXPECT_EQ(pc.wfinit, 0.0);
  CaptureStdout();
  const int code =
      read_case(cut(testing::sample_with("restart estimation", "restart regularisation")));
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(code, toolbox_msg::control_incomplete);
  EXPECT_NE(out.find("ends before its regularisation"), std::string::npos) << out;
}

struct bad_case {
  const char* what;
  const char* from;   // the sample with from replaced by to,
  const char* to;
  const char* cut;    // and cut before this text when given
  int code;
  const char* message;
};

TEST_F(ControlFile, BadInputStopsWithANumberedMessage) {
  const bad_case cases[] = {
      {"log lower bound 0", "k1 log factor 2.0 0.1", "k1 log factor 2.0 0.0", nullptr,
       toolbox_msg::log_not_positive,
       "\nThe log transformed parameter k1 has an input value less than zero!\nProgram "
       "terminating.\n"},
      {"no * after a factor", "pi1 1.0 * k2", "pi1 1.0 k2 *", nullptr, toolbox_msg::prior_format,
       "Error reading prior information\n  (File: basin.pst, line 42)\n"},
      {"prior term of no parameter", "* log(k1)", "* log(k9)", nullptr, toolbox_msg::control_value,
       "line 42: the prior term k9 is no parameter."},
      {"lambda factor not a number", "5.0 2.0 0.3", "5.0 two 0.3", nullptr, toolbox_msg::control_value,
       "basin.pst, line 7: rlamfac takes a number above 0.\n"},
      {"negative lambda", "5.0 2.0 0.3", "-5.0 2.0 0.3", nullptr, toolbox_msg::control_value,
       "rlambda1 takes a number of at least 0."},
      {"count not whole", "4 5 2 1 2", "4 5.5 2 1 2", nullptr, toolbox_msg::control_value,
       "line 4: nobs takes a whole number of at least 1."},
      {"method 2", "1 1 0.5 2 0.05", "2 1 0.5 2 0.05", nullptr, toolbox_msg::control_value,
       "the search method takes a whole number from 0 to 1"},
      {"value outside bounds", "k2 none relative 0.5", "k2 none relative 1.5", nullptr,
       toolbox_msg::control_value, "line 23: k2 lies outside its bounds."},
      {"infinite value", "q2 2.5", "q2 inf", nullptr, toolbox_msg::control_value,
       "q2: obsval takes a number."},
      {"negative weight", "q2 2.5 1.0", "q2 2.5 -1.0", nullptr, toolbox_msg::control_value,
       "q2: weight takes a number of at least 0."},
      {"observation in no group", "q3 3.5 2.0 flow", "q3 3.5 2.0 flood", nullptr,
       toolbox_msg::control_value, "q3 is in no observation group"},
      {"tie of another parameter", "n2 k2\n", "n1 k2\n", nullptr, toolbox_msg::control_value,
       "the tie of n2 names n1"},
      {"file ends in the observations", "", "", "q3", toolbox_msg::control_incomplete,
       "Error: the toolbox control file basin.pst ends before its observation data.\n"},
  };
  for (const bad_case& c : cases) {
    std::string text = testing::sample_with(c.from, c.to);
    if (c.cut) text = text.substr(0, text.find(c.cut));
    CaptureStdout();
    const int code = read_case(text);
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(code, c.code) << c.what;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.what << ": " << out;
  }
}

TEST_F(ControlFile, OverlongWordIsRefusedNotCut) {
  const std::string name(100, 'k');
  CaptureStdout();
  const int code = read_case(testing::sample_with("n1 fixed", name + " fixed"));
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(code, toolbox_msg::item_too_long);
  EXPECT_NE(out.find("basin.pst, line 24: an item longer than 99 characters begins \"kkkk"),
            std::string::npos)
      << out;
  // 99 characters fit.
  const std::string fits(99, 'k');
  EXPECT_EQ(read_case(testing::sample_with("n1 fixed", fits + " fixed")), 0);
  EXPECT_EQ(pc.params[3].parnme, fits);
}

TEST_F(ControlFile, MissingFileAndBadTies) {
  CaptureStdout();
  EXPECT_EQ(read_control_file(pc, "nothing"), toolbox_msg::open_control);
  EXPECT_EQ(GetCapturedStdout(), "\nCannot open nothing.pst \n");
  EXPECT_EQ(testing::read_file("nivra.in"), "");  // the key list is made, and stays empty

  ASSERT_EQ(read_case(testing::sample_with("n2 k2\n", "n2 kx\n")), 0);
  slm_count_params(pc);
  CaptureStdout();
  EXPECT_EQ(slm_tied_setup(pc), toolbox_msg::tied_parent_missing);
  EXPECT_NE(GetCapturedStdout().find("the tied parameter n2 names the parent kx"),
            std::string::npos);

  ASSERT_EQ(read_case(testing::sample_with("k2 none relative 0.5", "k2 none relative 0.0")), 0);
  slm_count_params(pc);
  CaptureStdout();
  EXPECT_EQ(slm_tied_setup(pc), toolbox_msg::tied_parent_zero);
  GetCapturedStdout();
}

}  // namespace
}  // namespace nivra
