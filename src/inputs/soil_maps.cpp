// Soil, infiltration, overland-boundary, wetland and groundwater parameters
// of the map phase: from their own maps, uniform card values or the
// mapping tables, converted to metres and seconds.
#include "inputs/soil_maps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "clock/clock_state.h"
#include "core/elevation_series.h"
#include "core/errors.h"
#include "core/process.h"
#include "core/time_series.h"
#include "core/tokens.h"
#include "core/value_range.h"
#include "groundwater/aquifer.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/geometry.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_blocks.h"
#include "inputs/mapping_table.h"
#include "inputs/soil_tables.h"
#include "maps/grid_map.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "soil/richards_setup.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {

namespace {

bool stopped() { return process.error_block.stop != 0; }

// A mapping table is read only when the project names one that holds it.
bool table_present(const model_state& ms, int slot) {
  return ms.grid.mapping_table_given && ms.grid.cmt_table_present[slot];
}

// A per-cell array the chosen processes made, else null (its column of a
// table is skipped).
array1d<double>* if_made(array1d<double>& a, int n) { return a.size() == n ? &a : nullptr; }

void ensure_cells(array1d<double>& a, int n) {
  if (a.size() != n) a.alloc(n);
}


// ---- Infiltration parameters.

// The share of each cell that infiltrates: 1 - the reduction of the
// AREA_REDUCTION map, of the mapping table's AREA_REDUCTION table (with the
// card on and no map named), or of the UNIF_AREA_REDUCTION value over every
// cell. False when the run stopped.
bool read_area_reduction_map(model_state& ms) {
  soil_state& s = ms.soil;
  if (!s.area_reduction_given && !s.unif_area_reduction_given) return true;
  const int n = ms.grid.ncells;
  ensure_cells(s.area_reduction, n);
  const file_name_text& name = ms.project.area_reduction_file_name;
  const bool card = s.area_reduction_given != 0;
  s.area_reduction_given = 1;
  if (card && !name.empty()) {
    if (!open_input_file(s.area_reduction_file, name.view())) {
      std::printf("Can't open area reduction file named: %s\n", name.c_str());
      stop_with_own_message();
      return false;
    }
    input_report(ms, console_rule::unless_quiet, "reading area reduction map from file: %s\n", name.c_str());
    read_cell_map(ms.grid, s.area_reduction_file, name.view(), s.area_reduction, ms.project.optimizer_mode,
                  from_to(0, 1));
    close_guarded_file(s.area_reduction_file);
    if (stopped()) return false;
  } else if (card && table_present(ms, cmt_area_reduction)) {
    input_report(ms, console_rule::unless_quiet, "reading area reduction map from the mapping table file.\n");
    if (!read_cmt_table(ms, cmt_code_area_reduction, {&s.area_reduction})) return false;
  } else if (s.unif_area_reduction_given) {
    s.area_reduction.fill(s.unif_area_reduction);
  } else {
    std::printf("Error: the AREA_REDUCTION card needs the name of its map, the UNIF_AREA_REDUCTION card or an "
                "AREA_REDUCTION table in the mapping table\n");
    stop_with_own_message();
    return false;
  }
  for (int c = 1; c <= n; ++c) s.area_reduction[c] = 1.0 - s.area_reduction[c];
  return true;
}

// One soil parameter of the single-layer Green-Ampt schemes: whether the
// project gives it (its card or the GREEN_AMPT_INFILTRATION table), its map,
// its range as the map holds it and its conversion to the model's unit.
struct green_ampt_parameter {
  int given;
  guarded_file& file;
  const file_name_text& name;
  array1d<double>& values;
  value_range range;
  double divisor;     // to metres and seconds
  const char* what;   // "saturated hydraulic conductivity map"
  const char* card;
  const char* map_line;
  const char* table_line;
};

// Where a soil parameter came from, for messages: its map or the table.
std::string parameter_origin(parameter_source source, const char* card, std::string_view map,
                             const char* table) {
  if (source == parameter_source::map) return std::string("the ") + card + " map " + std::string(map);
  return std::string("the mapping table's ") + table + " table";
}

// The parameters of the chosen scheme, each from its map or else from the
// table, in the model's units; porosity_origin names where the porosity
// came from. A parameter that neither gives stops the run naming its map
// and card. False when the run stopped.
bool read_green_ampt_maps(model_state& ms, std::string& porosity_origin) {
  soil_state& s = ms.soil;
  const int n = ms.grid.ncells;
  const green_ampt_parameter parameters[] = {
      // Conductivities are given in cm/h and capillary heads in cm.
      {s.conductivity_given, s.ks_file, ms.project.conductivity, s.sat_hyd_cond, from_to(0, 10000, "cm/h"),
       360000.0, "saturated hydraulic conductivity map", "CONDUCTIVITY",
       "reading saturated hydraulic conductivity map from file: %s\n",
       "reading saturated hydraulic conductivity table and map from the master table file\n"},
      {s.capillary_given, s.hc_file, ms.project.capillary, s.capillary_head, from_to(0, 100000, "cm"), 100.0,
       "capillary drive map", "CAPILLARY", "reading capillary drive map from file: %s\n",
       "reading capillary drive map from the master table file\n"},
      {s.porosity_given, s.porosity_file, ms.project.porosity, s.soil_porosity, above_to(0, 1), 1.0,
       "porosity map", "POROSITY", "reading porosity map from file: %s\n",
       "reading porosity table and map from the master table file\n"},
      {s.pore_index_given, s.pore_index_file, ms.project.pore_index, s.pore_dist_index, above_to(0, 100), 1.0,
       "pore index map", "PORE_INDEX", "reading pore distribution index map from file: %s\n",
       "reading pore distribution index map from master table file\n"},
      {s.residual_sat_given, s.residual_sat_file, ms.project.residual_sat, s.resid_sat, from_to(0, 1), 1.0,
       "residual saturation map", "RESIDUAL_SAT", "reading residual saturation map from file: %s\n",
       "reading residual saturation map from the master table file\n"},
  };
  // Redistribution needs all five, plain Green-Ampt the first three.
  const std::span<const green_ampt_parameter> needed(parameters, s.inf_redist ? 5 : 3);
  const char* scheme = s.inf_redist ? "infiltration redistribution" : "Green and Ampt infiltration";
  for (const green_ampt_parameter& p : needed) {
    if (p.given) continue;
    std::fprintf(stderr,
                 "For %s, %s must be specified (the %s card) or given by the GREEN_AMPT_INFILTRATION table of "
                 "the mapping table\n",
                 scheme, p.what, p.card);
    std::fprintf(stderr, "Program stopped.\n");
    stop_with_own_message();
    return false;
  }
  for (const green_ampt_parameter& p : parameters)
    if (p.given) ensure_cells(p.values, n);
  if (table_present(ms, cmt_ga_infiltration) &&
      !read_cmt_table(ms, cmt_code_ga_infiltration,
                      {if_made(s.sat_hyd_cond, n), if_made(s.capillary_head, n), if_made(s.soil_porosity, n),
                       if_made(s.pore_dist_index, n), if_made(s.resid_sat, n), if_made(s.ga_value_6, n),
                       if_made(s.wilting_point_cell, n)}))
    return false;
  for (const green_ampt_parameter& p : needed) {
    const parameter_source source =
        read_parameter_map(ms, p.file, p.name.view(), p.values, p.range, p.map_line, p.table_line);
    if (source == parameter_source::stopped) return false;
    if (&p.values == &s.soil_porosity)
      porosity_origin = parameter_origin(source, p.card, p.name.view(), "GREEN_AMPT_INFILTRATION");
    if (p.divisor != 1.0)
      for (int c = 1; c <= n; ++c) p.values[c] /= p.divisor;
  }
  return true;
}

// The initial water content of the soil, from its map or the mapping table.
// With the porosity of a Green and Ampt soil read (from porosity_origin), a
// cell whose water content is above its porosity stops the run: the soil
// cannot hold more water than its pores.
void read_initial_moisture(model_state& ms, const std::string& porosity_origin) {
  const int n = ms.grid.ncells;
  soil_state& s = ms.soil;
  if (!s.moisture_given) return;
  ensure_cells(s.init_moisture, n);
  const parameter_source source =
      read_parameter_map(ms, s.soil_moisture_file, ms.project.moisture.view(), s.init_moisture, from_to(0, 1),
                         "reading soil moisture map from file: %s\n",
                         "reading soil moisture table and map from the master table file\n");
  if (source == parameter_source::stopped) return;
  if (source == parameter_source::table) {
    if (!table_present(ms, cmt_ga_soil_moisture)) return;
    if (!read_cmt_table(ms, cmt_code_ga_soil_moisture, {&s.init_moisture})) return;
  }
  if (porosity_origin.empty() || s.soil_porosity.size() != n) return;
  for (int c = 1; c <= n; ++c) {
    if (!(s.init_moisture[c] > s.soil_porosity[c])) continue;
    const std::string moisture_origin =
        parameter_origin(source, "MOISTURE", ms.project.moisture.view(), "GREEN_AMPT_INITIAL_SOIL_MOISTURE");
    std::printf("Error: %s gives cell %d (row %d, column %d) the initial water content %g, above its porosity %g "
                "from %s: the soil cannot hold more water than its pores.\n",
                moisture_origin.c_str(), c, ms.grid.cell_row[c], ms.grid.cell_col[c], s.init_moisture[c],
                s.soil_porosity[c], porosity_origin.c_str());
    stop_with_own_message();
    return;
  }
}

// The soil class of every cell from the SOIL_TYPE_MAP map.
bool read_soil_type_map(model_state& ms) {
  soil_state& s = ms.soil;
  input_report(ms, console_rule::unless_quiet, "reading soil map from file: %s\n", ms.project.soil_type_map.c_str());
  if (s.soiltype.size() != ms.grid.ncells) s.soiltype.alloc(ms.grid.ncells);
  read_index_cell_map(ms.grid, s.soil_type_file, ms.project.soil_type_map.view(), s.soiltype,
                      ms.project.optimizer_mode);
  close_guarded_file(s.soil_type_file);
  return !stopped();
}

// Layered soil: the soil classes of the cells and their initial layer
// water contents.
bool read_layered_soil(model_state& ms) {
  soil_state& s = ms.soil;
  const int n = ms.grid.ncells;
  if (table_present(ms, cmt_multi_layer_ga)) {
    if (read_cmt_multi_layer(ms) < 0) return false;
  } else {
    if (!read_soil_type_map(ms)) return false;
    soil_class_set defined;
    const int classes = read_soil_layer_table(s.soil_layer_table_file, ms.project.soil_layer_input_file.view(),
                                              s.soil_classes(), defined);
    close_guarded_file(s.soil_layer_table_file);
    if (classes < 0 || !check_cell_soil_classes(ms.grid, s.soiltype, defined, ms.project.soil_type_map.view(),
                                                ms.project.soil_layer_input_file.view()))
      return false;
  }
  if (s.THETA_ML.rows() != n) s.THETA_ML.alloc(n, 4);
  ensure_cells(s.surface_moisture, n);
  const array1d<soil_class>& table = s.soil_classes();
  for (int c = 1; c <= n; ++c) {
    const soil_class& k = table[s.soiltype[c]];
    s.surface_moisture[c] = k.initial_moisture(1);
    for (int layer = 1; layer <= 3; ++layer) s.THETA_ML[c][layer] = k.initial_moisture(layer);
  }
  return true;
}

// The water table and, where the aquifer has one, its bottom.
void read_water_table_maps(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  if (!g.water_table_given) return;
  const int n = ms.grid.ncells;
  if (!g.water_table_file.is_open() && !open_input_file(g.water_table_file, ms.project.water_table.view())) {
    set_error(4, "water table", ms.project.water_table.view());
    report_error();
    return;
  }
  input_report(ms, console_rule::unless_quiet, "reading water table map from file: %s\n", ms.project.water_table.c_str());
  ensure_cells(g.elevgw, n);
  read_cell_map(ms.grid, g.water_table_file, ms.project.water_table.view(), g.elevgw, ms.project.optimizer_mode,
                ground_elevation);
  close_guarded_file(g.water_table_file);
  if (stopped()) return;
  ensure_cells(g.bottom_elev, n);
  if (g.gw_simulation) {
    input_report(ms, console_rule::unless_quiet, "reading aquifer bottom map from file: %s\n",
                 ms.project.aquifer_bottom.c_str());
    read_cell_map(ms.grid, g.aquifer_bottom_file, ms.project.aquifer_bottom.view(), g.bottom_elev,
                  ms.project.optimizer_mode, ground_elevation);
    close_guarded_file(g.aquifer_bottom_file);
    if (stopped()) return;
  } else {
    // A table held where the map puts it: a Richards column reaches it
    // through nodes of AQUIFER_DELTA_Z (10 cm without the card), and the
    // saturated zone below it is taken as one node deep.
    if (!(g.aquifer_delta_z > 0.0)) g.aquifer_delta_z = 0.1;
    for (int c = 1; c <= n; ++c) g.bottom_elev[c] = g.elevgw[c] - g.aquifer_delta_z;
    return;
  }
  const std::string_view bottom_map = ms.project.aquifer_bottom.view();
  const std::string_view table_map = ms.project.water_table.view();
  for (int c = 1; c <= n; ++c) {
    const double ground = ms.grid.elevation[c];
    const int row = ms.grid.cell_row.count() >= c ? ms.grid.cell_row[c] : 0;
    const int col = ms.grid.cell_col.count() >= c ? ms.grid.cell_col[c] : 0;
    if (g.bottom_elev[c] >= ground) {
      std::printf("Warning: the aquifer bottom map %.*s gives %lf at row %d, column %d, at or above the ground "
                  "(%lf); the cell's aquifer bottom is taken at the ground.\n",
                  static_cast<int>(bottom_map.size()), bottom_map.data(), g.bottom_elev[c], row, col, ground);
      g.bottom_elev[c] = ground;
    }
    // A table below the bottom would start the aquifer with less than no
    // water: its books and heads would mean nothing.
    if (g.elevgw[c] < g.bottom_elev[c]) {
      std::printf("Error: the water table map %.*s gives %lf at row %d, column %d, below the aquifer bottom there "
                  "(%lf, of the map %.*s or the ground); the table starts at or above the aquifer bottom.\n",
                  static_cast<int>(table_map.size()), table_map.data(), g.elevgw[c], row, col, g.bottom_elev[c],
                  static_cast<int>(bottom_map.size()), bottom_map.data());
      stop_with_own_message();
      return;
    }
  }
}

// The soil hydraulic table of the Richards columns (its own file with the
// soil map, or a Richards block of the mapping table), then the columns.
void init_richards_soil(model_state& ms) {
  soil_state& s = ms.soil;
  if (!s.inf_richards) return;
  const bool brooks_table = table_present(ms, cmt_richards_brooks);
  const bool havercamp_table = table_present(ms, cmt_richards_havercamp);
  if (s.richards_c_option == 0) {
    if (brooks_table) s.richards_c_option = richards_retention::brooks_corey;
    else if (havercamp_table) s.richards_c_option = richards_retention::haverkamp;
  }
  const int model = s.richards_c_option;
  if (model != richards_retention::brooks_corey && model != richards_retention::haverkamp) {
    std::printf("Error: Richards infiltration (INF_RICHARDS) needs the RICHARDS_C_OPTION card, BROOKS or "
                "HAVERCAMP, to choose the retention curve and the layout of the soil table.\n");
    stop_with_own_message();
    return;
  }
  input_report(ms, console_rule::unless_silent, "Reading Soil Table");
  const int n = ms.grid.ncells;
  soil_hydraulic_request request;
  request.form = model == richards_retention::brooks_corey ? richards_brooks_form : richards_havercamp_form;
  soil_hydraulic_result result;
  int largest = 0;
  const bool from_table = model == richards_retention::brooks_corey ? brooks_table : havercamp_table;
  if (from_table) {
    largest = read_cmt_soil_layers(ms, model == richards_retention::brooks_corey ? 1 : 2, request, result);
  } else {
    if (!read_soil_type_map(ms)) return;
    request.soil_ids = &s.soiltype;
    request.grid = &ms.grid;
    request.soil_map_name = ms.project.soil_type_map.view();
    largest = read_soil_hydraulic_table(s.soil_layer_table_file, ms.project.soil_layer_input_file.view(), request,
                                        s.soil_classes(), result);
    close_guarded_file(s.soil_layer_table_file);
  }
  if (largest < 0 || stopped()) return;
  // Over a water table a column may reach down to the aquifer bottom (a
  // table held where its map puts it: one node below the table).
  if (ms.groundwater.water_table_given) {
    groundwater_state& g = ms.groundwater;
    for (int c = 1; c <= n; ++c) {
      const soil_column_layers l = column_layers(s.soil_classes()[s.soiltype[c]], g.aquifer_delta_z);
      const double below = ms.grid.elevation[c] - (l.thickness[0] + l.thickness[1] + l.thickness[2]) / 100.0 -
                           g.bottom_elev[c];
      const int nodes = l.last_node[2] + static_cast<int>(std::ceil(std::max(below, 0.0) * 100.0 / l.aquifer_spacing)) + 4;
      largest = std::max(largest, nodes);
    }
    if (g.gw_simulation) g.column_scratch.prepare(largest);
    if (g.yes_exfil.size() != n) g.yes_exfil.alloc(n);
    g.any_exfil = 0;
  }
  s.max_soil_layers = largest;
  if (!ms.project.super_quiet) std::printf("   Done\n");

  for (int c = 1; c <= n; ++c) s.numcells[c] = result.cell_nodes[c];
  alloc_2d_double(n, largest, s.THETA, "THETA");
  alloc_2d_double(n, largest, s.DZ, "DZ");
  s.richards.alloc(n, largest);
  s.richards_kernel.prepare(largest);
  // The roots reach the soil-moisture depth, or with Penman-Monteith the
  // vegetation height when that is less.
  ensure_cells(s.root_depth, n);
  const bool penman = ms.clock.long_term && ms.hydromet.et_calc_penman && !ms.hydromet.veg.empty();
  for (int c = 1; c <= n; ++c)
    s.root_depth[c] = penman ? std::min(ms.hydromet.veg[c], s.soil_moist_depth / 100.0) : s.soil_moist_depth / 100.0;

  input_report(ms, console_rule::unless_silent, "Initialize Richards Params");
  if (!richards_init_columns(ms, result)) return;
  for (int c = 1; c <= n; ++c) {
    s.dtr[c] = ms.clock.base_dt / 3600.0;
    s.surface_moisture[c] = s.THETA(c, 1);
  }
  if (!ms.project.super_quiet) std::printf("   Done\n");
}

// ---- Groundwater.

// Static fluxes of boundary cells: a count, then lines of a row, a column
// and a flux in m3 per day.
bool read_static_flux_table(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  const std::string name(ms.project.gw_fluxboundtable.view());
  guarded_file f;
  if (!open_input_file(f, name)) {
    std::printf("Can't open static flux table file: %s\n", name.c_str());
    stop_with_own_message();
    return false;
  }
  ensure_cells(g.gw_static_flux, ms.grid.ncells);
  card_line line;
  int line_no = 0;
  auto refuse = [&](const char* what) {
    std::printf("Error: line %d of the static flux table file %s %s\n", line_no, name.c_str(), what);
    stop_with_own_message();
    return false;
  };
  int count = 0;
  std::string token;
  if (!read_line(line, f) || (++line_no, !next_token(line, token)) || !whole_token_int(token, count) || count < 0)
    return refuse("does not give the number of flux cells (a whole number from 0)");
  g.gw_static_flux_count = count;
  const double area = ms.grid.grid_size * ms.grid.grid_size;
  std::vector<int> given;  // the cells of the lines read
  for (int k = 1; k <= count; ++k) {
    if (!read_line(line, f)) return refuse("ends the file before all its flux cells are read");
    ++line_no;
    std::string r, c, q;
    int row = 0, col = 0;
    double flux = 0.0;
    if (!next_token(line, r) || !next_token(line, c) || !next_token(line, q) || !whole_token_int(r, row) ||
        !whole_token_int(c, col) || !whole_token_double(q, flux) || !std::isfinite(flux))
      return refuse("is not a flux cell line: a row, a column and a flux in m3 per day");
    if (row < 1 || row > ms.grid.rows || col < 1 || col > ms.grid.cols || ms.grid.mask[row][col] == 0)
      return refuse("names a position that is not a cell of the watershed");
    // The flux of a well, m3 per day, within the rates a well can pump.
    static constexpr value_range daily_flux = from_to(pumped_rate.lo * 86400.0, pumped_rate.hi * 86400.0, "m3/day");
    if (!daily_flux.contains(flux)) {
      char text[160];
      std::snprintf(text, sizeof text, "gives the flux %g; it takes %s", flux, daily_flux.describe().c_str());
      return refuse(text);
    }
    const int cell = ms.grid.mask[row][col];
    if (std::find(given.begin(), given.end(), cell) != given.end())
      return refuse("names a cell that an earlier line gave its flux");
    given.push_back(cell);
    g.gw_static_flux[cell] = flux / 86400.0 / area;
  }
  // A flux cell beyond the count would be left unread.
  while (read_line(line, f)) {
    ++line_no;
    if (line.rest().find_first_not_of(" \t\r") != std::string_view::npos)
      return refuse("holds a flux cell beyond the count of the first line");
  }
  return true;
}

// The locations of the well-level output: a count, then row and column
// pairs.
bool read_well_locations(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  int_token_reader in(g.well_location_file, ms.project.out_well_location.view());
  auto next = [&](int& v) {
    const int got = in.next(v);
    if (got == 1) return true;
    if (got == 0)
      std::printf("Error: the well location file %s ends at line %d\n", in.name().c_str(), in.line());
    else
      std::printf("Error: line %d of the well location file %s holds a value that is not a whole number\n",
                  in.line(), in.name().c_str());
    stop_with_own_message();
    return false;
  };
  int count = 0;
  if (!next(count)) return false;
  if (count < 0) {
    std::printf("Error: the well location file %s gives a negative count\n", in.name().c_str());
    stop_with_own_message();
    return false;
  }
  g.num_wells = count;
  alloc_1d_int(g.well_row, count + 1, "well_row");
  alloc_1d_int(g.well_column, count + 1, "well_column");
  for (int k = 1; k <= count; ++k) {
    if (!next(g.well_row[k]) || !next(g.well_column[k])) return false;
    if (!check_grid_position(g.well_row[k], g.well_column[k], ms.grid.rows, ms.grid.cols, in)) return false;
  }
  if (!in.at_end()) {
    std::printf("Error: line %d of the well location file %s holds more than the %d wells its first value counts\n",
                in.line(), in.name().c_str(), count);
    stop_with_own_message();
    return false;
  }
  close_guarded_file(g.well_location_file);
  return true;
}

}  // namespace

