#include "groundwater/groundwater_storage.h"

#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"

namespace nivra {

double groundwater_storage(const model_state& ms) {
  const groundwater_state& gw = ms.groundwater;
  if (!gw.gw_simulation) return 0.0;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double v = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double held = gw.storage_layers.empty() ? (gw.elevgw[c] - gw.bottom_elev[c]) * gw.gw_porosity[c]
                                                  : gw.storage_layers[c].water_between(gw.bottom_elev[c], gw.elevgw[c]);
    v += held * area;
  }
  // Recharge that reached the table and water the streams, the tile
  // drains and the lakes took, which the next solve moves into the heads.
  if (!gw.gw_recharge.empty())
    for (int c = 1; c <= ms.grid.ncells; ++c) v += gw.gw_recharge[c] * area - gw.cell_stream_exchange_vol[c];
  if (!gw.gw_tile_vol_cell.empty())
    for (int c = 1; c <= ms.grid.ncells; ++c) v -= gw.gw_tile_vol_cell[c];
  if (!gw.lake_source.empty())
    for (int c = 1; c <= ms.grid.ncells; ++c) v -= gw.lake_source[c];
  return v;
}

sacramento_water sacramento_storage(const sac_record& s) {
  sacramento_water w;
  w.tension_mm = s.uztwc + s.lztwc;
  w.free_mm = s.uzfwc + s.lzfsc + s.lzfpc;
  w.total_mm = s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;
  return w;
}

lumped_water lumped_storage(const groundwater_state& gw, double cell_area, bool at_start) {
  lumped_water w;
  const double to_volume = gw.sac_area / 1000.0;
  if (gw.sacramento_given) {
    const sacramento_water s = sacramento_storage(at_start ? gw.sac_init_params : gw.sac_params);
    w.soil = s.tension_mm * to_volume;
    w.groundwater = s.free_mm * to_volume;
    if (!at_start) w.soil += (gw.sac_infil_in - gw.sac_infil_prev) * cell_area;
  } else if (gw.conceptual_gw_given) {
    const congw_store_block& s = at_start ? gw.congw_init_store : gw.congw_store;
    w.groundwater = (s.slow_content + s.fast_content) * to_volume;
    if (!at_start) w.groundwater += (gw.congw_infil_in - gw.congw_infil_prev) * cell_area;
  }
  if (!at_start) w.groundwater += gw.lumped_pool;
  return w;
}

}  // namespace nivra
