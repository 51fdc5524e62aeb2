#include "maps/grid_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"

namespace nivra {

namespace {

// Prints nothing itself: the caller printed the message. Stops the run.
void stop_run() {
  set_error(own_message_code);
  report_error();
}

// Reads one header line: a word of at most `width` characters, then the
// number. False when either is missing or the number does not convert.
template <class T>
bool read_header_value(std::FILE* fp, const char* format, T& out) {
  char word[8];
  T value{};
  if (std::fscanf(fp, format, word, &value) != 2) return false;
  out = value;
  return true;
}

// Skips the rest of the current line.
void skip_line(std::FILE* fp) {
  int c;
  do {
    c = getc_unlocked(fp);
  } while (c != EOF && c != '\n');
}

void print_name_message(const char* format, std::string_view name) {
  std::printf(format, static_cast<int>(name.size()), name.data());
}

void print_no_data(std::string_view name, std::string_view token, int r, int c) {
  std::printf("Error: the map %.*s holds the no-data value %.*s at row %d, column %d, a cell of the watershed "
              "mask; every watershed cell needs a value.\n",
              static_cast<int>(name.size()), name.data(), static_cast<int>(token.size()), token.data(), r, c);
}

}  // namespace

bool map_extent_matches(std::string_view name, const map_extent& map, const grid_state& grid) {
  // Within a hundredth of a cell: edges written with fewer decimals are
  // the same edges.
  const double cell = grid.proj_rows > 0 ? std::fabs(grid.north - grid.south) / grid.proj_rows : 0.0;
  const double tolerance = std::max(0.01 * cell, 1e-6);
  if (std::fabs(map.north - grid.north) <= tolerance && std::fabs(map.south - grid.south) <= tolerance &&
      std::fabs(map.east - grid.east) <= tolerance && std::fabs(map.west - grid.west) <= tolerance)
    return true;
  std::printf("Error: the map %.*s covers north %.2f, south %.2f, east %.2f, west %.2f; the project's grid (the "
              "watershed mask) covers north %.2f, south %.2f, east %.2f, west %.2f. A map must lie on the "
              "project's grid.\n",
              static_cast<int>(name.size()), name.data(), map.north, map.south, map.east, map.west, grid.north,
              grid.south, grid.east, grid.west);
  return false;
}

void print_map_size_fault(std::string_view name, int rows, int cols, int expected_rows, int expected_cols) {
  const char* what = rows != expected_rows && cols != expected_cols ? "rows and columns"
                     : rows != expected_rows                        ? "rows"
                                                                    : "columns";
  std::printf("Incorrect number of %s in map: %.*s (its header gives %d rows and %d columns, the project's grid "
              "has %d rows and %d columns)\n",
              what, static_cast<int>(name.size()), name.data(), rows, cols, expected_rows, expected_cols);
}

bool read_map_header(std::FILE* fp, std::string_view name, double& north, double& south,
                     double& east, double& west, int& rows, int& cols) {
  const char* failed = nullptr;
  if (!read_header_value(fp, "%6s %lf", north) || !std::isfinite(north)) failed = "north";
  else if (!read_header_value(fp, "%6s %lf", south) || !std::isfinite(south)) failed = "south";
  else if (!read_header_value(fp, "%5s %lf", east) || !std::isfinite(east)) failed = "east";
  else if (!read_header_value(fp, "%5s %lf", west) || !std::isfinite(west)) failed = "west";
  else if (!read_header_value(fp, "%5s %d", rows)) failed = "rows";
  else if (!read_header_value(fp, "%5s %d", cols)) failed = "cols";
  if (!failed) return true;
  std::printf("Error: unable to read the \"%s\" line of the header of map: %.*s\n", failed,
              static_cast<int>(name.size()), name.data());
  return false;
}

int_read scan_int_token(std::FILE* fp, int& out) {
  int c;
  do {
    c = getc_unlocked(fp);
  } while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
  if (c == EOF) return int_read::end_of_file;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = getc_unlocked(fp);
  }
  if (c < '0' || c > '9') {
    if (c != EOF) std::ungetc(c, fp);
    return int_read::not_integer;
  }
  long long v = 0;
  bool too_large = false;
  while (c >= '0' && c <= '9') {
    if (!too_large) {
      v = v * 10 + (c - '0');
      if (v > 2147483648LL) too_large = true;
    }
    c = getc_unlocked(fp);
  }
  // The token must end here: "1.5" or "12abc" is not an integer. The blank
  // that ends it is taken with it (the next read skips blanks anyway).
  const bool ends = c == EOF || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  if (!ends) std::ungetc(c, fp);
  if (negative) v = -v;
  if (!ends || too_large || v > 2147483647LL) return int_read::not_integer;
  out = static_cast<int>(v);
  return int_read::value;
}

