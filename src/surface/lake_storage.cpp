#include "surface/lake_storage.h"

#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "surface/overland_state.h"

namespace nivra {

void pour_onto_cell(model_state& ms, int c, double v, double open_area) {
  lake_state& lk = ms.lake;
  if (under_channel_lake(lk, c)) {
    const int L = lk.lake_mask[c];
    lk.lake_volume[L] += v;
    ms.ledger.book(water_flux::overland_to_channel_lakes, v);
    return;
  }
  if (const int L = overland_lake_of(lk, c)) {
    lk.olake_table[L].value[olake_value::exchange] += v;
    lk.olake_update = 1;
    return;
  }
  ms.overland.ov_depth[c] += v / open_area;
}

double channel_lake_storage(const lake_state& lk) {
  double v = 0.0;
  for (int l = 1; l <= lk.num_lakes && l <= lk.lake_volume.size(); ++l) v += lk.lake_volume[l];
  return v;
}

double overland_lake_storage(const model_state& ms) {
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double v = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (under_channel_lake(ms.lake, c)) continue;
    if (const int k = overland_lake_of(ms.lake, c)) v += (ms.lake.olake_table[k].value[0] - ms.grid.elevation[c]) * area;
  }
  return v;
}

}  // namespace nivra
