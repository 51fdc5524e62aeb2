// The run's water ledger. Every flux of water into, out of and between the
// model's compartments is booked under its name, with its total over the
// run and over the current event; the water each compartment holds is
// recorded at the start and the end of the run and of the event; and the
// run's and the event's balances are computed from these values alone. The
// run and event summaries only format what the ledger holds.
//
// The table of flux terms (water_flux_table) says for every term where its
// water comes from and where it goes. A balance is a set of compartments:
// what the terms carry into the set, less what they carry out of it, less
// the change of the water the set holds. Adding a flux is one row of the
// table and one booking call; every balance takes it from its row.
//
// Volumes are in cubic metres. The components report their own storages
// (surface/surface_storage.h, surface/lake_storage.h,
// channel/channel_storage.h, channel/pipe_storage.h, soil/soil_storage.h,
// groundwater/groundwater_storage.h, hydromet/snow_storage.h); the run's
// routines book them (run/water_books.h).
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <initializer_list>

#include "model/compartment_set.h"

namespace nivra {

// num x 100 / den, or 0 when there is nothing to compare against (a
// balance with no input and no initial storage closes by definition).
inline double percent_of(double num, double den) { return den > 0.0 ? num * 100.0 / den : 0.0; }

// Where water is: the compartments of the model, and outside it.
enum class water_compartment {
  surface,         // overland water on the cells (the snow's water on its way to the ground is booked here)
  overland_lakes,
  channels,
  channel_lakes,
  soil,            // the unsaturated zone; with a lumped model, the model's stores
  groundwater,     // the saturated zone
  pipes,           // storm sewers and tile drains
  snow,
  melt_water,
  canopy,
  outside,
  count
};

// The flux terms. A two-way exchange is two terms, one per direction. A
// total is the sum of the terms whose parent it is (less those that count
// against it) and is never booked itself.
enum class water_flux {
  // Precipitation and the canopy.
  precipitation,         // total: rain reaching the canopy, the ground, the snow pack and the channel lakes
  interception,          // held back by the canopy
  rainfall_to_overland,  // rain and snow reaching the cells, overland lakes and fixed-level cells included
  lake_precipitation,    // rain on the channel lakes
  canopy_drying,         // water the canopy held when an event began, dried since the last
  snowmelt,              // water released from the snow onto the cells: its melt and the rain it took
  // Soil.
  infiltration,
  evaporation,           // total: evapotranspiration of the run
  direct_evaporation,    // evaporation from ponded water
  soil_evaporation,      // evapotranspiration from the soil
  unsaturated_down_flux, // drained below the soil column
  soil_column_adjustment, // gained (lost when negative) by the Richards columns holding heads and water contents consistent
  // Groundwater.
  groundwater_inputs,          // total: the net inflow of the aquifer apart from its boundaries
  groundwater_recharge,        // reaching the water table from below the soil
  saturated_unsaturated,       // passed from the unsaturated zone to keep the two in balance
  soil_layer_to_groundwater,   // the accounting layer's water in the depths a rising table submerged (taken back, negative, as it falls)
  exfiltration,                // groundwater onto the surface
  groundwater_pumping,
  deep_leakage,
  groundwater_boundary_flux,   // across head boundaries
  groundwater_floor_fill,      // added where the table would fall to the aquifer bottom
  xy_boundary_gain,            // through XY boundary points
  xy_boundary_loss,
  // Overland sources and boundaries.
  head_boundary_out,        // into fixed-level cells
  head_boundary_in,         // out of fixed-level cells
  slope_boundary_out,
  discharge_boundary_in,
  discharge_boundary_out,
  discharge_boundary_unmet, // asked of a cell that did not hold it: a record, no water moves
  overland_pumping,         // lifted off the cells by the overland pumps
  wetland_refill,           // given to the wetlands (taken when negative) to start an event at their depth
  overland_point_sources,   // discharged onto the cells by the overland point sources
  // Outlet and channels.
  outlet_discharge,         // through the outlet (of the overland grid when there are no channels)
  channel_lateral_net,      // total: net lateral inflow into the channels
  channel_lateral_in,
  channel_lateral_out,
  channel_area_fill,        // made by setting channel areas just below zero to zero
  groundwater_to_channels,
  channels_to_groundwater,
  channel_point_sources,
  channel_point_sinks,
  channel_headwater_inflow,  // FIRST_ORDER_CHAN_Q into the links without upstream links
  xy_stream_inflow,          // an outer run's stream hydrographs into the nodes of the XY stream points
  // Channel lakes.
  overland_to_channel_lakes,
  channel_lakes_to_overland,
  channels_to_channel_lakes,
  channel_lakes_to_channels,  // through the lakes' outlet structures
  lake_evaporation,
  lake_point_sources,         // point sources on lake links, into their lakes
  lake_point_sinks,
  snow_to_channel_lakes,      // the snow pack and the melt water held on a cell a lake takes
  groundwater_to_channel_lakes,  // seeping up through the lake beds
  channel_lakes_to_groundwater,  // seeping down through them
  // Overland lakes.
  overland_lake_inflow,
  overland_lake_outflow,
  overland_lake_shortfall,  // drawn from a lake held at its initial level beyond its water
  // Pipes (storm sewers and tile drains).
  overland_to_pipes,
  pipes_to_overland,
  pipes_to_channels,
  channels_to_pipes,        // a river above the pipes' water flowing back through their outfalls
  groundwater_to_pipes,
  pipes_to_boundary,        // into fixed-head outfalls
  boundary_to_pipes,        // out of them
  pipe_floor_fill,          // made where a control volume would fall below its floor
  // The lumped models.
  sacramento_baseflow,      // total: runoff of the lumped model reaching the channel network
  lumped_baseflow_to_channels,
  lumped_baseflow_to_lakes,  // at nodes a channel lake has taken
  sacramento_et,
  sacramento_infiltration,  // the infiltration the lumped model takes in: a record of water booked as infiltration
  count
};

inline constexpr std::size_t n_water_fluxes = static_cast<std::size_t>(water_flux::count);
inline constexpr std::size_t n_water_compartments = static_cast<std::size_t>(water_compartment::count);

// One row of the table: the term, its name, the label of its run-summary
// line ("" when the summary prints it only inside another line), the
// compartments its water leaves and enters, and for a share of a total the
// total (the term itself when it is no share) and whether it counts for
// (+1) or against (-1) it.
struct flux_row {
  water_flux flux;
  const char* name;
  const char* label;
  water_compartment from, to;
  water_flux parent;
  int sign = 1;
};

namespace flux_table_detail {
using f = water_flux;
using c = water_compartment;
inline constexpr std::array<flux_row, n_water_fluxes> rows = {{
    {f::precipitation, "precipitation", "Total amount of precip=", c::outside, c::surface, f::precipitation},
    {f::interception, "interception", "Total amount of interception=", c::outside, c::canopy, f::precipitation},
    {f::rainfall_to_overland, "rainfall_to_overland", "", c::outside, c::surface, f::precipitation},
    {f::lake_precipitation, "lake_precipitation", "Volume precip to lakes=", c::outside, c::channel_lakes, f::precipitation},
    {f::canopy_drying, "canopy_drying", "Volume dried from the canopy between events=", c::canopy, c::outside, f::canopy_drying},
    {f::snowmelt, "snowmelt", "Total snowmelt and rain through the pack=", c::snow, c::surface, f::snowmelt},
    {f::infiltration, "infiltration", "Total amount of infiltration=", c::surface, c::soil, f::infiltration},
    {f::evaporation, "evaporation", "Total amount of evaporation=", c::outside, c::outside, f::evaporation},
    {f::direct_evaporation, "direct_evaporation", "Total direct evaporation=", c::surface, c::outside, f::evaporation},
    {f::soil_evaporation, "soil_evaporation", "", c::soil, c::outside, f::evaporation},
    {f::unsaturated_down_flux, "unsaturated_down_flux", "Total downward flux from unsaturated zone=", c::soil, c::outside, f::unsaturated_down_flux},
    {f::soil_column_adjustment, "soil_column_adjustment", "Total made consistent in the soil columns=", c::outside, c::soil, f::soil_column_adjustment},
    {f::groundwater_inputs, "groundwater_inputs", "Total inputs to groundwater=", c::outside, c::groundwater, f::groundwater_inputs},
    {f::groundwater_recharge, "groundwater_recharge", "Total recharge inputs to groundwater=", c::outside, c::groundwater, f::groundwater_inputs},
    {f::saturated_unsaturated, "saturated_unsaturated", "Sat/unsat. volume (into gw) =", c::soil, c::groundwater, f::groundwater_inputs},
    {f::soil_layer_to_groundwater, "soil_layer_to_groundwater", "", c::soil, c::groundwater, f::groundwater_inputs},
    {f::exfiltration, "exfiltration", "Total amount of exfiltration=", c::groundwater, c::surface, f::groundwater_inputs, -1},
    {f::groundwater_pumping, "groundwater_pumping", "Total pumping from groundwater=", c::groundwater, c::outside, f::groundwater_inputs, -1},
    {f::deep_leakage, "deep_leakage", "Leakage to deep aquifer+", c::groundwater, c::outside, f::groundwater_inputs, -1},
    {f::groundwater_boundary_flux, "groundwater_boundary_flux", "Total flux of gw across bounds=", c::outside, c::groundwater, f::groundwater_boundary_flux},
    {f::groundwater_floor_fill, "groundwater_floor_fill", "Added at the aquifer floor", c::outside, c::groundwater, f::groundwater_floor_fill},
    {f::xy_boundary_gain, "xy_boundary_gain", "Volume gained from XY boundaries", c::outside, c::groundwater, f::xy_boundary_gain},
    {f::xy_boundary_loss, "xy_boundary_loss", "Volume lost to XY boundaries", c::groundwater, c::outside, f::xy_boundary_loss},
    {f::head_boundary_out, "head_boundary_out", "Volume lost to specified head boundary:", c::surface, c::outside, f::head_boundary_out},
    {f::head_boundary_in, "head_boundary_in", "Volume gained from specified head boundary:", c::outside, c::surface, f::head_boundary_in},
    {f::slope_boundary_out, "slope_boundary_out", "Volume lost to specified slope boundary:", c::surface, c::outside, f::slope_boundary_out},
    {f::discharge_boundary_in, "discharge_boundary_in", "Volume gained from specified discharge boundary:", c::outside, c::surface, f::discharge_boundary_in},
    {f::discharge_boundary_out, "discharge_boundary_out", "Volume lost from specified discharge boundary:", c::surface, c::outside, f::discharge_boundary_out},
    {f::discharge_boundary_unmet, "discharge_boundary_unmet", "Volume of specified discharge boundary unmet:", c::outside, c::outside, f::discharge_boundary_unmet},
    {f::overland_pumping, "overland_pumping", "Volume lifted by overland pumps:", c::surface, c::outside, f::overland_pumping},
    {f::wetland_refill, "wetland_refill", "", c::outside, c::surface, f::wetland_refill},
    {f::overland_point_sources, "overland_point_sources", "Volume of overland point sources:", c::outside, c::surface, f::overland_point_sources},
    {f::outlet_discharge, "outlet_discharge", "Total amount of discharge=", c::channels, c::outside, f::outlet_discharge},
    {f::channel_lateral_net, "channel_lateral_net", "Total lateral inflow into channels=", c::surface, c::channels, f::channel_lateral_net},
    {f::channel_lateral_in, "channel_lateral_in", "", c::surface, c::channels, f::channel_lateral_net},
    {f::channel_lateral_out, "channel_lateral_out", "", c::channels, c::surface, f::channel_lateral_net, -1},
    {f::channel_area_fill, "channel_area_fill", "", c::outside, c::channels, f::channel_area_fill},
    {f::groundwater_to_channels, "groundwater_to_channels", "Total flux from gw to river=", c::groundwater, c::channels, f::groundwater_inputs, -1},
    {f::channels_to_groundwater, "channels_to_groundwater", "Total flux from river to gw=", c::channels, c::groundwater, f::groundwater_inputs},
    {f::channel_point_sources, "channel_point_sources", "Total channel point sources=", c::outside, c::channels, f::channel_point_sources},
    {f::channel_point_sinks, "channel_point_sinks", "", c::channels, c::outside, f::channel_point_sinks},
    {f::channel_headwater_inflow, "channel_headwater_inflow", "Total headwater inflow into channels=", c::outside, c::channels, f::channel_headwater_inflow},
    {f::xy_stream_inflow, "xy_stream_inflow", "Volume of XY stream inflows into channels", c::outside, c::channels, f::xy_stream_inflow},
    {f::overland_to_channel_lakes, "overland_to_channel_lakes", "", c::surface, c::channel_lakes, f::overland_to_channel_lakes},
    {f::channel_lakes_to_overland, "channel_lakes_to_overland", "", c::channel_lakes, c::surface, f::channel_lakes_to_overland},
    {f::channels_to_channel_lakes, "channels_to_channel_lakes", "", c::channels, c::channel_lakes, f::channels_to_channel_lakes},
    {f::channel_lakes_to_channels, "channel_lakes_to_channels", "", c::channel_lakes, c::channels, f::channel_lakes_to_channels},
    {f::lake_evaporation, "lake_evaporation", "Volume of lake evap=", c::channel_lakes, c::outside, f::lake_evaporation},
    {f::lake_point_sources, "lake_point_sources", "", c::outside, c::channel_lakes, f::lake_point_sources},
    {f::lake_point_sinks, "lake_point_sinks", "", c::channel_lakes, c::outside, f::lake_point_sinks},
    {f::snow_to_channel_lakes, "snow_to_channel_lakes", "", c::snow, c::channel_lakes, f::snow_to_channel_lakes},
    {f::groundwater_to_channel_lakes, "groundwater_to_channel_lakes", "Total flux from gw to lakes=", c::groundwater, c::channel_lakes, f::groundwater_inputs, -1},
    {f::channel_lakes_to_groundwater, "channel_lakes_to_groundwater", "Total flux from lakes to gw=", c::channel_lakes, c::groundwater, f::groundwater_inputs},
    {f::overland_lake_inflow, "overland_lake_inflow", "Volume of flow into overland lakes:", c::surface, c::overland_lakes, f::overland_lake_inflow},
    {f::overland_lake_outflow, "overland_lake_outflow", "Volume of flow from overland lakes:", c::overland_lakes, c::surface, f::overland_lake_outflow},
    {f::overland_lake_shortfall, "overland_lake_shortfall", "Volume drawn below initial lake levels:", c::outside, c::overland_lakes, f::overland_lake_shortfall},
    {f::overland_to_pipes, "overland_to_pipes", "Volume of overland to subsurface drains", c::surface, c::pipes, f::overland_to_pipes},
    {f::pipes_to_overland, "pipes_to_overland", "Volume of subsurface drains to overland", c::pipes, c::surface, f::pipes_to_overland},
    {f::pipes_to_channels, "pipes_to_channels", "Volume of subsurface drains to channels", c::pipes, c::channels, f::pipes_to_channels},
    {f::channels_to_pipes, "channels_to_pipes", "", c::channels, c::pipes, f::channels_to_pipes},
    {f::groundwater_to_pipes, "groundwater_to_pipes", "Volume of groundwater to tile drains", c::groundwater, c::pipes, f::groundwater_inputs, -1},
    {f::pipes_to_boundary, "pipes_to_boundary", "", c::pipes, c::outside, f::pipes_to_boundary},
    {f::boundary_to_pipes, "boundary_to_pipes", "", c::outside, c::pipes, f::boundary_to_pipes},
    {f::pipe_floor_fill, "pipe_floor_fill", "", c::outside, c::pipes, f::pipe_floor_fill},
    {f::sacramento_baseflow, "sacramento_baseflow", "", c::soil, c::channels, f::sacramento_baseflow},
    {f::lumped_baseflow_to_channels, "lumped_baseflow_to_channels", "", c::soil, c::channels, f::sacramento_baseflow},
    {f::lumped_baseflow_to_lakes, "lumped_baseflow_to_lakes", "", c::soil, c::channel_lakes, f::sacramento_baseflow},
    {f::sacramento_et, "sacramento_et", "", c::soil, c::outside, f::sacramento_et},
    {f::sacramento_infiltration, "sacramento_infiltration", "", c::soil, c::soil, f::sacramento_infiltration},
}};
}  // namespace flux_table_detail

inline constexpr const std::array<flux_row, n_water_fluxes>& water_flux_table = flux_table_detail::rows;

constexpr const flux_row& row_of(water_flux f) { return water_flux_table[static_cast<std::size_t>(f)]; }

// A total: some other term is a share of it.
inline constexpr std::array<bool, n_water_fluxes> total_terms = [] {
  std::array<bool, n_water_fluxes> t{};
  for (const flux_row& r : water_flux_table)
    if (r.parent != r.flux) t[static_cast<std::size_t>(r.parent)] = true;
  return t;
}();
constexpr bool is_total(water_flux f) { return total_terms[static_cast<std::size_t>(f)]; }

// The rows stand in the order of the terms, and a share's parent is a total
// that is no share itself.
constexpr bool flux_table_in_order() {
  for (std::size_t i = 0; i < n_water_fluxes; ++i) {
    const flux_row& r = water_flux_table[i];
    if (static_cast<std::size_t>(r.flux) != i) return false;
    if (r.parent != r.flux && row_of(r.parent).parent != r.parent) return false;
    if (r.sign != 1 && r.sign != -1) return false;
  }
  return true;
}
static_assert(flux_table_in_order(), "water_flux_table: one row per term, in the order of water_flux");

// What a kernel hands back in its books, row by row: each volume and the
// term it is booked under, and the volumes the step does not book from
// these books, with the reason (a storage, or water booked where it
// arrives). A step books its kernel's volumes with one call,
// water_ledger::book(books, map).
template <class Books>
struct booked_volume {
  double Books::*volume;
  water_flux flux;
};
template <class Books>
struct unbooked_volume {
  double Books::*volume;
  const char* why;
};
template <class Books, std::size_t N, std::size_t M = 0>
struct books_map {
  std::array<booked_volume<Books>, N> booked;
  std::array<unbooked_volume<Books>, M> unbooked{};
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

using water_set = compartment_set<water_compartment>;

// A balance: the compartments whose water it follows, the stores it counts
// at its two moments, and the terms it leaves out (water the lumped models
// account for themselves).
struct balance_spec {
  water_set compartments;
  std::initializer_list<water_store> stores;
  std::initializer_list<water_flux> left_out = {};
};

// What a balance found: the water its terms carried in and out, and what
// its stores held at the two moments.
struct balance_sums {
  double in = 0.0, out = 0.0;
  double initial = 0.0, final = 0.0;
  // in - out - change of storage: what the books cannot account for.
  double residual() const { return initial + in - (final + out); }
};

// The run's switches that choose the compartments of its balances.
struct balance_scheme {
  bool groundwater = false;          // saturated groundwater is simulated
  bool green_ampt = false;           // Green-Ampt infiltration without a soil store: the infiltration leaves the balance
  bool sacramento = false;           // a lumped model holds the soil and groundwater
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
  bool no_water = false;         // nothing came in and nothing was stored: no balance to strike
};

class water_ledger {
 public:
  // A flux of v m3 (negative for a reversed two-way exchange), added to the
  // run's and the event's totals. A total is never booked: its shares are.
  void book(water_flux f, double v) {
    assert(!is_total(f));
    run_[at(f)] += v;
    event_[at(f)] += v;
  }
  // Every volume of a kernel's books under its term.
  template <class Books, std::size_t N, std::size_t M>
  void book(const Books& b, const books_map<Books, N, M>& map) {
    for (const booked_volume<Books>& r : map.booked) book(r.flux, b.*r.volume);
  }
  // Totals handed to the ledger whole (test fixtures that set up books).
  void set_totals(water_flux f, double run_total, double event_total) {
    assert(!is_total(f));
    run_[at(f)] = run_total;
    event_[at(f)] = event_total;
  }
  double run_total(water_flux f) const { return sum(run_, f); }
  double event_total(water_flux f) const { return sum(event_, f); }
  // The run total as it stood when the current event began.
  double run_total_at_event_start(water_flux f) const { return sum(run_at_event_start_, f); }

