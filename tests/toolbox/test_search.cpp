// The Levenberg-Marquardt search loop: its lambda schedule and stop rules,
// the noptmax modes, the ends of a search, failed model runs, the stop and
// restart files and the checks of the entry.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "toolbox/nist_data.h"
#include "toolbox/search_fixture.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr double inf = std::numeric_limits<double>::infinity();

TEST(LambdaSchedule, DownFirstThenOnInTheDirectionThatPaysAndBackUpWhenItDoesNot) {
  struct {
    const char* what;
    double lambda, previous;
    std::vector<double> phis;  // trials 1..k; the last is the phi given
    double next, next_previous;
    bool reversal;
  } cases[] = {
      {"after trial 1: down", 1.0, 0.0, {5.0}, 0.5, 1.0, false},
      {"falling on the way down: further down", 0.5, 1.0, {5.0, 4.0}, 0.25, 0.5, false},
      {"rising on the way down: back up past lambda0", 0.5, 1.0, {5.0, 6.0}, 2.0, 0.5, true},
      {"falling on the way up: further up", 2.0, 0.5, {5.0, 6.0, 4.0}, 4.0, 2.0, false},
      {"rising on the way up: further up", 2.0, 0.5, {5.0, 6.0, 7.0}, 4.0, 2.0, false},
      {"a failed trial counts as rising", 0.5, 1.0, {5.0, inf}, 2.0, 0.5, true},
  };
  for (const auto& c : cases) {
    pest_control pc;
    pc.rlamfac = 2.0;
    pc.rlambda1 = c.lambda;
    double previous = c.previous;
    bool reversal = false;
    std::vector<double> phis = {0.0};
    phis.insert(phis.end(), c.phis.begin(), c.phis.end());
    const int k = static_cast<int>(c.phis.size());
    slm_adjust_lambda(1.0, previous, reversal, phis[static_cast<std::size_t>(k)], phis, k, pc);
    EXPECT_EQ(pc.rlambda1, c.next) << c.what;
    EXPECT_EQ(previous, c.next_previous) << c.what;
    EXPECT_EQ(reversal, c.reversal) << c.what;
  }
}

TEST(LambdaStop, TheFourRulesAndTheTrialTheyAccept) {
  struct {
    const char* what;
    std::vector<double> phis;
    bool ends;
    int accepted;
    const char* message;
  } cases[] = {
      {"numlam trials: the lowest", {9.0, 7.0, 8.0, 7.5}, true, 2,
       "No more lambdas: allowed lambdas per iteration =  4\n\n"},
      {"equal lowest: the later", {9.0, 7.0, 8.0, 7.0}, true, 4,
       "No more lambdas: allowed lambdas per iteration =  4\n\n"},
      {"below phiratsuf of the start", {2.5}, true, 1,
       "No more lambdas: phi is less than 0.300000 of starting phi\n\n"},
      {"a second trial rising goes on", {8.0, 9.0}, false, 0, ""},
      {"a third trial rising ends", {8.0, 7.0, 7.5}, true, 2, "No more lambdas: phi rising\n\n"},
      {"falling by less than phiredlam", {8.0, 7.95}, true, 2,
       "No more lambdas: relative phi reduction between lambdas less than 0.010000\n\n"},
      {"falling fast goes on", {8.0, 6.0}, false, 0, ""},
      {"no trial ran well", {inf, inf, inf, inf}, true, 0,
       "No more lambdas: allowed lambdas per iteration =  4\n\n"},
  };
  pest_control pc;
  pc.numlam = 4;
  pc.phiratsuf = 0.3;
  pc.phiredlam = 0.01;
  for (const auto& c : cases) {
    std::vector<double> phis = {0.0};
    phis.insert(phis.end(), c.phis.begin(), c.phis.end());
    int accepted = -1;
    CaptureStdout();
    const bool ends = slm_check_lambda_stop(nullptr, 10.0, static_cast<int>(c.phis.size()), phis, pc,
                                            accepted);
    EXPECT_EQ(GetCapturedStdout(), c.message) << c.what;
    EXPECT_EQ(ends, c.ends) << c.what;
    EXPECT_EQ(accepted, c.accepted) << c.what;
  }
}

