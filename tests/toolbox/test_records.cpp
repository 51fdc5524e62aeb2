#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "toolbox/toolbox_fixture.h"
#include "toolbox/toolbox_records.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// Everything a routine writes to a stream, as text.
template <class F>
std::string written(F&& write) {
  std::FILE* f = std::tmpfile();
  write(f);
  std::string text;
  std::rewind(f);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text;
}

class Records : public testing::toolbox_test {
 protected:
  void SetUp() override {
    testing::toolbox_test::SetUp();
    ASSERT_EQ(read_case(), 0);
    slm_count_params(pc);
    // Slot 0: residuals x weight of 0.5, -0.5, 1 (flow) and -1, 0 (peak).
    const double slot0[] = {1.0, 3.0, 3.0, 12.0, 4.0};
    for (int i = 1; i <= 5; ++i) {
      pc.observations[i].model_value[0] = slot0[i - 1];
      pc.observations[i].model_value[1] = pc.observations[i].obsval;  // a perfect fit
    }
  }
};

TEST_F(Records, CaseFileNames) {
  struct row {
    const char* case_name;
    const char* base;
  } rows[] = {{"model.pst", "model"}, {"model", "model"}, {"model.a.b", "model"},
              {"runs/v1.2/model.pst", "runs/v1.2/model"}};
  for (const row& r : rows) {
    const toolbox_file_names n = files_names_for_write(r.case_name);
    const std::string b = r.base;
    EXPECT_EQ(n.base, b);
    EXPECT_EQ(n.rec, b + ".rec");
    EXPECT_EQ(n.sen, b + ".sen");
    EXPECT_EQ(n.mtt, b + ".mtt");
    EXPECT_EQ(n.par, b + ".par");
    EXPECT_EQ(n.rst, b + ".rst");
  }
}

TEST_F(Records, PhiByObservationGroup) {
  pc.obs_groups.push_back({"empty", 7.0});  // a group without observations
  pc.nobsgp = 3;
  double total = 0.0;
  slm_phi_by_group(pc, 0, total);
  EXPECT_DOUBLE_EQ(pc.obs_groups[1].phi, 0.25 + 0.25 + 1.0);
  EXPECT_DOUBLE_EQ(pc.obs_groups[2].phi, 1.0);
  EXPECT_EQ(pc.obs_groups[3].phi, 0.0);
  EXPECT_DOUBLE_EQ(total, 2.5);
  slm_phi_by_group(pc, 1, total);
  EXPECT_EQ(total, 0.0);
  slm_phi_by_group(pc, 0, total);
  slm_phi_by_group(pc, 2, total);  // no slot of phi: nothing added
  EXPECT_EQ(pc.obs_groups[1].phi, 0.0);
  EXPECT_EQ(total, 0.0);

  // The prior equation 1.0 k2 - 2.5 log(k1) = 0.3 with weight 2, group flow:
  // columns k1, k2 of the prior matrix.
  array2d<double> prior(1, 2);
  prior[1][1] = -2.5;
  prior[1][2] = 1.0;
  slm_phi_by_group(pc, 0, total);
  double prior_phi = 0.0;
  ASSERT_EQ(slm_param_vector(pc, prior, prior_phi), 0);
  const double c = -2.5 * std::log10(2.0) + 0.5;
  const double expected = std::pow((0.3 - c) * 2.0, 2);
  EXPECT_NEAR(prior_phi, expected, 1e-14);
  EXPECT_NEAR(pc.obs_groups[1].phi, 1.5 + expected, 1e-14);
  EXPECT_DOUBLE_EQ(pc.obs_groups[2].phi, 1.0);
}

TEST_F(Records, StudentT) {
  struct row {
    int d;
    double t;
  } rows[] = {{1, 12.706},  {2, 4.303},  {10, 2.228},        {30, 2.042},  {35, 2.0315},
              {40, 2.021},  {50, 2.0105}, {120, 1.980},      {1000, 1.980 - 880 * 0.02 / 9999879},
              {9999999, 1.960}, {20000000, 1.960}};
  for (const row& r : rows) {
    double t = 0.0;
    ASSERT_TRUE(t_value_975(r.d, t)) << r.d;
    EXPECT_NEAR(t, r.t, 1e-12) << r.d;
  }
  double t = -1.0;
  EXPECT_FALSE(t_value_975(0, t));
  EXPECT_EQ(t, -1.0);
}

