// Whole runs that carry a dissolved contaminant: the rain of a known
// concentration on the tilted plane of examples/plane_infil, which lets part
// of it into the soil and sends the rest to the outlet. Every gram of the
// rain's mass leaves through the outlet, goes into the soil, decays or is
// still on the cells, and the run summary's balances close.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "channel/channel_state.h"
#include "core/process.h"
#include "model/mass_ledger.h"
#include "model/water_ledger.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/contaminant/sediment_contaminant_step.h"
#include "quality/sediment/sediment_books.h"
#include "run/run_test_support.h"
#include "surface/lake_storage.h"

namespace nivra {
namespace {

using testing::read_file;
using testing::run_storm;
using testing::set_card;
using testing::table_row;
using testing::write_file;

class ContaminantRun : public testing::process_test {};

// A mapping table with one contaminant: dispersion 0.5 m2/s, decay `decay`
// per day, no land load or exchange, rain at `rain_conc` g/m3.
std::string contaminant_table(const std::string& rain_conc, const std::string& decay) {
  return "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
         "\"Bromide\" \"Land use\" \"bromide.out\"\nPRECIP_CONC " +
         rain_conc + "\nPARTITION 0.0\nNUM_IDS 1\n" + table_row("ID", "", "K") +
         table_row("1", "Field", "0.5 " + decay + " 0 0 0 0 0 0");
}

void contaminant_project(const std::string& rain_conc, const std::string& decay) {
  testing::contaminant_plane(contaminant_table(rain_conc, decay));
}

double term(const model_state& ms, constituent_term t) {
  return ms.constituent.mass_books->run_total(1, row(t));
}

// 25 mm/h for an hour on the plane's 46 cells of 900 m2 at 10 g/m3: 10.35 kg.
constexpr double rain_at_10 = 0.025 * 46 * 900.0 * 10.0 / 1000.0;

// What the first contaminant's overland water took in and gave over the
// run (kg).
struct overland_terms {
  explicit overland_terms(const model_state& ms)
      : rain(term(ms, constituent_term::rain_on_cells)),
        out(term(ms, constituent_term::overland_outlet)),
        infiltrated(term(ms, constituent_term::infiltration)),
        decayed(term(ms, constituent_term::overland_decay)),
        reset(term(ms, constituent_term::overland_negative_reset)),
        land(term(ms, constituent_term::uptake_by_land)) {}
  double rain, out, infiltrated, decayed, reset, land;
};

TEST_F(ContaminantRun, TheRainsMassLeavesSoaksInDecaysOrStaysAndTheBooksClose) {
  contaminant_project("10.0", "2.0");
  const auto r = run_storm("plane_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double rain = rain_at_10;
  const overland_terms t(ms);
  EXPECT_NEAR(t.rain, rain, 1e-9 * rain);
  const double stored = overland_water_mass(ms, 1);
  EXPECT_GT(t.out, 0.01 * rain);
  EXPECT_GT(t.infiltrated, 0.01 * rain);
  EXPECT_GT(t.decayed, 0.0);
  EXPECT_NEAR(rain + t.reset - (t.out + t.infiltrated + t.decayed + stored + t.land), 0.0, 1e-10 * rain);
  // The whole model in the ledger: nothing comes in but the rain.
  const mass_balance_sums whole =
      ms.constituent.mass_books->run_balance_of(1, {mass_compartment::overland_water, mass_compartment::soil_column});
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * rain);
  EXPECT_NEAR(whole.in, rain + t.reset, 1e-10 * rain);
  // The run summary's balances print no error.
  const std::string summary = read_file("plane_infil.sum");
  EXPECT_NE(summary.find("Overland Constituent Transport Summary for Constituent     1"), std::string::npos)
      << summary;
  // The overland and the global balance.
  EXPECT_EQ(testing::expect_small_errors(summary, {"Contam mass balance error"}, 5e-5), 2) << summary;
}

TEST_F(ContaminantRun, UniformCardsCarryOneContaminant) {
  // Without a contaminant table the uniform cards describe one contaminant.
  testing::copy_example("plane_infil");
  set_card("plane_infil.prj", "OV_CON_TRANS", "OV_CON_TRANS");
  set_card("plane_infil.prj", "OV_DECAY_COEF", "OV_DECAY_COEF 1.0");
  const auto r = run_storm("plane_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_EQ(r.ms->constituent.num_constituents, 1);
  EXPECT_EQ(r.console.find("Error"), std::string::npos) << r.console;
  // A land load on them would never leave the land: they give the land no
  // concentration to exchange at. The run stops naming the card.
  reset_process_state();
  set_card("plane_infil.prj", "OV_MASS_LOAD", "OV_MASS_LOAD 2.5");
  const auto stopped = run_storm("plane_infil.prj");
  EXPECT_FALSE(stopped.ended);
  EXPECT_NE(stopped.console.find("Error: OV_MASS_LOAD acts through the exchange"), std::string::npos)
      << stopped.console;
  EXPECT_EQ(stopped.console.find("Running"), std::string::npos);
}

TEST_F(ContaminantRun, TheLoadMapGivesTheFirstContaminantsLandMassCellByCell) {
  // The load map overrides the table's load of the first contaminant: 4 kg
  // on the cells of row 2, 1 kg elsewhere. The plane's mask leaves out the
  // first two cells of row 1: 8 cells at 4 and 38 at 1 is 70 kg on the
  // land, which stays there (the table gives the land no concentration).
  std::string map = "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n";
  for (int r = 1; r <= 6; ++r) map += r == 2 ? "4 4 4 4 4 4 4 4\n" : "1 1 1 1 1 1 1 1\n";
  contaminant_project("0.0", "0.0");
  write_file("load.map", map);
  set_card("plane_infil.prj", "CONTAM_MAP", "CONTAM_MAP load.map");
  const auto r = run_storm("plane_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_NEAR(land_surface_mass(*r.ms, 1), 70.0, 1e-9);
  // The console and the run summary word the line each their own way.
  EXPECT_NE(r.console.find("reading contamimant load map from file: load.map\n"), std::string::npos) << r.console;
  const std::string summary = read_file("plane_infil.sum");
  EXPECT_NE(summary.find("reading contaminant load map from file: load.map\n"), std::string::npos) << summary;
  // A load that is not a number stops the run, naming the map and its place.
  reset_process_state();
  contaminant_project("0.0", "0.0");
  write_file("load.map", map.substr(0, map.rfind("1 1\n")) + "1 nan\n");
  set_card("plane_infil.prj", "CONTAM_MAP", "CONTAM_MAP load.map");
  const auto bad = run_storm("plane_infil.prj");
  EXPECT_FALSE(bad.ended);
  EXPECT_NE(bad.console.find("load.map"), std::string::npos) << bad.console;
  EXPECT_NE(bad.console.find("row 6, column 8"), std::string::npos) << bad.console;
}

TEST_F(ContaminantRun, APointSourceAddsItsWaterWithItsConcentrationAndTheBooksClose) {
  // 10 L/s at 50 g/m3 on the third cell of the top row, clean rain.
  contaminant_project("0.0", "0.0");
  write_file("sources.txt", "# row col discharge concentration\nNUM_SOURCES 1\n\n1 3 0.010 50.0\n");
  set_card("plane_infil.prj", "OV_POINT_SOURCE", "OV_POINT_SOURCE sources.txt");
  const auto r = run_storm("plane_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double water = ms.ledger.run_total(water_flux::overland_point_sources);
  // Every step of the three hours but the first adds 0.1 m3.
  EXPECT_NEAR(water, 0.010 * 180 * 60, 0.1 + 1e-9);
  EXPECT_NEAR(term(ms, constituent_term::overland_point_source), water * 50.0 / 1000.0, 1e-12);
  const mass_balance_sums whole =
      ms.constituent.mass_books->run_balance_of(1, {mass_compartment::overland_water, mass_compartment::soil_column});
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * whole.in);
  // The water balance takes the sources' water.
  const std::string summary = read_file("plane_infil.sum");
  const double error = testing::value_after(summary, "Overall mass balance error =");
  EXPECT_LT(std::fabs(error), 1e-4) << summary;
}

// A source on a cell a lake covers discharges into the lake: the lake's
// water is booked by its level (an overland lake) or its volume (a channel
// lake), so water left standing on such a cell would belong to neither the
// lake nor the overland water and drop out of the balances. Two lakes, each
// fed by a source on one of its cells: the overland lake of
// examples/plane_lake and the channel lake of examples/vlake, each carrying
// a contaminant of the mapping table. No lake cell keeps a depth of its own,
// and the event's and the run's water balances close.
TEST_F(ContaminantRun, APointSourceOnALakeFeedsTheLakeAndTheBalancesClose) {
  struct lake_case {
    const char* example;
    const char* project;
    const char* summary;
    const char* mask;     // the index map of the contaminant's one class
    const char* sources;  // row column discharge concentration
    const char* channel;  // the channels carry the contaminant too
  };
  const lake_case cases[] = {
      {"plane_lake", "plane_lake.prj", "plane_lake.sum", "plane_lake.msk", "2 4 0.003 10.0", ""},
      {"vlake", "vlake.prj", "vlake.sum", "vlake.msk", "15 10 0.010 10.0", "CHAN_CON_TRANS"},
  };
  for (const lake_case& c : cases) {
    SCOPED_TRACE(c.example);
    reset_process_state();
    testing::copy_example(c.example);
    const std::string project = c.project;
    const std::string mask = c.mask;
    write_file("lake.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP " + mask +
                               " \"Land\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
                               "\"Nitrate\" \"Land\" \"nitrate\"\nPRECIP_CONC 2.0\nPARTITION 0.0\nNUM_IDS 1\n" +
                               table_row("ID", "", "K") + table_row("1", "Field", "0.5 0.2 0 0 0 0 0 0"));
    write_file("sources.txt", std::string("NUM_SOURCES 1\n") + c.sources + "\n");
    set_card(project, "MAPPING_TABLE", "MAPPING_TABLE lake.cmt");
    set_card(project, "OV_CON_TRANS", "OV_CON_TRANS");
    set_card(project, "OV_POINT_SOURCE", "OV_POINT_SOURCE sources.txt");
    if (*c.channel) set_card(project, c.channel, c.channel);
    const auto r = run_storm(project);
    ASSERT_TRUE(r.ended) << r.console;
    const model_state& ms = *r.ms;
    const double water = ms.ledger.run_total(water_flux::overland_point_sources);
    EXPECT_GT(water, 30.0);
    for (int i = 1; i <= ms.grid.ncells; ++i) {
      if (under_channel_lake(ms.lake, i) || overland_lake_of(ms.lake, i) > 0) {
        EXPECT_EQ(ms.overland.ov_depth[i], 0.0) << "cell " << i;
      }
    }
    EXPECT_LT(std::fabs(ms.ledger.event().error), 1e-10);
    const std::string summary = read_file(c.summary);
    EXPECT_LT(std::fabs(testing::value_after(summary, "mass conservation error:")), 1e-6) << summary;
    EXPECT_LT(std::fabs(testing::value_after(summary, "Overall mass balance error =")), 1e-6) << summary;
    const mass_balance_sums whole = ms.constituent.mass_books->run_balance_of(1, mass_ledger::whole_model());
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * whole.in);
  }
}

// The week of examples/longterm_accounting with a spring of 2 L/s at
// 25 g/m3 on one cell: the spring runs on between the storms, waking the
// surface whenever the overland and infiltration clocks sleep, so the whole
// week's water (less the first step's) reaches the cell with its mass, and
// the run summary's volume line and the constituent balance say so.
TEST_F(ContaminantRun, PointSourcesDischargeBetweenTheEventsOfALongTermRun) {
  testing::copy_example("longterm_accounting");
  write_file("spring.txt", "NUM_SOURCES 1\n3 4 0.002 25.0\n");
  write_file("accounting.prj", read_file("accounting.prj") + "OV_CON_TRANS\nOV_POINT_SOURCE spring.txt\n");
  double start = 0.0, last_total = 0.0, between = 0.0;
  int routed_between = 0;
  const auto r = run_storm(
      "accounting.prj", [&](model_state& ms) { start = ms.clock.model_time; }, 100000,
      [&](const model_state& ms) {
        const double total = ms.ledger.run_total(water_flux::overland_point_sources);
        if (!ms.clock.event_active) {
          between += total - last_total;
          if (ms.clock.ov_last_time == ms.clock.model_time) ++routed_between;
        }
        last_total = total;
      });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double water = ms.ledger.run_total(water_flux::overland_point_sources);
  const double span = (ms.clock.model_time - start) * 86400.0;
  ASSERT_GT(span, 5 * 86400.0);
  EXPECT_NEAR(water, 0.002 * span, 0.002 * 30.0 + 1e-9);
  EXPECT_GT(between, 0.5 * water);
  EXPECT_GT(routed_between, 0);
  EXPECT_NEAR(term(ms, constituent_term::overland_point_source), water * 25.0 / 1000.0, 1e-12 * water);
  const mass_balance_sums whole =
      ms.constituent.mass_books->run_balance_of(1, {mass_compartment::overland_water, mass_compartment::soil_column});
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * whole.in);
  const std::string summary = read_file("accounting.sum");
  EXPECT_NEAR(testing::value_after(summary, "Total overland point sources="), water, 0.006);
  // The last event's block gives that event's volume.
  const std::size_t last_block = summary.rfind("volume from overland point sources:");
  ASSERT_NE(last_block, std::string::npos);
  EXPECT_NEAR(std::strtod(summary.c_str() + last_block + 35, nullptr),
              ms.ledger.event_total(water_flux::overland_point_sources), 0.06);
  EXPECT_GT(ms.ledger.event_total(water_flux::overland_point_sources), 1.0);
}

TEST_F(ContaminantRun, AFaultyPointSourceFileStopsTheRunNamingTheLine) {
  struct file_case {
    const char* text;
    const char* message;
  } cases[] = {
      {"NUM_SOURCES 2\n1 3 0.01 5\n", "names 2 sources but holds 1"},
      {"NUM_SOURCES 1\n1 3 0.01 5\n2 3 0.01 5\n", "the file goes on after its last source at line 3"},
      {"NUM_SOURCES 2\n1 3 0.01 5\n1 3 0.02 5\n", "a cell is named by a second source at line 3"},
      {"NUM_SOURCES 1\n1 1 0.01 5\n", "outside the watershed at line 2"},
      {"NUM_SOURCES 1\n9 2 0.01 5\n", "outside the watershed at line 2"},
      {"NUM_SOURCES 1\n1 3 -0.01 5\n", "the discharge must be a finite number of at least 0 m3/s at line 2"},
      {"NUM_SOURCES 1\n1 3 nan 5\n", "the discharge must be"},
      {"NUM_SOURCES 1\n1 3 0.01\n", "fewer concentrations than the run has contaminants at line 2"},
      {"NUM_SOURCES 1\n1 3 0.01 5 6\n", "more concentrations than the run has contaminants at line 2"},
      {"NUM_SOURCES 1\n1 3 0.01 -5\n", "a concentration must be a finite number of at least 0 g/m3 at line 2"},
      {"NUM_SOURCES 1.5\n1 3 0.01 5\n", "the first line must be NUM_SOURCES"},
      {"SOURCES 1\n1 3 0.01 5\n", "the first line must be NUM_SOURCES"},
      {"# no sources yet\n\n", "the line NUM_SOURCES is missing"},
  };
  for (const file_case& c : cases) {
    SCOPED_TRACE(c.text);
    reset_process_state();
    contaminant_project("0.0", "0.0");
    write_file("sources.txt", c.text);
    set_card("plane_infil.prj", "OV_POINT_SOURCE", "OV_POINT_SOURCE sources.txt");
    const auto r = run_storm("plane_infil.prj");
    EXPECT_FALSE(r.ended);
    EXPECT_NE(r.console.find(c.message), std::string::npos) << r.console;
    EXPECT_EQ(r.steps, 0);
  }
}

TEST_F(ContaminantRun, TheConcentrationMapsFollowTheWater) {
  // Every hour, in ASCII datasets: every contaminant's concentration and
  // mass (ALL_CONTAM_OUTPUT) and the first one's concentration (OV_CON_MAP);
  // with per-time grids the OV_CON_MAP grids.
  for (const bool datasets : {true, false}) {
    SCOPED_TRACE(datasets);
    reset_process_state();
    contaminant_project("10.0", "0.0");
    set_card("plane_infil.prj", "MAP_TYPE", datasets ? "MAP_TYPE 1" : "MAP_TYPE 0");
    set_card("plane_infil.prj", "MAP_FREQ", "MAP_FREQ 60");
    if (datasets) set_card("plane_infil.prj", "ALL_CONTAM_OUTPUT", "ALL_CONTAM_OUTPUT");
    set_card("plane_infil.prj", "OV_CON_MAP", datasets ? "OV_CON_MAP conc.dat" : "OV_CON_MAP .");
    const auto r = run_storm("plane_infil.prj");
    ASSERT_TRUE(r.ended) << r.console;
    const std::string map = read_file(datasets ? "conc.dat" : "contam.0002.asc");
    // At the end of the rain the water on the plane carries about the
    // rain's concentration (no decay, no exchange; the water and its
    // contaminant are routed by two schemes, which agree to a fraction of a
    // percent).
    std::string series = map;
    if (datasets) {
      EXPECT_NE(map.find("NAME contaminant_conc"), std::string::npos);
      const std::string conc = read_file("bromide.out.conc");
      EXPECT_NE(conc.find("NAME conc_01"), std::string::npos);
      EXPECT_NE(read_file("bromide.out.mass").find("NAME mass_01"), std::string::npos);
      auto hour = [](const std::string& text) {
        const std::string from = text.substr(text.find("TS 1 60.1"));
        return from.substr(0, from.find("TS 1 120"));
      };
      EXPECT_EQ(hour(conc), hour(map));
      series = hour(map);
      for (int skip = 0; skip < 1 + 48; ++skip) series = series.substr(series.find('\n') + 1);
    } else {
      for (int skip = 0; skip < 6; ++skip) series = series.substr(series.find('\n') + 1);
    }
    double largest = 0.0;
    for (std::size_t pos = 0; pos < series.size();) {
      char* end = nullptr;
      const double v = std::strtod(series.c_str() + pos, &end);
      if (end == series.c_str() + pos) break;
      largest = std::max(largest, v);
      pos = static_cast<std::size_t>(end - series.c_str());
    }
    EXPECT_NEAR(largest, 10.0, 0.05) << series;
  }
}

// The values of the records of an ASCII dataset: per record, the value
// of every grid position (0 outside the watershed).
std::vector<std::vector<double>> dataset_records(const std::string& text, int positions) {
  std::vector<std::vector<double>> records;
  for (std::size_t at = text.find("TS 1 "); at != std::string::npos; at = text.find("TS 1 ", at + 1)) {
    const char* p = text.c_str() + text.find('\n', at) + 1;
    for (int i = 0; i < positions; ++i) std::strtol(p, const_cast<char**>(&p), 10);  // the active flags
    std::vector<double> values(static_cast<std::size_t>(positions));
    for (double& v : values) v = std::strtod(p, const_cast<char**>(&p));
    records.push_back(values);
  }
  return records;
}

TEST_F(ContaminantRun, EveryContaminantWritesItsOwnSeriesAndItsMassIsConcentrationTimesWater) {
  // Three contaminants in the rain: bromide at 10 g/m3, chloride at 5 and
  // a clean tracer, none decaying or exchanging. The transport is linear,
  // so in every cell the chloride's mass is half the bromide's and the
  // tracer has none; each cell's mass is its concentration times its
  // water (depth x 900 m2).
  auto contaminant = [](const std::string& name, const std::string& rain) {
    return "\"" + name + "\" \"Land use\" \"" + name + "\"\nPRECIP_CONC " + rain + "\nPARTITION 0.0\nNUM_IDS 1\n" +
           table_row("ID", "DESCRIPTION", "K") + table_row("1", "Field", "0.5 0 0 0 0 0 0 0");
  };
  testing::contaminant_plane("NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\nCONTAMINANT_TRANSPORT\n"
                             "NUM_CONTAM 3\n" +
                             contaminant("bromide", "10.0") + contaminant("chloride", "5.0") +
                             contaminant("tracer", "0.0"));
  set_card("plane_infil.prj", "ALL_CONTAM_OUTPUT", "ALL_CONTAM_OUTPUT");
  set_card("plane_infil.prj", "MAP_TYPE", "MAP_TYPE 1");
  set_card("plane_infil.prj", "MAP_FREQ", "MAP_FREQ 30");
  set_card("plane_infil.prj", "DEPTH", "DEPTH depth.dat");
  const auto r = run_storm("plane_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  ASSERT_EQ(r.ms->constituent.num_constituents, 3);
  const char* names[] = {"bromide", "chloride", "tracer"};
  std::vector<std::vector<double>> conc[3], mass[3];
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(names[i - 1]);
    const std::string c = read_file(std::string(names[i - 1]) + ".conc");
    const std::string m = read_file(std::string(names[i - 1]) + ".mass");
    // Object ids 5000 + 3 (i - 1) and 5001 + 3 (i - 1) for three constituents.
    const std::string head = "DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID ";
    EXPECT_TRUE(c.starts_with(head + std::to_string(5000 + 3 * (i - 1)) + "\nND 48\nNC 48\nNAME conc_0" +
                              std::to_string(i) + "\nTS 1 "))
        << c.substr(0, 100);
    EXPECT_TRUE(m.starts_with(head + std::to_string(5001 + 3 * (i - 1)) + "\nND 48\nNC 48\nNAME mass_0" +
                              std::to_string(i) + "\nTS 1 "))
        << m.substr(0, 100);
    conc[i - 1] = dataset_records(c, 48);
    mass[i - 1] = dataset_records(m, 48);
  }
  const auto depth = dataset_records(read_file("depth.dat"), 48);
  // Three hours of maps every 30 minutes, and the one of the run's end.
  ASSERT_EQ(depth.size(), 7u);
  double largest = 0.0;
  for (std::size_t t = 0; t < depth.size(); ++t) {
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(conc[c].size(), depth.size());
      ASSERT_EQ(mass[c].size(), depth.size());
    }
    for (std::size_t p = 0; p < 48; ++p) {
      SCOPED_TRACE(::testing::Message() << "record " << t << " position " << p);
      const double h = depth[t][p], c1 = conc[0][t][p], m1 = mass[0][t][p];
      // Each printed with 6 decimals.
      EXPECT_NEAR(m1, c1 * h * 900.0, 900.0 * (c1 + h) * 1e-6 + 1e-6);
      EXPECT_NEAR(mass[1][t][p], 0.5 * m1, 1e-6);
      EXPECT_NEAR(conc[1][t][p], 0.5 * c1, 1e-6);
      EXPECT_EQ(mass[2][t][p], 0.0);
      EXPECT_EQ(conc[2][t][p], 0.0);
      largest = std::max(largest, m1);
    }
  }
  EXPECT_GT(largest, 1.0);
}

TEST_F(ContaminantRun, TheExampleProjectClosesItsNitrateBalance) {
  testing::copy_example("contaminant");
  const auto r = run_storm("contaminant.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  // Rain: 25 mm on 46 cells of 900 m2 at 2 g/m3; the drain: 2 L/s at
  // 25 g/m3 for three hours (less its first step); the field: 0.5 kg on
  // each of its six cells, which it cannot give more than.
  EXPECT_NEAR(term(ms, constituent_term::rain_on_cells), 0.025 * 46 * 900.0 * 2.0 / 1000.0, 1e-9);
  EXPECT_NEAR(term(ms, constituent_term::overland_point_source), 0.002 * 25.0 * 180 * 60 / 1000.0, 0.0005 + 1e-9);
  EXPECT_GT(term(ms, constituent_term::release_from_land), 1.0);
  EXPECT_LE(term(ms, constituent_term::release_from_land), 3.0 + 1e-12);
  const mass_balance_sums whole =
      ms.constituent.mass_books->run_balance_of(1, {mass_compartment::overland_water, mass_compartment::soil_column});
  EXPECT_NEAR(whole.initial, 3.0, 1e-12);
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * (whole.in + whole.initial));
  EXPECT_NE(read_file("nitrate.conc").find("NAME conc_01"), std::string::npos);
  // The event's overland block holds the field's mass among the land
  // surface's masses and prints the exchange beside them: counted once,
  // the event's balance closes too.
  const std::string summary = read_file("contaminant.sum");
  EXPECT_NE(summary.find("Uptake from soil"), std::string::npos);
  std::size_t at = summary.find("Dissolved mass balance error");
  ASSERT_NE(at, std::string::npos);
  at = summary.find_first_not_of(" .", at + 28);
  char* end = nullptr;
  const double event_error = std::strtod(summary.c_str() + at, &end);
  ASSERT_NE(end, summary.c_str() + at) << summary.substr(at, 40);
  EXPECT_LT(std::fabs(event_error), 5e-5) << summary;
}

// The summary's text with every number replaced by "#.##" (as many #s
// after the point as it has decimals), right-aligned in the number's own
// width: the labels, blank lines, widths and decimals are kept, the values
// (which the processes own) are not.
std::string masked(const std::string& text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = i;
    if (text[j] == '-') ++j;
    const std::size_t digits = j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    if (j > digits && j + 1 < text.size() && text[j] == '.' &&
        std::isdigit(static_cast<unsigned char>(text[j + 1]))) {
      std::size_t k = j + 1;
      while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k]))) ++k;
      const std::string mask = "#." + std::string(k - j - 1, '#');
      const std::size_t width = k - i;
      out += std::string(width > mask.size() ? width - mask.size() : 0, ' ') + mask;
      i = k;
      continue;
    }
    out += text[i++];
  }
  return out;
}

