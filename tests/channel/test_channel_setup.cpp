// The set-up of the channel network in a run: the V-shaped valley reads and
// sets up, the run stops where it would first route the channel, the
// channel hotstart reads back what the end of a run wrote, the output
// locations, the diagnostic files, and the parts of a channel file whose
// processes come later.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "channel/channel_setup.h"
#include "channel/channel_state.h"
#include "quality/constituent_state.h"
#include "core/errors.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "output/end_of_run.h"
#include "output/output_state.h"
#include "run/driver.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::read_file;
using testing::set_card;
using testing::write_file;

class ChannelSetup : public testing::process_test {
 protected:
  void SetUp() override {
    testing::process_test::SetUp();
    testing::copy_example("vcatch");
  }
  // The example's set-up on a fresh record; keeps the console.
  std::unique_ptr<model_state> set_up(bool expect_ok = true) {
    auto ms = make_model_state();
    process.error_block = error_state{};
    CaptureStdout();
    CaptureStderr();
    const bool ok = set_up_run(*ms, "vcatch.prj", nullptr);
    out = GetCapturedStdout();
    err = GetCapturedStderr();
    EXPECT_EQ(ok, expect_ok) << out << err;
    return ms;
  }
  std::string out, err;
};

TEST_F(ChannelSetup, TheValleyReadsAndSetsUpItsNetwork) {
  auto ms = set_up();
  const channel_state& ch = ms->channel;
  ASSERT_EQ(ch.num_stream_links, 2);
  EXPECT_EQ(ch.dslink[1], 2);
  EXPECT_EQ(ch.dslink[2], 0);
  EXPECT_EQ(ch.uslinks[2][1], 1);
  EXPECT_EQ(ch.num_headwater_links, 1);
  EXPECT_EQ(ch.chan_section_mode, 2);
  for (int link = 1; link <= 2; ++link) {
    EXPECT_EQ(ch.nx[link], 25);
    for (int node = 1; node <= 25; ++node) {
      // Each node sits 1 m under the bank of its cell: the channel falls
      // 2 % over its 20 m cells to the outlet row.
      const int row = node + 25 * (link - 1);
      const int cell = ms->grid.mask[row][41];
      EXPECT_NEAR(ch.bel(node, link), ms->grid.elevation[cell] - 1.0, 1e-9) << link << " " << node;
      EXPECT_EQ(ch.yp(node, link), ch.bel(node, link));
      EXPECT_EQ(ch.bottom(node, link), 20.0);
      EXPECT_DOUBLE_EQ(ch.inv_mannings_n[link], 1.0 / 0.15);
    }
  }
  EXPECT_EQ(ch.gst_num_cells, 50);
  EXPECT_EQ(ch.gst_qlat.rows(), 50);
  EXPECT_EQ(ch.chan_depth.rows(), ch.max_nodes_per_link);
  EXPECT_EQ(ch.area.cols(), ch.link_array_size);
  EXPECT_EQ(ch.qlat.cols(), ch.link_array_size);
  EXPECT_TRUE(ch.qriv.empty());
  EXPECT_NE(out.find("reading channel input data from file vcatch.cif\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Setting up the grid-stream data... done.\n"), std::string::npos);
  EXPECT_EQ(read_file("short_links.out"), "Links with 1 node:\n");
  EXPECT_EQ(read_file("bad_thalweg.out"),
            "Problem    link    node    thalweg     cell    elev\n"
            "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= difference<1.0, 3=difference>3.5\n");
}

// The state of every node: depth and discharge (some flowing upstream).
double depth_of(int link, int node) { return 0.01 * node + 0.3 * link + 1.0 / 7.0; }
double flow_of(int link, int node) { return 0.1 * node * link - 0.55 + 1.0 / 3.0; }

TEST_F(ChannelSetup, AHotstartWrittenAtTheEndReadsBackTheSameDepthsAndFlows) {
  set_card("vcatch.prj", "WRITE_CHAN_HOTSTART", "WRITE_CHAN_HOTSTART saved");
  {
    auto ms = set_up();
    channel_state& ch = ms->channel;
    for (int link = 1; link <= 2; ++link)
      for (int node = 1; node <= ch.nx[link]; ++node) {
        ch.yp(node, link) = ch.bel(node, link) + depth_of(link, node);
        ch.qp(node, link) = flow_of(link, node);
      }
    write_end_of_run_files(*ms);
  }
  set_card("vcatch.prj", "WRITE_CHAN_HOTSTART", "READ_CHAN_HOTSTART saved");
  auto ms = set_up();
  const channel_state& ch = ms->channel;
  EXPECT_EQ(ch.chan_has_water, 1);
  for (int link = 1; link <= 2; ++link)
    for (int node = 1; node <= ch.nx[link]; ++node) {
      // Written with six decimals.
      EXPECT_NEAR(ch.chan_depth(node, link), depth_of(link, node), 1e-6) << link << " " << node;
      EXPECT_NEAR(ch.yp(node, link) - ch.bel(node, link), depth_of(link, node), 1e-6) << link << " " << node;
      EXPECT_NEAR(ch.qp(node, link), flow_of(link, node), 5e-7) << link << " " << node;
    }
}

