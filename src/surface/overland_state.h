// Part of the run's model_state: Overland flow: depths, discharges, roughness, retention, routing scheme switches and the per-run state of the routing kernels.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

// Overland boundary condition of a cell (boundary_type).
namespace boundary {
inline constexpr int none = 0;
inline constexpr int normal_depth = 1;      // normal-depth outflow at the edge
inline constexpr int fixed_level = 2;       // fixed water level
inline constexpr int level_series = 3;      // water level from a time series
inline constexpr int discharge_cfs = 4;     // discharge series, cubic feet per second
inline constexpr int discharge_cms = 5;     // discharge series, m3/s
inline constexpr int rating_exchange = 6;   // two-way rating exchange with receivers
inline constexpr int rating_outflow = 7;    // one-way rating outflow to receivers
inline constexpr int xy_level = 9;          // level from an XY boundary point
inline constexpr int rating_receiver = 99;  // receives the flow of types 6 and 7

// A cell whose water level is imposed: its depth stays, and what the
// routing would change is booked as entering or leaving the grid.
inline constexpr bool holds_level(int type) {
  return type == fixed_level || type == level_series || type == xy_level;
}
}  // namespace boundary

struct overland_state {
  // Routing scheme and the values the kernels are handed.
  int overtype = 2;           // 1 explicit, 2 ADE, 3 ADE-PC
  int ade_sweep = 1;          // alternates between 1 and 2 every ADE step
  double snow_darcy = -1.0;   // given to the ADE and snow kernels

  // Input maps and hotstart files.
  guarded_file roughness_file;
  guarded_file reten_depth_file;
  guarded_file read_ov_hotstart_file;
  guarded_file write_ov_hotstart_file;

  // --- overland flow read by the outputs
  array1d<double> ov_depth;          // m
  array1d<double> ov_qx, ov_qy;      // flow across the right and lower face, m3/s
  double qout = 0.0;                 // outlet discharge, m3/s

  // Overland routing: scheme, depths, face discharges, surface parameters.
  array1d<double> ov_dh;            // depth change gathered in one explicit sub-step, m
  array1d<double> ov_volx;          // volume through the right face over the ADE step, m3
  array1d<double> ov_voly;          // volume through the lower face over the ADE step, m3
  array1d<double> ov_pc_depth;      // ADE-PC predicted depth
  array1d<double> ov_pc_flux;       // ADE-PC predictor face discharge
  array1d<double> retent_dep;       // retention depth, m
  array1d<double> dist_rough;       // Manning n
  array1d<double> roughness_exp;    // effective n = dist_rough * exp(-roughness_exp * depth)
  // Boundary conditions and flow blockage as the kernels see them.
  int ov_boundary = 0;
  array1d<int> boundary_type;
  double slope_bound_loss_vol = 0.0;
  double head_bound_loss_vol = 0.0;   // m3 that left the grid into fixed-level cells
  double head_bound_gain_vol = 0.0;   // m3 that entered the grid from fixed-level cells
  int ovr_flow_block = 0;
  array2d<double> ovr_flow_block_frac;  // [cell][1 top, 2 right, 3 bottom, 4 left] blocked side fractions
  array1d<double> ovr_flow_block_cell;  // blocked fraction of the cell's area
  // Explicit scheme, kept between its calls within the run.
  int ov_sweep_toggle = 0;          // flipped at every call; 1: y sweep first
  double ov_reduced_dt = 0.0;       // last reduced sub-step, s
  int ov_reduced_countdown = 0;     // further calls that start on ov_reduced_dt
  int ov_reduced_active = 0;        // the current call started on the reduced sub-step
  array1d<double> ov_depth_save;        // depths at the start of the call
  array1d<double> ov_lake_elev_save;    // channel-lake levels at the start of the call
  array1d<double> ov_lake_volume_save;  // channel-lake volumes at the start of the call
  array1d<double> ov_flow_depth_pow;    // (depth - retention)^(5/3) of the current sub-step
  // ADE schemes, kept between calls within the run.
  double ade_min_dt = 0.001;        // set to dx * 0.001 / 100 at the first call
  double ade_dt_factor = 1.0;       // stability multiplier, halved after a failed attempt
  int ade_calls = 0;
  int ade_stable_count = 0;         // stable sub-step decisions since the factor last changed
  double ade_last_dt = 0.0;         // last sub-step chosen, s
  double ade_area = 0.0;            // dx^2
  double ade_pc_coef = 0.0;         // dt / dx^2 of the current ADE-PC call
  array1d<double> ade_rough;        // effective Manning n of the sub-step
  array1d<double> ade_depth_save;   // depths at the start of the step
  array1d<double> ade_lake_save;    // channel lakes at the start of the step: volume, in, out
  array1d<double> ade_olake_acc;    // overland-lake exchange gathered over the step

