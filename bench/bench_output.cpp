// Map writes on a 1,000 x 1,000 grid: one arc ASCII grid and one binary
// dataset record, the two writes a long run repeats at every map time,
// into a folder of the benchmark's own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/arrays.h"
#include "core/guarded_file.h"
#include "output/dataset_out.h"
#include "output/grid_writers.h"

namespace {

constexpr int side = 1000;

struct grid_fixture {
  nivra::array2d<int> mask;
  nivra::array1d<double> values;
  int ncells = 0;
  grid_fixture() {
    mask.alloc(side + 1, side + 1);
    for (int r = 1; r <= side; ++r)
      for (int c = 1; c <= side; ++c)
        if ((r + c) % 17 != 0) mask(r, c) = ++ncells;  // a few cells outside
    values.alloc(ncells);
    for (int k = 1; k <= ncells; ++k) values[k] = 0.001 * (k % 100000) + 1e-5 * (k % 7);
  }
};

void BM_ascii_grid_write(benchmark::State& state) {
  grid_fixture g;
  const nivra::bench::scratch_folder folder;
  const std::string path = folder.file("map.asc");
  for (auto _ : state) {
    nivra::guarded_file f;
    if (!nivra::open_guarded_file(f, path, "w")) {
      state.SkipWithError("the map did not open");
      break;
    }
    nivra::write_ascii_grid(f, g.mask, 1.0e6, 0.0, 1.0e6, 0.0, side, side, g.values.data(),
                            1000.0);
    nivra::close_guarded_file(f);
  }
}
BENCHMARK(BM_ascii_grid_write)->Unit(benchmark::kMillisecond);

void BM_binary_dataset_record(benchmark::State& state) {
  grid_fixture g;
  const nivra::bench::scratch_folder folder;
  const std::string path = folder.file("map.bin");
  nivra::guarded_file f;
  if (!nivra::open_guarded_file(f, path, "wb")) {
    state.SkipWithError("the dataset did not open");
    return;
  }
  std::vector<unsigned char> scratch(14 + static_cast<std::size_t>(side) * side * 10);
  double t = 0.0;
  for (auto _ : state) {
    nivra::write_dataset_record(f, true, t, g.mask, side, side, g.values.data(), scratch);
    t += 1.0;
    if (std::ftell(f.fp) > (1L << 30)) std::rewind(f.fp);  // keep the scratch file bounded
  }
  nivra::close_guarded_file(f);
}
BENCHMARK(BM_binary_dataset_record)->Unit(benchmark::kMillisecond);

}  // namespace
