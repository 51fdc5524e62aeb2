// The contaminant soil column of one cell: layer water contents by hand
// from the accounting's water and the water table, a layer's decay capped
// at what it holds, and the reset of a negative layer mass.
#include <gtest/gtest.h>

#include "quality/contaminant/soil_column_kernels.h"

namespace nivra {
namespace {

// Top layer 20 cm, soil-moisture layer 50 cm, mixing layer 5 cm: layers of
// 0.05, 0.15 and 0.30 m; 6 cm of water in the top layer, 9 below it.
soil_layer_water three_layers() {
  soil_layer_water w;
  w.top_cm = 20.0;
  w.moist_cm = 50.0;
  w.mixing_cm = 5.0;
  w.water_top_cm = 6.0;
  w.water_bottom_cm = 9.0;
  w.porosity = 0.45;
  w.thickness[1] = 0.05;
  w.thickness[2] = 0.15;
  w.thickness[3] = 0.30;
  w.layers = 3;
  return w;
}

TEST(SoilColumnWater, LayerWaterContentsFromTheAccountingAndTheTable) {
  struct row {
    const char* what;
    bool table;
    double depth;  // m
    double theta[3];
  } rows[] = {
      // Without a table: 6 / 20 in the two upper layers, 9 / 30 below.
      {"no table", false, 0.0, {0.3, 0.3, 0.3}},
      // A table deep below the column changes nothing.
      {"deep table", true, 2.0, {0.3, (15.0 * 6.0 / 20.0 / 100.0) / 0.15, 0.09 / 0.30}},
      // Table at the surface (or above it): every layer at porosity.
      {"table at the surface", true, 0.0, {0.45, 0.45, 0.45}},
      {"ponded table", true, -0.1, {0.45, 0.45, 0.45}},
      // Table at 0.35 m: the bottom layer is saturated below it,
      // (0.09 + 0.15 x 0.45) / 0.30; the upper layers keep their water.
      {"table in the bottom layer", true, 0.35, {0.3, 0.3, (0.09 + 0.15 * 0.45) / 0.30}},
      // Table at 0.10 m: the middle layer (0.05 to 0.20 m) is partly
      // saturated, (0.045 + 0.10 x 0.45) / 0.15; the bottom layer wholly.
      {"table in the middle layer", true, 0.10, {0.3, (0.045 + 0.10 * 0.45) / 0.15, 0.45}},
      // Table at 0.02 m: the mixing layer is saturated below it,
      // (0.015 + 0.03 x 0.45) / 0.05; everything below at porosity.
      {"table in the mixing layer", true, 0.02, {(0.015 + 0.03 * 0.45) / 0.05, 0.45, 0.45}},
  };
  for (const row& r : rows) {
    soil_layer_water w = three_layers();
    w.water_table = r.table;
    w.table_depth = r.depth;
    for (int l = 1; l <= 3; ++l) EXPECT_NEAR(layer_water_content(w, l), r.theta[l - 1], 1e-12) << r.what << " " << l;
  }
  // Two layers under redistribution with no mixing layer of its own: the
  // second layer holds the bottom water over the depth below the top.
  soil_layer_water two = three_layers();
  two.layers = 2;
  two.mixing_cm = 20.0;
  two.thickness[2] = 0.30;
  EXPECT_NEAR(layer_water_content(two, 2), 0.3, 1e-12);
  two.water_table = true;
  two.table_depth = 0.40;
  EXPECT_NEAR(layer_water_content(two, 2), (0.09 + 0.10 * 0.45) / 0.30, 1e-12);
}

TEST(SoilColumnLayer, DecayIsCappedAtTheDissolvedMass) {
  // 40 g, a fifth dissolved, 1e-4 /s for 600 s: 40 x 0.2 x 0.06 = 0.48 g.
  layer_decay r = soil_layer_decay(40.0, 0.2, 1e-4, 600.0, false);
  EXPECT_DOUBLE_EQ(r.decayed, 0.48);
  EXPECT_DOUBLE_EQ(r.mass, 39.52);
  // A rate that would take more than the dissolved 8 g takes 8 g.
  r = soil_layer_decay(40.0, 0.2, 1.0, 600.0, false);
  EXPECT_DOUBLE_EQ(r.decayed, 8.0);
  EXPECT_DOUBLE_EQ(r.mass, 32.0);
  // A static soil reports the decay and keeps its mass.
  r = soil_layer_decay(40.0, 0.2, 1e-4, 600.0, true);
  EXPECT_DOUBLE_EQ(r.decayed, 0.48);
  EXPECT_DOUBLE_EQ(r.mass, 40.0);
  EXPECT_EQ(soil_layer_decay(0.0, 0.2, 1e-4, 600.0, false).decayed, 0.0);
}

TEST(SoilColumnLayer, ANegativeMassIsSetToZeroAndWhatThatMadeIsReturned) {
  double m = -0.75;
  EXPECT_EQ(reset_negative(m), 0.75);
  EXPECT_EQ(m, 0.0);
  m = 3.0;
  EXPECT_EQ(reset_negative(m), 0.0);
  EXPECT_EQ(m, 3.0);
}

}  // namespace
}  // namespace nivra
