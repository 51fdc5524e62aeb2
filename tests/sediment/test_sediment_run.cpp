// Whole runs with soil erosion on a small tilted plane without channels:
// the sediment ledger of every class closes over the run, the run summary's
// sediment lines close to their printing precision, the outlet sediment
// series carries what the ledger says left, the yield grows with the rain
// and the slope, every cell's flow detachment and settling follow each
// step's water by hand, ADJUST_ELEV moves the ground by exactly the net
// change, the set-up refuses what it cannot carry, naming it, and an
// outlet on any edge or corner passes what its mirror image on the south
// or east edge passes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "clock/clock_state.h"
#include "channel/channel_state.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/project.h"
#include "model/model_state.h"
#include "quality/constituent_terms.h"
#include "model/water_ledger.h"
#include "output/run_summary.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_physics.h"
#include "quality/sediment/sediment_terms.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "sediment/plane_fixture.h"
#include "quality/sediment/sediment_books.h"
#include "surface/overland_state.h"
#include "surface/overland_step.h"
#include "hydromet/hydromet_state.h"

namespace nivra {
namespace {

using testing::run_storm;
using testing::sediment_row;
using testing::storm_run;
using testing::table_row;
using testing::value_after;
using testing::write_file;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A plane of rows x cols cells of 10 m falling `slope` to the south and a
// third of it to the east; the outlet is the south-east corner.
struct plane {
  int rows = 4, cols = 5;
  double slope = 0.03;
  double rain = 60.0;        // mm/h for the first 20 minutes of the run
  int minutes = 40;          // the run's length
  int option = 1;            // SOIL_EROSION; none when below 0
  bool outlet_series = true; // OUTLET_SED_FLUX p.sed
  std::string extra;         // more project cards
  double step = 5.0;         // TIMESTEP, s
  std::string cmt_extra;     // replaces the erosion table when given
  std::string erosion_row = "2.0e3 4e-5 1.0 0.0 0.8 0.3 0.5 0.2";

  void write() const {
    testing::write_plane_maps("p", rows, cols, [this](int i, int j) { return 100.0 - slope * 10.0 * (i + j / 3.0); });
    std::string cmt = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP soil.idx soil\n" + testing::three_sediment_classes();
    if (cmt_extra.empty())
      cmt += "SOIL_EROSION_PROPS soil\nNUM_IDS 1\nNUM_SED 3\n" + table_row("ID", "DESCRIPTION", "VALUES") +
             table_row("1", "Field", erosion_row);
    else
      cmt += cmt_extra;
    write_file("p.cmt", cmt);
    std::ostringstream prj;
    prj << "NIVRAPROJECT\nWATERSHED_MASK p.msk\nELEVATION p.ele\nROWS " << rows << "\nCOLS " << cols
        << "\nGRIDSIZE 10.0\nOUTROW " << rows << "\nOUTCOL " << cols
        << "\nOUTSLOPE 0.02\nMANNING_N 0.04\nOVERTYPE ADE\nTOT_TIME " << minutes << "\nTIMESTEP " << step << "\n"
        << "START_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY " << rain
        << "\nRAIN_DURATION 20\nHYD_FREQ 0.0833333333333\nSUMMARY p.sum\nOUTLET_HYDRO p.otl\n"
        << "MAPPING_TABLE p.cmt\n";
    if (option >= 0) prj << "SOIL_EROSION " << option << "\n";
    if (option >= 0 && outlet_series) prj << "OUTLET_SED_FLUX p.sed\n";
    prj << extra;
    write_file("p.prj", prj.str());
  }
};

class SedimentRun : public testing::process_test {};

double outlet_total(const model_state& ms) {
  const mass_ledger& b = *ms.constituent.ov_sed->books;
  double v = 0.0;
  for (int k = 1; k <= b.constituents(); ++k) v += b.run_total(k, row(sediment_term::overland_outlet));
  return v;
}

TEST_F(SedimentRun, EveryClassClosesAndTheSummaryAgrees) {
  // Each transport capacity formula, and one that is none of them (the
  // unit discharge itself).
  for (int option : {1, 2, 3, 4, 5, 6, 7}) {
    SCOPED_TRACE(option);
    reset_process_state();
    plane p;
    p.option = option;
    p.write();
    const storm_run run = run_storm("p.prj");
    ASSERT_TRUE(run.ended) << run.console;
    const model_state& ms = *run.ms;
    ASSERT_TRUE(ms.constituent.ov_sed);
    const mass_ledger& b = *ms.constituent.ov_sed->books;
    const std::string summary = testing::read_file("p.sum");
    double eroded_all = 0.0;
    for (int k = 1; k <= 3; ++k) {
      const mass_balance_sums s = b.run_balance_of(k, overland_sediment_set());
      const double eroded = b.run_total(k, row(sediment_term::erosion));
      eroded_all += eroded;
      EXPECT_NEAR(s.residual(), 0.0, 1e-10 * std::max(eroded, 1e-12)) << "class " << k;
      // The cells' own record agrees with the ledger.
      double susp = 0.0, dep = 0.0, parent = 0.0;
      const ov_sed_cells& c = ms.constituent.ov_sed->cells;
      for (int cell = 1; cell <= ms.grid.ncells; ++cell) {
        susp += c.susp(cell, k);
        dep += c.dep(cell, k);
        parent -= c.eroded(cell, k);
      }
      EXPECT_NEAR(parent, eroded, 1e-12 * std::max(eroded, 1e-12));
      EXPECT_NEAR(susp + dep + c.out(ms.grid.outlet_cell, k), eroded, 1e-10 * std::max(eroded, 1e-12));
      // The summary's lines close to the precision they are printed with.
      const std::string n = std::to_string(k);
      const double e = value_after(summary, "Total sediment " + n + " eroded from surface:");
      const double d = value_after(summary, "Total sediment " + n + " deposited on surface:");
      const double r = value_after(summary, "Total sediment " + n + " remaining in suspension:");
      const double o = value_after(summary, "Total sediment " + n + " routed through outlet");
      EXPECT_NEAR(e, d + r + o, 2e-8);
      EXPECT_NEAR(value_after(summary, "Mass balance error for sediment " + n), 0.0, 1e-4);
    }
    EXPECT_GT(eroded_all, 0.0);
    EXPECT_GT(outlet_total(ms), 0.0);
  }
}

// The bundled hillslope: every class closes, the slope loses soil below
// its steep ridge and gains it where the slope eases at its foot, and the
// new ground differs from the old by the net change.
TEST_F(SedimentRun, TheHillslopeExampleErodesAboveAndDepositsAtTheFoot) {
  testing::copy_example("hillslope");
  std::vector<double> before;
  const storm_run run = run_storm("hillslope.prj", [&](model_state& ms) {
    before.assign(ms.grid.elevation.data(), ms.grid.elevation.data() + ms.grid.ncells + 1);
  });
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  const ov_sed_record& s = *ms.constituent.ov_sed;
  for (int k = 1; k <= 3; ++k) {
    const double eroded = s.books->run_total(k, row(sediment_term::erosion));
    ASSERT_GT(eroded, 0.0);
    EXPECT_NEAR(s.books->run_balance_of(k, overland_sediment_set()).residual(), 0.0, 1e-10 * eroded);
  }
  // Rows 1-3 below the ridge and rows 6-8 at the foot, 10 cells each.
  double top = 0.0, foot = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double change = ms.grid.elevation[c] - before[static_cast<std::size_t>(c)];
    EXPECT_NEAR(change, s.ov_qsvol(c, 0) / 400.0, 1e-12) << c;
    if (c <= 30) top += change;
    if (c > 50) foot += change;
  }
  EXPECT_LT(top, 0.0);
  EXPECT_GT(foot, 0.0);
  const std::string summary = testing::read_file("hillslope.sum");
  for (int k = 1; k <= 3; ++k)
    EXPECT_NEAR(value_after(summary, "Mass balance error for sediment " + std::to_string(k)), 0.0, 1e-4);
  EXPECT_TRUE(testing::file_exists("hillslope_new.ele"));
  EXPECT_TRUE(testing::file_exists("net_sed_volume.0004.asc"));
}

TEST_F(SedimentRun, TheOutletSeriesCarriesWhatLeft) {
  plane p;
  p.write();
  const storm_run run = run_storm("p.prj");
  ASSERT_TRUE(run.ended) << run.console;
  // One line per step (HYD_FREQ of one step): the rate of every class
  // together, times the step, adds up to the ledger's outlet volume.
  std::istringstream in(testing::read_file("p.sed"));
  double t = 0.0, rate = 0.0, sum = 0.0;
  int lines = 0;
  while (in >> t >> rate) {
    sum += rate * 5.0;
    ++lines;
  }
  EXPECT_GT(lines, 400);
  const double out = outlet_total(*run.ms);
  ASSERT_GT(out, 0.0);
  EXPECT_NEAR(sum, out, 1e-6 * out + 1e-9);
}

// OPTIMIZE_SED without channels scores the wash load (the fine classes)
// that left over the land: its largest rate and its volume in the event.
TEST_F(SedimentRun, CalibrationLineCarriesTheWashLoad) {
  plane p;
  p.extra = "SAND_SIZE 0.0625\nOPTIMIZE opt.out\nOPTIMIZE_SED\n";
  p.write();
  double peak = 0.0;
  const storm_run run = run_storm("p.prj", {}, 100000, [&](const model_state& ms) {
    const ov_sed_record& s = *ms.constituent.ov_sed;
    if (ms.clock.ov_last_time == ms.clock.model_time)
      peak = std::max(peak, (s.step_books.outlet[1] + s.step_books.outlet[2]) / 5.0);
  });
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  EXPECT_EQ(ms.constituent.n_fine_classes, 2);
  const mass_ledger& b = *ms.constituent.ov_sed->books;
  const double wash = b.event_total(1, row(sediment_term::overland_outlet)) +
                      b.event_total(2, row(sediment_term::overland_outlet));
  ASSERT_GT(wash, 0.0);
  std::istringstream in(testing::read_file("opt.out"));
  int event = 0;
  double rate = 0.0, volume = 0.0;
  ASSERT_TRUE(in >> event >> rate >> volume) << testing::read_file("opt.out");
  EXPECT_EQ(event, 1);
  EXPECT_NEAR(rate, peak, 1e-6);
  EXPECT_NEAR(volume, wash, 1e-3);
}

// The step's scratch belongs to the run: a second run in the same process
// on a bigger grid is sized afresh and closes as the first.
TEST_F(SedimentRun, ALaterBiggerRunInTheSameProcessCloses) {
  for (auto [rows, cols] : {std::pair{2, 3}, std::pair{7, 9}}) {
    SCOPED_TRACE(rows * cols);
    reset_process_state();
    plane p;
    p.rows = rows;
    p.cols = cols;
    p.write();
    const storm_run run = run_storm("p.prj");
    ASSERT_TRUE(run.ended) << run.console;
    const mass_ledger& b = *run.ms->constituent.ov_sed->books;
    for (int k = 1; k <= 3; ++k) {
      const double eroded = b.run_total(k, row(sediment_term::erosion));
      ASSERT_GT(eroded, 0.0);
      EXPECT_NEAR(b.run_balance_of(k, overland_sediment_set()).residual(), 0.0, 1e-10 * eroded);
    }
  }
}

// The run's sediment is the same to the bit on any number of threads.
TEST_F(SedimentRun, SameBitsOnAnyNumberOfThreads) {
  std::vector<double> first;
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    reset_process_state();
    plane p;
    p.rows = 9;
    p.cols = 11;
    p.extra = "NUM_THREADS " + std::to_string(threads) + "\n";
    p.write();
    const storm_run run = run_storm("p.prj");
    ASSERT_TRUE(run.ended) << run.console;
    const ov_sed_record& s = *run.ms->constituent.ov_sed;
    std::vector<double> all;
    for (int k = 1; k <= 3; ++k)
      for (int t = 1; t <= s.books->terms(); ++t) all.push_back(s.books->run_total(k, t));
    for (const array2d<double>* a : {&s.cells.susp, &s.cells.dep, &s.cells.eroded, &s.ov_qsvol})
      all.insert(all.end(), a->data(), a->data() + (run.ms->grid.ncells + 1) * 4);
    if (first.empty()) first = all;
    else EXPECT_TRUE(first == all);
  }
}

