#include "surface/overland_hotstart.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "core/guarded_file.h"
#include "core/state_file.h"
#include "core/value_range.h"
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
                               const grid_state& grid, const ov_sed_handover& sed, double ended_in_event) {
  if (!f) return;
  std::fprintf(f, "%s\n# What the depth map of this overland hot-start cannot hold.\n", header);
  std::fprintf(f, "OUTLET %.17g\n", ov.qout);
  const int n = lake_count(lakes);
  std::fprintf(f, "LAKES %d\n", n);
  for (int L = 1; L <= n; ++L) {
    const olake_record& r = lakes.olake_table[L];
    std::fprintf(f, "# lake  level (m)  volume (m3)  taken since its last update (m3)\n");
    std::fprintf(f, "LAKE %d %.17g %.17g %.17g\n", L, r.value[olake_value::level], r.value[olake_value::volume],
                 r.value[olake_value::exchange]);
    for (int c = 1; c <= grid.ncells; ++c)
      if (lakes.oland_lake_new[c] == L) std::fprintf(f, "CELL %d %d %d\n", L, grid.cell_row[c], grid.cell_col[c]);
  }
  std::fprintf(f, "# the model time the run ended inside an event (Julian days; 0: between events)\nEVENT %.17g\n",
               ended_in_event);
  // The depths to the last digit (the map holds them to nine decimals).
  bool depths = false;
  for (int c = 1; c <= grid.ncells && ov.ov_depth.size() >= grid.ncells; ++c) {
    if (ov.ov_depth[c] == 0.0) continue;
    if (!depths) std::fprintf(f, "# cell  depth to the last digit (m)\n");
    depths = true;
    std::fprintf(f, "DEPTH %d %.17g\n", c, ov.ov_depth[c]);
  }
  // The faces' discharges of the last step: the next step's sub-steps and
  // whether the sediment moves in it start from them.
  bool faces = false;
  for (int c = 1; c <= grid.ncells && ov.ov_qx.size() >= grid.ncells && ov.ov_qy.size() >= grid.ncells; ++c) {
    if (ov.ov_qx[c] == 0.0 && ov.ov_qy[c] == 0.0) continue;
    if (!faces) std::fprintf(f, "# cell  discharge across its right face  and its lower face (m3/s)\n");
    faces = true;
    std::fprintf(f, "FACES %d %.17g %.17g\n", c, ov.ov_qx[c], ov.ov_qy[c]);
  }
  if (ov.overtype == overland_scheme::explicit_faces) {
    const explicit_scheme& k = ov.explicit_kernel;
    std::fprintf(f, "# sweep of the last step (0: x first)  shortened sub-step (s)  steps still to start on it\n");
    std::fprintf(f, "EXPLICIT_STEPPING %d %.17g %d\n", k.sweep_toggle, k.reduced_dt, k.reduced_countdown);
  } else {
    const ade_scheme& k = ov.ade_kernel;
    std::fprintf(f, "# sweep of the next step (1: x first)  last sub-step (s)  stability factor  calm choices\n");
    std::fprintf(f, "ADE_STEPPING %d %.17g %.17g %d\n", ov.ade_sweep, k.last_dt, k.dt_factor, k.stable_count);
  }
  const int classes = sed.cells ? sed.cells->classes : 0;
  std::fprintf(f, "SEDIMENT %d\n", classes);
  if (classes > 0) {
    const ov_sed_cells& cells = *sed.cells;
    std::fprintf(f, "# cell  then per class: suspended  loose  eroded (m3)  suspended share  loose share\n");
    for (int c = 1; c <= grid.ncells; ++c) {
      std::fprintf(f, "CELL_SEDIMENT %d", c);
      for (int k = 1; k <= classes; ++k)
        std::fprintf(f, " %.17g %.17g %.17g %.17g %.17g", cells.susp(c, k), cells.dep(c, k), cells.eroded(c, k),
                     cells.susp_fract(c, k), cells.dep_fract(c, k));
      std::fputc('\n', f);
    }
    std::fprintf(f, "# the sediment the outlet passed in the last step (m3/s)\nOUTLET_SEDIMENT %.17g\n",
                 sed.outlet_rate);
    if (sed.ground) {
      std::fprintf(f, "# cell  the ground the sediment moved it to (m)\n");
      for (int c = 1; c <= grid.ncells; ++c) std::fprintf(f, "GROUND %d %.17g\n", c, sed.ground[c]);
    }
  }
  std::fprintf(f, "END\n");
}

