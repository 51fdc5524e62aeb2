#include "pipe/pipe_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "pipe/pipe_state.h"

namespace nivra {

namespace {

constexpr double pi = std::numbers::pi;

// Dimensionless arch section at h = depth / rise: area over rise x span,
// hydraulic radius over rise, top width over span.
double arch_area(double h) { return 0.450552317 * h * h + 0.850625935 * h - 0.0265118802 - 0.48046422 * h * h * h; }
double arch_radius(double h) {
  return 1.1666329 * h - 0.0382820242 - 1.32389992 * h * h + 1.04200851 * h * h * h - 0.526837711 * h * h * h * h;
}
double arch_top(double h) {
  return 3.13077957 * h + 0.656758295 - 9.66782176 * h * h + 11.9256017 * h * h * h - 5.88560436 * h * h * h * h;
}

void print_arch(const char* routine) {
  std::printf("arch culverts not yet supported in subroutine %s() \nprogram terminated\n", routine);
}

// Conveyance (1/n) A R^(2/3) sqrt(S) and its derivative with depth.
struct conveyance {
  double k = 0.0, dk = 0.0;
};

conveyance circle_conveyance(double d, double y, double root_s_n) {
  const double r = 0.5 * d;
  const double theta = std::acos(std::clamp((r - y) / r, -1.0, 1.0));
  const double sin_t = std::sin(theta);
  const double a = r * r * theta - (r - y) * r * sin_t;
  const double p = theta * d;
  const double t = d * sin_t;
  conveyance c;
  if (a <= 0.0 || p <= 0.0) return c;
  const double rh = a / p;
  const double dp = sin_t > 1e-12 ? 2.0 / sin_t : 0.0;
  const double drh = t / p - a * dp / (p * p);
  const double r23 = std::cbrt(rh * rh);
  c.k = root_s_n * a * r23;
  c.dk = root_s_n * (r23 * t + (2.0 / 3.0) * a * r23 / rh * drh);
  return c;
}

conveyance box_conveyance(double w, double y, double root_s_n) {
  conveyance c;
  if (y <= 0.0) return c;
  const double a = y * w, p = 2.0 * y + w;
  const double rh = a / p;
  const double drh = w / p - 2.0 * a / (p * p);
  const double r23 = std::cbrt(rh * rh);
  c.k = root_s_n * a * r23;
  c.dk = root_s_n * (r23 * w + (2.0 / 3.0) * a * r23 / rh * drh);
  return c;
}

}  // namespace

pipe_section_props pipe_section_geometry(double diameter, double depth, double width, int type) {
  pipe_section_props g;
  const double d = diameter, y = depth;
  switch (type) {
    case pipe_section::circular: {
      if (y < 0.0) return g;
      if (y >= d) {
        g.wet_per = pi * d;
        g.area = pi * d * d * 0.25;
        return g;
      }
      const double r = 0.5 * d;
      const double theta = std::acos((r - y) / r);
      // sin(theta) of the half angle from the depth: the half width over r.
      const double s = std::sqrt(y * (d - y)) / r;
      g.top_width = d * s;
      g.wet_per = theta * d;
      g.area = r * r * theta - (r - y) * r * s;
      return g;
    }
    case pipe_section::arch: {
      if (y <= 0.0) return g;
      const double h = d > y ? y / d : 1.0;
      g.top_width = arch_top(h) * width;
      g.area = arch_area(h) * d * width;
      g.wet_per = g.area / (arch_radius(h) * d);
      return g;
    }
    case pipe_section::rectangular:
      if (y < 0.0) {
        g.top_width = g.wet_per = width;
        return g;
      }
      if (y >= d) {
        g.wet_per = 2.0 * d + 2.0 * width;
        g.area = d * width;
        return g;
      }
      g.top_width = width;
      g.wet_per = 2.0 * y + width;
      g.area = y * width;
      return g;
    default:
      return g;
  }
}

double pipe_flow_area(int type, double diameter, double width, double depth) {
  if (type == pipe_section::rectangular) return width * depth;
  const double r = 0.5 * diameter;
  const double theta = std::acos(std::clamp((r - depth) / r, -1.0, 1.0));
  return r * r * theta - std::sin(theta) * (r - depth) * r;
}

pipe_depth superlink_crit_calc(int type, double diameter, double width, double flow) {
  pipe_depth out;
  flow = std::fabs(flow);
  if (type == pipe_section::rectangular) {
    const double q = flow / width;
    out.depth = std::cbrt(q * q / gravity);
    // y = (q^2 / g)^(1/3): dy/dQ = 2 y / (3 Q).
    out.per_flow = flow > 0.0 ? 2.0 * out.depth / (3.0 * flow) : 0.0;
    return out;
  }
  if (type == pipe_section::arch) {
    print_arch("superlink_crit_calc");
    out.status = pipe_depth_status::arch_unsupported;
    return out;
  }
  // The water surface z below the centre (depth r - z).
  const double d = diameter, r = 0.5 * d;
  const double target = flow / std::sqrt(gravity);
  double z = 0.001;
  for (int count = 1; count <= 10000; ++count) {
    const double a = pipe_flow_area(pipe_section::circular, d, width, r - z);
    const double s = std::sqrt(std::max(r * r - z * z, 0.0));
    const double t = 2.0 * s;
    const double f = std::sqrt(a / t) * a - target;
    const double df = 1.5 * std::sqrt(a / t) * (-2.0 * s) - 0.5 * std::pow(a / t, 1.5) * (-2.0 * z) / s;
    double next = z - f / df;
    if (!std::isfinite(next)) break;
    if (next < -r) next = 0.001 - r;
    if (next > r) next = r - 0.001;
    const bool settled = std::fabs(z - next) <= 1e-8;
    z = next;
    if (settled) {
      out.depth = r - z;
      // Q = sqrt(g) A sqrt(A / T): dQ/dy = sqrt(g) sqrt(A / T) (1.5 T - 0.5 A T' / T),
      // T' = dT/dy = 2 z / s of the circle (s the half width).
      const double a = pipe_flow_area(pipe_section::circular, d, width, r - z);
      const double s = std::sqrt(std::max(r * r - z * z, 0.0));
      if (a > 0.0 && s > 0.0) {
        const double t = 2.0 * s;
        const double dq = std::sqrt(gravity * a / t) * (1.5 * t - 0.5 * a * (2.0 * z / s) / t);
        out.per_flow = dq > 0.0 ? 1.0 / dq : 0.0;
      }
      return out;
    }
  }
  std::printf("no convergence in culvert critical depth routine\nprogram terminated.\n");
  out.status = pipe_depth_status::not_converged;
  return out;
}

bool critical_depth_below(int type, double diameter, double flow, double depth) {
  if (type != pipe_section::circular || !(depth > 0.0 && depth < diameter - 0.001)) return false;
  const pipe_section_props g = pipe_section_geometry(diameter, depth, 0.0, type);
  if (!(g.area > 0.0 && g.top_width > 0.0)) return false;
  return g.area * std::sqrt(g.area / g.top_width) >= (1.0 + 1e-9) * std::fabs(flow) / std::sqrt(gravity);
}

pipe_depth superlink_norm_calc(int type, double diameter, double width, double manning_n, double flow,
                               double slope) {
  pipe_depth out;
  flow = std::fabs(flow);
  slope = std::fabs(slope);
  if (type == pipe_section::arch) {
    print_arch("superlink_norm_calc");
    out.status = pipe_depth_status::arch_unsupported;
    return out;
  }
  const double d = diameter;
  // A flat bed carries no uniform flow: the pipe flows full.
  if (slope < 1e-12) {
    out.depth = d;
    return out;
  }
  const double root_s_n = std::sqrt(slope) / manning_n;
  const bool circle = type == pipe_section::circular;
  double y = circle ? 0.25 * d : 0.5 * d;
  const int most = circle ? 1000 : 250;
  for (int count = 1; count <= most; ++count) {
    const conveyance c = circle ? circle_conveyance(d, y, root_s_n) : box_conveyance(width, y, root_s_n);
    double next = c.dk > 0.0 ? y + (flow - c.k) / c.dk : 0.5 * y;
    if (!std::isfinite(next)) break;
    if (next >= d) {
      // Full when the pipe cannot carry the flow below its crown; else the
      // step overshot: halve the way to the crown.
      const conveyance full = circle ? circle_conveyance(d, d, root_s_n) : box_conveyance(width, d, root_s_n);
      if (full.k <= flow) {
        out.depth = d;
        return out;
      }
      next = 0.5 * (y + d);
    }
    if (next <= 0.0) next = 0.5 * y;  // a step below the invert halves the depth instead
    const bool settled = std::fabs(next - y) <= 1e-8;
    y = next;
    if (settled) {
      out.depth = y;
      const conveyance at = circle ? circle_conveyance(d, y, root_s_n) : box_conveyance(width, y, root_s_n);
      out.per_flow = at.dk > 0.0 ? 1.0 / at.dk : 0.0;
      return out;
    }
  }
  std::printf(circle ? "no convergence in culvert normal depth routine\nprogram terminated.\n"
                     : "WARNING NO CONVERGENCE IN NORMCALC!!!\nAFTER 250 ITERATIONS.  PROGRAM WILL\n"
                       "FAIL.  CHECK OUTLET SLOPE.  MUST BE\nPOSITIVE AND SUBCRITICAL.\n");
  out.status = pipe_depth_status::not_converged;
  return out;
}

}  // namespace nivra
