// Copy of the project's settings into the run's record. Most of it is a
// plain copy of a card field into the record field of the same name; the
// rest derives the scheme flags from the enumerations of the cards, merges
// card flags with the tables the mapping-table file supplies, converts
// units and dates, and builds a few file names.
#include "model/run_parameters.h"

#include <cstdio>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/replace.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "inputs/stream_tables.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "output/xy_steps.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

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

// The grid, the outlet, the clocks, the site and the units of the run.
void copy_run_control(model_state& ms) {
  const run_control& rc = ms.project.run_control;
  ms.grid.proj_rows = rc.rows;
  ms.grid.proj_cols = rc.cols;
  ms.grid.grid_size = rc.gridsize;
  ms.grid.outrow = rc.outrow;
  ms.grid.outcol = rc.outcol;
  ms.grid.outlet_slope = rc.outslope;
  ms.clock.tot_time = rc.tot_time;
  ms.clock.ov_dt = rc.timestep;
  ms.clock.st_time_step = rc.st_time_step;
  ms.clock.hyd_freq = rc.hyd_freq;
  ms.clock.map_freq = rc.map_freq;
  ms.clock.start_year = rc.start_year;
  ms.clock.start_month = rc.start_month;
  ms.clock.start_day = rc.start_day;
  ms.clock.start_hour = rc.start_hour;
  ms.clock.start_minute = rc.start_minute;
  ms.clock.gmt = rc.gmt;
  ms.clock.gmt_given = rc.gmt_given;
  ms.hydromet.latitude = rc.latitude;
  ms.hydromet.longitude = rc.longitude;
  ms.hydromet.site_given = rc.latitude_given && rc.longitude_given;
  ms.output.qout_cfs = rc.qout_cfs;
  ms.project.quiet = rc.quiet;
}

// The ZV settings, and the header of the outlet discharge file handed to ZV.
void copy_zv_settings(model_state& ms) {
  const project_options& po = ms.project.project_options;
  if (!po.zv_input_given && !po.zv_fluxes) return;
  ms.output.zv_input_given = po.zv_input_given;
  ms.output.zv_discharge_out = po.zv_input_given;
  ms.output.zv_fluxes = po.zv_fluxes;
  ms.project.zv_input = po.zv_input;
  ms.project.zv_nodes_to_segs = po.zv_nodes_to_segs;
  ms.project.zv_segment_map = po.zv_segment_map;
  ms.project.zv_segment_fluxes = po.zv_segment_fluxes;
  if (!po.zv_input_given || ms.project.run_control.map_type == map_format::quib) return;
  if (!open_guarded_file(ms.output.qin_output_file, po.zv_input.view(), "w")) {
    // A requested output that cannot be written stops the run like any other.
    set_error(59, "", po.zv_input.view());
    process.error_block.stop = 1;
    return;
  }
  std::fprintf(ms.output.qin_output_file.fp, "  output from %s\n", "NIVRA");
  std::fprintf(ms.output.qin_output_file.fp, "\n");
  std::fprintf(ms.output.qin_output_file.fp, "    JDAY     QIN\n");
}

void copy_mapping_tables(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.grid.mapping_table_given = po.mapping_table_given;
  if (ms.grid.mapping_table_given) {
    ms.project.mapping_table = po.mapping_table;
    check_cmt_tables(ms.project.mapping_table.view(), ms.grid.cmt_table_present, ms.output.skip_index_maps,
                     ms.project.optimizer_mode);
  }
  ms.grid.st_mapping_table_given = po.st_mapping_table_given;
  if (ms.grid.st_mapping_table_given) {
    ms.project.st_mapping_table = po.st_mapping_table;
    check_stream_mapping_table(ms.project.st_mapping_table.view(), ms.channel.st_table_present,
                               ms.project.optimizer_mode);
  }
}

void set_schemes(model_state& ms) {
  const run_control& rc = ms.project.run_control;
  ms.channel.chan_mesh = 0;
  switch (rc.chan_routing) {
    case chan_scheme::explicit_wave: ms.channel.chan_explic = 1; break;
    case chan_scheme::drain: ms.channel.chan_drain_routing = 1; ms.channel.chan_drain = 1; break;
    case chan_scheme::backwater: ms.channel.chan_drain_routing = 1; break;
    case chan_scheme::mesh: ms.channel.chan_mesh = 1; break;
    default: break;  // Preissmann and none select no scheme here
  }
  ms.soil.green_ampt = ms.soil.inf_redist = ms.soil.inf_layered_soil = ms.soil.inf_richards = 0;
  switch (rc.infil_model) {
    case infil_scheme::green_ampt: ms.soil.green_ampt = 1; break;
    case infil_scheme::redistribution:
      ms.soil.inf_redist = 1;
      ms.soil.sm_accounting = 1;
      break;
    case infil_scheme::layered_soil: ms.soil.inf_layered_soil = 1; ms.soil.sm_accounting = 1; break;
    case infil_scheme::richards: ms.soil.inf_richards = 1; break;
    default: break;
  }
}

