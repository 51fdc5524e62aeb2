#include "inputs/mapping_table.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <unordered_map>

#include "core/errors.h"
#include "core/process.h"
#include "core/time_series.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"
#include "maps/grid_map.h"
#include "maps/input_report.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"

namespace nivra {

namespace {

bool stopped() { return process.error_block.stop != 0; }

struct card_word {
  int code;
  const char* word;
};

// Card words in the order of recognition: the first word a line begins
// with decides.
constexpr card_word card_words[] = {
    {cmt_code_roughness, "ROUGHNESS"},
    {cmt_code_rough_exp, "ROUGH_EXP"},
    {cmt_code_ovr_flow_block, "OVR_FLOW_BLOCK"},
    {cmt_code_interception, "INTERCEPTION"},
    {cmt_code_retention, "RETENTION"},
    {cmt_code_ga_infiltration, "GREEN_AMPT_INFILTRATION"},
    {cmt_code_ga_soil_moisture, "GREEN_AMPT_INITIAL_SOIL_MOISTURE"},
    {cmt_code_richards_havercamp, "RICHARDS_EQN_INFILTRAIION_HAVERCAMP"},
    {cmt_code_richards_brooks, "RICHARDS_EQN_INFILTRATION_BROOKS"},
    {cmt_code_evapotranspiration, "EVAPOTRANSPIRATION"},
    {cmt_code_sediments, "SEDIMENTS"},
    {cmt_code_soil_erosion, "SOIL_EROSION_PROPS"},
    {cmt_code_material_index, "MATERIAL_INDEX"},
    {cmt_code_num_ids, "NUM_IDS"},
    {cmt_code_num_contam, "NUM_CONTAM"},
    {cmt_code_num_sed, "NUM_SED"},
    {cmt_code_multi_layer_soil, "MULTI_LAYER_SOIL"},
    {cmt_code_ratingcurves, "RATINGCURVES"},
    {cmt_code_index_map, "INDEX_MAP"},
    {cmt_code_contaminants, "CONTAMINANT_TRANSPORT"},
    {cmt_code_wetlands, "WETLAND_PROPERTIES"},
    {cmt_code_overland_boundary, "OVERLAND_BOUNDARY"},
    {cmt_code_gw_boundary, "GROUNDWATER_BOUNDARY"},
    {cmt_code_time_series_index, "TIME_SERIES_INDEX"},
    {cmt_code_well_table, "WELL_TABLE"},
    {cmt_code_groundwater, "GROUNDWATER"},
    {cmt_code_area_reduction, "AREA_REDUCTION"},
    {cmt_code_nsm_n, "NSM_N"},
    {cmt_code_nsm_p, "NSM_P"},
    {cmt_code_nsm_c, "NSM_C"},
    {cmt_code_nsm_oth, "NSM_OTH"},
    {cmt_code_dispersion, "DISPERSION"},
    {cmt_code_precip_conc, "PRECIP_CONC"},
    {cmt_code_partition, "PARTITION"},
    {cmt_code_nsm_soil_c, "NSM_SOIL_C"},
    {cmt_code_nsm_soil_n, "NSM_SOIL_N"},
    {cmt_code_nsm_soil_p, "NSM_SOIL_P"},
    {cmt_code_nsm_gw_n, "NSM_GW_N"},
    {cmt_code_nsm_gw_p, "NSM_GW_P"},
    {cmt_code_nsm_gw_oth, "NSM_GW_OTH"},
    {cmt_code_nsm_soil_km, "NSM_SOIL_KM"},
    {cmt_code_nsm_soil_koc, "NSM_SOIL_KOC"},
};

// Values per row of the plain tables, by code 1..34.
constexpr int value_counts[35] = {0, 1, 2, 1, 7, 1, 9, 11, 4, 0, 5, 8, 7, 0, 2, 0, 3, 2,
                                  1, 1, 4, 3, 2, 3, 1, 2, 5, 6, 4, 4, 2, 6, 6, 1, 5};

struct checked_table {
  int code;
  const char* label;
};

// The tables of the start-up check, in the order of cmt_table_present.
constexpr checked_table checked_tables[cmt_table_count] = {
    {cmt_code_roughness, "Roughness"},
    {cmt_code_rough_exp, "Rough_exp"},
    {cmt_code_ovr_flow_block, "Ovr_flow_block"},
    {cmt_code_interception, "Interception"},
    {cmt_code_retention, "Retention"},
    {cmt_code_ga_infiltration, "G&A Infiltration"},
    {cmt_code_ga_soil_moisture, "G&A Soil Moisture"},
    {cmt_code_multi_layer_soil, "Multi layer G&A Infiltration"},
    {cmt_code_richards_havercamp, "Richards Havercamp"},
    {cmt_code_richards_brooks, "Richards Brooks"},
    {cmt_code_evapotranspiration, "Evapotranspiration"},
    {cmt_code_sediments, "Sediments"},
    {cmt_code_soil_erosion, "Sediment Erosion Properties"},
    {cmt_code_contaminants, "Contaminants"},
    {cmt_code_wetlands, "Wetlands"},
    {cmt_code_overland_boundary, "Overland Boundary"},
    {cmt_code_well_table, "Groundwater Wells"},
    {cmt_code_groundwater, "Groundwater"},
    {cmt_code_gw_boundary, "Groundwater Boundary"},
    {cmt_code_area_reduction, "Area Reduction"},
    {cmt_code_nsm_n, "NSM Nitrogen"},
    {cmt_code_nsm_p, "NSM Phosphorus"},
    {cmt_code_nsm_oth, "NSM Other"},
    {cmt_code_nsm_c, "NSM Carbon"},
    {cmt_code_dispersion, "NSM Dispersion"},
    {cmt_code_nsm_soil_c, "NSM Soil Carbon"},
    {cmt_code_nsm_soil_n, "NSM Soil Nitrogen"},
    {cmt_code_nsm_soil_p, "NSM Soil Phosphorus"},
    {cmt_code_nsm_gw_n, "NSM Groundwater Nitrogen"},
    {cmt_code_nsm_gw_p, "NSM Groundwater Phosphorus"},
    {cmt_code_nsm_gw_oth, "NSM Groundwater Other"},
    {cmt_code_nsm_soil_km, "NSM Soil Km"},
    {cmt_code_nsm_soil_koc, "NSM Soil Koc"},
};

constexpr value_range not_negative = from_to(0, std::numeric_limits<double>::max());
constexpr value_range fraction = from_to(0, 1);

constexpr std::size_t max_map_file_chars = 303;
constexpr std::size_t max_map_name_chars = 39;

bool begins_with(std::string_view line, std::string_view word) {
  return line.size() >= word.size() && line.compare(0, word.size(), word) == 0;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void print_table_check_line(const char* label, bool present) {
  const int dots = 35 - static_cast<int>(std::string_view(label).size());
  std::printf("  %s%s%s\n", label, dots > 0 ? std::string(static_cast<std::size_t>(dots), '.').c_str() : "",
              present ? "Y" : "N");
}

int cmt_card_code(std::string_view line) {
  for (const card_word& w : card_words)
    if (begins_with(line, w.word)) return w.code;
  return 0;
}

const char* cmt_card_name(int code) {
  for (const card_word& w : card_words)
    if (w.code == code) return w.word;
  return "";
}

int cmt_value_count(int code) { return code >= 1 && code <= 34 ? value_counts[code] : 0; }

value_range cmt_column_range(int code, int column) {
  switch (code) {
    case cmt_code_roughness: return manning_roughness;
    case cmt_code_rough_exp: return from_to(0, 1000, "1/m");
    case cmt_code_ovr_flow_block: return fraction;
    case cmt_code_interception: return column == 1 ? from_to(0, 1000, "mm") : fraction;
    case cmt_code_retention: return retention_depth;
    case cmt_code_ga_infiltration:
      switch (column) {
        case 1: return from_to(0, 10000, "cm/h");   // saturated hydraulic conductivity
        case 2: return from_to(0, 100000, "cm");    // capillary head
        case 3: return above_to(0, 1);              // porosity
        case 4: return above_to(0, 100);            // pore distribution index
        case 5: return fraction;                    // residual saturation
        case 6: return fraction;                    // field capacity
        case 7: return fraction;                    // wilting point
        default: return any_number;
      }
    case cmt_code_ga_soil_moisture: return fraction;
    case cmt_code_evapotranspiration:
      switch (column) {
        case 1: return fraction;                    // albedo
        case 2: return from_to(0, 200, "m");        // vegetation height
        default: return not_negative;               // transmission coefficient, canopy resistance
      }
    case cmt_code_wetlands: return not_negative;
    case cmt_code_overland_boundary: return column == 1 ? from_to(0, 99) : any_number;
    case cmt_code_groundwater: return column == 1 ? from_to(0, 1e6, "cm/h") : above_to(0, 1);  // porosity
    case cmt_code_gw_boundary: return from_to(0, 9999);
    case cmt_code_area_reduction: return fraction;
    // Nutrient concentrations, amounts, dispersion and partition
    // coefficients.
    case cmt_code_nsm_n: case cmt_code_nsm_p: case cmt_code_nsm_c: case cmt_code_nsm_oth:
    case cmt_code_dispersion: case cmt_code_nsm_soil_c: case cmt_code_nsm_soil_n: case cmt_code_nsm_soil_p:
    case cmt_code_nsm_gw_n: case cmt_code_nsm_gw_p: case cmt_code_nsm_gw_oth: case cmt_code_nsm_soil_km:
    case cmt_code_nsm_soil_koc: return from_to(0, 1e12);
    default: return any_number;
  }
}

const char* cmt_row_fault(int code, const double* values) {
  if (code != cmt_code_ga_infiltration) return nullptr;
  // The water a soil holds against gravity fits in its pores, and the
  // plants' wilting point lies below it (a field capacity of 0 is none
  // given: the processes that take it then use the initial content).
  const double porosity = values[2], field_capacity = values[5], wilting_point = values[6];
  if (field_capacity > porosity) return "a field capacity (value 6) above its porosity (value 3)";
  if (field_capacity > 0.0 && wilting_point > field_capacity)
    return "a wilting point (value 7) above its field capacity (value 6)";
  return nullptr;
}

const cmt_layout cmt_grid_layout{"NIVRA_INDEX_MAP_TABLES", "INDEX_MAP", cmt_card_code, cmt_code_num_ids,
                                 cmt_card_name, cmt_column_range, "mapping table file"};

// ---- The table file.

bool cmt_file::open(std::string_view name) {
  name_.assign(name);
  line_no_ = 0;
  at_end_ = false;
  maps_.clear();
  card_map_ = nullptr;
  return open_input_file(f_, name);
}

bool cmt_file::open_or_report(std::string_view name) {
  if (open(name)) return true;
  set_error(64, "", name);
  report_error();
  return false;
}

bool cmt_file::row_follows() {
  if (at_end_ || !f_.is_open()) return false;
  const long at = std::ftell(f_.fp);
  if (at < 0) return false;
  std::string next;
  const bool got = read_line(next, f_) != 0;
  std::clearerr(f_.fp);
  std::fseek(f_.fp, at, SEEK_SET);
  int id = 0;
  return got && cmt_row_id(next, id);
}

bool cmt_file::next_line() {
  if (at_end_ || !f_.is_open() || !read_line(line_, f_)) {
    at_end_ = true;
    line_.clear();
    return false;
  }
  ++line_no_;
  return true;
}

int cmt_file::read_head() {
  if (!next_line() || !begins_with(line_, layout_.header)) return 0;
  const std::string_view map_word = layout_.map_word;
  while (next_line() && begins_with(line_, map_word)) {
    card_line cl(line_);
    std::string word, file;
    next_token(cl, word);
    next_token(cl, file);
    cmt_index_map m{std::string(cl.rest()), file};
    if (word != map_word || m.file.empty() || m.file.size() > max_map_file_chars ||
        m.name.size() > max_map_name_chars) {
      std::printf("Error: line %d of the %s %s is not a %s line: the word, a file name of at most %zu "
                  "characters and a map name of at most %zu characters\n",
                  line_no_, layout_.what, name_.c_str(), layout_.map_word, max_map_file_chars,
                  max_map_name_chars);
      stop_with_own_message();
      return -1;
    }
    maps_.push_back(std::move(m));
  }
  return 1;
}

namespace {

// A map's name as its lines may write it, quoted or not: without one pair
// of enclosing double quotes (white space counts: "soils " is not "soils").
std::string_view bare_map_name(std::string_view name) {
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  return name;
}

}  // namespace

const cmt_index_map* cmt_file::find_map(std::string_view map_name) const {
  // A later line of the same name is the one found first, as the list is
  // searched from its newest entry. `soil` and `"soil"` name the same map.
  const std::string_view wanted = bare_map_name(map_name);
  for (auto it = maps_.rbegin(); it != maps_.rend(); ++it)
    if (bare_map_name(it->name) == wanted) return &*it;
  return nullptr;
}

bool cmt_file::find_card(int code) {
  card_map_ = nullptr;
  // The line after the map list is already in line_.
  while (!at_end_) {
    if (line_code() == code) {
      const std::size_t second = line_.find_first_not_of(" \t", line_.find_first_of(" \t"));
      card_map_ = second == std::string::npos ? nullptr : find_map(std::string_view(line_).substr(second));
      return true;
    }
    next_line();
  }
  return false;
}

int cmt_file::read_count(int code) {
  if (!next_line() || line_code() != code) return 0;
  card_line cl(line_);
  std::string word, number;
  next_token(cl, word);
  next_token(cl, number);
  int n = 0;
  if (!whole_token_int(number, n) || n < 0) {
    std::printf("Error: line %d of the %s %s gives %s the count \"%s\"; it takes a whole number from 0\n",
                line_no_, layout_.what, name_.c_str(), layout_.card_name(code), number.c_str());
    stop_with_own_message();
    return 0;
  }
  return n;
}

bool cmt_file::skip_to_rows() {
  while (next_line())
    if (line_code() == 0) return true;
  return false;
}

// ---- Rows.

bool cmt_row_id(std::string_view line, int& id) {
  const std::string_view field = line.substr(0, cmt_id_columns);
  const std::size_t b = field.find_first_not_of(" \t");
  const std::size_t e = field.find_last_not_of(" \t");
  return b != std::string_view::npos && whole_token_int(field.substr(b, e - b + 1), id) && id >= 1 &&
         id <= cmt_largest_id;
}

bool read_cmt_rows(cmt_file& f, int code, int n, int n_values, cmt_rows& rows) {
  rows = cmt_rows{};
  rows.n_values = n_values;
  rows.ids.resize(static_cast<std::size_t>(n));
  rows.values.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n_values), 0.0);
  const char* table = f.layout().card_name(code);
  std::unordered_map<int, int> first_row_line;  // line of each ID's row
  for (int r = 0; r < n; ++r) {
    if (!f.next_line()) {
      std::printf("Error: the %s table of the %s %s ends after %d of its %d rows\n", table,
                  f.layout().what, f.name().c_str(), r, n);
      stop_with_own_message();
      return false;
    }
    const std::string& line = f.line();
    int id = 0;
    if (!cmt_row_id(line, id)) {
      std::printf("Error: line %d of the %s %s is a row of the %s table without an ID in columns 1 to 6 "
                  "(a whole number from 1 to %d): row %d of the %d its NUM_IDS card counts\n",
                  f.line_no(), f.layout().what, f.name().c_str(), table, cmt_largest_id, r + 1, n);
      stop_with_own_message();
      return false;
    }
    if (r == 0) rows.first_line = f.line_no();
    // A second row of an ID would overwrite the first.
    if (const auto [at, fresh] = first_row_line.try_emplace(id, f.line_no()); !fresh) {
      std::printf("Error: line %d of the %s %s gives the ID %d a second row of the %s table (the first at line %d)\n",
                  f.line_no(), f.layout().what, f.name().c_str(), id, table, at->second);
      stop_with_own_message();
      return false;
    }
    rows.ids[static_cast<std::size_t>(r)] = id;
    if (id > rows.largest_id) rows.largest_id = id;
    // The values: blank- or tab-separated words from column 87 on.
    std::size_t p = cmt_value_column - 1;
    for (int c = 1; c <= n_values; ++c) {
      while (p < line.size() && is_blank(line[p])) ++p;
      std::size_t q = p;
      while (q < line.size() && !is_blank(line[q])) ++q;
      if (p >= line.size()) {
        std::printf("Error: line %d of the %s %s holds %d values from column %d; a row of the %s table "
                    "holds %d\n",
                    f.line_no(), f.layout().what, f.name().c_str(), c - 1, cmt_value_column, table, n_values);
        stop_with_own_message();
        return false;
      }
      const std::string_view token(line.data() + p, q - p);
      double v = 0.0;
      const value_range range = f.layout().column_range(code, c);
      if (!whole_token_double(token, v) || !range.contains(v)) {
        std::printf("Error: line %d of the %s %s holds %.*s as value %d of a row of the %s table; it "
                    "takes %s.\n",
                    f.line_no(), f.layout().what, f.name().c_str(), static_cast<int>(token.size()), token.data(),
                    c, table, range.describe().c_str());
        stop_with_own_message();
        return false;
      }
      rows.values[static_cast<std::size_t>(r) * static_cast<std::size_t>(n_values) + c - 1] = v;
      p = q;
    }
    if (&f.layout() == &cmt_grid_layout) {
      const double* row = rows.values.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(n_values);
      if (const char* fault = cmt_row_fault(code, row)) {
        std::printf("Error: line %d of the %s %s gives a row of the %s table %s.\n", f.line_no(), f.layout().what,
                    f.name().c_str(), table, fault);
        stop_with_own_message();
        return false;
      }
    }
  }
  // A row beyond the count of NUM_IDS would be left unread.
  if (f.row_follows()) {
    std::printf("Error: line %d of the %s %s is a row of the %s table beyond the %d rows of its NUM_IDS card\n",
                f.line_no() + 1, f.layout().what, f.name().c_str(), table, n);
    stop_with_own_message();
    return false;
  }
  rows.count = n;
  return true;
}

// ---- Index maps.

bool read_index_map(model_state& ms, std::string_view file_name, int largest_id, array1d<int>& cell_ids,
                    index_map_position* outside) {
  grid_state& grid = ms.grid;
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    set_error(65, "", file_name);
    report_error();
    return false;
  }
  std::FILE* fp = f.fp;
  // The header is the map's own: the grid's stays that of the watershed mask.
  map_extent extent;
  int map_rows = 0, map_cols = 0;
  if (!read_map_header(fp, file_name, extent.north, extent.south, extent.east, extent.west, map_rows, map_cols)) {
    stop_with_own_message();
    return false;
  }
  // A map of another size or extent than the grid is refused before its
  // body is read.
  if (map_rows != grid.proj_rows || map_cols != grid.proj_cols) {
    print_map_size_fault(file_name, map_rows, map_cols, grid.proj_rows, grid.proj_cols);
    stop_with_own_message();
    return false;
  }
  if (!map_extent_matches(file_name, extent, grid)) {
    stop_with_own_message();
    return false;
  }
  if (cell_ids.size() != grid.ncells) cell_ids.alloc(grid.ncells);

