// The numbers of one line of a card file, taken in order. Each is read
// whole, must be finite and lie within its range; the first that is
// missing, not a number or outside its range is named with the card, the
// file and the line, and the reader stops.
#pragma once

#include "core/tokens.h"
#include "core/value_range.h"

namespace nivra {

class card_numbers {
 public:
  card_numbers(card_line& line, const char* card, const char* file, int line_no)
      : line_(line), card_(card), file_(file), line_no_(line_no) {}
  // The numbers of a line of a file without card words.
  card_numbers(card_line& line, const char* file, int line_no) : card_numbers(line, nullptr, file, line_no) {}

  // False (after the message) when the next token is not a whole number
  // within the range.
  bool whole(const char* what, int& out, const value_range& range = any_number);
  // False (after the message) when the next token is not a finite number
  // within the range.
  bool real(const char* what, double& out, const value_range& range = any_number);
  // True when no token is left on the line.
  bool at_end() const;

 private:
  bool next(const char* what, bool is_whole, double& v, const value_range& range);

  card_line& line_;
  const char* card_;  // null: the line has no card word
  const char* file_;
  int line_no_;
};

}  // namespace nivra
