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
  // Two layers under redistribution when the accounting reaches no deeper
  // than the top layer (50 = 20 cm would leave no third layer): the mixing
  // layer of 0.05 m and the rest of the top layer, 0.15 m, both from the
  // top water.
  struct shallow_row {
    const char* what;
    bool table;
    double depth;  // m
    double theta[2];
  } shallow[] = {
      {"no table", false, 0.0, {0.3, 0.3}},
      {"deep table", true, 0.5, {0.3, 0.3}},
      // Table at 0.10 m: the second layer (0.05 to 0.20 m) is saturated
      // below it on top of its own water, (0.045 + 0.10 x 0.45) / 0.15
      // (more than its pores: the step holds it to them).
      {"table in the second layer", true, 0.10, {0.3, (0.045 + 0.10 * 0.45) / 0.15}},
      // Table at 0.03 m: the mixing layer saturated below it, the second
      // layer wholly.
      {"table in the mixing layer", true, 0.03, {(0.015 + 0.02 * 0.45) / 0.05, 0.45}},
      {"table at the surface", true, 0.0, {0.45, 0.45}},
  };
  for (const shallow_row& r : shallow) {
    soil_layer_water w = three_layers();
    w.moist_cm = 20.0;
    w.layers = 2;
    w.water_table = r.table;
    w.table_depth = r.depth;
    for (int l = 1; l <= 2; ++l) EXPECT_NEAR(layer_water_content(w, l), r.theta[l - 1], 1e-12) << r.what << " " << l;
  }
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

// A layered soil whose class has a 30 cm first layer (porosity 0.5) and a
// 50 cm second layer (porosity 0.4), with 9 cm of water in the first and
// 10 cm below it, cut into 2 layers or 3 (a 10 cm mixing layer).
layered_moisture_in layered(int layers, double table_cm) {
  layered_moisture_in in;
  in.layers = layers;
  if (layers == 3) {
    in.t[1] = 0.10;
    in.t[2] = 0.20;
    in.t[3] = 0.50;
  } else {
    in.t[1] = 0.30;
    in.t[2] = 0.50;
  }
  in.water_top_cm = 9.0;
  in.water_bottom_cm = 10.0;
  in.P1 = 0.5;
  in.P2 = 0.4;
  in.table_cm = table_cm;
  return in;
}

