// Whole runs with channels. The V-catchment of examples/vcatch: two planes
// 800 m by 1000 m (n 0.015) falling 5 % to a channel 20 m wide (n 0.15)
// and 2 % along it, under 10.8 mm/h for 90 min, must come to the
// equilibrium discharge, rain times area = 3e-6 m/s x 1.62 km2 = 4.86 m3/s,
// without passing it, recede smoothly and account for every cubic metre.
// A channel fed only by a point source; the point-source file's changes
// and its faults. Two steady states that the routing must reach without
// oscillating from one channel step to the next, and that a finer sub-step
// must not move: a pool behind a weir on a flat bed, and the V-catchment's
// channel overtopping its banks under a large headwater inflow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "channel/channel_storage.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::set_card;
using testing::write_file;

constexpr double equilibrium = 10.8 / 3.6e6 * 1620.0 * 1000.0;

class ChannelRuns : public testing::process_test {
 protected:
  void SetUp() override {
    testing::process_test::SetUp();
    testing::copy_example("vcatch");
  }
};

TEST_F(ChannelRuns, TheVCatchmentComesToEquilibriumAndRecedes) {
  ASSERT_NEAR(equilibrium, 4.86, 1e-12);
  // Thirty minutes of recession are enough to see its shape.
  set_card("vcatch.prj", "TOT_TIME", "TOT_TIME 120");
  testing::storm_run r = testing::run_storm("vcatch.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  // One entry per 10 s step; entry i ends at (i + 2) x 10 s at the latest.
  const int rain_end = 90 * 6 - 2;
  ASSERT_GT(static_cast<int>(r.qout.size()), rain_end + 170);
  const double by_rain_end = *std::max_element(r.qout.begin(), r.qout.begin() + rain_end);
  const double peak = *std::max_element(r.qout.begin(), r.qout.end());
  EXPECT_GE(by_rain_end, 0.97 * equilibrium);
  EXPECT_LE(peak, 1.01 * equilibrium);
  // The recession falls step by step, never by more than 1 % of the
  // equilibrium discharge in a step.
  double steepest = 0.0;
  for (std::size_t i = rain_end + 4; i + 1 < r.qout.size(); ++i) {
    EXPECT_LE(r.qout[i + 1], r.qout[i] + 1e-12) << i;
    steepest = std::max(steepest, r.qout[i] - r.qout[i + 1]);
  }
  EXPECT_LT(steepest, 0.01 * equilibrium);

  // Every cubic metre of rain left at the outlet or is still on the
  // planes or in the channel.
  const water_ledger& l = ms.ledger;
  const double rain = l.run_total(water_flux::rainfall_to_overland);
  EXPECT_NEAR(rain, 3e-6 * 1620.0 * 1000.0 * 90 * 60, 1e-6);
  const double left = l.run_total(water_flux::outlet_discharge) + l.storage(water_store::surface, ledger_moment::run_end) +
                      l.storage(water_store::channels, ledger_moment::run_end);
  EXPECT_NEAR(left, rain, 1e-9 * rain);
  EXPECT_NEAR(l.storage(water_store::channels, ledger_moment::run_end), channel_storage(ms), 1e-9);
  EXPECT_NEAR(l.run_total(water_flux::channel_lateral_net), l.run_total(water_flux::outlet_discharge) +
                                                                 channel_storage(ms) - l.run_total(water_flux::channel_area_fill),
              1e-9 * rain);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  std::printf("V-catchment: %.4f m3/s by the end of the rain, peak %.4f m3/s, steepest fall %.4f m3/s per step, "
              "%d channel areas just below zero set to zero (%.3g m3)\n",
              by_rain_end, peak, steepest, ms.channel.clipped_area_count, l.run_total(water_flux::channel_area_fill));
}

// A run that ends before TOT_TIME (END_TIME two hours in, of six) tells its
// link/node files how many blocks they hold: TS 0 to 24 every 5 minutes;
// the flood stream file holds its one block.
TEST_F(ChannelRuns, LinkNodeFilesCountTheBlocksOfARunThatEndedEarly) {
  set_card("vcatch.prj", "TOT_TIME", "TOT_TIME 360");
  set_card("vcatch.prj", "END_TIME", "END_TIME 2024 6 15 14 0");
  set_card("vcatch.prj", "CHAN_DEPTH", "CHAN_DEPTH vcatch.dep");
  set_card("vcatch.prj", "FLOOD_STREAM", "FLOOD_STREAM vcatch.fld");
  const testing::storm_run r = testing::run_storm("vcatch.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const std::string depth = read_file("vcatch.dep");
  EXPECT_NE(depth.find("NUM_TS        24\n"), std::string::npos) << depth.substr(0, 120);
  EXPECT_NE(depth.find("TS    24\n"), std::string::npos);
  EXPECT_EQ(depth.find("TS    25\n"), std::string::npos);
  EXPECT_NE(read_file("vcatch.fld").find("NUM_TS        0 \n"), std::string::npos);
}

TEST_F(ChannelRuns, ADryChannelFedOnlyByAPointSourceRoutesItsWater) {
  // 2 m3/s into the head of the valley's channel, 0.5 m3/s from 12:30; no
  // rain.
  write_file("points.txt",
             "Inflow at the head of the valley\nNUMPT 1\nPOINT 1 1 2.0\nNRPDS 1\nINPUT 2024 6 15 12 30 0.5\n");
  set_card("vcatch.prj", "TOT_TIME", "TOT_TIME 60");
  set_card("vcatch.prj", "CHAN_POINT_INPUT", "CHAN_POINT_INPUT points.txt");
  // The channel starts still, as after the end of an event.
  testing::storm_run r = testing::run_storm("vcatch.prj", [](model_state& ms) {
    ms.hydromet.rain_intensity = 0.0;
    ms.clock.chan_flow_started = 0;
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  EXPECT_EQ(ms.channel.chan_point_flow[ms.channel.max_nodes_per_link + 1], 0.5);
  const water_ledger& l = ms.ledger;
  EXPECT_NEAR(l.run_total(water_flux::channel_point_sources), 2.0 * 1800.0 + 0.5 * 1800.0, 1e-6);
  EXPECT_GT(l.run_total(water_flux::outlet_discharge), 0.0);
  EXPECT_NEAR(l.run_total(water_flux::outlet_discharge) + channel_storage(ms),
              l.run_total(water_flux::channel_point_sources), 1e-9 * 4500.0);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  char line[120];
  std::snprintf(line, sizeof line, "Total channel point sources=                    %14.2lf\n", 4500.0);
  EXPECT_NE(read_file("vcatch.sum").find(line), std::string::npos);
}

TEST_F(ChannelRuns, APointSourceChangeTakesEffectAtTheFirstStepOnOrAfterItsDate) {
  // A two-digit year is of the 1900s: the change of 1 February 1995 lies
  // before the run and holds from its first step.
  write_file("points.txt", "numpt 2\npoint 3 1 1.0\npoint 5 2 0.25\nnrpds 1\ninput 95 2 1 0 0\n0.75 0.125\n");
  set_card("vcatch.prj", "CHAN_POINT_INPUT", "CHAN_POINT_INPUT points.txt");
  auto ms = make_model_state();
  ::testing::internal::CaptureStdout();
  const bool set_up = set_up_run(*ms, "vcatch.prj", nullptr);
  ms->hydromet.rain_intensity = 0.0;
  // Up to the first channel step.
  bool stepped = set_up;
  while (stepped && ms->channel.chan_steps == 0) stepped = run_time_step(*ms);
  const std::string console = ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(stepped) << console;
  const channel_state& ch = ms->channel;
  EXPECT_EQ(ch.chan_point_change_time[1], julian_date(1995, 2, 1, 0, 0, 0.0));
  const int stride = ch.max_nodes_per_link;
  EXPECT_EQ(ch.chan_point_flow[stride + 3], 0.75);
  EXPECT_EQ(ch.chan_point_flow[2 * stride + 5], 0.125);
  EXPECT_EQ(ch.chan_point_next_time, 0.0);
  // The dry channel took the sources' water at its first step.
  EXPECT_EQ(ms->clock.chan_flow_started, 1);
  EXPECT_GT(ch.area(3, 1), 0.0);
  EXPECT_GT(ch.qp(3, 1), 0.0);
}

TEST_F(ChannelRuns, FaultsOfThePointSourceFileStopTheSetUp) {
  const struct {
    const char* file;
    const char* message;
  } cases[] = {
      {"points 1\n", "NIVRA cannot\nfind the first card."},
      {"numpt 1\npoint 26 1 2.0\nnrpds 0\n", "line 2 of the channel point-source file points.txt names node 26 of "
                                             "link 1, which is no computational node of a channel link."},
      {"numpt 2\npoint 3 1 2.0\npoint 3 1 1.0\nnrpds 0\n", "line 3 of the channel point-source file points.txt "
                                                          "gives node 3 of link 1 a second point source."},
      {"numpt 1\npoint 3 1 lots\nnrpds 0\n", "line 2 of the channel point-source file points.txt gives the "
                                             "discharge \"lots\""},
      {"numpt 1\npoint 3 1 2.0\nnrpds 2\ninput 2024 6 15 13 0 1.0\ninput 2024 6 15 12 0 1.0\n",
       "line 5 of the channel point-source file points.txt gives a change that does not follow the one before it."},
      {"numpt 1\npoint 3 1 2.0\nnrpds 1\ninput 2023 2 29 0 0 1.0\n", "2023-02-29, which is no date of the calendar"},
      {"numpt 1\npoint 3 1 2.0\nnrpds 1\ninput 2024 6 15 13 0\n", "gives the discharge no value"},
      {"numpt 1\npoint 3 1 2.0\n", "find the number of timed changes to your point inputs."},
      // Counts that disagree with the cards they count.
      {"numpt 1\npoint 3 1 2.0\npoint 5 2 1.0\nnrpds 0\n",
       "Error: line 3 of the channel point-source file points.txt begins with point where the card nrpds is due: "
       "NUMPT and NRPDS count the POINT and INPUT cards.\n"},
      {"numpt 1\npoint 3 1 2.0\nnrpds 1\ninput 2024 6 15 13 0 1.0\ninput 2024 6 15 14 0 0.5\n",
       "Error: line 5 of the channel point-source file points.txt holds a card or a value after the 1 changes its "
       "NRPDS card counts.\n"},
      {"numpt 1\npoint 3 1 2.0\nnrpds 1\ninput 2024 6 15 13 0 1.0 0.5\n",
       "Error: line 4 of the channel point-source file points.txt holds a card or a value after the 1 changes"},
  };
  set_card("vcatch.prj", "CHAN_POINT_INPUT", "CHAN_POINT_INPUT points.txt");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    reset_process_state();
    write_file("points.txt", c.file);
    auto ms = make_model_state();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(set_up_run(*ms, "vcatch.prj", nullptr));
    const std::string text = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
  }
  reset_process_state();
  set_card("vcatch.prj", "CHAN_POINT_INPUT", "CHAN_POINT_INPUT missing.txt");
  auto ms = make_model_state();
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(set_up_run(*ms, "vcatch.prj", nullptr));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Can't open missing.txt to read channel point source input "
                                                          "file"),
            std::string::npos);
  // Without explicit channel routing no channel takes the points' water.
  reset_process_state();
  write_file("points.txt", "numpt 0\nnrpds 0\n");
  set_card("vcatch.prj", "CHAN_POINT_INPUT", "CHAN_POINT_INPUT points.txt");
  set_card("vcatch.prj", "CHAN_EXPLIC", "# no channel routing");
  set_card("vcatch.prj", "CHANNEL_INPUT", "#");
  set_card("vcatch.prj", "STREAM_CELL", "#");
  auto plain = make_model_state();
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(set_up_run(*plain, "vcatch.prj", nullptr));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Error: the CHAN_POINT_INPUT card feeds the channels of "
                                                          "explicit channel routing (CHAN_EXPLIC)"),
            std::string::npos);
}

