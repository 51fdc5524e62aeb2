// The companion of an overland hot-start: what the depth map of
// WRITE_OV_HOTSTART cannot hold, written beside it as `name.state` and read
// back by READ_OV_HOTSTART:
//
//   NIVRA_OVERLAND_STATE
//   OUTLET q                       the outlet discharge of the last step, m3/s
//   LAKES n                        the overland lakes of the lake map
//   LAKE lake level volume exchange
//                                  an overland lake's level (m), volume (m3)
//                                  and the overland water it has taken since
//                                  its last update (m3)
//   CELL lake row column           a cell under the lake (one line per cell;
//                                  every cell of the lake map's lake among them)
//   SEDIMENT classes               the sediment classes of soil erosion (0: none)
//   CELL_SEDIMENT cell then per class: suspended loose eroded suspended_share
//                 loose_share      a cell's sediment (m3; the parent soil
//                                  eroded, m3 at most 0; the class's share of
//                                  the suspended and the loose sediment)
//   END
//
// Lines starting with # are comments. Every number is checked, every lake
// and cell must exist, none may be given twice, and the file must end with
// END.
#pragma once

#include <cstdio>

namespace nivra {

struct overland_state;
struct ov_sed_cells;
struct lake_state;
struct grid_state;
class guarded_file;

// sed: the cells' sediment with soil erosion, else null.
void write_overland_state_file(std::FILE* f, const overland_state& ov, const lake_state& lakes,
                               const grid_state& grid, const ov_sed_cells* sed);

// Reads the companion after the overland lakes are set up from their map
// and file and the cells' sediment is made: the lakes take the carried
// levels, volumes and cells, the cells their sediment (a file that carries
// another number of classes than sed holds, or none, stops the run), and
// the carried outlet discharge goes to qout_at_start when `outlet` (a run
// without channels). False after a message naming the file and line: the
// run is stopped.
bool read_overland_state_file(guarded_file& f, overland_state& ov, lake_state& lakes, const grid_state& grid,
                              ov_sed_cells* sed, bool outlet);

}  // namespace nivra
