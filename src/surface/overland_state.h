// Part of the run's model_state: Overland flow: depths, discharges, roughness, retention, routing scheme switches and the per-run state of the routing kernels.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct overland_state {
};

}  // namespace nivra
