// Structure links, point-source series and pumps of the channel input file:
// the elements each link gets and the faults of their cards; a weir and a
// culvert between two channels that pass a steady inflow at the headwater
// their ratings give and lose no water, and a steep rating that does so
// without swinging; the inlet coefficient of a culvert; and a whole run of the V-catchment with a structure across its
// channel, a point-source series and a pump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "channel/channel_fixture.h"
#include "channel/channel_routing.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
#include "channel/channel_storage.h"
#include "channel/culvert_flow.h"
#include "channel/structures.h"
#include "core/elevation_series.h"
#include "core/errors.h"
#include "core/time_series.h"
#include "inputs/grid_state.h"
#include "model/water_ledger.h"
#include "run/run_test_support.h"
#include "surface/lake_state.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using testing::chain_connects;
using testing::chan_file;
using testing::read_file;
using testing::set_card;
using testing::trapezoid_link;
using testing::write_file;

// A trapezoidal link of `points` node points `dx` apart whose bed falls
// from `top` at `slope`, 5 m wide at the bottom with side slopes of 1.
std::string gentle_link(int link, int points, double dx, double top, double slope) {
  char head[160];
  std::snprintf(head, sizeof head, "LINK %d\nTRAPEZOID\nNODES %d\nDX %.17g\nMANNINGS_N 0.03\n", link, points, dx);
  std::string s = head;
  for (int k = 1; k <= points; ++k) {
    char node[80];
    std::snprintf(node, sizeof node, "NODE %d\nELEV %.17g\n", k, top - slope * dx * (k - 1));
    s += node;
  }
  return s + "NODE 1\nXSEC\nBOTTOM_WIDTH 5.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH 3.0\n";
}

std::string structure_link(int link, int count, const std::string& elements) {
  return "LINK " + std::to_string(link) + "\nSTRUCTURE\nNUMSTRUCTS " + std::to_string(count) + "\n" + elements;
}

const std::string a_weir = "STRUCTTYPE weir\nCREST_LENGTH 5\nCREST_LOW_ELEV 99\nDISCHARGE_COEFF_FORWARD 1\n";

class StructureCards : public testing::channel_file_test {
 protected:
  // A fresh channel record for the next file.
  void reset() {
    channel_state fresh;
    ch = std::move(fresh);
  }
  // Five links: channels 1, 3 and 5 with structure links 2 and 4 between.
  std::string network(const std::string& link2, const std::string& link4) {
    return chan_file(5, 3, chain_connects(5) + trapezoid_link(1, 3, 100.0) + link2 + trapezoid_link(3, 3, 90.0) + link4 +
                               trapezoid_link(5, 3, 80.0));
  }
};

TEST_F(StructureCards, ElementsAreNumberedInFileOrderAcrossTheLinks) {
  const std::string culvert =
      "STRUCTTYPE Round_Culvert\nDIAMETER 1.2\nLENGTH 25\nUPINVERT 97.5\nSLOPE 0.02\nROUGH_COEFF 0.013\n"
      "INLET_DISCH_COEFF 0.8\nREV_FLOW_DISCH_COEFF 0.7\n";
  ASSERT_TRUE(read(network(structure_link(2, 2, a_weir + culvert),
                           structure_link(4, 1, "STRUCTTYPE weir\nLENGTH 3\nDISCHARGE_COEFF_FORWARD 1\n"))))
      << err;
  const channel_structures& s = ch.structures;
  ASSERT_EQ(s.count(), 3);
  EXPECT_EQ(s.link_structs[2].num_structs, 2);
  EXPECT_EQ(s.link_structs[2].first, 1);
  EXPECT_EQ(s.link_structs[2].last, 2);
  EXPECT_EQ(s.link_structs[4].first, 3);
  EXPECT_EQ(s.link_structs[4].last, 3);
  for (int l : {1, 3, 5}) {
    EXPECT_EQ(s.link_structs[l].first, 10000);
    EXPECT_EQ(s.link_structs[l].last, 0);
  }
  // CREST_LENGTH of a weir and LENGTH of a culvert fill the same field.
  EXPECT_EQ(s.struct_elements[1].type, structure_kind::weir);
  EXPECT_EQ(s.struct_elements[1].length, 5.0);
  EXPECT_EQ(s.struct_elements[3].length, 3.0);
  const structure_element& c = s.struct_elements[2];
  EXPECT_EQ(c.type, structure_kind::round_culvert);
  EXPECT_EQ(c.length, 25.0);
  EXPECT_EQ(c.width, 1.2);
  EXPECT_EQ(c.disch_coeff_forward, 0.8);
  EXPECT_EQ(c.disch_coeff_reverse, 0.7);
  // Without DOWNINVERT the barrel falls at its SLOPE.
  EXPECT_DOUBLE_EQ(c.downinvert, 97.0);
  EXPECT_EQ(c.link, 2);
  EXPECT_NE(out.find("    total no. of hydr. structure elements: 3\n"), std::string::npos);
}

