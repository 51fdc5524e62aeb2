// Whole runs with lakes. examples/vlake: a channel fills a lake in a basin
// of the valley, the lake grows over the basin's cells and lets its water
// out over a weir into the channel below; rising over the cell of the
// channel's last node, it takes the node and gives it back. examples/plane_lake: an overland
// lake held at its initial level above lower ground spills only the rain
// it gets. examples/seeplake: the lake of vlake over an aquifer seeps
// through its bed. The channel lake's valley also runs long term through a
// storm and the hours after it, its lake evaporating under the weather.
// Every run's books must close: the lake's own balance, the aquifer's and
// the run's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "channel/channel_state.h"
#include "groundwater/groundwater_state.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "output/step_outputs.h"
#include "run/run_test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using flux = water_flux;
using store = water_store;
using moment = ledger_moment;
using testing::set_card;

class LakeRuns : public testing::process_test {};

TEST_F(LakeRuns, AChannelLakeFillsSpillsOverItsWeirAndKeepsItsWater) {
  testing::copy_example("vlake");
  int most_cells = 0;
  const testing::storm_run r = testing::run_storm("vlake.prj", {}, 100000, [&](const model_state& ms) {
    most_cells = std::max(most_cells, ms.lake.lake_cells[1]);
  });
  ASSERT_TRUE(r.ended) << r.console;
  const water_ledger& l = r.ms->ledger;
  const double start = l.storage(store::channel_lakes, moment::run_start);
  const double end = l.storage(store::channel_lakes, moment::run_end);
  const double in = l.run_total(flux::lake_precipitation) + l.run_total(flux::overland_to_channel_lakes) +
                    l.run_total(flux::channels_to_channel_lakes);
  const double out = l.run_total(flux::channel_lakes_to_overland) + l.run_total(flux::channel_lakes_to_channels);
  // The lake starts over the 11 basin cells below 14.5 m (2.7 m of water
  // over 400 m2 cells), takes the channel's water, the basin's overland
  // water and its rain, and passes water over the weir.
  EXPECT_DOUBLE_EQ(start, 2.7 * 400.0);
  EXPECT_EQ(r.ms->lake.lake_cells[1] > 0, true);
  EXPECT_GT(most_cells, 11);
  EXPECT_GT(l.run_total(flux::lake_precipitation), 0.0);
  EXPECT_GT(l.run_total(flux::overland_to_channel_lakes), 0.0);
  EXPECT_GT(out, 0.5 * (in - l.run_total(flux::lake_precipitation)));
  EXPECT_NEAR(start + in - out, end, 1e-9 * (start + in));
  // Over the cell of the channel's last node the lake took the node and
  // gave it back as it fell.
  EXPECT_NE(r.console.find("node taken: [1][12]"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find("node released:[1][12]"), std::string::npos);
  EXPECT_EQ(r.ms->channel.nx[1], 12);
  EXPECT_NEAR(r.ms->ledger.run().channel_lake_error, 0.0, 1e-9 * (start + in));
  EXPECT_NEAR(r.ms->ledger.run().overall_error, 0.0, 1e-7);  // percent
  EXPECT_NEAR(r.ms->ledger.run().surface_error, 0.0, 1e-7);
}

// The lake of examples/vlake under 40 mm/h for 90 minutes rises past
// 14.80 m, the ground of the shore cell at row 18, column 11, and spills
// over it. The lake gives the land the depth it stands above the shore in
// every overland scheme, so the three agree on the water the lake lets out
// over its shore and on the peak, and each gives the same at a step four
// times shorter.
TEST_F(LakeRuns, ALakeRisingOverItsShoreSpillsTheSameInEveryScheme) {
  struct result {
    const char* scheme;
    double step, spilled, peak, highest;
  };
  std::vector<result> runs;
  for (const char* scheme : {"EXPLICIT", "ADE", "ADE-PC"}) {
    for (const double step : {10.0, 2.5}) {
      testing::copy_example("vlake");
      set_card("vlake.prj", "OVERTYPE", std::string("OVERTYPE ") + scheme);
      set_card("vlake.prj", "TIMESTEP", "TIMESTEP " + std::to_string(step));
      set_card("vlake.prj", "RAIN_INTENSITY", "RAIN_INTENSITY 40.0");
      set_card("vlake.prj", "RAIN_DURATION", "RAIN_DURATION 90");
      set_card("vlake.prj", "TOT_TIME", "TOT_TIME 120");
      double highest = 0.0;
      const testing::storm_run r = testing::run_storm("vlake.prj", {}, 100000, [&](const model_state& ms) {
        highest = std::max(highest, ms.lake.lake_elev[1]);
      });
      ASSERT_TRUE(r.ended) << scheme << " " << step << "\n" << r.console;
      const water_ledger& l = r.ms->ledger;
      runs.push_back({scheme, step, l.run_total(flux::channel_lakes_to_overland), r.ms->clock.event_peak_q, highest});
      EXPECT_NEAR(l.run().overall_error, 0.0, 1e-7) << scheme << " " << step;  // percent
      EXPECT_NEAR(l.run().channel_lake_error, 0.0, 1e-6) << scheme << " " << step;
    }
  }
  const result& ref = runs.front();  // EXPLICIT at 10 s
  for (const result& run : runs) {
    SCOPED_TRACE(std::string(run.scheme) + " at " + std::to_string(run.step) + " s");
    EXPECT_GT(run.highest, 14.80);
    EXPECT_GT(run.spilled, 300.0);
    EXPECT_NEAR(run.spilled, ref.spilled, 0.05 * ref.spilled);
    EXPECT_NEAR(run.peak, ref.peak, 0.01 * ref.peak);
  }
  for (std::size_t i = 0; i + 1 < runs.size(); i += 2) {
    SCOPED_TRACE(runs[i].scheme);
    EXPECT_NEAR(runs[i].spilled, runs[i + 1].spilled, 0.05 * runs[i + 1].spilled);
    EXPECT_NEAR(runs[i].peak, runs[i + 1].peak, 0.01 * runs[i + 1].peak);
  }
}

// The lake of examples/seeplake stands over a water table 2 m under the
// ground: it leaks through its bed at its own depth, and what it loses the
// aquifer gains. Then the table stands above the lake's bed but falls away
// from it (a deep leakage of 3.6 cm/h drains the aquifer): the lake takes
// water from it at first and loses water to it once the table sinks below
// the bed. Either way the lake rises above its weir's crest, though no
// channel brings it water, and spills over the weir.
TEST_F(LakeRuns, ASeepingLakeLosesWhatTheAquiferGains) {
  const struct {
    const char* what;
    const char* table;     // the water table under the lake's cells
    const char* leakage;   // GW_LEAKAGE_RATE card, or none
    bool gains;            // the lake takes water from the aquifer at some time
    double crest = 5.0;    // the weir's crest length, m
  } cases[] = {
      {"table under the bed", nullptr, nullptr, false},
      {"falling table", "15.2", "GW_LEAKAGE_RATE 3.6", true},
      {"narrow weir", nullptr, nullptr, false, 0.02},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    testing::copy_example("seeplake");
    std::string cif = testing::read_file("seeplake.cif");
    cif.replace(cif.find("CREST_LENGTH 5.0"), 16, "CREST_LENGTH " + std::to_string(k.crest));
    testing::write_file("seeplake.cif", cif);
    if (k.table) {
      // The basin's cells (rows 12 to 17, columns 10 to 12) get the table
      // at the given level; the rest keeps it 2 m under the ground.
      std::string wt = testing::read_file("seeplake.wt");
      std::vector<std::string> lines;
      std::size_t p = 0;
      while (p < wt.size()) {
        const std::size_t e = wt.find('\n', p);
        lines.push_back(wt.substr(p, e - p));
        p = e + 1;
      }
      std::string out;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const int row = static_cast<int>(i) - 5;
        if (row >= 12 && row <= 17) {
          std::vector<std::string> v;
          std::size_t q = 0;
          const std::string& l = lines[i];
          while (q < l.size()) {
            const std::size_t e = l.find(' ', q);
            v.push_back(l.substr(q, e == std::string::npos ? std::string::npos : e - q));
            if (e == std::string::npos) break;
            q = e + 1;
          }
          for (int c = 10; c <= 12; ++c) v[static_cast<std::size_t>(c - 1)] = k.table;
          std::string joined;
          for (std::size_t j = 0; j < v.size(); ++j) joined += (j ? " " : "") + v[j];
          out += joined + "\n";
        } else {
          out += lines[i] + "\n";
        }
      }
      testing::write_file("seeplake.wt", out);
    }
    if (k.leakage) set_card("seeplake.prj", "GW_TIMESTEP", std::string("GW_TIMESTEP 600\n") + k.leakage);
    // The lake's highest level and the weir's discharge then.
    double highest = 0.0, spill = 0.0;
    const testing::storm_run r = testing::run_storm("seeplake.prj", {}, 100000, [&](const model_state& ms) {
      if (ms.lake.lake_elev[1] <= highest) return;
      highest = ms.lake.lake_elev[1];
      spill = ms.channel.qp(1, 3);
    });
    ASSERT_TRUE(r.ended) << r.console;
    const water_ledger& l = r.ms->ledger;
    // Rain (and the aquifer) raise the lake above the weir's crest (14.5 m):
    // it spills over the crest, of length L with a coefficient of 0.6, the
    // free flow (2/3) C L sqrt(2g/3) H^1.5 of the head H above the crest.
    const double head = highest - 14.5;
    EXPECT_GT(head, 0.005);
    EXPECT_NEAR(spill, 2.0 / 3.0 * 0.6 * k.crest * std::sqrt(2.0 * 9.81 / 3.0 * head * head * head), 1e-6 * spill);
    EXPECT_GT(l.run_total(flux::channel_lakes_to_channels), 0.0);
    // The run goes on while the lake stands above its crest (1,080 m3 at
    // 14.5 m): it ends before its 240 minutes only once the lake and the
    // channels hold less than 0.01 % of the rain above the crest. Over the
    // narrow weir the lake spills for long after the 90 minutes of rain.
    const double rain = l.event_total(flux::rainfall_to_overland);
    if (r.ms->clock.elapsed_min < 240.0)
      EXPECT_LT(l.storage(store::channel_lakes, moment::run_end) - 1080.0 +
                    l.storage(store::channels, moment::run_end),
                1e-4 * rain);
    if (k.crest < 1.0) EXPECT_GT(r.ms->clock.elapsed_min, 120.0);
    const double down = l.run_total(flux::channel_lakes_to_groundwater);
    const double up = l.run_total(flux::groundwater_to_channel_lakes);
    EXPECT_GT(down, 1.0);
    EXPECT_EQ(up > 0.0, k.gains) << up;
    // The lake's books: what it held, gained and lost.
    const double start = l.storage(store::channel_lakes, moment::run_start);
    const double end = l.storage(store::channel_lakes, moment::run_end);
    const double in = l.run_total(flux::lake_precipitation) + l.run_total(flux::overland_to_channel_lakes) +
                      l.run_total(flux::channels_to_channel_lakes) + up;
    const double out = l.run_total(flux::channel_lakes_to_overland) + l.run_total(flux::channel_lakes_to_channels) +
                       down;
    EXPECT_NEAR(start + in - out, end, 1e-9 * (start + in));
    // The aquifer's books: what the lake lost it gained, beside the rain
    // that reached the table and its deep leakage.
    const double gw_start = l.storage(store::groundwater, moment::run_start);
    const double gw_end = l.storage(store::groundwater, moment::run_end);
    const double gw_in = l.run_total(flux::groundwater_recharge) + down + l.run_total(flux::groundwater_floor_fill);
    const double gw_out = l.run_total(flux::deep_leakage) + up + l.run_total(flux::exfiltration);
    EXPECT_NEAR(gw_start + gw_in - gw_out, gw_end, 1e-9 * gw_start);
    EXPECT_NEAR(r.ms->ledger.run().overall_error, 0.0, 1e-6);  // percent
    EXPECT_NEAR(r.ms->ledger.run().channel_lake_error, 0.0, 1e-9 * (start + in));
    EXPECT_NE(r.console.find("Simulating Lake Losses for Lake #1, Bed Thickness: 0.5 m\n"), std::string::npos);
    // The cells under the lake are lake cells of the aquifer.
    const int cell = r.ms->grid.mask[14][11];
    EXPECT_EQ(r.ms->groundwater.gwbound[cell], 7);
  }
}

