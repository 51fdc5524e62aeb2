// The map phase of a run: the watershed mask and elevations, the per-cell
// arrays of the chosen processes, every per-cell parameter (its own map, a
// uniform card value or the mapping tables), the hotstart maps, and then
// the channel, pipe-network and nutrient set-ups. Every reader reports its
// own failures; the phase stops at the first reader that stops the run.
#pragma once

namespace nivra {

struct grid_state;
struct lake_state;
struct model_state;

void read_input_maps(model_state& ms);

// Surface parameters and snow bands, in the phase's order.
void read_nwsrfs_snow_bands(model_state& ms);
void alloc_snow_cell_array(model_state& ms);
void read_interception_maps(model_state& ms);
void read_overland_lake_map(model_state& ms);
void read_retention_map(model_state& ms);
void read_roughness_map(model_state& ms);
void init_snow_roughness(model_state& ms);
void read_overland_blockage(model_state& ms);
void read_theta_locations(model_state& ms);

// Cell counts and initial volumes of the overland lakes from their cells'
// ground under each lake's initial water surface.
void tally_overland_lakes(lake_state& lakes, const grid_state& grid);

// Hotstart and initial-state maps.
void read_snow_ov_hotstart(model_state& ms);
void read_soil_moisture_hotstart(model_state& ms);

}  // namespace nivra
