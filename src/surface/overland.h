// Overland flow over the grid: the explicit face-by-face scheme, the
// alternating-direction explicit schemes (ADE with adaptive sub-steps and
// ADE with a predictor-corrector flux), the broad-weir flow over low spots in
// dikes, and the readers of the overland lake file and the low-spot file.
//
// The kernels work on the run's model_state: depths are in m, discharges in
// m3/s, volumes in m3, step lengths in s. Every state a kernel keeps between
// its calls lives in the record, so a second run in the same process starts
// exactly as the first did.
#pragma once

#include "core/guarded_file.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "surface/lake_state.h"

namespace nivra {

// ---------------------------------------------------------------- explicit
// One overland step of dt seconds with the explicit scheme. Returns the
// volume that left through the outlet cell (0 with channel routing on).
double route_overland_explicit(model_state& ms, double dt);

// ---------------------------------------------------------------- ADE
inline constexpr int ade_dir_x = 1;  // faces to the right neighbour
inline constexpr int ade_dir_y = 2;  // faces to the neighbour below

// Volumes a sweep books instead of changing the depth of a fixed-level cell.
struct ade_books {
  double gain = 0.0;    // entered the grid from fixed-level cells
  double loss = 0.0;    // left the grid into fixed-level cells
  double outlet = 0.0;  // left through the outlet
};

// One overland step of dt seconds with the ADE scheme (overtype 2) or
// ADE-PC (overtype 3); any other overtype only runs the low-spot flow.
// Returns the outlet volume (0 with channel routing on), or -1.0 after a
// fatal error (code 4000 set).
double route_overland_ade(model_state& ms, double dt);

// Face discharges (m3/s) of one direction from the given depths, using the
// effective roughness in ms.ade_rough.
void ade_flux_helper(model_state& ms, const double* depth, int direction, double* q);

// Depth update of one direction over dt_s seconds. 0 good, 1 unstable (the
// next sub-step is shortened), 2 failed (the step restarts).
int ade_sweep_helper(model_state& ms, const double* q, int direction, double dt_s,
                     ade_books& books);

// 1 when a cell is unstable for the sub-step dt_s; hands back the largest
// ratio found and its cell.
int ade_stability_check(model_state& ms, const double* q, int direction, double dt_s,
                        double& ratio, int& cell);

// ---------------------------------------------------------------- low spots
// Weir flow over every low spot for dt seconds. Hands back the volume that
// left the grid into fixed-level boundary cells and the volume that entered
// it from them.
void dike_weir_flow(model_state& ms, double dt, double& loss_vol, double& gain_vol);

// ---------------------------------------------------------------- boundaries
// Overland boundary conditions, applied by the overland step before the
// routing. Boundary conditions are not simulated yet: it changes nothing.
void overland_boundary(model_state& ms, double dt);

// ---------------------------------------------------------------- input files
// Reads the overland lake file (kind 1) into table[1..num_lakes]. False
// after an error (message on stderr, code 4000 set).
bool read_lake_file(guarded_file& f, int kind, int num_lakes, array1d<olake_record>& table);

// Reads the low-spot file into records[1..count] (no records when the file
// has no SPOT line). False after an error (message on stderr, code 4000 set).
bool read_lowspot_file(guarded_file& f, const char* name, int& count,
                       array1d<lowspot>& records);

// Cut the first token off the line; 0 when it is "lake" (respectively
// "spot") in any case, otherwise non-zero.
int lake_card_index(card_line& line);
int lowspot_card_index(card_line& line);

}  // namespace nivra
