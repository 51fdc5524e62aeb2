// A dissolved tracer over a storm sewer in whole runs: a tilted plane of
// 4 x 5 cells of 10 m under a uniform rain of 2 g/m3, with an open street
// inlet and a pair of grates whose pipes join at an outfall onto the
// surface. The tracer neither decays nor meets the land, so every cell the
// rain alone wets keeps the rain's concentration while the inlets take its
// water; the water the inlets take carries 2 g/m3 into the pipes, which
// hold it; and the books close over the cells, the pipes and the outlet.
#include <gtest/gtest.h>

#include <string>

#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

class PipeDissolvedRun : public testing::process_test {};

constexpr double rain_conc = 2.0;  // g/m3
constexpr int rows = 4, cols = 5;
constexpr int outfall_row = 4, outfall_col = 4;

// The ground falls 0.3 m a row and 0.1 m a column; superjunction 1 (row 2,
// column 3) is an open inlet, 2 (row 3, column 2) two grates, 3 the outfall
// onto the surface at row 4, column 4; the outlet is the south-east corner.
void write_sewer_plane(double rain, int minutes) {
  std::string header = "north: 40.0\nsouth: 0.0\neast: 50.0\nwest: 0.0\nrows: 4\ncols: 5\n";
  std::string msk = header, ele = header, idx = header;
  for (int i = 1; i <= rows; ++i) {
    for (int j = 1; j <= cols; ++j) {
      msk += "1 ";
      idx += "1 ";
      ele += std::to_string(100.0 - 0.3 * i - 0.1 * j) + " ";
    }
    msk += "\n";
    idx += "\n";
    ele += "\n";
  }
  testing::write_file("t.msk", msk);
  testing::write_file("t.ele", ele);
  testing::write_file("lu.idx", idx);
  testing::write_file("t.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP lu.idx \"lu\"\nCONTAMINANT_TRANSPORT\n"
                               "NUM_CONTAM 1\n\"tracer\" \"lu\" \"tracer\"\nPRECIP_CONC " +
                                   std::to_string(rain_conc) + "\nPARTITION 0.0\nNUM_IDS 1\n" +
                                   testing::table_row("ID", "DESCRIPTION", "K") +
                                   testing::table_row("1", "street", "0 0 0 0 0 0 0 0"));
  testing::write_file("t.slk", testing::street_sewer_network());
  testing::write_file("t.prj", "NIVRAPROJECT\nWATERSHED_MASK t.msk\nELEVATION t.ele\nROWS 4\nCOLS 5\n"
                               "GRIDSIZE 10.0\nOUTROW 4\nOUTCOL 5\nOUTSLOPE 0.02\nMANNING_N 0.04\n"
                               "OVERTYPE ADE\nTOT_TIME " +
                                   std::to_string(minutes) +
                                   "\nTIMESTEP 5.0\nSTART_DATE 2024 6 15\nSTART_TIME 12 0\n"
                                   "PRECIP_UNIF\nRAIN_INTENSITY " +
                                   std::to_string(rain) + "\nRAIN_DURATION " + std::to_string(minutes) +
                                   "\nSUMMARY t.sum\nOUTLET_HYDRO t.otl\nMAPPING_TABLE t.cmt\n"
                                   "OV_CON_TRANS\nSTORM_SEWER t.slk\n");
}

// The cells the outfall's water can reach (it spills at row 4, column 4
// and runs east to the outlet) hold water that came out of the pipes.
bool below_outfall(const model_state& ms, int cell) {
  for (int j = outfall_col; j <= cols; ++j)
    if (ms.grid.mask(outfall_row, j) == cell) return true;
  return false;
}

TEST_F(PipeDissolvedRun, TheInletsTakeTheCellsWaterAtTheRainsConcentrationAndThePipesHoldIt) {
  struct storm {
    double rain;  // mm/h
    int minutes;
  };
  for (const storm s : {storm{30.0, 40}, storm{90.0, 60}}) {
    SCOPED_TRACE(s.rain);
    reset_process_state();
    write_sewer_plane(s.rain, s.minutes);
    const testing::storm_run run = testing::run_storm("t.prj");
    ASSERT_TRUE(run.ended) << run.console;
    const model_state& ms = *run.ms;
    const double area = ms.grid.grid_size * ms.grid.grid_size;
    // The inlets took water, and with it the rain's concentration.
    const double taken = ms.ledger.run_total(water_flux::overland_to_pipes);
    ASSERT_GT(taken, 1.0);
    const mass_ledger& l = *ms.constituent.mass_books;
    const double into_pipes = l.run_total(1, row(constituent_term::dissolved_to_pipes));
    // Within the overland transport's own spread of a uniform concentration
    // (its cells stray by up to 1 % without any inlet).
    EXPECT_NEAR(into_pipes, rain_conc * taken / 1000.0, 0.01 * into_pipes);
    EXPECT_NEAR(pipe_dissolved_mass(ms, 1), into_pipes, 1e-12 * into_pipes);
    EXPECT_NEAR(l.mass(1, mass_compartment::pipes, ledger_moment::run_end), into_pipes, 1e-12 * into_pipes);
    // Every wet cell the pipes' water does not reach keeps the rain's
    // concentration, the grates' cell and those below it among them
    // (water leaving clean would raise them by 5 to 25 %).
    int checked = 0;
    for (int i = 1; i <= ms.grid.ncells; ++i) {
      const double depth = ms.overland.ov_depth[i];
      if (below_outfall(ms, i) || !(depth > 1e-4)) continue;
      SCOPED_TRACE(i);
      EXPECT_NEAR(ms.constituent.ov_mass(1, i) / (depth * area), rain_conc, 0.02 * rain_conc);
      ++checked;
    }
    EXPECT_GE(checked, 10);
    // The books close over the whole model and the summary says it.
    const mass_balance_sums b = l.run_balance_of(1, mass_ledger::whole_model());
    EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.in);
    const std::string summary = testing::read_file("t.sum");
    EXPECT_NE(summary.find("Dissolved entering the pipes"), std::string::npos);
  }
}

}  // namespace
}  // namespace nivra
