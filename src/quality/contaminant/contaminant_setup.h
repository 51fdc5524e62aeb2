// The contaminant set-up: parameters, constituent arrays, soil column and
// initial state. read_contaminant_params and init_soil_contam are declared
// with the other constituent set-ups in quality/constituent_setup.h.
#pragma once

namespace nivra {

struct model_state;
struct soil_state;

// The number of layers of the contaminant soil column under the soil
// scheme of the project (0 when the scheme has no column). Under Green-Ampt
// and redistribution a top layer of no depth takes the soil-moisture depth
// and a mixing layer of no depth takes the top layer's (depths in cm,
// updated in place): redistribution gives one layer, plus one below the
// top layer and one between the mixing and the top layer when they have
// depth; Green-Ampt one; layered soils two, three with a mixing layer.
int contaminant_soil_layers(const soil_state& s, double soil_moist_cm, double& top_cm, double& mixing_cm);

// Grows every per-constituent array by n constituents (zeros). The
// contaminants' call (nsm_flag false) adds n constituents of kind 1; the
// nutrient model's call adds its nine water constituents (kind 2),
// whatever n is, and records the first of them (with soil transport the
// soil side of each row is its partner pool, nsm_partner_pool).
void alloc_overland_constituents(model_state& ms, int n, bool nsm_flag);

// The contaminants' parameters: the soil column under soil transport, then
// the mapping table's contaminant table when the file has one, else one
// contaminant from the uniform cards; then the contaminant load map into
// constituent 1. Stops the run on a bad value.
void setup_contaminants(model_state& ms);

// With the sediment classes carried as constituents (SOIL_EROSION of 10
// or more): one constituent of kind 1 per class, after the contaminants,
// named by the class's output name, with no decay, no exchange with the
// land and no rain concentration; first_sed_constituent and
// num_sed_constituents record where they lie.
void add_sediment_class_constituents(model_state& ms);

}  // namespace nivra
