// The nutrient model's place in the run's set-up: its overland part and the
// nine water constituents appended to the run's constituent list (with
// soil transport the soil side of a constituent's row is its partner pool), their groundwater concentrations,
// the soil pools' surface amounts and partition coefficients, and the
// stream and lake parts with the stream zone map and initial values.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "inputs/stream_tables.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_state.h"
#include "quality/contaminant/contaminant_setup.h"
#include "quality/nsm.h"
#include "quality/nsm/nutrient_derived.h"
#include "quality/nsm/nutrient_initial.h"
#include "quality/nsm/nutrient_inputs.h"
#include "quality/nsm/nutrient_setup.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

bool stopped() { return process.error_block.stop != 0 || process.error_block.code != 0; }

// Reads up to seven columns of a mapping table into per-cell arrays; false
// when the table could not be read (the run is stopped).
bool read_columns(model_state& ms, int code, std::array<array1d<double>, 7>& columns, int count) {
  std::array<array1d<double>*, 7> dest{};
  for (int c = 0; c < count; ++c) {
    columns[static_cast<std::size_t>(c)].alloc(ms.grid.ncells);
    dest[static_cast<std::size_t>(c)] = &columns[static_cast<std::size_t>(c)];
  }
  return read_cmt_table(ms, code, dest) != 0;
}

bool table_present(const model_state& ms, int slot) {
  return ms.grid.mapping_table_given && ms.grid.cmt_table_present[slot];
}

}  // namespace

void copy_nutrients_to_constituent_list(model_state& ms) {
  constituent_state& k = ms.constituent;
  const nsm_overland& ov = k.nsm_model->overland;
  const int first = k.first_nsm_constituent;
  for (int c = 0; c < nsm_water_items; ++c) {
    const int r = first + c;
    k.precip_conc[r] = ov.precip_conc[static_cast<std::size_t>(c)];
    nsm_display_name(k.constituent_output_name[static_cast<std::size_t>(r)], c, 0);
    for (int i = 1; i <= ov.ncells; ++i) {
      k.ov_conc(r, i) = ov.water[c].conc[i];
      k.ov_mass(r, i) = ov.water[c].mass[i];
      k.cell_disp_coef(r, i) = ov.dispersion[i];
    }
  }
}

void assign_table_params_28_30(model_state& ms) {
  constituent_state& k = ms.constituent;
  struct gw_table {
    int slot, code;
    std::array<int, 4> water;
    int count;
  };
  // The groundwater phosphorus table's last two columns and the oxygen of
  // the other table have no column here: they stay 0.
  const gw_table tables[] = {
      {cmt_nsm_gw_nitrogen, cmt_code_nsm_gw_n, {nsm_c::no2, nsm_c::no3, nsm_c::nh4, nsm_c::on}, 4},
      {cmt_nsm_gw_phosphorus, cmt_code_nsm_gw_p, {nsm_c::op, nsm_c::dp, 0, 0}, 2},
      {cmt_nsm_gw_other, cmt_code_nsm_gw_oth, {nsm_c::alg, nsm_c::cbod, 0, 0}, 2},
  };
  for (const gw_table& t : tables) {
    if (!table_present(ms, t.slot)) continue;
    std::array<array1d<double>, 7> columns;
    if (!read_columns(ms, t.code, columns, t.count)) return;
    for (int c = 0; c < t.count; ++c) {
      const int r = k.first_nsm_constituent + t.water[static_cast<std::size_t>(c)];
      for (int i = 1; i <= ms.grid.ncells; ++i) k.gw_conc(r, i) = columns[static_cast<std::size_t>(c)][i];
    }
  }
}

