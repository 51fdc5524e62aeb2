// The nutrient totals written at every map output: unionized ammonia,
// total nitrogen and total phosphorus over the cells of a grid.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "quality/nsm/nutrient_derived.h"

namespace {

using namespace nivra;

void BM_OverlandNutrientTotals(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  nsm_overland ov;
  nsm_alloc_overland(ov, n, 30.0, 18.0, {});
  nsm_overland_set_grid(ov, 1, 30.0, 7.2);
  std::vector<double> depth(static_cast<std::size_t>(n) + 1);
  for (int i = 1; i <= n; ++i) {
    depth[static_cast<std::size_t>(i)] = (i % 7) * 0.01;
    for (int c = 0; c < 6; ++c) ov.water[c].mass[i] = 0.5 + c + (i % 13) * 0.1;
  }
  for (auto _ : state) {
    nsm_overland_unionized_ammonia(ov, depth.data());
    benchmark::DoNotOptimize(nsm_overland_total_nitrogen(ov));
    benchmark::DoNotOptimize(nsm_overland_total_phosphorus(ov));
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_OverlandNutrientTotals)->Arg(10000)->Arg(250000);

}  // namespace
