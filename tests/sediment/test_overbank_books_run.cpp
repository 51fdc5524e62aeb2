// A valley whose channel backs up behind a small culvert and spills over
// its low banks onto the cells (OVERBANK_FLOW and OVERLAND_BACKWATER), with
// clay, silt and sand, and with a contaminant that sticks to the fines.
// The spilling water takes wash load back onto the cells, and with it the
// mass on it: the cells' books and the channels' books count that once,
// under one term, and every balance the summaries print closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "output/run_summary.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/channel_attached_step.h"
#include "quality/sediment/sediment_terms.h"
#include "run/run_test_support.h"
#include "sediment/vcatchment_fixture.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using testing::run_storm;
using testing::storm_run;
using testing::value_after;
using testing::vcatchment;

// A storm of 100 mm/h over the valley: the culvert of 0.3 m below the
// upper link holds back more than it passes, and banks of 0.2 m spill.
vcatchment spilling_valley() {
  vcatchment v;
  v.rain = 100.0;
  v.bankfull = 0.2;
  v.culvert = 0.3;
  v.extra = "OVERBANK_FLOW\nOVERLAND_BACKWATER\n";
  return v;
}

// The number after every occurrence of `label` in the summary (after a
// leader of blanks or dots).
std::vector<double> all_values_after(const std::string& text, const std::string& label) {
  std::vector<double> v;
  for (std::size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1))
    v.push_back(testing::dotted_value_after(text, label, at));
  return v;
}

class OverbankBooks : public testing::process_test {};

