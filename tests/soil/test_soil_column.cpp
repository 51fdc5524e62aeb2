// The soil column laid out again above a moving water table: layers of 10
// cm at 2 cm spacing, 20 cm at 5 cm and 30 cm at 10 cm, 20 cm nodes below
// them, on a ground at 100 m over an aquifer bottom at 80 m.
#include <gtest/gtest.h>

#include <vector>

#include "soil/richards.h"
#include "soil/soil_column.h"
#include "soil/soil_column_fixture.h"

namespace nivra {
namespace {

using testing::column;

TEST(SoilColumn, ATableAboveTheGroundLeavesOneSaturatedNode) {
  column c;
  c.step(99.0);
  const double held = c.water();
  const soil_column_result r = c.step(100.3);
  EXPECT_TRUE(r.at_surface);
  EXPECT_EQ(c.n, 1);
  EXPECT_NEAR(c.PH[1], 30.0 + 1.0, 1e-9);  // 30 cm above the ground plus half the top node
  EXPECT_NEAR(r.released, held, 1e-12);    // the whole column went to the aquifer
}

TEST(SoilColumn, LayoutAtLayerBoundariesAndCutNodes) {
  const struct {
    const char* what;
    double depth;      // of the table below the ground, m
    int table_node;
    double table_dz;   // thickness of the table node, cm
    double above_dz;   // of the node above it
  } cases[] = {
      // Exactly on the boundary of layers 1 and 2: layer 2's first node.
      {"on the first boundary", 0.10, 6, 5.0, 2.0},
      {"on the second boundary", 0.30, 10, 10.0, 5.0},
      {"on the bottom of the layers", 0.60, 13, 20.0, 10.0},
      // 3 nodes of 2 cm and a sliver of 1e-5 cm, which joins node 3.
      {"a sliver under three nodes", 0.06 + 1e-7, 4, 2.0, 2.0 + 1e-5},
      // 3 nodes of 2 cm and a cut node of 0.5 cm, thinner than half of
      // node 3, which takes it.
      {"a thin cut node", 0.065, 4, 2.0, 2.5},
      // In the aquifer below the layers: 20 cm nodes, the last cut to 15.
      {"below the layers", 0.95, 15, 20.0, 15.0},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    column c;
    const soil_column_result r = c.step(100.0 - k.depth);
    ASSERT_EQ(r.status, soil_column_status::ok);
    EXPECT_FALSE(r.at_surface);
    EXPECT_EQ(c.n, k.table_node);
    EXPECT_NEAR(c.DZ[c.n], k.table_dz, 1e-9);
    EXPECT_NEAR(c.DZ[c.n - 1], k.above_dz, 1e-6);
    // The nodes above the table span exactly the depth of the table.
    double span = 0.0;
    for (int j = 1; j < c.n; ++j) span += c.DZ[j];
    EXPECT_NEAR(span, k.depth * 100.0, 1e-6);
    // The table node is saturated at its layer's porosity.
    EXPECT_EQ(c.TH[c.n], c.soil[static_cast<std::size_t>(c.n)].theta_s);
  }
}

TEST(SoilColumn, ARisingTableReturnsTheWaterOfTheNodesItSubmerged) {
  column c;
  c.step(99.5);  // 50 cm of unsaturated soil
  // A profile of its own: wetter with depth.
  for (int j = 1; j < c.n; ++j) c.TH[static_cast<std::size_t>(j)] = 0.15 + 0.005 * j;
  double below_20cm = 0.0, depth = 0.0;
  for (int j = 1; j < c.n; ++j) {
    if (depth >= 20.0 - 1e-9) below_20cm += c.DZ[static_cast<std::size_t>(j)] * c.TH[static_cast<std::size_t>(j)];
    depth += c.DZ[static_cast<std::size_t>(j)];
  }
  const double before = c.water();
  const soil_column_result r = c.step(99.8);
  EXPECT_NEAR(r.released, below_20cm, 1e-9);
  EXPECT_NEAR(c.water() + r.released, before, 1e-9);
}

// A table falling from 20 cm under the ground (node 7, 15-20 cm, over it)
// drains the pores of the depths it leaves: node 7 stretches down to the
// new table, its water spread over the depth it now spans, and the column
// neither gives nor takes water, unless the spread falls under a trace
// above the residual content (0.05 + 1 % of the pores above it), which the
// aquifer gives. A table that stood at the ground has no node over it: the
// depths it leaves take the water of their height above the new table, at
// most the aquifer's storage coefficient (0.1).
TEST(SoilColumn, AFallingTableStretchesTheNodeOverItAcrossTheDepthsItDrained) {
  const struct {
    const char* what;
    double from, to;        // the table, m
    double over;            // water content of the node over the old table
    double drained;         // water content the drained depths take
    double taken;           // water the column takes from the aquifer, cm
  } cases[] = {
      // 5 cm of fall: node 7's 0.4 over 10 cm.
      {"a short fall", 99.8, 99.75, 0.40, 0.20, 0.0},
      // 15 cm of fall within the 5 cm nodes: 0.4 over 20 cm.
      {"three nodes", 99.8, 99.65, 0.40, 0.10, 0.0},
      // 30 cm of fall: 0.185 over 35 cm is under the trace of layer 2
      // (0.0537) and layer 3 (0.0535): the stretched node and the 30 cm
      // drained take the trace, 10 cm in layer 2, 20 cm in layer 3.
      {"a long fall", 99.8, 99.5, 0.185, -1.0, 15.0 * 0.0537 + 20.0 * 0.0535 - 5.0 * 0.185},
      // From the ground to 30 cm under it: 30 cm at the aquifer's 0.1.
      {"from the ground", 100.2, 99.7, 0.0, 0.1, 30.0 * 0.1},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    column c;
    c.step(k.from);
    const int old_n = c.n;
    if (old_n > 1) c.TH[static_cast<std::size_t>(old_n - 1)] = k.over;
    std::vector<double> kept(c.TH.begin(), c.TH.begin() + old_n);
    const double before = c.water();
    const soil_column_result r = c.step(k.to);
    ASSERT_EQ(r.status, soil_column_status::ok);
    EXPECT_NEAR(r.released, -k.taken, 1e-9);
    EXPECT_NEAR(c.water() + r.released, before, 1e-9);
    // The nodes over the stretched one keep their water; the stretched
    // node and those under it hold the spread (or the trace of their
    // layer).
    for (int j = 1; j < old_n - 1; ++j) EXPECT_EQ(c.TH[static_cast<std::size_t>(j)], kept[static_cast<std::size_t>(j)]);
    double depth = 0.0;
    for (int j = 1; j < c.n; ++j) {
      const std::size_t u = static_cast<std::size_t>(j);
      depth += c.DZ[u];
      if (j < old_n - 1) continue;
      const double trace = c.soil[u].theta_r + 0.01 * (c.soil[u].theta_s - c.soil[u].theta_r);
      EXPECT_NEAR(c.TH[u], k.drained < 0.0 ? trace : k.drained, 1e-9) << "node " << j;
    }
    EXPECT_NEAR(depth, (100.0 - k.to) * 100.0, 1e-9);
  }
}

// A column laid out from the ground with the spacings of the layers (nodes
// 1-5 of 2 cm, 6-9 of 5 cm, 10-12 of 10 cm, then 20 cm), at the water
// content 0.3, cut at a table held where its map puts it.
struct static_column {
  column c;
  soil_column_result cut(double table, bool keep = false) {
    for (int j = 1; j <= column::capacity; ++j) {
      c.DZ[j] = j <= 5 ? 2.0 : (j <= 9 ? 5.0 : (j <= 12 ? 10.0 : 20.0));
      c.TH[j] = 0.3;
      c.PH[j] = -1.0;
    }
    soil_column_cell k;
    k.numcells = &c.n;
    k.capacity = column::capacity;
    k.DZ = c.DZ.data();
    k.THETA = c.TH.data();
    k.PHEAD = c.PH.data();
    k.soil = c.soil.data();
    k.ground = 100.0;
    k.table = table;
    return cut_column_at_table(k, 60.0, keep);
  }
};

TEST(StaticTableColumn, ATableAboveTheGroundLeavesOneSaturatedNode) {
  static_column s;
  const soil_column_result r = s.cut(100.3);
  EXPECT_TRUE(r.at_surface);
  EXPECT_EQ(s.c.n, 1);
  EXPECT_NEAR(s.c.PH[1], 30.0 + 1.0, 1e-9);
  EXPECT_EQ(s.c.TH[1], 0.45);
}

TEST(StaticTableColumn, TheNodesAboveTheTableStandInHydrostaticEquilibrium) {
  const struct {
    double table;
    int n;              // the table node
    double cut_node;    // thickness of the node above it, cm
    double ground_head; // head of node 1, cm: minus its centre's height above the table
  } cases[] = {
      // The table on the bottom of node 8 (25 cm down): node 9 holds it.
      {99.75, 9, 5.0, -24.0},
      // 67 cm down, within node 13 (60-80 cm): its upper 7 cm stay a node.
      {99.33, 14, 7.0, -66.0},
      // Just under the bottom of node 8: node 9 would keep a sliver of
      // 5e-6 cm above the table, so node 9 holds the table whole.
      {99.75 - 5e-8, 9, 5.0, -24.0 - 5e-6},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.table);
    static_column s;
    const soil_column_result r = s.cut(k.table);
    EXPECT_FALSE(r.at_surface);
    ASSERT_EQ(s.c.n, k.n);
    EXPECT_NEAR(s.c.DZ[k.n - 1], k.cut_node, 1e-9);
    EXPECT_NEAR(s.c.PH[1], k.ground_head, 1e-6);
    // Every node above the table: head minus the height of its centre, its
    // water content on the curve; the table node saturated, its top at
    // the table.
    double z = 100.0;
    for (int j = 1; j < k.n; ++j) {
      z -= s.c.DZ[j] / 100.0;
      EXPECT_NEAR(s.c.PH[j], -((z - k.table) * 100.0 + s.c.DZ[j] / 2.0), 1e-6) << "node " << j;
      EXPECT_DOUBLE_EQ(s.c.TH[j], moisture_from_head(s.c.soil[j], retention_brooks_corey, s.c.PH[j]));
    }
    EXPECT_NEAR(z, k.table, 1e-6);
    EXPECT_DOUBLE_EQ(s.c.PH[k.n], s.c.DZ[k.n] / 2.0);
    EXPECT_EQ(s.c.TH[k.n], s.c.soil[k.n].theta_s);
  }
}

TEST(StaticTableColumn, KeepingTheSoilMoistureHoldsOnlyTheNodesWithinTheLayers) {
  // 1.3 m down: the nodes of the 60 cm of layers keep 0.3, the 20 cm nodes
  // below them take the curve's water content.
  static_column s;
  s.cut(98.7, true);
  ASSERT_EQ(s.c.n, 17);
  for (int j = 1; j <= 12; ++j) EXPECT_EQ(s.c.TH[j], 0.3) << "node " << j;
  for (int j = 13; j <= 16; ++j)
    EXPECT_DOUBLE_EQ(s.c.TH[j], moisture_from_head(s.c.soil[j], retention_brooks_corey, s.c.PH[j])) << "node " << j;
}

TEST(StaticTableColumn, AColumnTooShortForTheTableIsRefused) {
  static_column s;
  EXPECT_EQ(s.cut(40.0).status, soil_column_status::too_many_nodes);
}

}  // namespace
}  // namespace nivra
