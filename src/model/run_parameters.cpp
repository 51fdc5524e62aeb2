// Copy of the project's settings into the run's record. Most of it is a
// plain copy of a card field into the record field of the same name; the
// rest derives the scheme flags from the enumerations of the cards, merges
// card flags with the tables the mapping-table file supplies, converts
// units and dates, and builds a few file names.
#include "model/run_parameters.h"

#include <cstdio>
#include <string>

#include "core/dates.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/replace.h"
#include "model/model_state.h"
#include "run/steps.h"

namespace nivra {

namespace {

// A file name that does not fit its field is refused rather than cut, since
// a cut name would name another file; the open that follows then fails with
// the file's role.
void join_name(file_name_text& out, std::string_view head, std::string_view tail) {
  std::string name(head);
  name += tail;
  if (out.assign(name)) return;
  std::printf("Warning: the file name %s is longer than %zu characters and was not used.\n",
              name.c_str(), out.capacity - 1);
  out.clear();
}

// File names copied whatever the schemes.
struct name_copy {
  file_name_text project_options::*from;
  file_name_text project_state::*to;
};

constexpr name_copy plain_names[] = {
    {&project_options::watershed_mask, &project_state::watershed_mask},
    {&project_options::elevation, &project_state::elevation_file_name},
    {&project_options::project_folder, &project_state::project_folder},
    {&project_options::roughness, &project_state::roughness},
    {&project_options::reten_depth, &project_state::reten_depth},
    {&project_options::initial_depth, &project_state::initial_depth},
    {&project_options::storage_capacity, &project_state::storage_capacity},
    {&project_options::interception_coeff, &project_state::interception_coeff},
    {&project_options::dike_map, &project_state::dike_map},
    {&project_options::lowspot_file, &project_state::lowspot_file},
    {&project_options::ov_pump, &project_state::ov_pump},
    {&project_options::ov_hotstart_read_file, &project_state::ov_hotstart_read_file},
    {&project_options::write_ov_hotstart, &project_state::write_ov_hotstart},
    {&project_options::chan_hotstart_write_file, &project_state::chan_hotstart_write_file},
    {&project_options::chan_hotstart_read_file, &project_state::chan_hotstart_read_file},
    {&project_options::links, &project_state::links},
    {&project_options::nodes, &project_state::nodes},
    {&project_options::channel_input, &project_state::channel_input},
    {&project_options::section_table, &project_state::section_table},
    {&project_options::materials, &project_state::materials},
    {&project_options::dis_profile, &project_state::dis_profile},
    {&project_options::wat_surf_profile, &project_state::wat_surf_profile},
    {&project_options::dis_profile_out, &project_state::dis_profile_out},
    {&project_options::wat_surf_profile_out, &project_state::wat_surf_profile_out},
    {&project_options::chan_point_input, &project_state::chan_point_input},
    {&project_options::lake_pump, &project_state::lake_pump},
    {&project_options::lake_output, &project_state::lake_output},
    {&project_options::overland_lake_map, &project_state::overland_lake_map},
    {&project_options::overland_lake_file, &project_state::overland_lake_file},
    {&project_options::albedo, &project_state::albedo},
    {&project_options::vheight, &project_state::vheight},
    {&project_options::tcoeff, &project_state::tcoeff},
    {&project_options::canopy, &project_state::canopy},
    {&project_options::wilting_point, &project_state::wilting_point},
    {&project_options::snow_swe_file, &project_state::snow_swe_file},
    {&project_options::snow_temp, &project_state::snow_temp},
    {&project_options::conductivity, &project_state::conductivity},
    {&project_options::capillary, &project_state::capillary},
    {&project_options::porosity, &project_state::porosity},
    {&project_options::moisture, &project_state::moisture},
    {&project_options::pore_index, &project_state::pore_index},
    {&project_options::residual_sat, &project_state::residual_sat},
    {&project_options::area_reduction, &project_state::area_reduction_file_name},
    {&project_options::soil_type_map, &project_state::soil_type_map},
    {&project_options::soil_layer_input_file, &project_state::soil_layer_input_file},
    {&project_options::write_sm_hotstart, &project_state::write_sm_hotstart},
    {&project_options::read_sm_hotstart, &project_state::read_sm_hotstart},
    {&project_options::aquifer_bottom, &project_state::aquifer_bottom},
    {&project_options::sacramento, &project_state::sacramento},
    {&project_options::conceptual_gw, &project_state::conceptual_gw},
    {&project_options::storm_sewer, &project_state::storm_sewer},
    {&project_options::grid_pipe, &project_state::grid_pipe},
    {&project_options::pipe_flow, &project_state::pipe_flow},
    {&project_options::pipe_head, &project_state::pipe_head},
    {&project_options::pipe_tile, &project_state::pipe_tile},
    {&project_options::contam_map, &project_state::contam_map},
    {&project_options::ov_point_source, &project_state::ov_point_source},
    {&project_options::ov_con_map, &project_state::ov_con_map},
    {&project_options::sourcefile, &project_state::sourcefile},
    {&project_options::soil_erodability, &project_state::soil_erodability},
    {&project_options::crop_management, &project_state::crop_management},
    {&project_options::conservation_practice, &project_state::conservation_practice},
    {&project_options::sand_map, &project_state::sand_map},
    {&project_options::silt_map, &project_state::silt_map},
    {&project_options::total_ov_n, &project_state::total_ov_n},
    {&project_options::total_ov_p, &project_state::total_ov_p},
    {&project_options::total_chan_n, &project_state::total_chan_n},
    {&project_options::total_chan_kn, &project_state::total_chan_kn},
    {&project_options::total_chan_p, &project_state::total_chan_p},
    {&project_options::summary, &project_state::summary},
    {&project_options::outlet_hydro, &project_state::outlet_hydro},
    {&project_options::sig_outlet_hydro, &project_state::sig_outlet_hydro},
    {&project_options::pav_hydro, &project_state::pav_hydro},
    {&project_options::cell_hydro, &project_state::cell_hydro},
    {&project_options::discharge, &project_state::discharge},
    {&project_options::depth, &project_state::depth},
    {&project_options::inf_depth, &project_state::inf_depth},
    {&project_options::surf_moist, &project_state::surf_moist},
    {&project_options::rate_of_infil, &project_state::rate_of_infil},
    {&project_options::dis_rain, &project_state::dis_rain},
    {&project_options::gw_recharge_cum, &project_state::gw_recharge_cum},
    {&project_options::gw_recharge_inc, &project_state::gw_recharge_inc},
    {&project_options::chan_depth, &project_state::chan_depth_file_name},
    {&project_options::chan_sed_flux, &project_state::chan_sed_flux},
    {&project_options::chan_discharge, &project_state::chan_discharge},
    {&project_options::chan_stage, &project_state::chan_stage},
    {&project_options::chan_velocity, &project_state::chan_velocity},
    {&project_options::in_hyd_location, &project_state::in_hyd_location},
    {&project_options::out_hyd_location, &project_state::out_hyd_location},
    {&project_options::in_gwflux_location, &project_state::in_gwflux_location},
    {&project_options::out_gwflux_location, &project_state::out_gwflux_location},
    {&project_options::in_celldepdis_location, &project_state::in_celldepdis_location},
    {&project_options::out_celldepdis_location, &project_state::out_celldepdis_location},
    {&project_options::in_theta_location, &project_state::in_theta_location},
    {&project_options::out_theta_location, &project_state::out_theta_location},
    {&project_options::superlink_junc_location, &project_state::superlink_junc_location},
    {&project_options::superlink_node_location, &project_state::superlink_node_location},
    {&project_options::superlink_junc_flow, &project_state::superlink_junc_flow},
    {&project_options::superlink_node_flow, &project_state::superlink_node_flow},
    {&project_options::out_dep_location, &project_state::out_dep_location},
    {&project_options::out_con_location, &project_state::out_con_location},
    {&project_options::out_mass_location, &project_state::out_mass_location},
    {&project_options::overland_depths, &project_state::overland_depths},
    {&project_options::overland_depth_location, &project_state::overland_depth_location},
    {&project_options::overland_wse, &project_state::overland_wse},
    {&project_options::overland_wse_location, &project_state::overland_wse_location},
    {&project_options::daily_output, &project_state::daily_output},
    {&project_options::fyssi, &project_state::fyssi},
    {&project_options::analyzers, &project_state::analyzers},
    {&project_options::quib_base_grid, &project_state::quib_base_grid},
    {&project_options::quib_base_stream, &project_state::quib_base_stream},
    {&project_options::quib_file, &project_state::quib_file},
    {&project_options::quib_datasetgroup, &project_state::quib_datasetgroup},
    {&project_options::optimize, &project_state::optimize},
    {&project_options::calib_obs_data, &project_state::calib_obs_data},
};

// The exchange files with the coupled model live in the folder "exchange"
// below the working folder.
constexpr name_copy mola_names[] = {
    {&project_options::mola, &project_state::mola},
    {&project_options::moist_to_mola, &project_state::moist_to_mola},
    {&project_options::ksat_to_mola, &project_state::ksat_to_mola},
    {&project_options::rough_to_mola, &project_state::rough_to_mola},
    {&project_options::poros_to_mola, &project_state::poros_to_mola},
    {&project_options::erosivity_to_mola, &project_state::erosivity_to_mola},
    {&project_options::crop_fact_to_mola, &project_state::crop_fact_to_mola},
    {&project_options::net_erosion_to_mola, &project_state::net_erosion_to_mola},
    {&project_options::moist_from_mola, &project_state::moist_from_mola},
    {&project_options::ksat_from_mola, &project_state::ksat_from_mola},
    {&project_options::rough_from_mola, &project_state::rough_from_mola},
    {&project_options::erosivity_from_mola, &project_state::erosivity_from_mola},
    {&project_options::crop_fact_from_mola, &project_state::crop_fact_from_mola},
    {&project_options::et_demand_from_mola, &project_state::et_demand_from_mola},
};

// The ZV settings, and the header of the outlet discharge file handed to ZV.
void copy_zv_settings(model_state& ms) {
  const project_options& po = ms.project_options;
  if (!po.zv_input_given && !po.zv_fluxes) return;
  ms.zv_input_given = po.zv_input_given;
  ms.zv_fluxes = po.zv_fluxes;
  ms.zv_input = po.zv_input;
  ms.zv_nodes_to_segs = po.zv_nodes_to_segs;
  ms.zv_segment_map = po.zv_segment_map;
  ms.zv_segment_fluxes = po.zv_segment_fluxes;
  if (!po.zv_input_given || ms.run_control.map_type == 4) return;
  if (!open_guarded_file(ms.qin_output_file, po.zv_input.view(), "w")) {
    // A requested output that cannot be written stops the run like any other.
    set_error(59, "", po.zv_input.view());
    process.error_block.stop = 1;
    return;
  }
  std::fprintf(ms.qin_output_file.fp, "  output from %s\n", "NIVRA");
  std::fprintf(ms.qin_output_file.fp, "\n");
  std::fprintf(ms.qin_output_file.fp, "    JDAY     QIN\n");
}

void copy_mapping_tables(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.mapping_table_given = po.mapping_table_given;
  if (ms.mapping_table_given) {
    ms.mapping_table = po.mapping_table;
    check_cmt_tables(ms.mapping_table.view(), ms.cmt_table_present, ms.skip_index_maps,
                     ms.optimizer_mode);
  }
  ms.st_mapping_table_given = po.st_mapping_table_given;
  if (ms.st_mapping_table_given) {
    ms.st_mapping_table = po.st_mapping_table;
    check_stream_mapping_table(ms.st_mapping_table.view(), ms.st_table_present,
                               ms.optimizer_mode);
  }
}

void set_schemes(model_state& ms) {
  const run_control& rc = ms.run_control;
  ms.chan_mesh = 0;
  switch (rc.chan_routing) {
    case 3: ms.chan_explic = 1; break;
    case 2: ms.chan_drain_routing = 1; ms.chan_drain = 1; break;
    case 5: ms.chan_drain_routing = 1; break;
    case 4: ms.chan_mesh = 1; break;
    default: break;  // 1 (Preissmann) and 0 select no scheme here
  }
  ms.green_ampt = ms.inf_redist = ms.inf_layered_soil = ms.inf_richards = 0;
  switch (rc.infil_model) {
    case 1: ms.green_ampt = 1; break;
    case 2:
      ms.inf_redist = 1;
      ms.sm_accounting = 1;
      ms.cont_inf_redist = ms.project_options.no_cont_inf_redist ? 0 : 1;
      break;
    case 3: ms.inf_layered_soil = 1; ms.sm_accounting = 1; break;
    case 4: ms.inf_richards = 1; break;
    default: break;
  }
}

void copy_overland(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.overtype = po.overtype;
  ms.manning_n = po.manning_n;
  ms.manning_n_given = po.manning_n_given;
  ms.ovr_flow_block = po.ovr_flow_block;
  ms.reten_depth_given = po.reten_depth_given;
  ms.retention_given = po.retention_given;
  ms.retention = po.retention_given ? po.retention : 0.0;
  ms.initial_depth_given = po.initial_depth_given;
  if (po.snow_darcy_given) {
    ms.snow_darcy_given = 1;
    ms.snow_darcy = po.snow_darcy;
  }
  if (po.snow_reynolds_given) {
    ms.snow_reynolds_given = 1;
    ms.snow_reynolds = po.snow_reynolds;
  }
  ms.dike_map_given = po.dike_map_given;
  ms.lowspot_file_given = po.lowspot_file_given;
  ms.ov_pump_given = po.ov_pump_given;
  ms.init_elev_head = po.init_elev_head;
  ms.init_elev_head_given = po.init_elev_head_given;
  ms.ov_hotstart_read_given = po.ov_hotstart_read_given;
  ms.write_ov_hotstart_given = po.write_ov_hotstart_given;
  ms.interception_coeff_given = po.interception_coeff_given;
}

// Values of the explicit channel scheme only.
void copy_channel(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.k_river = po.k_river;
  ms.m_river = po.m_river;
  ms.max_courant_number = po.max_courant_number;
  ms.diffusive_chan = po.diffusive_chan;
  ms.stream_info = po.stream_info;
  ms.grid_stream_given = ms.chan_explic;
  if (!ms.chan_explic) return;
  ms.overbank_flow = po.overbank_flow;
  if (po.overbank_max_dv_given) ms.overbank_max_dv = po.overbank_max_dv;
  ms.overland_backwater = po.overland_backwater;
  ms.head_bound = po.head_bound;
  ms.bound_depth = po.bound_depth;
  ms.bound_ts_given = po.bound_ts_given;
  ms.bound_ts = po.bound_ts;
  ms.m_lake_given = po.m_lake_given;
  ms.m_lake = po.m_lake;
  ms.hotstart_is_depth = po.hotstart_is_depth;
  ms.stream_loss = po.stream_loss;
  ms.stream_cell = po.stream_cell;
  ms.first_order_chan_q = po.first_order_chan_q;
  ms.chan_decay_coef_card = po.chan_decay_coef;
  ms.chan_disp_coef = po.chan_disp_coef;
  ms.init_chan_conc = po.init_chan_conc;
  ms.chan_con_trans = po.chan_con_trans;
}

// Weather, evapotranspiration, frozen ground and snow: long-term runs only.
void copy_long_term(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.long_term = po.long_term;
  ms.strict_julian_date = po.strict_julian_date;
  ms.hmet_surfaways_given = po.hmet_surfaways_given;
  ms.hmet_samson_given = po.hmet_samson_given;
  ms.hmet_guv_given = po.hmet_guv_given;
  ms.hmet_ascii_given = po.hmet_ascii_given;
  ms.hmet_ascii_pet_given = po.hmet_ascii_pet_given;
  if (!ms.long_term) return;
  if (po.hmet_surfaways_given || po.hmet_samson_given || po.hmet_guv_given ||
      po.hmet_ascii_given || po.hmet_ascii_pet_given)
    ms.hmet_file = po.hmet_file;
  ms.et_calc_penman = po.et_calc_penman;
  ms.et_calc_deardorff = po.et_calc_deardorff;
  ms.event_min_q = po.event_min_q;
  if (po.seasonal_rs == 1 && po.seasonal_rs_spring > 0) {
    ms.seasonal_rs = po.seasonal_rs;
    ms.seasonal_rs_spring = po.seasonal_rs_spring;
    ms.seasonal_rs_fall = po.seasonal_rs_fall;
    ms.seasonal_rs_summer_start = po.seasonal_rs_summer_start;
    ms.seasonal_rs_summer_end = po.seasonal_rs_summer_end;
  }
  ms.cfgi = po.cfgi;
  ms.gtfsm = po.gtfsm;
  ms.cfgi_index = po.cfgi_index;
  ms.cfgi_k = po.cfgi_k;

  ms.hmet_orog_gages_given = po.hmet_orog_gages_given;
  ms.hmet_orog_gages = po.hmet_orog_gages;
  ms.orogvar_hmet = po.orogvar_hmet;
  ms.snow_no_infiltrate = po.snow_no_infiltrate;
  ms.nwsrfs_snow = po.nwsrfs_snow;
  ms.eb_snow = po.eb_snow;
  ms.nwsrfs_retention = po.nwsrfs_retention;
  ms.snap_retention = po.snap_retention;
  ms.route_lat_snow = po.route_lat_snow;
  ms.nwsrfs_elev_snow_given = po.nwsrfs_elev_snow_given;
  ms.nwsrfs_elev_snow = po.nwsrfs_elev_snow;
  ms.nwsrfs_mf_max = po.nwsrfs_mf_max;
  ms.nwsrfs_mf_max_given = po.nwsrfs_mf_max_given;
  ms.nwsrfs_mf_min = po.nwsrfs_mf_min;
  ms.nwsrfs_mf_min_given = po.nwsrfs_mf_min_given;
  ms.nwsrfs_fr_use = po.nwsrfs_fr_use;
  ms.nwsrfs_fr_use_given = po.nwsrfs_fr_use_given;
  ms.nwsrfs_scf = po.nwsrfs_scf;
  ms.nwsrfs_scf_given = po.nwsrfs_scf_given;
  ms.nwsrfs_tipm = po.nwsrfs_tipm;
  ms.nwsrfs_tipm_given = po.nwsrfs_tipm_given;
  ms.nwsrfs_nmf = po.nwsrfs_nmf;
  ms.nwsrfs_nmf_given = po.nwsrfs_nmf_given;
  ms.nwsrfs_fua = po.nwsrfs_fua;
  ms.nwsrfs_fua_given = po.nwsrfs_fua_given;
  ms.nwsrfs_plwhc = po.nwsrfs_plwhc;
  ms.nwsrfs_plwhc_given = po.nwsrfs_plwhc_given;
  ms.snow_temp_base = po.snow_temp_base;
  ms.snow_temp_base_given = po.snow_temp_base_given;
  ms.met_gage_elev = po.hmet_elev_gage_given ? po.hmet_elev_gage : 0.0;
  ms.temp_lapse_rate = po.hmet_lapse_rate_given ? po.hmet_lapse_rate : -5.0;
  ms.hmet_xcoord_gage = po.hmet_xcoord_gage;
  ms.hmet_ycoord_gage = po.hmet_ycoord_gage;
  ms.yes_dalr_flag = po.yes_dalr_flag_given;
  ms.yes_dalr_rate = po.yes_dalr_flag;
  ms.init_swe_mode = po.init_swe_mode;
  ms.init_swe_depth = po.init_swe_depth;
  ms.init_swe_file = po.init_swe_file;
}

void copy_soil(model_state& ms) {
  const project_options& po = ms.project_options;
  // Depths are metres in the project file, centimetres in the model.
  ms.soil_moist_depth = po.soil_moist_depth * 100.0;
  ms.top_layer_depth = po.top_layer_depth * 100.0;
  ms.mixing_layer_depth = po.mixing_layer_depth * 100.0;
  ms.area_reduction_given = po.area_reduction_given;
  ms.unif_area_reduction = po.unif_area_reduction;
  ms.unif_area_reduction_given = po.unif_area_reduction_given;
  ms.richards_weight = po.richards_weight;
  ms.richards_k_option = po.richards_k_option;
  ms.richards_c_option = po.richards_c_option;
  ms.richards_upper_option = po.richards_upper_option;
  ms.richards_iter_max = po.richards_iter_max;
  ms.richards_dtheta_max = po.richards_dtheta_max;
  ms.read_sm_hotstart_given = po.read_sm_hotstart_given;
  ms.write_sm_hotstart_given = po.write_sm_hotstart_given;
  ms.in_theta_location_given = po.in_theta_location_given;
}

// Groundwater values only with a water table; beyond the theta assignment
// only with groundwater simulated.
void copy_groundwater(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.aquifer_delta_z = po.aquifer_delta_z;
  ms.sacramento_given = po.sacramento_given;
  ms.topo_index = po.topo_index;
  ms.conceptual_gw_given = po.conceptual_gw_given;
  ms.topo_index_cgs = po.topo_index_cgs;
  if (!po.water_table_given) return;
  ms.water_table_given = 1;
  ms.water_table = po.water_table;
  ms.gw_assign_theta = po.gw_assign_theta;
  ms.gw_simulation = po.gw_simulation;
  if (!ms.gw_simulation) return;
  ms.gw_lsor_dir = po.gw_lsor_dir;
  ms.gw_unif_porosity = po.gw_unif_porosity;
  ms.gw_unif_porosity_given = po.gw_unif_porosity_given;
  ms.gw_porosity_map_given = po.gw_porosity_map_given;
  ms.gw_porosity_map = po.gw_porosity_map;
  ms.gw_unif_hycond = po.gw_unif_hycond;
  ms.gw_unif_hycond_given = po.gw_unif_hycond_given;
  ms.gw_hycond_map_given = po.gw_hycond_map_given;
  ms.gw_hycond_map = po.gw_hycond_map;
  ms.gw_timestep = po.gw_timestep;
  ms.gw_lsor_con = po.gw_lsor_con;
  ms.single_unsat_sat = po.single_unsat_sat;
  ms.gw_leakage_rate = po.gw_leakage_rate;
  ms.gw_relax_coeff = po.gw_relax_coeff;
  ms.gw_boundfile_given = po.gw_boundfile_given;
  ms.gw_boundfile = po.gw_boundfile;
  ms.gw_fluxboundtable_given = ms.run_control.gw_fluxboundtable_given;
  ms.gw_fluxboundtable = po.gw_fluxboundtable;
  ms.gw_well_level_given = po.gw_well_level_given;
  ms.gw_well_level = po.gw_well_level;
  ms.out_well_location = po.out_well_location;
  ms.use_wells = po.use_wells;
  ms.gw_output_given = po.gw_output_given;
  ms.gw_output = po.gw_output;
}

void copy_pipes_and_lakes(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.storm_sewer_given = po.storm_sewer_given;
  ms.superlink_c_opt = po.superlink_c_opt;
  ms.high_head_release = po.high_head_release;
  ms.superlink_drainmod = po.superlink_drainmod;
  ms.pipe_flow_given = po.pipe_flow_given;
  ms.pipe_head_given = po.pipe_head_given;
  ms.pipe_tile_given = po.pipe_tile_given;
  ms.superlink_junc_location_given = po.superlink_junc_location_given;
  ms.superlink_node_location_given = po.superlink_node_location_given;
  ms.superlink_junc_flow_given = po.superlink_junc_flow_given;
  ms.superlink_node_flow_given = po.superlink_node_flow_given;
  ms.lake_output_given = po.lake_output_given;
  ms.overland_lake_map_given = po.overland_lake_map_given;
  ms.lake_pump_given = po.lake_pump_given;
}

void copy_constituents(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.contam_map_given = po.contam_map_given;
  ms.ov_con_trans = po.ov_con_trans;
  ms.soil_con_trans = po.soil_con_trans;
  ms.all_contam_output = po.all_contam_output;
  ms.soil_static_conc = po.soil_static_conc;
  ms.sediment_contam = po.sediment_contam;
  ms.ov_point_source_given = po.ov_point_source_given;
  ms.sourcefile_given = po.sourcefile_given;
  ms.ov_disp_coef = po.ov_disp_coef;
  ms.ov_decay_coef = po.ov_decay_coef;
  ms.ov_mass_load = po.ov_mass_load;
  ms.ov_uptake_rate = po.ov_uptake_rate;
  ms.kinetics_timestep_factor = po.kinetics_timestep_factor;
  ms.soil_kinetics_timestep_factor = po.soil_kinetics_timestep_factor;

  ms.soil_erosion_on = po.soil_erosion_on;
  ms.soil_erosion = po.soil_erosion;
  ms.soil_erosion_option = po.soil_erosion >= 10 ? po.soil_erosion - 10 : po.soil_erosion;
  ms.adjust_channel_bed = po.adjust_channel_bed;
  ms.water_temp = po.water_temp;
  ms.sand_size = po.sand_size;
  ms.silt_size = po.silt_size;
  ms.clay_size = po.clay_size;
  ms.sed_porosity = po.sed_porosity;
  ms.in_sed_loc = po.in_sed_loc_given;
  ms.vol_sed_susp = po.vol_sed_susp_given;
  ms.max_sed_flux = po.max_sed_flux_given;
  ms.net_sed_volume = po.net_sed_volume_given;
  ms.adjust_elev_given = po.adjust_elev_given;
  ms.outlet_sed_tss = po.outlet_sed_tss_given;
  ms.out_tss_loc = po.out_tss_loc_given;
  ms.in_sed_loc_file_name = po.in_sed_loc;
  ms.out_sed_loc_file_name = po.out_sed_loc;
  ms.adjust_elev_file_name = po.adjust_elev;
  ms.vol_sed_susp_file_name = po.vol_sed_susp;
  ms.max_sed_flux_file_name = po.max_sed_flux;
  ms.net_sed_volume_file_name = po.net_sed_volume;
  ms.outlet_sed_flux_file_name = po.outlet_sed_flux;
  ms.outlet_sed_tss_file_name = po.outlet_sed_tss;
  ms.out_tss_loc_file_name = po.out_tss_loc;

  ms.chan_ph = po.chan_ph;
  ms.soils_nsm_p = po.soils_nsm_p;
  ms.soils_nsm_n = po.soils_nsm_n;
  ms.soils_nsm_c = po.soils_nsm_c;
  ms.total_ov_n_given = po.total_ov_n_given;
  ms.total_ov_p_given = po.total_ov_p_given;
  ms.total_chan_n_given = po.total_chan_n_given;
  ms.total_chan_kn_given = po.total_chan_kn_given;
  ms.total_chan_p_given = po.total_chan_p_given;
}

// Flags that merge a card with the table the mapping-table file supplies,
// unit conversions, and flags that follow from others.
void derive_flags(model_state& ms) {
  const project_options& po = ms.project_options;
  const int* table = ms.cmt_table_present;
  ms.roughness_given = po.manning_n_given
                           ? po.roughness_given
                           : (po.roughness_given || table[cmt_roughness]);
  const int et_table = table[cmt_evapotranspiration];
  ms.albedo_given = po.albedo_given || et_table;
  ms.vheight_given = po.vheight_given || et_table;
  ms.tcoeff_given = po.tcoeff_given || et_table;
  ms.canopy_given = po.canopy_given || et_table;
  ms.wilting_point_given = po.wilting_point_given || et_table;
  const int ga_table =
      (ms.green_ampt || ms.inf_redist || ms.long_term) ? table[cmt_ga_infiltration] : 0;
  ms.conductivity_given = po.conductivity_given || ga_table;
  ms.capillary_given = po.capillary_given || ga_table;
  ms.porosity_given = po.porosity_given || ga_table;
  ms.pore_index_given = po.pore_index_given || ga_table;
  ms.residual_sat_given = po.residual_sat_given || ga_table;
  ms.moisture_given = ms.mapping_table_given ? 1 : po.moisture_given;
  ms.wetlands_on = table[cmt_wetlands];
  if (ms.event_min_q < 0.00001) ms.event_min_q = 0.05;
  if (ms.gw_simulation) ms.stream_loss = 1;
  if (ms.ov_con_trans == 1) {
    ms.ov_con_table = 1;
    ms.constituents_on = 1;
  }
  if (ms.chan_explic && ms.chan_con_trans == 1) ms.constituents_on = 1;
  ms.chan_lakes = 0;  // the channel input reader sets it when it meets a lake link
  if (ms.sacramento_given) ms.sac_topo_index = po.topo_index ? 0 : 1;
  if (ms.conceptual_gw_given) ms.cgs_topo_index = po.topo_index_cgs ? 0 : 1;
  if (ms.run_control.infil_model != 0) ms.rate_of_infil_given = po.rate_of_infil_given;
}

void set_precipitation(model_state& ms) {
  const rain_event& re = ms.rain_event;
  ms.precip_unif = ms.rain_thiessen = ms.rain_inv_distance = ms.precip_file_given = 0;
  ms.precip_file = re.precip_file;
  ms.radar_mm = ms.project_options.radar_mm;
  switch (re.precip_source) {
    case 0:
      // A uniform storm starts at the start date and time of the cards.
      ms.precip_unif = 1;
      ms.rain_intensity = re.rain_intensity;
      ms.rain_duration = static_cast<double>(re.rain_duration);
      set_clock_to_start_date(ms);
      ms.hmet_start_time = ms.model_time;
      break;
    case 1:
      // The precipitation reader sets the clock from the gage file.
      ms.precip_file_given = 1;
      if (re.rain_interp == 0) ms.rain_inv_distance = 1;
      if (re.rain_interp == 1) ms.rain_thiessen = 1;
      break;
    case 2: ms.radar_rain = 1; break;
    default: break;
  }
}

void copy_coupling(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.zem = po.zem;
  ms.mola_given = po.mola_given;
  ms.zem_event_num = po.zem_event_num;
  ms.zem_event_num_given = po.zem_event_num_given;
  ms.mola_first = po.mola_first;
  ms.moist_to_mola_given = po.moist_to_mola_given;
  ms.ksat_to_mola_given = po.ksat_to_mola_given;
  ms.rough_to_mola_given = po.rough_to_mola_given;
  ms.poros_to_mola_given = po.poros_to_mola_given;
  ms.erosivity_to_mola_given = po.erosivity_to_mola_given;
  ms.crop_fact_to_mola_given = po.crop_fact_to_mola_given;
  ms.net_erosion_to_mola_given = po.net_erosion_to_mola_given;
  ms.moist_from_mola_given = po.moist_from_mola_given;
  ms.ksat_from_mola_given = po.ksat_from_mola_given;
  ms.rough_from_mola_given = po.rough_from_mola_given;
  ms.erosivity_from_mola_given = po.erosivity_from_mola_given;
  ms.crop_fact_from_mola_given = po.crop_fact_from_mola_given;
  ms.et_demand_from_mola_given = po.et_demand_from_mola_given;
  for (const name_copy& c : mola_names) join_name(ms.*c.to, "exchange/", (po.*c.from).view());
}

void copy_outputs(model_state& ms) {
  const project_options& po = ms.project_options;
  switch (ms.run_control.map_type) {
    case 0: ms.no_map_output = 1; break;
    case 1: ms.dataset_output = 1; break;
    case 2: ms.dataset_output = 1; ms.binary_dataset = 1; break;
    default: break;
  }
  for (const name_copy& c : plain_names) ms.*c.to = po.*c.from;

  ms.depth_given = po.depth_given;
  ms.discharge_given = po.discharge_given;
  ms.inf_depth_given = po.inf_depth_given;
  ms.surf_moist_given = po.surf_moist_given;
  ms.dis_rain_given = po.dis_rain_given;
  ms.gw_recharge_cum_given = po.gw_recharge_cum_given;
  ms.gw_recharge_inc_given = po.gw_recharge_inc_given;
  ms.ov_con_map_given = po.ov_con_map_given;
  ms.chan_depth_given = ms.chan_depth_given_2 = po.chan_depth_given;
  ms.chan_discharge_given = ms.chan_discharge_given_2 = po.chan_discharge_given;
  ms.chan_sed_flux_given = ms.chan_sed_flux_given_2 = po.chan_sed_flux_given;
  ms.chan_stage_given = po.chan_stage_given;
  ms.chan_velocity_given = po.chan_velocity_given;
  ms.in_hyd_location_given = po.in_hyd_location_given;
  ms.in_gwflux_location_given = po.in_gwflux_location_given;
  ms.in_celldepdis_location_given = po.in_celldepdis_location_given;
  ms.out_dep_location_given = po.out_dep_location_given;
  ms.out_con_location_given = po.out_con_location_given;
  ms.out_mass_location_given = po.out_mass_location_given;
  ms.overland_depths_given = po.overland_depths_given;
  ms.overland_wse_given = po.overland_wse_given;
  ms.sig_outlet_hydro_given = po.sig_outlet_hydro_given;
  ms.pav_hydro_given = po.pav_hydro_given;
  ms.include_channel_depth = po.include_channel_depth;
  ms.fyssi_given = po.fyssi_given;
  ms.xybdyoutput_on = po.xybdyoutput_on;
  ms.suppress_printing = po.suppress_printing;
  ms.snow_swe_file_given = po.snow_swe_file_given;
  ms.snow_temp_given = po.snow_temp_given;
  ms.optimize_given = po.optimize_given;
  ms.optimize_sed = po.optimize_sed;
  ms.calib_comp_data = po.calib_comp_data;
  ms.calib_obj_func = po.calib_obj_func;

  // Channel hotstarts: a depth file and a discharge file for each card.
  ms.explic_backwater_given = po.explic_backwater_given;
  ms.write_chan_hotstart_given = po.write_chan_hotstart_given;
  ms.explic_hotstart_given = po.explic_hotstart_given;
  ms.read_chan_hotstart_given = po.read_chan_hotstart_given;
  ms.chan_hotstart_flag_in = (po.explic_hotstart_given || po.read_chan_hotstart_given) ? 1 : 0;
  join_name(ms.chan_hotstart_read_dht, po.chan_hotstart_read_file.view(), ".dht");
  join_name(ms.chan_hotstart_read_qht, po.chan_hotstart_read_file.view(), ".qht");
  join_name(ms.chan_hotstart_write_qht, po.chan_hotstart_write_file.view(), ".qht");
  join_name(ms.chan_hotstart_write_dht, po.chan_hotstart_write_file.view(), ".dht");
}

void copy_display(model_state& ms) {
  const project_options& po = ms.project_options;
  ms.xwindows = po.xwindows;
  ms.xrain = po.xrain;
  ms.xgwrecharge = po.xgwrecharge;
  ms.xdepth = po.xdepth;
  ms.xinfdep = po.xinfdep;
  ms.xsurf = po.xsurf;
  ms.xchan = po.xchan;
  ms.xbig = po.xbig;
  ms.x_freq = po.x_freq;
  ms.xwin_width = po.xwin_width;
  ms.xwin_height = po.xwin_height;
  ms.daily_output_given = po.daily_output_given;
  ms.super_quiet = po.super_quiet;
  // The console writer of every subsystem follows the run's own setting.
  process.super_quiet_on = ms.super_quiet != 0;
}

}  // namespace

void read_run_parameters(std::string_view project_file_name, model_state& ms) {
  project_options& po = ms.project_options;
  run_control& rc = ms.run_control;
  const bool first_process = process.parallel_env.proc_id == 0;

  if (!ms.optimize_given && !ms.super_quiet && !ms.optimizer_mode && first_process)
    std::printf("reading run parameters from project file: %.*s\n",
                static_cast<int>(project_file_name.size()), project_file_name.data());

  read_project_file(project_file_name, po, rc, ms.rain_event, ms.optimizer_mode);
  if (rc.project_open_failed) {
    set_error(3);
    process.error_block.stop = 1;
    return;
  }
  if (po.pause) process.pause_flag = 1;
  if (rc.end_year != 0) {
    ms.end_time_given = 1;
    ms.end_time =
        julian_date(rc.end_year, rc.end_month, rc.end_day, rc.end_hour, rc.end_minute, 0.0);
  }
  ms.nutrients = po.nutrients;
  if (ms.nutrients) ms.nsm_model = po.nsm_model.get();
  copy_zv_settings(ms);

  ms.ov_boundary = po.ov_boundary;
  ms.xy_ov_boundary = po.xy_ov_boundary;
  if (po.flood_grid_given) {
    ms.flood_grid_given = 1;
    ms.flood_grid = po.flood_grid;
  }
  if (po.flood_stream_given) {
    ms.flood_stream_given = 1;
    ms.flood_stream = po.flood_stream;
  }
  if (po.flush_buffer_on) {
    ms.flush_output = 1;
    ms.flush_buffer = po.flush_buffer;
  }
  if (rc.map_type == 4) {
    set_error(5);
    process.error_block.stop = 1;
    return;
  }
  copy_mapping_tables(ms);

  set_schemes(ms);
  copy_overland(ms);
  copy_channel(ms);
  copy_long_term(ms);
  copy_soil(ms);
  copy_groundwater(ms);
  copy_pipes_and_lakes(ms);
  copy_constituents(ms);
  derive_flags(ms);
  set_precipitation(ms);
  copy_coupling(ms);
  copy_outputs(ms);
  copy_display(ms);

  if (!ms.super_quiet && first_process && !ms.optimizer_mode)
    std::printf("\nfinished reading project file\n");
}

void print_startup_info(model_state& ms, std::string_view project_file_name) {
  std::FILE* fp = ms.summary_file.fp;
  if (!fp) return;
  std::fprintf(fp, "\n\n");
  std::fprintf(fp, "_________NIVRA start-up information________\n");
  std::fprintf(fp, "Run parameters read from PAV project file: %.*s\n",
               static_cast<int>(project_file_name.size()), project_file_name.data());
  if (process.replace_on) print_replace_values(fp, ms.optimizer_mode);
}

void set_clock_to_start_date(model_state& ms) {
  const run_control& rc = ms.run_control;
  ms.cur_year = rc.start_year;
  ms.cur_month = rc.start_month;
  ms.cur_day = rc.start_day;
  ms.cur_hour = rc.start_hour;
  ms.cur_minute = rc.start_minute;
  ms.cur_second = 0.0;
  ms.date_stamp_hhmm = rc.start_hour * 100 + rc.start_minute;
  ms.date_stamp_ymd = (rc.start_year * 100 + rc.start_month) * 100 + rc.start_day;
  ms.model_time =
      julian_date(rc.start_year, rc.start_month, rc.start_day, rc.start_hour, rc.start_minute, 0.0);
}

}  // namespace nivra
