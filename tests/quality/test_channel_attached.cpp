// Contaminants attached to the wash load of the channels: the partition of
// a node against the linear-equilibrium closed form, and the transport of
// a step through a link, a lake and the link below it, whose every gram is
// found again (in the nodes, the lake, its bed, or out of the outlet).
#include <gtest/gtest.h>

#include <cmath>

#include "channel/channel_state.h"
#include "quality/contaminant/channel_attached.h"

namespace nivra {
namespace {

constexpr double density = 2.65e6;  // g/m3 of solid

TEST(ChannelAttached, ThePartitionIsTheLinearEquilibrium) {
  const double dens[3] = {0.0, density, density};
  double attached[3];
  struct row {
    const char* what;
    double kd, water, v1, v2, dissolved_fraction;
  } rows[] = {
      // Kd 1000 L/kg at 100 g/m3 of suspended fines: 1 / (1 + 0.1).
      {"one class", 1000.0, 100.0, 100.0 * 100.0 / density, 0.0, 1.0 / 1.1},
      // 100 g/m3 split over two classes gives the same share.
      {"two classes", 1000.0, 100.0, 60.0 * 100.0 / density, 40.0 * 100.0 / density, 1.0 / 1.1},
      {"Kd 0", 0.0, 100.0, 1.0, 1.0, 1.0},
      {"no water", 1000.0, 0.0, 1.0, 1.0, 1.0},
      {"no fines", 1000.0, 100.0, 0.0, 0.0, 1.0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    const double v[3] = {0.0, r.v1, r.v2};
    const double d = partition_attached(r.kd, r.water, 2, v, dens, 50.0, attached);
    EXPECT_NEAR(d / 50.0, r.dissolved_fraction, 1e-12);
    EXPECT_NEAR(d + attached[1] + attached[2], 50.0, 1e-12);
    // Each class holds its share by its sediment's mass.
    if (r.v1 + r.v2 > 0.0 && d < 50.0) EXPECT_NEAR(attached[1] / (attached[1] + attached[2]), r.v1 / (r.v1 + r.v2), 1e-12);
  }
  EXPECT_NEAR(1.0 / 1.1, 0.909091, 1e-6);
}

// A film of water (2.4e-16 m3) over a heap of fines, as a drying node can
// hold: nearly all the mass sits on the fines, and the dissolved share,
// total / (1 + sum), must stay that small positive figure rather than the
// rounding left of the total less the attached shares.
TEST(ChannelAttached, AFilmOfWaterOnAHeapOfFinesKeepsItsDissolvedShare) {
  const double dens[3] = {0.0, density, density};
  const double v[3] = {0.0, 0.0478, 0.0665};
  const double water = 2.36e-16, total = 1790.99;
  double attached[3];
  const double d = partition_attached(1000.0, water, 2, v, dens, total, attached);
  const double sum = 1e-3 * density * (v[1] + v[2]) / water;
  EXPECT_GT(d, 0.0);
  EXPECT_NEAR(d, total / (1.0 + sum), 1e-12 * total / (1.0 + sum));
  EXPECT_GE(attached[1], 0.0);
  EXPECT_GE(attached[2], 0.0);
  EXPECT_NEAR(d + attached[1] + attached[2], total, 1e-12 * total);
  EXPECT_NEAR(attached[1] / (attached[1] + attached[2]), v[1] / (v[1] + v[2]), 1e-12);
}

// Link 1 (two nodes) runs into a lake (link 2), which lets its water out
// into link 3 (one node) and on out of the outlet.
struct lake_network {
  int max_nodes = 3;
  array1d<int> nx, ltype, dslink, lake_of;
  array2d<double> flux, vol_start, lake_start, lake_given, lake_settled, lake_end;
  chan_attached_network net;
  chan_attached_store st;
  chan_attached_scratch w;
  lake_network() {
    for (array1d<int>* a : {&nx, &ltype, &dslink, &lake_of}) a->alloc(3);
    nx[1] = 2;
    nx[3] = 1;
    ltype[1] = ltype[3] = link_type::trapezoid;
    ltype[2] = link_type::lake;
    dslink[1] = 2;
    dslink[2] = 3;
    dslink[3] = 0;
    lake_of[2] = 1;
    const int flat = 4 * max_nodes + 1;
    for (array2d<double>* a : {&flux, &vol_start}) a->alloc(flat, 1);
    for (array2d<double>* a : {&lake_start, &lake_given, &lake_settled, &lake_end}) a->alloc(1, 1);
    net.links = 3;
    net.max_nodes = max_nodes;
    net.n_fine = 1;
    net.nx = &nx;
    net.ltype = &ltype;
    net.dslink = &dslink;
    net.lake_of_link = &lake_of;
    st.alloc(flat, 1, 1);
    w.alloc(flat, 1, 1);
  }
  chan_wash_moves moves() {
    chan_wash_moves m;
    m.flux = &flux;
    m.vol_start = &vol_start;
    m.lake_start = &lake_start;
    m.lake_given = &lake_given;
    m.lake_settled = &lake_settled;
    m.lake_end = &lake_end;
    return m;
  }
  int at(int link, int node) const { return link * max_nodes + node; }
};

TEST(ChannelAttached, TheWashLoadCarriesTheAttachedMassOfWhereItComesFrom) {
  lake_network n;
  // Node 1.1 holds 2 m3 of fines with 40 g, node 1.2 1 m3 with 30 g, the
  // lake 4 m3 with 8 g, node 3.1 1 m3 with 5 g.
  n.vol_start(n.at(1, 1), 1) = 2.0;
  n.st.node(n.at(1, 1), 1) = 40.0;
  n.vol_start(n.at(1, 2), 1) = 1.0;
  n.st.node(n.at(1, 2), 1) = 30.0;
  n.lake_start(1, 1) = 4.0;
  n.st.lake(1, 1) = 8.0;
  n.vol_start(n.at(3, 1), 1) = 1.0;
  n.st.node(n.at(3, 1), 1) = 5.0;
  // The step: 0.5 m3 from 1.1 to 1.2, 0.5 m3 from 1.2 into the lake; the
  // lake gives 1 m3 to link 3 and lets 0.9 m3 settle (3.6 m3 stay
  // suspended); 0.4 m3 leave the outlet from 3.1.
  n.flux(n.at(1, 1), 1) = 0.5;
  n.flux(n.at(1, 2), 1) = 0.5;
  n.lake_given(1, 1) = 1.0;
  n.lake_settled(1, 1) = 0.9;
  n.lake_end(1, 1) = 4.0 + 0.5 - 1.0 - 0.9;
  n.flux(n.at(3, 1), 1) = 0.4;
  const double before = n.st.nodes_total() + n.st.lakes_total();
  const chan_attached_books b = chan_attached_transport(n.net, n.moves(), n.st, n.w);
  // By hand: 0.5 x 20 g/m3 leaves 1.1; 0.5 x 30 g/m3 leaves 1.2 for the
  // lake; the lake, then at 23 g on 4.5 m3, lets 1 m3 out (23/4.5 g); of
  // what stays (3.5 m3), 0.9 m3 of the 4.5 before settling settle; node
  // 3.1 lets 0.4 x 5 g/m3 out.
  EXPECT_NEAR(n.st.node(n.at(1, 1), 1), 40.0 - 10.0, 1e-12);
  EXPECT_NEAR(n.st.node(n.at(1, 2), 1), 30.0 + 10.0 - 15.0, 1e-12);
  const double released = 23.0 / 4.5;
  EXPECT_NEAR(b.to_lakes, 15.0, 1e-12);
  EXPECT_NEAR(b.from_lakes, released, 1e-12);
  const double kept = 23.0 - released;
  EXPECT_NEAR(b.settled, kept * 0.9 / 3.5, 1e-12);
  EXPECT_NEAR(n.st.bed[1], b.settled, 1e-12);
  EXPECT_NEAR(n.st.lake(1, 1), kept - b.settled, 1e-12);
  EXPECT_NEAR(n.st.node(n.at(3, 1), 1), 5.0 + released - 2.0, 1e-12);
  EXPECT_NEAR(b.outlet, 2.0, 1e-12);
  EXPECT_NEAR(before, n.st.nodes_total() + n.st.lakes_total() + b.outlet, 1e-12);
  EXPECT_EQ(b.node_reset, 0.0);
  EXPECT_EQ(b.lake_reset, 0.0);
}

TEST(ChannelAttached, WaterFlowingBackTakesTheMassOfTheSideItLeaves) {
  lake_network n;
  // Node 1.2 draws 0.5 m3 back from the lake, node 1.1 0.5 m3 back from 1.2.
  n.vol_start(n.at(1, 1), 1) = 1.0;
  n.st.node(n.at(1, 1), 1) = 2.0;
  n.vol_start(n.at(1, 2), 1) = 1.0;
  n.st.node(n.at(1, 2), 1) = 6.0;
  n.lake_start(1, 1) = 2.0;
  n.st.lake(1, 1) = 10.0;
  n.flux(n.at(1, 1), 1) = -0.5;
  n.flux(n.at(1, 2), 1) = -0.5;
  n.lake_given(1, 1) = 0.5;  // all of it to the link above: none out below
  n.lake_end(1, 1) = 1.5;
  const chan_attached_books b = chan_attached_transport(n.net, n.moves(), n.st, n.w);
  EXPECT_NEAR(n.st.node(n.at(1, 1), 1), 2.0 + 3.0, 1e-12);
  EXPECT_NEAR(n.st.node(n.at(1, 2), 1), 6.0 - 3.0 + 2.5, 1e-12);
  EXPECT_NEAR(n.st.lake(1, 1), 10.0 - 2.5, 1e-12);
  EXPECT_NEAR(b.from_lakes, 2.5, 1e-12);
  EXPECT_EQ(n.st.node(n.at(3, 1), 1), 0.0);
  EXPECT_EQ(b.outlet, 0.0);
}

}  // namespace
}  // namespace nivra
