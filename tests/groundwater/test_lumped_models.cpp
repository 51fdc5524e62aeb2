// The lumped models against hand calculations: the Sacramento model's
// recession, one percolation increment and its residual; the conceptual
// model's geometric recession and the split of its input; their parameter
// files and the topographic index.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/guarded_file.h"
#include "groundwater/sacramento.h"
#include "inputs/grid_state.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::write_file;

// Capacities 10, 20, 100, 50, 100 mm; uzk 0.2, lzsk 0.1, lzpk 0.01; zperc
// 2, rexp 1.5, pfree 0.2; no saved water.
sac_record sac_soil() {
  sac_record s;
  s.uztwm = 10.0;
  s.uzfwm = 20.0;
  s.lztwm = 100.0;
  s.lzfsm = 50.0;
  s.lzfpm = 100.0;
  s.uzk = 0.2;
  s.lzsk = 0.1;
  s.lzpk = 0.01;
  s.zperc = 2.0;
  s.rexp = 1.5;
  s.pfree = 0.2;
  s.pbase = s.lzfsm * s.lzsk + s.lzfpm * s.lzpk;
  return s;
}

TEST(Sacramento, WithoutInputTheLowerFreeStoresRecedeGeometrically) {
  sac_record s = sac_soil();
  s.uztwc = s.uztwm;
  s.lztwc = s.lztwm;
  s.uzfwc = 0.005;
  s.lzfpc = 80.0;
  s.lzfsc = 20.0;
  double baseflow = 0.0;
  for (int n = 1; n <= 200; ++n) {
    baseflow += sacramento_step(s, 0.0, 0.0).baseflow;
    EXPECT_NEAR(s.lzfpc, 80.0 * std::pow(0.99, n), 1e-12 * 80.0);
    EXPECT_NEAR(s.lzfsc, 20.0 * std::pow(0.9, n), 1e-12 * 20.0);
  }
  EXPECT_NEAR(baseflow, 100.0 - s.lzfpc - s.lzfsc, 1e-10);
  EXPECT_EQ(s.uztwc, s.uztwm);
  EXPECT_EQ(s.lztwc, s.lztwm);
  EXPECT_EQ(s.uzfwc, 0.005);
}

TEST(Sacramento, OnePercolationIncrementByHand) {
  // Upper tension water full, 3 mm of upper free water over an empty lower
  // zone (deficit 1): perc = 1 x 6 x 3/20 x (1 + 2 x 1^1.5) = 2.7 mm;
  // interflow 0.2 x 0.3; 80 % of the percolation fills the lower tension
  // water, the rest splits 1:2 between the supplementary and primary stores
  // (fracp = 2 x 2/3 x 1 / 2).
  sac_record s = sac_soil();
  s.uztwc = 10.0;
  s.uzfwc = 3.0;
  const sac_step_water w = sacramento_step(s, 0.0, 0.0);
  EXPECT_NEAR(w.interflow, 0.06, 1e-15);
  EXPECT_NEAR(s.uzfwc, 0.24, 1e-15);
  EXPECT_NEAR(s.lztwc, 2.16, 1e-15);
  EXPECT_NEAR(s.lzfsc, 0.18, 1e-15);
  EXPECT_NEAR(s.lzfpc, 0.36, 1e-15);
  EXPECT_EQ(w.surface, 0.0);
  EXPECT_EQ(w.baseflow, 0.0);
  EXPECT_NEAR(s.sac_runoff, 0.06, 1e-15);
}

TEST(Sacramento, EveryStepsResidualIsBelowANanoMillimetre) {
  // From dry to full, with and without input and demand, including inputs
  // that run off and steps of many increments.
  const double fills[] = {0.0, 0.1, 0.5, 0.9, 1.0};
  const double inputs[] = {0.0, 0.3, 4.0, 25.0, 180.0};
  const double demands[] = {0.0, 0.2, 1.5, 30.0};
  for (const double f : fills)
    for (const double p : inputs)
      for (const double ep : demands) {
        sac_record s = sac_soil();
        s.uztwc = f * s.uztwm;
        s.uzfwc = (1.0 - f) * s.uzfwm;
        s.lztwc = f * s.lztwm;
        s.lzfsc = f * s.lzfsm;
        s.lzfpc = (1.0 - 0.5 * f) * s.lzfpm;
        for (int step = 0; step < 5; ++step) {
          const double before = s.sac_residual;
          const double stores = s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;
          const sac_step_water w = sacramento_step(s, ep, p);
          const double after = s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;
          EXPECT_LT(std::fabs(s.sac_residual - before), 1e-9);
          EXPECT_NEAR(stores + p, after + w.et + w.runoff(), 1e-9);
          EXPECT_LE(s.lzfpc, s.lzfpm + 1e-12);
          EXPECT_LE(s.lzfsc, s.lzfsm + 1e-12);
          EXPECT_LE(s.uzfwc, s.uzfwm + 1e-12);
          EXPECT_GE(s.lzfsc, 0.0);
        }
      }
}

