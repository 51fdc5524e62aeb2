#include "inputs/nutrient_inputs.h"

#include <array>
#include <span>
#include <cstdio>
#include <string>

#include "core/errors.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "maps/grid_map.h"
#include "model/model_state.h"
#include "model/project.h"
#include "quality/constituent_state.h"
#include "quality/nsm.h"
#include "quality/nsm/nutrient_initial.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

bool stopped() { return process.error_block.stop != 0 || process.error_block.code != 0; }

// Initial concentrations and fields: not negative, as their cards.
constexpr value_range nutrient_value = from_to(0, 1e9, "g/m3");

// The overland items each table fills (display-name index), in column
// order, and the number of precipitation concentrations its PRECIP_CONC
// line gives (the third column of NSM_P is not an initial value).
struct table_items {
  int code, slot;
  std::array<int, 4> items;
  int count;
  int n_precip;
};
constexpr table_items overland_tables[] = {
    {cmt_code_nsm_n, cmt_nsm_nitrogen, {nsm_c::no2, nsm_c::no3, nsm_c::nh4, nsm_c::on}, 4, 4},
    {cmt_code_nsm_p, cmt_nsm_phosphorus, {nsm_c::op, nsm_c::dp, 0, 0}, 2, 3},
    {cmt_code_nsm_c, cmt_nsm_carbon, {9, 10, 0, 0}, 2, 0},
    {cmt_code_nsm_oth, cmt_nsm_other, {nsm_c::alg, nsm_c::cbod, nsm_c::o2, 0}, 3, 3},
    {cmt_code_dispersion, cmt_nsm_dispersion, {11, 0, 0, 0}, 1, 0},
};

checked_array<double>& field_of(nsm_overland& ov, int item) {
  return item == 9 ? ov.doc : item == 10 ? ov.doc_foc : item == 11 ? ov.dispersion : ov.water[item].conc;
}

// Reads the continuous map of an item; false after error 80 or a refused map.
bool read_item_map(model_state& ms, const std::string& name, std::string_view file, array1d<double>& values,
                   bool announce, bool overland_words) {
  if (announce) msg_printf("Opening file: %.*s\n", static_cast<int>(file.size()), file.data());
  guarded_file f;
  if (!open_input_file(f, file)) {
    std::printf("Error opening initial condition continuous map file \nfor the %s %s constituent. \nGiven "
                "filename: %.*s\n",
                overland_words ? "overland grid" : "grid", name.c_str(), static_cast<int>(file.size()),
                file.data());
    set_error(80, {}, file);
    return false;
  }
  values.alloc(ms.grid.ncells);
  read_cell_map(ms.grid, f, file, values, 1, nutrient_value);
  close_guarded_file(f);
  return !stopped();
}

}  // namespace

void read_nutrient_overland(model_state& ms, int first_nsm_constituent) {
  nsm& model = *ms.constituent.nsm_model;
  model.ncells = ms.grid.ncells;
  read_aquatic_env(model.aq_env, ms.grid, ms.project.optimizer_mode);
  if (process.error_block.code) {
    report_error();
    return;
  }
  nsm_partition_coeffs k{};
  if (ms.project.project_options.partition_coeffs) k = *ms.project.project_options.partition_coeffs;
  nsm_alloc_overland(model.overland, ms.grid.ncells, ms.grid.grid_size, ms.constituent.water_temp, k);
  nsm_overland_set_grid(model.overland, first_nsm_constituent, ms.grid.grid_size, ms.constituent.chan_ph);
}

void assign_constituent_params(model_state& ms) {
  nsm& model = *ms.constituent.nsm_model;
  nsm_overland& ov = model.overland;
  const int n = ov.ncells;
  std::array<bool, nsm_overland_items> table_given{};
  ov.precip_conc.fill(0.0);

  for (const auto& t : overland_tables) {
    if (!ms.grid.mapping_table_given || !ms.grid.cmt_table_present[t.slot]) continue;
    std::array<array1d<double>, 4> columns;
    std::array<array1d<double>*, 7> dest{};
    for (int c = 0; c < t.count; ++c) {
      columns[static_cast<std::size_t>(c)].alloc(n);
      dest[static_cast<std::size_t>(c)] = &columns[static_cast<std::size_t>(c)];
    }
    std::array<double, 7> precip{};
    if (!read_cmt_table(ms, t.code, dest, std::span<double>(precip.data(), static_cast<std::size_t>(t.n_precip))))
      return;
    for (int c = 0; c < t.count; ++c) {
      const int item = t.items[static_cast<std::size_t>(c)];
      auto& target = field_of(ov, item);
      for (int cell = 1; cell <= n; ++cell) target[cell] = columns[static_cast<std::size_t>(c)][cell];
      table_given[static_cast<std::size_t>(item)] = true;
      if (item < nsm_water_items) ov.precip_conc[static_cast<std::size_t>(item)] = precip[static_cast<std::size_t>(c)];
    }
  }

  const double* depth = ms.overland.ov_depth.data();
  array1d<double> values;
  for (int item = 0; item < nsm_overland_items; ++item) {
    std::string name;
    nsm_display_name(name, item, 0);
    const int mode = model.ov_init_mode[item];
    const bool dispersion = item == 11;
    const bool carbon = item == 9 || item == 10;
    if (mode == nsm_init_file &&
        !read_item_map(ms, name, model.ov_init_file[item].view(), values, carbon, dispersion))
      return;
    const double* map = mode == nsm_init_file ? values.data() : nullptr;
    const bool given = table_given[static_cast<std::size_t>(item)];
    const nsm_init_status s =
        item < nsm_water_items
            ? nsm_init_cell_constituent(mode, given, model.ov_init_value[item], map, name, ov.water[item], depth, n,
                                        ov.cell_area)
            : nsm_init_cell_field(mode, given, model.ov_init_value[item], map, name, field_of(ov, item), n,
                                  dispersion);
    if (s == nsm_init_status::no_table) {
      set_error(119, name);
      return;
    }
  }
}

}  // namespace nivra
