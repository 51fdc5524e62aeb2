// The results one model run hands back to a calibration driver for scoring:
// per event the outlet peak and volume, followed by those of each
// hydrograph location. The buffer belongs to the calibration driver's
// model-run callback; the run sizes it after its set-up (alloc_calib_output)
// and fills it at the end of every event.
#pragma once

#include "core/arrays.h"

namespace nivra {

// What a position of the series holds until an event writes it: an event the
// run never finished reads as a failed run, not as a result.
inline constexpr double not_captured = -999.99;

struct capture_buffer {
  int step_count = 0;        // events of the run
  int loc_stride = 1;        // entries per event: the outlet, then one per location
  array1d<double> series_a;  // peaks, event e at loc_stride * (e - 1) + 1 (+ location)
  array1d<double> series_b;  // volumes, at the same positions
  array1d<double> loc_a;     // per location: the event's peak
  array1d<double> loc_b;     // per location: the event's volume
};

}  // namespace nivra
