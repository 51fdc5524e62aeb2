// The run summary: at the normal end of a run, once the run's books are
// closed (run/water_books.h), it appends the groundwater, Sacramento, global
// water, lake, drain, dike, sediment, contaminant and nutrient summaries to
// the summary file, formatting what the water ledger holds, and then
// writes the end-of-run files.
#pragma once

#include <cstdio>

#include "model/mass_ledger.h"

namespace nivra {

struct model_state;

// One particle class's overland sediment from the sediment ledger, m3: the
// parent soil eroded, what left through the outlet and what the channels
// took net of what their spilling water gave back (sediment_into_channels)
// over the run up to a moment, the suspended and loose sediment on the
// cells at it, and the residual of the cells' balance (initial + in - held
// - out over every term that crosses their edge).
struct overland_sediment_figures {
  double eroded = 0.0, suspended = 0.0, deposited = 0.0, outlet = 0.0, to_channels = 0.0, residual = 0.0;
};
overland_sediment_figures overland_sediment_of(const mass_ledger& books, int k, ledger_moment end);

// Called once by the driver after the last step of a normally ended run.
// A file that cannot be written stops it with error 4000 (reported).
void write_run_summary(model_state& ms);

// The per-class overland sediment lines and their balance error, read from
// the sediment ledger (running totals of the run); shared with the event
// summary (which adds " percent" to the error line and
// reports the drain amounts of the event).
void write_overland_sediment_classes(const model_state& ms, std::FILE* f, bool event);

}  // namespace nivra
