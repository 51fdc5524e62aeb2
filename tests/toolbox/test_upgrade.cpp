// The linear algebra of a Levenberg-Marquardt iteration (Marquardt step,
// bounded move, secant update, parameters without effect), the finite
// difference perturbations and the sensitivity file, on small systems
// worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "toolbox/search_fixture.h"
#include "toolbox/toolbox_jacobian.h"
#include "toolbox/toolbox_model.h"
#include "toolbox/toolbox_templates.h"
#include "toolbox/toolbox_upgrade.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// A control record built in place: adjustable parameters with their
// values, observations with their values, weights and current outputs.
pest_control small_record(const std::vector<double>& values, const std::vector<double>& obsval,
                          const std::vector<double>& outputs, double weight = 1.0) {
  pest_control pc;
  pc.pestmode = "estimation";
  pc.npar = static_cast<int>(values.size());
  pc.nobs = static_cast<int>(obsval.size());
  pc.nobsgp = 1;
  pc.params.assign(1, param_rec{});
  for (std::size_t j = 0; j < values.size(); ++j) {
    param_rec p;
    p.parnme = "p" + std::to_string(j + 1);
    p.partrans = "none";
    p.parval1 = p.prev_value = values[j];
    p.parlbnd = -100.0;
    p.parubnd = 100.0;
    p.pargp = "g";
    pc.params.push_back(p);
  }
  pc.obs_groups.assign(1, obs_group{});
  pc.obs_groups.push_back({"obs", 0.0});
  pc.observations.assign(1, obs_rec{});
  for (std::size_t i = 0; i < obsval.size(); ++i) {
    obs_rec o;
    o.obsnme = "o" + std::to_string(i + 1);
    o.obsval = obsval[i];
    o.weight = weight;
    o.obgnme = "obs";
    o.model_value[0] = outputs[i];
    pc.observations.push_back(o);
  }
  pc.priors.assign(1, prior_rec{});
  slm_count_params(pc);
  return pc;
}

// The straight line b1 + b2 x through x = 0, 1, 2 with data y = 1 + 2x,
// seen from b = (0, 0): J = [1 x], r = y.
struct line_case {
  pest_control pc = small_record({0.0, 0.0}, {1.0, 3.0, 5.0}, {0.0, 0.0, 0.0});
  lm_system s;
  line_case() {
    build_lm_system(pc, s);
    for (int i = 1; i <= 3; ++i) {
      s.jacobian[i][1] = 1.0;
      s.jacobian[i][2] = i - 1.0;
    }
  }
};

TEST(MarquardtUpgrade, LambdaZeroIsTheGaussNewtonStepAndItsLengthIsOptimal) {
  line_case c;
  c.pc.rlambda1 = 0.0;
  const std::vector<int> all = {1, 2};
  array1d<double> u;
  ASSERT_EQ(slm_lm_upgrade(c.pc, c.s, all, u), numeric_status::ok);
  // The least-squares line is y = 1 + 2x: one step reaches it.
  EXPECT_NEAR(u[1], 1.0, 1e-12);
  EXPECT_NEAR(u[2], 2.0, 1e-12);
  slm_scale_upgrade(c.pc, c.s, all, u);  // beta = 1
  EXPECT_NEAR(u[1], 1.0, 1e-12);
  EXPECT_NEAR(u[2], 2.0, 1e-12);

  // A large lambda turns the step toward the scaled steepest descent; its
  // length is then the optimum along it: the residual left is orthogonal
  // to the step's change of the outputs, and beta came out above 1.
  c.pc.rlambda1 = 10.0;
  ASSERT_EQ(slm_lm_upgrade(c.pc, c.s, all, u), numeric_status::ok);
  const double before = std::hypot(u[1], u[2]);
  slm_scale_upgrade(c.pc, c.s, all, u);
  EXPECT_GT(std::hypot(u[1], u[2]), before);
  double dot = 0.0;
  for (int i = 1; i <= 3; ++i) {
    const double v = u[1] + (i - 1.0) * u[2];
    const double r = c.pc.observations[i].obsval - v;
    dot += r * v;
  }
  EXPECT_NEAR(dot, 0.0, 1e-12);
}

