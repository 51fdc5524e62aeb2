// The overland routing kernels' own objects: what a scheme keeps from one
// call to the next within a run (the sub-step it holds, its stability
// factor) and its work arrays. The overland component owns one of each
// (overland_state::explicit_kernel, overland_state::ade_kernel), made with
// the run's record, so a second run in the same process starts exactly as
// the first did. The work arrays are sized by prepare() at the start of a
// kernel call (1..n), or earlier by the run's set-up, and never inside the
// sub-step loops.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "core/arrays.h"

namespace nivra {

// What one thread's part of a pass over the cells found. The parts are
// combined in part order by rules that do not depend on the split (sums of
// counts, or-ed bits, the first cell in cell order, the largest value at its
// first cell), so that a run gives the same result on any number of threads.
struct alignas(64) part_tally {
  std::uint64_t bits[3] = {};  // or-ed answers of up to three questions, in their sign bits
  int cell = 0;                // a cell the pass marked (0: none)
  int status = 0;              // a status the pass reached
  double ratio = 0.0;          // the largest ratio found, at `cell`
};

// A strip of the grid: the cells first..last of one row of the mask,
// numbered one after the other, each but the last with an open face to the
// next; the open lower faces of the strip all lead `down` cell numbers on
// (0: no cell of the strip has one), and the cells above all lie `up` cell
// numbers back (0: no cell of the strip has one). Over a strip every
// neighbour of a cell is at a fixed distance, so the face loops read
// contiguous arrays only; on a full rectangle a strip is a whole row.
struct cell_strip {
  int first = 0;
  int last = 0;
  int down = 0;
  int up = 0;
};

// The strips of a grid, in cell order, made once per run by the scheme that
// uses them.
struct grid_strips {
  std::vector<cell_strip> strips;
  int cells = 0;                // the grid they were made for
  const int* source = nullptr;  // its right-neighbour array

  // Makes the strips of a grid of n cells from its neighbours and dikes
  // (null without a dike map), unless they are made for it already.
  void build(int n, const int* right, const int* below, const int* above, const int* dike);
  // The first strip whose last cell is at or after `cell`.
  std::size_t first_at(int cell) const;
};

// The blocks of local sub-steps: a plain grid cut into blocks of about
// block_cells consecutive cells. A block steps the right and lower faces of
// its cells on a sub-step of its own, the step over a power of two, so
// that blocks of deep, flat water take short sub-steps and the rest of the
// grid long ones. Its faces change the depths of its cells and of the cells
// just beyond it (the next cell and the cells below its cells: halo_first
// to halo_last, empty when halo_first > halo_last).
struct step_block {
  int first = 0;
  int last = 0;
  int halo_first = 1;
  int halo_last = 0;
};

// Consecutive cells first..last of one pass; `level` is the level of the
// blocks whose faces they are (face spans) or unused (cell spans).
struct cell_span {
  int first = 0;
  int last = 0;
  int level = 0;
};

struct step_blocks {
  static constexpr int block_cells = 256;
  static constexpr int max_level = 16;  // the shortest sub-step: the step over 2^max_level
  std::vector<step_block> blocks;
  std::vector<double> bound;  // stable sub-step of each block's faces, s
  std::vector<int> level;     // each block's sub-step is the step over 2^level
  // For every level l, the spans of the blocks of level l or finer (their
  // faces), the cells those faces reach (the blocks, the cell after each
  // and the cells below them), and the cells their right faces reach (the
  // blocks and the cell after each): the passes of a sub-step at which
  // exactly those blocks step.
  std::vector<std::vector<cell_span>> face_spans;
  std::vector<std::vector<cell_span>> cell_spans;
  std::vector<std::vector<cell_span>> right_spans;
  std::vector<int> face_cells;   // cells in the face spans of each level
  std::vector<int> cell_cells;   // cells in the cell spans of each level
  std::vector<int> right_cells;  // cells in the right-face spans of each level
  // The blocks that hold a cell next to one of a block's cells (left,
  // right, above or below), block k's at neighbours[neighbour_first[k] ..
  // neighbour_first[k + 1] - 1]; 0-based block numbers.
  std::vector<int> neighbour_first;
  std::vector<int> neighbours;
  int cells = 0;                 // the grid they were made for
  const int* source = nullptr;   // its right-neighbour array

