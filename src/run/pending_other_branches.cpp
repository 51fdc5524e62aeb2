// Placeholders for routines being built on other branches; the lead removes this file at merge.
#include "inputs/geometry.h"
#include "inputs/map_phase.h"
#include "output/output_writers.h"
#include "output/run_summary.h"

namespace nivra {

void read_input_maps(model_state&) {}
void build_cell_connectivity(model_state&) {}
void compute_cell_slopes(model_state&) {}
void compute_centred_slopes(model_state&) {}
void init_grid_dataset_output(model_state&) {}
void init_linknode_output(model_state&) {}
void write_time_series_output(model_state&) {}
void write_map_output(model_state&) {}
void write_run_summary(model_state&) {}

}  // namespace nivra
