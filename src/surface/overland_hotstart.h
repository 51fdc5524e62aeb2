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
//   EVENT t                        the model time the run ended inside an
//                                  event (Julian days; 0: between events)
//   DEPTH cell h                   the depth to the last digit, m (the map
//                                  holds it to nine decimals; one line per
//                                  cell that holds water)
//   FACES cell qx qy               the discharge across the cell's right and
//                                  lower faces in the last step, m3/s (one
//                                  line per cell whose faces carried water;
//                                  the others carried none)
//   ADE_STEPPING sweep substep factor calm
//                                  the ADE schemes' stepping: the sweep the
//                                  next step begins with (1: x first), the
//                                  last sub-step (s), the stability factor
//                                  and the calm sub-step choices since it
//                                  last changed
//   EXPLICIT_STEPPING sweep substep calls
//                                  the explicit scheme's: the sweep of the
//                                  last step (0: x first), the shortened
//                                  sub-step (s) and the steps still to start
//                                  on it
//   SEDIMENT classes               the sediment classes of soil erosion (0: none)
//   CELL_SEDIMENT cell then per class: suspended loose eroded suspended_share
//                 loose_share      a cell's sediment (m3; the parent soil
//                                  eroded, m3 at most 0; the class's share of
//                                  the suspended and the loose sediment)
//   OUTLET_SEDIMENT r              the sediment (all classes) the outlet passed
//                                  in the last step, m3/s
//   GROUND cell z                  with ADJUST_ELEV, the ground the cell ended
//                                  on, m (one line per cell)
//   END
//
// Lines starting with # are comments. Every number is checked, every lake
// and cell must exist, none may be given twice, and the file must end with
// END. EVENT, DEPTH, FACES, the stepping lines, OUTLET_SEDIMENT and GROUND
// may be left out (a file written before they were carried): the run then
// starts as after an event, on the map's depths, the faces still, the
// stepping afresh, the outlet's sediment at 0 and the ground from the
// ELEVATION map. A DEPTH the map does not hold to its nine decimals (a map
// changed since) leaves the map's.
#pragma once

#include <cstdio>
#include <vector>

namespace nivra {

struct overland_state;
struct ov_sed_cells;
struct lake_state;
struct grid_state;
class guarded_file;

// The sediment of soil erosion an overland hot-start carries: the cells'
// sediment, the rate at which the outlet passed it in the last step (m3/s;
// a run without channels shows it as the first value of OUTLET_SED_FLUX)
// and, with ADJUST_ELEV, the ground it moves (per cell, m; null: the ground
// does not move).
struct ov_sed_handover {
  const ov_sed_cells* cells = nullptr;
  double outlet_rate = 0.0;
  const double* ground = nullptr;
};

// ended_in_event: the model time the run ended while an event went on
// (Julian days), 0 when it ended between events.
void write_overland_state_file(std::FILE* f, const overland_state& ov, const lake_state& lakes,
                               const grid_state& grid, const ov_sed_handover& sed, double ended_in_event);

// What the reader found besides the state it set: the outlet's sediment
// rate of the writing run's last step (m3/s, 0 when the file has none) and
// the ground it carried (per cell 1..n, m; empty when none).
struct ov_sed_carried {
  double outlet_rate = 0.0;
  std::vector<double> ground;
};

// Reads the companion after the overland lakes are set up from their map
// and file and the cells' sediment is made: the lakes take the carried
// levels, volumes and cells, the faces their discharges, the routing
// scheme its stepping, the cells their sediment (a file that carries
// another number of classes than sed holds, or none, stops the run), the
// time the writing run ended inside an event goes to
// carried_event_until, and the carried outlet discharge goes to
// qout_at_start when `outlet` (a run without channels). False after a message naming the file and line: the
// run is stopped.
bool read_overland_state_file(guarded_file& f, overland_state& ov, lake_state& lakes, const grid_state& grid,
                              ov_sed_cells* sed, bool outlet, ov_sed_carried& carried);

}  // namespace nivra
