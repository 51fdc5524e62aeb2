#include "hydromet/weather_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>

#include "core/dates.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"

namespace nivra {

namespace {

constexpr double missing = std::numeric_limits<double>::quiet_NaN();
constexpr double inch_hg_to_mb = 1013.25 / 29.92;
constexpr double knot_to_m_per_s = 0.514444;
constexpr double hour_days = 1.0 / 24.0;

double fahrenheit_to_celsius(double f) { return (f - 32.0) * 0.5555555555555556; }

// The physical range of each delivered quantity, in model units.
struct quantity_range {
  const char* name;
  double lo, hi;
  const char* unit;
};
constexpr quantity_range pressure_range{"air pressure", 300.0, 1100.0, "mb"};
constexpr quantity_range humidity_range{"relative humidity", 0.0, 100.0, "%"};
constexpr quantity_range cloud_range{"cloud cover", 0.0, 10.0, "tenths"};
constexpr quantity_range wind_range{"wind speed", 0.0, 120.0, "m/s"};
constexpr quantity_range temperature_range{"air temperature", -90.0, 65.0, "deg C"};
constexpr quantity_range radiation_range{"radiation", 0.0, 9999.9, "W/m2"};
constexpr quantity_range precipitation_range{"precipitation", 0.0, 1000.0, "mm/h"};

void stop() {
  set_error(own_message_code);
  report_error();
}

// A value outside its range: names the file, line and quantity, and stops.
bool out_of_range(std::string_view file, int line, const quantity_range& q, double v) {
  std::printf("Error: the weather file %.*s, line %d: the %s %g lies outside %g to %g %s.\n",
              static_cast<int>(file.size()), file.data(), line, q.name, v, q.lo, q.hi, q.unit);
  stop();
  return false;
}

// A missing value stays NaN; a valid one must lie within its range.
bool check_value(std::string_view file, int line, const quantity_range& q, double v) {
  if (std::isnan(v)) return true;
  return (v >= q.lo && v <= q.hi) || out_of_range(file, line, q, v);
}

bool check_values(std::string_view file, int line, const weather_values& v) {
  return check_value(file, line, pressure_range, v.pressure) && check_value(file, line, humidity_range, v.rel_humidity) &&
         check_value(file, line, cloud_range, v.cloud_cover) && check_value(file, line, wind_range, v.wind_speed) &&
         check_value(file, line, temperature_range, v.temperature) &&
         check_value(file, line, radiation_range, v.direct_rad) && check_value(file, line, radiation_range, v.global_rad);
}

bool bad_date(std::string_view file, int line, const weather_hour& h) {
  std::printf("Error: the weather file %.*s, line %d: %d/%d/%d hour %d is not a date and hour of the calendar.\n",
              static_cast<int>(file.size()), file.data(), line, h.year, h.month, h.day, h.hour);
  stop();
  return false;
}

bool is_hour_of_calendar(const weather_hour& h) { return is_calendar_date(h.year, h.month, h.day, h.hour, 0); }

// Every hour follows the one before it.
bool check_sequence(std::string_view file, int line, const std::vector<weather_values>& values) {
  if (values.size() < 2) return true;
  const weather_hour& a = values[values.size() - 2].date;
  const weather_hour& b = values.back().date;
  const double step = (weather_julian(b) - weather_julian(a)) * 24.0;
  if (std::fabs(step - 1.0) < 1e-6) return true;
  std::printf("Error: the weather file %.*s, line %d: %d/%d/%d hour %d does not follow %d/%d/%d hour %d by one hour;\n"
              "the weather records must be hourly, in time order, without gaps.\n",
              static_cast<int>(file.size()), file.data(), line, b.year, b.month, b.day, b.hour, a.year, a.month, a.day,
              a.hour);
  stop();
  return false;
}

bool blank(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r') return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A fixed-column field (columns from 1, inclusive) read as a number; a line
// ending before the field begins, or a field that is not a number, names
// the field and stops.
bool column_number(std::string_view file, int line_no, std::string_view line, int from, int to, const char* what,
                   bool whole, double& out) {
  if (static_cast<int>(line.size()) < from) {
    std::printf("Error: the weather file %.*s, line %d ends before its %s (columns %d-%d).\n",
                static_cast<int>(file.size()), file.data(), line_no, what, from, to);
    stop();
    return false;
  }
  const std::string_view text = trim(line.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from + 1)));
  bool ok;
  if (whole) {
    int v = 0;
    ok = whole_token_int(text, v);
    out = v;
  } else {
    ok = whole_token_double(text, out) && std::isfinite(out);
  }
  if (ok) return true;
  std::printf("Error: the weather file %.*s, line %d: its %s (columns %d-%d) holds \"%.*s\", not a number.\n",
              static_cast<int>(file.size()), file.data(), line_no, what, from, to, static_cast<int>(text.size()),
              text.data());
  stop();
  return false;
}

// The first n numbers of a line, whole numbers where whole[i] is set: 0
// when all were read (and, with exact, nothing follows), else the number
// (from 1) of the first value that is missing or wrong.
int line_numbers(const std::string& line, int n, const bool* whole, double* x, bool exact) {
  card_line cl(line);
  for (int i = 0; i < n; ++i) {
    std::string_view token;
    int w = 0;
    if (next_number_token(cl, token, x[i]) != 1 || !std::isfinite(x[i]) || (whole[i] && !whole_token_int(token, w)))
      return i + 1;
  }
  std::string_view token;
  double extra = 0.0;
  return exact && next_number_token(cl, token, extra) != 0 ? n + 1 : 0;
}

// The station table's format.
void print_guv_format() {
  std::printf("Make sure your file is in the correct format: eleven values per line, the\n"
              "date and hour whole numbers, the readings numbers, as in the following\n"
              "format table:\n");
  std::printf(" Format:\n1   2   3   4    5     6           7        8         9    10        11  \n"
              "Yr  Mo  Day Hr  Press. RelHumidity SkyCover WindSpeed Temp DirectRad GlobalRad\n"
              "int int int int float  float       float    float     float float    float\n\n");
}

// The base name of a gridded hour and the eight grids of the hour.
struct grid_kind {
  const char* suffix;
  const char* name;
  const quantity_range* range;
};
constexpr grid_kind grid_kinds[8] = {
    {"_Clod.asc", "Cloud", &cloud_range},        {"_Prcp.asc", "Precip", &precipitation_range},
    {"_Pres.asc", "Pressure", &pressure_range},  {"_RlHm.asc", "Relative Humidity", &humidity_range},
    {"_Temp.asc", "Temperature", &temperature_range}, {"_Drad.asc", "Direct Radiation", &radiation_range},
    {"_Grad.asc", "Global Radiation", &radiation_range}, {"_WndS.asc", "Wind Speed", &wind_range},
};
constexpr int temperature_grid = 4;

// Reads a text file whole into text (its storage is kept from call to call).
bool read_whole(const std::string& name, std::string& text) {
  guarded_file f;
  if (!open_input_file(f, name)) return false;
  text.clear();
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.fp)) > 0) text.append(buf, n);
  return true;
}

