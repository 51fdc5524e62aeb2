#include "inputs/stream_tables.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "core/tokens.h"
#include "maps/input_report.h"

namespace nivra {

namespace {

struct stream_word {
  int code;
  const char* prefix;  // the part of the word that is compared
  const char* label;
};

// In the order of recognition.
constexpr stream_word stream_words[] = {
    {st_code_roughness, "ROUGHNESS", "ROUGHNESS (Stream)"},
    {st_code_nsm_n, "NSM_N", "NSM_N (Stream)"},
    {st_code_nsm_p, "NSM_P", "NSM_P (Stream)"},
    {st_code_nsm_oth, "NSM_OT", "NSM_OTH (Stream)"},
    {st_code_nsm_c, "NSM_C", "NSM_C (Stream)"},
    {st_code_num_ids, "NUM_IDS", "NUM_IDS (Stream)"},
    {st_code_index_map, "ST_INDEX_", "ST_INDEX_MAP (Stream)"},
    {st_code_dispersion, "DISPE", "DISPERSION (Stream)"},
};

int stream_value_count(int code) {
  switch (code) {
    case st_code_roughness: return 1;
    case st_code_nsm_n: return 4;
    case st_code_nsm_p: return 3;
    case st_code_nsm_c: return 2;
    case st_code_nsm_oth: return 3;
    case st_code_dispersion: return 1;
    default: return 0;
  }
}

value_range stream_column_range(int code, int) {
  if (code == st_code_roughness) return manning_roughness;
  if (code == st_code_dispersion) return from_to(0, std::numeric_limits<double>::max());
  // Nutrient concentrations and the organic-carbon fraction.
  if (code >= st_code_nsm_n && code <= st_code_nsm_oth) return from_to(0, 1e12);
  return any_number;
}

struct checked_stream_table {
  const char* label;
  int code;
  int slot;
};

constexpr checked_stream_table checked_stream_tables[] = {
    {"Roughness", st_code_roughness, st_flag::roughness},   {"NSM Nitrogen", st_code_nsm_n, st_flag::nitrogen},
    {"NSM Phosphorus", st_code_nsm_p, st_flag::phosphorus}, {"NSM Carbon", st_code_nsm_c, st_flag::carbon},
    {"NSM Other", st_code_nsm_oth, st_flag::other},         {"Dispersion", st_code_dispersion, st_flag::dispersion},
};

}  // namespace

int stream_table_id(std::string_view line) {
  for (const stream_word& w : stream_words) {
    const std::string_view p = w.prefix;
    if (line.size() >= p.size() && line.compare(0, p.size(), p) == 0) return w.code;
  }
  return 0;
}

const char* stream_table_label(int code) {
  for (const stream_word& w : stream_words)
    if (w.code == code) return w.label;
  return "";
}

const cmt_layout cmt_stream_layout{"NIVRA_STREAM_INDEX_MAP_TABLES", "ST_INDEX_MAP", stream_table_id,
                                   st_code_num_ids, stream_table_label, stream_column_range,
                                   "stream mapping table file"};

stream_map_status read_stream_map(std::string_view map_file, int n_links, bool ids, std::vector<double>& per_link) {
  guarded_file f;
  if (!open_input_file(f, map_file)) return stream_map_not_opened;
  std::string line;
  if (!read_line(line, f) || line.compare(0, 10, "STREAM_MAP") != 0) return stream_map_bad_header;
  // The rest is read free-form: the NLINKS word and count, then the values.
  std::vector<std::string> tokens;
  while (read_line(line, f)) {
    std::size_t p = 0;
    while (p < line.size()) {
      while (p < line.size() && (line[p] == ' ' || line[p] == '\t' || line[p] == '\r')) ++p;
      std::size_t q = p;
      while (q < line.size() && line[q] != ' ' && line[q] != '\t' && line[q] != '\r') ++q;
      if (q > p) tokens.emplace_back(line, p, q - p);
      p = q;
    }
  }
  int count = 0;
  if (tokens.size() < 2 || tokens[0].size() > 6 || !whole_token_int(tokens[1], count) || count != n_links)
    return stream_map_link_count;
  per_link.assign(static_cast<std::size_t>(n_links) + 1, 0.0);
  for (int l = 1; l <= n_links; ++l) {
    const std::size_t t = static_cast<std::size_t>(l) + 1;
    double v = 0.0;
    int id = 0;
    if (t >= tokens.size()) return stream_map_bad_value;
    if (ids ? !whole_token_int(tokens[t], id) : !whole_token_double(tokens[t], v) || !std::isfinite(v))
      return stream_map_bad_value;
    per_link[static_cast<std::size_t>(l)] = ids ? id : v;
  }
  return stream_map_read;
}

int read_stream_mapping_table(std::string_view table_file, int code,
                              const std::array<array1d<double>*, 4>& destinations, int n_links,
                              std::span<const int> nodes_per_link, int row_length) {
  cmt_file f(cmt_stream_layout);
  int n = 0;
  if (!cmt_open_table(table_file, f, code, n)) return 0;
  f.skip_to_rows();
  const int v = stream_value_count(code);
  cmt_rows rows;
  if (!read_cmt_rows(f, code, n, v, rows)) return 0;

  const std::string map_file = f.card_map()->file;
  std::vector<double> link_ids;
  const stream_map_status status = read_stream_map(map_file, n_links, true, link_ids);
  if (status != stream_map_read) {
    const int error_code = status == stream_map_not_opened   ? 115
                           : status == stream_map_bad_header ? 116
                           : status == stream_map_link_count ? 117
                                                             : 118;
    set_error(error_code, "", map_file);
    report_error();
    return 0;
  }
  for (int l = 1; l <= n_links; ++l) {
    const int id = static_cast<int>(link_ids[static_cast<std::size_t>(l)]);
    if (id < 0 || id > rows.largest_id) {
      std::printf("Error: the stream map %s gives link %d the ID %d; the %s table of %s has IDs from 1 to %d "
                  "(0 for a link without one)\n",
                  map_file.c_str(), l, id, stream_table_label(code), f.name().c_str(), rows.largest_id);
      stop_with_own_message();
      return 0;
    }
  }
  std::vector<double> lookup;
  for (int c = 1; c <= v && c <= 4; ++c) {
    array1d<double>* dest = destinations[static_cast<std::size_t>(c - 1)];
    if (!dest) continue;
    cmt_column_lookup(rows, c, lookup);
    for (int l = 1; l <= n_links; ++l) {
      const int id = static_cast<int>(link_ids[static_cast<std::size_t>(l)]);
      if (id == 0) continue;
      const int nodes = static_cast<std::size_t>(l) < nodes_per_link.size() ? nodes_per_link[static_cast<std::size_t>(l)] : 0;
      for (int k = 1; k <= nodes; ++k) {
        const long long at = static_cast<long long>(l) * row_length + k;
        if (at <= dest->size()) (*dest)[static_cast<int>(at)] = lookup[static_cast<std::size_t>(id)];
      }
    }
  }
  return 1;
}

void check_stream_mapping_table(std::string_view table_file, int* flags, int quiet) {
  if (cmt_file probe(cmt_stream_layout); !probe.open_or_report(table_file)) return;
  if (!quiet) std::printf("\nChecking stream mapping table file...\n");
  for (const checked_stream_table& t : checked_stream_tables) {
    cmt_file f(cmt_stream_layout);
    bool present = false;
    if (f.open(table_file) && f.read_head() == 1 && f.find_card(t.code) && f.card_map()) {
      guarded_file map;
      present = open_input_file(map, f.card_map()->file);
    }
    if (process.error_block.stop) return;
    flags[t.slot] = present ? 1 : 0;
    if (!quiet) print_table_check_line(t.label, present);
  }
}

}  // namespace nivra
