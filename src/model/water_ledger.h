// The run's water ledger. Every flux of water into, out of and between the
// model's compartments is booked under its name, with its total over the
// run and over the current event; the water each compartment holds is
// recorded at the start and the end of the run and of the event; and the
// run's and the event's balances are computed from these values alone. The
// run and event summaries only format what the ledger holds.
//
// Volumes are in cubic metres. The components report their own storages
// (surface/surface_storage.h, surface/lake_storage.h,
// channel/channel_storage.h, channel/pipe_storage.h, soil/soil_storage.h,
// groundwater/groundwater_storage.h, hydromet/snow_storage.h); the run's
// routines book them (run/water_books.h).
#pragma once

#include <array>
#include <cstddef>

namespace nivra {

// num x 100 / den, or 0 when there is nothing to compare against (a
// balance with no input and no initial storage closes by definition).
inline double percent_of(double num, double den) { return den > 0.0 ? num * 100.0 / den : 0.0; }

// The flux terms. A two-way exchange is two terms, one per direction.
enum class water_flux {
  // Precipitation and the canopy.
  precipitation,         // rain reaching the canopy, the ground, the snow pack and the channel lakes
  rainfall_to_overland,  // the part of it that reaches the overland cells
  interception,          // held back by the canopy
  canopy_drying,         // water the canopy held when an event began, dried since the last
  snowmelt,              // melt water released from the snow onto the cells
  // Soil.
  infiltration,
  evaporation,           // evapotranspiration of the run
  direct_evaporation,    // evaporation from ponded water
  soil_other_et,         // evapotranspiration of the accounting layer not booked above
  unsaturated_down_flux, // from the unsaturated zone downward
  soil_column_adjustment, // gained (lost when negative) by the Richards columns holding heads and water contents consistent
  // Groundwater.
  exfiltration,                // groundwater onto the surface
  groundwater_recharge,
  groundwater_to_unsaturated,  // excluding the recharge
  saturated_unsaturated,       // passed from the unsaturated zone to keep the two in balance
  groundwater_inputs,
  groundwater_pumping,
  deep_leakage,
  groundwater_boundary_flux,   // across head boundaries
  groundwater_floor_fill,      // added where the table would fall to the aquifer bottom
  xy_boundary_gain,            // through XY boundary points
  xy_boundary_loss,
  // Overland sources and boundaries.
  overland_point_sources,
  head_boundary_out,        // into fixed-level cells
  head_boundary_in,         // out of fixed-level cells
  slope_boundary_out,
  discharge_boundary_in,
  discharge_boundary_out,
  discharge_boundary_unmet,
  overland_pumping,         // lifted off the cells by the overland pumps
  overland_cleanup,         // created or removed by the overland clean-up of the event
  // Outlet and channels.
  outlet_discharge,
  channel_lateral_net,      // net lateral inflow into the channels
  channel_lateral_in,
  channel_lateral_out,
  groundwater_to_channels,
  channels_to_groundwater,
  channel_point_sources,
  channel_point_sinks,
  channel_headwater_inflow,  // FIRST_ORDER_CHAN_Q into the links without upstream links
  // Channel lakes.
  lake_precipitation,
  channel_lake_inflow,        // everything into the channel lakes, rain included
  channel_lake_outflow,
  overland_to_channel_lakes,
  channel_lakes_to_overland,
  lake_evaporation,
  groundwater_to_lakes,
  lakes_to_groundwater,
  lake_point_sources,
  lake_point_sinks,
  // Overland lakes.
  overland_lake_inflow,
  overland_lake_outflow,
  overland_lake_shortfall,  // drawn from a lake held at its initial level beyond its water
  // Pipes (storm sewers and tile drains).
  overland_to_pipes,
  pipes_to_overland,
  pipes_to_channels,
  groundwater_to_pipes,
  // The Sacramento model's own totals.
  sacramento_baseflow,
  sacramento_et,
  sacramento_infiltration,
  sacramento_deep_recharge,
  count
};

// The compartments that store water.
enum class water_store {
  // Overland water, over the open part of the cells and never on a cell
  // under a channel lake. What a cell under an overland lake counts depends
  // on the moment (see surface/surface_storage.h): nothing at the start of
  // the run, the lake's water above its ground at the events, the water
  // standing on it at the end of the run.
  surface,
  overland_lakes,  // water of the overland lakes above their ground
  channels,
  channel_lakes,   // the perennial lakes of the channel network
  soil,
  soil_layer,      // the soil-moisture accounting layer, a part of soil
  groundwater,
  // The Sacramento model's five stores together, at the events (the run's
  // books take them as its soil and groundwater).
  sacramento,
  snow,            // water equivalent of the snow pack
  melt_water,      // melt water held on the cells
  canopy,          // rain held by the canopy (interception)
  pipes,
  count
};

enum class ledger_moment { run_start, event_start, event_end, run_end, count };

// The run's switches that choose the terms of its balances.
struct balance_scheme {
  bool groundwater = false;          // saturated groundwater is simulated
  bool green_ampt = false;           // Green-Ampt infiltration: the infiltration leaves the balance
  bool sacramento = false;           // the Sacramento model holds the soil and groundwater
  bool overland_boundaries = false;  // overland boundary conditions on the grid or at XY points
};

// The balances of the run.
struct run_balance {
  double initial_storage = 0.0, final_storage = 0.0;  // compartments of the overall balance
  double overall_error = 0.0;        // percent
  double surface_error = 0.0;        // percent
  double groundwater_error = 0.0;    // percent of the aquifer's initial water
  double groundwater_residual = 0.0;          // m3: change of the aquifer's water less what its books brought
  double groundwater_residual_percent = 0.0;  // of the net input to the aquifer
  double soil_layer_error = 0.0;     // percent
  double overland_lake_error = 0.0;  // m3
  double channel_lake_error = 0.0;   // m3
  double pipe_error = 0.0;           // m3
};

// The balance of the current event.
struct event_balance {
  double in_plus_initial = 0.0;  // inputs plus the water stored at the event start
  double out_plus_final = 0.0;   // outputs plus the water stored at the event end
  double error = 0.0;            // (in - out) / in, or -1 when nothing came in
};

class water_ledger {
 public:
  // A flux of v m3 (negative for a reversed two-way exchange), added to the
  // run's and the event's totals.
  void book(water_flux f, double v) {
    run_[at(f)] += v;
    event_[at(f)] += v;
  }
  // Totals that a process keeps on its own (or that a model replaces with
  // its own), handed to the ledger whole.
  void set_totals(water_flux f, double run_total, double event_total) {
    run_[at(f)] = run_total;
    event_[at(f)] = event_total;
  }
  double run_total(water_flux f) const { return run_[at(f)]; }
  double event_total(water_flux f) const { return event_[at(f)]; }
  // The run total as it stood when the current event began.
  double run_total_at_event_start(water_flux f) const { return run_at_event_start_[at(f)]; }

