// The project sub-records filled from the project file's cards
// (project_options, run_control, rain_event), the file-name buffers copied
// from them, and the run's identity (project file, quiet and optimiser
// switches).
//
// Every card field is named after its card. The sub-records are built empty;
// read_project_file clears them again once the header is accepted and then
// sets the reader's defaults, so only those defaults are ever in force.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/file_name_text.h"
#include "output/xy_points.h"
#include "quality/nsm.h"

namespace nivra {

struct capture_buffer;

// The nutrients' soil-water partition coefficients (nsm_partition_coeffs)
// are declared with the nutrient media.

// Values of the enumeration cards.

// RICHARDS_K_OPTION: the mean of the conductivities of two soil layers;
// RICHARDS_C_OPTION: the soil water retention model.
namespace richards_k_mean {
inline constexpr int arithmetic = 1;
inline constexpr int geometric = 2;
}  // namespace richards_k_mean
namespace richards_retention {
inline constexpr int brooks_corey = 1;
inline constexpr int haverkamp = 2;
}  // namespace richards_retention
// The conductivity of a Richards column's surface face under a pond
// (RICHARDS_UPPER_OPTION): the first node's (the default, no word), 1 cm/h
// (GREEN), or the saturated surface averaged with the first node (AVERAGE).
namespace richards_upper_face {
inline constexpr int first_node = 1;
inline constexpr int green_ampt = 2;
inline constexpr int averaged = 3;
}  // namespace richards_upper_face

// CALIB_COMP_DATA and CALIB_OBJ_FUNC; "unset" until a card names a value.
namespace calib_data {
inline constexpr int daily = 0;
inline constexpr int event = 1;
inline constexpr int unset = 2;
}  // namespace calib_data
namespace calib_objective {
inline constexpr int rmse = 0;
inline constexpr int hmle = 1;
inline constexpr int unset = 2;
}  // namespace calib_objective

// MAP_TYPE: how the gridded outputs are written.
namespace map_format {
inline constexpr int per_time_grids = 0;  // one ASCII grid file per quantity and output time
inline constexpr int ascii_dataset = 1;
inline constexpr int binary_dataset = 2;
inline constexpr int no_maps = 3;         // writes no map at all: refused, so that no map card is lost
inline constexpr int quib = 4;            // QUIB containers, refused by this version
}  // namespace map_format

// The channel routing scheme: CHAN_PREISS, CHAN_DRAIN, CHAN_EXPLIC (and
// DIFFUSIVE_WAVE), CHAN_MESH, CHAN_BACKWATER.
namespace chan_scheme {
inline constexpr int none = 0;
inline constexpr int preissmann = 1;
inline constexpr int drain = 2;
inline constexpr int explicit_wave = 3;
inline constexpr int mesh = 4;
inline constexpr int backwater = 5;
}  // namespace chan_scheme

// The infiltration scheme: GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL, INF_RICHARDS.
namespace infil_scheme {
inline constexpr int none = 0;
inline constexpr int green_ampt = 1;
inline constexpr int redistribution = 2;
inline constexpr int layered_soil = 3;
inline constexpr int richards = 4;
}  // namespace infil_scheme

// Where the rain comes from (PRECIP_UNIF, PRECIP_FILE, radar) and how gage
// values are spread over the cells (RAIN_INV_DISTANCE, RAIN_THIESSEN).
namespace rain_source {
inline constexpr int uniform = 0;
inline constexpr int gage_file = 1;
inline constexpr int radar = 2;
}  // namespace rain_source
namespace rain_interpolation {
inline constexpr int inverse_distance = 0;
inline constexpr int thiessen = 1;
}  // namespace rain_interpolation

// Room for one bit per entry of the card table (model/card_table.cpp
// checks that the table fits).
inline constexpr std::size_t card_table_capacity = 512;

struct project_options {
  // The cards the project file gave, one bit per entry of the card table:
  // a card whose value equals its default is given all the same
  // (card_given in model/card_table.h reads it by the card's word).
  std::bitset<card_table_capacity> cards_given;
  // The line of the project file each given card stands on (its first line
  // when it is given twice), one per entry of the card table; 0: not given.
  std::array<int, card_table_capacity> card_lines{};
  // The warnings about cards that change nothing in this run, each naming
  // its card and line, and about the events of the precipitation file a
  // storm run leaves out (without the leading "Warning: "), for the run
  // summary's list of warnings; the cards already warned about by a rule of
  // their partners.
  std::vector<std::string> card_warnings;
  std::bitset<card_table_capacity> cards_warned;

