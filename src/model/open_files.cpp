#include "model/open_files.h"

#include <cstdio>
#include <string>

#include "core/errors.h"
#include "core/process.h"
#include "model/model_state.h"
#include "output/pav_file.h"
#include "quality/nsm.h"
#include "run/steps.h"

namespace nivra {

namespace {

void fail(int code, std::string_view str1, std::string_view str2) {
  set_error(code, str1, str2);
  process.error_block.stop = 1;
}

// Opens a file; on failure fills the error block with code 4, the role and
// the name, unless the failure does not count (the mapping-table file
// supplies what the file would). True when the opening may go on.
bool open_role(guarded_file& f, std::string_view name, const char* mode, std::string_view role,
               bool failure_counts = true) {
  if (open_guarded_file(f, name, mode)) return true;
  if (!failure_counts) return true;
  fail(4, role, name);
  return false;
}

// Location outputs report their own codes with the file name first.
bool open_location_output(guarded_file& f, std::string_view name, int code) {
  if (open_guarded_file(f, name, "w")) return true;
  fail(code, name, name);
  return false;
}

bool open_evaporation_output(model_state& ms) {
  if (!open_role(ms.evap_out_file, "evap_out", "w", "evaporation output")) return false;
  std::fprintf(ms.evap_out_file.fp,
               "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      "
               "avgbottomfav  CFGI         temp(C)  ");
  if (ms.sm_accounting) std::fprintf(ms.evap_out_file.fp, " avg_theta_L1  avg_theta_L2");
  std::fprintf(ms.evap_out_file.fp, "\n");
  return true;
}

bool open_maps_and_inputs(model_state& ms) {
  const int* table = ms.cmt_table_present;

  if (!open_role(ms.watershed_mask_file, ms.watershed_mask, "r", "watershed mask")) return false;
  if (!open_role(ms.elevation_file, ms.elevation_file_name, "r", "elevation data")) return false;
  if (!open_role(ms.summary_file, ms.summary, "w", "output summary")) return false;
  process.summary_log = &ms.summary_file;
  if (!open_role(ms.outlet_hydro_file, ms.outlet_hydro, "w", "output hydrograph")) return false;

  if (ms.overland_depths_given) {
    if (!open_role(ms.overland_depth_location_file, ms.overland_depth_location, "r",
                   "overland depth locations"))
      return false;
    if (!open_role(ms.overland_depths_file, ms.overland_depths, "w", "overland depth output"))
      return false;
  }

  if (ms.gw_simulation) {
    if (!open_role(ms.gw_boundary_file, ms.gw_boundfile, "r", "groundwater boundary")) return false;
    if (ms.gw_well_level_given) {
      if (!open_role(ms.well_location_file, ms.out_well_location, "r", "well location"))
        return false;
      if (!open_role(ms.well_level_file, ms.gw_well_level, "w", "well level output")) return false;
    }
    if (ms.gw_hycond_map_given &&
        !open_role(ms.gw_hycond_file, ms.gw_hycond_map, "r", "groundwater hycond"))
      return false;
    if (ms.gw_porosity_map_given &&
        !open_role(ms.gw_porosity_file, ms.gw_porosity_map, "r", "groundwater porosity"))
      return false;
    if (!ms.inf_richards) {
      if (ms.water_table_given &&
          !open_role(ms.water_table_file, ms.water_table, "r", "water table"))
        return false;
      if (!open_role(ms.aquifer_bottom_file, ms.aquifer_bottom, "r", "aquifer bottom"))
        return false;
    }
  }

  if (ms.overland_wse_given) {
    if (!open_role(ms.overland_wse_location_file, ms.overland_wse_location, "r",
                   "overland wse locations"))
      return false;
    if (!open_role(ms.overland_wse_file, ms.overland_wse, "w", "overland wse output"))
      return false;
  }

  if (ms.inf_layered_soil || ms.inf_richards || ms.inf_redist) {
    // The soil maps may come from the mapping-table file instead.
    const bool needed =
        (ms.inf_layered_soil && !table[cmt_multi_layer_ga]) ||
        (ms.inf_richards && !table[cmt_richards_havercamp] && !table[cmt_richards_brooks]);
    if (!open_role(ms.soil_type_file, ms.soil_type_map, "r", "soil type", needed)) return false;
    if (!open_role(ms.soil_layer_table_file, ms.soil_layer_input_file, "r",
                   "multi-layer soil table", needed))
      return false;
    if (ms.water_table_given && !ms.water_table_file.is_open() &&
        !open_role(ms.water_table_file, ms.water_table, "r", "water table"))
      return false;
    if (ms.gw_simulation && !ms.aquifer_bottom_file.is_open() &&
        !open_role(ms.aquifer_bottom_file, ms.aquifer_bottom, "r", "aquifer bottom"))
      return false;
    if ((ms.inf_richards || ms.sm_accounting) && !open_evaporation_output(ms)) return false;
  }

  if (ms.green_ampt || ms.inf_redist) {
    const bool ga = !table[cmt_ga_infiltration];
    if (ms.moisture_given && !open_role(ms.soil_moisture_file, ms.moisture, "r", "soil moisture",
                                        !table[cmt_ga_soil_moisture]))
      return false;
    if (ms.conductivity_given && !open_role(ms.ks_file, ms.conductivity, "r", "Ks", ga))
      return false;
    if (ms.capillary_given && !open_role(ms.hc_file, ms.capillary, "r", "Hc", ga)) return false;
    if (ms.porosity_given && !open_role(ms.porosity_file, ms.porosity, "r", "soil porosity", ga))
      return false;
    if (ms.inf_redist && ms.pore_index_given &&
        !open_role(ms.pore_index_file, ms.pore_index, "r", "pore dist. index", ga))
      return false;
    if (ms.inf_redist && ms.residual_sat_given &&
        !open_role(ms.residual_sat_file, ms.residual_sat, "r", "residual saturation", ga))
      return false;
  }

  if (ms.long_term) {
    const bool et = !table[cmt_evapotranspiration];
    if (!open_role(ms.hmet_input_file, ms.hmet_file, "r", "hydromet data")) return false;
    if (ms.hmet_orog_gages_given &&
        !open_role(ms.orog_met_file, ms.hmet_orog_gages, "r", "orog met data"))
      return false;
    if (ms.albedo_given && !open_role(ms.albedo_file, ms.albedo, "r", "albedo", et)) return false;
    if (ms.et_calc_penman) {
      if (ms.vheight_given && !open_role(ms.veg_height_file, ms.vheight, "r", "veg. height", et))
        return false;
      if (ms.tcoeff_given && !open_role(ms.trans_coeff_file, ms.tcoeff, "r", "trans. coeff", et))
        return false;
      if (ms.canopy_given &&
          !open_role(ms.canopy_resist_file, ms.canopy, "r", "canopy resist.", et))
        return false;
      if (ms.wilting_point_given &&
          !open_role(ms.wilting_point_file, ms.wilting_point, "r", "wilting point", et))
        return false;
    }
  }

  if (ms.precip_file_given &&
      !open_role(ms.raingage_file, ms.precip_file, "r", "raingage data"))
    return false;
  if ((ms.chan_explic || ms.chan_mesh) &&
      !open_role(ms.grid_stream_file, ms.stream_cell, "r", "grid-stream connectivity"))
    return false;
  if (ms.interception_coeff_given) {
    const bool ic = !table[cmt_interception];
    if (!open_role(ms.storage_capacity_file, ms.storage_capacity, "r", "interception storage", ic))
      return false;
    if (!open_role(ms.interception_coeff_file, ms.interception_coeff, "r", "interception coeff.",
                   ic))
      return false;
  }
  if (ms.overland_lake_map_given) {
    if (!open_role(ms.lake_map_file, ms.overland_lake_map, "r", "overland lake map")) return false;
    if (!open_role(ms.lake_data_file, ms.overland_lake_file, "r", "overland lake data"))
      return false;
  }
  if (ms.reten_depth_given && !open_role(ms.reten_depth_file, ms.reten_depth, "r",
                                         "retention depth", !table[cmt_retention]))
    return false;
  if (ms.roughness_given && !open_role(ms.roughness_file, ms.roughness, "r", "Manning roughness",
                                       !table[cmt_roughness]))
    return false;
  if (ms.chan_explic && !open_role(ms.chan_input_file, ms.channel_input, "r", "channel input"))
    return false;
  return true;
}

bool open_hotstarts(model_state& ms) {
  if (ms.explic_backwater_given || ms.write_chan_hotstart_given) {
    if (!open_role(ms.chan_depth_file, ms.chan_hotstart_write_dht, "w", "channel depth"))
      return false;
    if (!open_role(ms.chan_discharge_file, ms.chan_hotstart_write_qht, "w", "channel discharge"))
      return false;
  }
  if (ms.ov_hotstart_read_given && !open_role(ms.read_ov_hotstart_file, ms.ov_hotstart_read_file,
                                              "r", "overland hotstart"))
    return false;
  if (ms.init_swe_mode == 1 &&
      !open_role(ms.init_swe_input_file, ms.init_swe_file, "r", "SWE input hotstart"))
    return false;
  if (ms.read_sm_hotstart_given && !open_role(ms.read_sm_hotstart_file, ms.read_sm_hotstart, "r",
                                              "soil moisture hotstart"))
    return false;
  if (ms.chan_hotstart_flag_in) {
    if (!open_role(ms.chan_hotstart_in_file, ms.chan_hotstart_read_dht, "r", "channel depth"))
      return false;
    if (!open_role(ms.chan_discharge_in_file, ms.chan_hotstart_read_qht, "r", "channel discharge"))
      return false;
  }
  return true;
}

bool open_locations(model_state& ms) {
  if (ms.in_hyd_location_given) {
    if (!open_role(ms.hyd_location_file, ms.in_hyd_location, "r", "hydrograph location"))
      return false;
    if (!open_guarded_file(ms.out_hyd_location_file, ms.out_hyd_location, "w")) {
      fail(51, "out hydrograph file", ms.out_hyd_location);
      return false;
    }
    // The PAV file copies the count and description lines from its head.
    write_hyd_location_header(ms);
  }
  if (ms.in_gwflux_location_given) {
    if (!open_role(ms.gw_flux_location_file, ms.in_gwflux_location, "r",
                   "groundwater flux location"))
      return false;
    if (!open_guarded_file(ms.out_gw_flux_location_file, ms.out_gwflux_location, "w")) {
      fail(51, "out groundwater flux file", ms.out_gwflux_location);
      return false;
    }
  }
  if (ms.in_celldepdis_location_given) {
    if (!open_role(ms.dep_dis_location_file, ms.in_celldepdis_location, "r",
                   "dep dis cell location"))
      return false;
    if (!open_guarded_file(ms.out_dep_dis_location_file, ms.out_celldepdis_location, "w")) {
      fail(51, "out cell dep dis file", ms.out_celldepdis_location);
      return false;
    }
  }
  if (ms.sig_outlet_hydro_given && !open_role(ms.hyd_6digit_file, ms.sig_outlet_hydro, "w",
                                              "optional 6 digit hydrograph"))
    return false;
  if (ms.superlink_junc_location_given &&
      !open_role(ms.superjunction_location_file, ms.superlink_junc_location, "r",
                 "superjunction location"))
    return false;
  if (ms.superlink_junc_flow_given &&
      !open_location_output(ms.superjunction_output_file, ms.superlink_junc_flow, 51))
    return false;
  if (ms.superlink_node_location_given &&
      !open_role(ms.superlink_node_location_file, ms.superlink_node_location, "r",
                 "superlink node location"))
    return false;
  if (ms.superlink_node_flow_given &&
      !open_location_output(ms.superlink_node_output_file, ms.superlink_node_flow, 51))
    return false;
  if (ms.lake_output_given && !open_role(ms.lake_output_file, ms.lake_output, "w", "lake output"))
    return false;
  if (ms.out_dep_location_given &&
      !open_location_output(ms.out_dep_location_file, ms.out_dep_location, 50))
    return false;
  if (ms.out_con_location_given &&
      !open_location_output(ms.out_con_location_file, ms.out_con_location, 49))
    return false;
  if (ms.out_mass_location_given &&
      !open_location_output(ms.out_mass_location_file, ms.out_mass_location, 49))
    return false;
  if (ms.in_theta_location_given) {
    if (!open_role(ms.in_theta_location_file, ms.in_theta_location, "r", "in_theta location"))
      return false;
    if (!open_guarded_file(ms.out_theta_location_file, ms.out_theta_location, "w")) {
      std::string named = ms.out_theta_location.str() + " (out_theta_location_file)";
      fail(48, ms.in_theta_location, named);
      return false;
    }
  }
  return true;
}

bool open_outputs(model_state& ms) {
  if (ms.chan_depth_given && !open_role(ms.chan_depth_out_file, ms.chan_depth_file_name, "w",
                                        "output channel depth"))
    return false;
  if (ms.chan_discharge_given && !open_role(ms.chan_discharge_out_file, ms.chan_discharge, "w",
                                            "output channel discharge"))
    return false;
  if (ms.chan_stage_given &&
      !open_role(ms.chan_stage_out_file, ms.chan_stage, "w", "output channel stage"))
    return false;
  if (ms.chan_velocity_given &&
      !open_role(ms.chan_velocity_out_file, ms.chan_velocity, "w", "output channel velocity"))
    return false;
  if (ms.flood_stream_given &&
      !open_role(ms.flood_stream_file, ms.flood_stream, "w", "output flood stream stage"))
    return false;
  if (ms.chan_sed_flux_given &&
      !open_role(ms.stream_sed_flux_file, ms.chan_sed_flux, "w", "output stream_sed_flux"))
    return false;
  if (ms.nutrients) {
    open_nutrient_output_files(ms);
    if (process.error_block.stop) return false;
  }
  if (ms.storm_sewer_given) {
    if (ms.pipe_head_given &&
        !open_role(ms.pipe_head_file, ms.pipe_head, "w", "superlink head"))
      return false;
    if (ms.pipe_tile_given &&
        !open_role(ms.pipe_tile_file, ms.pipe_tile, "w", "superlink tile"))
      return false;
    if (ms.pipe_flow_given &&
        !open_role(ms.pipe_flow_file, ms.pipe_flow, "w", "superlink flow"))
      return false;
  }
  if (ms.contam_map_given && !open_role(ms.contam_map_file, ms.contam_map, "r", "contam"))
    return false;
  return true;
}

}  // namespace

void open_project_files(model_state& ms) {
  open_maps_and_inputs(ms) && open_hotstarts(ms) && open_locations(ms) && open_outputs(ms);
}

void open_nutrient_output_files(model_state& ms) {
  if (ms.total_chan_n_given && !open_role(ms.total_chan_n_file, ms.total_chan_n, "w",
                                          "output total channel nitrogen"))
    return;
  if (ms.total_chan_kn_given && !open_role(ms.total_chan_kn_file, ms.total_chan_kn, "w",
                                           "output total channel Kjeldahl nitrogen"))
    return;
  if (ms.total_chan_p_given && !open_role(ms.total_chan_p_file, ms.total_chan_p, "w",
                                          "output total channel phosphorus"))
    return;
  nsm* model = ms.nsm_model;
  if (!model) return;
  for (int i = 0; i < nsm_water_constituents; ++i) {
    if (model->out_hyd_on[i] != 1) continue;
    const std::string base = model->out_hyd_file[i].str();
    const std::string conc = base + ".conc";
    if (!open_guarded_file(model->hyd_conc_files[i], conc, "w")) {
      std::printf("Error opening nutrient concentration output file (hydrograph style )\n"
                  "for the %s hydrograph file. \nGiven filename: %s\n",
                  nsm_constituent_name(i, 0).c_str(), conc.c_str());
      fail(4, "nutrient concentration", conc);
      return;
    }
    const std::string mass = base + ".mass";
    if (!open_guarded_file(model->hyd_mass_files[i], mass, "w")) {
      std::printf("Error opening nutrient mass output file (hydrograph style )\n"
                  "for the %s hydrograph file. \nGiven filename: %s\n",
                  nsm_constituent_name(i, 0).c_str(), mass.c_str());
      fail(4, "nutrient mass", mass);
      return;
    }
  }
}

}  // namespace nivra
