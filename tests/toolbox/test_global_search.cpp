// The global searches of the toolbox (-ms, -mls, -t): the seeded samples,
// the critical distance and the stop and refusal rules of multi-level
// single linkage, the start choice and near-start stop of trajectory
// repulsion, the checks of their input files, and every mode on the
// six-hump camel function, whose two global minima (-1.031628) each must
// find.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "toolbox/search_fixture.h"
#include "toolbox/toolbox_entry.h"
#include "toolbox/toolbox_global.h"
#include "toolbox/toolbox_mlsl.h"
#include "toolbox/toolbox_trajectory.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::analytic_model;
using testing::read_file;
using testing::search_param;
using testing::search_settings;
using testing::write_file;

constexpr double inf = std::numeric_limits<double>::infinity();

// The six-hump camel function and one of its two global minima (the other
// is its mirror through the origin), found by Newton's method on the
// gradient; the least value as published with the function.
double camel(double x, double y) {
  return (4.0 - 2.1 * x * x + x * x * x * x / 3.0) * x * x + x * y + (-4.0 + 4.0 * y * y) * y * y;
}
constexpr double camel_x = 0.08984201310031807, camel_y = -0.7126564030207396;
constexpr double camel_published = -1.0316284535;

// The search fits the camel to its least value: phi = (camel - least)^2 is
// 0 at the two global minima and above 0 everywhere else in the box.
analytic_model camel_model() {
  return analytic_model([](const std::vector<double>& b, double) { return camel(b[0], b[1]); }, {0.0});
}
const std::vector<double> camel_y_obs = {camel_published};
const std::vector<search_param> camel_params = {{"x", 0.0, -2.0, 2.0}, {"y", 0.0, -1.0, 1.0}};
search_settings camel_settings() {
  search_settings s;
  s.inctyp = "absolute";
  s.derinc = 1e-4;
  s.near_min_distance = 1e-3;
  return s;
}

// A straight line y = b1 + b2 x through four points, fitted exactly at
// (1, 2): a problem every local search solves in a few runs.
analytic_model line_model() {
  return analytic_model([](const std::vector<double>& b, double x) { return b[0] + b[1] * x; }, {1, 2, 3, 4});
}
const std::vector<double> line_y = {3.0, 5.0, 7.0, 9.0};
const std::vector<search_param> line_params = {{"b1", 0.0, -5.0, 5.0}, {"b2", 0.0, -5.0, 5.0}};

// Makes run n of the model fail.
void fail_run(analytic_model& model, int n) {
  model.fails = [&model, n](const std::vector<double>&) { return model.runs == n; };
}

using mode_function = int (*)(int, char**, toolbox_model&, global_outcome*);

class GlobalSearch : public testing::process_test {
 protected:
  void write_case(const std::vector<search_param>& params, const std::vector<double>& y,
                  const search_settings& s = {}) {
    write_file("case.pst", testing::search_control(params, y, s));
    write_file("case.ins", testing::search_instructions(y.size()));
  }
  // A mode as the command line starts it on case.pst; its status.
  int run_mode(mode_function mode, const char* word, toolbox_model& model, global_outcome& out) {
    std::string words[] = {"nivra", word, "case"};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
    CaptureStdout();
    const int status = mode(3, argv, model, &out);
    console = GetCapturedStdout();
    return status;
  }
  std::string console;
};

// The search outcome that ends nearest (x, y), and its distance.
double nearest_end(const global_outcome& out, double x, double y, const search_outcome** which) {
  double best = inf;
  for (const search_outcome& s : out.searches) {
    const double d = std::hypot(s.values[1] - x, s.values[2] - y);
    if (d < best) {
      best = d;
      *which = &s;
    }
  }
  return best;
}

// ------------------------------------------------------------ samples

// A record of n parameters with the given bounds (as held) and transforms.
pest_control bounded_control(const std::vector<std::array<double, 2>>& bounds,
                             const std::vector<std::string>& trans = {}) {
  pest_control pc;
  pc.npar = static_cast<int>(bounds.size());
  pc.params.resize(bounds.size() + 1);
  for (std::size_t i = 0; i < bounds.size(); ++i) {
    param_rec& p = pc.params[i + 1];
    p.parnme = "p" + std::to_string(i + 1);
    p.partrans = i < trans.size() ? trans[i] : "none";
    p.parlbnd = bounds[i][0];
    p.parubnd = bounds[i][1];
    p.parval1 = p.parlbnd;
    if (p.is_adjustable()) ++pc.n_adjustable;
  }
  return pc;
}