TEST(BoundedUpgrade, AParameterCrossingABoundStopsOnIt) {
  line_case c;
  c.pc.params[1].parubnd = 0.5;
  array1d<double> u(2);
  u[1] = 1.0;
  u[2] = 0.25;
  ASSERT_EQ(slm_apply_upgrade(c.pc, c.s, u, nullptr), 0);
  EXPECT_EQ(c.pc.params[1].parval1, 0.5);
  EXPECT_EQ(c.pc.params[1].at_upper, 1);
  EXPECT_EQ(c.pc.params[1].frozen, 0);
  EXPECT_EQ(u[1], 0.5);  // the step shrank by the overshoot
  EXPECT_EQ(c.pc.params[2].parval1, 0.25);
  EXPECT_EQ(u[2], 0.25);
}

TEST(BoundedUpgrade, AParameterPushedOutOfItsBoundIsFrozenAndTheOthersSolvedAgain) {
  // b1 sits on its upper bound 0 and the data want it higher, by the
  // Marquardt step and by the steepest descent alike: it is frozen, and
  // b2 alone fits the line through b1 = 0: b2 = sum x y / sum x^2 = 13/5.
  line_case c;
  c.pc.rlambda1 = 0.0;
  c.pc.params[1].parubnd = 0.0;
  c.pc.params[1].at_upper = 1;
  const std::vector<int> all = {1, 2};
  array1d<double> u;
  ASSERT_EQ(slm_lm_upgrade(c.pc, c.s, all, u), numeric_status::ok);
  slm_scale_upgrade(c.pc, c.s, all, u);
  CaptureStdout();
  ASSERT_EQ(slm_apply_upgrade(c.pc, c.s, u, nullptr), 0);
  EXPECT_EQ(GetCapturedStdout(),
            "      parameter \"p1\" frozen: gradient and update vectors out of bounds\n");
  EXPECT_EQ(c.pc.params[1].frozen, 1);
  EXPECT_EQ(c.pc.n_frozen, 1);
  EXPECT_EQ(c.pc.params[1].parval1, 0.0);
  EXPECT_EQ(u[1], 0.0);
  EXPECT_NEAR(c.pc.params[2].parval1, 13.0 / 5.0, 1e-12);
  EXPECT_NEAR(u[2], 13.0 / 5.0, 1e-12);
}

TEST(BroydenUpdate, TheUpdatedJacobianMapsTheStepOntoTheChangeOfTheOutputs) {
  pest_control pc = small_record({1.0, 2.0}, {0.0, 0.0, 0.0}, {1.0, 2.0, 3.0});
  // One prior equation p1 + 2 p2 = 3.
  pc.nprior = 1;
  prior_rec pr;
  pr.n_terms = 2;
  pr.pifac = {0.0, 1.0, 2.0};
  pr.term_name = {"", "p1", "p2"};
  pr.pival = 3.0;
  pr.weight = 1.0;
  pr.obgnme = "obs";
  pc.priors.push_back(pr);
  lm_system s;
  build_lm_system(pc, s);
  const double j0[3][2] = {{0.5, -1.0}, {2.0, 0.25}, {-3.0, 1.5}};
  for (int i = 1; i <= 3; ++i)
    for (int k = 1; k <= 2; ++k) s.jacobian[i][k] = j0[i - 1][k - 1];
  pc.params[1].parval1 = 1.5;  // s = (0.5, -1)
  pc.params[2].parval1 = 1.0;
  const double outputs[3] = {1.2, 1.7, 3.5};
  for (int i = 1; i <= 3; ++i) pc.observations[i].model_value[1] = outputs[i - 1];

  ASSERT_TRUE(slm_broyden_update(pc, s));
  for (int i = 1; i <= 3; ++i)
    EXPECT_NEAR(s.jacobian[i][1] * 0.5 - s.jacobian[i][2], outputs[i - 1] - i, 1e-12) << i;
  // The prior row stays the prior factors.
  EXPECT_NEAR(s.jacobian[4][1], 1.0, 1e-15);
  EXPECT_NEAR(s.jacobian[4][2], 2.0, 1e-15);

  // A step of (almost) nothing leaves the Jacobian alone.
  for (int k = 1; k <= 2; ++k) pc.params[k].prev_value = pc.params[k].parval1 + 1e-16;
  const double kept = s.jacobian[2][1];
  EXPECT_FALSE(slm_broyden_update(pc, s));
  EXPECT_EQ(s.jacobian[2][1], kept);
}

