// XY boundary inputs: the readers of the five XY boundary cards, the
// inverse-distance entries of interpolated boundary cells, and the updates
// that write the boundary values of a time into the model's arrays.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>

#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/time_series.h"
#include "core/tokens.h"
#include "core/value_range.h"
#include "output/line_faults.h"
#include "output/xy_points.h"
#include "surface/blockage.h"

namespace nivra {

namespace {

constexpr const char* boundary_file = "XY boundary input file";

bool stop_run() { return stop_on_own_message(); }

// The values of the dated lines: an overland depth no deeper than a
// flood's, a stream discharge within the largest rivers'.
constexpr value_range xy_overland_depth = from_to(0, 100, "m");
constexpr value_range xy_stream_discharge = from_to(-1e6, 1e6, "m3/s");

bool refuse_line(std::string_view file, int line, const char* what) {
  return refuse_file_line(boundary_file, file, line, what);
}

// Opens a boundary file; one that cannot be read stops the run after the
// message, naming the file.
bool open_input(guarded_file& f, std::string_view name, const std::string& message) {
  if (open_input_file(f, name)) return true;
  std::printf("%s       The file %.*s cannot be read.\n", message.c_str(), static_cast<int>(name.size()), name.data());
  return stop_run();
}

// Reads the next line and counts it; false at the end of the file.
bool next_line(guarded_file& f, card_line& line, int& line_no) {
  if (!read_line(line, f)) return false;
  ++line_no;
  return true;
}

// The count line: a whole number of points, 0 or more.
bool read_count(guarded_file& f, std::string_view name, int& line_no, int& n) {
  return read_count_line(f, boundary_file, name, ++line_no, "points", n);
}

// A line of `skip` leading words and then n numbers into values.
bool read_number_line(guarded_file& f, std::string_view name, int& line_no, int skip, int n,
                      bool whole, std::vector<double>& values, const char* what) {
  card_line line;
  std::string token;
  if (!next_line(f, line, line_no)) return refuse_line(name, line_no + 1, what);
  for (int k = 0; k < skip; ++k) next_token(line, token);
  values.assign(n, 0.0);
  for (int p = 0; p < n; ++p) {
    bool ok = next_token(line, token) != 0;
    if (ok && whole) {
      int v = 0;
      ok = whole_token_int(token, v) && v >= 1;
      values[p] = v;
    } else if (ok) {
      ok = whole_token_double(token, values[p]) && std::isfinite(values[p]);
    }
    if (!ok) return refuse_line(name, line_no, what);
  }
  return true;
}

// The X line and the Y line of n points.
bool read_coordinate_lines(guarded_file& f, std::string_view name, int& line_no, int n, std::vector<double>& xs,
                           std::vector<double>& ys) {
  return read_number_line(f, name, line_no, 1, n, false, xs, "does not hold a label and the x coordinate of every point") &&
         read_number_line(f, name, line_no, 1, n, false, ys, "does not hold a label and the y coordinate of every point");
}

// The n series of the dated lines that follow, one per point in order.
bool read_point_series(guarded_file& f, std::string_view name, int n, const char* header,
                       std::vector<time_series*>& series) {
  const std::size_t first = process.ts_list.size();
  time_series* head = read_xy_boundary_series(f, n, header);
  if (!head) return false;  // the reader named the file and the line
  if (head->count < 1) {
    std::printf("Error: the XY boundary input file %.*s holds no dated values.\n",
                static_cast<int>(name.size()), name.data());
    return stop_run();
  }
  series.clear();
  for (std::size_t k = first; k < process.ts_list.size(); ++k) series.push_back(process.ts_list[k].get());
  return true;
}

int remember_file(xy_input& xy, std::string_view name) {
  xy.files.emplace_back(name);
  return static_cast<int>(xy.files.size());
}

double series_value(time_series* s, double time) { return s ? ts_value_at(time, s) : 0.0; }

// A new depth or head on a cell: the change booked as gained or lost.
void impose(double& at, double value, double volume_per_metre, xy_books& books) {
  const double change = value - at;
  if (change < 0.0)
    books.loss += -change * volume_per_metre;
  else
    books.gain += change * volume_per_metre;
  at = value;
}

}  // namespace

bool read_xy_boundary_file(xy_input& xy, std::string_view file_name, const char* role,
                           const char* header, checked_array<xy_point>& points, int& count,
                           time_series*& series_head, bool id_form) {
  guarded_file f;
  if (!open_input(f, file_name, std::string("Error: unable to open ") + role + " xy boundary input file.\n"))
    return false;
  int line_no = 0;
  card_line line;
  const std::string_view expected(header);
  if (!next_line(f, line, line_no) || line.rest().substr(0, expected.size()) != expected) {
    std::printf("Error: file used for %s xy boundary input file is not of appropriate type. File "
                "header does not match %s.\n",
                role, header);
    std::printf("       The file is %.*s.\n", static_cast<int>(file_name.size()), file_name.data());
    return stop_run();
  }
  int n = 0;
  if (!read_count(f, file_name, line_no, n)) return false;
  if (n < 1) {
    std::printf("Warning: No points in %s xy boundary input file.\n", role);
    return true;
  }
  std::vector<double> ids, xs, ys;
  const int first_line = line_no + 1;
  if (id_form) {
    if (!read_number_line(f, file_name, line_no, 2, n, true, ids,
                          "does not hold DATE, TIME and the cell number (1 or more) of every point"))
      return false;
  } else if (!read_coordinate_lines(f, file_name, line_no, n, xs, ys)) {
    return false;
  }
  std::vector<time_series*> series;
  const int data_line = line_no + 1;
  if (!read_point_series(f, file_name, n, header, series)) return false;
  // Overland depths of a cell (a deeper one would make the overland steps
  // too short for a run to end), groundwater heads as elevations.
  const bool depth = std::string_view(header) == "XY_OV_DEPTH";
  const value_range range = depth ? xy_overland_depth : ground_elevation;
  for (int p = 0; p < n; ++p)
    for (int k = 0; k < series[p]->count; ++k) {
      if (range.contains(series[p]->values[k])) continue;
      char point[64];
      if (id_form)
        std::snprintf(point, sizeof point, "point %d (cell %d)", p + 1, static_cast<int>(ids[p]));
      else
        std::snprintf(point, sizeof point, "point %d", p + 1);
      char what[240];
      std::snprintf(what, sizeof what, "gives %s a %s of %g; it takes %s", point, depth ? "depth" : "head",
                    series[p]->values[k], range.describe().c_str());
      return refuse_line(file_name, data_line + k, what);
    }

  const int file = remember_file(xy, file_name);
  const int old = points.count();
  points.grow(n);
  for (int p = 0; p < n; ++p) {
    xy_point& pt = points[old + 1 + p];
    pt.cell = id_form ? static_cast<int>(ids[p]) : 0;
    pt.x = id_form ? 0.0 : xs[p];
    pt.y = id_form ? 0.0 : ys[p];
    pt.series = series[p];
    pt.file = file;
    pt.line = first_line;
  }
  count = points.count();
  if (!series_head) series_head = series.front();
  return true;
}

bool read_xy_stream_boundary_file(xy_input& xy, std::string_view file_name) {
  guarded_file f;
  if (!open_input(f, file_name, "Error: unable to open stream xy boundary input file.\n")) return false;
  int line_no = 0;
  card_line line;
  if (!next_line(f, line, line_no) || !keyword_equal(line.rest(), "XY_STREAM_HYDROGRAPHS")) {
    std::printf("Error: file used for stream xy boundary input file is not of appropriate type. "
                "File header does not match XY_STREAM_HYDROGRAPHS.\n");
    std::printf("       The file is %.*s.\n", static_cast<int>(file_name.size()), file_name.data());
    return stop_run();
  }
  int n = 0;
  if (!read_count(f, file_name, line_no, n)) return false;
  if (n < 1) {
    std::printf("Warning: No points in the stream xy boundary input file.\n");
    return true;
  }
  std::vector<double> xs, ys;
  if (!read_coordinate_lines(f, file_name, line_no, n, xs, ys)) return false;
  std::vector<time_series*> series;
  const int data_line = line_no + 1;
  if (!read_point_series(f, file_name, n, "XY_STREAM_HYDROGRAPHS", series)) return false;
  for (int p = 0; p < n; ++p)
    for (int k = 0; k < series[p]->count; ++k) {
      if (xy_stream_discharge.contains(series[p]->values[k])) continue;
      char what[200];
      std::snprintf(what, sizeof what, "gives point %d a discharge of %g; it takes %s", p + 1, series[p]->values[k],
                    xy_stream_discharge.describe().c_str());
      return refuse_line(file_name, data_line + k, what);
    }

  const int file = remember_file(xy, file_name);
  const int old = xy.stpts.count();
  xy.stpts.grow(n);
  for (int p = 0; p < n; ++p) {
    xy_stream_point& s = xy.stpts[old + 1 + p];
    s.x = xs[p];
    s.y = ys[p];
    s.series = series[p];
    s.file = file;
  }
  xy.num_stpts = xy.stpts.count();
  xy.stflow_given = 1;
  if (!xy.st_series) xy.st_series = series.front();
  return true;
}

namespace {

enum stream_ts_word { st_other = 0, st_header = 1, st_block = 2, st_xy = 3, st_linknode = 4, st_end = 5, st_series = 6 };

int xy_stream_ts_keyword(std::string_view line) {
  static constexpr std::pair<const char*, int> words[] = {
      {"NIVRA_XY_ST_BDY_TS", st_header}, {"NIVRA_TS", st_block}, {"XY", st_xy},
      {"LINKNODE", st_linknode},         {"END_TS", st_end},     {"TIMESERIES", st_series}};
  for (const auto& [word, code] : words)
    if (keyword_equal(line, word)) return code;
  return st_other;
}

}  // namespace

bool read_xy_stream_ts_file(xy_input& xy, std::string_view file_name) {
  guarded_file f;
  if (!open_input(f, file_name, "Error: unable to open stream xy boundary input file.\n")) return false;
  card_line line;
  int line_no = 0;
  if (!next_line(f, line, line_no) || xy_stream_ts_keyword(line.rest()) != st_header) {
    std::printf("Error: incorrectly formatted header for stream xy time series boundary input file.\n");
    std::printf("       The file is %.*s.\n", static_cast<int>(file_name.size()), file_name.data());
    return stop_run();
  }
  // First pass: one point per NIVRA_TS block.
  int blocks = 0;
  while (next_line(f, line, line_no))
    if (xy_stream_ts_keyword(line.rest()) == st_block) ++blocks;
  if (blocks == 0) {
    std::printf("Warning: No points in the stream xy boundary input file.\n");
    return true;
  }
  std::rewind(f.fp);
  line_no = 0;
  next_line(f, line, line_no);

  const int file = remember_file(xy, file_name);
  const int first = xy.stpts.count() + 1;
  xy.stpts.grow(blocks);
  int p = first - 1;        // the point of the current block, 0 before the first
  int block_line = 0;       // the line of its NIVRA_TS
  bool placed = false, has_series = false;
  auto finish_block = [&]() {
    if (p < first) return true;
    if (!placed) return refuse_line(file_name, block_line, "starts a point that gets neither XY nor LINKNODE");
    if (!has_series) return refuse_line(file_name, block_line, "starts a point that gets no TIMESERIES");
    return true;
  };
  std::string token;
  while (next_line(f, line, line_no)) {
    const int word = xy_stream_ts_keyword(line.rest());
    if (word == st_block) {
      if (!finish_block()) return false;
      ++p;
      block_line = line_no;
      placed = has_series = false;
      xy.stpts[p].file = file;
      continue;
    }
    if (word == st_end || word == st_other || word == st_header) continue;
    if (p < first) return refuse_line(file_name, line_no, "comes before the first NIVRA_TS block");
    xy_stream_point& s = xy.stpts[p];
    next_token(line, token);  // the keyword
    if (word == st_xy) {
      double x = 0.0, y = 0.0;
      const bool ok = next_token(line, token) && whole_token_double(token, x) && std::isfinite(x) &&
                      next_token(line, token) && whole_token_double(token, y) && std::isfinite(y);
      if (!ok) return refuse_line(file_name, line_no, "does not give XY two finite coordinates");
      s.x = x;
      s.y = y;
      placed = true;
    } else if (word == st_linknode) {
      int link = 0, node = 0;
      const bool ok = next_token(line, token) && whole_token_int(token, link) && link >= 1 &&
                      next_token(line, token) && whole_token_int(token, node) && node >= 1;
      if (!ok) return refuse_line(file_name, line_no, "does not give LINKNODE a link and a node (whole numbers, 1 or more)");
      s.link = link;
      s.node = node;
      s.assigned = 1;
      s.line = line_no;
      placed = true;
    } else if (word == st_series) {
      std::string name;
      next_token(line, name);
      strip_quotes(name);
      s.series = name.empty() ? nullptr : find_time_series(name);
      if (!s.series) {
        std::printf("Error!!! unable to find time series [%s] for the xy boundary stream time series file.\n",
                    name.c_str());
        std::printf("         Perhaps the related TIME_SERIES_FILE card in the project file is below the "
                    "XYBDYINPUT_STTIMESERIES card?\n");
        return refuse_line(file_name, line_no, "names a time series that is not loaded");
      }
      has_series = true;
    }
  }
  if (!finish_block()) return false;
  xy.num_stpts = xy.stpts.count();
  if (blocks > 0) xy.sttimeseries_given = 1;
  return true;
}

int xy_boundary_cells(checked_array<xy_interp_entry>& entries, int& entry_count,
                      const checked_array<xy_point>& points, int point_count, const int* codes,
                      int code, int ncells, const double* cell_x, const double* cell_y) {
  int boundary = 0;
  for (int c = 1; c <= ncells; ++c)
    if (codes[c] == code) ++boundary;
  if (boundary == 0) return 0;
  const int old = entries.count();
  entries.grow(boundary);
  std::vector<double> distance(static_cast<std::size_t>(point_count));
  std::vector<int> order(static_cast<std::size_t>(point_count));
  int k = old;
  for (int c = 1; c <= ncells; ++c) {
    if (codes[c] != code) continue;
    xy_interp_entry& e = entries[++k];
    e.cell = c;
    for (int p = 0; p < point_count; ++p) {
      const double dx = cell_x[c] - points[p + 1].x;
      const double dy = cell_y[c] - points[p + 1].y;
      double d = std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5 ? 0.0 : std::sqrt(dx * dx + dy * dy);
      distance[p] = d < 0.0001 ? 0.0001 : d;
    }
    std::iota(order.begin(), order.end(), 0);
    e.n = point_count < xy_max_sources ? point_count : xy_max_sources;
    if (point_count > xy_max_sources)
      std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return distance[a] < distance[b]; });
    for (int s = 0; s < e.n; ++s) {
      const int p = order[s];
      e.source[s] = points[p + 1].series;
      e.point[s] = p + 1;
      e.weight[s] = 1.0 / (distance[p] * distance[p]);
    }
  }
  entry_count = entries.count();
  return boundary;
}