TEST(GlobalSeed, TheRecurrenceAndTheStateThatRestartsTheGenerator) {
  // 12345 x 1664525 + 1013904223 = 21562465348 = 5 x 2^32 + 87628868.
  EXPECT_EQ(gopt_next_seed(12345u), 87628868u);
  EXPECT_EQ(gopt_random_state(87628868u), -43814434);
  // 2^32 - 1 is -1 modulo 2^32: 1013904223 - 1664525.
  EXPECT_EQ(gopt_next_seed(4294967295u), 1012239698u);
  EXPECT_EQ(gopt_random_state(4294967295u), -2147483647);
  EXPECT_EQ(gopt_random_state(1u), 0);
}

TEST(GlobalSeed, LogParametersAreDrawnUniformlyInTheirOwnUnits) {
  pest_control pc =
      bounded_control({{2.0, 4.0}, {0.0, 3.0}, {0.0, 10.0}, {0.0, 10.0}}, {"none", "log", "fixed", "tied"});
  pc.params[3].parval1 = 7.0;
  pc.params[4].tie_parent_index = 1;
  pc.params[4].tie_ratio = 0.5;
  pc.n_tied = 1;

  // One deviate per adjustable parameter, in parameter order.
  ran1_state check;
  check.idum = -43814434;
  const double u1 = ran1(check), u2 = ran1(check);
  std::vector<double> values(4);
  draw_random_sample(pc, -43814434, values.data());
  EXPECT_DOUBLE_EQ(values[0], 2.0 + u1 * 2.0);
  EXPECT_DOUBLE_EQ(values[1], std::log10(1.0 + u2 * 999.0));
  EXPECT_EQ(values[2], 7.0);                    // fixed
  EXPECT_DOUBLE_EQ(values[3], 0.5 * values[0]);  // tied to its parent

  // Over many samples a bound of 1 to 1000 gives nine draws in ten above
  // 100 and a mean of 500.5 (standard error 4.6 for 4000 draws).
  std::uint32_t seed = 12345;
  int above = 0;
  double sum = 0.0, sum_n = 0.0;
  constexpr int draws = 4000;
  for (int k = 0; k < draws; ++k) {
    seed = gopt_next_seed(seed);
    draw_random_sample(pc, gopt_random_state(seed), values.data());
    const double k_value = std::pow(10.0, values[1]);
    ASSERT_GE(k_value, 1.0);
    ASSERT_LE(k_value, 1000.0);
    above += k_value > 100.0;
    sum += k_value;
    sum_n += values[0];
  }
  EXPECT_NEAR(static_cast<double>(above) / draws, 0.9009, 0.015);
  EXPECT_NEAR(sum / draws, 500.5, 15.0);
  EXPECT_NEAR(sum_n / draws, 3.0, 0.03);
}

TEST_F(GlobalSearch, TheSameSeedWritesTheSameParameterAndSeedFiles) {
  write_case(line_params, line_y);
  auto run_ms = [&](const char* input, std::string& parameters, std::string& seeds) {
    write_file("ms.in", input);
    analytic_model model = line_model();
    global_outcome out;
    EXPECT_EQ(run_mode(run_ms_mode, "-ms", model, out), 0) << console;
    parameters = read_file("parameters.prn");
    seeds = read_file("RandomNumberSeeds.prn");
    return out;
  };
  std::string p1, s1, p2, s2, p3, s3;
  const global_outcome first = run_ms("12345 3\n", p1, s1);
  run_ms("12345 3\n", p2, s2);
  run_ms("54321 3\n", p3, s3);
  EXPECT_EQ(p1, p2);
  EXPECT_EQ(s1, s2);
  EXPECT_NE(p1, p3);
  EXPECT_EQ(s1.substr(0, s1.find('\n')), "-43814434");
  EXPECT_EQ(std::count(s1.begin(), s1.end(), '\n'), 3);
  EXPECT_EQ(std::count(p1.begin(), p1.end(), '\n'), 3);
  // Every local search fits the line.
  ASSERT_EQ(first.searches.size(), 3u);
  for (const search_outcome& s : first.searches) {
    EXPECT_NEAR(s.values[1], 1.0, 1e-6);
    EXPECT_NEAR(s.values[2], 2.0, 1e-6);
  }
}

