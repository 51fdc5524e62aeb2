// Overland boundary conditions, applied by the overland step before the
// routing: fixed and time-varying water levels, specified discharges,
// rating-curve exchanges with receiving cells, and the normal-depth outflow
// of a channel lake at the watershed's edge (the routing drains the other
// normal-depth cells). Every volume that crosses the grid's edge is handed
// back for the water ledger; a cell inside a channel lake acts on the
// lake's volume.
#include <algorithm>
#include <cmath>

#include "clock/clock_state.h"
#include "core/elevation_series.h"
#include "core/process.h"
#include "core/time_series.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "surface/blockage.h"
#include "surface/overland.h"
#include "surface/overland_step.h"

namespace nivra {

void bc_series_values(overland_state& ov, double model_time) {
  ov.bc_cells.build(ov.boundary_type.size(), ov.boundary_type.data());
  for (const int c : ov.bc_cells.cell) {
    switch (ov.boundary_type[c]) {
      case boundary::normal_depth:
      case boundary::fixed_level: ov.bc_value[c] = ov.ov_bc_value[c]; break;
      case boundary::level_series:
      case boundary::discharge_cfs:
      case boundary::discharge_cms:
        ov.bc_value[c] = ts_value_by_id(static_cast<int>(ov.ov_bc_value[c]), model_time);
        if (process.error_block.stop) return;
        break;
      default: ov.bc_value[c] = 0.0; break;
    }
  }
}

namespace {

constexpr double cubic_metres_per_cubic_foot = 0.0283168466;
constexpr double manning_exponent = 1.666667;

// The water of a cell as the boundaries see it: its own depth over its
// open ground, or the volume of the channel lake that holds it.
class boundary_water {
 public:
  explicit boundary_water(const overland_domain& d)
      : lakes_(d.lakes),
        z_(d.grid.elevation.data()),
        h_(d.overland.ov_depth.data()),
        blocked_(blocked_cells(d.overland)),
        area_(d.grid.grid_size * d.grid.grid_size),
        lake_mask_(d.lakes.chan_lakes && !d.lakes.lake_mask.empty() ? d.lakes.lake_mask.data() : nullptr),
        out_(d.overland.bc_out_vol.size() == d.grid.ncells ? d.overland.bc_out_vol.data() : nullptr),
        rating_(d.overland.bc_rating_vol.rows() == d.grid.ncells ? &d.overland.bc_rating_vol : nullptr) {}

  int lake(int c) const { return lake_mask_ && lake_cell(lake_mask_[c]) ? lake_mask_[c] : 0; }
  double open_area(int c) const { return area_ * open_share(blocked_, c); }
  double area() const { return area_; }
  double ground(int c) const { return z_[c]; }
  double& depth(int c) { return h_[c]; }

  // The water surface: the cell's, or its lake's.
  double level(int c) const {
    const int k = lake(c);
    return k ? lakes_.lake_elev[k] : z_[c] + h_[c];
  }
  // Takes up to v m3; what was taken.
  double take(int c, double v) {
    if (v <= 0.0) return 0.0;
    if (const int k = lake(c)) {
      const double t = std::min(v, std::max(lakes_.lake_volume[k], 0.0));
      lakes_.lake_volume[k] -= t;
      lakes_.lake_out_dv[k] += t;
      return t;
    }
    const double a = open_area(c);
    const double t = std::min(v, std::max(h_[c], 0.0) * a);
    h_[c] -= t / a;
    if (h_[c] < 0.0) h_[c] = 0.0;
    return t;
  }
  // Notes for the constituents the water v that left the grid through
  // cell c (under a channel lake, the lake's water).
  void left_grid(int c, double v) {
    if (out_ && v > 0.0) out_[c] += v;
  }
  // Notes for the constituents the water v that cell c sent to the
  // receiving neighbour of slot s (0 above .. 3 left); negative: received.
  void rated(int c, int s, double v) {
    if (rating_) (*rating_)(c, s + 1) += v;
  }
  void give(int c, double v) {
    if (const int k = lake(c)) {
      lakes_.lake_volume[k] += v;
      lakes_.lake_in_dv[k] += v;
    } else {
      h_[c] += v / open_area(c);
    }
  }

