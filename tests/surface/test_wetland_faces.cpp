// The faces of wetland cells, worked out by hand. Two cells side by side
// (10 m, the face between them is cell 1's right face), a wetland layer
// 5 cm thick whose water seeps at Kw = 0.02 m/s per unit slope, a transition
// of 4 cm above it from the linear flow (Cw = 0.3 m/s) to Manning's (nw =
// 0.1), plain ground of n = 0.03 (cell 1) and 0.05 (cell 2). One call of a
// hundredth of a second moves too little to change the depths, so the
// face's discharge is that of the depths set.
//
// Explicit scheme, from cell j (here 1) toward k (2), S = slope - (hk -
// hj) / dx:
//   j wetland, b = hj - Tw (S >= 0), else hk - Tw (k wetland) or hk - ret
//   b <= 0: q = hj S Kw (S >= 0); S hk Kw (S < 0, k wetland); 0 otherwise
//   b > 0, k wetland: q = S Tw Kw + the flow above the layer over
//     d = (hk for S < 0, else hj) - Tw: Manning with nw when d > Db, else
//     (1 - d/Db) d S Cw + d/Db Manning
//   b > 0, k plain: q = b^5/3 sqrt(S) / n[k] (S >= 0), -sqrt(|S|) / n[j]
//     b^5/3 (S < 0)
//   j plain: Manning with n[j] over the upwind depth.
// ADE schemes, from the upwind cell u of the two water surfaces, over its
// depth d: a wetland u gives d S Kw when d <= Tw, else Tw S Kw plus the
// flow above the layer over d - Tw (as above, Manning when at or above Db);
// a plain u gives Manning with n[u].
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "grid_fixture.h"
#include "inputs/grid_state.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

using wetland_faces = process_test;

constexpr double dx = 10.0, Tw = 0.05, Kw = 0.02, Db = 0.04, Cw = 0.3, nw = 0.1, n1 = 0.03, n2 = 0.05;

// Manning's discharge per unit width over depth d on slope S with n.
double manning(double S, double n, double d) {
  const double q = std::sqrt(std::fabs(S)) / n * std::pow(d, 5.0 / 3.0);
  return S < 0.0 ? -q : q;
}

struct face_case {
  const char* name;
  int overtype;     // 1 explicit, 2 ADE, 3 ADE-PC
  bool wet1, wet2;  // which cells are wetland cells
  double z1, z2, h1, h2;
  double q;         // expected discharge per unit width, cell 1 to cell 2 (m2/s)
};

std::unique_ptr<overland_cells> two_cells(const face_case& fc) {
  test_grid g;
  g.rows = 1;
  g.cols = 2;
  g.dx = dx;
  g.ground = [&fc](int, int c) { return c == 1 ? fc.z1 : fc.z2; };
  auto w = make_grid<overland_cells>(g);
  w->quiet = true;
  w->overland.overtype = fc.overtype;
  w->overland.dist_rough[1] = n1;
  w->overland.dist_rough[2] = n2;
  w->overland.ov_depth[1] = fc.h1;
  w->overland.ov_depth[2] = fc.h2;
  lake_state& lake = w->lake;
  lake.wetlands_on = 1;
  lake.wetland_mask.alloc(2);
  lake.wetland_mask[1] = fc.wet1 ? 1 : no_wetland;
  lake.wetland_mask[2] = fc.wet2 ? 1 : no_wetland;
  lake.wetland_props.alloc(1, 8);
  namespace wp = wetland_prop;
  lake.wetland_props[1][wp::water_depth] = 0.3;  // read only at an event's start
  lake.wetland_props[1][wp::layer_thickness] = Tw;
  lake.wetland_props[1][wp::layer_conductivity] = Kw;
  lake.wetland_props[1][wp::transition_depth] = Db;
  lake.wetland_props[1][wp::linear_coef] = Cw;
  lake.wetland_props[1][wp::manning_n] = nw;
  lake.wetland_props[1][wp::ground_offset] = 0.5;  // read only when the wetlands are read
  return w;
}