TEST_F(GlobalSearch, SeedWordNReadsTheStatesBack) {
  write_case(line_params, line_y);
  // The sample rows of the record (the title line first).
  auto sample_rows = [&](int expected_status) {
    analytic_model model = line_model();
    global_outcome out;
    EXPECT_EQ(run_mode(run_tr_mode, "-t", model, out), expected_status) << console;
    const std::string rec = read_file("slm_dru_ms2.rec");
    const std::size_t from = rec.find("Total\t");
    std::vector<std::string> rows;
    for (std::size_t at = from; at < rec.size() && rec[at] != '\n';) {
      const std::size_t end = rec.find('\n', at);
      rows.push_back(rec.substr(at, end - at));
      at = end + 1;
    }
    return rows;
  };
  write_file("tr.in", "Y 777 4 1 1 0.01\n");
  const std::vector<std::string> drawn = sample_rows(0);
  ASSERT_EQ(drawn.size(), 5u);
  write_file("tr.in", "N 777 4 1 1 0.01\n");
  EXPECT_EQ(sample_rows(0), drawn);

  // The states come from the file: another first state, another first
  // sample, the same others.
  std::string seeds = read_file("RandomNumberSeeds.prn");
  seeds.replace(0, seeds.find('\n'), "-12345");
  write_file("RandomNumberSeeds.prn", seeds);
  const std::vector<std::string> edited = sample_rows(0);
  ASSERT_EQ(edited.size(), 5u);
  EXPECT_NE(edited[1], drawn[1]);
  for (std::size_t r = 2; r < 5; ++r) EXPECT_EQ(edited[r], drawn[r]);

  // A file with fewer states than samples stops the search.
  write_file("RandomNumberSeeds.prn", "-1\n-2\n");
  sample_rows(1);
  EXPECT_NE(console.find("Error: the search input file RandomNumberSeeds.prn, line 2: expected the random "
                         "state of the next sample.\n"),
            std::string::npos)
      << console;
}

// ------------------------------------------------------------ MLSL rules

TEST(Mlsl, CriticalDistanceOfRinnooyKanAndTimmer) {
  // alpha = (V Gamma(1 + n/2) sigma ln M / M)^(1/n) / sqrt(pi).
  // n = 2, V = 1, sigma = 4, M = 100: sqrt(4 ln 100 / 100 / pi); a fixed
  // parameter's width does not count.
  pest_control two = bounded_control({{0.0, 1.0}, {2.0, 3.0}, {0.0, 10.0}}, {"none", "none", "fixed"});
  two.mlsl_sigma = 4.0;
  EXPECT_NEAR(mlsl_critical_distance(two, 100), 0.2421463, 5e-8);
  EXPECT_NEAR(mlsl_critical_distance(two, 100), std::sqrt(4.0 * std::log(100.0) / 100.0 / M_PI), 1e-9);
  // n = 3, M = 50: Gamma(2.5) = 3 sqrt(pi) / 4; a "log" parameter's width
  // is that of its logarithms (1 to 10: 1).
  pest_control three = bounded_control({{0.0, 1.0}, {0.0, 1.0}, {0.0, 1.0}}, {"none", "log", "none"});
  three.mlsl_sigma = 4.0;
  const double gamma_25 = 0.75 * std::sqrt(M_PI);
  EXPECT_NEAR(mlsl_critical_distance(three, 50), 0.4211799, 5e-8);
  EXPECT_NEAR(mlsl_critical_distance(three, 50),
              std::cbrt(gamma_25 * 4.0 * std::log(50.0) / 50.0) / std::sqrt(M_PI), 1e-9);
  // One sample: ln 1 = 0.
  EXPECT_EQ(mlsl_critical_distance(two, 1), 0.0);
}

TEST(Mlsl, BayesianStopRuleOfBoenderAndRinnooyKan) {
  // The expected number of minima w (q - 1) / (q - w - 2) against w + 1/2.
  const struct {
    int w;
    double q;
    bool stops;
  } cases[] = {
      {2, 50.0, true},   // 2 x 49 / 46 = 2.13 <= 2.5
      {3, 20.0, false},  // 3 x 19 / 15 = 3.8 > 3.5
      {1, 10.0, true},   // 9 / 7 = 1.29 <= 1.5
      {2, 4.0, false},   // q not above w + 2
      {2, 4.5, false},   // 2 x 3.5 / 0.5 = 14
      {0, 2.5, true},    // no minimum in a sample that tells of none
  };
  for (const auto& c : cases) EXPECT_EQ(mlsl_bayes_stop(c.w, c.q), c.stops) << c.w << " " << c.q;
}

