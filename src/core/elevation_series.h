// Named tables of (x, y) pairs looked up by x: rating curves of hydraulic
// structures and overland boundaries (discharge against a water level or a
// depth), rule curves and pump ratings. The file is plain text of blocks:
//
//   NIVRA_ES                      (the first 8 characters of the line)
//   "name of the series"          (its first token, quotes removed)
//   x y                           (one pair per line, x ascending)
//   ...
//   END_ES                        (the first 6 characters of the line)
//
// Text between blocks is skipped. Every series of a run sits on the
// process-wide list, read when the project file names the file
// (ELEV_SERIES_FILE) and emptied at the end of the run, so a run never
// sees the series of an earlier one.
#pragma once

#include <string>
#include <vector>

namespace nivra {

class guarded_file;

struct elevation_series {
  std::vector<double> x;  // ascending (equal neighbours make a step)
  std::vector<double> y;
  std::string name;       // at most 149 characters
  int count = 0;
};

elevation_series* new_elev_series();
void es_free_all();

// Reads every block of the file onto the list and prints "%d elevation
// series read from file %s". A file that cannot be opened, a pair line that
// is not two finite numbers, x values that go down, and a block that the
// file ends inside (no END_ES) stop the run with a message naming the file
// and the line; false then.
bool read_elev_series_file(const std::string& file_name);

// Reads the next block: 1 a block, 0 the end of the file before a header,
// -1 a fault (its message, naming the file and the line, is printed).
// line_no, when given, counts the lines read from the file.
int read_elev_series(guarded_file& f, int* line_no = nullptr);

// The first series on the list whose name begins with `name` (case
// matters); null when none does.
elevation_series* find_elev_series(const std::string& name);

// The number (1, 2, ... in reading order) of the first series whose name
// begins with `name`, 0 when none does; and the series of a number (null
// for 0 or a number beyond the list).
int elev_series_index(const std::string& name);
const elevation_series* elev_series_number(int number);

// y at x by linear interpolation, and y of the interval that holds x (the
// step lookup); below the first x the first y, above the last x the last y;
// a series of one pair gives its y everywhere. A missing or empty series
// prints its message and stops the run (code 4000 through the reporter);
// the value is then 0.
double elev_series_interp(double x, const elevation_series* series);
double elev_series_step(double x, const elevation_series* series);

}  // namespace nivra
