// The contaminant soil column of one cell: the water content of its layers
// from the soil-moisture accounting, and the decay and clean-up of a layer's
// mass.
#pragma once

namespace nivra {

// What the water content of a cell's layers is made from. Depths in cm:
// the top layer T, the soil-moisture layer S, the mixing layer M; Wt and Wb
// the water (cm) held in the top layer and below it; the layer thicknesses
// in m; the depth to the water table in m when there is one.
struct soil_layer_water {
  double top_cm = 0.0, moist_cm = 0.0, mixing_cm = 0.0;
  double water_top_cm = 0.0, water_bottom_cm = 0.0;
  double porosity = 0.0;
  double thickness[4] = {};  // m, layers 1..3
  int layers = 1;
  bool water_table = false;
  double table_depth = 0.0;  // m below the surface
};

// The water content of layer l (1..layers). Without a water table: the
// top layer's water over its depth, the bottom water over the depth below
// the top layer. With one: a table at or above the surface saturates every
// layer (porosity); otherwise the part of the layer below the table is
// saturated and the part above holds its share of the accounting's water.
double layer_water_content(const soil_layer_water& w, int l);

// The result of one layer's decay.
struct layer_decay {
  double decayed = 0.0;  // g, what the decay took (or would take with a static soil)
  double mass = 0.0;     // g, the layer's mass after it
};

// Decay of the dissolved part f of a layer's mass at rate k per second for
// dt seconds, never more than the dissolved mass; with a static soil the
// amount is only reported and the mass stays.
layer_decay soil_layer_decay(double mass, double dissolved_fraction, double rate_per_s, double dt, bool static_soil);

// A layer's mass after its fluxes: a negative mass is set to zero and the
// mass that made up for it is returned (g), for the books.
double reset_negative(double& mass);

}  // namespace nivra
