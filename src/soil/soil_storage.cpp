#include "soil/soil_storage.h"

#include "clock/clock_state.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "soil/soil_state.h"

namespace nivra {

namespace {

// Top-layer depth (cm) of a cell's soil class, the 23rd value of the class.
// A table not made yet reads as the zeros it would be made with.
double top_layer_depth_of(const soil_state& soil, int c) {
  if (soil.soiltype.empty() || c > soil.soiltype.size()) return 0.0;
  const int k = soil.soiltype[c];
  const array1d<soil_class>& classes = soil.multilayer_soil_table;
  if (classes.empty() || k < 0 || k > classes.size()) return 0.0;
  return classes[k].real(23);
}

}  // namespace

soil_water soil_storage(const model_state& ms, soil_below_layer below) {
  const soil_state& soil = ms.soil;
  const groundwater_state& gw = ms.groundwater;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  soil_water w;
  if (soil.inf_richards) {
    if (soil.numcells.empty()) return w;
    for (int c = 1; c <= ms.grid.ncells; ++c)
      for (int k = 1; k <= soil.numcells[c] - 1; ++k) w.total += soil.DZ(c, k) * soil.THETA(c, k) / 100.0 * area;
    return w;
  }
  if (!soil.sm_accounting || soil.sm_water.empty()) return w;
  const bool by_cell = below == soil_below_layer::cell_depth;
  const bool deeper = (by_cell ? gw.gw_simulation && !soil.sm_depth.empty() : gw.water_table_given != 0) &&
                      !gw.elevgw.empty() && !soil.gw_inf_redist_theta.empty();
  // Water the infiltration step handed to the accounting layer and the
  // accounting has not taken yet is in that layer too.
  const double* pending = soil.sm_infil_in.empty() ? nullptr : soil.sm_infil_in.data();
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double v = (soil.sm_water[c] / 100.0 + (pending ? pending[c] : 0.0)) * area;
    w.accounting_layer += v;
    w.total += v;
    if (!deeper) continue;
    if (by_cell) {
      const double thickness = ms.grid.elevation[c] - gw.elevgw[c] - soil.sm_depth[c] / 100.0;
      if (thickness > 0.0) w.total += thickness * soil.gw_inf_redist_theta[c] * area;
    } else {
      const double depth = (soil.inf_layered_soil ? 2.0 * top_layer_depth_of(soil, c) : soil.soil_moist_depth) / 100.0;
      const double unsaturated = ms.grid.elevation[c] - gw.elevgw[c];
      if (unsaturated > depth) w.total += (unsaturated - depth) * soil.gw_inf_redist_theta[c] * area;
    }
  }
  return w;
}

}  // namespace nivra
