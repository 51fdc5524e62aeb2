// The PAV hydrograph file (the outlet and location hydrographs of a run
// gathered ten values to a line for the companion program PAV) and the
// single gridded dataset record.
#pragma once

#include "core/arrays.h"

namespace nivra {

struct model_state;

class guarded_file;
struct output_state;

// Reads the outlet hydrograph (time, discharge per line) and, when it is
// open, the location file (a count line, one description line per
// location, then time and one discharge per location per line) and writes
// the PAV file.
void write_pav_hydrograph_file(guarded_file& outlet_file, guarded_file& pav_file,
                               guarded_file& location_file, const char* pav_name,
                               long start_yyyymmdd, long start_hhmm, long interval,
                               long line_count);

// Appends one record to an open gridded dataset: the time, the active flag
// of every grid position and the value of every position (values[1],
// values[2], ... for the active ones in row-major order, 0 elsewhere).
void write_ts_single(guarded_file& dataset_file, double time, int rows, int cols,
                     const array2d<int>& mask, const double* values, int binary);

// The head of the hydrograph-location output that the PAV file copies: the
// number of locations, then one description line per location. Written
// when the location output is opened, before its first series line.
void write_hyd_location_header(const output_state& output);
// The map phase's row after the channel set-up: with explicit channels the
// locations are link/node pairs of the channel input, so the head waits
// for the channel set-up that reads and checks them (without channels the
// opening of the file writes it).
void init_hyd_location_output(model_state& ms);

}  // namespace nivra
