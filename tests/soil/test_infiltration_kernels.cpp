// The Green-Ampt kernels against the Green-Ampt solution of a ponded
// surface, against each other, and in the states of their fronts: a pause
// in the rain, a new front after a dry spell, a steady supply in steps of a
// minute or a second, dry cells, a depth that enters whole, fixed-level
// boundary cells, and a cell that cannot converge.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "soil/infiltration.h"
#include "soil/soil_state.h"
#include "soil_fixture.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::ponded_green_ampt_cm;
using testing::soil_cells;

enum class kernel { single, redistribution, layered };

const char* name_of(kernel k) {
  switch (k) {
    case kernel::single: return "single layer";
    case kernel::redistribution: return "redistribution";
    default: return "layered";
  }
}

// Three layers of the test soil.
void make_uniform_layers(soil_cells& cells, double thick = 5.0) {
  const double ks[3] = {1.0, 1.0, 1.0};
  cells.layered_class(ks, thick);
}

infiltration_result call(kernel k, soil_cells& cells, double dt, int step) {
  const infiltration_domain d = cells.domain();
  switch (k) {
    case kernel::single: return infil_ga_cells(d, dt);
    case kernel::redistribution: return infil_redist_flux(d, dt, step);
    default: return infil_layered_cells(d, dt);
  }
}

// Cumulative infiltration (cm) of a ponded cell after each of the given
// times (hours), with steps of dt seconds; the pond is topped up to 1 m
// before every step.
std::vector<double> ponded_run(kernel k, double dt, const std::vector<double>& hours) {
  soil_cells cells(1);
  if (k == kernel::layered) make_uniform_layers(cells);
  std::vector<double> F;
  int step = 0;
  for (double t : hours) {
    const int until = static_cast<int>(std::lround(t * 3600.0 / dt));
    while (step < until) {
      cells.depth[1] = 1.0;
      EXPECT_EQ(call(k, cells, dt, ++step).status, infiltration_status::ok);
    }
    F.push_back(cells.soil->cum_infil[1] * 100.0);
  }
  return F;
}

TEST(GreenAmptReference, PondedSurface) {
  // Ks 1 cm/h, suction 10 cm, deficit 0.3.
  EXPECT_NEAR(ponded_green_ampt_cm(0.5), 2.080, 0.0005);
  EXPECT_NEAR(ponded_green_ampt_cm(1.0), 3.157, 0.0005);
  EXPECT_NEAR(ponded_green_ampt_cm(2.0), 4.908, 0.0005);
}

TEST(SingleLayerKernel, FollowsTheGreenAmptSolutionWithAnErrorGrowingWithTheStep) {
  const std::vector<double> hours = {0.5, 1.0, 2.0};
  const double at_one_hour = ponded_green_ampt_cm(1.0);
  std::vector<double> F = ponded_run(kernel::single, 10.0, hours);
  for (std::size_t i = 0; i < hours.size(); ++i) {
    const double exact = ponded_green_ampt_cm(hours[i]);
    EXPECT_NEAR(F[i], exact, 0.01 * exact) << hours[i] << " h";
  }
  double previous = 0.0;
  for (double dt : {10.0, 60.0, 300.0, 900.0}) {
    const double error = std::fabs(ponded_run(kernel::single, dt, {1.0})[0] - at_one_hour) / at_one_hour;
    EXPECT_GT(error, previous) << dt << " s";
    previous = error;
  }
}

TEST(RedistributionKernel, FollowsTheGreenAmptSolutionWithinAPerMilleAtAMinute) {
  const std::vector<double> hours = {0.5, 1.0, 2.0};
  std::vector<double> F = ponded_run(kernel::redistribution, 60.0, hours);
  for (std::size_t i = 0; i < hours.size(); ++i) {
    const double exact = ponded_green_ampt_cm(hours[i]);
    EXPECT_NEAR(F[i], exact, 0.001 * exact) << hours[i] << " h";
  }
}

