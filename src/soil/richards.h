// Richards' equation in a vertical soil column under every cell, in
// pressure-head form: the soil hydraulic functions of the nodes (Brooks-Corey
// with a parabolic cap near saturation, or Haverkamp) and the column
// solver.
//
// Units: lengths and heads in cm (heads negative when unsaturated), times in
// hours, conductivities and fluxes in cm/h (downward positive), water
// contents as volume fractions. Node 1 is at the top of the column, each
// node a control volume of thickness DZ; node 0 is a ghost above the
// surface carrying the upper boundary; node n (numcells) is the bottom node,
// a copy of node n - 1 (free drainage) unless its head is held (a water
// table). The equations are solved for nodes 1..n - 1.
#pragma once

#include <cmath>
#include <vector>

#include "core/arrays.h"
#include "model/water_ledger.h"

namespace nivra {

struct soil_state;

// ---------------------------------------------------------------- the soil
// The soil of one node and the constants of its retention curve.
struct richards_node {
  double ks = 0.0;                     // saturated conductivity, cm/h
  double theta_s = 0.0, theta_r = 0.0;
  double theta_wp = 0.0, theta_fc = 0.0;
  // Brooks-Corey: pore index, bubbling head (cm, negative), and the break
  // point where the power law hands over to a parabola reaching h = 0 at
  // saturation: effective saturation se_b = 2 / (2 + lambda), water content
  // theta_b, head h_b; q_scale is the parabola's q / h.
  double lambda = 0.0, hb = 0.0;
  double se_b = 0.0, theta_b = 0.0, h_b = 0.0, q_scale = 0.0;
  // The curve's exponents and capacity factor, computed once: Kr = (h /
  // hb)^k_exp below h_b, Se^cap_exp above it; C = c_factor (h / hb)^c_exp.
  double inv_lambda = 0.0, k_exp = 0.0, cap_exp = 0.0, c_exp = 0.0, c_factor = 0.0;
  // Haverkamp: theta = theta_r + (theta_s - theta_r) / ((|h|/a)^n + 1),
  // Kr = A / (A + |h|^B).
  double a = 0.0, n = 0.0, A = 0.0, B = 0.0;
};

// The retention model of the RICHARDS_C_OPTION card.
inline constexpr int retention_brooks_corey = 1;
inline constexpr int retention_haverkamp = 2;

// A Brooks-Corey node from its contents, pore index and bubbling head (cm,
// its sign ignored), with the break point of the curve.
richards_node brooks_corey_node(double ks, double theta_s, double theta_r, double lambda, double hb);
// A Haverkamp node.
richards_node haverkamp_node(double ks, double theta_s, double theta_r, double a, double n, double A, double B);

// Water content at head h.
double moisture_from_head(const richards_node& s, int model, double h);
// Head at water content theta; where the content gives no head (at or
// below the residual content) the head h stays.
double head_from_moisture(const richards_node& s, int model, double theta, double h);
// Relative conductivity and specific moisture capacity dtheta/dh (1/cm) at
// head h, the Brooks-Corey cap taking the node's water content theta.
struct conductivity_capacity {
  double kr = 0.0, c = 0.0;
};
conductivity_capacity conductivity_and_capacity(const richards_node& s, int model, double h, double theta);

// The conductivity of the face between node j - 1 (upper) and node j.
inline constexpr int richards_mean_arithmetic = 1;  // w Kr[j-1] + (1 - w) Kr[j]
inline constexpr int richards_mean_geometric = 2;   // sqrt(Kr[j-1] Kr[j])

// ---------------------------------------------------------------- the columns
// The columns of the cells, each row a cell's nodes 0..max_nodes side by
// side: the node soils, the state (head, water content), what the solver
// derives from it (relative conductivity, capacity, face fluxes, sources)
// and the node thicknesses.
struct richards_columns {
  int max_nodes = 0;
  array2d<richards_node> soil;
  array2d<double> PHEAD, KHEAD, WATCAP, WATFLUX, SOURCE;
  // Sizes every array for ncells columns of nodes 0..max_nodes.
  void alloc(int ncells, int nodes);
};

// The solver's own work vectors, sized once for the longest column.
class richards_scheme {
 public:
  void prepare(int max_nodes);
  std::vector<double> KMID, A, B, C, D, PHEADOLD, PHEADPREV, THETAOLD;
  // The state a pass linearises about: the heads and water contents the
  // last pass left (the sub-step's start in the first pass).
  std::vector<double> PHEADITER, THETAITER;
  long long passes = 0;  // passes taken in the run (benchmark figure)
  long long substeps = 0;  // sub-steps taken in the run (benchmark figure)
};

// What one call works on. A null pointer is a process that is off.
struct richards_domain {
  soil_state& soil;
  double* ov_depth = nullptr;          // m
  int ncells = 0;
  double cell_area = 0.0;              // m2
  bool long_term = false;              // evaporation and root uptake only in long-term runs
  const double* pet_rate = nullptr;    // cm/s
  const double* aet_rate = nullptr;    // cm/s
  const double* rain = nullptr;        // mm/h: a wet cell does not evaporate
  const int* snow_blocked = nullptr;   // long-term runs: snow keeps the cell out
  const double* frost_index = nullptr; // long-term runs with CFGI: frozen-ground index per cell
  double frost_limit = 0.0;            // an index above it keeps the cell out (CFGI_INDEX)
  const int* channel_lake = nullptr;   // lake cells are left alone
  const int* boundary_type = nullptr;  // fixed-level cells (2, 3, 9) keep their depth
  const int* exfiltrating = nullptr;   // 1 where the water table stands at the surface
  // Frozen soil (GTFSM): the liquid-water factor of every node, [cell][1..n]
  // (1 thawed, 0 frozen), or null.
  const array2d<double>* unfrozen = nullptr;
  // Blocked fraction of each cell (OVR_FLOW_BLOCK), or null: ov_depth is the
  // depth over the open part, from which the ponded water evaporates; the
  // column takes its water spread over the whole cell.
  const double* blocked = nullptr;
  // Options.
  int retention = retention_brooks_corey;
  int k_mean = richards_mean_geometric;
  double weight = 1.0;                 // upper node's weight in the arithmetic mean
  double dtheta_max = 0.0025;          // largest change of water content per sub-step
  int iter_max = 1;                    // passes per sub-step (taken as 1 below 1)
  int upper_option = 1;                // ponded surface face: 2 conductivity 1 cm/h, 3 saturated ghost
  bool fixed_bottom = false;           // node n keeps its head (a water table)
  // A head held at the ground surface of every column (cm), in place of the
  // flux or pond of the surface water.
  bool hold_top_head = false;
  double top_head = 0.0;
};

enum class richards_status {
  ok,
  failed,  // a column's state is not a number, or its sub-steps do not end (message printed)
};

// What a call moved, m3 over the cells.
struct richards_result {
  richards_status status = richards_status::ok;
  int cell = 0;                    // the column that failed
  double evaporated = 0.0;         // from ponded water and from the soil, summed depth, m
  double ponded_evaporation = 0.0; // m3
  double soil_evaporation = 0.0;   // m3
  double drained = 0.0;            // into the bottom node, m3
  // Water the columns gained holding heads and contents consistent, m3: a
  // check on the passes (they end once it is a small share of the water
  // the sub-step moved), not a source.
  double adjustment = 0.0;
  double boundary_gain = 0.0;      // supplied by fixed-level cells, m3
};

// The terms of the columns' books.
inline constexpr books_map<richards_result, 5, 1> richards_books_terms{
    {{
        {&richards_result::ponded_evaporation, water_flux::direct_evaporation},
        {&richards_result::soil_evaporation, water_flux::soil_evaporation},
        {&richards_result::drained, water_flux::unsaturated_down_flux},
        {&richards_result::adjustment, water_flux::soil_column_adjustment},
        {&richards_result::boundary_gain, water_flux::head_boundary_in},
    }},
    {{
        {&richards_result::evaporated, "a depth: the two evaporation volumes over the cells"},
    }}};

// Sub-steps allowed per column and call; a column that needs more stops the
// run naming its cell.
inline constexpr long long max_richards_substeps = 2000000;

// The passes of a sub-step go on, up to max_richards_passes, while the
// water that holding heads and contents consistent would make or destroy
// exceeds this share of the water the sub-step moved between and through
// the nodes.
inline constexpr double richards_consistency_share = 1e-2;
inline constexpr int max_richards_passes = 10;

// Integrates every column over dt seconds.
richards_result solve_soil_column(const richards_domain& d, double dt);

}  // namespace nivra
