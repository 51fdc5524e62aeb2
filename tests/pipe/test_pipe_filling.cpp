// A dry chain of pipes filling under a steady inflow (tests/pipe/pipe_filling):
// three circular pipes of 0.6 m, 100 m long, n 0.013, slope 0.5 %, between
// superjunctions of 1 m2, the last a free outfall. The first cell is an open
// inlet on the top superjunction, so 100 mm/h on its 100 m x 100 m gives a
// steady 0.2778 m3/s into the dry pipes from the start (64 % of a pipe's
// full capacity) for an hour. c.prj routes each pipe whole, c_copt.prj cuts
// every pipe into computational pipes of 10, 20, 40, 20 and 10 m.
//
// The references: the peer's figures for the same chain and inflow (a
// dynamic-wave sewer program at a 1 s routing step, each pipe one conduit
// between two nodes); an independent finite-volume solution of the
// shallow-water equations in the same 300 m of pipe (HLL fluxes, cells of
// 4 m down to 0.25 m, the inflow entering with its momentum), whose outflow
// reaches half its peak at 2.85 min for every cell size; the normal depth
// of the pipe by Manning's formula; the kinematic shock that a steady inflow
// sends into a dry pipe, which moves at the mean velocity of the flow behind
// it, Q / A.
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

// The peer's figures for the chain.
constexpr double peer_peak_outflow = 0.2798;      // m3/s
constexpr double peer_steady_outflow = 0.2778;    // m3/s, at 55 min
constexpr double peer_half_peak_minutes = 2.583;  // the outflow reaches half its peak
constexpr double peer_peak_top_depth = 0.3808;    // m, top superjunction
constexpr double peer_steady_top_depth = 0.3488;  // m
constexpr double peer_outflow_volume = 1000.01;   // m3
// The finite-volume solution: the outflow reaches half its peak.
constexpr double shallow_water_half_peak_minutes = 2.853;

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
  int reruns_in_steady_flow = 0;  // superlinks run again or passed again, from 30 to 55 min
  int group_steps_in_steady_flow = 0;  // steps of groups of fast superjunctions, from 30 to 55 min
  int group_steps = 0;                 // over the run

  double peak_outflow() const { return *std::max_element(outflow.begin(), outflow.end()); }
  double peak_top_depth() const { return *std::max_element(top_depth.begin(), top_depth.end()); }
  // Call c (1-based) ends at c dt.
  double outflow_at(double minutes) const {
    return outflow[static_cast<std::size_t>(std::lround(minutes * 60.0 / dt)) - 1];
  }
  double top_depth_at(double minutes) const {
    return top_depth[static_cast<std::size_t>(std::lround(minutes * 60.0 / dt)) - 1];
  }
  // When the outflow first reaches half its peak. A call's outflow is its
  // mean over the call, which the flow passes through about the call's
  // middle: the outflows are taken there and the time between them
  // interpolated. (Taken at the calls' ends, a step of 5 s would put the
  // time 2.5 s late.)
  double half_peak_minutes() const {
    const double half = 0.5 * peak_outflow();
    for (std::size_t i = 1; i < outflow.size(); ++i)
      if (outflow[i] >= half) {
        const double t0 = (static_cast<double>(i) - 0.5) * dt;
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
      const int reruns = p.solver.link_passes + p.solver.link_reruns;
      if (calls * timestep == 30.0 * 60.0) {
        r.reruns_in_steady_flow -= reruns;
        r.group_steps_in_steady_flow -= p.solver.group_steps;
      }
      if (calls * timestep == 55.0 * 60.0) {
        r.reruns_in_steady_flow += reruns;
        r.group_steps_in_steady_flow += p.solver.group_steps;
      }
      r.group_steps = p.solver.group_steps;
    });
    r.ended = s.ended;
    r.outflow_volume = delivered;
    return r;
  }
};

TEST_F(PipeFilling, TheReferencesAgree) {
  // The inflow leaves at the normal depth, where the peer stands; its front
  // reaches the outfall after 300 m at Q / A.
  const double yn = normal_depth();
  EXPECT_NEAR(yn, 0.349, 0.001);
  EXPECT_NEAR(yn, peer_steady_top_depth, 0.001);
  EXPECT_NEAR(chain_length / (inflow / circle_area(yn)) / 60.0, 3.07, 0.01);
}

