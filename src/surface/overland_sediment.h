// The overland sediment step: per step of the overland flow, every cell and
// particle class is detached by raindrop splash and by flow shear, the
// flow's transport capacity limits what crosses each cell face with the
// water, and what the flow cannot keep up settles on the surface.
//
// Sediment is held per cell and class as solid volumes (m3): suspended in
// the water, deposited loose on the surface, and the parent soil removed (a
// negative running sum). What crosses the outlet's outer face goes into the
// outlet's discharged volume (row 0 of the suspended table, the outside of
// the grid, stays empty). On the cells of a strip without lakes the classes
// close: the parent soil removed equals suspended + deposited + discharged.
#pragma once

#include "core/arrays.h"
#include "core/thread_pool.h"
#include "quality/sediment/sediment_physics.h"

namespace nivra {

// The sediment of the grid, [cell][class] (cells 0..n, 0 the outside;
// classes 1..m, column 0 the total where said).
struct ov_sed_cells {
  int cells = 0, classes = 0;
  array2d<double> soil_fract;               // share of each class in the parent soil
  array2d<double> susp, dep, eroded;        // suspended, loose on the surface, parent soil removed (<= 0)
  array2d<double> out;                      // discharged through the outlet, cumulative (row of the outlet)
  array2d<double> susp_fract, dep_fract;    // composition of suspended and deposited sediment
  array2d<double> lifted, settled;          // of the step, column 0 the total
  array1d<double> qsx, qsy;                 // capacity over the step of the last face that carried sediment out of the cell, m3
  array2d<double> qsmax;                    // flux of the step, m3/s, column 0 the total (when asked for)
  void alloc(int n_cells, int n_classes, bool with_flux);
};

// The water of the step, read-only: depths, face discharges (positive
// toward the right and the lower neighbour, m3/s), rainfall rates (mm/h),
// neighbours (0 where none) and the outlet.
struct ov_sed_flow {
  int ncells = 0;
  double dx = 0.0, dt = 0.0;
  const double* depth = nullptr;
  const double* elevation = nullptr;
  const double* qx = nullptr;
  const double* qy = nullptr;
  const double* rain = nullptr;
  const int* rightcon = nullptr;
  const int* belowcon = nullptr;
  const int* leftcon = nullptr;
  const int* abovecon = nullptr;
  const int* channel_cell = nullptr;    // 1 on channel cells; nullptr none
  const double* block_cell = nullptr;   // blocked share of a cell's area; nullptr no blocking
  const double* block_side = nullptr;   // [cell * 5 + side] blocked share of a side (block_side::)
  int outlet_cell = 0;
  double outlet_slope = 0.0;
  double qout = 0.0;                    // outlet discharge, m3/s
  bool outlet_drains = false;           // no channels: the outlet takes the sediment out of the grid
  // Channel lakes: the lake of each cell (0 land; nullptr no lakes) and
  // the water level of each lake, m. A face between a lake cell and land
  // slopes from the lake's level; lake cells and the land cells with a lake
  // cell on any side detach nothing.
  const int* lake = nullptr;
  const double* lake_elev = nullptr;
  // Overland lakes: the lake that covers each cell now (0 none; nullptr no
  // overland lakes). The water standing over such a cell shields its bed
  // from the raindrops and does not run over it as sheet flow, so it
  // detaches nothing; the fines that reach it still settle there.
  const int* olake = nullptr;
};

// The wash load of the channel lakes, which the water a lake lets out onto
// its land cells carries at the lake's concentration: the suspended volume
// per lake and fine position, the lakes' water volumes (m3), the class of
// each fine position, and what the lakes have released onto the cells so
// far ([lake][fine position], cumulative).
struct ov_sed_lake_wash {
  array2d<double>* vol = nullptr;
  const double* water = nullptr;
  const int* fine_class = nullptr;
  int n_fine = 0;
  array2d<double>* to_cells = nullptr;
  // Optional: what each cell's right (x) and lower (y) face carried out of
  // a lake, [cell][fine position], m3, positive toward the right or lower
  // cell; added to, never cleared here.
  array2d<double>* face_x = nullptr;
  array2d<double>* face_y = nullptr;
};

// The sediment of a step moves in equal sub-steps, the water held as the
// step left it. In each sub-step the raindrops and the flow lift their
// share (the drops take from the parent soil, where the loose sediment
// falls short, no more than the cell's faces can still carry off in the
// sub-step), every cell offers the load it held at the sub-step's start to all
// the faces its water leaves by at once (each face its capacity, all of
// them a share of each class in proportion to their capacities when the
// load is smaller), every cell takes in what its faces brought, and each
// class settles by the share one crossing of the cell lets settle. The
// yields converge as the sub-step shrinks; sub-steps of 2.5 s keep each
// class's yield within about 2 % of far shorter ones on the bundled
// erosion examples.
inline constexpr double ov_sed_longest_substep = 2.5;

// The erosion parameters of the cells (defaults where not above 1e-16) and
// the classes with their fall velocities.
struct ov_sed_params {
  int option = 0;                       // transport capacity formula
  const double* splash_K = nullptr;
  const double* detach_coef = nullptr;
  const double* detach_exp = nullptr;
  const double* detach_crit = nullptr;
  const double* sed_K = nullptr;
  sediment::class_table classes;
  const double* settling = nullptr;     // fall velocity per class, m/s
  // The longest sediment sub-step, s: a longer step of the water is
  // divided into equal sub-steps no longer than this, the water held (0:
  // the step in one pass).
  double longest_substep = ov_sed_longest_substep;
};

// What a step moved out of the cells, per class (1..m, 0 the total), m3.
struct ov_sed_books {
  array1d<double> parent;   // parent soil removed
  array1d<double> outlet;   // through the outlet
  array1d<double> from_lakes;  // wash load the channel lakes' water carried onto the cells
  void alloc(int classes) {
    parent.alloc(classes);
    outlet.alloc(classes);
    from_lakes.alloc(classes);
  }
  void clear() {
    parent.fill(0.0);
    outlet.fill(0.0);
    from_lakes.fill(0.0);
  }
};

// What a step left on the cells, per class (1..m, 0 the total), m3: the
// volume lifted into suspension (parent soil and loose deposit) and the
// volume settled, summed over the cells in cell order.
struct ov_sed_tally {
  array1d<double> lifted, settled;
  void alloc(int classes) {
    lifted.alloc(classes);
    settled.alloc(classes);
  }
};

// One pass over the cells after a step: the tally of the step; the net
// change of every cell (settled - lifted) added to net[cell][class] (all
// classes and column 0); with `ground` (per cell, m), the ground moved by
// the cell's net change spread over `area`. Returns the first cell that
// holds a suspended, deposited or eroded volume that is not a number, 0
// when there is none.
int tally_sediment_step(const ov_sed_cells& sed, array2d<double>& net, double* ground, double area,
                        ov_sed_tally& tally);

// The step and its scratch, sized for a run by prepare() (never inside the
// step), so a later run of the process with a bigger grid starts afresh.
class ov_sediment_step {
 public:
  void prepare(int ncells, int classes);
  // One step over the grid on `parts` parts of the crew; the same bits on
  // any number of parts. With channel lakes, `lakes` is their wash load
  // (nullptr: the lakes release none).
  void run(const ov_sed_flow& flow, const ov_sed_params& par, ov_sed_cells& sed, ov_sed_books& books,
           thread_pool& crew, int parts, const ov_sed_lake_wash* lakes = nullptr);
  // What the last step carried across each cell's right face (x) and
  // lower face (y), [cell][class] (column 0 unused), m3 of solids,
  // positive toward the right and the lower neighbour; the outlet cell's
  // outer face carries what left the grid (an outer face on the left or
  // upper side: row 0, negative). The sediment-bound
  // contaminants travel with these volumes.
  const array2d<double>& face_x() const { return face_x_; }
  const array2d<double>& face_y() const { return face_y_; }

 private:
  array2d<double> face_x_, face_y_;
  array2d<double> parent_step_;     // [cell][class] the parent soil removed before the step
  // What the step's water sets, per cell, in one row: the splash and the
  // shear volumes over the step, the flow's part of the capacity
  // (`sediment::flow_capacity`, the parts its formula uses) for the
  // cell's detachment and for its right and lower faces, and the share of
  // each class that settles in one crossing.
  array1d<double> konst_;
  array1d<double> eh_weight_;       // per class, the Engelund-Hansen weight
  // Per cell, the faces that give its sediment away and those that bring
  // it sediment in the step (bits of the right, lower, left, upper and
  // outer faces), and what each face carries in a sub-step, [cell][class]
  // for its right (x) and lower (y) faces, in two tables that sub-steps
  // write and read in turn.
  array1d<unsigned char> gives_, takes_;
  array2d<double> pass_x_[2], pass_y_[2];
  int ncells_ = 0, classes_ = 0;
};

}  // namespace nivra
