// Part of the run's model_state: Grid header and size, mask and cell numbering, cell coordinates, elevations, neighbours, slopes, dikes and low spots, outlet.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct grid_state {
};

}  // namespace nivra
