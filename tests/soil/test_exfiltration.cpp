// Exfiltration by hand: one cell of 30 m (900 m2) on ground at 100 m with
// 1 cm of ponded water, over ten minutes, in every form of the soil
// schemes, with the water table above and below the water surface, on a
// blocked cell, on a fixed-level boundary cell and under a lake. Each
// case gives the hand-computed exchange x (m, up onto the surface) and the
// volumes the books must hold.
#include <gtest/gtest.h>

#include "core/arrays.h"
#include "soil/exfiltration.h"
#include "soil/soil_state.h"
#include "surface/boundary_codes.h"

namespace nivra {
namespace {

TEST(Exfiltration, EachFormPassesTheWaterBetweenTableAndSurfaceAtItsOwnRate) {
  const double dt = 600.0, area = 900.0;
  // The layered soil class 1: layer 1 of 10 cm at 1.8 cm/h over layer 2 of
  // 20 cm.
  array1d<soil_class> classes(1);
  classes[1].real(5) = 1.8;
  classes[1].real(23) = 10.0;
  classes[1].real(24) = 20.0;
  using form = exfiltration_form;
  const struct {
    const char* what;
    form f;
    bool aquifer;
    double table;    // m
    double ponded;   // m
    double blocked;  // share of the cell
    int boundary;    // overland boundary code
    int lake;        // channel lake of the cell
    double ks;       // redistribution Ks, m/s
    double x;        // expected exchange, m over the open part
    double depth;    // ponded depth after, m
  } cases[] = {
      // dh = 0.2 m through a 40 cm accounting layer at 1e-6 m/s:
      // 0.2 x 1e-6 / 0.4 x 600 = 3e-4 m.
      {"redistribution, table above", form::redistribution, true, 100.21, 0.01, 0.0, 0, 0, 1e-6, 3e-4, 0.0103},
      // Under the surface: the ponded water seeps down at the deep leakage
      // rate, 3.6 cm/h = 1e-5 m/s, 6 mm in ten minutes ...
      {"redistribution, table below", form::redistribution, true, 100.005, 0.01, 0.0, 0, 0, 1e-6, -0.006, 0.004},
      // ... never more than is ponded.
      {"redistribution, little ponded", form::redistribution, true, 100.001, 0.002, 0.0, 0, 0, 1e-6, -0.002, 0.0},
      // A held table does not take ponded water.
      {"redistribution, held table below", form::redistribution, false, 100.005, 0.01, 0.0, 0, 0, 1e-6, 0.0, 0.01},
      {"redistribution, held table above", form::redistribution, false, 100.21, 0.01, 0.0, 0, 0, 1e-6, 3e-4, 0.0103},
      // A fast soil would pass more than the aquifer holds above the
      // surface: dh x Sy = 0.2 x 0.3 = 0.06 m.
      {"redistribution, fast soil", form::redistribution, true, 100.21, 0.01, 0.0, 0, 0, 1e-3, 0.06, 0.07},
      // The first two layers of the class: 0.3 x 1.8 / 30 x 600 / 3600 = 0.003 m.
      {"layered, table above", form::layered, true, 100.31, 0.01, 0.0, 0, 0, 0.0, 0.003, 0.013},
      {"layered, table below", form::layered, true, 100.0, 0.01, 0.0, 0, 0, 0.0, -0.006, 0.004},
      // Over an aquifer the column passes what the aquifer holds above the
      // surface over its step of 1200 s: 0.2 x 0.3 x 600 / 1200 = 0.03 m.
      {"Richards, aquifer", form::richards, true, 100.21, 0.01, 0.0, 0, 0, 0.0, 0.03, 0.04},
      // Over a held table, the column's mean Ks over its depth: 0.5 x 3.6 /
      // 100 x 600 / 3600 = 0.003 m.
      {"Richards, held table", form::richards, false, 100.51, 0.01, 0.0, 0, 0, 0.0, 0.003, 0.013},
      {"Richards, held table below", form::richards, false, 99.9, 0.01, 0.0, 0, 0, 0.0, 0.0, 0.01},
      // A quarter of the cell blocked: the depth over the open part rises by
      // x, the volume is x over the open three quarters.
      {"blocked", form::redistribution, true, 100.21, 0.01, 0.25, 0, 0, 1e-6, 3e-4, 0.0103},
      // A fixed level keeps its depth: the boundary takes what arrives and
      // gives what seeps down.
      {"fixed level, up", form::redistribution, true, 100.21, 0.01, 0.0, boundary::fixed_level, 0, 1e-6, 3e-4, 0.01},
      {"fixed level, down", form::redistribution, true, 100.005, 0.01, 0.0, boundary::level_series, 0, 1e-6, -0.006,
       0.01},
      // Under a lake the table meets the lake through its bed.
      {"lake cell", form::redistribution, true, 100.21, 0.01, 0.0, 0, 1, 1e-6, 0.0, 0.01},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    double ground[2] = {0.0, 100.0}, table[2] = {0.0, k.table}, depth[2] = {0.0, k.ponded};
    double ks[2] = {0.0, k.ks}, storage[2] = {0.0, 0.3}, blocked[2] = {0.0, k.blocked};
    double avgks[2] = {0.0, 3.6}, totaldz[2] = {0.0, 100.0}, change[2] = {0.0, 0.0};
    int exfil[2] = {0, 1}, bound[2] = {0, k.boundary}, lake[2] = {0, k.lake}, soiltype[2] = {0, 1};
    exfiltration_domain d;
    d.ncells = 1;
    d.cell_area = area;
    d.form = k.f;
    d.saturated_groundwater = k.aquifer;
    d.exfiltrating = exfil;
    d.water_table = table;
    d.ground = ground;
    d.ov_depth = depth;
    d.boundary_type = bound;
    d.blocked = blocked;
    d.channel_lake = lake;
    d.conductivity = ks;
    d.layer_depth = 40.0;
    d.classes = &classes;
    d.soiltype = soiltype;
    d.column_conductivity = avgks;
    d.column_depth = totaldz;
    if (k.aquifer) {
      d.storage = storage;
      d.groundwater_dt = 1200.0;
      d.leakage = 3.6 / 360000.0;
      d.aquifer_change = change;
    }
    const exfiltration_books b = exfiltrate(d, dt);
    const double open = 1.0 - k.blocked;
    EXPECT_NEAR(depth[1], k.depth, 1e-12);
    EXPECT_NEAR(b.exfiltration, k.x * open * area, 1e-9);
    EXPECT_NEAR(change[1], k.aquifer ? -k.x * open : 0.0, 1e-12);
    const bool held = boundary::holds_level(k.boundary);
    EXPECT_NEAR(b.boundary_out, held && k.x > 0.0 ? k.x * area : 0.0, 1e-9);
    EXPECT_NEAR(b.boundary_in, held && k.x < 0.0 ? -k.x * area : 0.0, 1e-9);
  }
}

TEST(Exfiltration, OnlyCellsWhoseTableReachedTheGroundTakePart) {
  double ground[3] = {0.0, 100.0, 100.0}, table[3] = {0.0, 100.21, 100.21}, depth[3] = {0.0, 0.01, 0.01};
  double ks[3] = {0.0, 1e-6, 1e-6}, change[3] = {};
  int exfil[3] = {0, 0, 1};
  exfiltration_domain d;
  d.ncells = 2;
  d.cell_area = 900.0;
  d.exfiltrating = exfil;
  d.water_table = table;
  d.ground = ground;
  d.ov_depth = depth;
  d.conductivity = ks;
  d.layer_depth = 40.0;
  d.saturated_groundwater = true;
  d.aquifer_change = change;
  const exfiltration_books b = exfiltrate(d, 600.0);
  EXPECT_EQ(depth[1], 0.01);
  EXPECT_EQ(change[1], 0.0);
  EXPECT_NEAR(depth[2], 0.0103, 1e-12);
  EXPECT_NEAR(b.exfiltration, 3e-4 * 900.0, 1e-9);
}

}  // namespace
}  // namespace nivra
