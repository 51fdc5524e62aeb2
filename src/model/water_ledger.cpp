#include "model/water_ledger.h"

#include <algorithm>
#include <cmath>

namespace nivra {

namespace {

using flux = water_flux;
using store = water_store;
using moment = ledger_moment;
using part = water_compartment;

// The figures of the accounting layer inside a lumped model's stores: the
// model takes the layer's evapotranspiration as its demand and keeps its
// own drainage, so they move no water of their own.
constexpr std::initializer_list<water_flux> lumped_soil_figures = {
    flux::soil_evaporation, flux::unsaturated_down_flux, flux::soil_column_adjustment, flux::saturated_unsaturated,
    flux::soil_layer_to_groundwater};

// The grid's surface water with the snow on it and its channels and lakes.
constexpr water_set surface_water = {part::surface, part::overland_lakes, part::channels, part::channel_lakes,
                                           part::snow, part::melt_water, part::canopy};

}  // namespace

void water_ledger::open_event() {
  run_at_event_start_ = run_;
  event_.fill(0.0);
  for (auto& s : storage_) {
    s[at(moment::event_start)] = 0.0;
    s[at(moment::event_end)] = 0.0;
  }
}

// Everything that entered the grid's surface, its channels, lakes and snow
// during the event, plus what they held when it began, against everything
// that left them plus what they hold at its end. The water of an overland
// lake counts with the surface at the events; the canopy, the soil, the
// groundwater and the drains are outside. With a lumped model, its stores
// count among them.
void water_ledger::close_event(bool lumped) {
  const water_set event_water = {part::surface, part::overland_lakes, part::channels, part::channel_lakes,
                                       part::snow, part::melt_water};
  const balance_sums s =
      lumped ? event_balance_of({event_water.with(part::soil), {store::surface, store::channels, store::channel_lakes, store::snow,
                                               store::melt_water, store::sacramento}, lumped_soil_figures})
             : event_balance_of({event_water,
                                 {store::surface, store::channels, store::channel_lakes, store::snow, store::melt_water}});
  event_balance& b = event_balance_;
  b.in_plus_initial = s.initial + s.in;
  b.out_plus_final = s.final + s.out;
  b.no_water = !(b.in_plus_initial > 1e-16);
  b.error = b.no_water ? -1.0 : (b.in_plus_initial - b.out_plus_final) / b.in_plus_initial;
}

// The aquifer's own water against what entered and left it.
void water_ledger::close_groundwater_balance() {
  const balance_sums s = run_balance_of({{part::groundwater}, {store::groundwater}});
  // The change of the aquifer's water less what its books brought in.
  const double residual = -s.residual();
  run_balance_.groundwater_error = percent_of(residual, s.initial);
  run_balance_.groundwater_residual = residual;
  run_balance_.groundwater_residual_percent = percent_of(residual, std::fabs(s.in - s.out));
}

// The accounting layer gains the infiltration and loses its
// evapotranspiration, what drains below it and what a rising water table
// takes of it (gaining what a falling one leaves it), against the
// infiltration and the layer's water at the start. The soil between the
// layer and the water table and the Richards columns exchange with the
// aquifer below the layer; a lumped model's stores and figures are its own.
void water_ledger::close_soil_layer_balance() {
  run_balance_.soil_layer_error = 0.0;
  const double start = storage(store::soil_layer, moment::run_start);
  const balance_sums s = run_balance_of(
      {{part::soil},
       {store::soil_layer},
       {flux::saturated_unsaturated, flux::soil_column_adjustment, flux::sacramento_baseflow,
        flux::lumped_baseflow_to_channels, flux::lumped_baseflow_to_lakes, flux::sacramento_et}});
  const double base = run_total(flux::infiltration) + start;
  if (base <= 0.0) return;
  run_balance_.soil_layer_error = percent_of(s.residual(), base);
}

void water_ledger::close_run(const balance_scheme& scheme) {
  run_balance& b = run_balance_;
  if (scheme.sacramento) {
    // The lumped model's stores are the soil and groundwater; the overland
    // lakes and the drains are left out. Both balances are taken against
    // the precipitation.
    const double rain = run_total(flux::precipitation);
    const balance_sums all = run_balance_of(
        {{part::surface, part::channels, part::channel_lakes, part::soil, part::groundwater, part::snow,
          part::melt_water, part::canopy},
         {store::channels, store::surface, store::soil, store::groundwater, store::snow, store::melt_water,
          store::channel_lakes, store::canopy},
         lumped_soil_figures});
    b.initial_storage = all.initial;
    b.final_storage = all.final;
    b.overall_error = percent_of(-all.residual(), rain + all.initial);
    const balance_sums surface = run_balance_of(
        {{part::surface, part::channels, part::snow, part::melt_water, part::canopy},
         {store::surface, store::channels, store::snow, store::melt_water, store::canopy}});
    b.surface_error = percent_of(surface.residual(), rain);
  } else {
    // Every compartment; without saturated groundwater the aquifer is
    // outside, and so is the soil under Green-Ampt infiltration.
    water_set model = {part::surface, part::overland_lakes, part::channels, part::channel_lakes,
                             part::soil, part::groundwater, part::pipes, part::snow,
                             part::melt_water, part::canopy};
    if (!scheme.groundwater) model = model.without(part::groundwater);
    if (scheme.green_ampt && !scheme.groundwater) model = model.without(part::soil);
    const balance_sums all =
        run_balance_of({model,
                        {store::surface, store::channels, store::soil, store::groundwater, store::snow,
                         store::melt_water, store::channel_lakes, store::canopy, store::pipes, store::overland_lakes}});
    b.initial_storage = all.initial;
    b.final_storage = all.final;
    b.overall_error = percent_of(all.residual(), all.initial + all.in);

    const balance_sums surface =
        run_balance_of({surface_water,
                        {store::channels, store::surface, store::snow, store::melt_water, store::channel_lakes,
                         store::canopy, store::overland_lakes}});
    b.surface_error = surface.in > 0.0 ? percent_of(surface.residual(), surface.final + surface.in) : 0.0;
  }
  b.overland_lake_error = run_balance_of({{part::overland_lakes}, {store::overland_lakes}}).residual();
  b.channel_lake_error = run_balance_of({{part::channel_lakes}, {store::channel_lakes}}).residual();
  b.pipe_error = run_balance_of({{part::pipes}, {store::pipes}}).residual();
}

}  // namespace nivra