int xy_gw_boundary_cells(xy_input& xy, const int* codes, int ncells, const double* cell_x, const double* cell_y) {
  xy.gw_point_value.assign(static_cast<std::size_t>(xy.num_gw_interp_pts) + 1, 0.0);
  return xy_boundary_cells(xy.gw_interp, xy.num_gw_interp_cells, xy.gw_interp_pts, xy.num_gw_interp_pts, codes,
                           xy_interp_code, ncells, cell_x, cell_y);
}

int xy_gw_face_cells(xy_input& xy, const int* codes, int ncells, const double* cell_x, const double* cell_y) {
  xy.ov_point_value.assign(static_cast<std::size_t>(xy.num_ov_interp_pts) + 1, 0.0);
  return xy_boundary_cells(xy.ov_interp, xy.num_ov_interp_cells, xy.ov_interp_pts, xy.num_ov_interp_pts, codes,
                           xy_interp_code, ncells, cell_x, cell_y);
}

namespace {

// Every interpolation point's value at the time, into the record's scratch.
const double* point_values(const checked_array<xy_point>& points, int count, std::vector<double>& values,
                           double time) {
  if (values.size() < static_cast<std::size_t>(count) + 1) return nullptr;
  for (int p = 1; p <= count; ++p) values[p] = series_value(points[p].series, time);
  return values.data();
}

// The inverse-distance mean of an entry from the points' values.
double idw_value(const xy_interp_entry& e, const double* values) {
  double sum = 0.0, weights = 0.0;
  for (int s = 0; s < e.n; ++s) {
    sum += e.weight[s] * values[e.point[s]];
    weights += e.weight[s];
  }
  return weights > 0.0 ? sum / weights : 0.0;
}

}  // namespace

