// Whole runs of the nutrient model on the small V-shaped catchment of
// examples/nutrients: thirty minutes of rain at 20 mm/h on 110 cells of
// 400 m2 (440 m3 of water) carry the nutrients of the mapping table's
// PRECIP_CONC lines onto the dry cells; the overland water takes them to the
// channel and the channel to the outlet. With the kinetics not modelled
// every nutrient is conservative, so every gram of the rain's mass leaves at
// the outlet or is still on the cells or in the channel, and each
// constituent's books close.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "channel/channel_state.h"
#include "core/process.h"
#include "model/mass_ledger.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/channel_constituents.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/nsm.h"
#include "run/run_test_support.h"
#include "sediment/vcatchment_fixture.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::run_storm;

class NutrientRun : public testing::process_test {};

// The rain's concentration of each water constituent (NO2 .. DO), g/m3.
constexpr double rain_conc[9] = {0.01, 0.40, 0.20, 0.30, 0.02, 0.01, 0.0, 1.0, 8.0};

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

TEST_F(NutrientRun, EveryNutrientsBooksCloseOnTheVCatchment) {
  testing::copy_example("nutrients");
  const auto r = run_storm("nutrients.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const constituent_state& k = ms.constituent;
  ASSERT_EQ(k.num_nsm_constituents, 9);
  const int first = k.first_nsm_constituent;
  // 0.01 m of rain on 110 cells of 400 m2.
  const double rain_m3 = 0.01 * 110 * 400.0;
  const mass_ledger& books = *k.mass_books;
  for (int c = 0; c < 9; ++c) {
    const int n = first + c;
    const double rain = rain_m3 * rain_conc[c] / 1000.0;  // kg
    EXPECT_NEAR(books.run_total(n, row(constituent_term::rain_on_cells)), rain, 1e-9 * rain + 1e-15) << c;
    // The overland water: the rain's mass went to the channel or the
    // outlet or is still on the cells, as the cells' masses show.
    const mass_balance_sums ov = books.run_balance_of(n, {mass_compartment::overland_water});
    EXPECT_NEAR(ov.residual(), 0.0, 1e-10 * rain + 1e-15) << c;
    EXPECT_NEAR(ov.final, overland_water_mass(ms, n), 1e-12 * rain + 1e-15) << c;
    const double to_channel = books.run_total(n, row(constituent_term::overland_to_channels));
    const double out = books.run_total(n, row(constituent_term::overland_outlet));
    EXPECT_NEAR(rain - (to_channel + out + ov.final), 0.0, 1e-10 * rain + 1e-15) << c;
    if (rain > 0.0) {
      EXPECT_GT(to_channel, 0.5 * rain) << c;
    }
    // With the channels carrying constituents, the whole model closes too.
    if (k.chan_con_trans) {
      const mass_balance_sums whole = books.run_balance_of(n, mass_ledger::whole_model());
      EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * rain + 1e-15) << c;
    }
  }
  // The summary prints each balance without error, and the kinetics'
  // zeros.
  const std::string summary = read_file("nutrients.sum");
  const std::string label = "Contam mass balance error";
  for (std::size_t at = summary.find(label); at != std::string::npos; at = summary.find(label, at + 1))
    EXPECT_LT(std::fabs(std::strtod(summary.c_str() + at + label.size(), nullptr)), 5e-5)
        << summary.substr(at, 60);
  EXPECT_NE(summary.find("NSM dm/dt Summary\n  Total dm/dt in:          0.0000\n  Total dm/dt out:         0.0000\n"),
            std::string::npos)
      << summary;

  // The derived totals where the cards ask: the overland total nitrogen
  // dataset (a record every 15 minutes from the first step, four, the one
  // of the run's last step, and its end card) and the channel
  // total nitrogen and phosphorus link/node files.
  const std::string tn = read_file("total_ov_n");
  EXPECT_NE(tn.find("NAME Total_ov_N\n"), std::string::npos);
  EXPECT_EQ(count_of(tn, "TS "), 5u);
  EXPECT_EQ(tn.substr(tn.size() - 6), "ENDDS\n");
  EXPECT_NE(read_file("total_chan_n.lnd").find("NIVRA_LINKNODE_TOTAL_NITROGEN"), std::string::npos);
  EXPECT_NE(read_file("total_chan_p.lnd").find("NIVRA_LINKNODE_TOTAL_PHOSPHORUS"), std::string::npos);
  // The NH4 link/node files end with their end card; the outlet NO3
  // hydrographs have a line every 5 minutes.
  const std::string nh4 = read_file("nh4_st.mass");
  EXPECT_EQ(nh4.substr(nh4.size() - 6), "ENDDS\n");
  EXPECT_EQ(testing::count_lines("no3_outlet.conc"), testing::count_lines("no3_outlet.mass"));
  EXPECT_GE(testing::count_lines("no3_outlet.conc"), 12);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// With the channels carrying constituents, a channel holding water at the
// run's start gives the nutrient rows the stream's own initial values
// (here ST_INIT_DO 8 g/m3 and zeros), not INIT_CHAN_CONC (set to 3 g/m3
// for the test), and each node's mass is its concentration times its water.
TEST_F(NutrientRun, ChannelNodesStartFromTheStreamsInitialValues) {
  testing::copy_example("nutrients");
  testing::set_card("nutrients.prj", "CHAN_CON_TRANS", "CHAN_CON_TRANS");
  testing::set_card("nutrients.prj", "INIT_CHAN_CONC", "INIT_CHAN_CONC 3.0");
  double do_seen = -1.0;
  int nodes = 0;
  const auto r = testing::run_storm(
      "nutrients.prj",
      [&](model_state& ms) {
        channel_state& ch = ms.channel;
        for (int l = 1; l <= ch.num_stream_links; ++l)
          for (int j = 1; j <= ch.nx[l]; ++j) ch.area(j, l) = 2.0;
        start_channel_constituent_books(ms);
        const constituent_state& k = ms.constituent;
        const nsm_stream& st = k.nsm_model->stream;
        for (int c = 0; c < 9; ++c) {
          const int n = k.first_nsm_constituent + c;
          for (int l = 1; l <= ch.num_stream_links; ++l)
            for (int j = 1; j <= ch.nx[l]; ++j) {
              const int i = l * ch.max_nodes_per_link + j;
              EXPECT_EQ(k.chan_conc(n, i), st.water[c].conc[i]) << c << " " << l << " " << j;
              EXPECT_DOUBLE_EQ(k.chan_node_mass(n, i), st.water[c].conc[i] * 2.0 * ch.link_dx[l]);
              if (c == 8) do_seen = k.chan_conc(n, i), ++nodes;
            }
        }
      },
      0);
  EXPECT_GT(nodes, 0) << r.console;
  EXPECT_EQ(do_seen, 8.0);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The nutrient kinetics keep their own clocks on the cells and in the
// channels: with KINETICS_TIMESTEP_FACTOR 3 each runs every third step of
// its medium, and its last interval is three steps long. What they make
// (nothing, in this version) is still booked, so every balance closes.
TEST_F(NutrientRun, TheKineticsClocksRunEveryFactorSteps) {
  testing::copy_example("nutrients");
  testing::set_card("nutrients.prj", "CHAN_CON_TRANS", "CHAN_CON_TRANS");
  testing::set_card("nutrients.prj", "KINETICS_TIMESTEP_FACTOR", "KINETICS_TIMESTEP_FACTOR 3");
  const auto r = run_storm("nutrients.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const constituent_state& k = ms.constituent;
  EXPECT_NEAR(k.nsm_kinetic_interval_s, 3 * ms.clock.ov_dt, 1e-3);
  EXPECT_NEAR(k.nsm_chan_interval_s, 3 * ms.clock.chan_dt, 1e-3);
  EXPECT_NEAR(ms.clock.nsm_ov_clock.next_time - ms.clock.nsm_ov_clock.last_time, 3 * ms.clock.ov_dt_days, 1e-9);
  EXPECT_NEAR(ms.clock.nsm_chan_clock.next_time - ms.clock.nsm_chan_clock.last_time, 3 * ms.clock.chan_dt_days, 1e-9);
  const mass_ledger& books = *k.mass_books;
  for (int c = 0; c < 9; ++c) {
    const int n = k.first_nsm_constituent + c;
    const mass_balance_sums whole = books.run_balance_of(n, mass_ledger::whole_model());
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * std::max(whole.initial, 1e-3)) << c;
    EXPECT_EQ(books.run_total(n, row(constituent_term::nutrient_gain)), 0.0);
    EXPECT_EQ(books.run_total(n, row(constituent_term::channel_nutrient_loss)), 0.0);
  }
  EXPECT_EQ(k.nsm_dmdt_in_total, 0.0);
  EXPECT_EQ(k.nsm_dmdt_out_total, 0.0);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The nutrients beside a contaminant that sticks to the fine sediment
// (SEDIMENT_CONTAM) on the V-catchment with an erodible channel: the nine
// nutrients join the constituent list after the contaminant, and every
// per-constituent total of the sediment-bound side has their rows too. The
// run ends as a success without addressing an array out of its range, and
// every constituent's books close.
TEST_F(NutrientRun, NutrientsBesideSedimentBoundContaminantsHaveTheirAttachedRows) {
  testing::write_file("v.aqe", "AQUATIC_ENV_NSM10 one zone\nOV_MAP v.idx\nST_MAP v.stm\nNUM_IDS 1\n# zone\n1\nDEFAULT\n");
  testing::write_file("v.stm", "STREAM_MAP\nNLINKS 2\n1\n1\n");
  testing::vcatchment v;
  v.extra = "NUTRIENTS\nAQ_ENV v.aqe\nOV_INIT_NO3 0.5\nST_INIT_DO 8.0\n";
  testing::attached_vcatchment("1000.0", v);
  ::testing::internal::CaptureStdout();
  const int code = run_simulation("v.prj", nullptr, "");
  const std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, 0) << console;
  EXPECT_EQ(process.error_block.stop, 0);
  EXPECT_EQ(console.find("bad range"), std::string::npos) << console;

  reset_process_state();
  const auto r = run_storm("v.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const constituent_state& k = r.ms->constituent;
  ASSERT_EQ(k.num_constituents, 10);
  ASSERT_EQ(k.first_nsm_constituent, 2);
  for (const checked_array<double>* a : {&k.sed_attached_final, &k.sed_contam_total_final, &k.sed_eroded_deposited,
                                         &k.sed_contam_source, &k.sed_attached_out, &k.sed_attached_to_chan,
                                         &k.pipe_attached})
    EXPECT_EQ(a->count(), 10) << a->name();
  const mass_ledger& books = *k.mass_books;
  for (int c = 1; c <= 10; ++c) {
    const mass_balance_sums whole = books.run_balance_of(c, mass_ledger::whole_model());
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * (whole.in + whole.initial)) << c;
  }
  // The contaminant rides the fines into the channels; the nutrients do not
  // sorb.
  EXPECT_GT(k.sed_attached_to_chan[1], 0.0);
  for (int c = 2; c <= 10; ++c) EXPECT_EQ(k.sed_attached_to_chan[c], 0.0) << c;
  const std::string sum = read_file("v.sum");
  EXPECT_GE(testing::expect_small_errors(sum, {"Dissolved mass balance error", "Contam mass balance error"}, 5e-5),
            30);
}

}  // namespace
}  // namespace nivra
