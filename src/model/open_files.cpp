#include "model/open_files.h"

#include <cstdio>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/state_file.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "output/pav_file.h"
#include "pipe/pipe_state.h"
#include "quality/constituent_state.h"
#include "quality/nsm.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

void fail(int code, std::string_view str1, std::string_view str2) {
  set_error(code, str1, str2);
  process.error_block.stop = 1;
}

// Opens a file (one to read as an input file); on failure fills the error
// block with code 4, the role and the name, unless the failure does not
// count (the mapping-table file supplies what the file would). A file that
// is there but cannot be read as input (a folder, empty, not text) always
// counts. True when the opening may go on.
bool open_role(guarded_file& f, std::string_view name, const char* mode, std::string_view role,
               bool failure_counts = true) {
  bool refused = false;
  if (mode[0] == 'r' ? open_input_file(f, name, &refused) : open_guarded_file(f, name, mode)) return true;
  if (!failure_counts && !refused) return true;
  fail(4, role, name);
  return false;
}

// The companion of a hot-start read: none is no fault (a hot-start written
// before companions were), one that cannot be read as text is.
bool open_companion(guarded_file& f, std::string_view name, std::string_view role) {
  bool refused = false;
  if (open_optional_input(f, name, &refused) || !refused) return true;
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
  if (!open_role(ms.soil.evap_out_file, "evap_out", "w", "evaporation output")) return false;
  std::fprintf(ms.soil.evap_out_file.fp,
               "yr/mo/day  hour     avg_theta    avg_pot      avgetrate    avgfav      "
               "avgbottomfav  CFGI         temp(C)      Tsoil_cell1(K)");
  if (ms.soil.sm_accounting) std::fprintf(ms.soil.evap_out_file.fp, " avg_theta_L1  avg_theta_L2");
  std::fprintf(ms.soil.evap_out_file.fp, "\n");
  return true;
}

