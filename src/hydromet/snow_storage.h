// The water of the snow pack and the melt water it holds on the cells.
#pragma once

namespace nivra {

struct model_state;

struct snow_water {
  double snow = 0.0;        // water equivalent of the pack, m3
  double melt_water = 0.0;  // melt water held on the cells (long-term runs), m3
};

// Snow and melt water outside the channel lakes; none before snow is
// present.
snow_water snow_storage(const model_state& ms);

}  // namespace nivra