TEST(Termination, TheFourRules) {
  pest_control pc;
  pc.phiredstp = 0.01;
  pc.nphistp = 3;
  pc.nphinored = 3;
  pc.relparstp = 0.001;
  pc.nrelpar = 2;
  struct {
    const char* what;
    int iteration, phi_min_iteration, small_changes;
    std::vector<double> history;  // 1..iteration
    double phi_min, phi;
    const char* message;
  } cases[] = {
      {"phi zero", 2, 1, 0, {4.0, 0.0}, 0.0, 0.0,
       "Optimization complete: the objective function equals zero\n"},
      {"three phis within 1 % of the lowest", 4, 3, 0, {9.0, 5.04, 5.001, 5.0}, 5.0, 5.0,
       "Optimization complete: the  3 lowest phi's are within a relative distance\n"
       "                       of each other of 0.010000\n"},
      {"four iterations since the lowest", 5, 1, 0, {9.0, 5.0, 8.0, 7.0, 6.0}, 5.0, 6.0,
       "Optimization complete:   3 optimization iterations have elapsed since lowest\n"
       "                       phi was achieved.\n"},
      {"small parameter changes twice", 3, 2, 2, {9.0, 7.0, 5.0}, 5.0, 5.0,
       "Optimization complete: relative parameter change less than 0.001000\n"
       "                       over 2 successive iterations.\n"},
      {"none", 3, 2, 1, {9.0, 7.0, 5.0}, 5.0, 5.0, nullptr},
  };
  for (const auto& c : cases) {
    std::vector<double> history = {0.0};
    history.insert(history.end(), c.history.begin(), c.history.end());
    int stop = -1;
    CaptureStdout();
    slm_check_termination(nullptr, c.iteration, c.phi_min_iteration, c.small_changes, history,
                          c.phi_min, c.phi, pc, stop, 17);
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(stop, c.message ? 1 : 0) << c.what;
    EXPECT_EQ(out, c.message ? std::string(c.message) + "Total Model Calls:\t17\n" : "") << c.what;
  }
}

class Search : public testing::process_test {
 protected:
  // Misra1a of the NIST datasets from its second start.
  int misra(testing::search_settings s, search_outcome& out, bool restart = false,
            testing::analytic_model* with = nullptr) {
    const testing::nist_problem& p = testing::misra1a;
    testing::analytic_model own(p.f, p.x);
    testing::analytic_model& model = with ? *with : own;
    CaptureStdout();
    const int code = testing::run_search_case({{"b1", 250.0}, {"b2", 5e-4}}, p.y, s, model, out, restart);
    console = GetCapturedStdout();
    runs = model.runs;
    return code;
  }
  std::string console;
  int runs = 0;
};

TEST_F(Search, NoptmaxZeroMakesTheFirstRunAndTheResultsOnly) {
  testing::search_settings s;
  s.noptmax = 0;
  search_outcome out;
  ASSERT_EQ(misra(s, out), 0);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(out.iterations, 0);
  EXPECT_TRUE(out.std_dev.empty());
  const std::string rec = testing::read_file("case.rec");
  EXPECT_NE(rec.find("No optimisation iterations carried out so Jacobian never calculated.."),
            std::string::npos);
  EXPECT_EQ(testing::read_file("case.par"), "250\n0.0005\n");
}

TEST_F(Search, NoptmaxMinusOneMakesOneJacobianAndTheStatistics) {
  testing::search_settings s;
  s.noptmax = -1;
  search_outcome out;
  ASSERT_EQ(misra(s, out), 0);
  EXPECT_EQ(runs, 1 + 4);  // the first run, two three-point derivatives, no final run
  EXPECT_EQ(out.iterations, 1);
  EXPECT_EQ(out.values[1], 250.0);
  EXPECT_EQ(out.std_dev.size(), 3u);
  EXPECT_EQ(console.find("Lambda ="), std::string::npos);
  EXPECT_NE(testing::read_file("case.rec").find("Parameter covariance matrix"), std::string::npos);
  EXPECT_TRUE(testing::file_exists("jac.txt"));
}

