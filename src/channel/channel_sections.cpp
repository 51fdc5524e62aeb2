#include "channel/channel_sections.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/errors.h"

namespace nivra {

namespace {

enum class section_kind { none, trapezoid, breakpoint, floodplain };

section_kind kind_of(int type) {
  if (type & link_type::floodplain) return section_kind::floodplain;
  if (type & link_type::breakpoint) return section_kind::breakpoint;
  if (type & link_type::trapezoid) return section_kind::trapezoid;
  return section_kind::none;
}

// The cube root of x >= 0 to a few units in the last place, about twice
// as fast as the library's: a first guess from the exponent bits (a third
// of the exponent), then three Halley steps, each tripling the correct
// digits. Zero and numbers too small for the bit guess go to the library.
inline double cube_root(double x) {
  if (!(x > 1e-290)) return std::cbrt(x);
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  bits = bits / 3 + 0x2A9F7893782DA1CEull;
  double y;
  std::memcpy(&y, &bits, sizeof y);
  for (int k = 0; k < 3; ++k) {
    const double y3 = y * y * y;
    y *= (y3 + 2.0 * x) / (2.0 * y3 + x);
  }
  return y;
}

// x^(2/3) and x^(5/3) for x >= 0.
inline double pow23(double x) { return cube_root(x * x); }
inline double pow53(double x) { return x * cube_root(x * x); }

// Areas this close below zero are rounding of the volume balance.
constexpr double area_rounding = -0.0001;

// ---- From the depth.

void trapezoid_at_depth(double b, double z, double inv_n, double y, section_props& p) {
  p.topw = 2.0 * z * y + b;
  if (y <= 0.0) {
    p.area = p.conv = p.dconv = 0.0;
    return;
  }
  const double side = std::sqrt(z * z + 1.0);
  const double per = 2.0 * y * side + b;
  const double a = (z * y + b) * y;
  p.area = a;
  p.conv = pow23(a / per) * a * inv_n;
  p.dconv = (pow23(a) * (5.0 / 3.0) / pow23(per) * p.topw - pow53(a) * (2.0 / 3.0) / pow53(per) * 2.0 * side) * inv_n;
}

void floodplain_at_depth(double b, double z1, double z2, double ybf, double inv_n, double y, section_props& p) {
  if (y <= 0.0) {
    p.topw = b;
    p.area = p.conv = p.dconv = 0.0;
    return;
  }
  const double side1 = std::sqrt(z1 * z1 + 1.0);
  double a, per;
  if (y <= ybf) {
    p.topw = 2.0 * z1 * y + b;
    per = 2.0 * y * side1 + b;
    a = (z1 * y + b) * y;
    const double r = a / per;
    p.dconv = (std::pow(r, 0.6666667) * p.topw * 1.66667 - side1 * 1.33333 * std::pow(r, 1.6666667)) * inv_n;
  } else {
    const double ya = y - ybf;
    const double tbf = 2.0 * z1 * ybf + b;
    const double side2 = std::sqrt(z2 * z2 + 1.0);
    p.topw = tbf + 2.0 * z2 * ya;
    per = 2.0 * ybf * side1 + b + 2.0 * ya * side2;
    a = (tbf + p.topw) / 2.0 * ya + (z1 * ybf + b) * ybf;
    const double r = a / per;
    p.dconv = std::pow(r, 0.6666667) * (5.0 / 3.0) * inv_n * p.topw -
              std::pow(r, 1.6666667) * (4.0 / 3.0) * inv_n * side2;
  }
  p.area = a;
  p.conv = std::pow(a, 1.666667) * inv_n / std::pow(per, 0.666667);
}

// One step of table t: the values of levels i and i + 1.
struct table_rows {
  const double* area;
  const double* topw;
  const double* conv;
  double h;  // level spacing
  int n;     // last level
};

table_rows rows_of(const channel_state& ch, int t) {
  return {ch.xarea.column(t), ch.xtw.column(t), ch.xk.column(t), ch.ht_spc[t], ch.numhts[t]};
}

void breakpoint_at_depth(const table_rows& r, double y, section_props& p, bool& exceeded) {
  const double h = r.h;
  const int n = r.n;
  if (y < h) {
    const double f = std::pow(y / h, 5.0 / 3.0);
    p.area = r.area[1] * f;
    p.topw = r.topw[1] * f;
    p.conv = r.conv[1] * f;
    p.dconv = r.conv[1] / std::pow(h, 5.0 / 3.0) * pow23(y);
    return;
  }
  if (y > n * h) {
    exceeded = true;
    const double over = (y - n * h) / h;
    p.area = r.area[n] + over * (r.area[n] - r.area[n - 1]);
    p.topw = r.topw[n] + over * (r.topw[n] - r.topw[n - 1]);
    p.conv = r.conv[n] + over * (r.conv[n] - r.conv[n - 1]);
    p.dconv = (r.conv[n] - r.conv[n - 1]) / h;
    return;
  }
  int i = static_cast<int>(y / h);
  if (i > n - 1) i = n - 1;
  const double f = (y - i * h) / h;
  p.area = r.area[i] + f * (r.area[i + 1] - r.area[i]);
  p.topw = r.topw[i] + f * (r.topw[i + 1] - r.topw[i]);
  p.conv = r.conv[i] + f * (r.conv[i + 1] - r.conv[i]);
  p.dconv = (r.conv[i + 1] - r.conv[i]) / h;
}

// ---- From the area.

// Depth of a trapezoid (a rectangle when z is 0) holding area a >= 0.
inline double trapezoid_depth(double b, double z, double a) {
  if (z > 0.0) return (std::sqrt(4.0 * z * a + b * b) - b) / (2.0 * z);
  return b > 0.0 ? a / b : 0.0;
}

// The last level j in 1..n - 1 with area(j) <= a (0 when n is 1): the
// table's areas grow with the level.
int level_below(const double* area, int n, double a) {
  int lo = 1, hi = n - 1;
  if (hi < lo) return n - 1;
  if (area[lo] > a) return lo;
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    if (area[mid] <= a)
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

void breakpoint_at_area(const table_rows& r, double a, double& y, double& conv, bool& exceeded) {
  const double h = r.h;
  const int n = r.n;
  if (a == 0.0) {
    y = conv = 0.0;
  } else if (a < r.area[1]) {
    y = h * std::pow(a / r.area[1], 0.6);
    conv = r.conv[1] / std::pow(h, 5.0 / 3.0) * pow53(y);
  } else if (a > r.area[n]) {
    const double step = r.area[n] - r.area[n - 1];
    y = n * h + (step > 0.0 ? (a - r.area[n]) * h / step : 0.0);
    conv = r.conv[n] + (y - n * h) * (r.conv[n] - r.conv[n - 1]) / h;
    exceeded = true;
  } else {
    const int j = level_below(r.area, n, a);
    const double step = r.area[j + 1] - r.area[j];
    y = j * h + (step > 0.0 ? (a - r.area[j]) * h / step : 0.0);
    conv = r.conv[j] + (r.conv[j + 1] - r.conv[j]) / h * (y - j * h);
  }
}

section_status floodplain_at_area(double b, double z1, double z2, double ybf, double inv_n, double a, double& y,
                                  double& conv) {
  using s = section_status;
  if (a == 0.0) {
    y = conv = 0.0;
    return s::ok;
  }
  const double abf = (z1 * ybf + b) * ybf;
  const double side1 = std::sqrt(z1 * z1 + 1.0);
  if (a <= abf) {
    if (z1 > 0.0 && 4.0 * z1 * a + b * b < 0.0) return s::floodplain_root_below_bank;
    y = trapezoid_depth(b, z1, a);
    if (y < 0.0) return s::floodplain_depth_below_bank;
    conv = pow53(a) * inv_n / pow23(2.0 * y * side1 + b);
    return s::ok;
  }
  const double aex = a - abf;
  const double tbf = 2.0 * z1 * ybf + b;
  if (z2 > 0.0 && 4.0 * z2 * aex + tbf * tbf < 0.0) return s::floodplain_root_above_bank;
  const double yabf = trapezoid_depth(tbf, z2, aex);
  if (yabf < 0.0) return s::floodplain_negative_excess;
  y = ybf + yabf;
  if (y < 0.0) return s::floodplain_depth_above_bank;
  conv = pow53(a) * inv_n / pow23(2.0 * ybf * side1 + b + 2.0 * yabf * std::sqrt(z2 * z2 + 1.0));
  return s::ok;
}

bool table_known(const channel_state& ch, int t) { return t >= 1 && t <= ch.num_xsec_tables; }

}  // namespace

void print_section_fault(section_status s, int node, int link) {
  using st = section_status;
  switch (s) {
    case st::ok: return;
    case st::trapezoid_negative_depth:
      std::printf("In ex_section.c - 1\nprogram stopped for negative depth, node %d, link %d\n", node, link);
      return;
    case st::breakpoint_negative_depth:
      std::printf("In ex_section.c - 3\nprogram stopped for negative depth, node %d, link %d\n", node, link);
      return;
    case st::floodplain_negative_depth:
      std::printf("In ex_section.c - 4\nprogram stopped for negative depth, node %d, link %d\n", node, link);
      return;
    case st::no_table:
      std::fprintf(stderr, "Error in section: Request for table beyond max. table number.\n");
      return;
    case st::trapezoid_negative_area:
      std::printf("In ex_section.c - 1\nprogram stopped for negative area, node %d, link %d\n", node, link);
      return;
    case st::breakpoint_negative_area:
      std::printf("In ex_section.c - 4\nprogram stopped for negative area, node %d, link %d\n", node, link);
      return;
    case st::floodplain_negative_area:
      std::printf("In ex_section.c - 5\nstopped for negative area, node %d, link %d\n", node, link);
      return;
    case st::floodplain_root_below_bank:
      std::printf("in ex_section.c - 1, negative square root at:\nlink %d node %d.  Program stopped.\n", link, node);
      return;
    case st::floodplain_depth_below_bank:
      std::printf("in ex_section - 2, negative depth at:\nlink %d node %d.  Program stopped.\n", link, node);
      return;
    case st::floodplain_root_above_bank:
      std::printf("in ex_section.c - 3, negative square root at:\nlink %d node %d.  Program stopped.\n", link, node);
      return;
    case st::floodplain_negative_excess:
      std::printf("in ex_section - 4, negative yabf at:\nlink %d node %d\n", link, node);
      return;
    case st::floodplain_depth_above_bank:
      std::printf("in ex_section - 4, negative depth at:\nlink %d node %d.  Program stopped.\n", link, node);
      return;
  }
}

section_status section_at_depth(const channel_state& ch, int link, int node, double y, section_props& p,
                                bool& exceeded) {
  using st = section_status;
  const double inv_n = ch.inv_mannings_n[link];
  const int g = ch.ldex[link];
  switch (kind_of(ch.ltype[link])) {
    case section_kind::trapezoid:
      if (y < 0.0) return st::trapezoid_negative_depth;
      trapezoid_at_depth(ch.bottom(node, g), ch.sslope(node, g), inv_n, y, p);
      return st::ok;
    case section_kind::breakpoint: {
      if (y < 0.0) return st::breakpoint_negative_depth;
      const int t = ch.table_num(node, link);
      if (!table_known(ch, t)) return st::no_table;
      breakpoint_at_depth(rows_of(ch, t), y, p, exceeded);
      return st::ok;
    }
    case section_kind::floodplain:
      if (y < 0.0) return st::floodplain_negative_depth;
      floodplain_at_depth(ch.bottom(node, g), ch.sslope(node, g), ch.sslope2(node, g), ch.bankfull_dep(node, g),
                          inv_n, y, p);
      return st::ok;
    case section_kind::none: break;
  }
  p = section_props{};
  return st::ok;
}

section_status top_width_at_depth(const channel_state& ch, int link, int node, double y, double& topw,
                                  bool& exceeded) {
  if (kind_of(ch.ltype[link]) == section_kind::trapezoid) {
    if (y < 0.0) return section_status::trapezoid_negative_depth;
    const int g = ch.ldex[link];
    topw = 2.0 * ch.sslope(node, g) * y + ch.bottom(node, g);
    return section_status::ok;
  }
  section_props p;
  const section_status s = section_at_depth(ch, link, node, y, p, exceeded);
  topw = p.topw;
  return s;
}

section_status depth_at_area(const channel_state& ch, int link, int node, double& a, double& y, double& conv,
                             bool& exceeded) {
  using st = section_status;
  const section_kind kind = kind_of(ch.ltype[link]);
  if (a < 0.0) {
    if (a <= area_rounding) {
      switch (kind) {
        case section_kind::trapezoid: return st::trapezoid_negative_area;
        case section_kind::breakpoint: return st::breakpoint_negative_area;
        case section_kind::floodplain: return st::floodplain_negative_area;
        case section_kind::none: break;
      }
    }
    a = 0.0;
  }
  const double inv_n = ch.inv_mannings_n[link];
  const int g = ch.ldex[link];
  switch (kind) {
    case section_kind::trapezoid: {
      const double b = ch.bottom(node, g), z = ch.sslope(node, g);
      y = a > 0.0 ? trapezoid_depth(b, z, a) : 0.0;
      if (y < 0.0) y = 0.0;
      conv = y > 0.0 ? pow23(a / (2.0 * y * std::sqrt(z * z + 1.0) + b)) * a * inv_n : 0.0;
      return st::ok;
    }
    case section_kind::breakpoint: {
      const int t = ch.table_num(node, link);
      if (!table_known(ch, t)) return st::no_table;
      breakpoint_at_area(rows_of(ch, t), a, y, conv, exceeded);
      return st::ok;
    }
    case section_kind::floodplain:
      return floodplain_at_area(ch.bottom(node, g), ch.sslope(node, g), ch.sslope2(node, g), ch.bankfull_dep(node, g),
                                inv_n, a, y, conv);
    case section_kind::none: break;
  }
  y = conv = 0.0;
  return st::ok;
}

namespace {

bool stop_at(section_status s, int node, int link) {
  print_section_fault(s, node, link);
  set_error(own_message_code);
  report_error();
  return false;
}

}  // namespace

bool ex_section(channel_state& ch, section_mode mode) {
  if (mode == section_mode::from_area) return ex_section(ch, ch.area);
  bool exceeded = false;
  for (int link = 1; link <= ch.num_stream_links; ++link) {
    if (kind_of(ch.ltype[link]) == section_kind::none) continue;
    const auto yp = ch.yp.column(link);
    const auto bel = ch.bel.column(link);
    auto area = ch.area.column(link);
    auto topw = ch.topw.column(link);
    auto conv = ch.conv.column(link);
    auto dconv = ch.dconv.column(link);
    for (int node = 1; node <= ch.nx[link]; ++node) {
      section_props p;
      const section_status s = section_at_depth(ch, link, node, yp[node] - bel[node], p, exceeded);
      if (s != section_status::ok) return stop_at(s, node, link);
      area[node] = p.area;
      topw[node] = p.topw;
      conv[node] = p.conv;
      dconv[node] = p.dconv;
    }
  }
  if (exceeded) ch.xsec_table_exceeded = 1;
  return true;
}

bool ex_section(channel_state& ch, node_array<double>& areas) {
  bool exceeded = false;
  for (int link = 1; link <= ch.num_stream_links; ++link) {
    if (kind_of(ch.ltype[link]) == section_kind::none) continue;
    auto area = areas.column(link);
    auto depth = ch.chan_depth.column(link);
    auto yp = ch.yp.column(link);
    auto conv = ch.conv.column(link);
    const auto bel = ch.bel.column(link);
    for (int node = 1; node <= ch.nx[link]; ++node) {
      double y = 0.0, k = 0.0;
      const section_status s = depth_at_area(ch, link, node, area[node], y, k, exceeded);
      if (s != section_status::ok) return stop_at(s, node, link);
      depth[node] = y;
      yp[node] = bel[node] + y;
      conv[node] = k;
    }
  }
  if (exceeded) ch.xsec_table_exceeded = 1;
  return true;
}

bool node_section_from_depth(channel_state& ch, int link, int node) {
  bool exceeded = false;
  section_props p;
  const section_status s = section_at_depth(ch, link, node, ch.yp(node, link) - ch.bel(node, link), p, exceeded);
  if (s != section_status::ok) return stop_at(s, node, link);
  ch.area(node, link) = p.area;
  ch.topw(node, link) = p.topw;
  ch.conv(node, link) = p.conv;
  ch.dconv(node, link) = p.dconv;
  if (exceeded) ch.xsec_table_exceeded = 1;
  return true;
}

}  // namespace nivra
