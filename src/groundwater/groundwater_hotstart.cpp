#include "groundwater/groundwater_hotstart.h"

#include <cstdio>
#include <vector>

#include "core/guarded_file.h"
#include "core/state_file.h"
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
  std::fprintf(f, "%s\n# The water that reached the table since the last solve, m over the cell.\n", header);
  std::fprintf(f, "CELLS %d\n", ms.grid.ncells);
  for (int c = 1; c <= ms.grid.ncells; ++c) std::fprintf(f, "CELL %d %.12g\n", c, pending_water(ms.groundwater, c, area));
  std::fprintf(f, "END\n");
}

bool read_groundwater_state_file(guarded_file& f, model_state& ms) {
  groundwater_state& gw = ms.groundwater;
  const int n = ms.grid.ncells;
  state_file_reader in(f, "the groundwater hot-start state");
  if (!in.header(header) || !in.expect("CELLS")) return false;
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
  std::vector<double> water(static_cast<std::size_t>(n) + 1, 0.0);
  const bool read = in.read_cells(n, [&](int c, card_numbers& num) {
    double v = 0.0;
    if (!num.real("the water waiting for the table", v, from_to(-1e4, 1e4, "m"))) return in.stop();
    if (!in.ends()) return false;
    water[static_cast<std::size_t>(c)] = v;
    return true;
  });
  if (!read) return false;
  if (gw.gw_recharge.size() != n) return true;
  for (int c = 1; c <= n; ++c) gw.gw_recharge[c] += water[static_cast<std::size_t>(c)];
  return true;
}

}  // namespace nivra