// A steady run, watched over its last `tail` time steps: the depth of the
// listed nodes (link, node) and the outlet discharge, their largest change
// from one step to the next relative to their size, and their last values.
struct settled {
  std::vector<double> depth;
  double q = 0.0;
  double depth_swing = 0.0, q_swing = 0.0;
  long sub_steps = 0;
};

settled settle(const std::string& project, const std::vector<std::pair<int, int>>& nodes, std::size_t tail) {
  std::vector<std::vector<double>> depths(nodes.size());
  long sub_steps = 0;
  testing::storm_run r = testing::run_storm(project, {}, 100000, [&](const model_state& ms) {
    for (std::size_t k = 0; k < nodes.size(); ++k)
      depths[k].push_back(ms.channel.chan_depth(nodes[k].second, nodes[k].first));
    sub_steps = ms.channel.routing.sub_steps;
  });
  EXPECT_TRUE(r.ended) << r.console;
  settled s;
  s.sub_steps = sub_steps;
  if (r.qout.size() < tail + 1 || depths[0].size() < tail + 1) {
    ADD_FAILURE() << "too short a run";
    return s;
  }
  auto swing = [tail](const std::vector<double>& x) {
    double most = 0.0;
    for (std::size_t i = x.size() - tail; i + 1 < x.size(); ++i)
      most = std::max(most, std::fabs(x[i + 1] - x[i]) / std::max(std::fabs(x[i]), 1e-12));
    return most;
  };
  for (const auto& d : depths) {
    s.depth.push_back(d.back());
    s.depth_swing = std::max(s.depth_swing, swing(d));
  }
  s.q = r.qout.back();
  s.q_swing = swing(r.qout);
  EXPECT_LT(std::fabs(r.ms->ledger.run().overall_error), 1e-9);
  return s;
}

