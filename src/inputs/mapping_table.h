// The mapping-table file: parameter tables keyed by the IDs of index maps.
//
// The file begins with a header line ("NIVRA_INDEX_MAP_TABLES"), then
// INDEX_MAP lines (the word, the map's file name as one token, then the
// map's name: the rest of the line exactly as written), then table blocks
// in any order: a card line (the table's word and, from its second word on,
// the name of its index map), a "NUM_IDS n" line, for some tables further
// count lines, one column-header line and n rows: the row's ID in columns 1
// to 6, a description in columns 7 to 86 and the values from column 87 on,
// separated by blanks or tabs. An index map is a grid map of IDs: every
// watershed cell takes the values of the row of its ID.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "core/guarded_file.h"
#include "core/value_range.h"

namespace nivra {

struct model_state;

// Card codes of the mapping-table file.
enum cmt_code : int {
  cmt_code_roughness = 1,
  cmt_code_interception = 2,
  cmt_code_retention = 3,
  cmt_code_ga_infiltration = 4,
  cmt_code_ga_soil_moisture = 5,
  cmt_code_richards_havercamp = 6,
  cmt_code_richards_brooks = 7,
  cmt_code_evapotranspiration = 8,
  cmt_code_sediments = 9,
  cmt_code_soil_erosion = 10,
  cmt_code_contaminants = 11,
  cmt_code_wetlands = 12,
  cmt_code_material_index = 13,
  cmt_code_overland_boundary = 14,
  cmt_code_time_series_index = 15,
  cmt_code_well_table = 16,
  cmt_code_groundwater = 17,
  cmt_code_gw_boundary = 18,
  cmt_code_area_reduction = 19,
  cmt_code_nsm_n = 20,
  cmt_code_nsm_p = 21,
  cmt_code_nsm_c = 22,
  cmt_code_nsm_oth = 23,
  cmt_code_dispersion = 24,
  cmt_code_nsm_soil_c = 25,
  cmt_code_nsm_soil_n = 26,
  cmt_code_nsm_soil_p = 27,
  cmt_code_nsm_gw_n = 28,
  cmt_code_nsm_gw_p = 29,
  cmt_code_nsm_gw_oth = 30,
  cmt_code_nsm_soil_km = 31,
  cmt_code_nsm_soil_koc = 32,
  cmt_code_rough_exp = 33,
  cmt_code_ovr_flow_block = 34,
  cmt_code_num_ids = 137,
  cmt_code_index_map = 138,
  cmt_code_num_contam = 139,
  cmt_code_num_sed = 140,
  cmt_code_multi_layer_soil = 201,
  cmt_code_ratingcurves = 202,
  cmt_code_precip_conc = 50000,
  cmt_code_partition = 60000,
};

// The code of the card a line begins with (the comparison is case-sensitive
// and covers the card word's length; "GROUNDWATER_BOUNDARY" is found before
// "GROUNDWATER"), 0 for a line that begins with no card.
int cmt_card_code(std::string_view line);
// The card word of a code ("" for an unknown code).
const char* cmt_card_name(int code);
// Values per row of a plain table (0 for the codes without rows of values).
int cmt_value_count(int code);
// The physical range of value column c (1-based) of a table.
value_range cmt_column_range(int code, int column);

// Rows: the ID in columns 1 to 6 (IDs 1 to 999,999), values from column 87.
inline constexpr int cmt_id_columns = 6;
inline constexpr int cmt_value_column = 87;
inline constexpr int cmt_largest_id = 999999;

// One INDEX_MAP (or ST_INDEX_MAP) line.
struct cmt_index_map {
  std::string name;  // at most 39 characters
  std::string file;  // at most 303 characters
};

// The words of a table file: its header, the word of its map lines, its
// card recognition, and what its messages call it.
struct cmt_layout {
  const char* header;
  const char* map_word;
  int (*card_code)(std::string_view line);
  int num_ids_code;
  const char* (*card_name)(int code);
  value_range (*column_range)(int code, int column);
  const char* what;  // "mapping table file"
};
extern const cmt_layout cmt_grid_layout;

// Why a row of a table of the mapping table (values[0] its first value)
// does not describe a soil or surface, its values taken together: a field
// capacity above the porosity, a wilting point above a field capacity
// given (above 0).
// Null when it does.
const char* cmt_row_fault(int code, const double* values);

// A table file read from its top, line by line (bracketed keys replaced),
// with the list of its index maps. Every reader opens the file, searches
// what it needs and closes it (the destructor closes it too).
class cmt_file {
 public:
  explicit cmt_file(const cmt_layout& layout = cmt_grid_layout) : layout_(layout) {}
  // False when the file cannot be opened (nothing printed).
  bool open(std::string_view name);
  // The same, reporting error 64 with the file's name.
  bool open_or_report(std::string_view name);
  // Reads the header line and the map lines after it: 1 read, 0 the header
  // is missing (the file has no tables), -1 a map line is refused (the
  // message, naming the file and line, is printed and the run stopped).
  int read_head();
  // Reads on to the card line of the code: true when found; the file is
  // then positioned after it. card_map() is the index map the card names
  // (null when no map line has that name).
  bool find_card(int code);
  const cmt_index_map* card_map() const { return card_map_; }
  // The next line into line(); false at the end of the file.
  bool next_line();
  // Reads the next line and returns its count when it is the count line of
  // the code (NUM_IDS, NUM_SED, NUM_CONTAM: the word and a whole number),
  // else 0.
  int read_count(int code);
  // Skips card lines and the column header after them; false when the file
  // ended first.
  bool skip_to_rows();
  // The card code of the current line.
  int line_code() const { return layout_.card_code(line_); }
  // True when the line after the current one is a row (an ID in columns 1
  // to 6); the file stays where it was.
  bool row_follows();

