// XY points: the boundary values an inset run takes from a larger run's XY
// output files (xy_input), and the XY output points and files of a run
// (xy_output). The project reader fills both records inside
// project_options; the copy of the cards hands them to the output
// component (take_xy_records), where the set-up and the steps use them.
//
// This header holds the records and the routines that work on them alone
// (readers, interpolation entries, updates, weights, writers); the step
// glue that reads the run's record is in output/xy_steps.h.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"
#include "model/water_ledger.h"

namespace nivra {

struct time_series;

// Sources an interpolated boundary cell keeps (the nearest points).
inline constexpr int xy_max_sources = 5;
// The boundary code of the cells whose values are interpolated from XY
// points (groundwater and overland boundary maps).
inline constexpr int xy_interp_code = 8;

// A boundary point that drives one cell (overland depth, groundwater head),
// or, in the X/Y form, an interpolation point at x, y.
struct xy_point {
  int cell = 0;                   // id form: the cell it drives
  double x = 0.0, y = 0.0;        // X/Y form: its map coordinates
  time_series* series = nullptr;  // borrowed from the run's series list
  int file = 0;                   // its file in xy_input::files, from 1
  int line = 0;                   // the line that gave its cell or coordinates
};

// A stream boundary point on a channel link and node.
struct xy_stream_point {
  int link = 0, node = 0;
  double x = 0.0, y = 0.0;
  time_series* series = nullptr;
  int assigned = 0;      // link and node known
  int file = 0;          // its file in xy_input::files, from 1
  int line = 0;          // the line of its LINKNODE entry (0: given by coordinates)
  double inflow = 0.0;   // m3/s, its series at the last update
};

// An interpolated boundary cell: its value is the inverse-distance-squared
// mean of its sources' series.
struct xy_interp_entry {
  int cell = 0;
  int n = 0;  // sources, at most xy_max_sources
  std::array<time_series*, xy_max_sources> source{};
  std::array<int, xy_max_sources> point{};  // the sources' points, from 1
  std::array<double, xy_max_sources> weight{};
};

// XY boundary inputs: built empty, filled by the XY boundary-file readers
// while the project file is read.
struct xy_input {
  checked_array<xy_point> ovpts{"xy_input::ovpts"};
  checked_array<xy_stream_point> stpts{"xy_input::stpts"};
  checked_array<xy_point> gwpts{"xy_input::gwpts"};
  checked_array<xy_point> gw_interp_pts{"xy_input::gwInterpPts"};
  checked_array<xy_point> ov_interp_pts;  // no input fills it
  time_series* ov_series = nullptr;  // heads of the series read for each kind
  time_series* gw_series = nullptr;
  time_series* st_series = nullptr;
  int num_ovpts = 0, num_gwpts = 0, num_stpts = 0;
  int num_gw_interp_cells = 0, num_gw_interp_pts = 0;
  int num_ov_interp_cells = 0, num_ov_interp_pts = 0;
  // One entry per interpolated boundary cell, and the value of every
  // interpolation point at the time of an update (sized with the entries),
  // so that each series is looked up once per update.
  checked_array<xy_interp_entry> gw_interp;
  checked_array<xy_interp_entry> ov_interp;
  std::vector<double> gw_point_value, ov_point_value;
  // The files the points came from, for the checks against the grid and
  // the network once these are known.
  std::vector<std::string> files;
  int stflow_given = 0, sttimeseries_given = 0;  // stream points came from these cards
};

// An XY output point: its place, and the cells (at most four) whose
// values its value is the weighted mean of.
struct xy_out_point {
  double x = 0.0, y = 0.0;
  int id = 0;
  int link = 0, node = 0;  // stream points
  int n = 0;
  std::array<int, 4> cell{};
  std::array<double, 4> weight{};
  double weight_sum = 0.0;
};

// A straight piece of the inset mask's outline.
struct xy_segment {
  double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
};

// The model grid as the XY output points see it.
struct xy_grid {
  double north = 0.0, west = 0.0, cell_size = 0.0;
  int rows = 0, cols = 0;
  const array2d<int>* mask = nullptr;  // [row][col]: cell number, 0 outside
};

// The inset mask of the mask mode.
struct xy_inset {
  double north = 0.0, south = 0.0, east = 0.0, west = 0.0, cell_size = 0.0;
  int rows = 0, cols = 0;
  array2d<int> mask;  // [row][col]: non-zero inside the inset
};

// XY output settings and files. The mode is -1 until an XY output card
// chooses points (0) or an inset mask (1).
struct xy_output {
  xy_output() = default;
  xy_output(const xy_output&) = delete;
  xy_output& operator=(const xy_output&) = delete;
  // Every output file still open gets its end line before it is closed.
  ~xy_output() { close_files(); }
  void close_files() {
    for (guarded_file* f : {&ov_file, &gw_file, &stream_file}) {
      if (!f->is_open()) continue;
      std::fprintf(f->fp, "END_TS\n");
      close_guarded_file(*f);
    }
  }

