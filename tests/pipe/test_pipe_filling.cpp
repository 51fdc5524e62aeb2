// A dry chain of pipes filling under a steady inflow (tests/pipe/pipe_filling):
// three circular pipes of 0.6 m, 100 m long, n 0.013, slope 0.5 %, between
// superjunctions of 1 m2, the last a free outfall. The first cell is an open
// inlet on the top superjunction, so 100 mm/h on its 100 m x 100 m gives a
// steady 0.2778 m3/s into the dry pipes from the start (64 % of a pipe's
// full capacity) for an hour. c.prj routes each pipe whole, c_copt.prj cuts
// every pipe into computational pipes of 10, 20, 40, 20 and 10 m.
//
// The references: EPA SWMM 5.2.4 (dynamic wave, 1 s routing step) given the
// same inflow; the normal depth of the pipe by Manning's formula; the
// kinematic shock that a steady inflow sends into a dry pipe, which moves at
// the mean velocity of the flow behind it, Q / A.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "clock/clock_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "pipe/pipe_state.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using testing::set_card;

// EPA SWMM 5.2.4 on the same chain.
constexpr double swmm_peak_outflow = 0.2798;         // m3/s
constexpr double swmm_steady_outflow = 0.2778;       // m3/s, at 55 min
constexpr double swmm_half_peak_minutes = 2.583;     // the outflow reaches half its peak
constexpr double swmm_peak_top_depth = 0.3808;       // m, top superjunction
constexpr double swmm_steady_top_depth = 0.3488;     // m
constexpr double swmm_outflow_volume = 1000.01;      // m3

constexpr double diameter = 0.6, manning_n = 0.013, slope = 0.005, chain_length = 300.0;
constexpr double inflow = 100.0 / 3.6e6 * 100.0 * 100.0;  // m3/s

// Flow area of the circular pipe at depth y.
double circle_area(double y) {
  const double theta = 2.0 * std::acos(1.0 - 2.0 * y / diameter);
  return diameter * diameter / 8.0 * (theta - std::sin(theta));
}

// The normal depth of the inflow by Manning's formula, by bisection.
double normal_depth() {
  double lo = 1e-6, hi = 0.9 * diameter;
  for (int i = 0; i < 200; ++i) {
    const double y = 0.5 * (lo + hi);
    const double theta = 2.0 * std::acos(1.0 - 2.0 * y / diameter);
    const double a = circle_area(y), r = a / (0.5 * diameter * theta);
    const double q = a * std::pow(r, 2.0 / 3.0) * std::sqrt(slope) / manning_n;
    (q < inflow ? lo : hi) = y;
  }
  return 0.5 * (lo + hi);
}

// What a run of the chain gives, per call of the pipe step: the outflow
// (the volume the outfall received over the call, over its length) and the
// depth of the top superjunction at the call's end.
struct filling_run {
  bool ended = false;
  double dt = 0.0;  // s
  std::vector<double> outflow, top_depth;
  double outflow_volume = 0.0;
  int repeated_passes_in_steady_flow = 0;  // from 30 to 55 min

  double peak_outflow() const { return *std::max_element(outflow.begin(), outflow.end()); }
  double peak_top_depth() const { return *std::max_element(top_depth.begin(), top_depth.end()); }
  // Call c (1-based) ends at c dt.
  double outflow_at(double minutes) const {
    return outflow[static_cast<std::size_t>(std::lround(minutes * 60.0 / dt)) - 1];
  }
  double top_depth_at(double minutes) const {
    return top_depth[static_cast<std::size_t>(std::lround(minutes * 60.0 / dt)) - 1];
  }
  // When the outflow first reaches half its peak, between call ends.
  double half_peak_minutes() const {
    const double half = 0.5 * peak_outflow();
    for (std::size_t i = 1; i < outflow.size(); ++i)
      if (outflow[i] >= half) {
        const double t0 = static_cast<double>(i) * dt;
        return (t0 + (half - outflow[i - 1]) / (outflow[i] - outflow[i - 1]) * dt) / 60.0;
      }
    return -1.0;
  }
};