TEST_F(StructureCards, ABarrelBelowSeaLevelKeepsItsInverts) {
  // A downstream invert of 0 m or below is an elevation like any other:
  // the slope follows from the two inverts.
  ASSERT_TRUE(read(network(structure_link(2, 1,
                                          "STRUCTTYPE rect_culvert\nWIDTH 2\nHEIGHT 1\nLENGTH 20\nUPINVERT 0.4\n"
                                          "DOWNINVERT -0.1\nSLOPE 0.3\nROUGH_COEFF 0.015\nINLET_DISCH_COEFF 0.9\n"),
                           structure_link(4, 1, a_weir))))
      << err;
  const structure_element& c = ch.structures.struct_elements[1];
  EXPECT_EQ(c.downinvert, -0.1);
  EXPECT_DOUBLE_EQ(c.slope, 0.025);
}

TEST_F(StructureCards, SeriesOfRatingCurvesReleasesAndRuleCurvesAreBoundByName) {
  write_file("es.txt", "NIVRA_ES\nspillway rating\n99 0\n101 10\nEND_ES\nNIVRA_ES\nrule\n99 1\n100 2\nEND_ES\n");
  write_file("ts.txt", "NIVRA_TS\nrelease\nRELATIVE\n0 0 0 0 0 2.5\nEND_TS\n");
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(read_elev_series_file("es.txt"));
  ASSERT_TRUE(read_time_series_file("ts.txt"));
  ::testing::internal::GetCapturedStdout();
  const std::string elements =
      "STRUCTTYPE RATING_CURVE spill\nSTRUCTTYPE SCHEDULED_RELEASE \"release\"\nSTRUCTTYPE rule_curve rule\n";
  ASSERT_TRUE(read(network(structure_link(2, 3, elements), structure_link(4, 1, a_weir)))) << err;
  const channel_structures& s = ch.structures;
  // "spill" begins the name of the first series.
  EXPECT_EQ(s.struct_elements[1].elev_series, process.es_list[0].get());
  EXPECT_EQ(s.struct_elements[2].release_series, process.ts_list[0].get());
  EXPECT_EQ(s.struct_elements[3].elev_series, process.es_list[1].get());
  // The sum at headwater 100 m: 5 m3/s of the rating, 2.5 released, 2 of
  // the rule curve's step.
  double q = 0.0;
  ASSERT_EQ(structure_sum(s, 2, 100.0, 95.0, 0.0, q), structure_status::ok);
  EXPECT_DOUBLE_EQ(q, 5.0 + 2.5 + 2.0);

  const struct {
    const char* card;
    int code;
  } faults[] = {
      {"STRUCTTYPE RATING_CURVE\n", 85},          {"STRUCTTYPE RATING_CURVE weir\n", 86},
      {"STRUCTTYPE SCHEDULED_RELEASE\n", 87},     {"STRUCTTYPE SCHEDULED_RELEASE spill\n", 88},
      {"STRUCTTYPE RULE_CURVE\n", 89},            {"STRUCTTYPE RULE_CURVE release\n", 90},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.card);
    reset();
    EXPECT_FALSE(read(network(structure_link(2, 1, f.card), structure_link(4, 1, a_weir))));
    EXPECT_TRUE(stopped());
    EXPECT_NE(out.find(message_text(f.code).substr(0, 40)), std::string::npos) << out;
    process.error_block.stop = 0;
  }
}

