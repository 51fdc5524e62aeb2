// Runs split in two. Run A goes through the whole span; run B1 through its
// first part, writing every hot-start the cards allow; run B2 through the
// rest, starting from B1's own files. A is the measure: the storages B2
// starts with must be those B1 ended with, compartment by compartment, and
// B1 and B2 together must discharge what A did, so that the handover
// neither loses nor makes water. Then the companions' readers: a fault in
// a companion file stops the run naming the file and the line, and a
// hot-start written before the companions were is still read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "groundwater/groundwater_hotstart.h"
#include "groundwater/groundwater_state.h"
#include "groundwater/groundwater_storage.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "quality/constituent_state.h"
#include "quality/ov_sed_record.h"
#include "quality/sediment/sediment_terms.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using testing::set_card;
using card_list = std::vector<std::pair<std::string, std::string>>;

class HotstartRuns : public testing::process_test {};

// A copy of a project with cards replaced, added or (an empty line) taken
// out.
void project_from(const std::string& from, const std::string& to, const card_list& cards) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  for (const auto& [card, line] : cards) set_card(to, card, line);
}

// A run from a fresh process state, whose console takes both streams (the
// readers name faults on the error stream).
testing::storm_run run(const std::string& project,
                       const std::function<void(model_state&)>& after_set_up = {}) {
  reset_process_state();
  ::testing::internal::CaptureStderr();
  testing::storm_run r = testing::run_storm(project, after_set_up);
  r.console += ::testing::internal::GetCapturedStderr();
  return r;
}

struct split_runs {
  testing::storm_run a, b1, b2;
};

double discharged(const testing::storm_run& r) { return r.ms->ledger.run_total(water_flux::outlet_discharge); }

// B2 starts with what B1 ended with in every compartment, and B1 and B2
// discharge what A did (to `share` of it).
void expect_seamless(const split_runs& s, double share) {
  ASSERT_TRUE(s.a.ended) << s.a.console;
  ASSERT_TRUE(s.b1.ended) << s.b1.console;
  ASSERT_TRUE(s.b2.ended) << s.b2.console;
  const water_ledger& before = s.b1.ms->ledger;
  const water_ledger& after = s.b2.ms->ledger;
  for (int k = 0; k < static_cast<int>(water_store::count); ++k) {
    const auto w = static_cast<water_store>(k);
    if (w == water_store::sacramento) continue;  // kept at the events only
    const double end = before.storage(w, ledger_moment::run_end);
    EXPECT_NEAR(after.storage(w, ledger_moment::run_start), end, 1e-5 * std::max(1.0, std::fabs(end)))
        << "store " << k;
  }
  const double whole = discharged(s.a);
  EXPECT_GT(whole, 0.0);
  EXPECT_NEAR(discharged(s.b1) + discharged(s.b2), whole, share * whole);
  EXPECT_NEAR(s.b2.ms->ledger.run().overall_error, 0.0, 1e-6);  // percent
}

// The second column of the first line of a hydrograph.
double first_discharge(const std::string& file) {
  std::istringstream in(testing::read_file(file));
  double t = 0.0, q = -1.0;
  in >> t >> q;
  return q;
}
double last_discharge(const std::string& file) {
  std::istringstream in(testing::read_file(file));
  double t = 0.0, q = -1.0, last = -1.0;
  while (in >> t >> q) last = q;
  return last;
}

