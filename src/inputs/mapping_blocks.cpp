#include "inputs/mapping_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/errors.h"
#include "core/process.h"
#include "core/time_series.h"
#include "core/tokens.h"
#include "groundwater/groundwater_state.h"
#include "inputs/grid_state.h"
#include "inputs/mapping_table.h"
#include "maps/grid_map.h"
#include "maps/input_report.h"
#include "surface/boundary_codes.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"

namespace nivra {

namespace {

bool stopped() { return process.error_block.stop != 0; }

// A message naming the mapping table file and a line; stops the run.
void refuse_line(const cmt_file& f, int line, const char* what) {
  std::printf("Error: line %d of the mapping table file %s %s\n", line, f.name().c_str(), what);
  stop_with_own_message();
}

// The table of a code of the project's mapping table: its rows and the
// IDs of its index map per cell (none with skip_index_maps). False when
// the run stopped.
bool read_table_and_map(model_state& ms, int code, int n_values, cmt_rows& rows, array1d<int>& cell_ids,
                        bool& map_read, index_map_position* outside = nullptr,
                        std::string* map_name = nullptr) {
  cmt_file f;
  int n = 0;
  if (!cmt_open_table(ms.project.mapping_table.view(), f, code, n)) return false;
  f.skip_to_rows();
  if (!read_cmt_rows(f, code, n, n_values, rows)) return false;
  map_read = !ms.output.skip_index_maps;
  if (map_name) *map_name = f.card_map()->file;
  return !map_read || read_index_map(ms, f.card_map()->file, rows.largest_id, cell_ids, outside);
}

// The position of a cell for messages.
void cell_position(const grid_state& grid, int cell, int& row, int& col) {
  row = grid.cell_row.count() >= cell ? grid.cell_row[cell] : 0;
  col = grid.cell_col.count() >= cell ? grid.cell_col[cell] : 0;
}

// The row (0-based) of an ID: the last row that has it, -1 for none.
int row_of_id(const cmt_rows& rows, int id) {
  for (int r = rows.count - 1; r >= 0; --r)
    if (rows.ids[static_cast<std::size_t>(r)] == id) return r;
  return -1;
}

}  // namespace

// ---- Sediment classes.

int read_cmt_sediments(std::string_view table_file, sediment_classes& out) {
  out = sediment_classes{};
  cmt_file f;
  if (!f.open_or_report(table_file)) return 0;
  const int head = f.read_head();
  if (head < 0) return 0;
  if (head == 0 || !f.find_card(cmt_code_sediments)) return 1;
  const int n = f.read_count(cmt_code_num_sed);
  if (stopped()) return 0;
  if (n == 0) return 1;
  out.spec_grav.alloc(n);
  out.part_diam.alloc(n);
  out.f_bind.alloc(n);
  out.output_filename.assign(static_cast<std::size_t>(n) + 1, std::string());
  f.next_line();  // the column header
  const value_range ranges[3] = {above_to(1, 30), above_to(0, 1e4, "mm"), from_to(0, 1)};
  const char* names[3] = {"specific gravity", "particle diameter", "binding fraction"};
  for (int k = 1; k <= n; ++k) {
    if (!f.next_line()) {
      refuse_line(f, f.line_no(), "ends the SEDIMENTS table before all its classes are read");
      return 0;
    }
    card_line cl(f.line().size() > 40 ? f.line().substr(40) : std::string());
    double* dest[3] = {&out.spec_grav[k], &out.part_diam[k], &out.f_bind[k]};
    for (int v = 0; v < 3; ++v) {
      std::string token;
      if (!next_token(cl, token) || !whole_token_double(token, *dest[v]) || !ranges[v].contains(*dest[v])) {
        char text[256];
        std::snprintf(text, sizeof text, "holds \"%s\" as the %s of sediment class %d; it takes %s", token.c_str(),
                      names[v], k, ranges[v].describe().c_str());
        refuse_line(f, f.line_no(), text);
        return 0;
      }
    }
    if (!next_token(cl, out.output_filename[static_cast<std::size_t>(k)])) {
      refuse_line(f, f.line_no(), "holds no output file name for its sediment class");
      return 0;
    }
  }
  out.count = n;
  return 1;
}

// ---- Erosion properties per sediment class.

int read_cmt_erosion(model_state& ms, const std::array<array1d<double>*, 5>& destinations, int n_sed_classes,
                     array2d<double>& class_values) {
  if (!ms.grid.ts_index_read && !read_ts_index_table(ms)) return 0;
  // The count of classes follows the NUM_IDS line; the rows hold five
  // values and one per class.
  cmt_file f;
  int n = 0;
  if (!cmt_open_table(ms.project.mapping_table.view(), f, cmt_code_soil_erosion, n)) return 0;
  const int m = f.read_count(cmt_code_num_sed);
  if (stopped()) return 0;
  if (m != n_sed_classes) {
    set_error(91, "", "", n_sed_classes, m);
    report_error();
    return 0;
  }
  f.skip_to_rows();
  cmt_rows rows;
  if (!read_cmt_rows(f, cmt_code_soil_erosion, n, 5 + m, rows)) return 0;
  if (ms.output.skip_index_maps) return 1;
  array1d<int> cell_ids;
  if (!read_index_map(ms, f.card_map()->file, rows.largest_id, cell_ids)) return 0;
  const int cells = ms.grid.ncells;
  std::vector<double> lookup;
  for (int c = 1; c <= 5; ++c) {
    array1d<double>* dest = destinations[static_cast<std::size_t>(c - 1)];
    if (!dest) continue;
    if (dest->size() < cells) dest->alloc(cells);
    cmt_column_lookup(rows, c, lookup);
    fill_cells_from_ids(lookup, cell_ids, *dest);
  }
  class_values.alloc(cells, m > 0 ? m : 1);
  for (int k = 1; k <= m; ++k) {
    cmt_column_lookup(rows, 5 + k, lookup);
    for (int cell = 1; cell <= cells; ++cell) class_values[cell][k] = lookup[static_cast<std::size_t>(cell_ids[cell])];
  }
  return 1;
}

// ---- Wells.

int read_cmt_wells(model_state& ms) {
  if (!ms.grid.ts_index_read && !read_ts_index_table(ms)) return 0;
  cmt_rows rows;
  array1d<int> cell_ids;
  bool map_read = false;
  index_map_position outside;
  std::string map_name;
  if (!read_table_and_map(ms, cmt_code_well_table, 3, rows, cell_ids, map_read, &outside, &map_name)) return 0;
  std::vector<well_entry>& wells = ms.groundwater.well_list;
  wells.clear();
  if (!map_read) return 1;
  if (outside.id != 0) {
    std::printf("Error: the well index map %s places the well %d at row %d, column %d, outside the watershed\n",
                map_name.c_str(), outside.id, outside.row, outside.col);
    stop_with_own_message();
    return 0;
  }
  for (int cell = 1; cell <= ms.grid.ncells; ++cell) {
    const int id = cell_ids[cell];
    if (id == 0) continue;
    const int r = row_of_id(rows, id);
    if (r < 0) {
      int row = 0, col = 0;
      cell_position(ms.grid, cell, row, col);
      std::printf("Error: A well was found in the index map (cell [%d,%d]) that \n  was not found in the well "
                  "table.\n",
                  row, col);
      stop_with_own_message();
      return 0;
    }
    const double kind = rows.value(r, 1), second = rows.value(r, 2);
    // Value 1 is a whole number: 0 for a constant rate (value 2, m3/s), else
    // value 2 is the id of the rate's series; no rate beyond what a well
    // can pump.
    const int line = rows.first_line + r;
    if (!(kind >= 0.0 && kind <= 1e9 && kind == std::floor(kind))) {
      std::printf("Error: line %d of the mapping table file %s gives the well %d the kind %g; it takes 0 for a "
                  "constant rate or a whole number above 0 for a rate from a time series.\n",
                  line, ms.project.mapping_table.c_str(), id, kind);
      stop_with_own_message();
      return 0;
    }
    if (kind == 0.0 && !pumped_rate.contains(second)) {
      std::printf("Error: line %d of the mapping table file %s gives the well %d the rate %g; it takes %s.\n", line,
                  ms.project.mapping_table.c_str(), id, second, pumped_rate.describe().c_str());
      stop_with_own_message();
      return 0;
    }
    if (kind != 0.0 && ts_index_holds(static_cast<int>(second))) {
      const time_series* ts = ts_by_id(static_cast<int>(second));
      for (double v : ts->values)
        if (!pumped_rate.contains(v)) {
          std::printf("Error: the time series %s (id %d) of the well %d gives the rate %g; it takes %s.\n",
                      ts->name.c_str(), static_cast<int>(second), id, v, pumped_rate.describe().c_str());
          stop_with_own_message();
          return 0;
        }
    }
    if (kind != 0.0 && !ts_index_holds(static_cast<int>(second))) {
      std::printf("Error: the well %d of the WELL_TABLE takes its rate from the time series %d, which the "
                  "TIME_SERIES_INDEX table does not hold\n",
                  id, static_cast<int>(second));
      stop_with_own_message();
      return 0;
    }
    well_entry w;
    w.id = cell;
    w.kind = static_cast<long long>(kind);
    w.rate = kind == 0.0 ? second : 0.0;
    w.series_id = kind != 0.0 ? static_cast<int>(second) : 0;
    wells.push_back(w);
  }
  // Each placed well goes to the head of the list.
  std::reverse(wells.begin(), wells.end());
  return 1;
}

// ---- Wetlands.

int read_cmt_wetlands(model_state& ms) {
  cmt_file f;
  int n = 0;
  if (!cmt_open_table(ms.project.mapping_table.view(), f, cmt_code_wetlands, n)) return 0;
  f.skip_to_rows();
  cmt_rows rows;
  if (!read_cmt_rows(f, cmt_code_wetlands, n, 7, rows)) return 0;
  // The water above the layer flows by Manning's formula: its n must be
  // positive.
  for (int r = 0; r < rows.count; ++r)
    if (!(rows.value(r, 6) > 0.0)) {
      refuse_line(f, rows.first_line + r, "gives the wetland a Manning n (the sixth value) that is not above 0");
      return 0;
    }
  if (ms.output.skip_index_maps) return 1;
  const std::string map_file = f.card_map()->file;
  array1d<int> cell_ids;
  if (!read_index_map(ms, map_file, rows.largest_id, cell_ids)) return 0;

  // Wetland numbers in the order the IDs first appear in the map.
  const int cells = ms.grid.ncells;
  std::vector<int> number(static_cast<std::size_t>(rows.largest_id) + 1, 0);
  int distinct = 0, largest = 0;
  for (int cell = 1; cell <= cells; ++cell) {
    const int id = cell_ids[cell];
    if (id > largest) largest = id;
    if (id >= 1 && number[static_cast<std::size_t>(id)] == 0) number[static_cast<std::size_t>(id)] = ++distinct;
  }
  if (distinct != n) {
    set_error(67, "", "", distinct, n);
    report_error();
    return 0;
  }
  ms.lake.wetland_count = n;
  if (largest > 300) {
    set_error(68);
    report_error();
    return 0;
  }
  // Every row's ID is in the map and every ID of the map has a row.
  for (int r = 0; r < rows.count; ++r)
    if (number[static_cast<std::size_t>(rows.ids[static_cast<std::size_t>(r)])] == 0) {
      char text[200];
      std::snprintf(text, sizeof text, "gives the wetland %d, which the index map %s does not hold",
                    rows.ids[static_cast<std::size_t>(r)], map_file.c_str());
      refuse_line(f, rows.first_line + r, text);
      return 0;
    }
  for (int cell = 1; cell <= cells; ++cell) {
    const int id = cell_ids[cell];
    if (id == 0 || row_of_id(rows, id) >= 0) continue;
    int row = 0, col = 0;
    cell_position(ms.grid, cell, row, col);
    std::printf("Error: the index map %s gives the cell at row %d, column %d the wetland %d, which the "
                "WETLAND_PROPERTIES table of %s does not hold\n",
                map_file.c_str(), row, col, id, f.name().c_str());
    stop_with_own_message();
    return 0;
  }

  array2d<double>& props = ms.lake.wetland_props;
  props.alloc(largest > 0 ? largest : 1, 8);
  for (int r = 0; r < rows.count; ++r) {
    const int w = number[static_cast<std::size_t>(rows.ids[static_cast<std::size_t>(r)])];
    namespace wp = wetland_prop;
    props[w][wp::water_depth] = rows.value(r, 1) / 1000.0;  // mm to m
    props[w][wp::layer_thickness] = rows.value(r, 2) / 1000.0;
    props[w][wp::layer_conductivity] = rows.value(r, 3) / 86400.0;  // per day to per second
    props[w][wp::transition_depth] = rows.value(r, 4) / 1000.0;
    props[w][wp::linear_coef] = rows.value(r, 5) / 86400.0;
    props[w][wp::manning_n] = rows.value(r, 6);
    props[w][wp::ground_offset] = rows.value(r, 7) / 1000.0;
  }
  if (ms.lake.wetland_mask.size() != cells) ms.lake.wetland_mask.alloc(cells);
  for (int cell = 1; cell <= cells; ++cell) ms.lake.wetland_mask[cell] = number[static_cast<std::size_t>(cell_ids[cell])];
  return 1;
}

// ---- Contaminants.

int read_cmt_contaminants(model_state& ms, contaminant_tables& out) {
  out = contaminant_tables{};
  const bool quiet = ms.project.optimizer_mode != 0;
  cmt_file f;
  if (!f.open_or_report(ms.project.mapping_table.view())) return 0;
  const int head = f.read_head();
  if (head < 0) return 0;
  input_report(ms, console_rule::unless_quiet, "\nReading contaminant table...  ");
  if (head == 0 || !f.find_card(cmt_code_contaminants)) {
    set_error(69);
    report_error();
    return 0;
  }
  const int n = f.read_count(cmt_code_num_contam);
  if (stopped()) return 0;
  out.count = n;
  input_report(ms, console_rule::unless_quiet, "%d contaminants found\n", n);
  if (n == 0) return 1;

  const int cells = ms.grid.ncells;
  out.descriptions.assign(static_cast<std::size_t>(n) + 1, std::string());
  out.output_filenames.assign(static_cast<std::size_t>(n) + 1, std::string());
  out.index_map_filenames.assign(static_cast<std::size_t>(n) + 1, std::string());
  for (auto& column : out.columns) column.alloc(n, cells);

  // A value line: the word, then one finite number.
  auto value_line = [&](int code, std::vector<double>& list, int i) {
    double v = 0.0;
    std::string_view token;
    card_line cl(f.line());
    std::string word;
    next_token(cl, word);
    if (f.line_code() == code && next_number_token(cl, token, v) == 1 && std::isfinite(v)) {
      list.push_back(v);
      return true;
    }
    if (code == cmt_code_precip_conc) std::printf("Error in reading the precip concentration of constituent #%d\n", i);
    char text[160];
    std::snprintf(text, sizeof text, "is not the %s line of contaminant %d (the word and one number)",
                  cmt_card_name(code), i);
    refuse_line(f, f.line_no(), text);
    return false;
  };

  for (int i = 1; i <= n; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    if (!f.next_line() || std::count(f.line().begin(), f.line().end(), '"') < 6) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "is not the line of contaminant %d: its description, index map name and output file name, "
                    "each in double quotes", i);
      refuse_line(f, f.line_no(), text);
      return 0;
    }
    std::string text = f.line(), map_name;
    split_quoted(text, out.descriptions[k]);
    split_quoted(text, map_name);
    split_quoted(text, out.output_filenames[k]);
    erase_quotes(out.descriptions[k]);
    erase_quotes(out.output_filenames[k]);
    const int quoted_line = f.line_no();
    if (!f.next_line() || !value_line(cmt_code_precip_conc, out.precip_conc, i)) return 0;
    if (!f.next_line() || !value_line(cmt_code_partition, out.partition, i)) return 0;
    if (!quiet) {
      const int dots = 35 - static_cast<int>(out.descriptions[k].size());
      std::printf("  Checking %s%s", out.descriptions[k].c_str(),
                  dots > 0 ? std::string(static_cast<std::size_t>(dots), '.').c_str() : "");
    }
    const cmt_index_map* map = f.find_map(map_name);
    if (!map) {
      if (!quiet) std::printf("unable to match index map\n");
      char why[200];
      std::snprintf(why, sizeof why, "names the index map %s for contaminant %d, which no INDEX_MAP line lists",
                    map_name.c_str(), i);
      refuse_line(f, quoted_line, why);
      return 0;
    }
    out.index_map_filenames[k] = map->file;
    const int rows_n = f.read_count(cmt_code_num_ids);
    if (stopped()) return 0;
    if (rows_n == 0) {
      char why[160];
      std::snprintf(why, sizeof why, "is not a NUM_IDS line with a count above 0 for contaminant %d", i);
      refuse_line(f, f.line_no(), why);
      return 0;
    }
    f.skip_to_rows();
    cmt_rows rows;
    if (!read_cmt_rows(f, cmt_code_contaminants, rows_n, 8, rows)) return 0;
    array1d<int> cell_ids;
    guarded_file probe;
    if (!open_input_file(probe, map->file)) {
      if (!quiet) std::printf("unable to open index map file.\n");
      set_error(65, "", map->file);
      report_error();
      return 0;
    }
    close_guarded_file(probe);
    if (!read_index_map(ms, map->file, rows.largest_id, cell_ids)) return 0;
    std::vector<double> lookup;
    for (int c = 1; c <= 8; ++c) {
      cmt_column_lookup(rows, c, lookup);
      array2d<double>& column = out.columns[static_cast<std::size_t>(c - 1)];
      for (int cell = 1; cell <= cells; ++cell) column[i][cell] = lookup[static_cast<std::size_t>(cell_ids[cell])];
    }
    if (!quiet) std::printf("found and read index map\n");
  }
  return 1;
}