void copy_overland(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.overland.overtype = po.overtype;
  ms.overland.num_threads = po.num_threads;
  ms.overland.manning_n = po.manning_n;
  ms.overland.manning_n_given = po.manning_n_given;
  ms.overland.ovr_flow_block = po.ovr_flow_block;
  ms.overland.reten_depth_given = po.reten_depth_given;
  ms.overland.retention_given = po.retention_given;
  ms.overland.retention = po.retention_given ? po.retention : 0.0;
  ms.overland.initial_depth_given = po.initial_depth_given;
  if (po.snow_darcy_given) {
    ms.overland.snow_darcy_given = 1;
    ms.overland.snow_darcy = po.snow_darcy;
  }
  ms.overland.snow_roughness_given = po.snow_roughness_given;
  ms.overland.snow_manning_n = po.snow_roughness;
  if (po.snow_reynolds_given) {
    ms.overland.snow_reynolds_given = 1;
    ms.overland.snow_reynolds = po.snow_reynolds;
  }
  ms.grid.dike_map_given = po.dike_map_given;
  ms.grid.lowspot_file_given = po.lowspot_file_given;
  ms.overland.ov_pump_given = po.ov_pump_given;
  ms.overland.init_elev_head = po.init_elev_head;
  ms.overland.init_elev_head_given = po.init_elev_head_given;
  ms.overland.ov_hotstart_read_given = po.ov_hotstart_read_given;
  ms.overland.write_ov_hotstart_given = po.write_ov_hotstart_given;
  ms.hydromet.interception_coeff_given = po.interception_coeff_given;
}

// Values of the explicit channel scheme only.
void copy_channel(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.channel.k_river = po.k_river;
  ms.channel.m_river = po.m_river;
  ms.channel.max_courant_number = po.max_courant_number;
  ms.channel.diffusive_chan = po.diffusive_chan;
  ms.channel.stream_info = po.stream_info;
  ms.channel.grid_stream_given = ms.channel.chan_explic;
  if (!ms.channel.chan_explic) return;
  ms.channel.overbank_flow = po.overbank_flow;
  if (po.overbank_max_dv_given) ms.channel.overbank_max_dv = po.overbank_max_dv;
  ms.overland.overland_backwater = po.overland_backwater;
  ms.channel.head_bound = po.head_bound;
  ms.channel.bound_depth = po.bound_depth;
  ms.channel.bound_ts_given = po.bound_ts_given;
  ms.project.bound_ts = po.bound_ts;
  ms.lake.m_lake_given = po.m_lake_given;
  ms.lake.m_lake = po.m_lake;
  ms.channel.hotstart_is_depth = po.hotstart_is_depth;
  ms.channel.stream_loss = po.stream_loss;
  ms.project.stream_cell = po.stream_cell;
  ms.channel.first_order_chan_q = po.first_order_chan_q;
  ms.channel.chan_decay_coef_card = po.chan_decay_coef;
  ms.channel.chan_disp_coef = po.chan_disp_coef;
  ms.channel.init_chan_conc = po.init_chan_conc;
  ms.constituent.chan_con_trans = po.chan_con_trans;
}

