// A component of the run's record: Sediments, contaminants and nutrients: balances, per-constituent tables, the sediment record.
#pragma once

#include "channel/channel_sediment.h"
#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/file_name_text.h"
#include "model/mass_ledger.h"
#include "quality/contaminant/channel_attached.h"
#include "quality/contaminant/channel_constituents.h"
#include "quality/contaminant/overland_transport.h"
#include "quality/contaminant/sediment_contaminant.h"
#include "quality/ov_sed_record.h"
#include <memory>
#include <string>
#include <vector>

namespace nivra {

// Channel sediment volumes of the run or of one event, m3.
struct chan_sed_totals {
  double sand_init = 0.0;            // sand in the channels at the start of the run
  double sand_in = 0.0;              // sand from the cells
  double sand_to_lakes = 0.0;
  double sand_out = 0.0;             // sand through the outlet
  double wash_in = 0.0;              // wash load from the cells
  double wash_to_lakes = 0.0, wash_from_lakes = 0.0;
  double wash_out = 0.0;             // wash load through the outlet
  double wash_drawn = 0.0;           // wash load drawn by the channel point sinks
  double lake_wash_from_ov = 0.0;    // net wash load into lakes from the cells
  double lake_wash_settled = 0.0;
  double lake_sand_from_chan = 0.0;  // sand from the channels settled on lake beds
  double lake_sand_from_ov = 0.0;    // sand from the cells settled at lake boundaries
};

// Suspended sediment and sand of one channel lake over the run or an event, m3.
struct lake_sed_totals {
  double ss_init = 0.0, ss_to_chan = 0.0, ss_from_chan = 0.0, ss_from_ov = 0.0;
  double ss_settled = 0.0, ss_total = 0.0;
  double ss_drawn = 0.0;             // drawn by the lake's point sinks
  double ss_conc_vol = 0.0;          // volumetric concentration, m3/m3
  double sand_bottom = 0.0, sand_boundary = 0.0;
};

struct nsm_writers;

struct nsm;

// Erosion switches, sediment output requests and the sediment output files.
struct sediment_record {
  // ---- Parameters: set at set-up from the cards.
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

