#include "channel/structures.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "channel/culvert_flow.h"
#include "core/elevation_series.h"
#include "core/time_series.h"

namespace nivra {

namespace {

constexpr const char* kind_words[] = {"weir",         "sag_weir",     "round_culvert",     "oval_culvert",
                                      "rect_culvert", "rating_curve", "scheduled_release", "rule_curve"};

// The level above which a curve of discharges by headwater gives one:
// interpolated between its points, or stepwise (each point's discharge
// holds above its level up to the next point's).
double curve_release_level(const elevation_series* es, bool stepwise) {
  if (!es || es->count < 1) return std::numeric_limits<double>::infinity();
  const std::vector<double>& x = es->x;
  const std::vector<double>& y = es->y;
  const int n = std::min({es->count, static_cast<int>(x.size()), static_cast<int>(y.size())});
  for (int i = 0; i < n; ++i) {
    if (y[i] <= 0.0) continue;
    if (i == 0) return -std::numeric_limits<double>::infinity();
    if (stepwise) return x[i];
    // Where the line from the point before, which gives none, crosses zero.
    return x[i - 1] - y[i - 1] / (y[i] - y[i - 1]) * (x[i] - x[i - 1]);
  }
  return std::numeric_limits<double>::infinity();
}

}  // namespace

const char* structure_kind_word(int type) {
  return type >= 1 && type <= 8 ? kind_words[type - 1] : "";
}

int structure_kind_of(const char* word) {
  std::string w(word);
  for (char& ch : w) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  // The words are compared in this order over each word's own length, so
  // "sag_weir" is no "weir" but "weirs" is.
  for (int t = 1; t <= 8; ++t)
    if (w.compare(0, std::strlen(kind_words[t - 1]), kind_words[t - 1]) == 0) return t;
  return 0;
}

double lowest_release_level(const channel_structures& s, int link) {
  double lowest = std::numeric_limits<double>::infinity();
  if (link < 1 || static_cast<std::size_t>(link) >= s.link_structs.size()) return lowest;
  const struct_range& range = s.link_structs[static_cast<std::size_t>(link)];
  for (int i = range.first; i <= range.last && static_cast<std::size_t>(i) < s.struct_elements.size(); ++i) {
    const structure_element& e = s.struct_elements[static_cast<std::size_t>(i)];
    double level = std::numeric_limits<double>::infinity();
    if (e.type == structure_kind::weir || e.type == structure_kind::sag_weir || structure_kind::is_culvert(e.type))
      level = e.upinvert;
    else if (e.type == structure_kind::rating_curve)
      level = curve_release_level(e.elev_series, false);
    else if (e.type == structure_kind::rule_curve)
      level = curve_release_level(e.elev_series, true);
    lowest = std::min(lowest, level);
  }
  return lowest;
}

structure_status structure_sum(const channel_structures& s, int link, double hw, double tw, double model_time,
                               double& q) {
  const struct_range& range = s.link_structs[static_cast<std::size_t>(link)];
  double sum = 0.0;
  for (int i = range.first; i <= range.last; ++i) {
    const structure_element& e = s.struct_elements[static_cast<std::size_t>(i)];
    switch (e.type) {
      case structure_kind::weir: sum += weir_flow_a(e, hw, tw); break;
      case structure_kind::sag_weir: sum += weir_flow_b(e, hw, tw); break;
      case structure_kind::round_culvert:
      case structure_kind::oval_culvert:
      case structure_kind::rect_culvert: {
        if (!(hw - e.upinvert >= 1e-16 || tw - e.downinvert >= 1e-16)) break;
        const culvert_result r = culv_flow(e, i, hw, tw);
        if (r.q == culvert_failed) {
          std::printf("Error in link number %d: ", link);
          return structure_status::culvert_failed;
        }
        sum += r.q;
        break;
      }
      case structure_kind::rating_curve: sum += elev_series_interp(hw, e.elev_series); break;
      case structure_kind::scheduled_release: sum += ts_value_at(model_time, e.release_series); break;
      case structure_kind::rule_curve: sum += elev_series_step(hw, e.elev_series); break;
      default: break;
    }
  }
  q = sum;
  return structure_status::ok;
}

}  // namespace nivra
