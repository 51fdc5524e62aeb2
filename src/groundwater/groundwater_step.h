// The saturated groundwater in the run: its set-up and its step (the glue
// between the run's record and groundwater/aquifer.h).
#pragma once

namespace nivra {

struct model_state;
struct unsaturated_cover;

// The groundwater step as a whole number of model steps, at least one: the
// GW_TIMESTEP card rounded to the nearest multiple of the model step.
double aligned_groundwater_step(double gw_timestep, double model_dt);

// Set-up, once the cells know their neighbours: checks the relaxation
// factor, aligns the groundwater step to the model step, sizes the
// exchange arrays and builds the solver's lines. Acts only with
// GW_SIMULATION.
void init_groundwater_state(model_state& ms);

// The well flux of every cell at the model time: the placed wells of the
// WELL_TABLE (their rate, or their series' value, over the cell area), or
// the static-flux table.
void fill_well_flux(model_state& ms);

// Adds cell c's Richards column (node thicknesses DZ in cm and water
// contents THETA of nodes 1..numcells - 1 above its table node, on a ground
// at `ground`, m) to the cover a solve takes: its nodes from the table up,
// each with its top and water content. Cells are added in order.
void cover_column(unsaturated_cover& cover, int c, double ground, const double* DZ, const double* THETA,
                  int numcells);

// The saturated zone's step of the time loop: the solve when its clock is
// due, with the exchanges of the soil above it.
void groundwater_step(model_state& ms);

// Solves the aquifer over the time since its last solve, when there is
// any: the end of an event and of the run call it before their books
// close, so that the heads and the totals cover the time simulated.
// Acts only with GW_SIMULATION; a failed solve stops the run.
void groundwater_to_model_time(model_state& ms);

}  // namespace nivra
