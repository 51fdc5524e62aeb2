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

  // Groundwater options and maps of the project.
  int water_table_given = 0;
  int gw_simulation = 0;
  int gw_assign_theta = 0;
  int gw_lsor_dir = 0;
  double aquifer_delta_z = 0.0;  // m; below 0 when not given
  double gw_unif_porosity = 0.0;
  int gw_unif_porosity_given = 0, gw_porosity_map_given = 0;
  double gw_unif_hycond = 0.0;
  int gw_unif_hycond_given = 0, gw_hycond_map_given = 0;
  double gw_timestep = 0.0;      // s
  double gw_lsor_con = 0.0;
  double single_unsat_sat = 0.0;
  double gw_leakage_rate = 0.0;  // cm/h
  int gw_boundfile_given = 0, gw_well_level_given = 0, gw_fluxboundtable_given = 0;
  int use_wells = 0;
  // Sacramento and conceptual models, each with its topographic-index switch.
  int sacramento_given = 0, topo_index = 0, sac_topo_index = 0;
  int conceptual_gw_given = 0, topo_index_cgs = 0, cgs_topo_index = 0;
};

}  // namespace nivra