 private:
  lake_state& lakes_;
  const double* z_;
  double* h_;
  const double* blocked_;
  double area_;
  const int* lake_mask_;
  double* out_;
  array2d<double>* rating_;
};

// The neighbours in slot order: above, right, below, left.
struct neighbours {
  int cell[4];
  neighbours(const grid_state& g, int c)
      : cell{g.abovecon[c], g.rightcon[c], g.belowcon[c], g.leftcon[c]} {}
};

double rating(const overland_state& ov, int c, double x) {
  return std::max(elev_series_interp(x, elev_series_number(ov.ov_bc_rating_series[c])), 0.0);
}

// Two-way exchange with the receiving neighbours: water flows down the
// difference of the surfaces at the rated discharge, never more than
// levels the two.
void rating_exchange(const overland_domain& d, boundary_water& w, int c, double dt) {
  const overland_state& ov = d.overland;
  const neighbours nb(d.grid, c);
  const double s = w.level(c);
  int dir[4] = {0, 0, 0, 0};
  double diff[4] = {0, 0, 0, 0};
  for (int k = 0; k < 4; ++k) {
    const int n = nb.cell[k];
    if (!n || ov.boundary_type[n] != boundary::rating_receiver) continue;
    diff[k] = s - w.level(n);
    dir[k] = diff[k] > 1e-8 ? 1 : diff[k] < -1e-8 ? -1 : 0;
  }
  for (int pass = -1; pass <= 1; pass += 2) {  // inflow first, then outflow
    for (int k = 0; k < 4; ++k) {
      if (dir[k] != pass) continue;
      const double head = std::fabs(diff[k]);
      const double v = std::min(rating(ov, c, head) * dt, head * w.area());
      const int from = pass < 0 ? nb.cell[k] : c, to = pass < 0 ? c : nb.cell[k];
      const double moved = w.take(from, v);
      w.give(to, moved);
      w.rated(c, k, pass < 0 ? -moved : moved);
    }
  }
}

// One-way outflow to the receiving neighbours at the rated discharge of
// the cell's depth, each from what the ones before it left.
void rating_outflow(const overland_domain& d, boundary_water& w, int c, double dt) {
  const overland_state& ov = d.overland;
  const int k = w.lake(c);
  const double lake_depth = k ? d.lakes.lake_elev[k] - w.ground(c) : 0.0;
  if ((k ? lake_depth : w.depth(c)) <= 1e-16) return;
  const neighbours nb(d.grid, c);
  for (int s = 0; s < 4; ++s) {
    const int n = nb.cell[s];
    if (!n || ov.boundary_type[n] != boundary::rating_receiver) continue;
    const double depth = k ? lake_depth : w.depth(c);
    const double moved = w.take(c, rating(ov, c, depth) * dt);
    w.give(n, moved);
    w.rated(c, s, moved);
  }
}

}  // namespace

boundary_books overland_boundary(const overland_domain& d, double dt, bool set_levels) {
  boundary_books b;
  const grid_state& g = d.grid;
  overland_state& ov = d.overland;
  boundary_water w(d);
  const double dx = g.grid_size;
  ov.bc_cells.build(g.ncells, ov.boundary_type.data());
  for (const int c : ov.bc_cells.cell) {
    const int type = ov.boundary_type[c];
    const double value = ov.bc_value[c];
    switch (type) {
      case boundary::normal_depth: {
        // The routing drains the cells outside the channel lakes on its
        // sub-steps (edge_drain); here a lake drains through its cells.
        const int k = w.lake(c);
        if (!k) break;
        const neighbours nb(g, c);
        const int open_sides = (nb.cell[0] == 0) + (nb.cell[1] == 0) + (nb.cell[2] == 0) + (nb.cell[3] == 0);
        if (open_sides == 0 || value <= 0.0) break;
        const double h = w.depth(c);
        // Without the roughness exponents the roughness is the Manning n.
        const double exponent = ov.roughness_exp.size() >= c ? ov.roughness_exp[c] : 0.0;
        const double rough = ov.dist_rough[c] * std::exp(-exponent * h);
        // Manning's discharge per metre of edge on the slope, out of every
        // open side.
        const double flow_depth = d.lakes.lake_elev[k] - w.ground(c);
        if (flow_depth <= 0.0) break;
        const double q = std::sqrt(value) * std::pow(flow_depth, manning_exponent) * dx / rough;
        const double out = w.take(c, open_sides * q * dt);
        b.slope_out += out;
        w.left_grid(c, out);
        break;
      }
      case boundary::fixed_level:
      case boundary::level_series: {
        if (w.lake(c) || (type == boundary::fixed_level && !set_levels)) break;
        double& h = w.depth(c);
        const double target = std::max(value - w.ground(c), 0.0);
        const double v = (target - h) * w.open_area(c);
        h = target;
        w.left_grid(c, -v);
        if (type == boundary::fixed_level) {
          (v >= 0.0 ? b.discharge_in : b.discharge_out) += std::fabs(v);
        } else {
          (v >= 0.0 ? b.head_in : b.head_out) += std::fabs(v);
        }
        break;
      }
      case boundary::discharge_cfs:
      case boundary::discharge_cms: {
        const double q = type == boundary::discharge_cfs ? value * cubic_metres_per_cubic_foot : value;
        const double v = q * dt;
        if (v >= 0.0) {
          w.give(c, v);
          b.discharge_in += v;
        } else if (-v / w.open_area(c) > 1e-16) {
          const double taken = w.take(c, -v);
          b.discharge_out += taken;
          w.left_grid(c, taken);
          b.discharge_unmet += -v - taken;
        }
        break;
      }
      case boundary::rating_exchange: rating_exchange(d, w, c, dt); break;
      case boundary::rating_outflow: rating_outflow(d, w, c, dt); break;
      default: break;
    }
  }
  return b;
}

void overland_boundary_step(model_state& ms, double dt) {
  overland_state& ov = ms.overland;
  if (ov.boundary_type.empty()) return;
  bc_series_values(ov, ms.clock.model_time);
  if (process.error_block.stop) return;
  const boundary_books b = overland_boundary(overland_kernel_domain(ms), dt, !ov.bc_levels_set);
  ov.bc_levels_set = 1;
  ms.ledger.book(b, boundary_books_terms);
}

}  // namespace nivra
