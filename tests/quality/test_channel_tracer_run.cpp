// A conservative tracer down a channel reach: every water that enters the
// channels (the cells' lateral inflow, a spring at the head of the reach,
// the water already there) carries one concentration, so every node must
// hold that concentration after every channel step, to rounding. The
// channels of examples/nutrients (two links of six nodes down a V) drain
// two planes under thirty minutes of rain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "channel/channel_state.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/channel_constituents.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

class ChannelTracerRun : public testing::process_test {};

constexpr double tracer = 5.0;  // g/m3

// The V of examples/nutrients with one contaminant of the mapping table's
// table: the rain and the spring bring the tracer, nothing decays,
// nothing disperses.
void write_tracer_project() {
  testing::copy_example("nutrients");
  std::string cmt = "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
                    "\"tracer\" \"Land use\" \"tracer\"\nPRECIP_CONC 5.0\nPARTITION 0.0\nNUM_IDS 2\n" +
                    testing::table_row("ID", "DESCRIPTION", "K") + testing::table_row("1", "west", "0 0 0 0 0 0 0 0") +
                    testing::table_row("2", "east", "0 0 0 0 0 0 0 0");
  testing::write_file("tracer.cmt", cmt);
  // A spring at the head of the reach, node 1 of link 1.
  testing::write_file("head.cpi", "NUMPT 1\nPOINT 1 1 0.01 5.0\nNRPDS 0\n");
  testing::write_file("tracer.prj",
                      "NIVRAPROJECT\nWATERSHED_MASK nutrients.msk\nELEVATION nutrients.ele\nROWS 10\nCOLS 11\n"
                      "GRIDSIZE 20.0\nOUTROW 10\nOUTCOL 6\nOUTSLOPE 0.02\nMANNING_N 0.03\nOVERTYPE ADE\nCHAN_EXPLIC\n"
                      "CHANNEL_INPUT nutrients.cif\nSTREAM_CELL nutrients.gst\nTOT_TIME 60\nTIMESTEP 10.0\n"
                      "START_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\nRAIN_INTENSITY 20.0\nRAIN_DURATION 30\n"
                      "SUMMARY tracer.sum\nOUTLET_HYDRO tracer.otl\nMAPPING_TABLE tracer.cmt\nOV_CON_TRANS 1\nCHAN_CON_TRANS\n"
                      "INIT_CHAN_CONC 5.0\nCHAN_POINT_INPUT head.cpi\n");
}

// The cells' water is held at the tracer's concentration after every
// overland transport, so that what the cells give the channels is the
// tracer's concentration to the last bit, whatever the overland scheme
// does; every node of the reach that holds water must then hold it too,
// after every channel step, while the cells fill the channels and while
// they drain.
TEST_F(ChannelTracerRun, EveryNodeKeepsTheConcentrationOfAllItsWater) {
  write_tracer_project();
  auto owned = make_model_state();
  model_state& ms = *owned;
  ::testing::internal::CaptureStdout();
  bool going = set_up_run(ms, "tracer.prj", nullptr);
  const double area = going ? ms.grid.grid_size * ms.grid.grid_size : 0.0;
  int checked = 0, steps = 0;
  double worst = 0.0;
  if (going)
    going = testing::step_through(ms, [&](const time_step_routine& routine) {
      constituent_state& k = ms.constituent;
      if (routine.run == &overland_constituent_transport) {
        routine.run(ms);
        for (int i = 1; i <= ms.grid.ncells; ++i) {
          const double h = ms.overland.ov_depth[i];
          k.ov_conc(1, i) = h > 0.0 ? tracer : 0.0;
          k.ov_mass(1, i) = h > 0.0 ? tracer * h * area : 0.0;
        }
        return true;
      }
      if (routine.run == &channel_constituent_step) {
        routine.run(ms);
        const channel_state& ch = ms.channel;
        ++steps;
        for (int l = 1; l <= ch.num_stream_links; ++l)
          for (int j = 1; j <= ch.nx[l]; ++j) {
            if (ch.area(j, l) * ch.link_dx[l] < 1e-3) continue;
            const double c = k.chan_conc(1, l * ch.max_nodes_per_link + j);
            worst = std::max(worst, std::fabs(c - tracer) / tracer);
            ++checked;
          }
        return true;
      }
      return false;
    });
  close_all_files(ms);
  const std::string console = ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(going) << console;
  EXPECT_GT(steps, 300);
  EXPECT_GT(checked, 3000);
  EXPECT_LT(worst, 1e-9);
  // The channels' books close.
  const mass_balance_sums b =
      ms.constituent.mass_books->run_balance_of(1, {mass_compartment::channels, mass_compartment::lakes});
  EXPECT_NEAR(b.residual(), 0.0, 1e-10 * (b.in + b.initial));
  EXPECT_GT(ms.constituent.mass_books->run_total(1, row(constituent_term::overland_to_channels)), 0.1);
}

}  // namespace
}  // namespace nivra
