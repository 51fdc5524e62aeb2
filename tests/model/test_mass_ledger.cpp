// The constituents' mass ledger walked with a small hand-made set of terms:
// a dissolved constituent washed off the soil into the overland water,
// carried into the channels and out at the outlet, settled onto the
// sediment and taken back from it. Books that move every term's mass
// between the compartments of its row close the balance of every
// compartment and of any set of them, per constituent, over the run and
// over the event.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

#include "model/mass_ledger.h"

namespace nivra {
namespace {

using part = mass_compartment;
using moment = ledger_moment;

enum term : int { wash_off = 1, to_channels, outlet, settling, resuspension, leaching };
constexpr std::array<mass_term_row, 6> terms = {{
    {"wash_off", "Washed off the soil", part::soil_column, part::overland_water},
    {"to_channels", "Overland to channels", part::overland_water, part::channels},
    {"outlet", "Out at the outlet", part::channels, part::outside},
    {"settling", "Settled onto the bed", part::channels, part::sediment_bound},
    {"resuspension", "Taken back from the bed", part::sediment_bound, part::channels},
    {"leaching", "Leached to the groundwater", part::soil_column, part::groundwater},
}};

constexpr part all_parts[] = {part::overland_water, part::soil_column, part::channels,
                              part::lakes,          part::groundwater, part::sediment_bound,
                              part::pipes};

// Constituent c starts with 100 c kg in every compartment and moves
// (t + c) kg under term t, twice.
void move_every_term(mass_ledger& l, moment start, moment end) {
  for (int c = 1; c <= l.constituents(); ++c) {
    double gained[n_mass_compartments] = {};
    for (int t = 1; t <= l.terms(); ++t)
      for (int twice = 0; twice < 2; ++twice) {
        const double m = t + c;
        l.book(c, t, m);
        gained[static_cast<int>(l.term(t).from)] -= m;
        gained[static_cast<int>(l.term(t).to)] += m;
      }
    for (part k : all_parts) {
      l.set_mass(c, k, start, 100.0 * c);
      l.set_mass(c, k, end, 100.0 * c + gained[static_cast<int>(k)]);
    }
  }
}

TEST(MassLedger, TheTermSetNamesEachTermOnceBetweenTwoCompartments) {
  const mass_ledger l(terms, 2);
  std::set<std::string> names;
  for (int t = 1; t <= l.terms(); ++t) {
    EXPECT_TRUE(names.insert(l.term(t).name).second);
    EXPECT_NE(l.term(t).from, l.term(t).to) << l.term(t).name;
  }
  EXPECT_EQ(l.run_total(2, leaching), 0.0);
  EXPECT_EQ(l.mass(2, part::channels, moment::run_end), 0.0);
}

TEST(MassLedger, BooksThatMoveEveryTermCloseEveryCompartmentAndTheWholeModel) {
  mass_ledger l(terms, 3);
  move_every_term(l, moment::run_start, moment::run_end);
  for (int c = 1; c <= 3; ++c) {
    SCOPED_TRACE(c);
    for (part k : all_parts) EXPECT_EQ(l.run_balance_of(c, {k}).residual(), 0.0) << static_cast<int>(k);
    const mass_balance_sums all = l.run_balance_of(c, mass_ledger::whole_model());
    EXPECT_EQ(all.residual(), 0.0);
    // Only the outlet leaves the model; nothing enters it.
    EXPECT_EQ(all.out, 2.0 * (outlet + c));
    EXPECT_EQ(all.in, 0.0);
    // The channels and their bed together: the settling and the
    // resuspension stay inside.
    const mass_balance_sums stream = l.run_balance_of(c, {part::channels, part::sediment_bound});
    EXPECT_EQ(stream.in, 2.0 * (to_channels + c));
    EXPECT_EQ(stream.out, 2.0 * (outlet + c));
    EXPECT_EQ(stream.residual(), 0.0);
  }
}

TEST(MassLedger, AnEventStartsFromNothingAndKeepsTheRunsTotals) {
  mass_ledger l(terms, 2);
  move_every_term(l, moment::run_start, moment::run_end);
  l.open_event();
  EXPECT_EQ(l.event_total(1, outlet), 0.0);
  EXPECT_EQ(l.run_total_at_event_start(1, outlet), 2.0 * (outlet + 1));
  EXPECT_EQ(l.mass(1, part::channels, moment::event_start), 0.0);
  EXPECT_EQ(l.mass(1, part::channels, moment::run_start), 100.0);
  move_every_term(l, moment::event_start, moment::event_end);
  for (int c = 1; c <= 2; ++c) {
    for (part k : all_parts) EXPECT_EQ(l.event_balance_of(c, {k}).residual(), 0.0);
    EXPECT_EQ(l.event_total(c, settling), 2.0 * (settling + c));
    EXPECT_EQ(l.run_total(c, settling), 4.0 * (settling + c));
  }
  // A mass booked without its move shows in the balances that hold it.
  l.book(2, leaching, 5.0);
  EXPECT_EQ(l.event_balance_of(2, {part::groundwater}).residual(), 5.0);
  EXPECT_EQ(l.event_balance_of(2, {part::soil_column}).residual(), -5.0);
  EXPECT_EQ(l.event_balance_of(2, {part::soil_column, part::groundwater}).residual(), 0.0);
  EXPECT_EQ(l.event_balance_of(1, {part::groundwater}).residual(), 0.0);
}

}  // namespace
}  // namespace nivra