class ChannelHotstart : public ChannelSetup {
 protected:
  // The valley set up, then the hotstart read from the two texts.
  bool read(const std::string& levels, const std::string& flows, bool depths = false) {
    if (!ms) ms = set_up();
    process.error_block = error_state{};
    channel_state& ch = ms->channel;
    ch.hotstart_is_depth = depths;
    write_file("h.dht", levels);
    write_file("h.qht", flows);
    EXPECT_TRUE(open_guarded_file(ch.chan_hotstart_in_file, "h.dht", "r"));
    EXPECT_TRUE(open_guarded_file(ch.chan_discharge_in_file, "h.qht", "r"));
    CaptureStdout();
    CaptureStderr();
    const bool ok = read_channel_initial_depths(ch);
    out = GetCapturedStdout();
    err = GetCapturedStderr();
    close_guarded_file(ch.chan_hotstart_in_file);
    close_guarded_file(ch.chan_discharge_in_file);
    return ok;
  }
  // Lines "node link value" for every node, the value from f.
  template <class F>
  std::string lines(F f, int skip_link = 0, int skip_node = 0) {
    std::string s;
    char buf[128];
    for (int link = 1; link <= 2; ++link)
      for (int node = 1; node <= 25; ++node) {
        if (link == skip_link && node == skip_node) continue;
        std::snprintf(buf, sizeof buf, "%d %d %.6f \n", node, link, f(link, node));
        s += buf;
      }
    return s;
  }
  std::unique_ptr<model_state> ms;
};

TEST_F(ChannelHotstart, DepthsOrWaterSurfacesAndAWaterSurfaceBelowTheBed) {
  auto surface = [this](int link, int node) {
    const double bed = ms->channel.bel(node, link);
    return link == 2 && node == 3 ? bed - 0.5 : bed + 0.25;
  };
  ms = set_up();
  ASSERT_TRUE(read(lines(surface), lines([](int, int) { return 1.5; }))) << err;
  const channel_state& ch = ms->channel;
  EXPECT_NEAR(ch.chan_depth(1, 1), 0.25, 1e-6);
  // Below the bed: dry at the bed.
  EXPECT_EQ(ch.chan_depth(3, 2), 0.0);
  EXPECT_EQ(ch.yp(3, 2), ch.bel(3, 2));
  EXPECT_EQ(ch.qp(3, 2), 1.5);

  // With HOTSTART_IS_DEPTH the first file gives depths, and an area may follow.
  std::string depths = lines([](int, int node) { return 0.01 * node; });
  depths.replace(0, depths.find('\n'), "1 1 0.75 12.5");
  ASSERT_TRUE(read(depths, lines([](int, int) { return 0.0; }), true)) << err;
  EXPECT_NEAR(ch.yp(1, 1) - ch.bel(1, 1), 0.75, 1e-12);
  EXPECT_EQ(ch.area(1, 1), 12.5);
  EXPECT_NEAR(ch.chan_depth(7, 2), 0.07, 1e-12);
}