TEST(ConceptualGroundwater, TheStoresRecedeGeometrically) {
  congw_store_block s;
  s.slow_max = 100.0;
  s.fast_max = 20.0;
  s.slow_rate = 0.01;
  s.fast_rate = 0.2;
  s.slow_content = 60.0;
  s.fast_content = 15.0;
  for (int n = 1; n <= 50; ++n) {
    const congw_outflows q = congw_two_store(0.0, s);
    EXPECT_NEAR(s.slow_content, 60.0 * std::pow(0.99, n), 1e-12);
    EXPECT_NEAR(s.fast_content, 15.0 * std::pow(0.8, n), 1e-12);
    EXPECT_NEAR(q.slow, 60.0 * std::pow(0.99, n - 1) * 0.01, 1e-12);
    EXPECT_NEAR(s.congw_outflow, q.slow + q.fast, 1e-15);
  }
}

TEST(ConceptualGroundwater, AFullSlowStoreSendsTheRestToTheFastOne) {
  congw_store_block s;
  s.slow_max = 100.0;
  s.fast_max = 20.0;
  s.slow_rate = 0.0;
  s.fast_rate = 0.0;
  s.slow_content = 100.0;
  s.fast_content = 5.0;
  congw_two_store(7.0, s);
  EXPECT_EQ(s.slow_content, 100.0);
  EXPECT_NEAR(s.fast_content, 12.0, 1e-12);
  // An empty pair: h = 2 x 20 / 120 = 1/3, the slow store takes
  // (1 - h x 1 / 2) = 5/6 of the input.
  s.slow_content = 0.0;
  s.fast_content = 0.0;
  congw_two_store(6.0, s);
  EXPECT_NEAR(s.slow_content, 5.0, 1e-12);
  EXPECT_NEAR(s.fast_content, 1.0, 1e-12);
}

class LumpedFiles : public testing::process_test {};

std::string sacramento_file(const std::string& uzfwm = "20", const std::string& extra = "") {
  return "NIVRA_SACRAMENTO\nnum_basins 1\nbasin one\nuztwm 10\nuzfwm " + uzfwm +
         "\nuzk 0.2\nzperc 2\nrexp 1.5\nlztwm 100\nlzfsm 50\nlzfpm 100\nlzsk 0.1\nlzpk 0.01\npfree 0.2\n"
         "uztwc 0.5\nuzfwc 1.5\nlztwc -0.2\nlzfsc 0.4\n" +
         extra + "lzfpc 0.8\nsaved 0\n";
}

TEST_F(LumpedFiles, TheSacramentoFileGivesCapacitiesAndFractionsOfThem) {
  write_file("sac.txt", sacramento_file());
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "sac.txt", "r"));
  sac_record s;
  CaptureStderr();
  ASSERT_TRUE(read_sacramento_input(f, "sac.txt", s));
  const std::string warnings = GetCapturedStderr();
  EXPECT_DOUBLE_EQ(s.uztwc, 5.0);
  EXPECT_DOUBLE_EQ(s.uzfwc, 0.99 * 20.0);  // 1.5 of its capacity
  EXPECT_DOUBLE_EQ(s.lztwc, 0.01 * 100.0);  // below 0
  EXPECT_DOUBLE_EQ(s.lzfpc, 80.0);
  EXPECT_DOUBLE_EQ(s.pbase, 6.0);
  EXPECT_NE(warnings.find("WARNING:uzfwc changed!"), std::string::npos);
  EXPECT_NE(warnings.find("WARNING:lztwc changed!"), std::string::npos);
}

