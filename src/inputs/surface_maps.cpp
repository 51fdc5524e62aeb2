// Surface parameters (interception, retention, roughness, flow blockage,
// overland lakes), snow parameters by elevation band and the soil-moisture
// output locations.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "clock/clock_state.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/tokens.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "inputs/surface_maps.h"
#include "maps/grid_map.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_lakes.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

bool stopped() { return process.error_block.stop != 0; }

// The share by which a lake's volume as its card gives it may differ from
// the water its level holds over its cells (rounding of the card).
constexpr double lake_volume_tolerance = 0.01;

// A mapping table is read only when the project names one that holds it.
bool table_present(const grid_state& grid, int slot) {
  return grid.mapping_table_given && grid.cmt_table_present[slot];
}

void ensure_cells(array1d<double>& a, int n, const char* name) {
  if (a.size() != n) alloc_1d_double(a, n, name);
}

// Whitespace-separated words of a small text file.
std::vector<std::string> read_words(std::FILE* fp) {
  std::vector<std::string> words;
  std::string w;
  int c;
  while ((c = getc_unlocked(fp)) != EOF) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') {
      if (!w.empty()) words.push_back(std::move(w));
      w.clear();
    } else {
      w.push_back(static_cast<char>(c));
    }
  }
  if (!w.empty()) words.push_back(std::move(w));
  return words;
}

// The ten columns of a band line of the elevation-band snow file.
const char* const band_columns[10] = {"Lower_Elevation", "Upper_Elevation", "MF_Min", "MF_Max",
                                      "SCF", "FR_USE", "TIPM", "NMF", "FUA", "PLWHC"};

void print_band_file_help(const char* name) {
  std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n\n", name);
  std::printf("The Elevation based NWSRFS input file should have the following format: \n\n");
  std::printf("Number_Bands:\tint(number of elevation bands) \n");
  std::printf("Lower_Elevation\tUpper_Elevation\tMF_Min\tMF_Max\tSCF\tFR_USE\tTIPM\tNMF\tFUA\tPLWHC \n");
  std::printf("0              \t##Elev_1\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n");
  std::printf("##Elev_1       \t##Elev_2\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n");
  std::printf("##Elev_2       \t##Elev_3\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n");
  std::printf("...            \t100000000\t      ##    \t##    \t## \t##\t\t\t##\t\t##\t##\t##  \n\n");
}

// A parameter from its own map when the project opened it, else from the
// mapping table when the project's table file holds it. Sets from_table
// when the map was not there; false when the run stopped.
bool read_map_or_table(model_state& ms, guarded_file& file, const file_name_text& name,
                       array1d<double>& values, const value_range& range, const char* map_line,
                       const char* table_line, int slot, int code, bool& from_table) {
  const parameter_source source = read_parameter_map(ms, file, name.view(), values, range, map_line, table_line);
  from_table = source == parameter_source::table;
  if (source != parameter_source::table) return source == parameter_source::map;
  return !table_present(ms.grid, slot) || read_cmt_table(ms, code, {&values});
}

}  // namespace

