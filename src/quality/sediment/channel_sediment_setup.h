// The channel sediment of a run: its set-up in the map phase, its share of
// an event's start and end, and its books.
#pragma once

#include "model/water_ledger.h"

namespace nivra {

struct model_state;

// With channel sediment transport: the classes as the channels carry
// them, the sand of the erodible beds, the stores, the output arrays and
// the sediment ledger. Stops the run on a class no denser than water or
// of no size.
void init_channel_sediments(model_state& ms);
// The sediment the channels and the lakes hold now, per class, into the
// sediment ledger at a moment.
void book_channel_sediment_masses(model_state& ms, ledger_moment m);
// An event starts: the channels' and lakes' sediment at its start is
// counted for the event summary.
void start_channel_sediment_event(model_state& ms);
// An event ends: the erodible break-point sections follow their sand, the
// sediment left in the channels and the lakes is counted, and the event's
// and the run's totals are taken from the ledger.
void finish_channel_sediment_event(model_state& ms, bool run_ends);

}  // namespace nivra
