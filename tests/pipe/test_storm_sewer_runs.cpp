// Whole runs with a storm sewer. The urban block of examples/urban: rain on
// a street and its lots, three street inlets, a sewer to the channel's
// outlet node. Every cubic metre of rain is accounted for by the surface,
// the pipes and the channel, each by its own books; the pipe cards need
// the network. The tile drain of examples/tiles takes the groundwater
// above it: what the aquifer loses is what the drain lets out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_storage.h"
#include "core/process.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "pipe/pipe_fixture.h"
#include "pipe/pipe_state.h"
#include "pipe/pipe_storage.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::set_card;
using F = water_flux;
using S = water_store;

// The storages of a run's ledger at one moment.
struct run_storages {
  const water_ledger& l;
  ledger_moment m;
  double operator()(S s) const { return l.storage(s, m); }
};

class StormSewerRuns : public testing::process_test {
 protected:
  void SetUp() override {
    testing::process_test::SetUp();
    testing::copy_example("urban");
  }
};

TEST_F(StormSewerRuns, UrbanStormSurfacePipeAndChannelBooksClose) {
  testing::storm_run r = testing::run_storm("urban.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const water_ledger& l = ms.ledger;
  const run_storages start{l, ledger_moment::run_start}, end{l, ledger_moment::run_end};
  const double rain = l.run_total(F::rainfall_to_overland);
  EXPECT_NEAR(rain, 40.0 / 3.6e6 * 12000.0 * 1800.0, 1e-9);
  const double to_pipes = l.run_total(F::overland_to_pipes), back = l.run_total(F::pipes_to_overland);
  const double to_channel = l.run_total(F::pipes_to_channels);
  // The sewer carries a good part of the storm to the channel.
  EXPECT_GT(to_pipes, 0.1 * rain);
  // Pipes: what came in left for the surface or the channel, or is still in
  // them.
  EXPECT_NEAR(start(S::pipes) + to_pipes - back - to_channel, end(S::pipes), 1e-9 * rain);
  EXPECT_NEAR(end(S::pipes), pipe_storage(ms.pipe), 1e-12);
  // Surface: rain less what went into the pipes and the channel.
  EXPECT_NEAR(rain - to_pipes + back - l.run_total(F::channel_lateral_net), end(S::surface), 1e-9 * rain);
  // Channel: its lateral inflow and the pipes' outflow left at the outlet
  // or are still in it.
  EXPECT_NEAR(l.run_total(F::channel_lateral_net) + to_channel + l.run_total(F::channel_area_fill),
              l.run_total(F::outlet_discharge) + channel_storage(ms), 1e-9 * rain);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  EXPECT_LT(std::fabs(l.run().pipe_error), 1e-9 * rain);
  std::printf("urban block: %.2f m3 of rain, %.2f m3 into the sewer, %.2f m3 to the channel, %.2f m3 at the outlet, "
              "%.4f m3 left in the pipes\n",
              rain, to_pipes, to_channel, l.run_total(F::outlet_discharge), end(S::pipes));
  const int pipe_steps = ms.pipe.sl_step_count;
  r.ms.reset();
  // "superlink_flows.out": its header, then one line per pipe step.
  EXPECT_EQ(testing::count_lines("superlink_flows.out"), pipe_steps + 1);
  EXPECT_EQ(read_file("superlink_flows.out").rfind("Call# VtoSL VtoNIVRA   QtoSL    QtoNIVRA \n", 0), 0u);
  // The run summary's three balances close.
  const std::string sum = read_file("urban.sum");
  for (const char* line : {"Mass balance error of surface components =", "Overall mass balance error =",
                           "Subsurface drain mass bal error m^3="}) {
    const std::size_t at = sum.find(line);
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_NEAR(std::stod(sum.substr(at + std::string(line).size())), 0.0, 1e-6) << line;
  }
}

TEST_F(StormSewerRuns, ARisingRiverBacksWaterIntoThePipes) {
  // The same storm with 3 m3/s coming down the channel from its head: the
  // trapezoid (2 m wide, sides 1:1, n 0.030, 0.5 %) carries it at a normal
  // depth of about 0.75 m, so the river at the outfall (bed 96.575 m)
  // stands above the crown of the last pipe's lower end (invert 96.80 m,
  // 0.45 m across) and above the outfall's bottom (96.55 m). The outfall
  // holds the river's level: the river flows back into the pipes, which
  // stand at its level once the storm has passed.
  const testing::storm_run dry = testing::run_storm("urban.prj");
  ASSERT_TRUE(dry.ended) << dry.console;
  set_card("urban.prj", "FIRST_ORDER_CHAN_Q", "FIRST_ORDER_CHAN_Q 3.0");
  const testing::storm_run r = testing::run_storm("urban.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const pipe_state& p = ms.pipe;
  const water_ledger& l = ms.ledger;
  const int outfall = 4, last = 3;
  ASSERT_EQ(p.sjunc_inlet[outfall], pipe_inlet::to_channel);
  const int link = p.superlink_chan_con_link[outfall], node = p.superlink_chan_con_node[outfall];
  // The tailwater is the channel's water surface at the outfall's node.
  EXPECT_NEAR(p.sl_tailwater[outfall], ms.channel.chan_depth(node, link) + ms.channel.bel(node, link), 1e-3);
  EXPECT_NEAR(p.sl_tailwater[outfall], 96.575 + 0.75, 0.05);
  EXPECT_NEAR(p.junc_head[outfall], p.sl_tailwater[outfall], 1e-12);
  // The lower end of the last pipe stands at the river's level.
  const int n = p.superlink_cnodes[last];
  EXPECT_NEAR(p.slink_node_Zinv(n + 1, last) + p.slink_node_depth(n + 1, last), p.sl_tailwater[outfall], 0.02);
  // River water entered the pipes, which end holding more than after the
  // storm alone.
  const double from_river = l.run_total(F::channels_to_pipes);
  EXPECT_GT(from_river, 1.0);
  EXPECT_EQ(dry.ms->ledger.run_total(F::channels_to_pipes), 0.0);
  EXPECT_GT(pipe_storage(p), pipe_storage(dry.ms->pipe) + 1.0);
  // Every book closes with the backflow.
  const run_storages start{l, ledger_moment::run_start}, end{l, ledger_moment::run_end};
  const double rain = l.run_total(F::rainfall_to_overland);
  const double to_pipes = l.run_total(F::overland_to_pipes), back = l.run_total(F::pipes_to_overland);
  const double to_channel = l.run_total(F::pipes_to_channels);
  EXPECT_NEAR(start(S::pipes) + to_pipes + from_river - back - to_channel, end(S::pipes), 1e-9 * rain);
  EXPECT_NEAR(l.run_total(F::channel_lateral_net) + to_channel - from_river + l.run_total(F::channel_headwater_inflow) +
                  l.run_total(F::channel_area_fill),
              l.run_total(F::outlet_discharge) + channel_storage(ms) - start(S::channels), 1e-9 * rain);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  EXPECT_LT(std::fabs(l.run().pipe_error), 1e-9 * rain);
  std::printf("rising river: tailwater %.3f m, %.3f m3 back into the pipes, %.3f m3 left in them (%.3f without it)\n",
              p.sl_tailwater[outfall], from_river, pipe_storage(p), pipe_storage(dry.ms->pipe));
}

// Without the network a pipe output stops the run; an option of the
// network changes nothing and is warned about.
TEST_F(StormSewerRuns, PipeCardsNeedTheNetworkAndItsFile) {
  set_card("urban.prj", "STORM_SEWER", "# no sewer");
  set_card("urban.prj", "PIPE_FLOW", "PIPE_FLOW flow.out");
  testing::storm_run r = testing::run_storm("urban.prj");
  EXPECT_FALSE(r.ended);
  EXPECT_NE(r.console.find("Error: the PIPE_FLOW card on line "), std::string::npos) << r.console;
  EXPECT_NE(r.console.find(" of the project file acts only with the pipe network, which only a STORM_SEWER card "
                           "gives."),
            std::string::npos)
      << r.console;
  reset_process_state();
  testing::copy_example("urban");
  set_card("urban.prj", "STORM_SEWER", "# no sewer");
  set_card("urban.prj", "SUPERLINK_C_OPT", "SUPERLINK_C_OPT");
  r = testing::run_storm("urban.prj");
  EXPECT_TRUE(r.ended) << r.console;
  EXPECT_NE(r.console.find("Warning: the SUPERLINK_C_OPT card on line "), std::string::npos) << r.console;
  EXPECT_NE(r.console.find(" of the project file changes nothing: it acts only with the pipe network"),
            std::string::npos)
      << r.console;
  reset_process_state();
  testing::copy_example("urban");
  set_card("urban.prj", "STORM_SEWER", "STORM_SEWER nowhere.slk");
  r = testing::run_storm("urban.prj");
  EXPECT_FALSE(r.ended);
  EXPECT_NE(r.console.find("Unable to open superlink input file file"), std::string::npos) << r.console;
}

class TileDrainRun : public testing::process_test {};

TEST_F(TileDrainRun, TheAquiferLosesWhatTheDrainLetsOut) {
  testing::copy_example("tiles");
  testing::storm_run r = testing::run_storm("tiles.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const water_ledger& l = ms.ledger;
  const run_storages start{l, ledger_moment::run_start}, end{l, ledger_moment::run_end};
  // 15 cells of 100 m2, 3.7 m of saturated aquifer at a storage
  // coefficient of 0.2.
  EXPECT_NEAR(start(S::groundwater), 15 * 100.0 * 3.7 * 0.2, 1e-9);
  const double lost = start(S::groundwater) - end(S::groundwater);
  const double to_tiles = l.run_total(F::groundwater_to_pipes);
  // The table fell over the drain, and more there than along the edge rows.
  const grid_state& g = ms.grid;
  const int middle = g.mask[2][3], edge = g.mask[1][3];
  EXPECT_LT(ms.groundwater.elevgw[middle], 99.70 - 0.04);
  EXPECT_LT(ms.groundwater.elevgw[middle], ms.groundwater.elevgw[edge]);
  EXPECT_GT(to_tiles, 1.0);
  // What the aquifer lost went into the drain (what it took in its last
  // step waits for the next groundwater solve and is already counted), to
  // the tolerance of the line sweeps (GW_LSOR_CON 1e-12 m).
  EXPECT_NEAR(lost, to_tiles, 1e-7 * to_tiles);
  EXPECT_NEAR(l.run_total(F::groundwater_inputs), -to_tiles, 1e-9 * to_tiles);
  // The drain let it out onto the surface or holds it still.
  EXPECT_NEAR(to_tiles, l.run_total(F::pipes_to_overland) + end(S::pipes) - start(S::pipes), 1e-9 * to_tiles);
  // The surface gave it to the outlet or holds it still; the trace of rain
  // is in the balance too.
  EXPECT_NEAR(l.run_total(F::rainfall_to_overland) + l.run_total(F::pipes_to_overland),
              l.run_total(F::outlet_discharge) + end(S::surface), 1e-6 * to_tiles);
  EXPECT_LT(std::fabs(l.run().pipe_error), 1e-9 * to_tiles);
  EXPECT_LT(std::fabs(l.run().groundwater_error), 1e-6);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-4);
  std::printf("tile drain: %.4f m3 from the aquifer, %.4f m3 out of the drain, %.4f m3 at the outlet\n", lost,
              l.run_total(F::pipes_to_overland), l.run_total(F::outlet_discharge));
}

// The heads and flows of the pipe network after every step of a run of
// an example, its heads solved by the sparse LU or by the dense reference,
// and the run summary it wrote.
struct pipe_trace {
  bool ended = false;
  std::vector<double> heads, flows;
  std::vector<std::pair<std::size_t, std::size_t>> steps;  // the ends of each step's heads and flows
  std::string summary;
};

pipe_trace trace_run(const std::string& example, bool dense) {
  reset_process_state();
  testing::copy_example(example);
  pipe_trace t;
  testing::storm_run r = testing::run_storm(
      example + ".prj", [&](model_state& ms) { if (dense) ms.pipe.solver.use_dense_reference(); }, 100000,
      [&](const model_state& ms) {
        const pipe_state& p = ms.pipe;
        for (int j = 1; j <= p.num_sjunc; ++j) t.heads.push_back(p.junc_head[j]);
        for (int l = 1; l <= p.num_slink; ++l)
          for (int k = 1; k <= p.superlink_cnodes[l]; ++k) t.flows.push_back(p.Q(k, l));
        t.steps.push_back({t.heads.size(), t.flows.size()});
      });
  t.ended = r.ended;
  r.ms.reset();
  t.summary = read_file(example + ".sum");
  return t;
}

class SparseAgainstDense : public testing::process_test {};

TEST_F(SparseAgainstDense, ExamplesGiveTheHeadsFlowsAndSummariesOfTheDenseSolve) {
  for (const char* example : {"urban", "tiles"}) {
    const pipe_trace sparse = trace_run(example, false), dense = trace_run(example, true);
    ASSERT_TRUE(sparse.ended && dense.ended) << example;
    ASSERT_EQ(sparse.heads.size(), dense.heads.size()) << example;
    ASSERT_EQ(sparse.flows.size(), dense.flows.size()) << example;
    ASSERT_GT(sparse.flows.size(), 0u) << example;
    // Each field relative to its largest magnitude in the step.
    testing::worst_difference heads, flows;
    std::size_t h = 0, f = 0;
    for (const auto& [heads_end, flows_end] : sparse.steps) {
      for (; h < heads_end; ++h) heads.add(sparse.heads[h], dense.heads[h]);
      for (; f < flows_end; ++f) flows.add(sparse.flows[f], dense.flows[f]);
      heads.close();
      flows.close();
    }
    std::printf("%s: sparse against dense LU over the run, heads %.1e, flows %.1e relative\n", example, heads.worst,
                flows.worst);
    EXPECT_LE(heads.worst, 1e-10) << example;
    EXPECT_LE(flows.worst, 1e-10) << example;
    EXPECT_EQ(sparse.summary, dense.summary) << example;
  }
}

}  // namespace
}  // namespace nivra
