#include "calibration/model_run.h"

#include <climits>
#include <cstdio>

#include "calibration/capture_buffer.h"
#include "calibration/objective.h"
#include "clock/clock_state.h"
#include "core/process.h"
#include "core/replace.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "run/driver.h"

namespace nivra {

double calib_run_callback(const std::string& replace_file, const std::string& project_file,
                          std::span<const double> values, calib_cost& cost, const std::string& mode_word) {
  capture_buffer buffer;
  process.multi_run_mode = 1;
  process.run_number = process.parallel_env.proc_id;

  bool usable = read_replace_param_file(replace_file) == 0;
  std::size_t k = 0;
  for (replace_param& p : process.replace_list) {
    if (k >= values.size()) break;
    p.dval = values[k++];
  }
  process.replace_on = 1;

  if (usable) {
    const int code = run_simulation(project_file, &buffer, mode_word);
    usable = code == 0 && process.error_block.stop == 0;
  }
  const event_series sim = usable ? captured_series(buffer) : event_series{};
  return cost.evaluate(sim, process.parallel_env.proc_id, values);
}

bool check_calibration_list(const std::string& replace_file, int parameters) {
  if (read_replace_param_file(replace_file) != 0) {
    std::printf("Error: unable to read the replacement parameter list %s.\n", replace_file.c_str());
    return false;
  }
  const int entries = static_cast<int>(process.replace_list.size());
  if (entries > parameters) {
    std::printf("Error: the replacement parameter list %s holds %d keys but the calibration gives %d "
                "parameters: every key needs a parameter.\n",
                replace_file.c_str(), entries, parameters);
    return false;
  }
  for (const replace_param& p : process.replace_list) {
    if (p.value_type != 1) {
      std::printf("Error: the key %s of the replacement parameter list %s has the format %s; a calibrated "
                  "parameter takes a real format such as \"%%lf\".\n",
                  p.key.c_str(), replace_file.c_str(), p.format.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace nivra