TEST_F(ContaminantRun, TheErodingExampleCarriesCopperOnTheFinesAndClosesEveryBalance) {
  testing::copy_example("contaminant");
  const auto r = run_storm("eroding.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  // Rain: 40 mm on 46 cells of 900 m2 at 0.1 g/m3. The vineyard: six
  // cells whose top centimetre of soil (porosity 0.45, grains of 2650
  // kg/m3) holds 300 mg of copper per kg.
  const double rain = 0.040 * 46 * 900.0 * 0.1 / 1000.0;
  const double vineyard = 6 * 300e-6 * 0.01 * 900.0 * (1.0 - 0.45) * 2650.0;
  EXPECT_NEAR(term(ms, constituent_term::rain_on_cells), rain, 1e-9 * rain);
  const mass_ledger& books = *ms.constituent.mass_books;
  EXPECT_NEAR(books.mass(1, mass_compartment::soil_column, ledger_moment::run_start), vineyard, 1e-9 * vineyard);
  // The fines lift copper from the soil, lay some back and take some out.
  EXPECT_GT(term(ms, constituent_term::eroded_with_soil), 0.01);
  EXPECT_GT(term(ms, constituent_term::settled_with_sediment), 0.0);
  EXPECT_GT(term(ms, constituent_term::outlet_on_sediment), 0.001);
  EXPECT_GT(term(ms, constituent_term::infiltration), 0.0);
  // The whole model in the ledger: the water, the soil and the fines.
  const mass_balance_sums whole = books.run_balance_of(
      1, {mass_compartment::overland_water, mass_compartment::soil_column, mass_compartment::sediment_bound});
  EXPECT_NEAR(whole.initial, vineyard, 1e-9 * vineyard);
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * (whole.initial + whole.in));

  const std::string summary = read_file("eroding.sum");
  // Every constituent balance of the summary, the event's soil and
  // overland blocks and the run's soil, overland and global blocks, prints
  // no error.
  EXPECT_EQ(testing::expect_small_errors(
                summary, {"Soil mass balance error", "Dissolved mass balance error", "Contam mass balance error"}, 5e-5),
            5)
      << summary;
  // The event's sediment-bound lines carry the event's figures: in a run
  // of one event they are the run's.
  const std::size_t run_at = summary.find("\nSoil Contaminant Transport Summary \n");
  ASSERT_NE(run_at, std::string::npos) << summary;
  struct same_line {
    const char* event;
    const char* run;
  } pairs[] = {
      {"Sediment eroded(-)/deposited(+)", "Sediment eroded(-)/deposited  "},
      {"Final attached to susp seds", "Attached to susp sediments"},
      {"Sediment source ....", "Sediment source       "},
      {"Attached exiting outlet", "Attached exiting watershed"},
      {"Final Mass in Soil Column ....", "Final Mass in Soil Column     "},
  };
  for (const same_line& p : pairs) {
    SCOPED_TRACE(p.event);
    EXPECT_EQ(testing::dotted_value_after(summary, p.event), testing::dotted_value_after(summary, p.run, run_at));
  }
  EXPECT_NE(testing::dotted_value_after(summary, "Sediment eroded(-)/deposited(+)"), 0.0);
  EXPECT_NE(testing::dotted_value_after(summary, "Sediment source ...."), 0.0);

  // The blocks' texts, blank lines and number formats.
  const std::size_t event_at = summary.find("Soil Contaminant Transport Summary for copper \n");
  const std::size_t event_end = summary.find("Overland Sediment Summary", event_at);
  ASSERT_NE(event_at, std::string::npos);
  ASSERT_NE(event_end, std::string::npos);
  EXPECT_EQ(masked(summary.substr(event_at, event_end - event_at)),
            "Soil Contaminant Transport Summary for copper \n"
            "Initial Mass in Soil Column ......................              #.##\n"
            "Final Mass in Soil Column ........................              #.##\n"
            "\n"
            "Mass added by infiltration .......................              #.##\n"
            "\n"
            "Soil decay mass ..................................              #.##\n"
            "Surface water exchange from soil .................              #.##\n"
            "Surface water exchange to soil ...................              #.##\n"
            "Sediment eroded(-)/deposited(+) ..................              #.##\n"
            "Soil mass balance error ..........................              #.####\n"
            "Overland Contaminant Transport Summary for copper \n"
            "Amounts are total mass for event in (Kg) \n"
            " \n"
            "Initial Dissolved Mass on Overland ...............              #.##\n"
            "Final Dissolved Mass on Overland .................              #.##\n"
            "Final attached to susp seds ......................              #.##\n"
            "Final total (attached+dissolved) .................              #.##\n"
            "Point source mass gain ...........................              #.##\n"
            "Precipitation gain ...............................              #.##\n"
            "Uptake from soil .................................              #.##\n"
            "Infiltration .....................................              #.##\n"
            "Outlet flux ......................................              #.##\n"
            "Decay loss .......................................              #.##\n"
            "Negative mass ....................................              #.##\n"
            "Sediment source ..................................              #.##\n"
            "Attached exiting outlet ..........................              #.##\n"
            "Dissolved mass balance error .....................              #.####\n");
  EXPECT_EQ(masked(summary.substr(run_at)),
            "\nSoil Contaminant Transport Summary \n"
            " \n"
            "Soil Constituent Transport Summary for copper \n"
            "\n"
            "Initial Mass in Soil Column             #.## \n"
            "Final Mass in Soil Column               #.## \n"
            " \n"
            "Mass added by infiltration              #.## \n"
            "Mass seepage up from GW                 #.## \n"
            " \n"
            "Uptake from soil                        #.## \n"
            "Soil decay mass                         #.## \n"
            "Mass seepage down to GW                 #.## \n"
            " \n"
            "Sediment eroded(-)/deposited            #.## \n"
            " \n"
            "Soil mass balance error               #.#### \n"
            "\n\n *************   Overland Transport Summaries   **************** \n\n"
            "\n\n"
            "Overland Constituent Transport Summary for Constituent     1 (copper)\n"
            "Amounts are total for simulations in (Kg) \n"
            " \n"
            "Initial Dissolved mass on ov            #.## \n"
            "Final Dissolved mass on ov              #.## \n"
            "\n"
            "Initial undissolved mass                #.## \n"
            "Final undissolved mass                  #.## \n"
            "\n"
            "Point source mass gain                  #.## \n"
            "Precipitation mass gain                 #.## \n"
            "Uptake from soil                        #.## \n"
            "Sediment source                         #.## \n"
            "\n"
            "Mass loss to infiltration               #.## \n"
            "Outlet mass flux                        #.## \n"
            "Mass decay loss on overland             #.## \n"
            "\n"
            "Attached to susp sediments              #.## \n"
            "Attached entering streams               #.## \n"
            "Attached exiting watershed              #.## \n"
            "\n"
            "Contam mass balance error               #.#### percent \n"
            "\n\n *************   Global Transport Summaries   **************** \n\n"
            "Contaminant Transport Global Summary for Contaminant     1 \n"
            "Total initial mass                      #.## \n"
            "Total final Mass                        #.## \n"
            " \n"
            "Point source inputs                     #.##\n"
            "Precipitation inputs                    #.## \n"
            "Flux from GW to streams                 #.## \n"
            "Soil mass in from groundwater           #.## \n"
            " \n"
            "Total mass out of system                #.## \n"
            " \n"
            "Contam mass balance error               #.#### percent \n"
            " \n");
  // The copper's overland concentration and mass, every 30 minutes.
  const std::string conc = read_file("copper.conc");
  EXPECT_TRUE(conc.starts_with("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 5000\nND 48\nNC 48\nNAME conc_01\nTS 1 "))
      << conc.substr(0, 120);
  const std::string mass = read_file("copper.mass");
  EXPECT_TRUE(mass.starts_with("DATASET\nOBJTYPE grid2d\nBEGSCL\nOBJID 5001\nND 48\nNC 48\nNAME mass_01\nTS 1 "))
      << mass.substr(0, 120);
}

