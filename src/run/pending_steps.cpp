// Routines of subsystems still to come. Each does nothing yet (or says that
// its run mode is not available); the subsystem that builds it moves it out
// of this file.
#include <cstdio>

#include "model/model_state.h"
#include "run/steps.h"

namespace nivra {

namespace {

int mode_not_available(const char* mode) {
  std::printf("The %s mode is not available in this version of NIVRA.\n", mode);
  return 0;
}

}  // namespace

// Gives the display name of a nutrient constituent; the symbol until then.
std::string nsm_constituent_name(int index, int) {
  static const char* const symbols[] = {"NO2", "NO3", "NH4", "ON", "OP", "DP", "Alg", "CBOD", "DO"};
  return index >= 0 && index < 9 ? symbols[index] : "";
}

// Reads the maps exchanged with the outside framework at the start.
void read_exchange_maps(model_state&) {}
// Sets up the XY point outputs.
void init_xy_point_output(model_state&) {}
// Sets up the initial soil contaminant layers.
void init_soil_contam(model_state&) {}
// Reads the analyzer file and links its analyzers to the run.
void setup_analyzers(model_state&, std::string_view) {}
// Lets every analyzer of the run act on an event.
void check_analyzers(model_state&, int) {}

// Adds the overland point sources.
void apply_overland_point_sources(model_state&) {}
// Updates the frozen-ground index.
void frozen_soil_step(model_state&) {}
// Accumulates and melts snow.
void snowmelt_step(model_state&) {}
// Hands the snowmelt to the cells.
void apply_snowmelt(model_state&) {}
// Moves the overland constituents.
void overland_constituent_step(model_state&) {}
// Routes the storm-sewer pipe network.
void storm_sewer_step(model_state&) {}
// Adds the contaminants carried by eroded sediment.
void sediment_contaminant_source(model_state&) {}
// Exchanges contaminants between soil and water.
void soil_contaminant_step(model_state&) {}
// Checks the overland constituent mass balance.
void overland_mass_check(model_state&) {}
// Routes the overland lakes.
void overland_lake_step(model_state&) {}
// Runs the nutrient model on the cells.
void nsm_overland_step(model_state&) {}
// Runs the nutrient model in the channels.
void nsm_channel_step(model_state&) {}
// Moves the channel constituents.
void channel_constituent_step(model_state&) {}
// Writes the maps exchanged with the outside framework at the end of an event.
void exchange_maps_event_end(model_state&) {}

// Runs the multistart search.
int slm_dru_ms1(int, char**) { return mode_not_available("multistart"); }
// Runs the trajectory repulsion search.
int slm_dru_ms2(int, char**) { return mode_not_available("trajectory repulsion"); }
// Runs the multi-level single linkage search.
int slm_dru_mlsl(int, char**) { return mode_not_available("multi-level single linkage"); }

}  // namespace nivra
