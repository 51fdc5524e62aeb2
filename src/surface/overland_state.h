// Part of the run's model_state: Overland flow: depths, discharges, roughness, retention, routing scheme switches and the per-run state of the routing kernels.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/project.h"

namespace nivra {

struct overland_state {
  // Overland water and boundary volumes read by the run and event
  // summaries (m3), and the overland hotstart files.
  array1d<double> ov_depth;          // per cell, m
  double init_ov_volume = 0.0;       // water on the grid at the start of the run
  double init_vol_overland = 0.0;    // water on the grid at the start of the event
  double vol_surface_final = 0.0;    // water left on the grid
  double vol_point_src = 0.0;        // overland point sources, run
  double event_vol_point_src = 0.0;  // overland point sources, event
  int ov_boundary = 0;
  int xy_ov_boundary = 0;
  double head_bound_loss_vol = 0.0, head_bound_gain_vol = 0.0;
  double slope_bound_loss_vol = 0.0;
  double dis_bound_gain_vol = 0.0, dis_bound_loss_vol = 0.0, dis_bound_unmet_vol = 0.0;
  double bound_gain_total = 0.0, bound_loss_total = 0.0;
  double event_head_bound_in = 0.0, event_head_bound_out = 0.0;
  double event_slope_bound_out = 0.0;
  double event_dis_bound_in = 0.0, event_dis_bound_out = 0.0, event_dis_bound_unmet = 0.0;
  int write_ov_hotstart_given = 0;
  file_name_text write_ov_hotstart;
  guarded_file write_ov_hotstart_file;
  guarded_file read_ov_hotstart_file;
  int roughness_given = 0, manning_n_given = 0;
  int retention_given = 0, reten_depth_given = 0;
};

}  // namespace nivra
