// The stream mapping-table file: what the mapping-table file does for grid
// cells, it does for the nodes of the channel network. Its tables are
// keyed by the IDs of stream maps, which give every link an ID.
//
// The file begins with "NIVRA_STREAM_INDEX_MAP_TABLES", then ST_INDEX_MAP
// lines (the word, the stream map's file name, the map's name), then table
// blocks laid out as in the mapping-table file. A stream map is a line
// beginning with "STREAM_MAP", a line "NLINKS n" and one value per link,
// links 1 to n in order; a link's value applies to every node of the link.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "core/arrays.h"
#include "inputs/mapping_table.h"

namespace nivra {

// Table codes of the stream mapping-table file.
enum stream_table_code : int {
  st_code_roughness = 1,
  st_code_nsm_n = 2,
  st_code_nsm_p = 3,
  st_code_nsm_c = 4,
  st_code_nsm_oth = 5,
  st_code_dispersion = 6,
  st_code_num_ids = 37,
  st_code_index_map = 38,
};

// Slots of the tables the start-up check found (channel st_table_present).
namespace st_flag {
inline constexpr int roughness = 0, nitrogen = 1, phosphorus = 2, carbon = 3, other = 4, dispersion = 5;
}  // namespace st_flag

// The code of the stream table word a line begins with (only a prefix of
// some words is compared: "NSM_OT", "ST_INDEX_", "DISPE"), 0 for none.
int stream_table_id(std::string_view line);
// "ROUGHNESS (Stream)", "NSM_N (Stream)", ...
const char* stream_table_label(int code);
extern const cmt_layout cmt_stream_layout;

// Results of read_stream_map.
enum stream_map_status : int {
  stream_map_read = 0,
  stream_map_not_opened = -1,
  stream_map_bad_header = -2,
  stream_map_link_count = -3,
  stream_map_bad_value = -4,
};

// Reads a stream map: per_link[l] for links 1..n_links (per_link is sized
// n_links + 1). With ids each value is a whole number (an ID), else any
// finite number.
stream_map_status read_stream_map(std::string_view map_file, int n_links, bool ids, std::vector<double>& per_link);

// Reads the table of a code into up to four per-node destinations, one per
// value column: entry (link l, node k) at l x row_length + k, for the
// nodes 1..nodes_per_link[l] of every link; a link whose ID is 0 keeps its
// values. 1 when read, 0 on failure (64, 66, 115 to 118, or an ID of the
// stream map that is negative or has no row in the table; the run is
// stopped).
int read_stream_mapping_table(std::string_view table_file, int code,
                              const std::array<array1d<double>*, 4>& destinations, int n_links,
                              std::span<const int> nodes_per_link, int row_length);

// Marks which tables the file holds (st_flag slots) and prints the
// start-up check: "  <label>", dots up to 35 characters, "Y" or "N".
void check_stream_mapping_table(std::string_view table_file, int* flags, int quiet);

}  // namespace nivra
