// The contaminant soil column in the time loop: under every cell one to
// three layers that hold each constituent sorbed to the grains and
// dissolved in the soil water. On its own clock (it follows the
// soil-moisture accounting, or the infiltration where there is none) the
// step refreshes the layers' water content, splits their mass into its
// dissolved and sorbed parts, decays the dissolved part, takes in what the
// overland transport left for the top layer, moves the dissolved mass with
// the water through the layer boundaries (down with the percolation, up
// with exfiltration from a water table) and books every mass it moves in
// the constituents' mass ledger. The sediment classes carried as
// constituents are strained out in the top layer: they neither decay nor
// move with the soil water. A nutrient's soil row is its partner pool of
// the nutrient model's soil part (nutrient_soil_pool): the step takes the
// infiltrated mass into the pool's layers.
#pragma once

#include "core/containers.h"
#include "model/mass_ledger.h"

namespace nivra {

struct model_state;
struct constituent_state;

// The step of the time loop; nothing without SOIL_CON_TRANS or without
// soil layers, or when its clock is not due.
void soil_column_constituent_step(model_state& ms);

// THETA and THETAS of every cell and layer of the column, by the soil
// scheme: the accounting's water and the water table under redistribution,
// the soil classes under layered soils, the surface moisture under
// Green-Ampt. Where the soil-moisture accounting is not kept, every layer
// takes the surface moisture.
void fill_layer_water_content(model_state& ms);

// The exchange over dt seconds between the water of cell i and the water
// of its top soil layer for constituent c (g, positive from the soil), at
// the cell's exchange rate, with the overland water's depth h (m).
double top_layer_water_exchange(model_state& ms, int c, int i, double h, double dt);

// The porosity of cell i's top soil layer and the share of constituent
// c's layer mass dissolved in its water (both 0 without a soil column).
struct top_layer_soil {
  double porosity = 0.0, dissolved_fraction = 0.0;
};
top_layer_soil top_layer_soil_of(model_state& ms, int c, int i);

// The layers of a nutrient water constituent's soil row: its partner pool
// of the nutrient model's soil part ([cell][layer], g), which holds what
// the water leaves in the soil; null for any other row (its layers are the
// column's soil_mass) and without the soil part.
jagged_array<double>* nutrient_soil_pool(const constituent_state& k, int c);

// The mass of constituent c (kg) that the soil column holds, with what is
// on its way into or out of it: the layers (the land surface without a
// column), the infiltrated mass and the surface uptake the next soil step
// takes, and the mass that left the top layer upward and waits for the
// overland transport.
double soil_column_mass(const constituent_state& k, int c, int cells);

// The groundwater is not modelled as a store of the constituents: it takes
// what seeps down at any concentration and gives at its own. Its mass in
// the ledger is what it has received, net, since the run started (kg), so
// that the balance of any set of compartments with it closes.
double groundwater_received_mass(const mass_ledger& books, int c);

// Records the soil column's (when there is one) and the groundwater's mass
// of every constituent in the ledger at a moment (the start and end of the
// run and of each event).
void record_soil_column_masses(model_state& ms, ledger_moment moment);

}  // namespace nivra
