// The hourly weather of long-term runs on large grids: the terrain shading
// of one day (24 hours of rays from every cell of a 1,000 x 1,000 grid of
// rolling hills, 200 m of relief on cells of 30 m) and the hour's weather of
// 1,000,000 cells (the gage's air column, every cell's weather between its
// bands, its slope factor, albedo and radiation). Items are cell-hours.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "hydromet/elevation_bands.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/solar_geometry.h"
#include "hydromet/solar_shading.h"
#include "hydromet/weather_fixture.h"
#include "model/model_state.h"
#include "surface/overland_state.h"

namespace {

using namespace nivra;

constexpr int side = 1000;

double hills(int r, int c) { return 1000.0 + 60.0 * std::sin(c * 30.0 / 700.0) + 40.0 * std::cos(r * 30.0 / 450.0) + 0.02 * r; }

std::unique_ptr<model_state> hill_country() {
  auto ms = make_model_state();
  nivra::testing::make_terrain(*ms, nivra::testing::terrain(side, side, 30.0, hills));
  return ms;
}

// Every weather array of the hour's driver, the bands of one gage in the
// middle of the grid and a fair summer noon. False when the cells did not
// take their bands.
bool prepare_weather(model_state& ms) {
  hydromet_state& hm = ms.hydromet;
  const int n = ms.grid.ncells;
  hm.elev_min = 1e9;
  hm.elev_max = -1e9;
  for (int c = 1; c <= n; ++c) {
    hm.elev_min = std::min(hm.elev_min, ms.grid.elevation[c]);
    hm.elev_max = std::max(hm.elev_max, ms.grid.elevation[c]);
  }
  hm.elev_band_height = 100.0;
  hm.elev_band_count = 4 + static_cast<int>(std::floor((hm.elev_max - hm.elev_min) / 100.0));
  hm.Gage_XYZ_Lev_P_rh_c_w_t_qh.alloc(1, 10);
  hm.El_T_P_e_es_LR.alloc(1, hm.elev_band_count, 6);
  hm.Dist_Cell2Gage.alloc(n, 1);
  hm.Cell_X1_Y2_Z3_S4_A5.alloc(n, 5);
  hm.shade_by_hour.alloc(n, 23);
  for (auto* a : {&hm.R_short, &hm.R_long, &hm.Cell_Aspect_Eff_Rad_Percent, &hm.albedo_w_snow, &hm.albedo_cell,
                  &hm.temper_gridded_sum, &hm.snow_swe, &hm.cell_air_temp, &hm.cell_pressure, &hm.cell_rel_humidity,
                  &hm.cell_cloud_cover, &hm.cell_wind_speed, &hm.snow_air_temp, &ms.overland.ov_depth})
    a->alloc(n);
  for (auto* a : {&hm.LR_Num, &hm.Hours_Since_Snow, &hm.melt_occurred, &hm.Snow_Accumulated_Hr}) a->alloc(n);
  auto g = hm.Gage_XYZ_Lev_P_rh_c_w_t_qh[1];
  g[3] = 1000.0;
  g[4] = (1000.0 - hm.elev_min) / 100.0 + 2.0;
  g[5] = 880.0;
  g[6] = 45.0;
  g[7] = 3.0;
  g[8] = 4.0;
  g[9] = 22.0;
  for (int c = 1; c <= n; ++c) {
    hm.Dist_Cell2Gage(c, 1) = 1000.0;
    hm.albedo_cell[c] = hm.albedo_w_snow[c] = 0.2;
  }
  if (!elev_band_assign(ms.grid, hm)) return false;
  slope_normals(n, ms.grid.centred_slope_x, ms.grid.centred_slope_y, hm.Cell_X1_Y2_Z3_S4_A5);
  hm.latitude = 40.0;
  hm.hmet_hour_day = 10;
  hm.hmet_hour_hour = 12;
  hm.hmet_temperature = 22.0;
  hm.terrain_shading = 0;
  hm.sun = sun_on_day(40.0, 161, 12.0);
  return true;
}

void BM_DailyTerrainShading(benchmark::State& state) {
  auto ms = hill_country();
  array2d<unsigned char> shade(ms->grid.ncells, 23);
  const shading_terrain t = shading_terrain_of(ms->grid);
  for (auto _ : state) {
    benchmark::DoNotOptimize(solar_daily_shading(shade, t, 40.0, 161));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * ms->grid.ncells * 24);
  state.counters["cells"] = ms->grid.ncells;
}

void BM_HourlyWeatherOfTheCells(benchmark::State& state) {
  auto ms = hill_country();
  if (!prepare_weather(*ms)) {
    state.SkipWithError("the cells did not take their elevation bands");
    return;
  }
  for (auto _ : state)
    if (!elev_band_snow(ms->grid, ms->overland.ov_depth, ms->hydromet)) {
      state.SkipWithError("the hour's weather of the cells failed");
      break;
    }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * ms->grid.ncells);
  state.counters["cells"] = ms->grid.ncells;
}

BENCHMARK(BM_DailyTerrainShading)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HourlyWeatherOfTheCells)->Unit(benchmark::kMillisecond);

}  // namespace