double idw_ts_value(const xy_interp_entry& e, double time) {
  double sum = 0.0, weights = 0.0;
  for (int s = 0; s < e.n; ++s) {
    sum += e.weight[s] * series_value(e.source[s], time);
    weights += e.weight[s];
  }
  return weights > 0.0 ? sum / weights : 0.0;
}

xy_books xy_overland_update(xy_input& xy, double* depth, double cell_size, const double* blocked,
                            double time) {
  xy_books books;
  const double area = cell_size * cell_size;
  for (int p = 1; p <= xy.num_ovpts; ++p) {
    const xy_point& pt = xy.ovpts[p];
    impose(depth[pt.cell], series_value(pt.series, time), area * open_share(blocked, pt.cell), books);
  }
  if (xy.num_ov_interp_cells > 0) {
    const double* values = point_values(xy.ov_interp_pts, xy.num_ov_interp_pts, xy.ov_point_value, time);
    double max_depth = 0.0;
    for (int k = 1; k <= xy.num_ov_interp_cells; ++k) {
      const xy_interp_entry& e = xy.ov_interp[k];
      if (e.n == 0) continue;  // no point to take a value from: the cell keeps its depth
      double d = values ? idw_value(e, values) : idw_ts_value(e, time);
      if (d < 0.0) d = 0.0;
      if (d > max_depth) max_depth = d;
      impose(depth[e.cell], d, area * open_share(blocked, e.cell), books);
    }
    std::printf("Max head:%lf\n", max_depth);
  }
  return books;
}

