// The run summary: at the normal end of a run, once the run's books are
// closed (run/water_books.h), it appends the groundwater, Sacramento, global
// water, lake, drain, dike, sediment, contaminant and nutrient summaries to
// the summary file, formatting what the water ledger holds, and then
// writes the end-of-run files.
#pragma once

#include <cstdio>

namespace nivra {

struct model_state;

// Called once by the driver after the last step of a normally ended run.
// A file that cannot be written stops it with error 4000 (reported).
void write_run_summary(model_state& ms);

// The per-class overland sediment lines and their balance error, shared
// with the event summary (which adds " percent" to the error line and
// reports the drain amounts of the event).
void write_overland_sediment_classes(const model_state& ms, std::FILE* f, bool event);

}  // namespace nivra
