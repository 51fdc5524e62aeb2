// Part of the run's model_state: The superlink pipe network: superjunctions, superlinks, pipe outputs.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct pipe_state {
};

}  // namespace nivra