// Cuts the next number off text at pos: false when none is left or the
// token is not a number.
bool next_number(const std::string& text, std::size_t& pos, double& v) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r' ||
                               text[pos] == ','))
    ++pos;
  if (pos >= text.size()) return false;
  const char* start = text.c_str() + pos;
  char* end = nullptr;
  v = std::strtod(start, &end);
  if (end == start) return false;
  const char c = *end;
  if (c != '\0' && c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != ',') return false;
  pos += static_cast<std::size_t>(end - start);
  return true;
}

// Skips the word of a header line.
bool next_word(const std::string& text, std::size_t& pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r')) ++pos;
  if (pos >= text.size()) return false;
  while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t' && text[pos] != '\n' && text[pos] != '\r') ++pos;
  return true;
}

struct grid_header {
  int cols = 0, rows = 0;
  double x = 0.0, y = 0.0, size = 0.0, no_data = 0.0;
};

// The six header lines of a weather grid; false after the fault was printed.
bool read_grid_header(const std::string& name, const std::string& text, std::size_t& pos, grid_header& h) {
  double v[6];
  for (int i = 0; i < 6; ++i) {
    if (!next_word(text, pos) || !next_number(text, pos, v[i]) || !std::isfinite(v[i])) {
      std::printf("Error: the header of the weather grid %s is not six lines of a word and a number.\n", name.c_str());
      return false;
    }
  }
  if (v[0] < 1 || v[0] > 1e7 || v[0] != std::floor(v[0]) || v[1] < 1 || v[1] > 1e7 || v[1] != std::floor(v[1]) ||
      v[0] * v[1] > 2e9 || !(v[4] > 0.0)) {
    std::printf("Error: the weather grid %s has %g columns, %g rows and cells of %g: it takes whole numbers of\n"
                "columns and rows from 1 and cells larger than 0.\n",
                name.c_str(), v[0], v[1], v[4]);
    return false;
  }
  h.cols = static_cast<int>(v[0]);
  h.rows = static_cast<int>(v[1]);
  h.x = v[2];
  h.y = v[3];
  h.size = v[4];
  h.no_data = v[5];
  return true;
}

