#include "hydromet/evapotranspiration_step.h"

#include "clock/clock_state.h"
#include "hydromet/evapotranspiration.h"
#include "hydromet/frozen_ground.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"

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
  ensure_cells(hm.ground_temp_at_hour, n, "ground_temp_at_hour");
  ensure_cells(hm.ground_heat_flux, n, "ground_heat_flux");
  ensure_cells(hm.pet_rate, n, "pet_rate");
  ensure_cells(hm.aet_rate, n, "aet_rate");
  ensure_cells(hm.cfgi_cell, n, "cfgi_cell");
  ensure_cells(hm.snow_depth, n, "snow_depth");
  if (hm.cfgi) hm.frost.prepare(n);
}

double evapotranspiration_hour(model_state& ms) {
  if (!ms.clock.long_term || ms.hydromet.pet_rate.empty()) return 0.0;
  hydromet_state& hm = ms.hydromet;
  const clock_state& clock = ms.clock;
  const soil_state& soil = ms.soil;
  const double* reduction = soil.area_reduction_given && !soil.area_reduction.empty() ? soil.area_reduction.data() : nullptr;
  // The hour's lake evaporation and layered snowpack then take the cells'
  // mean air temperature; evap_out prints the one the ET took (et_air_temp).
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

}  // namespace nivra
