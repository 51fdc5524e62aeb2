// The nutrients' soil side in the overland constituent processes. A
// nutrient's soil row is its partner pool: what its water carries into the
// soil reaches the pool's top layer at the soil column's step, and the
// nutrient soil step makes a partner pool below zero up to zero out of the
// water of its partner constituent. Checked by hand on two cells of still
// water over a soil column: what the pools receive, what the water gives
// (no more than it holds), the books of every nutrient row closing, and the
// nutrient model's run totals of mass made and used up.
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
// one contaminant from the uniform cards, then the nine nutrients. NH4 at
// 1 g/m3 (5 g per cell), DP at 0.02 g/m3 (0.1 g per cell).
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
  ASSERT_EQ(k.num_nsm_constituents, 9);
  const int base = k.first_nsm_constituent;
  ASSERT_EQ(base, 2);
  nsm_soil& soil = k.nsm_model->soil;
  soil.pool[nsm_pool::nh4](1, 1) = -2.0;           // asks 2 g of NH4 of cell 1 (it holds 5)
  soil.pool[nsm_pool::min_solution_p](2, 1) = -0.5;  // asks 0.5 g of DP of cell 2 (it holds 0.1)
  soil.pool[nsm_pool::org_stable_n](1, 1) = -9.0;  // no water partner: asks nothing
  soil.pool[nsm_pool::no3](2, 1) = 4.0;            // above zero: asks nothing
  // The soil sides start from the pools as they now stand.
  record_soil_column_masses(m, ledger_moment::run_start);
  const int nh4 = base + nsm_c::nh4, dp = base + nsm_c::dp, no3 = base + nsm_c::no3;
  // A soil clock never set (no soil-moisture clock to copy) still measures
  // one step.
  m.clock.nsm_soil_clock.last_time = 0.0;

  step(m);
  EXPECT_NEAR(k.ov_mass(nh4, 1), 3.0, 1e-12);
  EXPECT_NEAR(k.ov_mass(nh4, 2), 5.0, 1e-12);
  EXPECT_NEAR(k.ov_mass(dp, 2), 0.0, 1e-15);  // gave all it had
  EXPECT_NEAR(k.ov_mass(dp, 1), 0.1, 1e-12);
  EXPECT_NEAR(k.ov_conc(nh4, 1), 3.0 / (depth * dx * dx), 1e-12);
  // The pools are made up at once; the one without a partner and the one
  // above zero are left alone.
  EXPECT_EQ(soil.pool[nsm_pool::nh4](1, 1), 0.0);
  EXPECT_EQ(soil.pool[nsm_pool::min_solution_p](2, 1), 0.0);
  EXPECT_EQ(soil.pool[nsm_pool::org_stable_n](1, 1), -9.0);
  EXPECT_EQ(soil.pool[nsm_pool::no3](2, 1), 4.0);
  // Each pool's gain is booked on its partner's row, whose soil side it is
  // (the DP pool's not on DO's, nor the NO3 pool's on ON's).
  EXPECT_NEAR(grams(m, nh4, constituent_term::nutrient_soil_uptake), 2.0, 1e-12);
  EXPECT_NEAR(grams(m, dp, constituent_term::nutrient_soil_uptake), 0.1, 1e-12);
  EXPECT_NEAR(grams(m, nh4, constituent_term::nutrient_pool_gain), 2.0, 1e-12);
  EXPECT_NEAR(grams(m, dp, constituent_term::nutrient_pool_gain), 0.5, 1e-12);
  for (int w = 0; w < nsm_water_items; ++w)
    if (w != nsm_c::nh4 && w != nsm_c::dp) EXPECT_EQ(grams(m, base + w, constituent_term::nutrient_pool_gain), 0.0) << w;
  EXPECT_EQ(k.nsm_soil_interval_s, step_s);

  // Made up, the pools ask nothing more.
  step(m);
  EXPECT_NEAR(k.ov_mass(nh4, 1), 3.0, 1e-12);
  EXPECT_NEAR(grams(m, nh4, constituent_term::nutrient_pool_gain), 2.0, 1e-12);
  EXPECT_NEAR(grams(m, dp, constituent_term::nutrient_pool_gain), 0.5, 1e-12);

  close_constituent_books(m, ledger_moment::run_end);
  const mass_set water_and_soil{mass_compartment::overland_water, mass_compartment::soil_column};
  for (int c = base; c < base + nsm_water_items; ++c) {
    const mass_balance_sums b = k.mass_books->run_balance_of(c, water_and_soil);
    EXPECT_NEAR(b.residual(), 0.0, 1e-15) << c;
  }
  // The NO3 row's soil side is the NO3 pool: 8 g over the two cells.
  EXPECT_NEAR(k.mass_books->mass(no3, mass_compartment::soil_column, ledger_moment::run_end), 0.004, 1e-15);
  // The summaries: the water's loss is the nutrient model's, and so is the
  // soil's gain (a negative decay in the soil); the run totals of mass made
  // and used up: 2 + 0.5 g in, 2 + 0.1 g out.
  EXPECT_NEAR(k.ov_nsm_out_mass[nh4], 0.002, 1e-15);
  EXPECT_NEAR(k.ov_nsm_in_mass[nh4], 0.0, 1e-15);
  EXPECT_NEAR(k.global_nsm_in_mass[dp], 0.0005, 1e-15);
  EXPECT_NEAR(k.soil_decay_mass[dp], -0.0005, 1e-15);
  EXPECT_NEAR(k.nsm_dmdt_in_total, 0.0025, 1e-15);
  EXPECT_NEAR(k.nsm_dmdt_out_total, 0.0021, 1e-15);
}

