// The frozen-ground index against hand calculations of its hourly rule,
// its 24-hour window, and the frozen-soil step's unfrozen share of the soil
// water (1 thawed, 0 at -10 C, one value by hand between).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "clock/clock_state.h"
#include "core/process.h"
#include "hydromet/frozen_ground.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "run/steps.h"
#include "soil/infiltration.h"
#include "soil/infiltration_step.h"
#include "soil/richards.h"
#include "soil/soil_state.h"
#include "surface/lake_state.h"

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
  EXPECT_NEAR(g.index[1], 0.99875 * 50.0 - 2.0 / 24.0, 1e-12);
  EXPECT_EQ(g.index[2], 0.0);
  EXPECT_NEAR(g.index[3], 0.5, 1e-12);  // 12 degree-days / 24 hours
  // Twenty-four cold hours add a degree-day per degree of frost.
  for (int h = 1; h < 24; ++h) g.hour();
  double expect = 0.0;
  for (int h = 0; h < 24; ++h) expect = 0.99875 * expect + 0.5;
  EXPECT_NEAR(g.index[3], expect, 1e-10);
}

TEST(FrozenGround, SnowDampsTheIndex) {
  // 20 cm of snow, K = 0.5: under freezing air the cold reaches the ground
  // through exp(-0.4 x 0.08 x 20) of it; the old index decays less.
  frost_grid g;
  g.depth[1] = 0.2;
  g.T[1] = -10.0;
  g.index[1] = 30.0;
  g.hour();
  const double keep = 0.99875 + 0.00125 * (1.0 - std::exp(-0.4 * 0.5 * 20.0));
  EXPECT_NEAR(g.index[1], keep * 30.0 + std::exp(-0.4 * 0.08 * 20.0) * 10.0 / 24.0, 1e-12);
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

// The ground temperatures of the hand cases: thawed at exactly 0 C, frozen
// through at -10 C, and -3 C between.
void set_hour(model_state& ms, std::initializer_list<double> kelvin) {
  ms.hydromet.gtfsm = 1;
  ms.hydromet.ground_temp.alloc(ms.grid.ncells);
  int c = 0;
  for (double t : kelvin) ms.hydromet.ground_temp[++c] = t;
  ms.clock.time_tol = 1e-6;
  ms.clock.model_time = 100.0;
  ms.clock.hourly_dt_days = 1.0 / 24.0;
  ms.clock.soil_energy_clock.next_time = 100.0;
}

TEST(FrozenGround, EveryRichardsNodeTakesItsOwnFactor) {
  // Four columns of three nodes (the third the table node): nodes 1 and 3
  // with pore index 2 and bubbling head -10 cm, node 2 with 0.5 and -20
  // cm. At -3 C: (3 x 334000 / 270.15 / (0.1 x 9.81))^(-1/2) = 0.0162631
  // and (3 x 334000 / 270.15 / (0.2 x 9.81))^(-2) = 2.79816e-7. Cell 4, an
  // overland lake cell, keeps its factors.
  auto ms = make_model_state();
  ms->grid.ncells = 4;
  soil_state& s = ms->soil;
  s.inf_richards = 1;
  s.numcells.alloc(4);
  s.richards.alloc(4, 3);
  s.SE.alloc(4, 3);
  s.SE.fill(1.0);
  for (int c = 1; c <= 4; ++c) {
    s.numcells[c] = 3;
    for (int j = 0; j <= 3; ++j)
      s.richards.soil(c, j) = j == 2 ? brooks_corey_node(1.0, 0.4, 0.05, 0.5, -20.0)
                                     : brooks_corey_node(1.0, 0.4, 0.05, 2.0, -10.0);
  }
  ms->lake.overland_lake_map_given = 1;
  ms->lake.oland_lake_new.alloc(4);
  ms->lake.oland_lake_new[4] = 1;
  set_hour(*ms, {273.15, 263.15, 270.15, 263.15});
  frozen_soil_step(*ms);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_EQ(s.SE(1, j), 1.0);
    EXPECT_EQ(s.SE(2, j), 0.0);
    EXPECT_NEAR(s.SE(3, j), j == 2 ? 2.79816e-7 : 0.0162631, j == 2 ? 1e-11 : 1e-7) << "node " << j;
    EXPECT_EQ(s.SE(4, j), 1.0);
  }
}

