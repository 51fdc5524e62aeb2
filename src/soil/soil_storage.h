// The water held in the soil: the layers of a Richards column, or the
// soil-moisture accounting layer and, above a water table, the soil between
// that layer and the water table.
#pragma once

namespace nivra {

struct model_state;

// Where the soil below the accounting layer begins, and when it counts.
// The start and the end of a run measure it differently and each keeps its
// own rule.
enum class soil_below_layer {
  // Below each cell's accounting depth (sm_depth), when saturated
  // groundwater is simulated: the start of the run.
  cell_depth,
  // Below the accounting depth of the card (twice the top layer of the
  // cell's soil class in layered soils), when a water table is given: the
  // events and the end of the run.
  card_depth,
};

struct soil_water {
  double total = 0.0;             // m3
  double accounting_layer = 0.0;  // m3 of it in the accounting layer
};

// Water in the soil over the watershed.
soil_water soil_storage(const model_state& ms, soil_below_layer below);

}  // namespace nivra