  // The water a compartment holds at a moment.
  void set_storage(water_store s, ledger_moment m, double v) { storage_[at(s)][at(m)] = v; }
  double storage(water_store s, ledger_moment m) const { return storage_[at(s)][at(m)]; }

  // A new event: the event totals and storages start from nothing, the run
  // totals are remembered as they stand.
  void open_event();

  // The event's balance, from its totals and its start and end storages.
  // With a lumped model its stores join the balance: the infiltration and
  // the baseflow it returns to the channels stay inside, its
  // evapotranspiration leaves.
  void close_event(bool lumped = false);
  // The run's groundwater balance (the groundwater model's own storages).
  void close_groundwater_balance();
  // The balance of the soil-moisture accounting layer.
  void close_soil_layer_balance();
  // The overall and surface balances (in the Sacramento form when the
  // scheme says so) and the lake and pipe balances.
  void close_run(const balance_scheme& scheme);

  const event_balance& event() const { return event_balance_; }
  const run_balance& run() const { return run_balance_; }

 private:
  static constexpr std::size_t n_fluxes = static_cast<std::size_t>(water_flux::count);
  static constexpr std::size_t n_stores = static_cast<std::size_t>(water_store::count);
  static constexpr std::size_t n_moments = static_cast<std::size_t>(ledger_moment::count);
  static constexpr std::size_t at(water_flux f) { return static_cast<std::size_t>(f); }
  static constexpr std::size_t at(water_store s) { return static_cast<std::size_t>(s); }
  static constexpr std::size_t at(ledger_moment m) { return static_cast<std::size_t>(m); }

  std::array<double, n_fluxes> run_{};
  std::array<double, n_fluxes> event_{};
  std::array<double, n_fluxes> run_at_event_start_{};
  std::array<std::array<double, n_moments>, n_stores> storage_{};
  event_balance event_balance_;
  run_balance run_balance_;
};

}  // namespace nivra