TEST_F(ContaminantRun, WithoutASoilColumnTheLandSurfaceGivesTheFinesTheirCopperAndTheSummaryCloses) {
  // The eroding example without its soil column: the vineyard's cells hold
  // 0.5 kg of copper on their surface, the grass's surface gives copper to
  // the water up to 5 g/m3. The land surface gives the fines what they
  // lift, takes back what settles and exchanges with the water; the
  // summary's balances count each once.
  testing::copy_example("contaminant");
  set_card("eroding.prj", "SOIL_CON_TRANS", "");
  std::string table = read_file("eroding.cmt");
  using edit = std::pair<std::string, std::string>;
  for (const edit& e : {edit{"1.0     300.0 0.0   0.0 ", "1.0     0.5   0.0   0.0 "},
                        edit{"1.0     0.0   0.0   0.0 ", "1.0     0.0   0.0   5.0 "}}) {
    const auto& [from, to] = e;
    const std::size_t at = table.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    table.replace(at, from.size(), to);
  }
  write_file("eroding.cmt", table);
  const auto r = run_storm("eroding.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  EXPECT_EQ(ms.constituent.soil_contam_layers, 0);
  EXPECT_GT(term(ms, constituent_term::eroded_with_soil), 0.001);
  EXPECT_GT(term(ms, constituent_term::settled_with_sediment), 0.0);
  EXPECT_GT(term(ms, constituent_term::release_from_land), 0.1);
  const mass_balance_sums whole = ms.constituent.mass_books->run_balance_of(
      1, {mass_compartment::overland_water, mass_compartment::soil_column, mass_compartment::sediment_bound});
  EXPECT_NEAR(whole.initial, 3.0, 1e-12);
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * (whole.initial + whole.in));
  const std::string summary = read_file("eroding.sum");
  EXPECT_EQ(testing::expect_small_errors(summary, {"Dissolved mass balance error", "Contam mass balance error"}, 5e-5),
            3)
      << summary;
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The plane of the runs above with soil erosion and a contaminant that
// sticks to the fine sediment (Kd `kd` L/kg): every cell's land surface
// holds a load of it in a 1 cm mixing layer, the rain brings more at
// 10 g/m3, and the clay and silt carry the attached share.
void attached_project(const std::string& kd, const std::string& rain_conc = "10.0") {
  testing::contaminant_plane(
      "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
      "\"Atrazine\" \"Land use\" \"atrazine.out\"\nPRECIP_CONC " +
      rain_conc + "\nPARTITION " +
      kd + "\nNUM_IDS 1\n" + table_row("ID", "", "K") + table_row("1", "Field", "0.5 2.0 0 5000 0 0 0 0") +
      "SEDIMENTS\nNUM_SED 3\nCLASS  SG  D  FB  FILE\n" + testing::sediment_row("Clay", "2.65 0.002 0.0 clay.out") +
      testing::sediment_row("Silt", "2.65 0.03 0.0 silt.out") + testing::sediment_row("Sand", "2.65 0.3 0.0 sand.out") +
      "SOIL_EROSION_PROPS \"Land use\"\nNUM_IDS 1\nNUM_SED 3\n" + table_row("ID", "", "VALUES") +
      table_row("1", "Field", "2.0e3 4e-5 1.0 0.0 0.8 0.3 0.5 0.2"));
  set_card("plane_infil.prj", "SOIL_EROSION", "SOIL_EROSION 1");
  set_card("plane_infil.prj", "SEDIMENT_CONTAM", "SEDIMENT_CONTAM");
  set_card("plane_infil.prj", "MIXING_LAYER_DEPTH", "MIXING_LAYER_DEPTH 0.01");
  set_card("plane_infil.prj", "SAND_SIZE", "SAND_SIZE 0.0625");
}

TEST_F(ContaminantRun, TheSoilsAttachedMassRidesTheSedimentAndEveryGramIsBooked) {
  // Kd 0: nothing attaches, nothing is eroded with the soil; Kd 1000 L/kg:
  // the fines carry mass off the land and out of the outlet. Either way
  // rain + eroded - settled = outflow (dissolved and attached) +
  // infiltrated + decayed + given to the land by drying cells + what the
  // water and the suspended fines still hold.
  for (const char* kd : {"0.0", "1000.0"}) {
    SCOPED_TRACE(kd);
    reset_process_state();
    attached_project(kd);
    const auto r = run_storm("plane_infil.prj");
    ASSERT_TRUE(r.ended) << r.console;
    const model_state& ms = *r.ms;
    const double rain = rain_at_10;
    const overland_terms t(ms);
    EXPECT_NEAR(t.rain, rain, 1e-9 * rain);
    const double eroded = term(ms, constituent_term::eroded_with_soil);
    const double settled = term(ms, constituent_term::settled_with_sediment);
    const double attached_out = term(ms, constituent_term::outlet_on_sediment);
    const double stored = overland_water_mass(ms, 1) + attached_mass(ms, 1);
    EXPECT_NEAR(rain + t.reset + eroded - settled - (t.out + attached_out + t.infiltrated + t.decayed + t.land + stored),
                0.0, 1e-10 * (rain + eroded));
    // The whole model in the ledger: the land surface gives what the fines lift and takes back what settles.
    const mass_balance_sums whole = ms.constituent.mass_books->run_balance_of(
        1, {mass_compartment::overland_water, mass_compartment::soil_column, mass_compartment::sediment_bound});
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * (rain + whole.initial));
    EXPECT_GT(whole.initial, 0.0);
    const mass_balance_sums fines =
        ms.constituent.mass_books->run_balance_of(1, {mass_compartment::sediment_bound});
    EXPECT_NEAR(fines.residual(), 0.0, 1e-10 * (rain + eroded));
    // The summary's balances close too: the event's overland block and the
    // run's overland and global blocks, whose land surface gave the fines
    // what they lifted and took back what settled.
    const std::string summary = read_file("plane_infil.sum");
    EXPECT_EQ(
        testing::expect_small_errors(summary, {"Dissolved mass balance error", "Contam mass balance error"}, 5e-5), 3)
        << summary;
    if (std::string(kd) == "0.0") {
      EXPECT_EQ(eroded, 0.0);
      EXPECT_EQ(attached_out, 0.0);
      EXPECT_EQ(attached_mass(ms, 1), 0.0);
    } else {
      EXPECT_GT(eroded, 0.0);
      EXPECT_GT(settled, 0.0);
      EXPECT_GT(attached_out, 0.0);
      EXPECT_GT(term(ms, constituent_term::release_from_sediment), 0.0);
    }
  }
}

