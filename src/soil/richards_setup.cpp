// The Richards soil columns of the run: their set-up from the soil classes
// and the glue between the run's record and the column solver.
#include "soil/richards_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "clock/clock_state.h"
#include "core/errors.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "inputs/soil_tables.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/output_state.h"
#include "soil/soil_column.h"
#include "soil/soil_state.h"
#include "surface/blockage.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// The node soil of layer j (1..3) of a soil class (the soil hydraulic table
// layout: Ks 5-7, saturated 8-10, wilting 14-16, field capacity 17-19,
// residual 20-22, pore index 26-28, bubbling head 29-31, Haverkamp a, n,
// A, B 35-46).
richards_node layer_soil(const soil_class& k, int j, int model) {
  richards_node s = model == retention_haverkamp
                        ? haverkamp_node(k.real(4 + j), k.real(7 + j), k.real(19 + j), k.real(34 + j),
                                         k.real(37 + j), k.real(40 + j), k.real(43 + j))
                        : brooks_corey_node(k.real(4 + j), k.real(7 + j), k.real(19 + j), k.real(25 + j),
                                            k.real(28 + j));
  s.theta_wp = k.real(13 + j);
  s.theta_fc = k.real(16 + j);
  return s;
}

// The layer a node belongs to: nodes 1..n1 layer 1, up to n2 layer 2, the
// rest layer 3.
int layer_of(int j, int n1, int n2) { return j <= n1 ? 1 : (j > n2 ? 3 : 2); }

double harmonic(double d1, double k1, double d2, double k2) { return (d1 + d2) / (d1 / k1 + d2 / k2); }

}  // namespace

bool relay_column_to_table(model_state& ms, int c, soil_column_result& r) {
  soil_state& s = ms.soil;
  groundwater_state& g = ms.groundwater;
  richards_columns& rc = s.richards;
  const soil_class& k = s.soil_classes()[s.soiltype[c]];
  soil_column_cell cell;
  cell.numcells = &s.numcells[c];
  cell.capacity = rc.max_nodes - 1;
  cell.DZ = s.DZ[c].data();
  cell.THETA = s.THETA[c].data();
  cell.PHEAD = rc.PHEAD[c].data();
  cell.soil = rc.soil[c].data();
  cell.retention = s.richards_c_option;
  cell.ground = ms.grid.elevation[c];
  cell.table = g.elevgw[c];
  cell.bottom = g.bottom_elev[c];
  cell.aquifer_yield = g.gw_porosity.empty() ? 0.0 : g.gw_porosity[c];
  r = soil_column_step(cell, column_layers(k, g.aquifer_delta_z), g.column_scratch);
  if (r.status != soil_column_status::ok) {
    std::printf("Error: the soil column of cell %d needs more than its %d nodes to reach the water table at %g m.\n",
                c, cell.capacity, cell.table);
    stop_with_own_message();
    return false;
  }
  if (!g.yes_exfil.empty()) g.yes_exfil[c] = r.at_surface ? 1 : 0;
  const int model = s.richards_c_option;
  for (int j = 1; j <= s.numcells[c]; ++j) {
    const conductivity_capacity kc = conductivity_and_capacity(rc.soil(c, j), model, rc.PHEAD(c, j), s.THETA(c, j));
    rc.KHEAD(c, j) = kc.kr;
    rc.WATCAP(c, j) = kc.c;
  }
  rc.KHEAD(c, 0) = rc.KHEAD(c, 1);
  rc.WATCAP(c, 0) = rc.WATCAP(c, 1);
  return true;
}

