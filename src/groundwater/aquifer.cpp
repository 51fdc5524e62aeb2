#include "groundwater/aquifer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nivra {

namespace {

// Picard passes that update the mean porosity of layered pores.
constexpr int pore_passes = 20;

}  // namespace

double storage_profile::level_holding(double a, double water) const {
  // Walk the zones from a in the direction of the change; the outermost
  // zones reach without end.
  double z = a, left = water;
  if (left > 0.0) {
    for (int k = bounds; k >= 1; --k) {
      const double top = layer_bottom[k - 1];
      if (top <= z) continue;
      const double room = (top - z) * porosity[k];
      if (room >= left) return porosity[k] > 0.0 ? z + left / porosity[k] : z;
      left -= room;
      z = top;
    }
    return porosity[0] > 0.0 ? z + left / porosity[0] : z;
  }
  for (int k = 0; k < bounds; ++k) {
    const double floor = layer_bottom[k];
    if (floor >= z) continue;
    const double room = (z - floor) * porosity[k];
    if (room >= -left) return porosity[k] > 0.0 ? z + left / porosity[k] : z;
    left += room;
    z = floor;
  }
  return porosity[bounds] > 0.0 ? z + left / porosity[bounds] : z;
}

void unsaturated_cover::prepare(int ncells, int layers) {
  const std::size_t n = static_cast<std::size_t>(ncells);
  top.reserve(n * static_cast<std::size_t>(std::max(layers, 1)));
  content.reserve(top.capacity());
  first.assign(n + 2, 0);
  base.assign(n + 1, 0.0);
  taken.assign(n + 1, 0.0);
}

namespace {

// Cell i's room upward from an elevation, interval by interval: over each
// the pores and the soil's water content hold, and the room is the pores
// less the water (never below 0). Above the soil's last layer (the ground)
// the room is the pores.
class room_walk {
 public:
  room_walk(const aquifer_domain& d, int i, double z) : d_(d), i_(i), z_(z) {
    if (d.cover) {
      const std::size_t u = static_cast<std::size_t>(i);
      layer_ = d.cover->first[u];
      end_ = d.cover->first[u + 1];
    }
    settle();
  }
  double at() const { return z_; }
  double next() const { return next_; }
  double rate() const { return rate_; }
  double pores() const { return pores_; }
  void advance() {
    z_ = next_;
    settle();
  }

 private:
  void settle() {
    next_ = std::numeric_limits<double>::infinity();
    pores_ = d_.storage[i_];
    if (d_.profile) {
      const storage_profile& p = d_.profile[i_];
      int k = 0;
      while (k < p.bounds && z_ < p.layer_bottom[k]) ++k;
      pores_ = p.porosity[k];
      if (k > 0) next_ = p.layer_bottom[k - 1];
    }
    double water = 0.0;
    if (layer_ < end_) {
      const unsaturated_cover& c = *d_.cover;
      const double base = c.base[static_cast<std::size_t>(i_)];
      while (layer_ < end_ && z_ >= c.top[static_cast<std::size_t>(layer_)]) ++layer_;
      if (z_ < base) {
        next_ = std::min(next_, base);
      } else if (layer_ < end_) {
        water = c.content[static_cast<std::size_t>(layer_)];
        next_ = std::min(next_, c.top[static_cast<std::size_t>(layer_)]);
      }
    }
    rate_ = std::max(pores_ - water, 0.0);
  }

  const aquifer_domain& d_;
  int i_;
  double z_;
  int layer_ = 0, end_ = 0;
  double next_ = 0.0, rate_ = 0.0, pores_ = 0.0;
};

// The smallest storage coefficient a Picard pass of a rising table is
// assembled with, as a share of the pores at its start: a table rising
// through soil that is nearly saturated moves far for the water it gets,
// and the passes, which take each cell's coefficient from the last one's
// heads, settle only while it keeps some storage. The head then lands where
// the room holds the water the solve gave it.
constexpr double least_room_share = 0.1;

}  // namespace

double room_between(const aquifer_domain& d, int i, double a, double b) {
  if (!d.cover) return d.profile ? d.profile[i].water_between(a, b) : d.storage[i] * (b - a);
  double w = 0.0;
  for (room_walk r(d, i, a); r.at() < b; r.advance()) w += r.rate() * (std::min(r.next(), b) - r.at());
  return w;
}

