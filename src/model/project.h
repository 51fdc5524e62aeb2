// The project sub-records filled from the project file's cards
// (project_options, run_control, rain_event), the file-name buffers copied
// from them, and the run's identity (project file, quiet and optimiser
// switches).
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

// Width of the project's file-name fields (2,055 characters and the end).
inline constexpr std::size_t project_name_width = 2056;
using file_name_text = fixed_text<project_name_width>;

struct project_options {
  // --- cards read by the output writers (names as in the card table; to be
  // merged with the generated card fields)
  file_name_text depth, discharge, dis_rain, inf_depth, rate_of_infil, surf_moist;
  file_name_text gw_recharge_cum, gw_recharge_inc, gw_output;
  file_name_text max_sed_flux, net_sed_volume, vol_sed_susp, ov_con_map, flood_grid;
  file_name_text snow_swe_file, snow_temp;
  file_name_text total_ov_n, total_ov_p, total_chan_n, total_chan_kn, total_chan_p;
  int snow_swe_file_given = 0, snow_temp_given = 0;
  int total_ov_n_given = 0, total_ov_p_given = 0;
  int total_chan_n_given = 0, total_chan_kn_given = 0, total_chan_p_given = 0;
};

struct run_control {
  // --- cards read by the output writers (to be merged with the generated
  // card fields)
  double timestep = 0.0;  // TIMESTEP, s
};

struct rain_event {
};

struct project_state {
  nivra::project_options project_options;
  nivra::run_control run_control;
  nivra::rain_event rain_event;
};

}  // namespace nivra