  // Grid maps and mapping tables.
  file_name_text watershed_mask;
  file_name_text elevation;
  file_name_text mapping_table; int mapping_table_given = 0;
  file_name_text st_mapping_table; int st_mapping_table_given = 0;
  file_name_text project_folder;

  // Overland flow, roughness, retention, interception.
  int overtype = 0;  // an overland_scheme value (surface/overland_state.h)
  int num_threads = 0;  // threads of the overland routing; 0: not given
  double manning_n = 0.0; int manning_n_given = 0;
  file_name_text roughness; int roughness_given = 0;
  int ovr_flow_block = 0;
  file_name_text reten_depth; int reten_depth_given = 0;
  double retention = 0.0; int retention_given = 0;
  file_name_text initial_depth; int initial_depth_given = 0;
  file_name_text storage_capacity; int storage_capacity_given = 0;
  file_name_text interception_coeff; int interception_coeff_given = 0;
  double snow_roughness = 0.0; int snow_roughness_given = 0;
  double snow_darcy = 0.0; int snow_darcy_given = 0;
  double snow_reynolds = 0.0; int snow_reynolds_given = 0;
  int overland_backwater = 0;
  file_name_text dike_map; int dike_map_given = 0;
  file_name_text lowspot_file; int lowspot_file_given = 0;
  int ov_boundary = 0;
  int xy_ov_boundary = 0;
  file_name_text ov_pump; int ov_pump_given = 0;
  double init_elev_head = 0.0; int init_elev_head_given = 0;
  int ov_hotstart_read_given = 0;
  file_name_text ov_hotstart_read_file;
  file_name_text write_ov_hotstart; int write_ov_hotstart_given = 0;

  // Channels.
  int diffusive_chan = 0;
  double max_courant_number = 0.0;
  int overbank_flow = 0;
  double overbank_max_dv = 0.0; int overbank_max_dv_given = 0;
  file_name_text stream_cell;
  int head_bound = 0;
  double bound_depth = 0.0;
  file_name_text bound_ts; int bound_ts_given = 0;
  double k_river = 0.0;
  double m_river = 0.0;
  int explic_backwater_given = 0;
  int explic_hotstart_given = 0;
  int write_chan_hotstart_given = 0;
  int read_chan_hotstart_given = 0;
  file_name_text chan_hotstart_write_file;
  file_name_text chan_hotstart_read_file;
  int hotstart_is_depth = 0;
  double first_order_chan_q = 0.0;
  int stream_loss = 0;
  double chan_decay_coef = 0.0;
  double chan_disp_coef = 0.0;
  double init_chan_conc = 0.0;
  file_name_text links;
  file_name_text channel_input;
  file_name_text section_table;
  file_name_text materials;
  file_name_text dis_profile;
  file_name_text wat_surf_profile;
  file_name_text dis_profile_out;
  file_name_text wat_surf_profile_out;
  file_name_text chan_point_input;
  file_name_text lake_pump; int lake_pump_given = 0;
  int stream_info = 0;

  // Lakes.
  double m_lake = 0.0; int m_lake_given = 0;
  file_name_text lake_output; int lake_output_given = 0;
  file_name_text overland_lake_map; int overland_lake_map_given = 0;
  file_name_text overland_lake_file;

