// The restart file a toolbox search rewrites after every iteration, and the
// stop file "pest.stp" through which a user ends a search between model
// runs.
#pragma once

#include <string_view>

#include "core/arrays.h"
#include "toolbox/toolbox_control.h"

namespace nivra {

// The search's own state in the restart file; the rest is in the control
// record (search switches and phi_ratio, model-value slots 0 and 1, the
// parameter values, the group phis and the current lambda). With m = nobs +
// nprior and n = n_adjustable the matrices are m x n; history has
// history_count entries, best_params npar, best_outputs nobs and
// start_values n. The names say the role each item has in the search.
struct restart_state {
  array2d<double> jacobian;
  array2d<double> jacobian_best;
  int history_count = 0;
  double phi = 0.0;            // phi_ratio = phi / phi_previous on reading
  double phi_previous = 0.0;
  array1d<double> history;
  array1d<double> best_params;
  array1d<double> best_outputs;
  double phi_min = 0.0;
  int phi_min_iteration = 0;
  int model_calls = 0;
  double lambda_previous = 0.0;
  int iteration = 0;
  double phi_start = 0.0;
  array1d<double> start_values;
  int small_change_count = 0;
  int three_point = 0;
};

// Removes the old file and writes the state, one value a line (matrix rows
// on one line each, values followed by a tab); reals are written with 17
// significant digits so that reading gives back the same numbers. 0, or
// the code of the message reported when the file cannot be written.
int slm_write_restart(std::string_view file, const restart_state& state, const pest_control& pc);

// Reads the file back into state and pc in the same order, sizing the
// arrays from pc's counts. 0, or the code of the message reported when the
// file cannot be opened, or holds fewer, more or other values than pc's
// counts call for.
int slm_read_restart(std::string_view file, restart_state& state, pest_control& pc);

// What the stop file asks for.
enum class stop_request {
  go_on,                 // no stop file, or a value other than 1 to 3 (the file is removed)
  stop_now,              // 1
  stop_with_statistics,  // 2: not supported, the search stops
  pause,                 // 3: not supported, the search stops
};
// Reads the stop file (one integer; 999 when none can be read), prints the
// notice of values 2 and 3, and removes it for values other than 1 to 3. A
// search told to stop ends with exit status 0.
stop_request check_stop_file(std::string_view file = "pest.stp");

}  // namespace nivra
