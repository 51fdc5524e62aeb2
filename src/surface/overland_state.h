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

  // Input maps and hotstart files.
  guarded_file roughness_file;
  guarded_file reten_depth_file;
  guarded_file read_ov_hotstart_file;
  guarded_file write_ov_hotstart_file;

  // --- overland flow read by the outputs
  array1d<double> ov_depth;          // m
  array1d<double> ov_qx, ov_qy;      // flow across the right and lower face, m3/s
  double qout = 0.0;                 // outlet discharge, m3/s
};

}  // namespace nivra
