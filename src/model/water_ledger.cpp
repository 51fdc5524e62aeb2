#include "model/water_ledger.h"

#include <cmath>

namespace nivra {

using flux = water_flux;
using store = water_store;
using moment = ledger_moment;

void water_ledger::open_event() {
  run_at_event_start_ = run_;
  event_.fill(0.0);
  for (auto& s : storage_) {
    s[at(moment::event_start)] = 0.0;
    s[at(moment::event_end)] = 0.0;
  }
}

// Everything that entered the grid's surface, its channels, lakes, snow and
// drains during the event, plus what they held when it began, against
// everything that left them plus what they hold at its end. With a lumped
// model, its stores count among them.
void water_ledger::close_event(bool lumped) {
  auto E = [this](flux f) { return event_total(f); };
  auto start = [this](store s) { return storage(s, moment::event_start); };
  auto end = [this](store s) { return storage(s, moment::event_end); };
  event_balance& b = event_balance_;
  const double baseflow = lumped ? E(flux::sacramento_baseflow) : 0.0;
  b.in_plus_initial = E(flux::lake_precipitation) + E(flux::rainfall_to_overland) + E(flux::exfiltration) +
                      start(store::channels) + start(store::surface) + E(flux::groundwater_to_channels) - baseflow +
                      E(flux::groundwater_to_lakes) + start(store::channel_lakes) + start(store::snow) +
                      start(store::melt_water) + E(flux::overland_point_sources) + E(flux::head_boundary_in) +
                      E(flux::lake_point_sources) + E(flux::channel_point_sources) +
                      E(flux::channel_headwater_inflow) + E(flux::discharge_boundary_in) + E(flux::pipes_to_channels) + E(flux::pipes_to_overland) +
                      E(flux::overland_lake_shortfall) + start(store::sacramento);
  b.out_plus_final = (lumped ? E(flux::sacramento_et) : E(flux::infiltration)) + end(store::surface) +
                     end(store::channels) + E(flux::outlet_discharge) + E(flux::direct_evaporation) +
                     end(store::snow) + end(store::melt_water) + end(store::channel_lakes) +
                     E(flux::channels_to_groundwater) + E(flux::lakes_to_groundwater) +
                     E(flux::head_boundary_out) + E(flux::slope_boundary_out) + E(flux::lake_point_sinks) +
                     E(flux::channel_point_sinks) + E(flux::lake_evaporation) + E(flux::discharge_boundary_out) +
                     E(flux::overland_to_pipes) + E(flux::overland_pumping) + end(store::sacramento);
  b.error = b.in_plus_initial > 1e-16 ? (b.in_plus_initial - b.out_plus_final) / b.in_plus_initial : -1.0;
}

void water_ledger::close_groundwater_balance() {
  auto R = [this](flux f) { return run_total(f); };
  const double initial = storage(store::groundwater, moment::run_start);
  const double net_input = R(flux::groundwater_inputs) + R(flux::groundwater_boundary_flux) +
                           R(flux::groundwater_floor_fill) + R(flux::xy_boundary_gain) - R(flux::xy_boundary_loss);
  const double residual = storage(store::groundwater, moment::run_end) - initial - net_input;
  run_balance_.groundwater_error = percent_of(residual, initial);
  run_balance_.groundwater_residual = residual;
  run_balance_.groundwater_residual_percent = percent_of(residual, std::fabs(net_input));
}

// The accounting layer gains the infiltration and loses the evaporation
// that did not come from ponded water or from elsewhere, and what drains
// below it.
void water_ledger::close_soil_layer_balance() {
  auto R = [this](flux f) { return run_total(f); };
  run_balance_.soil_layer_error = 0.0;
  if (storage(store::soil, moment::run_start) <= 0.0) return;
  run_balance_.soil_layer_error = percent_of(
      R(flux::infiltration) + storage(store::soil_layer, moment::run_start) -
          storage(store::soil_layer, moment::run_end) -
          (R(flux::evaporation) - R(flux::direct_evaporation) - R(flux::soil_other_et)) -
          R(flux::unsaturated_down_flux),
      R(flux::infiltration) + storage(store::soil, moment::run_start));
}

void water_ledger::close_run(const balance_scheme& scheme) {
  auto R = [this](flux f) { return run_total(f); };
  auto start = [this](store s) { return storage(s, moment::run_start); };
  auto end = [this](store s) { return storage(s, moment::run_end); };
  run_balance& b = run_balance_;

  // The snow pack and its melt water count on both sides: what lies on the
  // cells at the start is water the run can release, as the snow left at
  // the end is water it holds.
  const double snow_start = start(store::snow) + start(store::melt_water);
  const double snow_end = end(store::snow) + end(store::melt_water);
  // The canopy holds rain the same way; what it held when an event began
  // has dried off.
  const double canopy_start = start(store::canopy), canopy_end = end(store::canopy);
  const double canopy_dried = R(flux::canopy_drying);

  if (scheme.sacramento) {
    // The Sacramento stores are the soil and groundwater; the overland
    // lakes and the drains are left out.
    b.final_storage = end(store::channels) + end(store::surface) + end(store::soil) + end(store::groundwater) +
                      snow_end + end(store::channel_lakes) + canopy_end;
    b.initial_storage = start(store::channels) + start(store::surface) + start(store::soil) +
                        start(store::groundwater) + snow_start + start(store::channel_lakes) + canopy_start;
    b.overall_error = percent_of(b.final_storage - b.initial_storage - R(flux::precipitation) +
                                     R(flux::evaporation) + canopy_dried + R(flux::outlet_discharge) +
                                     R(flux::overland_pumping) -
                                     R(flux::groundwater_boundary_flux) - R(flux::overland_point_sources) -
                                     R(flux::xy_boundary_gain) + R(flux::xy_boundary_loss) -
                                     R(flux::lake_point_sources) + R(flux::lake_point_sinks),
                                 R(flux::precipitation) + b.initial_storage);
    b.surface_error = percent_of(
        (R(flux::precipitation) + start(store::surface) + start(store::channels) + snow_start + canopy_start +
         (R(flux::groundwater_to_channels) - R(flux::channels_to_groundwater)) + R(flux::overland_point_sources)) -
            (R(flux::direct_evaporation) + R(flux::outlet_discharge) + R(flux::infiltration) +
             R(flux::overland_pumping) + end(store::channels) + snow_end + canopy_end + canopy_dried +
             end(store::surface)),
        R(flux::precipitation));
  } else {
    const double boundary_gain =
        scheme.overland_boundaries ? R(flux::discharge_boundary_in) + R(flux::head_boundary_in) : 0.0;
    const double boundary_loss = scheme.overland_boundaries ? R(flux::head_boundary_out) +
                                                                  R(flux::slope_boundary_out) +
                                                                  R(flux::discharge_boundary_out)
                                                            : 0.0;
    const double initial = start(store::surface) + start(store::channels) + start(store::soil) +
                           start(store::groundwater) + snow_start + start(store::channel_lakes) + canopy_start +
                           start(store::pipes) + start(store::overland_lakes);
    b.initial_storage = initial;
    b.final_storage = end(store::surface) + end(store::channels) + end(store::soil) + end(store::groundwater) +
                      snow_end + end(store::channel_lakes) + end(store::pipes) + canopy_end +
                      end(store::overland_lakes);
    double inputs = R(flux::precipitation) + R(flux::groundwater_boundary_flux) + R(flux::overland_point_sources) +
                    R(flux::groundwater_to_lakes) + R(flux::channel_point_sources) +
                    R(flux::channel_headwater_inflow) + R(flux::soil_column_adjustment) + boundary_gain +
                    R(flux::overland_lake_shortfall) + R(flux::lake_point_sources);
    double outputs = R(flux::outlet_discharge) + R(flux::evaporation) + boundary_loss + R(flux::overland_pumping) +
                     R(flux::lakes_to_groundwater) + R(flux::lake_evaporation) + canopy_dried +
                     R(flux::channel_point_sinks) + R(flux::lake_point_sinks);
    if (scheme.groundwater) {
      outputs += R(flux::unsaturated_down_flux) - R(flux::groundwater_recharge) + R(flux::deep_leakage) +
                 R(flux::groundwater_pumping) + R(flux::xy_boundary_loss);
      inputs += R(flux::groundwater_floor_fill) + R(flux::xy_boundary_gain);
    } else {
      outputs += (scheme.green_ampt ? R(flux::infiltration) : R(flux::unsaturated_down_flux)) +
                 R(flux::channels_to_groundwater);
      inputs += R(flux::groundwater_to_channels);
    }
    b.overall_error = percent_of((initial + inputs) - (b.final_storage + outputs), initial + inputs);

    const double surface_in = R(flux::precipitation) + R(flux::groundwater_to_channels) +
                              R(flux::groundwater_to_lakes) + R(flux::exfiltration) +
                              R(flux::overland_point_sources) + R(flux::channel_point_sources) +
                              R(flux::channel_headwater_inflow) + R(flux::pipes_to_channels) +
                              R(flux::pipes_to_overland) + R(flux::overland_lake_shortfall) +
                              R(flux::lake_point_sources) + boundary_gain;
    b.surface_error = 0.0;
    if (surface_in > 0.0) {
      const double surface_initial = start(store::channels) + start(store::surface) + snow_start +
                                     start(store::channel_lakes) + canopy_start + start(store::overland_lakes);
      const double surface_final = snow_end + end(store::channels) + end(store::surface) +
                                   end(store::channel_lakes) + canopy_end + end(store::overland_lakes);
      const double surface_losses = R(flux::channels_to_groundwater) + R(flux::lakes_to_groundwater) +
                                    R(flux::direct_evaporation) + R(flux::outlet_discharge) +
                                    R(flux::infiltration) + boundary_loss + R(flux::lake_evaporation) +
                                    R(flux::overland_to_pipes) + canopy_dried + R(flux::channel_point_sinks) +
                                    R(flux::lake_point_sinks) + R(flux::overland_pumping);
      b.surface_error = percent_of(surface_initial + surface_in - (surface_losses + surface_final),
                                   surface_final + surface_in);
    }
  }

  b.overland_lake_error = start(store::overland_lakes) + R(flux::overland_lake_inflow) +
                          R(flux::overland_lake_shortfall) - end(store::overland_lakes) -
                          R(flux::overland_lake_outflow);
  b.channel_lake_error = R(flux::channel_lake_inflow) - R(flux::channel_lake_outflow) -
                         end(store::channel_lakes) + start(store::channel_lakes) - R(flux::lake_evaporation);
  b.pipe_error = start(store::pipes) + R(flux::groundwater_to_pipes) + R(flux::overland_to_pipes) -
                 R(flux::pipes_to_overland) - R(flux::pipes_to_channels) - end(store::pipes);
}

}  // namespace nivra
