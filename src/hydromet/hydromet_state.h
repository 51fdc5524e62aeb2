// Part of the run's model_state: Rain (uniform, gages, radar), weather, evapotranspiration, snow, radiation, elevation bands.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct hydromet_state {
};

}  // namespace nivra
