#include "surface/overland_lakes.h"

#include <algorithm>
#include <cmath>

#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// Levels within this of the first of a group fill or drain together (m).
constexpr double group_span = 0.0001;
// A level change below this waits for more water (m).
constexpr double least_change = 1e-10;

// Orders the candidates by level, ascending or descending; ties by cell.
void order_candidates(olake_scratch& w, bool rising) {
  w.order.clear();
  for (int i = 0; i < static_cast<int>(w.cell.size()); ++i) w.order.push_back(i);
  std::sort(w.order.begin(), w.order.end(), [&w, rising](int a, int b) {
    const double la = w.level[static_cast<std::size_t>(a)], lb = w.level[static_cast<std::size_t>(b)];
    if (la != lb) return rising ? la < lb : la > lb;
    return w.cell[static_cast<std::size_t>(a)] < w.cell[static_cast<std::size_t>(b)];
  });
}

// Lists the cells of every lake, lake after lake, in one pass of counting.
void list_lake_cells(olake_scratch& w, const lake_state& lakes, int cells) {
  const int n = lakes.num_olakes;
  std::fill(w.first.begin(), w.first.end(), 0);
  const int* lake = lakes.oland_lake_new.data();
  for (int c = 1; c <= cells; ++c)
    if (lake[c] >= 1 && lake[c] <= n) ++w.first[static_cast<std::size_t>(lake[c]) + 1];
  for (int L = 1; L <= n + 1; ++L) w.first[static_cast<std::size_t>(L)] += w.first[static_cast<std::size_t>(L) - 1];
  std::vector<int>& at = w.order;  // the next place of each lake, borrowed for the pass
  at.assign(w.first.begin(), w.first.end());
  for (int c = 1; c <= cells; ++c)
    if (lake[c] >= 1 && lake[c] <= n) w.by_lake[static_cast<std::size_t>(at[static_cast<std::size_t>(lake[c])]++)] = c;
}

// The cells of lake L when the update began.
struct cell_span {
  const int* begin_;
  const int* end_;
  const int* begin() const { return begin_; }
  const int* end() const { return end_; }
};
cell_span cells_of(const olake_scratch& w, int L) {
  const int* base = w.by_lake.data();
  return {base + w.first[static_cast<std::size_t>(L)], base + w.first[static_cast<std::size_t>(L) + 1]};
}

int next_stamp(olake_scratch& w) {
  if (w.stamp == 2147483647) {
    std::fill(w.mark.begin(), w.mark.end(), 0);
    w.stamp = 0;
  }
  return ++w.stamp;
}

// Lake L rises by V m3 from level s over n cells; returns the new level.
double rise(lake_state& lakes, const grid_state& g, double* depth, int L, double s, int& n, double V, double A,
            olake_books& b) {
  olake_scratch& w = lakes.olake_work;
  const int stamp = next_stamp(w);
  const double target = s + V / (n * A);
  const double* z = g.elevation.data();
  const int* lake = lakes.oland_lake_new.data();
  const bool dikes = g.dike_map_given && !g.dike_mask.empty();
  const struct {
    const int* nb;
    int bit;
  } sides[] = {{g.abovecon.data(), cell_side::top},
               {g.rightcon.data(), cell_side::right},
               {g.belowcon.data(), cell_side::bottom},
               {g.leftcon.data(), cell_side::left}};
  const cell_span shore = cells_of(w, L);
  w.cell.clear();
  w.level.clear();
  for (const int c : shore) {
    for (const auto& side : sides) {
      const int k = side.nb[c];
      if (k == 0 || lake_cell(lake[k]) || w.mark[static_cast<std::size_t>(k)] == stamp) continue;
      if (dikes && (g.dike_mask[c] & side.bit)) continue;
      // Cells below the lake's level take its water through the overland
      // flow; the rising lake floods those between its old and new level.
      const double surface = z[k] + depth[k];
      if (surface >= target || surface < s) continue;
      w.mark[static_cast<std::size_t>(k)] = stamp;
      w.cell.push_back(k);
      w.level.push_back(surface);
    }
  }
  order_candidates(w, true);
  double level = s, rest = V;
  std::size_t i = 0;
  const std::size_t m = w.order.size();
  while (i < m) {
    const double e = w.level[static_cast<std::size_t>(w.order[i])];
    const double need = (e - level) * n * A;
    if (need > rest) break;
    rest -= need;
    level = e;
    for (; i < m && w.level[static_cast<std::size_t>(w.order[i])] <= e + group_span; ++i) {
      const int c = w.cell[static_cast<std::size_t>(w.order[i])];
      // The cell joins at the lake's level; what it holds above that
      // level is water still to place.
      rest += (z[c] + depth[c] - level) * A;
      b.inflow += depth[c] * A;
      depth[c] = 0.0;
      lakes.oland_lake_new[c] = L;
      ++n;
    }
  }
  return level + rest / (n * A);
}

