#include "quality/nsm/aquatic_env.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/process.h"
#include "core/tokens.h"
#include "inputs/grid_state.h"
#include "maps/grid_map.h"

namespace nivra {

namespace {

// The file's lines (replacement applied), read from the top.
std::vector<std::string> all_lines(guarded_file& f) {
  std::vector<std::string> lines;
  if (!f.fp) return lines;
  std::rewind(f.fp);
  std::string line;
  while (read_line(line, f)) lines.push_back(line);
  return lines;
}

std::string first_word(const std::string& line) {
  card_line cl(line);
  std::string w;
  next_token(cl, w);
  return w;
}

bool blank(const std::string& line) { return line.find_first_not_of(" \t\r\f\v") == std::string::npos; }

// Prints a refusal naming the file and the 1-based line, and sets the
// reader's own-message code.
void refuse(const nsm_part& part, std::size_t line_index, const char* what) {
  std::printf("Error: %s on line %zu of the aquatic environment file %s.\n", what, line_index + 1,
              part.file_name.c_str());
  set_error(own_message_code);
}

// The value lines of a block: how many values and the first slot; the
// slots of a line step by two except on lines 9 and 10.
struct value_line {
  int count, first, step;
};
constexpr value_line value_lines[10] = {{7, 0, 2},  {7, 1, 2},  {4, 14, 2}, {4, 15, 2}, {4, 22, 2},
                                        {4, 23, 2}, {7, 30, 2}, {7, 31, 2}, {4, 44, 1}, {4, 48, 1}};

}  // namespace

int aqenv_read_header(guarded_file& f) {
  if (!f.fp) return 0;
  std::rewind(f.fp);
  std::string line;
  if (!read_line(line, f)) return 0;
  return line.compare(0, 17, aq_env_header) == 0 ? 1 : 0;
}

int aqenv_read_maps(guarded_file& f, nsm_part& part) {
  const auto lines = all_lines(f);
  int seen = 0;
  bool ov = false, st = false;
  for (std::size_t i = 0; i < lines.size() && seen < 2; ++i) {
    card_line cl(lines[i]);
    std::string key, name;
    next_token(cl, key);
    if (key != "OV_MAP" && key != "ST_MAP") continue;
    bool& found = key == "OV_MAP" ? ov : st;
    if (found) {
      refuse(part, i, ("a second " + key + " line").c_str());
      return seen;
    }
    if (!next_token(cl, name)) {
      refuse(part, i, (key + " without a map file name").c_str());
      return seen;
    }
    found = true;
    (key == "OV_MAP" ? part.ov_index_map : part.st_index_map).assign(name);
    ++seen;
  }
  return seen;
}

namespace {
// The index of the NUM_IDS line, or -1.
long num_ids_line(const std::vector<std::string>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (first_word(lines[i]) == "NUM_IDS") return static_cast<long>(i);
  return -1;
}
}  // namespace

int aqenv_read_num_ids(guarded_file& f, nsm_part& part) {
  const auto lines = all_lines(f);
  const long at = num_ids_line(lines);
  if (at < 0) {
    part.num_ids = 0;
    return 0;
  }
  card_line cl(lines[static_cast<std::size_t>(at)]);
  std::string key, value, extra;
  next_token(cl, key);
  int n = 0;
  if (!next_token(cl, value) || !whole_token_int(value, n) || n < 0) {
    refuse(part, static_cast<std::size_t>(at), "NUM_IDS needs a whole number of ids of 0 or more");
    return 0;
  }
  part.num_ids = n;
  return 1;
}

int aqenv_read_parameters(guarded_file& f, nsm_part& part) {
  const auto lines = all_lines(f);
  const long at = num_ids_line(lines);
  if (at < 0) return 1;  // no table
  std::size_t i = static_cast<std::size_t>(at) + 2;
  while (i < lines.size()) {
    if (blank(lines[i])) {
      ++i;
      continue;
    }
    card_line cl(lines[i]);
    std::string token;
    next_token(cl, token);
    int id = 0;
    if (!whole_token_int(token, id)) {
      refuse(part, i, "a zone id (a whole number) is expected");
      return 0;
    }
    if (id > part.num_ids) {
      set_error(78, {}, {}, id, part.num_ids);
      return 0;
    }
    if (id < 1) {
      std::printf("Error: An index [%d] in the aquatic environment table is below 1 (line %zu of %s).\n", id,
                  i + 1, part.file_name.c_str());
      set_error(own_message_code);
      return 0;
    }
    if (!cl.rest().empty() && next_token(cl, token)) {
      refuse(part, i, "the id line holds more than the zone id");
      return 0;
    }
    nsm_aq_params& rec = part.params[id];
    if (rec.given) {
      refuse(part, i, ("a second block for zone id " + std::to_string(id)).c_str());
      return 0;
    }
    const std::size_t id_line = i;
    ++i;
    if (i >= lines.size()) {
      refuse(part, id_line, "the file ends after the zone id; its values are missing");
      return 0;
    }
    if (first_word(lines[i]) == "DEFAULT") {
      rec.given = true;
      ++i;
      continue;
    }
    for (const auto& vl : value_lines) {
      if (i >= lines.size()) {
        refuse(part, lines.size() - 1, "the file ends inside a block of ten value lines");
        return 0;
      }
      card_line values(lines[i]);
      for (int k = 0; k < vl.count; ++k) {
        double v = 0.0;
        if (!next_token(values, token)) {
          refuse(part, i, ("the line holds fewer than " + std::to_string(vl.count) + " values").c_str());
          return 0;
        }
        if (!whole_token_double(token, v) || !std::isfinite(v)) {
          refuse(part, i, ("\"" + token + "\" is not a finite number").c_str());
          return 0;
        }
        rec.slot[static_cast<std::size_t>(vl.first + k * vl.step)] = v;
      }
      if (next_token(values, token)) {
        refuse(part, i, ("the line holds more than " + std::to_string(vl.count) + " values").c_str());
        return 0;
      }
      ++i;
    }
    rec.given = true;
  }
  return 1;
}

void aqenv_read_index_maps(nsm_part& part, grid_state& grid, int quiet) {
  part.ncells = grid.ncells;
  guarded_file map;
  if (part.ov_index_map.empty() || !open_input_file(map, part.ov_index_map.view())) {
    set_error(81);
    return;
  }
  part.ov_index.alloc(grid.ncells);
  read_index_cell_map(grid, map, part.ov_index_map.view(), part.ov_index, quiet);
  close_guarded_file(map);
  if (process.error_block.stop || process.error_block.code) return;
  for (int cell = 1; cell <= part.ncells; ++cell) {
    const int id = part.ov_index[cell];
    if (id < 1 || id > part.num_ids) {
      std::printf("Error: the zone id %d of cell %d in the overland aquatic environment map %s lies outside "
                  "the ids 1..%d of the aquatic environment file.\n",
                  id, cell, part.ov_index_map.c_str(), part.num_ids);
      set_error(own_message_code);
      return;
    }
  }
}

void read_aquatic_env(nsm_part& part, grid_state& grid, int quiet) {
  if (!quiet) msg_printf("Reading the aquatic environment file %s.\n", part.file_name.c_str());
  guarded_file f;
  if (!open_input_file(f, part.file_name.view())) {
    set_error(76, {}, part.file_name.view());
    return;
  }
  if (!aqenv_read_header(f)) {
    set_error(77, aq_env_header, part.file_name.view());
    close_guarded_file(f);
    return;
  }
  aqenv_read_maps(f, part);
  if (process.error_block.code) {
    close_guarded_file(f);
    return;
  }
  if (!aqenv_read_num_ids(f, part)) {
    if (!process.error_block.code) {
      std::printf("Error: the aquatic environment file %s has no NUM_IDS line.\n", part.file_name.c_str());
      set_error(own_message_code);
    }
    close_guarded_file(f);
    return;
  }
  part.params.destroy();
  part.params.grow(part.num_ids);
  const int normal_end = aqenv_read_parameters(f, part);
  close_guarded_file(f);
  // An error (78 among them) stops the map phase: the records read so far
  // stay and the code stays set for the caller's reporter.
  if (!normal_end) return;
  aqenv_read_index_maps(part, grid, quiet);
}

}  // namespace nivra
