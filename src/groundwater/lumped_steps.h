// The lumped models in the run: their set-up in the map phase and their
// steps in the time loop (the glue between the run's record and
// groundwater/sacramento.h).
#pragma once

namespace nivra {

struct model_state;

// Map phase. Each acts only when its model is on.
// Opens and reads the Sacramento parameter file, computes the topographic
// index (TOPO_INDEX) and keeps the stores as they start. The lumped models
// need explicit channels to take their baseflow, and only one of them may
// take the infiltrated water.
void open_sacramento_params(model_state& ms);
// Opens and reads the conceptual groundwater file and computes the upslope
// area of every cell.
void open_conceptual_gw_params(model_state& ms);
// With explicit channels and the conceptual model: the link map (LINKS
// card), the channel link of every cell.
void read_link_map(model_state& ms);

// Time loop, on their hourly clocks: the watershed-mean infiltration since
// the last step into the model, its evapotranspiration (the Sacramento
// model's demand is the soil's actual evapotranspiration of the hour) and
// its runoff waiting for the channels, every volume booked in the ledger.
void sacramento_update(model_state& ms);
void conceptual_gw_step(model_state& ms);

}  // namespace nivra
