// Evapotranspiration against FAO Irrigation and Drainage Paper 56 (Allen et
// al. 1998): the saturation vapour pressure and its slope (Tables 2.3 and
// 2.4), the psychrometric constant (eq. 8) and the hourly reference
// evapotranspiration of Example 19, fed to the combination equation. The
// ground-temperature iteration closes its energy balance; the sky's
// longwave takes the vapour pressure in millibars; the night sends no
// shortwave; a cell under snow evaporates nothing; each cell of gridded
// weather evaporates as a weather record of its own air and radiation would
// make it; and the removal of
// the soil-moisture accounting takes ponded water first, then the soil down
// to its residual content.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "hydromet/elevation_bands.h"
#include "hydromet/evapotranspiration.h"
#include "hydromet/hydromet_state.h"
#include "inputs/grid_state.h"
#include "soil/soil_moisture.h"
#include "soil/soil_state.h"

namespace nivra::testing {
namespace {

constexpr double pi = 3.141592653589793;

TEST(Evapotranspiration, SaturationPressureAndSlopeAsInFaoTables) {
  // FAO-56 Table 2.3: es(25 C) = 3.168 kPa; Table 2.4: 0.189 kPa/C.
  EXPECT_NEAR(saturation_pressure_kpa(25.0), 3.168, 1e-3);
  EXPECT_NEAR(saturation_slope(25.0), 0.189, 1e-3);
  EXPECT_NEAR(saturation_pressure_kpa(10.0), 1.228, 1e-3);
  EXPECT_NEAR(saturation_slope(10.0), 0.082, 1e-3);
}

TEST(Evapotranspiration, PsychrometricConstantFollowsFaoWithTheLatentHeatOfTheAir) {
  // FAO-56 eq. 8 at sea level: 0.665e-3 P with a latent heat of 2.45 MJ/kg.
  const double P = 101.3;
  const double fao = 0.665e-3 * P;
  for (double T : {17.0, 20.0, 23.0, 26.0, 27.0})
    EXPECT_NEAR(psychrometric_constant(P, latent_heat(T)) / fao, 1.0, 0.005) << T << " C";
  // In hot air the smaller latent heat makes it about 1.6 % higher.
  EXPECT_NEAR(psychrometric_constant(P, latent_heat(38.0)) / fao, 1.016, 0.002);
}

TEST(Evapotranspiration, CombinationEquationGivesExample19) {
  // FAO-56 Example 19 (N'Diaye, Senegal, 14-15 h): 38 C, RH 52 %, u2 3.3
  // m/s, Rn - G = 1.574 MJ/m2/h, altitude 8 m, reference crop ra = 208/u2
  // and rc = 70 s/m: ETo = 0.63 mm/h.
  const double T = 38.0, P = 101.2;
  penman_terms t;
  t.delta = saturation_slope(T);
  t.lambda = latent_heat(T);
  t.gamma = psychrometric_constant(P, t.lambda);
  t.available = 1.574 / 3.6;  // kW/m2
  t.rho = 3.486 * P / (T + 275.0);
  t.deficit = saturation_pressure_kpa(T) * (1.0 - 0.52);
  t.ra = 208.0 / 3.3;
  t.rc = 70.0;
  const et_rates r = penman_monteith(t);
  const double mm_per_hour = r.actual * 1000.0 * 3600.0;
  EXPECT_NEAR(mm_per_hour, 0.63, 0.03 * 0.63);
  // Without the canopy the surface evaporates more.
  EXPECT_GT(r.potential, r.actual);
  // With no wind both rates are the radiation term, by hand: delta =
  // 0.35820 kPa/C, lambda = 2.4113 MJ/kg, gamma = 0.068352 kPa/C, so
  // 0.35820 / 0.42655 x 1.574 / 2.4113 = 0.54816 mm/h.
  const et_rates calm = penman_radiation_only(t);
  EXPECT_NEAR(calm.actual * 1000.0 * 3600.0, 0.548164, 1e-6);
  EXPECT_DOUBLE_EQ(calm.potential, calm.actual);
}

TEST(Evapotranspiration, GroundTemperatureClosesItsEnergyBalance) {
  struct air_case {
    const char* name;
    double Ta, shortwave, longwave, qa;
    bool snow;
  };
  const air_case cases[] = {
      {"sunny noon", 298.15, 600.0, 350.0, 0.008, false},
      {"clear night", 283.15, 0.0, 280.0, 0.005, false},
      {"dry cold air", 263.15, 100.0, 220.0, 0.001, false},
      {"snow cover", 273.15, 0.0, 300.0, 0.003, true},
  };
  for (const air_case& k : cases) {
    surface_air a;
    a.P = 100.0;
    a.Ta = k.Ta;
    a.u = 3.0;
    a.rho = 3.486 * a.P / (k.Ta - 273.15 + 275.0);
    a.lambda = latent_heat(k.Ta - 273.15);
    a.qa = k.qa;
    a.shortwave = k.shortwave;
    a.longwave = k.longwave;
    a.snow = k.snow;
    const ground_balance b = ground_temp_iteration(a, k.Ta);
    ASSERT_TRUE(b.converged) << k.name;
    const ground_terms end = ground_energy(a, b.Tg);
    // The residual at the final temperature is within the last step's
    // tolerance (0.001 K) times the derivative.
    EXPECT_LE(std::fabs(end.residual), end.derivative * 0.001) << k.name;
    // At balance the ground takes a third of the sensible heat (the
    // closure of the ground's energy balance), to the last step's
    // tolerance.
    EXPECT_NEAR(b.terms.flux, b.terms.H / 3.0, end.derivative * 0.001 + 1e-12) << k.name;
    if (k.snow) {
      EXPECT_EQ(b.terms.E, 0.0) << k.name;
    }
  }
}

TEST(Evapotranspiration, NightSendsNoShortwaveAndTheSunFavoursTheSlopeFacingIt) {
  const int doy = et_day_of_year(2024, 6, 21);
  EXPECT_EQ(doy, 173);  // a leap year counts its 29 February
  const et_sun night = et_sun_at(40.0, doy, 0);
  EXPECT_LT(night.altitude, 0.0);
  EXPECT_EQ(cell_shortwave(night, cell_surface{}, 200.0, 0.0, 9999.0), 0.0);

  // At noon, with no radiation measured, a level cell takes the clear-sky
  // beam at sin(altitude); a cell tilted by the zenith angle faces the sun
  // and takes all of it.
  const et_sun noon = et_sun_at(40.0, doy, 12);
  ASSERT_GT(noon.altitude, 0.0);
  const double level = cell_shortwave(noon, cell_surface{}, 9999.0, 0.0, 9999.0);
  const double zenith = pi / 2.0 - noon.altitude;
  const double tilted = cell_shortwave(noon, cell_surface{0.0, std::tan(zenith), 0.0, 1.0}, 9999.0, 0.0, 9999.0);
  EXPECT_GT(level, 0.0);
  EXPECT_NEAR(tilted / level, 1.0 / std::sin(noon.altitude), 1e-9);
  // Albedo keeps its share; a measured direct beam replaces the model.
  EXPECT_NEAR(cell_shortwave(noon, cell_surface{0.0, 0.0, 0.25, 1.0}, 9999.0, 0.0, 9999.0), 0.75 * level, 1e-9);
  EXPECT_NEAR(cell_shortwave(noon, cell_surface{}, 0.0, 0.0, 500.0), 500.0, 1e-9);
}

// The beam on planes falling 20 % to each side, at 40 N on 2 July (day 184,
// declination 23.45 cos(2 pi (172 - 184) / 365) degrees), against hand
// geometry: cos(incidence) = sin d sin L cos b - sin d cos L sin b cos g +
// cos d cos L cos b cos w + cos d sin L sin b cos g cos w + cos d sin b
// sin g sin w, for the slope b = atan(0.2), its azimuth g from south (east
// -90, west 90, north 180 degrees) and the hour angle w = 15 (hour - 12).
// At 07 h the sun stands north of east (azimuth 80.7 degrees), so the east
// slope takes the most and even the north slope more than level ground; at
// 17 h east and west change places.
TEST(Evapotranspiration, TheSunOnASlopeKnowsItsFacing) {
  const int doy = et_day_of_year(2024, 7, 2);
  ASSERT_EQ(doy, 184);
  const struct {
    const char* facing;
    double slope_x, slope_y;  // fall toward the east and the south
  } planes[] = {{"level", 0.0, 0.0}, {"east", 0.2, 0.0}, {"west", -0.2, 0.0}, {"north", 0.0, -0.2}, {"south", 0.0, 0.2}};
  const struct {
    int hour;
    double azimuth;       // degrees from north, clockwise
    double cos_i[5];      // level, east, west, north, south
  } hours[] = {{7, 80.71, {0.4332, 0.5993, 0.2504, 0.4534, 0.3963}},
               {12, 180.0, {0.9561, 0.9375, 0.9375, 0.8800, 0.9950}},
               {17, 279.29, {0.4332, 0.2504, 0.5993, 0.4534, 0.3963}}};
  for (const auto& h : hours) {
    const et_sun sun = et_sun_at(40.0, doy, h.hour);
    ASSERT_GT(sun.altitude, 0.0);
    EXPECT_NEAR(sun.azimuth * 180.0 / pi, h.azimuth, 0.01) << h.hour << " h";
    for (int k = 0; k < 5; ++k) {
      const cell_surface cell{planes[k].slope_x, planes[k].slope_y, 0.0, 1.0};
      EXPECT_NEAR(et_incidence_cosine(sun, cell), h.cos_i[k], 5e-5) << planes[k].facing << " at " << h.hour << " h";
      // A measured direct beam D, taken as falling on level ground, reaches
      // the plane as D cos(incidence) / sin(altitude).
      EXPECT_NEAR(cell_shortwave(sun, cell, 0.0, 0.0, 500.0),
                  500.0 * et_incidence_cosine(sun, cell) / std::sin(sun.altitude), 1e-9);
    }
  }
}

// Two level cells with the record's weather at noon on 21 June at 40 N; the
// second under snow.
struct et_grid {
  grid_state grid;
  hydromet_state hm;
  et_grid() {
    grid.ncells = 2;
    grid.slope_x.alloc(2);
    grid.slope_y.alloc(2);
    for (auto* a : {&hm.ground_temp, &hm.ground_heat_flux, &hm.pet_rate, &hm.aet_rate, &hm.snow_depth,
                    &hm.albedo_w_snow, &hm.cell_air_temp, &hm.Kt, &hm.veg, &hm.Rs})
      a->alloc(2);
    hm.latitude = 40.0;
    hm.hmet_pressure = 1000.0;
    hm.hmet_temperature = 25.0;
    hm.hmet_rel_humidity = 40.0;
    hm.hmet_cloud_cover = 0.0;
    hm.hmet_wind_speed = 3.0;
    hm.hmet_global_rad = 100.0;
    hm.hmet_direct_rad = 9999.0;
    for (int c = 1; c <= 2; ++c) {
      hm.albedo_w_snow[c] = 0.2;
      hm.cell_air_temp[c] = 25.0;
      hm.veg[c] = 0.12;
      hm.Rs[c] = 70.0;
    }
    hm.snow_depth[2] = 0.3;
    hm.albedo_w_snow[2] = 0.8;
  }
};

TEST(Evapotranspiration, ACellUnderSnowEvaporatesNothingAndStaysFrozen) {
  for (int penman : {0, 1}) {
    auto g = std::make_unique<et_grid>();
    g->hm.et_calc_penman = penman;
    g->hm.et_calc_deardorff = !penman;
    const double mean = evapo_trans(g->grid, g->hm, nullptr, et_hour{2024, 6, 21, 12});
    EXPECT_DOUBLE_EQ(mean, 25.0);
    EXPECT_GT(g->hm.pet_rate[1], 0.0) << penman;
    EXPECT_GT(g->hm.aet_rate[1], 0.0) << penman;
    EXPECT_EQ(g->hm.pet_rate[2], 0.0) << penman;
    EXPECT_EQ(g->hm.aet_rate[2], 0.0) << penman;
    EXPECT_LE(g->hm.ground_temp[2], 273.15) << penman;
    // The canopy resistance holds the actual rate below the potential one.
    if (penman) {
      EXPECT_LT(g->hm.aet_rate[1], g->hm.pet_rate[1]);
    }
    // An area reduction of one half halves the actual rate.
    const double full = g->hm.aet_rate[1];
    const double half[3] = {0.0, 0.5, 0.5};
    g->hm.ground_temp[1] = g->hm.ground_temp[2] = 0.0;
    g->hm.et_calls = 0;
    evapo_trans(g->grid, g->hm, half, et_hour{2024, 6, 21, 12});
    EXPECT_NEAR(g->hm.aet_rate[1], 0.5 * full, 1e-15);
  }
}

TEST(Evapotranspiration, TheSkyLongwaveTakesTheVapourPressureInMillibars) {
  // Anderson's emissivity 0.74 + 0.0049 e holds for e in millibars. Air at
  // 25 C and 40 %: es = 0.6108 exp(17.27 x 25 / 262.3) = 3.16778 kPa, so
  // e = 12.6711 mb and the emissivity is 0.802088 (0.746 were e taken in
  // kPa); the clear sky sends 0.802088 x 5.67e-8 x 298.15^4 = 359.372 W/m2,
  // half a cloud cover 1.0425 times that.
  const double e_mb = 10.0 * saturation_pressure_kpa(25.0) * 0.4;
  EXPECT_NEAR(e_mb, 12.6711, 1e-4);
  EXPECT_NEAR(air_emissivity(e_mb), 0.802088, 1e-6);
  EXPECT_NEAR(incoming_longwave(298.15, e_mb, 0.0), 359.372, 1e-3);
  EXPECT_NEAR(incoming_longwave(298.15, e_mb, 0.5), 374.646, 1e-3);

  // The elevation bands give a cell its sky longwave from the vapour
  // pressure in millibars. At midnight, the same air carried to the cells
  // with that longwave (OROGVAR_HMET), and as the grid's weather record (from
  // which the evapotranspiration forms its own), leave the ground at one
  // temperature.
  auto record = std::make_unique<et_grid>();
  auto cells = std::make_unique<et_grid>();
  hydromet_state& hm = cells->hm;
  for (auto* a : {&hm.cell_pressure, &hm.cell_rel_humidity, &hm.cell_cloud_cover, &hm.cell_wind_speed,
                  &hm.cell_global_rad, &hm.R_long, &hm.R_short, &hm.snow_air_temp})
    a->alloc(2);
  hm.orogvar_hmet = 1;
  hm.sun.zenith = pi;  // night
  for (int c = 1; c <= 2; ++c) {
    hm.cell_pressure[c] = hm.hmet_pressure;
    hm.cell_rel_humidity[c] = hm.hmet_rel_humidity;
    hm.cell_cloud_cover[c] = hm.hmet_cloud_cover;
    hm.cell_wind_speed[c] = hm.hmet_wind_speed;
    hm.cell_global_rad[c] = hm.hmet_global_rad;
    snow_energy_balance(hm, c, e_mb, 0);
  }
  EXPECT_NEAR(hm.R_long[1], 359.372, 1e-3);
  EXPECT_EQ(hm.R_short[1], 0.0);
  for (int penman : {0, 1}) {
    for (et_grid* g : {record.get(), cells.get()}) {
      g->hm.et_calc_penman = penman;
      g->hm.et_calc_deardorff = !penman;
      g->hm.et_calls = 0;
      evapo_trans(g->grid, g->hm, nullptr, et_hour{2024, 6, 21, 0});
    }
    EXPECT_NEAR(record->hm.ground_temp[1], cells->hm.ground_temp[1], 1e-9) << penman;
    EXPECT_NEAR(record->hm.aet_rate[1], cells->hm.aet_rate[1], 1e-15) << penman;
  }
}

TEST(Evapotranspiration, EachCellOfGriddedWeatherEvaporatesAsARecordOfItsOwnWeather) {
  // Two cells of different air and radiation, facing east and south: the
  // first under a measured beam, the second under the clear-sky beam (9999)
  // and half a cloud cover. Each evaporates, at 9 h and at midnight, as the
  // grid does under a weather record of that cell's own values.
  struct cell_air {
    double P, T, RH, cloud, direct, diffuse;
  } air[2] = {{1005.0, 27.0, 35.0, 1.0, 620.0, 90.0}, {960.0, 18.0, 70.0, 5.0, 9999.0, 140.0}};
  const double slope_x[2] = {0.2, 0.0}, slope_y[2] = {0.0, 0.15};
  auto set_up = [&](et_grid& g, int penman) {
    g.hm.et_calc_penman = penman;
    g.hm.et_calc_deardorff = !penman;
    g.hm.snow_depth[2] = 0.0;
    g.hm.albedo_w_snow[2] = 0.2;
    g.hm.Kt[1] = 0.7;
    g.hm.Kt[2] = 0.9;
    for (int c = 1; c <= 2; ++c) {
      g.grid.slope_x[c] = slope_x[c - 1];
      g.grid.slope_y[c] = slope_y[c - 1];
    }
  };
  for (int penman : {0, 1}) {
    for (int hour : {9, 0}) {
      auto cells = std::make_unique<et_grid>();
      hydromet_state& hm = cells->hm;
      for (auto* a : {&hm.cell_pressure, &hm.cell_rel_humidity, &hm.cell_cloud_cover, &hm.cell_wind_speed,
                      &hm.cell_direct_rad, &hm.cell_global_rad})
        a->alloc(2);
      set_up(*cells, penman);
      hm.hmet_ascii_given = 1;
      for (int c = 1; c <= 2; ++c) {
        const cell_air& a = air[c - 1];
        hm.cell_pressure[c] = a.P;
        hm.cell_air_temp[c] = a.T;
        hm.cell_rel_humidity[c] = a.RH;
        hm.cell_cloud_cover[c] = a.cloud;
        hm.cell_wind_speed[c] = hm.hmet_wind_speed;
        hm.cell_direct_rad[c] = a.direct;
        hm.cell_global_rad[c] = a.diffuse;
      }
      evapo_trans(cells->grid, hm, nullptr, et_hour{2024, 6, 21, hour});
      for (int c = 1; c <= 2; ++c) {
        const cell_air& a = air[c - 1];
        auto record = std::make_unique<et_grid>();
        set_up(*record, penman);
        hydromet_state& r = record->hm;
        r.hmet_pressure = a.P;
        r.hmet_temperature = a.T;
        r.hmet_rel_humidity = a.RH;
        r.hmet_cloud_cover = a.cloud;
        r.hmet_direct_rad = a.direct;
        r.hmet_global_rad = a.diffuse;
        evapo_trans(record->grid, r, nullptr, et_hour{2024, 6, 21, hour});
        const std::string what = "penman " + std::to_string(penman) + " hour " + std::to_string(hour) + " cell " +
                                 std::to_string(c);
        if (hour == 9) {
          EXPECT_GT(r.pet_rate[c], 0.0) << what;
        }
        EXPECT_NEAR(hm.pet_rate[c], r.pet_rate[c], 1e-12 * r.pet_rate[c] + 1e-20) << what;
        EXPECT_NEAR(hm.aet_rate[c], r.aet_rate[c], 1e-12 * r.aet_rate[c] + 1e-20) << what;
        EXPECT_NEAR(hm.ground_temp[c], r.ground_temp[c], 1e-9) << what;
        EXPECT_NEAR(hm.ground_heat_flux[c], r.ground_heat_flux[c], 1e-12) << what;
      }
    }
  }
}

// One cell's soil for the removal: a top zone of 10 cm over 30 cm more, of
// a soil that does not drain by gravity here (no conductivity), so that the
// removal alone shows.
struct soil_column {
  std::unique_ptr<soil_state> soil = std::make_unique<soil_state>();
  array1d<double> ov{1}, pet{1}, aet{1}, rain{1}, swe{1};
  array1d<double>& depth = soil->sm_depth;
  array1d<double>& top = soil->sm_water_top;
  array1d<double>& bottom = soil->sm_water_bottom;
  array1d<double>& total = soil->sm_water;
  array1d<double>& waiting = soil->sm_infil_in;
  array1d<double>& direct = soil->direct_evap_cell;
  array1d<double>& below = soil->unsat_down_flux;
  soil_column() {
    soil_state& k = *soil;
    for (array1d<double>* a : {&k.sm_depth, &k.soil_porosity, &k.resid_sat, &k.ga_value_6, &k.wilting_point_cell,
                               &k.sat_hyd_cond, &k.pore_dist_index, &k.sm_water_top, &k.sm_water_bottom,
                               &k.sm_water, &k.sm_infil_in, &k.direct_evap_cell, &k.unsat_down_flux,
                               &k.recharge_depth})
      a->alloc(1);
    k.sm_depth[1] = 40.0;
    k.soil_porosity[1] = 0.45;
    k.resid_sat[1] = 0.05;
    k.ga_value_6[1] = 0.30;
    k.wilting_point_cell[1] = 0.10;
    k.pore_dist_index[1] = 0.5;
    k.top_layer_depth = 10.0;
    k.soil_moist_depth = 40.0;
    k.sm_water_top[1] = 3.0;
    k.sm_water_bottom[1] = 9.0;
    k.sm_water[1] = 12.0;
  }
  soil_moisture_domain cells(double dt) {
    soil_moisture_domain k{*soil};
    k.ncells = 1;
    k.dt = dt;
    k.cell_area = 100.0;
    k.long_term = true;
    k.ov_depth = ov.data();
    k.pet_rate = pet.data();
    k.aet_rate = aet.data();
    k.rain = rain.data();
    k.snow_swe = swe.data();
    return k;
  }
};

TEST(Evapotranspiration, RemovalTakesPondedWaterFirstThenTheSoilByItsWetness) {
  // Potential 1e-5 cm/s for 1000 s is 0.01 cm; 0.004 cm stand on the cell.
  soil_column s;
  s.ov[1] = 0.00004;
  s.pet[1] = 1e-5;
  s.aet[1] = 1e-5;
  const soil_moisture_books b = soil_moisture_redist(s.cells(1000.0));
  EXPECT_EQ(s.ov[1], 0.0);
  EXPECT_NEAR(s.direct[1], 0.004, 1e-15);
  EXPECT_NEAR(b.ponded_evaporation, 0.004 / 100.0 * 100.0, 1e-15);
  // The remaining 600 s draw on the soil: the top zone (30 % water, at its
  // field capacity) meets its share 10/40 fully, the bottom zone (30 %) its
  // share 30/40; 0.006 cm in all.
  const double demand = 1e-5 * 600.0;
  EXPECT_NEAR(3.0 - s.top[1], demand * 10.0 / 40.0, 1e-12);
  EXPECT_NEAR(9.0 - s.bottom[1], demand * 30.0 / 40.0, 1e-12);
  EXPECT_NEAR(b.soil_et, demand / 100.0 * 100.0, 1e-12);
  EXPECT_NEAR(s.total[1], s.top[1] + s.bottom[1], 1e-15);

  // Ponded water that covers the demand leaves the soil alone.
  soil_column wet;
  wet.ov[1] = 0.001;
  wet.pet[1] = wet.aet[1] = 1e-5;
  soil_moisture_redist(wet.cells(1000.0));
  EXPECT_NEAR(wet.ov[1], 0.001 - 0.0001, 1e-15);
  EXPECT_EQ(wet.top[1], 3.0);
  EXPECT_EQ(wet.bottom[1], 9.0);
}

TEST(Evapotranspiration, RainSnowAndDrySoilStopTheRemoval) {
  struct removal_case {
    const char* name;
    double rain, swe, top;
    double lost;  // cm taken from the top zone
  };
  // Halfway between wilting point (1 cm) and field capacity (3 cm) the
  // plant draws half its share; at the residual content nothing is left.
  const removal_case cases[] = {
      {"rain falling", 2.0, 0.0, 3.0, 0.0},
      {"snow cover", 0.0, 0.05, 3.0, 0.0},
      {"half stressed", 0.0, 0.0, 2.0, 0.5 * 0.01 * 10.0 / 40.0},
      {"at the wilting point", 0.0, 0.0, 1.0, 0.0},
  };
  for (const removal_case& k : cases) {
    soil_column s;
    s.rain[1] = k.rain;
    s.swe[1] = k.swe;
    s.top[1] = k.top;
    s.pet[1] = s.aet[1] = 1e-5;
    soil_moisture_redist(s.cells(1000.0));
    EXPECT_NEAR(k.top - s.top[1], k.lost, 1e-12) << k.name;
  }
  // Bare soil (Deardorff) dries to its residual content and no further.
  soil_column dry;
  dry.top[1] = 0.6;  // 0.1 cm above the residual 0.5 cm
  dry.aet[1] = dry.pet[1] = 1.0;
  soil_moisture_domain k = dry.cells(1000.0);
  k.deardorff = true;
  const soil_moisture_books b = soil_moisture_redist(k);
  EXPECT_NEAR(dry.top[1], 0.5, 1e-12);
  EXPECT_NEAR(b.soil_et, (0.1 + 9.0 - 1.5) / 100.0 * 100.0, 1e-12);
}

TEST(Evapotranspiration, InfiltrationEntersTheZonesAndWhatTheyCannotHoldDrainsBelow) {
  soil_column s;
  s.waiting[1] = 0.01;  // 1 cm infiltrated since the last pass
  soil_moisture_redist(s.cells(1000.0));
  EXPECT_NEAR(s.top[1], 4.0, 1e-12);
  EXPECT_EQ(s.waiting[1], 0.0);
  // A nearly full top zone passes the excess to the bottom one, which the
  // column then just holds.
  soil_column full;
  full.top[1] = 4.4;
  full.bottom[1] = 13.4;
  full.waiting[1] = 0.002;  // 0.2 cm
  soil_moisture_redist(full.cells(1000.0));
  EXPECT_NEAR(full.top[1], 4.5, 1e-12);
  EXPECT_NEAR(full.bottom[1], 13.5, 1e-12);
  EXPECT_NEAR(full.waiting[1], 0.0, 1e-15);
  EXPECT_NEAR(full.total[1] + full.waiting[1] * 100.0, 4.4 + 13.4 + 0.2, 1e-12);
  EXPECT_EQ(full.below[1], 0.0);
  // What the full column cannot hold leaves it below, booked as drainage.
  soil_column over;
  over.top[1] = 4.4;
  over.bottom[1] = 13.4;
  over.waiting[1] = 0.005;  // 0.5 cm, 0.3 cm more than the pores take
  const soil_moisture_books b = soil_moisture_redist(over.cells(1000.0));
  EXPECT_NEAR(over.total[1], 18.0, 1e-12);
  EXPECT_NEAR(over.below[1], 0.3, 1e-12);
  EXPECT_NEAR(b.drained, 0.3 / 100.0 * 100.0, 1e-12);
}

}  // namespace
}  // namespace nivra::testing
