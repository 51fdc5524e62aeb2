// A conservative tracer down a channel reach: every water that enters the
// channels (the cells' lateral inflow, a spring at the head of the reach,
// the water already there) carries one concentration, so every node must
// hold that concentration after every channel step, to rounding. The
// channels of examples/nutrients (two links of six nodes down a V) drain
// two planes under thirty minutes of rain; a shallow channel spills onto
// its cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "channel/channel_state.h"
#include "inputs/grid_state.h"
#include "model/mass_ledger.h"
#include "model/water_ledger.h"
#include "model/model_state.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/channel_constituents.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "run/driver.h"
#include "run/run_test_support.h"
#include "sediment/vcatchment_fixture.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

class ChannelTracerRun : public testing::process_test {};

constexpr double tracer = 5.0;  // g/m3

// The V of examples/nutrients with one contaminant of the mapping table's
// table: the rain and the spring bring the tracer, nothing decays,
// nothing disperses. With `losing` the channel's bed leaks (STREAM_LOSS,
// no water table): the water the beds let through takes its node's
// concentration.
void write_tracer_project(bool losing) {
  testing::copy_example("nutrients");
  if (losing) {
    std::string cif = testing::read_file("nutrients.cif");
    for (std::size_t at = cif.find("TRAPEZOID\n"); at != std::string::npos; at = cif.find("TRAPEZOID\n", at + 1))
      cif.replace(at, 10, "TRAPEZOID_SUBSURFACE\n");
    for (std::size_t at = cif.find("MANNINGS_N 0.05\n"); at != std::string::npos;
         at = cif.find("MANNINGS_N 0.05\n", at + 1))
      cif.insert(at + 16, "K_RIVER 2.0\nM_RIVER 0.5\n");
    testing::write_file("nutrients.cif", cif);
  }
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
                      "SUMMARY tracer.sum\nOUTLET_HYDRO tracer.otl\nMAPPING_TABLE tracer.cmt\nOV_CON_TRANS\n"
                      "CHAN_CON_TRANS\n"
                      "INIT_CHAN_CONC 5.0\nCHAN_POINT_INPUT head.cpi\n" + std::string(losing ? "STREAM_LOSS\n" : ""));
}

// The point sinks of the reach: the point-source file's spring at the head
// and a pump of 1 m3/s at node 4 of link 1, far more than reaches it, so
// that every channel step cuts it to what the node holds; a POINTSOURCE
// series drawing 0.002 m3/s at node 3 of link 2.
void add_point_sinks() {
  testing::write_file("head.cpi", "NUMPT 2\nPOINT 1 1 0.01 5.0\nPOINT 4 1 -1.0 0.0\nNRPDS 0\n");
  std::string cif = testing::read_file("nutrients.cif");
  cif += "NODE 3\nPOINTSOURCE draw\n";  // the last link read is link 2
  testing::write_file("nutrients.cif", cif);
  testing::write_file("draw.ts", "NIVRA_TS\ndraw\nRELATIVE\n0 0 0 0 0 -0.002\n0 0 0 2 0 -0.002\nEND_TS\n");
  testing::set_card("tracer.prj", "TIME_SERIES_FILE", "TIME_SERIES_FILE draw.ts");
}