bool read_overland_state_file(guarded_file& f, overland_state& ov, lake_state& lakes, const grid_state& grid,
                              ov_sed_cells* sed, bool outlet, ov_sed_carried& carried) {
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
  // The faces' discharges, per cell: right and lower face.
  const std::size_t cells = static_cast<std::size_t>(grid.ncells) + 1;
  std::vector<double> face(2 * cells, 0.0);
  std::vector<char> face_seen(cells, 0), ground_seen(cells, 0), depth_seen(cells, 0);
  std::vector<double> depth(cells, 0.0);
  std::vector<double> ground;
  int ground_cells = 0;
  // The cell of a card given per cell, once: 0 (the run stopped after the
  // message) when it is no cell of the watershed or given again.
  const auto cell_of = [&](card_numbers& num, std::vector<char>& seen, const char* again) -> std::size_t {
    int c = 0;
    if (!num.whole("the cell", c, from_to(1, grid.ncells))) return in.stop();
    const std::size_t i = static_cast<std::size_t>(c);
    if (seen[i]) return in.fail(again);
    seen[i] = 1;
    return i;
  };
  bool outlet_sed_given = false, ade_given = false, explicit_given = false, event_given = false;
  double outlet_sed = 0.0, event_until = 0.0;
  int ade_sweep = 1, ade_calm = 0, explicit_sweep = 0, explicit_calls = 0;
  double ade_substep = 0.0, ade_factor = 1.0, explicit_substep = 0.0;
  bool ended = false;
  while (!ended && in.next()) {
    card_numbers num = in.numbers();
    if (in.card() == "END") {
      if (!in.ends()) return false;
      ended = true;
    } else if (in.card() == "EVENT") {
      if (!in.once(event_given)) return false;
      if (!num.real("the time the run ended inside an event", event_until, from_to(0, 1e8, "Julian days")))
        return in.stop();
      if (!in.ends()) return false;
    } else if (in.card() == "DEPTH") {
      const std::size_t i = cell_of(num, depth_seen, "gives a cell's depth a second time");
      if (!i) return false;
      if (!num.real("the depth", depth[i], from_to(0, 1000, "m"))) return in.stop();
      if (!in.ends()) return false;
    } else if (in.card() == "FACES") {
      const std::size_t i = cell_of(num, face_seen, "gives a cell's faces a second time");
      if (!i) return false;
      if (!num.real("the discharge across the right face", face[2 * i], from_to(-1e7, 1e7, "m3/s")) ||
          !num.real("the discharge across the lower face", face[2 * i + 1], from_to(-1e7, 1e7, "m3/s")))
        return in.stop();
      if (!in.ends()) return false;
    } else if (in.card() == "ADE_STEPPING") {
      if (!in.once(ade_given)) return false;
      if (!num.whole("the sweep the next step begins with", ade_sweep, from_to(1, 2)) ||
          !num.real("the last sub-step", ade_substep, from_to(0, 1e6, "s")) ||
          !num.real("the stability factor", ade_factor, from_to(1e-300, 1)) ||
          !num.whole("the calm sub-step choices", ade_calm, from_to(0, 2000000000)))
        return in.stop();
      if (!in.ends()) return false;
    } else if (in.card() == "EXPLICIT_STEPPING") {
      if (!in.once(explicit_given)) return false;
      if (!num.whole("the sweep of the last step", explicit_sweep, from_to(0, 1)) ||
          !num.real("the shortened sub-step", explicit_substep, from_to(0, 1e6, "s")) ||
          !num.whole("the steps still to start on it", explicit_calls, from_to(0, 1000)))
        return in.stop();
      if (!in.ends()) return false;
    } else if (in.card() == "OUTLET_SEDIMENT") {
      if (!in.once(outlet_sed_given)) return false;
      if (!num.real("the outlet's sediment rate", outlet_sed, from_to(-1e-6, 1e9, "m3/s"))) return in.stop();
      if (!in.ends()) return false;
    } else if (in.card() == "GROUND") {
      const std::size_t i = cell_of(num, ground_seen, "gives a cell's ground a second time");
      if (!i) return false;
      if (ground.empty()) ground.assign(cells, 0.0);
      if (!num.real("the ground", ground[i], ground_elevation)) return in.stop();
      if (!in.ends()) return false;
      ++ground_cells;
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
  if (ground_cells > 0 && ground_cells != grid.ncells) {
    std::fprintf(stderr, "Error: %s %s gives the ground of %d of the %d cells.\n", in.kind(), in.name(),
                 ground_cells, grid.ncells);
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
  // The map holds the depths to nine decimals, the companion to the last
  // digit: where the two agree the companion's is the depth (a map changed
  // since keeps its own).
  for (int c = 1; c <= grid.ncells && ov.ov_depth.size() >= grid.ncells; ++c) {
    const std::size_t i = static_cast<std::size_t>(c);
    if (depth_seen[i] && map_holds(ov.ov_depth[c], depth[i])) {
      ov.ov_depth[c] = depth[i];
      if (ov.ov_depth_old.size() >= grid.ncells) ov.ov_depth_old[c] = depth[i];
    }
  }
  if (ov.ov_qx.size() >= grid.ncells && ov.ov_qy.size() >= grid.ncells)
    for (int c = 1; c <= grid.ncells; ++c) {
      ov.ov_qx[c] = face[2 * static_cast<std::size_t>(c)];
      ov.ov_qy[c] = face[2 * static_cast<std::size_t>(c) + 1];
    }
  // The stepping of the run's own scheme goes on; another scheme's starts
  // afresh.
  if (ade_given && ov.overtype != overland_scheme::explicit_faces) {
    ov.ade_sweep = ade_sweep;
    ov.ade_kernel.last_dt = ade_substep;
    ov.ade_kernel.dt_factor = ade_factor;
    ov.ade_kernel.stable_count = ade_calm;
  }
  if (explicit_given && ov.overtype == overland_scheme::explicit_faces) {
    ov.explicit_kernel.sweep_toggle = explicit_sweep;
    ov.explicit_kernel.reduced_dt = explicit_substep;
    ov.explicit_kernel.reduced_countdown = explicit_calls;
  }
  ov.carried_event_until = event_until;
  carried.outlet_rate = outlet_sed;
  carried.ground = std::move(ground);
  if (outlet) ov.qout_at_start = q;
  return true;
}

}  // namespace nivra