// examples/vlake: the lake takes the cell of the channel's last node (link
// 1, node 12) 31 minutes in, as it rises, and gives it back at 189 minutes,
// as it falls. Split at 60 minutes (in the rain, the lake rising) and at
// 150 (the rain over, the lake falling), the node is the lake's at the
// handover: B1's channel hot-start holds the nodes link 1 routes, its
// companion the lake's level, volume and cells and the node it holds.
TEST_F(HotstartRuns, AChannelLakeHoldingANodeGoesOnFromItsLevel) {
  testing::copy_example("vlake");
  split_runs s;
  s.a = run("vlake.prj");
  for (const int minutes : {60, 150}) {
    SCOPED_TRACE(minutes);
    project_from("vlake.prj", "b1.prj",
                 {{"TOT_TIME", "TOT_TIME " + std::to_string(minutes)},
                  {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
                  {"WRITE_CHAN_HOTSTART", "WRITE_CHAN_HOTSTART b1"},
                  {"OUTLET_HYDRO", "OUTLET_HYDRO b1.otl"}});
    s.b1 = run("b1.prj");
    ASSERT_EQ(s.b1.ms->channel.nx[1], 11) << "the lake holds node 12 of link 1 when B1 ends";
    card_list rest = {{"TOT_TIME", "TOT_TIME " + std::to_string(240 - minutes)},
                      {"START_TIME", "START_TIME " + std::to_string(12 + minutes / 60) + " " +
                                         std::to_string(minutes % 60)},
                      {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"},
                      {"READ_CHAN_HOTSTART", "READ_CHAN_HOTSTART b1"},
                      {"OUTLET_HYDRO", "OUTLET_HYDRO b2.otl"}};
    if (minutes < 90) {
      rest.push_back({"RAIN_DURATION", "RAIN_DURATION " + std::to_string(90 - minutes)});
    } else {
      // The rain is over: an event of no rain from the handover.
      testing::write_file("dry.gag", "EVENT dry\nNRGAG 1\nNRPDS 2\nCOORD 0 0 gage\nGAGES 2024 6 15 14 30 0.0\n"
                                     "GAGES 2024 6 15 16 00 0.0\n");
      for (const char* card : {"PRECIP_UNIF", "RAIN_INTENSITY", "RAIN_DURATION", "START_DATE", "START_TIME"})
        rest.push_back({card, ""});
      rest.push_back({"PRECIP_FILE", "PRECIP_FILE dry.gag"});
    }
    project_from("vlake.prj", "b2.prj", rest);
    int routed_at_start = 0;
    s.b2 = run("b2.prj", [&](model_state& ms) { routed_at_start = ms.channel.nx[1]; });
    EXPECT_EQ(routed_at_start, 11);
    expect_seamless(s, 1e-4);
    // The lake's level and volume go on from where B1 left them.
    EXPECT_NEAR(s.b2.ms->ledger.storage(water_store::channel_lakes, ledger_moment::run_start),
                s.b1.ms->ledger.storage(water_store::channel_lakes, ledger_moment::run_end), 1e-6);
    // B2's hydrograph starts with the discharge that left the outlet in
    // B1's last step, not with a false 0.
    EXPECT_GT(last_discharge("b1.otl"), 0.01);
    EXPECT_DOUBLE_EQ(first_discharge("b2.otl"), last_discharge("b1.otl"));
  }
}

// examples/groundwater's storm: Green and Ampt over the aquifer, split an
// hour into its two hours of rain. The soil hot-start's companion carries
// the wetting front (the depth each cell has taken in), the groundwater
// map (named after the project) the heads and its companion the water
// still on its way to the table.
TEST_F(HotstartRuns, AGreenAmptStormOverTheAquiferSplitInTheRain) {
  testing::copy_example("groundwater");
  set_card("storm.prj", "TOT_TIME", "TOT_TIME 180");
  split_runs s;
  s.a = run("storm.prj");
  project_from("storm.prj", "b1.prj",
               {{"TOT_TIME", "TOT_TIME 60"},
                {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
                {"WRITE_SM_HOTSTART", "WRITE_SM_HOTSTART b1.sm"},
                {"WRITE_CHAN_HOTSTART", "WRITE_CHAN_HOTSTART b1"}});
  s.b1 = run("b1.prj");
  EXPECT_TRUE(testing::file_exists("b1.gw_hotstart"));
  EXPECT_TRUE(testing::file_exists("b1.gw_hotstart.state"));
  EXPECT_FALSE(testing::file_exists("hotstart_file"));
  project_from("storm.prj", "b2.prj",
               {{"TOT_TIME", "TOT_TIME 120"},
                {"START_TIME", "START_TIME 13 0"},
                {"RAIN_DURATION", "RAIN_DURATION 60"},
                {"WATER_TABLE", "WATER_TABLE b1.gw_hotstart"},
                {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"},
                {"READ_SM_HOTSTART", "READ_SM_HOTSTART b1.sm"},
                {"READ_CHAN_HOTSTART", "READ_CHAN_HOTSTART b1"}});
  s.b2 = run("b2.prj");
  expect_seamless(s, 1e-4);
  // The front takes in what it would have taken in one run.
  const auto infiltrated = [](const testing::storm_run& r) { return r.ms->ledger.run_total(water_flux::infiltration); };
  EXPECT_NEAR(infiltrated(s.b1) + infiltrated(s.b2), infiltrated(s.a), 1e-4 * infiltrated(s.a));
}

// The groundwater companion carries per cell the water on its way to the
// table that the next solve takes in, as a depth over the cell: the
// recharge, less what the streams, the tile drains and the seeping lakes
// took from the aquifer since the last solve (negative: gave it). By hand
// on two cells of 100 m2, each term of its own size, and the same water as
// the groundwater storage counts beside the heads (here at the bottom).
TEST_F(HotstartRuns, TheGroundwaterCompanionCarriesTheWaterOnItsWayToTheTable) {
  auto ms = make_model_state();
  ms->grid.ncells = 2;
  ms->grid.grid_size = 10.0;
  groundwater_state& gw = ms->groundwater;
  gw.gw_simulation = 1;
  for (array1d<double>* a : {&gw.gw_recharge, &gw.cell_stream_exchange_vol, &gw.gw_tile_vol_cell, &gw.lake_source,
                             &gw.elevgw, &gw.bottom_elev, &gw.gw_porosity})
    a->alloc(2);
  gw.gw_porosity.fill(0.3);
  const struct {
    double recharge, stream, tile, lake;  // m; m3 taken from the aquifer
    double carried;                       // m
  } cells[] = {{0.02, 0.5, 0.3, 0.2, 0.02 - 0.005 - 0.003 - 0.002},
               {0.001, -1.0, 0.0, -0.4, 0.001 + 0.01 + 0.004}};
  for (int c = 1; c <= 2; ++c) {
    gw.gw_recharge[c] = cells[c - 1].recharge;
    gw.cell_stream_exchange_vol[c] = cells[c - 1].stream;
    gw.gw_tile_vol_cell[c] = cells[c - 1].tile;
    gw.lake_source[c] = cells[c - 1].lake;
  }
  std::FILE* f = std::fopen("gw.state", "w");
  ASSERT_NE(f, nullptr);
  write_groundwater_state_file(f, *ms);
  std::fclose(f);
  std::istringstream in(testing::read_file("gw.state"));
  std::string line;
  double total = 0.0;
  int c = 0;
  while (std::getline(in, line)) {
    int cell = 0;
    double carried = 0.0;
    if (std::sscanf(line.c_str(), "CELL %d %lf", &cell, &carried) != 2) continue;
    ASSERT_EQ(cell, ++c);
    EXPECT_NEAR(carried, cells[c - 1].carried, 1e-12) << "cell " << c;
    total += carried * 100.0;
  }
  EXPECT_EQ(c, 2);
  EXPECT_NEAR(total, groundwater_storage(*ms), 1e-9);
}

// The long-term hillsides of examples/longterm (Green and Ampt with
// redistribution over the accounting layer) and examples/longterm_richards
// (Richards columns) through their first storm, split an hour into it: B2's
// weather and gage file begin at the handover, its first event the rest of
// the storm, whose fronts go on from the step they had reached.
void long_term_split(const std::string& example, const std::string& project, split_runs& s) {
  testing::copy_example(example);
  set_card(project, "END_TIME", "END_TIME 2024 6 12 0 0");
  s.a = run(project);
  project_from(project, "b1.prj",
               {{"END_TIME", "END_TIME 2024 6 11 15 0"},
                {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
                {"WRITE_SM_HOTSTART", "WRITE_SM_HOTSTART b1.sm"},
                {"OUTLET_HYDRO", "OUTLET_HYDRO b1.otl"}});
  s.b1 = run("b1.prj");
  std::istringstream weather(testing::read_file("weather.guv"));
  std::string line, later;
  while (std::getline(weather, line)) {
    int y = 0, m = 0, d = 0, h = 0;
    if (std::sscanf(line.c_str(), "%d %d %d %d", &y, &m, &d, &h) == 4 && d * 100 + h >= 1115) later += line + "\n";
  }
  testing::write_file("weather_b2.guv", later);
  testing::write_file("storm_b2.gag", "EVENT The rest of the thunderstorm of 11 June 2024\nNRGAG 1\nNRPDS 3\n"
                                      "COORD 500150.0 4400120.0  Hillside gage\nGAGES 2024 6 11 15 00 0.0\n"
                                      "GAGES 2024 6 11 16 00 20.0\nGAGES 2024 6 11 17 00 5.0\n");
  project_from(project, "b2.prj",
               {{"HMET_GUV", "HMET_GUV weather_b2.guv"},
                {"PRECIP_FILE", "PRECIP_FILE storm_b2.gag"},
                {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"},
                {"READ_SM_HOTSTART", "READ_SM_HOTSTART b1.sm"},
                {"OUTLET_HYDRO", "OUTLET_HYDRO b2.otl"}});
  s.b2 = run("b2.prj");
}

TEST_F(HotstartRuns, LongTermStormsSplitInsideAStormGoOnFromTheWholeSoilProfile) {
  for (const auto& [example, project] : {std::pair{"longterm", "longterm.prj"},
                                          std::pair{"longterm_richards", "richards.prj"}}) {
    SCOPED_TRACE(example);
    split_runs s;
    long_term_split(example, project, s);
    // B1 ends in the rain, its fronts running into the soil.
    EXPECT_EQ(s.b1.ms->clock.ended_in_event, 1);
    EXPECT_GT(s.b1.ms->ledger.run_total(water_flux::infiltration), 0.0);
    expect_seamless(s, 1e-3);
    // B2's hydrograph starts where B1's ended.
    EXPECT_NEAR(first_discharge("b2.otl"), last_discharge("b1.otl"), 1e-4);
  }
}

// Storms on the land alone, handed over half an hour in: examples/wetland,
// whose wetland cells start the storm with their wetland's water (B2's
// first event keeps the water the overland hot-start gave them instead of
// filling them again), and examples/plane_lake, whose overland lake has
// risen over cells beyond its map (the companion carries its level, volume
// and cells).
TEST_F(HotstartRuns, WetlandsAndOverlandLakesGoOnWithTheWaterHandedOver) {
  const struct {
    const char* example;
    int tot_time;
  } storms[] = {{"wetland", 240}, {"plane_lake", 180}};
  for (const auto& storm : storms) {
    SCOPED_TRACE(storm.example);
    testing::copy_example(storm.example);
    const std::string project = std::string(storm.example) + ".prj";
    split_runs s;
    s.a = run(project);
    project_from(project, "b1.prj", {{"TOT_TIME", "TOT_TIME 30"}, {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"}});
    s.b1 = run("b1.prj");
    project_from(project, "b2.prj",
                 {{"TOT_TIME", "TOT_TIME " + std::to_string(storm.tot_time - 30)},
                  {"START_TIME", "START_TIME 12 30"},
                  {"RAIN_DURATION", "RAIN_DURATION 30"},
                  {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"}});
    s.b2 = run("b2.prj");
    expect_seamless(s, 1e-4);
    EXPECT_EQ(s.b2.ms->ledger.run_total(water_flux::wetland_refill), 0.0);
  }
}

// examples/erosion: three sediment classes wash off the valley into its
// channel and lake. Split two hours in, an hour after the rain, the
// channels' sand and wash load and the lake's suspended and settled
// sediment are carried by the channel hot-start's companion, the cells'
// suspended and loose sediment by the overland one's: B2 starts with the
// sediment B1 ended with, and the outlet passes what it passed in A.
TEST_F(HotstartRuns, SedimentOfTheCellsChannelsAndLakeGoesOn) {
  testing::copy_example("erosion");
  split_runs s;
  s.a = run("erosion.prj");
  project_from("erosion.prj", "b1.prj",
               {{"TOT_TIME", "TOT_TIME 120"},
                {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
                {"WRITE_CHAN_HOTSTART", "WRITE_CHAN_HOTSTART b1"},
                {"OUTLET_SED_FLUX", "OUTLET_SED_FLUX b1.sed"}});
  s.b1 = run("b1.prj");
  testing::write_file("dry.gag", "EVENT dry\nNRGAG 1\nNRPDS 2\nCOORD 0 0 gage\nGAGES 2024 6 15 14 00 0.0\n"
                                 "GAGES 2024 6 15 16 00 0.0\n");
  project_from("erosion.prj", "b2.prj",
               {{"TOT_TIME", "TOT_TIME 120"},
                {"PRECIP_UNIF", ""},
                {"RAIN_INTENSITY", ""},
                {"RAIN_DURATION", ""},
                {"START_DATE", ""},
                {"START_TIME", ""},
                {"PRECIP_FILE", "PRECIP_FILE dry.gag"},
                {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"},
                {"READ_CHAN_HOTSTART", "READ_CHAN_HOTSTART b1"},
                {"OUTLET_SED_FLUX", "OUTLET_SED_FLUX b2.sed"}});
  s.b2 = run("b2.prj");
  expect_seamless(s, 1e-4);
  // B2's sediment series starts with what B1's outlet passed last, not
  // with a false 0: the last line of B1's and the first of B2's.
  const auto sed_line = [](const std::string& file, bool last) {
    std::istringstream in(testing::read_file(file));
    std::string line, kept;
    while (std::getline(in, line))
      if (!line.empty() && (last || kept.empty())) kept = line;
    std::istringstream words(kept);
    std::vector<double> v;
    for (double x = 0.0; words >> x;) v.push_back(x);
    return v;
  };
  const std::vector<double> b1_last = sed_line("b1.sed", true), b2_first = sed_line("b2.sed", false);
  ASSERT_EQ(b1_last.size(), b2_first.size());
  ASSERT_GE(b1_last.size(), 5u);  // the time, the clay and the silt, the sand and its total
  EXPECT_EQ(b2_first[0], 0.0);
  for (std::size_t j = 1; j < b1_last.size(); ++j) {
    EXPECT_GT(b1_last[j], 0.0) << "column " << j + 1;
    EXPECT_NEAR(b2_first[j], b1_last[j], 1e-9) << "column " << j + 1;
  }
  const mass_ledger& before = *s.b1.ms->constituent.ov_sed->books;
  const mass_ledger& after = *s.b2.ms->constituent.ov_sed->books;
  for (int c = 1; c <= s.a.ms->constituent.n_sed_classes; ++c)
    for (int k = 0; k < static_cast<int>(mass_compartment::count); ++k) {
      const auto where = static_cast<mass_compartment>(k);
      if (where == mass_compartment::outside) continue;
      const double end = before.mass(c, where, ledger_moment::run_end);
      EXPECT_NEAR(after.mass(c, where, ledger_moment::run_start), end, 1e-6 * std::fabs(end) + 1e-9)
          << "class " << c << " compartment " << k;
    }
  const auto out = [](const testing::storm_run& r) {
    const chan_sed_totals& t = r.ms->constituent.chan_sed_run;
    return std::pair{t.sand_out, t.wash_out};
  };
  const auto [sand, wash] = out(s.a);
  EXPECT_GT(sand, 0.0);
  EXPECT_GT(wash, 0.0);
  EXPECT_NEAR(out(s.b1).first + out(s.b2).first, sand, 1e-4 * sand);
  EXPECT_NEAR(out(s.b1).second + out(s.b2).second, wash, 1e-4 * wash);
}

// The lines of a series file (a time, then the values), each line's
// numbers.
std::vector<std::vector<double>> series_of(const std::string& file) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(testing::read_file(file));
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<double> v;
    for (double x = 0.0; words >> x;) v.push_back(x);
    if (!v.empty()) rows.push_back(v);
  }
  return rows;
}

// Every line of B1's and B2's series (B2's times `shift` after A's) has
// the values A's line of that time has, to `share` of each column's peak;
// B2's first line is the value the writing run's last step left.
void expect_series_of_one_run(const std::string& name, double shift, double share) {
  const auto a = series_of("a" + name), b1 = series_of("b1" + name), b2 = series_of("b2" + name);
  ASSERT_FALSE(a.empty());
  std::vector<double> peak(a.front().size(), 0.0);
  for (const auto& row : a)
    for (std::size_t j = 1; j < row.size() && j < peak.size(); ++j) peak[j] = std::max(peak[j], std::fabs(row[j]));
  int found = 0;
  for (const auto* part : {&b1, &b2})
    for (const auto& row : *part) {
      const double t = row[0] + (part == &b2 ? shift : 0.0);
      const auto at = std::find_if(a.begin(), a.end(), [&](const auto& r) { return std::fabs(r[0] - t) < 1e-6; });
      if (at == a.end()) continue;
      ++found;
      ASSERT_EQ(row.size(), at->size());
      for (std::size_t j = 1; j < row.size(); ++j)
        EXPECT_NEAR(row[j], (*at)[j], share * peak[j] + 1e-12) << name << " at " << t << ", column " << j + 1;
    }
  EXPECT_EQ(found, static_cast<int>(b1.size() + b2.size())) << name << ": lines of B1 and B2 at A's times";
}

// A run split in two by its hot-starts and set beside the one run: the run
// through the whole span (A, cards `whole`), its first part writing every
// hot-start (B1, `first`) and the rest from B1's files (B2, `rest`; a
// long-term B2 takes the weather from `weather_from`, day * 100 + hour, and
// the precipitation file `gages`). Each part writes its outlet hydrograph
// to six decimals and, with soil erosion, its outlet sediment series.
struct split_case {
  const char* shows;  // the state the hot-starts must hand over
  const char* example;
  const char* project;
  card_list whole, first, rest;
  int weather_from = 0;
  const char* gages = nullptr;
  double shift = 0.0;  // minutes from A's start to B2's, for series timed from a run's start
};

// The storms of the long-term hillsides' week: the rest of the thunderstorm
// of 11 June 2024 from 16:00, and the storms after it (a run ends with its
// last event).
constexpr const char* rest_of_first_storm =
    "EVENT The rest of the thunderstorm of 11 June 2024\nNRGAG 1\nNRPDS 2\nCOORD 500150.0 4400120.0  Hillside gage\n"
    "GAGES 2024 6 11 16 00 0.0\nGAGES 2024 6 11 17 00 5.0\n";
constexpr const char* later_storms =
    "EVENT Night rain of 14 June 2024\nNRGAG 1\nNRPDS 3\nCOORD 500150.0 4400120.0  Hillside gage\n"
    "GAGES 2024 6 14 03 00 0.0\nGAGES 2024 6 14 04 00 15.0\nGAGES 2024 6 14 05 00 10.0\n\n"
    "EVENT Evening storm of 16 June 2024\nNRGAG 1\nNRPDS 4\nCOORD 500150.0 4400120.0  Hillside gage\n"
    "GAGES 2024 6 16 21 00 0.0\nGAGES 2024 6 16 22 00 18.0\nGAGES 2024 6 16 23 00 14.0\nGAGES 2024 6 17 00 00 6.0\n";

const split_case split_cases[] = {
    {"examples/hillslope split in its rain: the ground ADJUST_ELEV moved, the sediment the outlet passed in the last "
     "step (OUTLET_SED_FLUX without channels), the faces' flows of the last step (the sediment moves in B2's first "
     "step) and the sediment the water of the event still holds",
     "hillslope", "hillslope.prj", {},
     {{"TOT_TIME", "TOT_TIME 30"}, {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"}},
     {{"TOT_TIME", "TOT_TIME 90"},
      {"START_TIME", "START_TIME 12 30"},
      {"RAIN_DURATION", "RAIN_DURATION 30"},
      {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"}},
     0, nullptr, 30.0},
    {"examples/erosion split in its rain, ten minutes on: the faces' flows of the cells that drain into the channels",
     "erosion", "erosion.prj", {{"TOT_TIME", "TOT_TIME 40"}},
     {{"TOT_TIME", "TOT_TIME 30"},
      {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
      {"WRITE_CHAN_HOTSTART", "WRITE_CHAN_HOTSTART b1"}},
     {{"TOT_TIME", "TOT_TIME 10"},
      {"START_TIME", "START_TIME 12 30"},
      {"RAIN_DURATION", "RAIN_DURATION 30"},
      {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"},
      {"READ_CHAN_HOTSTART", "READ_CHAN_HOTSTART b1"}},
     0, nullptr, 30.0},
    {"examples/longterm_accounting split in the dry spell before the night rain: the accounting layer drains from "
     "its own last pass when the rain begins",
     "longterm_accounting", "accounting.prj", {{"END_TIME", "END_TIME 2024 6 14 6 0"}},
     {{"END_TIME", "END_TIME 2024 6 12 12 0"},
      {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
      {"WRITE_SM_HOTSTART", "WRITE_SM_HOTSTART b1.sm"}},
     {{"END_TIME", "END_TIME 2024 6 14 6 0"},
      {"HMET_GUV", "HMET_GUV weather_b2.guv"},
      {"PRECIP_FILE", "PRECIP_FILE storms_b2.gag"},
      {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"},
      {"READ_SM_HOTSTART", "READ_SM_HOTSTART b1.sm"}},
     1212, later_storms},
    {"examples/groundwater richards.prj split in the first storm: the infiltration and aquifer clocks, the columns' "
     "sub-steps and top conditions, the ground's temperature, and the table, depths and channels to the last digit",
     "groundwater", "richards.prj", {{"END_TIME", "END_TIME 2024 6 11 20 0"}},
     {{"END_TIME", "END_TIME 2024 6 11 16 0"},
      {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
      {"WRITE_SM_HOTSTART", "WRITE_SM_HOTSTART b1.sm"},
      {"WRITE_CHAN_HOTSTART", "WRITE_CHAN_HOTSTART b1"}},
     {{"END_TIME", "END_TIME 2024 6 11 20 0"},
      {"HMET_GUV", "HMET_GUV weather_b2.guv"},
      {"PRECIP_FILE", "PRECIP_FILE storms_b2.gag"},
      {"WATER_TABLE", "WATER_TABLE b1.gw_hotstart"},
      {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"},
      {"READ_SM_HOTSTART", "READ_SM_HOTSTART b1.sm"},
      {"READ_CHAN_HOTSTART", "READ_CHAN_HOTSTART b1"}},
     1116, rest_of_first_storm},
};

// Each split run goes on as the one run: B2 starts with the water and
// sediment B1 ended with, the two parts' series are A's (B2's first line
// the last of B1's), their water and sediment move what A's did, and B2
// ends with A's stores, sediment and ground. The hot-starts hand the runs
// over to the last digit, so the measure is a millionth.
TEST_F(HotstartRuns, SplitRunsGoOnAsTheOneRun) {
  constexpr double share = 1e-6;
  for (const split_case& k : split_cases) {
    SCOPED_TRACE(k.shows);
    testing::copy_example(k.example);
    const bool sediment = testing::read_file(k.project).find("OUTLET_SED_FLUX") != std::string::npos;
    const auto series = [&](const char* run) {
      card_list cards = {{"SIG_OUTLET_HYDRO", std::string("SIG_OUTLET_HYDRO ") + run + ".q6"}};
      if (sediment) cards.push_back({"OUTLET_SED_FLUX", std::string("OUTLET_SED_FLUX ") + run + ".sed"});
      return cards;
    };
    const auto with = [](card_list a, const card_list& b) {
      a.insert(a.end(), b.begin(), b.end());
      return a;
    };
    split_runs s;
    project_from(k.project, "a.prj", with(k.whole, series("a")));
    s.a = run("a.prj");
    project_from(k.project, "b1.prj", with(k.first, series("b1")));
    s.b1 = run("b1.prj");
    if (k.weather_from > 0) {
      std::istringstream weather(testing::read_file("weather.guv"));
      std::string line, later;
      while (std::getline(weather, line)) {
        int y = 0, m = 0, d = 0, h = 0;
        if (std::sscanf(line.c_str(), "%d %d %d %d", &y, &m, &d, &h) == 4 && d * 100 + h >= k.weather_from)
          later += line + "\n";
      }
      testing::write_file("weather_b2.guv", later);
      testing::write_file("storms_b2.gag", k.gages);
    }
    project_from(k.project, "b2.prj", with(k.rest, series("b2")));
    s.b2 = run("b2.prj");
    expect_seamless(s, share);
    if (::testing::Test::HasFatalFailure()) return;
    expect_series_of_one_run(".q6", k.shift, share);
    if (sediment) expect_series_of_one_run(".sed", k.shift, share);
    const water_ledger &a = s.a.ms->ledger, &b1 = s.b1.ms->ledger, &b2 = s.b2.ms->ledger;
    for (int f = 0; f < static_cast<int>(water_flux::count); ++f) {
      const auto w = static_cast<water_flux>(f);
      EXPECT_NEAR(b1.run_total(w) + b2.run_total(w), a.run_total(w), share * std::max(1.0, std::fabs(a.run_total(w))))
          << "flux " << f;
    }
    for (int k2 = 0; k2 < static_cast<int>(water_store::count); ++k2) {
      const auto w = static_cast<water_store>(k2);
      if (w == water_store::sacramento) continue;
      const double end = a.storage(w, ledger_moment::run_end);
      EXPECT_NEAR(b2.storage(w, ledger_moment::run_end), end, share * std::max(1.0, std::fabs(end))) << "store " << k2;
    }
    for (int c = 1; c <= s.a.ms->grid.ncells; ++c)
      EXPECT_NEAR(s.b2.ms->grid.elevation[c], s.a.ms->grid.elevation[c], 1e-9) << "the ground of cell " << c;
    if (!s.a.ms->constituent.ov_sed) continue;
    const mass_ledger &sa = *s.a.ms->constituent.ov_sed->books, &sb1 = *s.b1.ms->constituent.ov_sed->books,
                      &sb2 = *s.b2.ms->constituent.ov_sed->books;
    for (int c = 1; c <= s.a.ms->constituent.n_sed_classes; ++c) {
      for (int t = 1; t <= n_sediment_terms; ++t) {
        const double whole = sa.run_total(c, t);
        EXPECT_NEAR(sb1.run_total(c, t) + sb2.run_total(c, t), whole, share * std::max(1e-3, std::fabs(whole)))
            << "class " << c << " sediment term " << t;
      }
      for (int m = 0; m < static_cast<int>(mass_compartment::count); ++m) {
        const auto where = static_cast<mass_compartment>(m);
        if (where == mass_compartment::outside) continue;
        const double end = sa.mass(c, where, ledger_moment::run_end);
        EXPECT_NEAR(sb2.mass(c, where, ledger_moment::run_end), end, share * std::fabs(end) + 1e-9)
            << "class " << c << " compartment " << m;
      }
    }
  }
}

// A line of a text replaced, for a fault in a companion file: the first
// line that begins with `from` becomes `to` (nothing: the line goes).
std::string with_line(const std::string& text, const std::string& from, const std::string& to) {
  std::string out = text;
  const std::size_t at = out.rfind('\n' + from, out.size()) == std::string::npos ? std::string::npos
                                                                                  : out.find('\n' + from) + 1;
  const std::size_t begin = out.starts_with(from) ? 0 : at;
  if (begin == std::string::npos) {
    ADD_FAILURE() << "no line " << from;
    return out;
  }
  const std::size_t end = out.find('\n', begin);
  out.replace(begin, end == std::string::npos ? out.size() - begin : end + 1 - begin, to.empty() ? "" : to + "\n");
  return out;
}

// The valley of examples/vlake handed over 60 minutes into its storm (the
// lake holding node 12 of link 1) and the groundwater storm an hour into
// its rain: B1 has written its hot-starts, b2.prj reads them.
void vlake_handover() {
  testing::copy_example("vlake");
  project_from("vlake.prj", "b1.prj",
               {{"TOT_TIME", "TOT_TIME 60"},
                {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
                {"WRITE_CHAN_HOTSTART", "WRITE_CHAN_HOTSTART b1"}});
  ASSERT_TRUE(run("b1.prj").ended);
  project_from("vlake.prj", "b2.prj",
               {{"TOT_TIME", "TOT_TIME 30"},
                {"START_TIME", "START_TIME 13 0"},
                {"RAIN_DURATION", "RAIN_DURATION 30"},
                {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"},
                {"READ_CHAN_HOTSTART", "READ_CHAN_HOTSTART b1"}});
}
void groundwater_handover() {
  testing::copy_example("groundwater");
  project_from("storm.prj", "b1.prj",
               {{"TOT_TIME", "TOT_TIME 60"}, {"WRITE_SM_HOTSTART", "WRITE_SM_HOTSTART b1.sm"}});
  ASSERT_TRUE(run("b1.prj").ended);
  project_from("storm.prj", "b2.prj",
               {{"TOT_TIME", "TOT_TIME 30"},
                {"START_TIME", "START_TIME 13 0"},
                {"RAIN_DURATION", "RAIN_DURATION 30"},
                {"WATER_TABLE", "WATER_TABLE b1.gw_hotstart"},
                {"READ_SM_HOTSTART", "READ_SM_HOTSTART b1.sm"}});
}

// A fault in a companion stops the run at its set-up, naming the file (and
// the line where there is one); none is taken for the initial state.
TEST_F(HotstartRuns, AFaultInACompanionStopsTheRunNamingTheFileAndLine) {
  struct fault {
    const char* file;
    const char* from;  // the line changed
    const char* to;
    const char* message;
  };
  const fault channel_faults[] = {
      {"b1.state", "NIVRA_CHANNEL_STATE", "NIVRA_CHANNEL", "b1.state does not begin with NIVRA_CHANNEL_STATE"},
      {"b1.state", "LAKES 1", "LAKES 2", "line 4 of the channel hot-start state b1.state gives 2 channel lakes; the "
                                         "channel input file has 1"},
      {"b1.state", "LAKE 1", "LAKE 1 high 1287 5600 14 0", "gives the level \"high\""},
      {"b1.state", "CELL 1 17 11", "CELL 1 1 11", "not among the cells of its search list (NUMPTS)"},
      {"b1.state", "CELL 1 16 11", "CELL 1 17 11", "gives a cell a second time"},
      {"b1.state", "TAKEN", "TAKEN 4 3 1", "no channel link a lake can take (the outlet link never is)"},
      {"b1.state", "TAKEN", "TAKEN 1 11 2", "gives the lake \"2\""},
      {"b1.state", "SEDIMENT", "SEDIMENT 3", "carries the sediment of 3 classes; this run has 0"},
      {"b1.state", "END", "", "ends at line"},
      {"b1.state", "END", "END\nLAKES 1", "follows the END line"},
      {"b1.state", "SEDIMENT", "SEDIMENT 0\nBANK 1", "begins with a word that is no card of the file"},
      {"b1.state", "END", "OUTLET_SEDIMENT\nOUTLET_SEDIMENT\nEND", "gives OUTLET_SEDIMENT a second time"},
      {"b1.state", "OUTLET", "OUTLET inf", "gives the outlet discharge \"inf\""},
      {"b1.ov.state", "OUTLET", "OUTLET nan", "gives the outlet discharge \"nan\""},
      {"b1.ov.state", "LAKES 0", "LAKES 1", "gives 1 overland lakes; the project's lake map has 0"},
      {"b1.ov.state", "EVENT", "EVENT -1", "gives the time the run ended inside an event \"-1\""},
      {"b1.ov.state", "DEPTH", "DEPTH 1 -0.5", "gives the depth \"-0.5\""},
      {"b1.ov.state", "FACES", "FACES 1 nan 0", "gives the discharge across the right face \"nan\""},
      {"b1.ov.state", "ADE_STEPPING", "ADE_STEPPING 3 10 1 0", "gives the sweep the next step begins with \"3\""},
      {"b1.ov.state", "END", "ADE_STEPPING 1 10 1 0\nEND", "gives ADE_STEPPING a second time"},
  };
  // Each fault written into the handed-over file in turn stops the second
  // part before its first step, naming the fault (and, where asked, the
  // file); the file is put back after each.
  auto refused = [&](const auto& faults, bool names_file) {
    for (const fault& f : faults) {
      SCOPED_TRACE(f.to);
      const std::string kept = testing::read_file(f.file);
      testing::write_file(f.file, with_line(kept, f.from, f.to));
      const testing::storm_run r = run("b2.prj");
      testing::write_file(f.file, kept);
      EXPECT_FALSE(r.ended);
      EXPECT_EQ(r.steps, 0);
      EXPECT_NE(r.console.find(f.message), std::string::npos) << r.console.substr(r.console.size() - 400);
      if (names_file) {
        EXPECT_NE(r.console.find(f.file), std::string::npos);
      }
    }
  };
  vlake_handover();
  refused(channel_faults, true);
  const fault soil_faults[] = {
      {"b1.sm.state", "SCHEME", "SCHEME INF_REDIST",
       "line 3 of the soil hot-start state b1.sm.state gives the state of INF_REDIST; this run takes water into the "
       "soil by GREEN_AMPT"},
      {"b1.sm.state", "CELLS", "CELLS 76", "gives 76 cells; the watershed has 77"},
      {"b1.sm.state", "FIELDS", "FIELDS F theta_i",
       "names the fields \"F theta_i\"; the GREEN_AMPT state has \"theta_i F [ground_temp]\""},
      {"b1.sm.state", "CELL 5 ", "CELL 5 1.5 0.02", "gives theta_i \"1.5\""},
      {"b1.sm.state", "CELL 5 ", "CELL 4 0.26 0.02", "gives a cell a second time"},
      {"b1.sm.state", "CELL 5 ", "", "gives 76 of the 77 cells"},
      {"b1.sm.state", "CLOCK", "CLOCK 30 0 30 2", "gives whether the fronts were running \"2\""},
      {"b1.sm.state", "CLOCK", "CLOCK 30 0 30 1\nCLOCK 30 0 30 1", "gives CLOCK a second time"},
      {"b1.gw_hotstart.state", "CELL 3 ", "CELL 3 1e9", "gives the water waiting for the table \"1e9\""},
      {"b1.gw_hotstart.state", "CELL 3 ", "CELL 3 0 1e5", "gives the water table \"1e5\""},
      {"b1.gw_hotstart.state", "CLOCK", "CLOCK 600 0 600 3", "gives the sweep of the next solve \"3\""},
      {"b1.gw_hotstart.state", "CELL 3 ", "", "gives 76 of the 77 cells"},
  };
  groundwater_handover();
  refused(soil_faults, false);
}

// The run ended, saying `text` on its console.
void expect_ended_saying(const testing::storm_run& r, const std::string& text) {
  EXPECT_TRUE(r.ended) << r.console;
  EXPECT_NE(r.console.find(text), std::string::npos) << r.console;
}

// A hot-start written before the companions were is read as it was; the
// run says what it starts afresh. A run that writes or reads only some of
// the hot-starts names the parts it leaves out, with the water they hold.
TEST_F(HotstartRuns, WhatTheHotStartsLeaveOutIsNamed) {
  vlake_handover();
  std::filesystem::remove("b1.state");
  std::filesystem::remove("b1.ov.state");
  const testing::storm_run old = run("b2.prj");
  // The lake held node 12, which an older channel hot-start cannot say.
  EXPECT_FALSE(old.ended);
  EXPECT_NE(old.console.find("Error: the channel hotstart b1.dht has no line for node 12 of link 1."),
            std::string::npos);
  // Handed over before the lake reached the node, an older file is read.
  project_from("vlake.prj", "b1.prj",
               {{"TOT_TIME", "TOT_TIME 20"},
                {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"},
                {"WRITE_CHAN_HOTSTART", "WRITE_CHAN_HOTSTART b1"}});
  const testing::storm_run b1 = run("b1.prj");
  ASSERT_TRUE(b1.ended);
  std::filesystem::remove("b1.state");
  std::filesystem::remove("b1.ov.state");
  set_card("b2.prj", "START_TIME", "START_TIME 12 20");
  const testing::storm_run b2 = run("b2.prj");
  EXPECT_TRUE(b2.ended) << b2.console;
  EXPECT_NE(b2.console.find("Warning: READ_CHAN_HOTSTART b1 has no companion b1.state: the channel lakes start at "
                            "their initial levels"),
            std::string::npos)
      << b2.console;
  // Without overland lakes, wetlands or sediment a depth map alone holds
  // the whole overland state: it is a starting depth like any other.
  EXPECT_EQ(b2.console.find("Warning: READ_OV_HOTSTART b1.ov has no companion"), std::string::npos);
  EXPECT_DOUBLE_EQ(b2.ms->ledger.storage(water_store::channel_lakes, ledger_moment::run_start), 2.7 * 400.0);

  // B1 writes the overland hot-start only: it names the channels' water it
  // leaves out; B2 reads it only and names the channels it starts dry.
  set_card("b1.prj", "WRITE_CHAN_HOTSTART", "");
  const testing::storm_run part = run("b1.prj");
  ASSERT_TRUE(part.ended);
  const double left = part.ms->ledger.storage(water_store::channels, ledger_moment::run_end) +
                      part.ms->ledger.storage(water_store::channel_lakes, ledger_moment::run_end);
  char text[200];
  std::snprintf(text, sizeof text,
                "Warning: the hot-starts this run writes (WRITE_OV_HOTSTART) do not carry the channels and their "
                "lakes (%.2f m3 at the end of the run): give WRITE_CHAN_HOTSTART.",
                left);
  EXPECT_NE(part.console.find(text), std::string::npos) << part.console;
  set_card("b2.prj", "READ_CHAN_HOTSTART", "");
  const testing::storm_run partly = run("b2.prj");
  EXPECT_TRUE(partly.ended);
  EXPECT_NE(partly.console.find("Warning: this run starts from hot-starts (READ_OV_HOTSTART) but not the channels, "
                                "which start dry and their lakes at their initial levels: give READ_CHAN_HOTSTART."),
            std::string::npos);

  // Companions written before the event's clocks, the depths to the last
  // digit, the faces' flows, the routing's stepping and the exact table
  // were carried are read as they were.
  const auto without = [](const std::string& file, std::initializer_list<const char*> cards) {
    std::istringstream in(testing::read_file(file));
    std::string kept;
    for (std::string line; std::getline(in, line);) {
      bool drop = false;
      for (const char* card : cards) drop = drop || line.rfind(std::string(card) + " ", 0) == 0;
      if (!drop) kept += line + "\n";
    }
    testing::write_file(file, kept);
  };
  vlake_handover();
  without("b1.ov.state", {"EVENT", "DEPTH", "FACES", "ADE_STEPPING"});
  const testing::storm_run older = run("b2.prj");
  EXPECT_TRUE(older.ended) << older.console;
  groundwater_handover();
  without("b1.sm.state", {"CLOCK"});
  without("b1.gw_hotstart.state", {"CLOCK"});
  std::string table = testing::read_file("b1.gw_hotstart.state"), cut;
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("CELL ", 0) == 0) line = line.substr(0, line.rfind(' '));
    cut += line + "\n";
  }
  testing::write_file("b1.gw_hotstart.state", cut);
  const testing::storm_run older_soil = run("b2.prj");
  EXPECT_TRUE(older_soil.ended) << older_soil.console;

  // A run whose ground ADJUST_ELEV moves, started from an overland
  // companion that carries no ground, starts from the elevation map's, and
  // says so.
  testing::copy_example("hillslope");
  project_from("hillslope.prj", "b1.prj",
               {{"TOT_TIME", "TOT_TIME 5"}, {"WRITE_OV_HOTSTART", "WRITE_OV_HOTSTART b1.ov"}});
  ASSERT_TRUE(run("b1.prj").ended);
  EXPECT_NE(testing::read_file("b1.ov.state").find("\nGROUND 80 "), std::string::npos);
  without("b1.ov.state", {"GROUND"});
  project_from("hillslope.prj", "b2.prj",
               {{"TOT_TIME", "TOT_TIME 5"},
                {"START_TIME", "START_TIME 12 5"},
                {"READ_OV_HOTSTART", "READ_OV_HOTSTART b1.ov"}});
  expect_ended_saying(run("b2.prj"), "Warning: READ_OV_HOTSTART b1.ov: its companion b1.ov.state carries no ground "
                                     "(GROUND lines), so the ground ADJUST_ELEV moves starts from the ELEVATION map.");

  // A Green and Ampt soil read from its map alone starts its fronts afresh;
  // fronts carried into a run whose first event starts at another time
  // start again too, each with its warning.
  groundwater_handover();
  set_card("b2.prj", "START_TIME", "START_TIME 13 30");
  expect_ended_saying(run("b2.prj"), "Warning: READ_SM_HOTSTART b1.sm: the run that wrote it ended inside an event");
  std::filesystem::remove("b1.sm.state");
  expect_ended_saying(run("b2.prj"), "Warning: READ_SM_HOTSTART b1.sm has no companion b1.sm.state: the infiltrated "
                                     "depth starts at 0.");
}

}  // namespace
}  // namespace nivra
