// The results one model run hands back to a calibration driver for scoring:
// per event the outlet peak and volume, followed by those of each
// hydrograph location. Kept to what a run fills until the calibration
// drivers exist.
#pragma once

#include "core/arrays.h"

namespace nivra {

struct capture_buffer {
  int step_count = 0;
  int loc_stride = 1;        // entries per event: the outlet, then one per location
  array1d<double> series_a;  // peaks, event e at loc_stride * (e - 1) + 1 (+ location)
  array1d<double> series_b;  // volumes, at the same positions
  array1d<double> loc_a;     // per location: the event's peak
  array1d<double> loc_b;     // per location: the event's volume
};

}  // namespace nivra