TEST_F(Records, RecordHeaderLayout) {
  const std::string text = written([&](std::FILE* f) { slm_record_header("basin", pc, f); });
  EXPECT_EQ(text,
            "\n                            RECORD FILE \n\n"
            "\nINPUT INFORMATION \n\n"
            "\nINPUT CONTROL FILE \n\n"
            "Input control file case name: basin\n\n"
            "\nALGORITHM \n\n"
            "The SLM method is employed for this case."
            "\n\nThe number of columns used for cyclic updating with the SLM method for this case "
            "is: 2."
            "\n\nFull updating of the model sensitivity matrix was activated with the SLM method "
            "for this case."
            "\n\nThe threshold value (i.e., the ratio of the current to the previous objective "
            "function value) specified to activate a full update with the SLM method for this "
            "case is 0.500000."
            "\n\n\nCONTROL DATA INPUT"
            "\n\nThe number of parameters specified in the input control file is:\t\t\t\t4"
            "\nThe number of adjustable model parameters specified in the input control file "
            "is:\t\t2"
            "\nThe number of fixed model parameters specified in the input control file "
            "is:\t\t\t1"
            "\nThe number of tied model parameters specified in the input control file is:\t\t\t1"
            "\nThe number of observations specified in the input control file is:\t\t\t\t5"
            "\nThe number of pieces of prior information specified in the input control file "
            "is:\t\t1"
            "\nThe number of parameter groups specified in the input control file is:\t\t\t\t2"
            "\nThe number of observation groups specified in the input control file is:\t\t\t2"
            "\n\n\n");
  pc.slm_method = 0;
  const std::string lm = written([&](std::FILE* f) { slm_record_header("basin", pc, f); });
  EXPECT_NE(lm.find("\nALGORITHM \n\nThe LM method is employed for this case.\n\n\nCONTROL"),
            std::string::npos);
}

TEST_F(Records, IterationBlocksByMode) {
  double total = 0.0;
  slm_phi_by_group(pc, 0, total);
  const std::string estimation =
      "\nOPTIMIZATION ITERATION NO.\t\t\t\t: 3\n"
      "Model Calls so far\t\t\t\t\t: 17\n"
      "Starting objective function value for this iteration\t: 2.500000E+00\n"
      "Contribution to phi from observation group 'flow'\t= 1.500000E+00\n"
      "Contribution to phi from observation group 'peak'\t= 1.000000E+00\n"
      "\n";
  EXPECT_EQ(written([&](std::FILE* f) { slm_record_iteration(pc, f, 3, 17, 2.5, 2.0, 0.5); }),
            estimation);
  CaptureStdout();
  slm_print_iteration(pc, 3, 17, 2.5, 2.0, 0.5);
  EXPECT_EQ(GetCapturedStdout(), estimation);

  pc.pestmode = "regularization";
  pc.reg_weight = 4.0;
  const std::string reg =
      written([&](std::FILE* f) { slm_record_iteration(pc, f, 3, 17, 2.5, 2.0, 0.5); });
  EXPECT_NE(reg.find("Model Calls so far\t\t\t\t\t: 17\n"
                     "Current regularization weight factor                      =  4.000000E+00\n"
                     "Current value of measurement objective function           =  2.000000E+00\n"
                     "Current value of regularisation objective function        =  5.000000E-01\n"
                     "\nStarting objective function value"),
            std::string::npos)
      << reg;
  pc.pestmode = "prediction";
  EXPECT_EQ(written([&](std::FILE* f) { slm_record_iteration(pc, f, 3, 17, 2.5, 2.0, 0.5); }), "");
}