// The attached plane with clean rain and a contaminant that all but
// dissolves in no water (Kd 1e6 L/kg): as the plane drains, its cells run
// dry and the fines on them settle there. What those fines carry settles
// with them onto the land, booked as settled with the sediment, rather
// than dissolving into the cells' water and reaching the land by uptake or
// the soil by infiltration: the land takes up nothing, and the water takes
// and gives the soil a trace of what the fines took off the land (the
// eroded less the settled mass; each counts the loose fines the drops and
// the flow lift and lay down again in every sub-step). The blocks of the
// ledger and of the summary close.
TEST_F(ContaminantRun, FinesSettlingOnADryingCellLayTheirMassOnTheLandAsSettled) {
  attached_project("1.0e6", "0.0");
  const auto r = run_storm("plane_infil.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double eroded = term(ms, constituent_term::eroded_with_soil);
  const double settled = term(ms, constituent_term::settled_with_sediment);
  const double uptake = term(ms, constituent_term::uptake_by_land);
  ASSERT_GT(eroded, 0.0);
  EXPECT_GT(settled, 0.0);
  EXPECT_LT(uptake, 1e-6 * settled);
  const double taken = eroded - settled;
  ASSERT_GT(taken, 0.0);
  EXPECT_LT(term(ms, constituent_term::release_from_sediment), 2e-3 * taken);
  EXPECT_LT(term(ms, constituent_term::infiltration), 2e-3 * taken);
  const mass_balance_sums whole = ms.constituent.mass_books->run_balance_of(
      1, {mass_compartment::overland_water, mass_compartment::soil_column, mass_compartment::sediment_bound});
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * whole.initial);
  for (const mass_compartment part : {mass_compartment::sediment_bound, mass_compartment::overland_water}) {
    const mass_balance_sums one = ms.constituent.mass_books->run_balance_of(1, {part});
    EXPECT_NEAR(one.residual(), 0.0, 1e-10 * whole.initial);
  }
  const std::string summary = read_file("plane_infil.sum");
  EXPECT_EQ(testing::expect_small_errors(summary, {"Dissolved mass balance error", "Contam mass balance error"}, 5e-5),
            3)
      << summary;
}