double level_filling(const aquifer_domain& d, int i, double a, double water) {
  if (!d.cover) return d.profile ? d.profile[i].level_holding(a, water) : a + water / d.storage[i];
  double left = water;
  for (room_walk r(d, i, a);; r.advance()) {
    const double room = std::isfinite(r.next()) ? r.rate() * (r.next() - r.at()) : left;
    if (room >= left) return r.rate() > 0.0 ? r.at() + left / r.rate() : r.at();
    left -= room;
  }
}

double aquifer_solver::gw_layer_weighted_value(const aquifer_domain& d, int i, double start, double h, double last) {
  // A table rising into the unsaturated soil fills the room its water
  // leaves: the coefficient that puts the water the last pass gave the
  // cell at the level where the room holds it (at the start of the step,
  // the room just above the table).
  if (d.cover && h >= start) {
    const room_walk r(d, i, start);
    const double water = last * (h - start);
    const double rise = water > 1e-12 ? level_filling(d, i, start, water) - start : 0.0;
    const double sy = rise > 1e-12 ? water / rise : r.rate();
    return std::max(sy, least_room_share * r.pores());
  }
  if (!d.profile) return d.storage[i];
  const storage_profile& p = d.profile[i];
  if (std::fabs(h - start) < 1e-9) return p.at(start);
  return p.water_between(start, h) / (h - start);
}

double aquifer_sink_rate(const aquifer_domain& d, int i, double span) {
  const double area = d.cell_dx[i] * d.cell_dy[i];
  const double thick = d.head[i] - d.bottom[i];
  double pooled = 0.0;  // m3 leaving
  for (const double* pool : {d.stream_volume, d.tile_volume, d.lake_volume})
    if (pool) pooled += pool[i];
  const double recharge = d.recharge ? d.recharge[i] : 0.0;
  return (d.well_flux ? d.well_flux[i] : 0.0) + (thick >= 0.01 ? d.leakage_rate : 0.0) + pooled / area / span -
         recharge / span;
}

void aquifer_solver::build_lines(line_set& s, int ncells, const int* back, const int* forward) {
  s.cells.clear();
  s.start.clear();
  s.cells.reserve(static_cast<std::size_t>(ncells));
  s.start.reserve(static_cast<std::size_t>(ncells) + 1);
  // A line starts at every cell without a neighbour behind it and runs
  // forward; a gap in a row or column starts a new line.
  for (int c = 1; c <= ncells; ++c) {
    if (back[c] != 0) continue;
    s.start.push_back(static_cast<int>(s.cells.size()));
    for (int k = c; k != 0; k = forward[k]) s.cells.push_back(k);
  }
  s.start.push_back(static_cast<int>(s.cells.size()));
}

void aquifer_solver::prepare(int ncells, const int* left, const int* right, const int* above, const int* below) {
  ncells_ = ncells;
  build_lines(rows_, ncells, left, right);
  build_lines(cols_, ncells, above, below);
  const std::size_t n = static_cast<std::size_t>(ncells) + 1;
  for (std::vector<double>* a : {&start_, &last_, &tx_, &ty_, &c_above_, &c_below_, &c_left_, &c_right_, &centre_,
                                 &rhs_, &sink_, &sy_})
    a->assign(n, 0.0);
  std::size_t longest = 0;
  for (const line_set* s : {&rows_, &cols_})
    for (int l = 0; l < s->lines(); ++l)
      longest = std::max(longest, static_cast<std::size_t>(s->start[static_cast<std::size_t>(l) + 1] -
                                                           s->start[static_cast<std::size_t>(l)]));
  for (std::vector<double>* a : {&lower_, &diag_, &upper_, &value_}) a->assign(longest + 1, 0.0);
}

double aquifer_solver::face(const aquifer_domain& d, int i, int n, bool across_x) const {
  const std::size_t ui = static_cast<std::size_t>(i), un = static_cast<std::size_t>(n);
  const double ti = across_x ? tx_[ui] : ty_[ui];
  const double tn = across_x ? tx_[un] : ty_[un];
  const double li = across_x ? d.cell_dx[i] : d.cell_dy[i];
  const double ln = across_x ? d.cell_dx[n] : d.cell_dy[n];
  const double den = (li * tn + ln * ti) * li;
  return den > 0.0 ? 2.0 * ti * tn / den : 0.0;
}