// Weather, evapotranspiration, frozen ground and snow: long-term runs only.
void copy_long_term(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.clock.long_term = po.long_term;
  ms.clock.strict_julian_date = po.strict_julian_date;
  ms.hydromet.hmet_surfaways_given = po.hmet_surfaways_given;
  ms.hydromet.hmet_samson_given = po.hmet_samson_given;
  ms.hydromet.hmet_guv_given = po.hmet_guv_given;
  ms.hydromet.hmet_ascii_given = po.hmet_ascii_given;
  ms.hydromet.hmet_ascii_pet_given = po.hmet_ascii_pet_given;
  if (!ms.clock.long_term) return;
  if (po.hmet_surfaways_given || po.hmet_samson_given || po.hmet_guv_given ||
      po.hmet_ascii_given || po.hmet_ascii_pet_given)
    ms.project.hmet_file = po.hmet_file;
  ms.hydromet.et_calc_penman = po.et_calc_penman;
  ms.hydromet.et_calc_deardorff = po.et_calc_deardorff;
  ms.hydromet.event_min_q = po.event_min_q;
  // The seasons of the seasonal factor: from the month cards when the
  // spring month is above 0, else from the latitude.
  if (po.seasonal_rs == 1) {
    ms.hydromet.seasonal_rs = po.seasonal_rs;
    ms.hydromet.seasonal_rs_spring = po.seasonal_rs_spring;
    ms.hydromet.seasonal_rs_fall = po.seasonal_rs_fall;
    ms.hydromet.seasonal_rs_summer_start = po.seasonal_rs_summer_start;
    ms.hydromet.seasonal_rs_summer_end = po.seasonal_rs_summer_end;
  }
  ms.hydromet.cfgi = po.cfgi;
  ms.hydromet.gtfsm = po.gtfsm;
  ms.hydromet.cfgi_index = po.cfgi_index;
  ms.hydromet.cfgi_k = po.cfgi_k;

  ms.hydromet.hmet_orog_gages_given = po.hmet_orog_gages_given;
  ms.project.hmet_orog_gages = po.hmet_orog_gages;
  ms.hydromet.orogvar_hmet = po.orogvar_hmet;
  ms.hydromet.snow_no_infiltrate = po.snow_no_infiltrate;
  ms.hydromet.nwsrfs_snow = po.nwsrfs_snow;
  ms.hydromet.eb_snow = po.eb_snow;
  ms.hydromet.nwsrfs_retention = po.nwsrfs_retention;
  ms.hydromet.snap_retention = po.snap_retention;
  ms.hydromet.route_lat_snow = po.route_lat_snow;
  ms.hydromet.nwsrfs_elev_snow_given = po.nwsrfs_elev_snow_given;
  ms.project.nwsrfs_elev_snow = po.nwsrfs_elev_snow;
  ms.hydromet.nwsrfs_mf_max = po.nwsrfs_mf_max;
  ms.hydromet.nwsrfs_mf_max_given = po.nwsrfs_mf_max_given;
  ms.hydromet.nwsrfs_mf_min = po.nwsrfs_mf_min;
  ms.hydromet.nwsrfs_mf_min_given = po.nwsrfs_mf_min_given;
  ms.hydromet.nwsrfs_fr_use = po.nwsrfs_fr_use;
  ms.hydromet.nwsrfs_fr_use_given = po.nwsrfs_fr_use_given;
  ms.hydromet.nwsrfs_scf = po.nwsrfs_scf;
  ms.hydromet.nwsrfs_scf_given = po.nwsrfs_scf_given;
  ms.hydromet.nwsrfs_tipm = po.nwsrfs_tipm;
  ms.hydromet.nwsrfs_tipm_given = po.nwsrfs_tipm_given;
  ms.hydromet.nwsrfs_nmf = po.nwsrfs_nmf;
  ms.hydromet.nwsrfs_nmf_given = po.nwsrfs_nmf_given;
  ms.hydromet.nwsrfs_plwhc = po.nwsrfs_plwhc;
  ms.hydromet.nwsrfs_plwhc_given = po.nwsrfs_plwhc_given;
  ms.hydromet.snow_temp_base_given = po.snow_temp_base_given;
  ms.hydromet.temp_lapse_rate = po.hmet_lapse_rate_given ? po.hmet_lapse_rate : -5.0;
  ms.hydromet.yes_dalr_flag = po.yes_dalr_flag_given;
  ms.hydromet.yes_dalr_rate = po.yes_dalr_flag / 1000.0;  // degrees per km on the card, per m in the model
}

// The weather gage's site, the snow base temperature and the initial snow
// cover, which the map phase and the summaries use in every kind of run.
void copy_gage_and_initial_snow(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.hydromet.met_gage_elev = po.hmet_elev_gage_given ? po.hmet_elev_gage : 0.0;
  ms.hydromet.hmet_xcoord_gage = po.hmet_xcoord_gage;
  ms.hydromet.hmet_ycoord_gage = po.hmet_ycoord_gage;
  ms.hydromet.hmet_station_xy_given = po.hmet_xcoord_gage_given || po.hmet_ycoord_gage_given;
  ms.hydromet.snow_temp_base = po.snow_temp_base_given ? po.snow_temp_base : 0.0;
  ms.hydromet.init_swe_mode = po.init_swe_mode;
  ms.hydromet.init_swe_depth = po.init_swe_depth;
  ms.project.init_swe_file = po.init_swe_file;
}

