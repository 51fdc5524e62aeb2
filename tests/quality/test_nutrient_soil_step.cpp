// The nutrient soil step in the overland constituent processes: on its own
// clock it makes every surface-layer pool below zero up out of the water of
// its partner constituent. Checked by hand on two cells of still water over
// a soil column: what the water gives (no more than it holds), what the
// pools receive, the books of every nutrient row closing, and the nutrient
// model's run totals of mass made and used up.
#include <gtest/gtest.h>

#include <memory>

#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "model/mass_ledger.h"
#include "model/project.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/contaminant_setup.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/contaminant/soil_column_step.h"
#include "quality/nsm.h"
#include "quality_fixture.h"

namespace nivra {
namespace {

constexpr double t0 = 2460000.5;  // Julian days
constexpr double step_s = 10.0;
constexpr double dx = 10.0;
constexpr double depth = 0.05;  // m: 5 m3 of water on each cell

// Two 10 m cells side by side with 5 cm of still water, over a soil column
// (redistribution with the accounting: layers of 0.05, 0.15 and 0.30 m);
// one contaminant from the uniform cards, then the nine nutrients and the
// four soil-pool rows. NH4 at 1 g/m3 (5 g per cell), DP at 0.02 g/m3
// (0.1 g per cell).
std::unique_ptr<model_state> nutrient_column(double kinetics_factor = 1.0) {
  auto ms = testing::constituent_record(2, dx);
  model_state& m = *ms;
  grid_state& g = m.grid;
  for (auto* a : {&g.abovecon, &g.belowcon, &g.leftcon, &g.rightcon}) a->alloc(2);
  g.rightcon[1] = 2;
  g.leftcon[2] = 1;
  m.overland.ov_qx.alloc(2);
  m.overland.ov_qy.alloc(2);
  m.soil.inf_depth_cell.alloc(2);
  m.soil.inf_redist = 1;
  m.soil.sm_accounting = 1;
  m.soil.top_layer_depth = 20.0;
  m.soil.soil_moist_depth = 50.0;
  m.soil.mixing_layer_depth = 5.0;
  for (auto* a : {&m.soil.sm_water_top, &m.soil.sm_water_bottom, &m.soil.surface_moisture}) a->alloc(2);
  for (int i = 1; i <= 2; ++i) {
    m.overland.ov_depth[i] = depth;
    m.soil.soil_porosity[i] = 0.45;
    m.soil.sm_water_top[i] = 6.0;
    m.soil.sm_water_bottom[i] = 9.0;
  }
  constituent_state& k = m.constituent;
  k.soil_con_trans = 1;
  k.nutrients = 1;
  k.kinetics_timestep_factor = kinetics_factor;
  m.project.project_options.nsm_model = std::make_unique<nsm>();
  k.nsm_model = m.project.project_options.nsm_model.get();
  setup_contaminants(m);
  alloc_overland_constituents(m, 0, true);
  const int base = k.first_nsm_constituent;
  for (int i = 1; i <= 2; ++i) {
    k.ov_conc(base + nsm_c::nh4, i) = 1.0;
    k.ov_conc(base + nsm_c::dp, i) = 0.02;
  }
  init_soil_contam(m);
  nsm_alloc_soils(k.nsm_model->soil, 2, k.soil_contam_layers);
  clock_state& cl = m.clock;
  cl.model_time = t0;
  cl.time_tol = due_tolerance_days;
  cl.dt = cl.base_dt = cl.ov_dt = step_s;
  cl.ov_dt_days = step_s / seconds_per_day;
  cl.ov_last_time = t0;
  cl.ov_next_time = t0 + cl.ov_dt_days;
  for (process_clock* c : {&cl.ov_con_clock, &cl.nsm_ov_clock, &cl.nsm_soil_clock})
    set_clock(*c, step_s, cl.ov_dt_days, t0, cl.ov_next_time);
  record_soil_column_masses(m, ledger_moment::run_start);
  return ms;
}

void step(model_state& ms) {
  ms.clock.model_time += ms.clock.ov_dt_days;
  ms.clock.ov_last_time = ms.clock.model_time;
  ms.clock.ov_next_time = ms.clock.model_time + ms.clock.ov_dt_days;
  overland_constituent_processes(ms);
  overland_constituent_transport(ms);
}

double grams(const model_state& ms, int c, constituent_term t) {
  return ms.constituent.mass_books->run_total(c, row(t)) * 1000.0;
}

class NutrientSoilStepInTheLoop : public testing::process_test {};

TEST_F(NutrientSoilStepInTheLoop, APoolBelowZeroIsMadeUpOutOfItsPartnersWater) {
  auto ms = nutrient_column();
  model_state& m = *ms;
  constituent_state& k = m.constituent;
  ASSERT_EQ(k.num_nsm_constituents, 13);
  const int base = k.first_nsm_constituent;
  ASSERT_EQ(base, 2);
  nsm_soil& soil = k.nsm_model->soil;
  soil.pool[nsm_pool::nh4](1, 1) = -2.0;           // asks 2 g of NH4 of cell 1 (it holds 5)
  soil.pool[nsm_pool::min_solution_p](2, 1) = -0.5;  // asks 0.5 g of DP of cell 2 (it holds 0.1)
  soil.pool[nsm_pool::org_stable_n](1, 1) = -9.0;  // no water partner: asks nothing
  soil.pool[nsm_pool::no3](2, 1) = 4.0;            // above zero: asks nothing
  const int nh4 = base + nsm_c::nh4, dp = base + nsm_c::dp;
  const int nh4_pool = base + nsm_pool::nh4, dp_pool = base + nsm_pool::min_solution_p;
  // A soil clock never set (no soil-moisture clock to copy) still measures
  // one step.
  m.clock.nsm_soil_clock.last_time = 0.0;

  step(m);
  EXPECT_NEAR(k.ov_mass(nh4, 1), 3.0, 1e-12);
  EXPECT_NEAR(k.ov_mass(nh4, 2), 5.0, 1e-12);
  EXPECT_NEAR(k.ov_mass(dp, 2), 0.0, 1e-15);  // gave all it had
  EXPECT_NEAR(k.ov_mass(dp, 1), 0.1, 1e-12);
  EXPECT_NEAR(k.ov_conc(nh4, 1), 3.0 / (depth * dx * dx), 1e-12);
  // The pools' side waits in the soil's exchange rows, whole.
  EXPECT_EQ(k.soil_exchange_mass(nh4_pool, 1), -2.0);
  EXPECT_EQ(k.soil_exchange_mass(dp_pool, 2), -0.5);
  EXPECT_EQ(k.soil_exchange_mass(base + nsm_pool::org_stable_n, 1), 0.0);
  EXPECT_EQ(k.soil_exchange_mass(base + nsm_pool::no3, 2), 0.0);
  EXPECT_NEAR(grams(m, nh4, constituent_term::nutrient_soil_uptake), 2.0, 1e-12);
  EXPECT_NEAR(grams(m, dp, constituent_term::nutrient_soil_uptake), 0.1, 1e-12);
  EXPECT_NEAR(grams(m, nh4_pool, constituent_term::nutrient_pool_gain), 2.0, 1e-12);
  EXPECT_NEAR(grams(m, dp_pool, constituent_term::nutrient_pool_gain), 0.5, 1e-12);
  EXPECT_EQ(k.nsm_soil_interval_s, step_s);

  // The pools are the kinetics' to change: still below zero, they ask again.
  step(m);
  EXPECT_NEAR(k.ov_mass(nh4, 1), 1.0, 1e-12);
  EXPECT_EQ(k.ov_mass(dp, 2), 0.0);
  EXPECT_NEAR(grams(m, nh4_pool, constituent_term::nutrient_pool_gain), 4.0, 1e-12);
  EXPECT_NEAR(grams(m, dp_pool, constituent_term::nutrient_pool_gain), 1.0, 1e-12);

  close_constituent_books(m, ledger_moment::run_end);
  const mass_set water_and_soil{mass_compartment::overland_water, mass_compartment::soil_column};
  for (int c = base; c < base + 13; ++c) {
    const mass_balance_sums b = k.mass_books->run_balance_of(c, water_and_soil);
    EXPECT_NEAR(b.residual(), 0.0, 1e-15) << c;
  }
  // The summaries: the water's loss is the nutrient model's, and so is the
  // soil's gain (a negative decay in the soil); the run totals of mass made
  // and used up: 2 x (2 + 0.5) g in, 2 + 0.1 + 2 g out.
  EXPECT_NEAR(k.ov_nsm_out_mass[nh4], 0.004, 1e-15);
  EXPECT_NEAR(k.ov_nsm_in_mass[nh4], 0.0, 1e-15);
  EXPECT_NEAR(k.global_nsm_in_mass[dp_pool], 0.001, 1e-15);
  EXPECT_NEAR(k.soil_decay_mass[dp_pool], -0.001, 1e-15);
  EXPECT_NEAR(k.nsm_dmdt_in_total, 0.005, 1e-15);
  EXPECT_NEAR(k.nsm_dmdt_out_total, 0.0041, 1e-15);
}

TEST_F(NutrientSoilStepInTheLoop, RunsOnTheKineticsClockAndTheWaterPaysOverItsInterval) {
  // With a factor of 2 the soil step runs at steps 1, 3, 5 and asks 2 g
  // each time. Step 1's interval is one step: paid at once. From step 3 on
  // the interval is two steps, and every step pays half of what is still
  // asked: 1 g in step 3, 0.5 in step 4, (0.5 + 2) / 2 in step 5.
  auto ms = nutrient_column(2.0);
  model_state& m = *ms;
  constituent_state& k = m.constituent;
  const int nh4 = k.first_nsm_constituent + nsm_c::nh4;
  k.nsm_model->soil.pool[nsm_pool::nh4](1, 1) = -2.0;
  const double expected[] = {3.0, 3.0, 2.0, 1.5, 0.25};
  for (double after : expected) {
    step(m);
    EXPECT_NEAR(k.ov_mass(nh4, 1), after, 1e-12);
  }
  EXPECT_EQ(k.nsm_soil_interval_s, 2 * step_s);
  // Three calls gave the pool 6 g; the water has paid 4.75 of them and
  // owes the rest; the books close all the same.
  EXPECT_NEAR(grams(m, nh4, constituent_term::nutrient_pool_gain), 6.0, 1e-12);
  EXPECT_NEAR(grams(m, nh4, constituent_term::nutrient_soil_uptake), 4.75, 1e-12);
  close_constituent_books(m, ledger_moment::run_end);
  const mass_balance_sums b =
      k.mass_books->run_balance_of(nh4, mass_set{mass_compartment::overland_water, mass_compartment::soil_column});
  EXPECT_NEAR(b.residual(), 0.0, 1e-15);
}

TEST_F(NutrientSoilStepInTheLoop, WithoutSoilTransportThePoolsAreNotAsked) {
  // The nutrients over the land alone: no soil part, nothing asked of the
  // water, and the kinetics' clock still moves on.
  auto ms = testing::constituent_record(2, dx);
  model_state& m = *ms;
  for (auto* a : {&m.grid.abovecon, &m.grid.belowcon, &m.grid.leftcon, &m.grid.rightcon}) a->alloc(2);
  m.overland.ov_qx.alloc(2);
  m.overland.ov_qy.alloc(2);
  m.soil.inf_depth_cell.alloc(2);
  constituent_state& k = m.constituent;
  k.nutrients = 1;
  m.project.project_options.nsm_model = std::make_unique<nsm>();
  k.nsm_model = m.project.project_options.nsm_model.get();
  setup_contaminants(m);
  alloc_overland_constituents(m, 0, true);
  ASSERT_EQ(k.num_nsm_constituents, 9);
  for (int i = 1; i <= 2; ++i) {
    m.overland.ov_depth[i] = depth;
    k.ov_conc(k.first_nsm_constituent + nsm_c::nh4, i) = 1.0;
  }
  init_soil_contam(m);
  clock_state& cl = m.clock;
  cl.model_time = t0;
  cl.time_tol = due_tolerance_days;
  cl.dt = cl.base_dt = cl.ov_dt = step_s;
  cl.ov_dt_days = step_s / seconds_per_day;
  cl.ov_next_time = t0 + cl.ov_dt_days;
  for (process_clock* c : {&cl.ov_con_clock, &cl.nsm_ov_clock, &cl.nsm_soil_clock})
    set_clock(*c, step_s, cl.ov_dt_days, t0, cl.ov_next_time);
  step(m);
  step(m);
  const int nh4 = k.first_nsm_constituent + nsm_c::nh4;
  EXPECT_NEAR(k.ov_mass(nh4, 1), 5.0, 1e-12);
  EXPECT_EQ(k.mass_books->run_total(nh4, row(constituent_term::nutrient_soil_uptake)), 0.0);
  EXPECT_EQ(k.nsm_kinetic_interval_s, step_s);
  EXPECT_NEAR(cl.nsm_ov_clock.next_time, t0 + 3 * cl.ov_dt_days, 1e-9);
  EXPECT_EQ(cl.nsm_soil_clock.last_time, t0);  // the soil step never ran
}

}  // namespace
}  // namespace nivra
