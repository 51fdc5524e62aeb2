// Text reading shared by the toolbox's files: a whole file read into one
// growing string, and a cursor that takes white-space separated words or
// whole lines from it and knows the line it is on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nivra {

class guarded_file;

// Opens a file of the toolbox by its name as given (relative to the working
// folder): the toolbox's own files take no run prefix and no folder search.
bool open_toolbox_file(guarded_file& f, std::string_view name, const char* mode);

// Reads the whole file (binary) into text; false when it cannot be opened.
bool read_text_file(std::string_view name, std::string& text);

// Blank, tab, line feed, carriage return, vertical tab or form feed: what
// separates the words of the control and restart files.
inline bool is_white(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

class text_cursor {
 public:
  explicit text_cursor(std::string_view text) : text_(text) {}

  // The next word, white space before it skipped; false at the end.
  bool next_word(std::string_view& word);
  // Moves past the next line feed (to the end when there is none); false
  // when the cursor already was at the end.
  bool skip_line();
  // The text from the cursor to the end of its line (line feed excluded).
  std::string_view rest_of_line() const;

  bool at_end() const { return pos_ >= text_.size(); }
  // Characters from the cursor to the end.
  std::size_t rest_size() const { return text_.size() - pos_; }
  std::size_t position() const { return pos_; }
  // The 1-based line of the cursor.
  int line() const { return line_; }
  // The line of the last word taken (for messages about it).
  int word_line() const { return word_line_; }

 private:
  void advance_to(std::size_t p);
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int word_line_ = 1;
};

// Equal names: a name equals the wanted one as written, lower-cased or
// upper-cased (the rule the instruction and template files use to find an
// observation or a parameter).
bool name_matches(std::string_view record_name, std::string_view written);

// Reports a numbered message of the toolbox at once (set_error, then
// report_error) and returns its code.
int toolbox_report(int code, std::string_view str1 = {}, std::string_view str2 = {},
                   int int1 = 0, int int2 = 0);

// The toolbox's message codes (texts in the central message table).
namespace toolbox_msg {
inline constexpr int open_control = 201;
inline constexpr int log_not_positive = 202;
inline constexpr int prior_format = 203;
inline constexpr int control_value = 204;
inline constexpr int control_incomplete = 205;
inline constexpr int item_too_long = 206;
inline constexpr int tied_parent_missing = 207;
inline constexpr int tied_parent_zero = 208;
inline constexpr int too_many_templates = 209;
inline constexpr int too_many_instructions = 210;
inline constexpr int template_header = 211;
inline constexpr int template_name = 212;
inline constexpr int instruction_format = 213;
inline constexpr int semi_fixed = 214;
inline constexpr int model_output = 215;
inline constexpr int open_restart = 216;
inline constexpr int restart_format = 217;
inline constexpr int derivative_word = 218;
inline constexpr int no_group = 219;
inline constexpr int first_run_failed = 220;
inline constexpr int final_run_failed = 221;
inline constexpr int search_input = 222;
inline constexpr int no_sample_ran = 223;
inline constexpr int observation_read_twice = 224;
inline constexpr int observation_never_read = 225;
inline constexpr int open_file = 4;     // "Unable to open <role> file" of the central table
inline constexpr int write_file = 59;   // "Can't open output file"
}  // namespace toolbox_msg

}  // namespace nivra
