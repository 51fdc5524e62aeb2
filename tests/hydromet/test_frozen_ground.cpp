// The frozen-ground index against hand calculations of its hourly rule,
// its 24-hour window, and the frozen-soil step's unfrozen share of the soil
// water (1 thawed, 0 at -10 C, one value by hand between).
#include <gtest/gtest.h>


#include "clock/clock_state.h"
#include "hydromet/frozen_ground.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "soil/infiltration.h"
#include "soil/soil_state.h"

namespace nivra::testing {
namespace {

// One hour of the index for cells of index I0 under a steady temperature T
// and snow depths d (m).
struct frost_grid {
  static constexpr int n = 3;
  double T[n + 1] = {};
  double depth[n + 1] = {};
  double index[n + 1] = {};
  frost_history history;
  frost_grid() { history.prepare(n); }
  void hour(double k = 0.5) {
    frost_cells cells;
    cells.n = n;
    cells.air_temp = T;
    cells.snow_depth = depth;
    cells.k = k;
    cells.cfgi = index;
    cfgi_update(history, cells);
  }
};

TEST(FrozenGround, TheIndexDecaysHourlyAndNeverFallsBelowZero) {
  frost_grid g;
  g.index[1] = 50.0;
  g.T[1] = 2.0;  // thawing air, bare ground
  g.index[2] = 0.01;
  g.T[2] = 10.0;
  g.index[3] = 0.0;
  g.T[3] = -12.0;
  g.hour();
  EXPECT_NEAR(g.index[1], 49.854167, 1e-6);  // 0.99875 x 50 - 2 / 24
  EXPECT_EQ(g.index[2], 0.0);
  EXPECT_NEAR(g.index[3], 0.5, 1e-12);  // 12 degree-days / 24 hours
  // Twenty-four cold hours: 0.5 a hour, each hour's share decaying by
  // 0.99875 an hour after it, the geometric sum
  // 0.5 (1 - 0.99875^24) / 0.00125 = 11.829071.
  for (int h = 1; h < 24; ++h) g.hour();
  EXPECT_NEAR(g.index[3], 11.829071, 1e-6);
}

TEST(FrozenGround, SnowDampsTheIndex) {
  // 20 cm of snow, K = 0.5: under freezing air the cold reaches the ground
  // through exp(-0.4 x 0.08 x 20) of it; the old index decays less.
  frost_grid g;
  g.depth[1] = 0.2;
  g.T[1] = -10.0;
  g.index[1] = 30.0;
  g.hour();
  // By hand: the old index keeps 0.99875 + 0.00125 (1 - e^-4) = 0.9999771
  // of itself, 29.999313, and e^-0.64 x 10 / 24 = 0.219705 is added.
  EXPECT_NEAR(g.index[1], 30.219018, 1e-6);
}

TEST(FrozenGround, TheWindowIsTheMeanOfTheLast24Hours) {
  frost_history h;
  h.prepare(1);
  double T[2] = {0.0, 0.0};
  // The first hour fills the window with itself.
  T[1] = 5.0;
  h.push(T);
  EXPECT_DOUBLE_EQ(h.mean(1), 5.0);
  // Hours 2..30 at 2, 3, ..., 30 C: the window holds 7 .. 30.
  for (int k = 2; k <= 30; ++k) {
    T[1] = k;
    h.push(T);
  }
  EXPECT_NEAR(h.mean(1), (7.0 + 30.0) / 2.0, 1e-12);
}

TEST(FrozenGround, TheFrozenSoilStepGivesTheUnfrozenShareOfTheSoilWater) {
  auto ms = make_model_state();
  ms->grid.ncells = 3;
  ms->hydromet.gtfsm = 1;
  ms->soil.sm_accounting = 1;
  ms->soil.inf_redist = 1;
  ms->soil.SE.alloc(3, 3);
  ms->soil.pore_dist_index.alloc(3);
  ms->soil.capillary_head.alloc(3);
  ms->hydromet.ground_temp.alloc(3);
  for (int c = 1; c <= 3; ++c) {
    ms->soil.pore_dist_index[c] = 2.0;
    ms->soil.capillary_head[c] = 0.07;  // m: a bubbling head of 0.1 m
  }
  ms->hydromet.ground_temp[1] = 273.15;
  ms->hydromet.ground_temp[2] = 263.15;
  ms->hydromet.ground_temp[3] = 270.15;
  ms->clock.time_tol = 1e-6;
  ms->clock.model_time = 100.0;
  ms->clock.hourly_dt_days = 1.0 / 24.0;
  ms->clock.soil_energy_clock.next_time = 100.0;
  frozen_soil_step(*ms);
  for (int layer = 1; layer <= 3; ++layer) {
    EXPECT_EQ(ms->soil.SE(1, layer), 1.0);
    EXPECT_EQ(ms->soil.SE(2, layer), 0.0);
    // At -3 C: (3 x 334000 / 270.15 / (0.1 x 9.81))^(-1/2) = 3780.88^-0.5.
    EXPECT_NEAR(ms->soil.SE(3, layer), 0.0162630, 1e-6);
  }
  EXPECT_NEAR(ms->clock.soil_energy_clock.next_time, 100.0 + 1.0 / 24.0, 1e-12);
  // Not due again within the hour.
  ms->hydromet.ground_temp[2] = 280.0;
  frozen_soil_step(*ms);
  EXPECT_EQ(ms->soil.SE(2, 1), 0.0);
}

}  // namespace
}  // namespace nivra::testing