TEST(LayeredKernel, ThreeEqualLayersReproduceTheSingleLayer) {
  // Layers of 3 cm: the 2.5 cm of water that enters (5 cm/h for 30
  // minutes, then a pond that empties) takes the front into layer 3.
  soil_cells single(1), layered(1);
  make_uniform_layers(layered, 3.0);
  const double dt = 30.0;
  for (int step = 1; step <= 240; ++step) {
    const double rain = step <= 60 ? 0.05 / 3600.0 * dt : 0.0;
    single.depth[1] += rain;
    layered.depth[1] += rain;
    ASSERT_EQ(infil_ga_cells(single.domain(), dt).status, infiltration_status::ok);
    ASSERT_EQ(infil_layered_cells(layered.domain(), dt).status, infiltration_status::ok);
    const double F = single.soil->cum_infil[1];
    EXPECT_NEAR(layered.soil->cum_infil[1], F, 1e-9 * F + 1e-15) << step;
    EXPECT_NEAR(layered.depth[1], single.depth[1], 1e-12) << step;
    EXPECT_NEAR(layered.soil->inf_rate[1], single.soil->inf_rate[1], 1e-9 * single.soil->inf_rate[1]) << step;
  }
  // The front went through both upper layers.
  EXPECT_GT(layered.soil->wetdep[1], 6.0);
  EXPECT_NEAR(single.soil->cum_infil[1] * 100.0 + single.depth[1] * 100.0, 2.5, 1e-9);
}

TEST(LayeredKernel, AFirmLowerLayerSlowsTheFrontOnceItGetsThere) {
  // Layer 2 conducts a tenth of layer 1: the two soils take the same water
  // until the front reaches 5 cm, less afterwards.
  soil_cells open(1), firm(1);
  make_uniform_layers(open);
  const double ks[3] = {1.0, 0.1, 0.1};
  firm.layered_class(ks, 5.0);
  bool crossed = false;
  for (int step = 1; step <= 360; ++step) {
    open.depth[1] = firm.depth[1] = 1.0;
    infil_layered_cells(open.domain(), 10.0);
    infil_layered_cells(firm.domain(), 10.0);
    if (firm.soil->wetdep[1] <= 5.0) {
      EXPECT_DOUBLE_EQ(firm.soil->cum_infil[1], open.soil->cum_infil[1]) << step;
    } else {
      crossed = true;
    }
  }
  EXPECT_TRUE(crossed);
  EXPECT_LT(firm.soil->cum_infil[1], 0.9 * open.soil->cum_infil[1]);
  EXPECT_LT(firm.soil->inf_rate[1], open.soil->inf_rate[1]);
}

TEST(LayeredKernel, ASaturatedLayerTakesOnePercentOfItsPorosity) {
  soil_cells cells(1);
  make_uniform_layers(cells);
  cells.soil->THETA_ML(1, 1) = 0.45;  // saturated
  cells.depth[1] = 0.0001;            // 0.01 cm: enters whole
  ASSERT_EQ(infil_layered_cells(cells.domain(), 60.0).status, infiltration_status::ok);
  EXPECT_EQ(cells.depth[1], 0.0);
  EXPECT_NEAR(cells.soil->wetdep[1], 0.01 / (0.01 * 0.45), 1e-12);
  EXPECT_TRUE(std::isfinite(cells.soil->inf_rate[1]));
}

// One redistribution step of a cell with the given depth of supply.
void redist_step(soil_cells& cells, int& step, double supply_m, double dt = 60.0) {
  cells.depth[1] += supply_m;
  ASSERT_EQ(infil_redist_flux(cells.domain(), dt, ++step).status, infiltration_status::ok);
}

