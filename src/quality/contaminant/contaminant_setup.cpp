// The constituent set-up: the number of contaminants and their parameters
// (uniform cards or the mapping table's contaminant table), the growth of
// every per-constituent array, the contaminant soil column, and the initial
// state with the constituents' mass ledger.
#include "quality/contaminant/contaminant_setup.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_blocks.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/constituent_kernels.h"
#include "quality/contaminant/overland_point_sources.h"
#include "quality/contaminant/sediment_contaminant_step.h"
#include "quality/contaminant/soil_column_step.h"
#include "quality/nsm/nsm_media.h"
#include "soil/soil_state.h"
#include "surface/boundary_codes.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

// Kilograms of solids per m3 of solid volume.
constexpr double particle_density_kg_m3 = particle_density_g_cm3 * 1000.0;

// Every per-constituent, per-cell table of the set-up, in one list so that
// growing them is one loop.
template <class F>
void for_each_cell_table(constituent_state& k, F&& f) {
  jagged_array<double>* tables[] = {
      &k.ov_conc,          &k.ov_mass,          &k.cell_disp_coef,     &k.cell_decay_coef,
      &k.cell_uptake_rate, &k.soil_decay_coef,  &k.land_mass,          &k.land_conc,
      &k.soil_partition_coef, &k.gw_conc,       &k.cell_precip_mass,   &k.cell_infil_mass,
      &k.cell_exchange_mass,  &k.cell_decay_mass, &k.cell_qlat_mass,   &k.cell_exfil_mass,
      &k.cell_point_mass,  &k.cell_nsm_mass,    &k.cell_sed_contam_mass, &k.soil_infil_mass,
      &k.soil_exchange_mass, &k.cell_total_mass};
  for (jagged_array<double>* t : tables) f(*t);
}

// Every per-constituent total and step increment.
template <class F>
void for_each_constituent_total(constituent_state& k, F&& f) {
  checked_array<double>* totals[] = {
      &k.OV_MASS_INIT,         &k.OV_MASS_FINAL,        &k.OV_MASS_OUT,          &k.OV_QLAT_MASS,
      &k.OV_MASS_DECAY,        &k.OV_POINT_MASS,        &k.OV_EXFIL_MASS,        &k.OV_PRECIP_MASS,
      &k.OV_INFIL_MASS,        &k.OV_MASS_ERROR,        &k.OV_LAND_MASS,         &k.OV_LAND_MASS_INIT,
      &k.OV_LAND_MASS_FINAL,   &k.OV_UPTAKE_MASS,       &k.GLOBAL_MASS_CON_ERROR, &k.GLOBAL_MASS_DECAY,
      &k.GLOBAL_MASS_INIT,     &k.GLOBAL_MASS_FINAL,    &k.GLOBAL_POINT_SOURCE,  &k.GLOBAL_MASS_OUT,
      &k.GLOBAL_GW_MASS,       &k.event_ov_mass_init,   &k.event_ov_decay_mass,  &k.event_ov_uptake_mass,
      &k.event_ov_infil_mass,  &k.event_ov_exfil_mass,  &k.event_ov_qlat_mass,   &k.event_ov_mass_out,
      &k.event_ov_point_mass,  &k.event_ov_precip_mass, &k.event_ov_land_mass,   &k.event_ov_neg_mass,
      &k.ov_out_dmt,           &k.ov_point_dmt,         &k.ov_decay_dmt,         &k.ov_infil_dmt,
      &k.ov_qlat_dmt,          &k.ov_uptake_dmt,        &k.ov_precip_dmt,        &k.ov_nsm_dmt,
      &k.ov_nsm_dmt_in,        &k.ov_nsm_dmt_out,       &k.precip_conc,          &k.water_soil_partition_coef,
      &k.ov_exit_mass,         &k.soil_mass_init,       &k.soil_mass_final,      &k.soil_mass_error,
      &k.soil_decay_mass,      &k.soil_mass_seep_to_wt, &k.soil_mass_seep_from_wt, &k.global_precip_mass,
      &k.event_ov_mass_final,  &k.event_ov_land_mass_final, &k.global_gw_exfil_mass, &k.ov_boundary_mass,
      &k.event_ov_boundary_mass, &k.lake_boundary_mass, &k.event_lake_boundary_mass, &k.ov_lake_mass,
      &k.event_ov_lake_mass,
      &k.ov_nsm_in_mass,       &k.ov_nsm_out_mass,      &k.event_ov_nsm_in_mass, &k.event_ov_nsm_out_mass,
      &k.global_nsm_in_mass,   &k.global_nsm_out_mass,
      // The sediment-bound side's totals and the pipes' attached mass: every
      // constituent has them, the nutrients added after the contaminants too.
      &k.sed_attached_final,   &k.sed_contam_total_final, &k.sed_eroded_deposited, &k.sed_contam_source,
      &k.sed_attached_out,     &k.sed_attached_to_chan,  &k.pipe_attached,
      &k.pipe_dissolved,       &k.ov_pipe_mass,          &k.event_ov_pipe_mass};
  for (checked_array<double>* t : totals) f(*t);
}