void read_ascii_map(guarded_file& f, std::string_view name, int kind, double& north,
                    double& south, double& east, double& west, int& rows, int& cols,
                    array2d<int>& mask, array1d<double>* real_values,
                    array1d<double>* real_values_alt, array1d<int>* index_values,
                    int expected_rows, int expected_cols, int quiet, const value_range& range,
                    bool zero_outside, const grid_state* extent) {
  std::FILE* fp = f.fp;
  if (!fp) {
    print_name_message("Error: the map %.*s is not open for reading\n", name);
    stop_run();
    return;
  }
  if (!read_map_header(fp, name, north, south, east, west, rows, cols)) {
    stop_run();
    return;
  }

  // A map of another size than the project's grid is refused before its
  // body is read, so nothing lands outside the caller's arrays.
  if (rows != expected_rows || cols != expected_cols) {
    print_map_size_fault(name, rows, cols, expected_rows, expected_cols);
    stop_run();
    return;
  }
  if (extent && !map_extent_matches(name, map_extent{north, south, east, west}, *extent)) {
    stop_run();
    return;
  }

  // The grid must fit the mask, and each kind needs its destination.
  array1d<double>* reals = kind == map_real ? real_values : kind == map_real_alt ? real_values_alt : nullptr;
  bool fits = rows <= 0 || cols <= 0 || (mask.rows() >= rows && mask.cols() >= cols);
  bool has_destination = kind == map_int_grid || (kind == map_index ? index_values != nullptr : reals != nullptr);
  if (kind < map_real || kind > map_index || !fits || !has_destination) {
    print_name_message("Error: the map %.*s has no place to be read into\n", name);
    stop_run();
    return;
  }

  bool any_nonzero = false;
  int zero_cells = 0;
  int stored = 0;
  auto too_many_cells = [&] {
    print_name_message(
        "Error: the map %.*s has more watershed cells than the watershed mask numbered\n", name);
    stop_run();
  };
  auto end_of_file = [&] {
    print_name_message("Unexpected end of file in file: %.*s\n", name);
    stop_run();
  };

  if (kind == map_real || kind == map_real_alt) {
    skip_line(fp);  // the rest of the header's last line
    double* dest = reals->data();
    const int capacity = reals->size();
    card_line line;
    std::string_view token;
    // A copy the stores into dest cannot alias, so its bounds stay in registers.
    const value_range accepted = range;
    for (int r = 1; r <= rows; ++r) {
      if (std::feof(fp) || !read_line(line, f)) {
        end_of_file();
        return;
      }
      const int* m = mask[r].data();
      // The row is read in one pass: a plain decimal is read as it is cut
      // off the row (the row's text ends in a NUL), any other token whole
      // (next_number_token's rules).
      const std::string_view row = line.rest();
      const char* p = row.data();
      const char* const end = p + row.size();
      for (int c = 1; c <= cols; ++c) {
        double v = 0.0;
        while (p < end && is_token_sep(*p)) ++p;
        int got = p < end ? 1 : 0;
        if (got) {
          const char* start = p;
          if (const char* after = read_plain_decimal<true>(p, end, v)) {
            p = after;
          } else {
            while (p < end && !is_token_sep(*p)) ++p;
            got = whole_token_double(std::string_view(start, static_cast<std::size_t>(p - start)), v) ? 1 : -1;
          }
          token = std::string_view(start, static_cast<std::size_t>(p - start));
        }
        if (got == 0) {
          std::printf("Error: row %d of the map %.*s holds %d values; the map has %d columns.\n", r,
                      static_cast<int>(name.size()), name.data(), c - 1, cols);
          stop_run();
          return;
        }
        // Every value is a number; those of the watershed's cells are
        // values (not the no-data value of an export), finite and within
        // the range of what the map holds.
        if (m[c] != 0 && (got < 0 ? token == "*" : is_no_data_value(v))) {
          print_no_data(name, token, r, c);
          stop_run();
          return;
        }
        if (got < 0 || (m[c] != 0 && !accepted.contains(v))) {
          std::printf("Error: the map %.*s holds %.*s at row %d, column %d; it takes %s.\n",
                      static_cast<int>(name.size()), name.data(), static_cast<int>(token.size()),
                      token.data(), r, c, accepted.describe().c_str());
          stop_run();
          return;
        }
        if (v != 0.0) any_nonzero = true;
        if (m[c] != 0) {
          if (++stored > capacity) {
            too_many_cells();
            return;
          }
          dest[stored] = v;
          if (v == 0.0) ++zero_cells;
        }
      }
    }
    // No row of values follows the last row (text after it, as after the
    // values of a row, is passed over): a row beyond the header's count
    // would be left unread.
    while (read_line(line, f)) {
      std::string first;
      double v = 0.0;
      if (!next_token(line, first) || !whole_token_double(first, v)) continue;
      std::printf("Error: the map %.*s holds more than the %d rows of its header.\n", static_cast<int>(name.size()),
                  name.data(), rows);
      stop_run();
      return;
    }
  } else {
    const bool index = kind == map_index;
    int* dest = index ? index_values->data() : nullptr;
    const int capacity = index ? index_values->size() : 0;
    std::vector<int> category_count(index ? max_map_category + 1 : 0, 0);
    for (int r = 1; r <= rows; ++r) {
      int* m = mask[r].data();
      for (int c = 1; c <= cols; ++c) {
        int v = 0;
        int_read got = scan_int_token(fp, v);
        if (got == int_read::end_of_file) {
          end_of_file();
          return;
        }
        if (got == int_read::not_integer) {
          if (index && m[c] != 0 && std::fgetc(fp) == '*') {
            print_no_data(name, "*", r, c);
          } else {
            std::printf("Error: the map %.*s holds a value that is not an integer at row %d, column %d\n",
                        static_cast<int>(name.size()), name.data(), r, c);
          }
          stop_run();
          return;
        }
        if (v != 0) any_nonzero = true;
        if (!index) {
          m[c] = v;
          continue;
        }
        if (m[c] == 0) {
          if (zero_outside && v != 0) {
            std::printf("Error: the map %.*s gives %d to row %d, column %d, which lies outside the watershed mask; "
                        "the map holds 0 outside the watershed.\n",
                        static_cast<int>(name.size()), name.data(), v, r, c);
            stop_run();
            return;
          }
          continue;
        }
        if (is_no_data_value(v)) {
          print_no_data(name, std::to_string(v), r, c);
          stop_run();
          return;
        }
        if (v < 0 || v > max_map_category) {
          std::printf("Error: the map %.*s holds the category %d at row %d, column %d; categories run from 0 to %d\n",
                      static_cast<int>(name.size()), name.data(), v, r, c, max_map_category);
          stop_run();
          return;
        }
        if (++stored > capacity) {
          too_many_cells();
          return;
        }
        dest[stored] = v;
        ++category_count[v];
      }
    }
    // Nothing follows the last row: values beyond rows x columns would be
    // left unread.
    int extra = 0;
    if (scan_int_token(fp, extra) == int_read::value) {
      std::printf("Error: the map %.*s holds more than the %d rows of %d values of its header.\n",
                  static_cast<int>(name.size()), name.data(), rows, cols);
      stop_run();
      return;
    }
    if (index && !quiet) {
      for (int k = 1; k <= max_map_category; ++k)
        if (category_count[k] > 0)
          std::printf("In map %.*s category %d has %d values\n", static_cast<int>(name.size()),
                      name.data(), k, category_count[k]);
    }
  }

  if (!any_nonzero) print_name_message("Warning: Map contains only zero values. Map: %.*s\n", name);
  if (zero_cells >= 1 && !quiet)
    std::printf("Warning: Map contains %d cells with zero values. Map: %.*s\n", zero_cells,
                static_cast<int>(name.size()), name.data());
}

void read_cell_map(grid_state& grid, guarded_file& f, std::string_view name,
                   array1d<double>& values, int quiet, const value_range& range) {
  map_extent e;
  int rows = 0, cols = 0;
  read_ascii_map(f, name, map_real, e.north, e.south, e.east, e.west, rows, cols, grid.mask, &values, nullptr,
                 nullptr, grid.proj_rows, grid.proj_cols, quiet, range, false, &grid);
}

void read_index_cell_map(grid_state& grid, guarded_file& f, std::string_view name,
                         array1d<int>& values, int quiet, bool zero_outside) {
  map_extent e;
  int rows = 0, cols = 0;
  read_ascii_map(f, name, map_index, e.north, e.south, e.east, e.west, rows, cols, grid.mask, nullptr, nullptr,
                 &values, grid.proj_rows, grid.proj_cols, quiet, any_number, zero_outside, &grid);
}

}  // namespace nivra