TEST_F(Records, RunRecordAndInitialBlock) {
  double total = 0.0;
  slm_phi_by_group(pc, 0, total);
  CaptureStdout();
  slm_print_run_record(2.5, 0.0, total, pc, files_names_for_write("basin.pst"));
  EXPECT_EQ(GetCapturedStdout(),
            "\nRun record: case basin\n\nModel command line:\n"
            "pre NIVRA batch file : pre.bat\npost NIVRA batch file : post.bat\n\n"
            "Running model ...\n\n"
            "Sum of squared weighted residuals = 2.500000E+00\n"
            "Contribution to phi from observation group 'flow' = 1.500000E+00\n"
            "Contribution to phi from observation group 'peak' = 1.000000E+00\n\n");

  std::string par;
  const std::string rec = written([&](std::FILE* f) {
    par = written([&](std::FILE* p) { slm_record_initial(f, p, 2.5, 0.0, total, pc); });
  });
  EXPECT_EQ(rec,
            "                            OPTIMIZATION RECORD\n\n"
            "INITIAL CONDITIONS:\n"
            "   Sum of squared weighted residuals = 2.500000E+00\n"
            "   Contribution to phi from observation group 'flow' = 1.500000E+00\n"
            "   Contribution to phi from observation group 'peak' = 1.000000E+00\n"
            "\n"
            "      Current parameter values\n"
            "      k1               2\n"
            "      k2               0.5\n"
            "      n1               0.035\n"
            "      n2               0.07\n");
  EXPECT_EQ(par, "2\n0.5\n0.035\n0.07\n");
}

// A case of two adjustable parameters (b given as a logarithm) and twelve
// observations: ten degrees of freedom, t = 2.228.
class Results : public testing::process_test {
 protected:
  void SetUp() override {
    testing::process_test::SetUp();
    pc.npar = 2;
    pc.params.resize(3);
    pc.params[1].parnme = "a";
    pc.params[1].partrans = "none";
    pc.params[1].parval1 = 1.5;
    pc.params[1].parubnd = 10.0;
    pc.params[2].parnme = "b";
    pc.params[2].partrans = "log";
    pc.params[2].parval1 = 2.0;
    pc.params[2].parubnd = 5.0;
    pc.nobsgp = 1;
    pc.obs_groups = {{}, {"g", 0.75}};
    set_observations(12);
    pc.noptmax = 5;
    slm_count_params(pc);
    covariance.alloc(2, 2);
    covariance[1][1] = 0.04;
    covariance[2][2] = 0.01;
    covariance[1][2] = covariance[2][1] = 0.00005;
    correlation.alloc(2, 2);
    correlation[1][1] = correlation[2][2] = 1.0;
    correlation[1][2] = correlation[2][1] = 0.0025;
    vectors.alloc(2, 2);
    vectors[1][1] = vectors[2][2] = 1.0;
    values.alloc(2);
    values[1] = 0.04;
    values[2] = 0.01;
  }
  void set_observations(int n) {
    pc.nobs = n;
    pc.observations.assign(n + 1, obs_rec{});
    for (int i = 1; i <= n; ++i) {
      pc.observations[i].obsnme = "o" + std::to_string(i);
      pc.observations[i].obsval = i;
      pc.observations[i].weight = 1.0;
      pc.observations[i].obgnme = "g";
      pc.observations[i].model_value[0] = i + 0.25;
    }
  }
  std::string results(int singular = 0) {
    return written([&](std::FILE* f) {
      slm_record_results(f, 0.75, covariance, correlation, vectors, values, pc, singular, prior);
    });
  }
  pest_control pc;
  array2d<double> covariance, correlation, vectors, prior;
  array1d<double> values;
};

std::string line(const char* format, const char* name, double v, double lo, double hi) {
  char buf[256];
  std::snprintf(buf, sizeof buf, format, name, v, lo, hi);
  return buf;
}

TEST_F(Results, ConfidenceLimitsUseStudentT) {
  const std::string text = results();
  const char* format = "%-16s %-17.8g %-17.8g %.8g\n";
  const double ha = 2.228 * 0.2, hb = 2.228 * 0.1;
  EXPECT_NE(text.find(line(format, "a", 1.5, 1.5 - ha, 1.5 + ha)), std::string::npos) << text;
  EXPECT_NE(text.find(line(format, "b", 100.0, std::pow(10.0, 2 - hb), std::pow(10.0, 2 + hb))),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("o3\t\t3\t3.25\t-0.25\t1\tg\n"), std::string::npos);
  EXPECT_NE(text.find("Sum of squared weighted residuals (ie phi)\t\t: 7.500000E-01\n"
                      "Contribution to phi from observation group 'g'\t= 7.500000E-01\n"),
            std::string::npos);
  // Matrices: names across and down, small numbers in exponent form.
  EXPECT_NE(text.find("Parameter covariance matrix ----->\n\t\ta\tb\na\t0.040000\t5.0000E-05\n"
                      "b\t5.0000E-05\t0.010000\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Eigenvalues ----->\n\n\t0.040000\t0.010000\t"), std::string::npos);
  EXPECT_EQ(text.find("cannot be determined"), std::string::npos);
}

