// The Sacramento soil-moisture accounting model: one step, its parameter
// file and the topographic index that spreads its baseflow.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/guarded_file.h"
#include "core/tokens.h"
#include "groundwater/lumped_files.h"
#include "groundwater/sacramento.h"
#include "inputs/grid_state.h"

namespace nivra {

namespace {

double stores(const sac_record& s) { return s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc; }

// The depletion of a rate k over a fraction dinc of the step.
double per_increment(double k, int ninc, double dinc) { return ninc > 1 ? 1.0 - std::pow(1.0 - k, dinc) : k; }

// The most increments a step takes: 5 mm of upper free water and input per
// increment.
constexpr int max_increments = 1000000;

}  // namespace

sac_step_water sacramento_step(sac_record& s, double ep, double pxv) {
  sac_step_water w;
  const double before = stores(s);

  // 1. The upper zone's tension water, then its free water, meet the demand.
  double e1 = ep * s.uztwc / s.uztwm;
  s.uztwc -= e1;
  double e2 = 0.0;
  if (s.uztwc < 0.0) {
    e1 += s.uztwc;
    s.uztwc = 0.0;
    e2 = std::min(ep - e1, s.uzfwc);
    s.uzfwc -= e2;
  }
  w.et = e1 + e2;

  // 2. Free water wetter than the tension water evens the two out.
  if (s.uztwc / s.uztwm < s.uzfwc / s.uzfwm) {
    const double ratio = (s.uztwc + s.uzfwc) / (s.uztwm + s.uzfwm);
    s.uztwc = s.uztwm * ratio;
    s.uzfwc = s.uzfwm * ratio;
  }

  // 3. The lower tension water takes from the free water down to the
  // lower zone's overall fill.
  const double lower_room = s.lztwm + s.lzfpm + s.lzfsm - s.saved;
  if (lower_room > 0.0) {
    const double fill = (s.lztwc + s.lzfpc + s.lzfsc - s.saved) / lower_room;
    if (fill > s.lztwc / s.lztwm) {
      const double moved = (fill - s.lztwc / s.lztwm) * s.lztwm;
      s.lztwc += moved;
      s.lzfsc -= moved;
      if (s.lzfsc < 0.0) {
        s.lzfpc += s.lzfsc;
        s.lzfsc = 0.0;
      }
    }
  }

  // 4. The input fills the upper tension water first.
  double twx = pxv - (s.uztwm - s.uztwc);
  if (twx < 0.0) {
    s.uztwc += pxv;
    twx = 0.0;
  } else {
    s.uztwc = s.uztwm;
  }

  // 5. Increments of at most about 5 mm.
  const double increments = std::floor((s.uzfwc + twx) / 5.0 + 1.00001);
  const int ninc = static_cast<int>(std::clamp(increments, 1.0, static_cast<double>(max_increments)));
  const double dinc = 1.0 / ninc;
  const double pinc = twx * dinc;
  const double duz = per_increment(s.uzk, ninc, dinc);
  const double dlzp = per_increment(s.lzpk, ninc, dinc);
  const double dlzs = per_increment(s.lzsk, ninc, dinc);
  const double lower_capacity = s.lzfpm + s.lzfsm + s.lztwm;

  for (int i = 0; i < ninc; ++i) {
    // a. Baseflow of the lower free stores.
    const double bp = s.lzfpc * dlzp, bs = s.lzfsc * dlzs;
    s.lzfpc -= bp;
    s.lzfsc -= bs;
    w.baseflow += bp + bs;

    // b. Percolation, by the lower zone's deficit, and interflow.
    if (pinc + s.uzfwc > 0.01) {
      const double deficit = 1.0 - (s.lzfpc + s.lzfsc + s.lztwc) / lower_capacity;
      double perc = dinc * s.pbase * (s.uzfwc / s.uzfwm) * (1.0 + s.zperc * std::pow(std::max(deficit, 0.0), s.rexp));
      const bool all = perc > s.uzfwc;
      if (all) perc = s.uzfwc;
      s.uzfwc -= perc;
      // The lower zone takes no more than its room.
      const double excess = s.lzfpc + s.lzfsc + s.lztwc + perc - lower_capacity;
      if (excess > 0.0) {
        perc -= excess;
        s.uzfwc += excess;
      }
      if (!all) {
        const double inter = duz * s.uzfwc;
        w.interflow += inter;
        s.uzfwc -= inter;
      }

      // c. The percolation fills the lower tension water, the rest and
      // the free share go to the two free stores by their deficits.
      double perct = perc * (1.0 - s.pfree);
      double percf = 0.0;
      if (perct + s.lztwc <= s.lztwm) {
        s.lztwc += perct;
      } else {
        percf = perct + s.lztwc - s.lztwm;
        s.lztwc = s.lztwm;
      }
      percf += perc * s.pfree;
      if (percf > 0.0) {
        const double hpl = s.lzfpm / (s.lzfpm + s.lzfsm);
        const double ratlp = s.lzfpc / s.lzfpm, ratls = s.lzfsc / s.lzfsm;
        const double both = (1.0 - ratls) + (1.0 - ratlp);
        const double fracp = both > 0.0 ? std::clamp(2.0 * hpl * (1.0 - ratlp) / both, 0.0, 1.0) : hpl;
        double percs = percf * (1.0 - fracp);
        s.lzfsc += percs;
        if (s.lzfsc > s.lzfsm) {
          percs -= s.lzfsc - s.lzfsm;
          s.lzfsc = s.lzfsm;
        }
        s.lzfpc += percf - percs;
        // A primary store filled past its capacity passes the rest on to
        // the supplementary store, then to the tension water.
        if (s.lzfpc > s.lzfpm) {
          s.lzfsc += s.lzfpc - s.lzfpm;
          s.lzfpc = s.lzfpm;
          if (s.lzfsc > s.lzfsm) {
            s.lztwc += s.lzfsc - s.lzfsm;
            s.lzfsc = s.lzfsm;
          }
        }
      }
    }

    // d. The input fills the upper free water; what it cannot hold runs off.
    if (pinc > 0.0) {
      if (pinc >= s.uzfwm - s.uzfwc) {
        w.surface += pinc - (s.uzfwm - s.uzfwc);
        s.uzfwc = s.uzfwm;
      } else {
        s.uzfwc += pinc;
      }
    }
  }

  s.sac_runoff = w.runoff();
  s.sac_residual += (before - stores(s)) + pxv - w.et - s.sac_runoff;
  return w;
}

int sacramento_card_index(std::string& line) {
  static const char* const words[] = {"uztwm", "uzfwm", "uzk",   "zperc", "rexp",  "lztwm",
                                      "lzfsm", "lzfpm", "lzsk",  "lzpk",  "pfree", "uztwc",
                                      "uzfwc", "lztwc", "lzfsc", "lzfpc", "num_basins", "basin", "saved"};
  return lumped_card_index(line, "nivra_sacramento", words, 19);
}

bool read_sacramento_input(guarded_file& f, std::string_view name, sac_record& s) {
  // The 17 value cards in the order of sacramento_card_index (1-16, then
  // "saved").
  static const char* const cards[17] = {"uztwm", "uzfwm", "uzk",   "zperc", "rexp",  "lztwm",
                                        "lzfsm", "lzfpm", "lzsk",  "lzpk",  "pfree", "uztwc",
                                        "uzfwc", "lztwc", "lzfsc", "lzfpc", "saved"};
  double* const fields[17] = {&s.uztwm, &s.uzfwm, &s.uzk,   &s.zperc, &s.rexp,  &s.lztwm,
                              &s.lzfsm, &s.lzfpm, &s.lzsk,  &s.lzpk,  &s.pfree, &s.uztwc,
                              &s.uzfwc, &s.lztwc, &s.lzfsc, &s.lzfpc, &s.saved};
  const lumped_file_layout layout{"NIVRA_SACRAMENTO",
                                  {"The specified Sacramento model input parameter file does not",
                                   "have the proper header: NIVRA_SACRAMENTO ", "Program terminated in read_sacramento"},
                                  {"Premature end-of-file in the Sacramento parameter input file.",
                                   "The file should contain 21 parameters.  Only %d parameters read.",
                                   "Program terminated in read_sacramento_input."},
                                  {"Duplicate cards read in Sacramento parameter file.",
                                   "There should be only 21 different cards in the file", "with no duplicates.",
                                   "Program terminated in read_sacramento"},
                                  "Sacramento"};
  auto index_of = [](std::string& line) {
    const int k = sacramento_card_index(line);
    if (k >= 1 && k <= 16) return k - 1;
    if (k == 19) return 16;
    return k == 0 ? lumped_header : lumped_other;
  };
  if (!read_lumped_cards(f, name, layout, 17, cards, fields, index_of)) return false;

  // Capacities must hold water: the model divides by them.
  const char* const capacities[] = {"uztwm", "uzfwm", "lztwm", "lzfsm", "lzfpm"};
  const double values[] = {s.uztwm, s.uzfwm, s.lztwm, s.lzfsm, s.lzfpm};
  for (int i = 0; i < 5; ++i) {
    if (values[i] > 0.0) continue;
    std::printf("Error: the %s card of the Sacramento parameter file %.*s gives a capacity of %g mm; a capacity "
                "must be above 0.\n",
                capacities[i], static_cast<int>(name.size()), name.data(), values[i]);
    return false;
  }
  const struct {
    double* v;
    const char* card;
    double lo, hi;
  } ranges[] = {{&s.zperc, "zperc", 0.0, 1e6}, {&s.rexp, "rexp", 0.0, 100.0}, {&s.pfree, "pfree", 0.0, 1.0},
                {&s.saved, "saved", 0.0, 1e9}};
  for (const auto& r : ranges) {
    if (*r.v >= r.lo && *r.v <= r.hi) continue;
    std::printf("Error: the %s card of the Sacramento parameter file %.*s gives %g; it takes %g to %g.\n", r.card,
                static_cast<int>(name.size()), name.data(), *r.v, r.lo, r.hi);
    return false;
  }
  // Contents are fractions of their capacities.
  const struct {
    double* content;
    double capacity;
    const char* warning;
  } contents[] = {{&s.uztwc, s.uztwm, "WARNING:uztwc changed!"},
                  {&s.uzfwc, s.uzfwm, "WARNING:uzfwc changed!"},
                  {&s.lztwc, s.lztwm, "WARNING:lztwc changed!"},
                  {&s.lzfsc, s.lzfsm, "WARNING:lzfsc changed!"},
                  {&s.lzfpc, s.lzfpm, "WARNING:lzfpc changed!"}};
  for (const auto& c : contents) {
    if (*c.content > 1.0 || *c.content < 0.0) {
      *c.content = *c.content > 1.0 ? 0.99 : 0.01;
      std::fprintf(stderr, "%s\n", c.warning);
    }
    *c.content *= c.capacity;
  }
  const struct {
    double* rate;
    const char* warning;
  } rates[] = {{&s.uzk, "WARNING:uzk changed!"}, {&s.lzsk, "WARNING:lzsk changed!"}, {&s.lzpk, "WARNING:lzpk changed!"}};
  for (const auto& r : rates) {
    if (*r.rate > 1.0 || *r.rate < 0.0) {
      *r.rate = *r.rate > 1.0 ? 0.5 : 0.05;
      std::fprintf(stderr, "%s\n", r.warning);
    }
  }
  if (s.saved > s.lzfpc) {
    s.saved = s.lzfpc;
    std::fprintf(stderr, "WARNING:saved changed!\n");
  }
  s.pbase = s.lzfsm * s.lzsk + s.lzfpm * s.lzpk;
  s.sac_residual = 0.0;
  s.sac_runoff = 0.0;
  return true;
}

bool sacramento_topo_index(const grid_state& grid, array1d<double>& topo_dex) {
  std::vector<double> index, area;
  if (!flow_accumulation(grid, index, area)) return false;
  for (int c = 1; c <= grid.ncells; ++c) {
    const double v = index[static_cast<std::size_t>(c)];
    if (v < 0.0) {
      print_lumped_lines({"Warning: topodex routine has computed a negative topodex value",
                          "Check your input elevation file for large flat areas with",
                          "either the exact same elevation or nearly so (~0.0000x)",
                          "want to do this, you can remove the TOPO_INDEX card from your",
                          "NIVRA project file, and the NIVRA Sacramento Routine will the",
                          "simply put its output into the channels uniformly.", "Program terminated."});
      return false;
    }
    topo_dex[c] = v;
  }
  return true;
}

}  // namespace nivra
