// The check both overland schemes make of the depths they are handed.
#include "surface/overland_common.h"

#include <cmath>
#include <cstdio>

namespace nivra {

void grid_strips::build(int n, const int* right, const int* below, const int* above, const int* dike) {
  if (cells == n && source == right && !strips.empty()) return;
  strips.clear();
  cells = n;
  source = right;
  // The open lower face and the cell above of cell i, as distances.
  auto down_of = [&](int i) {
    const bool open = below[i] != 0 && !(dike && (dike[i] & cell_side::bottom));
    return open ? below[i] - i : 0;
  };
  auto up_of = [&](int i) { return above[i] != 0 ? i - above[i] : 0; };
  auto right_open = [&](int i) { return right[i] == i + 1 && !(dike && (dike[i] & cell_side::right)); };
  for (int i = 1; i <= n;) {
    cell_strip s;
    s.first = i;
    s.down = down_of(i);
    s.up = up_of(i);
    int e = i;
    while (e < n && right_open(e) && down_of(e + 1) == s.down && up_of(e + 1) == s.up) ++e;
    s.last = e;
    strips.push_back(s);
    i = e + 1;
  }
}

std::size_t grid_strips::first_at(int cell) const {
  std::size_t lo = 0, hi = strips.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (strips[mid].last < cell)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

overland_status check_entry_depths(double* h, int n) {
  std::uint64_t bits = 0;
  for (int i = 1; i <= n; ++i) bits |= doubt_bits(h[i]);
  if (!doubtful(bits)) return overland_status::ok;
  for (int i = 1; i <= n; ++i) {
    if (std::isnan(h[i])) {
      std::printf("Overland depth is NaN at beginning of overland routing time step in cell %ld \n",
                  static_cast<long>(i));
      std::printf("Program stopped.\n");
      return overland_status::depth_not_a_number;
    }
    if (h[i] < 0.0) {
      std::printf("Negative depth encountered at the beginning of the overland routing time step in cell %ld \n",
                  static_cast<long>(i));
      if (h[i] < -1e-05) {
        std::printf("Program stopped.\n");
        return overland_status::negative_depth;
      }
      h[i] = 0.0;
    }
  }
  return overland_status::ok;
}

}  // namespace nivra
