// Reading a 1,000 x 1,000 grid map (one million cells, about 10 MB of
// text): a real map of elevations and the integer watershed mask. The maps
// are written into a folder of the benchmark's own; a read that stops the
// run stops the benchmark.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "maps/grid_map.h"

namespace {

constexpr int side = 1000;
// The edges of every map of the benchmarks and of the project's grid.
constexpr double north = 1000000.0, south = 970000.0, east = 530000.0, west = 500000.0;

void write_header(std::FILE* fp) {
  std::fprintf(fp, "north: %.1f\nsouth: %.1f\neast: %.1f\nwest: %.1f\n", north, south, east, west);
  std::fprintf(fp, "rows: %d\ncols: %d\n", side, side);
}

std::string write_map(const nivra::bench::scratch_folder& folder, const char* file, bool real) {
  const std::string path = folder.file(file);
  std::FILE* fp = std::fopen(path.c_str(), "w");
  write_header(fp);
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
  const nivra::bench::scratch_folder folder;
  const std::string path = write_map(folder, real ? "bench.ele" : "bench.msk", real);
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  nivra::array2d<int> mask(side + 1, side + 1);
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) mask[r][c] = 1;
  nivra::array1d<double> values(side * side);
  double n, s, e, w;
  int rows, cols;
  for (auto _ : state) {
    nivra::guarded_file f;
    nivra::open_guarded_file(f, path, "r");
    nivra::read_ascii_map(f, path, real ? nivra::map_real : nivra::map_int_grid, n, s, e, w, rows, cols, mask,
                          &values, nullptr, nullptr, side, side, 1);
    if (nivra::process.error_block.stop) {
      state.SkipWithError("the map did not read");
      break;
    }
    benchmark::DoNotOptimize(values.data());
  }
}

void BM_read_real_map_1M(benchmark::State& state) { read_map(state, true); }
void BM_read_mask_map_1M(benchmark::State& state) { read_map(state, false); }
BENCHMARK(BM_read_real_map_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_read_mask_map_1M)->Unit(benchmark::kMillisecond);

}  // namespace

// The mapping table on the same grid: an index map of 20 land-use IDs
// (about 3 MB of text) and a table giving each ID one value (ROUGHNESS) or
// seven (GREEN_AMPT_INFILTRATION), read into per-cell arrays. The grid has
// the index map's edges, as a project's watershed mask gives them.
#include <array>

#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "model/model_state.h"
#include "model/project.h"

namespace {

std::string write_mapping_table(const nivra::bench::scratch_folder& folder) {
  const std::string map_path = folder.file("bench_ids.map");
  std::FILE* fp = std::fopen(map_path.c_str(), "w");
  write_header(fp);
  for (int r = 1; r <= side; ++r) {
    for (int c = 1; c <= side; ++c) std::fprintf(fp, "%d ", 1 + (r / 50 + c / 50) % 20);
    std::fputc('\n', fp);
  }
  std::fclose(fp);
  const std::string table_path = folder.file("bench.cmt");
  fp = std::fopen(table_path.c_str(), "w");
  std::fprintf(fp, "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP %s landuse\n", map_path.c_str());
  std::fprintf(fp, "ROUGHNESS landuse\nNUM_IDS 20\nID DESCRIPTION VALUES\n");
  for (int id = 1; id <= 20; ++id) std::fprintf(fp, "%-6d%-80s%.3f\n", id, "land use", 0.01 * id);
  std::fprintf(fp, "GREEN_AMPT_INFILTRATION landuse\nNUM_IDS 20\nID DESCRIPTION VALUES\n");
  for (int id = 1; id <= 20; ++id)
    std::fprintf(fp, "%-6d%-80s%.2f 10 0.4 0.2 0.02 0.3 0.1\n", id, "soil", 0.1 * id);
  std::fclose(fp);
  return table_path;
}

void read_table(benchmark::State& state, int code) {
  nivra::reset_process_state();
  const nivra::bench::scratch_folder folder;
  const std::string table = write_mapping_table(folder);
  auto ms = nivra::make_model_state();
  ms->project.super_quiet = 1;
  ms->project.mapping_table.assign(table);
  nivra::grid_state& g = ms->grid;
  g.proj_rows = g.proj_cols = side;
  g.north = north;
  g.south = south;
  g.east = east;
  g.west = west;
  g.mask.alloc(side + 1, side + 1);
  for (int r = 1; r <= side; ++r)
    for (int c = 1; c <= side; ++c) g.mask[r][c] = ++g.ncells;
  std::array<nivra::array1d<double>, 7> values;
  for (auto& v : values) v.alloc(g.ncells);
  for (auto _ : state) {
    if (nivra::read_cmt_table(*ms, code, {&values[0], &values[1], &values[2], &values[3], &values[4], &values[5],
                                          &values[6]}) != 1) {
      state.SkipWithError("the mapping table did not read");
      break;
    }
    benchmark::DoNotOptimize(values[0].data());
  }
  state.counters["cells"] = g.ncells;
}

void BM_mapping_table_roughness_1M(benchmark::State& state) { read_table(state, nivra::cmt_code_roughness); }
void BM_mapping_table_green_ampt_1M(benchmark::State& state) { read_table(state, nivra::cmt_code_ga_infiltration); }
BENCHMARK(BM_mapping_table_roughness_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mapping_table_green_ampt_1M)->Unit(benchmark::kMillisecond);

}  // namespace