TEST(NoEffect, ZeroColumnsAndParametersNoWeightedRowSeesAreReported) {
  pest_control pc = small_record({1.0, 2.0, 3.0}, {0.0, 0.0}, {0.0, 0.0});
  pc.observations[2].weight = 0.0;
  lm_system s;
  build_lm_system(pc, s);
  s.jacobian[1][1] = 3.0;  // seen by observation 1
  s.jacobian[2][1] = 4.0;
  s.jacobian[2][3] = 5.0;  // only on the observation of weight 0
  CaptureStdout();
  slm_check_no_effect(pc, s, nullptr);
  EXPECT_EQ(GetCapturedStdout(),
            "   Parameter \"p2\" has no effect on observations.\n"
            "   Parameter \"p3\" has no effect on observations.\n");
  EXPECT_DOUBLE_EQ(pc.params[1].sensitivity, 3.0);  // sqrt(3^2) / 1 row
  EXPECT_EQ(pc.params[1].no_effect, 0);
  EXPECT_EQ(pc.params[2].no_effect + pc.params[3].no_effect, 2);
  EXPECT_EQ(pc.n_no_effect, 2);

  // With every weight 0 no row counts: each parameter has no effect and a
  // sensitivity of 0, not 0/0.
  pc.observations[1].weight = 0.0;
  pc.n_no_effect = 0;
  build_lm_system(pc, s);
  s.jacobian[1][1] = 3.0;
  CaptureStdout();
  slm_check_no_effect(pc, s, nullptr);
  GetCapturedStdout();
  EXPECT_EQ(pc.n_no_effect, 3);
  EXPECT_EQ(pc.params[1].sensitivity, 0.0);
}

struct perturbation_case {
  const char* what;
  double value, lower, upper;
  int at_upper, at_lower;
  bool log;
  double increment;
  perturbation::kind kind;
  double x1, x2;
};

TEST(Perturbation, ForwardBackwardCentralAndTheirFallbacksNearBounds) {
  using k = perturbation::kind;
  const double tiny = std::log10(1e-12);
  const perturbation_case cases[] = {
      {"central", 2.0, 0.0, 10.0, 0, 0, false, 0.02, k::central, 2.02, 1.98},
      {"on the upper bound: backward", 2.0, 0.0, 2.0, 1, 0, false, 0.02, k::backward, 1.98, 1.96},
      {"on the lower bound: forward", 2.0, 2.0, 10.0, 0, 1, false, 0.02, k::forward, 2.02, 2.04},
      {"upper point beyond the bound", 2.0, 0.0, 2.01, 0, 0, false, 0.02, k::backward, 1.98, 1.96},
      {"lower point beyond the bound", 2.0, 1.99, 10.0, 0, 0, false, 0.02, k::forward, 2.04, 2.02},
      {"a value of 0", 0.0, -1.0, 1.0, 0, 0, false, 0.01, k::central, 0.01, -0.01},
      {"log: steps of the logarithm", 1.0, -5.0, 5.0, 0, 0, true, 0.1, k::central,
       std::log10(10.1), std::log10(9.9)},
      {"log near zero: still 1 % of the value", tiny, -20.0, 5.0, 0, 0, true, 1e-14, k::central,
       tiny + std::log10(1.01), tiny + std::log10(0.99)},
  };
  for (const perturbation_case& c : cases) {
    param_rec p;
    p.partrans = c.log ? "log" : "none";
    p.parval1 = c.value;
    p.parlbnd = c.lower;
    p.parubnd = c.upper;
    p.at_upper = c.at_upper;
    p.at_lower = c.at_lower;
    const perturbation d = perturb_parameter(p, c.increment);
    EXPECT_EQ(d.how, c.kind) << c.what;
    EXPECT_NEAR(d.x1, c.x1, 1e-12) << c.what;
    EXPECT_NEAR(d.x2, c.x2, 1e-12) << c.what;
  }
}

