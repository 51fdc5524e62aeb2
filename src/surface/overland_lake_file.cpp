// The two small card files of the overland: the overland lake file (initial
// level and volume of every overland lake) and the low-spot file (the
// notches in overland dikes). Lines pass through bracket-key replacement;
// the first token of a line is its card word, in any case. Every number on
// a card is checked where it is read; a fault is reported at once, naming
// the file and the line, and stops the run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/card_numbers.h"
#include "core/errors.h"
#include "core/value_range.h"
#include "surface/overland.h"

namespace nivra {

namespace {

// True when the first token of the line, lower-cased, is the word or a
// leading part of it (an empty token passes).
bool header_matches(card_line& line, const char* word) {
  std::string token;
  next_token(line, token);
  const std::string lower = to_lower(token);
  return lower.size() <= std::strlen(word) && std::strncmp(lower.c_str(), word, lower.size()) == 0;
}

int card_index(card_line& line, const char* word) {
  std::string token;
  next_token(line, token);
  return to_lower(token) == word ? 0 : 1;
}

// The reader printed its message: report and stop the run.
bool fail() {
  set_error(own_message_code);
  report_error();
  return false;
}

}  // namespace

int lake_card_index(card_line& line) { return card_index(line, "lake"); }

int lowspot_card_index(card_line& line) { return card_index(line, "spot"); }

bool read_lake_file(guarded_file& f, int kind, int num_lakes, array1d<olake_record>& table,
                    std::vector<int>* card_lines) {
  if (card_lines) card_lines->assign(static_cast<std::size_t>(num_lakes) + 1, 0);
  (void)kind;  // overland lakes are the only kind this file describes
  card_line line;
  read_line(line, f);  // a missing first line reads as an empty header
  if (!header_matches(line, "nivra_overland_lake_file")) {
    std::fprintf(stderr, "The overland lake input data file doesn't start with\n");
    std::fprintf(stderr, " NIVRA_OVERLAND_LAKE_FILE card.\n");
    std::fprintf(stderr, "The file format is invalid.  Program terminated.\n");
    return fail();
  }
  int count = 0;
  int line_no = 1;
  std::vector<int> given;  // the lakes of the cards read
  while (read_line(line, f)) {
    ++line_no;
    if (lake_card_index(line) != 0) continue;
    int id = 0;
    double elev = 0.0, volume = 0.0;
    card_numbers numbers(line, "LAKE", f.name.c_str(), line_no);
    if (!numbers.whole("the lake id", id)) return fail();
    if (id < 1 || id > num_lakes || id > table.size()) {
      std::fprintf(stderr, "LAKE card with lake id %d in the overland lake input data file.\n", id);
      std::fprintf(stderr, "The overland lake map holds lakes 1 to %d.  Program terminated.\n", num_lakes);
      return fail();
    }
    if (!numbers.real("the water level", elev, ground_elevation) ||
        !numbers.real("the volume", volume, from_to(0, 1e12, "m3")))
      return fail();
    // A second card of a lake would overwrite the first and leave another
    // lake without its level.
    if (std::find(given.begin(), given.end(), id) != given.end()) {
      std::fprintf(stderr, "Error: the LAKE card at line %d of %s gives lake %d a second time.\n", line_no,
                   f.name.c_str(), id);
      return fail();
    }
    given.push_back(id);
    if (card_lines) (*card_lines)[static_cast<std::size_t>(id)] = line_no;
    ++count;
    table[id].value[olake_value::level] = elev;
    table[id].value[olake_value::initial_level] = elev;
    table[id].value[olake_value::volume] = volume;
    msg_printf("%d   Elev: %.2lf   Volume: %.2lf\n", count, elev, volume);
  }
  if (count == 0) {
    std::fprintf(stderr, "Premature end-of-file in the overland lake input data file.\n");
    std::fprintf(stderr, "No LAKE cards encountered before end of file.\n");
    std::fprintf(stderr, "Program terminated.\n");
    return fail();
  }
  if (count != num_lakes) {
    std::fprintf(stderr, "Incorrect number of LAKE cards in the overland lake input data file.\n");
    std::fprintf(stderr, "Expected %d LAKE cards, read %d\n", num_lakes, count);
    std::fprintf(stderr, "Program terminated.\n");
    return fail();
  }
  return true;
}

bool read_lowspot_file(guarded_file& f, const char* name, int& count, array1d<lowspot>& records) {
  count = 0;
  records.free();
  card_line line;
  read_line(line, f);
  if (!header_matches(line, "lowspot")) {
    std::fprintf(stderr, "The lowspot input file: %s does not start with the LOWSPOT card.\n", name);
    std::fprintf(stderr, "The file format is invalid.  Program terminated.\n");
    return fail();
  }
  if (!read_line(line, f)) {
    std::fprintf(stderr, "Premature end-of-file in the lowspot input file.\n");
    std::fprintf(stderr, "No SPOT cards encountered before end of file.\n");
    std::fprintf(stderr, "Program terminated.\n");
    return fail();
  }
  int spots = 0;
  do {
    if (lowspot_card_index(line) == 0) ++spots;
  } while (read_line(line, f));
  if (spots == 0) return true;

  records.alloc(spots);
  std::rewind(f.fp);
  read_line(line, f);  // the header
  int j = 0;
  int line_no = 1;
  while (j < spots && read_line(line, f)) {
    ++line_no;
    if (lowspot_card_index(line) != 0) continue;
    lowspot& s = records[++j];
    // Row, column and side are checked against the grid and the dikes once
    // the grid is known; the notch width is a fraction of the cell size up
    // to 1.5, and the crest an elevation.
    card_numbers numbers(line, "SPOT", name, line_no);
    if (!numbers.whole("the row", s.row) || !numbers.whole("the column", s.col) ||
        !numbers.whole("the side", s.direction) ||
        !numbers.real("the width as a fraction of the cell", s.grid_fraction, from_to(0, 1.5)) ||
        !numbers.real("the crest elevation", s.crest_elev, ground_elevation)) {
      records.free();
      return fail();
    }
  }
  count = spots;
  return true;
}

}  // namespace nivra