TEST_F(LumpedFiles, FaultsOfTheParameterFilesStopNamingTheCard) {
  const struct {
    std::string text;
    bool sacramento;
    const char* message;
  } cases[] = {
      {sacramento_file("0"), true, "the uzfwm card of the Sacramento parameter file p.txt gives a capacity of 0"},
      {sacramento_file("20", "uzk 0.3\n"), true, "line 19 of the Sacramento parameter file p.txt gives the uzk card again"},
      {"NIVRA_SACRAMENTO\nuztwm ten\n", true, "line 2 of the Sacramento parameter file p.txt: the uztwm card needs a number"},
      {"NIVRA_SACRAMENTO\nuztwm 10\n", true, "Only 1 parameters read."},
      {"SACRAMENTO\nuztwm 10\n", true, "does not begin with NIVRA_SACRAMENTO"},
      {"NIVRA_CONCEPTUAL_GW\nslow_max 0\nfast_max 20\nslow_rate 0.1\nfast_rate 0.2\nslow_content 0.5\n"
       "fast_content 0.5\nunderflow_percent 0\n",
       false, "the slow_max card of the conceptual groundwater parameter file p.txt gives 0"},
      {"NIVRA_CONCEPTUAL_GW\nslow_max 10\nfast_max 20\nslow_rate 1.5\nfast_rate 0.2\nslow_content 0.5\n"
       "fast_content 0.5\nunderflow_percent 0\n",
       false, "the slow_rate card"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.message);
    write_file("p.txt", k.text);
    guarded_file f;
    ASSERT_TRUE(open_guarded_file(f, "p.txt", "r"));
    CaptureStdout();
    CaptureStderr();
    sac_record s;
    congw_store_block g;
    const bool read = k.sacramento ? read_sacramento_input(f, "p.txt", s) : read_conceptual_gw(f, "p.txt", g);
    const std::string out = GetCapturedStdout() + GetCapturedStderr();
    EXPECT_FALSE(read);
    EXPECT_NE(out.find(k.message), std::string::npos) << out;
  }
}

TEST_F(LumpedFiles, ANegativeConceptualCapacityBecomesTenWithAWarning) {
  write_file("c.txt", "NIVRA_CONCEPTUAL_GW\nslow_max -3\nfast_max 20\nslow_rate -0.1\nfast_rate 0.2\n"
                      "slow_content 0.5\nfast_content 0.25\nunderflow_percent 3\n");
  guarded_file f;
  ASSERT_TRUE(open_guarded_file(f, "c.txt", "r"));
  congw_store_block s;
  CaptureStderr();
  ASSERT_TRUE(read_conceptual_gw(f, "c.txt", s));
  const std::string warnings = GetCapturedStderr();
  EXPECT_EQ(s.slow_max, 10.0);
  EXPECT_EQ(s.slow_rate, 0.01);
  EXPECT_EQ(s.slow_content, 5.0);
  EXPECT_EQ(s.fast_content, 5.0);
  EXPECT_EQ(s.underflow_percent, 0.01);
  EXPECT_DOUBLE_EQ(s.congw_max_outflow, 10.0 * 0.01 + 20.0 * 0.2);
  for (const char* w : {"WARNING:slow_max changed!", "WARNING:slow_rate changed!", "WARNING:underflow_percent changed!"})
    EXPECT_NE(warnings.find(w), std::string::npos) << w;
}

// A grid of rows x cols cells of 10 m, every position in the watershed.
grid_state small_grid(int rows, int cols, const std::vector<double>& z) {
  grid_state g;
  g.nrows = rows;
  g.ncols = cols;
  g.ncells = rows * cols;
  g.grid_size = 10.0;
  g.mask.alloc(rows + 1, cols + 1);
  g.elevation.alloc(g.ncells);
  int k = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      g.mask(r, c) = ++k;
      g.elevation[k] = z[static_cast<std::size_t>(k - 1)];
    }
  return g;
}

TEST_F(LumpedFiles, TheTopographicIndexOfASlopeByHandAndOfAFlatCell) {
  // Three cells in a row falling 1 m per cell eastward: the first passes its
  // 100 m2 to the second through a contour of 5 m at a slope of 0.1: index
  // ln(100 / 0.5); the second passes 200 m2 on: ln(400); the last, with no
  // lower neighbour and a mean rise of 0.1 to its one neighbour: ln(300 /
  // (2 x 10 x 0.1)).
  const grid_state row = small_grid(1, 3, {3.0, 2.0, 1.0});
  array1d<double> ti(3);
  ASSERT_TRUE(sacramento_topo_index(row, ti));
  EXPECT_NEAR(ti[1], std::log(200.0), 1e-12);
  EXPECT_NEAR(ti[2], std::log(400.0), 1e-12);
  EXPECT_NEAR(ti[3], std::log(300.0 / 2.0), 1e-12);
  array1d<double> up(3);
  ASSERT_TRUE(produce_upslope_area(row, up));
  EXPECT_DOUBLE_EQ(up[3], 300.0);

  const grid_state flat = small_grid(2, 2, {5.0, 5.0, 5.0, 5.0});
  array1d<double> tf(4);
  ASSERT_TRUE(sacramento_topo_index(flat, tf));
  for (int c = 1; c <= 4; ++c) EXPECT_EQ(tf[c], 0.333);
}

}  // namespace
}  // namespace nivra
