// The overland constituent steps of the time loop on small hand-made grids:
// each process acts when its clock is due and books what it moves, and the
// constituents' books close.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "clock/time_loop.h"
#include "core/process.h"
#include "hydromet/hydromet_state.h"
#include "model/mass_ledger.h"
#include "quality/constituent_setup.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/contaminant_setup.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "quality/contaminant/overland_point_sources.h"
#include "model/water_ledger.h"
#include "quality_fixture.h"
#include "surface/boundary_codes.h"
#include "surface/lake_state.h"
#include "quality/contaminant/channel_constituents.h"
#include "surface/overland_state.h"
#include "soil/soil_state.h"

namespace nivra {
namespace {

constexpr double t0 = 2460000.5;  // Julian days
constexpr double dt = 10.0;       // s

// A flat grid of rows x cols cells of side dx, every cell holding h m of
// still water, one uniform contaminant of the given concentration (g/m3)
// and decay rate (per day), the clocks at the start of the run.
std::unique_ptr<model_state> still_water(int rows, int cols, double dx, double h, double conc, double decay_per_day,
                                         double kinetics_factor = 1.0, int contaminants = 1) {
  auto ms = testing::constituent_record(rows * cols, dx);
  grid_state& g = ms->grid;
  const int n = rows * cols;
  for (auto* a : {&g.abovecon, &g.belowcon, &g.leftcon, &g.rightcon}) a->alloc(n);
  for (int i = 1; i <= n; ++i) {
    const int r = (i - 1) / cols, c = (i - 1) % cols;
    g.cell_row[i] = r + 1;
    g.cell_col[i] = c + 1;
    if (r > 0) g.abovecon[i] = i - cols;
    if (r < rows - 1) g.belowcon[i] = i + cols;
    if (c > 0) g.leftcon[i] = i - 1;
    if (c < cols - 1) g.rightcon[i] = i + 1;
    ms->overland.ov_depth[i] = h;
  }
  ms->overland.ov_qx.alloc(n);
  ms->overland.ov_qy.alloc(n);
  ms->soil.inf_depth_cell.alloc(n);
  constituent_state& k = ms->constituent;
  k.ov_decay_coef = decay_per_day;
  k.kinetics_timestep_factor = kinetics_factor;
  k.num_contaminants = contaminants;
  setup_contaminants(*ms);
  for (int c = 1; c <= contaminants; ++c)
    for (int i = 1; i <= n; ++i) k.ov_conc(c, i) = conc;
  init_soil_contam(*ms);
  clock_state& cl = ms->clock;
  cl.model_time = t0;
  cl.time_tol = due_tolerance_days;
  cl.dt = cl.base_dt = cl.ov_dt = dt;
  cl.ov_dt_days = dt / seconds_per_day;
  cl.ov_last_time = t0;
  cl.ov_next_time = t0 + cl.ov_dt_days;
  set_clock(cl.ov_con_clock, dt, cl.ov_dt_days, t0, cl.ov_next_time);
  return ms;
}

// One model step: the clock moves on, the overland routing is taken to have
// run (its clock with it, each face moving its discharge's water over the
// step), then the two constituent steps.
void step(model_state& ms) {
  ms.clock.model_time += ms.clock.ov_dt_days;
  ms.clock.ov_last_time = ms.clock.model_time;
  ms.clock.ov_next_time = ms.clock.model_time + ms.clock.ov_dt_days;
  overland_state& ov = ms.overland;
  if (ov.con_vol_x.size() == ms.grid.ncells && ov.ov_qx.size() == ms.grid.ncells)
    for (int i = 1; i <= ms.grid.ncells; ++i) {
      ov.con_vol_x[i] += ov.ov_qx[i] * ms.clock.ov_dt;
      ov.con_vol_y[i] += ov.ov_qy[i] * ms.clock.ov_dt;
    }
  overland_constituent_processes(ms);
  overland_constituent_transport(ms);
}

double total(const model_state& ms, constituent_term t, int c = 1) {
  return ms.constituent.mass_books->run_total(c, row(t));
}

// Overland water and land surface in, out and held, kg: in - out - change.
double overland_residual(model_state& ms, int c = 1) {
  close_constituent_books(ms, ledger_moment::run_end);
  const mass_set s{mass_compartment::overland_water, mass_compartment::soil_column};
  return ms.constituent.mass_books->run_balance_of(c, s).residual();
}

class OverlandConstituentStep : public testing::process_test {};

TEST_F(OverlandConstituentStep, DecayInStillWaterFollowsTheExplicitForm) {
  // 2 x 3 cells of 10 m with 5 cm of water at 40 g/m3: 2 g per cell. Decay
  // of 8.64 per day is 1e-4 per second: every 10 s step keeps 1 - 1e-3.
  auto ms = still_water(2, 3, 10.0, 0.05, 40.0, 8.64);
  const double m0 = 6 * 0.05 * 100.0 * 40.0;
  const int steps = 50;
  for (int s = 0; s < steps; ++s) step(*ms);
  const double expected = m0 * std::pow(1.0 - 1e-3, steps);
  EXPECT_NEAR(overland_water_mass(*ms, 1) * 1000.0, expected, 1e-12 * m0);
  EXPECT_NEAR(overland_water_mass(*ms, 1) * 1000.0, m0 * std::exp(-1e-4 * dt * steps), 1e-4 * m0);
  EXPECT_NEAR(total(*ms, constituent_term::overland_decay) * 1000.0, m0 - expected, 1e-12 * m0);
  for (int i = 1; i <= 6; ++i) EXPECT_NEAR(ms->constituent.ov_conc(1, i), 40.0 * std::pow(1.0 - 1e-3, steps), 1e-10);
  EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
}

TEST_F(OverlandConstituentStep, KineticsActOnlyWhenTheirClockIsDueAndAreSpreadOverTheSteps) {
  // With a factor of 2 the kinetics run at steps 1, 3, 5, ...: the first
  // over one step, then over two; the transport spreads what they gathered
  // evenly over the two steps until they run again, half in the step they
  // ran and the rest in the next.
  auto ms = still_water(1, 2, 10.0, 0.1, 10.0, 8.64, 2.0);
  const double m0 = 2 * 0.1 * 100.0 * 10.0;
  std::vector<double> m{m0};
  for (int s = 1; s <= 5; ++s) {
    step(*ms);
    m.push_back(overland_water_mass(*ms, 1) * 1000.0);
  }
  const double k = 1e-4;
  EXPECT_NEAR(m[1], m0 - 0.5 * m0 * k * dt, 1e-12 * m0);
  // Step 2 has no kinetics: it takes the rest of the first interval's.
  EXPECT_NEAR(m[2], m0 * (1.0 - k * dt), 1e-12 * m0);
  // Step 3's cover two steps: half of k 2 dt m[2] now, half in step 4.
  EXPECT_NEAR(m[3], m[2] - m[2] * k * dt, 1e-12 * m0);
  EXPECT_NEAR(m[4], m[3] - m[2] * k * dt, 1e-12 * m0);
  EXPECT_NEAR(m[5], m[4] - m[4] * k * dt, 1e-12 * m0);
  EXPECT_NEAR(ms->clock.contam_table_clock.next_time, t0 + 7 * dt / seconds_per_day, 1e-9);
  EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
}

TEST_F(OverlandConstituentStep, NothingMovesBeforeTheConstituentClockIsDue) {
  auto ms = still_water(1, 2, 10.0, 0.1, 10.0, 8.64);
  ms->clock.ov_con_clock.next_time = t0 + 2 * ms->clock.ov_dt_days;
  ms->clock.model_time += ms->clock.ov_dt_days;
  overland_constituent_processes(*ms);
  overland_constituent_transport(*ms);
  EXPECT_EQ(ms->constituent.ov_mass(1, 1), 100.0);
  EXPECT_EQ(total(*ms, constituent_term::overland_decay), 0.0);
  EXPECT_EQ(ms->clock.ov_con_clock.last_time, t0);
  step(*ms);  // the next step is due, over both steps
  EXPECT_NEAR(ms->constituent.ov_mass(1, 1), 100.0 * (1.0 - 1e-4 * 2 * dt), 1e-12);
}

TEST_F(OverlandConstituentStep, RainBringsItsConcentrationOnlyWhileItFalls) {
  // 36 mm/h for 10 s on 100 m2 is 0.01 m3; at 5 g/m3 that is 0.05 g a cell.
  // Under a canopy that keeps two thirds of it, 12 mm/h reach the ground
  // and bring a third of that.
  const struct {
    const char* what;
    bool canopy;
    double grams;  // per cell
  } cases[] = {{"open ground", false, 0.05}, {"under a canopy", true, 0.05 / 3.0}};
  for (const auto& r : cases) {
    SCOPED_TRACE(r.what);
    auto ms = still_water(1, 3, 10.0, 0.02, 0.0, 0.0);
    hydromet_state& hm = ms->hydromet;
    hm.rain_depth.alloc(3);
    hm.rain_depth.fill(36.0);
    if (r.canopy) {
      hm.interception_coeff_given = 1;
      hm.ri_eff.alloc(3);
      hm.ri_eff.fill(12.0);
    }
    ms->constituent.precip_conc[1] = 5.0;
    ms->clock.precip_event_state = 1;
    step(*ms);
    for (int i = 1; i <= 3; ++i) {
      EXPECT_NEAR(ms->constituent.ov_mass(1, i), r.grams, 1e-15);
      EXPECT_NEAR(ms->constituent.ov_conc(1, i), r.grams / (0.02 * 100.0), 1e-12);  // in the cell's water
    }
    EXPECT_NEAR(total(*ms, constituent_term::rain_on_cells), 3 * r.grams / 1000.0, 1e-18);
    ms->clock.precip_event_state = 0;  // the rain has stopped
    step(*ms);
    EXPECT_NEAR(total(*ms, constituent_term::rain_on_cells), 3 * r.grams / 1000.0, 1e-18);
    EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
  }
}

TEST_F(OverlandConstituentStep, InfiltrationCarriesTheWaterConcentrationAndADryingCellGivesAll) {
  // Cell 1 keeps 5 cm and lets 1 cm soak in: 20 g/m3 x 0.01 m x 100 m2 = 20 g.
  // Cell 2 has dried while 1 cm soaked in: all its mass goes into the soil.
  auto ms = still_water(1, 2, 10.0, 0.05, 20.0, 0.0);
  ms->overland.ov_depth[2] = 0.0;
  ms->soil.inf_depth_cell[1] = 0.01;
  ms->soil.inf_depth_cell[2] = 0.01;
  const double m1 = ms->constituent.ov_mass(1, 1), m2 = ms->constituent.ov_mass(1, 2);
  ASSERT_NEAR(m2, 100.0, 1e-12);
  step(*ms);
  EXPECT_NEAR(ms->constituent.ov_mass(1, 2), 0.0, 0.0);
  EXPECT_NEAR(ms->constituent.ov_mass(1, 1), m1 - 20.0, 1e-12);
  EXPECT_NEAR(total(*ms, constituent_term::infiltration) * 1000.0, m2 + 20.0, 1e-12);
  // The same depth is not taken twice.
  step(*ms);
  EXPECT_NEAR(ms->constituent.ov_mass(1, 1), m1 - 20.0, 1e-12);
  EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
}

TEST_F(OverlandConstituentStep, ACellThatDriesGivesItsMassToTheLandSurface) {
  auto ms = still_water(1, 2, 10.0, 0.05, 20.0, 0.0);
  step(*ms);
  ms->overland.ov_depth[1] = 0.0;  // the water has run off or evaporated
  step(*ms);
  EXPECT_EQ(ms->constituent.ov_mass(1, 1), 0.0);
  EXPECT_EQ(ms->constituent.ov_conc(1, 1), 0.0);
  EXPECT_NEAR(ms->constituent.land_mass(1, 1), 100.0, 1e-12);
  EXPECT_NEAR(total(*ms, constituent_term::uptake_by_land) * 1000.0, 100.0, 1e-12);
  EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
}

TEST_F(OverlandConstituentStep, TheLandGivesUpToItsConcentrationAndNoMoreThanItHolds) {
  // Exchange rate 86.4 per day (1e-3 per second per m2 of cell): the land at
  // 30 g/m3 and water at 0 would give 30 x 1e-3 x 100 x 10 = 30 g in a step,
  // but the land holds 2 g only.
  struct exchange_case {
    double land_g, expected_g;
  } cases[] = {{1000.0, 30.0}, {2.0, 2.0}};
  for (const auto& x : cases) {
    auto ms = still_water(1, 1, 10.0, 1.0, 0.0, 0.0);
    constituent_state& k = ms->constituent;
    k.cell_uptake_rate(1, 1) = 1e-3;
    k.land_conc(1, 1) = 30.0;
    k.land_mass(1, 1) = x.land_g;
    const double land0 = land_surface_mass(*ms, 1);
    ms->constituent.mass_books->set_mass(1, mass_compartment::soil_column, ledger_moment::run_start, land0);
    step(*ms);
    EXPECT_NEAR(k.ov_mass(1, 1), x.expected_g, 1e-12) << x.land_g;
    EXPECT_NEAR(k.land_mass(1, 1), x.land_g - x.expected_g, 1e-12) << x.land_g;
    EXPECT_NEAR(total(*ms, constituent_term::release_from_land) * 1000.0, x.expected_g, 1e-12);
    EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
  }
}

TEST_F(OverlandConstituentStep, TheOutletTakesItsVolumeAtTheCellConcentrationAndNoMoreThanTheCellHolds) {
  struct outlet_case {
    double volume_m3, expected_g;
  } cases[] = {{0.5, 5.0}, {50.0, 50.0}};  // 10 g/m3; the cell holds 50 g
  for (const auto& x : cases) {
    auto ms = still_water(1, 2, 10.0, 0.05, 10.0, 0.0);
    ms->grid.outlet_cell = 2;
    ms->overland.outlet_vol_step = x.volume_m3;
    step(*ms);
    EXPECT_NEAR(total(*ms, constituent_term::overland_outlet) * 1000.0, x.expected_g, 1e-12) << x.volume_m3;
    EXPECT_NEAR(ms->constituent.ov_mass(1, 2), 50.0 - x.expected_g, 1e-12);
    EXPECT_EQ(ms->overland.outlet_vol_step, 0.0);
    EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
  }
}

TEST_F(OverlandConstituentStep, LateralInflowCarriesTheCellOrTheNodeConcentration) {
  // Cell 1 gave 2 m3 to node 3 of link 1; node 4 of link 1 gave cell 2 1 m3
  // at the channel's 7 g/m3.
  auto ms = still_water(1, 2, 10.0, 0.05, 10.0, 0.0);
  channel_state& ch = ms->channel;
  constituent_state& k = ms->constituent;
  ch.chan_explic = 1;
  k.chan_con_trans = 1;
  ch.max_nodes_per_link = 5;
  ch.link_node_size = 10;
  ch.ltype.alloc(1);
  ch.gst_ncellsingrid.alloc(2);
  for (auto* a : {&ch.gst_link, &ch.gst_node, &ch.gst_gnum}) a->alloc(2, 1);
  ch.gst_Vlat.alloc(2, 1);
  ch.gst_ncellsingrid[1] = ch.gst_ncellsingrid[2] = 1;
  ch.gst_link[1][1] = ch.gst_link[2][1] = 1;
  ch.gst_node[1][1] = 3;
  ch.gst_node[2][1] = 4;
  ch.gst_gnum[1][1] = 1;
  ch.gst_gnum[2][1] = 2;
  ch.gst_Vlat[1][1] = 2.0;
  ch.gst_Vlat[2][1] = -1.0;
  k.chan_qlat_mass.grow(1, 10);
  k.chan_conc.grow(1, 10);
  k.chan_conc(1, 9) = 7.0;
  step(*ms);
  EXPECT_NEAR(k.chan_qlat_mass(1, 8), 20.0, 1e-12);
  EXPECT_NEAR(k.chan_qlat_mass(1, 9), -7.0, 1e-12);
  EXPECT_NEAR(k.ov_mass(1, 1), 30.0, 1e-12);
  EXPECT_NEAR(k.ov_mass(1, 2), 57.0, 1e-12);
  EXPECT_NEAR(total(*ms, constituent_term::overland_to_channels) * 1000.0, 13.0, 1e-12);
  EXPECT_EQ(ch.gst_Vlat[1][1], 0.0);
  EXPECT_EQ(ch.gst_Vlat[2][1], 0.0);
}

TEST_F(OverlandConstituentStep, FlowBetweenCellsKeepsTheMassAndTheSweepsAlternate) {
  // 3 x 3 cells, water flowing east and south inside a closed box: no mass
  // is made or lost, whichever direction goes first.
  auto ms = still_water(3, 3, 10.0, 0.1, 0.0, 0.0);
  constituent_state& k = ms->constituent;
  k.ov_mass(1, 1) = 50.0;
  k.ov_conc(1, 1) = 5.0;
  for (int i = 1; i <= 9; ++i) {
    if (ms->grid.rightcon[i]) ms->overland.ov_qx[i] = 0.01;
    if (ms->grid.belowcon[i]) ms->overland.ov_qy[i] = 0.01;
    k.cell_disp_coef(1, i) = 0.2;
  }
  ms->constituent.mass_books->set_mass(1, mass_compartment::overland_water, ledger_moment::run_start, 0.05);
  for (int s = 1; s <= 20; ++s) {
    EXPECT_EQ(k.ov_sweep_order, s % 2 ? 1 : 2);
    step(*ms);
    EXPECT_NEAR(overland_water_mass(*ms, 1), 0.05, 1e-15);
  }
  EXPECT_GT(k.ov_mass(1, 9), 0.0);
  EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
}

// The water a boundary cell let out of the grid, or a rating boundary sent
// to its receiver, takes its share of the mass the cell held with all the
// water the step saw in it: 10 m3 at 10 g/m3 in each of two cells of 100
// m2; what came in through a boundary is clean.
TEST_F(OverlandConstituentStep, WaterThroughABoundaryCellTakesItsShareOfTheMass) {
  struct boundary_case {
    const char* what;
    int type;
    double h1, h2;     // depths after the boundary moved the water, m
    double out;        // left the grid through cell 1, m3
    double rated;      // cell 1 sent its right neighbour (negative: received), m3
    double m1, m2;     // masses after the step, g
    double booked;     // carried out of the grid, g
  } cases[] = {
      {"normal depth", boundary::normal_depth, 0.05, 0.1, 5.0, 0.0, 50.0, 100.0, 50.0},
      {"emptied at normal depth", boundary::normal_depth, 0.0, 0.1, 10.0, 0.0, 0.0, 100.0, 100.0},
      {"level lowered", boundary::level_series, 0.02, 0.1, 8.0, 0.0, 20.0, 100.0, 80.0},
      {"rated outflow", boundary::rating_outflow, 0.05, 0.15, 0.0, 5.0, 50.0, 150.0, 0.0},
      {"rated inflow", boundary::rating_exchange, 0.15, 0.05, 0.0, -5.0, 150.0, 50.0, 0.0},
      {"discharge in", boundary::discharge_cms, 0.15, 0.1, 0.0, 0.0, 100.0, 100.0, 0.0},
  };
  for (const auto& x : cases) {
    SCOPED_TRACE(x.what);
    auto ms = still_water(1, 2, 10.0, 0.1, 10.0, 0.0);
    overland_state& ov = ms->overland;
    ov.ov_boundary = 1;
    ov.boundary_type.alloc(2);
    ov.boundary_type[1] = x.type;
    if (boundary::rates_by_curve(x.type)) ov.boundary_type[2] = boundary::rating_receiver;
    ov.bc_out_vol.alloc(2);
    ov.bc_rating_vol.alloc(2, 4);
    ov.ov_depth[1] = x.h1;
    ov.ov_depth[2] = x.h2;
    ov.bc_out_vol[1] = x.out;
    ov.bc_rating_vol(1, 2) = x.rated;
    step(*ms);
    const constituent_state& k = ms->constituent;
    EXPECT_NEAR(k.ov_mass(1, 1), x.m1, 1e-12);
    EXPECT_NEAR(k.ov_mass(1, 2), x.m2, 1e-12);
    EXPECT_NEAR(total(*ms, constituent_term::overland_boundary_out) * 1000.0, x.booked, 1e-12);
    // What stays keeps the concentration of what left, unless clean water
    // came in: 100 g in 15 m3.
    const double c1 = x.type == boundary::discharge_cms ? 100.0 / 15.0 : x.h1 > 0.0 ? 10.0 : 0.0;
    EXPECT_NEAR(k.ov_conc(1, 1), c1, 1e-12);
    EXPECT_NEAR(k.ov_conc(1, 2), 10.0, 1e-12);
    // The volumes are taken once.
    EXPECT_EQ(ov.bc_out_vol[1], 0.0);
    EXPECT_EQ(ov.bc_rating_vol(1, 2), 0.0);
    step(*ms);
    EXPECT_NEAR(k.ov_mass(1, 1), x.m1, 1e-12);
    EXPECT_NEAR(overland_residual(*ms), 0.0, 1e-15);
  }
}

// Three cells of 100 m2 in a row, 10 cm of water at 10 g/m3 on the first
// two; the third under lake 1, a channel lake whose mass the channel
// quality holds (40 kg at 4 g/m3) or an overland lake holding 0.2 m of
// water over the cell.
std::unique_ptr<model_state> shore(bool channel_lake) {
  auto ms = still_water(1, 3, 10.0, 0.1, 10.0, 0.0);
  lake_state& lk = ms->lake;
  ms->grid.elevation.alloc(3);
  ms->overland.ov_depth[3] = 0.0;
  if (channel_lake) {
    lk.chan_lakes = 1;
    lk.num_lakes = 1;
    lk.lake_mask.alloc(3);
    lk.lake_mask[3] = 1;
  } else {
    lk.overland_lake_map_given = 1;
    lk.num_olakes = 1;
    lk.oland_lake_new.alloc(3);
    lk.oland_lake_new[3] = 1;
    lk.olake_table.alloc(1);
    lk.olake_table[1].value[olake_value::level] = 0.2;
  }
  constituent_state& k = ms->constituent;
  k.ov_mass(1, 3) = k.ov_conc(1, 3) = 0.0;
  init_soil_contam(*ms);
  if (channel_lake) {
    k.chan_wq = std::make_unique<channel_constituents>();
    k.lake_mass.grow(1, 1);
    k.lake_conc.grow(1, 1);
    k.lake_mass(1, 1) = 40000.0;
    k.lake_conc(1, 1) = 4.0;
  }
  return ms;
}

// Across a lake's shore the water carries the cell's concentration into
// the lake and the lake's out of it, and no dispersion crosses: by hand,
// 0.01 m3/s from cell 2 at 10 g/m3 for 10 s gives the lake 1 g (the water
// that leaves takes the concentration of the water that stays: cell 2
// ends the step 1 mm lower); 0.01 m3/s out of a lake at 4 g/m3 gives
// cell 2 0.4 g. A channel lake's mass is booked as it crosses, an overland
// lake's is part of the overland water.
TEST_F(OverlandConstituentStep, WaterCrossingALakesShoreCarriesTheUpwindConcentration) {
  struct shore_case {
    bool channel_lake;
    double q;          // across the shore, m3/s (positive into the lake)
    double lake_gain;  // g
  } cases[] = {{true, 0.01, 1.0}, {true, -0.01, -0.4}, {false, 0.01, 1.0}};
  for (const auto& x : cases) {
    SCOPED_TRACE(::testing::Message() << x.channel_lake << " " << x.q);
    auto ms = shore(x.channel_lake);
    constituent_state& k = ms->constituent;
    for (int i = 1; i <= 3; ++i) k.cell_disp_coef(1, i) = 5.0;
    ms->overland.ov_qx[2] = x.q;
    ms->overland.ov_depth[2] = 0.1 - x.q * dt / 100.0;  // the depth the flow leaves
    const double overland0 = overland_water_mass(*ms, 1);
    step(*ms);
    // Cells 1 and 2 disperse between them what the shore changed.
    EXPECT_NEAR(k.ov_mass(1, 1) + k.ov_mass(1, 2), 200.0 - x.lake_gain, 1e-12);
    EXPECT_EQ(k.ov_mass(1, 3), 0.0);
    if (x.channel_lake) {
      EXPECT_NEAR(k.lake_mass(1, 1), 40000.0 + x.lake_gain, 1e-9);
      EXPECT_NEAR(total(*ms, constituent_term::overland_to_lakes) * 1000.0, std::max(x.lake_gain, 0.0), 1e-12);
      EXPECT_NEAR(total(*ms, constituent_term::lakes_to_overland) * 1000.0, std::max(-x.lake_gain, 0.0), 1e-12);
      EXPECT_NEAR(overland_water_mass(*ms, 1), overland0 - x.lake_gain / 1000.0, 1e-15);
    } else {
      EXPECT_NEAR(k.olake_mass(1, 1), x.lake_gain, 1e-12);
      EXPECT_NEAR(overland_water_mass(*ms, 1), overland0, 1e-15);
      EXPECT_EQ(total(*ms, constituent_term::overland_to_lakes), 0.0);
    }
  }
}

// A boundary cell under a channel lake acts on the lake's water: what it
// lets out of the grid, or sends a receiving cell, takes the lake's 4 g/m3.
TEST_F(OverlandConstituentStep, WaterLeavingALakeThroughABoundaryTakesTheLakesConcentration) {
  auto ms = shore(true);
  overland_state& ov = ms->overland;
  constituent_state& k = ms->constituent;
  ov.ov_boundary = 1;
  ov.boundary_type.alloc(3);
  ov.boundary_type[3] = boundary::rating_exchange;
  ov.boundary_type[2] = boundary::rating_receiver;
  ov.bc_out_vol.alloc(3);
  ov.bc_rating_vol.alloc(3, 4);
  ov.bc_out_vol[3] = 10.0;       // out of the grid: 40 g
  ov.bc_rating_vol(3, 4) = 5.0;  // to cell 2, its left neighbour: 20 g
  ov.ov_depth[2] = 0.15;         // which holds the 5 m3 now
  step(*ms);
  EXPECT_NEAR(k.lake_mass(1, 1), 40000.0 - 60.0, 1e-9);
  EXPECT_NEAR(k.ov_mass(1, 1) + k.ov_mass(1, 2), 220.0, 1e-12);
  EXPECT_NEAR(total(*ms, constituent_term::lake_boundary_out) * 1000.0, 40.0, 1e-12);
  EXPECT_NEAR(total(*ms, constituent_term::lakes_to_overland) * 1000.0, 20.0, 1e-12);
  EXPECT_EQ(total(*ms, constituent_term::overland_boundary_out), 0.0);
}

// A cell a lake floods gives it all its mass; a cell an overland lake
// leaves keeps the water over its ground at the lake's concentration; rain
// on an overland lake stays in its water.
TEST_F(OverlandConstituentStep, CellsJoiningAndLeavingALakeTakeTheirMassWithThem) {
  // Cell 2 (100 g) is taken by the channel lake.
  auto ms = shore(true);
  constituent_state& k = ms->constituent;
  step(*ms);
  ms->lake.lake_mask[2] = 1;
  ms->overland.ov_depth[2] = 0.0;
  step(*ms);
  EXPECT_EQ(k.ov_mass(1, 2), 0.0);
  EXPECT_NEAR(k.lake_mass(1, 1), 40100.0, 1e-9);
  EXPECT_NEAR(total(*ms, constituent_term::overland_to_lakes) * 1000.0, 100.0, 1e-12);
  // The overland lake holds 3 g; it falls off its only cell and leaves on it
  // the water over its ground, which is all the lake's water had: all 3 g.
  for (const double left_depth : {0.05, 0.2}) {
    SCOPED_TRACE(left_depth);
    auto o = shore(false);
    constituent_state& ko = o->constituent;
    step(*o);
    ko.olake_mass(1, 1) = 3.0;
    o->lake.oland_lake_new[3] = 0;
    o->overland.ov_depth[3] = left_depth;
    const double before = overland_water_mass(*o, 1);
    step(*o);
    EXPECT_NEAR(ko.ov_mass(1, 3), 3.0, 1e-12);
    EXPECT_NEAR(ko.olake_mass(1, 1), 0.0, 1e-12);
    EXPECT_NEAR(ko.ov_conc(1, 3), ko.ov_mass(1, 3) / (left_depth * 100.0), 1e-12);
    EXPECT_NEAR(overland_water_mass(*o, 1), before, 1e-15);
  }
  // The lake floods cell 2 too and takes its 100 g; over 40 m3 (0.2 m on
  // two cells). Cell 3 emerges with 5 cm: the 100 g were in the 20 m3 still
  // over cell 2 and these 5 m3, so the cell keeps 20 g at the lake's 4 g/m3.
  {
    auto o = shore(false);
    constituent_state& ko = o->constituent;
    o->lake.oland_lake_new[2] = 1;
    o->overland.ov_depth[2] = 0.0;
    step(*o);
    EXPECT_NEAR(ko.olake_mass(1, 1), 100.0, 1e-12);
    EXPECT_NEAR(ko.olake_water[1], 40.0, 1e-12);
    o->lake.oland_lake_new[3] = 0;
    o->overland.ov_depth[3] = 0.05;
    step(*o);
    EXPECT_NEAR(ko.ov_mass(1, 3), 20.0, 1e-12);
    EXPECT_NEAR(ko.ov_conc(1, 3), 4.0, 1e-12);
    EXPECT_NEAR(ko.olake_mass(1, 1), 80.0, 1e-12);
    EXPECT_NEAR(overland_residual(*o), 0.0, 1e-15);
  }
  // 36 mm/h for 10 s at 5 g/m3 on the lake's 100 m2: 0.05 g into its water.
  auto r = shore(false);
  r->hydromet.rain_depth.alloc(3);
  r->hydromet.rain_depth[3] = 36.0;
  r->constituent.precip_conc[1] = 5.0;
  r->clock.precip_event_state = 1;
  step(*r);
  EXPECT_NEAR(r->constituent.olake_mass(1, 1), 0.05, 1e-15);
  EXPECT_EQ(r->constituent.ov_mass(1, 3), 0.0);
  EXPECT_NEAR(total(*r, constituent_term::rain_on_cells) * 1000.0, 0.05, 1e-15);
  EXPECT_NEAR(overland_residual(*r), 0.0, 1e-15);
}

// Puts a concentration (g/m3) into a cell's water, with its mass.
void put(model_state& ms, int c, int cell, double conc) {
  const double dx = ms.grid.grid_size;
  ms.constituent.ov_conc(c, cell) = conc;
  ms.constituent.ov_mass(c, cell) = conc * ms.overland.ov_depth[cell] * dx * dx;
}

double grams(const model_state& ms, int c) { return overland_water_mass(ms, c) * 1000.0; }

// Three constituents, each with its own dispersion, in a closed 5 x 8
// strip of uneven depths with flows both ways between the cells, started
// in either sweep order: every constituent keeps its mass, no cell goes
// below zero, and the sweeps alternate.
TEST_F(OverlandConstituentStep, AClosedStripKeepsTheMassOfEveryConstituentInBothSweepOrders) {
  for (const int first : {1, 2}) {
    reset_process_state();
    auto ms = still_water(5, 8, 10.0, 0.0, 0.0, 0.0, 1.0, 3);
    constituent_state& k = ms->constituent;
    ASSERT_EQ(k.num_constituents, 3);
    k.ov_sweep_order = first;
    for (int i = 1; i <= 40; ++i) {
      ms->overland.ov_depth[i] = k.ov_depth_prev[i] = 0.03 + 0.004 * (i % 5);
      if (ms->grid.rightcon[i]) ms->overland.ov_qx[i] = 0.002 * ((i * 3) % 7 - 3);
      if (ms->grid.belowcon[i]) ms->overland.ov_qy[i] = 0.0015 * ((i * 5) % 9 - 4);
      for (int c = 1; c <= 3; ++c) k.cell_disp_coef(c, i) = 0.1 * c;
      put(*ms, 1, i, 10.0 + (i * 13) % 17);
      put(*ms, 2, i, i == 20 ? 500.0 : 0.0);
      put(*ms, 3, i, 1e-3 * (i % 4));
    }
    double m0[4] = {};
    for (int c = 1; c <= 3; ++c) m0[c] = grams(*ms, c);
    for (int s = 1; s <= 30; ++s) step(*ms);
    EXPECT_EQ(k.ov_sweep_order, first);
    for (int c = 1; c <= 3; ++c) {
      EXPECT_NEAR(grams(*ms, c), m0[c], 1e-12 * m0[c]) << "constituent " << c << ", sweep " << first;
      EXPECT_EQ(total(*ms, constituent_term::overland_negative_reset, c), 0.0);
      for (int i = 1; i <= 40; ++i) EXPECT_GE(k.ov_mass(c, i), 0.0);
    }
    EXPECT_GT(k.ov_mass(2, 1), 0.0);  // the pulse has reached the corner
  }
}

// A pulse of each of two constituents in the middle of a flat 9 x 9 plane
// of still water spreads the same way in every direction, whichever sweep
// comes first.
TEST_F(OverlandConstituentStep, APulseOfEveryConstituentSpreadsSymmetricallyOnAFlatPlane) {
  for (const int first : {1, 2}) {
    reset_process_state();
    auto ms = still_water(9, 9, 5.0, 0.02, 0.0, 0.0, 1.0, 2);
    constituent_state& k = ms->constituent;
    k.ov_sweep_order = first;
    for (int i = 1; i <= 81; ++i) {
      k.cell_disp_coef(1, i) = 0.2;
      k.cell_disp_coef(2, i) = 0.6;
    }
    const int centre = 4 * 9 + 5;
    put(*ms, 1, centre, 100.0);
    put(*ms, 2, centre, 40.0);
    const double m0[3] = {0.0, grams(*ms, 1), grams(*ms, 2)};
    for (int s = 1; s <= 20; ++s) step(*ms);
    auto at = [&](int c, int r, int col) { return k.ov_conc(c, r * 9 + col + 1); };
    for (int c = 1; c <= 2; ++c) {
      EXPECT_NEAR(grams(*ms, c), m0[c], 1e-12 * m0[c]) << c;
      EXPECT_LT(at(c, 4, 4), c == 1 ? 100.0 : 40.0);
      EXPECT_GT(at(c, 0, 4), 0.0) << c;
      for (int r = 0; r < 9; ++r)
        for (int col = 0; col < 9; ++col) {
          const double v = at(c, r, col);
          EXPECT_NEAR(v, at(c, 8 - r, col), 1e-12 * 100.0) << c << ": " << r << " " << col;
          EXPECT_NEAR(v, at(c, r, 8 - col), 1e-12 * 100.0) << c << ": " << r << " " << col;
          EXPECT_NEAR(v, at(c, col, r), 1e-9) << c << ": " << r << " " << col;
        }
    }
    EXPECT_LT(at(2, 4, 4) / 40.0, at(1, 4, 4) / 100.0);  // the faster dispersion has drained the centre more
  }
}

TEST_F(OverlandConstituentStep, AMassThatIsNotANumberStopsTheRunNamingTheConstituentAndCell) {
  // The second of two constituents goes bad in the third cell of a still
  // 1 x 4 strip; it would spread to every cell and into the books.
  auto ms = still_water(1, 4, 10.0, 0.05, 10.0, 0.0, 1.0, 2);
  ms->constituent.ov_mass(2, 3) = std::nan("");
  ::testing::internal::CaptureStdout();
  step(*ms);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(process.error_block.stop, 1);
  EXPECT_NE(out.find("Total cell mass, contam 2 cell 3 NAN"), std::string::npos) << out;
  // A good record passes.
  reset_process_state();
  auto good = still_water(1, 4, 10.0, 0.05, 10.0, 0.0, 1.0, 2);
  step(*good);
  EXPECT_EQ(process.error_block.stop, 0);
}

TEST_F(OverlandConstituentStep, APointSourceBetweenEventsWakesTheOverlandAndInfiltrationClocks) {
  auto ms = still_water(1, 2, 10.0, 0.0, 0.0, 0.0);
  constituent_state& k = ms->constituent;
  k.ov_point_source_given = 1;
  k.ov_point_q.alloc(2);
  k.ov_point_q[2] = 0.002;  // 2 L/s
  k.ov_point_conc.grow(1, 2);
  k.ov_point_conc(1, 2) = 40.0;
  clock_state& cl = ms->clock;
  // Between events: the overland and infiltration clocks sleep till the next.
  cl.ov_next_time = cl.inf_next_time = t0 + 1.0;
  cl.ov_last_time = cl.inf_last_time = t0 + 1.0 - cl.ov_dt_days;
  cl.model_time = t0 + 3 * cl.ov_dt_days;
  cl.ov_con_clock.next_time = t0 + 2 * cl.ov_dt_days;  // found already due
  apply_overland_point_sources(*ms);
  EXPECT_NEAR(cl.ov_next_time, cl.model_time + cl.ov_dt_days, 1e-12);
  EXPECT_NEAR(cl.inf_next_time, cl.model_time + cl.ov_dt_days, 1e-12);
  EXPECT_EQ(cl.ov_last_time, cl.model_time);
  EXPECT_EQ(cl.inf_last_time, cl.model_time);
  // Three steps of water since the constituents last moved: 0.06 m3 on
  // 100 m2, at 40 g/m3.
  EXPECT_NEAR(ms->overland.ov_depth[2], 6e-4, 1e-15);
  EXPECT_NEAR(k.ov_mass(1, 2), 2.4, 1e-12);
  EXPECT_NEAR(ms->ledger.run_total(water_flux::overland_point_sources), 0.06, 1e-15);
  EXPECT_NEAR(total(*ms, constituent_term::overland_point_source), 2.4e-3, 1e-15);
  // Without a source's discharge nothing wakes.
  reset_process_state();
  auto dry = still_water(1, 2, 10.0, 0.0, 0.0, 0.0);
  dry->constituent.ov_point_source_given = 1;
  dry->constituent.ov_point_q.alloc(2);
  dry->clock.ov_next_time = t0 + 1.0;
  dry->clock.model_time = t0 + dry->clock.ov_dt_days;
  apply_overland_point_sources(*dry);
  EXPECT_EQ(dry->clock.ov_next_time, t0 + 1.0);
}

TEST_F(OverlandConstituentStep, APointSourceBetweenEventsStartsTheStoppedRedistributionFronts) {
  // A long-term run whose redistribution fronts stopped with the dry
  // surface: the source's water starts them again from the accounting
  // layer. Cell 1 holds 6 cm of water in its 20 cm top zone (0.3), cell 2
  // has its water table at the ground (no accounted depth: porosity).
  auto ms = still_water(1, 2, 10.0, 0.0, 0.0, 0.0);
  constituent_state& k = ms->constituent;
  k.ov_point_source_given = 1;
  k.ov_point_q.alloc(2);
  k.ov_point_q[1] = 0.001;
  k.ov_point_conc.grow(1, 2);
  soil_state& s = ms->soil;
  s.inf_redist = s.sm_accounting = 1;
  s.top_layer_depth = 20.0;
  for (array1d<double>* a : {&s.cum_infil, &s.cum_infil_prev, &s.redist_infil, &s.init_moisture,
                             &s.init_moisture_redist, &s.init_moisture_old, &s.sm_depth, &s.sm_water,
                             &s.sm_water_top, &s.sm_water_bottom, &s.resid_sat})
    a->alloc(2);
  for (int c = 1; c <= 2; ++c) {
    s.soil_porosity[c] = 0.45;
    s.resid_sat[c] = 0.05;
    s.cum_infil[c] = s.cum_infil_prev[c] = 0.03;  // the last event's fronts
  }
  s.sm_depth[1] = 40.0;
  s.sm_water_top[1] = 6.0;
  s.sm_water[1] = 10.0;
  s.init_soil_water = 0.25;  // the event's starting saturation, reported at its end
  clock_state& cl = ms->clock;
  cl.long_term = 1;
  cl.inf_redist_active = 0;
  cl.ov_next_time = cl.inf_next_time = t0 + 1.0;
  cl.model_time = t0 + cl.ov_dt_days;
  apply_overland_point_sources(*ms);
  EXPECT_EQ(cl.inf_redist_active, 1);
  EXPECT_DOUBLE_EQ(s.init_moisture_redist[1], 0.3);
  EXPECT_DOUBLE_EQ(s.init_moisture_redist[2], 0.45);
  EXPECT_EQ(s.cum_infil[1], 0.0);
  EXPECT_EQ(s.cum_infil_prev[2], 0.0);
  EXPECT_EQ(s.init_soil_water, 0.25);
  EXPECT_NEAR(ms->overland.ov_depth[1], 0.01 / 100.0, 1e-15);  // 10 s at 1 L/s
  // Fronts that are running are left as they are.
  s.cum_infil[1] = 0.02;
  cl.model_time += cl.ov_dt_days;
  apply_overland_point_sources(*ms);
  EXPECT_EQ(s.cum_infil[1], 0.02);
}

TEST_F(OverlandConstituentStep, TheSameBitsOnAnyNumberOfThreads) {
  // 100 x 100 cells, enough to be split among threads: flow, dispersion,
  // decay, infiltration and exchange with the land, ten steps.
  auto run = [](int threads) {
    auto ms = still_water(100, 100, 10.0, 0.02, 0.0, 4.0);
    constituent_state& k = ms->constituent;
    ms->overland.crew.resize(threads);
    for (int i = 1; i <= 10000; ++i) {
      ms->overland.ov_depth[i] = 0.01 + 0.0001 * (i % 37);
      if (ms->grid.rightcon[i]) ms->overland.ov_qx[i] = 0.001 * (1 + i % 5);
      if (ms->grid.belowcon[i]) ms->overland.ov_qy[i] = 0.0005 * (1 + i % 3);
      k.cell_disp_coef(1, i) = 0.1;
      k.cell_uptake_rate(1, i) = 1e-4;
      k.land_conc(1, i) = 20.0 + i % 11;
      k.land_mass(1, i) = 5.0;
      ms->soil.inf_depth_cell[i] = 0.0;
    }
    for (int s = 1; s <= 10; ++s) {
      for (int i = 1; i <= 10000; i += 7) ms->soil.inf_depth_cell[i] += 1e-4;
      step(*ms);
    }
    return ms;
  };
  const auto one = run(1);
  const auto three = run(3);
  for (int i = 1; i <= 10000; ++i) ASSERT_EQ(one->constituent.ov_mass(1, i), three->constituent.ov_mass(1, i)) << i;
  for (int t = 1; t <= n_constituent_terms; ++t)
    EXPECT_EQ(one->constituent.mass_books->run_total(1, t), three->constituent.mass_books->run_total(1, t)) << t;
  EXPECT_GT(total(*one, constituent_term::release_from_land), 0.0);
  EXPECT_GT(total(*one, constituent_term::infiltration), 0.0);
}

}  // namespace
}  // namespace nivra
