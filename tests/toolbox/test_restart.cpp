#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "toolbox/toolbox_fixture.h"
#include "toolbox/toolbox_restart.h"
#include "toolbox/toolbox_text.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class Restart : public testing::toolbox_test {
 protected:
  void SetUp() override {
    testing::toolbox_test::SetUp();
    ASSERT_EQ(read_case(), 0);
    slm_count_params(pc);
  }
};

// Values that a fixed number of decimals would not keep.
double awkward(int i, int j = 0) {
  return std::pow(-1.0, i + j) * (1.0 / 3.0 + i) * std::pow(10.0, 7 * j - 25 + i);
}

restart_state sample_state(const pest_control& pc) {
  const int m = pc.nobs + pc.nprior, n = pc.n_adjustable;
  restart_state st;
  st.jacobian.alloc(m, n);
  st.jacobian_best.alloc(m, n);
  for (int i = 1; i <= m; ++i)
    for (int j = 1; j <= n; ++j) {
      st.jacobian[i][j] = awkward(i, j);
      st.jacobian_best[i][j] = -awkward(j, i);
    }
  st.history_count = 3;
  st.phi = 12.5;
  st.phi_previous = 0.1;
  st.history.alloc(3);
  for (int k = 1; k <= 3; ++k) st.history[k] = awkward(k, 3);
  st.best_params.alloc(pc.npar);
  for (int k = 1; k <= pc.npar; ++k) st.best_params[k] = awkward(k, 2);
  st.best_outputs.alloc(pc.nobs);
  for (int k = 1; k <= pc.nobs; ++k) st.best_outputs[k] = awkward(k, 4);
  st.phi_min = 1e-300;
  st.phi_min_iteration = 2;
  st.model_calls = 41;
  st.lambda_previous = 0.625;
  st.iteration = 4;
  st.phi_start = 3.0e7;
  st.start_values.alloc(n);
  for (int k = 1; k <= n; ++k) st.start_values[k] = awkward(k, 1);
  st.small_change_count = 1;
  st.three_point = 1;
  return st;
}

TEST_F(Restart, WrittenAndReadBackGivesTheSameState) {
  const restart_state st = sample_state(pc);
  pc.phi_ratio = std::numeric_limits<double>::infinity();  // the first iteration's ratio
  pc.rlambda1 = 1.0 / 7.0;
  for (int i = 1; i <= pc.nobs; ++i) {
    pc.observations[i].model_value[0] = awkward(i, 5);
    pc.observations[i].model_value[1] = awkward(i, 6);
  }
  pc.obs_groups[1].phi = 2.0 / 3.0;
  pc.obs_groups[2].phi = 1e-17;
  pc.params[2].parval1 = 0.123456789012345678;
  ASSERT_EQ(slm_write_restart("basin.rst", st, pc), 0);

  const pest_control before = pc;
  for (int i = 1; i <= pc.nobs; ++i) pc.observations[i].model_value = {9, 9, 9};
  for (int i = 1; i <= pc.npar; ++i) pc.params[i].parval1 = 9;
  pc.obs_groups[1].phi = pc.obs_groups[2].phi = 9;
  pc.rlambda1 = pc.full_update_ratio = 9;
  pc.slm_method = pc.full_update = pc.cyclic_columns = 9;
  restart_state back;
  ASSERT_EQ(slm_read_restart("basin.rst", back, pc), 0);

  const int m = pc.nobs + pc.nprior, n = pc.n_adjustable;
  for (int i = 1; i <= m; ++i)
    for (int j = 1; j <= n; ++j) {
      EXPECT_EQ(back.jacobian[i][j], st.jacobian[i][j]);
      EXPECT_EQ(back.jacobian_best[i][j], st.jacobian_best[i][j]);
    }
  ASSERT_EQ(back.history_count, 3);
  for (int k = 1; k <= 3; ++k) EXPECT_EQ(back.history[k], st.history[k]);
  for (int k = 1; k <= pc.npar; ++k) EXPECT_EQ(back.best_params[k], st.best_params[k]);
  for (int k = 1; k <= pc.nobs; ++k) EXPECT_EQ(back.best_outputs[k], st.best_outputs[k]);
  for (int k = 1; k <= n; ++k) EXPECT_EQ(back.start_values[k], st.start_values[k]);
  EXPECT_EQ(back.phi, st.phi);
  EXPECT_EQ(back.phi_previous, st.phi_previous);
  EXPECT_EQ(back.phi_min, st.phi_min);
  EXPECT_EQ(back.phi_min_iteration, 2);
  EXPECT_EQ(back.model_calls, 41);
  EXPECT_EQ(back.lambda_previous, 0.625);
  EXPECT_EQ(back.iteration, 4);
  EXPECT_EQ(back.phi_start, 3.0e7);
  EXPECT_EQ(back.small_change_count, 1);
  EXPECT_EQ(back.three_point, 1);
  // The record's part.
  EXPECT_EQ(pc.slm_method, before.slm_method);
  EXPECT_EQ(pc.full_update, before.full_update);
  EXPECT_EQ(pc.full_update_ratio, before.full_update_ratio);
  EXPECT_EQ(pc.cyclic_columns, before.cyclic_columns);
  EXPECT_EQ(pc.rlambda1, before.rlambda1);
  EXPECT_EQ(pc.phi_ratio, 12.5 / 0.1);  // taken from the two phis
  for (int i = 1; i <= pc.nobs; ++i) {
    EXPECT_EQ(pc.observations[i].model_value[0], before.observations[i].model_value[0]);
    EXPECT_EQ(pc.observations[i].model_value[1], before.observations[i].model_value[1]);
  }
  for (int i = 1; i <= pc.npar; ++i) EXPECT_EQ(pc.params[i].parval1, before.params[i].parval1);
  EXPECT_EQ(pc.obs_groups[1].phi, before.obs_groups[1].phi);
  EXPECT_EQ(pc.obs_groups[2].phi, before.obs_groups[2].phi);
}

