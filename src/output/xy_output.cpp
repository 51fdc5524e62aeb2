// XY output points: the points (from a point file, or the outline cells of
// an inset mask), their neighbour cells and inverse-distance weights on the
// model grid, the points where channel links cross the inset outline, and
// the three output files with a line per output time.
#include <cmath>
#include <cstdio>
#include <string>

#include "core/dates.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/tokens.h"
#include "inputs/grid_map.h"
#include "output/line_faults.h"
#include "output/xy_points.h"

namespace nivra {

namespace {

constexpr const char* point_file = "XY output point file";

bool stop_run() { return stop_on_own_message(); }

bool active(const xy_grid& g, int row, int col) {
  return row >= 1 && row <= g.rows && col >= 1 && col <= g.cols && (*g.mask)(row, col) != 0;
}

double centre_x(const xy_grid& g, int col) { return g.west + (col - 0.5) * g.cell_size; }
double centre_y(const xy_grid& g, int row) { return g.north - (row - 0.5) * g.cell_size; }

// Distance from the point to a cell centre; 0 when both differences are
// below 1e-5 m.
double centre_distance(const xy_out_point& p, double cx, double cy) {
  const double dx = p.x - cx, dy = p.y - cy;
  if (std::fabs(dx) < 1e-5 && std::fabs(dy) < 1e-5) return 0.0;
  return std::sqrt(dx * dx + dy * dy);
}

bool inset_inside(const xy_inset& m, int row, int col) {
  return row >= 1 && row <= m.rows && col >= 1 && col <= m.cols && m.mask(row, col) != 0;
}

// An active inset cell with a side on the inset's outline.
bool on_inset_outline(const xy_inset& m, int row, int col) {
  return !inset_inside(m, row - 1, col) || !inset_inside(m, row + 1, col) || !inset_inside(m, row, col - 1) ||
         !inset_inside(m, row, col + 1);
}

void date_columns(std::FILE* fp, double model_time) {
  const calendar c = calendar_date(model_time);
  std::fprintf(fp, "%4d %02d %02d %02d %02d\t", c.year, c.month, c.day, c.hour, c.minute);
}

}  // namespace

bool read_xy_point_list(xy_output& out, std::string_view file_name) {
  if (file_name.empty()) {
    std::printf("Error: filename for XY Output File not specified.\n");
    return stop_run();
  }
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: unable to open the xy output file %.*s.\n", static_cast<int>(file_name.size()),
                file_name.data());
    return stop_run();
  }
  int line_no = 1;
  int n = 0;
  if (!read_count_line(f, point_file, file_name, 1, "points", n)) return false;
  card_line line;
  std::string token;
  out.points.reserve(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    if (!read_line(line, f)) {
      std::printf("Error: the XY output point file %.*s ends after %d of the %d points its first line counts.\n",
                  static_cast<int>(file_name.size()), file_name.data(), k, n);
      return stop_run();
    }
    ++line_no;
    xy_out_point p;
    const bool ok = next_token(line, token) && whole_token_double(token, p.x) && std::isfinite(p.x) &&
                    next_token(line, token) && whole_token_double(token, p.y) && std::isfinite(p.y) &&
                    next_token(line, token) && whole_token_int(token, p.id);
    if (!ok) return refuse_file_line(point_file, file_name, line_no, "does not hold x, y (finite) and the point's id (a whole number)");
    if (next_token(line, token)) return refuse_file_line(point_file, file_name, line_no, "holds more than x, y and an id");
    out.points.push_back(p);
  }
  return refuse_lines_beyond_count(f, point_file, file_name, line_no);
}

