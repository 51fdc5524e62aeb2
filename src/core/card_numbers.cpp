#include "core/card_numbers.h"

#include <cstdio>
#include <string>

namespace nivra {

bool card_numbers::whole(const char* what, int& out, const value_range& range) {
  double v = 0.0;
  if (!next(what, true, v, range)) return false;
  out = static_cast<int>(v);
  return true;
}

bool card_numbers::real(const char* what, double& out, const value_range& range) {
  return next(what, false, out, range);
}

bool card_numbers::at_end() const {
  for (char c : line_.rest())
    if (!is_token_sep(c) && c != '\r') return false;
  return true;
}

bool card_numbers::next(const char* what, bool is_whole, double& v, const value_range& range) {
  std::string token;
  bool good = next_token(line_, token) != 0;
  if (good && is_whole) {
    int n = 0;
    good = whole_token_int(token, n);
    v = n;
  } else if (good) {
    good = whole_token_double(token, v);
  }
  if (good && range.contains(v)) return true;
  const std::string given = token.empty() ? "no value" : "\"" + token + "\"";
  if (card_)
    std::fprintf(stderr, "Error: the %s card at line %d of %s gives %s %s; it takes %s.\n", card_, line_no_, file_,
                 what, given.c_str(), range.describe(is_whole).c_str());
  else
    std::fprintf(stderr, "Error: line %d of %s gives %s %s; it takes %s.\n", line_no_, file_, what, given.c_str(),
                 range.describe(is_whole).c_str());
  return false;
}

}  // namespace nivra