void setup_nutrient_overland(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.nutrients) return;
  if (!k.nsm_model) {
    std::printf("Error: the NUTRIENTS card made no nutrient model.\n");
    stop_with_own_message();
    return;
  }
  if (k.soil_con_trans && k.soil_contam_layers < 1) {
    std::printf("Error: the nutrient soil pools (NUTRIENTS with SOIL_CON_TRANS) need the contaminant soil column "
                "of OV_CON_TRANS.\n");
    stop_with_own_message();
    return;
  }
  // The nutrient constituents follow the contaminants in the list.
  read_nutrient_overland(ms, k.num_constituents + 1);
  if (stopped()) return;
  alloc_overland_constituents(ms, nsm_water_items, true);
  nsm& model = *k.nsm_model;
  if (k.soil_con_trans) nsm_alloc_soils(model.soil, ms.grid.ncells, k.soil_contam_layers);
  assign_constituent_params(ms);
  if (stopped()) {
    if (process.error_block.code) report_error();
    return;
  }
  copy_nutrients_to_constituent_list(ms);
  assign_table_params_28_30(ms);
  if (stopped()) return;
  // The nutrients travel with the overland constituents.
  k.ov_con_trans = 1;
  k.constituents_on = 1;
}

void assign_nsm_table_params(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.nutrients || !k.soil_con_trans || !k.nsm_model || stopped()) return;
  nsm_soil& soil = k.nsm_model->soil;
  const int first = k.first_nsm_constituent;
  const int cells = ms.grid.ncells;
  struct pool_table {
    int slot, code;
    int on;  // the card that asks for the table
    std::array<int, 6> pools;
    int count;
  };
  const pool_table tables[] = {
      {cmt_nsm_soil_nitrogen, cmt_code_nsm_soil_n, k.soils_nsm_n,
       {nsm_pool::nh4, nsm_pool::no3, nsm_pool::org_active_n, nsm_pool::org_fresh_n, nsm_pool::org_stable_n, 0}, 5},
      {cmt_nsm_soil_phosphorus, cmt_code_nsm_soil_p, k.soils_nsm_p,
       {nsm_pool::min_active_p, nsm_pool::min_solution_p, nsm_pool::min_stable_p, nsm_pool::org_active_p,
        nsm_pool::org_fresh_p, nsm_pool::org_stable_p},
       6},
      {cmt_nsm_soil_carbon, cmt_code_nsm_soil_c, k.soils_nsm_c,
       {nsm_pool::org_active_c, nsm_pool::org_stable_c, 0, 0, 0, 0}, 2},
  };
  for (const pool_table& t : tables) {
    if (t.on != 2 || !table_present(ms, t.slot)) continue;
    std::array<array1d<double>, 7> columns;
    if (!read_columns(ms, t.code, columns, t.count)) return;
    for (int c = 0; c < t.count; ++c) {
      const int pool = t.pools[static_cast<std::size_t>(c)];
      // A pool with a water partner is the soil side of the partner's row:
      // the row's land mass is the pool's.
      const int water = nsm_pool_partner(pool);
      for (int i = 1; i <= cells; ++i) {
        const double v = columns[static_cast<std::size_t>(c)][i];
        if (water >= 0) k.land_mass(first + water, i) = v;
        soil.pool[static_cast<std::size_t>(pool)](i, 1) = v;
      }
    }
  }
  // The tables give the surface layer in kg; the pools hold grams.
  nsm_soil_surface_to_grams(soil);
  const std::pair<int, int> coefficients[] = {{cmt_nsm_soil_km, cmt_code_nsm_soil_km},
                                              {cmt_nsm_soil_koc, cmt_code_nsm_soil_koc}};
  for (int which = 0; which < 2; ++which) {
    const auto [slot, code] = coefficients[which];
    if (!table_present(ms, slot)) continue;
    // Kept with the soil pools; the nutrient kinetics that would read them
    // are not built.
    if (ms.project.quiet != 1 && process.parallel_env.proc_id == 0)
      std::printf("Warning: the %s table of the mapping table has no effect in this version of NIVRA; it is "
                  "ignored.\n",
                  which == 0 ? "NSM_SOIL_KM" : "NSM_SOIL_KOC");
    std::array<array1d<double>, 7> columns;
    if (!read_columns(ms, code, columns, 6)) return;
    const double* six[6];
    for (int j = 0; j < 6; ++j) six[j] = columns[static_cast<std::size_t>(j)].data();
    nsm_soil_set_partition(soil, which == 0 ? 0 : 6, six);
  }
}

