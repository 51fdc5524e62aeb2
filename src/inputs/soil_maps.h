// Soil, infiltration, overland-boundary, wetland and groundwater parameter
// loading of the map phase, in the phase's order. Each acts only when its
// process is on.
#pragma once

namespace nivra {

struct model_state;

void init_wetlands(model_state& ms);
void init_overland_boundary(model_state& ms);
void read_infiltration_maps(model_state& ms);
// Albedo and Penman-Monteith parameters of a long-term run, from their maps
// or the mapping table.
void read_et_parameter_maps(model_state& ms);
void read_groundwater_maps(model_state& ms);

}  // namespace nivra
