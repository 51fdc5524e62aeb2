// The simulation driver: one complete model run of one project file.
#pragma once

#include <string>

namespace nivra {

struct capture_buffer;
struct model_state;

// Builds a fresh record, reads and checks the project, opens its files,
// runs the set-up sequence and the time loop, tears everything down and
// appends the run time to "out_time.out". Returns the error code left at
// the end: 0 after a normal end and after an error the reporter took (the
// stop flag then tells the two apart); a code no reporter took otherwise.
// The mode words "-slm", "-ms", "-tr" and "-mlsl" mark a run of a
// parameter search and quiet its console lines.
int run_simulation(const std::string& project_file, capture_buffer* capture,
                   const std::string& mode_word);

// Closes every file slot of the record.
void close_all_files(model_state& ms);

// Makes the times of every relative time series absolute by adding the
// run's start time (Julian days).
void shift_relative_time_series(double start_time);

}  // namespace nivra