  std::vector<int> count(static_cast<std::size_t>(largest_id) + 1, 0);
  int stored = 0, zero_cells = 0, zero_row = 0, zero_col = 0;
  const std::string name(file_name);
  for (int r = 1; r <= map_rows; ++r) {
    const int* m = grid.mask[r].data();
    for (int c = 1; c <= map_cols; ++c) {
      int id = 0;
      const int_read got = scan_int_token(fp, id);
      if (got == int_read::end_of_file) {
        set_error(70, "", file_name);
        report_error();
        return false;
      }
      const bool no_data = got == int_read::not_integer ? std::fgetc(fp) == '*' : is_no_data_value(id);
      if (no_data && m[c] != 0) {
        std::printf("Error: the index map %s holds the no-data value %s at row %d, column %d, a cell of the "
                    "watershed mask; every watershed cell needs an ID.\n",
                    name.c_str(), got == int_read::not_integer ? "*" : std::to_string(id).c_str(), r, c);
        stop_with_own_message();
        return false;
      }
      if (got == int_read::not_integer || id < 0) {
        std::printf("Error: the index map %s holds a value that is not an ID (a whole number from 0) at row "
                    "%d, column %d\n",
                    name.c_str(), r, c);
        stop_with_own_message();
        return false;
      }
      if (m[c] == 0) {
        if (outside && id != 0 && outside->id == 0) *outside = index_map_position{id, r, c};
        continue;
      }
      if (id > largest_id) {
        set_error(71, "", file_name, r, c);
        report_error();
        return false;
      }
      if (++stored > grid.ncells) {
        std::printf("Error: the index map %s has more watershed cells than the watershed mask numbered\n",
                    name.c_str());
        stop_with_own_message();
        return false;
      }
      cell_ids[stored] = id;
      ++count[static_cast<std::size_t>(id)];
      if (id == 0 && zero_cells++ == 0) {
        zero_row = r;
        zero_col = c;
      }
    }
  }
  for (int id = 1; id <= largest_id; ++id)
    if (count[static_cast<std::size_t>(id)] > 0)
      input_report(ms, console_rule::unless_quiet, "In map %s category %d has %d values\n", name.c_str(), id,
                   count[static_cast<std::size_t>(id)]);
  // A watershed cell without an ID takes 0 for every value of the table;
  // the cells after it keep their own.
  if (zero_cells > 0) {
    char text[2300];
    std::snprintf(text, sizeof text,
                  "Warning: %d watershed cells of the index map %s have the ID 0 (the first at row %d, column "
                  "%d); they take 0 for the values of its tables\n",
                  zero_cells, name.c_str(), zero_row, zero_col);
    report_text(text);
  }
  return true;
}

