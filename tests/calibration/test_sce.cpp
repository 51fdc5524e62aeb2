// The SCE-UA search: its random numbers, the trapezoidal choice of
// sub-complexes, the checks of its input, and the search itself on the
// test functions of Duan, Sorooshian and Gupta (Goldstein-Price, Rosenbrock,
// six-hump camel back), with no model run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "calibration/calibration_support.h"
#include "calibration/sce.h"
#include "calibration/sce_random.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::sce_controls;
using testing::sce_input_text;
using testing::write_file;

class Sce : public testing::process_test {};

double goldstein_price(std::span<const double> p) {
  const double x = p[0], y = p[1];
  const double a = 1 + (x + y + 1) * (x + y + 1) * (19 - 14 * x + 3 * x * x - 14 * y + 6 * x * y + 3 * y * y);
  const double b = 30 + (2 * x - 3 * y) * (2 * x - 3 * y) *
                            (18 - 32 * x + 12 * x * x + 48 * y - 36 * x * y + 27 * y * y);
  return a * b;
}
double rosenbrock(std::span<const double> p) {
  return 100 * (p[1] - p[0] * p[0]) * (p[1] - p[0] * p[0]) + (1 - p[0]) * (1 - p[0]);
}
double six_hump_camel(std::span<const double> p) {
  const double x = p[0], y = p[1];
  return (4 - 2.1 * x * x + x * x * x * x / 3) * x * x + x * y + (-4 + 4 * y * y) * y * y;
}

TEST(SceRandom, MinimalStandardStepReachesTheParkMillerCheckValue) {
  std::int32_t x = 1;
  for (int i = 0; i < 10000; ++i) x = minimal_standard_step(x);
  EXPECT_EQ(x, 1043618065);
}

TEST(SceRandom, TheSameSeedGivesTheSameNumbers) {
  sce_random a(1969), b(1969), c(1970);
  std::vector<double> first;
  bool differs = false;
  for (int i = 0; i < 1000; ++i) {
    const double u = a.uniform(), g = a.gauss();
    EXPECT_EQ(u, b.uniform());
    EXPECT_EQ(g, b.gauss());
    EXPECT_GT(u, 0.0);
    EXPECT_LT(u, 1.0);
    differs = differs || u != c.uniform();
    first.push_back(u);
  }
  EXPECT_TRUE(differs);
  a.restart(1969);  // a restart is a fresh generator
  for (double u : first) {
    EXPECT_EQ(a.uniform(), u);
    a.gauss();
  }
}

TEST(SceRandom, SubComplexPositionsFollowTheTrapezoid) {
  // Position k of a complex of npg points is drawn with probability
  // 2 (npg + 1 - k) / (npg (npg + 1)); chi-square over 1e5 draws at the 0.1 %
  // level (critical values for npg - 1 degrees of freedom).
  struct row {
    int npg;
    double critical;
  };
  for (const row r : {row{5, 18.467}, row{9, 26.124}}) {
    sce_random random(4711);
    std::vector<int> count(static_cast<std::size_t>(r.npg) + 1, 0);
    const int draws = 100000;
    for (int i = 0; i < draws; ++i) ++count[static_cast<std::size_t>(sce_trapezoid_position(r.npg, random.uniform()))];
    double chi2 = 0.0;
    for (int k = 1; k <= r.npg; ++k) {
      const double expected = draws * 2.0 * (r.npg + 1 - k) / (r.npg * (r.npg + 1.0));
      chi2 += (count[static_cast<std::size_t>(k)] - expected) * (count[static_cast<std::size_t>(k)] - expected) / expected;
    }
    EXPECT_LT(chi2, r.critical) << "npg " << r.npg;
    EXPECT_EQ(count[0], 0);
  }
  EXPECT_EQ(sce_trapezoid_position(7, 0.0), 1);
  EXPECT_EQ(sce_trapezoid_position(7, 0.99999988), 7);
}

struct test_function {
  const char* name;
  double (*f)(std::span<const double>);
  std::string bounds;  // parameter lines
  double optimum;
  std::vector<std::vector<double>> minima;  // any of them
};

// Every evaluation of a search, as its log lists them: the parameter values
// of each line.
std::vector<std::vector<double>> logged_points(const std::string& log) {
  std::vector<std::vector<double>> points;
  std::size_t at = log.find('\n');  // after the header
  while (at != std::string::npos && at + 1 < log.size()) {
    const std::size_t end = log.find('\n', at + 1);
    const std::string line = log.substr(at + 1, end - at - 1);
    std::vector<double> p;
    const char* c = line.c_str() + line.find(':') + 1;
    char* next = nullptr;
    for (double v = std::strtod(c, &next); next != c; v = std::strtod(c, &next)) {
      p.push_back(v);
      c = next;
    }
    points.push_back(p);
    at = end;
  }
  return points;
}