TEST(Mlsl, RefusalTestsAndTheirPrecedence) {
  // Reduced sample members in rank order in the plane; alpha 1, end
  // distance 0.5.
  const std::vector<std::array<double, 2>> members = {{0, 0}, {0.6, 0.8}, {5, 5}, {9, 9}};
  const std::vector<double> totals = {1.0, 2.0, 3.0, 4.0};
  mlsl_reduced_sample reduced;
  for (std::size_t i = 0; i < members.size(); ++i) {
    reduced.members.push_back(members[i].data());
    reduced.totals.push_back(totals[i]);
  }
  reduced.alpha = 1.0;
  reduced.end_distance = 0.5;
  struct end_point {
    std::array<double, 2> at;
    double total;
  };
  const struct {
    const char* what;
    int member;
    std::vector<end_point> ends;
    std::vector<std::array<double, 2>> starts;
    int refused;
    const char* lines;
  } cases[] = {
      {"the best member, nothing found yet", 1, {}, {}, 0, ""},
      {"a better member at distance alpha exactly", 2, {}, {}, 1,
       "No LS for vector 2 of the reduced sample. It is within an alpha distance of the vector 1 with a "
       "lower obj. function value\n"},
      {"test 1 first: the end point near it is not looked at", 2, {{{0.6, 0.8}, 0.5}}, {}, 1,
       "No LS for vector 2 of the reduced sample. It is within an alpha distance of the vector 1 with a "
       "lower obj. function value\n"},
      {"a better end point within alpha: every one is named", 3, {{{5.5, 5}, 2.0}, {{5, 5.9}, 2.5}}, {}, 2,
       "No LS for vector 3 of the reduced sample. It is within an alpha distance of a previous LS end "
       "point\n"
       "No LS for vector 3 of the reduced sample. It is within an alpha distance of a previous LS end "
       "point\n"},
      {"test 2 first: the end point nearer than the end distance is not looked at", 3,
       {{{5.1, 5}, 2.0}}, {}, 2,
       "No LS for vector 3 of the reduced sample. It is within an alpha distance of a previous LS end "
       "point\n"},
      {"a worse end point nearer than the end distance", 3, {{{5.3, 5}, 7.0}}, {}, 3,
       "No LS for vector 3 of the reduced sample. It is within a distance 0.500000 of a previous LS end "
       "point\n"},
      {"a worse end point at the end distance exactly", 3, {{{5.5, 5}, 7.0}}, {}, 0, ""},
      {"test 3 first: its start is not looked at", 3, {{{5.3, 5}, 7.0}}, {{5, 5}}, 3,
       "No LS for vector 3 of the reduced sample. It is within a distance 0.500000 of a previous LS end "
       "point\n"},
      {"a search already started from it", 4, {{{0, 0}, 0.1}}, {{9, 9}}, 4,
       "No LS for vector 4 of the reduced sample. It is too close to a previous LS start point\n"},
      {"a start 1e-7 away does not count", 4, {}, {{9, 9 + 1e-7}}, 0, ""},
  };
  for (const auto& c : cases) {
    point_store ends(2), starts(2);
    for (const end_point& e : c.ends) ends.append(e.at.data(), e.total);
    for (const auto& s : c.starts) starts.append(s.data(), 0.0);
    std::FILE* rec = std::tmpfile();
    EXPECT_EQ(mlsl_refusal(rec, c.member, 2, reduced, ends, starts), c.refused) << c.what;
    std::rewind(rec);
    std::string text;
    for (int ch; (ch = std::fgetc(rec)) != EOF;) text.push_back(static_cast<char>(ch));
    std::fclose(rec);
    EXPECT_EQ(text, c.lines) << c.what;
  }
}

// ------------------------------------------------------------ trajectory repulsion

TEST(Trajectory, BestFirstThenTheFarthestUnusedSample) {
  // Bounds 0..10 and 0..1 weigh the axes; the third parameter is fixed
  // with equal bounds and adds nothing (it would make every distance NaN).
  pest_control pc = bounded_control({{0.0, 10.0}, {0.0, 1.0}, {5.0, 5.0}}, {"none", "none", "fixed"});
  point_store samples(3);
  const std::vector<std::array<double, 3>> at = {
      {5, 0.5, 5},  // 1
      {9, 0.5, 5},  // 2: 4 away from 1 along the wide axis: (0.4)^2 = 0.16
      {5, 0.9, 5},  // 3: 0.4 away along the narrow one: 0.16
      {5, 0.0, 5},  // 4: 0.5 away along the narrow one: 0.25
      {0, 0.0, 5},  // 5: 0.25 + 0.25
  };
  for (const auto& p : at) samples.append(p.data(), 0.0);
  const std::vector<int> rank = {1, 3, 2, 4, 5};
  std::vector<bool> used(6, false);
  point_store points(3);

  EXPECT_EQ(tr_choose_start(pc, rank, 5, used, samples, points), 1) << "no point yet: the best";
  used[1] = true;
  points.append(samples.column(1), 0.0);
  EXPECT_NEAR(bounded_distance_sq(pc, samples.column(2), samples.column(1)), 0.16, 1e-15);
  EXPECT_EQ(tr_choose_start(pc, rank, 4, used, samples, points), 4) << "the farthest in bound units";
  EXPECT_EQ(tr_choose_start(pc, rank, 3, used, samples, points), 3) << "a tie: the first in rank order";
  EXPECT_EQ(tr_choose_start(pc, rank, 5, used, samples, points), 5) << "the farthest, last in rank";

  // The largest distance to any one stored point counts, not the
  // smallest: a lies next to one point and 0.2401 from the other, b 0.2225
  // from both.
  point_store ab(3), two_points(3);
  ab.append(std::array<double, 3>{0.1, 0.5, 5}.data(), 0.0);  // a
  ab.append(std::array<double, 3>{2.5, 0.9, 5}.data(), 0.0);  // b
  two_points.append(std::array<double, 3>{5, 0.5, 5}.data(), 0.0);
  two_points.append(std::array<double, 3>{0, 0.5, 5}.data(), 0.0);
  EXPECT_EQ(tr_choose_start(pc, {2, 1}, 2, std::vector<bool>(3, false), ab, two_points), 1);

  // Nothing at a positive distance: the first unused; all used: none.
  point_store same(3);
  same.append(samples.column(3), 0.0);
  std::vector<bool> only_three(6, true);
  only_three[3] = false;
  EXPECT_EQ(tr_choose_start(pc, rank, 5, only_three, samples, same), 3);
  only_three[3] = true;
  EXPECT_EQ(tr_choose_start(pc, rank, 5, only_three, samples, same), 0);
}

