// The conceptual groundwater model: two linear stores, their parameter file
// and the upslope area that spreads their outflow over the channels.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/guarded_file.h"
#include "core/tokens.h"
#include "groundwater/lumped_files.h"
#include "groundwater/sacramento.h"
#include "inputs/grid_state.h"

namespace nivra {

congw_outflows congw_two_store(double p, congw_store_block& s) {
  congw_outflows q;
  q.fast = s.fast_content * s.fast_rate;
  s.fast_content *= 1.0 - s.fast_rate;
  q.slow = s.slow_content * s.slow_rate;
  s.slow_content *= 1.0 - s.slow_rate;
  if (p > 0.0) {
    // The slow store takes the larger share the emptier it is against the
    // fast one; what it cannot hold goes to the fast store.
    const double rf = s.fast_content / s.fast_max;
    const double h = 2.0 * s.fast_max / (s.slow_max + s.fast_max);
    const double room = (1.0 - s.slow_content / s.slow_max) + (1.0 - rf);
    double to_slow = room > 0.0 ? std::clamp((1.0 - h * (1.0 - rf) / room) * p, 0.0, p) : 0.0;
    s.slow_content += to_slow;
    if (s.slow_content > s.slow_max) {
      to_slow -= s.slow_content - s.slow_max;
      s.slow_content = s.slow_max;
    }
    s.fast_content += p - to_slow;
  }
  s.congw_outflow = q.slow + q.fast;
  return q;
}

int conceptual_gw_card_index(std::string& line) {
  static const char* const words[] = {"slow_max",     "fast_max",     "slow_rate",        "fast_rate",
                                      "slow_content", "fast_content", "underflow_percent"};
  return lumped_card_index(line, "nivra_conceptual_gw", words, 7);
}

bool read_conceptual_gw(guarded_file& f, std::string_view name, congw_store_block& s) {
  static const char* const cards[7] = {"slow_max",     "fast_max",     "slow_rate",        "fast_rate",
                                       "slow_content", "fast_content", "underflow_percent"};
  double* const fields[7] = {&s.slow_max,     &s.fast_max,     &s.slow_rate,        &s.fast_rate,
                             &s.slow_content, &s.fast_content, &s.underflow_percent};
  const lumped_file_layout layout{"NIVRA_CONCEPTUAL_GW",
                                  {"The specified Sacramento model input parameter file does not",
                                   "have the proper header: NIVRA_CONCEPTUAL_GW ",
                                   "Program terminated in read_conceptual_gw"},
                                  {"Premature end-of-file in the Conceptual GW parameter input file.",
                                   "The file should contain 9 parameters.  Only %d parameters read.",
                                   "Program terminated in read_conceptual_gw."},
                                  {"Duplicate cards read in Conceptual_GW parameter file.",
                                   "There should be only 8 different cards in the file", "with no duplicates.",
                                   "Program terminated in read_conceptual_gw"},
                                  "conceptual groundwater"};
  auto index_of = [](std::string& line) {
    const int k = conceptual_gw_card_index(line);
    if (k >= 1 && k <= 7) return k - 1;
    return k == 0 ? lumped_header : lumped_other;
  };
  if (!read_lumped_cards(f, name, layout, 7, cards, fields, index_of)) return false;

  const struct {
    double* v;
    double moved_to;
    const char* warning;
  } negatives[] = {{&s.slow_max, 10.0, "WARNING:slow_max changed!"},
                   {&s.fast_max, 10.0, "WARNING:fast_max changed!"},
                   {&s.slow_rate, 0.01, "WARNING:slow_rate changed!"},
                   {&s.fast_rate, 0.01, "WARNING:fast_rate changed!"},
                   {&s.slow_content, 0.01, "WARNING:slow_content changed!"},
                   {&s.fast_content, 0.01, "WARNING:fast_content changed!"}};
  for (const auto& k : negatives) {
    if (*k.v >= 0.0) continue;
    *k.v = k.moved_to;
    std::fprintf(stderr, "%s\n", k.warning);
  }
  if (s.underflow_percent > 1.0) {
    s.underflow_percent = 0.01;
    std::fprintf(stderr, "WARNING:underflow_percent changed!\n");
  }
  // A store of no capacity cannot take a share of the input; a store cannot
  // release more than it holds.
  const struct {
    double v;
    const char* card;
    bool capacity;
  } checks[] = {{s.slow_max, "slow_max", true},
                {s.fast_max, "fast_max", true},
                {s.slow_rate, "slow_rate", false},
                {s.fast_rate, "fast_rate", false}};
  for (const auto& k : checks) {
    if (k.capacity ? k.v > 0.0 : k.v <= 1.0) continue;
    std::printf("Error: the %s card of the conceptual groundwater parameter file %.*s gives %g; %s.\n", k.card,
                static_cast<int>(name.size()), name.data(), k.v,
                k.capacity ? "a capacity must be above 0" : "a store releases at most all it holds (1)");
    return false;
  }
  s.congw_max_outflow = s.slow_max * s.slow_rate + s.fast_max * s.fast_rate;
  s.slow_content *= s.slow_max;
  s.fast_content *= s.fast_max;
  s.congw_outflow = 0.0;
  return true;
}

bool produce_upslope_area(const grid_state& grid, array1d<double>& upslope_area) {
  std::vector<double> index, area;
  if (!flow_accumulation(grid, index, area)) return false;
  for (int c = 1; c <= grid.ncells; ++c) upslope_area[c] = area[static_cast<std::size_t>(c)];
  guarded_file out;
  if (!open_guarded_file(out, "upslope.out", "w")) {
    std::printf("Can't open debug file in produce upslope area\n");
    return false;
  }
  std::fprintf(out.fp, "north: %f\nsouth: %f\neast:  %f\nwest:  %f\nrows:  %d\ncols:  %d\n",
               grid.nrows * grid.grid_size + 1e6, 1e6, grid.ncols * grid.grid_size + 100000.0, 100000.0, grid.nrows,
               grid.ncols);
  for (int r = 1; r <= grid.nrows; ++r) std::fprintf(out.fp, "\n");
  return true;
}

}  // namespace nivra