  // ---- Files: closed in reverse order when the record goes, the last one
  // first.
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
  // ---- Parameters: set at set-up from the cards, the maps and the
  // constituent set-up, read-only afterwards.
  // Constituent switches and values of the project.
  int ov_con_trans = 0;
  int chan_con_trans = 0;
  int soil_con_trans = 0, soil_static_conc = 0, contam_table_input = 0;
  int sediment_contam = 0;
  int nutrients = 0;
  int contam_map_given = 0;
  int all_contam_output = 0;
  int ov_con_table = 0;  // overland constituent transport
  int ov_con_trans_given = 0;  // the project's own OV_CON_TRANS, kept when the sediment classes switch it on
  int constituents_on = 0;  // any constituent transport
  int ov_point_source_given = 0, sourcefile_given = 0;
  double ov_disp_coef = 0.0, ov_decay_coef = 0.0, ov_mass_load = 0.0, ov_uptake_rate = 0.0;
  double kinetics_timestep_factor = 1.0;  // multiplies the soil and channel kinetic rates
  double soil_kinetics_timestep_factor = 0.0;
  int uniform_num_contams = -1;           // contaminants of uniform transport; set up later
  file_name_text con_output_name{"con_output"};  // channel constituent output
  // The overland point sources of the OV_POINT_SOURCE file: per cell the
  // discharge (m3/s) and per constituent and cell its concentration (g/m3).
  array1d<double> ov_point_q;
  jagged_array<double> ov_point_conc{"ov_point_conc"};
  // The constituents, one value per constituent once they are set up.
  int num_constituents = 0;
  std::vector<std::string> constituent_output_name;      // output name per constituent (1-based)
  checked_array<int> constituent_type{"constituent_type"};
  checked_array<double> precip_conc{"precip_conc"};
  checked_array<double> water_soil_partition_coef{"water_soil_partition_coef"};
  int num_contaminants = -1;         // contaminants of the run; -1 until a source of parameters sets it
  int num_contam_constituents = 0;   // constituents added by the contaminant set-up (kind 1)
  int num_nsm_constituents = 0;      // constituents added by the nutrient set-up (kinds 2 and 3)
  int first_nsm_constituent = -1;    // index of the first nutrient water constituent, -1 without nutrients
  // With the sediment classes carried as constituents (SOIL_EROSION of 10
  // or more): class j is constituent first_sed_constituent + j - 1.
  int num_sed_constituents = 0;
  int first_sed_constituent = -1;
  // Per constituent and cell (row = constituent, element = cell): the
  // parameters of the overland and soil processes; rates per second once
  // the initial state is set.
  jagged_array<double> cell_disp_coef{"cell_disp_coef"};      // overland dispersion coefficient, m2/s
  jagged_array<double> cell_decay_coef{"cell_decay_coef"};    // first-order decay rate
  jagged_array<double> cell_uptake_rate{"cell_uptake_rate"};  // exchange rate with the land surface
  jagged_array<double> soil_decay_coef{"soil_decay_coef"};    // decay rate in the soil column
  jagged_array<double> land_conc{"land_conc"};                // land-side concentration
  jagged_array<double> soil_partition_coef{"soil_partition_coef"};  // Kd, L/kg
  jagged_array<double> gw_conc{"gw_conc"};                    // groundwater concentration, g/m3
  // The contaminant soil column: its layers (0 without one), their
  // thickness and bottom (m, 1..layers), and per cell and layer the water
  // content and the water content at saturation.
  int soil_contam_layers = 0;
  double soil_moist_depth = 0.0, top_layer_depth = 0.0, mixing_layer_depth = 0.0;  // cm, of the column
  checked_array<double> soil_layer_thickness{"soil_layer_thickness"};
  checked_array<double> soil_layer_bottom{"soil_layer_bottom"};
  array2d<double> THETA, THETAS;     // [cell][layer]
  array1d<double> contam_map_data;   // the contaminant load map, constituent 1
  // Sediments.
  int soil_erosion = 0;
  int chan_sed_on = 0;
  int sed_transport_mode = 0;        // 1 overland sediment step; 2 classes carried as constituents
  int n_fine_classes = 0, n_sand_classes = 0;
  array1d<int> sand;                 // per class: 1 sand, 0 fine
  double sand_size = 0.0, silt_size = 0.0, clay_size = 0.0, sed_porosity = 0.0;
  int in_sed_loc = 0, outlet_sed_tss = 0, out_tss_loc = 0;
  int fyssi_given = 0;
  int adjust_elev_given = 0;
  int adjust_elev = 0;               // ADJUST_ELEV: write the eroded elevations at the end
  // Nutrient model options and total outputs.
  double chan_ph = 0.0;
  int soils_nsm_p = 0, soils_nsm_n = 0, soils_nsm_c = 0;
  int total_ov_n_given = 0, total_ov_p_given = 0;
  int total_chan_n_given = 0, total_chan_kn_given = 0, total_chan_p_given = 0;
  // The nutrient container of the run; owned by project_options.
  nsm* nsm_model = nullptr;
  nsm_writers* nsm_out = nullptr;    // the nutrient container's output block

