// A bare record of a few cells for the constituent tests: a grid of n
// cells of side dx, overland depths, soil porosity, nothing read from
// files.
#pragma once

#include <memory>

#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "soil/soil_state.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra::testing {

inline std::unique_ptr<model_state> constituent_record(int cells, double dx) {
  auto ms = make_model_state();
  ms->grid.ncells = cells;
  ms->grid.grid_size = dx;
  ms->grid.cell_row.grow(cells);
  ms->grid.cell_col.grow(cells);
  for (int i = 1; i <= cells; ++i) {
    ms->grid.cell_row[i] = 1;
    ms->grid.cell_col[i] = i;
  }
  ms->overland.ov_depth.alloc(cells);
  ms->soil.soil_porosity.alloc(cells);
  ms->constituent.ov_con_trans = 1;
  return ms;
}

}  // namespace nivra::testing
