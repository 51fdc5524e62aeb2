#include <gtest/gtest.h>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "core/dates.h"
#include "output/linknode.h"
#include "output/output_state.h"
#include "output_fixture.h"
#include "pipe/pipe_state.h"
#include "surface/lake_state.h"

namespace nivra::testing {
namespace {

class LinkNode : public process_test {
 protected:
  std::unique_ptr<model_state> ms = make_fixture();
  std::span<const double> lakes() {
    return {ms->lake.lake_elev.data(), static_cast<std::size_t>(ms->lake.lake_elev.size()) + 1};
  }
  std::string step(int mode, node_table v, node_table second,
                   bool with_out_counts = true) {
    guarded_file f;
    open_for_test(f, "step.txt");
    write_linknode_step(f, 3, ms->channel.nx.data(), with_out_counts ? ms->channel.og_nx1.data() : nullptr,
                        ms->channel.ltype.data(), 7, v, second, mode, ms->lake.lake2link.data(), lakes());
    return written(f);
  }
};

TEST_F(LinkNode, HeaderWithAndWithoutCard) {
  guarded_file f;
  open_for_test(f, "h.txt");
  write_linknode_header(f, lnk_stream_flow, 3, 15, 8, 4, 3, 2001, 5, 6);
  write_linknode_header(f, 32, 2, 1, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(written(f),
            "NIVRA_LINKNODE_STREAM_FLOW\n"
            "NUM_LINKS     3\n"
            "TIME_STEP     15\n"
            "NUM_TS        8\n"
            "START_TIME     4  3 2001  5  6  0\n"
            "NUM_LINKS     2\n"
            "TIME_STEP     1\n"
            "NUM_TS        0\n"
            "START_TIME     0  0    0  0  0  0\n");
}

// A file whose blocks end before the header's count: NUM_TS becomes the k
// of the last block in the announced number's place; a count that agrees,
// or a last k wider than the place, is left.
TEST_F(LinkNode, TheCountOfARunThatEndedEarlyIsTheLastBlocks) {
  const struct {
    int announced, blocks;
    const char* line;
  } cases[] = {
      {72, 50, "NUM_TS        49\n"}, {72, 73, "NUM_TS        72\n"}, {100, 10, "NUM_TS        9  \n"},
      {5, 12, "NUM_TS        5\n"},   {36, 1, "NUM_TS        0 \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blocks);
    guarded_file f;
    open_for_test(f, "run.lnd");
    write_linknode_header(f, lnk_stream_depth, 3, 5, c.announced, 15, 6, 2024, 12, 0);
    for (int k = 0; k < c.blocks; ++k)
      write_linknode_step(f, 3, ms->channel.nx.data(), ms->channel.og_nx1.data(), ms->channel.ltype.data(), k,
                          ms->channel.yp, nullptr, lnk_value, ms->lake.lake2link.data(), lakes());
    correct_linknode_count(f, c.blocks);
    // The writer's stream goes on after the correction.
    std::fputs("END\n", f.fp);
    const std::string text = written(f);
    EXPECT_NE(text.find("TIME_STEP     5\n" + std::string(c.line) + "START_TIME"), std::string::npos) << text;
    EXPECT_NE(text.find("TS    " + std::to_string(c.blocks - 1) + "\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 4), "END\n");
  }
}

TEST_F(LinkNode, ValueDepthAndVelocityBlocks) {
  EXPECT_EQ(step(0, ms->channel.qp, nullptr),
            "TS    7\n"
            "2   1  1.50000   1  2.25000   \n"
            "0  -999.999   \n"
            "3   1  3.00000   1  3.50000   1  4.12500   \n"
            "\n");
  // Depth: water surface minus bed; a lake link carries its lake's level.
  EXPECT_EQ(step(1, ms->channel.yp, &ms->channel.bel),
            "TS    7\n"
            "2   1  0.40000   1  0.40000   \n"
            "-1 101.50000   \n"
            "3   1  0.60000   1  0.70000   1  0.75000   \n"
            "\n");
  // Velocity: discharge over area, 0 where the area is 1e-7 or less.
  EXPECT_EQ(step(2, ms->channel.qp, &ms->channel.area),
            "TS    7\n"
            "2   1  0.75000   1  0.00000   \n"
            "-1 101.50000   \n"
            "3   1  2.00000   1  2.00000   1  1.65000   \n"
            "\n");
}

TEST_F(LinkNode, RatioNeedsTheSecondCountTableElseSubtracts) {
  const std::string text = step(2, ms->channel.qp, &ms->channel.area, false);
  EXPECT_NE(text.find("2   1  -0.50000   1  2.25000   \n"), std::string::npos) << text;
}

TEST_F(LinkNode, SurplusNodesOfTheSecondCountAreMissing) {
  ms->channel.og_nx1[1] = 3;
  const std::string text = step(0, ms->channel.qp, nullptr);
  EXPECT_NE(text.find("\n3   1  1.50000   1  2.25000   0  -999.999   \n"), std::string::npos)
      << text;
}

TEST_F(LinkNode, SingleValueLinks) {
  ms->channel.ltype[2] = 64;
  ms->channel.qp(1, 2) = 0.125;
  EXPECT_NE(step(0, ms->channel.qp, nullptr).find("\n-2  0.12500   \n"), std::string::npos);
  EXPECT_NE(step(1, ms->channel.yp, &ms->channel.bel).find("\n0  -999.999   \n"), std::string::npos);
  ms->channel.ltype[2] = 0;  // no flag: an empty line
  EXPECT_NE(step(0, ms->channel.qp, nullptr).find("   \n\n3   "), std::string::npos);
}

TEST_F(LinkNode, NetworkWithoutLinks) {
  guarded_file f;
  open_for_test(f, "none.txt");
  array2d<double> empty;
  write_linknode_step(f, 0, nullptr, nullptr, nullptr, 0, empty, nullptr, 0, nullptr, {});
  EXPECT_EQ(written(f), "TS    0\n\n");
}

TEST_F(LinkNode, RunLevelHeaders) {
  ms->output.chan_depth_given = ms->output.chan_discharge_given = ms->output.chan_stage_given = 1;
  ms->output.chan_velocity_given = ms->output.chan_sed_flux_given = ms->output.flood_stream_given = 1;
  ms->pipe.storm_sewer_given = ms->output.pipe_flow_given = ms->output.pipe_head_given = ms->output.pipe_tile_given = 1;
  ms->pipe.num_slink = 2;
  ms->clock.hyd_write_steps = 15;  // 15 minutes of 60 s steps
  struct {
    guarded_file* file;
    const char* card;
    int links;
  } files[] = {{&ms->channel.chan_depth_out_file, "STREAM_DEPTH", 3},
               {&ms->channel.stream_sed_flux_file, "STREAM_SED_FLUX", 3},
               {&ms->channel.chan_discharge_out_file, "STREAM_FLOW", 3},
               {&ms->channel.chan_stage_out_file, "STREAM_STAGE", 3},
               {&ms->channel.chan_velocity_out_file, "STREAM_VELOCITY", 3},
               {&ms->channel.flood_stream_file, "FLOOD_STREAM_DEPTH", 3},
               {&ms->pipe.pipe_flow_file, "SUPERLINK_FLOW", 2},
               {&ms->pipe.pipe_head_file, "SUPERLINK_HEAD", 2},
               {&ms->pipe.pipe_tile_file, "SUPERLINK_TILE_FLOW", 2}};
  const char* names[] = {"h0", "h1", "h2", "h3", "h4", "h5", "h6", "h7", "h8"};
  int n = 0;
  for (auto& e : files) open_for_test(*e.file, names[n++]);
  init_linknode_output(*ms);
  for (auto& e : files) {
    EXPECT_EQ(written(*e.file), std::string("NIVRA_LINKNODE_") + e.card + "\nNUM_LINKS     " +
                                    std::to_string(e.links) +
                                    "\nTIME_STEP     15\nNUM_TS        8\n"
                                    "START_TIME     4  3 2001  5  6  0\n");
  }
}

TEST_F(LinkNode, TheHeaderStartsAtTheModelTimeOnceTheClocksAreSet) {
  // The calendar fields still hold the cards' zeros of a gage run; the
  // model time is the first event's start, 2024-06-15 13:45 (a hair below).
  ms->clock.cur_day = ms->clock.cur_month = ms->clock.cur_year = ms->clock.cur_hour = ms->clock.cur_minute = 0;
  ms->clock.model_time = julian_date(2024, 6, 15, 13, 45, 0.0) - 1e-9;
  const linknode_timing t = linknode_timing_for(ms->clock, 1);
  EXPECT_EQ(t.day, 15);
  EXPECT_EQ(t.month, 6);
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.hour, 13);
  EXPECT_EQ(t.minute, 45);
}

TEST_F(LinkNode, StepsShorterThanAMinuteStillCountTheIntervals) {
  ms->clock.dt = 10.0;  // hydrographs every 10 s: the header's whole minutes are 0
  linknode_timing t = linknode_timing_for(ms->clock, 1);
  EXPECT_EQ(t.time_step, 0);
  EXPECT_EQ(t.num_ts, 720);
}

class MassConWriter : public LinkNode {
 protected:
  std::vector<double> flat = std::vector<double>(13, 0.0);
  double lake_mass[2] = {0.0, 5000.0};
  mass_con_writer w;
  void SetUp() override {
    LinkNode::SetUp();
    flat[4] = 10.0;
    flat[5] = 20.0;
    flat[10] = 30.0;
    flat[11] = 40.0;
    flat[12] = 50.0;
  }
};

TEST_F(MassConWriter, HeaderCarriesTheRunTimingAndBlocksCountFromZero) {
  mass_con_writer_alloc_b(w, lnk_mass, flat.data(), channel_network_of(ms->channel, ms->lake), lake_mass, 1);
  open_mass_con_files(w, "con1", ".chan", ".mass", 1000.0, linknode_timing_for(ms->clock, 1));
  write_link_node_file(w);
  write_link_node_file(w);
  // Flat sources are divided by the scale; from the node count on a node reads 0.
  const char* block =
      "2   1  0.01000   1  0.00000   \n"
      "0  -999.999   \n"
      "3   1  0.03000   1  0.04000   1  0.00000   \n"
      "\n";
  EXPECT_EQ(written(w.mass_file), std::string("NIVRA_LINKNODE_MASS\n"
                                               "NUM_LINKS     3\n"
                                               "TIME_STEP     1\n"
                                               "NUM_TS        120\n"
                                               "START_TIME     4  3 2001  5  6  0\n"
                                               "TS    0\n") +
                                       block + "TS    1\n" + block);
  EXPECT_DOUBLE_EQ(w.lake_values[1], 5.0);
  EXPECT_EQ(w.step, 2);
}

// The channel totals of the nutrients: node values from a node-major
// table and the lakes' values, both in g, are written in one unit (here
// scale 1000: kg).
TEST_F(MassConWriter, NodeMajorSourcesAndLakesAreDividedByTheScale) {
  jagged_array<double> rows("rows");
  rows.grow(3, 3);  // rows = nodes, elements = links
  rows(1, 1) = 500.0;
  rows(1, 3) = 250.0;
  rows(2, 3) = 750.0;
  mass_con_writer_alloc_a(w, lnk_total_nitrogen, &rows, channel_network_of(ms->channel, ms->lake), lake_mass, 1);
  open_mass_con_files(w, "tn.out", "", "", 1000.0, linknode_timing_for(ms->clock, 1));
  write_link_node_file(w);
  const std::string text = written(w.mass_file);
  EXPECT_NE(text.find("NIVRA_LINKNODE_TOTAL_NITROGEN\n"), std::string::npos);
  EXPECT_NE(text.find("TS    0\n2   1  0.50000   1  0.00000   \n0  -999.999   \n"
                      "3   1  0.25000   1  0.75000   1  0.00000   \n\n"),
            std::string::npos)
      << text;
  EXPECT_DOUBLE_EQ(w.lake_values[1], 5.0);  // 5000 g
}

TEST_F(MassConWriter, UnopenedFileIsReportedAndStillCounted) {
  // A file stands where the folder would be made: the file cannot be written.
  testing::write_file("no_such_folder", "");
  ::testing::internal::CaptureStdout();
  mass_con_writer_alloc_b(w, lnk_mass, flat.data(), channel_network_of(ms->channel, ms->lake), lake_mass, 1);
  open_mass_con_files(w, "no_such_folder/con1", ".chan", ".mass", 1.0,
                      linknode_timing_for(ms->clock, 1));
  write_link_node_file(w);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Error: unable to open file no_such_folder/con1.chan.mass\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Error writing to link/node file...\n"), std::string::npos) << out;
  EXPECT_EQ(w.step, 1);
}

TEST_F(MassConWriter, LakeOutsideTheLakeTableIsReportedWhenTheWriterEnds) {
  ::testing::internal::CaptureStdout();
  {
    mass_con_writer bad;
    ms->lake.lake2link[2] = 7;  // only one lake exists
    mass_con_writer_alloc_b(bad, lnk_mass, flat.data(), channel_network_of(ms->channel, ms->lake), lake_mass, 1);
    write_link_node_file(bad);
  }
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Error: bad range addressed in array mass_con_writer::lake_values\n"),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace nivra::testing