// Lake L falls by -V m3 from level s over n cells; returns the new level.
double fall(lake_state& lakes, const grid_state& g, double* depth, int L, double s, int& n, double V, double A,
            double floor, olake_books& b) {
  olake_scratch& w = lakes.olake_work;
  const double* z = g.elevation.data();
  const cell_span under = cells_of(w, L);
  w.cell.clear();
  w.level.clear();
  for (const int c : under) {
    if (lakes.oland_lake_mask[c] == L) continue;
    if (z[c] <= floor) continue;  // it stays under the lake at its initial level
    w.cell.push_back(c);
    w.level.push_back(z[c]);
  }
  order_candidates(w, false);
  double level = s, rest = -V;
  std::size_t i = 0;
  const std::size_t m = w.order.size();
  while (i < m) {
    const double e = w.level[static_cast<std::size_t>(w.order[i])];
    const double release = (level - e) * n * A;
    if (release > rest) break;
    rest -= release;
    level = e;
    for (; i < m && w.level[static_cast<std::size_t>(w.order[i])] >= e - group_span; ++i) {
      const int c = w.cell[static_cast<std::size_t>(w.order[i])];
      // The water over its ground stays on the cell.
      const double d = level - z[c];
      depth[c] = d;
      b.outflow += d * A;
      lakes.oland_lake_new[c] = no_lake;
      --n;
    }
  }
  return level - rest / (n * A);
}

}  // namespace

void prepare_overland_lakes(lake_state& lakes, int cells) { lakes.olake_work.prepare(cells, lakes.num_olakes); }

double overland_lake_water(const lake_state& lakes, const grid_state& grid, int L) {
  const double A = grid.grid_size * grid.grid_size;
  const double level = lakes.olake_table[L].value[olake_value::level];
  double v = 0.0;
  for (int c = 1; c <= grid.ncells; ++c)
    if (lakes.oland_lake_new[c] == L) v += (level - grid.elevation[c]) * A;
  return v;
}

olake_books olake_extent(lake_state& lakes, const grid_state& grid, double* depth, double* precip) {
  olake_books b;
  const double A = grid.grid_size * grid.grid_size;
  olake_scratch& w = lakes.olake_work;
  if (w.mark.size() < static_cast<std::size_t>(grid.ncells) + 1 ||
      w.first.size() < static_cast<std::size_t>(lakes.num_olakes) + 2)
    prepare_overland_lakes(lakes, grid.ncells);
  // The lists of the lakes' cells stand until a cell joins or leaves.
  if (!w.listed) list_lake_cells(w, lakes, grid.ncells);
  w.listed = true;
  for (int L = 1; L <= lakes.num_olakes; ++L) {
    olake_record& r = lakes.olake_table[L];
    int n = r.cell_count;
    const double exchange = r.value[olake_value::exchange];
    const double rain = precip ? precip[L] : 0.0;
    const double V = exchange + rain;
    if (n < 1 || std::fabs(V / (n * A)) < least_change) continue;  // waits for more water
    const double s = r.value[olake_value::level];
    const double before = b.inflow - b.outflow;
    double level;
    if (V > 0.0) {
      level = rise(lakes, grid, depth, L, s, n, V, A, b);
    } else {
      const double initial = r.value[olake_value::initial_level];
      level = fall(lakes, grid, depth, L, s, n, V, A, initial, b);
      if (level < initial) {
        // The kernels took more than the water above the initial level.
        const double short_by = (initial - level) * n * A;
        b.shortfall += short_by;
        r.value[olake_value::volume] += short_by;
        level = initial;
      }
    }
    // Water of the cells that joined, less what the leaving cells keep.
    r.value[olake_value::volume] += V + (b.inflow - b.outflow - before);
    if (exchange > 0.0)
      b.inflow += exchange;
    else
      b.outflow -= exchange;
    r.value[olake_value::level] = level;
    r.value[olake_value::exchange] = 0.0;
    if (n != r.cell_count) w.listed = false;
    r.cell_count = n;
    if (precip) precip[L] = 0.0;
  }
  return b;
}

void overland_lake_step(model_state& ms) {
  lake_state& lk = ms.lake;
  if (!lk.overland_lake_map_given || !lk.olake_update) return;
  const olake_books b = olake_extent(lk, ms.grid, ms.overland.ov_depth.data(),
                                     lk.olake_precip_vol.empty() ? nullptr : lk.olake_precip_vol.data());
  ms.ledger.book(b, olake_books_terms);
  lk.olake_update = 0;
  // The largest depths of the run (FLOOD_GRID) count a lake's water over
  // the ground of every cell it covers.
  const int n = ms.grid.ncells;
  if (!ms.output.flood_grid_given || ms.overland.flood_depth_max.size() != n) return;
  double* peak = ms.overland.flood_depth_max.data();
  const double* z = ms.grid.elevation.data();
  const int* lake = lk.oland_lake_new.data();
  for (int c = 1; c <= n; ++c) {
    const int L = lake[c];
    if (!lake_cell(L) || L > lk.num_olakes) continue;
    const double d = lk.olake_table[L].value[olake_value::level] - z[c];
    if (d > peak[c]) peak[c] = d;
  }
}

}  // namespace nivra