TEST_F(wetland_faces, carry_what_the_branches_give_by_hand) {
  // Explicit slopes: (z1 - z2) / dx - (h2 - h1) / dx.
  const face_case cases[] = {
      // Explicit scheme, both cells wetland.
      {"explicit, within the layer, downhill", 1, true, true, 100.01, 100.0, 0.04, 0.03, 0.04 * 0.002 * Kw},
      {"explicit, within the layer, uphill", 1, true, true, 100.0, 100.0, 0.03, 0.04, -0.001 * 0.04 * Kw},
      {"explicit, above the layer past the transition", 1, true, true, 100.0, 100.0, 0.15, 0.10,
       0.005 * Tw * Kw + manning(0.005, nw, 0.10)},
      {"explicit, above the layer within the transition", 1, true, true, 100.0, 100.0, 0.07, 0.06,
       0.001 * Tw * Kw + (1.0 - 0.02 / Db) * 0.02 * 0.001 * Cw + (0.02 / Db) * manning(0.001, nw, 0.02)},
      {"explicit, above the layer, uphill", 1, true, true, 100.0, 100.0, 0.06, 0.12,
       -0.006 * Tw * Kw + manning(-0.006, nw, 0.07)},
      // Wetland to plain and back.
      {"explicit, wetland over its layer onto the plain", 1, true, false, 100.0, 100.0, 0.09, 0.01,
       std::pow(0.04, 5.0 / 3.0) * std::sqrt(0.008) / n2},
      {"explicit, plain into the wetland", 1, true, false, 100.0, 100.0, 0.01, 0.09,
       -std::sqrt(0.008) / n1 * std::pow(0.09, 5.0 / 3.0)},
      {"explicit, the layer seeps onto the plain", 1, true, false, 100.01, 100.0, 0.03, 0.0, 0.03 * 0.004 * Kw},
      {"explicit, a dry plain above gives nothing", 1, true, false, 100.0, 100.1, 0.02, 0.0, 0.0},
      {"explicit, plain cell toward a wetland, downhill", 1, false, true, 100.0, 100.0, 0.05, 0.02,
       manning(0.003, n1, 0.05)},
      {"explicit, plain cell toward a wetland, uphill", 1, false, true, 100.0, 100.0, 0.02, 0.05,
       manning(-0.003, n1, 0.05)},
      // ADE and ADE-PC: the upwind cell decides.
      {"ade, within the layer, downhill", 2, true, true, 100.0, 100.0, 0.04, 0.03, 0.04 * 0.001 * Kw},
      {"ade, within the layer, uphill", 2, true, true, 100.0, 100.0, 0.03, 0.04, 0.04 * -0.001 * Kw},
      {"ade, above the layer past the transition", 2, true, true, 100.0, 100.0, 0.15, 0.10,
       0.005 * Tw * Kw + manning(0.005, nw, 0.10)},
      {"ade, above the layer within the transition", 2, true, true, 100.0, 100.0, 0.07, 0.06,
       0.001 * Tw * Kw + ((1.0 - 0.02 / Db) * 0.001 * Cw + (0.02 / Db) * manning(0.001, nw, 0.02) / 0.02) * 0.02},
      {"ade, wetland upwind of a plain cell, uphill", 2, false, true, 100.0, 100.0, 0.01, 0.12,
       -0.011 * Tw * Kw + manning(-0.011, nw, 0.07)},
      {"ade, plain cell upwind of a wetland", 2, false, true, 100.0, 100.0, 0.05, 0.02, manning(0.003, n1, 0.05)},
      {"ade, wetland ground lower than the plain", 2, true, false, 99.9, 100.0, 0.13, 0.0,
       0.003 * Tw * Kw + manning(0.003, nw, 0.08)},
      {"ade-pc, within the layer, downhill", 3, true, true, 100.0, 100.0, 0.04, 0.03, 0.04 * 0.001 * Kw},
  };
  for (const face_case& fc : cases) {
    SCOPED_TRACE(fc.name);
    auto w = two_cells(fc);
    const overland_result r = fc.overtype == 1 ? route_overland_explicit(w->domain(), 0.01)
                                               : route_overland_ade(w->domain(), 0.01);
    ASSERT_EQ(r.status, overland_status::ok);
    const double q = w->overland.ov_qx[1] / dx;
    if (fc.q == 0.0)
      EXPECT_EQ(q, 0.0);
    else
      EXPECT_NEAR(q, fc.q, 1e-6 * std::fabs(fc.q));
    // Whatever left one cell reached the other.
    EXPECT_NEAR(w->overland.ov_depth[1] + w->overland.ov_depth[2], fc.h1 + fc.h2, 1e-15);
  }
}

}  // namespace
}  // namespace nivra::testing
