#include "core/time_series.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/dates.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/tokens.h"

namespace nivra {

time_series* ts_new() {
  process.ts_list.push_back(std::make_unique<time_series>());
  return process.ts_list.back().get();
}

void ts_free_all() {
  // The id entries point into the series: they go with them.
  process.ts_id_list.clear();
  process.ts_list.clear();
}

int ts_keyword(const std::string& line) {
  if (line.compare(0, 6, "END_TS") == 0) return 3;
  if (line.compare(0, 8, "ABSOLUTE") == 0) return 2;
  if (line.compare(0, 8, "RELATIVE") == 0) return 1;
  if (line.compare(0, 8, "NIVRA_TS") == 0) return 0;
  return 4;
}

namespace {

std::string trim_blanks(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// The longest span a RELATIVE entry may give in each of its day, hour and
// minute fields (ten thousand years of days, and as many hours and minutes).
constexpr int relative_field_limit = 3652425;

// Stops the run after the reader printed its own message.
void stop_reading() {
  set_error(own_message_code);
  report_error();
}

// The entry on one line: year month day hour minute (whole numbers) and the
// value. An absolute entry names a date of the calendar; a relative one
// counts days, hours and minutes from 0, with year and month 0. False, with
// the reason, when the line is not such an entry.
bool parse_entry(const std::string& line, int relative, double& t, double& v, const char*& why) {
  card_line cl(line);
  std::string tok;
  int f[5] = {0, 0, 0, 0, 0};
  for (int& x : f) {
    if (!next_token(cl, tok) || !whole_token_int(tok, x)) {
      why = "does not begin with five whole numbers (year, month, day, hour, minute)";
      return false;
    }
  }
  if (!next_token(cl, tok) || !whole_token_double(tok, v) || !std::isfinite(v)) {
    why = "has no finite value after its date";
    return false;
  }
  if (next_token(cl, tok)) {
    why = "holds more than a date and one value";
    return false;
  }
  if (relative) {
    if (f[0] != 0 || f[1] != 0) {
      why = "is a RELATIVE entry with a year or month other than 0";
      return false;
    }
    for (int k = 2; k < 5; ++k)
      if (f[k] < 0 || f[k] > relative_field_limit) {
        why = "is a RELATIVE entry with a negative or too large day, hour or minute";
        return false;
      }
  } else if (!is_calendar_date(f[0], f[1], f[2], f[3], f[4])) {
    why = "names no date of the calendar";
    return false;
  }
  t = julian_date(f[0], f[1], f[2], f[3], f[4], 0.0);
  if (relative) t -= relative_time_offset;
  return true;
}

bool is_blank(const std::string& line) {
  return line.find_first_not_of(" \t,") == std::string::npos;
}

}  // namespace

int read_time_series(guarded_file& f, int* line_no) {
  if (!f.fp || std::feof(f.fp)) return 0;
  int local_line = 0;
  int& n = line_no ? *line_no : local_line;
  std::string line;
  for (;;) {
    if (!read_line(line, f)) return 0;
    ++n;
    if (ts_keyword(line) == 0) break;
  }
  time_series* ts = ts_new();
  const int header_line = n;
  if (read_line(line, f)) {
    ++n;
    std::string name = trim_blanks(line);
    ts->name = std::string(strip_quotes_view(name)).substr(0, 149);
    if (ts->name.empty() || ts_keyword(line) != 4) {
      std::printf("Error: line %d of the time series file %s, after the NIVRA_TS of line %d, gives no name of a "
                  "series.\n",
                  n, f.name.c_str(), header_line);
      return -1;
    }
    // A second series of a name could never be named.
    for (const auto& other : process.ts_list)
      if (other.get() != ts && other->name == ts->name) {
        std::printf("Error: line %d of the time series file %s names the series [%s] a second time: every series "
                    "of a run has its own name.\n",
                    n, f.name.c_str(), ts->name.c_str());
        return -1;
      }
  }
  if (read_line(line, f)) {
    ++n;
    // The times of the series are dates (ABSOLUTE) or spans from its start
    // (RELATIVE); another word leaves its times unknown.
    const int type = ts_keyword(trim_blanks(line));
    if (type != 1 && type != 2) {
      std::printf("Error: line %d of the time series file %s gives the series [%s] the type \"%s\"; a series is "
                  "ABSOLUTE (its lines give dates) or RELATIVE (days, hours and minutes from its start).\n",
                  n, f.name.c_str(), ts->name.c_str(), trim_blanks(line).c_str());
      return -1;
    }
    ts->relative = type == 1 ? 1 : 0;
  }
  // Entries up to END_TS; blank lines hold none.
  bool ended = false;
  while (read_line(line, f)) {
    ++n;
    if (ts_keyword(line) == 3) {
      ended = true;
      break;
    }
    if (is_blank(line)) continue;
    double t = 0.0, v = 0.0;
    const char* why = "";
    if (!parse_entry(line, ts->relative, t, v, why)) {
      std::printf("Error: line %d of the time series file %s (series [%s]) %s:\n%s\n", n, f.name.c_str(),
                  ts->name.c_str(), why, line.c_str());
      return -1;
    }
    ts->times.push_back(t);
    ts->values.push_back(v);
  }
  // A series the file cuts off may have lost entries; one without entries
  // has no value to give.
  if (!ended) {
    std::printf("Error: the time series [%s] that begins at line %d of the file %s has no END_TS line: the file ends "
                "inside it.\n",
                ts->name.c_str(), header_line, f.name.c_str());
    return -1;
  }
  if (ts->times.empty()) {
    std::printf("Error: the time series [%s] that begins at line %d of the file %s holds no entry (a date and a "
                "value) before its END_TS at line %d.\n",
                ts->name.c_str(), header_line, f.name.c_str(), n);
    return -1;
  }
  ts->count = static_cast<int>(ts->times.size());
  std::printf("Read time series %s\n", ts->name.c_str());
  return 1;
}

int read_series_blocks(guarded_file& f, int (*read_block)(guarded_file&, int*)) {
  int blocks = 0;
  int line_no = 0;
  for (;;) {
    const int got = read_block(f, &line_no);
    if (got < 0) {
      stop_reading();
      return -1;
    }
    if (got == 0) return blocks;
    ++blocks;
  }
}

bool read_time_series_file(const std::string& file_name) {
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: Time series file not found [%s]\n", file_name.c_str());
    stop_reading();
    return false;
  }
  std::size_t first = process.ts_list.size();
  const int blocks = read_series_blocks(f, [](guarded_file& g, int* n) { return read_time_series(g, n); });
  if (blocks < 0) return false;
  if (blocks == 0) {
    std::printf("Error: the time series file %s holds no series: each begins with a NIVRA_TS line.\n",
                file_name.c_str());
    stop_reading();
    return false;
  }
  std::printf("%d time series read from file %s\n", blocks, file_name.c_str());
  // A series whose times go backwards cannot be interpolated: refuse it now,
  // naming the file, rather than meet it in the middle of a run.
  for (std::size_t k = first; k < process.ts_list.size(); ++k) {
    const time_series& ts = *process.ts_list[k];
    for (int i = 1; i < ts.count; ++i) {
      if (ts.times[i] < ts.times[i - 1]) {
        std::printf("Error: the times of time series [%s] in file %s are out of order at entry %d.\n",
                    ts.name.c_str(), file_name.c_str(), i + 1);
        stop_reading();
        return false;
      }
    }
  }
  return true;
}

time_series* find_time_series(const std::string& name) {
  for (auto& ts : process.ts_list)
    if (ts->name.compare(0, name.size(), name) == 0) return ts.get();
  return nullptr;
}

double ts_value_at(double t, time_series* ts) {
  if (!ts) {
    std::printf("Error: attempting to extract a value from a time series that does not exist.\n");
    set_error(own_message_code);
    report_error();
    return 0.0;
  }
  if (ts->count <= 0) {
    std::printf("Error: attempting to extract a value from a time series [%s] with no entries.\n",
                ts->name.c_str());
    set_error(own_message_code);
    report_error();
    return 0.0;
  }
  const int n = ts->count;
  if (n == 1 || t <= ts->times[0]) return ts->values[0];
  if (t >= ts->times[n - 1]) return ts->values[n - 1];
  auto search = [&](int from) -> int {
    for (int i = from < 0 ? 0 : from; i < n - 1; ++i)
      if (ts->times[i] <= t && t <= ts->times[i + 1]) return i;
    return -1;
  };
  int i = search(ts->cursor);
  if (i < 0) i = search(0);
  if (i < 0) {
    std::printf("Error: something is really messed up with your time series [%s].\n",
                ts->name.c_str());
    return 0.0;
  }
  ts->cursor = i;
  double span = ts->times[i + 1] - ts->times[i];
  // Two entries at one time make a step: at that instant the later value holds.
  if (span <= 0.0) return ts->values[i + 1];
  double w = (t - ts->times[i]) / span;
  return (1.0 - w) * ts->values[i] + w * ts->values[i + 1];
}

void ts_add_index(int id, time_series* series) {
  process.ts_id_list.insert(process.ts_id_list.begin(), ts_index_entry{id, series});
}

bool ts_index_holds(int id) { return ts_by_id(id) != nullptr; }

const time_series* ts_by_id(int id) {
  for (const ts_index_entry& e : process.ts_id_list)
    if (e.id == id) return e.series;
  return nullptr;
}

double ts_value_by_id(int id, double t) {
  for (const ts_index_entry& e : process.ts_id_list)
    if (e.id == id) return ts_value_at(t, e.series);
  std::printf("Error: attempting to extract a value from an unknown time series in the time series "
              "table.    Check the mapping table file (.cmt). The specified time series index is "
              "%d, but the \nindex is not found in the time series index table.\n",
              id);
  set_error(own_message_code);
  report_error();
  return 0.0;
}

time_series* read_xy_boundary_series(guarded_file& f, int n, const std::string& base_name) {
  if (n < 1 || !f.fp) return nullptr;
  auto is_data = [](const std::string& l) {
    return !l.empty() && l.compare(0, 6, "END_TS") != 0 && l[0] >= '0' && l[0] <= '9';
  };
  // Count the data lines, then come back to read them.
  long start = std::ftell(f.fp);
  std::string line;
  int lines = 0;
  long stop_at = start;
  for (;;) {
    long here = std::ftell(f.fp);
    if (!read_line(line, f) || !is_data(line)) {
      stop_at = here;
      break;
    }
    ++lines;
  }
  std::fseek(f.fp, start, SEEK_SET);
  std::string base = base_name.substr(0, 100);
  std::vector<time_series*> made;
  for (int p = 0; p < n; ++p) {
    time_series* ts = ts_new();
    char nm[160];
    std::snprintf(nm, sizeof nm, "%s_%04d", base.c_str(), p);
    ts->name = nm;
    ts->relative = 0;
    ts->count = lines;
    ts->times.assign(lines, 0.0);
    ts->values.assign(lines, 0.0);
    made.push_back(ts);
  }
  for (int k = 0; k < lines; ++k) {
    if (!read_line(line, f)) break;
    // A date of the calendar in five whole numbers, then one finite value
    // per point.
    card_line cl(line);
    std::string tok;
    int v[5] = {0, 0, 0, 0, 0};
    bool ok = true;
    for (int& x : v) ok = ok && next_token(cl, tok) && whole_token_int(tok, x);
    const char* why = nullptr;
    if (!ok) why = "does not begin with five whole numbers (year, month, day, hour, minute)";
    else if (!is_calendar_date(v[0], v[1], v[2], v[3], v[4])) why = "names no date of the calendar";
    const double t = why ? 0.0 : julian_date(v[0], v[1], v[2], v[3], v[4], 0.0);
    // The values of a time are looked up between the dates around it: the
    // dates rise (or repeat) down the block.
    if (!why && k > 0 && t < made.front()->times[k - 1]) why = "gives a date before the date of the line above it";
    for (int p = 0; p < n && !why; ++p) {
      double val = 0.0;
      if (!next_token(cl, tok) || !whole_token_double(tok, val) || !std::isfinite(val)) {
        why = "does not hold a finite value for every point";
        break;
      }
      made[p]->times[k] = t;
      made[p]->values[k] = val;
    }
    if (why) {
      std::printf("Error: data line %d of the XY boundary block of %s in file %s %s:\n%s\n", k + 1,
                  base.c_str(), f.name.c_str(), why, line.c_str());
      stop_reading();
      return nullptr;
    }
  }
  // The line that ended the block is left for the caller.
  std::fseek(f.fp, stop_at, SEEK_SET);
  return made.front();
}

}  // namespace nivra
