// The pipe network solver's own object: its work arrays and the sparse
// system of the superjunction heads. The pipe component owns one
// (pipe_state::solver), made with the run's record; prepare() sizes it for
// the run's network and analyses the pattern of the system at set-up,
// never inside a step, so a second run in the same process starts as the
// first did whatever the size of its network.
#pragma once

#include "core/arrays.h"
#include "core/sparse_lu.h"

namespace nivra {

struct pipe_state;

// Seconds the solver spent in each part of its calls in this run.
struct superlink_timing {
  double exchange = 0.0;     // inlets, tile drains, the Courant limit and the network's water
  double recurrences = 0.0;  // sections, momentum coefficients and the two recurrences of every superlink
  double assembly = 0.0;     // the superjunctions' water and the system of the heads
  double solve = 0.0;        // factorisation and solution of the system
  double flows = 0.0;        // the flows and depths from the new heads
  double water = 0.0;        // the outflow limits and the depths that hold every control volume's water
};

struct superlink_scheme {
  int calls = 0;           // solver calls in this run
  int internal_steps = 0;  // internal steps taken in this run
  superlink_timing timing;

  // Per pipe (pipe, superlink): mean depth, flow area, hydraulic radius,
  // velocity, the momentum coefficients and the forward (T, U, V, W) and
  // backward (O, X, Y, Z) recurrences.
  column_array2d<double> ldepth, area, hyd_R, l_veloc;
  column_array2d<double> a, b, c, P;
  column_array2d<double> T, U, V, W, O, X, Y, Z;
  // Per node (node, superlink): velocity, storage width over the step
  // (E), the continuity's known part (D).
  column_array2d<double> n_veloc, E, D;
  // Per superlink: end flows as linear functions of the two heads,
  // Qu = au Hus + bu Hds + cu and Qd = ad Hds + bd Hus + cd.
  array1d<double> au, bu, cu, ad, bd, cd;
  array1d<double> e1, f1, g1, e2, f2, g2;  // the end relations of the two end depths
  // Per superjunction: storage width and water at the step's start, net
  // inflow of the step (m3), and the share of its outflows it can give.
  array1d<double> junc_width, junc_volume, junc_net, junc_keep;
  // Water a superjunction, or the nodes of a superlink, lacked to stay at
  // their floor in the internal step (m3); the status of every
  // superlink's coefficients (superlink_status).
  array1d<double> junc_made, link_made;
  array1d<int> link_status;
  // Per node: water volume at the step's start, net inflow of the step (m3),
  // the share of its outflows kept.
  column_array2d<double> node_volume, node_net, node_keep;
  column_array2d<double> node_floor;  // water of a node at the shallowest depth, m3
  // Per node: the depth at which the last step found the node's water
  // (-1 for none), and the water and storage width at that depth, which
  // the next step's coefficients take instead of computing them again.
  column_array2d<double> node_known_y, node_known_area, node_known_top;
  // Per node and pipe: the depths and flows an internal step starts from,
  // and the end-of-step depths and flows of its last pass, at which a
  // repeated pass takes the pipes' sections, velocities and friction.
  column_array2d<double> start_depth, start_flow, end_depth, end_flow;
  // Per pipe: the full section's area (m2), and the area and wetted
  // perimeter at the mean of end_depth, which the pass after takes.
  column_array2d<double> full_area, end_area, end_wet_per;
  bool at_step_end = false;  // the coefficients take end_depth and end_flow
  int repeated_passes = 0;   // passes repeated in this run
  int outflow_passes = 0;    // passes over the flows that limit the control volumes' outflows, this run
  // The superjunctions' incident superlinks: the entries junc_first[j] ..
  // junc_first[j + 1] - 1 of junc_links, +l for a superlink leaving j and
  // -l for one arriving.
  array1d<int> junc_first, junc_links;
  // The system of the heads: a superjunction's row couples it to the
  // superjunctions its superlinks reach, so the matrix is sparse and its
  // pattern fixed for the run. By compressed columns, counting from 0 as
  // the sparse solver takes them: the rows of column c (superjunction
  // c + 1) are row_index[col_start[c] .. col_start[c + 1] - 1], the
  // superjunction and its neighbours, with their coefficients in `values`.
  // Superjunction j's own coefficient is values[diag_slot[j]], and the
  // coefficient in row j of the far superjunction of junc_links[e] is
  // values[link_slot[e]] (two superlinks between the same pair share it).
  array1d<int> col_start, row_index, diag_slot, link_slot;
  array1d<double> values;
  array1d<double> rhs;  // right side, the new heads after the solve (1..num_sjunc)
  sparse_lu system;
  // The dense LU with implicit pivoting on the same system, when
  // use_dense_reference() has chosen it: the reference the tests hold the
  // sparse solve to. Matrix, row permutation and row scales.
  bool dense_reference = false;
  array2d<double> matrix;
  array1d<double> scale;
  array1d<int> indx;

  // Sizes every array for the network of p (its counts, node rows and
  // incident superlinks) and analyses the pattern of the system; false
  // when the analysis fails (printed).
  bool prepare(const pipe_state& p);
  // Solves the heads by the dense LU from now on (after prepare).
  void use_dense_reference();
};

}  // namespace nivra