// Reads a weather grid whole with its header; kind names the grid in the
// message of a file that cannot be opened. False after the fault was
// printed and reported.
bool read_grid(const std::string& name, const char* kind, std::string& text, std::size_t& pos, grid_header& h) {
  if (!read_whole(name, text)) {
    if (kind) std::printf("ERROR!!! CANNOT OPEN %s FILE\n", kind);
    std::printf("Error: the weather grid %s cannot be opened.\n", name.c_str());
    stop();
    return false;
  }
  pos = 0;
  if (read_grid_header(name, text, pos, h)) return true;
  stop();
  return false;
}

}  // namespace

double weather_julian(const weather_hour& h) { return julian_date(h.year, h.month, h.day, h.hour, 0, 0.0); }

weather_hour next_weather_hour(weather_hour h) {
  if (++h.hour < 24) return h;
  h.hour = 0;
  if (++h.day <= days_in_month(h.year, h.month)) return h;
  h.day = 1;
  if (++h.month <= 12) return h;
  h.month = 1;
  ++h.year;
  return h;
}

double diffuse_of_global(double global, double direct) {
  if (direct >= radiation_not_measured) return global >= radiation_not_measured ? radiation_not_measured : global;
  if (global >= radiation_not_measured) return 0.0;
  return global > direct ? global - direct : 0.0;
}

sky_radiation split_sky_radiation(double sky, double direct, double modelled_beam) {
  if (direct < radiation_not_measured) return {sky, direct};
  // A global of 0 by day with no beam measured is a station that measured
  // no radiation (files write 0 there as often as 9999): model the beam.
  if (sky >= radiation_not_measured || !(sky > 0.0)) return {0.0, modelled_beam > 0.0 ? modelled_beam : 0.0};
  const double beam = std::fmin(std::fmax(modelled_beam, 0.0), sky);
  return {sky - beam, beam};
}

// ---- Repairs of missing values.

weather_repairs::weather_repairs() {
  for (auto& q : by_hour_) q.fill(missing);
  last_.fill(missing);
}

bool weather_repairs::repair(weather_values& v, int& repaired, const char*& quantity) {
  struct slot {
    double* value;
    int hourly;  // index into by_hour_, or -1
    const char* name;
  };
  const slot slots[7] = {{&v.rel_humidity, 0, "relative humidity"}, {&v.temperature, 1, "air temperature"},
                         {&v.direct_rad, 2, "direct radiation"},    {&v.global_rad, 3, "global radiation"},
                         {&v.pressure, -1, "air pressure"},         {&v.cloud_cover, -1, "cloud cover"},
                         {&v.wind_speed, -1, "wind speed"}};
  const int hour = v.date.hour >= 0 && v.date.hour < 24 ? v.date.hour : 0;
  for (int i = 0; i < 7; ++i) {
    double& x = *slots[i].value;
    if (!std::isnan(x)) {
      if (slots[i].hourly >= 0) by_hour_[static_cast<std::size_t>(slots[i].hourly)][static_cast<std::size_t>(hour)] = x;
      last_[static_cast<std::size_t>(i)] = x;
      continue;
    }
    double take = slots[i].hourly >= 0 ? by_hour_[static_cast<std::size_t>(slots[i].hourly)][static_cast<std::size_t>(hour)]
                                       : missing;
    if (std::isnan(take)) take = last_[static_cast<std::size_t>(i)];
    if (std::isnan(take)) {
      quantity = slots[i].name;
      return false;
    }
    x = take;
    ++repaired;
  }
  return true;
}

// ---- The plain hourly table.

bool weather_reader::load_guv(guarded_file& file, std::string_view name) {
  // The date and hour are whole numbers; the readings numbers with or
  // without decimals.
  static const bool whole[11] = {true, true, true, true, false, false, false, false, false, false, false};
  std::string line;
  int line_no = 0;
  while (read_line(line, file)) {
    ++line_no;
    if (blank(line)) continue;
    double x[11];
    if (const int bad = line_numbers(line, 11, whole, x, true)) {
      std::printf("Error: Problem encountered in hmet_GUV file %.*s, line %d, near parameter %d\n\n",
                  static_cast<int>(name.size()), name.data(), line_no, bad);
      print_guv_format();
      stop();
      return false;
    }
    weather_values v;
    v.date = {static_cast<int>(x[0]), static_cast<int>(x[1]), static_cast<int>(x[2]), static_cast<int>(x[3])};
    if (!is_hour_of_calendar(v.date)) return bad_date(name, line_no, v.date);
    v.pressure = x[4] == 999.0 ? missing : x[4] * inch_hg_to_mb;
    v.rel_humidity = x[5] == 999.0 ? missing : x[5];
    v.cloud_cover = x[6] == 999.0 ? missing : x[6];
    v.wind_speed = x[7] == 999.0 ? missing : x[7] * knot_to_m_per_s;
    v.temperature = x[8] == 999.0 ? missing : fahrenheit_to_celsius(x[8]);
    v.direct_rad = x[9] > 9999.9 ? missing : x[9];
    v.global_rad = x[10] > 9999.9 ? missing : x[10];
    if (!check_values(name, line_no, v)) return false;
    values_.push_back(v);
    lines_.push_back(line_no);
    if (!check_sequence(name, line_no, values_)) return false;
  }
  return true;
}

