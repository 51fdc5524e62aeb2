// Whole runs with soil erosion on a small tilted plane without channels:
// the sediment ledger of every class closes over the run, the run summary's
// sediment lines close to their printing precision, the outlet sediment
// series carries what the ledger says left, the yield grows with the rain
// and the slope, ADJUST_ELEV moves the ground by exactly the net change,
// and the set-up refuses what it cannot carry, naming it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "clock/clock_state.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "output/run_summary.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_terms.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "quality/sediment/sediment_books.h"

namespace nivra {
namespace {

using testing::run_storm;
using testing::storm_run;
using testing::value_after;
using testing::write_file;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A plane of rows x cols cells of 10 m falling `slope` to the south and a
// third of it to the east; the outlet is the south-east corner.
struct plane {
  int rows = 4, cols = 5;
  double slope = 0.03;
  double rain = 60.0;        // mm/h for 20 minutes of a 40-minute run
  int option = 1;            // SOIL_EROSION; none when below 0
  std::string extra;         // more project cards
  std::string cmt_extra;     // replaces the erosion table when given
  std::string erosion_row = "2.0e3 4e-5 1.0 0.0 0.8 0.3 0.5 0.2";

  static std::string header(int r, int c) {
    std::ostringstream s;
    s << "north: " << 1000.0 + 10.0 * r << "\nsouth: 1000.0\neast: " << 2000.0 + 10.0 * c
      << "\nwest: 2000.0\nrows: " << r << "\ncols: " << c << "\n";
    return s.str();
  }
  static std::string sediment_row(const std::string& name, const std::string& values) {
    std::string row = name;
    row.resize(40, ' ');
    return row + values + "\n";
  }
  static std::string table_row(const std::string& id, const std::string& name, const std::string& values) {
    std::string row = id;
    row.resize(6, ' ');
    std::string d = name;
    d.resize(80, ' ');
    return row + d + values + "\n";
  }

  void write() const {
    std::ostringstream mask, ele, ids;
    mask << header(rows, cols);
    ele << header(rows, cols);
    ids << header(rows, cols);
    for (int i = 1; i <= rows; ++i) {
      for (int j = 1; j <= cols; ++j) {
        mask << "1 ";
        ele << 100.0 - slope * 10.0 * (i + j / 3.0) << " ";
        ids << "1 ";
      }
      mask << "\n";
      ele << "\n";
      ids << "\n";
    }
    write_file("p.msk", mask.str());
    write_file("p.ele", ele.str());
    write_file("soil.idx", ids.str());
    std::string cmt = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP soil.idx soil\n";
    cmt += "SEDIMENTS\nNUM_SED 3\nCLASS  SG  D  FB  FILE\n" + sediment_row("Clay", "2.65 0.002 0.0 clay.out") +
           sediment_row("Silt", "2.65 0.03 0.0 silt.out") + sediment_row("Sand", "2.65 0.3 0.0 sand.out");
    if (cmt_extra.empty())
      cmt += "SOIL_EROSION_PROPS soil\nNUM_IDS 1\nNUM_SED 3\n" + table_row("ID", "DESCRIPTION", "VALUES") +
             table_row("1", "Field", erosion_row);
    else
      cmt += cmt_extra;
    write_file("p.cmt", cmt);
    std::ostringstream prj;
    prj << "NIVRAPROJECT\nWATERSHED_MASK p.msk\nELEVATION p.ele\nROWS " << rows << "\nCOLS " << cols
        << "\nGRIDSIZE 10.0\nOUTROW " << rows << "\nOUTCOL " << cols
        << "\nOUTSLOPE 0.02\nMANNING_N 0.04\nOVERTYPE ADE\nTOT_TIME 40\nTIMESTEP 5.0\n"
        << "START_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY " << rain
        << "\nRAIN_DURATION 20\nHYD_FREQ 0.0833333333333\nSUMMARY p.sum\nOUTLET_HYDRO p.otl\n"
        << "MAPPING_TABLE p.cmt\n";
    if (option >= 0) prj << "SOIL_EROSION " << option << "\nOUTLET_SED_FLUX p.sed\n";
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

TEST_F(SedimentRun, SuspendedSedimentSettlesBetweenEvents) {
  plane p;
  p.write();
  storm_run run = run_storm("p.prj");
  ASSERT_TRUE(run.ended) << run.console;
  model_state& ms = *run.ms;
  ov_sed_record& s = *ms.constituent.ov_sed;
  ms.constituent.adjust_elev = 1;
  double susp = 0.0, dep = 0.0, elev = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    elev += ms.grid.elevation[c];
    for (int k = 1; k <= 3; ++k) {
      susp += s.cells.susp(c, k);
      dep += s.cells.dep(c, k);
    }
  }
  ASSERT_GT(susp, 0.0);
  const double settled_before = s.books->run_total(2, row(sediment_term::settling));
  const double susp_2 = [&] {
    double v = 0.0;
    for (int c = 1; c <= ms.grid.ncells; ++c) v += s.cells.susp(c, 2);
    return v;
  }();
  settle_sediment_between_events(ms);
  double susp_after = 0.0, dep_after = 0.0, elev_after = 0.0;
  for (int c = 1; c <= ms.grid.ncells; ++c) {
    elev_after += ms.grid.elevation[c];
    for (int k = 1; k <= 3; ++k) {
      susp_after += s.cells.susp(c, k);
      dep_after += s.cells.dep(c, k);
    }
  }
  EXPECT_EQ(susp_after, 0.0);
  EXPECT_NEAR(dep_after, dep + susp, 1e-15);
  EXPECT_NEAR((elev_after - elev) * 100.0, susp, 1e-9);
  EXPECT_NEAR(s.books->run_total(2, row(sediment_term::settling)) - settled_before, susp_2, 1e-18);
  // The event's books open afresh.
  EXPECT_EQ(s.books->event_total(2, row(sediment_term::settling)), 0.0);
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
      {"classes as constituents", "", "", "", 12,
       "Error: the SOIL_EROSION card is not available in this version of NIVRA with a value of 10 or more"},
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
    EXPECT_TRUE(has(run.console, "Error: the " + name + " card describes eroded soil, but the project has no "
                                 "SOIL_EROSION card."))
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

}  // namespace
}  // namespace nivra
