// A component of the run's record: Infiltration and soil moisture: Green-Ampt and layered soil arrays, Richards columns, the soil-class table.
#pragma once

#include "clock/clock_state.h"
#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "soil/infiltration_schemes.h"
#include "soil/richards.h"
#include <vector>

namespace nivra {

// Layered soil parameters of one soil class: 50 reals, numbered 1 to 50 by
// the soil-table readers. In a layered Green-Ampt table each quantity is a
// triple, one real per soil layer j = 1..3; the accessors below name them.
struct soil_class {
  double reals[50] = {};
  double& real(int k) { return reals[k - 1]; }
  double real(int k) const { return reals[k - 1]; }

  double capillary_head(int j) const { return real(j); }          // wetting-front suction, cm
  double conductivity(int j) const { return real(4 + j); }        // saturated conductivity, cm/h
  double porosity(int j) const { return real(7 + j); }            // water content at saturation
  double initial_moisture(int j) const { return real(10 + j); }   // initial water content
  double wilting_point(int j) const { return real(13 + j); }
  double field_capacity(int j) const { return real(16 + j); }
  double residual_moisture(int j) const { return real(19 + j); }
  double thickness(int j) const { return real(22 + j); }          // layers 1 and 2, cm; layer 3 is unbounded
  double pore_index(int j) const { return real(25 + j); }         // Brooks-Corey lambda
};

inline constexpr int soil_class_capacity = 100000;  // soil class IDs 0 to 99,999

// The clocks of the event a run ended in, as a soil hot-start carries them:
// the infiltration step's, the soil-moisture accounting's (given with the
// accounting), and whether the redistribution fronts were running (0: the
// infiltration slept until the next event).
struct soil_event_clocks {
  carried_clock infiltration, accounting;
  int running = 1;
};

struct soil_state {
  // ---- Parameters: set at set-up from the cards and the maps, read-only
  // afterwards.
  // Depths of the top soil layer and of the soil-moisture layer, cm. The
  // soil-moisture series writer puts the top-layer depth of each location's
  // soil class in top_layer_depth under layered soils.
  double top_layer_depth = 40.0;
  double soil_moist_depth = 40.0;
  // Soil classes indexed by ID. The table is made (zeroed, full capacity)
  // the first time soil_classes() is asked.
  array1d<soil_class> multilayer_soil_table;
  array1d<soil_class>& soil_classes() {
    if (multilayer_soil_table.empty()) multilayer_soil_table.alloc(soil_class_capacity - 1);
    return multilayer_soil_table;
  }
  // Infiltration scheme and the soil maps and options of the project.
  int green_ampt = 0, inf_redist = 0;
  int inf_richards = 0;
  int inf_layered_soil = 0;
  int sm_accounting = 0;
  int conductivity_given = 0, capillary_given = 0, porosity_given = 0;
  int pore_index_given = 0, residual_sat_given = 0;
  int moisture_given = 0;
  int area_reduction_given = 0;
  double unif_area_reduction = 0.0;
  int unif_area_reduction_given = 0;
  double mixing_layer_depth = 0.0;  // cm
  double richards_weight = 0.0;
  int richards_k_option = 0, richards_c_option = 0, richards_upper_option = 0;
  int richards_iter_max = 0;
  double richards_dtheta_max = 0.0;
  int read_sm_hotstart_given = 0;
  int write_sm_hotstart_given = 0;
  // Soil and infiltration parameters per cell, made by the map phase.
  array1d<int> soiltype;             // soil class per cell
  array1d<double> sm_depth;          // soil-moisture accounting depth per cell, cm
  array1d<double> sat_hyd_cond;      // m/s
  array1d<double> capillary_head;    // m
  array1d<double> soil_porosity;
  array1d<double> pore_dist_index;
  array1d<double> resid_sat;
  array1d<double> area_reduction;    // share of the cell that infiltrates (1 - the map's reduction)
  array1d<double> wilting_point_cell;
  array1d<double> root_depth;        // m
  // Richards columns: layers per cell, layer thicknesses and node counts.
  array1d<int> numcells;             // Richards layers per cell
  array2d<double> DZ;                // [cell][node] node thickness, cm
  array1d<double> avgks;
  array1d<double> totaldz;
  array1d<int> num1, num2, num3;     // last node of layers 1, 2, 3 (151 entries)
  array1d<int> numtot;
  array1d<int> bound_type;           // every cell 1 when made
  int max_soil_layers = 0;           // largest layer count of the soil table