void read_nwsrfs_snow_bands(model_state& ms) {
  const hydromet_state& h = ms.hydromet;
  if (!ms.clock.long_term || h.eb_snow) return;

  // Per-cell snow parameters: the card value when given, else the default.
  // Band columns 3..10 fill them in this order: MF_Min, MF_Max, SCF,
  // FR_USE, TIPM, NMF, FUA, PLWHC.
  struct parameter {
    array1d<double>* cells;
    const char* name;
    int given;
    double value;
    double fallback;
  };
  parameter p[8] = {
      {&ms.hydromet.MF_Min, "MF_Min", h.nwsrfs_mf_min_given, h.nwsrfs_mf_min, 0.0},
      {&ms.hydromet.MF_Max, "MF_Max", h.nwsrfs_mf_max_given, h.nwsrfs_mf_max, 1.2},
      {&ms.hydromet.scf, "scf", h.nwsrfs_scf_given, h.nwsrfs_scf, 1.0},
      {&ms.hydromet.fr_use, "fr_use", h.nwsrfs_fr_use_given, h.nwsrfs_fr_use, 0.0},
      {&ms.hydromet.TIPM, "TIPM", h.nwsrfs_tipm_given, h.nwsrfs_tipm, 0.2},
      {&ms.hydromet.NMF, "NMF", h.nwsrfs_nmf_given, h.nwsrfs_nmf, 0.2},
      {&ms.hydromet.fua, "fua", h.nwsrfs_fua_given, h.nwsrfs_fua, 0.18},
      {&ms.hydromet.PLWHC, "PLWHC", h.nwsrfs_plwhc_given, h.nwsrfs_plwhc, 0.05},
  };
  const int n = ms.grid.ncells;
  for (parameter& q : p) {
    alloc_1d_double(*q.cells, n, q.name);
    const double v = q.given ? q.value : q.fallback;
    for (int c = 1; c <= q.cells->size(); ++c) (*q.cells)[c] = v;
  }
  if (!h.nwsrfs_elev_snow_given) return;

  const char* name = ms.project.nwsrfs_elev_snow.c_str();
  if (!open_input_file(ms.hydromet.nwsrfs_elev_snow_file, ms.project.nwsrfs_elev_snow.view())) {
    std::printf("Cannot open elevation based NWSRFS snow input parameter file: %s\n", name);
    stop_with_own_message();
    return;
  }
  const std::vector<std::string> words = read_words(ms.hydromet.nwsrfs_elev_snow_file.fp);
  close_guarded_file(ms.hydromet.nwsrfs_elev_snow_file);

  bool good = true;
  std::size_t w = 0;
  auto word = [&](std::size_t i) { return i < words.size() ? words[i] : std::string(); };
  int bands = 0;
  if (word(w) == "Number_Bands:") {
    ++w;
    bool ok = false;
    bands = scan_int(word(w++), &ok);
    if (!ok || bands < 0) good = false;
  } else {
    std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n", name);
    good = false;
    ++w;
  }
  for (const char* column : band_columns) {
    if (word(w++) != column) {
      std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n", name);
      good = false;
    }
  }
  // The band lines: ten numbers each, finite and within the range of their
  // column (the band limits are any elevations, the last upper one often a
  // very large number).
  const value_range column_range[10] = {any_number,      any_number,      from_to(0, 100), from_to(0, 100),
                                        from_to(0, 10),  from_to(0, 1),   from_to(0, 1),   from_to(0, 100),
                                        from_to(0, 100), from_to(0, 1)};
  std::vector<double> table;
  for (int b = 0; good && b < bands; ++b)
    for (int k = 0; k < 10; ++k) {
      double v = 0.0;
      const std::string token = word(w++);
      if (!whole_token_double(token, v) || !column_range[k].contains(v)) {
        std::printf("Error: band %d of the elevation based NWSRFS snow input parameter file %s holds \"%s\" "
                    "in its %s column; it takes %s.\n",
                    b + 1, name, token.c_str(), band_columns[k], column_range[k].describe().c_str());
        good = false;
        break;
      }
      table.push_back(v);
    }
  if (!good) {
    print_band_file_help(name);
    stop_with_own_message();
    return;
  }
  // A cell strictly between a band's lower and upper elevation takes the
  // band's value of every parameter not given by card.
  for (int b = 0; b < bands; ++b) {
    const double* row = &table[static_cast<std::size_t>(b) * 10];
    for (int c = 1; c <= n; ++c) {
      const double z = ms.grid.elevation[c];
      if (!(z > row[0] && z < row[1])) continue;
      for (int k = 0; k < 8; ++k)
        if (!p[k].given) (*p[k].cells)[c] = row[2 + k];
    }
  }
}

void alloc_snow_cell_array(model_state& ms) {
  if (ms.clock.long_term) alloc_1d_double(ms.hydromet.snow_step_work, ms.grid.ncells, "snow_step_work");
}

