// Whole runs of channel water quality: examples/chanquality (a V-catchment
// whose valley channel and a tributary across its west plane meet in a
// lake that spills over a weir into the channel below: a Y with the lake at
// its fork, with a spring of known concentration on each arm) and variants
// of it. Every run's constituent books must close:
// what entered less what left or decayed equals the change of what the
// channels and the lake hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "model/mass_ledger.h"
#include "model/water_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/channel_constituents.h"
#include "run/run_test_support.h"
#include "inputs/grid_state.h"
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

// Over the whole run of the Y the mass that entered less the mass that
// left, decayed or was withdrawn equals the change of what the channels
// and the lake hold, to 1e-10.
TEST_F(ChannelQualityRuns, TheSpringsMassIsCarriedDecayedOrHeldAndTheBooksClose) {
  testing::copy_example("chanquality");
  const testing::storm_run r = testing::run_storm("chanq.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  ASSERT_TRUE(ms.constituent.mass_books);
  // The springs: 0.05 m3/s at 100 g/m3 and 0.02 m3/s at 20 g/m3 over the
  // four hours, 77.76 kg.
  const double springs = (0.05 * 100.0 + 0.02 * 20.0) * 240.0 * 60.0 / 1000.0;
  EXPECT_NEAR(total(ms, 1, term::channel_point_sources), springs, 1e-6);
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
  // Rising over the cell of the valley channel's last node the lake took
  // the node with its mass.
  EXPECT_NE(r.console.find("node taken: [1][12]"), std::string::npos);
  // The lake's own books: what came down the channel and what it let out.
  const mass_balance_sums lake = ms.constituent.mass_books->run_balance_of(1, {mass_compartment::lakes});
  EXPECT_NEAR(lake.residual(), 0.0, 1e-10 * lake.in);
  // Nothing is made out of nothing: no mass was ever set to zero.
  EXPECT_EQ(total(ms, 1, term::channel_negative_reset), 0.0);

  // The summaries print the ledger's figures, and their balances close to
  // their printing precision.
  const std::string sum = testing::read_file("chanq.sum");
  EXPECT_NEAR(testing::value_after(sum, "Point source mass gain ..........................."), springs, 0.005);
  EXPECT_NEAR(testing::value_after(sum, "Point source inputs"), springs, 0.005);
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
  // The words of one run, each the start of its report and what it shows.
  const struct {
    const char* line;
    const char* shows;
  } words[] = {
      {"1DS pointconc_1 s >= 100 cs", "[F, 0.0000][F, 0.0000][T, 100.0000][F, 0.0000]"},
      {"1DS conc_1 s > 50 cs", "[T, 99."},
      {"1DS mass_1 s > 0 cs", "[T, "},
      {"1DS gwmass_1 s == 0 cs", "[T, 0.0000][T, 0.0000][T, 0.0000]"},
      {"1DS qlatmass_1 s == 0 cs", "[T, 0.0000][T, 0.0000][T, 0.0000]"},
      {"1DS qlatconc_1 s == 0 cs", "[T, 0.0000][T, 0.0000][T, 0.0000]"},
      {"1DS nsmsource_1 s == 0 cs", "[T, 0.0000][T, 0.0000][T, 0.0000]"},
  };
  std::string file;
  for (const auto& w : words) file += std::string(w.line) + "\n";
  testing::write_file("watch.txt", file);
  const std::string console =
      testing::run_example_with_card("chanquality", "chanq", "ANALYZERS", "ANALYZERS watch.txt");
  for (const auto& w : words) {
    SCOPED_TRACE(w.line);
    const std::string target = std::string(w.line).substr(4, std::string(w.line).find(' ', 4) - 4);
    const std::size_t report = console.find("array " + target + " at the end of simulation");
    ASSERT_NE(report, std::string::npos) << console;
    // The report runs to its count line.
    const std::string text = console.substr(report, console.find("====>", report) - report);
    EXPECT_NE(text.find(w.shows), std::string::npos) << text;
  }
  // A word that names no array, and a constituent beyond the run's, stop
  // the set-up naming the analyzer file.
  for (const char* line : {"1DS depth_1 s > 0 cs", "1DS conc_2 s > 0 cs"}) {
    SCOPED_TRACE(line);
    testing::write_file("watch.txt", std::string(line) + "\n");
    const std::string stopped =
        testing::run_example_with_card("chanquality", "chanq", "ANALYZERS", "ANALYZERS watch.txt");
    EXPECT_NE(stopped.find("watch.txt"), std::string::npos) << stopped;
    EXPECT_EQ(stopped.find("Running...."), std::string::npos);
  }
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The spring of the valley channel of examples/chanquality on the channel
// of examples/seeplake.
const char* const spring = "NUMPT 1\nPOINT 3 1 0.05 100.0\nNRPDS 0\n";

// A copy of examples/seeplake whose channels carry the constituent that
// the spring brings.
void seeplake_with_spring() {
  testing::copy_example("seeplake");
  testing::write_file("chanq.cpi", spring);
  set_card("seeplake.prj", "CHAN_CON_TRANS", "CHAN_CON_TRANS");
  set_card("seeplake.prj", "CHAN_POINT_INPUT", "CHAN_POINT_INPUT chanq.cpi");
}

// The lake of examples/seeplake seeps through its bed into the aquifer
// below; fed by the valley channel's spring, it gives the aquifer
// its constituent at its own concentration (never above the spring's
// 100 g/m3), and the books of the channels and the lake still close.
TEST_F(ChannelQualityRuns, ASeepingLakeGivesTheAquiferItsConcentration) {
  seeplake_with_spring();
  const testing::storm_run r = testing::run_storm("seeplake.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double seeped = ms.ledger.run_total(water_flux::channel_lakes_to_groundwater);
  const double lost = total(ms, 1, term::lakes_to_aquifer);
  EXPECT_EQ(total(ms, 1, term::aquifer_to_lakes), 0.0);  // the aquifer's water is clean
  EXPECT_GT(seeped, 1.0);
  EXPECT_GT(lost, 0.0);
  EXPECT_LE(lost, seeped * 100.0 / 1000.0);
  const mass_balance_sums b = water_bodies(ms, 1);
  EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.in);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The grid map's lines (the six header lines first).
std::vector<std::string> map_lines(const std::string& file) {
  std::vector<std::string> lines;
  std::istringstream in(testing::read_file(file));
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// Writes ids.map: the mask's header and grid with every cell in class 1.
void write_ones_index_map(const std::string& mask_file) {
  std::vector<std::string> mask = map_lines(mask_file);
  std::string ids;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    if (i < 6) {
      ids += mask[i] + "\n";
      continue;
    }
    std::istringstream in(mask[i]);
    std::string line;
    for (std::string w; in >> w;) line += (line.empty() ? "" : " ") + std::string("1");
    ids += line + "\n";
  }
  testing::write_file("ids.map", ids);
}


// Cell (row, col) of a grid map's value lines, 1-based.
std::string& map_value(std::vector<std::string>& lines, std::vector<std::vector<std::string>>& cells, int row,
                       int col) {
  if (cells.empty()) {
    for (std::size_t i = 6; i < lines.size(); ++i) {
      std::istringstream in(lines[i]);
      std::vector<std::string> v;
      for (std::string w; in >> w;) v.push_back(w);
      cells.push_back(v);
    }
  }
  return cells[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(col - 1)];
}

void write_map(const std::string& file, const std::vector<std::string>& lines,
               const std::vector<std::vector<std::string>>& cells) {
  std::string text;
  for (std::size_t i = 0; i < 6; ++i) text += lines[i] + "\n";
  for (const auto& row : cells) {
    for (std::size_t j = 0; j < row.size(); ++j) text += (j ? " " : "") + row[j];
    text += "\n";
  }
  testing::write_file(file, text);
}

// The channel below the lake of examples/seeplake (link 4, column 11, rows
// 18 to 30) made a river of the aquifer with a stream bed: over the water
// table 2 m under the ground it loses water, under a table 0.2 m above the
// ground it gains. A losing reach gives the aquifer the node's
// concentration, a gaining one brings the aquifer's (7 g/m3 here): the
// mass gained is the volume the water ledger booked from the aquifer to
// the channels times 7 g/m3.
TEST_F(ChannelQualityRuns, GainingReachesBringTheAquifersConcentrationLosingOnesTakeTheNodes) {
  for (const bool gaining : {false, true}) {
    SCOPED_TRACE(gaining ? "gaining" : "losing");
    seeplake_with_spring();
    std::string cif = testing::read_file("seeplake.cif");
    cif.replace(cif.find("LINK 4\nTRAPEZOID\nNODES 14\nDX 20.0\nMANNINGS_N 0.05\n"), 49,
                "LINK 4\nTRAPEZOID_SUBSURFACE\nNODES 14\nDX 20.0\nMANNINGS_N 0.05\nK_RIVER 2.0\nM_RIVER 0.5\n");
    testing::write_file("seeplake.cif", cif);
    std::vector<std::string> bnd = map_lines("seeplake.bnd"), ele = map_lines("seeplake.ele"),
                             wt = map_lines("seeplake.wt");
    std::vector<std::vector<std::string>> b, e, w;
    for (int row = 18; row <= 30; ++row) {
      map_value(bnd, b, row, 11) = "4";
      if (gaining) map_value(wt, w, row, 11) = std::to_string(std::stod(map_value(ele, e, row, 11)) + 0.2);
    }
    write_map("seeplake.bnd", bnd, b);
    if (gaining) write_map("seeplake.wt", wt, w);
    const testing::storm_run r = testing::run_storm("seeplake.prj", [](model_state& ms) {
      for (int cell = 1; cell <= ms.grid.ncells; ++cell) ms.constituent.gw_conc(1, cell) = 7.0;
    });
    ASSERT_TRUE(r.ended) << r.console;
    const model_state& ms = *r.ms;
    const double in = ms.ledger.run_total(water_flux::groundwater_to_channels);
    const double out = ms.ledger.run_total(water_flux::channels_to_groundwater);
    EXPECT_GT(out, 1.0);
    if (gaining) {
      EXPECT_GT(in, 100.0);
    } else {
      EXPECT_EQ(in, 0.0);
    }
    EXPECT_NEAR(total(ms, 1, term::aquifer_to_channels), in * 7.0 / 1000.0, 1e-9 * (1.0 + in));
    // What the losing beds took left at the nodes' concentrations, at most
    // the spring's 100 g/m3.
    const double lost = total(ms, 1, term::channels_to_aquifer);
    EXPECT_GT(lost, 0.0);
    EXPECT_LE(lost, out * 100.0 / 1000.0);
    const mass_balance_sums bal = water_bodies(ms, 1);
    EXPECT_NEAR(bal.residual(), 0.0, 1e-10 * bal.in);
  }
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// Two contaminants of the mapping table's contaminant table: the spring
// brings each at its own concentration (100 and 50 g/m3), the rain on the
// lake brings the second at its table's 2 g/m3, and each constituent's
// books close on their own.
// examples/chanquality with two contaminants of the mapping table's
// contaminant table over the whole valley: "tracer" (clean rain) and
// "salt" (rain at 2 g/m3).
void write_two_contaminants() {
  testing::copy_example("chanquality");
  write_ones_index_map("chanq.msk");
  auto contaminant = [](const std::string& name, const std::string& rain, const std::string& values) {
    return "\"" + name + "\" \"lu\" \"" + name + "\"\nPRECIP_CONC " + rain + "\nPARTITION 2.0\nNUM_IDS 1\n" +
           testing::table_row("ID", "DESCRIPTION", "K") + testing::table_row("1", "valley", values);
  };
  testing::write_file("chanq.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map \"lu\"\nCONTAMINANT_TRANSPORT\n"
                                   "NUM_CONTAM 2\n" +
                                       contaminant("tracer", "0.0", "0 0 0 0 0 0 0 0") +
                                       contaminant("salt", "2.0", "0 0 0 0 0 0 0 3.0"));
  set_card("chanq.prj", "MAPPING_TABLE", "MAPPING_TABLE chanq.cmt");
}

TEST_F(ChannelQualityRuns, EveryContaminantOfTheTableIsCarriedAndBookedOnItsOwn) {
  write_two_contaminants();
  testing::write_file("chanq.cpi", "NUMPT 1\nPOINT 3 1 0.05 100.0 50.0\nNRPDS 0\n");
  const testing::storm_run r = testing::run_storm("chanq.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  ASSERT_EQ(ms.constituent.num_constituents, 2);
  const double rain = ms.ledger.run_total(water_flux::lake_precipitation);
  const struct {
    double spring, rain;  // g/m3
  } expected[] = {{100.0, 0.0}, {50.0, 2.0}};
  for (int c = 1; c <= 2; ++c) {
    SCOPED_TRACE(c);
    const auto& e = expected[c - 1];
    EXPECT_NEAR(total(ms, c, term::channel_point_sources), 0.05 * e.spring * 240.0 * 60.0 / 1000.0, 1e-6);
    EXPECT_NEAR(total(ms, c, term::rain_on_lakes), e.rain * rain / 1000.0, 1e-12);
    const mass_balance_sums b = water_bodies(ms, c);
    EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.in);
  }
  // The second carries half the first's spring mass down the same water:
  // without the rain it would hold half of it everywhere.
  EXPECT_NEAR(total(ms, 2, term::channel_outlet), 0.5 * total(ms, 1, term::channel_outlet),
              0.5 * total(ms, 1, term::channel_outlet) * 0.05);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The lake of examples/vlake (the valley without the tributary), fed by the
// valley channel's spring for an hour, takes the
// valley channel's last node as it rises and gives it back as it falls:
// the node's mass goes into the lake, and the node comes back with the
// lake's concentration; the books close through both.
TEST_F(ChannelQualityRuns, ALakeTakesANodeWithItsMassAndGivesItBack) {
  testing::copy_example("vlake");
  // The spring runs for the first hour only.
  testing::write_file("chanq.cpi", "NUMPT 1\nPOINT 3 1 0.05 100.0\nNRPDS 1\nINPUT 2024 6 15 13 0\n0.0 0.0\n");
  set_card("vlake.prj", "CHAN_CON_TRANS", "CHAN_CON_TRANS");
  set_card("vlake.prj", "CHAN_POINT_INPUT", "CHAN_POINT_INPUT chanq.cpi");
  int node_mass_while_taken = -1;
  const testing::storm_run r = testing::run_storm("vlake.prj", {}, 100000, [&](const model_state& ms) {
    if (ms.channel.nx[1] == 11 && ms.constituent.chan_wq)
      node_mass_while_taken = std::max(node_mass_while_taken,
                                       ms.constituent.chan_node_mass(1, ms.channel.max_nodes_per_link + 12) != 0.0 ? 1 : 0);
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  EXPECT_NE(r.console.find("node taken: [1][12]"), std::string::npos);
  EXPECT_NE(r.console.find("node released:[1][12]"), std::string::npos);
  EXPECT_EQ(ms.channel.nx[1], 12);
  EXPECT_EQ(node_mass_while_taken, 0);  // a taken node holds nothing
  const mass_balance_sums b = water_bodies(ms, 1);
  EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.in);
  const mass_balance_sums lake = ms.constituent.mass_books->run_balance_of(1, {mass_compartment::lakes});
  EXPECT_NEAR(lake.residual(), 0.0, 1e-10 * lake.in);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// examples/vcatch with the rain carrying a contaminant at 2 g/m3 (the
// mapping table's contaminant table) over the land and down its channel:
// the cells give the channel nodes their water's mass, and the books of
// the channels and of the whole model close. The clean, dry cells' runoff
// is rain alone, so after every channel step each routed node's lateral
// concentration is near the rain's 2 g/m3 (not half or twice it) where the cells gave it water in the
// step (its lateral mass then positive) and 0 where they gave none.
TEST_F(ChannelQualityRuns, TheCellsGiveTheChannelsTheirWatersMass) {
  testing::copy_example("vcatch");
  write_ones_index_map("vcatch.msk");
  std::string id = "1", what = "valley", head = "ID", head2 = "DESCRIPTION";
  id.resize(6, ' ');
  what.resize(80, ' ');
  head.resize(6, ' ');
  head2.resize(80, ' ');
  testing::write_file("vcatch.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP ids.map \"lu\"\nCONTAMINANT_TRANSPORT\n"
                                    "NUM_CONTAM 1\n\"rainsalt\" \"lu\" \"rainsalt\"\nPRECIP_CONC 2.0\nPARTITION 0.0\n"
                                    "NUM_IDS 1\n" +
                                        head + head2 + "K\n" + id + what + "0 0 0 0 0 0 0 0\n");
  set_card("vcatch.prj", "MAPPING_TABLE", "MAPPING_TABLE vcatch.cmt");
  set_card("vcatch.prj", "OV_CON_TRANS", "OV_CON_TRANS");
  set_card("vcatch.prj", "CHAN_CON_TRANS", "CHAN_CON_TRANS");
  int fed = 0, dry = 0, wrong = 0;
  const testing::storm_run r = testing::run_storm("vcatch.prj", {}, 100000, [&](const model_state& m) {
    const channel_state& ch = m.channel;
    const channel_constituents* w = m.constituent.chan_wq.get();
    if (!w) return;
    for (int l = 1; l <= ch.num_stream_links; ++l) {
      if (ch.ltype[l] & (32 | 64)) continue;  // lakes and structures take no lateral water
      for (int j = 1; j <= ch.nx[l]; ++j) {
        const int i = l * ch.max_nodes_per_link + j;
        const double cl = w->lateral_conc(1, i);
        if (cl == 0.0) {
          ++dry;
          if (w->lateral_mass(1, i) > 0.0) ++wrong;  // mass came without a concentration
        } else {
          ++fed;
          // The overland transport's numerics spread the runoff's
          // concentration about the rain's by up to 1.5 % over the run.
          if (std::abs(cl - 2.0) > 0.05 || w->lateral_mass(1, i) <= 0.0) ++wrong;
        }
      }
    }
  });
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(fed, 100);  // the planes fed the channel over many steps
  EXPECT_GT(dry, 0);
  const model_state& ms = *r.ms;
  const double rain = total(ms, 1, term::rain_on_cells);
  const double lateral = total(ms, 1, term::overland_to_channels);
  EXPECT_GT(rain, 0.0);
  EXPECT_GT(lateral, 0.5 * rain);  // most of the rain's mass reaches the channel
  EXPECT_GT(total(ms, 1, term::channel_outlet), 0.0);
  EXPECT_EQ(total(ms, 1, term::channel_negative_reset), 0.0);
  const mass_balance_sums chan = water_bodies(ms, 1);
  EXPECT_NEAR(chan.residual(), 0.0, 1e-10 * chan.in);
  const mass_balance_sums all = ms.constituent.mass_books->run_balance_of(1, mass_ledger::whole_model());
  EXPECT_NEAR(all.residual(), 0.0, 1e-9 * all.in);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// Point sources at the lake. A spring of the point-source file at node 12
// of the valley channel, which the lake takes as it rises: while the lake
// holds the node the spring's water and its mass go into the lake, so the
// springs bring their whole mass, 0.01 m3/s at 100 g/m3 with the other
// two, to the gram. A POINTSOURCE series drawing 0.01 m3/s from the lake:
// the water takes the lake's concentration; summed step by step, the lake's
// concentration after the step times the water drawn in it gives the mass
// drawn within 1 %. The books close either way.
TEST_F(ChannelQualityRuns, PointSourcesAtTheLakeBringAndDrawTheirMass) {
  for (const bool draw : {false, true}) {
    SCOPED_TRACE(draw ? "drawing from the lake" : "a spring the lake takes");
    reset_process_state();
    testing::copy_example("chanquality");
    if (draw) {
      std::string cif = testing::read_file("chanq.cif");
      cif.insert(cif.find("\nLINK 4\n"), "\nPOINTSOURCE draw\n");
      testing::write_file("chanq.cif", cif);
      testing::write_file("chanq.ts", "NIVRA_TS\ndraw\nRELATIVE\n0 0 0 0 0 -0.01\n0 0 0 5 0 -0.01\nEND_TS\n");
      set_card("chanq.prj", "TIME_SERIES_FILE", "TIME_SERIES_FILE chanq.ts");
    } else {
      testing::write_file("chanq.cpi", "NUMPT 3\nPOINT 3 1 0.05 100.0\nPOINT 1 2 0.02 20.0\nPOINT 12 1 0.01 100.0\n"
                                       "NRPDS 0\n");
    }
    double last = 0.0, expected = 0.0;
    const testing::storm_run r = testing::run_storm("chanq.prj", {}, 100000, [&](const model_state& ms) {
      const double drawn = ms.ledger.run_total(water_flux::lake_point_sinks);
      expected += (drawn - last) * ms.constituent.lake_conc(1, 1) / 1000.0;
      last = drawn;
    });
    ASSERT_TRUE(r.ended) << r.console;
    const model_state& ms = *r.ms;
    EXPECT_NE(r.console.find("node taken: [1][12]"), std::string::npos);
    const double springs = (0.05 * 100.0 + 0.02 * 20.0 + (draw ? 0.0 : 0.01 * 100.0)) * 240.0 * 60.0 / 1000.0;
    const double channels = total(ms, 1, term::channel_point_sources), lake = total(ms, 1, term::lake_point_sources);
    if (draw) {
      EXPECT_NEAR(channels, springs, 1e-9 * springs);
      EXPECT_GT(ms.ledger.run_total(water_flux::lake_point_sinks), 100.0);
      EXPECT_GT(expected, 0.1);
      EXPECT_NEAR(-lake, expected, 0.01 * expected);
    } else {
      EXPECT_GT(lake, 0.1);  // while the lake held node 12
      EXPECT_NEAR(channels + lake, springs, 1e-9 * springs);
    }
    const mass_balance_sums b = water_bodies(ms, 1);
    EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.in);
    const mass_balance_sums only_lake = ms.constituent.mass_books->run_balance_of(1, {mass_compartment::lakes});
    EXPECT_NEAR(only_lake.residual(), 0.0, 1e-10 * b.in);
    // The summaries name the lake's point sources and their balances close.
    const std::string sum = testing::read_file("chanq.sum");
    const std::string lake_block = sum.substr(sum.rfind("Lake Contaminant Transport Summary"));
    EXPECT_NEAR(testing::value_after(lake_block, "Point source mass gain"), lake, 0.005);
    EXPECT_NEAR(testing::value_after(sum, "Point source inputs"), channels + lake, 0.005);
    EXPECT_GE(testing::expect_small_errors(sum, {"Dissolved mass balance error", "Contam mass balance error"}, 1e-3),
              4);
  }
}

// A withdrawal takes the node's own water, at the node's concentration,
// whatever concentration its line of the point-source file gives: the
// spring brings only the first contaminant, and a pump below the lake
// takes 0.01 m3/s with file concentrations 0 and 50 g/m3. It takes some
// of the first, which is there, and none of the second, which is not.
TEST_F(ChannelQualityRuns, AWithdrawalTakesTheNodesConcentration) {
  write_two_contaminants();
  testing::write_file("chanq.cpi", "NUMPT 2\nPOINT 3 1 0.05 100.0 0.0\nPOINT 5 5 -0.01 0.0 50.0\nNRPDS 0\n");
  const testing::storm_run r =
      testing::run_storm("chanq.prj", [](model_state& ms) { ms.constituent.precip_conc[2] = 0.0; });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double spring = 0.05 * 100.0 * 240.0 * 60.0 / 1000.0;
  const double net1 = total(ms, 1, term::channel_point_sources);
  EXPECT_LT(net1, spring - 0.01);  // the pump took some of the first
  EXPECT_GT(net1, spring - 0.01 * 100.0 * 240.0 * 60.0 / 1000.0);  // never above the spring's concentration
  EXPECT_EQ(total(ms, 2, term::channel_point_sources), 0.0);
  EXPECT_EQ(ms.constituent.mass_books->mass(2, mass_compartment::channels, ledger_moment::run_end), 0.0);
  for (int c = 1; c <= 2; ++c) {
    const mass_balance_sums b = water_bodies(ms, c);
    EXPECT_NEAR(b.residual(), 0.0, 1e-10 * (1.0 + b.in));
  }
}

}  // namespace
}  // namespace nivra