// A seeping lake's bed takes the soil's conductivity: a project without one
// stops at its set-up, naming the channel input file and the card.
TEST_F(LakeRuns, ASeepingLakeWithoutASoilConductivityStopsTheRun) {
  testing::copy_example("vlake");
  std::string cif = testing::read_file("vlake.cif");
  cif.replace(cif.find("MAXWSE 15.5\n"), 12, "MAXWSE 15.5\nMLAKE 0.5\n");
  testing::write_file("vlake.cif", cif);
  const testing::storm_run r = testing::run_storm("vlake.prj");
  EXPECT_FALSE(r.ended);
  EXPECT_NE(r.console.find("Error: the channel input file vlake.cif has lakes that seep through their beds (MLAKE); "
                           "their beds take the saturated hydraulic conductivity of the soil (the CONDUCTIVITY map"),
            std::string::npos)
      << r.console;
}

// The valley of vlake.prj run long term: Green and Ampt with
// redistribution and an albedo on uniform maps of the valley (each map's
// value given), the gage file and weather of the caller, and `cards`
// setting the clock, the weather station and the event's end.
void long_term_valley(const char* const (&values)[7], const std::vector<std::string>& cards) {
  testing::copy_example("vlake");
  auto uniform_map = [](const std::string& file, const std::string& value) {
    std::string text = "north: 600.0\nsouth: 0.0\neast: 420.0\nwest: 0.0\nrows: 30\ncols: 21\n";
    for (int row = 0; row < 30; ++row) {
      for (int col = 0; col < 21; ++col) text += (col ? " " : "") + value;
      text += "\n";
    }
    testing::write_file(file, text);
  };
  const char* maps[][2] = {{"ALBEDO", "vlake.alb"}, {"CONDUCTIVITY", "vlake.ks"}, {"CAPILLARY", "vlake.hc"},
                           {"POROSITY", "vlake.por"}, {"MOISTURE", "vlake.moi"}, {"PORE_INDEX", "vlake.pdi"},
                           {"RESIDUAL_SAT", "vlake.rsd"}};
  for (std::size_t i = 0; i < 7; ++i) {
    uniform_map(maps[i][1], values[i]);
    set_card("vlake.prj", maps[i][0], std::string(maps[i][0]) + " " + maps[i][1]);
  }
  for (const char* card : {"TOT_TIME", "START_DATE", "START_TIME", "PRECIP_UNIF", "RAIN_INTENSITY", "RAIN_DURATION"})
    set_card("vlake.prj", card, "");
  std::vector<std::string> lines = {"RAIN_THIESSEN", "LONG_TERM", "HMET_GUV         weather.guv", "ET_CALC_DEARDORFF",
                                    "INF_REDIST"};
  lines.insert(lines.end(), cards.begin(), cards.end());
  for (const std::string& line : lines) set_card("vlake.prj", line.substr(0, line.find(' ')), line);
}