void read_interception_maps(model_state& ms) {
  if (!ms.hydromet.interception_coeff_given) return;
  ensure_cells(ms.hydromet.icep_stor, ms.grid.ncells, "icep_stor");
  ensure_cells(ms.hydromet.icep_coef, ms.grid.ncells, "icep_coef");
  if (table_present(ms.grid, cmt_interception) &&
      !read_cmt_table(ms, cmt_code_interception, {&ms.hydromet.icep_stor, &ms.hydromet.icep_coef}))
    return;
  if (ms.hydromet.storage_capacity_file.is_open()) {
    input_report(ms, console_rule::unless_silent, "reading interception storage from file: %s\n",
                 ms.project.storage_capacity.c_str());
    read_cell_map(ms.grid, ms.hydromet.storage_capacity_file, ms.project.storage_capacity.view(), ms.hydromet.icep_stor,
                  ms.project.optimizer_mode, from_to(0, 1000, "mm"));
    close_guarded_file(ms.hydromet.storage_capacity_file);
    if (stopped()) return;
  } else {
    input_report(ms, console_rule::unless_quiet,
                 "reading interception storage table and map from master table file\n");
  }
  if (ms.hydromet.interception_coeff_file.is_open()) {
    input_report(ms, console_rule::unless_silent, "reading interception coeff. from file: %s\n",
                 ms.project.interception_coeff.c_str());
    read_cell_map(ms.grid, ms.hydromet.interception_coeff_file, ms.project.interception_coeff.view(), ms.hydromet.icep_coef,
                  ms.project.optimizer_mode, from_to(0, 1));
    close_guarded_file(ms.hydromet.interception_coeff_file);
  } else {
    input_report(ms, console_rule::unless_quiet,
                 "reading interception coeff. table and map from the master table file\n");
  }
}

void read_overland_lake_map(model_state& ms) {
  if (!ms.lake.overland_lake_map_given) return;
  const int n = ms.grid.ncells;
  input_report(ms, console_rule::unless_silent, "reading overland lake map from file: %s\n",
               ms.project.overland_lake_map.c_str());
  if (ms.lake.oland_lake_mask.size() != n) alloc_1d_int(ms.lake.oland_lake_mask, n, "oland_lake_mask");
  // A lake drawn outside the watershed would hold water no cell has.
  read_index_cell_map(ms.grid, ms.lake.lake_map_file, ms.project.overland_lake_map.view(), ms.lake.oland_lake_mask,
                      ms.project.optimizer_mode, true);
  close_guarded_file(ms.lake.lake_map_file);
  if (stopped()) return;

  if (ms.lake.oland_lake_new.size() != n) alloc_1d_int(ms.lake.oland_lake_new, n, "oland_lake_new");
  ms.lake.num_olakes = 0;
  for (int c = 1; c <= n; ++c) {
    ms.lake.oland_lake_new[c] = ms.lake.oland_lake_mask[c];
    if (ms.lake.oland_lake_mask[c] > ms.lake.num_olakes) ms.lake.num_olakes = ms.lake.oland_lake_mask[c];
  }
  ms.lake.olake_table.alloc(ms.lake.num_olakes);
  ms.lake.ov_lakes_read = 1;
  std::vector<int> card_lines;
  const std::string lake_file = ms.lake.lake_data_file.name.str();
  const bool read =
      read_lake_file(ms.lake.lake_data_file, 1, ms.lake.num_olakes, ms.lake.olake_table, &card_lines);
  close_guarded_file(ms.lake.lake_data_file);
  if (!read || stopped()) return;
  std::vector<double> given(static_cast<std::size_t>(ms.lake.num_olakes) + 1, 0.0);
  for (int L = 1; L <= ms.lake.num_olakes; ++L)
    given[static_cast<std::size_t>(L)] = ms.lake.olake_table[L].value[olake_value::volume];
  tally_overland_lakes(ms.lake, ms.grid);
  if (stopped()) return;
  // The volume is the water below the level over the lake's cells: a card
  // whose volume says otherwise describes another lake than its level does.
  for (int L = 1; L <= ms.lake.num_olakes; ++L) {
    const olake_record& lake = ms.lake.olake_table[L];
    const double held = lake.value[olake_value::volume];
    const double stated = given[static_cast<std::size_t>(L)];
    if (std::fabs(stated - held) <= std::max(lake_volume_tolerance * held, 1.0)) continue;
    std::fprintf(stderr,
                 "Error: the LAKE card at line %d of the overland lake file %s gives lake %d the volume %.2f m3, "
                 "but its level of %.2f m over the ground of its %d cells in the lake map holds %.2f m3; give "
                 "that volume (within 1 %%) or correct the level.\n",
                 card_lines[static_cast<std::size_t>(L)], lake_file.c_str(), L, stated,
                 lake.value[olake_value::level], lake.cell_count, held);
    stop_with_own_message();
    return;
  }
  prepare_overland_lakes(ms.lake, n);
}

