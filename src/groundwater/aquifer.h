// The saturated zone: one unconfined aquifer under the grid, its water
// table solved cell by cell. Each solve advances the heads by one implicit
// (backward Euler) step: flow between edge neighbours through harmonic-mean
// transmissivities, storage through the storage coefficient, and a sink per
// cell gathering wells, deep leakage, recharge and the exchange with the
// streams and the tile drains since the last solve. The linear system of a
// Picard pass is solved by line successive over-relaxation along rows or
// columns; the passes update the transmissivities from the latest heads.
// The sweeps of the last pass go on until, besides the heads, the water
// closes: the step's volume residual over the grid (change of storage
// against the sink and the flow across held heads) is a small fraction of
// the water the step moved, so that a loose head tolerance never leaves the
// books short.
//
// The kernel takes the cells through `aquifer_domain` and keeps its scratch
// (line lists, coefficients, line systems) in `aquifer_solver`, sized once
// per run by `prepare`.
#pragma once

#include <algorithm>
#include <vector>
#include "model/water_ledger.h"

namespace nivra {

// Groundwater boundary codes of the cells (the groundwater boundary map).
namespace aquifer_cell {
inline constexpr int fixed_head = 2;        // head held; the flow across it is booked
inline constexpr int dynamic_well = 3;      // a well of the WELL_TABLE
inline constexpr int river = 4;             // exchanges with the stream above it
inline constexpr int fixed_head_other = 5;  // head held as well
inline constexpr int static_flux = 6;       // a flux of the static-flux table
inline constexpr int lake = 7;              // exchanges with the lake above it
inline constexpr int xy_head = 8;           // head held at the value of XY boundary points
constexpr bool holds_head(int code) { return code == fixed_head || code == fixed_head_other || code == xy_head; }
// A held head that never moves (an XY head follows its series).
constexpr bool head_constant(int code) { return code == fixed_head || code == fixed_head_other; }
}  // namespace aquifer_cell

// Saturated thickness kept under every cell, m.
inline constexpr double aquifer_floor = 0.001;

// The pores a water table fills as it rises through the soil layers of a
// cell: the layers are marked by their bottoms (descending elevations, m),
// porosity[0] holds above layer_bottom[0], porosity[k] between
// layer_bottom[k - 1] and layer_bottom[k], and porosity[bounds] below the
// last bottom, down through the aquifer. Richards columns: the three soil
// layers then the aquifer; the soil-moisture accounting layers: open water
// above the ground, the soil's layers down to the layer's depth, then the
// aquifer.
struct storage_profile {
  static constexpr int max_bounds = 4;
  int bounds = 2;                            // bottoms in use
  double layer_bottom[max_bounds] = {};      // m, descending
  double porosity[max_bounds + 1] = {};

