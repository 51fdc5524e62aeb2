// Part of the run's model_state: Channel network: links, nodes, cross-sections, structures, lateral inflow, channel files.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct channel_state {
  int chan_explic = 0;   // explicit channel routing on: the outlet drains through the channels
};

}  // namespace nivra