// ---- SAMSON records.

bool weather_reader::load_samson(guarded_file& file, std::string_view name, std::string& header) {
  std::string line;
  int line_no = 0;
  while (read_line(line, file)) {
    ++line_no;
    if (!line.empty() && line[0] == '~') {
      if (header.empty()) header = std::string(trim(std::string_view(line).substr(1)));
      continue;
    }
    if (blank(line)) continue;
    if (line.size() > 800) {
      std::printf("Error: line %d of the SAMSON weather file %.*s is longer than 800 characters.\n", line_no,
                  static_cast<int>(name.size()), name.data());
      stop();
      return false;
    }
    struct field {
      int from, to;
      const char* what;
      bool whole;
    };
    static constexpr field fields[11] = {
        {2, 3, "year", true},           {5, 6, "month", true},           {8, 9, "day", true},
        {11, 12, "hour", true},         {34, 37, "direct radiation", true}, {42, 45, "diffuse radiation", true},
        {50, 51, "sky cover", true},    {56, 60, "air temperature", false}, {68, 70, "relative humidity", true},
        {72, 75, "air pressure", true}, {80, 85, "wind speed", false}};
    double x[11];
    for (int i = 0; i < 11; ++i)
      if (!column_number(name, line_no, line, fields[i].from, fields[i].to, fields[i].what, fields[i].whole, x[i]))
        return false;
    weather_values v;
    v.date = {static_cast<int>(x[0]), static_cast<int>(x[1]), static_cast<int>(x[2]), static_cast<int>(x[3])};
    if (v.date.year < 100) v.date.year += 1900;
    if (v.date.hour < 1 || v.date.hour > 24) {
      std::printf("Error: the weather file %.*s, line %d: the hour %d lies outside 1 to 24.\n",
                  static_cast<int>(name.size()), name.data(), line_no, v.date.hour);
      stop();
      return false;
    }
    // Hour 24 closes the day: it is hour 0 of the next.
    if (v.date.hour == 24) {
      weather_hour h = v.date;
      h.hour = 23;
      if (!is_hour_of_calendar(h)) return bad_date(name, line_no, v.date);
      v.date = next_weather_hour(h);
    }
    if (!is_hour_of_calendar(v.date)) return bad_date(name, line_no, v.date);
    v.direct_rad = x[4] == 9999.0 ? missing : x[4];
    v.global_rad = x[5] == 9999.0 ? missing : x[5];
    v.cloud_cover = x[6] == 99.0 ? missing : x[6];
    v.temperature = x[7] == 999.9 ? missing : x[7];
    v.rel_humidity = x[8] == 999.0 ? missing : x[8];
    v.pressure = x[9] == 9999.0 ? missing : x[9];
    const double wind_whole = std::trunc(x[10]);
    v.wind_speed = (wind_whole == 99.0 || wind_whole == 9999.0) ? missing : x[10];
    if (!check_values(name, line_no, v)) return false;
    values_.push_back(v);
    lines_.push_back(line_no);
    if (!check_sequence(name, line_no, values_)) return false;
  }
  return true;
}

// ---- Surface Airways records.

