// The soil-moisture accounting kernels against hand calculations: ponded
// water that covers the potential evaporation leaves the soil alone, a
// zone at field capacity does not drain, a wetter one drains at its
// Brooks-Corey conductivity, and every cell's water closes every pass.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "clock/clock_state.h"
#include "inputs/grid_state.h"
#include "model/model_state.h"
#include "soil/soil_moisture.h"
#include "soil/soil_moisture_step.h"
#include "soil/soil_state.h"

namespace nivra {
namespace {

// Cells of one soil under the redistribution kernel: a 40 cm column, its
// top zone 10 cm; porosity 0.45, residual 0.05, field capacity 0.30,
// wilting point 0.10, Ks 2 cm/h, pore index 0.5.
struct accounting_cells {
  std::unique_ptr<soil_state> soil = std::make_unique<soil_state>();
  array1d<double> depth, pet, aet, rain;
  int n;
  double area = 100.0;

  explicit accounting_cells(int cells, double theta = 0.2) : n(cells) {
    soil_state& s = *soil;
    for (array1d<double>* a : {&s.sm_depth, &s.sm_water, &s.sm_water_top, &s.sm_water_bottom, &s.sm_infil_in,
                               &s.soil_porosity, &s.resid_sat, &s.ga_value_6, &s.wilting_point_cell,
                               &s.sat_hyd_cond, &s.pore_dist_index, &s.unsat_down_flux, &s.recharge_depth,
                               &s.direct_evap_cell, &depth, &pet, &aet, &rain})
      a->alloc(n);
    s.soil_moist_depth = 40.0;
    s.top_layer_depth = 10.0;
    for (int c = 1; c <= n; ++c) {
      s.sm_depth[c] = 40.0;
      s.soil_porosity[c] = 0.45;
      s.resid_sat[c] = 0.05;
      s.ga_value_6[c] = 0.30;
      s.wilting_point_cell[c] = 0.10;
      s.sat_hyd_cond[c] = 2.0 / 360000.0;
      s.pore_dist_index[c] = 0.5;
      set_water(c, theta, theta);
    }
  }
  void set_water(int c, double top, double bottom) {
    soil->sm_water_top[c] = 10.0 * top;
    soil->sm_water_bottom[c] = 30.0 * bottom;
    soil->sm_water[c] = soil->sm_water_top[c] + soil->sm_water_bottom[c];
  }
  soil_moisture_domain domain(double dt) {
    soil_moisture_domain d{*soil};
    d.ov_depth = depth.data();
    d.ncells = n;
    d.cell_area = area;
    d.dt = dt;
    d.long_term = true;
    d.pet_rate = pet.data();
    d.aet_rate = aet.data();
    d.rain = rain.data();
    return d;
  }
  double water(int c) const { return soil->sm_water_top[c] + soil->sm_water_bottom[c]; }
};

TEST(SoilMoistureAccounting, PondedWaterThatCoversThePotentialEvaporationLeavesTheSoilAlone) {
  accounting_cells k(1, 0.35);
  k.depth[1] = 0.002;                // 2 mm ponded
  k.pet[1] = k.aet[1] = 1e-5;        // 0.036 cm/h
  k.soil->sat_hyd_cond[1] = 0.0;     // no drainage either
  const soil_moisture_books b = soil_moisture_redist(k.domain(3600.0));
  EXPECT_NEAR(k.depth[1], 0.002 - 0.00036, 1e-15);
  EXPECT_NEAR(k.soil->direct_evap_cell[1], 0.036, 1e-15);
  EXPECT_DOUBLE_EQ(k.soil->sm_water_top[1], 3.5);
  EXPECT_DOUBLE_EQ(k.soil->sm_water_bottom[1], 10.5);
  EXPECT_NEAR(b.ponded_evaporation, 0.00036 * 100.0, 1e-15);
  EXPECT_EQ(b.soil_et, 0.0);
}

TEST(SoilMoistureAccounting, TheSoilGivesWhatThePondCouldNotByItsZonesShares) {
  // Pond of 0.018 cm, demand 0.036 cm in the hour: the pond covers half the
  // hour; the soil meets the actual rate over the other half, the top zone
  // its 10/40 share and the bottom zone its 30/40 (both at field capacity
  // or wetter: unstressed).
  accounting_cells k(1, 0.35);
  k.soil->sat_hyd_cond[1] = 0.0;
  k.depth[1] = 0.00018;
  k.pet[1] = 1e-5;
  k.aet[1] = 0.8e-5;
  const soil_moisture_books b = soil_moisture_redist(k.domain(3600.0));
  const double demand = 0.8e-5 * 1800.0;
  EXPECT_EQ(k.depth[1], 0.0);
  EXPECT_NEAR(k.soil->sm_water_top[1], 3.5 - demand * 0.25, 1e-12);
  EXPECT_NEAR(k.soil->sm_water_bottom[1], 10.5 - demand * 0.75, 1e-12);
  EXPECT_NEAR(b.soil_et, demand / 100.0 * 100.0, 1e-12);
}

TEST(SoilMoistureAccounting, RainOrSnowOnACellKeepsItsWater) {
  accounting_cells k(2, 0.35);
  k.soil->sat_hyd_cond[1] = k.soil->sat_hyd_cond[2] = 0.0;
  array1d<double> snow(2);
  k.pet.fill(1e-5);
  k.aet.fill(1e-5);
  k.rain[1] = 5.0;
  snow[2] = 0.01;
  soil_moisture_domain d = k.domain(3600.0);
  d.snow_swe = snow.data();
  const soil_moisture_books b = soil_moisture_redist(d);
  EXPECT_EQ(b.soil_et + b.ponded_evaporation, 0.0);
  EXPECT_DOUBLE_EQ(k.water(1), 14.0);
  EXPECT_DOUBLE_EQ(k.water(2), 14.0);
}

TEST(SoilMoistureAccounting, AZoneAtFieldCapacityDoesNotDrain) {
  accounting_cells k(1, 0.30);
  const soil_moisture_books b = soil_moisture_redist(k.domain(3600.0));
  EXPECT_EQ(b.drained, 0.0);
  EXPECT_DOUBLE_EQ(k.soil->sm_water_top[1], 3.0);
  EXPECT_DOUBLE_EQ(k.soil->sm_water_bottom[1], 9.0);
  EXPECT_EQ(k.soil->unsat_down_flux[1], 0.0);
}

TEST(SoilMoistureAccounting, AWetterZoneDrainsAtItsBrooksCoreyConductivity) {
  // Top zone at 0.40, bottom at 0.35: Se = 0.875 and 0.75; with a pore
  // index of 0.5, K = 2 Se^7 cm/h. In a quarter of an hour the top sheds
  // 0.5 x 2 x 0.875^7 into the bottom zone, which sheds 0.5 x 2 x 0.75^7.
  accounting_cells k(1);
  k.set_water(1, 0.40, 0.35);
  const soil_moisture_books b = soil_moisture_redist(k.domain(900.0));
  const double qt = 0.25 * 2.0 * std::pow(0.875, 7.0);
  const double qb = 0.25 * 2.0 * std::pow(0.75, 7.0);
  EXPECT_NEAR(k.soil->sm_water_top[1], 4.0 - qt, 1e-12);
  EXPECT_NEAR(k.soil->sm_water_bottom[1], 10.5 + qt - qb, 1e-12);
  EXPECT_NEAR(k.soil->unsat_down_flux[1], qb, 1e-12);
  EXPECT_NEAR(k.soil->recharge_depth[1], qb, 1e-12);
  EXPECT_NEAR(b.drained, qb / 100.0 * 100.0, 1e-12);
}

TEST(SoilMoistureAccounting, ASaturatedTopZonePassesTheInfiltrationOn) {
  accounting_cells k(1);
  k.set_water(1, 0.45, 0.20);
  k.soil->sm_infil_in[1] = 0.01;  // 1 cm
  soil_moisture_redist(k.domain(60.0));
  EXPECT_DOUBLE_EQ(k.soil->sm_water_top[1], 4.5);
  EXPECT_NEAR(k.soil->sm_water_bottom[1], 7.0, 1e-12);  // 6 cm + 1 cm, below field capacity
  EXPECT_EQ(k.soil->sm_infil_in[1], 0.0);
}

// A layered soil class 1: Ks 3, 1.5 and 1 cm/h, porosity 0.43, 0.41, 0.39,
// field capacity 0.25, wilting point 0.08, residual 0.04, pore index 0.4,
// 0.5, 0.6; layers 10 and 30 cm thick.
void layered_class(soil_state& s) {
  soil_class& cls = s.soil_classes()[1];
  for (int j = 1; j <= 3; ++j) {
    cls.real(4 + j) = 3.0 / j;
    cls.real(7 + j) = 0.45 - 0.02 * j;
    cls.real(13 + j) = 0.08;
    cls.real(16 + j) = 0.25;
    cls.real(19 + j) = 0.04;
    cls.real(25 + j) = 0.3 + 0.1 * j;
  }
  cls.real(23) = 10.0;
  cls.real(24) = 30.0;
  s.soiltype.alloc(s.sm_depth.size());
  s.soiltype.fill(1);
}

TEST(SoilMoistureAccounting, EveryCellsWaterClosesEveryPass) {
  // A day of hourly passes over cells from dry to saturated, with and
  // without infiltration, ponded water and evaporation, under both kernels,
  // each cell alone: water before + infiltration = water after +
  // evapotranspiration + drainage, pass by pass.
  const double theta[] = {0.05, 0.15, 0.25, 0.33, 0.40, 0.43};
  for (const bool layered : {false, true}) {
    for (int cell = 0; cell < 6; ++cell) {
      SCOPED_TRACE(testing::Message() << (layered ? "layered" : "redistribution") << " cell " << cell);
      accounting_cells k(1);
      soil_state& s = *k.soil;
      if (layered) layered_class(s);
      k.set_water(1, theta[cell], theta[5 - cell]);
      k.pet[1] = 2e-5 * (cell + 1) / 6.0;
      k.aet[1] = 1.5e-5 * (cell + 1) / 6.0;
      for (int hour = 0; hour < 24; ++hour) {
        const double infil = (hour + cell) % 3 == 0 ? 0.004 * (cell + 1) : 0.0;
        s.sm_infil_in[1] = infil;
        k.depth[1] = (hour + cell) % 4 == 0 ? 0.0001 * (cell + 1) : 0.0;
        const double before = k.water(1), drained_before = s.unsat_down_flux[1];
        const soil_moisture_books b =
            layered ? soil_moisture_multilayer(k.domain(3600.0)) : soil_moisture_redist(k.domain(3600.0));
        const double et = b.soil_et / k.area * 100.0;  // cm
        const double drained = s.unsat_down_flux[1] - drained_before;
        EXPECT_NEAR(before + infil * 100.0, k.water(1) + et + drained, 1e-12);
        EXPECT_NEAR(b.drained / k.area * 100.0, drained, 1e-12);
        EXPECT_NEAR(b.taken_in, infil * k.area, 1e-15);
        EXPECT_GE(drained, 0.0);
        EXPECT_GE(et, 0.0);
      }
    }
  }
}

TEST(SoilMoistureAccounting, TheLayeredBottomZoneDrainsAtTheMeanConductivityOfTheLayersItSpans) {
  // The bottom zone (layer 2 of 30 cm, reaching layer 3) at 0.35 of the
  // layer-2 soil: Se = (0.35 - 0.04)/(0.41 - 0.04); K2 = 1.5 Se^(3 + 2/0.5),
  // K3 = 1 Se^(3 + 2/0.6); it drains sqrt(K2 K3) for the hour. The top zone
  // at field capacity sheds nothing.
  accounting_cells k(1);
  layered_class(*k.soil);
  k.set_water(1, 0.25, 0.35);
  soil_moisture_multilayer(k.domain(3600.0));
  const double se = (0.35 - 0.04) / (0.41 - 0.04);
  const double qb = std::sqrt(1.5 * std::pow(se, 7.0) * std::pow(se, 3.0 + 2.0 / 0.6));
  EXPECT_NEAR(k.soil->unsat_down_flux[1], qb, 1e-12);
  EXPECT_NEAR(k.soil->sm_water_bottom[1], 10.5 - qb, 1e-12);
  EXPECT_DOUBLE_EQ(k.soil->sm_water_top[1], 2.5);
}

TEST(SoilMoistureAccounting, ACellWithoutSoilSendsItsInfiltrationBelow) {
  accounting_cells k(1);
  array1d<int> exfil(1);
  k.soil->sm_depth[1] = 0.0;
  k.set_water(1, 0.0, 0.0);
  k.soil->sm_infil_in[1] = 0.02;
  soil_moisture_domain d = k.domain(600.0);
  d.exfiltrating = exfil.data();
  soil_moisture_redist(d);
  EXPECT_EQ(exfil[1], 1);
  EXPECT_DOUBLE_EQ(k.soil->unsat_down_flux[1], 2.0);
  EXPECT_EQ(k.water(1), 0.0);
}

// Where the water table stands at the surface (or the cell has no soil
// over it) the roots drink from the aquifer: the whole demand (unstressed,
// 0.8e-5 cm/s for an hour) is evapotranspired, the zones keep their water,
// and the drainage handed to the groundwater falls by the demand, below
// zero when nothing drained. Without a water table a cell without soil has
// only what drained to give.
TEST(SoilMoistureAccounting, ACellTheWaterTableFeedsTakesItsEvapotranspirationFromTheAquifer) {
  const double demand = 0.8e-5 * 3600.0;  // cm
  const struct {
    const char* what;
    bool water_table;
    double sm_depth;      // cm
    double drained;       // cm waiting in unsat_down_flux
    double et;            // cm evapotranspired
  } cases[] = {
      {"water table at the surface", true, 40.0, 0.0, demand},
      {"water table at the surface, some drained", true, 40.0, 0.01, demand},
      {"no soil over the water table", true, 0.0, 0.0, demand},
      {"no soil, no water table", false, 0.0, 0.01, 0.01},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    accounting_cells cells(1, 0.35);
    cells.soil->sat_hyd_cond[1] = 0.0;
    cells.soil->sm_depth[1] = k.sm_depth;
    if (k.sm_depth == 0.0) cells.set_water(1, 0.0, 0.0);
    cells.soil->unsat_down_flux[1] = cells.soil->recharge_depth[1] = k.drained;
    cells.pet[1] = 1e-5;
    cells.aet[1] = 0.8e-5;
    const double water = cells.water(1);
    array1d<int> exfil(1);
    exfil[1] = 1;
    soil_moisture_domain d = cells.domain(3600.0);
    if (k.water_table) d.exfiltrating = exfil.data();
    const soil_moisture_books b = soil_moisture_redist(d);
    EXPECT_NEAR(b.soil_et, k.et / 100.0 * cells.area, 1e-12);
    EXPECT_NEAR(b.drained, -k.et / 100.0 * cells.area, 1e-12);
    EXPECT_DOUBLE_EQ(cells.water(1), water);
    EXPECT_NEAR(cells.soil->unsat_down_flux[1], k.drained - k.et, 1e-12);
    EXPECT_NEAR(cells.soil->recharge_depth[1], k.drained - k.et, 1e-12);
  }
}

// The layered soil at a storm's start in a long-term run, by hand: class 1
// with layers of 10 and 20 cm (porosities 0.45, 0.42, 0.40; residual
// 0.05). Cell 1 has no accounting layer (a table at the ground): every
// layer saturated. Cell 2's layer ends 25 cm down: layer 1 = 2 / 10 = 0.2,
// layer 2 = 4.5 / 15 = 0.3, layer 3 below it saturated. Cell 3's reaches
// 40 cm: layer 1 = 2.5 / 10, and the bottom zone's 10.5 cm spread over the
// 30 cm below layer 1 gives layers 2 and 3 0.35 each. Cell 4's ends 5 cm
// down, its top zone wetter than the pores hold: layer 1 held at 0.45.
// The event starts from layer 1's mean saturation.
TEST(SoilMoistureEventStart, TheLayeredSoilTakesItsLayersFromTheAccountedWater) {
  auto ms = make_model_state();
  ms->grid.ncells = 4;
  ms->clock.long_term = 1;
  soil_state& s = ms->soil;
  s.sm_accounting = s.inf_layered_soil = 1;
  soil_class& k = s.soil_classes()[1];
  const double phi[3] = {0.45, 0.42, 0.40};
  for (int j = 1; j <= 3; ++j) {
    k.real(7 + j) = phi[j - 1];
    k.real(19 + j) = 0.05;
  }
  k.real(23) = 10.0;
  k.real(24) = 20.0;
  s.soiltype.alloc(4);
  s.soiltype.fill(1);
  for (array1d<double>* a : {&s.sm_depth, &s.sm_water, &s.sm_water_top, &s.sm_water_bottom}) a->alloc(4);
  s.THETA_ML.alloc(4, 4);
  const double depth[5] = {0, 0.0, 25.0, 40.0, 5.0}, top[5] = {0, 0.0, 2.0, 2.5, 2.5},
               bottom[5] = {0, 0.0, 4.5, 10.5, 0.0};
  for (int c = 1; c <= 4; ++c) {
    s.sm_depth[c] = depth[c];
    s.sm_water_top[c] = top[c];
    s.sm_water_bottom[c] = bottom[c];
    s.sm_water[c] = top[c] + bottom[c];
  }
  start_soil_moisture_event(*ms);
  const double expect[5][4] = {{}, {0, 0.45, 0.42, 0.40}, {0, 0.2, 0.3, 0.40}, {0, 0.25, 0.35, 0.35},
                               {0, 0.45, 0.42, 0.40}};
  for (int c = 1; c <= 4; ++c)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(s.THETA_ML(c, j), expect[c][j], 1e-12) << "cell " << c << " layer " << j;
  EXPECT_NEAR(s.init_soil_water, (1.0 + 0.2 / 0.45 + 0.25 / 0.45 + 1.0) / 4.0, 1e-12);
}

}  // namespace
}  // namespace nivra