void copy_example_file(const char* example, const char* file) {
  std::filesystem::copy_file(std::filesystem::path(NIVRA_SOURCE_DIR) / "examples" / example / file, file,
                             std::filesystem::copy_options::overwrite_existing);
}

TEST_F(LakeRuns, AChannelLakeEvaporatesInALongTermRunAndKeepsItsBooks) {
  // The valley under a storm of a gage file (10.8 mm in the hour from noon
  // of 15 June 2024, 5.4 mm in the half hour after) and the hourly weather
  // of the long-term example; the run ends once the outlet has fallen
  // below 0.05 m3/s.
  long_term_valley({"0.2", "0.15", "10.0", "0.45", "0.2", "0.25", "0.05"},
                   {"PRECIP_FILE      storm.gag", "HMET_ELEV_GAGE   20.0", "HMET_XCOORD_GAGE 210.0",
                    "HMET_YCOORD_GAGE 300.0", "LATITUDE         40.0", "LONGITUDE        15.0", "GMT              1",
                    "EVENT_MIN_Q      0.05"});
  copy_example_file("longterm", "weather.guv");
  testing::write_file("storm.gag",
                      "EVENT Storm over the valley\nNRGAG 1\nNRPDS 3\nCOORD 210.0 300.0  Valley gage\n"
                      "GAGES 2024 6 15 12 00    0.0\nGAGES 2024 6 15 13 00   10.8\nGAGES 2024 6 15 13 30    5.4\n");
  const testing::storm_run r = testing::run_storm("vlake.prj");
  ASSERT_TRUE(r.ended) << r.console.substr(0, 3000);
  const water_ledger& l = r.ms->ledger;
  const double start = l.storage(store::channel_lakes, moment::run_start);
  const double in = l.run_total(flux::lake_precipitation) + l.run_total(flux::overland_to_channel_lakes) +
                    l.run_total(flux::channels_to_channel_lakes);
  EXPECT_GT(l.run_total(flux::lake_evaporation), 0.0);
  EXPECT_GT(l.run_total(flux::channel_lakes_to_overland) + l.run_total(flux::channel_lakes_to_channels), 0.0);
  EXPECT_NEAR(l.run().channel_lake_error, 0.0, 1e-9 * (start + in));
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-7);
}

