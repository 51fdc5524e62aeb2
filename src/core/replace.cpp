#include "core/replace.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/guarded_file.h"
#include "core/process.h"
#include "core/tokens.h"

namespace nivra {

namespace {

// The value type a format prints: of the letters d, f and s the last one
// in the format decides; -1 when none occurs.
int type_of_format(const std::string& fmt) {
  int type = -1;
  for (char c : fmt) {
    if (c == 'd') type = 0;
    if (c == 'f') type = 1;
    if (c == 's') type = 2;
  }
  return type;
}

// A format is printed with a value of its type, so it must hold exactly one
// conversion of that type (a format from a file is never trusted blindly).
bool format_is_safe(const std::string& fmt, int type) {
  int conversions = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    ++i;
    if (i < fmt.size() && fmt[i] == '%') continue;
    while (i < fmt.size() && std::strchr("-+ #0", fmt[i])) ++i;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') ++i;
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') ++i;
    }
    // "%lf" is a double as "%f" is; a length modifier before an integer or
    // a string conversion would make printf read another type than the
    // value has ("%ld" prints -5 as 4294967291), so none is taken there.
    if (i + 1 < fmt.size() && fmt[i] == 'l' && type == 1) ++i;
    if (i >= fmt.size()) return false;
    char conv = fmt[i];
    bool match = (type == 0 && (conv == 'd' || conv == 'i')) ||
                 (type == 1 && (conv == 'f' || conv == 'e' || conv == 'g' || conv == 'E' ||
                                conv == 'G')) ||
                 (type == 2 && conv == 's');
    if (!match) return false;
    ++conversions;
  }
  return conversions == 1;
}

void report_bad_line(const std::string& line) {
  std::printf("Error: Improperly formatted line in the replacement parameter file\nline:%s\n",
              line.c_str());
}

}  // namespace

void free_replace_params() { process.replace_list.clear(); }

int parse_replace_param_line(const std::string& line) {
  std::size_t open = line.rfind('[');
  std::size_t close = line.rfind(']');
  if (open == std::string::npos || close == std::string::npos || close < open) {
    report_bad_line(line);
    return -1;
  }
  card_line rest(std::string_view(line).substr(close + 1));
  std::string fmt;
  next_token(rest, fmt);
  int type = type_of_format(fmt);
  if (type < 0 || !format_is_safe(fmt, type)) {
    report_bad_line(line);
    std::printf("---> The format must be a C-style format in quotes, such as \"%%4.2lf\"\n");
    return -1;
  }
  replace_param p;
  std::string key = line.substr(open, close - open + 1);
  if (!p.key.assign(key) || !p.format.assign(fmt)) {
    report_bad_line(line);
    std::printf("---> Keys hold at most %zu characters and formats at most %zu.\n",
                p.key.capacity - 1, p.format.capacity - 1);
    return -1;
  }
  p.key_len = static_cast<int>(key.size());
  p.value_type = type;
  process.replace_list.push_back(p);
  return 0;
}

int read_replace_param_file(const std::string& file_name) {
  free_replace_params();
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: unable to open the replace parameter file.\n");
    return -1;
  }
  int n = 0;
  std::string line;
  {
    // The count line is read as it stands: keys are not replaced in it.
    const int saved = process.replace_on;
    process.replace_on = 0;
    const int got = read_line(line, f);
    process.replace_on = saved;
    card_line count_line(line);
    std::string token;
    if (!got || !next_token(count_line, token) || !whole_token_int(token, n) || n < 0 ||
        next_token(count_line, token)) {
      std::printf("Error: unable to read the number of parameters in the parameter list file\n");
      std::printf("  (line 1 of %s must hold the number of keys, a whole number from 0)\n", file_name.c_str());
      return -1;
    }
  }
  for (int read = 0; read < n; ++read) {
    // Keys in the list file itself are never replaced.
    int saved = process.replace_on;
    process.replace_on = 0;
    int got = read_line(line, f);
    process.replace_on = saved;
    if (!got) {
      std::printf("Error: unexpected end of parameter list file after %d parameters. Expecting %d\n",
                  read, n);
      return -1;
    }
    parse_replace_param_line(line);
  }
  // A key beyond the count would never take a value.
  for (int line_no = n + 2; read_line(line, f); ++line_no) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::printf("Error: line %d of the parameter list file %s holds a key beyond the %d its first line counts.\n",
                line_no, file_name.c_str(), n);
    return -1;
  }
  return 0;
}

