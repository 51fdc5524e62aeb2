// Soil columns for the Richards solver: the soil component with the
// column arrays of a few cells made, one soil per column, and the surface
// depths.
#pragma once

#include <functional>
#include <memory>

#include "soil/richards.h"
#include "soil/soil_state.h"

namespace nivra::testing {

struct richards_cells {
  std::unique_ptr<soil_state> soil = std::make_unique<soil_state>();
  array1d<double> depth;  // overland depth, m
  array1d<double> pet, aet, rain;
  int n_cells;
  int model;
  double area = 100.0;

  // n_cells columns of `nodes` nodes (the last the bottom node), every node
  // of soil s and thickness dz (cm).
  richards_cells(int cells, int nodes, const richards_node& s, double dz, int retention)
      : n_cells(cells), model(retention) {
    soil_state& k = *soil;
    k.THETA.alloc(cells, nodes + 1);
    k.DZ.alloc(cells, nodes + 1);
    k.richards.alloc(cells, nodes + 1);
    k.richards_kernel.prepare(nodes + 1);
    for (array1d<double>* a : {&k.dtr, &k.inf_rate, &k.cum_infil, &k.inf_rich, &k.unsat_down_flux, &k.recharge_depth,
                               &k.direct_evap_cell, &k.root_depth, &k.surface_moisture, &depth, &pet, &aet, &rain})
      a->alloc(cells);
    k.numcells.alloc(cells);
    k.bound_type.alloc(cells);
    for (int c = 1; c <= cells; ++c) {
      k.numcells[c] = nodes;
      k.bound_type[c] = 1;
      k.dtr[c] = 1.0 / 3600.0;
      for (int j = 0; j <= nodes; ++j) {
        k.richards.soil(c, j) = s;
        k.DZ(c, j) = dz;
      }
    }
  }

  // Every node of every column at head h(j).
  void set_heads(const std::function<double(int)>& h) {
    soil_state& k = *soil;
    for (int c = 1; c <= n_cells; ++c) {
      for (int j = 0; j <= k.numcells[c]; ++j) {
        const double head = h(j);
        k.richards.PHEAD(c, j) = head;
        k.THETA(c, j) = moisture_from_head(k.richards.soil(c, j), model, head);
        const conductivity_capacity kc = conductivity_and_capacity(k.richards.soil(c, j), model, head, k.THETA(c, j));
        k.richards.KHEAD(c, j) = kc.kr;
        k.richards.WATCAP(c, j) = kc.c;
      }
    }
  }

  richards_domain domain() {
    richards_domain d{*soil};
    d.ov_depth = depth.data();
    d.ncells = n_cells;
    d.cell_area = area;
    d.retention = model;
    d.pet_rate = pet.data();
    d.aet_rate = aet.data();
    d.rain = rain.data();
    return d;
  }

  // Water in nodes 1..n - 1 of column c, cm.
  double water(int c) const {
    double v = 0.0;
    for (int j = 1; j <= soil->numcells[c] - 1; ++j) v += soil->THETA(c, j) * soil->DZ(c, j);
    return v;
  }
};

// The sand of Haverkamp et al. (1977) as Celia et al. (1990) give it:
// theta = 0.075 + 0.212 alpha / (alpha + |h|^3.96), alpha = 1.611e6;
// K = 0.00944 cm/s x 1.175e6 / (1.175e6 + |h|^4.74).
inline richards_node haverkamp_sand() {
  return haverkamp_node(0.00944 * 3600.0, 0.287, 0.075, std::pow(1.611e6, 1.0 / 3.96), 3.96, 1.175e6, 4.74);
}

}  // namespace nivra::testing