bool read_stream_zone_map(model_state& ms) {
  nsm_part& part = ms.constituent.nsm_model->aq_env;
  const auto& ch = ms.channel;
  const int links = ch.num_stream_links;
  part.st_index.destroy();
  part.st_index.grow_fill(ch.max_nodes_per_link + 1, 1, links + 1);
  std::vector<double> per_link;
  const std::string file = part.st_index_map.str();
  const stream_map_status status = file.empty() ? stream_map_not_opened : read_stream_map(file, links, true, per_link);
  if (status == stream_map_not_opened) {
    std::printf("Error: Unable to open the stream Aquatic Environment map.\n");
    stop_with_own_message();
    return false;
  }
  if (status != stream_map_read) {
    std::printf("Error: the stream Aquatic Environment map %s %s\n", file.c_str(),
                status == stream_map_bad_header   ? "does not begin with STREAM_MAP"
                : status == stream_map_link_count ? "does not give one zone for each link of the network"
                                                  : "holds a zone that is not a whole number");
    stop_with_own_message();
    return false;
  }
  for (int l = 1; l <= links; ++l) {
    const double id = per_link[static_cast<std::size_t>(l)];
    if (id < 1 || id > part.num_ids) {
      std::printf("Error: the stream Aquatic Environment map %s gives link %d the zone %g; the aquatic environment "
                  "file has zones 1 to %d.\n",
                  file.c_str(), l, id, part.num_ids);
      stop_with_own_message();
      return false;
    }
    for (int node = 1; node <= ch.nx[l]; ++node) part.st_index(node, l) = static_cast<int>(id);
  }
  return true;
}

void setup_nutrient_channels(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.nutrients || !k.nsm_model || ms.channel.num_stream_links < 1 || stopped()) return;
  setup_nutrient_streams(ms, k.first_nsm_constituent);
  if (!read_stream_zone_map(ms)) return;
  init_stream_constituents(ms);
  if (process.error_block.code) report_error();
}

}  // namespace nivra

