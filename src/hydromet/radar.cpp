#include "hydromet/radar.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/value_range.h"
#include "hydromet/cell_centres.h"

namespace nivra {

namespace {

// The header of a radar file: what each of its six lines gives.
struct header_item {
  const char* what;
  bool whole;
  value_range range;
};
constexpr header_item header_items[6] = {
    {"number of columns", true, from_to(1, 100000)},
    {"number of rows", true, from_to(1, 100000)},
    {"lower-left x", false, any_number},
    {"lower-left y", false, any_number},
    {"cell size", false, above_to(0, 1e7, "m")},
    {"no-data value", false, any_number},
};

// The value of a header line (the word before it may be any word); false
// after a message naming the file and the line.
bool header_value(card_line& line, std::string_view file_name, int line_no, double& out) {
  const header_item& item = header_items[line_no - 1];
  std::string keyword, token;
  next_token(line, keyword);
  next_token(line, token);
  if (token_in_range(token, item.whole, item.range, out)) return true;
  std::printf("Error: line %d of the radar file %.*s gives %s for the %s; it takes %s.\n", line_no,
              static_cast<int>(file_name.size()), file_name.data(),
              token.empty() ? "no value" : ("\"" + token + "\"").c_str(), item.what,
              item.range.describe(item.whole).c_str());
  return false;
}

bool stop_with_own_message() {
  set_error(own_message_code);
  report_error();
  return false;
}

}  // namespace

bool read_radar_header(radar_grid& radar, std::string_view file_name) {
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: unable to read radar header in file %.*s\n", static_cast<int>(file_name.size()),
                file_name.data());
    return false;
  }
  double v[6] = {};
  for (int i = 1; i <= 6; ++i) {
    if (!read_line(radar.line, f)) {
      std::printf("Error: the radar file %.*s ends in its header, at line %d; the header takes six lines.\n",
                  static_cast<int>(file_name.size()), file_name.data(), i);
      return false;
    }
    if (!header_value(radar.line, file_name, i, v[i - 1])) return false;
  }
  const int cols = static_cast<int>(v[0]), rows = static_cast<int>(v[1]);
  if (static_cast<long long>(rows) * cols > radar_max_values) {
    std::printf("Error: the radar file %.*s describes %d rows of %d columns, more than %lld values.\n",
                static_cast<int>(file_name.size()), file_name.data(), rows, cols, radar_max_values);
    return false;
  }
  const bool resize = rows != radar.radar_rows || cols != radar.radar_cols || radar.precip_data.empty();
  radar.radar_cols = cols;
  radar.radar_rows = rows;
  radar.radar_xll = v[2];
  radar.radar_yll = v[3];
  radar.radar_cell_size = v[4];
  radar.radar_nodata = v[5];
  radar.radar_left = radar.radar_xll;
  radar.radar_top = radar.radar_yll + rows * radar.radar_cell_size;
  if (resize) {
    radar.precip_data.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), 0.0);
    radar.unmeasured.assign(radar.precip_data.size(), 0);
  }
  return true;
}

bool map_radar_cells(radar_grid& radar, std::string_view first_file, const grid_state& grid) {
  if (!read_radar_header(radar, first_file)) return stop_with_own_message();
  if (radar.nivra_to_precip.size() != grid.ncells) radar.nivra_to_precip.alloc(grid.ncells);
  const double size = radar.radar_cell_size;
  return for_each_cell_centre(grid, [&](int cell, double x, double y) {
    // Counted from the radar grid's north-west corner: a centre north or
    // west of it gives a negative row or column, one south or east of it a
    // row or column beyond the last. The radar has no rain for either.
    const int radar_row = static_cast<int>(std::floor((radar.radar_top - y) / size));
    const int radar_col = static_cast<int>(std::floor((x - radar.radar_left) / size));
    if (radar_row < 0 || radar_col < 0 || radar_row > radar.radar_rows - 1 || radar_col > radar.radar_cols - 1) {
      std::printf("Error!! p_I=%d, p_J=%d\n", radar_row, radar_col);
      std::printf("The centre of cell %d (x %.2f, y %.2f) lies %s of the radar grid of %.*s, which cannot give it "
                  "its rain.\n",
                  cell, x, y, radar_row < 0 ? "north" : radar_col < 0 ? "west" : radar_row >= radar.radar_rows ? "south" : "east",
                  static_cast<int>(first_file.size()), first_file.data());
      set_error(102);
      process.error_block.stop = 1;
      return false;
    }
    radar.nivra_to_precip[cell] = radar.radar_cols * radar_row + radar_col;
    return true;
  });
}