// The attached plane (Kd 1e6 L/kg) cut off at its 240th step, its fines
// and the mass on them in suspension: when the next event starts, the fines
// settle and the mass on them settles with them onto the land, every gram
// booked once as settled with the sediment; the water keeps its own.
TEST_F(ContaminantRun, AtAnEventsStartTheMassOnTheSuspendedFinesSettlesWithThem) {
  attached_project("1.0e6");
  auto r = run_storm("plane_infil.prj", {}, 240);
  ASSERT_FALSE(r.ended);
  model_state& ms = *r.ms;
  const constituent_state& k = ms.constituent;
  auto land = [&] {
    double g = 0.0;
    for (int i = 1; i <= ms.grid.ncells; ++i) g += k.land_mass(1, i);
    return g / 1000.0;
  };
  const double on_fines = attached_mass(ms, 1), land_before = land(), water = overland_water_mass(ms, 1);
  const double settled_before = term(ms, constituent_term::settled_with_sediment);
  ASSERT_GT(on_fines, 0.0);
  settle_sediment_between_events(ms, false);
  attached_settles_between_events(ms);
  EXPECT_EQ(attached_mass(ms, 1), 0.0);
  EXPECT_NEAR(land() - land_before, on_fines, 1e-12 * land_before);
  EXPECT_NEAR(term(ms, constituent_term::settled_with_sediment) - settled_before, on_fines, 1e-12 * settled_before);
  EXPECT_EQ(overland_water_mass(ms, 1), water);
  for (int i = 1; i <= ms.grid.ncells; ++i)
    for (int j = 0; j <= k.n_sed_classes; ++j) ASSERT_EQ(k.attached_work.susp(i, j), 0.0);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The rows of a series file: the numbers of every line, the lines of a
// header (`skip`) left out.
std::vector<std::vector<double>> series_rows(const std::string& text, int skip) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(text);
  std::string line;
  for (int n = 0; std::getline(in, line); ++n) {
    if (n < skip) continue;
    std::istringstream values(line);
    std::vector<double> row;
    for (double v; values >> v;) row.push_back(v);
    rows.push_back(row);
  }
  return rows;
}

