// The run's water books as the time loop keeps them: the storages of every
// compartment booked at the start and the end of the run and of each
// event, and the run's books closed at its end. The fluxes are booked
// into the ledger by the steps that move the water; the balances
// themselves are the ledger's (model/water_ledger.h).
#pragma once

#include "model/water_ledger.h"

namespace nivra {

struct model_state;

// Books the water every compartment holds now, as moment m counts it (the
// surface rules of surface/surface_storage.h; the soil below the
// accounting layer by the cells' depths at the start of the run, by the
// card's depth after it; the lumped model's stores at the events).
void book_storages(model_state& ms, ledger_moment m);

// A lumped model (Sacramento or conceptual groundwater) holds the run's
// soil and groundwater water.
bool lumped_model(const model_state& ms);

// The end of the run: the storages of every compartment and the
// lumped model's stores and totals booked over the soil's and
// groundwater's in a run with one, the
// balances closed, and the constituent masses left in the lakes and
// channels added up. finish_event calls it when the run's last event ends;
// the run summary then formats what the ledger holds.
void close_run_books(model_state& ms);

}  // namespace nivra
