// The companion of a groundwater hot-start: the water table a groundwater
// run writes at its end (`<project>.gw_hotstart`, which a next run reads
// as its WATER_TABLE) holds the heads of the last solve; the water that
// has reached the table since (the recharge, and what the streams, tile
// drains and lakes exchanged with the aquifer), which the next solve would
// take in, is written beside it as `<project>.gw_hotstart.state`:
//
//   NIVRA_GROUNDWATER_STATE
//   CELLS n
//   CELL c water      the water waiting for cell c's table, m over the cell
//   END
//
// A run whose WATER_TABLE map has such a companion beside it takes that
// water in at its first solve.
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
