// First-order decay of a contaminant in still water over whole runs: a
// flat pond of 3 x 3 cells of 20 m under 0.1 m of water at 1,000 g/m3
// (the mapping table's initial concentration), decaying at 2 per day for
// twelve hours in steps of 60 s. A fourth row holds the outlet cell, dry
// and 0.5 m above the pond, so no water leaves: the pond's concentration,
// its mass over its water, must follow the explicit decay (1 - k dt)^n,
// within 0.3 % of exp(-k T).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "clock/clock_state.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

class OverlandDecayRun : public testing::process_test {};

constexpr double rate_per_day = 2.0, dt = 60.0, hours = 12.0;

void write_pond(int kinetics_factor) {
  const std::string header = "north: 80.0\nsouth: 0.0\neast: 60.0\nwest: 0.0\nrows: 4\ncols: 3\n";
  testing::write_file("pond.msk", header + "1 1 1\n1 1 1\n1 1 1\n0 0 1\n");
  testing::write_file("pond.ele", header + "10 10 10\n10 10 10\n10 10 10\n10 10 10.5\n");
  testing::write_file("depth.asc", header + "0.1 0.1 0.1\n0.1 0.1 0.1\n0.1 0.1 0.1\n0 0 0\n");
  testing::write_file("lu.idx", header + "1 1 1\n1 1 1\n1 1 1\n1 1 1\n");
  testing::write_file("pond.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP lu.idx \"lu\"\nCONTAMINANT_TRANSPORT\n"
                                  "NUM_CONTAM 1\n"
                                  "\"dye\" \"lu\" \"dye\"\nPRECIP_CONC 0.0\nPARTITION 0.0\nNUM_IDS 1\n" +
                                      testing::table_row("ID", "DESCRIPTION", "K") +
                                      testing::table_row("1", "pond", "0 2.0 0 0 1000 0 0 0"));
  // The rain card needs a rain: 1e-4 mm/h for the first minute.
  testing::write_file("pond.prj",
                      "NIVRAPROJECT\nWATERSHED_MASK pond.msk\nELEVATION pond.ele\nROWS 4\nCOLS 3\nGRIDSIZE 20.0\n"
                      "OUTROW 4\nOUTCOL 3\nOUTSLOPE 0.001\nMANNING_N 0.03\nOVERTYPE ADE\nTOT_TIME 720\n"
                      "TIMESTEP 60.0\nSTART_DATE 2024 6 15\nSTART_TIME 0 0\nPRECIP_UNIF\nRAIN_INTENSITY 0.0001\n"
                      "RAIN_DURATION 1\nSUMMARY pond.sum\nOUTLET_HYDRO pond.otl\nMAPPING_TABLE pond.cmt\n"
                      "OV_CON_TRANS\nREAD_OV_HOTSTART depth.asc\nKINETICS_TIMESTEP_FACTOR " +
                          std::to_string(kinetics_factor) + "\n");
}

// The pond's mass over its water, g/m3.
double pond_concentration(const model_state& ms) {
  double m = 0.0, v = 0.0;
  for (int i = 1; i <= ms.grid.ncells; ++i) {
    m += ms.constituent.ov_mass(1, i);
    v += ms.overland.ov_depth[i];
  }
  return m / (v * ms.grid.grid_size * ms.grid.grid_size);
}

TEST_F(OverlandDecayRun, AStillPondDecaysAsTheExplicitFormWithinAFractionOfAPercentOfTheExponential) {
  write_pond(1);
  const testing::storm_run r = testing::run_storm("pond.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const double k = rate_per_day / 86400.0;
  const int n = static_cast<int>(hours * 3600.0 / dt);
  const double ratio = pond_concentration(ms) / 1000.0;
  EXPECT_NEAR(ratio, std::pow(1.0 - k * dt, n), 1e-6);
  EXPECT_NEAR(ratio / std::exp(-k * hours * 3600.0), 1.0, 0.003);
  // No water left the pond, and what left the water decayed.
  const mass_ledger& l = *ms.constituent.mass_books;
  EXPECT_EQ(l.run_total(1, row(constituent_term::overland_outlet)), 0.0);
  const mass_balance_sums b = l.run_balance_of(1, mass_ledger::whole_model());
  EXPECT_NEAR(b.residual(), 0.0, 1e-10 * b.initial);
  EXPECT_NEAR(l.run_total(1, row(constituent_term::overland_decay)), 360.0 * (1.0 - ratio), 1e-4);
}

// With KINETICS_TIMESTEP_FACTOR 5 the decay is gathered every fifth step
// and spread over the five steps until it is gathered again: every step
// takes an even share, and none is left when the kinetics run again.
TEST_F(OverlandDecayRun, DecayGatheredOverAnIntervalIsTakenInEvenSharesBeforeTheNextIsGathered) {
  write_pond(5);
  auto owned = make_model_state();
  model_state& ms = *owned;
  ::testing::internal::CaptureStdout();
  bool going = set_up_run(ms, "pond.prj", nullptr);
  const constituent_state& k = ms.constituent;
  auto pending = [&] {
    double p = 0.0;
    for (int i = 1; i <= ms.grid.ncells; ++i) p += k.cell_decay_mass(1, i);
    return p;
  };
  auto decayed = [&] { return k.mass_books->run_total(1, row(constituent_term::overland_decay)) * 1000.0; };
  int cycles = 0;
  double gathered = 0.0, first_share = 0.0, worst_left = 0.0, worst_uneven = 0.0;
  if (going)
    going = testing::step_through(ms, [&](const time_step_routine& routine) {
      if (routine.run == &overland_constituent_processes) {
        const bool due = ms.clock.model_time >= ms.clock.contam_table_clock.next_time - ms.clock.time_tol;
        if (due && cycles > 0) worst_left = std::max(worst_left, pending() / gathered);
        routine.run(ms);
        if (due) {
          ++cycles;
          gathered = pending();
          first_share = -1.0;
        }
        return true;
      }
      if (routine.run == &overland_constituent_transport) {
        const double before = decayed();
        routine.run(ms);
        const double share = decayed() - before;
        if (first_share < 0.0)
          first_share = share;
        else if (first_share > 0.0)
          worst_uneven = std::max(worst_uneven, std::fabs(share / first_share - 1.0));
        return true;
      }
      return false;
    });
  close_all_files(ms);
  const std::string console = ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(going) << console;
  EXPECT_GT(cycles, 100);
  EXPECT_LT(worst_left, 1e-12);
  EXPECT_LT(worst_uneven, 1e-9);
}

}  // namespace
}  // namespace nivra
