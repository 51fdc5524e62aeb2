// XY points: the boundary values an inset run takes from a larger run's XY
// output files (xy_input), and the XY output settings and files of a run
// (xy_output). Both records live in project_options for one run.
#pragma once

#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct time_series;

// A boundary point that drives one cell (overland depth, groundwater head).
struct xy_point {
  int cell = 0;
  double x = 0.0, y = 0.0;
  time_series* series = nullptr;  // borrowed from the run's series list
};

// A stream boundary point on a channel link and node.
struct xy_stream_point {
  int link = 0, node = 0;
  double x = 0.0, y = 0.0;
  time_series* series = nullptr;
  int assigned = 0;  // link and node known
};

// XY boundary inputs: built empty, filled by the XY boundary-file readers
// while the project file is read.
struct xy_input {
  checked_array<xy_point> ovpts{"xy_input::ovpts"};
  checked_array<xy_stream_point> stpts{"xy_input::stpts"};
  checked_array<xy_point> gwpts{"xy_input::gwpts"};
  checked_array<xy_point> gw_interp_pts{"xy_input::gwInterpPts"};
  checked_array<xy_point> ov_interp_pts;
  time_series* ov_series = nullptr;  // heads of the series read for each kind
  time_series* gw_series = nullptr;
  time_series* st_series = nullptr;
  int num_ovpts = 0, num_gwpts = 0, num_stpts = 0;
  int num_gw_interp_cells = 0, num_gw_interp_pts = 0;
  int num_ov_interp_cells = 0, num_ov_interp_pts = 0;
  // One entry per interpolated boundary cell: sources, weights, cell.
  checked_array<array_pair_entry> gw_interp;
  checked_array<array_pair_entry> ov_interp;
};

// XY output settings and files. The mode is -1 until an XY output card
// chooses points (0) or an inset mask (1).
struct xy_output {
  xy_output() = default;
  xy_output(const xy_output&) = delete;
  xy_output& operator=(const xy_output&) = delete;
  // Every output file still open gets its end line before it is closed.
  ~xy_output() {
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
  guarded_file ov_file, gw_file, stream_file;
};

}  // namespace nivra