TEST(Trajectory, NearMinimumTestIgnoresTheVectorItselfAndEqualBounds) {
  pest_control pc = bounded_control({{0.0, 10.0}, {0.0, 1.0}, {5.0, 5.0}}, {"none", "none", "fixed"});
  pc.near_min_distance = 0.1;
  point_store points(3);
  points.append(std::array<double, 3>{5, 0.5, 5}.data(), 0.0);
  const struct {
    double x, y;
    bool near;
  } cases[] = {
      {5.0, 0.5, false},   // the point itself
      {5.5, 0.5, true},    // 0.05
      {5.0, 0.55, true},   // 0.05
      {7.0, 0.5, false},   // 0.2
      {5.0, 0.61, false},  // 0.11
  };
  for (const auto& c : cases) {
    pc.params[1].parval1 = c.x;
    pc.params[2].parval1 = c.y;
    pc.params[3].parval1 = 5.0;
    EXPECT_EQ(gopt_near_minimum(points, 1, pc), c.near) << c.x << " " << c.y;
  }
  // Only the first count points are looked at.
  pc.params[1].parval1 = 8.0;
  pc.params[2].parval1 = 0.5;
  points.append(std::array<double, 3>{8.2, 0.5, 5}.data(), 0.0);
  EXPECT_FALSE(gopt_near_minimum(points, 1, pc));
  EXPECT_TRUE(gopt_near_minimum(points, 2, pc));
}

TEST_F(GlobalSearch, ALocalSearchStopsNearAPointVisitedBeforeIt) {
  // The camel from (1.2, 0.4) with a fixed parameter of equal bounds.
  std::vector<search_param> params = camel_params;
  params[0].start = 1.2;
  params[1].start = 0.4;
  params.push_back({"k", 3.0, 3.0, 3.0, "fixed"});
  search_settings s = camel_settings();
  auto search = [&](double near_distance, bool with_trail, point_store& points) {
    s.near_min_distance = near_distance;
    write_case(params, camel_y_obs, s);
    std::string words[] = {"nivra", "-t", "case"};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
    toolbox_case c;
    CaptureStdout();
    EXPECT_EQ(open_toolbox_case(3, argv, "", c), 0);
    analytic_model model = camel_model();
    const std::vector<double> start = {1.2, 0.4, 3.0};
    points.append(start.data(), inf);
    search_trail trail{&points, true};
    search_outcome out;
    objective_row objectives;
    EXPECT_EQ(local_search_from(c, model, start.data(), c.pc.rlambda1, with_trail ? &trail : nullptr, out,
                                objectives),
              0);
    GetCapturedStdout();
    EXPECT_EQ(model.runs, out.model_calls);
    return out;
  };
  point_store plain_points(3), far_points(3), near_points(3);
  const search_outcome plain = search(0.5, false, plain_points);
  EXPECT_TRUE(testing::file_exists("jac.txt"));
  std::remove("jac.txt");
  const search_outcome far = search(1e-12, true, far_points);
  const search_outcome near = search(2.0, true, near_points);

  // Nothing comes within 1e-12: the search is the plain one, and every
  // iterate from the second on was stored with its phi.
  EXPECT_EQ(far.model_calls, plain.model_calls);
  EXPECT_EQ(far.values, plain.values);
  EXPECT_EQ(far_points.count(), plain.iterations + 1);
  for (int k = 1; k <= far_points.count(); ++k) {
    const double* point = far_points.column(k);
    EXPECT_NEAR(far_points.phi(k), std::pow(camel(point[0], point[1]) - camel_published, 2), 1e-5) << k;
    EXPECT_EQ(point[2], 3.0) << "the fixed parameter's row is filled";
  }
  // Within 2 (the whole box) of its own start, the second iterate ends the search: one
  // point stored beside the start, and the final run at the best values.
  EXPECT_EQ(near_points.count(), 2);
  EXPECT_LT(near.model_calls, plain.model_calls / 2);
  EXPECT_EQ(near.values[1], near_points.column(2)[0]);
  EXPECT_EQ(near.phi, near_points.phi(2));
  EXPECT_FALSE(testing::file_exists("jac.txt")) << "a global search's local searches write none";
}

