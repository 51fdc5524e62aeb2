#include "model/mass_ledger.h"

namespace nivra {

mass_ledger::mass_ledger(std::span<const mass_term_row> table, int constituents)
    : terms_(table), constituents_(constituents) {
  const int n = terms();
  const int slots = n_mass_compartments * static_cast<int>(ledger_moment::count);
  if (constituents_ < 1) return;
  if (n > 0) {
    run_.alloc(constituents_, n);
    event_.alloc(constituents_, n);
    run_at_event_start_.alloc(constituents_, n);
  }
  mass_.alloc(constituents_, slots);
}

mass_set mass_ledger::whole_model() {
  mass_set s;
  for (int k = 0; k < n_mass_compartments; ++k)
    if (static_cast<mass_compartment>(k) != mass_compartment::outside) s = s.with(static_cast<mass_compartment>(k));
  return s;
}

void mass_ledger::open_event() {
  for (int c = 1; c <= constituents_; ++c) {
    for (int t = 1; t <= terms(); ++t) {
      run_at_event_start_(c, t) = run_(c, t);
      event_(c, t) = 0.0;
    }
    for (int k = 0; k < n_mass_compartments; ++k) {
      set_mass(c, static_cast<mass_compartment>(k), ledger_moment::event_start, 0.0);
      set_mass(c, static_cast<mass_compartment>(k), ledger_moment::event_end, 0.0);
    }
  }
}

mass_balance_sums mass_ledger::balance_of(int c, mass_set s, const array2d<double>& totals, ledger_moment start,
                                          ledger_moment end) const {
  mass_balance_sums b;
  for (int t = 1; t <= terms(); ++t) {
    const int way = s.crossing(term(t).from, term(t).to);
    if (way > 0) b.in += totals(c, t);
    if (way < 0) b.out += totals(c, t);
  }
  for (int k = 0; k < n_mass_compartments; ++k) {
    const auto part = static_cast<mass_compartment>(k);
    if (!s.has(part)) continue;
    b.initial += mass(c, part, start);
    b.final += mass(c, part, end);
  }
  return b;
}

}  // namespace nivra
