// The reading of the companion files of the hot-starts: a first line that
// names what the file holds, then lines that begin with a card word and go
// on with numbers; blank lines and lines whose first word begins with #
// are skipped. A fault is named with the file and the line and stops the
// run (code 4000).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/card_numbers.h"
#include "core/tokens.h"

namespace nivra {

class guarded_file;

// The companion of a hot-start file: its name with ".state".
inline std::string companion_name(std::string_view file) { return std::string(file) + ".state"; }

// The maps of the hot-starts hold their values to nine decimals, the
// companions to the last digit: a companion's value stands for the map's
// where the two agree to the map's decimals (a map changed since keeps its
// own).
inline bool map_holds(double map_value, double exact) {
  return map_value - exact <= 6e-10 && exact - map_value <= 6e-10;
}

class state_file_reader {
 public:
  // kind names the file in messages ("the soil hot-start state").
  state_file_reader(guarded_file& f, const char* kind);

  // The next line that holds a card; false at the end of the file.
  bool next();
  // The card word of the line and the rest of it.
  const std::string& card() const { return word_; }
  card_line& line() { return line_; }
  card_numbers numbers() { return card_numbers(line_, name_.c_str(), n_); }
  int line_no() const { return n_; }
  const char* name() const { return name_.c_str(); }
  const char* kind() const { return kind_; }

  // The first card must be the header; false after the message.
  bool header(const char* word);
  // The next card must be card; false after the message.
  bool expect(const char* card);
  // Nothing may follow on the line; false after the message.
  bool ends();
  // The file ends with END and nothing after it: call once the END card
  // has been met (ended) or the lines ran out. False after the message.
  bool finish(bool ended);
  // "Error: line n of <kind> <name> <what>." and the stop; false.
  bool fail(const char* what);
  // The stop after a message printed by the caller (or card_numbers); false.
  static bool stop();
  // A card the file may give once: false after the message when `given`
  // already is; else `given` is set.
  bool once(bool& given);

  // The CELL cards up to END: every cell 1..n once, each read on by
  // cell(c, numbers) after its number (false: the read stops, its message
  // printed), then END, nothing after it, and no cell missing. False after
  // the message.
  template <class Cell>
  bool read_cells(int n, Cell&& cell) {
    std::vector<char> seen(static_cast<std::size_t>(n) + 1, 0);
    int count = 0;
    bool ended = false;
    while (!ended && next()) {
      if (card() == "END") {
        if (!ends()) return false;
        ended = true;
        continue;
      }
      if (card() != "CELL") return fail("holds no CELL or END card");
      card_numbers num = numbers();
      int c = 0;
      if (!num.whole("the cell", c, from_to(1, n))) return stop();
      if (seen[static_cast<std::size_t>(c)]) return fail("gives a cell a second time");
      seen[static_cast<std::size_t>(c)] = 1;
      ++count;
      if (!cell(c, num)) return false;
    }
    if (!finish(ended)) return false;
    if (count != n) {
      std::fprintf(stderr, "Error: %s %s gives %d of the %d cells.\n", kind_, name_.c_str(), count, n);
      return stop();
    }
    return true;
  }

 private:
  guarded_file& f_;
  const char* kind_;
  std::string name_;
  card_line line_;
  int n_ = 0;
  std::string word_;
};

}  // namespace nivra
