// Evapotranspiration as the run sees it: the arrays of the set-up and the
// hour's rates and frozen-ground index (from the hourly output step). The soil-moisture
// accounting (soil/soil_moisture_step.h) removes the water.
#pragma once

namespace nivra {

struct model_state;

// Set-up of a long-term run: the per-cell rates, ground temperature,
// snow depth and frozen-ground index, and the 24-hour temperature history.
void init_evapotranspiration(model_state& ms);

// The hour's evapotranspiration of every cell (its mean air temperature
// replaces the record's) and, with CFGI, the frozen-ground index; returns
// the mean potential rate of the cells outside lakes, cm/h.
double evapotranspiration_hour(model_state& ms);

}  // namespace nivra
