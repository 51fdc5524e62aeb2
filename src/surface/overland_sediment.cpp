#include "surface/overland_sediment.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

namespace {

// The row of the step's constants of a cell: the splash and shear
// (loose, parent) volumes over the step, then the capacity parts of the
// cell, of its right face and of its lower face, then the trap share of
// each class.
namespace konst_at {
inline constexpr int splash = 0, loose = 1, parent = 2, caps = 3;
}
inline int konst_width(int parts, int classes) { return konst_at::caps + 3 * parts + classes; }

}  // namespace

void ov_sediment_step::prepare(int ncells, int classes) {
  ncells_ = ncells;
  classes_ = classes;
  parent_step_.alloc(ncells, classes);
  // The widest row: capacities of five parts.
  konst_.alloc((ncells + 1) * konst_width(5, classes) - 1);
  eh_weight_.alloc(classes);
  face_x_.alloc(ncells, classes);
  face_y_.alloc(ncells, classes);
  gives_.alloc(ncells);
  takes_.alloc(ncells);
  for (int t = 0; t < 2; ++t) {
    pass_x_[t].alloc(ncells, classes);
    pass_y_[t].alloc(ncells, classes);
  }
}

namespace {

inline double value_or(const double* a, int c, double fallback) {
  return a && a[c] > sd::tiny ? a[c] : fallback;
}

inline bool in_lake(const ov_sed_flow& f, int c) { return f.lake && c > 0 && f.lake[c] > 0; }

// Slope of the water surface from cell c toward its neighbour nb (0: none)
// over the face between them; the water of a lake cell stands at its
// lake's level, and two lake cells face each other level.
inline double water_surface_slope(const ov_sed_flow& f, int c, int nb) {
  if (nb == 0) return 0.0;
  if (!f.lake) return (f.depth[c] + f.elevation[c] - f.depth[nb] - f.elevation[nb]) / f.dx;
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

// The flow across the face between c and its neighbour nb (0: the
// outside, at the outlet) for a discharge `flow` (positive from c toward
// nb): the cell it leaves and the one it enters, its unit discharge over
// the face's open width, and whether it carries sediment (it does not
// where it comes from outside the grid or from a lake, or runs too thin).
// side_out and side_in are the receiver's blocked sides for flow toward nb
// and toward c.
struct face_flow {
  int src = 0, dst = 0;
  double q = 0.0, width = 1.0;
  bool carries = false;
};
inline face_flow flow_across(const ov_sed_flow& f, int c, int nb, double flow, int side_out, int side_in) {
  face_flow ff;
  ff.src = flow >= 0.0 ? c : nb;
  ff.dst = flow >= 0.0 ? nb : c;
  if (ff.src == 0 || in_lake(f, ff.src)) return ff;
  ff.q = std::abs(flow) / f.dx;
  if (f.block_side && ff.dst > 0) {
    ff.width = 1.0 - f.block_side[ff.dst * 5 + (flow >= 0.0 ? side_out : side_in)];
    if (ff.width > 0.0) ff.q /= ff.width;
  }
  ff.carries = !(ff.q < sd::tiny || f.depth[ff.src] < sd::tiny);
  return ff;
}

// The flow's part of the capacity of a face on a water-surface slope.
sd::flow_capacity face_capacity(const ov_sed_flow& f, const ov_sed_params& par, const face_flow& ff, double slope) {
  if (!ff.carries) return {};
  return sd::flow_capacity_of({par.option, std::abs(slope), f.depth[ff.src], ff.q, f.dt, f.dx,
                               value_or(par.sed_K, ff.src, 0.0), ff.width});
}

// How many parts of a capacity its formula uses.
int capacity_parts(int option) {
  if (option == 3 || option == 4) return 2;
  if (option == 5 || option == 6) return 5;
  return 1;
}

// The bits of a cell's masks: its right, lower, left and upper faces and,
// on the outlet, its outer face; in the giving mask also a channel cell
// and the cell's right and lower faces where a channel lake's water runs
// across them onto the land.
namespace face_bit {
inline constexpr unsigned char right = 1, below = 2, left = 4, above = 8, outer = 16, channel = 32;
inline constexpr unsigned char lake_right = 64, lake_below = 128;
}

// The step's work on a range of cells. Each cell writes its own rows and
// the rows of the faces it gives across, so ranges of cells can go in any
// order, or at once, as long as a cell takes in a sub-step only after its
// neighbours have given in it (and gives in the next only after they have
// taken).
struct step_work {
  const ov_sed_flow* f = nullptr;
  const ov_sed_params* par = nullptr;
  const sd::class_table* classes = nullptr;
  int n = 0, w = 0;                 // classes; row width of the [cell][class] tables
  int kw = 0, nb = 0;               // row width of the step's constants; capacity parts
  int option = 0, out_face = 0;
  bool lake_wash = false, out_carries = false;
  double share = 1.0, dt = 0.0;
  const double* out_cap = nullptr;  // the outlet's outer face's capacity parts
  double* konst = nullptr;
  unsigned char* gives = nullptr;
  unsigned char* takes = nullptr;
  double *susp = nullptr, *dep = nullptr, *eroded = nullptr, *lifted = nullptr, *settled = nullptr;
  double *susp_fract = nullptr, *dep_fract = nullptr;
  const double* soil = nullptr;
  double *face_x = nullptr, *face_y = nullptr;  // the step's face tables
  double *qsx = nullptr, *qsy = nullptr, *qsmax = nullptr, *out = nullptr;
  double* parent_step = nullptr;
  double* outlet_books = nullptr;
  // Where the last pass adds up the parent soil each cell lost in the
  // step, when it goes through the cells in order (else null).
  double* parent_books = nullptr;

  std::ptrdiff_t row(int c) const { return static_cast<std::ptrdiff_t>(c) * w; }
  double* konst_of(int c) const { return konst + static_cast<std::ptrdiff_t>(c) * kw; }
  int cap_x() const { return konst_at::caps + nb; }
  int cap_y() const { return konst_at::caps + 2 * nb; }
  int traps() const { return konst_at::caps + 3 * nb - 1; }  // + class k

  bool lake_face(int src, int dst) const {
    return lake_wash && dst > 0 && in_lake(*f, src) && !in_lake(*f, dst);
  }

  // What the step's water sets, cell by cell and face by face: the
  // slopes, the outflow, the splash and shear volumes over the step, the
  // flow's part of every transport capacity, the share of each class that
  // settles in one crossing of the cell, and which faces give the cell's
  // sediment away (a land cell's faces whose flow carries sediment) and
  // which bring it sediment (those and a channel lake's faces onto the
  // land, whose water carries the lake's wash load).
  void set_up(int first, int last) const {
    const ov_sed_flow& fl = *f;
    const double dx = fl.dx;
    // A run of cells under the same rain splashes with the same
    // coefficients.
    double rain_of = -1.0, splash_rate = 0.0, splash_depth = 0.0;
    for (int c = first == 1 ? 0 : first; c <= last; ++c) {
      const std::ptrdiff_t r = row(c);
      for (int k = 0; k <= n; ++k) lifted[r + k] = settled[r + k] = face_x[r + k] = face_y[r + k] = 0.0;
      if (qsmax)
        for (int k = 0; k <= n; ++k) qsmax[r + k] = 0.0;
    }
    for (int c = first; c <= last; ++c) {
      double* k_row = konst_of(c);
      const int rc = fl.rightcon[c], b = fl.belowcon[c], l = fl.leftcon[c], a = fl.abovecon[c];
      const double to_r = water_surface_slope(fl, c, rc), to_b = water_surface_slope(fl, c, b);
      // Along each axis the cell detaches on the steeper of its faces that
      // fall away from it (none: no slope); a cell on the grid's edge has
      // one face on that axis, and the outlet's outer face falls at
      // OUTSLOPE.
      auto down = [](double v) { return v > 0.0 ? v : 0.0; };
      double sx = std::max(down(to_r), down(water_surface_slope(fl, c, l)));
      double sy = std::max(down(to_b), down(water_surface_slope(fl, c, a)));
      if (c == fl.outlet_cell && out_face) {
        if (out_face == 1 || out_face == 3) sx = std::max(sx, fl.outlet_slope);
        else sy = std::max(sy, fl.outlet_slope);
      }
      const double s = std::sqrt(sx * sx + sy * sy);
      const std::ptrdiff_t r = row(c);
      for (int k = 1; k <= n; ++k) parent_step[r + k] = eroded[r + k];

      // Channel-lake cells, the land cells with one on any side, and the
      // cells an overland lake covers detach nothing.
      const bool sheltered =
          (fl.lake && (in_lake(fl, c) || in_lake(fl, rc) || in_lake(fl, b) || in_lake(fl, l) || in_lake(fl, a))) ||
          (fl.olake && fl.olake[c] > 0);
      const double i = fl.rain && !sheltered ? fl.rain[c] : 0.0;
      k_row[konst_at::splash] = 0.0;
      if (i > sd::tiny) {
        if (i != rain_of) {
          const sd::splash_coefficients ab = sd::splash_coefficients_of(i);
          rain_of = i;
          splash_rate = ab.a * std::pow(i, ab.b) * dt * dx * dx / sd::mass_per_volume;
          splash_depth = sd::splash_critical_depth(i);
        }
        k_row[konst_at::splash] =
            sd::splash_depth_factor(fl.depth[c], splash_depth) * value_or(par->splash_K, c, 60.0) * splash_rate;
      }

      double q2 = 0.0;
      if (fl.qx[c] > sd::tiny) q2 += fl.qx[c] * fl.qx[c];
      if (l && fl.qx[l] < -sd::tiny) q2 += fl.qx[l] * fl.qx[l];
      if (fl.qy[c] > sd::tiny) q2 += fl.qy[c] * fl.qy[c];
      if (a && fl.qy[a] < -sd::tiny) q2 += fl.qy[a] * fl.qy[a];
      if (c == fl.outlet_cell && out_face) q2 += fl.qout * fl.qout;
      const double outflow = std::sqrt(q2);
      double q = outflow / dx;
      double width = 1.0, area = dx * dx;
      if (fl.block_cell) {
        const double bc = fl.block_cell[c];
        if (bc < 1.0) q /= (1.0 - bc);
        width = 1.0 - std::sqrt(bc);
        area *= (1.0 - bc);
      }
      sd::flow_capacity cell_cap;
      sd::flow_detach_volumes shear;
      const double h = fl.depth[c];
      if (q > sd::tiny && !sheltered) {
        const sd::detach_params dp{value_or(par->detach_coef, c, 2e-05), value_or(par->detach_exp, c, 1.0),
                                   value_or(par->detach_crit, c, 0.0)};
        cell_cap = sd::flow_capacity_of({option, s, h, q, dt, dx, value_or(par->sed_K, c, 0.0), width});
        shear = sd::shear_volumes(h, s, dt, area, dp);
      }
      k_row[konst_at::loose] = shear.loose;
      k_row[konst_at::parent] = shear.parent;

      double v = h > sd::tiny ? outflow / (dx * h) : 0.0;
      if (fl.block_cell && fl.block_cell[c] < 1.0) v /= (1.0 - fl.block_cell[c]);
      double* trap = k_row + traps();
      for (int k = 1; k <= n; ++k) trap[k] = sd::trap_fraction(dx, par->settling[k], v, h);

      const face_flow fr = flow_across(fl, c, rc, fl.qx[c], block_side::left, block_side::right);
      const face_flow fb = flow_across(fl, c, b, fl.qy[c], block_side::top, block_side::bottom);
      const sd::flow_capacity cap_r = rc ? face_capacity(fl, *par, fr, to_r) : sd::flow_capacity{};
      const sd::flow_capacity cap_b = b ? face_capacity(fl, *par, fb, to_b) : sd::flow_capacity{};
      for (int p = 0; p < nb; ++p) {
        k_row[konst_at::caps + p] = cell_cap.base[p];
        k_row[konst_at::caps + nb + p] = cap_r.base[p];
        k_row[konst_at::caps + 2 * nb + p] = cap_b.base[p];
      }

      unsigned char give_mask = 0, take_mask = 0;
      auto sort = [&](const face_flow& ff, unsigned char bit) {
        if (ff.carries) (ff.src == c ? give_mask : take_mask) |= bit;
        else if (ff.dst == c && lake_face(ff.src, c)) take_mask |= bit;
      };
      if (rc) sort(fr, face_bit::right);
      if (b) sort(fb, face_bit::below);
      if (l) sort(flow_across(fl, l, c, fl.qx[l], block_side::left, block_side::right), face_bit::left);
      if (a) sort(flow_across(fl, a, c, fl.qy[a], block_side::top, block_side::bottom), face_bit::above);
      if (c == fl.outlet_cell && out_carries) give_mask |= face_bit::outer;
      if (fl.channel_cell && fl.channel_cell[c] != 0) give_mask |= face_bit::channel;
      if (rc && lake_face(fr.src, fr.dst)) give_mask |= face_bit::lake_right;
      if (b && lake_face(fb.src, fb.dst)) give_mask |= face_bit::lake_below;
      gives[c] = give_mask;
      takes[c] = take_mask;
    }
  }

  sd::cell_sediment view(int c) const {
    const std::ptrdiff_t r = row(c);
    return {soil + r, susp + r, dep + r, eroded + r, susp_fract + r, dep_fract + r};
  }
  // The make-up of a cell's sediment for the capacity of its flows.
  sd::capacity_makeup makeup(const sd::cell_sediment& cs, int nk) const {
    if (option == 1) return {0, sd::engelund_hansen_factor(*classes, cs, nk)};
    return sd::makeup_of(option, *classes, cs);
  }

  // What the faces a cell gives across can carry in a sub-step for the
  // sediment it holds now.
  template <int N>
  double faces_capacity(int c, unsigned char mask, const sd::cell_sediment& cs) const {
    const sd::capacity_makeup mk = makeup(cs, N > 0 ? N : n);
    double t = 0.0;
    if (mask & face_bit::right) t += konst_of(c)[cap_x() + mk.base];
    if (mask & face_bit::below) t += konst_of(c)[cap_y() + mk.base];
    if (mask & face_bit::left) t += konst_of(f->leftcon[c])[cap_x() + mk.base];
    if (mask & face_bit::above) t += konst_of(f->abovecon[c])[cap_y() + mk.base];
    if (mask & face_bit::outer) t += out_cap[mk.base];
    return t * mk.factor * share;
  }

  template <int N>
  void detach(int c, const double* k_row, unsigned char mask) const {
    const int nk = N > 0 ? N : n;
    const bool channel = (mask & face_bit::channel) != 0;
    const sd::cell_sediment cs = view(c);
    sd::lifted_volumes up{lifted + row(c)};
    const double sh = share;
    if (k_row[konst_at::splash] > 0.0) {
      // The drops lift the sub-step's splash from the loose sediment and,
      // where that is short, from the parent soil, but from the parent
      // soil no more than the faces can still carry off in the sub-step
      // beyond the loose and suspended sediment: what they could not
      // carry would only fall back as a loose layer a sub-step's splash
      // deep, which shorter sub-steps make thinner and thinner.
      const double d = k_row[konst_at::splash] * sh;
      double m = 0.0, l = 0.0;
      for (int k = 1; k <= nk; ++k) {
        m += cs.susp[k];
        l += cs.dep[k];
      }
      double parent = d - l;
      if (parent > 0.0) parent = std::min(parent, std::max(0.0, faces_capacity<N>(c, mask, cs) - m - l));
      sd::lift_sediment(nk, cs, d, parent, channel, up);
    }
    if (k_row[konst_at::loose] > 0.0) {
      const sd::capacity_makeup mk = makeup(cs, nk);
      const double tc = k_row[konst_at::caps + mk.base] * mk.factor * sh;
      sd::flow_detach_by(nk, cs, {k_row[konst_at::loose] * sh, k_row[konst_at::parent] * sh}, tc, channel, up);
    }
  }

  template <int N>
  void settle(int c, const double* k_row) const {
    const int nk = N > 0 ? N : n;
    const std::ptrdiff_t r = row(c);
    double* s = susp + r;
    double* d = dep + r;
    double* st = settled + r;
    const double* trap = k_row + traps();
    for (int k = 1; k <= nk; ++k) {
      const double v = trap[k] * s[k];
      s[k] -= v;
      d[k] += v;
      st[k] += v;
      st[0] += v;
    }
  }

  template <int N>
  void take(int c, const double* pass_x, const double* pass_y) const {
    const int nk = N > 0 ? N : n;
    const unsigned char in = takes[c];
    if (!in) return;
    double* s = susp + row(c);
    auto add = [&](const double* v) {
      for (int k = 1; k <= nk; ++k) s[k] += v[k];
    };
    if (in & face_bit::right) add(pass_x + row(c));
    if (in & face_bit::below) add(pass_y + row(c));
    if (in & face_bit::left) add(pass_x + row(f->leftcon[c]));
    if (in & face_bit::above) add(pass_y + row(f->abovecon[c]));
  }

  // Every cell offers the load it holds to all the faces it gives across
  // at once, each face its capacity over the sub-step, or, when the load
  // is smaller than their capacities together, a share of every class in
  // proportion to its capacity. What a face takes goes into the sub-step's
  // table (`pass`, [the face's cell][class], the face's cell being the one
  // on its left or upper side) for its receiver to take in; the outlet's
  // outer face takes its share out of the grid.
  template <int N>
  void give(int c, unsigned char mask, double* pass_x, double* pass_y) const {
    const int nk = N > 0 ? N : n;
    const unsigned char faces_out =
        mask & (face_bit::right | face_bit::below | face_bit::left | face_bit::above | face_bit::outer);
    if (!faces_out) return;
    const std::ptrdiff_t r = row(c);
    const int l = f->leftcon[c], a = f->abovecon[c];
    // The faces' rows of the sub-step and of the step.
    double* const pass_r = pass_x + r;
    double* const pass_b = pass_y + r;
    double* const pass_l = pass_x + row(l);
    double* const pass_a = pass_y + row(a);
    auto zero = [&](double* v) {
      for (int k = 1; k <= nk; ++k) v[k] = 0.0;
    };
    const sd::cell_sediment cs = view(c);
    double* s = cs.susp;
    double m = 0.0;
    for (int k = 1; k <= nk; ++k) m += s[k];
    // The capacity of each face over the sub-step, in the order right,
    // lower, left, upper, outer.
    double tc[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
    if (m > sd::tiny) {
      const sd::capacity_makeup mk = makeup(cs, nk);
      const double sh = share;
      auto cap = [&](int i, const double* parts, double* qs) {
        const double step_tc = parts[mk.base] * mk.factor;
        *qs = step_tc;
        const double t = step_tc * sh;
        tc[i] = t > sd::tiny ? t : 0.0;
      };
      if (faces_out & face_bit::right) cap(0, konst_of(c) + cap_x(), qsx + c);
      if (faces_out & face_bit::below) cap(1, konst_of(c) + cap_y(), qsy + c);
      if (faces_out & face_bit::left) cap(2, konst_of(l) + cap_x(), qsx + c);
      if (faces_out & face_bit::above) cap(3, konst_of(a) + cap_y(), qsy + c);
      if (faces_out & face_bit::outer) cap(4, out_cap, out_face == 1 || out_face == 3 ? qsx + c : qsy + c);
    }
    const double sum = tc[0] + tc[1] + tc[2] + tc[3] + tc[4];
    if (!(sum > 0.0)) {
      if (faces_out & face_bit::right) zero(pass_r);
      if (faces_out & face_bit::below) zero(pass_b);
      if (faces_out & face_bit::left) zero(pass_l);
      if (faces_out & face_bit::above) zero(pass_a);
      return;
    }
    // Faces that can carry the whole load take every class whole between
    // them; else each class gives the same share of itself to each face.
    const bool all = sum >= m;
    const double per = 1.0 / (all ? sum : m);
    auto put = [&](double part, double* pass, double* total, double sign) {
      for (int k = 1; k <= nk; ++k) {
        const double v = s[k] * part;
        pass[k] = v;
        total[k] += sign * v;
      }
    };
    double part = 0.0;  // of each class, all the faces together
    if (faces_out & face_bit::right) {
      part += tc[0] * per;
      put(tc[0] * per, pass_r, face_x + r, 1.0);
    }
    if (faces_out & face_bit::below) {
      part += tc[1] * per;
      put(tc[1] * per, pass_b, face_y + r, 1.0);
    }
    if (faces_out & face_bit::left) {
      part += tc[2] * per;
      put(tc[2] * per, pass_l, face_x + row(l), -1.0);
    }
    if (faces_out & face_bit::above) {
      part += tc[3] * per;
      put(tc[3] * per, pass_a, face_y + row(a), -1.0);
    }
    if (faces_out & face_bit::outer) {
      // Out of the grid; the outer face's row of the step is the outlet's
      // own on the right or lower side, row 0 on the left or upper side
      // (negative).
      const double out_part = tc[4] * per;
      part += out_part;
      const bool x = out_face == 1 || out_face == 3;
      double* total = (x ? face_x : face_y) + (out_face <= 2 ? r : 0);
      const double sign = out_face <= 2 ? 1.0 : -1.0;
      double* out_row = out + r;
      for (int k = 1; k <= nk; ++k) {
        const double v = s[k] * out_part;
        total[k] += sign * v;
        out_row[k] += v;
        out_row[0] += v;
        outlet_books[k] += v;
        outlet_books[0] += v;
      }
    }
    const double per_load = 1.0 / m;
    double* sf = cs.susp_fract;
    double* flux = qsmax ? qsmax + r : nullptr;
    const double per_second = 1.0 / dt;
    for (int k = 1; k <= nk; ++k) {
      const double held = s[k];
      const double gone = held * part;
      sf[k] = held * per_load;
      if (flux) flux[k] += gone * per_second;
      s[k] = all ? 0.0 : std::max(held - gone, 0.0);
    }
  }

  // Pass p of a step of `subs` sub-steps over a range of cells: it takes
  // in what the faces of sub-step p brought each cell (from `in`) and lets
  // it settle, then lifts the share of sub-step p + 1 and gives the cell's
  // load to its faces (into `out`). Pass 0 only gives, the last only
  // takes.
  template <int N>
  void pass(int p, int subs, int first, int last, const double* in_x, const double* in_y, double* out_x,
            double* out_y) const {
    const int nk = N > 0 ? N : n;
    const bool taking = p > 0, giving = p < subs;
    for (int c = first; c <= last; ++c) {
      const double* k_row = konst_of(c);
      if (taking) {
        take<N>(c, in_x, in_y);
        settle<N>(c, k_row);
      }
      if (giving) {
        const unsigned char mask = gives[c];
        detach<N>(c, k_row, mask);
        give<N>(c, mask, out_x, out_y);
      } else if (parent_books) {
        const std::ptrdiff_t r = row(c);
        for (int k = 1; k <= nk; ++k) {
          const double removed = parent_step[r + k] - eroded[r + k];
          parent_books[k] += removed;
          parent_books[0] += removed;
        }
      }
    }
  }
};

}  // namespace

void ov_sediment_step::run(const ov_sed_flow& f, const ov_sed_params& par, ov_sed_cells& sed, ov_sed_books& books,
                           thread_pool& crew, int parts, const ov_sed_lake_wash* lakes) {
  const int n = par.classes.n;
  const double dt = f.dt;
  sd::class_table classes = par.classes;
  for (int k = 1; k <= n; ++k) eh_weight_[k] = sd::engelund_hansen_weight(classes, k);
  classes.eh_weight = eh_weight_.data();

  // The sediment moves in equal sub-steps no longer than the longest, the
  // water held as the step left it: each sub-step lifts, carries across
  // the faces and lets settle its share of the step.
  const double longest = par.longest_substep;
  const int subs = longest > 0.0 && dt > longest ? static_cast<int>(std::ceil(dt / longest - 1e-9)) : 1;

  step_work work;
  work.f = &f;
  work.par = &par;
  work.classes = &classes;
  work.n = n;
  work.w = n + 1;
  work.nb = capacity_parts(par.option);
  work.kw = konst_width(work.nb, n);
  work.option = par.option;
  work.out_face = outlet_face(f);
  work.lake_wash = lakes && f.lake;
  work.share = 1.0 / subs;
  work.dt = dt;
  work.konst = konst_.data();
  work.gives = gives_.data();
  work.takes = takes_.data();
  work.susp = sed.susp.data();
  work.dep = sed.dep.data();
  work.eroded = sed.eroded.data();
  work.lifted = sed.lifted.data();
  work.settled = sed.settled.data();
  work.susp_fract = sed.susp_fract.data();
  work.dep_fract = sed.dep_fract.data();
  work.soil = sed.soil_fract.data();
  work.face_x = face_x_.data();
  work.face_y = face_y_.data();
  work.qsx = sed.qsx.data();
  work.qsy = sed.qsy.data();
  work.qsmax = sed.qsmax ? sed.qsmax.data() : nullptr;
  work.out = sed.out.data();
  work.parent_step = parent_step_.data();
  work.outlet_books = books.outlet.data();
  // The outlet's outer face, which carries the outlet discharge out of
  // the grid.
  double out_cap[5] = {0.0, 0.0, 0.0, 0.0, 0.0};
  if (work.out_face && f.qout > 0.0) {
    const bool x = work.out_face == 1 || work.out_face == 3;
    const face_flow ff = flow_across(f, f.outlet_cell, 0, f.qout, x ? block_side::left : block_side::top,
                                     x ? block_side::right : block_side::bottom);
    const sd::flow_capacity cap = face_capacity(f, par, ff, f.outlet_slope);
    work.out_carries = ff.carries;
    for (int b = 0; b < work.nb; ++b) out_cap[b] = cap.base[b];
  }
  work.out_cap = out_cap;

  // A channel lake's water carries its wash load onto the land at the
  // lake's concentration at the sub-step's start, never more than the lake
  // holds; in cell order, as the lakes are shared.
  const double share = work.share;
  auto lake_out = [&](array2d<double>& pass_x, array2d<double>& pass_y) {
    auto across = [&](int c, int src, double flow, array2d<double>& pass, array2d<double>* faces) {
      double* row = pass[c].data();
      for (int k = 1; k <= n; ++k) row[k] = 0.0;
      const int l = f.lake[src];
      const double water = lakes->water[l];
      for (int j = 1; j <= lakes->n_fine; ++j) {
        const double held = (*lakes->vol)(l, j);
        const double conc = water > sd::tiny ? held / water : 0.0;
        const double v = std::min(conc * std::abs(flow) * dt * share, held);
        if (!(v > 0.0)) continue;
        const int k = lakes->fine_class[j];
        (*lakes->vol)(l, j) -= v;
        (*lakes->to_cells)(l, j) += v;
        row[k] += v;
        books.from_lakes[k] += v;
        books.from_lakes[0] += v;
        if (faces) (*faces)(c, j) += flow >= 0.0 ? v : -v;
        if (sed.qsmax) sed.qsmax(src, k) += v / dt;
      }
    };
    for (int c = 1; c <= f.ncells; ++c) {
      const unsigned char mask = gives_[c];
      if (mask & face_bit::lake_right) across(c, f.qx[c] >= 0.0 ? c : f.rightcon[c], f.qx[c], pass_x, lakes->face_x);
      if (mask & face_bit::lake_below) across(c, f.qy[c] >= 0.0 ? c : f.belowcon[c], f.qy[c], pass_y, lakes->face_y);
    }
  };

  // Stage 0 sets the step up; stage s > 0 is pass s - 1: sub-step s gives
  // in the pass that ends the one before it (after its settling and the
  // lifting of the new sub-step) and takes in the next, the two passes
  // writing and reading alternate tables.
  auto stage = [&](int s, int first, int last) {
    if (s == 0) {
      work.set_up(first, last);
      return;
    }
    const int p = s - 1, now = p & 1, before = now ^ 1;
    const double* in_x = pass_x_[before].data();
    const double* in_y = pass_y_[before].data();
    double* out_x = pass_x_[now].data();
    double* out_y = pass_y_[now].data();
    // The common numbers of classes have their loops laid out.
    switch (n) {
      case 1: work.pass<1>(p, subs, first, last, in_x, in_y, out_x, out_y); break;
      case 2: work.pass<2>(p, subs, first, last, in_x, in_y, out_x, out_y); break;
      case 3: work.pass<3>(p, subs, first, last, in_x, in_y, out_x, out_y); break;
      case 4: work.pass<4>(p, subs, first, last, in_x, in_y, out_x, out_y); break;
      default: work.pass<0>(p, subs, first, last, in_x, in_y, out_x, out_y);
    }
  };
  // The cells' own work runs on the crew only where the grid is large
  // enough to pay for it.
  const int crew_parts = std::max(1, std::min(parts, f.ncells / 2048));
  if (crew_parts == 1) work.parent_books = books.parent.data();
  if (crew_parts > 1 || work.lake_wash) {
    // Every stage over the whole grid, the lakes' wash load after each
    // sub-step's giving.
    for (int s = 0; s <= subs + 1; ++s) {
      for_parts(crew, f.ncells, crew_parts, [&](int first, int last, int) { stage(s, first, last); });
      const int p = s - 1;
      if (work.lake_wash && p >= 0 && p < subs) lake_out(pass_x_[p & 1], pass_y_[p & 1]);
    }
  } else {
    // On one thread the stages follow each other through the grid in
    // blocks of cells one block apart, so each block is worked on while it
    // is at hand: a block wider than the farthest neighbour (the cells are
    // numbered by rows) has its neighbours in the blocks beside it, which
    // the stage before has been through.
    int reach = 1;
    for (int c = 1; c <= f.ncells; ++c)
      for (int nb : {f.rightcon[c], f.belowcon[c], f.leftcon[c], f.abovecon[c]})
        if (nb) reach = std::max(reach, std::abs(nb - c));
    const int block = std::max(reach, 512);
    const int blocks = (f.ncells + block - 1) / block;
    for (int j = 0; j < blocks + subs + 1; ++j)
      for (int s = 0; s <= subs + 1; ++s) {
        const int b = j - s;
        if (b < 0 || b >= blocks) continue;
        stage(s, b * block + 1, std::min(f.ncells, (b + 1) * block));
      }
  }

  // The parent soil removed, summed in cell order.
  if (!work.parent_books)
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
