// Groundwater into tile drains by Hooghoudt's equation with Moody's
// equivalent depth, against a case worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/guarded_file.h"
#include "pipe/pipe_fixture.h"
#include "pipe/tile_exchange.h"

namespace nivra {
namespace {

using testing::pipe_world;
using testing::sjunc;

class TileExchange : public testing::process_test {};

TEST_F(TileExchange, HooghoudtByHand) {
  // Drains of radius 0.05 m every 20 m, 1 m above the impermeable layer,
  // in ground of 1 cm/h, the water table 0.5 m above them:
  // a = 3.55 - 1.6 x 0.05 + 2 x 0.05^2 = 3.475,
  // de = 1 / ((8/pi ln 20 - 3.475) 0.05 + 1) = 0.828 m,
  // q = (8 x 0.01 x 0.828 x 0.5 + 4 x 0.01 x 0.25) / 400 = 1.078e-4 m/h.
  const double de = hooghoudt_equivalent_depth(1.0, 20.0, 0.05);
  EXPECT_NEAR(de, 1.0 / ((8.0 / M_PI * std::log(20.0) - 3.475) * 0.05 + 1.0), 1e-12);
  EXPECT_NEAR(de, 0.828, 5e-4);
  const double q = hooghoudt_rate(0.01, de, 0.5, 20.0);
  EXPECT_NEAR(q, 1.078e-4, 5e-7);
  // Deep above the layer (d/S >= 0.3) the equivalent depth no longer grows.
  EXPECT_NEAR(hooghoudt_equivalent_depth(10.0, 20.0, 0.05), M_PI * 20.0 / (8.0 * (std::log(400.0) - 1.15)), 1e-12);
}

// A leaky drain 50 m long from cell 1 to cell 3 of a flat grid at 100 m,
// its invert 1 m down, half of it in cell 2 by the grid-pipe file.
struct tile_field {
  pipe_world w{3, 3};
  std::vector<double> ground, table, bottom;
  tile_field(double conductivity) {
    char pipe[200];
    std::snprintf(pipe, sizeof pipe, "PIPE 1 1 0.1 0 0 0.013 50 %g 20\n", conductivity);
    const std::string net = sjunc(1, 100.0, 99.0, 1.0, 0, 1, 1) + sjunc(2, 100.0, 98.5, 1.0, 888, 1, 3) +
                            "CONNECT 1 1 2\nSLINK 1 1\nNODE 1 100 99 0 0 1 1 0 0\nNODE 2 100 99 0 0 1 3 0 0\n" + pipe;
    EXPECT_TRUE(testing::read_network(w.p, w.grid, net, false));
    testing::write_file("t.gpi", "GRIDPIPEFILE\nPIPECELLS 1\nCELLIJ 2 2\nNUMPIPES 1\nSPIPE 1 1 0.5\n");
    guarded_file f;
    EXPECT_TRUE(open_guarded_file(f, "t.gpi", "r"));
    EXPECT_TRUE(read_grid_pipe_file(w.p, f, "t.gpi", w.grid));
    w.p.superlink_drainmod = 1;  // Hooghoudt
    ground.assign(11, 100.0);
    table.assign(11, 99.5 + pipe_depth_floor);  // 0.5 m above the water in the drain
    bottom.assign(11, 98.0);                   // 1 m below the drain
  }
  std::vector<double> per_cell = std::vector<double>(11, 0.0);
  tile_result exchange() {
    return gw_tile_exchange(tile_domain{w.p, ground.data(), table.data(), bottom.data(), per_cell.data()});
  }
};

TEST_F(TileExchange, DrainFlowOfTheHandCase) {
  tile_field t(1.0);
  ASSERT_EQ(t.w.p.gw_to_tile, 1);
  const tile_result r = t.exchange();
  ASSERT_EQ(r.status, tile_status::flowing);
  // Each metre of drain takes q x S; a quarter of its 50 m lies in cell 2.
  const double per_metre = hooghoudt_rate(0.01, hooghoudt_equivalent_depth(1.0, 20.0, 0.05), 0.5, 20.0) * 20.0;
  EXPECT_NEAR(t.w.p.superlink_tile_flow(1, 1), per_metre / 3600.0 * 0.5 * 50.0, 1e-12);
  EXPECT_NEAR(per_metre / 3600.0 * 25.0, 1.078e-4 * 20.0 / 3600.0 * 25.0, 1e-8);
  // The cell the drain crosses gives the same flow, from its aquifer.
  const int cell = t.w.p.gpi_gnum[1][1];
  EXPECT_NEAR(t.per_cell[static_cast<std::size_t>(cell)], 1.078e-4 * 20.0 / 3600.0 * 25.0, 1e-8);
  EXPECT_NEAR(t.per_cell[static_cast<std::size_t>(cell)], r.total, 1e-15);
}

TEST_F(TileExchange, ASpillingUpstreamSuperjunctionClosesItsDrains) {
  tile_field t(1.0);
  t.w.p.high_head_release = 1;
  t.w.p.junc_head[1] = 100.5;  // above its ground of 100 m
  const tile_result r = t.exchange();
  EXPECT_EQ(r.total, 0.0);
  EXPECT_EQ(t.w.p.superlink_tile_flow(1, 1), 0.0);
  EXPECT_EQ(t.per_cell[static_cast<std::size_t>(t.w.p.gpi_gnum[1][1])], 0.0);
}

TEST_F(TileExchange, NoFlowWithoutConductivityOrBelowTheDrain) {
  tile_field closed(0.0);
  EXPECT_EQ(closed.exchange().total, 0.0);
  tile_field low(1.0);
  low.table.assign(11, 99.0);  // the water table below the drain's water
  EXPECT_EQ(low.exchange().status, tile_status::none);
  EXPECT_EQ(low.w.p.superlink_tile_flow(1, 1), 0.0);
  tile_field shallow(1.0);
  shallow.bottom.assign(11, 99.5);  // the aquifer's bottom above the drain
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(shallow.exchange().status, tile_status::drain_below_aquifer);
  ::testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace nivra