void copy_soil(model_state& ms) {
  const project_options& po = ms.project.project_options;
  // Depths are metres in the project file, centimetres in the model.
  ms.soil.soil_moist_depth = po.soil_moist_depth * 100.0;
  ms.soil.top_layer_depth = po.top_layer_depth * 100.0;
  ms.soil.mixing_layer_depth = po.mixing_layer_depth * 100.0;
  ms.soil.area_reduction_given = po.area_reduction_given;
  ms.soil.unif_area_reduction = po.unif_area_reduction;
  ms.soil.unif_area_reduction_given = po.unif_area_reduction_given;
  ms.soil.richards_weight = po.richards_weight;
  ms.soil.richards_k_option = po.richards_k_option;
  ms.soil.richards_c_option = po.richards_c_option;
  ms.soil.richards_upper_option = po.richards_upper_option;
  ms.soil.richards_iter_max = po.richards_iter_max;
  ms.soil.richards_dtheta_max = po.richards_dtheta_max;
  ms.soil.read_sm_hotstart_given = po.read_sm_hotstart_given;
  ms.soil.write_sm_hotstart_given = po.write_sm_hotstart_given;
  ms.output.in_theta_location_given = po.in_theta_location_given;
}

// Groundwater values only with a water table; beyond the theta assignment
// only with groundwater simulated.
void copy_groundwater(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.groundwater.aquifer_delta_z = po.aquifer_delta_z;
  ms.groundwater.sacramento_given = po.sacramento_given;
  ms.groundwater.topo_index = po.topo_index;
  ms.groundwater.conceptual_gw_given = po.conceptual_gw_given;
  ms.groundwater.topo_index_cgs = po.topo_index_cgs;
  if (!po.water_table_given) return;
  ms.groundwater.water_table_given = 1;
  ms.project.water_table = po.water_table;
  ms.groundwater.gw_assign_theta = po.gw_assign_theta;
  ms.groundwater.gw_simulation = po.gw_simulation;
  if (!ms.groundwater.gw_simulation) return;
  ms.groundwater.gw_lsor_dir = po.gw_lsor_dir;
  ms.groundwater.gw_unif_porosity = po.gw_unif_porosity;
  ms.groundwater.gw_unif_porosity_given = po.gw_unif_porosity_given;
  ms.groundwater.gw_porosity_map_given = po.gw_porosity_map_given;
  ms.project.gw_porosity_map = po.gw_porosity_map;
  ms.groundwater.gw_unif_hycond = po.gw_unif_hycond;
  ms.groundwater.gw_unif_hycond_given = po.gw_unif_hycond_given;
  ms.groundwater.gw_hycond_map_given = po.gw_hycond_map_given;
  ms.project.gw_hycond_map = po.gw_hycond_map;
  ms.groundwater.gw_timestep = po.gw_timestep;
  ms.groundwater.gw_lsor_con = po.gw_lsor_con;
  ms.groundwater.single_unsat_sat = po.single_unsat_sat;
  ms.groundwater.gw_leakage_rate = po.gw_leakage_rate;
  ms.groundwater.gw_relax_coeff = po.gw_relax_coeff;
  ms.groundwater.gw_boundfile_given = po.gw_boundfile_given;
  ms.project.gw_boundfile = po.gw_boundfile;
  ms.groundwater.gw_fluxboundtable_given = ms.project.run_control.gw_fluxboundtable_given;
  ms.project.gw_fluxboundtable = po.gw_fluxboundtable;
  ms.output.gw_well_level_given = po.gw_well_level_given;
  ms.project.gw_well_level = po.gw_well_level;
  ms.project.out_well_location = po.out_well_location;
  ms.groundwater.use_wells = po.use_wells;
  ms.output.gw_output_given = po.gw_output_given;
  ms.project.gw_output = po.gw_output;
}

void copy_pipes_and_lakes(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.pipe.storm_sewer_given = po.storm_sewer_given;
  ms.pipe.superlink_c_opt = po.superlink_c_opt;
  ms.pipe.high_head_release = po.high_head_release;
  ms.pipe.superlink_drainmod = po.superlink_drainmod;
  ms.output.pipe_flow_given = po.pipe_flow_given;
  ms.output.pipe_head_given = po.pipe_head_given;
  ms.output.pipe_tile_given = po.pipe_tile_given;
  ms.pipe.superlink_junc_location_given = po.superlink_junc_location_given;
  ms.pipe.superlink_node_location_given = po.superlink_node_location_given;
  ms.output.superlink_junc_flow_given = po.superlink_junc_flow_given;
  ms.output.superlink_node_flow_given = po.superlink_node_flow_given;
  ms.output.lake_output_given = po.lake_output_given;
  ms.lake.overland_lake_map_given = po.overland_lake_map_given;
  ms.lake.lake_pump_given = po.lake_pump_given;
}