void tally_overland_lakes(lake_state& lakes, const grid_state& grid) {
  for (int L = 1; L <= lakes.num_olakes; ++L) {
    lakes.olake_table[L].cell_count = 0;
    lakes.olake_table[L].value[olake_value::volume] = 0.0;
  }
  const double area = grid.grid_size * grid.grid_size;
  for (int c = 1; c <= grid.ncells; ++c) {
    const int L = lakes.oland_lake_mask[c];
    if (!lake_cell(L) || L > lakes.num_olakes) continue;
    olake_record& lake = lakes.olake_table[L];
    ++lake.cell_count;
    const double surface = lake.value[olake_value::initial_level];
    if (grid.elevation[c] > surface) {
      std::printf("There is a lake cell in lake %d that is above the initial lake water surface\n", L);
      std::printf("elevation in that lake, which is specified as %f.  This situation is not\n", surface);
      std::printf("physically realistic.  Check your lake map.  Program terminated.\n");
      stop_with_own_message();
      return;
    }
    lake.value[olake_value::volume] += (surface - grid.elevation[c]) * area;
  }
}

void read_retention_map(model_state& ms) {
  const int n = ms.grid.ncells;
  ensure_cells(ms.overland.retent_dep, n, "retent_dep");
  double* r = ms.overland.retent_dep.data();
  if (ms.overland.reten_depth_given) {
    bool from_table = false;
    if (!read_map_or_table(ms, ms.overland.reten_depth_file, ms.project.reten_depth, ms.overland.retent_dep,
                           retention_depth,
                           "reading retention storage map from file: %s\n",
                           "reading retention storage table and map from master table file\n",
                           cmt_retention, cmt_code_retention, from_table))
      return;
    for (int c = 1; c <= n; ++c) r[c] /= 1000.0;  // mm to m
  } else {
    const double depth = ms.overland.retention / 1000.0;  // 0 without the card
    for (int c = 1; c <= n; ++c) r[c] = depth;
  }
}

void read_roughness_map(model_state& ms) {
  const int n = ms.grid.ncells;
  ensure_cells(ms.overland.dist_rough, n, "dist_rough");
  // The roughness exponents come with the tables only; without them the
  // array is not made and the effective roughness is the Manning n.
  if (ms.overland.roughness_given) {
    bool from_table = false;
    if (!read_map_or_table(ms, ms.overland.roughness_file, ms.project.roughness, ms.overland.dist_rough,
                           manning_roughness,
                           "reading roughness map from file: %s\n",
                           "reading roughness table and map from master table file\n",
                           cmt_roughness, cmt_code_roughness, from_table))
      return;
    if (from_table && table_present(ms.grid, cmt_rough_exp)) {
      input_report(ms, console_rule::unless_quiet, "reading roughness_exp table and map from master table file\n");
      ensure_cells(ms.overland.roughness_exp, n, "roughness_exp");
      if (!read_cmt_table(ms, cmt_code_rough_exp, {&ms.overland.roughness_exp})) return;
    }
    for (int c = 1; c <= n; ++c)
      if (ms.overland.dist_rough[c] <= 0.0) {
        std::printf("Overland Manning n=0 at grid cell %d.  Program terminating.\n", c);
        stop_with_own_message();
        return;
      }
    return;
  }
  const double manning_n = ms.overland.manning_n;
  if (!(manning_n > 1e-6)) {
    std::printf("\nInvalid spatially uniform overland flow Manning n value=%lf\n", manning_n);
    std::printf("NIVRA exiting.\n");
    stop_with_own_message();
    return;
  }
  ms.overland.dist_rough.fill(manning_n);
}