TEST_F(ChannelHotstart, EveryNodeOnceAndNothingElse) {
  ms = set_up();
  auto zero = [](int, int) { return 0.0; };
  auto level = [this](int link, int node) { return ms->channel.bel(node, link); };
  const struct {
    std::string levels, flows;
    const char* message;
  } cases[] = {
      {lines(level, 2, 7), lines(zero), "h.dht has no line for node 7 of link 2."},
      {lines(level), lines(zero, 1, 25), "h.qht has no line for node 25 of link 1."},
      {lines(level) + "3 1 30.0\n", lines(zero), "line 51 of the channel hotstart h.dht gives node 3 of link 1 a "
                                                 "second time."},
      {lines(level) + "26 1 30.0\n", lines(zero), "line 51 of the channel hotstart h.dht names node 26 of link 1, "
                                                  "which is no computational node of a channel link."},
      {lines(level) + "1 3 30.0\n", lines(zero), "line 51 of h.dht gives the link \"3\"; it takes a whole number "
                                                 "from 1 to 2."},
      {"1 1 nan\n", lines(zero), "line 1 of h.dht gives the water-surface elevation \"nan\""},
      {lines(level), "1 1 0.5 9\n", "line 1 of the channel hotstart h.qht holds more values than it takes."},
      {lines(level), "1 1\n", "line 1 of h.qht gives the discharge no value"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(read(c.levels, c.flows)) << c.message;
    EXPECT_TRUE(process.error_block.stop) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << c.message << "\n" << err;
  }
}

TEST_F(ChannelSetup, HydrographLocationsAreChannelNodes) {
  write_file("loc.txt", "2\n1 4\n2 6\n");
  set_card("vcatch.prj", "IN_HYD_LOCATION", "IN_HYD_LOCATION loc.txt");
  set_card("vcatch.prj", "OUT_HYD_LOCATION", "OUT_HYD_LOCATION loc.otl");
  {
    auto ms = set_up();
    ASSERT_EQ(ms->output.num_hyd_locations, 2);
    EXPECT_EQ(ms->output.hlink[1], 1);
    EXPECT_EQ(ms->output.hnode[1], 4);
    EXPECT_EQ(ms->output.hlink[2], 2);
    EXPECT_EQ(ms->output.hnode[2], 6);
    std::fflush(ms->output.out_hyd_location_file.fp);
    EXPECT_EQ(read_file("loc.otl"), "2\nlink 1 node 4\nlink 2 node 6\n");
  }
  write_file("loc.txt", "3\n1 4\n2 6\n");
  set_up(false);
  EXPECT_NE(out.find("End of file reached in file loc.txt, exiting\n"), std::string::npos) << out;
  write_file("loc.txt", "1\n1 4\n2 6\n");
  set_up(false);
  EXPECT_NE(out.find("Error: line 3 of file loc.txt holds more than the 1 locations its first value counts\n"),
            std::string::npos)
      << out;
  write_file("loc.txt", "1\n2 26\n");
  set_up(false);
  EXPECT_NE(out.find("Error: line 2 of file loc.txt names node 26 of link 2, which is no computational node of a "
                     "channel link"),
            std::string::npos)
      << out;
}

TEST_F(ChannelSetup, CellLocationsAreWatershedCells) {
  write_file("cells.txt", "2\n1 1\n50 41\n");
  set_card("vcatch.prj", "IN_CELLDEPDIS_LOCATION", "IN_CELLDEPDIS_LOCATION cells.txt");
  set_card("vcatch.prj", "OUT_CELLDEPDIS_LOCATION", "OUT_CELLDEPDIS_LOCATION cells.otl");
  auto ms = set_up();
  ASSERT_EQ(ms->output.num_cell_locations, 2);
  EXPECT_EQ(ms->output.gnumlocater[1], 1);
  EXPECT_EQ(ms->output.gnumlocater[2], 49 * 81 + 41);
  EXPECT_NE(out.find("cell location 2: row 50, column 41 is cell 4010\n"), std::string::npos);
  write_file("cells.txt", "1\n51 1\n");
  set_up(false);
  EXPECT_NE(out.find("Error: row 51, column 1 at line 2 of file cells.txt is no cell of the watershed"),
            std::string::npos);
}

TEST_F(ChannelSetup, PartsOfTheNetworkWhoseProcessesComeLaterStopTheRun) {
  const std::string network = read_file("vcatch.cif");
  const std::string link2 = "\nLINK 2\n";
  const std::string head = network.substr(0, network.find(link2));
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {head + link2 + "LAKE\nINITWSE 30\nNUMPTS 1\n50 41\nNODES 3\n",
       "Error: in the channel input file vcatch.cif the lake link 2 is the outlet: a lake lets its water out "
       "through a structure link below it"},
      {"CHANNEL" + network.substr(10), "Error: the channel input file vcatch.cif does not begin with nivra_chan: it "
                                       "holds no channel network"},
  };
  for (const auto& c : cases) {
    write_file("vcatch.cif", c.text);
    set_up(false);
    EXPECT_NE(out.find(c.message), std::string::npos) << c.message << "\n" << out << err;
  }
  write_file("vcatch.cif", network);
  // Channel constituents carry the one contaminant of the uniform cards:
  // every node of the network gets its row.
  testing::copy_example("vcatch");
  set_card("vcatch.prj", "CHAN_CON_TRANS", "CHAN_CON_TRANS");
  auto ms = set_up();
  EXPECT_EQ(ms->constituent.num_constituents, 1);
  ASSERT_TRUE(ms->constituent.chan_wq);
  EXPECT_EQ(ms->constituent.chan_conc.row_length(), ms->channel.link_node_size);
}

