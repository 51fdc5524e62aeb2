// The channel lakes' share of the time loop: the cell update after the
// lakes' volumes changed, and the hourly evaporation of long-term runs.
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "surface/channel_lakes.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

bool update_channel_lake_cells(model_state& ms) {
  if (!ms.lake.chan_lakes || ms.lake.num_lakes < 1) return true;
  const lake_update_books b =
      lake_cells_update(ms.lake, ms.grid, ms.overland.ov_depth.data(), ms.output.summary_file.fp);
  if (!b.ok) return false;
  ms.ledger.book(b, lake_update_terms);
  return true;
}

void channel_lake_evaporation_hour(model_state& ms) {
  if (!ms.lake.chan_lakes || ms.lake.num_lakes < 1) return;
  const hydromet_state& hm = ms.hydromet;
  const double e = lake_evaporation(ms.lake, hm.hmet_wind_speed, hm.hmet_temperature, hm.hmet_rel_humidity);
  ms.ledger.book(water_flux::lake_evaporation, e);
  update_channel_lake_cells(ms);
}

}  // namespace nivra
