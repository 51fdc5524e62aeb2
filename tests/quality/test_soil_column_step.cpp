// The soil column in the time loop: the step acts only on its clock, fills
// the layers' water content from the soil scheme, decays and moves the
// constituent, and every gram it moves is in the mass ledger, so the soil
// column's balance closes; checked on a record of three cells by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "groundwater/groundwater_state.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/contaminant_setup.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/contaminant/soil_column_kernels.h"
#include "quality/contaminant/soil_column_step.h"
#include "quality/quality_fixture.h"

namespace nivra {
namespace {

using testing::constituent_record;

class SoilColumnInTheLoop : public testing::process_test {};

constexpr double step_s = 600.0;
constexpr double start_day = 2450000.0;

// Three 10 m cells under redistribution with soil-moisture accounting: a
// top layer of 20 cm, an accounting depth of 50 cm and a mixing layer of
// 5 cm give a column of 0.05, 0.15 and 0.30 m; porosity 0.45; 6 cm of
// water in the top zone, 9 below; one contaminant of Kd 0.5 L/kg decaying
// at 0.864 per day, loaded into the top layer's grains.
std::unique_ptr<model_state> column_record() {
  auto ms = constituent_record(3, 10.0);
  model_state& m = *ms;
  m.soil.inf_redist = 1;
  m.soil.sm_accounting = 1;
  m.soil.top_layer_depth = 20.0;
  m.soil.soil_moist_depth = 50.0;
  m.soil.mixing_layer_depth = 5.0;
  m.soil.sm_water_top.alloc(3);
  m.soil.sm_water_bottom.alloc(3);
  m.soil.surface_moisture.alloc(3);
  for (int i = 1; i <= 3; ++i) {
    m.soil.soil_porosity[i] = 0.45;
    m.soil.sm_water_top[i] = 6.0;
    m.soil.sm_water_bottom[i] = 9.0;
  }
  constituent_state& k = m.constituent;
  k.soil_con_trans = 1;
  k.ov_decay_coef = 0.864;  // per day: 1e-5 per second
  k.ov_mass_load = 0.002;
  setup_contaminants(m);
  init_soil_contam(m);
  for (int i = 1; i <= 3; ++i) k.soil_partition_coef(1, i) = 0.5;
  m.clock.base_dt = step_s;
  m.clock.time_tol = 1e-7;
  m.clock.model_time = start_day;
  m.clock.soil_con_clock.last_time = start_day - step_s / 86400.0;
  m.clock.soil_con_clock.next_time = start_day;
  m.clock.soilmoist_next_time = start_day + step_s / 86400.0;
  record_soil_column_masses(m, ledger_moment::run_start);
  return ms;
}

double column_grams(const constituent_state& k, int i) {
  double g = 0.0;
  for (int l = 1; l <= k.soil_contam_layers; ++l) g += k.soil_mass(1, i, l);
  return g;
}

TEST_F(SoilColumnInTheLoop, TheStepActsOnItsClockAndFillsTheLayersWater) {
  auto ms = column_record();
  constituent_state& k = ms->constituent;
  ASSERT_EQ(k.soil_contam_layers, 3);
  const double before = column_grams(k, 1);
  ASSERT_GT(before, 0.0);
  // Not due: nothing happens.
  ms->clock.soil_con_clock.next_time = start_day + 1.0;
  soil_column_constituent_step(*ms);
  EXPECT_EQ(column_grams(k, 1), before);
  EXPECT_EQ(k.THETA(1, 1), 0.0);
  // Due: 6 / 20 in the two upper layers, 9 / 30 below; the clock follows
  // the soil-moisture accounting.
  ms->clock.soil_con_clock.next_time = start_day;
  soil_column_constituent_step(*ms);
  for (int l = 1; l <= 3; ++l) EXPECT_NEAR(k.THETA(1, l), 0.3, 1e-12) << l;
  EXPECT_EQ(ms->clock.soil_con_clock.last_time, start_day);
  EXPECT_EQ(ms->clock.soil_con_clock.next_time, ms->clock.soilmoist_next_time);
  // Only the top layer held mass; its dissolved share 0.3 / (0.3 + 2.65 x
  // 0.55 x 0.5) decayed at 1e-5 per second for 600 s.
  const double f = 0.3 / (0.3 + 2.65 * 0.55 * 0.5);
  EXPECT_NEAR(k.soil_mass(1, 1, 1), before * (1.0 - f * 1e-5 * step_s), 1e-9);
  EXPECT_NEAR(k.land_mass(1, 1), column_grams(k, 1), 1e-12);
  EXPECT_NEAR(k.mass_books->run_total(1, row(constituent_term::soil_decay)) * 1000.0,
              3.0 * before * f * 1e-5 * step_s, 1e-9);
}

TEST_F(SoilColumnInTheLoop, WaterTableAtTheSurfaceSaturatesEveryLayer) {
  auto ms = column_record();
  groundwater_state& g = ms->groundwater;
  g.water_table_given = 1;
  g.elevgw.alloc(3);
  ms->grid.elevation.alloc(3);
  for (int i = 1; i <= 3; ++i) ms->grid.elevation[i] = 100.0;
  g.elevgw[1] = 100.0;   // at the ground
  g.elevgw[2] = 100.2;   // above it
  g.elevgw[3] = 99.55;   // 0.45 m down, in the bottom layer
  soil_column_constituent_step(*ms);
  const constituent_state& k = ms->constituent;
  for (int i : {1, 2})
    for (int l = 1; l <= 3; ++l) EXPECT_EQ(k.THETA(i, l), 0.45) << i << " " << l;
  EXPECT_NEAR(k.THETA(3, 3), (0.09 + 0.05 * 0.45) / 0.30, 1e-12);
  // A table higher in the bottom layer would put more water into it than
  // its pores hold: it holds its pores' worth.
  g.elevgw[3] = 99.65;
  ms->clock.soil_con_clock.next_time = ms->clock.model_time;
  soil_column_constituent_step(*ms);
  EXPECT_EQ(k.THETA(3, 3), 0.45);
}

TEST_F(SoilColumnInTheLoop, TheSoilBalanceClosesOverSteps) {
  // Several steps with infiltrated mass, uptake by the surface, percolation,
  // and a cell whose table rises and pushes water up through its column:
  // the soil column's mass at the end is its mass at the start plus what
  // came in less what left, to 1e-12 of the mass.
  auto ms = column_record();
  model_state& m = *ms;
  constituent_state& k = m.constituent;
  groundwater_state& g = m.groundwater;
  g.water_table_given = 1;
  g.elevgw.alloc(3);
  g.yes_exfil.alloc(3);
  m.grid.elevation.alloc(3);
  for (int i = 1; i <= 3; ++i) {
    m.grid.elevation[i] = 100.0;
    g.elevgw[i] = 98.0;
    k.gw_conc(1, i) = 4.0;
  }
  for (int n = 1; n <= 6; ++n) {
    k.soil_infil_mass(1, 1) += 3.0;
    k.soil_exchange_mass(1, 2) += (n % 2 ? 0.5 : -0.25);  // given to the water, then taken up
    m.soil.sm_interlayer_flow[1] = m.soil.sm_interlayer_flow[2] = 0.8;  // cm
    m.soil.sm_percolation[1] = m.soil.sm_percolation[2] = 0.3;
    g.yes_exfil[3] = n > 3 ? 1 : 0;
    if (n > 3) k.soil_con_exfil_vol[3] = 0.2;  // m3 up through the column
    soil_column_constituent_step(m);
    // The transport takes what rose to the surface (booked then).
    k.mass_books->book(1, row(constituent_term::exfiltration), k.cell_exfil_mass(1, 3) / 1000.0);
    k.cell_exfil_mass(1, 3) = 0.0;
    m.clock.model_time += step_s / 86400.0;
    m.clock.soilmoist_next_time += step_s / 86400.0;
  }
  // The books of the transport's side (infiltration and exchange) as the
  // overland transport makes them.
  k.mass_books->book(1, row(constituent_term::infiltration), 18.0 / 1000.0);
  k.mass_books->book(1, row(constituent_term::release_from_land), 1.5 / 1000.0);
  k.mass_books->book(1, row(constituent_term::uptake_by_land), 0.75 / 1000.0);
  record_soil_column_masses(m, ledger_moment::run_end);
  const mass_balance_sums b = k.mass_books->run_balance_of(1, mass_set{mass_compartment::soil_column});
  EXPECT_GT(k.mass_books->run_total(1, row(constituent_term::seepage_to_water_table)), 0.0);
  EXPECT_GT(k.mass_books->run_total(1, row(constituent_term::seepage_from_water_table)), 0.0);
  EXPECT_GT(k.mass_books->run_total(1, row(constituent_term::exfiltration)), 0.0);
  EXPECT_NEAR(b.residual(), 0.0, 1e-12 * b.initial);
  // The groundwater holds what it received, net; the column and the
  // groundwater together close as well, the seepage now inside them.
  const double to = k.mass_books->run_total(1, row(constituent_term::seepage_to_water_table));
  const double from = k.mass_books->run_total(1, row(constituent_term::seepage_from_water_table));
  EXPECT_NEAR(k.mass_books->mass(1, mass_compartment::groundwater, ledger_moment::run_end), to - from, 1e-15);
  const mass_balance_sums both =
      k.mass_books->run_balance_of(1, mass_set{mass_compartment::soil_column, mass_compartment::groundwater});
  EXPECT_NEAR(both.residual(), 0.0, 1e-12 * both.initial);
  // The summary's totals agree with the ledger.
  EXPECT_NEAR(k.soil_mass_seep_to_wt[1], k.mass_books->run_total(1, row(constituent_term::seepage_to_water_table)),
              1e-15);
  for (int i = 1; i <= 3; ++i)
    for (int l = 1; l <= 3; ++l) EXPECT_GE(k.soil_mass(1, i, l), 0.0);
}

TEST_F(SoilColumnInTheLoop, ALayerTakenBelowZeroIsSetToZeroAndTheMassThatMadeIsBooked) {
  // The surface water took up 5 g more than cell 1's top layer holds after
  // its decay: the layer ends empty, the 5 g and the decayed mass it could
  // not give are booked as made by the reset, and the column's balance
  // still closes.
  auto ms = column_record();
  model_state& m = *ms;
  constituent_state& k = m.constituent;
  const double before = k.soil_mass(1, 1, 1);
  ASSERT_GT(before, 0.0);
  const double f = 0.3 / (0.3 + 2.65 * 0.55 * 0.5);
  const double decayed = before * f * 1e-5 * step_s;
  k.soil_exchange_mass(1, 1) = before + 5.0;
  soil_column_constituent_step(m);
  EXPECT_EQ(k.soil_mass(1, 1, 1), 0.0);
  EXPECT_EQ(k.soil_conc(1, 1, 1), 0.0);
  EXPECT_EQ(k.land_mass(1, 1), 0.0);
  EXPECT_NEAR(k.mass_books->run_total(1, row(constituent_term::soil_negative_reset)) * 1000.0, 5.0 + decayed, 1e-9);
  // The other cells keep their layer less its decay.
  EXPECT_NEAR(k.soil_mass(1, 2, 1), before - decayed, 1e-9);
  // The transport's side books what the water took.
  k.mass_books->book(1, row(constituent_term::release_from_land), (before + 5.0) / 1000.0);
  record_soil_column_masses(m, ledger_moment::run_end);
  const mass_balance_sums b = k.mass_books->run_balance_of(1, mass_set{mass_compartment::soil_column});
  EXPECT_NEAR(b.residual(), 0.0, 1e-12 * b.initial);
}

TEST_F(SoilColumnInTheLoop, TheWaterExchangesWithTheTopLayerAtEveryStepWhateverTheKineticsFactor) {
  // Still water of 1 g/m3 on the cells, kinetics every second step: the
  // exchange with the top layer's water follows the column at every step
  // (the same amount each step, nothing else changing), the decay in the
  // water only on the kinetics' steps.
  auto ms = column_record();
  model_state& m = *ms;
  constituent_state& k = m.constituent;
  k.kinetics_timestep_factor = 2.0;
  soil_column_constituent_step(m);  // the layers' water
  for (int i = 1; i <= 3; ++i) {
    k.cell_uptake_rate(1, i) = 1e-6;
    m.overland.ov_depth[i] = k.ov_depth_prev[i] = 0.02;
    k.ov_conc(1, i) = 1.0;
    k.ov_mass(1, i) = 0.02 * 100.0;
  }
  const double d = step_s / 86400.0;
  clock_state& cl = m.clock;
  cl.ov_dt = step_s;
  cl.ov_dt_days = d;
  set_clock(cl.ov_con_clock, step_s, d, start_day, start_day + d);
  set_clock(cl.contam_table_clock, step_s, d, start_day, start_day + d);
  std::vector<double> exchange, decay;
  for (int s = 1; s <= 3; ++s) {
    cl.model_time = start_day + s * d;
    overland_constituent_processes(m);
    exchange.push_back(k.cell_exchange_mass(1, 1));
    decay.push_back(k.cell_decay_mass(1, 1));
    cl.ov_con_clock.last_time = cl.model_time;  // as the transport leaves it
    cl.ov_con_clock.next_time = cl.model_time + d;
  }
  ASSERT_NE(exchange[0], 0.0);
  EXPECT_NEAR(exchange[1], 2.0 * exchange[0], 1e-12 * std::fabs(exchange[0]));
  EXPECT_NEAR(exchange[2], 3.0 * exchange[0], 1e-12 * std::fabs(exchange[0]));
  // Decay of 1e-5 per second over the first step's 600 s: 2 g x 6e-3.
  EXPECT_NEAR(decay[0], 2.0 * 1e-5 * step_s, 1e-15);
  EXPECT_EQ(decay[1], decay[0]);
  EXPECT_NEAR(decay[2], decay[0] + 2.0 * 1e-5 * 2.0 * step_s, 1e-15);
}

TEST_F(SoilColumnInTheLoop, AColumnWithoutLayersIsLeftAlone) {
  // Soil transport without a soil scheme that lays out a column: the
  // set-up refuses it; a record without layers is skipped by the step.
  auto ms = constituent_record(2, 10.0);
  ms->constituent.soil_con_trans = 1;
  ::testing::internal::CaptureStdout();
  setup_contaminants(*ms);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(process.error_block.stop);
  EXPECT_NE(out.find("SOIL_CON_TRANS"), std::string::npos) << out;
  reset_process_state();
  ms->constituent.soil_contam_layers = 0;
  ms->clock.time_tol = 1e-7;
  soil_column_constituent_step(*ms);  // nothing sized, nothing read
  EXPECT_FALSE(process.error_block.stop);
}

TEST_F(SoilColumnInTheLoop, WithoutTheAccountingEveryLayerTakesTheSurfaceMoisture) {
  auto ms = column_record();
  ms->soil.sm_water_top = array1d<double>();
  ms->soil.sm_water_bottom = array1d<double>();
  for (int i = 1; i <= 3; ++i) ms->soil.surface_moisture[i] = 0.27;
  soil_column_constituent_step(*ms);
  for (int l = 1; l <= 3; ++l) EXPECT_EQ(ms->constituent.THETA(2, l), 0.27);
}

}  // namespace
}  // namespace nivra