  // Long-term simulation, weather, evapotranspiration and snow.
  int long_term = 0;
  int strict_julian_date = 0;
  double event_min_q = 0.0;
  file_name_text hmet_file;
  int hmet_surfaways_given = 0;
  int hmet_samson_given = 0;
  int hmet_guv_given = 0;
  int hmet_ascii_given = 0;
  int hmet_ascii_pet_given = 0;
  file_name_text hmet_orog_gages; int hmet_orog_gages_given = 0;
  int orogvar_hmet = 0;
  int et_calc_penman = 0;
  int et_calc_deardorff = 0;
  file_name_text albedo; int albedo_given = 0;
  file_name_text vheight; int vheight_given = 0;
  file_name_text tcoeff; int tcoeff_given = 0;
  file_name_text canopy; int canopy_given = 0;
  file_name_text wilting_point; int wilting_point_given = 0;
  int seasonal_rs = 0;
  int seasonal_rs_spring = 0;
  int seasonal_rs_fall = 0;
  int seasonal_rs_summer_start = 0;
  int seasonal_rs_summer_end = 0;
  int cfgi = 0;
  double cfgi_index = 0.0;
  double cfgi_k = 0.0;
  int gtfsm = 0;
  int radar_mm = 0;
  int snow_no_infiltrate = 0;
  int nwsrfs_snow = 0;
  int eb_snow = 0;
  int nwsrfs_retention = 0;
  int snap_retention = 0;
  int route_lat_snow = 0;
  file_name_text nwsrfs_elev_snow; int nwsrfs_elev_snow_given = 0;
  double nwsrfs_mf_max = 0.0; int nwsrfs_mf_max_given = 0;
  double nwsrfs_mf_min = 0.0; int nwsrfs_mf_min_given = 0;
  double nwsrfs_fr_use = 0.0; int nwsrfs_fr_use_given = 0;
  double nwsrfs_scf = 0.0; int nwsrfs_scf_given = 0;
  double hmet_elev_gage = 0.0; int hmet_elev_gage_given = 0;
  double hmet_xcoord_gage = 0.0; int hmet_xcoord_gage_given = 0;
  double hmet_ycoord_gage = 0.0; int hmet_ycoord_gage_given = 0;
  double hmet_lapse_rate = 0.0; int hmet_lapse_rate_given = 0;
  double nwsrfs_tipm = 0.0; int nwsrfs_tipm_given = 0;
  double nwsrfs_nmf = 0.0; int nwsrfs_nmf_given = 0;
  double nwsrfs_plwhc = 0.0; int nwsrfs_plwhc_given = 0;
  double snow_temp_base = 0.0; int snow_temp_base_given = 0;
  double yes_dalr_flag = 0.0; int yes_dalr_flag_given = 0;
  int init_swe_mode = 0;  // an initial_swe value
  double init_swe_depth = 0.0;
  file_name_text init_swe_file;
  file_name_text snow_swe_file; int snow_swe_file_given = 0;
  file_name_text snow_temp; int snow_temp_given = 0;

  // Infiltration and soil water.
  double soil_moist_depth = 0.0;
  double top_layer_depth = 0.0;
  double mixing_layer_depth = 0.0;
  file_name_text conductivity; int conductivity_given = 0;
  file_name_text capillary; int capillary_given = 0;
  file_name_text porosity; int porosity_given = 0;
  file_name_text moisture; int moisture_given = 0;
  file_name_text pore_index; int pore_index_given = 0;
  file_name_text residual_sat; int residual_sat_given = 0;
  file_name_text area_reduction; int area_reduction_given = 0;
  double unif_area_reduction = 0.0; int unif_area_reduction_given = 0;
  file_name_text soil_type_map;
  file_name_text soil_layer_input_file;
  double richards_weight = 0.0;
  int richards_k_option = 0;      // a richards_k_mean value
  int richards_c_option = 0;      // a richards_retention value
  int richards_upper_option = 0;  // a richards_upper_face value
  int richards_iter_max = 0;
  double richards_dtheta_max = 0.0;
  file_name_text write_sm_hotstart; int write_sm_hotstart_given = 0;
  file_name_text read_sm_hotstart; int read_sm_hotstart_given = 0;

  // Groundwater and the conceptual models.
  file_name_text water_table; int water_table_given = 0;
  file_name_text aquifer_bottom;
  double aquifer_delta_z = 0.0;
  int gw_simulation = 0;
  int gw_assign_theta = 0;
  int gw_lsor_dir = 0;
  double gw_unif_porosity = 0.0; int gw_unif_porosity_given = 0;
  file_name_text gw_porosity_map; int gw_porosity_map_given = 0;
  double gw_unif_hycond = 0.0; int gw_unif_hycond_given = 0;
  file_name_text gw_hycond_map; int gw_hycond_map_given = 0;
  double gw_timestep = 0.0;
  double gw_lsor_con = 0.0;
  double single_unsat_sat = 0.0; int single_unsat_sat_given = 0;
  double gw_leakage_rate = 0.0;
  double gw_relax_coeff = 0.0;
  file_name_text gw_fluxboundtable;
  file_name_text gw_boundfile; int gw_boundfile_given = 0;
  file_name_text gw_output; int gw_output_given = 0;
  file_name_text gw_well_level; int gw_well_level_given = 0;
  file_name_text out_well_location;
  int use_wells = 0;
  file_name_text sacramento; int sacramento_given = 0;
  int topo_index = 0;
  file_name_text conceptual_gw; int conceptual_gw_given = 0;
  int topo_index_cgs = 0;

