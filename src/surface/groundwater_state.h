// Part of the run's model_state: Saturated groundwater, tiles and wells, Sacramento and conceptual groundwater models.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct groundwater_state {
};

}  // namespace nivra