void copy_constituents(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.constituent.contam_map_given = po.contam_map_given;
  ms.constituent.ov_con_trans = po.ov_con_trans;
  ms.constituent.soil_con_trans = po.soil_con_trans;
  ms.constituent.all_contam_output = po.all_contam_output;
  ms.constituent.soil_static_conc = po.soil_static_conc;
  ms.constituent.sediment_contam = po.sediment_contam;
  ms.constituent.ov_point_source_given = po.ov_point_source_given;
  ms.constituent.sourcefile_given = po.sourcefile_given;
  ms.constituent.ov_disp_coef = po.ov_disp_coef;
  ms.constituent.ov_decay_coef = po.ov_decay_coef;
  ms.constituent.ov_mass_load = po.ov_mass_load;
  ms.constituent.ov_uptake_rate = po.ov_uptake_rate;
  ms.constituent.kinetics_timestep_factor = po.kinetics_timestep_factor;
  ms.constituent.soil_kinetics_timestep_factor = po.soil_kinetics_timestep_factor;

  ms.constituent.soil_erosion_on = po.soil_erosion_on;
  ms.constituent.soil_erosion = po.soil_erosion;
  ms.constituent.soil_erosion_option = po.soil_erosion >= 10 ? po.soil_erosion - 10 : po.soil_erosion;
  ms.constituent.adjust_channel_bed = po.adjust_channel_bed;
  ms.constituent.water_temp = po.water_temp;
  ms.constituent.sand_size = po.sand_size;
  ms.constituent.silt_size = po.silt_size;
  ms.constituent.clay_size = po.clay_size;
  ms.constituent.sed_porosity = po.sed_porosity;
  ms.constituent.in_sed_loc = po.in_sed_loc_given;
  ms.constituent.vol_sed_susp = po.vol_sed_susp_given;
  ms.constituent.max_sed_flux = po.max_sed_flux_given;
  ms.constituent.net_sed_volume = po.net_sed_volume_given;
  ms.constituent.adjust_elev_given = po.adjust_elev_given;
  ms.constituent.outlet_sed_tss = po.outlet_sed_tss_given;
  ms.constituent.out_tss_loc = po.out_tss_loc_given;
  ms.constituent.in_sed_loc_file_name = po.in_sed_loc;
  ms.constituent.out_sed_loc_file_name = po.out_sed_loc;
  ms.constituent.adjust_elev_file_name = po.adjust_elev;
  ms.constituent.vol_sed_susp_file_name = po.vol_sed_susp;
  ms.constituent.max_sed_flux_file_name = po.max_sed_flux;
  ms.constituent.net_sed_volume_file_name = po.net_sed_volume;
  ms.constituent.outlet_sed_flux_file_name = po.outlet_sed_flux;
  ms.constituent.outlet_sed_tss_file_name = po.outlet_sed_tss;
  ms.constituent.out_tss_loc_file_name = po.out_tss_loc;

  ms.constituent.chan_ph = po.chan_ph;
  ms.constituent.soils_nsm_p = po.soils_nsm_p;
  ms.constituent.soils_nsm_n = po.soils_nsm_n;
  ms.constituent.soils_nsm_c = po.soils_nsm_c;
  ms.constituent.total_ov_n_given = po.total_ov_n_given;
  ms.constituent.total_ov_p_given = po.total_ov_p_given;
  ms.constituent.total_chan_n_given = po.total_chan_n_given;
  ms.constituent.total_chan_kn_given = po.total_chan_kn_given;
  ms.constituent.total_chan_p_given = po.total_chan_p_given;
}

// Flags that merge a card with the table the mapping-table file supplies,
// unit conversions, and flags that follow from others.
void derive_flags(model_state& ms) {
  const project_options& po = ms.project.project_options;
  const int* table = ms.grid.cmt_table_present;
  ms.overland.roughness_given = po.manning_n_given
                           ? po.roughness_given
                           : (po.roughness_given || table[cmt_roughness]);
  const int et_table = table[cmt_evapotranspiration];
  ms.hydromet.albedo_given = po.albedo_given || et_table;
  ms.hydromet.vheight_given = po.vheight_given || et_table;
  ms.hydromet.tcoeff_given = po.tcoeff_given || et_table;
  ms.hydromet.canopy_given = po.canopy_given || et_table;
  ms.hydromet.wilting_point_given = po.wilting_point_given || et_table;
  const int ga_table =
      (ms.soil.green_ampt || ms.soil.inf_redist || ms.clock.long_term) ? table[cmt_ga_infiltration] : 0;
  ms.soil.conductivity_given = po.conductivity_given || ga_table;
  ms.soil.capillary_given = po.capillary_given || ga_table;
  ms.soil.porosity_given = po.porosity_given || ga_table;
  ms.soil.pore_index_given = po.pore_index_given || ga_table;
  ms.soil.residual_sat_given = po.residual_sat_given || ga_table;
  ms.soil.moisture_given = ms.grid.mapping_table_given ? 1 : po.moisture_given;
  ms.lake.wetlands_on = table[cmt_wetlands];
  if (ms.hydromet.event_min_q < 0.00001) ms.hydromet.event_min_q = 0.05;
  if (ms.groundwater.gw_simulation) ms.channel.stream_loss = 1;
  if (ms.constituent.ov_con_trans == 1) {
    ms.constituent.ov_con_table = 1;
    ms.constituent.constituents_on = 1;
  }
  if (ms.channel.chan_explic && ms.constituent.chan_con_trans == 1) ms.constituent.constituents_on = 1;
  ms.lake.chan_lakes = 0;  // the channel input reader sets it when it meets a lake link
  if (ms.groundwater.sacramento_given) ms.groundwater.sac_topo_index = po.topo_index ? 0 : 1;
  if (ms.groundwater.conceptual_gw_given) ms.groundwater.cgs_topo_index = po.topo_index_cgs ? 0 : 1;
  if (ms.project.run_control.infil_model != infil_scheme::none) ms.output.rate_of_infil_given = po.rate_of_infil_given;
}