bool read_xy_output_mask(xy_output& out, std::string_view file_name, int quiet) {
  guarded_file f;
  if (file_name.empty() || !open_input_file(f, file_name)) {
    std::printf("Error: unable to open the XY output mask file.\n");
    std::printf("       The file %.*s cannot be read.\n", static_cast<int>(file_name.size()), file_name.data());
    return stop_run();
  }
  xy_inset& m = out.inset;
  // The header tells the inset's size; the map reader then reads it whole.
  char word[8];
  const bool header = std::fscanf(f.fp, "%6s %lf", word, &m.north) == 2 &&
                      std::fscanf(f.fp, "%6s %lf", word, &m.south) == 2 &&
                      std::fscanf(f.fp, "%5s %lf", word, &m.east) == 2 &&
                      std::fscanf(f.fp, "%5s %lf", word, &m.west) == 2 &&
                      std::fscanf(f.fp, "%5s %d", word, &m.rows) == 2 &&
                      std::fscanf(f.fp, "%5s %d", word, &m.cols) == 2;
  if (!header || !std::isfinite(m.north) || !std::isfinite(m.south) || !std::isfinite(m.east) ||
      !std::isfinite(m.west) || m.north <= m.south || m.east <= m.west || m.rows < 1 || m.cols < 1 ||
      m.rows > 100000 || m.cols > 100000) {
    std::printf("Error: the header of the XY output mask file %.*s does not give north above south, east "
                "above west and the rows and columns (1 to 100000).\n",
                static_cast<int>(file_name.size()), file_name.data());
    return stop_run();
  }
  std::rewind(f.fp);
  m.mask.alloc(m.rows + 1, m.cols + 1);
  double n = 0, s = 0, e = 0, w = 0;
  int rows = 0, cols = 0;
  read_ascii_map(f, file_name, map_int_grid, n, s, e, w, rows, cols, m.mask, nullptr, nullptr, nullptr, m.rows,
                 m.cols, quiet);
  if (process.error_block.stop) return false;
  m.cell_size = (m.north - m.south) / m.rows;
  int id = 0;
  for (int r = 1; r <= m.rows; ++r)
    for (int c = 1; c <= m.cols; ++c) {
      if (!inset_inside(m, r, c) || !on_inset_outline(m, r, c)) continue;
      xy_out_point p;
      p.x = m.west + (c - 0.5) * m.cell_size;
      p.y = m.north - (r - 0.5) * m.cell_size;
      p.id = ++id;
      out.points.push_back(p);
    }
  return true;
}

void find_nearest_cells(const xy_grid& g, xy_out_point& p) {
  const double dx = g.cell_size;
  const double fx = (p.x - g.west) / dx, fy = (g.north - p.y) / dx;
  const int col = static_cast<int>(std::floor(fx)) + 1;
  const int row = static_cast<int>(std::floor(fy)) + 1;
  p.n = 0;
  if (active(g, row, col)) {
    const bool east = fx - std::floor(fx) >= 0.5;
    const bool south = fy - std::floor(fy) >= 0.5;
    const int r0 = south ? row : row - 1;
    const int c0 = east ? col : col - 1;
    for (int r = r0; r <= r0 + 1; ++r)
      for (int c = c0; c <= c0 + 1; ++c) {
        if (!active(g, r, c)) continue;
        p.cell[p.n] = (*g.mask)(r, c);
        p.weight[p.n] = centre_distance(p, centre_x(g, c), centre_y(g, r));  // the distance for now
        ++p.n;
      }
    return;
  }
  std::printf("Warning... an XY output point (x=%8.2lf, y=%8.2lf) is not located in an active cell. \n"
              "    The result will be the value of the single nearest neighbor.\n",
              p.x, p.y);
  std::fprintf(stderr,
               "Warning... an XY output point (x=%8.2lf, y=%8.2lf) is not located in an active cell. \n"
               "    The result will be the value of the single nearest neighbor.\n",
               p.x, p.y);
  double best = -1.0;
  for (int r = 1; r <= g.rows; ++r)
    for (int c = 1; c <= g.cols; ++c) {
      if (!active(g, r, c)) continue;
      const double d = centre_distance(p, centre_x(g, c), centre_y(g, r));
      if (best < 0.0 || d < best) {
        best = d;
        p.cell[0] = (*g.mask)(r, c);
      }
    }
  if (best < 0.0) {
    std::printf("Error: unable to find nearest neighbor for out-of-bound x/y value. Something is really messed "
                "up with your input. Reverting to cell id 1.\n");
    p.cell[0] = 1;
  }
  p.n = 1;
  p.weight[0] = 0.0;
}

void xy_output_weights(xy_out_point& p) {
  if (p.n <= 1) {
    p.weight[0] = 1.0;
    p.weight_sum = 1.0;
    return;
  }
  p.weight_sum = 0.0;
  for (int k = 0; k < p.n; ++k) {
    const double d = p.weight[k] < 0.0001 ? 0.0001 : p.weight[k];
    p.weight[k] = 1.0 / (d * d);
    p.weight_sum += p.weight[k];
  }
}

double weighted_sum(const xy_out_point& p, const double* values) {
  double sum = 0.0;
  for (int k = 0; k < p.n; ++k) sum += p.weight[k] * values[p.cell[k]];
  return sum / p.weight_sum;
}

void mask_boundary_segments(xy_output& out) {
  const xy_inset& m = out.inset;
  out.boundary_segments.clear();
  for (int r = 1; r <= m.rows; ++r)
    for (int c = 1; c <= m.cols; ++c) {
      if (!inset_inside(m, r, c) || !on_inset_outline(m, r, c)) continue;
      const double x0 = m.west + (c - 1) * m.cell_size, x1 = x0 + m.cell_size;
      const double y0 = m.north - (r - 1) * m.cell_size, y1 = y0 - m.cell_size;
      if (!inset_inside(m, r - 1, c)) out.boundary_segments.push_back({x0, y0, x1, y0});  // north side
      if (!inset_inside(m, r, c + 1)) out.boundary_segments.push_back({x1, y0, x1, y1});  // east side
      if (!inset_inside(m, r + 1, c)) out.boundary_segments.push_back({x1, y1, x0, y1});  // south side
      if (!inset_inside(m, r, c - 1)) out.boundary_segments.push_back({x0, y1, x0, y0});  // west side
    }
}

