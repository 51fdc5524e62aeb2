// Part of the run's model_state: Saturated groundwater, tiles and wells, Sacramento and conceptual groundwater models.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct groundwater_state {
  // Solver settings.
  int gw_sweep = 1;             // alternates between 1 and 2 after every solve
  double gw_relax_coeff = 1.0;  // relaxation coefficient

  // Saturated groundwater and Sacramento switches (set from the project).
  int gw_simulation = 0;
  int sacramento_topo_index = 0;       // Sacramento uses the topographic index

  // Per-cell groundwater arrays, made by the map phase.
  array1d<int> yes_exfil;              // 1 where the cell may exfiltrate
  array1d<int> gwbound;                // boundary code per cell
  array1d<double> elevgw;              // water table, m
  array1d<double> gw_flux;
  array1d<double> bottom_elev;         // aquifer bottom, m
  array1d<int> num_unsat_cells;
  array1d<double> gw_static_flux;      // m/s
  array1d<double> gw_hyd_cond;         // m/s
  array1d<double> gw_porosity;
  array1d<double> gw_hyd_cond_old;
  array1d<double> gw_porosity_old;
  array1d<double> gw_cell_dx;
  array1d<double> gw_cell_dy;
  array1d<double> A, B, C, D;          // tridiagonal system of the solver
  array1d<double> topo_dex;            // topographic index (Sacramento)

  // Input maps and tables, well and flux locations, outputs.
  guarded_file sacramento_param_file;
  guarded_file conceptual_gw_param_file;
  guarded_file water_table_file;
  guarded_file aquifer_bottom_file;
  guarded_file well_location_file;
  guarded_file gw_boundary_file;
  guarded_file gw_hycond_file;
  guarded_file gw_porosity_file;
  guarded_file well_level_file;
  guarded_file gw_flux_location_file;
  guarded_file out_gw_flux_location_file;
  guarded_file gw_hotstart_out_file;
};

}  // namespace nivra
