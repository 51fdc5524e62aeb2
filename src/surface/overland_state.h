// Part of the run's model_state: Overland flow: depths, discharges, roughness, retention, routing scheme switches and the per-run state of the routing kernels.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct overland_state {
  // --- overland flow read by the outputs
  array1d<double> ov_depth;          // m
  array1d<double> ov_qx, ov_qy;      // flow across the right and lower face, m3/s
  double qout = 0.0;                 // outlet discharge, m3/s
};

}  // namespace nivra