// Settles the project twice, with MAX_COURANT_NUMBER at 0.04 and at 0.02:
// both runs steady within 0.5 % from one step to the next, and the finer
// one within 1 cm in every depth and 1 % in the discharge of the other.
// The sanitizer build, whose runs are some ten times slower, settles the
// coarser run only; the optimised build compares the two.
#if defined(__SANITIZE_ADDRESS__)
constexpr int courant_runs = 1;
#else
constexpr int courant_runs = 2;
#endif

void expect_converged_steady_state(const std::string& project, const std::vector<std::pair<int, int>>& nodes,
                                   std::size_t tail, const char* what) {
  settled runs[2];
  for (int k = 0; k < courant_runs; ++k) {
    reset_process_state();
    set_card(project, "MAX_COURANT_NUMBER", k == 0 ? "MAX_COURANT_NUMBER 0.04" : "MAX_COURANT_NUMBER 0.02");
    runs[k] = settle(project, nodes, tail);
    EXPECT_LT(runs[k].depth_swing, 0.005) << what << ", run " << k;
    EXPECT_LT(runs[k].q_swing, 0.005) << what << ", run " << k;
    std::printf("%s, MAX_COURANT_NUMBER %.2f: depths", what, k == 0 ? 0.04 : 0.02);
    for (double d : runs[k].depth) std::printf(" %.4f", d);
    std::printf(" m, outlet %.4f m3/s; largest change between steps %.3g %% in depth, %.3g %% in discharge; "
                "%ld sub-steps\n",
                runs[k].q, 100.0 * runs[k].depth_swing, 100.0 * runs[k].q_swing, runs[k].sub_steps);
  }
  if (courant_runs < 2 || runs[0].depth.size() != runs[1].depth.size()) return;
  for (std::size_t i = 0; i < runs[0].depth.size(); ++i)
    EXPECT_LT(std::fabs(runs[0].depth[i] - runs[1].depth[i]), 0.01) << what << ", node " << i;
  EXPECT_LT(std::fabs(runs[0].q - runs[1].q), 0.01 * runs[1].q) << what;
}

