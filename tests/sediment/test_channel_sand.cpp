// The channel sand step on a small network with a lake, a structure and
// an outlet, with prescribed flows: the sand balance closes class by class,
// sand settles where the slope falls, a node's capacity is Yang's by hand
// on the water-surface slope, the written bed matches the stored sand, and
// an upstream flow at the outlet lets nothing out.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/channel_sand.h"
#include "quality/sediment/sediment_physics.h"

namespace {

using nivra::link_type::erodible;
using nivra::link_type::lake;
using nivra::link_type::structure;
using nivra::link_type::trapezoid;

// Links: 1 (erodible trapezoid) into the lake link 2; 3 (erodible
// trapezoid) through the structure 4 into 5, the outlet link. Link 5's
// bed is steep for its upper nodes and flat for the lower ones.
struct network {
  static constexpr int links = 5, max_nodes = 8;
  nivra::array1d<int> nx{links}, ltype{links}, dslink{links}, lake_of_link{links};
  nivra::array1d<double> link_dx{links}, lake_elev{1};
  nivra::node_array<double> depth{max_nodes - 1, links}, qp{max_nodes - 1, links}, bel{max_nodes - 1, links},
      org_bel{max_nodes - 1, links}, bottom{max_nodes - 1, links}, sslope{max_nodes - 1, links},
      new_bel{max_nodes - 1, links};
  // Two sand classes: fine sand of 0.125 mm and coarse sand of 1 mm.
  const double diam[3] = {0.0, 0.125, 1.0};
  const double fall[3] = {0.0, nivra::sediment::sand_fall_velocity(0.125, 1.0e-6),
                          nivra::sediment::sand_fall_velocity(1.0, 1.0e-6)};
  nivra::chan_sand_network net;
  nivra::chan_sand_params par;
  nivra::chan_sand_store store;

  explicit network(double q = 6.0) {
    const int n[6] = {0, 4, 1, 4, 1, 6};
    const int type[6] = {0, erodible | trapezoid, lake, erodible | trapezoid, structure, erodible | trapezoid};
    const int down[6] = {0, 2, 5, 4, 5, 0};
    for (int i = 1; i <= links; ++i) {
      nx[i] = n[i];
      ltype[i] = type[i];
      dslink[i] = down[i];
      link_dx[i] = 50.0;
    }
    lake_of_link[2] = 1;
    lake_elev[1] = 90.0;
    for (int i = 1; i <= links; ++i) {
      double z = i == 5 ? 95.0 : 100.0;
      for (int j = 1; j <= nx[i]; ++j) {
        const double s = (i == 5 && j > 3) ? 0.0002 : 0.004;
        z -= s * link_dx[i];
        bel(j, i) = org_bel(j, i) = z;
        bottom(j, i) = 3.0;
        sslope(j, i) = 1.5;
        depth(j, i) = (i == 5 && (j == 4 || j == 5)) ? 2.0 : 0.8;  // a deep, slow pool over the flat bed
        qp(j, i) = i == 5 ? 2.0 * q : q;
      }
    }
    net.links = links;
    net.max_nodes = max_nodes;
    net.nx = &nx;
    net.ltype = &ltype;
    net.dslink = &dslink;
    net.link_dx = &link_dx;
    net.depth = &depth;
    net.qp = &qp;
    net.bel = &bel;
    net.org_bel = &org_bel;
    net.bottom = &bottom;
    net.sslope = &sslope;
    net.lake_of_link = &lake_of_link;
    net.lake_elev = &lake_elev;
    par.n_sand = 2;
    par.diam = diam;
    par.fall = fall;
    par.viscosity = 1.0e-6;
    par.porosity = 0.4;
    par.layer = 0.3;
    store.alloc((links + 1) * max_nodes, 1, 2);
    // A full sand layer at every erodible node at the start, in two classes.
    for (int i : {1, 3, 5})
      for (int j = 1; j <= nx[i]; ++j) {
        const double full = 3.0 * 0.3 * 50.0 * 0.6;
        store.sand(net.flat(i, j), 1) = 0.4 * full;
        store.sand(net.flat(i, j), 2) = 0.6 * full;
      }
  }
  double stored(int m) const {
    double t = 0.0;
    for (int i = 1; i <= links; ++i)
      for (int j = 1; j <= nx[i]; ++j) t += store.sand(net.flat(i, j), m);
    return t;
  }
  void step(double dt) { nivra::chan_sand_step(net, par, dt, store, new_bel); }
};

}  // namespace