// The valley through the four storms of the snow example (two of snow in
// the cold weeks of March 2024, two of rain in the thaw) at one-minute
// steps. The lake, evaporating, gives back two cells of the basin's rim
// and takes them again while snow lies on them: the lake takes their
// snowpack, so no snow is left under the lake, and every event's books
// and the run's close.
TEST_F(LakeRuns, AChannelLakeTakesTheSnowOfTheCellsItFloods) {
  long_term_valley({"0.2", "0.3", "10.0", "0.45", "0.25", "0.3", "0.05"},
                   {"TIMESTEP         60.0", "PRECIP_FILE      storms.gag", "HMET_ELEV_GAGE   290.0",
                    "HMET_XCOORD_GAGE 600090.0", "HMET_YCOORD_GAGE 4650075.0", "LATITUDE         42.0",
                    "LONGITUDE        75.0", "GMT              5", "EVENT_MIN_Q      0.00005"});
  copy_example_file("snow", "weather.guv");
  copy_example_file("snow", "storms.gag");
  double snow_under_lake = 0.0, worst_event = 0.0;
  int takes = 0, last_cells = -1;
  const testing::storm_run r = testing::run_storm("vlake.prj", {}, 100000, [&](const model_state& ms) {
    for (int c = 1; c <= ms.grid.ncells; ++c)
      if (lake_cell(ms.lake.lake_mask[c])) snow_under_lake = std::max(snow_under_lake, ms.hydromet.snow_swe[c]);
    if (last_cells >= 0 && ms.lake.lake_cells[1] > last_cells) ++takes;
    last_cells = ms.lake.lake_cells[1];
    if (ms.ledger.event().error > -1.0) worst_event = std::max(worst_event, std::fabs(ms.ledger.event().error));
  });
  ASSERT_TRUE(r.ended) << r.console.substr(0, 3000);
  const water_ledger& l = r.ms->ledger;
  EXPECT_GT(l.run_total(flux::snowmelt), 0.0);
  EXPECT_GT(takes, 1);
  EXPECT_GT(l.run_total(flux::snow_to_channel_lakes), 0.0);
  EXPECT_EQ(snow_under_lake, 0.0);
  EXPECT_LT(worst_event, 1e-12);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  EXPECT_LT(std::fabs(l.run().surface_error), 1e-9);
  EXPECT_NEAR(l.run().channel_lake_error, 0.0, 1e-9 * l.storage(store::channel_lakes, moment::run_start));
}