bool weather_reader::load_surface_airways(guarded_file& file, std::string_view name, bool quiet) {
  // Elements in the order of the count line: DR, GR, PR, RH, TM, TS, WI.
  static const char* const codes[7] = {"DR", "GR", "PR", "RH", "TM", "TS", "WI"};
  enum { dr, gr, pr, rh, tm, ts, wi };
  std::map<long, double> by_hour[7];  // raw value per hour number
  std::map<long, int> line_of[7];
  std::set<long> days[7];
  std::string line;
  long line_no = 0;
  while (read_line(line, file)) {
    ++line_no;
    if (blank(line)) continue;
    if (line.size() > 790) {
      std::printf("Line too long in hmet_NCDC input file.  Program exiting\n");
      std::printf("(line %ld of %.*s)\n", line_no, static_cast<int>(name.size()), name.data());
      stop();
      return false;
    }
    if (line.size() < 15) continue;
    int e = -1;
    for (int i = 0; i < 7; ++i)
      if (line.compare(11, 2, codes[i]) == 0) e = i;
    if (e < 0) continue;  // an element the model does not use
    const int ln = static_cast<int>(line_no);
    double year, month, day, count;
    if (!column_number(name, ln, line, 18, 21, "year", true, year) ||
        !column_number(name, ln, line, 22, 23, "month", true, month) ||
        !column_number(name, ln, line, 26, 27, "day", true, day) ||
        !column_number(name, ln, line, 28, 30, "number of values", true, count))
      return false;
    const weather_hour date{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day), 0};
    if (!is_hour_of_calendar(date)) return bad_date(name, ln, date);
    if (count < 0 || count > 25) {
      std::printf("Error: the weather file %.*s, line %d holds %g values; a day holds at most 25.\n",
                  static_cast<int>(name.size()), name.data(), ln, count);
      stop();
      return false;
    }
    // Hours are numbered from the Julian epoch; a day by its first hour.
    const long day_hours = std::lround(weather_julian(date) * 24.0);
    days[e].insert(day_hours);
    for (int k = 0; k < static_cast<int>(count); ++k) {
      const int at = 31 + 12 * k;
      double hhmm, value;
      if (!column_number(name, ln, line, at, at + 3, "time of a value", true, hhmm) ||
          !column_number(name, ln, line, at + 4, at + 9, "value", true, value))
        return false;
      const int hour = static_cast<int>(hhmm) / 100;
      if (hhmm < 0 || hour > 24) {
        std::printf("Error: the weather file %.*s, line %d: the time %04d of value %d is not a time of the day.\n",
                    static_cast<int>(name.size()), name.data(), ln, static_cast<int>(hhmm), k + 1);
        stop();
        return false;
      }
      by_hour[e][day_hours + hour] = value;
      line_of[e][day_hours + hour] = ln;
    }
  }
  if (!quiet) {
    std::printf("DRAD GRAD PRES RHUM TMPD TSKC WIND\n");
    std::printf(" %d  %d  %d  %d  %d  %d  %d\n", static_cast<int>(days[dr].size()), static_cast<int>(days[gr].size()),
                static_cast<int>(days[pr].size()), static_cast<int>(days[rh].size()), static_cast<int>(days[tm].size()),
                static_cast<int>(days[ts].size()), static_cast<int>(days[wi].size()));
  }
  auto days_differ = [&](const char* second, const char* third, const char* fourth) {
    std::printf("There is an error in the Surface Airways hydrometeorology\n");
    std::printf("%s", second);
    std::printf("%s", third);
    std::printf("%s", fourth);
    stop();
    return false;
  };
  if (days[rh].size() != days[tm].size())
    return days_differ("data file.  There appears to be a different number of \n",
                       "days of rel. humidity data than temperature data.  Rel. hum.\n",
                       "data is required for each day.  Examine the file and supply\nthe missing data.  Program terminating\n\n");
  if (days[ts].size() != days[tm].size())
    return days_differ("data file.  There appear to be a different number of days\n",
                       "of cloud cover data than temperature data.  Clouds data is\n",
                       "required for each day.  Examine the file and supply the \nmissing data.  Program terminating\n\n");
  if (days[wi].size() != days[tm].size())
    return days_differ("data file.  There appear to be different number of days of ",
                       "wind data than temperature data.  Wind speed data is\n",
                       "required for each day.  Examine the file and supply the \nmissing data.  Program terminating\n\n");
  if (days[tm].empty()) return true;

  // One record per hour from the first to the last day of temperatures.
  const long first = *days[tm].begin(), last = *days[tm].rbegin() + 23;
  weather_hour date;
  {
    const calendar c = calendar_date(static_cast<double>(first) / 24.0 + 1e-6);
    date = {c.year, c.month, c.day, c.hour};
  }
  auto raw = [&](int e, long h) {
    const auto it = by_hour[e].find(h);
    return it == by_hour[e].end() ? missing : it->second;
  };
  auto line_at = [&](long h) {
    for (int e : {tm, rh, ts, wi, pr, dr, gr}) {
      const auto it = line_of[e].find(h);
      if (it != line_of[e].end()) return it->second;
    }
    return 0;
  };
  for (long h = first; h <= last; ++h, date = next_weather_hour(date)) {
    weather_values v;
    v.date = date;
    const double d = raw(dr, h), g = raw(gr, h), p = raw(pr, h), r = raw(rh, h), t = raw(tm, h), s = raw(ts, h),
                 w = raw(wi, h);
    // Radiation in tenths; without beam (global) records the beam (the
    // global radiation) was not measured.
    v.direct_rad = by_hour[dr].empty() ? radiation_not_measured : (std::isnan(d) || d == 99999.0 ? missing : d / 10.0);
    v.global_rad = by_hour[gr].empty() ? radiation_not_measured : (std::isnan(g) || g == 99999.0 ? missing : g / 10.0);
    v.pressure = std::isnan(p) || p == 99999.0 ? missing : p * 33.86530748663101 / 1000.0;
    v.temperature = std::isnan(t) || t == 99999.0 ? missing : fahrenheit_to_celsius(t);
    v.rel_humidity = std::isnan(r) || r == 99999.0 ? missing : r;
    // Sky cover: total cover in the hundreds, the opaque cover below.
    v.cloud_cover = std::isnan(s) || std::trunc(s / 100.0) == 999.0 ? missing : std::fmod(s, 100.0);
    // Wind: direction in the thousands, speed in knots below.
    const double speed = std::isnan(w) ? missing : std::fmod(w, 1000.0);
    v.wind_speed = std::isnan(speed) || speed == 999.0 ? missing : speed * knot_to_m_per_s;
    if (!check_values(name, line_at(h), v)) return false;
    values_.push_back(v);
    lines_.push_back(line_at(h));
  }
  return true;
}