TEST_F(Search, NoptmaxNStopsAfterNIterationsWithTheBestSet) {
  testing::search_settings s;
  s.noptmax = 2;
  search_outcome out;
  testing::analytic_model model(testing::misra1a.f, testing::misra1a.x);
  ASSERT_EQ(misra(s, out, false, &model), 0);
  EXPECT_EQ(out.iterations, 2);
  const std::string rec = testing::read_file("case.rec");
  EXPECT_NE(rec.find("Optimization complete: Maximum number of optimization iterations completed.\n"
                     "Total Model Calls:\t"),
            std::string::npos);
  // The final run is made with the parameters written to the .par file,
  // to the eight significant digits of the values the model was given.
  char par[64];
  std::snprintf(par, sizeof par, "%.8g\n%.8g\n", out.values[1], out.values[2]);
  EXPECT_EQ(testing::read_file("case.par"), par);
  EXPECT_EQ(std::strtod(par, nullptr), model.calls.back()[0]);
}

TEST_F(Search, TheFinalRunTakesTheBestSetNotTheLast) {
  // y = exp(b x) from b = -1 toward data made at b = 1: the one trial of
  // the one iteration overshoots far uphill and is taken (the lowest of
  // the lambda search); the search then ends, and the final run goes back
  // to the start, the lowest phi seen.
  testing::analytic_model model([](const std::vector<double>& b, double x) { return std::exp(b[0] * x); },
                                {1.0, 2.0, 3.0});
  testing::search_settings s;
  s.noptmax = 1;
  s.numlam = 1;
  search_outcome out;
  CaptureStdout();
  ASSERT_EQ(testing::run_search_case({{"b", -1.0}}, {std::exp(1.0), std::exp(2.0), std::exp(3.0)}, s,
                                     model, out),
            0);
  GetCapturedStdout();
  const std::vector<double>& trial = model.calls[model.calls.size() - 2];
  ASSERT_GT(trial[0], 5.0);  // the uphill trial
  EXPECT_EQ(model.calls.back()[0], -1.0);
  EXPECT_EQ(out.values[1], -1.0);
  EXPECT_EQ(testing::read_file("case.par"), "-1\n");
}

TEST_F(Search, AllParametersFrozenAtTheirBoundsEndTheSearch) {
  // y = b x with data made at b = 5, b starting on its upper bound 2.
  testing::analytic_model model([](const std::vector<double>& b, double x) { return b[0] * x; },
                                {1.0, 2.0});
  search_outcome out;
  CaptureStdout();
  ASSERT_EQ(testing::run_search_case({{"b", 2.0, 0.0, 2.0}}, {5.0, 10.0}, {}, model, out), 0);
  const std::string console = GetCapturedStdout();
  EXPECT_NE(console.find("      parameter \"b\" frozen: gradient and update vectors out of bounds\n"),
            std::string::npos);
  EXPECT_NE(console.find("Optimisation complete: all parameters at their limits.\nTotal Model Calls:\t4\n"),
            std::string::npos);
  // First run, a backward three-point derivative, no trial, the final run.
  EXPECT_EQ(model.runs, 4);
  EXPECT_LT(model.calls[1][0], 2.0);
  EXPECT_EQ(out.values[1], 2.0);
  EXPECT_NE(testing::read_file("case.rec").find("Optimisation complete: all parameters at their limits.\n"),
            std::string::npos);
}

TEST_F(Search, AFailedRunCountsAsInfiniteAndIsNeverAccepted) {
  // From its first start Misra1a tries b1 = 217 on the way down to the
  // certified 238.9: runs with b1 below 230 fail, the search goes on
  // without them and still reaches the minimum.
  const testing::nist_problem& p = testing::misra1a;
  testing::analytic_model model(p.f, p.x);
  model.fails = [](const std::vector<double>& b) { return b[0] < 230.0; };
  testing::search_settings s;
  s.derinc = 1e-4;
  search_outcome out;
  CaptureStdout();
  ASSERT_EQ(testing::run_search_case({{"b1", 500.0}, {"b2", 1e-4}}, p.y, s, model, out), 0);
  const std::string console = GetCapturedStdout();
  EXPECT_NE(console.find("\tThe model run failed: its phi counts as infinite.\n"), std::string::npos);
  EXPECT_NE(console.find("\tPhi =\tINF\t\t(INF of starting phi)\n"), std::string::npos);
  EXPECT_NEAR(out.values[1], p.certified[0], 1e-5 * p.certified[0]);
  EXPECT_NEAR(out.values[2], p.certified[1], 1e-5 * p.certified[1]);
}

