// Reading and setting up a channel network of 10,000 links: a main stem of
// 5,000 links, each joined by a tributary, every link of 11 node points
// (10 computational nodes), the tributaries trapezoidal and the stem
// break-point channels with a surveyed section of 8 points and 40 levels;
// the grid-stream file gives each of the 100,000 nodes its own cell of a
// 400 x 250 grid.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "channel/channel_input.h"
#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "surface/lake_state.h"

namespace {

constexpr int links = 10000, stem = links / 2, points = 11;
constexpr int rows = 400, cols = 250;

std::string temp_path(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

// Link l < stem + 1 is a tributary of stem link stem + l; stem link m flows
// into m + 1, the last is the outlet.
std::string write_network() {
  const std::string path = temp_path("nivra_bench.cif");
  std::FILE* f = std::fopen(path.c_str(), "w");
  std::fprintf(f, "NIVRA_CHAN\nALPHA 1\nBETA 1\nTHETA 0.6\nLINKS %d\nMAXNODES %d\n", links, points);
  for (int l = 1; l <= stem; ++l) std::fprintf(f, "CONNECT %d %d 0\n", l, stem + l);
  std::fprintf(f, "CONNECT %d %d 1 1\n", stem + 1, stem + 2);
  for (int m = stem + 2; m <= links; ++m) std::fprintf(f, "CONNECT %d %d 2 %d %d\n", m, m < links ? m + 1 : 0, m - 1, m - stem);
  for (int l = 1; l <= links; ++l) {
    const bool main = l > stem;
    std::fprintf(f, "LINK %d\n%s\nNODES %d\nDX 50.0\nMANNINGS_N 0.035\n", l, main ? "BREAKPOINT" : "TRAPEZOID", points);
    const double top = main ? 500.0 - 0.05 * (l - stem) : 520.0;
    for (int k = 1; k <= points; ++k) std::fprintf(f, "NODE %d\nX_Y %d.0 %d.0\nELEV %.3f\n", k, k * 50, l * 10, top - 0.1 * k);
    if (main)
      std::fprintf(f, "NODE 1\nNPAIRS 8\nNUM_INTERP 40\nX1 0 4\nX1 5 2\nX1 8 1.5\nX1 10 0\nX1 14 0.2\nX1 16 1.5\n"
                      "X1 20 2\nX1 26 4\n");
    else
      std::fprintf(f, "NODE 1\nXSEC\nBOTTOM_WIDTH 3.0\nSIDE_SLOPE 1.5\nBANKFULL_DEPTH 1.2\n");
  }
  std::fclose(f);
  return path;
}

std::string write_grid_stream() {
  const std::string path = temp_path("nivra_bench.gst");
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
  const std::string network = write_network(), grid_stream = write_grid_stream();
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
  // The break-point pass prints one dot a link, even in a quiet run: the
  // console is silenced while the benchmark runs.
  std::fflush(stdout);
  const int console = dup(1), devnull = open("/dev/null", O_WRONLY);
  dup2(devnull, 1);
  for (auto _ : state) {
    nivra::channel_state ch;
    nivra::lake_state lakes;
    nivra::chan_file_contents contents;
    nivra::guarded_file f, g;
    nivra::open_guarded_file(f, network, "r");
    nivra::open_guarded_file(g, grid_stream, "r");
    bool ok = nivra::read_chan_input(ch, lakes, f, quiet, contents) &&
              nivra::read_grid_stream_file(ch, grid, g, quiet) && nivra::init_grid_stream(ch, false);
    if (!ok) state.SkipWithError("the network did not read");
    benchmark::DoNotOptimize(ch.xarea.data());
  }
  std::fflush(stdout);
  dup2(console, 1);
  close(console);
  close(devnull);
  std::filesystem::remove(network);
  std::filesystem::remove(grid_stream);
}
BENCHMARK(BM_read_and_set_up_network_10k_links)->Unit(benchmark::kMillisecond);

}  // namespace
