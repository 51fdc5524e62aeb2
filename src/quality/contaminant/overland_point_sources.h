// Overland point sources: water, with the concentration of every
// contaminant, discharged at a steady rate onto single cells (a spring, a
// pipe or a ditch ending on the land). The OV_POINT_SOURCE file:
//
//   NUM_SOURCES 2
//   3 4 0.020 15.0
//   5 7 0.005 0.0
//
// one line per source: the cell's row and column, the discharge (m3/s) and
// the concentration (g/m3) of each contaminant of the run in their order.
// Blank lines and lines starting with # are passed over.
#pragma once

namespace nivra {

struct model_state;

// Reads the file the OV_POINT_SOURCE card names, once the contaminants are
// set up. Stops the run, naming the file and line, on a count that
// disagrees with the lines, a cell outside the watershed or named twice, a
// cell whose water level a boundary holds, a value that is not a finite
// number of at least 0, or a line with too few or too many values.
void read_overland_point_sources(model_state& ms);

// The time-loop step: when the constituent clock is due, the water the
// sources discharged since the constituents last moved goes onto the cells
// with its mass, and the overland and infiltration clocks are pulled
// forward to the next step (between the events of a long-term run they
// sleep until a source wakes them); redistribution fronts that stopped
// with the dry surface start again from the soil-moisture accounting.
void apply_overland_point_sources(model_state& ms);

}  // namespace nivra