namespace nivra {

namespace {

// The nutrient masses the run carries in its constituent list, copied into
// the medium's own records before a derived total is computed from them.
// A list without rows for the medium (channels or lakes not carried) leaves
// the records as they were set up.
void sync_masses(const jagged_array<double>& list_mass, int first, nsm_water_set& water) {
  if (list_mass.count() < first + nsm_water_items - 1) return;
  for (int c = 0; c < nsm_water_items; ++c) {
    const double* from = list_mass.row(first + c);
    checked_array<double>& to = water[c].mass;
    const int n = std::min(to.count(), list_mass.row_length());
    for (int e = 1; e <= n; ++e) to[e] = from[e];
  }
}

// The water of the stream nodes as the channel holds it.
nsm_stream_water stream_water_of(const model_state& ms) {
  const auto& ch = ms.channel;
  return nsm_stream_water{ch.nx.data(), ch.area.data(), ch.link_dx.data(), ch.max_nodes_per_link + 1};
}

void recompute_nutrient_total(model_state& ms, nsm_total what) {
  constituent_state& k = ms.constituent;
  nsm& model = *k.nsm_model;
  const int first = k.first_nsm_constituent;
  switch (what) {
    case nsm_total::overland_nh3:
    case nsm_total::overland_total_n:
    case nsm_total::overland_total_p:
      sync_masses(k.ov_mass, first, model.overland.water);
      if (what == nsm_total::overland_total_p) {
        nsm_overland_total_phosphorus(model.overland);
      } else {
        nsm_overland_unionized_ammonia(model.overland, ms.overland.ov_depth.data());
        if (what == nsm_total::overland_total_n) nsm_overland_total_nitrogen(model.overland);
      }
      break;
    case nsm_total::stream_nh3:
    case nsm_total::stream_total_n:
    case nsm_total::stream_tkn:
    case nsm_total::stream_total_p: {
      if (model.stream.links < 1) break;
      sync_masses(k.chan_node_mass, first, model.stream.water);
      const nsm_stream_water w = stream_water_of(ms);
      if (what == nsm_total::stream_total_p) {
        nsm_stream_total_phosphorus(model.stream, w);
        break;
      }
      nsm_stream_unionized_ammonia(model.stream, w);
      if (what == nsm_total::stream_total_n) nsm_stream_total_nitrogen(model.stream, w);
      if (what == nsm_total::stream_tkn) nsm_stream_total_kjeldahl_n(model.stream, w);
      break;
    }
    case nsm_total::lakes:
      if (model.lake.num_lakes < 1) break;
      sync_masses(k.lake_mass, first, model.lake.water);
      nsm_lake_unionized_ammonia(model.lake, ms.lake.lake_volume.data());
      nsm_lake_total_nitrogen(model.lake);
      nsm_lake_total_kjeldahl_n(model.lake);
      nsm_lake_total_phosphorus(model.lake);
      break;
  }
}

// The list's row of a nutrient constituent when the list carries the
// medium, else the medium's own record.
const double* row_or(const jagged_array<double>& list, int r, checked_array<double>& own) {
  return list.count() >= r && list.row(r) ? list.row(r) : own.data();
}

}  // namespace

void connect_nutrient_outputs(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.nutrients || !k.nsm_model || stopped()) return;
  nsm& model = *k.nsm_model;
  nsm_writers& w = model.writers;
  const int first = k.first_nsm_constituent;
  for (int c = 0; c < nsm_water_items; ++c) {
    const std::size_t n = static_cast<std::size_t>(c) + 1;
    w.outputs.out_ov_on[n] = model.out_ov_on[c];
    w.outputs.out_ov_file[n] = model.out_ov_file[c];
    w.outputs2.out_st_on[n] = model.out_st_on[c];
    w.outputs2.out_st_file[n] = model.out_st_file[c];
    w.hydrographs.out_hyd_on[n] = model.out_hyd_on[c];
    w.hydrographs.out_hyd_file[n] = model.out_hyd_file[c];
    w.hydrographs.hyd_conc_files[n] = std::move(model.hyd_conc_files[c]);
    w.hydrographs.hyd_mass_files[n] = std::move(model.hyd_mass_files[c]);
    nsm_media_view& v = w.media;
    v.ov_mass[n] = row_or(k.ov_mass, first + c, model.overland.water[c].mass);
    v.ov_conc[n] = row_or(k.ov_conc, first + c, model.overland.water[c].conc);
    v.st_mass[n] = row_or(k.chan_node_mass, first + c, model.stream.water[c].mass);
    v.st_conc[n] = row_or(k.chan_conc, first + c, model.stream.water[c].conc);
    v.lake_mass[n] = row_or(k.lake_mass, first + c, model.lake.water[c].mass);
    v.lake_conc[n] = row_or(k.lake_conc, first + c, model.lake.water[c].conc);
  }
  nsm_media_view& v = w.media;
  v.ov_total_n = model.overland.total_n.data();
  v.ov_total_p = model.overland.total_p.data();
  v.st_total_n = &model.stream.total_n;
  v.st_tkn = &model.stream.tkn;
  v.st_total_p = &model.stream.total_p;
  v.lake_total_n = model.lake.total_n.data();
  v.lake_tkn = model.lake.tkn.data();
  v.lake_total_p = model.lake.total_p.data();
  w.recompute = [&ms](nsm_total what) { recompute_nutrient_total(ms, what); };
  k.nsm_out = &w;
}

}  // namespace nivra
