#include "channel/culvert_flow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>


namespace nivra {

namespace {

constexpr double two_g = 19.62;
constexpr double pi = 3.1415926;

int shape_of(int type) {
  switch (type) {
    case structure_kind::round_culvert: return culvert_shape::circle;
    case structure_kind::oval_culvert: return culvert_shape::arch;
    default: return culvert_shape::box;
  }
}

// Area and hydraulic radius of the full barrel.
struct full_barrel {
  double area = 0.0, radius = 0.0;
};

full_barrel full_barrel_of(int shape, double d, double w) {
  switch (shape) {
    case culvert_shape::circle: return {pi * d * d / 4.0, d / 4.0};
    case culvert_shape::arch: return {0.788 * w * d, 0.299 * d};
    default: return {w * d, w * d / (2.0 * w + 2.0 * d)};
  }
}

}  // namespace

culvert_section culvert_section_props(double d, double y, double w, int shape) {
  culvert_section s;
  switch (shape) {
    case culvert_shape::circle: {
      if (y < 0.0) return s;
      if (y >= d) return {pi * d * d / 4.0, pi * d, 0.0};
      const double r = d * 0.5;
      const double theta = std::acos((r - y) / r);
      s.area = r * r * theta - (r - y) * r * std::sin(theta);
      s.perimeter = theta * d;
      s.top_width = d * std::sin(theta);
      return s;
    }
    case culvert_shape::arch: {
      if (y <= 0.0) return s;
      const double f = y >= d ? 1.0 : y / d;
      const double f2 = f * f, f3 = f2 * f, f4 = f3 * f;
      s.area = (0.450552317 * f2 + 0.850625935 * f - 0.0265118802 - 0.48046422 * f3) * d * w;
      const double radius = 1.1666329 * f - 0.0382820242 - 1.32389992 * f2 + 1.04200851 * f3 - 0.526837711 * f4;
      s.perimeter = s.area / (radius * d);
      s.top_width = (3.13077957 * f + 0.656758295 - 9.66782176 * f2 + 11.9256017 * f3 - 5.88560436 * f4) * w;
      return s;
    }
    default:
      if (y < 0.0) return {0.0, w, w};
      if (y >= d) return {w * d, 2.0 * d + 2.0 * w, 0.0};
      return {w * y, 2.0 * y + w, w};
  }
}

namespace {

// The unsubmerged inlet: the flow passes critical depth yc at the inlet,
// and the headwater h over the inlet invert supplies its specific energy
// with the entrance coefficient C: yc + A / (2 C^2 T) = h (A and T the
// area and top width at yc), Q = A sqrt(g A / T) = C A sqrt(2g (h - yc)).
// A box keeps the broad crest's closed form, C W (2h/3) sqrt(2g h / 3).
// Valid up to the inlet's crown (h <= D).
double unsubmerged_inlet(int shape, double d, double w, double c, double h, double& yc) {
  if (shape == culvert_shape::box) {
    yc = 2.0 * h / 3.0;
    return c * w * yc * std::sqrt(two_g * h / 3.0);
  }
  // yc + A / (2 C^2 T) rises with yc from 0 and reaches h by yc = h (in
  // a circle it grows without bound toward the crown): regula falsi with
  // the Illinois step keeps the root bracketed, and halves the bracket
  // while one end is unbounded.
  const double k = 1.0 / (2.0 * c * c);
  auto energy = [&](double y) {
    const culvert_section s = culvert_section_props(d, y, w, shape);
    const double a = std::max(s.area, 0.0);
    if (s.top_width > 0.0) return y + k * a / s.top_width - h;
    return a > 0.0 ? std::numeric_limits<double>::infinity() : y - h;
  };
  double lo = 0.0, hi = h, flo = energy(lo), fhi = energy(hi);
  yc = hi;
  if (fhi <= 0.0) {
    yc = hi;
  } else if (flo >= 0.0) {
    yc = lo;
  } else {
    int side = 0;
    for (int it = 0; it < 200 && hi - lo > 1e-12 * d; ++it) {
      const double y = std::isfinite(fhi) ? (lo * fhi - hi * flo) / (fhi - flo) : 0.5 * (lo + hi);
      const double f = energy(y);
      yc = y;
      if (f == 0.0) break;
      if (f > 0.0) {
        hi = y;
        fhi = f;
        if (side == 1) flo *= 0.5;
        side = 1;
      } else {
        lo = y;
        flo = f;
        if (side == -1 && std::isfinite(fhi)) fhi *= 0.5;
        side = -1;
      }
    }
  }
  const double a = std::max(culvert_section_props(d, yc, w, shape).area, 0.0);
  return c * a * std::sqrt(two_g * std::max(h - yc, 0.0));
}

// Inlet control under the head h over the inlet invert: the unsubmerged
// inlet up to the crown, the submerged inlet as an orifice C A sqrt(2g h)
// from 1.5 D, and between the two a straight transition (the way FHWA
// HDS-5 joins its two inlet forms). The orifice at 1.5 D passes more than
// the open inlet at D, so the curve rises everywhere and has no step.
struct inlet_flow {
  double q = 0.0;
  double yc = 0.0;        // critical depth at the inlet while unsubmerged
  bool submerged = false;
};

inlet_flow inlet_control(int shape, double d, double w, double c, double h) {
  inlet_flow in;
  if (h <= 0.0) return in;
  if (h <= d) {
    in.q = unsubmerged_inlet(shape, d, w, c, h, in.yc);
    return in;
  }
  in.submerged = true;
  in.yc = d;
  const double orifice = c * full_barrel_of(shape, d, w).area * std::sqrt(two_g);
  if (h >= 1.5 * d) {
    in.q = orifice * std::sqrt(h);
    return in;
  }
  double yc = 0.0;
  const double at_crown = unsubmerged_inlet(shape, d, w, c, d, yc);
  in.q = at_crown + (orifice * std::sqrt(1.5 * d) - at_crown) * (h - d) / (0.5 * d);
  return in;
}

}  // namespace

culvert_result culv_flow(const structure_element& e, int index, double h1, double h2) {
  culvert_result out;
  const int shape = shape_of(e.type);
  const double d = shape == culvert_shape::circle ? e.width : e.height;
  const double w = e.width;
  const double length = e.length;
  const double n = e.rough_coeff;
  const double c = h1 > h2 ? e.disch_coeff_forward : e.disch_coeff_reverse;
  out.area = d * d * 3.14 * 0.5;
  out.size = d;
  if (length < 0.0001) {
    std::printf("Problem in culv_flow (ex_flow_route.c).  The culvert barrel length\n");
    std::printf("in culvert number %d is 0.0.  This is not possible. Program terminated.\n", index);
    out.q = culvert_failed;
    return out;
  }

  // The inlet is on the headwater's side: with the water higher downstream
  // the inverts change roles and the flow runs backwards.
  double zu = e.upinvert, zd = e.downinvert;
  double hw = h1, tw = h2;
  int sign = 1;
  if (h2 >= h1) {
    std::swap(zu, zd);
    std::swap(hw, tw);
    sign = -1;
  }
  if (zu > hw || zd > hw) return out;
  const bool steep = (zu - zd) / length > 0.01;

  // The barrel passes the lesser of what its inlet admits (inlet control)
  // and what the barrel and its outlet let through (outlet control), as
  // FHWA HDS-5 takes the control that needs the higher headwater. Each
  // rises with the headwater and neither rises with the tailwater, so the
  // rating is continuous and monotone in both.
  const double h = hw - zu;
  const inlet_flow in = inlet_control(shape, d, w, c, h);

  // Outlet control: the energy from the headwater to the outlet's water
  // level (the tailwater, or half the barrel's flow depth over the outlet
  // invert while the tailwater stands lower) drives the entrance, exit and
  // friction losses of the barrel flowing at the inlet's depth y:
  // Q = C A(y) sqrt(2g dH / K), K = 1 + C^2 2g n^2 L / R^(4/3) beyond 15 m.
  // R never exceeds the full barrel's, so K does not rise as the barrel
  // fills and the discharge never falls.
  const double y = std::min(h, d);
  const full_barrel full = full_barrel_of(shape, d, w);
  const culvert_section s = culvert_section_props(d, y, w, shape);
  const double a = std::max(s.area, 0.0);
  const double free_level = zd + 0.5 * y;
  const double drop = hw - std::max(tw, free_level);
  double q_out = 0.0;
  if (a > 0.0 && drop > 0.0) {
    double k = 1.0;
    if (length > 15.0) {
      const double r = s.perimeter > 0.0 ? std::min(a / s.perimeter, full.radius) : 0.0;
      k = r > 0.0 ? c * c * two_g * n * n * length / std::pow(r, 4.0 / 3.0) + 1.0 : 0.0;
    }
    if (k > 0.0) q_out = c * a * std::sqrt(two_g * drop / k);
  }

  double q = 0.0;
  int type = culvert_flow_type::none;
  if (in.q <= q_out) {
    q = in.q;
    if (q > 0.0) {
      type = in.submerged ? culvert_flow_type::orifice
                          : (steep ? culvert_flow_type::inlet_steep : culvert_flow_type::inlet_mild);
      if (!in.submerged) {
        out.size = in.yc;
        out.area = std::max(culvert_section_props(d, in.yc, w, shape).area, 0.0);
      }
    }
  } else {
    q = q_out;
    if (q > 0.0) {
      if (tw >= zd + d && h >= d) type = culvert_flow_type::full_submerged;
      else if (tw > free_level) type = culvert_flow_type::partly_submerged;
      else type = culvert_flow_type::outlet_free;
    }
  }
  out.q = q * sign;
  out.flow_type = type * sign;
  return out;
}

}  // namespace nivra