TEST_F(StructureCards, FaultsOfTheStructureCardsStopTheReading) {
  const struct {
    std::string link2;
    const char* message;
  } cases[] = {
      {structure_link(2, 1, "STRUCTTYPE gate\n"),
       "the STRUCTTYPE card at line 31 of the channel input file net.cif gives the kind \"gate\", which is none of"},
      {structure_link(2, 1, "CREST_LENGTH 5\n" + a_weir),
       "the CREST_LENGTH card at line 31 of the channel input file net.cif comes before the link's first "
       "STRUCTTYPE card"},
      {structure_link(2, 0, ""), "link 2 of the channel input file net.cif is a structure link without an element"},
      {structure_link(2, 1, "STRUCTTYPE weir\nCREST_LENGTH 5\n"),
       "the weir element of link 2 (STRUCTTYPE at line 31 of the channel input file net.cif) has no forward "
       "discharge coefficient above 0"},
      {structure_link(2, 1, "STRUCTTYPE weir\nDISCHARGE_COEFF_FORWARD 1\n"), "has no crest length above 0"},
      {structure_link(2, 1, "STRUCTTYPE sag_weir\nLENGTH 10\nSTEEP_SLOPE 0.1\nSHALLOW_SLOPE -0.05\n"
                            "DISCHARGE_COEFF_FORWARD 1\n"),
       "needs a SHALLOW_SLOPE above its STEEP_SLOPE"},
      {structure_link(2, 1, "STRUCTTYPE round_culvert\nDIAMETER 1\nLENGTH 20\nINLET_DISCH_COEFF 1\n"),
       "has no Manning's n of its barrel (ROUGH_COEFF)"},
      {structure_link(2, 1, "STRUCTTYPE rect_culvert\nWIDTH 1\nLENGTH 20\nROUGH_COEFF 0.01\nINLET_DISCH_COEFF 1\n"),
       "has no barrel height above 0 (HEIGHT)"},
      {structure_link(2, 1, "STRUCTTYPE round_culvert\nDIAMETER 1\nROUGH_COEFF 0.01\nINLET_DISCH_COEFF 1\n"),
       "has a barrel shorter than 0.1 mm (LENGTH)"},
      {structure_link(2, 1, "STRUCTTYPE weir\nCREST_LENGTH -5\n"), "CREST_LENGTH"},
      {structure_link(2, 1, "STRUCTTYPE weir\nDISCHARGE_COEFF_FORWARD lots\n"), "DISCHARGE_COEFF_FORWARD"},
      // A structure joins two nodes: NODES 3 would leave a node the
      // structure never fills or empties.
      {structure_link(2, 1, "NODES 3\n" + a_weir),
       "the NODES card at line 31 of the channel input file net.cif gives structure link 2 3 node points; a "
       "structure link has 2"},
      {"LINK 2\nNODES 3\nSTRUCTURE\nNUMSTRUCTS 1\n" + a_weir,
       "the NODES card at line 29 of the channel input file net.cif gives structure link 2 3 node points"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    reset();
    EXPECT_FALSE(read(network(c.link2, structure_link(4, 1, a_weir))));
    EXPECT_TRUE(stopped());
    EXPECT_NE((err + out).find(c.message), std::string::npos) << err << out;
    process.error_block.stop = 0;
  }
  // NODES 2, before or after the STRUCTURE card, is what the link has.
  reset();
  EXPECT_TRUE(read(network("LINK 2\nNODES 2\nSTRUCTURE\nNUMSTRUCTS 1\n" + a_weir, structure_link(4, 1, a_weir))))
      << err;
  reset();
  EXPECT_TRUE(read(network(structure_link(2, 1, "NODES 2\n" + a_weir), structure_link(4, 1, a_weir)))) << err;
  // Elements belong to structure links.
  reset();
  EXPECT_FALSE(read(chan_file(1, 3, "CONNECT 1 0 0\n" + trapezoid_link(1, 3) + a_weir)));
  EXPECT_NE(err.find("the STRUCTTYPE card at line 24 of the channel input file net.cif belongs to a structure link"),
            std::string::npos)
      << err;
}

TEST_F(StructureCards, PointSourceSeriesAndPumpsStandAtChannelNodes) {
  write_file("ts.txt", "NIVRA_TS\ninflow\nRELATIVE\n0 0 0 0 0 0.3\nEND_TS\nNIVRA_TS\nlift\nRELATIVE\n0 0 0 0 0 0.1\n"
                       "END_TS\n");
  write_file("es.txt", "NIVRA_ES\n\"lift rating\"\n0 0\n1 0.2\nEND_ES\n");
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(read_time_series_file("ts.txt"));
  ASSERT_TRUE(read_elev_series_file("es.txt"));
  ::testing::internal::GetCapturedStdout();
  const std::string two_links = chain_connects(2) + trapezoid_link(1, 4, 100.0);
  ASSERT_TRUE(read(chan_file(2, 4, two_links + "NODE 2\nPOINTSOURCE inflow\nPUMPTO 2 3 TS lift\n" +
                                      trapezoid_link(2, 4, 90.0) + "NODE 3\nPUMPTO 1 1 ELEV \"lift rating\"\n")))
      << err;
  const channel_structures& s = ch.structures;
  ASSERT_EQ(s.stream_pointsource.size(), 1u);
  EXPECT_EQ(s.stream_pointsource[0].link, 1);
  EXPECT_EQ(s.stream_pointsource[0].node, 2);
  EXPECT_EQ(s.stream_pointsource[0].series, process.ts_list[0].get());
  ASSERT_EQ(s.stream_pumps.size(), 2u);
  const channel_pump& p = s.stream_pumps[0];
  EXPECT_EQ(p.link, 1);
  EXPECT_EQ(p.node, 2);
  EXPECT_EQ(p.to_link, 2);
  EXPECT_EQ(p.to_node, 3);
  EXPECT_EQ(p.rating.flow_type, pump_flow::ts);
  EXPECT_EQ(p.rating.ts, process.ts_list[1].get());
  EXPECT_EQ(s.stream_pumps[1].rating.flow_type, pump_flow::elev);
  EXPECT_DOUBLE_EQ(s.stream_pumps[1].rating.rate(0.5, 0.0), 0.1);

  const struct {
    std::string cards;
    const char* message;
  } cases[] = {
      {"NODE 2\nPOINTSOURCE outflow\n", "the POINTSOURCE card at line 15 of the channel input file net.cif names the "
                                        "time series \"outflow\", which no time series file of the project holds"},
      {"NODE 4\nPOINTSOURCE inflow\n", "the POINTSOURCE card at line 15 of the channel input file net.cif stands at "
                                       "no computational node of a channel link"},
      {"NODE 2\nPUMPTO 2 3 FLOW lift\n", "the PUMPTO card at line 15 of the channel input file net.cif gives the "
                                         "flow type \"FLOW\": it must be ELEV or TS"},
      {"NODE 2\nPUMPTO 2 3 ELEV lifts\n", "names the elevation series \"lifts\", which no series file of the project "
                                          "holds"},
      {"NODE 2\nPUMPTO 2 7 TS lift\n", "delivers to no computational node of a channel link"},
      {"NODE 2\nPUMPTO 1 2 TS lift\n", "delivers to its own node"},
      {"PUMPTO 1 2 TS lift\n", "the PUMPTO card at line 14 of the channel input file net.cif comes before any NODE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    reset();
    const std::string link1 = chain_connects(2) + trapezoid_link(1, 4, 100.0, c.cards);
    EXPECT_FALSE(read(chan_file(2, 4, link1 + trapezoid_link(2, 4, 90.0))));
    EXPECT_NE((err + out).find(c.message), std::string::npos) << err << out;
    process.error_block.stop = 0;
  }
}

// ---- A structure between two channels.

class StructureNetwork : public testing::process_test {
 protected:
  // Channel 1 (10 nodes 20 m apart at 1 %) into structure link 2 into
  // channel 3, whose bed lies well below; `elements` for link 2.
  void load(int count, const std::string& elements) {
    load_text(chan_file(3, 11, chain_connects(3) + gentle_link(1, 11, 20.0, 100.0, 0.01) +
                                   structure_link(2, count, elements) + gentle_link(3, 11, 20.0, 96.5, 0.01)));
  }
  void load_text(const std::string& text) {
    net = testing::read_network(text, lakes);
    ASSERT_TRUE(net);
    size_channel_state(*net);
    net->max_courant_number = 0.04;
    ASSERT_TRUE(ex_section(*net, section_mode::from_depth));
  }
  channel_domain domain() { return channel_domain{*net, overland, grid, lakes}; }
  double volume() const { return testing::network_volume(*net); }
  // Routes one call and checks that the network's water changed by what
  // entered at the head and left at the outlet.
  void route(double dt) {
    const double before = volume();
    const channel_result r = ex_flow_route(domain(), dt);
    ASSERT_EQ(r.status, channel_status::ok);
    const channel_books& b = r.books;
    EXPECT_NEAR(volume() - before, b.headwater + b.clipped - b.outlet, 1e-9 * (before + b.headwater))
        << "call " << net->routing.calls;
    headwater += b.headwater;
    outlet += b.outlet;
    clipped += b.clipped;
    sub_steps += b.sub_steps;
  }

  std::unique_ptr<channel_state> net;
  grid_state grid;
  overland_state overland;
  lake_state lakes;
  double headwater = 0.0, outlet = 0.0, clipped = 0.0;
  long sub_steps = 0;
};

// The bed of the last node of channel 1: halfway between its node points 10
// and 11.
constexpr double last_bed = 100.0 - 0.01 * 20.0 * 9.5;

TEST_F(StructureNetwork, AWeirPassesASteadyInflowAtItsRatedHead) {
  // Crest 0.3 m above the last bed, 5 m long, C 1: 1 m3/s passes at
  // H = (1 / (1.7049 x 5))^(2/3) = 0.2397 m.
  char weir[200];
  std::snprintf(weir, sizeof weir, "STRUCTTYPE weir\nCREST_LENGTH 5\nCREST_LOW_ELEV %.17g\nDISCHARGE_COEFF_FORWARD 1\n",
                last_bed + 0.3);
  load(1, weir);
  net->first_order_chan_q = 1.0;
  for (int call = 1; call <= 120; ++call) route(60.0);
  const double head = std::pow(1.0 / (1.7049 * 5.0), 2.0 / 3.0);
  EXPECT_NEAR(head, 0.2396, 5e-5);
  EXPECT_NEAR(net->yp(10, 1), last_bed + 0.3 + head, 0.002);
  EXPECT_NEAR(net->qp(1, 2), 1.0, 0.005);
  EXPECT_EQ(net->qp(2, 2), net->qp(1, 2));
  EXPECT_NEAR(net->qp(net->nx[3], 3), 1.0, 0.01);
  // Every cubic metre that entered left or is in the channels.
  EXPECT_NEAR(headwater + clipped, outlet + volume(), 1e-9 * headwater);
  EXPECT_EQ(clipped, 0.0);
}

TEST_F(StructureNetwork, AWeirAndACulvertShareTheFlowAtTheHeadwaterOfTheirSum) {
  char elements[400];
  std::snprintf(elements, sizeof elements,
                "STRUCTTYPE weir\nCREST_LENGTH 6\nCREST_LOW_ELEV %.17g\nDISCHARGE_COEFF_FORWARD 0.9\n"
                "STRUCTTYPE round_culvert\nDIAMETER 0.6\nLENGTH 12\nUPINVERT %.17g\nDOWNINVERT %.17g\n"
                "ROUGH_COEFF 0.013\nINLET_DISCH_COEFF 0.8\nREV_FLOW_DISCH_COEFF 0.8\n",
                last_bed + 0.3, last_bed, last_bed - 0.2);
  load(2, elements);
  net->first_order_chan_q = 1.5;
  for (int call = 1; call <= 120; ++call) route(60.0);
  // The headwater where weir and culvert together pass the inflow.
  const double hw = net->yp(10, 1), tw = net->yp(1, 3);
  double q = 0.0;
  ASSERT_EQ(structure_sum(net->structures, 2, hw, tw, 0.0, q), structure_status::ok);
  EXPECT_NEAR(q, 1.5, 1e-3);
  // The culvert runs under inlet control and the weir takes the rest.
  EXPECT_EQ(culv_flow(net->structures.struct_elements[2], 2, hw, tw).flow_type, culvert_flow_type::inlet_steep);
  EXPECT_GT(hw, last_bed + 0.3);  // over the crest
  EXPECT_NEAR(headwater + clipped, outlet + volume(), 1e-9 * headwater);
  std::printf("weir and culvert: headwater %.4f m over the bed\n", hw - last_bed);
}

TEST_F(StructureNetwork, AStructureBelowANearlyDryBedCostsWhatTheChannelCosts) {
  // A road culvert whose inverts lie 0.3 m below the channel beds on either
  // side, under a trace of base flow: the culvert takes whatever reaches
  // the last node above it. The routing takes about as many sub-steps per
  // 10 s call as the same two channels joined without a structure, and
  // every cubic metre is accounted for.
  char culvert[300];
  std::snprintf(culvert, sizeof culvert,
                "STRUCTTYPE round_culvert\nDIAMETER 1\nLENGTH 20\nUPINVERT %.17g\nDOWNINVERT %.17g\n"
                "ROUGH_COEFF 0.013\nINLET_DISCH_COEFF 0.8\nREV_FLOW_DISCH_COEFF 0.8\n",
                last_bed - 0.3, 96.4 - 0.3);
  struct network {
    const char* what;
    std::string text;
  } const networks[] = {
      {"two channels", chan_file(2, 11, chain_connects(2) + gentle_link(1, 11, 20.0, 100.0, 0.01) +
                                             gentle_link(2, 11, 20.0, 96.5, 0.01))},
      {"a culvert between them", chan_file(3, 11, chain_connects(3) + gentle_link(1, 11, 20.0, 100.0, 0.01) +
                                                      structure_link(2, 1, culvert) +
                                                      gentle_link(3, 11, 20.0, 96.5, 0.01))},
  };
  long per_network[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    load_text(networks[k].text);
    headwater = outlet = clipped = 0.0;
    net->first_order_chan_q = 0.001;
    for (int call = 1; call <= 360; ++call) route(10.0);  // an hour to settle
    sub_steps = 0;
    for (int call = 1; call <= 360; ++call) route(10.0);
    per_network[k] = sub_steps;
    EXPECT_GT(outlet, 0.0) << networks[k].what;
    std::printf("%s: %.2f sub-steps per 10 s call\n", networks[k].what, sub_steps / 360.0);
  }
  EXPECT_LE(per_network[1], 3 * per_network[0]);
}

TEST_F(StructureNetwork, AStructureBetweenDryChannelsPassesNothing) {
  char weir[200];
  std::snprintf(weir, sizeof weir, "STRUCTTYPE weir\nCREST_LENGTH 5\nCREST_LOW_ELEV %.17g\nDISCHARGE_COEFF_FORWARD 1\n",
                last_bed - 0.5);
  load(1, weir);
  // Whatever it passed before, with both sides dry it passes nothing now.
  for (node_array<double>* q : {&net->qp, &net->routing.qp_last, &net->routing.qp_iter}) (*q)(1, 2) = (*q)(2, 2) = 2.0;
  route(60.0);
  EXPECT_EQ(net->qp(1, 2), 0.0);
  EXPECT_EQ(volume(), 0.0);
  EXPECT_EQ(outlet, 0.0);
}

TEST_F(StructureNetwork, ACulvertReadFromTheFileHasNoStepWhereItsInletSubmerges) {
  // A steep circular barrel of 1 m with a free outlet: the open inlet runs
  // to the crown (1 D over the inlet invert), the orifice from 1.5 D; at
  // both joints the discharge a millimetre below meets the one at it.
  char culvert[300];
  std::snprintf(culvert, sizeof culvert,
                "STRUCTTYPE round_culvert\nDIAMETER 1\nLENGTH 20\nUPINVERT %.17g\nDOWNINVERT %.17g\n"
                "ROUGH_COEFF 0.013\nINLET_DISCH_COEFF 0.7\nREV_FLOW_DISCH_COEFF 0.7\n",
                last_bed, last_bed - 0.4);
  load(1, culvert);
  const structure_element& e = net->structures.struct_elements[1];
  for (const double joint : {1.0, 1.5}) {
    const culvert_result below = culv_flow(e, 1, last_bed + joint - 0.001, last_bed - 5.0);
    const culvert_result at = culv_flow(e, 1, last_bed + joint, last_bed - 5.0);
    EXPECT_GT(at.q, below.q) << joint;
    EXPECT_LT(at.q - below.q, 0.01 * at.q) << joint;
    std::printf("%.1f D over the inlet: %.4f m3/s a millimetre below, %.4f m3/s at it\n", joint, below.q, at.q);
  }
  EXPECT_EQ(culv_flow(e, 1, last_bed + 0.9, last_bed - 5.0).flow_type, culvert_flow_type::inlet_steep);
}


TEST_F(StructureNetwork, ASteepRatingPassesASteadyInflowWithoutSwinging) {
  // A rating curve that passes 0.5 m3/s at 0.5 m over the last bed and
  // 5 m3/s 5 mm higher: 900 m3/s per metre of headwater, against the 110 m2
  // of water surface of the node above it. Over a sub-step the Courant
  // number would allow, the structure would carry the headwater past the
  // level at which it passes the 2 m3/s coming down, and back. Its slope
  // bounds the sub-step: the structure passes the inflow at the end of
  // every call and the headwater stands still.
  elevation_series& steep = *new_elev_series();
  steep.name = "steep";
  steep.x = {last_bed, last_bed + 0.5, last_bed + 0.505, last_bed + 10.0};
  steep.y = {0.0, 0.5, 5.0, 6.0};
  steep.count = 4;
  load(1, "STRUCTTYPE rating_curve steep\n");
  net->first_order_chan_q = 2.0;
  for (int call = 1; call <= 360; ++call) route(10.0);  // an hour to settle
  double low = 1e30, high = -1e30, level_low = 1e30, level_high = -1e30;
  for (int call = 1; call <= 120; ++call) {
    route(10.0);
    low = std::min(low, net->qp(1, 2));
    high = std::max(high, net->qp(1, 2));
    level_low = std::min(level_low, net->yp(10, 1));
    level_high = std::max(level_high, net->yp(10, 1));
  }
  EXPECT_NEAR(low, 2.0, 0.01);
  EXPECT_NEAR(high, 2.0, 0.01);
  EXPECT_LT(level_high - level_low, 1e-6);
  EXPECT_NEAR(level_low, last_bed + 0.5, 0.005);
  EXPECT_NEAR(headwater + clipped, outlet + volume(), 1e-9 * headwater);
  std::printf("steep rating: %.4f to %.4f m3/s, headwater %.4f m over the bed, %.1f sub-steps a call\n", low, high,
              level_low - last_bed, sub_steps / 480.0);
}

// ---- A whole run: the V-catchment with a structure across its channel.

class StructureRuns : public testing::process_test {
 protected:
  void SetUp() override {
    testing::process_test::SetUp();
    testing::copy_example("vcatch");
    // Link 2 becomes link 3; the new link 2, a structure, takes the water
    // of link 1 (last bed 19.0 m) to it (first bed 18.6 m).
    std::string cif = read_file("vcatch.cif");
    cif.replace(cif.find("LINKS 2"), 7, "LINKS 3");
    cif.replace(cif.find("CONNECT 1 2 0\nCONNECT 2 0 1 1\n"), 30, "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n");
    const std::size_t link2 = cif.find("\nLINK 2\n");
    cif.replace(link2, 8, "\nLINK 3\n");
    cif.insert(link2 + 1,
               "LINK 2\nSTRUCTURE\nNUMSTRUCTS 3\n"
               "STRUCTTYPE weir\nCREST_LENGTH 20\nCREST_LOW_ELEV 19.2\nDISCHARGE_COEFF_FORWARD 1.0\n"
               "DISCHARGE_COEFF_REVERSE 1.0\n"
               "STRUCTTYPE round_culvert\nDIAMETER 0.5\nLENGTH 20\nUPINVERT 19.0\nDOWNINVERT 18.6\nROUGH_COEFF 0.013\n"
               "INLET_DISCH_COEFF 0.8\nREV_FLOW_DISCH_COEFF 0.8\n"
               "STRUCTTYPE rating_curve \"low outlet\"\n");
    // A series feeds node 5 of the lower channel and a pump lifts water
    // from its node 20 back to node 3 of the upper one.
    cif += "NODE 5\nPOINTSOURCE tributary\nNODE 20\nPUMPTO 1 3 TS lift\n";
    write_file("vcatch.cif", cif);
    std::string gst = read_file("vcatch.gst");
    for (std::size_t at = gst.find("LINKNODE 2 "); at != std::string::npos; at = gst.find("LINKNODE 2 ", at))
      gst.replace(at, 11, "LINKNODE 3 ");
    write_file("vcatch.gst", gst);
    write_file("vcatch.es", "NIVRA_ES\n\"low outlet rating\"\n19.0 0.0\n19.5 0.5\n20.0 1.0\nEND_ES\n");
    write_file("vcatch.ts", "NIVRA_TS\ntributary\nRELATIVE\n0 0 0 0 0 0.3\n0 0 0 3 0 0.3\nEND_TS\n"
                            "NIVRA_TS\nlift\nRELATIVE\n0 0 0 0 0 0.1\nEND_TS\n");
    set_card("vcatch.prj", "ELEV_SERIES_FILE", "ELEV_SERIES_FILE vcatch.es");
    set_card("vcatch.prj", "TIME_SERIES_FILE", "TIME_SERIES_FILE vcatch.ts");
    set_card("vcatch.prj", "TOT_TIME", "TOT_TIME 120");
  }
};

TEST_F(StructureRuns, TheStructurePassesTheValleysWaterAndTheBooksClose) {
  testing::storm_run r = testing::run_storm("vcatch.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const model_state& ms = *r.ms;
  const channel_state& ch = ms.channel;
  EXPECT_EQ(ch.ltype[2], link_type::structure);
  EXPECT_EQ(ch.structures.struct_elements[2].type, structure_kind::round_culvert);
  // Rain and the tributary's 0.3 m3/s over the two hours.
  const water_ledger& l = ms.ledger;
  const double rain = l.run_total(water_flux::rainfall_to_overland);
  EXPECT_NEAR(l.run_total(water_flux::channel_point_sources), 0.3 * 7200.0, 0.3 * 60.0);
  const double in = rain + l.run_total(water_flux::channel_point_sources);
  // The upper half's rain came through the structure: the outlet has seen
  // more than the lower half and the tributary could give.
  EXPECT_GT(r.qout.back(), 0.0);
  const double peak = *std::max_element(r.qout.begin(), r.qout.end());
  EXPECT_GT(peak, 0.9 * (4.86 + 0.3));
  EXPECT_LT(peak, 1.02 * (4.86 + 0.3));
  EXPECT_NEAR(l.run_total(water_flux::outlet_discharge) + l.storage(water_store::surface, ledger_moment::run_end) +
                  l.storage(water_store::channels, ledger_moment::run_end),
              in + l.run_total(water_flux::channel_area_fill), 1e-9 * in);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  std::printf("V-catchment with a structure: peak %.4f m3/s, structure %.4f m3/s at the end\n", peak, ch.qp(1, 2));
}

}  // namespace
}  // namespace nivra
