#include "maps/input_report.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/errors.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "maps/grid_map.h"
#include "model/model_state.h"
#include "model/project.h"
#include "output/output_state.h"

namespace nivra {

void input_report(const model_state& ms, console_rule rule, const char* format, ...) {
  bool console = ms.project.super_quiet == 0 && process.parallel_env.proc_id == 0;
  if (rule == console_rule::unless_quiet && ms.project.optimizer_mode == 1) console = false;
  std::FILE* summary = ms.output.summary_file.fp;
  if (console) {
    va_list ap;
    va_start(ap, format);
    std::vprintf(format, ap);
    va_end(ap);
  }
  if (summary) {
    va_list ap;
    va_start(ap, format);
    std::vfprintf(summary, format, ap);
    va_end(ap);
  }
}

void report_two_ways(const model_state& ms, const std::string& console, const std::string& summary) {
  if (ms.project.super_quiet == 0 && process.parallel_env.proc_id == 0 && ms.project.optimizer_mode != 1)
    std::printf("%s", console.c_str());
  if (ms.output.summary_file.fp) std::fprintf(ms.output.summary_file.fp, "%s", summary.c_str());
}

std::string with_name(const char* format, std::string_view name) {
  char text[2300];
  std::snprintf(text, sizeof text, format, std::string(name).c_str());
  return text;
}

void stop_with_own_message() {
  set_error(own_message_code);
  report_error();
}

parameter_source read_parameter_map(model_state& ms, guarded_file& file, std::string_view name,
                                    array1d<double>& values, const value_range& range, const char* map_line,
                                    const char* table_line) {
  if (!file.is_open()) {
    input_report(ms, console_rule::unless_quiet, "%s", table_line);
    return parameter_source::table;
  }
  const std::string file_name(name);
  input_report(ms, console_rule::unless_quiet, map_line, file_name.c_str());
  if (values.size() != ms.grid.ncells) values.alloc(ms.grid.ncells);
  read_cell_map(ms.grid, file, name, values, ms.project.optimizer_mode, range);
  close_guarded_file(file);
  return process.error_block.stop ? parameter_source::stopped : parameter_source::map;
}

int int_token_reader::next(int& value) {
  auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
  for (;;) {
    while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
    if (pos_ < text_.size()) break;
    // Next line, read as it stands (no key replacement in these lists).
    if (!f_.fp) return 0;
    text_.clear();
    pos_ = 0;
    int c;
    bool any = false;
    while ((c = getc_unlocked(f_.fp)) != EOF) {
      any = true;
      if (c == '\n') break;
      text_.push_back(static_cast<char>(c));
    }
    if (!any) return 0;
    ++line_no_;
  }
  std::size_t end = pos_;
  while (end < text_.size() && !is_blank(text_[end])) ++end;
  const char* b = text_.data() + pos_;
  const char* e = text_.data() + end;
  if (b < e && *b == '+') ++b;
  auto r = std::from_chars(b, e, value);
  pos_ = end;
  return (r.ec == std::errc() && r.ptr == e) ? 1 : -1;
}

bool check_grid_position(int row, int col, int rows, int cols, const int_token_reader& in) {
  if (row >= 1 && row <= rows && col >= 1 && col <= cols) return true;
  std::printf("Error: row %d, column %d at line %d of file %s lies outside the grid of %d rows and %d columns\n",
              row, col, in.line(), in.name().c_str(), rows, cols);
  stop_with_own_message();
  return false;
}

}  // namespace nivra