void init_snow_roughness(model_state& ms) {
  if (ms.overland.snow_roughness_given && !ms.overland.snow_darcy_given) {
    alloc_1d_double(ms.overland.dist_rough_copy, ms.grid.ncells, "dist_rough_copy");
    for (int c = 1; c <= ms.overland.dist_rough_copy.size(); ++c) ms.overland.dist_rough_copy[c] = ms.overland.dist_rough[c];
  } else if (ms.overland.snow_roughness_given && ms.overland.snow_darcy_given) {
    ms.overland.snow_roughness_given = 0;
    input_report(ms, console_rule::unless_silent,
                 "Both manning and darcy flow are turned on for when snow is present \n");
    input_report(ms, console_rule::unless_silent,
                 "Turning off manning flow for when snow is present.  Darcy still turned on. \n");
  }
}

void read_overland_blockage(model_state& ms) {
  if (!ms.overland.ovr_flow_block || !table_present(ms.grid, cmt_ovr_flow_block)) return;
  const int n = ms.grid.ncells;
  input_report(ms, console_rule::unless_quiet,
               "reading overland blockage table and map from master table file\n");
  ensure_cells(ms.overland.ovr_flow_block_cell, n, "ovr_flow_block_cell");
  if (ms.overland.ovr_flow_block_frac.rows() != n) alloc_2d_double(n, 5, ms.overland.ovr_flow_block_frac, "ovr_flow_block_frac");
  array1d<double> side[4];
  for (auto& s : side) s.alloc(n);
  if (!read_cmt_table(ms, cmt_code_ovr_flow_block,
                      {&ms.overland.ovr_flow_block_cell, &side[0], &side[1], &side[2], &side[3]}))
    return;
  for (int c = 1; c <= n; ++c)
    for (int k = 1; k <= 4; ++k) ms.overland.ovr_flow_block_frac[c][k] = side[k - 1][c];
}

void read_theta_locations(model_state& ms) {
  if (!ms.output.in_theta_location_given) return;
  int_token_reader in(ms.soil.in_theta_location_file, ms.project.in_theta_location.view());
  auto end_of_file = [&] {
    std::printf("End of file reached in file %s, exiting\n", in.name().c_str());
    stop_with_own_message();
  };
  auto not_a_number = [&] {
    std::printf("Error: line %d of file %s holds a value that is not an integer\n", in.line(),
                in.name().c_str());
    stop_with_own_message();
  };
  // Reads the next integer; false (after the message) when there is none.
  auto next = [&](int& v) {
    const int got = in.next(v);
    if (got == 0) end_of_file();
    if (got < 0) not_a_number();
    return got == 1;
  };

  int count = 0, layers = 0;
  if (!next(count)) return;
  if (ms.soil.inf_richards && !next(layers)) return;
  if (count < 0 || layers < 0) {
    std::printf("Error: line %d of file %s gives a negative count\n", in.line(), in.name().c_str());
    stop_with_own_message();
    return;
  }
  ms.output.n_theta_loc = count;
  alloc_1d_int(ms.output.cell_loc, count, "cell_loc");
  if (ms.soil.inf_richards) {
    alloc_1d_int(ms.output.cell_num, count, "cell_num");
    if (count > 0 && layers > 0) alloc_2d_int(ms.output.theta_loc_layers, count, layers, "theta_loc_layers");
  }
  for (int k = 1; k <= count; ++k) {
    int r = 0, c = 0;
    if (!next(r) || !next(c)) return;
    if (!check_grid_position(r, c, ms.grid.rows, ms.grid.cols, in)) return;
    ms.output.cell_loc[k] = ms.grid.mask[r][c];
    if (!ms.soil.inf_richards) continue;
    int nl = 0;
    if (!next(nl)) return;
    if (nl < 0 || nl > layers) {
      std::printf("Error: line %d of file %s lists %d layers for location %d; the file allows 0 to %d\n",
                  in.line(), in.name().c_str(), nl, k, layers);
      stop_with_own_message();
      return;
    }
    ms.output.cell_num[k] = nl;
    for (int j = 1; j <= nl; ++j)
      if (!next(ms.output.theta_loc_layers[k][j])) return;
  }
  if (!in.at_end()) {
    std::printf("Error: line %d of file %s holds more than the %d locations its first value counts\n", in.line(),
                in.name().c_str(), count);
    stop_with_own_message();
    return;
  }
  close_guarded_file(ms.soil.in_theta_location_file);
}

}  // namespace nivra
