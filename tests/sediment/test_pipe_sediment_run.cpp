// Whole runs with soil erosion over a storm sewer: a small tilted plane
// with two street inlets (an open one and a pair of grates) whose pipes
// join at an outfall onto the surface. The water an inlet takes from its
// cell carries that cell's suspended sediment into the pipes, which hold
// it. Every class closes over the cells and the pipes, by the ledger and
// by the cells' own record, and the summaries report what went in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "model/water_ledger.h"
#include "pipe/pipe_state.h"
#include "pipe/storm_sewer.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/sediment_contaminant_step.h"
#include "run/driver.h"
#include "quality/constituent_state.h"
#include "quality/sediment/sediment_terms.h"
#include "run/run_test_support.h"
#include "support/test_support.h"
#include "sediment/plane_fixture.h"

namespace nivra {
namespace {

using testing::run_storm;
using testing::storm_run;
using testing::value_after;
using testing::write_file;

// A plane of 4 x 5 cells of 10 m, the ground at 100 - 0.3 row - 0.1 column
// m, the outlet at the south-east corner. Superjunction 1 (row 2, column 3,
// ground 99.1 m) is an open inlet, superjunction 2 (row 3, column 2, ground
// 98.9 m) two grates; 0.3 m pipes 1 m below them run to an outfall onto
// the surface at row 4, column 4 (ground 98.4 m, bottom 97.4 m).
void write_sewer_plane(double rain) {
  const int rows = 4, cols = 5;
  testing::write_plane_maps("s", rows, cols, [](int i, int j) { return 100.0 - 0.3 * i - 0.1 * j; });
  std::string cmt = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP soil.idx soil\n" + testing::three_sediment_classes();
  cmt += "SOIL_EROSION_PROPS soil\nNUM_IDS 1\nNUM_SED 3\n" + testing::table_row("ID", "DESCRIPTION", "VALUES") +
         testing::table_row("1", "Street and lots", "2.0e3 4e-5 1.0 0.0 0.8 0.3 0.5 0.2");
  write_file("s.cmt", cmt);
  write_file("s.slk", testing::street_sewer_network());
  std::ostringstream prj;
  prj << "NIVRAPROJECT\nWATERSHED_MASK s.msk\nELEVATION s.ele\nROWS " << rows << "\nCOLS " << cols
      << "\nGRIDSIZE 10.0\nOUTROW " << rows << "\nOUTCOL " << cols
      << "\nOUTSLOPE 0.02\nMANNING_N 0.04\nOVERTYPE ADE\nTOT_TIME 40\nTIMESTEP 5.0\n"
      << "START_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY " << rain
      << "\nRAIN_DURATION 20\nHYD_FREQ 5.0\nSUMMARY s.sum\nOUTLET_HYDRO s.otl\n"
      << "MAPPING_TABLE s.cmt\nSOIL_EROSION 1\nSTORM_SEWER s.slk\n";
  write_file("s.prj", prj.str());
}

class PipeSedimentRun : public testing::process_test {};

TEST_F(PipeSedimentRun, TheInletsCarrySuspendedSedimentIntoThePipesAndEveryClassCloses) {
  for (double rain : {30.0, 90.0}) {
    SCOPED_TRACE(rain);
    reset_process_state();
    write_sewer_plane(rain);
    const storm_run run = run_storm("s.prj");
    ASSERT_TRUE(run.ended) << run.console;
    const model_state& ms = *run.ms;
    ASSERT_TRUE(ms.constituent.ov_sed);
    const ov_sed_record& s = *ms.constituent.ov_sed;
    const mass_ledger& b = *s.books;
    const ov_sed_cells& c = s.cells;
    const std::string summary = testing::read_file("s.sum");
    double into_pipes_all = 0.0;
    for (int k = 1; k <= 3; ++k) {
      SCOPED_TRACE(k);
      const double eroded = b.run_total(k, row(sediment_term::erosion));
      ASSERT_GT(eroded, 0.0);
      const double into_pipes = b.run_total(k, row(sediment_term::cells_to_pipes));
      into_pipes_all += into_pipes;
      // The pipes hold all they received.
      EXPECT_EQ(s.pipe_sed[k], into_pipes);
      EXPECT_EQ(b.mass(k, mass_compartment::pipes, ledger_moment::run_end), into_pipes);
      EXPECT_EQ(b.mass(k, mass_compartment::pipes, ledger_moment::run_start), 0.0);
      // The ledger closes over the whole model, over the cells and over
      // the pipes.
      EXPECT_NEAR(b.run_balance_of(k, mass_ledger::whole_model()).residual(), 0.0, 1e-10 * eroded);
      EXPECT_NEAR(b.run_balance_of(k, overland_sediment_set()).residual(), 0.0, 1e-10 * eroded);
      EXPECT_NEAR(b.run_balance_of(k, {mass_compartment::pipes}).residual(), 0.0, 1e-10 * eroded);
      // The cells' own record: the parent soil removed is suspended,
      // deposited, out at the outlet or in the pipes.
      double susp = 0.0, dep = 0.0, parent = 0.0;
      for (int cell = 1; cell <= ms.grid.ncells; ++cell) {
        susp += c.susp(cell, k);
        dep += c.dep(cell, k);
        parent -= c.eroded(cell, k);
      }
      EXPECT_NEAR(susp + dep + c.out(ms.grid.outlet_cell, k) + s.pipe_sed[k], parent, 1e-10 * parent);
      // The summary reports what went in and closes to its printing
      // precision.
      const std::string n = std::to_string(k);
      EXPECT_NEAR(value_after(summary, "Total sediment " + n + " into superlinks:"), into_pipes, 1e-8);
      const double e = value_after(summary, "Total sediment " + n + " eroded from surface:");
      const double d = value_after(summary, "Total sediment " + n + " deposited on surface:");
      const double r = value_after(summary, "Total sediment " + n + " remaining in suspension:");
      const double o = value_after(summary, "Total sediment " + n + " routed through outlet");
      EXPECT_NEAR(e, d + r + o + value_after(summary, "Total sediment " + n + " into superlinks:"), 4e-8);
      EXPECT_NEAR(value_after(summary, "Mass balance error for sediment " + n), 0.0, 1e-4);
    }
    // The fine class is carried into the pipes with the street's water.
    EXPECT_GT(b.run_total(1, row(sediment_term::cells_to_pipes)), 0.0);
    EXPECT_GT(into_pipes_all, 0.0);
    // The water that carried it is all the inlets took (one event).
    const double to_pipes = ms.ledger.run_total(water_flux::overland_to_pipes);
    EXPECT_GT(to_pipes, 0.0);
    EXPECT_NEAR(ms.constituent.sl_sed_water_event, to_pipes, 1e-9 * to_pipes);
    std::printf("rain %.0f mm/h: %.4f m3 of water and %.3e m3 of sediment into the pipes\n", rain, to_pipes,
                into_pipes_all);
  }
}

// The same plane with a contaminant that sticks to the fines (Kd 1000
// L/kg) rained on at 10 g/m3: the share of a cell's suspended sediment an
// inlet takes takes the same share of the mass attached to it, so the
// cell's attached mass per m3 of fines is what it was; the pipes hold
// what came in, and every gram of the run is booked.
TEST_F(PipeSedimentRun, TheInletsTakeTheAttachedMassWithTheirShareOfTheFines) {
  write_sewer_plane(90.0);
  std::string cmt = testing::read_file("s.cmt");
  cmt.replace(cmt.find("INDEX_MAP soil.idx soil"), 23, "INDEX_MAP soil.idx \"soil\"");
  cmt.replace(cmt.find("SOIL_EROSION_PROPS soil"), 23, "SOIL_EROSION_PROPS \"soil\"");
  cmt += "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"Atrazine\" \"soil\" \"atrazine.out\"\nPRECIP_CONC 10.0\n"
         "PARTITION 1000.0\nNUM_IDS 1\n" + testing::table_row("ID", "DESCRIPTION", "K") +
         testing::table_row("1", "Street and lots", "0.5 2.0 0 5000 0 0 0 0");
  write_file("s.cmt", cmt);
  write_file("s.prj", testing::read_file("s.prj") + "OV_CON_TRANS\nSEDIMENT_CONTAM\nMIXING_LAYER_DEPTH 1.0\nSAND_SIZE 0.0625\n");

  auto owned = make_model_state();
  model_state& ms = *owned;
  ::testing::internal::CaptureStdout();
  bool going = set_up_run(ms, "s.prj", nullptr);
  const constituent_state& k = ms.constituent;
  const int n = going ? ms.grid.ncells : 0;
  std::vector<double> fines(static_cast<std::size_t>(n + 1), 0.0), held(fines);
  auto fines_of = [&](int i) {
    double v = 0.0;
    for (int j = 1; j <= k.n_sed_classes; ++j)
      if (!k.sand[j]) v += k.ov_sed->cells.susp(i, j);
    return v;
  };
  int taking_steps = 0;
  if (going)
    going = testing::step_through(ms, [&](const time_step_routine& routine) {
      if (routine.run == &storm_sewer_step) {
        for (int i = 1; i <= n; ++i) fines[static_cast<std::size_t>(i)] = fines_of(i);
        return false;
      }
      if (routine.run == &cells_attached_to_pipes) {
        for (int i = 1; i <= n; ++i) held[static_cast<std::size_t>(i)] = k.cell_total_mass(1, i);
        const double booked = k.mass_books->run_total(1, row(constituent_term::attached_to_pipes));
        routine.run(ms);
        double expected = 0.0;
        for (int i = 1; i <= n; ++i) {
          const double f0 = fines[static_cast<std::size_t>(i)], a0 = held[static_cast<std::size_t>(i)];
          if (!(f0 > 0.0) || !(a0 > 0.0)) continue;
          // What is left on the cell per m3 of what is left of its fines.
          const double kept = fines_of(i) / f0;
          EXPECT_NEAR(k.cell_total_mass(1, i), a0 * kept, 1e-12 * a0) << "cell " << i;
          expected += a0 * (1.0 - kept);
        }
        const double moved = (k.mass_books->run_total(1, row(constituent_term::attached_to_pipes)) - booked) * 1000.0;
        EXPECT_NEAR(moved, expected, 1e-12 * std::max(expected, 1.0));
        if (expected > 0.0) ++taking_steps;
        return true;
      }
      return false;
    });
  close_all_files(ms);
  const std::string console = ::testing::internal::GetCapturedStdout();
  // Checks that failed inside the steps reported into the captured console.
  if (HasFailure()) ADD_FAILURE() << console;
  ASSERT_TRUE(going) << console;
  EXPECT_GT(taking_steps, 0);
  const mass_ledger& l = *k.mass_books;
  const double into_pipes = l.run_total(1, row(constituent_term::attached_to_pipes));
  EXPECT_GT(into_pipes, 0.0);
  // The pipes hold all that went in, on the fines and dissolved in the
  // water: the sums of the steps' bookings and of the pipes' masses differ
  // by round-off only, some 1e-15 of it; a lost inlet or step would miss
  // far more than 1e-12.
  const double dissolved = l.run_total(1, row(constituent_term::dissolved_to_pipes));
  EXPECT_GT(dissolved, 0.0);
  EXPECT_NEAR(pipe_attached_mass(ms, 1), into_pipes, 1e-12 * into_pipes);
  EXPECT_NEAR(l.mass(1, mass_compartment::pipes, ledger_moment::run_end), into_pipes + dissolved,
              1e-12 * (into_pipes + dissolved));
  const mass_balance_sums whole = l.run_balance_of(1, mass_ledger::whole_model());
  EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * (whole.in + whole.initial));
  for (mass_compartment part : {mass_compartment::pipes, mass_compartment::sediment_bound}) {
    const mass_balance_sums b = l.run_balance_of(1, {part});
    EXPECT_NEAR(b.residual(), 0.0, 1e-10 * (whole.in + whole.initial)) << static_cast<int>(part);
  }
}

}  // namespace
}  // namespace nivra
