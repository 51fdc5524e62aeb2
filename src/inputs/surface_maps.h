// Readers of the map phase (run/map_phase.h) for the surface, the snow
// bands and the hotstart maps.
#pragma once

namespace nivra {

struct grid_state;
struct lake_state;
struct model_state;

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
// The ground an overland hot-start carried (ADJUST_ELEV) takes the place of
// the elevation map's, after the slopes are taken from the map: the run
// that wrote it kept the map's slopes while its ground moved.
void lay_carried_ground(model_state& ms);
void read_soil_moisture_hotstart(model_state& ms);

}  // namespace nivra
