// The hourly evapotranspiration and snow update of a long-term run on
// 1,000,000 cells: the hour's evapotranspiration (ground-temperature
// Newton iteration per cell, Deardorff and Penman-Monteith), the frozen-
// ground index with its 24-hour window, the removal from ponded water and
// the soil, and the snow pass over cells that all hold a layered pack.
// Items are cell-hours.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "hydromet/evapotranspiration.h"
#include "hydromet/frozen_ground.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/snow_fixture.h"
#include "hydromet/snow_melt.h"
#include "inputs/grid_state.h"
#include "soil/soil_moisture.h"
#include "soil/soil_state.h"

namespace {

using namespace nivra;

constexpr int cells = 1000000;

// Cells of gently varying slope and albedo under a fair June noon at 40 N.
struct et_cells {
  grid_state grid;
  hydromet_state hm;
  explicit et_cells(bool penman) {
    grid.ncells = cells;
    grid.slope_x.alloc(cells);
    grid.slope_y.alloc(cells);
    for (auto* a : {&hm.ground_temp, &hm.ground_heat_flux, &hm.pet_rate, &hm.aet_rate, &hm.snow_depth,
                    &hm.albedo_w_snow, &hm.cell_air_temp, &hm.Kt, &hm.veg, &hm.Rs})
      a->alloc(cells);
    hm.latitude = 40.0;
    hm.hmet_pressure = 980.0;
    hm.hmet_temperature = 24.0;
    hm.hmet_rel_humidity = 45.0;
    hm.hmet_cloud_cover = 2.0;
    hm.hmet_wind_speed = 2.5;
    hm.hmet_global_rad = 120.0;
    hm.hmet_direct_rad = 9999.0;
    hm.et_calc_penman = penman;
    for (int c = 1; c <= cells; ++c) {
      grid.slope_x[c] = 0.05 * std::sin(c * 0.001);
      grid.slope_y[c] = 0.04 * std::cos(c * 0.0007);
      hm.albedo_w_snow[c] = 0.18 + 0.04 * std::sin(c * 0.01);
      hm.cell_air_temp[c] = 24.0;
      hm.Kt[c] = 0.8;
      hm.veg[c] = 0.3;
      hm.Rs[c] = 70.0;
    }
  }
};

void BM_EvapoTrans(benchmark::State& state) {
  auto g = std::make_unique<et_cells>(state.range(0) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(evapo_trans(g->grid, g->hm, nullptr, et_hour{2024, 6, 21, 12}));
  state.SetItemsProcessed(state.iterations() * cells);
}
BENCHMARK(BM_EvapoTrans)->Arg(0)->Arg(1)->ArgNames({"penman"})->Unit(benchmark::kMillisecond);

void BM_FrostIndex(benchmark::State& state) {
  frost_history history;
  history.prepare(cells);
  auto T = std::make_unique<double[]>(cells + 1);
  auto depth = std::make_unique<double[]>(cells + 1);
  auto index = std::make_unique<double[]>(cells + 1);
  for (int c = 1; c <= cells; ++c) {
    T[c] = -5.0 + 3.0 * std::sin(c * 0.003);
    depth[c] = c % 3 == 0 ? 0.2 : 0.0;
  }
  frost_cells k;
  k.n = cells;
  k.air_temp = T.get();
  k.snow_depth = depth.get();
  k.cfgi = index.get();
  for (auto _ : state) {
    cfgi_update(history, k);
    benchmark::DoNotOptimize(index[cells / 2]);
  }
  state.SetItemsProcessed(state.iterations() * cells);
}
BENCHMARK(BM_FrostIndex)->Unit(benchmark::kMillisecond);

void BM_SoilEtRemoval(benchmark::State& state) {
  // The soil-moisture accounting's pass: ponded water on every seventh
  // cell, soil at field capacity (no drainage) giving the rest.
  auto soil = std::make_unique<soil_state>();
  soil_state& s = *soil;
  for (array1d<double>* a : {&s.sm_depth, &s.soil_porosity, &s.resid_sat, &s.ga_value_6, &s.wilting_point_cell,
                             &s.sat_hyd_cond, &s.pore_dist_index, &s.sm_water_top, &s.sm_water_bottom, &s.sm_water,
                             &s.sm_infil_in, &s.direct_evap_cell, &s.unsat_down_flux, &s.recharge_depth})
    a->alloc(cells);
  s.sm_depth.fill(40.0);
  s.soil_porosity.fill(0.45);
  s.resid_sat.fill(0.05);
  s.ga_value_6.fill(0.3);
  s.wilting_point_cell.fill(0.1);
  s.sat_hyd_cond.fill(2.0 / 360000.0);
  s.pore_dist_index.fill(0.5);
  s.sm_water_top.fill(3.0);
  s.sm_water_bottom.fill(9.0);
  s.sm_water.fill(12.0);
  s.top_layer_depth = 10.0;
  s.soil_moist_depth = 40.0;
  std::vector<double> ov(cells + 1, 0.0), pet(cells + 1, 2e-5), aet(cells + 1, 1.5e-5);
  for (int c = 1; c <= cells; c += 7) ov[c] = 0.002;
  soil_moisture_domain k{s};
  k.ncells = cells;
  k.dt = 3600.0;
  k.cell_area = 900.0;
  k.long_term = true;
  k.ov_depth = ov.data();
  k.pet_rate = pet.data();
  k.aet_rate = aet.data();
  for (auto _ : state) {
    // A little rain soaks in every hour, so the soil never dries out.
    for (int c = 1; c <= cells; c += 5) s.sm_infil_in[c] = 0.0005;
    benchmark::DoNotOptimize(soil_moisture_redist(k));
  }
  state.SetItemsProcessed(state.iterations() * cells);
}
BENCHMARK(BM_SoilEtRemoval)->Unit(benchmark::kMillisecond);

void BM_SnowPass(benchmark::State& state) {
  // Every cell under 8 cm of snow water on a cold, bright afternoon: the
  // energy balance and heat deficit of each cell, and its layered pack.
  auto hm = nivra::testing::snow_cells(cells);
  for (int c = 1; c <= cells; ++c) {
    hm->snow_swe[c] = 0.08;
    hm->snow_air_temp[c] = -2.0 + std::sin(c * 0.001);
    hm->R_short[c] = 80.0;
    hm->R_long[c] = 250.0;
    hm->cell_wind_speed[c] = 3.0;
    hm->snap_nivra_params(c, 5) = 25.0;
    hm->snap_nivra_params(c, 9) = 0.3;
  }
  hm->snow_present = 1;
  hm->hmet_temperature = -2.0;
  snow_step_cells k;
  k.n = cells;
  k.month = 2;
  k.day = 10;
  for (auto _ : state) {
    const snow_step_result r = snow_cell_step(*hm, k);
    if (r.status != snow_status::ok) {
      state.SkipWithError("the snow pass failed");
      break;
    }
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(state.iterations() * cells);
}
BENCHMARK(BM_SnowPass)->Unit(benchmark::kMillisecond);

}  // namespace
