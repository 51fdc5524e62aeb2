// Part of the run's model_state: Overland lakes and wetlands, channel lakes and their rating curves.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct lake_state {
};

}  // namespace nivra