  // Overland water and boundary volumes read by the run and event
  // summaries (m3), the overland hotstart switch and the flood-depth grid.
  double init_ov_volume = 0.0;       // water on the grid at the start of the run
  double init_vol_overland = 0.0;    // water on the grid at the start of the event
  double vol_surface_final = 0.0;    // water left on the grid
  double vol_point_src = 0.0;        // overland point sources, run
  double event_vol_point_src = 0.0;  // overland point sources, event
  int xy_ov_boundary = 0;
  double dis_bound_gain_vol = 0.0, dis_bound_loss_vol = 0.0, dis_bound_unmet_vol = 0.0;
  double bound_gain_total = 0.0, bound_loss_total = 0.0;
  double event_head_bound_in = 0.0, event_head_bound_out = 0.0;
  double event_slope_bound_out = 0.0;
  double event_dis_bound_in = 0.0, event_dis_bound_out = 0.0, event_dis_bound_unmet = 0.0;
  int write_ov_hotstart_given = 0;
  array1d<double> flood_depth_max;   // per cell: largest overland depth of the run, m
  int roughness_given = 0, manning_n_given = 0;
  int retention_given = 0, reten_depth_given = 0;


  // Roughness, retention, boundaries and hotstarts chosen by the project.
  double manning_n = 0.0;
  double retention = 0.0;
  int initial_depth_given = 0;
  int snow_darcy_given = 0;
  double snow_reynolds = 0.0;
  int snow_reynolds_given = 0;
  int overland_backwater = 0;
  int ov_pump_given = 0;
  double init_elev_head = 0.0;
  int init_elev_head_given = 0;
  int ov_hotstart_read_given = 0;

  // Surface-parameter switches (set from the project by the run parameters).
  int snow_roughness_given = 0;

  // Overland state and surface parameters per cell, made by the map phase.
  array1d<double> ov_depth_old;  // m, previous step
  array1d<double> dist_rough_copy;  // Manning n kept for snow roughness
  double snow_manning_n = 0.0;  // SNOW_ROUGHNESS value
  int ov_water_at_start = 0;  // the run starts with water on the grid

  // The overland step of the time loop: whether the grid is wet and
  // flowing, the outlet volumes, and the run totals of the boundaries and
  // point sources as they stood when the event began (m3).
  int ov_wet = 0;                    // some counted cell holds water
  int ov_flowing = 0;                // some counted cell moves water
  double ov_outlet_vol = 0.0;        // event volume through the outlet without channels
  double outlet_vol_step = 0.0;      // outlet volume summed for the constituent loads
  array1d<int> rain_reset;           // per cell: cleared where rain fell
  double head_bound_loss_start = 0.0, head_bound_gain_start = 0.0;
  double slope_bound_loss_start = 0.0;
  double dis_bound_gain_start = 0.0, dis_bound_loss_start = 0.0, dis_bound_unmet_start = 0.0;
  double vol_point_src_start = 0.0;
};

}  // namespace nivra
