#include "surface/channel_lakes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/arrays.h"
#include "core/errors.h"
#include "groundwater/aquifer.h"
#include "inputs/grid_state.h"

namespace nivra {

namespace {

// A cell joins a lake whose level stands more than this above its ground.
constexpr double join_margin = 1e-7;

// Warning flags of a lake (lake_full_warned).
constexpr int warned_full = 1, warned_rating = 2;

void both(FILE* summary, const char* text) {
  std::fputs(text, stdout);
  if (summary) std::fputs(text, summary);
}

// A value of the lake's rating curve; a volume beyond the table warns once.
double rating(lake_state& lakes, int lake, double x, const std::vector<double>& xs, const std::vector<double>& ys,
              FILE* summary) {
  const rating_value v = lake_rating_lookup(x, xs, ys);
  if (v.outside && !(lakes.lake_full_warned[lake] & warned_rating)) {
    lakes.lake_full_warned[lake] |= warned_rating;
    char text[400];
    std::snprintf(text, sizeof text,
                  "Warning: the rating curve of lake %d ends at %.2lf; the lake's %.2lf lies beyond it and takes "
                  "the value of the curve's end, %.2lf.\n",
                  lake, x < xs.front() ? xs.front() : xs.back(), x, v.y);
    both(summary, text);
  }
  return v.y;
}

// The flat pool of a lake without a rating curve: the number of its
// search cells (lowest ground first) under water and its level, for a
// volume. The first cell always counts, so an empty lake stands at its
// ground (below it when the volume is negative).
void flat_pool(const channel_lake& k, const double* z, double area, double volume, int& cells, double& level) {
  const std::vector<int>& s = k.search_cell;
  const int m = static_cast<int>(s.size());
  double sum = z[s[0]];
  int n = 1;
  level = volume / area + sum;
  while (n < m && level > z[s[static_cast<std::size_t>(n)]] + join_margin) {
    sum += z[s[static_cast<std::size_t>(n)]];
    ++n;
    level = (volume / area + sum) / n;
  }
  cells = n;
}

bool lakes_met(int cell) {
  std::printf("Your lake has potentially merged with another lake.....\n"
              "Current NIVRA formulation is not up for this. Will be soon.\n"
              "NIVRA Terminating.\n");
  (void)cell;
  set_error(own_message_code);
  report_error();
  return false;
}

// A cell joins lake L: its overland water becomes the lake's.
void join(lake_state& lakes, int L, int c, double* depth, double area, lake_update_books& b) {
  lakes.lake_mask[c] = L;
  lakes.new_flooded_grid[c] = 1;
  const double v = depth[c] > 1e-16 ? depth[c] * area : 0.0;
  std::printf("Lake %d is taking cell %d with depth %lf\n", L, c, depth[c]);
  depth[c] = 0.0;
  lakes.lake_volume[L] += v;
  b.taken_from_cells += v;
}

void leave(lake_state& lakes, int c, double* depth) {
  lakes.lake_mask[c] = no_lake;
  lakes.new_flooded_grid[c] = -1;
  depth[c] = 0.0;
}

bool update_flat_lake(lake_state& lakes, int L, const grid_state& grid, double* depth, FILE* summary,
                      lake_update_books& b) {
  const channel_lake& k = lakes.chan_lake[L];
  const double area = grid.grid_size * grid.grid_size;
  const double* z = grid.elevation.data();
  int cells = 0;
  double level = 0.0;
  // Joining cells bring their water, which may lift the pool over more.
  for (;;) {
    flat_pool(k, z, area, lakes.lake_volume[L], cells, level);
    bool joined = false;
    for (int i = 0; i < cells; ++i) {
      const int c = k.search_cell[static_cast<std::size_t>(i)];
      if (lakes.lake_mask[c] == L) continue;
      if (lake_cell(lakes.lake_mask[c])) return lakes_met(c);
      join(lakes, L, c, depth, area, b);
      joined = true;
    }
    if (!joined) break;
  }
  for (std::size_t i = static_cast<std::size_t>(cells); i < k.search_cell.size(); ++i) {
    const int c = k.search_cell[i];
    if (lakes.lake_mask[c] != L) continue;
    leave(lakes, c, depth);
    std::printf("Removing cell %d from lake\n", c);
  }
  const bool full = cells == static_cast<int>(k.search_cell.size()) &&
                    level > z[k.search_cell.back()] + join_margin;
  if (full && !(lakes.lake_full_warned[L] & warned_full)) {
    lakes.lake_full_warned[L] |= warned_full;
    std::printf("Warning: Lake #%d has reached your specified maximum areal extent\n"
                "This likely means you should increase the maximum water surface elevation\n"
                "The last grid cell coordinates defined in your input file are: [%d][%d] \n",
                L, k.search_row.back(), k.search_col.back());
    if (summary)
      std::fprintf(summary,
                   "\nWarning: Lake #%d has reached your specified maximum areal extent\n"
                   "This likely means you should increase the maximum water surface elevation\n"
                   "The last grid cell coordinates defined in your input file are: [%d][%d] \n\n",
                   L, k.search_row.back(), k.search_col.back());
  }
  if (lakes.lake_volume[L] <= 0.0 && lakes.prevlake_volume[L] > 0.0)
    std::printf("Lake %d has gone completely dry and has no inundated overland flow cells \n"
                "NIVRA will proceed assuming there is one cell inundated \n"
                "Consider increasing the initial water surface elevation, or using the static lake option \n",
                L);
  lakes.lake_elev[L] = level;
  lakes.lake_cells[L] = cells;
  lakes.lake_area[L] = cells * area;
  lakes.prevlake_volume[L] = lakes.lake_volume[L];
  return true;
}

void update_rated_lake(lake_state& lakes, int L, const grid_state& grid, double* depth, FILE* summary,
                       lake_update_books& b) {
  const channel_lake& k = lakes.chan_lake[L];
  const double area = grid.grid_size * grid.grid_size;
  const double* z = grid.elevation.data();
  double E = rating(lakes, L, lakes.lake_volume[L], k.rate_volume, k.rate_elev, summary);
  const double dV = lakes.lake_volume[L] - lakes.prevlake_volume[L];
  if (!k.yes_static_lake) {
    if (dV < 0.0) {
      for (const int c : k.search_cell) {
        if (lakes.lake_mask[c] != L || z[c] <= E) continue;
        leave(lakes, c, depth);
        std::printf("Removing cell %d from lake %d \n", c, L);
      }
    } else {
      for (const int c : k.search_cell) {
        if (lake_cell(lakes.lake_mask[c]) || z[c] + join_margin >= E) continue;
        join(lakes, L, c, depth, area, b);
      }
      E = rating(lakes, L, lakes.lake_volume[L], k.rate_volume, k.rate_elev, summary);
    }
  }
  int cells = 0;
  for (const int c : k.search_cell) cells += lakes.lake_mask[c] == L;
  lakes.lake_elev[L] = E;
  lakes.lake_area[L] = rating(lakes, L, lakes.lake_volume[L], k.rate_volume, k.rate_area, summary);
  lakes.lake_cells[L] = cells;
  lakes.prevlake_volume[L] = lakes.lake_volume[L];
}

}  // namespace

rating_value lake_rating_lookup(double x, const std::vector<double>& xs, const std::vector<double>& ys) {
  rating_value r;
  if (xs.empty()) return r;
  if (x <= xs.front() || x >= xs.back()) {
    r.outside = x < xs.front() || x > xs.back();
    r.y = x <= xs.front() ? ys.front() : ys.back();
    return r;
  }
  const std::size_t i = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin());
  const double x0 = xs[i - 1], x1 = xs[i];
  r.y = ys[i - 1] + (ys[i] - ys[i - 1]) * (x - x0) / (x1 - x0);
  return r;
}

