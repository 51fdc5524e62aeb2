// Channel benchmarks.
// - Reading and setting up a channel network of 10,000 links: a main stem
//   of 5,000 links, each joined by a tributary, every link of 11 node points
//   (10 computational nodes), the tributaries trapezoidal and the stem
//   break-point channels with a surveyed section of 8 points and 40 levels;
//   the grid-stream file gives each of the 100,000 nodes its own cell of a
//   400 x 250 grid.
// - Routing a network of 200 links of the same make (20 computational nodes
//   each, 4,000 nodes) under a storm: every node takes the lateral inflow of
//   10 mm/h on 200 m of land on each bank, channel step after channel step
//   of 10 s. node_updates counts nodes x routing sub-steps per second.
// - The V-catchment of examples/vcatch through the time loop: the share of
//   the channel step (lateral inflow and routing) in the whole loop.
// - A dry-weather week down a valley channel: two links of 40 nodes 25 m
//   apart at 0.5 % (trapezoids 3 m wide at the bottom) under a trace of base
//   flow (1 L/s), 60,480 channel steps of 10 s, the links joined directly
//   (arg 0) or through a round culvert of 1 m under a road whose inverts
//   lie 0.3 m below the beds (arg 1). us_per_step is the routing time of
//   one channel step.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "channel/channel_input.h"
#include "channel/channel_routing.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "run/driver.h"
#include "run/steps.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"
#include "surface/overland_step.h"

namespace {

constexpr int rows = 400, cols = 250;

using nivra::bench::scratch_folder;
using nivra::bench::silent_console;

// A network of `links` links of `points` node points 50 m apart whose beds
// run on without steps: link l of the first half is a tributary of stem
// link stem + l; stem link m flows into m + 1, the last is the outlet.
// Every bed falls 0.1 m a node point.
std::string write_network(const scratch_folder& folder, int links = 10000, int points = 11) {
  const int stem = links / 2;
  const double fall = 0.1 * (points - 1);
  const std::string path = folder.file("bench.cif");
  std::FILE* f = std::fopen(path.c_str(), "w");
  std::fprintf(f, "NIVRA_CHAN\nALPHA 1\nBETA 1\nTHETA 0.6\nLINKS %d\nMAXNODES %d\n", links, points);
  for (int l = 1; l <= stem; ++l) std::fprintf(f, "CONNECT %d %d 0\n", l, stem + l);
  std::fprintf(f, "CONNECT %d %d 1 1\n", stem + 1, stem + 2);
  for (int m = stem + 2; m <= links; ++m)
    std::fprintf(f, "CONNECT %d %d 2 %d %d\n", m, m < links ? m + 1 : 0, m - 1, m - stem);
  for (int l = 1; l <= links; ++l) {
    const bool main = l > stem;
    const int m = main ? l : l + stem;
    const double stem_top = 500.0 - fall * (m - stem - 1);
    const double top = main ? stem_top : stem_top + fall + 0.1;
    std::fprintf(f, "LINK %d\n%s\nNODES %d\nDX 50.0\nMANNINGS_N 0.035\n", l, main ? "BREAKPOINT" : "TRAPEZOID", points);
    for (int k = 1; k <= points; ++k)
      std::fprintf(f, "NODE %d\nX_Y %d.0 %d.0\nELEV %.3f\n", k, k * 50, l * 10, top - 0.1 * (k - 1));
    if (main)
      std::fprintf(f, "NODE 1\nNPAIRS 8\nNUM_INTERP 40\nX1 0 4\nX1 5 2\nX1 8 1.5\nX1 10 0\nX1 14 0.2\nX1 16 1.5\n"
                      "X1 20 2\nX1 26 4\n");
    else
      std::fprintf(f, "NODE 1\nXSEC\nBOTTOM_WIDTH 3.0\nSIDE_SLOPE 1.5\nBANKFULL_DEPTH 1.2\n");
  }
  std::fclose(f);
  return path;
}

std::string write_grid_stream(const scratch_folder& folder, int links = 10000, int points = 11) {
  const std::string path = folder.file("bench.gst");
  std::FILE* f = std::fopen(path.c_str(), "w");
  std::fprintf(f, "GRIDSTREAMFILE\nSTREAMCELLS %d\n", links * (points - 1));
  int cell = 0;
  for (int l = 1; l <= links; ++l)
    for (int k = 1; k < points; ++k, ++cell)
      std::fprintf(f, "CELLIJ %d %d\nNUMNODES 1\nLINKNODE %d %d 1.0\n", cell / cols + 1, cell % cols + 1, l, k);
  std::fclose(f);
  return path;
}

void BM_read_and_set_up_network_10k_links(benchmark::State& state) {
  nivra::reset_process_state();
  const scratch_folder folder;
  const std::string network = write_network(folder), grid_stream = write_grid_stream(folder);
  state.counters["MB"] =
      static_cast<double>(std::filesystem::file_size(network) + std::filesystem::file_size(grid_stream)) / 1e6;
  nivra::grid_state grid;
  grid.rows = grid.nrows = rows;
  grid.cols = grid.ncols = cols;
  grid.mask.alloc(rows + 1, cols + 1);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) grid.mask[r][c] = (r - 1) * cols + c;
  grid.ncells = rows * cols;
  nivra::chan_read_options quiet;
  quiet.summary = quiet.progress = false;
  // The break-point pass prints one dot a link, even in a quiet run.
  const silent_console silent;
  for (auto _ : state) {
    nivra::channel_state ch;
    nivra::lake_state lakes;
    nivra::chan_file_contents contents;
    nivra::guarded_file f, g;
    nivra::open_guarded_file(f, network, "r");
    nivra::open_guarded_file(g, grid_stream, "r");
    bool ok = nivra::read_chan_input(ch, lakes, f, quiet, contents) &&
              nivra::read_grid_stream_file(ch, grid, g, quiet) && nivra::init_grid_stream(ch, false);
    if (!ok) {
      state.SkipWithError("the network did not read");
      break;
    }
    benchmark::DoNotOptimize(ch.xarea.data());
  }
}
BENCHMARK(BM_read_and_set_up_network_10k_links)->Unit(benchmark::kMillisecond);

