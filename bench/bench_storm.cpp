// A whole storm on a generated plane of 1,000 x 1,000 cells of 10 m (one
// million cells, falling 1 % to the south, Manning n 0.03, one outlet cell in
// the middle of the southern edge) under uniform rain at 50 mm/h for 30
// minutes, of which the first 20 are simulated. Both schemes run on 10 s
// steps, each on 1 and 4 threads (NUM_THREADS); the _edge runs drain the
// plane over its whole southern edge: beside the outlet, the rest of the
// row are boundary cells of normal-depth outflow on 0.01 (OV_BOUNDARY, the
// mapping table's OVERLAND_BOUNDARY table). The environment variables
// NIVRA_STORM_MINUTES (1 to 60) and NIVRA_STORM_SIDE (cells along a side,
// 50 to 2,000) set another length and plane. Every run is timed from the
// project file to the last step of the time loop, and reports:
//   minutes        minutes simulated
//   wall_s         seconds of the run (set-up and time loop)
//   setup_s        seconds of the set-up (maps read, geometry, arrays)
//   substeps       sub-steps the scheme took, those of restarted steps too
//   restarts       steps started again on a shorter sub-step
//   cell_updates   cells whose faces a sub-step moved, summed over the
//                  sub-steps (local sub-steps step only the blocks of cells
//                  that need them)
//   q_end, q_peak  outlet discharge at the end of the run and its largest
//                  value at the end of a step, m3/s
//   out_m3         water that left through the outlet and the boundary
//                  cells, m3
//   updates_core   cell updates (cell_updates) per second and thread
//   speedup        the run on one thread over this run, in wall time
//   overland_share share of the time loop spent in the overland step
//   bytes_cell     memory the run holds at its end (resident pages of the
//                  process then, less those before its set-up), per cell
// Run with the machine otherwise idle: other programs on its cores slow the
// threads down unevenly.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "bench_support.h"
#include "clock/clock_state.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "run/driver.h"
#include "surface/overland_state.h"
#include "surface/overland_step.h"

namespace {

using nivra::model_state;

constexpr double dx = 10.0;
constexpr double step_s = 10.0;

// A whole number from the environment variable `name` when it lies in
// lo..hi, else (said once) the default.
int setting(const char* name, const char* what, int lo, int hi, int fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  const long m = std::strtol(v, &end, 10);
  if (*end != '\0' || m < lo || m > hi) {
    std::fprintf(stderr, "%s must be a whole number of %s from %d to %d; running %d\n", name, what, lo, hi,
                 fallback);
    return fallback;
  }
  return static_cast<int>(m);
}

// The minutes simulated and the cells along a side of the plane.
int storm_minutes() {
  static const int minutes = setting("NIVRA_STORM_MINUTES", "minutes", 1, 60, 20);
  return minutes;
}
int storm_side() {
  static const int side = setting("NIVRA_STORM_SIDE", "cells", 50, 2000, 1000);
  return side;
}

// The maps, and one project per scheme and thread count, written once into
// a folder of the program's own, its working folder.
class storm_folder {
 public:
  storm_folder() {
    const int side = storm_side();
    write_map("storm.msk", [](int, int, char* v) { v[0] = '1', v[1] = 0; });
    write_map("storm.ele", [](int r, int, char* v) { std::snprintf(v, 32, "%.3f", 1000.0 - 0.01 * dx * r); });
    // The boundary ids: 2 on the southern row but for the outlet, else 1.
    write_map("storm.idx", [side](int r, int c, char* v) { v[0] = r == side && c != side / 2 ? '2' : '1', v[1] = 0; });
    std::FILE* f = std::fopen("storm.cmt", "w");
    std::fprintf(f, "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP storm.idx \"Edge\"\nOVERLAND_BOUNDARY \"Edge\"\nNUM_IDS 2\n"
                    "%-6s%-80s%s\n%-6s%-80s%s\n%-6s%-80s%s\n",
                 "ID", "DESCRIPTION", "TYPE VALUE", "1", "Inside", "0 0", "2", "Southern edge", "1 0.01");
    std::fclose(f);
  }
  // The name of the project of a scheme on a number of threads, the plane
  // drained over its southern edge or not.
  static std::string name(const char* overtype, int threads, bool edge) {
    return std::string("storm_") + overtype + "_" + std::to_string(threads) + (edge ? "_edge" : "") + ".prj";
  }

  // That project, written.
  static std::string project(const char* overtype, double step, int threads, bool edge) {
    const int side = storm_side();
    const std::string name = storm_folder::name(overtype, threads, edge);
    std::FILE* f = std::fopen(name.c_str(), "w");
    std::fprintf(f,
                 "NIVRAPROJECT\nWATERSHED_MASK storm.msk\nELEVATION storm.ele\nROWS %d\nCOLS %d\n"
                 "GRIDSIZE %.1f\nOUTROW %d\nOUTCOL %d\nOUTSLOPE 0.01\nMANNING_N 0.03\nOVERTYPE %s\n"
                 "TOT_TIME %d\nTIMESTEP %.1f\nSTART_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\n"
                 "RAIN_INTENSITY 50.0\nRAIN_DURATION 30\nHYD_FREQ 5.0\nNUM_THREADS %d\n"
                 "SUPER_QUIET\nSUMMARY storm.sum\nOUTLET_HYDRO storm.otl\n",
                 side, side, dx, side, side / 2, overtype, storm_minutes(), step, threads);
    if (edge) std::fputs("MAPPING_TABLE storm.cmt\nOV_BOUNDARY\n", f);
    std::fclose(f);
    return name;
  }

