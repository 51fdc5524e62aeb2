// The soil column laid out again above a moving water table: layers of 10
// cm at 2 cm spacing, 20 cm at 5 cm and 30 cm at 10 cm, 20 cm nodes below
// them, on a ground at 100 m over an aquifer bottom at 80 m.
#include <gtest/gtest.h>

#include <vector>

#include "soil/richards.h"
#include "soil/soil_column.h"

namespace nivra {
namespace {

struct column {
  static constexpr int capacity = 150;
  int n = 1;
  std::vector<double> DZ, TH, PH;
  std::vector<richards_node> soil;
  soil_column_layers layers;
  soil_column_scratch scratch;

  column() : DZ(capacity + 1, 0.0), TH(capacity + 1, 0.0), PH(capacity + 1, 0.0) {
    const double thick[3] = {10, 20, 30}, dz[3] = {2, 5, 10}, phi[3] = {0.45, 0.42, 0.40};
    int last = 0;
    for (int j = 0; j < 3; ++j) {
      layers.thickness[j] = thick[j];
      layers.spacing[j] = dz[j];
      layers.porosity[j] = phi[j];
      last += static_cast<int>(thick[j] / dz[j]);
      layers.last_node[j] = last;
    }
    layers.aquifer_spacing = 20.0;
    for (int j = 0; j <= capacity; ++j) {
      const int layer = j <= 5 ? 0 : (j <= 9 ? 1 : 2);
      richards_node s = brooks_corey_node(1.0, phi[layer], 0.05, 0.3, 20.0);
      soil.push_back(s);
    }
    DZ[1] = 2.0;
    TH[1] = phi[0];
  }
  soil_column_result step(double table) {
    soil_column_cell c;
    c.numcells = &n;
    c.capacity = capacity;
    c.DZ = DZ.data();
    c.THETA = TH.data();
    c.PHEAD = PH.data();
    c.soil = soil.data();
    c.ground = 100.0;
    c.table = table;
    c.bottom = 80.0;
    c.aquifer_yield = 0.1;
    scratch.prepare(capacity);
    return soil_column_step(c, layers, scratch);
  }
  double water() const { return column_water(DZ.data(), TH.data(), n); }
};

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
  // The table falls back: the drained depths hold water at their height
  // above it (0.35 and more within 50 cm of it, for a bubbling head of 20
  // cm), but no more than the 0.1 the aquifer gave up for them.
  const double wet = c.water();
  const soil_column_result back = c.step(99.5);
  EXPECT_NEAR(back.released, -(50.0 - 20.0) * 0.1, 1e-9);
  EXPECT_NEAR(c.water() + back.released, wet, 1e-9);
}

}  // namespace
}  // namespace nivra
