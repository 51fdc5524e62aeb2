// The routines the driver calls: the set-up sequence of a run, the routines
// of one time step in the driver's order, and the calibration drivers. The
// run's own routines live in src/run (see ARCHITECTURE.md for the file of
// each).
#pragma once

#include <string>
#include <string_view>

#include "core/process.h"

namespace nivra {

struct model_state;

// Steps between two writes of an output interval (HYD_FREQ, MAP_FREQ) of
// the given minutes and the model step dt (s): the nearest whole number of
// steps, at least 1.
int write_interval_steps(double minutes, double dt);
// An interval within this many steps of a whole number counts as whole (it
// is given in minutes, which rarely hold a step of seconds exactly).
inline constexpr double whole_step_tolerance = 1e-3;

// Set-up of a run, in the order the driver calls them.
void setup_time_steps(model_state& ms);
void init_station_distances(model_state& ms);
void init_event_inputs(model_state& ms);
void init_state_variables(model_state& ms);
void read_chan_point_sources(model_state& ms);
void read_exchange_maps(model_state& ms);
void compute_initial_surface_volume(model_state& ms);
void init_soil_contam(model_state& ms);
void init_simulation_clock(model_state& ms);
void alloc_soil_energy(model_state& ms);
// Sizes the capture buffer of a calibration run after the set-up: the series
// of every event and location start as not captured.
void alloc_calib_output(model_state& ms);

// One time step, in the order the driver calls them.
void advance_clock(model_state& ms);
void read_precip_event(model_state& ms);
void init_event_state(model_state& ms);
void update_rainfall(model_state& ms);
void sediment_contaminant_source(model_state& ms);
void track_peak_values(model_state& ms);
void nsm_overland_step(model_state& ms);
void nsm_channel_step(model_state& ms);
void print_progress(model_state& ms);
void check_simulation_end(model_state& ms);
void exchange_maps_event_end(model_state& ms);
void finish_event(model_state& ms);

// Parameter estimation, each driving many runs (the SCE and Monte Carlo
// calibrations are in src/calibration).
// The -slm mode (src/toolbox): 0 after a completed search or a stop request.
int slm_dru(int argc, char** argv);
int slm_dru_ms1(int argc, char** argv);
int slm_dru_ms2(int argc, char** argv);
int slm_dru_mlsl(int argc, char** argv);

}  // namespace nivra
