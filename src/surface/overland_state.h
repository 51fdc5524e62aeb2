// Part of the run's model_state: Overland flow: depths, discharges, roughness, retention, routing scheme switches and the per-run state of the routing kernels.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct overland_state {
  // Routing scheme and the values the kernels are handed.
  int overtype = 2;           // 1 explicit, 2 ADE, 3 ADE-PC
  int ade_sweep = 1;          // alternates between 1 and 2 every ADE step
  double snow_darcy = -1.0;   // given to the ADE and snow kernels

  // Surface-parameter switches (set from the project by the run parameters).
  int roughness_given = 0;    // roughness map card, or the ROUGHNESS mapping table
  int snow_roughness_given = 0;
  int snow_darcy_given = 0;
  int ovr_flow_block = 0;

  // Overland state and surface parameters per cell, made by the map phase.
  array1d<double> ov_depth;           // m
  array1d<double> ov_depth_old;       // m, previous step
  array1d<double> ov_q_x;             // discharge through the east face, m3/s
  array1d<double> ov_q_y;             // discharge through the south face, m3/s
  array1d<double> ov_vol_x;           // m3 through the east face over an ADE step
  array1d<double> ov_vol_y;           // m3 through the south face over an ADE step
  array1d<double> retent_dep;         // retention depth, m
  array1d<double> dist_rough;         // Manning n
  array1d<double> roughness_exp;      // roughness exponent
  array1d<double> dist_rough_copy;    // Manning n kept for snow roughness
  array2d<double> ovr_flow_block_frac;  // [cell][1..4] blocked side fractions (5 columns made)
  array1d<double> ov_blocked_frac;    // blocked fraction of the cell
  double snow_manning_n = 0.0;        // SNOW_ROUGHNESS value
  int ov_water_at_start = 0;          // the run starts with water on the grid

  // Input maps and hotstart files.
  guarded_file roughness_file;
  guarded_file reten_depth_file;
  guarded_file read_ov_hotstart_file;
  guarded_file write_ov_hotstart_file;
};

}  // namespace nivra
