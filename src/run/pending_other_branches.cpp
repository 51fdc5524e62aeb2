// Placeholders for the map phase and geometry routines being built on another branch; the lead removes this file at merge.
#include "inputs/geometry.h"
#include "inputs/map_phase.h"

namespace nivra {

void read_input_maps(model_state&) {}
void build_cell_connectivity(model_state&) {}
void compute_cell_slopes(model_state&) {}
void compute_centred_slopes(model_state&) {}

}  // namespace nivra
