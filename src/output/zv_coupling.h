// Stream fluxes for the outside model ZV. ZV divides the watershed into
// segments (a grid map of segment numbers); at every output step the model
// writes the average flow that crossed each segment's boundary during the
// interval: overland flow across the faces between a segment's cells and
// cells of no segment, plus the channel flow at the stream nodes that the
// link/node-to-segment file assigns to the segment.
#pragma once

#include <string_view>

#include "core/arrays.h"
#include "core/guarded_file.h"

namespace nivra {

struct model_state;

// The coupling record of a run (in output_state).
struct zv_data {
  int n_seg = 0;                 // highest segment number of the map (0: nothing to write)
  array1d<int> seg_map;          // per cell: its segment, 0 none
  array1d<int> active_array;     // per segment 1..n_seg: 1 when some cell carries it
  array1d<double> flux;          // per segment 0..n_seg: flows summed since the last line, m3/s
  int steps = 0;                 // steps summed
  int n_links = 0;               // entries of the link/node-to-segment file
  array1d<int> link, node, segment;
  int first_line = 1;            // no flux line written yet
  double first_day = 0.0;        // day value of the first line
  guarded_file flux_file;        // the segment flux output
};

// The files of the coupling (the card values).
struct zv_files {
  std::string_view segment_map;
  std::string_view nodes_to_segs;
  std::string_view flux_out;
};

// What the link/node entries are checked against.
struct zv_network {
  int link_count = 0;
  const array1d<int>* node_counts = nullptr;  // computational nodes per link
};

// Reads the segment map into seg_map (the grid's own map reader, so the map
// has the grid's size and one whole number 0..9999 per cell), the
// link/node-to-segment file (each entry's link and node checked against the
// network and its segment against the map, naming the file and the line)
// and opens the flux output with its header. False after the message when
// the run must stop.
bool zv_read_segment_map(zv_data& zv, const zv_files& files, model_state& ms, const zv_network& net);

// Adds the step's flows: |qx| across the east face and |qy| across the
// south face of every cell (face discharges, m3/s) where exactly one of the
// two cells belongs to a segment; with channels, |qp| of every entry's node.
// Null face discharges add no overland flow.
void zv_accumulate(zv_data& zv, const double* qx, const double* qy, int ncells, const int* rightcon,
                   const int* belowcon, bool channels, const column_array2d<double>* qp);

// Writes the averages of the interval (day: the day of the year with the
// fraction of the day) and starts the next interval from zero.
void zv_write_fluxes(zv_data& zv, double day);

// The map-phase step: with ZV_FLUXES, the coupling record and its files.
void init_zv_coupling(model_state& ms);

// The per-step call of the time-series outputs: the accumulation every
// step, the line of the interval at output steps.
void zv_output_step(model_state& ms, bool output_step);

}  // namespace nivra