void init_wetlands(model_state& ms) {
  if (!ms.lake.wetlands_on) return;
  if (!read_cmt_wetlands(ms)) return;
  // A wetland's bottom lies its offset below the ground of the elevation
  // map. The ground is lowered once, here, before the slopes and every
  // other reader take it, so that every event and every process sees the
  // same ground. The wetland holds its water from the start of the run (a
  // hotstart or an initial water surface read later replaces it); each
  // event then starts with the wetland's water on it again.
  lake_state& lake = ms.lake;
  if (!lake.wetland_mask.empty())
    for (int c = 1; c <= ms.grid.ncells; ++c)
      if (const int w = lake.wetland_mask[c]; wetland_cell(w)) {
        ms.grid.elevation[c] -= lake.wetland_props[w][wetland_prop::ground_offset];
        ms.overland.ov_depth[c] = lake.wetland_props[w][wetland_prop::water_depth];
      }
  elevation_range(ms);  // the elevation bands reach down to the wetlands' bottoms
  input_report(ms, console_rule::unless_silent, "Simulating wetlands\n");
}

namespace {

// Every boundary cell's condition can be applied: a type the boundaries
// know, a slope above 0 for normal depth, a series of the TIME_SERIES_INDEX
// table for levels and discharges, a rating curve that gives no negative
// discharge. False after a message naming the cell: the run stops.
bool check_overland_boundaries(const overland_state& o, int n) {
  auto fault = [](int c, const std::string& what) {
    std::printf("Error: overland boundary cell %d of the OVERLAND_BOUNDARY table %s\n", c, what.c_str());
    stop_with_own_message();
    return false;
  };
  for (int c = 1; c <= n; ++c) {
    const int t = o.boundary_type[c];
    const double v = o.ov_bc_value[c];
    // A type between two codes is no code at all.
    if (!o.ov_bc_type_value.empty() && o.ov_bc_type_value[c] != static_cast<double>(t))
      return fault(c, "gives the boundary type " + std::to_string(o.ov_bc_type_value[c]) +
                          ", which is none of 0 to 7 and 99");
    switch (t) {
      case boundary::none: case boundary::rating_receiver: case boundary::fixed_level: break;
      case boundary::normal_depth:
        if (!(v > 0.0)) return fault(c, "gives normal-depth outflow (type 1) a slope of " + std::to_string(v) +
                                            ": it takes a slope above 0");
        break;
      case boundary::level_series: case boundary::discharge_cfs: case boundary::discharge_cms: {
        const int id = static_cast<int>(v);
        bool found = false;
        for (const ts_index_entry& e : process.ts_id_list) found = found || (e.id == id && e.series);
        if (!found)
          return fault(c, "asks for the time series " + std::to_string(id) +
                              ", which the TIME_SERIES_INDEX table of the mapping table does not give");
        break;
      }
      case boundary::rating_exchange: case boundary::rating_outflow: {
        const elevation_series* es = elev_series_number(o.ov_bc_rating_series[c]);
        if (es && std::any_of(es->y.begin(), es->y.end(), [](double y) { return y < 0.0; }))
          return fault(c, "has the rating curve [" + es->name + "], which gives a negative discharge");
        break;
      }
      default:
        return fault(c, "gives the boundary type " + std::to_string(t) +
                            ", which is none of 0 to 7 and 99");
    }
  }
  return true;
}

}  // namespace