// The steady flow and the water of both runs at the case's step of 5 s.
void expect_steady_flow(const filling_run& r) {
  ASSERT_TRUE(r.ended);
  ASSERT_EQ(r.outflow.size(), 1440u);
  // The inflow leaves. The pipe below the top superjunction carries it at
  // its normal depth, raised by the backwater of the exit loss where it
  // opens into the next superjunction (a velocity head, 0.135 m at the
  // normal depth) but by less than that loss; the peer takes no such loss.
  EXPECT_NEAR(r.outflow_at(55.0), peer_steady_outflow, 0.005 * peer_steady_outflow);
  EXPECT_NEAR(r.outflow_at(55.0), inflow, 1e-3 * inflow);
  const double yn = normal_depth(), velocity = inflow / circle_area(yn);
  EXPECT_GT(r.top_depth_at(55.0), yn);
  EXPECT_LT(r.top_depth_at(55.0), yn + 0.5 * velocity * velocity / (2.0 * 9.81));
  // The hour's 1000 m3 leave the chain.
  EXPECT_NEAR(r.outflow_volume, peer_outflow_volume, 1e-3 * peer_outflow_volume);
  // The top superjunction stays below the crown of a pipe that carries the
  // flow at part-full depth, and the outflow never overshoots by much.
  EXPECT_LT(r.peak_top_depth(), diameter);
  EXPECT_NEAR(r.peak_outflow(), peer_peak_outflow, 0.03 * peer_peak_outflow);
  // Steady flow takes one pass a step: no superlink runs again, no
  // superjunction takes steps of its own. The filling took some.
  EXPECT_EQ(r.reruns_in_steady_flow, 0);
  EXPECT_EQ(r.group_steps_in_steady_flow, 0);
  EXPECT_GT(r.group_steps, 0);
}

TEST_F(PipeFilling, WholePipesFillAsThePeersDo) {
  // Each pipe whole, as the peer takes each as one conduit: the water of a
  // pipe's halves is lumped at the level of its superjunctions, so the
  // front spreads ahead over a pipe at once, and the top superjunction
  // holds half the first pipe while the flow in it gathers speed. The
  // filling follows the peer's figures.
  const filling_run r = run("c.prj", 5.0, 120);
  expect_steady_flow(r);
  EXPECT_NEAR(r.half_peak_minutes(), peer_half_peak_minutes, 0.1 * peer_half_peak_minutes);
  EXPECT_NEAR(r.peak_top_depth(), peer_peak_top_depth, 0.05 * peer_peak_top_depth);
  std::printf("whole pipes: peak %.4f m3/s, half its peak at %.3f min, top superjunction %.4f m\n",
              r.peak_outflow(), r.half_peak_minutes(), r.peak_top_depth());
}

TEST_F(PipeFilling, ComputationalPipesFollowTheFrontOfTheShallowWaterSolution) {
  // Cut into pipes of 10 to 40 m the chain resolves the front that whole
  // pipes spread over 100 m ahead: the outflow reaches half its peak after
  // the finite-volume solution, held back a few seconds at each of the two
  // superjunctions on the way (where every superlink loses a velocity head,
  // which that solution has no reason to), but not after the kinematic
  // shock; not 10 % before it as whole pipes and the peer do.
  const filling_run r = run("c_copt.prj", 5.0, 120);
  expect_steady_flow(r);
  const double shock_minutes = chain_length / (inflow / circle_area(normal_depth())) / 60.0;
  EXPECT_GT(r.half_peak_minutes(), shallow_water_half_peak_minutes);
  EXPECT_LT(r.half_peak_minutes(), 1.1 * shallow_water_half_peak_minutes);
  EXPECT_LT(r.half_peak_minutes(), shock_minutes + 0.1);
  std::printf("computational pipes: peak %.4f m3/s, half its peak at %.3f min, top superjunction %.4f m\n",
              r.peak_outflow(), r.half_peak_minutes(), r.peak_top_depth());
}