  // Makes the blocks of a grid of n cells from its neighbours and dikes
  // (null without a dike map), unless they are made for it already.
  void build(int n, const int* right, const int* below, const int* above, const int* dike);
  // Every block's level for a sub-step of `macro` seconds: the fewest
  // halvings that bring it within the block's bound, at most max_level;
  // with a grade g > 0, no block is more than g levels coarser than a
  // block next to it. Returns the finest level.
  int set_levels(double macro, int grade = 0);
  // The spans of every level from the blocks' levels (finest: the largest).
  void make_spans(int finest);
  // The level of the blocks that step in pass m of the 2^finest passes of a
  // sub-step, with every finer one: all of them in pass 0, the finest
  // alone in the odd passes.
  static int pass_level(int m, int finest) {
    return m == 0 ? 0 : finest - std::countr_zero(static_cast<unsigned>(m));
  }
  // The level of the block of cell i.
  int level_of(int i) const { return level[static_cast<std::size_t>((i - 1) / block_cells)]; }
};

// The normal-depth boundary cells (boundary::normal_depth) a routing kernel
// drains on its own sub-steps, as it drains the outlet (edge_drain in
// overland_common.h), and the water each has passed out of the grid in the
// step so far. Made once per run, from the boundary types, by the scheme
// that drains them.
struct edge_drains {
  std::vector<int> cell;        // the cells with a side on the grid's edge, in cell order
  std::vector<int> sides;       // the sides of each without a neighbour
  std::vector<double> out;      // water each has passed out of the grid in the step so far, m3
  int cells = 0;                // the grid they were made for
  const int* source = nullptr;  // its boundary types (null: none)

  // Makes the list of a grid of n cells from its boundary types (null:
  // none) and its neighbours, unless it is made for them already.
  void build(int n, const int* type, const int* left, const int* right, const int* above, const int* below);
};

// The cells with an overland boundary condition (boundary_type not none),
// in cell order: the cells the boundary step goes through. Made once per
// run, from the boundary types.
struct boundary_cells {
  std::vector<int> cell;
  int cells = 0;                // the grid they were made for
  const int* source = nullptr;  // its boundary types

  // Makes the list of a grid of n cells from its boundary types, unless it
  // is made for them already.
  void build(int n, const int* type);
};

// The cells of a plain grid that hold their level (boundary::holds_level),
// which keep their depth while the faces move water in and out of them,
// and the water each has passed out of the grid in the step so far. Made
// once per run, from the boundary types.
struct held_levels {
  std::vector<int> cell;     // in cell order
  std::vector<double> out;   // m3
  array1d<double> follows;   // per cell: 0 on a held cell, 1 where the depth follows the faces (none: no held cell)
  int cells = 0;                // the grid they were made for
  const int* source = nullptr;  // its boundary types (null: none)

  // Makes the list of a grid of n cells from its boundary types (null:
  // none), unless it is made for them already.
  void build(int n, const int* type);
};

// The explicit scheme: a sub-step reduced after a failed stability check is
// held for the next few calls, and the sweep order alternates every call.
struct explicit_scheme {
  int sweep_toggle = 0;        // flipped at every call; 1: y sweep first
  double reduced_dt = 0.0;     // last reduced sub-step, s
  int reduced_countdown = 0;   // further calls that start on reduced_dt
  int reduced_active = 0;      // the current call started on the reduced sub-step
  long long substeps = 0;      // sub-steps taken in this run, those of abandoned attempts too
  long long restarts = 0;      // steps started again on a shorter sub-step
  long long cell_updates = 0;  // cells whose faces were stepped, summed over the sub-steps
  bool volumes = false;        // the water each face moved over the step is kept (ov_volx, ov_voly)