bool read_radar_precip(radar_grid& radar, std::string_view file_name, bool values_in_mm) {
  const int name_width = static_cast<int>(file_name.size());
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: the radar file %.*s of this rain period cannot be opened; without it the cells "
                "would keep the rain of the period before.\n",
                name_width, file_name.data());
    return false;
  }
  card_line& line = radar.line;
  // Lines 1 and 2 give the columns and rows; lines 3 to 6 are not used.
  int size[2] = {0, 0};
  for (int i = 0; i < 6; ++i) {
    if (!read_line(line, f)) {
      std::printf("Error: the radar file %.*s ends in its header, at line %d; the header takes six lines.\n",
                  name_width, file_name.data(), i + 1);
      return false;
    }
    if (i < 2) {
      std::string word, token;
      next_token(line, word);
      next_token(line, token);
      if (!whole_token_int(token, size[i])) size[i] = -1;
    }
  }
  if (size[0] != radar.radar_cols || size[1] != radar.radar_rows) {
    std::printf("Error: the radar file %.*s holds %d rows of %d columns, where the first radar file of the "
                "event holds %d rows of %d columns.\n",
                name_width, file_name.data(), size[1], size[0], radar.radar_rows, radar.radar_cols);
    return false;
  }

  const double factor = values_in_mm ? 1.0 : 25.4;
  double peak = 0.0;
  long long no_data = 0;
  double* out = radar.precip_data.data();
  unsigned char* gap = radar.unmeasured.data();
  std::string_view token;
  for (int i = 0; i < radar.radar_rows; ++i) {
    bool line_ready = false;  // a row starts on a new line
    for (int j = 0; j < radar.radar_cols; ++j) {
      double v = 0.0;
      int found = 0;
      for (;;) {
        if (line_ready) {
          found = next_number_token(line, token, v);
          if (found != 0) break;
        }
        if (!read_line(line, f)) break;
        line_ready = true;
      }
      if (found != 1 || !std::isfinite(v)) {
        std::printf("Error in reading radar precip file %.*s\n", name_width, file_name.data());
        std::printf("The value of row %d, column %d (counted from 1, rows from the top) is %s.\n", i + 1, j + 1,
                    found == 0 ? "missing" : "not a finite number");
        return false;
      }
      const bool missing = std::fabs(v - radar.radar_nodata) <= 0.01;
      no_data += missing;
      *gap++ = missing ? 1 : 0;
      if (missing || !(v > 0.0)) {
        v = 0.0;
      } else {
        v *= factor;
        if (v > 100.0) {
          std::printf("Warning: really big precip value (%lf) in cell (%d,%d) from radar rainfall.\n resetting "
                      "value to 100.0\n",
                      v, i, j);
          v = 100.0;
        }
      }
      if (v > peak) peak = v;
      *out++ = v;
    }
  }
  // A grid of nothing but no-data values measured nothing: its period's
  // rain is unknown, not zero.
  if (no_data == static_cast<long long>(radar.radar_rows) * radar.radar_cols) {
    std::printf("Error: the radar file %.*s holds only no-data values (%g); it gives no rain for its period.\n",
                name_width, file_name.data(), radar.radar_nodata);
    return false;
  }
  // Watershed cells under a no-data value: the radar saw nothing there,
  // and the cells take no rain for the period.
  if (no_data > 0) {
    const long long total = static_cast<long long>(radar.radar_rows) * radar.radar_cols;
    int blind = 0;
    for (int k = 1; k <= radar.nivra_to_precip.size(); ++k) {
      const int i = radar.nivra_to_precip[k];
      blind += i >= 0 && i < total && radar.unmeasured[static_cast<std::size_t>(i)] != 0;
    }
    if (blind > 0)
      std::printf("Warning: %d of the watershed's %d cells lie under no-data values of the radar file %.*s; "
                  "they take no rain for its period.\n",
                  blind, radar.nivra_to_precip.size(), name_width, file_name.data());
  }
  radar.peak_read = peak;
  std::printf("Peak rainfall rate read: %lf mm/hr\n", peak);
  return true;
}

bool radar_to_cells(const radar_grid& radar, int ncells, double* rates) {
  const int total = radar.radar_rows * radar.radar_cols;  // at most radar_max_values
  const int* index = radar.nivra_to_precip.data();
  const double* data = radar.precip_data.data();
  double peak = 0.0;
  for (int k = 1; k <= ncells; ++k) {
    const int i = index[k];
    if (i < 0 || i >= total) {
      std::printf("Error: cellnum=%d, totcells=%d\n", i, total);
      return false;
    }
    const double v = data[i] < 0.0 ? 0.0 : data[i];
    rates[k] = v;
    if (v > peak) peak = v;
  }
  std::printf("Peak rainfall applied to watershed: %lf mm/hr\n", peak);
  return true;
}

}  // namespace nivra