// ---- Soil maps of the layered soil tables.

namespace {

// Opens the table file, finds the card and reads its soil map into
// soil.soiltype. False after reporting (64, or the map's own code).
bool read_soil_map_of_block(model_state& ms, cmt_file& f, int code, int map_error) {
  if (!f.open_or_report(ms.project.mapping_table.view())) return false;
  const int head = f.read_head();
  if (head < 0) return false;
  const std::string map_file = head == 1 && f.find_card(code) && f.card_map() ? f.card_map()->file : std::string();
  guarded_file map;
  if (map_file.empty() || !open_input_file(map, map_file)) {
    set_error(map_error, "", map_file);
    report_error();
    return false;
  }
  if (ms.soil.soiltype.size() != ms.grid.ncells) ms.soil.soiltype.alloc(ms.grid.ncells);
  read_index_cell_map(ms.grid, map, map_file, ms.soil.soiltype, ms.project.optimizer_mode);
  return !stopped();
}

}  // namespace

int read_cmt_soil_layers(model_state& ms, int variant, soil_hydraulic_request request,
                         soil_hydraulic_result& result) {
  if (variant != 1 && variant != 2) return 0;
  cmt_file f;
  const int code = variant == 1 ? cmt_code_richards_brooks : cmt_code_richards_havercamp;
  if (!read_soil_map_of_block(ms, f, code, 132)) return -1;
  const std::string map_file = f.card_map()->file;
  request.form = variant == 1 ? richards_brooks_form : richards_havercamp_form;
  request.soil_ids = &ms.soil.soiltype;
  request.grid = &ms.grid;
  request.soil_map_name = map_file;
  return read_soil_hydraulic_table(f, request, ms.soil.soil_classes(), result);
}

