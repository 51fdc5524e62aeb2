// The channel lakes' share of the time loop: the cell update after the
// lakes' volumes changed, the seepage through the beds of the lakes that
// seep, and the hourly evaporation of long-term runs.
#include <algorithm>

#include "clock/clock_state.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "hydromet/snow_melt.h"
#include "hydromet/snowpack_layers.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "soil/soil_state.h"
#include "surface/channel_lakes.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The snow of the cells a lake took in this update: the pack's water and
// the melt water held in its waves become lake water, and the cell's pack
// is gone. The volumes are those the snow's storage counted on the cell
// (hydromet/snow_storage.cpp), so the snow's books lose what the lake gains.
double lake_takes_snow(model_state& ms) {
  hydromet_state& hm = ms.hydromet;
  lake_state& lk = ms.lake;
  if (hm.snow_swe.empty() || lk.new_flooded_grid.empty()) return 0.0;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const bool melt = ms.clock.long_term && !hm.snow_melt_to_ov.empty();
  const int slots = std::clamp(hm.melt_wave_slots, 1, 6);
  double taken = 0.0;
  for (int L = 1; L <= lk.num_lakes; ++L) {
    for (const int c : lk.chan_lake[L].search_cell) {
      if (lk.new_flooded_grid[c] != 1 || lk.lake_mask[c] != L) continue;
      double v = 0.0;
      if (hm.snow_present) v += hm.snow_swe[c] * area;
      hm.snow_swe[c] = 0.0;
      if (!hm.snow_depth.empty()) hm.snow_depth[c] = 0.0;
      if (melt) {
        v += hm.snow_melt_to_ov[c] * area;
        hm.snow_melt_to_ov[c] = 0.0;
        if (!hm.Melt_Waves.empty()) {
          const melt_waves waves{&hm.Melt_Waves(c, 0, 0)};
          for (int w = 1; w <= slots; ++w) waves.amount(w) = waves.rate(w) = 0.0;
        }
      }
      if (!hm.snap_nivra_params.empty()) {
        auto pack = hm.snap_nivra_params[c];
        reset_pack_record(pack);
      }
      lk.lake_volume[L] += v;
      taken += v;
    }
  }
  return taken;
}

}  // namespace

bool update_channel_lake_cells(model_state& ms) {
  if (!ms.lake.chan_lakes || ms.lake.num_lakes < 1) return true;
  const lake_update_books b =
      lake_cells_update(ms.lake, ms.grid, ms.overland.ov_depth.data(), ms.output.summary_file.fp);
  if (!b.ok) return false;
  ms.ledger.book(b, lake_update_terms);
  ms.ledger.book(water_flux::snow_to_channel_lakes, lake_takes_snow(ms));
  groundwater_state& g = ms.groundwater;
  if (ms.lake.lake_gw_on && g.gw_simulation && !g.gwbound.empty())
    follow_lake_beds(ms.lake, g.gwbound.data(), ms.grid.ncells);
  // The largest depths of the run (FLOOD_GRID) count a lake's level over
  // the ground of every cell it covers, as the depth maps show it.
  const int n = ms.grid.ncells;
  if (ms.output.flood_grid_given && ms.overland.flood_depth_max.size() == n && ms.lake.lake_mask.size() == n) {
    const lake_state& lk = ms.lake;
    double* peak = ms.overland.flood_depth_max.data();
    const double* z = ms.grid.elevation.data();
    for (int c = 1; c <= n; ++c) {
      const int L = lk.lake_mask[c];
      if (!lake_cell(L) || L > lk.lake_elev.size()) continue;
      peak[c] = std::max(peak[c], lk.lake_elev[L] - z[c]);
    }
  }
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
