// The terms of the constituents' mass ledger (model/mass_ledger.h): every
// way a dissolved or sediment-bound constituent moves between the overland
// water, the soil column, the channels, the lakes, the groundwater, the
// sediment and the outside. A process books its mass, in kg, under its
// row: ms.constituent.mass_books->book(c, row(constituent_term::...), kg).
// A two-way exchange is two terms, one per direction.
#pragma once

#include <array>

#include "model/mass_ledger.h"

namespace nivra {

enum class constituent_term : int {
  rain_on_cells = 1,         // carried by the rain onto the cells
  overland_point_source,     // added by the overland point sources
  overland_outlet,           // carried out of the watershed by the overland water
  overland_to_channels,      // carried into the channels by lateral inflow
  overland_to_lakes,         // carried into the channel lakes by the overland water
  infiltration,              // carried into the soil by the infiltrating water
  exfiltration,              // brought up out of the soil into the overland water
  uptake_by_land,            // taken up by the land surface from the water
  release_from_land,         // released by the land surface into the water
  overland_decay,            // decayed in the overland water
  soil_decay,                // decayed in the soil column
  seepage_to_water_table,    // carried down out of the soil column
  seepage_from_water_table,  // brought up into the soil column by a rising table
  release_from_sediment,     // set free into the water by the sediment-bound store
  nutrient_gain,             // made in the overland water by the nutrient kinetics
  nutrient_loss,             // used up in the overland water by the nutrient kinetics
  overland_negative_reset,   // a negative overland mass set to zero
  soil_negative_reset,       // a negative soil-layer mass set to zero
  groundwater_exfiltration,  // brought onto the cells by water rising from the table where no soil column
                             // lies between (negative: carried down by ponded water seeping into it)
  channel_point_sources,     // added (net of withdrawals) by the channel point sources
  channel_outlet,            // carried out of the watershed through the channel outlet
  aquifer_to_channels,       // brought into the channels by gaining stream beds
  channels_to_aquifer,       // carried into the aquifer by losing stream beds
  channel_decay,             // decayed in the channels
  channels_to_lakes,         // carried into the channel lakes, or taken with the nodes a lake floods
  lakes_to_channels,         // released by the channel lakes, or given back with the nodes a lake leaves
  rain_on_lakes,             // carried by the rain onto the channel lakes
  aquifer_to_lakes,          // brought into the lakes through their beds
  lakes_to_aquifer,          // carried into the aquifer through the lake beds
  lake_decay,                // decayed in the channel lakes
  channel_nutrient_gain,     // made in the channels and lakes by the nutrient kinetics
  channel_nutrient_loss,     // used up in the channels and lakes by the nutrient kinetics
  channel_sediment_release,  // set free into the channel water by the nodes' fines (negative: sorbed onto them)
  channel_negative_reset,    // a negative node mass set to zero
  eroded_with_soil,          // lifted from the soil with the eroded fine sediment
  settled_with_sediment,     // laid back on the soil with the settling fine sediment
  outlet_on_sediment,        // carried out of the watershed on the suspended fine sediment
  sorbed_onto_sediment,      // taken from the overland water onto the suspended fine sediment
  attached_to_channels,      // on the cells' suspended fines taken into the channel nodes
  loose_attached_to_channels,  // sorbed on the cells' loose fines taken into the channel nodes
  attached_channel_outlet,   // on the fines carried out of the watershed through the channel outlet
  attached_channels_to_lakes,  // on the fines carried from the channel nodes into the lakes
  attached_lakes_to_channels,  // on the fines the lakes let out into the channel nodes
  lake_sediment_release,     // set free into the lake water by the lakes' fines (negative: sorbed)
  attached_channel_reset,    // a node's attached mass driven below zero, set back to zero
  attached_lake_reset,       // a lake's attached mass driven below zero, set back to zero
  attached_to_cells,         // on the wash load spilled from the channel nodes onto the cells
  overland_boundary_out,     // carried out of the grid by the water leaving through the overland boundary
                             // cells (the water's slope, head and discharge boundary outflows)
  lakes_to_overland,         // carried out of the channel lakes onto the cells by the overland water
  lake_boundary_out,         // carried out of the grid by the water leaving a channel lake through a boundary cell
  nutrient_soil_uptake,      // taken from the overland water into the nutrient soil pools
  nutrient_pool_gain,        // made up in the soil by the nutrient soil step (a pool below zero refilled)
  attached_cells_to_lakes,   // on the suspended fines a channel lake's cells hand to the lake
  attached_lakes_to_cells,   // on the wash load a channel lake's water carries onto the land
  attached_to_pipes,         // on the suspended fines the cells' water carries into the pipe inlets
  lake_point_sources,        // added (net of withdrawals) by the point sources of the channel lakes
  attached_point_sinks,      // on the fines the channel point sinks draw with the nodes' water
  attached_lake_point_sinks,  // on the fines the point sinks of the channel lakes draw with their water
  dissolved_to_pipes,        // in the water the pipe inlets take from the cells, at the cells' concentration
  count_plus_one
};

inline constexpr int n_constituent_terms = static_cast<int>(constituent_term::count_plus_one) - 1;

inline constexpr int row(constituent_term t) { return static_cast<int>(t); }

inline constexpr std::array<mass_term_row, n_constituent_terms> constituent_term_table = {{
    {"rain_on_cells", "Precipitation", mass_compartment::outside, mass_compartment::overland_water},
    {"overland_point_source", "Overland point sources", mass_compartment::outside, mass_compartment::overland_water},
    {"overland_outlet", "Overland outflow", mass_compartment::overland_water, mass_compartment::outside},
    {"overland_to_channels", "Lateral inflow to channels", mass_compartment::overland_water,
     mass_compartment::channels},
    {"overland_to_lakes", "Overland inflow to lakes", mass_compartment::overland_water, mass_compartment::lakes},
    {"infiltration", "Infiltration", mass_compartment::overland_water, mass_compartment::soil_column},
    {"exfiltration", "Exfiltration", mass_compartment::soil_column, mass_compartment::overland_water},
    {"uptake_by_land", "Uptake by the land surface", mass_compartment::overland_water,
     mass_compartment::soil_column},
    {"release_from_land", "Release from the land surface", mass_compartment::soil_column,
     mass_compartment::overland_water},
    {"overland_decay", "Decay in the overland water", mass_compartment::overland_water, mass_compartment::outside},
    {"soil_decay", "Decay in the soil", mass_compartment::soil_column, mass_compartment::outside},
    {"seepage_to_water_table", "Seepage to the water table", mass_compartment::soil_column,
     mass_compartment::groundwater},
    {"seepage_from_water_table", "Seepage from the water table", mass_compartment::groundwater,
     mass_compartment::soil_column},
    {"release_from_sediment", "Released by the sediment", mass_compartment::sediment_bound,
     mass_compartment::overland_water},
    {"nutrient_gain", "Nutrient kinetics gain", mass_compartment::outside, mass_compartment::overland_water},
    {"nutrient_loss", "Nutrient kinetics loss", mass_compartment::overland_water, mass_compartment::outside},
    {"overland_negative_reset", "Negative overland mass set to zero", mass_compartment::outside,
     mass_compartment::overland_water},
    {"soil_negative_reset", "Negative soil mass set to zero", mass_compartment::outside,
     mass_compartment::soil_column},
    {"groundwater_exfiltration", "Exfiltration from the groundwater", mass_compartment::groundwater,
     mass_compartment::overland_water},
    {"channel_point_sources", "Channel point sources", mass_compartment::outside, mass_compartment::channels},
    {"channel_outlet", "Channel outflow", mass_compartment::channels, mass_compartment::outside},
    {"aquifer_to_channels", "Groundwater to channels", mass_compartment::groundwater,
     mass_compartment::channels},
    {"channels_to_aquifer", "Channels to groundwater", mass_compartment::channels,
     mass_compartment::groundwater},
    {"channel_decay", "Decay in the channels", mass_compartment::channels, mass_compartment::outside},
    {"channels_to_lakes", "Mass channel trib inflow", mass_compartment::channels, mass_compartment::lakes},
    {"lakes_to_channels", "Mass lake outlet flow", mass_compartment::lakes, mass_compartment::channels},
    {"rain_on_lakes", "Precip mass flux", mass_compartment::outside, mass_compartment::lakes},
    {"aquifer_to_lakes", "Groundwater to lakes", mass_compartment::groundwater, mass_compartment::lakes},
    {"lakes_to_aquifer", "Lakes to groundwater", mass_compartment::lakes, mass_compartment::groundwater},
    {"lake_decay", "Decay in the lakes", mass_compartment::lakes, mass_compartment::outside},
    {"channel_nutrient_gain", "Channel nutrient kinetics gain", mass_compartment::outside,
     mass_compartment::channels},
    {"channel_nutrient_loss", "Channel nutrient kinetics loss", mass_compartment::channels,
     mass_compartment::outside},
    {"channel_sediment_release", "Exchange with sediment", mass_compartment::channel_sediment_bound,
     mass_compartment::channels},
    {"channel_negative_reset", "Negative channel mass set to zero", mass_compartment::outside,
     mass_compartment::channels},
    {"eroded_with_soil", "Eroded with the soil", mass_compartment::soil_column, mass_compartment::sediment_bound},
    {"settled_with_sediment", "Settled with the sediment", mass_compartment::sediment_bound,
     mass_compartment::soil_column},
    {"outlet_on_sediment", "Overland outflow on sediment", mass_compartment::sediment_bound,
     mass_compartment::outside},
    {"sorbed_onto_sediment", "Sorbed onto the sediment", mass_compartment::overland_water,
     mass_compartment::sediment_bound},
    {"attached_to_channels", "Attached entering streams", mass_compartment::sediment_bound,
     mass_compartment::channel_sediment_bound},
    {"loose_attached_to_channels", "Attached to loose sediment entering streams", mass_compartment::soil_column,
     mass_compartment::channel_sediment_bound},
    {"attached_channel_outlet", "Attached exiting outlet", mass_compartment::channel_sediment_bound,
     mass_compartment::outside},
    {"attached_channels_to_lakes", "Attached entering lakes", mass_compartment::channel_sediment_bound,
     mass_compartment::lake_sediment_bound},
    {"attached_lakes_to_channels", "Attached leaving lakes", mass_compartment::lake_sediment_bound,
     mass_compartment::channel_sediment_bound},
    {"lake_sediment_release", "Exchange with attached", mass_compartment::lake_sediment_bound,
     mass_compartment::lakes},
    {"attached_channel_reset", "Negative attached channel mass set to zero", mass_compartment::outside,
     mass_compartment::channel_sediment_bound},
    {"attached_lake_reset", "Negative attached lake mass set to zero", mass_compartment::outside,
     mass_compartment::lake_sediment_bound},
    {"attached_to_cells", "Attached spilled onto the cells", mass_compartment::channel_sediment_bound,
     mass_compartment::sediment_bound},
    {"overland_boundary_out", "Overland boundary outflow", mass_compartment::overland_water,
     mass_compartment::outside},
    {"lakes_to_overland", "Lake outflow onto the cells", mass_compartment::lakes, mass_compartment::overland_water},
    {"lake_boundary_out", "Lake boundary outflow", mass_compartment::lakes, mass_compartment::outside},
    {"nutrient_soil_uptake", "Uptake by the nutrient soil pools", mass_compartment::overland_water,
     mass_compartment::outside},
    {"nutrient_pool_gain", "Nutrient soil pool gain", mass_compartment::outside, mass_compartment::soil_column},
    {"attached_cells_to_lakes", "Attached entering lakes from the cells", mass_compartment::sediment_bound,
     mass_compartment::lake_sediment_bound},
    {"attached_lakes_to_cells", "Attached leaving lakes onto the cells", mass_compartment::lake_sediment_bound,
     mass_compartment::sediment_bound},
    {"attached_to_pipes", "Attached entering the pipes", mass_compartment::sediment_bound, mass_compartment::pipes},
    {"lake_point_sources", "Lake point sources", mass_compartment::outside, mass_compartment::lakes},
    {"attached_point_sinks", "Attached drawn by channel point sinks", mass_compartment::channel_sediment_bound,
     mass_compartment::outside},
    {"attached_lake_point_sinks", "Attached drawn by lake point sinks", mass_compartment::lake_sediment_bound,
     mass_compartment::outside},
    {"dissolved_to_pipes", "Dissolved entering the pipes", mass_compartment::overland_water,
     mass_compartment::pipes},
}};

// The net mass of constituent c the soil surface (the soil column's top
// layer, or the land surface without one) gained with the sediment over the
// run, or over the event (`event`), kg: laid back with the settling fines,
// less lifted with the eroding fines and carried into the channels on the
// loose fines the channel cells gave the nodes. The soil and the overland
// summaries print it as "Sediment eroded(-)/deposited".
inline double soil_gain_with_sediment(const mass_ledger& l, int c, bool event) {
  auto total = [&](constituent_term t) { return event ? l.event_total(c, row(t)) : l.run_total(c, row(t)); };
  return total(constituent_term::settled_with_sediment) - total(constituent_term::eroded_with_soil) -
         total(constituent_term::loose_attached_to_channels);
}

// The term under which the overland transport books the exfiltrated mass
// it takes into the water: with a soil column the mass came up through it,
// without one straight from the groundwater.
inline constexpr constituent_term exfiltration_term(bool soil_column) {
  return soil_column ? constituent_term::exfiltration : constituent_term::groundwater_exfiltration;
}

}  // namespace nivra
