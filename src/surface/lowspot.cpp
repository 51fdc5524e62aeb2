// Broad-weir flow over low spots: notches in overland dikes through which
// water standing above the crest passes to the cell on the far side. Water
// standing above the crest on the far side too drowns the weir and slows
// it, and one step never moves more than brings the two sides level.
#include <cmath>

#include "inputs/grid_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// Discharge coefficient of a broad-crested weir, m^0.5/s: Q = C b H^1.5.
constexpr double broad_weir_coef = 1.48;

// Share of the free discharge that passes a submerged weir, by Villemonte's
// formula Q / Q_free = (1 - (H2 / H1)^1.5)^0.385, H1 and H2 the heads over
// the crest on the high and the low side (0 < H2 < H1).
double villemonte_share(double H1, double H2) { return std::pow(1.0 - std::pow(H2 / H1, 1.5), 0.385); }

enum class side_kind { ordinary, overland_lake, channel_lake, fixed_level };

struct weir_side {
  int cell = 0;
  side_kind kind = side_kind::ordinary;
  int lake = 0;
  double surface = 0.0;
  double open = 1.0;  // open share of an ordinary cell's area

  // Rise of the surface per m3 received (m/m3) within the step: the level
  // of a lake or of a fixed-level cell stands still until its own step.
  double rise_per_volume(double area) const { return kind == side_kind::ordinary ? 1.0 / (area * open) : 0.0; }
};

weir_side describe(const grid_state& grid, const overland_state& ov, const lake_state& lakes, int cell) {
  weir_side s;
  s.cell = cell;
  if (lakes.overland_lake_map_given && !lakes.oland_lake_new.empty() && lake_cell(lakes.oland_lake_new[cell])) {
    s.kind = side_kind::overland_lake;
    s.lake = lakes.oland_lake_new[cell];
    s.surface = lakes.olake_table[s.lake].value[olake_value::level];
  } else if (lakes.chan_lakes && !lakes.lake_mask.empty() && lake_cell(lakes.lake_mask[cell])) {
    s.kind = side_kind::channel_lake;
    s.lake = lakes.lake_mask[cell];
    s.surface = lakes.lake_elev[s.lake];
  } else {
    if (ov.ov_boundary && !ov.boundary_type.empty() && boundary::holds_level(ov.boundary_type[cell]))
      s.kind = side_kind::fixed_level;
    s.surface = ov.ov_depth[cell] + grid.elevation[cell];
    if (s.kind == side_kind::ordinary) s.open = open_share(blocked_cells(ov), cell);
  }
  return s;
}

// Gives one side its share: gains > 0 the volume V enters it, gains < 0 it
// leaves it. D is the depth V makes over the open part of the high side; an
// ordinary cell as open as that side changes by D, another one by V over its
// own open area.
void exchange(double area, overland_state& ov, lake_state& lakes, const weir_side& s, int gains, double D,
              double V, double high_open, overland_books& books) {
  switch (s.kind) {
    case side_kind::overland_lake:
      lakes.olake_table[s.lake].value[olake_value::exchange] += gains * V;
      break;
    case side_kind::channel_lake:
      if (gains < 0) {
        lakes.lake_out_dv[s.lake] += V;
        lakes.lake_volume[s.lake] -= V;
      } else {
        lakes.lake_in_dv[s.lake] += V;
        lakes.lake_volume[s.lake] += V;
      }
      break;
    case side_kind::fixed_level:
      // The boundary keeps its level: what it gives enters the grid, what
      // it takes leaves it.
      if (gains < 0) {
        books.gain += V;
      } else {
        books.loss += V;
        if (!ov.bc_out_vol.empty()) ov.bc_out_vol[s.cell] += V;
      }
      break;
    case side_kind::ordinary:
      ov.ov_depth[s.cell] += gains * (s.open == high_open ? D : V / (area * s.open));
      if (ov.ov_depth[s.cell] < 0.0) ov.ov_depth[s.cell] = 0.0;
      break;
  }
}

}  // namespace

overland_books dike_weir_flow(grid_state& grid, overland_state& ov, lake_state& lakes, double dt) {
  overland_books books;
  const double dx = grid.grid_size;
  const double area = dx * dx;
  const int mrows = grid.mask.rows(), mcols = grid.mask.cols();
  for (int j = 1; j <= grid.lowspot_count; ++j) {
    lowspot& spot = grid.lowspot_cells[j];
    int r = spot.row, col = spot.col;
    if (r < 1 || r >= mrows || col < 1 || col >= mcols) continue;
    const int c = grid.mask[r][col];
    switch (spot.direction) {
      case cell_side::top: --r; break;
      case cell_side::right: ++col; break;
      case cell_side::bottom: ++r; break;
      case cell_side::left: --col; break;
      default: continue;
    }
    const int nb = grid.mask[r][col];
    if (c <= 0 || nb <= 0) continue;

    const weir_side sc = describe(grid, ov, lakes, c);
    const weir_side sn = describe(grid, ov, lakes, nb);
    if (std::fabs(sc.surface - sn.surface) <= 0.001) continue;
    if (sc.surface <= spot.crest_elev && sn.surface <= spot.crest_elev) continue;
    if (grid.low_spot_flow_cell.size() >= (c > nb ? c : nb)) {
      grid.low_spot_flow_cell[c] = 1;
      grid.low_spot_flow_cell[nb] = 1;
    }

    const int sign = sc.surface > sn.surface ? 1 : -1;
    const weir_side& high = sign > 0 ? sc : sn;
    const weir_side& low = sign > 0 ? sn : sc;
    const double head = high.surface - spot.crest_elev;
    const double tail = low.surface - spot.crest_elev;
    double Q = broad_weir_coef * spot.grid_fraction * dx * std::pow(head, 1.5);
    if (tail > 0.0) Q *= villemonte_share(head, tail);
    spot.flow = Q;
    double V = Q * dt;
    // The two sides meet at most: the high side falls and the low side
    // rises until their surfaces are level.
    const double closing = high.rise_per_volume(area) + low.rise_per_volume(area);
    if (closing > 0.0 && V * closing > high.surface - low.surface) V = (high.surface - low.surface) / closing;
    double D = V / area;
    if (high.kind == side_kind::ordinary) {
      // The high side gives only the water above the crest, never more than
      // it holds; its water stands on its open part.
      const double open_area = area * high.open;
      D = V / open_area;
      if (D > head) D = head;
      if (D > ov.ov_depth[high.cell]) D = ov.ov_depth[high.cell];
      V = D * open_area;
    } else if (high.kind == side_kind::overland_lake) {
      // An overland lake gives at most its water above its initial level.
      const olake_record& r = lakes.olake_table[high.lake];
      const double above = olake_head(r) * r.cell_count * area;
      if (V > above) V = above;
      D = V / area;
    } else if (high.kind == side_kind::channel_lake && V > lakes.lake_volume[high.lake]) {
      // A lake gives at most what it holds, and the far side gets just that.
      V = lakes.lake_volume[high.lake];
      D = V / area;
    }
    exchange(area, ov, lakes, sc, -sign, D, V, high.open, books);
    exchange(area, ov, lakes, sn, sign, D, V, high.open, books);
    if (ov.lowspot_vol.size() >= j) {
      // Noted for the constituents, whose mass goes with the water: from
      // the spot's cell to the far side (negative: back).
      ov.lowspot_vol[j] += sign * V;
      ov.lowspot_from[j] = c;
      ov.lowspot_to[j] = nb;
    }
  }
  return books;
}

}  // namespace nivra