// A POINTSOURCE series on the lake link feeds the lake (0.5 m3/s for the
// four hours of the run), a negative one draws from it; the event and run
// books name it, and the lake's and the run's balances close.
TEST_F(LakeRuns, APointSourceOnALakeLinkFeedsTheLake) {
  const struct {
    double flow;     // m3/s
    double outflow;  // what the weir passed, relative to the run without the series
  } cases[] = {{0.5, 1.0}, {-0.05, -1.0}};
  double weir_without = 0.0;
  {
    testing::copy_example("vlake");
    const testing::storm_run r = testing::run_storm("vlake.prj");
    ASSERT_TRUE(r.ended) << r.console;
    weir_without = r.ms->ledger.run_total(flux::channel_lakes_to_channels) +
                   r.ms->ledger.run_total(flux::channel_lakes_to_overland);  // over the weir
  }
  for (const auto& k : cases) {
    SCOPED_TRACE(k.flow);
    reset_process_state();
    testing::copy_example("vlake");
    std::string cif = testing::read_file("vlake.cif");
    cif.insert(cif.find("\nLINK 3\n"), "\nPOINTSOURCE feed\n");
    testing::write_file("vlake.cif", cif);
    testing::write_file("vlake.ts", "NIVRA_TS\nfeed\nRELATIVE\n0 0 0 0 0 " + std::to_string(k.flow) +
                               "\n0 0 0 5 0 " + std::to_string(k.flow) + "\nEND_TS\n");
    set_card("vlake.prj", "TIME_SERIES_FILE", "TIME_SERIES_FILE vlake.ts");
    const testing::storm_run r = testing::run_storm("vlake.prj");
    ASSERT_TRUE(r.ended) << r.console;
    const water_ledger& l = r.ms->ledger;
    const double fed = l.run_total(flux::lake_point_sources) - l.run_total(flux::lake_point_sinks);
    EXPECT_NEAR(fed, k.flow * 4.0 * 3600.0, std::fabs(k.flow) * 10.0);  // within a 10 s step
    EXPECT_NEAR(l.event_total(flux::lake_point_sources) - l.event_total(flux::lake_point_sinks), fed, 1e-9);
    const double start = l.storage(store::channel_lakes, moment::run_start);
    EXPECT_NEAR(l.run().channel_lake_error, 0.0, 1e-9 * (start + l.run_total(flux::lake_precipitation) + l.run_total(flux::overland_to_channel_lakes) +
                                                          l.run_total(flux::channels_to_channel_lakes) + l.run_total(flux::lake_point_sources)));
    EXPECT_NEAR(l.run().overall_error, 0.0, 1e-7);
    EXPECT_NEAR(l.run().surface_error, 0.0, 1e-7);
    EXPECT_NEAR(l.event().error, 0.0, 1e-9);
    // The fed lake passes more over its weir, the drawn one less.
    const double weir = l.run_total(flux::channel_lakes_to_channels) + l.run_total(flux::channel_lakes_to_overland);
    EXPECT_GT(k.outflow * (weir - weir_without), 0.0);
  }
}