bool segments_intersect(double ax, double ay, double bx, double by, double cx, double cy, double dx,
                        double dy) {
  const double rx = bx - ax, ry = by - ay;  // the channel piece
  const double sx = dx - cx, sy = dy - cy;  // the outline piece
  const double denom = rx * sy - ry * sx;
  if (denom == 0.0) return false;  // parallel pieces never cross
  const double qx = cx - ax, qy = cy - ay;
  const double t = (qx * sy - qy * sx) / denom;  // along the channel piece
  const double u = (qx * ry - qy * rx) / denom;  // along the outline piece
  return u >= 0.0 && u <= 1.0 && t > 0.0 && t <= 1.0;
}

void find_xy_stream_points(xy_output& out, int link_count, const array1d<int>& node_counts,
                           const column_array2d<double>& node_x, const column_array2d<double>& node_y) {
  out.stream_points.clear();
  for (int l = 1; l <= link_count && l <= node_counts.size() && l <= node_x.cols(); ++l) {
    for (int k = 2; k <= node_counts[l] && k <= node_x.rows(); ++k) {
      const double ax = node_x(k - 1, l), ay = node_y(k - 1, l), bx = node_x(k, l), by = node_y(k, l);
      for (const xy_segment& s : out.boundary_segments) {
        if (std::fmax(ax, bx) < std::fmin(s.x1, s.x2) || std::fmin(ax, bx) > std::fmax(s.x1, s.x2) ||
            std::fmax(ay, by) < std::fmin(s.y1, s.y2) || std::fmin(ay, by) > std::fmax(s.y1, s.y2))
          continue;
        if (!segments_intersect(ax, ay, bx, by, s.x1, s.y1, s.x2, s.y2)) continue;
        xy_out_point p;
        p.x = 0.5 * (ax + bx);
        p.y = 0.5 * (ay + by);
        p.link = l;
        p.node = k - 1;
        bool same_link = false;
        for (xy_out_point& q : out.stream_points) {
          if (q.link != l) continue;
          same_link = true;
          if (p.node > q.node) q = p;
        }
        if (!same_link) out.stream_points.push_back(p);
        break;
      }
    }
  }
}

void write_xy_headers(xy_output& out) {
  struct series_file {
    guarded_file& f;
    const char* header;
  };
  for (const series_file& s : {series_file{out.ov_file, "XY_OV_DEPTH"}, series_file{out.gw_file, "XY_GW_HEAD"}}) {
    if (!s.f.is_open()) continue;
    std::fprintf(s.f.fp, "%s\n%d\n", s.header, static_cast<int>(out.points.size()));
    std::fprintf(s.f.fp, "DATE       TIME \t");
    for (const xy_out_point& p : out.points) std::fprintf(s.f.fp, "  %8d", p.id);
    std::fprintf(s.f.fp, "\n");
  }
  if (out.stream_file.is_open()) {
    std::FILE* fp = out.stream_file.fp;
    std::fprintf(fp, "XY_STREAM_HYDROGRAPHS\n%d\n", static_cast<int>(out.stream_points.size()));
    std::fprintf(fp, "X                 \t");
    for (const xy_out_point& p : out.stream_points) std::fprintf(fp, "   %12.3lf", p.x);
    std::fprintf(fp, "\nY                 \t");
    for (const xy_out_point& p : out.stream_points) std::fprintf(fp, "   %12.3lf", p.y);
    std::fprintf(fp, "\n");
  }
}

void write_xy_output_step(xy_output& out, double model_time) {
  struct series_file {
    guarded_file& f;
    const double* values;
  };
  for (const series_file& s : {series_file{out.ov_file, out.ov_values}, series_file{out.gw_file, out.gw_values}}) {
    if (!s.f.is_open() || !s.values) continue;
    date_columns(s.f.fp, model_time);
    for (const xy_out_point& p : out.points) std::fprintf(s.f.fp, "  %8.3lf", weighted_sum(p, s.values));
    std::fprintf(s.f.fp, "\n");
  }
  if (out.stream_file.is_open()) {
    std::FILE* fp = out.stream_file.fp;
    date_columns(fp, model_time);
    const column_array2d<double>* q = out.flow_table;
    for (const xy_out_point& p : out.stream_points) {
      const bool inside = q && !q->empty() && p.node <= q->rows() && p.link <= q->cols();
      std::fprintf(fp, "   %12.4lf", inside ? (*q)(p.node, p.link) : 0.0);
    }
    std::fprintf(fp, "\n");
  }
}

}  // namespace nivra