void cmt_column_lookup(const cmt_rows& rows, int column, std::vector<double>& lookup) {
  lookup.assign(static_cast<std::size_t>(rows.largest_id) + 1, 0.0);
  for (int r = 0; r < rows.count; ++r) lookup[static_cast<std::size_t>(rows.ids[static_cast<std::size_t>(r)])] = rows.value(r, column);
}

void fill_cells_from_ids(const std::vector<double>& lookup, const array1d<int>& cell_ids, array1d<double>& dest) {
  const int n = cell_ids.size() < dest.size() ? cell_ids.size() : dest.size();
  const int* id = cell_ids.data();
  double* d = dest.data();
  const double* l = lookup.data();
  for (int k = 1; k <= n; ++k) d[k] = l[id[k]];
}

// ---- The plain tables.

bool cmt_open_table(std::string_view table_file, cmt_file& f, int code, int& n) {
  n = 0;
  if (!f.open_or_report(table_file)) return false;
  const int head = f.read_head();
  if (head < 0) return false;
  if (head == 1 && f.find_card(code) && f.card_map()) n = f.read_count(f.layout().num_ids_code);
  if (stopped()) return false;
  if (n == 0) {
    set_error(66, f.layout().card_name(code));
    report_error();
    return false;
  }
  return true;
}