bool init_channel_lakes(lake_state& lakes, const grid_state& grid, const char* file) {
  const int n = lakes.num_lakes;
  if (!lakes.chan_lakes || n < 1) return true;
  for (array1d<double>* a : {&lakes.lake_elev, &lakes.lake_volume, &lakes.lake_area, &lakes.prevlake_volume,
                             &lakes.lake_in_dv, &lakes.lake_out_dv, &lakes.cumulative_lake_evap})
    a->alloc(n);
  lakes.lake_cells.alloc(n);
  lakes.lake_full_warned.alloc(n);
  lakes.lake_mask.alloc(grid.ncells);
  lakes.new_flooded_grid.alloc(grid.ncells);
  const double area = grid.grid_size * grid.grid_size;
  const double* z = grid.elevation.data();
  for (int L = 1; L <= n; ++L) {
    channel_lake& k = lakes.chan_lake[L];
    // The search cells, lowest ground first (ties keep the file's order).
    k.search_cell.clear();
    for (std::size_t p = 0; p < k.search_row.size(); ++p) {
      const int r = k.search_row[p], c = k.search_col[p];
      // The mask keeps a spare row and column of zeros on every side.
      const bool inside = r < grid.mask.rows() && c < grid.mask.cols();
      const int cell = inside ? grid.mask[r][c] : 0;
      if (cell < 1) {
        std::fprintf(stderr, "Error: the lake of link %d in the channel input file %s lists the cell at row %d, "
                             "column %d, which is %s.\n",
                     k.link, file, r, c, inside ? "outside the watershed" : "outside the grid");
        set_error(own_message_code);
        report_error();
        return false;
      }
      // A cell listed twice would count its water twice.
      const auto seen = std::find(k.search_cell.begin(), k.search_cell.end(), cell);
      if (seen != k.search_cell.end()) {
        std::fprintf(stderr, "Error: the lake of link %d in the channel input file %s lists the cell at row %d, "
                             "column %d twice (entries %d and %d of its NUMPTS list).\n",
                     k.link, file, r, c, static_cast<int>(seen - k.search_cell.begin()) + 1, static_cast<int>(p) + 1);
        set_error(own_message_code);
        report_error();
        return false;
      }
      k.search_cell.push_back(cell);
    }
    std::vector<std::size_t> order(k.search_cell.size());
    for (std::size_t p = 0; p < order.size(); ++p) order[p] = p;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return z[k.search_cell[a]] < z[k.search_cell[b]]; });
    std::vector<int> cells(order.size()), rows(order.size()), cols(order.size());
    for (std::size_t p = 0; p < order.size(); ++p) {
      cells[p] = k.search_cell[order[p]];
      rows[p] = k.search_row[order[p]];
      cols[p] = k.search_col[order[p]];
    }
    k.search_cell = std::move(cells);
    k.search_row = std::move(rows);
    k.search_col = std::move(cols);

    std::printf("Minimum Water Surface Elevation Lake #%d: %.2lf\n", L, k.minwse);
    std::printf("Initial Water Surface Elevation Lake #%d: %.2lf\n", L, k.initwse);
    std::printf("Maximum Water Surface Elevation Lake #%d: %.2lf\n", L, k.maxwse);
    std::printf("number of coords for lake #%d's search order: %d\n", L, static_cast<int>(k.search_cell.size()));

    int joined = 0;
    double volume = 0.0;
    for (const int c : k.search_cell) {
      const bool under = z[c] + join_margin < k.initwse;
      if (!(under || (k.yes_defined_curve_lake && k.yes_static_lake))) continue;
      if (lake_cell(lakes.lake_mask[c]) && lakes.lake_mask[c] != L) {
        std::fprintf(stderr, "Error: cell %d lies in lake %d and in lake %d of the channel input file %s.\n", c,
                     lakes.lake_mask[c], L, file);
        set_error(own_message_code);
        report_error();
        return false;
      }
      lakes.lake_mask[c] = L;
      ++joined;
      if (!k.yes_defined_curve_lake) volume += (k.initwse - z[c]) * area;
    }
    lakes.lake_elev[L] = k.initwse;
    if (k.yes_defined_curve_lake) {
      const rating_value v = lake_rating_lookup(k.initwse, k.rate_elev, k.rate_volume);
      const rating_value a = lake_rating_lookup(v.y, k.rate_volume, k.rate_area);
      if (v.outside) {
        std::fprintf(stderr, "Error: the initial water surface %.2lf of the lake of link %d lies outside its rating "
                             "curve (%.2lf to %.2lf) in the channel input file %s.\n",
                     k.initwse, k.link, k.rate_elev.front(), k.rate_elev.back(), file);
        set_error(own_message_code);
        report_error();
        return false;
      }
      lakes.lake_volume[L] = v.y;
      lakes.lake_area[L] = a.y;
    } else {
      if (joined == 0) {
        std::printf("The initial water surface elevation specified for lake %d is below all overland cell "
                    "elevations in the lake \n"
                    "Consider raising you initial lake elevation to inundate at least one overland cell in the lake \n"
                    "NIVRA will proceed with your specified initial water surface elevation assuming one overland "
                    "cell is inundated \n"
                    "Expect problems if you choose to proceed in this manner \n",
                    L);
        joined = 1;
      }
      lakes.lake_volume[L] = volume;
      lakes.lake_area[L] = joined * area;
    }
    lakes.lake_cells[L] = joined;
    lakes.prevlake_volume[L] = lakes.lake_volume[L];
  }
  return true;
}