bool richards_init_columns(model_state& ms, const soil_hydraulic_result& table) {
  soil_state& s = ms.soil;
  const int n_cells = ms.grid.ncells;
  const int model = s.richards_c_option;
  richards_columns& rc = s.richards;
  const array1d<soil_class>& classes = s.soil_classes();
  double column_total = 0.0, root_total = 0.0;
  for (int c = 1; c <= n_cells; ++c) {
    const int id = s.soiltype[c];
    const soil_class& k = classes[id];
    const std::size_t i = static_cast<std::size_t>(id);
    const int n1 = table.layer1_nodes[i], n2 = table.layer2_end[i];
    int n = s.numcells[c];
    double thick = 0.0, conductance = 0.0;
    for (int j = 1; j <= 3; ++j) {
      thick += k.real(22 + j);
      conductance += k.real(4 + j) * k.real(22 + j);
    }
    s.totaldz[c] = thick;
    s.avgks[c] = thick > 0.0 ? conductance / thick : 0.0;
    for (int j = 0; j <= n; ++j) {
      const int layer = layer_of(j, n1, n2);
      rc.soil(c, j) = layer_soil(k, layer, model);
      s.DZ(c, j) = k.real(31 + layer);
      s.THETA(c, j) = k.real(10 + layer);
      rc.PHEAD(c, j) = head_from_moisture(rc.soil(c, j), model, s.THETA(c, j), 0.0);
    }
    // The faces between layers conduct at the harmonic mean of the two.
    const double d1 = k.real(32), d2 = k.real(33), d3 = k.real(34);
    if (n1 + 1 <= n) rc.soil(c, n1 + 1).ks = harmonic(d1, k.real(5), d2, k.real(6));
    if (n2 + 1 <= n) rc.soil(c, n2 + 1).ks = harmonic(d2, k.real(6), d3, k.real(7));
    rc.soil(c, 0) = rc.soil(c, 1);
    s.DZ(c, 0) = s.DZ(c, 1);
    if (ms.groundwater.gw_simulation) {
      // Over saturated groundwater the column reaches down to the water
      // table, below the layers in the soil of layer 3.
      for (int j = n + 1; j <= rc.max_nodes; ++j) rc.soil(c, j) = layer_soil(k, 3, model);
      soil_column_result laid;
      if (!relay_column_to_table(ms, c, laid)) return false;
      n = s.numcells[c];
      // The nodes start in hydrostatic equilibrium with the table; with
      // GW_ASSIGN_THETA those within the soil layers keep the water content
      // of the soil table.
      const double table = ms.groundwater.elevgw[c], layers_bottom = ms.grid.elevation[c] - thick / 100.0;
      double z = ms.grid.elevation[c];
      for (int j = 1; j <= n - 1; ++j) {
        z -= s.DZ(c, j) / 100.0;
        if (ms.groundwater.gw_assign_theta && z >= layers_bottom) continue;
        rc.PHEAD(c, j) = (table - z) * 100.0 - s.DZ(c, j) / 2.0;
        s.THETA(c, j) = moisture_from_head(rc.soil(c, j), model, rc.PHEAD(c, j));
      }
    } else if (ms.groundwater.water_table_given) {
      // A water table held where its map puts it: below the soil layers
      // the column goes on in the soil of layer 3 with the aquifer's node
      // spacing, and it ends at the table.
      const soil_column_layers l = column_layers(k, ms.groundwater.aquifer_delta_z);
      for (int j = n + 1; j <= rc.max_nodes; ++j) {
        rc.soil(c, j) = layer_soil(k, 3, model);
        s.THETA(c, j) = k.real(13);
        s.DZ(c, j) = k.real(34);
      }
      for (int j = l.last_node[2] + 1; j <= rc.max_nodes; ++j) s.DZ(c, j) = l.aquifer_spacing;
      for (int j = n + 1; j <= rc.max_nodes; ++j)
        rc.PHEAD(c, j) = head_from_moisture(rc.soil(c, j), model, s.THETA(c, j), 0.0);
      soil_column_cell cell;
      cell.numcells = &s.numcells[c];
      cell.capacity = rc.max_nodes;
      cell.DZ = s.DZ[c].data();
      cell.THETA = s.THETA[c].data();
      cell.PHEAD = rc.PHEAD[c].data();
      cell.soil = rc.soil[c].data();
      cell.retention = model;
      cell.ground = ms.grid.elevation[c];
      cell.table = ms.groundwater.elevgw[c];
      const soil_column_result cut = cut_column_at_table(cell, thick, ms.groundwater.gw_assign_theta != 0);
      if (cut.status != soil_column_status::ok) {
        std::printf("Error: the soil column of cell %d needs more than its %d nodes to reach the water table at %g m.\n",
                    c, rc.max_nodes, cell.table);
        stop_with_own_message();
        return false;
      }
      ms.groundwater.yes_exfil[c] = cut.at_surface ? 1 : 0;
      if (cut.at_surface) ms.groundwater.any_exfil = 1;
      n = s.numcells[c];
      s.DZ(c, 0) = s.DZ(c, 1);
    }
    for (int j = 1; j <= n - 1; ++j) column_total += s.THETA(c, j) * s.DZ(c, j);
    rc.WATFLUX(c, 0) = 0.0;
    for (int j = 1; j <= n; ++j) {
      const conductivity_capacity kc = conductivity_and_capacity(rc.soil(c, j), model, rc.PHEAD(c, j), s.THETA(c, j));
      if (!std::isfinite(rc.PHEAD(c, j)) || !std::isfinite(kc.kr) || !std::isfinite(kc.c)) {
        std::printf("Error: soil class %d of the soil table gives node %d of cell %d no finite head, conductivity "
                    "or capacity at its initial water content %g.\n",
                    id, j, c, s.THETA(c, j));
        stop_with_own_message();
        return false;
      }
      rc.KHEAD(c, j) = kc.kr;
      rc.WATCAP(c, j) = kc.c;
    }
    rc.KHEAD(c, 0) = rc.KHEAD(c, 1);
    rc.WATCAP(c, 0) = rc.WATCAP(c, 1);
    // The root zone's mean water content (long-term runs); none without
    // roots.
    if (ms.clock.long_term && !s.root_depth.empty()) {
      double r = s.root_depth[c] * 100.0, water = 0.0, depth = 0.0;
      for (int j = 1; j <= n - 1 && r >= 1e-16; ++j) {
        water += s.THETA(c, j) * s.DZ(c, j);
        depth += s.DZ(c, j);
        r -= s.DZ(c, j);
      }
      s.init_moisture[c] = depth > 0.0 ? std::max(water / depth, 0.0) : 0.0;
      root_total += water;
    }
  }
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  if (std::FILE* f = ms.output.summary_file.fp) {
    std::fprintf(f, "Inital volume of water in root zone= %lf \n \n", root_total * area / 100.0);
    std::fprintf(f, "Inital volume of water in soil column= %lf \n \n", column_total * area / 100.0);
  }
  return true;
}

