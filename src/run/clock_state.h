// Part of the run's model_state: Calendar and model time, per-process clocks (step, last and next time), events and their flags, the run flag, peaks, the precipitation period date table.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct clock_state {
};

}  // namespace nivra