// ---- Gridded weather.

bool weather_reader::load_gridded_list(guarded_file& file, std::string_view name) {
  std::string line;
  int line_no = 0;
  while (read_line(line, file)) {
    ++line_no;
    if (blank(line)) continue;
    card_line cl(line);
    std::string base;
    next_token(cl, base);
    const std::string_view stamp = base.size() >= 10 ? std::string_view(base).substr(base.size() - 10) : std::string_view();
    bool digits = stamp.size() == 10;
    for (char c : stamp) digits = digits && c >= '0' && c <= '9';
    if (!digits) {
      std::printf("Error: Problem encountered in hmet_ASCII file, line %d \n\n", line_no);
      std::printf("Make sure your file is in the correct format, including making sure\n"
                  "the dates are in integers and in the following format:\n");
      std::printf(" Format:\nyyyymmddhh\n2008050100int\n\n");
      stop();
      return false;
    }
    auto num = [&](std::size_t at, std::size_t n) { return std::atoi(std::string(stamp.substr(at, n)).c_str()); };
    weather_values v;
    v.date = {num(0, 4), num(4, 2), num(6, 2), num(8, 2)};
    if (!is_hour_of_calendar(v.date)) return bad_date(name, line_no, v.date);
    values_.push_back(v);
    lines_.push_back(line_no);
    bases_.push_back(base);
    if (!check_sequence(name, line_no, values_)) return false;
  }
  return true;
}

bool weather_reader::place_cells_on_grid(const grid_state& grid) {
  if (bases_.empty()) return true;
  const std::string name = bases_.front() + grid_kinds[temperature_grid].suffix;
  std::size_t pos = 0;
  grid_header h;
  if (!read_grid(name, nullptr, text_, pos, h)) return false;
  g_cols_ = h.cols;
  g_rows_ = h.rows;
  g_x_ = h.x;
  g_y_ = h.y;
  g_size_ = h.size;
  grid_values_.assign(static_cast<std::size_t>(g_cols_) * static_cast<std::size_t>(g_rows_), 0.0);
  cell_value_.assign(static_cast<std::size_t>(grid.ncells) + 1, 0);
  const double top = g_y_ + g_rows_ * g_size_;
  for (int c = 1; c <= grid.ncells; ++c) {
    const double x = grid.cell_x[c], y = grid.cell_y[c];
    const double fc = std::trunc((x - g_x_) / g_size_), fr = std::trunc((top - y) / g_size_);
    const int col = fc < 0.0 ? 0 : fc >= g_cols_ ? g_cols_ - 1 : static_cast<int>(fc);
    const int row = fr < 0.0 ? 0 : fr >= g_rows_ ? g_rows_ - 1 : static_cast<int>(fr);
    // The cell centre must lie within 1.3 weather cells of the node it takes.
    const double off_x = std::fabs(x - (g_x_ + (col + 0.5) * g_size_)) / g_size_;
    const double off_y = std::fabs(y - (top - (row + 0.5) * g_size_)) / g_size_;
    if (off_x > 1.3 || off_y > 1.3) {
      std::printf("Error: cell %d of the watershed (row %d, column %d, centre %.2lf, %.2lf) lies %.1lf weather cells\n"
                  "outside the weather grid %s.\n",
                  c, grid.cell_row[c], grid.cell_col[c], x, y, off_x > off_y ? off_x : off_y, name.c_str());
      stop();
      return false;
    }
    cell_value_[static_cast<std::size_t>(c)] = row * g_cols_ + col;
  }
  return true;
}