// ------------------------------------------------------------ the modes

TEST_F(GlobalSearch, EveryModeFindsBothGlobalMinimaOfTheSixHumpCamel) {
  const struct {
    mode_function mode;
    const char* word;
    const char* file;
    const char* input;
  } modes[] = {
      {run_ms_mode, "-ms", "ms.in", "12345 8\n"},
      {run_mlsl_mode, "-mls", "mlsl.in", "20 0.2 4 0.01\nY 12345 5 10 10 3 0.0001\n"},
      {run_tr_mode, "-t", "tr.in", "Y 12345 20 6 6 0.0001\n"},
  };
  write_case(camel_params, camel_y_obs, camel_settings());
  for (const auto& m : modes) {
    SCOPED_TRACE(m.word);
    write_file(m.file, m.input);
    analytic_model model = camel_model();
    global_outcome out;
    ASSERT_EQ(run_mode(m.mode, m.word, model, out), 0) << console;
    for (const double sign : {1.0, -1.0}) {
      const search_outcome* end = nullptr;
      EXPECT_LT(nearest_end(out, sign * camel_x, sign * camel_y, &end), 1e-3) << sign;
      ASSERT_NE(end, nullptr);
      EXPECT_NEAR(camel(end->values[1], end->values[2]), -1.031628, 1e-6) << sign;
    }
    EXPECT_LT(out.best_total, 1e-20);
    EXPECT_EQ(out.model_calls, model.runs) << "every model run is counted";
  }
}

