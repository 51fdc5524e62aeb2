// The constituents' mass ledger, on the pattern of the water ledger: a
// table of mass terms, each moving a constituent's mass from one
// compartment to another; per constituent the run's and the event's total
// of every term and the mass of every compartment at the start and the end
// of the run and of the event; and the balance of any set of compartments
// (in - out - change of mass) computed from the table. A constituent
// summary is then a loop over the compartments and the terms.
//
// The constituent processes give the table of their terms (one row each)
// and book their masses under them; masses are in kilograms.
#pragma once

#include <span>

#include "core/arrays.h"
#include "model/compartment_set.h"
#include "model/water_ledger.h"

namespace nivra {

// Where a constituent's mass is.
enum class mass_compartment {
  overland_water,
  soil_column,
  channels,
  lakes,
  groundwater,
  sediment_bound,  // held by the sediment, in the bed or in suspension
  pipes,           // held in the pipe network
  outside,
  channel_sediment_bound,  // held by the suspended fine sediment of the channel nodes
  lake_sediment_bound,     // held by the fine sediment of the channel lakes, suspended or settled
  count
};

using mass_set = compartment_set<mass_compartment>;

inline constexpr int n_mass_compartments = static_cast<int>(mass_compartment::count);

// One mass term: its name, the label of its summary line, and the
// compartments its mass leaves and enters.
struct mass_term_row {
  const char* name;
  const char* label;
  mass_compartment from, to;
};

// What a balance found, kg.
struct mass_balance_sums {
  double in = 0.0, out = 0.0;
  double initial = 0.0, final = 0.0;
  double residual() const { return initial + in - (final + out); }
};

class mass_ledger {
 public:
  // The ledger of n constituents over the terms of the table (term t,
  // 1-based, is row t - 1), everything zero. Sized here, at set-up, never in
  // a step.
  mass_ledger(std::span<const mass_term_row> table, int constituents);

  int constituents() const { return constituents_; }
  int terms() const { return static_cast<int>(terms_.size()); }
  const mass_term_row& term(int t) const { return terms_[static_cast<std::size_t>(t - 1)]; }

  // m kg of constituent c moved under term t.
  void book(int c, int t, double m) {
    run_(c, t) += m;
    event_(c, t) += m;
  }
  double run_total(int c, int t) const { return run_(c, t); }
  double event_total(int c, int t) const { return event_(c, t); }
  double run_total_at_event_start(int c, int t) const { return run_at_event_start_(c, t); }

  // The mass of constituent c in a compartment at a moment.
  void set_mass(int c, mass_compartment k, ledger_moment m, double kg) { mass_(c, slot(k, m)) = kg; }
  double mass(int c, mass_compartment k, ledger_moment m) const { return mass_(c, slot(k, m)); }

  // A new event: the event totals and masses start from nothing, the run
  // totals are remembered as they stand.
  void open_event();

  // The balance of constituent c over a set of compartments, over the run
  // or over the current event.
  mass_balance_sums run_balance_of(int c, mass_set s) const {
    return balance_of(c, s, run_, ledger_moment::run_start, ledger_moment::run_end);
  }
  mass_balance_sums event_balance_of(int c, mass_set s) const {
    return balance_of(c, s, event_, ledger_moment::event_start, ledger_moment::event_end);
  }
  // The balance of the whole model: every compartment but the outside.
  static mass_set whole_model();

 private:
  static int slot(mass_compartment k, ledger_moment m) {
    return static_cast<int>(k) * static_cast<int>(ledger_moment::count) + static_cast<int>(m) + 1;
  }
  mass_balance_sums balance_of(int c, mass_set s, const array2d<double>& totals, ledger_moment start,
                               ledger_moment end) const;

  std::span<const mass_term_row> terms_;
  int constituents_ = 0;
  array2d<double> run_, event_, run_at_event_start_;  // (constituent, term)
  array2d<double> mass_;                              // (constituent, compartment and moment)
};

}  // namespace nivra
