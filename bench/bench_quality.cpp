// The overland constituent transport on a 1,000 x 1,000 grid with water on
// every cell and three constituents: cell-constituent updates per second of
// one transport step, on one thread and on four.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/thread_pool.h"
#include "quality/contaminant/overland_transport.h"

namespace {

struct plane {
  int rows = 1000, cols = 1000, n = rows * cols;
  std::vector<int> above, below, left, right;
  std::vector<double> depth, qx, qy, disp, source;
  std::vector<std::vector<double>> mass, conc;  // per constituent
  plane() {
    for (auto* v : {&above, &below, &left, &right}) v->assign(n + 1, 0);
    for (auto* v : {&depth, &qx, &qy, &disp, &source}) v->assign(n + 1, 0.0);
    mass.assign(3, std::vector<double>(n + 1, 0.0));
    conc.assign(3, std::vector<double>(n + 1, 0.0));
    for (int i = 1; i <= n; ++i) {
      const int r = (i - 1) / cols, c = (i - 1) % cols;
      if (r > 0) above[i] = i - cols;
      if (r < rows - 1) below[i] = i + cols;
      if (c > 0) left[i] = i - 1;
      if (c < cols - 1) right[i] = i + 1;
      depth[i] = 0.035 + 0.015 * std::sin(r * 0.05) * std::cos(c * 0.07);
      qx[i] = 0.002 + 0.001 * std::sin(r * 0.11);
      qy[i] = 0.002 + 0.001 * std::cos(c * 0.13);
      disp[i] = 0.5;
      for (int k = 0; k < 3; ++k) {
        conc[k][i] = 10.0 * (k + 1) * (1.0 + 0.5 * std::sin(0.01 * i));
        mass[k][i] = conc[k][i] * depth[i] * 100.0;
      }
    }
  }
};

void BM_OverlandConstituentTransport(benchmark::State& state) {
  static plane p;
  nivra::thread_pool crew(static_cast<int>(state.range(0)));
  nivra::ov_transport_domain d;
  d.ncells = p.n;
  d.dx = 10.0;
  d.above = p.above.data();
  d.below = p.below.data();
  d.left = p.left.data();
  d.right = p.right.data();
  d.depth = p.depth.data();
  d.qx = p.qx.data();
  d.qy = p.qy.data();
  d.disp = p.disp.data();
  d.source = p.source.data();
  d.crew = &crew;
  nivra::ov_transport_scratch w;
  w.size_for(p.n);
  for (auto _ : state) {
    for (int k = 0; k < 3; ++k) {
      nivra::ov_transport_state s{p.mass[k].data(), p.conc[k].data()};
      nivra::ovl_contam_step(d, s, w, 1.0, nivra::sweep_order::rows_first);
    }
    benchmark::DoNotOptimize(p.mass[0].data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * p.n * 3);
}
BENCHMARK(BM_OverlandConstituentTransport)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
