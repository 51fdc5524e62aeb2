// Part of the run's model_state: Sediments, contaminants and nutrients: balances, per-constituent tables, the sediment record.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/file_name_text.h"

namespace nivra {

struct nsm;

// Erosion switches, sediment output requests and the sediment output files.
struct sediment_record {
  int soil_erosion_on = 0;
  int soil_erosion_option = 0;  // the erosion card's value, less 10 when 10 or more
  int adjust_channel_bed = 0;
  double water_temp = 0.0;
  int n_sed_classes = 0;
  int net_sed_volume = 0, vol_sed_susp = 0, max_sed_flux = 0;  // output requests

  file_name_text in_sed_loc_file_name;
  file_name_text out_sed_loc_file_name;
  file_name_text adjust_elev_file_name;
  file_name_text vol_sed_susp_file_name;
  file_name_text max_sed_flux_file_name;
  file_name_text net_sed_volume_file_name;
  file_name_text outlet_sed_flux_file_name;
  file_name_text outlet_sed_tss_file_name;
  file_name_text out_tss_loc_file_name;

  // Closed in reverse order when the record goes, the last one first.
  guarded_file vol_sed_susp_file;
  guarded_file max_sed_flux_file;
  guarded_file net_sed_volume_file;
  guarded_file outlet_sed_flux_file;
  guarded_file outlet_sed_tss_file;
  guarded_file out_tss_loc_file;
};

// Per-layer soil chemistry entries; released second array first.
struct soil_chem_table_t {
  jagged_array<double> table;
  checked_array<double> first;
  checked_array<double> second;
  int marker = -1;
};

struct constituent_state : sediment_record {
  double kinetics_timestep_factor = 1.0;  // multiplies the soil and channel kinetic rates
  int ov_mass_check_sweep = 1;            // alternates between 1 and 2 at every mass check
  int uniform_num_contams = -1;           // contaminants of uniform transport; set up later
  file_name_text con_output_name{"con_output"};  // channel constituent output

  // The nutrient container of the run; owned by project_options.
  nsm* nsm_model = nullptr;

  // Mass balances, one value per constituent once the constituents are set up.
  checked_array<double> OV_MASS_INIT{"OV_MASS_INIT"};
  checked_array<double> OV_MASS_FINAL{"OV_MASS_FINAL"};
  checked_array<double> OV_MASS_OUT{"OV_MASS_OUT"};
  checked_array<double> OV_QLAT_MASS{"OV_QLAT_MASS"};
  checked_array<double> OV_MASS_DECAY{"OV_MASS_DECAY"};
  checked_array<double> OV_POINT_MASS{"OV_POINT_MASS"};
  checked_array<double> OV_EXFIL_MASS{"OV_EXFIL_MASS"};
  checked_array<double> OV_PRECIP_MASS{"OV_PRECIP_MASS"};
  checked_array<double> OV_INFIL_MASS{"OV_INFIL_MASS"};
  checked_array<double> OV_MASS_ERROR{"OV_MASS_ERROR"};
  checked_array<double> OV_LAND_MASS{"OV_LAND_MASS"};
  checked_array<double> OV_LAND_MASS_INIT{"OV_LAND_MASS_INIT"};
  checked_array<double> OV_LAND_MASS_FINAL{"OV_LAND_MASS_FINAL"};
  checked_array<double> OV_UPTAKE_MASS{"OV_UPTAKE_MASS"};

  checked_array<double> event_ov_mass_init{"event_ov_mass_init"};
  checked_array<double> event_ov_decay_mass{"event_ov_decay_mass"};
  checked_array<double> event_ov_uptake_mass{"event_ov_uptake_mass"};
  checked_array<double> event_ov_infil_mass{"event_ov_infil_mass"};
  checked_array<double> event_ov_exfil_mass{"event_ov_exfil_mass"};
  checked_array<double> event_ov_qlat_mass{"event_ov_qlat_mass"};
  checked_array<double> event_ov_mass_out{"event_ov_mass_out"};
  checked_array<double> event_ov_point_mass{"event_ov_point_mass"};
  checked_array<double> event_ov_precip_mass{"event_ov_precip_mass"};
  checked_array<double> event_ov_land_mass{"event_ov_land_mass"};
  checked_array<double> event_ov_neg_mass{"event_ov_neg_mass"};