xy_books apply_xy_boundary(xy_input& xy, double* head, const double* storage, double cell_size,
                           double time) {
  xy_books books;
  const double area = cell_size * cell_size;
  for (int p = 1; p <= xy.num_gwpts; ++p) {
    const xy_point& pt = xy.gwpts[p];
    impose(head[pt.cell], series_value(pt.series, time), area * storage[pt.cell], books);
  }
  if (xy.num_gw_interp_cells > 0) {
    const double* values = point_values(xy.gw_interp_pts, xy.num_gw_interp_pts, xy.gw_point_value, time);
    for (int k = 1; k <= xy.num_gw_interp_cells; ++k) {
      const xy_interp_entry& e = xy.gw_interp[k];
      if (e.n == 0) continue;
      impose(head[e.cell], values ? idw_value(e, values) : idw_ts_value(e, time), area * storage[e.cell], books);
    }
  }
  return books;
}

void update_xy_stream_inflows(xy_input& xy, double time) {
  for (int p = 1; p <= xy.num_stpts; ++p) xy.stpts[p].inflow = series_value(xy.stpts[p].series, time);
}

void assign_xy_stream_boundary_nodes(xy_input& xy, int link_count, const array1d<int>& node_counts,
                                     const array1d<int>& link_types, const column_array2d<double>& node_x,
                                     const column_array2d<double>& node_y) {
  constexpr int channel_links = 4 | 8 | 16;  // trapezoid, break-point, floodplain
  for (int p = 1; p <= xy.num_stpts; ++p) {
    xy_stream_point& s = xy.stpts[p];
    if (s.assigned) continue;
    double best = -1.0;
    for (int l = 1; l <= link_count && l <= link_types.size() && l <= node_counts.size() && l <= node_x.cols(); ++l) {
      if (!(link_types[l] & channel_links)) continue;
      // Computational node k lies halfway between node points k and k + 1.
      for (int k = 1; k <= node_counts[l] && k + 1 <= node_x.rows(); ++k) {
        const double x = 0.5 * (node_x(k, l) + node_x(k + 1, l)), y = 0.5 * (node_y(k, l) + node_y(k + 1, l));
        const double d = (x - s.x) * (x - s.x) + (y - s.y) * (y - s.y);
        if (best < 0.0 || d < best) {
          best = d;
          s.link = l;
          s.node = k;
        }
      }
    }
    s.assigned = best >= 0.0 ? 1 : 0;
  }
}

}  // namespace nivra
