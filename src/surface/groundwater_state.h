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

  // --- groundwater read by the outputs
  array1d<double> elevgw;            // water-table elevation per cell, m
  array2d<double> av_qriv;           // [node][link] stream-aquifer exchange summed since the last output step
  array1d<double> cum_gw_recharge;   // cumulative recharge per cell
  int num_wells = 0;
  array1d<int> well_row, well_column;
};

}  // namespace nivra
