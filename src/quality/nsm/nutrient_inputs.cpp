#include "quality/nsm/nutrient_inputs.h"

#include <array>
#include <span>
#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "inputs/stream_tables.h"
#include "channel/channel_state.h"
#include "surface/lake_state.h"
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

void setup_nutrient_streams(model_state& ms, int first_nsm_constituent) {
  nsm& model = *ms.constituent.nsm_model;
  const auto& ch = ms.channel;
  const nsm_partition_coeffs k = model.overland.partition;
  nsm_alloc_streams(model.stream, ch.num_stream_links, ch.max_nodes_per_link, ms.constituent.water_temp, k);
  if (ms.lake.num_lakes > 0) nsm_alloc_lakes(model.lake, ms.lake.num_lakes, ms.constituent.water_temp, k);
  nsm_stream_init(model.stream, first_nsm_constituent, ms.constituent.chan_ph);
  if (ms.lake.num_lakes > 0) nsm_lake_set_sizes(model.lake, first_nsm_constituent, ms.constituent.chan_ph);
}

namespace {

// The stream tables and the constituents (or fields: 9 DOC, 10 its
// fraction, 11 dispersion) their columns fill.
struct stream_table_items {
  int code, flag;
  std::array<int, 4> items;
  int count;
};
constexpr stream_table_items stream_tables[] = {
    {st_code_nsm_n, st_flag::nitrogen, {nsm_c::no2, nsm_c::no3, nsm_c::nh4, nsm_c::on}, 4},
    {st_code_nsm_p, st_flag::phosphorus, {nsm_c::op, nsm_c::dp, 0, 0}, 2},
    {st_code_nsm_c, st_flag::carbon, {9, 10, 0, 0}, 2},
    {st_code_nsm_oth, st_flag::other, {nsm_c::alg, nsm_c::cbod, nsm_c::o2, 0}, 3},
    {st_code_dispersion, st_flag::dispersion, {11, 0, 0, 0}, 1},
};

checked_array<double>& stream_field(nsm_stream& st, int item) {
  return item == 9 ? st.doc : item == 10 ? st.doc_foc : item == 11 ? st.dispersion : st.water[item].conc;
}

// Reads the per-link values of a stream map file; false after an error
// (80 when it cannot be opened).
bool read_stream_values(const std::string& name, std::string_view file, int links, std::vector<double>& per_link) {
  const stream_map_status status = read_stream_map(file, links, false, per_link);
  const std::string f(file);
  if (status == stream_map_not_opened) {
    std::printf("Error opening initial condition continuous map file \nfor the stream %s constituent. \nGiven "
                "filename: %s\n",
                name.c_str(), f.c_str());
    set_error(80, {}, file);
    return false;
  }
  if (status != stream_map_read) {
    std::printf("Error: the stream map %s of the %s constituent %s\n", f.c_str(), name.c_str(),
                status == stream_map_bad_header   ? "does not begin with STREAM_MAP"
                : status == stream_map_link_count ? "does not give one value for each link of the network"
                                                  : "holds a value that is not a finite number");
    set_error(own_message_code);
    return false;
  }
  for (int l = 1; l <= links; ++l)
    if (!nutrient_value.contains(per_link[static_cast<std::size_t>(l)])) {
      std::printf("Error: the stream map %s gives link %d the %s concentration %g; it must be %s\n", f.c_str(), l,
                  name.c_str(), per_link[static_cast<std::size_t>(l)], nutrient_value.describe().c_str());
      set_error(own_message_code);
      return false;
    }
  return true;
}

}  // namespace

void init_stream_constituents(model_state& ms) {
  nsm& model = *ms.constituent.nsm_model;
  nsm_stream& st = model.stream;
  auto& ch = ms.channel;
  const int links = ch.num_stream_links;
  std::array<bool, nsm_water_items> table_given{};
  const int n = st.water[0].conc.count();
  for (const auto& t : stream_tables) {
    if (!ms.channel.st_table_present[t.flag]) continue;
    std::array<array1d<double>, 4> columns;
    std::array<array1d<double>*, 4> dest{};
    for (int c = 0; c < t.count; ++c) {
      columns[static_cast<std::size_t>(c)].alloc(n);
      dest[static_cast<std::size_t>(c)] = &columns[static_cast<std::size_t>(c)];
    }
    if (!read_stream_mapping_table(ms.project.st_mapping_table.view(), t.code, dest, links,
                                   std::span<const int>(ch.nx.data(), static_cast<std::size_t>(links) + 1),
                                   st.stride))
      return;
    for (int c = 0; c < t.count; ++c) {
      const int item = t.items[static_cast<std::size_t>(c)];
      auto& target = stream_field(st, item);
      for (int k = 1; k <= n; ++k) target[k] = columns[static_cast<std::size_t>(c)][k];
      if (item < nsm_water_items) table_given[static_cast<std::size_t>(item)] = true;
    }
  }
  const nsm_stream_nodes nodes{links, st.stride, ch.nx.data(), ch.ltype.data(), ch.area.data(), ch.link_dx.data(),
                              ch.max_nodes_per_link + 1};
  std::vector<double> per_link;
  for (int c = 0; c < nsm_water_items; ++c) {
    std::string name;
    nsm_display_name(name, c, 0);
    const int mode = model.st_init_mode[c];
    if (mode == nsm_init_file && !read_stream_values(name, model.st_init_file[c].view(), links, per_link)) {
      if (process.error_block.code == own_message_code) return;
      continue;
    }
    const nsm_init_status s = nsm_init_stream_constituent(mode, table_given[static_cast<std::size_t>(c)],
                                                          model.st_init_value[c], per_link.data(), name,
                                                          st.water[c], nodes, false);
    if (s == nsm_init_status::no_table) set_error(120, name);
  }
}

}  // namespace nivra
