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

double sweep(const ov_transport_domain& d, ov_transport_state& s, ov_transport_scratch& w, double dt,
             const direction& dir) {
  const double area = d.dx * d.dx;
  double* flux = w.flux.data();
  double* flux_star = w.flux_star.data();
  double* mass_star = w.mass_star.data();
  double* conc_star = w.conc_star.data();
  // Predictor.
  over_cells(d, [&](int first, int last) {
    for (int i = first; i <= last; ++i) flux[i] = face_flux(d, dir, s.conc, i);
  });
  over_cells(d, [&](int first, int last) {
    for (int i = first; i <= last; ++i) {
      const int b = dir.down[i];
      if (d.lake && d.lake[i] != 0) {
        mass_star[i] = s.mass[i] + dt * (flux[i] - (b ? flux[b] : 0.0));
        conc_star[i] = d.held_conc[i];
        continue;
      }
      const double m = s.mass[i] + dt * (flux[i] - (b ? flux[b] : 0.0) + 0.5 * d.source[i]);
      mass_star[i] = m;
      conc_star[i] = (d.depth[i] >= 1e-16 && m >= 0.0) ? m / (d.depth[i] * area) : 0.0;
    }
  });
  // Corrector with the mean of the two fluxes.
  over_cells(d, [&](int first, int last) {
    for (int i = first; i <= last; ++i) flux_star[i] = 0.5 * (flux[i] + face_flux(d, dir, conc_star, i));
  });
  // Per part, the mass given to cells driven below zero; summed in part
  // order below so the total does not depend on the split.
  double negative = 0.0;
  over_cells(d, [&](int first, int last) {
    for (int i = first; i <= last; ++i) {
      const int b = dir.down[i];
      if (d.lake && d.lake[i] != 0) {
        // What the faces carried into the lake, which may be negative.
        s.mass[i] += dt * (flux_star[i] - (b ? flux_star[b] : 0.0));
        s.conc[i] = d.held_conc[i];
        mass_star[i] = 0.0;
        continue;
      }
      double m = s.mass[i] + dt * (flux_star[i] - (b ? flux_star[b] : 0.0) + 0.5 * d.source[i]);
      double c = (d.depth[i] >= 1e-16 && m >= 0.0) ? m / (d.depth[i] * area) : 0.0;
      if (m < 0.0) {
        mass_star[i] = -m;  // recorded for the sum below
        m = 0.0;
        c = 0.0;
      } else {
        mass_star[i] = 0.0;
      }
      s.mass[i] = m;
      s.conc[i] = c;
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
  const double negative = sweep(d, s, w, dt, first);
  return negative + sweep(d, s, w, dt, second);
}

}  // namespace nivra
