#include "core/time_series.h"

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

// The entry on one line: year month day hour minute value. A malformed line
// gives the fields it could read and zero for the rest.
void parse_entry(const std::string& line, int relative, double& t, double& v) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  v = 0.0;
  std::sscanf(line.c_str(), "%d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &v);
  t = julian_date(y, mo, d, h, mi, 0.0);
  if (relative) t -= relative_time_offset;
}

}  // namespace

int read_time_series(guarded_file& f) {
  if (!f.fp || std::feof(f.fp)) return 0;
  std::string line;
  for (;;) {
    if (!read_line(line, f)) return 0;
    if (ts_keyword(line) == 0) break;
  }
  time_series* ts = ts_new();
  if (read_line(line, f)) {
    std::string name = trim_blanks(line);
    ts->name = std::string(strip_quotes_view(name)).substr(0, 149);
  }
  if (read_line(line, f)) ts->relative = ts_keyword(line) == 1 ? 1 : 0;
  // Entries up to END_TS (or the end of the file).
  while (read_line(line, f)) {
    if (ts_keyword(line) == 3) break;
    double t, v;
    parse_entry(line, ts->relative, t, v);
    ts->times.push_back(t);
    ts->values.push_back(v);
  }
  ts->count = static_cast<int>(ts->times.size());
  std::printf("Read time series %s\n", ts->name.c_str());
  return 1;
}

void read_time_series_file(const std::string& file_name) {
  guarded_file f;
  if (!open_guarded_file(f, file_name, "r")) {
    std::printf("Error: Time series file not found [%s]\n", file_name.c_str());
    return;
  }
  std::size_t first = process.ts_list.size();
  int blocks = 0;
  while (read_time_series(f)) ++blocks;
  std::printf("%d time series read from file %s\n", blocks, file_name.c_str());
  // A series whose times go backwards cannot be interpolated: refuse it now,
  // naming the file, rather than meet it in the middle of a run.
  for (std::size_t k = first; k < process.ts_list.size(); ++k) {
    const time_series& ts = *process.ts_list[k];
    for (int i = 1; i < ts.count; ++i) {
      if (ts.times[i] < ts.times[i - 1]) {
        std::printf("Error: the times of time series [%s] in file %s are out of order at entry %d.\n",
                    ts.name.c_str(), file_name.c_str(), i + 1);
        set_error(own_message_code);
        report_error();
        return;
      }
    }
  }
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
    card_line cl(line);
    int v[5] = {0, 0, 0, 0, 0};
    bool ok = true;
    for (int q = 0; q < 5; ++q) ok = next_token_int(cl, v[q]) && ok;
    double t = ok ? julian_date(v[0], v[1], v[2], v[3], v[4], 0.0) : -1.0;
    for (int p = 0; p < n; ++p) {
      double val = 0.0;
      next_token_double(cl, val);
      made[p]->times[k] = t;
      made[p]->values[k] = val;
    }
  }
  // The line that ended the block is left for the caller.
  std::fseek(f.fp, stop_at, SEEK_SET);
  return made.front();
}

}  // namespace nivra
