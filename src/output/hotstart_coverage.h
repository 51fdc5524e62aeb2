// What the hot-starts of a run do not carry. The hot-starts carry the
// overland water with the overland lakes and the cells' sediment
// (WRITE_OV_HOTSTART), the state of the infiltration scheme with its
// accounting layer (WRITE_SM_HOTSTART), the channels with their lakes, the
// nodes the lakes hold and the channel sediment (WRITE_CHAN_HOTSTART) and
// the aquifer (every groundwater run's `<project>.gw_hotstart`). The rest
// of a run's state starts afresh in a run started from them: a run that
// writes hot-starts says, for each part it holds that they leave out, what
// that part holds at its end (the water, where it is water), and a run
// that reads hot-starts says which parts start from their initial state;
// both as warnings on the console and in the run summary, naming the card.
#pragma once

namespace nivra {

struct model_state;

// At the end of a run with some WRITE_OV_HOTSTART, WRITE_SM_HOTSTART or
// WRITE_CHAN_HOTSTART (EXPLIC_BACKWATER) card.
void warn_uncarried_at_writing(model_state& ms);

// At the set-up of a run with some READ_OV_HOTSTART, READ_SM_HOTSTART or
// READ_CHAN_HOTSTART (EXPLIC_HOTSTART) card, once the hot-starts are read:
// also a hot-start read without its companion (written before the
// companions were) names what it leaves at the initial state.
void warn_uncarried_at_reading(model_state& ms);

}  // namespace nivra