  // ---- State: the constituents and sediments held on the grid, in the
  // soil, the channels and the lakes.
  jagged_array<double> ov_conc, ov_mass;                   // [constituent][cell]
  jagged_array<double> chan_conc, chan_node_mass;          // [constituent][flat node]
  jagged_array<double> dissolved_chan_flux, attached_chan_flux;  // [constituent][flat node]
  jagged_array<double> lake_conc, lake_mass;               // [constituent][lake]
  // Soil constituent tables [cell][layer] per constituent, with their names.
  jagged_array3<double> soil_mass;
  jagged_array3<double> soil_conc;  // [constituent][cell][layer], g/m3
  jagged_array<double> land_mass{"land_mass"};  // [constituent][cell] mass held by the land surface (top layer), g
  // Per constituent and cell: the masses the overland processes, the soil
  // column, the point sources and the sediment gathered for the next
  // overland transport, g.
  jagged_array<double> cell_precip_mass{"cell_precip_mass"};
  jagged_array<double> cell_infil_mass{"cell_infil_mass"};
  jagged_array<double> cell_exchange_mass{"cell_exchange_mass"};
  jagged_array<double> cell_decay_mass{"cell_decay_mass"};
  jagged_array<double> cell_qlat_mass{"cell_qlat_mass"};
  jagged_array<double> cell_exfil_mass{"cell_exfil_mass"};
  jagged_array<double> cell_point_mass{"cell_point_mass"};
  jagged_array<double> cell_nsm_mass{"cell_nsm_mass"};
  jagged_array<double> cell_sed_contam_mass{"cell_sed_contam_mass"};
  jagged_array<double> soil_infil_mass{"soil_infil_mass"};
  jagged_array<double> soil_exchange_mass{"soil_exchange_mass"};
  // With SEDIMENT_CONTAM: per constituent and cell the mass attached to
  // the suspended fine sediment of the cell's water, g.
  jagged_array<double> cell_total_mass{"cell_total_mass"};
  sed_contam_arrays attached_work;  // the attached transport's arrays of the run
  // Per constituent: the mass attached to the sediment the inlets took,
  // held in the pipe network, g.
  checked_array<double> pipe_attached{"pipe_attached"};
  // Per constituent: the dissolved mass the water the inlets took carried
  // from the cells, held in the pipe network, g; and that of the run and of
  // the event for the summaries, kg.
  checked_array<double> pipe_dissolved{"pipe_dissolved"};
  checked_array<double> ov_pipe_mass{"ov_pipe_mass"}, event_ov_pipe_mass{"event_ov_pipe_mass"};
  // Per cell, m3: the water the storm sewer's inlets took from it since the
  // overland constituent processes last used it (made at set-up).
  array1d<double> ov_con_pipe_vol;
  // Per cell, m3: the water the infiltration step took into the soil and
  // the water exfiltration brought up (negative: seeped down) since the
  // overland constituent processes last used them, and with a soil column
  // the exfiltrated water its next step carries up through the layers.
  // exfil_step_vol is the infiltration step's scratch: one call's
  // exfiltration per cell.
  array1d<double> ov_con_infil_vol, ov_con_exfil_vol, soil_con_exfil_vol, exfil_step_vol;
  // The length of the soil column's last step (s), over which the mass it
  // sent up onto the cells is spread by the overland transport.
  double soil_step_interval_s = 0.0;
  // The constituents' mass ledger of the run (quality/constituent_terms.h
  // is its table of terms), made once every constituent is set up.
  std::unique_ptr<mass_ledger> mass_books;
  fixed_text<50> soil_mass_name{"soil_mass"};
  soil_chem_table_t soil_chem_table;
  std::unique_ptr<ov_sed_record> ov_sed;  // made by the sediment set-up
  channel_sediment chan_sed;         // sand and wash load of the channels and lakes (channel/channel_sediment.h)
  std::unique_ptr<channel_constituents> chan_wq;  // made by the channel constituent set-up
  std::unique_ptr<channel_attached> chan_attached;  // with SEDIMENT_CONTAM on a channel network
  array1d<double> chan_fine_out;     // outlet wash-load rate per fine position, 0 the total
  array1d<double> chan_sand_out;     // outlet sand per sand class; entries 1..n_sand_classes + 1 are written
  array2d<double> qsmax;             // [flat node][class position] flux of the step
  array2d<double> chan_sed_conc;     // [flat node][class], 0 the total
  array2d<double> ch_wash_vol;       // [flat node][fine position] suspended wash load, m3
  array3d<double> chan_sed_contam_node_conc;  // [constituent][flat node][fine position]

  // The mass of every constituent that the overland water carried into
  // each channel node since the channel constituents last took it, g
  // ([constituent][flat node]; made with the explicit channel scheme).
  jagged_array<double> chan_qlat_mass{"chan_qlat_mass"};
  // Of that, what the water flowing from the cells into the nodes brought
  // (g, [constituent][flat node]) and the volume of that water (m3, per
  // flat node): the concentration of the lateral inflow.
  jagged_array<double> chan_qlat_in_mass{"chan_qlat_in_mass"};
  array1d<double> chan_qlat_in_vol;

