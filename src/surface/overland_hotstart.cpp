#include "surface/overland_hotstart.h"

#include <cstdio>
#include <vector>

#include "core/guarded_file.h"
#include "core/state_file.h"
#include "inputs/grid_state.h"
#include "surface/lake_state.h"
#include "surface/overland_lakes.h"
#include "surface/overland_sediment.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

constexpr const char* header = "NIVRA_OVERLAND_STATE";

int lake_count(const lake_state& lakes) { return lakes.overland_lake_map_given ? lakes.num_olakes : 0; }

}  // namespace

void write_overland_state_file(std::FILE* f, const overland_state& ov, const lake_state& lakes,
                               const grid_state& grid, const ov_sed_cells* sed) {
  if (!f) return;
  std::fprintf(f, "%s\n# What the depth map of this overland hot-start cannot hold.\n", header);
  std::fprintf(f, "OUTLET %.12g\n", ov.qout);
  const int n = lake_count(lakes);
  std::fprintf(f, "LAKES %d\n", n);
  for (int L = 1; L <= n; ++L) {
    const olake_record& r = lakes.olake_table[L];
    std::fprintf(f, "# lake  level (m)  volume (m3)  taken since its last update (m3)\n");
    std::fprintf(f, "LAKE %d %.10f %.10g %.10g\n", L, r.value[olake_value::level], r.value[olake_value::volume],
                 r.value[olake_value::exchange]);
    for (int c = 1; c <= grid.ncells; ++c)
      if (lakes.oland_lake_new[c] == L) std::fprintf(f, "CELL %d %d %d\n", L, grid.cell_row[c], grid.cell_col[c]);
  }
  const int classes = sed ? sed->classes : 0;
  std::fprintf(f, "SEDIMENT %d\n", classes);
  if (classes > 0) {
    std::fprintf(f, "# cell  then per class: suspended  loose  eroded (m3)  suspended share  loose share\n");
    for (int c = 1; c <= grid.ncells; ++c) {
      std::fprintf(f, "CELL_SEDIMENT %d", c);
      for (int k = 1; k <= classes; ++k)
        std::fprintf(f, " %.12g %.12g %.12g %.12g %.12g", sed->susp(c, k), sed->dep(c, k), sed->eroded(c, k),
                     sed->susp_fract(c, k), sed->dep_fract(c, k));
      std::fputc('\n', f);
    }
  }
  std::fprintf(f, "END\n");
}