// y = a exp(-k x) from data made at a = 2, k = 0.3, k starting at 0.449
// where the model refuses k above 0.45 (as a soil refuses a moisture above
// its porosity): the derivative run at k + h fails, and the column comes
// from the other side, k - h, in two-point mode by one more run and in
// three-point mode from the run the pair already made.
TEST_F(Search, ARefusedDerivativeRunIsMadeUpFromTheOtherSide) {
  const std::vector<double> x = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0};
  std::vector<double> y;
  for (double xi : x) y.push_back(2.0 * std::exp(-0.3 * xi));
  struct {
    const char* forcen;
    const char* dermthd;
  } modes[] = {
      {"always_2", "outside_pts"}, {"always_3", "outside_pts"}, {"always_3", "parabolic"}, {"switch", "parabolic"}};
  for (const auto& mode : modes) {
    SCOPED_TRACE(std::string(mode.forcen) + " " + mode.dermthd);
    testing::analytic_model model([](const std::vector<double>& b, double xi) { return b[0] * std::exp(-b[1] * xi); },
                                  x);
    model.fails = [](const std::vector<double>& b) { return b[1] > 0.45; };
    testing::search_settings s;
    s.forcen = mode.forcen;
    s.dermthd = mode.dermthd;
    search_outcome out;
    CaptureStdout();
    const int code = testing::run_search_case({{"a", 1.0, 0.1, 10.0}, {"k", 0.449, 0.01, 0.6}}, y, s, model, out);
    const std::string console = GetCapturedStdout();
    ASSERT_EQ(code, 0) << console;
    EXPECT_NE(console.find("   A derivative run of parameter \"k\" failed: its column comes from the run at 0.44451"),
              std::string::npos)
        << console;
    EXPECT_EQ(console.find("has no effect"), std::string::npos);
    EXPECT_NEAR(out.values[1], 2.0, 1e-6);
    EXPECT_NEAR(out.values[2], 0.3, 1e-6);
    EXPECT_EQ(testing::read_file("case.rec").find("not estimated"), std::string::npos);
  }
}