TEST_F(ChannelRuns, APoolBehindAWeirOnAFlatBedSettlesAndStaysSettled) {
  // The upper link's bed falls 0.1 % (0.02 m a node) to a weir 20 m long
  // whose crest stands 0.645 m over the last bed; 1 m3/s enters at its head
  // and next to no rain falls. Over the crest 1 m3/s needs a head of
  // (1 / (1.7049 x 20))^(2/3) = 0.095 m: 0.74 m of water at the weir,
  // backing up the whole link.
  std::string cif = read_file("vcatch.cif");
  cif.replace(cif.find("LINKS 2"), 7, "LINKS 3");
  cif.replace(cif.find("CONNECT 1 2 0\nCONNECT 2 0 1 1\n"), 30, "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n");
  const std::size_t link2 = cif.find("\nLINK 2\n");
  std::string upper = cif.substr(0, link2), lower = cif.substr(link2);
  int k = 0;
  for (std::size_t at = upper.find("\nELEV "); at != std::string::npos; at = upper.find("\nELEV ", at + 1)) {
    char elev[40];
    std::snprintf(elev, sizeof elev, "\nELEV %.2f", 19.8 - 0.02 * k++);
    upper.replace(at, upper.find('\n', at + 1) - at, elev);
  }
  ASSERT_EQ(k, 26);
  lower.replace(0, 8, "\nLINK 2\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE weir\nCREST_LENGTH 20\nCREST_LOW_ELEV 19.955\n"
                      "DISCHARGE_COEFF_FORWARD 1.0\nDISCHARGE_COEFF_REVERSE 1.0\nLINK 3\n");
  write_file("vcatch.cif", upper + lower);
  std::string gst = read_file("vcatch.gst");
  for (std::size_t at = gst.find("LINKNODE 2 "); at != std::string::npos; at = gst.find("LINKNODE 2 ", at))
    gst.replace(at, 11, "LINKNODE 3 ");
  write_file("vcatch.gst", gst);
  set_card("vcatch.prj", "RAIN_INTENSITY", "RAIN_INTENSITY 0.01");
  set_card("vcatch.prj", "RAIN_DURATION", "RAIN_DURATION 1");
  set_card("vcatch.prj", "FIRST_ORDER_CHAN_Q", "FIRST_ORDER_CHAN_Q 1.0");
  set_card("vcatch.prj", "TOT_TIME", "TOT_TIME 240");
  expect_converged_steady_state("vcatch.prj", {{1, 1}, {1, 13}, {1, 25}}, 180, "weir pool");
}