bool read_overland_state_file(guarded_file& f, overland_state& ov, lake_state& lakes, const grid_state& grid,
                              ov_sed_cells* sed, bool outlet) {
  state_file_reader in(f, "the overland hot-start state");
  if (!in.header(header) || !in.expect("OUTLET")) return false;
  double q = 0.0;
  {
    card_numbers num = in.numbers();
    if (!num.real("the outlet discharge", q, from_to(-1e7, 1e7, "m3/s"))) return in.stop();
    if (!in.ends()) return false;
  }
  if (!in.expect("LAKES")) return false;
  const int n = lake_count(lakes);
  {
    card_numbers num = in.numbers();
    int count = 0;
    if (!num.whole("the number of overland lakes", count, from_to(0, 100000000))) return in.stop();
    if (!in.ends()) return false;
    if (count != n) {
      std::fprintf(stderr, "Error: line %d of %s %s gives %d overland lakes; the project's lake map has %d.\n",
                   in.line_no(), in.kind(), in.name(), count, n);
      return in.stop();
    }
  }
  struct lake_row {
    double level = 0.0, volume = 0.0, exchange = 0.0;
    bool given = false;
  };
  std::vector<lake_row> rows(static_cast<std::size_t>(n) + 1);
  std::vector<int> owner(static_cast<std::size_t>(grid.ncells) + 1, 0);
  const int classes = sed ? sed->classes : 0;
  int sed_classes = -1, sed_cells = 0;
  std::vector<char> sed_seen(static_cast<std::size_t>(grid.ncells) + 1, 0);
  // The cells' sediment, per cell and class: five values.
  std::vector<double> cell_sed;
  bool ended = false;
  while (!ended && in.next()) {
    card_numbers num = in.numbers();
    if (in.card() == "END") {
      if (!in.ends()) return false;
      ended = true;
    } else if (in.card() == "SEDIMENT") {
      if (sed_classes >= 0) return in.fail("gives SEDIMENT a second time");
      if (!num.whole("the number of sediment classes", sed_classes, from_to(0, 1000))) return in.stop();
      if (!in.ends()) return false;
      if (sed_classes != classes) {
        std::fprintf(stderr, "Error: line %d of %s %s carries the sediment of %d classes; this run has %d.\n",
                     in.line_no(), in.kind(), in.name(), sed_classes, classes);
        return in.stop();
      }
      cell_sed.assign((static_cast<std::size_t>(grid.ncells) + 1) * static_cast<std::size_t>(5 * classes + 1), 0.0);
    } else if (in.card() == "CELL_SEDIMENT") {
      if (sed_classes < 0) return in.fail("comes before the SEDIMENT line");
      int c = 0;
      if (!num.whole("the cell", c, from_to(1, grid.ncells))) return in.stop();
      if (sed_seen[static_cast<std::size_t>(c)]) return in.fail("gives a cell a second time");
      sed_seen[static_cast<std::size_t>(c)] = 1;
      ++sed_cells;
      double* v = cell_sed.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(5 * classes + 1);
      for (int k = 0; k < classes; ++k)
        if (!num.real("the suspended sediment", v[5 * k + 1], from_to(-1e-6, 1e9, "m3")) ||
            !num.real("the loose sediment", v[5 * k + 2], from_to(-1e-6, 1e9, "m3")) ||
            !num.real("the eroded parent soil", v[5 * k + 3], from_to(-1e9, 0, "m3")) ||
            !num.real("the share of the suspended sediment", v[5 * k + 4], from_to(0, 1)) ||
            !num.real("the share of the loose sediment", v[5 * k + 5], from_to(0, 1)))
          return in.stop();
      if (!in.ends()) return false;
    } else if (in.card() == "LAKE") {
      int L = 0;
      lake_row r;
      if (!num.whole("the lake", L, from_to(1, n)) || !num.real("the level", r.level, ground_elevation) ||
          !num.real("the volume", r.volume, from_to(-1e12, 1e12, "m3")) ||
          !num.real("the water taken since the last update", r.exchange, from_to(-1e12, 1e12, "m3")))
        return in.stop();
      if (!in.ends()) return false;
      if (rows[static_cast<std::size_t>(L)].given) return in.fail("gives a lake a second time");
      r.given = true;
      rows[static_cast<std::size_t>(L)] = r;
    } else if (in.card() == "CELL") {
      int L = 0, row = 0, col = 0;
      if (!num.whole("the lake", L, from_to(1, n)) || !num.whole("the row", row, from_to(1, grid.proj_rows)) ||
          !num.whole("the column", col, from_to(1, grid.proj_cols)))
        return in.stop();
      if (!in.ends()) return false;
      if (!rows[static_cast<std::size_t>(L)].given) return in.fail("gives a cell of a lake before the lake's LAKE line");
      const int c = row < grid.mask.rows() && col < grid.mask.cols() ? grid.mask[row][col] : 0;
      if (c < 1) return in.fail("gives a cell outside the watershed");
      if (owner[static_cast<std::size_t>(c)]) return in.fail("gives a cell a second time");
      owner[static_cast<std::size_t>(c)] = L;
    } else {
      return in.fail("begins with a word that is no card of the file");
    }
  }
  if (!in.finish(ended)) return false;
  if (sed_classes < 0) {
    std::fprintf(stderr, "Error: %s %s has no SEDIMENT line.\n", in.kind(), in.name());
    return in.stop();
  }
  if (classes > 0 && sed_cells != grid.ncells) {
    std::fprintf(stderr, "Error: %s %s gives the sediment of %d of the %d cells.\n", in.kind(), in.name(), sed_cells,
                 grid.ncells);
    return in.stop();
  }
  for (int L = 1; L <= n; ++L)
    if (!rows[static_cast<std::size_t>(L)].given) {
      std::fprintf(stderr, "Error: %s %s has no LAKE line for lake %d.\n", in.kind(), in.name(), L);
      return in.stop();
    }
  // The cells of the lake map stay under their lakes, whatever the level.
  for (int c = 1; c <= grid.ncells && n > 0; ++c) {
    const int L = lakes.oland_lake_mask[c];
    if (lake_cell(L) && owner[static_cast<std::size_t>(c)] != L) {
      std::fprintf(stderr, "Error: %s %s does not give lake %d its cell at row %d, column %d of the lake map.\n",
                   in.kind(), in.name(), L, grid.cell_row[c], grid.cell_col[c]);
      return in.stop();
    }
  }
  for (int L = 1; L <= n; ++L) {
    olake_record& r = lakes.olake_table[L];
    const lake_row& k = rows[static_cast<std::size_t>(L)];
    r.value[olake_value::level] = k.level;
    r.value[olake_value::volume] = k.volume;
    r.value[olake_value::exchange] = k.exchange;
    r.cell_count = 0;
  }
  for (int c = 1; c <= grid.ncells && n > 0; ++c) {
    const int L = owner[static_cast<std::size_t>(c)];
    lakes.oland_lake_new[c] = L;
    if (L > 0) ++lakes.olake_table[L].cell_count;
  }
  if (n > 0) prepare_overland_lakes(lakes, grid.ncells);
  for (int c = 1; c <= grid.ncells && classes > 0; ++c) {
    const double* v = cell_sed.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(5 * classes + 1);
    for (int k = 1; k <= classes; ++k) {
      const double* x = v + 5 * (k - 1);
      sed->susp(c, k) = x[1];
      sed->dep(c, k) = x[2];
      sed->eroded(c, k) = x[3];
      sed->susp_fract(c, k) = x[4];
      sed->dep_fract(c, k) = x[5];
    }
  }
  if (outlet) ov.qout_at_start = q;
  return true;
}

}  // namespace nivra