// The outlet sediment series is written when the project names its file;
// without the card the run goes on and writes none.
TEST_F(SedimentRun, WithoutAnOutletSeriesCardNoneIsWritten) {
  plane p;
  p.outlet_series = false;
  p.write();
  const storm_run run = run_storm("p.prj");
  ASSERT_TRUE(run.ended) << run.console;
  EXPECT_FALSE(testing::file_exists("p.sed"));
  EXPECT_GT(outlet_total(*run.ms), 0.0);
}

TEST_F(SedimentRun, YieldGrowsWithRainAndSlope) {
  auto yield = [](double rain, double slope) {
    reset_process_state();
    plane p;
    p.rain = rain;
    p.slope = slope;
    p.write();
    const storm_run run = run_storm("p.prj");
    EXPECT_TRUE(run.ended) << run.console;
    return run.ms && run.ms->constituent.ov_sed ? outlet_total(*run.ms) : 0.0;
  };
  double last = 0.0;
  for (double rain : {20.0, 40.0, 80.0}) {
    const double y = yield(rain, 0.03);
    EXPECT_GT(y, last) << rain << " mm/h";
    last = y;
  }
  last = 0.0;
  for (double slope : {0.01, 0.03, 0.09}) {
    const double y = yield(60.0, slope);
    EXPECT_GT(y, last) << "slope " << slope;
    last = y;
  }
}

TEST_F(SedimentRun, AdjustedGroundFollowsTheNetChange) {
  plane p;
  p.extra = "ADJUST_ELEV new.ele\nNET_SED_VOLUME sed_net\nMAP_TYPE 1\nMAP_FREQ 10\n";
  p.write();
  std::vector<double> before;
  const storm_run run = run_storm("p.prj", [&](model_state& ms) {
    for (int c = 0; c <= ms.grid.ncells; ++c) before.push_back(ms.grid.elevation[c]);
  });
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  const ov_sed_record& s = *ms.constituent.ov_sed;
  double lowered = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    const double change = ms.grid.elevation[c] - before[static_cast<std::size_t>(c)];
    EXPECT_NEAR(change, s.ov_qsvol(c, 0) / 100.0, 1e-12) << c;
    lowered -= change * 100.0;
  }
  // The ground lost what is in suspension or left through the outlet.
  double susp = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c)
    for (int k = 1; k <= 3; ++k) susp += s.cells.susp(c, k);
  ASSERT_GT(lowered, 0.0);
  EXPECT_NEAR(lowered, susp + outlet_total(ms), 1e-9 * lowered);
  // The map written at the end holds the new ground.
  const std::string map = testing::read_file("new.ele");
  ASSERT_FALSE(map.empty());
  EXPECT_TRUE(has(map, "rows:")) << map.substr(0, 200);
  EXPECT_TRUE(testing::file_exists("sed_net"));
}

