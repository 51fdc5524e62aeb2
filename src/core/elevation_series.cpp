#include "core/elevation_series.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/time_series.h"
#include "core/tokens.h"

namespace nivra {

elevation_series* new_elev_series() {
  process.es_list.push_back(std::make_unique<elevation_series>());
  return process.es_list.back().get();
}

void es_free_all() { process.es_list.clear(); }

namespace {

bool is_header(const std::string& line) { return line.compare(0, 8, "NIVRA_ES") == 0; }
bool is_end(const std::string& line) { return line.compare(0, 6, "END_ES") == 0; }
bool is_blank(const std::string& line) { return line.find_first_not_of(" \t,\r") == std::string::npos; }

void stop_reading() {
  set_error(own_message_code);
  report_error();
}

// A pair line: two finite numbers and nothing else.
bool parse_pair(const std::string& line, double& x, double& y) {
  card_line cl(line);
  std::string tok;
  if (!next_token(cl, tok) || !whole_token_double(tok, x) || !std::isfinite(x)) return false;
  if (!next_token(cl, tok) || !whole_token_double(tok, y) || !std::isfinite(y)) return false;
  return !next_token(cl, tok);
}

}  // namespace

int read_elev_series(guarded_file& f, int* line_no) {
  if (!f.fp) return 0;
  int local_line = 0;
  int& n = line_no ? *line_no : local_line;
  std::string line;
  for (;;) {
    if (!read_line(line, f)) return 0;
    ++n;
    if (is_header(line)) break;
  }
  elevation_series* es = new_elev_series();
  const int header_line = n;
  if (read_line(line, f)) {
    ++n;
    card_line cl(line);
    std::string name;
    next_token(cl, name);
    es->name = std::string(strip_quotes_view(name)).substr(0, 149);
    if (es->name.empty() || is_end(line)) {
      std::printf("Error: line %d of the elevation series file %s, after the NIVRA_ES of line %d, gives no name of a "
                  "series.\n",
                  n, f.name.c_str(), header_line);
      return -1;
    }
    // A second series of a name could never be named.
    for (const auto& other : process.es_list)
      if (other.get() != es && other->name == es->name) {
        std::printf("Error: line %d of the elevation series file %s names the series [%s] a second time: every "
                    "series of a run has its own name.\n",
                    n, f.name.c_str(), es->name.c_str());
        return -1;
      }
  }
  for (;;) {
    if (!read_line(line, f)) {
      std::printf("Error: the elevation series [%s] that begins at line %d of the file %s has no END_ES line: "
                  "the file ends inside it.\n",
                  es->name.c_str(), header_line, f.name.c_str());
      return -1;
    }
    ++n;
    if (is_end(line)) break;
    if (is_blank(line)) continue;
    double x = 0.0, y = 0.0;
    if (!parse_pair(line, x, y)) {
      std::printf("Error: line %d of the elevation series file %s (series [%s]) is not a pair of numbers x y:\n%s\n",
                  n, f.name.c_str(), es->name.c_str(), line.c_str());
      return -1;
    }
    if (!es->x.empty() && x < es->x.back()) {
      std::printf("Error: line %d of the elevation series file %s (series [%s]) gives x = %g after %g: the x values "
                  "of a series rise from line to line.\n",
                  n, f.name.c_str(), es->name.c_str(), x, es->x.back());
      return -1;
    }
    es->x.push_back(x);
    es->y.push_back(y);
  }
  if (es->x.empty()) {
    std::printf("Error: the elevation series [%s] that begins at line %d of the file %s holds no pair before its "
                "END_ES at line %d.\n",
                es->name.c_str(), header_line, f.name.c_str(), n);
    return -1;
  }
  es->count = static_cast<int>(es->x.size());
  return 1;
}

bool read_elev_series_file(const std::string& file_name) {
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: Elevation series file not found [%s]\n", file_name.c_str());
    stop_reading();
    return false;
  }
  const int blocks = read_series_blocks(f, [](guarded_file& g, int* n) { return read_elev_series(g, n); });
  if (blocks < 0) return false;
  if (blocks == 0) {
    std::printf("Error: the elevation series file %s holds no series: each begins with a NIVRA_ES line.\n",
                file_name.c_str());
    stop_reading();
    return false;
  }
  std::printf("%d elevation series read from file %s\n", blocks, file_name.c_str());
  return true;
}

elevation_series* find_elev_series(const std::string& name) {
  for (auto& es : process.es_list)
    if (es->name.compare(0, name.size(), name) == 0) return es.get();
  return nullptr;
}

int elev_series_index(const std::string& name) {
  for (std::size_t k = 0; k < process.es_list.size(); ++k)
    if (process.es_list[k]->name.compare(0, name.size(), name) == 0) return static_cast<int>(k) + 1;
  return 0;
}

const elevation_series* elev_series_number(int number) {
  return number >= 1 && number <= static_cast<int>(process.es_list.size())
             ? process.es_list[static_cast<std::size_t>(number) - 1].get()
             : nullptr;
}

namespace {

// The interval i of x (x[i] <= x <= x[i + 1]), or -1 below the first x
// and n - 1 above the last; -2 for a series that cannot be looked up.
int interval_of(double x, const elevation_series* es) {
  if (!es) {
    std::printf("Error: attempting to extract a value from an elevation series that does not exist.\n");
    stop_reading();
    return -2;
  }
  const int n = es->count;
  if (n <= 0) {
    std::printf("Error: attempting to extract a value from an elevation series [%s] with no entries.\n",
                es->name.c_str());
    stop_reading();
    return -2;
  }
  if (n == 1 || x <= es->x[0]) return -1;
  if (x >= es->x[n - 1]) return n - 1;
  // The first i with x <= x[i + 1]; x[i] <= x holds as the x values rise.
  const auto it = std::lower_bound(es->x.begin() + 1, es->x.end(), x);
  return static_cast<int>(it - es->x.begin()) - 1;
}

}  // namespace

double elev_series_interp(double x, const elevation_series* es) {
  const int i = interval_of(x, es);
  if (i == -2) return 0.0;
  if (i == -1) return es->y[0];
  if (i == es->count - 1) return es->y[i];
  const double span = es->x[i + 1] - es->x[i];
  if (span <= 0.0) return es->y[i + 1];
  const double f = (x - es->x[i]) / span;
  return (1.0 - f) * es->y[i] + f * es->y[i + 1];
}

double elev_series_step(double x, const elevation_series* es) {
  const int i = interval_of(x, es);
  if (i == -2) return 0.0;
  return es->y[i < 0 ? 0 : i];
}

}  // namespace nivra
