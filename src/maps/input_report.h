// Progress lines of the map phase and a reader of small integer list files.
//
// Every line that reports the reading of an input goes to the run summary
// file always and to the console unless the run is quiet: a super-quiet
// project, a process other than the first, or (for lines under the quiet
// rule) an optimiser run.
#pragma once

#include <string>
#include <string_view>

#include "core/arrays.h"
#include "core/guarded_file.h"
#include "core/value_range.h"

namespace nivra {

struct model_state;

enum class console_rule {
  unless_quiet,   // silenced by super quiet, other processes and optimiser runs
  unless_silent,  // silenced by super quiet and other processes only
};

void input_report(const model_state& ms, console_rule rule, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// A line that reads differently on the console and in the run summary
// (the console under the quiet rule).
void report_two_ways(const model_state& ms, const std::string& console, const std::string& summary);

// A one-name format filled in, for report_two_ways.
std::string with_name(const char* format, std::string_view name);

// Stops the run after a reader printed its own message.
void stop_with_own_message();

// A per-cell parameter that its own map or the mapping table may give: the
// map wins when the project opened it (map_line names the file; the map is
// read within range and closed), else table_line announces the table,
// which the caller reads.
enum class parameter_source { map, table, stopped };
parameter_source read_parameter_map(model_state& ms, guarded_file& file, std::string_view name,
                                    array1d<double>& values, const value_range& range, const char* map_line,
                                    const char* table_line);

// Whitespace-separated integers of a small text file, with the line each
// came from, for messages that name the file and line.
class int_token_reader {
 public:
  int_token_reader(guarded_file& f, std::string_view name) : f_(f), name_(name) {}
  // 1 an integer, 0 the end of the file, -1 a token that is not an integer.
  int next(int& value);
  // True when nothing but blanks is left; else line() names the line of
  // the next token (which is taken).
  bool at_end() {
    int ignored = 0;
    return next(ignored) == 0;
  }
  int line() const { return line_no_; }
  const std::string& name() const { return name_; }

 private:
  guarded_file& f_;
  std::string name_;
  std::string text_;
  std::size_t pos_ = 0;
  int line_no_ = 0;
};

// Checks a (row, column) pair read from a file against the grid; prints
// the message naming the file and line and stops the run when it lies
// outside. True when it is inside.
bool check_grid_position(int row, int col, int rows, int cols, const int_token_reader& in);

}  // namespace nivra