// The per-time maps: the net change as a depth (mm) and the cells'
// outgoing flux (x 1e6), as the record held them when the map was due.
TEST_F(SedimentRun, MapsHoldTheNetChangeAndTheFlux) {
  plane p;
  p.extra = "NET_SED_VOLUME .\nMAX_SED_FLUX .\nMAP_TYPE 0\nMAP_FREQ 15\n";
  p.write();
  std::vector<double> net, flux;
  int maps = 0;
  const storm_run run = run_storm("p.prj", {}, 100000, [&](const model_state& ms) {
    if ((ms.clock.step_count - 1) % ms.clock.map_write_steps != 0) return;
    ++maps;
    const ov_sed_record& s = *ms.constituent.ov_sed;
    net.assign(1, 0.0);
    flux.assign(1, 0.0);
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      double v = 0.0, q = 0.0;
      for (int k = 1; k <= 3; ++k) {
        v += s.ov_qsvol(c, k);
        q += s.ov_qsmax(c, k);
      }
      net.push_back(v * 1000.0 / 100.0);
      flux.push_back(q * 1e6);
    }
  });
  ASSERT_TRUE(run.ended) << run.console;
  ASSERT_GE(maps, 2);
  char name[64];
  auto read_map = [&](const char* kind) {
    std::snprintf(name, sizeof name, "%s.%04d.asc", kind, maps);
    std::istringstream in(testing::read_file(name));
    std::string word;
    for (int i = 0; i < 12; ++i) in >> word;  // six header lines of a word and a value
    std::vector<double> v(1, 0.0);
    double x;
    while (in >> x) v.push_back(x);
    return v;
  };
  const std::vector<double> net_map = read_map("net_sed_volume");
  const std::vector<double> flux_map = read_map("max_sed_flux");
  ASSERT_EQ(net_map.size(), net.size()) << name;
  ASSERT_EQ(flux_map.size(), flux.size());
  double moved = 0.0;
  for (std::size_t c = 1; c < net.size(); ++c) {
    EXPECT_NEAR(net_map[c], net[c], 6e-5) << c;
    EXPECT_NEAR(flux_map[c], flux[c], 6e-5 + 1e-9 * flux[c]) << c;
    moved += std::fabs(net[c]);
  }
  EXPECT_GT(moved, 0.0);
}

// The suspended-volume dataset: its last record holds each cell's
// suspended sediment of all classes as the record held it then.
TEST_F(SedimentRun, TheSuspendedVolumeDatasetHoldsTheCells) {
  plane p;
  p.rain = 80.0;
  p.extra = "VOL_SED_SUSP susp.dat\nMAP_TYPE 1\nMAP_FREQ 10\n";
  p.write();
  std::vector<double> susp;
  const storm_run run = run_storm("p.prj", {}, 100000, [&](const model_state& ms) {
    if ((ms.clock.step_count - 1) % ms.clock.map_write_steps != 0) return;
    const ov_sed_record& s = *ms.constituent.ov_sed;
    susp.assign(1, 0.0);
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      double v = 0.0;
      for (int k = 1; k <= 3; ++k) v += s.cells.susp(c, k);
      susp.push_back(v);
    }
  });
  ASSERT_TRUE(run.ended) << run.console;
  const std::string text = testing::read_file("susp.dat");
  const std::size_t last = text.rfind("TS 1 ");
  ASSERT_NE(last, std::string::npos) << text.substr(0, 300);
  std::istringstream in(text.substr(last + 5));
  double t = 0.0;
  in >> t;
  int flag = 0;
  for (int c = 1; c <= 20; ++c) {
    in >> flag;
    EXPECT_EQ(flag, 1);
  }
  double held = 0.0;
  for (int c = 1; c <= 20; ++c) {
    double v = -1.0;
    ASSERT_TRUE(in >> v);
    EXPECT_NEAR(v, susp[static_cast<std::size_t>(c)], 1e-6) << c;
    held += susp[static_cast<std::size_t>(c)];
  }
  EXPECT_GT(held, 0.0);
}

