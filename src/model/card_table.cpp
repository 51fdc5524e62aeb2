#include "model/card_table.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "core/process.h"

namespace nivra {

namespace {

using po = project_options;
using rc = run_control;
using re = rain_event;
using xo = xy_output;
using pc = nsm_partition_coeffs;

// Entry makers. A card's constants: set(field, v) stores v in an integer
// field, on(field) stores 1 (a given flag or a switch).
constexpr card_set set(card_field field, int value) { return card_set{field, value}; }
constexpr card_set on(card_field field) { return card_set{field, 1}; }

constexpr card_entry skip(std::string_view word, int code) {
  return {word, code, card_kind::skip, {}, {}, {}, 0, nullptr};
}
constexpr card_entry flag(std::string_view word, int code, card_set s1, card_set s2 = {}) {
  return {word, code, card_kind::flag, {}, s1, s2, 0, nullptr};
}
constexpr card_entry text(std::string_view word, int code, card_field target, card_set s1 = {},
                          card_set s2 = {}) {
  return {word, code, card_kind::text, target, s1, s2, 0, nullptr};
}
constexpr card_entry real(std::string_view word, int code, card_field target, card_set s1 = {},
                          card_set s2 = {}) {
  return {word, code, card_kind::real, target, s1, s2, 0, nullptr};
}
constexpr card_entry integer(std::string_view word, int code, card_field target,
                             card_set s1 = {}, card_set s2 = {}, const char* echo = nullptr) {
  return {word, code, card_kind::integer, target, s1, s2, 0, echo};
}
// Cards read and dropped: the value is echoed with a label.
constexpr card_entry echo_real(std::string_view word, int code, const char* echo) {
  return {word, code, card_kind::real, {}, {}, {}, 0, echo};
}
constexpr card_entry echo_integer(std::string_view word, int code, const char* echo) {
  return {word, code, card_kind::integer, {}, {}, {}, 0, echo};
}
// A card read and dropped whose number is checked but not echoed.
constexpr card_entry dropped_real(std::string_view word, int code) {
  return {word, code, card_kind::real, {}, {}, {}, 0, nullptr};
}
constexpr card_entry special(std::string_view word, int code, card_kind kind, card_field target = {},
                             card_set s1 = {}, int item = 0, card_set s2 = {}) {
  return {word, code, kind, target, s1, s2, item, nullptr};
}

// A card's physical range, and a card whose reader this version does not
// have: it stops the reading with "not available" whatever follows it.
constexpr card_entry in(card_entry e, value_range r) {
  e.range = r;
  return e;
}
constexpr card_entry not_available(card_entry e) {
  e.available = false;
  return e;
}
// A card that no process of this version reads and that changes nothing in
// any run: it is read, checked and warned about with the reason given.
constexpr card_entry no_process(card_entry e, const char* why) {
  e.unused = why;
  return e;
}
constexpr const char* no_window = "no window plots the run; the map and series cards write files";
constexpr const char* no_quib = "no QUIB container is written: QUIB_FILE and MAP_TYPE 4 stop the run";

// Rows and columns of a grid, and spans of time in minutes (a hundred years).
constexpr double max_grid_side = 100000;
constexpr double max_minutes = 52596000;

// Cards that share a code share its handler. Seven words are listed twice;
// their second entries are never reached.
constexpr card_entry card_table[] = {
    skip("pav", 180),
    skip("metric", 180),
    in(echo_integer("units", 0, "Units flag = %d\n"), from_to(0, 1)),
    text("watershed_mask", 104, &po::watershed_mask),
    text("mapping_table", 9, &po::mapping_table, on(&po::mapping_table_given)),
    text("st_mapping_table", 379, &po::st_mapping_table, on(&po::st_mapping_table_given)),
    text("elevation", 105, &po::elevation),
    in(real("gridsize", 1, &rc::gridsize), above_to(0, 100000, "m")),
    special("overtype", 98, card_kind::overtype_word, &po::overtype),
    in(integer("rows", 2, &rc::rows), from_to(1, max_grid_side)),
    in(integer("cols", 3, &rc::cols), from_to(1, max_grid_side)),
    in(integer("tot_time", 4, &rc::tot_time), from_to(1, max_minutes, "minutes")),
    in(real("timestep", 5, &rc::timestep), above_to(0.001, 3600, "s")),
    special("start_date", 39, card_kind::start_date),
    special("start_time", 40, card_kind::start_time),
    in(real("outslope", 6, &rc::outslope), above_to(0, 10)),
    in(integer("outrow", 7, &rc::outrow), from_to(0, max_grid_side)),
    in(integer("outcol", 8, &rc::outcol), from_to(0, max_grid_side)),
    in(real("latitude", 22, &rc::latitude, on(&rc::latitude_given)), from_to(-90, 90, "degrees")),
    in(real("longitude", 23, &rc::longitude, on(&rc::longitude_given)), from_to(-180, 180, "degrees")),
    in(real("gmt", 24, &rc::gmt, on(&rc::gmt_given)), from_to(-12, 14, "hours")),
    flag("qout_cfs", 37, on(&rc::qout_cfs)),
    flag("quiet", 38, on(&rc::quiet)),
    in(real("manning_n", 10, &po::manning_n, on(&po::manning_n_given)), manning_roughness),
    in(real("hyd_freq", 11, &rc::hyd_freq), from_to(0, max_minutes, "minutes")),
    in(integer("map_freq", 12, &rc::map_freq), from_to(0, max_minutes, "minutes")),
    in(integer("map_type", 13, &rc::map_type), from_to(0, 4)),
    in(special("reten_depth", 14, card_kind::reten_depth, &po::reten_depth), retention_depth),
    in(real("rain_intensity", 17, &re::rain_intensity), from_to(0, 1000, "mm/h")),
    in(integer("rain_duration", 18, &re::rain_duration), from_to(0, max_minutes, "minutes")),
    not_available(flag("chan_preiss", 19, set(&rc::chan_routing, chan_scheme::preissmann))),
    flag("chan_explic", 20, set(&rc::chan_routing, chan_scheme::explicit_wave), on(&po::diffusive_chan)),
    flag("diffusive_wave", 20, set(&rc::chan_routing, chan_scheme::explicit_wave), on(&po::diffusive_chan)),
    not_available(flag("chan_mesh", 264, set(&rc::chan_routing, chan_scheme::mesh))),
    in(real("max_courant_number", 263, &po::max_courant_number), above_to(0, 1)),
    flag("chan_drain", 21, set(&rc::chan_routing, chan_scheme::drain)),
    flag("chan_backwater", 179, set(&rc::chan_routing, chan_scheme::backwater)),
    text("watershed_mask", 104, &po::watershed_mask),
    text("elevation", 105, &po::elevation),
    not_available(text("initial_depth", 106, &po::initial_depth, on(&po::initial_depth_given))),
    text("storage_capacity", 107, &po::storage_capacity, on(&po::storage_capacity_given)),
    text("interception_coeff", 108, &po::interception_coeff, on(&po::interception_coeff_given)),
    flag("interception", 109, on(&po::interception_coeff_given), on(&po::storage_capacity_given)),
    text("roughness", 110, &po::roughness, on(&po::roughness_given)),
    flag("ovr_flow_block", 439, on(&po::ovr_flow_block)),
    in(real("snow_roughness", 181, &po::snow_roughness, on(&po::snow_roughness_given)), manning_roughness),
    in(real("snow_darcy", 182, &po::snow_darcy, on(&po::snow_darcy_given)), above_to(0, 1000)),
    no_process(in(real("snow_reynolds", 183, &po::snow_reynolds, on(&po::snow_reynolds_given)), above_to(0, 1e9)),
               "no process takes a Reynolds number for the water flowing through the snowpack"),
    flag("snow_no_infiltrate", 184, on(&po::snow_no_infiltrate)),
    flag("long_term", 25, on(&po::long_term)),
    flag("strict_julian_date", 82, on(&po::strict_julian_date)),
    flag("overbank_flow", 44, on(&po::overbank_flow)),
    in(real("overbank_max_dv", 45, &po::overbank_max_dv, on(&po::overbank_max_dv_given)), from_to(0, 1e9)),
    flag("overland_backwater", 53, on(&po::overland_backwater)),
    not_available(flag("non_ortho_channels", 259, on(&po::diffusive_chan))),
    text("stream_cell", 260, &po::stream_cell),
    flag("head_bound", 46, on(&po::head_bound)),
    in(real("bound_depth", 47, &po::bound_depth), from_to(0, 1000, "m")),
    text("bound_ts", 48, &po::bound_ts, on(&po::bound_ts_given)),
    in(real("k_river", 49, &po::k_river), from_to(0, 1e6)),
    text("explic_backwater", 51, &po::chan_hotstart_write_file, on(&po::explic_backwater_given)),
    text("explic_hotstart", 52, &po::chan_hotstart_read_file, on(&po::explic_hotstart_given)),
    text("write_chan_hotstart", 266, &po::chan_hotstart_write_file, on(&po::write_chan_hotstart_given)),
    flag("hotstart_is_depth", 267, on(&po::hotstart_is_depth)),
    text("read_chan_hotstart", 268, &po::chan_hotstart_read_file, on(&po::read_chan_hotstart_given)),
    in(real("first_order_chan_q", 265, &po::first_order_chan_q), from_to(0, 1e7, "m3/s")),
    flag("stream_loss", 54, on(&po::stream_loss)),
    in(real("m_river", 50, &po::m_river), above_to(0, 1000, "m")),
    in(real("chan_decay_coef", 232, &po::chan_decay_coef), from_to(0, 1e6)),
    in(real("chan_disp_coef", 233, &po::chan_disp_coef), from_to(0, 1e6)),
    in(real("init_chan_conc", 234, &po::init_chan_conc), from_to(0, 1e9)),
    text("hmet_surfaways", 34, &po::hmet_file, on(&po::hmet_surfaways_given)),
    text("hmet_samson", 35, &po::hmet_file, on(&po::hmet_samson_given)),
    text("hmet_guv", 36, &po::hmet_file, on(&po::hmet_guv_given)),
    text("hmet_ascii", 58, &po::hmet_file, on(&po::hmet_ascii_given)),
    text("hmet_ascii_pet", 59, &po::hmet_file, on(&po::hmet_ascii_pet_given)),
    text("hmet_orog_gages", 60, &po::hmet_orog_gages, on(&po::hmet_orog_gages_given), on(&po::orogvar_hmet)),
    in(real("event_min_q", 33, &po::event_min_q), from_to(0, 1e7, "m3/s")),
    in(real("manning_n", 10, &po::manning_n, on(&po::manning_n_given)), manning_roughness),
    in(real("soil_moist_depth", 41, &po::soil_moist_depth), from_to(0, 100, "m")),
    in(real("top_layer_depth", 42, &po::top_layer_depth), from_to(0, 100, "m")),
    in(real("mixing_layer_depth", 43, &po::mixing_layer_depth), from_to(0, 100, "m")),
    flag("et_calc_penman", 31, on(&po::et_calc_penman)),
    flag("et_calc_deardorff", 32, on(&po::et_calc_deardorff)),
    text("conductivity", 111, &po::conductivity, on(&po::conductivity_given)),
    text("contam_map", 112, &po::contam_map, on(&po::contam_map_given)),
    text("capillary", 113, &po::capillary, on(&po::capillary_given)),
    text("porosity", 114, &po::porosity, on(&po::porosity_given)),
    special("moisture", 115, card_kind::text_optional_keep, &po::moisture, on(&po::moisture_given)),
    text("pore_index", 116, &po::pore_index, on(&po::pore_index_given)),
    text("albedo", 26, &po::albedo, on(&po::albedo_given)),
    text("vheight", 27, &po::vheight, on(&po::vheight_given)),
    text("tcoeff", 28, &po::tcoeff, on(&po::tcoeff_given)),
    text("canopy", 29, &po::canopy, on(&po::canopy_given)),
    text("wilting_point", 30, &po::wilting_point, on(&po::wilting_point_given)),
    text("residual_sat", 117, &po::residual_sat, on(&po::residual_sat_given)),
    skip("lake", 118),
    not_available(in(real("m_lake", 121, &po::m_lake, set(&po::m_lake_given, 0)), above_to(0, 1e6))),
    skip("lake_elev", 119),
    text("lake_output", 120, &po::lake_output, on(&po::lake_output_given)),
    skip("radar_intensity", 122),
    text("links", 123, &po::links),
    skip("nodes", 124),
    text("channel_input", 125, &po::channel_input),
    text("optimize", 83, &po::optimize, on(&po::optimize_given)),
    flag("optimize_sed", 84, on(&po::optimize_sed)),
    not_available(text("dis_profile", 126, &po::dis_profile)),
    not_available(text("wat_surf_profile", 128, &po::wat_surf_profile)),
    not_available(text("dis_profile_out", 127, &po::dis_profile_out)),
    not_available(text("wat_surf_profile_out", 129, &po::wat_surf_profile_out)),
    text("precip_file", 130, &re::precip_file, set(&re::precip_source, rain_source::gage_file),
         on(&re::precip_file_given)),
    flag("precip_unif", 16, set(&re::precip_source, rain_source::uniform), on(&re::precip_unif_given)),
    text("discharge", 131, &po::discharge, on(&po::discharge_given)),
    text("depth", 132, &po::depth, on(&po::depth_given)),
    not_available(flag("include_channel_depth", 15, on(&po::include_channel_depth))),
    text("inf_depth", 133, &po::inf_depth, on(&po::inf_depth_given)),
    text("surf_moist", 134, &po::surf_moist, on(&po::surf_moist_given)),
    text("rate_of_infil", 135, &po::rate_of_infil, on(&po::rate_of_infil_given)),
    text("dis_rain", 136, &po::dis_rain, on(&po::dis_rain_given)),
    text("gw_recharge_cum", 137, &po::gw_recharge_cum, on(&po::gw_recharge_cum_given)),
    text("gw_recharge_inc", 138, &po::gw_recharge_inc, on(&po::gw_recharge_inc_given)),
    text("chan_depth", 139, &po::chan_depth, on(&po::chan_depth_given)),
    text("chan_sed_flux", 140, &po::chan_sed_flux, on(&po::chan_sed_flux_given)),
    text("chan_discharge", 141, &po::chan_discharge, on(&po::chan_discharge_given)),
    text("chan_stage", 142, &po::chan_stage, on(&po::chan_stage_given)),
    text("chan_velocity", 143, &po::chan_velocity, on(&po::chan_velocity_given)),
    text("in_hyd_location", 144, &po::in_hyd_location, on(&po::in_hyd_location_given)),
    text("in_gwflux_location", 146, &po::in_gwflux_location, on(&po::in_gwflux_location_given)),
    text("in_celldepdis_location", 148, &po::in_celldepdis_location, on(&po::in_celldepdis_location_given)),
    text("superlink_junc_location", 287, &po::superlink_junc_location, on(&po::superlink_junc_location_given)),
    text("superlink_node_location", 288, &po::superlink_node_location, on(&po::superlink_node_location_given)),
    text("superlink_junc_flow", 289, &po::superlink_junc_flow, on(&po::superlink_junc_flow_given)),
    text("superlink_node_flow", 290, &po::superlink_node_flow, on(&po::superlink_node_flow_given)),
    text("in_theta_location", 96, &po::in_theta_location, on(&po::in_theta_location_given)),
    text("out_dep_location", 227, &po::out_dep_location, on(&po::out_dep_location_given)),
    text("out_con_location", 228, &po::out_con_location, on(&po::out_con_location_given)),
    text("out_mass_location", 229, &po::out_mass_location, on(&po::out_mass_location_given)),
    flag("chan_con_trans", 230, on(&po::chan_con_trans)),
    text("chan_point_input", 231, &po::chan_point_input),
    text("out_hyd_location", 145, &po::out_hyd_location),
    text("out_gwflux_location", 147, &po::out_gwflux_location),
    text("out_celldepdis_location", 149, &po::out_celldepdis_location),
    text("out_theta_location", 97, &po::out_theta_location),
    flag("ov_con_trans", 235, on(&po::ov_con_trans)),
    flag("all_contam_output", 236, on(&po::all_contam_output)),
    flag("soil_con_trans", 245, on(&po::soil_con_trans)),
    flag("soil_contam", 245, on(&po::soil_con_trans)),
    flag("soil_static_conc", 246, on(&po::soil_static_conc)),
    flag("sediment_contam", 247, on(&po::sediment_contam)),
    text("ov_point_source", 237, &po::ov_point_source, on(&po::ov_point_source_given)),
    text("ov_con_map", 238, &po::ov_con_map, on(&po::ov_con_map_given)),
    in(real("ov_disp_coef", 240, &po::ov_disp_coef), from_to(0, 1e6)),
    in(real("ov_decay_coef", 239, &po::ov_decay_coef), from_to(0, 1e6)),
    in(real("ov_mass_load", 244, &po::ov_mass_load), from_to(0, 1e12)),
    in(real("ov_uptake_rate", 241, &po::ov_uptake_rate), from_to(0, 1e6)),
    in(real("kinetics_timestep_factor", 242, &po::kinetics_timestep_factor), above_to(0, 1e6)),
    no_process(in(real("soil_kinetics_timestep_factor", 243, &po::soil_kinetics_timestep_factor), from_to(0, 1e6)),
               "the soil's kinetics keep no clock of their own"),
    no_process(in(integer("suppress_printing", 159, &po::suppress_printing), from_to(0, 1)),
               "the QUIET and SUPER_QUIET cards set what the console shows"),
    not_available(text("materials", 162, &po::materials)),
    skip("fline", 163),
    in(echo_real("alpha", 150, "Alpha = %lf\n"), any_number),
    in(echo_real("beta", 151, "Beta = %lf\n"), any_number),
    in(echo_real("theta", 152, "Theta = %lf\n"), any_number),
    in(echo_real("channel_gridsize", 153, "Channel grid size = %lf\n"), any_number),
    in(echo_integer("channel_deltat", 154, "Channel time step = %d\n"), any_number),
    in(echo_integer("drain_time", 155, "Drainage time = %d\n"), any_number),
    in(echo_real("q_min", 156, "Minimum channel flow = %lf\n"), any_number),
    in(echo_integer("n_links", 157, "Number of links = %d\n"), any_number),
    in(echo_integer("max_nodes", 158, "Number of nodes = %d\n"), any_number),
    skip("lakes_mask", 160),
    skip("lakes_elevation", 161),
    not_available(text("section_table", 164, &po::section_table)),
    in(real("retention", 165, &po::retention, on(&po::retention_given)), retention_depth),
    flag("green_ampt", 166, set(&rc::infil_model, infil_scheme::green_ampt)),
    flag("inf_redist", 167, set(&rc::infil_model, infil_scheme::redistribution)),
    skip("no_cont_inf_redist", 168),
    flag("inf_layered_soil", 55, set(&rc::infil_model, infil_scheme::layered_soil)),
    text("soil_type_map", 56, &po::soil_type_map),
    text("soil_layer_input_file", 85, &po::soil_layer_input_file),
    flag("inf_richards", 86, set(&rc::infil_model, infil_scheme::richards)),
    in(real("richards_weight", 87, &po::richards_weight), from_to(0, 1)),
    special("richards_k_option", 89, card_kind::richards_k_word, &po::richards_k_option),
    special("richards_c_option", 90, card_kind::richards_c_word, &po::richards_c_option),
    special("richards_upper_option", 91, card_kind::richards_upper_word, &po::richards_upper_option),
    flag("seasonal_rs", 99, on(&po::seasonal_rs)),
    in(integer("seasonal_rs_spring", 100, &po::seasonal_rs_spring), from_to(0, 12, "month")),
    in(integer("seasonal_rs_fall", 101, &po::seasonal_rs_fall), from_to(0, 12, "month")),
    in(integer("seasonal_rs_summer_start", 102, &po::seasonal_rs_summer_start), from_to(0, 12, "month")),
    in(integer("seasonal_rs_summer_end", 103, &po::seasonal_rs_summer_end), from_to(0, 12, "month")),
    in(integer("richards_iter_max", 92, &po::richards_iter_max), from_to(1, 1000000)),
    in(real("richards_dtheta_max", 88, &po::richards_dtheta_max), above_to(0, 1)),
    text("water_table", 93, &po::water_table, on(&po::water_table_given)),
    text("aquifer_bottom", 94, &po::aquifer_bottom),
    in(real("aquifer_delta_z", 95, &po::aquifer_delta_z), from_to(0, 10000, "m")),
    in(integer("soil_erosion", 61, &po::soil_erosion, on(&po::soil_erosion_on)), from_to(0, 99)),
    flag("adjust_channel_bed", 62, on(&po::adjust_channel_bed)),
    not_available(text("soil_erodability", 63, &po::soil_erodability)),
    not_available(text("crop_management", 64, &po::crop_management)),
    not_available(text("conservation_practice", 65, &po::conservation_practice)),
    not_available(text("sand_map", 66, &po::sand_map)),
    not_available(text("silt_map", 67, &po::silt_map)),
    text("in_sed_loc", 68, &po::in_sed_loc, on(&po::in_sed_loc_given)),
    text("vol_sed_susp", 69, &po::vol_sed_susp, on(&po::vol_sed_susp_given)),
    text("max_sed_flux", 70, &po::max_sed_flux, on(&po::max_sed_flux_given)),
    text("net_sed_volume", 71, &po::net_sed_volume, on(&po::net_sed_volume_given)),
    text("adjust_elev", 81, &po::adjust_elev, on(&po::adjust_elev_given)),
    text("outlet_sed_flux", 72, &po::outlet_sed_flux),
    text("outlet_sed_tss", 73, &po::outlet_sed_tss, on(&po::outlet_sed_tss_given)),
    text("out_tss_loc", 74, &po::out_tss_loc, on(&po::out_tss_loc_given)),
    text("out_sed_loc", 75, &po::out_sed_loc),
    in(real("sand_size", 76, &po::sand_size), above_to(0, 100, "mm")),
    not_available(in(real("silt_size", 77, &po::silt_size), above_to(0, 100, "mm"))),
    not_available(in(real("clay_size", 78, &po::clay_size), above_to(0, 100, "mm"))),
    in(real("water_temp", 79, &po::water_temp), from_to(-10, 60, "degrees C")),
    in(real("sed_porosity", 80, &po::sed_porosity), from_to(0, 0.99)),
    special("area_reduction", 169, card_kind::text_optional, &po::area_reduction, on(&po::area_reduction_given)),
    in(real("unif_area_reduction", 170, &po::unif_area_reduction, on(&po::unif_area_reduction_given)), from_to(0, 1)),
    flag("rain_inv_distance", 171, set(&re::rain_interp, rain_interpolation::inverse_distance)),
    flag("rain_thiessen", 172, set(&re::rain_interp, rain_interpolation::thiessen)),
    flag("radar_mm", 173, on(&po::radar_mm)),
    text("summary", 174, &po::summary),
    text("outlet_hydro", 175, &po::outlet_hydro),
    text("sig_outlet_hydro", 176, &po::sig_outlet_hydro, on(&po::sig_outlet_hydro_given)),
    text("pav_hydro", 177, &po::pav_hydro, on(&po::pav_hydro_given)),
    not_available(text("cell_hydro", 178, &po::cell_hydro)),
    flag("gw_simulation", 185, on(&po::gw_simulation)),
    flag("gw_assign_theta", 186, on(&po::gw_assign_theta)),
    in(integer("gw_lsor_dir", 187, &po::gw_lsor_dir), from_to(0, 10)),
    in(real("gw_unif_porosity", 197, &po::gw_unif_porosity, on(&po::gw_unif_porosity_given)), above_to(0, 1)),
    text("gw_porosity_map", 196, &po::gw_porosity_map, on(&po::gw_porosity_map_given)),
    in(real("gw_unif_hycond", 199, &po::gw_unif_hycond, on(&po::gw_unif_hycond_given)), from_to(0, 1e6)),
    text("gw_hycond_map", 198, &po::gw_hycond_map, on(&po::gw_hycond_map_given)),
    in(real("gw_timestep", 188, &po::gw_timestep), above_to(0, 1e7)),
    in(real("gw_lsor_con", 189, &po::gw_lsor_con), above_to(0, 1)),
    in(real("single_unsat_sat", 190, &po::single_unsat_sat, on(&po::single_unsat_sat_given)), from_to(0, 1)),
    in(real("gw_leakage_rate", 191, &po::gw_leakage_rate), from_to(0, 1e6)),
    in(real("gw_relax_coeff", 192, &po::gw_relax_coeff), above_to(0, 2)),
    text("gw_fluxboundtable", 193, &po::gw_fluxboundtable, on(&rc::gw_fluxboundtable_given)),
    text("gw_flux_boundtable", 193, &po::gw_fluxboundtable, on(&rc::gw_fluxboundtable_given)),
    special("gw_boundfile", 194, card_kind::text_if_value, &po::gw_boundfile, on(&po::gw_boundfile_given)),
    text("gw_output", 195, &po::gw_output, on(&po::gw_output_given)),
    text("gw_well_level", 200, &po::gw_well_level, on(&po::gw_well_level_given)),
    text("out_well_location", 201, &po::out_well_location),
    text("overland_depths", 202, &po::overland_depths, on(&po::overland_depths_given)),
    text("overland_depth_location", 203, &po::overland_depth_location),
    text("overland_wse", 204, &po::overland_wse, on(&po::overland_wse_given)),
    text("overland_wse_location", 205, &po::overland_wse_location),
    flag("cfgi", 206, on(&po::cfgi)),
    in(real("cfgi_index", 207, &po::cfgi_index), from_to(0, 10000)),
    in(real("cfgi_k", 209, &po::cfgi_k), from_to(0, 1000)),
    flag("gtfsm", 208, on(&po::gtfsm)),
    flag("zem", 210, on(&po::zem)),
    text("mola", 211, &po::mola, on(&po::mola_given)),
    in(special("zem_event_num", 212, card_kind::integer_or_none, &po::zem_event_num, on(&po::zem_event_num_given)), from_to(0, 1000000)),
    flag("mola_first", 213, on(&po::mola_first)),
    text("moist_to_mola", 214, &po::moist_to_mola, on(&po::moist_to_mola_given)),
    text("ksat_to_mola", 215, &po::ksat_to_mola, on(&po::ksat_to_mola_given)),
    text("rough_to_mola", 216, &po::rough_to_mola, on(&po::rough_to_mola_given)),
    text("poros_to_mola", 217, &po::poros_to_mola, on(&po::poros_to_mola_given)),
    not_available(text("erosivity_to_mola", 218, &po::erosivity_to_mola, on(&po::erosivity_to_mola_given))),
    not_available(text("crop_fact_to_mola", 219, &po::crop_fact_to_mola, on(&po::crop_fact_to_mola_given))),
    not_available(text("net_erosion_to_mola", 220, &po::net_erosion_to_mola, on(&po::net_erosion_to_mola_given))),
    text("moist_from_mola", 221, &po::moist_from_mola, on(&po::moist_from_mola_given)),
    text("ksat_from_mola", 222, &po::ksat_from_mola, on(&po::ksat_from_mola_given)),
    text("rough_from_mola", 223, &po::rough_from_mola, on(&po::rough_from_mola_given)),
    not_available(text("erosivity_from_mola", 224, &po::erosivity_from_mola, on(&po::erosivity_from_mola_given))),
    not_available(text("crop_fact_from_mola", 225, &po::crop_fact_from_mola, on(&po::crop_fact_from_mola_given))),
    not_available(text("et_demand_from_mola", 226, &po::et_demand_from_mola, on(&po::et_demand_from_mola_given))),
    text("sacramento", 275, &po::sacramento, on(&po::sacramento_given)),
    text("sacramento_pars", 275, &po::sacramento, on(&po::sacramento_given)),
    flag("topo_index", 276, on(&po::topo_index)),
    text("conceptual_gw", 277, &po::conceptual_gw, on(&po::conceptual_gw_given)),
    not_available(flag("topo_index_cgs", 278, on(&po::topo_index_cgs))),
    text("storm_sewer", 279, &po::storm_sewer, on(&po::storm_sewer_given)),
    flag("superlink_c_opt", 281, on(&po::superlink_c_opt)),
    flag("high_head_release", 282, on(&po::high_head_release)),
    flag("superlink_drainmod", 283, on(&po::superlink_drainmod)),
    no_process(flag("xwindows", 248, on(&po::xwindows)), no_window),
    no_process(flag("xrain", 249, on(&po::xrain)), no_window),
    no_process(flag("xgwrecharge", 250, on(&po::xgwrecharge)), no_window),
    no_process(flag("xdepth", 251, on(&po::xdepth)), no_window),
    no_process(flag("xinfdep", 252, on(&po::xinfdep)), no_window),
    no_process(flag("xsurf", 258, on(&po::xsurf)), no_window),
    no_process(in(integer("x_freq", 253, &po::x_freq), from_to(1, 1000000)), no_window),
    no_process(flag("xchan", 254, on(&po::xchan)), no_window),
    no_process(in(integer("xwin_width", 255, &po::xwin_width), from_to(1, 100000, "pixels")), no_window),
    no_process(in(integer("xwin_height", 256, &po::xwin_height), from_to(1, 100000, "pixels")), no_window),
    no_process(flag("xbig", 257, on(&po::xbig)), no_window),
    text("dike_map", 261, &po::dike_map, on(&po::dike_map_given)),
    text("embankment", 261, &po::dike_map, on(&po::dike_map_given)),
    text("lowspot_file", 262, &po::lowspot_file, on(&po::lowspot_file_given)),
    text("overland_lake_map", 273, &po::overland_lake_map, on(&po::overland_lake_map_given)),
    text("overland_lake_file", 274, &po::overland_lake_file),
    flag("pause", 291, on(&po::pause)),
    in(integer("flush_buffer", 292, &po::flush_buffer, on(&po::flush_buffer_on)), from_to(1, 1000000000, "progress lines")),
    text("flood_grid", 293, &po::flood_grid, on(&po::flood_grid_given)),
    text("flood_stream", 294, &po::flood_stream, on(&po::flood_stream_given)),
    flag("ov_boundary", 295, on(&po::ov_boundary)),
    special("time_series_file", 296, card_kind::time_series_file),
    flag("use_wells", 297, on(&po::use_wells)),
    special("elev_series_file", 298, card_kind::elev_series_file),
    not_available(text("lake_pump", 299, &po::lake_pump, on(&po::lake_pump_given))),
    no_process(text("quib_base_grid", 301, &po::quib_base_grid), no_quib),
    no_process(text("quib_base_stream", 302, &po::quib_base_stream), no_quib),
    text("quib_file", 300, &po::quib_file),
    no_process(in(integer("quib_compression", 303, &po::quib_compression), from_to(0, 9)), no_quib),
    no_process(text("quib_datasetgroup", 304, &po::quib_datasetgroup), no_quib),
    flag("stream_info", 305, on(&po::stream_info)),
    text("zv_input", 306, &po::zv_input, on(&po::zv_input_given)),
    special("nutrients", 307, card_kind::nutrients, &po::nutrients),
    special("aq_env", 308, card_kind::nsm_aq_env),
    in(special("ov_init_no2", 309, card_kind::nsm_ov_init, {}, {}, 0), from_to(0, 1e9)),
    in(special("ov_init_no3", 310, card_kind::nsm_ov_init, {}, {}, 1), from_to(0, 1e9)),
    in(special("ov_init_nh4", 311, card_kind::nsm_ov_init, {}, {}, 2), from_to(0, 1e9)),
    in(special("ov_init_on", 312, card_kind::nsm_ov_init, {}, {}, 3), from_to(0, 1e9)),
    in(special("ov_init_op", 313, card_kind::nsm_ov_init, {}, {}, 4), from_to(0, 1e9)),
    in(special("ov_init_dp", 314, card_kind::nsm_ov_init, {}, {}, 5), from_to(0, 1e9)),
    in(special("ov_init_alg", 315, card_kind::nsm_ov_init, {}, {}, 6), from_to(0, 1e9)),
    in(special("ov_init_cbod", 316, card_kind::nsm_ov_init, {}, {}, 7), from_to(0, 1e9)),
    in(special("ov_init_do", 317, card_kind::nsm_ov_init, {}, {}, 8), from_to(0, 1e9)),
    in(special("ov_doc_init", 318, card_kind::nsm_ov_init, {}, {}, 9), from_to(0, 1e9)),
    in(special("ov_doc_foc", 319, card_kind::nsm_ov_init, {}, {}, 10), from_to(0, 1e9)),
    in(special("ov_dispersion", 320, card_kind::nsm_ov_init, {}, {}, 11), from_to(0, 1e9)),
    flag("nwsrfs_snow", 405, on(&po::nwsrfs_snow)),
    flag("eb_snow", 406, on(&po::eb_snow)),
    not_available(flag("nwsrfs_retention", 407, on(&po::nwsrfs_retention))),
    skip("tirus_waves", 408),
    flag("snap_retention", 409, on(&po::snap_retention)),
    flag("route_lat_snow", 410, on(&po::route_lat_snow)),
    text("nwsrfs_elev_snow", 411, &po::nwsrfs_elev_snow, on(&po::nwsrfs_elev_snow_given)),
    flag("orogvar_hmet", 412, on(&po::orogvar_hmet)),
    in(real("nwsrfs_mf_max", 413, &po::nwsrfs_mf_max, on(&po::nwsrfs_mf_max_given)), from_to(0, 100)),
    in(real("nwsrfs_mf_min", 414, &po::nwsrfs_mf_min, on(&po::nwsrfs_mf_min_given)), from_to(0, 100)),
    in(real("nwsrfs_fr_use", 415, &po::nwsrfs_fr_use, on(&po::nwsrfs_fr_use_given)), from_to(0, 1)),
    in(real("nwsrfs_scf", 416, &po::nwsrfs_scf, on(&po::nwsrfs_scf_given)), from_to(0, 10)),
    in(real("hmet_elev_gage", 417, &po::hmet_elev_gage, on(&po::hmet_elev_gage_given)), ground_elevation),
    in(real("hmet_xcoord_gage", 418, &po::hmet_xcoord_gage, on(&po::hmet_xcoord_gage_given)), any_number),
    in(real("hmet_ycoord_gage", 419, &po::hmet_ycoord_gage, on(&po::hmet_ycoord_gage_given)), any_number),
    in(real("hmet_lapse_rate", 420, &po::hmet_lapse_rate, on(&po::hmet_lapse_rate_given)), from_to(-50, 50, "degrees C per km")),
    in(real("nwsrfs_tipm", 421, &po::nwsrfs_tipm, on(&po::nwsrfs_tipm_given)), from_to(0, 1)),
    in(real("nwsrfs_nmf", 422, &po::nwsrfs_nmf, on(&po::nwsrfs_nmf_given)), from_to(0, 100)),
    in(dropped_real("nwsrfs_fua", 423), from_to(0, 100)),
    in(real("nwsrfs_plwhc", 424, &po::nwsrfs_plwhc, on(&po::nwsrfs_plwhc_given)), from_to(0, 1)),
    in(real("snow_temp_base", 425, &po::snow_temp_base, on(&po::snow_temp_base_given)), from_to(-20, 20, "degrees C")),
    in(real("yes_dalr_flag", 426, &po::yes_dalr_flag, on(&po::yes_dalr_flag_given)), from_to(-50, 50, "degrees C per km")),
    in(special("st_init_no2", 321, card_kind::nsm_st_init, {}, {}, 0), from_to(0, 1e9)),
    in(special("st_init_no3", 322, card_kind::nsm_st_init, {}, {}, 1), from_to(0, 1e9)),
    in(special("st_init_nh4", 323, card_kind::nsm_st_init, {}, {}, 2), from_to(0, 1e9)),
    in(special("st_init_on", 324, card_kind::nsm_st_init, {}, {}, 3), from_to(0, 1e9)),
    in(special("st_init_op", 325, card_kind::nsm_st_init, {}, {}, 4), from_to(0, 1e9)),
    in(special("st_init_dp", 326, card_kind::nsm_st_init, {}, {}, 5), from_to(0, 1e9)),
    in(special("st_init_alg", 327, card_kind::nsm_st_init, {}, {}, 6), from_to(0, 1e9)),
    in(special("st_init_cbod", 328, card_kind::nsm_st_init, {}, {}, 7), from_to(0, 1e9)),
    in(special("st_init_do", 329, card_kind::nsm_st_init, {}, {}, 8), from_to(0, 1e9)),
    not_available(text("sourcefile", 330, &po::sourcefile, on(&po::sourcefile_given))),
    special("out_ov_no2", 331, card_kind::nsm_out_ov, {}, {}, 0),
    special("out_ov_no3", 332, card_kind::nsm_out_ov, {}, {}, 1),
    special("out_ov_nh4", 333, card_kind::nsm_out_ov, {}, {}, 2),
    special("out_ov_on", 334, card_kind::nsm_out_ov, {}, {}, 3),
    special("out_ov_op", 335, card_kind::nsm_out_ov, {}, {}, 4),
    special("out_ov_dp", 336, card_kind::nsm_out_ov, {}, {}, 5),
    special("out_ov_alg", 337, card_kind::nsm_out_ov, {}, {}, 6),
    special("out_ov_cbod", 338, card_kind::nsm_out_ov, {}, {}, 7),
    special("out_ov_do", 339, card_kind::nsm_out_ov, {}, {}, 8),
    special("out_st_no2", 340, card_kind::nsm_out_st, {}, {}, 0),
    special("out_st_no3", 341, card_kind::nsm_out_st, {}, {}, 1),
    special("out_st_nh4", 342, card_kind::nsm_out_st, {}, {}, 2),
    special("out_st_on", 343, card_kind::nsm_out_st, {}, {}, 3),
    special("out_st_op", 344, card_kind::nsm_out_st, {}, {}, 4),
    special("out_st_dp", 345, card_kind::nsm_out_st, {}, {}, 5),
    special("out_st_alg", 346, card_kind::nsm_out_st, {}, {}, 6),
    special("out_st_cbod", 347, card_kind::nsm_out_st, {}, {}, 7),
    special("out_st_do", 348, card_kind::nsm_out_st, {}, {}, 8),
    special("out_hyd_no2", 349, card_kind::nsm_out_hyd, {}, {}, 0),
    special("out_hyd_no3", 350, card_kind::nsm_out_hyd, {}, {}, 1),
    special("out_hyd_nh4", 351, card_kind::nsm_out_hyd, {}, {}, 2),
    special("out_hyd_on", 352, card_kind::nsm_out_hyd, {}, {}, 3),
    special("out_hyd_op", 353, card_kind::nsm_out_hyd, {}, {}, 4),
    special("out_hyd_dp", 354, card_kind::nsm_out_hyd, {}, {}, 5),
    special("out_hyd_alg", 355, card_kind::nsm_out_hyd, {}, {}, 6),
    special("out_hyd_cbod", 356, card_kind::nsm_out_hyd, {}, {}, 7),
    special("out_hyd_do", 357, card_kind::nsm_out_hyd, {}, {}, 8),
    text("ov_init_depth", 270, &po::ov_hotstart_read_file, on(&po::ov_hotstart_read_given)),
    text("write_ov_hotstart", 269, &po::write_ov_hotstart, on(&po::write_ov_hotstart_given)),
    text("read_ov_hotstart", 270, &po::ov_hotstart_read_file, on(&po::ov_hotstart_read_given)),
    text("write_sm_hotstart", 272, &po::write_sm_hotstart, on(&po::write_sm_hotstart_given)),
    text("read_sm_hotstart", 271, &po::read_sm_hotstart, on(&po::read_sm_hotstart_given)),
    skip("ntr_sum", 359),
    special("replace_params", 360, card_kind::replace_params),
    special("replace_vals", 361, card_kind::replace_vals),
    in(special("replace_line", 362, card_kind::replace_line), from_to(1, 1000000000)),
    special("replace_folder", 363, card_kind::output_folder),
    special("output_folder", 363, card_kind::output_folder),
    special("project_folder", 380, card_kind::project_folder),
    special("project_path", 380, card_kind::project_folder),
    text("ov_pump", 364, &po::ov_pump, on(&po::ov_pump_given)),
    in(real("init_elev_head", 365, &po::init_elev_head, on(&po::init_elev_head_given)), ground_elevation),
    special("end_time", 366, card_kind::end_time),
    text("fyssi", 367, &po::fyssi, on(&po::fyssi_given)),
    not_available(text("daily_output", 368, &po::daily_output, on(&po::daily_output_given))),
    flag("super_quiet", 369, on(&po::super_quiet)),
    flag("zv_fluxes", 370, on(&po::zv_fluxes)),
    text("zv_nodes_to_segs", 371, &po::zv_nodes_to_segs),
    text("zv_segment_map", 372, &po::zv_segment_map),
    text("zv_segment_fluxes", 373, &po::zv_segment_fluxes),
    text("storm_sewer", 279, &po::storm_sewer, on(&po::storm_sewer_given)),
    flag("superlink_c_opt", 281, on(&po::superlink_c_opt)),
    flag("high_head_release", 282, on(&po::high_head_release)),
    flag("superlink_drainmod", 283, on(&po::superlink_drainmod)),
    text("grid_pipe", 280, &po::grid_pipe),
    text("pipe_flow", 284, &po::pipe_flow, on(&po::pipe_flow_given)),
    text("pipe_head", 285, &po::pipe_head, on(&po::pipe_head_given)),
    text("pipe_tile", 286, &po::pipe_tile, on(&po::pipe_tile_given)),
    in(integer("num_threads", 374, &po::num_threads), from_to(1, 4096)),
    in(real("st_time_step", 375, &rc::st_time_step), from_to(0, 3600, "s")),
    // The observation settings of a calibration: no driver compares a run
    // with them, so after its value is checked each stops as not available.
    special("calib_comp_data", 376, card_kind::calib_comp_data_word, &po::calib_comp_data),
    not_available(text("calib_obs_data", 377, &po::calib_obs_data)),
    special("calib_obj_func", 378, card_kind::calib_obj_func_word, &po::calib_obj_func),
    text("analyzers", 381, &po::analyzers, on(&po::analyzers_given)),
    text("total_ov_n", 382, &po::total_ov_n, on(&po::total_ov_n_given)),
    text("total_ov_p", 383, &po::total_ov_p, on(&po::total_ov_p_given)),
    text("total_chan_n", 384, &po::total_chan_n, on(&po::total_chan_n_given)),
    text("total_chan_kn", 385, &po::total_chan_kn, on(&po::total_chan_kn_given)),
    text("total_chan_p", 386, &po::total_chan_p, on(&po::total_chan_p_given)),
    in(real("chan_ph", 387, &po::chan_ph), from_to(0, 14)),
    flag("soils_nsm_p", 388, set(&po::soils_nsm_p, 2)),
    flag("soils_nsm_n", 390, set(&po::soils_nsm_n, 2)),
    flag("soils_nsm_c", 389, set(&po::soils_nsm_c, 2)),
    in(special("no2_koc", 391, card_kind::partition_coeff, &pc::no2_koc), from_to(0, 1e9)),
    in(special("no3_koc", 392, card_kind::partition_coeff, &pc::no3_koc), from_to(0, 1e9)),
    in(special("nh4_koc", 393, card_kind::partition_coeff, &pc::nh4_koc), from_to(0, 1e9)),
    in(special("on_koc", 394, card_kind::partition_coeff, &pc::on_koc), from_to(0, 1e9)),
    in(special("op_koc", 395, card_kind::partition_coeff, &pc::op_koc), from_to(0, 1e9)),
    in(special("dp_koc", 396, card_kind::partition_coeff, &pc::dp_koc), from_to(0, 1e9)),
    in(special("no2_km", 397, card_kind::partition_coeff, &pc::no2_km), from_to(0, 1e9)),
    in(special("no3_km", 398, card_kind::partition_coeff, &pc::no3_km), from_to(0, 1e9)),
    in(special("nh4_km", 399, card_kind::partition_coeff, &pc::nh4_km), from_to(0, 1e9)),
    in(special("on_km", 400, card_kind::partition_coeff, &pc::on_km), from_to(0, 1e9)),
    in(special("op_km", 401, card_kind::partition_coeff, &pc::op_km), from_to(0, 1e9)),
    in(special("dp_km", 402, card_kind::partition_coeff, &pc::dp_km), from_to(0, 1e9)),
    in(special("init_swe_depth", 403, card_kind::init_swe_depth), from_to(0, 100000)),
    text("snow_swe_file", 404, &po::snow_swe_file, on(&po::snow_swe_file_given)),
    // No process of this version computes the snow's surface temperature.
    not_available(text("snow_temp", 428, &po::snow_temp, on(&po::snow_temp_given))),
    skip("simulation_input", 180),
    text("xybdyoutput_pts", 429, &xo::file_name, set(&xo::mode, 0), on(&po::xybdyoutput_on)),
    text("xybdyoutput_mask", 430, &xo::file_name, set(&xo::mode, 1), on(&po::xybdyoutput_on)),
    text("xybdyoutput_ovdep", 431, &xo::ov_file_name),
    text("xybdyoutput_gwhead", 432, &xo::gw_file_name),
    text("xybdyoutput_stflow", 433, &xo::stream_file_name),
    special("xybdyinput_ovdep", 434, card_kind::xy_input_file, {}, on(&po::ov_boundary), 1,
        on(&po::xy_ov_boundary)),
    special("xybdyinput_gwhead", 435, card_kind::xy_input_file, {}, {}, 2),
    special("xybdyinput_stflow", 436, card_kind::xy_input_file, {}, {}, 3),
    special("xybdyinput_sttimeseries", 437, card_kind::xy_input_file, {}, {}, 4),
    special("xybdyinput_gwheadinterp", 438, card_kind::xy_input_file, {}, {}, 5),
};

static_assert(std::size(card_table) <= card_table_capacity,
              "project_options::cards_given holds one bit per entry of the card table");

// The entry of a lower-case word. The index is built once from the
// immutable table; emplace keeps the first entry of a word listed twice.
const card_entry* lookup(std::string_view lower_word) {
  static const std::unordered_map<std::string_view, const card_entry*> index = [] {
    std::unordered_map<std::string_view, const card_entry*> m;
    m.reserve(std::size(card_table));
    for (const card_entry& e : card_table) m.emplace(e.word, &e);
    return m;
  }();
  auto it = index.find(lower_word);
  return it == index.end() ? nullptr : it->second;
}

}  // namespace

std::span<const card_entry> project_card_table() { return card_table; }

card_repeat repeat_rule(const card_entry& e) {
  switch (e.kind) {
    case card_kind::skip:
    // Each adds its file's series, keys, values or points, or acts on the
    // lines that follow it.
    case card_kind::time_series_file:
    case card_kind::elev_series_file:
    case card_kind::replace_params:
    case card_kind::replace_vals:
    case card_kind::replace_line:
    case card_kind::xy_input_file: return card_repeat::free;
    case card_kind::flag: return card_repeat::harmless;
    case card_kind::integer:
    case card_kind::real:
      // A number read, echoed and dropped.
      if (std::holds_alternative<std::monostate>(e.target) && std::holds_alternative<std::monostate>(e.set1.field))
        return card_repeat::free;
      return card_repeat::once;
    default: return card_repeat::once;
  }
}

namespace {
bool same_field(const card_field& a, const card_field& b) {
  return !std::holds_alternative<std::monostate>(a) && a == b;
}
}  // namespace

bool cards_collide(const card_entry& a, const card_entry& b) {
  if (a.code == b.code || repeat_rule(a) == card_repeat::free || repeat_rule(b) == card_repeat::free) return false;
  if (same_field(a.target, b.target)) return true;
  for (const card_set* x : {&a.set1, &a.set2}) {
    if (same_field(b.target, x->field)) return true;
    for (const card_set* y : {&b.set1, &b.set2}) {
      if (same_field(a.target, y->field)) return true;
      if (same_field(x->field, y->field) && x->value != y->value) return true;
    }
  }
  return false;
}

const card_entry* find_project_card(std::string_view word) { return lookup(to_lower(word)); }

std::size_t card_table_index(const card_entry& e) { return static_cast<std::size_t>(&e - card_table); }

bool card_given(const project_options& po, std::string_view word) {
  const card_entry* e = find_project_card(word);
  return e && po.cards_given.test(card_table_index(*e));
}

int card_line_number(const project_options& po, std::string_view word) {
  const card_entry* e = find_project_card(word);
  return e ? po.card_lines[card_table_index(*e)] : 0;
}

std::string card_on_line(std::string_view word, int line) {
  std::string s = "the ";
  for (char c : word) s.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  if (line < 1) return s + " card";
  return s + " card on line " + std::to_string(line) + " of the project file";
}

void warn_card(project_options& po, std::string text, int quiet) {
  if (quiet != 1 && process.parallel_env.proc_id == 0) std::printf("Warning: %s\n", text.c_str());
  po.card_warnings.push_back(std::move(text));
}

const card_entry* classify_card_entry(card_line& line, int quiet) {
  std::string token;
  if (!next_token(line, token)) return nullptr;
  std::string word = to_lower(token);
  if (word[0] == '#') return nullptr;
  const card_entry* e = lookup(word);
  if (!e) {
    if (quiet != 1 && process.parallel_env.proc_id == 0)
      std::printf("Warning: unknown card found in the project file: %s\n", word.c_str());
    return nullptr;
  }
  return e;
}

int classify_project_card(card_line& line, int quiet) {
  const card_entry* e = classify_card_entry(line, quiet);
  return e ? e->code : skip_card_code;
}

}  // namespace nivra
