#include "surface/surface_storage.h"

#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"

namespace nivra {

double surface_storage(const model_state& ms, overland_lake_cells lakes, area_applied area) {
  const double cell_area = ms.grid.grid_size * ms.grid.grid_size;
  const bool per_cell = area == area_applied::per_cell;
  const double* blocked = blocked_cells(ms.overland);
  const double* h = ms.overland.ov_depth.data();
  double v = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (under_channel_lake(ms.lake, c)) continue;
    if (const int k = overland_lake_of(ms.lake, c); k > 0 && lakes != overland_lake_cells::ponded_depth) {
      if (lakes == overland_lake_cells::lake_water)
        v += (ms.lake.olake_table[k].value[0] - ms.grid.elevation[c]) * cell_area;
      continue;
    }
    if (per_cell)
      v += h[c] * open_share(blocked, c) * cell_area;
    else
      v += h[c] * open_share(blocked, c);
  }
  return per_cell ? v : v * cell_area;
}

}  // namespace nivra
