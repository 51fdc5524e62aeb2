// The channel input file: its header and global cards, the link records,
// the connections, the bed elevations of the computational nodes, the
// trapezoidal sections, Manning's n, and the faults that stop the reading
// with the file and the line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/channel_fixture.h"

namespace nivra {
namespace {

using testing::chain_connects;
using testing::chan_file;
using testing::trapezoid_link;

class ChannelInput : public testing::channel_file_test {};

TEST_F(ChannelInput, TheHeaderBeginsWithNivraChanInAnyCase) {
  for (const char* header : {"NIVRA_CHAN", "nivra_chan_v2", "Nivra_Chan  network of the valley"}) {
    std::string text = chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3));
    text.replace(0, text.find('\n'), header);
    channel_state fresh;
    ch = std::move(fresh);
    ASSERT_TRUE(read(text)) << header << err;
    EXPECT_TRUE(contents.network) << header;
    EXPECT_EQ(ch.num_stream_links, 1) << header;
  }
  // Any other first word: no network, no fault.
  ASSERT_TRUE(read("channel\nALPHA 1\n"));
  EXPECT_FALSE(contents.network);
  EXPECT_FALSE(stopped());
}

TEST_F(ChannelInput, TheGlobalCardsComeFirstInAnyOrder) {
  ASSERT_TRUE(read("nivra_chan\nMAXNODES 4\nDX 5.0\nLINKS 1\nTHETA 0.7\nbeta 0.5\nAlpha 0.25\n" + chain_connects(1) +
                   trapezoid_link(1, 4)))
      << err;
  EXPECT_EQ(ch.chan_alpha, 0.25);
  EXPECT_EQ(ch.chan_beta, 0.5);
  EXPECT_EQ(ch.chan_theta, 0.7);
  EXPECT_EQ(ch.num_stream_links, 1);
  EXPECT_EQ(ch.max_nodes, 4);
  EXPECT_EQ(ch.max_nodes_per_link, 5);
  EXPECT_EQ(ch.link_array_size, 2);
  EXPECT_EQ(ch.link_node_size, 10);

  // Five ALPHA cards end the global block without the network's size.
  EXPECT_FALSE(read("nivra_chan\nALPHA 1\nALPHA 1\nALPHA 1\nALPHA 1\nALPHA 1\nLINKS 1\n"));
  EXPECT_NE(err.find("give no LINKS card"), std::string::npos) << err;
  // The file ends before the fifth.
  EXPECT_FALSE(read("nivra_chan\nALPHA 1\nBETA 1\nLINKS 1\n"));
  EXPECT_NE(out.find("Premature end-of-file in the channel input file."), std::string::npos);
  EXPECT_NE(out.find("Program terminated in read_chan_input."), std::string::npos);
}

TEST_F(ChannelInput, TypeCardsSetTheLinkType) {
  const struct {
    const char* cards;
    int type;
  } cases[] = {
      {"TRAPEZOID", 4},
      {"subsurface_trapezoid", 5},
      {"TRAPEZOID_SUBSURFACE", 5},
      {"Trap_Erode", 6},
      {"TRAPEZOID_ERODE", 6},
      {"TRAPEZOID_SUBSURFACE_ERODE", 7},
      {"SUBSURFACE_TRAP_ERODE", 7},
      {"SUBSURFACE_TRAPEZOID\nSUBSURFACE", 5},
      {"TRAPEZOID\nERODE\nSUBSURFACE", 7},
      {"TRAPEZOID\nOVERBANK", 260},
      {"TRAPEZOID\nOVERBANK\nOVERBANK", 260},
      {"OVERBANK\nTRAPEZOID", 260},
      {"TRAPEZOID\nBACKWATER", 516},
  };
  for (const auto& c : cases) {
    channel_state fresh;
    ch = std::move(fresh);
    const std::string record = "LINK 1\n" + std::string(c.cards) +
                               "\nNODES 2\nDX 10\nMANNINGS_N 0.04\nNODE 1\nELEV 10\nXSEC\nBOTTOM_WIDTH 1\nK_RIVER 0.1\nM_RIVER 1\n"
                               "NODE 2\nELEV 9\n";
    ASSERT_TRUE(read(chan_file(1, 2, chain_connects(1) + record))) << c.cards << err;
    EXPECT_EQ(ch.ltype[1], c.type) << c.cards;
    EXPECT_EQ(ch.ldex[1], 1) << c.cards;
    EXPECT_EQ(ch.overbank_exchange, (c.type & 256) ? 1 : 0) << c.cards;
  }
}