int read_cmt_multi_layer(model_state& ms) {
  cmt_file f;
  if (!read_soil_map_of_block(ms, f, cmt_code_multi_layer_soil, 136)) return -1;
  const std::string map_file = f.card_map()->file;
  soil_class_set defined;
  const int n = read_layered_soil_table(f, ms.soil.soil_classes(), defined);
  if (n < 0) return -1;
  if (!check_cell_soil_classes(ms.grid, ms.soil.soiltype, defined, map_file, f.name())) return -1;
  return n;
}

// ---- Rating curves.

int read_cmt_ratingcurves(std::string_view table_file, const array1d<int>& boundary_type,
                          const array1d<double>& boundary_value,
                          const std::function<int(std::string_view)>& find_series, array1d<int>& series) {
  const int n_cells = boundary_type.size();
  series.alloc(n_cells);
  bool any = false;
  for (int c = 1; c <= n_cells; ++c) any = any || boundary::rates_by_curve(boundary_type[c]);
  if (!any) return 1;

  cmt_file f;
  if (!f.open_or_report(table_file)) return 0;
  const int head = f.read_head();
  if (head < 0) return 0;
  int n = 0;
  if (head == 1 && f.find_card(cmt_code_ratingcurves)) n = f.read_count(cmt_code_num_ids);
  if (stopped()) return 0;
  f.skip_to_rows();
  // The rows: an ID in columns 1 to 6 and the name of an elevation series.
  std::vector<int> ids;
  std::vector<std::string> names;
  for (int r = 1; r <= n; ++r) {
    int id = 0;
    std::string name;
    bool good = f.next_line() && cmt_row_id(f.line(), id);
    if (good) {
      card_line rest(f.line().size() > cmt_id_columns ? f.line().substr(cmt_id_columns) : std::string());
      good = next_token(rest, name);
    }
    if (!good) {
      refuse_line(f, f.line_no(), "is not a row of the RATINGCURVES table: an ID in columns 1 to 6, then the name "
                                  "of an elevation series");
      return 0;
    }
    ids.push_back(id);
    names.push_back(std::move(name));
  }
  for (int c = 1; c <= n_cells; ++c) {
    if (!boundary::rates_by_curve(boundary_type[c])) continue;
    const int wanted = static_cast<int>(boundary_value[c]);
    int found = -1;
    for (std::size_t r = 0; r < ids.size(); ++r)
      if (ids[r] == wanted) found = static_cast<int>(r);
    if (found < 0) {
      std::printf("Error: overland boundary cell %d asks for the rating curve %d, which the RATINGCURVES table of "
                  "the mapping table file %s does not hold\n",
                  c, wanted, f.name().c_str());
      stop_with_own_message();
      return 0;
    }
    series[c] = find_series(names[static_cast<std::size_t>(found)]);
    if (series[c] == 0) {
      set_error(86);
      report_error();
      return 0;
    }
  }
  return 1;
}

}  // namespace nivra
