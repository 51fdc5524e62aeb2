#include "quality/contaminant/sediment_contaminant.h"

#include <algorithm>
#include <cmath>

namespace nivra {

namespace {

// Takes up to m from a cell's total; returns what was taken.
double take(double& total, double m) {
  const double t = std::min(m, std::max(total, 0.0));
  total -= t;
  return t;
}

void partition_all(const sed_contam_domain& d, sed_contam_state& s) {
  for (int i = 1; i <= d.ncells; ++i) partition_cell(d, s, i, nullptr, &(*s.per_volume)(i, 0));
}

// The direction of what a face carried in the step: +1 toward the east
// or south neighbour of cell i, -1 toward i, 0 nothing.
int face_direction(const array2d<double>& q, int i, int n) {
  for (int k = 1; k <= n; ++k) {
    if (q(i, k) > 0.0) return 1;
    if (q(i, k) < 0.0) return -1;
  }
  return 0;
}

}  // namespace

void sediment_face_order(const sed_contam_domain& d, int* order, int* waiting) {
  const int n = d.n_classes, cells = d.ncells;
  // waiting[i]: the faces that bring cell i sediment and are not yet taken.
  for (int i = 1; i <= cells; ++i) waiting[i] = 0;
  for (int i = 1; i <= cells; ++i) {
    const int e = d.right[i] > 0 ? face_direction(*d.face_x, i, n) : 0;
    const int s = d.below[i] > 0 ? face_direction(*d.face_y, i, n) : 0;
    if (e > 0) ++waiting[d.right[i]];
    if (e < 0) ++waiting[i];
    if (s > 0) ++waiting[d.below[i]];
    if (s < 0) ++waiting[i];
  }
  // The order doubles as the queue: cells free to go are appended, and
  // taking a cell frees the cells its faces feed.
  int placed = 0, next = 1, scan = 1;
  for (int i = 1; i <= cells; ++i)
    if (waiting[i] == 0) order[++placed] = i;
  auto release = [&](int to) {
    if (--waiting[to] == 0) order[++placed] = to;
  };
  for (;;) {
    while (next <= placed) {
      const int i = order[next++];
      if (d.right[i] > 0 && face_direction(*d.face_x, i, n) > 0) release(d.right[i]);
      if (d.below[i] > 0 && face_direction(*d.face_y, i, n) > 0) release(d.below[i]);
      if (d.left[i] > 0 && face_direction(*d.face_x, d.left[i], n) < 0) release(d.left[i]);
      if (d.above[i] > 0 && face_direction(*d.face_y, d.above[i], n) < 0) release(d.above[i]);
    }
    if (placed == cells) break;
    // A loop of faces: the first cell still waiting goes next.
    while (waiting[scan] <= 0) ++scan;
    waiting[scan] = 0;
    order[++placed] = scan;
  }
}

double partition_cell(const sed_contam_domain& d, const sed_contam_state& s, int cell, double* attached,
                      double* per_volume) {
  const int n = d.n_classes;
  for (int k = 0; k <= n; ++k) {
    if (attached) attached[k] = 0.0;
    if (per_volume) per_volume[k] = 0.0;
  }
  const double h = d.depth[cell];
  if (!(h > 1e-16)) return 1.0;
  const double water = h * d.dx * d.dx;
  const double kd = d.kd / 1e6;  // m3/g
  const array2d<double>& v = *s.susp;
  double sum = 0.0;
  for (int k = 1; k <= n; ++k)
    if (!d.sand[k]) sum += kd * d.sed_density[k] * std::max(v(cell, k), 0.0) / water;
  double total_attached = 0.0;
  for (int k = 1; k <= n; ++k) {
    if (d.sand[k]) continue;
    const double c = d.sed_density[k] * std::max(v(cell, k), 0.0) / water;
    const double a = kd * c / (1.0 + sum);
    total_attached += a;
    if (attached) attached[k] = a;
    if (per_volume && v(cell, k) > 1e-16) {
      per_volume[k] = a * std::max(s.total[cell], 0.0) / v(cell, k);
      per_volume[0] += per_volume[k];
    }
  }
  if (attached) attached[0] = total_attached;
  return 1.0 - total_attached;
}

sed_contam_books sed_contam_transport(const sed_contam_domain& d, sed_contam_state& s) {
  sed_contam_books b;
  const int n = d.n_classes;
  array2d<double>& v = *s.susp;
  array2d<double>& r = *s.per_volume;
  // Erosion: the fines lifted from the parent soil bring what the soil's
  // fines hold sorbed.
  for (int i = 1; i <= d.ncells; ++i)
    for (int k = 1; k <= n; ++k) {
      const double e = (*d.eroded)(i, k);
      if (!(e > 0.0)) continue;
      v(i, k) += e;
      if (d.sand[k]) continue;
      const double m = d.soil_sorbed[i] * e;
      if (!(m > 1e-16)) continue;
      s.total[i] += m;
      s.soil_exchange[i] -= m;
      b.eroded += m;
    }
  partition_all(d, s);
  // The faces, each once, a cell's faces after those that brought it
  // sediment: the sediment of a class carries its share of the mass on
  // the class's fines in the cell it leaves. Fines a cell received across
  // one face and passed on across another in the step take with them what
  // they brought, so the mass on each class is followed through the step
  // (r holds it, g, until the faces are done).
  for (int i = 1; i <= d.ncells; ++i)
    for (int k = 1; k <= n; ++k) r(i, k) *= std::max(v(i, k), 0.0);
  auto face = [&](int i, int j, const array2d<double>& q) {
    for (int k = 1; k <= n; ++k) {
      const double vol = q(i, k);
      if (vol == 0.0) continue;
      const int from = vol > 0.0 ? i : j, to = vol > 0.0 ? j : i;
      const double moved = std::fabs(vol), held = v(from, k);
      v(from, k) = std::max(held - moved, 0.0);
      v(to, k) += moved;
      if (d.sand[k]) continue;
      const double share = held > moved ? moved / held : 1.0;
      const double m = take(s.total[from], share * std::max(r(from, k), 0.0));
      r(from, k) -= m;
      r(to, k) += m;
      s.total[to] += m;
    }
  };
  // Each face once, when the cell its sediment left comes in the order.
  for (int p = 1; p <= d.ncells; ++p) {
    const int i = d.face_order[p];
    if (d.right[i] > 0 && face_direction(*d.face_x, i, n) > 0) face(i, d.right[i], *d.face_x);
    if (d.below[i] > 0 && face_direction(*d.face_y, i, n) > 0) face(i, d.below[i], *d.face_y);
    if (d.left[i] > 0 && face_direction(*d.face_x, d.left[i], n) < 0) face(d.left[i], i, *d.face_x);
    if (d.above[i] > 0 && face_direction(*d.face_y, d.above[i], n) < 0) face(d.above[i], i, *d.face_y);
  }
  partition_all(d, s);
  // Settling takes the attached mass of the deposit back to the soil.
  for (int i = 1; i <= d.ncells; ++i)
    for (int k = 1; k <= n; ++k) {
      const double dep = (*d.deposited)(i, k);
      if (!(dep > 0.0)) continue;
      v(i, k) = std::max(v(i, k) - dep, 0.0);
      if (d.sand[k]) continue;
      const double m = take(s.total[i], r(i, k) * dep);
      s.soil_exchange[i] += m;
      b.deposited += m;
    }
  // The outlet.
  if (d.outlet_cell > 0 && d.outlet_out)
    for (int k = 1; k <= n; ++k) {
      const double out = d.outlet_out[k];
      if (!(out > 0.0)) continue;
      const int o = d.outlet_cell;
      v(o, k) = std::max(v(o, k) - out, 0.0);
      if (!d.sand[k]) b.outlet += take(s.total[o], r(o, k) * out);
    }
  return b;
}

}  // namespace nivra