TEST(SoilColumnWater, LayeredSoilWaterContentsFromTheClassAndTheTable) {
  struct row {
    const char* what;
    int layers;
    double table_cm;
    double theta[4];   // layers 1..3
    double thetas[4];
  } rows[] = {
      // Below the column (no table: the class's two layers + 1 cm): the
      // accounting's water over each layer, 9 / 30 and 10 / 50.
      {"2 layers, no table", 2, 81.0, {0, 0.3, 0.2}, {0, 0.5, 0.4}},
      // A table in the second layer at 60 cm: 10 cm of water over the
      // 30 cm above it, and 20 cm of pores full: (10 + 20 x 0.4) / 50.
      {"2 layers, table in layer 2", 2, 60.0, {0, 0.3, (10.0 + 20.0 * 0.4) / 50.0}, {0, 0.5, 0.4}},
      // A table in the first layer at 20 cm: (9 + 10 x 0.5) / 30; the
      // second layer wholly below it is saturated.
      {"2 layers, table in layer 1", 2, 20.0, {0, (9.0 + 10.0 * 0.5) / 30.0, 0.4}, {0, 0.5, 0.4}},
      {"2 layers, table at the surface", 2, 0.0, {0, 0.5, 0.4}, {0, 0.5, 0.4}},
      // Three layers, no table: the first layer's water shared by depth,
      // 9 x 10/30 over 10 cm and 9 x 20/30 over 20 cm; 10 cm over 50 below.
      {"3 layers, no table", 3, 81.0, {0, 0.3, 0.3, 0.2}, {0, 0.5, 0.5, 0.4}},
      // Table at 20 cm, in the middle layer: the 9 cm of the top water now
      // lie over the 20 cm above the table; the mixing layer holds half of
      // it (4.5 / 10), the middle layer the other half over its upper
      // 10 cm and 10 cm of full pores: (4.5 + 5) / 20.
      {"3 layers, table in layer 2", 3, 20.0, {0, 0.45, (4.5 + 10.0 * 0.5) / 20.0, 0.4}, {0, 0.5, 0.5, 0.4}},
      // Table at 5 cm in the mixing layer: (9 + 5 x 0.5) / 10.
      {"3 layers, table in layer 1", 3, 5.0, {0, (9.0 + 5.0 * 0.5) / 10.0, 0.5, 0.4}, {0, 0.5, 0.5, 0.4}},
      // Table at 50 cm, in the bottom layer: (10 + 30 x 0.4) / 50.
      {"3 layers, table in layer 3", 3, 50.0, {0, 0.3, 0.3, (10.0 + 30.0 * 0.4) / 50.0}, {0, 0.5, 0.5, 0.4}},
  };
  for (const row& r : rows) {
    const layered_moisture_out out = layered_soil_moisture(layered(r.layers, r.table_cm));
    for (int l = 1; l <= r.layers; ++l) {
      EXPECT_NEAR(out.theta[l], r.theta[l], 1e-12) << r.what << " layer " << l;
      EXPECT_EQ(out.thetas[l], r.thetas[l]) << r.what << " layer " << l;
    }
  }
  // The accounting's water is all found again when the table lies below
  // the column.
  const layered_moisture_in in = layered(3, 90.0);
  const layered_moisture_out out = layered_soil_moisture(in);
  double water = 0.0;
  for (int l = 1; l <= 3; ++l) water += out.theta[l] * in.t[l] * 100.0;
  EXPECT_NEAR(water, 19.0, 1e-12);
}

// A column of three 0.1 m layers under a 10 m2 cell, porosity 0.4, water
// content 0.25, a tenth of the mass dissolved in each.
contam_column_cell three_layer_cell() {
  contam_column_cell c;
  c.layers = 3;
  c.area = 10.0;
  for (int l = 1; l <= 3; ++l) {
    c.thickness[l] = 0.1;
    c.porosity[l] = 0.4;
    c.theta[l] = 0.25;
    c.dissolved[l] = 0.1;
  }
  return c;
}

double sum(const double* m, int n) {
  double s = 0.0;
  for (int l = 1; l <= n; ++l) s += m[l];
  return s;
}

TEST(SoilColumnStep, PercolationCarriesTheDissolvedMassDownAndTheBooksClose) {
  contam_column_cell c = three_layer_cell();
  // 1 cm of water through the inner boundaries, 0.5 cm out of the bottom.
  c.water_flux[1] = c.water_flux[2] = 0.01;
  c.water_flux[3] = 0.005;
  c.infiltrated = 2.0;
  c.taken_by_surface = 0.5;
  double mass[4] = {0.0, 50.0, 20.0, 10.0};
  const double before = sum(mass, 3);
  const contam_column_moved m = contam_column_step(c, 600.0, mass);
  // Each layer's water is 0.25 m3; the top layer after the surface's
  // 1.5 g holds 51.5 g, 5.15 g dissolved at 20.6 g/m3, and sends
  // 0.01 x 10 x 20.6 = 2.06 g down; the middle 0.8 g, the bottom
  // 0.005 x 10 x 4 = 0.2 g out.
  EXPECT_NEAR(mass[1], 51.5 - 2.06, 1e-12);
  EXPECT_NEAR(mass[2], 20.0 + 2.06 - 0.8, 1e-12);
  EXPECT_NEAR(mass[3], 10.0 + 0.8 - 0.2, 1e-12);
  EXPECT_NEAR(m.to_table, 0.2, 1e-12);
  EXPECT_EQ(m.from_table, 0.0);
  EXPECT_EQ(m.to_surface, 0.0);
  EXPECT_NEAR(sum(mass, 3), before + 2.0 - 0.5 - m.to_table - m.decayed, 1e-12);
}

