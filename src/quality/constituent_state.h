// Part of the run's model_state: Sediments, contaminants and nutrients: balances, per-constituent tables, the sediment record.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/project.h"

namespace nivra {

// The overland sediment record: per-class totals of the run (m3).
struct ov_sed_record {
  // [class][1..4]: 1 eroded (a negative running sum), 2 suspended,
  // 3 deposited, 4 discharged (to the outlet or into the channels).
  array2d<double> tot_sed;
};

// Channel sediment volumes of the run or of one event, m3.
struct chan_sed_totals {
  double sand_init = 0.0;            // sand in the channels at the start of the run
  double sand_in = 0.0;              // sand from the cells
  double sand_to_lakes = 0.0;
  double sand_out = 0.0;             // sand through the outlet
  double wash_in = 0.0;              // wash load from the cells
  double wash_to_lakes = 0.0, wash_from_lakes = 0.0;
  double wash_out = 0.0;             // wash load through the outlet
  double lake_wash_from_ov = 0.0;    // net wash load into lakes from the cells
  double lake_wash_settled = 0.0;
  double lake_sand_from_chan = 0.0;  // sand from the channels settled on lake beds
  double lake_sand_from_ov = 0.0;    // sand from the cells settled at lake boundaries
};

// Suspended sediment and sand of one channel lake over the run or an event, m3.
struct lake_sed_totals {
  double ss_init = 0.0, ss_to_chan = 0.0, ss_from_chan = 0.0, ss_from_ov = 0.0;
  double ss_settled = 0.0, ss_total = 0.0;
  double ss_conc_vol = 0.0;          // volumetric concentration, m3/m3
  double sand_bottom = 0.0, sand_boundary = 0.0;
};

struct constituent_state {
  // Sediment totals read by the run and event summaries and the sediment
  // bed output.
  int soil_erosion_on = 0;
  int sed_transport_mode = 0;        // 1 overland sediment step; 2 classes carried as constituents
  int chan_sed_on = 0;
  int in_sed_loc = 0;
  int n_sed_classes = 0, n_sand_classes = 0, n_fine_classes = 0;
  array1d<int> sand;                 // per class: 1 sand, 0 fine
  array1d<int> sed_class;            // fine classes first, then sand
  std::unique_ptr<ov_sed_record> ov_sed;
  array2d<double> sed_vol_overland_to_lake;  // [lake][class]
  array1d<double> ov_superlink_sed_total;    // per class, run
  array1d<double> ov_superlink_sed_event;    // per class, event
  double sl_sed_water_event = 0.0;   // water carrying sediment into the drains, event
  array1d<double> event_sed_to_chan; // per class, event
  chan_sed_totals chan_sed_run, chan_sed_event;
  std::vector<lake_sed_totals> lake_sed_run, lake_sed_event;  // per lake, 1-based
  double init_chan_sand_vol = 0.0, init_wash_load = 0.0;      // event start
  double final_chan_sand = 0.0, final_wash_load = 0.0;
  double max_wash_rate = 0.0;        // m3/s, event
  double event_wash_outflow = 0.0;   // m3, event
  array2d<double> qlat_tot_sed;      // [flat node][class]
  array2d<double> ch_wash_vol;       // [flat node][fine position] suspended wash load, m3
  int fyssi_given = 0;
  file_name_text fyssi;