int read_cmt_table(model_state& ms, int code, const std::array<array1d<double>*, 7>& destinations,
                   std::span<double> precip_values) {
  if (!ms.grid.ts_index_read && !read_ts_index_table(ms)) return 0;
  cmt_file f;
  int n = 0;
  if (!cmt_open_table(ms.project.mapping_table.view(), f, code, n)) return 0;
  if (!precip_values.empty()) {
    if (f.next_line() && f.line_code() == cmt_code_precip_conc) {
      card_line cl(f.line());
      std::string word;
      next_token(cl, word);
      for (double& v : precip_values) {
        std::string_view token;
        if (next_number_token(cl, token, v) != 1 || !std::isfinite(v)) {
          std::printf("Error: the PRECIP_CONC line (line %d) of the %s table of the mapping table file %s holds "
                      "%zu concentrations; the table takes %zu numbers\n",
                      f.line_no(), cmt_card_name(code), f.name().c_str(),
                      static_cast<std::size_t>(&v - precip_values.data()), precip_values.size());
          stop_with_own_message();
          return 0;
        }
      }
      f.next_line();  // the column header
    }
  } else {
    f.skip_to_rows();
  }
  const int v = cmt_value_count(code);
  cmt_rows rows;
  if (!read_cmt_rows(f, code, n, v, rows)) return 0;
  const std::string map_file = f.card_map()->file;
  if (ms.output.skip_index_maps) return 1;
  array1d<int> cell_ids;
  if (!read_index_map(ms, map_file, rows.largest_id, cell_ids)) return 0;
  // One pass over the cells fills every column: a table of the values by
  // ID, the columns of an ID side by side.
  std::array<double*, 7> dest{};
  std::array<int, 7> column{};
  int used = 0;
  for (int c = 1; c <= v && c <= 7; ++c) {
    array1d<double>* d = destinations[static_cast<std::size_t>(c - 1)];
    if (!d) continue;
    if (d->size() < ms.grid.ncells) d->alloc(ms.grid.ncells);
    dest[static_cast<std::size_t>(used)] = d->data();
    column[static_cast<std::size_t>(used++)] = c;
  }
  if (used == 0) return 1;
  std::vector<double> by_id(static_cast<std::size_t>(rows.largest_id + 1) * static_cast<std::size_t>(used), 0.0);
  for (int r = 0; r < rows.count; ++r)
    for (int u = 0; u < used; ++u)
      by_id[static_cast<std::size_t>(rows.ids[static_cast<std::size_t>(r)]) * static_cast<std::size_t>(used) +
            static_cast<std::size_t>(u)] = rows.value(r, column[static_cast<std::size_t>(u)]);
  const int* id = cell_ids.data();
  for (int k = 1; k <= ms.grid.ncells; ++k) {
    const double* values = by_id.data() + static_cast<std::size_t>(id[k]) * static_cast<std::size_t>(used);
    for (int u = 0; u < used; ++u) dest[static_cast<std::size_t>(u)][k] = values[u];
  }
  return 1;
}

