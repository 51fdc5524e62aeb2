#include "surface/overland_sediment.h"

#include <algorithm>
#include <cmath>

#include "surface/overland_state.h"

namespace nivra {

namespace sd = sediment;

void ov_sed_cells::alloc(int n_cells, int n_classes, bool with_flux) {
  cells = n_cells;
  classes = n_classes;
  for (array2d<double>* a : {&soil_fract, &susp, &dep, &eroded, &out, &susp_fract, &dep_fract, &lifted, &settled})
    a->alloc(n_cells, n_classes);
  qsx.alloc(n_cells);
  qsy.alloc(n_cells);
  if (with_flux) qsmax.alloc(n_cells, n_classes);
  else qsmax.free();
}

void ov_sediment_step::prepare(int ncells, int classes) {
  ncells_ = ncells;
  classes_ = classes;
  slope_x_.alloc(ncells);
  slope_y_.alloc(ncells);
  outflow_.alloc(ncells);
  parent_step_.alloc(ncells, classes);
  trap_.alloc(ncells, classes);
  splash_.alloc(ncells);
  shear_.alloc(ncells);
  cell_cap_.alloc(ncells);
  face_cap_x_.alloc(ncells);
  face_cap_y_.alloc(ncells);
  eh_weight_.alloc(classes);
  face_x_.alloc(ncells, classes);
  face_y_.alloc(ncells, classes);
}

namespace {

// The view of one cell's rows.
sd::cell_sediment cell_view(ov_sed_cells& s, int c) {
  return {s.soil_fract[c].data(), s.susp[c].data(), s.dep[c].data(), s.eroded[c].data(),
          s.susp_fract[c].data(), s.dep_fract[c].data()};
}

double value_or(const double* a, int c, double fallback) {
  return a && a[c] > sd::tiny ? a[c] : fallback;
}

bool in_lake(const ov_sed_flow& f, int c) { return f.lake && c > 0 && f.lake[c] > 0; }

// Slope of the water surface from cell c toward its neighbour nb (0: none)
// over the face between them; the water of a lake cell stands at its
// lake's level, and two lake cells face each other level.
double water_surface_slope(const ov_sed_flow& f, int c, int nb) {
  if (nb == 0) return 0.0;
  const bool lc = in_lake(f, c), ln = in_lake(f, nb);
  if (lc && ln) return 0.0;
  const double wc = lc ? f.lake_elev[f.lake[c]] : f.depth[c] + f.elevation[c];
  const double wn = ln ? f.lake_elev[f.lake[nb]] : f.depth[nb] + f.elevation[nb];
  return (wc - wn) / f.dx;
}

// Which face of the outlet takes the sediment out of the grid: the face
// of the grid's edge the outlet lies on, 1 its right (east) face, 2 its
// lower (south) face, 3 its left (west) face, 4 its upper (north) face, 0
// none (an outlet with neighbours on all four sides). The routing drains
// the outlet by normal depth on OUTSLOPE whichever edge it lies on; this
// face carries that discharge and slopes at OUTSLOPE.
int outlet_face(const ov_sed_flow& f) {
  if (!f.outlet_drains || f.outlet_cell <= 0) return 0;
  const int o = f.outlet_cell;
  if (f.rightcon[o] == 0) return 1;
  if (f.belowcon[o] == 0) return 2;
  if (f.leftcon[o] == 0) return 3;
  if (f.abovecon[o] == 0) return 4;
  return 0;
}

// The flow's part of the capacity of the face between c and its
// neighbour nb (0: the outside, at the outlet) for a discharge `flow`
// (positive from c toward nb) on a water-surface slope; side_out and
// side_in are the receiver's blocked sides for flow toward nb and toward
// c. None where the water comes from outside the grid or from a lake.
sd::flow_capacity face_capacity(const ov_sed_flow& f, const ov_sed_params& par, int c, int nb, double flow,
                                double slope, int side_out, int side_in) {
  const int src = flow >= 0.0 ? c : nb;
  const int dst = flow >= 0.0 ? nb : c;
  if (src == 0 || in_lake(f, src)) return {};
  double q = std::abs(flow) / f.dx, width = 1.0;
  if (f.block_side && dst > 0) {
    width = 1.0 - f.block_side[dst * 5 + (flow >= 0.0 ? side_out : side_in)];
    if (width > 0.0) q /= width;
  }
  return sd::flow_capacity_of(
      {par.option, std::abs(slope), f.depth[src], q, f.dt, f.dx, value_or(par.sed_K, src, 0.0), width});
}

}  // namespace

void ov_sediment_step::run(const ov_sed_flow& f, const ov_sed_params& par, ov_sed_cells& sed, ov_sed_books& books,
                           thread_pool& crew, int parts, const ov_sed_lake_wash* lakes) {
  const int n = par.classes.n;
  const double dx = f.dx, dt = f.dt;
  const int out_face = outlet_face(f);
  for (int c = 0; c <= f.ncells; ++c)
    for (int k = 0; k <= n; ++k) sed.lifted(c, k) = sed.settled(c, k) = face_x_(c, k) = face_y_(c, k) = 0.0;
  if (sed.qsmax)
    for (int c = 0; c <= f.ncells; ++c)
      for (int k = 0; k <= n; ++k) sed.qsmax(c, k) = 0.0;
  // The cells' own work runs on the crew only where the grid is large
  // enough to pay for it; each cell changes only its own rows, so the
  // bits do not depend on it.
  const int crew_parts = std::max(1, std::min(parts, f.ncells / 2048));
  sd::class_table classes = par.classes;
  for (int k = 1; k <= n; ++k) eh_weight_[k] = sd::engelund_hansen_weight(classes, k);
  classes.eh_weight = eh_weight_.data();

  // What the step's water sets, cell by cell and face by face: the
  // slopes, the outflow, the splash and shear volumes over the step, the
  // flow's part of every transport capacity, and the share of each class
  // that settles in one crossing of the cell.
  for_parts(crew, f.ncells, crew_parts, [&](int first, int last, int) {
    for (int c = first; c <= last; ++c) {
      const int r = f.rightcon[c], b = f.belowcon[c];
      slope_x_[c] = water_surface_slope(f, c, r);
      slope_y_[c] = water_surface_slope(f, c, b);
      // The outlet slopes at OUTSLOPE toward its outer face; on a corner
      // it lies on the grid's edge across that direction as well, where it
      // has no slope (as on the lower right corner, which has no lower
      // neighbour), so every corner and edge detaches as its mirror image.
      double sx = slope_x_[c], sy = slope_y_[c];
      if (c == f.outlet_cell && out_face) {
        if (out_face == 1 || out_face == 3) {
          sx = f.outlet_slope;
          if (f.belowcon[c] == 0 || f.abovecon[c] == 0) sy = 0.0;
        } else {
          sy = f.outlet_slope;
          if (f.rightcon[c] == 0 || f.leftcon[c] == 0) sx = 0.0;
        }
      }
      const double s = std::sqrt(sx * sx + sy * sy);
      for (int k = 1; k <= n; ++k) parent_step_(c, k) = sed.eroded(c, k);

      // Channel-lake cells, the land cells with one on their right or lower
      // side, and the cells an overland lake covers detach nothing.
      const bool sheltered =
          (f.lake && (in_lake(f, c) || in_lake(f, r) || in_lake(f, b))) || (f.olake && f.olake[c] > 0);
      const double i = f.rain && !sheltered ? f.rain[c] : 0.0;
      splash_[c] = i > sd::tiny ? sd::splash_volume(i, f.depth[c], dt, dx, value_or(par.splash_K, c, 60.0),
                                                    sd::splash_coefficients_of(i))
                                : 0.0;

      double q2 = 0.0;
      if (f.qx[c] > sd::tiny) q2 += f.qx[c] * f.qx[c];
      if (f.leftcon[c] && f.qx[f.leftcon[c]] < -sd::tiny) q2 += f.qx[f.leftcon[c]] * f.qx[f.leftcon[c]];
      if (f.qy[c] > sd::tiny) q2 += f.qy[c] * f.qy[c];
      if (f.abovecon[c] && f.qy[f.abovecon[c]] < -sd::tiny) q2 += f.qy[f.abovecon[c]] * f.qy[f.abovecon[c]];
      if (c == f.outlet_cell && out_face) q2 += f.qout * f.qout;
      outflow_[c] = std::sqrt(q2);
      double q = outflow_[c] / dx;
      double width = 1.0, area = dx * dx;
      if (f.block_cell) {
        const double bc = f.block_cell[c];
        if (bc < 1.0) q /= (1.0 - bc);
        width = 1.0 - std::sqrt(bc);
        area *= (1.0 - bc);
      }
      cell_cap_[c] = sd::flow_capacity{};
      shear_[c] = sd::flow_detach_volumes{};
      if (q > sd::tiny && !sheltered) {
        const sd::detach_params dp{value_or(par.detach_coef, c, 2e-05), value_or(par.detach_exp, c, 1.0),
                                   value_or(par.detach_crit, c, 0.0)};
        cell_cap_[c] = sd::flow_capacity_of({par.option, s, f.depth[c], q, dt, dx, value_or(par.sed_K, c, 0.0), width});
        shear_[c] = sd::shear_volumes(f.depth[c], s, dt, area, dp);
      }

      const double h = f.depth[c];
      double v = h > sd::tiny ? outflow_[c] / (dx * h) : 0.0;
      if (f.block_cell && f.block_cell[c] < 1.0) v /= (1.0 - f.block_cell[c]);
      for (int k = 1; k <= n; ++k) trap_(c, k) = sd::trap_fraction(dx, par.settling[k], v, h);

      face_cap_x_[c] = face_capacity(f, par, c, r, f.qx[c], slope_x_[c], block_side::left, block_side::right);
      face_cap_y_[c] = face_capacity(f, par, c, b, f.qy[c], slope_y_[c], block_side::top, block_side::bottom);
    }
  });
  // The outlet's outer face.
  sd::flow_capacity out_cap;
  if (out_face) {
    const bool x = out_face == 1 || out_face == 3;
    const int out = x ? block_side::left : block_side::top, in = x ? block_side::right : block_side::bottom;
    out_cap = out_face <= 2 ? face_capacity(f, par, f.outlet_cell, 0, f.qout, f.outlet_slope, out, in)
                            : face_capacity(f, par, 0, f.outlet_cell, -f.qout, f.outlet_slope, out, in);
  }

  // The sediment moves in equal sub-steps no longer than the longest, the
  // water held as the step left it: each sub-step lifts, carries across
  // the faces and lets settle its share of the step.
  const double longest = par.longest_substep;
  const int subs = longest > 0.0 && dt > longest ? static_cast<int>(std::ceil(dt / longest - 1e-9)) : 1;
  const double share = 1.0 / subs;

  auto detach = [&](int c) {
    const bool channel = f.channel_cell && f.channel_cell[c] != 0;
    sd::cell_sediment cs = cell_view(sed, c);
    sd::lifted_volumes lifted{sed.lifted[c].data()};
    if (splash_[c] > 0.0) sd::splash_lift(n, cs, splash_[c] * share, channel, lifted);
    if (shear_[c].loose > 0.0) {
      const double tc = sd::capacity_of(cell_cap_[c], classes, cs) * share;
      sd::flow_detach_by(n, cs, {shear_[c].loose * share, shear_[c].parent * share}, tc, channel, lifted);
    }
  };
  auto settle = [&](int c) {
    for (int k = 1; k <= n; ++k) {
      const double s = trap_(c, k) * sed.susp(c, k);
      sed.susp(c, k) -= s;
      sed.dep(c, k) += s;
      sed.settled(c, k) += s;
      sed.settled(c, 0) += s;
    }
  };

  // The face between c and its neighbour nb (0: the outside, at the
  // outlet), with the flow's part of its capacity.
  auto transfer = [&](int c, int nb, double flow, const sd::flow_capacity& cap, array1d<double>& qs,
                      array2d<double>& face) {
    const int src = flow >= 0.0 ? c : nb;
    const int dst = flow >= 0.0 ? nb : c;
    if (src == 0) return;  // nothing flows in from outside the grid
    if (in_lake(f, src)) {
      // A lake's water carries its wash load onto the land at the lake's
      // concentration, never more than the lake holds; between two lake
      // cells nothing moves.
      if (!lakes || dst == 0 || in_lake(f, dst)) return;
      const int l = f.lake[src];
      const double water = lakes->water[l];
      array2d<double>* across = &face == &face_x_ ? lakes->face_x : lakes->face_y;
      for (int j = 1; j <= lakes->n_fine; ++j) {
        const double held = (*lakes->vol)(l, j);
        const double conc = water > sd::tiny ? held / water : 0.0;
        const double v = std::min(conc * std::abs(flow) * dt * share, held);
        if (!(v > 0.0)) continue;
        const int k = lakes->fine_class[j];
        (*lakes->vol)(l, j) -= v;
        (*lakes->to_cells)(l, j) += v;
        sed.susp(dst, k) += v;
        books.from_lakes[k] += v;
        books.from_lakes[0] += v;
        if (across) (*across)(c, j) += flow >= 0.0 ? v : -v;
        if (sed.qsmax) sed.qsmax(src, k) += v / dt;
      }
      return;
    }
    if (cap.none) return;
    sd::cell_sediment cs = cell_view(sed, src);
    double m = 0.0;
    for (int k = 1; k <= n; ++k) m += cs.susp[k];
    if (!(m > sd::tiny)) return;
    const double step_tc = sd::capacity_of(cap, classes, cs);
    qs[src] = step_tc;
    const double tc = step_tc * share;
    if (!(tc > sd::tiny)) return;
    // A flow that can carry the whole load takes every class whole; else
    // each class gives the same share of itself.
    const bool all = tc >= m;
    const double per = 1.0 / m, taken = all ? 1.0 : tc * per;
    for (int k = 1; k <= n; ++k) {
      cs.susp_fract[k] = cs.susp[k] * per;
      const double v = all ? cs.susp[k] : cs.susp[k] * taken;
      cs.susp[k] = all ? 0.0 : cs.susp[k] - v;
      sed.susp(dst, k) += v;
      face(c, k) += flow >= 0.0 ? v : -v;
      if (sed.qsmax) sed.qsmax(src, k) += v / dt;
    }
  };
  auto empty_outside = [&] {
    for (int k = 1; k <= n; ++k) {
      const double v = sed.susp(0, k);
      sed.out(f.outlet_cell, k) += v;
      sed.out(f.outlet_cell, 0) += v;
      books.outlet[k] += v;
      books.outlet[0] += v;
      sed.susp(0, k) = 0.0;
    }
  };

  for_parts(crew, f.ncells, crew_parts, [&](int first, int last, int) {
    for (int c = first; c <= last; ++c) detach(c);
  });
  for (int sub = 1; sub <= subs; ++sub) {
    // Across the faces, in cell order: what a cell receives from an
    // earlier face can leave it across a later one.
    for (int c = 1; c <= f.ncells; ++c) {
      if (f.rightcon[c]) transfer(c, f.rightcon[c], f.qx[c], face_cap_x_[c], sed.qsx, face_x_);
      if (f.belowcon[c]) transfer(c, f.belowcon[c], f.qy[c], face_cap_y_[c], sed.qsy, face_y_);
      // The outlet's outer face goes after the outlet's own faces, so what
      // any of its faces brought it can leave in the sub-step, whichever
      // edge it lies on. The outlet discharge is out of the grid: toward
      // the right or lower side, or (negative) toward the left or upper
      // side, where row 0 of the face table holds what crossed.
      if (c == f.outlet_cell && out_face) {
        const bool x = out_face == 1 || out_face == 3;
        array1d<double>& qs = x ? sed.qsx : sed.qsy;
        array2d<double>& face = x ? face_x_ : face_y_;
        if (out_face <= 2) transfer(c, 0, f.qout, out_cap, qs, face);
        else transfer(0, c, -f.qout, out_cap, qs, face);
        empty_outside();
      }
    }
    // Settling, then the next sub-step's detachment, cell by cell.
    const bool more = sub < subs;
    for_parts(crew, f.ncells, crew_parts, [&](int first, int last, int) {
      for (int c = first; c <= last; ++c) {
        settle(c);
        if (more) detach(c);
      }
    });
  }

  // The parent soil removed, summed in cell order.
  for (int c = 1; c <= f.ncells; ++c)
    for (int k = 1; k <= n; ++k) {
      const double removed = parent_step_(c, k) - sed.eroded(c, k);
      books.parent[k] += removed;
      books.parent[0] += removed;
    }
}

int tally_sediment_step(const ov_sed_cells& sed, array2d<double>& net, double* ground, double area,
                        ov_sed_tally& tally) {
  const int n = sed.classes;
  tally.lifted.fill(0.0);
  tally.settled.fill(0.0);
  int bad = 0;
  for (int c = 1; c <= sed.cells; ++c) {
    const double* up = sed.lifted[c].data();
    const double* down = sed.settled[c].data();
    double* change = net[c].data();
    for (int k = 0; k <= n; ++k) {
      tally.lifted[k] += up[k];
      tally.settled[k] += down[k];
      change[k] += down[k] - up[k];
    }
    if (ground) ground[c] += (down[0] - up[0]) / area;
    if (bad) continue;
    for (int k = 1; k <= n; ++k)
      if (std::isnan(sed.susp(c, k)) || std::isnan(sed.dep(c, k)) || std::isnan(sed.eroded(c, k))) bad = c;
  }
  return bad;
}

}  // namespace nivra