// A POINTSOURCE series at the node the lake takes (node 12 of link 1, 0.2
// m3/s for the four hours): while the lake holds the node its water goes
// into the lake, so the whole series is delivered and the books close.
TEST_F(LakeRuns, APointSourceAtANodeTheLakeTakesFeedsTheLake) {
  testing::copy_example("vlake");
  std::string cif = testing::read_file("vlake.cif");
  cif.insert(cif.find("\nLINK 2\n"), "\nNODE 12\nPOINTSOURCE feed\n");
  testing::write_file("vlake.cif", cif);
  testing::write_file("vlake.ts", "NIVRA_TS\nfeed\nRELATIVE\n0 0 0 0 0 0.2\n0 0 0 5 0 0.2\nEND_TS\n");
  set_card("vlake.prj", "TIME_SERIES_FILE", "TIME_SERIES_FILE vlake.ts");
  const testing::storm_run r = testing::run_storm("vlake.prj");
  ASSERT_TRUE(r.ended) << r.console;
  EXPECT_NE(r.console.find("node taken: [1][12]"), std::string::npos);
  const water_ledger& l = r.ms->ledger;
  EXPECT_NEAR(l.run_total(flux::channel_point_sources), 0.2 * 4.0 * 3600.0, 0.2 * 10.0);
  const double start = l.storage(store::channel_lakes, moment::run_start);
  EXPECT_NEAR(l.run().channel_lake_error, 0.0, 1e-9 * (start + l.run_total(flux::lake_precipitation) + l.run_total(flux::overland_to_channel_lakes) +
                                                          l.run_total(flux::channels_to_channel_lakes) + l.run_total(flux::lake_point_sources)));
  EXPECT_NEAR(l.run().overall_error, 0.0, 1e-7);
  EXPECT_NEAR(l.run().surface_error, 0.0, 1e-7);
}