TEST_F(ChannelInput, LinksAndConnections) {
  // Three headwater links join link 4, which flows into the outlet link 5.
  const std::string connects =
      "CONNECT 1 4 0\nCONNECT 2 4 0\nCONNECT 3 4 0\nCONNECT 4 5 3 1 2 3\nCONNECT 5 0 1 4\n";
  std::string records;
  for (int l = 1; l <= 5; ++l) records += trapezoid_link(l, 3 + l % 2, 100.0 - 10 * l);
  ASSERT_TRUE(read(chan_file(5, 6, connects + records))) << err;
  EXPECT_NE(out.find("  max. number of u.s. dependencies:      3\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  number of trapezoidal links:           5\n"), std::string::npos);
  const int down[] = {0, 4, 4, 4, 5, 0};
  const int deps[] = {0, 0, 0, 0, 3, 1};
  for (int l = 1; l <= 5; ++l) {
    EXPECT_EQ(ch.dslink[l], down[l]) << l;
    EXPECT_EQ(ch.ndep[l], deps[l]) << l;
    EXPECT_EQ(ch.nx1[l], 3 + l % 2) << l;
    EXPECT_EQ(ch.nx[l], 2 + l % 2) << l;
    EXPECT_EQ(ch.og_nx1[l], ch.nx[l]) << l;
    EXPECT_EQ(ch.link_dx[l], 10.0) << l;
    EXPECT_DOUBLE_EQ(ch.inv_mannings_n[l], 1.0 / 0.03) << l;
  }
  EXPECT_EQ(ch.uslinks[4][1], 1);
  EXPECT_EQ(ch.uslinks[4][2], 2);
  EXPECT_EQ(ch.uslinks[4][3], 3);
  EXPECT_EQ(ch.uslinks[5][1], 4);
}

TEST_F(ChannelInput, TwentyUpstreamLinksJoinAtOnePointButNotTwentyOne) {
  for (int n : {20, 21}) {
    channel_state fresh;
    ch = std::move(fresh);
    std::string connects, records;
    std::string outlet = "CONNECT " + std::to_string(n + 1) + " 0 " + std::to_string(n);
    for (int l = 1; l <= n; ++l) {
      connects += "CONNECT " + std::to_string(l) + " " + std::to_string(n + 1) + " 0\n";
      outlet.append(" ").append(std::to_string(l));
    }
    for (int l = 1; l <= n + 1; ++l) records += trapezoid_link(l, 2);
    const bool ok = read(chan_file(n + 1, 2, connects + outlet + "\n" + records));
    if (n == 20) {
      ASSERT_TRUE(ok) << err;
      EXPECT_EQ(ch.ndep[21], 20);
      EXPECT_EQ(ch.uslinks[21][20], 20);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_NE(out.find("Whoa there pardner!  You mean to tell me that you have more than 20\n"), std::string::npos);
      EXPECT_NE(out.find("in the read_chan_input subroutine was equal to 21, which is, frankly, a\n"),
                std::string::npos);
      EXPECT_TRUE(stopped());
    }
  }
}

TEST_F(ChannelInput, EveryLinkHasOneConnectCard) {
  EXPECT_FALSE(read(chan_file(2, 3, "CONNECT 1 2 0\n" + trapezoid_link(1, 3) + trapezoid_link(2, 3))));
  EXPECT_NE(out.find("Your channel input file contains 2 links, and 1 CONNECT cards\n"), std::string::npos) << out;
  EXPECT_FALSE(read(chan_file(2, 3, "CONNECT 1 2 0\nCONNECT 1 0 0\n" + trapezoid_link(1, 3) + trapezoid_link(2, 3))));
  EXPECT_NE(err.find("is the second for link 1 (the first is at line 7)"), std::string::npos) << err;
}