TEST_F(NutrientSoilStepInTheLoop, RunsOnTheKineticsClockAndTheWaterPaysOverItsInterval) {
  // With a factor of 2 the soil step runs at steps 1, 3, 5; the pool is
  // put 2 g below zero before each (as kinetics that used it up would).
  // Step 1's interval is one step: paid at once. From step 3 on the
  // interval is two steps, and every step pays half of what is still
  // asked: 1 g in step 3, 0.5 in step 4, (0.5 + 2) / 2 in step 5.
  auto ms = nutrient_column(2.0);
  model_state& m = *ms;
  constituent_state& k = m.constituent;
  const int nh4 = k.first_nsm_constituent + nsm_c::nh4;
  double& pool = k.nsm_model->soil.pool[nsm_pool::nh4](1, 1);
  const double expected[] = {3.0, 3.0, 2.0, 1.5, 0.25};
  for (int s = 1; s <= 5; ++s) {
    if (s % 2 == 1) pool = -2.0;
    step(m);
    EXPECT_NEAR(k.ov_mass(nh4, 1), expected[s - 1], 1e-12) << s;
    EXPECT_EQ(pool, 0.0) << s;
  }
  EXPECT_EQ(k.nsm_soil_interval_s, 2 * step_s);
  // Three calls gave the pool 6 g; the water has paid 4.75 of them and
  // owes the rest; its books close all the same.
  EXPECT_NEAR(grams(m, nh4, constituent_term::nutrient_pool_gain), 6.0, 1e-12);
  EXPECT_NEAR(grams(m, nh4, constituent_term::nutrient_soil_uptake), 4.75, 1e-12);
  close_constituent_books(m, ledger_moment::run_end);
  const mass_balance_sums b = k.mass_books->run_balance_of(nh4, mass_set{mass_compartment::overland_water});
  EXPECT_NEAR(b.residual(), 0.0, 1e-15);
}