  // ---- Per-run bookkeeping and step flags.
  int ov_mass_check_sweep = 1;            // alternates between 1 and 2 at every mass check
  // The overland constituent transport: the direction it sweeps first
  // (1 rows, 2 columns; switched at every step), the water depth of every
  // cell when it last ran (m), and the time left (s) until the
  // contaminants' kinetics run again, over which it spreads what they
  // gathered.
  int ov_sweep_order = 1;
  array1d<double> ov_depth_prev;
  double kinetic_left_s = 0.0;
  // The nutrient model's two overland clocks: the length (s) of the last
  // interval of its kinetics and of its soil step, over which the
  // transport spreads what each gathered for the water.
  double nsm_kinetic_interval_s = 0.0, nsm_soil_interval_s = 0.0;
  // The same for its kinetics in the channels (s).
  double nsm_chan_interval_s = 0.0;
  // Kernel scratch of the transport, sized at set-up for the run's grid:
  // the net source rate of every cell (g/s), each cell's infiltrated depth
  // when the constituents last took it (m), and the face fluxes.
  array1d<double> ov_source_rate;
  array1d<double> ov_infil_seen;
  array1d<double> ov_taken_exchange, ov_taken_decay, ov_taken_infil, ov_taken_exfil;  // per cell, g, of one step
  array1d<double> ov_taken_nsm_gain, ov_taken_nsm_loss;  // per cell, g, of one step: the nutrient kinetics
  ov_transport_scratch ov_transport_work;
  // The lakes on the grid: per cell the lake that holds its water at this
  // step and at the last one (L a channel lake, -L an overland lake, 0
  // none; ov_lake_not_seen before the first step), and the concentration
  // of that lake's water for the transport (g/m3); per overland lake its
  // water, and the water over the cells it has just left (m3), and, per
  // constituent, the mass it holds (g), part of the overland water's.
  static constexpr int ov_lake_not_seen = -2147483647 - 1;
  array1d<int> ov_lake_code, ov_lake_seen;
  array1d<double> ov_held_conc;
  array1d<double> olake_water, olake_left_water;
  jagged_array<double> olake_mass;  // [constituent][overland lake]
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
  // Carried out of the grid through the overland boundary cells, run and
  // event (kg).
  checked_array<double> ov_boundary_mass{"ov_boundary_mass"};
  checked_array<double> event_ov_boundary_mass{"event_ov_boundary_mass"};
  // Carried out of the grid through boundary cells under channel lakes, run
  // and event (kg).
  checked_array<double> lake_boundary_mass{"lake_boundary_mass"};
  checked_array<double> event_lake_boundary_mass{"event_lake_boundary_mass"};

  checked_array<double> GLOBAL_MASS_CON_ERROR{"GLOBAL_MASS_CON_ERROR"};
  checked_array<double> GLOBAL_MASS_DECAY{"GLOBAL_MASS_DECAY"};
  checked_array<double> GLOBAL_MASS_INIT{"GLOBAL_MASS_INIT"};
  checked_array<double> GLOBAL_MASS_FINAL{"GLOBAL_MASS_FINAL"};
  checked_array<double> GLOBAL_POINT_SOURCE{"GLOBAL_POINT_SOURCE"};
  checked_array<double> GLOBAL_MASS_OUT{"GLOBAL_MASS_OUT"};
  checked_array<double> GLOBAL_GW_MASS{"GLOBAL_GW_MASS"};
  checked_array<double> ov_exit_mass{"ov_exit_mass"};