TEST_F(ChannelSetup, DiagnosticFilesNameShortLinksAndBedsAboveTheGround) {
  auto ms = set_up();
  channel_state& ch = ms->channel;
  ch.nx[2] = 1;
  ch.bel(4, 1) = 100.25;
  ASSERT_TRUE(write_short_links(ch));
  ASSERT_TRUE(write_bad_thalweg(ch, ms->grid));
  EXPECT_EQ(read_file("short_links.out"), "Links with 1 node:\n2\n");
  const int cell = ms->grid.mask[4][41];
  char line[160];
  std::snprintf(line, sizeof line, "0        1       4   100.250000   %d   %lf\n", cell, ms->grid.elevation[cell]);
  EXPECT_NE(read_file("bad_thalweg.out").find(line), std::string::npos) << read_file("bad_thalweg.out");
}

TEST_F(ChannelSetup, WaterAboveBanksThatCannotSpillIsWarnedOfOncePerNodeAndEvent) {
  auto ms = set_up();
  channel_state& ch = ms->channel;
  auto raise = [&](int node, int link, double above) {
    ch.yp(node, link) = ch.bel(node, link) + ch.bankfull_dep(node, link) + above;
  };
  auto warnings = [&] {
    CaptureStdout();
    warn_above_banks(ch, 1, 42.5);
    return GetCapturedStdout();
  };
  struct bank_case {
    const char* what;
    int overbank_flow, link_overbank;
    double above;
    int warned;
  } cases[] = {
      {"water 0.5 m above the banks, no spilling", 0, 0, 0.5, 1},
      {"water level with the banks", 0, 0, 0.0, 0},
      {"water above the banks with OVERBANK_FLOW", 1, 0, 0.5, 0},
      {"water above the banks of a link with OVERBANK", 0, link_type::overbank, 0.5, 0},
  };
  for (const bank_case& c : cases) {
    SCOPED_TRACE(c.what);
    start_channel_event(*ms);  // a dry network, every warning of the event cleared
    ch.overbank_flow = c.overbank_flow;
    ch.ltype[1] = (ch.ltype[1] & ~link_type::overbank) | c.link_overbank;
    raise(3, 1, c.above);
    const std::string first = warnings();
    EXPECT_EQ(ch.above_bank_nodes, c.warned);
    if (c.warned) {
      char line[300];
      std::snprintf(line, sizeof line,
                    "Warning: event 1 at 42.50 min: node 3 of channel link 1 holds %.3f m of water, above its bank "
                    "height of %.3f m;",
                    ch.bankfull_dep(3, 1) + 0.5, ch.bankfull_dep(3, 1));
      EXPECT_EQ(first.find(line), 0u) << first;
    } else {
      EXPECT_EQ(first, "");
    }
    // The same node again, higher: no second warning this event.
    raise(3, 1, c.above > 0.0 ? c.above + 1.0 : 0.0);
    EXPECT_EQ(warnings(), "");
    EXPECT_EQ(ch.above_bank_nodes, c.warned);
  }
  // A second node of the event is warned of and counted.
  start_channel_event(*ms);
  ch.overbank_flow = 0;
  ch.ltype[1] &= ~link_type::overbank;
  raise(3, 1, 0.1);
  raise(5, 1, 0.2);
  const std::string both = warnings();
  EXPECT_NE(both.find("node 3 of channel link 1"), std::string::npos) << both;
  EXPECT_NE(both.find("node 5 of channel link 1"), std::string::npos) << both;
  EXPECT_EQ(ch.above_bank_nodes, 2);
}

TEST_F(ChannelSetup, AnOutletCellOffTheChannelIsWarnedOf) {
  auto ms = set_up();
  grid_state& g = ms->grid;
  const channel_state& ch = ms->channel;
  const int on_channel = ch.gst_gnum[1][1];
  struct outlet_case {
    const char* what;
    int row, col;
    bool warned;
  } cases[] = {
      {"a cell the channel crosses", g.cell_row[on_channel], g.cell_col[on_channel], false},
      {"a cell beside the channel", g.cell_row[on_channel], g.cell_col[on_channel] - 5, true},
      {"no OUTROW and OUTCOL", 0, 0, false},
  };
  for (const outlet_case& c : cases) {
    SCOPED_TRACE(c.what);
    g.outrow = c.row;
    g.outcol = c.col;
    g.outlet_cell = c.row >= 1 ? g.mask[c.row][c.col] : 0;
    CaptureStdout();
    warn_outlet_off_channel(ch, g);
    const std::string said = GetCapturedStdout();
    char line[200];
    std::snprintf(line, sizeof line, "Warning: the outlet cell (OUTROW %d, OUTCOL %d) is not a cell of the channel "
                  "network (STREAM_CELL);", c.row, c.col);
    EXPECT_EQ(said.find(line) == 0, c.warned) << said;
    if (!c.warned) {
      EXPECT_EQ(said, "");
    }
  }
}

}  // namespace
}  // namespace nivra
