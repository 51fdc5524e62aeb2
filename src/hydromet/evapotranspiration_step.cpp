#include "hydromet/evapotranspiration_step.h"

#include "core/process.h"
#include "core/value_range.h"
#include "hydromet/evapotranspiration.h"
#include "hydromet/evapotranspiration_soil.h"
#include "hydromet/frozen_ground.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_map.h"
#include "inputs/grid_state.h"
#include "inputs/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "run/clock_state.h"
#include "run/time_loop.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

void ensure_cells(array1d<double>& a, int n, const char* name) {
  if (a.size() != n) alloc_1d_double(a, n, name);
}

}  // namespace

void init_evapotranspiration(model_state& ms) {
  if (!ms.clock.long_term) return;
  hydromet_state& hm = ms.hydromet;
  const int n = ms.grid.ncells;
  ensure_cells(hm.ground_temp, n, "ground_temp");
  ensure_cells(hm.ground_heat_flux, n, "ground_heat_flux");
  ensure_cells(hm.pet_rate, n, "pet_rate");
  ensure_cells(hm.aet_rate, n, "aet_rate");
  ensure_cells(hm.cfgi_cell, n, "cfgi_cell");
  ensure_cells(hm.snow_depth, n, "snow_depth");
  if (ms.soil.sm_accounting) ensure_cells(ms.soil.direct_evap_cell, n, "direct_evap_cell");
  if (hm.cfgi) hm.frost.prepare(n);
}

double evapotranspiration_hour(model_state& ms) {
  if (!ms.clock.long_term || ms.hydromet.pet_rate.empty()) return 0.0;
  hydromet_state& hm = ms.hydromet;
  const clock_state& clock = ms.clock;
  const soil_state& soil = ms.soil;
  const double* reduction = soil.area_reduction_given && !soil.area_reduction.empty() ? soil.area_reduction.data() : nullptr;
  hm.hmet_temperature =
      evapo_trans(ms.grid, hm, reduction, et_hour{clock.cur_year, clock.cur_month, clock.cur_day, clock.cur_hour});
  const int* overland_lakes =
      ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty() ? ms.lake.oland_lake_new.data() : nullptr;
  const int* channel_lakes = ms.lake.chan_lakes && !ms.lake.lake_mask.empty() ? ms.lake.lake_mask.data() : nullptr;
  if (hm.cfgi && hm.frost.prepared(ms.grid.ncells)) {
    frost_cells cells;
    cells.n = ms.grid.ncells;
    cells.air_temp = hm.cell_air_temp.data();
    cells.snow_depth = hm.snow_depth.data();
    cells.k = hm.cfgi_k;
    cells.cfgi = hm.cfgi_cell.data();
    cells.overland_lake = overland_lakes;
    cells.channel_lake = channel_lakes;
    cfgi_update(hm.frost, cells);
  }
  double sum = 0.0;
  int counted = 0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (overland_lake_of(ms.lake, c) || under_channel_lake(ms.lake, c)) continue;
    sum += hm.pet_rate[c];
    ++counted;
  }
  return counted > 0 ? sum / counted * 3600.0 : 0.0;
}

void et_removal_step(model_state& ms) {
  soil_state& s = ms.soil;
  clock_state& clock = ms.clock;
  if (!s.sm_accounting || !is_due(ms, clock.soilmoist_next_time)) return;
  const double dt = seconds_since(ms, clock.soilmoist_last_time);
  const hydromet_state& hm = ms.hydromet;
  const bool long_term = clock.long_term && !hm.pet_rate.empty();
  if (s.inf_redist && dt > 0.0 && !s.sm_water.empty() && !s.sm_infil_in.empty()) {
    soil_et_cells k;
    k.n = ms.grid.ncells;
    k.dt = dt;
    k.cell_area = ms.grid.grid_size * ms.grid.grid_size;
    k.long_term = long_term;
    k.deardorff = hm.et_calc_deardorff != 0;
    k.ov_depth = ms.overland.ov_depth.data();
    k.blocked = blocked_cells(ms.overland);
    if (long_term) {
      k.pet_rate = hm.pet_rate.data();
      k.aet_rate = hm.aet_rate.data();
    }
    k.rain = hm.rain_depth.empty() ? nullptr : hm.rain_depth.data();
    k.snow_swe = hm.snow_present && !hm.snow_swe.empty() ? hm.snow_swe.data() : nullptr;
    if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty()) k.boundary_type = ms.overland.boundary_type.data();
    if (ms.lake.chan_lakes && !ms.lake.lake_mask.empty()) k.channel_lake = ms.lake.lake_mask.data();
    if (ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty())
      k.overland_lake = ms.lake.oland_lake_new.data();
    k.sm_depth = s.sm_depth.data();
    k.porosity = s.soil_porosity.data();
    k.residual = s.resid_sat.empty() ? nullptr : s.resid_sat.data();
    k.field_capacity = s.ga_value_6.empty() ? nullptr : s.ga_value_6.data();
    k.wilting = s.wilting_point_cell.empty() ? nullptr : s.wilting_point_cell.data();
    k.top_layer_depth = s.top_layer_depth;
    k.soil_moist_depth = s.soil_moist_depth;
    k.sm_water_top = s.sm_water_top.data();
    k.sm_water_bottom = s.sm_water_bottom.data();
    k.sm_water = s.sm_water.data();
    k.sm_infil_in = s.sm_infil_in.data();
    k.direct_evap_cell = s.direct_evap_cell.data();
    const soil_et_books books = soil_moisture_redist(k);
    ms.ledger.book(water_flux::evaporation, books.ponded + books.soil);
    ms.ledger.book(water_flux::direct_evaporation, books.ponded);
  }
  clock.soilmoist_last_time = clock.model_time;
  clock.soilmoist_next_time = clock.model_time + clock.soilmoist_dt_days;

  // The water content at the surface: the redistribution's own while its
  // fronts run, else the top zone of the accounting.
  if (s.surface_moisture.empty() || s.sm_depth.empty()) return;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (s.sm_depth[c] < 1e-16) {
      if (s.inf_redist) s.surface_moisture[c] = s.soil_porosity[c];
    } else if (s.inf_redist && !clock.inf_redist_active && s.top_layer_depth > 0.0) {
      s.surface_moisture[c] = s.sm_water_top[c] / s.top_layer_depth;
    }
  }
}

}  // namespace nivra
