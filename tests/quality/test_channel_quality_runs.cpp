// Whole runs of channel water quality: examples/chanquality (a V-catchment
// whose valley channel fills a lake that spills over a weir into the
// channel below, with a spring of known concentration on the upper
// channel) and variants of it. Every run's constituent books must close:
// what entered less what left or decayed equals the change of what the
// channels and the lake hold.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/channel_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/channel_constituents.h"
#include "run/run_test_support.h"
#include "surface/lake_state.h"

namespace nivra {
namespace {

using term = constituent_term;
using testing::set_card;

class ChannelQualityRuns : public testing::process_test {};

double total(const model_state& ms, int c, term t) { return ms.constituent.mass_books->run_total(c, row(t)); }

// The balance of the channels and lakes together over the run, kg.
mass_balance_sums water_bodies(const model_state& ms, int c) {
  return ms.constituent.mass_books->run_balance_of(c, {mass_compartment::channels, mass_compartment::lakes});
}

TEST_F(ChannelQualityRuns, TheSpringsMassIsCarriedDecayedOrHeldAndTheBooksClose) {
  testing::copy_example("chanquality");
  const testing::storm_run r = testing::run_storm("chanq.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  ASSERT_TRUE(ms.constituent.mass_books);
  // The spring: 0.05 m3/s at 100 g/m3 over the four hours, 72 kg.
  EXPECT_NEAR(total(ms, 1, term::channel_point_sources), 0.05 * 100.0 * 240.0 * 60.0 / 1000.0, 1e-6);
  const mass_balance_sums b = water_bodies(ms, 1);
  EXPECT_EQ(b.initial, 0.0);  // the channels start clean
  EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.in);
  // Some reaches the lake, some passes it over the weir, some leaves the
  // outlet, some decays; the lake ends holding some.
  EXPECT_GT(total(ms, 1, term::channels_to_lakes), 1.0);
  EXPECT_GT(total(ms, 1, term::lakes_to_channels), 0.1);
  EXPECT_GT(total(ms, 1, term::channel_outlet), 0.1);
  EXPECT_GT(total(ms, 1, term::channel_decay), 0.0);
  EXPECT_GT(total(ms, 1, term::lake_decay), 0.0);
  EXPECT_GT(ms.constituent.mass_books->mass(1, mass_compartment::lakes, ledger_moment::run_end), 1.0);
  // The lake's own books: what came down the channel and what it let out.
  const mass_balance_sums lake = ms.constituent.mass_books->run_balance_of(1, {mass_compartment::lakes});
  EXPECT_NEAR(lake.residual(), 0.0, 1e-10 * lake.in);
  // Nothing is made out of nothing: no mass was ever set to zero.
  EXPECT_EQ(total(ms, 1, term::channel_negative_reset), 0.0);

  // The summaries print the ledger's figures, and their balances close to
  // their printing precision.
  const std::string sum = testing::read_file("chanq.sum");
  EXPECT_NEAR(testing::value_after(sum, "Point source mass gain ..........................."), 72.0, 0.005);
  EXPECT_NEAR(testing::value_after(sum, "Point source inputs"), 72.0, 0.005);
  EXPECT_NEAR(testing::value_after(sum, "Outlet mass flux ................................."),
              total(ms, 1, term::channel_outlet), 0.005);
  EXPECT_NEAR(testing::value_after(sum, "Final Mass in Lakes"),
              ms.constituent.mass_books->mass(1, mass_compartment::lakes, ledger_moment::run_end), 0.005);
  EXPECT_NEAR(testing::value_after(sum, "Total mass out of system"), total(ms, 1, term::channel_outlet), 0.005);
  for (const char* line : {"Contam mass balance error ........................", "Dissolved mass balance error",
                           "Contam mass balance error       "}) {
    std::size_t at = 0;
    int seen = 0;
    while ((at = sum.find(line, at)) != std::string::npos) {
      EXPECT_NEAR(testing::value_after(sum.substr(at), line), 0.0, 1e-3) << line;
      at += 1;
      ++seen;
    }
    EXPECT_GT(seen, 0) << line;
  }
}

}  // namespace
}  // namespace nivra