TEST(SoilColumnStep, WaterRisingFromTheTableBringsItsConcentrationUp) {
  // Each layer sends up, through its own top, the water rising through
  // that top at its own dissolved concentration (a tenth of its mass in
  // 0.25 m3); the layer above takes it, the surface takes the top layer's,
  // and the table's water (3 g/m3) enters the bottom layer.
  struct row {
    const char* what;
    double flux[4];  // through the top of layer 1 .. the bottom of layer 3, m (negative: up)
    double mass[4];  // g at the start
    double from_table, to_surface, after[4];
  } rows[] = {
      // 2 mm up through every boundary, 2 g/m3 in every layer: each
      // boundary carries 0.002 x 10 x 2 = 0.04 g up; the table brings
      // 0.002 x 10 x 3 = 0.06 g.
      {"the same flux and concentration everywhere", {-0.002, -0.002, -0.002, -0.002}, {0.0, 5.0, 5.0, 5.0}, 0.06,
       0.04, {0.0, 5.0, 5.0, 5.02}},
      // 1, 2, 3 and 4 mm up through the four boundaries, 2, 4 and 6 g/m3
      // in the layers: the top layer sends 0.001 x 10 x 2 = 0.02 g to the
      // surface, the middle 0.002 x 10 x 4 = 0.08 g into the top, the
      // bottom 0.003 x 10 x 6 = 0.18 g into the middle, and the table
      // 0.004 x 10 x 3 = 0.12 g into the bottom.
      {"a flux and a concentration of its own at each boundary", {-0.001, -0.002, -0.003, -0.004},
       {0.0, 5.0, 10.0, 15.0}, 0.12, 0.02, {0.0, 5.0 - 0.02 + 0.08, 10.0 - 0.08 + 0.18, 15.0 - 0.18 + 0.12}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    contam_column_cell c = three_layer_cell();
    for (int l = 0; l <= 3; ++l) c.water_flux[l] = r.flux[l];
    c.table_conc = 3.0;  // g/m3
    double mass[4] = {0.0, r.mass[1], r.mass[2], r.mass[3]};
    const contam_column_moved m = contam_column_step(c, 600.0, mass);
    EXPECT_NEAR(m.from_table, r.from_table, 1e-12);
    EXPECT_NEAR(m.to_surface, r.to_surface, 1e-12);
    for (int l = 1; l <= 3; ++l) EXPECT_NEAR(mass[l], r.after[l], 1e-12) << "layer " << l;
    EXPECT_NEAR(sum(mass, 3), sum(r.mass, 3) + m.from_table - m.to_surface, 1e-12);
  }
}

TEST(SoilColumnStep, ALayerNeverSendsMoreThanItsDissolvedMass) {
  struct row {
    const char* what;
    double theta, flux, decay;
  } rows[] = {
      // 10 m of water through a layer holding 0.025 m3: far more than
      // its dissolved mass would allow.
      {"a flood through the layers", 0.25, 10.0, 0.0},
      // A rate that takes the whole dissolved part in one step.
      {"decay of everything dissolved", 0.25, 0.0, 1.0},
      // No water in the layers: no concentration and nothing moves.
      {"dry layers", 0.0, 0.5, 0.0},
      {"water of 1e-16 m3 or less", 1e-17, 0.5, 0.0},
  };
  for (const row& r : rows) {
    contam_column_cell c = three_layer_cell();
    for (int l = 1; l <= 3; ++l) c.theta[l] = r.theta;
    for (int l = 1; l <= 3; ++l) c.water_flux[l] = r.flux;
    c.decay_rate = r.decay;
    double mass[4] = {0.0, 8.0, 0.0, 0.0};
    const contam_column_moved m = contam_column_step(c, 600.0, mass);
    for (int l = 1; l <= 3; ++l) EXPECT_GE(mass[l], 0.0) << r.what;
    EXPECT_LE(m.decayed, 0.8 + 1e-12) << r.what;
    EXPECT_LE(m.to_table, 0.8 + 1e-12) << r.what;
    EXPECT_EQ(m.reset, 0.0) << r.what;
    EXPECT_NEAR(sum(mass, 3) + m.decayed + m.to_table, 8.0, 1e-12) << r.what;
    if (r.theta <= 1e-16 * 4) EXPECT_EQ(mass[1], 8.0) << r.what;
  }
}

TEST(SoilColumnStep, AStaticSoilReportsItsDecayAndKeepsItsMass) {
  contam_column_cell c = three_layer_cell();
  c.static_soil = true;
  c.decay_rate = 1e-4;
  c.infiltrated = 4.0;  // a static top layer takes nothing from the surface
  double mass[4] = {0.0, 40.0, 0.0, 0.0};
  const contam_column_moved m = contam_column_step(c, 600.0, mass);
  EXPECT_NEAR(m.decayed, 40.0 * 0.1 * 1e-4 * 600.0, 1e-12);
  EXPECT_EQ(mass[1], 40.0);
}

TEST(SoilColumnStep, ANegativeTopLayerIsSetToZeroAndReported) {
  // The surface took up more than the layer held: the kernel makes it up
  // and says how much, for the books.
  contam_column_cell c = three_layer_cell();
  c.taken_by_surface = 3.0;
  double mass[4] = {0.0, 1.0, 2.0, 0.0};
  const contam_column_moved m = contam_column_step(c, 60.0, mass);
  EXPECT_EQ(mass[1], 0.0);
  EXPECT_DOUBLE_EQ(m.reset, 2.0);
  EXPECT_EQ(mass[2], 2.0);
}

TEST(SoilColumnStep, LayerConcentrationPerKilogramOfSoil) {
  // 0.1 m x 10 m2 at porosity 0.4: 0.6 m3 of grains, 1590 kg; 15.9 g is
  // 10 mg/kg. No grains, no concentration.
  EXPECT_NEAR(soil_layer_concentration(15.9, 0.4, 0.1, 10.0), 10.0, 1e-12);
  EXPECT_EQ(soil_layer_concentration(15.9, 1.0, 0.1, 10.0), 0.0);
}

TEST(SoilColumnStep, TheWaterExchangesWithTheTopLayersWaterWithinItsBounds) {
  // 100 m2, 0.01 per second for 60 s: a difference of 1 g/m3 moves 60 g.
  struct row {
    const char* what;
    double soil_conc, soil_dissolved, water_conc, water_mass, water_volume, expected;
  } rows[] = {
      // Soil water at 3 g/m3, the cell's 10 m3 at 1: 2 x 0.01 x 100 x 60
      // = 120 g would lift the water to 13 g/m3; it stops at the soil's 3:
      // (3 - 1) x 10 = 20 g.
      {"up to the soil water's concentration", 3.0, 1000.0, 1.0, 10.0, 10.0, 20.0},
      // A large pond: the rate decides, 120 g.
      {"the rate", 3.0, 1000.0, 1.0, 1000.0, 1000.0, 120.0},
      // A layer with 50 g dissolved gives at most 50.
      {"the layer's dissolved mass", 3.0, 50.0, 1.0, 1000.0, 1000.0, 50.0},
      // Water above the soil's concentration gives: (1 - 3) x 60 = -120.
      {"to the soil", 1.0, 1000.0, 3.0, 3000.0, 1000.0, -120.0},
      // ... never more than it holds.
      {"the water's mass", 1.0, 1000.0, 3.0, 30.0, 10.0, -30.0},
      {"equal concentrations", 2.0, 1000.0, 2.0, 20.0, 10.0, 0.0},
  };
  for (const row& r : rows) {
    soil_water_exchange_in x;
    x.soil_conc = r.soil_conc;
    x.soil_dissolved_mass = r.soil_dissolved;
    x.water_conc = r.water_conc;
    x.water_mass = r.water_mass;
    x.water_volume = r.water_volume;
    x.rate = 0.01;
    x.area = 100.0;
    EXPECT_NEAR(soil_water_exchange(x, 60.0), r.expected, 1e-9) << r.what;
  }
}

}  // namespace
}  // namespace nivra
