// Whole runs of channel water quality: examples/chanquality (a V-catchment
// whose valley channel fills a lake that spills over a weir into the
// channel below, with a spring of known concentration on the upper
// channel) and variants of it. Every run's constituent books must close:
// what entered less what left or decayed equals the change of what the
// channels and the lake hold.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "channel/channel_state.h"
#include "model/mass_ledger.h"
#include "model/water_ledger.h"
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

namespace nivra {
namespace {

// With ALL_CONTAM_OUTPUT the channels write the concentration and the mass
// of every node and lake at every hydrograph time: 48 records of the four
// hours at HYD_FREQ 5 minutes, named after the contaminant (the uniform
// cards' contaminant takes the name con_output).
TEST_F(ChannelQualityRuns, TheChannelSeriesHoldEveryNodeAtEveryHydrographTime) {
  testing::copy_example("chanquality");
  set_card("chanq.prj", "ALL_CONTAM_OUTPUT", "ALL_CONTAM_OUTPUT");
  const testing::storm_run r = testing::run_storm("chanq.prj");
  ASSERT_TRUE(r.ended) << r.console;
  for (const char* file : {"con_output.chan.conc", "con_output.chan.mass"}) {
    const std::string text = testing::read_file(file);
    EXPECT_EQ(text.rfind(std::string("NIVRA_LINKNODE_") + (file[19] == 'c' ? "CONCENTRATION" : "MASS"), 0), 0u)
        << file;
    EXPECT_NE(text.find("NUM_TS        48"), std::string::npos) << file;
    // Every record lists the links of 13 nodes with a value per node.
    int records = 0;
    for (std::size_t at = text.find("\n13 "); at != std::string::npos; at = text.find("\n13 ", at + 1)) ++records;
    EXPECT_GE(records, 48) << file;
  }
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// Rain on the lake brings its concentration: the mass rain puts on the lake
// is the rain volume the water ledger booked on the lake times the rain's
// concentration, and the books still close.
TEST_F(ChannelQualityRuns, RainOnTheLakeBringsItsConcentration) {
  for (const double conc : {0.0, 5.0}) {
    SCOPED_TRACE(conc);
    testing::copy_example("chanquality");
    const testing::storm_run r =
        testing::run_storm("chanq.prj", [&](model_state& ms) { ms.constituent.precip_conc[1] = conc; });
    ASSERT_TRUE(r.ended) << r.console;
    const model_state& ms = *r.ms;
    const double rain = ms.ledger.run_total(water_flux::lake_precipitation);
    EXPECT_GT(rain, 10.0);
    EXPECT_NEAR(total(ms, 1, term::rain_on_lakes), conc * rain / 1000.0, 1e-12 * (1.0 + conc * rain));
    const mass_balance_sums b = water_bodies(ms, 1);
    EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.in);
  }
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// A 1DS analyzer watches the channel constituent array its word names: the
// point sources' concentration shows the spring's 100 g/m3 at node 3 of
// link 1 from the start; the lateral and aquifer masses of this run stay
// nothing; a word that names no array, or a constituent beyond the run's,
// stops the set-up naming the line.
TEST_F(ChannelQualityRuns, OneDimensionalAnalyzersReadTheArrayTheirWordNames) {
  const struct {
    const char* line;
    const char* shows;  // on the console, or nullptr when the set-up stops
  } cases[] = {
      {"1DS pointconc_1 s >= 100 cs", "[F, 0.0000][F, 0.0000][T, 100.0000][F, 0.0000]"},
      {"1DS conc_1 s > 50 cs", "[T, 99."},
      {"1DS mass_1 s > 0 cs", "[T, "},
      {"1DS gwmass_1 s == 0 cs", "[T, 0.0000][T, 0.0000][T, 0.0000]"},
      {"1DS qlatmass_1 s == 0 cs", "[T, 0.0000][T, 0.0000][T, 0.0000]"},
      {"1DS qlatconc_1 s == 0 cs", "[T, 0.0000][T, 0.0000][T, 0.0000]"},
      {"1DS nsmsource_1 s == 0 cs", "[T, 0.0000][T, 0.0000][T, 0.0000]"},
      {"1DS depth_1 s > 0 cs", nullptr},
      {"1DS conc_2 s > 0 cs", nullptr},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.line);
    testing::write_file("watch.txt", std::string(k.line) + "\n");
    const std::string console =
        testing::run_example_with_card("chanquality", "chanq", "ANALYZERS", "ANALYZERS watch.txt");
    EXPECT_NE(console.find(k.shows ? k.shows : "watch.txt"), std::string::npos) << console;
    if (!k.shows) EXPECT_EQ(console.find("Running...."), std::string::npos);  // stopped at the set-up
  }
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The lake of examples/seeplake seeps through its bed into the aquifer
// below; fed by the spring of examples/chanquality, it gives the aquifer
// its constituent at its own concentration (never above the spring's
// 100 g/m3), and the books of the channels and the lake still close.
TEST_F(ChannelQualityRuns, ASeepingLakeGivesTheAquiferItsConcentration) {
  testing::copy_example("seeplake");
  std::filesystem::copy_file(std::filesystem::path(NIVRA_SOURCE_DIR) / "examples" / "chanquality" / "chanq.cpi",
                             "chanq.cpi", std::filesystem::copy_options::overwrite_existing);
  set_card("seeplake.prj", "CHAN_CON_TRANS", "CHAN_CON_TRANS");
  set_card("seeplake.prj", "CHAN_POINT_INPUT", "CHAN_POINT_INPUT chanq.cpi");
  const testing::storm_run r = testing::run_storm("seeplake.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double seeped = ms.ledger.run_total(water_flux::channel_lakes_to_groundwater);
  const double lost = -total(ms, 1, term::aquifer_to_lakes);
  EXPECT_GT(seeped, 1.0);
  EXPECT_GT(lost, 0.0);
  EXPECT_LE(lost, seeped * 100.0 / 1000.0);
  const mass_balance_sums b = water_bodies(ms, 1);
  EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.in);
}

}  // namespace
}  // namespace nivra