bool open_maps_and_inputs(model_state& ms) {
  const int* table = ms.grid.cmt_table_present;

  if (!open_role(ms.grid.watershed_mask_file, ms.project.watershed_mask, "r", "watershed mask")) return false;
  if (!open_role(ms.grid.elevation_file, ms.project.elevation_file_name, "r", "elevation data")) return false;
  if (!open_role(ms.output.summary_file, ms.project.summary, "w", "output summary")) return false;
  process.summary_log = &ms.output.summary_file;
  if (!open_role(ms.output.outlet_hydro_file, ms.project.outlet_hydro, "w", "output hydrograph")) return false;

  if (ms.output.overland_depths_given) {
    if (!open_role(ms.output.overland_depth_location_file, ms.project.overland_depth_location, "r",
                   "overland depth locations"))
      return false;
    if (!open_role(ms.output.overland_depths_file, ms.project.overland_depths, "w", "overland depth output"))
      return false;
  }

  if (ms.groundwater.gw_simulation) {
    // The cells' boundary codes come from the map the GW_BOUNDFILE card
    // names, else from the mapping table's GROUNDWATER_BOUNDARY table.
    if (ms.groundwater.gw_boundfile_given) {
      if (!open_role(ms.groundwater.gw_boundary_file, ms.project.gw_boundfile, "r", "groundwater boundary"))
        return false;
    } else if (!table[cmt_gw_boundary]) {
      std::printf("Error: saturated groundwater (GW_SIMULATION) takes the cells' boundary codes from the map the "
                  "GW_BOUNDFILE card names or from the mapping table's GROUNDWATER_BOUNDARY table, and the project "
                  "gives neither.\n");
      fail(own_message_code, {}, {});
      return false;
    }
    if (ms.output.gw_well_level_given) {
      if (!open_role(ms.groundwater.well_location_file, ms.project.out_well_location, "r", "well location"))
        return false;
      if (!open_role(ms.groundwater.well_level_file, ms.project.gw_well_level, "w", "well level output")) return false;
    }
    if (ms.groundwater.gw_hycond_map_given &&
        !open_role(ms.groundwater.gw_hycond_file, ms.project.gw_hycond_map, "r", "groundwater hycond"))
      return false;
    if (ms.groundwater.gw_porosity_map_given &&
        !open_role(ms.groundwater.gw_porosity_file, ms.project.gw_porosity_map, "r", "groundwater porosity"))
      return false;
    if (!ms.soil.inf_richards) {
      if (ms.groundwater.water_table_given &&
          !open_role(ms.groundwater.water_table_file, ms.project.water_table, "r", "water table"))
        return false;
      if (!open_role(ms.groundwater.aquifer_bottom_file, ms.project.aquifer_bottom, "r", "aquifer bottom"))
        return false;
    }
  }

  if (ms.output.overland_wse_given) {
    if (!open_role(ms.output.overland_wse_location_file, ms.project.overland_wse_location, "r",
                   "overland wse locations"))
      return false;
    if (!open_role(ms.output.overland_wse_file, ms.project.overland_wse, "w", "overland wse output"))
      return false;
  }

  if (ms.soil.inf_layered_soil || ms.soil.inf_richards || ms.soil.inf_redist) {
    // The soil maps may come from the mapping-table file instead.
    const bool needed =
        (ms.soil.inf_layered_soil && !table[cmt_multi_layer_ga]) ||
        (ms.soil.inf_richards && !table[cmt_richards_havercamp] && !table[cmt_richards_brooks]);
    if (!open_role(ms.soil.soil_type_file, ms.project.soil_type_map, "r", "soil type", needed)) return false;
    if (!open_role(ms.soil.soil_layer_table_file, ms.project.soil_layer_input_file, "r",
                   "multi-layer soil table", needed))
      return false;
    if (ms.groundwater.water_table_given && !ms.groundwater.water_table_file.is_open() &&
        !open_role(ms.groundwater.water_table_file, ms.project.water_table, "r", "water table"))
      return false;
    if (ms.groundwater.gw_simulation && !ms.groundwater.aquifer_bottom_file.is_open() &&
        !open_role(ms.groundwater.aquifer_bottom_file, ms.project.aquifer_bottom, "r", "aquifer bottom"))
      return false;
    if ((ms.soil.inf_richards || ms.soil.sm_accounting) && !open_evaporation_output(ms)) return false;
  }

  if (ms.soil.green_ampt || ms.soil.inf_redist) {
    const bool ga = !table[cmt_ga_infiltration];
    if (ms.soil.moisture_given && !open_role(ms.soil.soil_moisture_file, ms.project.moisture, "r", "soil moisture",
                                        !table[cmt_ga_soil_moisture]))
      return false;
    if (ms.soil.conductivity_given && !open_role(ms.soil.ks_file, ms.project.conductivity, "r", "Ks", ga))
      return false;
    if (ms.soil.capillary_given && !open_role(ms.soil.hc_file, ms.project.capillary, "r", "Hc", ga)) return false;
    if (ms.soil.porosity_given && !open_role(ms.soil.porosity_file, ms.project.porosity, "r", "soil porosity", ga))
      return false;
    if (ms.soil.inf_redist && ms.soil.pore_index_given &&
        !open_role(ms.soil.pore_index_file, ms.project.pore_index, "r", "pore dist. index", ga))
      return false;
    if (ms.soil.inf_redist && ms.soil.residual_sat_given &&
        !open_role(ms.soil.residual_sat_file, ms.project.residual_sat, "r", "residual saturation", ga))
      return false;
  }

  if (ms.clock.long_term) {
    const bool et = !table[cmt_evapotranspiration];
    if (!open_role(ms.hydromet.hmet_input_file, ms.project.hmet_file, "r", "hydromet data")) return false;
    if (ms.hydromet.hmet_orog_gages_given &&
        !open_role(ms.hydromet.orog_met_file, ms.project.hmet_orog_gages, "r", "orog met data"))
      return false;
    if (ms.hydromet.albedo_given && !open_role(ms.hydromet.albedo_file, ms.project.albedo, "r", "albedo", et)) return false;
    if (ms.hydromet.et_calc_penman) {
      if (ms.hydromet.vheight_given && !open_role(ms.hydromet.veg_height_file, ms.project.vheight, "r", "veg. height", et))
        return false;
      if (ms.hydromet.tcoeff_given && !open_role(ms.hydromet.trans_coeff_file, ms.project.tcoeff, "r", "trans. coeff", et))
        return false;
      if (ms.hydromet.canopy_given &&
          !open_role(ms.hydromet.canopy_resist_file, ms.project.canopy, "r", "canopy resist.", et))
        return false;
      if (ms.hydromet.wilting_point_given &&
          !open_role(ms.hydromet.wilting_point_file, ms.project.wilting_point, "r", "wilting point", et))
        return false;
    }
  }

  if (ms.hydromet.precip_file_given &&
      !open_role(ms.hydromet.raingage_file, ms.project.precip_file, "r", "raingage data"))
    return false;
  if ((ms.channel.chan_explic || ms.channel.chan_mesh) &&
      !open_role(ms.channel.grid_stream_file, ms.project.stream_cell, "r", "grid-stream connectivity"))
    return false;
  if (ms.hydromet.interception_coeff_given) {
    const bool ic = !table[cmt_interception];
    if (!open_role(ms.hydromet.storage_capacity_file, ms.project.storage_capacity, "r", "interception storage", ic))
      return false;
    if (!open_role(ms.hydromet.interception_coeff_file, ms.project.interception_coeff, "r", "interception coeff.",
                   ic))
      return false;
  }
  if (ms.lake.overland_lake_map_given) {
    if (!open_role(ms.lake.lake_map_file, ms.project.overland_lake_map, "r", "overland lake map")) return false;
    if (!open_role(ms.lake.lake_data_file, ms.project.overland_lake_file, "r", "overland lake data"))
      return false;
  }
  if (ms.overland.reten_depth_given && !open_role(ms.overland.reten_depth_file, ms.project.reten_depth, "r",
                                         "retention depth", !table[cmt_retention]))
    return false;
  if (ms.overland.roughness_given && !open_role(ms.overland.roughness_file, ms.project.roughness, "r", "Manning roughness",
                                       !table[cmt_roughness]))
    return false;
  if (ms.channel.chan_explic && !open_role(ms.channel.chan_input_file, ms.project.channel_input, "r", "channel input"))
    return false;
  return true;
}

