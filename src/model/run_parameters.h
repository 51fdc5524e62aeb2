// The run parameters: the project file read into its sub-records and the
// card values copied into the run's record, where every process routine
// tests them; and the head of the start-up report in the run summary.
#pragma once

#include <string_view>

namespace nivra {

struct model_state;

// Reads the project file and copies its settings into the record. Failures
// go through the error block: 3 when the project file cannot be opened, 5
// when the QUIB map output is asked for; the reader's own codes pass on.
void read_run_parameters(std::string_view project_file_name, model_state& ms);

// Writes the start-up section's head to the run summary (open by now), with
// the replacement values when replacement is on.
void print_startup_info(model_state& ms, std::string_view project_file_name);

// Sets the calendar, the date stamps and the model time to the START_DATE
// and START_TIME of the cards.
void set_clock_to_start_date(model_state& ms);

}  // namespace nivra