TEST_F(ContaminantRun, TheChannelLocationSeriesGiveEachNodesConcentrationAndMassFlux) {
  // The Y of examples/chanquality, whose springs carry its contaminant
  // into the channels, with two channel locations: node 6 of link 1 below
  // the first spring and node 10 of link 5 below the lake. Every HYD_FREQ
  // minutes the concentration (g/m3) and the dissolved mass flux (g/s) of
  // each location go beside its discharge; the mass flux is the discharge
  // times the concentration.
  testing::copy_example("chanquality");
  write_file("locations.txt", "2\n1 6\n5 10\n");
  set_card("chanq.prj", "IN_HYD_LOCATION", "IN_HYD_LOCATION locations.txt");
  set_card("chanq.prj", "OUT_HYD_LOCATION", "OUT_HYD_LOCATION discharge.loc");
  set_card("chanq.prj", "OUT_CON_LOCATION", "OUT_CON_LOCATION conc.loc");
  set_card("chanq.prj", "OUT_MASS_LOCATION", "OUT_MASS_LOCATION mass.loc");
  const auto r = run_storm("chanq.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  ASSERT_EQ(ms.constituent.num_constituents, 1);
  const auto q = series_rows(read_file("discharge.loc"), 3);
  const auto conc = series_rows(read_file("conc.loc"), 0);
  const auto mass = series_rows(read_file("mass.loc"), 0);
  // A line every 5 minutes of the 4 hours, as the outlet hydrograph.
  ASSERT_EQ(conc.size(), 49u);
  ASSERT_EQ(mass.size(), conc.size());
  ASSERT_EQ(q.size(), conc.size());
  int compared = 0;
  for (std::size_t t = 0; t < conc.size(); ++t) {
    SCOPED_TRACE(::testing::Message() << "line " << t);
    ASSERT_EQ(conc[t].size(), 3u);
    ASSERT_EQ(mass[t].size(), 3u);
    ASSERT_EQ(q[t].size(), 3u);
    EXPECT_EQ(conc[t][0], 5.0 * static_cast<double>(t));
    EXPECT_EQ(mass[t][0], conc[t][0]);
    for (int loc = 1; loc <= 2; ++loc) {
      if (conc[t][0] < 20.0 || q[t][loc] < 0.01) continue;
      EXPECT_NEAR(mass[t][loc], q[t][loc] * conc[t][loc], 0.01 * q[t][loc] * conc[t][loc]) << loc;
      ++compared;
    }
  }
  EXPECT_GT(compared, 70);
  // The last line is the run's end: the nodes' own values.
  const int stride = ms.channel.max_nodes_per_link;
  const struct {
    int link, node, column;
  } locations[] = {{1, 6, 1}, {5, 10, 2}};
  for (const auto& l : locations) {
    const int flat = l.link * stride + l.node;
    EXPECT_NEAR(conc.back()[l.column], ms.constituent.chan_conc(1, flat), 5e-7) << l.link;
    EXPECT_NEAR(mass.back()[l.column], ms.constituent.dissolved_chan_flux(1, flat), 5e-7) << l.link;
    EXPECT_GT(conc.back()[l.column], 1.0) << l.link;
  }
}

}  // namespace
}  // namespace nivra