  // Pipe network.
  file_name_text storm_sewer; int storm_sewer_given = 0;
  int superlink_c_opt = 0;
  int high_head_release = 0;
  int superlink_drainmod = 0;
  file_name_text grid_pipe;
  file_name_text pipe_flow; int pipe_flow_given = 0;
  file_name_text pipe_head; int pipe_head_given = 0;
  file_name_text pipe_tile; int pipe_tile_given = 0;

  // Contaminants.
  file_name_text contam_map; int contam_map_given = 0;
  int chan_con_trans = 0;
  int ov_con_trans = 0;
  int all_contam_output = 0;
  int soil_con_trans = 0;
  int soil_static_conc = 0;
  int sediment_contam = 0;
  file_name_text ov_point_source; int ov_point_source_given = 0;
  file_name_text ov_con_map; int ov_con_map_given = 0;
  double ov_disp_coef = 0.0;
  double ov_decay_coef = 0.0;
  double ov_mass_load = 0.0;
  double ov_uptake_rate = 0.0;
  double kinetics_timestep_factor = 0.0;
  double soil_kinetics_timestep_factor = 0.0;
  file_name_text sourcefile; int sourcefile_given = 0;

  // Sediments.
  int soil_erosion_on = 0;
  int soil_erosion = 0;
  int adjust_channel_bed = 0;
  file_name_text soil_erodability;
  file_name_text crop_management;
  file_name_text conservation_practice;
  file_name_text sand_map;
  file_name_text silt_map;
  file_name_text in_sed_loc; int in_sed_loc_given = 0;
  file_name_text vol_sed_susp; int vol_sed_susp_given = 0;
  file_name_text max_sed_flux; int max_sed_flux_given = 0;
  file_name_text net_sed_volume; int net_sed_volume_given = 0;
  file_name_text adjust_elev; int adjust_elev_given = 0;
  file_name_text outlet_sed_flux;
  file_name_text outlet_sed_tss; int outlet_sed_tss_given = 0;
  file_name_text out_tss_loc; int out_tss_loc_given = 0;
  file_name_text out_sed_loc;
  double sand_size = 0.0;
  double silt_size = 0.0;
  double clay_size = 0.0;
  double water_temp = 0.0;
  double sed_porosity = 0.0;

  // Nutrients. The container and the partition coefficients are created by
  // their cards and owned here.
  int nutrients = 0;
  std::unique_ptr<nsm> nsm_model;
  std::unique_ptr<nsm_partition_coeffs> partition_coeffs;
  double chan_ph = 0.0;
  int soils_nsm_p = 0;
  int soils_nsm_n = 0;
  int soils_nsm_c = 0;
  file_name_text total_ov_n; int total_ov_n_given = 0;
  file_name_text total_ov_p; int total_ov_p_given = 0;
  file_name_text total_chan_n; int total_chan_n_given = 0;
  file_name_text total_chan_kn; int total_chan_kn_given = 0;
  file_name_text total_chan_p; int total_chan_p_given = 0;

