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

  // Roughness, retention, boundaries and hotstarts chosen by the project.
  double manning_n = 0.0;
  int manning_n_given = 0, roughness_given = 0;
  int ovr_flow_block = 0;
  int reten_depth_given = 0;
  double retention = 0.0;
  int retention_given = 0;
  int initial_depth_given = 0;
  int snow_darcy_given = 0;
  double snow_reynolds = 0.0;
  int snow_reynolds_given = 0;
  int overland_backwater = 0;
  int ov_boundary = 0, xy_ov_boundary = 0;
  int ov_pump_given = 0;
  double init_elev_head = 0.0;
  int init_elev_head_given = 0;
  int ov_hotstart_read_given = 0, write_ov_hotstart_given = 0;
};

}  // namespace nivra
