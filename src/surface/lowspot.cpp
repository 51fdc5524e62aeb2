// Broad-weir flow over low spots: notches in overland dikes through which
// water standing above the crest passes to the cell on the far side.
#include <cmath>

#include "inputs/grid_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland.h"

namespace nivra {

namespace {

enum class side_kind { ordinary, overland_lake, channel_lake, fixed_level };

struct weir_side {
  int cell = 0;
  side_kind kind = side_kind::ordinary;
  int lake = 0;
  double surface = 0.0;
  double open = 1.0;  // open share of an ordinary cell's area
};

weir_side describe(const model_state& ms, int cell) {
  weir_side s;
  s.cell = cell;
  if (ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty() && ms.lake.oland_lake_new[cell] > 0) {
    s.kind = side_kind::overland_lake;
    s.lake = ms.lake.oland_lake_new[cell];
    s.surface = ms.lake.olake_table[s.lake].value[0];
  } else if (ms.lake.chan_lakes && !ms.lake.lake_mask.empty() && ms.lake.lake_mask[cell] > 0) {
    s.kind = side_kind::channel_lake;
    s.lake = ms.lake.lake_mask[cell];
    s.surface = ms.lake.lake_elev[s.lake];
  } else {
    if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty()) {
      const int t = ms.overland.boundary_type[cell];
      if (t == 2 || t == 3 || t == 9) s.kind = side_kind::fixed_level;
    }
    s.surface = ms.overland.ov_depth[cell] + ms.grid.elevation[cell];
    if (s.kind == side_kind::ordinary) s.open = open_share(blocked_cells(ms.overland), cell);
  }
  return s;
}

// Gives one side its share: gains > 0 the volume V enters it, gains < 0 it
// leaves it. D is the depth V makes over the open part of the high side; an
// ordinary cell as open as that side changes by D, another one by V over its
// own open area.
void exchange(model_state& ms, const weir_side& s, int gains, double D, double V, double high_open,
              double& loss_vol, double& gain_vol) {
  switch (s.kind) {
    case side_kind::overland_lake:
      ms.lake.olake_table[s.lake].value[4] += gains * V;
      break;
    case side_kind::channel_lake:
      if (gains < 0) {
        ms.lake.lake_out_dv[s.lake] += V;
        ms.lake.lake_volume[s.lake] -= V;
      } else {
        ms.lake.lake_in_dv[s.lake] += V;
        ms.lake.lake_volume[s.lake] += V;
      }
      break;
    case side_kind::fixed_level:
      // The boundary keeps its level: what it gives enters the grid, what
      // it takes leaves it.
      if (gains < 0)
        gain_vol += V;
      else
        loss_vol += V;
      break;
    case side_kind::ordinary:
      ms.overland.ov_depth[s.cell] += gains * (s.open == high_open ? D : V / (ms.grid.grid_size * ms.grid.grid_size * s.open));
      if (ms.overland.ov_depth[s.cell] < 0.0) ms.overland.ov_depth[s.cell] = 0.0;
      break;
  }
}

}  // namespace

void dike_weir_flow(model_state& ms, double dt, double& loss_vol, double& gain_vol) {
  loss_vol = 0.0;
  gain_vol = 0.0;
  const double dx = ms.grid.grid_size;
  const double area = dx * dx;
  const int mrows = ms.grid.mask.rows(), mcols = ms.grid.mask.cols();
  for (int j = 1; j <= ms.grid.lowspot_count; ++j) {
    lowspot& spot = ms.grid.lowspot_cells[j];
    int r = spot.row, col = spot.col;
    if (r < 1 || r >= mrows || col < 1 || col >= mcols) continue;
    const int c = ms.grid.mask[r][col];
    switch (spot.direction) {
      case 1: --r; break;
      case 2: ++col; break;
      case 4: ++r; break;
      case 8: --col; break;
      default: continue;
    }
    const int nb = ms.grid.mask[r][col];
    if (c <= 0 || nb <= 0) continue;

    const weir_side sc = describe(ms, c);
    const weir_side sn = describe(ms, nb);
    if (std::fabs(sc.surface - sn.surface) <= 0.001) continue;
    if (sc.surface <= spot.crest_elev && sn.surface <= spot.crest_elev) continue;
    if (ms.grid.low_spot_flow_cell.size() >= (c > nb ? c : nb)) {
      ms.grid.low_spot_flow_cell[c] = 1;
      ms.grid.low_spot_flow_cell[nb] = 1;
    }

    const int sign = sc.surface > sn.surface ? 1 : -1;
    const weir_side& high = sign > 0 ? sc : sn;
    const double Q = 1.48 * spot.grid_fraction * dx * std::pow(high.surface - spot.crest_elev, 1.5);
    spot.flow = Q;
    double V = Q * dt;
    double D = V / area;
    if (high.kind == side_kind::ordinary) {
      // The high side gives only the water above the crest, never more than
      // it holds; its water stands on its open part.
      const double open_area = area * high.open;
      D = V / open_area;
      if (D > high.surface - spot.crest_elev) D = high.surface - spot.crest_elev;
      if (D > ms.overland.ov_depth[high.cell]) D = ms.overland.ov_depth[high.cell];
      V = D * open_area;
    } else if (high.kind == side_kind::channel_lake && V > ms.lake.lake_volume[high.lake]) {
      // A lake gives at most what it holds, and the far side gets just that.
      V = ms.lake.lake_volume[high.lake];
      D = V / area;
    }
    exchange(ms, sc, -sign, D, V, high.open, loss_vol, gain_vol);
    exchange(ms, sn, sign, D, V, high.open, loss_vol, gain_vol);
  }
}

}  // namespace nivra