// A parameter held on a bound, or one that no derivative run could move,
// is marked in both tables of estimates; small values keep their digits.
TEST_F(Results, TheTablesMarkAParameterOnABoundOrNotEstimated) {
  param_rec& a = pc.params[1];
  a.parval1 = a.parlbnd = 1.2345678e-6;
  a.parubnd = 1.0;
  pc.params[2].parlbnd = -1.0;
  pc.params[2].parubnd = 3.0;
  pc.params[2].columns_failed = 2;
  covariance[1][1] = 0.0;
  for (int singular : {0, 1}) {
    const std::string text = results(singular);
    EXPECT_NE(text.find(singular ? "a                1.2345678e-06   at its lower bound\n"
                                 : "a                1.2345678e-06     1.2345678e-06     1.2345678e-06   at its "
                                   "lower bound\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("   not estimated: every derivative run failed\n"), std::string::npos) << text;
  }
  // A column made once is an estimate.
  pc.params[2].columns_made = 1;
  EXPECT_EQ(results().find("not estimated"), std::string::npos);
}

TEST_F(Results, WithoutDegreesOfFreedomTheCovarianceCannotBeDetermined) {
  set_observations(2);  // 2 observations, 2 adjustable parameters: d = 0
  const std::string text = results();
  EXPECT_NE(text.find("Covariance matrix and parameter confidence intervals cannot be "
                      "determined:\nNo degrees of freedom"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Parameter        Estimated\n                 value\n"
                      "a                1.5\nb                100\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("covariance matrix ----->"), std::string::npos);
  EXPECT_NE(text.find("Covariance and other statistical matricies cannot be determined:\n"
                      "No degrees of freedom"),
            std::string::npos);
}

TEST_F(Results, SingularOrNoIterationsSaySo) {
  std::string text = results(1);
  EXPECT_NE(text.find("cannot be determined:\nNormal matrix nearly singular; cannot be "
                      "inverted.\n\nAdjustable Parameters"),
            std::string::npos);
  pc.noptmax = 0;
  text = results(0);
  EXPECT_NE(text.find("No optimisation iterations carried out so Jacobian never "
                      "calculated..\n\n"),
            std::string::npos);
  EXPECT_NE(text.find("matricies cannot be determined:\nNo optimisation iterations carried out "
                      "so Jacobian never calculated.\n"),
            std::string::npos);
}

TEST_F(Results, TiedFixedAndPriorBlocks) {
  pc.npar = 4;
  pc.params.resize(5);
  pc.params[3].parnme = "c";
  pc.params[3].partrans = "fixed";
  pc.params[3].parval1 = 0.25;
  pc.params[4].parnme = "d";
  pc.params[4].partrans = "tied";
  pc.params[4].parval1 = 3.0;
  slm_count_params(pc);
  pc.nprior = 1;
  prior_rec pr;
  pr.pilbl = "pa";
  pr.pival = 2.0;
  pr.weight = 1.0;
  pr.obgnme = "g";
  pc.priors = {prior_rec{}, pr};
  prior.alloc(1, 2);
  prior[1][1] = 1.0;  // a + 0.5 b = 1.5 + 1.0 (b as its logarithm)
  prior[1][2] = 0.5;
  const std::string text = results();
  EXPECT_NE(text.find("Tied parameters ----->\n\nd                3\n\n\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Fixed parameters ----->\n\nParameter        Fixed value\n"
                      "c                0.25\n\n\n"),
            std::string::npos);
  EXPECT_NE(text.find("pa\t\t2\t2.5\t-0.5\t1\tg\n"), std::string::npos)
      << text;
}

}  // namespace
}  // namespace nivra