  // ---- State: the soil water.
  array1d<double> inf_depth_cell;    // infiltrated depth per cell, m (over the open part of a blocked cell)
  array1d<double> inf_rate;          // infiltration rate per cell, cm/h
  // Green-Ampt fronts: the cumulative infiltrated depth F (m) and its value
  // when the infiltration step last booked it; with redistribution also the
  // water content of the surface wetting front and the depth the first
  // (redistributing) front holds (m). The redistribution kernel reports the
  // water content at the surface in surface_moisture.
  array1d<double> cum_infil, cum_infil_prev;
  array1d<double> theta_front;
  array1d<double> redist_infil;
  // Depth (m over the whole cell) infiltrated and not yet taken into the
  // soil-moisture accounting layer.
  array1d<double> sm_infil_in;
  array1d<double> surface_moisture;
  array1d<double> init_moisture;
  array1d<double> init_moisture_old;
  array1d<double> init_moisture_redist;
  array1d<double> sm_water;          // cm of water per cell (simple soil store)
  array1d<double> sm_water_top, sm_water_bottom;  // cm of water in the two soil-moisture layers
  // The unsaturated zone between the accounting layer and the water table
  // (saturated groundwater): its water content (the aquifer's storage
  // coefficient x SINGLE_UNSAT_SAT) and its thickness at the last
  // groundwater step (m).
  array1d<double> gw_inf_redist_theta;
  array1d<double> unsat_zone_depth;
  array2d<double> THETA;             // [cell][node] water content (Richards columns)
  // The rest of the Richards columns: node soils, heads, conductivities,
  // capacities, face fluxes and sources.
  richards_columns richards;
  array2d<double> THETA_ML;          // [cell][1..4] layered-soil water content
  array1d<double> wetdep;
  // Drainage below the soil column (cm per cell) since the groundwater last
  // took it, and the same drainage kept for the groundwater's recharge.
  array1d<double> unsat_down_flux, recharge_depth;
  // With soil constituent transport: the water (cm per cell) the accounting
  // moved from its top zone into its bottom zone, and below its column,
  // since the soil constituent step last took them.
  array1d<double> sm_interlayer_flow, sm_percolation;
  array1d<double> PHEADOLD;          // previous pressure heads
  // Frozen-soil energy per cell and soil layer, made at set-up with the
  // frozen-soil card.
  array2d<double> SE;

  // ---- Per-run bookkeeping and step flags.
  // What a soil hot-start's companion carried (soil/soil_hotstart.h): the
  // infiltration step its fronts had reached in the event the writing run
  // ended in (0: none; they start again at the next event) and the model
  // time it ended. The fronts go on in this run's first event when it
  // starts then; fronts_continue_at hands the step to the event's start.
  int carried_fronts_step = 0;
  double carried_fronts_until = 0.0;
  int fronts_continue_at = 0;
  // The clocks of that event, taken up when the fronts go on.
  soil_event_clocks carried_clocks;
  int hotstart_state_read = 0;       // the soil hot-start's companion was read
  // Per-cell memory of the infiltration schemes.
  array1d<int> iter_pond_1;
  array1d<int> iter_n;
  array1d<int> no_wat_prof;
  array1d<int> iter_i_less_k;
  array1d<double> ga_value_6;
  array1d<double> sm_bottom_loss;
  array1d<double> VOLCHANGE;
  array1d<double> MASSERROR;
  array1d<double> dtr;
  array1d<double> inf_rich;
  array1d<double> direct_evap_cell;  // cm evaporated from ponded water per cell
  // The kernels' own objects.
  green_ampt_scheme ga_kernel;
  richards_scheme richards_kernel;
  // Soil figures of the event summary.
  double init_soil_water = 0.0;      // basin-average relative saturation at the event start
  double final_soil_moisture = 0.0;  // the same at the event end
  double net_infil_vol = 0.0, richards_mass_error = 0.0;
  int n_cells_start_event = 0, n_cells_end_event = 0;

  // ---- Files: input maps and tables, theta locations, hotstart and
  // evaporation files.
  guarded_file soil_type_file;
  guarded_file soil_moisture_file;
  guarded_file ks_file;
  guarded_file hc_file;
  guarded_file porosity_file;
  guarded_file pore_index_file;
  guarded_file residual_sat_file;
  guarded_file area_reduction_file;
  guarded_file soil_layer_table_file;
  guarded_file in_theta_location_file;
  guarded_file out_theta_location_file;
  guarded_file read_sm_hotstart_file;
  guarded_file write_sm_hotstart_file;
  guarded_file read_sm_state_file;   // the companion ".state" of the soil hot-start read, when there is one
  guarded_file evap_out_file;
};

}  // namespace nivra