void aquifer_solver::assemble(const aquifer_domain& d, double dt) {
  for (int i = 1; i <= d.ncells; ++i) {
    const std::size_t u = static_cast<std::size_t>(i);
    if (d.gwbound && aquifer_cell::holds_head(d.gwbound[i])) {
      c_above_[u] = c_below_[u] = c_left_[u] = c_right_[u] = 0.0;
      centre_[u] = 1.0;
      rhs_[u] = d.head[i];
      continue;
    }
    c_above_[u] = d.above[i] ? face(d, i, d.above[i], false) : 0.0;
    c_below_[u] = d.below[i] ? face(d, i, d.below[i], false) : 0.0;
    c_left_[u] = d.left[i] ? face(d, i, d.left[i], true) : 0.0;
    c_right_[u] = d.right[i] ? face(d, i, d.right[i], true) : 0.0;
    const double s = sy_[u] / dt;
    centre_[u] = -(c_above_[u] + c_below_[u] + c_left_[u] + c_right_[u] + s);
    rhs_[u] = sink_[u] - s * start_[u];
  }
}

double aquifer_solver::sweep(const aquifer_domain& d) {
  const line_set& set = d.by_rows ? rows_ : cols_;
  const double* h = d.head;
  double largest = 0.0;
  const int lines = set.lines();
  for (int k = 0; k < lines; ++k) {
    const int l = d.ascending ? k : lines - 1 - k;
    const int* cells = set.cells.data() + set.start[static_cast<std::size_t>(l)];
    const int m = set.start[static_cast<std::size_t>(l) + 1] - set.start[static_cast<std::size_t>(l)];
    // The line's tridiagonal system with the heads of the other direction
    // as they stand.
    for (int j = 0; j < m; ++j) {
      const int i = cells[j];
      const std::size_t u = static_cast<std::size_t>(i);
      double r = rhs_[u];
      if (d.by_rows) {
        lower_[static_cast<std::size_t>(j)] = c_left_[u];
        upper_[static_cast<std::size_t>(j)] = c_right_[u];
        if (d.above[i]) r -= c_above_[u] * h[d.above[i]];
        if (d.below[i]) r -= c_below_[u] * h[d.below[i]];
      } else {
        lower_[static_cast<std::size_t>(j)] = c_above_[u];
        upper_[static_cast<std::size_t>(j)] = c_below_[u];
        if (d.left[i]) r -= c_left_[u] * h[d.left[i]];
        if (d.right[i]) r -= c_right_[u] * h[d.right[i]];
      }
      diag_[static_cast<std::size_t>(j)] = centre_[u];
      value_[static_cast<std::size_t>(j)] = r;
    }
    // Forward elimination and back substitution.
    for (int j = 1; j < m; ++j) {
      const std::size_t u = static_cast<std::size_t>(j);
      const double w = lower_[u] / diag_[u - 1];
      diag_[u] -= w * upper_[u - 1];
      value_[u] -= w * value_[u - 1];
    }
    value_[static_cast<std::size_t>(m - 1)] /= diag_[static_cast<std::size_t>(m - 1)];
    for (int j = m - 2; j >= 0; --j) {
      const std::size_t u = static_cast<std::size_t>(j);
      value_[u] = (value_[u] - upper_[u] * value_[u + 1]) / diag_[u];
    }
    for (int j = 0; j < m; ++j) {
      const int i = cells[j];
      const double old = d.head[i];
      const double change = value_[static_cast<std::size_t>(j)] - old;
      largest = std::max(largest, std::fabs(change));
      d.head[i] = old + d.omega * change;
    }
  }
  return largest;
}

int aquifer_solver::relax(const aquifer_domain& d) {
  for (int s = 1; s <= d.max_sweeps; ++s) {
    const double change = sweep(d);
    if (!(change >= d.tolerance)) return std::isnan(change) ? 0 : s;
  }
  return 0;
}

