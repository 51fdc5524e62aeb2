#include "groundwater/groundwater_hotstart.h"

#include <cstdio>
#include <vector>

#include "clock/time_loop.h"
#include "core/guarded_file.h"
#include "core/state_file.h"
#include "core/value_range.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"

namespace nivra {

namespace {

constexpr const char* header = "NIVRA_GROUNDWATER_STATE";

// The water waiting for cell c's table, m over the cell: what
// groundwater_storage counts besides the heads.
double pending_water(const groundwater_state& gw, int c, double area) {
  double v = 0.0;
  if (gw.gw_recharge.size() >= c) v += gw.gw_recharge[c];
  if (gw.cell_stream_exchange_vol.size() >= c) v -= gw.cell_stream_exchange_vol[c] / area;
  if (gw.gw_tile_vol_cell.size() >= c) v -= gw.gw_tile_vol_cell[c] / area;
  if (gw.lake_source.size() >= c) v -= gw.lake_source[c] / area;
  return v;
}

}  // namespace

void write_groundwater_state_file(std::FILE* f, const model_state& ms) {
  if (!f) return;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  const clock_state& k = ms.clock;
  const carried_clock clock = clock_to_carry(k.gw_dt, k.gw_last_time, k.gw_next_time, k.model_time);
  std::fprintf(f, "%s\n", header);
  std::fprintf(f, "# the solve's step (s), the seconds since it last ran and until it is next due, the sweep of the "
                  "next solve\nCLOCK %.17g %.17g %.17g %d\n",
               clock.dt, clock.since, clock.next_in, ms.groundwater.gw_sweep);
  std::fprintf(f, "# cell  the water that reached the table since the last solve (m over the cell)  the table to "
                  "the last digit (m)\n");
  std::fprintf(f, "CELLS %d\n", ms.grid.ncells);
  const groundwater_state& g = ms.groundwater;
  for (int c = 1; c <= ms.grid.ncells; ++c)
    std::fprintf(f, "CELL %d %.17g %.17g\n", c, pending_water(g, c, area), g.elevgw.size() >= c ? g.elevgw[c] : 0.0);
  std::fprintf(f, "END\n");
}

bool read_groundwater_state_file(guarded_file& f, model_state& ms) {
  groundwater_state& gw = ms.groundwater;
  const int n = ms.grid.ncells;
  state_file_reader in(f, "the groundwater hot-start state");
  if (!in.header(header)) return false;
  // The clock and the sweep (a file written before they were carried has
  // neither: the solves keep the run's own).
  carried_clock clock;
  int sweep = gw.gw_sweep;
  if (!in.next()) return in.expect("CELLS");
  if (in.card() == "CLOCK") {
    card_numbers num = in.numbers();
    if (!num.real("the solve's step", clock.dt, from_to(1e-3, 1e7, "s")) ||
        !num.real("the seconds since it last ran", clock.since, from_to(-1e9, 1e9, "s")) ||
        !num.real("the seconds until it is next due", clock.next_in, from_to(-1e9, 1e9, "s")) ||
        !num.whole("the sweep of the next solve", sweep, from_to(1, 2)))
      return in.stop();
    if (!in.ends() || !in.expect("CELLS")) return false;
    clock.given = true;
  } else if (in.card() != "CELLS") {
    std::fprintf(stderr, "Error: %s %s has no CELLS line where line %d stands.\n", in.kind(), in.name(), in.line_no());
    return in.stop();
  }
  {
    card_numbers num = in.numbers();
    int cells = 0;
    if (!num.whole("the number of cells", cells, from_to(0, 2000000000))) return in.stop();
    if (cells != n) {
      std::fprintf(stderr, "Error: line %d of %s %s gives %d cells; the watershed has %d.\n", in.line_no(), in.kind(),
                   in.name(), cells, n);
      return in.stop();
    }
    if (!in.ends()) return false;
  }
  std::vector<double> water(static_cast<std::size_t>(n) + 1, 0.0), table(water);
  std::vector<char> table_given(water.size(), 0);
  const bool read = in.read_cells(n, [&](int c, card_numbers& num) {
    const std::size_t i = static_cast<std::size_t>(c);
    if (!num.real("the water waiting for the table", water[i], from_to(-1e4, 1e4, "m"))) return in.stop();
    if (!num.at_end()) {
      if (!num.real("the water table", table[i], ground_elevation)) return in.stop();
      table_given[i] = 1;
    }
    return in.ends();
  });
  if (!read) return false;
  gw.carried_gw_clock = clock;
  gw.gw_sweep = sweep;
  // The map holds the table to nine decimals, the companion to the last
  // digit: where the two agree the companion's is the table (a map changed
  // since keeps its own values).
  for (int c = 1; c <= n && gw.elevgw.size() == n; ++c) {
    const std::size_t i = static_cast<std::size_t>(c);
    if (table_given[i] && map_holds(gw.elevgw[c], table[i]))
      gw.elevgw[c] = table[i];
  }
  if (gw.gw_recharge.size() != n) return true;
  for (int c = 1; c <= n; ++c) gw.gw_recharge[c] += water[static_cast<std::size_t>(c)];
  return true;
}

}  // namespace nivra
