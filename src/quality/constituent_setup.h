// Sediment, contaminant and nutrient set-ups called by the map phase.
#pragma once

namespace nivra {

struct model_state;

// With soil erosion: the overland sediment record, its classes, the cells'
// erosion parameters, the sediment output files, the step object and the
// sediment ledger (quality/sediment/sediment_setup.cpp).
void init_overland_sediments(model_state& ms);
// The sediment output files of the project; on a failure the error block
// holds code 4 with the file's role and name, and the stop flag.
void open_sediment_outputs(model_state& ms);
// With overland contaminant transport: the contaminant parameters.
void read_contaminant_params(model_state& ms);
// With overland contaminant transport, before the first step: rates per
// day to per second, loads to grams, the overland and soil masses the run
// starts from, and the constituents' mass ledger.
void init_soil_contam(model_state& ms);
// With nutrients: the aquatic environment, the overland nutrient and
// constituent arrays and parameters, and the nutrient overland grid.
void setup_nutrient_overland(model_state& ms);
// With nutrients and a channel network, after the channel set-up: the
// nutrient stream and lake parts, the stream zone map and the stream
// initial values.
void setup_nutrient_channels(model_state& ms);
// With nutrients and soil contaminant transport: the nutrient soil tables.
void assign_nsm_table_params(model_state& ms);
// Hands the nutrient outputs their requests, files and arrays: the
// overland series read the constituent list's nutrient rows (the masses the
// run carries), the stream and lake series the channel's rows when the
// channels carry constituents (else the media's own), and the derived
// totals are recomputed from those masses just before they are written.
void connect_nutrient_outputs(model_state& ms);
// With nutrients: stops the run (the nutrients are set up but not yet
// carried over the land and through the channels).
void refuse_nutrient_runs(model_state& ms);

}  // namespace nivra