TEST(Perturbation, TheIncrementFollowsTheGroup) {
  pest_control pc = small_record({2.0, -8.0, 0.0}, {0.0}, {0.0});
  pc.npargp = 1;
  pc.param_groups.assign(2, param_group{});
  param_group& g = pc.param_groups[1];
  g.pargpnme = "g";
  g.derinc = 0.01;
  struct {
    const char* inctyp;
    double derinclb;
    int param;
    double increment;
  } cases[] = {
      {"relative", 0.0, 1, 0.02},      {"relative", 0.5, 1, 0.5},   // DERINCLB is a floor
      {"relative", 0.0, 3, 0.01},      {"absolute", 0.0, 1, 0.01},  // a value of 0: DERINC
      {"rel_to_max", 0.0, 1, 0.08},  // 1 % of the group's largest value, 8
  };
  for (const auto& c : cases) {
    g.inctyp = c.inctyp;
    g.derinclb = c.derinclb;
    EXPECT_NEAR(derivative_increment(pc, c.param), c.increment, 1e-15) << c.inctyp;
  }
  // A "log" parameter: DERINC of its value.
  pc.params[1].partrans = "log";
  pc.params[1].parval1 = std::log10(50.0);
  g.inctyp = "absolute";
  EXPECT_NEAR(derivative_increment(pc, 1), 0.5, 1e-12);
}