TEST_F(GlobalSearch, MlslStopsByEachRuleAndCountsAKnownMinimumOnce) {
  // The line has one minimum; sigma 0.01 keeps alpha small, so many kept
  // samples are searched from, and with no near-point stop every search
  // ends on it.
  search_settings s;
  s.near_min_distance = 0.0;
  write_case(line_params, line_y, s);
  const struct {
    const char* input;  // N gamma sigma end  word seed K S Ls Li f
    int reason, iterations;
    const char* line;
  } cases[] = {
      {"10 0.5 0.01 0.01 Y 1 1 50 50 10 0.01", 4, 1,
       "Stopped because the maximum MLSL iterations, 1, to carry out were carried out\n"},
      {"10 0.5 0.01 0.01 Y 1 3 50 50 10 0.01", 3, 2, "Stopped because Bayesian stopping criteria were satisfied.\n"},
      {"10 0.5 0.01 0.01 Y 1 3 2 50 10 0.01", 2, 1,
       "Stopped because there have been 2 local searches, the maximum set with input.\n"},
      {"10 0.5 0.01 0.01 Y 1 3 50 1 10 0.01", 1, 1,
       "Stopped because there have been 1 actual local searches with no objective function improvement.\n"},
      {"10 0.5 0.01 0.01 Y 1 5 50 50 1 0.01", 5, 2,
       "Stopped because there have been 1 MLSL iterations with no objective function improvement.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    write_file("mlsl.in", c.input);
    analytic_model model = line_model();
    global_outcome out;
    ASSERT_EQ(run_mode(run_mlsl_mode, "-mls", model, out), 0) << console;
    EXPECT_EQ(out.stop_reason, c.reason);
    EXPECT_EQ(out.iterations, c.iterations);
    EXPECT_EQ(out.distinct_minima, 1);
    EXPECT_GE(out.searches.size(), 2u);
    EXPECT_EQ(out.model_calls, model.runs);
    const std::string rec = read_file("slm_dru_mlsl.rec");
    EXPECT_NE(rec.find(c.line), std::string::npos) << rec;
    EXPECT_NE(rec.find("\n THIS LOCAL SEARCH DID NOT RESULT IN A NEW LOCAL MINIMUM\n"), std::string::npos);
    EXPECT_NE(rec.find("The number of local searches that yielded distinct local minima: 1\n"), std::string::npos);
  }
}

// True when a model run after the first `samples` runs (the sample phase)
// was made at the values of run `failed`: a local search started there.
bool searched_from(const analytic_model& model, int samples, int failed) {
  const std::vector<double>& at = model.calls[static_cast<std::size_t>(failed - 1)];
  return std::find(model.calls.begin() + samples, model.calls.end(), at) != model.calls.end();
}

TEST_F(GlobalSearch, AFailedSampleRanksLastAndIsNeverAStart) {
  write_case(line_params, line_y);
  // Multistart from three samples, each in turn failing: its row shows the
  // failure, no search starts from it, and the other two fit the line,
  // whichever failed (the last one included).
  write_file("ms.in", "12345 3\n");
  for (int failed = 1; failed <= 3; ++failed) {
    SCOPED_TRACE("multistart, sample " + std::to_string(failed) + " failed");
    analytic_model model = line_model();
    fail_run(model, failed);
    global_outcome out;
    ASSERT_EQ(run_mode(run_ms_mode, "-ms", model, out), 0) << console;
    const std::string rec = read_file("slm_dru_ms1.rec");
    const std::size_t title = rec.find("Total\tobs\t\n");
    ASSERT_NE(title, std::string::npos) << rec;
    std::size_t row = rec.find('\n', title) + 1;
    for (int k = 1; k < failed; ++k) row = rec.find('\n', row) + 1;
    const std::string failed_row = rec.substr(row, rec.find('\n', row) - row);
    EXPECT_TRUE(failed_row.ends_with("\tinf\tinf\t")) << failed_row;
    EXPECT_NE(rec.find(" Sample run number " + std::to_string(failed) +
                       " failed: no CT inversion run starts from it.\n"),
              std::string::npos)
        << rec;
    EXPECT_EQ(rec.find(" Results of CT inversion run number 3 "), std::string::npos) << rec;
    EXPECT_EQ(rec.find("\ttotal\tinf\t"), std::string::npos) << rec;
    ASSERT_EQ(out.searches.size(), 2u);
    for (const search_outcome& s : out.searches) EXPECT_NEAR(s.values[1], 1.0, 1e-6);
    EXPECT_LT(out.best_total, 1e-12);
    EXPECT_FALSE(searched_from(model, 3, failed));
    EXPECT_EQ(out.model_calls, model.runs);
  }

  // Trajectory repulsion ranks a failed sample last and never starts from
  // it, even when the searches asked for outnumber the samples that ran:
  // three searches from three samples, one failed, make two.
  write_file("tr.in", "Y 12345 3 3 3 0.01\n");
  for (int failed = 1; failed <= 3; ++failed) {
    SCOPED_TRACE("trajectory, sample " + std::to_string(failed) + " failed");
    analytic_model model = line_model();
    fail_run(model, failed);
    global_outcome out;
    ASSERT_EQ(run_mode(run_tr_mode, "-t", model, out), 0) << console;
    ASSERT_EQ(out.searches.size(), 2u);
    EXPECT_FALSE(searched_from(model, 3, failed));
    auto phi = [](const std::vector<double>& b) {
      double sum = 0.0;
      for (int x = 1; x <= 4; ++x) sum += std::pow(line_y[static_cast<std::size_t>(x - 1)] - b[0] - b[1] * x, 2);
      return sum;
    };
    // The best sample that ran is the first start.
    const auto& calls = model.calls;
    const std::vector<double>* best = nullptr;
    for (int k = 1; k <= 3; ++k)
      if (k != failed && (!best || phi(calls[static_cast<std::size_t>(k - 1)]) < phi(*best)))
        best = &calls[static_cast<std::size_t>(k - 1)];
    EXPECT_EQ(calls[3], *best);
    EXPECT_LT(out.best_total, 1e-12);
  }

  // Multi-level single linkage keeps the whole pool (gamma 1) but never the
  // failed sample: the searches start from the others.
  write_file("mlsl.in", "3 1.0 0.01 0.01 Y 12345 1 50 50 10 0.01\n");
  {
    analytic_model model = line_model();
    fail_run(model, 3);
    global_outcome out;
    EXPECT_EQ(run_mode(run_mlsl_mode, "-mls", model, out), 0) << console;
    EXPECT_FALSE(searched_from(model, 3, 3));
    EXPECT_GE(out.searches.size(), 1u);
    EXPECT_LE(out.searches.size(), 2u);
  }

  // Every sample failed: nothing to start from, and the mode says so.
  write_file("mlsl.in", "3 1.0 0.01 0.01 Y 12345 2 50 50 10 0.01\n");
  const std::pair<mode_function, const char*> every_mode[] = {
      {run_ms_mode, "-ms"}, {run_tr_mode, "-t"}, {run_mlsl_mode, "-mls"}};
  for (const auto& m : every_mode) {
    SCOPED_TRACE(m.second);
    analytic_model model = line_model();
    model.fails = [](const std::vector<double>&) { return true; };
    global_outcome out;
    EXPECT_EQ(run_mode(m.first, m.second, model, out), 1) << console;
    EXPECT_EQ(model.runs % 3, 0) << "whole sample sets";
    EXPECT_GE(model.runs, 3);
    EXPECT_NE(console.find("Error: every sample run of the toolbox search failed; no local search can start.\n"),
              std::string::npos)
        << console;
  }
}

TEST_F(GlobalSearch, InputAndOutputFilesAreCheckedWhereOpenedAndRead) {
  write_case(line_params, line_y);
  const struct {
    mode_function mode;
    const char* word;
    const char* file;
    const char* text;  // null: no file
    const char* message;
  } cases[] = {
      {run_ms_mode, "-ms", "ms.in", nullptr, "\nCannot open ms.in \n"},
      {run_ms_mode, "-ms", "ms.in", "12345 x\n",
       "Error: the search input file ms.in, line 1: expected the number of sample runs, a whole number from "
       "1 to 1000000.\n"},
      // No sample, no start: a search of nothing is no search.
      {run_ms_mode, "-ms", "ms.in", "12345 0\n",
       "Error: the search input file ms.in, line 1: expected the number of sample runs, a whole number from "
       "1 to 1000000.\n"},
      {run_ms_mode, "-ms", "ms.in", "12345 3\n4\n",
       "Error: the search input file ms.in, line 2: expected the end of the file after its last value.\n"},
      {run_mlsl_mode, "-mls", "mlsl.in", "10 0.5 4 0.01 Y 1 2 3 1 1 0.01 7\n",
       "Error: the search input file mlsl.in, line 1: expected the end of the file after its last value.\n"},
      {run_tr_mode, "-t", "tr.in", "Y 1 5 2 1 0.1\nN\n",
       "Error: the search input file tr.in, line 2: expected the end of the file after its last value.\n"},
      {run_ms_mode, "-ms", "ms.in", "-5 3\n",
       "Error: the search input file ms.in, line 1: expected the random seed, a whole number from 0 to "
       "4294967295.\n"},
      {run_mlsl_mode, "-mls", "mlsl.in", "10\n0\n4\n0.01\nY 1 2 3 1 1 0.01\n",
       "Error: the search input file mlsl.in, line 2: expected the reduction gamma, a number above 0 and up "
       "to 1.\n"},
      {run_mlsl_mode, "-mls", "mlsl.in", "10 0.5 nan 0.01 Y 1 2 3 1 1 0.01\n",
       "Error: the search input file mlsl.in, line 1: expected sigma, a number above 0.\n"},
      {run_mlsl_mode, "-mls", "mlsl.in", "10\n0.5\n4\n0.01\ny 1 2 3 1 1 0.01\n",
       "Error: the search input file mlsl.in, line 5: expected the seed word, Y (draw the seeds) or N (read "
       "them).\n"},
      {run_tr_mode, "-t", "tr.in", "Y 1 5 2 1 1.0\n",
       "Error: the search input file tr.in, line 1: expected the negligible fraction, from 0 up to below 1.\n"},
      {run_tr_mode, "-t", "tr.in", "Y 1 5\n",
       "Error: the search input file tr.in, line 1: expected the local searches, a whole number from 1 to "
       "1000000.\n"},
      {run_tr_mode, "-t", "tr.in", "N 1 5 2 1 0.1\n", "\nCannot open RandomNumberSeeds.prn \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : c.file);
    for (const char* f : {"ms.in", "mlsl.in", "tr.in", "RandomNumberSeeds.prn"}) std::remove(f);
    if (c.text) write_file(c.file, c.text);
    analytic_model model = line_model();
    global_outcome out;
    EXPECT_EQ(run_mode(c.mode, c.word, model, out), 1);
    EXPECT_NE(console.find(c.message), std::string::npos) << console;
    EXPECT_EQ(model.runs, 0);
  }
  // A record that cannot be written.
  write_file("ms.in", "12345 3\n");
  std::remove("slm_dru_ms1.rec");
  ASSERT_EQ(::mkdir("slm_dru_ms1.rec", 0755), 0);
  analytic_model model = line_model();
  global_outcome out;
  EXPECT_EQ(run_mode(run_ms_mode, "-ms", model, out), 1);
  EXPECT_NE(console.find("Error: Can't open output file: slm_dru_ms1.rec\n"), std::string::npos) << console;
  EXPECT_EQ(model.runs, 0);
}

}  // namespace
}  // namespace nivra