TEST(ChannelSand, TheSandBalanceClosesClassByClass) {
  network w;
  const double initial[3] = {0.0, w.stored(1), w.stored(2)};
  for (int s = 0; s < 400; ++s) {
    // Sand from the cells every step on a few nodes.
    w.store.lateral(w.net.flat(1, 2), 1) += 0.002;
    w.store.lateral(w.net.flat(3, 1), 2) += 0.003;
    w.store.lateral(w.net.flat(5, 5), 1) += 0.001;
    w.step(30.0);
  }
  for (int m = 1; m <= 2; ++m) {
    const double lhs = w.stored(m) + w.store.out[m] + w.store.to_lake(1, m);
    const double rhs = initial[m] + w.store.in[m];
    EXPECT_NEAR(lhs, rhs, 1e-10 * rhs) << "class " << m;
    EXPECT_GT(w.store.out[m], 0.0);
    EXPECT_GT(w.store.to_lake(1, m), 0.0);
  }
  EXPECT_NEAR(w.store.in[0], 400 * 0.006, 1e-12);
}

TEST(ChannelSand, SandSettlesWhereTheSlopeFallsAndTheBedFollows) {
  network w;
  const double full = 3.0 * 0.3 * 50.0 * 0.6;
  for (int s = 0; s < 200; ++s) w.step(30.0);
  // The steep upper nodes of link 5 lose sand, the slow pool on the flat
  // bed below them gains it.
  double upper = 0.0;
  for (int j = 1; j <= 2; ++j) upper += w.store.sand(w.net.flat(5, j), 1) + w.store.sand(w.net.flat(5, j), 2);
  const double pool = w.store.sand(w.net.flat(5, 4), 1) + w.store.sand(w.net.flat(5, 4), 2);
  EXPECT_LT(upper, 2.0 * full);
  EXPECT_GT(pool, full);
  // The bed written for each node is the bed of its stored sand.
  for (int i : {1, 3, 5})
    for (int j = 1; j <= w.nx[i]; ++j) {
      const double vs = w.store.sand(w.net.flat(i, j), 1) + w.store.sand(w.net.flat(i, j), 2);
      const double expect = nivra::sediment::bed_elevation(vs, w.bel(j, i), w.org_bel(j, i), 3.0, 1.5, 0.3, 50.0, 0.4).bel;
      EXPECT_DOUBLE_EQ(w.new_bel(j, i), expect) << i << " " << j;
    }
  EXPECT_GT(w.new_bel(4, 5), w.org_bel(4, 5));
  EXPECT_LT(w.new_bel(1, 5), w.org_bel(1, 5));
}

// Each class moves by its own diameter, in its share of the node's sand:
// at the head of link 1 (a trapezoid 3 m wide with sides of 1.5, 0.8 m
// deep, 6 m3/s on a water-surface slope of 0.004) the fine sand (0.125 mm,
// 40 % of the store) and the coarse (1 mm, 60 %) each leave at its share
// of the discharge at its own Yang concentration.
TEST(ChannelSand, EachClassMovesByItsOwnDiameterInItsShareOfTheSand) {
  network w;
  w.step(30.0);
  const double area = 1.5 * 0.8 * 0.8 + 3.0 * 0.8, perimeter = 2.0 * 0.8 * std::sqrt(1.5 * 1.5 + 1.0) + 3.0;
  const int f = w.net.flat(1, 1);
  double total = 0.0;
  for (int m = 1; m <= 2; ++m) {
    SCOPED_TRACE(m);
    const double c =
        nivra::sediment::sand_capacity_ppm(6.0 / area, 0.004, area / perimeter, w.diam[m], w.fall[m], 1e-6);
    const double share = m == 1 ? 0.4 : 0.6;
    EXPECT_GT(c, 0.0);
    EXPECT_NEAR(w.store.flux(f, m), share * 6.0 * c / 2.65e6, 1e-12);
    total += w.store.flux(f, m);
  }
  // The fine sand moves faster than its share of the store would give the
  // coarse at the same rate.
  EXPECT_GT(w.store.flux(f, 1) / 0.4, 2.0 * w.store.flux(f, 2) / 0.6);
  EXPECT_NEAR(w.store.capacity[f], total, 1e-15);
}

TEST(ChannelSand, TransferNeverTakesMoreThanIsStored) {
  network w(40.0);  // a strong flow
  for (int i : {1, 3, 5})
    for (int j = 1; j <= w.nx[i]; ++j) {
      w.store.sand(w.net.flat(i, j), 1) = 1e-4;
      w.store.sand(w.net.flat(i, j), 2) = 1e-4;
    }
  w.step(60.0);
  for (int i : {1, 3, 5})
    for (int j = 1; j <= w.nx[i]; ++j)
      for (int m = 1; m <= 2; ++m) EXPECT_GE(w.store.sand(w.net.flat(i, j), m), 0.0);
}

