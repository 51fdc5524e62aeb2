#include "channel/culvert_flow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/errors.h"

namespace nivra {

namespace {

constexpr double two_g = 19.62;
constexpr double g = 9.81;
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

// Discharge of a long barrel whose section has area a and hydraulic radius
// r under the head h: the velocity head and the friction of the barrel
// (n^2 L / R^(4/3), Manning) use up the head.
double long_barrel_flow(double a, double r, double n, double length, double h) {
  if (a <= 1e-12 || r <= 0.0 || h <= 0.0) return 0.0;
  const double friction = n * n * length / std::pow(r, 4.0 / 3.0) + 1.0 / two_g;
  return a * std::sqrt(h / friction);
}

double long_barrel_flow_at(int shape, double d, double w, double n, double length, double depth, double h) {
  const culvert_section s = culvert_section_props(d, depth, w, shape);
  return s.perimeter > 0.0 ? long_barrel_flow(s.area, s.area / s.perimeter, n, length, h) : 0.0;
}

}  // namespace

double culvert_area(int shape, double d, double w, double y) {
  if (shape == culvert_shape::circle) {
    const double r = d * 0.5;
    const double yy = std::clamp(y, 0.0, d);
    const double theta = std::acos((r - yy) / r);
    return r * r * theta - (r - yy) * r * std::sin(theta);
  }
  return y < 0.0 ? 0.0 : w * y;
}

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

bool culvert_critical_depth(int shape, double d, double w, double q, double& yc) {
  if (shape == culvert_shape::box) {
    yc = std::cbrt((q / w) * (q / w) / g);
    return true;
  }
  if (shape == culvert_shape::arch) {
    set_error(123);
    report_error();
    return false;
  }
  const double r = d * 0.5;
  const double target = q / std::sqrt(g);
  double e = 0.001;
  for (int it = 1; it <= 1000; ++it) {
    const double y = r - e;
    const double a = culvert_area(shape, d, w, y);
    const double t = d * std::sin(std::acos(std::fabs(y - r) / r));
    const double s = std::sqrt(r * r - e * e);
    const double f = a * std::sqrt(a / t) - target;
    const double fp = 1.5 * std::sqrt(a) / std::sqrt(t) * (2.0 * e * e - 2.0 * r * r) / s -
                      0.5 * std::pow(a, 1.5) / std::pow(t, 1.5) * (-2.0 * e) / s;
    const double next = std::clamp(e - f / fp, 0.001 - r, r - 0.001);
    if (std::fabs(e - next) <= 1e-8) {
      yc = r - next;
      return true;
    }
    e = next;
  }
  set_error(122);
  report_error();
  return false;
}

double culvert_energy_residual(int shape, double d, double w, double coeff, double head, double q) {
  double yc = 0.0;
  if (!culvert_critical_depth(shape, d, w, q, yc)) return std::nan("");
  const double a = culvert_area(shape, d, w, yc);
  // A critical depth above the head leaves no energy to drive the flow.
  return q - a * coeff * std::sqrt(two_g) * std::sqrt(std::max(head - yc, 0.0));
}

double zbrent(int shape, double d, double w, double coeff, double head, double lo, double hi, double tol,
              int& iterations) {
  constexpr int max_iterations = 100;
  constexpr double eps = 3.0e-8;
  auto f = [&](double q) { return culvert_energy_residual(shape, d, w, coeff, head, q); };
  double a = lo, b = hi, c = hi, dd = 0.0, e = 0.0;
  double fa = f(a), fb = f(b);
  iterations = 0;
  if (std::isnan(fa) || std::isnan(fb)) return culvert_failed;
  if ((fa > 0.0 && fb > 0.0) || (fa < 0.0 && fb < 0.0)) {
    std::printf("Problem in ZBRENT root finder\n");
    std::printf("Root must be bracketed\n");
    return culvert_failed;
  }
  double fc = fb;
  for (int it = 1; it <= max_iterations; ++it) {
    iterations = it;
    if ((fb > 0.0 && fc > 0.0) || (fb < 0.0 && fc < 0.0)) {
      c = a;
      fc = fa;
      e = dd = b - a;
    }
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      b = c;
      c = a;
      fa = fb;
      fb = fc;
      fc = fa;
    }
    const double tol1 = 2.0 * eps * std::fabs(b) + 0.5 * tol;
    const double xm = 0.5 * (c - b);
    if (std::fabs(xm) <= tol1 || fb == 0.0) return b;
    if (std::fabs(e) >= tol1 && std::fabs(fa) > std::fabs(fb)) {
      // Inverse quadratic interpolation, or the secant when a = c.
      const double s = fb / fa;
      double p = 0.0, q = 0.0;
      if (a == c) {
        p = 2.0 * xm * s;
        q = 1.0 - s;
      } else {
        const double qa = fa / fc, r = fb / fc;
        p = s * (2.0 * xm * qa * (qa - r) - (b - a) * (r - 1.0));
        q = (qa - 1.0) * (r - 1.0) * (s - 1.0);
      }
      if (p > 0.0) q = -q;
      p = std::fabs(p);
      const double min1 = 3.0 * xm * q - std::fabs(tol1 * q);
      const double min2 = std::fabs(e * q);
      if (2.0 * p < std::min(min1, min2)) {
        e = dd;
        dd = p / q;
      } else {
        dd = xm;
        e = dd;
      }
    } else {
      dd = xm;
      e = dd;
    }
    a = b;
    fa = fb;
    b += std::fabs(dd) > tol1 ? dd : (xm >= 0.0 ? tol1 : -tol1);
    fb = f(b);
    if (std::isnan(fb)) return culvert_failed;
  }
  std::printf("Maximum number of iterations exceeded in ZBRENT\n");
  return culvert_failed;
}

