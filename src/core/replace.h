// Bracket-key replacement. Calibration and batch runs change parameters
// without rewriting input files: any input line may hold keys such as
// [ROUGH1]; while replacement is on every line read is rewritten with the
// key's current value in the key's own format.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/text.h"

namespace nivra {

struct replace_param {
  fixed_text<28> key;      // with its brackets
  int key_len = 0;
  fixed_text<12> format;   // printf format of the value
  int value_type = 0;      // 0 int, 1 double, 2 string
  double dval = 0.0;
  int ival = 0;
  fixed_text<250> sval;
  bool used = false;
};

// Frees the list and reads a new one from the key list file; 0 or -1.
int read_replace_param_file(const std::string& file_name);
// Adds one entry from a list line; 0 or -1 for a malformed line.
int parse_replace_param_line(const std::string& line);
// Loads the values of the chosen line; sets replace_on. 0, or -1 when the
// file cannot be opened or a value is missing or does not read as a number
// of its key's type (the message names the file, line and key).
int read_replace_value_file(const std::string& file_name);
// Replaces every key in the line.
void replace_in_line(std::string& line);
// Tries every key at one position; 1 (and the new length) on a match.
int replace_at(std::string& line, std::size_t position, std::size_t* new_length = nullptr);
// The value of an entry printed in its format.
std::string format_replace_value(const replace_param& p);
void print_replace_values(std::FILE* summary, int optimizer_flag);
void print_replace_usage(std::FILE* summary, int optimizer_flag);
void free_replace_params();

}  // namespace nivra
