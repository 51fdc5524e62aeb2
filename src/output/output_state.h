// Part of the run's model_state: Output requests, location lists, output files and writers, analyzers, XY points.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct output_state {
};

}  // namespace nivra
