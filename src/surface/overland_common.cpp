// What both overland schemes share: the strips and blocks of a plain grid,
// the drains of the outlet and of the normal-depth boundary cells, and the
// check of the depths they are handed.
#include "surface/overland_common.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "inputs/grid_state.h"
#include "surface/boundary_codes.h"

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

void step_blocks::build(int n, const int* right, const int* below, const int* above, const int* dike) {
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
  // The blocks next to each block, each once.
  neighbour_first.assign(count + 1, 0);
  neighbours.clear();
  for (std::size_t b = 0; b < count; ++b) {
    neighbour_first[b] = static_cast<int>(neighbours.size());
    const std::size_t from = neighbours.size();
    auto add = [&](int cell) {
      if (cell < 1 || cell > n) return;
      const int k = (cell - 1) / block_cells;
      if (k == static_cast<int>(b)) return;
      for (std::size_t i = from; i < neighbours.size(); ++i)
        if (neighbours[i] == k) return;
      neighbours.push_back(k);
    };
    for (int j = blocks[b].first; j <= blocks[b].last; ++j) {
      add(right[j]);
      add(below[j]);
      add(above[j]);
      if (j > 1) add(j - 1);
    }
  }
  neighbour_first[count] = static_cast<int>(neighbours.size());
  bound.assign(count, 0.0);
  level.assign(count, 0);
  face_spans.resize(max_level + 1);
  cell_spans.resize(max_level + 1);
  right_spans.resize(max_level + 1);
  for (auto& v : face_spans) v.reserve(count);
  for (auto& v : cell_spans) v.reserve(2 * count);
  for (auto& v : right_spans) v.reserve(count);
  face_cells.assign(max_level + 1, 0);
  cell_cells.assign(max_level + 1, 0);
  right_cells.assign(max_level + 1, 0);
}

int step_blocks::set_levels(double macro, int grade) {
  int finest = 0;
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    int l = 0;
    while (l < max_level && std::ldexp(macro, -l) > bound[k]) ++l;
    level[k] = l;
    finest = l > finest ? l : finest;
  }
  if (grade > 0) {
    // From the finest level down, the blocks of each level lift their
    // neighbours to within `grade` of it; a lifted block is met again at
    // its new level.
    for (int l = finest; l > grade; --l) {
      for (std::size_t k = 0; k < blocks.size(); ++k) {
        if (level[k] != l) continue;
        for (int i = neighbour_first[k]; i < neighbour_first[k + 1]; ++i) {
          int& m = level[static_cast<std::size_t>(neighbours[static_cast<std::size_t>(i)])];
          if (m < l - grade) m = l - grade;
        }
      }
    }
  }
  return finest;
}

namespace {

// Adds the cells first..last to a list of spans in cell order, joining a
// span that meets or overlaps the last one; total counts the cells.
void add_cells(std::vector<cell_span>& spans, int& total, int first, int last) {
  if (!spans.empty() && first <= spans.back().last + 1) {
    if (last > spans.back().last) {
      total += last - spans.back().last;
      spans.back().last = last;
    }
    return;
  }
  spans.push_back({first, last, 0});
  total += last - first + 1;
}

}  // namespace

void step_blocks::make_spans(int finest) {
  const std::size_t count = blocks.size();
  for (int l = 0; l <= finest; ++l) {
    std::vector<cell_span>& faces = face_spans[static_cast<std::size_t>(l)];
    std::vector<cell_span>& reach = cell_spans[static_cast<std::size_t>(l)];
    std::vector<cell_span>& rights = right_spans[static_cast<std::size_t>(l)];
    faces.clear();
    reach.clear();
    rights.clear();
    int face_total = 0, cell_total = 0, right_total = 0;
    // Blocks in order, and their halos in order: two sorted lists of spans
    // merged into one, and spans that meet or overlap joined.
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
        add_cells(reach, cell_total, blocks[h].halo_first, blocks[h].halo_last);
        ++h;
        next_halo();
      }
      // The right face of the block's last cell reaches the cell after it.
      const int reached = std::min(k.last + 1, cells);
      add_cells(reach, cell_total, k.first, reached);
      add_cells(rights, right_total, k.first, reached);
    }
    while (h < count) {
      add_cells(reach, cell_total, blocks[h].halo_first, blocks[h].halo_last);
      ++h;
      next_halo();
    }
    face_cells[static_cast<std::size_t>(l)] = face_total;
    cell_cells[static_cast<std::size_t>(l)] = cell_total;
    right_cells[static_cast<std::size_t>(l)] = right_total;
  }
}

