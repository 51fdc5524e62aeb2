// Readers and set-ups that the map phase calls in their place but that this
// version of NIVRA does not have yet. Each does nothing when its card is
// off; reached with its card on, it names the card and stops the run.
#include <cstdio>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "groundwater/groundwater_state.h"
#include "inputs/soil_maps.h"
#include "model/model_state.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

void card_not_supported(const char* card) { report_card_not_available(card); }

}  // namespace

// The nutrient model is set up, but nothing carries its constituents over
// the land and through the channels yet.
void refuse_nutrient_runs(model_state& ms) {
  if (ms.constituent.nutrients) card_not_supported("NUTRIENTS");
}

}  // namespace nivra
