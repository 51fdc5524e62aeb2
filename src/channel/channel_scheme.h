// The explicit channel routing's own object: what it keeps from one call to
// the next within a run and its work arrays. The channel component owns one
// (channel_state::routing), made with the run's record, so a second run in
// the same process starts exactly as the first did, whatever the size of
// its network. prepare() sizes the work arrays at the set-up of the
// network, never inside a step.
#pragma once

#include "core/arrays.h"

namespace nivra {

struct channel_scheme {
  int calls = 0;             // routing calls in this run
  int sub_steps = 0;         // sub-steps taken in this run
  bool overbank = false;     // water crosses the banks: two passes per sub-step, floodplain exchange

  // Per node, as the channel state (node, link).
  column_array2d<double> area_start;  // flow area at the start of the sub-step, m2
  column_array2d<double> area_iter;   // predicted flow area, m2
  column_array2d<double> qp_start;    // discharge at the start of the sub-step, m3/s
  column_array2d<double> qp_iter;     // corrector discharge, m3/s
  column_array2d<double> qp_last;     // predictor discharge, m3/s
  column_array2d<double> qriv_start;  // stream-aquifer exchange at the start of the sub-step, m2/s
  array1d<double> rough;              // per grid-stream cell: effective Manning's n of its cell

  // Sizes the work arrays: node rows 0..nodes of links 0..links, the
  // aquifer exchange's when asked, and stream_cells roughness entries.
  void prepare(int nodes, int links, bool aquifer_exchange, int stream_cells);
};

}  // namespace nivra