TEST_F(Restart, FileLayoutOneValueALine) {
  restart_state st = sample_state(pc);
  ASSERT_EQ(slm_write_restart("basin.rst", st, pc), 0);
  const std::string text = testing::read_file("basin.rst");
  // Switches, then the first matrix row (m = 6 rows of n = 2 values).
  EXPECT_EQ(text.substr(0, text.find('\n', 10) + 1), "1\n1\n0.5\n2\n0\n");
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  // 5 + 2 x 6 rows + 3 + 3 + 4 + 5 + 3 + 2 x 5 + 4 + 2 + 4 + 2 + 2 lines.
  EXPECT_EQ(lines, 5u + 12u + 3u + 3u + 4u + 5u + 3u + 10u + 4u + 2u + 4u + 2u + 2u);
  EXPECT_NE(text.find("\t\n"), std::string::npos);  // matrix rows end with a tab
}

TEST_F(Restart, MissingOrMismatchedFileIsAnError) {
  restart_state st;
  CaptureStdout();
  EXPECT_EQ(slm_read_restart("none.rst", st, pc), toolbox_msg::open_restart);
  EXPECT_EQ(GetCapturedStdout(),
            "\n\n\nError opening the restart file.\nPossibly previous run was not halted "
            "prematurely.\n\n");

  ASSERT_EQ(slm_write_restart("basin.rst", sample_state(pc), pc), 0);
  const std::string good = testing::read_file("basin.rst");
  struct row {
    const char* what;
    std::string text;
    const char* message;
  } rows[] = {
      {"short", good.substr(0, good.size() / 2), "it ends early"},
      {"longer", good + "7\n", "values are left after the last item"},
      {"not a number", "x" + good, "a value is no whole number (line 1)"},
      {"history count", good.substr(0, good.find("3\n12.5")) + "-3" +
                            good.substr(good.find("3\n12.5") + 1),
       "the count of the phi history is out of range"},
  };
  for (const row& r : rows) {
    testing::write_file("basin.rst", r.text);
    CaptureStdout();
    EXPECT_EQ(slm_read_restart("basin.rst", st, pc), toolbox_msg::restart_format) << r.what;
    const std::string out = GetCapturedStdout();
    EXPECT_NE(out.find(r.message), std::string::npos) << r.what << ": " << out;
  }
}

TEST_F(Restart, StopFileValues) {
  struct row {
    const char* text;  // nullptr: no stop file
    stop_request request;
    bool stays;
    const char* notice;
  } rows[] = {
      {nullptr, stop_request::go_on, false, ""},
      {"0\n", stop_request::go_on, false, ""},
      {"1\n", stop_request::stop_now, true, ""},
      {"2\n", stop_request::stop_with_statistics, true,
       "\n\nThe toolbox does not currently support\nceasing execution with a full parameter "
       "statistics printout.\n\n"},
      {"3\n", stop_request::pause, true,
       "\n\nThe toolbox does not currently support pausing execution.\n\n"},
      {"stop\n", stop_request::go_on, false, ""},  // no integer: 999
  };
  for (const row& r : rows) {
    std::remove("pest.stp");
    if (r.text) testing::write_file("pest.stp", r.text);
    CaptureStdout();
    EXPECT_EQ(check_stop_file(), r.request) << (r.text ? r.text : "none");
    EXPECT_EQ(GetCapturedStdout(), r.notice);
    EXPECT_EQ(testing::file_exists("pest.stp"), r.stays) << (r.text ? r.text : "none");
  }
}

}  // namespace
}  // namespace nivra