TEST_F(LakeRuns, AnOverlandLakeAboveLowerGroundDrainsOnlyTheWaterItHolds) {
  testing::copy_example("plane_lake");
  const testing::storm_run r = testing::run_storm("plane_lake.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const water_ledger& l = r.ms->ledger;
  // The lake holds 1440 m3 below its initial level of 99.6 m.
  const double start = l.storage(store::overland_lakes, moment::run_start);
  const double end = l.storage(store::overland_lakes, moment::run_end);
  EXPECT_NEAR(start, 1440.0, 1e-9);
  // One hour of 25 mm/h on its four cells of 900 m2, and what runs in
  // from the higher ground above it.
  EXPECT_GT(l.run_total(flux::overland_lake_inflow), 0.025 * 3600.0);
  // It gave no more than the rain it got: it stays at or above its
  // initial water, and nothing was drawn below its initial level.
  EXPECT_GE(end, start);
  EXPECT_LE(l.run_total(flux::overland_lake_outflow), l.run_total(flux::overland_lake_inflow));
  EXPECT_LT(l.run_total(flux::overland_lake_shortfall), 1e-9 * start);
  EXPECT_NEAR(start + l.run_total(flux::overland_lake_inflow) - l.run_total(flux::overland_lake_outflow), end,
              1e-9 * start);
  EXPECT_NEAR(r.ms->ledger.run().overall_error, 0.0, 1e-7);  // percent
  // The spilled water reached the outlet.
  EXPECT_GT(l.run_total(flux::outlet_discharge), 0.5 * l.run_total(flux::overland_lake_outflow));
  EXPECT_GE(r.ms->lake.olake_table[1].value[olake_value::level], 99.6);
}

// The outputs of the plane's overland lake: a cell under the lake shows the
// lake's level over its ground in the depth maps (in a folder the run makes),
// the flood grid and the depth series; LAKE_OUTPUT gives its level and
// volume; the global block's lines add up.
TEST_F(LakeRuns, AnOverlandLakeShowsInTheDepthOutputs) {
  testing::copy_example("plane_lake");
  for (const char* card : {"DEPTH maps/", "MAP_FREQ 60", "FLOOD_GRID flood.asc", "LAKE_OUTPUT lake.out",
                           "OVERLAND_DEPTHS depths.out", "OVERLAND_DEPTH_LOCATION depths.loc"}) {
    const std::string line(card);
    set_card("plane_lake.prj", line.substr(0, line.find(' ')), line);
  }
  testing::write_file("depths.loc", "2\n3 5\n4 5\n");  // a lake cell (ground 99.0 m), the cell below it
  double highest = 0.0;  // the lake's highest level of the run
  const testing::storm_run r = testing::run_storm("plane_lake.prj", {}, 100000, [&](const model_state& m) {
    highest = std::max(highest, m.lake.olake_table[1].value[olake_value::level]);
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double level = ms.lake.olake_table[1].value[olake_value::level];
  EXPECT_GT(highest, 99.6);
  // The lake's four cells and their ground: rows 2 and 3, columns 4 and 5.
  const struct {
    int row, col;
    double ground;
  } lake_cells[] = {{2, 4, 99.4}, {2, 5, 99.3}, {3, 4, 99.1}, {3, 5, 99.0}};
  // A grid's row r, column c (cells outside the watershed hold a number too).
  auto grid_value = [](const std::string& grid, int r, int c) {
    std::istringstream in(grid.substr(grid.find("NODATA_value")));
    std::string word;
    in >> word >> word;
    double v = 0.0;
    for (int k = 0; k < (r - 1) * 8 + c; ++k) in >> v;
    return v;
  };
  const std::string first = testing::read_file("maps/depth.0001.asc");
  const std::string flood = testing::read_file("flood.asc");
  for (const auto& cell : lake_cells) {
    SCOPED_TRACE(cell.col);
    EXPECT_NEAR(grid_value(first, cell.row, cell.col), 99.6 - cell.ground, 1e-3);
    EXPECT_NEAR(grid_value(flood, cell.row, cell.col), highest - cell.ground, 1e-4);
  }
  // The last line of the depth series: the lake cell's water, then the
  // plain cell's depth.
  const std::string series = testing::read_file("depths.out");
  const std::string last = series.substr(series.rfind('\n', series.size() - 2) + 1);
  double minutes = 0.0, lake_depth = 0.0, plain_depth = 0.0;
  ASSERT_EQ(std::sscanf(last.c_str(), "%lf %lf %lf", &minutes, &lake_depth, &plain_depth), 3) << series;
  EXPECT_NEAR(lake_depth, level - 99.0, 1e-6);
  EXPECT_LT(plain_depth, 0.1);
  // LAKE_OUTPUT: the time, the level and the volume.
  const std::string lakes = testing::read_file("lake.out");
  const std::string end = lakes.substr(lakes.rfind('\n', lakes.size() - 2) + 1);
  double t = 0.0, out_level = 0.0, out_volume = 0.0;
  ASSERT_EQ(std::sscanf(end.c_str(), "%lf %lf %lf", &t, &out_level, &out_volume), 3) << lakes;
  EXPECT_DOUBLE_EQ(t, 180.0);
  EXPECT_NEAR(out_level, level, 5e-4);
  EXPECT_NEAR(out_volume, ms.lake.olake_table[1].value[olake_value::volume], 5e-4);
  // Initial storages and rain equal final storages and discharge, line by
  // line as printed.
  const std::string summary = testing::read_file("plane_lake.sum");
  const std::string global = summary.substr(summary.find("GLOBAL MASS BALANCE"));
  using testing::value_after;
  const double in = value_after(global, "Initial volume on surface=") +
                    value_after(global, "Initial volume in overland lakes=") +
                    value_after(global, "Total amount of precip=");
  const double out = value_after(global, "Final volume on surface=") +
                     value_after(global, "Final volume in overland lakes=") +
                     value_after(global, "Total amount of discharge=");
  EXPECT_NEAR(value_after(global, "Initial volume in overland lakes="), 1440.0, 0.005);
  EXPECT_NEAR(in, out, 0.02);
}

// The flood grid of a channel-network lake: every cell the lake covered
// shows the lake's highest level over its ground, as the depth outputs
// show a lake cell, and no cell falls below the deepest water it held at
// the end of any step.
TEST_F(LakeRuns, AChannelLakeShowsInTheFloodGrid) {
  testing::copy_example("vlake");
  set_card("vlake.prj", "FLOOD_GRID", "FLOOD_GRID flood.asc");
  std::vector<double> deepest;
  const testing::storm_run r = testing::run_storm("vlake.prj", {}, 100000, [&](const model_state& m) {
    deepest.resize(static_cast<std::size_t>(m.grid.ncells) + 1, 0.0);
    for (int c = 1; c <= m.grid.ncells; ++c)
      deepest[static_cast<std::size_t>(c)] = std::max(deepest[static_cast<std::size_t>(c)], cell_water_depth(m, c));
  });
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  int lake_cells = 0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double flood = ms.overland.flood_depth_max[c];
    EXPECT_GE(flood, deepest[static_cast<std::size_t>(c)] - 1e-9) << c;
    if (ms.lake.lake_mask[c] < 1) continue;
    // The lake's level changes at the channel steps, which the depth
    // outputs and the flood grid both follow.
    EXPECT_NEAR(flood, deepest[static_cast<std::size_t>(c)], 1e-9) << c;
    EXPECT_GT(flood, 0.0) << c;
    ++lake_cells;
  }
  EXPECT_GE(lake_cells, 11);  // the basin's cells below the lake's first level at least
  EXPECT_NE(testing::read_file("flood.asc").find("NODATA_value"), std::string::npos);
}

// The lake file and the lake map describe the same lakes: each case stops
// the run with a message naming the file and the line, or the map's row
// and column.
TEST_F(LakeRuns, OverlandLakeInputsThatDisagreeStopTheRun) {
  const struct {
    const char* what;
    const char* file;
    std::string text, message;
  } cases[] = {
      {"a cell above the level", "plane_lake.lak", "NIVRA_OVERLAND_LAKE_FILE\nLAKE 1 99.3 0.0\n",
       "There is a lake cell in lake 1 that is above the initial lake water surface"},
      {"a volume its level does not hold", "plane_lake.lak", "NIVRA_OVERLAND_LAKE_FILE\n# four cells\nLAKE 1 99.6 100\n",
       "Error: the LAKE card at line 3 of the overland lake file plane_lake.lak gives lake 1 the volume 100.00 m3, "
       "but its level of 99.60 m over the ground of its 4 cells in the lake map holds 1440.00 m3"},
      {"a volume 2 % off", "plane_lake.lak", "NIVRA_OVERLAND_LAKE_FILE\nLAKE 1 99.6 1470\n",
       "Error: the LAKE card at line 2 of the overland lake file plane_lake.lak gives lake 1 the volume 1470.00 m3"},
      {"a lake outside the watershed", "plane_lake.lkm",
       "north: 4000180.0\nsouth: 4000000.0\neast: 500240.0\nwest: 500000.0\nrows: 6\ncols: 8\n"
       "1 0 0 0 0 0 0 0\n0 0 0 1 1 0 0 0\n0 0 0 1 1 0 0 0\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n",
       "Error: the map plane_lake.lkm gives 1 to row 1, column 1, which lies outside the watershed mask; the map "
       "holds 0 outside the watershed.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset_process_state();
    testing::copy_example("plane_lake");
    testing::write_file(c.file, c.text);
    ::testing::internal::CaptureStderr();
    const testing::storm_run r = testing::run_storm("plane_lake.prj");
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(r.ended);
    EXPECT_EQ(r.steps, 0);
    EXPECT_NE((r.console + errors).find(c.message), std::string::npos) << r.console << errors;
  }
  // Within 1 % of the water below the level the volume is taken.
  reset_process_state();
  testing::copy_example("plane_lake");
  testing::write_file("plane_lake.lak", "NIVRA_OVERLAND_LAKE_FILE\nLAKE 1 99.6 1430\n");
  EXPECT_TRUE(testing::run_storm("plane_lake.prj").ended);
}

}  // namespace
}  // namespace nivra