// One run of the reach. The cells' water is held at the tracer's
// concentration after every overland transport, so that what the cells
// give the channels is the tracer's concentration to the last bit,
// whatever the overland scheme does; every node of the reach that holds
// water must then hold it too, after every channel step, while the cells
// fill the channels and while they drain. Node `emptied` of link 1 (0
// none), which a point sink empties every step, holds no more than the
// tracer in the water left to it.
void run_tracer(const std::string& project, bool losing, bool spilling, int emptied = 0) {
  auto owned = make_model_state();
  model_state& ms = *owned;
  ::testing::internal::CaptureStdout();
  bool going = set_up_run(ms, project, nullptr);
  const double area = going ? ms.grid.grid_size * ms.grid.grid_size : 0.0;
  int checked = 0, steps = 0;
  double worst = 0.0, excess = 0.0;
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
        if (emptied > 0) {
          const double held = tracer * ch.area(emptied, 1) * ch.link_dx[1];
          excess = std::max(excess, k.chan_node_mass(1, ch.max_nodes_per_link + emptied) - held);
        }
        return true;
      }
      return false;
    });
  close_all_files(ms);
  const std::string console = ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(going) << console;
  EXPECT_GT(steps, 300);
  EXPECT_GT(checked, 1000);
  EXPECT_LT(worst, 1e-9);
  EXPECT_LT(excess, 1e-9);
  // The spilling channel gave water back to the cells.
  if (spilling) {
    EXPECT_GT(ms.ledger.run_total(water_flux::channel_lateral_out), 1.0);
  }
  // The channels' books close.
  const mass_ledger& books = *ms.constituent.mass_books;
  const mass_balance_sums b = books.run_balance_of(1, {mass_compartment::channels, mass_compartment::lakes});
  EXPECT_NEAR(b.residual(), 0.0, 1e-10 * (b.in + b.initial));
  EXPECT_GT(books.run_total(1, row(constituent_term::overland_to_channels)), 0.1);
  // What the beds let through left at the tracer's concentration.
  const double lost = ms.ledger.run_total(water_flux::channels_to_groundwater);
  if (losing) {
    EXPECT_GT(lost, 1.0);
  } else {
    EXPECT_EQ(lost, 0.0);
  }
  EXPECT_NEAR(books.run_total(1, row(constituent_term::channels_to_aquifer)), tracer * lost / 1000.0,
              1e-9 * (1.0 + lost));
  // The point sources brought the tracer with their water and the sinks
  // took it with the water they actually drew, no more.
  const double point_water = ms.ledger.run_total(water_flux::channel_point_sources) -
                             ms.ledger.run_total(water_flux::channel_point_sinks);
  EXPECT_NEAR(books.run_total(1, row(constituent_term::channel_point_sources)), tracer * point_water / 1000.0,
              1e-9 * ms.ledger.run_total(water_flux::channel_point_sources));
  if (emptied > 0) {
    // The sinks drew water, far less than the pump asked.
    EXPECT_GT(ms.ledger.run_total(water_flux::channel_point_sinks), 1.0);
    EXPECT_LT(ms.ledger.run_total(water_flux::channel_point_sinks), 0.5 * 3600.0);
  }
}

TEST_F(ChannelTracerRun, EveryNodeKeepsTheConcentrationOfAllItsWater) {
  for (const bool losing : {false, true}) {
    SCOPED_TRACE(losing ? "losing beds" : "tight beds");
    reset_process_state();
    write_tracer_project(losing);
    run_tracer("tracer.prj", losing, false);
  }
}

// The reach with point sinks: a pump at node 4 of link 1 cut every channel
// step to the water the node holds and a POINTSOURCE series drawing from
// node 3 of link 2. Each takes the tracer only with the water it drew:
// every node keeps the tracer's concentration, the emptied node holds no
// mass its water does not carry, the sinks' mass is the tracer's
// concentration times the water the books say they drew, and the books
// close.
TEST_F(ChannelTracerRun, APointSinkTakesTheTracerOnlyWithTheWaterItDrew) {
  write_tracer_project(false);
  add_point_sinks();
  run_tracer("tracer.prj", false, false, 4);
}

// A shallow channel that spills onto its cells while the storm lasts (the
// V-catchment of the sediment runs, banks 0.1 m high, OVERBANK_FLOW, rain
// of 120 mm/h with the tracer): a spill that stops part-way through a
// channel step takes its node's mass only with the water it moved, and
// every node keeps the tracer's concentration.
TEST_F(ChannelTracerRun, ASpillCutShortTakesOnlyTheMassOfTheWaterItMoved) {
  testing::vcatchment v;
  v.rain = 120.0;
  v.bankfull = 0.1;
  v.extra = "OVERBANK_FLOW\nOV_CON_TRANS\nCHAN_CON_TRANS\nINIT_CHAN_CONC 5.0\n";
  v.write();
  std::string cmt = testing::read_file("v.cmt");
  cmt.replace(cmt.find("INDEX_MAP v.idx soil"), 20, "INDEX_MAP v.idx \"soil\"");
  cmt.replace(cmt.find("SOIL_EROSION_PROPS soil"), 23, "SOIL_EROSION_PROPS \"soil\"");
  testing::write_file("v.cmt", cmt +
                                   "CONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n\"tracer\" \"soil\" \"tracer\"\n"
                                   "PRECIP_CONC 5.0\nPARTITION 0.0\nNUM_IDS 1\n" +
                                   testing::table_row("ID", "DESCRIPTION", "K") +
                                   testing::table_row("1", "Field", "0 0 0 0 0 0 0 0"));
  run_tracer("v.prj", false, true);
}

}  // namespace
}  // namespace nivra