  // Constituents: flags, names and the per-constituent mass balances (kg).
  int ov_con_trans = 0, soil_con_trans = 0, chan_con_trans = 0;
  int sediment_contam = 0, soil_static_conc = 0, contam_table_input = 0;
  int nutrients = 0;
  int num_constituents = 0;
  checked_array<int> constituent_type{"constituent_type"};  // 1 contaminant, 2 nutrient, 3 soil pool
  std::vector<std::string> constituent_name;  // 1-based; empty: known by number
  checked_array<double> OV_MASS_INIT{"OV_MASS_INIT"}, OV_MASS_FINAL{"OV_MASS_FINAL"};
  checked_array<double> OV_MASS_OUT{"OV_MASS_OUT"}, OV_QLAT_MASS{"OV_QLAT_MASS"};
  checked_array<double> OV_MASS_DECAY{"OV_MASS_DECAY"}, OV_POINT_MASS{"OV_POINT_MASS"};
  checked_array<double> OV_EXFIL_MASS{"OV_EXFIL_MASS"}, OV_PRECIP_MASS{"OV_PRECIP_MASS"};
  checked_array<double> OV_INFIL_MASS{"OV_INFIL_MASS"}, OV_MASS_ERROR{"OV_MASS_ERROR"};
  checked_array<double> OV_LAND_MASS_INIT{"OV_LAND_MASS_INIT"}, OV_LAND_MASS_FINAL{"OV_LAND_MASS_FINAL"};
  checked_array<double> OV_UPTAKE_MASS{"OV_UPTAKE_MASS"};
  checked_array<double> GLOBAL_MASS_CON_ERROR{"GLOBAL_MASS_CON_ERROR"}, GLOBAL_MASS_DECAY{"GLOBAL_MASS_DECAY"};
  checked_array<double> GLOBAL_MASS_INIT{"GLOBAL_MASS_INIT"}, GLOBAL_MASS_FINAL{"GLOBAL_MASS_FINAL"};
  checked_array<double> GLOBAL_POINT_SOURCE{"GLOBAL_POINT_SOURCE"}, GLOBAL_MASS_OUT{"GLOBAL_MASS_OUT"};
  checked_array<double> GLOBAL_GW_MASS{"GLOBAL_GW_MASS"};
  checked_array<double> event_ov_mass_init{"event_ov_mass_init"}, event_ov_decay_mass{"event_ov_decay_mass"};
  checked_array<double> event_ov_uptake_mass{"event_ov_uptake_mass"}, event_ov_infil_mass{"event_ov_infil_mass"};
  checked_array<double> event_ov_exfil_mass{"event_ov_exfil_mass"}, event_ov_qlat_mass{"event_ov_qlat_mass"};
  checked_array<double> event_ov_mass_out{"event_ov_mass_out"}, event_ov_point_mass{"event_ov_point_mass"};
  checked_array<double> event_ov_precip_mass{"event_ov_precip_mass"}, event_ov_land_mass{"event_ov_land_mass"};
  checked_array<double> event_ov_neg_mass{"event_ov_neg_mass"};
  checked_array<double> soil_mass_init, soil_mass_final, soil_mass_error, soil_decay_mass;
  checked_array<double> soil_mass_seep_to_wt, soil_mass_seep_from_wt;
  checked_array<double> sed_attached_final, sed_contam_total_final, sed_eroded_deposited;
  checked_array<double> sed_contam_source, sed_attached_out, sed_attached_to_chan;
  checked_array<double> ov_nsm_in_mass, ov_nsm_out_mass, ov_lake_mass;
  checked_array<double> global_precip_mass, global_nsm_in_mass, global_nsm_out_mass;
  checked_array<double> chan_mass_init, chan_mass_final, chan_mass_out;
  checked_array<double> chan_lake_in_mass, chan_lake_out_mass, chan_lake_exch_mass;
  checked_array<double> chan_gw_mass, chan_decay_mass, chan_nsm_gain, chan_nsm_loss;
  checked_array<double> chan_sed_exch_mass, chan_sed_lat_in, chan_sed_out, chan_sed_susp_final;
  checked_array<double> lake_mass_init_run, lake_mass_final_run, lake_inflow_mass, lake_outflow_mass;
  checked_array<double> lake_chan_exch_mass, lake_precip_mass, lake_decay_mass;
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
  array2d<double> lake_mass, lake_conc;   // [constituent][lake], g and g/m3
  array2d<double> chan_conc;              // [constituent][flat node]
  array3d<double> chan_sed_contam_node_conc;  // [constituent][flat node][fine position]
  double nsm_dmdt_in_total = 0.0, nsm_dmdt_out_total = 0.0;
};

}  // namespace nivra
