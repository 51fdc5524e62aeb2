// The lumped soil-groundwater models of long-term runs, which take the
// water infiltrated anywhere in the watershed (as a watershed-mean depth,
// mm) and return it to the channels as baseflow:
//
// - the Sacramento soil-moisture accounting model: upper and lower zones of
//   tension and free water, percolation from the upper free water to the
//   lower zone, surface runoff, interflow and baseflow;
// - the conceptual groundwater model: a slow and a fast linear store.
//
// Their parameter files are card files ("NIVRA_SACRAMENTO",
// "NIVRA_CONCEPTUAL_GW"); the maps that spread their outflow over the
// channels (the topographic index, the upslope area) are computed from the
// elevations.
#pragma once

#include <string_view>

#include "core/arrays.h"
#include "groundwater/groundwater_state.h"

namespace nivra {

class guarded_file;
struct grid_state;

// ---------------------------------------------------------------- Sacramento
// The parts of one step's water, mm.
struct sac_step_water {
  double et = 0.0;        // actual evapotranspiration
  double surface = 0.0;   // surface runoff of the upper free water
  double interflow = 0.0;
  double baseflow = 0.0;
  double runoff() const { return surface + interflow + baseflow; }
};

// One step with the evapotranspiration demand ep and the input pxv (mm).
// Leaves the step's runoff in s.sac_runoff and adds the step's residual
// (storage before - after + input - ET - runoff) to s.sac_residual.
sac_step_water sacramento_step(sac_record& s, double ep, double pxv);

// The card of a line of the parameter file: 0 the header word, 1-16 the
// cards "uztwm" .. "lzfpc" in the file's order, 17 "num_basins", 18
// "basin", 19 "saved", 20 anything else. The word is cut from the line.
int sacramento_card_index(std::string& line);

// Reads the parameter file: the header, then each of the 17 value cards
// once. Contents are given as fractions of their capacities (outside 0..1
// moved inside with a warning), rates outside 0..1 likewise; a capacity
// must be above 0. False after a message naming the file and the card or
// line.
bool read_sacramento_input(guarded_file& f, std::string_view name, sac_record& s);

// The topographic index ln(a / tan b) of every watershed cell, by a
// multiple-flow-direction pass over the elevations (at most 1000 passes);
// false after the message of a pass limit or a negative index.
bool sacramento_topo_index(const grid_state& grid, array1d<double>& topo_dex);

// ---------------------------------------------------------------- conceptual
struct congw_outflows {
  double slow = 0.0, fast = 0.0;
};
// One step of the two stores with the input p (mm): each store releases its
// rate of what it holds, then the input is split between them by how full
// they are; what a full slow store cannot take goes to the fast one.
congw_outflows congw_two_store(double p, congw_store_block& s);

// The card of a line of the conceptual groundwater file: 0 the header, 1
// "slow_max" .. 7 "underflow_percent", 8 anything else. The word is cut.
int conceptual_gw_card_index(std::string& line);

// Reads the conceptual groundwater file (header, the seven value cards once
// each); capacities must be above 0; negative rates and contents are
// moved with a warning. False after a message naming the file and the card
// or line.
bool read_conceptual_gw(guarded_file& f, std::string_view name, congw_store_block& s);

// The area (m2) draining through every watershed cell by the same
// multiple-flow-direction pass, and the grid header of "upslope.out".
bool produce_upslope_area(const grid_state& grid, array1d<double>& upslope_area);

}  // namespace nivra
