// The companion of a groundwater hot-start: the water table a groundwater
// run writes at its end (`<project>.gw_hotstart`, which a next run reads
// as its WATER_TABLE) holds the heads of the last solve; the water that
// has reached the table since (the recharge, and what the streams, tile
// drains and lakes exchanged with the aquifer), which the next solve would
// take in, is written beside it as `<project>.gw_hotstart.state`:
//
//   NIVRA_GROUNDWATER_STATE
//   CLOCK dt since next sweep
//                     the solves' clock: the step (s), the seconds since the
//                     last solve and until the next is due, and the sweep
//                     the next solve begins with (1 or 2)
//   CELLS n
//   CELL c water table
//                     the water waiting for cell c's table, m over the
//                     cell, and the table to the last digit, m (the map
//                     holds it to nine decimals; a file written before the
//                     table was carried has only the water)
//   END
//
// A run whose WATER_TABLE map has such a companion beside it takes that
// water in at its first solve, takes the companion's table where the map
// agrees with it to its nine decimals, goes on with the sweeps, and takes up the
// clock when its first event is the writing run's event going on (the
// soil hot-start's fronts go on). A file without the CLOCK line (written
// before it was carried) leaves the run its own clock and sweep.
#pragma once

#include <cstdio>

namespace nivra {

struct model_state;
class guarded_file;

void write_groundwater_state_file(std::FILE* f, const model_state& ms);

// Reads the companion into the recharge of the first solve. False after a
// message naming the file and line: the run is stopped.
bool read_groundwater_state_file(guarded_file& f, model_state& ms);

}  // namespace nivra