  // Outputs: summary, hydrographs, maps, locations, flood files.
  file_name_text summary;
  file_name_text outlet_hydro;
  file_name_text sig_outlet_hydro; int sig_outlet_hydro_given = 0;
  file_name_text pav_hydro; int pav_hydro_given = 0;
  file_name_text cell_hydro;
  int include_channel_depth = 0;
  file_name_text discharge; int discharge_given = 0;
  file_name_text depth; int depth_given = 0;
  file_name_text inf_depth; int inf_depth_given = 0;
  file_name_text surf_moist; int surf_moist_given = 0;
  file_name_text rate_of_infil; int rate_of_infil_given = 0;
  file_name_text dis_rain; int dis_rain_given = 0;
  file_name_text gw_recharge_cum; int gw_recharge_cum_given = 0;
  file_name_text gw_recharge_inc; int gw_recharge_inc_given = 0;
  file_name_text chan_depth; int chan_depth_given = 0;
  file_name_text chan_sed_flux; int chan_sed_flux_given = 0;
  file_name_text chan_discharge; int chan_discharge_given = 0;
  file_name_text chan_stage; int chan_stage_given = 0;
  file_name_text chan_velocity; int chan_velocity_given = 0;
  file_name_text in_hyd_location; int in_hyd_location_given = 0;
  file_name_text out_hyd_location;
  file_name_text in_gwflux_location; int in_gwflux_location_given = 0;
  file_name_text out_gwflux_location;
  file_name_text in_celldepdis_location; int in_celldepdis_location_given = 0;
  file_name_text out_celldepdis_location;
  file_name_text in_theta_location; int in_theta_location_given = 0;
  file_name_text out_theta_location;
  file_name_text superlink_junc_location; int superlink_junc_location_given = 0;
  file_name_text superlink_node_location; int superlink_node_location_given = 0;
  file_name_text superlink_junc_flow; int superlink_junc_flow_given = 0;
  file_name_text superlink_node_flow; int superlink_node_flow_given = 0;
  file_name_text out_dep_location; int out_dep_location_given = 0;
  file_name_text out_con_location; int out_con_location_given = 0;
  file_name_text out_mass_location; int out_mass_location_given = 0;
  file_name_text overland_depths; int overland_depths_given = 0;
  file_name_text overland_depth_location;
  file_name_text overland_wse; int overland_wse_given = 0;
  file_name_text overland_wse_location;
  file_name_text flood_grid; int flood_grid_given = 0;
  file_name_text flood_stream; int flood_stream_given = 0;
  file_name_text daily_output; int daily_output_given = 0;
  file_name_text fyssi; int fyssi_given = 0;
  file_name_text analyzers; int analyzers_given = 0;
  int flush_buffer_on = 0;
  int flush_buffer = 0;
  int suppress_printing = 0;
  int super_quiet = 0;
  int pause = 0;
  file_name_text quib_base_grid;
  file_name_text quib_base_stream;
  file_name_text quib_file;
  int quib_compression = 0;
  file_name_text quib_datasetgroup;
  int xybdyoutput_on = 0;
  nivra::xy_output xy_output;
  nivra::xy_input xy_input;

  // Plotting windows.
  int xwindows = 0, xrain = 0, xgwrecharge = 0, xdepth = 0, xinfdep = 0, xsurf = 0;
  int xchan = 0, xbig = 0;
  int x_freq = 0;
  int xwin_width = 0, xwin_height = 0;

  // Calibration.
  file_name_text optimize; int optimize_given = 0;
  int optimize_sed = 0;
  int calib_comp_data = 0;  // a calib_data value
  file_name_text calib_obs_data;
  int calib_obj_func = 0;   // a calib_objective value

  // Outside framework (ZEM), coupled model (MOLA) and stream fluxes (ZV).
  int zem = 0;
  int zem_event_num = 0; int zem_event_num_given = 0;
  file_name_text mola; int mola_given = 0;
  int mola_first = 0;
  file_name_text moist_to_mola; int moist_to_mola_given = 0;
  file_name_text ksat_to_mola; int ksat_to_mola_given = 0;
  file_name_text rough_to_mola; int rough_to_mola_given = 0;
  file_name_text poros_to_mola; int poros_to_mola_given = 0;
  file_name_text erosivity_to_mola; int erosivity_to_mola_given = 0;
  file_name_text crop_fact_to_mola; int crop_fact_to_mola_given = 0;
  file_name_text net_erosion_to_mola; int net_erosion_to_mola_given = 0;
  file_name_text moist_from_mola; int moist_from_mola_given = 0;
  file_name_text ksat_from_mola; int ksat_from_mola_given = 0;
  file_name_text rough_from_mola; int rough_from_mola_given = 0;
  file_name_text erosivity_from_mola; int erosivity_from_mola_given = 0;
  file_name_text crop_fact_from_mola; int crop_fact_from_mola_given = 0;
  file_name_text et_demand_from_mola; int et_demand_from_mola_given = 0;
  file_name_text zv_input; int zv_input_given = 0;
  int zv_fluxes = 0;
  file_name_text zv_nodes_to_segs;
  file_name_text zv_segment_map;
  file_name_text zv_segment_fluxes;

};

struct run_control {
  int rows = 0;
  int cols = 0;
  double gridsize = 0.0;  // cell size, metres
  int tot_time = 0;
  double timestep = 0.0;
  int start_day = 0, start_month = 0, start_year = 0, start_hour = 0, start_minute = 0;
  int outrow = 0, outcol = 0;
  double latitude = 0.0, longitude = 0.0, gmt = 0.0;
  int gmt_given = 0;
  int latitude_given = 0, longitude_given = 0;
  int qout_cfs = 0;
  int quiet = 0;
  double outslope = 0.0;
  double hyd_freq = 0.0;
  int map_freq = 0;
  int map_type = 0;       // a map_format value
  int project_open_failed = 0;
  int infil_model = 0;   // an infil_scheme value
  int chan_routing = 0;  // a chan_scheme value
  int end_day = 0, end_month = 0, end_year = 0, end_hour = 0, end_minute = 0;
  double st_time_step = 0.0;
  int gw_fluxboundtable_given = 0;
};

struct rain_event {
  int precip_source = 0;  // a rain_source value, of the last of the two cards
  // Both cards given: the option check refuses the pair.
  int precip_file_given = 0, precip_unif_given = 0;
  int rain_interp = 0;    // a rain_interpolation value
  double rain_intensity = 0.0;
  int rain_duration = 0;
  file_name_text precip_file;
};

struct project_state {
  nivra::project_options project_options;
  nivra::run_control run_control;
  nivra::rain_event rain_event;

