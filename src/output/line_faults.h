// Faults of the small text files the output component reads (analyzer,
// XY point and boundary files, the ZV link/node file): every one stops the
// run with a message that names the file and the line.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "core/guarded_file.h"
#include "core/tokens.h"
#include "inputs/input_report.h"

namespace nivra {

// Stops the run after the message that describes the fault; false.
inline bool stop_on_own_message() {
  stop_with_own_message();
  return false;
}

// "Error: line <line> of the <kind> <file> <what>." and the stop; false.
inline bool refuse_file_line(const char* kind, std::string_view file, int line, const std::string& what) {
  std::printf("Error: line %d of the %s %.*s %s.\n", line, kind, static_cast<int>(file.size()), file.data(),
              what.c_str());
  return stop_on_own_message();
}

// The lines after the last one a count allowed (line_no the last read):
// any that is not blank stops the run naming it; true when none is.
inline bool refuse_lines_beyond_count(guarded_file& f, const char* kind, std::string_view file, int line_no) {
  card_line line;
  std::string token;
  while (read_line(line, f)) {
    ++line_no;
    if (next_token(line, token))
      return refuse_file_line(kind, file, line_no, "holds an entry beyond the count of its first line");
  }
  return true;
}

// Reads line `line_no` of the file as a count: a whole number, 0 or more,
// first on its line. False after the message.
inline bool read_count_line(guarded_file& f, const char* kind, std::string_view file, int line_no,
                            const char* counted, int& n) {
  card_line line;
  std::string token;
  if (read_line(line, f) && next_token(line, token) && whole_token_int(token, n) && n >= 0) return true;
  return refuse_file_line(kind, file, line_no,
                          std::string("does not hold the number of ") + counted + " (a whole number, 0 or more)");
}

}  // namespace nivra