TEST_F(ChannelRuns, TheVCatchmentOverItsBanksSettlesAndStaysSettled) {
  // 80 m3/s into the head of the valley's channel, 20 m wide and 1 m deep:
  // far over its banks, it spills onto the valley floor (next to no rain
  // falls), and the cells
  // beside its last nodes stand 2 m deep and give their water back. The
  // planes run the explicit overland scheme, whose own step control keeps
  // that deep water still, so that what moves from step to step is the
  // channel's. The floor is rough (n 0.3, dense brush): the explicit
  // scheme's stable sub-step in water 2.5 m deep, dx^2 n sqrt(S) / (4
  // d^(5/3)) at the slope floor of 1e-4, is then some 0.07 s, not the
  // 3 ms of a smooth plane, and the channel settles to the same depths
  // within 1 cm.
  set_card("vcatch.prj", "OVERTYPE", "OVERTYPE EXPLICIT");
  set_card("vcatch.prj", "MANNING_N", "MANNING_N 0.3");
  set_card("vcatch.prj", "FIRST_ORDER_CHAN_Q", "FIRST_ORDER_CHAN_Q 80.0");
  set_card("vcatch.prj", "OVERBANK_FLOW", "OVERBANK_FLOW");
  set_card("vcatch.prj", "RAIN_INTENSITY", "RAIN_INTENSITY 0.01");
  set_card("vcatch.prj", "RAIN_DURATION", "RAIN_DURATION 1");
  set_card("vcatch.prj", "TOT_TIME", "TOT_TIME 60");
  expect_converged_steady_state("vcatch.prj", {{1, 1}, {1, 13}, {2, 1}, {2, 25}}, 60, "V-catchment over its banks");
}