class PipeFilling : public testing::process_test {
 protected:
  filling_run run(const std::string& project, double timestep, int minutes) {
    const std::filesystem::path from = std::filesystem::path(NIVRA_SOURCE_DIR) / "tests" / "pipe" / "pipe_filling";
    for (const auto& entry : std::filesystem::directory_iterator(from))
      std::filesystem::copy_file(entry.path(), entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
    set_card(project, "TIMESTEP", "TIMESTEP " + std::to_string(timestep));
    set_card(project, "TOT_TIME", "TOT_TIME " + std::to_string(minutes));
    filling_run r;
    r.dt = timestep;
    int calls = 0;
    double delivered = 0.0;
    const testing::storm_run s = testing::run_storm(project, {}, 100000, [&](const model_state& ms) {
      const pipe_state& p = ms.pipe;
      if (p.solver.calls == calls) return;
      calls = p.solver.calls;
      const double total = ms.ledger.run_total(water_flux::pipes_to_overland);
      r.outflow.push_back((total - delivered) / timestep);
      delivered = total;
      r.top_depth.push_back(p.slink_node_depth(1, 1));
      if (calls * timestep == 30.0 * 60.0) r.repeated_passes_in_steady_flow -= (p.solver.link_passes + p.solver.link_reruns);
      if (calls * timestep == 55.0 * 60.0) r.repeated_passes_in_steady_flow += (p.solver.link_passes + p.solver.link_reruns);
    });
    r.ended = s.ended;
    r.outflow_volume = delivered;
    return r;
  }
};

TEST_F(PipeFilling, ADryChainFillsWithoutSurchargeAndCarriesTheInflow) {
  const double yn = normal_depth();
  EXPECT_NEAR(yn, 0.349, 0.001);
  // The front of the flow reaches the outfall after 300 m at Q / A.
  const double shock_minutes = chain_length / (inflow / circle_area(yn)) / 60.0;
  EXPECT_NEAR(shock_minutes, 3.07, 0.01);

  const struct {
    const char* project;
    double peak_share;  // of SWMM's peak outflow
  } cases[] = {
      // Each pipe whole: the water of a pipe's halves is lumped at the level
      // of its superjunctions, between which the pipe's water swings: the
      // outflow overshoots its steady value by 9 % while the chain fills
      // (13 % at a 1 s step: the lumping's, not the time step's).
      {"c.prj", 0.10},
      // Computational pipes follow the front: no overshoot, as SWMM's 0.7 %.
      {"c_copt.prj", 0.01},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.project);
    const filling_run r = run(c.project, 5.0, 120);
    ASSERT_TRUE(r.ended);
    ASSERT_EQ(r.outflow.size(), 1440u);
    // Steady flow: the inflow leaves at its normal depth.
    EXPECT_NEAR(r.outflow_at(55.0), swmm_steady_outflow, 1e-3 * swmm_steady_outflow);
    EXPECT_NEAR(r.outflow_at(55.0), inflow, 1e-3 * inflow);
    EXPECT_NEAR(r.top_depth_at(55.0), swmm_steady_top_depth, 0.01 * swmm_steady_top_depth);
    EXPECT_NEAR(r.top_depth_at(55.0), yn, 0.01 * yn);
    // The hour's 1000 m3 leave the chain.
    EXPECT_NEAR(r.outflow_volume, swmm_outflow_volume, 1e-3 * swmm_outflow_volume);
    // Filling: the top superjunction stays below the crown of a pipe that
    // carries the flow at part-full depth, near SWMM's peak depth.
    EXPECT_LT(r.peak_top_depth(), diameter);
    EXPECT_NEAR(r.peak_top_depth(), swmm_peak_top_depth, 0.1 * swmm_peak_top_depth);
    EXPECT_NEAR(r.peak_outflow(), swmm_peak_outflow, c.peak_share * swmm_peak_outflow);
    // The wave arrives between SWMM's time, whose 100 m conduits spread the
    // front ahead, and a little after the kinematic shock.
    EXPECT_GT(r.half_peak_minutes(), swmm_half_peak_minutes);
    EXPECT_LT(r.half_peak_minutes(), shock_minutes + 0.15);
    // Steady flow takes one pass a step.
    EXPECT_EQ(r.repeated_passes_in_steady_flow, 0);
  }
}

TEST_F(PipeFilling, TheFillingConvergesAsTheStepShrinks) {
  // The first five minutes with computational pipes at steps of 1, 0.5 and
  // 0.25 s. The peak depth of the top superjunction, while the water in the
  // first pipes gathers speed about 10 s after the start, settles: each
  // halving of the step changes it less than the one before (0.46, 0.49,
  // 0.51 m, toward about 0.52 m; a step of 5 s spreads the start over one
  // step and gives 0.35 m). The arrival of the wave and the water delivered
  // in the first four minutes hardly move.
  std::vector<double> depth, half, delivered;
  for (const double dt : {1.0, 0.5, 0.25}) {
    const filling_run r = run("c_copt.prj", dt, 5);
    ASSERT_TRUE(r.ended) << dt;
    EXPECT_LT(r.peak_top_depth(), diameter) << dt;
    depth.push_back(r.peak_top_depth());
    half.push_back(r.half_peak_minutes());
    double v = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(std::lround(240.0 / dt)); ++i) v += r.outflow[i] * dt;
    delivered.push_back(v);
  }
  EXPECT_LT(std::fabs(depth[2] - depth[1]), std::fabs(depth[1] - depth[0]));
  EXPECT_LT(std::fabs(depth[2] - depth[1]), 0.02);
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_NEAR(half[i], half[0], 0.01) << i;
    EXPECT_NEAR(delivered[i], delivered[i - 1], 0.005 * delivered[i - 1]) << i;
  }
}

}  // namespace
}  // namespace nivra
