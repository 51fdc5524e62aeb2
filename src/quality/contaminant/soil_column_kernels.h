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

// The water content (theta) and the water content at saturation (thetas) of
// the layers of a layered soil's contaminant column, for one cell of soil
// class c. The column has 2 layers (the class's first two) or 3 (a mixing
// layer cut off the top of the class's first layer); t[1..layers] are their
// thicknesses in m. Wt and Wb are the accounting's water (cm) in the class's
// top layer and below it; table_cm the depth of the water table in cm
// (without a table, anything below the column). P1 and P2 are the
// porosities of the class's first two layers. A layer wholly below the
// table is saturated; one the table cuts holds the pores below it full and
// its share of the accounting's water above it.
struct layered_moisture_in {
  int layers = 2;
  double t[4] = {};          // m
  double water_top_cm = 0.0, water_bottom_cm = 0.0;
  double table_cm = 0.0;
  double P1 = 0.0, P2 = 0.0;
};
struct layered_moisture_out {
  double theta[4] = {};
  double thetas[4] = {};
};
layered_moisture_out layered_soil_moisture(const layered_moisture_in& in);

// One cell's contaminant soil column over one soil step of dt seconds, for
// one constituent: decay of every layer's dissolved part, then what the
// overland transport left for the top layer (infiltrated mass in, mass the
// surface took up out), then the water moving through the layer boundaries
// carrying the dissolved concentration of the layer it leaves (the water
// table's concentration for water rising from it). Boundary 0 is the ground
// surface, boundary l the bottom of layer l; water fluxes are depths (m)
// over the step, positive downward.
struct contam_column_cell {
  int layers = 1;
  double area = 0.0;                // m2
  double thickness[4] = {};         // m
  double porosity[4] = {};
  double theta[4] = {};
  double dissolved[4] = {};         // dissolved fraction of each layer
  double decay_rate = 0.0;          // 1/s
  bool static_soil = false;         // decay only reported, the top layer kept
  double water_flux[4] = {};        // m over the step, boundaries 0..layers
  double table_conc = 0.0;          // g/m3 of water rising from the table
  double infiltrated = 0.0;         // g into the top layer
  double taken_by_surface = 0.0;    // g out of the top layer (negative: given to it)
};
struct contam_column_moved {
  double decayed = 0.0;             // g
  double to_table = 0.0;            // g down out of the bottom
  double from_table = 0.0;          // g up into the bottom
  double to_surface = 0.0;          // g up out of the top layer onto the ground
  double reset = 0.0;               // g made up where a layer went below zero
};
// mass[1..layers] (g) is updated; a layer's outflow is never more than its
// dissolved mass, and a layer left below zero is set to zero (reported).
contam_column_moved contam_column_step(const contam_column_cell& cell, double dt, double* mass);

// The concentration of a layer, mass per kg of soil (g x 1000 / kg): the
// layer's solid volume (1 - porosity) x thickness x area at 2650 kg/m3.
// A layer without solids has none.
double soil_layer_concentration(double mass, double porosity, double thickness, double area);

// The exchange between a cell's water and the water of its top soil layer
// over dt seconds (g, positive from the soil to the water): the difference
// of their concentrations times the exchange rate (1/s) and the cell's
// area. The soil gives no more than the layer holds dissolved, and never
// so much that the water ends above the soil water's concentration; the
// water gives no more than it holds.
struct soil_water_exchange_in {
  double soil_conc = 0.0;            // g/m3 of the top layer's water
  double soil_dissolved_mass = 0.0;  // g
  double water_conc = 0.0;           // g/m3
  double water_mass = 0.0;           // g
  double water_volume = 0.0;         // m3
  double rate = 0.0;                 // 1/s
  double area = 0.0;                 // m2
};
double soil_water_exchange(const soil_water_exchange_in& x, double dt);

}  // namespace nivra
