// The check both overland schemes make of the depths they are handed.
#include "surface/overland_common.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "inputs/grid_state.h"

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

void step_blocks::build(int n, const int* right, const int* below, const int* dike) {
  if (cells == n && source == right && !blocks.empty()) return;
  blocks.clear();
  cells = n;
  source = right;
  for (int first = 1; first <= n; first += block_cells) {
    step_block k;
    k.first = first;
    k.last = std::min(n, first + block_cells - 1);
    // The cells below the block's cells that lie beyond it; a cell below
    // has a larger number than the cell above it, and the farther right the
    // cell above, the larger.
    int lo = 0, hi = 0;
    for (int j = k.first; j <= k.last; ++j) {
      const int b = below[j];
      if (b <= k.last || (dike && (dike[j] & cell_side::bottom))) continue;
      if (lo == 0) lo = b;
      hi = b;
    }
    if (lo != 0) {
      k.halo_first = lo;
      k.halo_last = hi;
    }
    blocks.push_back(k);
  }
  const std::size_t count = blocks.size();
  bound.assign(count, 0.0);
  level.assign(count, 0);
  face_spans.resize(max_level + 1);
  cell_spans.resize(max_level + 1);
  for (auto& v : face_spans) v.reserve(count);
  for (auto& v : cell_spans) v.reserve(2 * count);
  face_cells.assign(max_level + 1, 0);
  cell_cells.assign(max_level + 1, 0);
}

void step_blocks::make_spans(int finest) {
  const std::size_t count = blocks.size();
  for (int l = 0; l <= finest; ++l) {
    std::vector<cell_span>& faces = face_spans[static_cast<std::size_t>(l)];
    std::vector<cell_span>& reach = cell_spans[static_cast<std::size_t>(l)];
    faces.clear();
    reach.clear();
    int face_total = 0, cell_total = 0;
    // Blocks in order, and their halos in order: two sorted lists of spans
    // merged into one, and spans that meet or overlap joined.
    auto add_reach = [&](int first, int last) {
      if (!reach.empty() && first <= reach.back().last + 1) {
        if (last > reach.back().last) {
          cell_total += last - reach.back().last;
          reach.back().last = last;
        }
        return;
      }
      reach.push_back({first, last, 0});
      cell_total += last - first + 1;
    };
    std::size_t h = 0;  // the next block whose halo is to be merged
    auto next_halo = [&]() {
      while (h < count && (level[h] < l || blocks[h].halo_first > blocks[h].halo_last)) ++h;
    };
    next_halo();
    for (std::size_t c = 0; c < count; ++c) {
      if (level[c] < l) continue;
      const step_block& k = blocks[c];
      if (!faces.empty() && faces.back().last + 1 == k.first && faces.back().level == level[c])
        faces.back().last = k.last;
      else
        faces.push_back({k.first, k.last, level[c]});
      face_total += k.last - k.first + 1;
      while (h < count && blocks[h].halo_first < k.first) {
        add_reach(blocks[h].halo_first, blocks[h].halo_last);
        ++h;
        next_halo();
      }
      add_reach(k.first, std::min(k.last + 1, cells));
    }
    while (h < count) {
      add_reach(blocks[h].halo_first, blocks[h].halo_last);
      ++h;
      next_halo();
    }
    face_cells[static_cast<std::size_t>(l)] = face_total;
    cell_cells[static_cast<std::size_t>(l)] = cell_total;
  }
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