  // File names copied from the cards for the run; names that the record
  // also uses for an array carry the suffix _file_name.
  file_name_text watershed_mask;
  file_name_text elevation_file_name;
  file_name_text mapping_table;
  file_name_text st_mapping_table;
  file_name_text project_folder;
  file_name_text roughness;
  file_name_text reten_depth;
  file_name_text initial_depth;
  file_name_text storage_capacity;
  file_name_text interception_coeff;
  file_name_text dike_map;
  file_name_text lowspot_file;
  file_name_text ov_pump;
  file_name_text ov_hotstart_read_file;
  file_name_text write_ov_hotstart;
  file_name_text stream_cell;
  file_name_text bound_ts;
  file_name_text chan_hotstart_write_file;
  file_name_text chan_hotstart_read_file;
  file_name_text links;
  file_name_text channel_input;
  file_name_text section_table;
  file_name_text materials;
  file_name_text dis_profile;
  file_name_text wat_surf_profile;
  file_name_text dis_profile_out;
  file_name_text wat_surf_profile_out;
  file_name_text chan_point_input;
  file_name_text lake_pump;
  file_name_text lake_output;
  file_name_text overland_lake_map;
  file_name_text overland_lake_file;
  file_name_text precip_file;
  file_name_text hmet_file;
  file_name_text hmet_orog_gages;
  file_name_text albedo;
  file_name_text vheight;
  file_name_text tcoeff;
  file_name_text canopy;
  file_name_text wilting_point;
  file_name_text nwsrfs_elev_snow;
  file_name_text init_swe_file;
  file_name_text snow_swe_file;
  file_name_text snow_temp;
  file_name_text conductivity;
  file_name_text capillary;
  file_name_text porosity;
  file_name_text moisture;
  file_name_text pore_index;
  file_name_text residual_sat;
  file_name_text area_reduction_file_name;
  file_name_text soil_type_map;
  file_name_text soil_layer_input_file;
  file_name_text write_sm_hotstart;
  file_name_text read_sm_hotstart;
  file_name_text water_table;
  file_name_text aquifer_bottom;
  file_name_text gw_porosity_map;
  file_name_text gw_hycond_map;
  file_name_text gw_fluxboundtable;
  file_name_text gw_boundfile;
  file_name_text gw_output;
  file_name_text gw_well_level;
  file_name_text out_well_location;
  file_name_text sacramento;
  file_name_text conceptual_gw;
  file_name_text storm_sewer;
  file_name_text grid_pipe;
  file_name_text pipe_flow;
  file_name_text pipe_head;
  file_name_text pipe_tile;
  file_name_text contam_map;
  file_name_text ov_point_source;
  file_name_text ov_con_map;
  file_name_text sourcefile;
  file_name_text soil_erodability;
  file_name_text crop_management;
  file_name_text conservation_practice;
  file_name_text sand_map;
  file_name_text silt_map;
  file_name_text total_ov_n;
  file_name_text total_ov_p;
  file_name_text total_chan_n;
  file_name_text total_chan_kn;
  file_name_text total_chan_p;
  file_name_text summary;
  file_name_text outlet_hydro;
  file_name_text sig_outlet_hydro;
  file_name_text pav_hydro;
  file_name_text cell_hydro;
  file_name_text discharge;
  file_name_text depth;
  file_name_text inf_depth;
  file_name_text surf_moist;
  file_name_text rate_of_infil;
  file_name_text dis_rain;
  file_name_text gw_recharge_cum;
  file_name_text gw_recharge_inc;
  file_name_text chan_depth_file_name;
  file_name_text chan_sed_flux;
  file_name_text chan_discharge;
  file_name_text chan_stage;
  file_name_text chan_velocity;
  file_name_text in_hyd_location;
  file_name_text out_hyd_location;
  file_name_text in_gwflux_location;
  file_name_text out_gwflux_location;
  file_name_text in_celldepdis_location;
  file_name_text out_celldepdis_location;
  file_name_text in_theta_location;
  file_name_text out_theta_location;
  file_name_text superlink_junc_location;
  file_name_text superlink_node_location;
  file_name_text superlink_junc_flow;
  file_name_text superlink_node_flow;
  file_name_text out_dep_location;
  file_name_text out_con_location;
  file_name_text out_mass_location;
  file_name_text overland_depths;
  file_name_text overland_depth_location;
  file_name_text overland_wse;
  file_name_text overland_wse_location;
  file_name_text flood_grid;
  file_name_text flood_stream;
  file_name_text daily_output;
  file_name_text fyssi;
  file_name_text analyzers;
  file_name_text quib_base_grid;
  file_name_text quib_base_stream;
  file_name_text quib_file;
  file_name_text quib_datasetgroup;
  file_name_text optimize;
  file_name_text calib_obs_data;
  file_name_text mola;
  file_name_text moist_to_mola;
  file_name_text ksat_to_mola;
  file_name_text rough_to_mola;
  file_name_text poros_to_mola;
  file_name_text erosivity_to_mola;
  file_name_text crop_fact_to_mola;
  file_name_text net_erosion_to_mola;
  file_name_text moist_from_mola;
  file_name_text ksat_from_mola;
  file_name_text rough_from_mola;
  file_name_text erosivity_from_mola;
  file_name_text crop_fact_from_mola;
  file_name_text et_demand_from_mola;
  file_name_text zv_input;
  file_name_text zv_nodes_to_segs;
  file_name_text zv_segment_map;
  file_name_text zv_segment_fluxes;