  // Grids without channel lakes or wetlands: the depths at the start of the
  // step stay where they are, and each sub-step writes the new depths into
  // one of these two in turn; the last is handed to the overland component.
  array1d<double> depth_a;
  array1d<double> depth_b;
  array1d<double> flow_depth_pow;    // (depth - retention)^(5/3) of the current sub-step
  array1d<double> move_x;            // depth moved through each right face in a sub-step, m
  array1d<double> move_y;            // the same through each lower face
  step_blocks blocks;                // of a plain grid
  edge_drains edges;                 // the normal-depth boundary cells
  held_levels held;                  // the cells that hold their level
  // Grids with channel lakes, wetlands or overland lakes.
  array1d<double> dh;                // depth change gathered in one sub-step, m
  array1d<double> depth_save;        // depths at the start of the call, m
  array1d<double> outflow_share;     // outflow of a cell in a sub-step, then the share of it it can give
  array1d<double> lake_elev_save;    // channel-lake levels at the start of the call, m
  array1d<double> lake_volume_save;  // channel-lake volumes at the start of the call, m3
  array1d<double> lake_given;        // per channel lake: what its faces would give in a sub-step, then the share it can
  std::vector<part_tally> tallies;   // one per part of a pass
  grid_strips strips;                // of a plain grid

  // Sizes the work arrays for the cells of a plain grid (plain) or of one
  // with lakes or wetlands, the channel lakes when given, and the most
  // parts of a pass.
  void prepare(int cells, bool plain, int channel_lakes, int parts);
};

// The ADE schemes: plain ADE adapts its sub-step from call to call and
// halves a stability factor after a failed attempt; ADE-PC keeps nothing
// between calls but its work arrays.
struct ade_scheme {
  int calls = 0;               // calls in this run
  double min_dt = 0.001;       // smallest sub-step, s: dx * 0.001 / 100 from the first call
  double dt_factor = 1.0;      // stability multiplier, halved after a failed attempt
  int stable_count = 0;        // stable sub-step decisions since the factor last changed
  double last_dt = 0.0;        // last sub-step chosen, s
  long long substeps = 0;      // sub-steps taken in this run, those of abandoned attempts too
  long long restarts = 0;      // steps started again
  long long cell_updates = 0;  // cells whose faces were stepped, summed over the sub-steps

  array1d<double> rough;       // effective Manning n of the sub-step (with roughness exponents)
  array1d<double> depth_save;  // depths at the start of the step, m
  array1d<double> lake_save;   // channel lakes at the start of the step: volume, in, out (m3)
  array1d<double> lake_given;  // per channel lake: what its faces would give in a sub-step, then the share it can
  array1d<double> olake_acc;   // overland-lake exchange gathered over the step, m3
  array1d<double> bc_out_save; // water noted as leaving through held levels at the start of the step, m3
  array1d<double> pc_depth;    // ADE-PC predicted depth, m
  array1d<double> pc_flux;     // ADE-PC predictor face discharge, m3/s (plain grid: water moved, m3)
  array1d<double> move_x;      // plain grid: water each right face moved in its sub-step, m3
  array1d<double> move_y;      // the same through each lower face
  std::vector<part_tally> tallies;  // one per part of a pass
  grid_strips strips;               // of a plain grid
  step_blocks blocks;               // of a plain grid
  std::vector<double> rule;         // per block of a plain grid: the sub-step the depth-change check allows, s
  edge_drains edges;                // the normal-depth boundary cells
  held_levels held;                 // the cells of a plain grid that hold their level

  // Sizes the work arrays of the scheme (overtype) for the cells (those of
  // the plain passes on a plain grid), the effective roughness when
  // roughness exponents are given, the channel and overland lakes when
  // given, and the most parts of a pass.
  void prepare(int overtype, int cells, bool plain, bool roughness_exponents, int channel_lakes, int overland_lakes,
               int parts);
};

}  // namespace nivra
