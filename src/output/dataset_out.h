// dataset_out: the writer of one gridded output series over time. A writer
// starts closed and empty; its file is closed when the writer goes.
#pragma once

#include "core/guarded_file.h"

namespace nivra {

class dataset_out {
 public:
  guarded_file file;  // the dataset file, or the per-time file while it is written
  int format = 0;     // record format, chosen when the series is opened
  int step = 1;       // number of the next per-time file
};

}  // namespace nivra
