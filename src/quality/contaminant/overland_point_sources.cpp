// Overland point sources: their file and the step that puts their water and
// mass on the cells.
#include "quality/contaminant/overland_point_sources.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"
#include "maps/input_report.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "model/project.h"
#include "model/water_ledger.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "soil/infiltration_step.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/boundary_codes.h"
#include "surface/lake_storage.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The constituents a source gives concentrations of: the contaminants and
// the sediment classes that follow them.
int point_source_constituents(const constituent_state& k) {
  return k.num_contam_constituents + k.num_sed_constituents;
}

bool refuse(const std::string& file, int line, const char* what) {
  std::printf("Error: %s at line %d of the overland point source file %s.\n", what, line, file.c_str());
  stop_with_own_message();
  return false;
}

// The next line that holds something: blank lines and comments are
// passed over. False at the end of the file.
bool next_line(guarded_file& f, card_line& line, int& line_no) {
  while (read_line(line, f)) {
    ++line_no;
    std::string first;
    card_line probe = line;
    if (!next_token(probe, first)) continue;
    if (first[0] == '#') continue;
    return true;
  }
  return false;
}

// A whole token read as a finite number; -1 none left, 0 not a number.
int number(card_line& line, double& v) {
  std::string t;
  if (!next_token(line, t)) return -1;
  return whole_token_double(t, v) && std::isfinite(v) ? 1 : 0;
}

bool read_sources(model_state& ms, guarded_file& f, const std::string& file) {
  constituent_state& k = ms.constituent;
  const grid_state& g = ms.grid;
  const int n = g.ncells;
  // The contaminants' concentrations, then (with the sediment classes
  // carried as constituents, which follow the contaminants) the classes'.
  const int contaminants = point_source_constituents(k);
  k.ov_point_q.alloc(n);
  k.ov_point_conc.grow(std::max(k.num_constituents, 1), n);
  std::vector<char> taken(static_cast<std::size_t>(n) + 1, 0);
  card_line line;
  int line_no = 0;
  std::string word;
  double count_value = 0.0;
  if (!next_line(f, line, line_no)) return refuse(file, line_no + 1, "the line NUM_SOURCES is missing");
  if (!next_token(line, word) || !keyword_equal(word, "NUM_SOURCES") || number(line, count_value) != 1 ||
      count_value < 0.0 || count_value != std::floor(count_value) || count_value > n)
    return refuse(file, line_no, "the first line must be NUM_SOURCES and a whole number from 0 to the number of cells");
  std::string extra;
  if (next_token(line, extra)) return refuse(file, line_no, "the NUM_SOURCES line holds more than the count");
  const int count = static_cast<int>(count_value);
  for (int s = 1; s <= count; ++s) {
    if (!next_line(f, line, line_no)) {
      std::printf("Error: the overland point source file %s names %d sources but holds %d.\n", file.c_str(), count,
                  s - 1);
      stop_with_own_message();
      return false;
    }
    double row = 0.0, col = 0.0, q = 0.0;
    if (number(line, row) != 1 || number(line, col) != 1 || row != std::floor(row) || col != std::floor(col))
      return refuse(file, line_no, "a source must start with the whole row and column of its cell");
    const int r = static_cast<int>(row), c = static_cast<int>(col);
    if (r < 1 || r > g.rows || c < 1 || c > g.cols || g.mask.empty() || g.mask[r][c] < 1)
      return refuse(file, line_no, "the cell of a source lies outside the watershed");
    const int cell = g.mask[r][c];
    if (taken[static_cast<std::size_t>(cell)]) return refuse(file, line_no, "a cell is named by a second source");
    taken[static_cast<std::size_t>(cell)] = 1;
    const int nq = number(line, q);
    if (nq != 1 || q < 0.0) return refuse(file, line_no, "the discharge must be a finite number of at least 0 m3/s");
    if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty() &&
        boundary::holds_level(ms.overland.boundary_type[cell]))
      return refuse(file, line_no, "a source lies on a cell whose water level a boundary holds");
    for (int j = 1; j <= contaminants; ++j) {
      double conc = 0.0;
      const int got = number(line, conc);
      if (got == -1)
        return refuse(file, line_no,
                      k.num_sed_constituents > 0
                          ? "a source gives fewer concentrations than the run has contaminants and sediment classes"
                          : "a source gives fewer concentrations than the run has contaminants");
      if (got != 1 || conc < 0.0)
        return refuse(file, line_no, "a concentration must be a finite number of at least 0 g/m3");
      k.ov_point_conc(j, cell) = conc;
    }
    if (next_token(line, extra))
      return refuse(file, line_no,
                    k.num_sed_constituents > 0
                        ? "a source gives more concentrations than the run has contaminants and sediment classes"
                        : "a source gives more concentrations than the run has contaminants");
    k.ov_point_q[cell] = q;
  }
  if (next_line(f, line, line_no)) return refuse(file, line_no, "the file goes on after its last source");
  return true;
}

}  // namespace

void read_overland_point_sources(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.ov_con_trans || !k.ov_point_source_given) return;
  const std::string file(ms.project.ov_point_source.view());
  input_report(ms, console_rule::unless_quiet, "reading overland point sources from file: %s\n", file.c_str());
  if (!open_input_file(k.ov_point_source_file, file)) {
    std::printf("Error: unable to open the overland point source file %s.\n", file.c_str());
    stop_with_own_message();
    return;
  }
  read_sources(ms, k.ov_point_source_file, file);
  close_guarded_file(k.ov_point_source_file);
}

void apply_overland_point_sources(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.ov_con_trans || !k.ov_point_source_given || k.ov_point_q.empty()) return;
  clock_state& clock = ms.clock;
  if (clock.model_time < clock.ov_con_clock.next_time - clock.time_tol) return;
  const double dt = seconds_since(ms, clock.ov_con_clock.last_time);
  if (!(dt > 0.0)) return;
  const int n = ms.grid.ncells;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const double* blocked = blocked_cells(ms.overland);
  double volume = 0.0;
  bool any = false;
  for (int i = 1; i <= n; ++i) {
    const double v = dt * k.ov_point_q[i];
    if (!(v > 0.0)) continue;
    any = true;
    volume += v;
    pour_onto_cell(ms, i, v, area * open_share(blocked, i));
    for (int c = 1; c <= point_source_constituents(k); ++c) {
      const double m = v * k.ov_point_conc(c, i);
      k.ov_mass(c, i) += m;
      if (k.mass_books) k.mass_books->book(c, row(constituent_term::overland_point_source), m / 1000.0);
    }
  }
  ms.ledger.book(water_flux::overland_point_sources, volume);
  if (!any) return;
  // The water on the ground wakes the overland and infiltration steps.
  const double t = clock.model_time + clock.ov_dt_days;
  if (clock.ov_next_time > t) {
    clock.ov_next_time = t;
    clock.ov_last_time = std::min(clock.ov_last_time, clock.model_time);
  }
  if (clock.inf_next_time > t) {
    clock.inf_next_time = t;
    clock.inf_last_time = std::min(clock.inf_last_time, clock.model_time);
  }
  // Redistribution fronts that stopped with the dry surface start again
  // from the accounting layer's water, as at an event's start; the event's
  // initial soil saturation stays what the event started with.
  soil_state& s = ms.soil;
  if (s.inf_redist && !clock.inf_redist_active) {
    const double event_start_saturation = s.init_soil_water;
    start_infiltration_event(ms);
    s.init_soil_water = event_start_saturation;
  }
  ms.overland.ov_water_at_start = 1;
}

}  // namespace nivra