// The soil scheme that lays out the contaminant soil column.
enum class column_scheme { none, green_ampt, redistribution, layered };

column_scheme scheme_of(const soil_state& s) {
  if (s.inf_layered_soil) return column_scheme::layered;
  if (s.inf_redist) return column_scheme::redistribution;
  if (s.green_ampt) return column_scheme::green_ampt;
  return column_scheme::none;
}

// The contaminant table's eight value columns, in their order, with the
// range each value must lie in.
struct table_column {
  jagged_array<double> constituent_state::*field;
  const char* name;
};
constexpr table_column table_columns[8] = {
    {&constituent_state::cell_disp_coef, "dispersion coefficient"},
    {&constituent_state::cell_decay_coef, "decay rate"},
    {&constituent_state::cell_uptake_rate, "uptake rate"},
    {&constituent_state::land_mass, "land load"},
    {&constituent_state::ov_conc, "initial overland concentration"},
    {&constituent_state::land_conc, "land-side concentration"},
    {&constituent_state::soil_partition_coef, "soil partition coefficient"},
    {&constituent_state::gw_conc, "groundwater concentration"},
};

// Every table value must be finite and not negative (rates, loads,
// concentrations and partition coefficients alike).
bool table_value_ok(double v) { return std::isfinite(v) && v >= 0.0; }

// The table's two partition coefficients act in different processes: the
// PARTITION line splits a contaminant between the water and the suspended
// fines (SEDIMENT_CONTAM), the KD column between a soil layer's water and
// its grains (the soil column of SOIL_CON_TRANS). A coefficient given
// without its process changes nothing, and the user is told so.
void warn_idle_partitions(const model_state& ms, const std::vector<std::string>& names) {
  const constituent_state& k = ms.constituent;
  const char* file = ms.project.mapping_table.c_str();
  for (int c = 1; c <= k.num_contaminants; ++c) {
    const std::string name = c < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(c)] : "";
    if (!k.sediment_contam && k.water_soil_partition_coef[c] > 0.0)
      std::printf("Warning: the PARTITION coefficient of contaminant %d (%s) in the mapping table file %s splits it "
                  "between the water and the suspended sediment, which only SEDIMENT_CONTAM carries; it has no "
                  "effect in this run.\n",
                  c, name.c_str(), file);
    if (k.soil_con_trans) continue;
    bool kd = false;
    for (int i = 1; i <= ms.grid.ncells && !kd; ++i) kd = k.soil_partition_coef(c, i) > 0.0;
    if (kd)
      std::printf("Warning: the KD column of contaminant %d (%s) in the mapping table file %s splits it between "
                  "the soil water and the grains of the soil column, which only SOIL_CON_TRANS carries; it has no "
                  "effect in this run (the share on eroded sediment is the PARTITION coefficient, with "
                  "SEDIMENT_CONTAM).\n",
                  c, name.c_str(), file);
  }
}