  // The storage coefficient of the pores at elevation z.
  double at(double z) const {
    for (int k = 0; k < bounds; ++k)
      if (z > layer_bottom[k]) return porosity[k];
    return porosity[bounds];
  }
  // The water the saturated zone holds between elevations a and b (b above
  // a: positive), m.
  double water_between(double a, double b) const {
    if (b < a) return -water_between(b, a);
    double w = 0.0, z = a;
    for (int k = bounds - 1; k >= 0; --k) {
      const double top = std::min(b, layer_bottom[k]);
      if (top > z) {
        w += (top - z) * porosity[k + 1];
        z = top;
      }
    }
    return w + (b - z) * porosity[0];
  }
  // The elevation above a at which the saturated zone holds `water` more
  // (less when negative) than at a.
  double level_holding(double a, double water) const;
};

// The water the unsaturated soil holds over the water tables (the Richards
// columns): per cell a run of layers from the column's table up to the
// ground, each with its top elevation and water content. A table rising
// into them fills only the room the soil's water leaves in the pores, and
// the water the soil held there becomes the saturated zone's: the solve
// gives each cell's rise the pores less the water content, and records in
// `taken` the soil water each rising table took in, which the saturated
// zone then holds without being given it again.
struct unsaturated_cover {
  std::vector<double> top;      // m, ascending within a cell's run
  std::vector<double> content;  // water content from the top below (the run's base for the first) up to top
  std::vector<int> first;       // cell i's run is [first[i], first[i + 1])
  std::vector<double> base;     // elevation of the bottom of cell i's run, m
  std::vector<double> taken;    // soil water the solve's rising table took in, m (0 where the table fell)
  // Sizes the arrays for ncells cells of up to `layers` layers each.
  void prepare(int ncells, int layers);
  // Starts the runs again; cells then add their layers in order.
  void clear() {
    top.clear();
    content.clear();
    first[1] = 0;
  }
  // Ends cell i's run (its layers added since the end of cell i - 1's).
  void close(int i, double run_base) {
    first[static_cast<std::size_t>(i) + 1] = static_cast<int>(top.size());
    base[static_cast<std::size_t>(i)] = run_base;
  }
};

// What a solve reads and writes. Per-cell arrays are 1-based (element 0
// unused), ncells + 1 long; neighbours are cell numbers, 0 for none.
struct aquifer_domain {
  int ncells = 0;
  const int* above = nullptr;
  const int* below = nullptr;
  const int* left = nullptr;
  const int* right = nullptr;
  const int* gwbound = nullptr;      // boundary code per cell (null: every cell solved)
  const double* bottom = nullptr;    // aquifer bottom, m
  const double* kx = nullptr;        // conductivity across left and right faces, m/s
  const double* ky = nullptr;        // across the faces above and below
  const double* storage = nullptr;   // storage coefficient
  // Per cell, or null: the pores of the soil layers above the aquifer,
  // which then replace the storage coefficient. A solve then uses the mean
  // porosity between the heads at its start and at its latest pass, and
  // the water it moved stays exact: each cell's head is the level at which
  // the pores hold what the solve gave the cell.
  const storage_profile* profile = nullptr;
  // Per cell, or null: the water of the unsaturated soil over the tables,
  // which a rising table takes in (the solve fills `taken`).
  unsaturated_cover* cover = nullptr;
  const double* cell_dx = nullptr;   // cell length across left and right faces, m
  const double* cell_dy = nullptr;   // across the faces above and below, m
  double* head = nullptr;            // water table, m: solved in place
  // Sink terms (null when absent).
  const double* well_flux = nullptr; // m/s, positive pumping
  double* recharge = nullptr;        // water that reached the table since the last solve, m; emptied
  double* stream_volume = nullptr;   // water the streams took since the last solve, m3 (negative: gave); emptied
  double* tile_volume = nullptr;     // water the tile drains took since the last solve, m3; emptied
  double* lake_volume = nullptr;     // water the lakes above took through their beds since the last solve, m3 (negative: gave); emptied
  double leakage_rate = 0.0;         // deep leakage, m/s
  // The share of the pooled volumes (recharge, streams, tiles, lakes) this
  // solve takes in: a sub-step of tau seconds out of `remaining` takes tau
  // / remaining of them and leaves the rest, so that what the pools hold is
  // spread evenly over the sub-steps; 1 empties them.
  double share = 1.0;
  // Solver controls.
  double omega = 1.5;                // over-relaxation factor, in (0, 2)
  double tolerance = 1e-5;           // largest change of a converged sweep, m
  double balance_tolerance = 1e-7;   // largest volume residual of a solve, as a fraction of the water it moved
  bool by_rows = true;               // lines are rows (else columns)
  bool ascending = true;             // lines visited in ascending order
  int max_sweeps = 20000;            // sweeps of one pass
  int max_passes = 1000;             // Picard passes of one solve
  double pass_tolerance = 0.001;     // largest head change that ends the passes, m
};

// What a solve moved, m3: inflows to the aquifer positive.
struct aquifer_books {
  double pumping = 0.0;        // taken by wells (negative: injected)
  double leakage = 0.0;        // lost to the deep aquifer
  double recharge = 0.0;       // taken in from the recharge of the domain
  double to_streams = 0.0;     // taken by the streams, net
  double to_tiles = 0.0;       // taken by the tile drains
  double to_lakes = 0.0;       // taken by the lakes through their beds, net
  double boundary_flux = 0.0;  // into the solved cells from the fixed-head cells
  double floor_fill = 0.0;     // added to keep aquifer_floor of saturated thickness
  double withheld = 0.0;       // pumping and leakage not taken because the cell ran dry
  double residual = 0.0;       // volume residual of the solve's linear system, m3
  int passes = 0;
  int sweeps = 0;
  double net_input() const { return recharge - pumping - leakage - to_streams - to_tiles - to_lakes; }
};

// The terms of the solve's books.
inline constexpr books_map<aquifer_books, 4, 6> aquifer_books_terms{
    {{
        {&aquifer_books::pumping, water_flux::groundwater_pumping},
        {&aquifer_books::leakage, water_flux::deep_leakage},
        {&aquifer_books::boundary_flux, water_flux::groundwater_boundary_flux},
        {&aquifer_books::floor_fill, water_flux::groundwater_floor_fill},
    }},
    {{
        {&aquifer_books::recharge, "booked where it reached the table"},
        {&aquifer_books::to_streams, "booked by the channel routing"},
        {&aquifer_books::to_tiles, "booked by the pipe network"},
        {&aquifer_books::to_lakes, "booked by the lakes' seepage"},
        {&aquifer_books::withheld, "not taken: no water moved"},
        {&aquifer_books::residual, "a record of the solve: what its heads leave unaccounted for, no water moved"},
    }}};

enum class aquifer_status { ok, head_not_a_number, sweeps_not_converged, volume_not_balanced, passes_not_converged };

struct aquifer_result {
  aquifer_status status = aquifer_status::ok;
  int cell = 0;  // the cell of a not-a-number head
  aquifer_books books;
};

// The water cell i's saturated zone needs to rise from a to b (b above a),
// m: the pores, less the water the unsaturated soil over the table already
// holds there.
double room_between(const aquifer_domain& d, int i, double a, double b);
// The level above a to which `water` (positive, m) fills cell i's room.
double level_filling(const aquifer_domain& d, int i, double a, double water);

// The net sink of solved cell i (m/s, positive leaving the aquifer) if its
// pools were spread over `span` seconds: wells, deep leakage of a cell not
// dry, the streams', tiles' and lakes' share, less the recharge. Before the
// solve's limits on what a nearly dry cell can give.
double aquifer_sink_rate(const aquifer_domain& d, int i, double span);

class aquifer_solver {
 public:
  // Builds the row and column lines of the cells from their neighbours and
  // sizes every work array; called once per run.
  void prepare(int ncells, const int* left, const int* right, const int* above, const int* below);
  // Advances the heads of the domain by dt seconds.
  aquifer_result solve(const aquifer_domain& d, double dt);
  bool prepared_for(int ncells) const { return ncells_ == ncells && ncells > 0; }