void init_overland_boundary(model_state& ms) {
  overland_state& o = ms.overland;
  if (!o.ov_boundary) return;
  const int n = ms.grid.ncells;
  ensure_cells(o.ov_bc_type_value, n);
  ensure_cells(o.ov_bc_value, n);
  if (o.boundary_type.size() != n) o.boundary_type.alloc(n);
  if (!table_present(ms, cmt_overland_boundary) && !o.xy_ov_boundary) {
    set_error(84);
    report_error();
    return;
  }
  // Boundaries from XY points alone need no table (init_xy_boundary_inputs).
  if (table_present(ms, cmt_overland_boundary)) {
    if (!read_cmt_table(ms, cmt_code_overland_boundary, {&o.ov_bc_type_value, &o.ov_bc_value})) return;
    bool rating = false;
    for (int c = 1; c <= n; ++c) {
      o.boundary_type[c] = static_cast<int>(o.ov_bc_type_value[c]);
      if (boundary::rates_by_curve(o.boundary_type[c])) rating = true;
    }
    if (rating && !read_cmt_ratingcurves(ms.project.mapping_table.view(), o.boundary_type, o.ov_bc_value,
                                         [](std::string_view name) { return elev_series_index(std::string(name)); },
                                         o.ov_bc_rating_series))
      return;
    if (!check_overland_boundaries(o, n)) return;
  }
  o.bc_value.alloc(n);
  o.bc_levels_set = 0;
}

