// Overland flow blockage. Buildings, walls and the like take a fraction b
// of a cell's area (ovr_flow_block_cell). Overland water stands on the open
// part only: a cell's depth is the depth over its open ground, so the cell
// holds depth x (1 - b) x area, a volume V that enters or leaves it changes
// its depth by V / ((1 - b) x area), and the rain that falls on the blocked
// part never reaches the ground. Every routine that adds, removes or counts
// overland water goes through the open share below; a fraction of 1 or more
// is not applied (such a cell counts as open).
#pragma once

#include "surface/overland_state.h"

namespace nivra {

// The blocked fractions of the cells (1-based), or null when blockage is off.
inline const double* blocked_cells(const overland_state& ov) {
  return ov.ovr_flow_block && !ov.ovr_flow_block_cell.empty() ? ov.ovr_flow_block_cell.data() : nullptr;
}

// Share of cell c's area open to overland water: 1 without blockage.
inline double open_share(const double* blocked, int c) {
  return blocked && blocked[c] < 1.0 ? 1.0 - blocked[c] : 1.0;
}

}  // namespace nivra
