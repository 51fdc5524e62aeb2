#include "soil/soil_hotstart.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/guarded_file.h"
#include "core/state_file.h"
#include "core/value_range.h"
#include "soil/soil_state.h"

namespace nivra {

namespace {

constexpr const char* header = "NIVRA_SOIL_STATE";

// One per-cell value of a scheme's state: a real or a whole number of the
// soil component, or a column of a two-dimensional array.
struct soil_field {
  const char* name;
  array1d<double> soil_state::*real = nullptr;
  array1d<int> soil_state::*whole = nullptr;
  array2d<double> soil_state::*table = nullptr;
  int column = 0;
  value_range range = any_number;
  // A field a companion may leave out (one written before it was carried,
  // or a run without it): the cells then keep the set-up's value.
  bool later = false;
  // The ground's surface temperature of the energy balance (not a member
  // of the soil component).
  bool ground = false;
};

// The surface temperature the last hour's balance of the ground started
// from, K: the field each scheme's cells may end with.
const soil_field ground_temp_field{"ground_temp", nullptr, nullptr, nullptr, 0, from_to(0, 400, "K"), true, true};

using S = soil_state;
constexpr value_range content = from_to(0, 1);
constexpr value_range depth_m = from_to(-1e4, 1e4, "m");
constexpr value_range depth_cm = from_to(-1e6, 1e6, "cm");
constexpr value_range step = from_to(0, 2000000000);

const std::vector<soil_field>& fields_of(const soil_state& s) {
  static const std::vector<soil_field> green_ampt = {
      {"theta_i", &S::init_moisture, nullptr, nullptr, 0, content},
      {"F", &S::cum_infil, nullptr, nullptr, 0, depth_m},
  };
  static const std::vector<soil_field> accounting = {
      {"layer_depth", &S::sm_depth, nullptr, nullptr, 0, depth_cm},
      {"top_water", &S::sm_water_top, nullptr, nullptr, 0, depth_cm},
      {"bottom_water", &S::sm_water_bottom, nullptr, nullptr, 0, depth_cm},
      {"layer_pending", &S::sm_infil_in, nullptr, nullptr, 0, depth_m},
      {"drained", &S::unsat_down_flux, nullptr, nullptr, 0, depth_cm},
      {"recharge", &S::recharge_depth, nullptr, nullptr, 0, depth_cm},
  };
  static const std::vector<soil_field> redist = [] {
    std::vector<soil_field> f = {
        {"theta_i", &S::init_moisture, nullptr, nullptr, 0, content},
        {"F", &S::cum_infil, nullptr, nullptr, 0, depth_m},
        {"F1", &S::redist_infil, nullptr, nullptr, 0, depth_m},
        {"theta_front", &S::theta_front, nullptr, nullptr, 0, content},
        {"theta_surface", &S::surface_moisture, nullptr, nullptr, 0, content},
        {"theta_redist", &S::init_moisture_redist, nullptr, nullptr, 0, content},
        {"theta_old", &S::init_moisture_old, nullptr, nullptr, 0, content},
        {"pond_step", nullptr, &S::iter_pond_1, nullptr, 0, step},
        {"redist_step", nullptr, &S::iter_n, nullptr, 0, step},
        {"low_supply_step", nullptr, &S::iter_i_less_k, nullptr, 0, step},
        {"profile", nullptr, &S::no_wat_prof, nullptr, 0, from_to(0, 2)},
    };
    f.insert(f.end(), accounting.begin(), accounting.end());
    return f;
  }();
  static const std::vector<soil_field> layered = [] {
    std::vector<soil_field> f = {
        {"theta_1", nullptr, nullptr, &S::THETA_ML, 1, content},
        {"theta_2", nullptr, nullptr, &S::THETA_ML, 2, content},
        {"theta_3", nullptr, nullptr, &S::THETA_ML, 3, content},
        {"F", &S::cum_infil, nullptr, nullptr, 0, depth_m},
        {"front_depth", &S::wetdep, nullptr, nullptr, 0, depth_cm},
        {"theta_surface", &S::surface_moisture, nullptr, nullptr, 0, content},
    };
    f.insert(f.end(), accounting.begin(), accounting.end());
    return f;
  }();
  static const std::vector<soil_field> richards = {
      {"theta_surface", &S::surface_moisture, nullptr, nullptr, 0, content},
      {"drained", &S::unsat_down_flux, nullptr, nullptr, 0, depth_cm},
      {"recharge", &S::recharge_depth, nullptr, nullptr, 0, depth_cm},
      {"substep", &S::dtr, nullptr, nullptr, 0, from_to(0, 1e6, "h"), true},
      {"top", nullptr, &S::bound_type, nullptr, 0, from_to(1, 3), true},
  };
  static const std::vector<soil_field> none;
  if (s.inf_richards) return richards;
  if (s.inf_layered_soil) return layered;
  if (s.inf_redist) return redist;
  if (s.green_ampt) return green_ampt;
  return none;
}

const char* scheme_name(const soil_state& s) {
  if (s.inf_richards) return "INF_RICHARDS";
  if (s.inf_layered_soil) return "INF_LAYERED_SOIL";
  if (s.inf_redist) return "INF_REDIST";
  if (s.green_ampt) return "GREEN_AMPT";
  return "NONE";
}

// A field the run does not hold (an array the scheme's set-up did not make)
// reads and writes as 0.
bool holds(const soil_state& s, const soil_field& f, int c) {
  if (f.ground) return false;
  if (f.real) return (s.*f.real).size() >= c;
  if (f.whole) return (s.*f.whole).size() >= c;
  return (s.*f.table).rows() >= c && (s.*f.table).cols() >= f.column;
}

double value_of(const soil_state& s, const soil_field& f, int c) {
  if (!holds(s, f, c)) return 0.0;
  if (f.real) return (s.*f.real)[c];
  if (f.whole) return (s.*f.whole)[c];
  return (s.*f.table)(c, f.column);
}

void set_value(soil_state& s, const soil_field& f, int c, double v) {
  if (!holds(s, f, c)) return;
  if (f.real)
    (s.*f.real)[c] = v;
  else if (f.whole)
    (s.*f.whole)[c] = static_cast<int>(v);
  else
    (s.*f.table)(c, f.column) = v;
}

// A Richards column of the CELL line: its node count, then per node the
// thickness, the water content and the pressure head.
bool read_column(state_file_reader& in, card_numbers& num, soil_state& s, int c) {
  const int capacity = s.richards.max_nodes;
  int nodes = 0;
  if (!num.whole("the nodes of the column", nodes, from_to(1, capacity))) return in.stop();
  if (s.DZ.rows() < c || s.DZ.cols() < nodes || s.THETA.cols() < nodes) return in.fail("gives a column longer than the run's columns can hold");
  s.numcells[c] = nodes;
  for (int j = 1; j <= nodes; ++j) {
    double dz = 0.0, theta = 0.0, head = 0.0;
    if (!num.real("a node's thickness", dz, from_to(1e-6, 1e6, "cm")) || !num.real("a node's water content", theta, content) ||
        !num.real("a node's pressure head", head, from_to(-1e9, 1e9, "cm")))
      return in.stop();
    s.DZ(c, j) = dz;
    s.THETA(c, j) = theta;
    s.richards.PHEAD(c, j) = head;
  }
  s.DZ(c, 0) = s.DZ(c, 1);
  // The nodes' conductivities and capacities follow their carried state.
  richards_columns& rc = s.richards;
  for (int j = 1; j <= nodes; ++j) {
    const conductivity_capacity kc = conductivity_and_capacity(rc.soil(c, j), s.richards_c_option, rc.PHEAD(c, j),
                                                               s.THETA(c, j));
    if (!std::isfinite(kc.kr) || !std::isfinite(kc.c))
      return in.fail("gives a node a water content and head at which its soil has no finite conductivity");
    rc.KHEAD(c, j) = kc.kr;
    rc.WATCAP(c, j) = kc.c;
  }
  rc.KHEAD(c, 0) = rc.KHEAD(c, 1);
  rc.WATCAP(c, 0) = rc.WATCAP(c, 1);
  return true;
}

}  // namespace

std::vector<double> surface_moisture_at_end(const soil_state& s, int ncells) {
  std::vector<double> v(static_cast<std::size_t>(ncells) + 1, 0.0);
  for (int c = 1; c <= ncells; ++c) {
    const std::size_t i = static_cast<std::size_t>(c);
    if (s.green_ampt && !s.inf_redist) {
      const double theta = s.init_moisture.size() >= c ? s.init_moisture[c] : 0.0;
      const bool wetted = s.cum_infil.size() >= c && s.cum_infil[c] > 0.0 && s.soil_porosity.size() >= c;
      v[i] = wetted ? s.soil_porosity[c] : theta;
    } else if (s.surface_moisture.size() >= c) {
      v[i] = s.surface_moisture[c];
    }
  }
  return v;
}

void write_soil_state_file(std::FILE* f, const soil_state& s, int ncells, int fronts_step, double until,
                           const soil_event_clocks& clocks, const array1d<double>* ground_temp) {
  if (!f) return;
  std::vector<soil_field> fields = fields_of(s);
  if (ground_temp && ground_temp->size() >= ncells) fields.push_back(ground_temp_field);
  std::fprintf(f, "%s\n# What the water-content map of this soil hot-start cannot hold.\n", header);
  std::fprintf(f, "SCHEME %s\nCELLS %d\nFRONTS %d %.17g\n", scheme_name(s), ncells, fronts_step, until);
  const carried_clock& k = clocks.infiltration;
  if (fronts_step > 0 && k.given)
    std::fprintf(f, "# the infiltration step (s), the seconds since it last ran and until it is next due, whether "
                    "the fronts were running\nCLOCK %.17g %.17g %.17g %d\n",
                 k.dt, k.since, k.next_in, clocks.running);
  const carried_clock& a = clocks.accounting;
  if (fronts_step > 0 && a.given)
    std::fprintf(f, "# the accounting's step (s), the seconds since it last ran and until it is next due\n"
                    "ACCOUNTING_CLOCK %.17g %.17g %.17g\n",
                 a.dt, a.since, a.next_in);
  std::fprintf(f, "FIELDS");
  for (const soil_field& x : fields) std::fprintf(f, " %s", x.name);
  if (s.inf_richards) std::fprintf(f, " nodes");
  std::fputc('\n', f);
  for (int c = 1; c <= ncells; ++c) {
    std::fprintf(f, "CELL %d", c);
    for (const soil_field& x : fields) {
      if (x.ground)
        std::fprintf(f, " %.17g", (*ground_temp)[c]);
      else if (x.whole)
        std::fprintf(f, " %d", static_cast<int>(value_of(s, x, c)));
      else
        std::fprintf(f, " %.17g", value_of(s, x, c));
    }
    if (s.inf_richards) {
      const int n = s.numcells.size() >= c ? s.numcells[c] : 0;
      std::fprintf(f, " %d", n);
      for (int j = 1; j <= n; ++j)
        std::fprintf(f, " %.17g %.17g %.17g", s.DZ(c, j), s.THETA(c, j), s.richards.PHEAD(c, j));
    }
    std::fputc('\n', f);
  }
  std::fprintf(f, "END\n");
}

bool read_soil_state_file(guarded_file& f, soil_state& s, int ncells, std::vector<double>& ground_temp) {
  ground_temp.clear();
  state_file_reader in(f, "the soil hot-start state");
  if (!in.header(header) || !in.expect("SCHEME")) return false;
  std::string scheme;
  next_token(in.line(), scheme);
  if (scheme != scheme_name(s)) {
    std::fprintf(stderr,
                 "Error: line %d of the soil hot-start state %s gives the state of %s; this run takes water into "
                 "the soil by %s.\n",
                 in.line_no(), in.name(), scheme.c_str(), scheme_name(s));
    return in.stop();
  }
  if (!in.ends() || !in.expect("CELLS")) return false;
  {
    card_numbers num = in.numbers();
    int cells = 0;
    if (!num.whole("the number of cells", cells, from_to(0, 2000000000))) return in.stop();
    if (cells != ncells) {
      std::fprintf(stderr, "Error: line %d of the soil hot-start state %s gives %d cells; the watershed has %d.\n",
                   in.line_no(), in.name(), cells, ncells);
      return in.stop();
    }
    if (!in.ends()) return false;
  }
  if (!in.expect("FRONTS")) return false;
  int fronts = 0;
  double until = 0.0;
  {
    card_numbers num = in.numbers();
    if (!num.whole("the fronts' infiltration step", fronts, step) ||
        !num.real("the time the run ended", until, from_to(0, 1e8, "Julian days")))
      return in.stop();
    if (!in.ends()) return false;
  }
  // The clocks of the event the fronts go on in (a companion written before
  // they were carried has none: the event's clocks start afresh).
  soil_event_clocks clocks;
  bool fields_line = false;
  while (!fields_line) {
    if (!in.next()) return in.expect("FIELDS");
    const bool infiltration = in.card() == "CLOCK", accounting = in.card() == "ACCOUNTING_CLOCK";
    if (!infiltration && !accounting) {
      if (in.card() != "FIELDS") {
        std::fprintf(stderr, "Error: %s %s has no FIELDS line where line %d stands.\n", in.kind(), in.name(),
                     in.line_no());
        return in.stop();
      }
      fields_line = true;
      continue;
    }
    carried_clock& k = infiltration ? clocks.infiltration : clocks.accounting;
    if (!in.once(k.given)) return false;
    card_numbers num = in.numbers();
    if (!num.real("the step", k.dt, from_to(1e-3, 1e7, "s")) ||
        !num.real("the seconds since it last ran", k.since, from_to(-1e9, 1e9, "s")) ||
        !num.real("the seconds until it is next due", k.next_in, from_to(-1e9, 1e9, "s")) ||
        (infiltration && !num.whole("whether the fronts were running", clocks.running, from_to(0, 1))))
      return in.stop();
    if (!in.ends()) return false;
  }
  // The fields named, in the scheme's order; those a companion may leave
  // out in brackets in the message.
  std::vector<soil_field> all = fields_of(s);
  all.push_back(ground_temp_field);
  std::vector<std::string> given;
  for (std::string w; next_token(in.line(), w);) given.push_back(w);
  std::vector<soil_field> fields;
  std::size_t at = 0;
  bool named = true;
  for (const soil_field& x : all) {
    if (at < given.size() && given[at] == x.name) {
      fields.push_back(x);
      ++at;
    } else if (!x.later) {
      named = false;
    }
  }
  if (s.inf_richards) named = named && at < given.size() && given[at++] == "nodes";
  if (!named || at != given.size()) {
    std::string expected, text;
    for (const soil_field& x : all)
      expected += std::string(expected.empty() ? "" : " ") + (x.later ? "[" : "") + x.name + (x.later ? "]" : "");
    if (s.inf_richards) expected += " nodes";
    for (const std::string& w : given) text += (text.empty() ? "" : " ") + w;
    std::fprintf(stderr, "Error: line %d of the soil hot-start state %s names the fields \"%s\"; the %s state has "
                         "\"%s\".\n",
                 in.line_no(), in.name(), text.c_str(), scheme_name(s), expected.c_str());
    return in.stop();
  }
  std::vector<double> ground;
  const bool read = in.read_cells(ncells, [&](int c, card_numbers& num) {
    for (const soil_field& x : fields) {
      double v = 0.0;
      if (x.whole) {
        int k = 0;
        if (!num.whole(x.name, k, x.range)) return in.stop();
        v = k;
      } else if (!num.real(x.name, v, x.range)) {
        return in.stop();
      }
      if (x.ground) {
        if (ground.empty()) ground.assign(static_cast<std::size_t>(ncells) + 1, 0.0);
        ground[static_cast<std::size_t>(c)] = v;
      } else {
        set_value(s, x, c, v);
      }
    }
    if (s.inf_richards && !read_column(in, num, s, c)) return false;
    return in.ends();
  });
  if (!read) return false;
  // What was booked of the fronts is booked; the Green-Ampt suction term is
  // made again from the carried water contents.
  if (s.cum_infil_prev.size() == ncells && s.cum_infil.size() == ncells)
    for (int c = 1; c <= ncells; ++c) s.cum_infil_prev[c] = s.cum_infil[c];
  if (s.sm_water.size() == ncells && s.sm_water_top.size() == ncells && s.sm_water_bottom.size() == ncells)
    for (int c = 1; c <= ncells; ++c) s.sm_water[c] = s.sm_water_top[c] + s.sm_water_bottom[c];
  s.ga_kernel.ready = false;
  s.carried_fronts_step = fronts;
  s.carried_fronts_until = until;
  s.carried_clocks = clocks;
  ground_temp = std::move(ground);
  return true;
}

}  // namespace nivra
