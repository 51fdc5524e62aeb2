// Infiltration of overland water into the soil by the Green-Ampt family:
//
// - infil_ga_cells: one soil layer, the Green-Ampt equation solved for the
//   cumulative infiltration at the end of the step by Newton's method;
// - infil_redist_flux: one soil layer with redistribution: an explicit
//   capacity, a surface wetting front whose water content rises to
//   saturation under ponding and falls again while the rain pauses, and a
//   second front that forms when rain returns to a redistributed profile;
// - infil_layered_cells: up to three layers of a soil class, the front's
//   conductivity the harmonic mean of the layers it has crossed.
//
// The kernels work on the soil component and the overland depths they are
// handed (infiltration_domain). Depths are in m, times in s, conductivities
// in m/s and suction heads in m (the layered kernel works in cm and hours
// inside, as its soil classes are given). Each cell's cumulative
// infiltrated depth grows in cum_infil; the step books the growth. Water
// that infiltrates leaves the cell's overland depth, except on a cell whose
// water level is held by a boundary condition: its depth stays and the
// volume the boundary supplies is handed back.
#pragma once

#include "core/arrays.h"
#include "soil/soil_state.h"
#include "model/water_ledger.h"

namespace nivra {

// What one kernel call works on: the soil component (its parameters, fronts
// and the kernels' own objects), the overland depths, and the cells other
// components take out of infiltration. A null pointer is a process that is
// off.
struct infiltration_domain {
  soil_state& soil;
  double* ov_depth = nullptr;          // overland depth per cell over its open part, m
  int ncells = 0;
  double cell_area = 0.0;              // m2
  const int* boundary_type = nullptr;  // overland boundary conditions: fixed-level cells keep their water
  const double* blocked = nullptr;     // flow blockage: blocked fraction per cell
  const int* channel_lake = nullptr;   // channel lake per cell: lake cells do not infiltrate
  const int* overland_lake = nullptr;  // overland lake per cell (redistribution skips its cells)
  const int* snow_blocked = nullptr;   // long-term runs: 1 where snow keeps water out of the soil
  const double* frost_index = nullptr; // long-term runs with CFGI: frozen-ground index per cell
  double frost_limit = 0.0;            // an index above it keeps water out of the soil (CFGI_INDEX)
  const int* exfiltrating = nullptr;   // 1 where the water table stands at the surface
  // Frozen soil: liquid-water factor per cell and layer 1..3 (the
  // redistribution and layered kernels; plain Green-Ampt takes 1).
  const array2d<double>* unfrozen = nullptr;
};

enum class infiltration_status {
  ok,
  no_convergence,  // a cell's Newton iterations did not converge (its message is printed)
};

// A kernel call: how it ended, the first cell that failed, and the volume
// the fixed-level boundary cells supplied to the soil (m3).
struct infiltration_result {
  infiltration_status status = infiltration_status::ok;
  int cell = 0;
  double boundary_gain = 0.0;
};

// The terms of the infiltration's books.
inline constexpr books_map<infiltration_result, 1> infiltration_books_terms{{{
    {&infiltration_result::boundary_gain, water_flux::head_boundary_in},
}}};

// Newton iterations allowed per cell and step. Green-Ampt converges in a
// handful; a cell that has not converged by then has a parameter or a state
// that is not a number, and the run stops naming it.
inline constexpr int max_newton_iterations = 100;

// Single-layer Green-Ampt over dt seconds. The suction-deficit term of
// every cell (ga_kernel) is built once in the run, at the latest by the
// first call.
infiltration_result infil_ga_cells(const infiltration_domain& d, double dt);

// Green-Ampt with redistribution over dt seconds; step is the number of
// this call within the event, counted from 1.
infiltration_result infil_redist_flux(const infiltration_domain& d, double dt, int step);

// Layered Green-Ampt over dt seconds through the soil classes of the cells
// (soiltype, multilayer_soil_table) with the layer water contents THETA_ML.
infiltration_result infil_layered_cells(const infiltration_domain& d, double dt);

// The frozen-ground reduction of a conductivity x by the liquid-water
// factor w: a log-linear blend from 1e-6 (w = 0) to x (w = 1), never above x.
double log_weight_interp(double x, double w);

// Liquid-water factor of a soil at temperature t (K) with pore-size index b
// and suction head psi (m): 1 at 273.15 K and above, 0 at 263.15 K and
// below, the freezing-point depression curve between.
double frozen_soil_factor(double t, double b, double psi);

}  // namespace nivra
