// Evapotranspiration as the run sees it: the Penman-Monteith maps of the
// map phase, the arrays of the set-up, the hour's rates and frozen-ground
// index (from the hourly output step), and the removal step that takes
// the evapotranspiration from ponded water and the soil-moisture
// accounting, booking what it removes.
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

// The evapotranspiration removal step, on the soil-moisture clock: the
// accounting takes in the infiltration and gives up evapotranspiration
// (booked as evaporation, the ponded part also as direct evaporation), and
// every cell's surface moisture is refreshed.
void et_removal_step(model_state& ms);

}  // namespace nivra