// A parameter whose every derivative run fails, in every iteration, is
// never estimated: the search says so, marks it in the table of estimates
// and fails. Alone, it leaves nothing to move.
TEST_F(Search, AParameterNoDerivativeRunOfWhichEndsIsNamedAndTheSearchFails) {
  for (const char* forcen : {"always_2", "always_3"}) {
    SCOPED_TRACE(forcen);
    testing::analytic_model model([](const std::vector<double>& b, double xi) { return b[0] * std::exp(-b[1] * xi); },
                                  {0.0, 1.0, 2.0, 3.0});
    model.fails = [](const std::vector<double>& b) { return b[1] != 0.449; };
    testing::search_settings s;
    s.forcen = forcen;
    search_outcome out;
    CaptureStdout();
    const int code = testing::run_search_case({{"a", 1.0, 0.1, 10.0}, {"k", 0.449, 0.01, 0.6}},
                                              {2.0, 1.5, 1.1, 0.8}, s, model, out);
    const std::string console = GetCapturedStdout();
    EXPECT_EQ(code, 1);
    EXPECT_EQ(out.not_estimated, 1);
    EXPECT_NE(console.find("   Parameter \"k\" is held this iteration: every derivative run of it failed.\n"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("Error: parameter \"k\" could not be estimated: every derivative run of it failed; it "
                           "keeps the value 0.449.\n"),
              std::string::npos)
        << console;
    EXPECT_EQ(out.values[2], 0.449);
    const std::string rec = testing::read_file("case.rec");
    // Its zero column leaves the normal matrix singular: the table without limits.
    EXPECT_NE(rec.find("k                0.449   not estimated: every derivative run failed\n"), std::string::npos)
        << rec;
  }

  testing::analytic_model model([](const std::vector<double>& b, double xi) { return b[0] * xi; }, {1.0, 2.0});
  model.fails = [](const std::vector<double>& b) { return b[0] != 9.95; };
  search_outcome out;
  CaptureStdout();
  EXPECT_EQ(testing::run_search_case({{"b", 9.95}}, {5.0, 10.0}, {}, model, out), 1);
  const std::string console = GetCapturedStdout();
  EXPECT_NE(console.find("Optimisation complete: no parameter can move"), std::string::npos) << console;
  EXPECT_NE(console.find("Error: parameter \"b\" could not be estimated"), std::string::npos);
  EXPECT_EQ(out.values[1], 9.95);
}

// Outputs that answer no parameter (an instruction file that reads the
// wrong column) leave every column of the Jacobian zero: the search says
// that no observation responds and fails.
TEST_F(Search, NoObservationThatRespondsToAnyParameterFailsTheSearch) {
  testing::analytic_model model([](const std::vector<double>&, double xi) { return xi; }, {1.0, 2.0, 3.0});
  search_outcome out;
  CaptureStdout();
  const int code = testing::run_search_case({{"a", 1.0, 0.1, 10.0}, {"k", 0.5, 0.01, 0.6}}, {2.0, 1.5, 1.1}, {},
                                            model, out);
  const std::string console = GetCapturedStdout();
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(out.no_response);
  EXPECT_NE(console.find("Error: no observation responds to any parameter: every column of the Jacobian is zero.\n"),
            std::string::npos)
      << console;
  EXPECT_EQ(console.find("all parameters at their limits"), std::string::npos);
  EXPECT_EQ(model.runs, 1 + 4 + 1);  // the first run, two three-point derivatives, the final run
}

// A parameter that ends on a bound is named on the console and marked in
// the table of estimates; the others are not.
TEST_F(Search, AParameterEndingOnABoundIsMarked) {
  // y = a exp(-k x) from data made at a = 2, k = 0.3, with k bounded at 0.35.
  const std::vector<double> x = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0};
  std::vector<double> y;
  for (double xi : x) y.push_back(2.0 * std::exp(-0.3 * xi));
  testing::analytic_model model([](const std::vector<double>& b, double xi) { return b[0] * std::exp(-b[1] * xi); }, x);
  search_outcome out;
  CaptureStdout();
  ASSERT_EQ(testing::run_search_case({{"a", 1.0, 0.1, 10.0}, {"k", 0.5, 0.35, 0.6}}, y, {}, model, out), 0);
  const std::string console = GetCapturedStdout();
  EXPECT_EQ(out.values[2], 0.35);
  EXPECT_NE(console.find("Parameter \"k\" ends at its lower bound 0.35: the best fit may lie beyond it.\n"),
            std::string::npos)
      << console;
  EXPECT_EQ(console.find("Parameter \"a\" ends"), std::string::npos);
  const std::string rec = testing::read_file("case.rec");
  EXPECT_NE(rec.find("k                0.35              "), std::string::npos) << rec;
  EXPECT_NE(rec.find("   at its lower bound\n"), std::string::npos);
  EXPECT_EQ(rec.find("at its upper bound"), std::string::npos);
}

TEST_F(Search, AFailedFirstRunStopsTheSearch) {
  const testing::nist_problem& p = testing::misra1a;
  testing::analytic_model model(p.f, p.x);
  model.fails = [](const std::vector<double>&) { return true; };
  search_outcome out;
  EXPECT_EQ(misra({}, out, false, &model), 1);
  EXPECT_EQ(runs, 1);
  EXPECT_NE(console.find("Error: the first model run of the toolbox search failed; the search cannot start.\n"),
            std::string::npos);
}