culvert_result culv_flow(const structure_element& e, int index, double h1, double h2) {
  culvert_result out;
  const int shape = shape_of(e.type);
  const double d = shape == culvert_shape::circle ? e.width : e.height;
  const double w = e.width;
  const double length = e.length;
  const double n = e.rough_coeff;
  const double ci = e.inlet_coeff;
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
  double slope = (zu - zd) / length;
  double hw = h1, tw = h2;
  int sign = 1;
  if (h2 >= h1) {
    std::swap(zu, zd);
    std::swap(hw, tw);
    slope = -slope;
    sign = -1;
  }
  if (zu > hw || zd > hw) return out;

  const bool steep = slope > 0.01;
  const double dh = hw - tw;
  double hd = steep ? hw - zu : hw - zd;
  double r = hd / d;
  double q = 0.0;
  int type = culvert_flow_type::none;

  if (length > 40.0 * d && slope < 0.01) {
    // A long mild barrel: friction controls.
    if (r < 1.5) {
      if (tw > zd && tw < zd + d) {
        q = long_barrel_flow_at(shape, d, w, n, length, ((hw - zu) * 0.7 + (tw - zd)) * 0.5, dh);
        type = culvert_flow_type::partly_submerged;
      }
      if (tw <= zd + 1e-6) {
        q = long_barrel_flow_at(shape, d, w, n, length, (hw - zu) * 0.5, dh);
        type = culvert_flow_type::inlet_mild;
      }
    } else {
      const full_barrel full = full_barrel_of(shape, d, w);
      const double middle = zd + d * 0.5;
      if (tw > middle) {
        q = long_barrel_flow(full.area, full.radius, n, length, dh);
        type = culvert_flow_type::full_submerged;
      } else {
        q = long_barrel_flow(full.area, full.radius, n, length, hw - middle);
        type = culvert_flow_type::outlet_free;
      }
    }
  } else if (r < 1.5 && (zd + 0.7 * (hw - zu) > tw || tw < zd + d)) {
    if (zd + 0.7 * (hw - zu) > tw) {
      // Free outlet: the inlet controls.
      const double h = steep ? hw - zu : hw - zd;
      type = steep ? culvert_flow_type::inlet_steep : culvert_flow_type::inlet_mild;
      if (h < 0.01) {
        type = culvert_flow_type::none;
      } else if (shape == culvert_shape::box) {
        q = ci * w * (2.0 * h / 3.0) * std::sqrt(two_g * h / 3.0);
      } else if (shape == culvert_shape::circle) {
        // The coefficient moves from the barrel's toward the orifice's as
        // the inlet fills.
        const double blend = ci >= 0.01 ? (1.0 - r / 1.5) * c + (r / 1.5) * ci : c;
        if (blend > 0.0) {
          const double q0 = h < d ? culvert_area(shape, d, w, h) * blend * std::sqrt(two_g) * std::sqrt(h / 3.0)
                                  : culvert_area(shape, d, w, d) * blend * std::sqrt(two_g) * std::sqrt(0.4 * h);
          int iterations = 0;
          q = zbrent(shape, d, w, blend, h, 0.0001, q0, 0.0001, iterations);
          if (q == culvert_failed) {
            std::printf("Problem in zbrent (ex_flow_route.c). Hydraulic short culvert routine \n");
            std::printf("The flow cannot be determine in culvert number %d\n", index);
            out.q = culvert_failed;
            return out;
          }
          double yc = 0.0;
          if (!culvert_critical_depth(shape, d, w, q, yc)) {
            out.q = culvert_failed;
            return out;
          }
          out.size = yc;
          out.area = culvert_area(shape, d, w, yc);
        }
      }
      // An arch barrel passes nothing under inlet control.
    } else {
      // The outlet is partly submerged.
      const culvert_section s = culvert_section_props(d, tw - zd, w, shape);
      q = std::sqrt(dh * two_g) * s.area * c;
      type = culvert_flow_type::partly_submerged;
    }
  } else {
    hd = steep ? hw - zu : hw - zd;
    r = hd / d;
    const full_barrel full = full_barrel_of(shape, d, w);
    if (r >= 1.0 && tw - zd >= d) {
      // Full barrel, submerged outlet: entrance, friction and exit losses.
      const double k =
          length > 15.0 ? c * c * two_g * n * n * length / std::pow(full.radius, 4.0 / 3.0) + 1.0 : 1.0;
      q = std::sqrt(dh * 2.0 * g / k) * full.area * c;
      type = culvert_flow_type::full_submerged;
    } else if (r >= 1.5 && tw < zd + d) {
      const double a = full.area * c;
      const double qi = std::sqrt(hw - zu) * a * std::sqrt(two_g);
      const double qo = std::sqrt((hw - zd - d) * two_g) * a;
      if (qo > qi) {
        q = qi;
        type = culvert_flow_type::orifice;
      } else {
        q = qo;
        type = culvert_flow_type::outlet_free;
      }
    }
  }
  out.q = q * sign;
  out.flow_type = type * sign;
  return out;
}

}  // namespace nivra
