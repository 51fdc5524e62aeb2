// The contaminant soil column of one step on 1,000,000 cells of three
// layers with water draining through them: cell-layer updates per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "quality/contaminant/soil_column_kernels.h"

namespace {

void BM_SoilColumnStep(benchmark::State& state) {
  const int n = 1000000;
  std::vector<double> mass(static_cast<std::size_t>(n) * 4, 0.0);
  std::vector<nivra::contam_column_cell> cells(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    nivra::contam_column_cell& c = cells[static_cast<std::size_t>(i)];
    c.layers = 3;
    c.area = 900.0;
    c.decay_rate = 1e-6;
    for (int l = 1; l <= 3; ++l) {
      c.thickness[l] = 0.1 * l;
      c.porosity[l] = 0.45;
      c.theta[l] = 0.25 + 0.05 * std::sin(0.001 * i + l);
      c.dissolved[l] = 0.2;
      c.water_flux[l] = 0.002;
      mass[static_cast<std::size_t>(i) * 4 + l] = 50.0 / l;
    }
    c.infiltrated = 0.1;
  }
  for (auto _ : state) {
    double moved = 0.0;
    for (int i = 0; i < n; ++i)
      moved += nivra::contam_column_step(cells[static_cast<std::size_t>(i)], 600.0,
                                         &mass[static_cast<std::size_t>(i) * 4]).to_table;
    benchmark::DoNotOptimize(moved);
  }
  state.counters["cell-layers/s"] =
      benchmark::Counter(3.0 * n * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SoilColumnStep)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
