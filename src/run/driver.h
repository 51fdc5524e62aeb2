// The simulation driver: one complete model run of one project file.
#pragma once

#include <span>
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

// The set-up sequence of a run on a fresh record: the project read and
// checked, its files opened, the maps, geometry, events, initial state and
// clocks set, the analyzers told. False when an error stopped the run.
bool set_up_run(model_state& ms, const std::string& project_file, capture_buffer* capture);

// One time step: the routines of the step in order, each followed by the
// error test where the sequence marks it. False when an error stopped the run.
bool run_time_step(model_state& ms);

// A routine of the time step and whether the error test follows it.
struct time_step_routine {
  void (*run)(model_state&);
  bool tested;
};

// The routines of one time step in the order the driver calls them.
std::span<const time_step_routine> time_step_sequence();

// Closes every file slot of the record.
void close_all_files(model_state& ms);

// Makes the times of every relative time series absolute by adding the
// run's start time (Julian days).
void shift_relative_time_series(double start_time);

}  // namespace nivra
