// The model-run callback of the SCE-UA and Monte Carlo calibrations: one
// trial puts its parameter values into the replacement list, runs the whole
// model on the project file with a capture buffer, and scores the captured
// event peaks and volumes against the observations.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace nivra {

class calib_cost;
struct model_state;

// The objective a calibration driver calls for one trial: the replacement
// list file, the project file, the trial's values (one per list entry, in
// list order), the scorer and the mode word handed to the driver.
using model_run_objective = double (*)(const std::string& replace_file, const std::string& project_file,
                                       std::span<const double> values, calib_cost& cost,
                                       const std::string& mode_word);

// One model run scored: from here on every file the process writes carries
// the run prefix of run number 0; the list is read again and takes the
// values; replacement is switched on; the run's captured series are scored
// (a run stopped by an error, or one whose list could not be read, scores as
// a failed run). Returns the total cost.
double calib_run_callback(const std::string& replace_file, const std::string& project_file,
                          std::span<const double> values, calib_cost& cost, const std::string& mode_word);


// Before a calibration: the replacement list file must read, hold no more
// entries than there are parameters, and give every entry a real format.
// False after a message.
bool check_calibration_list(const std::string& replace_file, int parameters);

// Before the first trial, with the list read: every key the project file
// and the files it names hold (followed from file to file: a word of a line
// that names a file, as given or in the project folder, is read too; comment
// lines, the list and the run summary are not) must be a key of the list,
// and every key of the list must stand in one of them. Each fault is named
// (the file and line of a key the list lacks); false when there is one.
// keys gets the list's keys in order.
bool check_list_keys(const std::string& replace_file, const std::string& project_file,
                     std::vector<std::string>& keys);

}  // namespace nivra
