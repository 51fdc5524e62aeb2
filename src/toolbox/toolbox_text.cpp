#include "toolbox/toolbox_text.h"

#include <cstdio>
#include <filesystem>

#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/platform.h"

namespace nivra {

bool open_toolbox_file(guarded_file& f, std::string_view name, const char* mode) {
  if (f.fp) close_guarded_file(f);
  std::FILE* fp = std::fopen(os_path(name).c_str(), mode);
  if (!fp) return false;
  f.fp = f.fp_guard = fp;
  f.name.assign_cut(name);
  f.mode.assign_cut(mode);
  return true;
}

bool read_text_file(std::string_view name, std::string& text) {
  text.clear();
  // A folder opens for reading on some systems and reads as nothing.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(os_path(name), ec)) return false;
  guarded_file f;
  if (!open_toolbox_file(f, name, "rb")) return false;
  char buf[1 << 16];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.fp)) > 0) text.append(buf, n);
  return true;
}

void text_cursor::advance_to(std::size_t p) {
  if (p > text_.size()) p = text_.size();
  for (std::size_t i = pos_; i < p; ++i)
    if (text_[i] == '\n') ++line_;
  pos_ = p;
}

bool text_cursor::next_word(std::string_view& word) {
  std::size_t b = pos_;
  while (b < text_.size() && is_white(text_[b])) ++b;
  advance_to(b);
  if (b >= text_.size()) {
    word = {};
    return false;
  }
  std::size_t e = b;
  while (e < text_.size() && !is_white(text_[e])) ++e;
  word = text_.substr(b, e - b);
  word_line_ = line_;
  advance_to(e);
  return true;
}

bool text_cursor::skip_line() {
  if (at_end()) return false;
  std::size_t nl = text_.find('\n', pos_);
  advance_to(nl == std::string_view::npos ? text_.size() : nl + 1);
  return true;
}

std::string_view text_cursor::rest_of_line() const {
  std::size_t nl = text_.find('\n', pos_);
  if (nl == std::string_view::npos) nl = text_.size();
  return text_.substr(pos_, nl - pos_);
}

namespace {
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool name_matches(std::string_view record_name, std::string_view written) {
  if (record_name.size() != written.size()) return false;
  if (record_name == written) return true;
  bool low = true, up = true;
  for (std::size_t i = 0; i < written.size() && (low || up); ++i) {
    low = low && record_name[i] == lower(written[i]);
    up = up && record_name[i] == upper(written[i]);
  }
  return low || up;
}

int toolbox_report(int code, std::string_view str1, std::string_view str2, int int1, int int2) {
  set_error(code, str1, str2, int1, int2);
  report_error();
  return code;
}

}  // namespace nivra