int read_ts_index_table(model_state& ms) {
  ms.grid.ts_index_read = 1;
  cmt_file f;
  if (!f.open_or_report(ms.project.mapping_table.view())) return 0;
  const int head = f.read_head();
  if (head < 0) return 0;
  if (head == 0 || !f.find_card(cmt_code_time_series_index)) return 1;
  const int n = f.read_count(cmt_code_num_ids);
  if (stopped()) return 0;
  if (n == 0) return 1;
  f.skip_to_rows();
  for (int r = 1; r <= n; ++r) {
    const bool got = f.next_line();
    int id = 0;
    card_line rest(f.line().size() > cmt_id_columns ? f.line().substr(cmt_id_columns) : std::string());
    std::string series_name;
    if (!got || !cmt_row_id(f.line(), id) || !next_token(rest, series_name)) {
      std::printf("Error: line %d of the mapping table file %s is not a row of the TIME_SERIES_INDEX table: "
                  "an ID in columns 1 to 6, then the name of a time series\n",
                  f.line_no(), f.name().c_str());
      stop_with_own_message();
      return 0;
    }
    input_report(ms, console_rule::unless_quiet, "Adding table to list: %s... ", series_name.c_str());
    time_series* ts = find_time_series(series_name);
    input_report(ms, console_rule::unless_quiet, ts ? "Success!\n" : "Failure, table not found.\n");
    ts_add_index(id, ts);
  }
  return 1;
}

