// Sediment kernels: one overland sediment step on 1,000 x 1,000 cells with
// three particle classes (on one thread and on four), one channel sand
// step and one whole channel sediment step (sand, wash load, beds) on a
// network of 10,000 links; items are cell-class (node-class) updates.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "channel/channel_sand.h"
#include "channel/channel_sediment.h"
#include "quality/sediment/sediment_physics.h"
#include "surface/lake_state.h"
#include "surface/overland_sediment.h"

namespace {

struct sheet {
  int rows = 1000, cols = 1000, n = rows * cols;
  double dx = 10.0;
  std::vector<double> depth, elev, qx, qy, rain;
  std::vector<int> right, below, left, above;
  std::vector<double> diam{0.0, 0.008, 0.05, 0.4}, sg{0.0, 2.65, 2.65, 2.65}, settling{0.0, 0.0, 0.0, 0.0};
  nivra::ov_sed_flow flow;
  nivra::ov_sed_params par;
  nivra::ov_sed_cells sed;
  nivra::ov_sed_books books;
  nivra::ov_sediment_step step;
  nivra::thread_pool crew;

  sheet()
      : depth(n + 1), elev(n + 1), qx(n + 1), qy(n + 1), rain(n + 1, 40.0), right(n + 1), below(n + 1),
        left(n + 1), above(n + 1) {
    for (int i = 1; i <= rows; ++i)
      for (int j = 1; j <= cols; ++j) {
        const int c = (i - 1) * cols + j;
        elev[c] = 500.0 - 0.01 * (i + j) + 0.05 * std::sin(i * 0.13) * std::cos(j * 0.17);
        depth[c] = 0.01 + 0.005 * std::sin(i * 0.05) * std::cos(j * 0.07);
        right[c] = j < cols ? c + 1 : 0;
        left[c] = j > 1 ? c - 1 : 0;
        below[c] = i < rows ? c + cols : 0;
        above[c] = i > 1 ? c - cols : 0;
        qx[c] = j < cols ? 1e-3 * (1.0 + 0.3 * std::sin(i * 0.1)) : 0.0;
        qy[c] = i < rows ? 5e-4 * (1.0 + 0.3 * std::cos(j * 0.1)) : 0.0;
      }
    const double nu = nivra::sediment::water_viscosity(20.0);
    for (int k = 1; k <= 3; ++k) settling[k] = nivra::sediment::fall_velocity(diam[k], sg[k], nu);
    flow = {n, dx, 10.0, depth.data(), elev.data(), qx.data(), qy.data(), rain.data(), right.data(),
            below.data(), left.data(), above.data()};
    flow.outlet_cell = n;
    flow.outlet_slope = 0.01;
    flow.qout = 0.5;
    flow.outlet_drains = true;
    par.option = 1;
    par.classes = {3, diam.data(), sg.data()};
    par.settling = settling.data();
    sed.alloc(n, 3, false);
    for (int c = 1; c <= n; ++c) {
      sed.soil_fract(c, 1) = 0.3;
      sed.soil_fract(c, 2) = 0.5;
      sed.soil_fract(c, 3) = 0.2;
    }
    books.alloc(3);
    step.prepare(n, 3);
  }
};

void BM_OverlandSedimentStep(benchmark::State& state) {
  static sheet s;
  const int parts = static_cast<int>(state.range(0));
  s.crew.resize(parts);
  std::vector<double> sk(s.n + 1, 1.0);
  s.par.sed_K = sk.data();
  for (auto _ : state) {
    s.step.run(s.flow, s.par, s.sed, s.books, s.crew, parts);
    benchmark::DoNotOptimize(s.sed.susp.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * s.n * 3);
}
BENCHMARK(BM_OverlandSedimentStep)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The pass after the step that the run's books and maps take from it (the
// class tally, the cells' net change and the ground).
void BM_OverlandSedimentTally(benchmark::State& state) {
  static sheet s;
  s.crew.resize(1);
  std::vector<double> sk(s.n + 1, 1.0);
  s.par.sed_K = sk.data();
  s.step.run(s.flow, s.par, s.sed, s.books, s.crew, 1);
  nivra::array2d<double> net(s.n, 3);
  nivra::ov_sed_tally tally;
  tally.alloc(3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(nivra::tally_sediment_step(s.sed, net, s.elev.data(), 100.0, tally));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * s.n * 3);
}
BENCHMARK(BM_OverlandSedimentTally)->Unit(benchmark::kMillisecond);

// A chain of 10,000 trapezoidal links of five nodes each into the outlet.
void BM_ChannelSandStep(benchmark::State& state) {
  using namespace nivra;
  const int links = 10000, max_nodes = 6;
  array1d<int> nx(links), ltype(links), dslink(links), lake_of(links);
  array1d<double> ldx(links), lake_elev(1);
  node_array<double> depth(max_nodes - 1, links), qp(max_nodes - 1, links), bel(max_nodes - 1, links),
      org(max_nodes - 1, links), bottom(max_nodes - 1, links), ss(max_nodes - 1, links), new_bel(max_nodes - 1, links);
  double z = 1000.0;
  for (int i = 1; i <= links; ++i) {
    nx[i] = 5;
    ltype[i] = link_type::erodible | link_type::trapezoid;
    dslink[i] = i < links ? i + 1 : 0;
    ldx[i] = 40.0;
    for (int j = 1; j <= 5; ++j) {
      z -= 0.002 * 40.0 * (1.0 + 0.5 * std::sin(i * 0.3 + j));
      bel(j, i) = org(j, i) = z;
      depth(j, i) = 0.6;
      qp(j, i) = 4.0;
      bottom(j, i) = 3.0;
      ss(j, i) = 1.5;
    }
  }
  chan_sand_network net;
  net.links = links;
  net.max_nodes = max_nodes;
  net.nx = &nx;
  net.ltype = &ltype;
  net.dslink = &dslink;
  net.link_dx = &ldx;
  net.depth = &depth;
  net.qp = &qp;
  net.bel = &bel;
  net.org_bel = &org;
  net.bottom = &bottom;
  net.sslope = &ss;
  net.lake_of_link = &lake_of;
  net.lake_elev = &lake_elev;
  // Two sand classes, 0.25 and 1 mm, at their fall velocities.
  const double diam[3] = {0.0, 0.25, 1.0};
  const double fall[3] = {0.0, sediment::sand_fall_velocity(0.25, 1.0e-6), sediment::sand_fall_velocity(1.0, 1.0e-6)};
  chan_sand_params par{2, diam, fall, 1.0e-6, 0.4, 0.3};
  chan_sand_store store;
  store.alloc((links + 1) * max_nodes, 1, 2);
  for (int i = 1; i <= links; ++i)
    for (int j = 1; j <= 5; ++j) store.sand(net.flat(i, j), 1) = store.sand(net.flat(i, j), 2) = 10.0;
  for (auto _ : state) {
    chan_sand_step(net, par, 30.0, store, new_bel);
    benchmark::DoNotOptimize(store.sand.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * links * 5 * 2);
}
BENCHMARK(BM_ChannelSandStep)->Unit(benchmark::kMillisecond);

}  // namespace

// The whole channel sediment step (sand by Yang's capacity, wash load with
// the water, the beds) on a chain of 10,000 erodible trapezoidal links of
// five nodes 40 m apart, with three classes: clay and silt as wash load,
// one sand. The network is written as a channel input file into a folder
// of the benchmark's own and set up as a run sets it up (the reader, the
// sizing of the node arrays, the sections from the water's depth, the
// sediment's set-up), with 0.6 m of water carrying 4 m3/s at every node.
#include "bench_support.h"
#include "channel/channel_input.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
#include "core/guarded_file.h"
#include "core/process.h"

namespace {

// The chain of erodible links: link l flows into l + 1, the last is the
// outlet; the bed runs on from link to link, falling 4 to 12 cm a node.
std::string write_erodible_chain(const nivra::bench::scratch_folder& folder, int links) {
  const std::string path = folder.file("chain.cif");
  std::FILE* f = std::fopen(path.c_str(), "w");
  std::fprintf(f, "NIVRA_CHAN\nALPHA 1\nBETA 1\nTHETA 0.6\nLINKS %d\nMAXNODES 6\n", links);
  for (int l = 1; l <= links; ++l)
    std::fprintf(f, l > 1 ? "CONNECT %d %d 1 %d\n" : "CONNECT %d %d 0\n", l, l < links ? l + 1 : 0, l - 1);
  double z = 5000.0;
  for (int l = 1; l <= links; ++l) {
    std::fprintf(f, "LINK %d\nTRAP_ERODE\nNODES 6\nDX 40.0\nMANNINGS_N 0.03\n", l);
    for (int k = 1; k <= 6; ++k) {
      if (k > 1) z -= 0.002 * 40.0 * (1.0 + 0.5 * std::sin(l * 0.3 + k));
      std::fprintf(f, "NODE %d\nELEV %.6f\n", k, z);
    }
    std::fprintf(f, "NODE 1\nXSEC\nBOTTOM_WIDTH 3.0\nSIDE_SLOPE 1.5\nBANKFULL_DEPTH 2.0\nMAX_EROSION 0.3\n");
  }
  std::fclose(f);
  return path;
}

void BM_ChannelSedimentStep(benchmark::State& state) {
  using namespace nivra;
  reset_process_state();
  const int links = 10000;
  const double dt = 30.0;
  channel_state ch;
  lake_state lakes;
  {
    const bench::scratch_folder folder;
    const std::string network = write_erodible_chain(folder, links);
    guarded_file f;
    chan_read_options quiet;
    quiet.summary = quiet.progress = false;
    chan_file_contents contents;
    const bench::silent_console silent;
    if (!open_guarded_file(f, network, "r") || !read_chan_input(ch, lakes, f, quiet, contents)) {
      state.SkipWithError("the erodible chain did not read");
      return;
    }
  }
  size_channel_state(ch);
  for (int l = 1; l <= links; ++l)
    for (int j = 1; j <= ch.nx[l]; ++j) {
      ch.chan_depth(j, l) = 0.6;
      ch.yp(j, l) = ch.bel(j, l) + 0.6;
      ch.qp(j, l) = 4.0;
    }
  if (!ex_section(ch, section_mode::from_depth)) {
    state.SkipWithError("the sections of the erodible chain failed");
    return;
  }
  const double diam[4] = {0.0, 0.002, 0.03, 0.3}, sg[4] = {0.0, 2.65, 2.65, 2.65};
  channel_sediment sed;
  if (!(setup_channel_sediment(ch, lakes, 1, split_sediment_classes(3, diam, sg, 0.0625, 20.0, 0.4), sed) > 0.0) ||
      sed.nodes_without_width != 0) {
    state.SkipWithError("the erodible beds hold no sand");
    return;
  }
  const int stride = ch.max_nodes_per_link;
  for (int l = 1; l <= links; ++l)
    for (int j = 1; j <= ch.nx[l]; ++j) sed.wash.vol(stride * l + j, 1) = sed.wash.vol(stride * l + j, 2) = 0.5;
  for (auto _ : state) {
    for (int l = 1; l <= links; ++l)
      for (int j = 1; j <= ch.nx[l]; ++j) ch.qp_vol_sed(j, l) = ch.qp(j, l) * dt;
    if (!channel_sediment_step(ch, lakes, nullptr, false, dt, sed)) {
      state.SkipWithError("the channel sediment step failed");
      break;
    }
    benchmark::DoNotOptimize(sed.wash.vol.data());
  }
  // Node-class updates.
  int nodes = 0;
  for (int l = 1; l <= links; ++l) nodes += ch.nx[l];
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * nodes * 3);
}
BENCHMARK(BM_ChannelSedimentStep)->Unit(benchmark::kMillisecond);

}  // namespace
