#include "core/value_range.h"

#include <cstdio>

#include "core/tokens.h"

namespace nivra {

std::string value_range::describe(bool whole) const {
  auto number = [](double v) {
    char buf[40];
    if (v > -1e15 && v < 1e15 && v == static_cast<double>(static_cast<long long>(v)))
      std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    else
      std::snprintf(buf, sizeof buf, "%g", v);
    return std::string(buf);
  };
  const bool bounded =
      lo > -std::numeric_limits<double>::max() || hi < std::numeric_limits<double>::max();
  std::string text = whole ? "a whole number" : "a number";
  if (bounded) text += lo_open ? " above " + number(lo) + " and at most " + number(hi)
                               : " from " + number(lo) + " to " + number(hi);
  if (*unit) text += std::string(" (") + unit + ")";
  return text;
}

bool token_in_range(std::string_view token, bool whole, const value_range& range, double& out) {
  bool read = false;
  if (whole) {
    int v = 0;
    read = whole_token_int(token, v);
    out = v;
  } else {
    read = whole_token_double(token, out);
  }
  return read && range.contains(out);
}

}  // namespace nivra
