// The explicit channel routing's own object: what it keeps from one call to
// the next within a run and its work arrays. The channel component owns one
// (channel_state::routing), made with the run's record, so a second run in
// the same process starts exactly as the first did, whatever the size of
// its network. prepare() sizes the work arrays at the set-up of the
// network, never inside a step.
#pragma once

#include "core/arrays.h"

namespace nivra {

// A grid-stream entry's node at levels fixed over a channel step: its flow
// area (m2) and top width (m) at the cell's ground and its flow area at
// the crest a spill from it passes.
struct entry_section {
  double ground_area = 0.0, ground_topw = 0.0, crest_area = 0.0;
};

struct channel_scheme {
  int calls = 0;             // routing calls in this run
  int sub_steps = 0;         // sub-steps taken in this run
  bool overbank = false;     // water crosses the banks: two passes per sub-step

  // Per node, as the channel state (node, link).
  column_array2d<double> area_start;  // flow area at the start of the sub-step, m2
  column_array2d<double> area_iter;   // predicted flow area, m2
  column_array2d<double> qp_start;    // discharge at the start of the sub-step, m3/s
  column_array2d<double> qp_iter;     // corrector discharge, m3/s
  column_array2d<double> qp_last;     // predictor discharge, m3/s
  column_array2d<double> qriv_start;  // stream-aquifer exchange at the start of the sub-step, m2/s
  column_array2d<double> qlat_other;  // lateral inflow of the step that is no exchange with the cells, m2/s
  // The point sources of the last volume balance: the file's inflow and
  // the water the sinks took (never more than the node held), m3.
  column_array2d<double> point_in, point_out;
  // Per grid-stream cell: the effective Manning's n of its cell and its
  // depth at the start of the sub-step (m); per grid-stream entry (cell,
  // entry): its node's sections and the volume it exchanged with its cell
  // over the step, m3.
  array1d<double> rough;
  array1d<double> cell_depth_start;
  array2d<entry_section> entry_sections;
  array2d<double> entry_volume;

  // Sizes the work arrays: node rows 0..nodes of links 0..links, the
  // aquifer exchange's when asked, and the grid-stream table's stream_cells
  // cells of at most entries entries each.
  void prepare(int nodes, int links, bool aquifer_exchange, int stream_cells, int entries);
};

}  // namespace nivra