// The nearly empty channels of a long-term run after the rain slow down
// while the aquifer feeds them (the groundwater step halved to at most a
// minute) or a channel lake stands above its lowest level (a minute): the
// slowed step is cut to a whole number of model steps, so that the channel
// clock is due again at a model step within a minute.
TEST(ChannelClock, TheSlowedChannelStepStaysOnTheModelsStepGrid) {
  const struct {
    double dt, gw_dt;
    bool gaining, lake;
    double expected;  // s
  } cases[] = {
      {30.0, 600.0, true, false, 30.0},    // 37.5 s: one step
      {10.0, 600.0, true, false, 30.0},    // 37.5 s: three steps
      {25.0, 600.0, false, true, 50.0},    // a lake above its lowest level: 60 s, two steps
      {120.0, 600.0, true, false, 120.0},  // a model step beyond a minute: one step
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.dt);
    reset_process_state();
    auto ms = make_model_state();
    clock_state& c = ms->clock;
    c.long_term = 1;
    c.dt = k.dt;
    c.dt_days = k.dt / 86400.0;
    c.gw_dt = k.gw_dt;
    c.time_tol = 1.1574074074074074e-07;
    const double start = julian_date(2024, 6, 20, 6, 0, 0.0);
    c.model_time = start;
    ms->channel.chan_route_flag = k.gaining ? 1 : 0;
    ms->groundwater.gw_simulation = k.gaining ? 1 : 0;
    lake_state& lakes = ms->lake;
    if (k.lake) {
      lakes.chan_lakes = 1;
      lakes.num_lakes = 1;
      lakes.lake_elev.alloc(1);
      lakes.chan_lake.alloc(1);
      lakes.chan_lake[1].minwse = 100.0;
      lakes.lake_elev[1] = 100.5;
    }
    ms->ledger.book(water_flux::rainfall_to_overland, 1000.0);
    slow_down_when_nearly_empty(*ms);
    EXPECT_EQ(c.lake_above_min, k.lake ? 1 : 0);
    EXPECT_DOUBLE_EQ(c.chan_dt, k.expected);
    // The first model step at which the channel clock is due.
    int due = 0;
    for (int step = 1; step <= 20 && !due; ++step)
      if (std::fabs(c.chan_next_time - (start + step * c.dt_days)) < c.time_tol) due = step;
    EXPECT_EQ(due * k.dt, k.expected);
  }
  // A lake down to its lowest level no longer holds the channels' clock.
  auto ms = make_model_state();
  ms->clock.long_term = 1;
  ms->clock.lake_above_min = 1;
  ms->lake.chan_lakes = 1;
  ms->lake.num_lakes = 1;
  ms->lake.lake_elev.alloc(1);
  ms->lake.chan_lake.alloc(1);
  ms->lake.lake_elev[1] = ms->lake.chan_lake[1].minwse = 100.0;
  slow_down_when_nearly_empty(*ms);
  EXPECT_EQ(ms->clock.lake_above_min, 0);
}

}  // namespace
}  // namespace nivra