TEST_F(OverbankBooks, SpilledWashLoadIsBookedOnceOnTheCellsAndInTheChannels) {
  const vcatchment v = spilling_valley();
  v.write();
  const storm_run run = run_storm("v.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  ASSERT_EQ(ms.channel.ltype[2], link_type::structure);
  const mass_ledger& l = *ms.constituent.ov_sed->books;
  double spilled = 0.0, into_channels = 0.0, shortfall = 0.0;
  for (int c = 1; c <= 3; ++c) {
    SCOPED_TRACE(c);
    const auto term = [&](sediment_term t) { return l.run_total(c, row(t)); };
    // The cells', the channels' and the whole model's books close.
    for (const mass_set& set : {overland_sediment_set(), mass_set{mass_compartment::channels, mass_compartment::lakes},
                                mass_ledger::whole_model()}) {
      const mass_balance_sums b = l.run_balance_of(c, set);
      EXPECT_NEAR(b.residual(), 0.0, 1e-10 * (b.in + b.initial));
    }
    // The cells' figures of the summary: what they took from the parent
    // soil is what they hold, plus what left them, less what came back.
    const overland_sediment_figures x = overland_sediment_of(l, c, ledger_moment::run_end);
    EXPECT_NEAR(x.residual, 0.0, 1e-10 * x.eroded);
    EXPECT_NEAR(x.eroded - x.suspended - x.deposited - x.outlet - x.to_channels, 0.0, 1e-10 * x.eroded);
    EXPECT_NEAR(x.to_channels,
                term(sediment_term::suspended_to_channels) + term(sediment_term::loose_to_channels) -
                    term(sediment_term::channels_to_cells),
                1e-12 * x.eroded);
    if (c < 3) {
      spilled += term(sediment_term::channels_to_cells);
      into_channels += x.to_channels;
      shortfall += term(sediment_term::channel_shortfall);
    } else {
      EXPECT_EQ(term(sediment_term::channels_to_cells), 0.0);  // sand does not spill
    }
  }
  // The storm spilled a good share of the fines back.
  EXPECT_GT(spilled, 0.02 * into_channels);

  // The summary: every class's overland balance prints no error, in the
  // event and in the run, and the fines the cells' blocks send into the
  // channels are the wash load the channels' blocks receive.
  const std::string sum = testing::read_file("v.sum");
  for (int c = 1; c <= 3; ++c) {
    const std::vector<double> errors = all_values_after(sum, "Mass balance error for sediment " + std::to_string(c));
    ASSERT_EQ(errors.size(), 2u) << c;
    for (double e : errors) EXPECT_LT(std::fabs(e), 5e-5) << c;
  }
  const std::string run_block = sum.substr(sum.rfind("Overland Sediment Summary"));
  const double fines = value_after(run_block, "Total sediment 1 transported into channels:") +
                       value_after(run_block, "Total sediment 2 transported into channels:");
  EXPECT_NEAR(fines, into_channels, 2e-8);
  EXPECT_NEAR(value_after(run_block, "Total wash-load to chan from overland:"), into_channels + shortfall, 2e-8);
  const std::string event_block = sum.substr(sum.find("Channel sediment routing mass quantities"));
  EXPECT_NEAR(value_after(event_block, "Total sediment 1 transported into channels this event:") +
                  value_after(event_block, "Total sediment 2 transported into channels this event:"),
              value_after(event_block, "Event wash-load to chan from overland:") - shortfall, 0.011);
}

// The same valley with a contaminant that sticks to the fines (Kd 1 L/kg):
// the channel cells' loose fines take mass sorbed in the soil into the
// nodes, and the nodes' spilled wash load takes its attached mass back
// onto the cells. The overland blocks count the loose fines' mass where it
// left (the soil surface) and name the mass the channels received on the
// sediment with one figure in the event and in the run; with and without
// a soil column every balance closes.
TEST_F(OverbankBooks, AttachedMassEnteringTheChannelsIsOneFigureAndEveryBalanceCloses) {
  for (const bool column : {false, true}) {
    SCOPED_TRACE(column ? "with a soil column" : "over the land surface");
    reset_process_state();
    vcatchment v = spilling_valley();
    if (column) v.extra += "SOIL_CON_TRANS\n";
    testing::attached_vcatchment("1.0", v);
    const storm_run run = run_storm("v.prj");
    ASSERT_TRUE(run.ended) << run.console;
    const model_state& ms = *run.ms;
    const constituent_state& k = ms.constituent;
    const mass_ledger& l = *k.mass_books;
    const auto term = [&](constituent_term t) { return l.run_total(1, row(t)); };
    const double loose = term(constituent_term::loose_attached_to_channels);
    const double lateral =
        term(constituent_term::attached_to_channels) + loose - term(constituent_term::attached_to_cells);
    EXPECT_GT(loose, 0.0);
    EXPECT_GT(term(constituent_term::attached_to_cells), 0.0);
    // Every compartment and the whole model close.
    const mass_balance_sums whole = l.run_balance_of(1, mass_ledger::whole_model());
    const double scale = whole.in + whole.initial;
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * scale);
    for (const mass_set& set :
         {mass_set{mass_compartment::overland_water, mass_compartment::soil_column},
          mass_set{mass_compartment::soil_column}, mass_set{mass_compartment::sediment_bound},
          mass_set{mass_compartment::channels, mass_compartment::channel_sediment_bound}}) {
      const mass_balance_sums b = l.run_balance_of(1, set);
      EXPECT_NEAR(b.residual(), 0.0, 1e-10 * scale);
    }
    // The soil surface's net gain with the sediment takes the loose fines'
    // mass out of it, and the balances the run summary keeps close to
    // 1e-10 (their errors are in percent).
    EXPECT_NEAR(k.sed_eroded_deposited[1],
                term(constituent_term::settled_with_sediment) - term(constituent_term::eroded_with_soil) - loose,
                1e-12 * scale);
    EXPECT_NEAR(k.OV_MASS_ERROR[1], 0.0, 1e-8);
    EXPECT_NEAR(k.GLOBAL_MASS_CON_ERROR[1], 0.0, 1e-8);
    if (column) {
      EXPECT_NEAR(k.soil_mass_error[1], 0.0, 1e-8);
    }
    // One figure for the attached mass entering the channels: the event's
    // and the run's overland lines and the channel block's.
    EXPECT_NEAR(k.sed_attached_to_chan[1], lateral, 1e-12 * scale);
    const std::string sum = testing::read_file("v.sum");
    const double event_line = testing::dotted_value_after(sum, "Attached entering channels");
    const double run_line = value_after(sum, "Attached entering streams");
    EXPECT_NEAR(event_line, lateral, 0.005);
    EXPECT_NEAR(run_line, lateral, 0.005);
    for (double x : all_values_after(sum, "Lateral flow into channels")) EXPECT_NEAR(x, lateral, 0.005);
    // Every balance the summaries print closes to their precision.
    const int lines = testing::expect_small_errors(
        sum, {"Dissolved mass balance error", "Contam mass balance error", "Soil mass balance error"}, 5e-5);
    EXPECT_GE(lines, column ? 6 : 4);
  }
}

}  // namespace
}  // namespace nivra