richards_domain richards_kernel_domain(model_state& ms) {
  soil_state& s = ms.soil;
  richards_domain d{s};
  d.ov_depth = ms.overland.ov_depth.data();
  d.ncells = ms.grid.ncells;
  d.cell_area = ms.grid.grid_size * ms.grid.grid_size;
  d.long_term = ms.clock.long_term != 0;
  const hydromet_state& h = ms.hydromet;
  if (!h.pet_rate.empty() && !h.aet_rate.empty()) {
    d.pet_rate = h.pet_rate.data();
    d.aet_rate = h.aet_rate.data();
  }
  if (!h.rain_depth.empty()) d.rain = h.rain_depth.data();
  if (d.long_term && !h.snow_no_infil_cell.empty()) d.snow_blocked = h.snow_no_infil_cell.data();
  if (d.long_term && h.cfgi && !h.cfgi_cell.empty()) {
    d.frost_index = h.cfgi_cell.data();
    d.frost_limit = h.cfgi_index;
  }
  if (ms.lake.chan_lakes && !ms.lake.lake_mask.empty()) d.channel_lake = ms.lake.lake_mask.data();
  if (ms.overland.ov_boundary && !ms.overland.boundary_type.empty()) d.boundary_type = ms.overland.boundary_type.data();
  if (!ms.groundwater.yes_exfil.empty()) d.exfiltrating = ms.groundwater.yes_exfil.data();
  d.blocked = blocked_cells(ms.overland);
  d.retention = s.richards_c_option;
  d.k_mean = s.richards_k_option;
  d.weight = s.richards_weight;
  d.dtheta_max = s.richards_dtheta_max;
  d.iter_max = s.richards_iter_max;
  d.upper_option = s.richards_upper_option;
  d.fixed_bottom = ms.groundwater.water_table_given != 0;
  if (ms.hydromet.gtfsm && !s.SE.empty()) d.unfrozen = &s.SE;
  return d;
}

bool richards_columns_step(model_state& ms, double dt) {
  soil_state& s = ms.soil;
  const richards_result r = solve_soil_column(richards_kernel_domain(ms), dt);
  if (r.status != richards_status::ok) {
    set_error(own_message_code);
    return false;
  }
  ms.ledger.book(r, richards_books_terms);
  const int* olake = ms.lake.overland_lake_map_given && !ms.lake.oland_lake_new.empty() ? ms.lake.oland_lake_new.data()
                                                                                         : nullptr;
  for (int c = 1; c <= ms.grid.ncells; ++c)
    if (!(olake && olake[c] > 0)) s.surface_moisture[c] = s.THETA(c, 1);
  return true;
}

}  // namespace nivra