TEST(ChannelSand, ANodesCapacityTakesTheWaterSurfaceSlope) {
  // The first two nodes of link 5, 50 m apart on a bed falling 0.004, hold
  // 1.0 and 1.15 m of water backed up from below: the water surface falls
  // 0.05 m, a slope of 0.001. With 1 m3/s through the first node's
  // trapezoid (3 m bottom, side slope 1.5): A = 4.5 m2, P = 3 + 2 sqrt(3.25)
  // = 6.6056 m, R = 0.68125 m, V = 0.22222 m/s. The sand of 0.0625 mm falls
  // at w = 3.4685e-3 m/s in water of 1e-6 m2/s; u* = sqrt(9.81 R S) =
  // 0.081750 m/s, Re* = 5.1094, Vcr / w = 2.5 / (log Re* - 0.06) + 0.66 =
  // 4.5158; Yang's log Ct = 5.435 - 0.286 log(wd/nu) - 0.457 log(u*/w) +
  // (1.799 - 0.409 log(wd/nu) - 0.314 log(u*/w)) log(VS/w - Vcr S/w) gives
  // 974.994 ppm by weight, and the node carries 1 m3/s x 974.994e-6 t/t of
  // sand at 2.65 t/m3: 3.67922e-4 m3/s. The bed's slope would give eight
  // times as much. Both of the network's sand classes are given this
  // sand, so the node's capacity is the class's whatever the bed holds.
  network w;
  const double diam[3] = {0.0, 0.0625, 0.0625};
  const double w62 = nivra::sediment::sand_fall_velocity(0.0625, 1.0e-6);
  const double fall[3] = {0.0, w62, w62};
  w.par.diam = diam;
  w.par.fall = fall;
  w.depth(1, 5) = 1.0;
  w.depth(2, 5) = 1.15;
  w.qp(1, 5) = 1.0;
  w.step(30.0);
  EXPECT_NEAR(w.store.capacity[w.net.flat(5, 1)], 3.67922269955841e-4, 1e-9 * 3.67922269955841e-4);
}

TEST(ChannelSand, DryNodesAndUpstreamFlowAtTheOutlet) {
  network w;
  // A dry node moves nothing but keeps the sand the cells deliver.
  w.depth(2, 1) = 0.0;
  w.store.lateral(w.net.flat(1, 2), 1) = 0.5;
  const double before = w.store.sand(w.net.flat(1, 2), 1);
  // Water flowing back up at the outlet node: nothing leaves.
  w.qp(6, 5) = -3.0;
  w.step(30.0);
  EXPECT_EQ(w.store.capacity[w.net.flat(1, 2)], 0.0);
  EXPECT_GE(w.store.sand(w.net.flat(1, 2), 1), before + 0.5);
  EXPECT_EQ(w.store.out_step[0], 0.0);
  EXPECT_LE(w.store.capacity[w.net.flat(5, 6)], 0.0);
}

TEST(ChannelSand, ANodeWithoutWidthKeepsItsBed) {
  network w;
  w.bottom(3, 1) = 0.0;
  w.bel(3, 1) = 97.0;
  const auto r = nivra::chan_sand_step(w.net, w.par, 30.0, w.store, w.new_bel);
  EXPECT_EQ(r.nodes_without_width, 1);
  EXPECT_EQ(w.new_bel(3, 1), 97.0);
}

TEST(ChannelSand, ACapacityThatIsNotANumberIsNamedAndMovesNothing) {
  network w;
  const double before = w.stored(1) + w.stored(2);
  w.qp(2, 3) = std::nan("");
  testing::internal::CaptureStdout();
  const auto r = nivra::chan_sand_step(w.net, w.par, 30.0, w.store, w.new_bel);
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("bed load NaN\n"), std::string::npos) << console;
  EXPECT_EQ(r.nan_link, 3);
  EXPECT_EQ(r.nan_node, 2);
  EXPECT_EQ(w.store.capacity[w.net.flat(3, 2)], 0.0);
  // No sand is made or lost: stored + out + in the lake = before.
  double lake = 0.0;
  for (int m = 1; m <= 2; ++m) lake += w.store.to_lake(1, m);
  EXPECT_NEAR(w.stored(1) + w.stored(2) + w.store.out[0] + lake, before, 1e-9 * before);
}