TEST_F(Search, AStopRequestEndsTheSearchAndARestartGoesOnFromTheLastIteration) {
  testing::search_settings s;
  s.derinc = 1e-4;
  s.rstfle = "restart";
  const testing::nist_problem& p = testing::misra1a;
  testing::analytic_model model(p.f, p.x);
  // The user asks the search to stop during its 30th model run.
  const auto base = model.runs;
  model.fails = [&model, base](const std::vector<double>&) {
    if (model.runs - base == 30) testing::write_file("pest.stp", "1\n");
    return false;
  };
  search_outcome out;
  ASSERT_EQ(misra(s, out, false, &model), 0);  // a stop request is no failure
  EXPECT_EQ(model.runs, 30);
  EXPECT_TRUE(out.values.empty());
  ASSERT_TRUE(testing::file_exists("case.rst"));
  const std::string first_record = testing::read_file("case.rec");

  // "/r": the search goes on from the restart file, with the record kept.
  model.fails = nullptr;
  ASSERT_EQ(misra(s, out, true, &model), 0);
  EXPECT_FALSE(testing::file_exists("case.rst"));
  EXPECT_FALSE(testing::file_exists("pest.stp"));
  const std::string record = testing::read_file("case.rec");
  EXPECT_EQ(record.substr(0, first_record.size()), first_record);
  EXPECT_NE(record.find(".....RESTART....."), std::string::npos);
  EXPECT_NEAR(out.values[1], p.certified[0], 1e-6 * p.certified[0]);
  EXPECT_NEAR(out.values[2], p.certified[1], 1e-6 * p.certified[1]);
  EXPECT_GT(out.model_calls, model.runs - 30);  // the count goes on from the file
}

TEST_F(Search, TheSecantMethodReachesTheMinimumToo) {
  testing::search_settings s;
  s.derinc = 1e-4;
  s.slm_method = 1;
  s.cyclic_columns = 1;
  search_outcome out;
  ASSERT_EQ(misra(s, out), 0);
  EXPECT_EQ(console.find("\nUsing the secant Levenberg-Marquardt local search method,\n"), 0u) << console;
  const testing::nist_problem& p = testing::misra1a;
  EXPECT_NEAR(out.values[1], p.certified[0], 1e-6 * p.certified[0]);
  EXPECT_NEAR(out.values[2], p.certified[1], 1e-6 * p.certified[1]);
  EXPECT_NEAR(out.phi, p.certified_rss, 1e-9 * p.certified_rss);
}

TEST_F(Search, OutputFilesThatCannotBeOpenedAreReported) {
  std::filesystem::create_directory("case.rec");
  search_outcome out;
  EXPECT_EQ(misra({}, out), 1);
  EXPECT_EQ(runs, 0);
  EXPECT_NE(console.find("Error: Can't open output file: case.rec\n"), std::string::npos);
}

TEST_F(Search, TheEntryRefusesWhatItCannotSearch) {
  search_outcome out;
  testing::search_settings s;
  // Unknown derivative words.
  s.forcen = "always_4";
  EXPECT_EQ(misra(s, out), 1);
  EXPECT_NE(console.find("Error: the parameter group g gives FORCEN always_4, which the toolbox does not know"),
            std::string::npos);
  EXPECT_EQ(runs, 0);

  // Prediction mode.
  testing::write_file("case.pst", testing::search_control({{"b1", 1.0}}, {1.0}, {}));
  testing::write_file("case.ins", testing::search_instructions(1));
  std::string text = testing::read_file("case.pst");
  text.replace(text.find("estimation"), 10, "prediction");
  testing::write_file("case.pst", text);
  std::string words[] = {"nivra", "-slm", "case"};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
  testing::analytic_model model([](const std::vector<double>& b, double) { return b[0]; }, {1.0});
  CaptureStdout();
  EXPECT_EQ(run_slm_mode(3, argv, model), 1);
  EXPECT_NE(GetCapturedStdout().find("Currently, slm_dru does not support prediction capabilities"),
            std::string::npos);

  // Regularisation mode makes no search, says so and
  // fails, so that a batch does not take the run for a finished search.
  text.replace(text.find("prediction"), 10, "regularisation");
  text += "* regularisation\n1e-10 1.05e-10 0.1\n1.0 1e-10 1e10\n1.3 1e-2\n";
  testing::write_file("case.pst", text);
  CaptureStdout();
  EXPECT_EQ(run_slm_mode(3, argv, model), 1);
  EXPECT_NE(GetCapturedStdout().find("the mode 'regularisation' of case.pst runs no model"),
            std::string::npos);
  EXPECT_EQ(model.runs, 0);

  // Too few words.
  CaptureStdout();
  EXPECT_EQ(run_slm_mode(2, argv, model), 1);
  EXPECT_NE(GetCapturedStdout().find("No command line arguments.\n"), std::string::npos);
}

}  // namespace
}  // namespace nivra
