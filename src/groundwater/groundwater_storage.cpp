#include "groundwater/groundwater_storage.h"

#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"

namespace nivra {

double groundwater_storage(const model_state& ms) {
  const groundwater_state& gw = ms.groundwater;
  if (!gw.gw_simulation) return 0.0;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  double v = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) v += (gw.elevgw[c] - gw.bottom_elev[c]) * gw.gw_porosity[c] * area;
  return v;
}

sacramento_water sacramento_storage(const sac_record& s) {
  sacramento_water w;
  w.tension_mm = s.uztwc + s.lztwc;
  w.free_mm = s.uzfwc + s.lzfsc + s.lzfpc;
  w.total_mm = s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;
  return w;
}

}  // namespace nivra