TEST(CyclicColumns, TheSecantMethodRecomputesTheNextColumnsInTurn) {
  pest_control pc = small_record({1, 2, 3, 4, 5, 6}, {0.0}, {0.0});
  pc.params[4].partrans = "fixed";  // five adjustable: 1, 2, 3, 5, 6
  slm_count_params(pc);
  pc.slm_method = 1;
  pc.cyclic_columns = 3;
  int position = 0;
  EXPECT_EQ(jacobian_parameters(pc, 1, position), (std::vector<int>{1, 2, 3, 5, 6}));
  EXPECT_EQ(jacobian_parameters(pc, 2, position), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(jacobian_parameters(pc, 3, position), (std::vector<int>{5, 6, 1}));
  EXPECT_EQ(jacobian_parameters(pc, 4, position), (std::vector<int>{2, 3, 5}));
  // A full update when phi fell by less than the ratio asks for.
  pc.full_update = 1;
  pc.full_update_ratio = 0.5;
  pc.phi_ratio = 0.8;
  EXPECT_EQ(jacobian_parameters(pc, 5, position).size(), 5u);
  pc.cyclic_columns = 0;
  pc.phi_ratio = 0.2;
  EXPECT_TRUE(jacobian_parameters(pc, 5, position).empty());
}

// The Jacobian of y = b1^2 x + b2 x at b = (1.5, 0.5), x = 1, 2, 3, by
// model runs through the control, value and instruction files.
class JacobianRuns : public testing::process_test {
 protected:
  // The first column for the derivative words given, b1 on its lower
  // bound or not.
  std::vector<double> first_column(const std::string& forcen, const std::string& dermthd,
                                   bool on_lower, bool three_point = false) {
    testing::search_settings s;
    s.forcen = forcen;
    s.dermthd = dermthd;
    std::vector<testing::search_param> params = {{"b1", 1.5, on_lower ? 1.5 : 0.0, 10.0},
                                                 {"b2", 0.5}};
    testing::write_file("case.pst", testing::search_control(params, {0.0, 0.0, 0.0}, s));
    testing::write_file("case.ins", testing::search_instructions(3));
    pest_control pc;
    toolbox_streams streams;
    EXPECT_EQ(read_control_file(pc, "case"), 0);
    EXPECT_EQ(open_instruction_files(pc, streams), 0);
    slm_count_params(pc);
    lm_system sys;
    build_lm_system(pc, sys);
    pc.params[1].at_lower = on_lower ? 1 : 0;
    testing::analytic_model model(
        [](const std::vector<double>& b, double x) { return b[0] * b[0] * x + b[1] * x; },
        {1.0, 2.0, 3.0});
    toolbox_runner runner(pc, streams, model);
    bool ok = false;
    EXPECT_EQ(runner.run_current(0, ok), 0);
    int position = 0;
    CaptureStdout();
    EXPECT_EQ(slm_jacobian(pc, sys, runner, three_point, 1, position), 0);
    GetCapturedStdout();
    const bool three = forcen == "always_3" || (forcen == "switch" && three_point);
    EXPECT_EQ(runner.calls, 1 + (three ? 4 : 2));
    std::vector<double> column;
    for (int i = 1; i <= 3; ++i) column.push_back(sys.jacobian[i][1]);
    EXPECT_NEAR(sys.jacobian[2][2], 2.0, 1e-9);  // b2 is linear: exact
    return column;
  }
};

TEST_F(JacobianRuns, DifferencesAgreeWithTheHandCalculation) {
  // dy/db1 = 2 b1 x = 3x; steps h = 0.015 (1 % of 1.5).
  struct {
    const char* forcen;
    const char* dermthd;
    bool on_lower;
    double slope;  // per unit x
  } cases[] = {
      {"always_2", "parabolic", false, 3.015},  // forward (2 b1 + h)
      {"always_3", "outside_pts", false, 3.0},  // central, exact for a parabola
      {"always_3", "parabolic", false, 3.0},
      {"always_3", "outside_pts", true, 3.045},  // forward pair: slope at b1 + 1.5h
      {"always_3", "parabolic", true, 3.0},      // the parabola is exact from any pair
  };
  for (const auto& c : cases) {
    const std::vector<double> column = first_column(c.forcen, c.dermthd, c.on_lower);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(column[static_cast<std::size_t>(i)], c.slope * (i + 1), 1e-9)
          << c.forcen << " " << c.dermthd << (c.on_lower ? " on the lower bound" : "");
  }
  // "switch" takes two points until the search switches to three.
  EXPECT_NEAR(first_column("switch", "outside_pts", false, false)[0], 3.015, 1e-9);
  EXPECT_NEAR(first_column("switch", "outside_pts", false, true)[0], 3.0, 1e-9);
}

TEST(SensitivityFile, IterationBlocksAndTheTablesAtCompletion) {
  // Two parameters, observations in two groups (the second all of weight
  // 0); weights 1 and 2 on group "obs".
  pest_control pc = small_record({1.0, 2.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0});
  pc.observations[2].weight = 2.0;
  pc.observations[3].weight = 0.0;
  pc.observations[3].obgnme = "spare";
  pc.obs_groups.push_back({"spare", 0.0});
  pc.nobsgp = 2;
  lm_system s;
  build_lm_system(pc, s);
  // Column 1: (3, 2, 9): sqrt(3^2 + (2 x 2)^2) / 2 = 2.5; column 2: (0, 3, 1): 6 / 2 = 3.
  const double j[3][2] = {{3.0, 0.0}, {2.0, 3.0}, {9.0, 1.0}};
  for (int i = 1; i <= 3; ++i)
    for (int k = 1; k <= 2; ++k) s.jacobian[i][k] = j[i - 1][k - 1];
  CaptureStdout();
  slm_check_no_effect(pc, s, nullptr);
  GetCapturedStdout();
  toolbox_file_names names = files_names_for_write("basin.pst");
  testing::temp_dir dir;
  std::FILE* sen = std::fopen(dir.file("basin.sen").c_str(), "w");
  slm_write_sensitivities(pc, s, s.jacobian, names, 1, sen, false);
  slm_write_sensitivities(pc, s, s.jacobian, names, 2, sen, false);
  slm_write_sensitivities(pc, s, s.jacobian, names, 2, sen, true);
  std::fclose(sen);
  const std::string header = " Parameter name    Group          Current value    Sensitivity       \n";
  const std::string lines = "p1\tg\t1\t2.5\np2\tg\t2\t3\n";
  EXPECT_EQ(testing::read_file(dir.file("basin.sen")),
            "                        PARAMETER SENSITIVITIES: CASE basin\n\n\n"
            " OPTIMISATION ITERATION NO.\t1 ----->\n" + header + lines + "\n\n" +
            " OPTIMISATION ITERATION NO.\t2 ----->\n" + header + lines + "\n\n" +
            "\n                        COMPLETION OF OPTIMISATION PROCESS\n\n"
            " Composite sensitivities for observation group \"obs\" ----->\n\n"
            " Number of observations with non-zero weight =\t2\n" + header + lines + "\n\n" +
            " Composite sensitivities for observation group \"spare\" ----->\n\n"
            "\n No observations/prior_info with non-zero weight belong to this group.\n\n"
            " Composite sensitivities for all observations/prior info ----->\n\n"
            " Number of observations with non-zero weight =\t2\n" + header + lines);
  EXPECT_EQ(pc.params[2].sensitivity, 3.0);  // the value over all rows stays
}

}  // namespace
}  // namespace nivra