bool open_hotstarts(model_state& ms) {
  if (ms.channel.explic_backwater_given || ms.channel.write_chan_hotstart_given) {
    if (!open_role(ms.channel.chan_depth_file, ms.project.chan_hotstart_write_dht, "w", "channel depth"))
      return false;
    if (!open_role(ms.channel.chan_discharge_file, ms.project.chan_hotstart_write_qht, "w", "channel discharge"))
      return false;
  }
  if (ms.overland.ov_hotstart_read_given && !open_role(ms.overland.read_ov_hotstart_file, ms.project.ov_hotstart_read_file,
                                              "r", "overland hotstart"))
    return false;
  if (ms.hydromet.init_swe_mode == initial_swe::from_map &&
      !open_role(ms.hydromet.init_swe_input_file, ms.project.init_swe_file, "r", "SWE input hotstart"))
    return false;
  if (ms.soil.read_sm_hotstart_given && !open_role(ms.soil.read_sm_hotstart_file, ms.project.read_sm_hotstart, "r",
                                              "soil moisture hotstart"))
    return false;
  if (ms.channel.chan_hotstart_flag_in) {
    if (!open_role(ms.channel.chan_hotstart_in_file, ms.project.chan_hotstart_read_dht, "r", "channel depth"))
      return false;
    if (!open_role(ms.channel.chan_discharge_in_file, ms.project.chan_hotstart_read_qht, "r", "channel discharge"))
      return false;
  }
  // The companions of the hot-starts read: a hot-start written before they
  // were is read without one (the set-up warns of what starts afresh); one
  // that is there but cannot be read as text stops the run.
  if (ms.channel.chan_hotstart_flag_in &&
      !open_companion(ms.channel.chan_state_in_file, companion_name(ms.project.chan_hotstart_read_file), "channel hot-start state"))
    return false;
  if (ms.overland.ov_hotstart_read_given &&
      !open_companion(ms.overland.read_ov_state_file, companion_name(ms.project.ov_hotstart_read_file), "overland hot-start state"))
    return false;
  if (ms.soil.read_sm_hotstart_given &&
      !open_companion(ms.soil.read_sm_state_file, companion_name(ms.project.read_sm_hotstart), "soil hot-start state"))
    return false;
  if (ms.groundwater.gw_simulation && ms.groundwater.water_table_given &&
      !open_companion(ms.groundwater.water_table_state_file, companion_name(ms.project.water_table),
                      "groundwater hot-start state"))
    return false;
  return true;
}