  checked_array<double> ov_out_dmt{"ov_out_dmt"};
  checked_array<double> ov_point_dmt{"ov_point_dmt"};
  checked_array<double> ov_decay_dmt{"ov_decay_dmt"};
  checked_array<double> ov_infil_dmt{"ov_infil_dmt"};
  checked_array<double> ov_qlat_dmt{"ov_qlat_dmt"};
  checked_array<double> ov_uptake_dmt{"ov_uptake_dmt"};
  checked_array<double> ov_precip_dmt{"ov_precip_dmt"};
  checked_array<double> ov_nsm_dmt{"ov_nsm_dmt"};
  checked_array<double> ov_nsm_dmt_in{"ov_nsm_dmt_in"};
  checked_array<double> ov_nsm_dmt_out{"ov_nsm_dmt_out"};

  checked_array<double> GLOBAL_MASS_CON_ERROR{"GLOBAL_MASS_CON_ERROR"};
  checked_array<double> GLOBAL_MASS_DECAY{"GLOBAL_MASS_DECAY"};
  checked_array<double> GLOBAL_MASS_INIT{"GLOBAL_MASS_INIT"};
  checked_array<double> GLOBAL_MASS_FINAL{"GLOBAL_MASS_FINAL"};
  checked_array<double> GLOBAL_POINT_SOURCE{"GLOBAL_POINT_SOURCE"};
  checked_array<double> GLOBAL_MASS_OUT{"GLOBAL_MASS_OUT"};
  checked_array<double> GLOBAL_GW_MASS{"GLOBAL_GW_MASS"};

  checked_array<int> constituent_type{"constituent_type"};
  checked_array<double> ov_exit_mass{"ov_exit_mass"};
  checked_array<double> precip_conc{"precip_conc"};
  checked_array<double> water_soil_partition_coef{"water_soil_partition_coef"};

  // Soil constituent tables [cell][layer] per constituent, with their names.
  jagged_array3<double> soil_mass;
  fixed_text<50> soil_mass_name{"soil_mass"};
  jagged_array3<double> soil_conc;
  fixed_text<50> soil_conc_name{"soil_conc"};

  soil_chem_table_t soil_chem_table;

  // Constituent maps and output files.
  guarded_file contam_map_file;
  guarded_file adjust_elev_file;
  guarded_file chan_contam_file;
  guarded_file total_chan_p_file;
  guarded_file total_chan_kn_file;

  // Constituent switches and values of the project.
  int nutrients = 0;
  int contam_map_given = 0;
  int chan_con_trans = 0, ov_con_trans = 0, soil_con_trans = 0, all_contam_output = 0;
  int soil_static_conc = 0, sediment_contam = 0;
  int ov_con_table = 0;      // overland constituent transport
  int constituents_on = 0;   // any constituent transport
  int ov_point_source_given = 0, sourcefile_given = 0;
  double ov_disp_coef = 0.0, ov_decay_coef = 0.0, ov_mass_load = 0.0, ov_uptake_rate = 0.0;
  double soil_kinetics_timestep_factor = 0.0;
  // Sediments.
  int soil_erosion = 0;
  int chan_sed_on = 0;       // channel sediment transport follows overland erosion
  int in_sed_loc = 0, outlet_sed_tss = 0, out_tss_loc = 0, adjust_elev_given = 0;
  double sand_size = 0.0, silt_size = 0.0, clay_size = 0.0, sed_porosity = 0.0;
  // Nutrient model options and total outputs.
  double chan_ph = 0.0;
  int soils_nsm_p = 0, soils_nsm_n = 0, soils_nsm_c = 0;
  int total_ov_n_given = 0, total_ov_p_given = 0;
  int total_chan_n_given = 0, total_chan_kn_given = 0, total_chan_p_given = 0;
  guarded_file total_chan_n_file;
};

}  // namespace nivra