TEST_F(Sce, FindsTheGlobalMinimaOfTheTestFunctions) {
  // Three seeds each; the value within 1e-4 of the global minimum and the
  // point within 1e-3 of one of its minimisers. No evaluated point leaves
  // the bounds: a reflection outside them is replaced before it is run.
  const test_function table[] = {
      {"Goldstein-Price", goldstein_price, "0 -2 2\n0 -2 2\n", 3.0, {{0.0, -1.0}}},
      {"Rosenbrock", rosenbrock, "0 -5 5\n0 -5 5\n", 0.0, {{1.0, 1.0}}},
      {"six-hump camel", six_hump_camel, "0 -3 3\n0 -2 2\n", -1.0316284535,
       {{0.0898420131, -0.7126564033}, {-0.0898420131, 0.7126564033}}},
  };
  const double upper[][2] = {{2, 2}, {5, 5}, {3, 2}};
  int row = 0;
  for (const test_function& t : table) {
    for (int seed : {1969, 12345, 777}) {
      sce_controls c;
      c.iseed = seed;
      sce_record r;
      testing::run_plain_sce(r, sce_input_text(c, t.bounds), t.f);
      ASSERT_TRUE(r.setup_ok);
      EXPECT_NEAR(r.best_criterion, t.optimum, 1e-4) << t.name << " seed " << seed;
      bool near_one = false;
      for (const auto& m : t.minima)
        near_one = near_one || (std::fabs(r.bestx[1] - m[0]) < 1e-3 && std::fabs(r.bestx[2] - m[1]) < 1e-3);
      EXPECT_TRUE(near_one) << t.name << " seed " << seed << ": " << r.bestx[1] << " " << r.bestx[2];
      r.log_file = guarded_file();
      const auto points = logged_points(read_file("sce_log_file.txt"));
      EXPECT_EQ(static_cast<int>(points.size()), r.evaluations);
      for (const auto& p : points) {
        ASSERT_EQ(p.size(), 2u);
        for (int j = 0; j < 2; ++j) EXPECT_LE(std::fabs(p[j]), upper[row][j]) << t.name;
      }
    }
    ++row;
  }
}

TEST_F(Sce, TheSameSeedFollowsTheSamePath) {
  std::string logs[3], outputs[3];
  const int seeds[3] = {1969, 1969, 2024};
  for (int i = 0; i < 3; ++i) {
    sce_controls c;
    c.iseed = seeds[i];
    sce_record r;
    testing::run_plain_sce(r, sce_input_text(c, "0 -2 2\n0 -2 2\n"), goldstein_price);
    r.log_file = guarded_file();
    r.out_file = guarded_file();
    logs[i] = read_file("sce_log_file.txt");
    outputs[i] = read_file("sce_output.out");
  }
  EXPECT_GT(logs[0].size(), 1000u);
  EXPECT_EQ(logs[0], logs[1]);
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_NE(logs[0], logs[2]);
}

TEST_F(Sce, TheInitialPointLeadsTheFirstPopulation) {
  sce_controls c;
  c.ideflt = 1;
  c.defaults_line = "5 3 5 4 1 1";  // npg nps nspl mings iniflg iprint
  sce_record r;
  testing::run_plain_sce(r, sce_input_text(c, "0.25 -2 2\n-1.5 -2 2\n"), goldstein_price);
  r.log_file = guarded_file();
  r.out_file = guarded_file();
  // With iprint the output lists the population of every loop: its line
  // and 20 points, the last one's line end starting the next loop's line.
  const std::string output = read_file("sce_output.out");
  const std::size_t loop = output.find(" POPULATION AT LOOP 1\n");
  ASSERT_NE(loop, std::string::npos);
  const std::size_t next = output.find("\n    2 ", loop);
  EXPECT_EQ(std::count(output.begin() + static_cast<long>(loop), output.begin() + static_cast<long>(next), '\n'), 20);
  const auto points = logged_points(read_file("sce_log_file.txt"));
  ASSERT_FALSE(points.empty());
  EXPECT_DOUBLE_EQ(points[0][0], 0.25);
  EXPECT_DOUBLE_EQ(points[0][1], -1.5);
}

