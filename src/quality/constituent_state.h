// Part of the run's model_state: Sediments, contaminants and nutrients: balances, per-constituent tables, the sediment record.
#pragma once

#include "core/arrays.h"
#include "core/containers.h"
#include "core/guarded_file.h"
#include "core/text.h"

namespace nivra {

struct constituent_state {
};

}  // namespace nivra
