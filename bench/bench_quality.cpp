// The overland constituent transport on a 1,000 x 1,000 grid with water on
// every cell and three constituents: cell-constituent updates per second of
// one transport step, on one thread and on four.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/process.h"
#include "core/thread_pool.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_state.h"
#include "quality/contaminant/contaminant_setup.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "soil/soil_state.h"
#include "surface/overland_state.h"
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

// The whole constituent step of the time loop on the same grid: the
// processes (decay pending in every cell) and the transport with every
// cell's net source, three contaminants.
void BM_OverlandConstituentStep(benchmark::State& state) {
  static plane p;
  nivra::reset_process_state();
  auto ms = nivra::make_model_state();
  nivra::model_state& m = *ms;
  m.grid.ncells = p.n;
  m.grid.grid_size = 10.0;
  m.grid.cell_row.grow(p.n);
  m.grid.cell_col.grow(p.n);
  for (auto* a : {&m.grid.abovecon, &m.grid.belowcon, &m.grid.leftcon, &m.grid.rightcon}) a->alloc(p.n);
  m.overland.ov_depth.alloc(p.n);
  m.overland.ov_qx.alloc(p.n);
  m.overland.ov_qy.alloc(p.n);
  m.soil.inf_depth_cell.alloc(p.n);
  for (int i = 1; i <= p.n; ++i) {
    m.grid.cell_row[i] = (i - 1) / p.cols + 1;
    m.grid.cell_col[i] = (i - 1) % p.cols + 1;
    m.grid.abovecon[i] = p.above[i];
    m.grid.belowcon[i] = p.below[i];
    m.grid.leftcon[i] = p.left[i];
    m.grid.rightcon[i] = p.right[i];
    m.overland.ov_depth[i] = p.depth[i];
    m.overland.ov_qx[i] = p.qx[i];
    m.overland.ov_qy[i] = p.qy[i];
  }
  m.overland.crew.resize(static_cast<int>(state.range(0)));
  nivra::constituent_state& k = m.constituent;
  k.ov_con_trans = 1;
  k.num_contaminants = 3;
  k.ov_disp_coef = 0.5;
  k.ov_decay_coef = 0.1;
  nivra::setup_contaminants(m);
  for (int c = 1; c <= 3; ++c)
    for (int i = 1; i <= p.n; ++i) k.ov_conc(c, i) = p.conc[static_cast<std::size_t>(c - 1)][i];
  nivra::init_soil_contam(m);
  nivra::clock_state& cl = m.clock;
  const double dt = 1.0;
  cl.model_time = 2460000.5;
  cl.time_tol = nivra::due_tolerance_days;
  cl.dt = cl.base_dt = cl.ov_dt = dt;
  cl.ov_dt_days = dt / nivra::seconds_per_day;
  nivra::set_clock(cl.ov_con_clock, dt, cl.ov_dt_days, cl.model_time, cl.model_time + cl.ov_dt_days);
  if (nivra::process.error_block.stop) {
    state.SkipWithError("the contaminants did not set up");
    return;
  }
  for (auto _ : state) {
    cl.model_time += cl.ov_dt_days;
    cl.ov_last_time = cl.model_time;
    nivra::overland_constituent_processes(m);
    nivra::overland_constituent_transport(m);
    if (nivra::process.error_block.stop) {
      state.SkipWithError("the constituent step stopped on an error");
      break;
    }
    benchmark::DoNotOptimize(k.ov_mass(1, 1));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * p.n * 3);
}
BENCHMARK(BM_OverlandConstituentStep)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