bool read_contaminant_table(model_state& ms) {
  constituent_state& k = ms.constituent;
  input_report(ms, console_rule::unless_quiet, "reading contaminant transport table and map from master table file\n");
  contaminant_tables t;
  if (!read_cmt_contaminants(ms, t)) {
    if (!process.error_block.stop) stop_with_own_message();
    return false;
  }
  if (t.count < 1) {
    set_error(125);
    report_error();
    return false;
  }
  for (int c = 1; c <= t.count; ++c) {
    const double pc = t.precip_conc[static_cast<std::size_t>(c - 1)];
    const double kd = t.partition[static_cast<std::size_t>(c - 1)];
    const char* bad = !table_value_ok(pc) ? "PRECIP_CONC" : !table_value_ok(kd) ? "PARTITION" : nullptr;
    if (bad) {
      std::printf("Error: the %s value of contaminant %d in the mapping table file %s must be a finite number "
                  "of at least 0.\n",
                  bad, c, ms.project.mapping_table.c_str());
      stop_with_own_message();
      return false;
    }
  }
  k.num_contaminants = t.count;
  alloc_overland_constituents(ms, t.count, false);
  k.contam_table_input = 1;
  const int cells = ms.grid.ncells;
  for (int c = 1; c <= t.count; ++c) {
    k.precip_conc[c] = t.precip_conc[static_cast<std::size_t>(c - 1)];
    k.water_soil_partition_coef[c] = t.partition[static_cast<std::size_t>(c - 1)];
    if (static_cast<int>(k.constituent_output_name.size()) <= c) k.constituent_output_name.resize(c + 1);
    k.constituent_output_name[static_cast<std::size_t>(c)] = t.output_filenames[static_cast<std::size_t>(c)];
    for (int col = 0; col < 8; ++col)
      for (int i = 1; i <= cells; ++i) {
        const double v = t.columns[static_cast<std::size_t>(col)][c][i];
        if (!table_value_ok(v)) {
          std::printf("Error: the %s of contaminant %d in the mapping table file %s is %g at row %d, column %d "
                      "of the grid; it must be a finite number of at least 0.\n",
                      table_columns[col].name, c, ms.project.mapping_table.c_str(), v, ms.grid.cell_row[i],
                      ms.grid.cell_col[i]);
          stop_with_own_message();
          return false;
        }
        (k.*table_columns[col].field)(c, i) = v;
      }
  }
  warn_idle_partitions(ms, t.descriptions);
  return true;
}

}  // namespace

int contaminant_soil_layers(const soil_state& s, double soil_moist_cm, double& top_cm, double& mixing_cm) {
  const column_scheme scheme = scheme_of(s);
  if (scheme == column_scheme::green_ampt || scheme == column_scheme::redistribution) {
    if (top_cm < 1e-16) top_cm = soil_moist_cm;
    if (mixing_cm < 1e-16) mixing_cm = top_cm;
  }
  switch (scheme) {
    case column_scheme::redistribution:
      return 1 + (soil_moist_cm - top_cm > 1e-16 ? 1 : 0) + (top_cm - mixing_cm > 1e-16 ? 1 : 0);
    case column_scheme::green_ampt:
      return 1;
    case column_scheme::layered:
      return mixing_cm > 1e-16 ? 3 : 2;
    case column_scheme::none:
      break;
  }
  return 0;
}

void alloc_overland_constituents(model_state& ms, int n, bool nsm_flag) {
  constituent_state& k = ms.constituent;
  const int cells = ms.grid.ncells;
  if (nsm_flag) n = nsm_water_items;
  if (n < 1) return;
  const int first = k.num_constituents + 1;
  for_each_constituent_total(k, [&](checked_array<double>& a) { a.grow_fill(n, 0.0); });
  for_each_cell_table(k, [&](jagged_array<double>& t) { t.grow(n, cells); });
  k.constituent_type.grow(n);
  k.num_constituents += n;
  if (nsm_flag) {
    k.num_nsm_constituents = n;
    k.first_nsm_constituent = first;
    for (int c = first; c <= k.num_constituents; ++c) k.constituent_type[c] = 2;
  } else {
    k.num_contam_constituents = n;
    for (int c = first; c <= k.num_constituents; ++c) k.constituent_type[c] = 1;
  }
  if (static_cast<int>(k.constituent_output_name.size()) < k.num_constituents + 1)
    k.constituent_output_name.resize(static_cast<std::size_t>(k.num_constituents) + 1);
  if (k.soil_contam_layers > 0) {
    k.soil_mass.grow_fill(n, 0.0, cells, k.soil_contam_layers);
    k.soil_conc.grow_fill(n, 0.0, cells, k.soil_contam_layers);
  }
}