aquifer_solver::volume_check aquifer_solver::volume_residual(const aquifer_domain& d, double dt) const {
  const double* h = d.head;
  volume_check v;
  double moved = 0.0, scale = 0.0;
  for (int i = 1; i <= d.ncells; ++i) {
    if (d.gwbound && aquifer_cell::holds_head(d.gwbound[i])) continue;
    const std::size_t u = static_cast<std::size_t>(i);
    double flow = 0.0, held = 0.0, size = 0.0;  // m/s over the cell
    auto face_flow = [&](int n, double c) {
      if (n == 0) return;
      const double q = c * (h[n] - h[i]);
      flow += q;
      size += c * (std::fabs(h[n]) + std::fabs(h[i]));
      if (d.gwbound && aquifer_cell::holds_head(d.gwbound[n])) held += std::fabs(q);
    };
    face_flow(d.above[i], c_above_[u]);
    face_flow(d.below[i], c_below_[u]);
    face_flow(d.left[i], c_left_[u]);
    face_flow(d.right[i], c_right_[u]);
    const double s = sy_[u] / dt;  // the coefficient the system was assembled with
    const double volume = d.cell_dx[i] * d.cell_dy[i] * dt;
    v.residual += (flow - sink_[u] - s * (h[i] - start_[u])) * volume;
    moved += (std::fabs(sink_[u]) + held) * volume;
    scale += (size + s * (std::fabs(h[i]) + std::fabs(start_[u])) + std::fabs(sink_[u])) * volume;
  }
  v.allowed = std::max(d.balance_tolerance * moved, 1e-13 * scale);
  return v;
}

int aquifer_solver::relax_to_balance(const aquifer_domain& d, double dt, int done, double& residual) {
  for (int s = done;; ++s) {
    const volume_check v = volume_residual(d, dt);
    residual = v.residual;
    if (std::fabs(v.residual) <= v.allowed) return s;
    if (s >= d.max_sweeps) return 0;
    sweep(d);
  }
}

void aquifer_solver::book_boundaries(const aquifer_domain& d, double dt, aquifer_books& b) const {
  if (!d.gwbound) return;
  const double* h = d.head;
  for (int i = 1; i <= d.ncells; ++i) {
    if (!aquifer_cell::holds_head(d.gwbound[i])) continue;
    // Into each solved neighbour through the conductance its own equation
    // holds toward this cell.
    auto into = [&](int n, const std::vector<double>& toward) {
      if (n == 0 || aquifer_cell::holds_head(d.gwbound[n])) return;
      const double area = d.cell_dx[n] * d.cell_dy[n];
      b.boundary_flux += toward[static_cast<std::size_t>(n)] * (h[i] - h[n]) * area * dt;
    };
    into(d.above[i], c_below_);
    into(d.below[i], c_above_);
    into(d.left[i], c_right_);
    into(d.right[i], c_left_);
  }
}