// Reads the network file.
bool load_network(const std::string& network, nivra::channel_state& ch, nivra::lake_state& lakes) {
  nivra::chan_file_contents contents;
  nivra::chan_read_options quiet;
  quiet.summary = quiet.progress = false;
  nivra::guarded_file f;
  if (!nivra::open_guarded_file(f, network, "r")) return false;
  const silent_console silent;
  return nivra::read_chan_input(ch, lakes, f, quiet, contents);
}

void BM_route_200_links_under_a_storm(benchmark::State& state) {
  nivra::reset_process_state();
  constexpr int links = 200, points = 21;
  const scratch_folder folder;
  const std::string network = write_network(folder, links, points);
  nivra::channel_state ch;
  nivra::lake_state lakes;
  if (!load_network(network, ch, lakes)) {
    state.SkipWithError("the network did not read");
    return;
  }
  // With range(0) = 1 every node loses water through its bed (one
  // grid-stream entry a node, no water table), the exchange computed at
  // every sub-step.
  const bool losing = state.range(0) == 1;
  if (losing) {
    ch.stream_loss = 1;
    int entries = 0;
    for (int l = 1; l <= links; ++l) entries += ch.nx[l];
    ch.gst_num_cells = entries;
    ch.gst_max_cells = 1;
    ch.gst_ncellsingrid.alloc(entries);
    for (auto* a : {&ch.gst_link, &ch.gst_node, &ch.gst_gnum}) a->alloc(entries, 1);
    ch.gst_pct.alloc(entries, 1);
    int e = 0;
    for (int l = 1; l <= links; ++l)
      for (int k = 1; k <= ch.nx[l]; ++k) {
        ++e;
        ch.gst_ncellsingrid[e] = 1;
        ch.gst_link[e][1] = l;
        ch.gst_node[e][1] = k;
        ch.gst_gnum[e][1] = e;
        ch.gst_pct[e][1] = 1.0;
      }
  }
  nivra::size_channel_state(ch);
  if (losing) {
    nivra::init_grid_stream(ch, true);
    ch.Krb.alloc(ch.max_nodes_per_link, ch.link_array_size);
    ch.Mrb.alloc(ch.max_nodes_per_link, ch.link_array_size);
    for (int l = 1; l <= links; ++l)
      for (int k = 1; k <= ch.nx[l]; ++k) {
        ch.Krb(k, l) = 0.36;  // m/h
        ch.Mrb(k, l) = 0.5;
      }
  }
  ch.max_courant_number = 0.04;
  nivra::ex_section(ch, nivra::section_mode::from_depth);
  nivra::grid_state grid;
  nivra::overland_state overland;
  const nivra::channel_domain domain{ch, overland, grid, lakes};
  // 10 mm/h on 200 m of land on either bank of every metre of channel.
  const double lateral = 10.0 / 3.6e6 * 400.0;
  int nodes = 0;
  for (int l = 1; l <= links; ++l) nodes += ch.nx[l];
  const auto storm = [&](int steps) {
    long long updates = 0;
    for (int s = 0; s < steps; ++s) {
      for (int l = 1; l <= links; ++l)
        for (int k = 1; k <= ch.nx[l]; ++k) ch.qlat(k, l) = lateral;
      const nivra::channel_result r = nivra::ex_flow_route(domain, 10.0);
      if (r.status != nivra::channel_status::ok) return -1LL;
      updates += static_cast<long long>(r.books.sub_steps) * nodes;
    }
    return updates;
  };
  if (storm(360) < 0) {  // an hour of storm before the clock starts
    state.SkipWithError("the routing failed");
    return;
  }
  double updates = 0.0;
  for (auto _ : state) {
    const long long n = storm(1);
    if (n < 0) {
      state.SkipWithError("the routing failed");
      break;
    }
    updates += static_cast<double>(n);
  }
  state.counters["nodes"] = nodes;
  state.counters["sub_steps_per_step"] = updates / nodes / static_cast<double>(state.iterations());
  state.counters["node_updates"] = benchmark::Counter(updates, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_route_200_links_under_a_storm)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The valley channel: link 1 into link 2 (`culvert` false), or link 1
// into the culvert's structure link 2 into link 3.
std::string write_valley(const scratch_folder& folder, bool culvert) {
  const std::string path = folder.file("valley.cif");
  std::FILE* f = std::fopen(path.c_str(), "w");
  const int links = culvert ? 3 : 2;
  std::fprintf(f, "NIVRA_CHAN\nALPHA 1\nBETA 1\nTHETA 0.6\nLINKS %d\nMAXNODES 41\n", links);
  for (int l = 1; l <= links; ++l)
    std::fprintf(f, "CONNECT %d %d %s\n", l, l < links ? l + 1 : 0, l > 1 ? (l == 2 ? "1 1" : "1 2") : "0");
  auto channel = [&](int link, double top) {
    std::fprintf(f, "LINK %d\nTRAPEZOID\nNODES 41\nDX 25.0\nMANNINGS_N 0.035\n", link);
    for (int k = 1; k <= 41; ++k) std::fprintf(f, "NODE %d\nELEV %.4f\n", k, top - 0.125 * (k - 1));
    std::fprintf(f, "NODE 1\nXSEC\nBOTTOM_WIDTH 3.0\nSIDE_SLOPE 1.5\nBANKFULL_DEPTH 1.5\n");
  };
  channel(1, 100.0);
  // The last computational node of link 1 lies at 95.0625, node 1 of the
  // link below at 94.8875 (94.9375 joined directly).
  if (culvert)
    std::fprintf(f, "LINK 2\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE round_culvert\nDIAMETER 1.0\nLENGTH 20\n"
                    "UPINVERT 94.7625\nDOWNINVERT 94.5875\nROUGH_COEFF 0.013\nINLET_DISCH_COEFF 0.8\n"
                    "REV_FLOW_DISCH_COEFF 0.8\n");
  channel(links, culvert ? 94.95 : 95.0);
  std::fclose(f);
  return path;
}

void BM_dry_week_behind_a_culvert(benchmark::State& state) {
  nivra::reset_process_state();
  const bool culvert = state.range(0) != 0;
  constexpr int steps = 7 * 24 * 360;
  double seconds_routing = 0.0, sub_steps = 0.0;
  const scratch_folder folder;
  const std::string network = write_valley(folder, culvert);
  for (auto _ : state) {
    state.PauseTiming();
    nivra::channel_state ch;
    nivra::lake_state lakes;
    if (!load_network(network, ch, lakes)) {
      state.SkipWithError("the network did not read");
      return;
    }
    nivra::size_channel_state(ch);
    ch.max_courant_number = 0.04;
    ch.first_order_chan_q = 0.001;
    nivra::ex_section(ch, nivra::section_mode::from_depth);
    nivra::grid_state grid;
    nivra::overland_state overland;
    const nivra::channel_domain domain{ch, overland, grid, lakes};
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    for (int s = 0; s < steps; ++s) {
      const nivra::channel_result r = nivra::ex_flow_route(domain, 10.0);
      if (r.status != nivra::channel_status::ok) {
        state.SkipWithError("the routing failed");
        return;
      }
      sub_steps += r.books.sub_steps;
    }
    seconds_routing += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  const double calls = static_cast<double>(steps) * static_cast<double>(state.iterations());
  state.counters["us_per_step"] = 1e6 * seconds_routing / calls;
  state.counters["sub_steps_per_step"] = sub_steps / calls;
}
BENCHMARK(BM_dry_week_behind_a_culvert)->ArgName("culvert")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The V-catchment through the time loop, each routine timed.
void BM_vcatch_channel_share(benchmark::State& state) {
  const scratch_folder folder(true);
  folder.copy_files_of(nivra::bench::example_folder("vcatch"));
  const auto sequence = nivra::time_step_sequence();
  std::vector<double> spent(sequence.size(), 0.0);
  double loop = 0.0;
  const silent_console silent;
  for (auto _ : state) {
    state.PauseTiming();
    nivra::reset_process_state();
    auto ms = nivra::make_model_state();
    const bool ok = nivra::set_up_run(*ms, "vcatch.prj", nullptr);
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("the V-catchment did not set up");
      break;
    }
    const auto t0 = std::chrono::steady_clock::now();
    do {
      for (std::size_t i = 0; i < sequence.size(); ++i) {
        const auto t = std::chrono::steady_clock::now();
        sequence[i].run(*ms);
        spent[i] += seconds(t);
      }
    } while (ms->clock.keep_running && !nivra::process.error_block.stop);
    loop += seconds(t0);
    const bool stopped = nivra::process.error_block.stop != 0;
    state.PauseTiming();
    nivra::close_all_files(*ms);
    ms.reset();
    state.ResumeTiming();
    if (stopped) {
      state.SkipWithError("the V-catchment's run stopped on an error");
      break;
    }
  }
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    if (sequence[i].run == nivra::channel_routing_step) state.counters["channel_step_share"] = spent[i] / loop;
    if (sequence[i].run == nivra::overland_routing_step) state.counters["overland_step_share"] = spent[i] / loop;
  }
}
BENCHMARK(BM_vcatch_channel_share)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