bool weather_reader::read_gridded_hour(int k, weather_values& out, const gridded_cells& cells) {
  array1d<double>* targets[8] = {cells.cloud_cover, cells.precipitation, cells.pressure, cells.rel_humidity,
                                 cells.temperature, cells.direct_rad, cells.global_rad, cells.wind_speed};
  double* scalars[8] = {&out.cloud_cover, nullptr, &out.pressure, &out.rel_humidity, &out.temperature, &out.direct_rad,
                        &out.global_rad, &out.wind_speed};
  const int ncells = static_cast<int>(cell_value_.size()) - 1;
  long count = -1;
  for (int q = 0; q < 8; ++q) {
    const std::string name = bases_[static_cast<std::size_t>(k)] + grid_kinds[q].suffix;
    std::size_t pos = 0;
    grid_header h;
    if (!read_grid(name, grid_kinds[q].name, text_, pos, h)) return false;
    if (h.cols != g_cols_ || h.rows != g_rows_ || h.x != g_x_ || h.y != g_y_ || h.size != g_size_) {
      std::printf("Error: the weather grid %s does not lie on the grid of %s.\n", name.c_str(),
                  (bases_.front() + grid_kinds[temperature_grid].suffix).c_str());
      stop();
      return false;
    }
    long data = 0;
    for (double& v : grid_values_) {
      if (!next_number(text_, pos, v) || !std::isfinite(v)) {
        std::printf("Error: the weather grid %s holds fewer than %d x %d numbers.\n", name.c_str(), g_rows_, g_cols_);
        stop();
        return false;
      }
      if (v > -998000.0 && v != h.no_data) ++data;
    }
    if (count >= 0 && data != count) {
      std::printf("\n\nERROR!!! Counts DO NOT MATCH\n\n");
      std::printf("Error: the weather grids of %s hold different numbers of values.\n",
                  bases_[static_cast<std::size_t>(k)].c_str());
      stop();
      return false;
    }
    count = data;
    double sum = 0.0;
    int n = 0;
    array1d<double>& to = *targets[q];
    for (int c = 1; c <= ncells; ++c) {
      const int at = cell_value_[static_cast<std::size_t>(c)];
      const double v = grid_values_[static_cast<std::size_t>(at)];
      if (v <= -998000.0 || v == h.no_data) {
        std::printf("Error: the weather grid %s holds no value for cell %d of the watershed (its no-data value\n"
                    "%g at row %d, column %d of the grid); every cell needs its weather.\n",
                    name.c_str(), c, v, at / g_cols_ + 1, at % g_cols_ + 1);
        stop();
        return false;
      }
      const quantity_range& r = *grid_kinds[q].range;
      if (v < r.lo || v > r.hi) {
        std::printf("Error: the weather grid %s gives cell %d the %s %g, outside %g to %g %s.\n", name.c_str(), c,
                    r.name, v, r.lo, r.hi, r.unit);
        stop();
        return false;
      }
      to[c] = v;
      sum += v;
      ++n;
    }
    // The hour's value at the gage: the mean over the watershed.
    if (scalars[q]) *scalars[q] = n > 0 ? sum / n : 0.0;
  }
  // The global radiation grid, like the station table, gives each cell's
  // sky radiation.
  array1d<double>& global = *cells.global_rad;
  const array1d<double>& direct = *cells.direct_rad;
  double diffuse = 0.0;
  for (int c = 1; c <= ncells; ++c) {
    global[c] = diffuse_of_global(global[c], direct[c]);
    diffuse += global[c];
  }
  out.global_rad = ncells > 0 ? diffuse / ncells : 0.0;
  return true;
}

// ---- The file of the run.

bool weather_reader::load(int format, guarded_file& file, std::string_view file_name, const grid_state& grid, bool quiet,
                          std::string& header) {
  format_ = format;
  file_name_.assign(file_name);
  values_.clear();
  lines_.clear();
  bases_.clear();
  next_ = 0;
  bool ok = false;
  switch (format) {
    case weather_format::guv: ok = load_guv(file, file_name); break;
    case weather_format::samson: ok = load_samson(file, file_name, header); break;
    case weather_format::surface_airways: ok = load_surface_airways(file, file_name, quiet); break;
    case weather_format::gridded: ok = load_gridded_list(file, file_name) && place_cells_on_grid(grid); break;
    default: break;
  }
  if (!ok) return false;
  if (values_.empty()) {
    std::printf("Error: the weather file %.*s holds no hourly record.\n", static_cast<int>(file_name.size()),
                file_name.data());
    stop();
    return false;
  }
  if (!quiet) {
    const int lines = lines_.empty() ? 0 : lines_.back();
    if (format == weather_format::guv) std::printf("End of hmet_GUV file encountered after %d lines\n", lines);
    if (format == weather_format::gridded) std::printf("End of hmet_ASCII file encountered after %d lines\n", lines);
    if (format == weather_format::surface_airways)
      std::printf("End of hmet_NCDC file encountered after %ld lines\n", static_cast<long>(lines));
  }
  return true;
}