lake_update_books lake_cells_update(lake_state& lakes, const grid_state& grid, double* depth, FILE* summary) {
  lake_update_books b;
  if (!lakes.chan_lakes || lakes.num_lakes < 1) return b;
  for (int L = 1; L <= lakes.num_lakes; ++L) {
    for (const int c : lakes.chan_lake[L].search_cell) lakes.new_flooded_grid[c] = 0;
  }
  for (int L = 1; L <= lakes.num_lakes; ++L) {
    if (lakes.chan_lake[L].yes_defined_curve_lake) {
      update_rated_lake(lakes, L, grid, depth, summary, b);
    } else if (!update_flat_lake(lakes, L, grid, depth, summary, b)) {
      b.ok = false;
      return b;
    }
  }
  return b;
}

double open_water_evaporation(double area, double wind, double air_temp, double rel_humidity) {
  const double es = 6.11 * std::exp(17.3 * air_temp / (air_temp + 237.3));
  return std::pow(std::max(1e-6, area / 1e6), -0.05) * 0.000169 * (wind * 0.001 * 86400.0) *
         (1.0 - rel_humidity / 100.0) * es / 24.0 * area / 100.0;
}

double lake_evaporation(lake_state& lakes, double wind, double air_temp, double rel_humidity) {
  double total = 0.0;
  for (int L = 1; L <= lakes.num_lakes; ++L) {
    const double e = open_water_evaporation(lakes.lake_area[L], wind, air_temp, rel_humidity);
    const double lost = std::max(0.0, std::min(e, lakes.lake_volume[L]));
    lakes.lake_volume[L] -= lost;
    lakes.cumulative_lake_evap[L] += lost;
    total += lost;
  }
  return total;
}

