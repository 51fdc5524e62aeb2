// The physical range of a number read from an input: every number a reader
// takes is finite and lies from lo to hi (above lo when lo_open). The card
// table gives one per card; map, table and small-file readers are handed
// the range of what they read. The unit is named in the message that
// refuses a number outside the range.
#pragma once

#include <limits>
#include <string>
#include <string_view>

namespace nivra {

struct value_range {
  double lo = -std::numeric_limits<double>::max();
  double hi = std::numeric_limits<double>::max();
  bool lo_open = false;
  const char* unit = "";

  // False for NaN and the infinities whatever the bounds.
  constexpr bool contains(double v) const {
    return (lo_open ? v > lo : v >= lo) && v <= hi;
  }
  // "a number above 0.001 and at most 3600 (s)", "a whole number from 1 to
  // 100000", "a number".
  std::string describe(bool whole = false) const;
};

// A token read whole as one number (a whole number when asked, which an
// int holds) that lies within the range. False for an empty token.
bool token_in_range(std::string_view token, bool whole, const value_range& range, double& out);

// From lo to hi; above lo and at most hi.
constexpr value_range from_to(double lo, double hi, const char* unit = "") {
  return value_range{lo, hi, false, unit};
}
constexpr value_range above_to(double lo, double hi, const char* unit = "") {
  return value_range{lo, hi, true, unit};
}

// Any finite number.
inline constexpr value_range any_number{};

// Ranges several readers share (a card and a map of the same quantity).
// Ground and water-surface elevations: from the deepest ocean trench to the
// highest summit.
inline constexpr value_range ground_elevation = from_to(-11000, 9000, "m");
// Depressions that hold water back on a cell.
inline constexpr value_range retention_depth = from_to(0, 1000, "mm");
// Manning's n of the overland surface.
inline constexpr value_range manning_roughness = above_to(0, 10);
// The rate of a well or a pump, either way: beyond the largest pumping
// stations there are.
inline constexpr value_range pumped_rate = from_to(-1000, 1000, "m3/s");

}  // namespace nivra