// A long-term run of several storms: each event's block gives the running
// totals, which only grow; the run's and the last event's books close.
TEST_F(SedimentRun, StormsOfALongTermRunCloseEventByEvent) {
  testing::copy_example("longterm_accounting");
  std::string cmt = testing::read_file("hillside.cmt");
  cmt += "SEDIMENTS\nNUM_SED 2\nCLASS  SG  D  FB  FILE\n" + sediment_row("Silt", "2.65 0.02 0.0 silt.out") +
         sediment_row("Sand", "2.65 0.2 0.0 sand.out");
  cmt += "SOIL_EROSION_PROPS \"Soil texture\"\nNUM_IDS 2\nNUM_SED 2\n" +
         table_row("ID", "DESCRIPTION", "VALUES") + table_row("1", "Loam", "2000 4e-5 1 0 0.8 0.6 0.4") +
         table_row("2", "Clay loam", "1000 2e-5 1 0 0.5 0.5 0.5");
  write_file("hillside.cmt", cmt);
  write_file("accounting.prj", testing::read_file("accounting.prj") + "SOIL_EROSION 1\nSAND_SIZE 0.0625\n");
  const storm_run run = run_storm("accounting.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const mass_ledger& b = *run.ms->constituent.ov_sed->books;
  for (int k = 1; k <= 2; ++k) {
    const double eroded = b.run_total(k, row(sediment_term::erosion));
    ASSERT_GT(eroded, 0.0);
    EXPECT_NEAR(b.run_balance_of(k, overland_sediment_set()).residual(), 0.0, 1e-10 * eroded);
    EXPECT_NEAR(b.event_balance_of(k, overland_sediment_set()).residual(), 0.0, 1e-10 * eroded);
  }
  const std::string summary = testing::read_file(run.ms->project.project_options.summary.c_str());
  std::vector<double> eroded;
  for (std::size_t at = summary.find("Total sediment 1 eroded from surface:"); at != std::string::npos;
       at = summary.find("Total sediment 1 eroded from surface:", at + 1))
    eroded.push_back(std::strtod(summary.c_str() + at + 37, nullptr));
  ASSERT_GE(eroded.size(), 3u);  // two events or more, and the run
  for (std::size_t i = 1; i < eroded.size(); ++i) EXPECT_GE(eroded[i], eroded[i - 1]);
  EXPECT_NEAR(eroded.back(), b.run_total(1, row(sediment_term::erosion)), 1e-8);
}

TEST_F(SedimentRun, SuspendedSedimentSettlesBetweenEvents) {
  // The run stops as the rain does, with clay and silt still suspended.
  plane p;
  p.minutes = 20;
  p.write();
  storm_run run = run_storm("p.prj");
  ASSERT_TRUE(run.ended) << run.console;
  model_state& ms = *run.ms;
  ov_sed_record& s = *ms.constituent.ov_sed;
  ms.constituent.adjust_elev = 1;
  // The suspended and deposited sediment of the three classes, and the
  // ground elevation, summed over the cells.
  struct sums {
    double susp = 0.0, dep = 0.0, elev = 0.0;
  };
  auto sum_cells = [&] {
    sums t;
    for (int c = 1; c <= ms.grid.ncells; ++c) {
      t.elev += ms.grid.elevation[c];
      for (int k = 1; k <= 3; ++k) {
        t.susp += s.cells.susp(c, k);
        t.dep += s.cells.dep(c, k);
      }
    }
    return t;
  };
  const auto [susp, dep, elev] = sum_cells();
  ASSERT_GT(susp, 0.0);
  double settled_before[4] = {}, susp_of[4] = {};
  for (int k = 1; k <= 3; ++k) {
    settled_before[k] = s.books->run_total(k, row(sediment_term::settling));
    for (int c = 1; c <= ms.grid.ncells; ++c) susp_of[k] += s.cells.susp(c, k);
  }
  settle_sediment_between_events(ms, false);
  const auto [susp_after, dep_after, elev_after] = sum_cells();
  EXPECT_EQ(susp_after, 0.0);
  EXPECT_NEAR(dep_after, dep + susp, 1e-12 * (dep + susp));
  EXPECT_NEAR((elev_after - elev) * 100.0, susp, 1e-9);
  // Each class's settling total grows by what it had suspended: the silt's
  // 2.5e-5 m3 on a total near 17 m3, where round-off is some 1e-15 of it.
  ASSERT_GT(susp_of[2], 1e-9 * settled_before[2]);
  for (int k = 1; k <= 3; ++k)
    EXPECT_NEAR(s.books->run_total(k, row(sediment_term::settling)) - settled_before[k], susp_of[k],
                1e-12 * settled_before[k])
        << "class " << k;
  // The event's books open afresh.
  EXPECT_EQ(s.books->event_total(2, row(sediment_term::settling)), 0.0);
}

// The plane under the power-law capacity (formula 2, sed_K 0.8), its
// water at 10 C, stepped through: after the rain, in every step in which
// water flows, each cell but the outlet detaches by flow alone and lets
// settle what the water leaves, by hand from the step's water. With no
// critical shear and an exponent of 1, a cell lifts (from its deposit,
// then its parent soil) 4e-5 x (1 - m / T) x 9792.342 h S x dt x 100 m2 /
// 2645.23 m3: h its depth, S the slope of its water surface (along each
// axis the steeper of its two faces that fall away from it), q = Q / dx
// the discharge it lets out (never what comes in) per metre, T =
// S^1.6667 x 1.7e8 x q^2.035 x 0.8 x dt x dx / 2645.23 what that flow can
// carry, m what it carried. Of what each
// class has suspended when it settles, the share 1 - exp(-dx w / (v h))
// settles, v = Q / (dx h), w the class's fall velocity in water at 10 C.
// The depths are the step's mean, of the depth as the step started and as
// it ended. The step is the longest sediment sub-step, so that each step
// is one pass of the sediment.
TEST_F(SedimentRun, FlowDetachmentAndSettlingFollowEachStepsWaterByHand) {
  plane p;
  p.option = 2;
  p.step = ov_sed_longest_substep;
  p.extra = "WATER_TEMP 10.0\n";
  p.write();
  auto owned = make_model_state();
  model_state& ms = *owned;
  ::testing::internal::CaptureStdout();
  bool going = set_up_run(ms, "p.prj", nullptr);
  const double nu = sediment::water_viscosity(10.0);
  const double fall[4] = {0.0, sediment::fall_velocity(0.002, 2.65, nu), sediment::fall_velocity(0.03, 2.65, nu),
                          sediment::fall_velocity(0.3, 2.65, nu)};
  const int n = going ? ms.grid.ncells : 0;
  const double dx = 10.0;
  std::vector<double> carried(static_cast<std::size_t>(n + 1), 0.0), start(static_cast<std::size_t>(n + 1), 0.0);
  int detaching = 0, settling = 0;  // cells checked that detach, and classes that settle
  if (going)
    going = testing::step_through(ms, [&](const time_step_routine& routine) {
      if (routine.run != &overland_routing_step) return false;
      const ov_sed_record& s = *ms.constituent.ov_sed;
      const ov_sed_cells& c = s.cells;
      for (int i = 1; i <= n; ++i) {
        carried[static_cast<std::size_t>(i)] = 0.0;
        for (int k = 1; k <= 3; ++k) carried[static_cast<std::size_t>(i)] += c.susp(i, k);
        start[static_cast<std::size_t>(i)] = ms.overland.ov_depth[i];
      }
      routine.run(ms);
      if (s.last_step_time != ms.clock.model_time) return true;  // no sediment step
      const grid_state& g = ms.grid;
      const overland_state& ov = ms.overland;
      for (int i = 1; i <= n; ++i) {
        if (i == g.outlet_cell || ms.hydromet.rain_depth[i] > 0.0) continue;
        auto mean_depth = [&](int c) { return 0.5 * (start[static_cast<std::size_t>(c)] + ov.ov_depth[c]); };
        const double h = mean_depth(i);
        auto surface_slope = [&](int nb) {
          return nb ? std::max(0.0, (h + g.elevation[i] - mean_depth(nb) - g.elevation[nb]) / dx) : 0.0;
        };
        const double S = std::hypot(std::max(surface_slope(g.rightcon[i]), surface_slope(g.leftcon[i])),
                                    std::max(surface_slope(g.belowcon[i]), surface_slope(g.abovecon[i])));
        double out2 = 0.0;
        for (double q : {ov.ov_qx[i], g.leftcon[i] ? -ov.ov_qx[g.leftcon[i]] : 0.0, ov.ov_qy[i],
                         g.abovecon[i] ? -ov.ov_qy[g.abovecon[i]] : 0.0})
          if (q > 0.0) out2 += q * q;
        const double Q = std::sqrt(out2);
        const double m = carried[static_cast<std::size_t>(i)];
        const double T = std::pow(S, 1.6667) * 1.7e8 * std::pow(Q / dx, 2.035) * 0.8 * p.step * dx / 2645.23;
        const double lifted =
            T > m && h > 0.0 ? 4e-5 * (1.0 - m / T) * 9792.342 * h * S * p.step * 100.0 / 2645.23 : 0.0;
        EXPECT_NEAR(c.lifted(i, 0), lifted, 1e-9 * lifted) << "cell " << i;
        detaching += lifted > 0.0;
        for (int k = 1; k <= 3; ++k) {
          const double held = c.settled(i, k) + c.susp(i, k);  // what was suspended when it settled
          if (!(held > 1e-15)) continue;
          const double share = h > 0.0 && Q > 0.0 ? 1.0 - std::exp(-dx * fall[k] / (Q / (dx * h) * h)) : 1.0;
          EXPECT_NEAR(c.settled(i, k) / held, share, 1e-9) << "cell " << i << " class " << k;
          settling += share < 1.0;
        }
      }
      return true;
    });
  close_all_files(ms);
  const std::string console = ::testing::internal::GetCapturedStdout();
  if (HasFailure()) ADD_FAILURE() << console;
  ASSERT_TRUE(going) << console;
  EXPECT_GT(detaching, 100);
  EXPECT_GT(settling, 100);
}

// Splash on a plane whose soil takes much of the rain (Green-Ampt), the
// flow able to carry little of what the drops lift: 3 x 5 cells of 10 m
// falling 3 % south and 1 % east, 30 mm/h for an hour. Each class's yield
// through the outlet converges with the step: at 10 s within 5 % of a
// step sixteen times shorter, at 2.5 s within 2 %, and every class's
// books close.
TEST_F(SedimentRun, ErosionYieldsConvergeWithTheStepWhereTheSoilTakesTheWater) {
  testing::write_plane_maps("p", 5, 3, [](int i, int j) { return 100.0 - 0.3 * i - 0.1 * j; });
  for (const auto& [name, value] : {std::pair{"p.ks", 1.0}, {"p.hc", 10.0}, {"p.por", 0.45}, {"p.moi", 0.15}})
    write_file(name, testing::plane_map(5, 3, [v = value](int, int) { return v; }));
  write_file("p.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP soil.idx soil\n" + testing::three_sediment_classes() +
                          "SOIL_EROSION_PROPS soil\nNUM_IDS 1\nNUM_SED 3\n" +
                          table_row("ID", "DESCRIPTION", "VALUES") +
                          table_row("1", "Field", "300 2e-5 1.0 0.0 0.02 0.3 0.5 0.2"));
  auto yields = [&](const char* step) {
    write_file("p.prj", std::string("NIVRAPROJECT\nWATERSHED_MASK p.msk\nELEVATION p.ele\nROWS 5\nCOLS 3\n"
                                    "GRIDSIZE 10.0\nOUTROW 5\nOUTCOL 3\nOUTSLOPE 0.02\nMANNING_N 0.04\n"
                                    "OVERTYPE ADE\nTOT_TIME 120\nTIMESTEP ") +
                            step +
                            "\nSTART_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY 30.0\n"
                            "RAIN_DURATION 60\nGREEN_AMPT\nCONDUCTIVITY p.ks\nCAPILLARY p.hc\n"
                            "POROSITY p.por\nMOISTURE p.moi\nHYD_FREQ 5.0\nSUMMARY p.sum\n"
                            "OUTLET_HYDRO p.otl\nMAPPING_TABLE p.cmt\nSOIL_EROSION 1\nSAND_SIZE 0.0625\n"
                            "WATER_TEMP 15.0\n");
    const storm_run r = run_storm("p.prj");
    EXPECT_TRUE(r.ended) << r.console;
    std::vector<double> y(4, 0.0);
    if (!r.ended) return y;
    const mass_ledger& b = *r.ms->constituent.ov_sed->books;
    for (int k = 1; k <= 3; ++k) {
      y[static_cast<std::size_t>(k)] = b.run_total(k, row(sediment_term::overland_outlet));
      const double eroded = b.run_total(k, row(sediment_term::erosion));
      EXPECT_NEAR(b.run_balance_of(k, overland_sediment_set()).residual(), 0.0, 1e-10 * eroded)
          << "step " << step << " class " << k;
    }
    return y;
  };
  const std::vector<double> y10 = yields("10.0"), y2 = yields("2.5"), y06 = yields("0.625"),
                            y01 = yields("0.15625");
  for (int k = 1; k <= 3; ++k) {
    const auto K = static_cast<std::size_t>(k);
    ASSERT_GT(y06[K], 1e-5) << "class " << k;
    EXPECT_NEAR(y10[K] / y06[K], 1.0, 0.05) << "class " << k;
    EXPECT_NEAR(y2[K] / y01[K], 1.0, 0.02) << "class " << k;
  }
}

// A parent soil with no share in any class gives nothing to erode: every
// percentage error has nothing to compare against and is 0.
TEST_F(SedimentRun, NothingErodedGivesAZeroError) {
  plane p;
  p.erosion_row = "2.0e3 4e-5 1.0 0.0 0.8 0 0 0";
  p.write();
  const storm_run run = run_storm("p.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const std::string summary = testing::read_file("p.sum");
  for (int k = 1; k <= 3; ++k) {
    const std::string n = std::to_string(k);
    EXPECT_EQ(value_after(summary, "Total sediment " + n + " eroded from surface:"), 0.0);
    EXPECT_TRUE(has(summary, "Mass balance error for sediment " + n + "     0.0000 \n")) << summary;
  }
}

TEST_F(SedimentRun, TheSetUpRefusesWhatItCannotCarry) {
  struct refusal {
    const char* what;
    std::string extra, cmt_extra, erosion_row;
    int option;
    const char* message;
  } cases[] = {
      {"classes as constituents and a short point source", "OV_CON_TRANS\nOV_POINT_SOURCE src.txt\n", "", "", 12,
       "Error: a source gives fewer concentrations than the run has contaminants and sediment classes at line 2 of "
       "the overland point source file src.txt."},
      {"sediment locations", "IN_SED_LOC sed.loc\n", "", "", 1,
       "Error: the IN_SED_LOC card gives sediment series at channel nodes; they need sediment carried in the "
       "channels (SOIL_EROSION with CHAN_EXPLIC)."},
      {"suspended solids at locations", "OUT_TSS_LOC tss.out\n", "", "", 1,
       "Error: the OUT_TSS_LOC card gives sediment series at channel nodes; they need sediment carried in the "
       "channels (SOIL_EROSION with CHAN_EXPLIC)."},
      {"channel outlet solids", "OUTLET_SED_TSS tss.out\n", "", "", 1,
       "Error: the OUTLET_SED_TSS card gives the suspended solids at the channel outlet; this project routes no "
       "channels."},
      {"no erosion table", "", "\n", "", 1,
       "Error: Unable to read the soil erosion properties table from mapping table file"},
      {"negative capacity factor", "", "", "2.0e3 4e-5 1.0 0.0 -0.8 0.3 0.5 0.2", 1,
       "gives cell 1 a transport capacity factor of -0.8"},
      {"share above one", "", "", "2.0e3 4e-5 1.0 0.0 0.8 0.3 1.5 0.2", 1,
       "gives cell 1 a share of sediment class 2 of 1.5"},
      {"shares above the soil", "", "", "2.0e3 4e-5 1.0 0.0 0.8 0.6 0.5 0.2", 1,
       "gives cell 1 class shares that add up to 1.3"},
      // A bed of pores only holds no sand: its volume would divide by zero.
      {"bed of pores only", "SED_POROSITY 1\n", "", "", 1, "Error: the SED_POROSITY card holds 1; it takes"},
  };
  for (const refusal& r : cases) {
    SCOPED_TRACE(r.what);
    reset_process_state();
    plane p;
    p.option = r.option;
    p.extra = r.extra;
    p.cmt_extra = r.cmt_extra;
    if (!r.erosion_row.empty()) p.erosion_row = r.erosion_row;
    p.write();
    // One contaminant and three classes, but concentrations of only three.
    write_file("src.txt", "NUM_SOURCES 1\n1 1 0.001 10 20 30\n");
    const storm_run run = run_storm("p.prj");
    EXPECT_FALSE(run.ended);
    EXPECT_TRUE(has(run.console, r.message)) << run.console;
    EXPECT_NE(process.error_block.stop, 0);
  }
  // A channel network carries the sediment on, but needs the classes.
  {
    const std::string console =
        testing::run_example_with_card("vcatch", "vcatch", "SOIL_EROSION", "SOIL_EROSION 1");
    EXPECT_TRUE(has(console, "Error: Sediment transport specified but sediments table missing in the .cmt file."))
        << console;
  }
  // A pipe network (tile drains under a field) takes sediment in too, but
  // needs the classes.
  {
    const std::string console = testing::run_example_with_card("tiles", "tiles", "SOIL_EROSION", "SOIL_EROSION 1");
    EXPECT_FALSE(has(console, "not available")) << console;
    EXPECT_TRUE(has(console, "Error: Sediment transport specified but sediments table missing in the .cmt file."))
        << console;
  }
  // A card that describes eroded soil in a project without erosion.
  for (const char* card : {"VOL_SED_SUSP s.dat", "MAX_SED_FLUX f.dat", "NET_SED_VOLUME n.dat", "ADJUST_ELEV e.ele",
                           "OUTLET_SED_FLUX o.sed", "OUTLET_SED_TSS t.out", "OPTIMIZE_SED"}) {
    SCOPED_TRACE(card);
    reset_process_state();
    plane p;
    p.option = -1;
    p.extra = std::string(card) + "\n";
    p.write();
    const storm_run run = run_storm("p.prj");
    EXPECT_FALSE(run.ended);
    const std::string name = std::string(card).substr(0, std::string(card).find(' '));
    EXPECT_TRUE(has(run.console, "Error: the " + name + " card on line 23 of the project file describes eroded "
                                 "soil, but the project has no SOIL_EROSION card."))
        << run.console;
  }
  // No SEDIMENTS table in the mapping table file.
  reset_process_state();
  plane p;
  p.write();
  std::string cmt = testing::read_file("p.cmt");
  cmt.replace(cmt.find("SEDIMENTS"), std::string("SEDIMENTS").size(), "SEDIMENTX");
  write_file("p.cmt", cmt);
  const storm_run run = run_storm("p.prj");
  EXPECT_FALSE(run.ended);
  EXPECT_TRUE(has(run.console, "Error: Sediment transport specified but sediments table missing in the .cmt file."))
      << run.console;
}

// The cells a stream crosses are channel cells: every entry of the
// grid-stream table marks its cell, and no other cell is marked.
TEST(SedimentChannelCells, EveryStreamCellIsMarked) {
  auto ms = make_model_state();
  ms->constituent.soil_erosion_on = 1;
  ms->constituent.ov_sed = std::make_unique<ov_sed_record>();
  ms->constituent.ov_sed->channel_cells.alloc(6);
  channel_state& ch = ms->channel;
  ch.gst_num_cells = 2;
  ch.gst_ncellsingrid.alloc(2);
  ch.gst_ncellsingrid[1] = 2;
  ch.gst_ncellsingrid[2] = 1;
  ch.gst_gnum.alloc(2, 2);
  ch.gst_gnum(1, 1) = 2;
  ch.gst_gnum(1, 2) = 5;
  ch.gst_gnum(2, 1) = 3;
  ch.gst_gnum(2, 2) = 6;  // beyond the stream cell's count: not an entry
  mark_sediment_channel_cells(*ms);
  const int expected[] = {0, 0, 1, 1, 0, 1, 0};
  for (int c = 1; c <= 6; ++c) EXPECT_EQ(ms->constituent.ov_sed->channel_cells[c], expected[c]) << c;
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The class-constituents' kilograms booked under a term over the run.
double class_term(const model_state& ms, int j, constituent_term t) {
  return ms.constituent.mass_books->run_total(ms.constituent.first_sed_constituent + j - 1, row(t));
}

TEST_F(SedimentRun, TheErosionValueSelectsTheFormulaAndHowTheClassesTravel) {
  // Below 10 the value is the formula and the overland sediment step
  // erodes; from 10 on the formula is the value less 10 and the classes
  // ride the constituent transport instead: the sediment step never runs
  // and nothing is eroded.
  const struct {
    int value, option, mode;
  } cases[] = {{1, 1, 1}, {7, 7, 1}, {10, 0, 2}, {12, 2, 2}, {16, 6, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    reset_process_state();
    plane p;
    p.option = c.value;
    p.write();
    const storm_run run = run_storm("p.prj");
    ASSERT_TRUE(run.ended) << run.console;
    const constituent_state& k = run.ms->constituent;
    EXPECT_EQ(k.soil_erosion_option, c.option);
    EXPECT_EQ(k.sed_transport_mode, c.mode);
    double eroded = 0.0;
    for (int j = 1; j <= 3; ++j) eroded += k.ov_sed->books->run_total(j, row(sediment_term::erosion));
    const std::string summary = testing::read_file("p.sum");
    if (c.mode == 1) {
      EXPECT_EQ(k.ov_con_trans, 0);
      EXPECT_EQ(k.num_constituents, 0);
      EXPECT_GT(eroded, 0.0);
      EXPECT_TRUE(has(summary, "Overland Sediment Summary\n"));
      continue;
    }
    // The three classes are the run's only constituents, named by their
    // output files, and the overland sediment summary is not printed.
    EXPECT_EQ(k.ov_con_trans, 1);
    EXPECT_EQ(k.num_constituents, 3);
    EXPECT_EQ(k.num_sed_constituents, 3);
    EXPECT_EQ(k.first_sed_constituent, 1);
    EXPECT_EQ(k.num_contam_constituents, 0);
    const char* names[] = {"", "clay.out", "silt.out", "sand.out"};
    for (int j = 1; j <= 3; ++j) {
      EXPECT_EQ(k.constituent_type[j], 1);
      EXPECT_EQ(k.constituent_output_name[static_cast<std::size_t>(j)], names[j]);
    }
    EXPECT_EQ(eroded, 0.0);
    EXPECT_FALSE(has(summary, "Overland Sediment Summary"));
  }
}

TEST_F(SedimentRun, CarriedClassesTravelWithTheWaterAndEveryGramIsBooked) {
  // A spring on the top-left cell: 5 L/s carrying 100, 200 and 400 g/m3
  // of clay, silt and sand, onto the plane under the storm; a contaminant
  // of the uniform cards comes first and decays, the classes do not.
  plane p;
  p.option = 12;
  p.extra = "OV_CON_TRANS\nOV_DECAY_COEF 2.0\nOV_DISP_COEF 0.1\nOV_POINT_SOURCE src.txt\nADJUST_ELEV e.ele\n";
  p.write();
  write_file("src.txt", "NUM_SOURCES 1\n1 1 0.005 50 100 200 400\n");
  const storm_run run = run_storm("p.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  const constituent_state& k = ms.constituent;
  ASSERT_EQ(k.num_constituents, 4);
  ASSERT_EQ(k.first_sed_constituent, 2);
  const double water = ms.ledger.run_total(water_flux::overland_point_sources);
  EXPECT_GT(water, 0.0);
  const double conc[] = {0.0, 100.0, 200.0, 400.0};
  const double clay_out = class_term(ms, 1, constituent_term::overland_outlet);
  EXPECT_GT(clay_out, 0.0);
  for (int j = 1; j <= 3; ++j) {
    SCOPED_TRACE(j);
    const int c = k.first_sed_constituent + j - 1;
    // What the spring brought: its water times the class's concentration.
    const double in = water * conc[j] / 1000.0;
    EXPECT_NEAR(class_term(ms, j, constituent_term::overland_point_source), in, 1e-12 * in);
    // It left through the outlet, lies on the land where the water dried,
    // or is still in the water: the books close.
    const mass_balance_sums whole =
        k.mass_books->run_balance_of(c, {mass_compartment::overland_water, mass_compartment::soil_column});
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * in);
    EXPECT_NEAR(whole.in, in, 1e-10 * in);
    EXPECT_EQ(class_term(ms, j, constituent_term::overland_decay), 0.0);
    EXPECT_EQ(class_term(ms, j, constituent_term::release_from_land), 0.0);
    EXPECT_EQ(class_term(ms, j, constituent_term::rain_on_cells), 0.0);
    // The classes are carried alike, so each goes out in the ratio of the
    // spring's concentrations.
    EXPECT_NEAR(class_term(ms, j, constituent_term::overland_outlet), clay_out * conc[j] / conc[1],
                1e-12 * clay_out * conc[j]);
  }
  EXPECT_GT(k.mass_books->run_total(1, row(constituent_term::overland_decay)), 0.0);
  // No sediment step: the ground has not moved.
  for (int i = 1; i <= ms.grid.ncells; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(k.ov_sed->ov_qsvol(i, j), 0.0);
  // The summary gives the constituents' balances, each closed, and no
  // overland sediment summary.
  const std::string summary = testing::read_file("p.sum");
  EXPECT_FALSE(has(summary, "Overland Sediment Summary"));
  EXPECT_TRUE(has(summary, "Overland Constituent Transport Summary for Constituent     2 (clay.out)\n")) << summary;
  EXPECT_TRUE(has(summary, "Overland Constituent Transport Summary for Constituent     4 (sand.out)\n"));
  // Overland and global, for the contaminant and each class.
  EXPECT_EQ(testing::expect_small_errors(summary, {"Contam mass balance error"}, 5e-5), 8) << summary;
}

TEST_F(SedimentRun, CarriedClassesInASoilColumnStayWhereTheyWereStrained) {
  // The spring of the run above onto the plane on a soil that takes water
  // (redistribution, Ks 1 cm/h under 60 mm/h of rain) with a soil column of
  // three layers: 2 cm of mixing layer, the rest of the 10 cm top zone and
  // the 30 cm below it. The contaminant (Kd 0, no decay) goes down with
  // the water the soil drains; the classes are strained out in the top
  // layer and stay there.
  plane p;
  p.option = 12;
  p.extra =
      "OV_CON_TRANS\nOV_DISP_COEF 0.1\nOV_POINT_SOURCE src.txt\nSOIL_CON_TRANS\nMIXING_LAYER_DEPTH 0.02\n"
      "TOP_LAYER_DEPTH 0.1\nINF_REDIST\nCONDUCTIVITY ks.map\nCAPILLARY hc.map\nPOROSITY por.map\n"
      "MOISTURE moi.map\nPORE_INDEX pdi.map\nRESIDUAL_SAT rsd.map\n";
  p.write();
  const std::pair<const char*, double> maps[] = {{"ks.map", 1.0},  {"hc.map", 10.0},  {"por.map", 0.45},
                                                 {"moi.map", 0.15}, {"pdi.map", 0.25}, {"rsd.map", 0.05}};
  for (const auto& [name, value] : maps) {
    write_file(name, testing::plane_map(p.rows, p.cols, [value](int, int) { return value; }));
  }
  write_file("src.txt", "NUM_SOURCES 1\n1 1 0.005 50 100 200 400\n");
  const storm_run run = run_storm("p.prj");
  ASSERT_TRUE(run.ended) << run.console;
  const model_state& ms = *run.ms;
  const constituent_state& k = ms.constituent;
  ASSERT_EQ(k.num_constituents, 4);
  ASSERT_EQ(k.first_sed_constituent, 2);
  ASSERT_EQ(k.soil_contam_layers, 3);
  const mass_ledger& books = *k.mass_books;
  const int cells = ms.grid.ncells;
  const double water = ms.ledger.run_total(water_flux::overland_point_sources);
  ASSERT_GT(water, 0.0);
  const mass_set whole{mass_compartment::overland_water, mass_compartment::soil_column, mass_compartment::groundwater};
  // The contaminant reached the layers below the top one.
  double below = 0.0;
  for (int i = 1; i <= cells; ++i) below += k.soil_mass(1, i, 2) + k.soil_mass(1, i, 3);
  EXPECT_GT(below, 0.0);
  const double conc[] = {0.0, 100.0, 200.0, 400.0};
  for (int j = 1; j <= 3; ++j) {
    SCOPED_TRACE(j);
    const int c = k.first_sed_constituent + j - 1;
    const double in = water * conc[j] / 1000.0;
    EXPECT_NEAR(class_term(ms, j, constituent_term::overland_point_source), in, 1e-12 * in);
    const mass_balance_sums all = books.run_balance_of(c, whole);
    EXPECT_NEAR(all.residual(), 0.0, 1e-10 * in);
    // What came in is the spring's, with the little the transport made up
    // where the infiltrating water asked a cell for more than it held.
    const double made_up = class_term(ms, j, constituent_term::overland_negative_reset);
    EXPECT_LT(made_up, 1e-4 * in);
    EXPECT_NEAR(all.in, in + made_up, 1e-10 * in);
    // The column holds what infiltrated, all of it in the top layer: it
    // started clean, nothing decayed, went down or came back up.
    const double infiltrated = class_term(ms, j, constituent_term::infiltration);
    EXPECT_GT(infiltrated, 0.01 * in);
    EXPECT_EQ(books.mass(c, mass_compartment::soil_column, ledger_moment::run_start), 0.0);
    EXPECT_NEAR(books.mass(c, mass_compartment::soil_column, ledger_moment::run_end), infiltrated, 1e-10 * in);
    for (constituent_term t : {constituent_term::soil_decay, constituent_term::seepage_to_water_table,
                               constituent_term::seepage_from_water_table, constituent_term::exfiltration,
                               constituent_term::release_from_land, constituent_term::uptake_by_land,
                               constituent_term::soil_negative_reset, constituent_term::overland_decay})
      EXPECT_EQ(class_term(ms, j, t), 0.0) << row(t);
    double top = 0.0;
    for (int i = 1; i <= cells; ++i) {
      top += k.soil_mass(c, i, 1) + k.soil_infil_mass(c, i);
      EXPECT_EQ(k.soil_mass(c, i, 2), 0.0);
      EXPECT_EQ(k.soil_mass(c, i, 3), 0.0);
    }
    EXPECT_NEAR(top / 1000.0, infiltrated, 1e-10 * in);
    // The classes infiltrate alike: each in the ratio of the spring's
    // concentrations.
    EXPECT_NEAR(infiltrated, class_term(ms, 1, constituent_term::infiltration) * conc[j] / conc[1], 1e-12 * in);
  }
  // The summary's soil (run and event), overland and global balances all
  // print no error.
  const std::string summary = testing::read_file("p.sum");
  EXPECT_TRUE(has(summary, "Soil Constituent Transport Summary for sand.out \n")) << summary;
  EXPECT_EQ(testing::expect_small_errors(summary, {"Soil mass balance error"}, 5e-5), 8);
  EXPECT_EQ(testing::expect_small_errors(summary, {"Contam mass balance error"}, 5e-5), 8);
}

}  // namespace
}  // namespace nivra

namespace nivra {
namespace {

// The plane of 4 x 5 cells falling 0.03 toward one corner and a third of
// that across, mirrored by rows and or columns, with copper in the rain
// (10 g/m3) riding the water and the fines (Kd 1000 L/kg). Only the
// outlet cell erodes (the other cells' soil has a critical shear of 1e9
// N/m2 and next to no splash erodibility), so what leaves does not depend
// on the order the sweep meets the other cells in. Mirroring the ground
// mirrors the water, so an outlet on any edge must pass the sediment and
// copper its mirror image passes on the south or east edge.
struct mirrored_plane {
  bool flip_rows = false, flip_cols = false;
  int out_row = 4, out_col = 5;
  std::string overtype = "ADE";

  void write() const {
    const int rows = 4, cols = 5;
    testing::write_plane_maps("m", rows, cols, [this](int i, int j) {
      const int r = flip_rows ? rows + 1 - i : i, c = flip_cols ? cols + 1 - j : j;
      return 100.0 - 0.3 * (r + c / 3.0);
    });
    write_file("soil.idx", testing::plane_map(rows, cols, [this](int i, int j) {
                 return i == out_row && j == out_col ? 2 : 1;
               }));
    using testing::table_row;
    write_file("m.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP soil.idx \"soil\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
                        "\"Copper\" \"soil\" \"copper\"\nPRECIP_CONC 10.0\nPARTITION 1000.0\nNUM_IDS 2\n" +
                            table_row("ID", "DESCRIPTION", "DISP DECAY UPTAKE LOAD CONC LAND KD GW") +
                            table_row("1", "Hard", "0 0 0 0 0 0 0 0") + table_row("2", "Loam", "0 0 0 0 0 0 0 0") +
                            testing::three_sediment_classes() + "SOIL_EROSION_PROPS \"soil\"\nNUM_IDS 2\nNUM_SED 3\n" +
                            table_row("ID", "DESCRIPTION", "SPLASH DETACH_COEF DETACH_EXP CRIT_SHEAR SED_K CLAY SILT SAND") +
                            table_row("1", "Hard", "1e-15 1e-15 1.0 1e9 0.8 0.3 0.5 0.2") +
                            table_row("2", "Loam", "300.0 1e-5 1.0 0.0 0.8 0.3 0.5 0.2"));
    std::ostringstream prj;
    prj << "NIVRAPROJECT\nWATERSHED_MASK m.msk\nELEVATION m.ele\nROWS " << rows << "\nCOLS " << cols
        << "\nGRIDSIZE 10.0\nOUTROW " << out_row << "\nOUTCOL " << out_col
        << "\nOUTSLOPE 0.02\nMANNING_N 0.04\nOVERTYPE " << overtype << "\nTOT_TIME 40\nTIMESTEP 5.0\n"
        << "START_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY 60\nRAIN_DURATION 20\n"
        << "SUMMARY m.sum\nOUTLET_HYDRO m.otl\nMAPPING_TABLE m.cmt\nSOIL_EROSION 1\nOV_CON_TRANS\nSEDIMENT_CONTAM\n"
        << "MIXING_LAYER_DEPTH 1.0\nSAND_SIZE 0.0625\n";
    write_file("m.prj", prj.str());
  }
};

// What left through the outlet: water (m3), each sediment class (m3) and
// the copper in the water and on the fines (g).
struct outlet_yield {
  double water = 0.0;
  double sed[4] = {};
  double dissolved = 0.0, attached = 0.0;
};

outlet_yield run_mirrored(const mirrored_plane& p) {
  reset_process_state();
  p.write();
  const storm_run run = run_storm("m.prj");
  EXPECT_TRUE(run.ended) << run.console;
  outlet_yield y;
  if (!run.ended) return y;
  const model_state& ms = *run.ms;
  y.water = ms.ledger.run_total(water_flux::outlet_discharge);
  const mass_ledger& b = *ms.constituent.ov_sed->books;
  for (int k = 1; k <= 3; ++k) {
    y.sed[k] = b.run_total(k, row(sediment_term::overland_outlet));
    const double eroded = b.run_total(k, row(sediment_term::erosion));
    EXPECT_NEAR(b.run_balance_of(k, overland_sediment_set()).residual(), 0.0, 1e-10 * std::max(eroded, 1e-12))
        << "class " << k;
    // What left the cells' record through the outlet is what the ledger booked.
    EXPECT_NEAR(ms.constituent.ov_sed->cells.out(ms.grid.outlet_cell, k), y.sed[k], 1e-12 * std::max(y.sed[k], 1e-12));
  }
  const mass_ledger& l = *ms.constituent.mass_books;
  y.dissolved = l.run_total(1, row(constituent_term::overland_outlet));
  y.attached = l.run_total(1, row(constituent_term::outlet_on_sediment));
  const mass_balance_sums s = l.run_balance_of(1, mass_ledger::whole_model());
  EXPECT_NEAR(s.residual(), 0.0, 1e-10 * std::max(s.in + s.initial, 1e-12));
  return y;
}

TEST_F(SedimentRun, AnOutletOnAnyEdgePassesWhatItsMirrorImageOnTheSouthOrEastEdgePasses) {
  struct outlet_case {
    const char* name;
    bool flip_rows, flip_cols;
    int row, col;          // the outlet
    int mirror_row, mirror_col;  // its mirror image's, on the unflipped plane
  };
  const outlet_case cases[] = {
      {"north-west corner", true, true, 1, 1, 4, 5},
      {"north-east corner", true, false, 1, 5, 4, 5},
      {"south-west corner", false, true, 4, 1, 4, 5},
      {"west edge", false, true, 3, 1, 3, 5},
      {"north edge", true, false, 1, 3, 4, 3},
  };
  for (const char* overtype : {"ADE", "EXPLICIT"})
    for (const outlet_case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " " + overtype);
      mirrored_plane p;
      p.overtype = overtype;
      p.flip_rows = c.flip_rows;
      p.flip_cols = c.flip_cols;
      p.out_row = c.row;
      p.out_col = c.col;
      const outlet_yield y = run_mirrored(p);
      mirrored_plane m;
      m.overtype = overtype;
      m.out_row = c.mirror_row;
      m.out_col = c.mirror_col;
      const outlet_yield r = run_mirrored(m);
      ASSERT_GT(r.water, 1.0);
      EXPECT_NEAR(y.water, r.water, 1e-9 * r.water);
      for (int k = 1; k <= 3; ++k) {
        EXPECT_GT(r.sed[k], 0.0) << "class " << k;
        EXPECT_NEAR(y.sed[k], r.sed[k], 1e-9 * r.sed[k]) << "class " << k;
      }
      EXPECT_GT(r.dissolved, 0.0);
      EXPECT_NEAR(y.dissolved, r.dissolved, 1e-9 * r.dissolved);
      EXPECT_GT(r.attached, 0.0);
      EXPECT_NEAR(y.attached, r.attached, 1e-9 * r.attached);
    }
}

}  // namespace
}  // namespace nivra