void set_precipitation(model_state& ms) {
  const rain_event& re = ms.project.rain_event;
  ms.hydromet.precip_unif = ms.hydromet.rain_thiessen = ms.hydromet.rain_inv_distance = ms.hydromet.precip_file_given = 0;
  ms.project.precip_file = re.precip_file;
  ms.hydromet.radar_mm = ms.project.project_options.radar_mm;
  switch (re.precip_source) {
    case rain_source::uniform:
      // A uniform storm starts at the start date and time of the cards.
      ms.hydromet.precip_unif = 1;
      ms.hydromet.rain_intensity = re.rain_intensity;
      ms.hydromet.rain_duration = static_cast<double>(re.rain_duration);
      set_clock_to_start_date(ms);
      ms.clock.hmet_start_time = ms.clock.model_time;
      break;
    case rain_source::gage_file:
      // The precipitation reader sets the clock from the gage file.
      ms.hydromet.precip_file_given = 1;
      if (re.rain_interp == rain_interpolation::inverse_distance) ms.hydromet.rain_inv_distance = 1;
      if (re.rain_interp == rain_interpolation::thiessen) ms.hydromet.rain_thiessen = 1;
      break;
    case rain_source::radar: ms.hydromet.radar_rain = 1; break;
    default: break;
  }
  // A gage file and a uniform storm together: the option check names the
  // conflict instead of one card passing the other over.
  if (re.precip_file_given && re.precip_unif_given) ms.hydromet.precip_file_given = ms.hydromet.precip_unif = 1;
}

void copy_coupling(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.clock.zem = po.zem;
  ms.clock.mola_given = po.mola_given;
  ms.clock.zem_event_num = po.zem_event_num;
  ms.clock.zem_event_num_given = po.zem_event_num_given;
  ms.clock.mola_first = po.mola_first;
  ms.clock.moist_to_mola_given = po.moist_to_mola_given;
  ms.clock.ksat_to_mola_given = po.ksat_to_mola_given;
  ms.clock.rough_to_mola_given = po.rough_to_mola_given;
  ms.clock.poros_to_mola_given = po.poros_to_mola_given;
  ms.clock.erosivity_to_mola_given = po.erosivity_to_mola_given;
  ms.clock.crop_fact_to_mola_given = po.crop_fact_to_mola_given;
  ms.clock.net_erosion_to_mola_given = po.net_erosion_to_mola_given;
  ms.clock.moist_from_mola_given = po.moist_from_mola_given;
  ms.clock.ksat_from_mola_given = po.ksat_from_mola_given;
  ms.clock.rough_from_mola_given = po.rough_from_mola_given;
  ms.clock.erosivity_from_mola_given = po.erosivity_from_mola_given;
  ms.clock.crop_fact_from_mola_given = po.crop_fact_from_mola_given;
  ms.clock.et_demand_from_mola_given = po.et_demand_from_mola_given;
  for (const name_copy& c : mola_names) join_name(ms.project.*c.to, "exchange/", (po.*c.from).view());
}