TEST(RedistributionKernel, TheSurfaceFrontDrainsWhenTheRainStopsAndANewFrontFormsAfterTheDrySpell) {
  soil_cells cells(1);
  const soil_state& s = *cells.soil;
  int step = 0;
  double supplied = 0.0;
  // 40 minutes of 5 cm/h: the surface ponds and saturates.
  double last_wet_rate = 0.0;
  for (int i = 0; i < 40; ++i) {
    redist_step(cells, step, 0.05 / 60.0);
    supplied += 0.05 / 60.0;
    last_wet_rate = s.inf_rate[1];
  }
  EXPECT_GT(s.iter_pond_1[1], 0);
  EXPECT_DOUBLE_EQ(s.theta_front[1], 0.45);
  EXPECT_GT(cells.depth[1], 0.0);

  // The rain stops: the pond soaks in, then the front redistributes: its
  // water content falls toward the initial one and the soil keeps its water.
  double previous = s.theta_front[1];
  double held = -1.0;
  for (int i = 0; i < 120; ++i) {
    const bool ponded = cells.depth[1] > 0.0;
    redist_step(cells, step, 0.0);
    if (ponded) continue;
    EXPECT_LE(s.theta_front[1], previous) << i;
    EXPECT_GE(s.theta_front[1], 0.15) << i;
    EXPECT_EQ(s.redist_infil[1], s.cum_infil[1]);
    if (held < 0.0) held = s.cum_infil[1];
    EXPECT_EQ(s.cum_infil[1], held);
    EXPECT_EQ(s.iter_n[1], step);
    previous = s.theta_front[1];
  }
  EXPECT_LT(s.theta_front[1], 0.45 - 0.01);
  EXPECT_NEAR(s.cum_infil[1] + cells.depth[1], supplied, 1e-15);
  EXPECT_EQ(s.surface_moisture[1], s.theta_front[1]);

  // Rain again: a second, saturated front forms above the first, and the
  // drier surface takes water faster than the ponded one did.
  redist_step(cells, step, 0.10 / 60.0);
  supplied += 0.10 / 60.0;
  EXPECT_EQ(s.no_wat_prof[1], 2);
  EXPECT_DOUBLE_EQ(s.surface_moisture[1], 0.45);
  EXPECT_GT(s.inf_rate[1], last_wet_rate);
  EXPECT_NEAR(s.cum_infil[1] + cells.depth[1], supplied, 1e-15);
}

TEST(RedistributionKernel, SupplyBelowTheConductivityEntersWholeAndLeavesTheSurfaceAsItWas) {
  soil_cells cells(1);
  const soil_state& s = *cells.soil;
  int step = 0;
  for (int i = 0; i < 30; ++i) redist_step(cells, step, 0.005 / 60.0);  // 0.5 cm/h
  EXPECT_EQ(cells.depth[1], 0.0);
  EXPECT_NEAR(s.cum_infil[1], 30 * 0.005 / 60.0, 1e-15);
  EXPECT_NEAR(s.inf_rate[1], 0.5, 1e-12);
  EXPECT_EQ(s.iter_i_less_k[1], step);
  EXPECT_EQ(s.surface_moisture[1], 0.15);
}

// A steady supply of ratio x Ks for an hour, in steps of dt seconds: the
// infiltrated and the ponded depth (m) at its end.
struct steady_supply {
  double F, pond;
};
steady_supply steady_supply_hour(double ratio, double dt) {
  soil_cells cells(1);
  const double K = cells.soil->sat_hyd_cond[1];
  int step = 0;
  for (int i = 0, n = static_cast<int>(std::lround(3600.0 / dt)); i < n; ++i) redist_step(cells, step, ratio * K * dt, dt);
  return {cells.soil->cum_infil[1], cells.depth[1]};
}

