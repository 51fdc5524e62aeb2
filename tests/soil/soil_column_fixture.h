// A soil column over a moving water table: layers of 10 cm at 2 cm
// spacing (pores 0.45), 20 cm at 5 cm (0.42) and 30 cm at 10 cm (0.40),
// 20 cm nodes below them, a Brooks-Corey soil (pore index 0.3, bubbling
// head 20 cm) on a ground at 100 m over an aquifer bottom at 80 m. Starts
// as a single saturated node; `step` lays it out down to a table.
#pragma once

#include <vector>

#include "soil/richards.h"
#include "soil/soil_column.h"

namespace nivra::testing {

struct column {
  static constexpr int capacity = 150;
  int n = 1;
  std::vector<double> DZ, TH, PH;
  std::vector<richards_node> soil;
  soil_column_layers layers;
  soil_column_scratch scratch;
  double aquifer_yield = 0.1;  // the storage coefficient of the aquifer below the layers

  column() : DZ(capacity + 1, 0.0), TH(capacity + 1, 0.0), PH(capacity + 1, 0.0) {
    const double thick[3] = {10, 20, 30}, dz[3] = {2, 5, 10}, phi[3] = {0.45, 0.42, 0.40};
    int last = 0;
    for (int j = 0; j < 3; ++j) {
      layers.thickness[j] = thick[j];
      layers.spacing[j] = dz[j];
      layers.porosity[j] = phi[j];
      last += static_cast<int>(thick[j] / dz[j]);
      layers.last_node[j] = last;
    }
    layers.aquifer_spacing = 20.0;
    for (int j = 0; j <= capacity; ++j) {
      const int layer = j <= 5 ? 0 : (j <= 9 ? 1 : 2);
      soil.push_back(brooks_corey_node(1.0, phi[layer], 0.05, 0.3, 20.0));
    }
    DZ[1] = 2.0;
    TH[1] = phi[0];
    scratch.prepare(capacity);
  }
  soil_column_result step(double table) {
    soil_column_cell c;
    c.numcells = &n;
    c.capacity = capacity;
    c.DZ = DZ.data();
    c.THETA = TH.data();
    c.PHEAD = PH.data();
    c.soil = soil.data();
    c.ground = 100.0;
    c.table = table;
    c.bottom = 80.0;
    c.aquifer_yield = aquifer_yield;
    return soil_column_step(c, layers, scratch);
  }
  double water() const { return column_water(DZ.data(), TH.data(), n); }
};

}  // namespace nivra::testing
