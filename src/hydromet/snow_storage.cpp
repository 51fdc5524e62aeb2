#include "hydromet/snow_storage.h"

#include "clock/clock_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"

namespace nivra {

snow_water snow_storage(const model_state& ms) {
  const hydromet_state& hm = ms.hydromet;
  snow_water w;
  if (hm.snow_swe.empty()) return w;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  // Melt water is tracked on the cells in long-term runs.
  const bool melt = ms.clock.long_term && !hm.snow_melt_to_ov.empty();
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    if (under_channel_lake(ms.lake, c)) continue;
    if (hm.snow_present) w.snow += hm.snow_swe[c] * area;
    if (melt) w.melt_water += hm.snow_melt_to_ov[c] * area;
  }
  return w;
}

}  // namespace nivra
