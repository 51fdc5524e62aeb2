// The objective functions against hand calculations on short series, their
// failure values, the observation file, the cost file and observation log,
// and the results table.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calibration/capture_buffer.h"
#include "calibration/objective.h"
#include "calibration/results_table.h"
#include "core/process.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using testing::file_exists;
using testing::read_file;
using testing::write_file;

class Objective : public testing::process_test {};

// Series with index 0 unused, stride 1.
struct series {
  std::vector<double> peak, volume;
  int stride = 1;
  event_series view() const { return event_series{peak, volume, stride}; }
};

calib_cost observed(std::vector<double> peak, std::vector<double> pw, std::vector<double> volume,
                    std::vector<double> vw) {
  calib_cost c;
  c.set_observations(peak, pw, volume, vw);
  return c;
}

TEST_F(Objective, MeasuresAgainstHandCalculations) {
  // Event 2's volume is not weighted; event 3's observed peak is 0, so its
  // peak error is absolute, and its volume weighs 2.
  calib_cost c = observed({2, 4, 0}, {1, 0.5, 1}, {100, 200, 50}, {1, 0, 2});
  const series sim{{0, 2.5, 3, 0.2}, {0, 110, 150, 40}};
  const double values[] = {0.05, 7.0};
  const double total = c.evaluate(sim.view(), 0, values);
  // |0.5/2| + |10/100| + |(-1/4) 0.5| + |0.2| + |(-10/50) 2|
  EXPECT_NEAR(total, 0.25 + 0.1 + 0.125 + 0.2 + 0.4, 1e-12);
  EXPECT_FALSE(c.last_failed());
  // Volume scale 4 / 200: 0.5^2 + 1 + 0.2^2 + (10 x 0.02)^2 + (10 x 0.02)^2.
  EXPECT_NEAR(c.volume_scale(), 0.02, 1e-15);
  EXPECT_NEAR(c.last().rmse, std::sqrt(0.25 + 1 + 0.04 + 0.04 + 0.04), 1e-12);
  EXPECT_DOUBLE_EQ(c.last().max_peak, 3.0);     // weighted peaks only
  EXPECT_DOUBLE_EQ(c.last().max_volume, 110.0);  // event 2's 150 is not weighted
  EXPECT_EQ(c.last().log_error, cost_failed);    // ln 0 of event 3's observed peak
  EXPECT_EQ(c.last().hmle, cost_failed);         // likewise

  EXPECT_EQ(read_file("0_cost.out"),
            "p:2.500000, 0.500000  v:110.000000, 10.000000  \n"
            "p:3.000000, -1.000000  p:0.200000, 0.200000  v:40.000000, -10.000000  \n"
            "Total Points: 5\ncost: 1.075000\n" +
                std::string(79, '-') + "\n");
  const std::string log = read_file("0_obs.log");
  EXPECT_EQ(log.substr(0, 56), std::string(55, '-') + "\n");
  EXPECT_NE(log.find("Event\tWeight\tObs Peak   \tSim Peak    \tDiff        \tWeight\tObs Vol     \tSim Vol     \tDiff\n"
                     "1    \t1.00  \t2.00        \t2.50        \t-0.50       \t1.00  \t100.00      \t110.00      \t-10.00      \n"),
            std::string::npos);
  EXPECT_EQ(log.substr(log.size() - 3), "\n\n\n");
  // The run went into the result list with its values.
  ASSERT_EQ(c.results().entries().size(), 1u);
  EXPECT_EQ(c.results().entries()[0].params, std::vector<double>({0.05, 7.0}));
  EXPECT_DOUBLE_EQ(c.results().entries()[0].measures.cost, total);
}

TEST_F(Objective, LogErrorWhenEveryValueIsPositive) {
  calib_cost c = observed({2, 4}, {1, 1}, {100, 200}, {1, 1});
  const series sim{{0, 2.5, 3}, {0, 110, 150}};
  EXPECT_NEAR(c.log_error(sim.view()), std::log(1.25) + std::log(4.0 / 3) + std::log(1.1) + std::log(4.0 / 3), 1e-12);
}

TEST_F(Objective, HmleAgainstItsClosedForms) {
  // Constant peaks: z = 1, f vanishes for every lambda and the HMLE is the
  // mean squared error.
  EXPECT_NEAR(hmle_core(std::vector<double>{3, 3, 3}, std::vector<double>{2.5, 3.5, 4}), 0.5, 1e-12);
  // Peaks 2 and 4 with residuals 1 and 0.5: f = 0 where 2^(2(lambda-1)) =
  // (1 / 0.5)^2, lambda = 2, and the HMLE is (4 x 1 + 16 x 0.25) / 2 / 2^3.
  EXPECT_NEAR(hmle_core(std::vector<double>{2, 4}, std::vector<double>{1, 3.5}), 0.5, 1e-5);
  // Through the scorer: only the weighted peaks take part.
  calib_cost c = observed({2, 7, 4}, {1, 0, 1}, {1, 1, 1}, {1, 1, 1});
  EXPECT_NEAR(c.hmle(series{{0, 1, 99, 3.5}, {0, 1, 1, 1}}.view()), 0.5, 1e-5);
}

