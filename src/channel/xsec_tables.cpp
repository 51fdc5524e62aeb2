#include "channel/xsec_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "channel/channel_state.h"

namespace nivra {

namespace {

// The points of a section after the first `n`, and the points a node
// between two sections gets: each point's x and z interpolated by node
// number between the two sections.
struct points {
  std::vector<double> x, z;
};

points interpolate_between(const bp_section& a, const bp_section& b, int node, int n) {
  const double w = static_cast<double>(node - a.node) / static_cast<double>(b.node - a.node);
  points p;
  p.x.resize(n);
  p.z.resize(n);
  for (int i = 0; i < n; ++i) {
    p.x[i] = a.x[i] + w * (b.x[i] - a.x[i]);
    p.z[i] = a.z[i] + w * (b.z[i] - a.z[i]);
  }
  return p;
}

// The points of node k: those of the section it carries, of the first
// section above the first section node, of the last below the last, and
// interpolated between the two sections around it otherwise.
points node_points(const std::vector<bp_section>& s, int k, int n) {
  const bp_section* own = nullptr;
  if (k <= s.front().node) own = &s.front();
  if (k >= s.back().node) own = &s.back();
  for (const bp_section& sec : s)
    if (sec.node == k) own = &sec;
  if (own) return points{std::vector<double>(own->x.begin(), own->x.begin() + n),
                         std::vector<double>(own->z.begin(), own->z.begin() + n)};
  std::size_t j = 0;
  while (j + 1 < s.size() && s[j + 1].node < k) ++j;
  return interpolate_between(s[j], s[j + 1], k, n);
}

// The section again at np evenly spaced points from its first x to its
// last, the bed between the given points taken linearly.
void resample(bp_section& sec, int np) {
  const int n = static_cast<int>(sec.x.size());
  std::vector<double> x(np), z(np);
  const double x0 = sec.x.front(), x1 = sec.x.back();
  int j = 0;
  for (int p = 0; p < np; ++p) {
    const double xs = p == np - 1 ? x1 : x0 + (x1 - x0) * p / (np - 1);
    while (j + 2 < n && sec.x[j + 1] < xs) ++j;
    const double dx = sec.x[j + 1] - sec.x[j];
    const double w = dx > 0.0 ? std::clamp((xs - sec.x[j]) / dx, 0.0, 1.0) : 1.0;
    x[p] = xs;
    z[p] = sec.z[j] + w * (sec.z[j + 1] - sec.z[j]);
  }
  z.front() = sec.z.front();
  z.back() = sec.z.back();
  sec.x = std::move(x);
  sec.z = std::move(z);
}

}  // namespace

section_level section_at_level(const double* x, const double* z, int n, double h) {
  section_level s;
  if (n < 1) return s;
  if (z[0] <= h) s.stretches = 1;
  for (int k = 1; k < n; ++k) {
    const double x0 = x[k - 1], x1 = x[k], z0 = z[k - 1], z1 = z[k];
    const double dx = x1 - x0;
    if (z0 <= h && z1 <= h) {
      // The whole segment lies under water: a trapezoid of water above it.
      s.area += ((h - z0) + (h - z1)) * dx * 0.5;
      s.perimeter += std::hypot(dx, z1 - z0);
      s.top_width += dx;
    } else if (z0 <= h) {
      // The bed rises out of the water: a triangle up to the crossing.
      const double w = dx * (h - z0) / (z1 - z0);
      s.area += w * (h - z0) * 0.5;
      s.perimeter += std::hypot(w, h - z0);
      s.top_width += w;
    } else if (z1 <= h) {
      // The bed drops into the water: a new stretch starts at the crossing.
      const double w = dx * (h - z1) / (z0 - z1);
      s.area += w * (h - z1) * 0.5;
      s.perimeter += std::hypot(w, h - z1);
      s.top_width += w;
      ++s.stretches;
    }
  }
  return s;
}

void print_jagged_section(int link) {
  std::printf("There is a serious problem with a channel cross-section in\n"
              "link %d.  The cross-section interpolation routine has found\n"
              "that this cross-section is very jagged, with over 50 'islands'\n"
              "for certain depths.  Calculating cross-section properties in\n"
              "this case is very dubious.  Check your cross section, smooth\n"
              "it if necessary and try again.\n",
              link);
}

bool interpolate_xsec(channel_state& ch, int link, int table, int t, const double* x, const double* z, int n,
                      int levels) {
  if (levels < 1 || levels > max_xsec_levels) {
    std::printf("\n\nError: The number of interpolation points [%d] for table %d in link %d is invalid. (Range is "
                "1-30000.) \n",
                levels, table, link);
    return false;
  }
  const auto [lo, hi] = std::minmax_element(z, z + n);
  const double zmin = *lo;
  const double spacing = (*hi - zmin) / levels;
  if (!(spacing >= min_level_spacing && spacing <= max_level_spacing)) {
    std::printf("\n\nError: The interpolation distance [%6.5lf] produced by the number of interpolation points "
                "[%d]\nfor table %d in link %d is invalid. (Range is 0.0001 to 1.0)\n",
                spacing, levels, table, link);
    return false;
  }
  ch.numpairs[t] = n;
  ch.numhts[t] = levels;
  ch.ht_spc[t] = spacing;
  const double inv_n = ch.inv_mannings_n[link];
  for (int i = 1; i <= levels; ++i) {
    const section_level s = section_at_level(x, z, n, zmin + i * spacing);
    if (s.stretches >= max_wet_stretches) {
      print_jagged_section(link);
      return false;
    }
    ch.xarea(i, t) = s.area;
    ch.xtw(i, t) = s.top_width;
    ch.xp(i, t) = s.perimeter;
    ch.xk(i, t) = s.perimeter > 0.0 ? s.area * std::pow(s.area / s.perimeter, 2.0 / 3.0) * inv_n : 0.0;
  }
  return true;
}

int xsec_tables_needed(bool erodible, int nx, const std::vector<int>& section_nodes) {
  if (section_nodes.empty()) return 0;
  if (erodible) return nx;
  if (section_nodes.size() == 1) return 1;
  return 1 + std::max(0, std::min(section_nodes.back(), nx) - section_nodes.front());
}

bool pair_breakpoint_xsecs(channel_state& ch, int link, std::vector<bp_section>& s, int& counter) {
  const int nx = ch.nx1[link] - 1;
  int table = 0;  // tables of this link, for the messages
  auto fill = [&](int t, const points& p, int levels) {
    return interpolate_xsec(ch, link, ++table, t, p.x.data(), p.z.data(), static_cast<int>(p.x.size()), levels);
  };

  if (ch.ltype[link] & link_type::erodible) {
    // Every node keeps its own section, at the points and levels of the
    // first, for the bed to change node by node.
    const int np = static_cast<int>(s.front().x.size());
    const int levels = s.front().levels;
    const int e = ch.bplink[link];
    for (bp_section& sec : s) resample(sec, np);
    for (int k = 1; k <= nx; ++k) {
      const points p = node_points(s, k, np);
      const int t = ++counter;
      ch.table_num(k, link) = t;
      for (int i = 0; i < np; ++i) {
        ch.xbp_lnn(e, k, i + 1) = p.x[i];
        ch.ybp_lnn(e, k, i + 1) = p.z[i];
      }
      if (!fill(t, p, levels)) return false;
    }
    return true;
  }

  if (s.size() == 1) {
    const int t = ++counter;
    const int n = static_cast<int>(s.front().x.size());
    if (!fill(t, node_points(s, s.front().node, n), s.front().levels)) return false;
    for (int k = 1; k <= nx; ++k) ch.table_num(k, link) = t;
    return true;
  }

  // Several sections: the points are paired one by one, so every section
  // is cut to the shortest; the finest level count serves them all.
  const int n0 = static_cast<int>(s[0].x.size()), n1 = static_cast<int>(s[1].x.size());
  if (n0 != n1) {
    std::printf("\n\nWARNING!!!! When using two break-point cross-sections the number of pairs \n"
                "            must be equal, which they are not for link %d.\n\n",
                link);
    if (n0 > n1)
      std::printf("  ---> Disregarding the last %d pairs of the first cross-section. <---\n\n", n0 - n1);
    else
      std::printf("  ---> Disregarding the last %d pairs of the second cross-section. <---\n\n", n1 - n0);
  }
  if (s[0].levels != s[1].levels)
    std::printf("\nUsing the greater of the two number of interpolation points \nfor both cross-section in link %d.\n",
                link);
  int n = std::min(n0, n1);
  int levels = std::max(s[0].levels, s[1].levels);
  for (std::size_t j = 2; j < s.size(); ++j) {
    const int nj = static_cast<int>(s[j].x.size());
    if (nj != n)
      std::printf("  ---> Link %d: cross-section %d has %d pairs; every cross-section of the link uses %d. <---\n\n",
                  link, static_cast<int>(j) + 1, nj, std::min(n, nj));
    n = std::min(n, nj);
    levels = std::max(levels, s[j].levels);
  }
  const int a = s.front().node, b = s.back().node;
  const int first = ++counter;
  if (!fill(first, node_points(s, a, n), levels)) return false;
  for (int k = 1; k <= std::min(a, nx); ++k) ch.table_num(k, link) = first;
  for (int k = a + 1; k <= std::min(b, nx); ++k) {
    const int t = ++counter;
    ch.table_num(k, link) = t;
    if (!fill(t, node_points(s, k, n), levels)) return false;
  }
  for (int k = b + 1; k <= nx; ++k) ch.table_num(k, link) = ch.table_num(b, link);
  return true;
}

}  // namespace nivra