int read_replace_value_file(const std::string& file_name) {
  guarded_file f;
  if (!open_input_file(f, file_name)) {
    std::printf("Error: unable to open the value file %s.\n", file_name.c_str());
    return -1;
  }
  // Value lines are read whole, however many values they hold, and never
  // have keys replaced.
  int saved = process.replace_on;
  process.replace_on = 0;
  std::string line, value_line;
  int lines_read = 0;
  for (int i = 0; i <= process.replace_line; ++i) {
    if (!read_line(line, f)) break;
    value_line = line;
    ++lines_read;
  }
  process.replace_on = saved;
  // Every key takes one value of its type; a missing value, a number that
  // does not read whole or is not finite is refused, naming the file, the
  // line and the key.
  if (lines_read == 0 && !process.replace_list.empty()) {
    std::printf("Error: the value file %s holds no line of values.\n", file_name.c_str());
    return -1;
  }
  // The line asked for (REPLACE_LINE, or the batch run's number) must be
  // there: another line's values would make a run that was not asked for.
  if (lines_read < process.replace_line + 1) {
    std::printf("Error: line %d of the value file %s is asked for (REPLACE_LINE or the batch run), but the file holds "
                "%d lines.\n",
                process.replace_line + 1, file_name.c_str(), lines_read);
    return -1;
  }
  const int line_no = process.replace_line + 1;
  card_line values(value_line);
  for (replace_param& p : process.replace_list) {
    std::string tok;
    const bool present = next_token(values, tok) != 0;
    bool good = present;
    switch (p.value_type) {
      case 0: good = good && whole_token_int(tok, p.ival); break;
      case 1: good = good && whole_token_double(tok, p.dval) && std::isfinite(p.dval); break;
      default: p.sval.assign_cut(tok); break;
    }
    if (!good) {
      if (!present)
        std::printf("Error: line %d of the value file %s holds no value for the key %s.\n", line_no,
                    file_name.c_str(), p.key.c_str());
      else
        std::printf("Error: line %d of the value file %s gives the key %s the value \"%s\", which is "
                    "not %s.\n",
                    line_no, file_name.c_str(), p.key.c_str(), tok.c_str(),
                    p.value_type == 0 ? "a whole number" : "a finite number");
      return -1;
    }
    p.used = false;
  }
  std::string extra;
  if (next_token(values, extra)) {
    std::printf("Error: line %d of the value file %s holds \"%s\" after the values of its %d keys.\n", line_no,
                file_name.c_str(), extra.c_str(), static_cast<int>(process.replace_list.size()));
    return -1;
  }
  process.replace_count = 0;
  process.replace_on = 1;
  return 0;
}

std::string format_replace_value(const replace_param& p) {
  char buf[512];
  const char* fmt = p.format.c_str();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  switch (p.value_type) {
    case 0: std::snprintf(buf, sizeof buf, fmt, p.ival); break;
    case 1: std::snprintf(buf, sizeof buf, fmt, p.dval); break;
    default: std::snprintf(buf, sizeof buf, fmt, p.sval.c_str()); break;
  }
#pragma GCC diagnostic pop
  return std::string(buf);
}

int replace_at(std::string& line, std::size_t position, std::size_t* new_length) {
  for (replace_param& p : process.replace_list) {
    std::size_t n = static_cast<std::size_t>(p.key_len);
    if (line.compare(position, n, p.key.c_str(), n) != 0) continue;
    if (position + n > line.size()) continue;
    line.replace(position, n, format_replace_value(p));
    ++process.replace_count;
    p.used = true;
    if (new_length) *new_length = line.size();
    return 1;
  }
  return 0;
}

void replace_in_line(std::string& line) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '[') continue;
    if (!replace_at(line, i)) std::printf("Error: unable to match replace pair: %s\n", line.c_str());
  }
}

void print_replace_values(std::FILE* summary, int optimizer_flag) {
  if (summary) std::fprintf(summary, "\nUsing replacement values:\n");
  if (optimizer_flag != 1) msg_printf("\nUsing replacement values:\n");
  for (const replace_param& p : process.replace_list) {
    std::string v = format_replace_value(p);
    if (summary) std::fprintf(summary, "  %-14s = %s\n", p.key.c_str(), v.c_str());
    if (optimizer_flag != 1) msg_printf(" %-14s = %s\n", p.key.c_str(), v.c_str());
  }
  if (summary) std::fprintf(summary, "\n");
  if (optimizer_flag != 1) msg_printf("\n");
}

void print_replace_usage(std::FILE* summary, int optimizer_flag) {
  auto both = [&](const char* fmt, auto... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    if (summary) std::fprintf(summary, fmt, args...);
    if (optimizer_flag != 1) msg_printf(fmt, args...);
#pragma GCC diagnostic pop
  };
  both("\nTotal times a value was replaced: %d\n\n", process.replace_count);
  both("\nWas replacement value used?:\n");
  for (const replace_param& p : process.replace_list)
    both("  %-14s = %s", p.key.c_str(), p.used ? "Yes\n" : "No\n");
  both("\n");
  process.replace_count = 0;
}

}  // namespace nivra