  const std::string& line() const { return line_; }
  int line_no() const { return line_no_; }
  const std::string& name() const { return name_; }
  const cmt_layout& layout() const { return layout_; }
  const std::vector<cmt_index_map>& maps() const { return maps_; }
  const cmt_index_map* find_map(std::string_view map_name) const;

 private:
  const cmt_layout& layout_;
  guarded_file f_;
  std::string name_;
  std::string line_;
  int line_no_ = 0;
  bool at_end_ = false;
  std::vector<cmt_index_map> maps_;
  const cmt_index_map* card_map_ = nullptr;
};

// The rows of one table: IDs and values (row-major), the largest ID.
struct cmt_rows {
  int count = 0;
  int first_line = 0;            // line of the file that holds row 0
  int n_values = 0;
  int largest_id = 0;
  std::vector<int> ids;          // 0-based rows
  std::vector<double> values;    // row r, column c (1-based) at r * n_values + c - 1
  double value(int row, int column) const { return values[static_cast<std::size_t>(row) * n_values + column - 1]; }
};

// The ID of a row: a whole number from 1 to 999,999, alone in columns 1
// to 6. False when the columns hold none.
bool cmt_row_id(std::string_view line, int& id);

// Opens a table file and finds the table of a code with its index map and
// its NUM_IDS count n (above 0). False after reporting 64 (the file) or 66
// (no such table, no index map of its name, no rows).
bool cmt_open_table(std::string_view table_file, cmt_file& f, int code, int& n);

// Reads n rows of v values each from the line after the column header. A
// row's ID is a whole number from 1 to 999,999 in columns 1 to 6; its
// values are numbers within the ranges of the code's columns. A missing or
// bad ID or value, or a table that ends before its n rows, prints a message
// naming the file, the line and the table and stops the run; false then.
bool read_cmt_rows(cmt_file& f, int code, int n, int n_values, cmt_rows& rows);

// Reads an index map (a grid map of IDs) into the IDs of the watershed
// cells, 1..ncells in row-major order, and reports how many cells carry
// each ID. The map's size must be the project's grid (72, 73, 74); its IDs
// are whole numbers, not negative and at most largest_id (71, with the row
// and column); a map that ends early stops with 70, one that cannot be
// opened with 65. A watershed cell with the ID 0 takes 0 for every value
// (one warning per map). False when the run stopped. `outside`, when
// given, receives the first non-zero ID the map holds outside the
// watershed (its id stays 0 when there is none).
struct index_map_position {
  int id = 0, row = 0, col = 0;
};
bool read_index_map(model_state& ms, std::string_view file_name, int largest_id, array1d<int>& cell_ids,
                    index_map_position* outside = nullptr);

// The value of column c of each row by ID (0 for IDs without a row; a later
// row with the same ID wins), sized largest_id + 1.
void cmt_column_lookup(const cmt_rows& rows, int column, std::vector<double>& lookup);
// dest[k] = lookup[cell_ids[k]] for every cell.
void fill_cells_from_ids(const std::vector<double>& lookup, const array1d<int>& cell_ids, array1d<double>& dest);

// Reads the table of a code from the project's mapping-table file into up
// to seven per-cell destinations, one per value column (null skips a
// column). precip_values, when given, takes the values of the
// table's "PRECIP_CONC" line. 1 when the table was read, 0 on failure (the
// run is stopped: 64 file, 65 index map, 66 table missing or empty).
int read_cmt_table(model_state& ms, int code, const std::array<array1d<double>*, 7>& destinations,
                   std::span<double> precip_values = {});

// The TIME_SERIES_INDEX table: each row's ID and the named time series it
// refers to go on the process's id list. Read once per run, before the
// first table that needs it. 0 when the file cannot be opened or a row is
// bad.
int read_ts_index_table(model_state& ms);

// Marks which tables the file holds (cmt_table order) and prints the
// start-up check: "  <label>", dots up to 35 characters, "Y" or "N".
void check_cmt_tables(std::string_view table_file, int* cmt_table_present, int skip_index_maps, int quiet);
// One line of a start-up check: two blanks, the label, dots up to 35
// characters, then Y or N.
void print_table_check_line(const char* label, bool present);

// The first double-quoted field of text, with its quotes, goes to first;
// text keeps what follows the third quote (what lies between the second
// and third quote is dropped). For an empty text first is one quote.
void split_quoted(std::string& text, std::string& first);
// Removes every double quote.
void erase_quotes(std::string& text);

}  // namespace nivra
