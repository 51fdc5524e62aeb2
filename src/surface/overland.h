// Overland flow over the grid: the explicit face-by-face scheme, the
// alternating-direction explicit schemes (ADE with adaptive sub-steps and
// ADE with a predictor-corrector flux), the broad-weir flow over low spots in
// dikes, and the readers of the overland lake file and the low-spot file.
//
// The kernels work on the components they are handed (overland_domain):
// depths are in m, discharges in m3/s, volumes in m3, step lengths in s.
// What a kernel keeps between its calls lives in its own object, owned by
// the overland component (overland_state::explicit_kernel, ::ade_kernel).
// A kernel reports failure as a status and hands back the volumes it moved
// across the grid's edge; the overland step books them.
#pragma once

#include <vector>

#include "core/arrays.h"
#include "core/guarded_file.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"
#include "model/water_ledger.h"

namespace nivra {

// Lateral flow of melt water through a snowpack (ADE schemes), handed over
// from the weather component; off while swe is null.
struct snow_flow {
  const double* swe = nullptr;              // snow water equivalent per cell, m
  const array2d<double>* params = nullptr;  // [cell][4] water-holding divisor, [11] permeability (cm2)
};

// What one kernel call works on: the grid (its geometry is only read; the
// low spots record their flow), the overland water with the schemes' own
// objects, the lakes and wetlands, and what the step hands over from the
// other components.
struct overland_domain {
  grid_state& grid;
  overland_state& overland;
  lake_state& lakes;
  snow_flow snow{};
  bool outlet_drains = false;  // no channel routing: the outlet cell drains by normal depth
  bool quiet = false;          // no messages about the sub-step
};

// How a kernel call ended.
enum class overland_status {
  ok,
  depth_not_a_number,  // a depth was not a number at the start of the step
  negative_depth,      // a depth was below -1e-5 m at the start of the step
  sub_step_too_small,  // the ADE sub-step fell below the smallest the grid allows
};

// Volumes that crossed the grid's edge (m3).
struct overland_books {
  double gain = 0.0;       // entered the grid from fixed-level cells
  double loss = 0.0;       // left the grid into fixed-level cells
  double outlet = 0.0;     // left through the outlet
  double slope_out = 0.0;  // left through normal-depth boundary cells
};

// The terms of the routing's books.
inline constexpr books_map<overland_books, 3, 1> overland_books_terms{
    {{
        {&overland_books::gain, water_flux::head_boundary_in},
        {&overland_books::loss, water_flux::head_boundary_out},
        {&overland_books::slope_out, water_flux::slope_boundary_out},
    }},
    {{
        {&overland_books::outlet, "the outlet discharge of a grid without channels, booked by the step"},
    }}};

// A routing call: its status and its books (the messages of a failure are
// printed by the kernel).
struct overland_result {
  overland_status status = overland_status::ok;
  overland_books books;
};

// ---------------------------------------------------------------- explicit
// One overland step of dt seconds with the explicit scheme, the low-spot
// weirs and the outlet (no outlet volume with channel routing on).
overland_result route_overland_explicit(const overland_domain& d, double dt);

// Sizes the explicit scheme's work arrays for the grid, its lakes and the
// run's threads, as its first call would.
void prepare_overland_explicit(const overland_domain& d);

// ---------------------------------------------------------------- ADE
inline constexpr int ade_dir_x = 1;  // faces to the right neighbour
inline constexpr int ade_dir_y = 2;  // faces to the neighbour below

// A sweep's depth update: stable, unstable (the next sub-step is
// shortened) or failed (the step restarts).
enum class sweep_status { stable, unstable, failed };

// One overland step of dt seconds with the ADE scheme (overtype 2) or
// ADE-PC (overtype 3), then the low-spot weirs; any other overtype only
// runs the weirs.
overland_result route_overland_ade(const overland_domain& d, double dt);

// Sizes the work arrays of the ADE scheme (overtype 2 or 3) and the face
// arrays it fills, as its first call would.
void prepare_overland_ade(const overland_domain& d);

// ---------------------------------------------------------------- low spots
// Weir flow over every low spot for dt seconds. Hands back the volume that
// left the grid into fixed-level boundary cells (loss) and the volume that
// entered it from them (gain).
overland_books dike_weir_flow(grid_state& grid, overland_state& overland, lake_state& lakes, double dt);

// ---------------------------------------------------------------- boundaries
// Volumes the boundary conditions moved across the grid's edge in a step
// (m3).
struct boundary_books {
  double slope_out = 0.0;        // normal-depth outflow (type 1)
  double head_in = 0.0;          // raised to a time-varying level (type 3)
  double head_out = 0.0;         // lowered to it
  double discharge_in = 0.0;     // discharges in (types 4, 5) and filling to a fixed level (type 2)
  double discharge_out = 0.0;    // discharges out, and draining to a fixed level
  double discharge_unmet = 0.0;  // removal asked of a cell that did not hold it
};

// The terms of the boundaries' books.
inline constexpr books_map<boundary_books, 6> boundary_books_terms{{{
    {&boundary_books::slope_out, water_flux::slope_boundary_out},
    {&boundary_books::head_in, water_flux::head_boundary_in},
    {&boundary_books::head_out, water_flux::head_boundary_out},
    {&boundary_books::discharge_in, water_flux::discharge_boundary_in},
    {&boundary_books::discharge_out, water_flux::discharge_boundary_out},
    {&boundary_books::discharge_unmet, water_flux::discharge_boundary_unmet},
}}};

// The value of every boundary cell's condition at the model time (days)
// into bc_value: the slope (type 1) or level (type 2) of its table row, its
// time series (types 3, 4, 5, by the id of the row). An id that no series
// of the TIME_SERIES_INDEX table has stops the run.
void bc_series_values(overland_state& ov, double model_time);

// Applies every cell's condition for dt seconds, in cell order (the depth
// of a cell is over its open ground; a cell in a channel lake acts on the
// lake): type 1 in a channel lake drains the lake by Manning's normal
// depth on the slope bc_value out of every side without a neighbour (the
// routing kernels drain the other type-1 cells on their sub-steps,
// edge_drain in overland_common.h); type 2 sets the depth to the level
// bc_value when `set_levels` (the run's first call); type 3 sets it to
// bc_value every step; types 4 and 5 add bc_value ft3/s or m3/s (a
// negative one removes it, and what the cell did not hold is unmet); type
// 6 exchanges water both ways with its type-99 neighbours, type 7 sends
// its water to them, at the rated discharge of the head difference or of
// its depth (ov_bc_rating_series) and never more than levels the two.
boundary_books overland_boundary(const overland_domain& d, double dt, bool set_levels);

// ---------------------------------------------------------------- input files
// Reads the overland lake file (kind 1) into table[1..num_lakes]. False
// after an error: the message (on stderr, naming the file and the line of a
// bad number) is reported and the run stopped at once. card_lines, when
// given, gets the line of every lake's LAKE card (indexed by lake id).
bool read_lake_file(guarded_file& f, int kind, int num_lakes, array1d<olake_record>& table,
                    std::vector<int>* card_lines = nullptr);

// Reads the low-spot file into records[1..count] (no records when the file
// has no SPOT line). False after an error, reported at once as for the lake
// file; the run is stopped.
bool read_lowspot_file(guarded_file& f, const char* name, int& count,
                       array1d<lowspot>& records);

// Cut the first token off the line; 0 when it is "lake" (respectively
// "spot") in any case, otherwise non-zero.
int lake_card_index(card_line& line);
int lowspot_card_index(card_line& line);

}  // namespace nivra