  // The water a compartment holds at a moment.
  void set_storage(water_store s, ledger_moment m, double v) { storage_[at(s)][at(m)] = v; }
  double storage(water_store s, ledger_moment m) const { return storage_[at(s)][at(m)]; }

  // A balance over the run (from run_start to run_end) or over the event.
  balance_sums run_balance_of(const balance_spec& b) const {
    return balance_of(b, run_, ledger_moment::run_start, ledger_moment::run_end);
  }
  balance_sums event_balance_of(const balance_spec& b) const {
    return balance_of(b, event_, ledger_moment::event_start, ledger_moment::event_end);
  }

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
  static constexpr std::size_t n_stores = static_cast<std::size_t>(water_store::count);
  static constexpr std::size_t n_moments = static_cast<std::size_t>(ledger_moment::count);
  static constexpr std::size_t at(water_flux f) { return static_cast<std::size_t>(f); }
  static constexpr std::size_t at(water_store s) { return static_cast<std::size_t>(s); }
  static constexpr std::size_t at(ledger_moment m) { return static_cast<std::size_t>(m); }
  using totals = std::array<double, n_water_fluxes>;

  // A term's total; a total's is the signed sum of its shares.
  static double sum(const totals& t, water_flux f) {
    if (!is_total(f)) return t[at(f)];
    double v = 0.0;
    for (const flux_row& r : water_flux_table)
      if (r.parent == f && r.flux != f) v += r.sign * t[at(r.flux)];
    return v;
  }
  // Inline, like the totals: the components read their balances from the
  // ledger they book into.
  balance_sums balance_of(const balance_spec& b, const totals& t, ledger_moment start, ledger_moment end) const {
    balance_sums s;
    for (const flux_row& r : water_flux_table) {
      if (is_total(r.flux) || std::find(b.left_out.begin(), b.left_out.end(), r.flux) != b.left_out.end()) continue;
      const int way = b.compartments.crossing(r.from, r.to);
      if (way > 0) s.in += t[at(r.flux)];
      if (way < 0) s.out += t[at(r.flux)];
    }
    for (water_store w : b.stores) {
      s.initial += storage(w, start);
      s.final += storage(w, end);
    }
    return s;
  }

  totals run_{};
  totals event_{};
  totals run_at_event_start_{};
  std::array<std::array<double, n_moments>, n_stores> storage_{};
  event_balance event_balance_;
  run_balance run_balance_;
};

}  // namespace nivra
