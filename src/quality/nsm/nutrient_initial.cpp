#include "quality/nsm/nutrient_initial.h"

#include <algorithm>
#include <cstdio>

#include "core/guarded_file.h"

namespace nivra {

nsm_init_status nsm_init_cell_constituent(int mode, bool table_given, double value, const double* map_values,
                                          const std::string& name, nsm_constituent& rec, const double* depth,
                                          int ncells, double cell_area) {
  switch (mode) {
    case 3:
      msg_printf("Assigning spatially uniform parameters for the %s constituent\n", name.c_str());
      for (int cell = 1; cell <= ncells; ++cell) rec.conc[cell] = value;
      break;
    case 2:
      if (!table_given) return nsm_init_status::no_table;
      msg_printf("Assigning parameters for the %s constituent from the mapping table.\n", name.c_str());
      break;
    case 1:
      msg_printf("Assigning parameters from a continuous map for the constituent %s\n", name.c_str());
      for (int cell = 1; cell <= ncells; ++cell) rec.conc[cell] = map_values[cell];
      break;
    default: return nsm_init_status::untouched;
  }
  for (int cell = 1; cell <= ncells; ++cell) rec.mass[cell] = cell_area * depth[cell] * rec.conc[cell];
  return nsm_init_status::done;
}

nsm_init_status nsm_init_cell_field(int mode, bool table_given, double value, const double* map_values,
                                    const std::string& name, checked_array<double>& field, int ncells,
                                    bool overland_words) {
  switch (mode) {
    case 3:
      msg_printf(overland_words ? "Assigning spatially uniform parameters for the overland constituent %s\n"
                                : "Assigning spatially uniform parameters for the %s constituent\n",
                 name.c_str());
      for (int cell = 1; cell <= ncells; ++cell) field[cell] = value;
      return nsm_init_status::done;
    case 2:
      if (!table_given) return nsm_init_status::no_table;
      msg_printf(overland_words ? "Assigning parameters for the overland constituent %s from the mapping table.\n"
                                : "Assigning parameters for the %s constituent from the mapping table.\n",
                 name.c_str());
      return nsm_init_status::done;
    case 1:
      msg_printf(overland_words ? "Assigning parameters from a continuous map for the overland constituent %s\n"
                                : "Assigning parameters from a continuous map for the constituent %s\n",
                 name.c_str());
      for (int cell = 1; cell <= ncells; ++cell) field[cell] = map_values[cell];
      return nsm_init_status::done;
    default: return nsm_init_status::untouched;
  }
}

nsm_init_status nsm_init_stream_constituent(int mode, bool table_given, double value, const double* link_values,
                                            const std::string& name, nsm_constituent& rec,
                                            const nsm_stream_nodes& nodes, bool no_mass) {
  switch (mode) {
    case 3: msg_printf("Assigning spatially uniform parameters for the stream constituent %s\n", name.c_str()); break;
    case 2:
      if (!table_given) return nsm_init_status::no_table;
      msg_printf("Assigning parameters for the stream constituent %s from the mapping table.\n", name.c_str());
      break;
    case 1:
      msg_printf("Assigning parameters from a continuous map for the stream constituent %s\n", name.c_str());
      break;
    default: return nsm_init_status::untouched;
  }
  for (int link = 1; link <= nodes.links; ++link) {
    if (!(nodes.ltype[link] & (4 | 8 | 16))) continue;
    for (int node = 1; node <= nodes.nx[link]; ++node) {
      const int k = nodes.stride * link + node;
      if (mode == 3) rec.conc[k] = value;
      if (mode == 1) rec.conc[k] = link_values[link];
      // Every mode, the table's included, gives the node its mass.
      if (!no_mass) rec.mass[k] = nodes.node_length[link] * nodes.area[nodes.area_stride * link + node] * rec.conc[k];
    }
  }
  return nsm_init_status::done;
}

void nsm_soil_surface_to_grams(nsm_soil& soil) {
  for (int k = 1; k <= nsm_soil_pools; ++k) {
    jagged_array<double>* pool = soil.pool_list.data()[k + (soil.pool_list.shift_index ? 1 : 0)];
    for (int cell = 1; cell <= soil.ncells && pool && pool->count() >= cell; ++cell) (*pool)(cell, 1) *= 1000.0;
  }
}

void nsm_soil_set_partition(nsm_soil& soil, int first, const double* const six[6]) {
  for (int cell = 1; cell <= soil.ncells; ++cell)
    for (int j = 0; j < 6; ++j) soil.cell_partition(cell, first + j + 1) = six[j][cell];
}

std::array<double, nsm_water_items> nsm_overland_cell_update(nsm_soil& soil, double* const* water_exchange) {
  std::array<double, nsm_water_items> made_up{};
  for (int cell = 1; cell <= soil.ncells; ++cell)
    for (auto [pool, water] : nsm_soil_partners) {
      double& x = soil.pool[static_cast<std::size_t>(pool)](cell, 1);
      if (!(x < 0.0)) continue;
      water_exchange[water][cell] += x;
      made_up[static_cast<std::size_t>(water)] -= x;
      x = 0.0;
    }
  return made_up;
}

}  // namespace nivra
