// A set of the compartments of a ledger, one bit each, and which way a flux
// from one compartment to another crosses its edge. The water ledger and
// the constituents' mass ledger compute their balances with it.
#pragma once

#include <initializer_list>

namespace nivra {

template <class Compartment>
class compartment_set {
 public:
  constexpr compartment_set() = default;
  constexpr compartment_set(std::initializer_list<Compartment> cs) {
    for (Compartment c : cs) bits_ |= bit(c);
  }
  constexpr bool has(Compartment c) const { return (bits_ & bit(c)) != 0; }
  constexpr compartment_set with(Compartment c) const {
    compartment_set s = *this;
    s.bits_ |= bit(c);
    return s;
  }
  constexpr compartment_set without(Compartment c) const {
    compartment_set s = *this;
    s.bits_ &= ~bit(c);
    return s;
  }
  // +1 for a flux that enters the set, -1 for one that leaves it, 0 for one
  // inside it or outside it.
  constexpr int crossing(Compartment from, Compartment to) const { return int(has(to)) - int(has(from)); }

 private:
  static constexpr unsigned bit(Compartment c) { return 1u << static_cast<unsigned>(c); }
  unsigned bits_ = 0;
};

}  // namespace nivra
