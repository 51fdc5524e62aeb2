// The channel lakes' share of the time loop: the cell update after the
// lakes' volumes changed, the seepage through the beds of the lakes that
// seep, and the hourly evaporation of long-term runs.
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "soil/soil_state.h"
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
  groundwater_state& g = ms.groundwater;
  if (ms.lake.lake_gw_on && g.gw_simulation && !g.gwbound.empty())
    follow_lake_beds(ms.lake, g.gwbound.data(), ms.grid.ncells);
  return true;
}

void seep_through_lake_beds(model_state& ms, double dt) {
  lake_state& lakes = ms.lake;
  if (!lakes.chan_lakes || !lakes.lake_gw_on || lakes.num_lakes < 1) return;
  groundwater_state& gw = ms.groundwater;
  lake_bed_ground g;
  g.conductivity = ms.soil.sat_hyd_cond.data();
  if (gw.water_table_given && !gw.elevgw.empty()) {
    g.water_table = gw.elevgw.data();
    g.bottom = gw.bottom_elev.data();
  }
  if (gw.gw_simulation) {
    if (!gw.gwbound.empty()) g.gwbound = gw.gwbound.data();
    g.lake_source = gw.lake_source.data();
  }
  lake_seepage_rates(lakes, ms.grid, g);
  ms.ledger.book(lake_bed_seepage(lakes, ms.grid, g, dt), lake_seepage_terms);
}

void channel_lake_evaporation_hour(model_state& ms) {
  if (!ms.lake.chan_lakes || ms.lake.num_lakes < 1) return;
  const hydromet_state& hm = ms.hydromet;
  const double e = lake_evaporation(ms.lake, hm.hmet_wind_speed, hm.hmet_temperature, hm.hmet_rel_humidity);
  ms.ledger.book(water_flux::lake_evaporation, e);
  update_channel_lake_cells(ms);
}

}  // namespace nivra