bool open_locations(model_state& ms) {
  if (ms.output.in_hyd_location_given) {
    if (!open_role(ms.output.hyd_location_file, ms.project.in_hyd_location, "r", "hydrograph location"))
      return false;
    if (!open_guarded_file(ms.output.out_hyd_location_file, ms.project.out_hyd_location, "w")) {
      fail(51, "out hydrograph file", ms.project.out_hyd_location);
      return false;
    }
    // The PAV file copies the count and description lines from its head;
    // with channels the map phase writes them once the channel set-up has
    // read the locations (init_hyd_location_output).
    if (!ms.channel.chan_explic) write_hyd_location_header(ms.output);
  }
  if (ms.output.in_gwflux_location_given) {
    if (!open_role(ms.groundwater.gw_flux_location_file, ms.project.in_gwflux_location, "r",
                   "groundwater flux location"))
      return false;
    if (!open_guarded_file(ms.groundwater.out_gw_flux_location_file, ms.project.out_gwflux_location, "w")) {
      fail(51, "out groundwater flux file", ms.project.out_gwflux_location);
      return false;
    }
  }
  if (ms.output.in_celldepdis_location_given) {
    if (!open_role(ms.output.dep_dis_location_file, ms.project.in_celldepdis_location, "r",
                   "dep dis cell location"))
      return false;
    if (!open_guarded_file(ms.output.out_dep_dis_location_file, ms.project.out_celldepdis_location, "w")) {
      fail(51, "out cell dep dis file", ms.project.out_celldepdis_location);
      return false;
    }
  }
  if (ms.output.sig_outlet_hydro_given && !open_role(ms.output.hyd_6digit_file, ms.project.sig_outlet_hydro, "w",
                                              "optional 6 digit hydrograph"))
    return false;
  if (ms.pipe.superlink_junc_location_given &&
      !open_role(ms.pipe.superjunction_location_file, ms.project.superlink_junc_location, "r",
                 "superjunction location"))
    return false;
  if (ms.output.superlink_junc_flow_given &&
      !open_location_output(ms.pipe.superjunction_output_file, ms.project.superlink_junc_flow, 51))
    return false;
  if (ms.pipe.superlink_node_location_given &&
      !open_role(ms.pipe.superlink_node_location_file, ms.project.superlink_node_location, "r",
                 "superlink node location"))
    return false;
  if (ms.output.superlink_node_flow_given &&
      !open_location_output(ms.pipe.superlink_node_output_file, ms.project.superlink_node_flow, 51))
    return false;
  if (ms.output.lake_output_given && !open_role(ms.lake.lake_output_file, ms.project.lake_output, "w", "lake output"))
    return false;
  if (ms.output.out_dep_location_given &&
      !open_location_output(ms.output.out_dep_location_file, ms.project.out_dep_location, 50))
    return false;
  if (ms.output.out_con_location_given &&
      !open_location_output(ms.output.out_con_location_file, ms.project.out_con_location, 49))
    return false;
  if (ms.output.out_mass_location_given &&
      !open_location_output(ms.output.out_mass_location_file, ms.project.out_mass_location, 49))
    return false;
  if (ms.output.in_theta_location_given) {
    if (!open_role(ms.soil.in_theta_location_file, ms.project.in_theta_location, "r", "in_theta location"))
      return false;
    if (!open_guarded_file(ms.soil.out_theta_location_file, ms.project.out_theta_location, "w")) {
      std::string named = ms.project.out_theta_location.str() + " (out_theta_location_file)";
      fail(48, ms.project.in_theta_location, named);
      return false;
    }
  }
  return true;
}

