// Named time series of (time, value) pairs read from "NIVRA_TS" blocks and
// looked up by time with linear interpolation. All series of a run sit on
// the process-wide list, freed at the end of the run.
#pragma once

#include <string>
#include <vector>

#include "core/text.h"

namespace nivra {

class guarded_file;

struct time_series {
  std::vector<double> times;   // 0-based, in file order
  std::vector<double> values;
  int relative = 0;            // 1 RELATIVE, 0 ABSOLUTE
  std::string name;            // at most 149 characters
  int count = 0;
  int cursor = 0;              // interval found by the last lookup
};

struct ts_index_entry {
  int id = 0;
  time_series* series = nullptr;
};

// The time of a relative entry is its Julian date minus this offset, so that
// year 0, month 0 means day + hour / 24 + minute / 1440 days.
inline constexpr double relative_time_offset = 1721028.5;

time_series* ts_new();
void ts_free_all();
int ts_keyword(const std::string& line);
// Reads every block of the file onto the list. A file that cannot be
// opened, an entry line that is not a date and one finite value (a RELATIVE
// entry: year and month 0 and the span in days, hours and minutes), and
// times out of order stop the run with a message naming the file (and the
// line); false then.
bool read_time_series_file(const std::string& file_name);
// Reads the next block: 1 a block, 0 the end of the file, -1 an entry line
// that is not an entry (the message, naming the file and the line, is
// printed). line_no, when given, counts the lines read from the file.
int read_time_series(guarded_file& f, int* line_no = nullptr);
// Reads the blocks of an open series file with read_block (1 a block, 0 the
// end of the file, -1 a fault whose message it printed, counting the lines
// in its second argument): the number of blocks, or -1 after a fault, with
// the run stopped.
int read_series_blocks(guarded_file& f, int (*read_block)(guarded_file&, int*));
time_series* find_time_series(const std::string& name);
double ts_value_at(double t, time_series* series);
double ts_value_by_id(int id, double t);
// Whether the id list holds the id with a series.
bool ts_index_holds(int id);
// The series of an id of the list (the first entry of the id); null when
// the list does not hold it.
const time_series* ts_by_id(int id);
// Adds an id entry in front of the older ones.
void ts_add_index(int id, time_series* series);
// Makes n absolute series "<base>_%04d" from the data lines that follow in
// the file (a date of five whole numbers, then one value per point), up to
// END_TS or a line that does not begin with a digit, which is left for the
// caller. A data line without a calendar date or a finite value for every
// point stops the run with a message naming the file and the line; null
// then.
time_series* read_xy_boundary_series(guarded_file& f, int n, const std::string& base_name);

}  // namespace nivra