TEST_F(Objective, GoldenSectionGivesTheBestPointItMet) {
  EXPECT_NEAR(golden_section_min(0.1, 3.0, [](double x) { return x - 1.7; }), 1.7, 1e-6);
  // |f| smallest at the lower end: the end itself.
  EXPECT_DOUBLE_EQ(golden_section_min(0.1, 3.0, [](double x) { return x + 1.0; }), 0.1);
}

TEST_F(Objective, FailureValuesInsteadOfNanOrInfinity) {
  struct row {
    const char* what;
    std::vector<double> op, pw, ov, vw;
    series sim;
    double cost, hmle, rmse, log_error;
  };
  const double F = cost_failed;
  const row table[] = {
      {"series missing", {2}, {1}, {10}, {1}, {{}, {}}, F, F, F, F},
      {"negative simulated peak", {2}, {1}, {10}, {1}, {{0, -0.5}, {0, 10}}, F, F, F, F},
      {"negative simulated volume", {2}, {1}, {10}, {1}, {{0, 2}, {0, -1}}, F, F, F, F},
      {"event never captured", {2, 3}, {1, 1}, {10, 10}, {1, 1}, {{0, 2}, {0, 10}}, F, F, F, F},
      {"simulated peak 0", {2}, {1}, {10}, {1}, {{0, 0}, {0, 10}}, 1.0, 4.0, 2.0, F},  // one peak: its squared error
      {"zero residuals", {2, 5}, {1, 1}, {10, 20}, {1, 1}, {{0, 2, 5}, {0, 10, 20}}, 0, F, 0, 0},
      {"mean log peak 0", {1}, {1}, {10}, {0}, {{0, 2}, {0, 10}}, 1.0, F, 1.0, std::log(2.0)},
      {"no positive volume", {2}, {0}, {0}, {1}, {{0, 2}, {0, 3}}, 3.0, F, F, F},
  };
  for (const row& t : table) {
    calib_cost c = observed(t.op, t.pw, t.ov, t.vw);
    c.evaluate(t.sim.view(), 0, {});
    EXPECT_DOUBLE_EQ(c.last().cost, t.cost) << t.what;
    EXPECT_NEAR(c.last().hmle, t.hmle, 1e-9) << t.what;
    EXPECT_NEAR(c.last().rmse, t.rmse, 1e-12) << t.what;
    EXPECT_NEAR(c.last().log_error, t.log_error, 1e-12) << t.what;
    EXPECT_EQ(c.last_failed(), t.cost == F) << t.what;
    for (double m : {c.last().cost, c.last().hmle, c.last().rmse, c.last().log_error, c.last().max_peak,
                     c.last().max_volume})
      EXPECT_TRUE(std::isfinite(m)) << t.what;
  }
  calib_cost c = observed({2}, {1}, {10}, {1});
  c.evaluate(series{{}, {}}.view(), 0, {});
  EXPECT_EQ(c.last().max_peak, largest_without_data);
  EXPECT_EQ(c.last().max_volume, largest_without_data);
  // A failed run still closes its block of the cost file with its cost.
  EXPECT_NE(read_file("0_cost.out").find("cost: 999999.990000\n"), std::string::npos);
}

TEST_F(Objective, EventsAreReadAtTheOutletOfEachStride) {
  // Two hydrograph locations: event e's outlet at 3 (e - 1) + 1, then its
  // locations, which do not take part in the scores.
  calib_cost c = observed({2, 4}, {1, 1}, {100, 200}, {1, 1});
  const series sim{{0, 2.5, 70, 80, 3, 90, 95}, {0, 110, 700, 800, 150, 900, 950}, 3};
  const series outlets{{0, 2.5, 3}, {0, 110, 150}};
  EXPECT_DOUBLE_EQ(c.write_cost_file(sim.view(), 0), c.write_cost_file(outlets.view(), 0));
  EXPECT_DOUBLE_EQ(c.max_peak(sim.view()), 3.0);

  // A capture buffer reads the same way.
  capture_buffer b;
  b.loc_stride = 3;
  b.series_a.alloc(6);
  b.series_b.alloc(6);
  for (int i = 0; i <= 6; ++i) {
    b.series_a[i] = sim.peak[static_cast<std::size_t>(i)];
    b.series_b[i] = sim.volume[static_cast<std::size_t>(i)];
  }
  EXPECT_DOUBLE_EQ(captured_series(b).peak_of(2), 3.0);
  EXPECT_DOUBLE_EQ(captured_series(b).volume_of(2), 150.0);
  EXPECT_EQ(captured_series(b).peak_of(3), not_captured);
  EXPECT_TRUE(captured_series(capture_buffer{}).missing());
}