void edge_drains::build(int n, const int* type, const int* left, const int* right, const int* above,
                        const int* below) {
  if (cells == n && source == type) return;
  cells = n;
  source = type;
  cell.clear();
  sides.clear();
  if (type) {
    for (int c = 1; c <= n; ++c) {
      if (type[c] != boundary::normal_depth) continue;
      const int open = (left[c] == 0) + (right[c] == 0) + (above[c] == 0) + (below[c] == 0);
      if (open == 0) continue;
      cell.push_back(c);
      sides.push_back(open);
    }
  }
  out.assign(cell.size(), 0.0);
}

void boundary_cells::build(int n, const int* type) {
  if (cells == n && source == type) return;
  cells = n;
  source = type;
  cell.clear();
  for (int c = 1; c <= n; ++c)
    if (type[c] != boundary::none) cell.push_back(c);
}

void held_levels::build(int n, const int* type) {
  if (cells == n && source == type) return;
  cells = n;
  source = type;
  cell.clear();
  if (type)
    for (int c = 1; c <= n; ++c)
      if (boundary::holds_level(type[c])) cell.push_back(c);
  out.assign(cell.size(), 0.0);
  if (cell.empty()) {
    follows.free();
    return;
  }
  follows.alloc(n);
  for (int c = 0; c <= n; ++c) follows[c] = 1.0;
  for (const int c : cell) follows[c] = 0.0;
}

edge_drain::edge_drain(const overland_domain& d, edge_drains& e)
    : e_(e),
      slope_(d.overland.bc_value.data()),
      n_(d.overland.dist_rough.data()),
      exponent_(d.overland.roughness_exp.size() == d.grid.ncells ? d.overland.roughness_exp.data() : nullptr),
      blocked_(blocked_cells(d.overland)),
      lake_(d.lakes.chan_lakes && !d.lakes.lake_mask.empty() && d.lakes.num_lakes > 0 ? d.lakes.lake_mask.data()
                                                                                      : nullptr),
      noted_(d.overland.bc_out_vol.size() == d.grid.ncells ? d.overland.bc_out_vol.data() : nullptr),
      dx_(d.grid.grid_size),
      area_(d.grid.grid_size * d.grid.grid_size) {
  restart();
}

void edge_drain::drain(std::size_t k, double* h, double dts) {
  const int c = e_.cell[k];
  if (!drains(c)) return;
  e_.out[k] += drain_by_normal_depth(h[c], dts, area_ * open_share(blocked_, c), dx_ * e_.sides[k],
                                     roughness(c, h[c]), slope_[c]);
}

double edge_drain::turnover(std::size_t k, const double* h) const {
  const int c = e_.cell[k];
  if (!drains(c)) return std::numeric_limits<double>::infinity();
  return outlet_turnover_step(h[c], area_ * open_share(blocked_, c), dx_ * e_.sides[k], roughness(c, h[c]),
                              slope_[c]);
}

void edge_drain::restart() { std::fill(e_.out.begin(), e_.out.end(), 0.0); }

void edge_drain::book(overland_books& books) const {
  for (std::size_t k = 0; k < size(); ++k) {
    const double v = e_.out[k];
    books.slope_out += v;
    if (noted_ && v > 0.0) noted_[e_.cell[k]] += v;
  }
}

double drain_by_normal_depth(double& h, double dts, double area, double dx, double n, double slope) {
  if (!(h > 0.0)) return 0.0;
  const double h0 = h;
  const double k = std::sqrt(slope) * dx / n * dts / area;
  double x = h0;
  for (int it = 0; it < 60; ++it) {
    const double p = std::pow(x, outlet_exponent - 1.0);
    const double fall = (x + k * p * x - h0) / (1.0 + outlet_exponent * k * p);
    const double next = x - fall;
    if (!(next > 0.0)) {
      x = 0.0;
      break;
    }
    x = next;
    if (fall <= 1e-15 * x) break;
  }
  h = x;
  return (h0 - x) * area;
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
