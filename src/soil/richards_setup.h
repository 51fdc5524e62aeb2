// The set-up of the Richards soil columns and their part of the time loop.
#pragma once

#include "soil/richards.h"

namespace nivra {

struct model_state;
struct soil_hydraulic_result;

// Builds every cell's column from its soil class (the soil hydraulic table
// read into soil_classes(), the node counts of the reader): node soils,
// initial water contents and heads, the conductivity at the layer
// boundaries (harmonic mean of the two layers), relative conductivities and
// capacities; the root-zone moisture of long-term runs; the initial water
// of the root zone and of the columns to the run summary. False after a
// message naming the soil class that has no sound retention curve.
bool richards_init_columns(model_state& ms, const soil_hydraulic_result& table);

// Over saturated groundwater: lays cell c's column out again down to the
// water table as it stands (soil/soil_column.h), with the nodes'
// conductivities and capacities, the cell's exfiltration flag and a short
// first sub-step of the column solver. False when the column would need
// more nodes than its arrays hold (the run stops naming the cell).
struct soil_column_result;
bool relay_column_to_table(model_state& ms, int c, soil_column_result& r);

// The kernel's view of the run's record for a call of dt seconds.
richards_domain richards_kernel_domain(model_state& ms);

// One call of the column solver over dt seconds with its books: the
// evaporation (ponded and from the soil), the drainage below the columns,
// the water made consistent in them; the surface moisture from the top
// nodes. False after a column failed (the run stops).
bool richards_columns_step(model_state& ms, double dt);

}  // namespace nivra
