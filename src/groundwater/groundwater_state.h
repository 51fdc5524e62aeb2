// A component of the run's record: Saturated groundwater, tiles and wells, Sacramento and conceptual groundwater models.
#pragma once

#include "clock/clock_state.h"
#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "groundwater/aquifer.h"
#include "soil/soil_column.h"
#include "model/file_name_text.h"

#include <vector>

namespace nivra {

// A well of the mapping table's WELL_TABLE placed in a cell: a constant
// rate (kind 0) or the rate of the series series_id of the
// TIME_SERIES_INDEX table (any other kind).
struct well_entry {
  int id = 0;            // the cell's number once placed
  long long kind = 0;
  double rate = 0.0;
  int series_id = 0;
};

// The Sacramento soil-moisture accounting model: its parameters and stores
// (depths in mm, rates per step).
struct sac_record {
  // Capacities of the upper and lower zones' tension and free water.
  double uztwm = 0.0, uzfwm = 0.0;
  double lztwm = 0.0, lzfsm = 0.0, lzfpm = 0.0;
  // Depletion of the upper free store and of the lower supplementary and
  // primary stores per step (0..1); the percolation multiplier and
  // exponent; the share of percolation that goes straight to the lower free
  // stores; the lower free water not available to the tension water.
  double uzk = 0.0, lzsk = 0.0, lzpk = 0.0;
  double zperc = 0.0, rexp = 0.0, pfree = 0.0, saved = 0.0;
  double pbase = 0.0;                // lzfsm lzsk + lzfpm lzpk
  // What the stores hold.
  double uztwc = 0.0, uzfwc = 0.0, lztwc = 0.0, lzfsc = 0.0, lzfpc = 0.0;
  double sac_residual = 0.0;         // the model's own accumulated residual
  double sac_runoff = 0.0;           // surface runoff, interflow and baseflow of the last step
};

// The conceptual groundwater model's two linear stores (mm, rates per step).
struct congw_store_block {
  double slow_max = 0.0, fast_max = 0.0;
  double slow_rate = 0.0, fast_rate = 0.0;
  double slow_content = 0.0, fast_content = 0.0;
  double underflow_percent = 0.0;    // read and bounded, not used
  double congw_outflow = 0.0;        // both stores' outflow of the last step
  double congw_max_outflow = 0.0;    // slow_max slow_rate + fast_max fast_rate
};

struct groundwater_state {
  // ---- Parameters: set at set-up from the cards and the maps, read-only
  // afterwards.
  // Groundwater options and maps of the project.
  int gw_simulation = 0;
  int water_table_given = 0;
  double gw_relax_coeff = 1.0;  // relaxation coefficient
  int gw_assign_theta = 0;
  int gw_lsor_dir = 0;
  double aquifer_delta_z = 0.0;  // m; below 0 when not given
  double gw_unif_porosity = 0.0;
  int gw_unif_porosity_given = 0, gw_porosity_map_given = 0;
  double gw_unif_hycond = 0.0;
  int gw_unif_hycond_given = 0, gw_hycond_map_given = 0;
  double gw_timestep = 0.0;  // s
  double gw_lsor_con = 0.0;
  double single_unsat_sat = 0.0;    // water content of the unsaturated zone over the aquifer's storage coefficient
  double gw_leakage_rate = 0.0;  // cm/h
  int gw_boundfile_given = 0;  // the GW_BOUNDFILE card names the boundary map (else the mapping table gives it)
  int gw_fluxboundtable_given = 0;
  int use_wells = 0;
  // Sacramento and conceptual models, each with its topographic-index switch.
  int sacramento_given = 0;
  double sac_area = 0.0;             // m2
  int topo_index = 0, sac_topo_index = 0;
  int conceptual_gw_given = 0, topo_index_cgs = 0, cgs_topo_index = 0;
  // Per-cell groundwater arrays, made by the map phase, and the wells.
  array1d<int> gwbound;              // boundary code per cell
  array1d<double> bottom_elev;       // aquifer bottom per cell, m
  array1d<double> gw_porosity;       // storage coefficient per cell
  array1d<double> gw_porosity_old;
  // Per cell under Richards columns or the soil-moisture accounting layer:
  // the pores the table rises and falls through (Richards: the saturated
  // water contents of layers 1, 2 and 3, the aquifer's coefficient below;
  // accounting: open water above the ground, within the layer the soil's
  // porosity or, layered soils, that of the class's layer 1 and 2, the
  // aquifer's coefficient below).
  array1d<storage_profile> storage_layers;
  array1d<double> gw_hyd_cond;       // m/s
  array1d<double> gw_hyd_cond_old;
  array1d<double> gw_static_flux;    // m/s
  array1d<double> gw_cell_dx;
  array1d<double> gw_cell_dy;
  array1d<int> yes_exfil;            // 1 where the cell may exfiltrate
  int any_exfil = 0;
  array1d<double> topo_dex;          // topographic index (Sacramento)
  array1d<double> upslope_area;      // area draining through each cell, m2 (conceptual groundwater)
  array1d<int> con_link;             // channel link of each cell of the link map, 0 for none
  int num_wells = 0;
  array1d<int> well_row, well_column;
  int use_wells_on = 0;              // wells come from the WELL_TABLE
  std::vector<well_entry> well_list; // the placed wells, the last cell of the grid first
  int gw_static_flux_count = 0, gw_dynamic_well_count = 0;