  // Constituent mass balances of the soil, the sediments, the channels and
  // the lakes (kg).
  checked_array<double> soil_mass_init, soil_mass_final, soil_mass_error, soil_decay_mass;
  checked_array<double> soil_mass_seep_to_wt, soil_mass_seep_from_wt;
  checked_array<double> sed_attached_final{"sed_attached_final"}, sed_contam_total_final{"sed_contam_total_final"},
      sed_eroded_deposited{"sed_eroded_deposited"};
  checked_array<double> sed_contam_source{"sed_contam_source"}, sed_attached_out{"sed_attached_out"},
      sed_attached_to_chan{"sed_attached_to_chan"};
  checked_array<double> ov_nsm_in_mass, ov_nsm_out_mass, ov_lake_mass;
  checked_array<double> global_precip_mass, global_nsm_in_mass, global_nsm_out_mass;
  checked_array<double> global_gw_exfil_mass{"global_gw_exfil_mass"};  // onto the cells from the groundwater
  checked_array<double> chan_mass_init, chan_mass_final, chan_mass_out;
  checked_array<double> chan_lake_in_mass, chan_lake_out_mass, chan_lake_exch_mass;
  checked_array<double> chan_gw_mass, chan_decay_mass, chan_nsm_gain, chan_nsm_loss;
  checked_array<double> chan_sed_exch_mass, chan_sed_lat_in, chan_sed_out, chan_sed_susp_final;
  checked_array<double> lake_mass_init_run, lake_mass_final_run, lake_inflow_mass, lake_outflow_mass;
  checked_array<double> lake_chan_exch_mass, lake_precip_mass, lake_decay_mass;
  checked_array<double> chan_point_mass, lake_gw_mass_run;  // channel point sources and lake beds, run
  checked_array<double> lake_point_mass_run;                 // lake point sources, run
  checked_array<double> lake_sed_exch_run;  // lakes: released by their fines into the water (-: sorbed), run
  // event terms beside the overland ones above
  checked_array<double> event_ov_mass_final, event_ov_land_mass_final, event_ov_lake_mass;
  checked_array<double> event_ov_nsm_in_mass, event_ov_nsm_out_mass, event_sed_attached_to_lake;
  checked_array<double> chan_mass_init_event, chan_mass_final_event, chan_mass_out_event;
  checked_array<double> chan_point_mass_event, chan_gw_mass_event, chan_decay_mass_event;
  checked_array<double> chan_nsm_gain_event, chan_nsm_loss_event;
  checked_array<double> chan_lake_in_mass_event, chan_lake_out_mass_event, chan_lake_exch_mass_event;
  checked_array<double> chan_sed_lat_in_event, chan_sed_exch_event, chan_sed_out_event;
  checked_array<double> chan_sed_susp_event, chan_sed_to_lake_event;
  checked_array<double> lake_mass_init_event, lake_mass_final_event;
  checked_array<double> lake_precip_mass_event, lake_inflow_mass_event, lake_outflow_mass_event;
  checked_array<double> lake_chan_exch_event, lake_ov_mass_event, lake_point_mass_event;
  checked_array<double> lake_gw_mass_event, lake_decay_mass_event;
  checked_array<double> lake_sed_exch_event, lake_sed_ov_in_event, lake_sed_chan_in_event;
  double nsm_dmdt_in_total = 0.0, nsm_dmdt_out_total = 0.0;

  // Sediment totals read by the run and event summaries and the sediment
  // bed output.
  array2d<double> sed_vol_overland_to_lake;  // [lake][class]
  array1d<double> ov_superlink_sed_total;    // per class, run
  array1d<double> ov_superlink_sed_event;    // per class, event
  double sl_sed_water_event = 0.0;   // water carrying sediment into the drains, event
  array1d<double> event_sed_to_chan; // per class, event
  chan_sed_totals chan_sed_run, chan_sed_event;
  std::vector<lake_sed_totals> lake_sed_run, lake_sed_event;  // per lake, 1-based
  std::vector<lake_sed_totals> lake_sed_event_start;           // per lake: its run totals when the event started
  double init_chan_sand_vol = 0.0, init_wash_load = 0.0;      // event start
  double final_chan_sand = 0.0, final_wash_load = 0.0;
  double max_wash_rate = 0.0;        // m3/s, event
  double event_wash_outflow = 0.0;   // m3, event
  array2d<double> qsmax_total;       // [node][link] total flux of the link/node file

  // ---- Files: constituent maps and output files.
  guarded_file contam_map_file;
  guarded_file ov_point_source_file;
  guarded_file adjust_elev_file;
  guarded_file chan_contam_file;
  guarded_file total_chan_p_file;
  guarded_file total_chan_kn_file;
  guarded_file sed_hyd_location_file;      // IN_SED_LOC, read at set-up
  guarded_file out_sed_hyd_location_file;
  guarded_file total_chan_n_file;

  // True for a sediment class carried as a constituent.
  bool is_sediment_class(int c) const {
    return num_sed_constituents > 0 && c >= first_sed_constituent && c < first_sed_constituent + num_sed_constituents;
  }

  // ---- Scratch of the overland constituent step: the mass rates of the
  // step, one value per constituent.
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
};

}  // namespace nivra