TEST_F(ChannelInput, BedsOfTheComputationalNodesLieBetweenTheNodePoints) {
  ASSERT_TRUE(read(chan_file(1, 4,
                             chain_connects(1) +
                                 "LINK 1\nTRAPEZOID\nNODES 4\nDX 25\nMANNINGS_N 0.035\nNODE 1\nELEV 10\nXSEC\n"
                                 "BOTTOM_WIDTH 3\nSIDE_SLOPE 2\nBANKFULL_DEPTH 1.5\nNODE 2\nELEV 9\nNODE 3\nELEV 8\n"
                                 "NODE 4\nELEV 7\n")))
      << err;
  EXPECT_EQ(ch.nx[1], 3);
  const double beds[] = {9.5, 8.5, 7.5};
  for (int k = 1; k <= 3; ++k) {
    EXPECT_DOUBLE_EQ(ch.bel(k, 1), beds[k - 1]) << k;
    EXPECT_EQ(ch.yp(k, 1), ch.bel(k, 1)) << k;
    EXPECT_EQ(ch.qp(k, 1), 0.0) << k;
  }
}

TEST_F(ChannelInput, ATrapezoidalLinkHasTheSectionOfItsLastXsecNode) {
  std::string record = "LINK 1\nTRAPEZOID_ERODE\nNODES 6\nDX 10\nMANNINGS_N 0.03\n";
  for (int k = 1; k <= 6; ++k) record += "NODE " + std::to_string(k) + "\nELEV " + std::to_string(20 - k) + "\n";
  record += "NODE 2\nXSEC\nBOTTOM_WIDTH 2\nSIDE_SLOPE 1\nBANKFULL_DEPTH 0.5\nMAX_EROSION 0.2\n";
  record += "NODE 5\nXSEC\nBOTTOM_WIDTH 4\nSIDE_SLOPE 3\nBANKFULL_DEPTH 1.25\nMAX_EROSION 0.4\nX_Y 500.5 -20.25\n";
  ASSERT_TRUE(read(chan_file(1, 6, chain_connects(1) + record))) << err;
  for (int k = 1; k <= 6; ++k) {
    EXPECT_EQ(ch.bottom(k, 1), 4.0) << k;
    EXPECT_EQ(ch.sslope(k, 1), 3.0) << k;
    EXPECT_EQ(ch.bankfull_dep(k, 1), 1.25) << k;
    EXPECT_EQ(ch.max_eros(k, 1), 0.4) << k;
  }
  EXPECT_EQ(ch.lnx(5, 1), 500.5);
  EXPECT_EQ(ch.lny(5, 1), -20.25);
  // The section of node point 2 is read and not used: the run says so.
  EXPECT_NE(out.find("Warning: link 1 of the channel input file net.cif gives section values at node point 2; a "
                     "trapezoidal link takes the one section of its last XSEC node point, 5, and does not use them.\n"),
            std::string::npos)
      << out;

  // Without an XSEC card the link has no section.
  channel_state fresh;
  ch = std::move(fresh);
  EXPECT_FALSE(read(chan_file(1, 3, chain_connects(1) + "LINK 1\nTRAPEZOID\nNODES 3\nDX 10\nMANNINGS_N 0.03\n")));
  EXPECT_NE(out.find("Error: Cross section parameters not found for link 1.\n"), std::string::npos);
}

TEST_F(ChannelInput, ManningsNOfEveryChannelLink) {
  auto record = [](const char* manning) {
    return chain_connects(1) + "LINK 1\nTRAPEZOID\nNODES 2\nDX 10\n" + manning +
           "NODE 1\nELEV 10\nXSEC\nBOTTOM_WIDTH 1\nNODE 2\nELEV 9\n";
  };
  ASSERT_TRUE(read(chan_file(1, 2, record("MANNINGS_N 1e-8\n")))) << err;
  EXPECT_DOUBLE_EQ(ch.inv_mannings_n[1], 1e8);

  EXPECT_FALSE(read(chan_file(1, 2, record("MANNINGS_N 0.0\n"))));
  EXPECT_NE(out.find("Error encountered when reading the channel input file, link 1:\n"
                     "    Manning's Roughness is 0.000\n"),
            std::string::npos);
  EXPECT_FALSE(read(chan_file(1, 2, record("MANNINGS_N -0.03\n"))));
  EXPECT_NE(out.find("Manning's Roughness is 0.000"), std::string::npos);
  EXPECT_FALSE(read(chan_file(1, 2, record("MANNINGS_N 40\n"))));
  EXPECT_NE(err.find("MANNINGS_N card at line 12 of the channel input file net.cif gives a Manning's n above 10"),
            std::string::npos)
      << err;
  EXPECT_FALSE(read(chan_file(1, 2, record("MANNINGS_N nan\n"))));
  EXPECT_NE(err.find("MANNINGS_N card at line 12 of net.cif gives Manning's n \"nan\""), std::string::npos) << err;
  // A channel without its n would convey water without friction.
  EXPECT_FALSE(read(chan_file(1, 2, record(""))));
  EXPECT_NE(err.find("link 1 of the channel input file net.cif is a channel without a MANNINGS_N card"),
            std::string::npos)
      << err;
}