aquifer_result aquifer_solver::solve(const aquifer_domain& d, double dt) {
  aquifer_result r;
  aquifer_books& b = r.books;
  double* h = d.head;

  // The sink of every solved cell. What flows out (pumping, leakage) stops
  // where the cell would fall below the floor; the streams' share and the
  // recharge have already moved and are taken whole.
  for (int i = 1; i <= d.ncells; ++i) {
    const std::size_t u = static_cast<std::size_t>(i);
    const double area = d.cell_dx[i] * d.cell_dy[i];
    // This solve's share of each pool; the rest stays for the sub-steps
    // that follow.
    auto take = [&](double* pool) {
      if (!pool) return 0.0;
      const double v = d.share >= 1.0 ? pool[i] : pool[i] * d.share;
      pool[i] = d.share >= 1.0 ? 0.0 : pool[i] - v;
      return v;
    };
    const double recharge = take(d.recharge);
    // The tile drains' water joins the streams' in the sink: both have
    // already left the aquifer.
    // So does the water the lakes took through their beds.
    const double tile = take(d.tile_volume);
    const double lake = take(d.lake_volume);
    const double stream = take(d.stream_volume) + tile + lake;
    b.recharge += recharge * area;
    b.to_streams += stream - tile - lake;
    b.to_tiles += tile;
    b.to_lakes += lake;
    if (d.gwbound && aquifer_cell::holds_head(d.gwbound[i])) {
      // A held head gives and takes across the boundary.
      b.boundary_flux += stream - recharge * area;
      sink_[u] = 0.0;
      continue;
    }
    const double thick = h[i] - d.bottom[i];
    double well = d.well_flux ? d.well_flux[i] : 0.0;
    double leak = thick >= 0.01 ? d.leakage_rate : 0.0;
    if (thick < 0.01 && well > 0.0) {
      b.withheld += well * dt * area;
      well = 0.0;
    }
    const double inflow = recharge / dt - stream / area / dt - std::min(well, 0.0);
    const double outflow = std::max(well, 0.0) + leak;
    const double held =
        std::max(d.profile ? d.profile[i].water_between(d.bottom[i] + aquifer_floor, h[i])
                           : d.storage[i] * (thick - aquifer_floor),
                 0.0) /
        dt;
    if (outflow > 0.0 && outflow - inflow > held) {
      const double keep = std::max(held + inflow, 0.0);
      const double f = std::min(keep / outflow, 1.0);
      b.withheld += (1.0 - f) * outflow * dt * area;
      if (well > 0.0) well *= f;
      leak *= f;
    }
    b.pumping += well * dt * area;
    b.leakage += leak * dt * area;
    sink_[u] = well + leak + stream / area / dt - recharge / dt;
  }

  for (int i = 1; i <= d.ncells; ++i) {
    if (std::isnan(h[i])) {
      r.status = aquifer_status::head_not_a_number;
      r.cell = i;
      return r;
    }
    start_[static_cast<std::size_t>(i)] = h[i];
  }

  // Picard passes: transmissivities from the latest heads, then the linear
  // system, until the heads stop moving.
  for (;;) {
    ++b.passes;
    for (int i = 1; i <= d.ncells; ++i) {
      const std::size_t u = static_cast<std::size_t>(i);
      const double thick = std::max(h[i] - d.bottom[i], aquifer_floor);
      tx_[u] = thick * d.kx[i];
      ty_[u] = thick * d.ky[i];
      last_[u] = h[i];
      // The mean of the pores follows the passes until it would keep a
      // table swinging across the bottom of a layer; then it holds, and the
      // heads settle (each lands on its pores at the end).
      if (b.passes <= pore_passes || !d.profile) sy_[u] = gw_layer_weighted_value(d, i, start_[u], h[i], sy_[u]);
    }
    assemble(d, dt);
    int sweeps = relax(d);
    if (sweeps == 0) {
      r.status = aquifer_status::sweeps_not_converged;
      return r;
    }
    double change = 0.0;
    for (int i = 1; i <= d.ncells; ++i) change = std::max(change, std::fabs(h[i] - last_[static_cast<std::size_t>(i)]));
    if (change <= d.pass_tolerance) {
      // The last pass: its heads are kept, and the water must close.
      sweeps = relax_to_balance(d, dt, sweeps, b.residual);
      if (sweeps == 0) {
        r.status = aquifer_status::volume_not_balanced;
        return r;
      }
      b.sweeps += sweeps;
      break;
    }
    b.sweeps += sweeps;
    if (b.passes >= d.max_passes) {
      r.status = aquifer_status::passes_not_converged;
      return r;
    }
  }

  book_boundaries(d, dt, b);
  // The pores of the layers: each cell's head is the level at which they
  // hold the water the solve gave the cell with the coefficient of its last
  // pass. A table that rose under the soil's cover stands where the room
  // the soil's water leaves holds it; the soil water it took in is the
  // saturated zone's now.
  if (d.profile || d.cover)
    for (int i = 1; i <= d.ncells; ++i) {
      const std::size_t u = static_cast<std::size_t>(i);
      if (d.cover) d.cover->taken[u] = 0.0;
      if (d.gwbound && aquifer_cell::holds_head(d.gwbound[i])) continue;
      const double water = sy_[u] * (h[i] - start_[u]);
      if (d.cover && water > 0.0) {
        h[i] = level_filling(d, i, start_[u], water);
        const double pores =
            d.profile ? d.profile[i].water_between(start_[u], h[i]) : d.storage[i] * (h[i] - start_[u]);
        d.cover->taken[u] = std::max(pores - water, 0.0);
      } else if (d.profile) {
        h[i] = d.profile[i].level_holding(start_[u], water);
      }
    }
  // The floor: every cell keeps aquifer_floor of saturated thickness, and
  // the water that takes is booked.
  for (int i = 1; i <= d.ncells; ++i) {
    const double floor = d.bottom[i] + aquifer_floor;
    if (h[i] >= floor) continue;
    const double filled = d.profile ? d.profile[i].water_between(h[i], floor) : d.storage[i] * (floor - h[i]);
    b.floor_fill += filled * d.cell_dx[i] * d.cell_dy[i];
    h[i] = floor;
  }
  return r;
}

}  // namespace nivra