// Whichever regime a steady supply keeps the cell in (below the
// conductivity, just above it before the surface saturates, ponded), the
// hour's infiltration in steps of a minute agrees with that in steps of a
// second: the regimes are chosen per step, and none of them may hang on
// the step. All the supply below the capacity enters; a supply that ponds
// leaves a pond; the water is all in the soil or on the cell.
TEST(RedistributionKernel, ASteadySupplyInfiltratesTheSameInStepsOfAMinuteOrASecond) {
  struct supply_case {
    double ratio;  // supply over Ks
    bool ponds;
    double bound;  // relative, minute against second
  };
  const supply_case cases[] = {{0.5, false, 1e-12}, {0.99, false, 1e-12}, {1.01, false, 1e-12}, {1.5, false, 1e-12},
                               {2.5, true, 1e-5},   {5.0, true, 1e-4},    {20.0, true, 3e-3}};
  for (const supply_case& k : cases) {
    SCOPED_TRACE(k.ratio);
    const double supplied = k.ratio / 360000.0 * 3600.0;
    const steady_supply minute = steady_supply_hour(k.ratio, 60.0), second = steady_supply_hour(k.ratio, 1.0);
    EXPECT_NEAR(minute.F, second.F, k.bound * second.F);
    for (const steady_supply& r : {minute, second}) {
      // (3,600 additions of the step's supply round to 1e-13 of it.)
      EXPECT_NEAR(r.F + r.pond, supplied, 1e-13 * supplied);
      if (k.ponds) {
        EXPECT_GT(r.pond, 1e-4);
      } else {
        EXPECT_NEAR(r.F, supplied, 1e-13 * supplied);
      }
    }
  }
}

TEST(InfiltrationKernels, ADryCellTakesNothing) {
  for (kernel k : {kernel::single, kernel::redistribution, kernel::layered}) {
    soil_cells cells(2);
    if (k == kernel::layered) make_uniform_layers(cells);
    cells.soil->inf_rate[1] = cells.soil->inf_rate[2] = 7.0;
    cells.depth[2] = 1e-17;
    ASSERT_EQ(call(k, cells, 60.0, 1).status, infiltration_status::ok) << name_of(k);
    EXPECT_EQ(cells.soil->inf_rate[1], 0.0) << name_of(k);
    EXPECT_LT(cells.soil->inf_rate[2], 1e-12) << name_of(k);
    EXPECT_EQ(cells.depth[1], 0.0) << name_of(k);
    // What a trace of water does, the soil's books show.
    EXPECT_EQ(cells.depth[2] + cells.soil->cum_infil[2], 1e-17) << name_of(k);
  }
  // The single layer empties the trace into the soil; the layered soil leaves it.
  soil_cells single(1);
  single.depth[1] = 1e-17;
  infil_ga_cells(single.domain(), 60.0);
  EXPECT_EQ(single.depth[1], 0.0);
  soil_cells layered(1);
  make_uniform_layers(layered);
  layered.depth[1] = 1e-17;
  infil_layered_cells(layered.domain(), 60.0);
  EXPECT_EQ(layered.depth[1], 1e-17);
}

TEST(InfiltrationKernels, ADepthBelowTheCapacityEntersWholeAtItsOwnRate) {
  for (kernel k : {kernel::single, kernel::redistribution, kernel::layered}) {
    soil_cells cells(1);
    if (k == kernel::layered) make_uniform_layers(cells);
    cells.depth[1] = 0.0002;  // 0.02 cm in a minute: far below the dry soil's capacity
    ASSERT_EQ(call(k, cells, 60.0, 1).status, infiltration_status::ok) << name_of(k);
    EXPECT_EQ(cells.depth[1], 0.0) << name_of(k);
    EXPECT_EQ(cells.soil->cum_infil[1], 0.0002) << name_of(k);
    EXPECT_NEAR(cells.soil->inf_rate[1], 0.02 * 60.0, 1e-9) << name_of(k);  // cm/h
  }
}