void read_infiltration_maps(model_state& ms) {
  soil_state& s = ms.soil;
  if (!(s.green_ampt || s.inf_redist || s.inf_layered_soil || s.inf_richards)) {
    // Without a soil the table still feeds and drains the streams.
    if (!ms.groundwater.gw_simulation) read_water_table_maps(ms);
    return;
  }
  if (!read_area_reduction_map(ms)) return;
  std::string porosity_origin;
  if ((s.green_ampt || s.inf_redist) && !read_green_ampt_maps(ms, porosity_origin)) return;
  // The initial water content, within the porosity; the infiltration
  // set-up starts the surface and the fronts from it.
  read_initial_moisture(ms, porosity_origin);
  if (stopped()) return;
  if (s.inf_layered_soil && !read_layered_soil(ms)) return;
  read_water_table_maps(ms);
  if (stopped()) return;
  init_richards_soil(ms);
  if (stopped()) return;
}

void read_groundwater_maps(model_state& ms) {
  groundwater_state& g = ms.groundwater;
  if (!g.gw_simulation) return;
  const int n = ms.grid.ncells;
  const bool infiltration = ms.soil.green_ampt || ms.soil.inf_redist || ms.soil.inf_layered_soil || ms.soil.inf_richards;
  if (!infiltration) {
    read_water_table_maps(ms);
    if (stopped()) return;
  }

  // Boundary codes of the cells.
  if (g.gwbound.size() != n) g.gwbound.alloc(n);
  if (g.gw_boundfile_given) {
    const std::string_view name = ms.project.gw_boundfile.view();
    report_two_ways(ms, with_name("reading the groundwater boundary file: %s\n", name),
                    with_name("reading groundwater boundary file: %s\n", name));
    read_index_cell_map(ms.grid, g.gw_boundary_file, name, g.gwbound, ms.project.optimizer_mode);
    close_guarded_file(g.gw_boundary_file);
    if (stopped()) return;
  } else {
    report_two_ways(ms, "reading the groundwater boundary file from the mapping table\n",
                    "reading groundwater boundary file from the mapping table\n");
    array1d<double> codes(n);
    if (!read_cmt_table(ms, cmt_code_gw_boundary, {&codes})) return;
    for (int c = 1; c <= n; ++c) g.gwbound[c] = static_cast<int>(codes[c]);
  }

  // Wells and static fluxes.
  if (g.use_wells) {
    g.use_wells_on = 1;
    input_report(ms, console_rule::unless_quiet, "reading well map from the master table file\n");
    if (!read_cmt_wells(ms)) return;
  } else {
    g.gw_static_flux_count = g.gw_dynamic_well_count = 0;
    for (int c = 1; c <= n; ++c) {
      if (g.gwbound[c] == aquifer_cell::static_flux) ++g.gw_static_flux_count;
      if (g.gwbound[c] == aquifer_cell::dynamic_well) ++g.gw_dynamic_well_count;
    }
    if ((g.gw_static_flux_count > 0 || g.gw_fluxboundtable_given) && !read_static_flux_table(ms)) return;
    if (g.gw_dynamic_well_count > 0) {
      // A code-3 cell pumps only as a well of the mapping table: without
      // it the code would be read and then ignored.
      int first = 1;
      while (first < n && g.gwbound[first] != aquifer_cell::dynamic_well) ++first;
      const int row = ms.grid.cell_row.count() >= first ? ms.grid.cell_row[first] : 0;
      const int col = ms.grid.cell_col.count() >= first ? ms.grid.cell_col[first] : 0;
      std::printf("Error: the groundwater boundary codes give %d cell(s) code 3, a well of the mapping table's "
                  "WELL_TABLE (the first at row %d, column %d), but the project does not use the wells: give the "
                  "USE_WELLS card with a WELL_TABLE, or another code.\n",
                  g.gw_dynamic_well_count, row, col);
      stop_with_own_message();
      return;
    }
  }

  // Aquifer conductivity (cm/h) and porosity: a map, the GROUNDWATER table
  // (both columns at once), a uniform value.
  ensure_cells(g.gw_hyd_cond, n);
  ensure_cells(g.gw_porosity, n);
  const bool gw_table = table_present(ms, cmt_groundwater);
  const bool hycond_map = g.gw_hycond_map_given && g.gw_hycond_file.is_open();
  const bool porosity_map = g.gw_porosity_map_given && g.gw_porosity_file.is_open();
  if (gw_table && (!hycond_map || !porosity_map)) {
    // The table's porosity is wanted even when the conductivity has a map.
    array1d<double> table_k(n), table_porosity(n);
    if (!read_cmt_table(ms, cmt_code_groundwater, {&table_k, &table_porosity})) return;
    for (int c = 1; c <= n; ++c) {
      g.gw_hyd_cond[c] = table_k[c];
      g.gw_porosity[c] = table_porosity[c];
    }
  }
  if (hycond_map) {
    const std::string_view name = ms.project.gw_hycond_map.view();
    report_two_ways(ms, with_name("reading ground water hydraulic conductivity map from file: %s\n", name),
                    with_name("reading hyd. cond. map from file: %s\n", name));
    read_cell_map(ms.grid, g.gw_hycond_file, name, g.gw_hyd_cond, ms.project.optimizer_mode, from_to(0, 1e6, "cm/h"));
    close_guarded_file(g.gw_hycond_file);
    if (stopped()) return;
  } else if (gw_table) {
    report_two_ways(ms, "reading ground water hydraulic conductivity map from the master table file\n",
                    "reading hyd. cond. map from the master table file\n");
  } else if (g.gw_unif_hycond_given) {
    g.gw_hyd_cond.fill(g.gw_unif_hycond);
  } else {
    set_error(126);
    report_error();
    return;
  }
  if (ms.soil.inf_richards) {
    // Under Richards columns the aquifer holds at the table what the soil
    // does: its storage coefficient is the saturated water content of the
    // third layer of the cell's soil class.
    if (porosity_map || g.gw_unif_porosity_given) {
      std::printf("Error: under Richards columns (INF_RICHARDS) the aquifer's storage coefficient is the saturated "
                  "water content of the third layer of the soil table; the %s card gives none\n",
                  porosity_map ? "GW_POROSITY_MAP" : "GW_UNIF_POROSITY");
      stop_with_own_message();
      return;
    }
    for (int c = 1; c <= n; ++c) g.gw_porosity[c] = ms.soil.soil_classes()[ms.soil.soiltype[c]].porosity(3);
  } else if (porosity_map) {
    const std::string_view name = ms.project.gw_porosity_map.view();
    report_two_ways(ms, with_name("reading ground water porosity map from file: %s\n", name),
                    with_name("reading porosity map from file: %s\n", name));
    read_cell_map(ms.grid, g.gw_porosity_file, name, g.gw_porosity, ms.project.optimizer_mode, above_to(0, 1));
    close_guarded_file(g.gw_porosity_file);
    if (stopped()) return;
  } else if (gw_table) {
    report_two_ways(ms, "reading ground water porosity map from the master table file\n",
                    "reading porosity map from the master table file\n");
  } else if (g.gw_unif_porosity_given) {
    g.gw_porosity.fill(g.gw_unif_porosity);
  } else {
    std::printf("Error: the groundwater porosity has no source: give the GW_POROSITY_MAP or GW_UNIF_POROSITY "
                "card or a GROUNDWATER table in the mapping table\n");
    stop_with_own_message();
    return;
  }
  for (auto* a : {&g.gw_hyd_cond_old, &g.gw_porosity_old, &g.gw_cell_dx, &g.gw_cell_dy}) ensure_cells(*a, n);
  for (int c = 1; c <= n; ++c) {
    g.gw_hyd_cond[c] = g.gw_hyd_cond[c] / 100.0 / 3600.0;  // cm/h to m/s
    g.gw_hyd_cond_old[c] = g.gw_hyd_cond[c];
    g.gw_cell_dx[c] = g.gw_cell_dy[c] = ms.grid.grid_size;
    g.gw_porosity_old[c] = g.gw_porosity[c];
  }
  if (ms.output.gw_well_level_given && !read_well_locations(ms)) return;
}

