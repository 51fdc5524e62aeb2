// The face between a lake and the land beside it, worked out by hand, in
// every overland scheme. Two cells side by side (10 m, the face between them
// is cell 1's right face), one under a lake whose floor lies far below the
// shore. Water leaves a lake over its shore with the depth it stands above
// the shore, the ground of the land cell, and runs by Manning's law with the
// land cell's roughness; an overland lake gives no more than the head above
// its initial level. Water running into a lake flows over what the land cell
// holds above its retention depth. A call of 2 ms moves too little to change
// the land's depth, so the face's discharge is that of the levels set.
#include <gtest/gtest.h>

#include <cmath>

#include "grid_fixture.h"
#include "inputs/grid_state.h"
#include "support/test_support.h"
#include "surface/lake_state.h"
#include "surface/overland.h"
#include "surface/overland_state.h"

namespace nivra::testing {
namespace {

using lake_shore = process_test;

constexpr double dx = 10.0, n_lake = 0.03, n_land = 0.05, floor_ground = 97.0;

// Manning's discharge per unit width over depth d on slope S with n.
double manning(double S, double n, double d) {
  const double q = std::sqrt(std::fabs(S)) / n * std::pow(d, 5.0 / 3.0);
  return S < 0.0 ? -q : q;
}

struct shore_case {
  const char* name;
  bool overland_lake;   // an overland lake (initial level `initial`), else a channel lake
  int lake_cell;        // 1 or 2; the other is land
  double level, initial;
  double land_ground, land_depth, land_retention;
  double q;             // expected discharge per unit width, cell 1 to cell 2 (m2/s)
};

std::unique_ptr<overland_cells> lake_and_land(const shore_case& sc, int overtype) {
  const int land = 3 - sc.lake_cell;
  test_grid g;
  g.rows = 1;
  g.cols = 2;
  g.dx = dx;
  g.ground = [&sc, land](int, int c) { return c == land ? sc.land_ground : floor_ground; };
  auto w = make_grid<overland_cells>(g);
  w->quiet = true;
  w->overland.overtype = overtype;
  w->overland.dist_rough[sc.lake_cell] = n_lake;
  w->overland.dist_rough[land] = n_land;
  w->overland.ov_depth[land] = sc.land_depth;
  w->overland.retent_dep[land] = sc.land_retention;
  lake_state& lake = w->lake;
  if (sc.overland_lake) {
    lake.overland_lake_map_given = 1;
    lake.num_olakes = 1;
    lake.oland_lake_new.alloc(2);
    lake.oland_lake_new[sc.lake_cell] = 1;
    lake.olake_table.alloc(1);
    lake.olake_table[1].value[olake_value::level] = sc.level;
    lake.olake_table[1].value[olake_value::initial_level] = sc.initial;
    lake.olake_table[1].cell_count = 1;
  } else {
    add_channel_lake(*w, {sc.lake_cell}, sc.level, 1000.0);
  }
  return w;
}

TEST_F(lake_shore, water_leaves_a_lake_with_the_depth_it_stands_above_the_shore) {
  const shore_case cases[] = {
      // A channel lake 3.5 m deep over its floor stands 0.3 m above the shore.
      {"channel lake onto the land on its right", false, 1, 100.5, 0.0, 100.2, 0.0, 0.0,
       manning(0.03, n_land, 0.3)},
      {"channel lake onto the land on its left", false, 2, 100.5, 0.0, 100.2, 0.0, 0.0,
       manning(-0.03, n_land, 0.3)},
      {"channel lake onto land holding water", false, 1, 100.5, 0.0, 100.2, 0.1, 0.02,
       manning(0.02, n_land, 0.3)},
      {"land running into a channel lake", false, 1, 100.0, 0.0, 100.2, 0.05, 0.01,
       manning(-0.025, n_land, 0.04)},
      {"channel lake below the land's ground", false, 2, 100.1, 0.0, 100.2, 0.0, 0.0, 0.0},
      // An overland lake 0.5 m above its initial level.
      {"overland lake above a shore higher than its initial level", true, 1, 100.5, 100.0, 100.2, 0.0, 0.0,
       manning(0.03, n_land, 0.3)},
      {"overland lake above a shore lower than its initial level", true, 2, 100.5, 100.0, 99.8, 0.0, 0.0,
       manning(-0.07, n_land, 0.5)},
      {"land running into an overland lake", true, 2, 100.0, 99.9, 100.2, 0.05, 0.0,
       manning(0.025, n_land, 0.05)},
  };
  for (const int overtype : {overland_scheme::explicit_faces, overland_scheme::ade, overland_scheme::ade_pc}) {
    for (const shore_case& sc : cases) {
      SCOPED_TRACE(std::string(sc.name) + ", overtype " + std::to_string(overtype));
      auto w = lake_and_land(sc, overtype);
      const double dt = 0.002;
      const overland_result r = overtype == overland_scheme::explicit_faces
                                    ? route_overland_explicit(w->domain(), dt)
                                    : route_overland_ade(w->domain(), dt);
      ASSERT_EQ(r.status, overland_status::ok);
      const double q = w->overland.ov_qx[1] / dx;
      if (sc.q == 0.0)
        EXPECT_EQ(q, 0.0);
      else
        EXPECT_NEAR(q, sc.q, 1e-3 * std::fabs(sc.q));
    }
  }
}

// A channel lake that stands 0.3 m above its shore but holds only 1 m3
// would give about 46 m3 over a 10 s step (0.47 m2/s over the 10 m face):
// in every scheme it gives what it holds and no more, the land takes all of
// it, and the lake books it once as water it gave the land.
TEST_F(lake_shore, a_lake_gives_no_more_over_its_shore_than_it_holds) {
  const shore_case sc{"small lake", false, 1, 100.5, 0.0, 100.2, 0.0, 0.0, 0.0};
  for (const int overtype : {overland_scheme::explicit_faces, overland_scheme::ade, overland_scheme::ade_pc}) {
    SCOPED_TRACE(overtype);
    auto w = lake_and_land(sc, overtype);
    w->lake.lake_volume[1] = 1.0;
    const overland_result r = overtype == overland_scheme::explicit_faces ? route_overland_explicit(w->domain(), 10.0)
                                                                          : route_overland_ade(w->domain(), 10.0);
    ASSERT_EQ(r.status, overland_status::ok);
    EXPECT_GE(w->lake.lake_volume[1], 0.0);
    EXPECT_NEAR(w->lake.lake_volume[1], 0.0, 1e-12);
    EXPECT_NEAR(w->overland.ov_depth[2] * dx * dx, 1.0, 1e-12);
    EXPECT_NEAR(w->lake.lake_out_dv[1], 1.0, 1e-12);
    EXPECT_EQ(w->lake.lake_in_dv[1], 0.0);
  }
}

}  // namespace
}  // namespace nivra::testing