// What the water carries into the soil reaches its partner pool's top
// layer at the soil column's next step: infiltration at the water's
// concentration (cell 1: 1 cm of its 5 cm of water), and the whole mass of
// a cell whose water has gone (cell 2). NO2 has no pool: its infiltrated
// mass stays in its own row's top layer. By hand, in g.
TEST_F(NutrientSoilStepInTheLoop, InfiltratedNutrientsReachTheirPartnerPools) {
  auto ms = nutrient_column();
  model_state& m = *ms;
  constituent_state& k = m.constituent;
  const int base = k.first_nsm_constituent;
  const struct {
    int water, pool;
    double conc;  // g/m3 in cell 1's water
    double dry;   // g left on cell 2 when its water went
  } cases[] = {
      {nsm_c::no3, nsm_pool::no3, 2.0, 3.0},
      {nsm_c::nh4, nsm_pool::nh4, 1.0, 0.0},
      {nsm_c::on, nsm_pool::org_active_n, 0.4, 0.7},
      {nsm_c::op, nsm_pool::org_active_p, 0.1, 0.0},
      {nsm_c::dp, nsm_pool::min_solution_p, 0.02, 0.05},
      {nsm_c::no2, -1, 0.5, 0.2},
  };
  m.overland.ov_depth[2] = 0.0;
  for (const auto& c : cases) {
    k.ov_conc(base + c.water, 1) = c.conc;
    k.ov_mass(base + c.water, 1) = c.conc * depth * dx * dx;
    k.ov_conc(base + c.water, 2) = 0.0;
    k.ov_mass(base + c.water, 2) = c.dry;
  }
  k.ov_depth_prev[2] = 0.0;
  // The books start from the water as it now stands.
  record_soil_column_masses(m, ledger_moment::run_start);
  for (const auto& c : cases)
    k.mass_books->set_mass(base + c.water, mass_compartment::overland_water, ledger_moment::run_start,
                           overland_water_mass(m, base + c.water));
  m.soil.inf_depth_cell[1] = 0.01;  // 1 m3 into the soil
  m.soil.inf_depth_cell[2] = 0.001;
  step(m);
  clock_state& cl = m.clock;
  set_clock(cl.soil_con_clock, step_s, cl.ov_dt_days, cl.model_time - cl.ov_dt_days, cl.model_time);
  soil_column_constituent_step(m);

  const nsm_soil& soil = k.nsm_model->soil;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.water);
    const int row = base + c.water;
    const double cell1 = c.conc * 0.01 * dx * dx;
    EXPECT_NEAR(k.ov_mass(row, 1), c.conc * depth * dx * dx - cell1, 1e-12);
    EXPECT_EQ(k.ov_mass(row, 2), 0.0);
    EXPECT_NEAR(grams(m, row, constituent_term::infiltration), cell1 + c.dry, 1e-12);
    if (c.pool >= 0) {
      EXPECT_NEAR(soil.pool[static_cast<std::size_t>(c.pool)](1, 1), cell1, 1e-12);
      EXPECT_NEAR(soil.pool[static_cast<std::size_t>(c.pool)](2, 1), c.dry, 1e-12);
      EXPECT_EQ(k.soil_mass(row, 1, 1), 0.0);  // the row's layers are the pool's
    } else {
      EXPECT_NEAR(k.soil_mass(row, 1, 1), cell1, 1e-12);
      EXPECT_NEAR(k.soil_mass(row, 2, 1), c.dry, 1e-12);
    }
    EXPECT_NEAR(k.land_mass(row, 1), cell1, 1e-12);
  }
  // No other pool received anything.
  for (int slot : {nsm_pool::org_active_c, nsm_pool::org_stable_c, nsm_pool::org_fresh_n, nsm_pool::org_stable_n,
                   nsm_pool::min_active_p, nsm_pool::min_stable_p, nsm_pool::org_fresh_p, nsm_pool::org_stable_p})
    for (int i = 1; i <= 2; ++i)
      for (int l = 1; l <= soil.layers; ++l) EXPECT_EQ(soil.pool[static_cast<std::size_t>(slot)](i, l), 0.0) << slot;
  // Every nutrient row's water and soil close, and the soil side of NO3's
  // row holds what went in: 2 + 3 g.
  close_constituent_books(m, ledger_moment::run_end);
  for (int w = 0; w < nsm_water_items; ++w) {
    const mass_balance_sums b = k.mass_books->run_balance_of(
        base + w, mass_set{mass_compartment::overland_water, mass_compartment::soil_column});
    EXPECT_NEAR(b.residual(), 0.0, 1e-15) << w;
  }
  EXPECT_NEAR(k.soil_mass_final[base + nsm_c::no3], 0.005, 1e-15);
  EXPECT_NEAR(k.mass_books->mass(base + nsm_c::no3, mass_compartment::soil_column, ledger_moment::run_end), 0.005,
              1e-15);
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