TEST_F(ChannelInput, LakeAndStructureLinksCarryNoManningsNAndKeepTheBedOfTheirLastNode) {
  const std::string connects = "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n";
  const std::string records = trapezoid_link(1, 3, 100.0) +
                              "LINK 2\nLAKE\nINITWSE 95.5\nNUMPTS 1\n1 1\nNODES 3\nNODE 1\nELEV 96\nNODE 2\nELEV 95\n"
                              "NODE 3\nELEV 90\n" +
                              "LINK 3\nSTRUCTURE\nNODE 1\nELEV 89\nNODE 2\nELEV 88\n" +
                              "NUMSTRUCTS 1\nSTRUCTTYPE weir\nCREST_LENGTH 5\nDISCHARGE_COEFF_FORWARD 1\n";
  ASSERT_TRUE(read(chan_file(3, 3, connects + records))) << err;
  EXPECT_EQ(contents.lake_links, 1);
  EXPECT_EQ(contents.structure_links, 1);
  EXPECT_EQ(lakes.chan_lakes, 1);
  EXPECT_EQ(ch.ltype[2], 32);
  EXPECT_EQ(ch.ldex[2], 1);  // the first lake
  EXPECT_EQ(ch.ltype[3], 64);
  EXPECT_EQ(ch.nx1[3], 2);
  EXPECT_EQ(ch.inv_mannings_n[2], 0.0);
  EXPECT_EQ(ch.inv_mannings_n[3], 0.0);
  // Their nodes are node points: the last keeps its own bed.
  EXPECT_EQ(ch.nx[2], 3);
  EXPECT_DOUBLE_EQ(ch.bel(1, 2), 95.5);
  EXPECT_DOUBLE_EQ(ch.bel(2, 2), 92.5);
  EXPECT_DOUBLE_EQ(ch.bel(3, 2), 90.0);
  EXPECT_EQ(ch.nx[3], 2);
  EXPECT_DOUBLE_EQ(ch.bel(1, 3), 88.5);
  EXPECT_DOUBLE_EQ(ch.bel(2, 3), 88.0);
}

TEST_F(ChannelInput, CardWordsInAnyCaseButNotWithACommaAttached) {
  std::string record = trapezoid_link(1, 3);
  // "link," is no card: the record still belongs to link 1.
  ASSERT_TRUE(read(chan_file(2, 3, chain_connects(2) + record + "link,2\n" + trapezoid_link(2, 3, 50.0))));
  EXPECT_EQ(ch.ltype[2], 4);
  EXPECT_DOUBLE_EQ(ch.bel(1, 2), 49.5);
  channel_state fresh;
  ch = std::move(fresh);
  EXPECT_FALSE(read(chan_file(2, 3, chain_connects(2) + record + "LINK, 2\n" + "TRAPEZOID\n")));
}

TEST_F(ChannelInput, LinkRecordsFollowTheLastConnectCard) {
  // A record before the last CONNECT card would lose its node data.
  EXPECT_FALSE(read(chan_file(2, 3, "CONNECT 1 2 0\n" + trapezoid_link(1, 3) + "CONNECT 2 0 1 1\n" +
                                        trapezoid_link(2, 3))));
  EXPECT_NE(err.find("the CONNECT card at line 24 of the channel input file net.cif follows the link records"),
            std::string::npos)
      << err;
  // Link cards need their LINK card.
  EXPECT_FALSE(read(chan_file(1, 3, chain_connects(1) + "NODES 3\n" + trapezoid_link(1, 3))));
  EXPECT_NE(err.find("the NODES card at line 8 of the channel input file net.cif comes before the first LINK card"),
            std::string::npos)
      << err;
  // The global cards stay at the top.
  EXPECT_FALSE(read(chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3) + "LINKS 4\n")));
  EXPECT_NE(err.find("belongs among the first five cards"), std::string::npos) << err;
}