bool open_outputs(model_state& ms) {
  if (ms.output.chan_depth_given && !open_role(ms.channel.chan_depth_out_file, ms.project.chan_depth_file_name, "w",
                                        "output channel depth"))
    return false;
  if (ms.output.chan_discharge_given && !open_role(ms.channel.chan_discharge_out_file, ms.project.chan_discharge, "w",
                                            "output channel discharge"))
    return false;
  if (ms.output.chan_stage_given &&
      !open_role(ms.channel.chan_stage_out_file, ms.project.chan_stage, "w", "output channel stage"))
    return false;
  if (ms.output.chan_velocity_given &&
      !open_role(ms.channel.chan_velocity_out_file, ms.project.chan_velocity, "w", "output channel velocity"))
    return false;
  if (ms.output.flood_stream_given &&
      !open_role(ms.channel.flood_stream_file, ms.project.flood_stream, "w", "output flood stream stage"))
    return false;
  if (ms.output.chan_sed_flux_given &&
      !open_role(ms.channel.stream_sed_flux_file, ms.project.chan_sed_flux, "w", "output stream_sed_flux"))
    return false;
  if (ms.constituent.nutrients) {
    open_nutrient_output_files(ms);
    if (process.error_block.stop) return false;
  }
  if (ms.pipe.storm_sewer_given) {
    if (ms.output.pipe_head_given &&
        !open_role(ms.pipe.pipe_head_file, ms.project.pipe_head, "w", "superlink head"))
      return false;
    if (ms.output.pipe_tile_given &&
        !open_role(ms.pipe.pipe_tile_file, ms.project.pipe_tile, "w", "superlink tile"))
      return false;
    if (ms.output.pipe_flow_given &&
        !open_role(ms.pipe.pipe_flow_file, ms.project.pipe_flow, "w", "superlink flow"))
      return false;
  }
  if (ms.constituent.contam_map_given && !open_role(ms.constituent.contam_map_file, ms.project.contam_map, "r", "contam"))
    return false;
  return true;
}

}  // namespace

void open_project_files(model_state& ms) {
  open_maps_and_inputs(ms) && open_hotstarts(ms) && open_locations(ms) && open_outputs(ms);
}

void open_nutrient_output_files(model_state& ms) {
  if (ms.constituent.total_chan_n_given && !open_role(ms.constituent.total_chan_n_file, ms.project.total_chan_n, "w",
                                          "output total channel nitrogen"))
    return;
  if (ms.constituent.total_chan_kn_given && !open_role(ms.constituent.total_chan_kn_file, ms.project.total_chan_kn, "w",
                                           "output total channel Kjeldahl nitrogen"))
    return;
  if (ms.constituent.total_chan_p_given && !open_role(ms.constituent.total_chan_p_file, ms.project.total_chan_p, "w",
                                          "output total channel phosphorus"))
    return;
  nsm* model = ms.constituent.nsm_model;
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