 private:
  struct line_set {
    std::vector<int> cells;  // the cells of every line, line after line
    std::vector<int> start;  // where each line begins in cells; one more entry at the end
    int lines() const { return static_cast<int>(start.size()) - 1; }
  };
  static void build_lines(line_set& s, int ncells, const int* back, const int* forward);
  void assemble(const aquifer_domain& d, double dt);
  int relax(const aquifer_domain& d);  // sweeps until converged; 0 when the cap is reached
  // The volume residual of the cells' equations over the grid, m3: the
  // water the sink and the held heads brought less what the heads store
  // (positive: the heads hold less than the books say). `allowed` is the
  // balance tolerance times the water the step moved across the aquifer's
  // boundary (the sinks and the flow through held heads, each counted
  // whole), and never below the rounding of the sums.
  struct volume_check {
    double residual = 0.0;
    double allowed = 0.0;
  };
  volume_check volume_residual(const aquifer_domain& d, double dt) const;
  // Sweeps on, after `done` sweeps of the pass, until the volume residual
  // is within what is allowed; the sweeps of the pass, 0 when the cap is
  // reached.
  int relax_to_balance(const aquifer_domain& d, double dt, int done, double& residual);
  double sweep(const aquifer_domain& d);
  void book_boundaries(const aquifer_domain& d, double dt, aquifer_books& b) const;
  // The storage coefficient of cell i between the start head and head h:
  // the pores of the layers the table crosses, each weighted by the depth
  // of it crossed; for a table rising under the soil's cover, the room its
  // water leaves, such that the water the last pass's coefficient `last`
  // gave the cell stands where that room holds it.
  static double gw_layer_weighted_value(const aquifer_domain& d, int i, double start, double h, double last);
  double face(const aquifer_domain& d, int i, int n, bool across_x) const;

  int ncells_ = 0;
  line_set rows_, cols_;
  // Per cell: the head at the start of the step, at the last pass, the
  // transmissivities, the face conductances (1/s), the diagonal, the
  // right-hand side and the net sink (m/s).
  std::vector<double> start_, last_, tx_, ty_, c_above_, c_below_, c_left_, c_right_, centre_, rhs_, sink_, sy_;
  // One line's system.
  std::vector<double> lower_, diag_, upper_, value_;
};

}  // namespace nivra