// Every number that names a link, node or count is checked where it is read:
// a bad one stops the reading naming the card, the file and the line.
TEST_F(ChannelInput, BadNumbersStopTheReadingAtTheirLine) {
  const struct {
    std::string file;
    const char* message;
  } cases[] = {
      {chan_file(1, 3, "CONNECT 2 0 0\n" + trapezoid_link(1, 3)),
       "the CONNECT card at line 7 of net.cif gives the link \"2\"; it takes a whole number from 1 to 1."},
      {chan_file(1, 3, "CONNECT 1 5 0\n" + trapezoid_link(1, 3)), "gives the downstream link \"5\""},
      {chan_file(2, 3, "CONNECT 1 2 0\nCONNECT 2 0 1 9\n" + trapezoid_link(1, 3) + trapezoid_link(2, 3)),
       "the CONNECT card at line 8 of net.cif gives an upstream link \"9\""},
      {chan_file(2, 3, "CONNECT 1 2 0\nCONNECT 2 0 2 1\n" + trapezoid_link(1, 3) + trapezoid_link(2, 3)),
       "the CONNECT card at line 8 of net.cif gives an upstream link no value"},
      {chan_file(1, 3, "CONNECT 1 1 0\n" + trapezoid_link(1, 3)), "makes a link flow into itself"},
      {chan_file(1, 3, chain_connects(1) + "LINK 2\n"), "the LINK card at line 8 of net.cif gives the link \"2\""},
      {chan_file(1, 3, chain_connects(1) + "LINK 1.5\n"), "gives the link \"1.5\""},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3) + "LINK 1\n"), "opens a second record"},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 4)),
       "the NODES card at line 10 of net.cif gives the number of node points \"4\"; it takes a whole number from 1 "
       "to 3."},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3) + "NODE 0\n"), "gives the node point \"0\""},
      {chan_file(1, 4, chain_connects(1) + trapezoid_link(1, 3) + "NODE 4\nELEV 3\n"),
       "link 1 of the channel input file net.cif has 3 node points (NODES) but cards for node point 4."},
      {chan_file(1, 3, chain_connects(1) + "LINK 1\nTRAPEZOID\nNODES 3\nMANNINGS_N 0.03\nELEV 5\n"),
       "the ELEV card at line 12 of the channel input file net.cif comes before any NODE card"},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3) + "NODE 2\nELEV 1e9\n"),
       "gives the bed elevation \"1e9\"; it takes a number from -11000 to 9000 (m)."},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3) + "NODE 2\nBOTTOM_WIDTH -1\n"),
       "gives the bottom width \"-1\""},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3, 100.0, "DX inf\n")), "gives the node spacing \"inf\""},
      {chan_file(1, 3, chain_connects(1) + "LINK 1\nNODES 3\nMANNINGS_N 0.03\n"), "link 1 of the channel input "
                                                                                   "file net.cif has no type card"},
      {chan_file(1, 3, chain_connects(1) + "LINK 1\nTRAPEZOID\nNODES 1\nMANNINGS_N 0.03\nNODE 1\nXSEC\n"),
       "needs NODES of at least 2"},
      {chan_file(1, 3, chain_connects(1) + "LINK 1\nTRAPEZOID\nNODES 3\nMANNINGS_N 0.03\nNODE 1\nXSEC\n"),
       "has a trapezoid of no width"},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3) + "NPAIRS 2\n"), "belongs to a break-point link"},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3, 100.0, "GW_BED_THICKNESS 0\n")),
       "gives the stream-bed thickness \"0\""},
      // A node point without its bed, or with two.
      {chan_file(1, 3,
                 chain_connects(1) + "LINK 1\nTRAPEZOID\nNODES 3\nMANNINGS_N 0.03\nNODE 1\nELEV 10\nXSEC\n"
                                     "BOTTOM_WIDTH 2\nNODE 2\nX_Y 5 5\nNODE 3\nELEV 9\n"),
       "Error: link 1 of the channel input file net.cif has no ELEV card for node point 2: every node point 1 to 3 "
       "(NODES) takes its bed elevation (m, -11000 to 9000).\n"},
      {chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3) + "NODE 2\nELEV 98.5\n"),
       "Error: the ELEV card at line 25 of the channel input file net.cif is the second for node point 2 of link 1 "
       "(the first is at line 16).\n"},
  };
  for (const auto& c : cases) {
    channel_state fresh;
    ch = std::move(fresh);
    process.error_block = error_state{};
    EXPECT_FALSE(read(c.file)) << c.message;
    EXPECT_TRUE(stopped()) << c.message;
    EXPECT_NE((out + err).find(c.message), std::string::npos) << c.message << "\n" << out << err;
  }
}

