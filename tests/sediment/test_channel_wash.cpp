// Wash load in a small network with a lake: the fine classes close (in
// the nodes + in the lake + settled + out = at the start + from the
// cells), lake settling follows the lake's area by hand and never takes
// more than is suspended, a lake without water lets everything settle, and
// a dry node keeps its sediment.
#include <gtest/gtest.h>

#include "channel/channel_wash.h"

namespace {

using nivra::link_type::lake;
using nivra::link_type::trapezoid;

// Link 1 (3 nodes) into the lake link 2, which drains into link 3 (3
// nodes, the outlet); link 4 (2 nodes) joins link 3 too.
struct network {
  static constexpr int links = 4, max_nodes = 5, nf = 2;
  nivra::array1d<int> nx{links}, ltype{links}, dslink{links}, lake_of_link{links};
  nivra::array1d<double> link_dx{links}, lake_volume{1}, lake_area{1};
  nivra::node_array<double> area{max_nodes - 1, links}, qp_vol{max_nodes - 1, links};
  double settling[3] = {0.0, 1e-5, 4e-4};
  nivra::chan_wash_network net;
  nivra::chan_wash_store store;
  nivra::chan_wash_step step;

  network() {
    const int n[5] = {0, 3, 1, 3, 2}, type[5] = {0, trapezoid, lake, trapezoid, trapezoid}, down[5] = {0, 2, 3, 0, 3};
    for (int i = 1; i <= links; ++i) {
      nx[i] = n[i];
      ltype[i] = type[i];
      dslink[i] = down[i];
      link_dx[i] = 40.0;
      for (int j = 1; j <= nx[i]; ++j) {
        area(j, i) = 2.0;
        qp_vol(j, i) = (i == 3 ? 2.0 : 1.0) * 30.0;  // 1 or 2 m3/s over 30 s
      }
    }
    lake_of_link[2] = 1;
    lake_volume[1] = 5000.0;
    lake_area[1] = 2000.0;
    net.links = links;
    net.max_nodes = max_nodes;
    net.nx = &nx;
    net.ltype = &ltype;
    net.dslink = &dslink;
    net.link_dx = &link_dx;
    net.area = &area;
    net.qp_vol = &qp_vol;
    net.lake_of_link = &lake_of_link;
    net.lake_volume = &lake_volume;
    net.lake_area = &lake_area;
    store.alloc((links + 1) * max_nodes, 1, nf);
    step.prepare((links + 1) * max_nodes, nf);
    for (int i : {1, 3, 4})
      for (int j = 1; j <= nx[i]; ++j) store.vol(net.flat(i, j), 1) = store.vol(net.flat(i, j), 2) = 0.01;
    store.lake_vol(1, 1) = 0.2;
  }
  double held(int k) const {
    double t = store.lake_vol(1, k) + store.settled(1, k) + store.out[k];
    for (int i : {1, 3, 4})
      for (int j = 1; j <= nx[i]; ++j) t += store.vol(net.flat(i, j), k);
    return t;
  }
  void run(int steps) {
    for (int s = 0; s < steps; ++s) {
      store.lateral(net.flat(1, 1), 1) += 1e-4;
      store.lateral(net.flat(4, 2), 2) += 2e-4;
      store.from_overland(1, 2) += 5e-5;
      step.run(net, nf, settling, 30.0, store);
    }
  }
};

}  // namespace

TEST(ChannelWash, TheFineClassesCloseThroughALake) {
  network w;
  const double initial[3] = {0.0, w.held(1), w.held(2)};
  w.run(500);
  for (int k = 1; k <= 2; ++k) {
    const double expect = initial[k] + w.store.in[k];
    EXPECT_NEAR(w.held(k), expect, 1e-10 * expect) << "class " << k;
    EXPECT_EQ(w.store.made[k], 0.0);
    EXPECT_GT(w.store.out[k], 0.0);
    EXPECT_GT(w.store.to_lake(1, k), 0.0);
    EXPECT_GT(w.store.from_lake(1, k), 0.0);
    EXPECT_GT(w.store.settled(1, k), 0.0);
  }
  // The coarser class settles more in the lake.
  EXPECT_GT(w.store.settled(1, 2) / w.store.in[2], w.store.settled(1, 1) / w.store.in[1]);
  EXPECT_NEAR(w.store.in[0], 500 * 3.5e-4, 1e-12);
}

TEST(ChannelWash, LakeSettlingByHandIsCappedAndADryLakeLetsAllDown) {
  {
    // One step of a lake fed by nothing and letting no water out: each
    // class settles dt w A vol / V, 30 s x 1e-5 m/s x 2000 m2 x 0.2 m3 /
    // 5000 m3 = 2.4e-5 m3 of the first, 30 x 4e-4 x 2000 x 0.1 / 5000 =
    // 4.8e-4 m3 of the second.
    network l;
    for (int i : {1, 3, 4})
      for (int j = 1; j <= l.nx[i]; ++j) l.store.vol(l.net.flat(i, j), 1) = l.store.vol(l.net.flat(i, j), 2) = 0.0;
    l.qp_vol(1, 2) = 0.0;
    l.store.lake_vol(1, 2) = 0.1;
    l.step.run(l.net, network::nf, l.settling, 30.0, l.store);
    EXPECT_NEAR(l.store.settled(1, 1), 2.4e-5, 1e-18);
    EXPECT_NEAR(l.store.settled(1, 2), 4.8e-4, 1e-17);
    EXPECT_NEAR(l.store.lake_vol(1, 1), 0.2 - 2.4e-5, 1e-16);
  }
  network w;
  w.settling[1] = w.settling[2] = 10.0;  // settles far faster than the lake holds
  w.run(3);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_GE(w.store.lake_vol(1, k), 0.0);
    EXPECT_EQ(w.store.made[k], 0.0);
  }
  network d;
  d.lake_volume[1] = 0.0;
  const double before = d.store.lake_vol(1, 1);
  d.run(1);
  EXPECT_EQ(d.store.lake_vol(1, 1), 0.0);
  EXPECT_GE(d.store.settled(1, 1), before);
}

TEST(ChannelWash, ADryNodeKeepsItsSediment) {
  network w;
  w.area(2, 1) = 0.0;
  w.qp_vol(2, 1) = 0.0;
  w.run(1);
  EXPECT_GT(w.store.vol(w.net.flat(1, 2), 1), 0.0);
  EXPECT_EQ(w.store.conc(w.net.flat(1, 2), 1), 0.0);
}