// The albedo and Penman-Monteith parameters of a long-term run, each from
// its map or the mapping table's evapotranspiration table.
void read_et_parameter_maps(model_state& ms) {
  hydromet_state& h = ms.hydromet;
  const int n = ms.grid.ncells;
  const bool et_table = table_present(ms, cmt_evapotranspiration);
  if (ms.clock.long_term) {
    if (et_table && !read_cmt_table(ms, cmt_code_evapotranspiration,
                                    {if_made(h.albedo_cell, n), if_made(h.veg, n), if_made(h.Kt, n), if_made(h.Rs, n)}))
      return;
    if (h.albedo_given) {
      ensure_cells(h.albedo_cell, n);
      if (read_parameter_map(ms, h.albedo_file, ms.project.albedo.view(), h.albedo_cell, from_to(0, 1),
                             "reading albedo map from file: %s\n",
                             "reading albedo table and map from the master table file\n") ==
          parameter_source::stopped)
        return;
      ensure_cells(h.albedo_w_snow, n);
      for (int c = 1; c <= n; ++c) h.albedo_w_snow[c] = h.albedo_cell[c];
    }
    if (h.et_calc_penman) {
      struct parameter {
        int given;
        guarded_file& file;
        const file_name_text& name;
        array1d<double>& values;
        value_range range;
        const char* map_line;
        const char* table_line;
      } const parameters[] = {
          {h.vheight_given, h.veg_height_file, ms.project.vheight, h.veg, from_to(0, 200, "m"),
           "reading vegetation-height map from file: %s\n",
           "reading vegetation-height table and map from the master table file\n"},
          {h.tcoeff_given, h.trans_coeff_file, ms.project.tcoeff, h.Kt, from_to(0, 1),
           "reading transmission-coefficient map from file: %s\n",
           "reading transmission-coefficient table and map from the master table file\n"},
          {h.canopy_given, h.canopy_resist_file, ms.project.canopy, h.Rs, from_to(0, 1e6, "s/m"),
           "reading canopy resistance map from file: %s\n",
           "reading canopy resistance table and map from the master table file\n"},
          {h.wilting_point_given, h.wilting_point_file, ms.project.wilting_point, ms.soil.wilting_point_cell,
           from_to(0, 1), "reading wilting point map from file: %s\n",
           "reading wilting point table and map from the master table file\n"},
      };
      for (const parameter& p : parameters) {
        if (!p.given) continue;
        ensure_cells(p.values, n);
        if (read_parameter_map(ms, p.file, p.name.view(), p.values, p.range, p.map_line, p.table_line) ==
            parameter_source::stopped)
          return;
      }
    }
  }
}

}  // namespace nivra