void add_sediment_class_constituents(model_state& ms) {
  constituent_state& k = ms.constituent;
  const int n = k.n_sed_classes;
  if (k.sed_transport_mode != 2 || n < 1 || !k.ov_sed) return;
  // The classes are contaminant constituents (kind 1) whose parameters are
  // all 0 but the overland dispersion of the water that carries them: they
  // neither decay nor trade with the land surface, the rain brings none,
  // and they start from clean water. The contaminants' own call keeps its
  // count.
  const int contaminants = k.num_contam_constituents;
  const int first = k.num_constituents + 1;
  alloc_overland_constituents(ms, n, false);
  k.num_contam_constituents = contaminants;
  k.first_sed_constituent = first;
  k.num_sed_constituents = n;
  const int cells = ms.grid.ncells;
  for (int j = 1; j <= n; ++j) {
    const int c = first + j - 1;
    for (int i = 1; i <= cells; ++i) k.cell_disp_coef(c, i) = k.ov_disp_coef;
    const std::vector<std::string>& names = k.ov_sed->output_filename;
    if (static_cast<int>(names.size()) > j) k.constituent_output_name[static_cast<std::size_t>(c)] = names[static_cast<std::size_t>(j)];
  }
}

namespace {

// The uniform cards give the land surface no concentration: the exchange
// between the overland water and the land runs at the land's concentration
// of the contaminant table (LAND_CONC), or with a soil column against the
// top layer's water. Without either, a land load or an exchange rate would
// never move a gram; the run stops naming the cards. False after the
// message.
bool uniform_land_cards_act(const constituent_state& k) {
  if (k.soil_con_trans) return true;
  std::string cards;
  const char* given[] = {k.ov_mass_load > 0.0 ? "OV_MASS_LOAD" : nullptr,
                         k.ov_uptake_rate > 0.0 ? "OV_UPTAKE_RATE" : nullptr,
                         k.contam_map_given ? "CONTAM_MAP" : nullptr};
  int count = 0;
  for (const char* c : given) count += c != nullptr;
  int at = 0;
  for (const char* c : given) {
    if (!c) continue;
    if (at > 0) cards += at + 1 == count ? " and " : ", ";
    cards += c;
    ++at;
  }
  if (count == 0) return true;
  std::printf("Error: %s %s through the exchange between the overland water and the land surface, which runs at "
              "the land's concentration: the mapping table's CONTAMINANT_TRANSPORT table gives it (LAND_CONC), and "
              "soil contaminant transport (SOIL_CON_TRANS) exchanges with the top soil layer's water instead. "
              "With the uniform contaminant cards and neither, the land would never give or take a gram: give "
              "the table or SOIL_CON_TRANS, or leave %s out.\n",
              cards.c_str(), count > 1 ? "act" : "acts", count > 1 ? "these cards" : "the card");
  stop_with_own_message();
  return false;
}

}  // namespace

void setup_contaminants(model_state& ms) {
  constituent_state& k = ms.constituent;
  const int cells = ms.grid.ncells;
  // The soil column first: the per-constituent soil tables are sized by it.
  if (k.soil_con_trans) {
    k.soil_moist_depth = ms.soil.soil_moist_depth;
    k.top_layer_depth = ms.soil.top_layer_depth;
    k.mixing_layer_depth = ms.soil.mixing_layer_depth;
    k.soil_contam_layers = contaminant_soil_layers(ms.soil, k.soil_moist_depth, k.top_layer_depth,
                                                   k.mixing_layer_depth);
    if (k.soil_contam_layers < 1) {
      std::printf("Error: soil contaminant transport (SOIL_CON_TRANS) needs a soil column: Green-Ampt, "
                  "redistribution or layered soil infiltration.\n");
      stop_with_own_message();
      return;
    }
    if (scheme_of(ms.soil) != column_scheme::layered && ms.soil.soil_porosity.size() != cells) {
      std::printf("Error: soil contaminant transport (SOIL_CON_TRANS) needs the porosity of every cell "
                  "(the POROSITY map or the mapping table).\n");
      stop_with_own_message();
      return;
    }
    k.THETA.alloc(cells, k.soil_contam_layers);
    k.THETAS.alloc(cells, k.soil_contam_layers);
    k.soil_layer_thickness.grow(k.soil_contam_layers);
    k.soil_layer_bottom.grow(k.soil_contam_layers);
  }
  if (k.sed_transport_mode == 2 && !k.ov_con_trans_given) {
    // The sediment classes switched the transport on: they are its only
    // constituents.
    k.num_contaminants = 0;
  } else if (ms.grid.cmt_table_present[cmt_contaminants]) {
    if (!read_contaminant_table(ms)) return;
  } else {
    // The uniform cards describe one contaminant.
    input_report(ms, console_rule::unless_quiet, "using uniform contaminant transport values\n");
    if (!uniform_land_cards_act(k)) return;
    if (k.num_contaminants < 0) k.num_contaminants = 1;
    if (k.num_contaminants < 1) {
      k.num_contaminants = 0;
      set_error(125);
      report_error();
      return;
    }
    alloc_overland_constituents(ms, k.num_contaminants, false);
    for (int c = 1; c <= k.num_contaminants; ++c)
      for (int i = 1; i <= cells; ++i) {
        k.cell_disp_coef(c, i) = k.ov_disp_coef;
        k.cell_decay_coef(c, i) = k.ov_decay_coef;
        k.cell_uptake_rate(c, i) = k.ov_uptake_rate;
        k.land_mass(c, i) = k.ov_mass_load;
      }
  }
  // The water the soil processes hand to the constituents, per cell.
  for (array1d<double>* a : {&k.ov_con_infil_vol, &k.ov_con_exfil_vol, &k.exfil_step_vol, &k.ov_con_pipe_vol})
    a->alloc(cells);
  if (k.soil_contam_layers > 0) {
    k.soil_con_exfil_vol.alloc(cells);
    ms.soil.sm_interlayer_flow.alloc(cells);
    ms.soil.sm_percolation.alloc(cells);
  }
  if (k.contam_map_given) {
    const value_range load{0.0, 1e12};
    const std::string_view name = ms.project.contam_map.view();
    if (k.contam_map_file.is_open())
      report_two_ways(ms, with_name("reading contamimant load map from file: %s\n", name),
                      with_name("reading contaminant load map from file: %s\n", name));
    if (read_parameter_map(ms, k.contam_map_file, name, k.contam_map_data, load, "", "") != parameter_source::map)
      return;
    for (int i = 1; i <= cells; ++i) k.land_mass(1, i) = k.contam_map_data[i];
  }
}

