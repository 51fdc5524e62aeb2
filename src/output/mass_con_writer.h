// mass_con_writer: one constituent's link/node output series. A writer
// starts closed and unbound; it owns its table, its lake values and its two
// files, and releases them when it goes.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"

namespace nivra {

class mass_con_writer {
 public:
  int step = 0;           // number of the next "TS" block
  int source_kind = -1;   // -1 unbound, 1 flat source, 2 node-major source
  guarded_file mass_file;
  guarded_file con_file;
  array2d<double> table;  // values as written, [node][link]
  checked_array<double> lake_values;
};

}  // namespace nivra
