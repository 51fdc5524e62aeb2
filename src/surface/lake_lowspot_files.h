// Readers of the overland lake file and of the low-spot file, called by the
// map phase right after the overland lake map and the dike map.
#pragma once

#include "core/arrays.h"
#include "core/guarded_file.h"
#include "inputs/grid_state.h"
#include "surface/lake_state.h"

namespace nivra {

// Reads the overland lake file (kind 1) into table[1..num_lakes]. False
// after an error (the run is stopped).
bool read_lake_file(guarded_file& f, int kind, int num_lakes, array1d<olake_record>& table);

// Reads the low-spot file into records[1..count]. False after an error
// (the run is stopped).
bool read_lowspot_file(guarded_file& f, const char* name, int& count, array1d<lowspot>& records);

}  // namespace nivra
