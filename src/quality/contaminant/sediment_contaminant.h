// Contaminants carried by the suspended fine sediment over the cells. Each
// cell's contaminant mass in its water (dissolved plus attached) is split
// between the water and the suspended fine classes by linear partitioning
// with the constituent's Kd; the attached part moves with the sediment:
// eroded with the soil (at the sorbed concentration of the top soil
// layer's fines), carried across the cell faces with the class's sediment
// (each face takes the share of the class's fines in the cell it leaves
// that crosses it, with that share of the mass on them, the faces taken
// so that a cell has received what its faces brought it before it passes
// anything on, so fines that cross several cells in one step keep what
// they carry), settled with the deposit, and carried out at the outlet. Sand carries none. A cell without water (depth at most 1e-16: a
// dry cell, or a lake's cell, whose water the lake holds) is not
// partitioned: what the fines bring it stays in its total, none of it
// settles back with them, and the caller decides where it goes. Volumes
// are solid volumes in m3, masses in g.
#pragma once

#include "core/arrays.h"

namespace nivra {

// One constituent's overland attached transport over one step.
struct sed_contam_domain {
  int ncells = 0;
  double dx = 0.0;                        // cell side, m
  int n_classes = 0;
  const int* right = nullptr;             // neighbour east (0 none)
  const int* below = nullptr;             // neighbour south (0 none)
  const int* left = nullptr;              // neighbour west (0 none)
  const int* above = nullptr;             // neighbour north (0 none)
  // The cells in the order their outgoing faces are taken
  // (sediment_face_order).
  const int* face_order = nullptr;
  const double* depth = nullptr;          // water depth, m
  const char* sand = nullptr;             // per class 1..n: 1 sand
  const double* sed_density = nullptr;    // per class, g/m3 of solid
  double kd = 0.0;                        // L/kg
  // The step's sediment, [cell][class]: eroded from the parent soil
  // (>= 0), deposited, and moved across the cell's east and south faces
  // (positive east and south).
  const array2d<double>* eroded = nullptr;
  const array2d<double>* deposited = nullptr;
  const array2d<double>* face_x = nullptr;
  const array2d<double>* face_y = nullptr;
  // The soil the erosion takes: per cell the sorbed contaminant per m3 of
  // fine soil solids (g/m3) of the top layer.
  const double* soil_sorbed = nullptr;
  int outlet_cell = 0;                    // 0: no outlet losses here
  const double* outlet_out = nullptr;     // per class: sediment out of the outlet cell in the step, m3
};

// The cells' state for the constituent: the total mass in each cell's
// water (g) and the suspended volume of each class ([cell][class], m3),
// which the step carries along with the sediment's own transport.
struct sed_contam_state {
  double* total = nullptr;
  array2d<double>* susp = nullptr;
  double* soil_exchange = nullptr;        // per cell, g: deposited (+) less eroded (-), for the soil
  array2d<double>* per_volume = nullptr;  // scratch [cell][class], sized with the grid
};

// The attached transport's arrays of a run, sized at set-up ([cell][class]
// with cells 1..n, per cell 1..n).
struct sed_contam_arrays {
  array2d<double> susp;        // suspended volumes as the last step left them, m3
  array2d<double> work;        // one constituent's copy of susp for its step
  array2d<double> per_volume;  // partition scratch
  array1d<double> total, soil_exchange, soil_sorbed;  // g, g, g per m3 of fine solids
  array1d<char> sand;          // per class: 1 sand
  array1d<int> face_order, waiting;  // the step's order of the faces and its scratch, per cell
  void alloc(int cells, int classes) {
    for (array2d<double>* a : {&susp, &work, &per_volume}) a->alloc(cells, classes);
    for (array1d<double>* a : {&total, &soil_exchange, &soil_sorbed}) a->alloc(cells);
    sand.alloc(classes);
    face_order.alloc(cells);
    waiting.alloc(cells);
  }
};

// What one step moved, g.
struct sed_contam_books {
  double eroded = 0.0;      // from the soil into suspension
  double deposited = 0.0;   // settled back onto the soil
  double outlet = 0.0;      // out of the watershed at the outlet
  double reset = 0.0;       // given to cells left below zero
};

// The fraction of a cell's contaminant attached to each fine class (out
// [1..n], 0 for sand) and per m3 of that class's suspended sediment (g/m3,
// conc_out [1..n]); returns the dissolved fraction. A dry cell (depth at
// most 1e-16) is not partitioned: all dissolved.
double partition_cell(const sed_contam_domain& d, const sed_contam_state& s, int cell, double* attached,
                      double* per_volume);

// Steps 2 to 7 of one constituent: erosion, the partition, the face
// transfers, the partition again, settling and the outlet.
sed_contam_books sed_contam_transport(const sed_contam_domain& d, sed_contam_state& s);

// The order in which a step's face volumes are replayed so that each cell
// has received everything its faces brought it in the step before it
// passes anything on: the sediment moves over a step in sub-steps, in each
// of which a cell passes on what it held at the sub-step's start, so what
// its faces brought it in one sub-step leaves it in the next, and over the
// step a cell may pass on more than it held at the step's start. Cells are
// taken as soon as every face that brought them sediment has been taken
// (the first of them in cell order); cells on a loop of faces, and those
// below one, follow in cell order. `order` receives the cells 1..n,
// `waiting` is scratch (both 1..n); the domain's four neighbours and face
// volumes are read.
void sediment_face_order(const sed_contam_domain& d, int* order, int* waiting);

}  // namespace nivra
