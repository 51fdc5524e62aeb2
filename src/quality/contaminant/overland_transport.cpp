#include "quality/contaminant/overland_transport.h"

#include <algorithm>

#include "core/thread_pool.h"

namespace nivra {

namespace {

// One direction: up[i] the neighbour on the upstream side of the face the
// cell owns, down[i] the one across its other face, q[u] the flow across
// the owned face (positive from up toward the cell).
struct direction {
  const int* up;
  const int* down;
  const double* q;
};

// The flux into cell i across the face it shares with its up neighbour,
// g/s, from the concentrations c.
inline double face_flux(const ov_transport_domain& d, const direction& dir, const double* c, int i) {
  const int u = dir.up[i];
  if (u == 0) return 0.0;
  const double hi = d.depth[i], hu = d.depth[u];
  double disp = 0.0;
  const bool shore = d.lake && (d.lake[i] != 0 || d.lake[u] != 0);
  if (hi > 1e-16 && hu > 1e-16 && !shore) disp = std::min(hi * d.disp[i], hu * d.disp[u]) * (c[u] - c[i]);
  const double q = dir.q[u];
  const double adv = q >= 0.0 ? q * c[u] : q * c[i];
  return disp + adv;
}

template <class Body>
void over_cells(const ov_transport_domain& d, Body&& body) {
  const int n = d.ncells;
  if (!d.crew || d.crew->size() == 1 || n < 2 * d.part_cells) {
    body(1, n);
    return;
  }
  int parts = n / std::max(1, d.part_cells);
  parts = std::max(1, std::min(parts, d.crew->size()));
  for_parts(*d.crew, n, parts, [&](int first, int last, int) { body(first, last); });
}

// Below this share of its depth at the end of the step, the water a cell
// holds between the two directions is too little to give its mass a
// concentration: the water the other direction brings it makes most of
// what it ends with.
constexpr double between_share = 0.01;

// One direction of the step. `depth` holds the depths at the direction's
// end: the end of the step for the last, else the depths between the two
// directions, which may fall to nothing (or below) where more water passes
// through a cell along this direction than it holds before the other
// brings more. Such a cell (between_share) keeps its concentration and
// carries its mass, even below zero, to the last direction.
double sweep(const ov_transport_domain& d, ov_transport_state& s, ov_transport_scratch& w, double dt,
             const direction& dir, const double* depth, bool last) {
  const double area = d.dx * d.dx;
  double* flux = w.flux.data();
  double* flux_star = w.flux_star.data();
  double* mass_star = w.mass_star.data();
  double* conc_star = w.conc_star.data();
  // The concentration of mass m in a cell of depth h (at the direction's
  // end): a cell without water between the directions keeps the
  // concentration it had (c0), a dry one at the end has none.
  auto carried = [&](int i) { return !last && d.depth[i] >= 1e-16 && !(depth[i] >= between_share * d.depth[i]); };
  auto conc_of = [&](int i, double m, double c0) {
    if (carried(i)) return c0;
    return depth[i] >= 1e-16 && m >= 0.0 ? m / (depth[i] * area) : 0.0;
  };
  // Predictor.
  over_cells(d, [&](int first, int last_cell) {
    for (int i = first; i <= last_cell; ++i) flux[i] = face_flux(d, dir, s.conc, i);
  });
  over_cells(d, [&](int first, int last_cell) {
    for (int i = first; i <= last_cell; ++i) {
      const int b = dir.down[i];
      if (d.lake && d.lake[i] != 0) {
        mass_star[i] = s.mass[i] + dt * (flux[i] - (b ? flux[b] : 0.0));
        conc_star[i] = d.held_conc[i];
        continue;
      }
      const double m = s.mass[i] + dt * (flux[i] - (b ? flux[b] : 0.0) + 0.5 * d.source[i]);
      mass_star[i] = m;
      conc_star[i] = conc_of(i, m, s.conc[i]);
    }
  });
  // Corrector with the mean of the two fluxes.
  over_cells(d, [&](int first, int last_cell) {
    for (int i = first; i <= last_cell; ++i) flux_star[i] = 0.5 * (flux[i] + face_flux(d, dir, conc_star, i));
  });
  // Per part, the mass given to cells driven below zero; summed in part
  // order below so the total does not depend on the split.
  double negative = 0.0;
  over_cells(d, [&](int first, int last_cell) {
    for (int i = first; i <= last_cell; ++i) {
      const int b = dir.down[i];
      if (d.lake && d.lake[i] != 0) {
        // What the faces carried into the lake, which may be negative.
        s.mass[i] += dt * (flux_star[i] - (b ? flux_star[b] : 0.0));
        s.conc[i] = d.held_conc[i];
        mass_star[i] = 0.0;
        continue;
      }
      double m = s.mass[i] + dt * (flux_star[i] - (b ? flux_star[b] : 0.0) + 0.5 * d.source[i]);
      const double c = conc_of(i, m, s.conc[i]);
      mass_star[i] = 0.0;
      const bool carry = carried(i);
      if (m < 0.0 && !carry) {
        mass_star[i] = -m;  // recorded for the sum below
        m = 0.0;
      }
      s.mass[i] = m;
      s.conc[i] = m > 0.0 || carry ? c : 0.0;
    }
  });
  for (int i = 1; i <= d.ncells; ++i) negative += mass_star[i];
  return negative;
}

}  // namespace

double ovl_contam_step(const ov_transport_domain& d, ov_transport_state& s, ov_transport_scratch& w, double dt,
                       sweep_order order) {
  w.size_for(d.ncells);
  const direction rows{d.above, d.below, d.qy};
  const direction columns{d.left, d.right, d.qx};
  const direction& first = order == sweep_order::rows_first ? rows : columns;
  const direction& second = order == sweep_order::rows_first ? columns : rows;
  // The depths between the directions: the end's less what the second
  // direction's faces bring (none into a lake's cells, whose water the
  // lake holds).
  const double per_area = dt / (d.dx * d.dx);
  double* between = w.depth_between.data();
  over_cells(d, [&](int first_cell, int last_cell) {
    for (int i = first_cell; i <= last_cell; ++i) {
      const int u = second.up[i], b = second.down[i];
      const double in = (u ? second.q[u] : 0.0) - (b ? second.q[i] : 0.0);
      between[i] = d.depth[i] - in * per_area;
    }
  });
  const double negative = sweep(d, s, w, dt, first, between, false);
  return negative + sweep(d, s, w, dt, second, d.depth, true);
}

}  // namespace nivra
