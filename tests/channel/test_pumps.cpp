// Pumps: the overland pump file and its faults, overland pumps that lift
// their rate but never more than a cell holds, channel pumps that move
// water between two nodes without losing any, and a whole run with an
// overland pump whose books close.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "channel/channel_fixture.h"
#include "channel/channel_sections.h"
#include "channel/channel_setup.h"
#include "channel/pumps.h"
#include "core/elevation_series.h"
#include "core/time_series.h"
#include "run/run_test_support.h"
#include "surface/grid_fixture.h"

namespace nivra {
namespace {

using testing::write_file;

class Pumps : public testing::process_test {
 protected:
  void SetUp() override {
    testing::process_test::SetUp();
    read_series();
  }
  // The series of the pumps, read afresh (a series read twice would be
  // two of one name); a record that goes takes them with it.
  void read_series() {
    ts_free_all();
    es_free_all();
    write_file("series.ts", "NIVRA_TS\nlift\nRELATIVE\n0 0 0 0 0 0.1\nEND_TS\nNIVRA_TS\nback\nRELATIVE\n0 0 0 0 0 -0.1\n"
                            "END_TS\nNIVRA_TS\nhuge\nRELATIVE\n0 0 0 0 0 0.1\n0 0 1 0 0 1e308\nEND_TS\n");
    write_file("series.es", "NIVRA_ES\n\"pump rating\"\n0 0\n1 0.2\nEND_ES\n");
    ::testing::internal::CaptureStdout();
    read_time_series_file("series.ts");
    read_elev_series_file("series.es");
    ::testing::internal::GetCapturedStdout();
  }
  // A 3 x 3 grid of 10 m cells whose pumps come from the file text.
  std::unique_ptr<model_state> pumped_grid(const std::string& file) {
    testing::test_grid g;
    g.rows = 3;
    g.cols = 3;
    auto ms = testing::make_grid(g);
    read_series();
    ms->grid.rows = 3;
    ms->grid.cols = 3;
    ms->grid.grid_size = 10.0;
    write_file("pumps.txt", file);
    ms->overland.ov_pump_given = 1;
    ms->project.ov_pump.assign("pumps.txt");
    ::testing::internal::CaptureStdout();
    read_overland_pumps(*ms);
    out = ::testing::internal::GetCapturedStdout();
    return ms;
  }
  std::string out;
};

TEST_F(Pumps, OverlandPumpsLiftTheirRateButNoMoreThanACellHolds) {
  auto ms = pumped_grid("2 3 TS lift\n\n3 1 ELEV \"pump rating\"\n");
  ASSERT_EQ(process.error_block.stop, 0) << out;
  ASSERT_EQ(ms->overland.ov_pumps.size(), 2u);
  EXPECT_EQ(ms->overland.ov_pumps[0].cell, ms->grid.mask[2][3]);
  EXPECT_NE(out.find("2 overland pumps read from file pumps.txt"), std::string::npos);
  const int a = ms->grid.mask[2][3], b = ms->grid.mask[3][1];
  // 0.1 m3/s for 100 s from a cell holding 5 m3: all of it. The rating
  // lifts 0.2 x 0.5 = 0.1 m3/s at 0.5 m: 10 m3.
  ms->overland.ov_depth[a] = 0.05;
  ms->overland.ov_depth[b] = 0.5;
  apply_pumps(*ms, 100.0);
  EXPECT_EQ(ms->overland.ov_depth[a], 0.0);
  EXPECT_NEAR(ms->overland.ov_depth[b], 0.4, 1e-12);
  EXPECT_NEAR(ms->ledger.run_total(water_flux::overland_pumping), 15.0, 1e-9);
}

TEST_F(Pumps, FaultsOfTheOverlandPumpFileStopTheRun) {
  const struct {
    const char* file;
    const char* message;
  } cases[] = {
      {"2 4 TS lift\n", "line 1 of the overland pump file pumps.txt names row 2, column 4, which is no cell of the "
                        "watershed"},
      {"1 1 TS lift\n2 2 RATE lift\n", "line 2 of the overland pump file pumps.txt gives the flow type \"RATE\": it "
                                       "must be ELEV or TS"},
      {"1 1 TS lifts\n", "names the time series \"lifts\", which no series file of the project holds"},
      {"1 1 TS back\n", "names the series \"back\", which gives a negative rate"},
      {"1 1 TS huge\n", "line 1 of the overland pump file pumps.txt names the series \"huge\", which gives the rate "
                        "1e+308; a pump takes a number from -1000 to 1000 (m3/s)"},
      {"1 TS lift\n", "line 1 of the overland pump file pumps.txt does not begin with two whole numbers"},
      {"1 1 ELEV\n", "names no series after its flow type"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    process.error_block.stop = 0;
    pumped_grid(c.file);
    EXPECT_EQ(process.error_block.stop, 1);
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
  }
  process.error_block.stop = 0;
  testing::test_grid g;
  auto ms = testing::make_grid(g);
  ms->overland.ov_pump_given = 1;
  ms->project.ov_pump.assign("none.txt");
  ::testing::internal::CaptureStdout();
  read_overland_pumps(*ms);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Error: Unable to open the overland pump file"),
            std::string::npos);
  EXPECT_EQ(process.error_block.stop, 1);
}

TEST_F(Pumps, AChannelPumpMovesWaterBetweenTwoNodesAndLosesNone) {
  lake_state lakes;
  auto net = testing::read_network(
      testing::chan_file(2, 4, testing::chain_connects(2) + testing::trapezoid_link(1, 4, 100.0) +
                                   "NODE 2\nPUMPTO 2 3 TS lift\n" + testing::trapezoid_link(2, 4, 90.0) +
                                   "NODE 1\nPUMPTO 1 3 ELEV \"pump rating\"\n"),
      lakes);
  ASSERT_TRUE(net);
  size_channel_state(*net);
  // Node 2 of link 1 holds 0.05 m over its 2 m bed (side slope 1.5) for
  // 10 m: 1.0375 m3; node 1 of link 2 holds 0.5 m: 0.5 x 2 + 1.5 x 0.25 =
  // 1.375 m2, 13.75 m3.
  net->yp(2, 1) = net->bel(2, 1) + 0.05;
  net->yp(1, 2) = net->bel(1, 2) + 0.5;
  ASSERT_TRUE(ex_section(*net, section_mode::from_depth));
  const double a12 = net->area(2, 1), a21 = net->area(1, 2);
  EXPECT_NEAR(a12 * 10.0, 1.0375, 1e-12);
  // Over 100 s the first pump would lift 10 m3 and lifts what node 2
  // holds; the second lifts 0.2 x 0.5 x 100 = 10 m3 from link 2 to node 3
  // of link 1.
  ASSERT_TRUE(apply_channel_pumps(*net, 100.0, 0.0));
  EXPECT_EQ(net->area(2, 1), 0.0);
  EXPECT_NEAR(net->area(3, 2) * 10.0, a12 * 10.0, 1e-12);
  EXPECT_NEAR(net->area(1, 2) * 10.0, a21 * 10.0 - 10.0, 1e-12);
  EXPECT_NEAR(net->area(3, 1) * 10.0, 10.0, 1e-12);
  // The depths follow the areas: 10 m3 over 10 m in node 3 of link 1,
  // 2 y + 1.5 y^2 = 1.
  const double y = (-2.0 + std::sqrt(4.0 + 6.0)) / 3.0;
  EXPECT_NEAR(net->chan_depth(3, 1), y, 1e-9);
  EXPECT_NEAR(net->yp(3, 1), net->bel(3, 1) + y, 1e-9);
}

TEST_F(Pumps, ARunWithAnOverlandPumpClosesItsBooks) {
  testing::copy_example("vcatch");
  // A pump on a plane cell next to the channel lifts 0.1 m3/s while it has
  // water.
  write_file("pumps.txt", "25 30 TS lift\n");
  testing::set_card("vcatch.prj", "TIME_SERIES_FILE", "TIME_SERIES_FILE series.ts");
  testing::set_card("vcatch.prj", "OV_PUMP", "OV_PUMP pumps.txt");
  testing::set_card("vcatch.prj", "TOT_TIME", "TOT_TIME 60");
  // The run reads the series itself.
  ts_free_all();
  es_free_all();
  testing::storm_run r = testing::run_storm("vcatch.prj");
  ASSERT_TRUE(r.ended) << r.console;
  const water_ledger& l = r.ms->ledger;
  const double pumped = l.run_total(water_flux::overland_pumping);
  EXPECT_GT(pumped, 0.0);
  EXPECT_LE(pumped, 0.1 * 3600.0 + 1e-9);
  EXPECT_LT(std::fabs(l.run().overall_error), 1e-9);
  char line[100];
  std::snprintf(line, sizeof line, "Volume lifted by overland pumps:                %14.2lf\n", pumped);
  EXPECT_NE(testing::read_file("vcatch.sum").find(line), std::string::npos);
  EXPECT_NEAR(l.run_total(water_flux::outlet_discharge) + l.storage(water_store::surface, ledger_moment::run_end) +
                  l.storage(water_store::channels, ledger_moment::run_end) + pumped,
              l.run_total(water_flux::rainfall_to_overland) + r.ms->channel.clipped_area_volume,
              1e-9 * l.run_total(water_flux::rainfall_to_overland));
}

}  // namespace
}  // namespace nivra
