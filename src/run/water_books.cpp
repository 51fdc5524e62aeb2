#include "run/water_books.h"

#include "channel/channel_state.h"
#include "channel/channel_storage.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/groundwater_storage.h"
#include "hydromet/interception.h"
#include "hydromet/snow_storage.h"
#include "inputs/grid_state.h"
#include "quality/sediment/sediment_books.h"
#include "model/model_state.h"
#include "output/summary_common.h"
#include "pipe/pipe_state.h"
#include "pipe/pipe_storage.h"
#include "quality/constituent_state.h"
#include "quality/contaminant/channel_attached_step.h"
#include "quality/contaminant/channel_constituents.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/contaminant/soil_column_step.h"
#include "soil/soil_state.h"
#include "soil/soil_storage.h"
#include "surface/lake_state.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"
#include "surface/surface_storage.h"

namespace nivra {

namespace {

using flux = water_flux;
using store = water_store;
using moment = ledger_moment;

double surface_at(const model_state& ms, moment m) {
  switch (m) {
    case moment::run_start: return surface_storage(ms, overland_lake_cells::left_out, area_applied::to_the_sum);
    case moment::run_end: return surface_storage(ms, overland_lake_cells::ponded_depth, area_applied::per_cell);
    default: return surface_storage(ms, overland_lake_cells::lake_water, area_applied::per_cell);
  }
}

// A run with a lumped model: its soil and groundwater are the model's
// stores, on its own area, at the start and now; its evapotranspiration is
// the model's and the evaporation of ponded water (the run summary takes
// them); its fluxes were booked as they happened.
void book_lumped_run(model_state& ms) {
  water_ledger& l = ms.ledger;
  groundwater_state& gw = ms.groundwater;
  const lumped_water start = lumped_storage(gw, ms.grid.grid_size * ms.grid.grid_size, true);
  const lumped_water now = lumped_storage(gw, ms.grid.grid_size * ms.grid.grid_size, false);
  if (gw.sacramento_given) gw.sac_final_storage_mm = sacramento_storage(gw.sac_params).total_mm;
  l.set_storage(store::soil, moment::run_start, start.soil);
  l.set_storage(store::groundwater, moment::run_start, start.groundwater);
  l.set_storage(store::soil, moment::run_end, now.soil);
  l.set_storage(store::groundwater, moment::run_end, now.groundwater);
}

// The constituent masses (kg) the channel lakes and the channels hold at
// the end, added to the global final masses, lakes first.
void close_constituent_masses(model_state& ms) {
  constituent_state& k = ms.constituent;
  // The channels' and lakes' fines, and their share of the whole model's
  // books, whether or not the channels carry the dissolved mass.
  book_channel_attached_masses(ms, ledger_moment::run_end);
  if (!k.chan_con_trans) return;
  const int n = k.num_constituents;
  book_channel_constituent_masses(ms, ledger_moment::run_end);
  for (int c = 1; c <= n; ++c) {
    const double m = lake_constituent_mass(ms, c);
    summary::set_to(k.lake_mass_final_run, c, m);
    summary::add_to(k.GLOBAL_MASS_FINAL, c, m);
  }
  if (!ms.channel.chan_explic) return;
  for (int c = 1; c <= n; ++c) summary::set_to(k.chan_mass_final, c, 0.0);
  for_each_channel_node(ms, [&](int link, int node, double) {
    const int flat = ms.channel.max_nodes_per_link * link + node;
    for (int c = 1; c <= n; ++c) {
      const double m = at(k.chan_node_mass, c, flat) / 1000.0;
      summary::add_to(k.chan_mass_final, c, m);
      summary::add_to(k.GLOBAL_MASS_FINAL, c, m);
    }
  });
}

}  // namespace

bool lumped_model(const model_state& ms) {
  return ms.groundwater.sacramento_given || ms.groundwater.conceptual_gw_given;
}

void book_storages(model_state& ms, ledger_moment m) {
  water_ledger& l = ms.ledger;
  l.set_storage(store::surface, m, surface_at(ms, m));
  l.set_storage(store::overland_lakes, m, overland_lake_storage(ms));
  l.set_storage(store::channels, m, channel_storage(ms));
  l.set_storage(store::channel_lakes, m, channel_lake_storage(ms.lake));
  const soil_water soil =
      soil_storage(ms, m == moment::run_start ? soil_below_layer::cell_depth : soil_below_layer::card_depth);
  l.set_storage(store::soil, m, soil.total);
  l.set_storage(store::soil_layer, m, soil.accounting_layer);
  l.set_storage(store::groundwater, m, groundwater_storage(ms));
  const bool event = m == moment::event_start || m == moment::event_end;
  if (event && lumped_model(ms)) l.set_storage(store::sacramento, m, lumped_storage(ms.groundwater, ms.grid.grid_size * ms.grid.grid_size, false).total());
  const snow_water snow = snow_storage(ms);
  l.set_storage(store::snow, m, snow.snow);
  l.set_storage(store::melt_water, m, snow.melt_water);
  l.set_storage(store::canopy, m, canopy_storage(ms));
  l.set_storage(store::pipes, m, pipe_storage(ms.pipe));
  book_sediment_masses(ms, m);
  // The constituents' soil column at the same moment.
  record_soil_column_masses(ms, m);
}

void close_run_books(model_state& ms) {
  water_ledger& l = ms.ledger;
  book_storages(ms, moment::run_end);
  // The groundwater and accounting-layer balances take the soil and
  // groundwater of their own models, before a Sacramento run replaces them.
  if (ms.groundwater.gw_simulation) l.close_groundwater_balance();
  if (ms.soil.sm_accounting) l.close_soil_layer_balance();
  if (lumped_model(ms)) book_lumped_run(ms);
  balance_scheme scheme;
  scheme.groundwater = ms.groundwater.gw_simulation != 0;
  scheme.green_ampt = ms.soil.green_ampt != 0;
  scheme.sacramento = lumped_model(ms);
  scheme.overland_boundaries = ms.overland.ov_boundary || ms.overland.xy_ov_boundary;
  l.close_run(scheme);
  close_constituent_books(ms, moment::run_end);
  close_constituent_masses(ms);
}

}  // namespace nivra
