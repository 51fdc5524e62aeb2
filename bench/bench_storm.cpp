// A whole storm on a generated plane of 500 x 500 cells of 10 m (250,000
// cells, falling 1 % to the south and 0.5 % to the east to its south-east
// outlet): one hour of uniform rain at 10 mm/h, two hours simulated on a
// 10 s step. Three views of the same storm:
//   - the whole run through the driver (maps read, outputs written);
//   - the time loop alone, with the share of every routine of the step;
//   - the ADE kernel alone over the same overland steps.
// The counter cell_updates is cells x overland steps per second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "output/run_summary.h"
#include "output/step_outputs.h"
#include "run/clock_state.h"
#include "run/driver.h"
#include "run/steps.h"
#include "run/time_loop.h"
#include "surface/overland.h"
#include "surface/overland_state.h"
#include "surface/overland_step.h"

namespace {

namespace fs = std::filesystem;
using nivra::model_state;

constexpr int side = 500;
constexpr double dx = 10.0;
constexpr int steps_per_storm = 2 * 3600 / 10;

// The project and its two maps, written once into a scratch folder.
class storm_folder {
 public:
  storm_folder() : start_(fs::current_path()), path_(fs::temp_directory_path() / "nivra_bench_storm") {
    fs::create_directories(path_);
    fs::current_path(path_);
    write_map("storm.msk", [](int, int) { return std::string("1"); });
    write_map("storm.ele", [](int r, int c) {
      char v[32];
      std::snprintf(v, sizeof v, "%.3f", 1000.0 - 0.01 * dx * r - 0.005 * dx * c);
      return std::string(v);
    });
    std::FILE* f = std::fopen("storm.prj", "w");
    std::fprintf(f,
                 "NIVRAPROJECT\nWATERSHED_MASK storm.msk\nELEVATION storm.ele\nROWS %d\nCOLS %d\n"
                 "GRIDSIZE %.1f\nOUTROW %d\nOUTCOL %d\nOUTSLOPE 0.01\nMANNING_N 0.05\nOVERTYPE ADE\n"
                 "TOT_TIME 120\nTIMESTEP 10.0\nSTART_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\n"
                 "RAIN_INTENSITY 10.0\nRAIN_DURATION 60\nHYD_FREQ 5.0\nMAP_FREQ 240\n"
                 "SUPER_QUIET\nSUMMARY storm.sum\nOUTLET_HYDRO storm.otl\n",
                 side, side, dx, side, side);
    std::fclose(f);
  }
  ~storm_folder() {
    fs::current_path(start_);
    std::error_code ec;
    fs::remove_all(path_, ec);
  }

 private:
  template <class F>
  static void write_map(const char* name, F value) {
    std::FILE* f = std::fopen(name, "w");
    std::fprintf(f, "north: %.1f\nsouth: 0.0\neast: %.1f\nwest: 0.0\nrows: %d\ncols: %d\n", side * dx,
                 side * dx, side, side);
    std::string row;
    for (int r = 1; r <= side; ++r) {
      row.clear();
      for (int c = 1; c <= side; ++c) row += value(r, c) + (c < side ? " " : "\n");
      std::fputs(row.c_str(), f);
    }
    std::fclose(f);
  }
  fs::path start_, path_;
};

storm_folder& folder() {
  static storm_folder f;
  return f;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void report(benchmark::State& state, double overland_steps) {
  state.counters["cell_updates"] = benchmark::Counter(overland_steps * side * side,
                                                      benchmark::Counter::kIsIterationInvariantRate);
}

std::unique_ptr<model_state> set_up() {
  auto ms = nivra::make_model_state();
  if (!nivra::set_up_run(*ms, "storm.prj", nullptr)) std::fprintf(stderr, "storm set-up failed\n");
  return ms;
}

void BM_storm_whole_run(benchmark::State& state) {
  folder();
  for (auto _ : state) {
    int code = nivra::run_simulation("storm.prj", nullptr, "-slm");
    benchmark::DoNotOptimize(code);
  }
  report(state, steps_per_storm);
}
BENCHMARK(BM_storm_whole_run)->Unit(benchmark::kSecond)->Iterations(1);

// The time loop; the counters give each routine's share of the loop.
void BM_storm_time_loop(benchmark::State& state) {
  folder();
  const auto sequence = nivra::time_step_sequence();
  std::vector<double> spent(sequence.size(), 0.0);
  double loop = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    auto ms = set_up();
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    do {
      for (std::size_t i = 0; i < sequence.size(); ++i) {
        const auto t = std::chrono::steady_clock::now();
        sequence[i].run(*ms);
        spent[i] += seconds(t);
      }
    } while (ms->clock.keep_running);
    loop += seconds(t0);
    state.PauseTiming();
    ms.reset();
    state.ResumeTiming();
  }
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    if (sequence[i].run == nivra::overland_routing_step)
      state.counters["overland_step_share"] = spent[i] / loop;
    if (sequence[i].run == nivra::apply_rainfall) state.counters["rain_share"] = spent[i] / loop;
    if (sequence[i].run == nivra::write_time_series_output)
      state.counters["output_share"] = spent[i] / loop;
  }
  report(state, steps_per_storm);
}
BENCHMARK(BM_storm_time_loop)->Unit(benchmark::kSecond)->Iterations(1);

// The ADE kernel alone over the same storm: the rain of each overland step
// is applied by the model's own routines, the kernel's outputs are handed on
// as the overland step hands them, and only the kernel is timed.
void BM_storm_kernel_only(benchmark::State& state) {
  folder();
  for (auto _ : state) {
    state.PauseTiming();
    auto ms = set_up();
    for (int step = 0; step <= steps_per_storm; ++step) {
      nivra::advance_clock(*ms);
      nivra::init_event_state(*ms);
      nivra::update_rainfall(*ms);
      nivra::apply_rainfall(*ms);
      if (!nivra::is_due(*ms, ms->clock.ov_next_time)) continue;
      const double dt = nivra::seconds_since(*ms, ms->clock.ov_last_time);
      const nivra::overland_domain domain = nivra::overland_kernel_domain(*ms);
      state.ResumeTiming();
      benchmark::DoNotOptimize(nivra::route_overland_ade(domain, dt).books.outlet);
      state.PauseTiming();
      // The step hands the kernel's next call the mean face discharges.
      for (int c = 1; c <= ms->grid.ncells; ++c) {
        ms->overland.ov_qx[c] = ms->overland.ov_volx[c] / dt;
        ms->overland.ov_qy[c] = ms->overland.ov_voly[c] / dt;
      }
      ms->overland.ade_sweep = ms->overland.ade_sweep == 1 ? 2 : 1;
      ms->clock.ov_last_time = ms->clock.model_time;
      ms->clock.ov_next_time = ms->clock.model_time + ms->clock.ov_dt_days;
    }
    ms.reset();
    state.ResumeTiming();
  }
  report(state, steps_per_storm);
}
BENCHMARK(BM_storm_kernel_only)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
