// The pipe network solver on dendritic storm sewers of 200, 2,000 and
// 20,000 superjunctions (tests/pipe/synthetic_sewer.h: laterals of ten
// manholes, every superlink one 60 m pipe cut into four computational
// pipes, every manhole an open inlet taking 5 l/s from its cell), one
// iteration one pipe step of 10 s, on 1 and 4 threads, with the time of
// each part of the step; the 200-manhole sewer also with its heads solved
// by the dense LU. The 200-manhole sewer of a trunk and three
// branches as leaky tile drains (5 cm/h, 10 m apart) under a water table
// 0.5 m below the ground, each pipe in the cell of its upstream manhole:
// one iteration is one groundwater tile exchange.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/guarded_file.h"
#include "inputs/grid_state.h"
#include "pipe/pipe_state.h"
#include "pipe/superlink_input.h"
#include "pipe/superlink_solver.h"
#include "pipe/tile_exchange.h"
#include "pipe/synthetic_sewer.h"
#include "core/thread_pool.h"

namespace nivra {
namespace {

constexpr int junctions = 200;

struct sewer {
  grid_state grid;
  pipe_state p;
  std::vector<double> depth;
  std::vector<double> ground, table, bottom;  // per cell, m (tile drains)
};

// Pipes between a manhole and the outfall, and the manhole each drains to.
void layout(std::vector<int>& down, std::vector<int>& hops) {
  down.assign(junctions + 1, 0);
  hops.assign(junctions + 1, 0);
  for (int j = 1; j <= 80; ++j) down[j] = j < 80 ? j + 1 : junctions;
  const int first[] = {81, 121, 161}, last[] = {120, 160, 199}, joins[] = {20, 40, 60};
  for (int b = 0; b < 3; ++b)
    for (int j = first[b]; j <= last[b]; ++j) down[j] = j < last[b] ? j + 1 : joins[b];
  for (int j = 1; j < junctions; ++j)
    for (int k = j; k != junctions; k = down[k]) ++hops[j];
}

// False when a file of the sewer does not read.
bool build(sewer& s, bool leaky = false) {
  grid_state& g = s.grid;
  g.nrows = g.proj_rows = 20;
  g.ncols = g.proj_cols = 10;
  g.ncells = 200;
  g.grid_size = 10.0;
  g.mask.alloc(21, 11);
  for (int r = 1; r <= 20; ++r)
    for (int c = 1; c <= 10; ++c) g.mask[r][c] = (r - 1) * 10 + c;
  std::vector<int> down, hops;
  layout(down, hops);
  std::string text;
  char line[300];
  auto bottom = [&](int j) { return 90.0 + 0.3 * hops[j]; };
  for (int j = 1; j <= junctions; ++j) {
    const bool outfall = j == junctions;
    std::snprintf(line, sizeof line, "SJUNC %d %.2f %.2f %.1f %d %d %d 0 0\n", j, bottom(j) + 2.0, bottom(j),
                  outfall ? 0.0 : 1.0, outfall ? 888 : 10, (j - 1) / 10 + 1, (j - 1) % 10 + 1);
    text += line;
  }
  for (int j = 1; j < junctions; ++j) {
    std::snprintf(line, sizeof line,
                  "CONNECT %d %d %d\nSLINK %d 1\nNODE 1 %.2f %.2f 0 0 %d %d 0 0\nNODE 2 %.2f %.2f 0 0 %d %d 0 0\n"
                  "PIPE 1 1 1.0 0 0.005 0.013 60 %s\n",
                  j, j, down[j], j, bottom(j) + 2.0, bottom(j), leaky ? (j - 1) / 10 + 1 : 0,
                  leaky ? (j - 1) % 10 + 1 : 0, bottom(down[j]) + 2.0, bottom(down[j]),
                  leaky ? (down[j] - 1) / 10 + 1 : 0, leaky ? (down[j] - 1) % 10 + 1 : 0, leaky ? "5 10" : "0 0");
    text += line;
  }
  const bench::scratch_folder folder;
  const std::string path = folder.file("sewer.slk");
  std::FILE* out = std::fopen(path.c_str(), "w");
  std::fputs(text.c_str(), out);
  std::fclose(out);
  guarded_file f;
  if (!open_guarded_file(f, path, "r")) return false;
  s.p.superlink_c_opt = 1;
  if (!read_superlink_file(s.p, f, path, g, nullptr, true)) return false;
  if (leaky) {
    const std::string cell_path = folder.file("sewer.gpi");
    std::string cells = "GRIDPIPEFILE\nPIPECELLS " + std::to_string(junctions - 1) + "\n";
    for (int j = 1; j < junctions; ++j) {
      std::snprintf(line, sizeof line, "CELLIJ %d %d\nNUMPIPES 1\nSPIPE %d 1 1.0\n", (j - 1) / 10 + 1, (j - 1) % 10 + 1, j);
      cells += line;
    }
    std::FILE* gp = std::fopen(cell_path.c_str(), "w");
    std::fputs(cells.c_str(), gp);
    std::fclose(gp);
    guarded_file f2;
    if (!open_guarded_file(f2, cell_path, "r") || !read_grid_pipe_file(s.p, f2, cell_path, g)) return false;
    s.ground.assign(g.ncells + 2, 0.0);
    s.table.assign(g.ncells + 2, 0.0);
    s.bottom.assign(g.ncells + 2, 0.0);
    for (int j = 1; j <= junctions; ++j) {
      s.ground[j] = bottom(j) + 2.0;
      s.table[j] = s.ground[j] - 0.5;
      s.bottom[j] = bottom(j) - 5.0;
    }
  }
  if (!init_superlink_state(s.p)) return false;
  s.depth.assign(g.ncells + 2, 0.0);
  return true;
}

// One iteration is one pipe step of 10 s of a dendritic sewer of
// state.range(0) superjunctions (synthetic_sewer.h) on state.range(1)
// threads, filled by 120 steps first, then timed over 30 steps (the sewer
// still filling). The counters give the time per pipe step and its parts
// (ms); per pipe step the network steps, the solves of the heads, the
// superlinks run again after a solve and the steps the groups of fast
// superjunctions took of their own; and per superlink and pipe step the
// internal steps it took.
void BM_SuperlinkStep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  testing::dendritic_sewer s;
  const bench::scratch_folder folder;
  if (!s.build(n, folder.file("sewer.slk"))) {
    state.SkipWithError("the sewer does not read");
    return;
  }
  if (state.range(2) != 0) s.p.solver.use_dense_reference();
  thread_pool crew(static_cast<int>(state.range(1)));
  for (int i = 0; i < 120; ++i)
    if (s.step(10.0, &crew).status != superlink_status::ok) {
      state.SkipWithError("the pipe step failed while the sewer filled");
      return;
    }
  const superlink_scheme& sc = s.p.solver;
  const superlink_timing before = sc.timing;
  const int network = sc.network_steps, solves = sc.head_solves, reruns = sc.link_reruns, steps = sc.link_steps,
            group_steps = sc.group_steps;
  for (auto _ : state)
    if (s.step(10.0, &crew).status != superlink_status::ok) {
      state.SkipWithError("the pipe step failed");
      break;
    }
  const double calls = static_cast<double>(state.iterations());
  const superlink_timing& t = sc.timing;
  auto ms = [&](double now, double then) { return 1e3 * (now - then) / calls; };
  state.counters["network_steps_per_step"] = (sc.network_steps - network) / calls;
  state.counters["solves_per_step"] = (sc.head_solves - solves) / calls;
  state.counters["reruns_per_step"] = (sc.link_reruns - reruns) / calls;
  state.counters["link_steps_per_link"] = (sc.link_steps - steps) / calls / s.p.num_slink;
  state.counters["group_steps_per_step"] = (sc.group_steps - group_steps) / calls;
  state.counters["exchange_ms"] = ms(t.exchange, before.exchange);
  state.counters["recurrences_ms"] = ms(t.recurrences, before.recurrences);
  state.counters["assembly_ms"] = ms(t.assembly, before.assembly);
  state.counters["solve_ms"] = ms(t.solve, before.solve);
  state.counters["flows_ms"] = ms(t.flows, before.flows);
  state.counters["water_ms"] = ms(t.water, before.water);
  state.counters["groups_ms"] = ms(t.groups, before.groups);
}
BENCHMARK(BM_SuperlinkStep)
    ->ArgNames({"junctions", "threads", "dense"})
    ->Args({200, 1, 0})
    ->Args({2000, 1, 0})
    ->Args({20000, 1, 0})
    ->Args({200, 4, 0})
    ->Args({2000, 4, 0})
    ->Args({20000, 4, 0})
    ->Args({200, 1, 1})  // the dense LU of the heads, for comparison
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

// The accuracy of the 10 s pipe step: the sewer of state.range(0)
// superjunctions fills from dry for 25 minutes in pipe steps of 10 s and,
// the same network, in steps of 2.5 s. Every 10 s the flow its outfall
// received over those 10 s is compared. The counters give the largest
// difference over the 30 steps BM_SuperlinkStep times (the 121st to the
// 150th) as a share of the quarter-step run's flow at that time, the
// largest over the whole run as a share of its last flow, and that last
// flow (m3/s) beside the sewer's inflow. One iteration is the two runs.
void BM_SuperlinkQuarterStep(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int calls = 150;
  double worst = 0.0, worst_of_last = 0.0, last = 0.0;
  const bench::scratch_folder folder;
  for (auto _ : state) {
    std::vector<double> flow[2];
    for (int run = 0; run < 2; ++run) {
      testing::dendritic_sewer s;
      if (!s.build(n, folder.file("sewer.slk"))) {
        state.SkipWithError("the sewer does not read");
        return;
      }
      const int per_call = run == 0 ? 1 : 4;
      const double dt = 10.0 / per_call;
      for (int c = 0; c < calls; ++c) {
        double out = 0.0;
        for (int i = 0; i < per_call; ++i) {
          const superlink_result r = s.step(dt);
          if (r.status != superlink_status::ok) {
            state.SkipWithError("the pipe step failed");
            return;
          }
          out += r.books.to_surface;
        }
        flow[run].push_back(out / 10.0);
      }
    }
    last = flow[1].back();
    worst = worst_of_last = 0.0;
    for (int c = 0; c < calls; ++c) {
      const double diff = std::fabs(flow[0][c] - flow[1][c]);
      worst_of_last = std::max(worst_of_last, diff / last);
      if (c >= 120) worst = std::max(worst, diff / flow[1][c]);
    }
  }
  state.counters["outfall_worst_share_timed"] = worst;
  state.counters["outfall_worst_share_of_last"] = worst_of_last;
  state.counters["outfall_last_m3/s"] = last;
  state.counters["inflow_m3/s"] = testing::sewer_manhole_inflow * (n - 1);
}
BENCHMARK(BM_SuperlinkQuarterStep)
    ->ArgNames({"junctions"})
    ->Arg(200)
    ->Arg(2000)
    ->Arg(20000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_TileExchange199Drains(benchmark::State& state) {
  sewer s;
  if (!build(s, true)) {
    state.SkipWithError("the sewer does not read");
    return;
  }
  std::vector<double> per_cell(s.grid.ncells + 2, 0.0);
  double total = 0.0;
  for (auto _ : state) {
    s.p.superlink_tile_flow.fill(0.0);
    const tile_result r =
        gw_tile_exchange(tile_domain{s.p, s.ground.data(), s.table.data(), s.bottom.data(), per_cell.data()});
    if (r.status != tile_status::flowing) {
      state.SkipWithError("the drains took no water");
      break;
    }
    total += r.total;
  }
  state.counters["drain_inflow_m3/s"] = total / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * (junctions - 1));
}
BENCHMARK(BM_TileExchange199Drains)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace nivra
