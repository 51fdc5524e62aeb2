// The pipe network solver's own object: its work arrays and the dense
// system of the superjunction heads. The pipe component owns one
// (pipe_state::solver), made with the run's record; prepare() sizes it for
// the run's network at set-up, never inside a step, so a second run in the
// same process starts as the first did whatever the size of its network.
#pragma once

#include "core/arrays.h"

namespace nivra {

struct pipe_state;

struct superlink_scheme {
  int calls = 0;           // solver calls in this run
  int internal_steps = 0;  // internal steps taken in this run

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
  // Per node: water volume at the step's start, net inflow of the step (m3),
  // the share of its outflows kept.
  column_array2d<double> node_volume, node_net, node_keep;
  column_array2d<double> node_floor;  // water of a node at the shallowest depth, m3
  // Per node and pipe: the depths and flows an internal step starts from,
  // and the end-of-step depths and flows of its last pass, at which a
  // repeated pass takes the pipes' sections, velocities and friction.
  column_array2d<double> start_depth, start_flow, end_depth, end_flow;
  bool at_step_end = false;  // the coefficients take end_depth and end_flow
  int repeated_passes = 0;   // passes repeated in this run
  // The superjunctions' incident superlinks: the entries junc_first[j] ..
  // junc_first[j + 1] - 1 of junc_links, +l for a superlink leaving j and
  // -l for one arriving.
  array1d<int> junc_first, junc_links;
  // The dense system of the heads: matrix, right side (the solution after
  // the solve), row permutation and the row scales of the pivoting.
  array2d<double> matrix;
  array1d<double> rhs, scale;
  array1d<int> indx;

  // Sizes every array for the network of p (its counts, node rows and
  // incident superlinks).
  void prepare(const pipe_state& p);
};

}  // namespace nivra