bool weather_reader::load_orographic(guarded_file& file, std::string_view name) {
  orog_file_name_.assign(name);
  orographic_.clear();
  std::string line;
  int line_no = 0;
  // The title, the two gage elevations and the column names.
  for (int h = 0; h < 3; ++h) {
    if (!read_line(line, file)) {
      std::printf("Error: the orographic file %.*s ends inside its three header lines.\n", static_cast<int>(name.size()),
                  name.data());
      stop();
      return false;
    }
    ++line_no;
    if (h != 1) continue;
    card_line cl(line);
    std::string word;
    for (int i = 0; i < 2; ++i) {
      std::string_view token;
      double v = 0.0;
      if (!next_token(cl, word) || next_number_token(cl, token, v) != 1 || !(v >= -11000.0 && v <= 9000.0)) {
        std::printf("Error: line 2 of the orographic file %.*s must give a word and the elevation (m) of the weather\n"
                    "gage, then a word and the elevation of the second gage.\n",
                    static_cast<int>(name.size()), name.data());
        stop();
        return false;
      }
      orog_elev_[static_cast<std::size_t>(i)] = v;
    }
  }
  if (std::fabs(orog_elev_[1] - orog_elev_[0]) < 1.0) {
    std::printf("Error: the two gages of the orographic file %.*s lie at %g and %g m: they need different elevations.\n",
                static_cast<int>(name.size()), name.data(), orog_elev_[0], orog_elev_[1]);
    stop();
    return false;
  }
  while (read_line(line, file)) {
    ++line_no;
    if (blank(line)) continue;
    static const bool whole[5] = {true, true, true, true, false};
    double x[5];
    if (const int bad = line_numbers(line, 5, whole, x, false)) {
      std::printf("Error: the orographic file %.*s, line %d: value %d is missing or not a number (year, month, day,\n"
                  "hour and temperature per line).\n",
                  static_cast<int>(name.size()), name.data(), line_no, bad);
      stop();
      return false;
    }
    const std::size_t k = orographic_.size();
    if (k >= values_.size()) break;
    const weather_hour date{static_cast<int>(x[0]), static_cast<int>(x[1]), static_cast<int>(x[2]), static_cast<int>(x[3])};
    const weather_hour& want = values_[k].date;
    if (date.year != want.year || date.month != want.month || date.day != want.day || date.hour != want.hour) {
      std::printf("\nHave an Issue with the correct time using the Orographic Temperature File\n");
      std::printf("Error: the orographic file %.*s, line %d is for %d/%d/%d hour %d; the weather record of that hour\n"
                  "is for %d/%d/%d hour %d.\n",
                  static_cast<int>(name.size()), name.data(), line_no, date.year, date.month, date.day, date.hour,
                  want.year, want.month, want.day, want.hour);
      stop();
      return false;
    }
    if (x[4] < -998.0) {
      orographic_.push_back(missing);
      continue;
    }
    if (!(x[4] >= temperature_range.lo && x[4] <= temperature_range.hi)) return out_of_range(name, line_no, temperature_range, x[4]);
    orographic_.push_back(x[4]);
  }
  if (orographic_.size() < values_.size()) {
    std::printf("Error: the orographic file %.*s ends before the weather file: it holds %d of its %d hours.\n",
                static_cast<int>(name.size()), name.data(), static_cast<int>(orographic_.size()),
                static_cast<int>(values_.size()));
    stop();
    return false;
  }
  return true;
}

int weather_reader::next(weather_values& out, int& repaired, const gridded_cells* cells) {
  if (next_ >= static_cast<int>(values_.size())) return 0;
  const int k = next_++;
  out = values_[static_cast<std::size_t>(k)];
  if (format_ == weather_format::gridded) return cells && read_gridded_hour(k, out, *cells) ? 1 : -1;
  const char* quantity = "";
  if (!repairs_.repair(out, repaired, quantity)) {
    std::printf("Error: the weather file %s, line %d: its %s is missing and no earlier hour gives one to take.\n",
                file_name_.c_str(), lines_[static_cast<std::size_t>(k)], quantity);
    stop();
    return -1;
  }
  // The station table and Surface Airways records give the global
  // radiation, SAMSON records the diffuse.
  if (format_ == weather_format::guv || format_ == weather_format::surface_airways)
    out.global_rad = diffuse_of_global(out.global_rad, out.direct_rad);
  return 1;
}

double weather_reader::second_gage_temperature() const {
  const int k = next_ - 1;
  if (k < 0 || k >= static_cast<int>(orographic_.size())) return missing;
  return orographic_[static_cast<std::size_t>(k)];
}

}  // namespace nivra