void copy_outputs(model_state& ms) {
  const project_options& po = ms.project.project_options;
  switch (ms.project.run_control.map_type) {
    case map_format::per_time_grids: ms.output.no_map_output = 1; break;
    case map_format::ascii_dataset: ms.output.dataset_output = 1; break;
    case map_format::binary_dataset: ms.output.dataset_output = 1; ms.output.binary_dataset = 1; break;
    default: break;
  }
  for (const name_copy& c : plain_names) ms.project.*c.to = po.*c.from;
  ms.output.quiet_map_files = ms.project.run_control.quiet;

  ms.output.depth_given = po.depth_given;
  ms.output.discharge_given = po.discharge_given;
  ms.output.inf_depth_given = po.inf_depth_given;
  ms.output.surf_moist_given = po.surf_moist_given;
  ms.output.dis_rain_given = po.dis_rain_given;
  ms.output.gw_recharge_cum_given = po.gw_recharge_cum_given;
  ms.output.gw_recharge_inc_given = po.gw_recharge_inc_given;
  ms.output.ov_con_map_given = po.ov_con_map_given;
  ms.output.chan_depth_given = ms.output.chan_depth_given_2 = po.chan_depth_given;
  ms.output.chan_discharge_given = ms.output.chan_discharge_given_2 = po.chan_discharge_given;
  ms.output.chan_sed_flux_given = ms.output.chan_sed_flux_given_2 = po.chan_sed_flux_given;
  ms.output.chan_stage_given = po.chan_stage_given;
  ms.output.chan_velocity_given = po.chan_velocity_given;
  ms.output.in_hyd_location_given = po.in_hyd_location_given;
  ms.output.in_gwflux_location_given = po.in_gwflux_location_given;
  ms.output.in_celldepdis_location_given = po.in_celldepdis_location_given;
  ms.output.out_dep_location_given = po.out_dep_location_given;
  ms.output.out_con_location_given = po.out_con_location_given;
  ms.output.out_mass_location_given = po.out_mass_location_given;
  ms.output.overland_depths_given = po.overland_depths_given;
  ms.output.overland_wse_given = po.overland_wse_given;
  ms.output.sig_outlet_hydro_given = po.sig_outlet_hydro_given;
  ms.output.pav_hydro_given = po.pav_hydro_given;
  ms.output.include_channel_depth = po.include_channel_depth;
  ms.constituent.fyssi_given = po.fyssi_given;
  ms.output.xybdyoutput_on = po.xybdyoutput_on;
  ms.output.suppress_printing = po.suppress_printing;
  ms.hydromet.snow_swe_file_given = po.snow_swe_file_given;
  ms.hydromet.snow_temp_given = po.snow_temp_given;
  ms.output.optimize_given = po.optimize_given;
  ms.output.optimize_sed = po.optimize_sed;
  ms.output.calib_comp_data = po.calib_comp_data;
  ms.output.calib_obj_func = po.calib_obj_func;
  ms.output.analyzers_given = po.analyzers_given;

  // Channel hotstarts: a depth file and a discharge file for each card.
  ms.channel.explic_backwater_given = po.explic_backwater_given;
  ms.channel.write_chan_hotstart_given = po.write_chan_hotstart_given;
  ms.channel.explic_hotstart_given = po.explic_hotstart_given;
  ms.channel.read_chan_hotstart_given = po.read_chan_hotstart_given;
  ms.channel.chan_hotstart_flag_in = (po.explic_hotstart_given || po.read_chan_hotstart_given) ? 1 : 0;
  join_name(ms.project.chan_hotstart_read_dht, po.chan_hotstart_read_file.view(), ".dht");
  join_name(ms.project.chan_hotstart_read_qht, po.chan_hotstart_read_file.view(), ".qht");
  join_name(ms.project.chan_hotstart_write_qht, po.chan_hotstart_write_file.view(), ".qht");
  join_name(ms.project.chan_hotstart_write_dht, po.chan_hotstart_write_file.view(), ".dht");
}

// The groundwater maps of the run's end are named after the project file:
// its name without the extension, beside it.
void name_groundwater_maps(model_state& ms, std::string_view project_file_name) {
  const std::string_view prj = project_file_name;
  const std::size_t slash = prj.find_last_of('/'), dot = prj.find_last_of('.');
  const std::string_view base = dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)
                                    ? prj.substr(0, dot)
                                    : prj;
  join_name(ms.project.gw_hotstart_write, base, ".gw_hotstart");
  join_name(ms.project.sat_source_write, base, ".satsource");
}

void copy_display(model_state& ms) {
  const project_options& po = ms.project.project_options;
  ms.output.xwindows = po.xwindows;
  ms.output.xrain = po.xrain;
  ms.output.xgwrecharge = po.xgwrecharge;
  ms.output.xdepth = po.xdepth;
  ms.output.xinfdep = po.xinfdep;
  ms.output.xsurf = po.xsurf;
  ms.output.xchan = po.xchan;
  ms.output.xbig = po.xbig;
  ms.output.x_freq = po.x_freq;
  ms.output.xwin_width = po.xwin_width;
  ms.output.xwin_height = po.xwin_height;
  ms.output.daily_output_given = po.daily_output_given;
  ms.project.super_quiet = po.super_quiet;
  // The console writer of every subsystem follows the run's own setting.
  process.super_quiet_on = ms.project.super_quiet != 0;
}

}  // namespace