  // ---- State: the saturated zone and the Sacramento stores.
  array1d<double> elevgw;            // water-table elevation per cell, m
  array1d<double> gw_flux;
  array1d<int> num_unsat_cells;
  sac_record sac_params;
  congw_store_block congw_store;

  // ---- Per-run bookkeeping and step flags.
  int gw_sweep = 1;                  // alternates between 1 and 2 after every solve
  // The aquifer's clock a groundwater hot-start carried, taken up when the
  // run's first event is the writing run's event going on.
  carried_clock carried_gw_clock;
  // What the aquifer gives and takes between its solves: the well flux of
  // the cells (m/s, positive pumping), the water that reached the table
  // (m), the water the streams took from it (m3, negative: gave), the
  // water the seeping lakes took from it (lake_source below) and the water
  // the tile drains took from it (m3; their rate of the pipe step, m3/s, in
  // gw_tile_flux_cell).
  array1d<double> gw_well_flux;
  array1d<double> gw_recharge;
  array1d<double> cell_stream_exchange_vol;
  array1d<double> lake_source;       // per cell: m3 the aquifer gave the lake above it (negative: took), with seeping lakes
  array1d<double> gw_tile_vol_cell;
  array1d<double> gw_tile_flux_cell;
  array2d<double> av_qriv;           // [node][link] stream-aquifer exchange summed since the last output step
  array1d<double> cum_gw_recharge;   // cumulative recharge per cell, m
  // The Sacramento model's run: its stores at the first step, its totals
  // (mm over its area) and its channel loss (m3).
  sac_record sac_init_params;        // the stores as they were at the first step
  double sac_rain_mm = 0.0, sac_pet_mm = 0.0, sac_aet_mm = 0.0;
  double sac_subsurface_runoff_mm = 0.0, sac_deep_recharge_mm = 0.0;
  double sac_init_storage_mm = 0.0, sac_final_storage_mm = 0.0;
  // The infiltrated depth handed to the lumped models (m summed over the
  // cells) and its value at their last step; what they send to the
  // channels (m3/s) until their next step; the watershed-mean input of the
  // last step (mm).
  double sac_infil_in = 0.0, sac_infil_prev = 0.0, sac_chan_inflow = 0.0;
  int sac_step_count = 0;
  double congw_infil_in = 0.0, congw_infil_prev = 0.0, congw_qlat = 0.0;
  double congw_step_count = 0.0;
  double congw_outflow_1 = 0.0, congw_outflow_2 = 0.0;
  double congw_storage_before = 0.0, congw_storage_after = 0.0, congw_input = 0.0, congw_balance_pct = 0.0;
  congw_store_block congw_init_store;  // the stores as they were read
  double lumped_input_mm = 0.0;
  double lumped_pool = 0.0;          // runoff of the lumped model not yet taken by the channels, m3

  // ---- Files: input maps and tables, well and flux locations, outputs.
  guarded_file sacramento_param_file;
  guarded_file conceptual_gw_param_file;
  guarded_file water_table_file;
  guarded_file water_table_state_file;  // the companion ".state" of a WATER_TABLE map a groundwater run wrote, when there is one
  guarded_file aquifer_bottom_file;
  guarded_file well_location_file;
  guarded_file gw_boundary_file;
  guarded_file gw_hycond_file;
  guarded_file gw_porosity_file;
  guarded_file well_level_file;
  guarded_file gw_flux_location_file;
  guarded_file out_gw_flux_location_file;
  guarded_file gw_hotstart_out_file;
  file_name_text gw_hotstart_out_file_name;  // made when the hotstart is written at the end of the run

  // ---- Scratch of the groundwater step: the tridiagonal system of the
  // solver.
  array1d<double> A, B, C, D;
  aquifer_solver aquifer;            // the head solver's lines and work arrays
  soil_column_scratch column_scratch;  // the old profile of a soil column laid out again
  unsaturated_cover column_cover;    // the Richards columns' water over the tables, for each solve
};

}  // namespace nivra