TEST_F(Sce, InputChecksSetDefaultsAndRefuseWhatCannotRun) {
  struct row {
    const char* what;
    sce_controls c;
    std::string parameters;
    bool ok;
    int npg, nps, nspl, mings, ngs, kstop, iseed;
    const char* message;  // part of the console, "" for none
  };
  auto with = [](auto change) {
    sce_controls c;
    change(c);
    return c;
  };
  const std::string four = "0 0 1\n0 0 1\n0 0 1\n0 0 1\n";
  const row table[] = {
      {"defaults", with([](sce_controls& c) { c.ngs = 3; }), four, true, 9, 5, 9, 3, 3, 5, 1969, ""},
      {"seed 0", with([](sce_controls& c) { c.iseed = 0; c.ngs = 3; }), four, true, 9, 5, 9, 3, 3, 5, 3737, ""},
      {"1319 complexes", with([](sce_controls& c) { c.ngs = 1319; }), four, true, 9, 5, 9, 2, 2, 5, 1969,
       "THE POPULATION LIMIT.  SET NGS TO 2"},
      {"1320 complexes", with([](sce_controls& c) { c.ngs = 1320; }), four, false, 9, 5, 9, 1320, 1320, 5, 1969,
       " **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION 1320 IS NOT A VALID CHOICE\n"},
      {"kstop 0", with([](sce_controls& c) { c.kstop = 0; c.ngs = 3; }), four, true, 9, 5, 9, 3, 3, 5, 1969,
       " *** TOTAL NUMBER OF WARNING MESSAGES IS 1\n"},
      {"nps 51", with([](sce_controls& c) { c.ideflt = 1; c.ngs = 3; c.defaults_line = "60 51 9 3 0 0"; }), four,
       true, 60, 5, 9, 3, 3, 5, 1969, " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX 51 IS NOT\n"},
      {"equal bounds", sce_controls{}, "0 0 1\n0 1 1\n", false, 0, 0, 0, 0, 4, 5, 1969,
       "ERROR:  Lower bound is greater than upper bound for varialbe 2\n"},
      {"pcento not a number", with([](sce_controls& c) { c.pcento = NAN; }), four, false, 0, 0, 0, 0, 0, 0, 0,
       "Error in your input file. The first line must have 7 parameters.\n"},
      {"too few parameter lines", sce_controls{}, "0 0 1\n", false, 0, 0, 0, 0, 0, 0, 0, "fewer parameters"},
  };
  for (const row& t : table) {
    std::string input = sce_input_text(t.c, t.parameters);
    if (std::string(t.what) == "too few parameter lines") input.replace(input.find(" 1\n0 0 0"), 2, " 3");
    write_file("sce.in", input);
    sce_record r;
    r.model_mode = 0;
    ::testing::internal::CaptureStdout();
    sce_setup(r, "sce.in", "sce_output.out");
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(r.setup_ok == 1, t.ok) << t.what << "\n" << console;
    EXPECT_NE(console.find(t.message), std::string::npos) << t.what << "\n" << console;
    if (!t.ok) continue;
    EXPECT_EQ(r.npg, t.npg) << t.what;
    EXPECT_EQ(r.nps, t.nps) << t.what;
    EXPECT_EQ(r.nspl, t.nspl) << t.what;
    EXPECT_EQ(r.mings, t.mings) << t.what;
    EXPECT_EQ(r.ngs, t.ngs) << t.what;
    EXPECT_EQ(r.kstop, t.kstop) << t.what;
    EXPECT_EQ(r.iseed, t.iseed) << t.what;
  }
}

TEST_F(Sce, ASearchThatCannotStartRunsNothing) {
  sce_controls c;
  c.maxn = 10;  // fewer than the 4 x 5 points of the first population
  sce_record r;
  write_file("sce.in", sce_input_text(c, "0 -2 2\n0 -2 2\n"));
  r.model_mode = 0;
  int calls = 0;
  r.objective = [&](std::span<const double>) { return double(++calls); };
  ::testing::internal::CaptureStdout();
  sce_setup(r, "sce.in", "sce_output.out");
  const int result = sceua(r);
  const std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(calls, 0);
  EXPECT_NE(console.find("Increase the number of function calls to at least 20\n"), std::string::npos);
}

TEST(SceBound, AValueWithinATenthOfAPercentOfItsRangeIsOnTheBound) {
  struct {
    double value;
    int side;
  } cases[] = {{0.2, 1}, {0.199986, 1}, {0.1998, 0}, {0.0102, 0}, {0.010019, -1}, {0.01, -1}, {0.1, 0}};
  for (const auto& c : cases) EXPECT_EQ(sce_bound_side(c.value, 0.01, 0.2), c.side) << c.value;
}

}  // namespace
}  // namespace nivra
