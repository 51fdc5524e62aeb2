#include "core/tokens.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>

#include "core/guarded_file.h"
#include "core/process.h"
#include "core/replace.h"

namespace nivra {

int read_line(std::string& line, std::FILE* fp) {
  line.clear();
  if (!fp) return 0;
  char chunk[16384];
  bool got = false;
  while (std::fgets(chunk, sizeof chunk, fp)) {
    got = true;
    std::size_t n = std::strlen(chunk);
    line.append(chunk, n);
    if (n > 0 && chunk[n - 1] == '\n') break;
  }
  if (!got) return 0;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  // Files written on Windows end their lines in a carriage return too.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (process.replace_on) replace_in_line(line);
  return 1;
}

int read_line(std::string& line, guarded_file& f) { return read_line(line, f.fp); }

int read_line(card_line& line, guarded_file& f) {
  std::string& buf = line.text();
  int r = read_line(buf, f.fp);
  return r;
}

namespace {

inline std::size_t skip_seps(const std::string& s, std::size_t p) {
  while (p < s.size() && is_token_sep(s[p])) ++p;
  return p;
}

inline bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

double scan_double(std::string_view s, bool* ok) {
  std::size_t i = 0;
  while (i < s.size() && is_space(s[i])) ++i;
  const char* b = s.data() + i;
  const char* e = s.data() + s.size();
  if (b < e && *b == '+' && b + 1 < e && *(b + 1) != '-' && *(b + 1) != '+') ++b;
  double v = 0.0;
  bool hex = (e - b >= 2 && b[0] == '0' && (b[1] == 'x' || b[1] == 'X')) ||
             (e - b >= 3 && b[0] == '-' && b[1] == '0' && (b[2] == 'x' || b[2] == 'X'));
  if (!hex) {
    auto r = std::from_chars(b, e, v);
    if (r.ec == std::errc()) {
      if (ok) *ok = true;
      return v;
    }
    if (r.ec == std::errc::invalid_argument) {
      if (ok) *ok = false;
      return 0.0;
    }
  }
  // Out of range or hexadecimal: do what "%lf" does.
  std::string tmp(s);
  char* end = nullptr;
  v = std::strtod(tmp.c_str(), &end);
  if (ok) *ok = end != tmp.c_str();
  return end == tmp.c_str() ? 0.0 : v;
}

int scan_int(std::string_view s, bool* ok) {
  std::size_t i = 0;
  while (i < s.size() && is_space(s[i])) ++i;
  const char* b = s.data() + i;
  const char* e = s.data() + s.size();
  bool neg = false;
  if (b < e && (*b == '+' || *b == '-')) {
    neg = *b == '-';
    ++b;
  }
  long long v = 0;
  auto r = std::from_chars(b, e, v);
  if (r.ec == std::errc::invalid_argument || (b < e && *b == '-')) {
    if (ok) *ok = false;
    return 0;
  }
  if (ok) *ok = true;
  if (r.ec == std::errc::result_out_of_range) v = LLONG_MAX;
  if (neg) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int>(v);
}

bool whole_token_double(std::string_view token, double& out) {
  if (token.empty() || is_space(token.front())) return false;
  if (read_plain_decimal(token.data(), token.data() + token.size(), out) == token.data() + token.size()) return true;
  // The quick path takes plain decimal numbers (and "inf", "nan"); a sign
  // "+", hexadecimal and values beyond the range of a double go to strtod,
  // which reads them as "%lf" does. Either way the whole token is used.
  const char* b = token.data();
  const char* e = b + token.size();
  if (*b != '+') {
    const auto r = std::from_chars(b, e, out);
    if (r.ec == std::errc() && r.ptr == e) return true;
    if (r.ec == std::errc::invalid_argument) return false;
  }
  std::string text(token);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  out = v;
  return true;
}

bool whole_token_int(std::string_view token, int& out) {
  const char* b = token.data();
  const char* e = token.data() + token.size();
  if (b < e && *b == '+') {
    ++b;
    if (b < e && *b == '-') return false;
  }
  if (b == e || *b == '+') return false;
  int v = 0;
  auto r = std::from_chars(b, e, v);
  if (r.ec != std::errc() || r.ptr != e) return false;
  out = v;
  return true;
}

int next_token(card_line& line, std::string& token) {
  token.clear();
  std::string& s = line.buf_;
  std::size_t p = skip_seps(s, line.pos_);
  if (p >= s.size()) return 0;
  if (s[p] == '"') {
    s[p] = ' ';
    std::size_t q = p + 1;
    std::size_t close = s.find('"', q);
    std::size_t end = close == std::string::npos ? s.size() : close;
    token.assign(s, q, end - q);
    if (close != std::string::npos) s[close] = ' ';
    if (token.empty()) return 0;  // two quotes in a row: both are now blanks
    p = end;
  } else {
    std::size_t q = p;
    while (q < s.size() && !is_token_sep(s[q])) ++q;
    token.assign(s, p, q - p);
    p = q;
  }
  line.pos_ = skip_seps(s, p);
  return 1;
}

namespace {

template <class F>
int next_number(card_line& line, std::string& s, std::size_t& pos, F convert) {
  std::size_t p = skip_seps(s, pos);
  if (p >= s.size()) return 0;
  std::size_t q = p;
  while (q < s.size() && !is_token_sep(s[q])) ++q;
  convert(std::string_view(s).substr(p, q - p));
  pos = skip_seps(s, q);
  return 1;
}

}  // namespace

int next_number_token(card_line& line, std::string_view& token, double& value) {
  int found = 0;
  next_number(line, line.buf_, line.pos_, [&](std::string_view t) {
    token = t;
    found = whole_token_double(t, value) ? 1 : -1;
  });
  return found;
}

int next_token_double(card_line& line, double& out) {
  out = 0.0;
  return next_number(line, line.buf_, line.pos_, [&](std::string_view t) { out = scan_double(t); });
}

int next_token_int(card_line& line, int& out) {
  out = 0;
  return next_number(line, line.buf_, line.pos_, [&](std::string_view t) { out = scan_int(t); });
}

std::string to_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

int keyword_equal(std::string_view a, std::string_view b) {
  card_line la(a), lb(b);
  std::string ta, tb;
  next_token(la, ta);
  next_token(lb, tb);
  if (ta.size() != tb.size()) return 0;
  for (std::size_t i = 0; i < ta.size(); ++i) {
    char x = ta[i], y = tb[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return 0;
  }
  return 1;
}

std::size_t find_second_word(std::string_view text) {
  if (text.empty()) return 0;
  auto is_sep = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
  int words = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool start = !is_sep(text[i]) && (i == 0 || is_sep(text[i - 1]));
    if (start && ++words == 2) return i;
  }
  return text.size() - 1;
}

int str_drop_front(std::string& text, std::size_t n) {
  if (text.empty()) return -1;
  if (n >= text.size())
    text.clear();
  else
    text.erase(0, n);
  return 0;
}

void strip_quotes(std::string& text) {
  if (text.empty()) return;
  if (text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
}

std::string_view strip_quotes_view(std::string_view text) {
  if (!text.empty() && text.front() == '"') text.remove_prefix(1);
  if (!text.empty() && text.back() == '"') text.remove_suffix(1);
  return text;
}

}  // namespace nivra