  // The run's identity.
  file_name_text project_file;
  int super_quiet = 0;
  int quiet = 0;                       // QUIET card: the kernels' console lines are left out
  int optimizer_mode = 0;              // an optimiser run: quiet start-up and progress
  capture_buffer* capture = nullptr;   // results handed to a calibration driver

  // Channel hotstart files: the card's name with the extension of each file.
  file_name_text chan_hotstart_read_dht;
  file_name_text chan_hotstart_read_qht;
  file_name_text chan_hotstart_write_dht;
  file_name_text chan_hotstart_write_qht;
  // The maps a groundwater run writes at its end, named after the project
  // file (its name without the extension, with ".gw_hotstart" and
  // ".satsource").
  file_name_text gw_hotstart_write, sat_source_write;
};

// Reads the project file into the three sub-records. An open failure sets
// run_control.project_open_failed. A file that is no project file, a card
// that is not available, a value a card cannot take and a file a card reads
// at once that holds a fault are reported at once (the message names the
// card or file) and stop the run: the result is then false; so does a card
// that stores a value given a second time, or two cards that store into one
// field (both named, with their lines). The codes of the calibration words
// and the nutrient cards (103, 104, 79) are left in the error block for the
// driver, as every failure is. quiet (the optimiser-run flag) silences the
// unknown-card warning and the warning of a flag given twice.
bool read_project_file(std::string_view file_name, project_options& options,
                       run_control& control, rain_event& rain, int quiet);

// Takes the folder of the project file's own name (up to its last
// separator) as the project folder; a bare name sets nothing.
void set_project_folder_from_file(std::string_view file_name);

// Finds the project folder of a project file (its PROJECT_FOLDER card, else
// the folder of the file name) and makes it the process's project folder.
void prescan_project_path(std::string_view file_name);

}  // namespace nivra
