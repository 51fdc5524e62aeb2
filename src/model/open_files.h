// Opening of the project's files: every file the cards name and the chosen
// schemes need is opened before any input is read, so that a missing input
// or an unwritable output stops the run with the file's role and name
// before the simulation starts.
#pragma once

namespace nivra {

struct model_state;

// Opens the files in a fixed order; the first failure leaves its code (4,
// or 48 to 51 for location outputs) in the error block with the stop flag.
// From the moment the run summary is open every reported error is echoed
// into it.
void open_project_files(model_state& ms);

// The nutrient outputs: the channel totals and the hydrograph-point files
// of the constituents that ask for them.
void open_nutrient_output_files(model_state& ms);

}  // namespace nivra