// A card line holds its word and its values only, and a link that gives
// node cards gives every node point its NODES count announces: each fault
// stops the reading, naming the card or the link, the file and the line.
TEST_F(ChannelInput, StrayTokensAndMissingNodePointsStopTheReading) {
  const std::string link = chain_connects(1) + trapezoid_link(1, 3);
  auto with = [&](const std::string& from, const std::string& to) {
    std::string text = chan_file(1, 3, link);
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  // A lake link of its own network, with node cards for its two node points.
  auto lake = [](const std::string& nodes, const std::string& rest) {
    return chan_file(1, 5, "CONNECT 1 0 0\nLINK 1\nLAKE\nNODES " + nodes +
                               "\nNODE 1\nELEV 14\nNODE 2\nELEV 14\nINITWSE 14.5\n" + rest);
  };
  const struct {
    std::string file;
    const char* message;
  } cases[] = {
      {with("ALPHA 1.0\n", "ALPHA 1.0 0.5\n"),
       "Error: the ALPHA card at line 2 of the channel input file net.cif holds \"0.5\" after its values; the line "
       "holds the card's word and its values only.\n"},
      {with("CONNECT 1 0 0\n", "CONNECT 1 0 0 1\n"), "the CONNECT card at line 7 of the channel input file net.cif "
                                                      "holds \"1\" after its values"},
      {with("LINK 1\n", "LINK 1 first\n"), "the LINK card at line 8 of the channel input file net.cif holds \"first\""},
      {with("TRAPEZOID\n", "TRAPEZOID wide\n"), "the TRAPEZOID card at line 9 of the channel input file net.cif "
                                                 "holds \"wide\""},
      {with("DX 10.0\n", "DX 10.0 m\n"), "the DX card at line 11 of the channel input file net.cif holds \"m\""},
      {with("ELEV 99.000000\n", "ELEV 99.000000 5\n"), "the ELEV card at line 16 of the channel input file net.cif "
                                                       "holds \"5\""},
      {with("XSEC\n", "XSEC 2\n"), "the XSEC card at line 20 of the channel input file net.cif holds \"2\""},
      {with("SIDE_SLOPE 1.5\n", "SIDE_SLOPE 1.5,2\n"), "the SIDE_SLOPE card at line 22 of the channel input file "
                                                       "net.cif holds \"2\""},
      {lake("2", "INITWSE 14.5 15\nNUMPTS 2\n1 1 1 2\n"),
       "the INITWSE card at line 16 of the channel input file net.cif holds \"15\""},
      {lake("2", "NUMPTS 2 3\n1 1 1 2\n"), "the NUMPTS card at line 16 of the channel input file net.cif holds \"3\""},
      {lake("2", "NUMPTS 2\n1 1 1 2 7\n"),
       "Error: line 17 of the channel input file net.cif holds \"7\" after the values of its row.\n"},
      {lake("2", "NUMPTS 2\n1 1 1 2\nNUMRATE 2\n14 0 100\n15 100 100 3\n"),
       "Error: line 20 of the channel input file net.cif holds \"3\" after the values of its row.\n"},
      {lake("5", "NUMPTS 2\n1 1 1 2\n"),
       "Error: link 1 of the channel input file net.cif has no ELEV card for node point 3: every node point 1 to 5 "
       "(NODES) takes its bed elevation (m, -11000 to 9000).\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    channel_state fresh;
    ch = std::move(fresh);
    lake_state no_lakes;
    lakes = std::move(no_lakes);
    process.error_block = error_state{};
    EXPECT_FALSE(read(c.file));
    EXPECT_TRUE(stopped());
    EXPECT_NE((out + err).find(c.message), std::string::npos) << out << err;
  }
  // The same lake with its two node points and clean lines is read.
  channel_state fresh;
  ch = std::move(fresh);
  lake_state no_lakes;
  lakes = std::move(no_lakes);
  process.error_block = error_state{};
  EXPECT_TRUE(read(lake("2", "NUMPTS 2\n1 1 1 2\nNUMRATE 2\n14 0 100\n15 100 100\n"))) << err;
}

TEST_F(ChannelInput, StructureElementsMatchTheirCount) {
  const std::string connects = "CONNECT 1 2 0\nCONNECT 2 0 1 1\n";
  const std::string structure =
      "LINK 2\nSTRUCTURE\nNUMSTRUCTS 2\nSTRUCTTYPE WEIR\nCREST_LENGTH 5\nDISCHARGE_COEFF_FORWARD 1\n"
      "STRUCTTYPE round_culvert\nDIAMETER 1\nLENGTH 20\nROUGH_COEFF 0.013\nINLET_DISCH_COEFF 0.8\n";
  ASSERT_TRUE(read(chan_file(2, 3, connects + trapezoid_link(1, 3) + structure))) << err;
  EXPECT_NE(out.find("    total no. of hydr. structure elements: 2\n"), std::string::npos) << out;
  channel_state fresh;
  ch = std::move(fresh);
  EXPECT_FALSE(read(chan_file(2, 3, connects + trapezoid_link(1, 3) + structure + "STRUCTTYPE weir\n")));
  EXPECT_NE(out.find("\nThe sum of NUMSTRUCTS arguments is 2, while the total number\n"), std::string::npos);
  EXPECT_NE(out.find("etc.) is 3.  This inconstency is intolerable.  Check your channel\n"), std::string::npos);
}

TEST_F(ChannelInput, StreamBedParametersWithStreamLoss) {
  ch.stream_loss = 1;
  ch.k_river = 0.5;
  ch.m_river = 2.0;
  const std::string connects = "CONNECT 1 2 0\nCONNECT 2 0 1 1\n";
  ASSERT_TRUE(read(chan_file(2, 3,
                             connects +
                                 trapezoid_link(1, 3, 100.0, "SUBSURFACE\nGW_BED_CONDUCTIVITY 0.1\nGW_BED_THICKNESS 0.3\n") +
                                 trapezoid_link(2, 3, 90.0))))
      << err;
  EXPECT_EQ(ch.ltype[1], 5);
  EXPECT_EQ(ch.Krb(2, 1), 0.1);
  EXPECT_EQ(ch.Mrb(2, 1), 0.3);
  EXPECT_EQ(ch.Krb(2, 2), 0.5);
  EXPECT_EQ(ch.Mrb(2, 2), 2.0);
  EXPECT_NE(out.find("  number of groundwater links:           1\n"), std::string::npos);
  EXPECT_EQ(out.find("===> Error"), std::string::npos);
}

// Coefficients the file may carry but no process takes from it: each is
// named with its line, and the link reads as without it.
TEST_F(ChannelInput, DroppedLinkCoefficientsSayTheyAreIgnored) {
  for (const char* card : {"DISPERSION_COEFF 0.5", "DECAY_COEFF 0.01", "NUM_OUTLETS 1"}) {
    SCOPED_TRACE(card);
    channel_state fresh;
    ch = std::move(fresh);
    const std::string text = chan_file(1, 3, chain_connects(1) + trapezoid_link(1, 3, 100.0, std::string(card) + "\n"));
    ASSERT_TRUE(read(text)) << err;
    const std::string word = std::string(card).substr(0, std::string(card).find(' '));
    const std::size_t at = out.find("Warning: the " + word + " card at line ");
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_NE(out.find("has no effect in this version of NIVRA; it is ignored.\n", at), std::string::npos) << out;
    EXPECT_EQ(ch.num_stream_links, 1);
    EXPECT_FALSE(stopped());
  }
}

}  // namespace
}  // namespace nivra
