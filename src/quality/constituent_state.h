// Part of the run's model_state: Sediments, contaminants and nutrients: balances, per-constituent tables, the sediment record.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "quality/ov_sed_record.h"

#include <memory>
#include <string>
#include <vector>

namespace nivra {

struct nsm_writers;

struct constituent_state {
  // --- sediments read by the outputs
  int soil_erosion_on = 0;
  int chan_sed_on = 0;
  int n_sed_classes = 0, n_fine_classes = 0, n_sand_classes = 0;
  int net_sed_volume = 0, vol_sed_susp = 0, max_sed_flux = 0;  // output requests
  int in_sed_loc = 0, outlet_sed_tss = 0, out_tss_loc = 0;
  std::unique_ptr<ov_sed_record> ov_sed;  // made by the sediment set-up
  array1d<double> chan_fine_out;     // outlet wash-load rate per fine position, 0 the total
  array1d<double> chan_sand_out;     // outlet sand per sand class; entries 1..n_sand_classes + 1 are written
  array2d<double> qsmax;             // [flat node][class position] flux of the step
  array2d<double> chan_sed_conc;     // [flat node][class], 0 the total
  array2d<double> qsmax_total;       // [node][link] total flux of the link/node file
  guarded_file outlet_sed_flux_file;
  guarded_file outlet_sed_tss_file;
  guarded_file out_tss_loc_file;
  guarded_file out_sed_hyd_location_file;
  guarded_file vol_sed_susp_file;
  guarded_file max_sed_flux_file;
  guarded_file net_sed_volume_file;

  // --- constituents read by the outputs
  int num_constituents = 0;
  checked_array<int> constituent_type{"constituent_type"};  // 1 contaminant, 2 nutrient water, 3 nutrient soil
  std::vector<std::string> constituent_output_name;      // output name per constituent (1-based)
  jagged_array<double> ov_conc, ov_mass;                   // [constituent][cell]
  jagged_array<double> chan_conc, chan_node_mass;          // [constituent][flat node]
  jagged_array<double> dissolved_chan_flux, attached_chan_flux;  // [constituent][flat node]
  jagged_array<double> lake_conc, lake_mass;               // [constituent][lake]
  int ov_con_trans = 0;
  int chan_con_trans = 0;
  int sediment_contam = 0;
  int nutrients = 0;
  nsm_writers* nsm_out = nullptr;    // the nutrient container's output block
};

}  // namespace nivra
