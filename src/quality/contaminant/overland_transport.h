// Advection and dispersion of one dissolved constituent over the cells: a
// two-direction split (rows, then columns, or the reverse), each direction
// a second-order predictor-corrector step with half of the cells' net
// source. A face's flux is formed once, by the cell below or right of it,
// and is added to that cell and taken from its neighbour, so the scheme
// moves mass between cells without making or losing any; only a mass
// driven below zero, which is set to zero, changes the total (reported).
// The face flows are the mean discharges of the step: each face carries
// the water it moved over the step. A cell's concentration after the first
// direction is its mass over the water it holds then, the depth at the end
// of the step less what the faces of the second direction bring it; after
// the second, over the depth at the end. Where the water moved matches the
// depths, a uniform concentration therefore stays uniform.
#pragma once

#include "core/arrays.h"

namespace nivra {

class thread_pool;

// The grid the constituent moves over (1-based arrays of n cells).
struct ov_transport_domain {
  int ncells = 0;
  double dx = 0.0;                       // cell side, m
  const int* above = nullptr;            // neighbour north (0 none)
  const int* below = nullptr;            // neighbour south
  const int* left = nullptr;             // neighbour west
  const int* right = nullptr;            // neighbour east
  const double* depth = nullptr;         // water depth at the end of the step, m
  const double* qx = nullptr;            // mean flow across the cell's east face over the step, m3/s (positive eastward)
  const double* qy = nullptr;            // mean flow across the cell's south face over the step, m3/s (positive southward)
  const double* disp = nullptr;          // dispersion coefficient of the constituent, m2/s
  const double* source = nullptr;        // net source rate, g/s
  // Cells whose water a lake holds (null: none): their concentration is the
  // lake's (held_conc) through the step, no dispersion crosses their faces,
  // and their mass gathers what the faces carried into the lake (negative:
  // out of it), for the caller to hand to the lake; they take no source.
  const int* lake = nullptr;             // per cell: non-zero in a lake
  const double* held_conc = nullptr;     // per cell: the lake water's concentration, g/m3
  thread_pool* crew = nullptr;           // null: one thread
  int part_cells = 4096;                 // fewest cells of a part when split over threads
};

// The constituent's state: mass (g) and concentration (g/m3) per cell.
struct ov_transport_state {
  double* mass = nullptr;
  double* conc = nullptr;
};

// Face fluxes, predictor values and the depths between the two directions
// of one step, and the depths a caller hands the step (depth_end), sized
// once for n cells.
struct ov_transport_scratch {
  array1d<double> flux, flux_star, mass_star, conc_star, depth_between, depth_end;
  void size_for(int n) {
    if (flux.size() == n) return;
    flux.alloc(n);
    flux_star.alloc(n);
    mass_star.alloc(n);
    conc_star.alloc(n);
    depth_between.alloc(n);
    depth_end.alloc(n);
  }
};

// Which direction goes first.
enum class sweep_order { rows_first = 1, columns_first = 2 };

// One transport step of dt seconds. Returns the mass (g) that cells driven
// below zero were given when they were set to zero.
double ovl_contam_step(const ov_transport_domain& d, ov_transport_state& s, ov_transport_scratch& w, double dt,
                       sweep_order order);

}  // namespace nivra
