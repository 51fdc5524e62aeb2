// A component of the run's record: Overland flow: depths, discharges, roughness, retention, routing scheme switches and the routing kernels' own objects.
#pragma once

#include <vector>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "core/thread_pool.h"
#include "surface/boundary_codes.h"
#include "surface/overland_schemes.h"
#include "surface/pumps.h"

namespace nivra {

// Sides of a cell in ovr_flow_block_frac[cell][side].
namespace block_side {
inline constexpr int top = 1, right = 2, bottom = 3, left = 4;
}  // namespace block_side

// Overland routing schemes (overtype).
namespace overland_scheme {
inline constexpr int explicit_faces = 1;  // explicit face-by-face
inline constexpr int ade = 2;             // alternating-direction explicit, adaptive sub-steps
inline constexpr int ade_pc = 3;          // ADE with a predictor-corrector discharge
}  // namespace overland_scheme

struct overland_state {
  // ---- Parameters: set at set-up from the cards and the maps, read-only
  // afterwards.
  // Routing scheme and the values the kernels are handed.
  int overtype = overland_scheme::ade;
  int num_threads = 0;        // threads of the routing asked by the project (NUM_THREADS); 0: not asked
  double snow_darcy = -1.0;   // given to the ADE and snow kernels
  // Surface parameters per cell, made by the map phase.
  array1d<double> retent_dep;       // retention depth, m
  // Manning n; on the snow-covered cells of a long-term run with snow
  // roughness the overland step puts snow_manning_n here, and
  // dist_rough_copy back where the snow has gone.
  array1d<double> dist_rough;
  array1d<double> roughness_exp;    // effective n = dist_rough * exp(-roughness_exp * depth)
  array1d<double> dist_rough_copy;  // Manning n kept for snow roughness
  double snow_manning_n = 0.0;      // SNOW_ROUGHNESS value
  // Boundary conditions and flow blockage as the kernels see them.
  int ov_boundary = 0;
  array1d<int> boundary_type;
  array1d<double> ov_bc_type_value;     // the OVERLAND_BOUNDARY table's type column, as read
  array1d<double> ov_bc_value;          // its value column: a value, a series or a rating curve ID
  array1d<int> ov_bc_rating_series;     // per cell of type 6 or 7: the elevation series of its rating curve
  array1d<double> bc_value;             // per cell: the value of its condition this step
  int xy_ov_boundary = 0;
  int ovr_flow_block = 0;
  array2d<double> ovr_flow_block_frac;  // [cell][block_side] blocked fraction of each side
  array1d<double> ovr_flow_block_cell;  // blocked fraction of the cell's area
  // Roughness, retention, boundaries and hotstarts chosen by the project.
  double manning_n = 0.0;
  double retention = 0.0;
  int roughness_given = 0, manning_n_given = 0;
  int retention_given = 0, reten_depth_given = 0;
  int initial_depth_given = 0;
  int snow_darcy_given = 0;
  double snow_reynolds = 0.0;
  int snow_reynolds_given = 0;
  int snow_roughness_given = 0;
  int overland_backwater = 0;
  int ov_pump_given = 0;
  std::vector<overland_pump> ov_pumps;  // of the OV_PUMP file
  double init_elev_head = 0.0;
  int init_elev_head_given = 0;
  int ov_hotstart_read_given = 0;
  int write_ov_hotstart_given = 0;

  // ---- State: the overland water and its flow.
  array1d<double> ov_depth;          // m
  array1d<double> ov_depth_old;      // m, previous step
  array1d<double> ov_qx, ov_qy;      // flow across the right and lower face, m3/s
  double qout = 0.0;                 // outlet discharge, m3/s
  // The outlet discharge a hot-start carries into the run (the outlet
  // node's discharge of a channel hot-start), which the series files show
  // at the run's start, m3/s.
  double qout_at_start = 0.0;
  int hotstart_state_read = 0;       // the overland hot-start's companion was read
  // The ground (ADJUST_ELEV) the companion carried, per cell, m: laid on
  // the grid once the slopes are taken from the elevation map, as in the
  // run that wrote it; empty when none is carried.
  array1d<double> carried_ground;
  int hotstart_ground_read = 0;      // the companion carried the ground
  // The model time the run that wrote the companion ended inside an event
  // (Julian days; 0: between events, or no companion): when this run's
  // first event starts then, it is that event going on.
  double carried_event_until = 0.0;

  // ---- Per-run bookkeeping and step flags.
  // The routing kernels' own objects for this run: the sub-steps they hold
  // between calls and their work arrays (surface/overland_schemes.h).
  explicit_scheme explicit_kernel;
  ade_scheme ade_kernel;
  // The threads the routing and the overland step share their loops with,
  // made by the set-up (one thread until then).
  thread_pool crew;
  int part_cells = 8192;                 // the fewest cells a thread takes of a pass
  std::vector<part_tally> step_tallies;  // what the parts of the overland step's passes found
  boundary_cells bc_cells;               // the cells the boundary step goes through
  int ade_sweep = 1;                 // alternates between 1 and 2 every ADE step
  // The grid holds water at the start of the run or of the event; cleared
  // when a long-term run skips a dry period.
  int ov_water_at_start = 0;
  int ov_wet = 0;                    // some counted cell holds water
  int ov_flowing = 0;                // some counted cell moves water
  int bc_levels_set = 0;             // the fixed-level cells have taken their level
  double outlet_vol_step = 0.0;      // outlet volume summed for the constituent loads
  // With the overland constituents carried (made by their set-up, empty
  // otherwise): per cell, the water that left the grid through the cell's
  // boundary condition since the constituents last moved (a normal-depth
  // edge, a level held or lowered, a discharge drawn, a held level passing
  // on what flows into it), m3; and per cell of a rating boundary the water
  // it sent to the receiving neighbour of each slot (1 above, 2 right,
  // 3 below, 4 left; negative: received from it), m3.
  array1d<double> bc_out_vol;
  array2d<double> bc_rating_vol;
  // Likewise per cell: the water that crossed its right face (con_vol_x,
  // positive eastward) and its lower face (con_vol_y, positive southward)
  // since the constituents last moved, m3: every sub-step's, whatever
  // sub-steps the scheme took, so that the constituents move with the
  // water that moved.
  array1d<double> con_vol_x;
  array1d<double> con_vol_y;
  // Likewise per low spot of a dike: the water it passed since the
  // constituents last moved (m3) and the cells it passed it from and to.
  array1d<double> lowspot_vol;
  array1d<int> lowspot_from, lowspot_to;
  array1d<int> rain_reset;           // per cell: cleared where rain fell
  array1d<double> flood_depth_max;   // per cell: largest overland depth of the run, m

  // ---- Files: input maps and hotstart files.
  guarded_file roughness_file;
  guarded_file reten_depth_file;
  guarded_file read_ov_hotstart_file;
  guarded_file write_ov_hotstart_file;
  guarded_file read_ov_state_file;   // the companion ".state" of the overland hot-start read, when there is one

  // ---- Scratch of the overland step: the face volumes a kernel hands
  // back (the ADE schemes always, the explicit scheme when the
  // constituents are carried), which the step turns into the mean face
  // discharges of plain ADE and adds to the constituents' face volumes.
  array1d<double> ov_volx;          // volume through the right face over the step, m3
  array1d<double> ov_voly;          // volume through the lower face over the step, m3
};

}  // namespace nivra
