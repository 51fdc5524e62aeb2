// Part of the run's model_state: Infiltration and soil moisture: Green-Ampt and layered soil arrays, Richards columns, the soil-class table.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct soil_state {
};

}  // namespace nivra