  int mode = -1;
  int gw_on = 0, ov_on = 0, stream_on = 0;
  fixed_text<1024> file_name;         // point file or inset mask
  fixed_text<1024> ov_file_name;      // overland depth output
  fixed_text<1024> gw_file_name;      // groundwater head output
  fixed_text<1024> stream_file_name;  // stream discharge output
  // Borrowed values: per-cell overland depth and groundwater head, the
  // channel discharge table [node][link].
  const double* ov_values = nullptr;
  const double* gw_values = nullptr;
  const column_array2d<double>* flow_table = nullptr;
  xy_grid grid;
  xy_inset inset;
  std::vector<xy_out_point> points;
  std::vector<xy_segment> boundary_segments;
  std::vector<xy_out_point> stream_points;
  guarded_file ov_file, gw_file, stream_file;
};

// ------------------------------------------------------------ boundary inputs

// The readers of the five XY boundary cards, called by the project reader.
// A file that cannot be opened, a header that does not match, and a count,
// id or coordinate line that does not hold what it must stop the run with a
// message naming the file (and the line); false then. A file without points
// warns and reads nothing.
bool read_xy_boundary_file(xy_input& xy, std::string_view file_name, const char* role,
                           const char* header, checked_array<xy_point>& points, int& count,
                           time_series*& series_head, bool id_form);
bool read_xy_stream_boundary_file(xy_input& xy, std::string_view file_name);
bool read_xy_stream_ts_file(xy_input& xy, std::string_view file_name);

// The inverse-distance entries of the cells whose boundary code is
// `code` (8 on the groundwater and overland boundary maps): each keeps the
// nearest xy_max_sources points with weights 1 / distance^2 (distances
// below 0.0001 m count as 0.0001 m). Returns the number of entries added.
int xy_boundary_cells(checked_array<xy_interp_entry>& entries, int& entry_count,
                      const checked_array<xy_point>& points, int point_count, const int* codes,
                      int code, int ncells, const double* cell_x, const double* cell_y);
// The groundwater and the overland entries of the record, with the scratch
// of their points' values.
int xy_gw_boundary_cells(xy_input& xy, const int* codes, int ncells, const double* cell_x, const double* cell_y);
int xy_gw_face_cells(xy_input& xy, const int* codes, int ncells, const double* cell_x, const double* cell_y);

// Sum of weight x series value at `time` over the sources / sum of the
// weights; 0 for an entry without sources.
double idw_ts_value(const xy_interp_entry& e, double time);

// The volumes an update added to and removed from its cells, m3.
struct xy_books {
  double gain = 0.0;
  double loss = 0.0;
};

// The terms of the overland points' books and of the aquifer points'.
inline constexpr books_map<xy_books, 2> xy_overland_terms{{{
    {&xy_books::gain, water_flux::head_boundary_in},
    {&xy_books::loss, water_flux::head_boundary_out},
}}};
inline constexpr books_map<xy_books, 2> xy_groundwater_terms{{{
    {&xy_books::gain, water_flux::xy_boundary_gain},
    {&xy_books::loss, water_flux::xy_boundary_loss},
}}};

// Overland depths of the XY points and the interpolated overland cells at
// `time` (days): a negative value imposes a dry cell. An interpolated cell
// without sources keeps its depth.
// A blocked cell holds its depth over its open share only (blocked: the
// blocked fractions, or null).
xy_books xy_overland_update(xy_input& xy, double* depth, double cell_size, const double* blocked,
                            double time);
// Groundwater heads of the XY points and the interpolated boundary cells;
// the volume of a change is its height x cell area x the cell's storage.
xy_books apply_xy_boundary(xy_input& xy, double* head, const double* storage, double cell_size,
                           double time);
// The inflow of every stream point from its series at `time`.
void update_xy_stream_inflows(xy_input& xy, double time);

// Gives every stream point without LINKNODE the nearest computational node
// of a channel link (trapezoid, break-point or floodplain): node_counts the
// computational nodes per link, node_x and node_y the node points
// [point][link], computational node k halfway between points k and k + 1.
void assign_xy_stream_boundary_nodes(xy_input& xy, int link_count, const array1d<int>& node_counts,
                                     const array1d<int>& link_types, const column_array2d<double>& node_x,
                                     const column_array2d<double>& node_y);

// ------------------------------------------------------------ output points

// Reads the point file (count line, then x, y, id per line). False after
// the message when the file cannot be opened or a line is not a point.
bool read_xy_point_list(xy_output& out, std::string_view file_name);
// Reads the inset mask and makes a point at the centre of every inset cell
// on the inset's outline. False after the message on a failure.
bool read_xy_output_mask(xy_output& out, std::string_view file_name, int quiet);
// The neighbours of a point on the model grid and their weights (below).
void find_nearest_cells(const xy_grid& grid, xy_out_point& p);
void xy_output_weights(xy_out_point& p);
// sum of weight x value[cell] / weight sum.
double weighted_sum(const xy_out_point& p, const double* values);
// The outline of the inset mask and the stream points where channel links
// cross it (node_x, node_y: the node points of each link, [node][link]).
void mask_boundary_segments(xy_output& out);
void find_xy_stream_points(xy_output& out, int link_count, const array1d<int>& node_counts,
                           const column_array2d<double>& node_x, const column_array2d<double>& node_y);
// Whether segment a-b crosses segment c-d (c-d the outline piece).
bool segments_intersect(double ax, double ay, double bx, double by, double cx, double cy, double dx,
                        double dy);
// The headers and one line per output time of the open files.
void write_xy_headers(xy_output& out);
void write_xy_output_step(xy_output& out, double model_time);

}  // namespace nivra
