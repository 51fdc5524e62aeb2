// The Monte Carlo calibration without a model run: its 15-bit generator,
// samples uniform within their bounds, fixed parameters, the best set by
// cost, and the checks of its input file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/monte_carlo.h"
#include "core/process.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using testing::file_exists;
using testing::read_file;
using testing::write_file;

class MonteCarlo : public testing::process_test {
 protected:
  // An input file of the given parameter lines and a one-event observation
  // file (peak 1.3, weighted; volume not weighted).
  void write_inputs(const std::string& parameter_lines, int count) {
    write_file("mc.in", "p.prj\nlist.lst\nobs.txt\n" + std::to_string(count) + "\n" + parameter_lines);
    write_file("obs.txt", "1\n1.3 1 0 0\n");
  }
};

// A trial that runs no model: its first value is the simulated peak, scored
// by the real objective; values above 2.3 stand for a run that failed.
double peak_trial(const std::string&, const std::string&, std::span<const double> values, calib_cost& cost,
                  const std::string&) {
  const std::vector<double> peak{0, values[0]}, volume{0, 1};
  const event_series sim = values[0] > 2.3 ? event_series{} : event_series{peak, volume, 1};
  return cost.evaluate(sim, 0, values);
}

int trials = 0;
double counted_trial(const std::string& a, const std::string& b, std::span<const double> v, calib_cost& c,
                     const std::string& m) {
  ++trials;
  return peak_trial(a, b, v, c, m);
}

TEST(McRandom, FifteenBitSequenceFromSeedOne) {
  mc_random r(1);
  for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(r.next(), expected);
}

TEST_F(MonteCarlo, SamplesAreUniformWithinTheirBoundsAndAMinimumAloneIsFixed) {
  write_inputs("0.5 2.5\n0.7\n-3, -1\n", 3);
  montecarlo mc(1, "mc.in", process.parallel_env);
  ASSERT_TRUE(mc.input_ok);
  mc.seed(20240615);
  const int n = 10000;
  std::vector<double> u;
  for (int i = 0; i < n; ++i) {
    mc.draw_parameters();
    ASSERT_GE(mc.param_values[1], 0.5);
    ASSERT_LT(mc.param_values[1], 2.5);  // r / 32768 never reaches 1
    ASSERT_EQ(mc.param_values[2], 0.7);
    ASSERT_GE(mc.param_values[3], -3.0);
    ASSERT_LT(mc.param_values[3], -1.0);
    u.push_back((mc.param_values[1] - 0.5) / 2.0);
  }
  // Kolmogorov-Smirnov against the uniform distribution: D below the 1 %
  // critical value 1.628 / sqrt(n).
  std::sort(u.begin(), u.end());
  double d = 0.0;
  for (int i = 0; i < n; ++i) {
    const double x = u[static_cast<std::size_t>(i)];
    d = std::max({d, (i + 1.0) / n - x, x - static_cast<double>(i) / n});
  }
  EXPECT_LT(d, 1.628 / std::sqrt(n));
}

TEST_F(MonteCarlo, TheBestSetIsTheLowestCostOfTheRunsThatGaveAResult) {
  write_inputs("0.5 2.5\n", 1);
  montecarlo mc(200, "mc.in", process.parallel_env);
  mc.objective = peak_trial;
  mc.seed(7);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(mc.run(), 1);
  mc.print_best();
  const std::string console = ::testing::internal::GetCapturedStdout();
  mc.log_file = guarded_file();

  // The log: a header, then cost and value of every run.
  std::istringstream log(read_file("log_file_p0.log"));
  std::string line;
  std::getline(log, line);
  EXPECT_EQ(line, "Cost  \t");
  double lowest = 1e300, at = 0.0;
  int runs = 0, failed = 0;
  while (std::getline(log, line)) {
    ++runs;
    const double cost = std::strtod(line.c_str(), nullptr);
    const double value = std::strtod(line.c_str() + line.find('\t') + 1, nullptr);
    if (value > 2.3) {
      EXPECT_DOUBLE_EQ(cost, cost_failed);
      ++failed;
      continue;
    }
    EXPECT_NEAR(cost, std::fabs(value - 1.3) / 1.3, 1e-6);
    if (std::fabs(cost) < lowest) lowest = std::fabs(cost), at = value;
  }
  EXPECT_EQ(runs, 200);
  EXPECT_GT(failed, 0);
  EXPECT_TRUE(mc.best_found);
  EXPECT_NEAR(mc.best_cost, lowest, 1e-6);
  EXPECT_NEAR(mc.best_values[1], at, 1e-6);
  EXPECT_LT(mc.best_cost, 0.01);
  char expected[64];
  std::snprintf(expected, sizeof expected, "%lf:  %le \n", mc.best_cost, mc.best_values[1]);
  EXPECT_EQ(read_file("best.out"), expected);
  EXPECT_NE(console.find("\n\nBest objective function value: "), std::string::npos);
  // Every run left its line in the results table.
  int lines = 0;
  for (char c : read_file("results_all.out")) lines += c == '\n';
  EXPECT_EQ(lines, 201);
}

TEST_F(MonteCarlo, NoRunMeansNoBestAndRunsThatAllFailLeaveNone) {
  write_inputs("0.5 2.5\n", 1);
  montecarlo none(0, "mc.in", process.parallel_env);
  trials = 0;
  none.objective = counted_trial;
  EXPECT_EQ(none.run(), 1);
  EXPECT_EQ(trials, 0);

  write_inputs("2.4 2.5\n", 1);  // every trial fails
  montecarlo failing(5, "mc.in", process.parallel_env);
  failing.objective = counted_trial;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(failing.run(), 1);
  failing.print_best();
  const std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(trials, 5);
  EXPECT_FALSE(failing.best_found);
  EXPECT_NE(console.find("no best parameter set is written"), std::string::npos);
  EXPECT_FALSE(file_exists("best.out"));
}

TEST_F(MonteCarlo, InputFileIsChecked) {
  struct row {
    const char* lines;  // after the three names
    const char* message;
  };
  const row table[] = {
      {"0\n", "line 4 of the Monte Carlo input file mc.in must give the number of parameters (1 or more)"},
      {"x\n", "must give the number of parameters"},
      {"2\n1 2\n", "line 6 of the Monte Carlo input file mc.in is missing"},
      {"1\n# 1 2\n", "line 5 of the Monte Carlo input file mc.in must give the minimum"},
      {"1\n2 1\n", "gives a maximum below the minimum"},
      {"1\n1 inf\n", "gives a maximum that is not a number"},
  };
  for (const row& t : table) {
    write_file("mc.in", std::string("p.prj\nlist.lst\nobs.txt\n") + t.lines);
    ::testing::internal::CaptureStdout();
    montecarlo mc(3, "mc.in", process.parallel_env);
    EXPECT_EQ(mc.run(), 0) << t.lines;
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(mc.input_ok);
    EXPECT_NE(console.find(t.message), std::string::npos) << t.lines << console;
    EXPECT_NE(console.find("Error: unable to read the input monte carlo file.\n"), std::string::npos);
  }
  // An observation file that cannot be read stops the mode before any run.
  write_file("mc.in", "p.prj\nlist.lst\nmissing.txt\n1\n1 2\n");
  ::testing::internal::CaptureStdout();
  montecarlo mc(3, "mc.in", process.parallel_env);
  trials = 0;
  mc.objective = counted_trial;
  EXPECT_EQ(mc.run(), 0);
  const std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(trials, 0);
  EXPECT_NE(console.find("Attempted to read file: missing.txt\n"), std::string::npos);
}

}  // namespace
}  // namespace nivra