TEST(FrozenGround, EveryLayerOfALayeredSoilTakesItsOwnFactor) {
  // Soil class 5: layer 1 pore index 2 and suction 7 cm (psi = 7 / -0.7 cm
  // = -0.1 m), layer 2 0.5 and 14 cm (-0.2 m), layer 3 2 and 7 cm. Cell 4
  // at -0.5 C: (0.5 x 334000 / 272.65 / (0.1 x 9.81))^(-1/2) = 0.0400202.
  auto ms = make_model_state();
  ms->grid.ncells = 4;
  soil_state& s = ms->soil;
  s.inf_layered_soil = 1;
  s.sm_accounting = 1;
  soil_class& k = s.soil_classes()[5];
  const double lambda[3] = {2.0, 0.5, 2.0}, psi[3] = {7.0, 14.0, 7.0};
  for (int j = 1; j <= 3; ++j) {
    k.real(25 + j) = lambda[j - 1];
    k.real(j) = psi[j - 1];
  }
  s.soiltype.alloc(4);
  s.soiltype.fill(5);
  s.SE.alloc(4, 4);
  s.SE.fill(1.0);
  set_hour(*ms, {273.15, 263.15, 270.15, 272.65});
  frozen_soil_step(*ms);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_EQ(s.SE(1, j), 1.0);
    EXPECT_EQ(s.SE(2, j), 0.0);
    EXPECT_NEAR(s.SE(3, j), j == 2 ? 2.79816e-7 : 0.0162631, j == 2 ? 1e-11 : 1e-7) << "layer " << j;
  }
  EXPECT_NEAR(s.SE(4, 1), 0.0400202, 1e-7);
}

TEST(FrozenGround, TheSoilStartsTheRunUnfrozen) {
  // The first infiltration step of a run comes before the first hour's
  // ground temperature: every layer and node starts at the factor 1, one
  // per node of the longest Richards column.
  auto ms = make_model_state();
  ms->grid.ncells = 2;
  ms->hydromet.gtfsm = 1;
  ms->soil.inf_richards = 1;
  ms->soil.richards.alloc(2, 7);
  alloc_soil_energy(*ms);
  ASSERT_EQ(ms->soil.SE.cols(), 7);
  for (int c = 1; c <= 2; ++c)
    for (int j = 1; j <= 7; ++j) EXPECT_EQ(ms->soil.SE(c, j), 1.0);
  ms = make_model_state();
  ms->grid.ncells = 2;
  ms->hydromet.gtfsm = 1;
  ms->soil.inf_layered_soil = ms->soil.sm_accounting = 1;
  alloc_soil_energy(*ms);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(ms->soil.SE(2, j), 1.0);
}

TEST(FrozenGround, ASoilWithoutAFreezingCurveStopsTheRun) {
  // A Richards column under the Haverkamp curve has no pore index or
  // bubbling head; a layered class without a pore index neither.
  reset_process_state();
  auto ms = make_model_state();
  ms->grid.ncells = 1;
  ms->hydromet.gtfsm = 1;
  ms->soil.inf_richards = 1;
  ms->soil.richards_c_option = retention_haverkamp;
  ::testing::internal::CaptureStdout();
  init_infiltration_state(*ms);
  std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_NE(console.find("the Haverkamp curve (RICHARDS_C_OPTION HAVERCAMP) has neither"), std::string::npos)
      << console;

  reset_process_state();
  ms = make_model_state();
  ms->grid.ncells = 1;
  ms->hydromet.gtfsm = 1;
  soil_state& s = ms->soil;
  s.inf_layered_soil = s.sm_accounting = 1;
  s.soiltype.alloc(1);
  s.soiltype[1] = 3;
  soil_class& k = s.soil_classes()[3];
  for (int j = 1; j <= 3; ++j) {
    k.real(j) = 10.0;          // suction head, cm
    k.real(4 + j) = 1.0;       // conductivity, cm/h
    k.real(7 + j) = 0.4;       // porosity
    k.real(10 + j) = 0.2;      // initial water content
    k.real(25 + j) = 0.3;      // pore index
  }
  k.real(23) = k.real(24) = 20.0;
  k.real(27) = 0.0;
  for (array1d<double>* a : {&s.sm_depth, &s.sm_water, &s.sm_water_top, &s.sm_water_bottom}) a->alloc(1);
  s.THETA_ML.alloc(1, 4);
  ::testing::internal::CaptureStdout();
  init_infiltration_state(*ms);
  console = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_NE(console.find("layer 2 of soil class 3 (cell 1) has 0 and 10 cm"), std::string::npos) << console;
  reset_process_state();
}

}  // namespace
}  // namespace nivra::testing