void check_cmt_tables(std::string_view table_file, int* cmt_table_present, int skip_index_maps, int quiet) {
  if (cmt_file probe; !probe.open_or_report(table_file)) return;
  if (!quiet) std::printf("\nChecking 2D grid mapping tables...\n");
  for (int slot = 0; slot < cmt_table_count; ++slot) {
    const checked_table& t = checked_tables[slot];
    cmt_file f;
    bool present = false;
    if (f.open(table_file) && f.read_head() == 1 && f.find_card(t.code)) {
      if (t.code == cmt_code_contaminants || t.code == cmt_code_sediments) {
        const int count_code = t.code == cmt_code_contaminants ? cmt_code_num_contam : cmt_code_num_sed;
        present = f.read_count(count_code) > 0;
      } else if (!skip_index_maps) {
        // A table whose index map is missing cannot give its values to
        // the cells: it is refused, naming the map and its file.
        const std::string card_line = f.line();
        const int card_line_no = f.line_no();
        guarded_file map;
        if (!f.card_map()) {
          std::printf("Error: line %d of the mapping table file %.*s (%s) names an index map that no INDEX_MAP line "
                      "of the file gives.\n",
                      card_line_no, static_cast<int>(table_file.size()), table_file.data(), card_line.c_str());
          stop_with_own_message();
        } else if (!(present = open_input_file(map, f.card_map()->file)) && !stopped()) {
          std::printf("Error: the %s table at line %d of the mapping table file %.*s takes its IDs from the index map "
                      "%s, whose file %s cannot be opened.\n",
                      cmt_card_name(t.code), card_line_no, static_cast<int>(table_file.size()), table_file.data(),
                      f.card_map()->name.c_str(), f.card_map()->file.c_str());
          stop_with_own_message();
        }
      }
    }
    if (stopped()) return;
    cmt_table_present[slot] = present ? 1 : 0;
    if (!quiet) print_table_check_line(t.label, present);
  }
  // A table of materials: no process of this version takes its values, so
  // it stops the run rather than being passed over.
  if (cmt_file f; f.open(table_file) && f.read_head() == 1 && f.find_card(cmt_code_material_index))
    report_card_not_available(cmt_card_name(cmt_code_material_index));
}

// ---- Quoted fields.

void split_quoted(std::string& text, std::string& first) {
  if (text.empty()) {
    first.assign(1, '"');
    return;
  }
  const std::size_t q1 = text.find('"');
  const std::size_t q2 = q1 == std::string::npos ? q1 : text.find('"', q1 + 1);
  if (q2 == std::string::npos) {
    first = q1 == std::string::npos ? std::string() : text.substr(q1);
    text.clear();
    return;
  }
  first = text.substr(q1, q2 - q1 + 1);
  const std::size_t q3 = text.find('"', q2 + 1);
  text = q3 == std::string::npos ? std::string() : text.substr(q3);
}

void erase_quotes(std::string& text) { std::erase(text, '"'); }

}  // namespace nivra
