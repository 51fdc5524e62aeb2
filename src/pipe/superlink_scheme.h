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
  double exchange = 0.0;     // inlets, tile drains and the network's water
  double recurrences = 0.0;  // the superlinks' own steps: sections, momentum coefficients and the two recurrences
  double assembly = 0.0;     // the superjunctions' water and the system of the heads
  double solve = 0.0;        // factorisation and solution of the system
  double flows = 0.0;        // the flows and depths from the new heads, and their check
  double water = 0.0;        // the outflow limits and the depths that hold every control volume's water
  double groups = 0.0;       // the groups of fast superjunctions in their own steps
};

// A quantity of a superlink over a network step as an affine function of
// the heads of its two superjunctions at the step's end: c + u Hus + d Hds.
struct head_affine {
  double c = 0.0, u = 0.0, d = 0.0;
};

// The most parts the superlinks of a step are split into among threads;
// each part has its own scratch (superlink_work).
inline constexpr int most_superlink_parts = 64;

// A pipe at a node's depth: its flow area and wetted perimeter (m2, m),
// and the water a metre of it holds and its width there (m2, m).
struct pipe_node_section {
  double area = 0.0, wet_per = 0.0, held = 0.0, top = 0.0;
};

// The scratch of one superlink's own steps (entries 0..nodes + 1): the
// sections, velocities and momentum coefficients of its pipes, the storage
// widths of its nodes, the two recurrences, and the state at the start and
// end of its internal step as affine functions of the end heads.
struct superlink_work {
  array1d<double> A, R, vel, u, a, b, c, friction, E, T, U, W, O, X, Z;
  array1d<head_affine> P, D, V, Y;
  array1d<head_affine> y0, q0, y1, q1;  // depths and flows at the internal step's start and end
  array1d<double> y0_at, cy, cq;        // start depths at the guessed heads; the state the coefficients take
  array1d<double> dy, dq;               // the last change of that state
  array1d<double> v0, t0;               // water and storage width of the interior nodes at the start depths
  array1d<pipe_node_section> up, down;  // pipes k - 1 and k at node k's depth in the state the coefficients take
  array1d<double> py, pq;               // the end state at the guessed heads
  int steps = 0, passes = 0, runs = 0;  // internal steps, passes repeated and superlinks run in the last call on it
  int solves = 0, group_steps = 0, outflow_passes = 0;  // of the groups it took in the last call on it
  // The system of the heads of a group of fast superjunctions (1..size).
  array2d<double> dense;
  array1d<double> dense_rhs, dense_scale;
  array1d<int> dense_indx;
  void alloc(int nodes, int group);
};

struct superlink_scheme {
  int calls = 0;           // solver calls in this run
  int network_steps = 0;   // network steps (solves of the heads until they hold) in this run
  int split_steps = 0;     // network steps that did not settle and were taken again in halves
  int head_solves = 0;     // solves of the system of the heads in this run
  int link_steps = 0;      // internal steps the superlinks took, each superlink counted on its own
  int link_passes = 0;     // passes over a superlink's internal step repeated with its end state
  int link_reruns = 0;     // superlinks run again over a network step with the heads of the last solve
  int outflow_passes = 0;  // passes over the flows that limit the control volumes' outflows, this run
  int group_steps = 0;     // steps the groups of fast superjunctions took, each group counted on its own
  int group_solves = 0;    // solves of the heads of a group in those steps
  int groups = 0;          // groups of the last network step
  superlink_timing timing;

  // Per superlink: its internal steps in the network step, the heads of
  // its two superjunctions it was last run with, whether it is to run
  // again (1: its end state asked for shorter internal steps, or the last
  // solve moved it too far from those heads), whether it took shorter
  // internal steps in this network step already (1), and the status of its
  // last run (superlink_status).
  array1d<int> link_substeps, link_again, link_shortened, link_status;
  array1d<double> link_guess_us, link_guess_ds;
  array1d<double> link_reach;  // the move of either end head its end state bears unchanged (m)
  // Per superlink: its mean end flows over the network step as linear
  // functions of the end heads, Qu = au Hus + bu Hds + cu and
  // Qd = ad Hds + bd Hus + cd; and the end relations of its last internal
  // step, h(1) = e1 Hus + f1 Qu + g1 and h(n + 1) = e2 Hds + f2 Qd + g2.
  array1d<double> au, bu, cu, ad, bd, cd;
  array1d<double> e1, f1, g1, e2, f2, g2;
  // Per node and pipe (node or pipe, superlink): depths and flows at the
  // network step's start; at its end as affine functions of the end heads
  // (end_depth, end_flow) and the water each pipe carried over it (carried,
  // m3); the node velocities of the last coefficients (for the Courant
  // limit of the next step); the full section's area and wetted perimeter
  // of each pipe (m2, m).
  column_array2d<double> start_depth, start_flow;
  column_array2d<head_affine> end_depth, end_flow, carried;
  column_array2d<double> volume_moved;  // the water each pipe carried over the step at the solved heads, m3
  column_array2d<double> moved_total;   // the water each pipe of a group carried over the group's steps so far, m3
  column_array2d<double> n_veloc, full_area, full_wet_per;
  // Per part of the superlinks among threads: the scratch of its runs.
  superlink_work work[most_superlink_parts];
  // Per superjunction: head at the step's start and the guessed head at its
  // end; storage width between the two and at the start, water at the
  // start, net inflow of the step (m3), and the share of its outflows it
  // can give.
  // Per superjunction: head at the network step's start, the rate it rose
  // at over the last network step (m/s), the guessed head at the step's
  // end and its last change.
  array1d<double> head_start, head_rate, guess, guess_move;
  // Per superjunction: the seconds its last rate was taken over, the
  // error of its head over the network step (head_error), its group (0
  // for none), its place among the free superjunctions of its group, and
  // the water a fixed head beside a group received from the group's
  // superlinks over the group's steps so far (m3).
  array1d<double> rate_span, junc_error, junc_sub_net;
  array1d<int> junc_group, junc_slot;
  // The groups (1..groups): superjunctions group_junctions[group_first[g]
  // .. group_first[g + 1] - 1], superlinks group_links[group_link_first[g]
  // .. group_link_first[g + 1] - 1] (those of its free superjunctions);
  // the largest error of its superjunctions, its free superjunctions, and
  // the status and failing superlink of its steps. Per superlink its group.
  array1d<int> group_first, group_junctions, group_link_first, group_links, group_size, group_status, group_failed;
  array1d<double> group_error;
  array1d<int> link_group;
  array1d<double> junc_scale;
  array1d<double> junc_width, junc_start_top, junc_volume, junc_net, junc_keep;
  // Water a superjunction, or the nodes of a superlink, lacked to stay at
  // their floor in the step (m3).
  array1d<double> junc_made, link_made;
  // Per node: water volume at the step's start, net inflow of the step
  // (m3), the share of its outflows kept.
  column_array2d<double> node_volume, node_net, node_keep;
  column_array2d<double> node_floor;  // water of a node at the shallowest depth, m3
  // Per node: the depth at which the last step found the node's water
  // (-1 for none), and the water and storage width at that depth, which
  // the next step takes instead of computing them again.
  column_array2d<double> node_known_y, node_known_area, node_known_top;
  // Per superjunction likewise: the head at which the last step found its
  // water (-1e300 for none), its water and storage width there.
  array1d<double> junc_known_head, junc_known_area, junc_known_top;
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