TEST_F(PipeFilling, TheFillingConvergesAsTheStepShrinks) {
  // The first five minutes with computational pipes at steps of 1, 0.5 and
  // 0.25 s. The peak depth of the top superjunction, while the water in the
  // first pipe gathers speed in the first seconds, settles: each halving of
  // the step changes it less than the one before, by a centimetre at most.
  // The arrival of the wave and the water delivered in the first four
  // minutes hardly move.
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
  EXPECT_LT(std::fabs(depth[2] - depth[1]), 0.01);
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_NEAR(half[i], half[i - 1], 0.01) << i;
    EXPECT_NEAR(delivered[i], delivered[i - 1], 0.005 * delivered[i - 1]) << i;
  }
  // Whole pipes at the case's step and its halves: the figures the peer is
  // held to move by little.
  std::vector<double> peak, top, arrival;
  for (const double dt : {5.0, 2.5, 1.25}) {
    const filling_run r = run("c.prj", dt, 10);
    ASSERT_TRUE(r.ended) << dt;
    peak.push_back(r.peak_outflow());
    top.push_back(r.peak_top_depth());
    arrival.push_back(r.half_peak_minutes());
  }
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_NEAR(peak[i], peak[0], 0.01 * peak[0]) << i;
    EXPECT_NEAR(top[i], top[0], 0.02 * top[0]) << i;
    EXPECT_NEAR(arrival[i], arrival[0], 0.02 * arrival[0]) << i;
  }
}

TEST_F(PipeFilling, TheCasesStepAgreesWithTheConvergedRun) {
  // The first five minutes at the case's step of 5 s against the same
  // chain at 1/16 s, with computational pipes and whole. For a minute the
  // water in the first pipe sways in and out of the top superjunction (a
  // few seconds up, ten down), far faster than the case's step: the
  // superjunction takes steps of its own. At every call end of the 5 s run
  // its depth lies within 1 cm of the converged run's at that time, and
  // the highest of them within 1 % of the converged run's highest at those
  // times; each call's outflow lies within 0.01 m3/s of the converged
  // run's over the same 5 s while the front reaches the outfall, and the
  // outflow reaches half its peak within 1 % of the converged time.
  for (const char* project : {"c_copt.prj", "c.prj"}) {
    const filling_run coarse = run(project, 5.0, 5), fine = run(project, 0.0625, 5);
    ASSERT_TRUE(coarse.ended && fine.ended) << project;
    ASSERT_EQ(fine.outflow.size(), 80 * coarse.outflow.size()) << project;
    double highest = 0.0, worst_depth = 0.0, worst_flow = 0.0;
    for (std::size_t i = 0; i < coarse.outflow.size(); ++i) {
      const std::size_t end = 80 * i + 79;
      double mean = 0.0;
      for (std::size_t k = 80 * i; k <= end; ++k) mean += fine.outflow[k] / 80.0;
      worst_depth = std::max(worst_depth, std::fabs(coarse.top_depth[i] - fine.top_depth[end]));
      worst_flow = std::max(worst_flow, std::fabs(coarse.outflow[i] - mean));
      highest = std::max(highest, fine.top_depth[end]);
    }
    EXPECT_LT(worst_depth, 0.01) << project;
    EXPECT_LT(worst_flow, 0.01) << project;
    EXPECT_NEAR(coarse.peak_top_depth(), highest, 0.01 * highest) << project;
    EXPECT_NEAR(coarse.half_peak_minutes(), fine.half_peak_minutes(), 0.01 * fine.half_peak_minutes()) << project;
    std::printf("%s at 5 s against 1/16 s: top superjunction within %.4f m, outflow within %.4f m3/s; highest "
                "depth at the call ends %.4f m against %.4f m (between them %.4f m); half the peak at %.3f "
                "against %.3f min\n",
                project, worst_depth, worst_flow, coarse.peak_top_depth(), highest, fine.peak_top_depth(),
                coarse.half_peak_minutes(), fine.half_peak_minutes());
  }
}

}  // namespace
}  // namespace nivra
