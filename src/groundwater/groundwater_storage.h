// The water of the saturated zone, and the stores of the Sacramento model.
#pragma once

namespace nivra {

struct model_state;
struct sac_record;

// Water between the aquifer bottom and the water table: (water table -
// bottom) x storage coefficient x cell area over the cells (m3), with the
// recharge and the stream exchange the next solve takes in; none without
// saturated groundwater.
double groundwater_storage(const model_state& ms);

// The Sacramento stores (mm over the model's area): the tension water of
// the upper and lower zones, which the run books as its soil, and the free
// water of the upper zone and the lower supplementary and primary stores,
// which it books as its groundwater.
struct sacramento_water {
  double tension_mm = 0.0;
  double free_mm = 0.0;
  double total_mm = 0.0;
};
sacramento_water sacramento_storage(const sac_record& s);

// The water of the lumped model of the run (m3 over its area): the
// Sacramento tension water as its soil, its free water and the runoff not
// yet taken by the channels as its groundwater; the conceptual model's two
// stores and that runoff as its groundwater. The infiltration the model
// has not yet taken in (its next step does) counts with its soil, or with
// the conceptual model's groundwater. At the start of the run the stores as
// they were read.
struct lumped_water {
  double soil = 0.0, groundwater = 0.0;
  double total() const { return soil + groundwater; }
};
struct groundwater_state;
lumped_water lumped_storage(const groundwater_state& gw, double cell_area, bool at_start);

}  // namespace nivra