namespace {

// The attached transport's work arrays, sized for the run's grid and
// classes (its per-constituent totals grow with the constituent list); the
// sediment starts as the overland sediment record holds it.
void setup_attached_arrays(model_state& ms) {
  constituent_state& k = ms.constituent;
  const int cells = ms.grid.ncells, classes = k.n_sed_classes;
  sed_contam_arrays& w = k.attached_work;
  w.alloc(cells, classes);
  for (int j = 1; j <= classes; ++j) w.sand[j] = !k.sand.empty() && k.sand[j] ? 1 : 0;
  for (int i = 1; i <= cells; ++i)
    for (int j = 0; j <= classes; ++j) w.susp(i, j) = k.ov_sed->cells.susp(i, j);
}

}  // namespace

void read_contaminant_params(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.ov_con_trans) {
    // The point sources' water goes with their mass, on the constituent
    // clock: a project without the constituents would lose it unnoticed.
    if (k.ov_point_source_given) {
      std::printf("Error: overland point sources (OV_POINT_SOURCE) need overland contaminant transport "
                  "(OV_CON_TRANS).\n");
      stop_with_own_message();
      return;
    }
    // The channels alone carry the contaminants of the cards or the table.
    if (k.chan_con_trans && ms.channel.chan_explic && !k.nutrients) setup_contaminants(ms);
    return;
  }
  if (k.sediment_contam) {
    // The attached contaminants ride on the overland sediment step's
    // fine classes, and in the channels on the wash load.
    if (!k.soil_erosion_on || k.sed_transport_mode != 1 || !k.ov_sed) {
      std::printf("Error: sediment-bound contaminants (SEDIMENT_CONTAM) need the overland sediment step "
                  "(SOIL_EROSION below 10 with the SEDIMENTS table).\n");
      stop_with_own_message();
      return;
    }
    // Sand carries none: without a fine class the card would do nothing.
    if (k.n_fine_classes < 1) {
      std::printf("Error: sediment-bound contaminants (SEDIMENT_CONTAM) ride on the fine classes, and every "
                  "sediment class is sand (SAND_SIZE %g mm).\n", k.sand_size);
      stop_with_own_message();
      return;
    }
  }
  setup_contaminants(ms);
  if (process.error_block.stop) return;
  add_sediment_class_constituents(ms);
  if (k.sediment_contam) {
    if (!(attached_mixing_depth_cm(ms) > 1e-16)) {
      std::printf("Error: sediment-bound contaminants (SEDIMENT_CONTAM) need the depth of the soil the eroded "
                  "fines come from: give the MIXING_LAYER_DEPTH card.\n");
      stop_with_own_message();
      return;
    }
    setup_attached_arrays(ms);
  }
  read_overland_point_sources(ms);
}