TEST_F(Objective, ObservationFileIsCheckedLineByLine) {
  struct row {
    const char* text;
    int result;
    const char* message;
  };
  const row table[] = {
      {"2\n1.5 1 300 1\n2.5, 0.5, 400, 0\n", 1, ""},
      {"", -1, "Error: the file obs.txt is empty."},
      {"\n\n", -1, "Error: the file obs.txt holds only blanks."},
      {"1\n1 1 1 1\n2 2 2 2\n", -1, "line 3 of the observation file obs.txt holds more than its 1 events"},
      {"0\n", -1, "must give the number of observed events (1 or more)"},
      {"2.5\n1 1 1 1\n", -1, "must give the number of observed events"},
      {"2\n1 1 1 1\n", -1, "ends after 1 of its 2 events"},
      {"1\n1 1 1\n", -1, "Error: observed data file improperly formatted.\n  Line 2 of obs.txt must hold four numbers"},
      {"1\n1 1 abc 1\n", -1, "improperly formatted"},
      {"1\n1 1 nan 1\n", -1, "improperly formatted"},
      {"1\n1 -1 1 1\n", -1, "gives a negative weight"},
      {"1\n-1 1 1 1\n", -1, "gives a negative peak or volume a weight"},
      {"1\n1 0 1 0\n", -1, "gives no peak and no volume a weight"},
  };
  for (const row& t : table) {
    write_file("obs.txt", t.text);
    calib_cost c;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(c.read_observations("obs.txt"), t.result) << t.text;
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find(t.message), std::string::npos) << t.text << console;
    if (t.result == 1) {
      EXPECT_EQ(c.n_events(), 2);
      // Event 2's volume is not weighted, so only the peaks and volume 1 count.
      const series sim{{0, 1.5, 2.5}, {0, 300, 0}};
      EXPECT_DOUBLE_EQ(c.write_cost_file(sim.view(), 0), 0.0);
    }
  }
  calib_cost c;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(c.read_observations("no_such_file.txt"), -1);
  ::testing::internal::GetCapturedStdout();
}

TEST_F(Objective, ResultsTableGrowsOneLinePerRun) {
  result_list list;
  list.insert_sorted(run_measures{1.5, 0.25, 2.0, 0.125, 3.0, 400.0}, std::vector<double>{0.05, 12.0});
  write_results_all(list, process.parallel_env);
  EXPECT_TRUE(list.empty());
  list.insert_sorted(run_measures{cost_failed, cost_failed, cost_failed, cost_failed, largest_without_data,
                                  largest_without_data},
                     std::vector<double>{0.5, 1.0});
  write_results_all(list, process.parallel_env);
  EXPECT_EQ(read_file("results_all.out"),
            std::string(results_table_header) +
                "1.50    \t0.2500      \t2.00        \t0.125000    \t3.00        \t400.00      \t: 0.0500  12.0000  \n"
                "999999.99\t999999.9900 \t999999.99   \t999999.990000\t-100000.00  \t-100000.00  \t: 0.5000  1.0000  \n");
  // The same folder later: appended to, no second header.
  process.multi_run_mode = 0;
  list.insert_sorted(run_measures{}, {});
  write_results_all(list, process.parallel_env);
  const std::string table = read_file("results_all.out");
  EXPECT_EQ(table.find("--Cost--"), table.rfind("--Cost--"));
}

TEST_F(Objective, EachIndexKeepsItsMeasureInOrder) {
  result_list list;
  list.insert_sorted(run_measures{3, 1, 0, 0, 0, 9}, {});
  list.insert_sorted(run_measures{1, 2, 0, 0, 0, 7}, {});
  list.insert_sorted(run_measures{3, 0, 0, 0, 0, 8}, {});
  EXPECT_EQ(list.index(result_measure::cost), std::vector<int>({1, 0, 2}));  // equal keys after
  EXPECT_EQ(list.index(result_measure::hmle), std::vector<int>({2, 0, 1}));
  EXPECT_EQ(list.index(result_measure::max_volume), std::vector<int>({1, 2, 0}));
  list.clear();
  EXPECT_TRUE(list.index(result_measure::cost).empty());
}

}  // namespace
}  // namespace nivra
