// The mapping-table file: parameter tables keyed by the IDs of index maps.
#pragma once

#include <array>

#include "core/arrays.h"

namespace nivra {

struct model_state;

// Card codes of the tables the surface readers ask for.
enum cmt_code : int {
  cmt_code_roughness = 1,
  cmt_code_interception = 2,
  cmt_code_retention = 3,
  cmt_code_rough_exp = 33,
  cmt_code_ovr_flow_block = 34,
};

// Reads the table of a code from the project's mapping-table file into up
// to seven per-cell destinations, one per value column (null skips a
// column). 1 when the table was read, 0 on failure (the run is stopped).
int read_cmt_table(model_state& ms, int code, const std::array<array1d<double>*, 7>& destinations);

}  // namespace nivra
