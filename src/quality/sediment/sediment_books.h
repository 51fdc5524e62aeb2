// The overland sediment between events and at the ledger's moments: what
// is still suspended when an event starts settles, and the cells'
// suspended and loose sediment go into the sediment ledger
// (quality/sediment/sediment_terms.h) with the water's storages.
#pragma once

#include "model/water_ledger.h"

namespace nivra {

struct model_state;

// At the start of an event: what the last event left in suspension settles
// on its cell (booked as settling before the event's books open), unless
// `goes_on`: the event is the one an overland hot-start was written in,
// going on, and its water keeps its sediment.
void settle_sediment_between_events(model_state& ms, bool goes_on);

// The suspended and loose sediment of every class at a moment, into the
// sediment ledger; at the end of an event or the run also the per-class
// totals of the summaries (eroded, suspended, deposited, discharged).
void book_sediment_masses(model_state& ms, ledger_moment m);

// Once the channel network is read: every cell a stream crosses is marked
// a channel cell, whose parent soil neither splash nor flow detaches.
void mark_sediment_channel_cells(model_state& ms);

// The wash load (the fine classes) that left the watershed over the land in
// the current event: its largest rate (m3/s) and its volume (m3), the
// figures a calibration of a sediment run scores without channels.
struct overland_wash {
  double peak_rate = 0.0, volume = 0.0;
};
overland_wash overland_wash_of_event(const model_state& ms);

}  // namespace nivra