void lake_seepage_rates(lake_state& lakes, const grid_state& grid, const lake_bed_ground& g) {
  if (lakes.lake_cell_seepage.size() != grid.ncells) return;  // made by the set-up
  const double* z = grid.elevation.data();
  for (int c = 1; c <= grid.ncells; ++c) {
    double& q = lakes.lake_cell_seepage[c];
    q = 0.0;
    const int L = lakes.lake_mask.empty() ? no_lake : lakes.lake_mask[c];
    if (!lake_cell(L) || !lakes.chan_lake[L].calc_loss) continue;
    if (g.gwbound && aquifer_cell::holds_head(g.gwbound[c])) continue;
    const double level = lakes.lake_elev[L];
    const double k_over_m = g.conductivity[c] / lakes.chan_lake[L].Mlake;
    const double depth = level - z[c];
    if (g.water_table) {
      const double table = g.water_table[c];
      if (table > z[c] && table - g.bottom[c] > 0.01) {
        q = (table - level) * k_over_m;  // the table joins the lake through its bed
      } else if (g.bottom[c] < level && depth > 1e-16) {
        q = -depth * k_over_m;  // a table below the bed: the lake leaks at its own depth
      }
    } else if (depth > 1e-16) {
      q = -depth * k_over_m;
    }
  }
}

lake_seepage_books lake_bed_seepage(lake_state& lakes, const grid_state& grid, const lake_bed_ground& g, double dt) {
  lake_seepage_books b;
  if (lakes.lake_cell_seepage.size() != grid.ncells || dt <= 0.0) return b;
  const double area = grid.grid_size * grid.grid_size;
  for (int L = 1; L <= lakes.num_lakes; ++L) {
    const channel_lake& k = lakes.chan_lake[L];
    if (!k.calc_loss) continue;
    double gain = 0.0, loss = 0.0;
    for (const int c : k.search_cell) {
      if (lakes.lake_mask[c] != L) continue;
      const double v = lakes.lake_cell_seepage[c] * area * dt;
      (v > 0.0 ? gain : loss) += v;
    }
    // A lake gives the ground no more than it holds with what it gains.
    const double held = std::max(lakes.lake_volume[L] + gain, 0.0);
    const double cut = loss < 0.0 && -loss > held ? held / -loss : 1.0;
    for (const int c : k.search_cell) {
      if (lakes.lake_mask[c] != L) continue;
      double v = lakes.lake_cell_seepage[c] * area * dt;
      if (v < 0.0) v *= cut;
      lakes.lake_volume[L] += v;
      if (v > 0.0) b.from_aquifer += v;
      else b.to_aquifer -= v;
      if (g.lake_source) g.lake_source[c] += v;
      if (!lakes.lake_cell_seep_vol.empty()) lakes.lake_cell_seep_vol[c] += v;
    }
  }
  return b;
}

void follow_lake_beds(lake_state& lakes, int* gwbound, int ncells) {
  if (!gwbound || lakes.num_lakes < 1) return;
  if (lakes.gwbound_before_lake.size() != ncells) {
    lakes.gwbound_before_lake.alloc(ncells);
    for (int c = 1; c <= ncells; ++c) lakes.gwbound_before_lake[c] = -1;
  }
  for (int L = 1; L <= lakes.num_lakes; ++L) {
    if (!lakes.chan_lake[L].calc_loss) continue;
    for (const int c : lakes.chan_lake[L].search_cell) {
      int& before = lakes.gwbound_before_lake[c];
      if (lakes.lake_mask[c] == L) {
        if (before < 0 && gwbound[c] != aquifer_cell::lake && !aquifer_cell::holds_head(gwbound[c])) {
          before = gwbound[c];
          gwbound[c] = aquifer_cell::lake;
        }
      } else if (before >= 0) {
        // A code another set-up gave the cell since (an XY head) stays.
        if (gwbound[c] == aquifer_cell::lake) gwbound[c] = before;
        before = -1;
      }
    }
  }
}

}  // namespace nivra