TEST(InfiltrationKernels, AFixedLevelCellKeepsItsDepthAndTheBoundarySuppliesTheWater) {
  for (kernel k : {kernel::single, kernel::redistribution, kernel::layered}) {
    soil_cells cells(3);
    if (k == kernel::layered) make_uniform_layers(cells);
    cells.boundary.alloc(3);
    cells.boundary[1] = boundary::fixed_level;
    cells.boundary[2] = boundary::xy_level;
    cells.blocked.alloc(3);
    cells.blocked[2] = 0.25;
    for (int c = 1; c <= 3; ++c) cells.depth[c] = 0.5;
    const infiltration_result r = call(k, cells, 60.0, 1);
    ASSERT_EQ(r.status, infiltration_status::ok) << name_of(k);
    const soil_state& s = *cells.soil;
    EXPECT_EQ(cells.depth[1], 0.5) << name_of(k);
    EXPECT_EQ(cells.depth[2], 0.5) << name_of(k);
    EXPECT_GT(s.cum_infil[1], 0.0) << name_of(k);
    // The ordinary cell loses what it infiltrates; the boundary cells' water
    // comes from outside, over their open parts.
    EXPECT_NEAR(cells.depth[3], 0.5 - s.cum_infil[3], 1e-15) << name_of(k);
    EXPECT_NEAR(r.boundary_gain, (s.cum_infil[1] + 0.75 * s.cum_infil[2]) * cells.area, 1e-12) << name_of(k);
  }
}

TEST(InfiltrationKernels, AChannelLakeCellTakesNothing) {
  for (kernel k : {kernel::single, kernel::redistribution, kernel::layered}) {
    soil_cells cells(1);
    if (k == kernel::layered) make_uniform_layers(cells);
    cells.lake.alloc(1);
    cells.lake[1] = 2;
    cells.depth[1] = 0.3;
    ASSERT_EQ(call(k, cells, 60.0, 1).status, infiltration_status::ok);
    EXPECT_EQ(cells.depth[1], 0.3) << name_of(k);
    EXPECT_EQ(cells.soil->cum_infil[1], 0.0) << name_of(k);
  }
}

TEST(InfiltrationKernels, ACellThatDoesNotConvergeIsNamedInsteadOfHanging) {
  for (kernel k : {kernel::single, kernel::layered}) {
    soil_cells cells(4);
    if (k == kernel::layered) {
      make_uniform_layers(cells);
      cells.soil->THETA_ML(3, 1) = std::numeric_limits<double>::quiet_NaN();
    } else {
      cells.soil->sat_hyd_cond[3] = std::numeric_limits<double>::quiet_NaN();
    }
    for (int c = 1; c <= 4; ++c) cells.depth[c] = 0.1;
    CaptureStdout();
    const infiltration_result r = call(k, cells, 60.0, 1);
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(r.status, infiltration_status::no_convergence) << name_of(k);
    EXPECT_EQ(r.cell, 3) << name_of(k);
    EXPECT_NE(out.find("Green and Ampt infiltration of cell 3 did not converge"), std::string::npos) << out;
  }
}

TEST(FrozenSoil, TheLiquidWaterFactorAndTheConductivityItLeaves) {
  EXPECT_EQ(log_weight_interp(2e-5, 1.0), 2e-5);
  EXPECT_DOUBLE_EQ(log_weight_interp(2e-5, 0.0), 1e-6);
  EXPECT_EQ(log_weight_interp(5e-7, 0.0), 5e-7);  // never above the conductivity
  EXPECT_NEAR(log_weight_interp(1e-4, 0.5), 1e-5, 1e-17);  // halfway in the logarithm
  EXPECT_EQ(frozen_soil_factor(273.15, 0.25, -0.1), 1.0);
  EXPECT_EQ(frozen_soil_factor(263.15, 0.25, -0.1), 0.0);
  const double f = frozen_soil_factor(270.0, 0.25, -0.1);
  EXPECT_GT(f, 0.0);
  EXPECT_LT(f, 1.0);

  // A frozen top layer slows the redistribution kernel to 1e-6 m/s.
  soil_cells thawed(1), frozen(1);
  frozen.unfrozen.alloc(1, 3);
  thawed.depth[1] = frozen.depth[1] = 1.0;
  infil_redist_flux(thawed.domain(), 60.0, 1);
  infil_redist_flux(frozen.domain(), 60.0, 1);
  EXPECT_LT(frozen.soil->cum_infil[1], thawed.soil->cum_infil[1]);
}

}  // namespace
}  // namespace nivra
