// Reading a 1,000 x 1,000 grid map (one million cells, about 10 MB of
// text): a real map of elevations and the integer watershed mask.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/guarded_file.h"
#include "core/process.h"
#include "inputs/grid_map.h"

namespace {

constexpr int side = 1000;

std::string write_map(const char* file, bool real) {
  const std::string path = (std::filesystem::temp_directory_path() / file).string();
  std::FILE* fp = std::fopen(path.c_str(), "w");
  std::fprintf(fp, "north: 1000000.0\nsouth: 970000.0\neast: 530000.0\nwest: 500000.0\n");
  std::fprintf(fp, "rows: %d\ncols: %d\n", side, side);
  for (int r = 1; r <= side; ++r) {
    for (int c = 1; c <= side; ++c) {
      if (real)
        std::fprintf(fp, "%.3f ", 1500.0 - 0.25 * r - 0.125 * c + (r * 7 + c * 13) % 100 * 0.001);
      else
        std::fprintf(fp, "%d ", (r + c) % 17 == 0 ? 0 : 1);
    }
    std::fputc('\n', fp);
  }
  std::fclose(fp);
  return path;
}

void read_map(benchmark::State& state, bool real) {
  nivra::reset_process_state();
  const std::string path = write_map(real ? "nivra_bench.ele" : "nivra_bench.msk", real);
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  nivra::array2d<int> mask(side + 1, side + 1);
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) mask[r][c] = 1;
  nivra::array1d<double> values(side * side);
  double north, south, east, west;
  int rows, cols;
  for (auto _ : state) {
    nivra::guarded_file f;
    nivra::open_guarded_file(f, path, "r");
    nivra::read_ascii_map(f, path, real ? nivra::map_real : nivra::map_int_grid, north, south, east,
                          west, rows, cols, mask, &values, nullptr, nullptr, side, side, 1);
    benchmark::DoNotOptimize(values.data());
  }
  std::filesystem::remove(path);
}

void BM_read_real_map_1M(benchmark::State& state) { read_map(state, true); }
void BM_read_mask_map_1M(benchmark::State& state) { read_map(state, false); }
BENCHMARK(BM_read_real_map_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_read_mask_map_1M)->Unit(benchmark::kMillisecond);

}  // namespace