void read_run_parameters(std::string_view project_file_name, model_state& ms) {
  project_options& po = ms.project.project_options;
  run_control& rc = ms.project.run_control;
  const bool first_process = process.parallel_env.proc_id == 0;

  if (!ms.output.optimize_given && !ms.project.super_quiet && !ms.project.optimizer_mode && first_process)
    std::printf("reading run parameters from project file: %.*s\n",
                static_cast<int>(project_file_name.size()), project_file_name.data());

  const bool read = read_project_file(project_file_name, po, rc, ms.project.rain_event, ms.project.optimizer_mode);
  if (rc.project_open_failed) {
    set_error(3);
    process.error_block.stop = 1;
    return;
  }
  // The reader reported a card or a file it could not take: the run stops
  // and nothing of the cards is copied.
  if (!read) return;
  if (po.pause) process.pause_flag = 1;
  if (rc.end_year != 0) {
    ms.clock.end_time_given = 1;
    ms.clock.end_time =
        julian_date(rc.end_year, rc.end_month, rc.end_day, rc.end_hour, rc.end_minute, 0.0);
  }
  ms.constituent.nutrients = po.nutrients;
  if (ms.constituent.nutrients) ms.constituent.nsm_model = po.nsm_model.get();
  copy_zv_settings(ms);

  ms.overland.ov_boundary = po.ov_boundary;
  ms.overland.xy_ov_boundary = po.xy_ov_boundary;
  take_xy_records(ms);
  if (po.flood_grid_given) {
    ms.output.flood_grid_given = 1;
    ms.project.flood_grid = po.flood_grid;
  }
  if (po.flood_stream_given) {
    ms.output.flood_stream_given = 1;
    ms.project.flood_stream = po.flood_stream;
  }
  if (po.flush_buffer_on) {
    ms.output.flush_output = 1;
    ms.output.flush_buffer = po.flush_buffer;
  }
  if (rc.map_type == map_format::quib) {
    set_error(5);
    process.error_block.stop = 1;
    return;
  }
  if (rc.map_type == map_format::no_maps) {
    std::printf("Error: MAP_TYPE 3 writes no maps: the maps of DEPTH, DISCHARGE and the other map cards would be "
                "lost. Give MAP_TYPE 0 (an ASCII grid per map time), 1 (an ASCII dataset) or 2 (a binary "
                "dataset), and leave out the map cards for no maps.\n");
    set_error(own_message_code);
    process.error_block.stop = 1;
    return;
  }
  copy_run_control(ms);
  copy_mapping_tables(ms);

  set_schemes(ms);
  copy_overland(ms);
  copy_channel(ms);
  copy_long_term(ms);
  copy_gage_and_initial_snow(ms);
  copy_soil(ms);
  copy_groundwater(ms);
  copy_pipes_and_lakes(ms);
  copy_constituents(ms);
  derive_flags(ms);
  set_precipitation(ms);
  copy_coupling(ms);
  copy_outputs(ms);
  name_groundwater_maps(ms, project_file_name);
  copy_display(ms);

  if (!ms.project.super_quiet && first_process && !ms.project.optimizer_mode)
    std::printf("\nfinished reading project file\n");
}

void print_startup_info(model_state& ms, std::string_view project_file_name) {
  std::FILE* fp = ms.output.summary_file.fp;
  if (!fp) return;
  std::fprintf(fp, "\n\n");
  std::fprintf(fp, "_________NIVRA start-up information________\n");
  std::fprintf(fp, "Run parameters read from project file: %.*s\n",
               static_cast<int>(project_file_name.size()), project_file_name.data());
  if (process.replace_on) print_replace_values(fp, ms.project.optimizer_mode);
}

void set_clock_to_start_date(model_state& ms) {
  clock_state& c = ms.clock;
  c.cur_year = c.start_year;
  c.cur_month = c.start_month;
  c.cur_day = c.start_day;
  c.cur_hour = c.start_hour;
  c.cur_minute = c.start_minute;
  c.cur_second = 0.0;
  c.date_stamp_hhmm = c.start_hour * 100 + c.start_minute;
  c.date_stamp_ymd = (c.start_year * 100 + c.start_month) * 100 + c.start_day;
  c.model_time = julian_date(c.start_year, c.start_month, c.start_day, c.start_hour, c.start_minute, 0.0);
}

}  // namespace nivra