 private:
  template <class F>
  static void write_map(const char* name, F value) {
    const int side = storm_side();
    std::FILE* f = std::fopen(name, "w");
    std::fprintf(f, "north: %.1f\nsouth: 0.0\neast: %.1f\nwest: 0.0\nrows: %d\ncols: %d\n", side * dx,
                 side * dx, side, side);
    std::string row;
    char v[32];
    for (int r = 1; r <= side; ++r) {
      row.clear();
      for (int c = 1; c <= side; ++c) {
        value(r, c, v);
        row += v;
        row += c < side ? ' ' : '\n';
      }
      std::fputs(row.c_str(), f);
    }
    std::fclose(f);
  }
  nivra::bench::scratch_folder folder_{true};
};

storm_folder& folder() {
  static storm_folder f;
  return f;
}

// Resident bytes of the process (Linux: /proc/self/statm); 0 where that
// cannot be read.
double resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  double size = 0.0, resident = 0.0;
  if (!(statm >> size >> resident)) return 0.0;
  return resident * 4096.0;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Wall time of each scheme's run on one thread (by its project's name on
// one thread), for the speed-ups.
std::map<std::string, double>& one_thread_wall() {
  static std::map<std::string, double> w;
  return w;
}

void storm(benchmark::State& state, const char* overtype, double step, bool edge = false) {
  folder();
  const int threads = static_cast<int>(state.range(0));
  const std::string prj = storm_folder::project(overtype, step, threads, edge);
  const std::string key = storm_folder::name(overtype, 1, edge);
  double wall = 0.0, setup = 0.0, overland = 0.0, loop = 0.0, held = 0.0;
  long long substeps = 0, restarts = 0, updates = 0;
  double q_end = 0.0, q_peak = 0.0, out = 0.0;
  for (auto _ : state) {
    const double before = resident_bytes();
    const auto t0 = std::chrono::steady_clock::now();
    auto ms = nivra::make_model_state();
    if (!nivra::set_up_run(*ms, prj, nullptr)) {
      state.SkipWithError("storm set-up failed");
      return;
    }
    setup = seconds(t0);
    const auto sequence = nivra::time_step_sequence();
    const auto t1 = std::chrono::steady_clock::now();
    do {
      for (const auto& routine : sequence) {
        if (routine.run == nivra::overland_routing_step) {
          const auto t = std::chrono::steady_clock::now();
          routine.run(*ms);
          overland += seconds(t);
          q_peak = ms->overland.qout > q_peak ? ms->overland.qout : q_peak;
        } else {
          routine.run(*ms);
        }
      }
    } while (ms->clock.keep_running && !nivra::process.error_block.stop);
    loop = seconds(t1);
    if (nivra::process.error_block.stop) {
      state.SkipWithError("the storm's run stopped on an error");
      return;
    }
    wall = seconds(t0);
    const bool explicit_faces = ms->overland.overtype == nivra::overland_scheme::explicit_faces;
    const auto& e = ms->overland.explicit_kernel;
    const auto& a = ms->overland.ade_kernel;
    substeps = explicit_faces ? e.substeps : a.substeps;
    restarts = explicit_faces ? e.restarts : a.restarts;
    updates = explicit_faces ? e.cell_updates : a.cell_updates;
    q_end = ms->overland.qout;
    out = ms->ledger.run_total(nivra::water_flux::outlet_discharge) +
          ms->ledger.run_total(nivra::water_flux::slope_boundary_out);
    state.PauseTiming();
    held = resident_bytes() - before;
    ms.reset();
    state.ResumeTiming();
  }
  if (threads == 1) one_thread_wall()[key] = wall;
  const double cells = static_cast<double>(storm_side()) * storm_side();
  state.counters["side"] = storm_side();
  state.counters["minutes"] = storm_minutes();
  state.counters["wall_s"] = wall;
  state.counters["setup_s"] = setup;
  state.counters["substeps"] = static_cast<double>(substeps);
  state.counters["restarts"] = static_cast<double>(restarts);
  state.counters["cell_updates"] = static_cast<double>(updates);
  state.counters["updates_core"] = static_cast<double>(updates) / wall / threads;
  state.counters["q_end"] = q_end;
  state.counters["q_peak"] = q_peak;
  state.counters["out_m3"] = out;
  const auto one = one_thread_wall().find(key);
  state.counters["speedup"] = one != one_thread_wall().end() ? one->second / wall : 0.0;
  state.counters["overland_share"] = overland / loop;
  state.counters["bytes_cell"] = held / cells;
}

void BM_storm_explicit(benchmark::State& state) { storm(state, "EXPLICIT", step_s); }
void BM_storm_ade(benchmark::State& state) { storm(state, "ADE", step_s); }
BENCHMARK(BM_storm_explicit)->ArgName("threads")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_storm_ade)->ArgName("threads")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kSecond)->Iterations(1);

void BM_storm_edge_explicit(benchmark::State& state) { storm(state, "EXPLICIT", step_s, true); }
void BM_storm_edge_ade(benchmark::State& state) { storm(state, "ADE", step_s, true); }
BENCHMARK(BM_storm_edge_explicit)->ArgName("threads")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_storm_edge_ade)->ArgName("threads")->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