void init_soil_contam(model_state& ms) {
  constituent_state& k = ms.constituent;
  if (!k.ov_con_trans) return;
  const int cells = ms.grid.ncells;
  const double dx = ms.grid.grid_size;
  const double area = dx * dx;
  const int layers = k.soil_contam_layers;
  const column_scheme scheme = scheme_of(ms.soil);
  // Layer geometry, cm to m.
  if (layers > 0 && scheme != column_scheme::layered) {
    if (scheme == column_scheme::redistribution) {
      k.soil_layer_thickness[1] = k.mixing_layer_depth / 100.0;
      if (layers == 2) k.soil_layer_thickness[2] = (k.soil_moist_depth - k.mixing_layer_depth) / 100.0;
      if (layers == 3) {
        k.soil_layer_thickness[2] = (k.top_layer_depth - k.mixing_layer_depth) / 100.0;
        k.soil_layer_thickness[3] = (k.soil_moist_depth - k.top_layer_depth) / 100.0;
      }
    } else {
      k.soil_layer_thickness[1] = k.mixing_layer_depth / 100.0;
    }
    double bottom = 0.0;
    for (int j = 1; j <= layers; ++j) {
      bottom += k.soil_layer_thickness[j];
      k.soil_layer_bottom[j] = bottom;
    }
  }
  const bool lakes = ms.lake.chan_lakes && !ms.lake.lake_mask.empty();
  for (int c = 1; c <= k.num_constituents; ++c) {
    k.OV_MASS_INIT[c] = 0.0;
    k.OV_LAND_MASS_INIT[c] = 0.0;
    const int kind = k.constituent_type[c];
    for (int i = 1; i <= cells; ++i) {
      if (kind == 1) {
        k.cell_decay_coef(c, i) /= 86400.0;
        k.cell_uptake_rate(c, i) /= 86400.0;
        if (k.soil_con_trans) k.soil_decay_coef(c, i) = k.cell_decay_coef(c, i);
      }
      k.land_mass(c, i) *= 1000.0;
      const double depth = ms.overland.ov_depth.empty() ? 0.0 : ms.overland.ov_depth[i];
      if (depth > 1e-16) {
        k.ov_mass(c, i) = depth * k.ov_conc(c, i) * area;
      } else {
        k.ov_mass(c, i) = 0.0;
        k.ov_conc(c, i) = 0.0;
      }
      if (lakes && ms.lake.lake_mask[i] != 0) {
        k.ov_mass(c, i) = 0.0;
        k.ov_conc(c, i) = 0.0;
      } else {
        k.OV_MASS_INIT[c] += k.ov_mass(c, i) / 1000.0;
      }
      if (kind == 1 && layers > 0) {
        for (int j = 1; j <= layers; ++j) k.soil_mass(c, i, j) = k.soil_conc(c, i, j) = 0.0;
        const double conc = k.land_mass(c, i) / 1000.0;
        k.soil_conc(c, i, 1) = conc;
        double m = 0.0;
        if (scheme == column_scheme::layered) {
          const soil_class& sc = ms.soil.soil_classes()[ms.soil.soiltype[i]];
          const double class_top_cm = sc.thickness(1);
          const double thickness = (k.mixing_layer_depth > 1e-16 && class_top_cm > k.mixing_layer_depth)
                                       ? k.mixing_layer_depth / 100.0
                                       : class_top_cm / 100.0;
          m = (1.0 - sc.porosity(1)) * thickness * conc * area * particle_density_kg_m3 / 1000.0;
        } else {
          m = conc * k.soil_layer_thickness[1] * area * particle_density_kg_m3 * (1.0 - ms.soil.soil_porosity[i]) /
              1000.0;
        }
        k.land_mass(c, i) = k.soil_mass(c, i, 1) = m;
      }
      k.OV_LAND_MASS_INIT[c] += k.land_mass(c, i) / 1000.0;
      // Under a soil column a nutrient row's soil side is its partner pool,
      // counted below with the column's mass.
      const bool column_holds_land = kind == 1 || layers < 1;
      k.GLOBAL_MASS_INIT[c] += (k.ov_mass(c, i) + (column_holds_land ? k.land_mass(c, i) : 0.0)) / 1000.0;
    }
    if (kind != 1 && layers > 0) k.GLOBAL_MASS_INIT[c] += soil_column_mass(k, c, cells);
  }
  // The transport's memory of the depths and infiltration it last saw, and
  // its scratch, sized for this run's grid.
  k.ov_depth_prev.alloc(cells);
  k.ov_infil_seen.alloc(cells);
  k.ov_source_rate.alloc(cells);
  k.ov_taken_exchange.alloc(cells);
  k.ov_taken_decay.alloc(cells);
  k.ov_taken_infil.alloc(cells);
  k.ov_taken_exfil.alloc(cells);
  k.ov_taken_nsm_gain.alloc(cells);
  k.ov_taken_nsm_loss.alloc(cells);
  k.ov_transport_work.size_for(cells);
  // The lakes on the grid: which cells they hold, and the overland lakes'
  // water and mass (they start clean).
  lake_state& lk = ms.lake;
  k.ov_lake_code.free();
  k.ov_lake_seen.free();
  k.ov_held_conc.free();
  k.olake_water.free();
  k.olake_left_water.free();
  k.olake_mass.destroy();
  const bool olakes = lk.overland_lake_map_given && lk.num_olakes > 0 && lk.oland_lake_new.size() == cells;
  if ((lk.chan_lakes && lk.lake_mask.size() == cells) || olakes) {
    k.ov_lake_code.alloc(cells);
    k.ov_lake_seen.alloc(cells);
    k.ov_lake_seen.fill(constituent_state::ov_lake_not_seen);
    k.ov_held_conc.alloc(cells);
    k.olake_water.alloc(std::max(lk.num_olakes, 1));
    k.olake_left_water.alloc(std::max(lk.num_olakes, 1));
    k.olake_mass.grow(k.num_constituents, std::max(lk.num_olakes, 1));
  }
  // The water the boundary cells let out of the grid or pass to their
  // receivers, which takes its mass with it.
  overland_state& ov = ms.overland;
  // The water every face moves between constituent steps, which carries
  // their mass.
  ov.con_vol_x.free();
  ov.con_vol_y.free();
  if (k.ov_con_trans) {
    ov.con_vol_x.alloc(cells);
    ov.con_vol_y.alloc(cells);
  }
  ov.bc_out_vol.free();
  ov.bc_rating_vol.free();
  ov.lowspot_vol.free();
  ov.lowspot_from.free();
  ov.lowspot_to.free();
  // The water the low spots of the dikes pass, which takes its mass too.
  if (ms.grid.lowspot_file_given && ms.grid.lowspot_count > 0) {
    ov.lowspot_vol.alloc(ms.grid.lowspot_count);
    ov.lowspot_from.alloc(ms.grid.lowspot_count);
    ov.lowspot_to.alloc(ms.grid.lowspot_count);
  }
  if (ov.ov_boundary && ov.boundary_type.size() == cells) {
    ov.bc_out_vol.alloc(cells);
    for (int i = 1; i <= cells; ++i) {
      if (!boundary::rates_by_curve(ov.boundary_type[i])) continue;
      ov.bc_rating_vol.alloc(cells, 4);
      break;
    }
  }
  for (int i = 1; i <= cells; ++i) {
    k.ov_depth_prev[i] = ms.overland.ov_depth.empty() ? 0.0 : ms.overland.ov_depth[i];
    k.ov_infil_seen[i] = ms.soil.inf_depth_cell.size() == cells ? ms.soil.inf_depth_cell[i] : 0.0;
  }
  if (ms.channel.chan_explic && ms.channel.link_node_size > 0) {
    k.chan_qlat_mass.grow(k.num_constituents, ms.channel.link_node_size);
    k.chan_qlat_in_mass.grow(k.num_constituents, ms.channel.link_node_size);
    k.chan_qlat_in_vol.alloc(ms.channel.link_node_size);
  }
  // The mass ledger of the run, with the masses it starts from.
  k.mass_books = std::make_unique<mass_ledger>(constituent_term_table, k.num_constituents);
  for (int c = 1; c <= k.num_constituents; ++c) {
    k.mass_books->set_mass(c, mass_compartment::overland_water, ledger_moment::run_start, k.OV_MASS_INIT[c]);
    const bool column_holds_land = k.constituent_type[c] == 1 || k.soil_contam_layers < 1;
    k.mass_books->set_mass(c, mass_compartment::soil_column, ledger_moment::run_start,
                           column_holds_land ? k.OV_LAND_MASS_INIT[c] : soil_column_mass(k, c, cells));
  }
}

}  // namespace nivra
